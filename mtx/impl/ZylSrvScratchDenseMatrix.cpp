#include <mtx/ZylSrvScratchDenseMatrix.h>

#include <mtx/ZylSrvUtilities.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvScratchChunks.h>
#include <mtx/impl/internal/ZylSrvScratchFileName.h>
#include <platform/atr_String.h>
#include <platform/dorv/ZylDorvCSet.h>
#include <platform/dorv/ZylDorvCollection.h>
#include <platform/dorv/ZylDorvContext.h>
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTransaction.h>
#include <platform/mem.h>

#include <algorithm>

#include <sys/stat.h>

namespace {

// Raise sites here record this class's implementation file.
constexpr const char* kRaiseSource = zyl_mtx::kScratchDenseMatrixSource;
constexpr const char kFilePrefix[] = "ZylSrvScratchDenseMatrix";
constexpr int kLastNameVariant = 999;

// A block size is -1 (the whole side) or at least 1.
bool IsBlockSize(int blockSize) { return blockSize == -1 || blockSize >= 1; }

// The ordered members of a CSet; no block for an empty one.
mem_Array<int> MembersOf(const ZylDorvCSetID& id)
{
    const ZylDorvCSet cset(id);
    const int count = cset.Size();
    if (count <= 0)
        return mem_Array<int>();
    mem_Array<int> labels(static_cast<std::size_t>(count));
    cset.OrderedMembers(labels.Get());
    return labels;
}

} // namespace

ZylSrvScratchDenseMatrix::ZylSrvScratchDenseMatrix()
    : ZylSrvDenseMatrix(), scratchFile(), outerRowCSetID(), outerColumnCSetID()
{
}

ZylSrvScratchDenseMatrix::ZylSrvScratchDenseMatrix(int rows, int columns, int rowBlockSize, int columnBlockSize)
    : ZylSrvScratchDenseMatrix()
{
    CreateScratchStorage(rows, columns, nullptr, nullptr, rowBlockSize, columnBlockSize);
}

ZylSrvScratchDenseMatrix::ZylSrvScratchDenseMatrix(int rows, int columns, const int* rowMembers,
                                                   const int* columnMembers, int rowBlockSize,
                                                   int columnBlockSize)
    : ZylSrvScratchDenseMatrix()
{
    CreateScratchStorage(rows, columns, rowMembers, columnMembers, rowBlockSize, columnBlockSize);
}

ZylSrvScratchDenseMatrix::ZylSrvScratchDenseMatrix(ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet,
                                                   int rowBlockSize, int columnBlockSize)
    : ZylSrvScratchDenseMatrix()
{
    outerRowCSetID = rowCSet;
    outerColumnCSetID = columnCSet;
    const mem_Array<int> rowMembers = MembersOf(rowCSet);
    const mem_Array<int> columnMembers = MembersOf(columnCSet);
    CreateScratchStorage(static_cast<int>(rowMembers.Count()), static_cast<int>(columnMembers.Count()),
                         rowMembers.Get(), columnMembers.Get(), rowBlockSize, columnBlockSize);
}

ZylSrvScratchDenseMatrix::ZylSrvScratchDenseMatrix(const ZylSrvScratchDenseMatrix& parent, int firstRow,
                                                   int lastRow, int firstColumn, int lastColumn)
    : ZylSrvDenseMatrix(parent, firstRow, lastRow, firstColumn, lastColumn),
      scratchFile(parent.scratchFile),
      outerRowCSetID(),
      outerColumnCSetID()
{
}

// The file handle member goes after this body, then the ZylSrvDenseMatrix part.
ZylSrvScratchDenseMatrix::~ZylSrvScratchDenseMatrix() = default;

ZylDorvCSetID ZylSrvScratchDenseMatrix::RowCSetID() const
{
    return outerRowCSetID.IsNull() ? ZylSrvDenseMatrix::RowCSetID() : outerRowCSetID;
}

ZylDorvCSetID ZylSrvScratchDenseMatrix::ColumnCSetID() const
{
    return outerColumnCSetID.IsNull() ? ZylSrvDenseMatrix::ColumnCSetID() : outerColumnCSetID;
}

ZylSrvDenseMatrix* ZylSrvScratchDenseMatrix::Submatrix(int firstRow, int lastRow, int firstColumn,
                                                       int lastColumn) const
{
    return new ZylSrvScratchDenseMatrix(*this, firstRow, lastRow, firstColumn, lastColumn);
}

void ZylSrvScratchDenseMatrix::CreateScratchStorage(int rows, int columns, const int* rowMembers,
                                                    const int* columnMembers, int rowBlockSize,
                                                    int columnBlockSize)
{
    // Refused before any file exists: an empty side has no block, and a block
    // size of 0 or below -1 names no block either.
    ZYL_SRV_MTX_REFUSE_IF(rows < 1 || columns < 1 || !IsBlockSize(rowBlockSize) || !IsBlockSize(columnBlockSize),
                          "ZylSrvScratchDenseMatrix");

    // 1, 2. The plain name, unless a live file holds it (see the header): a
    //    view of a destroyed matrix at this address, or another process. Any
    //    other refusal, including one that leaves no file at the name, goes to
    //    the caller at once. From here on a failure releases the handle with
    //    the partly built object, which deletes the file; a CreateFile that
    //    fails removes what it had made itself.
    for (int variant = 0;; ++variant) {
        const atr_String name = zyl_mtx::ScratchFileName(kFilePrefix, this, variant);
        try {
            scratchFile.Associate(name);
            break;
        } catch (const ZylDorvException& refused) {
            struct stat taken;
            if (refused.Number() != ZylDorvError_FileCreateFailed || variant == kLastNameVariant ||
                ::lstat(name.Chars(), &taken) != 0)
                throw;
        }
    }

    // 3. Everything below is made in one transaction: a failure rolls it back.
    const ZylDorvContextID contextID = scratchFile.ContextID();
    ZylDorvContext context(contextID);
    ZylDorvTransaction transaction(contextID);

    // 4. Row collection, then column collection, untyped.
    ZylDorvCollection rowCollection(context.CreateCollection(rows, ZylDorvTypeID()));
    ZylDorvCollection columnCollection(context.CreateCollection(columns, ZylDorvTypeID()));

    // 5. The CSets: the given members in their order, else all members.
    const ZylDorvCSetID rowCSet =
        rowMembers != nullptr ? rowCollection.CreateOrderedCSet(rowMembers, rows) : rowCollection.BiggestCSetID();
    const ZylDorvCSetID columnCSet = columnMembers != nullptr
                                         ? columnCollection.CreateOrderedCSet(columnMembers, columns)
                                         : columnCollection.BiggestCSetID();

    // 6. Chunks no longer than the sides, no drawer beyond 2 GiB.
    const zyl_mtx::ChunkSizes chunks = zyl_mtx::ScratchChunkSizes(rows, columns, rowBlockSize, columnBlockSize);

    // 7. Columns on axis 0, rows on axis 1, every value 0.0.
    const ZylDorvDistributionID created =
        ZylSrvUtilities::Create2DDistribution(rowCSet, columnCSet, chunks.rows, chunks.columns);

    // 8. Everything made above becomes permanent.
    transaction.Commit();

    // 9. Size, block geometry, scratch CSets and the prepared transfer.
    AttachDistribution(ZylDorvDistribution(created));
}
