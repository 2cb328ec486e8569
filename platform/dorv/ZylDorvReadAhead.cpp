#include <platform/dorv/ZylDorvReadAhead.h>

#include <liburing.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Room for the pieces of a few bands in flight; a fuller ring waits for the
// oldest piece, which bounds the requests one object can leave to the kernel.
constexpr unsigned kRingEntries = 1024;
constexpr std::uint64_t kDefaultPiece = std::uint64_t(128) << 10; // the kernel's default read-ahead

std::atomic<long> g_inFlight{0};

// One number from a file of sysfs, or 0.
std::uint64_t SysfsNumber(const char* path)
{
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return 0;
    unsigned long long value = 0;
    if (std::fscanf(f, "%llu", &value) != 1)
        value = 0;
    std::fclose(f);
    return value;
}

// The largest span the kernel reads for one piece of advice on this file: the
// larger of the device's read-ahead window and its largest request (a
// partition's queue is its disk's). Each thread remembers the last device.
std::uint64_t PieceBytes(int fd)
{
    thread_local std::uint64_t cachedDevice = ~std::uint64_t(0);
    thread_local std::uint64_t cachedPiece = kDefaultPiece;
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return kDefaultPiece;
    if (cachedDevice == static_cast<std::uint64_t>(info.st_dev))
        return cachedPiece;
    std::uint64_t kib = 0;
    for (const char* queue : {"", "/.."}) {
        for (const char* name : {"read_ahead_kb", "max_sectors_kb"}) {
            char path[128];
            std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u%s/queue/%s", major(info.st_dev),
                          minor(info.st_dev), queue, name);
            kib = std::max(kib, SysfsNumber(path));
        }
        if (kib > 0)
            break;
    }
    cachedDevice = static_cast<std::uint64_t>(info.st_dev);
    cachedPiece = kib > 0 ? std::min<std::uint64_t>(kib << 10, std::uint64_t(64) << 20) : kDefaultPiece;
    return cachedPiece;
}

} // namespace

struct ZylDorvReadAhead::Ring {
    io_uring ring;
};

ZylDorvReadAhead::ZylDorvReadAhead() noexcept = default;

ZylDorvReadAhead::~ZylDorvReadAhead()
{
    Finish();
    if (m_ring != nullptr) {
        io_uring_queue_exit(&m_ring->ring);
        delete m_ring;
    }
}

long ZylDorvReadAhead::InFlight() noexcept { return g_inFlight.load(); }

bool ZylDorvReadAhead::Ready() noexcept
{
    if (m_ring != nullptr)
        return true;
    if (m_unavailable)
        return false;
    if (const char* setting = std::getenv("ZYLDORV_READ_AHEAD"); setting != nullptr && std::strcmp(setting, "0") == 0) {
        m_unavailable = true;
        return false;
    }
    Ring* ring = new (std::nothrow) Ring;
    if (ring == nullptr || io_uring_queue_init(kRingEntries, &ring->ring, 0) < 0) {
        delete ring;
        m_unavailable = true; // no io_uring here: announcements do nothing
        return false;
    }
    m_ring = ring;
    return true;
}

// Hands the prepared requests to the kernel. When it does not take them all,
// announcing stops for this object: nothing is submitted again, so what it
// left in the ring never reaches the kernel and is never waited for.
void ZylDorvReadAhead::Submit() noexcept
{
    if (m_ring == nullptr)
        return;
    const long prepared = static_cast<long>(io_uring_sq_ready(&m_ring->ring));
    if (prepared == 0 || m_unavailable)
        return;
    int taken;
    while ((taken = io_uring_submit(&m_ring->ring)) == -EINTR) {
    }
    if (taken > 0)
        m_inFlight += taken;
    const long dropped = prepared - std::max(taken, 0);
    if (dropped > 0) {
        g_inFlight -= dropped;
        m_unavailable = true;
    }
}

// Takes the finished requests off the completion queue; with `wait`, at least
// one when any is in flight.
void ZylDorvReadAhead::Reap(bool wait) noexcept
{
    io_uring_cqe* cqe = nullptr;
    while (m_inFlight > 0) {
        const int status = wait ? io_uring_wait_cqe(&m_ring->ring, &cqe) : io_uring_peek_cqe(&m_ring->ring, &cqe);
        if (status == -EINTR)
            continue;
        if (status < 0)
            return;
        io_uring_cqe_seen(&m_ring->ring, cqe); // the advice's own result says nothing we act on
        --m_inFlight;
        --g_inFlight;
        wait = false;
    }
}

void ZylDorvReadAhead::Prepare(int fd, std::uint64_t offset, std::uint64_t length) noexcept
{
    if (length == 0 || !Ready() || m_unavailable)
        return;
    Reap(false);
    const std::uint64_t piece = PieceBytes(fd);
    for (std::uint64_t done = 0; done < length && !m_unavailable; done += piece) {
        if (m_inFlight + static_cast<long>(io_uring_sq_ready(&m_ring->ring)) >= static_cast<long>(kRingEntries)) {
            Submit(); // a full ring: wait for the oldest piece
            Reap(true);
        }
        io_uring_sqe* sqe = io_uring_get_sqe(&m_ring->ring);
        if (sqe == nullptr)
            break;
        const std::uint64_t bytes = std::min(piece, length - done);
        io_uring_prep_fadvise(sqe, fd, offset + done, static_cast<off_t>(bytes), POSIX_FADV_WILLNEED);
        ++g_inFlight;
    }
}

void ZylDorvReadAhead::Finish() noexcept
{
    Submit();
    while (m_inFlight > 0) {
        const long before = m_inFlight;
        Reap(true);
        if (m_inFlight == before)
            break; // the ring failed: nothing more will come back
    }
}
