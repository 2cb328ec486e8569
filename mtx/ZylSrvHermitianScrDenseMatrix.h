#ifndef MTX_ZYLSRVHERMITIANSCRDENSEMATRIX_H
#define MTX_ZYLSRVHERMITIANSCRDENSEMATRIX_H
/// \file
/// The ZylSrvHermitianScrDenseMatrix class.

/// \class ZylSrvHermitianScrDenseMatrix
/// \ingroup outofcore
/// ZylSrvHermitianScrDenseMatrix: a scratch dense matrix that stores only the
/// first half of the matrix it stands for.
///
/// With A the stored M x N matrix, the matrix represents the M x 2N matrix
/// H = [A, JA]. J works inside consecutive row groups: for a group starting
/// at row s with size g and h = g / 2, row s+k of JA is the negated row
/// s+h+k of A and row s+h+k of JA is row s+k of A (k = 0 .. h-1); with an odd
/// size the group's last row is left as it is. When each group holds the real
/// parts of its unknowns in its first half and the imaginary parts in its
/// second, H is the real form of a complex matrix, and J is the imaginary
/// unit. JA is never stored: the products read A one row block at a time and
/// rotate the groups in place in the blocks already in memory.
///
/// Products (all matrices and arrays column-major; x_top, x_bottom are the
/// first and the second N rows of a 2N-row operand):
///   5   y += A x_top + JA x_bottom                 (x 2N x nv, y M x nv)
///   9   Y = alpha H X + beta Y                      (Y not read for beta 0.0)
///   10  A := H X                                    (X 2N x N)
///   11  y = H^T x, overwriting y                    (x with stride ldx)
///   13  slot 11 with X's values, columns and rows as nv and ldx
///   16  slot 17 into y wrapped as a 2N x (columns of B) matrix
///   17  C = H^T B                                   (B M-row dense)
/// Slots 6 and 12 are the dense matrix's own and act with A alone; slots 7,
/// 8, 14, 15 and 18 have no form with H here and do nothing: their outputs
/// are left untouched and nothing is reported. The int arguments of slots 13
/// and 17 (and the last constructor argument) are not used.
///
/// Staging. A product holds two consecutive row blocks of A (for slot 9 also
/// two of Y, for slot 10 two of the new values, for slot 17 two of B) and
/// reads each block of A once. A block's A-term is formed as soon as it is
/// read, before any rotation touches its rows; its JA-term after the groups
/// ending in the following block are rotated, so a group may straddle one
/// row-block boundary. MultiplyAssign writes a block back only after the
/// next one has been read. Nothing is validated by the products and nothing
/// is caught: errors of the database, of ZylSrvMatrix and of the BLAS bridge
/// reach the caller unchanged, and the staging is released on every path.
///
/// Where the documented contract stops, these are our decisions:
///   - The constructors refuse, with ZylSrvMtxIllegalInput (206, message
///     "ZylSrvMatrix::ZylSrvHermitianScrDenseMatrix - Illegal input.", raised
///     in mtx/impl/ZylSrvHermitianScrDenseMatrix) and before any file is made:
///     numGroups below 1, a null groupSizes, a negative group size, sizes that
///     do not sum to numRows, and a group that does not end within the row
///     block after the one it starts in (the blocks as the scratch storage
///     will cut them, the 2 GiB bound included). The window holds two blocks;
///     such a group would be rotated after its first rows have left memory.
///     Widening the window instead would break the two-block staging bound
///     the class exists for. A row count below 1 fails this check (no group
///     list sums to it); a column count or block sizes the scratch matrix
///     refuses are then refused by it, under its own operation name.
///   - Submatrix refuses (206, operation "Submatrix", raised in
///     mtx/impl/ZylSrvHermitianScrDenseMatrix) a row range that does not start
///     at the first row of a group and end at the last row of one: J is not
///     defined on part of a group. A view keeps the groups inside its rows,
///     counting from its own row 0, so it stands for the rows of its parent's
///     H that it covers, and its groups straddle no more block boundaries
///     than they did in the parent. Column ranges are free.
///   - Slot 9 walks Y's row blocks as long as every group ends within the Y
///     block after the one it starts in, else this matrix's row blocks (the
///     values are the same; only the staging follows the other blocks). X's
///     halves are copied out with ZylSrvMatrix::GetValues, so a diagonal X,
///     or one without a column or with fewer than two rows, is refused there
///     (206, "GetValues") before anything is read. A NaN beta counts as
///     non-zero; with beta 0.0, Y's columns past X's keep their values.
///   - Slot 17 writes rows 0 .. 2N-1 and columns 0 .. (columns of B)-1 of C.
///     The bottom half goes first: when it fits C so does the top, and a C too
///     small is refused by its own SetValues (206, "SetValues") unchanged.
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/mem.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylSrvHermitianScrDenseMatrix : public ZylSrvScratchDenseMatrix {
public:
    /// numRows x numColumns, the scratch CSets listing rowMembers and
    /// columnMembers (either may be null: ordinal order), the rows in numGroups
    /// groups of groupSizes[0 .. numGroups-1] rows from row 0 on (copied).
    /// A group size may be 0 (a node without active unknowns): the rotation
    /// skips it, and the row where it starts is a group boundary like any
    /// other. A view keeps the empty groups that start at its first row and
    /// drops those that start after its last. Odd sizes are accepted; their
    /// last row is not rotated.
    ZylSrvHermitianScrDenseMatrix(int numRows, int numColumns, const int* rowMembers, const int* columnMembers,
                                  int numGroups, const int* groupSizes, int rowBlockSize, int columnBlockSize,
                                  int unused);
    /// The same without member lists.
    ZylSrvHermitianScrDenseMatrix(int numRows, int numColumns, int numGroups, const int* groupSizes,
                                  int rowBlockSize, int columnBlockSize, int unused);
    ZylSrvHermitianScrDenseMatrix(const ZylSrvHermitianScrDenseMatrix&) = delete;
    ZylSrvHermitianScrDenseMatrix& operator=(const ZylSrvHermitianScrDenseMatrix&) = delete;

    /// Slots 6 and 12 stay the dense matrix's; the others of these names are
    /// overridden below.
    using ZylSrvDenseMatrix::Multiply;
    using ZylSrvDenseMatrix::TransposeMultiply;

    // ---- virtual operations overridden, in slot order ------------------------
    /// (1) Frees the group sizes, then as the scratch matrix.
    ~ZylSrvHermitianScrDenseMatrix() override;
    /// (4) A Hermitian view on the heap sharing the scratch file; the caller
    ///    deletes it. See the decisions above for the row ranges accepted.
    ZylSrvDenseMatrix* Submatrix(int firstRow, int lastRow, int firstColumn, int lastColumn) const override;
    /// (5) y += H x.
    void Multiply(const double* x, int numVectors, double* y) const override;
    ///@{
    /// (7, 8) Do nothing.
    void Multiply(const ZylSrvDenseMatrix* B, double* C) const override;
    void Multiply(const ZylSrvDenseMatrix& B, ZylSrvDenseMatrix& C) const override;
    ///@}
    /// (9) Y = alpha H X + beta Y.
    void Multiply(double alpha, const ZylSrvMatrix& X, double beta, ZylSrvDenseMatrix& Y) const override;
    /// (10) A := H X.
    void MultiplyAssign(const ZylSrvMatrix& X) override;
    /// (11) y = H^T x over all rows; ldx is x's leading dimension.
    void TransposeMultiply(const double* x, int numVectors, double* y, int ldx) const override;
    /// (13) Slot 11 with x = X.
    void TransposeMultiply(const ZylSrvMatrix& X, double* y, int unused) const override;
    ///@{
    /// (14, 15) Do nothing.
    void TransposeMultiply(const ZylSrvMatrix& B, ZylSrvMatrix& C, int symmetric) const override;
    void TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvDenseMatrix* C, int symmetric) const override;
    ///@}
    /// (16) Slot 17 into the 2N x (columns of B) array y.
    void TransposeMultiply(const ZylSrvDenseMatrix* B, double* y, int flag) const override;
    /// (17) C = H^T B.
    void TransposeMultiply(const ZylSrvDenseMatrix* B, ZylSrvMatrix& C, int unused) const override;
    /// (18) Does nothing.
    void IndexedMultiply(const ZylSrvMatrix& B, ZylSrvDenseMatrix& C, const int* rowIndex, const int* groupStart,
                         int nGroups) const override;

private:
    // The view of parent's rows firstRow..lastRow and columns
    // firstColumn..lastColumn, with the parent's groups inside those rows.
    // The row range must cover whole groups (Submatrix checks it).
    ZylSrvHermitianScrDenseMatrix(const ZylSrvHermitianScrDenseMatrix& parent, int firstRow, int lastRow,
                                  int firstColumn, int lastColumn);

    // The index of the first group that starts at `row` (empty groups
    // included; numGroups when all groups end before it), or -1 when no
    // group starts there.
    int GroupStartingAt(int row) const;

    int numGroups;
    mem_Array<int> groupSizes;
};

#endif
