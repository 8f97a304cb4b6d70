// Bad import files: a message through the callback and a failed result, never a crash.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include "document_test_support.h"

namespace {

using namespace document_test;
using pdfcore::Instance;

struct BadInput {
  const char* name;
  std::string (*make)(const TempDir&);
  int32_t expectedCode;
};

std::string Missing(const TempDir& dir) { return dir / "no-such-file.pdf"; }

std::string NotAPdf(const TempDir& dir) {
  WriteFile(dir / "notes.pdf", "These are plain notes, not a PDF file.\n");
  return dir / "notes.pdf";
}

std::string EmptyFile(const TempDir& dir) {
  WriteFile(dir / "empty.pdf", "");
  return dir / "empty.pdf";
}

std::string CutAt(const TempDir& dir, double fraction) {
  const std::string whole = ReadFile(Fixture("whole.pdf"));
  const std::string path = dir / "cut.pdf";
  WriteFile(path,
            whole.substr(0, static_cast<size_t>(static_cast<double>(whole.size()) * fraction)));
  return path;
}
std::string TruncatedHalf(const TempDir& dir) { return CutAt(dir, 0.5); }
std::string TruncatedNearEnd(const TempDir& dir) { return CutAt(dir, 0.97); }

// The trailer survives at the start of a linearized file, so a cut copy still finds its
// catalog: the loss of the later pages must be noticed all the same.
std::string TruncatedLinearized(const TempDir& dir) {
  const std::string linearized = dir / "linearized.pdf";
  if (Shell("qpdf --linearize '" + Fixture("whole.pdf") + "' '" + linearized + "'") != 0) return "";
  const std::string bytes = ReadFile(linearized);
  const std::string path = dir / "cut-linearized.pdf";
  WriteFile(path, bytes.substr(0, bytes.size() * 6 / 10));
  return path;
}

std::string Encrypted(const TempDir& dir) {
  const std::string path = dir / "locked.pdf";
  QPDF pdf;
  pdf.processFile(Fixture("whole.pdf").c_str());
  QPDFWriter writer(pdf, path.c_str());
  writer.setR6EncryptionParameters("user-secret", "owner-secret", true, true, true, true, true,
                                   true, qpdf_r3p_full, true);
  writer.write();
  return path;
}

class DocumentBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(DocumentBadInput, OpenImportFileFailsWithMessage) {
  TempDir dir;
  const std::string path = GetParam().make(dir);
  ASSERT_FALSE(path.empty());
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.CreateNewPDF(""); }), 1);
  EXPECT_LT(Guarded(pdf, -1, [&](Instance& i) { return i.OpenImportFile(path, 0, ""); }), 0);
  ASSERT_FALSE(log.entries.empty());
  EXPECT_EQ(log.entries.back().code, GetParam().expectedCode) << log.All();
  EXPECT_NE(log.entries.back().type & PDF_E_FATAL, 0);
  EXPECT_NE(log.entries.back().message.find(path), std::string::npos) << log.All();

  // Nothing was opened, so nothing can be imported.
  log.entries.clear();
  EXPECT_LT(Guarded(pdf, -1, [](Instance& i) { return i.ImportPDFFile(1, 1.0, 1.0); }), 0);
  EXPECT_TRUE(log.Has(pdfcore::kErrImport)) << log.All();
  EXPECT_EQ(pdf.PageCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DocumentBadInput,
    ::testing::Values(BadInput{"Missing", Missing, pdfcore::kErrOpenImport},
                      BadInput{"NotAPdf", NotAPdf, pdfcore::kErrOpenImport},
                      BadInput{"Empty", EmptyFile, pdfcore::kErrOpenImport},
                      BadInput{"TruncatedHalf", TruncatedHalf, pdfcore::kErrOpenImport},
                      BadInput{"TruncatedNearEnd", TruncatedNearEnd, pdfcore::kErrOpenImport},
                      BadInput{"TruncatedLinearized", TruncatedLinearized, pdfcore::kErrDamaged},
                      BadInput{"Encrypted", Encrypted, pdfcore::kErrPassword}),
    [](const auto& info) { return std::string(info.param.name); });

// A wrong cross-reference offset is a common, harmless fault: the file is repaired and
// imported whole, and the repair is reported as a notice.
TEST(DocumentRepairableInput, WrongXrefOffsetIsRepairedWithANotice) {
  TempDir dir;
  std::string bytes = ReadFile(Fixture("whole.pdf"));
  const size_t startxref = bytes.rfind("startxref");
  ASSERT_NE(startxref, std::string::npos);
  bytes.replace(startxref, std::string::npos, "startxref\n12\n%%EOF\n");
  const std::string path = dir / "bad-offset.pdf";
  WriteFile(path, bytes);

  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(ImportWhole(pdf, path), 3) << log.All();
  EXPECT_TRUE(log.Has(pdfcore::kErrRepaired)) << log.All();
  EXPECT_EQ(log.Fatal(), 0u) << log.All();
}

// A file encrypted with an empty user password opens without one, and a correct password
// opens a locked file.
TEST(DocumentEncryptedInput, OpensWithTheRightPassword) {
  TempDir dir;
  const std::string locked = Encrypted(dir);
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.CreateNewPDF(""); }), 1);
  EXPECT_LT(Guarded(pdf, -1, [&](Instance& i) { return i.OpenImportFile(locked, 0, "wrong"); }), 0);
  EXPECT_EQ(
      Guarded(pdf, -1, [&](Instance& i) { return i.OpenImportFile(locked, 0, "user-secret"); }), 0)
      << log.All();
  EXPECT_EQ(Guarded(pdf, -1, [](Instance& i) { return i.ImportPDFFile(1, 1.0, 1.0); }), 3);
}

// Operations that need a document report it instead of failing silently.
TEST(DocumentWithoutDocument, OperationsFailThroughTheCallback) {
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  EXPECT_EQ(pdf.HaveOpenDoc(), 0);
  EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.EditPage(1); }), 0);
  EXPECT_LT(Guarded(pdf, -1, [](Instance& i) { return i.ChangeLinkAnnot(0, "x"); }), 0);
  EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.OpenOutputFile("/tmp/x.pdf"); }), 0);
  EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.CloseFile(); }), 0);
  ASSERT_EQ(log.entries.size(), 4u) << log.All();
  for (const auto& entry : log.entries) EXPECT_EQ(entry.code, pdfcore::kErrNoDocument);
}

}  // namespace
