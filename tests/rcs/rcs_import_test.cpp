// End to end: an RCS tree and a CVS repository made with the real tools are
// exported, imported with vantimport into a fresh VOB, and every version's
// contents read back through the VOB equal what co or cvs gives for that
// revision; labels and branches are in the VOB.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "runtime/strutl.h"
#include "tests/common/testutil.h"
#include "tests/rcs/rcs_fixtures.h"
#include "tests/rcs/rcs_test_util.h"

namespace {

struct ImportEndToEnd : ::testing::Test {
    testutil::TempDir dir;
    std::string vantor = std::string(VANTOR_BUILD_DIR) + "/platform/vantor/vantor";
    std::string vantimport = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";
    std::string env() const { return "VANTOR_HOME='" + dir / "home" + "' "; }
    std::string view_root() const { return dir / "view" + "/e2e"; }

    // Exports `where` with the program and makes the VOB to import into.
    void export_to_new_vob(const std::string &where, const std::string &program, const std::string &extra_env,
                           const std::string &opts, data_file *df) {
        std::string out;
        ASSERT_EQ(testutil::shell("cd '" + where + "' && " + extra_env + " '" + program_dir() + "/" +
                                      program + "' " + opts + " -o '" + dir / "cvt_data" + "' 2>&1",
                                  &out),
                  0)
            << out;
        ASSERT_TRUE(read_data_file(dir / "cvt_data", df));
        ASSERT_EQ(
            testutil::shell(env() + "'" + vantor + "' mkvob -tag /e2e >/dev/null && " + env() + "'" + vantor +
                            "' mkview -tag e2e_view -vob /e2e '" + dir / "view" + "' >/dev/null"),
            0);
    }
    int import(const std::string &extra_env, std::string *out) {
        return testutil::shell("cd '" + view_root() + "' && " + env() + extra_env + " '" + vantimport +
                                   "' '" + dir / "cvt_data" + "' 2>&1",
                               out);
    }
    // Exports `where` with the program and imports the data file into a new VOB.
    void export_and_import(const std::string &where, const std::string &program, const std::string &extra_env,
                           const std::string &opts, data_file *df) {
        export_to_new_vob(where, program, extra_env, opts, df);
        if (HasFatalFailure())
            return;
        std::string out;
        ASSERT_EQ(import(extra_env, &out), 0) << out;
    }
    std::string vob(const std::string &args) {
        std::string out;
        testutil::shell(env() + "'" + vantor + "' " + args + " 2>&1", &out);
        return out;
    }
    // Each exported version against `reference` (a command printing that
    // revision), through its version id in the VOB: the branch path and the
    // version's place on its branch. A version without contents has none in
    // the VOB; one whose bytes equal the previous version's of its branch is
    // that version (the import makes no copy). A replay on the main branch
    // ("rev@main") gives what its revision gives.
    void check_contents(
        const data_element &e, int *checked,
        const std::function<std::string(const data_element &, const std::string &)> &reference) {
        std::string name = e.get("Name");
        std::map<std::string, int> count;
        std::map<std::string, std::string> previous;   // branch -> bytes of its last version
        std::string path = view_root() + "/" + name;
        std::string tree = vob("lsvtree -s " + strutl_sh_squote(path));
        for (const data_version &v : e.versions) {
            std::string branch = "/main";
            if (!v.get("OnBranch").empty())
                branch += "/" + v.get("OnBranch");
            std::string rev = v.get("VersionId");
            rev = rev.substr(0, rev.find('@'));
            bool contents = !v.get("ExtractCmd").empty();
            std::string want = contents ? reference(e, rev) : "";
            auto prev = previous.find(branch);
            bool same = contents && prev != previous.end() && prev->second == want;
            if (!same)
                ++count[branch];
            if (contents)
                previous[branch] = want;
            else
                previous.erase(branch);
            std::string vid = branch + "/" + std::to_string(count[branch]);
            SCOPED_TRACE(name + " " + v.get("VersionId") + " as " + vid);
            EXPECT_NE(tree.find(vid), std::string::npos) << tree;
            std::string got = vob("cat " + strutl_sh_squote(path + "@@" + vid));
            if (contents)
                EXPECT_EQ(got, want);
            else
                EXPECT_NE(got.find("has no contents"), std::string::npos) << got;
            for (const std::string &label : v.all("Label"))
                EXPECT_NE(vob("describe " + strutl_sh_squote(path + "@@" + vid)).find(label),
                          std::string::npos)
                    << label;
            ++*checked;
        }
    }
    void check_contents(
        const data_file &df, int expected,
        const std::function<std::string(const data_element &, const std::string &)> &reference) {
        int checked = 0;
        for (const data_element &e : df.elements)
            check_contents(e, &checked, reference);
        EXPECT_EQ(checked, expected);
    }
    // What cvs checks out at HEAD, against the main branch's latest version.
    void check_cvs_head(const data_file &df, const std::string &cvsroot, const std::string &module) {
        for (const data_element &e : df.elements) {
            std::string name = e.get("Name"), want;
            SCOPED_TRACE(name);
            bool removed = false;   // the main branch ends without contents
            for (const data_version &v : e.versions)
                if (v.get("OnBranch").empty())
                    removed = v.get("ExtractCmd").empty();
            testutil::shell("cd '" + dir.path() + "' && " + cvsroot + " cvs -Q co -p " +
                                strutl_sh_squote(module + "/" + name) + " 2>/dev/null",
                            &want);
            std::string got = vob("cat " + strutl_sh_squote(view_root() + "/" + name + "@@/main/LATEST"));
            if (removed) {
                EXPECT_EQ(want, "");
                EXPECT_NE(got.find("has no contents"), std::string::npos) << got;
            } else {
                EXPECT_EQ(got, want);
            }
        }
    }
};

TEST_F(ImportEndToEnd, RcsTreeLandsInTheVob) {
    std::string top = dir / "rcs";
    ASSERT_EQ(testutil::shell("mkdir -p '" + top + "' && cd '" + top + "' && " + MAKE_RCS_TREE), 0);
    data_file df;
    export_and_import(top, "vantexport_rcs", "", "-r", &df);
    if (HasFatalFailure())
        return;
    std::map<std::string, std::string> archive = {{"src/trunk.c", "src/RCS/trunk.c,v"},
                                                  {"src/deep.c", "src/RCS/deep.c,v"},
                                                  {"lib/plain.c", "lib/plain.c,v"}};
    check_contents(df, 12, [&](const data_element &e, const std::string &rev) {
        std::string out;
        testutil::shell("co -q -p -r" + rev + " '" + top + "/" + archive[e.get("Name")] + "'", &out);
        return out;
    });
    std::string tree = vob("lsvtree -s '" + view_root() + "/src/deep.c'");
    for (const char *b : {"/main/rel_1/1", "/main/rel_1/hotfix/1", "/main/1.2.2/1"})
        EXPECT_NE(tree.find(b), std::string::npos) << tree;
}

TEST_F(ImportEndToEnd, CvsRepositoryLandsInTheVob) {
    ASSERT_EQ(testutil::shell("cd '" + dir.path() + "' && " + MAKE_CVS_REPO + " >/dev/null 2>&1"), 0);
    std::string cvsroot = "CVSROOT='" + dir / "repo" + "'";
    data_file df;
    export_and_import(dir / "repo/proj", "vantexport_cvs", cvsroot, "-r -A", &df);
    if (HasFatalFailure())
        return;
    // sub/s.c, from the vendor alone, ends the main branch with 1.1.1.1 again.
    check_contents(df, 11, [&](const data_element &e, const std::string &rev) {
        std::string out;
        testutil::shell("cd '" + dir.path() + "' && " + cvsroot + " cvs -Q co -p -r" + rev + " 'proj/" +
                            e.get("Name") + "' 2>/dev/null",
                        &out);
        return out;
    });
    check_cvs_head(df, cvsroot, "proj");
    std::string tree = vob("lsvtree -s '" + view_root() + "/a.c'");
    for (const char *b : {"/main/vend/1", "/main/br1/1", "rel_1"})
        EXPECT_NE(tree.find(b), std::string::npos) << tree;
}

// CVSROOT naming another repository stops the import before anything is
// made, saying where the data file's archives are; the right one imports.
TEST_F(ImportEndToEnd, CvsrootOfAnotherRepositoryStopsBeforeAnything) {
    ASSERT_EQ(testutil::shell("cd '" + dir.path() + "' && " + MAKE_CVS_REPO + " >/dev/null 2>&1"), 0);
    ASSERT_EQ(testutil::shell("CVSROOT='" + dir / "other" + "' cvs -Q init"), 0);
    data_file df;
    export_to_new_vob(dir / "repo/proj", "vantexport_cvs", "CVSROOT='" + dir / "repo" + "'", "-r -A", &df);
    if (HasFatalFailure())
        return;
    std::string before = vob("dump --json /e2e"), out;
    EXPECT_EQ(import("CVSROOT='" + dir / "other" + "'", &out), 1) << out;
    for (const std::string &said :
         {"run cvs, but CVSROOT \"" + dir / "other" +
              "\" does not hold the archives they read: there is no \"" + dir / "other/proj/",
          "; nothing was imported.\n    The data file was exported from \"" + dir / "repo/proj" +
              "\", in the repository \"" + dir / "repo" + "\": set CVSROOT to \"" + dir / "repo" + "\""})
        EXPECT_NE(out.find(said), std::string::npos) << said << "\n" << out;
    EXPECT_EQ(vob("dump --json /e2e"), before);
    ASSERT_EQ(import("CVSROOT=':local:" + dir / "repo" + "'", &out), 0) << out;
    EXPECT_NE(vob("lsvtree -s '" + view_root() + "/a.c'").find("/main/br1/1"), std::string::npos);
}

// Removed files, two vendor drops, a branch tag without revisions and a name
// the shell would interpret: every version gives what cvs gives for its
// revision, and each main branch ends with what cvs checks out at HEAD.
TEST_F(ImportEndToEnd, CvsHistoryAsCvsChecksItOut) {
    ASSERT_EQ(
        testutil::shell("cd '" + dir.path() + "' && " + MAKE_CVS_HISTORY + " >/dev/null 2>&1 </dev/null"), 0);
    std::string cvsroot = "CVSROOT='" + dir / "repo" + "'";
    data_file df;
    export_and_import(dir / "repo/mod", "vantexport_cvs", cvsroot, "-r -A", &df);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(df.element("q\"uo$te`b\\ack's%s.c"));
    // kw.c 5, local.c 5, again.c 5, gone.c and gone2.c 3 each, the quoted name 3.
    check_contents(df, 24, [&](const data_element &e, const std::string &rev) {
        std::string out;
        testutil::shell("cd '" + dir.path() + "' && " + cvsroot + " cvs -Q co -p -r" + rev + " " +
                            strutl_sh_squote("mod/" + e.get("Name")) + " 2>/dev/null",
                        &out);
        return out;
    });
    check_cvs_head(df, cvsroot, "mod");
    EXPECT_EQ(vob("cat " + strutl_sh_squote(view_root() + "/kw.c@@/main/LATEST")),
              "$Revision: 1.1.1.2 $\nv2\n");
}

// RCS archives whose names hold " $ ` \ ' and %: co gets each one's bytes.
TEST_F(ImportEndToEnd, RcsNamesWithShellCharacters) {
    std::string top = dir / "rcs";
    const std::vector<std::string> names = {"q\"uote.c",     "dollar$HOME.c", "back`tick`.c",
                                            "back\\slash.c", "it's.c",        "50%s%c.c"};
    std::string make = "mkdir -p " + strutl_sh_squote(top + "/RCS") + " && cd " + strutl_sh_squote(top);
    for (const std::string &n : names)
        make += " && printf '%s\\n' " + strutl_sh_squote(n) + " > " + strutl_sh_squote(n) +
                " && ci -q -t-x -mfirst " + strutl_sh_squote(n) + " && co -q -l " + strutl_sh_squote(n) +
                " && echo two >> " + strutl_sh_squote(n) + " && ci -q -msecond " + strutl_sh_squote(n);
    ASSERT_EQ(testutil::shell(make + " </dev/null >/dev/null 2>&1"), 0);
    data_file df;
    export_and_import(top, "vantexport_rcs", "", "-r", &df);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(df.elements.size(), names.size());
    check_contents(df, 12, [&](const data_element &e, const std::string &rev) {
        std::string out;
        testutil::shell("co -q -p -r" + rev + " " + strutl_sh_squote(top + "/RCS/" + e.get("Name") + ",v"),
                        &out);
        EXPECT_NE(out, "") << e.get("Name");
        return out;
    });
}

}   // namespace
