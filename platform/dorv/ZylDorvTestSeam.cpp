#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/dorv/internal/ZylDorvHdf5.h>
#include <platform/dorv/internal/ZylDorvFileSharing.h>
#include <platform/dorv/internal/ZylDorvSeam.h>

#include <new>

namespace {

struct Armed {
    int skip = 0;
    int pending = 0;
    std::uint16_t number = 0;
};

constexpr int kKinds = static_cast<int>(zyl_dorv::SeamKind::Count);
Armed g_armed[kKinds];
long g_attempts[kKinds];
long g_failedUndoSteps = 0;

void Arm(zyl_dorv::SeamKind kind, int count, std::uint16_t number, int after)
{
    Armed& a = g_armed[static_cast<int>(kind)];
    a.pending = count > 0 ? count : 0;
    a.skip = after > 0 ? after : 0;
    a.number = number;
}

} // namespace

using zyl_dorv::SeamKind;
void ZylDorvTestSeam::FailValueWrites(int count, std::uint16_t number, int after) { Arm(SeamKind::ValueWrite, count, number, after); }
void ZylDorvTestSeam::FailValueReads(int count, std::uint16_t number, int after) { Arm(SeamKind::ValueRead, count, number, after); }
void ZylDorvTestSeam::FailRecordWrites(int count, std::uint16_t number, int after) { Arm(SeamKind::RecordWrite, count, number, after); }
void ZylDorvTestSeam::FailFlushes(int count, std::uint16_t number, int after) { Arm(SeamKind::Flush, count, number, after); }
void ZylDorvTestSeam::FailFileOpens(int count, std::uint16_t number) { Arm(SeamKind::FileOpen, count, number, 0); }

void ZylDorvTestSeam::Clear() noexcept
{
    for (Armed& a : g_armed)
        a = Armed();
}

int ZylDorvTestSeam::PendingFailures() noexcept
{
    int n = 0;
    for (const Armed& a : g_armed)
        n += a.pending;
    return n;
}

long ZylDorvTestSeam::ValueReadsSoFar() noexcept { return g_attempts[static_cast<int>(zyl_dorv::SeamKind::ValueRead)]; }
long ZylDorvTestSeam::ValueWritesSoFar() noexcept { return g_attempts[static_cast<int>(zyl_dorv::SeamKind::ValueWrite)]; }
long ZylDorvTestSeam::FlushesSoFar() noexcept { return g_attempts[static_cast<int>(zyl_dorv::SeamKind::Flush)]; }
long ZylDorvTestSeam::FailedUndoStepsSoFar() noexcept { return g_failedUndoSteps; }

bool ZylDorvTestSeam::AddStrayGroup(const char* path, const char* group)
{
    zyl_dorv::SilenceHdf5();
    bool done = false;
    {
        const zyl_dorv::Hid file(H5Fopen(path, H5F_ACC_RDWR, H5P_DEFAULT));
        if (file.IsValid())
            done = zyl_dorv::Hid(H5Gcreate2(file.Get(), group, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT)).IsValid();
    }
    H5Eclear2(H5E_DEFAULT);
    return done;
}

bool ZylDorvTestSeam::DamageFile(const char* path, const char* object, const char* attribute)
{
    zyl_dorv::SilenceHdf5();
    bool done = false;
    {
        const zyl_dorv::Hid file(H5Fopen(path, H5F_ACC_RDWR, H5P_DEFAULT));
        if (file.IsValid())
            done = H5Adelete_by_name(file.Get(), object, attribute, H5P_DEFAULT) >= 0;
    }
    H5Eclear2(H5E_DEFAULT);
    return done;
}

namespace zyl_dorv {

namespace {

void CheckHere(SeamKind kind, const std::string& subject)
{
    ++g_attempts[static_cast<int>(kind)];
    Armed& a = g_armed[static_cast<int>(kind)];
    if (a.pending <= 0)
        return;
    if (a.skip > 0) {
        --a.skip;
        return;
    }
    --a.pending;
    if (a.number == 0)
        throw std::bad_alloc();
    Fail(a.number, subject, "failure forced by the test seam");
}

} // namespace

void SeamCheck(SeamKind kind, const std::string& subject)
{
    // Records, flushes and the opening of files are changed by all processes
    // of a group together: a failure forced on one of them fails the call on
    // all, before any of them changes anything. Value transfers are each
    // process's own.
    const bool collective = kind == SeamKind::RecordWrite || kind == SeamKind::Flush || kind == SeamKind::FileOpen;
    if (collective)
        CollectiveSeamCheck(kind, subject);
    else
        CheckHere(kind, subject);
}

void CollectiveSeamCheck(SeamKind kind, const std::string& subject)
{
    Collectively([&] { CheckHere(kind, subject); });
}

void CountFailedUndoStep() noexcept { ++g_failedUndoSteps; }

} // namespace zyl_dorv
