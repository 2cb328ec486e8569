#ifndef PLATFORM_DORV_ZYLDORVDATABASE_H
#define PLATFORM_DORV_ZYLDORVDATABASE_H
// A database file: one HDF5 file. The object registers the open file so that
// IDs resolve to it; closing (or destroying the object) ends every handle on
// it (their operations then fail with error 3), discards what uncommitted
// transactions made and removes temporary CSets and distributions.
// Commit and Flush write everything to the file; a process that ends
// without closing a database keeps what was written by then (HDF5's own
// clean-up at process exit is switched off: the database closes its files
// itself, also from destructors of static objects).
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

#include <memory>

namespace zyl_dorv {
struct FileState;
}

class ZYL_EXPORT ZylDorvDatabase {
public:
    // CreateFile flags.
    enum : int {
        CreateExclusive = 0, // fail (error 10) when a file of that name exists
        CreateTruncate = 1,  // replace an existing file
    };
    // OpenFile flags.
    enum : int {
        OpenReadWrite = 0,
        OpenReadOnly = 1, // every write then fails: creation with 63, values with 70
    };

    ZylDorvDatabase();
    ~ZylDorvDatabase(); // closes an open file; never throws
    ZylDorvDatabase(const ZylDorvDatabase&) = delete;
    ZylDorvDatabase& operator=(const ZylDorvDatabase&) = delete;

    // Creates a new database file. `mode` is the permission bits of the new
    // file, or -1 for the default (0666 less the umask).
    void CreateFile(const ZylDroviUnicodeString& path, int flags, int mode);
    // Opens an existing database file with its contents intact.
    void OpenFile(const ZylDroviUnicodeString& path, int flags);
    // Flushes and closes the file; a closed object may create or open again.
    // Closing a closed object does nothing. When the pending records cannot
    // be written (error 12, e.g. a full disk) the file is abandoned as it
    // stands on disk (HDF5 1.10 cannot close such a file) and the object is
    // closed all the same. The destructor closes without reporting.
    void Close();
    bool IsOpen() const noexcept;

    // A new context in the open file.
    ZylDorvContextID CreateContext(ZylDorvNamespaceID space);
    // The contexts of the file, in creation order.
    ZylDorvArray<ZylDorvContextID> ContextIDs() const;
    // Writes everything to the file now.
    void Flush();

private:
    std::shared_ptr<zyl_dorv::FileState> m_file;
};

#endif
