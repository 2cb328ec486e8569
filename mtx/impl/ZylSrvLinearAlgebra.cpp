#include <mtx/ZylSrvLinearAlgebra.h>

#include <mtx/ZylSrvTimer.h>

#include <mtx/impl/internal/ZylSrvBandShare.h>
#include <mtx/impl/internal/ZylSrvStartUp.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/zyl_NestingCount.h>
#include <platform/ZylOutsideLibraries.h>

namespace {
int g_libraryCount = 0;
int g_mtxCount = 0;
} // namespace

bool zyl_mtx::LibraryStarted() noexcept { return g_libraryCount > 0; }

void ZylSrvLinearAlgebra_initialize(int& tally)
{
    if (!zyl_EnterLevel(g_libraryCount))
        return;
    ++tally;
    ZylBasCoreUtils_initialize(tally);
    ZylKelBasicUtils_initialize(tally);
    ZylKelDrovi_initialize(tally);
    ZylDorvContainers_initialize(tally);
    ZylDorvAPI_initialize(tally);
    ZylSrvBasic_initialize(tally);
    blaC_initialize(tally);
    mtx_initialize(tally);
}

void ZylSrvLinearAlgebra_finalize(int& tally)
{
    if (!zyl_LeaveLevel(g_libraryCount))
        return;
    --tally;
    mtx_finalize(tally);
    blaC_finalize(tally);
    ZylSrvBasic_finalize(tally);
    ZylDorvAPI_finalize(tally);
    ZylDorvContainers_finalize(tally);
    ZylKelDrovi_finalize(tally);
    ZylKelBasicUtils_finalize(tally);
    ZylBasCoreUtils_finalize(tally);
    // The MPI flavour's duplicate of the host's communicator goes last: the
    // shut-downs above may still need it.
    ZylDorvProcessGroup::Release();
}

void mtx_initialize(int& tally)
{
    // The process timer is not made here: it is created on first use.
    if (zyl_EnterLevel(g_mtxCount))
        ++tally;
}

void mtx_finalize(int& tally)
{
    if (!zyl_LeaveLevel(g_mtxCount))
        return;
    --tally;
    // A later start-up makes a fresh instance, whose timer waits for the
    // host's CreateTimer.
    omi_Singleton<ZylSrvTimer>::Release();
    zyl_mtx::LetGoOfSpareBands();
}
