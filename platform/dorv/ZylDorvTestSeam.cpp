#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/dorv/internal/ZylDorvSeam.h>

namespace {

int g_pending = 0;
std::uint16_t g_number = 0;

} // namespace

void ZylDorvTestSeam::FailValueWrites(int count, std::uint16_t number)
{
    g_pending = count > 0 ? count : 0;
    g_number = number;
}

void ZylDorvTestSeam::Clear() noexcept
{
    g_pending = 0;
    g_number = 0;
}

int ZylDorvTestSeam::PendingFailures() noexcept { return g_pending; }

namespace zyl_dorv {

bool TakeForcedWriteFailure(std::uint16_t& number) noexcept
{
    if (g_pending <= 0)
        return false;
    --g_pending;
    number = g_number;
    return true;
}

} // namespace zyl_dorv
