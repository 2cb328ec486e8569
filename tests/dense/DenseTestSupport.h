#ifndef TESTS_DENSE_DENSETESTSUPPORT_H
#define TESTS_DENSE_DENSETESTSUPPORT_H
// Helpers of the dense matrix tests: a database file in the test's scratch
// directory (closed and removed at the end), matrix distributions made
// directly through the database API, and raw reads and writes that bypass
// ZylSrvDenseMatrix, so that every test compares against values that took an
// independent road.
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/dorv/ZylDorvTestSeam.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A matrix distribution: axis 0 the columns, axis 1 the rows (a
// one-dimensional one has only the rows, on axis 0).
struct DenseSetup {
    ZylDorvCollectionID rows, columns;
    ZylDorvCSetID rowCSet, columnCSet;
    ZylDorvDistributionID id;
    int numRows = 0;
    int numColumns = 0;
};

// Value (r, c) of the reference pattern.
inline double V(int r, int c) { return 1000.0 * r + c; }

// Deterministic values in [-1, 1).
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : m_state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
    double Next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) / 4503599627370496.0 - 1.0;
    }
    std::vector<double> Values(std::size_t count)
    {
        std::vector<double> v(count);
        for (double& x : v)
            x = Next();
        return v;
    }

private:
    std::uint64_t m_state;
};

// Reads a whole column-major matrix of values.
struct Values {
    int rows = 0, columns = 0;
    std::vector<double> v;
    double operator()(int r, int c) const { return v[static_cast<std::size_t>(r) + static_cast<std::size_t>(rows) * c]; }
    double& at(int r, int c) { return v[static_cast<std::size_t>(r) + static_cast<std::size_t>(rows) * c]; }
    Values Block(int r0, int r1, int c0, int c1) const
    {
        Values b{r1 - r0 + 1, c1 - c0 + 1, {}};
        b.v.resize(static_cast<std::size_t>(b.rows) * b.columns);
        for (int c = c0; c <= c1; ++c)
            for (int r = r0; r <= r1; ++r)
                b.at(r - r0, c - c0) = (*this)(r, c);
        return b;
    }
};

inline Values MakeValues(int rows, int columns, const std::vector<double>& v) { return Values{rows, columns, v}; }

// op(a) * op(b) by plain loops.
inline Values NaiveProduct(const Values& a, bool transposeA, const Values& b)
{
    const int m = transposeA ? a.columns : a.rows;
    const int k = transposeA ? a.rows : a.columns;
    Values c{m, b.columns, std::vector<double>(static_cast<std::size_t>(m) * b.columns, 0.0)};
    for (int j = 0; j < b.columns; ++j)
        for (int i = 0; i < m; ++i) {
            double s = 0.0;
            for (int l = 0; l < k; ++l)
                s += (transposeA ? a(l, i) : a(i, l)) * b(l, j);
            c.at(i, j) = s;
        }
    return c;
}

inline void ExpectClose(const Values& expected, const double* actual, int ld, const char* what)
{
    for (int c = 0; c < expected.columns; ++c)
        for (int r = 0; r < expected.rows; ++r) {
            const double e = expected(r, c);
            const double a = actual[static_cast<std::size_t>(r) + static_cast<std::size_t>(ld) * c];
            ASSERT_NEAR(a, e, 1e-12 * (1.0 + std::fabs(e))) << what << " at (" << r << ", " << c << ")";
        }
}

inline void ExpectClose(const Values& expected, const Values& actual, const char* what)
{
    ASSERT_EQ(actual.rows, expected.rows) << what;
    ASSERT_EQ(actual.columns, expected.columns) << what;
    ExpectClose(expected, actual.v.data(), actual.rows, what);
}

// Runs `f`, which must throw E; returns a copy (via the callback) of what was caught.
template <class E>
void ExpectThrows(const std::function<void()>& f, const std::function<void(const E&)>& check)
{
    try {
        f();
    } catch (const E& e) {
        check(e);
        return;
    }
    ADD_FAILURE() << "the expected error was not thrown";
}

// Checks number, message, file and line of a thrown family error.
template <class E>
void ExpectFamilyError(const std::function<void()>& f, int number, const std::string& message, int line = -1)
{
    ExpectThrows<E>(f, [&](const E& e) {
        EXPECT_EQ(e.ErrorCode(), number);
        EXPECT_EQ(std::string(e.AsString().Chars()), message);
        EXPECT_STREQ(e.File(), "mtx/impl/ZylSrvDenseMatrix");
        if (line >= 0) {
            EXPECT_EQ(e.Line(), line);
        }
    });
}

inline void ExpectIllegalInput(const std::function<void()>& f, const char* operation)
{
    ExpectFamilyError<ZylSrvMtxIllegalInput>(f, 206, std::string("ZylSrvMatrix::") + operation + " - Illegal input.");
}

// A fresh database "dense.dorv" with one context; closed and removed at the end.
class DenseTest : public ::testing::Test {
protected:
    static constexpr const char* kPath = "dense.dorv";

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

    // rows x columns doubles over two new collections, all members in
    // ordinal order; chunked rowChunk x columnChunk, or unchunked when both
    // are -1; every value `init` until written.
    DenseSetup Make(int rows, int columns, int rowChunk, int columnChunk, double init = 0.0, int extendableDim = -1)
    {
        ZylDorvContext context(ctx);
        DenseSetup m;
        m.rows = context.CreateCollection(rows, ZylDorvTypeID());
        m.columns = context.CreateCollection(columns, ZylDorvTypeID());
        m.rowCSet = ZylDorvCollection(m.rows).BiggestCSetID();
        m.columnCSet = ZylDorvCollection(m.columns).BiggestCSetID();
        m.numRows = rows;
        m.numColumns = columns;
        MakeDrawer(m, rowChunk, columnChunk, init, extendableDim);
        return m;
    }

    // A distribution over existing CSets (rows and columns may be CSets of
    // collections that other matrices use too).
    DenseSetup MakeOver(ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet, int rowChunk, int columnChunk,
                        double init = 0.0)
    {
        DenseSetup m;
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
    DenseSetup Make1D(int rows, int chunk, double init = 0.0)
    {
        ZylDorvContext context(ctx);
        DenseSetup m;
        m.rows = context.CreateCollection(rows, ZylDorvTypeID());
        m.rowCSet = ZylDorvCollection(m.rows).BiggestCSetID();
        m.numRows = rows;
        m.numColumns = 1;
        m.id = context.CreateDistribution(ZylDorvGrid{m.rows}, ZylDorvRangeType(ZylDorvTypeKey::Double), ZylDorvTypeID());
        ZylDorvTransfer make{ZylDorvDistribution(m.id)};
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

    // Writes the pattern V(r, c) into every value, raw.
    static void FillPattern(const DenseSetup& m)
    {
        Values v{m.numRows, m.numColumns, std::vector<double>(static_cast<std::size_t>(m.numRows) * m.numColumns)};
        for (int c = 0; c < m.numColumns; ++c)
            for (int r = 0; r < m.numRows; ++r)
                v.at(r, c) = V(r, c);
        RawWrite(m, 0, m.numRows - 1, 0, m.numColumns - 1, v.v);
    }

    // Writes deterministic random values into every value, raw; returns them.
    static Values FillRandom(const DenseSetup& m, std::uint64_t seed)
    {
        Lcg lcg(seed);
        Values v{m.numRows, m.numColumns, lcg.Values(static_cast<std::size_t>(m.numRows) * m.numColumns)};
        RawWrite(m, 0, m.numRows - 1, 0, m.numColumns - 1, v.v);
        return v;
    }

    static void RawWrite(const DenseSetup& m, int r0, int r1, int c0, int c1, const std::vector<double>& values)
    {
        ZylDorvTransfer t{ZylDorvDistribution(m.id)};
        t.SetWrite();
        t.SetBufferPadding(false);
        Select(t, m, r0, r1, c0, c1);
        t.CheckView();
        t.SetBuffer(0, static_cast<const void*>(values.data()),
                    static_cast<std::int64_t>(values.size() * sizeof(double)));
        t.ExecWrite();
        t.RelinquishBuffers();
    }

    static Values RawRead(const DenseSetup& m, int r0, int r1, int c0, int c1)
    {
        Values v{r1 - r0 + 1, c1 - c0 + 1, {}};
        v.v.assign(static_cast<std::size_t>(v.rows) * v.columns, -777.0);
        ZylDorvTransfer t{ZylDorvDistribution(m.id)};
        t.SetRead();
        t.SetBufferPadding(false);
        Select(t, m, r0, r1, c0, c1);
        t.CheckView();
        t.SetBuffer(0, static_cast<void*>(v.v.data()), static_cast<std::int64_t>(v.v.size() * sizeof(double)));
        t.ExecRead();
        t.RelinquishBuffers();
        return v;
    }

    static Values RawAll(const DenseSetup& m) { return RawRead(m, 0, m.numRows - 1, 0, m.numColumns - 1); }

    ZylDorvDatabase db;
    ZylDorvContextID ctx;

private:
    void MakeDrawer(DenseSetup& m, int rowChunk, int columnChunk, double init, int extendableDim)
    {
        ZylDorvContext context(ctx);
        m.id = context.CreateDistribution(ZylDorvGrid{m.columns, m.rows}, ZylDorvRangeType(ZylDorvTypeKey::Double),
                                          ZylDorvTypeID());
        ZylDorvTransfer make{ZylDorvDistribution(m.id)};
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

    static void Select(ZylDorvTransfer& t, const DenseSetup& m, int r0, int r1, int c0, int c1)
    {
        if (m.columnCSet.IsNull()) {
            t.SetDimOrdinalRange(0, m.rows, r0, r1);
        } else {
            t.SetDimOrdinalRange(0, m.columns, c0, c1);
            t.SetDimOrdinalRange(1, m.rows, r0, r1);
        }
    }
};

// Reads every value of a dense matrix through the class (one GetValues).
inline Values ReadThrough(const ZylSrvDenseMatrix& m)
{
    Values v{m.NumberOfRows(), m.NumberOfColumns(), {}};
    v.v.assign(static_cast<std::size_t>(v.rows) * v.columns, -555.0);
    m.GetAllValues(v.v.data());
    return v;
}

// The members of a CSet in order.
inline std::vector<int> MembersOf(ZylDorvCSetID id)
{
    ZylDorvCSet cset(id);
    std::vector<int> members(static_cast<std::size_t>(cset.Size()));
    if (!members.empty())
        cset.OrderedMembers(members.data());
    return members;
}

inline std::vector<int> Labels(int first, int count)
{
    std::vector<int> v(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        v[static_cast<std::size_t>(i)] = first + i;
    return v;
}

#endif
