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
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvBoxWalk.h>
#include <platform/dorv/internal/ZylDorvChunkIO.h>
#include <platform/mem.h>

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>

namespace zyl_dorv {

namespace {

std::uint64_t Volume(const std::vector<hsize_t>& v)
{
    std::uint64_t n = 1;
    for (hsize_t x : v)
        n *= x;
    return n;
}

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

} // namespace

namespace {

// One chunk's share of a selection: the chunk's origin, the size of the box
// both hold, and where that box starts in the buffer and in the chunk.
struct ChunkShare {
    std::vector<hsize_t> origin, extent, inBuffer, inChunk;
    bool full;   // the box is the whole chunk
    bool inside; // the chunk lies inside the drawer's dimensions
};

// Calls visit(share) for every chunk the selection touches, last dimension
// fastest; nothing for an empty selection.
template <typename Visit>
void ForEachChunkShare(const DenseIO& io, const DenseSelection& sel, Visit&& visit)
{
    const std::size_t rank = io.dims.size();
    for (std::size_t k = 0; k < rank; ++k)
        if (sel.count[k] == 0)
            return;
    std::vector<hsize_t> first(rank), last(rank);
    for (std::size_t k = 0; k < rank; ++k) {
        first[k] = sel.start[k] / io.chunk[k];
        last[k] = (sel.start[k] + sel.count[k] - 1) / io.chunk[k];
    }
    std::vector<hsize_t> index = first;
    ChunkShare share{std::vector<hsize_t>(rank), std::vector<hsize_t>(rank), std::vector<hsize_t>(rank),
                     std::vector<hsize_t>(rank), true, true};
    for (;;) {
        share.full = share.inside = true;
        for (std::size_t k = 0; k < rank; ++k) {
            share.origin[k] = index[k] * io.chunk[k];
            const hsize_t lo = std::max(share.origin[k], sel.start[k]);
            const hsize_t hi = std::min(share.origin[k] + io.chunk[k], sel.start[k] + sel.count[k]);
            share.extent[k] = hi - lo;
            share.inBuffer[k] = lo - sel.start[k];
            share.inChunk[k] = lo - share.origin[k];
            share.inside = share.inside && share.origin[k] + io.chunk[k] <= io.dims[k];
            share.full = share.full && share.extent[k] == io.chunk[k];
        }
        visit(static_cast<const ChunkShare&>(share));
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
            return;
    }
}

// Offset in a chunk of `shape` of the item at `position` (last dimension fastest).
std::uint64_t ItemOffset(const std::vector<hsize_t>& shape, const std::vector<hsize_t>& position)
{
    std::uint64_t offset = 0;
    for (std::size_t k = 0; k < shape.size(); ++k)
        offset = offset * shape[k] + position[k];
    return offset;
}

} // namespace

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

    const std::size_t chunkBytes = Volume(io.chunk) * item;
    // Made when a chunk is to be allocated; from the allocator, so that its
    // failure seam reaches the largest block a transfer needs.
    mem_Array<unsigned char> staging;
    RunMover mover(io.fd, writing, number, io.subject);
    const std::vector<hsize_t> zeros(rank, 0);
    ForEachChunkShare(io, sel, [&](const ChunkShare& share) {
        const haddr_t address = ChunkAddress(io, share.origin, number);
        if (address != HADDR_UNDEF) {
            MoveBox(mover, address, io.chunk, share.inChunk, buffer, sel.count, share.inBuffer, share.extent, item);
        } else if (!writing) {
            FillBox(buffer, sel.count, share.inBuffer, share.extent, io.fill, item);
        } else {
            mover.Flush();
            if (staging.Get() == nullptr)
                staging = mem_Array<unsigned char>(chunkBytes);
            if (!(share.full && share.inside))
                FillBox(staging.Get(), io.chunk, zeros, io.chunk, io.fill, item);
            CopyBox(buffer, sel.count, share.inBuffer, staging.Get(), io.chunk, share.inChunk, share.extent, item);
            Checked(H5Dwrite_chunk(io.dataset, H5P_DEFAULT, 0, share.origin.data(), chunkBytes, staging.Get()), number,
                    io.subject);
        }
    });
    mover.Flush();
}

std::vector<FileSpan> ChunkSpans(const DenseIO& io, const DenseSelection& sel)
{
    std::vector<FileSpan> spans;
    if (!NativeIsFileOrder())
        return spans; // the bytes move through HDF5's own selection: their places are HDF5's business
    const std::uint64_t item = static_cast<std::uint64_t>(ItemBytes(io.key));
    std::vector<hsize_t> lastInChunk(io.dims.size());
    ForEachChunkShare(io, sel, [&](const ChunkShare& share) {
        const haddr_t address = ChunkAddress(io, share.origin, ZylDorvError_ValueReadFailed);
        if (address == HADDR_UNDEF)
            return; // never written: reads as the initialization value without the file
        for (std::size_t k = 0; k < lastInChunk.size(); ++k)
            lastInChunk[k] = share.inChunk[k] + share.extent[k] - 1;
        const std::uint64_t begin = address + item * ItemOffset(io.chunk, share.inChunk);
        const std::uint64_t end = address + item * (ItemOffset(io.chunk, lastInChunk) + 1);
        if (!spans.empty() && begin >= spans.back().offset && begin <= spans.back().offset + spans.back().length)
            spans.back().length = std::max(spans.back().length, end - spans.back().offset);
        else
            spans.push_back(FileSpan{begin, end - begin});
    });
    return spans;
}

void ReopenDataset(const DistributionData& distribution, DrawerData& drawer) noexcept
{
    const std::string name = Name("drawer", drawer.index);
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
    io.fd = file.rawFd.Get();
    io.key = distribution.key;
    io.dims.assign(drawer.sizes.begin(), drawer.sizes.end());
    io.chunk = drawer.storageChunk;
    std::memset(io.fill, 0, sizeof io.fill);
    InitBytes(io.key, drawer.init, io.fill);
    io.subject = subject;
    io.addresses = &drawer.chunkAddress;
    return io;
}

} // namespace zyl_dorv
