#ifndef BENCH_DENSEBENCH_H
#define BENCH_DENSEBENCH_H
// What the out-of-core benchmarks share: operands filled band by band from a
// formula, and the program around the benchmarks (the library initialized,
// ZylBasException reported, the scratch matrices released before the library
// is finalized).
#include <blac/blac.h>
#include <mtx/ZylSrvDenseMatrix.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvMatrix.h>
#include <platform/ZylBasException.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

namespace zylbench {

// value(i, j) into m, one row block at a time.
template <typename Formula>
void FillByRowBlocks(ZylSrvDenseMatrix& m, Formula value)
{
    const int n = m.NumberOfColumns();
    ZylSrvMatrix band(m.MaxNumberOfRowsInBlock(), n);
    for (int b = 0; b < m.NumberOfRowBlocks(); ++b) {
        const int r0 = m.FirstRowInBlock(b);
        const int rows = m.NumberOfRowsInBlock(b);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < rows; ++i)
                band.Values()[i + static_cast<std::int64_t>(rows) * j] = value(r0 + i, j);
        m.SetRows(r0, r0 + rows - 1, band);
    }
}

// One small DGEMM, so that OpenBLAS's buffers and threads exist before any
// measurement (or forked child) starts.
inline void WarmUpBlas()
{
    const int n = 512;
    ZylSrvMatrix a(n, n), b(n, n), c(n, n);
    a = 1.0;
    b = 1.0;
    const char no = 'N';
    const double one = 1.0, zero = 0.0;
    BLAC_DGEMM(&no, &no, &n, &n, &n, &one, a.Values(), &n, b.Values(), &n, &zero, c.Values(), &n);
}

// The main program of a benchmark: `release` drops the operands (closing and
// removing their scratch files) before the library is finalized.
template <typename Release>
int RunBenchmarks(int argc, char** argv, Release&& release)
{
    int tally = 0;
    ZylSrvLinearAlgebra_initialize(tally);
    int status = 0;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        status = 1;
    } else {
        try {
            WarmUpBlas();
            benchmark::RunSpecifiedBenchmarks();
        } catch (const ZylBasException& e) {
            std::fprintf(stderr, "error %d: %s\n", e.ErrorCode(), e.DeveloperReport().Chars());
            status = 1;
        }
    }
    release();
    benchmark::Shutdown();
    ZylSrvLinearAlgebra_finalize(tally);
    return status;
}

} // namespace zylbench

#endif
