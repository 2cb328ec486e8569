#include <mtx/ZylSrvDorvFileHandle.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvAssert.h>
#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/mem.h>
#include <platform/utl_FilePath.h>

#include <cstdio>

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
    // created it.
    ~ZylSrvDorvFileHandleRepr()
    {
        database.reset();
        if (!path.IsEmpty() && utl_FilePath(path, "").Exists())
            std::remove(path.Chars());
    }

    mem_Unique<ZylDorvDatabase> database; // null until created
    ZylDorvContextID contextID;           // null ({0, -1}) until the context is made
    atr_String path;                      // set once the file has been created
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

    // Copies of this empty handle stay empty: leave them the shared count.
    if (*pointer.count > 1) {
        int* own = mem_New<int>(1);
        --*pointer.count;
        pointer.count = own;
    }

    // Owned here until complete, so that a failure anywhere below releases
    // what was made (and deletes the file once it is ours).
    mem_Unique<ZylSrvDorvFileHandleRepr> repr(mem_New<ZylSrvDorvFileHandleRepr>());
    repr->database.reset(mem_New<ZylDorvDatabase>());
    repr->database->CreateFile(ZylDroviUnicodeString(path), 0, -1);
    repr->path = path; // created by us: deleted again at release
    repr->contextID = repr->database->CreateContext(ZylDorvNamespaceID::AllBits());
    pointer.repr = repr.release();
}

ZylDorvContextID ZylSrvDorvFileHandle::ContextID() const
{
    ZYL_SRV_FILE_HANDLE_REQUIRE(pointer.HasValue(), "File Handle is not associated with a DORV database.", 22);
    return pointer.repr->contextID;
}
