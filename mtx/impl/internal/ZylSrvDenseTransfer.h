#ifndef MTX_IMPL_INTERNAL_ZYLSRVDENSETRANSFER_H
#define MTX_IMPL_INTERNAL_ZYLSRVDENSETRANSFER_H
// The database side of a dense matrix's data access: its prepared transfer,
// and the copy of it that moves one rectangle.
#include <mtx/ZylSrvMatrix.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>

#include <cstdint>

namespace zyl_mtx {

// A transfer on `distribution` prepared for both directions without padding,
// owned on the foundation allocator.
mem_Unique<ZylDorvTransfer> NewPreparedTransfer(const ZylDorvDistribution& distribution);

// A copy of `prepared` bound to rows r0..r1 and columns c0..c1 of a matrix
// whose row 0 and column 0 sit at rowOffset and columnOffset of the
// collections of its CSets, the view checked. A one-dimensional matrix (null
// column CSet) has its rows on dimension 0 and its one column implied.
ZylDorvTransfer RectangleTransfer(const ZylDorvTransfer& prepared, ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet,
                                  int rowOffset, int columnOffset, int r0, int r1, int c0, int c1);

// The buffer a ZylSrvMatrix offers a transfer: all its stored values.
inline std::int64_t BufferBytes(const ZylSrvMatrix& matrix)
{
    return matrix.NumberOfStoredValues() * static_cast<std::int64_t>(sizeof(double));
}

} // namespace zyl_mtx

#endif
