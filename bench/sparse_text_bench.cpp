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
// Counters: speedup = C library time / our time on the wall clock (goals: 10
// for ImportParse, 3 for Export); cpu_speedup, the same in the thread's
// processor time; libc_ms; same = 1 when the results agree byte for byte.
#include <mtx/ZylSrvSparseMatrix.h>
#include <mtx/impl/internal/ZylSrvSparseText.h>
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

// The baseline reader: one fscanf pass into an array sized beforehand.
std::vector<ZylSrvSparseMatrixEntry> FscanfRead(const char* path)
{
    std::vector<ZylSrvSparseMatrixEntry> entries(kEntries);
    std::FILE* f = std::fopen(path, "r");
    int row = 0, column = 0, n = 0;
    double value = 0.0;
    while (n < kEntries && std::fscanf(f, "%d %d %lf", &row, &column, &value) == 3)
        entries[n++] = {static_cast<unsigned>(row - 1), static_cast<unsigned>(column - 1), value};
    std::fclose(f);
    entries.resize(n);
    return entries;
}

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
// the machine disturb less).
template <class Ours, class Theirs>
void SideBySide(benchmark::State& state, Ours&& ours, Theirs&& theirs)
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

BENCHMARK(ImportParse)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(ImportWhole)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(Export)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

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
    ::rmdir(pattern);
    return 0;
}
