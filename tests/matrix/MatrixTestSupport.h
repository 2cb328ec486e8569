#ifndef TESTS_MATRIX_MATRIXTESTSUPPORT_H
#define TESTS_MATRIX_MATRIXTESTSUPPORT_H
// What the ZylSrvMatrix suites add to tests/support: a diagonal maker, the bitwise
// snapshot behind every "left unchanged" check, and tables of refusals.
#include "support/FamilyError.h"
#include "support/ReferenceMatrix.h"

#include <mtx/ZylSrvMatrix.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace matrix_test {

using zyltest::Combine;
using zyltest::MatrixOf;
using zyltest::NaiveProduct;
using zyltest::RandomMatrix;
using zyltest::RefMatrix;
using zyltest::RefOf;

const char* const kSource = "mtx/impl/ZylSrvMatrix";

inline ZylSrvMatrix Diagonal(std::initializer_list<double> values)
{
    const int n = static_cast<int>(values.size());
    ZylSrvMatrix d(n, n, nullptr, false, true);
    std::copy(values.begin(), values.end(), d.Values());
    return d;
}

// The symmetric part of a random matrix plus `shift` on the diagonal (sign alternating when `indefinite`).
inline RefMatrix RandomSymmetric(int n, unsigned seed, double shift, bool indefinite = false)
{
    const RefMatrix r = RandomMatrix(n, n, seed);
    RefMatrix s(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            s(i, j) = 0.5 * (r(i, j) + r(j, i)) + (i == j ? ((indefinite && i % 2 == 1) ? -shift : shift) : 0.0);
    return s;
}

// Shape, flags and stored values, bit for bit (NaN-safe), for "unchanged" checks.
inline std::string Snapshot(const ZylSrvMatrix& m)
{
    const int shape[4] = {m.NumberOfRows(), m.NumberOfColumns(), m.IsDiagonal(), m.IsSymmetric()};
    return std::string(reinterpret_cast<const char*>(shape), sizeof shape) +
           std::string(reinterpret_cast<const char*>(m.Values()), sizeof(double) * m.NumberOfStoredValues());
}

// One refused call per row: it raises "ZylSrvMatrix::<operation> - Illegal
// input." from this library's source and leaves `watched` as it was.
struct Refusal {
    const char* operation;
    std::function<void()> call;
    const ZylSrvMatrix* watched;
};

inline void ExpectRefusals(const std::vector<Refusal>& rows)
{
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "refusal row " << k << " (" << rows[k].operation << ")");
        const std::string before = Snapshot(*rows[k].watched);
        zyltest::ExpectIllegalInput(rows[k].call, rows[k].operation, kSource);
        EXPECT_TRUE(Snapshot(*rows[k].watched) == before) << "written before the refusal";
    }
}

} // namespace matrix_test

#endif
