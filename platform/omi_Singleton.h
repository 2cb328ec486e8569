#ifndef PLATFORM_OMI_SINGLETON_H
#define PLATFORM_OMI_SINGLETON_H
/// \file
/// \ingroup foundation
/// A process-wide instance made on first use. omi_SingletonBase keeps the one
/// instance pointer of the process: constructing a derived object registers
/// it (and deletes the object registered before, which the registry owns),
/// and omi_Singleton<T>::Instance() returns the registered object, making a T
/// first when there is none. Instances are therefore made with `new`. There is
/// room for one singleton type per process (the timer of the matrix module).
/// Release() destroys the instance and clears the pointer, so that the next
/// Instance() makes a fresh one.
/// Nothing is locked: first use and release happen on one thread.
#include <platform/mem.h>
#include <platform/zyl_Export.h>

/// \ingroup foundation
/// The base of a process-wide instance; keeps the instance pointer (see above).
class ZYL_EXPORT omi_SingletonBase : public mem_AllocationOperators {
public:
    omi_SingletonBase(const omi_SingletonBase&) = delete;
    omi_SingletonBase& operator=(const omi_SingletonBase&) = delete;
    /// Clears the instance pointer when it points at this object.
    virtual ~omi_SingletonBase();

    /// The registered instance, null when there is none.
    static omi_SingletonBase* Registered() noexcept;
    /// Deletes the registered instance, if any, and leaves the pointer null.
    static void Release() noexcept;

protected:
    /// Registers this object as the instance, in place of any earlier one,
    /// which it deletes.
    omi_SingletonBase() noexcept;
};

/// \ingroup foundation
/// Access to the instance of T, made on first use.
/// T derives from omi_SingletonBase and befriends omi_Singleton<T> when its
/// constructor is private.
template <typename T>
class omi_Singleton {
public:
    /// The registered instance, a new T when there is none.
    static T& Instance()
    {
        if (omi_SingletonBase::Registered() == nullptr)
            return *new T;
        return static_cast<T&>(*omi_SingletonBase::Registered());
    }
    /// Deletes the instance (omi_SingletonBase::Release).
    static void Release() noexcept { omi_SingletonBase::Release(); }
};

#endif
