#ifndef TESTS_UTILITIES_DATABASEFIXTURE_H
#define TESTS_UTILITIES_DATABASEFIXTURE_H
// A fresh database file with one context for each test, closed and deleted
// again afterwards, and helpers that read distributions back.
#include <platform/dorv/ZylDorvAPI.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <vector>

class UtilitiesDatabaseTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_database.CreateFile(ZylDroviUnicodeString(kPath), ZylDorvDatabase::CreateExclusive, -1);
        m_contextID = m_database.CreateContext(ZylDorvNamespaceID::AllBits());
    }

    void TearDown() override
    {
        m_database.Close();
        std::remove(kPath);
    }

    ZylDorvContextID ContextID() const { return m_contextID; }
    ZylDorvContext Context() const { return ZylDorvContext(m_contextID); }
    ZylDorvContextID NewContext() { return m_database.CreateContext(ZylDorvNamespaceID::AllBits()); }

    ZylDorvCollectionID NewCollection(int count) { return Context().CreateCollection(count, ZylDorvTypeID()); }

    // All members of a collection in ordinal order.
    static ZylDorvCSetID AllOf(ZylDorvCollectionID collection) { return ZylDorvCollection(collection).BiggestCSetID(); }

    // Labels first .. first+count-1 of a collection.
    static ZylDorvCSetID RunOf(ZylDorvCollectionID collection, int first, int count)
    {
        return ZylDorvCollection(collection).CreateCSetStrided(first, count, 1, 1);
    }

    static ZylDorvCollectionID ColourOne(ZylDorvCollectionID c)
    {
        return ZylDorvCollectionID(c.Context(), ZylDorvCollectionID::SetColor(c.Minor(), 1), c.Type());
    }
    static ZylDorvCSetID ColourOne(ZylDorvCSetID cset) { return ZylDorvCSetID(cset, ColourOne(cset.CollectionID())); }

    static ZylDorvPersistentDrawerDesc OnlyDrawer(ZylDorvDistributionID id)
    {
        ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
        ZylDorvDistribution(id).QueryDrawers(drawers);
        EXPECT_EQ(drawers.Size(), 1);
        return drawers.IsEmpty() ? ZylDorvPersistentDrawerDesc() : drawers[0];
    }

    static int NumDrawers(ZylDorvDistributionID id)
    {
        ZylDorvArray<ZylDorvPersistentDrawerDesc> drawers;
        ZylDorvDistribution(id).QueryDrawers(drawers);
        return drawers.Size();
    }

    static std::vector<int> ChunksOf(const ZylDorvDrawerDescription& drawer)
    {
        const ZylDorvArray<int>& chunks = drawer.ChunkSizes();
        return std::vector<int>(chunks.Data(), chunks.Data() + chunks.Size());
    }

    // Every value of drawer 0, read into a buffer filled with 99 first.
    template <typename T>
    static std::vector<T> ReadAll(ZylDorvDistributionID id)
    {
        const ZylDorvPersistentDrawerDesc drawer = OnlyDrawer(id);
        std::size_t count = 1;
        for (int k = 0; k < drawer.NumDimensions(); ++k)
            count *= static_cast<std::size_t>(drawer.DimSize(k));
        std::vector<T> values(count, T(99));
        ZylDorvTransfer transfer{ZylDorvDistribution(id)};
        transfer.SetRead();
        transfer.SetBufferPadding(false);
        transfer.CheckView();
        transfer.SetBuffer(0, static_cast<void*>(values.data()), static_cast<std::int64_t>(count * sizeof(T)));
        transfer.ExecRead();
        transfer.RelinquishBuffers();
        return values;
    }

    int NumPermanentDistributions() const { return Context().DistributionIDs().Size(); }

    static constexpr const char* kPath = "utilities.dorv";

private:
    ZylDorvDatabase m_database;
    ZylDorvContextID m_contextID;
};

#endif
