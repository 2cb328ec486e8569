// Transfers: drawer creation, extension, and the movement of values.
//
// Dense values move chunk by chunk, bypassing HDF5's chunk cache (every
// drawer dataset is opened with a cache of 0 bytes): HDF5 allocates chunks
// and keeps the chunk index; the bytes of allocated chunks move with
// preadv/pwritev at the addresses that index records, straight between the
// file and the caller's buffer, only the selected bytes, each chunk once
// per transfer. A chunk never written reads as the initialization value
// without touching the file; writing into it builds the whole chunk
// (initialization value around the selection) and hands it to
// H5Dwrite_chunk. On a host whose doubles are not little-endian IEEE the
// transfer goes through an ordinary HDF5 hyperslab selection instead.
#include <platform/dorv/ZylDorvCSet.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvTransfer.h>
#include <platform/dorv/internal/ZylDorvSeam.h>
#include <platform/dorv/internal/ZylDorvState.h>
#include <platform/mem.h>

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace zyl_dorv {

struct DimBinding {
    enum Mode { Unbound, CSet, Range } mode = Unbound;
    ZylDorvCSetID cset;
    ZylDorvCollectionID collection;
    std::int64_t first = 0;
    std::int64_t last = -1;
};

struct BufferSlot {
    void* data = nullptr;
    const void* constData = nullptr;
    std::int64_t bytes = 0;
    bool set = false;
};

struct TransferState {
    std::shared_ptr<DistributionRecord> record;
    bool read = false;
    bool write = false;
    bool padded = false;
    int drawer = 0;
    bool makeNew = false;
    std::vector<int> chunks; // empty: not chunked
    int extendableDim = 0;
    std::vector<DimBinding> dims;
    bool hasInit = false;
    ZylDorvRangeValue init;
    ZylDorvSerializationType serialization;
    std::int64_t nonzeros = -1;
    bool hasExtension = false;
    ZylDorvCSetID extension;
    BufferSlot buffers[4];
};

} // namespace zyl_dorv

using namespace zyl_dorv;

namespace {

// Bytes of one HDF5 storage chunk that the drawer creation aims at.
constexpr std::int64_t kStorageChunkBytes = std::int64_t(1) << 20;

struct Where {
    FileState* file = nullptr;
    ContextData* context = nullptr;
    DistributionData* distribution = nullptr;
};

Where Locate(const TransferState& s, const std::string& operation)
{
    FileState& file = *s.record->file;
    RequireOpen(file, operation);
    ContextData& context = ContextOf(file, s.record->id.Context().Number(), operation);
    DistributionData& distribution = DistributionOf(file, s.record->id, operation);
    return {&file, &context, &distribution};
}

hid_t MemType(ZylDorvTypeKey key) { return key == ZylDorvTypeKey::Double ? H5T_NATIVE_DOUBLE : H5T_NATIVE_INT32; }
hid_t FileType(ZylDorvTypeKey key) { return key == ZylDorvTypeKey::Double ? H5T_IEEE_F64LE : H5T_STD_I32LE; }
int ItemBytes(ZylDorvTypeKey key) { return key == ZylDorvTypeKey::Double ? 8 : 4; }

// The initialization value as the bytes of one item.
void InitBytes(ZylDorvTypeKey key, const ZylDorvRangeValue& value, unsigned char* out)
{
    if (key == ZylDorvTypeKey::Double) {
        const double d = value.AsDouble();
        std::memcpy(out, &d, 8);
    } else {
        const std::int32_t i = value.AsInt();
        std::memcpy(out, &i, 4);
    }
}

// A staging block from the foundation allocator, released on every path.
class Staging {
public:
    explicit Staging(std::size_t bytes) : m_data(static_cast<unsigned char*>(mem_Malloc(bytes ? bytes : 1))) {}
    ~Staging() { mem_Free(m_data); }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    unsigned char* Get() const noexcept { return m_data; }

private:
    unsigned char* m_data;
};

// ---- n-dimensional block copies (last dimension fastest) ----------------------

// Walks the box `extent` lying at `offsetA` of an array of shape `shapeA` and
// at `offsetB` of an array of shape `shapeB` (items of `item` bytes, last
// dimension fastest), as the longest runs contiguous in both: calls
// visit(byte offset in A, byte offset in B, run length in bytes) per run.
template <class Visit>
void ForEachRun(const std::vector<hsize_t>& shapeA, const std::vector<hsize_t>& offsetA,
                const std::vector<hsize_t>& shapeB, const std::vector<hsize_t>& offsetB,
                const std::vector<hsize_t>& extent, std::size_t item, Visit visit)
{
    const std::size_t rank = extent.size();
    // Fold trailing dimensions that both arrays hold whole into one run.
    std::size_t inner = rank - 1;
    std::size_t run = extent[inner] * item;
    while (inner > 0 && extent[inner] == shapeA[inner] && extent[inner] == shapeB[inner]) {
        --inner;
        run *= extent[inner];
    }
    std::vector<std::size_t> strideA(rank), strideB(rank);
    strideA[rank - 1] = item;
    strideB[rank - 1] = item;
    for (std::size_t k = rank - 1; k > 0; --k) {
        strideA[k - 1] = strideA[k] * shapeA[k];
        strideB[k - 1] = strideB[k] * shapeB[k];
    }
    std::size_t baseA = 0, baseB = 0;
    for (std::size_t k = 0; k < rank; ++k) {
        baseA += offsetA[k] * strideA[k];
        baseB += offsetB[k] * strideB[k];
    }
    // Iterate over dimensions 0 .. inner-1 (the run covers inner .. rank-1).
    std::vector<hsize_t> index(inner, 0);
    for (;;) {
        std::size_t a = baseA, b = baseB;
        for (std::size_t k = 0; k < inner; ++k) {
            a += index[k] * strideA[k];
            b += index[k] * strideB[k];
        }
        visit(a, b, run);
        std::size_t k = inner;
        bool more = false;
        while (k > 0) {
            --k;
            if (++index[k] < extent[k]) {
                more = true;
                break;
            }
            index[k] = 0;
        }
        if (!more)
            return;
    }
}

// Copies the box `extent` at `fromOffset` of an array of shape `fromShape`
// to `toOffset` of an array of shape `toShape`.
void CopyBox(const unsigned char* from, const std::vector<hsize_t>& fromShape, const std::vector<hsize_t>& fromOffset,
             unsigned char* to, const std::vector<hsize_t>& toShape, const std::vector<hsize_t>& toOffset,
             const std::vector<hsize_t>& extent, std::size_t item)
{
    ForEachRun(fromShape, fromOffset, toShape, toOffset, extent, item,
               [&](std::size_t f, std::size_t t, std::size_t run) { std::memcpy(to + t, from + f, run); });
}

// Sets the box `extent` at `offset` of an array of shape `shape` to `value`.
void FillBox(unsigned char* array, const std::vector<hsize_t>& shape, const std::vector<hsize_t>& offset,
             const std::vector<hsize_t>& extent, const unsigned char* value, std::size_t item)
{
    const std::size_t rank = extent.size();
    bool zero = true;
    for (std::size_t b = 0; b < item; ++b)
        zero = zero && value[b] == 0;
    std::size_t inner = rank - 1;
    std::size_t runItems = extent[inner];
    while (inner > 0 && extent[inner] == shape[inner]) {
        --inner;
        runItems *= extent[inner];
    }
    std::vector<std::size_t> stride(rank);
    stride[rank - 1] = item;
    for (std::size_t k = rank - 1; k > 0; --k)
        stride[k - 1] = stride[k] * shape[k];
    std::size_t base = 0;
    for (std::size_t k = 0; k < rank; ++k)
        base += offset[k] * stride[k];
    std::vector<hsize_t> index(inner, 0);
    for (;;) {
        std::size_t at = base;
        for (std::size_t k = 0; k < inner; ++k)
            at += index[k] * stride[k];
        if (zero) {
            std::memset(array + at, 0, runItems * item);
        } else {
            for (std::size_t i = 0; i < runItems; ++i)
                std::memcpy(array + at + i * item, value, item);
        }
        std::size_t k = inner;
        while (k > 0) {
            --k;
            if (++index[k] < extent[k])
                break;
            index[k] = 0;
            if (k == 0)
                return;
        }
        if (inner == 0)
            return;
    }
}

std::uint64_t Volume(const std::vector<hsize_t>& v)
{
    std::uint64_t n = 1;
    for (hsize_t x : v)
        n *= x;
    return n;
}

// ---- dense values --------------------------------------------------------------

struct DenseSelection {
    std::vector<hsize_t> start;
    std::vector<hsize_t> count;
};

struct DenseIO {
    hid_t dataset;
    int fd;
    ZylDorvTypeKey key;
    std::vector<hsize_t> dims;
    std::vector<hsize_t> chunk;
    unsigned char fill[8];
    std::string subject;
    std::unordered_map<std::uint64_t, std::uint64_t>* addresses;
};

// Whether doubles and ints are stored as this machine holds them, so that
// chunk bytes can move without conversion (true on every little-endian host).
bool NativeIsFileOrder()
{
    static const bool same = H5Tequal(H5T_NATIVE_DOUBLE, H5T_IEEE_F64LE) > 0 && H5Tequal(H5T_NATIVE_INT32, H5T_STD_I32LE) > 0;
    return same;
}

// File address of an allocated chunk, or HADDR_UNDEF.
haddr_t ChunkAddress(const DenseIO& io, const std::vector<hsize_t>& origin, std::uint16_t number)
{
    std::uint64_t key = 0;
    for (std::size_t k = 0; k < origin.size(); ++k)
        key = key * ((io.dims[k] + io.chunk[k] - 1) / io.chunk[k] + 1) + origin[k] / io.chunk[k];
    auto known = io.addresses->find(key);
    if (known != io.addresses->end())
        return known->second;
    haddr_t address = HADDR_UNDEF;
    hsize_t size = 0;
    unsigned filters = 0;
    if (H5Dget_chunk_info_by_coord(io.dataset, origin.data(), &filters, &address, &size) < 0)
        FailHdf5(number, io.subject + ", looking up a chunk");
    if (address == HADDR_UNDEF || size == 0)
        return HADDR_UNDEF;
    io.addresses->emplace(key, address);
    return address;
}

// Moves the runs of one chunk region between the file and memory: runs
// adjacent in the file go in one preadv/pwritev.
class RunMover {
public:
    RunMover(int fd, bool writing, std::uint16_t number, const std::string& subject)
        : m_fd(fd), m_writing(writing), m_number(number), m_subject(subject)
    {
    }

    void Add(std::uint64_t fileOffset, unsigned char* memory, std::size_t bytes)
    {
        if (m_count > 0 && fileOffset == m_end) {
            iovec& last = m_iov[m_count - 1];
            if (static_cast<unsigned char*>(last.iov_base) + last.iov_len == memory) {
                last.iov_len += bytes;
            } else {
                if (m_count == kMaxRuns)
                    Flush();
                if (m_count == 0)
                    m_start = fileOffset;
                m_iov[m_count++] = iovec{memory, bytes};
            }
        } else {
            Flush();
            m_start = fileOffset;
            m_iov[m_count++] = iovec{memory, bytes};
        }
        m_end = fileOffset + bytes;
    }

    void Flush()
    {
        iovec* iov = m_iov;
        int count = m_count;
        std::uint64_t offset = m_start;
        m_count = 0;
        while (count > 0) {
            const ssize_t done = m_writing ? ::pwritev(m_fd, iov, count, static_cast<off_t>(offset))
                                           : ::preadv(m_fd, iov, count, static_cast<off_t>(offset));
            if (done < 0) {
                if (errno == EINTR)
                    continue;
                Fail(m_number, m_subject, std::strerror(errno));
            }
            if (done == 0)
                Fail(m_number, m_subject, "the file ends inside a chunk");
            offset += static_cast<std::uint64_t>(done);
            std::size_t left = static_cast<std::size_t>(done);
            while (count > 0 && left >= iov->iov_len) {
                left -= iov->iov_len;
                ++iov;
                --count;
            }
            if (count > 0) {
                iov->iov_base = static_cast<unsigned char*>(iov->iov_base) + left;
                iov->iov_len -= left;
            }
        }
    }

private:
    static constexpr int kMaxRuns = 512;
    int m_fd;
    bool m_writing;
    std::uint16_t m_number;
    const std::string& m_subject;
    iovec m_iov[kMaxRuns];
    int m_count = 0;
    std::uint64_t m_start = 0;
    std::uint64_t m_end = 0;
};

// Walks the runs of the box `extent` at `inChunk` of a chunk of shape
// `chunkShape` stored at `address`, against the same box at `inBuffer` of a
// buffer of shape `bufferShape`.
void MoveBox(RunMover& mover, std::uint64_t address, const std::vector<hsize_t>& chunkShape,
             const std::vector<hsize_t>& inChunk, unsigned char* buffer, const std::vector<hsize_t>& bufferShape,
             const std::vector<hsize_t>& inBuffer, const std::vector<hsize_t>& extent, std::size_t item)
{
    ForEachRun(chunkShape, inChunk, bufferShape, inBuffer, extent, item,
               [&](std::size_t c, std::size_t b, std::size_t run) { mover.Add(address + c, buffer + b, run); });
}

void PlainSelectionIO(const DenseIO& io, const DenseSelection& sel, unsigned char* buffer, bool writing)
{
    const std::uint16_t number = writing ? ZylDorvError_ValueWriteFailed : ZylDorvError_ValueReadFailed;
    const int rank = static_cast<int>(io.dims.size());
    Hid fileSpace = Checked(H5Dget_space(io.dataset), number, io.subject);
    Checked(H5Sselect_hyperslab(fileSpace.Get(), H5S_SELECT_SET, sel.start.data(), nullptr, sel.count.data(), nullptr),
            number, io.subject);
    Hid memSpace = Checked(H5Screate_simple(rank, sel.count.data(), nullptr), number, io.subject);
    if (writing)
        Checked(H5Dwrite(io.dataset, MemType(io.key), memSpace.Get(), fileSpace.Get(), H5P_DEFAULT, buffer), number, io.subject);
    else
        Checked(H5Dread(io.dataset, MemType(io.key), memSpace.Get(), fileSpace.Get(), H5P_DEFAULT, buffer), number, io.subject);
}

// Moves a dense selection chunk by chunk. Allocated chunks: the selected
// bytes move with preadv/pwritev at the chunk's address, straight between
// the file and the caller's buffer, each chunk touched once. Chunks never
// written: reads give the initialization value without touching the file;
// writes build the whole chunk (initialization value around the selection)
// and hand it to H5Dwrite_chunk, which allocates and records it.
void ChunkedIO(const DenseIO& io, const DenseSelection& sel, unsigned char* buffer, bool writing)
{
    const std::uint16_t number = writing ? ZylDorvError_ValueWriteFailed : ZylDorvError_ValueReadFailed;
    const std::size_t rank = io.dims.size();
    const std::size_t item = static_cast<std::size_t>(ItemBytes(io.key));
    for (std::size_t k = 0; k < rank; ++k)
        if (sel.count[k] == 0)
            return;
    if (!NativeIsFileOrder()) {
        PlainSelectionIO(io, sel, buffer, writing);
        return;
    }

    std::vector<hsize_t> first(rank), last(rank);
    for (std::size_t k = 0; k < rank; ++k) {
        first[k] = sel.start[k] / io.chunk[k];
        last[k] = (sel.start[k] + sel.count[k] - 1) / io.chunk[k];
    }
    const std::size_t chunkBytes = Volume(io.chunk) * item;
    std::unique_ptr<Staging> staging; // made when a chunk is to be allocated
    RunMover mover(io.fd, writing, number, io.subject);
    std::vector<hsize_t> index = first, origin(rank), extent(rank), inBuffer(rank), inChunk(rank);
    const std::vector<hsize_t> zeros(rank, 0);
    for (;;) {
        bool full = true, inside = true;
        for (std::size_t k = 0; k < rank; ++k) {
            origin[k] = index[k] * io.chunk[k];
            const hsize_t lo = std::max(origin[k], sel.start[k]);
            const hsize_t hi = std::min(origin[k] + io.chunk[k], sel.start[k] + sel.count[k]);
            extent[k] = hi - lo;
            inBuffer[k] = lo - sel.start[k];
            inChunk[k] = lo - origin[k];
            inside = inside && origin[k] + io.chunk[k] <= io.dims[k];
            full = full && extent[k] == io.chunk[k];
        }
        const haddr_t address = ChunkAddress(io, origin, number);
        if (address != HADDR_UNDEF) {
            MoveBox(mover, address, io.chunk, inChunk, buffer, sel.count, inBuffer, extent, item);
        } else if (!writing) {
            FillBox(buffer, sel.count, inBuffer, extent, io.fill, item);
        } else {
            mover.Flush();
            if (!staging)
                staging.reset(new Staging(chunkBytes));
            if (!(full && inside))
                FillBox(staging->Get(), io.chunk, zeros, io.chunk, io.fill, item);
            CopyBox(buffer, sel.count, inBuffer, staging->Get(), io.chunk, inChunk, extent, item);
            Checked(H5Dwrite_chunk(io.dataset, H5P_DEFAULT, 0, origin.data(), chunkBytes, staging->Get()), number, io.subject);
        }
        // Next chunk, last dimension fastest.
        std::size_t k = rank;
        bool more = false;
        while (k > 0) {
            --k;
            if (++index[k] <= last[k]) {
                more = true;
                break;
            }
            index[k] = first[k];
        }
        if (!more)
            break;
    }
    mover.Flush();
}

void ReopenDataset(const DistributionData& distribution, DrawerData& drawer) noexcept
{
    const std::string name = "drawer" + std::to_string(drawer.index);
    drawer.object.Reset();
    drawer.chunkAddress.clear();
    const Hid dapl(H5Pcreate(H5P_DATASET_ACCESS));
    if (dapl.IsValid() && H5Pset_chunk_cache(dapl.Get(), 0, 0, 1.0) >= 0) {
        Hid dataset(H5Dopen2(distribution.group.Get(), name.c_str(), dapl.Get()));
        if (dataset.IsValid())
            drawer.object = std::move(dataset);
    }
    H5Eclear2(H5E_DEFAULT);
}

DenseIO MakeDenseIO(const FileState& file, const DistributionData& distribution, DrawerData& drawer,
                    const std::string& subject)
{
    DenseIO io;
    io.dataset = drawer.object.Get();
    io.fd = file.rawFd;
    io.key = distribution.key;
    io.dims.assign(drawer.sizes.begin(), drawer.sizes.end());
    io.chunk = drawer.storageChunk;
    std::memset(io.fill, 0, sizeof io.fill);
    InitBytes(io.key, drawer.init, io.fill);
    io.subject = subject;
    io.addresses = &drawer.chunkAddress;
    return io;
}

// ---- storage chunk geometry --------------------------------------------------

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

} // namespace

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

// ---- checks ----------------------------------------------------------------------

namespace {

struct View {
    Where where;
    DrawerData* drawer = nullptr; // existing drawer (null when one is to be made)
    DenseSelection selection;     // existing dense drawer
    std::vector<CSetData*> csets; // new drawer: the CSet of each dimension
    std::string subject;
};

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

    auto found = distribution.drawers.find(s.drawer);
    if (found == distribution.drawers.end())
        Fail(ZylDorvError_DrawerNotFound, v.subject + ": no drawer " + std::to_string(s.drawer) + " (the distribution has " +
                                              std::to_string(distribution.drawers.size()) + ")");
    DrawerData& drawer = found->second;
    v.drawer = &drawer;
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

void ForcedFailure(const std::string& subject) { SeamCheck(SeamKind::ValueWrite, subject); }

// ---- drawer creation ---------------------------------------------------------------

// Undo step: forget drawer `index` of distribution `d` and delete its storage.
std::function<void()> ForgetDrawer(FileState* f, std::int32_t c, std::int64_t d, int index)
{
    return [f, c, d, index] {
        auto ctx = f->contexts.find(c);
        if (ctx == f->contexts.end())
            return;
        auto dist = ctx->second.distributions.find(d);
        if (dist == ctx->second.distributions.end())
            return;
        dist->second.drawers.erase(index);
        DeleteLink(dist->second.group, "drawer" + std::to_string(index));
    };
}

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
    const std::string name = "drawer" + std::to_string(drawer.index);
    const int index = drawer.index;
    LocalUndo undo(*w.context);
    undo.Add(ForgetDrawer(w.file, w.context->number, distribution.number, index));
    SeamCheck(SeamKind::RecordWrite, detail);
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
    undo.Keep();
    s.makeNew = false;
    s.drawer = index;
    return distribution.drawers.at(index);
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
    const std::string name = "drawer" + std::to_string(drawer.index);
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

void ReadSparseDataset(hid_t group, const char* name, hid_t memType, std::int64_t count, void* data, const std::string& detail)
{
    if (count == 0)
        return;
    Hid set = Checked(H5Dopen2(group, name, H5P_DEFAULT), ZylDorvError_ValueReadFailed, detail + ", dataset " + name);
    Checked(H5Dread(set.Get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data), ZylDorvError_ValueReadFailed,
            detail + ", dataset " + name);
}

std::int64_t SelectionBytes(const View& v)
{
    std::int64_t items = 1;
    for (hsize_t c : v.selection.count)
        items *= static_cast<std::int64_t>(c);
    return items * ItemBytes(v.where.distribution->key);
}

} // namespace

void ZylDorvTransfer::CheckView()
{
    TransferState& s = State(m_state);
    ::CheckView(s, "CheckView");
}

void ZylDorvTransfer::ExecRead()
{
    TransferState& s = State(m_state);
    if (!s.read)
        Fail(ZylDorvError_TransferModeMissing, "ExecRead: the transfer is not set for reading (SetRead)");
    if (s.makeNew)
        Fail(ZylDorvError_TransferModeMissing, "ExecRead: the transfer is set to make a new drawer");
    View v = ::CheckView(s, "ExecRead");
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

void ZylDorvTransfer::ExecWrite()
{
    TransferState& s = State(m_state);
    if (!s.write)
        Fail(ZylDorvError_TransferModeMissing, "ExecWrite: the transfer is not set for writing (SetWrite)");
    View v = ::CheckView(s, "ExecWrite");
    // Values of an existing drawer in a read-only database fail in HDF5 (70);
    // making a drawer there is refused before anything is done (63).
    if (s.makeNew)
        RequireWritable(*v.where.file, v.subject);
    if (s.makeNew && s.serialization.IsSparse()) {
        ForcedFailure(v.subject);
        MakeSparseDrawer(s, v);
        return;
    }
    if (s.makeNew) {
        std::int64_t bytes = ItemBytes(v.where.distribution->key);
        for (CSetData* c : v.csets)
            bytes *= c->size;
        NeedBuffer(s, 0, bytes, false, v.subject);
        ForcedFailure(v.subject);
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
    View v = ::CheckView(s, "InitializePersistentDrawer");
    if (s.serialization.IsSparse())
        Fail(ZylDorvError_SerializationMismatch, v.subject + ": sparse drawers are made by ExecWrite");
    RequireWritable(*v.where.file, v.subject);
    ForcedFailure(v.subject);
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
    View v = ::CheckView(s, "InitializeExtension");
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
    ForcedFailure(v.subject);
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
    if (mergedNumber > 0) {
        FileState* f = &file;
        const std::int32_t c = context.number;
        const std::int32_t m = collection.minor;
        undo.Add([f, c, m, mergedNumber] {
            auto ctx = f->contexts.find(c);
            if (ctx == f->contexts.end())
                return;
            auto coll = ctx->second.collections.find(m);
            if (coll == ctx->second.collections.end())
                return;
            coll->second.csets.erase(mergedNumber);
            DeleteLink(coll->second.group, "cset" + std::to_string(mergedNumber));
        });
    }
    std::vector<hsize_t> oldDims(drawer.sizes.begin(), drawer.sizes.end()), newDims = oldDims;
    newDims[static_cast<std::size_t>(dim)] = static_cast<hsize_t>(newSize);
    const std::vector<std::int64_t> oldCSets = drawer.csets;
    FileState* f = &file;
    const std::int32_t c = context.number;
    const std::int64_t d = distribution.number;
    const int index = drawer.index;
    undo.Add([f, c, d, index, oldDims, oldCSets] {
        auto ctx = f->contexts.find(c);
        if (ctx == f->contexts.end())
            return;
        auto dist = ctx->second.distributions.find(d);
        if (dist == ctx->second.distributions.end())
            return;
        auto dr = dist->second.drawers.find(index);
        if (dr == dist->second.drawers.end())
            return;
        DrawerData& back = dr->second;
        H5Dset_extent(back.object.Get(), oldDims.data());
        H5Eclear2(H5E_DEFAULT);
        back.sizes.assign(oldDims.begin(), oldDims.end());
        back.chunkAddress.clear();
        back.csets = oldCSets;
        WriteAttr(back.object.Get(), "csets", oldCSets, "rollback");
    });
    Checked(H5Dset_extent(drawer.object.Get(), newDims.data()), ZylDorvError_ExtensionFailed, v.subject);
    drawer.chunkAddress.clear();
    drawer.csets[static_cast<std::size_t>(dim)] = mergedNumber;
    drawer.sizes[static_cast<std::size_t>(dim)] = newSize;
    WriteAttr(drawer.object.Get(), "csets", drawer.csets, v.subject);
    undo.Keep();
}
