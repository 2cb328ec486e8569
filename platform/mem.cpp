#include <platform/mem.h>

#include <platform/ZylBasException.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <mutex>
#include <utility>

namespace {

// Failure seam state; plain globals, like the rest of the start-up state.
long g_failCountdown = 0;   // 0: disarmed; n: the nth allocation from now fails
bool g_failPersistent = false;
bool g_failing = false;     // persistent mode has been reached
std::atomic<long> g_liveBlocks{0}; // counted from any thread

bool SeamSaysFail()
{
    if (g_failing)
        return true;
    if (g_failCountdown == 0)
        return false;
    if (--g_failCountdown > 0)
        return false;
    g_failing = g_failPersistent;
    return true;
}

[[noreturn]] void Refuse(std::size_t size)
{
    mem_AllocationFailure failure(size);
    failure.Throw("platform/mem", __LINE__);
}

// Staging bands of the out-of-core products are tens to hundreds of MiB and
// are allocated fresh per call. Served as 4 KiB pages, first touch of such a
// block costs more than reading its values from the database; aligned to 2 MiB
// and marked for transparent huge pages, it costs a few hundred page faults.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kLargeBlock = std::size_t(8) << 20;

void* AllocateLarge(std::size_t size)
{
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, size) != 0)
        return nullptr;
    madvise(block, size - size % kHugePage, MADV_HUGEPAGE); // a hint: failure changes nothing
    return block;
}

void* Allocate(std::size_t size)
{
    if (size == SIZE_MAX || SeamSaysFail())
        Refuse(size);
    void* block = size >= kLargeBlock ? AllocateLarge(size) : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        Refuse(size);
    ++g_liveBlocks;
    return block;
}

// ---- tiny objects --------------------------------------------------------
// List blocks, tree nodes and counts are small and come by the million (one
// block per 16 triplets of a sparse assembly). They are carved from 2 MiB
// slabs, one size class per slab, marked for transparent huge pages: a slab
// faults in once instead of 512 times, and freeing needs no search. A slab
// goes back to the system when its last object does (one spare per class is
// kept, so that a loop allocating and freeing one object does not map and
// unmap). Under AddressSanitizer tiny objects come from malloc, so that the
// sanitizer sees every one of them.
#if defined(__SANITIZE_ADDRESS__)
#define ZYL_MEM_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZYL_MEM_UNDER_ASAN 1
#endif
#endif
#if defined(ZYL_MEM_UNDER_ASAN)
constexpr bool kSlabsInUse = false;
#else
constexpr bool kSlabsInUse = true;
#endif
constexpr std::size_t kSlabBytes = std::size_t(2) << 20;
constexpr std::size_t kGranule = 16;
constexpr std::size_t kLargestTiny = 512;
constexpr std::size_t kClasses = kLargestTiny / kGranule;
constexpr std::size_t kSlabHeaderBytes = 64; // the header keeps a cache line of its own

struct Slab {
    Slab* previous; // within its class's list of slabs with room
    Slab* next;
    void* freeList; // freed objects, linked through their first word
    char* unused;   // first byte never handed out
    long live;
    std::size_t objectBytes;
};

struct SizeClass {
    Slab* withRoom = nullptr;
    Slab* spare = nullptr;
};

std::mutex g_tinyMutex;
SizeClass g_classes[kClasses];
// One bit per 2 MiB of the 47-bit address space, set for the slabs, so that
// mem_Free tells a slab object from a malloc block in one look, without the
// lock: a block being freed was handed out after its slab's bit was set, and
// neighbouring bits change only by atomic updates. Pages of the map never
// written cost nothing.
constexpr std::uint64_t kMappedSlabs = (std::uint64_t(1) << 47) / kSlabBytes;
std::atomic<unsigned char> g_slabMap[kMappedSlabs / 8];

std::uint64_t SlabIndex(const void* address) { return reinterpret_cast<std::uintptr_t>(address) / kSlabBytes; }

bool InSlab(const void* block)
{
    const std::uint64_t index = SlabIndex(block);
    return index < kMappedSlabs && (g_slabMap[index / 8].load(std::memory_order_relaxed) >> (index % 8) & 1) != 0;
}

void MarkSlab(const void* slab, bool inUse)
{
    const std::uint64_t index = SlabIndex(slab);
    const auto bit = static_cast<unsigned char>(1u << (index % 8));
    if (inUse)
        g_slabMap[index / 8].fetch_or(bit, std::memory_order_relaxed);
    else
        g_slabMap[index / 8].fetch_and(static_cast<unsigned char>(~bit), std::memory_order_relaxed);
}

Slab* SlabOf(const void* block)
{
    return reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(block) / kSlabBytes * kSlabBytes);
}

bool IsFull(const Slab* slab)
{
    return slab->freeList == nullptr &&
           slab->unused + slab->objectBytes > reinterpret_cast<const char*>(slab) + kSlabBytes;
}

// A fresh 2 MiB region aligned to 2 MiB: twice the size is mapped and the
// ends are given back.
Slab* MapSlab(std::size_t objectBytes)
{
    void* mapped = mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    char* base = static_cast<char*>(mapped);
    char* aligned = base + (kSlabBytes - reinterpret_cast<std::uintptr_t>(base) % kSlabBytes) % kSlabBytes;
    if (aligned > base)
        munmap(base, static_cast<std::size_t>(aligned - base));
    if (aligned < base + kSlabBytes)
        munmap(aligned + kSlabBytes, static_cast<std::size_t>(base + kSlabBytes - aligned));
    if (SlabIndex(aligned) >= kMappedSlabs) { // beyond the map (a 57-bit address space): not a slab
        munmap(aligned, kSlabBytes);
        return nullptr;
    }
    madvise(aligned, kSlabBytes, MADV_HUGEPAGE); // a hint: failure changes nothing
    MarkSlab(aligned, true);
    Slab* slab = reinterpret_cast<Slab*>(aligned);
    slab->objectBytes = objectBytes;
    return slab;
}

void Unlink(SizeClass& c, Slab* slab)
{
    (slab->previous != nullptr ? slab->previous->next : c.withRoom) = slab->next;
    if (slab->next != nullptr)
        slab->next->previous = slab->previous;
}

void LinkFirst(SizeClass& c, Slab* slab)
{
    slab->previous = nullptr;
    slab->next = c.withRoom;
    if (c.withRoom != nullptr)
        c.withRoom->previous = slab;
    c.withRoom = slab;
}

void* AllocateTiny(std::size_t size)
{
    const std::size_t cls = size == 0 ? 0 : (size - 1) / kGranule;
    SizeClass& c = g_classes[cls];
    const std::lock_guard<std::mutex> lock(g_tinyMutex);
    if (c.withRoom == nullptr) {
        Slab* slab = c.spare != nullptr ? std::exchange(c.spare, nullptr) : MapSlab((cls + 1) * kGranule);
        if (slab == nullptr)
            return nullptr;
        slab->freeList = nullptr;
        slab->unused = reinterpret_cast<char*>(slab) + kSlabHeaderBytes;
        slab->live = 0;
        LinkFirst(c, slab);
    }
    Slab* slab = c.withRoom;
    void* block;
    if (slab->freeList != nullptr) {
        block = slab->freeList;
        std::memcpy(&slab->freeList, block, sizeof(void*));
    } else {
        block = slab->unused;
        slab->unused += slab->objectBytes;
    }
    ++slab->live;
    if (IsFull(slab))
        Unlink(c, slab);
    return block;
}

void FreeTiny(void* block)
{
    Slab* slab = SlabOf(block);
    SizeClass& c = g_classes[(slab->objectBytes - 1) / kGranule];
    const std::lock_guard<std::mutex> lock(g_tinyMutex);
    const bool wasFull = IsFull(slab);
    std::memcpy(block, &slab->freeList, sizeof(void*));
    slab->freeList = block;
    if (wasFull)
        LinkFirst(c, slab);
    if (--slab->live > 0)
        return;
    Unlink(c, slab);
    if (c.spare == nullptr) {
        c.spare = slab;
        return;
    }
    MarkSlab(slab, false);
    munmap(slab, kSlabBytes);
}

} // namespace

void* mem_OperatorNewThrow(std::size_t size) { return Allocate(size); }
void* mem_OperatorNewTinyThrow(std::size_t size)
{
    if (!kSlabsInUse || size > kLargestTiny)
        return Allocate(size);
    if (SeamSaysFail())
        Refuse(size);
    // Without a slab (no mapping to be had) the object comes from malloc.
    void* block = AllocateTiny(size);
    if (block == nullptr && (block = std::malloc(size == 0 ? 1 : size)) == nullptr)
        Refuse(size);
    ++g_liveBlocks;
    return block;
}
void* mem_OperatorNewThrowBuiltin(std::size_t size) { return Allocate(size); }
void* mem_Malloc(std::size_t size) { return Allocate(size); }

void* mem_Realloc(void* block, std::size_t size)
{
    if (block == nullptr)
        return Allocate(size);
    if (InSlab(block)) {
        // Rare: a tiny object grows into an ordinary block.
        void* moved = Allocate(size);
        std::memcpy(moved, block, std::min(size, SlabOf(block)->objectBytes));
        mem_Free(block);
        return moved;
    }
    if (size == SIZE_MAX || SeamSaysFail())
        Refuse(size);
    void* grown = std::realloc(block, size == 0 ? 1 : size);
    if (grown == nullptr)
        Refuse(size);
    return grown;
}

void mem_Free(void* block)
{
    if (block == nullptr)
        return;
    --g_liveBlocks;
    if (InSlab(block))
        FreeTiny(block);
    else
        std::free(block);
}

std::size_t mem_ArraySize(std::size_t count, std::size_t itemSize)
{
    if (itemSize != 0 && count > SIZE_MAX / itemSize)
        return SIZE_MAX;
    return count * itemSize;
}

void* mem_AllocationOperators::operator new(std::size_t size) { return mem_OperatorNewThrow(size); }
void mem_AllocationOperators::operator delete(void* block) noexcept { mem_Free(block); }
void* mem_AllocationOperators::operator new[](std::size_t size) { return mem_OperatorNewThrow(size); }
void mem_AllocationOperators::operator delete[](void* block) noexcept { mem_Free(block); }

void mem_FailAllocation(long n, bool persistent)
{
    g_failCountdown = n > 0 ? n : 0;
    g_failPersistent = persistent;
    g_failing = false;
}

void mem_ClearFailure() { mem_FailAllocation(0, false); }

long mem_LiveBlocks() { return g_liveBlocks; }

atr_String mem_AllocationFailure::AsString() const
{
    char text[96];
    std::snprintf(text, sizeof text, "Memory allocation of %zu bytes failed.", m_size);
    return atr_String(text);
}

void mem_AllocationFailure::ThrowCopy() const { throw *this; }
