// The archive reader on hand-written archives: what it reads, and how each
// kind of damage is reported with the file and line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "rcsarchive/rcs_archive.h"
#include "rcsarchive/rcs_rev.h"
#include "tests/common/testutil.h"
#include "tests/rcs/rcs_test_util.h"

namespace {

const char *const GOOD =
    "head\t1.3;\n"
    "access;\n"
    "symbols\n\trc1:1.2\n\tbeta:1.2\n\trel_1:1.2.1\n\tb0:1.2.0.4;\n"
    "locks\n\tjoe:1.3; strict;\n"
    "comment\t@# @;\n"
    "\n\n"
    "1.3\n"
    "date\t2010.01.02.03.04.05;\tauthor joe;\tstate Exp;\n"
    "branches;\n"
    "next\t1.2;\n"
    "commitid\tabc123;\n"
    "\n"
    "1.2\n"
    "date\t99.01.02.03.04.05;\tauthor j smith;\tstate Rel;\n"
    "branches\n\t1.2.1.1;\n"
    "next\t1.1;\n"
    "\n"
    "1.1\n"
    "date\t99.01.01.00.00.00;\tauthor @ann b@;\tstate Exp;\n"
    "branches;\n"
    "next\t;\n"
    "\n"
    "1.2.1.1\n"
    "date\t2000.02.29.12.00.00;\tauthor joe;\tstate Exp;\n"
    "branches;\n"
    "next\t;\n"
    "\n\n"
    "desc\n@A file @@ with a description\n@\n"
    "\n\n"
    "1.3\nlog\n@third\n@\ntext\n@line 1\nline @@2\n@\n\n\n"
    "1.2\nlog\n@@\ntext\n@d1 1\n@\n\n\n"
    "1.1\nlog\n@first@@\nsecond line\n@\ntext\n@@\n\n\n"
    "1.2.1.1\nlog\n@on the branch\n@\ntext\n@a0 1\nbranch\n@\n";

struct ParserTest : ::testing::Test {
    testutil::TempDir dir;
    testutil::ImsgCapture msgs;
    rcs_element *e = nullptr;
    void TearDown() override { rcs_close(e); }
    int open_text(const std::string &text, const char *name = "a.c,v") {
        testutil::write_file(dir / name, text);
        rcs_close(e);
        e = nullptr;
        return rcs_open((dir / name).c_str(), "a.c", &e);
    }
    std::vector<std::string> order() const {
        std::vector<std::string> v;
        for (const rcs_delta &d : e->deltas)
            v.push_back(d.rev);
        return v;
    }
};

TEST(RevisionNumbers, OrderAndShape) {
    EXPECT_LT(rcs_rev_compare("1.9", "1.10"), 0);
    EXPECT_LT(rcs_rev_compare("1.2", "1.2.1.1"), 0);
    EXPECT_LT(rcs_rev_compare("1.2.1.1", "1.3"), 0);
    EXPECT_LT(rcs_rev_compare("1.2.1.9", "1.2.2.1"), 0);
    EXPECT_GT(rcs_rev_compare("2.1", "1.99"), 0);
    EXPECT_EQ(rcs_rev_compare("1.2", "1.2"), 0);
    EXPECT_LT(rcs_rev_compare("1.99999999999999999999", "1.100000000000000000000"), 0);
    EXPECT_TRUE(rcs_is_revision("1.2.1.1"));
    EXPECT_FALSE(rcs_is_revision("1.2.1"));
    EXPECT_FALSE(rcs_is_revision("1..2"));
    EXPECT_FALSE(rcs_is_revision("1.2."));
    EXPECT_EQ(rcs_magic_branch("1.2.4"), "1.2.0.4");
    EXPECT_EQ(rcs_prefix("1.2.1.3.2.1", 5), "1.2.1.3.2");
}

TEST(ArchiveDates, AreUtcWithTwoDigitYears) {
    testutil::ImsgCapture m;
    int64_t t = 0;
    ASSERT_EQ(rcs_parse_date("99.01.02.03.04.05", &t), 0);
    EXPECT_EQ(utc_text(t), "1999/01/02 03:04:05");
    ASSERT_EQ(rcs_parse_date("2010.01.02.03.04.05", &t), 0);
    EXPECT_EQ(t, 1262401445);
    ASSERT_EQ(rcs_parse_date("38.01.01.00.00.00", &t), 0);
    EXPECT_EQ(utc_text(t), "2038/01/01 00:00:00");
    ASSERT_EQ(rcs_parse_date("2200.12.31.23.59.59", &t), 0);   // past 32-bit time
    EXPECT_EQ(utc_text(t), "2200/12/31 23:59:59");
    // The machine's zone never moves an archive date.
    setenv("TZ", "America/New_York", 1);
    tzset();
    ASSERT_EQ(rcs_parse_date("2010.03.14.02.30.00", &t), 0);   // a gap in New York
    EXPECT_EQ(utc_text(t), "2010/03/14 02:30:00");
    unsetenv("TZ");
    tzset();
    EXPECT_EQ(rcs_parse_date("", &t), 1);
    EXPECT_EQ(rcs_parse_date("2010.01.02.03.04", &t), 1);
    EXPECT_EQ(rcs_parse_date("2010.13.02.03.04.05", &t), 1);
    EXPECT_EQ(rcs_parse_date("2010.01.02.03.0x.05", &t), 1);
    std::string err = m.err();
    EXPECT_NE(err.find("Date string is empty."), std::string::npos);
    EXPECT_NE(err.find("must be 17 or 19 characters"), std::string::npos);
    EXPECT_NE(err.find("Could not parse date string \"2010.13.02.03.04.05\"."), std::string::npos);
}

TEST(ArchiveDates, ImpossibleDatesAndTimesAreRefused) {
    testutil::ImsgCapture m;
    int64_t t = 0;
    ASSERT_EQ(rcs_parse_date("2000.02.29.00.00.00", &t), 0);   // divisible by 400: leap
    EXPECT_EQ(utc_text(t), "2000/02/29 00:00:00");
    ASSERT_EQ(rcs_parse_date("96.02.29.01.02.03", &t), 0);
    EXPECT_EQ(utc_text(t), "1996/02/29 01:02:03");
    // A leap second exists only at 23:59 UTC; it is the next day's first second.
    ASSERT_EQ(rcs_parse_date("98.12.31.23.59.60", &t), 0);
    EXPECT_EQ(utc_text(t), "1999/01/01 00:00:00");
    // Four digits are the year as written, also before 1939 and at 1900.
    ASSERT_EQ(rcs_parse_date("1920.05.06.07.08.09", &t), 0);
    EXPECT_EQ(utc_text(t), "1920/05/06 07:08:09");
    ASSERT_EQ(rcs_parse_date("1900.03.01.00.00.00", &t), 0);
    EXPECT_EQ(utc_text(t), "1900/03/01 00:00:00");
    // Three digits count from 1900, as some writers did after 1999.
    ASSERT_EQ(rcs_parse_date("101.1.02.03.04.05", &t), 0);
    EXPECT_EQ(utc_text(t), "2001/01/02 03:04:05");
    int64_t kept = t;
    for (const char *bad :
         {"99.02.29.00.00.00", "1999.02.29.00.00.00", "1900.02.29.00.00.00", "2100.02.29.00.00.00",
          "2010.04.31.00.00.00", "2010.01.00.00.00.00", "2010.01.02.24.00.00", "2010.01.02.12.60.00",
          "2010.01.02.12.30.60", "2010.06.30.23.58.60", "2010.01.02.12.30.61", "0000.01.01.00.00.00"}) {
        EXPECT_EQ(rcs_parse_date(bad, &t), 1) << bad;
        EXPECT_NE(m.err().find(std::string("Could not parse date string \"") + bad + "\"."),
                  std::string::npos)
            << bad;
    }
    EXPECT_EQ(t, kept);   // untouched by a refusal
}

TEST_F(ParserTest, ReadsEveryPartOfAnArchive) {
    ASSERT_EQ(open_text(GOOD), 0) << msgs.err();
    EXPECT_EQ(order(), (std::vector<std::string>{"1.1", "1.2", "1.2.1.1", "1.3"}));
    const rcs_delta *d12 = rcs_find_delta(e, "1.2");
    ASSERT_TRUE(d12);
    EXPECT_EQ(d12->author, "jsmith");                       // words run together
    EXPECT_EQ(rcs_find_delta(e, "1.1")->author, "ann b");   // a string keeps its blank
    EXPECT_EQ(d12->state, "Rel");
    EXPECT_EQ(d12->branches, std::vector<std::string>{"1.2.1.1"});
    EXPECT_EQ(utc_text(d12->time), "1999/01/02 03:04:05");
    EXPECT_EQ(utc_text(rcs_find_delta(e, "1.2.1.1")->time), "2000/02/29 12:00:00");
    EXPECT_EQ(rcs_read_description(e), std::optional<std::string>("A file @ with a description\n"));
    EXPECT_EQ(rcs_read_locks(e), std::vector<std::string>{"joe:1.3"});
    EXPECT_EQ(rcs_read_log(e, 0), std::optional<std::string>("first@\nsecond line\n"));
    EXPECT_EQ(rcs_read_log(e, 1), std::optional<std::string>(""));   // "@@" is the empty log
    EXPECT_EQ(rcs_read_log(e, 3), std::optional<std::string>("third\n"));
    // Symbols in reverse archive order: the last listed is found first.
    size_t cur = 0;
    EXPECT_STREQ(rcs_find_symbol(e, "1.2", &cur), "beta");
    EXPECT_STREQ(rcs_find_symbol(e, "1.2", &cur), "rc1");
    EXPECT_EQ(rcs_find_symbol(e, "1.2", &cur), nullptr);
    cur = 0;
    EXPECT_STREQ(rcs_find_symbol(e, "1.2.0.4", &cur), "b0");
    EXPECT_EQ(msgs.err(), "");
}

// Admin phrases the revision reader depends on, and phrases of other tools:
// the archive still opens, and anything not in RCS's own form is listed.
TEST_F(ParserTest, AdminPhrasesAndPhrasesOfOtherTools) {
    std::string t = GOOD;
    t.replace(t.find("strict;"), 7, "strict;\nexpand\t@kv@;\nintegrity\t@@;");
    ASSERT_EQ(open_text(t), 0) << msgs.err();
    EXPECT_EQ(e->comment, std::optional<std::string>("# "));
    EXPECT_EQ(e->expand, std::optional<std::string>("kv"));
    EXPECT_TRUE(e->strict);
    // CVS's commitid (in a delta) is listed too; the reader lets it pass.
    EXPECT_EQ(e->newphrases, (std::vector<std::string>{"integrity", "commitid"}));
    // A value that is not one string is stepped over, and named.
    t = GOOD;
    t.replace(t.find("strict;"), 7, "strict;\nexpand kv;");
    ASSERT_EQ(open_text(t), 0) << msgs.err();
    EXPECT_FALSE(e->expand);
    EXPECT_EQ(e->newphrases, (std::vector<std::string>{"expand", "commitid"}));
    EXPECT_EQ(msgs.err(), "");
}

TEST_F(ParserTest, SymbolFormsAndSeparatorsInNames) {
    unsetenv("EXPORT_REPLACE_CHAR");
    std::string t = GOOD;
    t.replace(t.find("symbols"), t.find("locks") - t.find("symbols"),
              "symbols a :1.3 b : 1.2 c: 1.1 rel\\1:1.3 x/y:1.3;\n");
    ASSERT_EQ(open_text(t), 0) << msgs.err();
    ASSERT_EQ(e->symbols.size(), 5u);
    EXPECT_EQ(e->symbols[4].name, "a");
    EXPECT_EQ(e->symbols[4].number, "1.3");
    EXPECT_EQ(e->symbols[3].number, "1.2");
    EXPECT_EQ(e->symbols[2].number, "1.1");
    EXPECT_EQ(e->symbols[1].name, "rel.1");
    EXPECT_EQ(e->symbols[0].name, "x.y");
    EXPECT_NE(msgs.err().find("Changed type from \"rel\\1\" to \"rel.1\"."), std::string::npos);
    // Empty lists.
    t = GOOD;
    t.replace(t.find("symbols"), t.find("comment") - t.find("symbols"), "symbols;\nlocks;\n");
    ASSERT_EQ(open_text(t), 0);
    EXPECT_TRUE(e->symbols.empty());
    EXPECT_TRUE(rcs_read_locks(e).empty());
}

TEST_F(ParserTest, ArchiveWithoutDeltasOpensWithAWarning) {
    ASSERT_EQ(open_text("head\t;\naccess;\nsymbols;\nlocks; strict;\ncomment\t@# @;\n\n\n"
                        "desc\n@only a description\n@\n"),
              0);
    EXPECT_TRUE(e->deltas.empty());
    EXPECT_NE(msgs.err().find("Did not find any deltas in this RCS file."), std::string::npos);
}

TEST_F(ParserTest, MissingDeltatextLeavesThatVersionWithoutComment) {
    std::string t = GOOD;
    size_t at = t.find("1.2\nlog");
    t.erase(at, t.find("1.1\nlog") - at);
    ASSERT_EQ(open_text(t), 0);
    EXPECT_FALSE(rcs_read_log(e, 1).has_value());
    EXPECT_NE(msgs.err().find("Could not find a comment for \"1.2\"."), std::string::npos);
    EXPECT_TRUE(rcs_read_log(e, 0).has_value());
}

// Each fault: the archive is refused with its message, naming file and line.
TEST_F(ParserTest, DamagedArchivesAreRefusedWithFileAndLine) {
    std::string g = GOOD;
    auto cut = [&](const char *at) { return g.substr(0, g.find(at)); };
    auto with = [&](const char *from, const char *to) {
        std::string t = g;
        t.replace(t.find(from), std::strlen(from), to);
        return t;
    };
    struct {
        std::string text, message;
        int line;
    } cases[] = {
        {"just some text\nwith date and desc\n", "Not an RCS file.", 1},
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0date",
                     14),
         "Not an RCS file.", 1},
        {"", "Not an RCS file.", 1},
        {cut("locks"), "the file ends inside the admin section", 0},
        {cut("branches\n\t1.2.1.1"), "the file ends inside the delta list", 0},
        {cut("desc"), "the file ends inside the delta list", 0},
        {cut("@A file"), "the file ends inside the description", 0},
        {cut("1.2\nlog"), "", 0},   // ends between deltatexts: complete so far
        {cut("@d1 1"), "the file ends inside the revision texts", 0},
        {with("@a0 1\nbranch\n@", "@a0 1\nbranch\n"), "is not terminated", 73},
        {with("99.01.02.03.04.05", "99.01.02.03.04.050"), "must be 17 or 19 characters", 20},
        {with("2000.02.29.12.00.00", "1999.02.29.12.00.00"),
         "Could not parse date string \"1999.02.29.12.00.00\".", 31},
        {with("99.01.01.00.00.00", "99.01.01.24.00.00"), "Could not parse date string", 26},
        {with("rc1:1.2", "rc1 1.2"), "File has no symbols.", 4},
        {with("\t1.2.1.1;\nnext", std::string("\t1." + std::string(60, '1') + ";\nnext").c_str()),
         "is longer than 51 characters", 22},
        {with("rc1:1.2", (std::string(256, 'n') + ":1.2").c_str()), "is longer than 255 characters", 4},
        {with("date\t99.01.01", "dote\t99.01.01"), "Parse for next version failed.", 26},
        {with("1.2.1.1\ndate", "1.1\ndate"), "revision 1.1 is listed twice", 0},
        {with("1.2.1.1\ndate", "1.2.1\ndate"), "\"1.2.1\" is not a revision number", 30},
        {with("locks\n\tjoe:1.3", "locks\n\tjoe 1.3"), "Parse for locks failed.", 9},
    };
    for (auto &c : cases) {
        msgs.clear();
        int rc = open_text(c.text);
        std::string err = msgs.err();
        if (c.message.empty()) {
            EXPECT_EQ(rc, 0) << err;
            continue;
        }
        EXPECT_EQ(rc, 1001) << c.message;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_NE(err.find(dir / "a.c,v"), std::string::npos) << err;
        if (c.line) {
            EXPECT_NE(err.find("line " + std::to_string(c.line)), std::string::npos) << err;
        }
    }
    EXPECT_EQ(rcs_open((dir / "missing,v").c_str(), "missing", &e), 1001);
    EXPECT_NE(msgs.err().find("Unable to open"), std::string::npos);
}

}   // namespace
