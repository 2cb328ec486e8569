#ifndef PLATFORM_ZYL_NESTINGCOUNT_H
#define PLATFORM_ZYL_NESTINGCOUNT_H
// The counting rule shared by the three start-up levels of the library.
// Plain read-modify-write: start-up and shut-down are single-threaded.

// initialize: remember the count, add one; true when the remembered value was 0.
inline bool zyl_EnterLevel(int& count)
{
    const int before = count;
    ++count;
    return before == 0;
}

// finalize: subtract one; true when the count is now exactly 0.
inline bool zyl_LeaveLevel(int& count)
{
    --count;
    return count == 0;
}

#endif
