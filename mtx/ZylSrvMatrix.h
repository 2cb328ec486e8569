#ifndef MTX_ZYLSRVMATRIX_H
#define MTX_ZYLSRVMATRIX_H
/// \file
/// The ZylSrvMatrix class.

/// \class ZylSrvMatrix
/// \ingroup smalldense
/// ZylSrvMatrix: a small in-memory dense matrix of doubles.
///
/// Storage
///   Full matrix: element (i, j), counted from 0, is Values()[i + rows * j]
///   (column-major, leading dimension = number of rows), rows * columns values.
///   Diagonal matrix (IsDiagonal()): only the diagonal is stored, value k is
///   element (k, k); every other element is zero. A diagonal matrix is square.
///   A matrix either owns its values (it allocated them through the
///   foundation allocator and releases them with mem_Free) or wraps a caller's
///   buffer, which it never releases; the caller keeps that buffer alive.
///   A matrix declared symmetric (IsSymmetric()) is factorized from its lower
///   triangle only; nothing else treats the flag specially.
///
/// Errors
///   A rejected call raises ZylSrvMtxIllegalInput (error 206, message
///   "ZylSrvMatrix::<operation> - Illegal input.") before anything is written,
///   so the matrices involved are unchanged. Allocation failures arrive as
///   the allocator's own exception; no buffer leaks and the matrix is left as
///   it was. A stored-value or work-array count that does not fit a 32-bit
///   int is turned into a request of the largest possible size, which the
///   allocator refuses.
///   Factorize, ForwardBackwardPass, PermuteRowsInPlace and
///   SolveEigenproblemSymmetric raise the further errors listed with them.
///
/// Where the documented contract stops, these are our decisions (each raises
/// ZylSrvMtxIllegalInput with the operation name in quotes, before anything
/// is written):
///   - SetValues (both forms), GetValues, SetRows and GetRows work on the full
///     column-major layout: a diagonal matrix on either side is rejected
///     ("SetValues" for SetValues/SetRows, "GetValues" for GetValues/GetRows).
///   - SetSymmetricResults and SetSkewSymmetricResults reject a diagonal
///     matrix ("SetSymmetricResults", "SetSkewSymmetricResults").
///   - Interpolate rejects a diagonal matrix among this, a and b
///     ("Interpolate").
///   - SetSlice and AddSlice reject a block that does not lie inside this
///     matrix (negative offsets, or offset + source size beyond this matrix's
///     rows or columns), and a diagonal source that is not square. For a
///     diagonal source into a diagonal matrix only the row offset places the
///     block (rowOffset + order <= order of this matrix); the column offset is
///     not used and not checked.
///   - SetDiagonal from values rejects a full matrix that is not square;
///     SetDiagonal from a matrix rejects sources of another order.
///   - operator*= rejects a diagonal matrix times a full one ("*="), and a
///     full other whose shape does not fit the product ("Multiply": other must
///     be square when this matrix is a column, and other's row count must
///     equal this matrix's order otherwise).
///   - Multiply(a, b) with full a and b, and SymmetricMultiply, reject a
///     result that shares its value buffer with a or b ("Multiply",
///     "SymmetricMultiply"): the product cannot be written over its operand.
///   - Factorize rejects a declared-symmetric matrix that is not square.
///     Empty matrices are handed to LAPACK like any other: one without rows
///     has the leading dimension 0, which LAPACK refuses (INFO -4), so it
///     raises "Factorize" (a 0 x 0 matrix included); one with rows but no
///     columns is factorized as LAPACK's quick return, leaving it and pivots
///     as they were.
///   - ForwardBackwardPass rejects a non-square matrix, a rhs whose row count
///     differs from this matrix's order, and a diagonal rhs. For a diagonal
///     matrix (factorized into its reciprocals) it solves directly: row i of
///     rhs is multiplied by stored value i; a rhs with a negative column
///     count is refused there too. A rhs without columns is left as it is,
///     even for a 0 x 0 matrix, without calling LAPACK; every other call,
///     a negative column count and a 0 x 0 matrix with columns to solve
///     included, goes to LAPACK, whose refusal raises "ForwardBackwardPass".
///   - operator*= on a column without rows (other then 0 x 0) returns
///     without calling DGEMV, whose check of the leading dimension against
///     max(1, rows) would report the empty product as an error.
///   - PermuteRowsInPlace rejects a diagonal matrix.
///   - SolveEigenproblemSymmetric rejects diagonal eigenvectors and
///     eigenvalues without a column; it allocates its work space before it
///     writes eigenvalues or eigenvectors, so an allocation failure leaves
///     them unchanged, and it reads b before it writes eigenvectors, so the
///     two may share storage.
/// The products into a given result (Multiply(b, result, ...) and
/// TransposeMultiply) are the low-level forms: they check nothing and are
/// defined for full matrices of fitting shapes only.
/// Every full product goes to DGEMM (one call, or one per block) with its sizes
/// and leading dimensions as they are, empty ones included: DGEMM returns at once
/// for an empty result, makes the result beta * result for an empty inner
/// dimension, and reports an impossible argument (a negative size, a leading
/// dimension below the rows it must span) through its error reporter, which
/// prints one line on standard output, leaving the result unwritten.
#include <platform/zyl_Export.h>

#include <cstdint>

class ZylSrvDenseMatrix;

class ZYL_EXPORT ZylSrvMatrix {
public:
    /// A dim1 x dim2 matrix. With values null the matrix allocates and owns
    /// its storage (dim1 values when diagonal, dim1 * dim2 otherwise; not
    /// initialized); otherwise it wraps values, which must hold that many.
    ZylSrvMatrix(int dim1, int dim2, double* values = nullptr, bool symmetric = false,
                 bool diagonal = false);
    /// Always allocates its own buffer; copies dimensions, flags and values.
    ZylSrvMatrix(const ZylSrvMatrix& other);
    ~ZylSrvMatrix();

    // ---- read accessors -------------------------------------------------
    /// True when only the diagonal is stored.
    bool IsDiagonal() const { return m_diagonal; }
    /// True when the matrix was declared symmetric (see Storage above).
    bool IsSymmetric() const { return m_symmetric; }
    /// True when the matrix allocated its values and releases them.
    bool OwnsValues() const { return m_ownsValues; }
    /// The first dimension, dim1.
    int NumberOfRows() const { return m_dim1; }
    /// The second dimension, dim2.
    int NumberOfColumns() const { return m_dim2; }
    /// Stored values: rows for a diagonal matrix, rows * columns otherwise.
    std::int64_t NumberOfStoredValues() const;
    ///@{
    /// The stored values (see Storage above); hand them to BLAS/LAPACK as is.
    double* Values() { return m_values; }
    const double* Values() const { return m_values; }
    ///@}
    /// Element (row, column) of the matrix it represents (0 off the diagonal
    /// of a diagonal matrix). Not checked: the indices must lie inside.
    double Element(int row, int column) const
    {
        if (m_diagonal)
            return row == column ? m_values[row] : 0.0;
        return m_values[row + static_cast<std::int64_t>(m_dim1) * column];
    }

    // ---- assignment and comparison --------------------------------------
    /// Same shape (and not diagonal := full): values are copied into the
    /// present buffer and the flags stay (a full matrix receiving a diagonal
    /// one holds that diagonal with zeros elsewhere). Otherwise the buffer is
    /// replaced and dimensions and flags are taken from other; a matrix that
    /// wraps a caller's buffer cannot be reshaped ("Assignment operator").
    ZylSrvMatrix& operator=(const ZylSrvMatrix& other);
    /// Every stored value becomes value.
    ZylSrvMatrix& operator=(double value);
    /// Same shape, same storage kind and exactly equal stored values (NaN
    /// never equals). The symmetric flag is not compared. At the first
    /// difference prints " m_dim1= .., m_dim2= ..i= .. ptr[i]= ..  rhsPtr[i]= .."
    /// to standard output (no line end) and returns false.
    bool operator==(const ZylSrvMatrix& other) const;

    // ---- element and range operations ("SetValues", "GetValues") -------
    /// Ranges are inclusive and counted from 0. The block is exchanged as a
    /// packed column-major array with leading dimension lastRow - firstRow + 1.
    void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn, const double* values);
    /// source's values are consumed as a packed block in storage order,
    /// whatever its shape; it must hold at least as many values as the block.
    void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                   const ZylSrvMatrix& source);
    /// target receives the packed block at its start and keeps its shape; it
    /// must hold at least as many values as the block.
    void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                   ZylSrvMatrix& target) const;
    ///@{
    /// The same over all columns (errors name "SetValues" / "GetValues").
    void SetRows(int firstRow, int lastRow, ZylSrvMatrix& source);
    void GetRows(int firstRow, int lastRow, ZylSrvMatrix& target) const;
    ///@}

    /// Block with top left element (rowOffset, columnOffset) := factor * source
    /// ("SetSlice"); a diagonal source makes the block a scaled diagonal with
    /// zeros elsewhere. A full source cannot go into a diagonal matrix.
    void SetSlice(double factor, const ZylSrvMatrix& source, int rowOffset, int columnOffset);
    /// Block += factor * source ("AddSlice"); a diagonal source touches only
    /// the block's diagonal.
    void AddSlice(double factor, const ZylSrvMatrix& source, int rowOffset, int columnOffset);

    /// Element (i, i) := values[i], i < rows; off-diagonal elements unchanged.
    void SetDiagonal(const double* values);
    /// The same from source's diagonal ("SetDiagonal"): both square, of the
    /// same order, and not a full source into a diagonal matrix.
    void SetDiagonal(const ZylSrvMatrix& source);

    /// In place. A diagonal or declared-symmetric matrix stays as it is; a
    /// non-square one is rebuilt in a temporary buffer (a wrapped caller's
    /// buffer receives the transposed values) and its dimensions exchanged.
    void Transpose();
    ///@{
    /// Within the leading square block: tall or square matrices copy the
    /// strict lower triangle onto the upper one, wide ones the upper onto the
    /// lower. The diagonal and the rest stay. The skew form copies negated.
    void SetSymmetricResults();
    void SetSkewSymmetricResults();
    ///@}
    /// Exact symmetry test: true for diagonal and 0 x 0, false for non-square.
    bool IsSymmetricNumerically() const;

    /// this := (1 - t) * a + t * b, element by element ("Interpolate"): a and
    /// b have this matrix's shape and 0 <= t <= 1 (a NaN t is let through).
    void Interpolate(double t, const ZylSrvMatrix& a, const ZylSrvMatrix& b);
    /// Every stored value times factor.
    void Multiply(double factor);

    // ---- sums and products ----------------------------------------------
    /// this += other ("+="): same shape, not other itself, not a diagonal
    /// matrix plus a full one.
    ZylSrvMatrix& operator+=(const ZylSrvMatrix& other);
    /// this := this * other, or other * this when this matrix is a column
    /// (one column, any other of that order) ("*=" / "Multiply"): this
    /// matrix's rows must equal other's columns.
    ZylSrvMatrix& operator*=(const ZylSrvMatrix& other);
    /// this += factor * other ("Add"); a factor of 0 returns at once without
    /// any check. other may be this matrix.
    void Add(double factor, const ZylSrvMatrix& other);
    /// this += factor * dense, read one block of the dense matrix at a time
    /// into a buffer of its largest block; a factor of 0 returns at once. The
    /// dense matrix must fit inside this full matrix (its element (r, c) lands
    /// on element (r, c) here); a dense matrix that does not fit is refused
    /// ("Add") and a diagonal target is refused by AddSlice ("AddSlice"), both
    /// before anything is added. When this matrix is declared symmetric only the
    /// dense matrix's blocks on and above the block diagonal are read (its row
    /// and column blocks must coincide) and the strict lower triangle is then
    /// mirrored from the upper one.
    void Add(double factor, const ZylSrvDenseMatrix& dense);
    /// this := a * b ("Multiply"). Diagonal operands are handled element by
    /// element; a diagonal result needs diagonal a and b.
    void Multiply(const ZylSrvMatrix& a, const ZylSrvMatrix& b);
    /// result := this * b, plus result when accumulate is non-zero. One DGEMM;
    /// no checks. The int before accumulate is not used.
    void Multiply(const ZylSrvMatrix& b, ZylSrvMatrix& result, int unused, int accumulate) const;
    /// result := transpose(this) * b (+ result). No checks. With symmetric
    /// non-zero the product is computed in blocks of 144 x 144 and only the
    /// blocks on and below the block diagonal (on and above when this matrix
    /// has fewer columns than b) are written; the others keep their values.
    /// The symmetric form addresses result blocks with leading dimension
    /// equal to this matrix's column count: result must have that many rows.
    void TransposeMultiply(const ZylSrvMatrix& b, ZylSrvMatrix& result, int symmetric,
                           int accumulate) const;
    /// this := a * b for n x n full matrices, computed on the lower block
    /// triangle only (blocks of 128, the first block holding n mod 128); the
    /// strict upper block triangle is left zero ("SymmetricMultiply").
    void SymmetricMultiply(const ZylSrvMatrix& a, const ZylSrvMatrix& b);

    // ---- factorization, solve and eigenproblem --------------------------
    /// In place: a diagonal matrix becomes its reciprocals (a zero raises
    /// ZylSrvMtxDivByZero, error 218, leaving earlier values inverted; pivots
    /// untouched); a declared-symmetric matrix gets the Bunch-Kaufman factors
    /// of its lower triangle (DSYTRF "L"); any other matrix LU with partial
    /// pivoting (DGETRF). pivots receives one index per row. A zero pivot is
    /// not reported; LAPACK's argument errors raise "Factorize" (a matrix
    /// without rows is one: see above).
    void Factorize(int* pivots);
    /// rhs := the solution with the factors held by this matrix (DSYTRS "L"
    /// for a declared-symmetric matrix, which ignores transpose, else DGETRS
    /// with "T" when transpose is true). LAPACK argument errors raise
    /// "ForwardBackwardPass" (a rhs with a negative column count is one; so
    /// is a refusal that DGETRS reports only through XERBLA, leaving INFO
    /// unwritten); a rhs without columns is left as it is.
    void ForwardBackwardPass(const int* pivots, ZylSrvMatrix& rhs, bool transpose) const;
    /// Row i moves to row permutation[i], column by column; length must equal
    /// the row count ("PermuteRowsInPlace"). An entry outside 0..rows-1 raises
    /// ZylSrvMtxIllegalPermVect (212) while the first column is moved: the
    /// entries before it have then been applied to that column only.
    void PermuteRowsInPlace(const int* permutation, int length);
    /// A x = lambda B x for this matrix A and b, both exactly symmetric
    /// ("SolveEigenproblemSymmetric" for shape or symmetry). eigenvalues'
    /// first n values receive the eigenvalues in ascending order and the
    /// columns of eigenvectors the B-orthonormal eigenvectors (DSYGV, ITYPE 1,
    /// "V", "L"). LAPACK's reports become ZylSrvMtxSolveIllegalArg (213),
    /// ZylSrvMtxSolveNotConverge (214) or ZylSrvMtxSolveNotPositive (215);
    /// eigenvalues and eigenvectors then hold what LAPACK left.
    void SolveEigenproblemSymmetric(const ZylSrvMatrix& b, ZylSrvMatrix& eigenvalues,
                                    ZylSrvMatrix& eigenvectors);

private:
    // element (k, j) = element (j, k) for k > j in the leading square block.
    void MirrorUpperTriangleDown();

    double* m_values;
    int m_dim1;
    int m_dim2;
    bool m_ownsValues;
    bool m_symmetric;
    bool m_diagonal;
};

#endif
