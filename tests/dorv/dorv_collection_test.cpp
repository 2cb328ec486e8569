// Collections, their CSets (ordered, strided, temporary, the biggest one),
// overlap of CSets and colour variants. Refusals are in dorv_errors_test.
#include "support/DatabaseTest.h"
#include "support/FamilyError.h"

#include <functional>
#include <tuple>

using zyltest::MembersOf;
using CollectionTest = zyltest::DatabaseTest;

TEST_F(CollectionTest, CountsTypesAndCSetKindsThatListTheirMembersAndGrowTheCollection)
{
    ZylDorvContext context = Context();
    EXPECT_EQ(context.DefineType("node"), 0);
    EXPECT_EQ(context.DefineType("element"), 1);
    EXPECT_EQ(context.Schema().NumTypes(), 2);
    const ZylDorvCollectionID ids[] = {NewCollection(0), context.CreateCollection(10, -1), context.CreateCollection(3, context.Schema().TypeID(1))};
    const int counts[] = {0, 10, 3};
    const ZylDorvArray<ZylDorvCollectionID> listed = context.CollectionIDs();
    ASSERT_EQ(listed.Size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::make_tuple(listed[i] == ids[i], ids[i].Context() == ctx, ZylDorvCollection(ids[i]).Count(), ids[i].Type()),
                  std::make_tuple(true, true, counts[i], i == 2 ? 1 : -1));
    ZylDorvCollection collection(NewCollection(5));
    const ZylDorvCollectionID id = collection.ID();
    const int shuffled[] = {4, 0, 3}, run[] = {2, 3, 4, 5, 6, 7}, beyond[] = {17, 18, 19, 20};
    const std::tuple<const char*, std::function<ZylDorvCSetID()>, std::vector<int>, int> rows[] = {
        {"ordered, inside", [&] { return collection.CreateOrderedCSet(shuffled, 3); }, {4, 0, 3}, 5},
        {"ordered, beyond the count", [&] { return collection.CreateOrderedCSet(run, 6); }, {2, 3, 4, 5, 6, 7}, 8},
        {"ordered, empty", [&] { return collection.CreateOrderedCSet(nullptr, 0); }, {}, 8},
        {"strided, blocks of 1", [&] { return collection.CreateCSetStrided(1, 3, 1, 1); }, {1, 2, 3}, 8},
        {"strided, blocks of 2", [&] { return collection.CreateCSetStrided(0, 3, 5, 2); }, {0, 1, 5, 6, 10, 11}, 12},
        {"strided, adjacent blocks", [&] { return collection.CreateCSetStrided(12, 2, 3, 3); }, {12, 13, 14, 15, 16, 17}, 18},
        {"strided, empty", [&] { return collection.CreateCSetStrided(30, 0, 1, 1); }, {}, 18},
        {"temporary", [&] { return collection.CreateTempOrderedCSet(beyond, 4); }, {17, 18, 19, 20}, 18},
    };
    std::vector<ZylDorvCSetID> permanent;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::get<0>(row));
        const ZylDorvCSetID cset = std::get<1>(row)();
        const std::vector<int>& members = std::get<2>(row);
        const bool temporary = &row == &rows[7];
        EXPECT_EQ(MembersOf(cset), members);
        EXPECT_EQ(std::make_tuple(ZylDorvCSet(cset).Size(), cset.CollectionID() == id, collection.Count(), cset.IsTemporary(), cset.Number() < 0),
                  std::make_tuple(int(members.size()), true, std::get<3>(row), temporary, temporary));
        EXPECT_EQ(members.empty() ? -1 : ZylDorvCSet(cset).Member(0), members.empty() ? -1 : members[0]);
        if (!temporary)
            permanent.push_back(cset);
    }
    const ZylDorvArray<ZylDorvCSetID> csets = collection.CSetIDs();
    EXPECT_EQ(std::vector<ZylDorvCSetID>(csets.Data(), csets.Data() + csets.Size()), permanent) << "temporary CSets are not listed";
    // The biggest CSet lists all members and is reused until the count changes.
    ZylDorvCollection six(NewCollection(6));
    const ZylDorvCSetID all = six.BiggestCSetID();
    EXPECT_EQ(MembersOf(all), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(six.BiggestCSetID(), all);
    six.CreateCSetStrided(6, 2, 1, 1);
    EXPECT_NE(six.BiggestCSetID(), all);
    EXPECT_EQ(ZylDorvCSet(six.BiggestCSetID()).Size(), 8);
    EXPECT_EQ(ZylDorvCSet(all).Size(), 6) << "an earlier CSet keeps its members";
}

TEST_F(CollectionTest, HasOverlapComparesLabels)
{
    ZylDorvCollection a(NewCollection(20)), b(NewCollection(20));
    const ZylDorvCSetID low = a.CreateCSetStrided(0, 5, 1, 1), high = a.CreateCSetStrided(5, 5, 1, 1), touching = a.CreateCSetStrided(4, 3, 1, 1);
    const int scattered[] = {19, 3, 11}, others[] = {18, 12, 10};
    const ZylDorvCSetID s1 = a.CreateOrderedCSet(scattered, 3), s2 = a.CreateTempOrderedCSet(others, 3);
    EXPECT_FALSE(ZylDorvCSet(low).HasOverlap(high));
    EXPECT_TRUE(ZylDorvCSet(low).HasOverlap(touching));
    EXPECT_TRUE(ZylDorvCSet(high).HasOverlap(ZylDorvCSet(touching)));
    EXPECT_TRUE(ZylDorvCSet(low).HasOverlap(s1)) << "label 3";
    EXPECT_FALSE(ZylDorvCSet(s1).HasOverlap(s2));
    EXPECT_TRUE(ZylDorvCSet(a.CreateCSetStrided(10, 1, 1, 1)).HasOverlap(s2)) << "a single member";
    EXPECT_FALSE(ZylDorvCSet(low).HasOverlap(b.CreateCSetStrided(0, 5, 1, 1))) << "other collection";
    EXPECT_FALSE(ZylDorvCSet(low).HasOverlap(a.CreateOrderedCSet(nullptr, 0)));
}

TEST_F(CollectionTest, ColourVariantsAreTheSameMembersAsAnotherAxis)
{
    ZylDorvCollection plain(NewCollection(4));
    const ZylDorvCollectionID red = plain.CreateColorVariant(1);
    EXPECT_EQ(std::make_tuple(red.Color(), red.Context() == plain.ID().Context(), red.Type(), ZylDorvCollectionID::BaseMinor(red.Minor())),
              std::make_tuple(1, true, plain.ID().Type(), plain.ID().Minor()));
    EXPECT_FALSE(ZylDorvDynamicID::Equal(red, plain.ID()));
    EXPECT_EQ(plain.CreateColorVariant(0), plain.ID());
    ZylDorvCollection redHandle(red);
    EXPECT_EQ(redHandle.Count(), 4);
    const ZylDorvCSetID seenRed = redHandle.BiggestCSetID(), seenPlain = plain.BiggestCSetID();
    EXPECT_EQ(seenRed.CollectionID(), red) << "CSets are seen through the handle's colour";
    EXPECT_EQ(seenPlain.Number(), seenRed.Number()) << "one CSet, two colours";
    EXPECT_TRUE(ZylDorvCSet(seenPlain).HasOverlap(seenRed));
    const ZylDorvDistributionID square = Context().CreateDistribution(ZylDorvGrid{red, plain.ID()}, ZylDorvRangeType(), ZylDorvTypeID());
    EXPECT_EQ(ZylDorvDistribution(square).AxisCollectionID(0), red);
}
