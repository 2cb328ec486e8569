#ifndef PLATFORM_ZYLOUTSIDELIBRARIES_H
#define PLATFORM_ZYLOUTSIDELIBRARIES_H
// Start-up and shut-down entries of the solver libraries this library is
// started after. The stand-ins nest like the real ones: only the outermost
// pair does work, which here is raising or lowering the tally by one and
// noting the call in a journal that tests read to check the order.
#include <string>

void ZylBasCoreUtils_initialize(int& tally);
void ZylBasCoreUtils_finalize(int& tally);
void ZylKelBasicUtils_initialize(int& tally);
void ZylKelBasicUtils_finalize(int& tally);
void ZylKelDrovi_initialize(int& tally);
void ZylKelDrovi_finalize(int& tally);
void ZylDorvContainers_initialize(int& tally);
void ZylDorvContainers_finalize(int& tally);
void ZylDorvAPI_initialize(int& tally);
void ZylDorvAPI_finalize(int& tally);
void ZylSrvBasic_initialize(int& tally);
void ZylSrvBasic_finalize(int& tally);

// Test seam: the start-ups and shut-downs performed so far, as
// "ZylBasCoreUtils+ ZylKelBasicUtils+ ... ZylBasCoreUtils-" ('+' start, '-' stop).
std::string ZylOutsideLibraries_Journal();
void ZylOutsideLibraries_ClearJournal();

#endif
