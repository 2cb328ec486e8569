// The sparse multiply kernels against Eigen on the matrix of a 60^3 mesh of
// hexahedra (bench/HexMeshPattern.h: 226,981 rows, 5,929,741 stored entries),
// single-threaded on both sides, in the same run and the same loop: every
// iteration times our kernel, Eigen's product and a plain memcpy once each,
// rotating which goes first, so that all three see the same machine state.
//
// Eigen holds the matrix as SparseMatrix<double, RowMajor> built by
// setFromTriplets; our compressed-row arrays are a copy of its arrays
// (unsigned offsets, int columns). x is column-major, one column per vector.
//
//   UMV/vectors:8    y = A X, BLAC_SPARSE_UMV vs A * X (X of n x 8)
//   UMV/vectors:1    y = A x, BLAC_SPARSE_UMV vs A * x
//   UMTV/vectors:8   y = A^T X, BLAC_SPARSE_UMTV vs A.transpose() * X
//
// Counters:
//   speedup         Eigen time / our time over all iterations (goals: 1.5
//                   for UMV/8, 1.0 for UMV/1 and UMTV/8)
//   GBps            bytes our product must move at least (values, columns,
//                   offsets, x, y) / our time
//   memcpy_GBps     the same number of bytes / the time memcpy takes to copy
//                   them (it reads and writes each byte, as the product reads
//                   the structure and x and writes y)
//   of_memcpy       GBps / memcpy_GBps
//   max_difference  largest |ours - Eigen| over the result (a sanity check:
//                   Eigen may sum in another order)
// The benchmark's own (manual) time is our kernel's.
#include "HexMeshPattern.h"

#include <blac/blac.h>

#include <Eigen/Core>
#include <Eigen/SparseCore>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using EigenCsr = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;

constexpr int kElementsPerSide = 60;
constexpr int kMaxVectors = 8;

struct Operands {
    Operands()
    {
        const zylbench::HexMesh mesh{kElementsPerSide, kElementsPerSide, kElementsPerSide};
        n = static_cast<int>(mesh.NumberOfNodes());
        {
            std::vector<Eigen::Triplet<double, int>> triplets;
            triplets.reserve(static_cast<std::size_t>(mesh.NumberOfTriplets()));
            zylbench::ForEachHexTriplet(mesh, [&](std::uint32_t r, std::uint32_t c, double v) {
                triplets.emplace_back(static_cast<int>(r), static_cast<int>(c), v);
            });
            a.resize(n, n);
            a.setFromTriplets(triplets.begin(), triplets.end());
        }
        a.makeCompressed();
        const std::size_t stored = static_cast<std::size_t>(a.nonZeros());
        values.assign(a.valuePtr(), a.valuePtr() + stored);
        columns.assign(a.innerIndexPtr(), a.innerIndexPtr() + stored);
        offsets.assign(a.outerIndexPtr(), a.outerIndexPtr() + n + 1);
        x.resize(n, kMaxVectors);
        for (int v = 0; v < kMaxVectors; ++v)
            for (int i = 0; i < n; ++i)
                x(i, v) = std::sin(0.001 * i + v) + 0.25 * v;
        y.setZero(n, kMaxVectors);
        yEigen.setZero(n, kMaxVectors);
        // Source and target of the memcpy baseline, touched once so that no
        // page fault lands in a timed copy.
        copySize = 8 * stored + 4 * stored + 4 * (std::size_t(n) + 1) + 2 * 8 * std::size_t(n) * kMaxVectors;
        copyFrom.reset(new char[copySize]);
        copyTo.reset(new char[copySize]);
        std::memset(copyFrom.get(), 1, copySize);
        std::memset(copyTo.get(), 2, copySize);
    }

    int n = 0;
    EigenCsr a;
    std::vector<double> values;
    std::vector<int> columns;
    std::vector<unsigned int> offsets;
    Eigen::MatrixXd x, y, yEigen;
    std::size_t copySize = 0;
    std::unique_ptr<char[]> copyFrom, copyTo;
};

Operands& TheOperands()
{
    static Operands operands;
    return operands;
}

enum class Kernel { Umv, Umtv };

template <Kernel kernel>
void Compare(benchmark::State& state)
{
    Operands& o = TheOperands();
    const int vectors = static_cast<int>(state.range(0));
    const std::size_t bytes = 12 * o.values.size() + 4 * o.offsets.size() + 2 * 8 * std::size_t(o.n) * vectors;

    auto ours = [&] {
        if (kernel == Kernel::Umv)
            BLAC_SPARSE_UMV(o.values.data(), o.x.data(), o.offsets.data(), o.columns.data(), o.y.data(), &o.n,
                            &o.n, &vectors);
        else
            BLAC_SPARSE_UMTV(o.values.data(), o.x.data(), o.offsets.data(), o.columns.data(), o.y.data(), &o.n,
                             &o.n, &vectors);
        benchmark::ClobberMemory();
    };
    auto eigen = [&] {
        if (vectors == 1) {
            Eigen::Map<Eigen::VectorXd> y1(o.yEigen.data(), o.n);
            if (kernel == Kernel::Umv)
                y1.noalias() = o.a * o.x.col(0);
            else
                y1.noalias() = o.a.transpose() * o.x.col(0);
        } else {
            auto block = o.yEigen.leftCols(vectors);
            if (kernel == Kernel::Umv)
                block.noalias() = o.a * o.x.leftCols(vectors);
            else
                block.noalias() = o.a.transpose() * o.x.leftCols(vectors);
        }
        benchmark::ClobberMemory();
    };
    auto copy = [&] {
        std::memcpy(o.copyTo.get(), o.copyFrom.get(), bytes);
        benchmark::ClobberMemory();
    };
    // One warm-up of each: caches and the pages of y.
    ours();
    eigen();
    copy();

    double seconds[3] = {0.0, 0.0, 0.0};
    int first = 0;
    for (auto _ : state) {
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (first + turn) % 3;
            const auto t0 = Clock::now();
            if (which == 0)
                ours();
            else if (which == 1)
                eigen();
            else
                copy();
            const double t = std::chrono::duration<double>(Clock::now() - t0).count();
            seconds[which] += t;
            if (which == 0)
                state.SetIterationTime(t);
        }
        first = (first + 1) % 3;
    }
    const double moved = static_cast<double>(bytes) * static_cast<double>(state.iterations());
    state.counters["speedup"] = seconds[1] / seconds[0];
    state.counters["GBps"] = moved / seconds[0] * 1e-9;
    state.counters["memcpy_GBps"] = moved / seconds[2] * 1e-9;
    state.counters["of_memcpy"] = seconds[2] / seconds[0];
    state.counters["max_difference"] =
        (o.y.leftCols(vectors) - o.yEigen.leftCols(vectors)).cwiseAbs().maxCoeff();
}

void Vectors(benchmark::internal::Benchmark* b)
{
    b->ArgName("vectors")->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK_TEMPLATE(Compare, Kernel::Umv)->Name("UMV")->Arg(8)->Arg(1)->Apply(Vectors);
BENCHMARK_TEMPLATE(Compare, Kernel::Umtv)->Name("UMTV")->Arg(8)->Apply(Vectors);

} // namespace

int main(int argc, char** argv)
{
    Eigen::setNbThreads(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
