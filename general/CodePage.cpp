#include "CodePage.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Windows-1252 0x80-0x9F. The unassigned bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D map to the C1
// control of the same value, as the Windows conversion does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Windows1252ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) {
    return kWindows1252High[byte - 0x80];
  }
  return byte;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at `pos`; returns its length, or 0 when malformed.
std::size_t DecodeUTF8At(std::string_view text, std::size_t pos, char32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    minimum = 0x80;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    minimum = 0x800;
    codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    minimum = 0x10000;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - pos < length) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(next)) {
      return 0;
    }
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

void AppendUTF8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

void AppendUTF16(std::u16string& out, char32_t codePoint) {
  if (codePoint < 0x10000) {
    out += static_cast<char16_t>(codePoint);
  } else {
    codePoint -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
    out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
  }
}

}  // namespace

bool IsValidUTF8(std::string_view text) {
  char32_t codePoint;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = DecodeUTF8At(text, pos, codePoint);
    if (length == 0) {
      return false;
    }
    pos += length;
  }
  return true;
}

std::u32string SystemToUTF32(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  if (IsValidUTF8(text)) {
    char32_t codePoint;
    for (std::size_t pos = 0; pos < text.size();) {
      pos += DecodeUTF8At(text, pos, codePoint);
      out += codePoint;
    }
  } else {
    for (const char byte : text) {
      out += Windows1252ToCodePoint(static_cast<unsigned char>(byte));
    }
  }
  return out;
}

std::u16string SystemToUTF16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char32_t codePoint : SystemToUTF32(text)) {
    AppendUTF16(out, codePoint);
  }
  return out;
}

std::string UTF16ToSystem(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      unit = kReplacementCharacter;
    }
    AppendUTF8(out, unit);
  }
  return out;
}

std::string SystemToUTF8(std::string_view text) {
  if (IsValidUTF8(text)) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (const char byte : text) {
    AppendUTF8(out, Windows1252ToCodePoint(static_cast<unsigned char>(byte)));
  }
  return out;
}

std::string FileTextToUTF8(std::string_view text) { return SystemToUTF8(text); }

std::u16string UTF8ToUTF16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  char32_t codePoint;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = DecodeUTF8At(text, pos, codePoint);
    AppendUTF16(out, length == 0 ? kReplacementCharacter : codePoint);
    pos += length == 0 ? 1 : length;
  }
  return out;
}
