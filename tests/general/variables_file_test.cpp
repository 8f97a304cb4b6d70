#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UGeneral.h"

namespace {

const std::string kFingerprint = "0123456789abcdef0123456789abcdef";

struct Fields {
  bool enabled;
  std::string tagged, value, kind, page, handle, name;
};

void ExpectRecord(const TFormats& list, std::size_t i, const Fields& expected) {
  SCOPED_TRACE("record " + std::to_string(i));
  const TFormat& r = list.Objects(i);
  EXPECT_EQ(r.Enabled, expected.enabled);
  EXPECT_EQ(r.TaggedText, expected.tagged);
  EXPECT_EQ(r.Value, expected.value);
  EXPECT_EQ(r.Kind, expected.kind);
  EXPECT_EQ(r.Page, expected.page);
  EXPECT_EQ(r.LinkHandle, expected.handle);
  EXPECT_EQ(r.VariableName, expected.name);
  EXPECT_EQ(list.Strings(i), expected.tagged);
}

TFormats LoadText(const std::string& bytes) {
  TempDir dir;
  WriteFile(dir.File("variables.dat"), bytes);
  TFormats list;
  list.LoadAll(dir.File("variables.dat"));
  return list;
}

// --- SplitFields -------------------------------------------------------------------------------

struct SplitCase {
  std::string line;
  std::vector<std::string> fields;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class SplitFieldsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFieldsTest, CutsAtEveryDelimiterAndDropsOnlyATrailingEmptyPiece) {
  std::vector<std::string> fields = {"left", "over"};
  SplitFields('^', GetParam().line, fields);
  EXPECT_EQ(fields, GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitFieldsTest,
                         ::testing::Values(SplitCase{"", {}}, SplitCase{"^", {""}},
                                           SplitCase{"a", {"a"}}, SplitCase{"a^", {"a"}},
                                           SplitCase{"^a", {"", "a"}},
                                           SplitCase{"a^^b", {"a", "", "b"}},
                                           SplitCase{"a^^", {"a", ""}},
                                           SplitCase{" a ^ b ", {" a ", " b "}}));

// --- line rules and record parsing -------------------------------------------------------------

struct LoadCase {
  const char* name;
  std::string file;
  std::vector<Fields> records;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadAllTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadAllTest, ReadsRecordsByTheLineRules) {
  const TFormats list = LoadText(GetParam().file);
  ASSERT_EQ(list.Count(), GetParam().records.size());
  for (std::size_t i = 0; i < list.Count(); ++i) {
    ExpectRecord(list, i, GetParam().records[i]);
  }
}

const Fields kAuthor{true, "[[A]]", "Ann", "Text", "1", "0", "A"};
const Fields kSite{false, "[[S]]", "x.com", "Link", "2", "5", "S"};

INSTANTIATE_TEST_SUITE_P(
    Files, LoadAllTest,
    ::testing::Values(
        LoadCase{"EmptyFile", "", {}}, LoadCase{"OnlyFingerprint", kFingerprint, {}},
        LoadCase{"OnlyFingerprintWithBreak", kFingerprint + "\r\n", {}},
        LoadCase{"CrLf",
                 kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A\r\n0^[[S]]^x.com^Link^2^5^S\r\n",
                 {kAuthor, kSite}},
        LoadCase{"Lf",
                 kFingerprint + "\n1^[[A]]^Ann^Text^1^0^A\n0^[[S]]^x.com^Link^2^5^S\n",
                 {kAuthor, kSite}},
        LoadCase{"Cr",
                 kFingerprint + "\r1^[[A]]^Ann^Text^1^0^A\r0^[[S]]^x.com^Link^2^5^S\r",
                 {kAuthor, kSite}},
        LoadCase{"MixedAndNoFinalBreak",
                 kFingerprint + "\n\r1^[[A]]^Ann^Text^1^0^A\r\n\r\n0^[[S]]^x.com^Link^2^5^S",
                 {kAuthor, kSite}},
        LoadCase{"NulEndsTheText",
                 kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A\r\n" + std::string(1, '\0') +
                     "0^[[S]]^x.com^Link^2^5^S\r\n",
                 {kAuthor}},
        LoadCase{"NulInsideALineCutsIt",
                 kFingerprint + "\r\n1^[[A]]^Ann^Te" + std::string(1, '\0') + "xt^1^0^A\r\n",
                 {{true, "[[A]]", "Ann", "Te", "", "", ""}}},
        LoadCase{"BlankLinesOfSpacesTabsAndControlsAreSkipped",
                 kFingerprint + "\r\n \t \r\n\x01\x1f \r\n1^[[A]]^Ann^Text^1^0^A\r\n   \r\n",
                 {kAuthor}},
        LoadCase{
            "LoneCaretIsARecord", kFingerprint + "\r\n^\r\n", {{false, "", "", "", "", "", ""}}},
        LoadCase{"LoneOneIsAnEnabledEmptyRecord",
                 kFingerprint + "\r\n1\r\n",
                 {{true, "", "", "", "", "", ""}}},
        LoadCase{"FlagMustBeExactlyOne",
                 kFingerprint + "\r\n 1^a\r\n01^b\r\n1 ^c\r\ntrue^d\r\n^e\r\n",
                 {{false, "a", "", "", "", "", ""},
                  {false, "b", "", "", "", "", ""},
                  {false, "c", "", "", "", "", ""},
                  {false, "d", "", "", "", "", ""},
                  {false, "e", "", "", "", "", ""}}},
        LoadCase{"BlanksStayInFields",
                 kFingerprint + "\r\n1^ [[A]] ^Ann ^Text^1^0^A \r\n",
                 {{true, " [[A]] ", "Ann ", "Text", "1", "0", "A "}}},
        LoadCase{"TrailingCaretAddsNothing",
                 kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A^\r\n1^[[A]]^Ann^Text^1^0^A\r\n",
                 {kAuthor, kAuthor}},
        LoadCase{"NineFieldsIgnoreTheLastTwo",
                 kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A^x^y\r\n",
                 {kAuthor}},
        LoadCase{"MissingFieldsAreEmpty",
                 kFingerprint + "\r\n1^[[A]]^Ann\r\n",
                 {{true, "[[A]]", "Ann", "", "", "", ""}}},
        LoadCase{"EmptyFieldsInTheMiddle",
                 kFingerprint + "\r\n1^^^Text^^^A\r\n",
                 {{true, "", "", "Text", "", "", "A"}}},
        LoadCase{"DuplicatesStayInFileOrder",
                 kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A\r\n0^[[S]]^x.com^Link^2^5^S\r\n"
                                "1^[[A]]^Ann^Text^1^0^A\r\n",
                 {kAuthor, kSite, kAuthor}},
        LoadCase{"FirstLineIsNeverARecordEvenWhenItLooksLikeOne",
                 "1^[[X]]^x^Text^1^0^X\r\n1^[[A]]^Ann^Text^1^0^A\r\n",
                 {kAuthor}},
        LoadCase{"Utf8FileIsKeptAsItStands",
                 kFingerprint + "\r\n1^Caf\xc3\xa9^\xe2\x82\xac 5^Text^1^0^Jos\xc3\xa9\r\n",
                 {{true, "Caf\xc3\xa9", "\xe2\x82\xac 5", "Text", "1", "0", "Jos\xc3\xa9"}}},
        // One byte that is not UTF-8 makes the whole file Windows-1252, the fields that happen
        // to be valid UTF-8 ("\xc3\xa9" here, on another line) included.
        LoadCase{"Windows1252FileIsReadAsOneCodePage",
                 kFingerprint + "\r\n1^Caf\xe9^\x80 5^Text^1^0^\xff\r\n1^\xc3\xa9^^Text^1^0^N\r\n",
                 {{true, "Caf\xc3\xa9", "\xe2\x82\xac 5", "Text", "1", "0", "\xc3\xbf"},
                  {true, "\xc3\x83\xc2\xa9", "", "Text", "1", "0", "N"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- list behaviour ----------------------------------------------------------------------------

TEST(TFormatsTest, LoadAllAppendsSoLoadingTwiceDoublesAndClearAllEmpties) {
  TempDir dir;
  const std::string path = dir.File("variables.dat");
  WriteFile(path, kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A\r\n0^[[S]]^x.com^Link^2^5^S\r\n");
  TFormats list;
  list.LoadAll(path);
  list.LoadAll(path);
  ASSERT_EQ(list.Count(), 4u);
  ExpectRecord(list, 2, kAuthor);
  ExpectRecord(list, 3, kSite);
  list.ClearAll();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(TFormatsTest, MissingFileOrFolderLeavesTheListUnchangedWithoutError) {
  TempDir dir;
  TFormats list;
  list.AddObject("keep", std::make_unique<TFormat>());
  EXPECT_NO_THROW(list.LoadAll(dir.File("absent.dat")));
  EXPECT_NO_THROW(list.LoadAll(dir.File("absent/below.dat")));
  EXPECT_NO_THROW(list.LoadAll(dir.Folder()));
  EXPECT_NO_THROW(list.LoadAll(""));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Strings(0), "keep");
}

// A file that exists but can't be read: the error names the file, the list keeps what it had.
void ExpectUnreadable(const std::string& path, const std::string& problem) {
  TFormats list;
  list.AddObject("keep", std::make_unique<TFormat>());
  try {
    list.LoadAll(path);
    ADD_FAILURE() << "no error for " << path;
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(problem), std::string::npos) << error.what();
  }
  EXPECT_EQ(list.Count(), 1u);
}

TEST(TFormatsTest, UnreadableFileThrowsAnErrorNamingTheFileAndKeepsTheList) {
  TempDir dir;
  const std::string fifo = dir.File("variables.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExpectUnreadable(fifo, "not a regular file");

  const std::string huge = dir.File("huge.dat");
  WriteFile(huge, "");
  ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMaxVariablesFileSize) + 1), 0);
  ExpectUnreadable(huge, "too large");

  // A regular file whose read fails.
  ExpectUnreadable("/proc/self/mem", "Input/output error");

  if (!RunningAsRoot()) {
    const std::string locked = dir.File("locked.dat");
    WriteFile(locked, kFingerprint + "\r\n1^a\r\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ExpectUnreadable(locked, "Permission denied");
  }
}

TEST(TFormatsTest, IndexPastTheEndAndNullRecordsAreRefused) {
  TFormats list;
  EXPECT_THROW(list.Objects(0), std::out_of_range);
  EXPECT_THROW(list.Strings(0), std::out_of_range);
  EXPECT_THROW(list.AddObject("x", nullptr), std::invalid_argument);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.AddObject("x", std::make_unique<TFormat>()), 0u);
  EXPECT_EQ(list.AddObject("x", std::make_unique<TFormat>()), 1u);
}

// --- SaveAll -----------------------------------------------------------------------------------

TFormats SomeRecords() {
  TFormats list;
  const Fields all[] = {
      kAuthor, kSite, {true, "", "", "", "", "", ""}, {false, " ", " v ", "", "", "", " n "}};
  for (const Fields& f : all) {
    auto r = std::make_unique<TFormat>();
    *r = TFormat{f.enabled, f.tagged, f.value, f.kind, f.page, f.handle, f.name};
    list.AddObject(f.tagged, std::move(r));
  }
  return list;
}

TEST(SaveAllTest, WritesAllSevenFieldsAndReadsBackToTheSameRecords) {
  TempDir dir;
  const std::string path = dir.File("variables.dat");
  const TFormats saved = SomeRecords();
  saved.SaveAll(path, kFingerprint);
  const std::string start = kFingerprint + "\r\n1^[[A]]^Ann^Text^1^0^A^\r\n0^[[S]]^";
  EXPECT_EQ(ReadFile(path).substr(0, start.size()), start);

  TFormats loaded;
  loaded.LoadAll(path);
  ASSERT_EQ(loaded.Count(), saved.Count());
  for (std::size_t i = 0; i < saved.Count(); ++i) {
    const TFormat& s = saved.Objects(i);
    ExpectRecord(loaded, i,
                 {s.Enabled, s.TaggedText, s.Value, s.Kind, s.Page, s.LinkHandle, s.VariableName});
  }
  EXPECT_EQ(ReadTextFileLines(path, 1).front(), kFingerprint);
}

TEST(SaveAllTest, RefusesFieldsTheFormatCantCarryAndKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("variables.dat");
  WriteFile(path, "old");
  for (const std::string& bad :
       std::vector<std::string>{"a^b", "a\rb", "a\nb", std::string("a\0b", 3)}) {
    TFormats list = SomeRecords();
    list.Objects(1).VariableName = bad;
    EXPECT_THROW(list.SaveAll(path, kFingerprint), std::invalid_argument);
    EXPECT_THROW(SomeRecords().SaveAll(path, bad), std::invalid_argument);
  }
  EXPECT_EQ(ReadFile(path), "old");
}

TEST(SaveAllTest, UnwritableFolderThrowsNamingTheFile) {
  TempDir dir;
  const std::string path = dir.File("missing-folder/variables.dat");
  try {
    SomeRecords().SaveAll(path, kFingerprint);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
}

// --- reading lines -----------------------------------------------------------------------------

TEST(ReadTextFileLinesTest, FollowsTheLineRulesAndStopsAtTheLimit) {
  TempDir dir;
  const std::string path = dir.File("lines.dat");
  WriteFile(path, "one\r\ntwo\rthree\n\nfive");
  EXPECT_EQ(ReadTextFileLines(path), (std::vector<std::string>{"one", "two", "three", "", "five"}));
  EXPECT_EQ(ReadTextFileLines(path, 1), (std::vector<std::string>{"one"}));
  EXPECT_EQ(ReadTextFileLines(path, 0), (std::vector<std::string>{}));
  WriteFile(path, "\r\n");
  EXPECT_EQ(ReadTextFileLines(path), (std::vector<std::string>{""}));
  WriteFile(path, "");
  EXPECT_TRUE(ReadTextFileLines(path).empty());
  EXPECT_THROW(ReadTextFileLines(dir.File("absent")), std::runtime_error);
}

// --- junk --------------------------------------------------------------------------------------

TEST(JunkInputTest, RandomBytesLoadWithoutCrashingAndAgreeWithTheLineRules) {
  std::mt19937 random(20240601);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(random() % 3000, '\0');
    for (char& byte : bytes) {
      // Mostly separators and line breaks, so the rules are exercised, not just one long line.
      const unsigned pick = random() % 8;
      byte = pick == 0 ? '^' : pick == 1 ? '\n' : pick == 2 ? '\r' : static_cast<char>(random());
    }
    const TFormats list = LoadText(bytes);
    std::size_t expected = 0;
    const std::vector<std::string> lines = SplitTextLines(bytes);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      expected += IsBlankLine(lines[i]) ? 0 : 1;
    }
    ASSERT_EQ(list.Count(), expected) << "round " << round;
  }
}

TEST(JunkInputTest, HugeSingleLinesLoadAsOneRecordEach) {
  // 20 MB without any line break: just the fingerprint line, no records.
  EXPECT_EQ(LoadText(std::string(20u << 20, 'x')).Count(), 0u);

  // A 20 MB record line of separators: one record, every field empty.
  const TFormats carets = LoadText(kFingerprint + "\n" + std::string(20u << 20, '^'));
  ASSERT_EQ(carets.Count(), 1u);
  ExpectRecord(carets, 0, {false, "", "", "", "", "", ""});

  // A 20 MB tagged text is kept whole.
  const TFormats longText = LoadText(kFingerprint + "\n1^" + std::string(20u << 20, 'y') + "^v");
  ASSERT_EQ(longText.Count(), 1u);
  EXPECT_EQ(longText.Objects(0).TaggedText.size(), 20u << 20);
  EXPECT_EQ(longText.Objects(0).Value, "v");
}

TEST(JunkInputTest, TooManyRecordsAreRefusedInsteadOfExhaustingMemory) {
  std::string bytes = kFingerprint + "\n";
  for (std::size_t i = 0; i <= kMaxVariableRecords; ++i) {
    bytes += "1\n";
  }
  EXPECT_THROW(LoadText(bytes), std::runtime_error);
  // At the limit itself everything loads.
  bytes.resize(bytes.size() - 2);
  EXPECT_EQ(LoadText(bytes).Count(), kMaxVariableRecords);
}

}  // namespace
