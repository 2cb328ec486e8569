#include <platform/omi_Singleton.h>

#include <utility>

namespace {
omi_SingletonBase* g_instance = nullptr;
} // namespace

omi_SingletonBase::omi_SingletonBase() noexcept
{
    // The registry owns its instance: the one replaced is released here. It
    // is unregistered first, so its destructor leaves the pointer alone.
    delete std::exchange(g_instance, this);
}

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
