#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/dorv/internal/ZylDorvHdf5.h>
#include <platform/dorv/internal/ZylDorvSeam.h>

namespace {

struct Armed {
    int pending = 0;
    std::uint16_t number = 0;
};

Armed g_armed[3];
long g_attempts[3];

void Arm(zyl_dorv::SeamKind kind, int count, std::uint16_t number)
{
    Armed& a = g_armed[static_cast<int>(kind)];
    a.pending = count > 0 ? count : 0;
    a.number = number;
}

} // namespace

void ZylDorvTestSeam::FailValueWrites(int count, std::uint16_t number) { Arm(zyl_dorv::SeamKind::ValueWrite, count, number); }
void ZylDorvTestSeam::FailValueReads(int count, std::uint16_t number) { Arm(zyl_dorv::SeamKind::ValueRead, count, number); }
void ZylDorvTestSeam::FailRecordWrites(int count, std::uint16_t number) { Arm(zyl_dorv::SeamKind::RecordWrite, count, number); }

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

void SeamCheck(SeamKind kind, const std::string& subject)
{
    ++g_attempts[static_cast<int>(kind)];
    Armed& a = g_armed[static_cast<int>(kind)];
    if (a.pending <= 0)
        return;
    --a.pending;
    Fail(a.number, subject, "failure forced by the test seam");
}

} // namespace zyl_dorv
