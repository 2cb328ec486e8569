// New drawers: the storage of a dense or sparse drawer made and recorded,
// taken back when any step of it fails.
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvFileSharing.h>
#include <platform/dorv/internal/ZylDorvSeam.h>
#include <platform/dorv/internal/ZylDorvTransferState.h>

#include <algorithm>

namespace zyl_dorv {

namespace {

// Bytes of one HDF5 storage chunk that the drawer creation aims at.
constexpr std::int64_t kStorageChunkBytes = std::int64_t(1) << 20;

// Storage chunks follow the reported blocks (the whole dimension when the
// drawer is not chunked), split into equal parts until a chunk holds about
// kStorageChunkBytes, the last dimension (contiguous in buffers) kept whole
// first. Far below HDF5's 4 GiB limit on a chunk.
std::vector<hsize_t> StorageChunk(const std::vector<std::int64_t>& blocks, int itemBytes)
{
    std::vector<hsize_t> chunk(blocks.size(), 1);
    std::int64_t budget = std::max<std::int64_t>(1, kStorageChunkBytes / itemBytes);
    for (std::size_t k = blocks.size(); k-- > 0;) {
        const std::int64_t want = std::max<std::int64_t>(1, blocks[k]);
        std::int64_t c = want;
        if (want > budget) {
            const std::int64_t pieces = (want + budget - 1) / budget;
            c = (want + pieces - 1) / pieces;
        }
        chunk[k] = static_cast<hsize_t>(c);
        budget = std::max<std::int64_t>(1, budget / c);
    }
    return chunk;
}

// Undo step: forget drawer `index` of distribution `d`, delete its storage
// and hand its index out again, so that the next drawer is drawer `index`
// (drawers are made last first undone, so the index falls back in order).
std::function<void()> ForgetDrawer(FileState* f, std::int32_t c, std::int64_t d, int index)
{
    return [f, c, d, index] {
        if (DistributionData* distribution = FindDistribution(*f, c, d)) {
            distribution->drawers.erase(index);
            DeleteLink(distribution->group, Name("drawer", index));
            if (distribution->nextDrawer > index) {
                distribution->nextDrawer = index;
                WriteAttr(distribution->group.Get(), "next_drawer", std::int64_t(index), "rollback");
            }
        }
    };
}

void WriteSparseDataset(hid_t group, const char* name, hid_t fileType, hid_t memType, std::int64_t count, const void* data,
                        const std::string& detail)
{
    const hsize_t n = static_cast<hsize_t>(count);
    Hid space = Checked(H5Screate_simple(1, &n, nullptr), ZylDorvError_DrawerCreateFailed, detail);
    Hid set = Checked(H5Dcreate2(group, name, fileType, space.Get(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                      ZylDorvError_DrawerCreateFailed, detail);
    if (count > 0)
        Checked(H5Dwrite(set.Get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data), ZylDorvError_ValueWriteFailed,
                detail + ", dataset " + name);
}

} // namespace

DrawerData& MakeDenseDrawer(TransferState& s, View& v)
{
    Where w = v.where;
    DistributionData& distribution = *w.distribution;
    RequireWritable(*w.file, v.subject);
    const int rank = static_cast<int>(distribution.axes.size());
    DrawerData drawer;
    drawer.index = distribution.nextDrawer;
    drawer.kind = ZylDorvSerializationType::Dense;
    drawer.chunks = s.chunks;
    drawer.extendableDim = s.extendableDim;
    drawer.init = s.hasInit ? s.init
                            : (distribution.key == ZylDorvTypeKey::Double ? ZylDorvRangeValue(0.0) : ZylDorvRangeValue(std::int32_t(0)));
    std::vector<std::int64_t> blocks;
    std::vector<hsize_t> dims, maxDims(static_cast<std::size_t>(rank), H5S_UNLIMITED);
    for (int k = 0; k < rank; ++k) {
        drawer.csets.push_back(v.csets[static_cast<std::size_t>(k)]->number);
        drawer.sizes.push_back(v.csets[static_cast<std::size_t>(k)]->size);
        dims.push_back(static_cast<hsize_t>(drawer.sizes.back()));
        blocks.push_back(s.chunks.empty() ? drawer.sizes.back() : s.chunks[static_cast<std::size_t>(k)]);
    }
    drawer.storageChunk = StorageChunk(blocks, ItemBytes(distribution.key));
    const std::string detail = v.subject;
    const std::uint16_t fail = ZylDorvError_DrawerCreateFailed;
    Hid space = Checked(H5Screate_simple(rank, dims.data(), maxDims.data()), fail, detail);
    Hid dcpl = Checked(H5Pcreate(H5P_DATASET_CREATE), fail, detail);
    Checked(H5Pset_chunk(dcpl.Get(), rank, drawer.storageChunk.data()), fail, detail);
    unsigned char fill[8] = {};
    InitBytes(distribution.key, drawer.init, fill);
    Checked(H5Pset_fill_value(dcpl.Get(), MemType(distribution.key), fill), fail, detail);
    Checked(H5Pset_fill_time(dcpl.Get(), H5D_FILL_TIME_IFSET), fail, detail);
    Checked(H5Pset_alloc_time(dcpl.Get(), H5D_ALLOC_TIME_INCR), fail, detail);
    Hid dapl = Checked(H5Pcreate(H5P_DATASET_ACCESS), fail, detail);
    Checked(H5Pset_chunk_cache(dapl.Get(), 0, 0, 1.0), fail, detail);
    const std::string name = Name("drawer", drawer.index);
    const int index = drawer.index;
    LocalUndo undo(*w.context);
    undo.Add(ForgetDrawer(w.file, w.context->number, distribution.number, index));
    SeamCheck(SeamKind::RecordWrite, detail);
    Collectively([&] {
        drawer.object = Checked(H5Dcreate2(distribution.group.Get(), name.c_str(), FileType(distribution.key), space.Get(),
                                           H5P_DEFAULT, dcpl.Get(), dapl.Get()),
                                fail, detail);
        const hid_t ds = drawer.object.Get();
        WriteAttr(ds, "serialization", std::int64_t(0), detail);
        WriteAttr(ds, "csets", drawer.csets, detail);
        if (!drawer.chunks.empty())
            WriteAttr(ds, "chunks", std::vector<std::int64_t>(drawer.chunks.begin(), drawer.chunks.end()), detail);
        WriteAttr(ds, "extendable_dim", std::int64_t(drawer.extendableDim), detail);
        WriteAttr(distribution.group.Get(), "next_drawer", std::int64_t(index + 1), detail);
        distribution.nextDrawer = index + 1;
        distribution.drawers.emplace(index, std::move(drawer));
    });
    undo.Keep();
    s.makeNew = false;
    s.drawer = index;
    return distribution.drawers.at(index);
}

void MakeSparseDrawer(TransferState& s, View& v)
{
    Where w = v.where;
    DistributionData& distribution = *w.distribution;
    RequireWritable(*w.file, v.subject);
    const bool symmetric = s.serialization.IsSparseSym();
    const std::int64_t rows = v.csets[0]->size, columns = v.csets[1]->size, m = s.nonzeros;
    const BufferSlot& values = NeedBuffer(s, 0, m * 8, false, v.subject);
    const BufferSlot& indices = NeedBuffer(s, 1, m * 4, false, v.subject);
    const BufferSlot& offsets = NeedBuffer(s, 2, (rows + 1) * 4, false, v.subject);
    const BufferSlot* diagonal = symmetric ? &NeedBuffer(s, 3, rows * 8, false, v.subject) : nullptr;
    // The structure must describe m entries of a rows x columns matrix.
    const auto* rowOffsets = static_cast<const std::int32_t*>(offsets.constData);
    const auto* columnIndices = static_cast<const std::int32_t*>(indices.constData);
    if (rowOffsets[0] != 0 || rowOffsets[rows] != m)
        Fail(ZylDorvError_SparseStructureInvalid, v.subject + ": row offsets run from " + std::to_string(rowOffsets[0]) +
                                                      " to " + std::to_string(rowOffsets[rows]) + ", 0 to " +
                                                      std::to_string(m) + " expected");
    for (std::int64_t i = 0; i < rows; ++i)
        if (rowOffsets[i + 1] < rowOffsets[i])
            Fail(ZylDorvError_SparseStructureInvalid, v.subject + ": row offsets fall after row " + std::to_string(i));
    for (std::int64_t p = 0; p < m; ++p)
        if (columnIndices[p] < 0 || columnIndices[p] >= columns)
            Fail(ZylDorvError_SparseStructureInvalid, v.subject + ": column index " + std::to_string(columnIndices[p]) +
                                                          " at entry " + std::to_string(p) + " of " + std::to_string(columns) +
                                                          " columns");
    DrawerData drawer;
    drawer.index = distribution.nextDrawer;
    drawer.kind = s.serialization.GetKind();
    drawer.csets = {v.csets[0]->number, v.csets[1]->number};
    drawer.sizes = {rows, columns};
    drawer.nonzeros = m;
    const std::string name = Name("drawer", drawer.index);
    const int index = drawer.index;
    LocalUndo undo(*w.context);
    undo.Add(ForgetDrawer(w.file, w.context->number, distribution.number, index));
    SeamCheck(SeamKind::RecordWrite, v.subject);
    drawer.object = Checked(H5Gcreate2(distribution.group.Get(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                            ZylDorvError_DrawerCreateFailed, v.subject);
    const hid_t g = drawer.object.Get();
    WriteAttr(g, "serialization", std::int64_t(drawer.kind), v.subject);
    WriteAttr(g, "csets", drawer.csets, v.subject);
    WriteAttr(g, "sizes", drawer.sizes, v.subject);
    WriteAttr(g, "nonzeros", m, v.subject);
    WriteSparseDataset(g, "values", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, m, values.constData, v.subject);
    WriteSparseDataset(g, "column_indices", H5T_STD_I32LE, H5T_NATIVE_INT32, m, indices.constData, v.subject);
    WriteSparseDataset(g, "row_offsets", H5T_STD_I32LE, H5T_NATIVE_INT32, rows + 1, offsets.constData, v.subject);
    if (symmetric)
        WriteSparseDataset(g, "diagonal", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, rows, diagonal->constData, v.subject);
    WriteAttr(distribution.group.Get(), "next_drawer", std::int64_t(index + 1), v.subject);
    distribution.nextDrawer = index + 1;
    distribution.drawers.emplace(index, std::move(drawer));
    undo.Keep();
    s.makeNew = false;
    s.drawer = index;
}

} // namespace zyl_dorv
