// Font names read the same, and give the same face, under every process locale: a window
// program runs under the user's locale, and a Turkish one has its own case rules for 'I' and
// 'i'.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../locale_support.h"
#include "textout/font_name.h"
#include "textout/system_fonts.h"

namespace {

using namespace pdfcore;

const std::vector<std::string> kNames = {"Times-Italic",
                                         "CMTI10",
                                         "ABCDEF+CMBX12",
                                         "Helvetica-BoldOblique",
                                         "LinBiolinumOB",
                                         "ITCBookman-Light",
                                         "NimbusRomNo9L-MediItal",
                                         "Arial,BoldItalic",
                                         "TimesNewRomanPS-BoldItalicMT",
                                         "Inconsolata-Italic",
                                         "IBMPlexSans-Italic",
                                         "Verdana Italic"};

// Everything the name reading gives for `name`, as one text to compare.
std::string Reading(const std::string& name) {
  std::string out;
  FamilyRequest request = ParseFamilyName(name, 0);
  for (const std::string& candidate : request.candidates) out += candidate + "|";
  out += " style " + std::to_string(request.style);
  TPDFFontInfo info{0, name.c_str(), PDF_FT_TYPE1, 0};
  FontLook look = LookOfFont(info);
  out += " look " + std::to_string(look.weight) + std::to_string(look.italic) +
         std::to_string(look.serif) + std::to_string(look.fixedPitch) +
         std::to_string(look.widthClass);
  out += " normalized " + NormalizeFamily(name);
  auto face = ResolveFace(request, look, true);
  out += " face " + (face ? face->postScriptName : std::string("none"));
  return out;
}

std::vector<std::string> Readings() {
  std::vector<std::string> out;
  for (const std::string& name : kNames) out.push_back(name + ": " + Reading(name));
  return out;
}

class FontNameUnderLocale : public ::testing::TestWithParam<std::string> {};

TEST_P(FontNameUnderLocale, ReadsAsUnderC) {
  const std::vector<std::string> underC = Readings();
  test_locale::Scoped locale(GetParam());
  if (!locale.Active()) GTEST_SKIP() << "localedef can't make " << GetParam();
  EXPECT_EQ(Readings(), underC);

  TPDFFontInfo timesItalic{0, "Times-Italic", PDF_FT_TYPE1, 0};
  TPDFFontInfo cmti{0, "CMTI10", PDF_FT_TYPE1, 0};
  EXPECT_TRUE(LookOfFont(timesItalic).italic);
  EXPECT_TRUE(LookOfFont(cmti).italic);
  EXPECT_EQ(ParseFamilyName("Times-Italic", 0).style, kStyleItalic);
}

INSTANTIATE_TEST_SUITE_P(Locales, FontNameUnderLocale, ::testing::ValuesIn(test_locale::Unusual()),
                         [](const auto& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
