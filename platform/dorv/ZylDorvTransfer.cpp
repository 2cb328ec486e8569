// Transfers: their settings, and the reads, writes, drawer creation and
// extension they run (see internal/ZylDorvTransferState.h for the pieces).
#include <platform/dorv/ZylDorvCSet.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTransfer.h>
#include <platform/dorv/internal/ZylDorvSeam.h>
#include <platform/dorv/internal/ZylDorvTransferState.h>

using namespace zyl_dorv;

// ---- ZylDorvTransfer --------------------------------------------------------------

ZylDorvTransfer::ZylDorvTransfer(const ZylDorvDistribution& distribution) : m_state(new TransferState)
{
    if (!distribution.m_record)
        Fail(ZylDorvError_NullIdentifier, "ZylDorvTransfer: null distribution handle");
    m_state->record = distribution.m_record;
    Where w = Locate(*m_state, "ZylDorvTransfer");
    m_state->dims.resize(w.distribution->axes.size());
}

ZylDorvTransfer::ZylDorvTransfer(const ZylDorvTransfer& other) : m_state(new TransferState(*other.m_state)) {}

ZylDorvTransfer& ZylDorvTransfer::operator=(const ZylDorvTransfer& other)
{
    if (this != &other)
        m_state.reset(new TransferState(*other.m_state));
    return *this;
}

ZylDorvTransfer::ZylDorvTransfer(ZylDorvTransfer&& other) noexcept = default;
ZylDorvTransfer& ZylDorvTransfer::operator=(ZylDorvTransfer&& other) noexcept = default;
ZylDorvTransfer::~ZylDorvTransfer() = default;

namespace {

TransferState& State(const std::unique_ptr<TransferState>& state)
{
    if (!state)
        Fail(ZylDorvError_NullIdentifier, "ZylDorvTransfer: the transfer was moved from");
    return *state;
}

void CheckDim(const TransferState& s, int k, const char* operation)
{
    if (k < 0 || k >= static_cast<int>(s.dims.size()))
        Fail(ZylDorvError_InvalidArgument, std::string(operation) + ": dimension " + std::to_string(k) +
                                               " of a distribution of " + std::to_string(s.dims.size()) + " dimensions");
}

} // namespace

void ZylDorvTransfer::SetRead() { State(m_state).read = true; }
void ZylDorvTransfer::SetWrite() { State(m_state).write = true; }
void ZylDorvTransfer::SetBufferPadding(bool padded) { State(m_state).padded = padded; }

void ZylDorvTransfer::SetDrawer(int index)
{
    TransferState& s = State(m_state);
    if (index < 0)
        Fail(ZylDorvError_InvalidArgument, "SetDrawer(" + std::to_string(index) + ")");
    s.drawer = index;
    s.makeNew = false;
}

void ZylDorvTransfer::SetMakeNewDrawer()
{
    TransferState& s = State(m_state);
    s.makeNew = true;
    s.chunks.clear();
}

void ZylDorvTransfer::SetMakeNewDrawerChunked(const ZylDorvArray<int>& chunks)
{
    TransferState& s = State(m_state);
    if (chunks.Size() != static_cast<int>(s.dims.size()))
        Fail(ZylDorvError_InvalidChunking, "SetMakeNewDrawerChunked: " + std::to_string(chunks.Size()) +
                                               " chunk sizes for " + std::to_string(s.dims.size()) + " dimensions");
    for (int k = 0; k < chunks.Size(); ++k)
        if (chunks[k] < 1)
            Fail(ZylDorvError_InvalidChunking, "SetMakeNewDrawerChunked: chunk size " + std::to_string(chunks[k]) +
                                                   " of dimension " + std::to_string(k) + " (1 or more expected)");
    s.makeNew = true;
    s.chunks.assign(chunks.Data(), chunks.Data() + chunks.Size());
}

void ZylDorvTransfer::SetExtendableDim(int k)
{
    TransferState& s = State(m_state);
    CheckDim(s, k, "SetExtendableDim");
    s.extendableDim = k;
}

void ZylDorvTransfer::SetDim(int k, ZylDorvCSetID cset)
{
    TransferState& s = State(m_state);
    CheckDim(s, k, "SetDim");
    if (cset.IsNull())
        Fail(ZylDorvError_NullIdentifier, "SetDim(" + std::to_string(k) + "): null CSet ID");
    DimBinding& d = s.dims[static_cast<std::size_t>(k)];
    d.mode = DimBinding::CSet;
    d.cset = cset;
    d.collection = cset.CollectionID();
}

void ZylDorvTransfer::SetInitializationValue(const ZylDorvRangeValue& value)
{
    TransferState& s = State(m_state);
    s.hasInit = true;
    s.init = value;
}

void ZylDorvTransfer::SetSerialization(const ZylDorvSerializationType& type) { State(m_state).serialization = type; }

void ZylDorvTransfer::SetSparseNNonzero(std::int64_t m)
{
    if (m < 0 || m > INT32_MAX)
        Fail(ZylDorvError_InvalidArgument, "SetSparseNNonzero(" + std::to_string(m) + "): 0 to 2^31-1 expected");
    State(m_state).nonzeros = m;
}

void ZylDorvTransfer::SetDimOrdinalRange(int dim, ZylDorvCollectionID collection, int first, int last)
{
    TransferState& s = State(m_state);
    CheckDim(s, dim, "SetDimOrdinalRange");
    DimBinding& d = s.dims[static_cast<std::size_t>(dim)];
    d.mode = DimBinding::Range;
    d.collection = collection;
    d.first = first;
    d.last = last;
}

void ZylDorvTransfer::SetDimExtension(ZylDorvCSetID cset)
{
    TransferState& s = State(m_state);
    if (cset.IsNull())
        Fail(ZylDorvError_NullIdentifier, "SetDimExtension: null CSet ID");
    s.hasExtension = true;
    s.extension = cset;
}

void ZylDorvTransfer::SetBuffer(int index, void* data, std::int64_t bytes)
{
    TransferState& s = State(m_state);
    if (index < 0 || index > 3 || bytes < 0 || (data == nullptr && bytes > 0))
        Fail(ZylDorvError_InvalidArgument, "SetBuffer(" + std::to_string(index) + ", ..., " + std::to_string(bytes) +
                                               "): buffer 0 to 3, a pointer and a size >= 0 expected");
    s.buffers[index] = BufferSlot{data, data, bytes, true};
}

void ZylDorvTransfer::SetBuffer(int index, const void* data, std::int64_t bytes)
{
    SetBuffer(index, const_cast<void*>(data), bytes);
    m_state->buffers[index].data = nullptr; // read-only: only writes may use it
}

void ZylDorvTransfer::RelinquishBuffers() noexcept
{
    if (m_state)
        for (BufferSlot& b : m_state->buffers)
            b = BufferSlot();
}

ZylDorvDistribution ZylDorvTransfer::Distribution() const
{
    ZylDorvDistribution d;
    d.m_record = State(m_state).record;
    return d;
}

namespace {

void ForcedFailure(const std::string& subject) { SeamCheck(SeamKind::ValueWrite, subject); }
// For writes that make or grow a drawer: every process of a group makes them.
void ForcedFailureOfGroup(const std::string& subject) { CollectiveSeamCheck(SeamKind::ValueWrite, subject); }

void ReadSparseDataset(hid_t group, const char* name, hid_t memType, std::int64_t count, void* data, const std::string& detail)
{
    if (count == 0)
        return;
    Hid set = Checked(H5Dopen2(group, name, H5P_DEFAULT), ZylDorvError_ValueReadFailed, detail + ", dataset " + name);
    Checked(H5Dread(set.Get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data), ZylDorvError_ValueReadFailed,
            detail + ", dataset " + name);
}

} // namespace

void ZylDorvTransfer::CheckView()
{
    TransferState& s = State(m_state);
    zyl_dorv::CheckView(s, "CheckView");
}

void ZylDorvTransfer::ExecRead()
{
    TransferState& s = State(m_state);
    if (!s.read)
        Fail(ZylDorvError_TransferModeMissing, "ExecRead: the transfer is not set for reading (SetRead)");
    if (s.makeNew)
        Fail(ZylDorvError_TransferModeMissing, "ExecRead: the transfer is set to make a new drawer");
    View v = zyl_dorv::CheckView(s, "ExecRead");
    SeamCheck(SeamKind::ValueRead, v.subject);
    DrawerData& drawer = *v.drawer;
    if (drawer.kind == ZylDorvSerializationType::Dense) {
        const BufferSlot& b = NeedBuffer(s, 0, SelectionBytes(v), true, v.subject);
        ChunkedIO(MakeDenseIO(*v.where.file, *v.where.distribution, drawer, v.subject), v.selection, static_cast<unsigned char*>(b.data), false);
        return;
    }
    const std::int64_t rows = drawer.sizes[0], m = drawer.nonzeros;
    const bool symmetric = drawer.kind == ZylDorvSerializationType::SparseSym;
    const BufferSlot& values = NeedBuffer(s, 0, m * 8, true, v.subject);
    const BufferSlot& indices = NeedBuffer(s, 1, m * 4, true, v.subject);
    const BufferSlot& offsets = NeedBuffer(s, 2, (rows + 1) * 4, true, v.subject);
    const hid_t g = drawer.object.Get();
    ReadSparseDataset(g, "row_offsets", H5T_NATIVE_INT32, rows + 1, offsets.data, v.subject);
    ReadSparseDataset(g, "column_indices", H5T_NATIVE_INT32, m, indices.data, v.subject);
    ReadSparseDataset(g, "values", H5T_NATIVE_DOUBLE, m, values.data, v.subject);
    if (symmetric) {
        const BufferSlot& diagonal = NeedBuffer(s, 3, rows * 8, true, v.subject);
        ReadSparseDataset(g, "diagonal", H5T_NATIVE_DOUBLE, rows, diagonal.data, v.subject);
    }
}

void ZylDorvTransfer::ExecReadAhead(ZylDorvReadAhead& ahead)
{
    if (!m_state || !m_state->read || m_state->makeNew)
        return;
    try {
        View v = zyl_dorv::CheckView(*m_state, "ExecReadAhead");
        if (v.drawer->kind != ZylDorvSerializationType::Dense)
            return;
        const DenseIO io = MakeDenseIO(*v.where.file, *v.where.distribution, *v.drawer, v.subject);
        for (const FileSpan& span : ChunkSpans(io, v.selection))
            ahead.Prepare(io.fd, span.offset, span.length);
        ahead.Submit(); // the spans of one selection reach the kernel together
    } catch (const ZylDorvException&) {
        // The read itself will say what is wrong.
    }
}

void ZylDorvTransfer::ExecWrite()
{
    TransferState& s = State(m_state);
    if (!s.write)
        Fail(ZylDorvError_TransferModeMissing, "ExecWrite: the transfer is not set for writing (SetWrite)");
    View v = zyl_dorv::CheckView(s, "ExecWrite");
    // Values of an existing drawer in a read-only database fail in HDF5 (70);
    // making a drawer there is refused before anything is done (63).
    if (s.makeNew)
        RequireWritable(*v.where.file, v.subject);
    if (s.makeNew && s.serialization.IsSparse()) {
        ForcedFailureOfGroup(v.subject);
        MakeSparseDrawer(s, v);
        return;
    }
    if (s.makeNew) {
        std::int64_t bytes = ItemBytes(v.where.distribution->key);
        for (CSetData* c : v.csets)
            bytes *= c->size;
        NeedBuffer(s, 0, bytes, false, v.subject);
        ForcedFailureOfGroup(v.subject);
        DrawerData& drawer = MakeDenseDrawer(s, v);
        v.drawer = &drawer;
        v.selection.start.assign(drawer.sizes.size(), 0);
        v.selection.count.assign(drawer.sizes.begin(), drawer.sizes.end());
        v.subject += " " + std::to_string(drawer.index);
    } else {
        if (v.drawer->kind != ZylDorvSerializationType::Dense)
            Fail(ZylDorvError_SerializationMismatch, v.subject + ": a sparse drawer is written once, when it is made");
        NeedBuffer(s, 0, SelectionBytes(v), false, v.subject);
        ForcedFailure(v.subject);
    }
    const BufferSlot& b = s.buffers[0];
    try {
        ChunkedIO(MakeDenseIO(*v.where.file, *v.where.distribution, *v.drawer, v.subject), v.selection,
                  static_cast<unsigned char*>(const_cast<void*>(b.constData)), true);
    } catch (const ZylDorvException&) {
        // HDF5 1.10 remembers the address of a chunk whose write failed as if
        // the chunk were recorded; a later write of that chunk would then go
        // unrecorded. Opening the dataset afresh forgets it.
        ReopenDataset(*v.where.distribution, *v.drawer);
        throw;
    }
}

void ZylDorvTransfer::InitializePersistentDrawer()
{
    TransferState& s = State(m_state);
    if (!s.write)
        Fail(ZylDorvError_TransferModeMissing, "InitializePersistentDrawer: the transfer is not set for writing (SetWrite)");
    if (!s.makeNew)
        Fail(ZylDorvError_TransferModeMissing, "InitializePersistentDrawer: the transfer is not set to make a drawer "
                                               "(SetMakeNewDrawer or SetMakeNewDrawerChunked)");
    View v = zyl_dorv::CheckView(s, "InitializePersistentDrawer");
    if (s.serialization.IsSparse())
        Fail(ZylDorvError_SerializationMismatch, v.subject + ": sparse drawers are made by ExecWrite");
    RequireWritable(*v.where.file, v.subject);
    ForcedFailureOfGroup(v.subject);
    MakeDenseDrawer(s, v);
}

void ZylDorvTransfer::InitializeExtension()
{
    TransferState& s = State(m_state);
    if (!s.write)
        Fail(ZylDorvError_TransferModeMissing, "InitializeExtension: the transfer is not set for writing (SetWrite)");
    if (!s.hasExtension)
        Fail(ZylDorvError_TransferModeMissing, "InitializeExtension: no extension is set (SetDimExtension)");
    if (s.makeNew)
        Fail(ZylDorvError_TransferModeMissing, "InitializeExtension: the transfer is set to make a new drawer");
    View v = zyl_dorv::CheckView(s, "InitializeExtension");
    Where w = v.where;
    FileState& file = *w.file;
    ContextData& context = *w.context;
    DistributionData& distribution = *w.distribution;
    DrawerData& drawer = *v.drawer;
    RequireWritable(file, v.subject);
    if (drawer.kind != ZylDorvSerializationType::Dense)
        Fail(ZylDorvError_SerializationMismatch, v.subject + ": sparse drawers cannot be extended");
    const int rank = static_cast<int>(distribution.axes.size());
    int dim = -1;
    for (int k = 0; k < rank && dim < 0; ++k)
        if (AxisCollectionID(file, context, distribution, k) == s.extension.CollectionID())
            dim = k;
    if (dim < 0)
        Fail(ZylDorvError_ExtensionInvalid, v.subject + ": no dimension is collection " +
                                                std::to_string(s.extension.CollectionID().Minor()));
    const ZylDorvCollectionID axis = AxisCollectionID(file, context, distribution, dim);
    const CSetData& added = CSetOf(file, s.extension, v.subject);
    if (added.size == 0)
        Fail(ZylDorvError_ExtensionInvalid, v.subject + ": the extension CSet is empty");
    const ZylDorvCSetID oldID(axis, drawer.csets[static_cast<std::size_t>(dim)]);
    if (ZylDorvCSet(oldID).HasOverlap(s.extension))
        Fail(ZylDorvError_ExtensionInvalid, v.subject + ": the extension CSet shares members with dimension " +
                                                std::to_string(dim));
    const CSetData& old = CSetOf(file, oldID, v.subject);
    const std::int64_t newSize = old.size + added.size;
    if (newSize > INT32_MAX)
        Fail(ZylDorvError_SizeTooLarge, v.subject + ": " + std::to_string(newSize) + " members");
    ForcedFailureOfGroup(v.subject);
    CSetData merged;
    merged.labels.reserve(static_cast<std::size_t>(newSize));
    for (std::int64_t i = 0; i < old.size; ++i)
        merged.labels.push_back(old.Label(i));
    for (std::int64_t i = 0; i < added.size; ++i)
        merged.labels.push_back(added.Label(i));
    CollectionData& collection = CollectionOf(file, axis, v.subject);
    LocalUndo undo(context);
    const std::int64_t mergedNumber =
        CreateCSetRecord(file, context, collection, std::move(merged), distribution.number < 0, v.subject);
    if (mergedNumber > 0)
        undo.Add(ForgetCSet(file, context.number, collection.minor, mergedNumber));
    std::vector<hsize_t> oldDims(drawer.sizes.begin(), drawer.sizes.end()), newDims = oldDims;
    newDims[static_cast<std::size_t>(dim)] = static_cast<hsize_t>(newSize);
    const std::vector<std::int64_t> oldCSets = drawer.csets;
    FileState* f = &file;
    const std::int32_t c = context.number;
    const std::int64_t d = distribution.number;
    const int index = drawer.index;
    undo.Add([f, c, d, index, oldDims, oldCSets] {
        DrawerData* back = FindDrawer(*f, c, d, index);
        if (back == nullptr)
            return;
        H5Dset_extent(back->object.Get(), oldDims.data());
        H5Eclear2(H5E_DEFAULT);
        back->sizes.assign(oldDims.begin(), oldDims.end());
        back->chunkAddress.clear();
        back->csets = oldCSets;
        WriteAttr(back->object.Get(), "csets", oldCSets, "rollback");
    });
    Checked(H5Dset_extent(drawer.object.Get(), newDims.data()), ZylDorvError_ExtensionFailed, v.subject);
    drawer.chunkAddress.clear();
    drawer.csets[static_cast<std::size_t>(dim)] = mergedNumber;
    drawer.sizes[static_cast<std::size_t>(dim)] = newSize;
    WriteAttr(drawer.object.Get(), "csets", drawer.csets, v.subject);
    undo.Keep();
}
