// Peak resident memory of the out-of-core products of ZylSrvDenseMatrix on
// an operand far larger than their staging: A of 16384 x 16384 doubles
// (2 GiB) in a scratch database, in blocks of 512 x 512.
//
// Each measurement runs in a fresh child process (fork) so that peaks do not
// mix: the child's getrusage(RUSAGE_SELF).ru_maxrss after the product, less
// its resident size when it started (the parent's pages it shares), is the
// memory the product itself made resident, its in-memory operands included.
// The parent fills the operands once beforehand and has run one DGEMM so
// that OpenBLAS's own buffers already exist.
//
//   Slot6_NarrowMemoryB        Y = A X, X and Y 16384 x 16 in memory (row-block stream)
//   Slot11_ColumnBlockStream   Y += A^T X over all rows, X and Y 16384 x 16 in memory
//   Slot8_DenseIntoDatabase    C = A B, B 16384 x 64 in the database, C made in the child
//   Slot8_Square4096           C = A B with A, B, C 4096 x 4096 in blocks of 512
//
// Counters:
//   peak_MiB       growth of the peak resident size during the product
//   rss_start_MiB  resident size of the child before the product
//   per_operand    peak_MiB / size of A (the goal for slots 6 and 11: < 0.125)
//   budget_MiB     staging that slot 8's memory budget prescribes, derived
//                  here from the budget rule (slot 8 only)
//   per_budget     peak_MiB / budget_MiB (the goal: <= 1.1)
// The benchmark's time is the child's wall time for the product.
#include <blac/blac.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/ZylBasException.h>

#include "ChildPeak.h"

#include "DenseBench.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using zylbench::ChildReport;
using zylbench::InChild;

const int kLarge = 16384; // A is kLarge x kLarge: 2 GiB
const int kBlock = 512;
const int kNarrow = 16;   // columns of the in-memory X of slots 6 and 11
const int kDenseB = 64;   // columns of the database B of slot 8
const int kSquare = 4096;
const double kMiB = 1024.0 * 1024.0;

double Value(int i, int j) { return ((i * 7 + j * 3) % 11 - 5) * 0.125; }

struct Operands {
    Operands()
        : large(kLarge, kLarge, kBlock, kBlock), denseB(kLarge, kDenseB, kBlock, kBlock),
          squareA(kSquare, kSquare, kBlock, kBlock), squareB(kSquare, kSquare, kBlock, kBlock)
    {
        const auto start = std::chrono::steady_clock::now();
        zylbench::FillByRowBlocks(large, Value);
        zylbench::FillByRowBlocks(denseB, Value);
        zylbench::FillByRowBlocks(squareA, Value);
        zylbench::FillByRowBlocks(squareB, Value);
        std::fprintf(stderr, "operands filled in %.1f s\n",
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    ZylSrvScratchDenseMatrix large, denseB, squareA, squareB;
};

std::unique_ptr<Operands>& TheOperands()
{
    static std::unique_ptr<Operands> operands;
    return operands;
}

Operands& GetOperands()
{
    if (!TheOperands())
        TheOperands() = std::make_unique<Operands>();
    return *TheOperands();
}

// Values of staging that slot 8's memory budget prescribes for C = A B,
// derived from the budget rule: budget M = n k + max(Pm k, m) values, band
// lengths bn, bm, bk from it, whole blocks per band, one allocation of
// (kcap + mcap) ncap + kcap mcap values. A's and B's blocks are uniform here.
double Slot8StagingValues(const ZylSrvDenseMatrix& a, const ZylSrvDenseMatrix& b)
{
    const double m = a.NumberOfRows(), k = a.NumberOfColumns(), n = b.NumberOfColumns();
    const double pm = a.MaxNumberOfRowsInBlock(), pk = a.MaxNumberOfColumnsInBlock();
    const double pn = b.MaxNumberOfColumnsInBlock();
    const double budget = n * k + std::max(pm * k, m);
    const double bn = std::min((budget - pk * pm) / (pk + pm), n);
    double bm = std::min((budget - bn * pk) / (bn + pk), m);
    if (!(bm > 0.0))
        bm = pm;
    double bk = std::min((budget - bm * bn) / (bm + bn), k);
    if (!(bk > 0.0))
        bk = pk;
    auto capacity = [](double length, double perBlock, double side) {
        const double blocks = length > 1.0 ? std::ceil(std::trunc(length) / perBlock) : 1.0;
        return std::min(blocks * perBlock, side);
    };
    const double mcap = capacity(bm, pm, m), kcap = capacity(bk, pk, k), ncap = capacity(bn, pn, n);
    return (kcap + mcap) * ncap + kcap * mcap;
}

void Report(benchmark::State& state, const ChildReport& r, double operandBytes, double budgetBytes)
{
    if (!r.ok) {
        state.SkipWithError("the child failed");
        return;
    }
    const double peak = (r.peakKiB - r.startKiB) / 1024.0;
    state.counters["peak_MiB"] = peak;
    state.counters["rss_start_MiB"] = r.startKiB / 1024.0;
    state.counters["per_operand"] = peak * kMiB / operandBytes;
    if (budgetBytes > 0.0) {
        state.counters["budget_MiB"] = budgetBytes / kMiB;
        state.counters["per_budget"] = peak * kMiB / budgetBytes;
    }
}

double BytesOf(const ZylSrvDenseMatrix& m) { return 8.0 * m.NumberOfRows() * static_cast<double>(m.NumberOfColumns()); }

void Slot6_NarrowMemoryB(benchmark::State& state)
{
    Operands& o = GetOperands();
    for (auto _ : state) {
        const ChildReport r = InChild([&] {
            ZylSrvMatrix x(kLarge, kNarrow), y(kLarge, kNarrow);
            for (std::int64_t i = 0; i < static_cast<std::int64_t>(kLarge) * kNarrow; ++i)
                x.Values()[i] = 1.0 / static_cast<double>(1 + i % 97);
            o.large.Multiply(x, y);
        });
        state.SetIterationTime(r.seconds);
        Report(state, r, BytesOf(o.large), 0.0);
    }
}

void Slot11_ColumnBlockStream(benchmark::State& state)
{
    Operands& o = GetOperands();
    for (auto _ : state) {
        const ChildReport r = InChild([&] {
            ZylSrvMatrix x(kLarge, kNarrow), y(kLarge, kNarrow);
            for (std::int64_t i = 0; i < static_cast<std::int64_t>(kLarge) * kNarrow; ++i)
                x.Values()[i] = 1.0 / static_cast<double>(1 + i % 89);
            y = 0.0;
            o.large.TransposeMultiply(x.Values(), kNarrow, y.Values(), kLarge);
        });
        state.SetIterationTime(r.seconds);
        Report(state, r, BytesOf(o.large), 0.0);
    }
}

void Slot8_DenseIntoDatabase(benchmark::State& state)
{
    Operands& o = GetOperands();
    for (auto _ : state) {
        const ChildReport r = InChild([&] {
            ZylSrvScratchDenseMatrix c(kLarge, kDenseB, kBlock, kBlock); // its own file, removed on return
            o.large.Multiply(o.denseB, c);
        });
        state.SetIterationTime(r.seconds);
        Report(state, r, BytesOf(o.large), 8.0 * Slot8StagingValues(o.large, o.denseB));
    }
}

void Slot8_Square4096(benchmark::State& state)
{
    Operands& o = GetOperands();
    for (auto _ : state) {
        const ChildReport r = InChild([&] {
            ZylSrvScratchDenseMatrix c(kSquare, kSquare, kBlock, kBlock);
            o.squareA.Multiply(o.squareB, c);
        });
        state.SetIterationTime(r.seconds);
        Report(state, r, BytesOf(o.squareA), 8.0 * Slot8StagingValues(o.squareA, o.squareB));
    }
}

void Once(benchmark::internal::Benchmark* b) { b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond); }

BENCHMARK(Slot6_NarrowMemoryB)->Apply(Once);
BENCHMARK(Slot11_ColumnBlockStream)->Apply(Once);
BENCHMARK(Slot8_DenseIntoDatabase)->Apply(Once);
BENCHMARK(Slot8_Square4096)->Apply(Once);

} // namespace

int main(int argc, char** argv)
{
    return zylbench::RunBenchmarks(argc, argv, [] { TheOperands().reset(); }); // closes and removes the scratch files
}
