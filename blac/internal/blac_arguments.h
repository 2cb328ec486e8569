#ifndef BLAC_INTERNAL_BLAC_ARGUMENTS_H
#define BLAC_INTERNAL_BLAC_ARGUMENTS_H
// The argument checks the bridge makes itself, in the manner of reference
// LAPACK: arguments are tested in their order, the first bad one sets INFO to
// minus its position and is reported through XERBLA under the routine's
// six-character name, and the routine returns without touching its data.
// Private to blac/*.cpp; never installed.
#include <blac/internal/blac_fortran.h>

// LSAME of a one-character argument against one letter, case-insensitive.
inline bool blac_Lsame(const char* argument, char letter)
{
    const blac_strlen one = 1;
    return lsame_(argument, &letter, one, one) != 0;
}

inline int blac_Max1(int n)
{
    return n > 1 ? n : 1;
}

// True when `info` refuses the call, which has then been reported.
inline bool blac_Refused(const char* name6, int info)
{
    if (info == 0)
        return false;
    const int argument = -info;
    xerbla_(name6, &argument, 6);
    return true;
}

#endif
