#ifndef MTX_IMPL_INTERNAL_ZYLSRVSCRATCHCHUNKS_H
#define MTX_IMPL_INTERNAL_ZYLSRVSCRATCHCHUNKS_H
// The chunk sizes of a distribution made for a scratch matrix (or a matrix of
// the container): the asked block sizes, no longer than the sides, lowered so
// that no drawer exceeds 2 GiB. A side asked whole (-1) stays -1 and escapes
// that bound.
#include <mtx/ZylSrvUtilities.h>

#include <algorithm>

namespace zyl_mtx {

struct ChunkSizes {
    int rows;
    int columns;
};

inline ChunkSizes ScratchChunkSizes(int numRows, int numColumns, int rowBlockSize, int columnBlockSize)
{
    ChunkSizes chunks{std::min(numRows, rowBlockSize), std::min(numColumns, columnBlockSize)};
    ZylSrvUtilities::LimitChunkSize2GB(chunks.rows, chunks.columns, numRows, numColumns);
    return chunks;
}

} // namespace zyl_mtx

#endif
