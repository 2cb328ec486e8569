#include <platform/omi_Singleton.h>

namespace {
omi_SingletonBase* g_instance = nullptr;
} // namespace

omi_SingletonBase::omi_SingletonBase() noexcept { g_instance = this; }

omi_SingletonBase::~omi_SingletonBase()
{
    if (g_instance == this)
        g_instance = nullptr;
}

omi_SingletonBase* omi_SingletonBase::Registered() noexcept { return g_instance; }

void omi_SingletonBase::Release() noexcept
{
    omi_SingletonBase* instance = g_instance;
    g_instance = nullptr;
    delete instance;
}
