#include <stdexcept>

#include "engine_fixture.h"

namespace enginetest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Replace : public EngineTest {
 protected:
  // Finds and replaces, as a rebranding run does for one variable.
  void Run(const std::u16string& search, const std::u16string& value, int32_t expectedCount) {
    ASSERT_EQ(engine->FindAll(search), expectedCount);
    fake.clear_log();
    engine->ReplaceAll(value);
  }
};

TEST_F(Replace, WholeRecordTakesTheStyleAndMovesTheRestOfItsLineOnly) {
  Page(Rec(u"[[x]]", 100));
  Page(Rec(u" rest", 150));
  Page(Rec(u"next line", 100, kBaseline - 14));
  Run(u"[[x]]", u"new", 1);

  EXPECT_THAT(Written(), ElementsAre(At("new", 100), At(" rest", 130)));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0, 1));
  const fakepdf::Write first = fake.Writes().at(0);
  EXPECT_EQ(first.family, "Helvetica");
  EXPECT_EQ(first.style, 0);
  EXPECT_EQ(first.fontSize, 12.0);
  EXPECT_EQ(first.fillColorSpace, 1);
  EXPECT_EQ(first.fillColor, 0x112233u);
  EXPECT_EQ(first.strokeColorSpace, 2);
  EXPECT_EQ(first.strokeColor, 0x445566u);
  EXPECT_EQ(first.drawMode, 2);
  EXPECT_EQ(fake.Removals().at(0).deleteKerningAt, 0);
  EXPECT_THAT(fake.Flushes(), ElementsAre(-1));
}

TEST_F(Replace, WriteSetsTheRecordStateInOrderBeforeWriting) {
  Page(Rec(u"[[x]]", 0));
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(
      LogLines({"fntGetFont", "pdfSetFontExA", "pdfSetFillColorSpace", "pdfSetFillColor",
                "pdfSetStrokeColorSpace", "pdfSetStrokeColor", "pdfSetTextDrawMode",
                "pdfChangeFontSize", "pdfWriteTextMatrixExW", "pdfGetTextWidthExW"}),
      ElementsAre("fntGetFont nonnull nonnull", "pdfSetFontExA \"Helvetica\" 0 10 -1 39",
                  "pdfSetFillColorSpace 1", "pdfSetFillColor 1122867", "pdfSetStrokeColorSpace 2",
                  "pdfSetStrokeColor 4478310", "pdfSetTextDrawMode 2", "pdfChangeFontSize 12",
                  "pdfWriteTextMatrixExW [1 0 0 1 0 700] \"new\" 3",
                  "pdfGetTextWidthExW \"new\" 3"));
}

TEST_F(Replace, CutKeepsThePiecesBeforeTheOccurrence) {
  fakepdf::ScriptRecord r = Rec(0, 0);
  r.Piece(u"Hello ", 30, 0);
  r.Piece(u"[[x]]", 25, -2);
  Page(r);
  Run(u"[[x]]", u"new", 1);
  ASSERT_EQ(fake.Removals().size(), 1u);
  EXPECT_EQ(fake.Removals()[0].deleteKerningAt, 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 32, 0)));
}

TEST_F(Replace, CutAfterSeveralPiecesAddsTheirWidthsLessTheirAdvances) {
  fakepdf::ScriptRecord r = Rec(0, 0);
  r.Piece(u"ab", 20, 3);
  r.Piece(u"cd", 20, -1);
  r.Piece(u"x[[x]]", 60, -2);
  Page(r);
  Run(u"[[x]]", u"N", 1);
  // (20 - 3) + (20 + 1) + 2 for the advance of the occurrence's piece, then 'x'.
  EXPECT_THAT(Written(), ElementsAre(At("x", 40, 0), At("N", 50, 0)));
  EXPECT_EQ(fake.Removals().at(0).deleteKerningAt, 2);
}

TEST_F(Replace, OccurrenceInTheMiddleOfAPieceKeepsBothSidesInOrder) {
  Page(Rec(u"ab[[x]]cd", 0));
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("ab", 0), At("new", 20), At("cd", 50)));
}

TEST_F(Replace, NewTextComesBeforeTheRestOfItsPiece) {
  Page(Rec(u"[[x]] rest", 0));
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 0), At(" rest", 30)));
}

TEST_F(Replace, TwoOccurrencesInOnePiece) {
  Page(Rec(u"A [[x]] and [[x]] B", 0));
  Run(u"[[x]]", u"N", 2);
  EXPECT_THAT(Written(),
              ElementsAre(At("A ", 0), At("N", 20), At(" and ", 30), At("N", 80), At(" B", 90)));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0));
}

TEST_F(Replace, TwoOccurrencesInDifferentPiecesOfOneRecord) {
  fakepdf::ScriptRecord r = Rec(0);
  Piece(r, u"[[x]] and ");
  Piece(r, u"[[x]] B", 1);
  Page(r);
  Run(u"[[x]]", u"N", 2);
  EXPECT_THAT(Written(), ElementsAre(At("N", 0), At(" and ", 10), At("N", 59), At(" B", 69)));
}

TEST_F(Replace, OccurrenceOverTwoRecordsDropsItsRestFromTheSecond) {
  Page(Rec(u"see [[x", 0));
  Page(Rec(u"]] more", 70));
  Run(u"[[x]]", u"N", 1);
  EXPECT_THAT(Written(), ElementsAre(At("see ", 0), At("N", 40), At(" more", 50)));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0, 1));
}

TEST_F(Replace, OccurrenceOverThreeRecordsRemovesTheMiddleOneAndItsGapMovesNothing) {
  Page(Rec(u"x1", 0));
  Page(Rec(u"x2", 30));
  Page(Rec(u"x3", 60));
  Page(Rec(u"tail", 90));
  Run(u"x1 x2 x3", u"NEW", 1);
  EXPECT_THAT(MatchesOf(*engine), ElementsAre(MatchFields{-1, 0, 2, 0, 0, 1}));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0, 1, 2, 3));
  EXPECT_THAT(Written(), ElementsAre(At("NEW", 0), At("tail", 40)));
}

TEST_F(Replace, LastRecordOfTheOccurrenceKeepsItsCharactersAfterIt) {
  // The line pass fetches the occurrence's last record and drops only its part.
  Page(Rec(u"[[", 0));
  Page(Rec(u"x]]yz", 20));
  Run(u"[[x]]", u"N", 1);
  EXPECT_THAT(Written(), ElementsAre(At("N", 0), At("yz", 10)));
}

TEST_F(Replace, KerningInsideTheOccurrenceGoesWithItsCharacters) {
  // '[[x' and ']]' kerned apart by 1.5 inside one record, then the rest of the line: the rest
  // follows the new value directly, without the kerning of the text it replaces.
  fakepdf::ScriptRecord r = Rec(0, 0);
  r.Piece(u"[[x", 30, 0);
  r.Piece(u"]] rest", 70, -1.5f);
  Page(r);
  Run(u"[[x]]", u"N", 1);
  EXPECT_THAT(Written(), ElementsAre(At("N", 0, 0), At(" rest", 10, 0)));
}

TEST_F(Replace, OverlapBetweenRecordsOfTheOccurrenceGoesWithItsCharacters) {
  // A producer that cuts a word at a kerning pair overlaps the two records a little.
  Page(Rec(u"[[AV", 0));
  Page(Rec(u"A]] rest", 39));
  Run(u"[[AVA]]", u"N", 1);
  EXPECT_THAT(Written(), ElementsAre(At("N", 0), At(" rest", 10)));
}

TEST_F(Replace, ThreeOccurrencesOnOneLineInThreeRecords) {
  Page(Rec(u"[[x]]", 0));
  Page(Rec(u"[[x]]", 60));
  Page(Rec(u"[[x]]", 120));
  Run(u"[[x]]", u"NN", 3);
  EXPECT_THAT(Written(), ElementsAre(At("NN", 0), At("NN", 30), At("NN", 60)));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0, 1, 2));
}

TEST_F(Replace, SecondOccurrenceAfterFirstPieceRewritesThatPieceFromThePen) {
  Page(Rec(u"[[x]]", 0));
  fakepdf::ScriptRecord r = Rec(60);
  Piece(r, u"see ");
  Piece(r, u"[[x]]");
  Page(r);
  Run(u"[[x]]", u"N", 2);
  EXPECT_THAT(MatchesOf(*engine)[1], (MatchFields{-1, 1, 1, 1, 0, 0}));
  EXPECT_THAT(Written(), ElementsAre(At("N", 0), At("see ", 20), At("N", 60)));
  // The record is removed whole: its first piece follows the pen like the rest of the line.
  ASSERT_EQ(fake.Removals().size(), 2u);
  EXPECT_EQ(fake.Removals()[1].deleteKerningAt, 0);
}

TEST_F(Replace, LeadingSpaceInTheGapIsReplacedAtTheEndOfThePreviousRecord) {
  Page(Rec(u"a", 0));
  Page(Rec(u"x", 18));
  Run(u" x", u"new", 1);
  EXPECT_THAT(RemovedRecords(), ElementsAre(1));
  EXPECT_THAT(Written(), ElementsAre(At("new", 10)));
}

TEST_F(Replace, LeadingSpaceInAKerningGapIsReplacedWithoutTheGap) {
  fakepdf::ScriptRecord r = Rec(0);
  Piece(r, u"a x");
  Piece(r, u"x", -8);
  Page(r);
  Run(u" x", u"N", 2);
  EXPECT_THAT(MatchesOf(*engine)[1], (MatchFields{-1, 0, 0, 1, -1, 0}));
  EXPECT_THAT(Written(), ElementsAre(At("a", 0), At("N", 10), At("N", 20)));
}

TEST_F(Replace, NextOccurrenceOpeningWithTheGapOfItsRecordJoinsThePen) {
  Page(Rec(u"a x", 0));
  Page(Rec(u"x", 38));
  Run(u" x", u"N", 2);
  EXPECT_THAT(MatchesOf(*engine)[1], (MatchFields{-1, 1, 1, -1, -1, 0}));
  EXPECT_THAT(Written(), ElementsAre(At("a", 0), At("N", 10), At("N", 20)));
}

TEST_F(Replace, OccurrenceWithNoBreakSpaceIsRemovedWhole) {
  Page(Rec(u"a\u00A0b c", 0));
  Run(u"a b", u"N", 1);
  EXPECT_THAT(Written(), ElementsAre(At("N", 0), At(" c", 10)));
}

TEST_F(Replace, EmptyValuePullsTheRestOfTheLineBack) {
  Page(Rec(u"[[x]]", 0));
  Page(Rec(u" rest", 50));
  Run(u"[[x]]", u"", 1);
  EXPECT_THAT(Written(), ElementsAre(At(" rest", 0)));
}

TEST_F(Replace, WordGapBetweenRecordsSurvivesAsMeasured) {
  Page(Rec(u"[[x]]", 0));
  Page(Rec(u"rest", 58));
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 0), At("rest", 38)));
}

struct LineEndCase {
  const char* name;
  double x;
  double y;
};

class ReplaceLineEnd : public Replace, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(ReplaceLineEnd, RecordOnAnotherLineEndsTheRelayout) {
  Page(Rec(u"[[x]]", 0));
  Page(Rec(u"far", GetParam().x, GetParam().y));
  Page(Rec(u"after", GetParam().x + 30, GetParam().y));
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 0)));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0));
}

INSTANTIATE_TEST_SUITE_P(Places, ReplaceLineEnd,
                         ::testing::Values(LineEndCase{"next_baseline", 0, kBaseline - 14},
                                           LineEndCase{"beyond_three_spaces", 81, kBaseline},
                                           LineEndCase{"back_over_the_record", 40, kBaseline}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Replace, RecordThatCannotBeInvertedEndsTheRelayout) {
  Page(Rec(u"[[x]]", 0));
  fakepdf::ScriptRecord flat = Rec(u"tail", 50);
  flat.fields.ctm = TPDFMatrix{0, 0, 0, 0, 0, 0};
  Page(flat);
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 0)));
  EXPECT_THAT(RemovedRecords(), ElementsAre(0));
}

// Producers that put the size into the text matrix (cairo's 1 Tf, Chromium's scaled CTM): the
// gap measured on the page is kept on the page, and each record keeps its own scale.
TEST_F(Replace, ScaledMatricesKeepPageGapsAndEachRecordsOwnScale) {
  fakepdf::ScriptRecord tag = Rec(u"[[x]]", 100);
  tag.fields.tm.a = tag.fields.tm.d = 2;  // 50 text units, 100 on the page
  fakepdf::ScriptRecord big = Rec(u" big", 210);
  big.fields.tm.a = big.fields.tm.d = 3;  // 10 on the page after the tag's end, a larger size
  Page(tag);
  Page(big);
  Run(u"[[x]]", u"new", 1);
  // "new" is 30 text units, 60 on the page: the pen ends at 160 and the gap of 10 follows.
  EXPECT_THAT(Written(), ElementsAre(At("new", 100), At(" big", 170)));
  EXPECT_EQ(fake.Writes().at(1).matrix.a, 3);
  EXPECT_EQ(fake.Writes().at(1).matrix.d, 3);
}

TEST_F(Replace, KernBeforeTheFirstGlyphStillPlacesTheValue) {
  // pdfTeX writes the word space before a coloured tag as the first number of its TJ.
  fakepdf::ScriptRecord r = Rec(100, kBaseline);
  Piece(r, u"[[x]]", -5);
  Page(r);
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 105)));
}

TEST_F(Replace, TagReplacedByItsOwnTextLeavesThePageAsItIs) {
  Page(Rec(u"[[x]]", 100));
  Page(Rec(u" rest", 150));
  Run(u"[[x]]", u"[[x]]", 1);
  EXPECT_THAT(Written(), IsEmpty());
  EXPECT_THAT(RemovedRecords(), IsEmpty());
  EXPECT_THAT(fake.Flushes(), ElementsAre(-1));
}

TEST_F(Replace, RaisedTextMovesWithItsLineAndKeepsItsHeight) {
  // A footnote mark 3 above the baseline, right after the text before it.
  Page(Rec(u"[[x]]", 100));
  Page(Rec(u" a", 150));
  Page(Rec(u"2", 170, kBaseline + 3));
  Page(Rec(u" b", 180));
  Run(u"[[x]]", u"new", 1);
  EXPECT_THAT(Written(), ElementsAre(At("new", 100), At(" a", 130), At("2", 150, kBaseline + 3),
                                     At(" b", 160)));
}

TEST_F(Replace, NothingFoundStoresThePageOnceAndWritesNothing) {
  Page(Rec(u"plain", 0));
  Run(u"[[x]]", u"new", 0);
  EXPECT_THAT(Written(), IsEmpty());
  EXPECT_THAT(fake.Removals(), IsEmpty());
  EXPECT_THAT(fake.Flushes(), ElementsAre(-1));
}

TEST_F(Replace, PageThenTemplateStoresEachContentBeforeLeavingIt) {
  Page(Rec(u"[[x]]", 0));
  Page(Rec(u"after", 50));
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[x]]", 5, 10));
  Run(u"[[x]]", u"N", 2);

  EXPECT_THAT(Written(), ElementsAre(At("N", 0), At("after", 10), At("N", 5, 10, 7)));
  EXPECT_THAT(fake.Flushes(), ElementsAre(-1, 7));
  EXPECT_THAT(
      LogLines({"pdfInitStack", "pdfFlushPageContent", "pdfEditTemplate2", "pdfEndTemplate"}),
      ElementsAre("pdfInitStack nonnull", "pdfFlushPageContent nonnull", "pdfEditTemplate2 7",
                  "pdfInitStack nonnull", "pdfFlushPageContent nonnull", "pdfEndTemplate"));
  EXPECT_EQ(fake.open_content(), -1);
  EXPECT_EQ(fake.open_depth(), 1);
}

TEST_F(Replace, OccurrencesInTwoTemplatesCloseTheFirstBeforeOpeningTheSecond) {
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  ASSERT_TRUE(fake.add_template_use(-1, 8));
  Templ(7, Rec(u"[[x]]", 0));
  Templ(8, Rec(u"[[x]]", 0));
  Run(u"[[x]]", u"N", 2);
  EXPECT_THAT(fake.Flushes(), ElementsAre(-1, 7, 8));
  EXPECT_THAT(LogLines({"pdfFlushPageContent", "pdfEditTemplate2", "pdfEndTemplate"}),
              ElementsAre("pdfFlushPageContent nonnull", "pdfEditTemplate2 7",
                          "pdfFlushPageContent nonnull", "pdfEndTemplate", "pdfEditTemplate2 8",
                          "pdfFlushPageContent nonnull", "pdfEndTemplate"));
  EXPECT_EQ(fake.open_depth(), 1);
}

struct ReplaceFailureCase {
  const char* name;
  const char* failingExport;
  int32_t successes;
};

class ReplaceFailure : public Replace, public ::testing::WithParamInterface<ReplaceFailureCase> {};

TEST_P(ReplaceFailure, FailedLibraryOperationRaisesMinusOne) {
  Page(Rec(u"[[x]]", 0));
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  Templ(7, Rec(u"[[x]]", 0));
  ASSERT_EQ(engine->FindAll(u"[[x]]"), 2);
  fake.fail_after(GetParam().failingExport, GetParam().successes);
  try {
    engine->ReplaceAll(u"new");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "-1");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Exports, ReplaceFailure,
    ::testing::Values(ReplaceFailureCase{"init_stack", "pdfInitStack", 0},
                      ReplaceFailureCase{"init_stack_of_template", "pdfInitStack", 1},
                      ReplaceFailureCase{"flush_of_page", "pdfFlushPageContent", 0},
                      ReplaceFailureCase{"flush_at_the_end", "pdfFlushPageContent", 1},
                      ReplaceFailureCase{"edit_template", "pdfEditTemplate2", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enginetest
