// The text output inside a real document: the record's font comes from the content editor and
// the document's font cache, text is appended through the editor, and what is written is
// measured by the content interpreter exactly as the text output measured it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/document.h"
#include "textout_support.h"

namespace {

using namespace pdfcore;
using textout_test::Fixture;
using textout_test::RecordingSink;
using textout_test::RunTool;

class TextOutputDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One file per test and process: ctest runs the tests of this fixture side by side.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    outPath =
        std::filesystem::temp_directory_path() /
        ("textout_document_" + std::string(test->name()) + "_" + std::to_string(getpid()) + ".pdf");
    ASSERT_EQ(instance.CreateNewPDF(""), 1);
    ASSERT_GE(instance.OpenImportFile(Fixture("helvetica_line.pdf"), 0, ""), 0);
    ASSERT_GE(instance.ImportPDFFile(1, 1.0, 1.0), 0);
    ASSERT_EQ(instance.EditPage(1), 1);
  }
  void TearDown() override { std::filesystem::remove(outPath); }

  void Save() {
    ASSERT_EQ(instance.EndPage(), 1);
    FinalizeFonts(instance.Document(), sink);
    ASSERT_EQ(instance.OpenOutputFile(outPath.string()), 1);
    ASSERT_EQ(instance.CloseFile(), 1);
  }

  Instance instance;
  RecordingSink sink;
  std::filesystem::path outPath;
};

TEST_F(TextOutputDocumentTest, RecordFontIsReusedAndWidthsMatchTheInterpreter) {
  TPDFStack record{};
  ASSERT_EQ(instance.InitStack(record), 1);
  ASSERT_EQ(instance.GetPageText(record), 1);
  ContentEditor& editor = instance.RequireOpenContent();
  const PdfFont* font = editor.LastTextState().font;
  ASSERT_NE(font, nullptr);

  TextOutput& output = TextOutputOf(instance.Document());
  EditorTextTarget target(editor, instance.Fonts());
  ASSERT_GE(output.SetFont("Helvetica", 0, 10, font, sink), 0);
  output.ChangeFontSize(record.FontSize);

  // The record's own text written again measures as the interpreter measured the record.
  std::u16string original;
  for (int32_t i = 0; i < record.KerningCount; ++i) {
    original.append(reinterpret_cast<const char16_t*>(record.Kerning[i].Text),
                    static_cast<size_t>(record.Kerning[i].Length));
  }
  EXPECT_NEAR(output.Width(&target, original), record.TextWidth, 1e-3);

  TPDFMatrix m{1, 0, 0, 1, 40, 300};
  ASSERT_EQ(output.Write(target, m, u"Jane Doé", instance.Colors(), sink), 0);
  double written = output.Width(&target, u"Jane Doé");
  ASSERT_EQ(instance.FlushPageContent(), 1);

  // After the flush the written text is a record like any other, of the same font and width.
  ASSERT_EQ(instance.InitStack(record), 1);
  bool found = false;
  while (instance.GetPageText(record) == 1) {
    if (record.tm.f == 300) {
      found = true;
      EXPECT_EQ(record.Font, font);
      EXPECT_NEAR(record.TextWidth, written, 1e-3);
    }
  }
  EXPECT_TRUE(found);
  Save();

  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  EXPECT_EQ(fonts.find("yes yes"), std::string::npos) << "nothing embedded: " << fonts;
  std::string text = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(text.find("Jane Doé"), std::string::npos) << text;
}

TEST_F(TextOutputDocumentTest, SystemFontWriteIsMeasuredAlikeByTheInterpreter) {
  TPDFStack record{};
  ASSERT_EQ(instance.InitStack(record), 1);
  ASSERT_EQ(instance.GetPageText(record), 1);
  ContentEditor& editor = instance.RequireOpenContent();
  TextOutput& output = TextOutputOf(instance.Document());
  EditorTextTarget target(editor, instance.Fonts());
  ASSERT_GE(output.SetFont("Helvetica", 0, 10, editor.LastTextState().font, sink), 0);
  output.ChangeFontSize(11);

  const std::u16string text = u"“Ελένη” Петрова";
  TPDFMatrix m{1, 0, 0, 1, 40, 300};
  ASSERT_EQ(output.Write(target, m, text, instance.Colors(), sink), 0);
  double written = output.Width(&target, text);
  ASSERT_EQ(instance.FlushPageContent(), 1);

  ASSERT_EQ(instance.InitStack(record), 1);
  double measured = 0;
  while (instance.GetPageText(record) == 1) {
    if (record.tm.f == 300) measured += record.TextWidth;
  }
  EXPECT_NEAR(measured, written, 1e-3);
  Save();

  std::string out = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(out.find("“Ελένη” Петрова"), std::string::npos) << out;
  std::string check = RunTool("qpdf --check '" + outPath.string() + "'");
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
}

}  // namespace
