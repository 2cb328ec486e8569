// The dispatch of the format codes, its errors, and the database drawers.
#include <mtx/ZylSrvSparseMatrix.h>
#include <mtx/ZylSrvUtilities.h>
#include <platform/ZylSrvSystemDofDefinition.h>

#include <support/DatabaseTest.h>
#include <support/FamilyError.h>
#include <support/SparseReference.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace zyltest;
using I = ZylSrvSparseMatrixInspector;

bool Exists(const char* path) { return std::ifstream(path).good(); }

TEST(SparseFileErrors, EachRefusalHasItsNumberAndMessageAndChangesNothing)
{
    const std::string src = "mtx/impl/ZylSrvSparseImExPorter";
    SparseHolder general = AssembledOf(RandomTriplets(5, 4, 9, 2), 5, 4);
    const RefMatrix before = DenseOf(*general);
    for (int code : {4, 5, 8, -1})
        ExpectFamilyError<ZylSrvMtxUnsupportedImpFmt>([&] { general->Import("x", code); }, 210,
                                                      "ZylSrvSparseImExPorter: Unsupported import format.", src);
    for (int code : {0, 1, 2, 8, -1})
        ExpectFamilyError<ZylSrvMtxUnsupportedExpFmt>([&] { general->Export("x", code, nullptr); }, 207,
                                                      "ZylSrvSparseImExPorter: Unsupported export format.", src);
    ExpectFamilyError<ZylSrvMtxNoUnsymmetric>([&] { general->Export("x", 6, nullptr); }, 209,
                                              "ZylSrvSparseMatrix::Export symmetric:False not supported!", src);
    ExpectIllegalInput([&] { general->Export("x", 4, nullptr); }, "Export", src);
    EXPECT_FALSE(Exists("x"));
    for (int code : {0, 1, 6, 7})
        ExpectFamilyError<ZylSrvMtxOpenFileException>([&] { general->Import("missing.bin", code); }, 202,
                                                      "ZylSrvSparseImExPorter: Failed to open file missing.bin.", src);
    EXPECT_EQ(DenseOf(*general).v, before.v);
    ExpectFamilyError<ZylSrvMtxOpenFileException>([&] { general->Export("no/such/dir", 7, nullptr); }, 202,
                                                  "ZylSrvSparseImExPorter: Failed to open file no/such/dir.", src);
    ExpectFamilyError<ZylSrvMtxFileWriteFailure>([&] { general->Export("/dev/full", 7, nullptr); }, 208,
                                                 "Error at writing to file: /dev/full", src);
}

// The binary writers do not truncate: a longer old file keeps its tail.
TEST(SparseFileErrors, BinaryWritersOverwriteWithoutTruncating)
{
    std::ofstream("old.bin") << std::string(1000, 'z');
    SparseHolder a = AssembledOf({{1, 1, 2.5}}, 2, 2);
    a->Export("old.bin", 7, nullptr);
    std::ifstream f("old.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(48), std::string(1000 - 48, 'z'));
    double stored;
    std::memcpy(&stored, bytes.data() + 16 + 3 * 8, 8);
    EXPECT_EQ(stored, 2.5);
    std::remove("old.bin");
}

class SparseDrawers : public DatabaseTest {};

// Both forms through a new drawer and back: the same arrays, the drawer's
// CSets, the form's symmetry and count.
TEST_F(SparseDrawers, BothFormsComeBackFromTheirDrawer)
{
    const std::vector<ZylSrvSparseMatrixEntry> t = RandomTriplets(6, 4, 15, 3);
    SparseHolder general = AssembledOf(t, 6, 4);
    SparseHolder symmetric(I::FromArrays({0, 0, 1, 1, 3}, {0, 2, 0}, {1.5, -2, 3}, {4, 5, 6, 7}, 7, 4, 4));
    struct Case {
        const ZylSrvSparseMatrix* matrix;
        int symmetry;
    };
    for (const Case& c : {Case{general.get(), 2}, Case{symmetric.get(), 1}}) {
        const ZylSrvSparseMatrix& m = *c.matrix;
        ZylDorvCSetID rows = AllOf(NewCollection(m.NumberOfRows()));
        ZylDorvCSetID columns = AllOf(NewCollection(m.NumberOfColumns()));
        const ZylDorvDistributionID id = ZylSrvUtilities::CreateSparseDistribution(rows, columns);
        m.Export(rows, columns, id);
        SparseHolder back = AssembledOf({{0, 0, 1.0}}, 1, 1);
        back->Import(id);
        const unsigned stored = I::RowOffsets(m)[m.NumberOfRows()];
        EXPECT_EQ(std::vector<unsigned>(I::RowOffsets(*back), I::RowOffsets(*back) + m.NumberOfRows() + 1),
                  std::vector<unsigned>(I::RowOffsets(m), I::RowOffsets(m) + m.NumberOfRows() + 1));
        EXPECT_EQ(std::vector<int>(I::ColumnIndices(*back), I::ColumnIndices(*back) + stored),
                  std::vector<int>(I::ColumnIndices(m), I::ColumnIndices(m) + stored));
        EXPECT_EQ(DenseOf(*back).v, DenseOf(m).v);
        EXPECT_EQ(back->NumberOfNonzeros(), m.NumberOfNonzeros());
        EXPECT_EQ(I::Symmetry(*back), c.symmetry);
        EXPECT_TRUE(back->RowCSetID() == rows && back->ColumnCSetID() == columns);
    }
}

} // namespace
