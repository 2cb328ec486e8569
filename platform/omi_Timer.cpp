#include <platform/omi_Timer.h>

#include <platform/mem.h>

#include <ctime>

namespace {

// Seconds on `clock`; the clocks used here exist on every Linux, so a failed
// read (which leaves the value at 0) is not expected.
double Seconds(clockid_t clock) noexcept
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

} // namespace

void omi_Timer::Start() noexcept
{
    cpuStart = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    wallStart = Seconds(CLOCK_MONOTONIC);
    started = true;
}

double omi_Timer::GetTotalCpuTime() const noexcept
{
    return started ? Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart : 0.0;
}

double omi_Timer::GetElapsedTime() const noexcept { return started ? Seconds(CLOCK_MONOTONIC) - wallStart : 0.0; }

void* omi_Timer::operator new(std::size_t size) { return mem_OperatorNewTinyThrow(size); }

void omi_Timer::operator delete(void* block) noexcept { mem_Free(block); }
