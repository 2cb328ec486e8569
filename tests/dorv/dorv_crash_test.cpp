// A writer killed at any moment: the file opens again and holds everything
// a Commit or Flush made durable before the kill. A child process writes
// values, commits and flushes in a loop and tells the parent through a pipe
// when it enters and leaves each Commit and Flush; the parent kills it
// (SIGKILL) at pseudo-random moments (fixed seed), reopens the file and
// checks every durable value. ZYL_CRASH_KILLS sets the number of kills (the
// ctest label "long" runs 1000).
#include "support/DatabaseTest.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr const char* kFile = "crash.dorv";
constexpr int kLength = 1 << 20, kBlock = 16; // values in the vector, values written per step
constexpr double kFill = -1.0;
double ValueAt(int i) { return i + 0.5; }

// 'E' entering a Commit or Flush, 'L' leaving it with what is durable now.
struct Report { char kind; int values, distributions; };

// Writes values first..last of a one-dimensional distribution, into a new
// drawer over all members when `first` is -1.
void Write(ZylDorvDistributionID id, int first, int last, const double* values)
{
    ZylDorvTransfer t{ZylDorvDistribution(id)};
    const ZylDorvCollectionID axis = ZylDorvDistribution(id).AxisCollectionID(0);
    t.SetWrite(), t.SetBufferPadding(false);
    if (first < 0)
        t.SetMakeNewDrawer(), t.SetDim(0, ZylDorvCollection(axis).BiggestCSetID()), first = 0;
    else
        t.SetDimOrdinalRange(0, axis, first, last);
    t.SetBuffer(0, static_cast<const void*>(values), std::int64_t(8) * (last - first + 1));
    t.ExecWrite();
}

// Goes on from `values` durable values: a block of values and a Flush, and
// every fourth step a distribution of its own (4 values p*10+k, p its place
// among the distributions) in a transaction.
[[noreturn]] void Writer(int pipe, int values)
{
    try {
        ZylDorvDatabase db;
        db.OpenFile(ZylDroviUnicodeString(kFile), ZylDorvDatabase::OpenReadWrite);
        ZylDorvContext context(db.ContextIDs()[0]);
        const ZylDorvDistributionID vector = context.DistributionIDs()[0];
        auto report = [&](char kind) { const Report r{kind, values, context.DistributionIDs().Size() - 1}; (void)!::write(pipe, &r, sizeof r); };
        for (int step = 0;; ++step) {
            double block[kBlock];
            for (int k = 0; k < kBlock; ++k)
                block[k] = ValueAt(values + k);
            Write(vector, values, values + kBlock - 1, block);
            values += kBlock;
            if (step % 4 != 3) {
                report('E'), db.Flush(), report('L');
                continue;
            }
            ZylDorvTransaction transaction(context.ID());
            const ZylDorvDistributionID id = context.CreateDistribution(ZylDorvGrid{context.CreateCollection(4, -1)}, ZylDorvRangeType(), -1);
            const double p = context.DistributionIDs().Size() - 1, four[] = {p * 10, p * 10 + 1, p * 10 + 2, p * 10 + 3};
            Write(id, -1, 3, four);
            report('E'), transaction.Commit(), report('L');
        }
    } catch (const ZylBasException& e) {
        std::fprintf(stderr, "writer: %s\n", e.AsString().Chars());
    }
    std::_Exit(3);
}

void FreshFile()
{
    std::remove(kFile);
    ZylDorvDatabase db;
    db.CreateFile(ZylDroviUnicodeString(kFile), ZylDorvDatabase::CreateExclusive, -1);
    ZylDorvContext context(db.CreateContext(ZylDorvNamespaceID::AllBits()));
    const ZylDorvCollectionID axis = context.CreateCollection(kLength, -1);
    ZylDorvTransfer make{ZylDorvDistribution(context.CreateDistribution(ZylDorvGrid{axis}, ZylDorvRangeType(), -1))};
    make.SetMakeNewDrawerChunked(ZylDorvArray<int>{512}), make.SetWrite(), make.SetDim(0, ZylDorvCollection(axis).BiggestCSetID());
    make.SetInitializationValue(ZylDorvRangeValue(kFill)), make.InitializePersistentDrawer();
    db.Close();
}

// Whether the file opens and holds the durable values and distributions
// (values after them were either written or not: the value or the fill).
// Checked in a process of its own: HDF5 1.10 may crash on a file that a kill
// inside a flush left half-written, and that counts as a lost file.
bool HoldsWhatIsDurable(const Report& durable)
{
    const pid_t checker = ::fork();
    if (checker != 0) {
        int status = 0;
        ::waitpid(checker, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool intact = false;
    try {
        ZylDorvDatabase db;
        db.OpenFile(ZylDroviUnicodeString(kFile), ZylDorvDatabase::OpenReadOnly);
        const ZylDorvArray<ZylDorvDistributionID> ids = ZylDorvContext(db.ContextIDs()[0]).DistributionIDs();
        const int seen = durable.values + 8 * kBlock;
        const std::vector<double> values = zyltest::ReadValues<double>(ids[0], seen, {{0, 0, seen - 1}});
        intact = ids.Size() > durable.distributions;
        for (int i = 0; i < seen; ++i)
            intact = intact && (values[i] == ValueAt(i) || (i >= durable.values && values[i] == kFill));
        for (int p = 1; p <= durable.distributions && intact; ++p)
            intact = zyltest::ReadValues<double>(ids[p], 4) == std::vector<double>{p * 10.0, p * 10.0 + 1, p * 10.0 + 2, p * 10.0 + 3};
    } catch (const ZylDorvException&) {
    }
    std::_Exit(intact ? 0 : 1);
}

} // namespace

TEST(DorvCrash, AWriterKilledAtAnyMomentLeavesAFileThatHoldsEverythingDurable)
{
    const int kills = std::getenv("ZYL_CRASH_KILLS") ? std::atoi(std::getenv("ZYL_CRASH_KILLS")) : 60;
    std::mt19937 random(20261206);
    Report durable{'L', 0, 0};
    int inside = 0, lost = 0;
    long checked = 0;
    FreshFile();
    for (int kill = 0; kill < kills; ++kill) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0)
            ::close(fds[0]), Writer(fds[1], durable.values);
        ::close(fds[1]);
        bool within = false;
        auto follow = [&](const Report& r) { within = r.kind == 'E'; durable = within ? durable : r; };
        Report r;
        for (int events = static_cast<int>(random() % 40); events > 0 && ::read(fds[0], &r, sizeof r) == sizeof r; --events)
            follow(r);
        // Every other kill just after a Commit or Flush returned, while values are written.
        while (kill % 2 == 0 && within && ::read(fds[0], &r, sizeof r) == sizeof r)
            follow(r);
        if (kill % 2)
            ::usleep(static_cast<useconds_t>(random() % 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (::read(fds[0], &r, sizeof r) == sizeof r) // what the child said before it died
            follow(r);
        ::close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own at kill " << kill;
        const bool intact = HoldsWhatIsDurable(durable);
        checked += durable.values + 4 * durable.distributions;
        inside += within;
        if (!within)
            ASSERT_TRUE(intact) << "kill " << kill << " outside Commit/Flush, " << durable.values << " durable values";
        else if (!intact)
            ++lost, durable = Report{'L', 0, 0}, FreshFile();
    }
    std::printf("[ figures  ] %d kills, %d inside Commit/Flush (%d files lost there); %ld durable values checked\n", kills, inside, lost, checked);
    std::remove(kFile);
}
