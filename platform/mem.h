#ifndef PLATFORM_MEM_H
#define PLATFORM_MEM_H
/// \file
/// \ingroup foundation
/// Foundation allocator. Every allocation either returns usable memory or
/// throws mem_AllocationFailure (a ZylBasException); none returns null.
#include <platform/zyl_Export.h>

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

ZYL_EXPORT void* mem_OperatorNewThrow(std::size_t size);      ///< class objects
ZYL_EXPORT void* mem_OperatorNewTinyThrow(std::size_t size);  ///< small objects (timer, list blocks, tree nodes)
ZYL_EXPORT void* mem_OperatorNewThrowBuiltin(std::size_t size); ///< arrays of doubles and ints; SIZE_MAX (an overflowed count) is refused
ZYL_EXPORT void* mem_Malloc(std::size_t size);                 ///< raw bytes
ZYL_EXPORT void* mem_Realloc(void* block, std::size_t size);   ///< on failure the old block stays valid and owned by the caller
ZYL_EXPORT void mem_Free(void* block);                         ///< accepts null

/// Byte count for `count` items of `itemSize` bytes, or SIZE_MAX when the
/// product does not fit: the allocator then refuses the request.
ZYL_EXPORT std::size_t mem_ArraySize(std::size_t count, std::size_t itemSize);

/// \ingroup foundation
/// Supplies class allocation operators that go through the allocator above.
class ZYL_EXPORT mem_AllocationOperators {
public:
    ///@{
    /// Objects and arrays of the deriving class, from mem_OperatorNewThrow and
    /// back to mem_Free.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
    static void* operator new[](std::size_t size);
    static void operator delete[](void* block) noexcept;
    ///@}
};

/// \ingroup foundation
/// An owned array of `count` plain items (doubles, ints, bytes) from the
/// allocator above, released on every path. The items start uninitialised. A
/// count of 0 still yields a block, so Get() is never null while owned; a count
/// whose byte size overflows (a negative count converted, for one) is refused
/// like any failed allocation.
template <typename T>
class mem_Array {
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "mem_Array holds plain items only: it neither constructs nor destroys them");

public:
    /// Owns nothing.
    mem_Array() noexcept = default;
    /// Owns a new block of count items.
    explicit mem_Array(std::size_t count)
        : m_data(static_cast<T*>(mem_OperatorNewThrowBuiltin(mem_ArraySize(count, sizeof(T))))), m_count(count)
    {
    }
    /// Takes other's block; other owns nothing.
    mem_Array(mem_Array&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_count(std::exchange(other.m_count, 0))
    {
    }
    /// Takes other's block, freeing this array's.
    mem_Array& operator=(mem_Array&& other) noexcept
    {
        mem_Array taken(std::move(other));
        std::swap(m_data, taken.m_data);
        std::swap(m_count, taken.m_count);
        return *this;
    }
    mem_Array(const mem_Array&) = delete;
    mem_Array& operator=(const mem_Array&) = delete;
    ~mem_Array() { mem_Free(m_data); }

    /// The items (null when nothing is owned).
    T* Get() const noexcept { return m_data; }
    /// The number of items.
    std::size_t Count() const noexcept { return m_count; }
    /// Item i, unchecked.
    T& operator[](std::size_t i) const noexcept { return m_data[i]; }
    ///@{
    /// The items as a range.
    T* begin() const noexcept { return m_data; }
    T* end() const noexcept { return m_data + m_count; }
    ///@}

    /// Keeps the first count items (at most Count()) and gives the block's
    /// rest back to the allocator; should the smaller block not be had, the
    /// larger one stays, its items unchanged.
    void Shrink(std::size_t count)
    {
        if (count >= m_count)
            return;
        try {
            m_data = static_cast<T*>(mem_Realloc(m_data, mem_ArraySize(count == 0 ? 1 : count, sizeof(T))));
        } catch (...) { // the allocation failure: the block is then as it was
        }
        m_count = count;
    }

    /// Hands the block to a caller that frees it with mem_Free.
    T* Release() noexcept
    {
        m_count = 0;
        return std::exchange(m_data, nullptr);
    }

private:
    T* m_data = nullptr;
    std::size_t m_count = 0;
};

///@{
/// One object on the allocator: constructed in place, its memory returned when
/// the constructor throws. mem_NewTiny takes small objects (list blocks, tree
/// nodes, counts) from the tiny-object path. mem_Delete destroys and frees (and
/// accepts null).
template <typename T, typename... Args>
T* mem_ConstructIn(void* memory, Args&&... args)
{
    try {
        return ::new (memory) T(std::forward<Args>(args)...); // past any class operator new
    } catch (...) {
        mem_Free(memory);
        throw;
    }
}

template <typename T, typename... Args>
T* mem_New(Args&&... args)
{
    return mem_ConstructIn<T>(mem_OperatorNewThrow(sizeof(T)), std::forward<Args>(args)...);
}

template <typename T, typename... Args>
T* mem_NewTiny(Args&&... args)
{
    return mem_ConstructIn<T>(mem_OperatorNewTinyThrow(sizeof(T)), std::forward<Args>(args)...);
}

template <typename T>
void mem_Delete(T* object) noexcept
{
    if (object == nullptr)
        return;
    object->~T();
    mem_Free(const_cast<std::remove_cv_t<T>*>(object));
}
///@}

/// \ingroup foundation
/// Deletes through mem_Delete, for std::unique_ptr.
template <typename T>
struct mem_Deleter {
    /// mem_Delete(object).
    void operator()(T* object) const noexcept { mem_Delete(object); }
};
/// A unique owner of one object on the allocator.
template <typename T>
using mem_Unique = std::unique_ptr<T, mem_Deleter<T>>;

///@{
/// Test seam, in the manner of SQLite's out-of-memory tests: make the Nth
/// allocation from now fail (n = 1 is the very next one), once or, with
/// `persistent`, every allocation from then on. Counts every function above
/// except mem_Free. mem_ClearFailure() disarms it. Never used by the library.
ZYL_EXPORT void mem_FailAllocation(long n, bool persistent);
ZYL_EXPORT void mem_ClearFailure();
///@}
ZYL_EXPORT long mem_LiveBlocks(); ///< blocks handed out and not yet freed, for leak checks

#endif
