// The scriptable stand-in for the PDF core library. Behaviour and log format: fakepdf.h.

#include "fakepdf.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Scripted data.

using WideText = std::vector<PDF_WCHAR>;

struct Piece {
  float advance = 0;
  WideText text;
  float width = 0;
};

struct ScriptedRecord {
  TPDFStack fields{};  // Kerning and Internal left empty; the pieces live below
  std::vector<Piece> pieces;
  int32_t result = 1;
};

struct WriteEntry {
  int32_t content = 0;
  TPDFMatrix matrix{};
  std::string text;
  int32_t length = 0;
  std::string family;
  int32_t style = 0;
  double fontSize = 0;
  int32_t fillColorSpace = 0;
  uint32_t fillColor = 0;
  int32_t strokeColorSpace = 0;
  uint32_t strokeColor = 0;
  int32_t drawMode = 0;
};

struct RemovalEntry {
  int32_t content = 0;
  int32_t recordIndex = 0;
  int32_t deleteKerningAt = 0;
};

// ---------------------------------------------------------------------------------------------
// Library instances.

struct OpenContent {
  int32_t handle = -1;
  bool started = false;  // pdfInitStack ran on this content since it was opened
  size_t next = 0;       // index of the next record to deliver
  int32_t lastDelivered = -1;
};

struct Instance {
  std::vector<OpenContent> open;  // open[0] is the page
  bool docOpen = false;
  std::string family;
  int32_t style = 0;
  double fontSize = 0;
  int32_t fillColorSpace = 0;
  uint32_t fillColor = 0;
  int32_t strokeColorSpace = 0;
  uint32_t strokeColor = 0;
  int32_t drawMode = 0;
  const void* errorData = nullptr;
  TErrorProc errorProc = nullptr;
  // Memory of the record delivered last, which the caller's record points into.
  std::vector<TPDFKerning> pieces;
  std::vector<WideText> texts;
};

struct FailRule {
  int32_t successesLeft = 0;
};

struct State {
  std::map<int32_t, std::vector<ScriptedRecord>> records;
  std::map<int32_t, std::vector<int32_t>> uses;
  std::map<const void*, TPDFFontInfo> fonts;
  std::deque<std::string> fontNames;  // every name handed out stays valid until reset
  std::vector<std::string> refusedFamilies;
  double charWidth = 10.0;
  std::map<PDF_WCHAR, double> charWidths;
  std::map<std::string, FailRule> failures;
  std::map<std::string, int32_t> forcedResults;
  std::map<std::string, int32_t> callCounts;
  std::string log;
  std::string logCopy;
  std::deque<WriteEntry> writes;
  std::vector<RemovalEntry> removals;
  std::vector<int32_t> flushes;
  int32_t badInstanceCalls = 0;
  // Instances survive fake_reset: a binding may still hold them.
  std::map<uintptr_t, std::unique_ptr<Instance>> instances;
  uintptr_t nextInstanceId = 1;
};

State& S() {
  static State state;
  return state;
}

void ResetScripts() {
  State& s = S();
  auto instances = std::move(s.instances);
  uintptr_t nextId = s.nextInstanceId;
  s = State();
  s.instances = std::move(instances);
  s.nextInstanceId = nextId;
}

// Instance handles are tokens, not addresses: a stale or foreign handle is recognised without
// touching memory, and tokens are never reused within one loaded copy.
constexpr uintptr_t kHandleBase = 0x7e570000;
constexpr uintptr_t kHandleStep = 16;

[[maybe_unused]] PPDF HandleOf(uintptr_t id) {
  return reinterpret_cast<PPDF>(kHandleBase + id * kHandleStep);
}

Instance* FindInstance(PPDF pdf) {
  auto value = reinterpret_cast<uintptr_t>(pdf);
  if (value < kHandleBase || (value - kHandleBase) % kHandleStep != 0) {
    return nullptr;
  }
  auto found = S().instances.find((value - kHandleBase) / kHandleStep);
  return found == S().instances.end() ? nullptr : found->second.get();
}

Instance* NewestInstance() {
  auto& instances = S().instances;
  return instances.empty() ? nullptr : instances.rbegin()->second.get();
}

// ---------------------------------------------------------------------------------------------
// Text conversions for the log and the recorded writes.

std::string Utf8FromUtf16(const PDF_WCHAR* text, int32_t length) {
  std::string out;
  auto put = [&out](uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  for (int32_t i = 0; i < length; ++i) {
    uint32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      put(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      put(0xFFFD);  // a lone surrogate
    } else {
      put(unit);
    }
  }
  return out;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string FormatDouble(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// ---------------------------------------------------------------------------------------------
// One export call: builds its log line, counts it, and applies scripted failures and results.

class Call {
 public:
  explicit Call(const char* name) : name_(name), line_(name) { ++S().callCounts[name_]; }
  ~Call() { S().log += line_ + '\n'; }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  Call& Int(int32_t value) { return Add(std::to_string(value)); }
  Call& Unsigned(uint32_t value) { return Add(std::to_string(value)); }
  Call& Float(double value) { return Add(FormatDouble(value)); }
  Call& Pointer(const void* value) { return Add(value != nullptr ? "nonnull" : "null"); }
  Call& Text(const char* value) { return Add(value != nullptr ? Quote(value) : "null"); }
  Call& Wide(const PDF_WCHAR* text, int32_t length) {
    if (text == nullptr) {
      return Add("null");
    }
    return Add(length < 0 ? "nonnull" : Quote(Utf8FromUtf16(text, length)));
  }
  Call& Matrix(const TPDFMatrix* m) {
    if (m == nullptr) {
      return Add("null");
    }
    return Add("[" + FormatDouble(m->a) + " " + FormatDouble(m->b) + " " + FormatDouble(m->c) +
               " " + FormatDouble(m->d) + " " + FormatDouble(m->e) + " " + FormatDouble(m->f) +
               "]");
  }

  // True when a script makes this call fail; consumes one of its allowed successes otherwise.
  bool Fails() {
    auto rule = S().failures.find(name_);
    if (rule == S().failures.end()) {
      return false;
    }
    if (rule->second.successesLeft > 0) {
      --rule->second.successesLeft;
      return false;
    }
    return true;
  }

  int32_t Result(int32_t normal) const {
    auto forced = S().forcedResults.find(name_);
    return forced == S().forcedResults.end() ? normal : forced->second;
  }

 private:
  Call& Add(const std::string& argument) {
    line_ += ' ';
    line_ += argument;
    return *this;
  }

  std::string name_;
  std::string line_;
};

Instance* Checked(PPDF pdf) {
  Instance* instance = FindInstance(pdf);
  if (instance == nullptr) {
    ++S().badInstanceCalls;
  }
  return instance;
}

bool IsKnownTemplate(int32_t handle) {
  const State& s = S();
  if (handle < 0) {
    return false;
  }
  if (s.records.count(handle) != 0 || s.uses.count(handle) != 0) {
    return true;
  }
  for (const auto& [content, used] : s.uses) {
    for (int32_t h : used) {
      if (h == handle) {
        return true;
      }
    }
  }
  return false;
}

const std::vector<ScriptedRecord>* RecordsOf(int32_t content) {
  auto found = S().records.find(content);
  return found == S().records.end() ? nullptr : &found->second;
}

int32_t UseCountOf(int32_t content) {
  auto found = S().uses.find(content);
  return found == S().uses.end() ? 0 : static_cast<int32_t>(found->second.size());
}

void ResetRecord(Instance& instance, TPDFStack& stack) {
  instance.pieces.clear();
  instance.texts.clear();
  void* internal = stack.Internal;
  stack = TPDFStack{};
  stack.ctm = TPDFMatrix{1, 0, 0, 1, 0, 0};
  stack.tm = TPDFMatrix{1, 0, 0, 1, 0, 0};
  stack.Internal = internal;
}

void Deliver(Instance& instance, const ScriptedRecord& record, TPDFStack& stack) {
  void* internal = stack.Internal;
  stack = record.fields;
  stack.Internal = internal;
  instance.texts.clear();
  instance.pieces.clear();
  instance.texts.reserve(record.pieces.size());
  for (const Piece& piece : record.pieces) {
    instance.texts.push_back(piece.text);
  }
  for (size_t i = 0; i < record.pieces.size(); ++i) {
    const Piece& piece = record.pieces[i];
    instance.pieces.push_back(TPDFKerning{piece.advance, instance.texts[i].data(),
                                          static_cast<int32_t>(piece.text.size()), piece.width});
  }
  stack.Kerning = instance.pieces.empty() ? nullptr : instance.pieces.data();
  stack.KerningCount = static_cast<int32_t>(instance.pieces.size());
}

bool IsRefused(const char* family) {
  for (const std::string& refused : S().refusedFamilies) {
    if (refused == family) {
      return true;
    }
  }
  return false;
}

int32_t FontIndexOf(const std::string& family) {
  // A stable, non-negative number per family, as a font handle would be.
  return static_cast<int32_t>(std::hash<std::string>{}(family)&0x3FFFFFFF);
}

int32_t SetFontCommon(const char* exportName, PPDF pdf, const char* name, int32_t style,
                      double size, int32_t embed, int32_t codePage) {
  Call call(exportName);
  call.Text(name).Int(style).Float(size).Int(embed).Int(codePage);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || name == nullptr || IsRefused(name)) {
    return -1;
  }
  instance->family = name;
  instance->style = style;
  instance->fontSize = size;
  return call.Result(FontIndexOf(instance->family));
}

// A simple operation that only logs: 1, or 0 when failing.
int32_t Simple(Call& call, PPDF pdf, int32_t failure = 0) {
  if (Checked(pdf) == nullptr || call.Fails()) {
    return failure;
  }
  return call.Result(1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The exports.

extern "C" {

#ifndef FAKEPDF_WITHOUT_NEW
PDF_EXPORT PPDF PDF_CALL pdfNewPDF(void) {
  Call call("pdfNewPDF");
  if (call.Fails()) {
    return nullptr;
  }
  State& s = S();
  uintptr_t id = s.nextInstanceId++;
  s.instances[id] = std::make_unique<Instance>();
  return HandleOf(id);
}
#endif

#ifndef FAKEPDF_WITHOUT_DELETE
PDF_EXPORT int32_t PDF_CALL pdfDeletePDF(PPDF pdf) {
  Call call("pdfDeletePDF");
  if (Checked(pdf) == nullptr || call.Fails()) {
    return 0;
  }
  auto value = reinterpret_cast<uintptr_t>(pdf);
  S().instances.erase((value - kHandleBase) / kHandleStep);
  return call.Result(1);
}
#endif

PDF_EXPORT int32_t PDF_CALL pdfChangeFontSize(PPDF pdf, double size) {
  Call call("pdfChangeFontSize");
  call.Float(size);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->fontSize = size;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfChangeLinkAnnot(PPDF pdf, int32_t handle, const char* target) {
  Call call("pdfChangeLinkAnnot");
  call.Int(handle).Text(target);
  if (target == nullptr) {
    Checked(pdf);
    return -1;
  }
  return Simple(call, pdf, -1);
}

PDF_EXPORT int32_t PDF_CALL pdfCloseFile(PPDF pdf) {
  Call call("pdfCloseFile");
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->docOpen = false;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfCloseImportFile(PPDF pdf) {
  Call call("pdfCloseImportFile");
  return Simple(call, pdf);
}

PDF_EXPORT int32_t PDF_CALL pdfCreateNewPDFA(PPDF pdf, const char* outputFileName) {
  Call call("pdfCreateNewPDFA");
  call.Text(outputFileName);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || outputFileName == nullptr) {
    return -1;
  }
  instance->docOpen = true;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfEditPage(PPDF pdf, int32_t page) {
  Call call("pdfEditPage");
  call.Int(page);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || page < 1 || !instance->open.empty()) {
    return 0;
  }
  instance->open.push_back(OpenContent{-1});
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfEditTemplate(PPDF pdf, int32_t index) {
  Call call("pdfEditTemplate");
  call.Int(index);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty()) {
    return 0;
  }
  int32_t content = instance->open.back().handle;
  if (index < 0 || index >= UseCountOf(content)) {
    return 0;
  }
  instance->open.push_back(OpenContent{S().uses[content][static_cast<size_t>(index)]});
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfEditTemplate2(PPDF pdf, int32_t handle) {
  Call call("pdfEditTemplate2");
  call.Int(handle);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty() || !IsKnownTemplate(handle)) {
    return 0;
  }
  instance->open.push_back(OpenContent{handle});
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfEndPage(PPDF pdf) {
  Call call("pdfEndPage");
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty()) {
    return 0;
  }
  instance->open.clear();
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfEndTemplate(PPDF pdf) {
  Call call("pdfEndTemplate");
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.size() < 2) {
    return 0;
  }
  instance->open.pop_back();
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfFlushPageContent(PPDF pdf, TPDFStack* stack) {
  Call call("pdfFlushPageContent");
  call.Pointer(stack);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty() || stack == nullptr) {
    return 0;
  }
  S().flushes.push_back(instance->open.back().handle);
  return call.Result(1);
}

#ifndef FAKEPDF_WITHOUT_FONT
PDF_EXPORT int32_t PDF_CALL fntGetFont(void* font, TPDFFontInfo* info) {
  Call call("fntGetFont");
  call.Pointer(font).Pointer(info);
  if (call.Fails() || info == nullptr) {
    return 0;
  }
  auto found = S().fonts.find(font);
  if (found == S().fonts.end()) {
    return 0;
  }
  *info = found->second;
  return call.Result(1);
}
#endif

PDF_EXPORT int32_t PDF_CALL pdfGetPageText(PPDF pdf, TPDFStack* stack) {
  Call call("pdfGetPageText");
  call.Pointer(stack);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty() || stack == nullptr) {
    return 0;
  }
  OpenContent& content = instance->open.back();
  const std::vector<ScriptedRecord>* records = RecordsOf(content.handle);
  if (!content.started || records == nullptr || content.next >= records->size()) {
    return 0;
  }
  const ScriptedRecord& record = (*records)[content.next];
  Deliver(*instance, record, *stack);
  content.lastDelivered = static_cast<int32_t>(content.next);
  ++content.next;
  return call.Result(record.result);
}

PDF_EXPORT int32_t PDF_CALL pdfGetTemplCount(PPDF pdf) {
  Call call("pdfGetTemplCount");
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty()) {
    return -1;
  }
  return call.Result(UseCountOf(instance->open.back().handle));
}

PDF_EXPORT int32_t PDF_CALL pdfGetTemplHandle(PPDF pdf) {
  Call call("pdfGetTemplHandle");
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.size() < 2) {
    return -1;
  }
  return call.Result(instance->open.back().handle);
}

PDF_EXPORT double PDF_CALL pdfGetTextWidthExW(PPDF pdf, const PDF_WCHAR* text, int32_t length) {
  Call call("pdfGetTextWidthExW");
  call.Wide(text, length).Int(length);
  if (Checked(pdf) == nullptr || call.Fails() || text == nullptr || length < 0) {
    return 0.0;
  }
  const State& s = S();
  double width = 0;
  for (int32_t i = 0; i < length; ++i) {
    auto special = s.charWidths.find(text[i]);
    width += special == s.charWidths.end() ? s.charWidth : special->second;
  }
  return width;
}

PDF_EXPORT int32_t PDF_CALL pdfHaveOpenDoc(PPDF pdf) {
  Call call("pdfHaveOpenDoc");
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  return call.Result(instance->docOpen ? 1 : 0);
}

PDF_EXPORT int32_t PDF_CALL pdfImportPDFFile(PPDF pdf, int32_t destPage, double scaleX,
                                             double scaleY) {
  Call call("pdfImportPDFFile");
  call.Int(destPage).Float(scaleX).Float(scaleY);
  return Simple(call, pdf, -1);
}

PDF_EXPORT int32_t PDF_CALL pdfInitStack(PPDF pdf, TPDFStack* stack) {
  Call call("pdfInitStack");
  call.Pointer(stack);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty() || stack == nullptr) {
    return 0;
  }
  OpenContent& content = instance->open.back();
  content.started = true;
  content.next = 0;
  content.lastDelivered = -1;
  ResetRecord(*instance, *stack);
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfOpenImportFileA(PPDF pdf, const char* fileName, int32_t mode,
                                               const char* password) {
  Call call("pdfOpenImportFileA");
  call.Text(fileName).Int(mode).Text(password);
  if (fileName == nullptr || password == nullptr) {
    Checked(pdf);
    return -1;
  }
  return Simple(call, pdf, -1);
}

PDF_EXPORT int32_t PDF_CALL pdfOpenOutputFileA(PPDF pdf, const char* fileName) {
  Call call("pdfOpenOutputFileA");
  call.Text(fileName);
  if (fileName == nullptr) {
    Checked(pdf);
    return 0;
  }
  return Simple(call, pdf);
}

PDF_EXPORT int32_t PDF_CALL pdfReplacePageTextA(PPDF pdf, const char* newText, TPDFStack* stack) {
  Call call("pdfReplacePageTextA");
  call.Text(newText).Pointer(stack);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty() || stack == nullptr ||
      newText == nullptr) {
    return 0;
  }
  const OpenContent& content = instance->open.back();
  if (content.lastDelivered < 0) {
    return 0;
  }
  S().removals.push_back(
      RemovalEntry{content.handle, content.lastDelivered, stack->DeleteKerningAt});
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfSetFillColor(PPDF pdf, uint32_t color) {
  Call call("pdfSetFillColor");
  call.Unsigned(color);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->fillColor = color;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfSetFillColorSpace(PPDF pdf, int32_t colorSpace) {
  Call call("pdfSetFillColorSpace");
  call.Int(colorSpace);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->fillColorSpace = colorSpace;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfSetFontA(PPDF pdf, const char* name, int32_t style, double size,
                                        int32_t embed, int32_t codePage) {
  return SetFontCommon("pdfSetFontA", pdf, name, style, size, embed, codePage);
}

#ifndef FAKEPDF_WITHOUT_FONT
PDF_EXPORT int32_t PDF_CALL pdfSetFontExA(PPDF pdf, const char* name, int32_t style, double size,
                                          int32_t embed, int32_t codePage) {
  return SetFontCommon("pdfSetFontExA", pdf, name, style, size, embed, codePage);
}
#endif

PDF_EXPORT int32_t PDF_CALL pdfSetImportFlags(PPDF pdf, uint32_t flags) {
  Call call("pdfSetImportFlags");
  call.Unsigned(flags);
  return Simple(call, pdf);
}

PDF_EXPORT int32_t PDF_CALL pdfSetOnErrorProc(PPDF pdf, const void* data, TErrorProc proc) {
  Call call("pdfSetOnErrorProc");
  call.Pointer(data).Pointer(reinterpret_cast<const void*>(proc));
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->errorData = data;
  instance->errorProc = proc;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfSetStrokeColor(PPDF pdf, uint32_t color) {
  Call call("pdfSetStrokeColor");
  call.Unsigned(color);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->strokeColor = color;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfSetStrokeColorSpace(PPDF pdf, int32_t colorSpace) {
  Call call("pdfSetStrokeColorSpace");
  call.Int(colorSpace);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->strokeColorSpace = colorSpace;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfSetTextDrawMode(PPDF pdf, int32_t mode) {
  Call call("pdfSetTextDrawMode");
  call.Int(mode);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails()) {
    return 0;
  }
  instance->drawMode = mode;
  return call.Result(1);
}

PDF_EXPORT int32_t PDF_CALL pdfWriteTextMatrixExW(PPDF pdf, const TPDFMatrix* matrix,
                                                  const PDF_WCHAR* text, int32_t length) {
  Call call("pdfWriteTextMatrixExW");
  call.Matrix(matrix).Wide(text, length).Int(length);
  Instance* instance = Checked(pdf);
  if (instance == nullptr || call.Fails() || instance->open.empty() || matrix == nullptr ||
      text == nullptr || length < 0) {
    return 0;
  }
  WriteEntry entry;
  entry.content = instance->open.back().handle;
  entry.matrix = *matrix;
  entry.text = Utf8FromUtf16(text, length);
  entry.length = length;
  entry.family = instance->family;
  entry.style = instance->style;
  entry.fontSize = instance->fontSize;
  entry.fillColorSpace = instance->fillColorSpace;
  entry.fillColor = instance->fillColor;
  entry.strokeColorSpace = instance->strokeColorSpace;
  entry.strokeColor = instance->strokeColor;
  entry.drawMode = instance->drawMode;
  S().writes.push_back(std::move(entry));
  return call.Result(1);
}

// ---------------------------------------------------------------------------------------------
// The control API.

FAKEPDF_API void fake_reset(void) { ResetScripts(); }

FAKEPDF_API int32_t fake_add_record_ex(int32_t content, const TPDFStack* record,
                                       int32_t getPageTextResult) {
  if (record == nullptr || record->KerningCount < 0 ||
      (record->KerningCount > 0 && record->Kerning == nullptr)) {
    return 0;
  }
  ScriptedRecord scripted;
  for (int32_t i = 0; i < record->KerningCount; ++i) {
    const TPDFKerning& piece = record->Kerning[i];
    if (piece.Length < 0 || (piece.Length > 0 && piece.Text == nullptr)) {
      return 0;
    }
    scripted.pieces.push_back(
        Piece{piece.Advance,
              piece.Length > 0 ? WideText(piece.Text, piece.Text + piece.Length) : WideText(),
              piece.Width});
  }
  scripted.fields = *record;
  scripted.fields.Kerning = nullptr;
  scripted.fields.KerningCount = 0;
  scripted.fields.Internal = nullptr;
  scripted.result = getPageTextResult;
  S().records[content].push_back(std::move(scripted));
  return 1;
}

FAKEPDF_API int32_t fake_add_record(int32_t content, const TPDFStack* record) {
  return fake_add_record_ex(content, record, 1);
}

FAKEPDF_API int32_t fake_add_template_use(int32_t content, int32_t templateHandle) {
  if (templateHandle < 0 || content < -1) {
    return 0;
  }
  S().uses[content].push_back(templateHandle);
  return 1;
}

FAKEPDF_API void fake_set_char_width(double width) { S().charWidth = width; }

FAKEPDF_API void fake_set_char_width_for(PDF_WCHAR character, double width) {
  S().charWidths[character] = width;
}

FAKEPDF_API void fake_refuse_font(const char* family) {
  if (family != nullptr) {
    S().refusedFamilies.emplace_back(family);
  }
}

FAKEPDF_API void fake_set_font_info(void* font, const TPDFFontInfo* info) {
  State& s = S();
  if (info == nullptr) {
    s.fonts.erase(font);
    return;
  }
  TPDFFontInfo copy = *info;
  if (info->FontName != nullptr) {
    s.fontNames.emplace_back(info->FontName);
    copy.FontName = s.fontNames.back().c_str();
  }
  s.fonts[font] = copy;
}

FAKEPDF_API void fake_fail(const char* exportName) { fake_fail_after(exportName, 0); }

FAKEPDF_API void fake_fail_after(const char* exportName, int32_t successes) {
  if (exportName != nullptr) {
    S().failures[exportName] = FailRule{successes < 0 ? 0 : successes};
  }
}

FAKEPDF_API void fake_set_result(const char* exportName, int32_t result) {
  if (exportName != nullptr) {
    S().forcedResults[exportName] = result;
  }
}

FAKEPDF_API int32_t fake_trigger_error(int32_t code, const char* message, int32_t type) {
  int32_t called = 0;
  for (auto& [id, instance] : S().instances) {
    if (instance->errorProc != nullptr) {
      instance->errorProc(instance->errorData, code, message != nullptr ? message : "", type);
      ++called;
    }
  }
  return called;
}

FAKEPDF_API const char* fake_log(void) {
  S().logCopy = S().log;
  return S().logCopy.c_str();
}

FAKEPDF_API void fake_clear_log(void) { S().log.clear(); }

FAKEPDF_API int32_t fake_call_count(const char* exportName) {
  if (exportName == nullptr) {
    return 0;
  }
  auto found = S().callCounts.find(exportName);
  return found == S().callCounts.end() ? 0 : found->second;
}

FAKEPDF_API int32_t fake_write_count(void) { return static_cast<int32_t>(S().writes.size()); }

FAKEPDF_API int32_t fake_get_write(int32_t index, FakeWrite* out) {
  const State& s = S();
  if (out == nullptr || index < 0 || index >= static_cast<int32_t>(s.writes.size())) {
    return 0;
  }
  const WriteEntry& entry = s.writes[static_cast<size_t>(index)];
  out->Content = entry.content;
  out->Matrix = entry.matrix;
  out->Text = entry.text.c_str();
  out->Length = entry.length;
  out->Family = entry.family.c_str();
  out->Style = entry.style;
  out->FontSize = entry.fontSize;
  out->FillColorSpace = entry.fillColorSpace;
  out->FillColor = entry.fillColor;
  out->StrokeColorSpace = entry.strokeColorSpace;
  out->StrokeColor = entry.strokeColor;
  out->DrawMode = entry.drawMode;
  return 1;
}

FAKEPDF_API int32_t fake_removal_count(void) { return static_cast<int32_t>(S().removals.size()); }

FAKEPDF_API int32_t fake_get_removal(int32_t index, int32_t* content, int32_t* recordIndex,
                                     int32_t* deleteKerningAt) {
  const State& s = S();
  if (index < 0 || index >= static_cast<int32_t>(s.removals.size())) {
    return 0;
  }
  const RemovalEntry& entry = s.removals[static_cast<size_t>(index)];
  if (content != nullptr) *content = entry.content;
  if (recordIndex != nullptr) *recordIndex = entry.recordIndex;
  if (deleteKerningAt != nullptr) *deleteKerningAt = entry.deleteKerningAt;
  return 1;
}

FAKEPDF_API int32_t fake_flush_count(void) { return static_cast<int32_t>(S().flushes.size()); }

FAKEPDF_API int32_t fake_get_flush(int32_t index, int32_t* content) {
  const State& s = S();
  if (index < 0 || index >= static_cast<int32_t>(s.flushes.size())) {
    return 0;
  }
  if (content != nullptr) *content = s.flushes[static_cast<size_t>(index)];
  return 1;
}

FAKEPDF_API int32_t fake_get_font_count(void) { return fake_call_count("fntGetFont"); }

FAKEPDF_API int32_t fake_live_instances(void) { return static_cast<int32_t>(S().instances.size()); }

FAKEPDF_API int32_t fake_bad_instance_calls(void) { return S().badInstanceCalls; }

FAKEPDF_API int32_t fake_open_content(void) {
  Instance* instance = NewestInstance();
  if (instance == nullptr || instance->open.empty()) {
    return INT32_MIN;
  }
  return instance->open.back().handle;
}

FAKEPDF_API int32_t fake_open_depth(void) {
  Instance* instance = NewestInstance();
  return instance == nullptr ? 0 : static_cast<int32_t>(instance->open.size());
}

}  // extern "C"

// Each export must have exactly the signature the binding casts it to.
#ifndef FAKEPDF_WITHOUT_NEW
static_assert(std::is_same_v<decltype(&pdfNewPDF), pfn_pdfNewPDF>);
#endif
#ifndef FAKEPDF_WITHOUT_DELETE
static_assert(std::is_same_v<decltype(&pdfDeletePDF), pfn_pdfDeletePDF>);
#endif
#ifndef FAKEPDF_WITHOUT_FONT
static_assert(std::is_same_v<decltype(&fntGetFont), pfn_fntGetFont>);
static_assert(std::is_same_v<decltype(&pdfSetFontExA), pfn_pdfSetFontExA>);
#endif
static_assert(std::is_same_v<decltype(&pdfChangeFontSize), pfn_pdfChangeFontSize>);
static_assert(std::is_same_v<decltype(&pdfChangeLinkAnnot), pfn_pdfChangeLinkAnnot>);
static_assert(std::is_same_v<decltype(&pdfCloseFile), pfn_pdfCloseFile>);
static_assert(std::is_same_v<decltype(&pdfCloseImportFile), pfn_pdfCloseImportFile>);
static_assert(std::is_same_v<decltype(&pdfCreateNewPDFA), pfn_pdfCreateNewPDFA>);
static_assert(std::is_same_v<decltype(&pdfEditPage), pfn_pdfEditPage>);
static_assert(std::is_same_v<decltype(&pdfEditTemplate), pfn_pdfEditTemplate>);
static_assert(std::is_same_v<decltype(&pdfEditTemplate2), pfn_pdfEditTemplate2>);
static_assert(std::is_same_v<decltype(&pdfEndPage), pfn_pdfEndPage>);
static_assert(std::is_same_v<decltype(&pdfEndTemplate), pfn_pdfEndTemplate>);
static_assert(std::is_same_v<decltype(&pdfFlushPageContent), pfn_pdfFlushPageContent>);
static_assert(std::is_same_v<decltype(&pdfGetPageText), pfn_pdfGetPageText>);
static_assert(std::is_same_v<decltype(&pdfGetTemplCount), pfn_pdfGetTemplCount>);
static_assert(std::is_same_v<decltype(&pdfGetTemplHandle), pfn_pdfGetTemplHandle>);
static_assert(std::is_same_v<decltype(&pdfGetTextWidthExW), pfn_pdfGetTextWidthExW>);
static_assert(std::is_same_v<decltype(&pdfHaveOpenDoc), pfn_pdfHaveOpenDoc>);
static_assert(std::is_same_v<decltype(&pdfImportPDFFile), pfn_pdfImportPDFFile>);
static_assert(std::is_same_v<decltype(&pdfInitStack), pfn_pdfInitStack>);
static_assert(std::is_same_v<decltype(&pdfOpenImportFileA), pfn_pdfOpenImportFileA>);
static_assert(std::is_same_v<decltype(&pdfOpenOutputFileA), pfn_pdfOpenOutputFileA>);
static_assert(std::is_same_v<decltype(&pdfReplacePageTextA), pfn_pdfReplacePageTextA>);
static_assert(std::is_same_v<decltype(&pdfSetFillColor), pfn_pdfSetFillColor>);
static_assert(std::is_same_v<decltype(&pdfSetFillColorSpace), pfn_pdfSetFillColorSpace>);
static_assert(std::is_same_v<decltype(&pdfSetFontA), pfn_pdfSetFontA>);
static_assert(std::is_same_v<decltype(&pdfSetImportFlags), pfn_pdfSetImportFlags>);
static_assert(std::is_same_v<decltype(&pdfSetOnErrorProc), pfn_pdfSetOnErrorProc>);
static_assert(std::is_same_v<decltype(&pdfSetStrokeColor), pfn_pdfSetStrokeColor>);
static_assert(std::is_same_v<decltype(&pdfSetStrokeColorSpace), pfn_pdfSetStrokeColorSpace>);
static_assert(std::is_same_v<decltype(&pdfSetTextDrawMode), pfn_pdfSetTextDrawMode>);
static_assert(std::is_same_v<decltype(&pdfWriteTextMatrixExW), pfn_pdfWriteTextMatrixExW>);
