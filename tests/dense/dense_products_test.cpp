// Products and block-wise updates of ZylSrvDenseMatrix against the naive
// product of values read back raw. The operands are views whose first and
// last blocks are short, so that every band is uneven.
#include "DenseHelpers.h"

#include "support/AllocationSweep.h"

#include <platform/mem.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace densetest;
using zyltest::ExpectMatrixNear;
using zyltest::MatrixSetup;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A: rows 3..21, columns 2..15 of a 23 x 17 matrix chunked 5 x 4, so 19 x 14
// with row blocks 2, 5, 5, 5, 2 and column blocks 2, 4, 4, 4. B in the
// database: 14 x 9 with row blocks 2, 3, 3, 3, 3 (left side of A^T's
// products: 19 x 7 with row blocks 2, 6, 6, 5).
class DenseProducts : public DenseTest {
protected:
    static constexpr int m = 19;
    static constexpr int k = 14;

    void SetUp() override
    {
        DenseTest::SetUp();
        aSetup = MakeMatrix(23, 17, 5, 4);
        aParent = FillRandom(aSetup, 1);
        av = aParent.Block(3, 21, 2, 15);
        aRoot = std::make_unique<ZylSrvDenseMatrix>(aSetup.id);
        a.reset(aRoot->Submatrix(3, 21, 2, 15));
        bd = RandomView(k, 9, 3, 4, 1, 2, 5, bdv);
        btd = RandomView(m, 7, 6, 3, 4, 1, 22, btdv);
    }
    void TearDown() override
    {
        a.reset();
        aRoot.reset();
        DenseTest::TearDown();
    }

    // C := left * right into a fresh dense matrix (slot 8); its values.
    RefMatrix LeftTimesRight()
    {
        const MatrixSetup cs = MakeMatrix(lv.rows, rv.cols, 5, 3, kNaN);
        ZylSrvDenseMatrix c(cs.id);
        left->Multiply(*right, c);
        return RawRead(cs);
    }

    MatrixSetup aSetup;
    RefMatrix aParent, av, bdv, btdv, lv, rv;
    std::unique_ptr<ZylSrvDenseMatrix> aRoot, a;
    ZylSrvDenseMatrix* bd = nullptr;
    ZylSrvDenseMatrix* btd = nullptr;
    ZylSrvDenseMatrix* left = nullptr; // operands of their own, made by `prepare`
    ZylSrvDenseMatrix* right = nullptr;

public:
    // One product slot: `prepare` (may be empty) makes operands of its own,
    // `call` runs the slot and returns what it produced, `oracle` the naive
    // result; `changesA` for the slots that write A.
    struct Slot {
        const char* name;
        std::function<void(DenseProducts&)> prepare;
        std::function<RefMatrix(DenseProducts&)> call;
        std::function<RefMatrix(DenseProducts&)> oracle;
        bool changesA = false;
    };
    static std::vector<Slot> Slots();
};

std::vector<DenseProducts::Slot> DenseProducts::Slots()
{
    using F = DenseProducts;
    const auto ab = [](F& f, unsigned seed) { return NaiveProduct(f.av, false, RandomMatrix(k, 4, seed)); };
    const auto atb = [](F& f, const RefMatrix& b) { return NaiveProduct(f.av, true, b); };
    const auto bands = [](int rows, int depth, int columns, int pm, int pk, int pn) {
        return [=](F& f) {
            f.left = f.RandomView(rows, depth, pm, pk, pm > 0, pm > 0 ? 2 : 0, 9, f.lv);
            f.right = f.RandomView(depth, columns, pk, pn, pm > 0 ? 2 : 0, pm > 0, 10, f.rv);
        };
    };
    const auto leftTimesRight = [](F& f) { return f.LeftTimesRight(); };
    const auto naiveLeftRight = [](F& f) { return NaiveProduct(f.lv, false, f.rv); };
    const auto diagonal = [] {
        ZylSrvMatrix d(k, k, nullptr, false, true);
        const RefMatrix values = RandomMatrix(k, 1, 12);
        std::copy(values.v.begin(), values.v.end(), d.Values());
        return d;
    };
    const auto ad = [](F& f) {
        RefMatrix r = f.av;
        const RefMatrix d = RandomMatrix(k, 1, 12);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < m; ++i)
                r(i, j) *= d(j, 0);
        return r;
    };
    const auto alphaDiagonalBeta = [=](double alpha, double beta) {
        return [=](F& f) {
            const MatrixSetup cs = f.MakeMatrix(m, k, 6, 5);
            f.FillRandom(cs, 31);
            ZylSrvDenseMatrix c(cs.id);
            f.a->Multiply(alpha, diagonal(), beta, c);
            return f.RawRead(cs);
        };
    };
    const auto leadingRows = [](int nk, int times) {
        return [=](F& f) {
            const RefMatrix x = RandomMatrix(std::max(nk, 1), 2, 14);
            RefMatrix y = RandomMatrix(k, 2, 15);
            for (int t = 0; t < times; ++t)
                f.a->TransposeMultiply(x.data(), 2, y.data(), nk);
            return y;
        };
    };
    const auto leadingRowsOracle = [](int nk, int times) {
        return [=](F& f) {
            const RefMatrix y0 = RandomMatrix(k, 2, 15);
            if (nk == 0)
                return y0;
            return Combine(1.0, y0, times, NaiveProduct(f.av.Block(0, nk - 1, 0, k - 1), true,
                                                        RandomMatrix(nk, 2, 14)));
        };
    };
    // (row-permuted A)^T B: row i of A moves to row (7 i + 3) mod m first.
    const auto permuted = [](F& f, bool permute) {
        RefMatrix p(m, k);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < m; ++i)
                p(permute ? (7 * i + 3) % m : i, j) = f.av(i, j);
        return p;
    };
    const auto permutedProduct = [](bool permute, double alpha, double beta) {
        return [=](F& f) {
            std::vector<int> perm(m);
            for (int i = 0; i < m; ++i)
                perm[static_cast<std::size_t>(i)] = (7 * i + 3) % m;
            ZylSrvMatrix c = ToMatrix(RandomMatrix(k, 3, 18));
            f.a->TransposeMultiply(permute ? perm.data() : nullptr, ToMatrix(RandomMatrix(m, 3, 17)), c, alpha, beta);
            return FromMatrix(c);
        };
    };
    const auto naivePermuted = [=](bool permute, double alpha, double beta) {
        return [=](F& f) {
            return Combine(alpha, NaiveProduct(permuted(f, permute), true, RandomMatrix(m, 3, 17)), beta,
                           RandomMatrix(k, 3, 18));
        };
    };
    // A^T B: B in memory (random m x 5 from `seed`, or A itself when seed is
    // 0, then symmetric); B in the database (the 19 x 7 view, or A itself).
    const auto memoryB = [](F& f, unsigned seed) { return seed ? RandomMatrix(m, 5, seed) : f.av; };
    const auto naiveAtB = [=](unsigned seed) { return [=](F& f) { return atb(f, memoryB(f, seed)); }; };
    const auto intoArray = [=](unsigned seed, int symmetric) {
        return [=](F& f) {
            RefMatrix c(k, seed ? 5 : k, kNaN);
            f.a->TransposeMultiply(ToMatrix(memoryB(f, seed)), c.data(), symmetric);
            return c;
        };
    };
    const auto intoMatrix = [=](unsigned seed, int symmetric) {
        return [=](F& f) {
            ZylSrvMatrix c = ToMatrix(RefMatrix(k, seed ? 5 : k, kNaN));
            f.a->TransposeMultiply(ToMatrix(memoryB(f, seed)), c, symmetric);
            return FromMatrix(c);
        };
    };
    const auto denseB = [](F& f, bool byA) { return byA ? f.a.get() : f.btd; };
    const auto naiveAtDenseB = [=](bool byA, int columns) {
        return [=](F& f) { return Placed(RefMatrix(k, columns, -1.0), atb(f, byA ? f.av : f.btdv), 0, 0); };
    };
    const auto intoDense = [=](bool byA, int columns) { // symmetric when B is A
        return [=](F& f) {
            const MatrixSetup cs = f.MakeMatrix(k, columns, 4, 5, -1.0);
            ZylSrvDenseMatrix c(cs.id);
            f.a->TransposeMultiply(denseB(f, byA), &c, byA);
            return f.RawRead(cs);
        };
    };
    const auto denseIntoArray = [=](bool byA) {
        return [=](F& f) {
            RefMatrix c(k, byA ? k : 7, kNaN);
            f.a->TransposeMultiply(denseB(f, byA), c.data(), byA);
            return c;
        };
    };
    const auto denseIntoMatrix = [=](bool byA) {
        return [=](F& f) {
            ZylSrvMatrix c = ToMatrix(RefMatrix(k, byA ? k : 7, kNaN));
            f.a->TransposeMultiply(denseB(f, byA), c, byA);
            return FromMatrix(c);
        };
    };
    return {
        {"Slot5_YPlusAXTwice", {},
         [](F& f) {
             const RefMatrix x = RandomMatrix(k, 3, 2);
             RefMatrix y = RandomMatrix(m, 3, 3);
             f.a->Multiply(x.data(), 3, y.data());
             f.a->Multiply(x.data(), 3, y.data());
             return y;
         },
         [](F& f) { return Combine(1.0, RandomMatrix(m, 3, 3), 2.0, NaiveProduct(f.av, false, RandomMatrix(k, 3, 2))); }},
        {"Slot6_OverwritesC", {},
         [](F& f) {
             ZylSrvMatrix c(m, 4);
             c = kNaN;
             f.a->Multiply(ToMatrix(RandomMatrix(k, 4, 4)), c);
             return FromMatrix(c);
         },
         [=](F& f) { return ab(f, 4); }},
        {"Slot7_DenseBIntoArray", {},
         [](F& f) {
             RefMatrix c(m, 9, kNaN);
             f.a->Multiply(f.bd, c.data());
             return c;
         },
         [](F& f) { return NaiveProduct(f.av, false, f.bdv); }},
        {"Slot8_IntoADenseView", {},
         [](F& f) {
             const MatrixSetup cs = f.MakeMatrix(22, 11, 4, 2, -1.0);
             const ZylSrvDenseMatrix cRoot(cs.id);
             std::unique_ptr<ZylSrvDenseMatrix> c(cRoot.Submatrix(2, 20, 1, 9));
             f.a->Multiply(*f.bd, *c);
             return f.RawRead(cs);
         },
         [](F& f) { return Placed(RefMatrix(22, 11, -1.0), NaiveProduct(f.av, false, f.bdv), 2, 1); }},
        {"Slot8_ManyBandsEachWay", bands(40, 30, 20, 4, 3, 2), leftTimesRight, naiveLeftRight},
        {"Slot8_ThinDepthManyColumnBands", bands(40, 3, 50, 8, 3, 4), leftTimesRight, naiveLeftRight},
        {"Slot8_Unchunked", bands(7, 5, 6, -1, -1, -1), leftTimesRight, naiveLeftRight},
        {"Slot9_AlphaBeta", {},
         [](F& f) {
             const MatrixSetup cs = f.MakeMatrix(m, 4, 3, 4);
             f.FillRandom(cs, 30);
             ZylSrvDenseMatrix c(cs.id);
             f.a->Multiply(-1.0, ToMatrix(RandomMatrix(k, 4, 11)), 0.5, c);
             return f.RawRead(cs);
         },
         [=](F& f) { return Combine(-1.0, ab(f, 11), 0.5, RandomMatrix(m, 4, 30)); }},
        {"Slot9_DiagonalBetaOne", {}, alphaDiagonalBeta(1.0, 1.0),
         [=](F& f) { return Combine(1.0, ad(f), 1.0, RandomMatrix(m, k, 31)); }},
        {"Slot9_DiagonalBetaMinusHalf", {}, alphaDiagonalBeta(3.0, -0.5),
         [=](F& f) { return Combine(3.0, ad(f), -0.5, RandomMatrix(m, k, 31)); }},
        {"Slot9_DiagonalBetaZero", {}, alphaDiagonalBeta(3.0, 0.0),
         [=](F& f) { return Combine(3.0, ad(f), 0.0, ad(f)); }},
        {"Slot10_MultiplyAssign", {},
         [](F& f) {
             f.a->MultiplyAssign(ToMatrix(RandomMatrix(k, k, 13)));
             return f.RawRead(f.aSetup);
         },
         [](F& f) { return Placed(f.aParent, NaiveProduct(f.av, false, RandomMatrix(k, k, 13)), 3, 2); }, true},
        {"Slot11_LeadingRowsTwice", {}, leadingRows(11, 2), leadingRowsOracle(11, 2)},
        {"Slot11_AllRows", {}, leadingRows(m, 1), leadingRowsOracle(m, 1)},
        {"Slot11_NoRows", {}, leadingRows(0, 1), leadingRowsOracle(0, 1)},
        {"Slot12_AlphaBeta", {}, permutedProduct(false, 2.0, -1.0), naivePermuted(false, 2.0, -1.0)},
        {"Slot12_RowsPermutedFirst", {}, permutedProduct(true, 1.0, 0.0), naivePermuted(true, 1.0, 0.0)},
        {"Slot13_Array", {}, intoArray(19, 0), naiveAtB(19)},
        {"Slot13_ArraySymmetric", {}, intoArray(0, 1), naiveAtB(0)},
        {"Slot14_Matrix", {}, intoMatrix(19, 0), naiveAtB(19)},
        {"Slot14_Symmetric", {}, intoMatrix(0, 1), naiveAtB(0)},
        {"Slot14_OneBandIsBItself", [](F& f) { f.left = f.RandomView(6, 4, -1, -1, 0, 0, 20, f.lv); },
         [](F& f) {
             ZylSrvMatrix c(4, 3);
             c = kNaN;
             f.left->TransposeMultiply(ToMatrix(RandomMatrix(6, 3, 21)), c, 0);
             return FromMatrix(c);
         },
         [](F& f) { return NaiveProduct(f.lv, true, RandomMatrix(6, 3, 21)); }},
        {"Slot15_LeadingColumnsOfADenseC", {}, intoDense(false, 9), naiveAtDenseB(false, 9)},
        {"Slot15_Symmetric", {}, intoDense(true, k), naiveAtDenseB(true, k)},
        {"Slot16_Array", {}, denseIntoArray(false), naiveAtDenseB(false, 7)},
        {"Slot17_Matrix", {}, denseIntoMatrix(false), naiveAtDenseB(false, 7)},
        {"Slot17_Symmetric", {}, denseIntoMatrix(true), naiveAtDenseB(true, k)},
        // Groups {4, 5, 6}; none; {9, 2, 3, 3} (split into runs); {18}; {0, 1}.
        {"Slot18_IndexedGroupsAndRuns", {},
         [](F& f) {
             const MatrixSetup cs = f.MakeMatrix(12, 3, 5, 2, -1.0);
             ZylSrvDenseMatrix c(cs.id);
             const int rowIndex[] = {4, 5, 6, 9, 2, 3, 3, 18, 0, 1};
             const int groupStart[] = {0, 3, 3, 7, 8, 10};
             f.a->IndexedMultiply(ToMatrix(RandomMatrix(k, 3, 23)), c, rowIndex, groupStart, 5);
             return f.RawRead(cs);
         },
         [](F& f) {
             const RefMatrix product = NaiveProduct(f.av, false, RandomMatrix(k, 3, 23));
             const int rowIndex[] = {4, 5, 6, 9, 2, 3, 3, 18, 0, 1};
             RefMatrix expected(12, 3, -1.0);
             for (int i = 0; i < 10; ++i)
                 for (int j = 0; j < 3; ++j)
                     expected(i, j) = product(rowIndex[i], j);
             return expected;
         }},
    };
}

void PrintTo(const DenseProducts::Slot& slot, std::ostream* os) { *os << slot.name; }

class DenseProductSlot : public DenseProducts, public ::testing::WithParamInterface<DenseProducts::Slot> {};

TEST_P(DenseProductSlot, MatchesTheNaiveProduct)
{
    const Slot& slot = GetParam();
    if (slot.prepare)
        slot.prepare(*this);
    const RefMatrix expected = slot.oracle(*this);
    const RefMatrix actual = slot.call(*this);
    ExpectMatrixNear(expected, actual, slot.name);
    if (!slot.changesA)
        ExpectMatrixNear(aParent, RawRead(aSetup), "A unchanged");
}

INSTANTIATE_TEST_SUITE_P(DenseSlots, DenseProductSlot, ::testing::ValuesIn(DenseProducts::Slots()),
                         [](const ::testing::TestParamInfo<DenseProducts::Slot>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DenseProducts, AlphaBetaProductReadsCOnlyWhenBetaIsNonZero)
{
    const RefMatrix b = RandomMatrix(k, 4, 11);
    const RefMatrix product = NaiveProduct(av, false, b);
    // C reads NaN everywhere until written; its row blocks (3) differ from A's.
    const MatrixSetup cs = MakeMatrix(m, 4, 3, 4, kNaN);
    ZylSrvDenseMatrix c(cs.id);
    const long before = ZylDorvTestSeam::ValueReadsSoFar();
    a->Multiply(2.0, ToMatrix(b), 0.0, c);
    EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - before, c.NumberOfRowBlocks()) << "A once per band, C never";
    const RefMatrix first = RawRead(cs);
    ExpectMatrixNear(Combine(2.0, product, 0.0, product), first, "2 A B");

    const long beforeBeta = ZylDorvTestSeam::ValueReadsSoFar();
    a->Multiply(-1.0, ToMatrix(b), 0.5, c);
    EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - beforeBeta, 2 * c.NumberOfRowBlocks()) << "and each band of C";
    ExpectMatrixNear(Combine(-1.0, product, 0.5, first), RawRead(cs), "-A B + C / 2");

    // A NaN beta counts as non-zero: C is read and scaled.
    a->Multiply(1.0, ToMatrix(b), kNaN, c);
    for (double v : RawRead(cs).v)
        ASSERT_TRUE(std::isnan(v));
}

TEST_F(DenseProducts, AddAssignAndScaleWorkBlockByBlock)
{
    RefMatrix bv;
    ZylSrvDenseMatrix* b = RandomView(m, k, 3, 3, 2, 2, 24, bv); // blocks cut unlike A's
    a->AddAssign(*b);
    RefMatrix expected = Placed(aParent, Combine(1.0, av, 1.0, bv), 3, 2);
    ExpectMatrixNear(expected, RawRead(aSetup), "A + B");
    a->Scale(-1.5);
    expected = Placed(aParent, Combine(-1.5, av, -1.5, bv), 3, 2);
    ExpectMatrixNear(expected, RawRead(aSetup), "-1.5 (A + B)");

    // A B with fewer rows or columns writes nothing.
    std::unique_ptr<ZylSrvDenseMatrix> shorter(b->Submatrix(0, m - 2, 0, k - 1));
    std::unique_ptr<ZylSrvDenseMatrix> narrower(b->Submatrix(0, m - 1, 0, k - 2));
    for (const ZylSrvDenseMatrix* smaller : {shorter.get(), narrower.get()})
        zyltest::ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { a->AddAssign(*smaller); }, 203, kGetRange,
                                                             kSource);
    ExpectMatrixNear(expected, RawRead(aSetup), "unchanged");
}

TEST_F(DenseProducts, IsSymmetricComparesMirroredBlocks)
{
    const int n = 11;
    const MatrixSetup s = MakeMatrix(n, n, 4, 4);
    RefMatrix v = RandomMatrix(n, n, 25);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < j; ++i)
            v(j, i) = v(i, j);
    RawWrite(s, v);
    const ZylSrvDenseMatrix sym(s.id);
    EXPECT_TRUE(sym.IsSymmetric());
    const auto poke = [&](int r, int c, double value) { RawWrite(s, r, r, c, c, &value); };
    poke(1, 9, v(1, 9) + 1e-9); // a block off the diagonal
    EXPECT_FALSE(sym.IsSymmetric());
    poke(1, 9, v(1, 9));
    poke(5, 6, v(5, 6) * 2.0 + 1.0); // inside a diagonal block
    EXPECT_FALSE(sym.IsSymmetric());
    poke(5, 6, v(5, 6));
    poke(10, 9, v(10, 9) - 1.0); // the short last block
    EXPECT_FALSE(sym.IsSymmetric());
    poke(10, 9, v(10, 9));
    std::unique_ptr<ZylSrvDenseMatrix> view(sym.Submatrix(1, 9, 1, 9)); // blocks 3, 4, 2
    EXPECT_TRUE(view->IsSymmetric());
    poke(2, 9, 7.0);
    EXPECT_FALSE(view->IsSymmetric());

    // Not square: false without reading any value.
    ZylDorvTestSeam::FailValueReads(1, 71);
    EXPECT_FALSE(a->IsSymmetric());
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 1);
}

TEST_F(DenseProducts, StagingIsReleasedWhenAnErrorPasses)
{
    const MatrixSetup cs = MakeMatrix(m - 1, 9, 4, 2);
    ZylSrvDenseMatrix c(cs.id);
    ZylSrvMatrix s(k, k);
    const long live = mem_LiveBlocks();
    // C with too few rows for the product.
    zyltest::ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { a->Multiply(*bd, c); }, 204, kSetRange, kSource);
    // A source row past the end of A.
    const int rowIndex[] = {0, 1, m};
    const int groupStart[] = {0, 3};
    zyltest::ExpectFamilyError<ZylSrvMtxInvalidGetRange>(
        [&] { a->IndexedMultiply(ToMatrix(RandomMatrix(k, 9, 27)), c, rowIndex, groupStart, 1); }, 203, kGetRange,
        kSource);
    // A database read failure in the middle of a transposed product.
    ZylDorvTestSeam::FailValueReads(1, 71);
    EXPECT_DORV_ERROR(a->TransposeMultiply(a.get(), s, 1), 71, "failure forced by the test seam");
    EXPECT_EQ(mem_LiveBlocks(), live);
}

TEST_F(DenseProducts, RefusedStagingAllocationsLeakNothingAndChangeNoOperand)
{
    const RefMatrix b = RandomMatrix(k, 4, 4);
    const MatrixSetup cs = MakeMatrix(m, 9, 4, 2);
    ZylSrvDenseMatrix cDense(cs.id);
    ZylSrvMatrix c(m, 4), ct(k, 7);
    const RefMatrix bdParent = bdv, btdParent = btdv;
    struct Product {
        const char* name;
        std::function<void()> run;
        std::function<void()> check; // the product's result against the naive one
    };
    const std::vector<Product> products = {
        {"A B (slot 6)", [&] { a->Multiply(ToMatrix(b), c); },
         [&] { ExpectMatrixNear(NaiveProduct(av, false, b), FromMatrix(c), "A B"); }},
        {"A B in the database (slot 8)", [&] { a->Multiply(*bd, cDense); },
         [&] { ExpectMatrixNear(NaiveProduct(av, false, bdv), RawRead(cs), "A B"); }},
        {"A^T B, dense B (slot 17)", [&] { a->TransposeMultiply(btd, ct, 0); },
         [&] { ExpectMatrixNear(NaiveProduct(av, true, btdv), FromMatrix(ct), "A^T B"); }},
        {"row bands (slot 9)", [&] { a->Multiply(1.0, ToMatrix(bdv), 0.0, cDense); },
         [&] { ExpectMatrixNear(NaiveProduct(av, false, bdv), RawRead(cs), "A B"); }},
    };
    for (const Product& p : products) {
        SCOPED_TRACE(p.name);
        const int allocations = zyltest::SweepAllocationFailures(
            [] {}, p.run,
            [&](int) {
                ExpectMatrixNear(aParent, RawRead(aSetup), "A unchanged");
                ExpectMatrixNear(bdParent, ReadThrough(*bd), "B unchanged");
                ExpectMatrixNear(btdParent, ReadThrough(*btd), "B unchanged");
            });
        EXPECT_GT(allocations, 0) << "the product stages its bands";
        p.check(); // the matrices stay usable
    }
}

} // namespace
