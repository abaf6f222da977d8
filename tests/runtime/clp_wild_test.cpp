// Option words of the import front ends, and wildcard expansion.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

#include "runtime/clp.h"
#include "runtime/wild.h"
#include "tests/common/testutil.h"

namespace {

const clp_option import_table[] = {
    {"-n[setevent]", 1, 0}, {"-i[dentical]", 6, 0},   {"-d[irectory]", 2, 0}, {"-debug", 3, 0},
    {"-v[erbose]", 4, 0},   {"-c[omment]", 5, 0},     {"-m[aster]", 7, 0},    {"-p[case]", 8, 0},
    {"-no[load]", 9, 0},    {"-nolab[eldir]", 10, 0}, {nullptr, -1, 0},
};

// Every word read as "id", "?word" (unknown), "+arg" (arguments), then "end".
std::vector<std::string> drain(clp_hdl *h) {
    std::vector<std::string> got;
    int id = 0;
    for (;;) {
        int r = clp_get_next_flag_value(h, &id);
        if (r == CLP_END)
            break;
        if (r == CLP_FLAG) {
            got.push_back(std::to_string(id));
        } else if (r == CLP_UNKNOWN_FLAG) {
            EXPECT_EQ(id, -1);
            got.push_back(std::string("?") + clp_last_flag_word(h));
        } else {
            const char *arg = nullptr;
            EXPECT_EQ(r, CLP_ARGS);
            EXPECT_EQ(clp_get_next_arg(h, &arg), 1);
            got.push_back(std::string("+") + arg);
        }
    }
    got.push_back("end");
    return got;
}

std::vector<std::string> parse(std::vector<const char *> words) {
    clp_hdl *h = nullptr;
    EXPECT_EQ(clp_create_hdl_using_argv(int(words.size()), words.data(), import_table, &h), 0);
    auto got = drain(h);
    clp_destroy_hdl(&h);
    EXPECT_EQ(h, nullptr);
    return got;
}

using V = std::vector<std::string>;

TEST(Clp, OptionalPartMayBeCutAnywhere) {
    EXPECT_EQ(parse({"-d", "-dir", "-directory", "-n", "-nset", "-i", "-identical"}),
              (V{"2", "2", "2", "1", "1", "6", "6", "end"}));
    EXPECT_EQ(parse({"-directoryx", "-dx", "-D", "-deb", "-debugs"}),
              (V{"?-directoryx", "?-dx", "?-D", "?-deb", "?-debugs", "end"}));
    EXPECT_EQ(parse({"-debug"}), (V{"3", "end"}));
}

TEST(Clp, LongestMandatoryPartWins) {
    EXPECT_EQ(parse({"-no", "-nol", "-noload", "-nolab", "-nolabeldir", "-n"}),
              (V{"9", "9", "9", "10", "10", "1", "end"}));
    // Ambiguity of equal mandatory parts: the first entry wins.
    const clp_option twins[] = {{"-c[omment]", 1, 0}, {"-c[heck]", 2, 0}, {nullptr, -1, 0}};
    const char *words[] = {"-c", "-ch", "-co"};
    clp_hdl *h = nullptr;
    ASSERT_EQ(clp_create_hdl_using_argv(3, words, twins, &h), 0);
    EXPECT_EQ(drain(h), (V{"1", "2", "1", "end"}));
    clp_destroy_hdl(&h);
}

TEST(Clp, FlagsThenArgumentsAndMissingArguments) {
    const char *words[] = {"-v", "-c", "my comment", "data.txt", "-v"};
    clp_hdl *h = nullptr;
    ASSERT_EQ(clp_create_hdl_using_argv(5, words, import_table, &h), 0);
    EXPECT_EQ(clp_get_argc(h), 5);
    int id = 0;
    const char *arg = nullptr;
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_FLAG);
    EXPECT_EQ(id, 4);
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_FLAG);
    EXPECT_EQ(id, 5);
    EXPECT_STREQ(clp_last_flag_word(h), "-c");
    ASSERT_EQ(clp_get_next_arg(h, &arg), 1);
    EXPECT_STREQ(arg, "my comment");
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_ARGS);
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_ARGS);   // not consumed
    ASSERT_EQ(clp_get_next_arg(h, &arg), 1);
    EXPECT_STREQ(arg, "data.txt");
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_FLAG);   // a flag after the arguments
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_END);
    EXPECT_EQ(clp_get_next_arg(h, &arg), 0);
    clp_destroy_hdl(&h);

    // "-d" as the last word: the caller finds no argument for it.
    const char *lone[] = {"-d"};
    ASSERT_EQ(clp_create_hdl_using_argv(1, lone, import_table, &h), 0);
    EXPECT_EQ(clp_get_next_flag_value(h, &id), CLP_FLAG);
    EXPECT_EQ(clp_get_next_arg(h, &arg), 0);
    clp_destroy_hdl(&h);
    clp_destroy_hdl(&h);   // twice is harmless
}

TEST(Clp, DashWordsAndDoubleDash) {
    EXPECT_EQ(parse({"-v", "-", "x"}), (V{"4", "+-", "+x", "end"}));
    EXPECT_EQ(parse({"-v", "--", "-d", "y"}), (V{"4", "+-d", "+y", "end"}));
    EXPECT_EQ(parse({"--"}), (V{"end"}));
    EXPECT_EQ(parse({}), (V{"end"}));
}

TEST(Clp, StringFormSplitsAndQuotesRoundTrip) {
    std::vector<std::string> names = {"plain", "with space", "say \"hi\"", "back\\slash", "", "tab\there"};
    std::string text = "-r  ";
    for (const auto &n : names)
        text += clp_quote_word(n) + " ";
    text += "\t target\n";
    const clp_option fs_table[] = {{"-r[ecurse]", 1, 0}, {"-rm[name]", 2, 0}, {nullptr, -1, 0}};
    clp_hdl *h = nullptr;
    ASSERT_EQ(clp_create_hdl_using_string(text.c_str(), fs_table, &h), 0);
    EXPECT_EQ(clp_get_argc(h), 8);
    V expect{"1"};
    for (const auto &n : names)
        expect.push_back("+" + n);
    expect.push_back("+target");
    expect.push_back("end");
    EXPECT_EQ(drain(h), expect);
    clp_destroy_hdl(&h);

    EXPECT_EQ(clp_create_hdl_using_string("a \"open", fs_table, &h), CLP_ERR_QUOTE);
    EXPECT_EQ(h, nullptr);
    ASSERT_EQ(clp_create_hdl_using_string("   ", fs_table, &h), 0);
    EXPECT_EQ(clp_get_argc(h), 0);
    clp_destroy_hdl(&h);
    ASSERT_EQ(clp_create_hdl_using_string("a\\b x\"y z\"w", fs_table, &h), 0);
    EXPECT_EQ(drain(h), (V{"+a\\b", "+xy zw", "end"}));   // backslash literal outside quotes
    clp_destroy_hdl(&h);
}

TEST(Wild, DetectsAndExpandsInByteOrder) {
    EXPECT_TRUE(wild_contains_wildcard_symbols("*.c"));
    EXPECT_TRUE(wild_contains_wildcard_symbols("a?"));
    EXPECT_TRUE(wild_contains_wildcard_symbols("[ab]x"));
    EXPECT_FALSE(wild_contains_wildcard_symbols("src/a.c"));
    EXPECT_FALSE(wild_contains_wildcard_symbols(nullptr));

    testutil::TempDir t;
    t.dir("d");
    for (const char *f : {"b.c", "a.c", "B.c", "x.h", "with space.c", "d/in.c"})
        t.file(f);
    ASSERT_EQ(chdir(t.path().c_str()), 0);
    std::vector<std::string> got{"kept"};
    ASSERT_EQ(wild_glob_single("*.c", &got), WILD_OK);
    EXPECT_EQ(got, (V{"kept", "B.c", "a.c", "b.c", "with space.c"}));
    got.clear();
    ASSERT_EQ(wild_glob_single("*/*.c", &got), WILD_OK);
    EXPECT_EQ(got, (V{"d/in.c"}));
    got.clear();
    EXPECT_EQ(wild_glob_single("*.java", &got), WILD_NO_MATCH);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(wild_glob_single("", &got), WILD_ERROR);
    ASSERT_EQ(chdir("/"), 0);
}

}   // namespace
