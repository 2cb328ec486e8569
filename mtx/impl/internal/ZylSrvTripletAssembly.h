#ifndef MTX_IMPL_INTERNAL_ZYLSRVTRIPLETASSEMBLY_H
#define MTX_IMPL_INTERNAL_ZYLSRVTRIPLETASSEMBLY_H
// Turning the pending triplets of a sparse matrix into compressed rows.
//
// The triplets are ordered where they lie: a counting pass by row, a
// cycle-leader permutation of the list into bands of rows (a few hundred,
// each of about 64 Ki triplets, so the permutation's write positions stay in
// cache), then band by band a counting sort into rows through a band-sized
// buffer, the repeats of a column summed (through a column-to-slot map) and
// the distinct columns sorted and written back where the row starts. No flat
// copy of the triplets is made: the peak is the list plus the compressed
// arrays plus a band's triplets and scratch of the order of the number of
// rows and columns.
//
// The list always holds the same sums at the same positions: a summed run
// leaves its used-up slots as -0.0 at one of the run's positions (x + -0.0
// is x for every x, -0.0 included). So when an allocation fails part way,
// the list is still a faithful pending list and a later assembly gives the
// same matrix.
#include <containers/cow_List.h>
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/mem.h>

namespace zyl_mtx {

struct CompressedRows {
    mem_Array<unsigned int> rowOffsets;
    mem_Array<int> columnIndices;
    mem_Array<double> values;
};

// The dimensions are first grown to cover every triplet (triplets that waited
// through an import may lie outside). More than 2^31 - 1 distinct positions
// are refused (ZylSrvMtxIllegalInput, "EndAssembly"). The list is left
// reordered (not emptied); the caller empties it once it owns the result.
CompressedRows AssembleTriplets(cow_List<ZylSrvSparseMatrixEntry>& list, int& numRows, int& numColumns);

} // namespace zyl_mtx

#endif
