#ifndef BLAC_BLAC_LIFECYCLE_H
#define BLAC_BLAC_LIFECYCLE_H
/// \file
/// \ingroup blac
/// Start-up and shut-down of the BLAS/LAPACK bridge: they only count (nested
/// calls do no work); no BLAS error handler is installed or removed.
#include <platform/zyl_Export.h>

/// Counts a start-up of the bridge in tally.
ZYL_EXPORT void blaC_initialize(int& tally);
/// Counts a shut-down of the bridge in tally.
ZYL_EXPORT void blaC_finalize(int& tally);
ZYL_EXPORT void blaC_formalize(); ///< exported; takes nothing and does nothing
#endif
