#include <cmath>
#include <stdexcept>

#include "engine_fixture.h"

namespace enginetest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// --- occurrences within one record ---------------------------------------------------------

struct CountCase {
  const char* name;
  std::u16string search;
  std::u16string text;
  int32_t count;
};

class SearchInOneRecord : public EngineTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(SearchInOneRecord, CountsOccurrencesWithoutOverlap) {
  const CountCase& c = GetParam();
  Page(Rec(c.text, 0));
  EXPECT_EQ(engine->FindAll(c.search), c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SearchInOneRecord,
    ::testing::Values(CountCase{"aa_in_aaa", u"aa", u"aaa", 1},
                      CountCase{"aa_in_aaaa", u"aa", u"aaaa", 2},
                      CountCase{"aab_in_aaab", u"aab", u"aaab", 0},
                      CountCase{"tag_after_extra_bracket", u"[[x]]", u"[[[x]]", 0},
                      CountCase{"nbsp_stands_for_space", u"a b", u"a\u00A0b", 1},
                      CountCase{"soft_hyphen_stands_for_hyphen", u"co-op", u"co\u00ADop", 1},
                      CountCase{"ends_on_nbsp", u"a ", u"xa\u00A0", 1},
                      CountCase{"ends_on_soft_hyphen", u"co-", u"co\u00AD", 1},
                      CountCase{"nbsp_in_search_needs_nbsp", u"a\u00A0b", u"a b", 0},
                      CountCase{"hyphen_does_not_match_soft_hyphen", u"co\u00ADop", u"co-op", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, SameTextTwiceInARecordGivesTwoEntriesOnlyTheFirstOpeningTheLine) {
  Page(Rec(u"[[x]] and [[x]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 2);
  EXPECT_THAT(MatchesOf(*engine),
              ElementsAre(MatchFields{-1, 0, 0, 0, 0, 1}, MatchFields{-1, 0, 0, 0, 10, 0}));
}

// --- occurrences across pieces and records ---------------------------------------------------

TEST_F(EngineTest, TextOverTwoAdjacentRecordsIsFoundOnce) {
  Page(Rec(u"[[x", 0));
  Page(Rec(u"]]", 30));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{-1, 0, 1, 0, 0, 1}));
}

TEST_F(EngineTest, TextOverTwoRecordsOnDifferentLinesIsNotFound) {
  Page(Rec(u"[[x", 0));
  Page(Rec(u"]]", 30, kBaseline - 14));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 0);
}

struct KerningGapCase {
  const char* name;
  float advance;
  std::u16string search;
  int32_t count;
};

class SearchOverKerning : public EngineTest,
                          public ::testing::WithParamInterface<KerningGapCase> {};

TEST_P(SearchOverKerning, WideAdvanceIsAWordSpace) {
  const KerningGapCase& c = GetParam();
  fakepdf::ScriptRecord r = Rec(0);
  r.fields.SpaceWidth = 0.25f;
  Piece(r, u"a");
  Piece(r, u"b", c.advance);
  Page(r);
  ASSERT_EQ(engine->FindAll(c.search), c.count);
  if (c.count == 1) {
    EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{-1, 0, 0, 0, 0, 1}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Advances, SearchOverKerning,
    ::testing::Values(KerningGapCase{"wide_gap_is_space", -0.3f, u"a b", 1},
                      KerningGapCase{"narrow_gap_is_not", -0.1f, u"a b", 0},
                      KerningGapCase{"narrow_gap_joins", -0.1f, u"ab", 1},
                      KerningGapCase{"half_space_exactly_joins", -0.125f, u"ab", 1},
                      KerningGapCase{"just_over_half_space_splits", -0.126f, u"ab", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct RecordGapCase {
  const char* name;
  std::u16string first;
  double secondX;  // the first record ends at 10 per character
  std::u16string search;
  int32_t count;
};

class SearchOverRecordGap : public EngineTest,
                            public ::testing::WithParamInterface<RecordGapCase> {};

TEST_P(SearchOverRecordGap, GapBetweenRecordsCountsAsOneSpace) {
  const RecordGapCase& c = GetParam();
  Page(Rec(c.first, 0));
  Page(Rec(u"b", c.secondX));
  EXPECT_EQ(engine->FindAll(c.search), c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, SearchOverRecordGap,
    ::testing::Values(RecordGapCase{"word_gap", u"a", 18, u"a b", 1},
                      RecordGapCase{"gap_of_six_half_spaces", u"a", 40, u"a b", 1},
                      RecordGapCase{"touching_is_no_space", u"a", 10, u"a b", 0},
                      RecordGapCase{"touching_joins", u"a", 12, u"ab", 1},
                      RecordGapCase{"gap_ends_the_line", u"a", 41, u"a b", 0},
                      RecordGapCase{"gap_is_a_second_space", u"a ", 28, u"a b", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, LeadingSpaceFoundInTheGapBeforeARecord) {
  Page(Rec(u"a", 0));
  Page(Rec(u"x", 18));
  EXPECT_EQ(engine->FindAll(u" x"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{-1, 1, 1, -1, -1, 1}));
}

TEST_F(EngineTest, LeadingSpaceFoundInAWideKerningGap) {
  fakepdf::ScriptRecord r = Rec(0);
  Piece(r, u"a");
  Piece(r, u"x", -8);
  Page(r);
  EXPECT_EQ(engine->FindAll(u" x"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{-1, 0, 0, 1, -1, 1}));
}

TEST_F(EngineTest, FailedCharacterIsNotRetriedAsAStart) {
  Page(Rec(u"[", 0));
  Page(Rec(u"a[[x]]", 10));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{-1, 1, 1, 0, 1, 1}));
}

TEST_F(EngineTest, NewLineMarksTheFirstOccurrenceOfEachLine) {
  Page(Rec(u"[[x]]", 0));
  Page(Rec(u"[[x]]", 60));
  Page(Rec(u"[[x]]", 0, kBaseline - 14));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 3);
  EXPECT_THAT(MatchesOf(*engine),
              ElementsAre(MatchFields{-1, 0, 0, 0, 0, 1}, MatchFields{-1, 1, 1, 0, 0, 0},
                          MatchFields{-1, 2, 2, 0, 0, 1}));
}

// --- direction and degenerate matrices --------------------------------------------------------

fakepdf::ScriptRecord RotatedRec(const std::u16string& text, double units, double x, double y) {
  const double r = units / 256.0 * 0.017453292519943295;
  fakepdf::ScriptRecord rec = Rec(text, x, y);
  rec.fields.tm = TPDFMatrix{std::cos(r), std::sin(r), -std::sin(r), std::cos(r), x, y};
  return rec;
}

class RotatedLine : public EngineTest, public ::testing::WithParamInterface<double> {};

TEST_P(RotatedLine, RecordsJoinOnlyWithTheSameDirection) {
  const double units = 7680.5;  // about 30 degrees, in 1/256 degree
  const double r = units / 256.0 * 0.017453292519943295;
  Page(RotatedRec(u"a", units, 100, 100));
  Page(RotatedRec(u"b", units + GetParam(), 100 + 10 * std::cos(r), 100 + 10 * std::sin(r)));
  EXPECT_EQ(engine->FindAll(u"ab"), GetParam() == 0 ? 1 : 0);
}

// The second record turned by nothing, or by 1/256 degree more.
INSTANTIATE_TEST_SUITE_P(Turns, RotatedLine, ::testing::Values(0.0, 1.0));

TEST_F(EngineTest, RecordThatCannotBeInvertedStartsANewLine) {
  fakepdf::ScriptRecord flat = Rec(u"a", 0);
  flat.fields.ctm = TPDFMatrix{0, 0, 0, 0, 0, 0};
  Page(flat);
  Page(Rec(u"b", 0));
  Page(Rec(u"c", 10));
  EXPECT_EQ(engine->FindAll(u"ab"), 0);
  EXPECT_EQ(engine->FindAll(u"bc"), 1);
}

// --- templates --------------------------------------------------------------------------------

TEST_F(EngineTest, PageWithoutTextOrTemplatesGivesNothing) {
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 0);
  EXPECT_THAT(MatchesOf(*engine), IsEmpty());
  EXPECT_EQ(engine->GetTemplates().Count(), 0);
}

TEST_F(EngineTest, PageWhoseFirstRecordHasNoTextStillSearchesItsTemplates) {
  fakepdf::ScriptRecord empty = Rec(u"[[x]]", 0);
  empty.fields.TextIndicator = 0;
  Page(empty);
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[x]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{7, 0, 0, 0, 0, 1}));
}

TEST_F(EngineTest, TemplateUsedTwiceIsSearchedOnce) {
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[x]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 1);
  EXPECT_EQ(fake.call_count("pdfInitStack"), 2);  // the page and the template once
  EXPECT_EQ(fake.open_depth(), 1);                // every template closed again
}

TEST_F(EngineTest, TemplatesAreWalkedDepthFirst) {
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  ASSERT_TRUE(fake.add_template_use(-1, 9));
  ASSERT_TRUE(fake.add_template_use(7, 8));
  Page(Rec(u"[[x]]", 0));
  for (int32_t handle : {7, 8, 9}) Templ(handle, Rec(u"[[x]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 4);
  std::vector<int32_t> handles;
  for (const MatchFields& m : MatchesOf(*engine)) handles.push_back(m[0]);
  EXPECT_THAT(handles, ElementsAre(-1, 7, 8, 9));
  EXPECT_EQ(engine->GetTemplates().Count(), 3);
  EXPECT_EQ(fake.open_depth(), 1);
  EXPECT_EQ(fake.open_content(), -1);
}

TEST_F(EngineTest, LaterSearchSkipsTemplatesAlreadySearchedButNotTheOnesAfterThem) {
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[x]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 1);

  ASSERT_TRUE(fake.add_template_use(-1, 8));
  Templ(8, Rec(u"[[x]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[x]]"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{8, 0, 0, 0, 0, 1}));
  EXPECT_EQ(engine->GetTemplates().Count(), 2);
}

TEST_F(EngineTest, TemplateHoldingTwoTagsIsSearchedOnceForEach) {
  // A header shared by every page holds two different tags: the second search must find its
  // own tag there, and a later search for either finds nothing new.
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[a]] and [[b]]", 0));
  EXPECT_EQ(engine->FindAll(u"[[a]]"), 1);
  EXPECT_EQ(engine->FindAll(u"[[b]]"), 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{7, 0, 0, 0, 10, 1}));
  EXPECT_EQ(engine->FindAll(u"[[a]]"), 0);
  EXPECT_EQ(engine->GetTemplates().Count(), 1);
}

// --- state and failures -----------------------------------------------------------------------

TEST_F(EngineTest, EmptySearchTextIsRefusedAndChangesNothing) {
  Page(Rec(u"[[x]]", 0));
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 1);
  fake.clear_log();
  try {
    engine->FindAll(u"");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "The search text cannot be an empty string!");
  }
  EXPECT_EQ(engine->GetMatches().Count(), 1);
  EXPECT_EQ(fake.Log(), "");
}

TEST_F(EngineTest, SearchTextStorageGrowsToExactlyTheLongestText) {
  EXPECT_EQ(engine->GetSearchCapacity(), 0);
  engine->FindAll(u"abcdef");
  EXPECT_EQ(engine->GetSearchCapacity(), 6);
  engine->FindAll(u"ab");
  EXPECT_EQ(engine->GetSearchCapacity(), 6);
  engine->FindAll(u"abcdefgh");
  EXPECT_EQ(engine->GetSearchCapacity(), 8);
}

TEST_F(EngineTest, ShorterSearchAfterLongerOneDoesNotSeeTheOldTail) {
  Page(Rec(u"ab abcd", 0));
  EXPECT_EQ(engine->FindAll(u"abcd"), 1);
  EXPECT_EQ(engine->FindAll(u"ab"), 2);
}

struct SearchFailureCase {
  const char* name;
  const char* failingExport;
  int32_t successes;
};

class SearchFailure : public EngineTest, public ::testing::WithParamInterface<SearchFailureCase> {};

TEST_P(SearchFailure, FailedLibraryOperationRaisesMinusOne) {
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[x]]", 0));
  fake.fail_after(GetParam().failingExport, GetParam().successes);
  try {
    engine->FindAll(u"[[x]]");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "-1");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Exports, SearchFailure,
    ::testing::Values(SearchFailureCase{"init_stack_of_page", "pdfInitStack", 0},
                      SearchFailureCase{"init_stack_of_template", "pdfInitStack", 1},
                      SearchFailureCase{"edit_template", "pdfEditTemplate", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
