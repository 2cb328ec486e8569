#include <mtx/ZylSrvDorvFileHandle.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvAssert.h>
#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/mem.h>

#include <cstdio>
#include <string>

#include <sys/stat.h>

// Reports the failed condition with its expression text and ends the process.
// The reported lines are fixed: callers and tests rely on them.
#define ZYL_SRV_FILE_HANDLE_REQUIRE(expression, message, line)                                      \
    do {                                                                                            \
        if (!(expression))                                                                          \
            ZylDorvAssert::ReportValidationFailure(#expression " && \"" message "\"",               \
                                                   zyl_mtx::kDorvFileHandleSource, line);           \
    } while (false)

// What the copies of an associated handle share.
class ZylSrvDorvFileHandleRepr {
public:
    ZylSrvDorvFileHandleRepr() noexcept = default;
    ZylSrvDorvFileHandleRepr(const ZylSrvDorvFileHandleRepr&) = delete;
    ZylSrvDorvFileHandleRepr& operator=(const ZylSrvDorvFileHandleRepr&) = delete;

    // The database goes first (its destructor closes an open file without
    // throwing), so that the file can then be deleted if this representation
    // created it. Only the very file we created is removed: the path is the
    // absolute one the database recorded at creation, so a later chdir cannot
    // point it at a stranger's file, and a file that has since replaced ours
    // under that name is someone else's.
    ~ZylSrvDorvFileHandleRepr()
    {
        const std::string path = created ? database->AbsolutePath() : std::string();
        database.reset();
        // Ranks sharing the file: rank 0 removes it once all have closed it.
        ZylDorvProcessGroup::Synchronize();
        struct stat now;
        if (created && ZylDorvProcessGroup::Rank() == 0 && ::lstat(path.c_str(), &now) == 0 && now.st_dev == device && now.st_ino == inode)
            std::remove(path.c_str());
    }

    // Identifies the file just created; when nothing is there any more,
    // nothing will be deleted.
    void RecordCreatedFile()
    {
        struct stat info{};
        created = ::lstat(database->AbsolutePath().c_str(), &info) == 0;
        device = info.st_dev;
        inode = info.st_ino;
    }

    mem_Unique<ZylDorvDatabase> database; // null until created
    ZylDorvContextID contextID;           // null ({0, -1}) until the context is made
    bool created = false;                 // the file the database made is ours (device, inode)
    dev_t device = 0;
    ino_t inode = 0;
};

ZylSrvDorvFileHandle::ZylSrvDorvFileHandle() : pointer{mem_New<int>(1), nullptr} {}

ZylSrvDorvFileHandle::ZylSrvDorvFileHandle(const ZylSrvDorvFileHandle& other) noexcept : pointer(other.pointer)
{
    ++*pointer.count;
}

ZylSrvDorvFileHandle& ZylSrvDorvFileHandle::operator=(const ZylSrvDorvFileHandle& other) noexcept
{
    if (pointer.count != other.pointer.count) {
        ++*other.pointer.count;
        Release();
        pointer = other.pointer;
    }
    return *this;
}

ZylSrvDorvFileHandle::~ZylSrvDorvFileHandle() { Release(); }

void ZylSrvDorvFileHandle::Release() noexcept
{
    if (--*pointer.count == 0) {
        mem_Delete(pointer.repr);
        mem_Delete(pointer.count);
    }
    pointer.count = nullptr;
    pointer.repr = nullptr;
}

void ZylSrvDorvFileHandle::Associate(const atr_String& path)
{
    ZYL_SRV_FILE_HANDLE_REQUIRE(pointer.IsNull(), "File Handle already associated with a DORV database.", 16);

    // Copies of this empty handle stay empty: they keep the shared count and
    // this handle takes its own, but only once the database exists, so that a
    // failure leaves the handle exactly as it was.
    mem_Unique<int> own(*pointer.count > 1 ? mem_New<int>(1) : nullptr);

    // Owned here until complete, so that a failure anywhere below releases
    // what was made (and deletes the file once it is ours).
    mem_Unique<ZylSrvDorvFileHandleRepr> repr(mem_New<ZylSrvDorvFileHandleRepr>());
    repr->database.reset(mem_New<ZylDorvDatabase>());
    repr->database->CreateFile(ZylDroviUnicodeString(path), 0, -1);
    repr->RecordCreatedFile(); // ours from here on: deleted again at release
    repr->contextID = repr->database->CreateContext(ZylDorvNamespaceID::AllBits());
    if (own) {
        --*pointer.count;
        pointer.count = own.release();
    }
    pointer.repr = repr.release();
}

ZylDorvContextID ZylSrvDorvFileHandle::ContextID() const
{
    ZYL_SRV_FILE_HANDLE_REQUIRE(pointer.HasValue(), "File Handle is not associated with a DORV database.", 22);
    return pointer.repr->contextID;
}
