// The text triplet layout against the C library on a 10-million-line file
// (1,000,000 rows of 10 entries, values spread over ten decades), written once
// into a temporary directory by our code-3 export and then in the page cache.
// Every iteration times our side and the C library's once each, alternating
// which goes first, so that both see the same machine state.
//
//   ImportParse   ReadTextTriplets (count pass + read pass) vs a plain
//                 fscanf("%d %d %lf") loop that parses the file once into a
//                 preallocated array; the two results are compared once
//   ImportWhole   ZylSrvSparseMatrix::Import(path, 3): parsing + ResetData,
//                 against the same fscanf loop
//   Export        ZylSrvSparseMatrix::Export(path, 3) vs fprintf("%ld %ld
//                 %18.15le\n") over the same arrays; the two files compared
//
//   MatrixMarket  ZylSrvSparseMatrix::ImportMatrixMarket of the first 500,000
//                 rows (5,000,000 entries, "coordinate real general", written
//                 by our export) vs an fscanf pass over its entry lines into an
//                 array sized from the size line; also scipy.io.mmread of the
//                 same file once (/usr/bin/python3, scipy_ms, scipy_speedup)
//                 and the import's peak memory in a fresh child (peak_MiB)
//                 beside the file's size and its compressed arrays' (values,
//                 columns, row offsets)
//
// Counters: speedup = C library time / our time on the wall clock (goals: 10
// for ImportParse, 3 for Export, 8 for MatrixMarket); cpu_speedup, the same in
// the thread's processor time; libc_ms; same = 1 when the results agree byte
// for byte.
#include <mtx/ZylSrvSparseMatrix.h>
#include <mtx/impl/internal/ZylSrvSparseText.h>

#include "ChildPeak.h"
#include <platform/mem.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = 1000000;
constexpr int kPerRow = 10;
constexpr int kEntries = kRows * kPerRow;

std::string g_dir;
std::string Path(const char* name) { return g_dir + "/" + name; }

// The matrix exported and the file imported: increasing columns in every row.
struct Arrays {
    std::vector<unsigned> offsets = std::vector<unsigned>(kRows + 1);
    std::vector<int> columns = std::vector<int>(kEntries);
    std::vector<double> values = std::vector<double>(kEntries);
    zyl_mtx::SparseArrays View() const
    {
        return {offsets.data(), columns.data(), values.data(), nullptr, kRows, kRows};
    }
};
const Arrays& Matrix()
{
    static const Arrays a = [] {
        Arrays m;
        std::mt19937 engine(1);
        std::uniform_real_distribution<double> unit(-1.0, 1.0), decade(-5.0, 5.0);
        for (int i = 0; i < kRows; ++i) {
            m.offsets[i + 1] = m.offsets[i] + kPerRow;
            int column = static_cast<int>(engine() % 64);
            for (int k = 0; k < kPerRow; ++k, column += 1 + static_cast<int>(engine() % (kRows / kPerRow / 2)))
                m.columns[i * kPerRow + k] = column % kRows;
            for (int k = 0; k < kPerRow; ++k)
                m.values[i * kPerRow + k] = unit(engine) * std::pow(10.0, decade(engine));
        }
        return m;
    }();
    return a;
}

const std::string& TripletFile()
{
    static const std::string path = [] {
        const std::string p = Path("triplets.txt");
        zyl_mtx::WriteTriplets1Based(p.c_str(), Matrix().View());
        return p;
    }();
    return path;
}

// Up to count "%d %d %lf" triplets from f, which it closes.
std::vector<ZylSrvSparseMatrixEntry> FscanfEntries(std::FILE* f, int count)
{
    std::vector<ZylSrvSparseMatrixEntry> entries(static_cast<std::size_t>(count));
    int row = 0, column = 0, n = 0;
    double value = 0.0;
    while (n < count && std::fscanf(f, "%d %d %lf", &row, &column, &value) == 3)
        entries[n++] = {static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value};
    std::fclose(f);
    entries.resize(n);
    return entries;
}

constexpr int kMarketRows = kRows / 2;
constexpr int kMarketEntries = kMarketRows * kPerRow;

const std::string& MarketFile()
{
    static const std::string path = [] {
        const std::string p = Path("matrix.mtx");
        zyl_mtx::SparseArrays view = Matrix().View();
        view.numRows = kMarketRows;
        zyl_mtx::WriteMatrixMarket(p.c_str(), view);
        return p;
    }();
    return path;
}

// The baseline Matrix Market reader: the banner and comments skipped, the
// size line read, then one fscanf pass into an array of its entry count.
std::vector<ZylSrvSparseMatrixEntry> FscanfReadMarket(const char* path)
{
    std::FILE* f = std::fopen(path, "r");
    char line[1024];
    int rows = 0, columns = 0, count = 0;
    while (std::fgets(line, sizeof line, f) != nullptr && line[0] == '%') {
    }
    std::sscanf(line, "%d %d %d", &rows, &columns, &count);
    return FscanfEntries(f, count);
}

// scipy.io.mmread's seconds for the file, or -1 when SciPy cannot run.
double ScipySeconds(const std::string& path)
{
    const std::string command = "OPENBLAS_NUM_THREADS=1 /usr/bin/python3 -c 'import sys, time, scipy.io; "
                                "t = time.perf_counter(); scipy.io.mmread(sys.argv[1]); "
                                "print(time.perf_counter() - t)' " + path + " 2>/dev/null";
    double seconds = -1.0;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        if (std::fscanf(p, "%lf", &seconds) != 1)
            seconds = -1.0;
        pclose(p);
    }
    return seconds;
}

// The baseline reader: one fscanf pass into an array sized beforehand.
std::vector<ZylSrvSparseMatrixEntry> FscanfRead(const char* path) { return FscanfEntries(std::fopen(path, "r"), kEntries); }

void FprintfWrite(const char* path)
{
    const Arrays& a = Matrix();
    std::FILE* f = std::fopen(path, "w");
    for (long i = 0; i < kRows; ++i)
        for (unsigned k = a.offsets[i]; k < a.offsets[i + 1]; ++k)
            std::fprintf(f, "%ld %ld %18.15le\n", i + 1, a.columns[k] + 1L, a.values[k]);
    std::fclose(f);
}

std::string Slurp(const std::string& path)
{
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char block[1 << 16];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;)
            text.append(block, n);
        std::fclose(f);
    }
    return text;
}

double ThreadCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Times ours() and theirs() once per iteration in alternating order, on the
// wall clock and in the thread's processor time (which other processes on
// the machine disturb less). Returns our mean wall-clock seconds.
template <class Ours, class Theirs>
double SideBySide(benchmark::State& state, Ours&& ours, Theirs&& theirs)
{
    struct Seconds {
        double wall = 0.0, cpu = 0.0;
    };
    const auto timed = [](auto& f, Seconds& total) {
        const auto t0 = Clock::now();
        const double c0 = ThreadCpuSeconds();
        f();
        benchmark::ClobberMemory();
        total.cpu += ThreadCpuSeconds() - c0;
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        total.wall += wall;
        return wall;
    };
    Seconds oursTotal, theirsTotal;
    bool oursFirst = true;
    for (auto _ : state) {
        double o;
        if (oursFirst) {
            o = timed(ours, oursTotal);
            timed(theirs, theirsTotal);
        } else {
            timed(theirs, theirsTotal);
            o = timed(ours, oursTotal);
        }
        oursFirst = !oursFirst;
        state.SetIterationTime(o);
    }
    state.counters["libc_ms"] = 1e3 * theirsTotal.wall / static_cast<double>(state.iterations());
    state.counters["speedup"] = theirsTotal.wall / oursTotal.wall;
    state.counters["cpu_speedup"] = theirsTotal.cpu / oursTotal.cpu;
    return oursTotal.wall / static_cast<double>(state.iterations());
}

void ImportParse(benchmark::State& state)
{
    const char* path = TripletFile().c_str();
    const zyl_mtx::TextTriplets ours = zyl_mtx::ReadTextTriplets(path, false);
    const std::vector<ZylSrvSparseMatrixEntry> theirs = FscanfRead(path);
    state.counters["same"] = ours.count == static_cast<int>(theirs.size()) &&
                             std::memcmp(ours.entries.Get(), theirs.data(), theirs.size() * sizeof theirs[0]) == 0;
    SideBySide(
        state, [&] { benchmark::DoNotOptimize(zyl_mtx::ReadTextTriplets(path, false).count); },
        [&] { benchmark::DoNotOptimize(FscanfRead(path).size()); });
}

void ImportWhole(benchmark::State& state)
{
    const char* path = TripletFile().c_str();
    SideBySide(
        state,
        [&] {
            ZylSrvSparseMatrix a(0, 0);
            a.Import(path, 3);
            benchmark::DoNotOptimize(a.NumberOfNonzeros());
        },
        [&] { benchmark::DoNotOptimize(FscanfRead(path).size()); });
}

void Export(benchmark::State& state)
{
    ZylSrvSparseMatrix a(0, 0);
    a.Import(TripletFile().c_str(), 3);
    const std::string ours = Path("ours.txt"), theirs = Path("theirs.txt");
    a.Export(ours.c_str(), 3);
    FprintfWrite(theirs.c_str());
    state.counters["same"] = Slurp(ours) == Slurp(theirs);
    SideBySide(
        state, [&] { a.Export(ours.c_str(), 3); }, [&] { FprintfWrite(theirs.c_str()); });
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
}

void MatrixMarket(benchmark::State& state)
{
    const char* path = MarketFile().c_str();
    const double oursSeconds = SideBySide(
        state,
        [&] {
            ZylSrvSparseMatrix a(0, 0);
            a.ImportMatrixMarket(path);
            benchmark::DoNotOptimize(a.NumberOfNonzeros());
        },
        [&] { benchmark::DoNotOptimize(FscanfReadMarket(path).size()); });
    const double scipy = ScipySeconds(path);
    state.counters["scipy_ms"] = 1e3 * scipy;
    state.counters["scipy_speedup"] = scipy / oursSeconds;
    const zylbench::ChildReport peak = zylbench::InChild([&] {
        ZylSrvSparseMatrix a(0, 0);
        a.ImportMatrixMarket(path);
    });
    std::FILE* f = std::fopen(path, "rb");
    std::fseek(f, 0, SEEK_END);
    state.counters["file_MiB"] = static_cast<double>(std::ftell(f)) / (1 << 20);
    std::fclose(f);
    state.counters["arrays_MiB"] = (12.0 * kMarketEntries + 4.0 * (kMarketRows + 1)) / (1 << 20);
    state.counters["peak_MiB"] = zylbench::GrownMiB(peak);
}

BENCHMARK(ImportParse)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(ImportWhole)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(Export)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(MatrixMarket)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/zyl-text-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    g_dir = pattern;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(Path("triplets.txt").c_str());
    std::remove(Path("matrix.mtx").c_str());
    ::rmdir(pattern);
    return 0;
}
