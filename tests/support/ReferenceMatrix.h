#ifndef TESTS_SUPPORT_REFERENCEMATRIX_H
#define TESTS_SUPPORT_REFERENCEMATRIX_H
// The independent reference every numerical test compares against: a plain
// column-major matrix in a std::vector, deterministic random fill, the
// textbook triple-loop product, and the moves between it and a ZylSrvMatrix.
#include <mtx/ZylSrvMatrix.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace zyltest {

struct RefMatrix {
    int rows = 0;
    int cols = 0;
    std::vector<double> v;

    RefMatrix() = default;
    RefMatrix(int r, int c, double fill = 0.0) : rows(r), cols(c), v(static_cast<std::size_t>(r) * c, fill) {}

    double& operator()(int i, int j) { return v[static_cast<std::size_t>(i) + static_cast<std::size_t>(rows) * j]; }
    double operator()(int i, int j) const
    {
        return v[static_cast<std::size_t>(i) + static_cast<std::size_t>(rows) * j];
    }
    double* data() { return v.data(); }
    const double* data() const { return v.data(); }

    // Rows r0..r1, columns c0..c1 (inclusive) as a matrix of their own.
    RefMatrix Block(int r0, int r1, int c0, int c1) const
    {
        RefMatrix b(r1 - r0 + 1, c1 - c0 + 1);
        for (int c = c0; c <= c1; ++c)
            for (int r = r0; r <= r1; ++r)
                b(r - r0, c - c0) = (*this)(r, c);
        return b;
    }
    RefMatrix Transposed() const
    {
        RefMatrix t(cols, rows);
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i)
                t(j, i) = (*this)(i, j);
        return t;
    }
};

// Values uniform in [-1, 1), the same for the same seed.
inline RefMatrix RandomMatrix(int rows, int cols, unsigned seed)
{
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    RefMatrix m(rows, cols);
    for (double& x : m.v)
        x = uniform(engine);
    return m;
}

// Value (r, c) = 1000 r + c: every entry tells where it came from.
inline RefMatrix PatternMatrix(int rows, int cols)
{
    RefMatrix m(rows, cols);
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            m(r, c) = 1000.0 * r + c;
    return m;
}

// op(a) * op(b) by plain loops.
inline RefMatrix NaiveProduct(const RefMatrix& a, bool transposeA, const RefMatrix& b, bool transposeB = false)
{
    const int m = transposeA ? a.cols : a.rows;
    const int k = transposeA ? a.rows : a.cols;
    const int n = transposeB ? b.rows : b.cols;
    RefMatrix c(m, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            double s = 0.0;
            for (int l = 0; l < k; ++l)
                s += (transposeA ? a(l, i) : a(i, l)) * (transposeB ? b(j, l) : b(l, j));
            c(i, j) = s;
        }
    return c;
}

// x a + y b, entry by entry.
inline RefMatrix Combine(double x, const RefMatrix& a, double y, const RefMatrix& b)
{
    RefMatrix c = a;
    for (std::size_t i = 0; i < c.v.size(); ++i)
        c.v[i] = x * a.v[i] + y * b.v[i];
    return c;
}

// An owning full ZylSrvMatrix holding r's values.
inline ZylSrvMatrix MatrixOf(const RefMatrix& r, bool symmetric = false)
{
    ZylSrvMatrix m(r.rows, r.cols, nullptr, symmetric, false);
    std::copy(r.v.begin(), r.v.end(), m.Values());
    return m;
}

// Every element of m (a diagonal matrix with its zeros).
inline RefMatrix RefOf(const ZylSrvMatrix& m)
{
    RefMatrix r(m.NumberOfRows(), m.NumberOfColumns());
    for (int j = 0; j < r.cols; ++j)
        for (int i = 0; i < r.rows; ++i)
            r(i, j) = m.Element(i, j);
    return r;
}

// Every entry of `actual` (leading dimension ld) within a relative 1e-12 of
// `expected`; stops at the first mismatch and names it.
inline void ExpectMatrixNear(const RefMatrix& expected, const double* actual, int ld, const char* what = "",
                             double tolerance = 1e-12)
{
    for (int c = 0; c < expected.cols; ++c)
        for (int r = 0; r < expected.rows; ++r) {
            const double e = expected(r, c);
            const double a = actual[static_cast<std::size_t>(r) + static_cast<std::size_t>(ld) * c];
            ASSERT_NEAR(a, e, tolerance * (1.0 + std::fabs(e))) << what << " at (" << r << ", " << c << ")";
        }
}

inline void ExpectMatrixNear(const RefMatrix& expected, const RefMatrix& actual, const char* what = "",
                             double tolerance = 1e-12)
{
    ASSERT_EQ(actual.rows, expected.rows) << what;
    ASSERT_EQ(actual.cols, expected.cols) << what;
    ExpectMatrixNear(expected, actual.data(), actual.rows, what, tolerance);
}

} // namespace zyltest

#endif
