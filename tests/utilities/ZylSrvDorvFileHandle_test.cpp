// ZylSrvDorvFileHandle: a shared count, the database file made by Associate
// and removed with the last handle, and the two validation failures.
#include "support/FamilyError.h"

#include <mtx/ZylSrvDorvFileHandle.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>
#include <platform/utl_FilePath.h>

#include <gmock/gmock.h>

#include <cstdio>
#include <string>
#include <tuple>

namespace {

bool FileExists(const char* path) { return utl_FilePath(path, "").Exists(); }

// Exactly the validation failure report of `text`, as the dying process writes it.
testing::Matcher<const std::string&> Report(const std::string& text) { return testing::StrEq("ZylDorv validation failure: " + text + "\n"); }

// The context can be used: a collection can be made in it.
void ExpectUsable(ZylDorvContextID context) { EXPECT_EQ(ZylDorvContext(context).CreateCollection(3, ZylDorvTypeID()).Context(), context); }

} // namespace

TEST(ZylSrvDorvFileHandle, CopiesShareTheFileUntilTheLastGoesInEitherOrder)
{
    const char* path = "shared.dorv";
    const long before = mem_LiveBlocks();
    for (int order = 0; order < 2; ++order) {
        SCOPED_TRACE(order);
        auto* original = new ZylSrvDorvFileHandle;
        original->Associate(atr_String(path));
        auto* copy = new ZylSrvDorvFileHandle(*original);
        EXPECT_EQ(std::make_pair(original->ShareCount(), copy->ShareCount()), std::make_pair(2, 2));
        ZylDorvContext(original->ContextID()).CreateCollection(4, ZylDorvTypeID());
        EXPECT_EQ(ZylDorvContext(copy->ContextID()).CollectionIDs().Size(), 1) << "one file seen through both";
        ZylSrvDorvFileHandle* last = order == 0 ? copy : original;
        delete (order == 0 ? original : copy);
        EXPECT_EQ(std::make_pair(last->ShareCount(), FileExists(path)), std::make_pair(1, true));
        ExpectUsable(last->ContextID());
        delete last;
        EXPECT_EQ(std::make_pair(FileExists(path), mem_LiveBlocks()), std::make_pair(false, before));
    }
}

TEST(ZylSrvDorvFileHandle, AssignmentSharesAndReleasesAndAssociateLeavesEmptyCopiesEmpty)
{
    ZylSrvDorvFileHandle a, b, empty, copy1(empty), copy2(empty);
    a.Associate(atr_String("a.dorv"));
    b.Associate(atr_String("b.dorv"));
    ZylSrvDorvFileHandle c(b);
    b = a; // b leaves B (still held by c) for A
    EXPECT_EQ(b.ContextID(), a.ContextID());
    EXPECT_EQ(std::make_tuple(a.ShareCount(), c.ShareCount(), FileExists("b.dorv")), std::make_tuple(2, 1, true));
    c = a; // the last holder of B goes over to A: B is deleted
    EXPECT_FALSE(FileExists("b.dorv"));
    c = c;
    EXPECT_EQ(a.ShareCount(), 3) << "self-assignment changes nothing";
    a = b = empty;
    EXPECT_TRUE(FileExists("a.dorv"));
    c = empty;
    EXPECT_EQ(std::make_tuple(FileExists("a.dorv"), empty.ShareCount(), a.IsAssociated()), std::make_tuple(false, 6, false));
    copy1.Associate(atr_String("own.dorv"));
    EXPECT_EQ(std::make_pair(copy1.ShareCount(), empty.ShareCount()), std::make_pair(1, 5));
    EXPECT_FALSE(empty.IsAssociated() || copy2.IsAssociated());
    ExpectUsable(copy1.ContextID());
    copy2.Associate(atr_String("own2.dorv"));
    EXPECT_NE(copy2.ContextID(), copy1.ContextID());
    {
        ZylSrvDorvFileHandle last(copy1);
        copy1 = empty;
        EXPECT_TRUE(FileExists("own.dorv"));
    }
    EXPECT_FALSE(FileExists("own.dorv"));
    copy2 = empty;
    EXPECT_FALSE(FileExists("own2.dorv"));
}

TEST(ZylSrvDorvFileHandle, FailedAssociateLeavesTheHandleEmptyAndAForeignFileAlone)
{
    const char* path = "taken.dorv";
    std::FILE* foreign = std::fopen(path, "w");
    std::fputs("not ours", foreign), std::fclose(foreign);
    const long before = mem_LiveBlocks();
    ZylSrvDorvFileHandle handle, copy(handle);
    EXPECT_DORV_ERROR(handle.Associate(atr_String(path)), ZylDorvError_FileCreateFailed, "CreateFile \"taken.dorv\"");
    // Empty, with its own count taken before creating: the two counts, no representation.
    EXPECT_EQ(std::make_tuple(handle.IsAssociated(), handle.ShareCount(), copy.ShareCount(), mem_LiveBlocks()), std::make_tuple(false, 1, 1, before + 2));
    handle.Associate(atr_String("free.dorv"));
    ExpectUsable(handle.ContextID());
    handle = copy;
    EXPECT_EQ(std::make_pair(FileExists("free.dorv"), FileExists(path)), std::make_pair(false, true));
    std::remove(path);
}

TEST(ZylSrvDorvFileHandleDeathTest, AssociatingTwiceOrTheContextOfAnEmptyHandleEndsTheProcess)
{
    EXPECT_EXIT({ ZylSrvDorvFileHandle handle; handle.Associate(atr_String("twice.dorv")); handle.Associate(atr_String("other.dorv")); }, testing::ExitedWithCode(1),
                Report("pointer.IsNull() && \"File Handle already associated with a DORV database.\" (mtx/impl/ZylSrvDorvFileHandle, line 16)"));
    EXPECT_EQ(std::make_pair(FileExists("twice.dorv"), FileExists("other.dorv")), std::make_pair(true, false)) << "the child created the first file only";
    std::remove("twice.dorv");
    ZylSrvDorvFileHandle empty;
    EXPECT_EXIT(empty.ContextID(), testing::ExitedWithCode(1), Report("pointer.HasValue() && \"File Handle is not associated with a DORV database.\" (mtx/impl/ZylSrvDorvFileHandle, line 22)"));
}
