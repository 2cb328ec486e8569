#ifndef TESTS_MATRIX_MATRIXTESTSUPPORT_H
#define TESTS_MATRIX_MATRIXTESTSUPPORT_H
// Helpers shared by the ZylSrvMatrix tests: independent references (plain
// loops over std::vector), snapshots for "unchanged" checks and the check of
// an expected error with its number and exact message.
#include <mtx/ZylSrvMatrix.h>
#include <mtx/impl/ZylSrvMtxErrors.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace matrix_test {

// Column-major reference matrix.
struct Dense {
    int rows = 0;
    int cols = 0;
    std::vector<double> v;
    Dense(int r, int c, double fill = 0.0) : rows(r), cols(c), v(static_cast<size_t>(r) * c, fill) {}
    double& operator()(int i, int j) { return v[i + static_cast<size_t>(rows) * j]; }
    double operator()(int i, int j) const { return v[i + static_cast<size_t>(rows) * j]; }
};

inline Dense Random(int rows, int cols, unsigned seed)
{
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    Dense d(rows, cols);
    for (double& x : d.v)
        x = uniform(engine);
    return d;
}

// An owning full matrix holding d's values.
inline ZylSrvMatrix MatrixOf(const Dense& d, bool symmetric = false)
{
    ZylSrvMatrix m(d.rows, d.cols, nullptr, symmetric, false);
    if (!d.v.empty())
        std::memcpy(m.Values(), d.v.data(), d.v.size() * sizeof(double));
    return m;
}

inline Dense DenseOf(const ZylSrvMatrix& m)
{
    Dense d(m.NumberOfRows(), m.NumberOfColumns());
    for (int j = 0; j < d.cols; ++j)
        for (int i = 0; i < d.rows; ++i)
            d(i, j) = m.Element(i, j);
    return d;
}

// Plain triple loop: op(a) * op(b).
inline Dense NaiveProduct(const Dense& a, const Dense& b, bool transposeA = false)
{
    const int m = transposeA ? a.cols : a.rows;
    const int k = transposeA ? a.rows : a.cols;
    Dense c(m, b.cols);
    for (int j = 0; j < b.cols; ++j)
        for (int i = 0; i < m; ++i) {
            double s = 0.0;
            for (int l = 0; l < k; ++l)
                s += (transposeA ? a(l, i) : a(i, l)) * b(l, j);
            c(i, j) = s;
        }
    return c;
}

// Bitwise snapshot of the stored values and the shape, NaN-safe.
struct Snapshot {
    int rows;
    int cols;
    bool diagonal;
    bool symmetric;
    std::vector<unsigned char> bytes;
    explicit Snapshot(const ZylSrvMatrix& m)
        : rows(m.NumberOfRows()), cols(m.NumberOfColumns()), diagonal(m.IsDiagonal()),
          symmetric(m.IsSymmetric()),
          bytes(reinterpret_cast<const unsigned char*>(m.Values()),
                reinterpret_cast<const unsigned char*>(m.Values() + m.NumberOfStoredValues()))
    {
    }
    bool operator==(const Snapshot& o) const
    {
        return rows == o.rows && cols == o.cols && diagonal == o.diagonal && symmetric == o.symmetric &&
               bytes == o.bytes;
    }
};

inline std::string IllegalInputMessage(const std::string& operation)
{
    return "ZylSrvMatrix::" + operation + " - Illegal input.";
}

// Runs f, which must raise ErrorType with the given number and message,
// recorded at this library's small-matrix source.
template <typename ErrorType, typename F>
void ExpectError(F f, int code, const std::string& message)
{
    try {
        f();
        ADD_FAILURE() << "expected error " << code << " \"" << message << "\"";
    } catch (const ZylBasException& e) {
        EXPECT_NE(dynamic_cast<const ErrorType*>(&e), nullptr) << e.AsString().Chars();
        EXPECT_EQ(e.ErrorCode(), code);
        EXPECT_STREQ(e.AsString().Chars(), message.c_str());
        EXPECT_STREQ(e.File(), "mtx/impl/ZylSrvMatrix");
        EXPECT_GT(e.Line(), 0);
    }
}

template <typename F>
void ExpectIllegalInput(F f, const std::string& operation)
{
    ExpectError<ZylSrvMtxIllegalInput>(f, 206, IllegalInputMessage(operation));
}

// Rejected and left every listed matrix as it was.
template <typename F>
void ExpectRejectedUnchanged(F f, const std::string& operation, const ZylSrvMatrix& m)
{
    const Snapshot before(m);
    ExpectIllegalInput(f, operation);
    EXPECT_TRUE(Snapshot(m) == before) << operation << " wrote before rejecting";
}

} // namespace matrix_test

#endif
