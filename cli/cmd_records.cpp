// corvella records: the text records the core library delivers for the pages of a PDF and for
// the templates they draw, as the rebranding engine sees them.

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TPDF.h"
#include "commands.h"

namespace {

void PrintRecordsHelp(std::ostream& out) {
  out << "Usage: corvella records FILE.pdf [--page N]\n"
         "\n"
         "Shows the text records of every page (or of page N only) and of the templates each\n"
         "page draws, nested under it, as the core library delivers them: per record its index,\n"
         "font, size and origin in device space, then each piece with its advance and width\n"
         "(text space units) and its text as UTF-8, control characters escaped.\n"
         "\n"
         "Exit status: 0 when shown, 2 on a usage error, 1 when the PDF can't be read or the\n"
         "core library fails.\n";
}

struct RecordsOptions {
  std::string file;
  int32_t page = 0;  // 0: all pages
  bool help = false;
};

int32_t ParsePageNumber(const std::string& text) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value < 1 || value > INT32_MAX) {
    throw UsageError("records: '" + text + "' is not a page number");
  }
  return static_cast<int32_t>(value);
}

RecordsOptions ParseRecordsOptions(const std::vector<std::string>& arguments) {
  RecordsOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string value;
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      options.help = true;
    } else if (cli::TakeOptionValue(arguments, i, "--page", value)) {
      options.page = ParsePageNumber(value);
    } else if (options.file.empty() && !arguments[i].empty() && arguments[i][0] != '-') {
      options.file = arguments[i];
    } else {
      cli::RejectArgument("records", arguments[i]);
    }
  }
  if (!options.help && options.file.empty()) throw UsageError("records: a PDF file is needed");
  return options;
}

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD, control characters are escaped.
std::string Utf8(const PDF_WCHAR* text, int32_t length) {
  std::string out;
  for (int32_t i = 0; i < length; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
      out += escaped;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// The library's messages go to standard error, one line each.
int32_t PDF_CALL PrintLibraryError(const void*, int32_t code, const char* message, int32_t type) {
  if ((type & PDF_E_NOTICE) == 0) {
    cli::Say(std::string("library: ") + (message != nullptr ? message : "") + " (" +
             std::to_string(code) + ")");
  }
  return 0;
}

class RecordPrinter {
 public:
  RecordPrinter(TPDF& pdf, std::ostream& out) : pdf_(pdf), out_(out) {}

  // The records of the content open for editing, then its templates, depth first.
  bool PrintContent(const std::string& indent) {
    TPDFStack record{};
    if (pdf_.InitStack(&record) == 0) return false;
    for (int32_t index = 0; pdf_.GetPageText(&record) != 0; ++index) {
      PrintRecord(indent, index, record);
    }
    return PrintTemplates(indent);
  }

 private:
  static constexpr std::size_t kMaxNesting = 32;

  bool PrintTemplates(const std::string& indent) {
    const int32_t count = pdf_.GetTemplCount();
    for (int32_t i = 0; i < count; ++i) {
      if (pdf_.EditTemplate(i) == 0) return false;
      const int32_t handle = pdf_.GetTemplHandle();
      out_ << indent << "Template " << i << " (handle " << handle << ")";
      bool ok = true;
      if (IsOpenAbove(handle)) {
        out_ << ": draws itself, not shown again\n";
      } else if (path_.size() >= kMaxNesting) {
        out_ << ": nested too deeply, not shown\n";
      } else {
        out_ << "\n";
        path_.push_back(handle);
        ok = PrintContent(indent + "  ");
        path_.pop_back();
      }
      pdf_.EndTemplate();
      if (!ok) return false;
    }
    return true;
  }

  bool IsOpenAbove(int32_t handle) const {
    for (int32_t open : path_) {
      if (open == handle) return true;
    }
    return false;
  }

  void PrintRecord(const std::string& indent, int32_t index, const TPDFStack& record) {
    TPDFFontInfo font{};
    std::string fontName = "(unknown)";
    if (record.Font != nullptr && pdf_.GetFont(record.Font, &font) && font.FontName != nullptr) {
      fontName = font.FontName;
    }
    // The origin of the record's text space on the device: tm x ctm applied to (0, 0).
    const TPDFMatrix& tm = record.tm;
    const TPDFMatrix& ctm = record.ctm;
    const double x = tm.e * ctm.a + tm.f * ctm.c + ctm.e;
    const double y = tm.e * ctm.b + tm.f * ctm.d + ctm.f;
    out_ << indent << "Record " << index << ": font " << fontName << ", size "
         << Number(record.FontSize) << ", origin (" << Number(x) << ", " << Number(y) << "), width "
         << Number(record.TextWidth) << "\n";
    for (int32_t k = 0; k < record.KerningCount && record.Kerning != nullptr; ++k) {
      const TPDFKerning& piece = record.Kerning[k];
      out_ << indent << "  piece " << k << ": advance " << Number(piece.Advance) << ", width "
           << Number(piece.Width) << ", \""
           << (piece.Text != nullptr ? Utf8(piece.Text, piece.Length) : std::string()) << "\"\n";
    }
  }

  TPDF& pdf_;
  std::ostream& out_;
  std::vector<int32_t> path_;  // handles of the templates open above the current content
};

}  // namespace

int RunRecords(const std::vector<std::string>& arguments) {
  const RecordsOptions options = ParseRecordsOptions(arguments);
  if (options.help) {
    PrintRecordsHelp(std::cout);
    return kExitSuccess;
  }
  TPDF pdf(TPDF::DefaultLibraryName);
  pdf.SetOnErrorProc(nullptr, PrintLibraryError);
  if (pdf.CreateNewPDF("") < 0) return kExitFailure;
  if (pdf.OpenImportFile(options.file, 0, "") < 0) return kExitFailure;
  const int32_t pages = pdf.ImportPDFFile(1, 1.0, 1.0);
  pdf.CloseImportFile();
  if (pages <= 0) return kExitFailure;
  if (options.page > pages) {
    throw UsageError("records: the PDF has " + std::to_string(pages) + " pages, not " +
                     std::to_string(options.page));
  }
  const int32_t first = options.page > 0 ? options.page : 1;
  const int32_t last = options.page > 0 ? options.page : pages;
  RecordPrinter printer(pdf, std::cout);
  for (int32_t page = first; page <= last; ++page) {
    if (pdf.EditPage(page) == 0) return kExitFailure;
    std::cout << "Page " << page << "\n";
    const bool shown = printer.PrintContent("  ");
    pdf.EndPage();
    if (!shown) return kExitFailure;
  }
  return kExitSuccess;
}
