#ifndef MTX_IMPL_INTERNAL_ZYLSRVSPARSEBINARY_H
#define MTX_IMPL_INTERNAL_ZYLSRVSPARSEBINARY_H
// The binary layouts of sparse matrices: the readers of format codes 0
// (Fortran records), 1 (header-described), 6 (symmetric, chunked) and 7
// (dense), the writers of 6 and 7, and the structure check that every reader
// of compressed rows applies.
//
// Readers trust nothing in the file. Each size in a header is checked
// against the bytes the file really has before anything is allocated, every
// row offset and column index against the declared dimensions, every Fortran
// record's two length words against each other. A malformed file is refused
// with ZylSrvMtxOpenFileException (202) whose Detail() names the field, its
// byte offset, what was expected and what was found; a file that does not
// open gets the same error without a detail. The results are new arrays:
// nothing of a matrix is touched here.
//
// Writers open the file write-only, creating it with mode 0644 and without
// truncating an existing one (a longer old file keeps its tail). A file that
// cannot be created raises ZylSrvMtxOpenFileException; a failed write
// ZylSrvMtxFileWriteFailure (208) with the path. Source of every error:
// "mtx/impl/ZylSrvSparseImExPorter", with this file's implementation as the
// site of the raise.
#include <mtx/impl/internal/ZylSrvSparseText.h>
#include <platform/mem.h>

#include <cstdint>
#include <string>

namespace zyl_mtx {

// Arrays for numRows rows and m stored values (and a diagonal when symmetric),
// dimensions set; the contents are left to the reader.
ReadArrays AllocateReadArrays(int numRows, int numColumns, std::int64_t m, bool symmetric);

// Format 1 gives the symmetric form (one value set) or, for an unsymmetric
// matrix on a symmetric pattern (two value sets), the triplets to assemble.
struct HeaderDescribed {
    bool twoValueSets = false;
    ReadArrays symmetric;
    TextTriplets triplets;
};

// The Fortran unit that format 0 reads through; one import at a time holds it.
inline constexpr int kFortranRecordUnit = 81;
inline constexpr int kSymmetricChunk = 1 << 17; // entries per chunk of format 6

ReadArrays ReadFortranRecords(const char* path);   // 0
HeaderDescribed ReadHeaderDescribed(const char* path); // 1
ReadArrays ReadBinarySymmetric(const char* path);  // 6
ReadArrays ReadBinaryDense(const char* path);      // 7

void WriteBinarySymmetric(const char* path, const SparseArrays& a); // 6; a.diagonal must be set
void WriteBinaryDense(const char* path, const SparseArrays& a);     // 7

// The first thing that keeps `offsets` (numRows + 1 entries) from running
// from 0 to m without decreasing, or a column index from lying in
// 0 .. numColumns-1; empty when there is none. `byteBase` is the file offset
// of the first item (-1: not from a file), `first` the number of the first
// column index in the whole array.
std::string CheckRowOffsets(const unsigned int* offsets, int numRows, std::int64_t m, std::int64_t byteBase);
std::string CheckColumnIndices(const int* columns, std::int64_t first, std::int64_t count, int numColumns,
                               std::int64_t byteBase);

} // namespace zyl_mtx

#endif
