#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVSEAM_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVSEAM_H
// Private to platform/dorv: the value-write side of ZylDorvTestSeam.
#include <cstdint>

namespace zyl_dorv {

// True (and the number to raise) when the test seam wants this value write
// to fail; consumes one armed failure.
bool TakeForcedWriteFailure(std::uint16_t& number) noexcept;

} // namespace zyl_dorv

#endif
