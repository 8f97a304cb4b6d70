// Annotation handles and link targets; templates of the content open for editing.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "core/links.h"
#include "document_test_support.h"

namespace {

using namespace document_test;
using pdfcore::Instance;

struct LinkCase {
  int32_t handle;
  bool changes;          // a /Link with a /URI action
  int32_t expectedCode;  // reported when it doesn't
};

// whole.pdf: page 1 Text(0) URI(1) GoTo(2); page 2 URI(3); page 3 URI(4) Text(5) Widget(6).
class DocumentLinks : public ::testing::TestWithParam<LinkCase> {};

TEST_P(DocumentLinks, ChangeLinkAnnotByDocumentWideHandle) {
  const LinkCase& c = GetParam();
  TempDir dir;
  const std::string output = dir / "out.pdf";
  const std::string target = "https://new.example/" + std::to_string(c.handle) + "?q=\xE9";
  std::vector<std::string> before;
  {
    QPDF original;
    original.processFile(Fixture("whole.pdf").c_str());
    for (auto& ref : pdfcore::AllAnnotations(original)) {
      before.push_back(pdfcore::LinkUri(ref.annotation));
    }
  }
  Instance pdf;
  ErrorLog log;
  log.AttachTo(pdf);
  ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  const int32_t result =
      Guarded(pdf, -1, [&](Instance& i) { return i.ChangeLinkAnnot(c.handle, target); });
  if (c.changes) {
    EXPECT_GE(result, 0) << log.All();
    EXPECT_TRUE(log.entries.empty()) << log.All();
  } else {
    EXPECT_LT(result, 0);
    EXPECT_TRUE(log.Has(c.expectedCode)) << log.All();
  }
  ASSERT_EQ(WriteTo(pdf, output), 1) << log.All();

  QPDF out;
  out.processFile(output.c_str());
  std::vector<pdfcore::AnnotationRef> after = pdfcore::AllAnnotations(out);
  ASSERT_EQ(after.size(), before.size());
  for (size_t h = 0; h < after.size(); ++h) {
    const bool changed = c.changes && static_cast<int32_t>(h) == c.handle;
    EXPECT_EQ(pdfcore::LinkUri(after[h].annotation), changed ? target : before[h])
        << "handle " << h;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Handles, DocumentLinks,
    ::testing::Values(LinkCase{1, true, 0}, LinkCase{3, true, 0}, LinkCase{4, true, 0},
                      LinkCase{0, false, pdfcore::kErrNotLink},  // text note
                      LinkCase{2, false, pdfcore::kErrNotLink},  // link with a GoTo action
                      LinkCase{5, false, pdfcore::kErrNotLink},  // text note on page 3
                      LinkCase{6, false, pdfcore::kErrNotLink},  // form field widget
                      LinkCase{7, false, pdfcore::kErrRange},    // one past the last
                      LinkCase{-1, false, pdfcore::kErrRange}),
    [](const auto& info) {
      return "Handle" + std::string(info.param.handle < 0 ? "Minus1" : "") +
             (info.param.handle < 0 ? "" : std::to_string(info.param.handle));
    });

// Two links sharing one action object: changing one leaves the other's target.
TEST(DocumentLinksShared, ChangingOneLinkOfASharedActionLeavesTheOther) {
  TempDir dir;
  const std::string source = dir / "shared.pdf";
  {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle page = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 200 200] >>"));
    QPDFPageDocumentHelper(pdf).addPage(page, false);
    QPDFObjectHandle action =
        pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /S /URI /URI (https://old/) >>"));
    QPDFObjectHandle annots = QPDFObjectHandle::newArray();
    for (int i = 0; i < 2; ++i) {
      QPDFObjectHandle link = QPDFObjectHandle::parse(
          "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Border [0 0 0] >>");
      link.replaceKey("/A", action);
      annots.appendItem(pdf.makeIndirectObject(link));
    }
    QPDFPageDocumentHelper(pdf).getAllPages()[0].getObjectHandle().replaceKey("/Annots", annots);
    QPDFWriter writer(pdf, source.c_str());
    writer.write();
  }
  Instance pdf;
  ASSERT_EQ(ImportWhole(pdf, source), 1);
  ASSERT_GE(Guarded(pdf, -1, [](Instance& i) { return i.ChangeLinkAnnot(1, "https://new/"); }), 0);
  std::vector<pdfcore::AnnotationRef> links = pdfcore::AllAnnotations(pdf.Document());
  EXPECT_EQ(pdfcore::LinkUri(links[0].annotation), "https://old/");
  EXPECT_EQ(pdfcore::LinkUri(links[1].annotation), "https://new/");
}

// The object number of the form XObject that whole.pdf draws under the resource `name`.
int ObjectNumberOfForm(const std::string& name) {
  QPDF pdf;
  pdf.processFile(Fixture("whole.pdf").c_str());
  for (QPDFObjectHandle& object : pdf.getAllObjects()) {
    QPDFObjectHandle dict = object.isStream() ? object.getDict() : object;
    if (!dict.isDictionary() || !dict.getKey("/Resources").isDictionary()) continue;
    QPDFObjectHandle xobjects = dict.getKey("/Resources").getKey("/XObject");
    if (xobjects.isDictionary() && xobjects.hasKey("/" + name)) {
      return xobjects.getKey("/" + name).getObjectID();
    }
  }
  return -1;
}

class DocumentTemplates : public ::testing::Test {
 protected:
  void SetUp() override {
    log.AttachTo(pdf);
    ASSERT_EQ(ImportWhole(pdf, Fixture("whole.pdf")), 3);
  }
  int32_t Count() {
    return Guarded(pdf, -1, [](Instance& i) { return i.GetTemplCount(); });
  }
  int32_t Edit(int32_t index) {
    return Guarded(pdf, 0, [&](Instance& i) { return i.EditTemplate(index); });
  }
  int32_t EditByHandle(int32_t handle) {
    return Guarded(pdf, 0, [&](Instance& i) { return i.EditTemplate2(handle); });
  }
  int32_t Handle() {
    return Guarded(pdf, 0, [](Instance& i) { return i.GetTemplHandle(); });
  }
  int32_t End() {
    return Guarded(pdf, 0, [](Instance& i) { return i.EndTemplate(); });
  }
  int32_t Page(int32_t n) {
    return Guarded(pdf, 0, [&](Instance& i) { return i.EditPage(n); });
  }

  Instance pdf;
  ErrorLog log;
};

TEST_F(DocumentTemplates, NestedTemplatesHaveTheirObjectNumberAsHandle) {
  const int header = ObjectNumberOfForm("FormXob.Header");
  const int logo = ObjectNumberOfForm("FormXob.Logo");
  ASSERT_GT(header, 0);
  ASSERT_GT(logo, 0);

  ASSERT_EQ(Page(1), 1);
  ASSERT_EQ(Count(), 1);
  ASSERT_EQ(Edit(0), 1) << log.All();
  EXPECT_EQ(Handle(), header);
  ASSERT_EQ(Count(), 1) << "the header draws the logo";
  ASSERT_EQ(Edit(0), 1);
  EXPECT_EQ(Handle(), logo);
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(End(), 1);
  EXPECT_EQ(Handle(), header) << "closing the logo reopens the header";
  EXPECT_EQ(End(), 1);
  EXPECT_EQ(Handle(), 0) << "the page is open: no template handle";
  EXPECT_EQ(End(), 0) << "the page is not a template";
  EXPECT_TRUE(log.Has(pdfcore::kErrNoContent)) << log.All();

  // Page 2 draws the header once and the footer twice: two templates, the header's handle
  // the same as on page 1.
  ASSERT_EQ(Page(2), 1);
  ASSERT_EQ(Count(), 2);
  std::vector<int32_t> handles;
  for (int32_t i = 0; i < 2; ++i) {
    ASSERT_EQ(Edit(i), 1);
    handles.push_back(Handle());
    ASSERT_EQ(End(), 1);
  }
  EXPECT_EQ(handles[0], header);
  EXPECT_EQ(handles[1], ObjectNumberOfForm("FormXob.Footer"));
  EXPECT_EQ(Guarded(pdf, 0, [](Instance& i) { return i.EndPage(); }), 1);
}

TEST_F(DocumentTemplates, EditTemplate2OpensAFormByHandleAndRefusesOtherObjects) {
  const int logo = ObjectNumberOfForm("FormXob.Logo");
  ASSERT_EQ(Page(3), 1);
  ASSERT_EQ(EditByHandle(logo), 1) << log.All();
  EXPECT_EQ(Handle(), logo);
  EXPECT_EQ(End(), 1);

  const int pageObject =
      QPDFPageDocumentHelper(pdf.Document()).getAllPages()[0].getObjectHandle().getObjectID();
  for (int32_t bad : {0, -5, pageObject, 999999}) {
    log.entries.clear();
    EXPECT_EQ(EditByHandle(bad), 0) << bad;
    EXPECT_TRUE(log.Has(pdfcore::kErrRange)) << bad << ": " << log.All();
  }
  log.entries.clear();
  EXPECT_EQ(Edit(1), 0) << "page 3 draws one template";
  EXPECT_TRUE(log.Has(pdfcore::kErrRange)) << log.All();
}

TEST_F(DocumentTemplates, PagesOutOfRangeFailWithMessage) {
  for (int32_t page : {0, -1, 4}) {
    log.entries.clear();
    EXPECT_EQ(Page(page), 0) << page;
    EXPECT_TRUE(log.Has(pdfcore::kErrRange)) << log.All();
  }
  // With no page open, the editing operations fail through the callback.
  log.entries.clear();
  TPDFStack record{};
  EXPECT_EQ(Guarded(pdf, 0, [&](Instance& i) { return i.InitStack(record); }), 0);
  EXPECT_EQ(Count(), -1);
  EXPECT_TRUE(log.Has(pdfcore::kErrNoContent)) << log.All();
}

}  // namespace
