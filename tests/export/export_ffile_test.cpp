// The flat-file exporter end to end: data files compared byte for byte with
// the golden files, and the command line as users meet it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/export/export_test_util.h"

using testutil::TempDir;
using Names = std::vector<std::string>;

namespace {

// The entries of dir that are neither the tree's files nor its directories:
// what a run leaves there ("cvt_data" and any temporary file beside it).
Names output_files(const std::string &dir) {
    Names names;
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
        std::string leaf = e.path().filename().string();
        if (leaf.rfind("file", 0) != 0)
            names.push_back(leaf);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}   // namespace

namespace {

const std::string FFILE = FFILE_BIN;

// A small tree with fixed times and modes: two levels, an empty file, a
// dot-file and a binary file.
void make_tree(const TempDir &d) {
    testutil::write_file(d / "src/a.c", "int main() { return 0; }\n");
    testutil::write_file(d / "src/lib/util.h", "#pragma once\n");
    testutil::write_file(d / "src/empty", "");
    testutil::write_file(d / ".profile", "PATH=/bin\n");
    testutil::write_file(d / "data.bin", std::string("\0\1\2\xff", 4));
    long long t = 1262304000;   // 2010-01-01
    for (const char *f : {"src/a.c", "src/lib/util.h", "src/empty", ".profile", "data.bin"}) {
        chmod((d / f).c_str(), 0644);
        testutil::set_mtime(d / f, t);
        t += 3600;
    }
}

void expect_golden(const std::string &name, const std::string &data) {
    std::string path = std::string(GOLDEN_DIR) + "/" + name;
    std::string got = normalise(data);
    if (std::getenv("VANTOR_UPDATE_GOLDEN")) {
        testutil::write_file(path, got);
        return;
    }
    EXPECT_EQ(got, testutil::read_file(path)) << "golden file " << path;
}

TEST(FfileGolden, RecursiveTreeWithMultiLineComment) {
    TempDir d;
    make_tree(d);
    ExportRun r = run_exporter(FFILE, d, {"-r"}, {{"EXPORT_REPLACE_COMM", "first\nsecond"}});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    expect_golden("tree_multiline_comment.dat", r.data);
    EXPECT_NE(r.data.find("Comment 12:first\nsecond\n"), std::string::npos);
    EXPECT_NE(r.data.find("Name 8:.profile\n"), std::string::npos);
    EXPECT_EQ(r.data.find("./"), std::string::npos);
}

TEST(FfileGolden, EmptyCommentEmptyLabelBranchWithoutVersion) {
    TempDir d;
    make_tree(d);
    ExportRun r =
        run_exporter(FFILE, d, {"-r", "-l", "", "-b", "rel_1", "src"}, {{"EXPORT_REPLACE_COMM", ""}});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    expect_golden("empty_comment_label_branch.dat", r.data);
    EXPECT_NE(r.data.find("LabelAll 0:\n"), std::string::npos);
    EXPECT_NE(r.data.find("OntoBranch 5:rel_1\n"), std::string::npos);
    EXPECT_EQ(r.data.find("OntoBrvid"), std::string::npos);
    EXPECT_NE(r.data.find("Comment 0:\n"), std::string::npos);
}

TEST(FfileGolden, BranchWithVersionAndLabel) {
    TempDir d;
    make_tree(d);
    ExportRun r = run_exporter(FFILE, d, {"-b", "rel_1/fix", "-v", "/main/3", "-l", "IMPORTED"},
                               {{"EXPORT_REPLACE_COMM", "\x01unset"}});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    expect_golden("branch_version_label.dat", r.data);
    EXPECT_NE(r.data.find("OntoBrvid 7:/main/3\n"), std::string::npos);
    // The types section names both components of the import branch and the label.
    EXPECT_NE(r.data.find("LbType 8:IMPORTED"), std::string::npos);
    EXPECT_NE(r.data.find("BrType 5:rel_1"), std::string::npos);
    EXPECT_NE(r.data.find("BrType 3:fix"), std::string::npos);
}

TEST(Ffile, OneVersionPerFileNamedOneWithItsOwnTime) {
    TempDir d;
    testutil::write_file(d / "old", "x");
    testutil::set_mtime(d / "old", -86400);   // before 1970: the time of the run
    testutil::write_file(d / "new", "y");
    testutil::set_mtime(d / "new", 1500000000);
    ExportRun r = run_exporter(FFILE, d, {});
    ASSERT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_EQ(testutil::count(r.data, "VersionId 3:one\n"), 2u);
    EXPECT_NE(r.data.find("EventTime 1500000000\nComment 19:made from flat file\n"), std::string::npos);
    EXPECT_EQ(r.data.find("EventTime -"), std::string::npos);
    EXPECT_NE(r.data.find("ExtractFile 3:old\n"), std::string::npos);
    EXPECT_NE(r.data.find("NumElements 2\nNumVersions 2\nExporterKind 2\n"), std::string::npos);
}

TEST(Ffile, WithoutRecurseOnlyTheTopLevel) {
    TempDir d;
    testutil::write_file(d / "top", "x");
    testutil::write_file(d / "dir/inner", "y");
    ExportRun flat = run_exporter(FFILE, d, {});
    ASSERT_EQ(flat.proc.status, 0);
    EXPECT_NE(flat.data.find("Name 3:top"), std::string::npos);
    EXPECT_EQ(flat.data.find("inner"), std::string::npos);
    EXPECT_EQ(flat.data.find("DirName 3:dir"), std::string::npos);
    TempDir d2;
    testutil::write_file(d2 / "top", "x");
    testutil::write_file(d2 / "dir/inner", "y");
    ExportRun deep = run_exporter(FFILE, d2, {"-r"});
    EXPECT_NE(deep.data.find("DirName 3:dir"), std::string::npos);
    EXPECT_NE(deep.data.find("Name 9:dir/inner"), std::string::npos);
}

TEST(Ffile, SymbolicLinksFollowedOnlyWithL) {
    TempDir d;
    testutil::write_file(d / "real/f", "x");
    ASSERT_EQ(symlink("real", (d / "link").c_str()), 0);
    ExportRun plain = run_exporter(FFILE, d, {"-r"});
    EXPECT_EQ(plain.data.find("Name 6:link/f"), std::string::npos);
    TempDir d2;
    testutil::write_file(d2 / "real/f", "x");
    ASSERT_EQ(symlink("real", (d2 / "link").c_str()), 0);
    ExportRun follow = run_exporter(FFILE, d2, {"-r", "-L"});
    EXPECT_EQ(follow.proc.status, 0) << follow.proc.err;
    EXPECT_NE(follow.data.find("Name 6:link/f"), std::string::npos);
}

TEST(FfileCommandLine, VersionBanners) {
    TempDir d;
    ExportRun all = run_exporter(FFILE, d, {"-VerAll", "-I", "junk", "a/b"});
    EXPECT_EQ(all.proc.status, 0);
    EXPECT_EQ(testutil::count(all.proc.out, "\n"), 2u) << all.proc.out;
    EXPECT_EQ(all.proc.out.rfind("vantexport_ffile                  1.", 0), 0u) << all.proc.out;
    EXPECT_NE(all.proc.out.find("\nlibvelkexport                     "), std::string::npos);
    EXPECT_FALSE(testutil::exists(d / "cvt_data"));
    ExportRun one = run_exporter(FFILE, d, {"-version"});
    EXPECT_EQ(one.proc.status, 0);
    EXPECT_EQ(testutil::count(one.proc.out, "\n"), 1u);
    // Only the first argument asks for the banner.
    ExportRun later = run_exporter(FFILE, d, {"-r", "-Ver"});
    EXPECT_EQ(later.proc.status, 1);
    EXPECT_NE(later.proc.out.find("Usage: vantexport_ffile"), std::string::npos);
}

TEST(FfileCommandLine, RefusedOptionsAndUsage) {
    for (const char *opt : {"-I", "-T"}) {
        TempDir d;
        ExportRun r = run_exporter(FFILE, d, {opt, "now"});
        EXPECT_EQ(r.proc.status, 1) << opt;
        EXPECT_NE(r.proc.err.find(std::string("Option \"") + opt[1] + "\" not supported by this exporter."),
                  std::string::npos)
            << r.proc.err;
        EXPECT_NE(r.proc.out.find("Usage: vantexport_ffile [-r] [-a] [-L] [-o datafile-pname] [-s date-time]"),
                  std::string::npos);
        EXPECT_FALSE(testutil::exists(d / "cvt_data"));
    }
    TempDir d;
    ExportRun u = run_exporter(FFILE, d, {"-U"});
    EXPECT_EQ(u.proc.status, 1);
    // The usage lists -L, which is accepted, and is laid out with blanks only.
    EXPECT_NE(u.proc.out.find("[-L]"), std::string::npos);
    EXPECT_EQ(u.proc.out.find('\t'), std::string::npos);
}

TEST(FfileCommandLine, ExistingOutputStopsBeforeAnythingIsRead) {
    TempDir d;
    testutil::write_file(d / "out.dat", "keep me");
    ExportRun r = run_exporter(FFILE, d, {"-o", "out.dat"}, {}, "out.dat");
    EXPECT_EQ(r.proc.status, 1);
    EXPECT_NE(r.proc.err.find("\"out.dat\" exists, please move."), std::string::npos);
    EXPECT_EQ(r.data, "keep me");
    EXPECT_EQ(r.proc.out.find("Converting"), std::string::npos);
}

TEST(FfileCommandLine, BadOperandsAreAllListedThenUsageOnce) {
    TempDir d;
    ExportRun r = run_exporter(FFILE, d, {"a/b", "..", "ok", "c/d"});
    EXPECT_EQ(r.proc.status, 1);
    EXPECT_EQ(testutil::count(r.proc.err, "invalid\n    source-name must not be"), 3u) << r.proc.err;
    EXPECT_NE(r.proc.err.find("\"..\" invalid"), std::string::npos);
    EXPECT_EQ(testutil::count(r.proc.out, "Usage:"), 1u);
}

// Quotes, "$", backquotes and backslashes are the drivers' to escape; only
// names that end a line are skipped.
TEST(FfileCommandLine, LineEndsSkippedListedExitTwo) {
    TempDir d;
    const std::vector<std::string> bad = {"line\nfeed", "carriage\rreturn"};
    const std::vector<std::string> good = {"it's", "say\"hi\"", "$HOME", "back`tick`", "back\\slash"};
    for (const std::string &n : bad)
        testutil::write_file(d / n, "x");
    for (const std::string &n : good)
        testutil::write_file(d / n, "x");
    ExportRun r = run_exporter(FFILE, d, {});
    EXPECT_EQ(r.proc.status, 2) << r.proc.err;
    EXPECT_EQ(testutil::count(r.proc.err, "Cannot convert files with certain characters in them."),
              bad.size());
    EXPECT_NE(r.proc.err.find("Skipping \"carriage\rreturn\" because of the \"\r\" in it."),
              std::string::npos);
    size_t list = r.proc.err.find("The following elements could not be exported:");
    ASSERT_NE(list, std::string::npos);
    for (const std::string &n : bad)
        EXPECT_NE(r.proc.err.find("\t" + n + "\n", list), std::string::npos) << n;
    for (const std::string &n : good)
        EXPECT_NE(r.data.find("Name " + std::to_string(n.size()) + ":" + n + "\n"), std::string::npos) << n;
    EXPECT_EQ(r.data.find("feed"), std::string::npos);
}

TEST(FfileCommandLine, OutputPrefixRuleWarnsForEachSkippedPath) {
    TempDir d;
    testutil::write_file(d / "cvt_data.old", "old export");
    testutil::write_file(d / "cvt_data_dir/f", "x");
    testutil::write_file(d / "other", "x");
    ExportRun r = run_exporter(FFILE, d, {"-r"});
    EXPECT_EQ(r.proc.status, 0);
    EXPECT_NE(r.proc.err.find("Skipping \"cvt_data.old\": its name begins with the name of the output file"),
              std::string::npos)
        << r.proc.err;
    EXPECT_NE(r.proc.err.find("Skipping \"cvt_data_dir\""), std::string::npos);
    EXPECT_EQ(r.proc.err.find("Skipping \"cvt_data\":"), std::string::npos);   // the data file itself: silent
    EXPECT_EQ(r.data.find("cvt_data"), std::string::npos);
    EXPECT_NE(r.data.find("Name 5:other"), std::string::npos);
}

TEST(FfileCommandLine, DatesAndTheirChecks) {
    TempDir d;
    testutil::write_file(d / "early", "x");
    testutil::set_mtime(d / "early", 1262304000);   // 2010-01-01
    testutil::write_file(d / "late", "x");
    testutil::set_mtime(d / "late", 1420070400);   // 2015-01-01
    ExportRun r = run_exporter(FFILE, d, {"-s", "2012-01-01T00:00:00Z"});
    EXPECT_EQ(r.proc.status, 0);
    EXPECT_NE(r.proc.err.find("Only revisions since \"2012-01-01T00:00:00Z\" will be converted."),
              std::string::npos);
    EXPECT_NE(r.data.find("Name 4:late"), std::string::npos);
    EXPECT_EQ(r.data.find("Name 5:early"), std::string::npos);
    EXPECT_NE(r.data.find("NumElements 1\nNumVersions 1\n"), std::string::npos);   // written, not handed out

    TempDir d2;
    ExportRun same = run_exporter(FFILE, d2, {"-s", "2012-01-01", "-p", "2012-01-01"});
    EXPECT_EQ(same.proc.status, 1);
    EXPECT_NE(same.proc.err.find("Since time must be before prior to time."), std::string::npos);

    TempDir d3;
    ExportRun bad = run_exporter(FFILE, d3, {"-p", "yesterdayish"});
    EXPECT_EQ(bad.proc.status, 1);
    EXPECT_NE(bad.proc.err.find("Incorrect date format for \"yesterdayish\".\n"), std::string::npos);
}

TEST(FfileCommandLine, UnstattableOperandSetsExitStatusButRunCompletes) {
    TempDir d;
    testutil::write_file(d / "here", "x");
    ExportRun r = run_exporter(FFILE, d, {"missing", "here"});
    EXPECT_EQ(r.proc.status, 1);
    EXPECT_NE(r.proc.err.find("missing"), std::string::npos);
    EXPECT_NE(r.data.find("Name 4:here"), std::string::npos);
}

}   // namespace

namespace {

TEST(FfileFailures, WriteFailureOfTheDataFileGivesStatusOne) {
    TempDir d;
    for (int i = 0; i < 40; ++i)
        testutil::write_file(d / ("file" + std::to_string(i)), "x");
    // Files may not grow past 1 KiB: the record files hit the limit and every
    // write after it fails (the signal is ignored, so write reports EFBIG).
    TempDir tmp;
    ExportRun r = run_exporter("/bin/sh", d, {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"", FFILE},
                               {{"TMP", tmp.path()}});
    EXPECT_EQ(r.proc.status, 1) << r.proc.err;
    EXPECT_NE(r.proc.err.find("File too large"), std::string::npos) << r.proc.err;
    // The reserved file stays, empty; no temporary file anywhere.
    EXPECT_TRUE(testutil::exists(d / "cvt_data"));
    EXPECT_EQ(r.data, "");
    EXPECT_EQ(output_files(d.path()), (Names{"cvt_data"}));
    EXPECT_EQ(output_files(tmp.path()), Names{});
}

// Under a limit that the record files stay below but the data file does not,
// the run fails in the assembly itself. The exporter ignores the signal of the
// limit on its own, so that it can clean up.
TEST(FfileFailures, FailedAssemblyLeavesTheReservedFileEmptyAndNoTemporaryFile) {
    TempDir d, tmp;
    for (int i = 0; i < 3; ++i)
        testutil::write_file(d / ("file" + std::to_string(i)), "x");
    testutil::EnvList env = {{"TMP", tmp.path()}};
    ExportRun whole = run_exporter(FFILE, d, {}, env);
    ASSERT_EQ(whole.proc.status, 0) << whole.proc.err;
    // Success leaves exactly the data file.
    EXPECT_EQ(output_files(d.path()), (Names{"cvt_data"}));
    EXPECT_EQ(output_files(tmp.path()), Names{});
    std::remove((d / "cvt_data").c_str());

    std::string limit = "--fsize=" + std::to_string(whole.data.size() - 1);
    ExportRun r = run_exporter("prlimit", d, {limit, FFILE}, env);
    EXPECT_EQ(r.proc.status, 1) << r.proc.err;
    EXPECT_NE(r.proc.out.find("Creating script file cvt_data"), std::string::npos) << r.proc.out;
    EXPECT_NE(r.proc.err.find("File too large"), std::string::npos) << r.proc.err;
    EXPECT_TRUE(testutil::exists(d / "cvt_data"));
    EXPECT_EQ(r.data, "");
    EXPECT_EQ(output_files(d.path()), (Names{"cvt_data"}));
    EXPECT_EQ(output_files(tmp.path()), Names{});

    // The empty file left behind stops the next run until it is moved.
    ExportRun again = run_exporter(FFILE, d, {}, env);
    EXPECT_EQ(again.proc.status, 1);
    EXPECT_NE(again.proc.err.find("\"cvt_data\" exists, please move."), std::string::npos);
}

TEST(FfileFailures, NamesLongerThanTheLimitAreSkippedAndListed) {
    TempDir d;
    std::string deep;
    for (int i = 0; i < 5; ++i)
        deep += std::string(230, char('a' + i)) + "/";
    testutil::write_file(d / (deep + "leaf"), "x");
    testutil::write_file(d / "short", "x");
    ExportRun r = run_exporter(FFILE, d, {"-r"});
    EXPECT_EQ(r.proc.status, 2) << r.proc.err;
    EXPECT_NE(r.proc.err.find("the name is longer than 1024 bytes."), std::string::npos) << r.proc.err;
    // The first directory past the limit is the entry skipped, with all below it.
    EXPECT_NE(r.proc.err.find("\t" + deep.substr(0, deep.size() - 1) + "\n"), std::string::npos);
    EXPECT_EQ(r.data.find(deep + "leaf"), std::string::npos);
    EXPECT_NE(r.data.find("Name 5:short"), std::string::npos);
}

}   // namespace

namespace {

// The element names of a data file, sorted.
Names element_names(const std::string &data) {
    Names names;
    for (size_t at = data.find("ELEMENT_BEGIN"); at != std::string::npos;
         at = data.find("ELEMENT_BEGIN", at + 1)) {
        size_t name = data.find("\nName ", at);
        size_t colon = data.find(':', name);
        size_t len = std::stoul(data.substr(name + 6, colon - name - 6));
        names.push_back(data.substr(colon + 1, len));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What vantfsimport -filter leaves out is left out here too, and counted
// after the totals; -a exports everything.
TEST(FfileLeftOut, AdministrativeDirectoriesAndIgnoredNames) {
    TempDir d;
    for (const char *f : {"src/a.c", "src/a.o", "src/CVS/Entries", ".git/HEAD", "sub/.git", "sub/RCS",
                          "sub/.svn/entries", "build/out", "docs/tmp", "docs/keep", "lib/docs/tmp"})
        d.file(f);
    // Globs at any depth, directories only, and one anchored to its directory.
    testutil::write_file(d / ".vantorignore", "# objects\n*.o\nbuild/\ndocs/tmp\n");
    ExportRun r = run_exporter(FFILE, d, {"-r", "-q"});
    EXPECT_EQ(r.proc.status, 0) << r.proc.err;
    // sub/RCS is a file, not an archive directory; .git of any kind goes.
    EXPECT_EQ(element_names(r.data),
              (Names{".vantorignore", "docs/keep", "lib/docs/tmp", "src/a.c", "sub/RCS"}))
        << r.proc.err;
    EXPECT_EQ(r.data.find("Name 9:src/CVS\n"), std::string::npos);
    std::string after = r.proc.err.substr(r.proc.err.find('\n', r.proc.err.rfind("Exported ")) + 1);
    EXPECT_EQ(after,
              "    4 administrative directories of other version-control tools left out (.git, .svn, CVS); -a "
              "exports them.\n"
              "    3 names that .vantorignore files list left out; -a exports them.\n")
        << r.proc.err;

    std::remove((d / "cvt_data").c_str());
    ExportRun all = run_exporter(FFILE, d, {"-r", "-q", "-a"});
    EXPECT_EQ(all.proc.status, 0) << all.proc.err;
    EXPECT_EQ(element_names(all.data).size(), 12u) << all.proc.err;
    EXPECT_EQ(all.proc.err.find("left out"), std::string::npos);
    EXPECT_TRUE(std::regex_search(all.proc.err, std::regex("Exported 12 elements")));

    ExportRun help = run_exporter(FFILE, d, {"-h"});
    EXPECT_NE(help.proc.out.find("  -a              export everything"), std::string::npos);
}

}   // namespace
