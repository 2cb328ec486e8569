#include <mtx/ZylSrvFindContiguousRanges.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// Independent reference: group positions directly, one run at a time.
std::vector<int> ReferenceOffsets(const std::vector<int>& indices, int maxRangeLength)
{
    std::vector<int> offsets;
    if (indices.empty())
        return offsets;
    offsets.push_back(0);
    std::size_t start = 0;
    while (start < indices.size()) {
        std::size_t end = start + 1;
        while (end < indices.size() && static_cast<long long>(indices[end]) - indices[end - 1] == 1 &&
               static_cast<long long>(end - start) < maxRangeLength)
            ++end;
        offsets.push_back(static_cast<int>(end));
        start = end;
    }
    return offsets;
}

// Calls the function and returns its offsets, freeing the array.
std::vector<int> Offsets(const std::vector<int>& indices, int maxRangeLength, int& numRanges)
{
    numRanges = -7;
    int* offsets = ZylSrvFindContiguousRanges(indices.data(), static_cast<int>(indices.size()),
                                              maxRangeLength, numRanges);
    std::vector<int> result;
    if (offsets != nullptr)
        result.assign(offsets, offsets + numRanges + 1);
    mem_Free(offsets);
    return result;
}

} // namespace

TEST(ZylSrvFindContiguousRanges, SplitsAtGapsAndAtTheLengthLimit)
{
    int numRanges = 0;
    EXPECT_EQ(Offsets({5, 6, 7, 10, 11}, 1000, numRanges), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(numRanges, 2);
    EXPECT_EQ(Offsets({5, 6, 7, 10, 11}, 2, numRanges), (std::vector<int>{0, 2, 3, 5}));
    EXPECT_EQ(numRanges, 3);
    EXPECT_EQ(Offsets({5, 6, 7, 10, 11}, 3, numRanges), (std::vector<int>{0, 3, 5}));
    EXPECT_EQ(numRanges, 2);
}

TEST(ZylSrvFindContiguousRanges, EmptyListGivesNoRangesAndNullPointer)
{
    int numRanges = -7;
    const int one = 4;
    EXPECT_EQ(ZylSrvFindContiguousRanges(&one, 0, 10, numRanges), nullptr);
    EXPECT_EQ(numRanges, 0);
    numRanges = -7;
    EXPECT_EQ(ZylSrvFindContiguousRanges(nullptr, 0, 10, numRanges), nullptr);
    EXPECT_EQ(numRanges, 0);
    // A negative count is read as an empty list.
    numRanges = -7;
    EXPECT_EQ(ZylSrvFindContiguousRanges(&one, -3, 10, numRanges), nullptr);
    EXPECT_EQ(numRanges, 0);
}

TEST(ZylSrvFindContiguousRanges, SingleEntryIsOneRange)
{
    int numRanges = 0;
    EXPECT_EQ(Offsets({42}, 10, numRanges), (std::vector<int>{0, 1}));
    EXPECT_EQ(numRanges, 1);
    EXPECT_EQ(Offsets({42}, 0, numRanges), (std::vector<int>{0, 1}));
    EXPECT_EQ(numRanges, 1);
}

TEST(ZylSrvFindContiguousRanges, MaxRangeLengthOneOrLessMakesEveryEntryItsOwnRange)
{
    const std::vector<int> indices{3, 4, 5, 6, 9};
    for (int maxRangeLength : {1, 0, -1, INT_MIN}) {
        int numRanges = 0;
        EXPECT_EQ(Offsets(indices, maxRangeLength, numRanges), (std::vector<int>{0, 1, 2, 3, 4, 5}))
            << "maxRangeLength " << maxRangeLength;
        EXPECT_EQ(numRanges, 5);
    }
}

TEST(ZylSrvFindContiguousRanges, DescendingAndRepeatedIndicesStartNewRanges)
{
    int numRanges = 0;
    EXPECT_EQ(Offsets({7, 6}, 100, numRanges), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(numRanges, 2);
    EXPECT_EQ(Offsets({1, 2, 2, 3}, 100, numRanges), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(numRanges, 2);
    // Extreme neighbours do not overflow the difference.
    EXPECT_EQ(Offsets({INT_MAX, INT_MIN, INT_MIN + 1}, 100, numRanges), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(numRanges, 2);
    EXPECT_EQ(Offsets({INT_MIN, INT_MAX}, 100, numRanges), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(numRanges, 2);
}

TEST(ZylSrvFindContiguousRanges, AgreesWithAReferenceOnVariedLists)
{
    unsigned state = 12345u;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) & 0x7fff);
    };
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<int> indices;
        const int count = 1 + next() % 40;
        int value = next() % 50 - 25;
        for (int i = 0; i < count; ++i) {
            indices.push_back(value);
            const int kind = next() % 6;
            value += kind < 4 ? 1 : (kind == 4 ? 2 + next() % 5 : -(next() % 3));
        }
        const int maxRangeLength = next() % 8 - 1;
        int numRanges = 0;
        const std::vector<int> expected = ReferenceOffsets(indices, maxRangeLength);
        EXPECT_EQ(Offsets(indices, maxRangeLength, numRanges), expected) << "trial " << trial;
        EXPECT_EQ(numRanges + 1, static_cast<int>(expected.size()));
    }
}

TEST(ZylSrvFindContiguousRanges, ResultIsOneAllocatorBlockOwnedByTheCaller)
{
    const long before = mem_LiveBlocks();
    const int indices[] = {1, 2, 3};
    int numRanges = 0;
    int* offsets = ZylSrvFindContiguousRanges(indices, 3, 10, numRanges);
    EXPECT_EQ(mem_LiveBlocks(), before + 1);
    mem_Free(offsets);
    EXPECT_EQ(mem_LiveBlocks(), before);
}
