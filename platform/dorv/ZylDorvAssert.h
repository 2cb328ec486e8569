#ifndef PLATFORM_DORV_ZYLDORVASSERT_H
#define PLATFORM_DORV_ZYLDORVASSERT_H
// Assertion reporter of the database API. Callers test a precondition and,
// when it does not hold, report it here; the process then ends.
#include <platform/zyl_Export.h>

class ZYL_EXPORT ZylDorvAssert {
public:
    // Prints "ZylDorv validation failure: <condition> (<sourcePath>, line <line>)"
    // and a line end to the standard error stream, flushes it and ends the
    // process with exit status 1 (std::exit: static objects are destroyed, so
    // open database files are closed).
    [[noreturn]] static void ReportValidationFailure(const char* condition, const char* sourcePath, int line);
};

#endif
