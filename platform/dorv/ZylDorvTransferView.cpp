// What a transfer addresses: its distribution, the drawer and the selection
// in it (or the CSets of a drawer to be made), each checked on the way.
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvTransferState.h>

#include <unordered_map>

namespace zyl_dorv {

namespace {

// Positions of `cset` in `drawerCSet` when they form a run.
bool RunOf(const CSetData& drawerCSet, const CSetData& cset, std::int64_t& first)
{
    if (cset.size == 0)
        return false;
    if (drawerCSet.strided && drawerCSet.stride == 1) {
        first = cset.Label(0) - drawerCSet.start;
        if (first < 0 || first + cset.size > drawerCSet.size)
            return false;
        for (std::int64_t i = 0; i < cset.size; ++i)
            if (cset.Label(i) != drawerCSet.start + first + i)
                return false;
        return true;
    }
    std::unordered_map<std::int32_t, std::int64_t> position;
    for (std::int64_t i = 0; i < drawerCSet.size; ++i)
        position.emplace(drawerCSet.Label(i), i);
    auto at = position.find(cset.Label(0));
    if (at == position.end())
        return false;
    first = at->second;
    if (first + cset.size > drawerCSet.size)
        return false;
    for (std::int64_t i = 1; i < cset.size; ++i)
        if (drawerCSet.Label(first + i) != cset.Label(i))
            return false;
    return true;
}

} // namespace

Where Locate(const TransferState& s, const std::string& operation)
{
    FileState& file = *s.record->file;
    RequireOpen(file, operation);
    ContextData& context = ContextOf(file, s.record->id.Context().Number(), operation);
    DistributionData& distribution = DistributionOf(file, s.record->id, operation);
    return {&file, &context, &distribution};
}

View CheckView(TransferState& s, const std::string& operation)
{
    View v;
    v.where = Locate(s, operation);
    FileState& file = *v.where.file;
    ContextData& context = *v.where.context;
    DistributionData& distribution = *v.where.distribution;
    const int rank = static_cast<int>(distribution.axes.size());
    v.subject = operation + " of " + DistributionText(file, context, distribution);
    if (s.padded)
        Fail(ZylDorvError_PaddingUnsupported, v.subject + ": buffers are always packed (SetBufferPadding(false))");

    if (s.makeNew) {
        v.subject += ", new drawer";
        for (int k = 0; k < rank; ++k) {
            const DimBinding& d = s.dims[static_cast<std::size_t>(k)];
            const ZylDorvCollectionID axis = AxisCollectionID(file, context, distribution, k);
            if (d.mode != DimBinding::CSet)
                Fail(ZylDorvError_ViewIncomplete, v.subject + ": dimension " + std::to_string(k) + " has no CSet (SetDim)");
            if (d.cset.CollectionID() != axis)
                Fail(ZylDorvError_CollectionMismatch, v.subject + ": the CSet of dimension " + std::to_string(k) +
                                                          " is of collection " + std::to_string(d.cset.CollectionID().Minor()) +
                                                          ", the axis is collection " + std::to_string(axis.Minor()));
            CSetData& cset = CSetOf(file, d.cset, operation);
            if (d.cset.IsTemporary() && distribution.number > 0)
                Fail(ZylDorvError_TemporaryInPermanent, v.subject + ": dimension " + std::to_string(k) +
                                                            " has a temporary CSet");
            v.csets.push_back(&cset);
        }
        if (!s.chunks.empty() && static_cast<int>(s.chunks.size()) != rank)
            Fail(ZylDorvError_InvalidChunking, v.subject + ": " + std::to_string(s.chunks.size()) + " chunk sizes for " +
                                                   std::to_string(rank) + " dimensions");
        if (s.extendableDim >= rank)
            Fail(ZylDorvError_InvalidArgument, v.subject + ": extendable dimension " + std::to_string(s.extendableDim));
        if (s.hasInit && s.init.Key() != distribution.key)
            Fail(ZylDorvError_InitValueMismatch, v.subject + ": initialization value of type key " +
                                                     std::to_string(static_cast<int>(s.init.Key())) + ", values of type key " +
                                                     std::to_string(static_cast<int>(distribution.key)));
        if (s.serialization.IsSparse()) {
            if (rank != 2 || distribution.key != ZylDorvTypeKey::Double)
                Fail(ZylDorvError_SerializationMismatch, v.subject + ": sparse drawers need two dimensions and double values");
            if (s.nonzeros < 0)
                Fail(ZylDorvError_ViewIncomplete, v.subject + ": the number of stored entries is not set (SetSparseNNonzero)");
        }
        std::uint64_t items = 1;
        for (CSetData* c : v.csets) {
            if (c->size > INT32_MAX)
                Fail(ZylDorvError_SizeTooLarge, v.subject + ": a dimension of " + std::to_string(c->size) + " members");
            items *= static_cast<std::uint64_t>(c->size);
        }
        if (items > (std::uint64_t(1) << 56))
            Fail(ZylDorvError_SizeTooLarge, v.subject + ": " + std::to_string(items) + " values");
        return v;
    }

    v.drawer = FindIn(distribution.drawers, s.drawer);
    if (v.drawer == nullptr)
        Fail(ZylDorvError_DrawerNotFound, v.subject + ": no drawer " + std::to_string(s.drawer) + " (the distribution has " +
                                              std::to_string(distribution.drawers.size()) + ")");
    DrawerData& drawer = *v.drawer;
    v.subject += ", drawer " + std::to_string(drawer.index);
    if (s.hasExtension)
        return v;
    if (ZylDorvSerializationType(drawer.kind) != s.serialization)
        Fail(ZylDorvError_SerializationMismatch, v.subject + ": the drawer is " +
                                                     (drawer.kind == ZylDorvSerializationType::Dense ? "dense" : "sparse") +
                                                     ", the transfer is " + (s.serialization.IsDense() ? "dense" : "sparse"));
    v.selection.start.assign(static_cast<std::size_t>(rank), 0);
    v.selection.count.assign(drawer.sizes.begin(), drawer.sizes.end());
    for (int k = 0; k < rank; ++k) {
        const DimBinding& d = s.dims[static_cast<std::size_t>(k)];
        const ZylDorvCollectionID axis = AxisCollectionID(file, context, distribution, k);
        const std::string dim = v.subject + ": dimension " + std::to_string(k);
        const std::int64_t size = drawer.sizes[static_cast<std::size_t>(k)];
        if (d.mode == DimBinding::Unbound)
            continue;
        if (d.collection != axis)
            Fail(ZylDorvError_CollectionMismatch, dim + " is collection " + std::to_string(axis.Minor()) +
                                                      ", the transfer names collection " + std::to_string(d.collection.Minor()));
        if (d.mode == DimBinding::Range) {
            if (drawer.kind != ZylDorvSerializationType::Dense)
                Fail(ZylDorvError_SerializationMismatch, dim + ": sparse drawers are read and written whole");
            if (d.first < 0 || d.first > d.last || d.last >= size)
                Fail(ZylDorvError_OrdinalRangeInvalid, dim + ": ordinals " + std::to_string(d.first) + " to " +
                                                           std::to_string(d.last) + " of " + std::to_string(size) + " members");
            v.selection.start[static_cast<std::size_t>(k)] = static_cast<hsize_t>(d.first);
            v.selection.count[static_cast<std::size_t>(k)] = static_cast<hsize_t>(d.last - d.first + 1);
            continue;
        }
        if (d.cset.Number() == drawer.csets[static_cast<std::size_t>(k)])
            continue;
        if (drawer.kind != ZylDorvSerializationType::Dense)
            Fail(ZylDorvError_SerializationMismatch, dim + ": sparse drawers are read and written whole");
        const CSetData& own = CSetOf(file, ZylDorvCSetID(axis, drawer.csets[static_cast<std::size_t>(k)]), operation);
        const CSetData& wanted = CSetOf(file, d.cset, operation);
        std::int64_t first = 0;
        if (!RunOf(own, wanted, first))
            Fail(ZylDorvError_SelectionNotContiguous, dim + ": CSet " + std::to_string(d.cset.Number()) +
                                                          " is not a run of the drawer's members");
        v.selection.start[static_cast<std::size_t>(k)] = static_cast<hsize_t>(first);
        v.selection.count[static_cast<std::size_t>(k)] = static_cast<hsize_t>(wanted.size);
    }
    return v;
}

const BufferSlot& NeedBuffer(const TransferState& s, int index, std::int64_t bytes, bool reading, const std::string& subject)
{
    const BufferSlot& b = s.buffers[index];
    if (!b.set)
        Fail(ZylDorvError_BufferMissing, subject + ": buffer " + std::to_string(index) + " is not set");
    if (b.bytes < bytes)
        Fail(ZylDorvError_BufferTooSmall, subject + ": buffer " + std::to_string(index) + " holds " + std::to_string(b.bytes) +
                                              " bytes, the transfer needs " + std::to_string(bytes));
    if (reading && b.data == nullptr && bytes > 0)
        Fail(ZylDorvError_BufferReadOnly, subject + ": buffer " + std::to_string(index) + " was given as const");
    return b;
}

std::int64_t SelectionBytes(const View& v)
{
    std::int64_t items = 1;
    for (hsize_t c : v.selection.count)
        items *= static_cast<std::int64_t>(c);
    return items * ItemBytes(v.where.distribution->key);
}

} // namespace zyl_dorv
