// The exporter against rlog: archives and repositories made with the real RCS
// and CVS tools are exported under each program name, and every version,
// label, branch, state, author, time, comment and checkout must agree with
// what rlog says of the same archive. The recorded extract commands are run
// and must give what co gives for that revision.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "rcsarchive/rcs_rev.h"
#include "tests/common/testutil.h"
#include "tests/rcs/rcs_fixtures.h"
#include "tests/rcs/rcs_test_util.h"
#include "tests/rcs/rlog_oracle.h"

namespace {

struct export_run {
    int status = -1;
    std::string out, err;
    data_file data;
};

// Runs an exporter under `name` in `dir` with extra environment and options.
// The data file and the errors go outside the tree: anything left inside it
// is walked by the next run, and listed as not exported.
export_run run_exporter(const std::string &dir, const std::string &name, const std::string &env,
                        const std::string &opts) {
    export_run r;
    testutil::TempDir scratch;
    std::string errfile = scratch / "stderr.txt";
    r.status = testutil::shell("cd '" + dir + "' && " + env + " '" + program_dir() + "/" + name + "' " +
                                   opts + " -o '" + (scratch / "out.dat") + "' 2>'" + errfile + "'",
                               &r.out);
    r.err = testutil::read_file(errfile);
    read_data_file(scratch / "out.dat", &r.data);
    return r;
}

// The name of a branch number as the exporter must give it: a symbol naming
// CVS's ".0." form (CVS only), then one naming the number, the last of the
// archive's list first; else the number itself.
std::string branch_name(const rlog_archive &a, const std::string &num, bool cvs) {
    for (int pass = cvs ? 0 : 1; pass < 2; ++pass) {
        std::string want = pass == 0 ? rcs_magic_branch(num) : num;
        for (auto it = a.symbols.rbegin(); it != a.symbols.rend(); ++it)
            if (it->second == want)
                return it->first;
    }
    return num;
}

std::string branch_path(const rlog_archive &a, const std::string &rev, bool cvs) {
    int n = rcs_field_count(rev);
    std::string path;
    for (int k = 3; k < n; k += 2)
        path += (path.empty() ? "" : "/") + branch_name(a, std::string(rcs_prefix(rev, k)), cvs);
    return path;
}

// CVS: the default branch's revisions that the main branch replays (from
// the trunk head's date on, and the branch's tip in any case).
std::vector<std::string> replayed(const rlog_archive &a) {
    const std::string &b = a.default_branch;
    int n = rcs_field_count(b);
    if (b.empty() || n % 2 == 0)
        return {};
    std::vector<std::string> on_b;
    std::string trunk_head;
    for (auto &r : a.revisions) {
        int k = rcs_field_count(r.first);
        if (k == n + 1 && rcs_prefix(r.first, n) == b)
            on_b.push_back(r.first);
        if (k == 2 && (trunk_head.empty() || rcs_rev_compare(r.first, trunk_head) > 0))
            trunk_head = r.first;
    }
    std::sort(on_b.begin(), on_b.end(),
              [](const std::string &x, const std::string &y) { return rcs_rev_compare(x, y) < 0; });
    std::vector<std::string> out;
    for (size_t k = 0; k < on_b.size(); ++k)
        if (trunk_head.empty() || a.revisions.at(on_b[k]).date >= a.revisions.at(trunk_head).date ||
            k + 1 == on_b.size())
            out.push_back(on_b[k]);
    return out;
}

// Symbols naming a branch that sprouts from `rev` but has no revisions.
std::vector<std::string> empty_branches(const rlog_archive &a, const std::string &rev, bool cvs) {
    std::vector<std::string> out;
    const rlog_revision &r = a.revisions.at(rev);
    for (auto &s : a.symbols) {
        std::string num = s.second;
        int n = rcs_field_count(num);
        if (cvs && n >= 4 && n % 2 == 0 &&
            rcs_prefix(num, n - 1).substr(rcs_prefix(num, n - 2).size()) == ".0")
            num = std::string(rcs_prefix(num, n - 2)) + num.substr(rcs_prefix(num, n - 1).size());
        n = rcs_field_count(num);
        if (n % 2 == 0 || rcs_prefix(num, n - 1) != rev)
            continue;
        if (std::find(r.branches.begin(), r.branches.end(), num) != r.branches.end())
            continue;
        std::string name = branch_name(a, num, cvs);
        if (std::find(out.begin(), out.end(), name) == out.end())
            out.push_back(name);
    }
    return out;
}

// One element of the data file against rlog's view of its archive.
void compare_with_rlog(const data_element &e, const std::string &archive, const std::string &prefix, bool cvs,
                       const std::string &stdout_text) {
    SCOPED_TRACE(archive);
    rlog_archive a;
    ASSERT_TRUE(rlog_read(archive, &a));
    std::vector<std::string> want;
    for (auto &r : a.revisions)
        want.push_back(r.first);
    std::sort(want.begin(), want.end(),
              [](const std::string &x, const std::string &y) { return rcs_rev_compare(x, y) < 0; });
    if (cvs)
        for (const std::string &r : replayed(a))
            want.push_back(r + "@main");
    std::vector<std::string> got;
    for (const data_version &v : e.versions)
        got.push_back(v.get("VersionId"));
    ASSERT_EQ(got, want);
    EXPECT_EQ(e.get("Comment"), a.description);
    for (const data_version &v : e.versions) {
        std::string rev = v.get("VersionId");
        SCOPED_TRACE(rev);
        const rlog_revision &r = a.revisions.at(rev.substr(0, rev.find('@')));
        EXPECT_EQ(v.get("ExtractCmd").empty(), cvs && r.state == "dead");
        if (rev.find('@') != std::string::npos) {
            std::string base = rev.substr(0, rev.find('@'));
            EXPECT_EQ(v.all("Merge"), std::vector<std::string>{base});
            EXPECT_EQ(v.get("OnBranch"), "");
            EXPECT_TRUE(v.all("Label").empty());
            EXPECT_TRUE(v.all("SubBranch").empty());
            EXPECT_EQ(utc_text(std::stoll(v.get("EventTime"))), r.date);
            EXPECT_EQ(v.get("Comment"), r.log);
            continue;
        }
        EXPECT_EQ(utc_text(std::stoll(v.get("EventTime"))), r.date);
        EXPECT_EQ(v.get("EventUser"), r.author);
        if (r.author == "ghost_author") {
            EXPECT_EQ(v.get("EventGroup"), "unknown");
        }
        EXPECT_EQ(v.get("Comment"), r.log);
        std::set<std::string> attrs;
        for (const std::string &at : v.all("Attrib"))
            attrs.insert(at);
        std::set<std::string> want_attrs;
        if (r.state != "Exp")
            want_attrs.insert(prefix + "_STATE=" + r.state);
        EXPECT_EQ(attrs, want_attrs);
        std::multiset<std::string> labels, want_labels;
        for (const std::string &l : v.all("Label"))
            labels.insert(l);
        for (auto &s : a.symbols)
            if (s.second == rev)
                want_labels.insert(s.first);
        EXPECT_EQ(labels, want_labels);
        EXPECT_EQ(v.get("OnBranch"), branch_path(a, rev, cvs));
        std::vector<std::string> subs = v.all("SubBranch"), want_subs;
        for (const std::string &b : r.branches)
            want_subs.push_back(branch_name(a, b, cvs));
        for (const std::string &b : empty_branches(a, rev, cvs))
            if (std::find(want_subs.begin(), want_subs.end(), b) == want_subs.end())
                want_subs.push_back(b);
        EXPECT_EQ(subs, want_subs);
    }
    for (auto &l : a.locks)
        EXPECT_NE(stdout_text.find("\tUser \"" + l.first + "\", from " + l.second + ".\n"), std::string::npos)
            << l.first << ":" << l.second;
}

// Fills the importer's slots of an RCS extract command and runs it.
std::string run_co_command(std::string cmd, const std::string &top, const std::string &outfile) {
    size_t p = cmd.find("%s%c");
    if (p == std::string::npos)
        return "<bad command>";
    cmd.replace(p, 4, top + "/");
    p = cmd.rfind("\"%s\"");
    if (p == std::string::npos)
        return "<bad command>";
    cmd.replace(p, 4, "'" + outfile + "'");
    if (testutil::shell(cmd) != 0)
        return "<failed>";
    return testutil::read_file(outfile);
}

struct RcsOracle : ::testing::TestWithParam<const char *> {
    static testutil::TempDir *dir;
    static void SetUpTestSuite() {
        dir = new testutil::TempDir();
        ASSERT_EQ(testutil::shell("mkdir -p '" + *dir / "top" + "' && cd '" + *dir / "top" + "' && " +
                                  MAKE_RCS_TREE),
                  0);
    }
    static void TearDownTestSuite() { delete dir; }
    std::string top() const { return *dir / "top"; }
};
testutil::TempDir *RcsOracle::dir = nullptr;

TEST_P(RcsOracle, EveryArchiveAgreesWithRlog) {
    std::string tz = GetParam();
    for (const char *name : {"vantexport_rcs", "vantexport_si"}) {
        SCOPED_TRACE(name);
        export_run r = run_exporter(top(), name, "TZ=" + tz, "-r -S");
        ASSERT_EQ(r.status, 0) << r.err;
        std::string prefix = std::string(name) == "vantexport_si" ? "SI" : "RCS";
        EXPECT_EQ(r.data.globals.get("ExporterKind"), prefix == "SI" ? "10" : "3");
        EXPECT_EQ(r.data.globals.get("NeedCmd"), "co");
        ASSERT_EQ(r.data.elements.size(), 3u);
        const struct {
            const char *element, *archive;
        } files[] = {{"src/trunk.c", "src/RCS/trunk.c,v"},
                     {"src/deep.c", "src/RCS/deep.c,v"},
                     {"lib/plain.c", "lib/plain.c,v"}};
        for (auto &f : files) {
            const data_element *e = r.data.element(f.element);
            ASSERT_TRUE(e) << f.element;
            compare_with_rlog(*e, top() + "/" + f.archive, prefix, false, r.out);
        }
        // Branch naming and sub-branches, as the VOB will see them.
        const data_element *deep = r.data.element("src/deep.c");
        std::set<std::string> types(r.data.types.begin(), r.data.types.end());
        for (const char *t : {"BrType:rel_1", "BrType:hotfix", "BrType:1.2.2", "LbType:s12", "LbType:fix1"})
            EXPECT_TRUE(types.count(t)) << t;
        EXPECT_TRUE(types.count("AttrType:" + prefix + "_STATE"));
        for (const data_version &v : deep->versions) {
            if (v.get("VersionId") == "1.2.1.1.1.1") {
                EXPECT_EQ(v.get("OnBranch"), "rel_1/hotfix");
            }
        }
    }
}

TEST_P(RcsOracle, ExtractCommandsGiveWhatCoGives) {
    export_run r = run_exporter(top(), "vantexport_rcs", std::string("TZ=") + GetParam(), "-r");
    ASSERT_EQ(r.status, 0) << r.err;
    int checked = 0;
    for (const data_element &e : r.data.elements) {
        for (const data_version &v : e.versions) {
            std::string rev = v.get("VersionId"), cmd = v.get("ExtractCmd");
            std::string archive = cmd.substr(cmd.find("%s%c") + 4);
            archive = archive.substr(0, archive.find('"'));
            std::string want;
            ASSERT_EQ(testutil::shell("co -q -p -r" + rev + " '" + top() + "/" + archive + "'", &want), 0);
            EXPECT_EQ(run_co_command(cmd, top(), *dir / "extract.out"), want) << cmd;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 3 + 8 + 1);
}

INSTANTIATE_TEST_SUITE_P(Zones, RcsOracle, ::testing::Values("UTC", "America/New_York"),
                         [](const auto &zone) {
                             std::string s = zone.param;
                             std::replace(s.begin(), s.end(), '/', '_');
                             return s;
                         });

struct CvsOracle : ::testing::Test {
    static testutil::TempDir *dir;
    static void SetUpTestSuite() {
        dir = new testutil::TempDir();
        ASSERT_EQ(testutil::shell("cd '" + dir->path() + "' && " + MAKE_CVS_REPO + " >/dev/null"), 0);
    }
    static void TearDownTestSuite() { delete dir; }
    std::string repo() const { return *dir / "repo"; }
    std::string env() const { return "CVSROOT='" + repo() + "'"; }
};
testutil::TempDir *CvsOracle::dir = nullptr;

TEST_F(CvsOracle, RepositoryAgreesWithRlog) {
    for (const char *tz : {"UTC", "America/New_York"}) {
        SCOPED_TRACE(tz);
        export_run r = run_exporter(repo() + "/proj", "vantexport_cvs", env() + " TZ=" + tz, "-r -S -A");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.data.globals.get("ExporterKind"), "11");
        EXPECT_EQ(r.data.globals.get("NeedCmd"), "cvs");
        for (auto f : {std::make_pair("a.c", "a.c,v"), std::make_pair("b.c", "Attic/b.c,v"),
                       std::make_pair("sub/s.c", "sub/s.c,v"), std::make_pair("new.c", "new.c,v")}) {
            const data_element *e = r.data.element(f.first);
            ASSERT_TRUE(e) << f.first;
            compare_with_rlog(*e, repo() + "/proj/" + f.second, "CVS", true, r.out);
        }
        // The vendor branch by its symbol; the branch tag in CVS's ".0." form.
        const data_element *a = r.data.element("a.c");
        std::map<std::string, std::string> on;
        for (const data_version &v : a->versions)
            on[v.get("VersionId")] = v.get("OnBranch");
        EXPECT_EQ(on["1.1.1.1"], "vend");
        EXPECT_EQ(on["1.2.2.1"], "br1");
        const data_element *b = r.data.element("b.c");
        EXPECT_EQ(b->versions.back().get("Attrib"), "CVS_STATE=dead");
    }
}

TEST_F(CvsOracle, AtticAndCvsrootAreLeftOut) {
    export_run r = run_exporter(repo() + "/proj", "vantexport_cvs", env(), "-r");
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> names;
    for (const data_element &e : r.data.elements)
        names.insert(e.get("Name"));
    EXPECT_EQ(names, (std::set<std::string>{"a.c", "new.c", "sub/s.c"}));
    EXPECT_EQ(std::count(r.data.dirs.begin(), r.data.dirs.end(), "Attic"), 0);

    // From the repository's root: the administration directory is pruned.
    export_run root = run_exporter(repo(), "vantexport_cvs", env(), "-r");
    ASSERT_EQ(root.status, 0) << root.err;
    for (const data_element &e : root.data.elements)
        EXPECT_EQ(e.get("Name").find("CVSROOT"), std::string::npos) << e.get("Name");
    for (const std::string &d : root.data.dirs)
        EXPECT_EQ(d.find("CVSROOT"), std::string::npos) << d;
    EXPECT_TRUE(root.data.element("proj/a.c"));

    // -A without -r is refused by the main.
    export_run no_r = run_exporter(repo() + "/proj", "vantexport_cvs", env(), "-A");
    EXPECT_EQ(no_r.status, 1);
    EXPECT_NE(no_r.err.find("The -A option may not be specified without -r."), std::string::npos);
}

TEST_F(CvsOracle, GetCommandsGiveWhatCvsGives) {
    export_run r = run_exporter(repo() + "/proj", "vantexport_cvs", env(), "-r -A");
    ASSERT_EQ(r.status, 0) << r.err;
    int checked = 0;
    for (const data_element &e : r.data.elements) {
        for (const data_version &v : e.versions) {
            std::string cmd = v.get("ExtractCmd"), rev = v.get("VersionId");
            rev = rev.substr(0, rev.find('@'));   // a replay on the main branch
            if (cmd.empty()) {                    // removed: cvs has nothing to give
                std::string none;
                testutil::shell("cd '" + dir->path() + "' && " + env() + " cvs -Q co -p -r" + rev + " proj/" +
                                    e.get("Name") + " 2>/dev/null",
                                &none);
                EXPECT_EQ(none, "") << rev;
                continue;
            }
            ASSERT_EQ(cmd.compare(0, 16, "cvs -Q get -r" + rev.substr(0, 3)), 0) << cmd;
            std::string want, got;
            std::string module = "proj/" + e.get("Name");
            ASSERT_EQ(testutil::shell("cd '" + dir->path() + "' && " + env() + " cvs -Q co -p -r" + rev +
                                          " " + module + " 2>/dev/null",
                                      &want),
                      0);
            ASSERT_EQ(testutil::shell("cd '" + dir->path() + "' && " + env() + " " + cmd + "'" +
                                      *dir / "got.out" + "'"),
                      0)
                << cmd;
            EXPECT_EQ(testutil::read_file(*dir / "got.out"), want) << cmd;
            ++checked;
        }
    }
    EXPECT_GE(checked, 9);
}

TEST_F(CvsOracle, RepositoryChecksAtStart) {
    std::string d = repo() + "/proj";
    struct {
        std::string env, where, message;
    } cases[] = {
        {"env -u CVSROOT", d, "Environment variable \"CVSROOT\" must be set.  Unable to proceed."},
        {"CVSROOT=:ext:host:/cvs", d,
         "Bad access method for CVS repository \":ext:host:/cvs\".  Repository must be local."},
        {"CVSROOT=:loc", d, "Bad access method"},
        {"CVSROOT=/no/such/repo", d,
         "Unable to resolve path to CVS repository \"/no/such/repo\".  Unable to proceed."},
        {env(), dir->path(),
         "Unable to resolve directory \"" + dir->path() +
             "\" relative to path in environment variable CVSROOT."},
    };
    for (auto &c : cases) {
        export_run r = run_exporter(c.where, "vantexport_cvs", c.env, "-r");
        EXPECT_EQ(r.status, 1) << c.env;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.env << "\n" << r.err;
        EXPECT_NE(r.err.find("CM driver initialization failed."), std::string::npos);
        EXPECT_TRUE(r.data.elements.empty());
    }
    export_run ok = run_exporter(d, "vantexport_cvs", "CVSROOT=:local:" + repo(), "-r");
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(ok.data.element("a.c"));
    for (const data_version &v : ok.data.element("a.c")->versions)
        EXPECT_EQ(v.get("ExtractCmd"), "cvs -Q get -r" + v.get("VersionId") + " -p \"proj/a.c\" > ");
}

}   // namespace
