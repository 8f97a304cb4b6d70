#include <string>

#include <gtest/gtest.h>

#include "pdf_edit_text.h"

namespace {

struct FontNameCase {
  const char* name;
  std::string fontName;
  int32_t flagsIn;
  std::string family;
  int32_t flagsOut;
};

class ParseFontNameTable : public ::testing::TestWithParam<FontNameCase> {};

TEST_P(ParseFontNameTable, GivesFamilyAndStyle) {
  const FontNameCase& c = GetParam();
  int32_t flags = c.flagsIn;
  EXPECT_EQ(CPDFEditText::ParseFontName(c.fontName, flags), c.family);
  EXPECT_EQ(flags, c.flagsOut);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ParseFontNameTable,
    ::testing::Values(
        FontNameCase{"subset_prefix_and_bold", "ABCDEF+Verdana,Bold", 0, "Verdana", 2},
        FontNameCase{"bold_added_to_italic", "Verdana,Bold", 1, "Verdana", 3},
        FontNameCase{"bold_italic_sets_both", "Times New Roman,BoldItalic", 0, "Times New Roman",
                     3},
        FontNameCase{"italic", "Georgia,Italic", 2, "Georgia", 3},
        FontNameCase{"style_compared_with_case", "Arial,bold", 0, "Arial", 0},
        FontNameCase{"unknown_style_cut_off", "Arial,Black", 1, "Arial", 1},
        FontNameCase{"plus_at_index_5_kept", "ABCDE+Foo", 0, "ABCDE+Foo", 0},
        FontNameCase{"prefix_alone_kept", "ABCDEF+", 0, "ABCDEF+", 0},
        FontNameCase{"hyphen_style_kept", "Arial-BoldMT", 0, "Arial-BoldMT", 0},
        FontNameCase{"spaced_style_kept", "Foo Bold Italic", 0, "Foo Bold Italic", 0},
        FontNameCase{"first_comma_splits", "A,B,Bold", 0, "A", 0},
        FontNameCase{"long_name_cut_to_64", std::string(80, 'x'), 0, std::string(64, 'x'), 0},
        FontNameCase{"empty", "", 0, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
