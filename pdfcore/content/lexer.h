// Tokens of a content stream, with the byte offsets the editor needs to rewrite operators in
// place. The lexer never recurses and never allocates more than the token it returns: nesting of
// arrays and dictionaries is left to the caller, which only counts it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pdfcore::content {

enum class TokenType {
  kNumber,
  kString,  // literal or hexadecimal; `text` holds the decoded bytes
  kName,    // `text` holds the name without the slash, #xx escapes decoded
  kBool,
  kNull,
  kArrayOpen,
  kArrayClose,
  kDictOpen,
  kDictClose,
  kOperator,  // any other run of regular characters; `text` holds it
  kJunk,      // a byte that starts no token (a stray ')' or '>', an unterminated hex string)
  kEnd,
};

struct Token {
  TokenType type = TokenType::kEnd;
  std::string text;
  double number = 0;
  bool boolean = false;
  bool complete = true;  // false: an unterminated string ran into the end of the data
  size_t begin = 0;      // byte range of the token in the data
  size_t end = 0;
};

class Lexer {
 public:
  explicit Lexer(std::string_view data) : data_(data) {}

  // The next token; kEnd at the end of the data (and for every call after it).
  Token Next();

  // After the ID operator of an inline image: skips its data up to and including the EI
  // operator. `knownLength` is the data size when the image dictionary tells it (unfiltered
  // images), else npos; the data is then searched for an EI that stands alone. False when no
  // EI was found: the rest of the content is taken as image data.
  bool SkipInlineImageData(size_t knownLength);

  size_t Position() const { return pos_; }
  std::string_view Data() const { return data_; }

  static bool IsWhite(unsigned char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
  }
  static bool IsDelimiter(unsigned char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
  }

 private:
  void SkipWhiteAndComments();
  void ReadLiteralString(Token& token);
  void ReadHexString(Token& token);
  void ReadName(Token& token);
  void ReadRegular(Token& token);
  bool EiStandsAlone(size_t at) const;

  std::string_view data_;
  size_t pos_ = 0;
};

}  // namespace pdfcore::content
