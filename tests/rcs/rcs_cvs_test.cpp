// What CVS's checkout rules need from the CVS exporter, on a repository made
// with the real cvs: removed revisions without contents, the default branch
// replayed on the main branch, branch tags without revisions, names that the
// shell would interpret, the note on the archives left in Attic, and the
// removal that ends the main branch where cvs checkout shows no file.
#include <gtest/gtest.h>

#include <set>

#include "runtime/strutl.h"
#include "tests/common/testutil.h"
#include "tests/rcs/rcs_fixtures.h"
#include "tests/rcs/rcs_test_util.h"

namespace {

using Ids = std::vector<std::string>;

struct CvsHistory : ::testing::Test {
    static testutil::TempDir *dir;
    static void SetUpTestSuite() {
        dir = new testutil::TempDir();
        ASSERT_EQ(testutil::shell("cd '" + dir->path() + "' && " + MAKE_CVS_HISTORY +
                                  " >/dev/null 2>&1 </dev/null"),
                  0);
    }
    static void TearDownTestSuite() { delete dir; }
    static std::string env() { return "CVSROOT='" + *dir / "repo" + "'"; }

    // Runs vantexport_cvs in repo/mod; the data file goes outside the tree.
    int run(const std::string &opts, data_file *df, std::string *err = nullptr) {
        testutil::TempDir scratch;
        std::string out, errors;
        int rc = testutil::shell("cd '" + *dir / "repo/mod" + "' && " + env() + " '" + program_dir() +
                                     "/vantexport_cvs' " + opts + " -o '" + scratch / "out.dat" + "' 2>'" +
                                     scratch / "err.txt" + "'",
                                 &out);
        errors = testutil::read_file(scratch / "err.txt");
        if (err)
            *err = errors;
        EXPECT_TRUE(read_data_file(scratch / "out.dat", df)) << errors;
        return rc;
    }
    static const data_version *version(const data_element *e, const std::string &id) {
        for (const data_version &v : e->versions)
            if (v.get("VersionId") == id)
                return &v;
        return nullptr;
    }
    static Ids ids(const data_element *e) {
        Ids out;
        for (const data_version &v : e->versions)
            out.push_back(v.get("VersionId"));
        return out;
    }
    // Runs a recorded cvs command and returns what it wrote.
    // Runs an ExtractCmd as the importer does: "%%" is a "%" of the name.
    static std::string run_cmd(const std::string &tmpl) {
        std::string cmd;
        for (size_t i = 0; i < tmpl.size(); ++i) {
            cmd += tmpl[i];
            if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '%')
                ++i;
        }
        EXPECT_EQ(
            testutil::shell("cd '" + dir->path() + "' && " + env() + " " + cmd + "'" + *dir / "got" + "'"), 0)
            << cmd;
        return testutil::read_file(*dir / "got");
    }
    static std::string checkout(const std::string &file, const std::string &rev = "") {
        std::string out;
        testutil::shell("cd '" + dir->path() + "' && " + env() + " cvs -Q co -p " +
                            (rev.empty() ? "" : "-r" + rev + " ") + strutl_sh_squote("mod/" + file) +
                            " 2>/dev/null",
                        &out);
        return out;
    }
};
testutil::TempDir *CvsHistory::dir = nullptr;

// Removed revisions, on the trunk and on a branch, carry everything but
// contents; the revision that adds the file again has its contents.
TEST_F(CvsHistory, DeadRevisionsHaveNoContents) {
    data_file df;
    ASSERT_EQ(run("-r -A -S", &df), 0);
    const data_element *again = df.element("again.c");
    ASSERT_TRUE(again);
    EXPECT_EQ(ids(again), (Ids{"1.1", "1.1.1.1", "1.2", "1.3", "1.3.4.1"}));
    for (const char *dead : {"1.2", "1.3.4.1"}) {
        SCOPED_TRACE(dead);
        const data_version *v = version(again, dead);
        EXPECT_EQ(v->get("ExtractCmd"), "");
        EXPECT_EQ(v->get("ExtractFile"), "");
        EXPECT_EQ(v->all("Attrib"), Ids{"CVS_STATE=dead"});
        EXPECT_NE(v->get("EventTime"), "");
    }
    EXPECT_EQ(version(again, "1.3.4.1")->get("OnBranch"), "dev");
    EXPECT_EQ(version(again, "1.3")->all("SubBranch"), (Ids{"dev", "empty_br"}));
    EXPECT_EQ(run_cmd(version(again, "1.3")->get("ExtractCmd")), "r2\n");
    const data_element *gone = df.element("gone.c");
    ASSERT_TRUE(gone);
    EXPECT_EQ(version(gone, "1.2")->get("ExtractCmd"), "");
    EXPECT_EQ(ids(gone), (Ids{"1.1", "1.1.1.1", "1.2"}));   // the removal ends the default branch
}

// Two vendor drops and no local change: HEAD is the vendor branch's tip,
// keywords expanded for its number; the main branch replays both drops.
TEST_F(CvsHistory, DefaultBranchIsReplayedOnTheMainBranch) {
    data_file df;
    ASSERT_EQ(run("-r -V", &df), 0);
    const data_element *kw = df.element("kw.c");
    ASSERT_TRUE(kw);
    EXPECT_EQ(ids(kw), (Ids{"1.1", "1.1.1.1", "1.1.1.2", "1.1.1.1@main", "1.1.1.2@main"}));
    const data_version *tip = version(kw, "1.1.1.2"), *replay = version(kw, "1.1.1.2@main");
    EXPECT_EQ(replay->get("OnBranch"), "");
    EXPECT_EQ(replay->all("Merge"), Ids{"1.1.1.2"});
    EXPECT_TRUE(replay->all("Label").empty());
    EXPECT_EQ(tip->all("Label"), Ids{"v2"});
    EXPECT_TRUE(version(kw, "1.1.1.1@main")->all("SubBranch").empty());
    EXPECT_EQ(replay->all("Attrib"), Ids{"CVS_REVISION=1.1.1.2"});
    for (const char *k : {"EventTime", "EventUser", "Comment", "ExtractCmd"})
        EXPECT_EQ(replay->get(k), tip->get(k)) << k;
    std::string head = checkout("kw.c");
    EXPECT_EQ(head, "$Revision: 1.1.1.2 $\nv2\n");
    EXPECT_EQ(run_cmd(replay->get("ExtractCmd")), head);
    // One import alone is replayed too: 1.1.1.1 expands its keywords otherwise than 1.1.
    EXPECT_EQ(run_cmd(version(kw, "1.1.1.1@main")->get("ExtractCmd")), checkout("kw.c", "1.1.1.1"));
    EXPECT_NE(checkout("kw.c", "1.1.1.1"), checkout("kw.c", "1.1"));

    // A local change ends the default branch: nothing is replayed.
    const data_element *local = df.element("local.c");
    ASSERT_TRUE(local);
    EXPECT_EQ(ids(local), (Ids{"1.1", "1.1.1.1", "1.1.1.2", "1.2", "1.2.4.1"}));
    EXPECT_EQ(checkout("local.c"), run_cmd(version(local, "1.2")->get("ExtractCmd")));
}

// cvs checkout shows no file for an archive without revisions, one in Attic
// whose trunk head is live, or one whose default branch has no revisions: the
// main branch ends with a version without contents that says why, after the
// whole history. A dead trunk head or a default branch with revisions needs
// none (the other tests' gone.c and kw.c).
TEST_F(CvsHistory, FilesCheckoutDoesNotShowEndWithARemoval) {
    const std::string mod = *dir / "repo/mod";
    testutil::write_file(mod + "/empty.c,v",
                         "head\t;\naccess;\nsymbols;\nlocks; strict;\ncomment\t@# @;\n\n\n"
                         "desc\n@@\n");
    // A checkout of the module leaves all three out (cvs does find live.c when it is named alone).
    std::string listed;
    ASSERT_EQ(testutil::shell(
                  "cd '" + mod +
                      "' && cp local.c,v Attic/live.c,v && cp local.c,v nodef.c,v && "
                      "rcs -q -b1.1.5 nodef.c,v && cd ../.. && cvs -Q -d \"$PWD/repo\" co -d head mod && "
                      "ls head && rm -r head",
                  &listed),
              0);
    for (const char *absent : {"live.c", "nodef.c", "empty.c"})
        EXPECT_EQ(listed.find(absent), std::string::npos) << listed;
    EXPECT_NE(listed.find("local.c"), std::string::npos) << listed;
    data_file df;
    std::string err;
    ASSERT_EQ(run("-r -A -S", &df, &err), 0) << err;
    const data_element *local = df.element("local.c");
    ASSERT_TRUE(local);
    Ids local_ids = ids(local);
    struct {
        const char *name, *comment, *after;   // after: the version it takes its time from
        Ids history;
    } cases[] = {
        {"empty.c",
         "Removed: the archive holds no revision on the trunk, so cvs checkout shows no file.",
         "",
         {}},
        {"live.c",
         "Removed: the archive lies in Attic, so cvs checkout shows no file, although revision 1.2 is not dead. "
         "The time is that of 1.2: when the archive was moved is not recorded.",
         "1.2", local_ids},
        {"nodef.c",
         "Removed: the default branch 1.1.5 has no revisions, so cvs checkout shows no file. The time is that of "
         "1.2: when the default branch was set is not recorded.",
         "1.2", local_ids},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const data_element *e = df.element(c.name);
        ASSERT_TRUE(e);
        Ids want = c.history;
        want.push_back("removed@main");
        ASSERT_EQ(ids(e), want);
        const data_version &r = e->versions.back();
        EXPECT_EQ(r.get("Comment"), c.comment);
        EXPECT_EQ(r.get("OnBranch"), "");
        EXPECT_EQ(r.get("ExtractCmd") + r.get("ExtractFile"), "");
        EXPECT_EQ(r.all("Attrib"), Ids{"CVS_STATE=dead"});
        EXPECT_TRUE(r.all("Label").empty());
        EXPECT_EQ(r.get("EventTime"), *c.after ? version(e, c.after)->get("EventTime") : e->get("EventTime"));
        for (size_t i = 0; i < c.history.size(); ++i) {   // the history as the live file has it
            EXPECT_EQ(e->versions[i].all("Label"), local->versions[i].all("Label")) << c.history[i];
            EXPECT_EQ(e->versions[i].get("OnBranch"), local->versions[i].get("OnBranch")) << c.history[i];
        }
    }
    EXPECT_EQ(ids(local), (Ids{"1.1", "1.1.1.1", "1.1.1.2", "1.2", "1.2.4.1"}));
    for (const char *added : {"/empty.c,v", "/Attic/live.c,v", "/nodef.c,v"})
        std::remove((mod + added).c_str());
}

// A branch tag that no revision is on still names a branch of the element,
// sprouting from its branch point, and only once.
TEST_F(CvsHistory, BranchTagsWithoutRevisionsAreSubBranches) {
    data_file df;
    ASSERT_EQ(run("-r", &df), 0);
    const data_element *kw = df.element("kw.c");
    EXPECT_EQ(version(kw, "1.1.1.1")->all("SubBranch"), (Ids{"dev", "empty_br"}));
    EXPECT_TRUE(version(kw, "1.1")->all("SubBranch") == Ids{"vend"});
    const data_element *local = df.element("local.c");
    EXPECT_EQ(version(local, "1.2")->all("SubBranch"), (Ids{"dev", "empty_br"}));
    std::set<std::string> types(df.types.begin(), df.types.end());
    EXPECT_TRUE(types.count("BrType:empty_br"));
}

// Quotes, "$", backquotes and backslashes are escaped inside the command's
// double quotes: the command gets the file's bytes. A line feed cannot be
// carried: that archive is listed.
TEST_F(CvsHistory, NamesWithShellCharacters) {
    std::string lf = *dir / "repo/mod/line\nfeed.c,v";
    ASSERT_EQ(testutil::shell("cp '" + *dir / "repo/mod/kw.c,v" + "' '" + lf + "'"), 0);
    data_file df;
    std::string err;
    int rc = run("-r", &df, &err);
    std::remove(lf.c_str());
    EXPECT_EQ(rc, 2) << err;
    EXPECT_NE(err.find("Skipping \"line\n"), std::string::npos) << err;
    EXPECT_NE(err.find("\tline\nfeed.c,v\n"), std::string::npos) << err;
    std::string name = "q\"uo$te`b\\ack's%s.c";
    const data_element *q = df.element(name);
    ASSERT_TRUE(q);
    const data_version *v = version(q, "1.1.1.1@main");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->get("ExtractCmd"), "cvs -Q get -r1.1.1.1 -p \"mod/q\\\"uo\\$te\\`b\\\\ack's%%s.c\" > ");
    EXPECT_EQ(run_cmd(v->get("ExtractCmd")), "q\n");
    EXPECT_EQ(checkout(name), "q\n");
}

// Without -A the removed files' archives are left out, and the run says how
// many after its totals; with -A, or with nothing in Attic, it says nothing.
TEST_F(CvsHistory, ArchivesLeftInAtticAreCounted) {
    testutil::write_file(*dir / "repo/mod/Attic/notes", "not an archive");
    data_file df;
    std::string err;
    ASSERT_EQ(run("-r", &df, &err), 0) << err;
    std::remove((*dir / "repo/mod/Attic/notes").c_str());
    EXPECT_FALSE(df.element("gone.c"));
    size_t totals = err.find("Exported ");
    ASSERT_NE(totals, std::string::npos) << err;
    std::string note =
        "    2 archives in Attic directories were left out (files removed from the repository); -A exports them.\n";
    EXPECT_EQ(err.substr(err.find('\n', totals) + 1), note) << err;
    ASSERT_EQ(run("-r -A", &df, &err), 0);
    EXPECT_TRUE(df.element("gone.c"));
    EXPECT_EQ(err.find("Attic"), std::string::npos) << err;
    // A module without removed files.
    testutil::TempDir scratch;
    std::string out;
    EXPECT_EQ(
        testutil::shell("cd '" + *dir / "repo/CVSROOT" + "' && cd .. && mkdir -p clean && cd clean && cp '" +
                            *dir / "repo/mod/kw.c,v" + "' . && " + env() + " '" + program_dir() +
                            "/vantexport_cvs' -r -o '" + scratch / "o.dat" + "' 2>&1 >/dev/null",
                        &out),
        0);
    EXPECT_EQ(out.find("Attic"), std::string::npos) << out;
    EXPECT_NE(out.find("Exported 1 element with "), std::string::npos) << out;
}

// The element is made by its first revision: the creation event carries
// that revision's author and time, as the versions do, never a stand-in.
TEST_F(CvsHistory, ElementCreationIsTheFirstRevisionsEvent) {
    data_file df;
    std::string err;
    ASSERT_EQ(run("-r -q", &df, &err), 0) << err;
    ASSERT_FALSE(df.elements.empty());
    for (const data_element &e : df.elements) {
        ASSERT_FALSE(e.versions.empty()) << e.get("Name");
        const data_version &first = e.versions.front();
        EXPECT_EQ(first.get("VersionId"), "1.1") << e.get("Name");
        EXPECT_EQ(e.get("EventUser"), first.get("EventUser")) << e.get("Name");
        EXPECT_EQ(e.get("EventTime"), first.get("EventTime")) << e.get("Name");
        EXPECT_EQ(e.get("EventGroup"), first.get("EventGroup")) << e.get("Name");
        EXPECT_NE(e.get("EventUser"), "Unknown");
    }
}

}   // namespace
