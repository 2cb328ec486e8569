// What durability costs: one Flush of a database against one fsync of a
// plain file of the same size.
//
// "dorv_flush_bench.dorv" holds a 2048 x 2048 matrix of doubles (32 MiB,
// blocks of 256 x 256), written once; "dorv_flush_bench.raw" is a plain file
// of the same size. Each iteration changes 8 KiB of values in the database
// (1024 values of one column, across four blocks, into storage that exists) and flushes it (HDF5's
// records, then fsync); after it, untimed, the baseline writes the same
// 8 KiB with pwrite into the plain file and fsyncs it. With argument 1 every
// iteration also makes a collection in a committed transaction, so that the
// flush has records to write. Counters: baseline_ms (pwrite + fsync) and
// ratio = database time / baseline time over the same iterations. Both files
// are removed at the end; run it on the disk whose cost is wanted (the
// working directory).
#include <platform/dorv/ZylDorvAPI.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSide = 2048, kBlock = 256;
constexpr int kColumnValues = 4 * kBlock; // 8 KiB of doubles
constexpr const char* kDatabasePath = "dorv_flush_bench.dorv";
constexpr const char* kRawPath = "dorv_flush_bench.raw";

void BM_FlushAgainstFsync(benchmark::State& state)
{
    const bool records = state.range(0) != 0;
    ZylDorvDatabase db;
    db.CreateFile(ZylDroviUnicodeString(kDatabasePath), ZylDorvDatabase::CreateTruncate, -1);
    const ZylDorvContextID ctx = db.CreateContext(ZylDorvNamespaceID::AllBits());
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID axis = context.CreateCollection(kSide, ZylDorvTypeID());
    const ZylDorvCSetID all = ZylDorvCollection(axis).BiggestCSetID();
    const ZylDorvCollectionID columns = ZylDorvCollection(axis).CreateColorVariant(1);
    const ZylDorvDistribution matrix(context.CreateDistribution(ZylDorvGrid{columns, axis}, ZylDorvRangeType(), ZylDorvTypeID()));
    std::vector<double> values(std::size_t(kSide) * kSide, 1.0);
    {
        ZylDorvTransfer make(matrix);
        make.SetMakeNewDrawerChunked(ZylDorvArray<int>{kBlock, kBlock});
        make.SetWrite(), make.SetBufferPadding(false);
        make.SetDim(0, ZylDorvCollection(columns).BiggestCSetID()), make.SetDim(1, all);
        make.SetBuffer(0, static_cast<const void*>(values.data()), std::int64_t(values.size()) * 8);
        make.ExecWrite();
    }
    db.Flush();
    const int raw = ::open(kRawPath, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (::pwrite(raw, values.data(), values.size() * 8, 0) < 0 || ::fsync(raw) != 0)
        std::perror("baseline file");

    ZylDorvTransfer column(matrix);
    column.SetWrite(), column.SetBufferPadding(false);
    double baseline = 0.0, timed = 0.0;
    long step = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const int c = static_cast<int>(step++ % kSide);
        column.SetDimOrdinalRange(0, columns, c, c);
        column.SetDimOrdinalRange(1, axis, 0, kColumnValues - 1);
        column.SetBuffer(0, static_cast<const void*>(values.data()), kColumnValues * 8);
        column.ExecWrite();
        if (records) {
            ZylDorvTransaction transaction(ctx);
            context.CreateCollection(1, ZylDorvTypeID());
            transaction.Commit();
        } else {
            db.Flush();
        }
        state.PauseTiming();
        const auto start = std::chrono::steady_clock::now();
        timed += std::chrono::duration<double>(start - begin).count();
        if (::pwrite(raw, values.data(), kColumnValues * 8, off_t(c) * kSide * 8) < 0 || ::fsync(raw) != 0)
            std::perror("baseline");
        baseline += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.ResumeTiming();
    }
    column.RelinquishBuffers();
    db.Close();
    ::close(raw);
    std::remove(kDatabasePath);
    std::remove(kRawPath);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["baseline_ms"] = benchmark::Counter(baseline * 1e3 / iterations);
    state.counters["ratio"] = benchmark::Counter(timed / baseline);
    state.SetLabel(records ? "write + Commit of a new collection" : "write + Flush");
}

} // namespace

BENCHMARK(BM_FlushAgainstFsync)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(200)->UseRealTime();

BENCHMARK_MAIN();
