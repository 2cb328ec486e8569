// Wall times of the out-of-core products of ZylSrvDenseMatrix, one program
// built twice: against the serial library (mpi_product_timing_serial) and
// against the MPI flavour (mpi_product_timing, run under mpirun), so that
// compare.sh can set the two side by side on the same products and the same
// operands. Google Benchmark does not fit here: under mpirun every rank must
// make the same collective calls in the same order, and a product's time is
// the slowest rank's.
//
// Operands: A and B of n x n doubles in scratch databases in blocks of
// block x block (filled band by band from a formula, every rank writing the
// same values), C beside them, and the same B and C in memory, replicated on
// every rank.
//
//   slot 8   C = A B, A, B and C in the database (bands from the memory budget)
//   slot 14  C = A^T B, B and C in memory (a sum over A's row blocks)
//   slot 17  C = A^T B, B in the database, C in memory (a sum over row blocks)
//   slot 6   C = A B, B and C in memory, A streamed by row blocks (gathered rows)
//
// Every product runs once untimed (warm: the files are in the page cache,
// the buffers exist), then `repeats` times; a repeat's time is the slowest
// rank's, from a barrier to the end of its product, and the program prints
// the best and the median repeat:
//
//   time slot 8 n 4096 block 512 ranks 1 best 3.412 median 3.420
//
// --dgemm times one in-memory DGEMM of n x n instead (OPENBLAS_NUM_THREADS
// decides its threads): "time dgemm n 4096 threads - best ... median ...".
// Under MPI the warm run is bracketed by MPI_Pcontrol(1) and
// MPI_Pcontrol(0, "slot 14"), for mpi_call_counts to count its MPI calls.
// --memory prints, per rank, the resident size before the products and the
// peak after them (getrusage ru_maxrss), in MiB: run it with one slot in a
// fresh process, so that the peak is that product's:
//
//   memory slot 14 n 4096 block 512 rank 0 of 2 start 420.1 peak 812.3 grown 392.2
//
// --cold streams a large A from the disk instead: A of n x n in the
// database (rank 0 writes it), X and Y of n x 16 in memory, and before every
// timed product rank 0 drops the file's pages from the system's cache
// (drop_caches as root, else POSIX_FADV_DONTNEED on the file):
//
//   slot 6   Y = A X (a row-block stream, rows gathered)
//   slot 14  Y = A^T X (a sum over bands of A's row blocks)
//   read     rank 0 reads the file once, sequentially (the disk's speed)
//
//   time cold slot 6 n 16384 block 1024 ranks 2 best 9.120 median 9.310
//   time cold read n 16384 block 1024 ranks 2 best 8.950 median 9.020
//
// Options: --n 4096 --block 512 --slots 8,14,17,6 --repeats 3 [--dgemm] [--memory] [--cold]
// The scratch files lie in the current directory and are removed at exit.
#include <blac/blac.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/ZylBasException.h>

#include "../ChildPeak.h"
#include "../ColdFiles.h"
#include "../DenseBench.h"

#ifdef ZYL_BENCH_MPI
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double AValue(int i, int j) { return ((i * 7 + j * 3) % 11 - 5) * 0.125; }
double BValue(int i, int j) { return ((i * 5 + j * 9) % 13 - 6) * 0.0625; }

struct Options {
    int n = 4096;
    int block = 512;
    int repeats = 3;
    std::vector<int> slots{8, 14, 17, 6};
    bool dgemm = false;
    bool memory = false;
    bool cold = false;
};

std::vector<int> ParseSlots(const char* text)
{
    std::vector<int> slots;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ','))
        slots.push_back(std::atoi(item.c_str()));
    return slots;
}

bool Parse(int argc, char** argv, Options& options)
{
    for (int a = 1; a < argc; ++a) {
        const std::string name = argv[a];
        const bool hasValue = a + 1 < argc;
        if (name == "--dgemm")
            options.dgemm = true;
        else if (name == "--memory")
            options.memory = true;
        else if (name == "--cold")
            options.cold = true;
        else if (name == "--n" && hasValue)
            options.n = std::atoi(argv[++a]);
        else if (name == "--block" && hasValue)
            options.block = std::atoi(argv[++a]);
        else if (name == "--repeats" && hasValue)
            options.repeats = std::max(1, std::atoi(argv[++a]));
        else if (name == "--slots" && hasValue)
            options.slots = ParseSlots(argv[++a]);
        else
            return false;
    }
    return options.n > 0 && options.block > 0;
}

// ---- the process group: MPI's world or this process alone ----

#ifdef ZYL_BENCH_MPI
int Rank()
{
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}
int Ranks()
{
    int ranks = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    return ranks;
}
void Barrier() { MPI_Barrier(MPI_COMM_WORLD); }
double Slowest(double seconds)
{
    double slowest = 0.0;
    MPI_Allreduce(&seconds, &slowest, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
    return slowest;
}
#else
int Rank() { return 0; }
int Ranks() { return 1; }
void Barrier() {}
double Slowest(double seconds) { return seconds; }
#endif

// The warm run between MPI_Pcontrol(1) and MPI_Pcontrol(0, label), for a
// profiling library that counts its MPI calls (mpi_call_counts).
template <typename Run>
void Counted(const std::string& label, Run run)
{
#ifdef ZYL_BENCH_MPI
    MPI_Pcontrol(1);
    run();
    MPI_Pcontrol(0, label.c_str());
#else
    (void)label;
    run();
#endif
}

// Best and median of the repeats of `run`, each the slowest rank's time;
// `prepare` runs before each repeat, untimed.
template <typename Run, typename Prepare>
void TimeRepeats(const std::string& label, int repeats, Run run, double& best, double& median, Prepare prepare)
{
    Counted(label, run); // warm
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        prepare();
        Barrier();
        const auto start = Clock::now();
        run();
        times.push_back(Slowest(std::chrono::duration<double>(Clock::now() - start).count()));
    }
    std::sort(times.begin(), times.end());
    best = times.front();
    median = times[times.size() / 2];
}

template <typename Run>
void TimeRepeats(const std::string& label, int repeats, Run run, double& best, double& median)
{
    TimeRepeats(label, repeats, run, best, median, [] {});
}

struct Operands {
    Operands(int n, int block)
        : a(n, n, block, block), b(n, n, block, block), c(n, n, block, block), bMemory(n, n), cMemory(n, n)
    {
        zylbench::FillByRowBlocks(a, AValue);
        zylbench::FillByRowBlocks(b, [&](int i, int j) {
            const double v = BValue(i, j);
            bMemory.Values()[i + static_cast<std::int64_t>(n) * j] = v;
            return v;
        });
        cMemory = 0.0;
    }
    ZylSrvScratchDenseMatrix a, b, c;
    ZylSrvMatrix bMemory, cMemory;
};

bool RunProduct(int slot, Operands& o)
{
    switch (slot) {
    case 8:
        o.a.Multiply(o.b, o.c);
        return true;
    case 14:
        o.a.TransposeMultiply(o.bMemory, o.cMemory, 0);
        return true;
    case 17:
        o.a.TransposeMultiply(&o.b, o.cMemory, 0);
        return true;
    case 6:
        o.a.Multiply(o.bMemory, o.cMemory);
        return true;
    default:
        return false;
    }
}

void TimeProducts(const Options& options)
{
    Operands operands(options.n, options.block);
    const double startMiB = zylbench::ResidentKiB() / 1024.0;
    for (int slot : options.slots) {
        double best = 0.0, median = 0.0;
        bool known = true;
        const auto run = [&] { known = RunProduct(slot, operands); };
        TimeRepeats("slot " + std::to_string(slot), options.repeats, run, best, median);
        if (!known) {
            if (Rank() == 0)
                std::fprintf(stderr, "slot %d is not measured here\n", slot);
            continue;
        }
        if (Rank() == 0)
            std::printf("time slot %d n %d block %d ranks %d best %.3f median %.3f\n", slot, options.n, options.block,
                        Ranks(), best, median);
        std::fflush(stdout);
    }
    if (!options.memory)
        return;
    const double peakMiB = zylbench::PeakKiB() / 1024.0;
    for (int r = 0; r < Ranks(); ++r) { // rank by rank, so the lines keep their order
        Barrier();
        if (r == Rank())
            std::printf("memory slot %d n %d block %d rank %d of %d start %.1f peak %.1f grown %.1f\n",
                        options.slots.front(), options.n, options.block, r, Ranks(), startMiB, peakMiB,
                        peakMiB - startMiB);
        std::fflush(stdout);
    }
}

// The cold streams: A from the disk, its pages dropped before every repeat.
void TimeColdStreams(const Options& options)
{
    const int n = options.n, width = 16;
    ZylSrvScratchDenseMatrix a(n, n, options.block, options.block);
    if (Rank() == 0)
        zylbench::FillByRowBlocks(a, AValue);
    ZylSrvMatrix x(n, width), y(n, width);
    for (std::int64_t k = 0; k < static_cast<std::int64_t>(n) * width; ++k)
        x.Values()[k] = BValue(static_cast<int>(k % n), static_cast<int>(k / n));
    std::string file;
    for (const std::string& name : zylbench::ScratchFiles())
        if (file.empty() || zylbench::FileSize(name) > zylbench::FileSize(file))
            file = name;
    bool cold = true;
    const auto drop = [&] {
        if (Rank() == 0)
            cold = zylbench::DropCaches({file}) && cold;
    };
    const auto report = [&](const std::string& what, double best, double median) {
        if (Rank() == 0)
            std::printf("time cold %s n %d block %d ranks %d best %.3f median %.3f%s\n", what.c_str(), n,
                        options.block, Ranks(), best, median, cold ? "" : " (pages not dropped: warm)");
        std::fflush(stdout);
    };
    for (int slot : options.slots) {
        double best = 0.0, median = 0.0;
        if (slot == 6)
            TimeRepeats("cold slot 6", options.repeats, [&] { a.Multiply(x, y); }, best, median, drop);
        else if (slot == 14)
            TimeRepeats("cold slot 14", options.repeats, [&] { a.TransposeMultiply(x, y, 0); }, best, median, drop);
        else
            continue;
        report("slot " + std::to_string(slot), best, median);
    }
    double best = 0.0, median = 0.0;
    const auto read = [&] {
        if (Rank() == 0)
            zylbench::ReadWhole(file);
    };
    TimeRepeats("cold read", options.repeats, read, best, median, drop);
    report("read", best, median);
}

void TimeDgemm(const Options& options)
{
    const int n = options.n;
    ZylSrvMatrix a(n, n), b(n, n), c(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            a.Values()[i + static_cast<std::int64_t>(n) * j] = AValue(i, j);
            b.Values()[i + static_cast<std::int64_t>(n) * j] = BValue(i, j);
        }
    const char no = 'N';
    const double one = 1.0, zero = 0.0;
    double best = 0.0, median = 0.0;
    TimeRepeats(
        "dgemm", options.repeats,
        [&] { BLAC_DGEMM(&no, &no, &n, &n, &n, &one, a.Values(), &n, b.Values(), &n, &zero, c.Values(), &n); },
        best, median);
    const char* threads = std::getenv("OPENBLAS_NUM_THREADS");
    std::printf("time dgemm n %d threads %s best %.3f median %.3f\n", n, threads ? threads : "-", best, median);
}

int Run(const Options& options)
{
    try {
        zylbench::WarmUpBlas();
        if (options.dgemm)
            TimeDgemm(options);
        else if (options.cold)
            TimeColdStreams(options);
        else
            TimeProducts(options);
        return 0;
    } catch (const ZylBasException& e) {
        std::fprintf(stderr, "rank %d: error %d: %s\n", Rank(), e.ErrorCode(), e.DeveloperReport().Chars());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
#ifdef ZYL_BENCH_MPI
    MPI_Init(&argc, &argv);
#endif
    Options options;
    int status = 2;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--n N] [--block B] [--slots 8,14,17,6] [--repeats R] [--dgemm] [--memory] "
                     "[--cold]\n",
                     argv[0]);
    } else {
        int tally = 0;
#ifdef ZYL_BENCH_MPI
        ZylSrvLinearAlgebra_initialize_parallel(tally, MPI_COMM_WORLD);
#else
        ZylSrvLinearAlgebra_initialize(tally);
#endif
        status = Run(options);
        ZylSrvLinearAlgebra_finalize(tally);
    }
#ifdef ZYL_BENCH_MPI
    if (status == 1)
        MPI_Abort(MPI_COMM_WORLD, 1); // a failed rank may leave the others waiting in a product
    MPI_Finalize();
#endif
    return status;
}
