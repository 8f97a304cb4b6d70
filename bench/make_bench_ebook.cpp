// Writes a large e-book for the rebranding benchmark: PAGES pages of running text with
// TAGS tag occurrences spread over them and LINKS link annotations whose address carries the
// token AFFILIATE_ID.
//
//   make_bench_ebook OUT.pdf [PAGES=500] [TAGS=2000] [LINKS=200]

#include <cstdio>
#include <cstdlib>
#include <string>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace {

const char* const kWords[] = {"reader", "growth", "letter", "weekly", "simple", "clear",
                              "people", "trust",  "offer",  "income", "steady", "habit"};
const char* const kTags[] = {"[[AUTHOR_NAME]]", "[[WEBSITE]]", "[[EMAIL]]", "[[BRAND]]"};

std::string Line(int seed, bool withTag, int tagIndex) {
  std::string line;
  for (int w = 0; w < 9; ++w) {
    if (withTag && w == 4) {
      line += kTags[tagIndex % 4];
    } else {
      line += kWords[(seed * 7 + w * 3) % 12];
    }
    line += ' ';
  }
  return line;
}

QPDFObjectHandle PageContent(QPDF& pdf, int page, int tagsOnPage, int& tagCounter) {
  std::string content = "BT /F1 10 Tf 14 TL 50 780 Td\n";
  for (int line = 0; line < 50; ++line) {
    const bool withTag = line % 12 == 3 && tagsOnPage-- > 0;
    content += "(" + Line(page * 50 + line, withTag, tagCounter) + ") Tj T*\n";
    if (withTag) ++tagCounter;
  }
  content += "ET\n";
  return QPDFObjectHandle::newStream(&pdf, content);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.pdf [PAGES] [TAGS] [LINKS]\n", argv[0]);
    return 2;
  }
  const int pages = argc > 2 ? std::atoi(argv[2]) : 500;
  const int tags = argc > 3 ? std::atoi(argv[3]) : 2000;
  const int links = argc > 4 ? std::atoi(argv[4]) : 200;

  QPDF pdf;
  pdf.emptyPDF();
  QPDFObjectHandle font = pdf.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                              "/Encoding /WinAnsiEncoding >>"));
  QPDFPageDocumentHelper pages_helper(pdf);
  int tagCounter = 0;
  int linkCounter = 0;
  for (int page = 0; page < pages; ++page) {
    const int tagsOnPage = tags / pages + (page < tags % pages ? 1 : 0);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/Font", QPDFObjectHandle::newDictionary());
    resources.getKey("/Font").replaceKey("/F1", font);
    QPDFObjectHandle dict = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 595 842] >>");
    dict.replaceKey("/Resources", resources);
    dict.replaceKey("/Contents", PageContent(pdf, page, tagsOnPage, tagCounter));
    const int linksOnPage = links / pages + (page < links % pages ? 1 : 0);
    if (linksOnPage > 0) {
      QPDFObjectHandle annots = QPDFObjectHandle::newArray();
      for (int l = 0; l < linksOnPage; ++l, ++linkCounter) {
        annots.appendItem(pdf.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Annot /Subtype /Link /Rect [50 " + std::to_string(100 + l * 20) + " 200 " +
            std::to_string(112 + l * 20) +
            "] /Border [0 0 0] /A << /S /URI /URI "
            "(https://shop.example.com/buy?ref=AFFILIATE_ID&n=" +
            std::to_string(linkCounter) + ") >> >>")));
      }
      dict.replaceKey("/Annots", annots);
    }
    pages_helper.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(dict)), false);
  }
  QPDFWriter writer(pdf, argv[1]);
  writer.setObjectStreamMode(qpdf_o_generate);
  writer.write();
  std::fprintf(stderr, "%s: %d pages, %d tags, %d links\n", argv[1], pages, tagCounter,
               linkCounter);
  return 0;
}
