// The content-stream interpreter: runs the operators of one content (a page's or a form's) over
// a graphics state and stops at every text-showing operator with what it shows and where.
//
// Robustness: junk tokens, unknown operators and operands of the wrong type are skipped (and
// reported once); arrays and dictionaries nest by counting, never by recursion; the operand
// stack, array sizes and the q depth are bounded.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "content/colors.h"
#include "content/lexer.h"
#include "content/state.h"
#include "fonts/pdf_font.h"

namespace pdfcore::content {

enum class ShowKind { kShow, kShowArray, kNextLineShow, kSpacingNextLineShow };  // Tj TJ ' "

// One piece of a shown text: the glyphs of one string operand.
struct ShownPiece {
  std::u16string text;
  double advance = 0;     // shift before the piece in text space (a TJ number n: n/1000·size·Th)
  double width = 0;       // advance of the piece's glyphs in text space
  size_t removeFrom = 0;  // TJ: where the bytes of this piece (its numbers, its string) begin
};

// A text-showing operator with the state it shows in.
struct TextShow {
  ShowKind kind = ShowKind::kShow;
  GraphicsState state;
  Matrix textMatrix;  // Tm with the text rise folded in
  std::vector<ShownPiece> pieces;
  double textWidth = 0;  // displacement of the whole operator
  double spaceWidth = 0;
  // Byte ranges for rewriting the operator.
  size_t operandsBegin = 0;  // first operand the operator uses
  size_t operatorEnd = 0;
  size_t arrayClose = 0;        // TJ: offset of the closing ']'
  std::string wordSpacingText;  // ": its first two operands as written
  std::string charSpacingText;
  // The text object as the operator leaves it: text written in the operator's place restores
  // this, so what follows is positioned as before.
  bool inTextObject = false;
  Matrix lineMatrixAfter;      // Tlm
  double lineOffsetAfter = 0;  // Tm is Tlm moved by this along its x axis
};

class Interpreter {
 public:
  struct Hooks {
    std::function<void(QPDFObjectHandle form)> formDrawn;            // Do of a form XObject
    std::function<void(size_t begin, size_t end)> unmatchedRestore;  // a Q without its q
  };

  Interpreter(std::string_view data, QPDFObjectHandle resources, FontSource& fonts,
              ColorResolver& colors, Reporter& reporter, Hooks hooks = {});

  // Runs to the next text-showing operator that shows at least one glyph and describes it;
  // operators that only move the pen (a TJ of numbers, an empty string) move it silently.
  // False at the end of the content.
  bool NextText(TextShow& show);

  // Runs the rest of the content.
  void RunToEnd();

  // After the end: q operators left open, whether a text object is left open, and where the
  // last complete token ended (an unterminated string or inline image is not complete).
  size_t OpenSaves() const { return saved_.size() + overflowSaves_; }
  bool InTextObject() const { return inText_; }
  size_t CompleteEnd() const { return completeEnd_; }

 private:
  bool textIgnored_ = false;  // RunToEnd: shown text is not decoded
  struct Item {               // an element of an array operand
    TokenType type = TokenType::kNull;
    double number = 0;
    std::string text;
    size_t begin = 0;
    size_t end = 0;
  };
  struct Operand {
    TokenType type = TokenType::kNull;  // kArrayOpen: an array, kDictOpen: a dictionary
    double number = 0;
    std::string text;
    bool boolean = false;
    size_t begin = 0;
    size_t end = 0;
    std::vector<Item> items;
  };

  // Feeds one token; true when an operator completed a text show into `show`.
  bool Feed(Token& token, TextShow& show);
  void PushOperand(Token& token);
  void OpenContainer(Token& token);
  void CloseContainer(Token& token);
  bool Execute(const Token& op, TextShow& show);
  void SkipInlineImage();

  bool Numbers(size_t count, double* out) const;
  void SetMatrixOperator(Matrix& target, bool isTextMatrix);
  void Save(const Token& op);
  void Restore(const Token& op);
  void SetFont();
  void SetColor(ColorValue& color, size_t components, int32_t space);
  void SetColorComponents(ColorValue& color);
  void SetColorSpace(ColorValue& color);
  void MoveText(double tx, double ty);
  void NextLine();
  void DrawXObject();
  bool Show(ShowKind kind, const Token& op, TextShow& show);
  void DecodePiece(const std::string& bytes, PdfFont* font, ShownPiece& piece);
  PdfFont* CurrentFont();
  void Report(const std::string& key, const std::string& message, int32_t type);

  Lexer lexer_;
  QPDFObjectHandle resources_;
  FontSource& fonts_;
  ColorResolver& colors_;
  Reporter& reporter_;
  Hooks hooks_;

  std::vector<Operand> operands_;
  bool operandsOverflowed_ = false;
  size_t depth_ = 0;  // nesting of the open array or dictionary
  bool collectingArray_ = false;
  size_t arrayItems_ = 0;

  GraphicsState state_;
  std::vector<GraphicsState> saved_;
  size_t overflowSaves_ = 0;  // q beyond the bound: counted, not saved
  Matrix textMatrix_;
  Matrix lineMatrix_;
  double lineOffset_ = 0;  // how far text shown since Tlm was set has moved Tm
  bool inText_ = false;
  size_t completeEnd_ = 0;
  bool endsIncomplete_ = false;  // an unterminated string ran into the end of the data
  bool finished_ = false;
  std::map<std::string, PdfFont*> fontsByName_;
  std::vector<GlyphMetrics> glyphs_;  // of the piece being decoded; kept to reuse its memory
  size_t piecesGlyphs_ = 0;           // glyphs of the operator being decoded
};

}  // namespace pdfcore::content
