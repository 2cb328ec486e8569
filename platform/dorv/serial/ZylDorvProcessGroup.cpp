// The serial library: one process.
#include <platform/dorv/ZylDorvProcessGroup.h>

int ZylDorvProcessGroup::Rank() noexcept { return 0; }
int ZylDorvProcessGroup::Size() noexcept { return 1; }
void ZylDorvProcessGroup::Release() noexcept {}
std::uint64_t ZylDorvProcessGroup::ValueOfRankZero(std::uint64_t value) noexcept { return value; }
void ZylDorvProcessGroup::Synchronize() noexcept {}
void ZylDorvProcessGroup::Collectively(const std::function<void()>& step) { step(); }
