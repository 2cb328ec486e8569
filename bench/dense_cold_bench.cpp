// Out-of-core products on an operand that is not in the page cache: A of
// 16384 x 16384 doubles (2 GiB) in a scratch database in blocks of 1024, the
// file's pages dropped from the system's cache before every timed product.
// Each product is compared, in the same run, with the two things it cannot
// beat: a plain cold read of the database file's bytes (sequential pread in
// 64 MiB pieces) and the same arithmetic on operands already in memory (the
// same DGEMM shapes, one staged band of A reused). A product that overlaps
// its reads with its arithmetic takes about the larger of the two.
//
//   Slot6   Y = A X, X and Y 16384 x 16 in memory (row-block stream)
//   Slot11  Y += A^T X, X and Y 16384 x 16 in memory (column-block stream)
//   Slot14  C = A^T B, B and C 16384 x 16 in memory (bands of row blocks)
//   Slot17  C = A^T B, B 16384 x 16 in the database, C in memory
//   Slot8   C = A B, B and C 16384 x 64 in the database
//
// Counters:
//   read_s, math_s   the two baselines (seconds), measured in every iteration
//                    beside the product
//   over_bound       product time / max(read_s, math_s) (the goal: <= 1.15)
//   no_ahead_s, no_ahead_over_bound   the same product with the read-ahead
//                    off (ZYLDORV_READ_AHEAD=0), timed in every iteration too
//   cold             1 when the pages were dropped for every timed product
//                    (drop_caches as root, else POSIX_FADV_DONTNEED on the
//                    file, which evicts only its clean pages); 0 when neither
//                    was possible, and the figures are then warm ones
// OpenBLAS keeps its default thread count.
#include <blac/blac.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <platform/ZylBasException.h>

#include "ColdFiles.h"
#include "DenseBench.h"

#include <benchmark/benchmark.h>


#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kLarge = 16384;
const int kBlock = 1024;
const int kNarrow = 16;
const int kDenseB = 64;

using Clock = std::chrono::steady_clock;

template <typename F>
double Seconds(F&& f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Value(int i, int j) { return ((i * 7 + j * 3) % 11 - 5) * 0.125; }

void Gemm(char ta, int m, int n, int k, const double* a, int lda, const double* b, int ldb, double beta, double* c,
          int ldc)
{
    const char tb = 'N';
    const double one = 1.0;
    BLAC_DGEMM(&ta, &tb, &m, &n, &k, &one, a, &lda, b, &ldb, &beta, c, &ldc);
}

struct Operands {
    Operands()
        : a(kLarge, kLarge, kBlock, kBlock), denseB(kLarge, kDenseB, kBlock, kBlock),
          denseC(kLarge, kDenseB, kBlock, kBlock), narrowB(kLarge, kNarrow, kBlock, kBlock), x(kLarge, kNarrow),
          y(kLarge, kNarrow), band(std::size_t(kBlock) * kLarge, 0.5)
    {
        zylbench::FillByRowBlocks(a, Value);
        zylbench::FillByRowBlocks(denseB, Value);
        zylbench::FillByRowBlocks(narrowB, Value);
        for (int j = 0; j < kNarrow; ++j)
            for (int i = 0; i < kLarge; ++i)
                x.Values()[i + std::int64_t{kLarge} * j] = Value(j, i);
        y = 0.0;
        files = zylbench::ScratchFiles();
        for (const std::string& f : files)
            if (zylbench::FileSize(f) > zylbench::FileSize(operandFile))
                operandFile = f;
    }
    ZylSrvScratchDenseMatrix a, denseB, denseC, narrowB;
    ZylSrvMatrix x, y;
    std::vector<double> band; // one row band of A in memory, for the arithmetic baseline
    std::vector<std::string> files;
    std::string operandFile;
};

std::unique_ptr<Operands> g_operands; // made at first use, gone before the library is finalized

Operands& TheOperands()
{
    if (!g_operands)
        g_operands = std::make_unique<Operands>();
    return *g_operands;
}

enum class Slot { S6, S11, S14, S17, S8 };

// The product itself, and the same DGEMM shapes on operands in memory.
void Product(Slot slot, Operands& o)
{
    switch (slot) {
    case Slot::S6: o.a.Multiply(o.x, o.y); break;
    case Slot::S11: o.a.TransposeMultiply(o.x.Values(), kNarrow, o.y.Values(), kLarge); break;
    case Slot::S14: o.a.TransposeMultiply(o.x, o.y, 0); break;
    case Slot::S17: o.a.TransposeMultiply(&o.narrowB, o.y, 0); break;
    case Slot::S8: o.a.Multiply(o.denseB, o.denseC); break;
    }
}

void Arithmetic(Slot slot, Operands& o)
{
    static std::vector<double> wide(std::size_t(kLarge) * kDenseB, 0.25), out(std::size_t(kLarge) * kDenseB);
    for (int b = 0; b < kLarge / kBlock; ++b) {
        const double* a = o.band.data();
        switch (slot) {
        case Slot::S6:
            Gemm('N', kBlock, kNarrow, kLarge, a, kBlock, o.x.Values(), kLarge, 0.0, o.y.Values() + b * kBlock, kLarge);
            break;
        case Slot::S11: // a column block of A, as the band's transpose
            Gemm('T', kBlock, kNarrow, kLarge, a, kLarge, o.x.Values(), kLarge, 1.0, o.y.Values() + b * kBlock, kLarge);
            break;
        case Slot::S14:
        case Slot::S17:
            Gemm('T', kLarge, kNarrow, kBlock, a, kBlock, o.x.Values() + b * kBlock, kLarge, b == 0 ? 0.0 : 1.0,
                 o.y.Values(), kLarge);
            break;
        case Slot::S8:
            Gemm('N', kBlock, kDenseB, kLarge, a, kBlock, wide.data(), kLarge, 0.0, out.data() + b * kBlock, kLarge);
            break;
        }
    }
}

// The product with the read-ahead on or off (ZylDorvReadAhead reads the
// environment when a product starts its first announcement).
double TimedProduct(Slot slot, Operands& o, bool readAhead, bool& cold)
{
    ::setenv("ZYLDORV_READ_AHEAD", readAhead ? "1" : "0", 1);
    cold = zylbench::DropCaches(o.files) && cold;
    const double t = Seconds([&] { Product(slot, o); });
    ::unsetenv("ZYLDORV_READ_AHEAD");
    return t;
}

template <Slot slot>
void Cold(benchmark::State& state)
{
    Operands& o = TheOperands();
    Arithmetic(slot, o); // OpenBLAS's buffers and threads made
    bool cold = true;
    double read = 0.0, math = 0.0, product = 0.0, without = 0.0;
    bool aheadFirst = true;
    for (auto _ : state) {
        // All four in every iteration, so that all see the same machine and
        // disk; the two forms of the product in alternating order.
        cold = zylbench::DropCaches(o.files) && cold;
        read += Seconds([&] { zylbench::ReadWhole(o.operandFile); });
        math += Seconds([&] { Arithmetic(slot, o); });
        double t = 0.0;
        for (const bool readAhead : {aheadFirst, !aheadFirst}) {
            const double s = TimedProduct(slot, o, readAhead, cold);
            (readAhead ? t : without) += s;
        }
        aheadFirst = !aheadFirst;
        product += t;
        state.SetIterationTime(t);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["read_s"] = read / n;
    state.counters["math_s"] = math / n;
    state.counters["no_ahead_s"] = without / n;
    state.counters["over_bound"] = product / std::max(read, math);
    state.counters["no_ahead_over_bound"] = without / std::max(read, math);
    state.counters["cold"] = cold ? 1 : 0;
    state.counters["operand_GiB"] = static_cast<double>(zylbench::FileSize(o.operandFile)) / (1 << 30);
}

void Arguments(benchmark::internal::Benchmark* b) { b->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond); }

BENCHMARK_TEMPLATE(Cold, Slot::S6)->Name("Cold_Slot6_RowBlockStream")->Apply(Arguments);
BENCHMARK_TEMPLATE(Cold, Slot::S11)->Name("Cold_Slot11_ColumnBlockStream")->Apply(Arguments);
BENCHMARK_TEMPLATE(Cold, Slot::S14)->Name("Cold_Slot14_TransposeTimesMemory")->Apply(Arguments);
BENCHMARK_TEMPLATE(Cold, Slot::S17)->Name("Cold_Slot17_TransposeTimesDense")->Apply(Arguments);
BENCHMARK_TEMPLATE(Cold, Slot::S8)->Name("Cold_Slot8_DenseIntoDatabase")->Apply(Arguments);

} // namespace

int main(int argc, char** argv)
{
    return zylbench::RunBenchmarks(argc, argv, [] { g_operands.reset(); }); // closes and removes the scratch files
}
