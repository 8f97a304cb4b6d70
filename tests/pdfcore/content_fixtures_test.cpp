// The content editor on PDFs from real producers, with the document's real fonts, judged by
// poppler: the text records read as pdftotext reads the page, and removing a record's text
// leaves every other word where poppler saw it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "content_test_support.h"
#include "core/color_table.h"
#include "core/content_editor.h"
#include "core/font_cache.h"

namespace {

using content_test::Record;
using content_test::RecordingSink;

std::string Fixture(const std::string& name) {
  return std::string(CORVELLA_FIXTURES_DIR) + "/content/" + name;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) {
    uint32_t c = unit;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string WithoutWhiteSpace(const std::string& text) {
  std::string out;
  for (char c : text) {
    // pdftotext joins words hyphenated at the end of a line; hyphens don't count here.
    if (!std::isspace(static_cast<unsigned char>(c)) && c != '-') out += c;
  }
  return out;
}

struct Word {
  std::string text;
  double x = 0, y = 0;
};

// The words of pdftotext -bbox output: <word xMin="..." yMin="..." ...>text</word>.
std::vector<Word> Words(const std::string& pdf) {
  std::string xml = content_test::Run("pdftotext -bbox " + pdf + " -");
  std::vector<Word> words;
  auto attribute = [&](size_t from, const std::string& name) {
    size_t at = xml.find(name + "=\"", from);
    return at == std::string::npos ? 0.0 : std::stod(xml.substr(at + name.size() + 2));
  };
  for (size_t at = xml.find("<word "); at != std::string::npos; at = xml.find("<word ", at + 1)) {
    size_t open = xml.find('>', at);
    size_t close = xml.find("</word>", open);
    if (open == std::string::npos || close == std::string::npos) break;
    words.push_back(
        Word{xml.substr(open + 1, close - open - 1), attribute(at, "xMin"), attribute(at, "yMin")});
  }
  return words;
}

class Opened {
 public:
  explicit Opened(const std::string& name) {
    pdf.processFile(Fixture(name).c_str());
    page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
  }
  std::vector<Record> Records(pdfcore::ContentEditor& editor) {
    return content_test::AllRecords(editor);
  }
  std::string Write(const std::string& name) {
    std::string path = content_test::TempPath(name);
    QPDFWriter writer(pdf, path.c_str());
    writer.write();
    return path;
  }

  QPDF pdf;
  QPDFObjectHandle page;
  RecordingSink errors;
  pdfcore::FontCache fonts{errors};
  pdfcore::ColorTable colors;
};

std::string Dump(const std::vector<Record>& records) {
  std::ostringstream out;
  for (size_t i = 0; i < records.size(); ++i) {
    out << i << ": '" << Utf8(records[i].Text()) << "' tm.e=" << records[i].tm.e
        << " tm.f=" << records[i].tm.f << " w=" << records[i].textWidth << "\n";
  }
  return out.str();
}

class ContentFixture : public testing::TestWithParam<const char*> {};

TEST_P(ContentFixture, RecordsReadAsPdftotextReadsThePage) {
  Opened doc(GetParam());
  pdfcore::ContentEditor page(doc.pdf, doc.page, doc.fonts, doc.colors, doc.errors);
  std::string ours;
  std::vector<Record> records = doc.Records(page);
  for (const Record& r : records) ours += Utf8(r.Text());
  for (QPDFObjectHandle form : page.UsedTemplates()) {
    pdfcore::ContentEditor editor(doc.pdf, form, doc.fonts, doc.colors, doc.errors);
    for (const Record& r : doc.Records(editor)) ours += Utf8(r.Text());
  }
  std::string theirs = content_test::Run("pdftotext " + Fixture(GetParam()) + " -");
  EXPECT_EQ(WithoutWhiteSpace(ours), WithoutWhiteSpace(theirs)) << Dump(records);
  for (const Record& r : records) {
    EXPECT_NE(r.font, nullptr);
    EXPECT_GT(r.spaceWidth, 0);
  }
}

// Removes the record that holds the tag's opening brackets, and checks with poppler that the
// words on other records stay exactly where they were.
TEST_P(ContentFixture, RemovingARecordLeavesEveryOtherWordInPlace) {
  Opened doc(GetParam());
  std::string beforePath = doc.Write(std::string("before_") + GetParam());
  std::vector<Word> before = Words(beforePath);
  ASSERT_FALSE(before.empty());

  pdfcore::ContentEditor page(doc.pdf, doc.page, doc.fonts, doc.colors, doc.errors);
  TPDFStack stack{};
  ASSERT_TRUE(page.Restart(stack));
  std::string removed;
  while (page.Next(stack)) {
    std::string text = Utf8(content_test::Copy(stack).Text());
    if (text.find("[[") != std::string::npos) {
      ASSERT_TRUE(page.RemoveText(stack));
      removed = text;
      break;
    }
  }
  ASSERT_FALSE(removed.empty()) << Dump(doc.Records(page));
  ASSERT_TRUE(page.Flush());
  std::vector<Word> after = Words(doc.Write(std::string("after_") + GetParam()));

  // Every word poppler still sees was there before, at the same place. A word that shared the
  // removed record keeps only its other part: the part before stays at the word's start, the
  // part after at its own place further along the line.
  size_t kept = 0;
  size_t cut = 0;
  for (const Word& word : after) {
    bool same = std::any_of(before.begin(), before.end(), [&](const Word& b) {
      return b.text == word.text && std::fabs(b.x - word.x) < 0.01 &&
             std::fabs(b.y - word.y) < 0.01;
    });
    bool part = std::any_of(before.begin(), before.end(), [&](const Word& b) {
      if (std::fabs(b.y - word.y) >= 0.01 || b.text.size() <= word.text.size()) return false;
      bool head =
          b.text.compare(0, word.text.size(), word.text) == 0 && std::fabs(b.x - word.x) < 0.01;
      bool tail =
          b.text.compare(b.text.size() - word.text.size(), word.text.size(), word.text) == 0 &&
          word.x > b.x;
      return head || tail;
    });
    EXPECT_TRUE(same || part) << "moved or changed: '" << word.text << "' at " << word.x << ","
                              << word.y;
    kept += same ? 1 : 0;
    cut += !same && part ? 1 : 0;
  }
  EXPECT_LE(cut, 2u);
  EXPECT_LT(after.size(), before.size());
  EXPECT_GE(kept + 6, before.size()) << "removed record: '" << removed << "'";
  for (const Word& word : after) EXPECT_EQ(word.text.find("[["), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Producers, ContentFixture,
                         testing::Values("reportlab_styles.pdf", "groff_kerning.pdf",
                                         "gs_text.pdf"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
