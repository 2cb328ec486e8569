// Data access of ZylSrvDenseMatrix: rectangles, rows, columns, copies between
// matrices, packed triangles, range errors and database write failures.
#include "DenseTestSupport.h"

#include <gmock/gmock.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using DenseAccess = DenseTest;

const char* const kGetRangeMessage = "ZylSrvDenseMatrix::GetValues invalid range values.";
const char* const kSetRangeMessage = "ZylSrvDenseMatrix::SetValues invalid range values.";

// Rectangles that start and end inside, on and across block borders.
const int kRanges[][2] = {{0, 0}, {0, 3}, {2, 5}, {3, 4}, {4, 9}, {9, 9}, {0, 9}, {5, 8}};

TEST_F(DenseAccess, GetValuesReadsEveryRectangleWrittenRaw)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    FillPattern(s);
    const ZylSrvDenseMatrix m(s.id);
    const int columnRanges[][2] = {{0, 0}, {0, 2}, {1, 4}, {2, 3}, {5, 6}, {0, 6}};
    for (const auto& rows : kRanges)
        for (const auto& columns : columnRanges) {
            const int h = rows[1] - rows[0] + 1;
            const int w = columns[1] - columns[0] + 1;
            ZylSrvMatrix out(h, w);
            m.GetValues(rows[0], rows[1], columns[0], columns[1], out);
            for (int c = 0; c < w; ++c)
                for (int r = 0; r < h; ++r)
                    ASSERT_EQ(out.Element(r, c), V(rows[0] + r, columns[0] + c))
                        << "rows " << rows[0] << ".." << rows[1] << " columns " << columns[0] << ".." << columns[1];
        }

    // Row and column forms.
    ZylSrvMatrix rows(3, 7);
    m.GetRows(4, 6, rows);
    ZylSrvMatrix columns(10, 2);
    m.GetColumns(3, 4, columns);
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 3; ++r)
            EXPECT_EQ(rows.Element(r, c), V(4 + r, c));
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < 10; ++r)
            EXPECT_EQ(columns.Element(r, c), V(r, 3 + c));
}

TEST_F(DenseAccess, OneByOneMatrixReadsItsValue)
{
    const DenseSetup s = Make(1, 1, -1, -1);
    RawWrite(s, 0, 0, 0, 0, {42.5});
    const ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix out(1, 1);
    m.GetValues(0, 0, 0, 0, out);
    EXPECT_EQ(out.Values()[0], 42.5);
}

TEST_F(DenseAccess, RangeIntoALargerMatrixIsPackedAtItsStart)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    FillPattern(s);
    const ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix big(6, 4);
    big = -1.0;
    m.GetValues(2, 4, 1, 2, big); // 3 x 2 values, leading dimension 3
    EXPECT_THAT(std::vector<double>(big.Values(), big.Values() + 8),
                ElementsAre(V(2, 1), V(3, 1), V(4, 1), V(2, 2), V(3, 2), V(4, 2), -1.0, -1.0));
}

TEST_F(DenseAccess, SetValuesWritesOnlyItsRectangle)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    FillPattern(s);
    ZylSrvDenseMatrix m(s.id);
    Values expected = RawAll(s);

    ZylSrvMatrix block(4, 3);
    for (int i = 0; i < 12; ++i)
        block.Values()[i] = -1.0 - i;
    m.SetValues(3, 6, 2, 4, block);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            expected.at(3 + r, 2 + c) = block.Element(r, c);

    ZylSrvMatrix rows(2, 7);
    for (int i = 0; i < 14; ++i)
        rows.Values()[i] = 500.0 + i;
    m.SetRows(8, 9, rows);
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 2; ++r)
            expected.at(8 + r, c) = rows.Element(r, c);

    ZylSrvMatrix columns(10, 1);
    for (int i = 0; i < 10; ++i)
        columns.Values()[i] = 0.25 * i;
    m.SetColumns(6, 6, columns);
    for (int r = 0; r < 10; ++r)
        expected.at(r, 6) = columns.Element(r, 0);

    ExpectClose(expected, RawAll(s), "after SetValues, SetRows, SetColumns");
}

TEST_F(DenseAccess, ViewsReadAndWriteAtTheirOffsets)
{
    const DenseSetup s = Make(12, 9, 5, 4);
    FillPattern(s);
    const ZylSrvDenseMatrix parent(s.id);
    std::unique_ptr<ZylSrvDenseMatrix> view(parent.Submatrix(3, 10, 2, 7));
    Values expected = RawAll(s);
    ZylSrvMatrix block(2, 3);
    for (int i = 0; i < 6; ++i)
        block.Values()[i] = -10.0 * (i + 1);
    view->SetValues(1, 2, 3, 5, block); // parent rows 4..5, columns 5..7
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r)
            expected.at(4 + r, 5 + c) = block.Element(r, c);
    ExpectClose(expected, RawAll(s), "written through a view");
    ZylSrvMatrix back(8, 6);
    view->GetValues(0, 7, 0, 5, back);
    ExpectClose(expected.Block(3, 10, 2, 7), back.Values(), 8, "read through a view");
}

TEST_F(DenseAccess, RangeErrorsCarryTheirNumbersAndChangeNothing)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    FillPattern(s);
    ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix buffer(20, 20);
    buffer = 3.0;
    const int badRanges[][4] = {{2, 1, 0, 0},  {-1, 0, 0, 0}, {0, 10, 0, 0}, {0, 0, -1, 0},
                                {0, 0, 3, 2}, {0, 0, 0, 7},  {10, 10, 0, 0}};
    for (const auto& r : badRanges) {
        ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetValues(r[0], r[1], r[2], r[3], buffer); }, 203,
                                                    kGetRangeMessage, 530);
        ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { m.SetValues(r[0], r[1], r[2], r[3], buffer); }, 204,
                                                    kSetRangeMessage, 554);
    }
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { m.SetValues(0, 10, 0, 0, buffer); }, 204, kSetRangeMessage, 554);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetRows(9, 10, buffer); }, 203, kGetRangeMessage, 530);
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { m.SetColumns(6, 7, buffer); }, 204, kSetRangeMessage, 554);
    EXPECT_EQ(buffer.Values()[0], 3.0);
    ExpectClose(RawAll(s), ReadThrough(m), "unchanged");
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 10; ++r)
            ASSERT_EQ(RawAll(s)(r, c), V(r, c));
}

// The description a raw ExecWrite on `s` gives with the seam armed.
std::string ForcedWriteDescription(const DenseSetup& s, std::uint16_t number)
{
    ZylDorvTestSeam::FailValueWrites(1, number);
    std::string description;
    try {
        ZylDorvTransfer t{ZylDorvDistribution(s.id)};
        t.SetWrite();
        t.SetBufferPadding(false);
        t.SetDimOrdinalRange(0, s.columns, 0, 0);
        t.SetDimOrdinalRange(1, s.rows, 0, 0);
        t.CheckView();
        const double one = 1.0;
        t.SetBuffer(0, static_cast<const void*>(&one), sizeof one);
        t.ExecWrite();
        ADD_FAILURE() << "the seam did not fail the write";
    } catch (const ZylDorvException& e) {
        description = e.Description();
    }
    ZylDorvTestSeam::Clear();
    return description;
}

TEST_F(DenseAccess, WriteFailureSeventyBecomesFileWriteFailure)
{
    const DenseSetup s = Make(6, 4, 4, 3);
    FillPattern(s);
    ZylSrvDenseMatrix m(s.id);
    const std::string description = ForcedWriteDescription(s, 70);
    EXPECT_THAT(description, StartsWith("ZylDorv error 70: "));
    EXPECT_THAT(description, HasSubstr("failure forced by the test seam"));

    ZylSrvMatrix block(2, 2);
    block = 9.0;
    ZylDorvTestSeam::FailValueWrites(1, 70);
    ExpectFamilyError<ZylSrvMtxFileWriteFailure>(
        [&] { m.SetValues(1, 2, 1, 2, block); }, 208,
        "Error at writing to file: ZylSrvDenseMatrix::SetValues\n" + description, 575);
    EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 0);
    ExpectClose(RawAll(s), ReadThrough(m), "unchanged");
    EXPECT_EQ(RawAll(s)(1, 1), V(1, 1));

    // The matrix writes normally afterwards.
    m.SetValues(1, 2, 1, 2, block);
    EXPECT_EQ(RawAll(s)(2, 2), 9.0);
}

TEST_F(DenseAccess, OtherWriteFailuresAreNotReported)
{
    const DenseSetup s = Make(6, 4, 4, 3);
    FillPattern(s);
    ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix block(2, 2);
    block = 9.0;
    for (std::uint16_t number : {71, 1, 12}) {
        ZylDorvTestSeam::FailValueWrites(1, number);
        EXPECT_NO_THROW(m.SetValues(1, 2, 1, 2, block)) << number;
        EXPECT_EQ(ZylDorvTestSeam::PendingFailures(), 0) << number;
        EXPECT_EQ(RawAll(s)(1, 1), V(1, 1)) << number;
    }
}

TEST_F(DenseAccess, ReadFailuresPassThrough)
{
    const DenseSetup s = Make(6, 4, 4, 3);
    const ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix out(6, 4);
    ZylDorvTestSeam::FailValueReads(1, 71);
    ExpectThrows<ZylDorvException>([&] { m.GetValues(0, 5, 0, 3, out); },
                                   [](const ZylDorvException& e) { EXPECT_EQ(e.Number(), 71); });
}

TEST_F(DenseAccess, GetSubmatrixFillsTheWholeDestination)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    FillPattern(s);
    const ZylSrvDenseMatrix m(s.id);
    const DenseSetup d = Make(6, 3, 4, 2, -1.0); // two row blocks: 4 and 2
    ZylSrvDenseMatrix dest(d.id);
    m.GetSubmatrix(dest, 2, 7, 4, 6);
    ExpectClose(RawRead(s, 2, 7, 4, 6), RawAll(d), "copied range");

    // A destination with more rows than the range, or a range outside this
    // matrix, fails before anything is written.
    for (int chunk : {3, 4}) {
        const DenseSetup tall = Make(8, 3, chunk, 2, -1.0);
        ZylSrvDenseMatrix tallDest(tall.id);
        ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetSubmatrix(tallDest, 2, 7, 4, 6); }, 203,
                                                    kGetRangeMessage, 530);
        ExpectClose(Values{8, 3, std::vector<double>(24, -1.0)}, RawAll(tall), "nothing written");
    }
    const DenseSetup wide = Make(6, 3, 4, 2, -1.0);
    ZylSrvDenseMatrix wideDest(wide.id);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetSubmatrix(wideDest, 5, 10, 4, 6); }, 203,
                                                kGetRangeMessage, 530);
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetSubmatrix(wideDest, 2, 7, 5, 7); }, 203,
                                                kGetRangeMessage, 530);
    ExpectClose(Values{6, 3, std::vector<double>(18, -1.0)}, RawAll(wide), "nothing written");

    // Fewer destination rows than the range: the first rows of the range.
    const DenseSetup shortDest = Make(3, 3, 2, 2, -1.0);
    ZylSrvDenseMatrix shortMatrix(shortDest.id);
    m.GetSubmatrix(shortMatrix, 2, 7, 4, 6);
    ExpectClose(RawRead(s, 2, 4, 4, 6), RawAll(shortDest), "leading rows of the range");
}

TEST_F(DenseAccess, CopyValuesCopiesBetweenGeometries)
{
    const DenseSetup s = Make(10, 7, 4, 3);
    const Values values = FillRandom(s, 7);
    const ZylSrvDenseMatrix src(s.id);
    const DenseSetup d = Make(10, 7, 3, 2, -1.0);
    ZylSrvDenseMatrix dest(d.id);
    dest.CopyValues(&src);
    ExpectClose(values, RawAll(d), "copy");

    // From a view with offsets into a matrix of its shape.
    std::unique_ptr<ZylSrvDenseMatrix> view(src.Submatrix(1, 8, 2, 6));
    const DenseSetup e = Make(8, 5, 5, 5, -1.0);
    ZylSrvDenseMatrix small(e.id);
    small.CopyValues(view.get());
    ExpectClose(values.Block(1, 8, 2, 6), RawAll(e), "copy of a view");

    // Into the leading columns of a wider matrix.
    const DenseSetup w = Make(8, 7, 3, 3, -1.0);
    ZylSrvDenseMatrix wider(w.id);
    wider.CopyValues(view.get());
    Values expected{8, 7, std::vector<double>(56, -1.0)};
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 8; ++r)
            expected.at(r, c) = values(1 + r, 2 + c);
    ExpectClose(expected, RawAll(w), "copy into leading columns");

    // Other row counts, or more columns, write nothing.
    for (const auto& shape : {std::pair<int, int>{9, 7}, {7, 7}, {8, 4}}) {
        const DenseSetup o = Make(shape.first, shape.second, 3, 3, -1.0);
        ZylSrvDenseMatrix other(o.id);
        ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { other.CopyValues(view.get()); }, 204, kSetRangeMessage,
                                                    554);
        ExpectClose(Values{shape.first, shape.second,
                           std::vector<double>(static_cast<std::size_t>(shape.first * shape.second), -1.0)},
                    RawAll(o), "nothing written");
    }
}

TEST_F(DenseAccess, CopyMappedRowsFollowsMemberLabels)
{
    // Source: rows labelled 0..7 of one collection, 5 columns in blocks of 2.
    const DenseSetup s = Make(8, 5, 3, 2);
    const Values values = FillRandom(s, 11);
    const ZylSrvDenseMatrix src(s.id);

    // Destination rows: a subset of the labels, in an order of their own.
    const int labels[] = {6, 1, 3};
    const ZylDorvCSetID subset = ZylDorvCollection(s.rows).CreateOrderedCSet(labels, 3);
    const DenseSetup d = MakeOver(subset, s.columnCSet, 2, 3, -1.0);
    ZylSrvDenseMatrix dest(d.id);
    dest.CopyMappedRows(&src, true);
    Values expected{3, 5, std::vector<double>(15)};
    for (int c = 0; c < 5; ++c)
        for (int k = 0; k < 3; ++k)
            expected.at(k, c) = values(labels[k], c);
    ExpectClose(expected, RawAll(d), "rows by label");

    // Without clearing, every destination row that has a source row is copied.
    FillPattern(d);
    dest.CopyMappedRows(&src, false);
    ExpectClose(expected, RawAll(d), "rows by label, no clearing");

    // A source with more columns than this matrix writes nothing.
    const ZylDorvCollectionID fourColumns = ZylDorvContext(ctx).CreateCollection(4, ZylDorvTypeID());
    const DenseSetup n = MakeOver(subset, ZylDorvCollection(fourColumns).BiggestCSetID(), 2, 2, -1.0);
    ZylSrvDenseMatrix narrow(n.id);
    ExpectFamilyError<ZylSrvMtxInvalidSetRange>([&] { narrow.CopyMappedRows(&src, true); }, 204, kSetRangeMessage,
                                                554);
    ExpectClose(Values{3, 4, std::vector<double>(12, -1.0)}, RawAll(n), "nothing written");
}

TEST_F(DenseAccess, CopyMappedRowsClearsOrKeepsRowsWithoutSource)
{
    // Source rows: labels 3, 2, 1 of the collection of 8.
    const DenseSetup all = Make(8, 5, 3, 2);
    const int sourceLabels[] = {3, 2, 1};
    const ZylDorvCSetID sourceRows = ZylDorvCollection(all.rows).CreateOrderedCSet(sourceLabels, 3);
    const DenseSetup s = MakeOver(sourceRows, all.columnCSet, 2, 2);
    const Values values = FillRandom(s, 5);
    const ZylSrvDenseMatrix src(s.id);

    // Destination rows 6, 1, 3: label 6 has no source row.
    const int destLabels[] = {6, 1, 3};
    const ZylDorvCSetID destRows = ZylDorvCollection(all.rows).CreateOrderedCSet(destLabels, 3);
    const DenseSetup d = MakeOver(destRows, all.columnCSet, 2, 3);
    FillPattern(d);
    ZylSrvDenseMatrix dest(d.id);

    dest.CopyMappedRows(&src, false);
    Values expected{3, 5, std::vector<double>(15)};
    for (int c = 0; c < 5; ++c) {
        expected.at(0, c) = V(0, c); // kept
        expected.at(1, c) = values(2, c);
        expected.at(2, c) = values(0, c);
    }
    ExpectClose(expected, RawAll(d), "row without source kept");

    dest.CopyMappedRows(&src, true);
    for (int c = 0; c < 5; ++c)
        expected.at(0, c) = 0.0;
    ExpectClose(expected, RawAll(d), "row without source cleared");
}

TEST_F(DenseAccess, CopyRowsToMemoryScattersByTheRowMap)
{
    const DenseSetup s = Make(4, 3, 3, 2);
    FillPattern(s);
    const ZylSrvDenseMatrix m(s.id);
    const int rowMap[] = {5, 0, 2, 3};
    const int ld = 6;
    ZylSrvMatrix out(ld, 3);
    out = 99.0;
    m.CopyRowsToMemory(rowMap, ld, out);
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < ld; ++i) {
            double expected = 0.0;
            for (int r = 0; r < 4; ++r)
                if (rowMap[r] == i)
                    expected = V(r, c);
            EXPECT_EQ(out.Element(i, c), expected) << i << ", " << c;
        }
    }
}

TEST_F(DenseAccess, GetAllValuesIsColumnMajor)
{
    const DenseSetup s = Make(5, 4, 2, 3);
    const Values values = FillRandom(s, 3);
    const ZylSrvDenseMatrix m(s.id);
    std::vector<double> out(20, -1.0);
    m.GetAllValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(values.v));
}

TEST_F(DenseAccess, PackedTrianglesOfTheTwoByTwoExample)
{
    const DenseSetup s = Make(2, 2, -1, -1);
    RawWrite(s, 0, 1, 0, 1, {1.0, 4.0, 2.0, 3.0}); // rows (1, 2) and (4, 3)
    const ZylSrvDenseMatrix m(s.id);
    std::vector<double> out(3, -1.0);
    m.GetUpperValues(out.data());
    EXPECT_THAT(out, ElementsAre(1.0, 2.0, 3.0));
    m.GetLowerValues(out.data());
    EXPECT_THAT(out, ElementsAre(1.0, 4.0, 3.0));
    m.GetSymmetricValues(out.data());
    EXPECT_THAT(out, ElementsAre(1.0, 3.0, 3.0));
}

TEST_F(DenseAccess, PackedTrianglesOfAChunkedMatrix)
{
    const int n = 5;
    const DenseSetup s = Make(n, n, 2, 3);
    const Values a = FillRandom(s, 19);
    const ZylSrvDenseMatrix m(s.id);
    std::vector<double> upper, lower, symmetric;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j; ++i) {
            upper.push_back(a(i, j));
            lower.push_back(a(j, i));
            symmetric.push_back(i == j ? a(j, j) : (a(i, j) + a(j, i)) * 0.5);
        }
    std::vector<double> out(15, -1.0);
    m.GetUpperValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(upper));
    m.GetLowerValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(lower));
    m.GetSymmetricValues(out.data());
    EXPECT_THAT(out, ElementsAreArray(symmetric));
}

TEST_F(DenseAccess, PackedTrianglesRefuseNonSquareMatrices)
{
    const DenseSetup s = Make(3, 2, -1, -1);
    const ZylSrvDenseMatrix m(s.id);
    std::vector<double> out(6, -1.0);
    ExpectIllegalInput([&] { m.GetUpperValues(out.data()); }, "GetUpperValues");
    ExpectIllegalInput([&] { m.GetLowerValues(out.data()); }, "GetLowerValues");
    ExpectIllegalInput([&] { m.GetSymmetricValues(out.data()); }, "GetSymmetricValues");
    EXPECT_THAT(out, ElementsAreArray(std::vector<double>(6, -1.0)));
}

TEST_F(DenseAccess, OneDimensionalMatrixWritesAndReads)
{
    const DenseSetup s = Make1D(7, 3);
    ZylSrvDenseMatrix m(s.id);
    ZylSrvMatrix column(7, 1);
    for (int i = 0; i < 7; ++i)
        column.Values()[i] = 10.0 + i;
    m.SetValues(0, 6, 0, 0, column);
    ExpectClose(Values{7, 1, {10, 11, 12, 13, 14, 15, 16}}, RawAll(s), "written through the class");
    ZylSrvMatrix part(3, 1);
    m.GetRows(2, 4, part);
    EXPECT_THAT(std::vector<double>(part.Values(), part.Values() + 3), ElementsAre(12.0, 13.0, 14.0));
    ExpectFamilyError<ZylSrvMtxInvalidGetRange>([&] { m.GetValues(0, 1, 0, 1, part); }, 203, kGetRangeMessage, 530);
}

} // namespace
