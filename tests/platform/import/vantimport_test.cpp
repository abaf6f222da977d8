// The vantimport program: its command line, messages and exit status.
#include "tests/platform/import/import_fixture.h"

#include <cstdio>
#include <unistd.h>

namespace {

struct result {
    int status = -1;
    std::string out;   // standard output and standard error together
};

// Runs vantimport in dir with the arguments (already quoted for the shell).
result vantimport(const std::string &dir, const std::string &args) {
    std::string prog = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";
    result r;
    r.status = testutil::shell("'" + prog + "' " + args + " 2>&1", &r.out, nullptr, dir);
    return r;
}

const char usage_start[] = "Usage: vantimport [-n[setevent]]";

TEST(VantimportCommandLine, Errors) {
    struct cmdline_case {
        const char *args;
        const char *message;
    };
    const cmdline_case cases[] = {
        {"", "vantimport: Error: No data file was given."},
        {"-v -i", "vantimport: Error: No data file was given."},
        {"-d", "vantimport: Error: Option \"-d[irectory]\" needs an argument."},
        {"-v -directory", "vantimport: Error: Option \"-d[irectory]\" needs an argument."},
        {"-c", "vantimport: Error: Option \"-c[omment]\" needs an argument."},
        {"-x data", "vantimport: Error: Unknown option \"-x\"."},
        {"-v -VerAll data", "vantimport: Error: Unknown option \"-VerAll\"."},
    };
    for (const cmdline_case &c : cases) {
        result r = vantimport("/tmp", c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(usage_start), std::string::npos) << c.args << "\n" << r.out;
    }
}

TEST(VantimportCommandLine, VersionBanner) {
    for (const char *args : {"--version", "-V", "-v --version -x", "-q -V data"}) {
        result r = vantimport("/tmp", args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(r.out.rfind("vantimport                        ", 0), 0u) << args << "\n" << r.out;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    }
    result r = vantimport("/tmp", "-verall");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("vantimport                        ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nlibvelkimport "), std::string::npos) << r.out;
    r = vantimport("/tmp", "-Ver extra");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("libvelkimport"), std::string::npos);
}

struct VantimportRun : ImportFixture {};

TEST_F(VantimportRun, FailuresAreListedAndTheStatusIsOne) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    for (const char *name : {"good", "bad"}) {
        b.marker("ELEMENT_BEGIN").str("Name", name).num("EventTime", 1);
        b.marker("VERSION_BEGIN").str("VersionId", "1").num("EventTime", 2);
        b.str(std::string(name) == "bad" ? "ExtractCmd" : "ExtractFile",
              std::string(name) == "bad" ? "exit 1 > \"%s\"" : "a");
        b.marker("VERSION_END").marker("ELEMENT_END");
    }
    testutil::write_file(tmp + "/d.dat", b.text);
    result r = vantimport(vob_root(), "-no '" + tmp + "/d.dat'");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("vantimport: Error: The following elements could not be imported:\n    \tbad\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("The view was not updated"), std::string::npos) << r.out;
    EXPECT_EQ(contents("good"), "a");
    EXPECT_NE(access((vob_root() + "/good").c_str(), F_OK), 0);   // -no[load]

    // Defaults: the comment of records without one, and the view is updated.
    datafile_builder c = data_head(src);
    c.marker("ELEMENT_BEGIN").str("Name", "third").num("EventTime", 1);
    c.marker("VERSION_BEGIN").str("VersionId", "1").num("EventTime", 2).str("ExtractFile", "a");
    c.marker("VERSION_END").marker("ELEMENT_END");
    testutil::write_file(tmp + "/c.dat", c.text);
    r = vantimport(vob_root(), "'" + tmp + "/c.dat'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(testutil::read_file(vob_root() + "/third"), "a");
    vob_event ev;
    ASSERT_EQ(vob_obj_get_event(vob, ver("third@@/main/1"), &ev), 0);
    EXPECT_EQ(ev.comment, "Created by importer");

    r = vantimport(tmp, "-d '" + vob_root() + "' -c 'my words' -no '" + tmp + "/c.dat'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Nothing new to import"), std::string::npos) << r.out;
}

// -q and -v: the later one counts; the summary in the singular, with the
// time and rate; "--" before a data file named like an option; an option
// after the data file refused before anything is imported.
TEST_F(VantimportRun, QuietSummaryAndTheWordsAroundTheDataFile) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    b.marker("ELEMENT_BEGIN").str("Name", "one").num("EventTime", 1);
    b.marker("VERSION_BEGIN").str("VersionId", "1").num("EventTime", 2).str("ExtractFile", "a");
    b.marker("VERSION_END").marker("ELEMENT_END");
    testutil::write_file(tmp + "/-d.dat", b.text);

    result r = vantimport(vob_root(), "'" + tmp + "/-d.dat' -no");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("vantimport: Error: \"-no\" follows the data file \"" + tmp +
                         "/-d.dat\": options go before the data file; nothing was imported."),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(usage_start), std::string::npos) << r.out;
    EXPECT_EQ(elem("one"), 0u);

    r = vantimport(vob_root(), "-v -q -no -- '" + tmp + "/-d.dat'");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Element \"one\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("1/1 elements"), std::string::npos) << "a progress line in a log\n" << r.out;
    EXPECT_NE(r.out.find("Imported 1 element (1 new) and 1 version; 0 versions were already present, 0 "
                         "identical to their predecessor.\n1 version in "),
              std::string::npos)
        << r.out;
    size_t at = r.out.find("1 version in ");
    double secs = -1, rate = -1;
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(std::sscanf(r.out.c_str() + at, "1 version in %lf s, %lf versions per second.", &secs, &rate),
              2)
        << r.out;
    EXPECT_GE(secs, 0.0);
    EXPECT_GT(rate, 0.0);
    EXPECT_EQ(contents("one@@/main/1"), "a");

    r = vantimport(vob_root(), "-q -v -no -- '" + tmp + "/-d.dat' -- -no");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Element \"one\": 0 versions created, 1 already present, 0 identical"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Nothing new to import"), std::string::npos) << r.out;
}

}   // namespace
