// vantexport_ssafe against the `ss` stand-in: start-up and its refusals, the
// walk of projects and files, the records of versions, labels, pins and
// checkouts, shares and branches with -F, the commands it runs, and names
// that a shell would take for commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "runtime/strutl.h"
#include "tests/rcs/rcs_test_util.h"
#include "tests/ssafe/ssafe_fixture.h"

namespace {

using ssafe_test::json;

struct SsRun : ::testing::Test {
    testutil::TempDir dir;
    std::string work = dir / "work";
    std::string db_path = dir / "db.json";
    std::string log_path = dir / "ss.log";
    std::string out;
    data_file df;

    void SetUp() override {
        testutil::make_dirs(work);
        save(ssafe_test::database());
    }
    void save(const json &db) { testutil::write_file(db_path, db.dump(1)); }

    std::string env() const {
        return "SSDB=" + strutl_sh_squote(db_path) + " SS_STANDIN_LOG=" + strutl_sh_squote(log_path) +
               " TMP=" + strutl_sh_squote(dir.path()) + " PATH=" + strutl_sh_squote(SSAFE_BIN_DIR) +
               ":\"$PATH\" LC_ALL=C ";
    }
    // Runs the exporter in the work directory; its exit status. The data
    // file is read when the run wrote one.
    int run(const std::string &opts, const std::string &extra_env = "") {
        df = data_file();
        std::remove((dir / "cvt_data").c_str());
        std::remove(log_path.c_str());
        int rc = testutil::shell("cd " + strutl_sh_squote(work) + " && " + env() + extra_env +
                                     " timeout 60 " + strutl_sh_squote(SSAFE_PROGRAM) + " -o " +
                                     strutl_sh_squote(dir / "cvt_data") + " " + opts + " 2>&1",
                                 &out);
        if (testutil::exists(dir / "cvt_data") && !testutil::read_file(dir / "cvt_data").empty()) {
            EXPECT_TRUE(read_data_file(dir / "cvt_data", &df));
        }
        return rc;
    }
    std::vector<std::string> names() const { return df.element_names(); }
    std::vector<std::string> ids(const std::string &element) const {
        std::vector<std::string> v;
        if (const data_element *e = df.element(element))
            for (const data_version &x : e->versions)
                v.push_back(x.get("VersionId"));
        return v;
    }
    const data_version *version(const std::string &element, const std::string &id) const {
        if (const data_element *e = df.element(element))
            for (const data_version &v : e->versions)
                if (v.get("VersionId") == id)
                    return &v;
        return nullptr;
    }
    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        if (!testutil::exists(log_path))
            return lines;
        for (const std::string &l : strutl_split(testutil::read_file(log_path), '\n'))
            lines.push_back(l);
        return lines;
    }
    // Runs an extract command as the importer would, in a directory of its
    // own; the bytes of the leaf it wrote.
    std::string fetch(const std::string &cmd) {
        std::string leaf_dir = dir / "fetch";
        testutil::shell("rm -rf " + strutl_sh_squote(leaf_dir) + " && mkdir " + strutl_sh_squote(leaf_dir));
        std::string plain;
        for (size_t i = 0; i < cmd.size(); ++i) {
            plain += cmd[i];
            if (cmd[i] == '%' && i + 1 < cmd.size() && cmd[i + 1] == '%')
                ++i;
        }
        std::string got;
        EXPECT_EQ(
            testutil::shell("cd " + strutl_sh_squote(leaf_dir) + " && " + env() + plain + " 2>&1", &got), 0)
            << plain << "\n"
            << got;
        std::string listing;
        testutil::shell("ls -A " + strutl_sh_squote(leaf_dir), &listing);
        if (listing.empty())
            return "<none>";
        return testutil::read_file(leaf_dir + "/" + listing.substr(0, listing.size() - 1));
    }
};

TEST_F(SsRun, ProjectsAreDirectoriesFilesElements) {
    EXPECT_EQ(run("-r"), 0) << out;
    EXPECT_EQ(names(), (std::vector<std::string>{"a.c", "dev/a.c", "pinned.c", "sub/a.c", "sub/b.bin", "x.c",
                                                 "xdev/x.c"}))
        << out;
    for (const char *d : {"sub", "dev", "empty", "xdev"})
        EXPECT_NE(std::find(df.dirs.begin(), df.dirs.end(), d), df.dirs.end()) << d;
    EXPECT_EQ(df.globals.get("ExportFromDir"), "$/proj");
    EXPECT_EQ(df.globals.get("NeedCmd"), "ss");
    EXPECT_EQ(df.globals.get("ExporterKind"), "8");
    // Oldest first; a label entry of its own makes no version, its label
    // going to the version listed below it.
    EXPECT_EQ(ids("a.c"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(version("a.c", "2")->all("Label"), std::vector<std::string>{"REL1"});
    EXPECT_EQ(version("a.c", "3")->all("Label"), std::vector<std::string>{"V3"});
    EXPECT_EQ(version("a.c", "2")->get("Comment"), "first line\r\nsecond line");
    EXPECT_EQ(version("a.c", "4")->get("Comment"), "fourth");
    EXPECT_EQ(version("a.c", "1")->get("Comment"), "");
    EXPECT_EQ(version("a.c", "5")->get("EventUser"), "Admin");
    EXPECT_EQ(version("a.c", "1")->get("EventTime"), "1028646300");   // 8/06/02 3:05p
    // The pin: the history past it is read, and the pinned version is
    // labelled PINNED beside its own label.
    EXPECT_EQ(ids("pinned.c"), (std::vector<std::string>{"1", "2", "3"}));
    std::vector<std::string> labels = version("pinned.c", "2")->all("Label");
    std::sort(labels.begin(), labels.end());
    EXPECT_EQ(labels, (std::vector<std::string>{"MINE", "PINNED"}));
    EXPECT_EQ(version("sub/b.bin", "2")->get("EventTime"), "1072829100");   // 12/31/03 12:05a
    // The checkout is reported.
    EXPECT_NE(out.find("alice"), std::string::npos) << out;
    EXPECT_NE(out.find("C:\\work\\proj\\sub"), std::string::npos) << out;
}

TEST_F(SsRun, ExtractCommandsFetchEachVersion) {
    ASSERT_EQ(run("-r"), 0) << out;
    EXPECT_EQ(version("a.c", "4")->get("ExtractCmd"), "ssafeget \"\\$/proj/a.c\" 4 \"a.c\"");
    EXPECT_EQ(fetch(version("a.c", "4")->get("ExtractCmd")), "a4\n");
    EXPECT_EQ(fetch(version("a.c", "3")->get("ExtractCmd")), "a2\n");   // a label's version
    EXPECT_EQ(fetch(version("sub/b.bin", "1")->get("ExtractCmd")), std::string("\x00\xff\x0d\x0a\x1a", 5));
    EXPECT_EQ(fetch(version("pinned.c", "3")->get("ExtractCmd")), "p3\n");
}

TEST_F(SsRun, SharesAndBranchesWithF) {
    EXPECT_EQ(run("-r -F"), 2) << out;   // x.c fails
    EXPECT_EQ(names(), (std::vector<std::string>{"a.c", "pinned.c", "sub/b.bin"})) << out;
    const data_element *a = df.element("a.c");
    ASSERT_NE(a, nullptr);
    std::vector<std::string> alt = a->all("AltName");
    std::sort(alt.begin(), alt.end());
    EXPECT_EQ(alt, (std::vector<std::string>{"dev/a.c", "sub/a.c"}));
    // The main line, then each branch after the version it sprouts from.
    EXPECT_EQ(ids("a.c"), (std::vector<std::string>{"1", "2", "3", "4", "5", "proj_dev/4", "proj_dev/5",
                                                    "proj_dev/other_hot/6"}));
    EXPECT_EQ(version("a.c", "3")->all("SubBranch"), std::vector<std::string>{"proj_dev"});
    EXPECT_EQ(version("a.c", "proj_dev/5")->all("SubBranch"), std::vector<std::string>{"other_hot"});
    EXPECT_EQ(version("a.c", "proj_dev/4")->get("OnBranch"), "proj_dev");
    EXPECT_EQ(version("a.c", "proj_dev/other_hot/6")->get("ExtractCmd"),
              "ssafeget \"\\$/other/hot/a.c\" 6 \"a.c\"");
    EXPECT_EQ(fetch(version("a.c", "proj_dev/4")->get("ExtractCmd")), "dev4\n");
    EXPECT_EQ(fetch(version("a.c", "proj_dev/other_hot/6")->get("ExtractCmd")), "hot6\n");
    // The deleted place and the place outside the working project are warned of.
    EXPECT_NE(out.find("Skipping deleted name \"$/old/a.c\""), std::string::npos) << out;
    EXPECT_NE(out.find("Share (\"$/other/hot/a.c\") is out of of working directory's (\"$/proj\") scope."),
              std::string::npos)
        << out;
    // x.c's branch has no version to sprout from: nothing of it is written.
    EXPECT_NE(out.find("Unable to find a sprout point for branch at \"$/proj/xdev/x.c\""), std::string::npos)
        << out;
    EXPECT_NE(out.find("Unable to construct version tree"), std::string::npos);
    // The places met again are listed apart as what they are; the failure
    // list names x.c's places alone.
    const std::string shares =
        "Not exported on their own, since what they hold was exported:\n"
        "    \tdev/a.c: exported as an alternate name of a.c\n"
        "    \tsub/a.c: exported as an alternate name of a.c\n";
    EXPECT_NE(out.find(shares), std::string::npos) << out;
    size_t failed = out.find("The following elements could not be exported:\n");
    ASSERT_NE(failed, std::string::npos) << out;
    EXPECT_EQ(out.substr(failed, out.find("Exported ", failed) - failed),
              "The following elements could not be exported:\n    \tx.c\n    \txdev/x.c\n")
        << out;
    EXPECT_NE(out.find("; 2 not exported"), std::string::npos) << out;

    // Without the broken branch the export is complete: status 0, the
    // alternate names listed, no failure.
    json db = ssafe_test::database();
    json places = json::array();
    for (const json &p : db["places"])
        if (p["file"] != "X" && p["file"] != "XDEV")
            places.push_back(p);
    db["places"] = places;
    db["projects"].erase(std::find(db["projects"].begin(), db["projects"].end(), "$/proj/xdev"));
    save(db);
    EXPECT_EQ(run("-r -F"), 0) << out;
    EXPECT_EQ(names(), (std::vector<std::string>{"a.c", "pinned.c", "sub/b.bin"})) << out;
    EXPECT_NE(out.find(shares), std::string::npos) << out;
    EXPECT_EQ(out.find("could not be exported"), std::string::npos) << out;
    EXPECT_NE(out.find("; 0 not exported"), std::string::npos) << out;
}

TEST_F(SsRun, CommandsRunPerElement) {
    ASSERT_EQ(run("-r"), 0) << out;
    std::vector<std::string> lines = log_lines();
    auto count = [&](const std::string &prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string &l) { return l.compare(0, prefix.size(), prefix) == 0; });
    };
    // One start-up dir, one about for the run; per element one history and
    // one status; a dir per project listed, and none per file.
    EXPECT_EQ(count("about"), 1);
    EXPECT_EQ(count("history"), 1 + 7);   // the date check of start-up, then per element
    EXPECT_EQ(count("status"), 7);
    EXPECT_EQ(count("paths"), 0);
    EXPECT_EQ(count("dir"), 1 + 5 + 1);   // start-up, 5 projects, the stat of "."
    // The pinned file's history is asked past its pin.
    const std::string pinned = "\t$/proj/pinned.c;d01-18-37";
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string &l) {
                                return l.size() > pinned.size() &&
                                       l.compare(l.size() - pinned.size(), pinned.size(), pinned) == 0;
                            }),
              1)
        << testutil::read_file(log_path);
}

TEST_F(SsRun, AnOldClientCannotReadPastItsEndDate) {
    json db = ssafe_test::database();
    db["about"] = "SourceSafe Version 5.0 (Build 1234)";
    save(db);
    EXPECT_EQ(run("pinned.c"), 2) << out;
    EXPECT_NE(out.find("Did not find any versions for \"pinned.c\""), std::string::npos) << out;
    // The client is asked once, and only for a pinned file.
    db["about"] = "SourceSafe, no number";
    save(db);
    EXPECT_EQ(run("a.c"), 0) << out;
    EXPECT_EQ(out.find("Unable to determine SourceSafe version"), std::string::npos) << out;
    EXPECT_EQ(run("pinned.c"), 2) << out;
    EXPECT_NE(out.find("Unable to determine SourceSafe version.  Assuming pre-6.0"), std::string::npos)
        << out;
}

TEST_F(SsRun, StartUpRefusals) {
    // The client asks for a password: the empty lines it gets fail it, and
    // the exporter says why instead of waiting.
    EXPECT_EQ(run("-r", "SS_STANDIN_PASSWORD=1"), 1) << out;
    EXPECT_NE(out.find("SourceSafe is prompting for Username"), std::string::npos) << out;
    EXPECT_NE(out.find("CM driver initialization failed."), std::string::npos) << out;
    // No client on PATH, also for -Ver.
    for (const char *opts : {"-r", "-Ver"}) {
        int rc = testutil::shell("cd " + strutl_sh_squote(work) + " && TMP=/tmp PATH=/nonexistent " +
                                     strutl_sh_squote(SSAFE_PROGRAM) + " " + opts + " 2>&1",
                                 &out);
        EXPECT_EQ(rc, 1) << opts;
        EXPECT_NE(out.find("Can't find \"ss\" in PATH."), std::string::npos) << out;
    }
    // With the client: the banner.
    EXPECT_EQ(testutil::shell("cd " + strutl_sh_squote(work) + " && " + env() +
                                  strutl_sh_squote(SSAFE_PROGRAM) + " -Ver 2>&1",
                              &out),
              0)
        << out;
    EXPECT_EQ(out.compare(0, 17, "vantexport_ssafe "), 0) << out;
    // TMP unset.
    EXPECT_EQ(run("-r", "env -u TMP"), 1) << out;
    // A source name with "/".
    EXPECT_EQ(run("sub/a.c"), 1) << out;
    EXPECT_NE(out.find("\"sub/a.c\" invalid."), std::string::npos) << out;
    EXPECT_NE(out.find("Source name must not have a \"/\" in it."), std::string::npos) << out;
}

// A machine whose regional format puts the day first is refused, with its
// own rendering of the sample moment.
TEST_F(SsRun, DayFirstRegionalFormatIsRefused) {
    std::string locales = dir / "locales";
    testutil::make_dirs(locales);
    std::string msg;
    testutil::shell("localedef -i en_GB -f UTF-8 " + strutl_sh_squote(locales + "/en_GB.UTF-8") + " 2>&1",
                    &msg);
    ASSERT_TRUE(testutil::exists(locales + "/en_GB.UTF-8")) << msg;
    // glibc's newlocale keeps its copy of LOCPATH; under the leak checker
    // that is glibc's, not the exporter's, which frees its locale.
    testutil::write_file(dir / "lsan.supp", "leak:__argz_add_sep\nleak:__argz_create_sep\n");
    EXPECT_EQ(
        run("-r", "LOCPATH=" + strutl_sh_squote(locales) +
                      " LC_ALL=en_GB.UTF-8 LSAN_OPTIONS=suppressions=" + strutl_sh_squote(dir / "lsan.supp")),
        1)
        << out;
    EXPECT_NE(out.find("Date and time are not in a recognized format."), std::string::npos) << out;
    EXPECT_NE(out.find("Please go to the Control Panel and alter your Regional Settings"), std::string::npos);
    EXPECT_NE(out.find("for Short Date and Time so that 8/6/94 "), std::string::npos) << out;
    EXPECT_NE(out.find("appears as 6/8/1994 9:40:00 PM"), std::string::npos) << out;
    // The C locale passes.
    EXPECT_EQ(run("a.c"), 0) << out;
}

// A client answering day first is caught at start-up where a day cannot be
// a month (the working project's newest entries are read for it): the run
// is refused before any file, not each file in turn, and no date is moved.
TEST_F(SsRun, DayFirstAnswersAreRefusedNotMoved) {
    json db = ssafe_test::database();
    db["files"]["PIN"]["entries"][2]["date"] = "1/25/03";
    save(db);
    EXPECT_EQ(run("pinned.c", "SS_STANDIN_DAYFIRST=1"), 1) << out;
    EXPECT_NE(out.find("The SourceSafe client writes dates that cannot be read: \"25/1/03 3:05p\" in the "
                       "history of \"$/proj\"."),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Could not parse date/time string"), std::string::npos) << out;
    EXPECT_TRUE(names().empty());
}

// Start-up failures name their cause, and leave neither a data file nor a
// temporary file: another program found as ss (an impostor script, and the
// socket tool of /usr/bin where there is one), no SSDIR, an SSDIR without
// a database, a prompt of a client whose database is named, day-first dates.
TEST_F(SsRun, StartUpNamesTheCause) {
    const std::string imp = dir / "imp", tmp = dir / "tmp";
    testutil::make_dirs(imp);
    testutil::make_dirs(tmp);
    testutil::write_file(imp + "/ss", "#!/bin/sh\necho 'Netid  State  Recv-Q  Send-Q  Local Address:Port'\n");
    chmod((imp + "/ss").c_str(), 0755);
    json db = ssafe_test::database();
    db["files"]["PIN"]["entries"][2]["date"] = "1/25/03";
    save(db);
    const std::string bin = strutl_sh_squote(SSAFE_BIN_DIR);
    struct Case {
        std::string what, env;
        std::vector<std::string> said, not_said;
    };
    std::vector<Case> cases = {
        {"impostor",
         "PATH=" + strutl_sh_squote(imp) + ":" + bin + ":/usr/bin:/bin",
         {"\"" + imp +
              "/ss\", the ss found on PATH, is not the SourceSafe client: it answers \"ss about\" "
              "with \"Netid  State",
          "Put the directory that holds the SourceSafe client before \"" + imp + "\" in PATH."},
         {"prompting"}},
        {"no SSDIR",
         "env -u SSDB -u SSDIR",
         {"Could not open process \"ss dir -I- -F- -O", "ss wrote: ss: SSDB names no database",
          "SSDIR is not set, the likely cause: set it to the folder that holds the database's srcsafe.ini."},
         {"prompting", "not the SourceSafe client"}},
        {"SSDIR without a database",
         "env -u SSDB SSDIR=" + strutl_sh_squote(imp),
         {"Could not open process \"ss dir -I- -F- -O", "ss wrote: ss: " + imp + "/ssdb.json"},
         {"prompting", "SSDIR is not set"}},
        {"prompt with SSDIR",
         "SSDIR=" + strutl_sh_squote(dir.path()) + " SS_STANDIN_PASSWORD=1",
         {"SourceSafe is prompting for Username"},
         {"SSDIR is not set", "not the SourceSafe client"}},
        {"day first",
         "SS_STANDIN_DAYFIRST=1",
         {"cannot be read: \"25/1/03 3:05p\"", "Dates must read month/day/year and times hour:minutes"},
         {"Could not parse"}},
    };
    if (testutil::exists("/usr/bin/ss"))
        cases.push_back({"/usr/bin/ss",
                         "PATH=/usr/bin:" + bin + ":/bin",
                         {"\"/usr/bin/ss\", the ss found on PATH, is not the SourceSafe client",
                          "before \"/usr/bin\" in PATH."},
                         {"prompting", "Usage: ss"}});
    for (const Case &c : cases) {
        EXPECT_EQ(run("-r", "TMP=" + strutl_sh_squote(tmp) + " " + c.env), 1) << c.what << "\n" << out;
        for (const std::string &t : c.said)
            EXPECT_NE(out.find(t), std::string::npos) << c.what << ": " << t << "\n" << out;
        for (const std::string &t : c.not_said)
            EXPECT_EQ(out.find(t), std::string::npos) << c.what << ": " << t << "\n" << out;
        EXPECT_NE(out.find("CM driver initialization failed."), std::string::npos) << c.what;
        EXPECT_TRUE(!testutil::exists(dir / "cvt_data") || testutil::read_file(dir / "cvt_data").empty())
            << c.what;
        EXPECT_EQ(testutil::count_entries(tmp), 0u) << c.what;
    }
}

// A pinned file's pin is no part of its name, in a subproject as at the
// top: the element is the file, with its history past the pin.
TEST_F(SsRun, PinsStayOutOfNames) {
    json db = ssafe_test::database();
    db["projects"].push_back("$/proj/sub/lib");
    db["files"]["F7"] = db["files"]["PIN"];
    db["places"].push_back({{"path", "$/proj/sub/lib/f7.txt"}, {"file", "F7"}, {"pin", 2}});
    save(db);
    EXPECT_EQ(run("-r"), 0) << out;
    EXPECT_EQ(out.find(";2"), std::string::npos) << out;
    for (const std::string &n : names())
        EXPECT_EQ(n.find(';'), std::string::npos) << n;
    EXPECT_EQ(ids("sub/lib/f7.txt"), (std::vector<std::string>{"1", "2", "3"})) << out;
    std::vector<std::string> labels = version("sub/lib/f7.txt", "2")->all("Label");
    EXPECT_NE(std::find(labels.begin(), labels.end(), "PINNED"), labels.end());
    EXPECT_NE(testutil::read_file(log_path).find("\t$/proj/sub/lib/f7.txt;d01-18-37"), std::string::npos);
}

// Names that /bin/sh would run as commands reach the client and ssafeget
// as they are.
TEST_F(SsRun, NamesAreNeverRunByAShell) {
    json db;
    db["current"] = "$/proj";
    const std::string sub = "we ird $(touch ran1)";
    const std::string leaf = "q\"uo`touch ran2` $HOME 50%.c";
    db["projects"] = {"$/proj", "$/proj/" + sub};
    db["files"]["F"] = {{"entries",
                         {ssafe_test::entry(1, "5/05/05", "Created", "one\n"),
                          ssafe_test::entry(2, "5/06/05", "Checked in $/proj", "two\n")}}};
    db["places"] = {{{"path", "$/proj/" + sub + "/" + leaf}, {"file", "F"}}};
    save(db);
    EXPECT_EQ(run("-r -F"), 0) << out;
    EXPECT_EQ(names(), std::vector<std::string>{sub + "/" + leaf}) << out;
    const data_version *v = version(sub + "/" + leaf, "2");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(fetch(v->get("ExtractCmd")), "two\n");
    for (const char *ran : {"ran1", "ran2"}) {
        EXPECT_FALSE(testutil::exists(work + "/" + ran)) << ran;
        EXPECT_FALSE(testutil::exists(dir / "fetch" + "/" + ran)) << ran;
    }
    EXPECT_NE(testutil::read_file(log_path).find("$/proj/" + sub + "/" + leaf), std::string::npos);
}

// A client that does not answer: the first signal ends it (it runs in a
// process group of its own, which a Ctrl-C at the terminal does not reach)
// and the run stops, with nothing of the client or its temporary files left.
TEST_F(SsRun, InterruptEndsTheClientInHand) {
    std::string wrap = dir / "wrap", tmp = dir / "tmp", pids = dir / "pids", log = dir / "run.log";
    testutil::make_dirs(wrap);
    testutil::make_dirs(tmp);
    // A file's history hangs; the project's history of the start-up's date
    // check (asked with -#) is answered.
    testutil::write_file(wrap + "/ss", "#!/bin/sh\ncase \"$*\" in history*-#*) ;; history*) echo $$ >> " +
                                           strutl_sh_squote(pids) + "; exec sleep 60;; esac\nexec " +
                                           strutl_sh_squote(std::string(SSAFE_BIN_DIR) + "/ss") +
                                           " \"$@\"\n");
    chmod((wrap + "/ss").c_str(), 0755);
    std::vector<std::string> env = {"SSDB=" + db_path, "TMP=" + tmp, "TZ=UTC", "LC_ALL=C",
                                    "PATH=" + wrap + ":" + SSAFE_BIN_DIR + ":/usr/bin:/bin"};
    pid_t pid = testutil::spawn_logged({SSAFE_PROGRAM, "-r"}, env, log, work);
    ASSERT_GT(pid, 0);
    auto t0 = std::chrono::steady_clock::now();
    while ((testutil::exists(pids) ? testutil::read_file(pids) : std::string()).empty() &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(30))
        usleep(10000);
    pid_t client =
        pid_t(std::atol((testutil::exists(pids) ? testutil::read_file(pids) : std::string()).c_str()));
    ASSERT_GT(client, 0);
    EXPECT_EQ(getpgid(client), client) << "the client is in the exporter's process group";
    t0 = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 130) << st;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    for (int i = 0; i < 200 && kill(client, 0) == 0; ++i)
        usleep(10000);
    EXPECT_NE(kill(client, 0), 0) << "client " << client << " left running";
    std::string said = testutil::read_file(log);
    EXPECT_NE(said.find("vantexport_ssafe: Error: The export of \".\" was interrupted at "),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("The data file \"cvt_data\" is left empty"), std::string::npos) << said;
    EXPECT_EQ(said.find("could not be exported"), std::string::npos) << said;   // the stop is no failure
    EXPECT_EQ(said.find("Cannot"), std::string::npos) << said;
    DIR *d = opendir(tmp.c_str());
    int left = 0;
    while (dirent *e = d ? readdir(d) : nullptr)
        left += e->d_name[0] != '.';
    if (d)
        closedir(d);
    EXPECT_EQ(left, 0) << "temporary files left in " << tmp;
    EXPECT_EQ(testutil::read_file(work + "/cvt_data"), "");
}

}   // namespace
