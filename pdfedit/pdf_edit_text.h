// CPDFEditText: finds a text in the page open for editing and in the
// templates it uses, and replaces every occurrence, writing the new text in
// the style and place of the old one and laying the rest of its line out again.
//
// The engine works through a TPDF it does not own; the caller keeps the
// binding alive for the engine's whole life. Failures are raised as
// std::runtime_error: "The search text cannot be an empty string!",
// "Out of memory!", or "-1" for any failed library operation.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "TPDF.h"
#include "dynapdf_abi.h"
#include "lists.h"
#include "text_geometry.h"

class CPDFEditText {
 public:
  explicit CPDFEditText(TPDF& pdf);
  virtual ~CPDFEditText() = default;
  CPDFEditText(const CPDFEditText&) = delete;
  CPDFEditText& operator=(const CPDFEditText&) = delete;

  // Finds every occurrence of searchText on the open page and in the templates
  // not searched before by this engine; returns the number found.
  int32_t FindAll(const std::u16string& searchText);

  // Replaces the occurrences of the last FindAll with newText (may be empty).
  // Must run on the same open page before anything else changes its content.
  void ReplaceAll(const std::u16string& newText);

  // Family name of a PDF font name: drops a subset prefix ("ABCDEF+") and a
  // style suffix after a comma ("Bold", "Italic", "BoldItalic"), which adds
  // to flags (1 italic, 2 bold); at most 64 characters.
  static std::string ParseFontName(std::string_view name, int32_t& flags);

  const CRecordList& GetMatches() const { return Matches; }
  const CIntList& GetTemplates() const { return Templates; }
  int32_t GetSearchCapacity() const { return SearchCapacity; }

 private:
  // Where one rewriting of a line goes on: the next entry index and, when the
  // next occurrence lies on the same line, that occurrence.
  struct TLineStep {
    int32_t Next = 0;
    std::optional<TTextMatch> Continue;
  };

  // Search.
  void StoreSearchText(const std::u16string& searchText);
  void ParseText();
  void ParseTemplates();
  void MatchText();
  void AddMatch();
  void ConsumeSearchChar(int32_t kerning, int32_t charIndex);
  void ConsumeWordSpace(int32_t kerning);
  void AbandonMatch();

  // Replacement.
  void CutTopLevel(const TTextMatch& m);
  // rise: the record's height above the end of the text before it, on the page.
  void CutAlongLine(double rise);
  int32_t RewriteRecord(int32_t i, TTextMatch m, bool alongLine);
  int32_t RewritePass(int32_t i, const TTextMatch& m, bool alongLine, TTextMatch& last);
  TLineStep FinishMatch(int32_t j, const TTextMatch& m);
  void WriteReplacement(const TTextMatch& o, TPDFMatrix& M, const TPDFKerning& piece, int32_t& q);
  int32_t SkipMatched(const TPDFKerning& piece, int32_t from);
  void ApplyAdvance(TPDFMatrix& M, const TPDFKerning& piece);
  void ApplyGap(TPDFMatrix& M, double dx, double tol);
  // True while the characters of an occurrence are being dropped (its rest lies ahead).
  bool InsideOccurrence() const;
  void ReEmitPiece(TPDFMatrix& M, const TPDFKerning& piece);
  void RemoveWholeRecord();
  // Gives the pen the direction and scale of the record now in Stack, at the pen's place.
  void RebasePen(double rise = 0.0);

  // Output.
  void WriteText(TPDFMatrix& M, const PDF_WCHAR* chars, int32_t count);
  void SelectFont();

  // Geometry of the record now in Stack.
  TPDFMatrix TextRenderingMatrix() const;
  TPoint GetTextPos(TPDFMatrix& M);
  TPoint EndPoint(const TPDFMatrix& textRendering) const;
  TLineDelta LineDeltaTo(const TPDFMatrix& R, const TPDFMatrix& M, TPoint origin) const;
  double GapDistance(TPoint origin) const;
  int32_t PieceCount() const;
  // Whether the record's text ends, or starts, with a character of a word (no space, no gap).
  bool EndsInWord() const;
  bool StartsInWord() const;
  // The record's font size in device units.
  double EmOf(const TPDFMatrix& textRendering) const;
  // The line test, with the one step back inside a word that it lets through.
  TLineRelation RelationToLine(bool sameAngle, const TLineDelta& delta, double tol, bool prevInWord,
                               double prevEm) const;
  const TPDFKerning& Piece(int32_t k) const;

  // Search text under the cursor; 0 on the terminating zero.
  char16_t CursorChar() const { return SearchText[Cursor]; }
  bool CursorAtStart() const { return Cursor == 0; }
  void CursorToEnd() { Cursor = SearchLength; }

  void CheckLibrary(int32_t result) const;

  int32_t Angle = 0;
  int32_t TemplHandle = 0;
  int32_t StartRecord = -1;
  bool HaveMore = false;
  int32_t StartKerning = 0;
  // Font made current by the last font selection; empty when none.
  std::optional<void*> LastFont;
  double LastX = 0.0;
  double LastY = 0.0;
  TPDFMatrix LineMatrix{};
  // False while LineMatrix holds a matrix that could not be inverted.
  bool LineInvertible = true;
  TPDFMatrix TextMatrix{};
  TPDFMatrix PenMatrix{};
  bool NewLine = true;
  TPDF& PDF;
  int32_t RecordIndex = 0;
  CRecordList Matches;
  size_t Cursor = 0;
  std::vector<char16_t> SearchText;  // always zero-terminated
  size_t SearchLength = 0;
  int32_t SearchCapacity = 0;
  std::u16string NewText;  // the text being put in by ReplaceAll
  TPDFStack Stack{};
  int32_t StartChar = 0;
  CIntList Templates;
  // Each template is searched once per search text: a shared header holding several tags is
  // searched again for each of them, and once only for each.
  std::set<std::pair<int32_t, std::u16string>> SearchedTemplates;
};
