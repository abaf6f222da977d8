// What a run tells its caller: the exit status (0, 1, or 2 when elements are
// listed as not exported), the counts in the globals against the records
// written, the help, the hint after a refused data file, and the progress
// line and totals on standard error.
#include <gtest/gtest.h>

#include <regex>

#include "tests/export/export_test_util.h"

using nlohmann::json;
using testutil::TempDir;

namespace {

const std::string FFILE = FFILE_BIN;
const std::string SCRIPTED = SCRIPTED_BIN;

const std::regex TOTALS(
    R"(Exported ([0-9]+) elements? with ([0-9]+) versions? from ([0-9]+) files? in [0-9]+\.[0-9] s; ([0-9]+) not exported)");

// The numbers of the totals line, which must be the last line of stderr.
std::vector<long> totals(const ExportRun &r) {
    std::smatch m;
    std::string last = last_line(r.proc.err);
    if (!std::regex_match(last, m, TOTALS))
        return {};
    return {std::stol(m[1]), std::stol(m[2]), std::stol(m[3]), std::stol(m[4])};
}

ExportRun run_scripted(const TempDir &root, const json &script, std::vector<std::string> args) {
    testutil::EnvList env = {{"SCRIPTED_DRIVER", scripted_env_file(root.path(), script)}};
    return run_exporter(SCRIPTED, root / "tree", std::move(args), env);
}

TEST(ExportExitStatus, CleanRunsAndSkipsAskedForAreZero) {
    TempDir d;
    d.file("a");
    d.file("sub/b");
    d.file("cvt_data.old");   // skipped by the output-prefix rule, with a warning
    testutil::set_mtime(d / "a", 1262304000);
    ExportRun r = run_exporter(FFILE, d, {"-r", "-s", "2012-01-01"});   // a is deselected
    EXPECT_EQ(r.proc.status, 0) << r.proc.err;
    EXPECT_NE(r.proc.err.find("Skipping \"cvt_data.old\""), std::string::npos);
    EXPECT_EQ(r.proc.err.find("could not be exported"), std::string::npos);
    // sub/b written; a walked but not selected; cvt_data.old met but skipped.
    EXPECT_EQ(totals(r), (std::vector<long>{1, 1, 3, 0})) << r.proc.err;
}

TEST(ExportExitStatus, ListedElementsGiveTwoAndTheDataFileIsWritten) {
    TempDir d;
    d.file("good");
    d.file("line\nfeed");
    ASSERT_EQ(symlink("good", (d / "link").c_str()), 0);   // not followed without -L
    ExportRun r = run_exporter(FFILE, d, {});
    EXPECT_EQ(r.proc.status, 2) << r.proc.err;
    size_t list = r.proc.err.find("The following elements could not be exported:");
    ASSERT_NE(list, std::string::npos);
    EXPECT_NE(r.proc.err.find("\tlink\n", list), std::string::npos);
    EXPECT_NE(r.proc.err.find("\tline\nfeed\n", list), std::string::npos);
    EXPECT_NE(r.data.find("Name 4:good"), std::string::npos);
    // The totals come after the list, as the last line.
    EXPECT_EQ(totals(r), (std::vector<long>{1, 1, 2, 2})) << r.proc.err;
    EXPECT_GT(r.proc.err.rfind("Exported "), list);

    // Paths the driver cannot examine are listed too, with -r or without.
    TempDir root;
    root.file("tree/unresolved");
    root.file("tree/fine");
    json script = {{"map", {{"unresolved", {{"rc", 1}}}}}};
    for (const char *opt : {"-r", "-p"}) {
        std::remove((root / "tree/cvt_data").c_str());
        std::vector<std::string> args = {opt};
        if (opt[1] == 'p')
            args.push_back("2100-01-01");
        ExportRun s = run_scripted(root, script, args);
        EXPECT_EQ(s.proc.status, 2) << opt << s.proc.err;
        EXPECT_NE(s.proc.err.find("could not be exported:\n    \tunresolved\n"), std::string::npos)
            << s.proc.err;
        EXPECT_NE(s.data.find("Name 4:fine"), std::string::npos);
    }
}

TEST(ExportExitStatus, FailedRunsAreOneAndWinOverTwo) {
    TempDir d;
    d.file("cvt_data", "");
    ExportRun r = run_exporter(FFILE, d, {});
    EXPECT_EQ(r.proc.status, 1);
    // The error, then the hint, and no totals: nothing was walked.
    EXPECT_NE(r.proc.err.find("Error: \"cvt_data\" exists, please move.\n    Move or delete \"cvt_data\" (a "
                              "failed run leaves it empty; otherwise it is the result of an earlier run), "
                              "then run again.\n"),
              std::string::npos)
        << r.proc.err;
    EXPECT_EQ(r.proc.err.find("Exported "), std::string::npos);

    // An operand that cannot be read fails the run although another is listed.
    TempDir d2;
    d2.file("line\nfeed");
    d2.file("fine");
    ExportRun both = run_exporter(FFILE, d2, {"missing", "line\nfeed", "fine"});
    EXPECT_EQ(both.proc.status, 1) << both.proc.err;
    EXPECT_NE(both.proc.err.find("\tline\nfeed\n"), std::string::npos);
}

TEST(ExportCounts, GlobalsCountTheRecordsWrittenUnderEachSelection) {
    TempDir root;
    root.dir("tree");
    // Comments that look like records must not be counted by the test's reader.
    json fake = {{"comment", "one\nVERSION_BEGIN\nELEMENT_BEGIN\n"}};
    json versions = json::array();
    for (int i = 1; i <= 6; ++i) {
        json v = {{"id", std::to_string(i)}, {"time", i * 1000}};
        v.update(fake);
        if (i == 2)
            v["labels"] = {"L2"};
        if (i == 3)
            v["is_version"] = 0;
        if (i == 4)
            v["status"] = 1001;   // skipped by the driver
        versions.push_back(v);
    }
    json script;
    script["elements"]["early"] = {{"element", {{"created", 500}}},
                                   {"versions", json::array({{{"id", "1"}, {"time", 500}}})}};
    script["elements"]["many"] = {{"element", {{"created", 900}}}, {"versions", versions}};
    script["elements"]["bad"] = {{"versions", json::array({{{"id", "1"}, {"time", 3000}, {"status", 7}}})}};
    script["elements"]["nomem"] = {{"open", 12}};
    for (const char *f : {"early", "many", "bad", "nomem"})
        root.file(std::string("tree/") + f);
    const std::vector<std::vector<std::string>> selections = {
        {},
        {"-s", "1970-01-01T00:33:20Z"},
        {"-p", "1970-01-01T00:50:00Z"},
        {"-I", "1970-01-01T01:23:20Z"},
        {"-s", "1970-01-01T02:46:40Z"},
    };
    for (const auto &args : selections) {
        std::remove((root / "tree/cvt_data").c_str());
        ExportRun r = run_scripted(root, script, args);
        std::string what = args.empty() ? "all" : args[0] + " " + args[1];
        EXPECT_EQ(r.proc.status, 2) << what << r.proc.err;   // nomem at least
        RecordCounts c = count_records(r.data);
        ASSERT_TRUE(c.ok) << what;
        EXPECT_EQ(c.num_elements, c.elements) << what;
        EXPECT_EQ(c.num_versions, c.versions) << what;
        std::vector<long> t = totals(r);
        ASSERT_EQ(t.size(), 4u) << what << r.proc.err;
        EXPECT_EQ(t[0], c.elements);
        EXPECT_EQ(t[1], c.versions);
        EXPECT_EQ(t[2], 4);
    }
    // All: early and many (the bad element is cut back); 1 + 4 versions.
    std::remove((root / "tree/cvt_data").c_str());
    RecordCounts all = count_records(run_scripted(root, script, {}).data);
    EXPECT_EQ(all.elements, 2);
    EXPECT_EQ(all.versions, 5);
    // Since 4000 s: only many, with versions 5 and 6 and the earlier versions
    // of their branch that are written at all (1 and 2; not 3 nor 4).
    std::remove((root / "tree/cvt_data").c_str());
    RecordCounts since = count_records(run_scripted(root, script, {"-s", "1970-01-01T01:06:40Z"}).data);
    EXPECT_EQ(since.elements, 1);
    EXPECT_EQ(since.versions, 4);
}

TEST(ExportHelp, HelpPrintsUsageOptionsEnvironmentAndStatuses) {
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"-h"}, {"--help"}, {"-r", "--help"}, {"-s", "now", "-h"}}) {
        TempDir d;
        ExportRun r = run_exporter(FFILE, d, args);
        EXPECT_EQ(r.proc.status, 0) << args.back() << r.proc.err;
        EXPECT_EQ(r.proc.out.rfind("Usage: vantexport_ffile [-r] [-a] [-L] [-o datafile-pname] [-s date-time]\n", 0),
                  0u)
            << r.proc.out;
        for (const char *line :
             {"\nOptions:\n", "  -L              follow symbolic links", "  -l label", "  -h, --help",
              "\nEnvironment:\n", "  EXPORT_REPLACE_COMM", "  TMP, TEMP, TMPDIR", "\nExit status:\n",
              "  0  everything was exported", "  1  the run failed",
              "  2  the data file was written, but some elements could not be exported"})
            EXPECT_NE(r.proc.out.find(line), std::string::npos) << line;
        // Options the flat-file exporter refuses are not explained.
        EXPECT_EQ(r.proc.out.find("  -I "), std::string::npos);
        EXPECT_EQ(r.proc.out.find("  -T "), std::string::npos);
        EXPECT_FALSE(testutil::exists(d / "cvt_data"));
        EXPECT_EQ(r.proc.err, "");
    }
    // A driver without help of its own: the common options, all of them.
    TempDir root;
    root.dir("tree");
    ExportRun s = run_scripted(root, json::object(), {"--help"});
    EXPECT_EQ(s.proc.status, 0) << s.proc.err;
    EXPECT_NE(s.proc.out.find("  -I {now|date-time}"), std::string::npos) << s.proc.out;
    EXPECT_NE(s.proc.out.find("  -b branch"), std::string::npos);
    // "-h" as the value of an option is that value; after "--" an operand.
    TempDir d, d2;
    ExportRun named = run_exporter(FFILE, d, {"-o", "-h"}, {}, "-h");
    EXPECT_EQ(named.proc.status, 0) << named.proc.err;
    EXPECT_NE(named.data.find("GLOBALS_BEGIN"), std::string::npos);
    ExportRun operand = run_exporter(FFILE, d2, {"-o", "x", "--", "-h"}, {}, "x");
    EXPECT_EQ(operand.proc.status, 1);   // "-h" as a source-name is not in the directory
    EXPECT_EQ(operand.proc.out.find("Options:"), std::string::npos);
    // -U keeps its meaning.
    ExportRun u = run_exporter(FFILE, d, {"-U"}, {}, "none");
    EXPECT_EQ(u.proc.status, 1);
    EXPECT_EQ(u.proc.out.find("Options:"), std::string::npos);
}

TEST(ExportProgress, LineOnATerminalOnlyTotalsAlways) {
    TempDir d;
    for (int i = 0; i < 30; ++i)
        d.file("f" + std::to_string(i));
    // Both streams on one terminal: the progress line is drawn in place, and
    // every line of output starts at the start of a line.
    testutil::ProcResult tty = testutil::run_pty({FFILE}, d.path());
    EXPECT_EQ(tty.status, 0) << tty.err;
    const std::string final_line = "\r30 files walked, 30 elements, 30 versions, ";
    size_t at = tty.err.rfind(final_line);
    ASSERT_NE(at, std::string::npos) << tty.err;
    size_t end = tty.err.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(tty.err.substr(at, end - at).find(" versions/s\x1b[K"), std::string::npos);
    // Every drawing is erased, or ended with a line end, before anything else.
    static const std::regex drawn("\r[^\x1b\r\n]+\x1b\\[K");
    int draws = 0;
    for (auto it = std::sregex_iterator(tty.err.begin(), tty.err.end(), drawn); it != std::sregex_iterator();
         ++it, ++draws) {
        size_t after = size_t(it->position() + it->length());
        bool closed = tty.err.compare(after, 4, "\r\x1b[K") == 0 || tty.err.compare(after, 1, "\n") == 0;
        EXPECT_TRUE(closed) << tty.err.substr(size_t(it->position()), 120);
    }
    EXPECT_GE(draws, 1);
    EXPECT_NE(tty.err.find("Element \"f0\" completed.\n"), std::string::npos);
    EXPECT_TRUE(std::regex_match(last_line(tty.err), TOTALS)) << last_line(tty.err);

    // The messages on a pipe, the progress on the terminal.
    std::remove((d / "cvt_data").c_str());
    testutil::ProcResult split = testutil::run_pty({FFILE}, d.path(), {}, false);
    EXPECT_EQ(split.status, 0);
    EXPECT_NE(split.err.find(final_line), std::string::npos) << split.err;
    EXPECT_EQ(split.out.find('\r'), std::string::npos);

    // Not a terminal: no progress line, the totals all the same.
    std::remove((d / "cvt_data").c_str());
    ExportRun pipe = run_exporter(FFILE, d, {});
    EXPECT_EQ(pipe.proc.status, 0);
    EXPECT_EQ(pipe.proc.err.find("files walked"), std::string::npos);
    EXPECT_EQ(pipe.proc.err.find('\r'), std::string::npos);
    EXPECT_EQ(totals(pipe), (std::vector<long>{30, 30, 30, 0})) << pipe.proc.err;
}

}   // namespace

namespace {

// -q and --quiet: the same data file, no lines per element, but warnings,
// errors, the list and the totals as always; on a terminal the progress.
TEST(ExportQuiet, NoLinesPerElementButWarningsErrorsAndTotals) {
    TempDir d;
    d.file("a");
    d.file("sub/b");
    d.file("cvt_data.old");   // a warning
    ASSERT_EQ(symlink("a", (d / "link").c_str()), 0);   // an error, listed
    ExportRun loud = run_exporter(FFILE, d, {"-r"});
    EXPECT_EQ(loud.proc.status, 2) << loud.proc.err;
    for (const char *line : {"VOB directory element \"sub\".\n", "Converting element \"a\" ... \n",
                             "Extracting element history ...\n", ".\nCompleted.\n", "Element \"a\" completed.\n"})
        EXPECT_NE(loud.proc.out.find(line), std::string::npos) << line;
    for (const char *quiet : {"-q", "--quiet"}) {
        std::remove((d / "cvt_data").c_str());
        ExportRun q = run_exporter(FFILE, d, {quiet, "-r"});
        EXPECT_EQ(q.proc.status, 2) << quiet << q.proc.err;
        EXPECT_EQ(q.proc.out, "Creating script file cvt_data ...\n") << quiet;
        EXPECT_EQ(q.proc.err, loud.proc.err.substr(0, loud.proc.err.rfind("Exported ")) +
                                  "Exported 2 elements with 2 versions from 3 files" +
                                  q.proc.err.substr(q.proc.err.find(" in ", q.proc.err.rfind("Exported "))));
        EXPECT_NE(q.proc.err.find("Warning: Skipping \"cvt_data.old\""), std::string::npos);
        EXPECT_EQ(q.data, loud.data) << quiet;
    }
    std::remove((d / "cvt_data").c_str());
    testutil::ProcResult tty = testutil::run_pty({FFILE, "-q", "-r"}, d.path());
    EXPECT_NE(tty.err.find("\r3 files walked, 2 elements, 2 versions, "), std::string::npos) << tty.err;
    EXPECT_EQ(tty.err.find("Converting"), std::string::npos);
}

// --version wherever -Ver is answered, -V where no driver letter takes it,
// "--" ending the options, and the hint for an option after a source-name.
TEST(ExportCommandLine, VersionDoubleDashAndOptionsAfterSources) {
    TempDir d;
    d.file("src/f");
    d.file("-r");
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"--version"}, {"-V"}, {"-r", "--version"}, {"-rV"}}) {
        ExportRun v = run_exporter(FFILE, d, args);
        EXPECT_EQ(v.proc.status, 0) << args.back();
        EXPECT_EQ(v.proc.out.rfind("vantexport_ffile                  1.", 0), 0u) << v.proc.out;
        EXPECT_EQ(testutil::count(v.proc.out, "\n"), 1u);
        EXPECT_FALSE(testutil::exists(d / "cvt_data"));
    }
    TempDir root;
    root.dir("tree");
    ExportRun s = run_scripted(root, json::object(), {"--version"});
    EXPECT_EQ(s.proc.out.rfind("scripted_exporter ", 0), 0u) << s.proc.out;

    // After "--" a word that begins with "-" is a source-name.
    ExportRun dd = run_exporter(FFILE, d, {"-o", "out", "--", "-r", "src"}, {}, "out");
    EXPECT_EQ(dd.proc.status, 0) << dd.proc.err;
    EXPECT_NE(dd.data.find("Name 2:-r"), std::string::npos);
    EXPECT_NE(dd.data.find("Name 3:src\n"), std::string::npos);

    // An option after a source-name: said, with the hint once, and the run
    // stops; the message of the bad operand stays as it was.
    ExportRun late = run_exporter(FFILE, d, {"src", "-o", "/tmp/x", "--quiet"}, {}, "none");
    EXPECT_EQ(late.proc.status, 1);
    const std::string hint =
        "    Options go before the source names (put \"--\" before a source-name that begins with \"-\").\n";
    EXPECT_EQ(late.proc.err, "vantexport_ffile: Error: Option \"-o\" follows the source-name \"src\".\n"
                             "vantexport_ffile: Error: \"/tmp/x\" invalid\n"
                             "    source-name must not be \"..\" or have a \"/\" in it\n"
                             "    source-name must be in your current working directory\n"
                             "vantexport_ffile: Error: Option \"--quiet\" follows the source-name \"src\".\n" +
                                 hint);
    EXPECT_NE(late.proc.out.find("Usage: vantexport_ffile"), std::string::npos);
    EXPECT_FALSE(testutil::exists(d / "cvt_data"));
    // A file of that name is a source-name; an unknown letter is no option.
    ExportRun named = run_exporter(FFILE, d, {"src", "-r", "-x"}, {}, "none");
    EXPECT_EQ(named.proc.err.find("follows the source-name"), std::string::npos) << named.proc.err;
}

// What could not be opened comes with the system's reason; what is neither
// a file nor a directory is named for what it is; counts of one are singular.
TEST(ExportCommandLine, ReasonsKindsAndSingularCounts) {
    TempDir d;
    d.file("one");
    ExportRun no_dir = run_exporter(FFILE, d, {"-o", "missing/out"}, {}, "none");
    EXPECT_EQ(no_dir.proc.status, 1);
    EXPECT_NE(no_dir.proc.err.find("Error: Cannot open output file \"missing/out\".\n"
                                   "    (No such file or directory)\n"),
              std::string::npos)
        << no_dir.proc.err;

    ExportRun single = run_exporter(FFILE, d, {});
    EXPECT_EQ(single.proc.status, 0) << single.proc.err;
    EXPECT_NE(single.proc.err.find("Exported 1 element with 1 version from 1 file in "), std::string::npos)
        << single.proc.err;

    TempDir k;
    k.file("f");
    ASSERT_EQ(symlink("f", (k / "link").c_str()), 0);
    ASSERT_EQ(mkfifo((k / "fifo").c_str(), 0644), 0);
    ExportRun kinds = run_exporter(FFILE, k, {});
    EXPECT_EQ(kinds.proc.status, 2);
    EXPECT_NE(kinds.proc.err.find("Error: \"link\" is a symbolic link, which is not followed - cannot convert "
                                  "it; -L follows symbolic links.\n"),
              std::string::npos)
        << kinds.proc.err;
    EXPECT_NE(kinds.proc.err.find("Error: Neither file, symbolic link, nor directory - cannot convert "
                                  "\"fifo\".\n    It is a named pipe (FIFO).\n"),
              std::string::npos)
        << kinds.proc.err;
    // Where the walk follows links, a link reported is one to nothing.
    TempDir root;
    root.file("tree/f");
    ASSERT_EQ(symlink("gone", (root / "tree/dangling").c_str()), 0);
    ExportRun broken = run_scripted(root, json::object(), {});
    EXPECT_NE(broken.proc.err.find("Error: \"dangling\" is a symbolic link to nothing (its target does not "
                                   "exist) - cannot convert it.\n"),
              std::string::npos)
        << broken.proc.err;
}

}   // namespace
