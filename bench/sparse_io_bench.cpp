// Sparse binary files and database drawers against plain read()/write() of
// the same bytes, files in the page cache, in the same run and the same loop:
// every iteration times our operation and the baseline once each.
//
//   Format6Export/Import   the symmetric form of the 60^3 hex-mesh matrix
//                          (bench/HexMeshPattern.h: 226,981 rows, 2,851,380
//                          stored off-diagonal values), the whole file
//   DrawerExport/Import    both forms of the same matrix through a new drawer
//                          / drawer 0 of the database (the baseline moves the
//                          bytes of the four arrays)
//   Format7Export/Import   a 4000 x 4000 banded matrix (27 values a row):
//                          the 128 MB dense file, every value placed / scanned
//
// Counters: ratio = baseline time / our time (goal >= 0.7 for format 6 and
// the drawers; format 7 is reported), MB = bytes moved. Manual time is ours.
// Imports report two baselines: ratio reads into a buffer faulted in once
// and reused, ratio_new into new memory, as an import must.
// The symmetric form, which no public operation builds, comes from a format-6
// file this program writes itself from the assembled matrix's lower triangle.
#include "HexMeshPattern.h"

#include <mtx/ZylSrvSparseMatrix.h>
#include <mtx/ZylSrvUtilities.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Matrix = mem_Unique<ZylSrvSparseMatrix>;
constexpr const char* kFile = "sparse_io_bench.bin";
constexpr const char* kPlain = "sparse_io_bench.plain";
constexpr const char* kDatabase = "sparse_io_bench.dorv";

template <typename F>
double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::int64_t FileSize(const char* path)
{
    const int fd = ::open(path, O_RDONLY);
    const std::int64_t size = ::lseek(fd, 0, SEEK_END);
    ::close(fd);
    return size;
}

// The baselines: the same bytes in 1 MiB pieces, created without truncation
// as the library's writers do, or appended (a new drawer grows its file).
void PlainWrite(const std::vector<char>& bytes, bool append = false)
{
    const int fd = ::open(kPlain, O_WRONLY | O_CREAT | (append ? O_APPEND : 0), 0644);
    for (std::size_t done = 0; done < bytes.size();)
        done += static_cast<std::size_t>(::write(fd, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 1 << 20)));
    ::close(fd);
}
void PlainRead(char* bytes, std::size_t size)
{
    const int fd = ::open(kPlain, O_RDONLY);
    for (std::size_t done = 0; done < size;)
        done += static_cast<std::size_t>(::read(fd, bytes + done, std::min<std::size_t>(size - done, 1 << 20)));
    ::close(fd);
}
void PlainRead(std::vector<char>& bytes) { PlainRead(bytes.data(), bytes.size()); }
// An import must deliver its values in memory it allocates (a refused file
// leaves the matrix as it was), so the second baseline reads into a new block
// from the same allocator, which pays the same first touch of fresh pages.
void PlainReadNew(std::size_t size)
{
    mem_Array<char> fresh(size);
    PlainRead(fresh.Get(), size);
    benchmark::DoNotOptimize(fresh.Get());
}

Matrix Assembled(int n, const std::vector<std::uint32_t>& rows, const std::vector<std::uint32_t>& columns,
                 const std::vector<double>& values)
{
    Matrix a(mem_New<ZylSrvSparseMatrix>(n, n));
    for (std::size_t k = 0; k < rows.size(); ++k)
        a->AddData(rows[k], columns[k], values[k]);
    a->EndAssembly();
    return a;
}

// The hex-mesh matrix in the general form and in the symmetric form.
struct HexMatrices {
    Matrix general, symmetric;
    HexMatrices()
    {
        std::vector<std::uint32_t> r, c;
        std::vector<double> v;
        zylbench::ForEachHexTriplet(zylbench::HexMesh{60, 60, 60}, [&](std::uint32_t i, std::uint32_t j, double x) {
            r.push_back(i), c.push_back(j), v.push_back(x);
        });
        general = Assembled(static_cast<int>(zylbench::HexMesh{60, 60, 60}.NumberOfNodes()), r, c, v);
        int count = 0;
        ZylSrvSparseMatrixEntry* e = general->GetEntries(count);
        const int n = general->NumberOfRows();
        std::vector<std::int32_t> offsets(static_cast<std::size_t>(n) + 1, 0), lowerColumns;
        std::vector<double> diagonal(static_cast<std::size_t>(n), 0.0), lower;
        for (int k = 0; k < count; ++k) {
            if (e[k].row == e[k].column)
                diagonal[e[k].row] = e[k].value;
            else if (e[k].row > e[k].column)
                ++offsets[e[k].row + 1], lowerColumns.push_back(static_cast<int>(e[k].column)), lower.push_back(e[k].value);
        }
        mem_Free(e);
        for (int i = 0; i < n; ++i)
            offsets[i + 1] += offsets[i];
        const std::int32_t m = offsets[n], chunk = 1 << 17, chunks = (m - 1) / chunk + 1;
        lowerColumns.resize(static_cast<std::size_t>(chunks) * chunk, 0);
        lower.resize(static_cast<std::size_t>(chunks) * chunk, 0.0);
        FILE* f = std::fopen(kFile, "wb");
        const std::int32_t header[6] = {n, m, chunks, 0, 17, 1};
        std::fwrite(header, 4, 6, f);
        std::fwrite(offsets.data(), 4, offsets.size(), f);
        std::fwrite(diagonal.data(), 8, diagonal.size(), f);
        for (std::int32_t k = 0; k < chunks; ++k) {
            std::fwrite(lowerColumns.data() + std::size_t{1} * k * chunk, 4, chunk, f);
            std::fwrite(lower.data() + std::size_t{1} * k * chunk, 8, chunk, f);
        }
        std::fclose(f);
        symmetric.reset(mem_New<ZylSrvSparseMatrix>(0, 0));
        symmetric->Import(kFile, 6);
        std::remove(kFile);
    }
};

HexMatrices& Hex()
{
    static HexMatrices matrices;
    return matrices;
}

// 4000 x 4000, values on the 27 diagonals nearest the main one.
ZylSrvSparseMatrix& Banded()
{
    static Matrix a = [] {
        std::vector<std::uint32_t> r, c;
        std::vector<double> v;
        for (int i = 0; i < 4000; ++i)
            for (int j = std::max(0, i - 13); j <= std::min(3999, i + 13); ++j)
                r.push_back(i), c.push_back(j), v.push_back(1.0 + i - 0.5 * j);
        return Assembled(4000, r, c, v);
    }();
    return *a;
}

// Runs ours() and base() once per iteration; bytes is what both move.
template <typename Ours, typename Base>
void Compare(benchmark::State& state, std::int64_t bytes, Ours&& ours, Base&& base)
{
    double ourTotal = 0, baseTotal = 0;
    for (auto _ : state) {
        const double t = Seconds(ours);
        baseTotal += Seconds(base);
        ourTotal += t;
        state.SetIterationTime(t);
    }
    state.counters["ratio"] = baseTotal / ourTotal;
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

// An import against both read baselines: into the reused buffer (ratio) and
// into new memory (ratio_new).
template <typename Ours>
void CompareImport(benchmark::State& state, std::vector<char>& bytes, Ours&& ours)
{
    double ourTotal = 0, reusedTotal = 0, newTotal = 0;
    for (auto _ : state) {
        const double t = Seconds(ours);
        reusedTotal += Seconds([&] { PlainRead(bytes); });
        newTotal += Seconds([&] { PlainReadNew(bytes.size()); });
        ourTotal += t;
        state.SetIterationTime(t);
    }
    state.counters["ratio"] = reusedTotal / ourTotal;
    state.counters["ratio_new"] = newTotal / ourTotal;
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

template <bool Dense>
void BM_FileExport(benchmark::State& state)
{
    const ZylSrvSparseMatrix& a = Dense ? Banded() : *Hex().symmetric;
    const int format = Dense ? 7 : 6;
    a.Export(kFile, format, nullptr);
    std::vector<char> bytes(static_cast<std::size_t>(FileSize(kFile)), 1);
    Compare(state, static_cast<std::int64_t>(bytes.size()), [&] { a.Export(kFile, format, nullptr); },
            [&] { PlainWrite(bytes); });
    std::remove(kFile), std::remove(kPlain);
}

template <bool Dense>
void BM_FileImport(benchmark::State& state)
{
    const ZylSrvSparseMatrix& a = Dense ? Banded() : *Hex().symmetric;
    const int format = Dense ? 7 : 6;
    a.Export(kFile, format, nullptr);
    std::vector<char> bytes(static_cast<std::size_t>(FileSize(kFile)), 1);
    PlainWrite(bytes);
    Matrix target(mem_New<ZylSrvSparseMatrix>(0, 0));
    CompareImport(state, bytes, [&] { target->Import(kFile, format); });
    std::remove(kFile), std::remove(kPlain);
}

// Drawers: arg 0 the general form, 1 the symmetric form.
void BM_Drawer(benchmark::State& state, bool write)
{
    const ZylSrvSparseMatrix& a = state.range(0) == 0 ? *Hex().general : *Hex().symmetric;
    const int n = a.NumberOfRows();
    const std::int64_t m = a.NumberOfNonzeros() - (state.range(0) == 0 ? 0 : n);
    std::vector<char> bytes(static_cast<std::size_t>(4 * (n + 1) + 12 * m + (state.range(0) == 0 ? 0 : 8 * n)), 1);
    std::remove(kDatabase);
    ZylDorvDatabase db;
    db.CreateFile(ZylDroviUnicodeString(kDatabase), ZylDorvDatabase::CreateTruncate, -1);
    ZylDorvContext context(db.CreateContext(ZylDorvNamespaceID::AllBits()));
    ZylDorvCSetID rows = ZylDorvCollection(context.CreateCollection(n, ZylDorvTypeID())).BiggestCSetID();
    ZylDorvCSetID columns = ZylDorvCollection(context.CreateCollection(n, ZylDorvTypeID())).BiggestCSetID();
    const ZylDorvDistributionID id = ZylSrvUtilities::CreateSparseDistribution(rows, columns);
    a.Export(rows, columns, id);
    PlainWrite(bytes);
    Matrix target(mem_New<ZylSrvSparseMatrix>(0, 0));
    if (write)
        Compare(state, static_cast<std::int64_t>(bytes.size()), [&] { a.Export(rows, columns, id); },
                [&] { PlainWrite(bytes, true); });
    else
        CompareImport(state, bytes, [&] { target->Import(id); });
    db.Close();
    std::remove(kDatabase), std::remove(kPlain);
}
void BM_DrawerExport(benchmark::State& state) { BM_Drawer(state, true); }
void BM_DrawerImport(benchmark::State& state) { BM_Drawer(state, false); }

BENCHMARK(BM_FileExport<false>)->Name("Format6Export")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FileImport<false>)->Name("Format6Import")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_DrawerExport)->Name("DrawerExport")->Arg(0)->Arg(1)->Iterations(8)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_DrawerImport)->Name("DrawerImport")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FileExport<true>)->Name("Format7Export")->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FileImport<true>)->Name("Format7Import")->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
