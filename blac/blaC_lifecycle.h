#ifndef BLAC_BLAC_LIFECYCLE_H
#define BLAC_BLAC_LIFECYCLE_H
// Start-up and shut-down of the BLAS/LAPACK bridge: they only count (nested
// calls do no work); no BLAS error handler is installed or removed.
void blaC_initialize(int& tally);
void blaC_finalize(int& tally);
void blaC_formalize(); // exported; takes nothing and does nothing
#endif
