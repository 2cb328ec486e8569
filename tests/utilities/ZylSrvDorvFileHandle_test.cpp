#include <mtx/ZylSrvDorvFileHandle.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/mem.h>
#include <platform/utl_FilePath.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

bool FileExists(const char* path) { return utl_FilePath(path, "").Exists(); }

// A regular expression matching `text` literally.
std::string Literally(const std::string& text)
{
    std::string pattern;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

// The context can be used: a collection can be made in it.
void ExpectUsable(ZylDorvContextID context)
{
    EXPECT_FALSE(context.IsNull());
    EXPECT_EQ(ZylDorvContext(context).CreateCollection(3, ZylDorvTypeID()).Context(), context);
}

} // namespace

TEST(ZylSrvDorvFileHandle, StartsEmptyAndAssociateCreatesTheFileAndItsContext)
{
    const char* path = "handle.dorv";
    const long before = mem_LiveBlocks();
    {
        ZylSrvDorvFileHandle handle;
        EXPECT_FALSE(handle.IsAssociated());
        EXPECT_EQ(handle.ShareCount(), 1);
        EXPECT_EQ(mem_LiveBlocks(), before + 1); // the count
        handle.Associate(atr_String(path));
        EXPECT_TRUE(handle.IsAssociated());
        EXPECT_TRUE(FileExists(path));
        ExpectUsable(handle.ContextID());
        EXPECT_EQ(mem_LiveBlocks(), before + 3); // the count, the representation and the database object
    }
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(mem_LiveBlocks(), before);
}

TEST(ZylSrvDorvFileHandle, CopiesShareTheFileUntilTheLastGoesInEitherOrder)
{
    const char* path = "shared.dorv";
    for (int order = 0; order < 2; ++order) {
        auto* original = new ZylSrvDorvFileHandle;
        original->Associate(atr_String(path));
        auto* copy = new ZylSrvDorvFileHandle(*original);
        EXPECT_EQ(original->ShareCount(), 2);
        EXPECT_EQ(copy->ShareCount(), 2);
        EXPECT_TRUE(copy->IsAssociated());
        EXPECT_EQ(copy->ContextID(), original->ContextID());

        // A collection made through one copy is seen through the other.
        const ZylDorvCollectionID made = ZylDorvContext(original->ContextID()).CreateCollection(4, ZylDorvTypeID());
        EXPECT_EQ(ZylDorvCollection(made).Count(), 4);
        EXPECT_EQ(ZylDorvContext(copy->ContextID()).CollectionIDs().Size(), 1);

        ZylSrvDorvFileHandle* first = order == 0 ? original : copy;
        ZylSrvDorvFileHandle* last = order == 0 ? copy : original;
        delete first;
        EXPECT_EQ(last->ShareCount(), 1);
        EXPECT_TRUE(FileExists(path)) << "order " << order;
        ExpectUsable(last->ContextID());
        delete last;
        EXPECT_FALSE(FileExists(path)) << "order " << order;
    }
}

TEST(ZylSrvDorvFileHandle, AssignmentSharesAndReleases)
{
    const char* pathA = "a.dorv";
    const char* pathB = "b.dorv";
    ZylSrvDorvFileHandle a;
    a.Associate(atr_String(pathA));
    ZylSrvDorvFileHandle b;
    b.Associate(atr_String(pathB));
    ZylSrvDorvFileHandle c(b);

    b = a; // b leaves B (still held by c) for A
    EXPECT_EQ(b.ContextID(), a.ContextID());
    EXPECT_EQ(a.ShareCount(), 2);
    EXPECT_EQ(c.ShareCount(), 1);
    EXPECT_TRUE(FileExists(pathB));

    c = a; // the last holder of B goes over to A: B is deleted
    EXPECT_FALSE(FileExists(pathB));
    EXPECT_EQ(a.ShareCount(), 3);

    c = c; // self-assignment changes nothing
    EXPECT_EQ(a.ShareCount(), 3);

    ZylSrvDorvFileHandle empty;
    a = empty;
    b = empty;
    EXPECT_TRUE(FileExists(pathA));
    c = empty;
    EXPECT_FALSE(FileExists(pathA));
    EXPECT_EQ(empty.ShareCount(), 4);
    EXPECT_FALSE(a.IsAssociated());
}

TEST(ZylSrvDorvFileHandle, AssociateOnASharedEmptyHandleLeavesTheOtherCopiesEmpty)
{
    const char* path = "own.dorv";
    ZylSrvDorvFileHandle empty;
    ZylSrvDorvFileHandle copy1(empty);
    ZylSrvDorvFileHandle copy2(empty);
    EXPECT_EQ(empty.ShareCount(), 3);

    copy1.Associate(atr_String(path));
    EXPECT_TRUE(copy1.IsAssociated());
    EXPECT_EQ(copy1.ShareCount(), 1);
    EXPECT_FALSE(empty.IsAssociated());
    EXPECT_FALSE(copy2.IsAssociated());
    EXPECT_EQ(empty.ShareCount(), 2);
    ExpectUsable(copy1.ContextID());

    // The others can still be associated on their own, with another file.
    copy2.Associate(atr_String("own2.dorv"));
    EXPECT_NE(copy2.ContextID(), copy1.ContextID());
    EXPECT_EQ(empty.ShareCount(), 1);
    EXPECT_FALSE(empty.IsAssociated());
    {
        ZylSrvDorvFileHandle last(copy1);
        copy1 = empty;
        EXPECT_TRUE(FileExists(path));
    }
    EXPECT_FALSE(FileExists(path));
    copy2 = empty;
    EXPECT_FALSE(FileExists("own2.dorv"));
}

TEST(ZylSrvDorvFileHandle, FailedAssociateLeavesTheHandleEmptyAndAForeignFileAlone)
{
    const char* path = "taken.dorv";
    std::FILE* foreign = std::fopen(path, "w");
    ASSERT_NE(foreign, nullptr);
    std::fputs("not ours", foreign);
    std::fclose(foreign);

    const long before = mem_LiveBlocks();
    ZylSrvDorvFileHandle handle;
    ZylSrvDorvFileHandle copy(handle);
    try {
        handle.Associate(atr_String(path));
        ADD_FAILURE() << "created over an existing file";
    } catch (const ZylDorvException& e) {
        EXPECT_EQ(e.Number(), ZylDorvError_FileCreateFailed);
    }
    EXPECT_FALSE(handle.IsAssociated());
    EXPECT_EQ(handle.ShareCount(), 1); // took its own count before creating
    EXPECT_EQ(copy.ShareCount(), 1);
    EXPECT_EQ(mem_LiveBlocks(), before + 2); // the two counts, no representation
    EXPECT_TRUE(FileExists(path));

    // A later Associate with a free name works.
    handle.Associate(atr_String("free.dorv"));
    ExpectUsable(handle.ContextID());
    handle = copy;
    EXPECT_FALSE(FileExists("free.dorv"));

    EXPECT_TRUE(FileExists(path));
    std::remove(path);
}

TEST(ZylSrvDorvFileHandleDeathTest, AssociatingTwiceEndsTheProcess)
{
    const char* path = "twice.dorv";
    EXPECT_EXIT(
        {
            ZylSrvDorvFileHandle handle;
            handle.Associate(atr_String(path));
            handle.Associate(atr_String("other.dorv"));
        },
        testing::ExitedWithCode(1),
        Literally("pointer.IsNull() && \"File Handle already associated with a DORV database.\" "
                  "(mtx/impl/ZylSrvDorvFileHandle, line 16)"));
    // The child got as far as creating the first file and no further.
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists("other.dorv"));
    std::remove(path);
}

TEST(ZylSrvDorvFileHandleDeathTest, ContextOfAnEmptyHandleEndsTheProcess)
{
    const std::string expected = Literally("pointer.HasValue() && \"File Handle is not associated with a DORV "
                                           "database.\" (mtx/impl/ZylSrvDorvFileHandle, line 22)");
    ZylSrvDorvFileHandle empty;
    EXPECT_EXIT(empty.ContextID(), testing::ExitedWithCode(1), expected);

    // Also for a copy left empty when another copy was associated.
    ZylSrvDorvFileHandle associated(empty);
    associated.Associate(atr_String("left.dorv"));
    EXPECT_EXIT(empty.ContextID(), testing::ExitedWithCode(1), expected);
    associated = empty;
    EXPECT_FALSE(FileExists("left.dorv"));
}
