# Fails when the serial LIBRARY depends on MPI in any way: a needed shared
# library of Open MPI or of the MPI build of HDF5, or any MPI_ symbol it
# defines or uses.
execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc1)
execute_process(COMMAND ${NM} -D ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc2)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT dynamic MATCHES "NEEDED" OR NOT symbols MATCHES "BLAC_DGEMM")
  message(FATAL_ERROR "cannot read the dynamic section and symbols of ${LIBRARY}")
endif()
string(REGEX MATCHALL "Shared library: \\[[^]]*(mpi|open-rte|open-pal|hdf5_openmpi)[^]]*\\]" needed "${dynamic}")
string(REGEX MATCHALL "[ \t](P?MPI_[A-Za-z_]+|ompi_[A-Za-z_]+)" used "${symbols}")
if(needed OR used)
  message(FATAL_ERROR "the serial library links MPI: ${needed} ${used}")
endif()
