// Products of ZylSrvHermitianScrDenseMatrix (H = [A, JA] from the stored A)
// against the plain scratch matrix's products with the same A, and the peak
// resident memory of its slot 9 against its two-block staging.
//
// A: 8192 x 4096 doubles (256 MiB) in a scratch database in blocks of
// 512 x 512, in groups of 6 rows (the last one of 2), so that groups straddle
// the row-block boundaries. The plain products are ZylSrvScratchDenseMatrix's
// own, called on the same object (they are not overridden there): same file,
// same blocks, same values. Each iteration times both once, alternating which
// goes first, so that both see the same machine state (the machine is shared).
//
//   Slot5_Vectors16      y += H x, x 8192 x 16    vs  y += A x (plain slot 5)
//   Slot11_Vectors16     y = H^T x, x 8192 x 16   vs  y += A^T x (plain slot 11)
//   Slot9_PeakMemory     Y = 0.5 H X + Y, X 8192 x 16 in memory, Y 8192 x 16 in
//                        the database, run in a fresh child (fork)
//
// Counters:
//   ratio       = 2 t_plain / t_H: H does twice the plain product's
//                 arithmetic on the same reads (the goal is >= 0.9)
//   t_H_ms, t_plain_ms  mean wall times
//   peak_MiB    growth of the child's peak resident size during slot 9
//               (ru_maxrss less its resident size at start: X and Y were made
//               by the parent and are shared)
//   bound_MiB   two row blocks of A and two of Y, the staging slot 9 keeps
//   per_bound   peak_MiB / bound_MiB (the goal is <= 1.1)
// The benchmark's own (manual) time is the H product's wall time. The scratch
// files lie in the current directory and are removed at exit.
#include <blac/blac.h>
#include <mtx/ZylSrvHermitianScrDenseMatrix.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <platform/ZylBasException.h>

#include "ChildPeak.h"

#include "DenseBench.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const int kRows = 8192;
const int kColumns = 4096;
const int kBlock = 512;
const int kVectors = 16;
const int kGroup = 6;
const double kMiB = 1024.0 * 1024.0;

using Clock = std::chrono::steady_clock;

std::unique_ptr<ZylSrvHermitianScrDenseMatrix>& TheMatrix()
{
    static std::unique_ptr<ZylSrvHermitianScrDenseMatrix> a;
    return a;
}

// A, made and filled once, one row block at a time.
ZylSrvHermitianScrDenseMatrix& A()
{
    std::unique_ptr<ZylSrvHermitianScrDenseMatrix>& a = TheMatrix();
    if (!a) {
        std::vector<int> groups(kRows / kGroup, kGroup);
        if (kRows % kGroup != 0)
            groups.push_back(kRows % kGroup);
        a = std::make_unique<ZylSrvHermitianScrDenseMatrix>(kRows, kColumns, static_cast<int>(groups.size()),
                                                            groups.data(), kBlock, kBlock, 0);
        ZylSrvMatrix band(kBlock, kColumns);
        for (int r0 = 0; r0 < kRows; r0 += kBlock) {
            for (int j = 0; j < kColumns; ++j)
                for (int i = 0; i < kBlock; ++i)
                    band.Values()[i + static_cast<std::int64_t>(kBlock) * j] = ((r0 + i) * 7 + j * 3) % 11 * 0.125;
            a->SetRows(r0, r0 + kBlock - 1, band);
        }
    }
    return *a;
}

ZylSrvMatrix Operand(int rows, int columns)
{
    ZylSrvMatrix m(rows, columns);
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(rows) * columns; ++i)
        m.Values()[i] = 1.0 / static_cast<double>(1 + i % 97);
    return m;
}

template <typename Product>
double Seconds(Product product)
{
    const auto start = Clock::now();
    product();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Times `withH` and `plain` once per iteration, in alternating order.
template <typename WithH, typename Plain>
void Compare(benchmark::State& state, WithH withH, Plain plain)
{
    double h = 0.0, p = 0.0;
    int runs = 0;
    for (auto _ : state) {
        double th = 0.0, tp = 0.0;
        if (runs++ % 2 == 0) {
            tp = Seconds(plain);
            th = Seconds(withH);
        } else {
            th = Seconds(withH);
            tp = Seconds(plain);
        }
        h += th;
        p += tp;
        state.SetIterationTime(th);
    }
    state.counters["t_H_ms"] = 1000.0 * h / runs;
    state.counters["t_plain_ms"] = 1000.0 * p / runs;
    state.counters["ratio"] = 2.0 * p / h;
}

void Slot5_Vectors16(benchmark::State& state)
{
    const ZylSrvHermitianScrDenseMatrix& a = A();
    const ZylSrvMatrix x = Operand(2 * kColumns, kVectors);
    ZylSrvMatrix y(kRows, kVectors);
    y = 0.0;
    Compare(
        state, [&] { a.Multiply(x.Values(), kVectors, y.Values()); },
        [&] { a.ZylSrvScratchDenseMatrix::Multiply(x.Values(), kVectors, y.Values()); });
}

void Slot11_Vectors16(benchmark::State& state)
{
    const ZylSrvHermitianScrDenseMatrix& a = A();
    const ZylSrvMatrix x = Operand(kRows, kVectors);
    ZylSrvMatrix y(2 * kColumns, kVectors);
    y = 0.0;
    Compare(
        state, [&] { a.TransposeMultiply(x.Values(), kVectors, y.Values(), kRows); },
        [&] { a.ZylSrvScratchDenseMatrix::TransposeMultiply(x.Values(), kVectors, y.Values(), kRows); });
}

void Slot9_PeakMemory(benchmark::State& state)
{
    const ZylSrvHermitianScrDenseMatrix& a = A();
    const ZylSrvMatrix x = Operand(2 * kColumns, kVectors);
    ZylSrvScratchDenseMatrix y(kRows, kVectors, kBlock, -1);
    const double bound = 2.0 * kBlock * (kColumns + kVectors) * 8.0 / kMiB;
    for (auto _ : state) {
        const double peak = zylbench::GrownMiB(zylbench::InChild([&] { a.Multiply(0.5, x, 1.0, y); }));
        if (peak < 0.0) {
            state.SkipWithError("the child failed");
            return;
        }
        state.SetIterationTime(0.0);
        state.counters["peak_MiB"] = peak;
        state.counters["bound_MiB"] = bound;
        state.counters["per_bound"] = peak / bound;
    }
}

BENCHMARK(Slot5_Vectors16)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Slot11_Vectors16)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Slot9_PeakMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return zylbench::RunBenchmarks(argc, argv, [] { TheMatrix().reset(); }); // its file goes before the library shuts down
}
