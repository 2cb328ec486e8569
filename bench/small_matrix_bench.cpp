// ZylSrvMatrix products against a direct DGEMM on the same operands, in the
// same run and the same loop: each iteration times the library path and the
// direct call once each, alternating which goes first, so that both see the
// same machine state.
//
//   Multiply/n            result := a * b through ZylSrvMatrix::Multiply
//                         (into a result) vs dgemm_("N", "N")
//   TransposeMultiply/n   result := a^T * b, symmetric 0, vs dgemm_("T", "N")
//   SymmetricTransposeMultiply/n
//                         the blockwise symmetric form (144-blocks, lower
//                         block triangle only) vs the full dgemm_("T", "N")
//
// Counters: ratio = library time / direct time (1.00 = no overhead) for the
// first two; speedup = full DGEMM time / blockwise time for the third. The
// benchmark's own time is the library path's.
#include <mtx/ZylSrvMatrix.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <random>

extern "C" void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                       const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                       const double* beta, double* c, const int* ldc, std::size_t transaLength,
                       std::size_t transbLength);

namespace {

using Clock = std::chrono::steady_clock;

void FillRandom(ZylSrvMatrix& m, unsigned seed)
{
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (std::int64_t k = 0; k < m.NumberOfStoredValues(); ++k)
        m.Values()[k] = uniform(engine);
}

void DirectGemm(char transa, const ZylSrvMatrix& a, const ZylSrvMatrix& b, ZylSrvMatrix& c)
{
    const char transb = 'N';
    const int n = c.NumberOfRows();
    const int cols = c.NumberOfColumns();
    const int k = b.NumberOfRows();
    const int lda = a.NumberOfRows();
    const int ldb = b.NumberOfRows();
    const double one = 1.0, zero = 0.0;
    dgemm_(&transa, &transb, &n, &cols, &k, &one, a.Values(), &lda, b.Values(), &ldb, &zero, c.Values(), &n, 1,
           1);
}

enum class Path { Multiply, TransposeMultiply, SymmetricTransposeMultiply };

template <Path path>
void Compare(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    ZylSrvMatrix a(n, n), b(n, n), libraryResult(n, n), directResult(n, n);
    FillRandom(a, 1);
    FillRandom(b, 2);
    libraryResult = 0.0;
    directResult = 0.0;
    const char directTrans = path == Path::Multiply ? 'N' : 'T';

    auto library = [&] {
        if (path == Path::Multiply)
            a.Multiply(b, libraryResult, 0, 0);
        else
            a.TransposeMultiply(b, libraryResult, path == Path::SymmetricTransposeMultiply ? 1 : 0, 0);
        benchmark::ClobberMemory();
    };
    auto direct = [&] {
        DirectGemm(directTrans, a, b, directResult);
        benchmark::ClobberMemory();
    };
    // One warm-up of each (thread pool, pages of the results).
    library();
    direct();

    double librarySeconds = 0.0, directSeconds = 0.0;
    bool libraryFirst = true;
    for (auto _ : state) {
        double lib, dir;
        if (libraryFirst) {
            const auto t0 = Clock::now();
            library();
            const auto t1 = Clock::now();
            direct();
            const auto t2 = Clock::now();
            lib = std::chrono::duration<double>(t1 - t0).count();
            dir = std::chrono::duration<double>(t2 - t1).count();
        } else {
            const auto t0 = Clock::now();
            direct();
            const auto t1 = Clock::now();
            library();
            const auto t2 = Clock::now();
            dir = std::chrono::duration<double>(t1 - t0).count();
            lib = std::chrono::duration<double>(t2 - t1).count();
        }
        libraryFirst = !libraryFirst;
        librarySeconds += lib;
        directSeconds += dir;
        state.SetIterationTime(lib);
    }
    const double iterations = static_cast<double>(state.iterations());
    const double flops = 2.0 * n * static_cast<double>(n) * n;
    state.counters["direct_ms"] = 1e3 * directSeconds / iterations;
    state.counters["library_GFLOPs"] = flops * iterations / librarySeconds / 1e9;
    if (path == Path::SymmetricTransposeMultiply)
        state.counters["speedup"] = directSeconds / librarySeconds;
    else
        state.counters["ratio"] = librarySeconds / directSeconds;
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int n : {64, 128, 256, 512, 1024, 2048})
        b->Arg(n);
    b->UseManualTime()->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK_TEMPLATE(Compare, Path::Multiply)->Name("Multiply")->Apply(Sizes);
BENCHMARK_TEMPLATE(Compare, Path::TransposeMultiply)->Name("TransposeMultiply")->Apply(Sizes);
BENCHMARK_TEMPLATE(Compare, Path::SymmetricTransposeMultiply)
    ->Name("SymmetricTransposeMultiply")
    ->Arg(2048)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
