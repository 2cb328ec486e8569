// ZylSrvHermitianScrDenseMatrix: every product with H = [A, JA] against the
// same product with H built in memory by plain loops, over block geometries
// where groups straddle block boundaries; the refused group lists and views;
// the slots without an H form; an allocation-failure sweep.
#include "dense/DenseHelpers.h"
#include "support/AllocationSweep.h"

#include <mtx/ZylSrvHermitianScrDenseMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

namespace {

using densetest::ReadThrough;
using zyltest::Combine;
using zyltest::ExpectMatrixNear;
using zyltest::MatrixOf;
using zyltest::MatrixSetupOf;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;
using zyltest::RefOf;

constexpr const char* kSource = "mtx/impl/ZylSrvHermitianScrDenseMatrix";

// [A, JA] by the definition: in a group of g rows from s, h = g / 2, row s+k
// of JA is -A(s+h+k) and row s+h+k is A(s+k); an odd group's last row is A's.
RefMatrix ExplicitH(const RefMatrix& a, const std::vector<int>& groups)
{
    RefMatrix h(a.rows, 2 * a.cols);
    for (int c = 0; c < a.cols; ++c)
        for (int r = 0; r < a.rows; ++r)
            h(r, c) = h(r, a.cols + c) = a(r, c);
    int s = 0;
    for (const int g : groups) {
        for (int k = 0; k < g / 2; ++k)
            for (int c = 0; c < a.cols; ++c) {
                h(s + k, a.cols + c) = -a(s + g / 2 + k, c);
                h(s + g / 2 + k, a.cols + c) = a(s + k, c);
            }
        s += g;
    }
    return h;
}

ZylSrvHermitianScrDenseMatrix* Make(int rows, int columns, const std::vector<int>& groups, int rowBlock)
{
    return new ZylSrvHermitianScrDenseMatrix(rows, columns, static_cast<int>(groups.size()), groups.data(), rowBlock,
                                             3, 0);
}

using HermitianScratch = zyltest::DatabaseTest;

TEST_F(HermitianScratch, JMovesEachGroupsSecondHalfNegatedIntoItsFirstAndItsFirstIntoItsSecond)
{
    struct Case {
        std::vector<int> groups;
        std::vector<double> a, ja;
    };
    for (const Case& c : {Case{{2}, {3, 5}, {-5, 3}}, Case{{4}, {1, 2, 3, 4}, {-3, -4, 1, 2}},
                          Case{{3, 2}, {1, 2, 3, 4, 5}, {-2, 1, 3, -5, 4}}}) {
        const int m = static_cast<int>(c.a.size());
        const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> h(Make(m, 1, c.groups, 2));
        RawWrite(MatrixSetupOf(h->DistributionID()), 0, m - 1, 0, 0, c.a.data());
        for (const bool second : {false, true}) {
            const double x[2] = {second ? 0.0 : 1.0, second ? 1.0 : 0.0};
            std::vector<double> y(static_cast<std::size_t>(m), 0.0);
            h->Multiply(x, 1, y.data());
            EXPECT_EQ(y, second ? c.ja : c.a) << m << " rows, column " << second;
        }
    }
}

TEST_F(HermitianScratch, EveryProductWithHEqualsTheSameProductWithHBuiltInMemory)
{
    struct Geometry {
        const char* name;
        int rows, columns, rowBlock, yRowBlock; // Y of slot 9 in blocks of yRowBlock rows
        std::vector<int> groups;
        int viewRow = 0;                // > 0: a view of rows viewRow.. and columns 1..
        std::vector<int> viewGroups {}; // the parent's groups inside the view
    };
    const std::vector<Geometry> table = {
        {"groups of 2 across boundaries of blocks of 3, Y in blocks of 2", 12, 5, 3, 2, {2, 2, 2, 2, 2, 2}},
        {"groups of 4 across blocks of 6, Y in blocks of 1 that no group fits", 16, 4, 6, 1, {4, 4, 4, 4}},
        {"mixed sizes, odd ones among them", 15, 4, 5, 5, {3, 4, 2, 1, 5}},
        {"blocks of 1 under groups of 2", 6, 3, 1, 1, {2, 2, 2}},
        {"groups of 4 over blocks of 2, Y in blocks of 3", 8, 3, 2, 3, {4, 4}},
        {"a single block", 10, 4, -1, -1, {4, 6}},
        {"a view from the group at row 6", 16, 5, 5, 5, {2, 4, 2, 4, 4}, 6, {2, 4, 4}},
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int nv = 3;
    for (const Geometry& g : table) {
        SCOPED_TRACE(g.name);
        const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> parent(Make(g.rows, g.columns, g.groups, g.rowBlock));
        const RefMatrix stored = FillRandom(MatrixSetupOf(parent->DistributionID()), 11);
        std::unique_ptr<ZylSrvDenseMatrix> view;
        if (g.viewRow > 0)
            view.reset(parent->Submatrix(g.viewRow, g.rows - 1, 1, g.columns - 1));
        ZylSrvDenseMatrix& h = view ? *view : *parent;
        const RefMatrix a = view ? stored.Block(g.viewRow, g.rows - 1, 1, g.columns - 1) : stored;
        const RefMatrix H = ExplicitH(a, view ? g.viewGroups : g.groups);
        const int m = a.rows, n = a.cols;

        // 5 accumulates: twice adds twice.
        const RefMatrix x = RandomMatrix(2 * n, nv, 1), y0 = RandomMatrix(m, nv, 2);
        const RefMatrix hx = NaiveProduct(H, false, x);
        RefMatrix y = y0;
        for (const double times : {1.0, 2.0}) {
            h.Multiply(x.data(), nv, y.data());
            ExpectMatrixNear(Combine(1.0, y0, times, hx), y, "slot 5");
        }

        // 9: with beta 0.0 a Y of NaN is never read.
        ZylSrvScratchDenseMatrix Y(m, nv, g.yRowBlock, -1);
        for (const double beta : {-2.0, 0.0}) {
            RawWrite(MatrixSetupOf(Y.DistributionID()), beta == 0.0 ? RefMatrix(m, nv, nan) : y0);
            h.Multiply(0.5, MatrixOf(x), beta, Y);
            ExpectMatrixNear(Combine(0.5, hx, beta, y0), RawRead(MatrixSetupOf(Y.DistributionID())), "slot 9");
        }

        // 11 overwrites (twice gives the same); x has a stride past m. 13 is
        // 11 with X's shape.
        const RefMatrix xt = RandomMatrix(m + 2, nv, 3), xm = xt.Block(0, m - 1, 0, nv - 1);
        const RefMatrix htx = NaiveProduct(H, true, xm);
        RefMatrix yt(2 * n, nv, 7.0), y13(2 * n, nv, 7.0);
        for (int twice = 0; twice < 2; ++twice) {
            h.TransposeMultiply(xt.data(), nv, yt.data(), m + 2);
            ExpectMatrixNear(htx, yt, "slot 11");
        }
        h.TransposeMultiply(MatrixOf(xm), y13.data(), 12345);
        ExpectMatrixNear(htx, y13, "slot 13");

        // 16 and 17: B in the database.
        const ZylSrvScratchDenseMatrix B(m, nv, g.rowBlock, -1);
        RawWrite(MatrixSetupOf(B.DistributionID()), xm);
        ZylSrvMatrix c(2 * n, nv);
        c = 7.0;
        RefMatrix y16(2 * n, nv, 7.0);
        h.TransposeMultiply(&B, c, 99);
        h.TransposeMultiply(&B, y16.data(), 1);
        ExpectMatrixNear(htx, RefOf(c), "slot 17");
        ExpectMatrixNear(htx, y16, "slot 16");

        // 10 last: A becomes H X.
        const RefMatrix xs = RandomMatrix(2 * n, n, 4);
        h.MultiplyAssign(MatrixOf(xs));
        ExpectMatrixNear(NaiveProduct(H, false, xs), ReadThrough(h), "slot 10");
    }
}

TEST_F(HermitianScratch, EmptyGroupsChangeNoProductAndViewsKeepOrDropThemByWhereTheyStart)
{
    // Each list against the same matrix without its empty groups, on the same
    // values. A view keeps the empty groups that start at its first row and
    // drops those that start past its last.
    struct Case {
        const char* what;
        int rows, rowBlock;
        std::vector<int> groups;
        int viewFirst, viewLast;
    };
    const Case table[] = {
        {"one between two groups, kept by a view from its row", 4, 2, {2, 0, 2}, 2, 3},
        {"a leading one, kept by a view from row 0", 6, 3, {0, 2, 4}, 0, 1},
        {"a trailing one, dropped by a view to the last row", 6, 3, {2, 4, 0}, 2, 5},
        {"two on a block boundary, dropped by a view ending before it", 8, 3, {2, 4, 0, 0, 2}, 2, 5},
    };
    // Slots 5, 9, 11 and 17, which leave A alone.
    const auto products = [](const ZylSrvDenseMatrix& h) {
        const int m = h.NumberOfRows(), n = h.NumberOfColumns(), nv = 2;
        const RefMatrix x = RandomMatrix(2 * n, nv, 1), xt = RandomMatrix(m, nv, 2);
        RefMatrix y(m, nv, 1.0), yt(2 * n, nv);
        h.Multiply(x.data(), nv, y.data());
        h.TransposeMultiply(xt.data(), nv, yt.data(), m);
        ZylSrvScratchDenseMatrix Y(m, nv, 2, -1), B(m, nv, 2, -1);
        h.Multiply(1.0, MatrixOf(x), 0.0, Y);
        RawWrite(MatrixSetupOf(B.DistributionID()), xt);
        ZylSrvMatrix c(2 * n, nv);
        h.TransposeMultiply(&B, c, 0);
        return std::vector<RefMatrix>{y, yt, RawRead(MatrixSetupOf(Y.DistributionID())), RefOf(c)};
    };
    const auto expectSame = [](const std::vector<RefMatrix>& want, const std::vector<RefMatrix>& got) {
        for (std::size_t k = 0; k < want.size(); ++k)
            ExpectMatrixNear(want[k], got[k], "product");
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        std::vector<int> nonEmpty;
        std::copy_if(c.groups.begin(), c.groups.end(), std::back_inserter(nonEmpty), [](int g) { return g > 0; });
        const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> h(Make(c.rows, 3, c.groups, c.rowBlock));
        const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> plain(Make(c.rows, 3, nonEmpty, c.rowBlock));
        RawWrite(MatrixSetupOf(h->DistributionID()), FillRandom(MatrixSetupOf(plain->DistributionID()), 3));
        expectSame(products(*plain), products(*h));
        {
            const std::unique_ptr<ZylSrvDenseMatrix> view(h->Submatrix(c.viewFirst, c.viewLast, 0, 2));
            const std::unique_ptr<ZylSrvDenseMatrix> plainView(plain->Submatrix(c.viewFirst, c.viewLast, 0, 2));
            expectSame(products(*plainView), products(*view));
        }
        const ZylSrvMatrix x = MatrixOf(RandomMatrix(6, 3, 4));
        h->MultiplyAssign(x);
        plain->MultiplyAssign(x);
        ExpectMatrixNear(ReadThrough(*plain), ReadThrough(*h), "slot 10");
    }
}

TEST(HermitianScratchRefusals, GroupListsTheWindowCannotHoldAndViewsCuttingAGroupAreRefusedLeavingNoFile)
{
    const long live = mem_LiveBlocks();
    struct Refusal {
        const char* why;
        int rows;
        std::vector<int> groups;
        int rowBlock;
        int count; // -1: the list's size
        bool null;
        int columns = 3;
    };
    const int rowMembers[8] = {7, 6, 5, 4, 3, 2, 1, 0};
    int made = 0;
    for (const Refusal& r : {Refusal{"groups across two block boundaries", 6, {3, 3}, 1, -1, false},
                             Refusal{"sizes short of the rows", 6, {2, 2}, 2, -1, false},
                             Refusal{"a group across two blocks of the 2 GiB bound", 64, {2, 60, 2}, 64, -1, false,
                                     1 << 24},
                             Refusal{"sizes past the rows", 6, {4, 4}, 2, -1, false},
                             Refusal{"a negative size", 6, {-2, 8}, -1, -1, false},
                             Refusal{"no groups", 6, {}, -1, -1, false},
                             Refusal{"a negative count", 6, {6}, -1, -2, false},
                             Refusal{"no sizes", 6, {6}, -1, 1, true}}) {
        SCOPED_TRACE(r.why);
        const int count = r.count == -1 ? static_cast<int>(r.groups.size()) : r.count;
        const int* sizes = r.null ? nullptr : r.groups.data();
        zyltest::ExpectIllegalInput(
            [&] {
                // Both constructors, in turn (members only for up to 8 rows).
                if (made++ % 2 == 0)
                    ZylSrvHermitianScrDenseMatrix h(r.rows, r.columns, count, sizes, r.rowBlock, -1, 0);
                else
                    ZylSrvHermitianScrDenseMatrix h(r.rows, r.columns, rowMembers, nullptr, count, sizes, r.rowBlock, -1, 0);
            },
            "ZylSrvHermitianScrDenseMatrix", kSource);
    }
    EXPECT_TRUE(std::filesystem::is_empty("."));
    EXPECT_EQ(mem_LiveBlocks(), live);

    const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> h(Make(8, 2, {2, 4, 2}, 3));
    EXPECT_NO_THROW(delete h->Submatrix(0, 5, 1, 1));
    for (const auto& rows : {std::make_pair(1, 7), std::make_pair(0, 4), std::make_pair(2, 6)})
        zyltest::ExpectIllegalInput([&] { delete h->Submatrix(rows.first, rows.second, 0, 1); }, "Submatrix",
                                    kSource);
}

TEST_F(HermitianScratch, SlotsWithoutAnHFormLeaveTheirOutputsAloneAndSixAndTwelveActWithAAlone)
{
    const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> h(Make(6, 4, {2, 4}, 4));
    ZylSrvScratchDenseMatrix plain(6, 4, 4, 3);
    const RefMatrix a = FillRandom(MatrixSetupOf(h->DistributionID()), 5);
    RawWrite(MatrixSetupOf(plain.DistributionID()), a);
    ZylSrvScratchDenseMatrix b(6, 4, 4, 3), c(6, 4, 4, 3);
    FillRandom(MatrixSetupOf(b.DistributionID()), 6);
    const RefMatrix cValues = FillRandom(MatrixSetupOf(c.DistributionID()), 7);
    RefMatrix out(6, 4, 7.0);
    ZylSrvMatrix small = MatrixOf(RandomMatrix(6, 4, 8)), result = MatrixOf(out);
    const int rowIndex[2] = {0, 1}, groupStart[2] = {0, 2};
    h->Multiply(&b, out.data());                                // 7
    h->Multiply(b, c);                                          // 8
    h->TransposeMultiply(small, result, 0);                     // 14
    h->TransposeMultiply(&b, &c, 0);                            // 15
    h->IndexedMultiply(small, c, rowIndex, groupStart, 1);      // 18
    EXPECT_EQ(out.v, RefMatrix(6, 4, 7.0).v);
    EXPECT_EQ(RefOf(result).v, out.v);
    EXPECT_EQ(RawRead(MatrixSetupOf(c.DistributionID())).v, cValues.v);

    const ZylSrvMatrix x = MatrixOf(RandomMatrix(4, 2, 9)), z = MatrixOf(RandomMatrix(6, 2, 10));
    ZylSrvMatrix mine(6, 2), theirs(6, 2), mineT = MatrixOf(RandomMatrix(4, 2, 11)), theirsT = mineT;
    h->Multiply(x, mine);                                       // 6
    plain.Multiply(x, theirs);
    h->TransposeMultiply(nullptr, z, mineT, 0.5, 2.0);          // 12
    plain.TransposeMultiply(nullptr, z, theirsT, 0.5, 2.0);
    EXPECT_EQ(RefOf(mine).v, RefOf(theirs).v);
    EXPECT_EQ(RefOf(mineT).v, RefOf(theirsT).v);
}

TEST_F(HermitianScratch, AnAllocationRefusedInAProductLeaksNothingAndLeavesMatrixAndResultAlone)
{
    const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> h(Make(8, 3, {2, 4, 2}, 3));
    const ZylSrvScratchDenseMatrix b(8, 2, 3, -1);
    const RefMatrix a = FillRandom(MatrixSetupOf(h->DistributionID()), 12);
    const RefMatrix bValues = FillRandom(MatrixSetupOf(b.DistributionID()), 13);
    ZylSrvMatrix c(6, 2);
    const int made = zyltest::SweepAllocationFailures(
        [&] { c = 7.0; }, [&] { h->TransposeMultiply(&b, c, 0); },
        [&](int) {
            EXPECT_EQ(RawRead(MatrixSetupOf(h->DistributionID())).v, a.v);
            EXPECT_EQ(RefOf(c).v, RefMatrix(6, 2, 7.0).v);
        },
        200);
    EXPECT_GT(made, 0);
    ExpectMatrixNear(NaiveProduct(ExplicitH(a, {2, 4, 2}), true, bValues), RefOf(c), "after the sweep");
}

} // namespace

// Three choices of slots 9 and 17 where the rules leave shapes open.
TEST_F(HermitianScratch, SlotNineKeepsColumnsPastXAndRefusesADiagonalXSlotSeventeenRefusesASmallCUnchanged)
{
    const std::unique_ptr<ZylSrvHermitianScrDenseMatrix> h(Make(8, 3, {2, 4, 2}, 3));
    FillRandom(MatrixSetupOf(h->DistributionID()), 5);
    ZylSrvScratchDenseMatrix Y(8, 4, 3, -1);
    const RefMatrix y0 = FillRandom(MatrixSetupOf(Y.DistributionID()), 6);
    // beta 0 with X of 2 columns: Y's columns 2 and 3 keep their values.
    h->Multiply(1.0, MatrixOf(RandomMatrix(6, 2, 7)), 0.0, Y);
    const RefMatrix after = RawRead(MatrixSetupOf(Y.DistributionID()));
    EXPECT_EQ(after.Block(0, 7, 2, 3).v, y0.Block(0, 7, 2, 3).v);
    // A diagonal X stores no full halves: refused before Y is touched.
    std::vector<double> diagonal(6, 1.0);
    zyltest::ExpectIllegalInput(
        [&] { h->Multiply(1.0, ZylSrvMatrix(6, 6, diagonal.data(), false, true), 1.0, Y); }, "GetValues");
    EXPECT_EQ(RawRead(MatrixSetupOf(Y.DistributionID())).v, after.v);
    // C with fewer than 2N rows: refused, C as it was.
    const ZylSrvScratchDenseMatrix B(8, 2, 3, -1);
    ZylSrvMatrix c(5, 2);
    c = 7.0;
    zyltest::ExpectIllegalInput([&] { h->TransposeMultiply(&B, c, 0); }, "SetValues");
    EXPECT_EQ(RefOf(c).v, RefMatrix(5, 2, 7.0).v);
}
