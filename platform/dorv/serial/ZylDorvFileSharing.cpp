// The serial library: the database's files belong to this process alone.
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/internal/ZylDorvFileSharing.h>
#include <platform/dorv/internal/ZylDorvState.h>

namespace zyl_dorv {

bool FilesShared() noexcept { return false; }

void ShareFileAccess(hid_t, std::uint16_t, const std::string&) {}

Fd TakeNewFile(const std::string& path, bool replaceAnyFile, int mode, const std::string& detail)
{
    return CreateOwned(path, replaceAnyFile, mode, detail);
}

Fd TakeExistingFile(const std::string& path, bool readOnly, const std::string& detail)
{
    return OpenOwned(path, readOnly, detail);
}

void OpenOwnDescriptor(FileState&, const std::string&) {}

void RemoveFileOfGroup(const std::string& path, int fd) noexcept { RemoveIfOurs(path, fd); }

void Collectively(const std::function<void()>& step) { step(); }

bool FailsAnywhere(bool failed) noexcept { return failed; }

} // namespace zyl_dorv
