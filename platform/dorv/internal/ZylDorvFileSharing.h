#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVFILESHARING_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVFILESHARING_H
// Private to platform/dorv: how the processes of the group share a database
// file. The serial library is one process and does what it always did; the
// MPI flavour, once its host gave it a communicator, opens every file on all
// ranks through MPI-IO with collective metadata, lets rank 0 alone hold the
// ownership lock and make, replace or remove the file, and makes every
// collective call succeed or fail on all ranks alike. Each flavour links its
// own implementation (serial/, mpi/).
#include <platform/dorv/internal/ZylDorvFileOwnership.h>
#include <platform/dorv/internal/ZylDorvHdf5.h>

#include <cstdint>
#include <functional>
#include <string>

namespace zyl_dorv {

struct FileState;

// Whether a group of processes shares the database's files (the MPI flavour
// with an adopted communicator, of one rank or more).
bool FilesShared() noexcept;

// Adds the group's way of reaching the file to a file-access list.
void ShareFileAccess(hid_t fapl, std::uint16_t number, const std::string& detail);

// CreateOwned and OpenOwned for the group: the process that holds the lock
// takes the file; the others get no descriptor until OpenOwnDescriptor.
Fd TakeNewFile(const std::string& path, bool replaceAnyFile, int mode, const std::string& detail);
Fd TakeExistingFile(const std::string& path, bool readOnly, const std::string& detail);

// After HDF5 opened the file: a process that holds no descriptor of the file
// opens one of its own (no lock) for its own chunk reads and writes.
void OpenOwnDescriptor(FileState& file, const std::string& detail);

// Removes the file at `path` while it is still the one behind `fd`, once no
// process of the group has it open any more; never throws.
void RemoveFileOfGroup(const std::string& path, int fd) noexcept;

// Runs `step`, a part of a call that every process of the group makes; the
// step succeeds on all of them or each raises the error of the lowest
// process that failed.
void Collectively(const std::function<void()>& step);

// Whether `failed` is true on any process of the group; never throws.
bool FailsAnywhere(bool failed) noexcept;

} // namespace zyl_dorv

#endif
