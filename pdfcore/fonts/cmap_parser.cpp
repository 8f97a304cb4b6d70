#include "fonts/cmap_parser.h"

#include <algorithm>

#include "fonts/glyph_names.h"

namespace pdfcore {
namespace {

enum class TokenKind { kEnd, kHex, kString, kName, kNumber, kKeyword, kArrayOpen, kArrayClose };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;  // bytes of a string, name without '/', keyword or number text
};

bool IsWhite(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A PostScript-style tokenizer, just enough for CMaps. Dictionaries (<< >>) and procedures are
// skipped as keywords; every call consumes at least one byte until the end.
class Lexer {
 public:
  explicit Lexer(std::string_view data) : data_(data) {}

  Token Next() {
    SkipWhiteAndComments();
    Token token;
    if (pos_ >= data_.size()) return token;
    char c = data_[pos_];
    if (c == '<') {
      if (pos_ + 1 < data_.size() && data_[pos_ + 1] == '<') {
        pos_ += 2;
        token.kind = TokenKind::kKeyword;
        token.text = "<<";
        return token;
      }
      return ReadHex();
    }
    if (c == '>') {
      pos_ += (pos_ + 1 < data_.size() && data_[pos_ + 1] == '>') ? 2 : 1;
      token.kind = TokenKind::kKeyword;
      token.text = ">>";
      return token;
    }
    if (c == '(') return ReadString();
    if (c == '[') {
      ++pos_;
      token.kind = TokenKind::kArrayOpen;
      return token;
    }
    if (c == ']') {
      ++pos_;
      token.kind = TokenKind::kArrayClose;
      return token;
    }
    if (c == '/') {
      ++pos_;
      token.kind = TokenKind::kName;
      token.text = ReadRegular();
      return token;
    }
    if (c == '{' || c == '}' || c == ')') {
      ++pos_;
      token.kind = TokenKind::kKeyword;
      token.text = std::string(1, c);
      return token;
    }
    token.text = ReadRegular();
    bool numeric =
        !token.text.empty() && std::all_of(token.text.begin(), token.text.end(), [](char ch) {
          return (ch >= '0' && ch <= '9') || ch == '-' || ch == '+' || ch == '.';
        });
    token.kind = numeric ? TokenKind::kNumber : TokenKind::kKeyword;
    return token;
  }

 private:
  void SkipWhiteAndComments() {
    while (pos_ < data_.size()) {
      if (IsWhite(data_[pos_])) {
        ++pos_;
      } else if (data_[pos_] == '%') {
        while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
      } else {
        break;
      }
    }
  }

  std::string ReadRegular() {
    size_t start = pos_;
    while (pos_ < data_.size() && !IsWhite(data_[pos_]) && !IsDelimiter(data_[pos_])) ++pos_;
    if (pos_ == start) ++pos_;  // a stray delimiter: skip it
    return std::string(data_.substr(start, pos_ - start));
  }

  Token ReadHex() {
    Token token;
    token.kind = TokenKind::kHex;
    ++pos_;
    int pending = -1;
    while (pos_ < data_.size() && data_[pos_] != '>') {
      int value = HexValue(data_[pos_++]);
      if (value < 0) continue;
      if (pending < 0) {
        pending = value;
      } else {
        token.text.push_back(static_cast<char>(pending * 16 + value));
        pending = -1;
      }
    }
    if (pending >= 0) token.text.push_back(static_cast<char>(pending * 16));
    if (pos_ < data_.size()) ++pos_;
    return token;
  }

  Token ReadString() {
    Token token;
    token.kind = TokenKind::kString;
    ++pos_;
    int depth = 1;
    while (pos_ < data_.size()) {
      char c = data_[pos_++];
      if (c == '\\' && pos_ < data_.size()) {
        char e = data_[pos_++];
        switch (e) {
          case 'n':
            token.text.push_back('\n');
            break;
          case 'r':
            token.text.push_back('\r');
            break;
          case 't':
            token.text.push_back('\t');
            break;
          case 'b':
            token.text.push_back('\b');
            break;
          case 'f':
            token.text.push_back('\f');
            break;
          default:
            if (e >= '0' && e <= '7') {
              int value = e - '0';
              for (int i = 0;
                   i < 2 && pos_ < data_.size() && data_[pos_] >= '0' && data_[pos_] <= '7'; ++i) {
                value = value * 8 + (data_[pos_++] - '0');
              }
              token.text.push_back(static_cast<char>(value & 0xFF));
            } else if (e != '\n' && e != '\r') {
              token.text.push_back(e);
            }
        }
        continue;
      }
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) break;
      token.text.push_back(c);
    }
    return token;
  }

  std::string_view data_;
  size_t pos_ = 0;
};

bool IsCode(const Token& token) {
  return (token.kind == TokenKind::kHex || token.kind == TokenKind::kString) &&
         !token.text.empty() && token.text.size() <= 4;
}

uint32_t CodeValue(std::string_view bytes) {
  uint32_t value = 0;
  for (unsigned char b : bytes) value = (value << 8) | b;
  return value;
}

class Parser {
 public:
  Parser(std::string_view data, const CMapLimits& limits) : lexer_(data), limits_(limits) {}

  ParsedCMap Run() {
    Token previous;
    while (true) {
      Token token = Take();
      if (token.kind == TokenKind::kEnd) break;
      if (token.kind == TokenKind::kKeyword) {
        if (token.text == "begincodespacerange") {
          ReadCodespace();
        } else if (token.text == "beginbfchar") {
          ReadBfChar();
        } else if (token.text == "beginbfrange") {
          ReadBfRange();
        } else if (token.text == "begincidchar") {
          ReadCidChar();
        } else if (token.text == "begincidrange") {
          ReadCidRange();
        } else if (token.text == "usecmap" && previous.kind == TokenKind::kName) {
          result_.useCMap = previous.text;
        }
      }
      previous = std::move(token);
    }
    if (tokensExhausted_) result_.problems.push_back("CMap too long, read in part");
    return std::move(result_);
  }

 private:
  Token Take() {
    if (++tokens_ > limits_.maxTokens) {
      tokensExhausted_ = true;
      return Token{};
    }
    return lexer_.Next();
  }

  // Reads the operands of one entry up to `count` tokens; false at the section's end keyword.
  bool ReadEntry(std::vector<Token>& operands, size_t count, std::string_view endKeyword) {
    operands.clear();
    while (operands.size() < count) {
      Token token = Take();
      if (token.kind == TokenKind::kEnd) return false;
      if (token.kind == TokenKind::kKeyword) {
        if (token.text == endKeyword) return false;
        operands.clear();  // junk: resynchronise on the next entry
        continue;
      }
      operands.push_back(std::move(token));
    }
    return true;
  }

  void ReadCodespace() {
    std::vector<Token> ops;
    while (ReadEntry(ops, 2, "endcodespacerange")) {
      if (!IsCode(ops[0]) || !IsCode(ops[1]) || ops[0].text.size() != ops[1].text.size()) {
        NoteProblem("bad codespace range");
        continue;
      }
      if (result_.codespace.size() >= 256) {
        NoteProblem("too many codespace ranges");
        continue;
      }
      result_.codespace.push_back({CodeValue(ops[0].text), CodeValue(ops[1].text),
                                   static_cast<uint8_t>(ops[0].text.size())});
    }
  }

  std::u16string DestinationText(const Token& token) {
    std::u16string text;
    if (token.kind == TokenKind::kName) {
      text = GlyphNameToUnicode(token.text);
    } else if (token.kind == TokenKind::kHex || token.kind == TokenKind::kString) {
      text = Utf16FromBigEndian(token.text);
    }
    if (text.size() > limits_.maxTextUnits) {
      NoteProblem("ToUnicode text of one code too long, cut");
      text.resize(limits_.maxTextUnits);
      if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
    }
    return text;
  }

  bool Store(uint32_t code, std::u16string text) {
    if (result_.unicode.size() >= limits_.maxMappings && !result_.unicode.contains(code)) {
      NoteProblem("ToUnicode map too large, cut");
      return false;
    }
    result_.unicode[code] = std::move(text);
    return true;
  }

  void ReadBfChar() {
    std::vector<Token> ops;
    while (ReadEntry(ops, 2, "endbfchar")) {
      if (!IsCode(ops[0])) {
        NoteProblem("bad bfchar entry");
        continue;
      }
      Store(CodeValue(ops[0].text), DestinationText(ops[1]));
    }
  }

  // An array destination: one text per code of the range.
  bool ReadRangeArray(uint32_t low, uint32_t high) {
    uint64_t code = low;
    while (true) {
      Token token = Take();
      if (token.kind == TokenKind::kEnd) return false;
      if (token.kind == TokenKind::kArrayClose) return true;
      if (token.kind == TokenKind::kKeyword) return token.text != "endbfrange";
      if (code <= high) Store(static_cast<uint32_t>(code), DestinationText(token));
      ++code;
    }
  }

  void ReadBfRange() {
    std::vector<Token> ops;
    while (ReadEntry(ops, 2, "endbfrange")) {
      Token destination = Take();
      if (!IsCode(ops[0]) || !IsCode(ops[1])) {
        NoteProblem("bad bfrange entry");
        continue;
      }
      uint32_t low = CodeValue(ops[0].text);
      uint32_t high = CodeValue(ops[1].text);
      if (high < low) {
        NoteProblem("bfrange with its end before its start");
        continue;
      }
      if (high - low >= limits_.maxRangeCodes) {
        NoteProblem("bfrange too large, cut");
        high = low + static_cast<uint32_t>(limits_.maxRangeCodes) - 1;
      }
      if (destination.kind == TokenKind::kArrayOpen) {
        if (!ReadRangeArray(low, high)) return;
        continue;
      }
      if (destination.kind == TokenKind::kKeyword && destination.text == "endbfrange") return;
      std::u16string text = DestinationText(destination);
      if (text.empty()) continue;
      for (uint64_t code = low; code <= high; ++code) {
        if (!Store(static_cast<uint32_t>(code), text)) break;
        // The last code unit counts up through the range.
        text.back() = static_cast<char16_t>(text.back() + 1);
      }
    }
  }

  void AddCidRange(uint32_t low, uint32_t high, const Token& cid) {
    if (cid.kind != TokenKind::kNumber) {
      NoteProblem("bad CID in CMap");
      return;
    }
    if (result_.cids.size() >= limits_.maxCidRanges) {
      NoteProblem("CMap has too many CID ranges, cut");
      return;
    }
    long value = std::strtol(cid.text.c_str(), nullptr, 10);
    if (value < 0 || high < low) {
      NoteProblem("bad CID range in CMap");
      return;
    }
    result_.cids.push_back({low, high, static_cast<uint32_t>(std::min<long>(value, 0xFFFFFF))});
  }

  void ReadCidChar() {
    std::vector<Token> ops;
    while (ReadEntry(ops, 2, "endcidchar")) {
      if (!IsCode(ops[0])) continue;
      uint32_t code = CodeValue(ops[0].text);
      AddCidRange(code, code, ops[1]);
    }
  }

  void ReadCidRange() {
    std::vector<Token> ops;
    while (ReadEntry(ops, 3, "endcidrange")) {
      if (!IsCode(ops[0]) || !IsCode(ops[1])) continue;
      AddCidRange(CodeValue(ops[0].text), CodeValue(ops[1].text), ops[2]);
    }
  }

  void NoteProblem(std::string problem) {
    if (std::find(result_.problems.begin(), result_.problems.end(), problem) ==
        result_.problems.end()) {
      result_.problems.push_back(std::move(problem));
    }
  }

  Lexer lexer_;
  const CMapLimits& limits_;
  ParsedCMap result_;
  size_t tokens_ = 0;
  bool tokensExhausted_ = false;
};

}  // namespace

std::u16string Utf16FromBigEndian(std::string_view bytes) {
  std::u16string units;
  if (bytes.size() == 1) {
    units.push_back(static_cast<unsigned char>(bytes[0]));
    return units;
  }
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                          static_cast<unsigned char>(bytes[i + 1])));
  }
  for (size_t i = 0; i < units.size(); ++i) {
    bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      units[i] = 0xFFFD;
    }
  }
  return units;
}

ParsedCMap ParseCMap(std::string_view data, const CMapLimits& limits) {
  return Parser(data, limits).Run();
}

}  // namespace pdfcore
