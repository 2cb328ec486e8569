#include <platform/dorv/ZylDorvAssert.h>

#include <cstdio>
#include <cstdlib>

void ZylDorvAssert::ReportValidationFailure(const char* condition, const char* sourcePath, int line)
{
    std::fprintf(stderr, "ZylDorv validation failure: %s (%s, line %d)\n", condition != nullptr ? condition : "",
                 sourcePath != nullptr ? sourcePath : "", line);
    std::fflush(stderr);
    std::exit(1);
}
