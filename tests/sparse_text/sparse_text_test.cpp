// The text layouts: the triplet reader against a sscanf("%d %d %lf") loop, the
// writers byte for byte against snprintf with the same formats, a code-3 round
// trip, Matrix Market against SciPy both ways, and malformed files refused.
#include <mtx/impl/internal/ZylSrvSparseText.h>
#include <platform/ZylSrvSystemDofDefinition.h>

#include <support/AllocationSweep.h>
#include <support/FamilyError.h>
#include <support/SparseReference.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using zyltest::RefMatrix;
using I = ZylSrvSparseMatrixInspector;
using Entry = ZylSrvSparseMatrixEntry;

void Put(const char* path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::string Get(const char* path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    std::remove(path);
    return text.str();
}
zyl_mtx::SparseArrays ArraysOf(const ZylSrvSparseMatrix& a)
{
    return {I::RowOffsets(a), I::ColumnIndices(a), I::Values(a), I::Diagonal(a), a.NumberOfRows(),
            a.NumberOfColumns()};
}
std::vector<Entry> EntriesOf(const zyl_mtx::TextTriplets& t) { return {t.entries.Get(), t.entries.Get() + t.count}; }
template <typename... T>
std::string Printf(const char* format, T... values)
{
    char line[512];
    return std::string(line, std::snprintf(line, sizeof line, format, values...));
}

// Values that take every branch of printf's %e: signed zeros and NaNs,
// infinities, subnormals, three-digit exponents, exact ties at the 16th digit
// (rounded to even), carries through every digit.
const double kInf = std::numeric_limits<double>::infinity();
const std::vector<double> kAwkward = {
    0.0, -0.0, 1.0, -1.5, 1.0 / 3.0, -2.0 / 3.0, 0.1, 9.9999999999999995e-1, 5e-324, -4.9406564584124654e-322,
    DBL_MIN, std::nextafter(DBL_MIN, 0.0), DBL_MAX, -1e300, 1e-300, 1e23, std::nextafter(1e23, kInf), 1e100,
    100000000000000.25, 100000000000000.75, 0.99999999999999989, 123456789012345678.0, kInf, -kInf,
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};

TEST(SparseTextWriters, EveryLayoutIsWhatFprintfWrites)
{
    // Row 0 holds every awkward value at columns 0, 1, 2, ...; row 1 stays
    // empty; row 2 holds one value, so rows are walked in order.
    const int n = static_cast<int>(kAwkward.size());
    std::vector<int> columns(n + 1);
    for (int j = 0; j <= n; ++j)
        columns[j] = j % n;
    std::vector<double> values = kAwkward;
    values.push_back(2.5);
    zyltest::SparseHolder a(I::FromArrays({0, unsigned(n), unsigned(n), unsigned(n + 1)}, columns, values, {}, n + 1, 3, n));
    ZylSrvSystemDofDefinition dofs;
    for (int i = 0; i < n; ++i)
        dofs.AddSolverDof(100 + i / 3, i % 3 + 1);
    std::string code3, code4, code5;
    for (int k = 0; k <= n; ++k) {
        const int i = k < n ? 0 : 2;
        code3 += Printf("%ld %ld %18.15le\n", i + 1L, columns[k] + 1L, values[k]);
        code4 += Printf("%d,%d,%d,%d,%18.15e\n", 100 + i / 3, i % 3 + 1, columns[k], 0, values[k]); // not square
        code5 += Printf("%d,%d, %18.15e\n", i, columns[k], values[k]);
    }
    zyl_mtx::WriteTriplets1Based("a.txt", ArraysOf(*a));
    EXPECT_EQ(Get("a.txt"), code3);
    zyl_mtx::WriteNodeDofText("a.txt", ArraysOf(*a), dofs);
    EXPECT_EQ(Get("a.txt"), code4);
    zyl_mtx::WriteZeroBasedText("a.txt", ArraysOf(*a));
    EXPECT_EQ(Get("a.txt"), code5);

    // The symmetric form of order 3: diagonal 1, 2, 3, stored (1,0) and (2,1).
    zyltest::SparseHolder s(I::FromArrays({0, 0, 1, 2}, {0, 1}, {5.0, -0.0}, {1.0, 2.0, 3.0}, 5, 3, 3));
    zyl_mtx::WriteTriplets1Based("s.txt", ArraysOf(*s));
    EXPECT_EQ(Get("s.txt"), Printf("1 1 %18.15le\n2 2 %18.15le\n3 3 %18.15le\n", 1.0, 2.0, 3.0) +
                                Printf("2 1 %18.15le\n1 2 %18.15le\n3 2 %18.15le\n2 3 %18.15le\n", 5.0, 5.0, -0.0, -0.0));
    zyl_mtx::WriteZeroBasedText("s.txt", ArraysOf(*s));
    EXPECT_EQ(Get("s.txt"), Printf("0,0, %18.15e\n1,1, %18.15e\n1,0, %18.15e\n", 1.0, 2.0, 5.0) +
                                Printf("2,2, %18.15e\n2,1, %18.15e\n", 3.0, -0.0));
    zyl_mtx::WriteNodeDofText("s.txt", ArraysOf(*s), dofs); // square: both ends through the numbering
    EXPECT_EQ(Get("s.txt"), Printf("%d,%d,%d,%d,%18.15e\n", 100, 2, 100, 1, 5.0) +
                                Printf("%d,%d,%d,%d,%18.15e\n", 100, 3, 100, 2, -0.0));
}

// A random valid file of 2 MiB and more (so triplets straddle the reader's
// blocks), spelled in every way "%d %d %lf" accepts, read by ours and, piece
// by piece, by sscanf: same triplets, same bits.
TEST(SparseTextReaders, TripletsAsSscanfReadsThem)
{
    const char* spellings[] = {"%.17g", "%.3e", "%+.9f", "%a", "%.0f", "%G"};
    const char* gaps[] = {" ", "\t", "\r\n", "  \n\n", "\v\f "};
    std::mt19937 engine(11);
    std::uniform_real_distribution<double> magnitude(-300.0, 300.0);
    std::vector<std::string> pieces = {"  3 4 inf\n", "+5 007 -NaN ", "1 1 1e400 ", "2 2 -0x1.8p-3 "};
    for (int k = 0; k < 50000; ++k) {
        const double v = (engine() % 2 ? -1 : 1) * std::pow(10.0, magnitude(engine)) * (engine() % 1000);
        pieces.push_back(std::to_string(engine() % 40 + 1) + gaps[engine() % 5] + std::to_string(engine() % 70 + 1) +
                         gaps[engine() % 5] + Printf(spellings[engine() % 6], v) + gaps[engine() % 5]);
    }
    std::string text;
    std::vector<Entry> expected;
    int r = 0, c = 0, rows = 0, cols = 0;
    double v = 0.0;
    for (const std::string& piece : pieces) {
        ASSERT_EQ(std::sscanf(piece.c_str(), "%d %d %lf", &r, &c, &v), 3) << piece;
        expected.push_back({unsigned(r - 1), unsigned(c - 1), v});
        rows = std::max(rows, r);
        cols = std::max(cols, c);
        text += piece;
    }
    ASSERT_GT(text.size(), 2u << 20);
    for (bool binaryMode : {true, false}) {
        Put("t.txt", text);
        const zyl_mtx::TextTriplets t = zyl_mtx::ReadTextTriplets("t.txt", binaryMode);
        std::remove("t.txt");
        ASSERT_EQ(std::size_t(t.count), expected.size());
        EXPECT_EQ(std::memcmp(t.entries.Get(), expected.data(), expected.size() * sizeof(Entry)), 0);
        EXPECT_EQ(t.numRows, rows);
        EXPECT_EQ(t.numColumns, cols);
    }
    for (const char* nothing : {"", " \n\t\r\n"}) {
        Put("e.txt", nothing);
        const zyl_mtx::TextTriplets t = zyl_mtx::ReadTextTriplets("e.txt", true);
        std::remove("e.txt");
        EXPECT_EQ(t.count + t.numRows + t.numColumns, 0);
    }
}

// Code 3 written and read back stands for the same matrix, to the 16 digits
// the layout keeps; the symmetric form comes back with both triangles.
TEST(SparseTextReaders, Code3RoundTrip)
{
    const std::vector<Entry> t = zyltest::RandomTriplets(30, 20, 200, 5);
    zyltest::SparseHolder general = zyltest::AssembledOf(t, 30, 20);
    zyltest::SparseHolder symmetric(I::FromArrays({0, 0, 2, 3}, {0, 2, 1}, {0.25, -1e-7, 3e5}, {1, 2, 3}, 6, 3, 3));
    for (const ZylSrvSparseMatrix* a : {general.get(), symmetric.get()}) {
        zyl_mtx::WriteTriplets1Based("r.txt", ArraysOf(*a));
        const zyl_mtx::TextTriplets back = zyl_mtx::ReadTextTriplets("r.txt", false);
        std::remove("r.txt");
        const RefMatrix want = zyltest::DenseOf(*a);
        const RefMatrix got = zyltest::DenseOfTriplets(EntriesOf(back), want.rows, want.cols);
        ASSERT_EQ(back.numRows, want.rows);
        ASSERT_EQ(back.numColumns, want.cols);
        for (std::size_t k = 0; k < want.v.size(); ++k)
            EXPECT_NEAR(got.v[k], want.v[k], 6e-16 * std::fabs(want.v[k])) << k;
    }
}

// "rows cols" and the values column by column, as mm_oracle.py writes them.
RefMatrix ReadDense(const std::string& path)
{
    std::istringstream in(Get(path.c_str()));
    int rows = 0, cols = 0;
    in >> rows >> cols;
    RefMatrix d(rows, cols);
    for (double& x : d.v)
        in >> x;
    return d;
}

// Stored values below the diagonal, counted over the rows of the symmetric
// form; every stored value of the general form.
long StoredBelowOrAll(const ZylSrvSparseMatrix& a, bool& allBelow)
{
    allBelow = true;
    for (int i = 0; i < a.NumberOfRows(); ++i)
        for (unsigned k = I::RowOffsets(a)[i]; k < I::RowOffsets(a)[i + 1]; ++k)
            allBelow = allBelow && I::ColumnIndices(a)[k] < i;
    return static_cast<long>(I::RowOffsets(a)[a.NumberOfRows()]);
}

// Every kind SciPy writes, read in both forms, stands for SciPy's dense
// matrix bit for bit and stores exactly its nonzeros (below the diagonal in
// the symmetric form, which only symmetric and hermitian files keep).
TEST(SparseTextMatrixMarket, ReadsWhatSciPyWritesInBothForms)
{
    ASSERT_EQ(std::system("/usr/bin/python3 " ZYL_MM_ORACLE " write ."), 0);
    for (const std::string kind : {"general", "symmetric", "pattern", "integer", "skew", "hermitian", "array",
                                   "array-symmetric", "array-skew"}) {
        const RefMatrix want = ReadDense(kind + ".dense");
        const bool keepable = kind == "symmetric" || kind == "hermitian" || kind == "array-symmetric";
        for (bool keep : {false, true}) {
            SCOPED_TRACE(kind + (keep ? ", kept symmetric" : ""));
            ZylSrvSparseMatrix a(0, 0);
            a.ImportMatrixMarket((kind + ".mtx").c_str(), keep);
            ASSERT_EQ(a.NumberOfRows(), want.rows);
            ASSERT_EQ(a.NumberOfColumns(), want.cols);
            EXPECT_EQ(zyltest::DenseOf(a).v, want.v);
            const bool symmetricForm = keep && keepable;
            ASSERT_EQ(I::Diagonal(a) != nullptr, symmetricForm);
            long nonzeros = 0;
            for (int j = 0; j < want.cols; ++j)
                for (int i = symmetricForm ? j + 1 : 0; i < want.rows; ++i)
                    nonzeros += want(i, j) != 0.0;
            bool allBelow = true;
            EXPECT_EQ(StoredBelowOrAll(a, allBelow), nonzeros);
            EXPECT_TRUE(allBelow || !symmetricForm);
            EXPECT_EQ(a.NumberOfNonzeros(), nonzeros + (symmetricForm ? want.rows : 0));
        }
        std::remove((kind + ".mtx").c_str());
    }
}

// What real collections hold and SciPy reads (or goes beyond it: CR ends,
// blank lines before the banner) reads as the same file written plainly.
TEST(SparseTextMatrixMarket, QuirksReadAsThePlainFile)
{
    const std::string head = "%%MatrixMarket matrix coordinate real symmetric\n";
    const std::string plain = head + "3 3 4\n1 1 2\n1 3 0.5\n3 1 0.25\n2 1 -1\n";
    const std::string pattern = "%%MatrixMarket matrix coordinate pattern general\n2 3 2\n1 3\n2 1\n";
    std::string cr = plain, crlf;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    for (char c : plain)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const struct {
        std::string quirk, plain;
    } rows[] = {
        {cr, plain},
        {crlf, plain},
        {"\n  \n\t\r\n" + plain, plain},
        {head + "% a\n3 3 4\n1 1 2\n%\n\n1 3 0.5\n  % b\n3 1 0.25\n2 1 -1\n% end\n\n", plain},
        {"%%MatrixMarket matrix coordinate real hermitian\n3 3 4\n1 1 2\n1 3 0.5\n3 1 0.25\n2 1 -1\n", plain},
        {"%%MatrixMarket matrix coordinate integer Hermitian\n2 2 1\n2 1 -7\n",
         "%%MatrixMarket matrix coordinate integer symmetric\n2 2 1\n2 1 -7\n"},
        {"%%MatrixMarket matrix coordinate pattern general\n2 3 2\n1 3 7.5\n2 1 -1e3\n", pattern},
    };
    for (const auto& row : rows)
        for (bool keep : {false, true}) {
            SCOPED_TRACE(row.quirk);
            ZylSrvSparseMatrix quirk(0, 0), expected(0, 0);
            Put("q.mtx", row.quirk);
            quirk.ImportMatrixMarket("q.mtx", keep);
            Put("q.mtx", row.plain);
            expected.ImportMatrixMarket("q.mtx", keep);
            std::remove("q.mtx");
            EXPECT_EQ(zyltest::DenseOf(quirk).v, zyltest::DenseOf(expected).v);
            EXPECT_EQ(quirk.NumberOfNonzeros(), expected.NumberOfNonzeros());
            EXPECT_EQ(I::Diagonal(quirk) != nullptr, I::Diagonal(expected) != nullptr);
        }
}


// A file of some 2 MiB (eight of the reader's blocks) in every order the
// reader treats apart: rows and columns increasing (one pass, nothing to
// sort), rows increasing (one pass, rows sorted), shuffled and increasing but
// for its last line (counted, then placed); with "\r\n" ends, and a comment
// line and an entry line each longer than a block. Its arrays hold what a
// sum over the lines in a map gives: each pair once in increasing columns,
// repeats summed (repeated places hold eighths, so that every order of
// summing is exact). A line made malformed is refused with its line number
// in every order, the matrix kept.
TEST(SparseTextMatrixMarket, LargeFilesInAnyOrderReadAsTheirLines)
{
    struct Line {
        int row, column;
        double value;
    };
    std::mt19937 engine(5);
    const int n = 4000;
    std::vector<Line> lower; // row >= column: eighths in even columns, repeated; odd ones once, 17 digits
    std::set<std::pair<int, int>> taken;
    for (int k = 0; k < 80000; ++k) {
        const int i = static_cast<int>(engine() % n), j = static_cast<int>(engine() % (i + 1));
        if (j % 2 == 0)
            lower.push_back({i, j, std::ldexp(static_cast<double>(engine() % 4001) - 2000.0, -3)});
        else if (taken.insert({i, j}).second)
            lower.push_back({i, j, std::ldexp(static_cast<double>(engine()), -40) + 0.1 * (k % 7)});
    }
    std::sort(lower.begin(), lower.end(), [](const Line& a, const Line& b) {
        return std::tie(a.row, a.column) < std::tie(b.row, b.column);
    });
    enum Order { kIncreasing, kRowsOnly, kShuffled, kLastOutOfPlace };
    const struct {
        const char* symmetry;
        bool keep;
        Order order;
        bool crlf;
    } rows[] = {{"general", false, kIncreasing, false},   {"general", false, kRowsOnly, true},
                {"general", false, kShuffled, false},     {"general", false, kLastOutOfPlace, false},
                {"symmetric", false, kIncreasing, false}, {"symmetric", true, kRowsOnly, false},
                {"symmetric", true, kShuffled, true},     {"skew-symmetric", false, kLastOutOfPlace, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.symmetry) + (r.keep ? " kept" : "") + " order " + std::to_string(r.order));
        const bool skew = std::string(r.symmetry) == "skew-symmetric";
        std::vector<Line> lines;
        for (const Line& l : lower)
            if (!(skew && l.row == l.column))
                lines.push_back(l);
        if (r.order == kRowsOnly) // pairs of a row's columns backwards
            for (std::size_t k = 0; k + 1 < lines.size(); k += 2)
                if (lines[k].row == lines[k + 1].row)
                    std::swap(lines[k], lines[k + 1]);
        if (r.order == kShuffled) { // eighths in a symmetric file partly above the diagonal
            std::shuffle(lines.begin(), lines.end(), engine);
            for (std::size_t k = 0; k < lines.size() && !skew && std::string(r.symmetry) != "general"; k += 5)
                if (lines[k].column % 2 == 0)
                    std::swap(lines[k].row, lines[k].column);
        }
        if (r.order == kLastOutOfPlace)
            std::rotate(lines.begin(), lines.begin() + 1, lines.end());
        const std::string end = r.crlf ? "\r\n" : "\n";
        std::string text = "%%MatrixMarket matrix coordinate real " + std::string(r.symmetry) + end + "% " +
                           std::string(300000, 'c') + end + std::to_string(n) + " " + std::to_string(n) + " " +
                           std::to_string(lines.size()) + end;
        std::vector<std::size_t> lineStarts;
        std::map<std::pair<int, int>, double> want;
        std::vector<double> wantDiagonal(n, 0.0);
        const bool mirrored = std::string(r.symmetry) != "general" && !r.keep;
        for (const Line& l : lines) {
            lineStarts.push_back(text.size());
            text += std::to_string(l.row + 1) + " " + std::to_string(l.column + 1) + " " + Printf("%.17g", l.value) + end;
            if (r.keep && l.row == l.column)
                wantDiagonal[l.row] += l.value;
            else if (r.keep)
                want[{std::max(l.row, l.column), std::min(l.row, l.column)}] += l.value;
            else
                want[{l.row, l.column}] += l.value;
            if (mirrored && l.row != l.column)
                want[{l.column, l.row}] += skew ? -l.value : l.value;
        }
        // The first entry's value after blanks longer than a block: its line is held whole.
        text.insert(text.find(' ', text.find(' ', lineStarts[0]) + 1), 300000, ' ');
        for (std::size_t k = 1; k < lineStarts.size(); ++k)
            lineStarts[k] += 300000;
        ZylSrvSparseMatrix a(0, 0);
        Put("big.mtx", text);
        a.ImportMatrixMarket("big.mtx", r.keep);
        ASSERT_EQ(a.NumberOfRows(), n);
        std::vector<std::tuple<int, int, double>> stored, expected;
        for (int i = 0; i < n; ++i)
            for (unsigned k = I::RowOffsets(a)[i]; k < I::RowOffsets(a)[i + 1]; ++k)
                stored.emplace_back(i, I::ColumnIndices(a)[k], I::Values(a)[k]);
        for (const auto& [place, value] : want)
            expected.emplace_back(place.first, place.second, value);
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(a.NumberOfNonzeros(), static_cast<int>(expected.size()) + (r.keep ? n : 0));
        if (r.keep) {
            EXPECT_EQ(std::vector<double>(I::Diagonal(a), I::Diagonal(a) + n), wantDiagonal);
        }

        // A value the placing pass refuses, or a row index the counting pass
        // stops at (the placing pass still refuses it, at the same line).
        const std::size_t bad = lineStarts[lineStarts.size() * 3 / 4];
        text.replace(r.order % 2 == 0 ? text.find(' ', text.find(' ', bad) + 1) + 1 : bad, 1, "x");
        Put("big.mtx", text);
        const auto before = I::Arrays(a);
        try {
            a.ImportMatrixMarket("big.mtx", r.keep);
            ADD_FAILURE() << "a malformed value was read";
        } catch (const ZylSrvMtxOpenFileException& e) {
            const std::string line = "line " + std::to_string(4 + lineStarts.size() * 3 / 4) + " (byte ";
            EXPECT_EQ(std::string(e.Detail()).rfind(line, 0), 0u) << e.Detail();
        }
        EXPECT_TRUE(I::Arrays(a) == before);
        std::remove("big.mtx");
    }
}

// A comment line longer than the reader's block is dropped as it is read:
// the import allocates no more than for the file without it (an entry line
// that long is held, and grows the block).
TEST(SparseTextMatrixMarket, ALongCommentLineIsNotHeld)
{
    const std::string head = "%%MatrixMarket matrix coordinate real general\n";
    const std::string body = "2 2 2\n1 1 1.5\n2 1 -2\n";
    const auto allocations = [](const std::string& text) {
        Put("c.mtx", text);
        zyltest::SparseHolder a;
        const int n = zyltest::SweepAllocationFailures([&] { a.reset(mem_New<ZylSrvSparseMatrix>(0, 0)); },
                                                       [&] { a->ImportMatrixMarket("c.mtx"); }, [](int) {});
        std::remove("c.mtx");
        return n;
    };
    const std::string longComment = "%" + std::string(700000, 'c') + "\n";
    EXPECT_EQ(allocations(head + longComment + body), allocations(head + body));
    EXPECT_LT(allocations(head + body), allocations(head + "2 2 2\n1 1" + std::string(700000, ' ') + "1.5\n2 1 -2\n"));
}

// Arrays of 1 to 3 MiB, general and kept symmetric, with zeros and lines
// that cross the reader's blocks: the dense matrix the values were written
// from, its zeros not stored.
TEST(SparseTextMatrixMarket, LargeArraysReadAsTheirValues)
{
    std::mt19937 engine(7);
    const int n = 500;
    for (const std::string symmetry : {"general", "symmetric"}) {
        SCOPED_TRACE(symmetry);
        const bool general = symmetry == "general";
        RefMatrix want(n, n);
        std::string text = "%%MatrixMarket matrix array real " + symmetry + "\n" + std::to_string(n) + " " +
                           std::to_string(n) + "\n";
        for (int j = 0; j < n; ++j)
            for (int i = general ? 0 : j; i < n; ++i) {
                const double v = engine() % 3 == 0 ? 0.0 : std::ldexp(static_cast<double>(engine()), -20) - 2048.0;
                text += Printf("%.17g\n", v);
                want(i, j) = v;
                if (!general)
                    want(j, i) = v;
            }
        ASSERT_GT(text.size(), 1u << 20);
        Put("big.mtx", text);
        ZylSrvSparseMatrix a(0, 0);
        a.ImportMatrixMarket("big.mtx", !general);
        std::remove("big.mtx");
        EXPECT_EQ(zyltest::DenseOf(a).v, want.v);
        long nonzeros = 0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < (general ? n : i); ++j)
                nonzeros += want(i, j) != 0.0;
        bool allBelow = true;
        EXPECT_EQ(StoredBelowOrAll(a, allBelow), nonzeros);
        EXPECT_TRUE(allBelow || general);
    }
}

// A symmetric file with an entry above the diagonal, a repeated pair and a
// missing diagonal entry, kept symmetric: the arrays as worked out by hand.
// Written as format 6 and as Matrix Market (its zero diagonal value left out)
// it reads back to the same arrays, and the Matrix Market file reads in the
// general form as the original file does (no explicit zero added).
TEST(SparseTextMatrixMarket, KeptSymmetricStoresEachPairOnceAndExportsAsIs)
{
    const std::string original = "%%MatrixMarket matrix coordinate real symmetric\n3 3 4\n1 1 2\n1 3 0.5\n3 1 0.25\n2 1 -1\n";
    Put("o.mtx", original);
    ZylSrvSparseMatrix kept(0, 0), back(0, 0), general(0, 0), generalBack(0, 0);
    kept.ImportMatrixMarket("o.mtx", true);
    EXPECT_EQ(I::Arrays(kept), std::make_tuple(std::vector<unsigned>{0, 0, 1, 2}, std::vector<int>{0, 0},
                                              std::vector<double>{-1.0, 0.75}, std::vector<double>{2.0, 0.0, 0.0}, 3, 3, 5, 1));
    kept.Export("k.f6", 6, nullptr);
    back.Import("k.f6", 6);
    EXPECT_EQ(I::Arrays(back), I::Arrays(kept));
    kept.ExportMatrixMarket("k.mtx");
    general.ImportMatrixMarket("o.mtx");
    generalBack.ImportMatrixMarket("k.mtx", false);
    EXPECT_EQ(I::Arrays(generalBack), I::Arrays(general));
    back.ImportMatrixMarket("k.mtx", true);
    EXPECT_EQ(I::Arrays(back), I::Arrays(kept));
    EXPECT_EQ(Get("k.mtx"), "%%MatrixMarket matrix coordinate real symmetric\n3 3 3\n1 1 2\n2 1 -1\n3 1 0.75\n");
    std::remove("o.mtx");
    std::remove("k.f6");
}

TEST(SparseTextMatrixMarket, SciPyReadsWhatWeWrite)
{
    const std::vector<Entry> t = zyltest::RandomTriplets(12, 9, 60, 8);
    zyltest::SparseHolder general = zyltest::AssembledOf(t, 12, 9);
    zyltest::SparseHolder symmetric(
        I::FromArrays({0, 0, 2, 3, 3}, {0, 2, 0}, {0.1, -1e-300, 1.0 / 3.0}, {1e300, 0, -0.0, 7}, 7, 4, 4));
    for (const ZylSrvSparseMatrix* a : {general.get(), symmetric.get()}) {
        const RefMatrix d = zyltest::DenseOf(*a);
        std::string dense = Printf("%d %d\n", d.rows, d.cols);
        for (double x : d.v)
            dense += Printf("%.17g ", x);
        Put("ours.dense", dense);
        zyl_mtx::WriteMatrixMarket("ours.mtx", ArraysOf(*a));
        std::string banner;
        std::getline(std::ifstream("ours.mtx"), banner);
        EXPECT_EQ(banner, a == symmetric.get() ? "%%MatrixMarket matrix coordinate real symmetric"
                                               : "%%MatrixMarket matrix coordinate real general");
        EXPECT_EQ(std::system("/usr/bin/python3 " ZYL_MM_ORACLE " check ours.mtx ours.dense"), 0);
        std::remove("ours.mtx");
        std::remove("ours.dense");
    }
}

// Each malformed file is refused with 202, the path in the message and what
// is wrong (line, byte, expected, found) in the detail; the matrix it was
// read into (Matrix Market: in either form) stays as it was.
TEST(SparseTextReaders, MalformedFilesAreRefusedWithWhatIsWrong)
{
    const std::string mm = "%%MatrixMarket matrix coordinate real general\n";
    const std::string array = "%%MatrixMarket matrix array real general\n";
    const struct {
        bool matrixMarket;
        std::string text;
        const char* detail;
    } cases[] = {
        {false, "1 2 3\n1 2", "line 2 (byte 9): expected a value, found end of file"},
        {false, "1 2 3 4", "expected a column number (1 to 2147483647), found end of file"},
        {false, "1 0 3", "line 1 (byte 2): expected a column number (1 to 2147483647), found '0'"},
        {false, "2147483648 1 3", "expected a row number (1 to 2147483647), found '2147483648'"},
        {false, "1.5 1 3", "expected a row number (1 to 2147483647), found '1.5'"},
        {false, "1 1 3.5abc", "expected a value, found '3.5abc'"},
        {false, "1 1 2\n\n2 x\x01 4", "line 3 (byte 9): expected a column number (1 to 2147483647), found 'x?'"},
        {false, std::string(1800000, '\n') + "-1 1 1", "line 1800001 (byte 1800000): expected a row number"},
        {true, "%MatrixMarket matrix coordinate real general\n", "expected the banner %%MatrixMarket"},
        {true, "%%MatrixMarket vector coordinate real general\n", "(vector files are not supported), found 'vector'"},
        {true, "%%MatrixMarket matrix coordinate complex general\n", "(complex values are not supported), found 'comp"},
        {true, "%%MatrixMarket matrix coordinate real skew\n", "symmetric, skew-symmetric or hermitian, found 'skew'"},
        {true, "%%MatrixMarket matrix array pattern general\n", "the field real or integer for an array, found 'pat"},
        {true, "%%MatrixMarket matrix coordinate pattern skew-symmetric\n", "or hermitian for a pattern, found"},
        {true, mm + "2 2 1 9\n1 1 1\n", "line 2 (byte 52): expected the end of the line, found '9'"},
        {true, mm + "% c\n4 2 3\n1 1 1\n", "line 3 (byte 54): expected a number of entries the rest of the file can "
                                           "hold (at most 1), found '3'"},
        {true, mm + "2 2 2\n1 1 1\n\n% c\n\n\n", "expected 2 entries as the size line declares, not 1"},
        {true, mm + "2 2 1\n1 1 1\n2 2 2\n", "line 4 (byte 58): expected the end of the file after 1 entries"},
        {true, mm + "2 2 2\n1 3 1\n1 1 1\n", "expected a column index (1 to 2), found '3'"},
        {true, mm + "2 2 2\n1 1 1\n2 0 1\n", "line 4 (byte 60): expected a column index (1 to 2), found '0'"},
        {true, mm + "2 2 1\n1 1\n2 2 2\n", "line 3 (byte 55): expected a value, found the end of the line"},
        {true, "%%MatrixMarket matrix coordinate integer general\n1 1 1\n1 1 1.5\n", "expected an integer value"},
        {true, "%%MatrixMarket matrix coordinate real symmetric\n2 3 0\n", "expected a square size for a symmetric"},
        {true, "%%MatrixMarket matrix array real hermitian\n2 3\n", "expected a square size for a hermitian matrix"},
        {true, "%%MatrixMarket matrix coordinate real skew-symmetric\r2 2 1\r\r2 2 -0.5\r",
         "line 4 (byte 64): expected 0 on the diagonal of a skew-symmetric matrix, found '-0.5'"},
        {true, "%%MatrixMarket matrix coordinate pattern general\n2 2 1\n2 1 x\n", "expected a value, found 'x'"},
        {true, array + "3 2\n1\n2\n", "expected a size whose 6 values the rest of the file can hold (at most 2)"},
        {true, array + "2 2\n1\n2\n3\n\n\n\n", "expected 4 values as the size line declares, not 3"},
        {true, array + "1 2\n1\n2 3\n", "line 4 (byte 49): expected the end of the line, found '3'"},
        {true, array + "1 2\n1\n2\n0\n", "expected the end of the file after 2 values, found '0'"},
    };
    zyltest::SparseHolder a = zyltest::AssembledOf(zyltest::RandomTriplets(5, 6, 20, 9), 5, 6);
    const RefMatrix before = zyltest::DenseOf(*a);
    const int nonzeros = a->NumberOfNonzeros();
    for (const auto& c : cases)
        for (bool keep : {false, true}) {
            if (keep && !c.matrixMarket)
                continue;
            Put("bad.txt", c.text);
            try {
                c.matrixMarket ? a->ImportMatrixMarket("bad.txt", keep) : a->Import("bad.txt", 3);
                ADD_FAILURE() << c.text;
            } catch (const ZylSrvMtxOpenFileException& e) {
                EXPECT_EQ(e.ErrorCode(), 202);
                EXPECT_STREQ(e.AsString().Chars(), "ZylSrvSparseImExPorter: Failed to open file bad.txt.");
                EXPECT_NE(std::string(e.Detail()).find(c.detail), std::string::npos) << e.Detail();
                EXPECT_STREQ(e.File(), "mtx/impl/ZylSrvSparseImExPorter");
                EXPECT_STREQ(e.Site(), "internal/ZylSrvSparseText.cpp");
            }
            EXPECT_EQ(zyltest::DenseOf(*a).v, before.v);
            EXPECT_EQ(a->NumberOfNonzeros(), nonzeros);
            std::remove("bad.txt");
        }
    for (bool matrixMarket : {false, true}) // a missing file: no detail
        zyltest::ExpectFamilyError<ZylSrvMtxOpenFileException>(
            [&] {
                if (matrixMarket)
                    zyl_mtx::ReadMatrixMarket("none", false);
                else
                    zyl_mtx::ReadTextTriplets("none", true);
            },
            202, "ZylSrvSparseImExPorter: Failed to open file none.", "mtx/impl/ZylSrvSparseImExPorter");
    zyltest::ExpectFamilyError<ZylSrvMtxOpenFileException>([] { zyl_mtx::WriteZeroBasedText("no/dir.txt", {}); },
                                                           202, "ZylSrvSparseImExPorter: Failed to open file no/dir.txt.");
    zyltest::ExpectFamilyError<ZylSrvMtxFileWriteFailure>(
        [] {
            const unsigned offsets[] = {0, 0};
            zyl_mtx::WriteMatrixMarket("/dev/full", {offsets, nullptr, nullptr, nullptr, 1, 1});
        },
        208, "Error at writing to file: /dev/full");
}

} // namespace
