#ifndef PLATFORM_OMI_TIMER_H
#define PLATFORM_OMI_TIMER_H
/// \file
/// The omi_Timer class.

/// \class omi_Timer
/// \ingroup foundation
/// A stopwatch of the process: CPU time of all its threads
/// (CLOCK_PROCESS_CPUTIME_ID) and monotonic wall time (CLOCK_MONOTONIC), both
/// in seconds since Start. A timer never started reads 0 on both.
#include <platform/zyl_Export.h>

#include <cstddef>

class ZYL_EXPORT omi_Timer {
public:
    omi_Timer() noexcept = default;

    /// (Re)starts both clocks.
    void Start() noexcept;
    /// CPU seconds since Start.
    double GetTotalCpuTime() const noexcept;
    /// Wall-clock seconds since Start.
    double GetElapsedTime() const noexcept;

    ///@{
    /// A timer is a handful of bytes: it comes from the allocator's
    /// tiny-object path.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
    ///@}

private:
    bool started = false;
    double cpuStart = 0.0;
    double wallStart = 0.0;
};

#endif
