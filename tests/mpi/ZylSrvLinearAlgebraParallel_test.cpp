// The MPI flavour's start-up: the communicator it adopts, nesting, refusals.
#include "support/FamilyError.h"

#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

int RankOf(MPI_Comm communicator)
{
    int rank = -1;
    MPI_Comm_rank(communicator, &rank);
    return rank;
}

int SizeOf(MPI_Comm communicator)
{
    int size = -1;
    MPI_Comm_size(communicator, &size);
    return size;
}

// What the plain start-up adds to the tally, measured on its own.
int PlainStartUpRaise()
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    const int raised = tally;
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);
    return raised;
}

void ExpectRefusedStartUp(const std::function<void()>& startUp)
{
    zyltest::ExpectIllegalInput(startUp, "ZylSrvLinearAlgebra_initialize_parallel", "mtx/impl/ZylSrvLinearAlgebra");
}

} // namespace

TEST(ParallelStartUp, WorksOnADuplicateOfTheHostsCommunicatorUntilTheLastShutDown)
{
    const int plainRaise = PlainStartUpRaise();
    ASSERT_GE(plainRaise, 3); // the library, blaC and mtx at least
    EXPECT_EQ(ZylDorvProcessGroup::Size(), 1) << "a plain start-up works for this process alone";

    int tally = 0;
    ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
    EXPECT_EQ(tally, plainRaise);
    EXPECT_EQ(ZylDorvProcessGroup::Rank(), RankOf(MPI_COMM_WORLD));
    EXPECT_EQ(ZylDorvProcessGroup::Size(), SizeOf(MPI_COMM_WORLD));
    int comparison = MPI_IDENT;
    MPI_Comm_compare(zyl_dorv_mpi::Communicator(), MPI_COMM_WORLD, &comparison);
    EXPECT_EQ(comparison, MPI_CONGRUENT) << "the library's messages must never match the host's";

    // Nested start-ups, parallel with the same communicator or plain, only count.
    ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, plainRaise);
    ZylSrvLinearAlgebra_finalize(tally);
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(ZylDorvProcessGroup::Size(), SizeOf(MPI_COMM_WORLD)) << "released before the last shut-down";
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);
    EXPECT_FALSE(zyl_dorv_mpi::HasCommunicator());
    EXPECT_EQ(ZylDorvProcessGroup::Rank(), 0);
    EXPECT_EQ(ZylDorvProcessGroup::Size(), 1);

    // A later start-up adopts afresh, here a communicator of this rank alone.
    ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_SELF);
    EXPECT_EQ(ZylDorvProcessGroup::Size(), 1);
    EXPECT_TRUE(zyl_dorv_mpi::HasCommunicator());
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_FALSE(zyl_dorv_mpi::HasCommunicator());
}

TEST(ParallelStartUp, RefusesAnotherCommunicatorOnEveryRankAndCountsNothing)
{
    MPI_Comm duplicate = MPI_COMM_NULL;
    MPI_Comm_dup(MPI_COMM_WORLD, &duplicate);
    struct Case {
        const char* name;
        bool outermostParallel; // else plain
        MPI_Comm nested;
    };
    const Case cases[] = {
        {"a duplicate of the outermost communicator", true, duplicate},
        {"this rank alone under the world", true, MPI_COMM_SELF},
        {"the null communicator", true, MPI_COMM_NULL},
        {"the world under a plain start-up", false, MPI_COMM_WORLD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int tally = 0;
        if (c.outermostParallel)
            ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
        else
            ZylSrvLinearAlgebra_initialize(tally);
        const int started = tally;
        ExpectRefusedStartUp([&] { ZylSrvLinearAlgebra_initialize_parallel(tally, c.nested); });
        EXPECT_EQ(tally, started);
        EXPECT_EQ(ZylDorvProcessGroup::Size(), c.outermostParallel ? SizeOf(MPI_COMM_WORLD) : 1);
        // Nothing was counted: one finalize ends the outermost start-up.
        ZylSrvLinearAlgebra_finalize(tally);
        EXPECT_EQ(tally, 0);
        EXPECT_FALSE(zyl_dorv_mpi::HasCommunicator());
    }
    int tally = 0;
    ExpectRefusedStartUp([&] { ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_NULL); });
    EXPECT_EQ(tally, 0);
    MPI_Comm_free(&duplicate);
}
