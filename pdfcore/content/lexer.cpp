#include "content/lexer.h"

#include "base/number_format.h"

namespace pdfcore::content {

namespace {

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsOctal(unsigned char c) { return c >= '0' && c <= '7'; }

}  // namespace

void Lexer::SkipWhiteAndComments() {
  while (pos_ < data_.size()) {
    unsigned char c = static_cast<unsigned char>(data_[pos_]);
    if (IsWhite(c)) {
      ++pos_;
    } else if (c == '%') {
      while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
    } else {
      return;
    }
  }
}

Token Lexer::Next() {
  SkipWhiteAndComments();
  Token token;
  token.begin = pos_;
  if (pos_ >= data_.size()) {
    token.end = pos_;
    return token;
  }
  unsigned char c = static_cast<unsigned char>(data_[pos_]);
  switch (c) {
    case '(':
      ReadLiteralString(token);
      break;
    case '<':
      if (pos_ + 1 < data_.size() && data_[pos_ + 1] == '<') {
        token.type = TokenType::kDictOpen;
        pos_ += 2;
      } else {
        ReadHexString(token);
      }
      break;
    case '>':
      if (pos_ + 1 < data_.size() && data_[pos_ + 1] == '>') {
        token.type = TokenType::kDictClose;
        pos_ += 2;
      } else {
        token.type = TokenType::kJunk;
        ++pos_;
      }
      break;
    case '[':
      token.type = TokenType::kArrayOpen;
      ++pos_;
      break;
    case ']':
      token.type = TokenType::kArrayClose;
      ++pos_;
      break;
    case '/':
      ReadName(token);
      break;
    case ')':
    case '{':
    case '}':
      token.type = TokenType::kJunk;
      ++pos_;
      break;
    default:
      ReadRegular(token);
      break;
  }
  token.end = pos_;
  return token;
}

namespace {

// Bytes of a literal string that are not just copied: nesting, escapes, line ends.
bool IsStringSpecial(char c) { return c == '(' || c == ')' || c == '\\' || c == '\r'; }

}  // namespace

void Lexer::ReadLiteralString(Token& token) {
  token.type = TokenType::kString;
  ++pos_;  // '('
  size_t depth = 1;
  std::string& out = token.text;
  while (pos_ < data_.size()) {
    // Most of a string is plain bytes: copy a run of them at once.
    size_t runEnd = pos_;
    while (runEnd < data_.size() && !IsStringSpecial(data_[runEnd])) ++runEnd;
    out.append(data_.substr(pos_, runEnd - pos_));
    pos_ = runEnd;
    if (pos_ >= data_.size()) break;
    char c = data_[pos_++];
    if (c == '(') {
      ++depth;
      out += c;
    } else if (c == ')') {
      if (--depth == 0) return;
      out += c;
    } else if (c == '\\') {
      if (pos_ >= data_.size()) break;
      char e = data_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case '\r':  // a line continuation
          if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
          break;
        case '\n':
          break;
        default:
          if (IsOctal(static_cast<unsigned char>(e))) {
            int value = e - '0';
            for (int n = 1;
                 n < 3 && pos_ < data_.size() && IsOctal(static_cast<unsigned char>(data_[pos_]));
                 ++n) {
              value = value * 8 + (data_[pos_++] - '0');
            }
            out += static_cast<char>(value & 0xFF);
          } else {
            out += e;  // \( \) \\ and unknown escapes: the character itself
          }
      }
    } else if (c == '\r') {
      // An end of line inside a string reads as a single newline.
      if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
      out += '\n';
    } else {
      out += c;
    }
  }
  token.complete = false;
}

void Lexer::ReadHexString(Token& token) {
  token.type = TokenType::kString;
  ++pos_;  // '<'
  int high = -1;
  while (pos_ < data_.size()) {
    unsigned char c = static_cast<unsigned char>(data_[pos_]);
    if (c == '>') {
      ++pos_;
      if (high >= 0) token.text += static_cast<char>(high << 4);  // odd digit count: pad 0
      return;
    }
    int value = HexValue(c);
    if (value < 0 && !IsWhite(c)) break;  // not a hex string after all
    ++pos_;
    if (value < 0) continue;
    if (high < 0) {
      high = value;
    } else {
      token.text += static_cast<char>((high << 4) | value);
      high = -1;
    }
  }
  token.type = TokenType::kJunk;
  token.complete = pos_ < data_.size();
}

void Lexer::ReadName(Token& token) {
  token.type = TokenType::kName;
  ++pos_;  // '/'
  while (pos_ < data_.size()) {
    unsigned char c = static_cast<unsigned char>(data_[pos_]);
    if (IsWhite(c) || IsDelimiter(c)) break;
    if (c == '#' && pos_ + 2 < data_.size()) {
      int high = HexValue(static_cast<unsigned char>(data_[pos_ + 1]));
      int low = HexValue(static_cast<unsigned char>(data_[pos_ + 2]));
      if (high >= 0 && low >= 0) {
        token.text += static_cast<char>((high << 4) | low);
        pos_ += 3;
        continue;
      }
    }
    token.text += static_cast<char>(c);
    ++pos_;
  }
}

void Lexer::ReadRegular(Token& token) {
  size_t start = pos_;
  while (pos_ < data_.size()) {
    unsigned char c = static_cast<unsigned char>(data_[pos_]);
    if (IsWhite(c) || IsDelimiter(c)) break;
    ++pos_;
  }
  std::string_view text = data_.substr(start, pos_ - start);
  if (ParsePdfNumber(text, token.number)) {
    token.type = TokenType::kNumber;
  } else if (text == "true" || text == "false") {
    token.type = TokenType::kBool;
    token.boolean = text == "true";
  } else if (text == "null") {
    token.type = TokenType::kNull;
  } else {
    token.type = TokenType::kOperator;
    token.text.assign(text);
  }
}

bool Lexer::EiStandsAlone(size_t at) const {
  // "EI" preceded by white space and followed by white space, a delimiter or the end.
  if (at == 0 || !IsWhite(static_cast<unsigned char>(data_[at - 1]))) return false;
  if (at + 2 > data_.size() || data_[at] != 'E' || data_[at + 1] != 'I') return false;
  if (at + 2 == data_.size()) return true;
  unsigned char next = static_cast<unsigned char>(data_[at + 2]);
  return IsWhite(next) || IsDelimiter(next);
}

bool Lexer::SkipInlineImageData(size_t knownLength) {
  // One white-space byte separates ID from the data.
  if (pos_ < data_.size() && IsWhite(static_cast<unsigned char>(data_[pos_]))) ++pos_;
  if (knownLength != std::string_view::npos && knownLength <= data_.size() - pos_) {
    size_t after = pos_ + knownLength;
    size_t probe = after;
    while (probe < data_.size() && IsWhite(static_cast<unsigned char>(data_[probe]))) ++probe;
    if (probe + 2 <= data_.size() && EiStandsAlone(probe)) {
      pos_ = probe + 2;
      return true;
    }
    if (probe + 2 <= data_.size() && data_[probe] == 'E' && data_[probe + 1] == 'I') {
      pos_ = probe + 2;  // EI right after the data, without white space before it
      return true;
    }
  }
  for (size_t at = data_.find("EI", pos_); at != std::string_view::npos;
       at = data_.find("EI", at + 1)) {
    if (EiStandsAlone(at)) {
      pos_ = at + 2;
      return true;
    }
  }
  pos_ = data_.size();
  return false;
}

}  // namespace pdfcore::content
