#ifndef MTX_ZYLSRVSPARSEMATRIX_H
#define MTX_ZYLSRVSPARSEMATRIX_H
/// \file
/// The ZylSrvSparseMatrix class.

/// \class ZylSrvSparseMatrix
/// \ingroup sparse
/// ZylSrvSparseMatrix: a real sparse matrix in compressed-row form.
///
/// Building: construct with the known dimensions (or 0, 0), AddData any
/// number of (row, column, value) triplets in any order and with repeats,
/// EndAssembly (repeated positions are summed; stored values of 0.0 stay
/// stored). To rebuild: BeginAssembly, AddData ..., EndAssembly. Triplets
/// added while the matrix is assembled wait for the next assembly.
///
/// Storage forms
///   General: row i holds values[k], columnIndices[k] for k = rowOffsets[i]
///   .. rowOffsets[i+1]-1, 0-based; no diagonal array. After EndAssembly the
///   columns of a row are strictly increasing.
///   Symmetric: a diagonal array of numRows values plus each off-diagonal
///   pair stored once, in either triangle; a stored (i, j, v) stands for
///   A(i, j) and A(j, i). Made by the symmetric imports, kept by Transpose,
///   Permute and PermuteInPlace.
///   The storage form is told by the diagonal array alone; `symmetry` records
///   what is known about the values (0 not yet known, 1 symmetric form,
///   2 known unsymmetric).
///
/// Errors (source "mtx/impl/ZylSrvSparseMatrix"): ZylSrvMtxNoSymmetricTrue
/// (201) from PermuteRows, SetColumnsToZero and MultiplyDense into an array on
/// the symmetric form; ZylSrvMtxNoTranspose (211) from MultiplyDense into an
/// array without transposition. Errors of the dense matrices and of the
/// allocator pass through. Indices and permutations are not checked.
/// An allocation failure leaves a matrix that can still be destroyed, with
/// whatever arrays were already replaced.
///
/// Where the documented contract stops, these are our decisions:
///   - numNonzeros in the symmetric form counts the stored off-diagonal values
///     plus numRows (the diagonal is always stored). Every walk over the
///     compressed arrays uses rowOffsets[numRows], never numNonzeros.
///   - An assembled matrix stays in use while added triplets wait, so AddData
///     keeps its arrays matching the dimensions it grows: a row beyond the
///     last adds empty rows, and a matrix in the symmetric form is first
///     rewritten as the same matrix in the general form (diagonal and both
///     triangles stored; `symmetry` 2, as AddData sets it). A later
///     EndAssembly releases any diagonal left by BeginAssembly. No matrix is
///     ever read as symmetric form without a diagonal of numRows values.
///   - EndAssembly first grows the dimensions to cover every pending triplet
///     (an import or EliminateTrivialColumns may have set smaller ones), and
///     refuses with ZylSrvMtxIllegalInput ("EndAssembly") more than 2^31 - 1
///     distinct positions; GetEntries refuses more than 2^31 - 1 entries
///     ("GetEntries"): the counts are ints.
///   - IsSymmetric does not record a positive answer for a general-form
///     matrix (it has no diagonal array, so it stays `symmetry` 0 and the
///     next call looks again); a negative answer is recorded as 2.
///   - FindNontrivialColumns and EliminateTrivialColumns refuse the symmetric
///     form with ZylSrvMtxNoSymmetricTrue (201): they would ignore the
///     diagonal and the mirrored half and renumber columns without rows.
///   - Every operation that reads the compressed arrays (the operations
///     below, Subtract's operands) refuses a matrix whose assembly is open
///     with ZylSrvMtxIllegalInput (206, the operation's name), instead of
///     reading arrays that BeginAssembly released.
///   - AddData refuses a row or column index of 2^31 - 1 or more with
///     ZylSrvMtxIllegalInput ("AddData"): the dimensions are ints. Subtract
///     refuses a receiver that is one of its operands the same way
///     ("Subtract"): BeginAssembly would release the operand's arrays.
#include <containers/cow_List.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/mem.h>
#include <platform/zyl_Export.h>

#include <cstddef>

class ZylSrvDenseMatrix;
class ZylSrvSystemDofDefinition;

/// \ingroup sparse
/// One (row, column, value) triplet, indices from 0.
struct ZYL_EXPORT ZylSrvSparseMatrixEntry {
    unsigned int row;    ///< row index
    unsigned int column; ///< column index
    double value;        ///< the value at (row, column)
};

class ZYL_EXPORT ZylSrvSparseMatrix {
public:
    /// An empty matrix of the known dimensions (or 0, 0), in the general form.
    ZylSrvSparseMatrix(int numRows, int numColumns);
    ~ZylSrvSparseMatrix();
    ZylSrvSparseMatrix(const ZylSrvSparseMatrix&) = delete;
    ZylSrvSparseMatrix& operator=(const ZylSrvSparseMatrix&) = delete;

    /// Matrices live on the foundation allocator, arrays included. Transpose
    /// and Permute return new matrices that the caller releases with a plain
    /// `delete` (mem_Delete works as well); FindNontrivialRows,
    /// FindNontrivialColumns, EliminateTrivialColumns and GetEntries return
    /// new arrays that the caller releases with mem_Free.
    ///@{
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
    static void* operator new[](std::size_t size);
    static void operator delete[](void* block) noexcept;
    ///@}

    // ---- storage and assembly --------------------------------------------
    /// Opens a new assembly: releases the compressed arrays; the triplets
    /// added next, and those waiting, make the matrix at EndAssembly.
    void BeginAssembly();
    /// Adds the triplet (row, column, value); repeated positions are summed at
    /// EndAssembly. A row or column beyond the dimensions grows them.
    void AddData(unsigned int row, unsigned int column, double value);
    /// Builds the compressed arrays from the waiting triplets (see Building).
    void EndAssembly();
    /// Every stored value as a triplet, count of them, in a new array the
    /// caller releases with mem_Free. While an assembly is open there are no
    /// entries (pending triplets are not entries yet): count 0 and an empty
    /// array, released with mem_Free all the same.
    ZylSrvSparseMatrixEntry* GetEntries(int& count) const;
    /// True when the matrix stores no value besides a diagonal of zeros.
    /// Answers from numNonzeros and the diagonal alone, so also while an
    /// assembly is open.
    bool IsNull() const;
    /// Stored values (in the symmetric form: off-diagonal values plus numRows).
    int NumberOfNonzeros() const { return numNonzeros; }
    /// Rows of the matrix.
    int NumberOfRows() const { return numRows; }
    /// Columns of the matrix.
    int NumberOfColumns() const { return numColumns; }
    /// The CSet of the rows, set by the database import (else null).
    ZylDorvCSetID RowCSetID() const { return rowCSetID; }
    /// The CSet of the columns, set by the database import (else null).
    ZylDorvCSetID ColumnCSetID() const { return columnCSetID; }

    // ---- operations ---------------------------------------------------------
    /// y := A x (A^T x with transpose) for nvec column-major vectors, on the
    /// sparse kernels. Multiply and both MultiplyDense forms write nothing
    /// when numNonzeros is 0, even while an assembly is open; otherwise an
    /// open assembly is refused (206).
    void Multiply(const double* x, int nvec, double* y, bool transpose) const;
    /// R := A D (A^T D with transpose) for dense matrices in the database.
    void MultiplyDense(const ZylSrvDenseMatrix& D, ZylSrvDenseMatrix& R, bool transpose) const;
    /// out := A^T D into a column-major array; transpose must be set and the
    /// matrix in the general form (errors 211 and 201).
    void MultiplyDense(const ZylSrvDenseMatrix& D, double* out, bool transpose) const;
    /// Every stored value times s.
    void Scale(double s);
    /// this := A - B, assembled anew.
    void Subtract(const ZylSrvSparseMatrix& A, const ZylSrvSparseMatrix& B);
    /// A new matrix, the transpose of this one (symmetric form kept).
    ZylSrvSparseMatrix* Transpose() const;
    /// A new matrix with rows and columns permuted: its entry (k, l) is
    /// entry (perm[k], perm[l]) of this matrix (symmetric form kept).
    ZylSrvSparseMatrix* Permute(const int* perm) const;
    /// Row i moves to row perm[i]; the general form only (error 201).
    void PermuteRows(const int* perm);
    /// The same as Permute, in this matrix.
    void PermuteInPlace(const int* perm);
    /// Exact symmetry test (see the decisions above for what is recorded).
    bool IsSymmetric() const;
    /// The rows holding at least one stored value, count of them, in a new
    /// array the caller releases with mem_Free.
    unsigned int* FindNontrivialRows(int& count) const;
    /// The columns holding at least one stored value, count of them, in a new
    /// array the caller releases with mem_Free; the general form only.
    unsigned int* FindNontrivialColumns(int& count) const;
    /// Drops the columns without stored values and renumbers the others;
    /// returns the kept old column numbers, count of them, in a new array the
    /// caller releases with mem_Free. The general form only.
    unsigned int* EliminateTrivialColumns(int& count);
    /// Sets the stored values of columns[0 .. n-1] to 0.0 (they stay stored);
    /// the general form only (error 201).
    void SetColumnsToZero(const int* columns, int n);

    // ---- files and database drawers (format codes 0 to 7) --------------------
    /// Replaces the matrix by the one in the file at path, in layout format.
    void Import(const char* path, int format);
    /// Replaces the matrix by the one held in a database distribution.
    void Import(ZylDorvDistributionID distribution);
    /// Writes the matrix to the file at path in layout format; dofs, when
    /// given, labels the rows and columns.
    void Export(const char* path, int format, const ZylSrvSystemDofDefinition* dofs = nullptr) const;
    /// Writes the matrix into a database distribution over rows x columns.
    void Export(ZylDorvCSetID rows, ZylDorvCSetID columns, ZylDorvDistributionID distribution) const;
    /// Replaces the matrix by the one in the Matrix Market file at path, in
    /// the general form; the same as ImportMatrixMarket(path, false).
    void ImportMatrixMarket(const char* path);
    /// Replaces the matrix by the one in the Matrix Market file at path.
    /// Read: `coordinate` and `array`; `real`, `integer` and `pattern`
    /// (entries 1.0); `general`, `symmetric`, `skew-symmetric` (the negated
    /// mirror stored) and `hermitian` (of real values, the same as
    /// symmetric). An array stores its values except zeros (+-0.0); repeated
    /// entries are summed. With keepSymmetric, `symmetric` and `hermitian`
    /// files are kept in the symmetric form (a diagonal of numRows values, each
    /// off-diagonal pair once, an entry above the diagonal stored as its mirror,
    /// numNonzeros the stored off-diagonal values plus numRows), so they export
    /// to format 6; other files, and every file without it, give the general
    /// form (a symmetric file's pairs stored at both places). Complex values,
    /// `vector` files, a nonzero on a skew-symmetric diagonal and malformed
    /// files are refused with ZylSrvMtxOpenFileException (202), whose
    /// Detail() names the line, the byte offset, what was expected and what
    /// was found; the matrix is then unchanged. Lines may end in LF, CR LF
    /// or a bare CR; blank lines may come before the banner, blank and '%'
    /// comment lines anywhere after it. The file is read in blocks straight
    /// into the compressed arrays (twice when its rows are not in order), so
    /// the import holds little beyond the arrays themselves.
    void ImportMatrixMarket(const char* path, bool keepSymmetric);
    /// Writes the matrix to a Matrix Market coordinate file: the general form
    /// as `general`, the symmetric form as `symmetric` (its diagonal values of
    /// 0.0 are not written, so the file reads back as the same matrix).
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
