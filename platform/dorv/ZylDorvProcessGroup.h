#ifndef PLATFORM_DORV_ZYLDORVPROCESSGROUP_H
#define PLATFORM_DORV_ZYLDORVPROCESSGROUP_H
// The processes the database works for. The serial library is one process,
// rank 0 of 1. The MPI flavour works for the communicator its host gave at
// start-up (a duplicate of it, held here from the outermost parallel start-up
// to the last shut-down); before that, and after a plain start-up, it too is
// one process. Each flavour links its own implementation (serial/, mpi/).
#include <cstdint>
#include <functional>

class ZylDorvProcessGroup {
public:
    // This process's rank in the group, from 0.
    static int Rank() noexcept;
    // The number of processes in the group, 1 or more.
    static int Size() noexcept;
    // The value that rank 0 passed, returned on every rank (collective; the
    // serial library returns `value`). Scratch files take their names from
    // rank 0's objects, so that every rank names the same file.
    static std::uint64_t ValueOfRankZero(std::uint64_t value) noexcept;
    // Returns once every rank has called it (collective; the serial library
    // returns at once): rank 0 removes a shared file after all closed it.
    static void Synchronize() noexcept;
    // Runs `step`, part of a call every rank makes: it succeeds on every rank
    // or each raises the error of the lowest rank that failed, " (rank r)"
    // added to its detail (the serial library just runs it). The MPI flavour
    // rebuilds the database's errors, the allocator's and those registered
    // (platform/dorv/mpi/ZylDorvSharedErrors.h).
    static void Collectively(const std::function<void()>& step);
    // Lets the group go at the library's last shut-down: the MPI flavour frees
    // its duplicate of the host's communicator (unless MPI has been finalized
    // already); the serial library has nothing to let go.
    static void Release() noexcept;
};

#endif
