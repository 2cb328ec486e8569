#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVBOXWALK_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVBOXWALK_H
// Private to platform/dorv: boxes of n-dimensional arrays (last dimension
// fastest), walked as the fewest contiguous byte runs.
#include <hdf5.h>

#include <cstddef>
#include <vector>

namespace zyl_dorv {

// Walks the box `extent` lying at `offsetA` of an array of shape `shapeA` and
// at `offsetB` of an array of shape `shapeB` (items of `item` bytes, last
// dimension fastest), as the longest runs contiguous in both: calls
// visit(byte offset in A, byte offset in B, run length in bytes) per run.
template <class Visit>
void ForEachRun(const std::vector<hsize_t>& shapeA, const std::vector<hsize_t>& offsetA,
                const std::vector<hsize_t>& shapeB, const std::vector<hsize_t>& offsetB,
                const std::vector<hsize_t>& extent, std::size_t item, Visit visit)
{
    const std::size_t rank = extent.size();
    // Fold trailing dimensions that both arrays hold whole into one run.
    std::size_t inner = rank - 1;
    std::size_t run = extent[inner] * item;
    while (inner > 0 && extent[inner] == shapeA[inner] && extent[inner] == shapeB[inner]) {
        --inner;
        run *= extent[inner];
    }
    std::vector<std::size_t> strideA(rank), strideB(rank);
    strideA[rank - 1] = item;
    strideB[rank - 1] = item;
    for (std::size_t k = rank - 1; k > 0; --k) {
        strideA[k - 1] = strideA[k] * shapeA[k];
        strideB[k - 1] = strideB[k] * shapeB[k];
    }
    std::size_t baseA = 0, baseB = 0;
    for (std::size_t k = 0; k < rank; ++k) {
        baseA += offsetA[k] * strideA[k];
        baseB += offsetB[k] * strideB[k];
    }
    // Iterate over dimensions 0 .. inner-1 (the run covers inner .. rank-1).
    std::vector<hsize_t> index(inner, 0);
    for (;;) {
        std::size_t a = baseA, b = baseB;
        for (std::size_t k = 0; k < inner; ++k) {
            a += index[k] * strideA[k];
            b += index[k] * strideB[k];
        }
        visit(a, b, run);
        std::size_t k = inner;
        bool more = false;
        while (k > 0) {
            --k;
            if (++index[k] < extent[k]) {
                more = true;
                break;
            }
            index[k] = 0;
        }
        if (!more)
            return;
    }
}

// Copies the box `extent` at `fromOffset` of an array of shape `fromShape`
// to `toOffset` of an array of shape `toShape`.
void CopyBox(const unsigned char* from, const std::vector<hsize_t>& fromShape, const std::vector<hsize_t>& fromOffset,
             unsigned char* to, const std::vector<hsize_t>& toShape, const std::vector<hsize_t>& toOffset,
             const std::vector<hsize_t>& extent, std::size_t item);

// Sets the box `extent` at `offset` of an array of shape `shape` to the item `value`.
void FillBox(unsigned char* array, const std::vector<hsize_t>& shape, const std::vector<hsize_t>& offset,
             const std::vector<hsize_t>& extent, const unsigned char* value, std::size_t item);

} // namespace zyl_dorv

#endif
