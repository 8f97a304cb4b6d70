#include "content/interpreter.h"

#include <cmath>
#include <limits>
#include <unordered_map>

#include "fonts/pdf_font.h"

namespace pdfcore::content {

namespace {

constexpr size_t kMaxOperands = 1024;
constexpr size_t kMaxArrayItems = size_t{1} << 18;
constexpr size_t kMaxSaveDepth = 4096;
constexpr size_t kMaxInlineImageTokens = 4096;

enum class Op {
  kSave,
  kRestore,
  kConcat,
  kBeginText,
  kEndText,
  kCharSpacing,
  kWordSpacing,
  kHorizontalScale,
  kLeading,
  kFont,
  kRenderMode,
  kRise,
  kMove,
  kMoveSetLeading,
  kSetTextMatrix,
  kNextLine,
  kShow,
  kShowArray,
  kNextLineShow,
  kSpacingNextLineShow,
  kFillGray,
  kStrokeGray,
  kFillRgb,
  kStrokeRgb,
  kFillCmyk,
  kStrokeCmyk,
  kFillSpace,
  kStrokeSpace,
  kFillColor,
  kStrokeColor,
  kDrawXObject,
  kBeginInlineImage,
  kKnown,  // any other operator of PDF: nothing the text cares about
};

const std::unordered_map<std::string_view, Op>& Operators() {
  static const std::unordered_map<std::string_view, Op> table = {
      {"q", Op::kSave},
      {"Q", Op::kRestore},
      {"cm", Op::kConcat},
      {"BT", Op::kBeginText},
      {"ET", Op::kEndText},
      {"Tc", Op::kCharSpacing},
      {"Tw", Op::kWordSpacing},
      {"Tz", Op::kHorizontalScale},
      {"TL", Op::kLeading},
      {"Tf", Op::kFont},
      {"Tr", Op::kRenderMode},
      {"Ts", Op::kRise},
      {"Td", Op::kMove},
      {"TD", Op::kMoveSetLeading},
      {"Tm", Op::kSetTextMatrix},
      {"T*", Op::kNextLine},
      {"Tj", Op::kShow},
      {"TJ", Op::kShowArray},
      {"'", Op::kNextLineShow},
      {"\"", Op::kSpacingNextLineShow},
      {"g", Op::kFillGray},
      {"G", Op::kStrokeGray},
      {"rg", Op::kFillRgb},
      {"RG", Op::kStrokeRgb},
      {"k", Op::kFillCmyk},
      {"K", Op::kStrokeCmyk},
      {"cs", Op::kFillSpace},
      {"CS", Op::kStrokeSpace},
      {"sc", Op::kFillColor},
      {"scn", Op::kFillColor},
      {"SC", Op::kStrokeColor},
      {"SCN", Op::kStrokeColor},
      {"Do", Op::kDrawXObject},
      {"BI", Op::kBeginInlineImage},
      // Path construction and painting, clipping, general graphics state, shading, marked
      // content, Type3 glyph metrics, compatibility sections, and a stray EI or ID.
      {"m", Op::kKnown},
      {"l", Op::kKnown},
      {"c", Op::kKnown},
      {"v", Op::kKnown},
      {"y", Op::kKnown},
      {"h", Op::kKnown},
      {"re", Op::kKnown},
      {"S", Op::kKnown},
      {"s", Op::kKnown},
      {"f", Op::kKnown},
      {"F", Op::kKnown},
      {"f*", Op::kKnown},
      {"B", Op::kKnown},
      {"B*", Op::kKnown},
      {"b", Op::kKnown},
      {"b*", Op::kKnown},
      {"n", Op::kKnown},
      {"W", Op::kKnown},
      {"W*", Op::kKnown},
      {"w", Op::kKnown},
      {"J", Op::kKnown},
      {"j", Op::kKnown},
      {"M", Op::kKnown},
      {"d", Op::kKnown},
      {"ri", Op::kKnown},
      {"i", Op::kKnown},
      {"gs", Op::kKnown},
      {"sh", Op::kKnown},
      {"BMC", Op::kKnown},
      {"BDC", Op::kKnown},
      {"EMC", Op::kKnown},
      {"MP", Op::kKnown},
      {"DP", Op::kKnown},
      {"d0", Op::kKnown},
      {"d1", Op::kKnown},
      {"BX", Op::kKnown},
      {"EX", Op::kKnown},
      {"ID", Op::kKnown},
      {"EI", Op::kKnown},
  };
  return table;
}

// The data size of an unfiltered inline image, when its dictionary tells it.
class InlineImageSize {
 public:
  void Entry(const std::string& key, const Token& value) {
    if (key == "W" || key == "Width") Number(value, width_);
    if (key == "H" || key == "Height") Number(value, height_);
    if (key == "BPC" || key == "BitsPerComponent") Number(value, bits_);
    if (key == "IM" || key == "ImageMask") mask_ = value.type == TokenType::kBool && value.boolean;
    if (key == "F" || key == "Filter") filtered_ = true;
    if (key == "CS" || key == "ColorSpace") {
      space_ = value.type == TokenType::kName ? value.text : std::string("?");
    }
  }
  size_t Length() const {
    if (filtered_) return std::string_view::npos;
    double components = 1;
    double bits = bits_;
    if (mask_) {
      bits = 1;
    } else if (space_ == "RGB" || space_ == "DeviceRGB") {
      components = 3;
    } else if (space_ == "CMYK" || space_ == "DeviceCMYK") {
      components = 4;
    } else if (!(space_ == "G" || space_ == "DeviceGray" || space_ == "I" || space_ == "Indexed")) {
      return std::string_view::npos;  // a named space: its component count is elsewhere
    }
    if (width_ <= 0 || height_ <= 0 || bits <= 0 || width_ > 1e6 || height_ > 1e6 || bits > 16) {
      return std::string_view::npos;
    }
    double rowBytes = std::ceil(width_ * components * bits / 8);
    return static_cast<size_t>(rowBytes * height_);
  }

 private:
  static void Number(const Token& value, double& out) {
    if (value.type == TokenType::kNumber) out = value.number;
  }
  double width_ = 0, height_ = 0, bits_ = 8;
  bool mask_ = false;
  bool filtered_ = false;
  std::string space_ = "?";
};

}  // namespace

Interpreter::Interpreter(std::string_view data, QPDFObjectHandle resources, FontSource& fonts,
                         ColorResolver& colors, Reporter& reporter, Hooks hooks)
    : lexer_(data),
      resources_(resources),
      fonts_(fonts),
      colors_(colors),
      reporter_(reporter),
      hooks_(std::move(hooks)) {}

void Interpreter::Report(const std::string& key, const std::string& message, int32_t type) {
  reporter_.Once(key, 0, message, type);
}

bool Interpreter::NextText(TextShow& show) {
  while (!finished_) {
    Token token = lexer_.Next();
    if (Feed(token, show)) return true;
  }
  return false;
}

void Interpreter::RunToEnd() {
  // Nobody reads the text of this pass: skip decoding it (the bulk of the work).
  textIgnored_ = true;
  TextShow ignored;
  while (!finished_) {
    Token token = lexer_.Next();
    Feed(token, ignored);
  }
}

bool Interpreter::Feed(Token& token, TextShow& show) {
  // The end of the data is no token: after an unterminated string it must not count as the end
  // of a complete one, or operators added after the content would be read into that string.
  if (!token.complete) endsIncomplete_ = true;
  if (token.complete && !(token.type == TokenType::kEnd && endsIncomplete_)) {
    completeEnd_ = token.end;
  }
  switch (token.type) {
    case TokenType::kEnd:
      finished_ = true;
      if (depth_ > 0)
        Report("open-array", "Unterminated array or dictionary in content",
               PDF_E_WARNING | PDF_E_SYNTAX);
      return false;
    case TokenType::kJunk:
      Report("junk", "Junk in content stream skipped", PDF_E_WARNING | PDF_E_SYNTAX);
      return false;
    case TokenType::kArrayOpen:
    case TokenType::kDictOpen:
      OpenContainer(token);
      return false;
    case TokenType::kArrayClose:
    case TokenType::kDictClose:
      CloseContainer(token);
      return false;
    case TokenType::kOperator: {
      if (depth_ > 0) {
        // Operators never stand inside arrays or dictionaries: the container was never closed.
        // Dropping it keeps the rest of the content readable.
        Report("open-array", "Unterminated array or dictionary in content",
               PDF_E_WARNING | PDF_E_SYNTAX);
        depth_ = 0;
        collectingArray_ = false;
        if (!operands_.empty()) operands_.pop_back();
      }
      bool shown = Execute(token, show);
      operands_.clear();
      operandsOverflowed_ = false;
      arrayItems_ = 0;
      return shown;
    }
    default:
      PushOperand(token);
      return false;
  }
}

void Interpreter::PushOperand(Token& token) {
  if (depth_ > 0) {
    if (depth_ == 1 && collectingArray_ && !operands_.empty()) {
      if (arrayItems_ >= kMaxArrayItems) {
        operandsOverflowed_ = true;
        return;
      }
      ++arrayItems_;
      Item item;
      item.type = token.type;
      item.number = token.number;
      if (token.type == TokenType::kString) item.text = std::move(token.text);
      item.begin = token.begin;
      item.end = token.end;
      operands_.back().items.push_back(std::move(item));
    }
    return;
  }
  if (operands_.size() >= kMaxOperands) {
    operandsOverflowed_ = true;
    return;
  }
  Operand operand;
  operand.type = token.type;
  operand.number = token.number;
  operand.boolean = token.boolean;
  operand.text = std::move(token.text);
  operand.begin = token.begin;
  operand.end = token.end;
  operands_.push_back(std::move(operand));
}

void Interpreter::OpenContainer(Token& token) {
  if (depth_ == 0) {
    if (operands_.size() >= kMaxOperands) {
      operandsOverflowed_ = true;
      // Still count the nesting so the closing bracket is matched.
      depth_ = 1;
      collectingArray_ = false;
      operands_.emplace_back();  // popped if the container is abandoned
      operands_.back().type = TokenType::kDictOpen;
      return;
    }
    Operand operand;
    operand.type = token.type;
    operand.begin = token.begin;
    operand.end = token.end;
    operands_.push_back(std::move(operand));
    collectingArray_ = token.type == TokenType::kArrayOpen;
    depth_ = 1;
    return;
  }
  if (depth_ == 1 && collectingArray_ && arrayItems_ < kMaxArrayItems) {
    ++arrayItems_;
    Item placeholder;  // a nested container: an element of no use for text
    placeholder.begin = token.begin;
    placeholder.end = token.end;
    operands_.back().items.push_back(std::move(placeholder));
  }
  if (depth_ < std::numeric_limits<size_t>::max()) ++depth_;
}

void Interpreter::CloseContainer(Token& token) {
  if (depth_ == 0) {
    Report("junk", "Junk in content stream skipped", PDF_E_WARNING | PDF_E_SYNTAX);
    return;
  }
  --depth_;
  if (depth_ == 0 && !operands_.empty()) {
    operands_.back().end = token.end;
    collectingArray_ = false;
  }
}

bool Interpreter::Numbers(size_t count, double* out) const {
  if (operands_.size() < count) return false;
  size_t first = operands_.size() - count;
  for (size_t i = 0; i < count; ++i) {
    const Operand& operand = operands_[first + i];
    if (operand.type != TokenType::kNumber) return false;
    out[i] = operand.number;
  }
  return true;
}

bool Interpreter::Execute(const Token& op, TextShow& show) {
  const auto& table = Operators();
  auto found = table.find(op.text);
  if (found == table.end()) {
    Report("operator:" + op.text.substr(0, 16),
           "Unknown operator '" + op.text.substr(0, 16) + "' in content stream skipped",
           PDF_E_WARNING | PDF_E_SYNTAX);
    return false;
  }
  if (operandsOverflowed_) {
    Report("operands", "Too many operands in content stream; operator skipped",
           PDF_E_WARNING | PDF_E_SYNTAX);
    return false;
  }
  double v[6];
  switch (found->second) {
    case Op::kSave:
      Save(op);
      break;
    case Op::kRestore:
      Restore(op);
      break;
    case Op::kConcat:
      if (Numbers(6, v))
        state_.ctm = Concat(Matrix{v[0], v[1], v[2], v[3], v[4], v[5]}, state_.ctm);
      break;
    case Op::kBeginText:
      if (inText_) Report("nested-BT", "BT inside a text object", PDF_E_WARNING | PDF_E_SYNTAX);
      inText_ = true;
      textMatrix_ = lineMatrix_ = Matrix{};
      lineOffset_ = 0;
      break;
    case Op::kEndText:
      if (!inText_) Report("stray-ET", "ET without BT", PDF_E_WARNING | PDF_E_SYNTAX);
      inText_ = false;
      break;
    case Op::kCharSpacing:
      if (Numbers(1, v)) state_.charSpacing = v[0];
      break;
    case Op::kWordSpacing:
      if (Numbers(1, v)) state_.wordSpacing = v[0];
      break;
    case Op::kHorizontalScale:
      if (Numbers(1, v)) state_.horizontalScale = v[0] / 100;
      break;
    case Op::kLeading:
      if (Numbers(1, v)) state_.leading = v[0];
      break;
    case Op::kRise:
      if (Numbers(1, v)) state_.rise = v[0];
      break;
    case Op::kRenderMode:
      if (Numbers(1, v) && v[0] >= 0 && v[0] <= 7) state_.renderMode = static_cast<int32_t>(v[0]);
      break;
    case Op::kFont:
      SetFont();
      break;
    case Op::kMove:
      if (Numbers(2, v)) MoveText(v[0], v[1]);
      break;
    case Op::kMoveSetLeading:
      if (Numbers(2, v)) {
        state_.leading = -v[1];
        MoveText(v[0], v[1]);
      }
      break;
    case Op::kSetTextMatrix:
      if (Numbers(6, v)) {
        textMatrix_ = lineMatrix_ = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
        lineOffset_ = 0;
      }
      break;
    case Op::kNextLine:
      NextLine();
      break;
    case Op::kShow:
      return Show(ShowKind::kShow, op, show);
    case Op::kShowArray:
      return Show(ShowKind::kShowArray, op, show);
    case Op::kNextLineShow:
      return Show(ShowKind::kNextLineShow, op, show);
    case Op::kSpacingNextLineShow:
      return Show(ShowKind::kSpacingNextLineShow, op, show);
    case Op::kFillGray:
      SetColor(state_.fill, 1, PDF_CS_DEVICE_GRAY);
      break;
    case Op::kStrokeGray:
      SetColor(state_.stroke, 1, PDF_CS_DEVICE_GRAY);
      break;
    case Op::kFillRgb:
      SetColor(state_.fill, 3, PDF_CS_DEVICE_RGB);
      break;
    case Op::kStrokeRgb:
      SetColor(state_.stroke, 3, PDF_CS_DEVICE_RGB);
      break;
    case Op::kFillCmyk:
      SetColor(state_.fill, 4, PDF_CS_DEVICE_CMYK);
      break;
    case Op::kStrokeCmyk:
      SetColor(state_.stroke, 4, PDF_CS_DEVICE_CMYK);
      break;
    case Op::kFillSpace:
      SetColorSpace(state_.fill);
      break;
    case Op::kStrokeSpace:
      SetColorSpace(state_.stroke);
      break;
    case Op::kFillColor:
      SetColorComponents(state_.fill);
      break;
    case Op::kStrokeColor:
      SetColorComponents(state_.stroke);
      break;
    case Op::kDrawXObject:
      DrawXObject();
      break;
    case Op::kBeginInlineImage:
      SkipInlineImage();
      break;
    case Op::kKnown:
      break;
  }
  return false;
}

void Interpreter::Save(const Token&) {
  if (saved_.size() >= kMaxSaveDepth) {
    Report("q-depth", "Graphics state nesting too deep", PDF_E_WARNING | PDF_E_SYNTAX);
    ++overflowSaves_;
    return;
  }
  saved_.push_back(state_);
}

void Interpreter::Restore(const Token& op) {
  if (overflowSaves_ > 0) {
    --overflowSaves_;
    return;
  }
  if (saved_.empty()) {
    Report("stray-Q", "Q without q in content stream", PDF_E_WARNING | PDF_E_SYNTAX);
    if (hooks_.unmatchedRestore) hooks_.unmatchedRestore(op.begin, op.end);
    return;
  }
  state_ = std::move(saved_.back());
  saved_.pop_back();
}

void Interpreter::SetFont() {
  if (operands_.size() < 2 || operands_[operands_.size() - 2].type != TokenType::kName ||
      operands_.back().type != TokenType::kNumber) {
    Report("Tf-operands", "Tf with wrong operands", PDF_E_WARNING | PDF_E_SYNTAX);
    return;
  }
  const std::string& name = operands_[operands_.size() - 2].text;
  state_.fontSize = operands_.back().number;
  auto cached = fontsByName_.find(name);
  if (cached != fontsByName_.end()) {
    state_.font = cached->second;
    return;
  }
  QPDFObjectHandle dict;
  if (resources_.isDictionary()) {
    QPDFObjectHandle fonts = resources_.getKey("/Font");
    if (fonts.isDictionary()) dict = fonts.getKey("/" + name);
  }
  PdfFont* font = nullptr;
  if (dict.isInitialized() && dict.isDictionary()) {
    font = fonts_.Font(dict);
  } else {
    Report("font:" + name, "Font /" + name + " not found in resources; a fallback font is used",
           PDF_E_WARNING | PDF_E_FONT);
    font = fonts_.Fallback();
  }
  // Only names the resources answer for are kept, so the map stays as small as they are.
  if (fontsByName_.size() < 1024) fontsByName_[name] = font;
  state_.font = font;
}

void Interpreter::SetColor(ColorValue& color, size_t components, int32_t space) {
  double v[4];
  if (!Numbers(components, v)) {
    Report("color-operands", "Colour operator with wrong operands", PDF_E_WARNING | PDF_E_SYNTAX);
    return;
  }
  color.space = space;
  color.components.assign(v, v + components);
  color.patternName.clear();
  color.pattern = QPDFObjectHandle();
}

void Interpreter::SetColorSpace(ColorValue& color) {
  if (operands_.empty() || operands_.back().type != TokenType::kName) {
    Report("color-operands", "Colour operator with wrong operands", PDF_E_WARNING | PDF_E_SYNTAX);
    return;
  }
  colors_.SelectSpace(operands_.back().text, resources_, color);
}

void Interpreter::SetColorComponents(ColorValue& color) {
  // sc/scn: the numbers, and for a pattern its name last.
  std::vector<double> components;
  std::string pattern;
  for (size_t i = 0; i < operands_.size(); ++i) {
    const Operand& operand = operands_[i];
    if (operand.type == TokenType::kNumber) {
      if (components.size() < 32) components.push_back(operand.number);
    } else if (operand.type == TokenType::kName && i + 1 == operands_.size()) {
      pattern = operand.text;
    }
  }
  color.components = std::move(components);
  color.patternName = pattern;
  color.pattern = QPDFObjectHandle();
  if (!pattern.empty() && resources_.isDictionary()) {
    QPDFObjectHandle patterns = resources_.getKey("/Pattern");
    if (patterns.isDictionary()) color.pattern = patterns.getKey("/" + pattern);
  }
}

void Interpreter::MoveText(double tx, double ty) {
  lineMatrix_ = Translated(lineMatrix_, tx, ty);
  textMatrix_ = lineMatrix_;
  lineOffset_ = 0;
}

void Interpreter::NextLine() { MoveText(0, -state_.leading); }

void Interpreter::DrawXObject() {
  if (operands_.empty() || operands_.back().type != TokenType::kName) return;
  if (!resources_.isDictionary() || !hooks_.formDrawn) return;
  QPDFObjectHandle xobjects = resources_.getKey("/XObject");
  if (!xobjects.isDictionary()) return;
  QPDFObjectHandle xobject = xobjects.getKey("/" + operands_.back().text);
  if (!xobject.isStream()) return;
  QPDFObjectHandle subtype = xobject.getDict().getKey("/Subtype");
  if (subtype.isName() && subtype.getName() == "/Form") hooks_.formDrawn(xobject);
}

void Interpreter::SkipInlineImage() {
  InlineImageSize size;
  std::string key;
  for (size_t n = 0; n < kMaxInlineImageTokens; ++n) {
    Token token = lexer_.Next();
    if (token.type == TokenType::kEnd) {
      Report("inline-image", "Inline image without data", PDF_E_WARNING | PDF_E_SYNTAX);
      finished_ = true;
      return;
    }
    if (token.type == TokenType::kOperator && token.text == "ID") {
      if (lexer_.SkipInlineImageData(size.Length())) {
        completeEnd_ = lexer_.Position();
      } else {
        Report("inline-image", "Inline image without EI", PDF_E_WARNING | PDF_E_SYNTAX);
      }
      return;
    }
    if (token.type == TokenType::kName && key.empty()) {
      key = token.text;
    } else {
      if (!key.empty()) size.Entry(key, token);
      key.clear();
    }
  }
  Report("inline-image", "Inline image dictionary too long", PDF_E_WARNING | PDF_E_SYNTAX);
}

PdfFont* Interpreter::CurrentFont() {
  if (state_.font == nullptr) {
    Report("no-font", "Text shown without a font; a fallback font is used",
           PDF_E_WARNING | PDF_E_FONT);
    state_.font = fonts_.Fallback();
  }
  return state_.font;
}

void Interpreter::DecodePiece(const std::string& bytes, PdfFont* font, ShownPiece& piece) {
  glyphs_.clear();
  font->DecodeText(bytes, piece.text, glyphs_);
  const GraphicsState& s = state_;
  double width = 0;
  for (const GlyphMetrics& glyph : glyphs_) {
    double advance = glyph.advance * s.fontSize + s.charSpacing;
    if (glyph.isWordSpace) advance += s.wordSpacing;
    width += advance * s.horizontalScale;
  }
  piece.width = width;
  piecesGlyphs_ += glyphs_.size();
}

bool Interpreter::Show(ShowKind kind, const Token& op, TextShow& show) {
  if (!inText_) Report("text-outside-BT", "Text shown outside BT/ET", PDF_E_WARNING | PDF_E_SYNTAX);
  const size_t needed = kind == ShowKind::kSpacingNextLineShow ? 3 : 1;
  const TokenType expected =
      kind == ShowKind::kShowArray ? TokenType::kArrayOpen : TokenType::kString;
  if (operands_.size() < needed || operands_.back().type != expected) {
    Report("show-operands", "Text operator " + op.text + " with wrong operands skipped",
           PDF_E_WARNING | PDF_E_SYNTAX);
    return false;
  }
  double spacing[2];
  if (kind == ShowKind::kSpacingNextLineShow) {
    const Operand& aw = operands_[operands_.size() - 3];
    const Operand& ac = operands_[operands_.size() - 2];
    if (aw.type != TokenType::kNumber || ac.type != TokenType::kNumber) {
      Report("show-operands", "Text operator \" with wrong operands skipped",
             PDF_E_WARNING | PDF_E_SYNTAX);
      return false;
    }
    spacing[0] = aw.number;
    spacing[1] = ac.number;
    std::string_view data = lexer_.Data();
    show.wordSpacingText.assign(data.substr(aw.begin, aw.end - aw.begin));
    show.charSpacingText.assign(data.substr(ac.begin, ac.end - ac.begin));
    state_.wordSpacing = spacing[0];
    state_.charSpacing = spacing[1];
    show.operandsBegin = aw.begin;
  } else {
    show.operandsBegin = operands_.back().begin;
  }
  if (kind == ShowKind::kNextLineShow || kind == ShowKind::kSpacingNextLineShow) NextLine();
  if (textIgnored_) return false;

  PdfFont* font = CurrentFont();
  const GraphicsState& s = state_;
  const double numberScale = s.fontSize * s.horizontalScale / 1000;
  show.kind = kind;
  show.pieces.clear();
  show.operatorEnd = op.end;
  show.arrayClose = 0;
  piecesGlyphs_ = 0;

  const Operand& operand = operands_.back();
  if (kind != ShowKind::kShowArray) {
    ShownPiece piece;
    piece.removeFrom = operand.begin;
    DecodePiece(operand.text, font, piece);
    show.pieces.push_back(std::move(piece));
  } else {
    show.arrayClose = operand.end > operand.begin ? operand.end - 1 : operand.end;
    double pending = 0;
    bool havePending = false;
    size_t pendingFrom = 0;
    for (const Item& item : operand.items) {
      if (item.type == TokenType::kNumber) {
        if (!havePending) pendingFrom = item.begin;
        havePending = true;
        pending += item.number * numberScale;
      } else if (item.type == TokenType::kString) {
        ShownPiece piece;
        piece.advance = pending;
        piece.removeFrom = havePending ? pendingFrom : item.begin;
        DecodePiece(item.text, font, piece);
        show.pieces.push_back(std::move(piece));
        pending = 0;
        havePending = false;
      }
    }
    if (havePending || show.pieces.empty()) {
      // Numbers after the last string, or an array without strings: an empty piece carries
      // their shift, so a word space written as a trailing TJ number is still seen.
      ShownPiece trailing;
      trailing.advance = pending;
      trailing.removeFrom = havePending ? pendingFrom : show.arrayClose;
      show.pieces.push_back(std::move(trailing));
    }
  }

  double displacement = 0;
  for (const ShownPiece& piece : show.pieces) displacement += piece.width - piece.advance;
  show.textWidth = displacement;
  show.spaceWidth = font->SpaceAdvance() * s.fontSize * s.horizontalScale;
  show.state = s;
  show.textMatrix = Translated(textMatrix_, 0, s.rise);
  textMatrix_ = Translated(textMatrix_, displacement, 0);
  lineOffset_ += displacement;
  show.inTextObject = inText_;
  show.lineMatrixAfter = lineMatrix_;
  show.lineOffsetAfter = lineOffset_;
  // Nothing to see or to search: a shift of the pen is not a text record.
  return piecesGlyphs_ > 0;
}

}  // namespace pdfcore::content
