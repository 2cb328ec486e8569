#ifndef MTX_ZYLSRVSCRATCHDENSEMATRIX_H
#define MTX_ZYLSRVSCRATCHDENSEMATRIX_H
/// \file
/// The ZylSrvScratchDenseMatrix class.

/// \class ZylSrvScratchDenseMatrix
/// \ingroup outofcore
/// ZylSrvScratchDenseMatrix: a ZylSrvDenseMatrix that owns a private scratch
/// database.
///
/// Construction creates a new database file of its own in the current
/// directory, named "ZylSrvScratchDenseMatrix" followed by the object's
/// address printed with "%p.dorv" (see "File names" below), makes a row and a
/// column collection in it,
/// the two CSets and a chunked two-dimensional distribution whose values all
/// read as 0.0 until written, and attaches the matrix to that distribution.
/// All data access and arithmetic are those of ZylSrvDenseMatrix.
///
/// Blocks. A block size of -1 means one block spanning that whole side; a
/// block size larger than the side is cut to the side's length. Positive
/// block sizes are then lowered so that no drawer exceeds 2 GiB
/// (ZylSrvUtilities::LimitChunkSize2GB); a side asked for whole (-1) escapes
/// that bound. With both block sizes -1 the distribution is not chunked.
///
/// CSets. The base part's row and column CSets are always CSets of the
/// scratch database: with member lists they list those labels in the given
/// order, without them all members of their collection in ordinal order. A
/// matrix built from two CSets of the caller's database keeps them as its
/// outer CSets and reports them from RowCSetID / ColumnCSetID; they are only
/// reported, never used to address values. Views report the scratch CSets
/// cut to their rows and columns (their outer CSets are null).
///
/// Lifetime. Views made by Submatrix share the scratch database through a
/// reference-counted file handle: the file is closed and deleted when the
/// last of the matrix and its views is destroyed, in whatever order they go.
/// A default-constructed matrix has no database and stays null.
///
/// MPI flavour. Construction and the destruction of the last of the matrix
/// and its views are collective (every rank of the
/// library's communicator, same order, same arguments); the file is one for
/// all ranks: named from rank 0's object, in the current directory, which
/// must be rank 0's on every rank (else every rank raises ZylDorvException 1),
/// closed by all and removed by rank 0 once every rank has closed it.
/// GetValues/SetValues are independent; the products are collective.
/// Parallel HDF5 1.10.8 allocates and fills every chunk at creation: a new
/// matrix costs its full size on disk and about 1 s per GiB on one disk
/// (0.7 to 3.4 s per GiB measured for 2 GiB on 1 and 2 ranks), where the
/// serial library spends neither.
///
/// File names. The address alone does not keep names apart: a view may keep
/// the file of a destroyed matrix alive while the allocator places a new
/// matrix at the same address, and another process may hold a file of that
/// name in a shared directory. When the database's CreateFile refuses the
/// plain name with ZylDorvException 10 and something exists at that name, the
/// constructor tries the variants "ZylSrvScratchDenseMatrix<address>-1.dorv",
/// "-2", ... up to "-999" in turn and takes the first one that can be created;
/// when all are refused, the last refusal reaches the caller. In every other
/// case the name is exactly the plain one, and any other refusal reaches the
/// caller at once. An existing file or symbolic link at a name is never opened
/// or followed: creation is exclusive, and only the database may replace a
/// stale file that no live database holds. The file is deleted by the
/// absolute path and identity recorded when it was made (ZylSrvDorvFileHandle),
/// so changing the current directory meanwhile is harmless.
///
/// Errors. Database errors (ZylDorvException) and allocation failures pass
/// through the constructors unchanged. A constructor that fails part-way
/// leaves nothing behind: the uncommitted work is rolled back, the scratch
/// database is closed and its file deleted before the exception reaches the
/// caller.
///
/// Where the documented contract stops, these are our decisions:
///   - A matrix needs at least one row and one column, and a block size is
///     either -1 (the whole side) or at least 1. A size below 1 or a block
///     size of 0 or below -1 (also from a CSet constructor whose CSet is
///     empty) raises ZylSrvMtxIllegalInput (number 206, message
///     "ZylSrvMatrix::ZylSrvScratchDenseMatrix - Illegal input.", raised in
///     mtx/impl/ZylSrvScratchDenseMatrix) before any file is made. We chose
///     the library's own "illegal input" type, named after the constructor,
///     over letting the request reach the database (which would refuse a
///     chunk below 1 only after the file exists, with a database number that
///     says nothing about the constructor's arguments) or the 2 GiB bound
///     (whose refusal would name LimitChunkSize2GB, an operation the caller
///     never called).
///   - A view's range must lie inside its parent (the view constructor of
///     ZylSrvDenseMatrix refuses anything else with ZylSrvMtxIllegalInput,
///     operation "Submatrix"); a refused view leaves the parent and its file
///     untouched.
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvDorvFileHandle.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylSrvScratchDenseMatrix : public ZylSrvDenseMatrix {
public:
    /// A null matrix: no database, empty file handle, null outer CSets.
    ZylSrvScratchDenseMatrix();
    /// numRows x numColumns, all members of each scratch collection in
    /// ordinal order.
    ZylSrvScratchDenseMatrix(int numRows, int numColumns, int rowBlockSize, int columnBlockSize);
    /// The same with the scratch CSets listing rowMembers[0 .. numRows-1] and
    /// columnMembers[0 .. numColumns-1] in that order; either list may be null
    /// (that side then lists its members in ordinal order).
    ZylSrvScratchDenseMatrix(int numRows, int numColumns, const int* rowMembers, const int* columnMembers,
                             int rowBlockSize, int columnBlockSize);
    /// As large as the two CSets of the caller's database, with their members
    /// in their order; reports rowCSet and columnCSet as its own.
    ZylSrvScratchDenseMatrix(ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet, int rowBlockSize,
                             int columnBlockSize);
    ZylSrvScratchDenseMatrix(const ZylSrvScratchDenseMatrix&) = delete;
    ZylSrvScratchDenseMatrix& operator=(const ZylSrvScratchDenseMatrix&) = delete;

    // ---- virtual operations overridden, in slot order ------------------------
    /// (1) Releases the scratch file (closed and deleted with its last holder),
    ///    then the ZylSrvDenseMatrix part.
    ~ZylSrvScratchDenseMatrix() override;
    ///@{
    /// (2, 3) The outer CSet when the matrix was built from CSets, else the
    ///    scratch database's CSet.
    ZylDorvCSetID RowCSetID() const override;
    ZylDorvCSetID ColumnCSetID() const override;
    ///@}
    /// (4) A ZylSrvScratchDenseMatrix view of rows firstRow..lastRow and columns
    ///    firstColumn..lastColumn (inclusive), made on the heap and sharing the
    ///    scratch file; the caller deletes it through the base pointer.
    ZylSrvDenseMatrix* Submatrix(int firstRow, int lastRow, int firstColumn, int lastColumn) const override;

protected:
    /// The view of parent's rows firstRow..lastRow and columns
    /// firstColumn..lastColumn (inclusive, parent's coordinates): the
    /// ZylSrvDenseMatrix view over the parent's distribution, holding a copy
    /// of the parent's file handle; both outer CSets null.
    ZylSrvScratchDenseMatrix(const ZylSrvScratchDenseMatrix& parent, int firstRow, int lastRow, int firstColumn,
                             int lastColumn);

    /// Creates the scratch database file (the plain name or a variant, see
    /// "File names"), its collections, CSets and the
    /// zero-filled distribution in one transaction, and attaches this matrix
    /// to it. Called once, on an object whose scratchFile is still empty.
    /// Sizes and block sizes are checked first (see the decisions above).
    void CreateScratchStorage(int numRows, int numColumns, const int* rowMembers, const int* columnMembers,
                              int rowBlockSize, int columnBlockSize);

    ZylSrvDorvFileHandle scratchFile;  ///< the scratch database, shared with the views
    ZylDorvCSetID outerRowCSetID;      ///< the caller's row CSet, or null
    ZylDorvCSetID outerColumnCSetID;   ///< the caller's column CSet, or null
};

#endif
