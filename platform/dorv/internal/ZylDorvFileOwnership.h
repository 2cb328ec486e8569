#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVFILEOWNERSHIP_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVFILEOWNERSHIP_H
// Private to platform/dorv: how a database makes a file its own and keeps it.
//
// An open database holds an advisory lock (flock) on a descriptor of its
// own: exclusive while it may write, shared while it only reads. Other
// processes see the lock; a file at a name that nobody holds is stale.
#include <string>

namespace zyl_dorv {

// A descriptor that is ours: closed, with its lock, on every path.
class Fd {
public:
    explicit Fd(int fd = -1) noexcept : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const noexcept { return m_fd; }
    int Release() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset() noexcept;

private:
    int m_fd;
};

// Makes a new file at `path` that is locked exclusively from the moment the
// name leads to it, never opening an existing file and never following a
// link at the name. A stale database at the name (or, with
// `replaceAnyFile`, any regular file nobody holds) is removed first.
// `mode` -1 leaves the permissions to the umask. Throws error 10 when the
// name is taken, 15 when no file can be made there.
Fd CreateOwned(const std::string& path, bool replaceAnyFile, int mode, const std::string& detail);

// Opens the existing file at `path` and takes its lock (shared for a
// reader); throws error 11 when it cannot be opened or another database
// holds it.
Fd OpenOwned(const std::string& path, bool readOnly, const std::string& detail);

// Whether `path` is the file behind `fd`: the name itself, or with
// `followLink` what a symbolic link at the name leads to.
bool NameLeadsTo(const std::string& path, int fd, bool followLink) noexcept;

// Removes `path` only while it is still the file behind `fd`; never throws.
void RemoveIfOurs(const std::string& path, int fd) noexcept;

// `path` made absolute against the current directory, so that a file can
// be found again after the process changed its directory.
std::string AbsolutePath(const std::string& path);

} // namespace zyl_dorv

#endif
