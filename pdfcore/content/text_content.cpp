#include "content/text_content.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <set>
#include <stdexcept>

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include "base/number_format.h"

namespace pdfcore::content {

namespace {

// Records of one pass kept for reuse, at most: a content with more is read anew at every pass.
constexpr size_t kMaxRecordingBytes = ContentCache::kMaxBytes / 2;

enum class StreamRead { kComplete, kDamaged, kTooLarge };

// Appends the decoded data of `stream`. Damaged data is kept as far as it could be read; the
// data of a stream past the size limit is dropped whole, as it will be at every later reading.
StreamRead AppendStreamData(QPDFObjectHandle stream, std::string& out, std::string& error) {
  const size_t before = out.size();
  BoundedContentSink sink(before, &out);
  bool complete = false;
  try {
    complete = stream.pipeStreamData(&sink, 0, qpdf_dl_specialized, true);
    if (!complete) error = "undecodable stream data";
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (sink.TooLarge()) {
    error = BoundedContentSink::TooLargeMessage();
    out.resize(before);
    out.shrink_to_fit();
    return StreamRead::kTooLarge;
  }
  return complete ? StreamRead::kComplete : StreamRead::kDamaged;
}

float ToFloat(double value) {
  if (std::isnan(value)) return 0.0f;
  return static_cast<float>(
      std::clamp(value, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

// Positions and sizes of written text: enough digits for any page size and scale.
std::string Num(double value) { return FormatNumber(value, kOperandDecimals); }

std::string MatrixOperands(const Matrix& m) {
  return Num(m.a) + " " + Num(m.b) + " " + Num(m.c) + " " + Num(m.d) + " " + Num(m.e) + " " +
         Num(m.f);
}

std::string HexString(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out = "<";
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out + ">";
}

// Text state operators that take `from` to what `text` is shown with.
std::string TextStateOperators(double& charSpacing, double& wordSpacing, double& horizontalScale,
                               int32_t& renderMode, const PlacedText& text) {
  std::string out;
  if (text.charSpacing != charSpacing) out += Num(text.charSpacing) + " Tc\n";
  if (text.wordSpacing != wordSpacing) out += Num(text.wordSpacing) + " Tw\n";
  if (text.horizontalScale != horizontalScale) out += Num(text.horizontalScale * 100) + " Tz\n";
  if (text.renderMode != renderMode) out += std::to_string(text.renderMode) + " Tr\n";
  charSpacing = text.charSpacing;
  wordSpacing = text.wordSpacing;
  horizontalScale = text.horizontalScale;
  renderMode = text.renderMode;
  return out;
}

bool SameStyle(const PlacedText& a, const PlacedText& b) {
  return a.fontName == b.fontName && a.fontSize == b.fontSize && a.fillColor == b.fillColor &&
         a.strokeColor == b.strokeColor && a.charSpacing == b.charSpacing &&
         a.wordSpacing == b.wordSpacing && a.horizontalScale == b.horizontalScale &&
         a.renderMode == b.renderMode;
}

bool Close(double x, double y) { return std::fabs(x - y) <= 1e-9 * (1 + std::fabs(x)); }

// The TJ number that takes a run from its end to `start`, when `start` lies on the run's
// baseline in the same orientation and scale.
bool StepAlongBaseline(const Matrix& end, const Matrix& start, double scale, double& number) {
  if (!Close(end.a, start.a) || !Close(end.b, start.b) || !Close(end.c, start.c) ||
      !Close(end.d, start.d) || scale == 0) {
    return false;
  }
  const double det = end.a * end.d - end.b * end.c;
  if (det == 0) return false;
  const double de = start.e - end.e;
  const double df = start.f - end.f;
  const double tx = (de * end.d - df * end.c) / det;
  const double ty = (end.a * df - end.b * de) / det;
  if (!std::isfinite(tx) || std::fabs(ty) > 1e-6 * (1 + std::fabs(tx))) return false;
  number = -tx * 1000 / scale;
  return std::isfinite(number) && std::fabs(number) < 1e9;
}

std::string ApplyEdits(const std::string& data, std::vector<std::pair<size_t, size_t>> ranges,
                       const std::vector<std::string>& replacements);

}  // namespace

BoundedContentSink::BoundedContentSink(size_t alreadyRead, std::string* out)
    : Pipeline("content data", nullptr), read_(alreadyRead), out_(out) {}

void BoundedContentSink::write(unsigned char const* data, size_t len) {
  if (len > kMaxContentBytes - std::min(kMaxContentBytes, read_)) {
    tooLarge_ = true;
    throw std::length_error(TooLargeMessage());
  }
  read_ += len;
  if (out_ != nullptr) out_->append(reinterpret_cast<const char*>(data), len);
}

std::string BoundedContentSink::TooLargeMessage() {
  return "content stream larger than " + std::to_string(kMaxContentBytes >> 20) + " MB";
}

TextContent::TextContent(QPDF& pdf, QPDFObjectHandle owner, FontSource& fonts, ColorTable& colors,
                         ErrorSink& errors, ContentCache* cache)
    : pdf_(pdf),
      owner_(owner),
      fonts_(fonts),
      errors_(errors),
      reporter_(errors_),
      cache_(cache),
      colors_(colors, reporter_) {
  loaded_ = LoadContent();
}

bool TextContent::ReadStream(QPDFObjectHandle stream, std::string& error) {
  if (cache_ != nullptr && cache_->IsOversized(stream.getObjGen())) {
    error = BoundedContentSink::TooLargeMessage();
    return false;
  }
  StreamRead read = AppendStreamData(stream, data_, error);
  if (read == StreamRead::kTooLarge && cache_ != nullptr) cache_->KeepOversized(stream.getObjGen());
  return read == StreamRead::kComplete;
}

bool TextContent::LoadContent() {
  try {
    if (owner_.isStream()) {
      isForm_ = true;
      resources_ = owner_.getDict().getKey("/Resources");
      std::string error;
      if (!ReadStream(owner_, error)) {
        reporter_.Sink().Report(0, "Form content unreadable: " + error, PDF_E_WARNING | PDF_E_FILE);
        damaged_ = true;
      }
      return true;
    }
    if (!owner_.isDictionary()) {
      reporter_.Sink().Report(0, "Content owner is neither a page nor a form",
                              PDF_E_FATAL | PDF_E_VALUE);
      return false;
    }
    QPDFPageObjectHelper page(owner_);
    resources_ = page.getAttribute("/Resources", false);
    QPDFObjectHandle contents = owner_.getKey("/Contents");
    std::vector<QPDFObjectHandle> streams;
    if (contents.isStream()) {
      streams.push_back(contents);
    } else if (contents.isArray()) {
      streams = contents.getArrayAsVector();
    }
    for (QPDFObjectHandle& stream : streams) {
      if (!stream.isStream()) continue;
      // Streams of one page are one content; white space keeps tokens apart at the joins.
      if (!data_.empty()) data_ += '\n';
      std::string error;
      if (!ReadStream(stream, error)) {
        reporter_.Sink().Report(0, "Page content stream unreadable: " + error,
                                PDF_E_WARNING | PDF_E_FILE);
        damaged_ = true;
      }
    }
    return true;
  } catch (const std::exception& e) {
    reporter_.Sink().Report(0, std::string("Content unreadable: ") + e.what(),
                            PDF_E_FATAL | PDF_E_FILE);
    return false;
  }
}

std::unique_ptr<Interpreter> TextContent::NewInterpreter(std::string_view data,
                                                         Interpreter::Hooks hooks) {
  return std::make_unique<Interpreter>(data, resources_, fonts_, colors_, reporter_,
                                       std::move(hooks));
}

void TextContent::ResetRecord(TPDFStack& record) {
  const TPDFMatrix identity{1, 0, 0, 1, 0, 0};
  ColorValue black;
  record.ctm = identity;
  record.tm = identity;
  record.FontSize = 0;
  record.DrawMode = 0;
  record.FillColorSpace = PDF_CS_DEVICE_GRAY;
  record.FillColor = colors_.ColorToken(black);
  record.StrokeColorSpace = PDF_CS_DEVICE_GRAY;
  record.StrokeColor = record.FillColor;
  record.TextIndicator = 0;
  record.Kerning = nullptr;
  record.KerningCount = 0;
  record.TextWidth = 0;
  record.Font = nullptr;
  record.SpaceWidth = 0;
  record.DeleteKerningAt = 0;
  record.Internal = this;
}

bool TextContent::Reusable() const {
  // A direct owner has no identity of its own to be remembered by.
  return cache_ != nullptr && owner_.isIndirect() && errors_.Count() == 0 &&
         !fonts_.Substituted() && !damaged_;
}

ContentCache::Key TextContent::CacheKey() const {
  return ContentCache::Key{owner_.getObjGen(), data_, fingerprint_};
}

bool TextContent::Restart(TPDFStack& record) {
  kerning_.clear();
  texts_.clear();
  last_ = nullptr;
  lastEdit_ = -1;
  lastInsertion_ = -1;
  EndPass();
  ResetRecord(record);
  if (!loaded_) return false;
  if (!edits_.empty() || !insertions_.empty()) {
    // Removals and text written so far become part of the content the new pass reads; they
    // are still waiting to be stored.
    data_ = EditedContent();
    edits_.clear();
    insertions_.clear();
    changed_ = true;
    known_.reset();
  }
  fingerprint_ = ResourceFingerprint(resources_);
  if (Reusable()) {
    replay_ = cache_->Pass(CacheKey());
    replayAt_ = 0;
    if (replay_) {
      known_ = replay_;
      return true;
    }
    recording_.emplace();
    recordingBytes_ = 0;
  }
  Interpreter::Hooks hooks;
  // A complete pass sees every Do as well: the template walk after it needs no scan of its own.
  hooks.formDrawn = [this](QPDFObjectHandle form) {
    if (passFormIds_.insert(form.getObjGen()).second) passForms_.push_back(form);
  };
  interpreter_ = NewInterpreter(data_, std::move(hooks));
  return true;
}

void TextContent::EndPass() {
  interpreter_.reset();
  recording_.reset();
  replay_.reset();
  passForms_.clear();
  passFormIds_.clear();
}

const TextShow* TextContent::NextShow() {
  if (replay_) {
    if (replayAt_ < replay_->records.size()) return &replay_->records[replayAt_++];
    replay_.reset();
    return nullptr;
  }
  return Interpret();
}

const TextShow* TextContent::Interpret() {
  if (!interpreter_) return nullptr;
  // While recording, the record is read straight into the recording: no copy of it.
  TextShow& show = recording_ ? recording_->emplace_back() : interpreted_;
  if (!interpreter_->NextText(show)) {
    if (recording_) recording_->pop_back();
    PassCompleted();
    EndPass();
    return nullptr;
  }
  if (!recording_) return &show;
  recordingBytes_ += RecordBytes(show);
  if (recordingBytes_ <= kMaxRecordingBytes) return &show;
  // Too much to keep: this content is read anew at every pass.
  interpreted_ = std::move(show);
  recording_.reset();
  return &interpreted_;
}

void TextContent::PassCompleted() {
  if (!usedTemplates_) usedTemplates_ = passForms_;
  // Checked again at the end: the pass itself may have reported a problem, or text written
  // meanwhile may have changed the resources it read.
  if (!Reusable() || ResourceFingerprint(resources_) != fingerprint_) return;
  cache_->KeepUsedTemplates(CacheKey(), std::move(passForms_));
  if (!recording_) return;
  auto pass = std::make_shared<ReadPass>();
  pass->records = std::move(*recording_);
  pass->openSaves = interpreter_->OpenSaves();
  pass->endsInTextObject = interpreter_->InTextObject();
  pass->endsComplete = interpreter_->CompleteEnd() >= data_.size();
  known_ = pass;
  cache_->KeepPass(CacheKey(), std::move(pass));
}

bool TextContent::Next(TPDFStack& record) {
  kerning_.clear();
  texts_.clear();
  last_ = nullptr;
  lastEdit_ = -1;
  lastInsertion_ = -1;
  if (const TextShow* show = NextShow()) {
    last_ = show;
    FillRecord(*show, record);
    return true;
  }
  record.TextIndicator = 0;
  record.Kerning = nullptr;
  record.KerningCount = 0;
  record.DeleteKerningAt = 0;
  return false;
}

void TextContent::FillRecord(const TextShow& show, TPDFStack& record) {
  const GraphicsState& s = show.state;
  record.ctm = ToAbi(s.ctm);
  record.tm = ToAbi(show.textMatrix);
  record.FontSize = s.fontSize;
  record.DrawMode = s.renderMode;
  record.FillColorSpace = s.fill.space;
  record.FillColor = colors_.ColorToken(s.fill);
  record.StrokeColorSpace = s.stroke.space;
  record.StrokeColor = colors_.ColorToken(s.stroke);
  record.TextIndicator = 1;

  size_t units = 0;
  for (const ShownPiece& piece : show.pieces) units += piece.text.size();
  texts_.reserve(units + 1);  // no reallocation below: the kerning array points into it
  texts_.push_back(0);        // a valid pointer for empty pieces
  kerning_.reserve(show.pieces.size());
  for (const ShownPiece& piece : show.pieces) {
    TPDFKerning kerning{};
    kerning.Advance = ToFloat(piece.advance);
    kerning.Width = ToFloat(piece.width);
    kerning.Length = static_cast<int32_t>(std::min<size_t>(piece.text.size(), INT32_MAX));
    size_t start = texts_.size();
    for (char16_t unit : piece.text) texts_.push_back(static_cast<PDF_WCHAR>(unit));
    kerning.Text = piece.text.empty() ? texts_.data() : texts_.data() + start;
    kerning_.push_back(kerning);
  }
  record.Kerning = kerning_.empty() ? nullptr : kerning_.data();
  record.KerningCount = static_cast<int32_t>(std::min<size_t>(kerning_.size(), INT32_MAX));
  record.TextWidth = ToFloat(show.textWidth);
  record.Font = s.font;
  record.SpaceWidth = ToFloat(show.spaceWidth);
  record.DeleteKerningAt = 0;
  record.Internal = this;

  lastState_.font = s.font;
  lastState_.fontSize = s.fontSize;
  lastState_.charSpacing = s.charSpacing;
  lastState_.wordSpacing = s.wordSpacing;
  lastState_.horizontalScale = s.horizontalScale;
  lastState_.renderMode = s.renderMode;
}

std::string TextContent::Removal(const TextShow& show, size_t fromPiece, bool keepPlace,
                                 size_t& begin, size_t& end) const {
  double displacement = 0;
  for (size_t i = fromPiece; i < show.pieces.size(); ++i) {
    displacement += show.pieces[i].width - show.pieces[i].advance;
  }
  const double scale = show.state.fontSize * show.state.horizontalScale;
  // The removed text becomes a TJ number that moves the pen by the same amount.
  std::string shift;
  if (keepPlace && displacement != 0 && scale != 0) {
    shift = FormatNumber(-displacement * 1000 / scale, 4);
  }

  if (show.kind == ShowKind::kShowArray) {
    begin = show.pieces[fromPiece].removeFrom;
    end = show.arrayClose;
    return shift.empty() ? std::string(" ") : " " + shift + " ";
  }
  begin = show.operandsBegin;
  end = show.operatorEnd;
  std::string shown = shift.empty() ? std::string() : " [" + shift + "] TJ";
  switch (show.kind) {
    case ShowKind::kNextLineShow:
      return " T*" + shown + " ";
    case ShowKind::kSpacingNextLineShow:
      // " also sets the word and character spacing for what follows.
      return " " + show.wordSpacingText + " Tw " + show.charSpacingText + " Tc T*" + shown + " ";
    default:
      return shown + " ";
  }
}

bool TextContent::RemoveText(const TPDFStack& record) {
  if (record.Internal != this || last_ == nullptr) {
    reporter_.Sink().Report(0, "No text record to remove", PDF_E_WARNING | PDF_E_VALUE);
    return false;
  }
  const size_t from = record.DeleteKerningAt > 0 ? static_cast<size_t>(record.DeleteKerningAt) : 0;
  if (from >= last_->pieces.size()) return true;  // nothing from there on
  const double scale = last_->state.fontSize * last_->state.horizontalScale;
  if (scale == 0) {
    // Text of size 0 (or squeezed to no width) shows nothing; its spacing can't be written
    // as a TJ number, so it stays as it is.
    reporter_.Once("remove-size-0", 0, "Text of size 0 left in place", PDF_E_NOTICE);
    return true;
  }
  Edit edit;
  edit.replacement = Removal(*last_, from, true, edit.begin, edit.end);
  edit.bareReplacement = Removal(*last_, from, false, edit.begin, edit.end);
  edit.operatorEnd = last_->operatorEnd;
  if (lastEdit_ >= 0) {
    // Removing again from the same record: the larger cut holds.
    if (from < lastEditFrom_) {
      edits_[static_cast<size_t>(lastEdit_)] = std::move(edit);
      lastEditFrom_ = from;
    }
    return true;
  }
  lastEditFrom_ = from;
  lastEdit_ = static_cast<long>(edits_.size());
  edits_.push_back(std::move(edit));
  return true;
}

void TextContent::AppendOperators(const std::string& operators) {
  appended_ += operators;
  if (!appended_.empty() && appended_.back() != '\n') appended_ += '\n';
}

namespace {

std::string ApplyEdits(const std::string& data, std::vector<std::pair<size_t, size_t>> ranges,
                       const std::vector<std::string>& replacements) {
  std::vector<size_t> order(ranges.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return ranges[x].first < ranges[y].first; });
  std::string out;
  out.reserve(data.size());
  size_t copied = 0;
  for (size_t index : order) {
    auto [begin, end] = ranges[index];
    if (begin < copied || end < begin || end > data.size()) continue;  // overlapping: skip
    out.append(data, copied, begin - copied);
    out += replacements[index];
    copied = end;
  }
  out.append(data, copied, std::string::npos);
  return out;
}

}  // namespace

std::string TextContent::EditedContent() const {
  std::vector<std::pair<size_t, size_t>> ranges;
  std::vector<std::string> replacements;
  std::set<size_t> inserted;
  for (const Insertion& insertion : insertions_) inserted.insert(insertion.at);
  for (const Edit& edit : edits_) {
    ranges.emplace_back(edit.begin, edit.end);
    replacements.push_back(inserted.count(edit.operatorEnd) != 0 ? edit.bareReplacement
                                                                 : edit.replacement);
  }
  for (const Insertion& insertion : insertions_) {
    ranges.emplace_back(insertion.at, insertion.at);
    replacements.push_back(InsertionOperators(insertion));
  }
  return ApplyEdits(data_, std::move(ranges), replacements);
}

void TextContent::PlaceText(const PlacedText& text) {
  if (isForm_) CoverInFormBox(text);
  if (!PlaceAfterRecord(text)) AppendOperators(StandaloneOperators(text));
}

void TextContent::CoverInFormBox(const PlacedText& text) {
  // Glyphs reach about a size above the baseline and a third of it below.
  const double size = std::fabs(text.fontSize);
  const Matrix m = FromAbi(text.matrix);
  for (double x : {0.0, text.width}) {
    for (double y : {-0.35 * size, 1.1 * size}) {
      const double px = x * m.a + y * m.c + m.e;
      const double py = x * m.b + y * m.d + m.f;
      if (!std::isfinite(px) || !std::isfinite(py)) return;
      if (!writtenBox_) writtenBox_ = std::array<double, 4>{px, py, px, py};
      auto& box = *writtenBox_;
      box = {std::min(box[0], px), std::min(box[1], py), std::max(box[2], px),
             std::max(box[3], py)};
    }
  }
}

void TextContent::WidenFormBox() {
  if (!isForm_ || !writtenBox_) return;
  QPDFObjectHandle dict = owner_.getDict();
  QPDFObjectHandle bbox = dict.getKey("/BBox");
  std::array<double, 4> box = *writtenBox_;
  writtenBox_.reset();
  if (!bbox.isArray() || bbox.getArrayNItems() != 4) return;
  std::array<double, 4> current{};
  for (int i = 0; i < 4; ++i) {
    QPDFObjectHandle item = bbox.getArrayItem(i);
    if (!item.isNumber()) return;
    current[static_cast<size_t>(i)] = item.getNumericValue();
  }
  const double llx = std::min(current[0], current[2]), lly = std::min(current[1], current[3]);
  const double urx = std::max(current[0], current[2]), ury = std::max(current[1], current[3]);
  if (box[0] >= llx && box[1] >= lly && box[2] <= urx && box[3] <= ury) return;
  dict.replaceKey(
      "/BBox", QPDFObjectHandle::newArray({QPDFObjectHandle::newReal(std::min(llx, box[0]), 3),
                                           QPDFObjectHandle::newReal(std::min(lly, box[1]), 3),
                                           QPDFObjectHandle::newReal(std::max(urx, box[2]), 3),
                                           QPDFObjectHandle::newReal(std::max(ury, box[3]), 3)}));
}

bool TextContent::PlaceAfterRecord(const PlacedText& text) {
  if (last_ == nullptr || damaged_) return false;
  Matrix toRecordSpace;
  if (!Inverted(last_->state.ctm, toRecordSpace)) return false;
  const Matrix start = Concat(FromAbi(text.matrix), toRecordSpace);
  if (lastInsertion_ < 0) {
    Insertion insertion;
    insertion.at = last_->operatorEnd;
    insertion.inTextObject = last_->inTextObject;
    insertion.lineMatrix = last_->lineMatrixAfter;
    insertion.lineOffset = last_->lineOffsetAfter;
    insertion.state = last_->state;
    lastInsertion_ = static_cast<long>(insertions_.size());
    insertions_.push_back(std::move(insertion));
  }
  Insertion& insertion = insertions_[static_cast<size_t>(lastInsertion_)];
  const std::string shown = HexString(text.bytes);
  double number = 0;
  if (!insertion.runs.empty()) {
    PlacedRun& run = insertion.runs.back();
    if (SameStyle(run.style, text) &&
        StepAlongBaseline(run.end, start, text.fontSize * text.horizontalScale, number)) {
      if (std::fabs(number) >= 0.0005) run.array += " " + Num(number) + " ";
      run.array += shown;
      run.end = Translated(start, text.width, 0);
      return true;
    }
  }
  PlacedRun run;
  run.style = text;
  run.style.matrix = ToAbi(start);
  run.style.bytes.clear();
  run.end = Translated(start, text.width, 0);
  run.array = shown;
  insertion.runs.push_back(std::move(run));
  return true;
}

std::string TextContent::InsertionOperators(const Insertion& insertion) {
  // The written text starts from the record's graphics state (its clip, transparency and line
  // width stay); q/Q undo what it changes. Tm and Tlm are not part of the graphics state: the
  // text object is ended around it and started again at the record's Tlm, moved on to its Tm.
  const GraphicsState& state = insertion.state;
  std::string out = "\n";
  if (insertion.inTextObject) out += "ET\n";
  out += "q\nBT\n";
  double charSpacing = state.charSpacing;
  double wordSpacing = state.wordSpacing;
  double horizontalScale = state.horizontalScale;
  int32_t renderMode = state.renderMode;
  bool riseCleared = state.rise == 0;
  const PlacedText* previous = nullptr;
  for (const PlacedRun& run : insertion.runs) {
    const PlacedText& style = run.style;
    if (!previous || previous->fillColor != style.fillColor) out += style.fillColor;
    if (!previous || previous->strokeColor != style.strokeColor) out += style.strokeColor;
    out += TextStateOperators(charSpacing, wordSpacing, horizontalScale, renderMode, style);
    // The matrix already holds the rise of the text it stands for.
    if (!riseCleared) out += "0 Ts\n";
    riseCleared = true;
    out += MatrixOperands(FromAbi(style.matrix)) + " Tm\n";
    out += style.fontName + " " + Num(style.fontSize) + " Tf\n";
    out += "[" + run.array + "] TJ\n";
    previous = &style;
  }
  out += "ET\nQ\n";
  if (!insertion.inTextObject) return out;
  out += "BT\n" + MatrixOperands(insertion.lineMatrix) + " Tm\n";
  if (insertion.lineOffset != 0) {
    const double scale = state.fontSize * state.horizontalScale;
    if (scale != 0 && state.font != nullptr) {
      out += "[" + Num(-insertion.lineOffset * 1000 / scale) + "] TJ\n";
    } else {
      // No way to move Tm alone: Tlm goes with it.
      out += MatrixOperands(Translated(insertion.lineMatrix, insertion.lineOffset, 0)) + " Tm\n";
    }
  }
  return out;
}

std::string TextContent::WrapWithAdditions(const std::string& edited) {
  // The additions must start from the content's initial graphics state. A Q without its q
  // would pop the wrapping q early, so such Q (which viewers ignore) are left out; q left
  // open and a text object left open are closed before the wrapping Q.
  std::string out = "q\n";
  out.reserve(edited.size() + appended_.size() + 64);
  size_t copied = 0;
  Interpreter::Hooks hooks;
  hooks.unmatchedRestore = [&](size_t begin, size_t end) {
    out.append(edited, copied, begin - copied);
    copied = end;
  };
  auto scan = NewInterpreter(edited, std::move(hooks));
  scan->RunToEnd();
  size_t completeEnd = std::max(copied, std::min(scan->CompleteEnd(), edited.size()));
  out.append(edited, copied, completeEnd - copied);
  out += '\n';
  if (scan->InTextObject()) out += "ET\n";
  for (size_t i = 0; i < scan->OpenSaves(); ++i) out += "Q\n";
  out += "Q\n";
  out += appended_;
  return out;
}

std::string TextContent::WrapKnown(const std::string& edited) const {
  // A clean pass met no Q without its q, and this one read every token to the end, so this is
  // what WrapWithAdditions() writes for it.
  std::string out = "q\n";
  out.reserve(edited.size() + appended_.size() + 64);
  out += edited;
  out += '\n';
  if (known_->endsInTextObject) out += "ET\n";
  for (size_t i = 0; i < known_->openSaves; ++i) out += "Q\n";
  out += "Q\n";
  out += appended_;
  return out;
}

bool TextContent::Store(const std::string& data) {
  try {
    if (cache_ != nullptr) cache_->Forget(owner_.getObjGen());
    if (isForm_) {
      owner_.replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
      if (cache_ != nullptr) cache_->DataReplaced(owner_.getObjGen());
      return true;
    }
    QPDFObjectHandle current = owner_.getKey("/Contents");
    if (cache_ != nullptr && current.isStream() && cache_->IsOwnStream(current.getObjGen())) {
      // A stream written here before belongs to this page alone: a new one each time would
      // keep every earlier version in memory until the document is closed.
      current.replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
      return true;
    }
    QPDFObjectHandle stream = pdf_.newStream(data);
    owner_.replaceKey("/Contents", stream);
    if (cache_ != nullptr) cache_->AddOwnStream(stream.getObjGen());
    return true;
  } catch (const std::exception& e) {
    reporter_.Sink().Report(0, std::string("Content could not be stored: ") + e.what(),
                            PDF_E_FATAL | PDF_E_VALUE);
    return false;
  }
}

bool TextContent::Flush() {
  if (!loaded_) return false;
  if (edits_.empty() && insertions_.empty() && appended_.empty() && !changed_) return true;
  if (damaged_) {
    // Storing would replace data that could not be read by what could: content would be lost.
    reporter_.Sink().Report(0, "Content not stored: part of it could not be read",
                            PDF_E_FATAL | PDF_E_FILE);
    return false;
  }
  std::string edited = EditedContent();
  std::string stored = appended_.empty()                              ? std::move(edited)
                       : known_ && known_->endsComplete && Reusable() ? WrapKnown(edited)
                                                                      : WrapWithAdditions(edited);
  if (!Store(stored)) return false;
  WidenFormBox();
  // The pass under way read the old bytes; it ends here, and the next Restart reads these.
  EndPass();
  known_.reset();
  data_ = std::move(stored);
  usedTemplates_.reset();
  edits_.clear();
  insertions_.clear();
  appended_.clear();
  changed_ = false;
  last_ = nullptr;
  lastEdit_ = -1;
  lastInsertion_ = -1;
  return true;
}

std::vector<QPDFObjectHandle> TextContent::UsedTemplates() {
  // Asked for on every template walk; the forms drawn change only when the content is stored.
  if (usedTemplates_) return *usedTemplates_;
  std::vector<QPDFObjectHandle> forms;
  if (!loaded_) return forms;
  const std::string fingerprint = ResourceFingerprint(resources_);
  const ContentCache::Key key{owner_.getObjGen(), data_, fingerprint};
  if (Reusable()) {
    if (auto kept = cache_->UsedTemplates(key)) {
      usedTemplates_ = std::move(kept);
      return *usedTemplates_;
    }
  }
  std::set<QPDFObjGen> seen;
  Interpreter::Hooks hooks;
  hooks.formDrawn = [&](QPDFObjectHandle form) {
    if (seen.insert(form.getObjGen()).second) forms.push_back(form);
  };
  auto scan = NewInterpreter(data_, std::move(hooks));
  scan->RunToEnd();
  usedTemplates_ = forms;
  if (Reusable()) cache_->KeepUsedTemplates(key, forms);
  return forms;
}

}  // namespace pdfcore::content

namespace pdfcore {

std::string StandaloneOperators(const PlacedText& text) {
  std::string out = "q\n" + text.fillColor + text.strokeColor + "BT\n";
  double charSpacing = 0, wordSpacing = 0, horizontalScale = 1;
  int32_t renderMode = 0;
  out += content::TextStateOperators(charSpacing, wordSpacing, horizontalScale, renderMode, text);
  out += content::MatrixOperands(content::FromAbi(text.matrix)) + " Tm\n";
  out += text.fontName + " " + content::Num(text.fontSize) + " Tf\n";
  out += content::HexString(text.bytes) + " Tj\nET\nQ\n";
  return out;
}

}  // namespace pdfcore
