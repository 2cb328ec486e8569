#include <mtx/ZylSrvTimer.h>

#include <mtx/impl/internal/ZylSrvFortranCall.h>

ZylSrvTimer::ZylSrvTimer() noexcept : omi_SingletonBase(), timer(nullptr) {}

ZylSrvTimer::~ZylSrvTimer()
{
    delete timer;
    timer = nullptr;
}

void ZylSrvTimer::CreateTimer()
{
    omi_Timer* started = new omi_Timer; // a refusal keeps the running timer
    started->Start();
    delete timer;
    timer = started;
}

namespace {

// Seconds of the running timer as `read` gives them, 0 before CreateTimer.
double ReadTimer(double (omi_Timer::*read)() const noexcept)
{
    return zyl_mtx::CallForFortran([read] {
        const omi_Timer* timer = omi_Singleton<ZylSrvTimer>::Instance().Timer();
        return timer != nullptr ? (timer->*read)() : 0.0;
    });
}

} // namespace

void ZYLSRVGETCPUTIME(double* t) { *t = ReadTimer(&omi_Timer::GetTotalCpuTime); }

void ZYLSRVGETWALLTIME(double* t) { *t = ReadTimer(&omi_Timer::GetElapsedTime); }
