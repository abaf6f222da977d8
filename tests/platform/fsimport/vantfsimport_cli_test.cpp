// The vantfsimport program: its command line, wildcard sources, the target as
// written, and the headings of its reports.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/common/testutil.h"
#include "tests/common/testvob.h"
#include "tests/platform/fsimport/fsimport_fixture.h"

namespace {

const char usage_start[] = "Usage: vantfsimport [-r[ecurse]] [-rm[name]]";

testutil::ProcResult vantfsimport(const std::string &cwd, std::vector<std::string> args) {
    args.insert(args.begin(), std::string(VANTOR_BUILD_DIR) + "/importers/vantfsimport/vantfsimport");
    return testutil::run(args, cwd);
}

std::string joined(const std::vector<std::string> &args) {
    std::string s;
    for (const std::string &a : args)
        s += "[" + a + "] ";
    return s;
}

// The line of `text` that follows the first line holding `heading`, "" when none.
std::string line_after(const std::string &text, const std::string &heading) {
    size_t at = text.find(heading);
    if (at == std::string::npos)
        return "";
    size_t b = text.find('\n', at);
    if (b == std::string::npos)
        return "";
    size_t e = text.find('\n', b + 1);
    return text.substr(b + 1, e == std::string::npos ? std::string::npos : e - b - 1);
}

// Each error is reported with its message, the usage follows, the status is 1,
// and nothing is handed to the import (sources and a target exist, so a
// front end that went on would print an action).
TEST(VantfsimportCommandLine, ErrorsStopBeforeTheImport) {
    testutil::TempDir dir;
    dir.file("a", "a");
    dir.dir("t");
    struct cmdline_case {
        std::vector<std::string> args;
        const char *message;
    };
    const char too_few[] = "vantfsimport: Error: Give at least one source and then the target directory.";
    const cmdline_case cases[] = {
        {{}, too_few},
        {{"t"}, too_few},
        {{"-r", "-pre", "t"}, too_few},
        {{"-r", "-pre"}, too_few},
        {{"-upd", "-mk", "L", "a", "t"},
         "Error: -upd[ates_only] limits -mk[label]: give -mk[label] LABEL before it."},
        {{"-fil", "a", "t"}, "Error: -fil[ter] applies to a tree: give -r[ecurse] with it."},
        {{"-fil", "-pre", "a", "t"}, "Error: -fil[ter] applies to a tree: give -r[ecurse] with it."},
        {{"-fil", "-r", "-pre", "a", "t"}, "Error: -fil[ter] and -pre[view] cannot be used together."},
        {{"-c"}, "Error: Option \"-c[omment]\" needs an argument."},
        {{"-r", "-mk"}, "Error: Option \"-mk[label]\" needs an argument."},
        {{"-x", "a", "t"}, "Error: Unknown option \"-x\"."},
        {{"-r", "-Ver", "a", "t"}, "Error: Unknown option \"-Ver\"."},
        {{"-rmx", "a", "t"}, "Error: Unknown option \"-rmx\"."},
        {{"a", "-r", "t"}, "Error: Cannot read the command line: \"-r\" follows a source"},
        {{"a", "t", "-pre"}, "Error: Cannot read the command line: \"-pre\" follows a source"},
        {{"-pre", "a", "-zz", "t"}, "Error: Cannot read the command line: \"-zz\" follows a source"},
    };
    for (const cmdline_case &c : cases) {
        testutil::ProcResult r = vantfsimport(dir.path(), c.args);
        EXPECT_EQ(r.status, 1) << joined(c.args);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << joined(c.args) << "\n" << r.err;
        EXPECT_EQ(r.out.rfind(usage_start, 0), 0u) << joined(c.args) << "\n" << r.out;
        EXPECT_EQ(r.out.find("new element"), std::string::npos) << joined(c.args) << "\n" << r.out;
    }
}

TEST(VantfsimportCommandLine, HelpAndVersion) {
    testutil::TempDir dir;
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"--help"}, {"-r", "-c", "x", "-h", "a"}}) {
        testutil::ProcResult r = vantfsimport(dir.path(), args);
        EXPECT_EQ(r.status, 0) << joined(args);
        EXPECT_EQ(r.out.rfind(usage_start, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("target-directory\nCopies files and directories into target-directory"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.err, "");
    }

    testutil::ProcResult r = vantfsimport(dir.path(), {"-verall", "a", "t"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("vantfsimport                      ", 0), 0u) << r.out;
    for (const char *lib : {"\nlibvelkfsimport ", "\nlibvelkvob ", "\nlibvelkcmd "})
        EXPECT_NE(r.out.find(lib), std::string::npos) << lib << "\n" << r.out;
    r = vantfsimport(dir.path(), {"-Version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("vantfsimport ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("libvelk"), std::string::npos) << r.out;
}

// Runs against a VOB /t in a loaded snapshot view, always with -pre[view].
// The program runs in src.
struct VantfsimportRun : FsImportTest {
    std::string action(const std::string &name) const {
        return "new element: " + vob_root() + "/" + name + "\n";
    }
};

TEST_F(VantfsimportRun, UpdatesOnlyAfterMkLabelIsAccepted) {
    testutil::write_file(src + "/f", "f");
    testutil::ProcResult r = vantfsimport(src, {"-mk", "REL1", "-upd", "-pre", "f", vob_root()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(action("f")), std::string::npos) << r.out;
}

// Each name a pattern matches is one source, whatever it holds: blanks,
// quotes, or a leading "-". The target loses its trailing separators.
TEST_F(VantfsimportRun, WildcardNamesArriveWhole) {
    const std::vector<std::string> names = {"my file.txt", "other file.txt", "-first.txt", "say \"hi\".txt"};
    for (const std::string &n : names)
        testutil::write_file(src + "/" + n, n);
    testutil::write_file(src + "/skip.dat", "no");
    testutil::write_file(src + "/sub/in sub.txt", "s");
    testutil::ProcResult r = vantfsimport(src, {"-pre", "*.txt", "sub/*.txt", vob_root() + "//"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const std::string &n : names)
        EXPECT_NE(r.out.find(action(n)), std::string::npos) << n << "\n" << r.out;
    EXPECT_NE(r.out.find(action("in sub.txt")), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("skip.dat"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("//"), std::string::npos) << r.out;
    EXPECT_EQ(testutil::count(r.out, "new element: "), 5u) << r.out;
}

TEST_F(VantfsimportRun, PatternMatchingNothingStopsTheRun) {
    testutil::write_file(src + "/a.txt", "a");
    testutil::ProcResult r = vantfsimport(src, {"-pre", "a.txt", "*.none", vob_root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("vantfsimport: Error: \"*.none\" matches no file or directory."), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
}

// A directory "dir1" lies where "dir*" would match it: the target goes on as
// written and fails as a directory that is not there.
TEST_F(VantfsimportRun, TargetIsNeverExpanded) {
    testutil::write_file(src + "/a.txt", "a");
    testutil::make_dirs(src + "/dir1");
    testutil::ProcResult r = vantfsimport(src, {"-pre", "a.txt", "dir*"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"dir*\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("dir1"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("new element"), std::string::npos) << r.out;
}

// -q[uiet] leaves the summary alone (in the singular where a count is one);
// --version and -V print the banner; after "--" a word beginning with "-" is
// a source.
TEST_F(VantfsimportRun, QuietVersionAndEndOfOptions) {
    testutil::write_file(src + "/-first.txt", "f");
    testutil::ProcResult r = vantfsimport(src, {"-q", "-pre", "--", "-first.txt", vob_root()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "Preview: 1 new element, 0 new versions, 0 unchanged, 0 names removed, 0 labelled, 0 not "
              "importable; nothing was changed.\n");
    r = vantfsimport(src, {"-pre", "--", "-first.txt", vob_root()});
    EXPECT_NE(r.out.find(action("-first.txt")), std::string::npos) << r.out;

    r = vantfsimport(src, {"--quiet", "--", "-first.txt", vob_root()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "1 new element, 0 new versions, 0 unchanged, 0 names removed, 0 labelled, 0 not imported.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testutil::read_file(vob_root() + "/-first.txt"), "f");

    for (const char *word : {"--version", "-V"}) {
        r = vantfsimport(src, {word});
        EXPECT_EQ(r.status, 0) << word;
        EXPECT_EQ(r.out.rfind("vantfsimport                      ", 0), 0u) << word << "\n" << r.out;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    }
    r = vantfsimport(src, {"-first.txt", vob_root(), "--version"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Unknown option \"-first.txt\""), std::string::npos) << r.err;
}

// FOR THE LIBRARY'S BEHAVIOUR: a named pipe is skipped as unimportable and
// listed in the first report table, under message 99 with -pre[view] and 85
// without. Until the library lands this runs against a stand-in; check it
// against the real fsimport_start after merging.
TEST_F(VantfsimportRun, UnimportableSourceIsListedUnderThePreviewOrErrorHeading) {
    testutil::write_file(src + "/good.txt", "g");
    ASSERT_EQ(mkfifo((src + "/pipe").c_str(), 0644), 0);
    const char would_not[] = "vantfsimport: Error: Preview: the following would not be imported:\n";
    const char were_not[] = "vantfsimport: Error: The following were not imported:\n";

    testutil::ProcResult r = vantfsimport(src, {"-pre", "good.txt", "pipe", vob_root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(action("good.txt")), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(would_not), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(were_not), std::string::npos) << r.err;
    std::string listed = line_after(r.err, would_not);
    EXPECT_NE(listed.find('\t'), std::string::npos) << r.err;
    EXPECT_NE(listed.find("pipe"), std::string::npos) << r.err;

    r = vantfsimport(src, {"good.txt", "pipe", vob_root()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(were_not), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(would_not), std::string::npos) << r.err;
    listed = line_after(r.err, were_not);
    EXPECT_NE(listed.find("pipe"), std::string::npos) << r.err;
}

}   // namespace
