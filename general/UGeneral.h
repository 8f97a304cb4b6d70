// The variable record, the list that owns the records, and the variables file reader and writer.
//
// A variables file is 8-bit text. Line 1 is the fingerprint of the PDF it belongs to; every
// further non-blank line is one occurrence of a variable, up to seven fields separated by "^":
// enabled flag, tagged text, default value, kind, page, link handle, variable name.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One occurrence of a variable. Text fields hold the bytes of the file as they stand.
struct TFormat {
  bool Enabled = false;
  std::string TaggedText;
  std::string Value;
  std::string Kind;
  std::string Page;
  std::string LinkHandle;
  std::string VariableName;
};

// Ordered list of (text, record) entries in insertion order; equal texts may repeat. The list owns
// its records. Callers walk it by index; nothing looks an entry up by its text.
class TFormats {
 public:
  TFormats() = default;
  TFormats(const TFormats&) = delete;
  TFormats& operator=(const TFormats&) = delete;
  TFormats(TFormats&&) noexcept = default;
  TFormats& operator=(TFormats&&) noexcept = default;
  ~TFormats() = default;

  std::size_t Count() const { return entries_.size(); }
  // Index checked: std::out_of_range past the end.
  const std::string& Strings(std::size_t index) const;
  TFormat& Objects(std::size_t index);
  const TFormat& Objects(std::size_t index) const;

  // Appends an entry and returns its index. A null record is refused (std::invalid_argument), so
  // every entry always has a record.
  std::size_t AddObject(std::string text, std::unique_ptr<TFormat> record);

  // Appends one record per non-blank line after the first. A missing file (or a folder at the
  // path) leaves the list unchanged without error. A file that exists but can't be read throws
  // std::runtime_error naming the file and the problem; the list is then unchanged too, since
  // the file is read whole before the first record is made. Does not empty the list first.
  // The records' texts are UTF-8: a file that is not valid UTF-8 is read as Windows-1252, the
  // whole file alike.
  void LoadAll(const std::string& path);

  // Writes `firstLine` and then every record with all seven fields, so the file reads back to the
  // same records. A field that the format can't carry ("^", CR, LF or NUL inside it) is refused
  // with std::invalid_argument before anything is written. The file is written beside the target
  // and renamed over it, so a failure leaves the old file in place; failures throw
  // std::runtime_error naming the file.
  void SaveAll(const std::string& path, const std::string& firstLine) const;

  // Frees every record and empties the list.
  void ClearAll();

 private:
  struct Entry {
    std::string text;
    std::unique_ptr<TFormat> record;
  };
  std::vector<Entry> entries_;
};

// Empties `fields`, then cuts `line` at every `delimiter`: an empty piece before a delimiter is
// kept, a trailing empty piece is not (so "a^" gives one field, "^" one empty field, "" none).
void SplitFields(char delimiter, std::string_view line, std::vector<std::string>& fields);

// Cuts text into lines: a line ends at CR, LF or CR LF; the last line needs no line break; the
// first NUL byte ends the text. Empty text has no lines. `visit` gets each line in order (a view
// into `text`) and returns false to stop early.
void ForEachTextLine(std::string_view text, const std::function<bool(std::string_view)>& visit);

// The lines of `text` by the rules of ForEachTextLine, at most `maxLines` of them.
std::vector<std::string> SplitTextLines(std::string_view text,
                                        std::size_t maxLines = static_cast<std::size_t>(-1));

// True when every byte of the line is 0x20 or below (such lines carry no record).
bool IsBlankLine(std::string_view line);

// Makes the record that one occurrence line describes.
std::unique_ptr<TFormat> ParseOccurrenceLine(std::string_view line);

// Reads a whole file as bytes and cuts it into lines (SplitTextLines), at most `maxLines` of them.
// A missing file and any file that can't be read throw std::runtime_error naming the file and the
// problem.
std::vector<std::string> ReadTextFileLines(const std::string& path,
                                           std::size_t maxLines = static_cast<std::size_t>(-1));

// Limits that keep a damaged or hostile variables file from exhausting memory. Real files are a
// few kilobytes with tens of records; a file beyond either limit is refused as unreadable.
inline constexpr std::size_t kMaxVariablesFileSize = std::size_t{64} << 20;
inline constexpr std::size_t kMaxVariableRecords = std::size_t{1} << 18;
