// One content open for editing: its bytes, the pass of the interpreter over them, the text
// removals waiting to be stored and the operators to add after it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "content/colors.h"
#include "content/interpreter.h"
#include "content/state.h"
#include "core/color_table.h"
#include "core/content_editor.h"
#include "core/errors.h"
#include "dynapdf_abi.h"

namespace pdfcore::content {

class TextContent {
 public:
  // owner: a page dictionary or a form XObject stream of `pdf`.
  TextContent(QPDF& pdf, QPDFObjectHandle owner, FontSource& fonts, ColorTable& colors,
              ErrorSink& errors);

  bool Restart(TPDFStack& record);
  bool Next(TPDFStack& record);
  bool RemoveText(const TPDFStack& record);
  const TextStateSnapshot& LastTextState() const { return lastState_; }
  void AppendOperators(const std::string& operators);
  bool Flush();
  std::vector<QPDFObjectHandle> UsedTemplates();
  QPDFObjectHandle Owner() const { return owner_; }

  // The content as it would be stored now (edits applied, additions not).
  std::string EditedContent() const;

 private:
  struct Edit {
    size_t begin;
    size_t end;
    std::string replacement;
  };

  bool LoadContent();
  void ResetRecord(TPDFStack& record);
  void FillRecord(const TextShow& show, TPDFStack& record);
  std::string Removal(const TextShow& show, size_t fromPiece, size_t& begin, size_t& end) const;
  std::string WrapWithAdditions(const std::string& edited);
  bool Store(const std::string& data);
  std::unique_ptr<Interpreter> NewInterpreter(std::string_view data, Interpreter::Hooks hooks);

  QPDF& pdf_;
  QPDFObjectHandle owner_;
  QPDFObjectHandle resources_;
  FontSource& fonts_;
  Reporter reporter_;
  ColorResolver colors_;
  bool loaded_ = false;
  bool isForm_ = false;
  bool damaged_ = false;  // a stream could not be decoded: never overwrite it

  std::string data_;                          // the content the pass runs over
  std::unique_ptr<Interpreter> interpreter_;  // the pass under way
  std::vector<Edit> edits_;                   // removals, in content order
  std::string appended_;
  std::optional<std::vector<QPDFObjectHandle>> usedTemplates_;  // until the content is stored
  bool changed_ = false;  // edits were folded into data_ but not stored

  // The record delivered last, and the memory its kerning array points into.
  TextShow last_;
  bool haveLast_ = false;
  long lastEdit_ = -1;  // index in edits_ of the removal made on the last record
  size_t lastEditFrom_ = 0;
  std::vector<TPDFKerning> kerning_;
  std::vector<PDF_WCHAR> texts_;
  TextStateSnapshot lastState_;
};

}  // namespace pdfcore::content
