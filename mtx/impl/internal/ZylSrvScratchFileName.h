#ifndef MTX_IMPL_INTERNAL_ZYLSRVSCRATCHFILENAME_H
#define MTX_IMPL_INTERNAL_ZYLSRVSCRATCHFILENAME_H
// Names of the scratch database files that objects make for themselves in the
// current directory: "<prefix><address>.dorv", the owner's address printed
// with "%p", or for variant k > 0 "<prefix><address>-<k>.dorv". The address
// keeps the names of live owners of one process apart. In the MPI flavour the
// address is rank 0's owner's (collective: every rank names the same file, in
// its current directory, which must be rank 0's).
#include <platform/atr_String.h>

namespace zyl_mtx {

atr_String ScratchFileName(const char* prefix, const void* owner, int variant = 0);

} // namespace zyl_mtx

#endif
