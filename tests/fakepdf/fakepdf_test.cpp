// The fake PDF library, driven through the real binding the way the text engine drives it.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "TPDF.h"
#include "fake_control.h"

namespace {

using fakepdf::FakeControl;
using fakepdf::ScriptRecord;

class FakePdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.reset();
    pdf = std::make_unique<TPDF>(FAKEPDF_PATH);
  }

  // Lines of the log, without the trailing empty one.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::string log = fake.Log();
    size_t start = 0;
    for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(log.substr(start, end - start));
    }
    return lines;
  }

  static std::u16string PieceText(const TPDFKerning& piece) {
    return std::u16string(piece.Text, piece.Text + piece.Length);
  }

  FakeControl fake;
  std::unique_ptr<TPDF> pdf;
  TPDFStack stack{};
};

TEST_F(FakePdfTest, DeliversDeepCopiesOfTheScriptedRecordsInOrderAndRestartsOnInitStack) {
  {
    ScriptRecord first;
    first.Piece(u"Hello ", 30.0f).Piece(u"[[x]]", 25.0f, -2.0f);
    first.fields.tm = TPDFMatrix{1, 0, 0, 1, 72, 700};
    first.fields.FontSize = 12;
    first.fields.FillColorSpace = PDF_CS_DEVICE_RGB;
    first.fields.FillColor = 0xFF0000;
    first.fields.DrawMode = 2;
    first.fields.SpaceWidth = 0.25f;
    first.fields.Font = reinterpret_cast<void*>(0x1234);
    ASSERT_TRUE(fake.AddRecord(-1, first));
  }  // the script's own buffers are gone: the fake must hold copies
  ScriptRecord second;
  second.Piece(u"more", 20.0f);
  ASSERT_TRUE(fake.AddRecord(-1, second));

  ASSERT_EQ(pdf->EditPage(1), 1);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(pdf->InitStack(&stack), 1);
    EXPECT_EQ(stack.TextIndicator, 0);
    EXPECT_EQ(stack.KerningCount, 0);
    EXPECT_EQ(stack.tm.e, 0.0);
    EXPECT_EQ(stack.tm.a, 1.0);

    ASSERT_EQ(pdf->GetPageText(&stack), 1);
    EXPECT_EQ(stack.TextIndicator, 1);
    EXPECT_EQ(stack.tm.f, 700.0);
    EXPECT_EQ(stack.FontSize, 12.0);
    EXPECT_EQ(stack.FillColorSpace, PDF_CS_DEVICE_RGB);
    EXPECT_EQ(stack.FillColor, 0xFF0000u);
    EXPECT_EQ(stack.DrawMode, 2);
    EXPECT_EQ(stack.SpaceWidth, 0.25f);
    EXPECT_EQ(stack.TextWidth, 57.0f);
    EXPECT_EQ(stack.Font, reinterpret_cast<void*>(0x1234));
    ASSERT_EQ(stack.KerningCount, 2);
    EXPECT_EQ(PieceText(stack.Kerning[0]), u"Hello ");
    EXPECT_EQ(PieceText(stack.Kerning[1]), u"[[x]]");
    EXPECT_EQ(stack.Kerning[1].Advance, -2.0f);
    EXPECT_EQ(stack.Kerning[1].Width, 25.0f);

    ASSERT_EQ(pdf->GetPageText(&stack), 1);
    ASSERT_EQ(stack.KerningCount, 1);
    EXPECT_EQ(PieceText(stack.Kerning[0]), u"more");
    EXPECT_EQ(pdf->GetPageText(&stack), 0);
  }
}

TEST_F(FakePdfTest, ContentsWithoutTextOrWithoutInitStackDeliverNothing) {
  ScriptRecord record;
  record.Piece(u"a", 5.0f);
  ASSERT_TRUE(fake.AddRecord(7, record));
  ASSERT_TRUE(fake.add_template_use(-1, 7));
  ASSERT_EQ(pdf->EditPage(1), 1);

  EXPECT_EQ(pdf->GetPageText(&stack), 0) << "parsing has not been started";
  ASSERT_EQ(pdf->InitStack(&stack), 1);
  EXPECT_EQ(pdf->GetPageText(&stack), 0) << "the page has no records";
  EXPECT_EQ(stack.TextIndicator, 0);

  ASSERT_EQ(pdf->EditTemplate(0), 1);
  EXPECT_EQ(pdf->GetPageText(&stack), 0) << "a freshly opened template is not started";
}

TEST_F(FakePdfTest, ScriptsTheResultAndTheTextIndicatorOfARecord) {
  ScriptRecord noText;
  noText.fields.TextIndicator = 0;
  ScriptRecord lastWithText;
  lastWithText.Piece(u"x", 5.0f);
  ASSERT_TRUE(fake.AddRecord(-1, noText));
  ASSERT_TRUE(fake.AddRecord(3, lastWithText, 0));
  ASSERT_TRUE(fake.add_template_use(-1, 3));

  ASSERT_EQ(pdf->EditPage(1), 1);
  ASSERT_EQ(pdf->InitStack(&stack), 1);
  EXPECT_EQ(pdf->GetPageText(&stack), 1);
  EXPECT_EQ(stack.TextIndicator, 0);

  ASSERT_EQ(pdf->EditTemplate(0), 1);
  ASSERT_EQ(pdf->InitStack(&stack), 1);
  EXPECT_EQ(pdf->GetPageText(&stack), 0);
  EXPECT_EQ(stack.TextIndicator, 1);
  ASSERT_EQ(stack.KerningCount, 1);
  EXPECT_EQ(PieceText(stack.Kerning[0]), u"x");
}

TEST_F(FakePdfTest, RejectsInconsistentRecords) {
  TPDFStack bad{};
  bad.KerningCount = 2;  // but no array
  EXPECT_EQ(fake.add_record(-1, &bad), 0);
  TPDFKerning piece{0, nullptr, 3, 1};
  bad.Kerning = &piece;
  bad.KerningCount = 1;
  EXPECT_EQ(fake.add_record(-1, &bad), 0);
  EXPECT_EQ(fake.add_record(-1, nullptr), 0);
  EXPECT_EQ(fake.add_template_use(-1, -4), 0);

  ASSERT_EQ(pdf->EditPage(1), 1);
  ASSERT_EQ(pdf->InitStack(&stack), 1);
  EXPECT_EQ(pdf->GetPageText(&stack), 0);
}

TEST_F(FakePdfTest, WalksNestedTemplatesByIndexAndOpensThemByHandle) {
  // The page uses 5 twice and 9 once; 5 uses 11.
  ASSERT_TRUE(fake.add_template_use(-1, 5));
  ASSERT_TRUE(fake.add_template_use(-1, 9));
  ASSERT_TRUE(fake.add_template_use(-1, 5));
  ASSERT_TRUE(fake.add_template_use(5, 11));

  ASSERT_EQ(pdf->EditPage(2), 1);
  EXPECT_EQ(pdf->GetTemplCount(), 3);
  EXPECT_EQ(pdf->GetTemplHandle(), -1) << "no template is open";
  EXPECT_EQ(pdf->EndTemplate(), 0) << "the page is not a template";

  ASSERT_EQ(pdf->EditTemplate(1), 1);
  EXPECT_EQ(pdf->GetTemplHandle(), 9);
  EXPECT_EQ(pdf->GetTemplCount(), 0);
  ASSERT_EQ(pdf->EndTemplate(), 1);

  ASSERT_EQ(pdf->EditTemplate(2), 1);
  EXPECT_EQ(pdf->GetTemplHandle(), 5);
  EXPECT_EQ(pdf->GetTemplCount(), 1);
  ASSERT_EQ(pdf->EditTemplate(0), 1);
  EXPECT_EQ(pdf->GetTemplHandle(), 11);
  EXPECT_EQ(fake.open_depth(), 3);
  ASSERT_EQ(pdf->EndTemplate(), 1);
  EXPECT_EQ(pdf->GetTemplHandle(), 5);
  ASSERT_EQ(pdf->EndTemplate(), 1);
  EXPECT_EQ(fake.open_content(), -1);

  EXPECT_EQ(pdf->EditTemplate(3), 0);
  EXPECT_EQ(pdf->EditTemplate(-1), 0);

  EXPECT_EQ(pdf->EditTemplate2(11), 1);
  EXPECT_EQ(pdf->GetTemplHandle(), 11);
  EXPECT_EQ(pdf->EndTemplate(), 1);
  EXPECT_EQ(pdf->EditTemplate2(12), 0) << "no such template";

  ASSERT_EQ(pdf->EditTemplate(0), 1);
  EXPECT_EQ(pdf->EndPage(), 1);
  EXPECT_EQ(fake.open_depth(), 0) << "closing the page closes its templates";
  EXPECT_EQ(fake.open_content(), INT32_MIN);
  EXPECT_EQ(pdf->GetTemplCount(), -1);
}

TEST_F(FakePdfTest, RecordsRemovalsOfTheRecordLastDeliveredInItsContent) {
  ScriptRecord record;
  record.Piece(u"a", 5.0f).Piece(u"b", 5.0f);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(fake.AddRecord(-1, record));
  }
  ASSERT_TRUE(fake.AddRecord(4, record));
  ASSERT_TRUE(fake.add_template_use(-1, 4));
  ASSERT_EQ(pdf->EditPage(1), 1);
  ASSERT_EQ(pdf->InitStack(&stack), 1);
  EXPECT_EQ(pdf->ReplacePageText("", &stack), 0) << "nothing delivered yet";

  pdf->GetPageText(&stack);
  pdf->GetPageText(&stack);
  EXPECT_EQ(stack.DeleteKerningAt, 0);
  stack.DeleteKerningAt = 1;
  EXPECT_EQ(pdf->ReplacePageText("", &stack), 1);
  pdf->GetPageText(&stack);
  EXPECT_EQ(stack.DeleteKerningAt, 0) << "a delivered record starts without a deletion index";
  EXPECT_EQ(pdf->ReplacePageText("", &stack), 1);
  EXPECT_EQ(pdf->FlushPageContent(&stack), 1);

  ASSERT_EQ(pdf->EditTemplate2(4), 1);
  ASSERT_EQ(pdf->InitStack(&stack), 1);
  pdf->GetPageText(&stack);
  EXPECT_EQ(pdf->ReplacePageText("", &stack), 1);
  EXPECT_EQ(pdf->FlushPageContent(&stack), 1);

  auto removals = fake.Removals();
  ASSERT_EQ(removals.size(), 3u);
  EXPECT_EQ(removals[0].content, -1);
  EXPECT_EQ(removals[0].recordIndex, 1);
  EXPECT_EQ(removals[0].deleteKerningAt, 1);
  EXPECT_EQ(removals[1].recordIndex, 2);
  EXPECT_EQ(removals[1].deleteKerningAt, 0);
  EXPECT_EQ(removals[2].content, 4);
  EXPECT_EQ(removals[2].recordIndex, 0);
  EXPECT_EQ(fake.removal_count(), 3);
  EXPECT_EQ(fake.Flushes(), (std::vector<int32_t>{-1, 4}));
}

TEST_F(FakePdfTest, WritesCarryTheStateCurrentWhenTheyWereMade) {
  ASSERT_TRUE(fake.add_template_use(-1, 8));
  ASSERT_EQ(pdf->EditPage(1), 1);
  ASSERT_GE(pdf->SetFontEx("Verdana", 2, 10.0, true, 39), 0);
  pdf->SetFillColorSpace(PDF_CS_DEVICE_CMYK);
  pdf->SetFillColor(0x11223344);
  pdf->SetStrokeColorSpace(PDF_CS_DEVICE_GRAY);
  pdf->SetStrokeColor(0x80);
  pdf->SetTextDrawMode(1);
  pdf->ChangeFontSize(11.5);
  const TPDFMatrix at{1, 0, 0, 1, 32, 0};
  const std::u16string text = u"n\u00e9w \U0001F600";
  ASSERT_EQ(pdf->WriteTextMatrixEx(&at, reinterpret_cast<const PDF_WCHAR*>(text.data()),
                                   static_cast<int32_t>(text.size())),
            1);

  ASSERT_GE(pdf->SetFont("Courier New", 0, 10.0, true, 39), 0);
  ASSERT_EQ(pdf->EditTemplate(0), 1);
  ASSERT_EQ(pdf->WriteTextMatrixEx(&at, reinterpret_cast<const PDF_WCHAR*>(u"xyz"), 2), 1);

  auto writes = fake.Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].content, -1);
  EXPECT_EQ(writes[0].matrix.e, 32.0);
  EXPECT_EQ(writes[0].text, "n\xC3\xA9w \xF0\x9F\x98\x80");
  EXPECT_EQ(writes[0].length, 6);
  EXPECT_EQ(writes[0].family, "Verdana");
  EXPECT_EQ(writes[0].style, 2);
  EXPECT_EQ(writes[0].fontSize, 11.5);
  EXPECT_EQ(writes[0].fillColorSpace, PDF_CS_DEVICE_CMYK);
  EXPECT_EQ(writes[0].fillColor, 0x11223344u);
  EXPECT_EQ(writes[0].strokeColorSpace, PDF_CS_DEVICE_GRAY);
  EXPECT_EQ(writes[0].strokeColor, 0x80u);
  EXPECT_EQ(writes[0].drawMode, 1);

  EXPECT_EQ(writes[1].content, 8);
  EXPECT_EQ(writes[1].text, "xy") << "exactly the given length";
  EXPECT_EQ(writes[1].family, "Courier New");
  EXPECT_EQ(writes[1].fontSize, 10.0) << "setting a font sets its size";
  EXPECT_EQ(fake.write_count(), 2);
}

TEST_F(FakePdfTest, RefusedFamiliesFailAndLeaveTheCurrentFont) {
  fake.refuse_font("Verdana");
  ASSERT_EQ(pdf->EditPage(1), 1);
  ASSERT_GE(pdf->SetFont("Arial", 1, 10.0, true, 39), 0);
  EXPECT_EQ(pdf->SetFontEx("Verdana", 2, 10.0, true, 39), -1);
  EXPECT_EQ(pdf->SetFont("Verdana", 2, 10.0, true, 39), -1);
  EXPECT_GE(pdf->SetFontEx("verdana", 2, 10.0, true, 39), 0) << "refusal is exact, with case";
  ASSERT_GE(pdf->SetFont("Arial", 1, 10.0, true, 39), 0);
  const TPDFMatrix origin{1, 0, 0, 1, 0, 0};
  pdf->WriteTextMatrixEx(&origin, reinterpret_cast<const PDF_WCHAR*>(u"a"), 1);
  ASSERT_EQ(fake.write_count(), 1);
  EXPECT_EQ(fake.Writes()[0].family, "Arial");
  EXPECT_EQ(fake.Writes()[0].style, 1);
}

TEST_F(FakePdfTest, MeasuresTextWithTheDefaultOrAPerCharacterWidth) {
  const PDF_WCHAR* text = reinterpret_cast<const PDF_WCHAR*>(u"a b");
  EXPECT_EQ(pdf->GetTextWidthEx(text, 3), 30.0);
  fake.set_char_width(4.0);
  EXPECT_EQ(pdf->GetTextWidthEx(text, 3), 12.0);
  fake.set_char_width_for(u' ', 2.5);
  EXPECT_EQ(pdf->GetTextWidthEx(text, 3), 10.5);
  EXPECT_EQ(pdf->GetTextWidthEx(text, 0), 0.0);
}

TEST_F(FakePdfTest, GetFontCopiesTheScriptedFontRecord) {
  void* const font = reinterpret_cast<void*>(0x42);
  {
    std::string name = "ABCDEF+Verdana,Bold";
    TPDFFontInfo info{PDF_FF_ITALIC, name.c_str(), PDF_FT_TYPE1, -12.0f};
    fake.set_font_info(font, &info);
    name.assign(name.size(), '#');  // the fake keeps its own copy of the name
  }
  TPDFFontInfo out{};
  ASSERT_TRUE(pdf->GetFont(font, &out));
  EXPECT_EQ(out.Flags, PDF_FF_ITALIC);
  EXPECT_STREQ(out.FontName, "ABCDEF+Verdana,Bold");
  EXPECT_EQ(out.FontType, PDF_FT_TYPE1);
  EXPECT_EQ(out.ItalicAngle, -12.0f);

  TPDFFontInfo nameless{0, nullptr, PDF_FT_TRUETYPE, 0};
  fake.set_font_info(reinterpret_cast<void*>(0x43), &nameless);
  ASSERT_TRUE(pdf->GetFont(reinterpret_cast<void*>(0x43), &out));
  EXPECT_EQ(out.FontName, nullptr);

  EXPECT_FALSE(pdf->GetFont(reinterpret_cast<void*>(0x44), &out)) << "unknown handle";
  EXPECT_EQ(fake.get_font_count(), 3);
}

TEST_F(FakePdfTest, ScriptedFailuresAndResults) {
  ASSERT_EQ(pdf->EditPage(1), 1);
  fake.fail_after("pdfInitStack", 1);
  EXPECT_EQ(pdf->InitStack(&stack), 1);
  EXPECT_EQ(pdf->InitStack(&stack), 0);
  EXPECT_EQ(pdf->InitStack(&stack), 0);

  fake.fail("pdfSetFontExA");
  EXPECT_EQ(pdf->SetFontEx("Arial", 0, 10.0, true, 39), -1);
  fake.fail("pdfFlushPageContent");
  EXPECT_EQ(pdf->FlushPageContent(&stack), 0);
  EXPECT_EQ(fake.flush_count(), 0) << "a failing call has no effect";

  fake.set_result("pdfGetTemplCount", 4);
  EXPECT_EQ(pdf->GetTemplCount(), 4);
  EXPECT_EQ(fake.call_count("pdfInitStack"), 3);

  fake.reset();
  EXPECT_EQ(pdf->InitStack(&stack), 1) << "reset forgets failures";
  EXPECT_EQ(pdf->GetTemplCount(), 0);
  EXPECT_EQ(fake.call_count("pdfInitStack"), 1);
}

TEST_F(FakePdfTest, LogsEveryCallWithItsArguments) {
  fake.clear_log();
  pdf->CreateNewPDF("");
  pdf->SetImportFlags(0x8FFFFFFEu);
  pdf->OpenImportFile("dir/file \"1\".pdf", 0, "");
  pdf->ImportPDFFile(1, 1.0, 0.5);
  pdf->EditPage(3);
  pdf->SetFontEx("Times New Roman", 3, 10.0, true, 39);
  const TPDFMatrix m{1, 0, 0, -1, 10.25, 700};
  pdf->WriteTextMatrixEx(&m, reinterpret_cast<const PDF_WCHAR*>(u"ab"), 2);
  pdf->ReplacePageText("", &stack);
  pdf->GetFont(nullptr, nullptr);
  pdf->SetOnErrorProc(nullptr, nullptr);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "pdfCreateNewPDFA \"\"",
                            "pdfSetImportFlags 2415919102",
                            "pdfOpenImportFileA \"dir/file \\\"1\\\".pdf\" 0 \"\"",
                            "pdfImportPDFFile 1 1 0.5",
                            "pdfEditPage 3",
                            "pdfSetFontExA \"Times New Roman\" 3 10 -1 39",
                            "pdfWriteTextMatrixExW [1 0 0 -1 10.25 700] \"ab\" 2",
                            "pdfReplacePageTextA \"\" nonnull",
                            "fntGetFont null null",
                            "pdfSetOnErrorProc null null",
                        }));
}

int32_t PDF_CALL CollectError(const void* data, int32_t code, const char* message, int32_t type) {
  auto* seen = static_cast<std::vector<std::string>*>(const_cast<void*>(data));
  seen->push_back(std::to_string(code) + " " + message + " " + std::to_string(type));
  return 0;
}

TEST_F(FakePdfTest, RaisesErrorsThroughTheRegisteredCallback) {
  std::vector<std::string> seen;
  EXPECT_EQ(fake.trigger_error(1, "ignored", 2), 0);
  ASSERT_EQ(pdf->SetOnErrorProc(&seen, CollectError), 1);
  EXPECT_EQ(fake.trigger_error(7, "Font substituted", PDF_E_NOTICE | PDF_E_FONT), 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"7 Font substituted 33554496"}));
}

TEST_F(FakePdfTest, KeepsInstancesApartAndRefusesUnknownHandles) {
  EXPECT_EQ(fake.live_instances(), 1);
  {
    TPDF second(FAKEPDF_PATH);
    EXPECT_EQ(fake.live_instances(), 2);
    ASSERT_EQ(second.EditPage(1), 1);
    EXPECT_EQ(pdf->EditPage(1), 1) << "each instance has its own open page";
  }
  EXPECT_EQ(fake.live_instances(), 1);
  EXPECT_EQ(fake.bad_instance_calls(), 0);

  void* library = dlopen(FAKEPDF_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  auto editPage = reinterpret_cast<pfn_pdfEditPage>(dlsym(library, "pdfEditPage"));
  auto deletePdf = reinterpret_cast<pfn_pdfDeletePDF>(dlsym(library, "pdfDeletePDF"));
  int dummy = 0;
  EXPECT_EQ(editPage(&dummy, 1), 0);
  EXPECT_EQ(editPage(nullptr, 1), 0);
  EXPECT_EQ(deletePdf(nullptr), 0);
  EXPECT_EQ(fake.bad_instance_calls(), 3);
  dlclose(library);
}

TEST(FakePdfVariants, LackExactlyTheirMissingExport) {
  struct Case {
    const char* path;
    const char* missing;
  };
  for (const Case& c :
       {Case{FAKEPDF_NONEW_PATH, "pdfNewPDF"}, Case{FAKEPDF_NODELETE_PATH, "pdfDeletePDF"}}) {
    SCOPED_TRACE(c.path);
    void* library = dlopen(c.path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(dlsym(library, c.missing), nullptr);
    EXPECT_NE(dlsym(library, "pdfEditPage"), nullptr);
    EXPECT_NE(dlsym(library, "fake_reset"), nullptr);
    dlclose(library);
  }
}

}  // namespace
