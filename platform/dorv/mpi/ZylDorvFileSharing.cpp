// The MPI flavour: a database file is shared by every rank of the library's
// communicator. Without a communicator the file is this process's alone, as
// in the serial library.
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/internal/ZylDorvFileSharing.h>
#include <platform/dorv/internal/ZylDorvState.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>
#include <platform/dorv/mpi/ZylDorvSharedErrors.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <stdexcept>

namespace zyl_dorv {

namespace {

MPI_Comm Group() { return zyl_dorv_mpi::Communicator(); }

// What kind of error travels: the database's and the allocator's are rebuilt
// here; other library errors through their registered raisers.
enum ErrorKind : std::int32_t { kDorv, kAllocation, kRegistered, kBadAlloc, kOther };

struct Traveller {
    zyl_dorv_mpi::ErrorEncoder encode;
    zyl_dorv_mpi::ErrorRaiser raise;
};

std::map<int, Traveller>& Raisers()
{
    static std::map<int, Traveller> raisers;
    return raisers;
}

// A raise keeps pointers to its location texts: those that come from another
// process are kept for good (a handful of distinct source paths).
const char* Kept(const std::string& text)
{
    static std::set<std::string> kept;
    return kept.insert(text).first->c_str();
}

// The failing process's error, flattened for one broadcast.
struct Flat {
    std::int32_t kind = kOther, number = 0, line = 0, hasFile = 0, hasSite = 0;
    std::int64_t size = 0;
    std::string message, detail, file, site, payload;

    std::vector<char> Bytes() const
    {
        std::vector<char> out;
        auto put = [&out](const void* data, std::size_t n) {
            out.insert(out.end(), static_cast<const char*>(data), static_cast<const char*>(data) + n);
        };
        const std::int32_t head[5] = {kind, number, line, hasFile, hasSite};
        put(head, sizeof head);
        put(&size, sizeof size);
        for (const std::string* text : {&message, &detail, &file, &site, &payload}) {
            const std::uint64_t n = text->size();
            put(&n, sizeof n);
            put(text->data(), n);
        }
        return out;
    }

    static Flat From(const std::vector<char>& in)
    {
        Flat f;
        std::size_t at = 0;
        auto take = [&](void* data, std::size_t n) {
            std::memcpy(data, in.data() + at, n);
            at += n;
        };
        std::int32_t head[5];
        take(head, sizeof head);
        f.kind = head[0], f.number = head[1], f.line = head[2], f.hasFile = head[3], f.hasSite = head[4];
        take(&f.size, sizeof f.size);
        for (std::string* text : {&f.message, &f.detail, &f.file, &f.site, &f.payload}) {
            std::uint64_t n = 0;
            take(&n, sizeof n);
            text->assign(in.data() + at, n);
            at += n;
        }
        return f;
    }
};

void TakeLocation(const ZylBasException& e, Flat& f)
{
    f.number = e.ErrorCode();
    f.message = e.AsString().Chars();
    f.detail = e.Detail();
    f.hasFile = e.File() != nullptr;
    f.hasSite = e.Site() != nullptr;
    f.file = f.hasFile ? e.File() : "";
    f.site = f.hasSite ? e.Site() : "";
    f.line = e.Line();
}

Flat Flatten(const std::exception_ptr& failure)
{
    Flat f;
    try {
        std::rethrow_exception(failure);
    } catch (const ZylDorvException& e) {
        f.kind = kDorv;
        TakeLocation(e, f);
    } catch (const mem_AllocationFailure& e) {
        f.kind = kAllocation;
        f.size = static_cast<std::int64_t>(e.RequestedSize());
        TakeLocation(e, f);
    } catch (const ZylBasException& e) {
        f.kind = kRegistered;
        TakeLocation(e, f);
        auto found = Raisers().find(f.number);
        if (found != Raisers().end() && found->second.encode != nullptr)
            f.payload = found->second.encode(e);
    } catch (const std::bad_alloc&) {
        f.kind = kBadAlloc;
    } catch (const std::exception& e) {
        f.message = e.what();
    } catch (...) {
        f.message = "an unknown exception";
    }
    return f;
}

[[noreturn]] void RaiseOnEveryRank(const Flat& f, int failingRank)
{
    const std::string detail = (f.detail.empty() ? "" : f.detail + " ") + "(rank " + std::to_string(failingRank) + ")";
    const zyl_dorv_mpi::SharedError shared{f.number, Kept(f.message), Kept(detail),
                                           f.hasFile ? Kept(f.file) : nullptr, f.hasSite ? Kept(f.site) : nullptr,
                                           f.line, Kept(f.payload)};
    switch (f.kind) {
    case kDorv: {
        ZylDorvException error(static_cast<std::uint16_t>(f.number), f.message.c_str(), detail.c_str());
        zyl_dorv_mpi::RaiseWhereItWas(error, shared);
    }
    case kAllocation: {
        mem_AllocationFailure error(static_cast<std::size_t>(f.size), atr_String(shared.detail));
        zyl_dorv_mpi::RaiseWhereItWas(error, shared);
    }
    case kRegistered: {
        auto found = Raisers().find(f.number);
        if (found != Raisers().end())
            found->second.raise(shared);
        throw std::runtime_error("error " + std::to_string(f.number) + " on rank " + std::to_string(failingRank) +
                                 ", of a type this process cannot rebuild: " + f.message);
    }
    case kBadAlloc:
        throw std::bad_alloc();
    default:
        throw std::runtime_error(f.message + " (rank " + std::to_string(failingRank) + ")");
    }
}

// One reduction: the lowest failing rank, or the group's size when all
// succeeded. A failure travels from that rank to all by one broadcast of
// its length and one of its bytes.
void Agree(const std::exception_ptr& failure)
{
    const int size = ZylDorvProcessGroup::Size(), rank = ZylDorvProcessGroup::Rank();
    int mine = failure ? rank : size, lowest = size;
    MPI_Allreduce(&mine, &lowest, 1, MPI_INT, MPI_MIN, Group());
    if (lowest == size)
        return;
    std::vector<char> bytes;
    if (rank == lowest)
        bytes = Flatten(failure).Bytes();
    std::uint64_t length = bytes.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, lowest, Group());
    bytes.resize(length);
    MPI_Bcast(bytes.data(), static_cast<int>(length), MPI_CHAR, lowest, Group());
    RaiseOnEveryRank(Flat::From(bytes), lowest);
}

// Runs `step` on rank 0 alone, its outcome agreed by the group.
void OnRankZero(const std::function<void()>& step)
{
    Collectively([&step] {
        if (ZylDorvProcessGroup::Rank() == 0)
            step();
    });
}

// Every rank must name the same file: a relative name counts from each
// rank's current directory, which must be rank 0's.
void RequireOneFile(const std::string& path, const std::string& detail)
{
    const std::string mine = AbsolutePath(path);
    std::uint64_t length = mine.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, 0, Group());
    std::string first = mine;
    first.resize(length);
    MPI_Bcast(&first[0], static_cast<int>(length), MPI_CHAR, 0, Group());
    Collectively([&] {
        if (mine != first)
            Fail(ZylDorvError_InvalidArgument, detail + ": the ranks name different files (\"" + mine +
                                                   "\" here, \"" + first + "\" on rank 0)");
    });
}

} // namespace

bool FilesShared() noexcept { return zyl_dorv_mpi::HasCommunicator(); }

void ShareFileAccess(hid_t fapl, std::uint16_t number, const std::string& detail)
{
    if (!FilesShared())
        return;
    Checked(H5Pset_fapl_mpio(fapl, Group(), MPI_INFO_NULL), number, detail);
    // Rank 0 reads each record and hands it to the others, and writes the
    // records for all of them: metadata calls are collective anyway.
    Checked(H5Pset_all_coll_metadata_ops(fapl, true), number, detail);
    Checked(H5Pset_coll_metadata_write(fapl, true), number, detail);
}

Fd TakeNewFile(const std::string& path, bool replaceAnyFile, int mode, const std::string& detail)
{
    if (!FilesShared())
        return CreateOwned(path, replaceAnyFile, mode, detail);
    RequireOneFile(path, detail);
    // MPI-IO ignores locks: rank 0 holds the ownership lock for the group.
    Fd fd;
    OnRankZero([&] { fd = CreateOwned(path, replaceAnyFile, mode, detail); });
    return fd;
}

Fd TakeExistingFile(const std::string& path, bool readOnly, const std::string& detail)
{
    if (!FilesShared())
        return OpenOwned(path, readOnly, detail);
    RequireOneFile(path, detail);
    Fd fd;
    OnRankZero([&] { fd = OpenOwned(path, readOnly, detail); });
    return fd;
}

void OpenOwnDescriptor(FileState& file, const std::string& detail)
{
    if (!FilesShared())
        return;
    Collectively([&] {
        if (file.rawFd.Get() >= 0)
            return;
        file.rawFd = Fd(::open(file.absolutePath.c_str(), (file.readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC));
        if (file.rawFd.Get() < 0) {
            const int error = errno;
            Fail(ZylDorvError_FileOpenFailed, detail, std::strerror(error));
        }
    });
}

void RemoveFileOfGroup(const std::string& path, int fd) noexcept
{
    if (!FilesShared()) {
        RemoveIfOurs(path, fd);
        return;
    }
    MPI_Barrier(Group()); // every rank has closed the file
    if (ZylDorvProcessGroup::Rank() == 0)
        RemoveIfOurs(path, fd);
}

void Collectively(const std::function<void()>& step)
{
    if (!FilesShared()) {
        step();
        return;
    }
    std::exception_ptr failure;
    try {
        step();
    } catch (...) {
        failure = std::current_exception();
    }
    Agree(failure);
}

bool FailsAnywhere(bool failed) noexcept
{
    if (!FilesShared())
        return failed;
    int mine = failed ? 1 : 0, any = 0;
    MPI_Allreduce(&mine, &any, 1, MPI_INT, MPI_MAX, Group());
    return any != 0;
}

} // namespace zyl_dorv

void zyl_dorv_mpi::RaiseWhereItWas(ZylBasException& error, const SharedError& shared)
{
    if (shared.file == nullptr)
        error.ThrowCopy();
    error.Throw(shared.file, shared.site, shared.line);
}

void zyl_dorv_mpi::RegisterErrorRaiser(int number, ErrorEncoder encode, ErrorRaiser raise)
{
    zyl_dorv::Raisers()[number] = {encode, raise};
}
