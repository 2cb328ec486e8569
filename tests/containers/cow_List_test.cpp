// The block list: items never move, copies share until written, the table
// grows 16 slots at a time, and every block goes back to the allocator.
#include <containers/cow_List.h>

#include <support/AllocationSweep.h>

#include <gtest/gtest.h>

namespace {

struct Item {
    long key;
    double value;
};

cow_List<Item> ListOf(long n)
{
    cow_List<Item> list;
    for (long i = 0; i < n; ++i)
        list.Append({i, 0.5 * i});
    return list;
}

void ExpectItems(const cow_List<Item>& list, long n, long changed = -1)
{
    ASSERT_EQ(list.Count(), n);
    for (long i = 0; i < n; ++i)
        ASSERT_EQ(list.ConstGet(i).key, i == changed ? -i : i) << "item " << i;
}

TEST(CowList, GrowsInBlocksOfSixteenWithATableOfSixteenSlotsAtATime)
{
    const long base = mem_LiveBlocks();
    {
        // items -> blocks in use -> table slots; allocations = count + table + blocks
        const struct { long items, blocks, slots; } cases[] = {
            {0, 0, 0}, {1, 1, 16}, {16, 1, 16}, {17, 2, 16}, {256, 16, 16}, {257, 17, 32}, {1000, 63, 64}};
        for (const auto& c : cases) {
            cow_List<Item> list = ListOf(c.items);
            ExpectItems(list, c.items);
            EXPECT_EQ(list.NumberOfSlots(), c.slots) << c.items << " items";
            EXPECT_EQ(mem_LiveBlocks() - base, 1 + (c.slots > 0) + c.blocks) << c.items << " items";
        }
    }
    EXPECT_EQ(mem_LiveBlocks(), base);
}

TEST(CowList, CopiesShareUntilOneWritesThenOnlyTheWrittenBlockIsCopied)
{
    const long base = mem_LiveBlocks();
    cow_List<Item> original = ListOf(100); // 7 blocks
    cow_List<Item> copy(original);
    cow_List<Item> assigned;
    assigned = original;
    EXPECT_EQ(mem_LiveBlocks() - base, 1 + 1 + 7) << "copies allocate nothing";

    copy.Get(40).key = -40;
    EXPECT_EQ(mem_LiveBlocks() - base, 2 + 2 + 8) << "one more count, table and block";
    assigned.Append({100, 0.0});
    ExpectItems(original, 100);
    ExpectItems(copy, 100, 40);
    ExpectItems(assigned, 101);

    copy.Resize(0);
    assigned.Resize(0);
    ExpectItems(original, 100);
    original.Resize(0);
    EXPECT_EQ(std::make_pair(original.NumberOfSlots(), mem_LiveBlocks() - base), std::make_pair(0, 3L))
        << "emptied lists keep only their counts";
}

TEST(CowList, ShrinkingReleasesBlocksAndRegrownSlotsReadAsNeverWritten)
{
    cow_List<Item> list = ListOf(300);
    cow_List<Item> shared(list);
    list.Resize(20);
    list.Resize(40);
    for (long i = 0; i < 40; ++i)
        ASSERT_EQ(list.ConstGet(i).key, i < 20 ? i : 0) << "item " << i;
    EXPECT_EQ(list.NumberOfSlots(), 16);
    ExpectItems(shared, 300);

    list.MakeOwn();
    list.UncheckedGet(39).key = 7;
    EXPECT_EQ(list.ConstGet(39).key, 7);
    ExpectItems(shared, 300);
}

TEST(CowList, AFailedAllocationLeavesEveryListAsItWas)
{
    cow_List<Item> original, copy;
    auto prepare = [&] {
        original = ListOf(40);
        copy = original;
    };
    auto unchanged = [&](int) {
        ExpectItems(original, 40);
        ExpectItems(copy, 40);
    };
    zyltest::SweepAllocationFailures(prepare, [&] { copy.Get(3).key = -3; }, unchanged);
    zyltest::SweepAllocationFailures(prepare, [&] { copy.Append({40, 0.0}); }, unchanged);
    zyltest::SweepAllocationFailures(prepare, [&] { copy.Resize(0); }, unchanged);
    zyltest::SweepAllocationFailures(prepare, [&] { copy.Resize(21); }, unchanged); // copies the shared last block
}

TEST(CowListDeathTest, ConstGetOutsideTheListEndsTheProcess)
{
    cow_List<Item> list = ListOf(3);
    EXPECT_DEATH(list.ConstGet(3), "cow_List::ConstGet: index 3 outside 0..2");
    EXPECT_DEATH(list.ConstGet(-1), "index -1");
}

} // namespace
