#ifndef TESTS_SUPPORT_DATABASETEST_H
#define TESTS_SUPPORT_DATABASETEST_H
// A fresh database file "test.dorv" with one context for each test (in the
// test's own scratch directory), closed and removed afterwards, and matrix
// distributions made and read straight through the database API, so that the
// library's matrix classes are always compared with values that took an
// independent road.
#include "ReferenceMatrix.h"

#include <platform/dorv/ZylDorvAPI.h>
#include <platform/dorv/ZylDorvTestSeam.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zyltest {

// A matrix distribution: axis 0 the columns, axis 1 the rows. A
// one-dimensional one has only the rows, on axis 0, and a null columnCSet.
struct MatrixSetup {
    ZylDorvCollectionID rows, columns;
    ZylDorvCSetID rowCSet, columnCSet;
    ZylDorvDistributionID id;
    int numRows = 0;
    int numColumns = 0;

    ZylDorvDistribution Distribution() const { return ZylDorvDistribution(id); }
};

// The members of a CSet in order.
inline std::vector<int> MembersOf(ZylDorvCSetID id)
{
    ZylDorvCSet cset(id);
    std::vector<int> members(static_cast<std::size_t>(cset.Size()));
    if (!members.empty())
        cset.OrderedMembers(members.data());
    return members;
}

// The drawers of a distribution, in index order.
inline ZylDorvArray<ZylDorvPersistentDrawerDesc> DrawersOf(ZylDorvDistributionID id)
{
    ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
    ZylDorvDistribution(id).QueryDrawers(drawers);
    return drawers;
}

// A two-dimensional distribution as a matrix, as its first drawer describes
// it (the way back to a matrix after the file was reopened).
inline MatrixSetup MatrixSetupOf(ZylDorvDistributionID id)
{
    const ZylDorvPersistentDrawerDesc d = DrawersOf(id)[0];
    return {d.DimCSetID(1).CollectionID(), d.DimCSetID(0).CollectionID(), d.DimCSetID(1), d.DimCSetID(0), id,
            d.DimSize(1), d.DimSize(0)};
}

// `count` values of type T read raw from drawer `drawer` of a distribution:
// all of it, or the ordinal ranges {axis, first, last}, into a buffer
// filled with -99 first.
template <typename T>
std::vector<T> ReadValues(ZylDorvDistributionID id, std::size_t count,
                          const std::vector<std::array<int, 3>>& ranges = {}, int drawer = 0)
{
    const ZylDorvDistribution d(id);
    std::vector<T> out(count, T(-99));
    ZylDorvTransfer t(d);
    t.SetRead();
    t.SetBufferPadding(false);
    t.SetDrawer(drawer);
    for (const std::array<int, 3>& r : ranges)
        t.SetDimOrdinalRange(r[0], d.AxisCollectionID(r[0]), r[1], r[2]);
    t.SetBuffer(0, static_cast<void*>(out.data()), static_cast<std::int64_t>(count * sizeof(T)));
    t.ExecRead();
    return out;
}

class DatabaseTest : public ::testing::Test {
protected:
    static constexpr const char* kPath = "test.dorv";

    void SetUp() override
    {
        ZylDorvTestSeam::Clear();
        db.CreateFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::CreateExclusive, -1);
        ctx = db.CreateContext(ZylDorvNamespaceID::AllBits());
    }
    void TearDown() override
    {
        ZylDorvTestSeam::Clear();
        if (db.IsOpen())
            db.Close();
        std::remove(kPath);
    }

    ZylDorvContext Context() const { return ZylDorvContext(ctx); }
    ZylDorvCollectionID NewCollection(int count) { return Context().CreateCollection(count, ZylDorvTypeID()); }
    static ZylDorvCSetID AllOf(ZylDorvCollectionID c) { return ZylDorvCollection(c).BiggestCSetID(); }

    // rows x columns doubles over two new collections, all members in ordinal
    // order; chunked rowChunk x columnChunk, or unchunked when both are -1;
    // every value `init` until written.
    MatrixSetup MakeMatrix(int rows, int columns, int rowChunk, int columnChunk, double init = 0.0,
                           int extendableDim = -1)
    {
        MatrixSetup m;
        m.rows = NewCollection(rows);
        m.columns = NewCollection(columns);
        m.rowCSet = AllOf(m.rows);
        m.columnCSet = AllOf(m.columns);
        m.numRows = rows;
        m.numColumns = columns;
        MakeDrawer(m, rowChunk, columnChunk, init, extendableDim);
        return m;
    }

    // A distribution over existing CSets (shared with other matrices).
    MatrixSetup MakeMatrixOver(ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet, int rowChunk, int columnChunk,
                               double init = 0.0)
    {
        MatrixSetup m;
        m.rows = rowCSet.CollectionID();
        m.columns = columnCSet.CollectionID();
        m.rowCSet = rowCSet;
        m.columnCSet = columnCSet;
        m.numRows = ZylDorvCSet(rowCSet).Size();
        m.numColumns = ZylDorvCSet(columnCSet).Size();
        MakeDrawer(m, rowChunk, columnChunk, init, -1);
        return m;
    }

    // A one-dimensional distribution of `rows` doubles, chunked (or not, -1).
    MatrixSetup MakeVector(int rows, int chunk, double init = 0.0)
    {
        MatrixSetup m;
        m.rows = NewCollection(rows);
        m.rowCSet = AllOf(m.rows);
        m.numRows = rows;
        m.numColumns = 1;
        m.id = Context().CreateDistribution(ZylDorvGrid{m.rows}, ZylDorvRangeType(ZylDorvTypeKey::Double),
                                            ZylDorvTypeID());
        ZylDorvTransfer make{m.Distribution()};
        if (chunk < 0)
            make.SetMakeNewDrawer();
        else
            make.SetMakeNewDrawerChunked(ZylDorvArray<int>{chunk});
        make.SetWrite();
        make.SetDim(0, m.rowCSet);
        make.SetInitializationValue(ZylDorvRangeValue(init));
        make.CheckView();
        make.InitializePersistentDrawer();
        return m;
    }

    // Writes rows r0..r1, columns c0..c1 (column-major values), raw.
    static void RawWrite(const MatrixSetup& m, int r0, int r1, int c0, int c1, const double* values)
    {
        ZylDorvTransfer t{m.Distribution()};
        t.SetWrite();
        t.SetBufferPadding(false);
        Select(t, m, r0, r1, c0, c1);
        t.CheckView();
        t.SetBuffer(0, static_cast<const void*>(values),
                    static_cast<std::int64_t>(sizeof(double)) * (r1 - r0 + 1) * (c1 - c0 + 1));
        t.ExecWrite();
        t.RelinquishBuffers();
    }
    static void RawWrite(const MatrixSetup& m, const RefMatrix& all)
    {
        RawWrite(m, 0, m.numRows - 1, 0, m.numColumns - 1, all.data());
    }

    static RefMatrix RawRead(const MatrixSetup& m, int r0, int r1, int c0, int c1)
    {
        RefMatrix v(r1 - r0 + 1, c1 - c0 + 1, -777.0);
        ZylDorvTransfer t{m.Distribution()};
        t.SetRead();
        t.SetBufferPadding(false);
        Select(t, m, r0, r1, c0, c1);
        t.CheckView();
        t.SetBuffer(0, static_cast<void*>(v.data()), static_cast<std::int64_t>(v.v.size() * sizeof(double)));
        t.ExecRead();
        t.RelinquishBuffers();
        return v;
    }
    static RefMatrix RawRead(const MatrixSetup& m) { return RawRead(m, 0, m.numRows - 1, 0, m.numColumns - 1); }

    // Grows m's drawer along its extendable dimension by the members of `added`.
    static void Extend(const MatrixSetup& m, ZylDorvCSetID added)
    {
        ZylDorvTransfer t{m.Distribution()};
        t.SetWrite(), t.SetDimExtension(added), t.InitializeExtension();
    }

    // Random values in [-1, 1) written into every value, raw; returned.
    static RefMatrix FillRandom(const MatrixSetup& m, unsigned seed)
    {
        const RefMatrix v = RandomMatrix(m.numRows, m.numColumns, seed);
        RawWrite(m, v);
        return v;
    }

    ZylDorvDatabase db;
    ZylDorvContextID ctx;

private:
    void MakeDrawer(MatrixSetup& m, int rowChunk, int columnChunk, double init, int extendableDim)
    {
        m.id = Context().CreateDistribution(ZylDorvGrid{m.columns, m.rows}, ZylDorvRangeType(ZylDorvTypeKey::Double),
                                            ZylDorvTypeID());
        ZylDorvTransfer make{m.Distribution()};
        if (rowChunk == -1 && columnChunk == -1)
            make.SetMakeNewDrawer();
        else
            make.SetMakeNewDrawerChunked(ZylDorvArray<int>{columnChunk, rowChunk});
        if (extendableDim >= 0)
            make.SetExtendableDim(extendableDim);
        make.SetWrite();
        make.SetDim(0, m.columnCSet);
        make.SetDim(1, m.rowCSet);
        make.SetInitializationValue(ZylDorvRangeValue(init));
        make.CheckView();
        make.InitializePersistentDrawer();
    }

    static void Select(ZylDorvTransfer& t, const MatrixSetup& m, int r0, int r1, int c0, int c1)
    {
        if (m.columnCSet.IsNull()) {
            t.SetDimOrdinalRange(0, m.rows, r0, r1);
        } else {
            t.SetDimOrdinalRange(0, m.columns, c0, c1);
            t.SetDimOrdinalRange(1, m.rows, r0, r1);
        }
    }
};

} // namespace zyltest

#endif
