#ifndef MTX_IMPL_INTERNAL_ZYLSRVSTARTUP_H
#define MTX_IMPL_INTERNAL_ZYLSRVSTARTUP_H
// What the MPI flavour's start-up needs to know of the plain one.
namespace zyl_mtx {

// True between the outermost ZylSrvLinearAlgebra_initialize and the
// finalize that brings the library's count back to 0.
bool LibraryStarted() noexcept;

} // namespace zyl_mtx

#endif
