#ifndef PLATFORM_ZYL_EXPORT_H
#define PLATFORM_ZYL_EXPORT_H
/// \file
/// \ingroup foundation
/// The export mark of the shared library's interface (ZYL_EXPORT).

/// Marks a class or function as part of the shared library's interface. The
/// library is compiled with hidden visibility, so whatever a public header does
/// not mark stays inside it; callers compile with default visibility, where the
/// mark changes nothing. Plain C, as blac/blac.h is read by C callers too.
#if defined(__GNUC__)
#define ZYL_EXPORT __attribute__((visibility("default")))
#else
#define ZYL_EXPORT
#endif

#endif
