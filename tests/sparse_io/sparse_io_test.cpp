// Sparse import and export: every binary layout against files that
// independent programs wrote (gfortran for format 0, NumPy/SciPy for 1, 6 and
// 7): the library's reader must give the arrays the program was given, and
// its writer the program's bytes. Then the checks that refuse damaged files,
// the errors of the dispatch, and the database drawers.
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
#include <functional>
#include <iomanip>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>

namespace {

using namespace zyltest;

const auto ArraysOf = ZylSrvSparseMatrixInspector::Arrays;

// Order n, a random diagonal and m distinct strictly-lower positions.
SparseHolder RandomSymmetric(int n, int m, unsigned seed)
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
    std::vector<unsigned> offsets(static_cast<std::size_t>(n) + 1, 0);
    std::vector<int> columns;
    std::vector<double> values, diagonal;
    for (const auto& p : lower)
        ++offsets[p.first + 1], columns.push_back(p.second), values.push_back(value(engine));
    for (int i = 0; i < n; ++i)
        offsets[i + 1] += offsets[i], diagonal.push_back(value(engine));
    return SparseHolder(ZylSrvSparseMatrixInspector::FromArrays(offsets, columns, values, diagonal, n + m, n, n));
}

std::vector<ZylSrvSparseMatrixEntry> EntriesOf(const ZylSrvSparseMatrix& a)
{
    int count = 0;
    ZylSrvSparseMatrixEntry* entries = a.GetEntries(count);
    std::vector<ZylSrvSparseMatrixEntry> v(entries, entries + count);
    mem_Free(entries);
    return v;
}

// Runs `command` with `input` on its standard input.
void Run(const std::string& command, const std::string& input)
{
    FILE* pipe = popen(command.c_str(), "w");
    std::fputs(input.c_str(), pipe);
    ASSERT_EQ(pclose(pipe), 0) << command;
}

// The NumPy writer of `layout` on entries of a rows x cols matrix.
void PythonWrite(const char* layout, int rows, int cols, const std::vector<ZylSrvSparseMatrixEntry>& t, const char* out)
{
    std::ostringstream s;
    s << std::setprecision(17) << rows << ' ' << cols << '\n';
    for (const ZylSrvSparseMatrixEntry& e : t)
        s << e.row << ' ' << e.column << ' ' << e.value << '\n';
    Run(std::string(ZYL_WRITE_LAYOUTS) + " " + layout + " " + out, s.str());
}

// The gfortran program's record file of a symmetric-form matrix: one line
// "k, k column numbers (the diagonal's first), k values" per row.
void FortranWrite(const ZylSrvSparseMatrix& a, const char* out)
{
    using I = ZylSrvSparseMatrixInspector;
    const unsigned* o = I::RowOffsets(a);
    std::ostringstream s;
    s << std::setprecision(17) << "-5 " << a.NumberOfRows() << '\n';
    for (int i = 0; i < a.NumberOfRows(); ++i) {
        s << o[i + 1] - o[i] + 1 << ' ' << i + 1;
        for (unsigned k = o[i]; k < o[i + 1]; ++k)
            s << ' ' << I::ColumnIndices(a)[k] + 1;
        s << ' ' << I::Diagonal(a)[i];
        for (unsigned k = o[i]; k < o[i + 1]; ++k)
            s << ' ' << I::Values(a)[k];
        s << '\n';
    }
    Run(std::string(ZYL_WRITE_RECORDS) + " " + out, s.str());
}

std::string Bytes(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The detail of the 202 that `f` must raise for `path` (empty when it did not).
template <typename F>
std::string DetailOfRefusal(F&& f, const std::string& path)
{
    try {
        f();
    } catch (const ZylSrvMtxOpenFileException& e) {
        EXPECT_EQ(std::string(e.AsString().Chars()), "ZylSrvSparseImExPorter: Failed to open file " + path + ".");
        return e.Detail();
    }
    ADD_FAILURE() << "not refused";
    return {};
}

// Format 6 at the chunk boundaries: the library writes NumPy's bytes and
// reads NumPy's file back into the arrays it was made from.
TEST(SparseBinaryFiles, SymmetricChunksMatchAnIndependentWriterAtTheBoundaries)
{
    for (const auto& nm : {std::pair<int, int>{7, 0}, {7, 5}, {600, 131072}, {600, 131073}}) {
        SCOPED_TRACE(testing::Message() << "m = " << nm.second);
        SparseHolder source = RandomSymmetric(nm.first, nm.second, 11);
        PythonWrite("6", nm.first, nm.first, EntriesOf(*source), "numpy.bin");
        source->Export("ours.bin", 6, nullptr);
        EXPECT_TRUE(Bytes("ours.bin") == Bytes("numpy.bin"));
        SparseHolder read(mem_New<ZylSrvSparseMatrix>(3, 3));
        read->Import("numpy.bin", 6);
        EXPECT_EQ(ArraysOf(*read), ArraysOf(*source));
        std::remove("numpy.bin"), std::remove("ours.bin");
    }
}

// Format 1 with chunks of 4 and a spare column chunk: one value set gives
// the symmetric form, two value sets the general matrix they describe.
TEST(SparseBinaryFiles, HeaderDescribedFilesFromNumPyReadAsWritten)
{
    SparseHolder source = RandomSymmetric(9, 14, 5), a = AssembledOf(RandomTriplets(4, 4, 6, 1), 4, 4);
    std::vector<ZylSrvSparseMatrixEntry> entries = EntriesOf(*source);
    PythonWrite("1", 9, 9, entries, "one.bin");
    a->Import("one.bin", 1);
    EXPECT_EQ(ArraysOf(*a), ArraysOf(*source));
    for (std::size_t e = 10; e < entries.size(); e += 2) // after the diagonal, the mirrored half of each pair
        entries[e].value = 0.5 - 3 * entries[e].value;
    PythonWrite("1two", 9, 9, entries, "two.bin");
    a->Import("two.bin", 1);
    EXPECT_EQ(DenseOf(*a).v, DenseOfTriplets(entries, 9, 9).v);
    EXPECT_EQ(ZylSrvSparseMatrixInspector::Diagonal(*a), nullptr);
    EXPECT_EQ(std::get<7>(ArraysOf(*a)), 0);
    EXPECT_EQ(a->NumberOfNonzeros(), static_cast<int>(entries.size()));
    std::remove("one.bin"), std::remove("two.bin");
}

TEST(SparseBinaryFiles, FortranRecordsReadAsWrittenAndHoldTheirUnit)
{
    SparseHolder source = RandomSymmetric(8, 12, 3), a = AssembledOf(RandomTriplets(4, 4, 6, 1), 4, 4);
    FortranWrite(*source, "records.bin");
    a->Import("records.bin", 0);
    EXPECT_EQ(ArraysOf(*a), ArraysOf(*source));
    ZylForRecordFile held; // another format-0 reader holding unit 81
    ASSERT_EQ(held.Open(81, "records.bin"), ZylForRecordFile::OpenResult::Opened);
    EXPECT_NE(DetailOfRefusal([&] { a->Import("records.bin", 0); }, "records.bin").find("unit 81"), std::string::npos);
    std::remove("records.bin");
}

// Format 7: the library's file is NumPy's; reading keeps |v| > 1e-16 only,
// and a former symmetric form loses its diagonal.
TEST(SparseBinaryFiles, DenseFilesMatchNumPyAndDropTinyValuesAndNaN)
{
    std::vector<ZylSrvSparseMatrixEntry> t = RandomTriplets(6, 5, 12, 4); // rows 0 and 2 empty
    const double nan = std::numeric_limits<double>::quiet_NaN();
    t.insert(t.end(), {{0, 0, 2e-16}, {0, 1, 1e-16}, {0, 2, -1e-16}, {0, 3, nan}, {2, 4, -2e-16}});
    SparseHolder source = AssembledOf(t, 6, 5), read = RandomSymmetric(3, 2, 1);
    PythonWrite("7", 6, 5, EntriesOf(*source), "numpy.bin");
    source->Export("ours.bin", 7, nullptr);
    EXPECT_TRUE(Bytes("ours.bin") == Bytes("numpy.bin"));
    read->Import("numpy.bin", 7);
    t.erase(t.end() - 4, t.end() - 1); // the three dropped
    EXPECT_EQ(DenseOf(*read).v, DenseOfTriplets(t, 6, 5).v);
    EXPECT_EQ(read->NumberOfNonzeros(), source->NumberOfNonzeros() - 3);
    EXPECT_EQ(ZylSrvSparseMatrixInspector::Diagonal(*read), nullptr);
    std::remove("numpy.bin"), std::remove("ours.bin");
}

// One damaged file per check: each is refused with 202 and a detail that
// names the field, and the matrix it was read into stays as it was.
TEST(SparseBinaryFiles, MalformedFilesAreRefusedAndLeaveTheMatrixAlone)
{
    // Order 7, one stored value in each of rows 2 to 6: offsets 0 0 0 1 2 3 4 5.
    SparseHolder c(ZylSrvSparseMatrixInspector::FromArrays({0, 0, 0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4}, {1, 2, 3, 4, 5},
                                                           {1, 1, 1, 1, 1, 1, 1}, 12, 7, 7));
    PythonWrite("6", 7, 7, EntriesOf(*c), "f6");
    PythonWrite("1", 7, 7, EntriesOf(*c), "f1");
    FortranWrite(*c, "f0");
    PythonWrite("7", 6, 5, {{1, 2, 0.5}, {5, 4, -1.0}}, "f7");
    const int f0Size = static_cast<int>(Bytes("f0").size());
    const struct {
        int format, at, value; // byte `at` patched with `value`, or at -1: the file cut to `value` bytes
        const char* detail;
    } table[] = {
        {6, -1, 20, "header (byte 0): 24 bytes expected"},
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
    const auto before = ArraysOf(*a);
    for (const auto& d : table) {
        const std::string name = "f" + std::to_string(d.format);
        SCOPED_TRACE(name + " " + std::to_string(d.at) + " " + std::to_string(d.value));
        std::string bytes = Bytes(name.c_str());
        if (d.at < 0)
            bytes.resize(static_cast<std::size_t>(d.value));
        else
            std::memcpy(&bytes[static_cast<std::size_t>(d.at)], &d.value, 4);
        if (d.format == 7 && d.value == 0)
            std::memcpy(&bytes[0], "\0\0\0\x40", 4);
        std::ofstream("bad", std::ios::binary) << bytes;
        EXPECT_NE(DetailOfRefusal([&] { a->Import("bad", d.format); }, "bad").find(d.detail), std::string::npos);
        EXPECT_EQ(ArraysOf(*a), before);
    }
    for (const char* f : {"f0", "f1", "f6", "f7", "bad"})
        std::remove(f);
}

TEST(SparseFileErrors, EachRefusalHasItsNumberAndMessageAndChangesNothing)
{
    const std::string src = "mtx/impl/ZylSrvSparseImExPorter";
    SparseHolder general = AssembledOf(RandomTriplets(5, 4, 9, 2), 5, 4);
    const auto before = ArraysOf(*general);
    for (int code : {4, 5, 8, -1})
        ExpectFamilyError<ZylSrvMtxUnsupportedImpFmt>([&] { general->Import("x", code); }, 210,
                                                      "ZylSrvSparseImExPorter: Unsupported import format.", src);
    for (int code : {0, 1, 2, 8, -1})
        ExpectFamilyError<ZylSrvMtxUnsupportedExpFmt>([&] { general->Export("x", code, nullptr); }, 207,
                                                      "ZylSrvSparseImExPorter: Unsupported export format.", src);
    ExpectFamilyError<ZylSrvMtxNoUnsymmetric>([&] { general->Export("x", 6, nullptr); }, 209,
                                              "ZylSrvSparseMatrix::Export symmetric:False not supported!", src);
    ExpectIllegalInput([&] { general->Export("x", 4, nullptr); }, "Export", src);
    EXPECT_FALSE(std::ifstream("x").good());
    for (int code : {0, 1, 6, 7})
        EXPECT_EQ(DetailOfRefusal([&] { general->Import("missing", code); }, "missing"), "");
    EXPECT_EQ(ArraysOf(*general), before);
    ExpectFamilyError<ZylSrvMtxOpenFileException>([&] { general->Export("no/dir", 7, nullptr); }, 202,
                                                  "ZylSrvSparseImExPorter: Failed to open file no/dir.", src);
    ExpectFamilyError<ZylSrvMtxFileWriteFailure>([&] { general->Export("/dev/full", 7, nullptr); }, 208,
                                                 "Error at writing to file: /dev/full", src);
}

// Line `line` of the library's source file `file` (below the project root);
// "" when the file has fewer lines.
std::string SourceLine(const std::string& file, int line)
{
    std::ifstream in(std::string(ZYL_SOURCE_DIR) + "/" + file);
    std::string text;
    for (int i = 0; i < line; ++i)
        if (!std::getline(in, text))
            return "";
    return text;
}

// The developer report names the importer's path and, for a raise in one of
// its helper files, that file and the line there; a raise in the class file
// keeps "path:line". Either line holds a raise of the file it is counted in.
TEST(SparseFileErrors, DeveloperReportsNameTheFileThatRaised)
{
    const std::string porter = zyl_mtx::kSparseImExPorterSource;
    std::ofstream("bad.txt") << "1 x 2.0\n";
    std::ofstream("bad6", std::ios::binary) << std::string(20, '\0');
    SparseHolder a = AssembledOf({{0, 0, 1.0}}, 2, 2);
    const struct {
        std::function<void()> raise;
        std::string message; // with the detail
        const char* site;    // null: the class file raised
    } table[] = {
        {[&] { a->Import("bad.txt", 2); },
         "ZylSrvSparseImExPorter: Failed to open file bad.txt. line 1 (byte 2): expected a column number (1 to 2147483647), "
         "found 'x'",
         "internal/ZylSrvSparseText.cpp"},
        {[&] { a->Import("bad6", 6); },
         "ZylSrvSparseImExPorter: Failed to open file bad6. header (byte 0): 24 bytes expected, the file has 20 from there",
         "internal/ZylSrvSparseBinary.cpp"},
        {[&] { a->Import("missing", 0); }, "ZylSrvSparseImExPorter: Failed to open file missing.",
         "internal/ZylSrvSparseBinary.cpp"},
        {[&] { a->Export("/dev/full", 7, nullptr); }, "Error at writing to file: /dev/full",
         "internal/ZylSrvSparseBinary.cpp"},
        {[&] { a->Import("x", 4); }, "ZylSrvSparseImExPorter: Unsupported import format.", nullptr},
        {[&] { a->Export("x", 6, nullptr); }, "ZylSrvSparseMatrix::Export symmetric:False not supported!", nullptr},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.message);
        try {
            row.raise();
            ADD_FAILURE() << "not raised";
        } catch (const ZylBasException& e) {
            const std::string line = std::to_string(e.Line());
            const std::string where = row.site ? " (" + std::string(row.site) + ":" + line + ")" : ":" + line;
            EXPECT_EQ(std::string(e.DeveloperReport().Chars()), row.message + " [" + porter + where + "]");
            const std::string raiser = row.site ? "mtx/impl/" + std::string(row.site) : porter + ".cpp";
            EXPECT_THAT(SourceLine(raiser, e.Line()), ::testing::HasSubstr("__LINE__")) << raiser << ":" << line;
        }
    }
    for (const char* f : {"bad.txt", "bad6"})
        std::remove(f);
}

// The binary writers do not truncate: a longer old file keeps its tail.
TEST(SparseFileErrors, BinaryWritersOverwriteWithoutTruncating)
{
    std::ofstream("old.bin") << std::string(1000, 'z');
    AssembledOf({{1, 1, 2.5}}, 2, 2)->Export("old.bin", 7, nullptr);
    const std::string bytes = Bytes("old.bin");
    double stored = 0;
    std::memcpy(&stored, bytes.data() + 16 + 3 * 8, 8);
    EXPECT_EQ(stored, 2.5);
    EXPECT_EQ(bytes.substr(48), std::string(1000 - 48, 'z'));
    std::remove("old.bin");
}

class SparseDrawers : public DatabaseTest {};

// Both forms through a new drawer and back: the same arrays, the count of
// the form, the drawer's CSets; a general drawer comes back known unsymmetric.
TEST_F(SparseDrawers, BothFormsComeBackFromTheirDrawer)
{
    SparseHolder general = AssembledOf(RandomTriplets(6, 4, 15, 3), 6, 4), symmetric = RandomSymmetric(5, 4, 2);
    for (const ZylSrvSparseMatrix* m : {general.get(), symmetric.get()}) {
        ZylDorvCSetID rows = AllOf(NewCollection(m->NumberOfRows())), columns = AllOf(NewCollection(m->NumberOfColumns()));
        const ZylDorvDistributionID id = ZylSrvUtilities::CreateSparseDistribution(rows, columns);
        m->Export(rows, columns, id);
        SparseHolder back = AssembledOf({{0, 0, 1.0}}, 1, 1);
        back->Import(id);
        auto expected = ArraysOf(*m);
        std::get<7>(expected) = m == general.get() ? 2 : 1;
        EXPECT_EQ(ArraysOf(*back), expected);
        EXPECT_TRUE(back->RowCSetID() == rows && back->ColumnCSetID() == columns);
    }
    // A symmetric drawer over more columns than rows is not a symmetric form.
    ZylDorvCSetID rows = AllOf(NewCollection(5)), wider = AllOf(NewCollection(6));
    const ZylDorvDistributionID id = ZylSrvUtilities::CreateSparseDistribution(rows, wider);
    symmetric->Export(rows, wider, id);
    SparseHolder back = AssembledOf({{0, 0, 1.0}}, 1, 1);
    const auto kept = ArraysOf(*back);
    ExpectIllegalInput([&] { back->Import(id); }, "Import", zyl_mtx::kSparseImExPorterSource);
    EXPECT_EQ(ArraysOf(*back), kept);
}

} // namespace
