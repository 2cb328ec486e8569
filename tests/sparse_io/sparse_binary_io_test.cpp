// The binary layouts against files that independent programs wrote (gfortran
// for format 0, NumPy/SciPy for 1, 6 and 7): the library's reader must give
// the arrays the program was given, and its writer the program's bytes.
#include <mtx/ZylSrvSparseMatrix.h>
#include <mtx/ZylSrvUtilities.h>
#include <platform/ZylForRecordFile.h>

#include <support/DatabaseTest.h>
#include <support/FamilyError.h>
#include <support/SparseReference.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace {

using namespace zyltest;
using I = ZylSrvSparseMatrixInspector;

// A symmetric-form matrix: a diagonal and m distinct strictly-lower
// positions, rows in increasing column order.
struct SymmetricCase {
    int n;
    std::vector<unsigned> offsets;
    std::vector<int> columns;
    std::vector<double> values, diagonal;

    SparseHolder Matrix() const
    {
        return SparseHolder(I::FromArrays(offsets, columns, values, diagonal, n + offsets[n], n, n));
    }
};

SymmetricCase MakeSymmetric(int n, int m, unsigned seed)
{
    std::vector<std::pair<int, int>> lower;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < i; ++j)
            lower.push_back({i, j});
    std::mt19937 engine(seed);
    std::shuffle(lower.begin(), lower.end(), engine);
    lower.resize(static_cast<std::size_t>(m));
    std::sort(lower.begin(), lower.end());
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    SymmetricCase c{n, std::vector<unsigned>(static_cast<std::size_t>(n) + 1, 0), {}, {}, {}};
    for (const auto& p : lower) {
        ++c.offsets[static_cast<std::size_t>(p.first) + 1];
        c.columns.push_back(p.second);
        c.values.push_back(value(engine));
    }
    for (int i = 0; i < n; ++i) {
        c.offsets[static_cast<std::size_t>(i) + 1] += c.offsets[static_cast<std::size_t>(i)];
        c.diagonal.push_back(value(engine));
    }
    return c;
}

void ExpectArrays(const ZylSrvSparseMatrix& a, const SymmetricCase& c)
{
    ASSERT_EQ(a.NumberOfRows(), c.n);
    ASSERT_NE(I::Diagonal(a), nullptr);
    const unsigned m = c.offsets[static_cast<std::size_t>(c.n)];
    EXPECT_EQ(std::vector<unsigned>(I::RowOffsets(a), I::RowOffsets(a) + c.n + 1), c.offsets);
    EXPECT_EQ(std::vector<int>(I::ColumnIndices(a), I::ColumnIndices(a) + m), c.columns);
    EXPECT_EQ(std::vector<double>(I::Values(a), I::Values(a) + m), c.values);
    EXPECT_EQ(std::vector<double>(I::Diagonal(a), I::Diagonal(a) + c.n), c.diagonal);
    EXPECT_EQ(a.NumberOfColumns(), c.n);
    EXPECT_EQ(a.NumberOfNonzeros(), static_cast<int>(m) + c.n);
    EXPECT_EQ(I::Symmetry(a), 1);
}

// "rows columns" and one "row column value" line per entry, exact to the bit.
void WriteListing(const char* path, int rows, int cols, const std::vector<ZylSrvSparseMatrixEntry>& t)
{
    FILE* f = std::fopen(path, "w");
    std::fprintf(f, "%d %d\n", rows, cols);
    for (const ZylSrvSparseMatrixEntry& e : t)
        std::fprintf(f, "%u %u %.17g\n", e.row, e.column, e.value);
    std::fclose(f);
}

std::vector<ZylSrvSparseMatrixEntry> EntriesOf(const SymmetricCase& c)
{
    std::vector<ZylSrvSparseMatrixEntry> t;
    for (int i = 0; i < c.n; ++i) {
        t.push_back({unsigned(i), unsigned(i), c.diagonal[i]});
        for (unsigned k = c.offsets[i]; k < c.offsets[i + 1]; ++k)
            t.push_back({unsigned(i), unsigned(c.columns[k]), c.values[k]});
    }
    return t;
}

// Runs the NumPy writer of `layout` on the entries; the listing is removed.
void PythonWrite(const char* layout, int rows, int cols, const std::vector<ZylSrvSparseMatrixEntry>& t,
                 const char* out)
{
    WriteListing("listing.txt", rows, cols, t);
    const std::string command = std::string(ZYL_WRITE_LAYOUTS) + " " + layout + " listing.txt " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::remove("listing.txt");
}

// The gfortran program's file of the symmetric case, row records in order.
void FortranWrite(const SymmetricCase& c, const char* out)
{
    FILE* f = std::fopen("listing.txt", "w");
    std::fprintf(f, "-5 %d\n", c.n);
    for (int i = 0; i < c.n; ++i) {
        std::fprintf(f, "%u\n%d", c.offsets[i + 1] - c.offsets[i] + 1, i + 1);
        for (unsigned k = c.offsets[i]; k < c.offsets[i + 1]; ++k)
            std::fprintf(f, " %d", c.columns[k] + 1);
        std::fprintf(f, "\n%.17g", c.diagonal[i]);
        for (unsigned k = c.offsets[i]; k < c.offsets[i + 1]; ++k)
            std::fprintf(f, " %.17g", c.values[k]);
        std::fprintf(f, "\n");
    }
    std::fclose(f);
    ASSERT_EQ(std::system((std::string(ZYL_WRITE_RECORDS) + " listing.txt " + out).c_str()), 0);
    std::remove("listing.txt");
}

std::string Bytes(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void Store(const char* path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Format 6 at the chunk boundaries: the library writes NumPy's bytes, and
// reads NumPy's file back into the arrays it was made from.
TEST(SparseBinaryFiles, SymmetricChunksMatchAnIndependentWriterAtTheBoundaries)
{
    for (const auto& nm : {std::pair<int, int>{7, 0}, {7, 5}, {600, 131072}, {600, 131073}}) {
        SCOPED_TRACE(testing::Message() << "m = " << nm.second);
        const SymmetricCase c = MakeSymmetric(nm.first, nm.second, 11);
        PythonWrite("6", c.n, c.n, EntriesOf(c), "numpy.bin");
        c.Matrix()->Export("ours.bin", 6, nullptr);
        EXPECT_TRUE(Bytes("ours.bin") == Bytes("numpy.bin"));
        SparseHolder read(mem_New<ZylSrvSparseMatrix>(3, 3));
        read->Import("numpy.bin", 6);
        ExpectArrays(*read, c);
        std::remove("numpy.bin"), std::remove("ours.bin");
    }
}

// Format 1 with chunks of 4 and a spare column chunk: one value set gives
// the symmetric form, two value sets the general matrix they describe.
TEST(SparseBinaryFiles, HeaderDescribedFilesFromNumPyReadAsWritten)
{
    const SymmetricCase c = MakeSymmetric(9, 14, 5);
    PythonWrite("1", c.n, c.n, EntriesOf(c), "one.bin");
    SparseHolder a = AssembledOf(RandomTriplets(4, 4, 6, 1), 4, 4);
    a->Import("one.bin", 1);
    ExpectArrays(*a, c);

    std::vector<ZylSrvSparseMatrixEntry> general = EntriesOf(c);
    for (int i = 0; i < c.n; ++i)
        for (unsigned k = c.offsets[i]; k < c.offsets[i + 1]; ++k)
            general.push_back({unsigned(c.columns[k]), unsigned(i), 0.5 - c.values[k] * 3});
    PythonWrite("1two", c.n, c.n, general, "two.bin");
    a->Import("two.bin", 1);
    EXPECT_EQ(DenseOf(*a).v, DenseOfTriplets(general, c.n, c.n).v);
    EXPECT_EQ(I::Diagonal(*a), nullptr);
    EXPECT_EQ(I::Symmetry(*a), 0);
    EXPECT_EQ(a->NumberOfNonzeros(), static_cast<int>(general.size()));
    std::remove("one.bin"), std::remove("two.bin");
}

TEST(SparseBinaryFiles, FortranRecordsReadAsWrittenAndHoldTheirUnit)
{
    const SymmetricCase c = MakeSymmetric(8, 12, 3);
    FortranWrite(c, "records.bin");
    SparseHolder a = AssembledOf(RandomTriplets(4, 4, 6, 1), 4, 4);
    a->Import("records.bin", 0);
    ExpectArrays(*a, c);
    {
        ZylForRecordFile held; // another format-0 reader holding unit 81
        ASSERT_EQ(held.Open(81, "records.bin"), ZylForRecordFile::OpenResult::Opened);
        SparseHolder b(mem_New<ZylSrvSparseMatrix>(0, 0));
        try {
            b->Import("records.bin", 0);
            ADD_FAILURE() << "a second reader of unit 81 was let in";
        } catch (const ZylSrvMtxOpenFileException& e) {
            EXPECT_NE(std::string(e.Detail()).find("unit 81"), std::string::npos) << e.Detail();
        }
    }
    std::remove("records.bin");
}

// Format 7: the library's file is NumPy's; reading keeps |v| > 1e-16 only,
// and a former symmetric form loses its diagonal.
TEST(SparseBinaryFiles, DenseFilesMatchNumPyAndDropTinyValuesAndNaN)
{
    std::vector<ZylSrvSparseMatrixEntry> t = RandomTriplets(6, 5, 12, 4);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const ZylSrvSparseMatrixEntry& e : std::vector<ZylSrvSparseMatrixEntry>{
             {0, 0, 2e-16}, {0, 1, 1e-16}, {0, 2, -1e-16}, {0, 3, nan}, {2, 4, -2e-16}})
        t.push_back(e);
    SparseHolder source = AssembledOf(t, 6, 5);
    int count = 0;
    ZylSrvSparseMatrixEntry* entries = source->GetEntries(count);
    PythonWrite("7", 6, 5, std::vector<ZylSrvSparseMatrixEntry>(entries, entries + count), "numpy.bin");
    mem_Free(entries);
    source->Export("ours.bin", 7, nullptr);
    EXPECT_TRUE(Bytes("ours.bin") == Bytes("numpy.bin"));

    SparseHolder read = MakeSymmetric(3, 2, 1).Matrix();
    read->Import("numpy.bin", 7);
    t.erase(t.begin() + static_cast<long>(t.size()) - 4, t.end() - 1); // the three dropped
    EXPECT_EQ(DenseOf(*read).v, DenseOfTriplets(t, 6, 5).v);
    EXPECT_EQ(read->NumberOfNonzeros(), count - 3);
    EXPECT_EQ(I::Diagonal(*read), nullptr);
    EXPECT_EQ(I::Symmetry(*read), 0);
    std::remove("numpy.bin"), std::remove("ours.bin");
}

// One damaged file per check: each is refused with 202 and a detail that
// names the field, and the matrix it was read into stays as it was.
TEST(SparseBinaryFiles, MalformedFilesAreRefusedAndLeaveTheMatrixAlone)
{
    // Order 7, one stored value in each of rows 2 to 6: offsets 0 0 0 1 2 3 4 5.
    SymmetricCase c = MakeSymmetric(7, 0, 2);
    c.offsets = {0, 0, 0, 1, 2, 3, 4, 5}, c.columns = {0, 1, 2, 3, 4}, c.values = {1, 2, 3, 4, 5};
    PythonWrite("6", 7, 7, EntriesOf(c), "f6");
    PythonWrite("1", 7, 7, EntriesOf(c), "f1");
    FortranWrite(c, "f0");
    std::vector<ZylSrvSparseMatrixEntry> denseEntries{{1, 2, 0.5}, {5, 4, -1.0}};
    PythonWrite("7", 6, 5, denseEntries, "f7");
    struct Damage {
        int format;
        long at;     // byte patched with `value`, or -1: the file cut to `value` bytes
        int value;
        const char* detail;
    };
    const int f0Size = static_cast<int>(Bytes("f0").size());
    const Damage table[] = {
        {6, -1, 20, "header (byte 0): 24 bytes expected"},
        {6, 0, -1, "order n (byte 0): 0 or more expected, found -1"},
        {6, 4, 200000, "header (byte 0): n = 7, m = 200000 need"},
        {6, 24, 1, "row offset 0 (byte 24): 0 expected, found 1"},
        {6, 32, 3, "row offset 3 (byte 36): 3 to 5 expected (offsets never decrease), found 1"},
        {6, 52, 4, "row offset 7 (byte 52): m = 5 expected, found 4"},
        {6, 112, 7, "column index 0 (byte 112): 0 to 6 expected, found 7"},
        {1, 16, 31, "log2 of the chunk size (byte 16): 0 to 30 expected, found 31"},
        {1, 8, 1, "chunk count (byte 8): at least 2 chunks of 4 expected for m = 5, found 1"},
        {1, 116, -1, "column index 1 (byte 116): 0 to 6 expected, found -1"},
        {1, -1, 180, "header (byte 0): n = 7, m = 5, 3 chunks of 4 need 256 bytes, the file has 180"},
        {7, 0, -2, "rows (byte 0): 0 or more expected, found -2"},
        {7, 4, 6, "header (byte 0): 6 rows and 6 columns need 304 bytes, the file has 256"},
        {7, 4, 0, "bytes of memory, more than the file's 256 bytes plus 1 MiB"}, // and 2^30 rows
        {0, 12, 9, "closing record length (byte 12): 8 expected, found 9"},
        {0, 8, 1000, "order n (byte 8): 1000 row records need at least 24000 bytes"},
        {0, 20, 8, "row length k of row 0 (byte 20): 1 to 7 expected, found 8"},
        {0, 76, 8, "column number 2 of row 2 (byte 76): 1 to 7 expected, found 8"},
        {0, 40, -3, "record length (byte 40): 0 to 2^31-1 expected, found -3"},
        {0, -1, f0Size - 3, "the file ends at byte"},
    };
    SparseHolder a = AssembledOf(RandomTriplets(5, 6, 20, 9), 5, 6);
    const RefMatrix before = DenseOf(*a);
    for (const Damage& d : table) {
        const std::string name = "f" + std::to_string(d.format);
        SCOPED_TRACE(name + " " + std::to_string(d.at) + " " + std::to_string(d.value));
        std::string bytes = Bytes(name.c_str());
        if (d.at < 0)
            bytes.resize(static_cast<std::size_t>(d.value));
        else
            std::memcpy(&bytes[static_cast<std::size_t>(d.at)], &d.value, 4);
        if (d.format == 7 && d.value == 0)
            std::memcpy(&bytes[0], "\0\0\0\x40", 4);
        Store("bad", bytes);
        try {
            a->Import("bad", d.format);
            ADD_FAILURE() << "accepted";
        } catch (const ZylSrvMtxOpenFileException& e) {
            EXPECT_EQ(std::string(e.AsString().Chars()), "ZylSrvSparseImExPorter: Failed to open file bad.");
            EXPECT_NE(std::string(e.Detail()).find(d.detail), std::string::npos) << e.Detail();
            EXPECT_FALSE(std::string(e.Detail()).empty());
        }
        EXPECT_EQ(DenseOf(*a).v, before.v);
        EXPECT_EQ(a->NumberOfNonzeros(), static_cast<int>(I::RowOffsets(*a)[5]));
    }
    for (const char* f : {"f0", "f1", "f6", "f7", "bad"})
        std::remove(f);
}
} // namespace
