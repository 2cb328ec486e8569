#ifndef PLATFORM_MEM_H
#define PLATFORM_MEM_H
// Foundation allocator. Every allocation either returns usable memory or
// throws mem_AllocationFailure (a ZylBasException); none returns null.
#include <cstddef>

void* mem_OperatorNewThrow(std::size_t size);      // class objects
void* mem_OperatorNewTinyThrow(std::size_t size);  // small objects (timer, list blocks, tree nodes)
void* mem_OperatorNewThrowBuiltin(std::size_t size); // arrays of doubles and ints; SIZE_MAX (an overflowed count) is refused
void* mem_Malloc(std::size_t size);
void* mem_Realloc(void* block, std::size_t size);   // on failure the old block stays valid and owned by the caller
void mem_Free(void* block);                         // accepts null

// Byte count for `count` items of `itemSize` bytes, or SIZE_MAX when the
// product does not fit: the allocator then refuses the request.
std::size_t mem_ArraySize(std::size_t count, std::size_t itemSize);

// Supplies class allocation operators that go through the allocator above.
class mem_AllocationOperators {
public:
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
    static void* operator new[](std::size_t size);
    static void operator delete[](void* block) noexcept;
};

// Test seam, in the manner of SQLite's out-of-memory tests: make the Nth
// allocation from now fail (n = 1 is the very next one), once or, with
// `persistent`, every allocation from then on. Counts every function above
// except mem_Free. mem_ClearFailure() disarms it. Never used by the library.
void mem_FailAllocation(long n, bool persistent);
void mem_ClearFailure();
long mem_LiveBlocks(); // blocks handed out and not yet freed, for leak checks

#endif
