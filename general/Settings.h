// Reading one value from an INI settings file by the rules of the Windows profile-file API
// (GetPrivateProfileString): the system's only configuration is the affiliate identifier.
#pragma once

#include <cstddef>
#include <string>

// The value of `key` in `[section]` of the INI file at `path`:
// - section and key names match without regard to ASCII letter case;
// - blanks around names and around the value are removed;
// - a value enclosed in one pair of matching quotes (" or ') loses them;
// - at most kMaxProfileValueLength bytes of the value are taken;
// - a key present with an empty value gives "", not the default;
// - `defaultValue` when the file, the section or the key is missing; an unreadable file counts as
//   missing.
// The first matching key of the first matching section that has it wins.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

inline constexpr std::size_t kMaxProfileValueLength = 2047;

// The affiliate identifier from "dbconfig.dat" in `folder` (with or without a trailing separator),
// section "Settings", key "AffiliateID", default "harrowfield".
std::string ReadAffiliateID(const std::string& folder);
