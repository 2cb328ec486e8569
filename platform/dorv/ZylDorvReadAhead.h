#ifndef PLATFORM_DORV_ZYLDORVREADAHEAD_H
#define PLATFORM_DORV_ZYLDORVREADAHEAD_H
/// \file
/// \ingroup database
/// Reading ahead: asks the system to bring drawer values from the disk into
/// its file cache while the caller computes, so that the ExecRead that follows
/// finds them there instead of waiting for the disk. A product that walks a
/// matrix band by band announces band k+1 before it multiplies band k.
///
/// Only a hint. Nothing is read into the caller's memory and the process does
/// not grow: the pages live in the system's cache. A later ExecRead returns
/// what the file holds then, whatever was announced. An announcement never
/// reports a problem of the file or the disk (the read that follows does).
///
/// How: the announced bytes go to the kernel as asynchronous file advice
/// (POSIX_FADV_WILLNEED) through an io_uring of this object, in pieces no
/// larger than the kernel reads ahead at once for the file's device. The
/// kernel carries them out in its own workers; the library starts no thread.
/// A synchronous posix_fadvise was measured first and left: it blocks while
/// the disk's queue is full, for about as long as it saves. Where the kernel
/// offers no io_uring (too old, or forbidden), announcements do nothing.
///
/// The environment variable ZYLDORV_READ_AHEAD=0 turns announcements off (to
/// measure what they bring, or where the disk is better left to the kernel's
/// own read-ahead).
///
/// Every request started is finished before the destructor returns (it waits
/// for them), so none outlives the object on any path out of a scope.
#include <platform/zyl_Export.h>

#include <cstdint>

class ZylDorvTransfer;

/// \ingroup database
/// Announces reads ahead through an io_uring of its own (see above).
class ZYL_EXPORT ZylDorvReadAhead {
public:
    ZylDorvReadAhead() noexcept;
    ~ZylDorvReadAhead();
    ZylDorvReadAhead(const ZylDorvReadAhead&) = delete;
    ZylDorvReadAhead& operator=(const ZylDorvReadAhead&) = delete;

    /// Waits for every request this object started.
    void Finish() noexcept;

    /// Requests started by any ZylDorvReadAhead of the process and not yet
    /// finished.
    static long InFlight() noexcept;

private:
    friend class ZylDorvTransfer;
    struct Ring;

    // Queues the advice for `length` bytes at `offset` of the file `fd`;
    // Submit() hands what is queued to the kernel.
    void Prepare(int fd, std::uint64_t offset, std::uint64_t length) noexcept;
    bool Ready() noexcept; // the ring, made at the first announcement
    void Submit() noexcept;
    void Reap(bool wait) noexcept;

    Ring* m_ring = nullptr;
    bool m_unavailable = false; // no ring to be had, or the kernel stopped taking requests
    long m_inFlight = 0;        // handed to the kernel, not yet finished
};

#endif
