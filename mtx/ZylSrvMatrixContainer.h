#ifndef MTX_ZYLSRVMATRIXCONTAINER_H
#define MTX_ZYLSRVMATRIXCONTAINER_H
/// \file
/// The ZylSrvMatrixContainer class.

/// \class ZylSrvMatrixContainer
/// \ingroup registry
/// ZylSrvMatrixContainer: a registry of dense matrices under integer ids that
/// the caller chooses (any int, negative ones included), and the Fortran entry
/// points that read the sizes and values of its matrices.
///
/// Storage. Construction creates a scratch database file of the container's
/// own in the current directory, named "ZylSrvMatrixContainer" followed by the
/// container's address printed with "%p.dorv"; a file already at that name
/// (left by an earlier run) is deleted first. It holds one context with a row
/// and a column collection that every matrix of the container shares: without
/// member lists a matrix's CSets list the labels 0 .. n-1, with them the given
/// labels in their order. Each matrix gets its two CSets and a zero-filled
/// two-dimensional distribution there; its values stay in the file until read.
/// The destructor deletes the matrices still registered, in ascending id
/// order, closes the database (by its absolute path, so a change of the
/// current directory meanwhile is harmless) and deletes the file.
///
/// MPI flavour. Construction and destruction are collective (every rank of the
/// library's communicator, same order, same arguments); the file is one for
/// all ranks: named from rank 0's object, in the current directory, which
/// must be rank 0's on every rank (else every rank raises ZylDorvException 1),
/// closed by all and removed by rank 0 once every rank has closed it.
/// Create and Remove are collective; the values of its matrices are read
/// and written independently.
/// Parallel HDF5 1.10.8 allocates and fills every chunk at creation: each
/// matrix it creates costs its full size on disk and about 1 s per GiB on one disk
/// (0.7 to 3.4 s per GiB measured for 2 GiB on 1 and 2 ranks), where the
/// serial library spends neither.
///
/// Blocks. A block size larger than its side is cut to the side; -1 means the
/// whole side; positive block sizes are lowered so that no chunk exceeds
/// 2 GiB (ZylSrvUtilities::LimitChunkSize2GB).
///
/// Ownership. The container owns every matrix it registers; references from
/// Create and Get stay valid until Remove of that id or the container's end.
///
/// Errors. Database errors (ZylDorvException) and allocation failures pass
/// through. A constructor that fails after the file exists closes and deletes
/// it again. A Create refused by the database takes back the CSets it made (its
/// work runs in one transaction); a refusal after that transaction (an
/// allocation of the matrix object or of the map entry) leaves the id
/// unregistered and an unused distribution in the scratch file.
///
/// Where the documented contract stops, these are our decisions (each raises
/// ZylSrvMtxIllegalInput, number 206, recorded in
/// mtx/impl/ZylSrvMatrixContainer):
///   - Get of an id that is not registered: "ZylSrvMatrix::Get - Illegal
///     input.", rather than a null reference that the caller would go on to
///     use; the size and value entry points meet the same error.
///   - Create with an id already registered, or with fewer than one row or
///     column: "ZylSrvMatrix::Create - Illegal input.", before anything is
///     made (no CSet, no distribution); the registered matrix stays.
///   - Remove of an id that is not registered changes nothing.
///
/// Fortran entry points. The handle is the container's address as an 8-byte
/// integer passed by value; every other argument is passed by reference. An
/// error of the library's family (ZylBasException, database and allocation
/// failures included) cannot unwind through Fortran frames: its message is
/// printed to standard error and the process exits with status 1.
///   ZYLSRVMATRIXCONTAINERCREATE()         a new container on the heap
///   ZYLSRVMATRIXCONTAINERNUMROWS(h, id)   rows of matrix id
///   ZYLSRVMATRIXCONTAINERNUMCOLUMNS(h, id)
///   ZYLSRVMATRIXCONTAINERGETVALUES(h, id, values)
///       the whole matrix, column-major with leading dimension = rows, read by
///       one database transfer straight into values (no staging copy)
///   ZYLSRVMATRIXCONTAINERDELETE(h)        destroys the container; 0 does nothing
#include <containers/cow_Btree.h>
#include <mtx/ZylSrvDenseMatrix.h>
#include <platform/atr_String.h>
#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/mem.h>
#include <platform/zyl_Export.h>

#include <cstdint>

// The id map is compiled once, in the library, and exported from it.
// Innermost first: an attribute on a class already instantiated is ignored.
extern template struct ZYL_EXPORT cow_Direct<cow_BtreeNode<int, ZylSrvDenseMatrix*>>;
extern template class ZYL_EXPORT cow_CountedHld<cow_BtreeNode<int, ZylSrvDenseMatrix*>>;
extern template class ZYL_EXPORT cow_COW<cow_BtreeNode<int, ZylSrvDenseMatrix*>>;
extern template class ZYL_EXPORT cow_BtreeNode<int, ZylSrvDenseMatrix*>;
extern template class ZYL_EXPORT cow_Btree<int, ZylSrvDenseMatrix*>;
extern template class ZYL_EXPORT cow_BtreeNodeLink<int, ZylSrvDenseMatrix*>;
extern template class ZYL_EXPORT cow_BtreeIterator<int, ZylSrvDenseMatrix*>;

class ZYL_EXPORT ZylSrvMatrixContainer : public mem_AllocationOperators {
public:
    /// Creates the scratch database (see "Storage").
    ZylSrvMatrixContainer();
    /// Deletes the registered matrices in ascending id order, then the file.
    ~ZylSrvMatrixContainer();
    ZylSrvMatrixContainer(const ZylSrvMatrixContainer&) = delete;
    ZylSrvMatrixContainer& operator=(const ZylSrvMatrixContainer&) = delete;

    /// A zero-filled numRows x numColumns matrix registered under id.
    ZylSrvDenseMatrix& Create(int id, int numRows, int numColumns, int rowBlockSize, int columnBlockSize);
    /// The same with its rows listing rowMembers[0 .. numRows-1] and its
    /// columns columnMembers[0 .. numColumns-1]; either may be null.
    ZylSrvDenseMatrix& Create(int id, int numRows, int numColumns, const int* rowMembers, const int* columnMembers,
                              int rowBlockSize, int columnBlockSize);
    /// The matrix registered under id (see the decisions above for an id
    /// that is not registered).
    ZylSrvDenseMatrix& Get(int id) const;
    /// True when a matrix is registered under id.
    bool IsMember(int id) const;
    /// Deletes the matrix and drops the id.
    void Remove(int id);
    /// The number of registered matrices.
    int Size() const;

private:
    ZylSrvDenseMatrix& CreateMatrix(int id, int numRows, int numColumns, const int* rowMembers,
                                    const int* columnMembers, int rowBlockSize, int columnBlockSize);
    // Closes the database and deletes its file; never fails.
    void CloseAndRemoveFile() noexcept;

    ZylDorvDatabase database;
    ZylDorvContextID contextID;
    atr_String fileName;
    ZylDorvCollectionID rowCollectionID;
    ZylDorvCollectionID columnCollectionID;
    cow_Btree<int, ZylSrvDenseMatrix*> matrices;
};

extern "C" {
/// A new container on the heap; its address is the handle.
ZYL_EXPORT std::int64_t ZYLSRVMATRIXCONTAINERCREATE();
/// Rows of matrix id.
ZYL_EXPORT int ZYLSRVMATRIXCONTAINERNUMROWS(std::int64_t handle, const int* id);
/// Columns of matrix id.
ZYL_EXPORT int ZYLSRVMATRIXCONTAINERNUMCOLUMNS(std::int64_t handle, const int* id);
/// The whole matrix id, column-major with leading dimension = rows, read by
/// one database transfer straight into values (no staging copy).
ZYL_EXPORT void ZYLSRVMATRIXCONTAINERGETVALUES(std::int64_t handle, const int* id, double* values);
/// Destroys the container; a handle of 0 does nothing.
ZYL_EXPORT void ZYLSRVMATRIXCONTAINERDELETE(std::int64_t handle);
}

#endif
