#ifndef PLATFORM_DORV_MPI_ZYLDORVCOMMUNICATOR_H
#define PLATFORM_DORV_MPI_ZYLDORVCOMMUNICATOR_H
// The MPI flavour's side of ZylDorvProcessGroup: the communicator the host
// gave at the outermost parallel start-up, and the duplicate the library
// works on, so that its collective calls never match messages of the host's.
#ifndef OMPI_SKIP_MPICXX
#define OMPI_SKIP_MPICXX 1 // the C interface only (no libmpi_cxx)
#endif
#include <mpi.h>

namespace zyl_dorv_mpi {

// True between Adopt and the Release that follows it.
bool HasCommunicator() noexcept;
// The communicator the host gave (MPI_COMM_NULL when none was adopted).
MPI_Comm GivenCommunicator() noexcept;
// The library's duplicate of it (MPI_COMM_NULL when none was adopted).
MPI_Comm Communicator() noexcept;
// Duplicates `given` (collective over it) and works on the duplicate from
// now on. Returns the MPI error code of the duplication; on failure nothing
// is adopted.
int Adopt(MPI_Comm given) noexcept;

} // namespace zyl_dorv_mpi

#endif
