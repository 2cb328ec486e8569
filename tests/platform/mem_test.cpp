#include "support/FamilyError.h"

#include <platform/mem.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

TEST(Allocator, ServesAndFreesBlocks)
{
    const long before = mem_LiveBlocks();
    void* a = mem_OperatorNewThrowBuiltin(64);
    void* b = mem_Malloc(0); // a zero-byte request still yields a block
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::memset(a, 0xAB, 64);
    a = mem_Realloc(a, 4096);
    EXPECT_EQ(static_cast<unsigned char*>(a)[63], 0xAB);
    EXPECT_EQ(mem_LiveBlocks(), before + 2);
    mem_Free(a);
    mem_Free(b);
    mem_Free(nullptr);
    EXPECT_EQ(mem_LiveBlocks(), before);
}

// Tiny objects of every size class, freed in a scrambled order across many
// slabs: no object overlaps another, and one that grows keeps its bytes.
TEST(Allocator, TinyObjectsStayDisjointThroughAnyOrderOfFrees)
{
    const long before = mem_LiveBlocks();
    std::vector<std::pair<unsigned char*, std::size_t>> blocks;
    for (std::size_t i = 0; i < 40000; ++i) {
        const std::size_t size = i * 37 % 600; // past the largest tiny size too
        blocks.emplace_back(static_cast<unsigned char*>(mem_OperatorNewTinyThrow(size)), size);
        std::memset(blocks.back().first, static_cast<int>(i & 0xff), size);
    }
    for (std::size_t round = 0; round < 2; ++round)
        for (std::size_t i = round; i < blocks.size(); i += 2) {
            for (std::size_t k = 0; k < blocks[i].second; ++k)
                ASSERT_EQ(blocks[i].first[k], i & 0xff) << "block " << i << " byte " << k;
            mem_Free(blocks[i].first);
        }
    auto* grown = static_cast<unsigned char*>(mem_OperatorNewTinyThrow(24));
    std::memset(grown, 0x5A, 24);
    grown = static_cast<unsigned char*>(mem_Realloc(grown, 100000));
    EXPECT_TRUE(grown[0] == 0x5A && grown[23] == 0x5A);
    mem_Free(grown);
    EXPECT_EQ(mem_LiveBlocks(), before);
}

TEST(Allocator, RefusesAnOverflowedCount)
{
    EXPECT_EQ(mem_ArraySize(3, 8), 24u);
    zyltest::ExpectFamilyError<mem_AllocationFailure>([] { mem_OperatorNewThrowBuiltin(SIZE_MAX); }, 1,
                                                      "Memory allocation of " + std::to_string(SIZE_MAX) + " bytes failed.",
                                                      "platform/mem");
}

TEST(Allocator, FailureSeamFailsTheNthAllocationOnceOrFromThenOn)
{
    mem_FailAllocation(2, false);
    void* first = mem_Malloc(8);
    EXPECT_THROW(mem_Malloc(8), mem_AllocationFailure);
    void* third = mem_Malloc(8); // once: the next one is served again
    mem_Free(first);
    mem_Free(third);

    void* block = mem_Malloc(8);
    mem_FailAllocation(1, true);
    EXPECT_THROW(mem_OperatorNewThrow(8), mem_AllocationFailure);
    EXPECT_THROW(mem_OperatorNewTinyThrow(8), mem_AllocationFailure);
    EXPECT_THROW(mem_Realloc(block, 16), mem_AllocationFailure) << "realloc counts too";
    mem_ClearFailure();
    mem_Free(block); // the old block is still ours after a refused realloc
    void* served = mem_Malloc(8);
    mem_Free(served);
}

namespace {
struct Refusing {
    explicit Refusing(bool refuse)
    {
        if (refuse)
            throw 7;
    }
};
} // namespace

TEST(Allocator, ArraysAndObjectsReturnTheirMemoryOnEveryPath)
{
    const long before = mem_LiveBlocks();
    {
        mem_Array<double> values(3);
        values[2] = 1.5;
        mem_Array<double> moved(std::move(values));
        EXPECT_EQ(values.Get(), nullptr);
        EXPECT_EQ(moved.Count(), 3u);
        EXPECT_EQ(moved[2], 1.5);
        moved = mem_Array<double>(0); // the old block goes back; an empty array still owns a block
        EXPECT_NE(moved.Get(), nullptr);
        EXPECT_EQ(mem_LiveBlocks(), before + 1);
        EXPECT_THROW(mem_Array<int>(static_cast<std::size_t>(-1)), mem_AllocationFailure);
        mem_Free(moved.Release());
        mem_Unique<Refusing> held(mem_New<Refusing>(false));
        EXPECT_EQ(mem_LiveBlocks(), before + 1);
        EXPECT_THROW(mem_New<Refusing>(true), int);
    }
    EXPECT_EQ(mem_LiveBlocks(), before);
}
