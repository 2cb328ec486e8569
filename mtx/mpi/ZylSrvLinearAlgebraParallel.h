#ifndef MTX_MPI_ZYLSRVLINEARALGEBRAPARALLEL_H
#define MTX_MPI_ZYLSRVLINEARALGEBRAPARALLEL_H
/// \file
/// \ingroup frame
/// Start-up of the MPI flavour (libZylSrvLinearAlgebraMPI): the library is
/// given the communicator whose processes share its database files.
///
/// The host initializes and finalizes MPI; the library never calls MPI_Init
/// or MPI_Finalize. The outermost ZylSrvLinearAlgebra_initialize_parallel is
/// collective over the communicator: the library works on a duplicate of it
/// from then on, and the finalize that ends the outermost start-up frees the
/// duplicate (MPI must still be initialized then; a library shut down after
/// MPI_Finalize lets the duplicate go with MPI). Nested start-ups, plain or
/// parallel, only count, as ZylSrvLinearAlgebra_initialize does; a nested
/// parallel start-up must give the very communicator of the outermost one.
///
/// A plain ZylSrvLinearAlgebra_initialize as the outermost start-up makes the
/// MPI flavour work for this process alone, as the serial library does.
#include <platform/zyl_Export.h>

// Open MPI's C++ bindings (deprecated, in a library of their own) are neither
// used here nor needed by callers: the C interface is the whole contract.
/// \cond
#ifndef OMPI_SKIP_MPICXX
#define OMPI_SKIP_MPICXX 1
#endif
/// \endcond
#include <mpi.h>

/// Starts the library for the processes of `communicator` (collective over it
/// when it is the outermost start-up), then does what
/// ZylSrvLinearAlgebra_initialize does with `tally`. Refused with
/// ZylSrvMtxIllegalInput (206, operation
/// "ZylSrvLinearAlgebra_initialize_parallel"), before anything is counted,
/// when MPI is not initialized, when `communicator` is MPI_COMM_NULL, and
/// when the library is already started with another communicator (one that
/// MPI_Comm_compare does not find identical) or by a plain start-up.
ZYL_EXPORT void ZylSrvLinearAlgebra_initialize_parallel(int& tally, MPI_Comm communicator);

extern "C" {
/// Fortran form of ZylSrvLinearAlgebra_initialize_parallel, every argument by
/// reference: the communicator as a Fortran integer (MPI_Comm_f2c). A refusal
/// prints its message to standard error and ends the process with exit
/// status 1.
ZYL_EXPORT void ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL(int* tally, const MPI_Fint* communicator);
/// Fortran form of ZylSrvLinearAlgebra_finalize.
ZYL_EXPORT void ZYLSRVLINEARALGEBRAFINALIZE(int* tally);
}

#endif
