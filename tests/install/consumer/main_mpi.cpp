// A host of the MPI flavour: MPI is the host's to start and stop; the library
// starts with the world and stops before MPI does.
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>
#include <mtx/ZylSrvLinearAlgebra.h>

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    int tally = 0;
    ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
    const bool started = tally > 0;
    ZylSrvLinearAlgebra_finalize(tally);
    MPI_Finalize();
    return started && tally == 0 ? 0 : 1;
}
