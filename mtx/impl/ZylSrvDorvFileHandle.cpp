#include <mtx/ZylSrvDorvFileHandle.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvAssert.h>
#include <platform/dorv/ZylDorvDatabase.h>
#include <platform/mem.h>
#include <platform/utl_FilePath.h>

#include <cstdio>
#include <new>

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

    // Closes the database (its destructor closes an open file without
    // throwing), then deletes the file if this representation created it.
    ~ZylSrvDorvFileHandleRepr()
    {
        if (database != nullptr) {
            database->~ZylDorvDatabase();
            mem_Free(database);
            database = nullptr;
        }
        if (!path.IsEmpty() && utl_FilePath(path, "").Exists())
            std::remove(path.Chars());
    }

    ZylDorvDatabase* database = nullptr; // owned; null until created
    ZylDorvContextID contextID;          // null ({0, -1}) until the context is made
    atr_String path;                     // set once the file has been created
};

namespace {

int* NewCount()
{
    return new (mem_OperatorNewTinyThrow(sizeof(int))) int(1);
}

void DeleteRepr(ZylSrvDorvFileHandleRepr* repr) noexcept
{
    if (repr == nullptr)
        return;
    repr->~ZylSrvDorvFileHandleRepr();
    mem_Free(repr);
}

// Owns a representation under construction until it is handed to a handle.
class ReprGuard {
public:
    ReprGuard() : m_repr(new (mem_OperatorNewTinyThrow(sizeof(ZylSrvDorvFileHandleRepr))) ZylSrvDorvFileHandleRepr) {}
    ReprGuard(const ReprGuard&) = delete;
    ReprGuard& operator=(const ReprGuard&) = delete;
    ~ReprGuard() { DeleteRepr(m_repr); }
    ZylSrvDorvFileHandleRepr* operator->() const noexcept { return m_repr; }
    ZylSrvDorvFileHandleRepr* Release() noexcept
    {
        ZylSrvDorvFileHandleRepr* repr = m_repr;
        m_repr = nullptr;
        return repr;
    }

private:
    ZylSrvDorvFileHandleRepr* m_repr;
};

} // namespace

ZylSrvDorvFileHandle::ZylSrvDorvFileHandle() : pointer{NewCount(), nullptr} {}

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
        DeleteRepr(pointer.repr);
        mem_Free(pointer.count);
    }
    pointer.count = nullptr;
    pointer.repr = nullptr;
}

void ZylSrvDorvFileHandle::Associate(const atr_String& path)
{
    ZYL_SRV_FILE_HANDLE_REQUIRE(pointer.IsNull(), "File Handle already associated with a DORV database.", 16);

    // Copies of this empty handle stay empty: leave them the shared count.
    if (*pointer.count > 1) {
        int* own = NewCount();
        --*pointer.count;
        pointer.count = own;
    }

    ReprGuard repr;
    // From the foundation allocator, like every object the library makes.
    void* storage = mem_OperatorNewThrow(sizeof(ZylDorvDatabase));
    repr->database = new (storage) ZylDorvDatabase();
    repr->database->CreateFile(ZylDroviUnicodeString(path), 0, -1);
    repr->path = path; // created by us: deleted again at release
    repr->contextID = repr->database->CreateContext(ZylDorvNamespaceID::AllBits());
    pointer.repr = repr.Release();
}

ZylDorvContextID ZylSrvDorvFileHandle::ContextID() const
{
    ZYL_SRV_FILE_HANDLE_REQUIRE(pointer.HasValue(), "File Handle is not associated with a DORV database.", 22);
    return pointer.repr->contextID;
}
