#include "UGeneral.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "CodePage.h"
#include "FileBytes.h"

namespace {

constexpr char kFieldDelimiter = '^';

bool FieldCanBeWritten(const std::string& field) {
  return field.find_first_of(std::string_view("^\r\n\0", 4)) == std::string::npos;
}

void RequireWritableField(const std::string& field, const char* what, std::size_t recordIndex) {
  if (!FieldCanBeWritten(field)) {
    throw std::invalid_argument("Record " + std::to_string(recordIndex + 1) + ": " + what +
                                " holds \"^\", a line break or a NUL byte and can't be written");
  }
}

std::string OccurrenceLine(const TFormat& record, std::size_t recordIndex) {
  const std::pair<const std::string*, const char*> fields[] = {
      {&record.TaggedText, "tagged text"},
      {&record.Value, "value"},
      {&record.Kind, "kind"},
      {&record.Page, "page"},
      {&record.LinkHandle, "link handle"},
      {&record.VariableName, "variable name"},
  };
  std::string line = record.Enabled ? "1" : "0";
  line += kFieldDelimiter;
  for (const auto& [field, what] : fields) {
    RequireWritableField(*field, what, recordIndex);
    line += *field;
    line += kFieldDelimiter;
  }
  line += "\r\n";
  return line;
}

// Writes everything or throws; the descriptor is closed by the caller's guard.
void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error("Cannot write file \"" + path + "\": " + std::strerror(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// A temporary file beside the target that is removed unless it was renamed into place.
class TemporarySibling {
 public:
  explicit TemporarySibling(const std::string& target) : path_(target + ".XXXXXX") {
    fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      throw std::runtime_error("Cannot write file \"" + target + "\": " + std::strerror(errno));
    }
  }
  TemporarySibling(const TemporarySibling&) = delete;
  TemporarySibling& operator=(const TemporarySibling&) = delete;
  ~TemporarySibling() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!committed_) {
      ::unlink(path_.c_str());
    }
  }
  int fd() const { return fd_; }

  void CommitAs(const std::string& target) {
    const int fd = fd_;
    fd_ = -1;
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
      throw std::runtime_error("Cannot write file \"" + target + "\": " + std::strerror(errno));
    }
    // mkostemp creates the file 0600; a variables file is an ordinary document.
    ::chmod(path_.c_str(), 0644);
    if (::rename(path_.c_str(), target.c_str()) != 0) {
      throw std::runtime_error("Cannot write file \"" + target + "\": " + std::strerror(errno));
    }
    committed_ = true;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace

const std::string& TFormats::Strings(std::size_t index) const { return entries_.at(index).text; }

TFormat& TFormats::Objects(std::size_t index) { return *entries_.at(index).record; }

const TFormat& TFormats::Objects(std::size_t index) const { return *entries_.at(index).record; }

std::size_t TFormats::AddObject(std::string text, std::unique_ptr<TFormat> record) {
  if (!record) {
    throw std::invalid_argument("TFormats::AddObject: a null record can't be appended");
  }
  entries_.push_back(Entry{std::move(text), std::move(record)});
  return entries_.size() - 1;
}

void TFormats::ClearAll() { entries_.clear(); }

void TFormats::LoadAll(const std::string& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path, kMaxVariablesFileSize);
  if (!bytes) {
    return;
  }
  // The code page is decided once for the whole file (the text up to its first NUL, which is all
  // that is read), so every field of one package is read alike.
  std::string_view raw = *bytes;
  raw = raw.substr(0, raw.find('\0'));
  const std::string text = FileTextToUTF8(raw);
  // Records are built apart and appended at the end, so a failure half way leaves the list as it
  // was.
  std::vector<Entry> loaded;
  bool firstLine = true;
  ForEachTextLine(text, [&](std::string_view line) {
    if (firstLine) {
      firstLine = false;  // the fingerprint
      return true;
    }
    if (IsBlankLine(line)) {
      return true;
    }
    if (loaded.size() == kMaxVariableRecords) {
      throw std::runtime_error("Cannot read file \"" + path + "\": more than " +
                               std::to_string(kMaxVariableRecords) + " records");
    }
    std::unique_ptr<TFormat> record = ParseOccurrenceLine(line);
    std::string text = record->TaggedText;
    loaded.push_back(Entry{std::move(text), std::move(record)});
    return true;
  });
  entries_.reserve(entries_.size() + loaded.size());
  for (Entry& entry : loaded) {
    entries_.push_back(std::move(entry));
  }
}

void TFormats::SaveAll(const std::string& path, const std::string& firstLine) const {
  if (!FieldCanBeWritten(firstLine)) {
    throw std::invalid_argument("The first line holds \"^\", a line break or a NUL byte");
  }
  std::string text = firstLine + "\r\n";
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    text += OccurrenceLine(*entries_[i].record, i);
  }
  TemporarySibling file(path);
  WriteAll(file.fd(), text, path);
  file.CommitAs(path);
}

void SplitFields(char delimiter, std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::string piece;
  for (const char byte : line) {
    if (byte == delimiter) {
      fields.push_back(std::move(piece));
      piece.clear();
    } else {
      piece += byte;
    }
  }
  if (!piece.empty()) {
    fields.push_back(std::move(piece));
  }
}

void ForEachTextLine(std::string_view text, const std::function<bool(std::string_view)>& visit) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    text = text.substr(0, nul);
  }
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      visit(text.substr(start));
      return;
    }
    if (!visit(text.substr(start, end - start))) {
      return;
    }
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
      ++start;
    }
  }
}

std::vector<std::string> SplitTextLines(std::string_view text, std::size_t maxLines) {
  std::vector<std::string> lines;
  if (maxLines == 0) {
    return lines;
  }
  ForEachTextLine(text, [&](std::string_view line) {
    lines.emplace_back(line);
    return lines.size() < maxLines;
  });
  return lines;
}

bool IsBlankLine(std::string_view line) {
  for (const char byte : line) {
    if (static_cast<unsigned char>(byte) > 0x20) {
      return false;
    }
  }
  return true;
}

std::unique_ptr<TFormat> ParseOccurrenceLine(std::string_view line) {
  // Only the first seven fields are taken: a line of millions of "^" must not become millions of
  // strings. A missing field and an empty one read the same, so this agrees with SplitFields.
  auto record = std::make_unique<TFormat>();
  std::string* const textFields[] = {&record->TaggedText, &record->Value,
                                     &record->Kind,       &record->Page,
                                     &record->LinkHandle, &record->VariableName};
  constexpr std::size_t kFieldCount = 7;
  std::size_t start = 0;
  for (std::size_t field = 0; field < kFieldCount && start <= line.size(); ++field) {
    std::size_t end = line.find(kFieldDelimiter, start);
    if (end == std::string_view::npos) {
      end = line.size();
    }
    const std::string_view piece = line.substr(start, end - start);
    if (field == 0) {
      record->Enabled = piece == "1";
    } else {
      textFields[field - 1]->assign(piece);
    }
    if (end == line.size()) {
      break;
    }
    start = end + 1;
  }
  return record;
}

std::vector<std::string> ReadTextFileLines(const std::string& path, std::size_t maxLines) {
  const std::optional<std::string> bytes = ReadWholeFile(path, kMaxVariablesFileSize);
  if (!bytes) {
    throw std::runtime_error("Cannot read file \"" + path + "\": no such file");
  }
  return SplitTextLines(*bytes, maxLines);
}
