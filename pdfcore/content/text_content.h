// One content open for editing: its bytes, the pass of the interpreter over them, the text
// removals waiting to be stored and the operators to add after it.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "content/colors.h"
#include "content/content_cache.h"
#include "content/interpreter.h"
#include "content/state.h"
#include "core/color_table.h"
#include "core/content_editor.h"
#include "core/errors.h"
#include "dynapdf_abi.h"

namespace pdfcore::content {

// Decoded content of one page or form at most; a compression bomb stops here.
inline constexpr size_t kMaxContentBytes = size_t{256} << 20;

// Takes the decoded data of a content's streams up to kMaxContentBytes in all, counting from
// what earlier streams of the same content gave, and appends it to `out` when there is one.
class BoundedContentSink final : public Pipeline {
 public:
  BoundedContentSink(size_t alreadyRead, std::string* out);
  void write(unsigned char const* data, size_t len) override;
  void finish() override {}

  size_t Read() const { return read_; }
  // QPDF turns an exception from a pipeline into a plain failure, so the cause is kept here.
  bool TooLarge() const { return tooLarge_; }
  static std::string TooLargeMessage();

 private:
  size_t read_;
  std::string* out_;
  bool tooLarge_ = false;
};

class TextContent {
 public:
  // owner: a page dictionary or a form XObject stream of `pdf`. `cache`, when given, is the
  // document's: passes over content read before are replayed from it.
  TextContent(QPDF& pdf, QPDFObjectHandle owner, FontSource& fonts, ColorTable& colors,
              ErrorSink& errors, ContentCache* cache = nullptr);

  bool Restart(TPDFStack& record);
  bool Next(TPDFStack& record);
  bool RemoveText(const TPDFStack& record);
  const TextStateSnapshot& LastTextState() const { return lastState_; }
  void AppendOperators(const std::string& operators);
  void PlaceText(const PlacedText& text);
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
    // The same without the shift that keeps later glyphs in place: used when text is written
    // in the record's place, which puts the pen back where the record left it.
    std::string bareReplacement;
    size_t operatorEnd;
  };

  // Strings of one style written one after the other along one baseline: one TJ.
  struct PlacedRun {
    PlacedText style;  // of its first string; `matrix` is where the run starts
    Matrix end;        // where the glyph after the run would go, in the record's space
    std::string array;
  };

  // Text written in the place of one record, right after its operator. It is wrapped so that
  // the content after it finds the graphics state and text position it found before.
  struct Insertion {
    size_t at = 0;  // the end of the record's operator
    bool inTextObject = false;
    Matrix lineMatrix;
    double lineOffset = 0;
    GraphicsState state;  // the record's: what the written text starts from
    std::vector<PlacedRun> runs;
  };

  // Counts what is reported on behalf of this content: a content that reported anything is
  // never replayed, so every opening reports its problems as the first one did.
  class CountingSink final : public ErrorSink {
   public:
    explicit CountingSink(ErrorSink& target) : target_(target) {}
    void Report(int32_t code, const std::string& message, int32_t type) override {
      ++count_;
      target_.Report(code, message, type);
    }
    size_t Count() const { return count_; }

   private:
    ErrorSink& target_;
    size_t count_ = 0;
  };

  bool LoadContent();
  // Appends the decoded data of one stream of the content; false (with the reason) when it is
  // damaged or past the size limit.
  bool ReadStream(QPDFObjectHandle stream, std::string& error);
  // The next record of the pass under way (replayed or interpreted); null at its end.
  const TextShow* NextShow();
  const TextShow* Interpret();
  // A pass read all of `data_`: what it learnt is kept for this content and, when it was clean,
  // for the document.
  void PassCompleted();
  void EndPass();
  bool Reusable() const;
  ContentCache::Key CacheKey() const;
  void ResetRecord(TPDFStack& record);
  void FillRecord(const TextShow& show, TPDFStack& record);
  std::string Removal(const TextShow& show, size_t fromPiece, bool keepPlace, size_t& begin,
                      size_t& end) const;
  // Adds `text` to the insertion of the record delivered last; false when it can't go there.
  bool PlaceAfterRecord(const PlacedText& text);
  void CoverInFormBox(const PlacedText& text);
  void WidenFormBox();
  static std::string InsertionOperators(const Insertion& insertion);
  std::string WrapWithAdditions(const std::string& edited);
  // WrapWithAdditions() when a clean pass over the content is known: removals change neither
  // its q/Q nor its BT/ET, so what it leaves open is known without reading it again.
  std::string WrapKnown(const std::string& edited) const;
  bool Store(const std::string& data);
  std::unique_ptr<Interpreter> NewInterpreter(std::string_view data, Interpreter::Hooks hooks);

  QPDF& pdf_;
  QPDFObjectHandle owner_;
  QPDFObjectHandle resources_;
  FontSource& fonts_;
  CountingSink errors_;
  Reporter reporter_;
  ContentCache* cache_;
  std::string fingerprint_;  // of resources_ when the pass under way began
  ColorResolver colors_;
  bool loaded_ = false;
  bool isForm_ = false;
  bool damaged_ = false;  // a stream could not be decoded: never overwrite it

  std::string data_;                                // the content the pass runs over
  std::unique_ptr<Interpreter> interpreter_;        // the pass under way, when interpreted
  std::optional<std::vector<TextShow>> recording_;  // its records so far, kept when complete
  std::vector<QPDFObjectHandle> passForms_;         // the forms it drew so far, each once
  std::set<QPDFObjGen> passFormIds_;
  size_t recordingBytes_ = 0;
  std::shared_ptr<const ReadPass> replay_;  // the pass under way, when replayed
  std::shared_ptr<const ReadPass> known_;   // a complete, clean pass over data_, if any
  size_t replayAt_ = 0;
  TextShow interpreted_;     // the record read last when it is not being recorded
  std::vector<Edit> edits_;  // removals, in content order
  std::vector<Insertion> insertions_;
  // Where text written into a form reaches, in the form's space: its /BBox is widened to hold
  // it, or a longer value would be clipped.
  std::optional<std::array<double, 4>> writtenBox_;
  long lastInsertion_ = -1;  // index in insertions_ of the one for the record delivered last
  std::string appended_;
  std::optional<std::vector<QPDFObjectHandle>> usedTemplates_;  // until the content is stored
  bool changed_ = false;  // edits were folded into data_ but not stored

  // The record delivered last, and the memory its kerning array points into.
  const TextShow* last_ = nullptr;  // in interpreted_, recording_ or replay_; null: none
  long lastEdit_ = -1;              // index in edits_ of the removal made on the last record
  size_t lastEditFrom_ = 0;
  std::vector<TPDFKerning> kerning_;
  std::vector<PDF_WCHAR> texts_;
  TextStateSnapshot lastState_;
};

}  // namespace pdfcore::content
