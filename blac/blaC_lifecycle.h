#ifndef BLAC_BLAC_LIFECYCLE_H
#define BLAC_BLAC_LIFECYCLE_H
// Start-up and shut-down of the BLAS/LAPACK bridge: they only count (nested
// calls do no work); no BLAS error handler is installed or removed.
#include <platform/zyl_Export.h>

ZYL_EXPORT void blaC_initialize(int& tally);
ZYL_EXPORT void blaC_finalize(int& tally);
ZYL_EXPORT void blaC_formalize(); // exported; takes nothing and does nothing
#endif
