#ifndef MTX_IMPL_INTERNAL_ZYLSRVSPARSETEXT_H
#define MTX_IMPL_INTERNAL_ZYLSRVSPARSETEXT_H
// The text layouts of sparse matrices: the triplet readers (format codes 2
// and 3), the text writers (codes 3, 4 and 5) and Matrix Market in both
// directions. The import/export dispatch (ZylSrvSparseImExPorter) calls these;
// they know nothing of the matrix object, only of its arrays.
//
// Readers refuse what they cannot use with ZylSrvMtxOpenFileException (202):
// without a detail when the file does not open, with one (what is wrong and
// where) when it is malformed. Writers raise ZylSrvMtxOpenFileException when
// the output cannot be created and ZylSrvMtxFileWriteFailure (208, the path as
// detail) when a write fails. Source "mtx/impl/ZylSrvSparseImExPorter", with
// this file's implementation as the site of the raise.
#include <mtx/ZylSrvSparseMatrix.h>
#include <platform/mem.h>

class ZylSrvSystemDofDefinition;

namespace zyl_mtx {

// The compressed arrays of a matrix, as the writers read them.
struct SparseArrays {
    const unsigned int* rowOffsets;
    const int* columnIndices;
    const double* values;
    const double* diagonal; // null in the general form
    int numRows;
    int numColumns;
};

// Triplets read from a file, 0-based, every one inside numRows x numColumns.
struct TextTriplets {
    mem_Array<ZylSrvSparseMatrixEntry> entries;
    int count = 0;
    int numRows = 0;
    int numColumns = 0;
};

// Compressed arrays read from a file, not yet any matrix's.
struct ReadArrays {
    mem_Array<unsigned int> rowOffsets;
    mem_Array<int> columnIndices;
    mem_Array<double> values;
    mem_Array<double> diagonal; // not allocated in the general form
    int numRows = 0;
    int numColumns = 0;
    int numNonzeros = 0;
};

// Codes 2 ("rb") and 3 ("r"): whitespace-separated 1-based "row column
// value" triplets; the dimensions are the largest row and column numbers.
TextTriplets ReadTextTriplets(const char* path, bool binaryMode);
// "%%MatrixMarket matrix coordinate|array real|integer|pattern
// general|symmetric|skew-symmetric|hermitian" (what is taken and refused: the
// reader's notes). Pattern entries are 1.0; an array's zeros are not stored.
// A symmetric or hermitian file comes back with both triangles, or in the
// symmetric form with keepSymmetric; a skew-symmetric one always with both,
// the mirror negated. Lines may end in "\n", "\r\n" or a bare "\r"; blank
// lines before the banner are skipped. The file is read in blocks straight
// into the arrays, rows sorted and repeats summed: besides the arrays (sized
// by the entries, mirrored ones included, before repeats are summed) it
// holds a block of lines and a row sort's scratch.
ReadArrays ReadMatrixMarket(const char* path, bool keepSymmetric);

void WriteTriplets1Based(const char* path, const SparseArrays& a);                                  // code 3
void WriteNodeDofText(const char* path, const SparseArrays& a, const ZylSrvSystemDofDefinition& dofs); // code 4
void WriteZeroBasedText(const char* path, const SparseArrays& a);                                   // code 5
// The symmetric form as "symmetric", its diagonal's zeros left out.
void WriteMatrixMarket(const char* path, const SparseArrays& a);

} // namespace zyl_mtx

#endif
