// The stand-ins' outputs, byte for byte in the forms the exporter's parsers
// read, on databases built with the model's writer.
#include <gtest/gtest.h>

#include "tests/common/testutil.h"
#include "tests/ssafe/ssafe_db.h"

namespace {

using testutil::ProcResult;
using testutil::run;

ssdb::Entry entry(int v, const std::string &date, const std::string &action,
                  const std::string &contents = "") {
    ssdb::Entry e;
    e.version = v;
    e.user = "Admin";
    e.date = date;
    e.time = "9:15a";
    e.action = action;
    if (!contents.empty()) {
        e.contents = contents;
        e.has_contents = true;
    }
    return e;
}

// $/proj holds a.c (F1, pinned at 2), $/proj/sub shares it, $/old had it
// (deleted), $/proj/dev has a branch F2 at version 3, and $/proj/dev/x a
// branch F3 of that branch; $/proj/empty is empty.
struct Fixture : ::testing::Test {
    testutil::TempDir tmp;
    std::string db_path = tmp / "db.json";

    void SetUp() override {
        ssdb::Db db;
        db.current = "$/proj";
        db.projects = {"$/proj", "$/proj/sub", "$/proj/dev", "$/proj/dev/x", "$/proj/empty", "$/old"};
        ssdb::File &f1 = db.files["F1"];
        f1.entries.push_back(entry(1, "8/06/02", "Created", "one\n"));
        f1.entries.push_back(entry(2, "8/07/02", "Checked in $/proj", std::string("\0\xff\r\n", 4)));
        f1.entries.back().comment = "first line\nsecond line";
        ssdb::Entry label = entry(0, "8/08/02", "Labeled");
        label.label = "REL1";
        label.label_comment = "release";
        f1.entries.push_back(label);
        f1.entries.push_back(entry(3, "12/07/02", "Checked in $/proj"));
        f1.entries.push_back(entry(4, "bad date", "Checked in $/proj", "four\n"));
        f1.entries.back().lines = {"raw line"};
        ssdb::File &f2 = db.files["F2"];
        f2.branch_of = "F1";
        f2.at_version = 3;
        f2.entries.push_back(entry(3, "1/02/03", "Branched", "branch\n"));
        db.files["F4"].entries.push_back(entry(1, "8/06/02", "Created", "b\n"));
        ssdb::File &f3 = db.files["F3"];
        f3.branch_of = "F2";
        f3.at_version = 4;
        db.places = {{"$/proj/a.c", "F1", 2, false},     {"$/proj/b.c", "F4", 0, false},
                     {"$/proj/sub/a.c", "F1", 0, false}, {"$/old/a.c", "F1", 0, true},
                     {"$/proj/dev/a.c", "F2", 0, false}, {"$/proj/dev/x/a.c", "F3", 0, false}};
        db.checkouts["$/proj/a.c"] = {"alice   C:\\work\\proj", "bob     D:\\w"};
        std::string err;
        ASSERT_TRUE(ssdb::save_db(db, db_path, &err)) << err;
    }

    ProcResult ss(std::vector<std::string> args, testutil::EnvList env = {}, const std::string &input = "") {
        args.insert(args.begin(), SS_PROGRAM);
        env.push_back({"SSDB", db_path});
        return run(args, tmp.path(), env, input);
    }
};

TEST_F(Fixture, DirListsProjectsFilesPinsAndEmptyProjects) {
    ProcResult r = ss({"dir", "-I-", "$/proj/"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "$/proj:\r\n$dev\r\n$empty\r\n$sub\r\na.c;2\r\nb.c\r\n\r\n5 item(s)\r\n");
    r = ss({"dir", "-I-", "-F-"});
    EXPECT_EQ(r.out, "$/proj:\r\n$dev\r\n$empty\r\n$sub\r\n\r\n3 item(s)\r\n");
    r = ss({"dir", "$/proj/empty"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "$/proj/empty:\r\nNo items found under $/proj/empty\r\n");
    r = ss({"dir", "$/proj/a.c"});
    EXPECT_EQ(r.out, "a.c;2\r\n");
    // A deleted place is listed by paths only.
    EXPECT_EQ(ss({"dir", "$/old/a.c"}).status, 100);
    r = ss({"dir", "$/old"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "$/old:\r\nNo items found under $/old\r\n");
    r = ss({"dir", "$/nope"});
    EXPECT_EQ(r.status, 100);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("$/nope"), std::string::npos);
    EXPECT_EQ(ss({"frob"}).status, 100);
}

TEST_F(Fixture, PathsShowTheTreeFromTheRootFile) {
    ProcResult r = ss({"paths", "-I-", "$/proj/dev/a.c"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Showing development paths for $/proj/dev/a.c...\r\n\r\n"
              "  a.c\r\n  $/proj\r\n  $/proj/sub\r\n"
              "  $/old   (a.c is deleted in this project)\r\n"
              "    a.c (at version 3)\r\n>   $/proj/dev\r\n"
              "      a.c (at version 4)\r\n      $/proj/dev/x\r\n");
    r = ss({"paths", "$/proj/sub/a.c"});
    EXPECT_NE(r.out.find("\r\n  $/proj\r\n> $/proj/sub\r\n"), std::string::npos);
    EXPECT_EQ(ss({"paths", "$/proj/zz.c"}).status, 100);
}

TEST_F(Fixture, HistoryNewestFirstWithLabelsRangesPinsAndDates) {
    const std::string v4 =
        "*****************  Version 4   *****************\r\n"
        "User: Admin        Date: bad date   Time:  9:15a\r\n"
        "Checked in $/proj\r\nraw line\r\n\r\n";
    const std::string v3 =
        "*****************  Version 3   *****************\r\n"
        "User: Admin        Date: 12/07/02   Time:  9:15a\r\nChecked in $/proj\r\n\r\n";
    const std::string lab =
        "**********************\r\nLabel: \"REL1\"\r\n"
        "User: Admin        Date:  8/08/02   Time:  9:15a\r\nLabeled\r\n"
        "Label comment: release\r\n\r\n";
    const std::string v2 =
        "*****************  Version 2   *****************\r\n"
        "User: Admin        Date:  8/07/02   Time:  9:15a\r\nChecked in $/proj\r\n"
        "Comment: first line\r\nsecond line\r\n\r\n";
    const std::string v1 =
        "*****************  Version 1   *****************\r\n"
        "User: Admin        Date:  8/06/02   Time:  9:15a\r\nCreated\r\n\r\n";
    const std::string head = "History of $/proj/sub/a.c ...\r\n\r\n";
    EXPECT_EQ(ss({"history", "-I-", "$/proj/sub/a.c"}).out, head + v4 + v3 + lab + v2 + v1);
    EXPECT_EQ(ss({"history", "-I-", "-V~3", "$/proj/sub/a.c"}).out, head + v4 + v3);
    // A date drops later entries; one whose date cannot be read stays.
    EXPECT_EQ(ss({"history", "$/proj/sub/a.c;d08-07-02"}).out, head + v4 + v2 + v1);
    // The pinned place stops at its pin (its label kept), unless a date is given.
    const std::string pinned = "History of $/proj/a.c ...\r\n\r\n";
    EXPECT_EQ(ss({"history", "$/proj/a.c"}).out, pinned + lab + v2 + v1);
    EXPECT_EQ(ss({"history", "$/proj/a.c;d01-18-37"}).out, pinned + v4 + v3 + lab + v2 + v1);
    EXPECT_EQ(ss({"history", "$/proj/a.c;d12-31-00"}).out, pinned + v4);   // 2000, before all
    EXPECT_EQ(ss({"history", "$/proj/a.c;d13-40-02"}).status, 100);
    EXPECT_EQ(ss({"history", "-V~x", "$/proj/a.c"}).status, 100);
    // Day first swaps the printed fields only.
    ProcResult r = ss({"history", "-V~2", "$/proj/a.c"}, {{"SS_STANDIN_DAYFIRST", "1"}});
    EXPECT_NE(r.out.find("Date:  07/8/02   Time:"), std::string::npos);
    EXPECT_NE(r.out.find("Date:  08/8/02   Time:"), std::string::npos);
}

TEST_F(Fixture, StatusListsCheckoutsOrNone) {
    ProcResult r = ss({"status", "-I-", "$/proj/a.c"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "alice   C:\\work\\proj\r\nbob     D:\\w\r\n");
    r = ss({"status", "$/proj/b.c"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No checked out files found.\r\n");
    EXPECT_EQ(ss({"status", "$/proj/zz.c"}).status, 100);
}

TEST_F(Fixture, PasswordOutputFileAndLog) {
    testutil::EnvList pw = {{"SS_STANDIN_PASSWORD", "1"}, {"SS_STANDIN_LOG", tmp / "log"}};
    ProcResult r = ss({"dir", "-I-", "-Oout.txt"}, pw);
    EXPECT_EQ(r.status, 100);
    EXPECT_FALSE(testutil::exists(tmp / "out.txt"));
    EXPECT_EQ(ss({"dir", "-Oout.txt"}, pw, "\n").status, 100);
    EXPECT_FALSE(testutil::exists(tmp / "out.txt"));
    testutil::write_file(tmp / "out.txt", "old text that is longer than the answer\n");
    r = ss({"dir", "-I-", "-Oout.txt", "$/proj/a.c"}, pw, "secret\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(testutil::read_file(tmp / "out.txt"), "a.c;2\r\n");
    EXPECT_EQ(testutil::read_file(tmp / "log"),
              "dir\t-I-\t-Oout.txt\ndir\t-Oout.txt\ndir\t-I-\t-Oout.txt\t$/proj/a.c\n");
    r = ss({"about"});
    EXPECT_EQ(r.out, "SourceSafe Version 6.0d (Build 9848)\r\nCopyright\r\n");
}

TEST_F(Fixture, SsafegetWritesVersionBytes) {
    auto get = [&](const std::string &place, const std::string &v) {
        return run({SSAFEGET_PROGRAM, place, v, "out.c"}, tmp.path(), {{"SSDB", db_path}});
    };
    EXPECT_EQ(get("$/proj/a.c", "2").status, 0);
    EXPECT_EQ(testutil::read_file(tmp / "out.c"), std::string("\0\xff\r\n", 4));
    EXPECT_EQ(get("$/proj/a.c", "3").status, 0);   // no contents of its own
    EXPECT_EQ(testutil::read_file(tmp / "out.c"), std::string("\0\xff\r\n", 4));
    EXPECT_EQ(get("$/proj/dev/a.c", "3").status, 0);
    EXPECT_EQ(testutil::read_file(tmp / "out.c"), "branch\n");
    EXPECT_EQ(get("$/proj/dev/a.c", "1").status, 0);   // before the branch: the parent's
    EXPECT_EQ(testutil::read_file(tmp / "out.c"), "one\n");
    EXPECT_EQ(get("$/proj/a.c", "9").status, 1);
    EXPECT_EQ(get("$/nope.c", "1").status, 1);
    EXPECT_EQ(run({SSAFEGET_PROGRAM, "$/proj/a.c", "1", "../x"}, tmp.path(), {{"SSDB", db_path}}).status, 1);
}

TEST_F(Fixture, BadDatabasesAreNamedWithTheFault) {
    testutil::write_file(db_path, "{\"places\": [{\"path\": \"$/p/a.c\", \"file\": \"F9\"}]}");
    ProcResult r = ss({"dir", "$/p"});
    EXPECT_EQ(r.status, 100);
    EXPECT_NE(r.err.find(db_path + ": places[0].file: no file F9"), std::string::npos) << r.err;
    testutil::write_file(db_path, "{\"files\": {\"F1\": {\"entries\": [{\"version\": \"2\"}]}}}");
    r = ss({"dir", "$/p"});
    EXPECT_NE(r.err.find("files.F1.entries[0].version"), std::string::npos) << r.err;
    testutil::write_file(db_path,
                         "{\"files\": {\"A\": {\"branch_of\": \"B\", \"at_version\": 2},"
                         " \"B\": {\"branch_of\": \"A\", \"at_version\": 2}}}");
    r = ss({"dir", "$/p"});
    EXPECT_NE(r.err.find("files.A.branch_of: branches go round in a circle"), std::string::npos) << r.err;
    testutil::write_file(db_path, "{");
    EXPECT_NE(ss({"dir"}).err.find("not JSON"), std::string::npos);
}

TEST(SsafeMkdb, WritesABenchDatabaseTheStandInsRead) {
    testutil::TempDir tmp;
    ASSERT_EQ(run({SSAFE_MKDB_PROGRAM, tmp / "b.json", "120", "12"}).status, 0);
    ssdb::Db db;
    std::string err;
    ASSERT_TRUE(ssdb::load_db(tmp / "b.json", &db, &err)) << err;
    size_t pins = 0, branches = 0;
    for (const auto &p : db.places)
        pins += p.pin > 0;
    for (const auto &[id, f] : db.files)
        branches += !f.branch_of.empty();
    EXPECT_EQ(db.files.size(), 120 + branches);
    EXPECT_GT(db.places.size(), db.files.size());   // shares
    EXPECT_GT(pins, 0u);
    EXPECT_GT(branches, 0u);
    ProcResult r = run({SS_PROGRAM, "dir", "$/bench"}, tmp.path(), {{"SSDB", tmp / "b.json"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("$/bench:\r\n$doc\r\n$rel\r\n$src\r\n$test\r\n", 0), 0u) << r.out;
    r = run({SS_PROGRAM, "history", "$/bench/f0.txt"}, tmp.path(), {{"SSDB", tmp / "b.json"}});
    EXPECT_EQ(testutil::count(r.out, "*****************  Version "), 12u);
    EXPECT_EQ(testutil::count(r.out, "Label: \"REL"), 2u);
}

}   // namespace
