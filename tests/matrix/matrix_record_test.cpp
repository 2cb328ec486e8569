// ZylSrvMatrix: the record, construction, assignment, comparison and the
// element and range operations, each against hand-computed values or plain
// loops over a reference copy.
#include "MatrixTestSupport.h"

#include <platform/mem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

using namespace matrix_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// 1, 2, 3, ... in storage order.
void FillCounting(ZylSrvMatrix& m, double start = 1.0)
{
    for (std::int64_t k = 0; k < m.NumberOfStoredValues(); ++k)
        m.Values()[k] = start + static_cast<double>(k);
}

} // namespace

TEST(MatrixRecord, IsAPlainRecordOfPointerSizesAndThreeFlags)
{
    EXPECT_FALSE(std::is_polymorphic<ZylSrvMatrix>::value);
    EXPECT_TRUE(std::is_standard_layout<ZylSrvMatrix>::value);
    // double*, two ints, three bools, padded to the pointer's alignment.
    EXPECT_EQ(sizeof(ZylSrvMatrix), sizeof(double*) + 2 * sizeof(int) + sizeof(double*));
    // Field order: the value pointer comes first.
    double buffer[6] = {};
    ZylSrvMatrix m(2, 3, buffer, false, false);
    double* first;
    std::memcpy(&first, &m, sizeof first);
    EXPECT_EQ(first, buffer);
    int dims[2];
    std::memcpy(dims, reinterpret_cast<const char*>(&m) + sizeof(double*), sizeof dims);
    EXPECT_EQ(dims[0], 2);
    EXPECT_EQ(dims[1], 3);
    bool flags[3];
    ZylSrvMatrix d(2, 2, buffer, true, true);
    std::memcpy(flags, reinterpret_cast<const char*>(&d) + sizeof(double*) + 2 * sizeof(int), sizeof flags);
    EXPECT_FALSE(flags[0]); // m_ownsValues
    EXPECT_TRUE(flags[1]);  // m_symmetric
    EXPECT_TRUE(flags[2]);  // m_diagonal
}

TEST(MatrixRecord, KnowsItsShapeFlagsAndStorage)
{
    const long before = mem_LiveBlocks();
    {
        ZylSrvMatrix full(3, 4);
        EXPECT_EQ(full.NumberOfRows(), 3);
        EXPECT_EQ(full.NumberOfColumns(), 4);
        EXPECT_EQ(full.NumberOfStoredValues(), 12);
        EXPECT_TRUE(full.OwnsValues());
        EXPECT_FALSE(full.IsSymmetric());
        EXPECT_FALSE(full.IsDiagonal());
        EXPECT_NE(full.Values(), nullptr);
        EXPECT_EQ(mem_LiveBlocks(), before + 1);

        ZylSrvMatrix diag(5, 5, nullptr, true, true);
        EXPECT_EQ(diag.NumberOfStoredValues(), 5);
        EXPECT_TRUE(diag.IsSymmetric());
        EXPECT_TRUE(diag.IsDiagonal());
        diag = 0.0;
        diag.Values()[2] = 7.0;
        EXPECT_EQ(diag.Element(2, 2), 7.0);
        EXPECT_EQ(diag.Element(2, 3), 0.0);
        EXPECT_EQ(mem_LiveBlocks(), before + 2);

        ZylSrvMatrix empty(0, 0);
        EXPECT_EQ(empty.NumberOfStoredValues(), 0);
        EXPECT_TRUE(empty == ZylSrvMatrix(0, 0));
        empty = 3.0;
        EXPECT_TRUE(empty.IsSymmetricNumerically());
    }
    EXPECT_EQ(mem_LiveBlocks(), before) << "owned buffers are released";
}

TEST(MatrixRecord, RefusesAStoredCountThatDoesNotFitAnInt)
{
    const long before = mem_LiveBlocks();
    // 46341^2 exceeds 2^31 - 1: the request becomes the refused largest size.
    EXPECT_THROW(ZylSrvMatrix(46341, 46341), mem_AllocationFailure);
    EXPECT_THROW(ZylSrvMatrix(65536, 65536), mem_AllocationFailure);
    EXPECT_THROW(ZylSrvMatrix(-1, 4), mem_AllocationFailure);
    try {
        ZylSrvMatrix tooLarge(100000, 100000);
        FAIL();
    } catch (const mem_AllocationFailure& e) {
        EXPECT_EQ(e.RequestedSize(), SIZE_MAX);
    }
    EXPECT_EQ(mem_LiveBlocks(), before);
    // A diagonal stores only its order, which fits.
    ZylSrvMatrix diag(100000, 100000, nullptr, false, true);
    EXPECT_EQ(diag.NumberOfStoredValues(), 100000);
}

TEST(MatrixRecord, WrapsACallersBufferWithoutOwningIt)
{
    double buffer[6] = {1, 2, 3, 4, 5, 6};
    const long before = mem_LiveBlocks();
    {
        ZylSrvMatrix m(2, 3, buffer, false, false);
        EXPECT_FALSE(m.OwnsValues());
        EXPECT_EQ(m.Values(), buffer);
        EXPECT_EQ(mem_LiveBlocks(), before) << "no allocation for a wrapped buffer";
        EXPECT_EQ(m.Element(1, 2), 6.0);
        m.Values()[0] = 10.0;
        EXPECT_EQ(buffer[0], 10.0);

        // Same shape: values go into the caller's buffer.
        ZylSrvMatrix other(2, 3);
        FillCounting(other, 100.0);
        m = other;
        EXPECT_EQ(m.Values(), buffer);
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(buffer[k], 100.0 + k);

        // Another shape would need a new buffer: refused, nothing changes.
        ZylSrvMatrix wide(3, 3);
        FillCounting(wide);
        ExpectRejectedUnchanged([&] { m = wide; }, "Assignment operator", m);
        EXPECT_EQ(m.NumberOfRows(), 2);
        EXPECT_EQ(m.Values(), buffer);
    }
    EXPECT_EQ(buffer[5], 105.0) << "destroying the matrix leaves the buffer alone";
    EXPECT_EQ(mem_LiveBlocks(), before);
}

TEST(MatrixRecord, CanBeCopied)
{
    ZylSrvMatrix original(3, 2, nullptr, true, false);
    FillCounting(original);
    ZylSrvMatrix copy(original);
    EXPECT_TRUE(copy.OwnsValues());
    EXPECT_NE(copy.Values(), original.Values());
    EXPECT_TRUE(copy.IsSymmetric());
    EXPECT_FALSE(copy.IsDiagonal());
    EXPECT_TRUE(copy == original);
    original.Values()[4] = -1.0; // changing the original leaves the copy
    EXPECT_EQ(copy.Values()[4], 5.0);

    double wrapped[2] = {3.0, 4.0};
    ZylSrvMatrix diag(2, 2, wrapped, false, true);
    ZylSrvMatrix diagCopy(diag);
    EXPECT_TRUE(diagCopy.OwnsValues());
    EXPECT_TRUE(diagCopy.IsDiagonal());
    EXPECT_EQ(diagCopy.NumberOfStoredValues(), 2);
    EXPECT_EQ(diagCopy.Values()[1], 4.0);
    wrapped[1] = 0.0;
    EXPECT_EQ(diagCopy.Values()[1], 4.0);
}

TEST(MatrixRecord, AssignsIntoItsBufferOrReshapes)
{
    // Self-assignment does nothing.
    ZylSrvMatrix a(2, 2);
    FillCounting(a);
    const double* buffer = a.Values();
    a = a;
    EXPECT_EQ(a.Values(), buffer);
    EXPECT_EQ(a.Values()[3], 4.0);

    // Same shape: the buffer and this matrix's flags stay.
    ZylSrvMatrix b(2, 2, nullptr, true, false);
    FillCounting(b, 10.0);
    a = b;
    EXPECT_EQ(a.Values(), buffer);
    EXPECT_FALSE(a.IsSymmetric());
    EXPECT_EQ(a.Values()[2], 12.0);

    // A full matrix receiving a diagonal one: that diagonal, zeros elsewhere.
    ZylSrvMatrix d(2, 2, nullptr, false, true);
    d.Values()[0] = 7.0;
    d.Values()[1] = 8.0;
    a = b; // non-zero off-diagonals first
    a = d;
    EXPECT_EQ(a.Values(), buffer);
    EXPECT_FALSE(a.IsDiagonal());
    const double expected[4] = {7.0, 0.0, 0.0, 8.0};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(a.Values()[k], expected[k]);

    // A diagonal matrix receiving a full one of the same shape is reshaped.
    ZylSrvMatrix target(2, 2, nullptr, false, true);
    target = b;
    EXPECT_FALSE(target.IsDiagonal());
    EXPECT_TRUE(target.IsSymmetric());
    EXPECT_EQ(target.NumberOfStoredValues(), 4);
    EXPECT_TRUE(target == b);

    // Another shape: new buffer, dimensions and flags taken from other.
    ZylSrvMatrix small(1, 1);
    const long before = mem_LiveBlocks();
    small = d;
    EXPECT_EQ(mem_LiveBlocks(), before) << "old buffer released, new one allocated";
    EXPECT_TRUE(small.IsDiagonal());
    EXPECT_EQ(small.NumberOfRows(), 2);
    EXPECT_EQ(small.NumberOfStoredValues(), 2);
    EXPECT_TRUE(small == d);
    EXPECT_TRUE(small.OwnsValues());
}

TEST(MatrixRecord, AssignsOneValueToEveryStoredValue)
{
    ZylSrvMatrix full(2, 3);
    full = 2.5;
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(full.Values()[k], 2.5);
    double stored[3] = {0, 0, 0};
    ZylSrvMatrix diag(3, 3, stored, false, true);
    diag = -1.0;
    EXPECT_EQ(stored[0], -1.0);
    EXPECT_EQ(stored[2], -1.0);
    EXPECT_EQ(diag.Element(0, 1), 0.0);
}

TEST(MatrixRecord, ComparesShapeStorageKindAndExactValues)
{
    ZylSrvMatrix a(2, 2, nullptr, false, false);
    ZylSrvMatrix b(2, 2, nullptr, true, false);
    FillCounting(a);
    FillCounting(b);
    EXPECT_TRUE(a == b) << "the symmetric flag is not compared";
    EXPECT_TRUE(a == a);

    ZylSrvMatrix tall(4, 1);
    FillCounting(tall);
    EXPECT_FALSE(a == tall) << "same values, other shape";

    double d[2] = {1.0, 4.0};
    ZylSrvMatrix diag(2, 2, d, false, true);
    ZylSrvMatrix fullWithDiag(2, 2);
    fullWithDiag = 0.0;
    fullWithDiag.Values()[0] = 1.0;
    fullWithDiag.Values()[3] = 4.0;
    EXPECT_FALSE(diag == fullWithDiag);
    EXPECT_FALSE(fullWithDiag == diag);

    // The first difference is reported on standard output, without line ends.
    b.Values()[3] = 5.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(a == b);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " m_dim1= 2, m_dim2= 2i= 3 ptr[i]= 4.000000  rhsPtr[i]= 5.000000");

    // NaN never equals, except through the same object.
    b = a;
    a.Values()[1] = kNaN;
    b.Values()[1] = kNaN;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(a == b);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " m_dim1= 2, m_dim2= 2i= 1 ptr[i]= nan  rhsPtr[i]= nan");
    EXPECT_TRUE(a == a);
}

TEST(MatrixRecord, SetValuesWritesAPackedBlock)
{
    ZylSrvMatrix m(4, 5);
    m = 0.0;
    const double one = 9.0;
    m.SetValues(0, 0, 0, 0, &one);
    EXPECT_EQ(m.Values()[0], 9.0);
    for (int k = 1; k < 20; ++k)
        ASSERT_EQ(m.Values()[k], 0.0) << "only element (0, 0) is written";

    // Rows 1..2, columns 1..3 from a packed array with leading dimension 2.
    const double block[6] = {11, 21, 12, 22, 13, 23};
    Dense expected = DenseOf(m);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 2; ++i)
            expected(1 + i, 1 + j) = block[i + 2 * j];
    m.SetValues(1, 2, 1, 3, block);
    EXPECT_EQ(DenseOf(m).v, expected.v);
    EXPECT_EQ(m.Element(2, 3), 23.0);

    // Rejections leave the matrix alone.
    ExpectRejectedUnchanged([&] { m.SetValues(0, 4, 0, 0, block); }, "SetValues", m); // lastRow == rows
    ExpectRejectedUnchanged([&] { m.SetValues(0, 0, 0, 5, block); }, "SetValues", m);
    ExpectRejectedUnchanged([&] { m.SetValues(-1, 0, 0, 0, block); }, "SetValues", m);
    ExpectRejectedUnchanged([&] { m.SetValues(0, 0, -1, 0, block); }, "SetValues", m);
    ExpectRejectedUnchanged([&] { m.SetValues(2, 1, 0, 0, block); }, "SetValues", m);
    ExpectRejectedUnchanged([&] { m.SetValues(0, 0, 3, 2, block); }, "SetValues", m);

    // Our choice: a diagonal matrix has no full layout to write into.
    ZylSrvMatrix diag(4, 4, nullptr, false, true);
    diag = 1.0;
    ExpectRejectedUnchanged([&] { diag.SetValues(0, 0, 0, 0, block); }, "SetValues", diag);
}

TEST(MatrixRecord, SetValuesFromAMatrixConsumesItsStorageOrder)
{
    ZylSrvMatrix m(3, 3);
    m = 0.0;
    ZylSrvMatrix column(6, 1); // any shape: six values in storage order
    FillCounting(column);
    m.SetValues(1, 2, 0, 2, column);
    const double expected[9] = {0, 1, 2, 0, 3, 4, 0, 5, 6};
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(m.Values()[k], expected[k]);

    // A larger source gives its leading values.
    ZylSrvMatrix larger(4, 4);
    FillCounting(larger, 50.0);
    m.SetValues(0, 0, 0, 1, larger);
    EXPECT_EQ(m.Element(0, 0), 50.0);
    EXPECT_EQ(m.Element(0, 1), 51.0);

    ZylSrvMatrix tooSmall(2, 2);
    FillCounting(tooSmall);
    ExpectRejectedUnchanged([&] { m.SetValues(0, 2, 0, 1, tooSmall); }, "SetValues", m);
    ExpectRejectedUnchanged([&] { m.SetValues(0, 0, 0, 3, column); }, "SetValues", m); // range
    // Our choice: a diagonal source has no packed full block to give.
    ZylSrvMatrix diagSource(2, 2, nullptr, false, true);
    diagSource = 1.0;
    ExpectRejectedUnchanged([&] { m.SetValues(0, 1, 0, 0, diagSource); }, "SetValues", m);

    // SetRows covers all columns and speaks as SetValues.
    ZylSrvMatrix rows(3, 1);
    FillCounting(rows, 70.0);
    m.SetRows(1, 1, rows);
    EXPECT_EQ(m.Element(1, 0), 70.0);
    EXPECT_EQ(m.Element(1, 1), 71.0);
    EXPECT_EQ(m.Element(1, 2), 72.0);
    ExpectRejectedUnchanged([&] { m.SetRows(0, 1, rows); }, "SetValues", m);
    ExpectRejectedUnchanged([&] { m.SetRows(2, 3, larger); }, "SetValues", m);
}

TEST(MatrixRecord, GetValuesPacksABlockIntoTheTargetsStart)
{
    ZylSrvMatrix m(3, 4);
    FillCounting(m); // element (i, j) = 1 + i + 3j
    ZylSrvMatrix target(2, 2);
    m.GetValues(1, 2, 2, 3, target);
    const double expected[4] = {8, 9, 11, 12};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(target.Values()[k], expected[k]);

    // A larger target takes the block at its start and keeps the rest, and
    // keeps its shape.
    ZylSrvMatrix larger(3, 3);
    larger = -1.0;
    m.GetValues(0, 1, 0, 1, larger);
    const double expectedLarger[9] = {1, 2, 4, 5, -1, -1, -1, -1, -1};
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(larger.Values()[k], expectedLarger[k]);
    EXPECT_EQ(larger.NumberOfRows(), 3);

    // Too few elements in the target: rejected after the range check.
    ZylSrvMatrix small(1, 3);
    small = 0.0;
    ExpectRejectedUnchanged([&] { m.GetValues(0, 1, 0, 1, small); }, "GetValues", small);
    ExpectRejectedUnchanged([&] { m.GetValues(0, 3, 0, 0, larger); }, "GetValues", larger);
    ExpectRejectedUnchanged([&] { m.GetValues(0, 0, 3, 4, larger); }, "GetValues", larger);
    ExpectRejectedUnchanged([&] { m.GetValues(-1, 0, 0, 0, larger); }, "GetValues", larger);
    ExpectRejectedUnchanged([&] { m.GetValues(0, 0, 1, 0, larger); }, "GetValues", larger);
    // Our choice: diagonal on either side is refused.
    ZylSrvMatrix diag(3, 3, nullptr, false, true);
    diag = 2.0;
    ExpectRejectedUnchanged([&] { diag.GetValues(0, 0, 0, 0, larger); }, "GetValues", larger);
    ExpectRejectedUnchanged([&] { m.GetValues(0, 0, 0, 0, diag); }, "GetValues", diag);

    // GetRows: every column, named as GetValues.
    ZylSrvMatrix row(1, 4);
    m.GetRows(2, 2, row);
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(row.Values()[j], 3.0 + 3 * j);
    ExpectRejectedUnchanged([&] { m.GetRows(1, 2, row); }, "GetValues", row);
    ExpectRejectedUnchanged([&] { m.GetRows(2, 3, larger); }, "GetValues", larger);
}

TEST(MatrixRecord, SetSliceWritesAScaledBlock)
{
    const Dense src = Random(2, 3, 11);
    ZylSrvMatrix source = MatrixOf(src);
    ZylSrvMatrix m(4, 5);
    m = 1.0;
    Dense expected = DenseOf(m);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 2; ++i)
            expected(2 + i, 1 + j) = -2.0 * src(i, j);
    m.SetSlice(-2.0, source, 2, 1);
    EXPECT_EQ(DenseOf(m).v, expected.v);

    // A diagonal source makes the block a scaled diagonal with zeros.
    double dv[2] = {3.0, 5.0};
    ZylSrvMatrix diag(2, 2, dv, false, true);
    m = 1.0;
    m.SetSlice(2.0, diag, 1, 2);
    Dense expectedDiag(4, 5, 1.0);
    expectedDiag(1, 2) = 6.0;
    expectedDiag(2, 2) = 0.0;
    expectedDiag(1, 3) = 0.0;
    expectedDiag(2, 3) = 10.0;
    EXPECT_EQ(DenseOf(m).v, expectedDiag.v);

    // Diagonal into diagonal: placed by the row offset.
    ZylSrvMatrix bigDiag(4, 4, nullptr, false, true);
    bigDiag = 1.0;
    bigDiag.SetSlice(0.5, diag, 2, 99);
    const double expectedBig[4] = {1.0, 1.0, 1.5, 2.5};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(bigDiag.Values()[k], expectedBig[k]);

    ExpectRejectedUnchanged([&] { bigDiag.SetSlice(1.0, source, 0, 0); }, "SetSlice", bigDiag);
    // Our choice: blocks that do not fit are refused.
    ExpectRejectedUnchanged([&] { m.SetSlice(1.0, source, 3, 0); }, "SetSlice", m);
    ExpectRejectedUnchanged([&] { m.SetSlice(1.0, source, 0, 3); }, "SetSlice", m);
    ExpectRejectedUnchanged([&] { m.SetSlice(1.0, source, -1, 0); }, "SetSlice", m);
    ExpectRejectedUnchanged([&] { m.SetSlice(1.0, source, 0, -1); }, "SetSlice", m);
    ExpectRejectedUnchanged([&] { bigDiag.SetSlice(1.0, diag, 3, 0); }, "SetSlice", bigDiag);
    ExpectRejectedUnchanged([&] { bigDiag.SetSlice(1.0, diag, -1, 0); }, "SetSlice", bigDiag);
    double wide[3] = {1, 2, 3};
    ZylSrvMatrix nonSquareDiag(3, 2, wide, false, true);
    ExpectRejectedUnchanged([&] { m.SetSlice(1.0, nonSquareDiag, 0, 0); }, "SetSlice", m);
}

TEST(MatrixRecord, AddSliceAddsAScaledBlock)
{
    const Dense src = Random(3, 2, 12);
    ZylSrvMatrix source = MatrixOf(src);
    const Dense start = Random(4, 4, 13);
    ZylSrvMatrix m = MatrixOf(start);
    Dense expected = start;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 3; ++i)
            expected(1 + i, 2 + j) += 0.75 * src(i, j);
    m.AddSlice(0.75, source, 1, 2);
    EXPECT_EQ(DenseOf(m).v, expected.v);

    // A diagonal 2 x 2 source into a full 4 x 4 at (1, 2) touches only
    // elements (1, 2) and (2, 3).
    double dv[2] = {3.0, 5.0};
    ZylSrvMatrix diag(2, 2, dv, false, true);
    ZylSrvMatrix full(4, 4);
    full = 1.0;
    full.AddSlice(2.0, diag, 1, 2);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            const double want = (i == 1 && j == 2) ? 7.0 : (i == 2 && j == 3) ? 11.0 : 1.0;
            EXPECT_EQ(full.Element(i, j), want) << i << "," << j;
        }

    ZylSrvMatrix bigDiag(3, 3, nullptr, false, true);
    bigDiag = 1.0;
    bigDiag.AddSlice(-1.0, diag, 1, 0);
    EXPECT_EQ(bigDiag.Values()[0], 1.0);
    EXPECT_EQ(bigDiag.Values()[1], -2.0);
    EXPECT_EQ(bigDiag.Values()[2], -4.0);

    ExpectRejectedUnchanged([&] { bigDiag.AddSlice(1.0, source, 0, 0); }, "AddSlice", bigDiag);
    ExpectRejectedUnchanged([&] { m.AddSlice(1.0, source, 2, 0); }, "AddSlice", m);
    ExpectRejectedUnchanged([&] { m.AddSlice(1.0, source, 0, 3); }, "AddSlice", m);
    ExpectRejectedUnchanged([&] { m.AddSlice(1.0, source, -1, 0); }, "AddSlice", m);
    ExpectRejectedUnchanged([&] { full.AddSlice(1.0, diag, 3, 3); }, "AddSlice", full);
    ExpectRejectedUnchanged([&] { bigDiag.AddSlice(1.0, diag, 2, 0); }, "AddSlice", bigDiag);
}

TEST(MatrixRecord, SetDiagonalWritesOnlyTheDiagonal)
{
    const double values[3] = {7, 8, 9};
    ZylSrvMatrix full(3, 3);
    full = 1.0;
    full.SetDiagonal(values);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(full.Element(i, j), i == j ? values[i] : 1.0);

    ZylSrvMatrix diag(3, 3, nullptr, false, true);
    diag.SetDiagonal(values);
    EXPECT_EQ(diag.Values()[2], 9.0);

    // Our choice: a full matrix that is not square has no whole diagonal.
    ZylSrvMatrix tall(3, 2);
    tall = 0.0;
    ExpectRejectedUnchanged([&] { tall.SetDiagonal(values); }, "SetDiagonal", tall);

    // From a matrix.
    ZylSrvMatrix source(3, 3);
    FillCounting(source);
    full = 1.0;
    full.SetDiagonal(source);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(full.Element(i, j), i == j ? source.Element(i, i) : 1.0);
    full = 1.0;
    full.SetDiagonal(diag);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(full.Element(i, j), i == j ? values[i] : 1.0);
    ZylSrvMatrix otherDiag(3, 3, nullptr, false, true);
    otherDiag = 0.0;
    otherDiag.SetDiagonal(diag);
    EXPECT_TRUE(otherDiag == diag);

    ExpectRejectedUnchanged([&] { tall.SetDiagonal(source); }, "SetDiagonal", tall);
    ExpectRejectedUnchanged([&] { full.SetDiagonal(tall); }, "SetDiagonal", full);
    ExpectRejectedUnchanged([&] { diag.SetDiagonal(source); }, "SetDiagonal", diag);
    // Our choice: orders must match.
    ZylSrvMatrix smaller(2, 2, nullptr, false, true);
    smaller = 4.0;
    ExpectRejectedUnchanged([&] { full.SetDiagonal(smaller); }, "SetDiagonal", full);
    ZylSrvMatrix larger(4, 4);
    larger = 4.0;
    ExpectRejectedUnchanged([&] { full.SetDiagonal(larger); }, "SetDiagonal", full);
}

TEST(MatrixRecord, TransposesInPlace)
{
    const Dense sq = Random(5, 5, 21);
    ZylSrvMatrix square = MatrixOf(sq);
    const double* buffer = square.Values();
    square.Transpose();
    EXPECT_EQ(square.Values(), buffer);
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(square.Element(i, j), sq(j, i));

    const Dense r = Random(3, 7, 22);
    ZylSrvMatrix owned = MatrixOf(r);
    const long before = mem_LiveBlocks();
    owned.Transpose();
    EXPECT_EQ(mem_LiveBlocks(), before);
    ASSERT_EQ(owned.NumberOfRows(), 7);
    ASSERT_EQ(owned.NumberOfColumns(), 3);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(owned.Element(i, j), r(j, i));

    // A wrapped 2 x 3 buffer receives the 3 x 2 transpose in place.
    double wrapped[6] = {1, 2, 3, 4, 5, 6}; // (0,0)=1 (1,0)=2 (0,1)=3 ...
    ZylSrvMatrix w(2, 3, wrapped, false, false);
    w.Transpose();
    EXPECT_EQ(w.Values(), wrapped);
    EXPECT_EQ(w.NumberOfRows(), 3);
    EXPECT_EQ(w.NumberOfColumns(), 2);
    const double expected[6] = {1, 3, 5, 2, 4, 6};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(wrapped[k], expected[k]);
    EXPECT_EQ(mem_LiveBlocks(), before) << "the temporary is released";

    // Diagonal and declared-symmetric matrices stay as they are.
    ZylSrvMatrix diag(3, 3, nullptr, false, true);
    FillCounting(diag);
    const Snapshot diagBefore(diag);
    diag.Transpose();
    EXPECT_TRUE(Snapshot(diag) == diagBefore);
    ZylSrvMatrix sym(2, 3, nullptr, true, false);
    FillCounting(sym);
    const Snapshot symBefore(sym);
    sym.Transpose();
    EXPECT_TRUE(Snapshot(sym) == symBefore);
}

TEST(MatrixRecord, MirrorsOneTriangleOntoTheOther)
{
    // Square: lower copied upwards.
    const Dense sq = Random(4, 4, 31);
    ZylSrvMatrix square = MatrixOf(sq);
    square.SetSymmetricResults();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(square.Element(i, j), i >= j ? sq(i, j) : sq(j, i));
    EXPECT_TRUE(square.IsSymmetricNumerically());

    // Wide 2 x 4: the upper triangle of the leading 2 x 2 block goes down.
    const Dense w = Random(2, 4, 32);
    ZylSrvMatrix wide = MatrixOf(w);
    wide.SetSymmetricResults();
    Dense expected = w;
    expected(1, 0) = w(0, 1);
    EXPECT_EQ(DenseOf(wide).v, expected.v);

    // Tall 4 x 2: lower of the leading 2 x 2 block goes up, rows 2..3 stay.
    const Dense t = Random(4, 2, 33);
    ZylSrvMatrix tall = MatrixOf(t);
    tall.SetSymmetricResults();
    Dense expectedTall = t;
    expectedTall(0, 1) = t(1, 0);
    EXPECT_EQ(DenseOf(tall).v, expectedTall.v);

    // Skew: negated, diagonal kept, computed as -0.0 minus the value.
    ZylSrvMatrix skew = MatrixOf(sq);
    skew.Values()[1] = 0.0; // element (1, 0)
    skew.SetSkewSymmetricResults();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            const double lower = (i == 1 && j == 0) ? 0.0 : sq(i, j);
            if (i > j) {
                EXPECT_EQ(skew.Element(i, j), lower);
            } else if (i == j) {
                EXPECT_EQ(skew.Element(i, j), sq(i, i)) << "the diagonal is not cleared";
            } else if (!(i == 0 && j == 1)) {
                EXPECT_EQ(skew.Element(i, j), -sq(j, i));
            }
        }
    EXPECT_EQ(skew.Element(0, 1), 0.0);
    EXPECT_TRUE(std::signbit(skew.Element(0, 1))) << "-0.0 - 0.0 is -0.0";

    ZylSrvMatrix skewWide = MatrixOf(w);
    skewWide.SetSkewSymmetricResults();
    Dense expectedSkewWide = w;
    expectedSkewWide(1, 0) = -w(0, 1);
    EXPECT_EQ(DenseOf(skewWide).v, expectedSkewWide.v);

    // Our choice: a diagonal matrix has no stored triangles to mirror.
    ZylSrvMatrix diag(3, 3, nullptr, false, true);
    diag = 1.0;
    ExpectRejectedUnchanged([&] { diag.SetSymmetricResults(); }, "SetSymmetricResults", diag);
    ExpectRejectedUnchanged([&] { diag.SetSkewSymmetricResults(); }, "SetSkewSymmetricResults", diag);
}

TEST(MatrixRecord, TestsSymmetryExactly)
{
    ZylSrvMatrix m(3, 3);
    const double values[9] = {1, 2, 3, 2, 5, 6, 3, 6, 9};
    std::memcpy(m.Values(), values, sizeof values);
    EXPECT_TRUE(m.IsSymmetricNumerically());
    m.Values()[0] = kNaN; // the diagonal is not compared
    EXPECT_TRUE(m.IsSymmetricNumerically());
    m.Values()[7] = std::nextafter(6.0, 7.0); // one unit in the last place
    EXPECT_FALSE(m.IsSymmetricNumerically());
    m.Values()[7] = 6.0;
    m.Values()[3] = kNaN; // element (0, 1)
    m.Values()[1] = kNaN; // element (1, 0)
    EXPECT_FALSE(m.IsSymmetricNumerically());

    ZylSrvMatrix tall(3, 2);
    tall = 0.0;
    EXPECT_FALSE(tall.IsSymmetricNumerically());
    ZylSrvMatrix diag(3, 3, nullptr, false, true);
    diag = kNaN;
    EXPECT_TRUE(diag.IsSymmetricNumerically());
    EXPECT_TRUE(ZylSrvMatrix(0, 0).IsSymmetricNumerically());
}

TEST(MatrixRecord, InterpolatesBetweenTwoMatrices)
{
    const Dense da = Random(3, 2, 41);
    const Dense db = Random(3, 2, 42);
    ZylSrvMatrix a = MatrixOf(da);
    ZylSrvMatrix b = MatrixOf(db);
    ZylSrvMatrix m(3, 2);
    m.Interpolate(0.0, a, b);
    EXPECT_TRUE(m == a);
    m.Interpolate(1.0, a, b);
    EXPECT_TRUE(m == b);
    m.Interpolate(0.25, a, b);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(m.Values()[k], 0.75 * da.v[k] + 0.25 * db.v[k]);
    m.Interpolate(kNaN, a, b); // NaN passes the test
    EXPECT_TRUE(std::isnan(m.Values()[0]));

    m = 0.0;
    ExpectRejectedUnchanged([&] { m.Interpolate(1.5, a, b); }, "Interpolate", m);
    ExpectRejectedUnchanged([&] { m.Interpolate(-0.5, a, b); }, "Interpolate", m);
    ZylSrvMatrix other(2, 3);
    other = 1.0;
    ExpectRejectedUnchanged([&] { m.Interpolate(0.5, other, b); }, "Interpolate", m);
    ExpectRejectedUnchanged([&] { m.Interpolate(0.5, a, other); }, "Interpolate", m);
    // Our choice: diagonal storage has no full layout to interpolate over.
    ZylSrvMatrix d1(2, 2, nullptr, false, true), d2(2, 2, nullptr, false, true), d3(2, 2);
    d1 = 1.0;
    d2 = 2.0;
    d3 = 3.0;
    ExpectRejectedUnchanged([&] { d3.Interpolate(0.5, d1, d2); }, "Interpolate", d3);
    ExpectRejectedUnchanged([&] { d1.Interpolate(0.5, d3, d3); }, "Interpolate", d1);
}

TEST(MatrixRecord, ScalesEveryStoredValue)
{
    ZylSrvMatrix full(2, 2);
    FillCounting(full);
    full.Multiply(-2.0);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(full.Values()[k], -2.0 * (k + 1));
    double dv[2] = {1.5, -3.0};
    ZylSrvMatrix diag(2, 2, dv, false, true);
    diag.Multiply(2.0);
    EXPECT_EQ(dv[0], 3.0);
    EXPECT_EQ(dv[1], -6.0);
}

TEST(MatrixRecord, RaisesWithTheOperationNameAndThisSourceFile)
{
    ZylSrvMatrix m(2, 2);
    try {
        m.SetValues(0, 2, 0, 0, static_cast<const double*>(nullptr));
        FAIL();
    } catch (const ZylBasException& e) {
        EXPECT_EQ(e.ErrorCode(), 206);
        EXPECT_STREQ(e.AsString().Chars(), "ZylSrvMatrix::SetValues - Illegal input.");
        EXPECT_STREQ(e.File(), "mtx/impl/ZylSrvMatrix");
    }
}
