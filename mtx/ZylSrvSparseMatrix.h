#ifndef MTX_ZYLSRVSPARSEMATRIX_H
#define MTX_ZYLSRVSPARSEMATRIX_H
// ZylSrvSparseMatrix: a real sparse matrix in compressed-row form.
//
// Building: construct with the known dimensions (or 0, 0), AddData any
// number of (row, column, value) triplets in any order and with repeats,
// EndAssembly (repeated positions are summed; stored values of 0.0 stay
// stored). To rebuild: BeginAssembly, AddData ..., EndAssembly. Triplets
// added while the matrix is assembled wait for the next assembly.
//
// Storage forms
//   General: row i holds values[k], columnIndices[k] for k = rowOffsets[i]
//   .. rowOffsets[i+1]-1, 0-based; no diagonal array. After EndAssembly the
//   columns of a row are strictly increasing.
//   Symmetric: a diagonal array of numRows values plus each off-diagonal
//   pair stored once, in either triangle; a stored (i, j, v) stands for
//   A(i, j) and A(j, i). Made by the symmetric imports, kept by Transpose,
//   Permute and PermuteInPlace.
//   The storage form is told by the diagonal array alone; `symmetry` records
//   what is known about the values (0 not yet known, 1 symmetric form,
//   2 known unsymmetric).
//
// Errors (source "mtx/impl/ZylSrvSparseMatrix"): ZylSrvMtxNoSymmetricTrue
// (201) from PermuteRows, SetColumnsToZero and MultiplyDense into an array on
// the symmetric form; ZylSrvMtxNoTranspose (211) from MultiplyDense into an
// array without transposition. Errors of the dense matrices and of the
// allocator pass through. Indices and permutations are not checked.
// An allocation failure leaves a matrix that can still be destroyed, with
// whatever arrays were already replaced.
//
// Where the documented contract stops, these are our decisions:
//   - numNonzeros in the symmetric form counts the stored off-diagonal values
//     plus numRows (the diagonal is always stored). Every walk over the
//     compressed arrays uses rowOffsets[numRows], never numNonzeros.
//   - An assembled matrix stays in use while added triplets wait, so AddData
//     keeps its arrays matching the dimensions it grows: a row beyond the
//     last adds empty rows, and a matrix in the symmetric form is first
//     rewritten as the same matrix in the general form (diagonal and both
//     triangles stored; `symmetry` 2, as AddData sets it). A later
//     EndAssembly releases any diagonal left by BeginAssembly. No matrix is
//     ever read as symmetric form without a diagonal of numRows values.
//   - EndAssembly first grows the dimensions to cover every pending triplet
//     (an import or EliminateTrivialColumns may have set smaller ones), and
//     refuses with ZylSrvMtxIllegalInput ("EndAssembly") more than 2^31 - 1
//     distinct positions; GetEntries refuses more than 2^31 - 1 entries
//     ("GetEntries"): the counts are ints.
//   - IsSymmetric does not record a positive answer for a general-form
//     matrix (it has no diagonal array, so it stays `symmetry` 0 and the
//     next call looks again); a negative answer is recorded as 2.
//   - FindNontrivialColumns and EliminateTrivialColumns refuse the symmetric
//     form with ZylSrvMtxNoSymmetricTrue (201): they would ignore the
//     diagonal and the mirrored half and renumber columns without rows.
//   - Every operation that reads the compressed arrays (the operations
//     below, Subtract's operands) refuses a matrix whose assembly is open
//     with ZylSrvMtxIllegalInput (206, the operation's name), instead of
//     reading arrays that BeginAssembly released.
//   - AddData refuses a row or column index of 2^31 - 1 or more with
//     ZylSrvMtxIllegalInput ("AddData"): the dimensions are ints. Subtract
//     refuses a receiver that is one of its operands the same way
//     ("Subtract"): BeginAssembly would release the operand's arrays.
#include <containers/cow_List.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/mem.h>
#include <platform/zyl_Export.h>

#include <cstddef>

class ZylSrvDenseMatrix;
class ZylSrvSystemDofDefinition;

struct ZYL_EXPORT ZylSrvSparseMatrixEntry {
    unsigned int row;
    unsigned int column;
    double value;
};

class ZYL_EXPORT ZylSrvSparseMatrix {
public:
    ZylSrvSparseMatrix(int numRows, int numColumns);
    ~ZylSrvSparseMatrix();
    ZylSrvSparseMatrix(const ZylSrvSparseMatrix&) = delete;
    ZylSrvSparseMatrix& operator=(const ZylSrvSparseMatrix&) = delete;

    /// Matrices live on the foundation allocator, arrays included. Transpose
    /// and Permute return new matrices that the caller releases with a plain
    /// `delete` (mem_Delete works as well); FindNontrivialRows,
    /// FindNontrivialColumns, EliminateTrivialColumns and GetEntries return
    /// new arrays that the caller releases with mem_Free.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
    static void* operator new[](std::size_t size);
    static void operator delete[](void* block) noexcept;

    // ---- storage and assembly --------------------------------------------
    void BeginAssembly();
    void AddData(unsigned int row, unsigned int column, double value);
    void EndAssembly();
    /// While an assembly is open there are no entries (pending triplets are
    /// not entries yet): count 0 and an empty array, released with mem_Free.
    ZylSrvSparseMatrixEntry* GetEntries(int& count) const;
    /// Answers from numNonzeros and the diagonal alone, so also while an
    /// assembly is open.
    bool IsNull() const;
    int NumberOfNonzeros() const { return numNonzeros; }
    int NumberOfRows() const { return numRows; }
    int NumberOfColumns() const { return numColumns; }
    ZylDorvCSetID RowCSetID() const { return rowCSetID; }
    ZylDorvCSetID ColumnCSetID() const { return columnCSetID; }

    // ---- operations ---------------------------------------------------------
    /// Multiply and both MultiplyDense forms write nothing when numNonzeros is
    /// 0, even while an assembly is open; otherwise an open assembly is refused.
    void Multiply(const double* x, int nvec, double* y, bool transpose) const;
    void MultiplyDense(const ZylSrvDenseMatrix& D, ZylSrvDenseMatrix& R, bool transpose) const;
    void MultiplyDense(const ZylSrvDenseMatrix& D, double* out, bool transpose) const;
    void Scale(double s);
    void Subtract(const ZylSrvSparseMatrix& A, const ZylSrvSparseMatrix& B);
    ZylSrvSparseMatrix* Transpose() const;
    ZylSrvSparseMatrix* Permute(const int* perm) const;
    void PermuteRows(const int* perm);
    void PermuteInPlace(const int* perm);
    bool IsSymmetric() const;
    unsigned int* FindNontrivialRows(int& count) const;
    unsigned int* FindNontrivialColumns(int& count) const;
    unsigned int* EliminateTrivialColumns(int& count);
    void SetColumnsToZero(const int* columns, int n);

    // ---- files and database drawers (format codes 0 to 7) --------------------
    void Import(const char* path, int format);
    void Import(ZylDorvDistributionID distribution);
    void Export(const char* path, int format, const ZylSrvSystemDofDefinition* dofs = nullptr) const;
    void Export(ZylDorvCSetID rows, ZylDorvCSetID columns, ZylDorvDistributionID distribution) const;
    // Matrix Market coordinate files, for exchange with other tools.
    void ImportMatrixMarket(const char* path);
    void ExportMatrixMarket(const char* path) const;

private:
    friend class ZylSrvSparseImExPorter;
    friend struct ZylSrvSparseMatrixInspector; // test access to the arrays

    ZylSrvSparseMatrix(unsigned int* rowOffsets, int* columnIndices, double* values, double* diagonal,
                       int numNonzeros, int numRows, int numColumns);
    // A new assembled matrix that takes the arrays over; nothing is owned by
    // no one if the allocation of the object fails.
    static ZylSrvSparseMatrix* Adopt(mem_Array<unsigned int>& rowOffsets, mem_Array<int>& columnIndices,
                                     mem_Array<double>& values, mem_Array<double>& diagonal, int numNonzeros,
                                     int numRows, int numColumns);
    void ResetData(const ZylSrvSparseMatrixEntry* entries, int count, int numRows, int numColumns);
    bool MirrorMatches(int row, int column, double b) const;
    void KeepArraysValidFor(unsigned int row);
    void MultiplyIndexed(const double* x, int nvec, double* y, bool transpose, int count,
                         const unsigned int* rows) const;

    cow_List<ZylSrvSparseMatrixEntry> pendingEntries;
    double* values = nullptr;
    int* columnIndices = nullptr;
    unsigned int* rowOffsets = nullptr;
    double* diagonal = nullptr;
    int numNonzeros = 0;
    int numRows = 0;
    int numColumns = 0;
    mutable int symmetry = 0;
    bool isAssembled = false;
    ZylDorvCSetID rowCSetID;
    ZylDorvCSetID columnCSetID;
};

#endif
