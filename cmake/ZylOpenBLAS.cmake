# OpenBLAS (LP64), linked by its own file name so that the system's BLAS
# alternative cannot swap in another implementation underneath us.
if(NOT TARGET ZylSrv::OpenBLAS)
  find_library(ZYL_OPENBLAS_LIBRARY NAMES openblas
    HINTS /usr/lib/x86_64-linux-gnu/openblas-pthread /usr/lib/openblas-pthread
    PATH_SUFFIXES openblas-pthread)
  if(NOT ZYL_OPENBLAS_LIBRARY)
    message(FATAL_ERROR "OpenBLAS not found (Debian package libopenblas-dev)")
  endif()
  add_library(ZylSrv::OpenBLAS UNKNOWN IMPORTED)
  set_target_properties(ZylSrv::OpenBLAS PROPERTIES IMPORTED_LOCATION ${ZYL_OPENBLAS_LIBRARY})
endif()
