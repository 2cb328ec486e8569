#include <platform/ZylOutsideLibraries.h>

namespace {

// Never destroyed, so that a host finalizing from a static destructor still
// finds it; kept short, as only tests read it.
std::string& Journal()
{
    static std::string* journal = new std::string;
    return *journal;
}
constexpr std::size_t kJournalLimit = 4096;

struct NestedLibrary {
    const char* name;
    int count;

    void Initialize(int& tally)
    {
        if (count++ != 0)
            return;
        ++tally;
        Note('+');
    }

    void Finalize(int& tally)
    {
        if (--count != 0)
            return;
        --tally;
        Note('-');
    }

    void Note(char what) const
    {
        std::string& journal = Journal();
        if (journal.size() > kJournalLimit)
            journal.clear();
        if (!journal.empty())
            journal += ' ';
        journal += name;
        journal += what;
    }
};

NestedLibrary g_basCoreUtils{"ZylBasCoreUtils", 0};
NestedLibrary g_kelBasicUtils{"ZylKelBasicUtils", 0};
NestedLibrary g_kelDrovi{"ZylKelDrovi", 0};
NestedLibrary g_dorvContainers{"ZylDorvContainers", 0};
NestedLibrary g_dorvApi{"ZylDorvAPI", 0};
NestedLibrary g_srvBasic{"ZylSrvBasic", 0};

} // namespace

void ZylBasCoreUtils_initialize(int& tally) { g_basCoreUtils.Initialize(tally); }
void ZylBasCoreUtils_finalize(int& tally) { g_basCoreUtils.Finalize(tally); }
void ZylKelBasicUtils_initialize(int& tally) { g_kelBasicUtils.Initialize(tally); }
void ZylKelBasicUtils_finalize(int& tally) { g_kelBasicUtils.Finalize(tally); }
void ZylKelDrovi_initialize(int& tally) { g_kelDrovi.Initialize(tally); }
void ZylKelDrovi_finalize(int& tally) { g_kelDrovi.Finalize(tally); }
void ZylDorvContainers_initialize(int& tally) { g_dorvContainers.Initialize(tally); }
void ZylDorvContainers_finalize(int& tally) { g_dorvContainers.Finalize(tally); }
void ZylDorvAPI_initialize(int& tally) { g_dorvApi.Initialize(tally); }
void ZylDorvAPI_finalize(int& tally) { g_dorvApi.Finalize(tally); }
void ZylSrvBasic_initialize(int& tally) { g_srvBasic.Initialize(tally); }
void ZylSrvBasic_finalize(int& tally) { g_srvBasic.Finalize(tally); }

std::string ZylOutsideLibraries_Journal() { return Journal(); }
void ZylOutsideLibraries_ClearJournal() { Journal().clear(); }
