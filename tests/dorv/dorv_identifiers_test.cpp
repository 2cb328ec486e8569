#include <platform/dorv/ZylDorvAPI.h>

#include <gtest/gtest.h>

#include <cstdio>

#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvAssert.h>
#include <platform/utl_FilePath.h>

TEST(DorvIdentifiers, NullIdentifiersHaveTheDocumentedFields)
{
    const ZylDorvContextID context;
    EXPECT_EQ(context.Database(), 0);
    EXPECT_EQ(context.Number(), -1);
    EXPECT_TRUE(context.IsNull());

    const ZylDorvCollectionID collection;
    EXPECT_EQ(collection.Context().Database(), -1);
    EXPECT_EQ(collection.Context().Number(), -1);
    EXPECT_EQ(collection.Minor(), -1);
    EXPECT_EQ(collection.Type(), -1);
    EXPECT_TRUE(collection.IsNull());

    const ZylDorvCSetID cset;
    EXPECT_EQ(cset.Number(), 0);
    EXPECT_TRUE(cset.IsNull());
    EXPECT_EQ(cset.CollectionID(), ZylDorvCollectionID()) << "a null CSet yields the null collection";
    const ZylDorvCSetID numberZero(ZylDorvCollectionID(ZylDorvContextID(1, 1), 3, -1), 0);
    EXPECT_TRUE(numberZero.CollectionID().IsNull()) << "first word 0 means null, whatever else it holds";

    const ZylDorvDistributionID distribution;
    EXPECT_TRUE(distribution.IsNull());
    EXPECT_FALSE(distribution.IsValid());
    EXPECT_EQ(distribution.Number(), 0);
    EXPECT_TRUE(ZylDorvTypeID().IsNull());
    EXPECT_EQ(ZylDorvTypeID().Value(), -1);
    EXPECT_EQ(ZylDorvNamespaceID::AllBits().Bits(), ~std::uint64_t(0));
}

TEST(DorvIdentifiers, ColourLivesInTheMinorIdentifier)
{
    EXPECT_EQ(ZylDorvCollectionID::SetColor(5, 1), 5 | (1 << 24));
    EXPECT_EQ(ZylDorvCollectionID::ColorOf(ZylDorvCollectionID::SetColor(5, 1)), 1);
    EXPECT_EQ(ZylDorvCollectionID::BaseMinor(ZylDorvCollectionID::SetColor(5, 1)), 5);
    EXPECT_EQ(ZylDorvCollectionID::SetColor(ZylDorvCollectionID::SetColor(5, 1), 0), 5);
    EXPECT_EQ(ZylDorvCollectionID::SetColor(-1, 1), -1) << "the null minor stays null";

    const ZylDorvCollectionID plain(ZylDorvContextID(2, 1), 5, 3);
    const ZylDorvCollectionID coloured(plain.Context(), ZylDorvCollectionID::SetColor(plain.Minor(), 1), plain.Type());
    EXPECT_FALSE(ZylDorvDynamicID::Equal(plain, coloured));
    EXPECT_TRUE(ZylDorvDynamicID::Equal(plain, ZylDorvCollectionID(ZylDorvContextID(2, 1), 5, 3)));
    EXPECT_EQ(coloured.Color(), 1);

    const ZylDorvCSetID cset(plain, 7);
    const ZylDorvCSetID recoloured(cset, coloured);
    EXPECT_EQ(recoloured.Number(), 7);
    EXPECT_EQ(recoloured.CollectionID(), coloured);
    EXPECT_NE(recoloured, cset);
}

TEST(DorvUnicodeString, KeepsUtf8AndConvertsUtf16)
{
    const ZylDroviUnicodeString ascii("plain.dorv");
    EXPECT_STREQ(ascii.Utf8(), "plain.dorv");
    EXPECT_EQ(ascii.Length(), 10u);

    const char16_t wide[] = {u'M', 0x00E4, 0x20AC, 0xD83D, 0xDE00, 0};
    const ZylDroviUnicodeString fromWide(wide);
    EXPECT_STREQ(fromWide.Utf8(), "M\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(fromWide.Length(), 4u);
    EXPECT_EQ(fromWide.Utf16(), std::u16string(wide));

    const ZylDroviUnicodeString broken("a\xFF" "b\xC3");
    EXPECT_STREQ(broken.Utf8(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD") << "ill-formed bytes become U+FFFD";
    const char16_t lone[] = {0xDC00, u'x', 0};
    EXPECT_STREQ(ZylDroviUnicodeString(lone).Utf8(), "\xEF\xBF\xBDx");
    EXPECT_TRUE(ZylDroviUnicodeString().IsEmpty());
    EXPECT_TRUE(ZylDroviUnicodeString(atr_String("x")) == ZylDroviUnicodeString("x"));
}

TEST(DorvFilePath, JoinsComponentsAndTestsExistence)
{
    EXPECT_STREQ(utl_FilePath("dir", "name").Chars(), "dir/name");
    EXPECT_STREQ(utl_FilePath("dir/", "name").Chars(), "dir/name");
    EXPECT_STREQ(utl_FilePath("name.dorv", "").Chars(), "name.dorv") << "an empty second component adds nothing";
    EXPECT_STREQ(utl_FilePath(atr_String("a"), nullptr).Chars(), "a");

    EXPECT_FALSE(utl_FilePath("present.txt", "").Exists());
    std::FILE* f = std::fopen("present.txt", "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(utl_FilePath("present.txt", "").Exists());
    EXPECT_TRUE(utl_FilePath(".", "present.txt").Exists());
    std::remove("present.txt");
    EXPECT_FALSE(utl_FilePath("present.txt", "").Exists());
    EXPECT_FALSE(utl_FilePath("", "").Exists());
}

TEST(DorvException, CarriesNumberAndWritesItsDescription)
{
    const ZylDorvException e(70, "ZylDorv error 70: writing values failed: somewhere");
    EXPECT_EQ(e.Number(), 70);
    EXPECT_EQ(e.ErrorCode(), 70);
    ZylDorvDebugOutString out;
    EXPECT_TRUE(out.IsEmpty());
    out.Append("before\n");
    e.Write(out);
    EXPECT_STREQ(out.Chars(), "before\nZylDorv error 70: writing values failed: somewhere");
    try {
        ZylDorvException(21, "text").Throw("platform/dorv/test", 9);
    } catch (const ZylBasException& base) {
        EXPECT_STREQ(base.AsString().Chars(), "text");
        EXPECT_STREQ(base.DeveloperReport().Chars(), "text [platform/dorv/test:9]");
        const auto* dorv = dynamic_cast<const ZylDorvException*>(&base);
        ASSERT_NE(dorv, nullptr) << "the most-derived type is thrown";
        EXPECT_EQ(dorv->Number(), 21);
    }
}

TEST(DorvAssertDeathTest, ReportsTheFailureAndExitsWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the BLAS library may have started threads
    EXPECT_EXIT(ZylDorvAssert::ReportValidationFailure(
                    "pointer.IsNull() && \"File Handle already associated with a DORV database.\"",
                    "mtx/impl/ZylSrvDorvFileHandle", 16),
                ::testing::ExitedWithCode(1),
                "^ZylDorv validation failure: pointer\\.IsNull\\(\\) && \"File Handle already associated with a DORV "
                "database\\.\" \\(mtx/impl/ZylSrvDorvFileHandle, line 16\\)\n$");
}
