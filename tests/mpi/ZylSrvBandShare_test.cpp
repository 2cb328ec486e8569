// The products' band seam in the MPI flavour: the band sum equals a tree sum
// over the band indices done here by plain loops, bit for bit on every rank
// and so for every rank count; the gather leaves every rank with the rows
// each rank formed.
#include "support/ReferenceMatrix.h"

#include <mtx/ZylSrvHermitianScrDenseMatrix.h>
#include <mtx/ZylSrvLinearAlgebra.h>
#include <mtx/ZylSrvScratchDenseMatrix.h>
#include <mtx/impl/internal/ZylSrvBandShare.h>
#include <mtx/impl/internal/ZylSrvBlockGeometry.h>
#include <mtx/mpi/ZylSrvLinearAlgebraParallel.h>
#include <platform/ZylBasException.h>
#include <platform/dorv/ZylDorvException.h>
#include <platform/dorv/ZylDorvProcessGroup.h>
#include <platform/dorv/ZylDorvTestSeam.h>
#include <platform/dorv/mpi/ZylDorvCommunicator.h>
#include <platform/mem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Values = std::vector<double>;

class BandSeamTest : public ::testing::Test {
protected:
    void SetUp() override { ZylSrvLinearAlgebra_initialize_parallel(m_tally, MPI_COMM_WORLD); }
    void TearDown() override { ZylSrvLinearAlgebra_finalize(m_tally); }

private:
    int m_tally = 0;
};

// Band b's part: values of magnitudes that differ from band to band, so
// that sums in another order round differently.
Values Part(int band, int rows, int columns)
{
    std::mt19937_64 generator(7919u * static_cast<unsigned>(band) + 11u);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const double scale = std::ldexp(1.0, (band * 5) % 21 - 10);
    Values part(static_cast<std::size_t>(rows) * columns);
    for (double& value : part)
        value = scale * uniform(generator);
    return part;
}

// Node (level, index) of the tree over bands 0..count-1: left + right, the
// left child alone where the right one starts past the last band.
Values TreeSum(int level, int index, int count, int rows, int columns)
{
    if (level == 0)
        return Part(index, rows, columns);
    Values left = TreeSum(level - 1, 2 * index, count, rows, columns);
    if ((static_cast<std::int64_t>(2 * index + 1) << (level - 1)) < count) {
        const Values right = TreeSum(level - 1, 2 * index + 1, count, rows, columns);
        for (std::size_t k = 0; k < left.size(); ++k)
            left[k] += right[k];
    }
    return left;
}

bool SameBits(const Values& a, const Values& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0);
}

std::uint64_t Digest(const Values& values)
{
    std::uint64_t hash = 1469598103934665603ull;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(values.data());
    for (std::size_t k = 0; k < values.size() * sizeof(double); ++k)
        hash = (hash ^ bytes[k]) * 1099511628211ull;
    return hash;
}

// True when every rank passes the same digest.
bool SameOnEveryRank(std::uint64_t digest)
{
    std::vector<std::uint64_t> all(static_cast<std::size_t>(ZylDorvProcessGroup::Size()));
    MPI_Allgather(&digest, 1, MPI_UINT64_T, all.data(), 1, MPI_UINT64_T, zyl_dorv_mpi::Communicator());
    for (std::uint64_t other : all)
        if (other != digest)
            return false;
    return true;
}

} // namespace

TEST_F(BandSeamTest, SumsOverTheBandTreeTheSameBitsOnEveryRankAndForEveryRankCount)
{
    constexpr double kPad = -7.25; // between columns, where the sum must not write
    struct Case {
        int bands, rows, columns, ld;
    };
    // A size met twice takes the buffers the first sum left; the last case's
    // nodes travel in several panels, the last one narrower.
    for (const Case& c : {Case{1, 4, 3, 4}, Case{2, 5, 2, 7}, Case{3, 6, 4, 6}, Case{5, 3, 5, 4}, Case{8, 7, 3, 9},
                          Case{13, 9, 6, 9}, Case{13, 9, 6, 11}, Case{2, 0, 3, 1}, Case{5, 3, 200000, 4}}) {
        SCOPED_TRACE(::testing::Message() << c.bands << " bands of " << c.rows << " x " << c.columns);
        Values result(static_cast<std::size_t>(c.ld) * c.columns, kPad);
        zyl_mtx::BandSum sum(result.data(), c.rows, c.columns, c.ld, c.bands);
        const zyl_mtx::BandShare share = zyl_mtx::ShareOfBands(c.bands);
        for (int b = share.first; b < share.end; ++b) {
            const zyl_mtx::BandTarget target = sum.Target(b);
            const Values part = Part(b, c.rows, c.columns);
            for (int j = 0; j < c.columns; ++j)
                for (int i = 0; i < c.rows; ++i) {
                    double& value = target.values[static_cast<std::size_t>(target.ld) * j + i];
                    value = (target.beta == 0.0 ? 0.0 : value) + part[static_cast<std::size_t>(c.rows) * j + i];
                }
            sum.Add(b);
        }
        sum.Finish();

        Values got(static_cast<std::size_t>(c.rows) * c.columns);
        Values sequential(got.size(), 0.0);
        double magnitude = 0.0;
        for (int b = 0; b < c.bands; ++b) {
            const Values part = Part(b, c.rows, c.columns);
            for (std::size_t k = 0; k < part.size(); ++k) {
                sequential[k] += part[k];
                magnitude += std::fabs(part[k]);
            }
        }
        for (int j = 0; j < c.columns; ++j)
            for (int i = 0; i < c.ld; ++i) {
                const double value = result[static_cast<std::size_t>(c.ld) * j + i];
                if (i < c.rows) {
                    got[static_cast<std::size_t>(c.rows) * j + i] = value;
                    continue;
                }
                ASSERT_EQ(value, kPad) << "row " << i << " column " << j;
            }
        int height = 0;
        while ((1 << height) < c.bands)
            ++height;
        const Values tree = TreeSum(height, 0, c.bands, c.rows, c.columns);
        EXPECT_TRUE(SameBits(got, tree)) << "not the tree's bits";
        for (std::size_t k = 0; k < got.size(); ++k)
            ASSERT_LE(std::fabs(got[k] - sequential[k]), 1e-13 * magnitude) << "value " << k;
        EXPECT_TRUE(SameOnEveryRank(Digest(got)));
        if (c.bands == 13) { // the data tell the tree from the plain chain
            EXPECT_FALSE(SameBits(got, sequential));
        }
    }
}

// A sum holds at most ceil(log2 s) result-sized buffers for a share of s
// bands (its first node lies in the result), keeps them for the next sum,
// and lets go of them at the shut-down.
TEST_F(BandSeamTest, HoldsAtMostLog2OfItsShareInBuffersAndLetsGoOfThem)
{
    const int rows = 64, columns = 48; // buffers the allocator counts one by one
    for (int bands : {1, 2, 5, 8, 13}) {
        SCOPED_TRACE(::testing::Message() << bands << " bands");
        zyl_mtx::LetGoOfSpareBands();
        const long before = mem_LiveBlocks();
        Values result(static_cast<std::size_t>(rows) * columns);
        const zyl_mtx::BandShare share = zyl_mtx::ShareOfBands(bands);
        {
            zyl_mtx::BandSum sum(result.data(), rows, columns, rows, bands);
            for (int b = share.first; b < share.end; ++b) {
                const zyl_mtx::BandTarget target = sum.Target(b);
                for (int j = 0; j < columns; ++j)
                    std::fill(target.values + static_cast<std::size_t>(target.ld) * j,
                              target.values + static_cast<std::size_t>(target.ld) * j + rows, 1.0);
                sum.Add(b);
            }
            sum.Finish();
        }
        EXPECT_EQ(result.front(), bands);
        int bound = 0;
        while ((1 << bound) < share.end - share.first)
            ++bound;
        EXPECT_LE(mem_LiveBlocks() - before, bound);
        zyl_mtx::LetGoOfSpareBands();
        EXPECT_EQ(mem_LiveBlocks(), before);
    }
}

TEST_F(BandSeamTest, GathersTheRowsEachRankFormedOntoEveryRank)
{
    const int rank = ZylDorvProcessGroup::Rank();
    const int ranks = ZylDorvProcessGroup::Size();
    struct Case {
        int rows, columns, ld;
    };
    // One column: a run of values, as the sparse product's columns are.
    for (const Case& c : {Case{10, 3, 12}, Case{2, 4, 2}, Case{17, 1, 17}}) {
        SCOPED_TRACE(::testing::Message() << c.rows << " x " << c.columns << " (ld " << c.ld << ")");
        const auto value = [&](int i, int j) { return 1000.0 * j + i + 0.5; };
        // Uneven row ranges in rank order: rank r takes r + 1 parts of rows.
        const auto start = [&](int r) { return c.rows * (r * (r + 1) / 2) / (ranks * (ranks + 1) / 2); };
        Values values(static_cast<std::size_t>(c.ld) * c.columns, -1.0);
        for (int j = 0; j < c.columns; ++j)
            for (int i = start(rank); i < start(rank + 1); ++i)
                values[static_cast<std::size_t>(c.ld) * j + i] = value(i, j);
        zyl_mtx::GatherBandRows(values.data(), c.ld, c.columns, start(rank), start(rank + 1));
        for (int j = 0; j < c.columns; ++j)
            for (int i = 0; i < c.ld; ++i)
                ASSERT_EQ(values[static_cast<std::size_t>(c.ld) * j + i], i < c.rows ? value(i, j) : -1.0)
                    << "row " << i << " column " << j;
    }
}

TEST_F(BandSeamTest, TheRanksPartsOfAWalkFollowEachOtherAndCoverItOnce)
{
    const int ranks = ZylDorvProcessGroup::Size();
    struct Case {
        int members, perBlock, perBand;
    };
    // Fewer bands than ranks, a short last block, a short last band.
    for (const Case& c : {Case{100, 10, 1}, Case{95, 10, 3}, Case{7, 10, 1}, Case{64, 8, 2}}) {
        SCOPED_TRACE(::testing::Message() << c.members << " members, blocks of " << c.perBlock << ", bands of "
                                          << c.perBand);
        const zyl_mtx::Bands whole(zyl_mtx::BlockGeometry::Divide(c.members, c.perBlock), c.perBand);
        const zyl_mtx::BandShare share = zyl_mtx::ShareOfBands(whole.Count());
        const zyl_mtx::Bands part = whole.Part(share.first, share.end);
        // Members walked band by band must be the part's range, without gaps.
        int next = part.FirstMember();
        for (const zyl_mtx::Band& band : part) {
            ASSERT_EQ(band.first, next);
            ASSERT_TRUE(share.Contains(whole.IndexOf(band)));
            next = band.last + 1;
        }
        ASSERT_EQ(next, part.EndMember());
        const int mine[2] = {part.FirstMember(), part.EndMember()};
        std::vector<int> all(2 * static_cast<std::size_t>(ranks));
        MPI_Allgather(mine, 2, MPI_INT, all.data(), 2, MPI_INT, zyl_dorv_mpi::Communicator());
        EXPECT_EQ(all.front(), 0);
        EXPECT_EQ(all.back(), c.members);
        for (int r = 1; r < ranks; ++r)
            EXPECT_EQ(all[2 * static_cast<std::size_t>(r)], all[2 * static_cast<std::size_t>(r) - 1]) << "rank " << r;
    }
}

// Whole products through the seam against naive products, one of each kind
// (a sum over bands, rows gathered, a result in the database), on operands
// that rank 0 alone wrote: the product's start orders them before any read.
TEST_F(BandSeamTest, ProductsOfEachKindMatchNaiveProducts)
{
    const bool writer = ZylDorvProcessGroup::Rank() == 0;
    const int m = 200, k = 30, n = 5;
    const zyltest::RefMatrix a = zyltest::RandomMatrix(m, k, 3);
    const zyltest::RefMatrix bTall = zyltest::RandomMatrix(m, n, 4);
    const zyltest::RefMatrix bShort = zyltest::RandomMatrix(k, n, 5);
    ZylSrvScratchDenseMatrix A(m, k, 16, 16);
    if (writer)
        A.SetValues(0, m - 1, 0, k - 1, zyltest::MatrixOf(a));

    ZylSrvMatrix sum(k, n); // slot 14: bands of A's rows summed
    A.TransposeMultiply(zyltest::MatrixOf(bTall), sum, 0);
    zyltest::ExpectMatrixNear(zyltest::NaiveProduct(a, true, bTall), sum.Values(), k, "A^T B");

    ZylSrvMatrix rows(m, n); // slot 6: rows follow A's row blocks
    A.Multiply(zyltest::MatrixOf(bShort), rows);
    zyltest::ExpectMatrixNear(zyltest::NaiveProduct(a, false, bShort), rows.Values(), m, "A B");

    ZylSrvScratchDenseMatrix B(k, n, 16, 16), C(m, n, 16, 16); // slot 8: C in the database
    if (writer)
        B.SetValues(0, k - 1, 0, n - 1, zyltest::MatrixOf(bShort));
    A.Multiply(B, C);
    ZylSrvMatrix stored(m, n);
    C.GetValues(0, m - 1, 0, n - 1, stored);
    zyltest::ExpectMatrixNear(zyltest::NaiveProduct(a, false, bShort), stored.Values(), m, "A B stored");
}

// A read or an allocation that fails on the last rank alone, in the middle
// of each kind of product: every rank raises that rank's error, none waits
// for it in a combine, and the ranks are still in step for the next product.
TEST_F(BandSeamTest, AFailureOnOneRankInAProductIsRaisedOnEveryRank)
{
    const int last = ZylDorvProcessGroup::Size() - 1;
    const int m = 200, k = 30, n = 5;
    const zyltest::RefMatrix a = zyltest::RandomMatrix(m, k, 3);
    const zyltest::RefMatrix bTall = zyltest::RandomMatrix(m, n, 4);
    const zyltest::RefMatrix bShort = zyltest::RandomMatrix(k, n, 5);
    ZylSrvScratchDenseMatrix A(m, k, 16, 16), B(k, n, 16, 16), C(m, n, 16, 16), Btall(m, n, 16, 16),
        Csmall(k, n, 16, 16);
    const std::vector<int> groups(m / 10, 10);
    ZylSrvHermitianScrDenseMatrix H(m, k, static_cast<int>(groups.size()), groups.data(), 16, 16, 0);
    if (ZylDorvProcessGroup::Rank() == 0) {
        A.SetValues(0, m - 1, 0, k - 1, zyltest::MatrixOf(a));
        H.SetValues(0, m - 1, 0, k - 1, zyltest::MatrixOf(a));
        B.SetValues(0, k - 1, 0, n - 1, zyltest::MatrixOf(bShort));
        Btall.SetValues(0, m - 1, 0, n - 1, zyltest::MatrixOf(bTall));
    }
    ZylSrvMatrix sum(k, n), rows(m, n), halves(2 * k, n);
    const auto failRead = [] { ZylDorvTestSeam::FailValueReads(1, ZylDorvError_ValueReadFailed); };
    const auto failAllocation = [] { mem_FailAllocation(1, false); };
    struct Case {
        const char* product;
        std::function<void()> arm;
        std::function<void()> run;
        const char* raised; // a piece of the developer report
    };
    const Case cases[] = {
        {"A^T B, summed over bands", failRead, [&] { A.TransposeMultiply(zyltest::MatrixOf(bTall), sum, 0); },
         "failure forced by the test seam"},
        {"A B, rows gathered", failRead, [&] { A.Multiply(zyltest::MatrixOf(bShort), rows); },
         "failure forced by the test seam"},
        {"A B into the database", failRead, [&] { A.Multiply(B, C); }, "failure forced by the test seam"},
        {"H^T B, two sums over bands", failRead,
         [&] { H.TransposeMultiply(zyltest::MatrixOf(bTall), halves.Values(), 0); }, "failure forced by the test seam"},
        {"A B into the database, staging refused", failAllocation, [&] { A.Multiply(B, C); }, "allocat"},
        {"A^T B into the database, product refused", failAllocation, [&] { A.TransposeMultiply(&Btall, &Csmall, 0); },
         "allocat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        if (ZylDorvProcessGroup::Rank() == last)
            c.arm();
        std::string report = "nothing raised";
        try {
            c.run();
        } catch (const ZylBasException& e) {
            report = e.DeveloperReport().Chars();
        }
        ZylDorvTestSeam::Clear();
        mem_ClearFailure();
        EXPECT_NE(report.find(c.raised), std::string::npos) << report;
        EXPECT_NE(report.find("(rank " + std::to_string(last) + ")"), std::string::npos) << report;
        EXPECT_TRUE(SameOnEveryRank(std::hash<std::string>()(report)));
    }
    A.TransposeMultiply(zyltest::MatrixOf(bTall), sum, 0);
    zyltest::ExpectMatrixNear(zyltest::NaiveProduct(a, true, bTall), sum.Values(), k, "A^T B after the failures");
}
