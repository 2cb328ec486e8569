#include "DorvTestSupport.h"

namespace {

std::vector<int> Members(ZylDorvCSetID id)
{
    ZylDorvCSet cset(id);
    std::vector<int> out(static_cast<std::size_t>(cset.Size()), -1);
    cset.OrderedMembers(out.data());
    return out;
}

} // namespace

using CollectionTest = DorvTest;

TEST_F(CollectionTest, KnowsItsCountAndType)
{
    ZylDorvContext context(ctx);
    const ZylDorvCollectionID empty = context.CreateCollection(0, ZylDorvTypeID());
    const ZylDorvCollectionID ten = context.CreateCollection(10, -1);
    EXPECT_EQ(ZylDorvCollection(empty).Count(), 0);
    EXPECT_EQ(ZylDorvCollection(ten).Count(), 10);
    EXPECT_EQ(ten.Context(), ctx);
    EXPECT_EQ(ten.Type(), -1);
    EXPECT_NE(empty.Minor(), ten.Minor());

    EXPECT_EQ(context.Schema().NumTypes(), 0);
    EXPECT_EQ(context.DefineType("node"), 0);
    EXPECT_EQ(context.DefineType("element"), 1);
    const ZylDorvTypeSchemaSnapshot schema = context.Schema();
    EXPECT_EQ(schema.NumTypes(), 2);
    EXPECT_EQ(schema.TypeID(1).Value(), 1);
    const ZylDorvCollectionID typed = context.CreateCollection(3, schema.TypeID(1));
    EXPECT_EQ(typed.Type(), 1);
    EXPECT_EQ(ZylDorvCollection(typed).Count(), 3);

    const ZylDorvArray<ZylDorvCollectionID> all = context.CollectionIDs();
    ASSERT_EQ(all.Size(), 3);
    EXPECT_EQ(all[0], empty);
    EXPECT_EQ(all[1], ten);
    EXPECT_EQ(all[2], typed);
}

TEST_F(CollectionTest, OrderedCSetsKeepTheirOrderAndGrowTheCollection)
{
    const ZylDorvCollectionID id = ZylDorvContext(ctx).CreateCollection(5, ZylDorvTypeID());
    ZylDorvCollection collection(id);
    const int shuffled[] = {4, 0, 3};
    const ZylDorvCSetID a = collection.CreateOrderedCSet(shuffled, 3);
    EXPECT_EQ(Members(a), (std::vector<int>{4, 0, 3}));
    EXPECT_EQ(ZylDorvCSet(a).Member(0), 4);
    EXPECT_EQ(ZylDorvCSet(a).Size(), 3);
    EXPECT_EQ(a.CollectionID(), id);
    EXPECT_FALSE(a.IsTemporary());
    EXPECT_EQ(collection.Count(), 5) << "labels inside the collection leave the count alone";

    const int run[] = {2, 3, 4, 5, 6, 7};
    const ZylDorvCSetID b = collection.CreateOrderedCSet(run, 6);
    EXPECT_EQ(Members(b), (std::vector<int>{2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(collection.Count(), 8) << "labels beyond the count are accepted and grow the collection";

    const ZylDorvCSetID empty = collection.CreateOrderedCSet(nullptr, 0);
    EXPECT_EQ(ZylDorvCSet(empty).Size(), 0);

    const ZylDorvArray<ZylDorvCSetID> ids = collection.CSetIDs();
    ASSERT_EQ(ids.Size(), 3);
    EXPECT_EQ(ids[0], a);
    EXPECT_EQ(ids[2], empty);
}

TEST_F(CollectionTest, ContainerStyleCollectionsStartEmptyAndShareLabels)
{
    ZylDorvContext context(ctx);
    ZylDorvTransaction transaction(ctx);
    ZylDorvCollection rows(context.CreateCollection(0, ZylDorvTypeID()));
    std::vector<int> labels(40);
    std::iota(labels.begin(), labels.end(), 0);
    const ZylDorvCSetID first = rows.CreateOrderedCSet(labels.data(), 40);
    const ZylDorvCSetID second = rows.CreateOrderedCSet(labels.data(), 25);
    transaction.Commit();
    EXPECT_EQ(rows.Count(), 40);
    EXPECT_NE(first, second);
    EXPECT_TRUE(ZylDorvCSet(first).HasOverlap(second));
    EXPECT_EQ(Members(second), std::vector<int>(labels.begin(), labels.begin() + 25));
}

TEST_F(CollectionTest, StridedCSetsListBlocksAndGrowTheCollection)
{
    ZylDorvCollection collection(ZylDorvContext(ctx).CreateCollection(4, ZylDorvTypeID()));
    EXPECT_EQ(Members(collection.CreateCSetStrided(1, 3, 1, 1)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Members(collection.CreateCSetStrided(0, 3, 5, 2)), (std::vector<int>{0, 1, 5, 6, 10, 11}));
    EXPECT_EQ(collection.Count(), 12) << "a strided CSet past the count grows the collection";
    EXPECT_EQ(Members(collection.CreateCSetStrided(12, 2, 3, 3)), (std::vector<int>{12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(collection.Count(), 18);
    EXPECT_EQ(ZylDorvCSet(collection.CreateCSetStrided(30, 0, 1, 1)).Size(), 0);
    EXPECT_EQ(collection.Count(), 18) << "an empty CSet holds no label";

    EXPECT_DORV_ERROR(collection.CreateCSetStrided(0, 2, 1, 2), ZylDorvError_InvalidStride,
                      "ZylDorv error 35: invalid stride: CreateCSetStrided(0, 2, 1, 2): start >= 0, count >= 0 and "
                      "stride >= block >= 1 expected");
    EXPECT_DORV_ERROR_HAS(collection.CreateCSetStrided(-1, 2, 1, 1), ZylDorvError_InvalidStride, "CreateCSetStrided(-1, 2, 1, 1)");
    EXPECT_DORV_ERROR_HAS(collection.CreateCSetStrided(0, -2, 1, 1), ZylDorvError_InvalidStride, "CreateCSetStrided(0, -2, 1, 1)");
    EXPECT_DORV_ERROR_HAS(collection.CreateCSetStrided(0, 2, 0, 0), ZylDorvError_InvalidStride, "CreateCSetStrided(0, 2, 0, 0)");
}

TEST_F(CollectionTest, BiggestCSetListsAllMembersAndIsReusedUntilTheCountChanges)
{
    ZylDorvCollection collection(ZylDorvContext(ctx).CreateCollection(6, ZylDorvTypeID()));
    const ZylDorvCSetID all = collection.BiggestCSetID();
    EXPECT_EQ(Members(all), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(collection.BiggestCSetID(), all);
    collection.CreateCSetStrided(6, 2, 1, 1);
    const ZylDorvCSetID grown = collection.BiggestCSetID();
    EXPECT_NE(grown, all);
    EXPECT_EQ(ZylDorvCSet(grown).Size(), 8);
    EXPECT_EQ(ZylDorvCSet(all).Size(), 6) << "an earlier CSet keeps its members";
}

TEST_F(CollectionTest, TemporaryCSetsLeaveTheCollectionAloneAndEndWithTheDatabase)
{
    ZylDorvCollection collection(ZylDorvContext(ctx).CreateCollection(10, ZylDorvTypeID()));
    const int labels[] = {7, 8, 9, 10, 11};
    const ZylDorvCSetID temp = collection.CreateTempOrderedCSet(labels, 5);
    EXPECT_TRUE(temp.IsTemporary());
    EXPECT_LT(temp.Number(), 0);
    EXPECT_EQ(Members(temp), (std::vector<int>{7, 8, 9, 10, 11}));
    EXPECT_EQ(collection.Count(), 10);
    EXPECT_EQ(collection.CSetIDs().Size(), 0) << "temporary CSets are not listed with the permanent ones";
    const int dup[] = {1, 1};
    EXPECT_DORV_ERROR_HAS(collection.CreateTempOrderedCSet(dup, 2), ZylDorvError_DuplicateLabel, "label 1 is listed twice");

    const ZylDorvCollectionID id = collection.ID();
    db.Close();
    db.OpenFile(ZylDroviUnicodeString("t.dorv"), ZylDorvDatabase::OpenReadWrite);
    const ZylDorvContextID reopened = db.ContextIDs()[0];
    const ZylDorvCollectionID again(reopened, id.Minor(), id.Type());
    EXPECT_DORV_ERROR_HAS(ZylDorvCSet(ZylDorvCSetID(again, temp.Number())), ZylDorvError_CSetNotFound, "CSet -1");
}

TEST_F(CollectionTest, HasOverlapComparesLabels)
{
    ZylDorvContext context(ctx);
    ZylDorvCollection a(context.CreateCollection(20, ZylDorvTypeID()));
    ZylDorvCollection b(context.CreateCollection(20, ZylDorvTypeID()));
    const ZylDorvCSetID low = a.CreateCSetStrided(0, 5, 1, 1);
    const ZylDorvCSetID high = a.CreateCSetStrided(5, 5, 1, 1);
    const ZylDorvCSetID touching = a.CreateCSetStrided(4, 3, 1, 1);
    const int scattered[] = {19, 3, 11};
    const int others[] = {18, 12, 10};
    const ZylDorvCSetID s1 = a.CreateOrderedCSet(scattered, 3);
    const ZylDorvCSetID s2 = a.CreateTempOrderedCSet(others, 3);
    EXPECT_FALSE(ZylDorvCSet(low).HasOverlap(high));
    EXPECT_TRUE(ZylDorvCSet(low).HasOverlap(touching));
    EXPECT_TRUE(ZylDorvCSet(high).HasOverlap(ZylDorvCSet(touching)));
    EXPECT_TRUE(ZylDorvCSet(low).HasOverlap(s1)) << "label 3";
    EXPECT_FALSE(ZylDorvCSet(s1).HasOverlap(s2));
    EXPECT_TRUE(ZylDorvCSet(s2).HasOverlap(a.CreateCSetStrided(10, 1, 1, 1)));
    EXPECT_FALSE(ZylDorvCSet(low).HasOverlap(b.CreateCSetStrided(0, 5, 1, 1))) << "other collection, no shared members";
    EXPECT_FALSE(ZylDorvCSet(low).HasOverlap(a.CreateOrderedCSet(nullptr, 0)));
}

TEST_F(CollectionTest, ColourVariantsAreTheSameMembersAsAnotherAxis)
{
    ZylDorvContext context(ctx);
    ZylDorvCollection plain(context.CreateCollection(4, ZylDorvTypeID()));
    const ZylDorvCollectionID red = plain.CreateColorVariant(1);
    EXPECT_EQ(red.Color(), 1);
    EXPECT_EQ(red.Context(), plain.ID().Context());
    EXPECT_EQ(red.Type(), plain.ID().Type());
    EXPECT_EQ(ZylDorvCollectionID::BaseMinor(red.Minor()), plain.ID().Minor());
    EXPECT_FALSE(ZylDorvDynamicID::Equal(red, plain.ID()));
    EXPECT_EQ(plain.CreateColorVariant(0), plain.ID());

    ZylDorvCollection redHandle(red);
    EXPECT_EQ(redHandle.Count(), 4);
    const ZylDorvCSetID seenRed = redHandle.BiggestCSetID();
    EXPECT_EQ(seenRed.CollectionID(), red) << "CSets are seen through the handle's colour";
    const ZylDorvCSetID seenPlain = plain.BiggestCSetID();
    EXPECT_EQ(seenPlain.Number(), seenRed.Number()) << "one CSet, two colours";
    EXPECT_TRUE(ZylDorvCSet(seenPlain).HasOverlap(seenRed));

    // A grid may hold one collection twice only in two colours.
    const ZylDorvDistributionID square =
        context.CreateDistribution(ZylDorvGrid{red, plain.ID()}, ZylDorvRangeType(), ZylDorvTypeID());
    EXPECT_EQ(ZylDorvDistribution(square).AxisCollectionID(0), red);
    EXPECT_DORV_ERROR(context.CreateDistribution(ZylDorvGrid{plain.ID(), plain.ID()}, ZylDorvRangeType(), ZylDorvTypeID()),
                      ZylDorvError_InvalidGrid,
                      "ZylDorv error 40: invalid grid: CreateDistribution in context 1 of \"t.dorv\": axis 1 repeats axis 0 "
                      "(use a colour variant of the collection)");
    EXPECT_DORV_ERROR_HAS(plain.CreateColorVariant(128), ZylDorvError_InvalidArgument, "colour 0 to 127 expected");
}

TEST_F(CollectionTest, RefusesBadLabelsAndCounts)
{
    ZylDorvCollection collection(ZylDorvContext(ctx).CreateCollection(4, ZylDorvTypeID()));
    const int dup[] = {3, 1, 3};
    EXPECT_DORV_ERROR(collection.CreateOrderedCSet(dup, 3), ZylDorvError_DuplicateLabel,
                      "ZylDorv error 30: duplicate label: CreateOrderedCSet in collection 1 in context 1 of \"t.dorv\": "
                      "label 3 is listed twice");
    const int negative[] = {0, -2};
    EXPECT_DORV_ERROR(collection.CreateOrderedCSet(negative, 2), ZylDorvError_InvalidLabel,
                      "ZylDorv error 31: invalid label: CreateOrderedCSet in collection 1 in context 1 of \"t.dorv\": label -2");
    EXPECT_DORV_ERROR(collection.CreateOrderedCSet(nullptr, 2), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: CreateOrderedCSet: no labels given for count 2");
    EXPECT_DORV_ERROR(collection.CreateOrderedCSet(dup, -1), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: CreateOrderedCSet: count -1");
    EXPECT_DORV_ERROR(ZylDorvContext(ctx).CreateCollection(-3, ZylDorvTypeID()), ZylDorvError_InvalidArgument,
                      "ZylDorv error 1: invalid argument: CreateCollection in context 1 of \"t.dorv\": count -3");
    EXPECT_EQ(collection.CSetIDs().Size(), 0) << "refused CSets leave nothing behind";
    EXPECT_EQ(collection.Count(), 4);
}
