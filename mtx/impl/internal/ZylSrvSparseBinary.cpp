#include <mtx/impl/internal/ZylSrvSparseBinary.h>

#include <mtx/impl/ZylSrvMtxErrors.h>
#include <platform/ZylBinaryInputFile.h>
#include <platform/ZylForRecordFile.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// Every layout is little-endian; the arrays are moved to and from the files
// as they lie in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the binary layouts are read and written in host order");
static_assert(sizeof(int) == 4 && sizeof(unsigned int) == 4 && sizeof(double) == 8, "32-bit ints, 64-bit doubles");

namespace zyl_mtx {

namespace {

constexpr RaiseSource kRaiseSource = HelperSource(kSparseImExPorterSource, __FILE__);
constexpr std::int64_t kChunk = kSymmetricChunk;
constexpr std::int64_t kIntMax = INT_MAX;
// What a reader may allocate beyond the size of its file: a matrix with many
// empty rows legitimately needs more memory than its file has bytes.
constexpr std::int64_t kSlackBytes = std::int64_t{1} << 20;

// Byte counts that saturate instead of overflowing: a header's product of
// sizes only has to be compared with the file's size.
std::int64_t Mul(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    return __builtin_mul_overflow(a, b, &r) ? INT64_MAX : r;
}
std::int64_t Add(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    return __builtin_add_overflow(a, b, &r) ? INT64_MAX : r;
}

std::string Byte(std::int64_t offset) { return offset < 0 ? "" : " (byte " + std::to_string(offset) + ")"; }

// One binary input file, refusing on behalf of the path.
class CheckedInput {
public:
    explicit CheckedInput(const char* path) : m_path(path)
    {
        if (!m_file.Open(path))
            Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
    }

    [[noreturn]] void Refuse(const std::string& detail) const
    {
        Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, m_path, detail.c_str());
    }

    std::int64_t Size() const { return m_file.Size(); }
    std::int64_t Position() const { return m_file.Position(); }

    void Read(void* data, std::int64_t bytes, const char* what)
    {
        const std::int64_t at = m_file.Position();
        if (!m_file.Read(data, static_cast<std::size_t>(bytes)))
            Refuse(std::string(what) + Byte(at) + ": " + std::to_string(bytes) + " bytes expected, the file has " +
                   std::to_string(m_file.Remaining()) + " from there");
    }
    void Seek(std::int64_t position, const char* what)
    {
        if (!m_file.Seek(position))
            Refuse(std::string(what) + Byte(position) + ": beyond the end of the file (" + std::to_string(Size()) +
                   " bytes)");
    }

    // The bytes that the header's sizes call for must be in the file before
    // a single array is sized from them.
    void RequireSize(std::int64_t needed, const std::string& sizes, std::int64_t allocated) const
    {
        if (needed > Size())
            Refuse("header (byte 0): " + sizes + " need " + std::to_string(needed) + " bytes, the file has " +
                   std::to_string(Size()));
        if (allocated > Add(Size(), kSlackBytes))
            Refuse("header (byte 0): " + sizes + " need " + std::to_string(allocated) +
                   " bytes of memory, more than the file's " + std::to_string(Size()) + " bytes plus 1 MiB");
    }

    void RequireNonNegative(std::int32_t value, const char* field, std::int64_t at) const
    {
        if (value < 0)
            Refuse(std::string(field) + Byte(at) + ": 0 or more expected, found " + std::to_string(value));
    }
    void RequireNoProblem(const std::string& problem) const
    {
        if (!problem.empty())
            Refuse(problem);
    }

private:
    const char* m_path;
    ZylBinaryInputFile m_file;
};

// A count of nonzeros that must fit the matrix's int.
void RequireCount(const CheckedInput& in, std::int64_t count, const char* what)
{
    if (count > kIntMax)
        in.Refuse(std::string("header (byte 0): ") + what + " = " + std::to_string(count) +
                  ", at most 2^31-1 expected");
}


// One output file, created 0644 and never truncated; closed on every path.
class BinaryOutput {
public:
    explicit BinaryOutput(const char* path) : m_path(path)
    {
        m_fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
    }
    ~BinaryOutput()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    BinaryOutput(const BinaryOutput&) = delete;
    BinaryOutput& operator=(const BinaryOutput&) = delete;

    void Write(const void* data, std::size_t bytes)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        while (bytes > 0) {
            const ssize_t put = ::write(m_fd, p, bytes);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                Raise<ZylSrvMtxFileWriteFailure>(kRaiseSource, __LINE__, m_path);
            p += put;
            bytes -= static_cast<std::size_t>(put);
        }
    }
    template <typename T>
    void WriteItems(const T* items, std::int64_t count)
    {
        if (count > 0)
            Write(items, static_cast<std::size_t>(count) * sizeof(T));
    }
    // A close that fails may have lost written data.
    void Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            Raise<ZylSrvMtxFileWriteFailure>(kRaiseSource, __LINE__, m_path);
    }

private:
    const char* m_path;
    int m_fd = -1;
};

// The int the layouts store for a count of the matrix, refused when it does
// not fit.
std::int32_t FileInt(std::int64_t value)
{
    if (value > kIntMax)
        Raise<ZylSrvMtxIllegalInput>(kRaiseSource, __LINE__, "Export");
    return static_cast<std::int32_t>(value);
}

} // namespace

ReadArrays AllocateReadArrays(int numRows, int numColumns, std::int64_t m, bool symmetric)
{
    ReadArrays r;
    r.rowOffsets = mem_Array<unsigned int>(static_cast<std::size_t>(numRows) + 1);
    r.columnIndices = mem_Array<int>(static_cast<std::size_t>(m));
    r.values = mem_Array<double>(static_cast<std::size_t>(m));
    if (symmetric)
        r.diagonal = mem_Array<double>(static_cast<std::size_t>(numRows));
    r.numRows = numRows;
    r.numColumns = numColumns;
    return r;
}

std::string CheckRowOffsets(const unsigned int* offsets, int numRows, std::int64_t m, std::int64_t byteBase)
{
    auto at = [byteBase](std::int64_t i) { return Byte(byteBase < 0 ? -1 : byteBase + 4 * i); };
    // Printed as the file's signed ints.
    auto found = [](unsigned int v) { return std::to_string(static_cast<std::int32_t>(v)); };
    if (offsets[0] != 0)
        return "row offset 0" + at(0) + ": 0 expected, found " + found(offsets[0]);
    for (int i = 0; i < numRows; ++i)
        if (offsets[i + 1] < offsets[i] || offsets[i + 1] > m)
            return "row offset " + std::to_string(i + 1) + at(i + 1) + ": " + std::to_string(offsets[i]) + " to " +
                   std::to_string(m) + " expected (offsets never decrease), found " + found(offsets[i + 1]);
    if (offsets[numRows] != m)
        return "row offset " + std::to_string(numRows) + at(numRows) + ": m = " + std::to_string(m) +
               " expected, found " + found(offsets[numRows]);
    return {};
}

std::string CheckColumnIndices(const int* columns, std::int64_t first, std::int64_t count, int numColumns,
                               std::int64_t byteBase)
{
    // Each block is scanned without a branch per index, so that the scan runs
    // at memory speed; only a block holding a bad index is searched again.
    constexpr std::int64_t kBlock = 4096;
    const unsigned limit = static_cast<unsigned>(numColumns); // a negative index wraps above it
    for (std::int64_t start = 0; start < count; start += kBlock) {
        const std::int64_t end = std::min(count, start + kBlock);
        bool bad = false;
        for (std::int64_t p = start; p < end; ++p)
            bad |= static_cast<unsigned>(columns[p]) >= limit;
        if (!bad)
            continue;
        std::int64_t p = start;
        while (static_cast<unsigned>(columns[p]) < limit)
            ++p;
        return "column index " + std::to_string(first + p) + Byte(byteBase < 0 ? -1 : byteBase + 4 * p) +
               ": 0 to " + std::to_string(numColumns - 1) + " expected, found " + std::to_string(columns[p]);
    }
    return {};
}

// ---- format 0 -----------------------------------------------------------------

namespace {

class RecordInput {
public:
    explicit RecordInput(const char* path) : m_path(path)
    {
        switch (m_file.Open(kFortranRecordUnit, path)) {
        case ZylForRecordFile::OpenResult::Opened: return;
        case ZylForRecordFile::OpenResult::UnitBusy: Refuse(m_file.Problem() + ": one format-0 import at a time");
        case ZylForRecordFile::OpenResult::NotOpened: Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, path);
        }
    }
    [[noreturn]] void Refuse(const std::string& detail) const
    {
        Raise<ZylSrvMtxOpenFileException>(kRaiseSource, __LINE__, m_path, detail.c_str());
    }
    void NextRecord()
    {
        if (!m_file.NextRecord())
            Refuse(m_file.Problem());
    }
    void Read(void* data, std::int64_t count, std::size_t itemBytes, const char* what)
    {
        if (count > 0 && !m_file.Read(data, static_cast<std::size_t>(count) * itemBytes, what))
            Refuse(m_file.Problem());
    }
    // k of row i, with the room for its pairs in the record.
    std::int32_t RowLength(int i, int n)
    {
        NextRecord();
        const std::int64_t at = m_file.Position();
        std::int32_t k = 0;
        Read(&k, 1, 4, "row length k");
        if (k < 1 || k > n)
            Refuse("row length k of row " + std::to_string(i) + Byte(at) + ": 1 to " + std::to_string(n) +
                   " expected, found " + std::to_string(k));
        if (m_file.RecordRemaining() < 12 * std::int64_t{k})
            Refuse("row record " + std::to_string(i) + Byte(at) + ": k = " + std::to_string(k) +
                   " column numbers and values need " + std::to_string(12 * std::int64_t{k}) +
                   " bytes, the record has " + std::to_string(m_file.RecordRemaining()));
        return k;
    }
    // The header record; returns n.
    int Header()
    {
        NextRecord();
        std::int32_t header[2];
        Read(header, 2, 4, "header record");
        if (header[1] < 0)
            Refuse("order n" + Byte(m_file.Position() - 4) + ": 0 or more expected, found " +
                   std::to_string(header[1]));
        return header[1];
    }
    ZylForRecordFile& File() { return m_file; }

private:
    const char* m_path;
    ZylForRecordFile m_file;
};

} // namespace

ReadArrays ReadFortranRecords(const char* path)
{
    RecordInput in(path);
    const int n = in.Header();
    // Each row record takes at least 24 bytes: two length words, k, one pair.
    const std::int64_t rest = in.File().FileSize() - in.File().Position() - in.File().RecordRemaining() - 4;
    if (std::int64_t{n} > rest / 24)
        in.Refuse("order n (byte 8): " + std::to_string(n) + " row records need at least " +
                  std::to_string(24 * std::int64_t{n}) + " bytes, the file has " + std::to_string(rest) +
                  " after the header");

    mem_Array<unsigned int> offsets(static_cast<std::size_t>(n) + 1);
    offsets[0] = 0;
    std::int64_t m = 0;
    for (int i = 0; i < n; ++i) {
        m += in.RowLength(i, n) - 1;
        if (m + n > kIntMax)
            in.Refuse("row record " + std::to_string(i) + ": more than 2^31-1 nonzeros");
        offsets[i + 1] = static_cast<unsigned int>(m);
    }

    ReadArrays r;
    r.rowOffsets = std::move(offsets);
    r.columnIndices = mem_Array<int>(static_cast<std::size_t>(m));
    r.values = mem_Array<double>(static_cast<std::size_t>(m));
    r.diagonal = mem_Array<double>(static_cast<std::size_t>(n));
    r.numRows = r.numColumns = n;
    r.numNonzeros = static_cast<int>(m + n);

    if (!in.File().Rewind())
        in.Refuse("the file could not be read again from its start");
    if (in.Header() != n)
        in.Refuse("order n (byte 8): the file changed between the two passes");
    for (int i = 0; i < n; ++i) {
        const std::int32_t k = in.RowLength(i, n);
        const unsigned int q = r.rowOffsets[i];
        if (k - 1 != static_cast<std::int64_t>(r.rowOffsets[i + 1] - q))
            in.Refuse("row length k of row " + std::to_string(i) + ": the file changed between the two passes");
        const std::int64_t columnsAt = in.File().Position();
        std::int32_t diagonalColumn;
        double diagonalValue;
        in.Read(&diagonalColumn, 1, 4, "column numbers"); // the diagonal's own column is not used
        in.Read(r.columnIndices.Get() + q, k - 1, 4, "column numbers");
        in.Read(&diagonalValue, 1, 8, "values");
        in.Read(r.values.Get() + q, k - 1, 8, "values");
        r.diagonal[i] = diagonalValue;
        for (std::int32_t p = 0; p < k - 1; ++p) {
            int& column = r.columnIndices[q + p];
            if (column < 1 || column > n)
                in.Refuse("column number " + std::to_string(p + 2) + " of row " + std::to_string(i) +
                          Byte(columnsAt + 4 * (p + 1)) + ": 1 to " + std::to_string(n) + " expected, found " +
                          std::to_string(column));
            --column;
        }
    }
    return r;
}

// ---- format 1 -----------------------------------------------------------------

HeaderDescribed ReadHeaderDescribed(const char* path)
{
    CheckedInput in(path);
    std::int32_t h[6];
    in.Read(h, sizeof h, "header");
    const char* names[] = {"order n", "off-diagonal count m", "chunk count"};
    for (int f = 0; f < 3; ++f)
        in.RequireNonNegative(h[f], names[f], 4 * f);
    if (h[4] < 0 || h[4] > 30)
        in.Refuse("log2 of the chunk size (byte 16): 0 to 30 expected, found " + std::to_string(h[4]));
    const int n = h[0];
    const std::int64_t m = h[1], chunks = h[2], c = std::int64_t{1} << h[4];
    const bool twoSets = h[3] != 0;
    if (Mul(chunks, c) < m)
        in.Refuse("chunk count (byte 8): at least " + std::to_string((m + c - 1) / c) + " chunks of " +
                  std::to_string(c) + " expected for m = " + std::to_string(m) + ", found " + std::to_string(chunks));
    const std::int64_t columnsAt = 24 + 4 * (std::int64_t{n} + 1) + 8 * std::int64_t{n};
    const std::int64_t valuesAt = Add(columnsAt, Mul(chunks, 4 * c));
    const std::int64_t setChunks = std::max<std::int64_t>(1, (m + c - 1) / c);
    const std::int64_t needed = Add(valuesAt, twoSets ? Mul(2 * setChunks, 8 * c) : Mul(chunks, 8 * c));
    const std::string sizes = "n = " + std::to_string(n) + ", m = " + std::to_string(m) + ", " +
                              std::to_string(chunks) + " chunks of " + std::to_string(c);
    in.RequireSize(needed, sizes, 0);
    RequireCount(in, twoSets ? n + 2 * m : n + m, twoSets ? "n + 2m" : "n + m");

    HeaderDescribed result;
    result.twoValueSets = twoSets;
    ReadArrays r = AllocateReadArrays(n, n, m, true);
    in.Read(r.rowOffsets.Get(), 4 * (std::int64_t{n} + 1), "row offsets");
    in.RequireNoProblem(CheckRowOffsets(r.rowOffsets.Get(), n, m, 24));
    in.Read(r.diagonal.Get(), 8 * std::int64_t{n}, "diagonal");
    in.Read(r.columnIndices.Get(), 4 * m, "column indices");
    in.RequireNoProblem(CheckColumnIndices(r.columnIndices.Get(), 0, m, n, columnsAt));
    in.Seek(valuesAt, "value chunks");
    if (!twoSets) {
        in.Read(r.values.Get(), 8 * m, "values");
        r.numNonzeros = static_cast<int>(n + m);
        result.symmetric = std::move(r);
        return result;
    }

    // Set 1 holds the mirrored positions (column, row), set 2 the stored
    // ones; the diagonal comes first, zeros included.
    mem_Array<double> mirrored(static_cast<std::size_t>(m));
    in.Read(mirrored.Get(), 8 * m, "value set 1");
    in.Seek(valuesAt + setChunks * c * 8, "value set 2");
    in.Read(r.values.Get(), 8 * m, "value set 2");
    TextTriplets& t = result.triplets;
    t.count = static_cast<int>(n + 2 * m);
    t.entries = mem_Array<ZylSrvSparseMatrixEntry>(static_cast<std::size_t>(t.count));
    t.numRows = t.numColumns = n;
    std::int64_t e = 0;
    for (int i = 0; i < n; ++i)
        t.entries[e++] = {static_cast<unsigned>(i), static_cast<unsigned>(i), r.diagonal[i]};
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < n; ++i)
            for (unsigned int p = r.rowOffsets[i]; p < r.rowOffsets[i + 1]; ++p) {
                const auto row = static_cast<unsigned>(i), column = static_cast<unsigned>(r.columnIndices[p]);
                t.entries[e++] = pass == 0 ? ZylSrvSparseMatrixEntry{column, row, mirrored[p]}
                                           : ZylSrvSparseMatrixEntry{row, column, r.values[p]};
            }
    return result;
}

// ---- format 6 -----------------------------------------------------------------

ReadArrays ReadBinarySymmetric(const char* path)
{
    CheckedInput in(path);
    std::int32_t h[6];
    in.Read(h, sizeof h, "header");
    in.RequireNonNegative(h[0], "order n", 0);
    in.RequireNonNegative(h[1], "off-diagonal count m", 4);
    const int n = h[0];
    const std::int64_t m = h[1];
    const std::int64_t chunks = (m + kChunk - 1) / kChunk;
    const std::int64_t last = m - (chunks - 1) * kChunk;
    const std::int64_t chunksAt = 24 + 12 * std::int64_t{n} + 4;
    // The last chunk's values need not be padded to be read.
    const std::int64_t needed = chunks == 0 ? chunksAt : chunksAt + (chunks - 1) * kChunk * 12 + kChunk * 4 + last * 8;
    in.RequireSize(needed, "n = " + std::to_string(n) + ", m = " + std::to_string(m), 0);
    RequireCount(in, n + m, "n + m");

    ReadArrays r = AllocateReadArrays(n, n, m, true);
    in.Read(r.rowOffsets.Get(), 4 * (std::int64_t{n} + 1), "row offsets");
    in.RequireNoProblem(CheckRowOffsets(r.rowOffsets.Get(), n, m, 24));
    in.Read(r.diagonal.Get(), 8 * std::int64_t{n}, "diagonal");
    for (std::int64_t k = 0; k < chunks; ++k) {
        const std::int64_t first = k * kChunk, count = k + 1 < chunks ? kChunk : last;
        const std::int64_t at = in.Position();
        in.Read(r.columnIndices.Get() + first, 4 * count, "column chunk");
        in.RequireNoProblem(CheckColumnIndices(r.columnIndices.Get() + first, first, count, n, at));
        in.Seek(at + 4 * kChunk, "value chunk");
        in.Read(r.values.Get() + first, 8 * count, "value chunk");
    }
    r.numNonzeros = static_cast<int>(n + m);
    return r;
}

void WriteBinarySymmetric(const char* path, const SparseArrays& a)
{
    const std::int32_t n = a.numRows;
    const std::int32_t m = FileInt(a.rowOffsets[n]);
    const std::int32_t chunks = (m - 1) / static_cast<std::int32_t>(kChunk) + 1; // 1 when m = 0: one zero chunk
    const std::int64_t last = m - (chunks - 1) * kChunk;
    BinaryOutput out(path);
    const std::int32_t header[6] = {n, m, chunks, 0, 17, 1};
    out.Write(header, sizeof header);
    out.WriteItems(a.rowOffsets, std::int64_t{n} + 1);
    out.WriteItems(a.diagonal, n);
    // The padding of the last chunk comes from one zero chunk (zero bytes are
    // zero ints and zero doubles alike).
    mem_Array<double> zeros(static_cast<std::size_t>(kChunk));
    std::fill(zeros.begin(), zeros.end(), 0.0);
    for (std::int64_t k = 0; k < chunks; ++k) {
        const std::int64_t count = k + 1 < chunks ? kChunk : last;
        out.WriteItems(a.columnIndices + k * kChunk, count);
        out.Write(zeros.Get(), static_cast<std::size_t>(4 * (kChunk - count)));
        out.WriteItems(a.values + k * kChunk, count);
        out.Write(zeros.Get(), static_cast<std::size_t>(8 * (kChunk - count)));
    }
    out.Write(&n, 4);
    out.WriteItems(a.rowOffsets, std::int64_t{n} + 1);
    out.WriteItems(a.columnIndices, m);
    mem_Array<std::int32_t> run(static_cast<std::size_t>(std::min<std::int64_t>(n, kChunk)));
    for (int pass = 0; pass < 2; ++pass)
        for (std::int32_t first = 0; first < n; first += static_cast<std::int32_t>(kChunk)) {
            const std::int32_t count = std::min<std::int32_t>(n - first, static_cast<std::int32_t>(kChunk));
            for (std::int32_t i = 0; i < count; ++i)
                run[i] = pass == 0 ? 1 : first + i;
            out.WriteItems(run.Get(), count);
        }
    out.Close();
}

// ---- format 7 -----------------------------------------------------------------

namespace {

// Walks the dense values of the file in column-major order, a block at a
// time, calling keep(row, column, value) for each value that is kept.
template <typename Keep>
void ScanDense(CheckedInput& in, mem_Array<double>& block, int rows, int columns, Keep&& keep)
{
    in.Seek(16, "values");
    const std::int64_t total = std::int64_t{rows} * columns, blockItems = static_cast<std::int64_t>(block.Count());
    int i = 0, j = 0;
    for (std::int64_t done = 0; done < total; done += blockItems) {
        const std::int64_t count = std::min(blockItems, total - done);
        in.Read(block.Get(), 8 * count, "values");
        for (std::int64_t e = 0; e < count; ++e) {
            if (std::fabs(block[e]) > 1e-16) // NaN is not kept either
                keep(i, j, block[e]);
            if (++i == rows)
                i = 0, ++j;
        }
    }
}

} // namespace

ReadArrays ReadBinaryDense(const char* path)
{
    CheckedInput in(path);
    std::int32_t h[4];
    in.Read(h, sizeof h, "header");
    in.RequireNonNegative(h[0], "rows", 0);
    in.RequireNonNegative(h[1], "columns", 4);
    const int rows = h[0], columns = h[1];
    in.RequireSize(Add(16, Mul(Mul(rows, columns), 8)),
                   std::to_string(rows) + " rows and " + std::to_string(columns) + " columns",
                   4 * (std::int64_t{rows} + 1));

    // Two passes over the file: the kept values per row, then the values,
    // each row's in increasing column order as the columns go by.
    mem_Array<double> block(static_cast<std::size_t>(std::min<std::int64_t>(std::int64_t{rows} * columns, 1 << 17)));
    mem_Array<unsigned int> offsets(static_cast<std::size_t>(rows) + 1);
    std::fill(offsets.begin(), offsets.end(), 0u);
    std::int64_t kept = 0;
    ScanDense(in, block, rows, columns, [&](int i, int, double) { ++offsets[i + 1], ++kept; });
    if (kept > kIntMax)
        in.Refuse("values (byte 16): at most 2^31-1 kept values expected, found " + std::to_string(kept));
    for (int i = 0; i < rows; ++i)
        offsets[i + 1] += offsets[i];

    ReadArrays r;
    r.columnIndices = mem_Array<int>(static_cast<std::size_t>(kept));
    r.values = mem_Array<double>(static_cast<std::size_t>(kept));
    mem_Array<unsigned int> next(static_cast<std::size_t>(rows) + 1);
    std::copy(offsets.begin(), offsets.end(), next.begin());
    ScanDense(in, block, rows, columns, [&](int i, int j, double v) {
        if (next[i] == offsets[i + 1])
            in.Refuse("values: the file changed between the two passes");
        r.columnIndices[next[i]] = j;
        r.values[next[i]++] = v;
    });
    for (int i = 0; i < rows; ++i)
        if (next[i] != offsets[i + 1])
            in.Refuse("values: the file changed between the two passes");
    r.rowOffsets = std::move(offsets);
    r.numRows = rows;
    r.numColumns = columns;
    r.numNonzeros = static_cast<int>(kept);
    return r;
}

void WriteBinaryDense(const char* path, const SparseArrays& a)
{
    const std::int32_t header[4] = {a.numRows, a.numColumns, a.numRows, a.numColumns};
    const std::size_t rows = static_cast<std::size_t>(a.numRows);
    // rows * columns items; a product that overflows saturates, and the
    // allocator refuses it.
    mem_Array<double> dense(mem_ArraySize(rows, static_cast<std::size_t>(a.numColumns)));
    std::fill(dense.begin(), dense.end(), 0.0);
    // Only the stored values: the diagonal of the symmetric form is not written.
    for (std::size_t i = 0; i < rows; ++i)
        for (unsigned int k = a.rowOffsets[i]; k < a.rowOffsets[i + 1]; ++k)
            dense[static_cast<std::size_t>(a.columnIndices[k]) * rows + i] = a.values[k];
    BinaryOutput out(path);
    out.Write(header, sizeof header);
    out.WriteItems(dense.Get(), static_cast<std::int64_t>(dense.Count()));
    out.Close();
}

} // namespace zyl_mtx
