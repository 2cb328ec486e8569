// Every ZylSrvMatrix operation that allocates, with its 1st, 2nd, ...
// allocation refused in turn until it completes: each refusal must arrive as
// the allocator's error, leak nothing and leave the matrices as they were.
#include "MatrixTestSupport.h"

#include <platform/mem.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace matrix_test;

namespace {

// Builds fresh operands with `prepare` (the seam disarmed), then runs `op`
// with the n-th allocation refused, for n = 1, 2, ... until op completes.
// `watched` returns the matrices that must stay unchanged after a refusal.
// Returns how many allocations op made (the number of refusals observed).
struct Case {
    std::function<void()> prepare;
    std::function<void()> op;
    std::function<std::vector<const ZylSrvMatrix*>()> watched;
};

int SweepAllocations(const Case& c)
{
    for (int n = 1; n <= 20; ++n) {
        c.prepare();
        std::vector<Snapshot> before;
        for (const ZylSrvMatrix* m : c.watched())
            before.emplace_back(*m);
        const long live = mem_LiveBlocks();
        bool refused = false;
        mem_FailAllocation(n, false);
        try {
            c.op();
        } catch (const mem_AllocationFailure&) {
            refused = true;
        }
        mem_ClearFailure();
        if (!refused)
            return n - 1;
        EXPECT_EQ(mem_LiveBlocks(), live) << "refusal " << n << " leaked";
        const std::vector<const ZylSrvMatrix*> after = c.watched();
        for (size_t k = 0; k < after.size(); ++k)
            EXPECT_TRUE(Snapshot(*after[k]) == before[k]) << "refusal " << n << " changed matrix " << k;
    }
    ADD_FAILURE() << "the operation never completed";
    return -1;
}

} // namespace

TEST(MatrixAllocation, ConstructorsAndAssignmentSurviveRefusals)
{
    const long live = mem_LiveBlocks();
    EXPECT_EQ(SweepAllocations({[] {}, [] { ZylSrvMatrix m(5, 7); }, [] { return std::vector<const ZylSrvMatrix*>{}; }}),
              1);
    EXPECT_EQ(SweepAllocations({[] {}, [] { ZylSrvMatrix d(5, 5, nullptr, false, true); },
                                [] { return std::vector<const ZylSrvMatrix*>{}; }}),
              1);

    ZylSrvMatrix source = MatrixOf(Random(4, 3, 1));
    EXPECT_EQ(SweepAllocations({[] {}, [&] { ZylSrvMatrix copy(source); },
                                [&] { return std::vector<const ZylSrvMatrix*>{&source}; }}),
              1);

    // Reshaping assignment: the new buffer is allocated before the old goes.
    ZylSrvMatrix target(2, 2);
    EXPECT_EQ(SweepAllocations({[&] { target = MatrixOf(Random(2, 2, 2)); }, [&] { target = source; },
                                [&] { return std::vector<const ZylSrvMatrix*>{&target, &source}; }}),
              1);
    EXPECT_EQ(target.NumberOfRows(), 4);
    EXPECT_TRUE(target == source);
    EXPECT_EQ(mem_LiveBlocks(), live + 2);
}

TEST(MatrixAllocation, TransposeAndTimesAssignSurviveRefusals)
{
    ZylSrvMatrix m(1, 1);
    EXPECT_EQ(SweepAllocations({[&] { m = MatrixOf(Random(3, 5, 3)); }, [&] { m.Transpose(); },
                                [&] { return std::vector<const ZylSrvMatrix*>{&m}; }}),
              1);
    EXPECT_EQ(m.NumberOfRows(), 5);

    double wrapped[6];
    ZylSrvMatrix view(2, 3, wrapped, false, false);
    EXPECT_EQ(SweepAllocations({[&] { view = MatrixOf(Random(2, 3, 4)); }, [&] { view.Transpose(); },
                                [&] { return std::vector<const ZylSrvMatrix*>{&view}; }}),
              1);

    ZylSrvMatrix square(1, 1);
    const ZylSrvMatrix other = MatrixOf(Random(4, 4, 5));
    EXPECT_EQ(SweepAllocations({[&] { square = MatrixOf(Random(4, 4, 6)); }, [&] { square *= other; },
                                [&] { return std::vector<const ZylSrvMatrix*>{&square, &other}; }}),
              1);

    ZylSrvMatrix column(1, 1);
    EXPECT_EQ(SweepAllocations({[&] { column = MatrixOf(Random(4, 1, 7)); }, [&] { column *= other; },
                                [&] { return std::vector<const ZylSrvMatrix*>{&column, &other}; }}),
              1);
}

TEST(MatrixAllocation, PermuteFactorizeAndEigenproblemSurviveRefusals)
{
    ZylSrvMatrix m(1, 1);
    const int perm[4] = {3, 2, 1, 0};
    EXPECT_EQ(SweepAllocations({[&] { m = MatrixOf(Random(4, 3, 8)); }, [&] { m.PermuteRowsInPlace(perm, 4); },
                                [&] { return std::vector<const ZylSrvMatrix*>{&m}; }}),
              1);

    std::vector<int> pivots(5, 0);
    ZylSrvMatrix sym(1, 1);
    Dense s = Random(5, 5, 9);
    for (int i = 0; i < 5; ++i)
        s(i, i) += 5.0;
    EXPECT_EQ(SweepAllocations({[&] { sym = MatrixOf(s, true); }, [&] { sym.Factorize(pivots.data()); },
                                [&] { return std::vector<const ZylSrvMatrix*>{&sym}; }}),
              1);

    // Two allocations (the copy of B and the work array), both made before
    // eigenvalues and eigenvectors are written.
    Dense a(3, 3), b(3, 3);
    const double av[9] = {2, 1, 0, 1, 3, 1, 0, 1, 4};
    const double bv[9] = {4, 1, 0, 1, 4, 1, 0, 1, 4};
    a.v.assign(av, av + 9);
    b.v.assign(bv, bv + 9);
    const ZylSrvMatrix am = MatrixOf(a), bm = MatrixOf(b);
    ZylSrvMatrix values(3, 1), vectors(3, 3);
    EXPECT_EQ(SweepAllocations({[&] {
                                    values = 0.0;
                                    vectors = 0.0;
                                },
                                [&] { am.SolveEigenproblemSymmetric(bm, values, vectors); },
                                [&] {
                                    return std::vector<const ZylSrvMatrix*>{&am, &bm, &values, &vectors};
                                }}),
              2);
}
