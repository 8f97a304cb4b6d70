#include "pdf_edit_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kNoBreakSpace = u'\u00A0';
constexpr char16_t kHyphen = u'-';
constexpr char16_t kSoftHyphen = u'\u00AD';

constexpr int32_t kStyleItalic = 1;
constexpr int32_t kStyleBold = 2;
constexpr int32_t kStyleBoldItalic = 3;
constexpr size_t kMaxFamilyLength = 64;
constexpr size_t kSubsetPrefixLength = 7;
constexpr double kFontOpenSize = 10.0;
constexpr int32_t kFontCodePage = 39;

const std::string kEmptyText;

[[noreturn]] void RaiseLibraryFailure() { throw std::runtime_error("-1"); }
[[noreturn]] void RaiseOutOfMemory() { throw std::runtime_error("Out of memory!"); }

// A page character stands for a search character when it is the same code
// unit; a no-break space also stands for a space and a soft hyphen for a
// hyphen (one way only).
bool CharMatches(char16_t pageChar, char16_t searchChar) {
  if (pageChar == searchChar) return true;
  if (pageChar == kNoBreakSpace && searchChar == kSpace) return true;
  if (pageChar == kSoftHyphen && searchChar == kHyphen) return true;
  return false;
}

// Characters a piece really offers, whatever the library put in its length.
int32_t PieceLength(const TPDFKerning& piece) {
  return piece.Text != nullptr && piece.Length > 0 ? piece.Length : 0;
}

}  // namespace

CPDFEditText::CPDFEditText(TPDF& pdf) : PDF(pdf), SearchText(1, u'\0') {}

// ---------------------------------------------------------------------------
// Geometry of the record now in Stack

TPDFMatrix CPDFEditText::TextRenderingMatrix() const { return MulMatrix(Stack.ctm, Stack.tm); }

TPoint CPDFEditText::GetTextPos(TPDFMatrix& M) {
  M = TextRenderingMatrix();
  Angle = CalcAngle(M);
  return Transform(M, 0.0, 0.0);
}

TPoint CPDFEditText::EndPoint(const TPDFMatrix& textRendering) const {
  return Transform(textRendering, static_cast<double>(Stack.TextWidth), 0.0);
}

TLineDelta CPDFEditText::LineDeltaTo(const TPDFMatrix& R, const TPDFMatrix& M,
                                     TPoint origin) const {
  return LineDelta(R, M, origin.X, origin.Y, LastX, LastY, Angle);
}

double CPDFEditText::GapDistance(TPoint origin) const {
  if (Angle == 0) return origin.X - LastX;
  return Distance(LastX, LastY, origin.X, origin.Y);
}

int32_t CPDFEditText::PieceCount() const {
  return Stack.Kerning != nullptr && Stack.KerningCount > 0 ? Stack.KerningCount : 0;
}

const TPDFKerning& CPDFEditText::Piece(int32_t k) const { return Stack.Kerning[k]; }

namespace {
bool IsSpace(char16_t c) { return c == kSpace || c == kNoBreakSpace; }
}  // namespace

bool CPDFEditText::EndsInWord() const {
  for (int32_t k = PieceCount() - 1; k >= 0; --k) {
    const int32_t length = PieceLength(Piece(k));
    if (length > 0) return !IsSpace(Piece(k).Text[length - 1]);
    if (IsKerningGap(Piece(k).Advance, Stack.SpaceWidth)) return false;
  }
  return false;
}

bool CPDFEditText::StartsInWord() const {
  for (int32_t k = 0; k < PieceCount(); ++k) {
    if (IsKerningGap(Piece(k).Advance, Stack.SpaceWidth)) return false;
    if (PieceLength(Piece(k)) > 0) return !IsSpace(Piece(k).Text[0]);
  }
  return false;
}

double CPDFEditText::EmOf(const TPDFMatrix& textRendering) const {
  return CalcScale(textRendering) * std::fabs(Stack.FontSize);
}

TLineRelation CPDFEditText::RelationToLine(bool sameAngle, const TLineDelta& delta, double tol,
                                           bool prevInWord, double prevEm) const {
  const TLineRelation relation = ClassifyLineGap(sameAngle, delta.dx, delta.dy, tol);
  if (relation != TLineRelation::NewLine || !sameAngle || Angle != 0) return relation;
  // Raised or lowered text right after the text before it (a superscript, a footnote mark, the
  // E of TeX's logo) stays on its line, as does a kern inside a word on either baseline.
  const bool raised = delta.dy > kMaxLineRise && IsRaisedOrLowered(delta.dy, prevEm);
  const double dy = raised ? 0.0 : delta.dy;
  constexpr double kMaxKernOfRaisedLetterInEm = 0.4;
  const double maxKern = raised ? kMaxKernOfRaisedLetterInEm : 0.3;
  if (prevInWord && ContinuesWordAcrossKern(delta.dx, dy, prevEm, maxKern) && StartsInWord()) {
    return TLineRelation::Adjacent;
  }
  if (raised) return ClassifyLineGap(true, delta.dx, 0.0, tol);
  return relation;
}

void CPDFEditText::CheckLibrary(int32_t result) const {
  if (result == 0) RaiseLibraryFailure();
}

// ---------------------------------------------------------------------------
// Search

int32_t CPDFEditText::FindAll(const std::u16string& searchText) {
  if (searchText.empty()) throw std::runtime_error("The search text cannot be an empty string!");
  StoreSearchText(searchText);
  LastFont.reset();
  Matches.Clear();
  CheckLibrary(PDF.InitStack(&Stack));
  TemplHandle = -1;
  ParseText();
  ParseTemplates();
  return Matches.Count();
}

void CPDFEditText::StoreSearchText(const std::u16string& searchText) {
  if (searchText.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() - 1)) {
    RaiseOutOfMemory();
  }
  const auto length = static_cast<int32_t>(searchText.size());
  if (length > SearchCapacity) {
    try {
      // Grow to exactly the text and its terminating zero; shorter texts reuse it.
      std::vector<char16_t> grown(static_cast<size_t>(length) + 1);
      SearchText.swap(grown);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory();
    }
    SearchCapacity = length;
  }
  std::copy(searchText.begin(), searchText.end(), SearchText.begin());
  SearchText[static_cast<size_t>(length)] = u'\0';
  SearchLength = static_cast<size_t>(length);
  Cursor = 0;
}

void CPDFEditText::ParseText() {
  LastX = 0.0;
  LastY = 0.0;
  RecordIndex = 0;
  NewLine = true;
  AbandonMatch();

  HaveMore = PDF.GetPageText(&Stack) != 0;
  if (Stack.TextIndicator == 0) return;

  // The first record opens the first line.
  GetTextPos(LineMatrix);
  MatchText();
  double tol = HalfSpaceTolerance(LineMatrix, Stack.SpaceWidth);
  bool prevInWord = EndsInWord();
  double prevEm = EmOf(LineMatrix);
  TPoint end = EndPoint(LineMatrix);
  LastX = end.X;
  LastY = end.Y;
  LineInvertible = Invert(LineMatrix);
  RecordIndex = 1;
  if (!HaveMore) return;

  while (PDF.GetPageText(&Stack) != 0) {
    const int32_t prevAngle = Angle;
    const TPoint origin = GetTextPos(TextMatrix);
    // A record that cannot be measured against its line starts a new one.
    const bool measurable = LineInvertible && !IsSingular(TextMatrix);
    const TLineDelta delta = LineDeltaTo(LineMatrix, TextMatrix, origin);
    const TLineRelation relation =
        measurable ? RelationToLine(Angle == prevAngle, delta, tol, prevInWord, prevEm)
                   : TLineRelation::NewLine;
    if (relation == TLineRelation::NewLine) {
      AbandonMatch();
      LineMatrix = TextMatrix;
      LineInvertible = Invert(LineMatrix);
      NewLine = true;
    } else if (relation == TLineRelation::WordSpace) {
      ConsumeWordSpace(-1);
    }
    MatchText();
    tol = HalfSpaceTolerance(TextMatrix, Stack.SpaceWidth);
    prevInWord = EndsInWord();
    prevEm = EmOf(TextMatrix);
    end = EndPoint(TextMatrix);
    LastX = end.X;
    LastY = end.Y;
    ++RecordIndex;
  }
}

void CPDFEditText::ParseTemplates() {
  // Walks the template tree depth first with an explicit stack, so that deeply
  // nested templates cannot exhaust the call stack.
  struct TLevel {
    int32_t Index;
    int32_t Count;
  };
  std::vector<TLevel> levels{{0, PDF.GetTemplCount()}};
  while (!levels.empty()) {
    TLevel& level = levels.back();
    if (level.Index >= level.Count) {
      levels.pop_back();
      // Leaving a nested level closes the template whose templates it walked.
      if (!levels.empty()) PDF.EndTemplate();
      continue;
    }
    const int32_t index = level.Index++;
    CheckLibrary(PDF.EditTemplate(index));
    TemplHandle = PDF.GetTemplHandle();
    const std::u16string searched(SearchText.data(), SearchLength);
    if (!SearchedTemplates.emplace(TemplHandle, searched).second) {
      PDF.EndTemplate();
      continue;
    }
    if (!Templates.Contains(TemplHandle)) Templates.Add(TemplHandle);
    CheckLibrary(PDF.InitStack(&Stack));
    ParseText();
    if (PDF.GetTemplCount() > 0) {
      levels.push_back(TLevel{0, PDF.GetTemplCount()});
    } else {
      PDF.EndTemplate();
    }
  }
}

void CPDFEditText::MatchText() {
  const int32_t count = PieceCount();
  for (int32_t k = 0; k < count; ++k) {
    const TPDFKerning& piece = Piece(k);
    if (IsKerningGap(piece.Advance, Stack.SpaceWidth)) ConsumeWordSpace(k);
    const int32_t length = PieceLength(piece);
    for (int32_t i = 0; i < length; ++i) {
      if (CharMatches(piece.Text[i], CursorChar())) {
        ConsumeSearchChar(k, i);
      } else {
        // The failed character is not tried again as a new start.
        AbandonMatch();
      }
    }
  }
}

void CPDFEditText::ConsumeWordSpace(int32_t kerning) {
  if (CursorChar() == kSpace) {
    ConsumeSearchChar(kerning, -1);
    return;
  }
  AbandonMatch();
  if (SearchText[0] == kSpace) ConsumeSearchChar(kerning, -1);
}

void CPDFEditText::ConsumeSearchChar(int32_t kerning, int32_t charIndex) {
  if (CursorAtStart()) {
    StartRecord = RecordIndex;
    StartKerning = kerning;
    StartChar = charIndex;
  }
  ++Cursor;
  if (Cursor == SearchLength) AddMatch();
}

void CPDFEditText::AbandonMatch() {
  Cursor = 0;
  StartKerning = -1;
  StartChar = -1;
}

void CPDFEditText::AddMatch() {
  Matches.Add(TemplHandle, StartRecord, RecordIndex, StartKerning, StartChar, NewLine);
  StartKerning = -1;
  StartChar = -1;
  NewLine = false;
  Cursor = 0;
}

// ---------------------------------------------------------------------------
// Replacement

void CPDFEditText::ReplaceAll(const std::u16string& newText) {
  if (newText.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    RaiseOutOfMemory();
  }
  NewText = newText;
  if (NewText == std::u16string_view(SearchText.data(), SearchLength)) {
    // A tag replaced by its own text: the page stays exactly as it is, kerning included.
    CheckLibrary(PDF.InitStack(&Stack));
    CheckLibrary(PDF.FlushPageContent(&Stack));
    return;
  }
  CheckLibrary(PDF.InitStack(&Stack));
  PenMatrix = IdentityMatrix();
  RecordIndex = 0;
  int32_t current = -1;

  int32_t i = 0;
  while (i < Matches.Count()) {
    const TTextMatch m = Matches.Get(i);
    if (m.Handle != current) {
      CheckLibrary(PDF.FlushPageContent(&Stack));
      if (current != -1) PDF.EndTemplate();
      CheckLibrary(PDF.EditTemplate2(m.Handle));
      CheckLibrary(PDF.InitStack(&Stack));
      RecordIndex = 0;
    }
    while (RecordIndex < m.FirstRecord) {
      PDF.GetPageText(&Stack);
      ++RecordIndex;
    }
    if (m.NewLine) {
      // The pen starts at the end of the record before the occurrence.
      PenMatrix = TextRenderingMatrix();
      Translate(PenMatrix, static_cast<double>(Stack.TextWidth));
    }
    HaveMore = PDF.GetPageText(&Stack) != 0;
    CutTopLevel(m);
    i = RewriteRecord(i, m, false);
    current = m.Handle;
  }
  CheckLibrary(PDF.FlushPageContent(&Stack));
  if (current != -1) PDF.EndTemplate();
}

void CPDFEditText::RemoveWholeRecord() {
  Stack.DeleteKerningAt = 0;
  PDF.ReplacePageText(kEmptyText, &Stack);
}

void CPDFEditText::CutTopLevel(const TTextMatch& m) {
  const int32_t s = m.FirstKerning;
  const TPDFMatrix trm = TextRenderingMatrix();
  if (s <= 0) {
    RemoveWholeRecord();
    TextMatrix = trm;
    // A kern before the first glyph (pdfTeX writes a word space so) still moves it: the new
    // text starts where the tag started.
    if (s == 0 && m.FirstChar >= 0 && PieceCount() > 0) {
      Translate(TextMatrix, -static_cast<double>(Piece(0).Advance));
    }
    return;
  }
  // Pieces before s stay where they are; the pass continues after them.
  Stack.DeleteKerningAt = s;
  PDF.ReplacePageText(kEmptyText, &Stack);
  const int32_t count = PieceCount();
  double tx = 0.0;
  for (int32_t k = 0; k < std::min(s, count); ++k) {
    tx += static_cast<double>(Piece(k).Width) - static_cast<double>(Piece(k).Advance);
  }
  if (m.FirstChar >= 0 && s < count) tx -= static_cast<double>(Piece(s).Advance);
  TextMatrix = trm;
  Translate(TextMatrix, tx);
}

void CPDFEditText::CutAlongLine(double rise) {
  RemoveWholeRecord();
  RebasePen(rise);
  TextMatrix = PenMatrix;
}

void CPDFEditText::RebasePen(double rise) {
  // The pen keeps its place on the page; the record written there keeps its own direction and
  // scale, which carry its size when a producer puts the size into the matrix, and its height
  // above or below the text before it.
  TPDFMatrix own = TextRenderingMatrix();
  if (IsSingular(own)) return;
  own.e = PenMatrix.e;
  own.f = PenMatrix.f + (Angle == 0 && std::isfinite(rise) ? rise : 0.0);
  PenMatrix = own;
}

int32_t CPDFEditText::RewriteRecord(int32_t i, TTextMatch m, bool alongLine) {
  // Occurrences that follow each other on one line are rewritten in turn here
  // rather than by recursion, so a long line cannot exhaust the call stack.
  for (;;) {
    TTextMatch last;
    const int32_t j = RewritePass(i, m, alongLine, last);
    TLineStep step = FinishMatch(j, last);
    if (!step.Continue) return step.Next;
    i = step.Next;
    m = *step.Continue;
    alongLine = true;
  }
}

int32_t CPDFEditText::RewritePass(int32_t i, const TTextMatch& m, bool alongLine,
                                  TTextMatch& last) {
  // The occurrences that begin in this record.
  int32_t end = i;
  while (end < Matches.Count() && Matches.Get(end).FirstRecord == m.FirstRecord &&
         Matches.Get(end).Handle == m.Handle) {
    ++end;
  }
  last = Matches.Get(end - 1);

  const bool onPen = m.FirstKerning == -1 || alongLine;
  if (onPen && !alongLine) RebasePen();
  TPDFMatrix& M = onPen ? PenMatrix : TextMatrix;
  if (!alongLine) CursorToEnd();
  const int32_t firstPiece = alongLine ? 0 : std::max(m.FirstKerning, 0);

  int32_t next = i;  // next occurrence of this record still to write
  const int32_t count = PieceCount();
  for (int32_t k = firstPiece; k < count; ++k) {
    const TPDFKerning& piece = Piece(k);
    const int32_t length = PieceLength(piece);
    auto beginsHere = [&](const TTextMatch& o) { return std::max(o.FirstKerning, 0) == k; };
    auto charOf = [](const TTextMatch& o) { return o.FirstKerning == -1 ? -1 : o.FirstChar; };

    // A gap that an occurrence begins with is its leading space: the new
    // text takes its place.
    const bool opensWithGap =
        next < end && beginsHere(Matches.Get(next)) && charOf(Matches.Get(next)) == -1;
    if (k != firstPiece && !opensWithGap) ApplyAdvance(M, piece);

    int32_t q = SkipMatched(piece, 0);
    while (next < end && beginsHere(Matches.Get(next))) {
      const TTextMatch& o = Matches.Get(next);
      const int32_t firstChar = std::min(charOf(o), length);
      if (firstChar > q) WriteText(M, piece.Text + q, firstChar - q);
      WriteReplacement(o, M, piece, q);
      ++next;
    }
    if (q < length) WriteText(M, piece.Text + q, length - q);
  }
  if (onPen) TextMatrix = PenMatrix;
  return end;
}

void CPDFEditText::WriteReplacement(const TTextMatch& o, TPDFMatrix& M, const TPDFKerning& piece,
                                    int32_t& q) {
  const int32_t firstChar = o.FirstKerning == -1 ? -1 : o.FirstChar;
  Cursor = 0;
  // A gap at the start stood for the search text's leading space.
  if (firstChar == -1 && SearchLength > 0) ++Cursor;
  if (!NewText.empty()) {
    WriteText(M, reinterpret_cast<const PDF_WCHAR*>(NewText.data()),
              static_cast<int32_t>(NewText.size()));
  }
  const int32_t from = std::clamp(firstChar == -1 ? 0 : firstChar, q, PieceLength(piece));
  q = from + SkipMatched(piece, from);
}

CPDFEditText::TLineStep CPDFEditText::FinishMatch(int32_t j, const TTextMatch& m) {
  if (!HaveMore) {
    ++RecordIndex;
    return TLineStep{j, std::nullopt};
  }
  std::optional<TTextMatch> next;
  if (j < Matches.Count() && Matches.Get(j).Handle == m.Handle) next = Matches.Get(j);
  const int32_t nextStart = next ? next->FirstRecord : std::numeric_limits<int32_t>::max();

  PenMatrix = TextMatrix;

  // Measure from the end of the occurrence's first record.
  TextMatrix = TextRenderingMatrix();
  Translate(TextMatrix, static_cast<double>(Stack.TextWidth));
  TPoint point = Transform(TextMatrix, 0.0, 0.0);
  LastX = point.X;
  LastY = point.Y;
  Angle = CalcAngle(TextMatrix);
  double tol = HalfSpaceTolerance(TextMatrix, Stack.SpaceWidth);
  ++RecordIndex;

  // Records in the middle of the occurrence: written again without its
  // characters; the gap in front of each is part of the occurrence.
  while (m.LastRecord > RecordIndex) {
    HaveMore = PDF.GetPageText(&Stack) != 0;
    if (!HaveMore) return TLineStep{j, std::nullopt};
    ++RecordIndex;
    TextMatrix = TextRenderingMatrix();
    const TPoint origin = Transform(TextMatrix, 0.0, 0.0);
    if (GapDistance(origin) > tol && CursorChar() == kSpace) ++Cursor;
    RemoveWholeRecord();
    RebasePen();
    for (int32_t k = 0; k < PieceCount(); ++k) ReEmitPiece(PenMatrix, Piece(k));
    tol = HalfSpaceTolerance(TextMatrix, Stack.SpaceWidth);
    point = EndPoint(TextMatrix);
    LastX = point.X;
    LastY = point.Y;
  }

  TPDFMatrix R = TextMatrix;
  const bool referenceInvertible = Invert(R);
  Angle = CalcAngle(TextMatrix);
  int32_t prevAngle = Angle;

  // The rest of the line follows the new text.
  while (HaveMore && RecordIndex < nextStart) {
    const bool prevInWord = EndsInWord();
    const double prevEm = EmOf(TextRenderingMatrix());
    HaveMore = PDF.GetPageText(&Stack) != 0;
    if (!HaveMore) return TLineStep{j, std::nullopt};
    ++RecordIndex;
    const TPoint origin = GetTextPos(TextMatrix);
    const TLineDelta delta = LineDeltaTo(R, TextMatrix, origin);
    const bool measurable = referenceInvertible && !IsSingular(TextMatrix);
    if (!measurable || RelationToLine(Angle == prevAngle, delta, tol, prevInWord, prevEm) ==
                           TLineRelation::NewLine) {
      next.reset();
      break;
    }
    RemoveWholeRecord();
    ApplyGap(PenMatrix, delta.dx, tol);
    RebasePen(origin.Y - LastY);
    for (int32_t k = 0; k < PieceCount(); ++k) ReEmitPiece(PenMatrix, Piece(k));
    prevAngle = Angle;
    tol = HalfSpaceTolerance(TextMatrix, Stack.SpaceWidth);
    point = EndPoint(TextMatrix);
    LastX = point.X;
    LastY = point.Y;
  }

  if (!next || next->NewLine) return TLineStep{j, std::nullopt};

  // The next occurrence lies on this line: its record joins the pen.
  HaveMore = PDF.GetPageText(&Stack) != 0;
  if (!HaveMore) return TLineStep{j, std::nullopt};
  const TPoint origin = GetTextPos(TextMatrix);
  const double dx = GapDistance(origin);
  if (next->FirstKerning >= 0) ApplyGap(PenMatrix, dx, tol);
  CutAlongLine(origin.Y - LastY);
  return TLineStep{j, next};
}

int32_t CPDFEditText::SkipMatched(const TPDFKerning& piece, int32_t from) {
  const int32_t length = PieceLength(piece);
  int32_t skipped = 0;
  while (from + skipped < length && Cursor < SearchLength &&
         CharMatches(piece.Text[from + skipped], CursorChar())) {
    ++Cursor;
    ++skipped;
  }
  return skipped;
}

void CPDFEditText::ApplyAdvance(TPDFMatrix& M, const TPDFKerning& piece) {
  if (IsKerningGap(piece.Advance, Stack.SpaceWidth) && CursorChar() == kSpace) {
    ++Cursor;
    return;
  }
  // Kerning between two characters of the replaced text went with those characters; applied
  // after the new value it would shift the rest of the line.
  if (InsideOccurrence()) return;
  Translate(M, -static_cast<double>(piece.Advance));
}

void CPDFEditText::ApplyGap(TPDFMatrix& M, double dx, double tol) {
  if (dx > tol && CursorChar() == kSpace) {
    ++Cursor;
    return;
  }
  if (InsideOccurrence()) return;
  // dx is measured on the page; the pen moves in its own text space, which a scaled CTM or a
  // size carried by the text matrix (cairo's 1 Tf) makes larger or smaller than the page's.
  const double unit = std::hypot(M.a, M.b);
  Translate(M, unit > 0 && std::isfinite(unit) ? dx / unit : dx);
}

bool CPDFEditText::InsideOccurrence() const { return CursorChar() != 0; }

void CPDFEditText::ReEmitPiece(TPDFMatrix& M, const TPDFKerning& piece) {
  ApplyAdvance(M, piece);
  const int32_t skipped = SkipMatched(piece, 0);
  const int32_t length = PieceLength(piece);
  if (skipped < length) WriteText(M, piece.Text + skipped, length - skipped);
}

// ---------------------------------------------------------------------------
// Output and fonts

void CPDFEditText::WriteText(TPDFMatrix& M, const PDF_WCHAR* chars, int32_t count) {
  SelectFont();
  PDF.SetFillColorSpace(Stack.FillColorSpace);
  PDF.SetFillColor(Stack.FillColor);
  PDF.SetStrokeColorSpace(Stack.StrokeColorSpace);
  PDF.SetStrokeColor(Stack.StrokeColor);
  PDF.SetTextDrawMode(static_cast<int8_t>(Stack.DrawMode));
  PDF.ChangeFontSize(Stack.FontSize);
  PDF.WriteTextMatrixEx(&M, chars, count);
  const double width = PDF.GetTextWidthEx(chars, count);
  // A width that is not a number would poison every later position.
  Translate(M, std::isfinite(width) ? width : 0.0);
}

void CPDFEditText::SelectFont() {
  if (LastFont && *LastFont == Stack.Font) return;
  TPDFFontInfo info{};
  if (!PDF.GetFont(Stack.Font, &info)) RaiseOutOfMemory();

  int32_t style = 0;
  if (info.ItalicAngle != 0.0f || (info.Flags & PDF_FF_ITALIC) != 0) style |= kStyleItalic;
  if (info.FontType == PDF_FT_TYPE1 && (info.Flags & PDF_FF_FORCE_BOLD) != 0) style |= kStyleBold;

  const std::string_view name = info.FontName != nullptr ? info.FontName : "Arial";
  const std::string family = ParseFontName(name, style);
  if (PDF.SetFontEx(family, style, kFontOpenSize, true, kFontCodePage) < 0) {
    const char* fallback = (info.Flags & PDF_FF_FIXED_PITCH) != 0 ? "Courier New" : "Arial";
    if (PDF.SetFont(fallback, style, kFontOpenSize, true, static_cast<int8_t>(kFontCodePage)) < 0) {
      RaiseLibraryFailure();
    }
  }
  LastFont = Stack.Font;
}

std::string CPDFEditText::ParseFontName(std::string_view name, int32_t& flags) {
  if (name.size() > kSubsetPrefixLength && name[kSubsetPrefixLength - 1] == '+') {
    name.remove_prefix(kSubsetPrefixLength);
  }
  std::string_view family = name;
  const size_t comma = name.find(',');
  if (comma != std::string_view::npos) {
    const std::string_view style = name.substr(comma + 1);
    if (style == "BoldItalic") {
      flags = kStyleBoldItalic;
    } else if (style == "Italic") {
      flags |= kStyleItalic;
    } else if (style == "Bold") {
      flags |= kStyleBold;
    }
    family = name.substr(0, comma);
  }
  return std::string(family.substr(0, kMaxFamilyLength));
}
