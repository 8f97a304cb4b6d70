// The rebranding run without any window: records made from the rows of the variable lists,
// the merge of the duplicate-free list's values, and the run itself, which imports the
// rebrandable PDF, replaces every enabled variable on its page and writes the output file.
// The desktop window and the command line both drive it through RunObserver.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "UGeneral.h"

// One row of a variable list: the caption (column "Tagged text and links") and six sub-items:
// default value, custom value, kind, page, link handle, variable name.
struct TListRow {
  std::string Caption;
  std::array<std::string, 6> SubItems;
  bool Checked = true;  // the lists show no check boxes, so every row reads as checked
};

enum RowItem : int {
  kDefaultValue = 0,
  kCustomValue = 1,
  kKind = 2,
  kPage = 3,
  kLinkHandle = 4,
  kVariableName = 5
};

// Makes the row that shows one record (custom value empty).
TListRow RowFromRecord(const TFormat& record);

// Where a run shows its progress and its outcome.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void SetGaugeMax(int maximum) = 0;
  virtual void SetGaugeValue(int value) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // Lets the window draw and handle input; nothing to do on the command line.
  virtual void ServeMessages() {}
  // Called once per record of the replacement, after its gauge step, so a window can stay
  // responsive on long books.
  virtual void RecordStep() {}
};

struct RunOptions {
  std::string PDFFileName;     // the rebrandable PDF
  std::string OutputFileName;  // the PDF to write
  std::string LibraryName;     // the core library file; empty: the platform's default name
};

// The status texts of a run, in the order they appear.
inline constexpr const char* kStatusPreparing = "Preparing variables to replace...";
inline constexpr const char* kStatusRemovingDuplicates = "Removing duplicated variables...";
inline constexpr const char* kStatusReplacing = "Replacing variables...";
inline constexpr const char* kStatusSaved = "Rebranded PDF saved!";

// Rebuilds `formats` from the rows of the list of every occurrence (a record per row with its
// effective value) and, when `distinctRows` is given (duplicates switch ticked), gives every
// record the value of the distinct row whose variable name equals its own byte for byte.
void RecordsFromRows(const std::vector<TListRow>& rows, const std::vector<TListRow>* distinctRows,
                     TFormats& formats, RunObserver& observer);

// A record the run could not apply (its page is missing, or its link can't be changed); the
// rest of the document is rebranded and saved without it.
struct NotAppliedRecord {
  std::string Page;
  std::string VariableName;
  std::string Reason;  // the library's message
};

struct RunResult {
  bool Saved = false;  // the output file was written, complete
  std::vector<NotAppliedRecord> NotApplied;
  // The library couldn't be unloaded after the output file was written; the file is sound.
  std::string UnloadProblem;

  explicit operator bool() const { return Saved; }
  bool SavedWholly() const { return Saved && NotApplied.empty(); }
};

// Runs the rebranding of `formats`. Failures show in the status text (a failed library call,
// "-1", leaves the status as it was); the output file is replaced only by a complete new one,
// so a failed run leaves an existing file as it was. Records that can't be applied don't stop
// the run: the file is saved with every other one, and the status says which were left out.
RunResult RunRebranding(const RunOptions& options, TFormats& formats, RunObserver& observer);

// The status text of a run that saved its file but could not apply `notApplied` (not empty):
// how many, and the first few as "page P (NAME)".
std::string SavedWithRecordsNotAppliedStatus(const std::vector<NotAppliedRecord>& notApplied);

// `source` with every occurrence of `oldText` replaced by `newText`, left to right, without
// overlaps; an empty `oldText` leaves `source` unchanged.
std::string SubstituteText(const std::string& source, const std::string& newText,
                           const std::string& oldText);

// Decimal text to a 32-bit integer; throws std::runtime_error
// "'<text>' is not a valid integer value" otherwise.
int32_t StrToInt(const std::string& text);

// True for the kinds whose occurrences are text in the page content ("Text", "Text Link",
// byte for byte); every other kind is a link annotation.
bool IsTextKind(const std::string& kind);
