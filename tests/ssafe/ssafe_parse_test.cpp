// The SourceSafe driver's parsers on texts of their own: entry dates, the
// regional check, `ss history` and `ss paths`. TZ is UTC.
#include <gtest/gtest.h>

#include <cstdlib>

#include "drivers/ssafe/ssafe_driver.h"
#include "runtime/date.h"
#include "tests/common/testutil.h"

namespace {

int64_t utc(int y, int m, int d, int hh, int mm) {
    int64_t t = 0;
    EXPECT_EQ(date_civil_to_time(y, m, d, hh, mm, 0, &t), 0);
    return t;
}

struct SsafeDate : ::testing::Test {
    testutil::ImsgCapture msgs;
};

TEST_F(SsafeDate, HalfDayAndTwoDigitYears) {
    struct {
        const char *date, *time;
        int y, m, d, hh, mm;
    } cases[] = {
        {"1/2/03", "12:05a", 2003, 1, 2, 0, 5},    {"1/2/03", "12:05p", 2003, 1, 2, 12, 5},
        {"1/2/03", "1:05P", 2003, 1, 2, 13, 5},    {"1/2/03", "11:59a  ", 2003, 1, 2, 11, 59},
        {"6/8/94", "9:40p", 1994, 6, 8, 21, 40},   {"6/8/05", "9:40p", 2005, 6, 8, 21, 40},
        {"6/8/2005", "9:40p", 2005, 6, 8, 21, 40}, {"1/2/38", "3:00a", 2038, 1, 2, 3, 0},
        {"2/29/2000", "3:00a", 2000, 2, 29, 3, 0}, {"12/31/99", "11:00p", 1999, 12, 31, 23, 0},
    };
    for (const auto &c : cases) {
        int64_t t = 0;
        EXPECT_EQ(ssafe_convert_date_time(c.date, c.time, &t), 0) << c.date << " " << c.time;
        EXPECT_EQ(t, utc(c.y, c.m, c.d, c.hh, c.mm)) << c.date << " " << c.time;
    }
    EXPECT_EQ(msgs.err(), "");
}

TEST_F(SsafeDate, FaultyFieldsAreReported) {
    const char *cases[][2] = {
        {"1/2/39", "3:00a"},   // 1939: before 1970
        {"25/11/02", "3:00a"}, {"0/11/02", "3:00a"},  {"11/0/02", "3:00a"},   {"2/30/05", "3:00a"},
        {"1/2/03", "13:70p"},  {"1/2/03", "13:05p"},  {"1/2/03", "0:05a"},    {"1/2/03", "1:5a"},
        {"1/2/03", "1:05x"},   {"1/2/03", "1:05"},    {"1/2/03", "1:05pm"},   {"1/2/03", "105p"},
        {"1-2-03", "1:05p"},   {"1/2", "1:05p"},      {"1/2/12345", "1:05p"}, {"a/2/03", "1:05p"},
        {"1/2/", "1:05p"},     {"1/2/1900", "1:05p"},   // 1900 stands for 3800
    };
    for (const auto &c : cases) {
        msgs.clear();
        int64_t t = 42;
        EXPECT_EQ(ssafe_convert_date_time(c[0], c[1], &t), 1) << c[0] << " " << c[1];
        EXPECT_EQ(t, 42);
        EXPECT_NE(
            msgs.err().find(std::string("Could not parse date/time string (") + c[0] + "," + c[1] + ")"),
            std::string::npos)
            << msgs.err();
    }
}

TEST_F(SsafeDate, EntriesAreLocalTime) {
    const char *old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "America/New_York", 1);
    int64_t summer = 0, winter = 0;
    EXPECT_EQ(ssafe_convert_date_time("6/8/94", "9:40p", &summer), 0);
    EXPECT_EQ(ssafe_convert_date_time("1/8/94", "9:40p", &winter), 0);
    // The first moment of 1970 in New York is in range, 1969 there is not.
    int64_t first = 0;
    EXPECT_EQ(ssafe_convert_date_time("1/1/1970", "12:00a", &first), 0);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    EXPECT_EQ(summer, utc(1994, 6, 9, 1, 40));   // EDT, UTC-4
    EXPECT_EQ(winter, utc(1994, 1, 9, 2, 40));   // EST, UTC-5
    EXPECT_EQ(first, 5 * 3600);
}

TEST(SsafeRegional, CLocaleGivesTheAcceptedSample) {
    const char *old = std::getenv("LC_ALL");
    std::string saved = old ? old : "";
    setenv("LC_ALL", "C", 1);
    std::string date, time, which;
    ASSERT_EQ(ssafe_regional_sample(&date, &time, &which), 0);
    EXPECT_EQ(date, "6/8/94");
    EXPECT_EQ(time, "9:40:00 PM");
    EXPECT_TRUE(ssafe_regional_ok(date, time));
    EXPECT_TRUE(ssafe_regional_ok("6/8/1994", time));
    EXPECT_FALSE(ssafe_regional_ok("8/6/1994", time));
    EXPECT_FALSE(ssafe_regional_ok("06/08/94", time));
    EXPECT_FALSE(ssafe_regional_ok(date, "21:40:00"));
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

// ---- history

// CRLF line ends from lines written with "\n".
std::string crlf(const std::string &s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct SsafeHistory : ::testing::Test {
    testutil::ImsgCapture msgs;
    ssafe_location loc;
    ssafe_history_in in;
    ssafe_element e;
    void SetUp() override {
        ssafe_reset_state();
        ssafe_state().group = "staff";
        loc.path = "$/proj/a.c";
        in.loc = &loc;
        in.leaf = "a.c";
    }
    void TearDown() override { ssafe_reset_state(); }
    int parse(const std::string &text) { return ssafe_parse_history(text, in, &e); }
};

const char *const HISTORY =
    "History of $/proj/a.c ...\n"
    "\n"
    "*****************  Version 4   *****************\n"
    "User: Bob          Date: 12/17/02   Time:  1:00p\n"
    "Checked in $/proj\n"
    "Comment: two lines\n"
    "\n"
    "and a blank one inside\n"
    "\n"
    "**********************\n"
    "Label: \"REL/2\"\n"
    "User: Admin        Date:  8/09/02   Time: 10:00a\n"
    "Labeled\n"
    "Label comment: the release\n"
    "\n"
    "*****************  Version 3   *****************\n"
    "User: Admin        Date:  8/08/02   Time:  9:00a\n"
    "Checked in $/proj\n"
    "Comment: short\n"
    "\n"
    "*****************  Version 2   *****************\n"
    "Label: \"OLD\"\n"
    "User: Admin        Date:  8/07/02   Time:  9:15a\n"
    "\n"
    "*****************  Version 1   *****************\n"
    "User: Admin        Date:  8/06/02   Time:  3:00p\n"
    "Created\n"
    "\n";

TEST_F(SsafeHistory, EntriesLabelsAndComments) {
    ASSERT_EQ(parse(crlf(HISTORY)), 0);
    ASSERT_EQ(e.versions.size(), 3u);
    const cm_version_info &v4 = e.versions[0], &v3 = e.versions[1], &v1 = e.versions[2];
    EXPECT_EQ(v4.status, 1002);
    EXPECT_EQ(v4.version_id, "4");
    EXPECT_EQ(v4.user, "Bob");
    EXPECT_EQ(v4.group, "staff");
    EXPECT_FALSE(v4.host.has_value());
    EXPECT_EQ(v4.event_name, "");
    EXPECT_EQ(v4.branch, "");
    EXPECT_EQ(v4.event_time, utc(2002, 12, 17, 13, 0));
    EXPECT_EQ(v4.selected_time, v4.event_time);
    // Inner line ends stay; only the entry's closing line end and blank line go.
    EXPECT_EQ(v4.comment, "two lines\r\n\r\nand a blank one inside");
    EXPECT_TRUE(v4.labels.empty());
    // The label entry makes no version, its comment is dropped, and its label
    // goes to the version listed below it.
    EXPECT_EQ(v3.version_id, "3");
    EXPECT_EQ(v3.comment, "short");
    EXPECT_EQ(v3.labels, (str_list{"REL.2"}));
    // Version 2 has no action line: no record, its label passes on.
    EXPECT_EQ(v1.version_id, "1");
    EXPECT_FALSE(v1.comment.has_value());
    EXPECT_EQ(v1.labels, (str_list{"OLD"}));
    EXPECT_EQ(v1.event_time, utc(2002, 8, 6, 15, 0));
    EXPECT_TRUE(v1.attributes.empty());
    EXPECT_EQ(msgs.out(), "");
    EXPECT_EQ(msgs.err(), "");
}

TEST_F(SsafeHistory, LineFeedsGiveTheSameRecords) {
    ASSERT_EQ(parse(crlf(HISTORY)), 0);
    ssafe_element lf;
    ASSERT_EQ(ssafe_parse_history(HISTORY, in, &lf), 0);
    ASSERT_EQ(lf.versions.size(), e.versions.size());
    for (size_t i = 0; i < lf.versions.size(); ++i) {
        const cm_version_info &a = e.versions[i], &b = lf.versions[i];
        EXPECT_EQ(a.version_id, b.version_id);
        EXPECT_EQ(a.event_time, b.event_time);
        EXPECT_EQ(a.labels, b.labels);
        EXPECT_EQ(a.comment.has_value(), b.comment.has_value());
        if (a.comment) {
            EXPECT_EQ(*a.comment, crlf(*b.comment));
        }
    }
    EXPECT_EQ(*lf.versions[0].comment, "two lines\n\nand a blank one inside");
}

TEST_F(SsafeHistory, CommentAtTheEndKeepsItsText) {
    ASSERT_EQ(parse("*****************  Version 1   *****************\r\n"
                    "User: A  Date: 1/2/03  Time: 1:00p\r\n"
                    "Created\r\n"
                    "Comment: no blank line\r\nlast"),
              0);
    ASSERT_EQ(e.versions.size(), 1u);
    EXPECT_EQ(e.versions[0].comment, "no blank line\r\nlast");
}

TEST_F(SsafeHistory, PinLabelsOnMainLineAndBranch) {
    const std::string text =
        "*****************  Version 3   *****************\n"
        "User: A  Date: 1/3/03  Time: 1:00p\n"
        "Checked in $/proj\n"
        "\n"
        "*****************  Version 2   *****************\n"
        "Label: \"REL1\"\n"
        "User: A  Date: 1/2/03  Time: 1:00p\n"
        "Checked in $/proj\n"
        "\n";
    in.pinned = "2";
    ASSERT_EQ(parse(text), 0);
    ASSERT_EQ(e.versions.size(), 2u);
    EXPECT_TRUE(e.versions[0].labels.empty());
    EXPECT_EQ(e.versions[1].labels, (str_list{"PINNED", "REL1"}));

    ssafe_element b;
    loc.branch = "rel/hot_fix";
    ASSERT_EQ(ssafe_parse_history(text, in, &b), 0);
    ASSERT_EQ(b.versions.size(), 2u);
    EXPECT_EQ(b.versions[1].labels, (str_list{"REL.HOT_FIX", "REL1"}));
    EXPECT_EQ(b.versions[1].version_id, "rel/hot_fix/2");
    EXPECT_EQ(b.versions[1].branch, "rel/hot_fix");
    EXPECT_EQ(ssafe_version_number(b.versions[1]), "2");
    EXPECT_EQ(ssafe_version_number(e.versions[0]), "3");
}

TEST_F(SsafeHistory, ActionLinesAndOnlyOneRecordPerEntry) {
    ASSERT_EQ(parse("*****************  Version 7   *****************\n"
                    "User: A  Date: 1/3/03  Time: 1:00p\n"
                    "a.c archived to version 7\n"
                    "Branched\n"
                    "\n"
                    "*****************  Version 6   *****************\n"
                    "User: A  Date: 1/2/03  Time: 1:00p\n"
                    "Rolled back\n"
                    "\n"),
              0);
    ASSERT_EQ(e.versions.size(), 2u);
    EXPECT_EQ(e.versions[0].version_id, "7");
    EXPECT_EQ(e.versions[1].version_id, "6");
    // "Branched" in the same entry is taken as any other line would be.
    EXPECT_NE(msgs.out().find("Branched"), std::string::npos);
}

TEST_F(SsafeHistory, UnrecognizedLinesAreReportedAndParsingGoesOn) {
    ASSERT_EQ(parse("Building list for $/proj...\r\n"
                    "*****************  Version 2   *****************\r\n"
                    "Something new\r\n"
                    "User: A  Date: 1/3/03  Time: 1:00p\r\n"
                    "Checked in $/proj\r\n"
                    "\r\n"
                    "*****************  Version 1   *****************\r\n"
                    "User: A  Date: 1/2/03  Time: 1:00p\r\n"
                    "Created\r\n"
                    "trailing words"),
              0);
    EXPECT_EQ(e.versions.size(), 2u);
    EXPECT_EQ(msgs.out(),
              "Unrecognized line (file \"$/proj/a.c\") from SourceSafe History: Something new\r\n"
              "Unrecognized line (file \"$/proj/a.c\") from SourceSafe History: trailing words\n");
}

TEST_F(SsafeHistory, ActionBeforeItsUserLineMakesNoRecord) {
    ASSERT_EQ(parse("*****************  Version 2   *****************\n"
                    "Checked in $/proj\n"
                    "User: A  Date: 1/3/03  Time: 1:00p\n"
                    "\n"
                    "*****************  Version 1   *****************\n"
                    "User: A  Date: 1/2/03  Time: 1:00p\n"
                    "Created\n"),
              0);
    ASSERT_EQ(e.versions.size(), 1u);
    EXPECT_EQ(e.versions[0].version_id, "1");
    EXPECT_EQ(e.versions[0].event_time, utc(2003, 1, 2, 13, 0));
    EXPECT_NE(msgs.out().find("History: Checked in $/proj\n"), std::string::npos);
}

TEST_F(SsafeHistory, VersionAttributeOnlyAfterTheSinceTime) {
    ssafe_state().record_version = 1;
    ssafe_state().since = utc(2003, 1, 2, 13, 0);
    loc.branch = "dev";
    ASSERT_EQ(parse("*****************  Version 2   *****************\n"
                    "User: A  Date: 1/3/03  Time: 1:00p\n"
                    "Checked in $/proj\n"
                    "\n"
                    "*****************  Version 1   *****************\n"
                    "User: A  Date: 1/2/03  Time: 1:00p\n"
                    "Created\n"),
              0);
    ASSERT_EQ(e.versions.size(), 2u);
    EXPECT_EQ(e.versions[0].attributes, (str_list{"SSAFE_VERSION=dev/2"}));
    EXPECT_TRUE(e.versions[1].attributes.empty());   // at the -s time, not after it
}

TEST_F(SsafeHistory, BadDatesFailTheParse) {
    for (const char *user :
         {"User: A  Date: 1/2/39  Time: 1:00p\n", "User: A  Date: 1/2/0000000000000000003  Time: 1:00p\n",
          "User: A  Date: 1/2/03  Time: 1:00p                   x\n"}) {
        msgs.clear();
        ssafe_element fresh;
        std::string text =
            std::string("*****************  Version 1   *****************\n") + user + "Created\n";
        EXPECT_EQ(ssafe_parse_history(text, in, &fresh), 1001) << user;
        EXPECT_TRUE(fresh.versions.empty());
        EXPECT_NE(msgs.err().find("Could not parse date/time string"), std::string::npos) << msgs.err();
        EXPECT_NE(msgs.err().find("in the history of \"$/proj/a.c\""), std::string::npos) << msgs.err();
    }
}

// ---- paths

struct SsafePaths : ::testing::Test {
    testutil::ImsgCapture msgs;
    ssafe_element e;
    void SetUp() override { e.name = "a.c"; }
};

TEST_F(SsafePaths, SharesDeletedAndOutOfScopePlaces) {
    ASSERT_EQ(ssafe_parse_paths("Showing development paths for $/proj/a.c...\r\n"
                                "\r\n"
                                "  a.c\r\n"
                                "  $/old   (a.c is deleted in this project)\r\n"
                                "> $/proj\r\n"
                                "  $/proj/sub\r\n"
                                "  $/other\r\n"
                                "  $/projx\r\n",
                                "$/proj", &e),
              0);
    ASSERT_EQ(e.locations.size(), 1u);
    EXPECT_EQ(e.locations[0].path, "$/proj/a.c");
    EXPECT_EQ(e.locations[0].branch, "");
    EXPECT_EQ(e.locations[0].at_version, "0");
    EXPECT_EQ(e.share_keys, (std::vector<std::string>{"a.c", "sub/a.c"}));
    EXPECT_EQ(e.alt_names, (std::vector<std::string>{"sub/a.c"}));
    const std::string err = msgs.err();
    EXPECT_NE(err.find("Skipping deleted name \"$/old/a.c\""), std::string::npos) << err;
    EXPECT_NE(err.find("Share (\"$/other/a.c\") is out of of working directory's (\"$/proj\") scope."),
              std::string::npos);
    EXPECT_NE(err.find("Share (\"$/projx/a.c\")"), std::string::npos);
    EXPECT_EQ(testutil::count(err, "Can't create alternate name for it."), 2u);
}

TEST_F(SsafePaths, BranchesNestedAndAtVersion) {
    ASSERT_EQ(ssafe_parse_paths("Showing development paths for $/proj/dev/a.c...\n"
                                "\n"
                                "  a.c\n"
                                "  $/proj\n"
                                "    a.c (at version 4)\n"
                                ">   $/proj/dev\n"
                                "      a.c (at version 6)\n"
                                "      $/proj/dev/b\n"
                                "    a.c (at version 2)\n"
                                "    $/\n",
                                "$/proj", &e),
              0);
    ASSERT_EQ(e.locations.size(), 4u);
    EXPECT_EQ(e.locations[1].path, "$/proj/dev/a.c");
    EXPECT_EQ(e.locations[1].at_version, "4");
    EXPECT_EQ(e.locations[1].parent, "$/proj/a.c");
    EXPECT_EQ(e.locations[1].branch, "proj_dev");
    EXPECT_EQ(e.locations[2].path, "$/proj/dev/b/a.c");
    EXPECT_EQ(e.locations[2].parent, "$/proj/dev/a.c");
    EXPECT_EQ(e.locations[2].branch, "proj_dev/proj_dev_b");
    EXPECT_EQ(e.locations[2].at_version, "6");
    // The root project: out of scope, still a location, its branch "branch".
    EXPECT_EQ(e.locations[3].path, "$/a.c");
    EXPECT_EQ(e.locations[3].parent, "$/proj/a.c");
    EXPECT_EQ(e.locations[3].branch, "branch");
    EXPECT_EQ(e.locations[3].at_version, "2");
    EXPECT_EQ(e.alt_names, (std::vector<std::string>{"a.c", "dev/b/a.c"}));
    EXPECT_EQ(e.share_keys, (std::vector<std::string>{"a.c", "dev/a.c", "dev/b/a.c"}));
}

TEST_F(SsafePaths, BranchPathCollisions) {
    e.locations.resize(1);   // the main line, branch ""
    std::string b;
    ASSERT_EQ(ssafe_branch_path("$/dev", "", e, &b), 0);
    EXPECT_EQ(b, "dev");
    e.locations.push_back({"$/dev/a.c", "2", b, "$/proj/a.c", 0});
    ASSERT_EQ(ssafe_branch_path("$$//dev", "", e, &b), 0);
    EXPECT_EQ(b, "dev.1");
    e.locations.push_back({"$/x/a.c", "2", b, "$/proj/a.c", 0});
    ASSERT_EQ(ssafe_branch_path("$/dev", "", e, &b), 0);
    EXPECT_EQ(b, "dev.1.2");
    ASSERT_EQ(ssafe_branch_path("$/a/dev", "rel", e, &b), 0);
    EXPECT_EQ(b, "rel/a_dev");
    ASSERT_EQ(ssafe_branch_path("$", "", e, &b), 0);
    EXPECT_EQ(b, "branch");
    ASSERT_EQ(ssafe_branch_path("$/" + std::string(255, 'x'), "", e, &b), 0);
    EXPECT_EQ(ssafe_branch_path("$/" + std::string(256, 'x'), "", e, &b), 1);
    EXPECT_EQ(b.size(), 256u);   // uncut
    EXPECT_EQ(ssafe_branch_path("$/" + std::string(252, 'x'), "rel", e, &b), 1);
}

// Below a branch the whole path is kept unique too, while a name that was
// unique before keeps the name it had.
TEST_F(SsafePaths, NestedBranchPathCollisions) {
    e.locations.resize(1);
    e.locations.push_back({"$/dev/a.c", "2", "dev", "$/proj/a.c", 0});
    e.locations.push_back({"$/x/y/a.c", "3", "dev/x_y", "$/dev/a.c", 0});
    struct {
        const char *project, *parent, *expect;
    } cases[] = {
        {"$/x_y", "dev", "dev/x_y.1"},   // the same path as a sibling's
        {"$/dev", "dev", "dev/dev.1"},   // as it always was: the name is taken at the top
        {"$/z", "dev", "dev/z"},
        {"$", "dev", "dev/branch"},
    };
    for (const auto &c : cases) {
        std::string b;
        ASSERT_EQ(ssafe_branch_path(c.project, c.parent, e, &b), 0) << c.project;
        EXPECT_EQ(b, c.expect) << c.project;
    }
    // One root only: a second file at the top is no second main line.
    ssafe_element two;
    two.name = "a.c";
    EXPECT_EQ(ssafe_parse_paths("  a.c\n> $/proj\n  b.c\n  $/other\n", "$/proj", &two), 1);
    EXPECT_NE(msgs.err().find("line 3:   b.c"), std::string::npos) << msgs.err();
}

TEST_F(SsafePaths, FaultyFieldsFail) {
    const std::string head = "  a.c\n  $/proj\n";
    struct {
        std::string text, expect;
    } cases[] = {
        {head + "    a.c (at version 12345)\n    $/proj/dev\n", "the at version \"12345\" is longer than 4"},
        {head + "    a.c (at version 1x)\n    $/proj/dev\n", "line 3:     a.c (at version 1x)"},
        {"  a.c\n  $/proj/" + std::string(1020, 'p') + "\n", "is longer than 1024 characters"},
        {head + "    a.c (at version 2)\n    $/" + std::string(256, 'd') + "\n", "the branch path"},
    };
    for (const auto &c : cases) {
        msgs.clear();
        ssafe_element fresh;
        fresh.name = "a.c";
        EXPECT_EQ(ssafe_parse_paths(c.text, "$/proj", &fresh), 1) << c.text;
        EXPECT_NE(msgs.err().find(c.expect), std::string::npos) << msgs.err();
    }
}

}   // namespace

namespace {

// The client right-aligns a short date or time in its column.
TEST_F(SsafeHistory, ShortDatesInTheirColumns) {
    ASSERT_EQ(parse(crlf("*****************  Version 1   *****************\n"
                         "User: Admin        Date:   1/2/03   Time:  3:05p\n"
                         "Created\n"
                         "\n")),
              0);
    ASSERT_EQ(e.versions.size(), 1u);
    EXPECT_EQ(e.versions[0].event_time, utc(2003, 1, 2, 15, 5));
}

// A file name holds blanks: only the note in parentheses follows it.
TEST_F(SsafePaths, NamesWithBlanks) {
    e.name = "my a.c";
    ASSERT_EQ(ssafe_parse_paths("Showing development paths for $/proj/my a.c...\r\n"
                                "\r\n"
                                "  my a.c\r\n"
                                "> $/proj\r\n"
                                "    my a.c (at version 3)\r\n"
                                "    $/proj/my dev\r\n",
                                "$/proj", &e),
              0);
    ASSERT_EQ(e.locations.size(), 2u);
    EXPECT_EQ(e.locations[0].path, "$/proj/my a.c");
    EXPECT_EQ(e.locations[1].path, "$/proj/my dev/my a.c");
    EXPECT_EQ(e.locations[1].at_version, "3");
    EXPECT_EQ(e.locations[1].branch, "proj_my dev");
}

}   // namespace

namespace {

// A version number that is not one (a damaged history) must not reach the
// shell bare in the extract command.
TEST(SsafeExtract, NumbersThatAreNoNumbersAreQuoted) {
    ssafe_element e;
    ssafe_location main_line;
    main_line.path = "$/proj/a b.c";
    e.locations.push_back(main_line);
    cm_version_info v;
    v.branch = "";
    std::string text;
    int is_command = 0;
    v.version_id = "12";
    ASSERT_EQ(ssafe_cm_extract(&e, &v, &text, &is_command), 0);
    EXPECT_EQ(is_command, 1);
    EXPECT_EQ(text, "ssafeget \"\\$/proj/a b.c\" 12 \"a b.c\"");
    v.version_id = "3;$(touch x)";
    ASSERT_EQ(ssafe_cm_extract(&e, &v, &text, &is_command), 0);
    EXPECT_EQ(text, "ssafeget \"\\$/proj/a b.c\" \"3;\\$(touch x)\" \"a b.c\"");
}

}   // namespace

namespace {

// Branches of branches nested beyond any real tree are refused, not
// followed down the parser's stack.
TEST_F(SsafePaths, NestingBeyondTheBoundFails) {
    // Name lines alone make no branch path, whose length would stop them.
    std::string text = "  a.c\r\n> $/proj\r\n";
    for (int level = 4; level <= 2 * (SSAFE_MAX_NESTING + 4); level += 2)
        text += std::string(size_t(level), ' ') + "a.c (at version 2)\r\n";
    EXPECT_EQ(ssafe_parse_paths(text, "$/proj", &e), 1);
    EXPECT_NE(msgs.err().find("branches nested too deep"), std::string::npos) << msgs.err();
}

}   // namespace
