#include "lists.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace {

// Makes room for one more entry, growing by the fixed step.
template <typename T>
void GrowForOneMore(std::vector<T>& items, int32_t& capacity, int32_t count) {
  if (count + 1 <= capacity) return;
  if (capacity > std::numeric_limits<int32_t>::max() - kListGrowthStep) {
    throw std::runtime_error("Out of memory!");
  }
  try {
    items.resize(static_cast<size_t>(capacity) + kListGrowthStep);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("Out of memory!");
  }
  capacity += kListGrowthStep;
}

void CheckIndex(int32_t i, int32_t count) {
  if (i < 0 || i >= count) {
    throw std::out_of_range("list index " + std::to_string(i) + " out of range");
  }
}

}  // namespace

void CIntList::Add(int32_t value) {
  GrowForOneMore(FItems, FCapacity, FCount);
  FItems[static_cast<size_t>(FCount)] = value;
  ++FCount;
}

int32_t CIntList::Get(int32_t i) const {
  CheckIndex(i, FCount);
  return FItems[static_cast<size_t>(i)];
}

bool CIntList::Contains(int32_t value) const {
  int32_t low = 0;
  int32_t high = FCount - 1;
  while (low <= high) {
    if (FItems[static_cast<size_t>(low)] == value || FItems[static_cast<size_t>(high)] == value) {
      return true;
    }
    ++low;
    --high;
  }
  return false;
}

void CRecordList::Add(int32_t handle, int32_t firstRecord, int32_t lastRecord, int32_t firstKerning,
                      int32_t firstChar, bool newLine) {
  GrowForOneMore(FItems, FCapacity, FCount);
  FItems[static_cast<size_t>(FCount)] =
      TTextMatch{handle, firstRecord, lastRecord, firstKerning, firstChar, newLine};
  ++FCount;
}

TTextMatch& CRecordList::Get(int32_t i) {
  CheckIndex(i, FCount);
  return FItems[static_cast<size_t>(i)];
}

const TTextMatch& CRecordList::Get(int32_t i) const {
  CheckIndex(i, FCount);
  return FItems[static_cast<size_t>(i)];
}
