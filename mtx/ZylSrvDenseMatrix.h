#ifndef MTX_ZYLSRVDENSEMATRIX_H
#define MTX_ZYLSRVDENSEMATRIX_H
/// \file
/// The ZylSrvDenseMatrix class.

/// \class ZylSrvDenseMatrix
/// \ingroup outofcore
/// ZylSrvDenseMatrix: a dense matrix of doubles whose values live in a
/// distribution of the DORV database, so that it may be larger than memory.
///
/// The object holds no values. It holds a handle to the distribution, the
/// CSets that order its rows and columns, and a block geometry taken from the
/// chunking of the distribution's drawer 0. Every access to values is one
/// database transfer of one rectangle into or out of a ZylSrvMatrix used as a
/// staging buffer; composite operations and products move one block, or one
/// band of blocks, at a time, so no staging buffer is larger than one band
/// (except where a whole-matrix result is asked for: CopyRowsToMemory,
/// GetAllValues and the packed triangles).
///
/// Layout
///   Two-dimensional distribution: dimension 1 the rows, dimension 0 the
///   columns. One-dimensional distribution: dimension 0 the rows, and the
///   matrix has exactly one column (column 0); its column CSet stays null.
///   Block 0 and the last block of a side may be short; every other block
///   holds the per-block count (the drawer's chunk size, or the whole side
///   when the drawer is not chunked).
///   Row r of a view is row r + rowOffset of the distribution's row
///   ordinals; likewise for columns. A view shares its parent's distribution
///   and its blocks coincide with the parent's, cut at the ends. Views of
///   views compose. Deleting a matrix leaves its distribution and values in
///   the database.
///
/// Buffers
///   A range r0..r1 x c0..c1 travels packed column-major: value (r, c) sits at
///   index (r - r0) + (r1 - r0 + 1) * (c - c0) of the ZylSrvMatrix's value
///   array, whatever that matrix's own shape. A transfer never resizes the
///   ZylSrvMatrix; it declares the matrix's stored values as the buffer, which
///   must hold at least the range (the database refuses a smaller one).
///
/// Errors
///   GetValues raises ZylSrvMtxInvalidGetRange (203) and SetValues
///   ZylSrvMtxInvalidSetRange (204) for a range outside the matrix, before
///   anything is read or written; every composite operation and product fails
///   through these two checks when shapes disagree. SetValues turns a database
///   write failure with error number 70 into ZylSrvMtxFileWriteFailure (208,
///   detail "ZylSrvDenseMatrix::SetValues", a line end and the database's
///   description of the failure) and does not report any other database error
///   number (the range then keeps whatever the database holds). Every other
///   database error passes through as ZylDorvException; allocation failures as
///   the allocator's exception. Staging memory is released on every path.
///   ExtendDim reports by status number (see there).
///   Products do not check that operand shapes agree; output ZylSrvMatrix
///   objects and arrays are used as given, never resized.
///
/// Where the documented contract stops, these are our decisions (each raises
/// ZylSrvMtxIllegalInput, number 206, message
/// "ZylSrvMatrix::<operation> - Illegal input.", before anything changes):
///   - AttachDistribution (and so both public constructors) refuses a
///     distribution whose values are not doubles (every transfer moves
///     doubles), one without a drawer, or whose drawer has a side with no
///     members (chunked or not) or a per-block size below 1: such a side has
///     no block to compute with ("AttachDistribution"). The matrix is left as
///     it was.
///   - Submatrix / the view constructor refuse a range that does not lie
///     inside the parent (0 <= first <= last < count on both sides), since a
///     cut CSet would otherwise read past the parent's members ("Submatrix").
///     A one-dimensional matrix has exactly one column, column 0: a view of it
///     must use the column range 0..0; any other column range is refused the
///     same way. The view of a one-dimensional matrix is again a one-column
///     matrix with a null column CSet.
///   - The packed triangles (GetUpperValues, GetLowerValues,
///     GetSymmetricValues) refuse a matrix that is not square, with their own
///     names as operation.
///   - The composite operations check their whole range before the first
///     transfer and raise the range errors of GetValues (203) and SetValues
///     (204), so a shape mismatch writes nothing (the block loops would
///     otherwise fail halfway, or quietly, where the database refuses a write
///     buffer and SetValues does not report it): GetSubmatrix needs its range
///     inside this matrix and a destination with no more rows than the range
///     (203); CopyValues a source with this matrix's row count and at most its
///     column count (204); CopyMappedRows a source with at most this matrix's
///     column count (204); AddAssign a B at least as large as this matrix
///     (203).
/// And these, which raise nothing:
///   - ExtendDim on the column side (dim 0) of a one-dimensional matrix
///     returns 3 (no column collection to extend) and creates nothing. A
///     negative count with members reaches the database, which refuses it.
///     The grown CSet and the fresh transfer are made before the drawer
///     grows, and the extension runs on a copy of the prepared transfer, so a
///     database or allocation failure leaves matrix and drawer as they were
///     (apart from CSets already made) and a retry works.
///   - CopyMappedRows with clear == false: destination rows that have no
///     source row keep their old values (the band of this matrix is read
///     before it is overwritten, which happens only when such rows exist).
///   - IndexedMultiply accepts any row index list. A group whose source rows
///     are consecutive and ascending is read with one transfer; any other
///     group is split into maximal runs of consecutive ascending source rows,
///     each read with its own transfer and multiplied into its place in the
///     group's result, which is still written with one transfer. Runs are
///     never longer than their group, so the buffers of the longest group
///     suffice. A group with no rows is skipped.
///   - Objects made by Submatrix (and any made with new) come from the
///     foundation allocator through the class allocation operators.
///   - The dense-by-dense product into a dense matrix sizes its bands from
///     its memory budget, and its staging from the largest band actually
///     used (a view with a short first block has bands larger than block 0
///     times the band's block count).
#include <mtx/ZylSrvMatrix.h>
#include <platform/mem.h>
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/dorv/ZylDorvReadAhead.h>
#include <platform/zyl_Export.h>

class ZylDorvTransfer;
namespace zyl_mtx {
struct BlockGeometry;
}

class ZYL_EXPORT ZylSrvDenseMatrix : public mem_AllocationOperators {
public:
    /// A null matrix: null distribution handle, all counts 0, no transfer,
    /// null CSets.
    ZylSrvDenseMatrix();
    /// Opens and attaches the distribution, unless the ID is null (then the
    /// matrix stays null).
    explicit ZylSrvDenseMatrix(ZylDorvDistributionID distributionID);
    /// Attaches the given distribution.
    explicit ZylSrvDenseMatrix(ZylDorvDistribution distribution);
    ZylSrvDenseMatrix(const ZylSrvDenseMatrix&) = delete;
    ZylSrvDenseMatrix& operator=(const ZylSrvDenseMatrix&) = delete;

    // ---- virtual operations, in slot order ---------------------------------
    /// (1) Deletes the prepared transfer and releases the handle; the
    ///    distribution and its values stay in the database.
    virtual ~ZylSrvDenseMatrix();
    ///@{
    /// (2, 3) The CSets that order the rows and the columns (the column CSet
    ///    of a one-dimensional matrix is null).
    virtual ZylDorvCSetID RowCSetID() const;
    virtual ZylDorvCSetID ColumnCSetID() const;
    ///@}
    /// (4) A view of rows firstRow..lastRow and columns firstColumn..lastColumn
    ///    (inclusive, in this matrix's coordinates), made on the heap; the
    ///    caller deletes it. See the decisions above for the ranges accepted.
    virtual ZylSrvDenseMatrix* Submatrix(int firstRow, int lastRow, int firstColumn, int lastColumn) const;

    // With A this m x k matrix. Arrays are column-major with their row count
    // as leading dimension.
    /// (5) Y += A * X; X is k x nrhs, Y is m x nrhs.
    virtual void Multiply(const double* X, int nrhs, double* Y) const;
    /// (6) C = A * B; C must be m x (columns of B).
    virtual void Multiply(const ZylSrvMatrix& B, ZylSrvMatrix& C) const;
    /// (7) C = A * B into an m x n array; B is a k x n dense matrix. Each
    ///    block product is accumulated straight into C (one DGEMM with beta 1)
    ///    instead of through a cleared product block added afterwards: the
    ///    same sums without the extra block and its copy loop.
    virtual void Multiply(const ZylSrvDenseMatrix* B, double* C) const;
    /// (8) C = A * B, all three in the database.
    virtual void Multiply(const ZylSrvDenseMatrix& B, ZylSrvDenseMatrix& C) const;
    /// (9) C = alpha * A * B + beta * C. C is not read when beta is 0.0 (a NaN
    ///    beta counts as non-zero); columns of C past those of B then keep
    ///    their values, as DGEMM leaves them (a B without columns writes
    ///    nothing). A diagonal B scales the columns of A.
    virtual void Multiply(double alpha, const ZylSrvMatrix& B, double beta, ZylSrvDenseMatrix& C) const;
    /// (10) A = A * B; B is k x k.
    virtual void MultiplyAssign(const ZylSrvMatrix& B);
    /// (11) Y += (first nk rows of A)^T * X; X is nk x nrhs, Y is k x nrhs.
    ///     Reads rows 0..nk-1, so nk outside 1..m raises 203 (nothing added).
    virtual void TransposeMultiply(const double* X, int nrhs, double* Y, int nk) const;
    /// (12) C = alpha * (row-permuted A)^T * B + beta * C; with perm given, row
    ///     i of A moves to row perm[i] first (ZylSrvMatrix::PermuteRowsInPlace).
    virtual void TransposeMultiply(const int* perm, const ZylSrvMatrix& B, ZylSrvMatrix& C, double alpha,
                                   double beta);
    /// (13) C = A^T * B into a k x (columns of B) array (through slot 14).
    virtual void TransposeMultiply(const ZylSrvMatrix& B, double* C, int symmetric) const;
    /// (14) C = A^T * B. With symmetric non-zero only one triangle is formed
    ///     band by band and the other is filled at the end
    ///     (ZylSrvMatrix::SetSymmetricResults). B's rows are read band by band
    ///     with ZylSrvMatrix::GetRows, which refuses a diagonal B (206).
    virtual void TransposeMultiply(const ZylSrvMatrix& B, ZylSrvMatrix& C, int symmetric) const;
    /// (15) C = A^T * B stored in columns 0 .. (columns of B) - 1 of C.
    virtual void TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvDenseMatrix* C, int symmetric) const;
    /// (16) C = A^T * B into a k x (columns of B) array (through slot 17).
    virtual void TransposeMultiply(const ZylSrvDenseMatrix* B, double* C, int symmetric) const;
    /// (17) C = A^T * B; symmetric as in slot 14.
    virtual void TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvMatrix& C, int symmetric) const;
    /// (18) For each group g (groupStart holds nGroups + 1 entries): rows
    ///     groupStart[g] .. groupStart[g+1]-1 of C become
    ///     A(rowIndex[groupStart[g]] .. , :) * B row by row, i.e. output row i
    ///     is row rowIndex[i] of A times B. See the decisions above.
    virtual void IndexedMultiply(const ZylSrvMatrix& B, ZylSrvDenseMatrix& C, const int* rowIndex,
                                 const int* groupStart, int nGroups) const;

    // ---- identity ----------------------------------------------------------
    /// True when the handle refers to no live database record.
    bool IsNull() const;
    /// The identifier of the attached distribution (null for a null matrix).
    ZylDorvDistributionID DistributionID() const;

    // ---- block geometry (never fails) --------------------------------------
    /// Rows of the matrix (of the view, for a submatrix).
    int NumberOfRows() const { return numRows; }
    /// Columns of the matrix (of the view, for a submatrix).
    int NumberOfColumns() const { return numColumns; }
    /// Blocks the rows fall into.
    int NumberOfRowBlocks() const { return numRowBlocks; }
    /// Blocks the columns fall into.
    int NumberOfColumnBlocks() const { return numColumnBlocks; }
    ///@{
    /// b < 0: 0; b = 0: first block; 0 < b < last: per-block size; any b at
    /// or past the last block: the last block's size.
    int NumberOfRowsInBlock(int block) const;
    int NumberOfColumnsInBlock(int block) const;
    ///@}
    ///@{
    /// The per-block size with more than two blocks, else the larger of the
    /// first and last block.
    int MaxNumberOfRowsInBlock() const;
    int MaxNumberOfColumnsInBlock() const;
    ///@}
    ///@{
    /// Rows of blocks b0..b1 (0 for an empty or negative range).
    int NumberOfRowsInBlockRange(int firstBlock, int lastBlock) const;
    int NumberOfColumnsInBlockRange(int firstBlock, int lastBlock) const;
    ///@}
    ///@{
    /// 0 for b <= 0; no upper bound is applied.
    int FirstRowInBlock(int block) const;
    int FirstColumnInBlock(int block) const;
    ///@}
    ///@{
    /// The block that holds a row (column): 0 before the first block's end,
    /// the last block from the last block's start on.
    int BlockContainingRow(int row) const;
    int BlockContainingColumn(int column) const;
    ///@}

    // ---- extension ---------------------------------------------------------
    /// The extendable-dimension number of drawer 0 (0 columns, 1 rows); -1
    /// when there is no drawer, also for a null matrix.
    int ExtendableDim() const;
    /// Lengthens the columns (dim 0) or rows (dim 1) of a root matrix by count
    /// new members: members[0 .. count-1] in that order, or without a members
    /// array the labels following the side's current length. Returns
    /// 0 success, 1 this is a view, 2 empty extension, 3 bad dimension or a
    /// CSet of a foreign collection, 4 a new member is already on that side.
    /// The matrix is unchanged unless 0 is returned; a CSet made before a
    /// refusal stays in the database.
    int ExtendDim(int dim, int count, const int* members);

    // ---- data access -------------------------------------------------------
    ///@{
    /// One transfer of rows r0..r1 and columns c0..c1 (inclusive).
    void GetValues(int r0, int r1, int c0, int c1, ZylSrvMatrix& out) const;
    void SetValues(int r0, int r1, int c0, int c1, const ZylSrvMatrix& in);
    ///@}
    /// Starts bringing rows r0..r1 and columns c0..c1 from the disk into the
    /// system's file cache and returns at once (platform/dorv/
    /// ZylDorvReadAhead.h): the products that walk bands announce band k+1
    /// before they multiply band k. A hint: it reads nothing into memory,
    /// reports nothing, and ignores a range outside the matrix.
    void ReadAhead(ZylDorvReadAhead& ahead, int r0, int r1, int c0, int c1) const;
    ///@{
    /// The same over all columns, or all rows.
    void GetRows(int r0, int r1, ZylSrvMatrix& out) const;
    void SetRows(int r0, int r1, const ZylSrvMatrix& in);
    void GetColumns(int c0, int c1, ZylSrvMatrix& out) const;
    void SetColumns(int c0, int c1, const ZylSrvMatrix& in);
    ///@}
    /// Copies rows r0..r1 x columns c0..c1 of this matrix into dest (dest's
    /// row 0, column 0 onwards), one row block of dest at a time.
    void GetSubmatrix(ZylSrvDenseMatrix& dest, int r0, int r1, int c0, int c1) const;
    /// out[rowMap[r] + ld * c] = value (r, c) for every value, after clearing
    /// ld x (columns) values of out. Holds the whole matrix in memory.
    void CopyRowsToMemory(const int* rowMap, int ld, ZylSrvMatrix& out) const;
    /// All values of src (same shape) into this matrix, one column block of
    /// src at a time.
    void CopyValues(const ZylSrvDenseMatrix* src);
    /// Each row of src goes to the row of this matrix with the same member
    /// label (through RowCSetID() of both); rows of src that this matrix lacks
    /// are dropped. With clear set, rows of this matrix without a source row
    /// become 0.0; without it they keep their values.
    void CopyMappedRows(const ZylSrvDenseMatrix* src, bool clear);
    /// All values, column-major, rows x columns.
    void GetAllValues(double* out) const;
    ///@{
    /// Packed triangles of a square matrix of order n, n(n+1)/2 values: the
    /// upper triangle column by column; the lower triangle row by row; the
    /// upper triangle of the symmetric part (A + A^T) / 2 column by column.
    void GetUpperValues(double* out) const;
    void GetLowerValues(double* out) const;
    void GetSymmetricValues(double* out) const;
    ///@}

    // ---- block-wise updates ------------------------------------------------
    ///@{
    /// A += B (B of this matrix's shape), A = s * A, block by block.
    void AddAssign(const ZylSrvDenseMatrix& B);
    void Scale(double s);
    ///@}
    /// Exact symmetry, block by block; false for a non-square matrix without
    /// reading any value.
    bool IsSymmetric() const;

protected:
    /// The view of parent's rows firstRow..lastRow and columns
    /// firstColumn..lastColumn (inclusive, parent's coordinates).
    ZylSrvDenseMatrix(const ZylSrvDenseMatrix& parent, int firstRow, int lastRow, int firstColumn,
                      int lastColumn);

    /// Takes the handle, the size, CSets and block geometry of drawer 0 and
    /// prepares the transfer (both directions, no padding). Offsets become 0.
    /// Refusals are listed above; a refused call leaves the matrix as it was.
    void AttachDistribution(const ZylDorvDistribution& distribution);

    ZylDorvDistribution distribution; ///< the attached distribution (its handle)
    bool isSubmatrix;                 ///< a view made by Submatrix
    int numRows;                      ///< rows of this matrix or view
    int numColumns;                   ///< columns of this matrix or view
    int numRowBlocks;                 ///< blocks over the rows
    int numColumnBlocks;              ///< blocks over the columns
    int rowsPerBlock;                 ///< rows of an inner block
    int columnsPerBlock;              ///< columns of an inner block
    int rowsInFirstBlock;             ///< rows of block 0
    int columnsInFirstBlock;          ///< columns of block 0
    int rowsInLastBlock;              ///< rows of the last block
    int columnsInLastBlock;           ///< columns of the last block
    int rowOffset;                    ///< first row of a view in the distribution
    int columnOffset;                 ///< first column of a view in the distribution
    mem_Unique<ZylDorvTransfer> transfer; ///< on the foundation allocator
    ZylDorvCSetID rowCSetID;          ///< the CSet that orders the rows
    ZylDorvCSetID columnCSetID;       ///< the CSet that orders the columns (null for one dimension)

private:
    // The block members of one side as one value, so that the block
    // arithmetic is written once for rows and columns; SetBlocks stores both
    // sides back.
    zyl_mtx::BlockGeometry RowBlocks() const;
    zyl_mtx::BlockGeometry ColumnBlocks() const;
    void SetBlocks(const zyl_mtx::BlockGeometry& rows, const zyl_mtx::BlockGeometry& columns);
};

#endif
