// Out-of-core products of ZylSrvDenseMatrix on scratch matrices, each against
// one in-memory DGEMM (through BLAC_DGEMM, i.e. OpenBLAS) on the same
// operands, in the same run and the same loop: every iteration times the
// library path and the direct call once each, alternating which goes first,
// so that both see the same machine state (the machine is shared).
//
// Operands: A and B of n x n doubles (n = 4096: 128 MiB each) in scratch
// databases in blocks of `block` x `block`, filled band by band from a
// formula, and the same values in memory for the direct calls.
//
//   Slot8_DenseTimesDenseIntoDatabase/n/block
//       C = A B, A, B and C in the database (bands from the memory budget)
//       vs dgemm("N", "N")
//   Slot6_RowBlockStream/n/block
//       C = A B, B and C in memory, A streamed by row blocks vs dgemm("N", "N")
//   Slot14_TransposeTimesMemory/n/block
//       C = A^T B, B and C in memory, A in bands of row blocks vs dgemm("T", "N")
//   Slot17_TransposeTimesDense/n/block
//       C = A^T B, B in the database, C in memory vs dgemm("T", "N")
//
// Counters:
//   ratio      = direct DGEMM wall time / library wall time over all
//                iterations (1.00: as fast as in memory; the goal is >= 0.85)
//   cpu_ratio  = the same with process CPU time (less sensitive to other
//                load on the machine; with several BLAS threads it includes
//                their waiting)
//   GFLOPS, dgemm_GFLOPS = rates of the library path and of the direct call
// The benchmark's own (manual) time is the library path's wall time.
// The scratch files lie in the current directory and are removed at exit.
#include <blac/blac.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/ZylBasException.h>

#include "DenseBench.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

double AValue(int i, int j) { return ((i * 7 + j * 3) % 11 - 5) * 0.125; }
double BValue(int i, int j) { return ((i * 5 + j * 9) % 13 - 6) * 0.0625; }

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// value(i, j) into the scratch matrix m and into the column-major copy,
// one row block at a time.
template <typename Formula>
void Fill(ZylSrvDenseMatrix& m, ZylSrvMatrix& copy, Formula value)
{
    zylbench::FillByRowBlocks(m, [&](int i, int j) {
        const double v = value(i, j);
        copy.Values()[i + static_cast<std::int64_t>(m.NumberOfRows()) * j] = v;
        return v;
    });
}

struct Operands {
    Operands(int n, int block)
        : a(n, n, block, block), b(n, n, block, block), c(n, n, block, block), aMemory(n, n), bMemory(n, n),
          cMemory(n, n), cDirect(n, n)
    {
        Fill(a, aMemory, AValue);
        Fill(b, bMemory, BValue);
        cMemory = 0.0;
        cDirect = 0.0;
    }
    ZylSrvScratchDenseMatrix a, b, c;
    ZylSrvMatrix aMemory, bMemory, cMemory, cDirect;
};

// One set of operands per (n, block), made at first use, gone at exit.
std::map<std::pair<int, int>, std::unique_ptr<Operands>>& AllOperands()
{
    static std::map<std::pair<int, int>, std::unique_ptr<Operands>> operands;
    return operands;
}

Operands& OperandsFor(int n, int block)
{
    std::unique_ptr<Operands>& slot = AllOperands()[{n, block}];
    if (!slot)
        slot = std::make_unique<Operands>(n, block);
    return *slot;
}

void DirectGemm(char transa, const ZylSrvMatrix& a, const ZylSrvMatrix& b, ZylSrvMatrix& c)
{
    const char transb = 'N';
    const int m = c.NumberOfRows();
    const int n = c.NumberOfColumns();
    const int k = b.NumberOfRows();
    const int lda = a.NumberOfRows();
    const int ldb = b.NumberOfRows();
    const double one = 1.0, zero = 0.0;
    BLAC_DGEMM(&transa, &transb, &m, &n, &k, &one, a.Values(), &lda, b.Values(), &ldb, &zero, c.Values(), &m);
}

enum class Slot { DenseIntoDatabase8, RowBlockStream6, TransposeTimesMemory14, TransposeTimesDense17 };

template <Slot slot>
void Compare(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    Operands& o = OperandsFor(n, block);
    const char directTrans = slot == Slot::DenseIntoDatabase8 || slot == Slot::RowBlockStream6 ? 'N' : 'T';

    auto library = [&] {
        switch (slot) {
        case Slot::DenseIntoDatabase8:
            o.a.Multiply(o.b, o.c);
            break;
        case Slot::RowBlockStream6:
            o.a.Multiply(o.bMemory, o.cMemory);
            break;
        case Slot::TransposeTimesMemory14:
            o.a.TransposeMultiply(o.bMemory, o.cMemory, 0);
            break;
        case Slot::TransposeTimesDense17:
            o.a.TransposeMultiply(&o.b, o.cMemory, 0);
            break;
        }
        benchmark::ClobberMemory();
    };
    auto direct = [&] {
        DirectGemm(directTrans, o.aMemory, o.bMemory, o.cDirect);
        benchmark::ClobberMemory();
    };

    double libraryWall = 0.0, directWall = 0.0, libraryCpu = 0.0, directCpu = 0.0;
    bool libraryFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool runLibrary = (turn == 0) == libraryFirst;
            const double cpu0 = ProcessCpuSeconds();
            const auto wall0 = Clock::now();
            if (runLibrary)
                library();
            else
                direct();
            const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
            const double cpu = ProcessCpuSeconds() - cpu0;
            if (runLibrary) {
                libraryWall += wall;
                libraryCpu += cpu;
                state.SetIterationTime(wall);
            } else {
                directWall += wall;
                directCpu += cpu;
            }
        }
        libraryFirst = !libraryFirst;
    }
    const double flops = 2.0 * n * static_cast<double>(n) * n * static_cast<double>(state.iterations());
    state.counters["ratio"] = directWall / libraryWall;
    state.counters["cpu_ratio"] = directCpu / libraryCpu;
    state.counters["GFLOPS"] = flops / libraryWall * 1e-9;
    state.counters["dgemm_GFLOPS"] = flops / directWall * 1e-9;
}

// Two iterations: one with the library path first, one with DGEMM first.
void Arguments(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"n", "block"})->Args({4096, 512})->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
}

// Slot 8 also with other block sizes: its staging follows from its memory
// budget and the blocks (160 MiB at 512, 144 MiB at 256, 192 MiB at 1024).
void BlockSizes(benchmark::internal::Benchmark* b)
{
    Arguments(b);
    b->Args({4096, 256})->Args({4096, 1024});
}

BENCHMARK_TEMPLATE(Compare, Slot::DenseIntoDatabase8)->Name("Slot8_DenseTimesDenseIntoDatabase")->Apply(BlockSizes);
BENCHMARK_TEMPLATE(Compare, Slot::RowBlockStream6)->Name("Slot6_RowBlockStream")->Apply(Arguments);
BENCHMARK_TEMPLATE(Compare, Slot::TransposeTimesMemory14)->Name("Slot14_TransposeTimesMemory")->Apply(Arguments);
BENCHMARK_TEMPLATE(Compare, Slot::TransposeTimesDense17)->Name("Slot17_TransposeTimesDense")->Apply(Arguments);

} // namespace

int main(int argc, char** argv)
{
    return zylbench::RunBenchmarks(argc, argv, [] { AllOperands().clear(); }); // closes and removes the scratch files
}
