#ifndef TESTS_DORV_DORVTESTSUPPORT_H
#define TESTS_DORV_DORVTESTSUPPORT_H
// Shared helpers of the database tests: a database file in the test's
// scratch directory, removed at the end, and checks of thrown errors.
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/dorv/ZylDorvTestSeam.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

// Runs `f`, which must throw ZylDorvException; returns it (number 0 when not).
inline ZylDorvException CatchDorv(const std::function<void()>& f)
{
    try {
        f();
    } catch (const ZylDorvException& e) {
        return e;
    }
    ADD_FAILURE() << "no ZylDorvException was thrown";
    return ZylDorvException(0, "");
}

#define EXPECT_DORV_ERROR(statement, number, text)                                        \
    do {                                                                                  \
        const ZylDorvException caught_ = CatchDorv([&] { statement; });                   \
        EXPECT_EQ(caught_.Number(), number);                                              \
        EXPECT_STREQ(caught_.Description(), text);                                        \
    } while (0)

#define EXPECT_DORV_ERROR_HAS(statement, number, part)                                    \
    do {                                                                                  \
        const ZylDorvException caught_ = CatchDorv([&] { statement; });                   \
        EXPECT_EQ(caught_.Number(), number);                                              \
        EXPECT_THAT(caught_.Description(), ::testing::HasSubstr(part));                   \
    } while (0)

// A fresh database "t.dorv" with one context; closed and removed at the end.
class DorvTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZylDorvTestSeam::Clear();
        db.CreateFile(ZylDroviUnicodeString("t.dorv"), ZylDorvDatabase::CreateExclusive, -1);
        ctx = db.CreateContext(ZylDorvNamespaceID::AllBits());
    }
    void TearDown() override
    {
        ZylDorvTestSeam::Clear();
        if (db.IsOpen())
            db.Close();
        std::remove("t.dorv");
    }

    ZylDorvDatabase db;
    ZylDorvContextID ctx;
};

// A matrix distribution: axis 0 the columns, axis 1 the rows.
struct MatrixSetup {
    ZylDorvCollectionID rows, columns;
    ZylDorvCSetID rowCSet, columnCSet;
    ZylDorvDistribution distribution;
};

// rows x columns doubles; chunks {columnChunk, rowChunk} or unchunked when
// empty; initialization value `init`.
inline MatrixSetup MakeMatrix(ZylDorvContextID ctx, int rows, int columns, std::vector<int> chunks, double init = 0.0)
{
    ZylDorvContext context(ctx);
    MatrixSetup m;
    m.rows = context.CreateCollection(rows, ZylDorvTypeID());
    m.columns = context.CreateCollection(columns, ZylDorvTypeID());
    m.rowCSet = ZylDorvCollection(m.rows).BiggestCSetID();
    m.columnCSet = ZylDorvCollection(m.columns).BiggestCSetID();
    ZylDorvDistributionID id =
        context.CreateDistribution(ZylDorvGrid{m.columns, m.rows}, ZylDorvRangeType(ZylDorvTypeKey(2)), ZylDorvTypeID());
    m.distribution = ZylDorvDistribution(id);
    ZylDorvTransfer make(m.distribution);
    if (chunks.empty())
        make.SetMakeNewDrawer();
    else
        make.SetMakeNewDrawerChunked(ZylDorvArray<int>(chunks.data(), static_cast<int>(chunks.size())));
    make.SetWrite();
    make.SetDim(0, m.columnCSet);
    make.SetDim(1, m.rowCSet);
    make.SetInitializationValue(ZylDorvRangeValue(init));
    make.CheckView();
    make.InitializePersistentDrawer();
    return m;
}

// Prepared once, copied for every use.
inline ZylDorvTransfer Prepared(const ZylDorvDistribution& d)
{
    ZylDorvTransfer t(d);
    t.SetRead();
    t.SetWrite();
    t.SetBufferPadding(false);
    return t;
}

// Reads rows r0..r1, columns c0..c1 of a matrix, column-major.
inline std::vector<double> ReadBlock(const MatrixSetup& m, int r0, int r1, int c0, int c1)
{
    std::vector<double> out(static_cast<std::size_t>((r1 - r0 + 1) * (c1 - c0 + 1)), -999.0);
    ZylDorvTransfer t = Prepared(m.distribution);
    t.SetDimOrdinalRange(0, m.columns, c0, c1);
    t.SetDimOrdinalRange(1, m.rows, r0, r1);
    t.CheckView();
    t.SetBuffer(0, out.data(), static_cast<std::int64_t>(out.size() * sizeof(double)));
    t.ExecRead();
    t.RelinquishBuffers();
    return out;
}

inline void WriteBlock(const MatrixSetup& m, int r0, int r1, int c0, int c1, const std::vector<double>& values)
{
    ZylDorvTransfer t = Prepared(m.distribution);
    t.SetDimOrdinalRange(0, m.columns, c0, c1);
    t.SetDimOrdinalRange(1, m.rows, r0, r1);
    t.CheckView();
    t.SetBuffer(0, values.data(), static_cast<std::int64_t>(values.size() * sizeof(double)));
    t.ExecWrite();
    t.RelinquishBuffers();
}

#endif
