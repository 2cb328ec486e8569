#include <platform/mem.h>

#include <platform/ZylBasException.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Failure seam state; plain globals, like the rest of the start-up state.
long g_failCountdown = 0;   // 0: disarmed; n: the nth allocation from now fails
bool g_failPersistent = false;
bool g_failing = false;     // persistent mode has been reached
long g_liveBlocks = 0;

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

} // namespace

void* mem_OperatorNewThrow(std::size_t size) { return Allocate(size); }
void* mem_OperatorNewTinyThrow(std::size_t size) { return Allocate(size); }
void* mem_OperatorNewThrowBuiltin(std::size_t size) { return Allocate(size); }
void* mem_Malloc(std::size_t size) { return Allocate(size); }

void* mem_Realloc(void* block, std::size_t size)
{
    if (block == nullptr)
        return Allocate(size);
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
