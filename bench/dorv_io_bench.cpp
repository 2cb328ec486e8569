// Band transfers of the embedded database against plain pread/pwrite.
//
// A 16384 x 8192 matrix of doubles (1 GiB) in blocks of 1024 x 1024 lies in
// "dorv_io_bench.dorv"; a plain file "dorv_io_bench.raw" of the same size is
// the baseline. Both are written once before timing and stay in the page
// cache (warm). Each benchmark moves one full row band (1024 rows x all
// columns, 64 MiB) or one full column band (all rows x 1024 columns,
// 128 MiB) per iteration, cycling through the bands; after each, untimed,
// the baseline moves the same number of bytes with one pread/pwrite at the
// matching offset of the plain file. Counters: bytes_per_second (database),
// baseline_GiB_per_s, and ratio = database throughput / baseline throughput
// over the same iterations. Column bands also report pattern_ratio: the
// database against preadv/pwritev of the same scattered memory runs (8 KiB
// at a 128 KiB stride) on the plain file, i.e. against the cost of the
// access pattern alone. A last benchmark creates a zero-filled
// 100000 x 100000 distribution (80 GB logical) and reports the file size.
// Both files are removed at the end.
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 16384;
constexpr int kColumns = 8192;
constexpr int kBlock = 1024;
constexpr const char* kDatabasePath = "dorv_io_bench.dorv";
constexpr const char* kRawPath = "dorv_io_bench.raw";
constexpr std::int64_t kBytes = std::int64_t(kRows) * kColumns * 8;

class StagingBuffer {
public:
    explicit StagingBuffer(std::size_t count)
        : m_count(count), m_values(static_cast<double*>(mem_OperatorNewThrowBuiltin(count * sizeof(double))))
    {
    }
    StagingBuffer(const StagingBuffer&) = delete;
    StagingBuffer& operator=(const StagingBuffer&) = delete;
    ~StagingBuffer() { mem_Free(m_values); }
    double* data() const { return m_values; }
    std::size_t size() const { return m_count; }
    double* begin() const { return m_values; }
    double* end() const { return m_values + m_count; }

private:
    std::size_t m_count;
    double* m_values;
};

struct Fixture {
    ZylDorvDatabase db;
    ZylDorvCollectionID rows, columns;
    ZylDorvDistribution distribution;
    std::unique_ptr<ZylDorvTransfer> prepared;
    int rawFd = -1;
    // One column band, the larger of the two, from the foundation allocator
    // like every staging buffer of the library (large blocks on huge pages).
    StagingBuffer buffer{static_cast<std::size_t>(kRows) * kBlock};

    Fixture()
    {
        std::remove(kDatabasePath);
        db.CreateFile(ZylDroviUnicodeString(kDatabasePath), ZylDorvDatabase::CreateTruncate, -1);
        const ZylDorvContextID ctx = db.CreateContext(ZylDorvNamespaceID::AllBits());
        ZylDorvContext context(ctx);
        rows = context.CreateCollection(kRows, ZylDorvTypeID());
        columns = context.CreateCollection(kColumns, ZylDorvTypeID());
        const ZylDorvCSetID rowCSet = ZylDorvCollection(rows).BiggestCSetID();
        const ZylDorvCSetID columnCSet = ZylDorvCollection(columns).BiggestCSetID();
        distribution = ZylDorvDistribution(
            context.CreateDistribution(ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey(2)), ZylDorvTypeID()));
        ZylDorvTransfer make(distribution);
        make.SetMakeNewDrawerChunked(ZylDorvArray<int>{kBlock, kBlock});
        make.SetWrite();
        make.SetDim(0, columnCSet);
        make.SetDim(1, rowCSet);
        make.SetInitializationValue(ZylDorvRangeValue(0.0));
        make.InitializePersistentDrawer();
        prepared.reset(new ZylDorvTransfer(distribution));
        prepared->SetRead();
        prepared->SetWrite();
        prepared->SetBufferPadding(false);

        rawFd = ::open(kRawPath, O_RDWR | O_CREAT | O_TRUNC, 0644);
        std::iota(buffer.begin(), buffer.end(), 0.0);
        // Fill both stores once so that every later transfer finds its data
        // allocated and in the page cache.
        for (int band = 0; band < kColumns / kBlock; ++band) {
            ColumnBand(band, true);
            if (::pwrite(rawFd, buffer.data(), buffer.size() * 8, static_cast<off_t>(band) * kRows * kBlock * 8) < 0)
                std::perror("pwrite");
        }
        db.Flush();
    }

    ~Fixture()
    {
        prepared.reset();
        distribution = ZylDorvDistribution();
        db.Close();
        ::close(rawFd);
        std::remove(kDatabasePath);
        std::remove(kRawPath);
    }

    void Transfer(int r0, int r1, int c0, int c1, bool write)
    {
        ZylDorvTransfer t(*prepared);
        t.SetDimOrdinalRange(0, columns, c0, c1);
        t.SetDimOrdinalRange(1, rows, r0, r1);
        t.SetBuffer(0, buffer.data(), static_cast<std::int64_t>(buffer.size() * 8));
        if (write)
            t.ExecWrite();
        else
            t.ExecRead();
        t.RelinquishBuffers();
    }
    void RowBand(int band, bool write) { Transfer(band * kBlock, band * kBlock + kBlock - 1, 0, kColumns - 1, write); }
    void ColumnBand(int band, bool write) { Transfer(0, kRows - 1, band * kBlock, band * kBlock + kBlock - 1, write); }
};

Fixture* g_fixture = nullptr; // made by the first band benchmark, removed at the end

Fixture& Shared()
{
    if (g_fixture == nullptr)
        g_fixture = new Fixture;
    return *g_fixture;
}

enum Shape { Row, Column };

// The memory side of a column band as the blocks lay it out: runs of one
// block's rows (8 KiB) at the stride of a whole column (128 KiB), moved with
// preadv/pwritev against consecutive bytes of the plain file. This is the
// cost of the access pattern itself, whatever stores the values.
double ScatteredColumnBand(Fixture& f, int band, bool write)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<iovec> iov;
    iov.reserve(512);
    off_t offset = static_cast<off_t>(band) * kRows * kBlock * 8;
    auto flush = [&] {
        std::size_t bytes = 0;
        for (const iovec& v : iov)
            bytes += v.iov_len;
        if (write)
            (void)::pwritev(f.rawFd, iov.data(), static_cast<int>(iov.size()), offset);
        else
            (void)::preadv(f.rawFd, iov.data(), static_cast<int>(iov.size()), offset);
        offset += static_cast<off_t>(bytes);
        iov.clear();
    };
    for (int group = 0; group < kBlock; group += 128)
        for (int rowBlock = 0; rowBlock < kRows / kBlock; ++rowBlock)
            for (int c = group; c < group + 128; ++c) {
                iov.push_back(iovec{f.buffer.data() + static_cast<std::size_t>(c) * kRows + rowBlock * kBlock,
                                    static_cast<std::size_t>(kBlock) * 8});
                if (iov.size() == 512)
                    flush();
            }
    if (!iov.empty())
        flush();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Database band transfers; each iteration also times the baseline on the
// same bytes (outside the measured time), so that the ratio compares the
// two under the same machine load.
template <Shape shape, bool write>
void BM_Database(benchmark::State& state)
{
    Fixture& f = Shared();
    const std::int64_t bytes = shape == Row ? std::int64_t(kBlock) * kColumns * 8 : std::int64_t(kRows) * kBlock * 8;
    const int bands = shape == Row ? kRows / kBlock : kColumns / kBlock;
    int band = 0;
    double database = 0, baseline = 0, pattern = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (shape == Row)
            f.RowBand(band, write);
        else
            f.ColumnBand(band, write);
        const auto middle = std::chrono::steady_clock::now();
        state.PauseTiming();
        const auto again = std::chrono::steady_clock::now();
        const off_t offset = static_cast<off_t>(band) * bytes;
        const ssize_t done = write ? ::pwrite(f.rawFd, f.buffer.data(), static_cast<std::size_t>(bytes), offset)
                                   : ::pread(f.rawFd, f.buffer.data(), static_cast<std::size_t>(bytes), offset);
        if (done != bytes)
            state.SkipWithError("short pread/pwrite");
        const auto end = std::chrono::steady_clock::now();
        if (shape == Column)
            pattern += ScatteredColumnBand(f, band, write);
        state.ResumeTiming();
        database += std::chrono::duration<double>(middle - start).count();
        baseline += std::chrono::duration<double>(end - again).count();
        band = (band + 1) % bands;
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    if (database > 0 && baseline > 0) {
        state.counters["baseline_GiB_per_s"] = static_cast<double>(state.iterations()) * bytes / baseline / (1 << 30);
        state.counters["ratio"] = baseline / database;
        if (shape == Column)
            state.counters["pattern_ratio"] = pattern / database;
    }
}

void BM_CreateZeroFilled100kSquare(benchmark::State& state)
{
    const char* path = "dorv_io_bench_zero.dorv";
    double size = 0;
    for (auto _ : state) {
        std::remove(path);
        ZylDorvDatabase db;
        db.CreateFile(ZylDroviUnicodeString(path), ZylDorvDatabase::CreateTruncate, -1);
        const ZylDorvContextID ctx = db.CreateContext(ZylDorvNamespaceID::AllBits());
        ZylDorvContext context(ctx);
        ZylDorvTransaction transaction(ctx);
        const ZylDorvCollectionID rows = context.CreateCollection(100000, ZylDorvTypeID());
        const ZylDorvCollectionID columns = context.CreateCollection(100000, ZylDorvTypeID());
        ZylDorvDistribution d(
            context.CreateDistribution(ZylDorvGrid{columns, rows}, ZylDorvRangeType(ZylDorvTypeKey(2)), ZylDorvTypeID()));
        ZylDorvTransfer make(d);
        make.SetMakeNewDrawerChunked(ZylDorvArray<int>{1000, 1000});
        make.SetWrite();
        make.SetDim(0, ZylDorvCollection(columns).BiggestCSetID());
        make.SetDim(1, ZylDorvCollection(rows).BiggestCSetID());
        make.SetInitializationValue(ZylDorvRangeValue(0.0));
        make.InitializePersistentDrawer();
        transaction.Commit();
        db.Close();
        state.PauseTiming();
        struct stat info;
        size = ::stat(path, &info) == 0 ? static_cast<double>(info.st_size) : -1;
        std::remove(path);
        state.ResumeTiming();
    }
    state.counters["file_bytes"] = size;
}

BENCHMARK(BM_Database<Row, false>)->Name("RowBandRead")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Database<Row, true>)->Name("RowBandWrite")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Database<Column, false>)->Name("ColumnBandRead")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Database<Column, true>)->Name("ColumnBandWrite")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CreateZeroFilled100kSquare)->Name("CreateZeroFilled100000x100000")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_fixture;
    return 0;
}
