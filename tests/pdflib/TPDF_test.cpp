// The binding against the fake PDF libraries: loading and unloading, entry points, argument
// and result conversions, and the failures of construction and destruction.

#include "TPDF.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProgramFolder.h"
#include "fake_control.h"

namespace {

namespace fs = std::filesystem;
using fakepdf::FakeControl;

// Whether the process has this library file loaded right now (without loading it).
bool IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    return false;
  }
  dlclose(handle);
  return true;
}

std::string ConstructionError(const std::string& libraryFileName) {
  try {
    TPDF pdf(libraryFileName);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "(constructed)";
}

// A private copy of the fake under a fresh name: a separate library as far as the loader is
// concerned, for tests that leave a library loaded for good or need it under another name.
class FakeCopy {
 public:
  explicit FakeCopy(const fs::path& folder) {
    static int serial = 0;
    path_ = folder / ("libcorvella_fakecopy_" + std::to_string(getpid()) + "_" +
                      std::to_string(++serial) + ".so");
    fs::copy_file(FAKEPDF_PATH, path_, fs::copy_options::overwrite_existing);
  }
  ~FakeCopy() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  FakeCopy(const FakeCopy&) = delete;
  FakeCopy& operator=(const FakeCopy&) = delete;

  std::string Path() const { return path_.string(); }
  std::string FileName() const { return path_.filename().string(); }

 private:
  fs::path path_;
};

// ---------------------------------------------------------------------------------------------
// Loading and unloading.

TEST(TPDFLoading, SharesOneLoadedLibraryAndUnloadsItAfterTheLastObject) {
  ASSERT_FALSE(IsLoaded(FAKEPDF_PATH));
  auto first = std::make_unique<TPDF>(FAKEPDF_PATH);
  EXPECT_TRUE(IsLoaded(FAKEPDF_PATH));

  // While an object lives the library is not loaded again, whatever name is given.
  auto second = std::make_unique<TPDF>("/no/such/folder/libdynapdf.so");
  {
    FakeControl fake;
    EXPECT_EQ(fake.live_instances(), 2);
    fake.clear_log();
    EXPECT_EQ(second->EditPage(4), 1);
    EXPECT_EQ(fake.Log(), "pdfEditPage 4\n");
  }

  first.reset();
  EXPECT_TRUE(IsLoaded(FAKEPDF_PATH));
  second.reset();
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH));

  TPDF again(FAKEPDF_PATH);
  EXPECT_TRUE(IsLoaded(FAKEPDF_PATH));
  FakeControl fake;
  EXPECT_EQ(fake.live_instances(), 1) << "a freshly loaded library";
  EXPECT_EQ(fake.bad_instance_calls(), 0);
}

TEST(TPDFLoading, AnyFileThatCannotBeLoadedGivesTheSameMessage) {
  const fs::path notALibrary =
      fs::temp_directory_path() / ("corvella_not_a_library_" + std::to_string(getpid()) + ".so");
  std::ofstream(notALibrary) << "plain text\n";
  for (const std::string& name :
       {std::string("/no/such/folder/libdynapdf.so"), std::string("libcorvella_no_such_library.so"),
        std::string("dynapdf.dll"), std::string(""), notALibrary.string()}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ConstructionError(name), "Error: Cannot find dynapdf.dll");
  }
  fs::remove(notALibrary);
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH));
}

TEST(TPDFLoading, ABareNameIsLookedUpInTheProgramFolderFirst) {
  std::string bareName;
  {
    FakeCopy besideProgram(ProgramFolder());
    bareName = besideProgram.FileName();
    {
      TPDF pdf(bareName);
      FakeControl fake(besideProgram.Path());
      EXPECT_EQ(fake.live_instances(), 1);
    }
    EXPECT_FALSE(IsLoaded(besideProgram.Path()));
  }
  // Gone from the program folder, and not on the loader's own path (no run path): not found.
  EXPECT_EQ(ConstructionError(bareName), "Error: Cannot find dynapdf.dll");
  // A bare name that only the loader knows is still loaded: here a library without pdfNewPDF.
  EXPECT_EQ(ConstructionError("libm.so.6"), "Error loading function: pdfNewPDF");
}

TEST(TPDFLoading, ALibraryWithoutPdfNewPdfIsUnloadedAgain) {
  EXPECT_EQ(ConstructionError(FAKEPDF_NONEW_PATH), "Error loading function: pdfNewPDF");
  EXPECT_FALSE(IsLoaded(FAKEPDF_NONEW_PATH));

  // The instance count is as before: the next object is the only one, and its end unloads.
  { TPDF pdf(FAKEPDF_PATH); }
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH));
}

TEST(TPDFLoading, NoInstanceLeavesTheCountAsItWas) {
  {
    FakeControl fake;
    fake.fail("pdfNewPDF");
    EXPECT_EQ(ConstructionError(FAKEPDF_PATH), "Out of memory!");
    EXPECT_EQ(fake.live_instances(), 0);
    fake.reset();
    { TPDF pdf(FAKEPDF_PATH); }
  }
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH)) << "the failed construction must not count";

  // A failed construction while another object lives keeps the library for that object.
  auto keeper = std::make_unique<TPDF>(FAKEPDF_PATH);
  {
    FakeControl fake;
    fake.fail("pdfNewPDF");
    EXPECT_EQ(ConstructionError(FAKEPDF_PATH), "Out of memory!");
  }
  EXPECT_TRUE(IsLoaded(FAKEPDF_PATH));
  EXPECT_EQ(keeper->HaveOpenDoc(), 0);
  keeper.reset();
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH));
}

// ---------------------------------------------------------------------------------------------
// Destruction failures: reported, never thrown.

TEST(TPDFDestruction, AMissingPdfDeletePdfIsReportedAndTheLibraryStays) {
  testing::internal::CaptureStderr();
  { TPDF pdf(FAKEPDF_NODELETE_PATH); }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error loading function: pdfDeletePDF\n");
  EXPECT_EQ(TPDF::LastDestructionError(), "Error loading function: pdfDeletePDF");
  EXPECT_TRUE(IsLoaded(FAKEPDF_NODELETE_PATH));

  // The count went down: the next construction loads the library it is given.
  {
    TPDF next(FAKEPDF_PATH);
    FakeControl fake;
    EXPECT_EQ(fake.live_instances(), 1);
  }
  EXPECT_EQ(TPDF::LastDestructionError(), "") << "a successful destruction reports nothing";
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH));
}

TEST(TPDFDestruction, AFailedDeletionIsReportedAndKeepsTheInstancesLibraryLoaded) {
  FakeCopy copy(fs::temp_directory_path());
  {
    FakeControl fake(copy.Path());
    fake.fail("pdfDeletePDF");
    testing::internal::CaptureStderr();
    { TPDF pdf(copy.Path()); }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot delete PDF instance!\n");
    EXPECT_EQ(TPDF::LastDestructionError(), "Cannot delete PDF instance!");
    EXPECT_EQ(fake.live_instances(), 1);
  }
  EXPECT_TRUE(IsLoaded(copy.Path())) << "its instance still lives in it";

  { TPDF next(FAKEPDF_PATH); }
  EXPECT_FALSE(IsLoaded(FAKEPDF_PATH));
}

TEST(TPDFDestruction, ALibraryHoldingAnUndeletedInstanceIsNeverUnloaded) {
  FakeCopy copy(fs::temp_directory_path());
  {
    FakeControl fake(copy.Path());
    auto failing = std::make_unique<TPDF>(copy.Path());
    auto other = std::make_unique<TPDF>(copy.Path());
    fake.fail("pdfDeletePDF");
    testing::internal::CaptureStderr();
    failing.reset();
    testing::internal::GetCapturedStderr();
    fake.reset();
    other.reset();  // the last object: normally the library would go
    EXPECT_EQ(TPDF::LastDestructionError(), "");
    EXPECT_EQ(fake.live_instances(), 1);
  }
  EXPECT_TRUE(IsLoaded(copy.Path()));
}

// ---------------------------------------------------------------------------------------------
// Entry points.

TEST(TPDFEntryPoints, AMissingExportFailsOnEveryCallWhileTheOthersWork) {
  FakeControl fake(FAKEPDF_NOFONT_PATH);
  TPDF pdf(FAKEPDF_NOFONT_PATH);
  fake.reset();
  TPDFFontInfo info{};
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    try {
      pdf.SetFontEx("Arial", 0, 10.0, true, 39);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Error loading function: \"pdfSetFontExA\"");
    }
    try {
      pdf.GetFont(reinterpret_cast<void*>(0x10), &info);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Error loading function: \"fntGetFont\"");
    }
  }
  EXPECT_GE(pdf.SetFont("Arial", 0, 10.0, true, 39), 0);
  EXPECT_EQ(pdf.EditPage(1), 1);
  EXPECT_EQ(fake.Log(), "pdfSetFontA \"Arial\" 0 10 1 39\npdfEditPage 1\n");
}

// ---------------------------------------------------------------------------------------------
// Conversions, against the fake's log of what reached the library.

class TPDFCallTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.reset(); }

  FakeControl fake;  // first: keeps the library loaded across the object's life
  TPDF pdf{FAKEPDF_PATH};
  TPDFStack stack{};
};

int32_t PDF_CALL IgnoreError(const void*, int32_t, const char*, int32_t) { return 0; }

TEST_F(TPDFCallTest, EveryMethodPassesItsArgumentsAsTheLibraryExpectsThem) {
  const TPDFMatrix matrix{1, 0, 0, -1, 72.5, 700};
  int userData = 0;
  struct Case {
    std::function<void()> call;
    const char* line;
  };
  const std::vector<Case> cases = {
      {[&] { pdf.ChangeFontSize(12.5); }, "pdfChangeFontSize 12.5"},
      {[&] { pdf.ChangeLinkAnnot(7, "https://example.com/?a=1"); },
       "pdfChangeLinkAnnot 7 \"https://example.com/?a=1\""},
      {[&] { pdf.CloseFile(); }, "pdfCloseFile"},
      {[&] { pdf.CloseImportFile(); }, "pdfCloseImportFile"},
      {[&] { pdf.CreateNewPDF(""); }, "pdfCreateNewPDFA \"\""},
      {[&] { pdf.EditPage(3); }, "pdfEditPage 3"},
      {[&] { pdf.EditTemplate(2); }, "pdfEditTemplate 2"},
      {[&] { pdf.EditTemplate2(15); }, "pdfEditTemplate2 15"},
      {[&] { pdf.EndPage(); }, "pdfEndPage"},
      {[&] { pdf.EndTemplate(); }, "pdfEndTemplate"},
      {[&] { pdf.FlushPageContent(&stack); }, "pdfFlushPageContent nonnull"},
      {[&] { pdf.GetFont(reinterpret_cast<void*>(0x10), nullptr); }, "fntGetFont nonnull null"},
      {[&] { pdf.GetPageText(&stack); }, "pdfGetPageText nonnull"},
      {[&] { pdf.GetTemplCount(); }, "pdfGetTemplCount"},
      {[&] { pdf.GetTemplHandle(); }, "pdfGetTemplHandle"},
      {[&] { pdf.GetTextWidthEx(reinterpret_cast<const PDF_WCHAR*>(u"abc"), 2); },
       "pdfGetTextWidthExW \"ab\" 2"},
      {[&] { pdf.GetTextWidthEx(nullptr, 0); }, "pdfGetTextWidthExW \"\" 0"},
      {[&] { pdf.HaveOpenDoc(); }, "pdfHaveOpenDoc"},
      {[&] { pdf.ImportPDFFile(1, 1.0, 0.75); }, "pdfImportPDFFile 1 1 0.75"},
      {[&] { pdf.InitStack(&stack); }, "pdfInitStack nonnull"},
      {[&] { pdf.OpenImportFile("/tmp/in.pdf", 0, ""); },
       "pdfOpenImportFileA \"/tmp/in.pdf\" 0 \"\""},
      {[&] { pdf.OpenImportFile("in.pdf", static_cast<int8_t>(-2), "secret"); },
       "pdfOpenImportFileA \"in.pdf\" -2 \"secret\""},
      {[&] { pdf.OpenOutputFile("out.pdf"); }, "pdfOpenOutputFileA \"out.pdf\""},
      {[&] { pdf.ReplacePageText("", &stack); }, "pdfReplacePageTextA \"\" nonnull"},
      {[&] { pdf.SetFillColor(0xFFFFFFFFu); }, "pdfSetFillColor 4294967295"},
      {[&] { pdf.SetFillColorSpace(-3); }, "pdfSetFillColorSpace -3"},
      {[&] { pdf.SetFont("Arial", 3, 10.0, true, 39); }, "pdfSetFontA \"Arial\" 3 10 1 39"},
      {[&] { pdf.SetFont("Courier New", 1, 9.5, false, static_cast<int8_t>(-1)); },
       "pdfSetFontA \"Courier New\" 1 9.5 0 -1"},
      {[&] { pdf.SetFont("Arial", 0, 10.0, true, static_cast<int8_t>(-128)); },
       "pdfSetFontA \"Arial\" 0 10 1 -128"},
      {[&] { pdf.SetFontEx("Verdana", 2, 10.0, true, 39); },
       "pdfSetFontExA \"Verdana\" 2 10 -1 39"},
      {[&] { pdf.SetFontEx("Verdana", 0, 10.0, false, 1252); },
       "pdfSetFontExA \"Verdana\" 0 10 0 1252"},
      {[&] { pdf.SetImportFlags(0x8FFFFFFEu); }, "pdfSetImportFlags 2415919102"},
      {[&] { pdf.SetOnErrorProc(nullptr, nullptr); }, "pdfSetOnErrorProc null null"},
      {[&] { pdf.SetOnErrorProc(&userData, IgnoreError); }, "pdfSetOnErrorProc nonnull nonnull"},
      {[&] { pdf.SetStrokeColor(0x00FF00u); }, "pdfSetStrokeColor 65280"},
      {[&] { pdf.SetStrokeColorSpace(2); }, "pdfSetStrokeColorSpace 2"},
      {[&] { pdf.SetTextDrawMode(7); }, "pdfSetTextDrawMode 7"},
      {[&] { pdf.SetTextDrawMode(static_cast<int8_t>(-1)); }, "pdfSetTextDrawMode -1"},
      {[&] { pdf.SetTextDrawMode(static_cast<int8_t>(0x80)); }, "pdfSetTextDrawMode -128"},
      {[&] { pdf.WriteTextMatrixEx(&matrix, reinterpret_cast<const PDF_WCHAR*>(u"xyz"), 3); },
       "pdfWriteTextMatrixExW [1 0 0 -1 72.5 700] \"xyz\" 3"},
      {[&] { pdf.WriteTextMatrixEx(&matrix, nullptr, 0); },
       "pdfWriteTextMatrixExW [1 0 0 -1 72.5 700] \"\" 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    fake.clear_log();
    c.call();
    EXPECT_EQ(fake.Log(), std::string(c.line) + "\n");
  }
  EXPECT_EQ(fake.bad_instance_calls(), 0) << "every call carries the object's instance";
}

TEST_F(TPDFCallTest, CloseFileAndGetFontAreTrueForAnyNonZeroResult) {
  void* const font = reinterpret_cast<void*>(0x20);
  TPDFFontInfo known{0, "Arial", PDF_FT_TRUETYPE, 0};
  fake.set_font_info(font, &known);
  TPDFFontInfo info{};
  for (int32_t result : {1, 2, -1, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(result);
    fake.set_result("pdfCloseFile", result);
    fake.set_result("fntGetFont", result);
    EXPECT_TRUE(pdf.CloseFile());
    EXPECT_TRUE(pdf.GetFont(font, &info));
  }
  fake.set_result("pdfCloseFile", 0);
  fake.set_result("fntGetFont", 0);
  EXPECT_FALSE(pdf.CloseFile());
  EXPECT_FALSE(pdf.GetFont(font, &info));
}

TEST_F(TPDFCallTest, LibraryResultsComeBackUnchangedAndNeverRaise) {
  fake.add_template_use(-1, 3);
  ASSERT_EQ(pdf.EditPage(1), 1);
  ASSERT_EQ(pdf.EditTemplate(0), 1);
  fake.set_result("pdfGetTemplHandle", -7);
  fake.set_result("pdfGetTemplCount", 123456);
  fake.set_result("pdfSetFontExA", -5);
  fake.set_result("pdfOpenImportFileA", INT32_MIN);
  EXPECT_EQ(pdf.GetTemplHandle(), -7);
  EXPECT_EQ(pdf.GetTemplCount(), 123456);
  EXPECT_EQ(pdf.SetFontEx("Arial", 0, 10.0, true, 39), -5);
  EXPECT_EQ(pdf.OpenImportFile("in.pdf", 0, ""), INT32_MIN);
  fake.set_char_width(2.25);
  EXPECT_EQ(pdf.GetTextWidthEx(reinterpret_cast<const PDF_WCHAR*>(u"abcd"), 4), 9.0);
}

TEST_F(TPDFCallTest, EachObjectCallsWithItsOwnInstance) {
  TPDF second(FAKEPDF_PATH);
  EXPECT_EQ(fake.live_instances(), 2);
  EXPECT_EQ(pdf.EditPage(1), 1);
  EXPECT_EQ(second.EditPage(1), 1) << "a page open in the other instance does not matter";
  EXPECT_EQ(pdf.EditPage(1), 0) << "this instance already has its page open";
  EXPECT_EQ(fake.bad_instance_calls(), 0);
}

}  // namespace
