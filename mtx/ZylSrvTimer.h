#ifndef MTX_ZYLSRVTIMER_H
#define MTX_ZYLSRVTIMER_H
/// \file
/// The ZylSrvTimer class.

/// \class ZylSrvTimer
/// \ingroup registry
/// ZylSrvTimer: the process timer behind ZYLSRVGETCPUTIME and
/// ZYLSRVGETWALLTIME, reached as omi_Singleton<ZylSrvTimer>::Instance() (made
/// on first use). It holds no running timer until the host calls CreateTimer,
/// once per start-up of the library; nothing in the library calls it.
/// mtx_finalize destroys the instance, so after a new start-up the host calls
/// CreateTimer again.
///
/// Where the documented contract stops, these are our decisions:
///   - Before CreateTimer the two entry points report 0.
///   - A second CreateTimer releases the running timer and starts a new one.
///
/// Both entry points are Fortran-callable (every argument by reference) and
/// write seconds as a double: process CPU time and monotonic wall time since
/// CreateTimer. They raise nothing; should the first use fail to allocate the
/// instance, the message goes to standard error and the process exits with
/// status 1.
#include <platform/omi_Singleton.h>
#include <platform/omi_Timer.h>
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylSrvTimer : public omi_SingletonBase {
public:
    /// Registers the new timer as the instance, with no running clock; a timer
    /// registered before is released. The registered timer belongs to the
    /// module and mtx_finalize releases it, so make it with `new`, never on
    /// the stack or as a static.
    ZylSrvTimer() noexcept;
    /// Releases the running timer.
    ~ZylSrvTimer() override;

    /// Starts a new timer in place of the running one.
    void CreateTimer();
    /// The running timer, null before CreateTimer.
    const omi_Timer* Timer() const noexcept { return timer; }

private:
    omi_Timer* timer;
};

extern "C" {
/// t := process CPU seconds since CreateTimer (0 before it).
ZYL_EXPORT void ZYLSRVGETCPUTIME(double* t);
/// t := monotonic wall-clock seconds since CreateTimer (0 before it).
ZYL_EXPORT void ZYLSRVGETWALLTIME(double* t);
}

#endif
