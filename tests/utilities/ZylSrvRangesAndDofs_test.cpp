// ZylSrvFindContiguousRanges against a reference, and ZylSrvSystemDofDefinition.
#include <mtx/ZylSrvFindContiguousRanges.h>
#include <platform/ZylSrvSystemDofDefinition.h>
#include <platform/mem.h>

#include <gmock/gmock.h>

#include <climits>
#include <stdexcept>
#include <vector>

namespace {

// Independent reference: group positions directly, one run at a time.
std::vector<int> ReferenceOffsets(const std::vector<int>& indices, int maxRangeLength)
{
    std::vector<int> offsets;
    for (std::size_t start = 0, end = 0; start < indices.size(); start = end) {
        for (end = start + 1; end < indices.size() && static_cast<long long>(indices[end]) - indices[end - 1] == 1 && static_cast<long long>(end - start) < maxRangeLength; ++end) {}
        offsets.push_back(static_cast<int>(end));
    }
    return offsets.empty() ? offsets : (offsets.insert(offsets.begin(), 0), offsets);
}

// The offsets, checking the count and that the result is one allocator block owned by the caller.
std::vector<int> Offsets(const int* indices, int count, int maxRangeLength)
{
    const long live = mem_LiveBlocks();
    int numRanges = -7;
    int* offsets = ZylSrvFindContiguousRanges(indices, count, maxRangeLength, numRanges);
    const std::vector<int> result = offsets ? std::vector<int>(offsets, offsets + numRanges + 1) : std::vector<int>();
    EXPECT_TRUE(offsets || numRanges == 0);
    EXPECT_EQ(mem_LiveBlocks(), live + (offsets ? 1 : 0));
    mem_Free(offsets);
    return result;
}

} // namespace

TEST(ZylSrvFindContiguousRanges, SplitsAtGapsDescentsRepeatsAndTheLengthLimitAsAReferenceDoes)
{
    const std::pair<std::vector<int>, int> edges[] = {
        {{5, 6, 7, 10, 11}, 3}, {{42}, 0}, {{3, 4, 5, 6, 9}, INT_MIN}, {{7, 6}, 100}, {{1, 2, 2, 3}, 100},
        {{INT_MAX, INT_MIN, INT_MIN + 1}, 100}, {{INT_MIN, INT_MAX}, 100}, // no overflow of the difference
    };
    EXPECT_EQ(Offsets(edges[0].first.data(), 5, 2), (std::vector<int>{0, 2, 3, 5}));
    EXPECT_EQ(Offsets(edges[5].first.data(), 3, 100), (std::vector<int>{0, 1, 3}));
    for (const auto& e : edges)
        EXPECT_EQ(Offsets(e.first.data(), int(e.first.size()), e.second), ReferenceOffsets(e.first, e.second)) << e.second;
    const int one = 4;
    EXPECT_EQ(Offsets(nullptr, 0, 10), std::vector<int>());
    EXPECT_EQ(Offsets(&one, -3, 10), (std::vector<int>{0, 1})) << "a negative count gives the first range alone";
    unsigned state = 12345u;
    auto next = [&state]() { return static_cast<int>(((state = state * 1103515245u + 12345u) >> 16) & 0x7fff); };
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<int> indices;
        const int count = 1 + next() % 40;
        for (int i = 0, value = next() % 50 - 25; i < count; ++i) {
            indices.push_back(value);
            const int kind = next() % 6;
            value += kind < 4 ? 1 : (kind == 4 ? 2 + next() % 5 : -(next() % 3));
        }
        const int maxRangeLength = next() % 8 - 1;
        ASSERT_EQ(Offsets(indices.data(), count, maxRangeLength), ReferenceOffsets(indices, maxRangeLength)) << "trial " << trial;
    }
}

TEST(ZylSrvSystemDofDefinition, MapsSolverDofsToTheAppendedNodeDofPairsAndRefusesOthers)
{
    ZylSrvSystemDofDefinition dofs;
    EXPECT_EQ(dofs.NumberOfSolverDofs(), 0);
    for (int i = 0; i < 6; ++i)
        dofs.AddSolverDof(10 * (i / 2 + 1), i % 2 + 1);
    ASSERT_EQ(dofs.NumberOfSolverDofs(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(std::make_pair(dofs.NodeDofFromSolverDof(i).node, dofs.NodeDofFromSolverDof(i).dof), std::make_pair(10 * (i / 2 + 1), i % 2 + 1)) << i;
    EXPECT_THROW(dofs.NodeDofFromSolverDof(-1), std::out_of_range);
    EXPECT_THAT([&] { dofs.NodeDofFromSolverDof(6); }, testing::ThrowsMessage<std::out_of_range>(testing::StrEq("ZylSrvSystemDofDefinition::NodeDofFromSolverDof: solver dof 6 is not in 0..5")));
}
