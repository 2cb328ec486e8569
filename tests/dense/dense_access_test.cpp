// Data access of ZylSrvDenseMatrix: rectangles, rows, columns, copies between
// matrices, packed triangles, range errors and database failures.
#include "DenseHelpers.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace {

using namespace densetest;
using ::testing::ElementsAreArray;
using zyltest::ExpectFamilyError;
using zyltest::ExpectMatrixNear;
using zyltest::MatrixSetup;

using DenseAccess = DenseTest;

// The line recorded with the error f raises (-1: none raised).
template <typename F>
int LineOf(F&& f)
{
    try {
        f();
    } catch (const ZylBasException& e) {
        return e.Line();
    }
    return -1;
}

TEST_F(DenseAccess, GetValuesReadsEveryRectanglePackedAtTheStartOfTheBuffer)
{
    const MatrixSetup s = MakeMatrix(10, 7, 4, 3);
    const RefMatrix values = zyltest::PatternMatrix(10, 7);
    RawWrite(s, values);
    const ZylSrvDenseMatrix m(s.id);
    // Ranges that start and end inside, on and across block borders.
    const int rowRanges[][2] = {{0, 0}, {0, 3}, {2, 5}, {3, 4}, {4, 9}, {9, 9}, {0, 9}, {5, 8}};
    const int columnRanges[][2] = {{0, 0}, {0, 2}, {1, 4}, {2, 3}, {5, 6}, {0, 6}};
    for (const auto& r : rowRanges)
        for (const auto& c : columnRanges) {
            SCOPED_TRACE(testing::Message() << r[0] << ".." << r[1] << " x " << c[0] << ".." << c[1]);
            const int h = r[1] - r[0] + 1, w = c[1] - c[0] + 1;
            ZylSrvMatrix out(h + 2, w + 1); // larger than the range: packed with leading dimension h
            out = -1.0;
            m.GetValues(r[0], r[1], c[0], c[1], out);
            ExpectMatrixNear(values.Block(r[0], r[1], c[0], c[1]), out.Values(), h);
            for (int i = h * w; i < (h + 2) * (w + 1); ++i)
                ASSERT_EQ(out.Values()[i], -1.0) << i;
        }
    ZylSrvMatrix rows(3, 7), columns(10, 2);
    m.GetRows(4, 6, rows);
    m.GetColumns(3, 4, columns);
    ExpectMatrixNear(values.Block(4, 6, 0, 6), FromMatrix(rows), "GetRows");
    ExpectMatrixNear(values.Block(0, 9, 3, 4), FromMatrix(columns), "GetColumns");
}

TEST_F(DenseAccess, WritesChangeOnlyTheirRectangleAlsoThroughViewsAndOneColumn)
{
    const MatrixSetup s = MakeMatrix(12, 9, 5, 4);
    RefMatrix expected = FillRandom(s, 1);
    ZylSrvDenseMatrix m(s.id);
    const RefMatrix block = zyltest::RandomMatrix(4, 3, 2), rows = zyltest::RandomMatrix(2, 9, 3),
                    column = zyltest::RandomMatrix(12, 1, 4), small = zyltest::RandomMatrix(2, 3, 5);
    m.SetValues(3, 6, 2, 4, ToMatrix(block));
    m.SetRows(10, 11, ToMatrix(rows));
    m.SetColumns(8, 8, ToMatrix(column));
    expected = Placed(Placed(Placed(expected, block, 3, 2), rows, 10, 0), column, 0, 8);
    ExpectMatrixNear(expected, RawRead(s), "SetValues, SetRows, SetColumns");

    std::unique_ptr<ZylSrvDenseMatrix> view(m.Submatrix(3, 10, 2, 7));
    view->SetValues(1, 2, 3, 5, ToMatrix(small)); // rows 4..5, columns 5..7
    expected = Placed(expected, small, 4, 5);
    ExpectMatrixNear(expected, RawRead(s), "written through a view");
    ZylSrvMatrix back(8, 6);
    view->GetValues(0, 7, 0, 5, back);
    ExpectMatrixNear(expected.Block(3, 10, 2, 7), FromMatrix(back), "read through a view");

    const MatrixSetup v = MakeVector(7, 3);
    ZylSrvDenseMatrix vector(v.id);
    const RefMatrix values = zyltest::RandomMatrix(7, 1, 6);
    vector.SetValues(0, 6, 0, 0, ToMatrix(values));
    ExpectMatrixNear(values, RawRead(v), "one-dimensional");
    ZylSrvMatrix part(3, 1);
    vector.GetRows(2, 4, part);
    ExpectMatrixNear(values.Block(2, 4, 0, 0), FromMatrix(part), "one-dimensional rows");
}

TEST_F(DenseAccess, RangeErrorsCarryTheirNumbersMessagesAndLinesAndChangeNothing)
{
    const MatrixSetup s = MakeMatrix(10, 7, 4, 3);
    const RefMatrix values = FillRandom(s, 1);
    ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix buffer(20, 20);
    buffer = 3.0;
    const int bad[][4] = {{2, 1, 0, 0}, {-1, 0, 0, 0}, {0, 10, 0, 0}, {0, 0, -1, 0},
                          {0, 0, 3, 2}, {0, 0, 0, 7},  {10, 10, 0, 0}};
    for (const auto& r : bad) {
        SCOPED_TRACE(testing::Message() << r[0] << ".." << r[1] << " x " << r[2] << ".." << r[3]);
        ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetValues(r[0], r[1], r[2], r[3], buffer); }, 203,
                                                    kGetRange, kSource);
        ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { m.SetValues(r[0], r[1], r[2], r[3], buffer); }, 204,
                                                    kSetRange, kSource);
    }
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetRows(9, 10, buffer); }, 203, kGetRange, kSource);
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { m.SetColumns(6, 7, buffer); }, 204, kSetRange, kSource);
    EXPECT_EQ(LineOf([&] { m.GetColumns(0, 7, buffer); }), 530);
    EXPECT_EQ(LineOf([&] { m.SetRows(0, 10, buffer); }), 554);
    EXPECT_EQ(buffer.Values()[0], 3.0);
    ExpectMatrixNear(values, RawRead(s), "unchanged");

    const ZylSrvDenseMatrix vector(MakeVector(7, 3).id);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { vector.GetValues(0, 1, 0, 1, buffer); }, 203, kGetRange,
                                                kSource);
}

TEST_F(DenseAccess, DatabaseFailures)
{
    const MatrixSetup s = MakeMatrix(6, 4, 4, 3);
    const RefMatrix values = FillRandom(s, 1);
    ZylSrvDenseMatrix m(s.id);
    // The description a raw write gives with the seam armed.
    ZylDorvTestSeam::FailValueWrites(1, 70);
    const double one = 1.0;
    const std::string description = zyltest::CatchDorv([&] { RawWrite(s, 0, 0, 0, 0, &one); }).Description();
    EXPECT_THAT(description, ::testing::StartsWith("ZylDorv error 70: "));
    EXPECT_THAT(description, ::testing::HasSubstr("failure forced by the test seam"));

    // A failed write of values (70) becomes 208 with the database's text.
    ZylSrvMatrix block(2, 2);
    block = 9.0;
    ZylDorvTestSeam::FailValueWrites(1, 70);
    ExpectFamilyError<ZylSrvMtxFileWriteFailure>(
        [&] { m.SetValues(1, 2, 1, 2, block); }, 208,
        "Error at writing to file: ZylSrvDenseMatrix::SetValues\n" + description, kSource);
    ZylDorvTestSeam::FailValueWrites(1, 70);
    EXPECT_EQ(LineOf([&] { m.SetValues(1, 2, 1, 2, block); }), 575);
    ExpectMatrixNear(values, RawRead(s), "unchanged");

    // Other write failures are not reported and write nothing.
    for (std::uint16_t number : {71, 1, 12}) {
        ZylDorvTestSeam::FailValueWrites(1, number);
        EXPECT_NO_THROW(m.SetValues(1, 2, 1, 2, block)) << number;
        EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 0) << number;
    }
    ExpectMatrixNear(values, RawRead(s), "unchanged");

    // Read failures pass through; the matrix works normally afterwards.
    ZylSrvMatrix out(6, 4);
    ZylDorvTestSeam::FailValueReads(1, 71);
    EXPECT_DORV_ERROR(m.GetValues(0, 5, 0, 3, out), 71, "failure forced by the test seam");
    m.SetValues(1, 2, 1, 2, block);
    ExpectMatrixNear(Placed(values, FromMatrix(block), 1, 1), ReadThrough(m), "written afterwards");
}

TEST_F(DenseAccess, GetSubmatrixFillsTheDestinationOrWritesNothing)
{
    const MatrixSetup s = MakeMatrix(10, 7, 4, 3);
    const RefMatrix values = FillRandom(s, 1);
    const ZylSrvDenseMatrix m(s.id);
    const MatrixSetup d = MakeMatrix(6, 3, 4, 2, -1.0); // row blocks 4 and 2
    ZylSrvDenseMatrix dest(d.id);
    m.GetSubmatrix(dest, 2, 7, 4, 6);
    ExpectMatrixNear(values.Block(2, 7, 4, 6), RawRead(d), "copied range");

    // Fewer destination rows than the range: the leading rows of the range.
    const MatrixSetup few = MakeMatrix(3, 3, 2, 2, -1.0);
    ZylSrvDenseMatrix fewRows(few.id);
    m.GetSubmatrix(fewRows, 2, 7, 4, 6);
    ExpectMatrixNear(values.Block(2, 4, 4, 6), RawRead(few), "leading rows of the range");

    // A taller destination, or a range outside this matrix.
    struct Refusal {
        int rows, chunk, r0, r1, c0, c1;
    };
    for (const Refusal& r : {Refusal{8, 3, 2, 7, 4, 6}, Refusal{8, 4, 2, 7, 4, 6}, Refusal{6, 4, 5, 10, 4, 6},
                             Refusal{6, 4, 2, 7, 5, 7}}) {
        SCOPED_TRACE(testing::Message() << r.rows << " rows, rows " << r.r0 << ".." << r.r1);
        const MatrixSetup t = MakeMatrix(r.rows, 3, r.chunk, 2, -1.0);
        ZylSrvDenseMatrix target(t.id);
        ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetSubmatrix(target, r.r0, r.r1, r.c0, r.c1); }, 203,
                                                    kGetRange, kSource);
        ExpectMatrixNear(RefMatrix(r.rows, 3, -1.0), RawRead(t), "nothing written");
    }
}

TEST_F(DenseAccess, CopyValuesCopiesBetweenGeometriesOrWritesNothing)
{
    const MatrixSetup s = MakeMatrix(10, 7, 4, 3);
    const RefMatrix values = FillRandom(s, 7);
    const ZylSrvDenseMatrix src(s.id);
    const MatrixSetup d = MakeMatrix(10, 7, 3, 2, -1.0);
    ZylSrvDenseMatrix dest(d.id);
    dest.CopyValues(&src);
    ExpectMatrixNear(values, RawRead(d), "copy");

    // From a view into a matrix of its shape, and into the leading columns
    // of a wider one.
    std::unique_ptr<ZylSrvDenseMatrix> view(src.Submatrix(1, 8, 2, 6));
    for (int columns : {5, 7}) {
        const MatrixSetup e = MakeMatrix(8, columns, 5, 3, -1.0);
        ZylSrvDenseMatrix target(e.id);
        target.CopyValues(view.get());
        ExpectMatrixNear(Placed(RefMatrix(8, columns, -1.0), values.Block(1, 8, 2, 6), 0, 0), RawRead(e),
                         "copy of a view");
    }
    // Other row counts, or fewer columns.
    for (const auto& shape : {std::pair<int, int>{9, 7}, {7, 7}, {8, 4}}) {
        const MatrixSetup o = MakeMatrix(shape.first, shape.second, 3, 3, -1.0);
        ZylSrvDenseMatrix other(o.id);
        ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { other.CopyValues(view.get()); }, 204, kSetRange,
                                                    kSource);
        ExpectMatrixNear(RefMatrix(shape.first, shape.second, -1.0), RawRead(o), "nothing written");
    }
}

TEST_F(DenseAccess, CopyMappedRowsFollowsMemberLabelsClearingOrKeepingRowsWithoutSource)
{
    // Source rows: labels 3, 2, 1, 5 of a collection of 8; 5 columns in blocks of 2.
    const MatrixSetup all = MakeMatrix(8, 5, 3, 2);
    const int sourceLabels[] = {3, 2, 1, 5};
    const MatrixSetup s = MakeMatrixOver(ZylDorvCollection(all.rows).CreateOrderedCSet(sourceLabels, 4),
                                         all.columnCSet, 2, 2);
    const RefMatrix values = FillRandom(s, 5);
    const ZylSrvDenseMatrix src(s.id);

    // Destination rows 6, 1, 3: label 6 has no source row, labels 2 and 5 no place.
    const int destLabels[] = {6, 1, 3};
    const ZylDorvCSetID destRows = ZylDorvCollection(all.rows).CreateOrderedCSet(destLabels, 3);
    const MatrixSetup d = MakeMatrixOver(destRows, all.columnCSet, 2, 3);
    const RefMatrix old = FillRandom(d, 6);
    ZylSrvDenseMatrix dest(d.id);
    RefMatrix expected = old;
    for (int c = 0; c < 5; ++c) {
        expected(1, c) = values(2, c);
        expected(2, c) = values(0, c);
    }
    dest.CopyMappedRows(&src, false);
    ExpectMatrixNear(expected, RawRead(d), "row without source kept");
    dest.CopyMappedRows(&src, true);
    for (int c = 0; c < 5; ++c)
        expected(0, c) = 0.0;
    ExpectMatrixNear(expected, RawRead(d), "row without source cleared");

    // A source with more columns than this matrix writes nothing.
    const MatrixSetup n = MakeMatrixOver(destRows, AllOf(NewCollection(4)), 2, 2, -1.0);
    ZylSrvDenseMatrix narrow(n.id);
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { narrow.CopyMappedRows(&src, true); }, 204, kSetRange,
                                                kSource);
    ExpectMatrixNear(RefMatrix(3, 4, -1.0), RawRead(n), "nothing written");
}

TEST_F(DenseAccess, CopyRowsToMemoryScattersByTheRowMap)
{
    const MatrixSetup s = MakeMatrix(4, 3, 3, 2);
    const RefMatrix values = FillRandom(s, 1);
    const ZylSrvDenseMatrix m(s.id);
    const int rowMap[] = {5, 0, 2, 3};
    ZylSrvMatrix out(6, 3);
    out = 99.0;
    m.CopyRowsToMemory(rowMap, 6, out);
    RefMatrix expected(6, 3, 0.0);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            expected(rowMap[r], c) = values(r, c);
    ExpectMatrixNear(expected, FromMatrix(out), "scattered rows");
}

TEST_F(DenseAccess, PackedTrianglesOfASquareViewAndRefusalOfOthers)
{
    const int n = 5;
    const MatrixSetup s = MakeMatrix(7, 8, 2, 3);
    const RefMatrix a = FillRandom(s, 19).Block(1, 5, 2, 6);
    const ZylSrvDenseMatrix parent(s.id);
    std::unique_ptr<ZylSrvDenseMatrix> m(parent.Submatrix(1, 5, 2, 6));
    std::vector<double> upper, lower, symmetric;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i) {
            upper.push_back(a(i, j));
            lower.push_back(a(j, i));
            symmetric.push_back(i == j ? a(j, j) : (a(i, j) + a(j, i)) * 0.5);
        }
    std::vector<double> out(15, -1.0);
    m->GetUpperValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(upper));
    m->GetLowerValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(lower));
    m->GetSymmetricValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(symmetric));

    const ZylSrvDenseMatrix tall(MakeMatrix(3, 2, -1, -1).id);
    std::vector<double> untouched(6, -1.0);
    zyltest::ExpectIllegalInput([&] { tall.GetUpperValues(untouched.data()); }, "GetUpperValues", kSource);
    zyltest::ExpectIllegalInput([&] { tall.GetLowerValues(untouched.data()); }, "GetLowerValues", kSource);
    zyltest::ExpectIllegalInput([&] { tall.GetSymmetricValues(untouched.data()); }, "GetSymmetricValues", kSource);
    EXPECT_THAT(untouched, ElementsAreArray(std::vector<double>(6, -1.0)));
}

} // namespace
