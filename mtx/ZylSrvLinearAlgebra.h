#ifndef MTX_ZYLSRVLINEARALGEBRA_H
#define MTX_ZYLSRVLINEARALGEBRA_H
/// \file
/// \ingroup frame
/// Start-up and shut-down of the library. Every host component calls
/// ZylSrvLinearAlgebra_initialize before its first use and
/// ZylSrvLinearAlgebra_finalize after its last; the calls nest and only the
/// outermost pair does work. `tally` is the caller's running count of library
/// start-ups: each library in the chain raises it by one when it starts and
/// lowers it by one when it stops. Nothing here checks or reports anything,
/// and nothing is locked: start-up and shut-down run on one thread, before and
/// after all other use.
///
/// Order of start-up (shut-down is the exact reverse): the library itself,
/// ZylBasCoreUtils, ZylKelBasicUtils, ZylKelDrovi, ZylDorvContainers,
/// ZylDorvAPI, ZylSrvBasic, the BLAS/LAPACK bridge (blaC), the matrix
/// module (mtx).
///
/// Loading the shared library starts nothing.
#include <platform/zyl_Export.h>

/// Starts the library and the libraries beneath it (outermost call only).
ZYL_EXPORT void ZylSrvLinearAlgebra_initialize(int& tally);
/// Stops them in the reverse order (outermost call only).
ZYL_EXPORT void ZylSrvLinearAlgebra_finalize(int& tally);

///@{
/// The matrix module: counts; its shut-down also destroys the process timer
/// (ZylSrvTimer).
ZYL_EXPORT void mtx_initialize(int& tally);
ZYL_EXPORT void mtx_finalize(int& tally);
///@}

// The BLAS/LAPACK bridge's own pair, blaC_initialize and blaC_finalize.
#include <blac/blaC_lifecycle.h>

#endif
