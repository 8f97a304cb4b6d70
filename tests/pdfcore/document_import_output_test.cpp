// Import keeps the whole document; the output file is written completely or not at all.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "core/links.h"
#include "document_test_support.h"

namespace {

using namespace document_test;
using pdfcore::Instance;

const char* const kXmp =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'/></x:xmpmeta>"
    "<?xpacket end='w'?>";
const char* const kAttachment = "notes attached to the e-book\n";

// whole.pdf plus what ReportLab can't write: an attachment, XMP metadata, a named destination
// used by the GoTo link, viewer preferences and a structure tree root.
std::string MakeWholeDocument(const TempDir& dir) {
  QPDF pdf;
  pdf.processFile(Fixture("whole.pdf").c_str());
  QPDFObjectHandle root = pdf.getRoot();

  auto stream = QPDFEFStreamObjectHelper::createEFStream(pdf, std::string(kAttachment));
  auto spec = QPDFFileSpecObjectHelper::createFileSpec(pdf, "notes.txt", stream);
  QPDFEmbeddedFileDocumentHelper(pdf).replaceEmbeddedFile("notes.txt", spec);

  QPDFObjectHandle xmp = pdf.newStream(std::string(kXmp));
  xmp.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/Metadata"));
  xmp.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/XML"));
  root.replaceKey("/Metadata", xmp);

  QPDFObjectHandle page2 = QPDFPageDocumentHelper(pdf).getAllPages()[1].getObjectHandle();
  QPDFObjectHandle dest = QPDFObjectHandle::newArray();
  dest.appendItem(page2);
  dest.appendItem(QPDFObjectHandle::newName("/Fit"));
  auto dests = QPDFNameTreeObjectHelper::newEmpty(pdf);
  dests.insert("chapter2", dest);
  QPDFObjectHandle names = root.getKey("/Names");
  if (!names.isDictionary())
    names = root.replaceKeyAndGetNew("/Names", QPDFObjectHandle::newDictionary());
  names.replaceKey("/Dests", dests.getObjectHandle());
  QPDFObjectHandle goTo = pdfcore::FindAnnotation(pdf, 2)->annotation;
  goTo.removeKey("/A");
  goTo.replaceKey("/Dest", QPDFObjectHandle::newString("chapter2"));

  root.replaceKey("/ViewerPreferences", QPDFObjectHandle::parse("<< /DisplayDocTitle true >>"));
  root.replaceKey("/StructTreeRoot",
                  pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /StructTreeRoot >>")));

  const std::string path = dir / "whole-plus.pdf";
  QPDFWriter writer(pdf, path.c_str());
  writer.write();
  return path;
}

TEST(DocumentImportOutput, ImportAndOutputKeepTheWholeDocument) {
  TempDir dir;
  const std::string source = MakeWholeDocument(dir);
  const std::string output = dir / "out.pdf";
  {
    Instance pdf;
    ErrorLog log;
    log.AttachTo(pdf);
    ASSERT_EQ(ImportWhole(pdf, source), 3) << log.All();
    EXPECT_EQ(pdf.PageCount(), 3);
    ASSERT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.EditPage(2); }), 1) << log.All();
    EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.EndPage(); }), 1);
    ASSERT_EQ(WriteTo(pdf, output), 1) << log.All();
    EXPECT_EQ(pdf.HaveOpenDoc(), 0) << "the document is closed once written";
    EXPECT_EQ(log.Fatal(), 0u) << log.All();
  }
  EXPECT_EQ(Shell("qpdf --check '" + output + "'"), 0);

  QPDF out;
  out.processFile(output.c_str());
  QPDFObjectHandle root = out.getRoot();
  std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(out).getAllPages();
  ASSERT_EQ(pages.size(), 3u);

  // Pages in order, from page 1.
  EXPECT_NE(ShellOutput("pdftotext -f 1 -l 1 '" + output + "' -").find("Visit [[site]] today"),
            std::string::npos);
  EXPECT_NE(ShellOutput("pdftotext -f 3 -l 3 '" + output + "' -").find("Third page"),
            std::string::npos);

  // Outlines.
  std::vector<QPDFOutlineObjectHelper> outlines =
      QPDFOutlineDocumentHelper(out).getTopLevelOutlines();
  ASSERT_EQ(outlines.size(), 2u);
  EXPECT_EQ(outlines[0].getTitle(), "Chapter 1");
  EXPECT_EQ(outlines[1].getTitle(), "Chapter 2");

  // Named destination, and the link that uses it.
  QPDFNameTreeObjectHelper dests(root.getKey("/Names").getKey("/Dests"), out);
  QPDFObjectHandle dest;
  ASSERT_TRUE(dests.findObject("chapter2", dest));
  EXPECT_EQ(dest.getArrayItem(0).getObjGen(), pages[1].getObjectHandle().getObjGen());
  EXPECT_EQ(pdfcore::FindAnnotation(out, 2)->annotation.getKey("/Dest").getUTF8Value(), "chapter2");

  // Links and every other annotation.
  std::vector<pdfcore::AnnotationRef> annotations = pdfcore::AllAnnotations(out);
  ASSERT_EQ(annotations.size(), 7u);
  EXPECT_EQ(pdfcore::LinkUri(annotations[1].annotation), "https://example.com/?id=[[aff]]");
  EXPECT_EQ(pdfcore::LinkUri(annotations[4].annotation), "mailto:someone@example.com");

  // Metadata: Info and XMP.
  EXPECT_EQ(out.getTrailer().getKey("/Info").getKey("/Title").getUTF8Value(), "Whole document");
  EXPECT_EQ(root.getKey("/Metadata").getStreamData()->getSize(), std::string(kXmp).size());

  // Page labels.
  QPDFPageLabelDocumentHelper labels(out);
  ASSERT_TRUE(labels.hasPageLabels());
  EXPECT_EQ(labels.getLabelForPage(1).getKey("/S").getName(), "/r");
  EXPECT_EQ(labels.getLabelForPage(2).getKey("/S").getName(), "/D");

  // Form field with its value.
  QPDFAcroFormDocumentHelper form(out);
  std::vector<QPDFFormFieldObjectHelper> fields = form.getFormFields();
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].getFullyQualifiedName(), "reader");
  EXPECT_EQ(fields[0].getValueAsString(), "Jane");

  // Attachment.
  auto attachment = QPDFEmbeddedFileDocumentHelper(out).getEmbeddedFile("notes.txt");
  ASSERT_TRUE(attachment);
  auto data = attachment->getEmbeddedFileStream().getStreamData();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()),
            kAttachment);

  // Viewer preferences and structure tree.
  EXPECT_TRUE(root.getKey("/ViewerPreferences").getKey("/DisplayDocTitle").isBool());
  EXPECT_TRUE(root.getKey("/StructTreeRoot").isDictionary());
}

// Pages added to a document that already has pages are copied in order at the place asked.
TEST(DocumentImportOutput, ImportIntoNonEmptyDocumentInsertsPagesInOrder) {
  TempDir dir;
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  ASSERT_EQ(
      Guarded(pdf, -1, [](Instance& i) { return i.OpenImportFile(Fixture("whole.pdf"), 0, ""); }),
      0);
  ASSERT_EQ(Guarded(pdf, -1, [](Instance& i) { return i.ImportPDFFile(2, 1.0, 1.0); }), 3)
      << log.All();
  ASSERT_EQ(pdf.PageCount(), 6);
  const std::string output = dir / "six.pdf";
  ASSERT_EQ(WriteTo(pdf, output), 1) << log.All();
  EXPECT_EQ(Shell("qpdf --check '" + output + "'"), 0);
  const std::string expected[] = {"Visit",      "Visit",       "Second page",
                                  "Third page", "Second page", "Third page"};
  for (int page = 1; page <= 6; ++page) {
    const std::string text = ShellOutput("pdftotext -f " + std::to_string(page) + " -l " +
                                         std::to_string(page) + " '" + output + "' -");
    EXPECT_NE(text.find(expected[page - 1]), std::string::npos) << "page " << page;
  }
}

struct UnwritableCase {
  const char* name;
  std::string (*target)(const TempDir&);
};

std::string InMissingFolder(const TempDir& dir) { return dir / "missing/out.pdf"; }
std::string UnderAFile(const TempDir& dir) {
  WriteFile(dir / "plain", "x");
  return dir / "plain/out.pdf";
}
std::string AFolder(const TempDir& dir) {
  fs::create_directory(dir / "folder");
  return dir / "folder";
}
std::string EmptyName(const TempDir&) { return ""; }

class DocumentOutputUnwritable : public ::testing::TestWithParam<UnwritableCase> {};

TEST_P(DocumentOutputUnwritable, OpenOutputFileFailsWithMessage) {
  TempDir dir;
  const std::string target = GetParam().target(dir);
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  EXPECT_EQ(Guarded(pdf, 0, [&](Instance& i) { return i.OpenOutputFile(target); }), 0);
  EXPECT_TRUE(log.Has(pdfcore::kErrOutputPath)) << log.All();
  // Nothing to write to: closing fails too, and the document stays open.
  EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.CloseFile(); }), 0);
  EXPECT_EQ(pdf.HaveOpenDoc(), 1);
}

INSTANTIATE_TEST_SUITE_P(Targets, DocumentOutputUnwritable,
                         ::testing::Values(UnwritableCase{"MissingFolder", InMissingFolder},
                                           UnwritableCase{"ParentIsAFile", UnderAFile},
                                           UnwritableCase{"TargetIsAFolder", AFolder},
                                           UnwritableCase{"EmptyName", EmptyName}),
                         [](const auto& info) { return std::string(info.param.name); });

// Permissions don't stop root, so this case needs an ordinary user.
TEST(DocumentOutput, ReadOnlyFolderFailsAndLeavesExistingFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  fs::create_directory(dir / "ro");
  const std::string target = dir / "ro/out.pdf";
  WriteFile(target, "old contents");
  fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  EXPECT_EQ(Guarded(pdf, 0, [&](Instance& i) { return i.OpenOutputFile(target); }), 0);
  fs::permissions(dir / "ro", fs::perms::owner_all);
  EXPECT_EQ(ReadFile(target), "old contents");
  EXPECT_TRUE(log.Has(pdfcore::kErrOutputPath)) << log.All();
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Stream data that can't be produced: writing fails half-way through the file.
class FailingProvider : public QPDFObjectHandle::StreamDataProvider {
 public:
  void provideStreamData(QPDFObjGen const&, Pipeline* pipeline) override {
    pipeline->writeString("partial data");
    throw std::runtime_error("the stream data went away");
  }
};

TEST(DocumentOutput, FailingWriteLeavesPreviousFileAndNoTemporaryFile) {
  TempDir dir;
  const std::string target = dir / "out.pdf";
  WriteFile(target, "previous version");
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  QPDF& doc = pdf.Document();
  QPDFObjectHandle broken = doc.newStream();
  broken.replaceStreamData(std::make_shared<FailingProvider>(), QPDFObjectHandle::newNull(),
                           QPDFObjectHandle::newNull());
  doc.getRoot().replaceKey("/Broken", broken);

  ASSERT_EQ(Guarded(pdf, 0, [&](Instance& i) { return i.OpenOutputFile(target); }), 1);
  EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.CloseFile(); }), 0);
  EXPECT_TRUE(log.Has(pdfcore::kErrWrite)) << log.All();
  EXPECT_EQ(ReadFile(target), "previous version");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"out.pdf"});
}

TEST(DocumentOutput, ReplacesExistingFileKeepingItsPermissions) {
  TempDir dir;
  const std::string target = dir / "out.pdf";
  WriteFile(target, "previous version");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Instance pdf;
  ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  ASSERT_EQ(WriteTo(pdf, target), 1);
  EXPECT_EQ(ReadFile(target).rfind("%PDF-", 0), 0u);
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"out.pdf"});
}

// Writing compresses streams that were stored uncompressed and keeps object streams.
TEST(DocumentOutput, CompressesStreamsAndKeepsObjectStreams) {
  TempDir dir;
  const std::string withObjectStreams = dir / "objstm.pdf";
  ASSERT_EQ(Shell("qpdf --object-streams=generate --compress-streams=n '" + Fixture("whole.pdf") +
                  "' '" + withObjectStreams + "'"),
            0);
  Instance pdf;
  ASSERT_EQ(ImportWhole(pdf, withObjectStreams), 3);
  const std::string output = dir / "out.pdf";
  ASSERT_EQ(WriteTo(pdf, output), 1);
  QPDF out;
  out.processFile(output.c_str());
  bool sawObjectStream = false;
  for (QPDFObjectHandle& object : out.getAllObjects()) {
    if (!object.isStream()) continue;
    QPDFObjectHandle dict = object.getDict();
    if (dict.getKey("/Type").isNameAndEquals("/ObjStm")) sawObjectStream = true;
    if (dict.getKey("/Type").isNameAndEquals("/XRef")) continue;
    EXPECT_TRUE(dict.getKey("/Filter").isNameAndEquals("/FlateDecode"))
        << "object " << object.getObjectID() << " is not compressed";
  }
  EXPECT_TRUE(sawObjectStream);
  EXPECT_EQ(Shell("qpdf --check '" + output + "'"), 0);
}

}  // namespace

namespace {

// An output file named when the document is created survives the import that replaces the
// empty document by the imported one.
TEST(DocumentOutput, OutputNamedAtCreationIsWrittenAfterImport) {
  TempDir dir;
  const std::string target = dir / "named.pdf";
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(Guarded(pdf, 0, [&](Instance& i) { return i.CreateNewPDF(target); }), 1);
  ASSERT_EQ(
      Guarded(pdf, -1, [](Instance& i) { return i.OpenImportFile(Fixture("whole.pdf"), 0, ""); }),
      0);
  ASSERT_EQ(Guarded(pdf, -1, [](Instance& i) { return i.ImportPDFFile(1, 1.0, 1.0); }), 3);
  ASSERT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.CloseFile(); }), 1) << log.All();
  EXPECT_EQ(Shell("qpdf --check '" + target + "'"), 0);
}

}  // namespace
