// Reaching the fake PDF library from a test.
//
// Link the CMake target `fakepdf_control`: it provides this header, the paths of the fakes
// (FAKEPDF_PATH, FAKEPDF_NONEW_PATH, FAKEPDF_NODELETE_PATH, FAKEPDF_NOFONT_PATH) and the loader
// library, and builds the fakes first. Then:
//
//   fakepdf::FakeControl fake;           // dlopen()s FAKEPDF_PATH: the copy TPDF loads too
//   fake.reset();
//   fakepdf::ScriptRecord rec;
//   rec.Piece(u"Hello [[x]]", 55.0f);
//   fake.AddRecord(-1, rec);
//   TPDF pdf(FAKEPDF_PATH);
//   pdf.EditPage(1);
//   ...
//   EXPECT_EQ(fake.Writes().at(0).text, "new");
//
// The control object keeps the fake loaded while it lives, so its state survives TPDF objects
// coming and going. Every member named like a control function is that function, resolved.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakepdf.h"

namespace fakepdf {

// One text record to script: set the fields of `fields` (matrices, size, colours, draw mode,
// text indicator, font handle, widths), add pieces, and hand it to FakeControl::AddRecord.
// TextIndicator starts at 1 and both matrices at identity. Each piece adds its width minus its
// advance to TextWidth; assign TextWidth after the pieces to script another value.
class ScriptRecord {
 public:
  ScriptRecord() {
    fields.ctm = TPDFMatrix{1, 0, 0, 1, 0, 0};
    fields.tm = TPDFMatrix{1, 0, 0, 1, 0, 0};
    fields.TextIndicator = 1;
  }

  // Appends a piece; the record's text width grows by the piece's width minus its advance.
  ScriptRecord& Piece(std::u16string text, float width, float advance = 0) {
    pieces_.push_back(PieceData{std::vector<PDF_WCHAR>(text.begin(), text.end()), width, advance});
    fields.TextWidth += width - advance;
    return *this;
  }

  // The record with its piece array pointing into this object (valid while it lives).
  TPDFStack Build() const {
    kerning_.clear();
    for (const PieceData& piece : pieces_) {
      kerning_.push_back(TPDFKerning{piece.advance, piece.text.data(),
                                     static_cast<int32_t>(piece.text.size()), piece.width});
    }
    TPDFStack stack = fields;
    stack.Kerning = kerning_.empty() ? nullptr : kerning_.data();
    stack.KerningCount = static_cast<int32_t>(kerning_.size());
    return stack;
  }

  TPDFStack fields{};

 private:
  struct PieceData {
    std::vector<PDF_WCHAR> text;
    float width;
    float advance;
  };
  std::vector<PieceData> pieces_;
  mutable std::vector<TPDFKerning> kerning_;
};

struct Write {
  int32_t content;
  TPDFMatrix matrix;
  std::string text;  // UTF-8
  int32_t length;
  std::string family;
  int32_t style;
  double fontSize;
  int32_t fillColorSpace;
  uint32_t fillColor;
  int32_t strokeColorSpace;
  uint32_t strokeColor;
  int32_t drawMode;
};

struct Removal {
  int32_t content;
  int32_t recordIndex;
  int32_t deleteKerningAt;
};

class FakeControl {
 public:
  explicit FakeControl(const std::string& libraryPath = FAKEPDF_PATH)
      : handle_(dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
      const char* why = dlerror();
      throw std::runtime_error("cannot load the fake PDF library " + libraryPath + ": " +
                               (why != nullptr ? why : "unknown reason"));
    }
    try {
      ResolveAll();
    } catch (...) {
      dlclose(handle_);
      throw;
    }
  }
  ~FakeControl() { dlclose(handle_); }
  FakeControl(const FakeControl&) = delete;
  FakeControl& operator=(const FakeControl&) = delete;

  decltype(&::fake_reset) reset = nullptr;
  decltype(&::fake_add_record) add_record = nullptr;
  decltype(&::fake_add_record_ex) add_record_ex = nullptr;
  decltype(&::fake_add_template_use) add_template_use = nullptr;
  decltype(&::fake_set_char_width) set_char_width = nullptr;
  decltype(&::fake_set_char_width_for) set_char_width_for = nullptr;
  decltype(&::fake_refuse_font) refuse_font = nullptr;
  decltype(&::fake_set_font_info) set_font_info = nullptr;
  decltype(&::fake_fail) fail = nullptr;
  decltype(&::fake_fail_after) fail_after = nullptr;
  decltype(&::fake_set_result) set_result = nullptr;
  decltype(&::fake_trigger_error) trigger_error = nullptr;
  decltype(&::fake_log) log = nullptr;
  decltype(&::fake_clear_log) clear_log = nullptr;
  decltype(&::fake_call_count) call_count = nullptr;
  decltype(&::fake_write_count) write_count = nullptr;
  decltype(&::fake_get_write) get_write = nullptr;
  decltype(&::fake_removal_count) removal_count = nullptr;
  decltype(&::fake_get_removal) get_removal = nullptr;
  decltype(&::fake_flush_count) flush_count = nullptr;
  decltype(&::fake_get_flush) get_flush = nullptr;
  decltype(&::fake_get_font_count) get_font_count = nullptr;
  decltype(&::fake_live_instances) live_instances = nullptr;
  decltype(&::fake_bad_instance_calls) bad_instance_calls = nullptr;
  decltype(&::fake_open_content) open_content = nullptr;
  decltype(&::fake_open_depth) open_depth = nullptr;

  // Conveniences over the functions above.
  bool AddRecord(int32_t content, const ScriptRecord& record, int32_t getPageTextResult = 1) {
    TPDFStack stack = record.Build();
    return add_record_ex(content, &stack, getPageTextResult) != 0;
  }

  std::string Log() const { return log(); }

  std::vector<Write> Writes() const {
    std::vector<Write> writes;
    FakeWrite w{};
    for (int32_t i = 0; get_write(i, &w) != 0; ++i) {
      writes.push_back(Write{w.Content, w.Matrix, w.Text, w.Length, w.Family, w.Style, w.FontSize,
                             w.FillColorSpace, w.FillColor, w.StrokeColorSpace, w.StrokeColor,
                             w.DrawMode});
    }
    return writes;
  }

  std::vector<Removal> Removals() const {
    std::vector<Removal> removals;
    Removal r{};
    for (int32_t i = 0; get_removal(i, &r.content, &r.recordIndex, &r.deleteKerningAt) != 0; ++i) {
      removals.push_back(r);
    }
    return removals;
  }

  std::vector<int32_t> Flushes() const {
    std::vector<int32_t> flushes;
    int32_t content = 0;
    for (int32_t i = 0; get_flush(i, &content) != 0; ++i) {
      flushes.push_back(content);
    }
    return flushes;
  }

 private:
  template <typename Function>
  void Resolve(Function& function, const char* name) {
    function = reinterpret_cast<Function>(dlsym(handle_, name));
    if (function == nullptr) {
      throw std::runtime_error(std::string("the fake PDF library lacks ") + name);
    }
  }

  void ResolveAll() {
    Resolve(reset, "fake_reset");
    Resolve(add_record, "fake_add_record");
    Resolve(add_record_ex, "fake_add_record_ex");
    Resolve(add_template_use, "fake_add_template_use");
    Resolve(set_char_width, "fake_set_char_width");
    Resolve(set_char_width_for, "fake_set_char_width_for");
    Resolve(refuse_font, "fake_refuse_font");
    Resolve(set_font_info, "fake_set_font_info");
    Resolve(fail, "fake_fail");
    Resolve(fail_after, "fake_fail_after");
    Resolve(set_result, "fake_set_result");
    Resolve(trigger_error, "fake_trigger_error");
    Resolve(log, "fake_log");
    Resolve(clear_log, "fake_clear_log");
    Resolve(call_count, "fake_call_count");
    Resolve(write_count, "fake_write_count");
    Resolve(get_write, "fake_get_write");
    Resolve(removal_count, "fake_removal_count");
    Resolve(get_removal, "fake_get_removal");
    Resolve(flush_count, "fake_flush_count");
    Resolve(get_flush, "fake_get_flush");
    Resolve(get_font_count, "fake_get_font_count");
    Resolve(live_instances, "fake_live_instances");
    Resolve(bad_instance_calls, "fake_bad_instance_calls");
    Resolve(open_content, "fake_open_content");
    Resolve(open_depth, "fake_open_depth");
  }

  void* handle_;
};

}  // namespace fakepdf
