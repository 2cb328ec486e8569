// Products, block-wise updates and the other operations of ZylSrvDenseMatrix
// against the naive product of values read back raw, also after every
// refused allocation and under failing value writes. The operands are views
// whose first and last blocks are short, so that every band is uneven.
#include "DenseHelpers.h"

#include "support/AllocationSweep.h"

#include <platform/mem.h>

#include <cmath>
#include <cstdint>
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
constexpr int m = 19;
constexpr int k = 14;

// A: rows 3..21, columns 2..15 of a 23 x 17 matrix chunked 5 x 4, so 19 x 14
// with row blocks 2, 5, 5, 5, 2 and column blocks 2, 4, 4, 4. Dense B: 14 x 9
// with row blocks 2, 3, 3, 3, 3; dense Bt (for A^T Bt): 19 x 7, row blocks
// 2, 6, 6, 5.
class DenseProducts : public DenseTest {
protected:
    void SetUp() override
    {
        DenseTest::SetUp();
        a = RandomView(m, k, 5, 4, 3, 2, 1, av, &aSetup);
        aParent = RawRead(aSetup);
        b = RandomView(k, 9, 3, 4, 1, 2, 5, bv);
        bt = RandomView(m, 7, 6, 3, 4, 1, 22, btv);
    }

    MatrixSetup aSetup;
    RefMatrix aParent, av, bv, btv, lv, rv;
    ZylSrvDenseMatrix *a = nullptr, *b = nullptr, *bt = nullptr, *left = nullptr, *right = nullptr;
    // The value-write failure armed by Arm() (none while failWrites is 0),
    // and the write count when it was armed (-1: never).
    int failWrites = 0, failAfter = 0;
    std::uint16_t failNumber = 0;
    long writesAtArm = -1;

public:
    // `call` runs one operation and returns what it produced, calling Arm()
    // just before the operation proper when it writes values; `oracle` (run
    // afterwards) the naive result; `changesA` for the operations writing A;
    // `setup` makes further operands once, before any call.
    struct Slot {
        const char* name;
        std::function<RefMatrix(DenseProducts&)> call;
        std::function<RefMatrix(DenseProducts&)> oracle;
        bool changesA = false;
        std::function<void(DenseProducts&)> setup = nullptr;
    };
    static std::vector<Slot> Slots();

    void Arm()
    {
        writesAtArm = ZylDorvTestSeam::ValueWritesSoFar();
        ZylDorvTestSeam::FailValueWrites(failWrites, failNumber, failAfter);
    }

    // What a product writes into a new dense matrix (rows x columns chunked
    // 4 x 5, `init` until written).
    RefMatrix IntoDense(int rows, int columns, double init, const std::function<void(ZylSrvDenseMatrix&)>& product)
    {
        const MatrixSetup cs = MakeMatrix(rows, columns, 4, 5, init);
        ZylSrvDenseMatrix c(cs.id);
        Arm();
        product(c);
        return RawRead(cs);
    }
};

using F = DenseProducts;

// What a product writes into an array or a ZylSrvMatrix, each reading NaN
// until written.
RefMatrix IntoArray(int rows, int columns, const std::function<void(double*)>& product)
{
    RefMatrix c(rows, columns, kNaN);
    product(c.data());
    return c;
}

RefMatrix IntoMatrix(int rows, int columns, const std::function<void(ZylSrvMatrix&)>& product)
{
    ZylSrvMatrix c = MatrixOf(RefMatrix(rows, columns, kNaN));
    product(c);
    return RefOf(c);
}

// Row i of A moves to row (7 i + 3) mod m.
const int kPerm[m] = {3, 10, 17, 5, 12, 0, 7, 14, 2, 9, 16, 4, 11, 18, 6, 13, 1, 8, 15};

RefMatrix Permuted(const RefMatrix& v)
{
    RefMatrix p(m, v.cols);
    for (int j = 0; j < v.cols; ++j)
        for (int i = 0; i < m; ++i)
            p(kPerm[i], j) = v(i, j);
    return p;
}

// Groups {4, 5, 6}; none; {7, 2, 3, 3} (split into runs; 7 continues the
// previous group's run, which must still end with its group); {18}; {0, 1}.
const int kRowIndex[] = {4, 5, 6, 7, 2, 3, 3, 18, 0, 1};
const int kGroupStart[] = {0, 3, 3, 7, 8, 10};

std::vector<F::Slot> F::Slots()
{
    const RefMatrix x = RandomMatrix(k, 3, 2), y0 = RandomMatrix(m, 3, 3), b4 = RandomMatrix(k, 4, 4),
                    bk = RandomMatrix(k, k, 13), xt = RandomMatrix(m, 2, 14),
                    yt = RandomMatrix(k, 2, 15), b3 = RandomMatrix(m, 3, 17), c3 = RandomMatrix(k, 3, 18),
                    b5 = RandomMatrix(m, 5, 19), b6 = RandomMatrix(6, 3, 21), bg = RandomMatrix(k, 3, 23);
    // C := left * right, operands of their own with bands cut every way (slot 8).
    const auto bands = [](const char* name, int rows, int depth, int columns, int pm, int pk, int pn) {
        return Slot{name,
                    [=](F& f) {
                        return f.IntoDense(rows, columns, kNaN,
                                           [&](ZylSrvDenseMatrix& c) { f.left->Multiply(*f.right, c); });
                    },
                    [](F& f) { return NaiveProduct(f.lv, false, f.rv); }, false, [=](F& f) {
                        f.left = f.RandomView(rows, depth, pm, pk, pm > 0, pm > 0 ? 2 : 0, 9, f.lv);
                        f.right = f.RandomView(depth, columns, pk, pn, pm > 0 ? 2 : 0, pm > 0, 10, f.rv);
                    }};
    };
    // An update of A in place; the oracle gives the new values of the view.
    const auto inPlace = [](const char* name, std::function<void(F&)> update, std::function<RefMatrix(F&)> oracle,
                            std::function<void(F&)> setup = nullptr) {
        return Slot{name, [=](F& f) { f.Arm(); update(f); return f.RawRead(f.aSetup); },
                    [=](F& f) { return Placed(f.aParent, oracle(f), 3, 2); }, true, setup};
    };
    const auto square = [](const RefMatrix& v) { return v.Block(0, k - 1, 0, k - 1); };
    const auto ata = [](F& f) { return NaiveProduct(f.av, true, f.av); };
    const auto atbt = [](F& f) { return NaiveProduct(f.av, true, f.btv); };
    // What a product leaves in a ZylSrvMatrix over c0's values; c0 scaled.
    const auto after = [](const RefMatrix& c0, std::function<void(F&, ZylSrvMatrix&)> product) {
        return [=](F& f) { RefMatrix c = c0; ZylSrvMatrix over(c.rows, c.cols, c.data()); product(f, over); return c; };
    };
    const auto scaled = [](double s, const RefMatrix& c0) { return [=](F&) { return Combine(s, c0, 0.0, c0); }; };
    return {
        {"Slot5_YPlusAXTwice",
         [=](F& f) {
             RefMatrix y = y0;
             f.a->Multiply(x.data(), 3, y.data());
             f.a->Multiply(x.data(), 3, y.data());
             return y;
         },
         [=](F& f) { return Combine(1.0, y0, 2.0, NaiveProduct(f.av, false, x)); }},
        // M, N or K of 0 reach BLAS as they are: with N = 0 nothing is written,
        // with K = 0 C becomes beta C (OpenBLAS takes LDB = 0 when K = 0).
        {"Slot5_NoRightHandSides",
         after(y0, [=](F& f, ZylSrvMatrix& y) { f.a->Multiply(x.data(), 0, y.Values()); }), scaled(1, y0)},
        {"Slot11_NoRightHandSides",
         after(yt, [=](F& f, ZylSrvMatrix& y) { f.a->TransposeMultiply(xt.data(), 0, y.Values(), m); }), scaled(1, yt)},
        {"Slot12_BWithoutRows",
         after(c3, [](F& f, ZylSrvMatrix& c) { f.a->TransposeMultiply(kPerm, ZylSrvMatrix(0, 3), c, 2, 0.5); }),
         scaled(0.5, c3)},
        {"Slot12_BWithoutColumns",
         after(c3, [](F& f, ZylSrvMatrix& c) { f.a->TransposeMultiply(nullptr, ZylSrvMatrix(m, 0), c, 2, 0.5); }),
         scaled(1, c3)},
        {"Slot6_OverwritesC",
         [=](F& f) { return IntoMatrix(m, 4, [&](ZylSrvMatrix& c) { f.a->Multiply(MatrixOf(b4), c); }); },
         [=](F& f) { return NaiveProduct(f.av, false, b4); }},
        {"Slot7_DenseBIntoArray", [](F& f) { return IntoArray(m, 9, [&](double* c) { f.a->Multiply(f.b, c); }); },
         [](F& f) { return NaiveProduct(f.av, false, f.bv); }},
        bands("Slot8_ManyBandsEachWay", 40, 30, 20, 4, 3, 2),
        bands("Slot8_ThinDepthManyColumnBands", 40, 3, 50, 8, 3, 4),
        bands("Slot8_Unchunked", 7, 5, 6, -1, -1, -1),
        // With beta 0 C is not read: the columns DGEMM does not form keep C's values.
        {"Slot9_BetaZeroLeavesColumnsPastB",
         [=](F& f) {
             return f.IntoDense(m, 4, -1, [&](ZylSrvDenseMatrix& c) { f.a->Multiply(2, MatrixOf(bg), 0, c); });
         },
         [=](F& f) {
             const RefMatrix p = NaiveProduct(f.av, false, bg);
             return Placed(RefMatrix(m, 4, -1), Combine(2, p, 0, p), 0, 0);
         }},
        {"Slot9_BWithoutColumnsWritesNothing",
         [](F& f) {
             return f.IntoDense(m, 2, -1, [&](ZylSrvDenseMatrix& c) { f.a->Multiply(2, ZylSrvMatrix(k, 0), 0, c); });
         },
         [](F&) { return RefMatrix(m, 2, -1); }},
        inPlace("Slot10_MultiplyAssign", [=](F& f) { f.a->MultiplyAssign(MatrixOf(bk)); },
                [=](F& f) { return NaiveProduct(f.av, false, bk); }),
        inPlace("AddAssign_BlocksCutUnlikeA", [](F& f) { f.a->AddAssign(*f.left); },
                [](F& f) { return Combine(1, f.av, 1, f.lv); },
                [](F& f) { f.left = f.RandomView(m, k, 3, 3, 2, 2, 24, f.lv); }),
        inPlace("Scale", [](F& f) { f.a->Scale(-1.5); }, [](F& f) { return Combine(-1.5, f.av, 0, f.av); }),
        // Y += (first 11 rows of A)^T X twice; over all rows.
        {"Slot11_LeadingRowsAccumulate",
         [=](F& f) {
             RefMatrix y = yt;
             for (int nk : {11, 11, m})
                 f.a->TransposeMultiply(xt.Block(0, nk - 1, 0, 1).data(), 2, y.data(), nk);
             return y;
         },
         [=](F& f) {
             const RefMatrix leading = NaiveProduct(f.av.Block(0, 10, 0, k - 1), true, xt.Block(0, 10, 0, 1));
             return Combine(1.0, Combine(1.0, yt, 2.0, leading), 1.0, NaiveProduct(f.av, true, xt));
         }},
        // C := 2 A^T B - C, then C := (row-permuted A)^T B + C / 2.
        {"Slot12_AlphaBetaThenPermuted",
         [=](F& f) {
             ZylSrvMatrix c = MatrixOf(c3);
             f.a->TransposeMultiply(nullptr, MatrixOf(b3), c, 2.0, -1.0);
             f.a->TransposeMultiply(kPerm, MatrixOf(b3), c, 1.0, 0.5);
             return RefOf(c);
         },
         [=](F& f) {
             const RefMatrix first = Combine(2.0, NaiveProduct(f.av, true, b3), -1.0, c3);
             return Combine(1.0, NaiveProduct(Permuted(f.av), true, b3), 0.5, first);
         }},
        {"Slot13_Array",
         [=](F& f) { return IntoArray(k, 5, [&](double* c) { f.a->TransposeMultiply(MatrixOf(b5), c, 0); }); },
         [=](F& f) { return NaiveProduct(f.av, true, b5); }},
        {"Slot14_Symmetric",
         [](F& f) { return IntoMatrix(k, k, [&](ZylSrvMatrix& c) { f.a->TransposeMultiply(MatrixOf(f.av), c, 1); }); },
         ata},
        {"Slot14_OneBand",
         [=](F& f) {
             return IntoMatrix(4, 3, [&](ZylSrvMatrix& c) { f.left->TransposeMultiply(MatrixOf(b6), c, 0); });
         },
         [=](F& f) { return NaiveProduct(f.lv, true, b6); }, false,
         [](F& f) { f.left = f.RandomView(6, 4, -1, -1, 0, 0, 20, f.lv); }},
        {"Slot15_LeadingColumnsOfADenseC",
         [](F& f) {
             return f.IntoDense(k, 9, -1.0, [&](ZylSrvDenseMatrix& c) { f.a->TransposeMultiply(f.bt, &c, 0); });
         },
         [=](F& f) { return Placed(RefMatrix(k, 9, -1.0), atbt(f), 0, 0); }},
        {"Slot15_Symmetric",
         [](F& f) {
             return f.IntoDense(k, k, kNaN, [&](ZylSrvDenseMatrix& c) { f.a->TransposeMultiply(f.a, &c, 1); });
         },
         ata},
        {"Slot16_Array", [](F& f) { return IntoArray(k, 7, [&](double* c) { f.a->TransposeMultiply(f.bt, c, 0); }); },
         atbt},
        {"Slot18_IndexedGroupsAndRuns",
         [=](F& f) {
             return f.IntoDense(12, 3, -1.0, [&](ZylSrvDenseMatrix& c) {
                 f.a->IndexedMultiply(MatrixOf(bg), c, kRowIndex, kGroupStart, 5);
             });
         },
         [=](F& f) {
             RefMatrix rows(12, k, 0.0); // output row i: row kRowIndex[i] of A; rows 10, 11 untouched
             for (int i = 0; i < 10; ++i)
                 rows = Placed(rows, f.av.Block(kRowIndex[i], kRowIndex[i], 0, k - 1), i, 0);
             return Placed(RefMatrix(12, 3, -1.0), NaiveProduct(rows.Block(0, 9, 0, k - 1), false, bg), 0, 0);
         }},
        // The other operations, for the fault sweeps below.
        {"Access_AttachAndGetAllValues", [](F& f) { return ReadThrough(ZylSrvDenseMatrix(f.aSetup.id)); },
         [](F& f) { return f.aParent; }},
        {"Access_SetValuesAcrossBlocks",
         [=](F& f) { f.Arm(); f.a->SetValues(2, 15, 1, 3, MatrixOf(bg)); return f.RawRead(f.aSetup); },
         [=](F& f) { return Placed(f.aParent, bg, 5, 3); }, true},
        {"Access_GetSubmatrix",
         [](F& f) { return f.IntoDense(6, 5, -1, [&](ZylSrvDenseMatrix& c) { f.a->GetSubmatrix(c, 3, 8, 2, 6); }); },
         [](F& f) { return f.av.Block(3, 8, 2, 6); }},
        {"Access_CopyValues",
         [](F& f) { return f.IntoDense(m, k + 1, -1, [&](ZylSrvDenseMatrix& c) { c.CopyValues(f.a); }); },
         [](F& f) { return Placed(RefMatrix(m, k + 1, -1), f.av, 0, 0); }},
        // A's row labels are 3..21: labels 3..18 find rows 3..18 of C, rows 0..2 none.
        {"Access_CopyMappedRowsClearing",
         [](F& f) { return f.IntoDense(m, k, -1, [&](ZylSrvDenseMatrix& c) { c.CopyMappedRows(f.a, true); }); },
         [](F& f) { return Placed(RefMatrix(m, k), f.av.Block(0, 15, 0, k - 1), 3, 0); }},
        {"Access_CopyRowsToMemory",
         [](F& f) {
             return IntoMatrix(m + 2, k, [&](ZylSrvMatrix& c) { f.a->CopyRowsToMemory(kPerm, m + 2, c); });
         },
         [](F& f) { return Placed(RefMatrix(m + 2, k), Permuted(f.av), 0, 0); }},
        // The packed triangles of a square view, then whether it is symmetric.
        {"Access_SubmatrixPackedAndSymmetric",
         [](F& f) {
             std::unique_ptr<ZylSrvDenseMatrix> view(f.a->Submatrix(0, k - 1, 0, k - 1));
             RefMatrix packed(k * (k + 1) / 2 + 1, 3, -1);
             view->GetUpperValues(&packed(0, 0));
             view->GetLowerValues(&packed(0, 1));
             view->GetSymmetricValues(&packed(0, 2));
             packed(k * (k + 1) / 2, 0) = view->IsSymmetric();
             return packed;
         },
         [=](F& f) {
             const RefMatrix v = square(f.av), mean = Combine(0.5, v, 0.5, v.Transposed());
             RefMatrix packed(k * (k + 1) / 2 + 1, 3, -1);
             for (int j = 0, at = 0; j < k; ++j)
                 for (int i = 0; i <= j; ++i, ++at) {
                     packed(at, 0) = v(i, j);
                     packed(at, 1) = v(j, i);
                     packed(at, 2) = mean(i, j);
                 }
             packed(k * (k + 1) / 2, 0) = 0; // random values are not symmetric
             return packed;
         }},
        // Rows past a one-block side's chunk of 100, read as the drawer's 0.5.
        {"ExtendDim_RowsOfAOneBlockSide",
         [](F& f) { f.Arm(); EXPECT_EQ(f.left->ExtendDim(1, 100, nullptr), 0); return ReadThrough(*f.left); },
         [](F& f) { return Placed(RefMatrix(130, 4, 0.5), f.lv, 0, 0); }, false,
         [](F& f) {
             const MatrixSetup s = f.MakeMatrix(30, 4, 100, 2, 0.5, 1);
             f.lv = f.FillRandom(s, 2);
             f.views.push_back(std::make_unique<ZylSrvDenseMatrix>(s.id));
             f.left = f.views.back().get();
         }},
    };
}

void PrintTo(const DenseProducts::Slot& slot, std::ostream* os) { *os << slot.name; }

class DenseProductSlot : public DenseProducts, public ::testing::WithParamInterface<DenseProducts::Slot> {};

// The 1st, 2nd, ... allocation refused until the operation completes (each
// try starts from A's original values): A unchanged, or readable when the
// operation writes it; then the naive result.
TEST_P(DenseProductSlot, MatchesTheNaiveProductAfterEveryRefusedAllocation)
{
    const Slot& slot = GetParam();
    if (slot.setup)
        slot.setup(*this);
    const auto intact = [&] {
        if (!slot.changesA)
            ExpectMatrixNear(aParent, RawRead(aSetup), "A unchanged");
        else
            ReadThrough(*a);
    };
    RefMatrix actual;
    EXPECT_GE(zyltest::SweepAllocationFailures([&] { RawWrite(aSetup, aParent); },
                                               [&] { actual = slot.call(*this); }, [&](int) { intact(); }, 200),
              0);
    ExpectMatrixNear(slot.oracle(*this), actual, slot.name);
    intact();
}

// Once every value write of the operation fails (what it started from), then
// the n-th write alone, n = 1, 2, ... until the operation completes. Number
// 71, which SetValues does not report, leaves every value as it was or as the
// result has it; number 70 is reported (208 through SetValues, as it is by
// ExtendDim); the completing run gives the result and the file reopens and reads.
TEST_P(DenseProductSlot, ValueWriteFailuresKeepOrReportAndTheFileReopens)
{
    const Slot& slot = GetParam();
    if (slot.setup)
        slot.setup(*this);
    long attempted = 0;
    const auto run = [&](int count, std::uint16_t number, int after) {
        RawWrite(aSetup, aParent);
        failWrites = count;
        failNumber = number;
        failAfter = after;
        writesAtArm = -1;
        RefMatrix result;
        try {
            result = slot.call(*this);
        } catch (const ZylSrvMtxFileWriteFailure& e) {
            EXPECT_EQ(number, 70);
            EXPECT_EQ(e.ErrorCode(), 208);
        } catch (const ZylDorvException& e) {
            EXPECT_EQ(e.Number(), number);
        }
        ZylDorvTestSeam::Clear();
        failWrites = 0;
        attempted = writesAtArm < 0 ? 0 : ZylDorvTestSeam::ValueWritesSoFar() - writesAtArm;
        if (!slot.changesA)
            ExpectMatrixNear(aParent, RawRead(aSetup), "A unchanged");
        return result;
    };
    const RefMatrix start = run(1 << 20, 71, 0), expected = slot.oracle(*this);
    for (int n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "write " << n << " fails");
        const RefMatrix p = run(1, 71, n - 1);
        if (attempted < n) { // no n-th write: the operation completed
            ExpectMatrixNear(expected, p, slot.name);
            break;
        }
        for (std::size_t i = 0; i < p.v.size(); ++i)
            ASSERT_TRUE(std::abs(p.v[i] - expected.v[i]) < 1e-12 || p.v[i] == start.v[i] ||
                        (std::isnan(p.v[i]) && std::isnan(start.v[i])))
                << "value " << i;
        EXPECT_TRUE(run(1, 70, n - 1).v.empty()) << "70 must be reported";
    }
    const RefMatrix stored = RawRead(aSetup);
    db.Close();
    db.OpenFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::OpenReadWrite);
    const ZylDorvDistributionID reopened(db.ContextIDs()[0], aSetup.id.Number());
    EXPECT_EQ(zyltest::ReadValues<double>(reopened, stored.v.size()), stored.v) << "reopened";
}

INSTANTIATE_TEST_SUITE_P(DenseSlots, DenseProductSlot, ::testing::ValuesIn(DenseProducts::Slots()),
                         [](const ::testing::TestParamInfo<DenseProducts::Slot>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DenseProducts, AlphaBetaProductReadsCOnlyWhenBetaIsNonZero)
{
    const ZylSrvMatrix bm = MatrixOf(RandomMatrix(k, 4, 11));
    const RefMatrix product = NaiveProduct(av, false, RefOf(bm));
    // C reads NaN everywhere until written; its row blocks (3) differ from A's.
    const MatrixSetup cs = MakeMatrix(m, 4, 3, 4, kNaN);
    ZylSrvDenseMatrix c(cs.id);
    long before = ZylDorvTestSeam::ValueReadsSoFar();
    a->Multiply(2.0, bm, 0.0, c);
    EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - before, c.NumberOfRowBlocks()) << "A once per band, C never";
    const RefMatrix first = RawRead(cs);
    ExpectMatrixNear(Combine(2.0, product, 0.0, product), first, "2 A B");
    before = ZylDorvTestSeam::ValueReadsSoFar();
    a->Multiply(-1.0, bm, 0.5, c);
    EXPECT_EQ(ZylDorvTestSeam::ValueReadsSoFar() - before, 2 * c.NumberOfRowBlocks()) << "and each band of C";
    ExpectMatrixNear(Combine(-1.0, product, 0.5, first), RawRead(cs), "-A B + C / 2");
    // A NaN beta counts as non-zero: C is read and scaled.
    a->Multiply(1.0, bm, kNaN, c);
    for (double v : RawRead(cs).v)
        ASSERT_TRUE(std::isnan(v));

    // A diagonal B scales the columns of A; beta 0 clears C, 1 keeps it.
    RefMatrix d = RandomMatrix(k, 1, 12);
    const ZylSrvMatrix diagonal(k, k, d.data(), false, true);
    const MatrixSetup ds = MakeMatrix(m, k, 6, 5);
    ZylSrvDenseMatrix cd(ds.id);
    for (const auto& ab : {std::pair<double, double>{3.0, 0.0}, {1.0, 1.0}, {3.0, -0.5}}) {
        SCOPED_TRACE(testing::Message() << "alpha " << ab.first << ", beta " << ab.second);
        RefMatrix expected = FillRandom(ds, 31);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < m; ++i)
                expected(i, j) = ab.first * av(i, j) * d(j, 0) + ab.second * expected(i, j);
        a->Multiply(ab.first, diagonal, ab.second, cd);
        ExpectMatrixNear(expected, RawRead(ds));
    }
}

TEST_F(DenseProducts, IsSymmetricComparesMirroredBlocks)
{
    const int n = 11;
    const MatrixSetup s = MakeMatrix(n, n, 4, 4);
    RefMatrix v = RandomMatrix(n, n, 25);
    v = Combine(0.5, v, 0.5, v.Transposed()); // exactly symmetric
    RawWrite(s, v);
    const ZylSrvDenseMatrix sym(s.id);
    std::unique_ptr<ZylSrvDenseMatrix> view(sym.Submatrix(1, 9, 1, 9)); // blocks 3, 4, 2
    EXPECT_TRUE(sym.IsSymmetric());
    EXPECT_TRUE(view->IsSymmetric());
    // Off the diagonal blocks, inside a diagonal block, in the short last block.
    for (const auto& at : {std::pair<int, int>{1, 9}, {5, 6}, {10, 9}, {2, 9}}) {
        SCOPED_TRACE(testing::Message() << at.first << ", " << at.second);
        const double changed = v(at.first, at.second) + 1e-9;
        RawWrite(s, at.first, at.first, at.second, at.second, &changed);
        EXPECT_FALSE(sym.IsSymmetric());
        EXPECT_EQ(view->IsSymmetric(), at.first == 10) << "the view";
        RawWrite(s, at.first, at.first, at.second, at.second, &v(at.first, at.second));
    }
    // Not square: false without reading any value.
    ZylDorvTestSeam::FailValueReads(1, 71);
    EXPECT_FALSE(a->IsSymmetric());
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 1);
}

TEST_F(DenseProducts, StagingIsReleasedWhenAnErrorPasses)
{
    const MatrixSetup shortSetup = MakeMatrix(m - 1, k, 4, 2);
    ZylSrvDenseMatrix cShort(shortSetup.id);
    ZylSrvMatrix s(k, k);
    const long live = mem_LiveBlocks();
    // C with too few rows for the product; a source row past the end of A.
    zyltest::ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { a->Multiply(*b, cShort); }, 204, kSetRange, kSource);
    const int rowIndex[] = {0, 1, m}, groupStart[] = {0, 3};
    zyltest::ExpectFamilyError<ZylSrvMtxInvalidGetRange>(
        [&] { a->IndexedMultiply(MatrixOf(RandomMatrix(k, 9, 27)), cShort, rowIndex, groupStart, 1); }, 203,
        kGetRange, kSource);
    // A += B with B short of rows, or of columns: A unchanged.
    for (ZylSrvDenseMatrix* smaller : {&cShort, bt})
        zyltest::ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { a->AddAssign(*smaller); }, 203, kGetRange, kSource);
    ExpectMatrixNear(aParent, RawRead(aSetup), "A unchanged");
    // The first nk rows with nk 0 are rows 0..-1.
    std::vector<double> y(k, 1.0);
    zyltest::ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { a->TransposeMultiply(y.data(), 1, y.data(), 0); },
                                                         203, kGetRange, kSource);
    EXPECT_EQ(y, std::vector<double>(k, 1.0));
    // A database read failure in the middle of products that read ahead: the
    // read's error reaches the caller and no announcement is left in flight.
    {
        ZylSrvMatrix x = MatrixOf(RandomMatrix(k, 2, 13)), out(m, 2);
        for (const auto& product : std::vector<std::function<void()>>{[&] { a->TransposeMultiply(a, s, 1); },
                                                                       [&] { a->Multiply(x, out); }}) {
            ZylDorvTestSeam::FailValueReads(1, 71, 3);
            EXPECT_DORV_ERROR(product(), 71, "failure forced by the test seam");
            EXPECT_EQ(ZylDorvReadAhead::InFlight(), 0);
        }
    }
    // A diagonal B (only its diagonal stored) is refused by the read of its
    // rows, for A in five bands and for its first two rows in one; C untouched.
    for (const int rows : {m, 2}) {
        std::unique_ptr<ZylSrvDenseMatrix> x(a->Submatrix(0, rows - 1, 0, k - 1));
        RefMatrix d = RandomMatrix(rows, 1, 12);
        ZylSrvMatrix ct = MatrixOf(RefMatrix(k, rows, -1.0));
        zyltest::ExpectIllegalInput(
            [&] { x->TransposeMultiply(ZylSrvMatrix(rows, rows, d.data(), false, true), ct, 0); }, "GetValues");
        ExpectMatrixNear(RefMatrix(k, rows, -1.0), RefOf(ct), "C untouched");
    }
    EXPECT_EQ(mem_LiveBlocks(), live);
}

} // namespace
