// Removing text, adding operators and storing the content.
#include <gtest/gtest.h>

#include <string>

#include "content/text_content.h"
#include "content_test_support.h"
#include "core/color_table.h"

namespace {

using content_test::AllRecords;
using content_test::Record;
using content_test::RecordingSink;
using content_test::StubFonts;
using content_test::TestDocument;
using content_test::U;
using pdfcore::content::TextContent;

struct Editable {
  TestDocument doc;
  StubFonts fonts;
  pdfcore::ColorTable colors;
  RecordingSink errors;
  TextContent content;

  explicit Editable(const std::string& stream, const std::string& resources = "")
      : doc(stream, resources), content(doc.pdf, doc.page, fonts, colors, errors) {}

  // Removes the text of record `index` (from piece `from` when above 0) in one pass.
  void Remove(size_t index, int from = 0) {
    TPDFStack stack{};
    ASSERT_TRUE(content.Restart(stack));
    for (size_t i = 0; i <= index; ++i) ASSERT_TRUE(content.Next(stack));
    stack.DeleteKerningAt = from;
    ASSERT_TRUE(content.RemoveText(stack));
  }

  std::string StoredContent() {
    auto buffer = doc.page.getKey("/Contents").getStreamData(qpdf_dl_generalized);
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
  }
};

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// Origins of the records in device space: what must not move when text before them goes.
void ExpectSamePlaces(const std::vector<Record>& before, const std::vector<Record>& after) {
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i) + " '" + Ascii(before[i].Text()) + "'");
    EXPECT_EQ(before[i].Text(), after[i].Text());
    EXPECT_NEAR(before[i].tm.e, after[i].tm.e, 1e-3);
    EXPECT_NEAR(before[i].tm.f, after[i].tm.f, 1e-3);
    EXPECT_NEAR(before[i].ctm.e, after[i].ctm.e, 1e-6);
    EXPECT_NEAR(before[i].textWidth, after[i].textWidth, 1e-3);
  }
}

struct RemovalCase {
  const char* name;
  std::string stream;
  size_t record;
  int from;
  std::vector<std::string> remaining;  // texts of all records afterwards; a record whose
                                       // glyphs are all removed is no record any more
};

class ContentRemoval : public testing::TestWithParam<RemovalCase> {};

TEST_P(ContentRemoval, LaterGlyphsStayWhereTheyWere) {
  const RemovalCase& c = GetParam();
  Editable e(c.stream);
  std::vector<Record> before = AllRecords(e.content);
  ASSERT_GT(before.size(), c.record);
  e.Remove(c.record, c.from);
  ASSERT_TRUE(e.content.Flush());
  std::vector<Record> after = AllRecords(e.content);
  std::vector<std::string> texts;
  for (const Record& r : after) texts.push_back(Ascii(r.Text()));
  EXPECT_EQ(texts, c.remaining) << e.StoredContent();
  // Every record after the cut is where it was, with its width; a shortened record keeps its
  // own displacement.
  const bool gone = after.size() + 1 == before.size();
  ASSERT_EQ(after.size() + (gone ? 1 : 0), before.size()) << e.StoredContent();
  std::vector<Record> laterBefore(before.begin() + c.record + 1, before.end());
  std::vector<Record> laterAfter(after.begin() + c.record + (gone ? 0 : 1), after.end());
  ExpectSamePlaces(laterBefore, laterAfter);
  if (gone) return;
  EXPECT_NEAR(before[c.record].textWidth, after[c.record].textWidth, 1e-3);
  EXPECT_NEAR(before[c.record].tm.e, after[c.record].tm.e, 1e-6);
}

const char* kLine =
    "BT /F1 10 Tf 1.5 Tc 2 Tw 80 Tz 14 TL 50 300 Td (Hello ) Tj [(wo) -120 (rld) 300 ( and) -40] "
    "TJ "
    "(more) Tj (next line) ' 3 -0.5 (quoted text) \" (tail) Tj ET";

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentRemoval,
    testing::Values(
        RemovalCase{
            "WholeTj", kLine, 0, 0, {"world and", "more", "next line", "quoted text", "tail"}},
        RemovalCase{"WholeTJ", kLine, 1, 0, {"Hello ", "more", "next line", "quoted text", "tail"}},
        RemovalCase{"TJFromSecondPiece",
                    kLine,
                    1,
                    1,
                    {"Hello ", "wo", "more", "next line", "quoted text", "tail"}},
        RemovalCase{"TJFromLastPiece",
                    kLine,
                    1,
                    2,
                    {"Hello ", "world", "more", "next line", "quoted text", "tail"}},
        RemovalCase{"TJTrailingPieceOnly",
                    kLine,
                    1,
                    3,
                    {"Hello ", "world and", "more", "next line", "quoted text", "tail"}},
        RemovalCase{"Quote", kLine, 3, 0, {"Hello ", "world and", "more", "quoted text", "tail"}},
        RemovalCase{"DoubleQuoteKeepsItsSpacing",
                    kLine,
                    4,
                    0,
                    {"Hello ", "world and", "more", "next line", "tail"}},
        RemovalCase{"FromPieceBeyondTheLast",
                    kLine,
                    2,
                    5,
                    {"Hello ", "world and", "more", "next line", "quoted text", "tail"}},
        RemovalCase{"CompactSyntax", "BT/F1 10 Tf 14 TL(a)Tj(b)'(c)Tj ET", 1, 0, {"a", "c"}},
        RemovalCase{"RiseAndTwoByteFont",
                    "BT /F2 12 Tf 5 Ts <00410042> Tj /F1 9 Tf -2 Ts (x) Tj ET",
                    0,
                    0,
                    {"x"}}),
    [](const testing::TestParamInfo<RemovalCase>& info) { return std::string(info.param.name); });

// Removed text is replaced by a displacement: poppler places the rest of the line exactly
// where it was, and finds no trace of what was removed.
TEST(ContentRemovalJudged, PdftotextSeesTheRestInPlace) {
  const std::string line =
      "BT /F1 12 Tf 1 Tc 3 Tw 90 Tz 72 300 Td (Brand [[x]] here) Tj "
      "[( more) -600 (words) 100 (kern)] TJ ( after) Tj ET";
  Editable e(line);
  std::string beforePath = e.doc.Write(content_test::TempPath("removal_before.pdf"));
  std::string before = content_test::Run("pdftotext -bbox " + beforePath + " -");
  e.Remove(0);
  // Then from piece 1 of the TJ on, in the same pass.
  TPDFStack stack{};
  ASSERT_TRUE(e.content.Next(stack));
  stack.DeleteKerningAt = 1;
  ASSERT_TRUE(e.content.RemoveText(stack));
  ASSERT_TRUE(e.content.Flush());
  std::string afterPath = e.doc.Write(content_test::TempPath("removal_after.pdf"));
  std::string after = content_test::Run("pdftotext -bbox " + afterPath + " -");

  // "xMin,yMin" of the word in pdftotext -bbox output.
  auto wordBox = [](const std::string& xml, const std::string& word) {
    size_t end = xml.find(">" + word + "</word>");
    if (end == std::string::npos) return std::string("missing");
    size_t start = xml.rfind("<word ", end);
    size_t x = xml.find("xMin=\"", start) + 6;
    size_t y = xml.find("yMin=\"", start) + 6;
    return xml.substr(x, xml.find('"', x) - x) + "," + xml.substr(y, xml.find('"', y) - y);
  };
  EXPECT_NE(wordBox(before, "after"), "missing") << before;
  EXPECT_NE(wordBox(before, "more"), "missing") << before;
  EXPECT_EQ(wordBox(after, "after"), wordBox(before, "after")) << after;
  EXPECT_EQ(wordBox(after, "more"), wordBox(before, "more")) << after;
  EXPECT_EQ(wordBox(after, "Brand"), "missing");
  EXPECT_EQ(wordBox(after, "words"), "missing");
  EXPECT_EQ(wordBox(after, "kern"), "missing");
  EXPECT_EQ(wordBox(after, "wordskern"), "missing");
}

TEST(ContentRemovalJudged, RemovingEveryRecordLeavesNoText) {
  Editable e(
      "BT /F1 10 Tf 14 TL 50 300 Td (one) Tj [(two) -300 (three)] TJ (four) ' 1 2 (five) \" ET "
      "q 2 0 0 2 0 0 cm BT /F2 8 Tf 10 10 Td <00410042> Tj ET Q");
  TPDFStack stack{};
  ASSERT_TRUE(e.content.Restart(stack));
  int removed = 0;
  while (e.content.Next(stack)) {
    ASSERT_TRUE(e.content.RemoveText(stack));
    ++removed;
  }
  EXPECT_EQ(removed, 5);
  ASSERT_TRUE(e.content.Flush());
  std::string path = e.doc.Write(content_test::TempPath("removal_all.pdf"));
  std::string text = content_test::Run("pdftotext " + path + " -");
  EXPECT_EQ(text.find_first_not_of(" \n\f"), std::string::npos) << text;
  std::string check = content_test::Run("qpdf --check " + path + " 2>&1");
  EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
}

TEST(ContentFlush, NothingChangedStoresNothing) {
  Editable e("BT /F1 10 Tf (a) Tj ET");
  QPDFObjGen original = e.doc.page.getKey("/Contents").getObjGen();
  AllRecords(e.content);
  // Removing from a piece beyond the record is no change either.
  e.Remove(0, 4);
  ASSERT_TRUE(e.content.Flush());
  EXPECT_EQ(e.doc.page.getKey("/Contents").getObjGen(), original);
  e.Remove(0);
  ASSERT_TRUE(e.content.Flush());
  EXPECT_NE(e.doc.page.getKey("/Contents").getObjGen(), original);
  EXPECT_EQ(e.StoredContent().find("(a)"), std::string::npos);
}

TEST(ContentFlush, RestartAfterRemovalWithoutFlushNoLongerDeliversIt) {
  Editable e("BT /F1 10 Tf (a) Tj (b) Tj ET");
  e.Remove(0);
  std::vector<Record> records = AllRecords(e.content);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Text(), U("b"));
  EXPECT_NEAR(records[0].tm.e, 5, 1e-6);
  // The removal is still to be stored.
  ASSERT_TRUE(e.content.Flush());
  EXPECT_EQ(e.StoredContent().find("(a)"), std::string::npos);
}

TEST(ContentAppend, AppendedTextIsDeliveredOnlyAfterFlush) {
  Editable e("BT /F1 10 Tf (old) Tj ET");
  TPDFStack stack{};
  ASSERT_TRUE(e.content.Restart(stack));
  ASSERT_TRUE(e.content.Next(stack));
  e.content.AppendOperators("BT /F1 10 Tf 5 5 Td (new) Tj ET");
  EXPECT_FALSE(e.content.Next(stack));
  EXPECT_EQ(AllRecords(e.content).size(), 1u);  // a restart before the flush neither
  ASSERT_TRUE(e.content.Flush());
  std::vector<Record> records = AllRecords(e.content);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].Text(), U("new"));
}

TEST(ContentAppend, AdditionsStartFromTheInitialGraphicsState) {
  // The original leaves a q open, has a Q without its q, changes the CTM and colour, sets a
  // font and ends inside a text object: none of it may reach the additions.
  Editable e("Q 2 0 0 2 0 0 cm 1 0 0 rg q 3 0 0 3 0 0 cm BT /F1 10 Tf 7 Tr (a) Tj");
  e.content.AppendOperators("BT /F1 8 Tf (b) Tj ET");
  ASSERT_TRUE(e.content.Flush());
  std::vector<Record> records = AllRecords(e.content);
  ASSERT_EQ(records.size(), 2u) << e.StoredContent();
  EXPECT_NEAR(records[0].ctm.a, 6, 1e-9);  // the stray Q was ignored before and still is
  EXPECT_EQ(records[0].drawMode, 7);
  EXPECT_NEAR(records[1].ctm.a, 1, 1e-9);
  EXPECT_NEAR(records[1].ctm.d, 1, 1e-9);
  EXPECT_EQ(records[1].drawMode, 0);
  EXPECT_EQ(records[1].fillSpace, PDF_CS_DEVICE_GRAY);
  std::string path = e.doc.Write(content_test::TempPath("append_state.pdf"));
  std::string check = content_test::Run("qpdf --check " + path + " 2>&1");
  EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
}

// A form XObject of `doc` with the page's resources.
QPDFObjectHandle MakeForm(TestDocument& doc, const std::string& content, const std::string& box) {
  QPDFObjectHandle form = doc.pdf.newStream(content);
  form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  form.getDict().replaceKey("/BBox", QPDFObjectHandle::parse(box));
  form.getDict().replaceKey("/Resources", doc.page.getKey("/Resources"));
  return form;
}

// A form open for editing with its first record removed, as the engine leaves it before writing.
struct FormEditing {
  FormEditing(TestDocument& doc, QPDFObjectHandle form)
      : content(doc.pdf, form, fonts, colors, errors) {}
  void RemoveFirstRecord() {
    TPDFStack stack{};
    ASSERT_TRUE(content.Restart(stack));
    ASSERT_TRUE(content.Next(stack));
    ASSERT_TRUE(content.RemoveText(stack));
  }
  StubFonts fonts;
  pdfcore::ColorTable colors;
  RecordingSink errors;
  TextContent content;
};

TEST(ContentForm, FlushReplacesTheFormDataAndKeepsItsResources) {
  TestDocument doc("/Fm1 Do");
  QPDFObjectHandle form = MakeForm(doc, "BT /F1 10 Tf (head) Tj (er) Tj ET", "[0 0 600 400]");
  FormEditing editing(doc, form);
  ASSERT_NO_FATAL_FAILURE(editing.RemoveFirstRecord());
  TextContent& content = editing.content;
  content.AppendOperators("BT /F1 10 Tf (new) Tj ET");
  ASSERT_TRUE(content.Flush());
  EXPECT_EQ(content.Owner().getObjGen(), form.getObjGen());
  EXPECT_TRUE(form.getDict().getKey("/Resources").isDictionary());
  std::vector<Record> records = AllRecords(content);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Text(), U("er"));
  EXPECT_NEAR(records[0].tm.e, 20, 1e-6);
  EXPECT_EQ(records[1].Text(), U("new"));
}

TEST(ContentPlacedText, StandsWhereTheRecordItReplacesStoodAndJoinsIntoOneTJ) {
  // Written in the place of (a): a later pass meets it before (b), as one record whose pieces
  // keep their spacing, and (b) stays where it was.
  Editable e("BT /F1 10 Tf 14 TL 50 300 Td (a) Tj (b) Tj T* (c) Tj ET");
  std::vector<Record> before = AllRecords(e.content);
  TPDFStack stack{};
  ASSERT_TRUE(e.content.Restart(stack));
  ASSERT_TRUE(e.content.Next(stack));
  ASSERT_TRUE(e.content.RemoveText(stack));
  pdfcore::PlacedText text;
  text.matrix = TPDFMatrix{1, 0, 0, 1, 50, 300};
  text.fontName = "/F1";
  text.fontSize = 10;
  text.bytes = "xy";
  text.width = 10;
  e.content.PlaceText(text);
  text.matrix.e = 63;  // a gap of 3 after "xy"
  text.bytes = "z";
  text.width = 5;
  e.content.PlaceText(text);
  ASSERT_TRUE(e.content.Flush());
  std::vector<Record> after = AllRecords(e.content);
  ASSERT_EQ(after.size(), 3u) << e.StoredContent();
  EXPECT_EQ(after[0].Text(), U("xyz"));
  ASSERT_EQ(after[0].pieces.size(), 2u);
  EXPECT_NEAR(after[0].pieces[1].advance, -3, 1e-6);
  EXPECT_NEAR(after[0].tm.e, 50, 1e-6);
  ExpectSamePlaces({before[1], before[2]}, {after[1], after[2]});
}

TEST(ContentForm, TextWrittenPastTheBoxWidensIt) {
  // pdfTeX's forms have a box just around what they show: a longer value would be clipped.
  TestDocument doc("/Fm1 Do");
  QPDFObjectHandle form = MakeForm(doc, "BT /F1 10 Tf 0 0 Td (tag) Tj ET", "[0 -3 15 10]");
  FormEditing editing(doc, form);
  ASSERT_NO_FATAL_FAILURE(editing.RemoveFirstRecord());
  TextContent& content = editing.content;
  pdfcore::PlacedText text;
  text.fontName = "/F1";
  text.fontSize = 10;
  text.bytes = "a much longer value";
  text.width = 95;
  content.PlaceText(text);
  ASSERT_TRUE(content.Flush());
  QPDFObjectHandle box = form.getDict().getKey("/BBox");
  ASSERT_TRUE(box.isArray());
  EXPECT_LE(box.getArrayItem(0).getNumericValue(), 0);
  EXPECT_GE(box.getArrayItem(2).getNumericValue(), 95);
  EXPECT_GE(box.getArrayItem(3).getNumericValue(), 10);
  std::vector<Record> records = AllRecords(content);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Text(), U("a much longer value"));
}

TEST(ContentRemoval, RemoveTextNeedsADeliveredRecord) {
  Editable e("BT /F1 10 Tf (a) Tj ET");
  TPDFStack stack{};
  ASSERT_TRUE(e.content.Restart(stack));
  EXPECT_FALSE(e.content.RemoveText(stack));
  TPDFStack foreign{};
  ASSERT_TRUE(e.content.Next(stack));
  EXPECT_FALSE(e.content.RemoveText(foreign));
  ASSERT_TRUE(e.content.Flush());
}

}  // namespace
