#include <mtx/ZylSrvUtilities.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/dorv/ZylDorvCSet.h>
#include <platform/dorv/ZylDorvCollection.h>
#include <platform/dorv/ZylDorvContext.h>
#include <platform/dorv/ZylDorvDistribution.h>
#include <platform/dorv/ZylDorvTransaction.h>
#include <platform/dorv/ZylDorvTransfer.h>
#include <platform/dorv/ZylDorvTypes.h>

#include <algorithm>
#include <cstdint>

namespace {

// Raise sites here record this class's implementation file.
constexpr const char* kRaiseSource = zyl_mtx::kUtilitiesSource;

// Number of 8-byte values in 2 GiB.
constexpr int kValuesIn2GB = 268435456;

ZylDorvRangeType DoubleRange() { return ZylDorvRangeType(ZylDorvTypeKey::Double); }

// The same collection in colour 1: a distinct axis over the same members.
ZylDorvCollectionID ColourOne(const ZylDorvCollectionID& collection)
{
    return ZylDorvCollectionID(collection.Context(), ZylDorvCollectionID::SetColor(collection.Minor(), 1),
                               collection.Type());
}

// The same CSet seen through the colour-1 variant of its collection.
ZylDorvCSetID ColourOne(const ZylDorvCSetID& cset)
{
    return ZylDorvCSetID(cset, ColourOne(cset.CollectionID()));
}

bool SameCollection(const ZylDorvCSetID& a, const ZylDorvCSetID& b)
{
    return ZylDorvDynamicID::Equal(a.CollectionID(), b.CollectionID());
}

int SizeOf(const ZylDorvCSetID& cset) { return ZylDorvCSet(cset).Size(); }

ZylDorvGrid GridOf(const ZylDorvArray<ZylDorvCSetID>& axes)
{
    ZylDorvArray<ZylDorvCollectionID> collections;
    for (int k = 0; k < axes.Size(); ++k)
        collections.Append(axes[k].CollectionID());
    return ZylDorvGrid(collections);
}

// Runs `make`, which creates a distribution and fills in its drawer, in a
// transaction of its own on `context`. The database checks a drawer's chunks
// and CSets, and writes its values, only after the distribution record
// exists; when such a later step fails, abandoning the transaction removes
// the record and whatever else `make` created, so a refused call leaves the
// caller's database as it was. Committing hands the work to the caller's
// transaction on that context when there is one (it is the enclosing one),
// else makes it permanent, as it would have been without ours.
template <typename Make>
ZylDorvDistributionID AllOrNothing(const ZylDorvContextID& context, Make&& make)
{
    ZylDorvTransaction own(context);
    const ZylDorvDistributionID id = make();
    own.Commit();
    return id;
}

// Context route: in the context of `collection`, untyped.
ZylDorvDistributionID CreateInContextOf(const ZylDorvCollectionID& collection, const ZylDorvGrid& grid,
                                        const ZylDorvRangeType& range)
{
    ZylDorvContext context(collection.Context());
    return context.CreateDistribution(grid, range, ZylDorvTypeID());
}

// Transaction route: through the position, typed when type >= 0.
ZylDorvDistributionID CreateThroughPosition(ZylDorvTransaction& transaction, const ZylSrvPosition& position, int type,
                                            const ZylDorvGrid& grid)
{
    if (type < 0)
        return position.CreateDistribution(transaction, grid, DoubleRange());
    return position.CreateTypedDistribution(transaction, grid, type, DoubleRange());
}

// Makes the drawer of a new value distribution over `axes`, every value 0.0;
// chunked when `chunks` is given.
void InitializeDrawer(const ZylDorvDistributionID& id, const ZylDorvArray<ZylDorvCSetID>& axes,
                      const ZylDorvArray<int>* chunks)
{
    ZylDorvDistribution distribution(id);
    ZylDorvTransfer transfer(distribution);
    if (chunks != nullptr)
        transfer.SetMakeNewDrawerChunked(*chunks);
    else
        transfer.SetMakeNewDrawer();
    transfer.SetWrite();
    for (int k = 0; k < axes.Size(); ++k)
        transfer.SetDim(k, axes[k]);
    transfer.SetInitializationValue(ZylDorvRangeValue(0.0));
    transfer.CheckView();
    transfer.InitializePersistentDrawer();
}

// Runs `create` and makes the new distribution's drawer as one all-or-nothing
// step in `context`.
template <typename Create>
ZylDorvDistributionID CreateWithDrawer(const ZylDorvContextID& context, const ZylDorvArray<ZylDorvCSetID>& axes,
                                       const ZylDorvArray<int>* chunks, Create&& create)
{
    return AllOrNothing(context, [&] {
        const ZylDorvDistributionID id = create();
        InitializeDrawer(id, axes, chunks);
        return id;
    });
}

// Axes [columns, rows] of a 2-D value distribution; the columns take colour 1
// when both lie in one collection.
ZylDorvArray<ZylDorvCSetID> MatrixAxes(const ZylDorvCSetID& rowCSet, const ZylDorvCSetID& columnCSet)
{
    const ZylDorvCSetID columns = SameCollection(rowCSet, columnCSet) ? ColourOne(columnCSet) : columnCSet;
    return ZylDorvArray<ZylDorvCSetID>{columns, rowCSet};
}

// Chunk array [columnChunk, rowChunk] with -1 standing for the whole side;
// false when both sides are asked for whole (unchunked).
bool MatrixChunks(const ZylDorvCSetID& rowCSet, const ZylDorvCSetID& columnCSet, int rowChunk, int columnChunk,
                  ZylDorvArray<int>& chunks)
{
    if (rowChunk == -1 && columnChunk == -1)
        return false;
    chunks = ZylDorvArray<int>{columnChunk == -1 ? SizeOf(columnCSet) : columnChunk,
                               rowChunk == -1 ? SizeOf(rowCSet) : rowChunk};
    return true;
}

} // namespace

void ZylSrvUtilities::LimitChunkSize2GB(int& rowChunk, int& columnChunk, int numRows, int numColumns)
{
    ZYL_SRV_MTX_REFUSE_IF(numRows < 1 || numColumns < 1, "LimitChunkSize2GB");
    rowChunk = std::min(rowChunk, kValuesIn2GB / numColumns);
    columnChunk = std::min(columnChunk, kValuesIn2GB / numRows);
}

ZylDorvDistributionID ZylSrvUtilities::Create1DDistribution(ZylDorvCSetID cset, int chunk)
{
    const ZylDorvArray<ZylDorvCSetID> axes{cset};
    const ZylDorvArray<int> chunks{chunk};
    return CreateWithDrawer(cset.CollectionID().Context(), axes, chunk != -1 ? &chunks : nullptr,
                            [&] { return CreateInContextOf(cset.CollectionID(), GridOf(axes), DoubleRange()); });
}

ZylDorvDistributionID ZylSrvUtilities::Create1DDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                            int type, ZylDorvCSetID cset, int chunk)
{
    const ZylDorvArray<ZylDorvCSetID> axes{cset};
    const ZylDorvArray<int> chunks{chunk};
    return CreateWithDrawer(position.ContextID(), axes, chunk != -1 ? &chunks : nullptr,
                            [&] { return CreateThroughPosition(transaction, position, type, GridOf(axes)); });
}

ZylDorvDistributionID ZylSrvUtilities::Create2DDistribution(ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet,
                                                            int rowChunk, int columnChunk)
{
    const ZylDorvArray<ZylDorvCSetID> axes = MatrixAxes(rowCSet, columnCSet);
    ZylDorvArray<int> chunks;
    const bool chunked = MatrixChunks(rowCSet, columnCSet, rowChunk, columnChunk, chunks);
    return CreateWithDrawer(rowCSet.CollectionID().Context(), axes, chunked ? &chunks : nullptr,
                            [&] { return CreateInContextOf(rowCSet.CollectionID(), GridOf(axes), DoubleRange()); });
}

ZylDorvDistributionID ZylSrvUtilities::Create2DDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                            int type, ZylDorvCSetID rowCSet, ZylDorvCSetID columnCSet,
                                                            int rowChunk, int columnChunk)
{
    // A chunk that does not split its side asks for the whole side.
    if (!(SizeOf(rowCSet) > rowChunk))
        rowChunk = -1;
    if (!(SizeOf(columnCSet) > columnChunk))
        columnChunk = -1;
    const ZylDorvArray<ZylDorvCSetID> axes = MatrixAxes(rowCSet, columnCSet);
    ZylDorvArray<int> chunks;
    const bool chunked = MatrixChunks(rowCSet, columnCSet, rowChunk, columnChunk, chunks);
    return CreateWithDrawer(position.ContextID(), axes, chunked ? &chunks : nullptr,
                            [&] { return CreateThroughPosition(transaction, position, type, GridOf(axes)); });
}

ZylDorvDistributionID ZylSrvUtilities::CreateSparseDistribution(ZylDorvCSetID& firstCSet, ZylDorvCSetID& secondCSet)
{
    const bool shared = SameCollection(firstCSet, secondCSet);
    const ZylDorvCSetID second = shared ? ColourOne(secondCSet) : secondCSet;
    const ZylDorvDistributionID id =
        CreateInContextOf(firstCSet.CollectionID(), GridOf(ZylDorvArray<ZylDorvCSetID>{firstCSet, second}),
                          DoubleRange());
    secondCSet = second;
    return id;
}

ZylDorvDistributionID ZylSrvUtilities::CreateSparseDistribution(ZylDorvTransaction& transaction,
                                                                ZylSrvPosition position, int type,
                                                                ZylDorvCSetID& firstCSet, ZylDorvCSetID& secondCSet)
{
    const bool shared = SameCollection(firstCSet, secondCSet);
    ZylDorvCSetID second = secondCSet;
    if (shared) {
        ZylDorvCollection(secondCSet.CollectionID()).CreateColorVariant(1);
        second = ColourOne(secondCSet);
    }
    const ZylDorvDistributionID id = CreateThroughPosition(
        transaction, position, type, GridOf(ZylDorvArray<ZylDorvCSetID>{firstCSet, second}));
    secondCSet = second;
    return id;
}

ZylDorvDistributionID ZylSrvUtilities::CreateDistribution(ZylDorvTransaction& transaction, ZylSrvPosition position,
                                                          int type, ZylDorvArray<ZylDorvCSetID> csets,
                                                          ZylDorvArray<int> chunks, bool temporary)
{
    const int n = csets.Size();
    ZylDorvArray<ZylDorvCSetID> axes(n);
    for (int k = 0; k < n; ++k)
        axes[k] = csets[n - 1 - k];

    // Each pair in one collection recolours its later axis; one pair at most.
    int sharedPairs = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (SameCollection(axes[i], axes[j])) {
                axes[j] = ColourOne(axes[j]);
                ++sharedPairs;
            }
        }
    }
    if (sharedPairs > 1)
        return ZylDorvDistributionID();
    // Only a grid that can be made needs its chunks.
    ZYL_SRV_MTX_REFUSE_IF(!chunks.IsEmpty() && chunks.Size() < n, "CreateDistribution");

    ZylDorvArray<int> chunkArray(chunks.IsEmpty() ? 0 : n);
    for (int k = 0; k < chunkArray.Size(); ++k)
        chunkArray[k] = chunks[n - 1 - k];

    const ZylDorvGrid grid = GridOf(axes);
    // Temporary distributions are taken back with the transaction as well.
    return CreateWithDrawer(position.ContextID(), axes, chunks.IsEmpty() ? nullptr : &chunkArray, [&] {
        if (!temporary)
            return CreateThroughPosition(transaction, position, type, grid);
        ZylDorvContext context = position.Context();
        const ZylDorvTypeID typeID = type >= 0 ? context.Schema().TypeID(type) : ZylDorvTypeID();
        return context.CreateTempDistribution(grid, DoubleRange(), typeID);
    });
}

ZylDorvDistributionID ZylSrvUtilities::Write1DIntDistribution(ZylDorvCSetID cset, const int* values, int count)
{
    const int size = SizeOf(cset);
    ZYL_SRV_MTX_REFUSE_IF(count != size || (values == nullptr && count > 0), "Write1DIntDistribution");

    const ZylDorvArray<ZylDorvCSetID> axes{cset};
    return AllOrNothing(cset.CollectionID().Context(), [&] {
        const ZylDorvDistributionID id =
            CreateInContextOf(cset.CollectionID(), GridOf(axes), ZylDorvRangeType(ZylDorvTypeKey::Int32));
        ZylDorvDistribution distribution(id);
        ZylDorvTransfer transfer(distribution);
        transfer.SetMakeNewDrawer();
        transfer.SetBufferPadding(false);
        transfer.SetWrite();
        transfer.SetDim(0, cset);
        transfer.CheckView();
        // The transfer only borrows `values` and never frees it: a failed
        // write leaves the caller's array as it was, with nothing to release.
        transfer.SetBuffer(0, static_cast<const void*>(values), static_cast<std::int64_t>(count) * 4);
        transfer.ExecWrite();
        transfer.RelinquishBuffers();
        return id;
    });
}
