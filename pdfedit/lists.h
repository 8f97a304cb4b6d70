// The engine's two growable lists. Storage grows in fixed steps of 4196
// entries and is kept when a list is cleared, so that one engine reuses it
// from search to search.
#pragma once

#include <cstdint>
#include <vector>

// One occurrence of the search text found in a content.
struct TTextMatch {
  int32_t Handle = -1;       // -1: the page itself; otherwise the template handle
  int32_t FirstRecord = 0;   // text record where the occurrence begins
  int32_t LastRecord = 0;    // text record where its last character was matched
  int32_t FirstKerning = 0;  // kerning record where it begins; -1: the gap before the record
  int32_t FirstChar = 0;     // character where it begins; -1: it begins with a wide gap
  bool NewLine = false;      // first occurrence of its line (or of its content)
};

inline constexpr int32_t kListGrowthStep = 4196;

class CIntList {
 public:
  CIntList() = default;
  virtual ~CIntList() = default;

  // Throws std::runtime_error("Out of memory!") when the list cannot grow.
  void Add(int32_t value);
  // Entry i; throws std::out_of_range unless 0 <= i < Count().
  int32_t Get(int32_t i) const;
  // Looks the value up from both ends towards the middle.
  bool Contains(int32_t value) const;

  int32_t Capacity() const { return FCapacity; }
  int32_t Count() const { return FCount; }

 private:
  int32_t FCapacity = 0;
  int32_t FCount = 0;
  std::vector<int32_t> FItems;
};

class CRecordList {
 public:
  CRecordList() = default;
  virtual ~CRecordList() = default;

  // Throws std::runtime_error("Out of memory!") when the list cannot grow.
  void Add(int32_t handle, int32_t firstRecord, int32_t lastRecord, int32_t firstKerning,
           int32_t firstChar, bool newLine);
  // Forgets every entry and keeps the storage.
  void Clear() { FCount = 0; }
  // Entry i in place; throws std::out_of_range unless 0 <= i < Count().
  TTextMatch& Get(int32_t i);
  const TTextMatch& Get(int32_t i) const;

  int32_t Capacity() const { return FCapacity; }
  int32_t Count() const { return FCount; }

 private:
  int32_t FCapacity = 0;
  int32_t FCount = 0;
  std::vector<TTextMatch> FItems;
};
