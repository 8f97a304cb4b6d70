// The rebranding run against the scriptable fake library: the calls it makes, in order, and
// what the user sees of its progress and outcome.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RebrandRun.h"
#include "fake_control.h"

namespace {

class RecordingObserver final : public RunObserver {
 public:
  void SetGaugeMax(int maximum) override { gaugeMax = maximum; }
  void SetGaugeValue(int value) override { gaugeValue = value; }
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void ServeMessages() override { ++served; }

  std::string Status() const { return statuses.empty() ? "" : statuses.back(); }

  int gaugeMax = 0;
  int gaugeValue = 0;
  int served = 0;
  std::vector<std::string> statuses;
};

TListRow Row(std::string tagged, std::string defaultValue, std::string kind, std::string page,
             std::string handle, std::string name, std::string custom = "") {
  TListRow row;
  row.Caption = std::move(tagged);
  row.SubItems = {std::move(defaultValue), std::move(custom), std::move(kind),
                  std::move(page),         std::move(handle), std::move(name)};
  return row;
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.reset();
    options.PDFFileName = "/package/file.dat";
    options.OutputFileName = "/out/rebranded.pdf";
    options.LibraryName = FAKEPDF_PATH;
  }

  // One record on the page holding the text "[[x]]" in one piece.
  void ScriptTag() {
    static int fontIdentity;
    TPDFFontInfo font{};
    font.FontName = "Helvetica";
    font.FontType = PDF_FT_TYPE1;
    fake.set_font_info(&fontIdentity, &font);
    fakepdf::ScriptRecord record;
    record.fields.Font = &fontIdentity;
    record.fields.SpaceWidth = 2.5f;
    record.Piece(u"[[x]]", 50);
    fake.AddRecord(-1, record);
  }

  bool Run(const std::vector<TListRow>& rows, const std::vector<TListRow>* distinct = nullptr) {
    RecordsFromRows(rows, distinct, formats, observer);
    result = RunRebranding(options, formats, observer);
    return result.Saved;
  }

  fakepdf::FakeControl fake;
  RunOptions options;
  TFormats formats;
  RecordingObserver observer;
  RunResult result;
};

TEST_F(RunTest, CallsTheLibraryInOrderForTextAndLinkVariables) {
  ScriptTag();
  ASSERT_TRUE(Run({Row("[[x]]", "Bob", "Text", "2", "", "x"),
                   Row("http://a/ID/ID", "me", "Link", "3", "7", "ID")}));
  const std::string log = fake.Log();
  const std::vector<std::string> expectedInOrder = {
      "pdfCreateNewPDFA \"\"",
      "pdfSetOnErrorProc null nonnull",
      "pdfSetImportFlags 2415919102",
      "pdfOpenImportFileA \"/package/file.dat\" 0 \"\"",
      "pdfImportPDFFile 1 1 1",
      "pdfCloseImportFile",
      "pdfEditPage 2",
      "pdfWriteTextMatrixExW [1 0 0 1 0 0] \"Bob\" 3",
      "pdfEndPage",
      "pdfEditPage 3",
      "pdfChangeLinkAnnot 7 \"http://a/me/me\"",
      "pdfEndPage",
      "pdfHaveOpenDoc",
      "pdfSetOnErrorProc null null",
      "pdfOpenOutputFileA \"/out/rebranded.pdf\"",
      "pdfSetOnErrorProc null nonnull",
      "pdfCloseFile",
  };
  size_t from = 0;
  for (const std::string& line : expectedInOrder) {
    const size_t at = log.find(line + "\n", from);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\nlog:\n" << log;
    from = at + line.size();
  }
  EXPECT_EQ(fake.live_instances(), 0) << "the binding's instance must be deleted";
  EXPECT_EQ(observer.statuses,
            (std::vector<std::string>{kStatusPreparing, kStatusReplacing, kStatusSaved}));
  EXPECT_EQ(observer.gaugeMax, 100);
  EXPECT_EQ(observer.gaugeValue, 100);
}

TEST_F(RunTest, TagNotOnThePageChangesNothingAndTheRunGoesOn) {
  ASSERT_TRUE(Run({Row("[[missing]]", "v", "Text", "1", "", "m")}));
  EXPECT_EQ(fake.write_count(), 0);
  EXPECT_EQ(observer.Status(), kStatusSaved);
}

TEST_F(RunTest, DisabledRecordIsSkipped) {
  TListRow row = Row("[[x]]", "v", "Text", "1", "", "x");
  TListRow distinct = row;
  distinct.Checked = false;
  std::vector<TListRow> distinctRows{distinct};
  ASSERT_TRUE(Run({row}, &distinctRows));
  EXPECT_EQ(fake.call_count("pdfEditPage"), 0);
}

struct FailureCase {
  const char* name;
  std::vector<TListRow> rows;
  const char* failExport;  // nullptr: none
  std::string expectedStatus;
};

class RunFailureTest : public RunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailureTest, EndsWithTheMessageAFullGaugeAndNoInstanceLeft) {
  const FailureCase& failure = GetParam();
  ScriptTag();
  if (failure.failExport != nullptr) fake.fail(failure.failExport);
  EXPECT_FALSE(Run(failure.rows));
  EXPECT_EQ(observer.Status(), failure.expectedStatus);
  EXPECT_EQ(fake.live_instances(), 0);
  EXPECT_EQ(fake.call_count("pdfCloseFile"), 0) << "nothing may be written after a failure";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RunFailureTest,
    ::testing::Values(FailureCase{"BadPage",
                                  {Row("[[x]]", "v", "Text", "3x", "", "x")},
                                  nullptr,
                                  "'3x' is not a valid integer value"},
                      FailureCase{"BadHandle",
                                  {Row("http://a", "v", "Link", "1", "7 ", "a")},
                                  nullptr,
                                  "'7 ' is not a valid integer value"},
                      FailureCase{"EmptySearchText",
                                  {Row("", "v", "Text", "1", "", "x")},
                                  nullptr,
                                  "The search text cannot be an empty string!"},
                      // A failed library call inside the engine ("-1") leaves the status as it was.
                      FailureCase{"EngineLibraryFailure",
                                  {Row("[[x]]", "v", "Text", "1", "", "x")},
                                  "pdfInitStack",
                                  kStatusReplacing},
                      FailureCase{"ImportFails",
                                  {},
                                  "pdfOpenImportFileA",
                                  "Cannot open the rebrandable PDF \"/package/file.dat\""},
                      FailureCase{"OutputFails",
                                  {},
                                  "pdfOpenOutputFileA",
                                  "Cannot write the output file \"/out/rebranded.pdf\""}),
    [](const auto& info) { return std::string(info.param.name); });

// One stale record (a page the PDF lacks, a link that can't be changed) must not block the
// package: everything else is applied and saved, and the status names what was left out.
TEST_F(RunTest, RecordsThatCantBeAppliedAreLeftOutAndNamed) {
  ScriptTag();
  fake.fail_after("pdfChangeLinkAnnot", 1);
  ASSERT_TRUE(Run({Row("[[x]]", "v", "Text", "0", "", "Gone"),
                   Row("http://a/ID", "me", "Link", "1", "0", "ID"),
                   Row("http://b/ID", "me", "Link", "2", "7", "Stale"),
                   Row("[[x]]", "v", "Text", "1", "", "x")}));
  EXPECT_FALSE(result.SavedWholly());
  ASSERT_EQ(result.NotApplied.size(), 2u);
  EXPECT_EQ(result.NotApplied[0].Page, "0");
  EXPECT_EQ(result.NotApplied[0].VariableName, "Gone");
  EXPECT_EQ(result.NotApplied[1].Page, "2");
  EXPECT_EQ(result.NotApplied[1].VariableName, "Stale");
  EXPECT_EQ(observer.Status(),
            "Rebranded PDF saved, but 2 records were not applied: page 0 (Gone), page 2 (Stale)");
  EXPECT_EQ(fake.call_count("pdfChangeLinkAnnot"), 2);
  EXPECT_EQ(fake.call_count("pdfEndPage"), 3) << "every page opened is closed";
  EXPECT_EQ(fake.write_count(), 1) << "the good text record is applied";
  EXPECT_EQ(fake.call_count("pdfCloseFile"), 1);
  EXPECT_EQ(observer.gaugeValue, 100);
}

TEST_F(RunTest, StatusCountsRecordsNotAppliedBeyondTheFirstFew) {
  std::vector<NotAppliedRecord> five(5, NotAppliedRecord{"4", "Name", "why"});
  EXPECT_EQ(SavedWithRecordsNotAppliedStatus(five),
            "Rebranded PDF saved, but 5 records were not applied: page 4 (Name), page 4 (Name), "
            "page 4 (Name) and 2 more");
  EXPECT_EQ(SavedWithRecordsNotAppliedStatus({five[0]}),
            "Rebranded PDF saved, but 1 record was not applied: page 4 (Name)");
}

// The file is complete once the library has written it; a library that then can't be unloaded
// must not turn that into a reported failure.
TEST_F(RunTest, UnloadFailureAfterTheWriteStillReportsTheSavedFile) {
  // A private copy of the fake: the instance it can't delete keeps that copy loaded, not the
  // library the other tests use.
  const std::filesystem::path copy = std::filesystem::temp_directory_path() /
                                     ("libcorvella_unload_" + std::to_string(getpid()) + ".so");
  std::filesystem::copy_file(FAKEPDF_PATH, copy, std::filesystem::copy_options::overwrite_existing);
  {
    fakepdf::FakeControl copied(copy.string());
    copied.fail("pdfDeletePDF");
    options.LibraryName = copy.string();
    ASSERT_TRUE(Run({}));
    EXPECT_EQ(copied.call_count("pdfCloseFile"), 1);
  }
  std::filesystem::remove(copy);
  EXPECT_FALSE(result.UnloadProblem.empty());
  EXPECT_EQ(observer.Status().rfind(kStatusSaved, 0), 0u) << observer.Status();
  EXPECT_NE(observer.Status().find(result.UnloadProblem), std::string::npos) << observer.Status();
}

TEST_F(RunTest, MissingLibraryShowsTheBindingMessage) {
  options.LibraryName = "/nonexistent/libdynapdf.so";
  EXPECT_FALSE(Run({}));
  EXPECT_EQ(observer.Status(), "Error: Cannot find dynapdf.dll");
  EXPECT_EQ(observer.gaugeValue, 100);
}

TEST(RecordsFromRowsTest, EffectiveValuesAndTheDuplicateFreeMerge) {
  RecordingObserver observer;
  TFormats formats;
  const std::vector<TListRow> rows = {
      Row("[[a]]", "defA", "Text", "1", "", "a"),
      Row("[[b]]", "defB", "Text", "1", "", "b", "   "),  // blanks are a value
      Row("[[A]]", "defA2", "Text", "2", "", "A"),
      Row("[[a]]", "defA3", "Text", "3", "", "a"),
  };
  const std::vector<TListRow> distinct = {Row("[[a]]", "defA", "Text", "1", "", "a", "typed")};
  RecordsFromRows(rows, &distinct, formats, observer);
  ASSERT_EQ(formats.Count(), 4u);
  EXPECT_EQ(formats.Objects(0).Value, "typed");
  EXPECT_EQ(formats.Objects(1).Value, "   ");
  EXPECT_EQ(formats.Objects(2).Value, "defA2") << "names differing in case keep their default";
  EXPECT_EQ(formats.Objects(3).Value, "typed");
  EXPECT_EQ(formats.Strings(3), "[[a]]");
  EXPECT_TRUE(formats.Objects(2).Enabled);
  EXPECT_EQ(observer.statuses,
            (std::vector<std::string>{kStatusPreparing, kStatusRemovingDuplicates}));
  EXPECT_EQ(observer.gaugeMax, 4) << "the merge keeps the gauge of the full list";
  EXPECT_EQ(observer.gaugeValue, 1);
  EXPECT_EQ(observer.served, 4);
}

TEST(SubstituteTextTest, ReplacesEveryOccurrenceLeftToRightWithoutRescanning) {
  struct Case {
    const char* source;
    const char* newText;
    const char* oldText;
    const char* expected;
  };
  const Case cases[] = {
      {"http://x/ID/y/ID", "me", "ID", "http://x/me/y/me"},
      {"http://x/ID", "IDID", "ID", "http://x/IDID"},
      {"aaa", "b", "aa", "ba"},
      {"http://x", "v", "", "http://x"},
      {"http://x", "v", "ID", "http://x"},
      {"ID", "", "ID", ""},
      {"id ID", "v", "ID", "id v"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SubstituteText(c.source, c.newText, c.oldText), c.expected) << c.source;
  }
}

TEST(StrToIntTest, AcceptsDecimalIntegersOnly) {
  EXPECT_EQ(StrToInt("3"), 3);
  EXPECT_EQ(StrToInt("-12"), -12);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  for (const char* bad : {"", "3x", " 3", "3 ", "+", "-", "+-3", "2147483648", "0x10", "1.5"}) {
    EXPECT_THROW(
        {
          try {
            StrToInt(bad);
          } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()),
                      "'" + std::string(bad) + "' is not a valid integer value");
            throw;
          }
        },
        std::runtime_error)
        << bad;
  }
}

}  // namespace
