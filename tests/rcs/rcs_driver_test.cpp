// The driver through its table of operations: modes, options, the mapping of
// walked paths, version records and extract commands; and whole runs of the
// program for what only a run shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unistd.h>

#include "drivers/rcs/rcs_driver.h"
#include "rcsarchive/rcs_msgs.h"
#include "runtime/getopt.h"
#include "tests/common/testutil.h"
#include "tests/rcs/rcs_test_util.h"

namespace {

// 1.1 -> 1.2 -> 1.3 on the trunk, 1.2.1.1 and 1.2.4.1 branching from 1.2.
const char *const ARCHIVE =
    "head\t1.3;\naccess;\n"
    "symbols\n\tbeta:1.2\n\trc1:1.2\n\tdev:1.2.1\n\tcvsbr:1.2.0.4\n\tnum_b:1.2.4;\n"
    "locks; strict;\ncomment\t@# @;\n\n\n"
    "1.3\ndate\t2010.01.03.00.00.00;\tauthor nosuchuser_xyz;\tstate dead;\nbranches;\nnext\t1.2;\n\n"
    "1.2\ndate\t2010.01.02.00.00.00;\tauthor root;\tstate Exp;\nbranches\n\t1.2.1.1\n\t1.2.4.1;\n"
    "next\t1.1;\n\n"
    "1.1\ndate\t2010.01.01.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t;\n\n"
    "1.2.1.1\ndate\t2010.02.01.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t;\n\n"
    "1.2.4.1\ndate\t2010.01.15.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t;\n\n"
    "desc\n@@\n\n"
    "1.3\nlog\n@three\n@\ntext\n@@\n\n"
    "1.2\nlog\n@two\n@\ntext\n@@\n\n"
    "1.1\nlog\n@one\n@\ntext\n@@\n\n"
    "1.2.1.1\nlog\n@b\n@\ntext\n@@\n\n"
    "1.2.4.1\nlog\n@c\n@\ntext\n@@\n";

struct DriverTest : ::testing::Test {
    testutil::TempDir dir;
    testutil::ImsgCapture msgs;
    std::string old_cwd;
    std::vector<std::string> arg_store;
    void SetUp() override {
        old_cwd = fileutl_getcwd();
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        rcs_reset_state();
    }
    void TearDown() override {
        (void)!chdir(old_cwd.c_str());
        rcs_reset_state();
        unsetenv("CVSROOT");
    }
    int init(std::vector<std::string> args, int *kind = nullptr, cm_globals *g_out = nullptr) {
        arg_store = std::move(args);
        std::vector<char *> argv;
        for (std::string &a : arg_store)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const cm_fs_ops *ops = reinterpret_cast<const cm_fs_ops *>(1);
        int k = 1;
        cm_globals g{"", nullptr, 1};
        rcs_reset_state();
        int rc = rcs_driver.init(int(argv.size()) - 1, argv.data(), &ops, &k, &g);
        if (rc == 0) {
            EXPECT_EQ(ops, nullptr);
            EXPECT_EQ(g.extra_options, "AVS");
        }
        if (kind)
            *kind = k;
        if (g_out)
            *g_out = g;
        return rc;
    }
    std::vector<cm_version_info> versions(const std::string &archive, element_info *info = nullptr) {
        std::vector<cm_version_info> out;
        void *h = nullptr;
        EXPECT_EQ(rcs_driver.open_element(archive.c_str(), &h), 0) << msgs.err();
        if (!h)
            return out;
        element_info ei;
        EXPECT_EQ(rcs_driver.element_info(h, &ei), 0);
        if (info)
            *info = ei;
        cm_version_info v;
        int is_version = 0;
        while (rcs_driver.next_version(h, &v, &is_version) == 0) {
            EXPECT_EQ(is_version, 1);
            out.push_back(v);
        }
        rcs_driver.close_element(h);
        return out;
    }
    static const cm_version_info *find(const std::vector<cm_version_info> &vs, const char *id) {
        for (const cm_version_info &v : vs)
            if (v.version_id == id)
                return &v;
        return nullptr;
    }
};

TEST_F(DriverTest, ModeComesFromTheProgramName) {
    int kind = -1;
    EXPECT_EQ(init({"/usr/bin/vantexport_rcs"}, &kind), 0);
    EXPECT_EQ(kind, KIND_RCS);
    EXPECT_STREQ(rcs_driver.need_cmd(), "co");
    EXPECT_EQ(init({"vantexport_si", "-r"}, &kind), 0);
    EXPECT_EQ(kind, KIND_SI);
    EXPECT_EQ(init({"./vantexport_RCS"}, &kind), 1001);
    EXPECT_EQ(kind, 0);
    EXPECT_NE(msgs.err().find("Unknown conversion mode requested, aborting."), std::string::npos);
    // -A belongs to CVS alone.
    EXPECT_EQ(init({"vantexport_rcs", "-r", "-A"}), 1001);
    rcs_driver.usage("vantexport_rcs");
    EXPECT_NE(msgs.out().find("Usage: vantexport_rcs [-r] [-s date-time"), std::string::npos);
    // The main's option pass starts afresh after the driver's.
    EXPECT_EQ(init({"vantexport_rcs", "-V", "-S", "-s", "2010-01-02", "x"}), 0);
    EXPECT_EQ(nt_optind, 1);
    EXPECT_TRUE(rcs_state().record_revision);
    EXPECT_TRUE(rcs_state().record_state);
}

TEST_F(DriverTest, CvsModeKnowsWhereInTheRepositoryItIs) {
    ASSERT_EQ(testutil::shell("mkdir -p repo/proj/sub"), 0);
    setenv("CVSROOT", (":local:" + dir / "repo").c_str(), 1);
    ASSERT_EQ(chdir("repo/proj/sub"), 0);
    int kind = 0;
    EXPECT_EQ(init({"vantexport_cvs", "-r", "-A"}, &kind), 0) << msgs.err();
    EXPECT_EQ(kind, KIND_CVS_ATTIC);
    EXPECT_EQ(rcs_state().cvs_rel_cwd, "proj/sub");
    EXPECT_STREQ(rcs_driver.need_cmd(), "cvs");
    rcs_driver.usage("vantexport_cvs");
    EXPECT_NE(msgs.out().find("Usage: vantexport_cvs [-r [-A]]"), std::string::npos);
}

TEST_F(DriverTest, WalkedPathsMapToElements) {
    ASSERT_EQ(testutil::shell("mkdir -p src/RCS/old RCS lib && touch src/RCS/main.c,v RCS/top.c,v lib/x.c,v "
                              "src/RCS/old/y.c,v"),
              0);
    ASSERT_EQ(init({"vantexport_rcs"}), 0);
    int convert = -1, prune = -1;
    std::string name;
    auto map = [&](const char *p) {
        name.clear();
        return rcs_driver.map_name(p, 1, &convert, &prune, &name);
    };
    EXPECT_EQ(map("src/RCS/main.c,v"), 0);
    EXPECT_EQ(convert, 1);
    EXPECT_EQ(name, "src/main.c");
    EXPECT_EQ(map("RCS/top.c,v"), 0);
    EXPECT_EQ(name, "top.c");
    EXPECT_EQ(map("lib/x.c,v"), 0);
    EXPECT_EQ(name, "lib/x.c");
    EXPECT_EQ(map("src"), 0);
    EXPECT_EQ(convert, 1);
    EXPECT_EQ(name, "src");
    EXPECT_EQ(map("src/RCS"), 0);   // walked into, not an element
    EXPECT_EQ(convert, 0);
    EXPECT_EQ(prune, 0);
    EXPECT_EQ(map("src/RCS/old"), 0);
    EXPECT_EQ(convert, 0);
    EXPECT_EQ(prune, 1);
    EXPECT_EQ(map("src/RCS/old/y.c,v"), 0);
    EXPECT_EQ(convert, 0);
    EXPECT_EQ(map("no/such,v"), 1);
    EXPECT_NE(msgs.err().find("Unable to stat \"no/such,v\"."), std::string::npos);
}

TEST_F(DriverTest, CvsPrunesAtticUnlessAskedAndAlwaysCvsroot) {
    ASSERT_EQ(testutil::shell("mkdir -p repo/CVSROOT repo/p/Attic && touch repo/CVSROOT/loginfo,v "
                              "repo/p/Attic/gone.c,v repo/p/a.c,v"),
              0);
    setenv("CVSROOT", (dir / "repo").c_str(), 1);
    ASSERT_EQ(chdir("repo"), 0);
    int convert, prune;
    std::string name;
    for (int attic = 0; attic < 2; ++attic) {
        ASSERT_EQ(init(attic ? std::vector<std::string>{"vantexport_cvs", "-r", "-A"}
                             : std::vector<std::string>{"vantexport_cvs", "-r"}),
                  0);
        EXPECT_EQ(rcs_driver.map_name("CVSROOT", 1, &convert, &prune, &name), 0);
        EXPECT_EQ(convert, 0);
        EXPECT_EQ(prune, 1);
        EXPECT_EQ(rcs_driver.map_name("p/Attic", 1, &convert, &prune, &name), 0);
        EXPECT_EQ(convert, 0);
        EXPECT_EQ(prune, attic ? 0 : 1);
        EXPECT_EQ(rcs_driver.map_name("p/a.c,v", 1, &convert, &prune, &name), 0);
        EXPECT_EQ(name, "p/a.c");
        if (attic) {
            EXPECT_EQ(rcs_driver.map_name("p/Attic/gone.c,v", 1, &convert, &prune, &name), 0);
            EXPECT_EQ(convert, 1);
            EXPECT_EQ(name, "p/gone.c");
        }
        // The archive left out is told after the totals; with -A none is.
        std::string before = msgs.err();
        rcs_driver.end_report();
        EXPECT_EQ(msgs.err().substr(before.size()),
                  attic ? ""
                        : "    1 archive in an Attic directory was left out (a file removed from the "
                          "repository); -A exports it.\n");
    }
}

TEST_F(DriverTest, VersionsCarryBranchesLabelsAndTimes) {
    testutil::write_file("a.c,v", ARCHIVE);
    ASSERT_EQ(testutil::shell("touch -d @1300000000 a.c,v"), 0);
    ASSERT_EQ(init({"vantexport_rcs"}), 0);
    element_info info;
    std::vector<cm_version_info> vs = versions("a.c,v", &info);
    ASSERT_EQ(vs.size(), 5u);
    EXPECT_EQ(info.name, "a.c");
    EXPECT_EQ(info.created, 1262304000);
    // The creation event is revision 1.1's: its author (an account here).
    EXPECT_EQ(info.user, vs[0].user);
    EXPECT_EQ(info.user, std::optional<std::string>("root"));
    EXPECT_EQ(info.group, vs[0].group);
    EXPECT_EQ(info.comment, std::optional<std::string>(""));
    EXPECT_EQ(vs[0].version_id, "1.1");
    EXPECT_EQ(vs[2].version_id, "1.2.1.1");
    EXPECT_EQ(vs[3].version_id, "1.2.4.1");
    const cm_version_info *v12 = find(vs, "1.2");
    EXPECT_EQ(v12->labels, (std::vector<std::string>{"rc1", "beta"}));
    EXPECT_EQ(v12->subbranches, (std::vector<std::string>{"dev", "num_b"}));
    EXPECT_EQ(v12->selected_time, 1300000000);   // labelled: the archive's time
    EXPECT_FALSE(v12->branch.has_value());
    // Not labelled: the latest of its own date and its branches' first dates.
    EXPECT_EQ(find(vs, "1.1")->selected_time, 1262304000);
    EXPECT_EQ(find(vs, "1.2.1.1")->branch, std::optional<std::string>("dev"));
    EXPECT_TRUE(find(vs, "1.2.1.1")->labels.empty());   // "dev" names the branch only
    EXPECT_EQ(find(vs, "1.2.4.1")->branch, std::optional<std::string>("num_b"));
    const cm_version_info *v13 = find(vs, "1.3");
    EXPECT_EQ(v13->user, std::optional<std::string>("nosuchuser_xyz"));
    EXPECT_EQ(v13->group, std::optional<std::string>("unknown"));
    EXPECT_EQ(v13->comment, std::optional<std::string>("three\n"));
    EXPECT_TRUE(v13->attributes.empty());

    // CVS names branch 1.2.4 by its ".0." symbol first.
    setenv("CVSROOT", dir.path().c_str(), 1);
    ASSERT_EQ(init({"vantexport_cvs"}), 0);
    vs = versions("a.c,v");
    EXPECT_EQ(find(vs, "1.2.4.1")->branch, std::optional<std::string>("cvsbr"));
    EXPECT_EQ(find(vs, "1.2")->subbranches, (std::vector<std::string>{"dev", "cvsbr"}));
    EXPECT_EQ(find(vs, "1.1")->selected_time, 1262304000);
    std::string text;
    int is_cmd = 0;
    void *h = nullptr;
    ASSERT_EQ(rcs_driver.open_element("a.c,v", &h), 0);
    ASSERT_EQ(rcs_driver.extract(h, &vs[1], &text, &is_cmd), 0);
    EXPECT_EQ(text, "cvs -Q get -r1.2 -p \"a.c\" > ");
    EXPECT_EQ(is_cmd, 1);
    rcs_driver.close_element(h);
}

TEST_F(DriverTest, StateAndRevisionAttributesAfterTheSinceTime) {
    testutil::write_file("a.c,v", ARCHIVE);
    ASSERT_EQ(init({"vantexport_rcs", "-S", "-V", "-s", "2010-01-02T00:00:00Z"}), 0) << msgs.err();
    std::vector<cm_version_info> vs = versions("a.c,v");
    EXPECT_TRUE(find(vs, "1.1")->attributes.empty());
    EXPECT_TRUE(find(vs, "1.2")->attributes.empty());   // at the since time: none
    EXPECT_EQ(find(vs, "1.3")->attributes, (std::vector<std::string>{"RCS_STATE=dead", "RCS_REVISION=1.3"}));
    EXPECT_EQ(find(vs, "1.2.1.1")->attributes, (std::vector<std::string>{"RCS_REVISION=1.2.1.1"}));
}

TEST_F(DriverTest, ExtractCommandKeepsPercentSignsOfThePath) {
    testutil::write_file("50%,v", ARCHIVE);
    ASSERT_EQ(init({"vantexport_rcs"}), 0);
    void *h = nullptr;
    ASSERT_EQ(rcs_driver.open_element("50%,v", &h), 0);
    cm_version_info v;
    int isv;
    ASSERT_EQ(rcs_driver.next_version(h, &v, &isv), 0);
    std::string text;
    int is_cmd = 0;
    ASSERT_EQ(rcs_driver.extract(h, &v, &text, &is_cmd), 0);
    EXPECT_EQ(text, "co -q -r1.1 -p \"%s%c50%%,v\" > \"%s\"");
    rcs_driver.close_element(h);
    rcs_driver.close_element(nullptr);
}

TEST_F(DriverTest, ArchivesRefusedAtOpen) {
    ASSERT_EQ(init({"vantexport_rcs"}), 0);
    // A branch path past the limit, made of long symbol names.
    std::string syms, deltas, texts, rev = "1.1";
    for (int i = 0; i < 6; ++i) {
        std::string branch = rev + ".1";
        syms += "\t" + std::string(200, char('a' + i)) + ":" + branch + "\n";
        std::string next = branch + ".1";
        deltas +=
            rev + "\ndate\t2010.01.01.00.00.00;\tauthor a;\tstate Exp;\nbranches " + next + ";\nnext\t;\n\n";
        texts += rev + "\nlog\n@@\ntext\n@@\n";
        rev = next;
    }
    deltas += rev + "\ndate\t2010.01.01.00.00.00;\tauthor a;\tstate Exp;\nbranches;\nnext\t;\n\n";
    texts += rev + "\nlog\n@@\ntext\n@@\n";
    testutil::write_file(
        "deep,v", "head 1.1;\naccess;\nsymbols\n" + syms + ";\nlocks;\n\n" + deltas + "desc\n@@\n" + texts);
    void *h = nullptr;
    EXPECT_EQ(rcs_driver.open_element("deep,v", &h), CM_FAILED);
    EXPECT_EQ(h, nullptr);
    EXPECT_NE(msgs.err().find("\"deep,v\": the branch path of revision 1.1.1.1.1.1.1.1.1.1.1.1.1.1 "
                              "is longer than 1024 bytes."),
              std::string::npos)
        << msgs.err();

    // Two archives of one element: the second is not exported.
    ASSERT_EQ(testutil::shell("mkdir -p RCS"), 0);
    testutil::write_file("b.c,v", ARCHIVE);
    testutil::write_file("RCS/b.c,v", ARCHIVE);
    ASSERT_EQ(rcs_driver.open_element("b.c,v", &h), 0);
    rcs_driver.close_element(h);
    EXPECT_EQ(rcs_driver.open_element("RCS/b.c,v", &h), CM_NOT_EXPORTED);
    EXPECT_NE(msgs.err().find("\"RCS/b.c,v\" is not exported: \"b.c,v\" is already exported"),
              std::string::npos);
}

// Default branch 1.1.1: 1.1.1.2 is older than the trunk head 1.2, 1.1.1.3
// (removed) and 1.1.1.4 newer. Branch tags without revisions: empty (1.2.0.6),
// twin (the same number), rcsbr (1.2.8), nested (1.2.2.1.0.2), orphan (its
// branch point 1.9 is not in the archive).
const char *const VENDOR_ARCHIVE =
    "head\t1.2;\nbranch\t1.1.1;\naccess;\n"
    "symbols\n\tempty:1.2.0.6\n\ttwin:1.2.0.6\n\tnested:1.2.2.1.0.2\n\torphan:1.9.0.2\n\trcsbr:1.2.8\n"
    "\tdev:1.2.0.2\n\tvend:1.1.1;\n"
    "locks; strict;\n\n\n"
    "1.2\ndate\t2010.01.05.00.00.00;\tauthor root;\tstate Exp;\nbranches\n\t1.2.2.1;\nnext\t1.1;\n\n"
    "1.1\ndate\t2010.01.01.00.00.00;\tauthor root;\tstate Exp;\nbranches\n\t1.1.1.1;\nnext\t;\n\n"
    "1.1.1.1\ndate\t2010.01.01.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t1.1.1.2;\n\n"
    "1.1.1.2\ndate\t2010.01.03.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t1.1.1.3;\n\n"
    "1.1.1.3\ndate\t2010.01.06.00.00.00;\tauthor root;\tstate dead;\nbranches;\nnext\t1.1.1.4;\n\n"
    "1.1.1.4\ndate\t2010.01.07.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t;\n\n"
    "1.2.2.1\ndate\t2010.01.08.00.00.00;\tauthor root;\tstate Exp;\nbranches;\nnext\t;\n\n"
    "desc\n@@\n\n"
    "1.2\nlog\n@two\n@\ntext\n@@\n\n"
    "1.1\nlog\n@one\n@\ntext\n@@\n\n"
    "1.1.1.1\nlog\n@v1\n@\ntext\n@@\n\n"
    "1.1.1.2\nlog\n@v2\n@\ntext\n@@\n\n"
    "1.1.1.3\nlog\n@v3\n@\ntext\n@@\n\n"
    "1.1.1.4\nlog\n@v4\n@\ntext\n@@\n\n"
    "1.2.2.1\nlog\n@d\n@\ntext\n@@\n";

using Ids = std::vector<std::string>;

Ids ids_of(const std::vector<cm_version_info> &vs) {
    Ids out;
    for (const cm_version_info &v : vs)
        out.push_back(v.version_id);
    return out;
}

TEST_F(DriverTest, CvsReplaysTheDefaultBranchAndKeepsRemovedRevisionsEmpty) {
    testutil::write_file("v.c,v", VENDOR_ARCHIVE);
    setenv("CVSROOT", dir.path().c_str(), 1);
    ASSERT_EQ(init({"vantexport_cvs", "-V", "-S"}), 0) << msgs.err();
    std::vector<cm_version_info> vs = versions("v.c,v");
    // From the trunk head's date on: 1.1.1.2 is older than 1.2 and not replayed.
    EXPECT_EQ(ids_of(vs), (Ids{"1.1", "1.1.1.1", "1.1.1.2", "1.1.1.3", "1.1.1.4", "1.2", "1.2.2.1",
                               "1.1.1.3@main", "1.1.1.4@main"}));
    const cm_version_info *dead = find(vs, "1.1.1.3"), *replay = find(vs, "1.1.1.3@main");
    EXPECT_EQ(dead->no_contents, 1);
    EXPECT_EQ(dead->attributes, (Ids{"CVS_STATE=dead", "CVS_REVISION=1.1.1.3"}));
    EXPECT_EQ(replay->no_contents, 1);
    EXPECT_EQ(replay->attributes, dead->attributes);
    EXPECT_EQ(replay->merges, Ids{"1.1.1.3"});
    EXPECT_FALSE(replay->branch.has_value());
    EXPECT_EQ(replay->event_time, dead->event_time);
    EXPECT_EQ(replay->selected_time, dead->selected_time);
    EXPECT_EQ(replay->comment, dead->comment);
    EXPECT_EQ(find(vs, "1.1.1.4@main")->no_contents, 0);
    // Branch tags without revisions sprout from their branch points, once.
    EXPECT_EQ(find(vs, "1.2")->subbranches, (Ids{"dev", "twin", "rcsbr"}));
    EXPECT_EQ(find(vs, "1.2.2.1")->subbranches, Ids{"nested"});
    EXPECT_EQ(find(vs, "1.1")->subbranches, Ids{"vend"});
    // The replay's command gets its revision.
    void *h = nullptr;
    ASSERT_EQ(rcs_driver.open_element("v.c,v", &h), 0);
    std::string text;
    int is_cmd = 0;
    ASSERT_EQ(rcs_driver.extract(h, find(vs, "1.1.1.4@main"), &text, &is_cmd), 0);
    EXPECT_EQ(text, "cvs -Q get -r1.1.1.4 -p \"v.c\" > ");
    rcs_driver.close_element(h);

    // RCS has neither the replays nor CVS's ".0." numbers, and a dead
    // revision keeps its contents there.
    ASSERT_EQ(init({"vantexport_rcs"}), 0);
    vs = versions("v.c,v");
    EXPECT_EQ(vs.size(), 7u);
    EXPECT_EQ(find(vs, "1.1.1.3")->no_contents, 0);
    EXPECT_EQ(find(vs, "1.2")->subbranches, (Ids{"1.2.2", "rcsbr"}));
    EXPECT_TRUE(find(vs, "1.2.2.1")->subbranches.empty());
}

TEST_F(DriverTest, ExtractCommandsEscapeWhatTheShellInterprets) {
    std::string name = "a\"b$c`d\\e'f%g.c,v";
    testutil::write_file(name, ARCHIVE);
    ASSERT_EQ(init({"vantexport_rcs"}), 0);
    void *h = nullptr;
    ASSERT_EQ(rcs_driver.open_element(name.c_str(), &h), 0);
    cm_version_info v;
    int isv, is_cmd = 0;
    ASSERT_EQ(rcs_driver.next_version(h, &v, &isv), 0);
    std::string text;
    ASSERT_EQ(rcs_driver.extract(h, &v, &text, &is_cmd), 0);
    EXPECT_EQ(text, "co -q -r1.1 -p \"%s%ca\\\"b\\$c\\`d\\\\e'f%%g.c,v\" > \"%s\"");
    rcs_driver.close_element(h);
    setenv("CVSROOT", dir.path().c_str(), 1);
    ASSERT_EQ(init({"vantexport_cvs"}), 0);
    ASSERT_EQ(rcs_driver.open_element(name.c_str(), &h), 0);
    ASSERT_EQ(rcs_driver.extract(h, &v, &text, &is_cmd), 0);
    // "%" doubled here too: every command is a template to the importer.
    EXPECT_EQ(text, "cvs -Q get -r1.1 -p \"a\\\"b\\$c\\`d\\\\e'f%%g.c\" > ");
    rcs_driver.close_element(h);
}

TEST(DriverCatalog, HasItsTwentySixEntriesInNumberOrder) {
    const imsg_catalog *c = rcs_driver_rcs_msg_table_adr();
    EXPECT_STREQ(c->module, "rcs_driver");
    EXPECT_STREQ(imsg_text(c, 0), "Unable to allocate memory.\n");
    EXPECT_STREQ(imsg_text(c, 2), "Not an RCS file.\n");
    EXPECT_STREQ(imsg_text(c, 20), "Unknown conversion mode requested, aborting.\n");
    EXPECT_STREQ(imsg_text(c, 25),
                 "Unable to resolve directory \"%s\" relative to path in "
                 "environment variable CVSROOT.\n");
    EXPECT_EQ(RCS_CANT_RESOLVE_CWD, 25);
}

// Whole runs of the program under its names.
struct ProgramTest : ::testing::Test {
    testutil::TempDir dir;
    int run_in(const std::string &cmd, std::string *out) {
        return testutil::shell("cd '" + dir.path() + "' && " + cmd + " 2>&1", out);
    }
};

TEST_F(ProgramTest, NamesAndBanners) {
    std::string out;
    for (const char *name : {"vantexport_rcs", "vantexport_cvs", "vantexport_si"}) {
        EXPECT_EQ(run_in("env -u CVSROOT '" + program_dir() + "/" + name + "' -VERSION", &out), 0);
        EXPECT_EQ(out.compare(0, std::strlen(name), name), 0) << out;
        EXPECT_EQ(out.find("libvelkexport"), std::string::npos);
        EXPECT_EQ(run_in("'" + program_dir() + "/" + name + "' -VerAll", &out), 0);
        EXPECT_NE(out.find("libvelkexport"), std::string::npos);
    }
    ASSERT_EQ(testutil::shell("ln -s '" + program_dir() + "/vantexport_rcs' '" + dir / "vantexport_x" + "'"),
              0);
    EXPECT_EQ(run_in("./vantexport_x -r", &out), 1);
    EXPECT_NE(out.find("Unknown conversion mode requested, aborting."), std::string::npos);
    EXPECT_NE(out.find("CM driver initialization failed."), std::string::npos);
    EXPECT_FALSE(fileutl_exists((dir / "cvt_data").c_str()));
}

TEST_F(ProgramTest, DamagedArchivesAreListedAndTheRunGoesOn) {
    ASSERT_EQ(
        testutil::shell("cd '" + dir.path() +
                        "' && mkdir -p RCS RCS/old && printf 'one\\n' > good.c && "
                        "ci -q -t-d -mfirst good.c && printf 'plain text\\n' > RCS/notrcs,v && "
                        "head -c 120 RCS/good.c,v > RCS/cut.c,v && printf '\\0\\1\\2' > RCS/bin,v && "
                        "sed 's/^date\t[0-9.]*;/date\t1999.02.29.10.00.00;/' RCS/good.c,v > RCS/feb29.c,v"),
        0);
    std::string out;
    EXPECT_EQ(run_in("'" + program_dir() + "/vantexport_rcs' -r", &out), 2) << out;
    EXPECT_NE(out.find("Not an RCS file."), std::string::npos);
    EXPECT_NE(out.find("the file ends inside"), std::string::npos);
    EXPECT_NE(out.find("Warning: Skipping files in directory RCS/old"), std::string::npos);
    // A day that does not exist, with the file and line of its date.
    EXPECT_NE(out.find("Could not parse date string \"1999.02.29.10.00.00\"."), std::string::npos) << out;
    EXPECT_NE(out.find("in \"RCS/feb29.c,v\", line 9."), std::string::npos) << out;
    size_t list = out.find("The following elements could not be exported:");
    ASSERT_NE(list, std::string::npos) << out;
    for (const char *p : {"RCS/notrcs,v", "RCS/cut.c,v", "RCS/bin,v", "RCS/feb29.c,v"})
        EXPECT_NE(out.find(p, list), std::string::npos) << p;
    data_file df;
    ASSERT_TRUE(read_data_file(dir / "cvt_data", &df));
    ASSERT_EQ(df.elements.size(), 1u);
    EXPECT_EQ(df.elements[0].get("Name"), "good.c");
}

// The exit status under each name: 0 for a clean run, 2 when elements are
// listed, 1 for a failed run; the totals end every run that wrote its file.
TEST_F(ProgramTest, ExitStatusesUnderEachName) {
    struct Mode {
        const char *name;
        bool cvs;
    } modes[] = {{"vantexport_rcs", false}, {"vantexport_si", false}, {"vantexport_cvs", true}};
    for (const Mode &m : modes) {
        testutil::TempDir tree;
        std::string env = m.cvs ? "CVSROOT='" + tree.path() + "' " : "env -u CVSROOT ";
        std::string cmd = "cd '" + tree.path() + "' && " + env + "'" + program_dir() + "/" + m.name + "' -r";
        auto run = [&](std::string *out) {
            testutil::shell("rm -f '" + tree / "cvt_data" + "'");
            return testutil::shell(cmd + " 2>&1 >/dev/null", out);
        };
        tree.file("a.c,v", ARCHIVE);
        tree.file("sub/RCS/b.c,v", ARCHIVE);
        std::string err;
        EXPECT_EQ(run(&err), 0) << m.name << err;
        EXPECT_NE(err.find("Exported 2 elements with 10 versions from 2 files in "), std::string::npos)
            << err;
        EXPECT_NE(err.find("; 0 not exported\n"), std::string::npos) << err;

        // Each fault alone: a damaged archive, a dangling symbolic link, a
        // name the commands cannot carry, an archive that cannot be read.
        struct Fault {
            std::string path;
            std::function<void()> make;
        };
        std::vector<Fault> faults = {
            {"cut.c,v", [&] { tree.file("cut.c,v", std::string(ARCHIVE).substr(0, 150)); }},
            {"gone.c,v", [&] { ASSERT_EQ(symlink("nowhere", (tree / "gone.c,v").c_str()), 0); }},
            {"line\nfeed.c,v", [&] { tree.file("line\nfeed.c,v", ARCHIVE); }},
        };
        if (geteuid() != 0)   // root reads it all the same
            faults.push_back({"locked.c,v", [&] {
                                  tree.file("locked.c,v", ARCHIVE);
                                  chmod((tree / "locked.c,v").c_str(), 0);
                              }});
        for (const Fault &f : faults) {
            f.make();
            EXPECT_EQ(run(&err), 2) << m.name << " " << f.path << err;
            size_t list = err.find("The following elements could not be exported:");
            ASSERT_NE(list, std::string::npos) << err;
            EXPECT_NE(err.find("\t" + f.path + "\n", list), std::string::npos) << err;
            EXPECT_NE(err.find("; 1 not exported\n", list), std::string::npos) << err;
            data_file df;
            ASSERT_TRUE(read_data_file(tree / "cvt_data", &df));
            EXPECT_EQ(df.elements.size(), 2u);
            std::remove((tree / f.path).c_str());
        }

        // A failed run: the output exists. 1, and no totals.
        tree.file("cvt_data", "");
        EXPECT_EQ(testutil::shell(cmd + " 2>&1 >/dev/null", &err), 1);
        EXPECT_NE(err.find("exists, please move.\n    Move or delete \"cvt_data\""), std::string::npos)
            << err;
        EXPECT_EQ(err.find("Exported "), std::string::npos);
    }
}

// An RCS work tree: working files beside their archives (in RCS/, in a
// lower-case rcs/, beside as f,v) are passed over and listed apart, a plain
// file without an archive gets one warning, and an archive without ",v"
// outside RCS/ is still one: status 0, each element once.
TEST_F(ProgramTest, WorkTreeBesideItsArchives) {
    ASSERT_EQ(testutil::shell("cd '" + dir.path() +
                              "' && mkdir -p RCS lib/RCS && echo top > top.c && echo a > lib/a.c && "
                              "echo b > b.c && ci -q -l -t-t top.c && (cd lib && ci -q -l -t-a a.c) && "
                              "ci -q -l -t-b b.c && mv RCS/b.c,v b.c,v && mv lib/RCS lib/rcs && "
                              "echo notes > notes.txt && cp RCS/top.c,v old.arc </dev/null"),
              0);
    std::string out;
    EXPECT_EQ(run_in("'" + program_dir() + "/vantexport_rcs' -r", &out), 0) << out;
    EXPECT_EQ(out.find("Not an RCS file"), std::string::npos) << out;
    EXPECT_EQ(out.find("could not be exported"), std::string::npos) << out;
    size_t warning =
        out.find("Warning: \"notes.txt\" is not an RCS file and has no archive: it is not exported.");
    EXPECT_NE(warning, std::string::npos) << out;
    EXPECT_EQ(out.find("Warning:", warning + 1), std::string::npos) << out;
    EXPECT_NE(out.find("Not exported on their own, since what they hold was exported:\n"
                       "    \tb.c: the working file of the archive b.c,v\n"
                       "    \tlib/a.c: the working file of the archive lib/rcs/a.c,v\n"
                       "    \ttop.c: the working file of the archive RCS/top.c,v\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("; 0 not exported\n"), std::string::npos) << out;
    data_file df;
    ASSERT_TRUE(read_data_file(dir / "cvt_data", &df));
    std::vector<std::string> names = df.element_names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b.c", "lib/a.c", "old.arc", "top.c"}));
}

// NumElements and NumVersions against the records of the file, under each
// selection (a selection that writes no version of an element writes no
// element record either).
TEST_F(ProgramTest, GlobalsCountTheRecordsWritten) {
    dir.file("a.c,v", ARCHIVE);
    dir.file("RCS/b.c,v", ARCHIVE);
    dir.file("broken,v", "head 1.1;\n");
    size_t all_versions = 0;
    // -s 2010-01-20 leaves out 1.3 and 1.2.4.1; an earlier since time would
    // select 1.3, which brings the rest of the trunk before it.
    for (const char *sel :
         {"", "-s 2010-01-20", "-p 2010-01-02T12:00:00Z", "-I 2010-01-10", "-s 2011-01-01", "-V -S"}) {
        testutil::shell("rm -f '" + dir / "cvt_data" + "'");
        std::string out;
        EXPECT_EQ(run_in("'" + program_dir() + "/vantexport_rcs' " + sel, &out), 2) << sel << out;
        data_file df;
        ASSERT_TRUE(read_data_file(dir / "cvt_data", &df)) << sel;
        size_t versions = 0;
        for (const data_element &e : df.elements)
            versions += e.versions.size();
        EXPECT_EQ(df.globals.get("NumElements"), std::to_string(df.elements.size())) << sel;
        EXPECT_EQ(df.globals.get("NumVersions"), std::to_string(versions)) << sel;
        if (*sel == 0) {
            all_versions = versions;
        } else if (sel[1] != 'V') {
            EXPECT_LT(versions, all_versions) << sel;   // the selection left some out
        }
    }
}

TEST_F(ProgramTest, HelpUnderEachNameWithoutAnyCheck) {
    for (const char *name : {"vantexport_rcs", "vantexport_si", "vantexport_cvs"}) {
        for (const char *opt : {"-h", "--help"}) {
            std::string out;
            // No CVSROOT, and an existing output file: help is asked before either is checked.
            dir.file("cvt_data", "");
            EXPECT_EQ(run_in("env -u CVSROOT '" + program_dir() + "/" + name + "' -r " + opt, &out), 0)
                << name << opt << out;
            bool cvs = std::strcmp(name, "vantexport_cvs") == 0;
            std::string usage = std::string("Usage: ") + name + (cvs ? " [-r [-A]]" : " [-r] [-s");
            EXPECT_EQ(out.rfind(usage, 0), 0u) << out;
            std::string prefix = cvs ? "CVS" : std::strcmp(name, "vantexport_si") == 0 ? "SI" : "RCS";
            EXPECT_NE(out.find("  -V              record each revision number as the attribute " + prefix +
                               "_REVISION\n"),
                      std::string::npos)
                << out;
            EXPECT_NE(out.find("as the attribute " + prefix + "_STATE\n"), std::string::npos);
            EXPECT_NE(out.find("  -I {now|date-time}"), std::string::npos);
            EXPECT_EQ(out.find("  -b "), std::string::npos);   // refused by these kinds
            EXPECT_EQ(out.find("  -A ") != std::string::npos, cvs) << out;
            EXPECT_EQ(out.find("  CVSROOT ") != std::string::npos, cvs) << out;
            EXPECT_EQ(out.find("EXPORT_REPLACE_COMM"), std::string::npos);
            EXPECT_NE(out.find("  EXPORT_REPLACE_STRING"), std::string::npos);
            for (const char *st : {"  0  ", "  1  the run failed", "  2  the data file was written"})
                EXPECT_NE(out.find(st), std::string::npos) << st;
            EXPECT_EQ(out.find("Error"), std::string::npos) << out;
        }
    }
    // An unknown name still fails.
    ASSERT_EQ(symlink((program_dir() + "/vantexport_rcs").c_str(), (dir / "vantexport_x").c_str()), 0);
    std::string out;
    EXPECT_EQ(run_in("./vantexport_x --help", &out), 1);
    EXPECT_NE(out.find("Unknown conversion mode requested, aborting."), std::string::npos);
}

// Each CVSROOT message is followed by how to run the CVS exporter, with the
// values at hand.
TEST_F(ProgramTest, CvsrootMessagesHaveHints) {
    dir.dir("repo/CVSROOT");
    dir.dir("repo/mod");
    dir.dir("elsewhere");
    char *real = realpath((dir / "repo").c_str(), nullptr);
    ASSERT_TRUE(real);
    std::string repo_real = real;
    std::free(real);
    real = realpath((dir / "elsewhere").c_str(), nullptr);
    ASSERT_TRUE(real);
    std::string elsewhere = real;
    std::free(real);
    struct Case {
        std::string env, where, message, hint;
    } cases[] = {
        {"env -u CVSROOT", "repo/mod", "Environment variable \"CVSROOT\" must be set.",
         "    Set CVSROOT to the repository root (the directory that holds CVSROOT/) and run vantexport_cvs "
         "inside $CVSROOT/<module>; the current directory is \""},
        {"CVSROOT=/no/such/repo", "repo/mod", "Unable to resolve path to CVS repository \"/no/such/repo\".",
         "    CVSROOT is \"/no/such/repo\": set it to the repository root (the directory that holds CVSROOT/) "
         "and run vantexport_cvs inside $CVSROOT/<module>.\n"},
        {"CVSROOT=:ext:host:/cvs", "repo/mod", "Bad access method for CVS repository",
         "    CVSROOT is \":ext:host:/cvs\": set it to the repository root"},
        {"CVSROOT='" + dir / "repo" + "'", "elsewhere", "relative to path in environment variable CVSROOT.",
         "    Run vantexport_cvs inside $CVSROOT/<module>, with CVSROOT set to the repository root (the "
         "directory that holds CVSROOT/): the current directory \"" +
             elsewhere + "\" is not below CVSROOT \"" + repo_real + "\".\n"},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(testutil::shell("cd '" + dir / c.where + "' && " + c.env + " '" + program_dir() +
                                      "/vantexport_cvs' -r 2>&1",
                                  &out),
                  1);
        size_t msg = out.find(c.message);
        ASSERT_NE(msg, std::string::npos) << out;
        // The hint is the line right after the message.
        size_t next = out.find('\n', msg) + 1;
        EXPECT_EQ(out.compare(next, c.hint.size(), c.hint), 0) << out;
        EXPECT_FALSE(fileutl_exists((dir / (c.where + "/cvt_data")).c_str()));
    }
}

// -I: the main branch's last version is the tip's replay; a merge keeps both
// of its ends, so a replayed revision stays even when nothing else would keep
// it, and no Merge names a version that was left out.
TEST_F(ProgramTest, ImportantVersionsWithReplays) {
    dir.file("v.c,v", VENDOR_ARCHIVE);
    std::string out;
    ASSERT_EQ(run_in("CVSROOT='" + dir.path() + "' '" + program_dir() + "/vantexport_cvs' -I now", &out), 0)
        << out;
    data_file df;
    ASSERT_TRUE(read_data_file(dir / "cvt_data", &df));
    ASSERT_EQ(df.elements.size(), 1u);
    Ids got;
    for (const data_version &v : df.elements[0].versions)
        got.push_back(v.get("VersionId"));
    // 1.1.1.1 and 1.1.1.2 are neither last, named nor merged; 1.1.1.3 is merged.
    EXPECT_EQ(got, (Ids{"1.1", "1.1.1.3", "1.1.1.4", "1.2", "1.2.2.1", "1.1.1.3@main", "1.1.1.4@main"}));
    for (const data_version &v : df.elements[0].versions)
        for (const std::string &m : v.all("Merge"))
            EXPECT_NE(std::find(got.begin(), got.end(), m), got.end()) << m;
}

}   // namespace
