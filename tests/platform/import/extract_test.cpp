// Extract command templates as each exporter writes them, run for real through
// the worker pool.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/import/imp_extract.h"
#include "platform/import/imp_pool.h"
#include "runtime/strutl.h"
#include "tests/common/testutil.h"

namespace {

TEST(ExtractFill, RcsTemplate) {
    imp_extract_job job;
    std::string why;
    ASSERT_EQ(imp_extract_fill("co -q -r1.2 -p \"%s%csrc/a.c,v\" > \"%s\"", "/home/u/$proj", "/tmp/o 1",
                               "/tmp/w", &job, &why),
              0)
        << why;
    EXPECT_EQ(job.command, "co -q -r1.2 -p \"/home/u/\\$proj/src/a.c,v\" > \"/tmp/o 1\"");
    EXPECT_EQ(job.mode, IMP_EXTRACT_OUTPUT_FILE);
    EXPECT_EQ(job.out_path, "/tmp/o 1");
}

TEST(ExtractFill, PvcsWorkfileInBrackets) {
    imp_extract_job job;
    std::string why;
    ASSERT_EQ(imp_extract_fill("get -q -r1.2 \"%s%carch/a.c-arc(%s)\"", "/p/", "/t/o\"x", "", &job, &why), 0);
    EXPECT_EQ(job.command, "get -q -r1.2 \"/p/arch/a.c-arc(/t/o\\\"x)\"");
}

TEST(ExtractFill, CvsTrailingRedirection) {
    imp_extract_job job;
    std::string why;
    ASSERT_EQ(imp_extract_fill("cvs -Q get -r1.3 -p \"mod/a.c\" > ", "/w", "/t/it's", "", &job, &why), 0);
    EXPECT_EQ(job.command, "cvs -Q get -r1.3 -p \"mod/a.c\" > '/t/it'\\''s'");
}

// "%%" is a "%" of a name, never a place: a name holding "%s%c" or "%s" must
// neither take the directory nor the output.
TEST(ExtractFill, DoubledPercentIsAPercentOfTheName) {
    imp_extract_job job;
    std::string why;
    ASSERT_EQ(imp_extract_fill("co -q -r1.2 -p \"%s%c50%%s%%c,v\" > \"%s\"", "/w", "/t/o", "", &job, &why), 0)
        << why;
    EXPECT_EQ(job.command, "co -q -r1.2 -p \"/w/50%s%c,v\" > \"/t/o\"");
    ASSERT_EQ(imp_extract_fill("cvs -Q get -r1.1 -p \"m/100%%s\" > ", "/w", "/t/o", "", &job, &why), 0)
        << why;
    EXPECT_EQ(job.command, "cvs -Q get -r1.1 -p \"m/100%s\" > '/t/o'");
    // A lone "%" of an older file stays as it is.
    ASSERT_EQ(imp_extract_fill("cvs -Q get -r1.1 -p \"m/5%d\" > ", "/w", "/t/o", "", &job, &why), 0) << why;
    EXPECT_EQ(job.command, "cvs -Q get -r1.1 -p \"m/5%d\" > '/t/o'");
}

TEST(ExtractFill, SsafegetRunsInItsOwnDirectory) {
    imp_extract_job job;
    std::string why;
    ASSERT_EQ(imp_extract_fill("ssafeget \"$/proj/a.c\" 3 \"a.c\"", "/w", "/t/o", "/t/w 7", &job, &why), 0);
    EXPECT_EQ(job.mode, IMP_EXTRACT_LEAF_IN_DIR);
    EXPECT_EQ(job.out_path, "/t/w 7/a.c");
    EXPECT_EQ(job.command, "cd '/t/w 7' && ssafeget \"$/proj/a.c\" 3 \"a.c\"");
    EXPECT_NE(imp_extract_fill("ssafeget \"$/p/a\" 3 \"../x\"", "/w", "/t/o", "/t/w", &job, &why), 0);
    EXPECT_NE(why.find("ssafeget"), std::string::npos);
}

// The leaf is found as the shell will pass it: escapes inside the quotes
// undone, "%%" read as "%". Running the command proves the shell agrees.
TEST(ExtractFill, SsafegetLeafWithShellCharacters) {
    testutil::TempDir t;
    const std::string leaf = "a \"q\" $(touch x) `y` \\ 5%.c";
    const std::string tmpl =
        "ssafeget \"" + strutl_cmd_dquote("$/p/" + leaf) + "\" 3 \"" + strutl_cmd_dquote(leaf) + "\"";
    imp_extract_job job;
    std::string why;
    ASSERT_EQ(imp_extract_fill(tmpl, "/w", "/t/o", t.path() + "/w", &job, &why), 0) << why;
    EXPECT_EQ(job.out_path, t.path() + "/w/" + leaf);
    testutil::make_dirs(t.path() + "/w");
    // Stand in for the program: write the leaf and the path it was given into the leaf.
    testutil::write_file(t.path() + "/ssafeget", "#!/bin/sh\nprintf '%s|%s' \"$3\" \"$1\" > \"$3\"\n");
    ASSERT_EQ(chmod((t.path() + "/ssafeget").c_str(), 0755), 0);
    job.command.replace(job.command.find("ssafeget"), 8, t.path() + "/ssafeget");
    ASSERT_EQ(testutil::shell(job.command), 0);
    EXPECT_EQ(testutil::read_file(job.out_path), leaf + "|$/p/" + leaf);
    EXPECT_FALSE(testutil::exists(t.path() + "/w/x"));
    EXPECT_FALSE(testutil::exists(t.path() + "/x"));
}

TEST(ExtractFill, NoPlaceForTheOutput) {
    imp_extract_job job;
    std::string why;
    EXPECT_NE(imp_extract_fill("cat \"%s%ca\"", "/w", "/t/o", "", &job, &why), 0);
    EXPECT_NE(why.find("no place for its output"), std::string::npos);
    EXPECT_NE(imp_extract_fill("echo \"> \"", "/w", "/t/o", "", &job, &why), 0);
}

TEST(ExtractPool, RunsCommandsAndReportsFailures) {
    testutil::TempDir t;
    testutil::write_file(t.path() + "/src", std::string("bin\0ary\n", 8));
    imp_pool pool;
    std::string why;
    ASSERT_EQ(imp_pool_start(&pool, 3, false, &why), 3) << why;
    std::vector<long> tickets;
    std::vector<imp_extract_job> jobs;
    for (int i = 0; i < 12; ++i) {
        imp_extract_job job;
        std::string tmpl = i == 5   ? "sh -c 'echo broken >&2; exit 3' > \"%s\""
                           : i == 7 ? "true # \"%s\""
                                    : "cat \"%s%csrc\" > \"%s\"";
        ASSERT_EQ(imp_extract_fill(tmpl, t.path(), t.path() + "/o" + std::to_string(i), t.path() + "/w", &job,
                                   &why),
                  0)
            << why;
        jobs.push_back(job);
        tickets.push_back(imp_pool_submit(&pool, job));
    }
    for (int i = 0; i < 12; ++i) {
        imp_fetch_result res;
        ASSERT_EQ(imp_pool_wait(&pool, tickets[size_t(i)], &res), 0);
        if (i == 5) {
            EXPECT_EQ(res.status, 1);
            EXPECT_NE(res.message.find("exited with status 3"), std::string::npos) << res.message;
            EXPECT_NE(res.message.find("broken"), std::string::npos) << res.message;
        } else if (i == 7) {
            EXPECT_EQ(res.status, 1);
            EXPECT_NE(res.message.find("did not write its output file"), std::string::npos) << res.message;
        } else {
            EXPECT_EQ(res.status, 0) << res.message;
            EXPECT_EQ(testutil::read_file(jobs[size_t(i)].out_path), std::string("bin\0ary\n", 8));
        }
    }
    imp_pool_stop(&pool);
}

// The file's contents, or "" while it does not exist yet.
std::string read_or_empty(const std::string &path) {
    return testutil::exists(path) ? testutil::read_file(path) : std::string();
}

int g_cancel = 0;
int cancel_flag() { return g_cancel; }

// Running (not reaped by us) and not a zombie.
bool process_alive(pid_t pid) {
    std::string stat = read_or_empty("/proc/" + std::to_string(pid) + "/stat");
    size_t close_paren = stat.rfind(')');
    return close_paren != std::string::npos && close_paren + 2 < stat.size() && stat[close_paren + 2] != 'Z';
}

TEST(ExtractPool, CancelledWaitAndStopEndRunningCommands) {
    testutil::TempDir t;
    imp_pool pool;
    pool.cancelled = cancel_flag;
    g_cancel = 0;
    std::string why;
    ASSERT_EQ(imp_pool_start(&pool, 2, false, &why), 2) << why;
    std::vector<long> tickets;
    for (int i = 0; i < 3; ++i) {
        imp_extract_job job;
        job.command = "echo $$ > '" + t.path() + "/sh" + std::to_string(i) + "'; sleep 60 & echo $! > '" +
                      t.path() + "/sl" + std::to_string(i) + "'; wait";
        job.out_path = t.path() + "/o" + std::to_string(i);
        tickets.push_back(imp_pool_submit(&pool, job));
    }
    // Both workers are busy once both commands wrote their pids.
    auto start = std::chrono::steady_clock::now();
    while ((read_or_empty(t.path() + "/sl0").empty() || read_or_empty(t.path() + "/sl1").empty()) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        usleep(10000);
    std::vector<pid_t> pids;
    for (const char *f : {"/sh0", "/sl0", "/sh1", "/sl1"})
        pids.push_back(pid_t(std::atol(read_or_empty(t.path() + f).c_str())));
    for (pid_t pid : pids)
        ASSERT_GT(pid, 0);
    g_cancel = 1;
    imp_fetch_result res;
    EXPECT_EQ(imp_pool_wait(&pool, tickets[0], &res), 1);
    imp_pool_stop(&pool);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    for (pid_t pid : pids) {
        for (int i = 0; i < 200 && process_alive(pid); ++i)
            usleep(10000);
        EXPECT_FALSE(process_alive(pid)) << pid;
    }
    EXPECT_TRUE(read_or_empty(t.path() + "/sh2").empty());   // never started
    imp_pool_stop(&pool);                                    // twice is harmless
    g_cancel = 0;
}

TEST(ExtractPool, SsafegetLeafIsCollected) {
    testutil::TempDir t;
    imp_extract_job job;
    std::string why;
    // A stand-in that writes its last argument into the current directory.
    ASSERT_EQ(imp_extract_fill("ssafeget \"$/p/a.c\" 2 \"a.c\"", "/", "", t.path() + "/w0", &job, &why), 0);
    job.command = "cd '" + job.work_dir + "' && printf v2 > a.c";
    imp_fetch_result res;
    imp_run_job(job, false, &res);
    EXPECT_EQ(res.status, 0) << res.message;
    EXPECT_EQ(testutil::read_file(t.path() + "/w0/a.c"), "v2");
}

TEST(ExtractPool, WorkerCountFromTheEnvironment) {
    std::string warning;
    setenv("VANTOR_IMPORT_JOBS", "7", 1);
    EXPECT_EQ(imp_pool_default_workers(&warning), 7);
    EXPECT_TRUE(warning.empty());
    setenv("VANTOR_IMPORT_JOBS", "0", 1);
    int n = imp_pool_default_workers(&warning);
    EXPECT_GE(n, 1);
    EXPECT_NE(warning.find("VANTOR_IMPORT_JOBS"), std::string::npos);
    unsetenv("VANTOR_IMPORT_JOBS");
}

}   // namespace
