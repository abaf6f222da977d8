// An export stopped by SIGINT or SIGTERM: it stops at the next element, says
// where it was and which data file blocks the next run, removes its
// temporary record files and exits with 128 + the signal; a second signal
// ends it at once, the files removed all the same; the next run refuses the
// empty data file as after any failed run.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/export/export_test_util.h"

extern char **environ;

namespace {

using nlohmann::json;
using clock_type = std::chrono::steady_clock;

struct ExportInterrupt : ::testing::Test {
    testutil::TempDir dir;
    std::string work = dir / "work", tmp = dir / "tmp", log = dir / "log", calls = dir / "calls";

    void SetUp() override {
        testutil::make_dirs(work);
        testutil::make_dirs(tmp);
        for (int i = 0; i < 40; ++i)
            testutil::write_file(work + "/e" + std::to_string(100 + i), "x");
    }

    // Starts the scripted exporter in work with the script, both streams to log.
    pid_t start(const json &script) {
        std::string path = scripted_env_file(dir.path(), script);
        std::vector<std::string> env = {"SCRIPTED_DRIVER=" + path, "SCRIPTED_LOG=" + calls, "TMP=" + tmp,
                                        "PATH=/usr/bin:/bin"};
        return testutil::spawn_logged({SCRIPTED_BIN}, env, log, work);
    }

    // Waits until the driver was asked to open `path`.
    bool wait_for_open(const std::string &path) {
        auto t0 = clock_type::now();
        while (clock_type::now() - t0 < std::chrono::seconds(30)) {
            if (testutil::exists(calls) &&
                testutil::read_file(calls).find("open " + path + "\n") != std::string::npos)
                return true;
            usleep(5000);
        }
        return false;
    }

    static int finish(pid_t pid) {
        int st = 0;
        waitpid(pid, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
    }

    std::vector<std::string> left_in_tmp() const {
        std::vector<std::string> names;
        DIR *d = opendir(tmp.c_str());
        while (dirent *e = d ? readdir(d) : nullptr)
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        if (d)
            closedir(d);
        return names;
    }

    // What every interrupted run leaves: the empty data file alone, and a
    // next run that refuses it.
    void expect_left_as_a_failed_run() {
        EXPECT_TRUE(left_in_tmp().empty()) << testing::PrintToString(left_in_tmp());
        ASSERT_TRUE(testutil::exists(work + "/cvt_data"));
        EXPECT_EQ(testutil::read_file(work + "/cvt_data"), "");
        ExportRun again = run_exporter(SCRIPTED_BIN, work, {}, {{"TMP", tmp}});
        EXPECT_EQ(again.proc.status, 1);
        EXPECT_NE(again.proc.err.find("\"cvt_data\" exists, please move."), std::string::npos)
            << again.proc.err;
        EXPECT_EQ(again.data, "");
    }
};

TEST_F(ExportInterrupt, EachSignalStopsAtTheNextElement) {
    struct row {
        int sig, status;
    };
    for (const row &r : {row{SIGINT, 130}, row{SIGTERM, 143}}) {
        SCOPED_TRACE(strsignal(r.sig));
        unlink((work + "/cvt_data").c_str());
        unlink(calls.c_str());
        pid_t pid = start({{"slow_ms", 100}});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(wait_for_open("e105"));
        auto t0 = clock_type::now();
        kill(pid, r.sig);
        EXPECT_EQ(finish(pid), r.status);
        // The element in hand is finished, no other one started.
        EXPECT_LT(clock_type::now() - t0, std::chrono::seconds(5));
        std::string driven = testutil::read_file(calls);
        EXPECT_EQ(driven.find("open e108\n"), std::string::npos) << driven;
        EXPECT_NE(driven.find("shutdown\n"), std::string::npos) << driven;
        std::string out = testutil::read_file(log);
        EXPECT_NE(out.find("scripted_exporter: Stopping: the export ends before its next element and removes "
                           "its temporary files; a second signal ends it at once.\n"),
                  std::string::npos)
            << out;
        // "... interrupted at "e10N" after A elements with B versions; ...", then the hint.
        const std::string head = "scripted_exporter: Error: The export of \".\" was interrupted at \"e10";
        size_t at = out.find(head);
        ASSERT_NE(at, std::string::npos) << out;
        int n = -1;
        long elements = -1, versions = -1;
        char tail[160] = {};
        ASSERT_EQ(std::sscanf(out.c_str() + at + head.size(),
                              "%d\" after %ld elements with %ld versions; %159[^\n]", &n, &elements,
                              &versions, tail),
                  4)
            << out;
        EXPECT_TRUE(n >= 5 && n <= 7) << out;
        EXPECT_STREQ(tail, "its temporary record files were removed.");
        // The counts are those of the elements finished before the one named.
        EXPECT_TRUE(elements == n || elements == n + 1) << out;
        EXPECT_EQ(elements, versions);
        EXPECT_NE(
            out.find("removed.\n    The data file \"cvt_data\" is left empty: move or delete it before the "
                     "next run.\n"),
            std::string::npos)
            << out;
        EXPECT_EQ(out.find("Exported "), std::string::npos) << out;   // no totals: nothing was exported
        expect_left_as_a_failed_run();
    }
}

// A driver call that does not return soon: the first signal waits for it,
// the second ends the run at once from the handler.
TEST_F(ExportInterrupt, SecondSignalEndsAtOnceAndStillRemovesTheFiles) {
    json script = {{"elements", {{"e103", {{"slow_ms", 20000}}}}}};
    pid_t pid = start(script);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_for_open("e103"));
    EXPECT_EQ(left_in_tmp().size(), 2u);   // the directory and element record files
    auto t0 = clock_type::now();
    kill(pid, SIGINT);
    usleep(300000);
    int st = 0;
    EXPECT_EQ(waitpid(pid, &st, WNOHANG), 0) << "ended at the first signal";
    kill(pid, SIGTERM);
    EXPECT_EQ(finish(pid), 143);
    EXPECT_LT(clock_type::now() - t0, std::chrono::seconds(10));
    std::string out = testutil::read_file(log);
    EXPECT_NE(out.find("scripted_exporter: Stopping: "), std::string::npos) << out;
    EXPECT_NE(
        out.find("scripted_exporter: Error: The export was interrupted again and ended at once; its "
                 "temporary record files were removed.\n"
                 "    The data file \"cvt_data\" is left empty: move or delete it before the next run.\n"),
        std::string::npos)
        << out;
    expect_left_as_a_failed_run();
}

// SIGHUP (the terminal gone) and SIGPIPE end the run by that signal, as
// before, but without leaving the record files behind.
TEST_F(ExportInterrupt, HangupAndBrokenPipeRemoveTheFiles) {
    for (int sig : {SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(strsignal(sig));
        unlink((work + "/cvt_data").c_str());
        unlink(calls.c_str());
        pid_t pid = start({{"slow_ms", 100}});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(wait_for_open("e102"));
        kill(pid, sig);
        EXPECT_EQ(finish(pid), 1000 + sig);
        expect_left_as_a_failed_run();
    }
}

}   // namespace
