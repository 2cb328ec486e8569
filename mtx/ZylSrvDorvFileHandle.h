#ifndef MTX_ZYLSRVDORVFILEHANDLE_H
#define MTX_ZYLSRVDORVFILEHANDLE_H
/// \file
/// The ZylSrvDorvFileHandle class.

/// \class ZylSrvDorvFileHandle
/// \ingroup outofcore
/// Shared owner of a scratch database file.
///
/// A ZylSrvDorvFileHandle is a value: copies share one representation (the
/// open database, the context made in it and the file's path) through a
/// shared count. A new handle is empty. Associate(path) creates the database
/// file and one context in it; ContextID() gives that context. When the last
/// copy goes, the database is closed and the file at the path is deleted.
///
/// Copies of an empty handle share their count but nothing else: when one of
/// them is associated it first takes a count of its own, so the others stay
/// empty and never see the database.
///
/// Broken preconditions are reported through ZylDorvAssert, which ends the
/// process with exit status 1:
///   Associate on an associated handle:
///     pointer.IsNull() && "File Handle already associated with a DORV database."
///     (mtx/impl/ZylSrvDorvFileHandle, line 16)
///   ContextID on an empty handle:
///     pointer.HasValue() && "File Handle is not associated with a DORV database."
///     (mtx/impl/ZylSrvDorvFileHandle, line 22)
///
/// Database errors (ZylDorvException) and allocation failures pass through
/// Associate unchanged and leave the handle as it was: empty, still sharing
/// its count with its empty copies. Associate never deletes an
/// existing file of the same name itself: whether one may be replaced is the
/// database's CreateFile to decide (a refusal is ZylDorvException 10).
///
/// Deletion at release is by identity, not by name: Associate records the
/// absolute path (a relative path is taken from the current directory at that
/// moment) and, once the file is created, its device and inode. The file is
/// deleted only if what then lies at that absolute path is still that file, so
/// a chdir in between neither deletes a stranger's file of the same relative
/// name nor leaves ours behind, and a file that has replaced ours is left alone.
///
/// MPI flavour: Associate and the release of the last copy are collective;
/// every rank closes the database, then rank 0 alone deletes the file.
#include <platform/atr_String.h>
#include <platform/dorv/ZylDorvIDs.h>
#include <platform/zyl_Export.h>

class ZylSrvDorvFileHandleRepr;

class ZYL_EXPORT ZylSrvDorvFileHandle {
public:
    /// An empty handle.
    ZylSrvDorvFileHandle();
    /// Shares other's count and representation.
    ZylSrvDorvFileHandle(const ZylSrvDorvFileHandle& other) noexcept;
    /// Releases this handle's share, then shares other's.
    ZylSrvDorvFileHandle& operator=(const ZylSrvDorvFileHandle& other) noexcept;
    ~ZylSrvDorvFileHandle();

    /// Creates the database file at `path` (relative paths are taken from the
    /// current directory, which is recorded with it) and one context in it.
    void Associate(const atr_String& path);
    /// The context made by Associate.
    ZylDorvContextID ContextID() const;

    /// True once Associate has succeeded on this handle or a copy sharing its count.
    bool IsAssociated() const noexcept { return pointer.HasValue(); }
    /// Number of handles sharing this handle's count (itself included).
    int ShareCount() const noexcept { return *pointer.count; }

private:
    // The reference-counted holder: a shared count and the shared representation.
    struct Holder {
        int* count;
        ZylSrvDorvFileHandleRepr* repr;
        bool IsNull() const noexcept { return repr == nullptr; }
        bool HasValue() const noexcept { return repr != nullptr; }
    };

    void Release() noexcept;

    Holder pointer;
};

#endif
