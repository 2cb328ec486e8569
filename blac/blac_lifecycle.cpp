// Start-up and shut-down of the BLAS/LAPACK bridge: counting only. The
// bridge installs no BLAS error handler; argument errors reach the BLAS
// library's own reporter.
#include <blac/blaC_lifecycle.h>

#include <platform/zyl_NestingCount.h>

namespace {
int g_blacCount = 0;
}

void blaC_initialize(int& tally)
{
    if (zyl_EnterLevel(g_blacCount))
        ++tally;
}

void blaC_finalize(int& tally)
{
    if (zyl_LeaveLevel(g_blacCount))
        --tally;
}

void blaC_formalize() {}
