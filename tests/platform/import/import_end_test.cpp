// What vantimport does before and after the elements: the counts a data file
// announces against what it holds, CVSROOT for cvs extract commands, the
// hints when the target is no directory of a VOB, progress in a log, and -h.
#include "tests/platform/import/import_fixture.h"
#include "runtime/strutl.h"

#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace {

const std::string VANTIMPORT = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";

// Runs vantimport in dir; the two streams apart.
testutil::ProcResult vantimport(const std::string &dir, const std::vector<std::string> &args,
                                const testutil::EnvList &env = {}) {
    std::vector<std::string> argv{VANTIMPORT};
    argv.insert(argv.end(), args.begin(), args.end());
    return testutil::run(argv, dir, env);
}

// An element whose version i holds the file v<i> of the source directory.
void element(datafile_builder &b, const std::string &name, int versions) {
    b.marker("ELEMENT_BEGIN").str("Name", name).num("EventTime", 1000);
    for (int i = 1; i <= versions; ++i) {
        b.marker("VERSION_BEGIN").str("VersionId", "1." + std::to_string(i)).num("EventTime", 1000 + i);
        b.str("ExtractFile", "v" + std::to_string(i)).marker("VERSION_END");
    }
    b.marker("ELEMENT_END");
}

// A file with a record of every kind: types of each group, two directories,
// three elements with four versions.
const char *const NAMES[] = {"sub/a", "b", "sub/c"};
datafile_builder full_file(const std::string &from) {
    datafile_builder b;
    b.head(from, 3, 4, 3).marker("TYPES_BEGIN");
    b.marker("ATTYPE_BEGIN").str("AttrType", "colour").marker("ATTYPE_END");
    b.marker("LBTYPE_BEGIN").str("LbType", "REL").marker("LBTYPE_END");
    b.marker("BRTYPE_BEGIN").str("BrType", "dev").marker("BRTYPE_END");
    b.marker("ELTYPE_BEGIN").str("ElType", "text_file").marker("ELTYPE_END");
    b.marker("TYPES_END").dir(".").dir("sub");
    element(b, NAMES[0], 2);
    element(b, NAMES[1], 1);
    element(b, NAMES[2], 1);
    return b;
}

struct ImportEnd : ImportFixture {};

// Cut after every record's end marker, in file order into one VOB: a cut
// between records is an early end, any other cut a reader error; never
// success. What lies before the cut is imported and loaded.
TEST_F(ImportEnd, FileCutAtEveryRecordBoundary) {
    testutil::write_file(src + "/v1", "1");
    testutil::write_file(src + "/v2", "2");
    const std::string text = full_file(src).text;
    std::string df = tmp + "/cut.dat";
    int elements = 0, versions = 0, cuts = 0;
    for (size_t at = text.find("_END\n"); at != std::string::npos; at = text.find("_END\n", at + 1)) {
        size_t end = at + 5;
        size_t bol = text.rfind('\n', at) + 1;
        std::string marker = text.substr(bol, end - 1 - bol);
        elements += marker == "ELEMENT_END";
        versions += marker == "VERSION_END";
        if (end == text.size())
            break;
        ++cuts;
        SCOPED_TRACE("cut after line \"" + marker + "\" at byte " + std::to_string(end));
        testutil::write_file(df, text.substr(0, end));
        testutil::ProcResult r = vantimport(vob_root(), {df});
        EXPECT_EQ(r.status, 1) << r.err;
        bool between = marker == "ELEMENT_END" || marker == "DIR_END";
        if (between) {
            std::string says = "vantimport: Error: The data file \"" + df + "\" ends early: it holds " +
                               strutl_count(elements, "element", "elements") + " and " +
                               strutl_count(versions, "version", "versions") +
                               " where its globals announce 3 and 4; it was probably cut short.\n";
            EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("Copy or export the whole file again and run the import again; what was "
                                 "imported is kept and not imported twice."),
                      std::string::npos)
                << r.err;
        } else {
            EXPECT_NE(r.err.find("vantimport: Error: Data file \"" + df + "\", line "), std::string::npos)
                << r.err;
            EXPECT_EQ(r.err.find("ends early"), std::string::npos) << r.err;
        }
        for (int i = 0; i < 3; ++i) {
            bool there = i < elements && between;
            if (!there && i < elements)
                continue;   // imported by an earlier cut
            EXPECT_EQ(elem(NAMES[i]) != 0, there) << NAMES[i];
            EXPECT_EQ(testutil::exists(vob_root() + "/" + NAMES[i]), there) << NAMES[i];
        }
    }
    EXPECT_EQ(cuts, 14);
    testutil::write_file(df, text);
    testutil::ProcResult r = vantimport(vob_root(), {df});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("ends early"), std::string::npos) << r.err;
    EXPECT_EQ(vtree("sub/a"), (std::vector<std::string>{"/main/0", "/main/1", "/main/2"}));
}

TEST_F(ImportEnd, AnnouncedCountsAgainstRecords) {
    testutil::write_file(src + "/v1", "1");
    testutil::write_file(src + "/v2", "2");
    struct count_case {
        int announce_el, announce_ver;
        int rc;
        const char *says;   // "" when nothing is said
    };
    const count_case cases[] = {
        {2, 3, 0, ""},
        {2, 4, 1, "ends early: it holds 2 elements and 3 versions where its globals announce 2 and 4"},
        {3, 3, 1, "ends early: it holds 2 elements and 3 versions where its globals announce 3 and 3"},
        {1, 3, 0, "Warning: The data file \""},
        {2, 2, 0, "holds 2 elements and 3 versions, more than its globals announce (2 and 2)."},
        {0, 0, 0, "holds 2 elements and 3 versions, more than its globals announce (0 and 0)."},
    };
    for (const count_case &c : cases) {
        SCOPED_TRACE(std::to_string(c.announce_el) + " " + std::to_string(c.announce_ver));
        datafile_builder b;
        b.head(src, c.announce_el, c.announce_ver, 3).marker("TYPES_BEGIN").marker("TYPES_END").dir(".");
        element(b, "x", 2);
        element(b, "y", 1);
        EXPECT_EQ(run_import(b.text), c.rc) << err_text;
        if (*c.says)
            EXPECT_NE(err_text.find(c.says), std::string::npos) << err_text;
        else
            EXPECT_EQ(err_text, "");
    }
    EXPECT_NE(elem("y"), 0u);
}

// Saves CVSROOT and puts it back.
struct cvsroot_guard {
    std::string saved;
    bool had;
    cvsroot_guard() {
        const char *v = std::getenv("CVSROOT");
        had = v != nullptr;
        saved = v ? v : "";
    }
    ~cvsroot_guard() {
        if (had)
            setenv("CVSROOT", saved.c_str(), 1);
        else
            unsetenv("CVSROOT");
    }
};

TEST_F(ImportEnd, CvsCommandsNeedCvsroot) {
    cvsroot_guard guard;
    testutil::write_file(src + "/v1", "1");
    testutil::write_file(src + "/v2", "2");
    testutil::make_dirs(tmp + "/repo/CVSROOT");
    testutil::make_dirs(tmp + "/plain");
    testutil::write_file(tmp + "/bin/cvs", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(chmod((tmp + "/bin/cvs").c_str(), 0755), 0);
    auto data = [&](int kind, const std::string &need) {
        datafile_builder b;
        b.num("EXPORT_FORMAT", 5).marker("GLOBALS_BEGIN").str("ExportFromDir", src);
        b.num("NumElements", 1).num("NumVersions", 1).num("ExporterKind", kind);
        if (!need.empty())
            b.str("NeedCmd", need);
        b.marker("GLOBALS_END").marker("TYPES_BEGIN");
        b.marker("LBTYPE_BEGIN").str("LbType", "CVSREL").marker("LBTYPE_END").marker("TYPES_END");
        b.dir(".").dir("d");
        element(b, "d/e", 1);
        return b.text;
    };
    struct cvs_case {
        int kind;
        std::string need;
        bool set;
        std::string root;
        std::string why;   // "": the import goes through
    };
    const std::string none = tmp + "/none", cvs = tmp + "/bin/cvs";
    // The failures first: each must leave the VOB as it was.
    const cvs_case cases[] = {
        {11, "", false, "", "CVSROOT is not set"},
        {11, "", true, "", "CVSROOT is not set"},
        {11, "", true, none, "CVSROOT \"" + none + "\" is not a directory"},
        {3, cvs, true, tmp + "/plain",
         "CVSROOT \"" + tmp + "/plain\" holds no CVSROOT directory: it is not a repository root"},
        {11, "", true, ":local:" + none, "CVSROOT \":local:" + none + "\" is not a directory"},
        {3, cvs, false, "", "CVSROOT is not set"},
        {11, "", true, tmp + "/repo", ""},
        {11, cvs, true, ":local:" + tmp + "/repo", ""},
        {11, "", true, ":pserver:anon@cvs.example:/cvs", ""},   // only cvs can check a remote one
        {3, "", false, "", ""},                                 // not cvs commands
    };
    for (const cvs_case &c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " NeedCmd \"" + c.need + "\" CVSROOT " +
                     (c.set ? "\"" + c.root + "\"" : "unset"));
        if (c.set)
            setenv("CVSROOT", c.root.c_str(), 1);
        else
            unsetenv("CVSROOT");
        int rc = run_import(data(c.kind, c.need));
        if (c.why.empty()) {
            EXPECT_EQ(rc, 0) << err_text;
            continue;
        }
        EXPECT_EQ(rc, 1);
        std::string head = "Error: The extract commands of \"" + tmp + "/data.dat\" run cvs, but ";
        EXPECT_NE(err_text.find(head), std::string::npos) << err_text;
        EXPECT_NE(err_text.find(c.why), std::string::npos) << err_text;
        EXPECT_NE(err_text.find("; nothing was imported.\n"), std::string::npos) << err_text;
        EXPECT_NE(err_text.find("Set CVSROOT to the root of the repository the export was made from"),
                  std::string::npos)
            << err_text;
        EXPECT_EQ(testutil::count(err_text, "Error:"), 1u) << err_text;
        EXPECT_EQ(elem("d"), 0u);
        vob_oid type = 0;
        EXPECT_EQ(vob_type_find(vob, VOB_MT_LBTYPE, "CVSREL", &type), VOB_NOT_FOUND);
    }
}

// The usage first, then the explanations in order; exit 0 whatever else the
// command line holds.
TEST(VantimportHelp, UsageThenExplanations) {
    const std::vector<std::vector<std::string>> asks = {
        {"-h"}, {"--help"}, {"-v", "--help"}, {"-x", "-h"}, {"-d", "/nonexistent", "-h", "no.dat"}};
    for (const auto &args : asks) {
        SCOPED_TRACE(args.back());
        testutil::ProcResult r = vantimport("/", args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("Usage: vantimport [-n[setevent]]", 0), 0u) << r.out;
        size_t at = 0;
        for (const char *part : {"[-no[load]] [-nolab[eldir]] [-q[uiet]] [-authors file]\n",
                                 "[-strictauthors] [-encoding name] [-listauthors] [--] data-file\n",
                                 "Options:\n",
                                 "  -n[setevent] ",
                                 "  -i[dentical] ",
                                 "  -d[irectory] DIR ",
                                 "  -debug ",
                                 "  -v[erbose] ",
                                 "  -q[uiet], --quiet ",
                                 "  -c[omment] TEXT ",
                                 "  -m[aster] ",
                                 "  -p[case] ",
                                 "  -no[load] ",
                                 "  -nolab[eldir] ",
                                 "  -authors FILE ",
                                 "  -strictauthors ",
                                 "  -encoding NAME ",
                                 "  -listauthors ",
                                 "  -V, --version ",
                                 "  -h, --help ",
                                 "  --  ",
                                 "Options go before the data file",
                                 "Environment:\n",
                                 "  VANTOR_AUTHORS ",
                                 "  VANTOR_ENCODING ",
                                 "  VANTOR_HOME ",
                                 "  VANTOR_IMPORT_JOBS ",
                                 "TMPDIR ",
                                 "  CVSROOT ",
                                 "  VANTOR_PROGRESS_INTERVAL ",
                                 "Exit status:\n",
                                 "  0  everything was imported\n",
                                 "the data file ended early, or the\n     command line was bad\n"}) {
            size_t found = r.out.find(part, at);
            EXPECT_NE(found, std::string::npos) << "\"" << part << "\" in order in\n" << r.out;
            if (found != std::string::npos)
                at = found;
        }
    }
    // -h as the value of -c is a comment.
    testutil::ProcResult r = vantimport("/", {"-c", "-h", "/nonexistent.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("Options:"), std::string::npos) << r.out;
}

struct VantimportWhere : ImportFixture {
    std::string df;
    void SetUp() override {
        ImportFixture::SetUp();
        if (HasFatalFailure())
            return;
        testutil::write_file(src + "/v1", "1");
        testutil::write_file(src + "/v2", "2");
        datafile_builder b = data_head(src);
        element(b, "e", 1);
        df = tmp + "/where.dat";
        testutil::write_file(df, b.text);
    }
};

TEST_F(VantimportWhere, OutsideAViewSaysWhereToGo) {
    testutil::ProcResult r = vantimport(src, {df});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vantimport: Error: The target directory \".\" is not inside a snapshot view.\n"
              "    cd into <view root>/<VOB tag> of a snapshot view (or a directory below it), or "
              "give that directory with -d.\n");
    // A view that cannot be read: its reason, and no advice to go elsewhere.
    testutil::write_file(tmp + "/broken/.vantor_view/view.json", "{not json");
    r = vantimport(tmp + "/broken", {df});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not inside a snapshot view: "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("cd into"), std::string::npos) << r.err;
    r = vantimport(src, {"-d", tmp + "/none", df});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not exist or is not a directory"), std::string::npos) << r.err;
    EXPECT_EQ(elem("e"), 0u);
}

TEST_F(VantimportWhere, ViewRootNamesTheVobsOfTheView) {
    testutil::ProcResult r = vantimport(view_root, {df});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not inside a snapshot view: it lies in no VOB of the view\n"), std::string::npos)
        << r.err;
    std::string hint = "    The view at \"" + view_root +
                       "\" holds the VOBs /t: cd into one of them (for example \"" + view_root +
                       "/t\"), or give it with -d.\n";
    EXPECT_NE(r.err.find(hint), std::string::npos) << r.err;
    EXPECT_EQ(testutil::count(r.err, "lies in no VOB"), 1u) << r.err;

    // A directory at the root that is no VOB of the store.
    testutil::make_dirs(view_root + "/stray");
    r = vantimport(view_root + "/stray", {df});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(hint), std::string::npos) << r.err;

    // A view that loads no VOB yet.
    std::string empty = tmp + "/empty_view";
    ASSERT_EQ(testvob::run_vantor("mkview -tag empty '" + empty + "'"), 0);
    r = vantimport(empty, {df});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("    The view at \"" + empty + "\" holds no VOB yet: make the directory \"" + empty +
                         "/<VOB tag>\" for a VOB that \"vantor lsvob\" lists"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(elem("e"), 0u);
}

// The progress lines of a run with standard error in a pipe.
std::vector<std::string> progress_lines(const std::string &err) {
    std::vector<std::string> out;
    std::istringstream in(err);
    for (std::string l; std::getline(in, l);)
        if (l.rfind("vantimport: ", 0) == 0 && l.find("Warning") == std::string::npos &&
            l.find("Error") == std::string::npos)
            out.push_back(l);
    return out;
}

TEST_F(VantimportWhere, ProgressInALog) {
    datafile_builder b = data_head(src);
    const int n = 300;   // more entries than the view update reports at once
    for (int i = 0; i < n; ++i)
        element(b, "f" + std::to_string(i), 1);
    testutil::write_file(df, with_counts(b.text));
    testutil::ProcResult r = vantimport(vob_root(), {df}, {{"VANTOR_PROGRESS_INTERVAL", "0"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    std::vector<std::string> lines = progress_lines(r.err);
    int elements = 0, periodic_updates = 0;
    long long last_total = -1;
    for (const std::string &l : lines) {
        SCOPED_TRACE(l);
        if (l.find("updating the view: ") != std::string::npos) {
            EXPECT_EQ(l.find("/-1"), std::string::npos);
            long long done = -1, total = -1;
            ASSERT_EQ(sscanf(l.c_str(), "vantimport: updating the view: %lld/%lld entries", &done, &total),
                      2);
            EXPECT_LE(done, total);
            EXPECT_GE(total, n);   // the files and what the VOB held before
            EXPECT_TRUE(last_total < 0 || total == last_total);
            last_total = total;
            periodic_updates += done < total;
            continue;
        }
        int done = 0;
        ASSERT_EQ(sscanf(l.c_str(), "vantimport: %d/300 elements, %*d/300 versions, ", &done), 1);
        EXPECT_EQ(done, ++elements < n ? elements : n);
    }
    EXPECT_GE(elements, n);
    EXPECT_GE(periodic_updates, 1);
    ASSERT_FALSE(lines.empty());
    std::string tot = std::to_string(last_total);
    EXPECT_EQ(lines.back(), "vantimport: updating the view: " + tot + "/" + tot + " entries");

    // The default interval: one line at the end of each part; a bad value is said.
    r = vantimport(vob_root(), {df}, {{"VANTOR_PROGRESS_INTERVAL", "soon"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Warning: VANTOR_PROGRESS_INTERVAL=\"soon\" is not a number"), std::string::npos);
    lines = progress_lines(r.err);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines[0].rfind("vantimport: 300/300 elements, 300/300 versions, ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "vantimport: updating the view: " + tot + "/" + tot + " entries");
}

}   // namespace
