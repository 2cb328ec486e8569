#include <mtx/impl/internal/ZylSrvScratchFileName.h>

#include <cstdio>
#include <string>

atr_String zyl_mtx::ScratchFileName(const char* prefix, const void* owner, int variant)
{
    char tail[64];
    if (variant == 0)
        std::snprintf(tail, sizeof tail, "%p.dorv", owner);
    else
        std::snprintf(tail, sizeof tail, "%p-%d.dorv", owner, variant);
    return atr_String((std::string(prefix) + tail).c_str());
}
