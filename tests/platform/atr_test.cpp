#include <platform/atr_String.h>
#include <platform/atr_translate.h>

#include <gtest/gtest.h>

TEST(AtrString, SharesItsRepresentationAndCountsCopies)
{
    atr_String empty;
    EXPECT_STREQ(empty.Chars(), "");
    EXPECT_TRUE(empty.IsEmpty());

    atr_String a("matrix");
    {
        atr_String b = a;
        EXPECT_TRUE(b.SharesRepresentationWith(a));
        EXPECT_EQ(a.ShareCount(), 2);
    }
    EXPECT_EQ(a.ShareCount(), 1);
    atr_String c("other");
    c = a;
    EXPECT_EQ(a.ShareCount(), 2);
    EXPECT_STREQ(c.Chars(), "matrix");
}

TEST(AtrTranslate, FillsNumberedPlaceholders)
{
    atr_translate two("%s has %i rows, 100%% %s");
    atr_SubstituteFormat(two, 2, 7);
    atr_SubstituteFormat(two, 1, "A");
    EXPECT_STREQ(two.Result().Chars(), "A has 7 rows, 100% %s") << "an unfilled placeholder stays";
    EXPECT_STREQ(atr_translate("no placeholders").Result().Chars(), "no placeholders");
}
