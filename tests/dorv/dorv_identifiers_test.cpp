// The database's file names, paths and exceptions (its assertion reports are
// checked through ZylSrvDorvFileHandle in tests/utilities).
#include <platform/ZylDroviUnicodeString.h>
#include <platform/dorv/ZylDorvAPI.h>
#include <platform/utl_FilePath.h>

#include <gtest/gtest.h>

#include <cstdio>

TEST(DorvUnicodeString, KeepsUtf8AndConvertsUtf16)
{
    const ZylDroviUnicodeString ascii("plain.dorv");
    EXPECT_STREQ(ascii.Utf8(), "plain.dorv");
    EXPECT_EQ(ascii.Length(), 10u);
    const char16_t wide[] = {u'M', 0x00E4, 0x20AC, 0xD83D, 0xDE00, 0}, lone[] = {0xDC00, u'x', 0};
    const ZylDroviUnicodeString fromWide(wide);
    EXPECT_STREQ(fromWide.Utf8(), "M\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(fromWide.Length(), 4u);
    EXPECT_EQ(fromWide.Utf16(), std::u16string(wide));
    EXPECT_STREQ(ZylDroviUnicodeString("a\xFF" "b\xC3").Utf8(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD") << "ill-formed bytes become U+FFFD";
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
    std::fclose(std::fopen("present.txt", "w"));
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
        EXPECT_STREQ(base.DeveloperReport().Chars(), "text [platform/dorv/test:9]");
        const auto* dorv = dynamic_cast<const ZylDorvException*>(&base);
        ASSERT_NE(dorv, nullptr) << "the most-derived type is thrown";
        EXPECT_EQ(dorv->Number(), 21);
    }
}
