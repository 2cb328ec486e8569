// Making, probing and removing database files without racing other
// processes that do the same at the same names.
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvFileOwnership.h>
#include <platform/dorv/internal/ZylDorvHdf5.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>

namespace zyl_dorv {

void Fd::Reset() noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

namespace {

bool HeldElsewhere(int fd, bool exclusive)
{
    while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        if (errno != EINTR)
            return true;
    return false;
}

bool SameFile(const struct stat& a, const struct stat& b) noexcept
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What stands at a name that exclusive creation found taken. A stale
// database (an HDF5 file that no open database holds: its writer died or
// forgot it) is removed while the probe holds its lock, and only while the
// name still leads to the probed file; anything else keeps the name, with
// the reason why. Null means "try again".
const char* RemoveIfStale(const std::string& path, bool replaceAnyFile)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return nullptr; // gone meanwhile
    if (S_ISLNK(info.st_mode))
        return "a symbolic link has that name";
    if (!S_ISREG(info.st_mode))
        return "something other than a file has that name";
    Fd probe(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (probe.Get() < 0)
        return errno == ENOENT ? nullptr : "the existing file cannot be examined";
    if (HeldElsewhere(probe.Get(), true))
        return "an open database holds it";
    static const unsigned char kHdf5Signature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    unsigned char head[8] = {};
    const bool database = ::pread(probe.Get(), head, 8, 0) == 8 && std::memcmp(head, kHdf5Signature, 8) == 0;
    if (!database && !replaceAnyFile)
        return "a file that is not a database has that name";
    // The probe may have locked a file that has since been replaced at the
    // name; removing the replacement would destroy someone else's file.
    if (!NameLeadsTo(path, probe.Get(), false))
        return nullptr;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return "the stale file cannot be removed";
    return nullptr;
}

// Six characters that make a temporary name unlikely to be taken: the
// process, the clock and a counter, mixed.
std::string UniqueSuffix()
{
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = (static_cast<std::uint64_t>(::getpid()) << 32) ^ ++counter ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    x ^= x >> 31;
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(6, 'A');
    for (char& c : suffix) {
        c = kLetters[x % 62];
        x /= 62;
    }
    return suffix;
}

// The temporary name goes on every way out of CreateOwned, success included:
// by then the final name holds the file.
struct TemporaryName {
    std::string name;
    ~TemporaryName()
    {
        if (!name.empty())
            ::unlink(name.c_str());
    }
};

Fd CreateTemporary(const std::string& path, mode_t bits, TemporaryName& temporary, const std::string& detail)
{
    for (int tries = 0; tries < 100; ++tries) {
        std::string name = path + "." + UniqueSuffix();
        Fd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, bits));
        if (fd.Get() >= 0) {
            temporary.name = std::move(name);
            return fd;
        }
        if (errno != EEXIST) {
            const int error = errno;
            Fail(ZylDorvError_FileNotCreatable, detail, std::strerror(error));
        }
    }
    Fail(ZylDorvError_FileNotCreatable, detail + ": no free temporary name next to it");
}

} // namespace

// The file is made and locked under a temporary name in the same directory
// and then linked to its name: link() never replaces what is there, and the
// file appears at the name already locked, so no other creator can ever
// take our new, still empty file for a stale one.
Fd CreateOwned(const std::string& path, bool replaceAnyFile, int mode, const std::string& detail)
{
    for (int attempt = 0;; ++attempt) {
        TemporaryName temporary;
        Fd fd = CreateTemporary(path, mode == -1 ? 0666 : static_cast<mode_t>(mode), temporary, detail);
        if (HeldElsewhere(fd.Get(), true))
            Fail(ZylDorvError_FileCreateFailed, detail + ": the new file was taken at once");
        if (mode != -1 && ::fchmod(fd.Get(), static_cast<mode_t>(mode)) != 0) {
            const int error = errno;
            Fail(ZylDorvError_FileNotCreatable, detail + ": setting mode " + std::to_string(mode), std::strerror(error));
        }
        if (::link(temporary.name.c_str(), path.c_str()) == 0)
            return fd;
        const int error = errno;
        if (error != EEXIST)
            Fail(ZylDorvError_FileNotCreatable, detail, std::strerror(error));
        const char* taken = RemoveIfStale(path, replaceAnyFile);
        if (taken != nullptr || attempt == 2)
            Fail(ZylDorvError_FileCreateFailed, detail + ": the name is taken: " + (taken ? taken : "it keeps reappearing"));
    }
}

Fd OpenOwned(const std::string& path, bool readOnly, const std::string& detail)
{
    Fd fd(::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC));
    if (fd.Get() < 0) {
        const int error = errno;
        Fail(ZylDorvError_FileOpenFailed, detail, std::strerror(error));
    }
    if (HeldElsewhere(fd.Get(), !readOnly))
        Fail(ZylDorvError_FileOpenFailed, detail + ": an open database holds it");
    return fd;
}

bool NameLeadsTo(const std::string& path, int fd, bool followLink) noexcept
{
    struct stat ours, there;
    return ::fstat(fd, &ours) == 0 &&
           (followLink ? ::stat(path.c_str(), &there) : ::lstat(path.c_str(), &there)) == 0 && SameFile(ours, there);
}

void RemoveIfOurs(const std::string& path, int fd) noexcept
{
    if (NameLeadsTo(path, fd, false))
        ::unlink(path.c_str());
}

std::string AbsolutePath(const std::string& path)
{
    if (path[0] == '/')
        return path;
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here) == nullptr)
        return path;
    return std::string(here) + "/" + path;
}

} // namespace zyl_dorv
