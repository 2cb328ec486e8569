// ZylSrvDorvFileHandle: a shared count, the database file made by Associate
// and removed with the last handle (by absolute path and identity), the
// allocation sweep and the two validation failures.
#include "support/AllocationSweep.h"
#include "support/FamilyError.h"

#include <mtx/ZylSrvDorvFileHandle.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>
#include <platform/utl_FilePath.h>

#include <gmock/gmock.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>

namespace {

bool FileExists(const char* path) { return utl_FilePath(path, "").Exists(); }

// Exactly the validation failure report of `text`, as the dying process writes it.
testing::Matcher<const std::string&> Report(const std::string& text) { return testing::StrEq("ZylDorv validation failure: " + text + "\n"); }

// The context can be used: a collection can be made in it.
void ExpectUsable(ZylDorvContextID context) { EXPECT_EQ(ZylDorvContext(context).CreateCollection(3, ZylDorvTypeID()).Context(), context); }

} // namespace

TEST(ZylSrvDorvFileHandle, AssignmentSharesAndReleasesAndAssociateLeavesEmptyCopiesEmpty)
{
    ZylSrvDorvFileHandle a, b, empty, copy1(empty), copy2(empty);
    a.Associate(atr_String("a.dorv"));
    b.Associate(atr_String("b.dorv"));
    ZylSrvDorvFileHandle c(b);
    b = a; // b leaves B (still held by its copy c) for A
    EXPECT_EQ(b.ContextID(), a.ContextID());
    ExpectUsable(c.ContextID());
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
    copy1 = empty;
    EXPECT_FALSE(FileExists("own.dorv"));
}

TEST(ZylSrvDorvFileHandle, FailedAssociateLeavesTheHandleEmptyAndAForeignFileAlone)
{
    const char* path = "taken.dorv";
    std::ofstream(path) << "not ours";
    const long before = mem_LiveBlocks();
    ZylSrvDorvFileHandle handle, copy(handle);
    EXPECT_DORV_ERROR(handle.Associate(atr_String(path)), ZylDorvError_FileCreateFailed, "CreateFile \"taken.dorv\"");
    // As it was: empty, the count still shared with its copy.
    EXPECT_EQ(std::make_tuple(handle.IsAssociated(), handle.ShareCount(), copy.ShareCount(), mem_LiveBlocks()), std::make_tuple(false, 2, 2, before + 1));
    EXPECT_EQ(std::remove(path), 0) << "the foreign file is still there";
}

TEST(ZylSrvDorvFileHandle, ReleaseDeletesOnlyTheFileItCreatedWhereverTheCurrentDirectoryIsThen)
{
    namespace fs = std::filesystem;
    const fs::path home = fs::current_path();
    fs::create_directory("elsewhere");
    {
        ZylSrvDorvFileHandle ours, replaced;
        ours.Associate(atr_String("x.dorv"));
        replaced.Associate(atr_String("y.dorv"));
        fs::remove("y.dorv"), std::ofstream("y.dorv") << "stranger"; // a new file under our name
        fs::current_path("elsewhere");
        std::ofstream("x.dorv") << "stranger";
    }
    fs::current_path(home);
    EXPECT_EQ(std::make_tuple(fs::exists("elsewhere/x.dorv"), fs::exists("x.dorv"), fs::exists("y.dorv")), std::make_tuple(true, false, true));
    fs::remove_all("elsewhere"), fs::remove("y.dorv");
}

TEST(ZylSrvDorvFileHandle, AssociateCopyAndReleaseRefusedAnAllocationLeakNothingAndLeaveNoFile)
{
    const long before = mem_LiveBlocks();
    std::unique_ptr<ZylSrvDorvFileHandle> handle, copy;
    const auto empty = [&] { copy.reset(), handle = std::make_unique<ZylSrvDorvFileHandle>(), copy = std::make_unique<ZylSrvDorvFileHandle>(*handle); };
    const auto associated = [&] { empty(), handle->Associate(atr_String("h.dorv")); };
    struct Operation { const char* name; std::function<void()> prepare, run; };
    const Operation operations[] = {
        {"Associate", empty, [&] { handle->Associate(atr_String("h.dorv")); }},
        {"copy", associated, [&] { ZylSrvDorvFileHandle another(*handle); }},
        {"assignment", associated, [&] { *copy = *handle; }},
        {"Release of the last holder", associated, [&] { handle.reset(); }},
    };
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.name);
        const bool was = (op.prepare(), handle->IsAssociated());
        zyltest::SweepAllocationFailures(op.prepare, op.run, [&](int) { EXPECT_EQ(std::make_pair(handle->IsAssociated(), FileExists("h.dorv")), std::make_pair(was, was)); });
    }
    handle.reset(), copy.reset();
    EXPECT_EQ(std::make_pair(FileExists("h.dorv"), mem_LiveBlocks()), std::make_pair(false, before));
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
