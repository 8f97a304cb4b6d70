#include <stdexcept>

#include <gtest/gtest.h>

#include "lists.h"

namespace {

TEST(CIntList, GrowsInStepsOf4196AndKeepsEveryEntry) {
  CIntList list;
  EXPECT_EQ(list.Capacity(), 0);
  EXPECT_EQ(list.Count(), 0);
  for (int32_t v = 0; v < 4196; ++v) list.Add(v * 3);
  EXPECT_EQ(list.Capacity(), 4196);
  list.Add(-7);  // the 4197th entry grows the storage a second time
  EXPECT_EQ(list.Capacity(), 8392);
  EXPECT_EQ(list.Count(), 4197);
  EXPECT_EQ(list.Get(0), 0);
  EXPECT_EQ(list.Get(4195), 4195 * 3);
  EXPECT_EQ(list.Get(4196), -7);
}

TEST(CIntList, ContainsSearchesTheWholeList) {
  CIntList list;
  EXPECT_FALSE(list.Contains(0));
  for (int32_t v : {10, 20, 30, 40, 50}) list.Add(v);
  for (int32_t v : {10, 20, 30, 40, 50}) EXPECT_TRUE(list.Contains(v)) << v;
  EXPECT_FALSE(list.Contains(0));  // storage beyond Count holds zeros
  EXPECT_FALSE(list.Contains(35));
}

TEST(CIntList, GetOutsideTheEntriesThrows) {
  CIntList list;
  list.Add(1);
  EXPECT_THROW(list.Get(1), std::out_of_range);
  EXPECT_THROW(list.Get(-1), std::out_of_range);
}

TEST(CRecordList, StoresTheSixFieldsAndGrowsLikeTheIntList) {
  CRecordList list;
  for (int32_t i = 0; i < 4197; ++i) list.Add(-1, i, i + 1, 2, 3, i % 2 == 0);
  EXPECT_EQ(list.Capacity(), 8392);
  EXPECT_EQ(list.Count(), 4197);
  const TTextMatch& last = list.Get(4196);
  EXPECT_EQ(last.Handle, -1);
  EXPECT_EQ(last.FirstRecord, 4196);
  EXPECT_EQ(last.LastRecord, 4197);
  EXPECT_EQ(last.FirstKerning, 2);
  EXPECT_EQ(last.FirstChar, 3);
  EXPECT_TRUE(last.NewLine);
}

TEST(CRecordList, ClearKeepsTheStorageAndAddWritesEntryZeroAgain) {
  CRecordList list;
  list.Add(5, 1, 2, 3, 4, true);
  list.Add(6, 1, 2, 3, 4, false);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 4196);
  EXPECT_THROW(list.Get(0), std::out_of_range);
  list.Add(9, 8, 7, -1, -1, false);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0).Handle, 9);
  EXPECT_EQ(list.Get(0).FirstKerning, -1);
  EXPECT_FALSE(list.Get(0).NewLine);
}

}  // namespace
