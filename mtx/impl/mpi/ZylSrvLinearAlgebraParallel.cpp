#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>

#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/impl/ZylSrvMtxErrors.h>
#include <mtx/impl/internal/ZylSrvStartUp.h>
#include <mtx/impl/mpi/ZylSrvMtxSharedErrors.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr zyl_mtx::RaiseSource kRaiseSource = zyl_mtx::HelperSource(zyl_mtx::kLinearAlgebraSource, __FILE__);
constexpr const char* kOperation = "ZylSrvLinearAlgebra_initialize_parallel";

bool MpiReady() noexcept
{
    int initialized = 0, finalized = 0;
    MPI_Initialized(&initialized);
    MPI_Finalized(&finalized);
    return initialized != 0 && finalized == 0;
}

// A nested start-up joins the outermost one only with the same communicator.
bool SameAsAdopted(MPI_Comm communicator) noexcept
{
    if (!zyl_dorv_mpi::HasCommunicator())
        return false; // started plainly: this process alone
    int comparison = MPI_UNEQUAL;
    return MPI_Comm_compare(zyl_dorv_mpi::GivenCommunicator(), communicator, &comparison) == MPI_SUCCESS &&
           comparison == MPI_IDENT;
}

} // namespace

void ZylSrvLinearAlgebra_initialize_parallel(int& tally, MPI_Comm communicator)
{
    ZYL_SRV_MTX_REFUSE_IF(!MpiReady() || communicator == MPI_COMM_NULL, kOperation);
    if (zyl_mtx::LibraryStarted())
        ZYL_SRV_MTX_REFUSE_IF(!SameAsAdopted(communicator), kOperation);
    else
        ZYL_SRV_MTX_REFUSE_IF(zyl_dorv_mpi::Adopt(communicator) != MPI_SUCCESS, kOperation);
    zyl_mtx::RegisterSharedErrors();
    ZylSrvLinearAlgebra_initialize(tally);
}

void ZYLSRVLINEARALGEBRAINITIALIZEPARALLEL(int* tally, const MPI_Fint* communicator)
{
    // No C++ exception may unwind through the Fortran caller's frames.
    try {
        ZylSrvLinearAlgebra_initialize_parallel(*tally, MPI_Comm_f2c(*communicator));
    } catch (const ZylBasException& e) {
        std::fprintf(stderr, "%s\n", e.UserReport().Chars());
        std::exit(1);
    }
}

void ZYLSRVLINEARALGEBRAFINALIZE(int* tally) { ZylSrvLinearAlgebra_finalize(*tally); }
