#include <mtx/impl/internal/ZylSrvScratchFileName.h>

#include <platform/dorv/ZylDorvProcessGroup.h>

#include <cstdint>
#include <cstdio>
#include <string>

atr_String zyl_mtx::ScratchFileName(const char* prefix, const void* owner, int variant)
{
    // Ranks sharing the file take rank 0's owner: one name for all of them.
    owner = reinterpret_cast<const void*>(
        static_cast<std::uintptr_t>(ZylDorvProcessGroup::ValueOfRankZero(reinterpret_cast<std::uintptr_t>(owner))));
    char tail[64];
    if (variant == 0)
        std::snprintf(tail, sizeof tail, "%p.dorv", owner);
    else
        std::snprintf(tail, sizeof tail, "%p-%d.dorv", owner, variant);
    return atr_String((std::string(prefix) + tail).c_str());
}
