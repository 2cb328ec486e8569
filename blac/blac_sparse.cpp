// The sparse multiply kernels: compressed-row A times a block of dense
// column-major vectors, as y = A x, y = A^T x and y = (rows of A from a list)^T x.
//
// The vectors go through eight at a time, so that the sparse structure (the
// bulk of the memory traffic) is read once per eight vectors and the eight
// running sums or scattered updates stay in registers; the remaining one to
// seven vectors go through once more, by the instance of the same template for
// their count. Every instance adds each vector's terms in the same order
// (rows in order, stored positions in storage order), so a vector's result
// does not depend on which group it went through: nine vectors give the ninth
// bit for bit what a call with it alone gives.
//
// That promise also needs every product rounded before it is added. A fused
// multiply-add rounds once, and a compiler free to contract may fuse in one
// instance and not in another (register pressure differs with the count), so
// this file is compiled with -ffp-contract=off (top CMakeLists.txt).
#include <blac/blac.h>

#include <cstddef>
#include <type_traits>

namespace {

// Counts below are ints from the caller; a vector's offset in the block may
// pass 2^31 elements, so strides and offsets are computed in size_t.
using Size = std::size_t;

constexpr int kBlock = 8;

// y_v[i] = sum over the stored positions k of row i of values[k] * x_v[columns[k]],
// for the N vectors at x and y.
template <int N>
void ProductRows(const double* __restrict values, const unsigned int* __restrict rowOffsets,
                 const int* __restrict columns, const double* x, Size xStride, double* y, Size yStride,
                 int numRows)
{
    const double* __restrict xv[N];
    double* __restrict yv[N];
    for (int v = 0; v < N; ++v) {
        xv[v] = x + v * xStride;
        yv[v] = y + v * yStride;
    }
    // Positions run in size_t: a 32-bit counter would have to be widened on
    // every access, since it might wrap.
    Size k = rowOffsets[0];
    for (int i = 0; i < numRows; ++i) {
        double s[N];
        for (int v = 0; v < N; ++v)
            s[v] = 0.0;
        const Size end = rowOffsets[i + 1];
        for (; k < end; ++k) {
            const double a = values[k];
            const int c = columns[k];
            for (int v = 0; v < N; ++v)
                s[v] += a * xv[v][c];
        }
        for (int v = 0; v < N; ++v)
            yv[v][i] = s[v];
    }
}

// y_v = 0, then for p = 0 .. count - 1 with row r = p (or rowList[p]):
// y_v[columns[k]] += x_v[p] * values[k] over the stored positions k of row r.
template <int N, bool Listed>
void ScatterRows(const double* __restrict values, const unsigned int* __restrict rowOffsets,
                 const int* __restrict columns, const double* x, Size xStride, double* y, Size yStride,
                 int count, int numColumns, const unsigned int* __restrict rowList)
{
    const double* __restrict xv[N];
    double* __restrict yv[N];
    for (int v = 0; v < N; ++v) {
        xv[v] = x + v * xStride;
        yv[v] = y + v * yStride;
        // Zeroed right before the scatter, so the columns are still in cache.
        for (int c = 0; c < numColumns; ++c)
            yv[v][c] = 0.0;
    }
    for (int p = 0; p < count; ++p) {
        const unsigned int r = Listed ? rowList[p] : static_cast<unsigned int>(p);
        double t[N];
        for (int v = 0; v < N; ++v)
            t[v] = xv[v][p];
        const Size end = rowOffsets[r + 1];
        for (Size k = rowOffsets[r]; k < end; ++k) {
            const double a = values[k];
            const int c = columns[k];
            for (int v = 0; v < N; ++v)
                yv[v][c] += t[v] * a;
        }
    }
}

// Runs call(count, firstVector) for every full group of eight vectors and
// once more for the remaining 1..7, the count as a compile-time constant.
template <class Call>
void ByGroups(int numVectors, Call call)
{
    int v = 0;
    for (; v + kBlock <= numVectors; v += kBlock)
        call(std::integral_constant<int, kBlock>(), v);
    switch (numVectors - v) {
    case 1: call(std::integral_constant<int, 1>(), v); break;
    case 2: call(std::integral_constant<int, 2>(), v); break;
    case 3: call(std::integral_constant<int, 3>(), v); break;
    case 4: call(std::integral_constant<int, 4>(), v); break;
    case 5: call(std::integral_constant<int, 5>(), v); break;
    case 6: call(std::integral_constant<int, 6>(), v); break;
    case 7: call(std::integral_constant<int, 7>(), v); break;
    default: break;
    }
}

template <bool Listed>
void Scatter(const double* values, const double* x, const unsigned int* rowOffsets, const int* columnIndices,
             double* y, int count, int numColumns, int numVectors, const unsigned int* rowList)
{
    if (numVectors <= 0)
        return;
    const Size xStride = count > 0 ? static_cast<Size>(count) : 0;
    const Size yStride = numColumns > 0 ? static_cast<Size>(numColumns) : 0;
    const int rows = count > 0 ? count : 0;
    const int cols = numColumns > 0 ? numColumns : 0;
    ByGroups(numVectors, [&](auto group, int v) {
        ScatterRows<decltype(group)::value, Listed>(values, rowOffsets, columnIndices, x + v * xStride, xStride,
                                                   y + v * yStride, yStride, rows, cols, rowList);
    });
}

} // namespace

extern "C" {

void BLAC_SPARSE_UMV(const double* values, const double* x, const unsigned int* rowOffsets,
                     const int* columnIndices, double* y, const int* numRows, const int* numColumns,
                     const int* numVectors)
{
    if (*numVectors <= 0 || *numRows <= 0)
        return;
    const Size xStride = *numColumns > 0 ? static_cast<Size>(*numColumns) : 0;
    const Size yStride = static_cast<Size>(*numRows);
    const int rows = *numRows;
    ByGroups(*numVectors, [&](auto group, int v) {
        ProductRows<decltype(group)::value>(values, rowOffsets, columnIndices, x + v * xStride, xStride,
                                            y + v * yStride, yStride, rows);
    });
}

void BLAC_SPARSE_UMTV(const double* values, const double* x, const unsigned int* rowOffsets,
                      const int* columnIndices, double* y, const int* numRows, const int* numColumns,
                      const int* numVectors)
{
    Scatter<false>(values, x, rowOffsets, columnIndices, y, *numRows, *numColumns, *numVectors, nullptr);
}

void BLAC_SPARSE_SPARSE_UMTV(const double* values, const double* x, const unsigned int* rowOffsets,
                             const int* columnIndices, double* y, const int* numListed, const int* numColumns,
                             const int* numVectors, const unsigned int* rowList)
{
    Scatter<true>(values, x, rowOffsets, columnIndices, y, *numListed, *numColumns, *numVectors, rowList);
}

} // extern "C"
