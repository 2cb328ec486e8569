#ifndef MTX_IMPL_INTERNAL_ZYLSRVFORTRANCALL_H
#define MTX_IMPL_INTERNAL_ZYLSRVFORTRANCALL_H
// The body of a Fortran entry point. A C++ exception must never unwind
// through the Fortran frames above it, and a Fortran caller has no way to
// catch one: an error of the family (database and allocation failures
// included) prints its message to standard error and ends the process with
// exit status 1. Anything else ends it through std::terminate (noexcept).
#include <platform/ZylBasException.h>

#include <cstdio>
#include <cstdlib>

namespace zyl_mtx {

template <typename Body>
auto CallForFortran(Body&& body) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (const ZylBasException& error) {
        std::fprintf(stderr, "%s\n", error.AsString().Chars());
        std::fflush(stderr);
        std::exit(1);
    }
}

} // namespace zyl_mtx

#endif
