// The framework containers that the host fills for the plug-in: the pointer list and the
// growable array.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/collections.h"
#include "fw/string.h"

namespace {

std::vector<int> Values(const fw::PtrList& list) {
    std::vector<int> values;
    for (fw::PtrList::Position at = list.GetHeadPosition(); at;)
        values.push_back(*static_cast<int*>(list.GetNext(at)));
    return values;
}

TEST(PtrList, KeepsOrderAcrossManyNodeBlocks) {
    int numbers[25];
    fw::PtrList list(10);
    for (int i = 0; i < 25; ++i) {
        numbers[i] = i;
        ASSERT_NE(nullptr, i % 2 ? list.AddTail(&numbers[i]) : list.AddHead(&numbers[i]));
    }
    ASSERT_EQ(25, list.GetCount());
    EXPECT_EQ(24, *static_cast<int*>(list.GetAtIndex(0)));
    EXPECT_EQ(23, *static_cast<int*>(list.GetAtIndex(24)));
    EXPECT_EQ(nullptr, list.GetAtIndex(25));
    EXPECT_EQ(nullptr, list.GetAtIndex(-1));
    const std::vector<int> values = Values(list);
    for (int i = 0; i <= 12; ++i)
        EXPECT_EQ(24 - 2 * i, values[static_cast<size_t>(i)]);
    EXPECT_EQ(1, values[13]);
}

TEST(PtrList, RemovingAtEitherEndOrInsideKeepsTheLinks) {
    int n[5] = {0, 1, 2, 3, 4};
    fw::PtrList list;
    for (int& v : n)
        list.AddTail(&v);
    list.RemoveAt(list.Find(&n[2]));
    list.RemoveAt(list.GetHeadPosition());
    list.RemoveAt(list.GetTailPosition());
    EXPECT_EQ((std::vector<int>{1, 3}), Values(list));
    EXPECT_EQ(nullptr, list.Find(&n[0]));
    // Freed nodes are used again.
    list.AddHead(&n[4]);
    list.AddTail(&n[0]);
    EXPECT_EQ((std::vector<int>{4, 1, 3, 0}), Values(list));
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    list.AddTail(&n[2]);
    EXPECT_EQ((std::vector<int>{2}), Values(list));
}

TEST(Array, ElementsSurviveGrowthAndRemoval) {
    fw::Array<fw::String> array;
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(i, array.Add(fw::String(("item " + std::to_string(i)).c_str())));
    EXPECT_EQ(100, array.GetSize());
    EXPECT_EQ("item 0", array[0].str());
    EXPECT_EQ("item 99", array[99].str());
    array.RemoveAt(0);
    array.RemoveAt(50);
    array.RemoveAt(500); // outside: nothing happens
    ASSERT_EQ(98, array.GetSize());
    EXPECT_EQ("item 1", array[0].str());
    EXPECT_EQ("item 52", array[50].str());
    EXPECT_EQ("item 99", array[97].str());
    array.RemoveAll();
    EXPECT_TRUE(array.IsEmpty());
    EXPECT_EQ(nullptr, array.GetData());
}

} // namespace
