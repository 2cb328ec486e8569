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
    for (std::size_t start = 0, end = 0; start < indices.size(); start = end) {
        if (offsets.empty())
            offsets.push_back(0);
        for (end = start + 1; end < indices.size() && static_cast<long long>(indices[end]) - indices[end - 1] == 1 &&
                              static_cast<long long>(end - start) < maxRangeLength;)
            ++end;
        offsets.push_back(static_cast<int>(end));
    }
    return offsets;
}

// Calls the function, checks the count against the offsets and that the
// result is one allocator block owned by the caller, and returns the offsets.
std::vector<int> Offsets(const std::vector<int>& indices, int maxRangeLength)
{
    const long live = mem_LiveBlocks();
    int numRanges = -7;
    int* offsets = ZylSrvFindContiguousRanges(indices.data(), static_cast<int>(indices.size()), maxRangeLength, numRanges);
    std::vector<int> result;
    if (offsets != nullptr) {
        EXPECT_EQ(mem_LiveBlocks(), live + 1);
        result.assign(offsets, offsets + numRanges + 1);
    } else {
        EXPECT_EQ(numRanges, 0);
    }
    mem_Free(offsets);
    EXPECT_EQ(mem_LiveBlocks(), live);
    return result;
}

} // namespace

TEST(ZylSrvFindContiguousRanges, SplitsAtGapsDescentsRepeatsAndTheLengthLimit)
{
    struct Case {
        std::vector<int> indices;
        int maxRangeLength;
        std::vector<int> offsets;
    } const cases[] = {
        {{5, 6, 7, 10, 11}, 1000, {0, 3, 5}},
        {{5, 6, 7, 10, 11}, 2, {0, 2, 3, 5}},
        {{5, 6, 7, 10, 11}, 3, {0, 3, 5}},
        {{}, 10, {}},
        {{42}, 10, {0, 1}},
        {{42}, 0, {0, 1}},
        {{3, 4, 5, 6, 9}, 1, {0, 1, 2, 3, 4, 5}},
        {{3, 4, 5, 6, 9}, 0, {0, 1, 2, 3, 4, 5}},
        {{3, 4, 5, 6, 9}, -1, {0, 1, 2, 3, 4, 5}},
        {{3, 4, 5, 6, 9}, INT_MIN, {0, 1, 2, 3, 4, 5}},
        {{7, 6}, 100, {0, 1, 2}},
        {{1, 2, 2, 3}, 100, {0, 2, 4}},
        {{INT_MAX, INT_MIN, INT_MIN + 1}, 100, {0, 1, 3}}, // no overflow of the difference
        {{INT_MIN, INT_MAX}, 100, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.indices.size() << " indices, limit " << c.maxRangeLength);
        EXPECT_EQ(Offsets(c.indices, c.maxRangeLength), c.offsets);
    }
    int numRanges = -7;
    const int one = 4;
    EXPECT_EQ(ZylSrvFindContiguousRanges(nullptr, 0, 10, numRanges), nullptr);
    EXPECT_EQ(numRanges, 0);
    numRanges = -7;
    EXPECT_EQ(ZylSrvFindContiguousRanges(&one, -3, 10, numRanges), nullptr) << "a negative count is an empty list";
    EXPECT_EQ(numRanges, 0);
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
        ASSERT_EQ(Offsets(indices, maxRangeLength), ReferenceOffsets(indices, maxRangeLength)) << "trial " << trial;
    }
}
