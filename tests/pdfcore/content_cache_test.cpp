// Contents read again are replayed from what the document remembers of them. Whatever was
// replayed must be exactly what a fresh reading of the content gives now: after the content
// was edited, through another page that shares a form, after the page's fonts changed, and
// with the same problems reported at every opening.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include "core/content_editor.h"
#include "document_test_support.h"

namespace {

using namespace document_test;
using pdfcore::ContentEditor;
using pdfcore::Instance;

// What a text record says, compared field by field (the font by identity).
struct Seen {
  std::u16string text;
  std::vector<float> advances;
  std::vector<float> widths;
  double tm[6];
  double fontSize;
  float textWidth;
  const void* font;
  bool operator==(const Seen& other) const {
    for (int i = 0; i < 6; ++i) {
      if (tm[i] != other.tm[i]) return false;
    }
    return text == other.text && advances == other.advances && widths == other.widths &&
           fontSize == other.fontSize && textWidth == other.textWidth && font == other.font;
  }
};

Seen SeenOf(const TPDFStack& record) {
  Seen seen{};
  for (int32_t i = 0; i < record.KerningCount; ++i) {
    const TPDFKerning& piece = record.Kerning[i];
    seen.text.append(reinterpret_cast<const char16_t*>(piece.Text),
                     static_cast<size_t>(piece.Length));
    seen.advances.push_back(piece.Advance);
    seen.widths.push_back(piece.Width);
  }
  const TPDFMatrix& m = record.tm;
  const double tm[6] = {m.a, m.b, m.c, m.d, m.e, m.f};
  std::copy(tm, tm + 6, seen.tm);
  seen.fontSize = record.FontSize;
  seen.textWidth = record.TextWidth;
  seen.font = record.Font;
  return seen;
}

std::u16string TextsOf(const std::vector<Seen>& records) {
  std::u16string all;
  for (const Seen& seen : records) all += seen.text + u"|";
  return all;
}

// Every record of the content open on top, through the instance (and so its cache).
std::vector<Seen> ReadOpen(Instance& pdf) {
  std::vector<Seen> records;
  TPDFStack record{};
  EXPECT_EQ(pdf.InitStack(record), 1);
  while (pdf.GetPageText(record) == 1) records.push_back(SeenOf(record));
  return records;
}

// Every record of `owner` read afresh, by an editor that shares nothing with earlier openings.
std::vector<Seen> ReadFresh(Instance& pdf, QPDFObjectHandle owner) {
  pdfcore::NullErrorSink quiet;
  ContentEditor editor(pdf.Document(), owner, pdf.Fonts(), pdf.Colors(), quiet);
  std::vector<Seen> records;
  TPDFStack record{};
  EXPECT_TRUE(editor.Restart(record));
  while (editor.Next(record)) records.push_back(SeenOf(record));
  return records;
}

QPDFObjectHandle PageObject(Instance& pdf, int number) {
  return pdf.Document().getAllPages().at(static_cast<size_t>(number - 1));
}

// Removes the whole text of the first record whose text is `text`; false when none is.
bool RemoveRecord(Instance& pdf, const std::u16string& text) {
  TPDFStack record{};
  if (pdf.InitStack(record) != 1) return false;
  while (pdf.GetPageText(record) == 1) {
    if (SeenOf(record).text == text) {
      record.DeleteKerningAt = 0;
      return pdf.ReplacePageText("", record) == 1;
    }
  }
  return false;
}

class ContentCacheTest : public ::testing::Test {
 protected:
  static constexpr const char* kHelvetica =
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  static constexpr const char* kCourier =
      "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>";

  // Pages with the given contents, each with font /F1 (Helvetica) and form /Fm0, a form that
  // every page may draw and that shows "Shared header".
  void Build(const std::vector<std::string>& contents) {
    QPDF source;
    source.emptyPDF();
    QPDFObjectHandle font = source.makeIndirectObject(QPDFObjectHandle::parse(kHelvetica));
    QPDFObjectHandle form = source.newStream("BT /F1 9 Tf 72 800 Td (Shared header) Tj ET");
    QPDFObjectHandle formFonts = QPDFObjectHandle::newDictionary();
    formFonts.replaceKey("/F1", font);
    QPDFObjectHandle formResources = QPDFObjectHandle::newDictionary();
    formResources.replaceKey("/Font", formFonts);
    form.getDict().replaceKey("/Resources", formResources);
    form.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    form.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    form.getDict().replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 612 842]"));
    for (const std::string& content : contents) {
      QPDFObjectHandle page = source.makeIndirectObject(
          QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 842] >>"));
      page.replaceKey("/Contents", source.newStream(content));
      QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
      resources.replaceKey("/Font", QPDFObjectHandle::newDictionary());
      resources.getKey("/Font").replaceKey("/F1", font);
      resources.replaceKey("/XObject", QPDFObjectHandle::newDictionary());
      resources.getKey("/XObject").replaceKey("/Fm0", form);
      page.replaceKey("/Resources", resources);
      source.addPage(page, false);
    }
    const std::string path = dir / "source.pdf";
    QPDFWriter writer(source, path.c_str());
    writer.write();
    log.AttachTo(pdf);
    ASSERT_EQ(ImportWhole(pdf, path), static_cast<int32_t>(contents.size())) << log.All();
  }

  TempDir dir;
  Instance pdf;
  ErrorLog log;
};

TEST_F(ContentCacheTest, PageEditedThenReopenedShowsTheEdit) {
  Build({"BT /F1 12 Tf 72 700 Td (Hello) Tj ( World) Tj ET"});
  ASSERT_EQ(pdf.EditPage(1), 1);
  const std::vector<Seen> first = ReadOpen(pdf);
  EXPECT_EQ(TextsOf(first), u"Hello| World|");
  EXPECT_EQ(ReadOpen(pdf), first) << "a second pass delivers the same records";

  ASSERT_TRUE(RemoveRecord(pdf, u"Hello"));
  ASSERT_EQ(pdf.FlushPageContent(), 1);
  ASSERT_EQ(pdf.EndPage(), 1);

  ASSERT_EQ(pdf.EditPage(1), 1);
  const std::vector<Seen> edited = ReadOpen(pdf);
  // What is left of a removed record only moves the pen: it is no record any more.
  EXPECT_EQ(TextsOf(edited), u" World|") << "the removed text is gone";
  EXPECT_EQ(edited, ReadFresh(pdf, PageObject(pdf, 1)));
  ASSERT_EQ(edited.size(), 1u);
  EXPECT_EQ(edited[0].tm[4], first[1].tm[4]) << "World stays where it was";

  // Removing within the same opening, before and after a new pass.
  ASSERT_TRUE(RemoveRecord(pdf, u" World"));
  EXPECT_EQ(TextsOf(ReadOpen(pdf)), u"") << "removals show in the next pass";
  ASSERT_EQ(pdf.EndPage(), 1);
  ASSERT_EQ(pdf.EditPage(1), 1);
  EXPECT_EQ(TextsOf(ReadOpen(pdf)), u"");
  EXPECT_EQ(ReadOpen(pdf), ReadFresh(pdf, PageObject(pdf, 1)));
  EXPECT_EQ(log.Fatal(), 0u) << log.All();
}

TEST_F(ContentCacheTest, FormSharedByTwoPagesShowsAnEditMadeThroughEither) {
  Build({"/Fm0 Do BT /F1 12 Tf 72 700 Td (Page one) Tj ET",
         "/Fm0 Do BT /F1 12 Tf 72 700 Td (Page two) Tj ET"});
  ASSERT_EQ(pdf.EditPage(2), 1);
  ASSERT_EQ(pdf.GetTemplCount(), 1);
  ASSERT_EQ(pdf.EditTemplate(0), 1);
  EXPECT_EQ(TextsOf(ReadOpen(pdf)), u"Shared header|");
  ASSERT_EQ(pdf.EndTemplate(), 1);
  ASSERT_EQ(pdf.EndPage(), 1);

  ASSERT_EQ(pdf.EditPage(1), 1);
  ASSERT_EQ(pdf.GetTemplCount(), 1);
  ASSERT_EQ(pdf.EditTemplate(0), 1);
  const QPDFObjectHandle form = pdf.Document().getObject(pdf.GetTemplHandle(), 0);
  ASSERT_TRUE(RemoveRecord(pdf, u"Shared header"));
  ASSERT_EQ(pdf.EndTemplate(), 1);
  ASSERT_EQ(pdf.EndPage(), 1);

  ASSERT_EQ(pdf.EditPage(2), 1);
  ASSERT_EQ(pdf.GetTemplCount(), 1) << "page two still draws the form";
  ASSERT_EQ(pdf.EditTemplate(0), 1);
  const std::vector<Seen> seen = ReadOpen(pdf);
  EXPECT_EQ(TextsOf(seen), u"") << "the edit made through page one";
  EXPECT_EQ(seen, ReadFresh(pdf, form));
  EXPECT_EQ(log.Fatal(), 0u) << log.All();
}

TEST_F(ContentCacheTest, FontChangedUnderTheSameContentIsSeen) {
  Build({"BT /F1 12 Tf 72 700 Td (Width) Tj ET"});
  ASSERT_EQ(pdf.EditPage(1), 1);
  const std::vector<Seen> helvetica = ReadOpen(pdf);
  ASSERT_EQ(helvetica.size(), 1u);
  ASSERT_EQ(pdf.EndPage(), 1);

  // The same bytes under another font: /F1 now names Courier, whose glyphs are all 600 wide.
  QPDFObjectHandle courier =
      pdf.Document().makeIndirectObject(QPDFObjectHandle::parse(ContentCacheTest::kCourier));
  PageObject(pdf, 1).getKey("/Resources").getKey("/Font").replaceKey("/F1", courier);

  ASSERT_EQ(pdf.EditPage(1), 1);
  const std::vector<Seen> changed = ReadOpen(pdf);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_NE(changed[0].font, helvetica[0].font);
  EXPECT_FLOAT_EQ(changed[0].textWidth, 5 * 0.6f * 12);
  EXPECT_EQ(changed, ReadFresh(pdf, PageObject(pdf, 1)));

  // A font added under a new name (as written text does) changes no record of the rest.
  PageObject(pdf, 1)
      .getKey("/Resources")
      .getKey("/Font")
      .replaceKey("/F2", pdf.Document().makeIndirectObject(
                             QPDFObjectHandle::parse(ContentCacheTest::kHelvetica)));
  EXPECT_EQ(ReadOpen(pdf), changed);
}

TEST_F(ContentCacheTest, ProblemsAreReportedAtEveryOpening) {
  Build({"BT /F1 12 Tf 72 700 Td (Junk follows) Tj } ET"});
  size_t reports[2] = {0, 0};
  for (size_t& count : reports) {
    log.entries.clear();
    ASSERT_EQ(pdf.EditPage(1), 1);
    EXPECT_EQ(TextsOf(ReadOpen(pdf)), u"Junk follows|");
    EXPECT_EQ(TextsOf(ReadOpen(pdf)), u"Junk follows|");
    ASSERT_EQ(pdf.EndPage(), 1);
    count = log.entries.size();
  }
  EXPECT_GT(reports[0], 0u);
  EXPECT_EQ(reports[1], reports[0]) << log.All();
}

// Text added to a content is written after it, in its initial graphics state: whether what the
// content leaves open is known from an earlier reading or read anew, the same bytes are stored,
// and the addition is read as text even after a string that never ends.
class StoredWithAdditions : public ContentCacheTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(StoredWithAdditions, SameBytesWithOrWithoutAnEarlierReading) {
  const std::string content = GetParam();
  const std::string added = "BT /F1 10 Tf 1 0 0 1 40 40 Tm (New) Tj ET\n";
  Build({content, content});

  // Page 1 through the instance: read (so what it leaves open is known), edited, added to.
  ASSERT_EQ(pdf.EditPage(1), 1);
  ReadOpen(pdf);
  ASSERT_TRUE(RemoveRecord(pdf, u"Tag"));
  pdf.RequireOpenContent().AppendOperators(added);
  ASSERT_EQ(pdf.EndPage(), 1);

  // Page 2 by an editor that remembers nothing.
  pdfcore::NullErrorSink quiet;
  {
    ContentEditor editor(pdf.Document(), PageObject(pdf, 2), pdf.Fonts(), pdf.Colors(), quiet);
    TPDFStack record{};
    ASSERT_TRUE(editor.Restart(record));
    bool removed = false;
    while (editor.Next(record)) {
      if (!removed && SeenOf(record).text == u"Tag") {
        record.DeleteKerningAt = 0;
        removed = editor.RemoveText(record);
      }
    }
    ASSERT_TRUE(removed);
    editor.AppendOperators(added);
    ASSERT_TRUE(editor.Flush());
  }
  auto stored = [&](int page) {
    std::shared_ptr<Buffer> data =
        PageObject(pdf, page).getKey("/Contents").getStreamData(qpdf_dl_generalized);
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  };
  const std::string one = stored(1);
  const std::string two = stored(2);
  EXPECT_EQ(one, two);
  // The added text is read as text of its own, whatever the content left open.
  const std::u16string texts = TextsOf(ReadFresh(pdf, PageObject(pdf, 1)));
  EXPECT_NE(texts.find(u"|New|"), std::u16string::npos) << one;
}

INSTANTIATE_TEST_SUITE_P(
    OpenAtTheEnd, StoredWithAdditions,
    ::testing::Values("BT /F1 12 Tf 72 700 Td (Tag) Tj ( stays) Tj ET",
                      "q 1 0 0 1 5 5 cm BT /F1 12 Tf 72 700 Td (Tag) Tj ( stays) Tj ET",
                      "q q BT /F1 12 Tf 72 700 Td (Tag) Tj ( stays) Tj",
                      "BT /F1 12 Tf 72 700 Td [(Tag) -250] TJ ( stays) Tj ET  \n% trailing comment",
                      "BT /F1 12 Tf 72 700 Td (Tag) Tj ( stays) Tj ET (never closed"));

TEST_F(ContentCacheTest, StoringAPageAgainReusesTheStreamItWrote) {
  Build({"BT /F1 12 Tf 72 700 Td (One) Tj (Two) Tj (Three) Tj ET"});
  ASSERT_EQ(pdf.EditPage(1), 1);
  ASSERT_TRUE(RemoveRecord(pdf, u"One"));
  ASSERT_EQ(pdf.FlushPageContent(), 1);
  const QPDFObjGen written = PageObject(pdf, 1).getKey("/Contents").getObjGen();
  const size_t objects = pdf.Document().getObjectCount();
  for (const char16_t* text : {u"Two", u"Three"}) {
    ASSERT_TRUE(RemoveRecord(pdf, text));
    ASSERT_EQ(pdf.FlushPageContent(), 1);
    EXPECT_EQ(PageObject(pdf, 1).getKey("/Contents").getObjGen(), written);
  }
  EXPECT_EQ(pdf.Document().getObjectCount(), objects) << "no dead stream per storing";
  EXPECT_EQ(TextsOf(ReadOpen(pdf)), u"");
  ASSERT_EQ(pdf.EndPage(), 1);
  const std::string output = dir / "out.pdf";
  ASSERT_EQ(WriteTo(pdf, output), 1) << log.All();
  EXPECT_EQ(Shell("qpdf --check '" + output + "'"), 0);
}

}  // namespace
