#include "RebrandRun.h"

#include <charconv>
#include <exception>
#include <memory>
#include <stdexcept>

#include "CodePage.h"
#include "OnPDFError.h"
#include "TPDF.h"
#include "pdf_edit_text.h"

namespace {

constexpr uint32_t kImportFlags = 0x8FFFFFFE;
constexpr const char* kEngineFailure = "-1";

// The library's last error message of the run under way, so a run that ends quietly (the
// import or the output file can't be opened) can still say why.
std::string& LastLibraryErrorText() {
  static std::string text;
  return text;
}

int32_t PDF_CALL RecordingErrorProc(const void* data, int32_t code, const char* message,
                                    int32_t type) {
  if (message != nullptr && (type & PDF_E_NOTICE) == 0) {
    LastLibraryErrorText() = message;
  }
  return OnPDFError(data, code, message, type);
}

std::string WithLibraryReason(const std::string& what) {
  const std::string& reason = LastLibraryErrorText();
  return reason.empty() ? what : what + ": " + reason;
}

// The engine must go before the binding it uses, on every path out of a run.
struct RunResources {
  std::unique_ptr<TPDF> pdf;
  std::unique_ptr<CPDFEditText> engine;

  void Destroy() {
    engine.reset();
    pdf.reset();
  }
  ~RunResources() { Destroy(); }
};

std::string LibraryReasonOr(const std::string& fallback) {
  const std::string& reason = LastLibraryErrorText();
  return reason.empty() ? fallback : reason;
}

// Applies one record. A page the document lacks or a link that can't be changed leaves that
// record out, described in `notApplied`; the run goes on with the others.
void ReplaceVariable(TPDF& pdf, CPDFEditText& engine, const TFormat& record,
                     std::vector<NotAppliedRecord>& notApplied) {
  const int32_t page = StrToInt(record.Page);
  const bool link = !IsTextKind(record.Kind);
  const int32_t handle = link ? StrToInt(record.LinkHandle) : 0;
  LastLibraryErrorText().clear();
  if (pdf.EditPage(page) == 0) {
    notApplied.push_back({record.Page, record.VariableName,
                          LibraryReasonOr("page " + record.Page + " can't be opened")});
    return;
  }
  if (!link) {
    if (engine.FindAll(UTF8ToUTF16(record.TaggedText)) > 0) {
      engine.ReplaceAll(UTF8ToUTF16(record.Value));
    }
  } else {
    const std::string target = SubstituteText(record.TaggedText, record.Value, record.VariableName);
    if (pdf.ChangeLinkAnnot(handle, target) < 0) {
      notApplied.push_back({record.Page, record.VariableName,
                            LibraryReasonOr("link " + record.LinkHandle + " can't be changed")});
    }
  }
  pdf.EndPage();
}

void ShowFinished(RunObserver& observer) {
  observer.SetGaugeMax(100);
  observer.SetGaugeValue(100);
}

}  // namespace

TListRow RowFromRecord(const TFormat& record) {
  TListRow row;
  row.Caption = record.TaggedText;
  row.SubItems[kDefaultValue] = record.Value;
  row.SubItems[kKind] = record.Kind;
  row.SubItems[kPage] = record.Page;
  row.SubItems[kLinkHandle] = record.LinkHandle;
  row.SubItems[kVariableName] = record.VariableName;
  return row;
}

static const std::string& EffectiveValue(const TListRow& row) {
  const std::string& custom = row.SubItems[kCustomValue];
  return custom.empty() ? row.SubItems[kDefaultValue] : custom;
}

void RecordsFromRows(const std::vector<TListRow>& rows, const std::vector<TListRow>* distinctRows,
                     TFormats& formats, RunObserver& observer) {
  const int rowCount = static_cast<int>(rows.size());
  observer.SetGaugeMax(rowCount);
  observer.SetGaugeValue(0);
  observer.SetStatus(kStatusPreparing);
  formats.ClearAll();
  for (int i = 0; i < rowCount; ++i) {
    observer.SetGaugeValue(i + 1);
    observer.ServeMessages();
    const TListRow& row = rows[static_cast<size_t>(i)];
    auto record = std::make_unique<TFormat>();
    record->Enabled = true;
    record->TaggedText = row.Caption;
    record->Value = EffectiveValue(row);
    record->Kind = row.SubItems[kKind];
    record->Page = row.SubItems[kPage];
    record->LinkHandle = row.SubItems[kLinkHandle];
    record->VariableName = row.SubItems[kVariableName];
    std::string text = record->TaggedText;
    formats.AddObject(std::move(text), std::move(record));
  }
  if (distinctRows == nullptr) {
    return;
  }
  // The gauge keeps the length of the full list, as the preparation phase used it.
  observer.SetGaugeMax(rowCount);
  observer.SetGaugeValue(0);
  observer.SetStatus(kStatusRemovingDuplicates);
  for (size_t j = 0; j < distinctRows->size(); ++j) {
    observer.SetGaugeValue(static_cast<int>(j) + 1);
    const TListRow& row = (*distinctRows)[j];
    for (size_t k = 0; k < formats.Count(); ++k) {
      TFormat& record = formats.Objects(k);
      if (record.VariableName == row.SubItems[kVariableName]) {
        record.Value = EffectiveValue(row);
        record.Enabled = row.Checked;
      }
    }
  }
}

RunResult RunRebranding(const RunOptions& options, TFormats& formats, RunObserver& observer) {
  RunResult result;
  RunResources run;
  LastLibraryErrorText().clear();
  try {
    run.pdf = std::make_unique<TPDF>(options.LibraryName.empty() ? TPDF::DefaultLibraryName
                                                                 : options.LibraryName);
    run.engine = std::make_unique<CPDFEditText>(*run.pdf);
    TPDF& pdf = *run.pdf;
    const std::string outputPath = options.OutputFileName;

    pdf.CreateNewPDF("");
    pdf.SetOnErrorProc(nullptr, &RecordingErrorProc);
    pdf.SetImportFlags(kImportFlags);
    if (pdf.OpenImportFile(options.PDFFileName, 0, "") < 0) {
      run.Destroy();
      observer.SetStatus(
          WithLibraryReason("Cannot open the rebrandable PDF \"" + options.PDFFileName + "\""));
      return result;
    }
    pdf.ImportPDFFile(1, 1.0, 1.0);
    pdf.CloseImportFile();

    observer.SetGaugeMax(static_cast<int>(formats.Count()));
    observer.SetGaugeValue(0);
    observer.SetStatus(kStatusReplacing);
    for (size_t i = 0; i < formats.Count(); ++i) {
      observer.SetGaugeValue(static_cast<int>(i) + 1);
      observer.RecordStep();
      const TFormat& record = formats.Objects(i);
      if (record.Enabled) {
        ReplaceVariable(pdf, *run.engine, record, result.NotApplied);
      }
    }

    if (pdf.HaveOpenDoc() != 0) {
      LastLibraryErrorText().clear();
      pdf.SetOnErrorProc(nullptr, nullptr);
      if (pdf.OpenOutputFile(outputPath) == 0) {
        run.Destroy();
        observer.SetStatus("Cannot write the output file \"" + outputPath + "\"");
        return result;
      }
      pdf.SetOnErrorProc(nullptr, &RecordingErrorProc);
    }
    if (!pdf.CloseFile()) {
      // The library writes beside the target and renames only a complete file, so the old
      // file is still there; saying "saved" here would report a failure as success.
      run.Destroy();
      ShowFinished(observer);
      observer.SetStatus(WithLibraryReason("Cannot write the output file \"" + outputPath + "\""));
      observer.ServeMessages();
      return result;
    }
    result.Saved = true;
  } catch (const std::exception& failure) {
    if (std::string(failure.what()) != kEngineFailure) {
      observer.SetStatus(failure.what());
    }
    run.Destroy();
    ShowFinished(observer);
    observer.ServeMessages();
    result = RunResult{};
    return result;
  }
  run.Destroy();
  result.UnloadProblem = TPDF::LastDestructionError();
  ShowFinished(observer);
  std::string status = result.NotApplied.empty()
                           ? std::string(kStatusSaved)
                           : SavedWithRecordsNotAppliedStatus(result.NotApplied);
  // The file is written and complete whatever unloading the library met; say both.
  if (!result.UnloadProblem.empty())
    status += " (unloading the PDF library: " + result.UnloadProblem + ")";
  observer.SetStatus(status);
  observer.ServeMessages();
  return result;
}

std::string SavedWithRecordsNotAppliedStatus(const std::vector<NotAppliedRecord>& notApplied) {
  constexpr size_t kNamedInStatus = 3;
  const size_t count = notApplied.size();
  std::string status = "Rebranded PDF saved, but " + std::to_string(count) +
                       (count == 1 ? " record was" : " records were") + " not applied: ";
  for (size_t i = 0; i < count && i < kNamedInStatus; ++i) {
    if (i > 0) status += ", ";
    status += "page " + notApplied[i].Page + " (" + notApplied[i].VariableName + ")";
  }
  if (count > kNamedInStatus) status += " and " + std::to_string(count - kNamedInStatus) + " more";
  return status;
}

std::string SubstituteText(const std::string& source, const std::string& newText,
                           const std::string& oldText) {
  if (oldText.empty()) {
    return source;
  }
  std::string result;
  size_t from = 0;
  for (size_t at = source.find(oldText); at != std::string::npos; at = source.find(oldText, from)) {
    result.append(source, from, at - from);
    result += newText;
    from = at + oldText.size();
  }
  result.append(source, from, std::string::npos);
  return result;
}

int32_t StrToInt(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+' && first + 1 != last && first[1] != '-') {
    ++first;
  }
  int32_t value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last) {
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  }
  return value;
}

bool IsTextKind(const std::string& kind) { return kind == "Text" || kind == "Text Link"; }
