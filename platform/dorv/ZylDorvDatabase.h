#ifndef PLATFORM_DORV_ZYLDORVDATABASE_H
#define PLATFORM_DORV_ZYLDORVDATABASE_H
/// \file
/// \ingroup database
/// A database file: one HDF5 file. The object registers the open file so that
/// IDs resolve to it; closing (or destroying the object) ends every handle on
/// it (their operations then fail with error 3), discards what uncommitted
/// transactions made and removes temporary CSets and distributions.
/// Records reach the file in Commit, Flush and Close only; Commit and Flush
/// also make them durable. A process that ends without closing a database,
/// or is killed, leaves the file as its last Commit or Flush made it, with
/// the values written since then into storage that existed by then (HDF5's
/// own clean-up at process exit is switched off: the database closes its
/// files itself, also from destructors of static objects). A file has one
/// writer at a time; docs/RELIABILITY.md says what is promised and what not.
///
/// In the MPI flavour, after a parallel start-up, every file is shared by all
/// ranks of the library's communicator (MPI-IO with collective metadata; rank
/// 0 holds the lock for all and makes, replaces and removes the file).
/// Collective (every rank, same order, same arguments): CreateFile, OpenFile,
/// Close and the destructor, Flush, CreateContext, DefineType, the creation of
/// collections, CSets and distributions, ZylDorvTransaction's Commit and
/// rollback, and of ZylDorvTransfer InitializePersistentDrawer,
/// InitializeExtension and the ExecWrite that makes a drawer. Independent (any
/// rank alone): every query, and ExecRead/ExecWrite of existing drawers; a
/// value one rank wrote is seen by the others after the next Flush, Commit or
/// Close (each rank puts its writes on disk there); two ranks writing one
/// value between them is the caller's error. A collective call succeeds on
/// every rank or fails on every rank with the error of the lowest failing rank
/// (same number and text, "(rank r)" added to the developer report), having
/// taken back what it made. Arguments that differ between ranks are the
/// caller's error (not checked: it would cost one more reduction per call).
/// Parallel HDF5 1.10.8 allocates and fills every chunk of a drawer when it is
/// made: a zero-filled drawer costs its full size on disk and about 1 s per
/// GiB on a single disk (0.7 to 3.4 s measured), where the serial library
/// spends neither.
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvArray.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

#include <memory>
#include <string>

namespace zyl_dorv {
struct FileState;
}

/// \ingroup database
/// A handle on one database file (see above).
class ZYL_EXPORT ZylDorvDatabase {
public:
    /// CreateFile flags.
    enum : int {
        CreateExclusive = 0, ///< fail (error 10) when a file of that name exists
        CreateTruncate = 1,  ///< replace an existing file
    };
    /// OpenFile flags.
    enum : int {
        OpenReadWrite = 0,
        OpenReadOnly = 1, ///< every write then fails: creation with 63, values with 70
    };

    ZylDorvDatabase();
    ~ZylDorvDatabase(); ///< closes an open file; never throws
    ZylDorvDatabase(const ZylDorvDatabase&) = delete;
    ZylDorvDatabase& operator=(const ZylDorvDatabase&) = delete;

    /// Creates a new database file. `mode` is the permission bits of the new
    /// file, or -1 for the default (0666 less the umask). The file is made
    /// exclusively (never through a symbolic link at the name) and is locked
    /// (flock) while it is open; a file at the name that no open database
    /// holds and that is a database file (or any file, with CreateTruncate)
    /// is stale and replaced. Error 10 means the name is taken (another name
    /// may succeed), 15 that no file can be made there; a failed CreateFile
    /// leaves no file of its own behind. The new database is durable (as
    /// after Flush) when CreateFile returns.
    void CreateFile(const ZylDroviUnicodeString& path, int flags, int mode);
    /// Opens an existing database file with its contents intact, also one
    /// whose writer was killed: it holds what that writer's last Commit or
    /// Flush made durable. Error 11 when another open database writes it (or,
    /// opening to write, reads it).
    void OpenFile(const ZylDroviUnicodeString& path, int flags);
    ///@{
    /// Flushes and closes the file; a closed object may create or open again.
    /// Closing a closed object does nothing. When the pending records cannot
    /// be written (error 12, e.g. a full disk) the file is abandoned as it
    /// stands on disk (HDF5 1.10 cannot close such a file) and the object is
    /// closed all the same. The destructor closes without reporting.
    void Close();
    bool IsOpen() const noexcept;
    ///@}
    /// The absolute path of the file this object created or opened last, as
    /// it was then (a later chdir does not change it), kept after Close so
    /// that its owner can delete the file; empty before the first file.
    const std::string& AbsolutePath() const noexcept { return m_absolutePath; }

    /// A new context in the open file.
    ZylDorvContextID CreateContext(ZylDorvNamespaceID space);
    /// The contexts of the file, in creation order.
    ZylDorvArray<ZylDorvContextID> ContextIDs() const;
    /// Writes everything to the file now and makes it durable (fsync): a
    /// crash of the process after Flush returns loses nothing written before.
    void Flush();

private:
    std::shared_ptr<zyl_dorv::FileState> m_file;
    std::string m_absolutePath;
};

#endif
