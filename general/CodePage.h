// 8-bit strings of the workflow (variables file, settings, paths) are UTF-8 on Linux. Packages made
// on Windows carry Windows-1252 text instead: a file that is not valid UTF-8 is read as
// Windows-1252, so old packages keep working. The choice is made once for a whole file where it
// is read (FileTextToUTF8), and everything inside the program is UTF-8; deciding per string
// would read two strings of one file differently, and a string joined from a Windows-1252 part
// and a UTF-8 part would come out wrong either way.
#pragma once

#include <string>
#include <string_view>

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUTF8(std::string_view text);

// UTF-8 when valid, else Windows-1252 (0x80-0x9F by its table; its five unassigned bytes map to
// the C1 controls of the same value).
std::u16string SystemToUTF16(std::string_view text);

// UTF-8; an unpaired surrogate becomes U+FFFD.
std::string UTF16ToSystem(std::u16string_view text);

// Valid UTF-8 unchanged; a Windows-1252 string converted to UTF-8.
std::string SystemToUTF8(std::string_view text);

// The text of a whole file as UTF-8: unchanged when valid UTF-8, else every byte read as
// Windows-1252.
std::string FileTextToUTF8(std::string_view text);

// UTF-8 text inside the program to UTF-16; a byte that is not part of a well-formed sequence
// becomes U+FFFD.
std::u16string UTF8ToUTF16(std::string_view text);

// Code points of a system string by the same rule as SystemToUTF16.
std::u32string SystemToUTF32(std::string_view text);
