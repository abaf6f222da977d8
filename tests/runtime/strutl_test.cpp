// String helpers.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "runtime/stg.h"
#include "runtime/strutl.h"

namespace {

TEST(Strutl, FindingCharactersAndStrings) {
    size_t pos = 99;
    EXPECT_EQ(strutl_find_char("a/b/c", 0, '/', &pos), 1);
    EXPECT_EQ(pos, 1u);
    EXPECT_EQ(strutl_find_char("a/b/c", 2, '/', &pos), 1);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(strutl_find_char("a/b/c", 4, '/', &pos), 0);
    EXPECT_EQ(strutl_find_char("ab", 10, 'a', &pos), 0);   // start past the end
    EXPECT_EQ(strutl_find_char("ab", 0, '\0', &pos), 0);
    EXPECT_EQ(strutl_find_str("xx@@/main@@", 3, "@@", &pos), 1);
    EXPECT_EQ(pos, 9u);
    EXPECT_EQ(strutl_find_str("abc", 0, "abcd", &pos), 0);
    EXPECT_EQ(strutl_right_char("a/b/c", '/', &pos), 1);
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(strutl_right_char("abc", '/', &pos), 0);
    EXPECT_EQ(strutl_find_char(nullptr, 0, 'a', &pos), 0);
    EXPECT_TRUE(strutl_match_prefix("-directory", "-dir"));
    EXPECT_FALSE(strutl_match_prefix("-d", "-dir"));
}

TEST(Strutl, BoundedCopyAlwaysTerminates) {
    char buf[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(strutl_cpy_buf(buf, "abc", sizeof buf), 0);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(strutl_cpy_buf(buf, "abcd", sizeof buf), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(strutl_cpy_buf(buf, "", 1), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(strutl_cpy_buf(buf, "a", 0), 1);
}

TEST(Strutl, NumbersMustFillTheWholeText) {
    long v = 0;
    EXPECT_TRUE(strutl_strtol("42", 10, &v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(strutl_strtol("-0x1f", 0, &v));
    EXPECT_EQ(v, -31);
    EXPECT_TRUE(strutl_strtol("017", 0, &v));
    EXPECT_EQ(v, 15);
    for (const char *bad : {"", "4x", " 4", "x", "99999999999999999999999", "1 "})
        EXPECT_FALSE(strutl_strtol(bad, 10, &v)) << bad;
    double d = 0;
    EXPECT_TRUE(strutl_strtod("1.5e3", &d));
    EXPECT_DOUBLE_EQ(d, 1500.0);
    EXPECT_FALSE(strutl_strtod("1.5.", &d));
    EXPECT_FALSE(strutl_strtod("", &d));
}

TEST(Strutl, CaseInsensitiveCompareAndReplace) {
    EXPECT_EQ(strutl_stricoll("-VerAll", "-verall"), 0);
    EXPECT_LT(strutl_stricoll("abc", "ABD"), 0);
    EXPECT_GT(strutl_stricoll("abcd", "ABC"), 0);
    EXPECT_EQ(strutl_replace_substr("a..b..c", "..", "/"), "a/b/c");
    EXPECT_EQ(strutl_replace_substr("aaa", "a", "aa"), "aaaaaa");   // no rescan of output
    EXPECT_EQ(strutl_replace_substr("abc", "", "x"), "abc");
}

TEST(Strutl, ConcatIntoAreaAndCaseConversion) {
    stg_area *a = stg_create_area(0);
    char *s = strutl_concat_area(a, 4, "src", "/", static_cast<const char *>(nullptr), "a.c");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "src/a.c");
    char *empty = strutl_concat_area(a, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    stg_delete_area(&a);

    char buf[6];
    EXPECT_EQ(strutl_cvt_case_string("Main-Br", STRUTL_TO_LOWER, sizeof buf, buf), 1);
    EXPECT_STREQ(buf, "main-");
    EXPECT_EQ(strutl_cvt_case_string("r\xc3\xa9l", STRUTL_TO_UPPER, sizeof buf, buf), 0);
    EXPECT_STREQ(buf, "R\xc3\xa9L");
}

TEST(Strutl, TypeNames) {
    EXPECT_TRUE(strutl_is_ok_name("rel_1.0-beta", "-", "_-."));
    EXPECT_FALSE(strutl_is_ok_name("-rel", "-", "_-."));
    EXPECT_FALSE(strutl_is_ok_name("", "-", "_-."));
    EXPECT_FALSE(strutl_is_ok_name(nullptr, "-", "_-."));
    EXPECT_FALSE(strutl_is_ok_name("a b", "-", "_-."));
    EXPECT_FALSE(strutl_is_ok_name("a/b", "-", "_-."));
    EXPECT_FALSE(strutl_is_ok_name("a@b", "-", "_-."));
    EXPECT_TRUE(strutl_is_ok_name("r\xc3\xa9l", "-", "_-."));   // UTF-8 letters pass
    EXPECT_TRUE(strutl_is_ok_name("9lives", "-", nullptr));
    EXPECT_FALSE(strutl_is_ok_name("a_b", nullptr, nullptr));
}

TEST(Strutl, MultibyteLengthsFollowTheLocale) {
    std::string old = std::setlocale(LC_CTYPE, nullptr);
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        GTEST_SKIP() << "no UTF-8 locale";
    EXPECT_EQ(strutl_mblen("\xc3\xa9x", 3), 2);
    EXPECT_EQ(strutl_mblen("\xe2\x82\xac", 3), 3);
    EXPECT_EQ(strutl_mblen("\xe2\x82\xac", 2), 1);   // cut short: one byte at a time
    EXPECT_EQ(strutl_mblen("\xff", 1), 1);
    EXPECT_EQ(strutl_mblen("a", 1), 1);
    EXPECT_EQ(strutl_mblen("", 1), 0);
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(strutl_mblen("\xc3\xa9", 2), 1);
    std::setlocale(LC_CTYPE, old.c_str());
}

}   // namespace
