// The start-up counts are process-wide; CTest runs every test in a process of
// its own, so each test starts from a freshly loaded library.
#include <mtx/ZylSrvLinearAlgebra.h>
#include <platform/ZylOutsideLibraries.h>

#include <gtest/gtest.h>

namespace {
const char* const kStartChain =
    "ZylBasCoreUtils+ ZylKelBasicUtils+ ZylKelDrovi+ ZylDorvContainers+ ZylDorvAPI+ ZylSrvBasic+";
const char* const kStopChain =
    "ZylSrvBasic- ZylDorvAPI- ZylDorvContainers- ZylKelDrovi- ZylKelBasicUtils- ZylBasCoreUtils-";
// The library itself, blaC and mtx, plus the six outside libraries.
const int kStartUps = 9;
} // namespace

TEST(Lifecycle, StartsTheChainInOrderAndStopsItBackwards)
{
    ZylOutsideLibraries_ClearJournal();
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, kStartUps);
    EXPECT_EQ(ZylOutsideLibraries_Journal(), kStartChain);

    ZylOutsideLibraries_ClearJournal();
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);
    EXPECT_EQ(ZylOutsideLibraries_Journal(), kStopChain);
}

TEST(Lifecycle, OnlyTheOutermostPairDoesWork)
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, kStartUps);
    ZylOutsideLibraries_ClearJournal();
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, kStartUps) << "one user is still there";
    EXPECT_EQ(ZylOutsideLibraries_Journal(), "");
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);
    EXPECT_EQ(ZylOutsideLibraries_Journal(), kStopChain);

    // A later start-up starts everything again from scratch.
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, kStartUps);
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);
}

TEST(Lifecycle, ModuleCallsNestWithTheOuterPair)
{
    int tally = 0;
    mtx_initialize(tally);
    blaC_initialize(tally);
    EXPECT_EQ(tally, 2);
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, 2 + kStartUps - 2) << "mtx and blaC were already started";
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 2) << "mtx and blaC keep running for their own callers";
    blaC_finalize(tally);
    mtx_finalize(tally);
    EXPECT_EQ(tally, 0);
    blaC_formalize();
    EXPECT_EQ(tally, 0);
}

TEST(Lifecycle, FinalizeBeforeInitializeLeavesTheCountBelowZero)
{
    ZylOutsideLibraries_ClearJournal();
    int tally = 0;
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, 0) << "the count only came back to zero: no start-up";
    EXPECT_EQ(ZylOutsideLibraries_Journal(), "");
    ZylSrvLinearAlgebra_initialize(tally);
    EXPECT_EQ(tally, kStartUps);
    ZylSrvLinearAlgebra_finalize(tally);
    EXPECT_EQ(tally, 0);

    mtx_finalize(tally);
    mtx_initialize(tally);
    EXPECT_EQ(tally, 0) << "the module levels count the same way";
}
