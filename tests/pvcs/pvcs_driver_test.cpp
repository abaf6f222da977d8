// vantexport_pvcs on trees of archives made with the tests' writer: which
// files become elements and under which names, the version records of
// branches, labels, groups and comments, the extract commands (run through
// the `get` stand-in), and what a run reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/strutl.h"
#include "tests/common/testutil.h"
#include "tests/pvcs/pvcs_writer.h"
#include "tests/rcs/rcs_test_util.h"

namespace {

using pvcs_test::archive;
using pvcs_test::dos_time;
using pvcs_test::revision;

revision rev(const std::string &number, int day, std::optional<std::string> contents = std::nullopt) {
    revision r;
    r.number = number;
    r.time = dos_time(2005, 3, day, 12, 0, 0);
    r.author = "alice";
    r.comment = "made " + number;
    r.contents = contents ? *contents : "contents of " + number + "\n";
    return r;
}

// The trunk 1.0 to 1.3; from 1.2 the branch 1.2.1 (label "dev") with 1.2.1.0
// and 1.2.1.1, the unnamed branch 1.2.2 with 1.2.2.0, and from 1.2.1.1 the
// branch 1.2.1.1.1 (label "fix/it"). Written newest first.
archive history() {
    archive a;
    a.workfile = "hist.c";
    a.owner = "olga";
    a.description = "the history";
    a.revisions = {rev("1.2.1.1.1.0", 9), rev("1.3", 8), rev("1.2.2.0", 7), rev("1.2.1.1", 6),
                   rev("1.2.1.0", 5),     rev("1.2", 4), rev("1.1", 3),     rev("1.0", 2)};
    a.revisions[6].comment = "line one\r\nline two\r\n";
    a.revisions[7].author.reset();
    a.labels = {
        {"REL1", "1.1"}, {"dev", "1.2.1"}, {"REL1b", "1.1"}, {"fix/it", "1.2.1.1.1"}, {"r\\3", "1.3"}};
    a.groups = {{"DEV", "1.3"}, {"PROD", "1.1"}, {"TEST", "1.3"}};
    a.locks = {{"alice", "1.3"}};
    return a;
}

struct PvcsRun : ::testing::Test {
    testutil::TempDir dir;
    std::string top = dir / "tree";
    std::string out;
    data_file df;

    void SetUp() override { testutil::make_dirs(top); }
    void put(const std::string &rel, const archive &a) {
        testutil::make_dirs(top + "/" +
                            rel.substr(0, rel.rfind('/') == std::string::npos ? 0 : rel.rfind('/')));
        pvcs_test::write_file(top + "/" + rel, a);
    }
    // Runs the exporter in the tree; its exit status. The data file is read
    // when the run wrote one.
    int run(const std::string &opts, const std::string &env = "") {
        df = data_file();
        std::remove((dir / "cvt_data").c_str());
        int rc = testutil::shell("cd '" + top + "' && " + env + " '" + PVCS_PROGRAM + "' " + opts + " -o '" +
                                     dir / "cvt_data" + "' 2>&1",
                                 &out);
        if (testutil::exists(dir / "cvt_data")) {
            EXPECT_TRUE(read_data_file(dir / "cvt_data", &df));
        }
        return rc;
    }
    std::vector<std::string> names() const { return df.element_names(); }
    const data_version *version(const std::string &element, const std::string &id) const {
        const data_element *e = df.element(element);
        if (!e)
            return nullptr;
        for (const data_version &v : e->versions)
            if (v.get("VersionId") == id)
                return &v;
        return nullptr;
    }
    // The command with the importer's places filled: the tree and "/", then
    // the output file; run by /bin/sh with the stand-in first on PATH.
    std::string fetch(const std::string &cmd, const std::string &env = "") {
        std::string filled;
        int place = 0;
        for (size_t i = 0; i < cmd.size(); ++i) {
            if (cmd[i] == '%' && i + 1 < cmd.size()) {
                char c = cmd[++i];
                if (c == '%')
                    filled += '%';
                else if (c == 's')
                    filled += place++ == 0 ? top : dir / "fetched";
                else if (c == 'c')
                    filled += '/';
                continue;
            }
            filled += cmd[i];
        }
        std::remove((dir / "fetched").c_str());
        std::string got;
        EXPECT_EQ(testutil::shell(
                      env + " PATH='" + std::string(PVCS_GET_DIR) + "':\"$PATH\" " + filled + " 2>&1", &got),
                  0)
            << filled << "\n"
            << got;
        return testutil::exists(dir / "fetched") ? testutil::read_file(dir / "fetched") : "<none>";
    }
};

TEST_F(PvcsRun, WhichFilesAreElementsAndTheirNames) {
    archive a;
    a.revisions = {rev("1.0", 1)};
    a.workfile = "main.c";
    put("src/VCS/main.c_v", a);   // the element of src
    a.workfile = "C:\\WORK\\SRC\\UTIL.C";
    put("src/util.c_v", a);
    a.workfile = "sub/dir/top.h";
    put("top.h_v", a);
    a.workfile = "deep.c";
    put("src/VCS/old/deep.c_v", a);   // below a VCS directory: skipped
    a.workfile = "cfg.c";
    put("src/VCS.CFV", a);   // the configuration file, whatever it holds
    testutil::write_file(top + "/src/notes.txt", "\xE1 plain text, not an archive\n");
    testutil::write_file(top + "/src/short", "\xE1");
    // Two archives for one element: the second is not exported.
    a.workfile = "twice.c";
    put("lib/VCS/a_v", a);
    put("lib/VCS/b_v", a);
    // A workfile name that would make the element a directory, or one outside the tree.
    a.workfile = "C:\\WORK\\..";
    put("src/up_v", a);
    a.workfile = ".";
    put("dot_v", a);
    EXPECT_EQ(run("-r"), 2) << out;
    EXPECT_EQ(names(), (std::vector<std::string>{"lib/twice.c", "src/UTIL.C", "src/main.c", "top.h"})) << out;
    EXPECT_NE(out.find("\"src/up_v\": the workfile name \"C:\\WORK\\..\" names no file."), std::string::npos)
        << out;
    EXPECT_NE(out.find("\"dot_v\": the workfile name \".\" names no file."), std::string::npos) << out;
    EXPECT_NE(out.find("Warning: Skipping files in directory src/VCS/old\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\"lib/VCS/b_v\" is not exported: \"lib/VCS/a_v\" is already exported as element "
                       "\"lib/twice.c\"."),
              std::string::npos)
        << out;
    for (const char *quiet : {"notes.txt", "short", "VCS.CFV", "deep.c"})
        EXPECT_EQ(out.find(quiet), std::string::npos) << quiet << "\n" << out;
    EXPECT_EQ(df.globals.get("ExporterKind"), "5");
    EXPECT_EQ(df.globals.get("NeedCmd"), "get");
}

TEST_F(PvcsRun, VersionsBranchesLabelsAndComments) {
    put("hist.c_v", history());
    ASSERT_EQ(run("-r"), 0) << out;
    const data_element *e = df.element("hist.c");
    ASSERT_NE(e, nullptr) << out;
    std::vector<std::string> order;
    for (const data_version &v : e->versions)
        order.push_back(v.get("VersionId"));
    EXPECT_EQ(order, (std::vector<std::string>{"1.0", "1.1", "1.2", "1.2.1.0", "1.2.1.1", "1.2.2.0", "1.3",
                                               "1.2.1.1.1.0"}));
    EXPECT_EQ(version("hist.c", "1.3")->get("OnBranch"), "");
    EXPECT_EQ(version("hist.c", "1.2.1.1")->get("OnBranch"), "dev");
    EXPECT_EQ(version("hist.c", "1.2.2.0")->get("OnBranch"), "1.2.2");
    // Separators inside a label's name are replaced: they would make two branches of one.
    EXPECT_EQ(version("hist.c", "1.2.1.1.1.0")->get("OnBranch"), "dev/fix.it");
    EXPECT_EQ(version("hist.c", "1.3")->all("Label"), std::vector<std::string>{"r.3"});
    // Two branches start at 1.2; 1.2.1.1 continues 1.2.1 and starts nothing there.
    EXPECT_EQ(version("hist.c", "1.2")->all("SubBranch"), (std::vector<std::string>{"dev", "1.2.2"}));
    EXPECT_EQ(version("hist.c", "1.2.1.0")->all("SubBranch"), std::vector<std::string>{});
    EXPECT_EQ(version("hist.c", "1.2.1.1")->all("SubBranch"), std::vector<std::string>{"fix.it"});
    // The data file lists them in reverse, so here in archive order; a
    // branch's label is no version label.
    EXPECT_EQ(version("hist.c", "1.1")->all("Label"), (std::vector<std::string>{"REL1", "REL1b"}));
    EXPECT_EQ(version("hist.c", "1.2.1.0")->all("Label"), std::vector<std::string>{});
    EXPECT_EQ(version("hist.c", "1.1")->get("Comment"), "line one\r\nline two");
    EXPECT_EQ(version("hist.c", "1.0")->get("EventUser"), "unknown");
    EXPECT_EQ(version("hist.c", "1.1")->get("EventUser"), "alice");
    EXPECT_EQ(e->get("EventUser"), "olga");
    // Without -G and -V no version has attributes.
    for (const data_version &v : e->versions)
        EXPECT_EQ(v.all("Attrib"), std::vector<std::string>{}) << v.get("VersionId");
    // The lock is reported as a checkout.
    EXPECT_NE(out.find("User \"alice\", from 1.3."), std::string::npos) << out;
}

TEST_F(PvcsRun, GroupAndRevisionAttributes) {
    put("hist.c_v", history());
    ASSERT_EQ(run("-r -G -V"), 0) << out;
    // Promoted to DEV and then TEST: the group last in the archive wins. (The
    // data file lists the attributes in reverse: the group comes first.)
    EXPECT_EQ(version("hist.c", "1.3")->all("Attrib"),
              (std::vector<std::string>{"PVCS_REVISION=1.3", "PVCS_GROUP=TEST"}));
    EXPECT_EQ(version("hist.c", "1.2")->all("Attrib"), std::vector<std::string>{"PVCS_REVISION=1.2"});
    ASSERT_EQ(run("-r -G"), 0) << out;
    EXPECT_EQ(version("hist.c", "1.1")->all("Attrib"), std::vector<std::string>{"PVCS_GROUP=PROD"});
    EXPECT_EQ(version("hist.c", "1.2")->all("Attrib"), std::vector<std::string>{});
}

TEST_F(PvcsRun, LabelledVersionsAreSelectedAtTheTimeOfTheRun) {
    put("hist.c_v", history());
    // A version counts as new as the latest branch starting at it: 1.2 (day
    // 4) is new for 1.2.2.0 (day 7). 1.0 and 1.2.1.0 (day 5), not new, come
    // as the first versions of branches that new versions are on.
    ASSERT_EQ(run("-r -s 2005-03-06"), 0) << out;
    std::vector<std::string> kept;
    for (const data_version &v : df.element("hist.c")->versions)
        kept.push_back(v.get("VersionId"));
    EXPECT_EQ(kept, (std::vector<std::string>{"1.0", "1.1", "1.2", "1.2.1.0", "1.2.1.1", "1.2.2.0", "1.3",
                                              "1.2.1.1.1.0"}));
    // After every revision: only the labelled 1.1 and 1.3 are newer, and the
    // trunk before 1.3 comes with them; no branch does.
    ASSERT_EQ(run("-r -s 2010-01-01"), 0) << out;
    std::vector<std::string> ids;
    for (const data_version &v : df.element("hist.c")->versions)
        ids.push_back(v.get("VersionId"));
    EXPECT_EQ(ids, (std::vector<std::string>{"1.0", "1.1", "1.2", "1.3"}));
    // -p leaves out the labelled 1.3, the last of its branch, but not 1.1,
    // which 1.2 needs before it.
    ASSERT_EQ(run("-r -p 2010-01-01"), 0) << out;
    ids.clear();
    for (const data_version &v : df.element("hist.c")->versions)
        ids.push_back(v.get("VersionId"));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "1.3"), 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "1.1"), 1);
    EXPECT_EQ(ids.size(), 7u);
}

TEST_F(PvcsRun, ExtractCommandsReachGetWithTheirNamesIntact) {
    archive a;
    a.revisions = {rev("1.1", 2, std::string("second\n")), rev("1.0", 1, std::string("first\0x\n", 8))};
    const std::string odd = "we $HOME `id` \"q\" %d \\ (x).c_v";
    a.workfile = "odd.c";
    put(odd, a);
    ASSERT_EQ(run("-r"), 0) << out;
    const std::string cmd = version("odd.c", "1.1")->get("ExtractCmd");
    const std::string quoted = "we \\$HOME \\`id\\` \\\"q\\\" %%d \\\\ (x).c_v";
    EXPECT_EQ(cmd, "get -q -r1.1 \"%s%c" + quoted + "(%s)\"");
    EXPECT_EQ(fetch(cmd), "second\n");
    EXPECT_EQ(fetch(version("odd.c", "1.0")->get("ExtractCmd")), std::string("first\0x\n", 8));

    const std::string env = "PVCS_LEFT_SEPARATOR='[[' PVCS_RIGHT_SEPARATOR='$]'";
    ASSERT_EQ(run("-r", env), 0) << out;
    const std::string bracketed = version("odd.c", "1.1")->get("ExtractCmd");
    EXPECT_EQ(bracketed, "get -q -r1.1 \"%s%c" + quoted + "[[%s\\$]\"");
    EXPECT_EQ(fetch(bracketed, env), "second\n");
}

TEST_F(PvcsRun, BadArchivesAreReportedAndTheOthersExported) {
    archive good;
    good.revisions = {rev("1.0", 1)};
    good.workfile = "good.c";
    put("good.c_v", good);
    // A block leading outside the file.
    pvcs_test::layout where;
    archive bad = good;
    bad.workfile = "bad.c";
    std::string bytes = pvcs_test::write(bad, &where);
    pvcs_test::put_u32(&bytes, where.header_pos + 4, 0x00100000);
    testutil::write_file(top + "/bad.c_v", bytes);
    // A branch path longer than 1024 bytes: five levels of 255-character names.
    archive deep = good;
    deep.workfile = "deep.c";
    std::string number = "1.0";
    for (int level = 0; level < 5; ++level) {
        number += ".1";
        deep.labels.push_back({std::string(255, char('a' + level)), number});
        number += ".0";
    }
    deep.revisions.insert(deep.revisions.begin(), rev(number, 2));
    put("deep.c_v", deep);
    // Two blocks of one revision number: `get` could fetch only one of them.
    archive twice = good;
    twice.workfile = "twice.c";
    twice.revisions = {rev("1.1", 3, std::string("later")), rev("1.1", 2), rev("1.0", 1)};
    put("twice.c_v", twice);
    // A branch number where a revision number belongs.
    archive odd = good;
    odd.workfile = "odd.c";
    odd.revisions = {rev("1.0.1", 2), rev("1.0", 1)};
    put("odd.c_v", odd);
    EXPECT_EQ(run("-r"), 2) << out;
    EXPECT_EQ(names(), std::vector<std::string>{"good.c"}) << out;
    EXPECT_NE(out.find("\"odd.c_v\": a revision block holds \"1.0.1\", which is not a revision number"),
              std::string::npos)
        << out;
    // Said once, with the file and the offset of the bad distance.
    EXPECT_EQ(testutil::count(out, "\"bad.c_v\", byte " + std::to_string(where.header_pos + 4) +
                                       ": the block there leads to byte 1048576, outside the file"),
              1u)
        << out;
    EXPECT_NE(out.find("\"deep.c_v\": the branch path of revision " + number + " is longer than 1024 bytes."),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"twice.c_v\": revision 1.1 is in the archive twice"), std::string::npos) << out;
    size_t list = out.find("The following elements could not be exported:");
    ASSERT_NE(list, std::string::npos) << out;
    EXPECT_NE(out.find("twice.c_v", list), std::string::npos);
    EXPECT_NE(out.find("bad.c_v", list), std::string::npos);
    EXPECT_NE(out.find("deep.c_v", list), std::string::npos);
    EXPECT_NE(out.find("odd.c_v", list), std::string::npos);
}

// Memory exhaustion ends the process, so a length read from an archive is
// checked against the file before anything is allocated for it: under an
// address-space limit far below the 2 GB a damaged comment record claims,
// that archive alone fails and the run goes on.
TEST_F(PvcsRun, AHugeLengthFailsItsArchiveNotTheRun) {
#ifdef TESTUTIL_UNDER_ASAN
    GTEST_SKIP() << "address-space limits break AddressSanitizer";
#endif
    archive good;
    good.revisions = {rev("1.0", 1)};
    good.workfile = "good.c";
    put("good.c_v", good);
    archive huge = good;
    huge.workfile = "huge.c";
    huge.revisions[0].extra = {{'E', "a comment", true}};
    pvcs_test::layout where;
    std::string bytes = pvcs_test::write(huge, &where);
    int64_t rec = where.record_pos[1][0];               // [0] holds the header's records
    pvcs_test::put_u32(&bytes, rec + 1, 0xFFFFFFF0u);   // the long-length flag and 2 GB
    testutil::write_file(top + "/huge.c_v", bytes);
    EXPECT_EQ(run("-r", "ulimit -v 400000;"), 2) << out;
    EXPECT_EQ(names(), std::vector<std::string>{"good.c"}) << out;
    EXPECT_NE(
        out.find("\"huge.c_v\", byte " + std::to_string(rec) + ": a record runs past the end of the file"),
        std::string::npos)
        << out;
    EXPECT_EQ(out.find("Unable to allocate memory"), std::string::npos) << out;
}

TEST_F(PvcsRun, BannersHelpAndUsage) {
    EXPECT_EQ(run("-version"), 0);
    EXPECT_EQ(out.rfind("vantexport_pvcs", 0), 0u) << out;
    EXPECT_EQ(out.find("libvelkexport"), std::string::npos) << out;
    EXPECT_EQ(run("-VerAll"), 0);
    EXPECT_NE(out.find("libvelkexport"), std::string::npos) << out;
    // --version anywhere among the options; -V stays the driver's revision attribute.
    EXPECT_EQ(run("-r --version"), 0);
    EXPECT_EQ(out.rfind("vantexport_pvcs", 0), 0u) << out;
    EXPECT_EQ(run("-h"), 0) << out;
    EXPECT_NE(out.find("      --version   print the version line"), std::string::npos) << out;
    EXPECT_EQ(out.find("  -V, --version"), std::string::npos) << out;
    EXPECT_NE(out.find("  -q, --quiet"), std::string::npos) << out;
    EXPECT_NE(out.find("  -G              record the promotion group of each revision as the attribute "
                       "PVCS_GROUP\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  PVCS_LEFT_SEPARATOR    the text between archive and workfile"), std::string::npos);
    run("-Z");
    EXPECT_NE(out.find("Usage: vantexport_pvcs [-r] [-s date-time | -I {now|date-time}]\n"
                       "                        [-G] [-V] [-t temp_dir_pname] [-T file-pname]\n"
                       "                        [-p date-time] [-o datafile-pname] [source-name ...]\n"),
              std::string::npos)
        << out;
}

}   // namespace
