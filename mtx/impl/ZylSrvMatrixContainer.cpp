#include <mtx/ZylSrvMatrixContainer.h>

#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvUtilities.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvFortranCall.h>
#include <mtx/impl/internal/ZylSrvScratchChunks.h>
#include <mtx/impl/internal/ZylSrvScratchFileName.h>
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvCollection.h>
#include <platform/dorv/ZylDorvContext.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/ZylDorvTransaction.h>
#include <platform/utl_FilePath.h>

#include <algorithm>
#include <cstdio>
#include <memory>

// The definitions of the map's instance; the header's declarations export it.
template struct cow_Direct<cow_BtreeNode<int, ZylSrvDenseMatrix*>>;
template class cow_CountedHld<cow_BtreeNode<int, ZylSrvDenseMatrix*>>;
template class cow_COW<cow_BtreeNode<int, ZylSrvDenseMatrix*>>;
template class cow_BtreeNode<int, ZylSrvDenseMatrix*>;
template class cow_Btree<int, ZylSrvDenseMatrix*>;
template class cow_BtreeNodeLink<int, ZylSrvDenseMatrix*>;
template class cow_BtreeIterator<int, ZylSrvDenseMatrix*>;

namespace {

// Raise sites here record this class's implementation file.
constexpr const char* kRaiseSource = zyl_mtx::kMatrixContainerSource;
constexpr const char kFilePrefix[] = "ZylSrvMatrixContainer";

// The CSet of one side: the given labels in their order, else 0 .. count-1.
ZylDorvCSetID CreateSideCSet(ZylDorvCollectionID collectionID, const int* members, int count)
{
    ZylDorvCollection collection(collectionID);
    return members != nullptr ? collection.CreateOrderedCSet(members, count)
                              : collection.CreateCSetStrided(0, count, 1, 1);
}

ZylSrvMatrixContainer& FromHandle(std::int64_t handle)
{
    return *reinterpret_cast<ZylSrvMatrixContainer*>(static_cast<std::intptr_t>(handle));
}

} // namespace

ZylSrvMatrixContainer::ZylSrvMatrixContainer()
    : database(), contextID(), fileName(), rowCollectionID(), columnCollectionID(), matrices()
{
    fileName = zyl_mtx::ScratchFileName(kFilePrefix, this);
    // Only a stale file can be there: a live container at this address would
    // be this one. The database would refuse to create over it.
    // (Of the ranks sharing the file, rank 0 alone: another might take rank
    // 0's new file for a stale one.)
    if (ZylDorvProcessGroup::Rank() == 0 && utl_FilePath(fileName, "").Exists())
        std::remove(fileName.Chars());
    database.CreateFile(ZylDroviUnicodeString(fileName), ZylDorvDatabase::CreateExclusive, -1);
    try {
        contextID = database.CreateContext(ZylDorvNamespaceID::AllBits());
        ZylDorvContext context(contextID);
        ZylDorvTransaction transaction(contextID);
        // Empty at first: each matrix's CSets add the labels they list.
        rowCollectionID = context.CreateCollection(0, ZylDorvTypeID());
        columnCollectionID = context.CreateCollection(0, ZylDorvTypeID());
        transaction.Commit();
    } catch (...) {
        CloseAndRemoveFile();
        throw;
    }
}

ZylSrvMatrixContainer::~ZylSrvMatrixContainer()
{
    // Ascending ids, taking the smallest entry out each time rather than
    // walking with an iterator: the walk's stack is allocated, which a
    // destructor cannot let fail, while a removal from a map that shares no
    // node allocates nothing.
    while (const cow_BtreeNode<int, ZylSrvDenseMatrix*>* smallest = matrices.ConstRoot()) {
        while (smallest->Left() != nullptr)
            smallest = smallest->Left();
        ZylSrvDenseMatrix* matrix = smallest->Value();
        const int id = smallest->Key();
        matrices.Remove(id);
        delete matrix;
    }
    CloseAndRemoveFile();
}

void ZylSrvMatrixContainer::CloseAndRemoveFile() noexcept
{
    try {
        database.Close();
    } catch (const ZylDorvException&) {
        // Pending records that could not be written: the object is closed
        // all the same, and the file goes next anyway.
    }
    // Ranks sharing the file: rank 0 removes it once all have closed it.
    ZylDorvProcessGroup::Synchronize();
    if (!database.AbsolutePath().empty() && ZylDorvProcessGroup::Rank() == 0)
        std::remove(database.AbsolutePath().c_str());
}

ZylSrvDenseMatrix& ZylSrvMatrixContainer::Create(int id, int numRows, int numColumns, int rowBlockSize,
                                                 int columnBlockSize)
{
    return CreateMatrix(id, numRows, numColumns, nullptr, nullptr, rowBlockSize, columnBlockSize);
}

ZylSrvDenseMatrix& ZylSrvMatrixContainer::Create(int id, int numRows, int numColumns, const int* rowMembers,
                                                 const int* columnMembers, int rowBlockSize, int columnBlockSize)
{
    return CreateMatrix(id, numRows, numColumns, rowMembers, columnMembers, rowBlockSize, columnBlockSize);
}

ZylSrvDenseMatrix& ZylSrvMatrixContainer::CreateMatrix(int id, int numRows, int numColumns, const int* rowMembers,
                                                       const int* columnMembers, int rowBlockSize,
                                                       int columnBlockSize)
{
    // A second matrix under a registered id would be one the container
    // neither finds nor deletes.
    ZYL_SRV_MTX_REFUSE_IF(matrices.IsMember(id) || numRows < 1 || numColumns < 1, "Create");

    // A refusal of the database takes back the CSets made before it.
    ZylDorvTransaction transaction(contextID);
    const ZylDorvCSetID rowCSet = CreateSideCSet(rowCollectionID, rowMembers, numRows);
    const ZylDorvCSetID columnCSet = CreateSideCSet(columnCollectionID, columnMembers, numColumns);
    const zyl_mtx::ChunkSizes chunks = zyl_mtx::ScratchChunkSizes(numRows, numColumns, rowBlockSize, columnBlockSize);
    const ZylDorvDistributionID distribution =
        ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, chunks.rows, chunks.columns);
    transaction.Commit();

    std::unique_ptr<ZylSrvDenseMatrix> matrix(new ZylSrvDenseMatrix(distribution));
    matrices.InsertUnlessMember(id, matrix.get());
    return *matrix.release();
}

ZylSrvDenseMatrix& ZylSrvMatrixContainer::Get(int id) const
{
    ZylSrvDenseMatrix* matrix = matrices.Lookup(id);
    ZYL_SRV_MTX_REFUSE_IF(matrix == nullptr, "Get");
    return *matrix;
}

bool ZylSrvMatrixContainer::IsMember(int id) const { return matrices.IsMember(id); }

void ZylSrvMatrixContainer::Remove(int id)
{
    ZylSrvDenseMatrix* matrix = matrices.Lookup(id);
    if (matrix == nullptr)
        return;
    matrices.Remove(id);
    delete matrix;
}

int ZylSrvMatrixContainer::Size() const { return matrices.Size(); }

std::int64_t ZYLSRVMATRIXCONTAINERCREATE()
{
    return zyl_mtx::CallForFortran(
        [] { return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(new ZylSrvMatrixContainer)); });
}

int ZYLSRVMATRIXCONTAINERNUMROWS(std::int64_t handle, const int* id)
{
    return zyl_mtx::CallForFortran([&] { return FromHandle(handle).Get(*id).NumberOfRows(); });
}

int ZYLSRVMATRIXCONTAINERNUMCOLUMNS(std::int64_t handle, const int* id)
{
    return zyl_mtx::CallForFortran([&] { return FromHandle(handle).Get(*id).NumberOfColumns(); });
}

void ZYLSRVMATRIXCONTAINERGETVALUES(std::int64_t handle, const int* id, double* values)
{
    zyl_mtx::CallForFortran([&] {
        const ZylSrvDenseMatrix& matrix = FromHandle(handle).Get(*id);
        const int rows = matrix.NumberOfRows();
        const int columns = matrix.NumberOfColumns();
        // The caller's array is the transfer's buffer: no staging copy.
        ZylSrvMatrix wrapped(rows, columns, values);
        matrix.GetValues(0, rows - 1, 0, columns - 1, wrapped);
    });
}

void ZYLSRVMATRIXCONTAINERDELETE(std::int64_t handle)
{
    delete reinterpret_cast<ZylSrvMatrixContainer*>(static_cast<std::intptr_t>(handle));
}
