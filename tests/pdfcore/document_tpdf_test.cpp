// The built core library (libdynapdf.so) driven through the binding, in the order of a
// rebranding run.
#ifdef CORVELLA_DYNAPDF_PATH

#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>

#include "TPDF.h"
#include "core/links.h"
#include "document_test_support.h"

namespace {

using namespace document_test;

std::string Utf8Of(const TPDFKerning& piece) {
  std::string text;
  for (int32_t i = 0; i < piece.Length; ++i) text += static_cast<char>(piece.Text[i] & 0x7F);
  return text;
}

TEST(DocumentThroughBinding, RunImportsEditsLinksAndWrites) {
  TempDir dir;
  const std::string output = dir / "rebranded.pdf";
  ErrorLog log;
  {
    TPDF pdf(CORVELLA_DYNAPDF_PATH);
    ASSERT_EQ(pdf.CreateNewPDF(""), 1);
    pdf.SetOnErrorProc(&log, &ErrorLog::Callback);
    pdf.SetImportFlags(0x8FFFFFFE);
    ASSERT_GE(pdf.OpenImportFile(Fixture("whole.pdf"), 0, ""), 0) << log.All();
    ASSERT_EQ(pdf.ImportPDFFile(1, 1.0, 1.0), 3) << log.All();
    pdf.CloseImportFile();

    ASSERT_EQ(pdf.EditPage(1), 1) << log.All();
    TPDFStack record{};
    ASSERT_NE(pdf.InitStack(&record), 0);
    ASSERT_NE(pdf.GetPageText(&record), 0);
    ASSERT_EQ(record.KerningCount, 1);
    EXPECT_EQ(Utf8Of(record.Kerning[0]), "Visit [[site]] today");
    TPDFFontInfo font{};
    ASSERT_TRUE(pdf.GetFont(record.Font, &font));
    EXPECT_STREQ(font.FontName, "Helvetica");
    EXPECT_FALSE(pdf.GetFont(nullptr, &font));

    ASSERT_EQ(pdf.GetTemplCount(), 1);
    ASSERT_NE(pdf.EditTemplate(0), 0);
    const int32_t header = pdf.GetTemplHandle();
    EXPECT_GT(header, 0);
    ASSERT_NE(pdf.InitStack(&record), 0);
    ASSERT_NE(pdf.GetPageText(&record), 0);
    EXPECT_EQ(Utf8Of(record.Kerning[0]), "Header of [[brand]]");
    EXPECT_NE(pdf.EndTemplate(), 0);
    EXPECT_NE(pdf.EditTemplate2(header), 0);
    EXPECT_EQ(pdf.GetTemplHandle(), header);
    EXPECT_NE(pdf.EndTemplate(), 0);

    EXPECT_GE(pdf.ChangeLinkAnnot(1, "https://example.com/?id=reseller"), 0) << log.All();
    EXPECT_TRUE(log.entries.empty()) << log.All();
    EXPECT_LT(pdf.ChangeLinkAnnot(0, "https://nowhere/"), 0);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].code, pdfcore::kErrNotLink);
    EXPECT_EQ(pdf.ReplacePageText("new text", &record), 0) << "only removal is supported";
    EXPECT_EQ(pdf.EndPage(), 1);

    ASSERT_NE(pdf.HaveOpenDoc(), 0);
    ASSERT_NE(pdf.OpenOutputFile(output), 0) << log.All();
    ASSERT_TRUE(pdf.CloseFile()) << log.All();
    EXPECT_EQ(pdf.HaveOpenDoc(), 0);
  }
  EXPECT_EQ(Shell("qpdf --check '" + output + "'"), 0);
  QPDF out;
  out.processFile(output.c_str());
  EXPECT_EQ(pdfcore::LinkUri(pdfcore::AllAnnotations(out)[1].annotation),
            "https://example.com/?id=reseller");
}

// Failures come back as results and messages; nothing escapes the library.
TEST(DocumentThroughBinding, FailuresAreResultsAndMessages) {
  TempDir dir;
  ErrorLog log;
  TPDF pdf(CORVELLA_DYNAPDF_PATH);
  pdf.SetOnErrorProc(&log, &ErrorLog::Callback);
  EXPECT_EQ(pdf.EditPage(1), 0) << "no document yet";
  TPDFStack record{};
  EXPECT_EQ(pdf.InitStack(&record), 0);
  EXPECT_EQ(pdf.InitStack(nullptr), 0);
  ASSERT_EQ(pdf.CreateNewPDF(""), 1);
  WriteFile(dir / "junk.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R");
  EXPECT_LT(pdf.OpenImportFile(dir / "junk.pdf", 0, ""), 0);
  EXPECT_LT(pdf.OpenImportFile(dir / "missing.pdf", 0, ""), 0);
  EXPECT_LT(pdf.ImportPDFFile(1, 1.0, 1.0), 0);
  EXPECT_EQ(pdf.OpenOutputFile(dir / "no/such/folder/out.pdf"), 0);
  EXPECT_FALSE(pdf.CloseFile());
  EXPECT_GE(log.entries.size(), 8u) << log.All();
  for (const auto& entry : log.entries) EXPECT_FALSE(entry.message.empty());

  // Without a callback the failures are still failures.
  pdf.SetOnErrorProc(nullptr, nullptr);
  EXPECT_LT(pdf.OpenImportFile(dir / "missing.pdf", 0, ""), 0);
}

}  // namespace

#endif
