// The MPI flavour: the processes of the communicator adopted at the outermost
// parallel start-up, or this process alone when there is none.
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/internal/ZylDorvFileSharing.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>

namespace {
MPI_Comm g_given = MPI_COMM_NULL;
MPI_Comm g_duplicate = MPI_COMM_NULL;
int g_rank = 0;
int g_size = 1;

bool MpiFinalized() noexcept
{
    int finalized = 0;
    MPI_Finalized(&finalized);
    return finalized != 0;
}
} // namespace

bool zyl_dorv_mpi::HasCommunicator() noexcept { return g_duplicate != MPI_COMM_NULL; }
MPI_Comm zyl_dorv_mpi::GivenCommunicator() noexcept { return g_given; }
MPI_Comm zyl_dorv_mpi::Communicator() noexcept { return g_duplicate; }

int zyl_dorv_mpi::Adopt(MPI_Comm given) noexcept
{
    MPI_Comm duplicate = MPI_COMM_NULL;
    const int status = MPI_Comm_dup(given, &duplicate);
    if (status != MPI_SUCCESS)
        return status;
    // Errors on the library's own communicator come back as codes (the
    // library turns them into its own errors), never as the default abort.
    MPI_Comm_set_errhandler(duplicate, MPI_ERRORS_RETURN);
    g_given = given;
    g_duplicate = duplicate;
    MPI_Comm_rank(duplicate, &g_rank);
    MPI_Comm_size(duplicate, &g_size);
    return MPI_SUCCESS;
}

int ZylDorvProcessGroup::Rank() noexcept { return g_rank; }
int ZylDorvProcessGroup::Size() noexcept { return g_size; }

std::uint64_t ZylDorvProcessGroup::ValueOfRankZero(std::uint64_t value) noexcept
{
    if (g_duplicate != MPI_COMM_NULL)
        MPI_Bcast(&value, 1, MPI_UINT64_T, 0, g_duplicate);
    return value;
}

void ZylDorvProcessGroup::Synchronize() noexcept
{
    if (g_duplicate != MPI_COMM_NULL)
        MPI_Barrier(g_duplicate);
}

void ZylDorvProcessGroup::Collectively(const std::function<void()>& step) { zyl_dorv::Collectively(step); }

void ZylDorvProcessGroup::Release() noexcept
{
    // After MPI_Finalize no MPI call is allowed; the duplicate went with it.
    if (g_duplicate != MPI_COMM_NULL && !MpiFinalized())
        MPI_Comm_free(&g_duplicate);
    g_given = g_duplicate = MPI_COMM_NULL;
    g_rank = 0;
    g_size = 1;
}
