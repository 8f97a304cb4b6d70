// A page scripted in the fake library, a binding on it and an engine on the binding.
//
// Geometry of the scripted records: identity matrices unless a test says
// otherwise, every character 10 units wide, a space 10 units wide, so half a
// space (the line-test tolerance) is 5 units and a kerning advance below -5 is
// a word gap.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TPDF.h"
#include "fake_control.h"
#include "pdf_edit_text.h"

namespace enginetest {

inline void* const kFont = reinterpret_cast<void*>(0x1000);
inline void* const kOtherFont = reinterpret_cast<void*>(0x2000);
inline constexpr float kCharWidth = 10.0f;
inline constexpr double kBaseline = 700.0;

// A record at (x, y) in the fake's default style.
inline fakepdf::ScriptRecord Rec(double x, double y = kBaseline) {
  fakepdf::ScriptRecord r;
  r.fields.tm.e = x;
  r.fields.tm.f = y;
  r.fields.FontSize = 12.0;
  r.fields.SpaceWidth = kCharWidth;
  r.fields.Font = kFont;
  r.fields.DrawMode = 2;
  r.fields.FillColorSpace = 1;
  r.fields.FillColor = 0x112233;
  r.fields.StrokeColorSpace = 2;
  r.fields.StrokeColor = 0x445566;
  return r;
}

// Adds a piece whose width is that of its characters.
inline fakepdf::ScriptRecord& Piece(fakepdf::ScriptRecord& r, const std::u16string& text,
                                    float advance = 0.0f) {
  return r.Piece(text, kCharWidth * static_cast<float>(text.size()), advance);
}

// A one-piece record.
inline fakepdf::ScriptRecord Rec(const std::u16string& text, double x, double y = kBaseline) {
  fakepdf::ScriptRecord r = Rec(x, y);
  Piece(r, text);
  return r;
}

// Handle, FirstRecord, LastRecord, FirstKerning, FirstChar, NewLine.
using MatchFields = std::array<int32_t, 6>;

inline std::vector<MatchFields> MatchesOf(const CPDFEditText& engine) {
  std::vector<MatchFields> out;
  const CRecordList& list = engine.GetMatches();
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TTextMatch& m = list.Get(i);
    out.push_back(
        {m.Handle, m.FirstRecord, m.LastRecord, m.FirstKerning, m.FirstChar, m.NewLine ? 1 : 0});
  }
  return out;
}

// A write reduced to what the layout tests compare: text and where it starts.
struct Placed {
  std::string text;
  double x;
  double y;
  int32_t content;
  bool operator==(const Placed& other) const {
    return text == other.text && x == other.x && y == other.y && content == other.content;
  }
};

inline void PrintTo(const Placed& p, std::ostream* os) {
  *os << "'" << p.text << "' at (" << p.x << ", " << p.y << ") in " << p.content;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.reset();
    fake.set_char_width(kCharWidth);
    const TPDFFontInfo info{0, "Helvetica", PDF_FT_TYPE1, 0.0f};
    fake.set_font_info(kFont, &info);
    pdf = std::make_unique<TPDF>(FAKEPDF_PATH);
    ASSERT_NE(pdf->EditPage(1), 0);
    engine = std::make_unique<CPDFEditText>(*pdf);
  }

  void TearDown() override {
    engine.reset();
    pdf.reset();
  }

  void Page(const fakepdf::ScriptRecord& r) { ASSERT_TRUE(fake.AddRecord(-1, r)); }
  void Templ(int32_t handle, const fakepdf::ScriptRecord& r) {
    ASSERT_TRUE(fake.AddRecord(handle, r));
  }

  std::vector<Placed> Written() const {
    std::vector<Placed> out;
    for (const fakepdf::Write& w : fake.Writes()) {
      out.push_back(Placed{w.text, w.matrix.e, w.matrix.f, w.content});
    }
    return out;
  }

  // Indices of the records removed from the page, in order.
  std::vector<int32_t> RemovedRecords() const {
    std::vector<int32_t> out;
    for (const fakepdf::Removal& r : fake.Removals()) out.push_back(r.recordIndex);
    return out;
  }

  // The log lines that start with one of the given export names, in order.
  std::vector<std::string> LogLines(const std::vector<std::string>& exports) const {
    std::vector<std::string> out;
    const std::string log = fake.Log();
    size_t start = 0;
    while (start < log.size()) {
      const size_t end = log.find('\n', start);
      const std::string line = log.substr(start, end - start);
      const std::string name = line.substr(0, line.find(' '));
      for (const std::string& e : exports) {
        if (name == e) out.push_back(line);
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return out;
  }

  fakepdf::FakeControl fake;
  std::unique_ptr<TPDF> pdf;
  std::unique_ptr<CPDFEditText> engine;
};

inline Placed At(const std::string& text, double x, double y = kBaseline, int32_t content = -1) {
  return Placed{text, x, y, content};
}

}  // namespace enginetest
