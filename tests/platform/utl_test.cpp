// utl_FilePath: two components joined by exactly one '/', and the existence
// test.
#include <platform/utl_FilePath.h>

#include <gtest/gtest.h>

#include <string>

TEST(UtlFilePath, JoinsWithOneSeparatorAndAnEmptyComponentAddsNothing)
{
    const struct {
        const char *first, *second, *joined;
    } rows[] = {{"dir", "name", "dir/name"}, {"dir/", "name", "dir/name"}, {"", "name", "name"}, {"dir", "", "dir"}};
    for (const auto& r : rows)
        EXPECT_EQ(std::string(utl_FilePath(r.first, r.second).Chars()), r.joined) << '"' << r.first << "\" + " << r.second;
}

TEST(UtlFilePath, ExistsOnlyWhereSomethingIs)
{
    EXPECT_FALSE(utl_FilePath("", "").Exists());
    EXPECT_TRUE(utl_FilePath(".", "").Exists());
    EXPECT_FALSE(utl_FilePath(".", "nothing here").Exists());
}
