#ifndef MTX_IMPL_MPI_ZYLSRVMTXSHAREDERRORS_H
#define MTX_IMPL_MPI_ZYLSRVMTXSHAREDERRORS_H
// The MPI flavour: how the library's error family travels from the rank that
// raised it to the others in a collective call (platform/dorv/mpi/
// ZylDorvSharedErrors.h). Registered at the parallel start-up.
namespace zyl_mtx {

void RegisterSharedErrors();

} // namespace zyl_mtx

#endif
