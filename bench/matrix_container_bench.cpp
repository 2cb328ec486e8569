// ZYLSRVMATRIXCONTAINERGETVALUES of a 4096 x 4096 matrix (128 MiB) against a
// plain read of the same bytes.
//
// One container per block size holds matrix 1, written once before timing so
// that every chunk exists and sits in the page cache; a plain file
// "matrix_container_bench.raw" of the same 128 MiB is the baseline. Each
// iteration reads the whole matrix through the entry point into the caller's
// array and then, untimed, the same number of bytes with one pread from the
// plain file into the same array. Counters: bytes_per_second (entry point),
// baseline_GiB_per_s, and ratio = entry-point throughput / pread throughput
// over the same iterations. The array comes from the foundation allocator (large
// blocks on transparent huge pages), as a caller's work array would.
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvMatrixContainer.h>
#include <platform/mem.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <numeric>

namespace {

constexpr int kOrder = 4096;
constexpr std::size_t kCount = std::size_t(kOrder) * kOrder;
constexpr std::size_t kBytes = kCount * sizeof(double);
constexpr const char* kRawPath = "matrix_container_bench.raw";

void BM_GetValues(benchmark::State& state)
{
    const int block = static_cast<int>(state.range(0));
    mem_Array<double> values(kCount);
    std::iota(values.begin(), values.end(), 0.0);

    ZylSrvMatrixContainer container;
    const int id = 1;
    ZylSrvMatrix whole(kOrder, kOrder, values.Get());
    container.Create(id, kOrder, kOrder, block, block).SetValues(0, kOrder - 1, 0, kOrder - 1, whole);
    const std::int64_t handle = reinterpret_cast<std::intptr_t>(&container);

    const int raw = ::open(kRawPath, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (raw < 0 || ::pwrite(raw, values.Get(), kBytes, 0) != static_cast<ssize_t>(kBytes)) {
        state.SkipWithError("cannot write the plain file");
        return;
    }

    double entryPoint = 0, baseline = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ZYLSRVMATRIXCONTAINERGETVALUES(handle, &id, values.Get());
        const auto middle = std::chrono::steady_clock::now();
        state.PauseTiming();
        const auto again = std::chrono::steady_clock::now();
        if (::pread(raw, values.Get(), kBytes, 0) != static_cast<ssize_t>(kBytes))
            state.SkipWithError("short pread");
        const auto end = std::chrono::steady_clock::now();
        state.ResumeTiming();
        entryPoint += std::chrono::duration<double>(middle - start).count();
        baseline += std::chrono::duration<double>(end - again).count();
    }
    ::close(raw);
    std::remove(kRawPath);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
    if (entryPoint > 0 && baseline > 0) {
        state.counters["baseline_GiB_per_s"] = static_cast<double>(state.iterations() * kBytes) / baseline / (1 << 30);
        state.counters["ratio"] = baseline / entryPoint;
    }
}

// Square blocks of 512 and 1024, and one block spanning the matrix (-1).
BENCHMARK(BM_GetValues)->Name("GetValues4096")->Arg(512)->Arg(1024)->Arg(-1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
