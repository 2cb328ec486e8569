#ifndef TESTS_DENSE_DENSEHELPERS_H
#define TESTS_DENSE_DENSEHELPERS_H
// What only the dense matrix tests need on top of tests/support: reading a
// ZylSrvDenseMatrix through the class, placing one matrix inside another, and
// random views whose blocks are cut unevenly.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"
#include "support/ReferenceMatrix.h"

#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvMatrix.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace densetest {

using zyltest::Combine;
using zyltest::MatrixOf;
using zyltest::RefMatrix;
using zyltest::RefOf;

constexpr const char* kSource = "mtx/impl/ZylSrvDenseMatrix";
constexpr const char* kGetRange = "ZylSrvDenseMatrix::GetValues invalid range values.";
constexpr const char* kSetRange = "ZylSrvDenseMatrix::SetValues invalid range values.";

// Every value of m through the class (one GetAllValues).
inline RefMatrix ReadThrough(const ZylSrvDenseMatrix& m)
{
    RefMatrix v(m.NumberOfRows(), m.NumberOfColumns(), -555.0);
    m.GetAllValues(v.data());
    return v;
}

// `inner` written over rows r0.., columns c0.. of a copy of `outer`.
inline RefMatrix Placed(RefMatrix outer, const RefMatrix& inner, int r0, int c0)
{
    for (int j = 0; j < inner.cols; ++j)
        for (int i = 0; i < inner.rows; ++i)
            outer(r0 + i, c0 + j) = inner(i, j);
    return outer;
}

class DenseTest : public zyltest::DatabaseTest {
protected:
    void TearDown() override
    {
        views.clear();
        zyltest::DatabaseTest::TearDown();
    }

    // A view of rows r0..r0+rows-1, columns c0..c0+columns-1 of a new random
    // parent one larger on every side, chunked rowChunk x columnChunk, with
    // its values in `values`; parent and view live until the test ends.
    ZylSrvDenseMatrix* RandomView(int rows, int columns, int rowChunk, int columnChunk, int r0, int c0,
                                  unsigned seed, RefMatrix& values, zyltest::MatrixSetup* parent = nullptr)
    {
        const zyltest::MatrixSetup s = MakeMatrix(r0 + rows + 1, c0 + columns + 1, rowChunk, columnChunk);
        if (parent != nullptr)
            *parent = s;
        values = FillRandom(s, seed).Block(r0, r0 + rows - 1, c0, c0 + columns - 1);
        views.push_back(std::make_unique<ZylSrvDenseMatrix>(s.id));
        views.emplace_back(views.back()->Submatrix(r0, r0 + rows - 1, c0, c0 + columns - 1));
        return views.back().get();
    }

    std::vector<std::unique_ptr<ZylSrvDenseMatrix>> views;
};

} // namespace densetest

#endif
