#include <optional>
#include <stdexcept>

#include "engine_fixture.h"

namespace enginetest {
namespace {

using ::testing::ElementsAre;

struct FontCase {
  const char* name;
  int32_t flags;
  const char* fontName;  // null: the font record has none
  int32_t fontType;
  float italicAngle;
  std::vector<const char*> refused;
  std::string family;  // of the write, when it succeeds
  int32_t style;       // of the write, when it succeeds
  const char* error;   // the message raised instead, or null
};

class FontSelection : public EngineTest, public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontSelection, ChoosesFamilyStyleAndFallback) {
  const FontCase& c = GetParam();
  const TPDFFontInfo info{c.flags, c.fontName, c.fontType, c.italicAngle};
  fake.set_font_info(kOtherFont, &info);
  for (const char* family : c.refused) fake.refuse_font(family);
  fakepdf::ScriptRecord r = Rec(u"[[x]]", 0);
  r.fields.Font = kOtherFont;
  Page(r);
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);

  if (c.error != nullptr) {
    try {
      engine->ReplaceAll(u"new");
      FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.error);
    }
    EXPECT_EQ(fake.write_count(), 0);
    return;
  }
  engine->ReplaceAll(u"new");
  ASSERT_EQ(fake.write_count(), 1);
  EXPECT_EQ(fake.Writes()[0].family, c.family);
  EXPECT_EQ(fake.Writes()[0].style, c.style);
}

constexpr int32_t kFixed = PDF_FF_FIXED_PITCH;
constexpr int32_t kItalic = PDF_FF_ITALIC;
constexpr int32_t kForceBold = PDF_FF_FORCE_BOLD;

INSTANTIATE_TEST_SUITE_P(
    Fonts, FontSelection,
    ::testing::Values(
        FontCase{"plain", 0, "Helvetica", PDF_FT_TYPE1, 0, {}, "Helvetica", 0, nullptr},
        FontCase{"subset_and_style_suffix",
                 0,
                 "ABCDEF+Verdana,Bold",
                 PDF_FT_TRUETYPE,
                 0,
                 {},
                 "Verdana",
                 2,
                 nullptr},
        FontCase{"no_name_is_arial", 0, nullptr, PDF_FT_TRUETYPE, 0, {}, "Arial", 0, nullptr},
        FontCase{
            "italic_angle_alone", 0, "Georgia", PDF_FT_TRUETYPE, -12, {}, "Georgia", 1, nullptr},
        FontCase{"italic_flag", kItalic, "Georgia", PDF_FT_TRUETYPE, 0, {}, "Georgia", 1, nullptr},
        FontCase{
            "force_bold_type_3", kForceBold, "CMBX10", PDF_FT_TYPE1, 0, {}, "CMBX10", 2, nullptr},
        FontCase{"force_bold_other_type",
                 kForceBold,
                 "Tahoma",
                 PDF_FT_TRUETYPE,
                 0,
                 {},
                 "Tahoma",
                 0,
                 nullptr},
        FontCase{"refused_fixed_pitch_is_courier",
                 kFixed | kItalic,
                 "Mono",
                 PDF_FT_TRUETYPE,
                 0,
                 {"Mono"},
                 "Courier New",
                 1,
                 nullptr},
        FontCase{"refused_other_is_arial",
                 0,
                 "Verdana,Bold",
                 PDF_FT_TRUETYPE,
                 0,
                 {"Verdana"},
                 "Arial",
                 2,
                 nullptr},
        FontCase{
            "both_refused", 0, "Verdana", PDF_FT_TRUETYPE, 0, {"Verdana", "Arial"}, "", 0, "-1"},
        FontCase{"fixed_pitch_both_refused",
                 kFixed,
                 "Mono",
                 PDF_FT_TRUETYPE,
                 0,
                 {"Mono", "Courier New"},
                 "",
                 0,
                 "-1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, FallbackIsOpenedWithTheSameStyle) {
  const TPDFFontInfo info{PDF_FF_FIXED_PITCH | PDF_FF_ITALIC, "Mono", PDF_FT_TRUETYPE, 0};
  fake.set_font_info(kOtherFont, &info);
  fake.refuse_font("Mono");
  fakepdf::ScriptRecord r = Rec(u"[[x]]", 0);
  r.fields.Font = kOtherFont;
  Page(r);
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);
  fake.clear_log();
  engine->ReplaceAll(u"new");
  EXPECT_THAT(
      LogLines({"pdfSetFontExA", "pdfSetFontA"}),
      ElementsAre("pdfSetFontExA \"Mono\" 1 10 -1 39", "pdfSetFontA \"Courier New\" 1 10 1 39"));
}

TEST_F(EngineTest, UnknownFontRaisesOutOfMemory) {
  fakepdf::ScriptRecord r = Rec(u"[[x]]", 0);
  r.fields.Font = reinterpret_cast<void*>(0x9999);
  Page(r);
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);
  try {
    engine->ReplaceAll(u"new");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Out of memory!");
  }
}

TEST_F(EngineTest, FontIsLookedUpOnceForConsecutiveWritesAndAgainAfterTheNextSearch) {
  Page(Rec(u"a [[x]] b", 0));
  Page(Rec(u" rest", 90));
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);
  engine->ReplaceAll(u"new");
  EXPECT_EQ(fake.write_count(), 4);
  EXPECT_EQ(fake.get_font_count(), 1);
  EXPECT_EQ(fake.call_count("pdfSetFontExA"), 1);

  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);
  engine->ReplaceAll(u"new");
  EXPECT_EQ(fake.get_font_count(), 2);
}

TEST_F(EngineTest, EachChangeOfFontBetweenRecordsSelectsTheFontAgain) {
  const TPDFFontInfo other{0, "Georgia", PDF_FT_TRUETYPE, 0};
  fake.set_font_info(kOtherFont, &other);
  Page(Rec(u"[[x]]", 0));
  fakepdf::ScriptRecord r = Rec(u" other", 50);
  r.fields.Font = kOtherFont;
  Page(r);
  Page(Rec(u" back", 110));
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);
  engine->ReplaceAll(u"new");
  std::vector<std::string> families;
  for (const fakepdf::Write& w : fake.Writes()) families.push_back(w.family);
  EXPECT_THAT(families, ElementsAre("Helvetica", "Georgia", "Helvetica"));
  EXPECT_EQ(fake.get_font_count(), 3);
}

}  // namespace
}  // namespace enginetest
