// Test main of the MPI flavour's suites, run by mpirun: every rank runs every
// test; the ranks of a test share one fresh directory (the database files of
// the MPI flavour are shared), which rank 0 makes and inspects. Rank 0 prints
// the usual report; the other ranks print their failures only, marked with
// their rank. The run fails when any rank failed.
#include "support/ScratchDirectory.h"

#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h> // mpi.h without the C++ bindings

#include <cstdio>
#include <string>

namespace {

int WorldRank()
{
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}

std::string FromRankZero(const std::string& text)
{
    int length = static_cast<int>(text.size());
    MPI_Bcast(&length, 1, MPI_INT, 0, MPI_COMM_WORLD);
    std::string shared = text;
    shared.resize(static_cast<std::size_t>(length));
    MPI_Bcast(shared.data(), length, MPI_CHAR, 0, MPI_COMM_WORLD);
    return shared;
}

class RankFailurePrinter : public testing::EmptyTestEventListener {
public:
    explicit RankFailurePrinter(int rank) : m_rank(rank) {}
    void OnTestPartResult(const testing::TestPartResult& result) override
    {
        if (result.failed())
            std::fprintf(stderr, "[ rank %d ] %s:%d: %s\n", m_rank, result.file_name() ? result.file_name() : "?",
                         result.line_number(), result.summary());
    }

private:
    int m_rank;
};

} // namespace

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    testing::InitGoogleTest(&argc, argv);
    const int rank = WorldRank();
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    if (rank != 0) {
        delete listeners.Release(listeners.default_result_printer());
        listeners.Append(new RankFailurePrinter(rank));
    }
    zyltest::ProcessGroup group;
    group.leader = rank == 0;
    group.share = FromRankZero;
    group.wait = [] { MPI_Barrier(MPI_COMM_WORLD); };
    auto* scratch = new zyltest::ScratchDirectoryListener(std::filesystem::current_path(), group);
    listeners.Append(scratch);
    int result = RUN_ALL_TESTS();
    if (scratch->LeftSomethingBehind())
        result = 1;
    int worst = 0;
    MPI_Allreduce(&result, &worst, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    MPI_Finalize();
    return worst;
}
