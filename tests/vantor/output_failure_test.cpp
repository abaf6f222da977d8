// Every program, and every vantor command that prints, fails when what it
// printed could not be written: standard output on a full device or closed,
// standard error on a full device. A command that printed nothing there
// still succeeds; a run that failed keeps its own status; a reader that has
// gone ends the program silently by SIGPIPE, an export without its
// temporary files.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/strutl.h"
#include "tests/common/testvob.h"

extern char **environ;

namespace {

std::string bin(const std::string &rel) {
    return strutl_sh_squote(std::string(VANTOR_BUILD_DIR) + "/" + rel);
}

struct OutputFailure : testvob::ViewTest {
    std::string src, data, tmpdir;

    void SetUp() override {
        testvob::ViewTest::SetUp();
        src = tmp + "/src";
        data = tmp + "/d.dat";
        tmpdir = tmp + "/tmpdir";
        testutil::make_dirs(src);
        testutil::make_dirs(tmpdir);
        testutil::write_file(src + "/f", "flat\n");
        testutil::write_file(vob_root() + "/a", "one\n");
        ASSERT_EQ(testvob::run_vantor("mkelem -ci a", nullptr, nullptr, vob_root()), 0);
        ASSERT_EQ(
            sh("cd " + q(src) + " && " + bin("drivers/ffile/vantexport_ffile") + " -o " + q(data), nullptr),
            0);
    }

    static std::string q(const std::string &s) { return strutl_sh_squote(s); }

    int sh(const std::string &cmd, std::string *err) {
        std::string out, e;
        int rc = testutil::shell("TMP=" + q(tmpdir) + " " + cmd, &out, &e);
        if (err)
            *err = e;
        return rc;
    }

    int temporary_files() {
        int n = 0;
        DIR *d = opendir(tmpdir.c_str());
        while (dirent *e = d ? readdir(d) : nullptr)
            n += e->d_name[0] != '.';
        if (d)
            closedir(d);
        return n;
    }
};

TEST_F(OutputFailure, EveryProgramFailsWhenItsOutputIsLost) {
    const std::string vantor = bin("platform/vantor/vantor");
    const std::string export_run = "cd " + q(src) + " && rm -f " + q(tmp + "/e.dat") + " && " +
                                   bin("drivers/ffile/vantexport_ffile") + " -o " + q(tmp + "/e.dat");
    struct row {
        std::string cmd;   // run in the VOB's directory of the view
        std::string redirect;
        int status;
        std::string says;   // on standard error, "" for nothing asked
    };
    const std::string full = "write the standard output: No space left on device";
    const std::string export_full = "Write failure on standard output: No space left on device";
    const std::string plain_full = "write failure on standard output: No space left on device";
    const row rows[] = {
        {vantor + " lsvtree a", ">/dev/full", 1, "vantor: Error: lsvtree: cannot " + full},
        {vantor + " describe a", ">/dev/full", 1, "describe: cannot " + full},
        {vantor + " cat a@@/main/1", ">/dev/full", 1, "cat: cannot " + full},
        {vantor + " catcs", ">/dev/full", 1, "catcs: cannot " + full},
        {vantor + " lsvob", ">/dev/full", 1, "lsvob: cannot " + full},
        {vantor + " dump -json /t", ">/dev/full", 1, "dump: cannot " + full},
        {vantor + " diff . " + q(src), ">/dev/full", 2, "diff: cannot " + full},
        {vantor + " help", ">/dev/full", 1, "vantor: Error: cannot " + full},
        {vantor + " -Ver", ">/dev/full", 1, "vantor: Error: cannot " + full},
        {vantor + " nosuchcommand", ">/dev/full", 1, "Unknown command"},   // its own failure first
        {vantor + " lsvtree a", ">&-", 1, "lsvtree: cannot write the standard output: Bad file descriptor"},
        {vantor + " mklbtype QUIET", ">/dev/full", 0, ""},   // prints nothing
        {vantor + " mklbtype QUIET2", ">&-", 0, ""},
        {vantor + " describe a", ">/dev/null 2>/dev/full", 0, ""},
        {vantor + " describe nosuch", "2>/dev/full", 1, ""},
        {bin("importers/vantimport/vantimport") + " -h", ">/dev/full", 1, "vantimport: Error: " + plain_full},
        {bin("importers/vantimport/vantimport") + " -Ver", ">/dev/full", 1, plain_full},
        {bin("importers/vantimport/vantimport") + " " + q(data), ">/dev/full", 1, plain_full},
        {bin("importers/vantfsimport/vantfsimport") + " -h", ">/dev/full", 1,
         "vantfsimport: Error: " + plain_full},
        {bin("importers/vantfsimport/vantfsimport") + " -r " + q(src) + " .", ">/dev/full", 1, plain_full},
        {bin("drivers/ffile/vantexport_ffile") + " -h", ">/dev/full", 1,
         "vantexport_ffile: Error: " + export_full},
        {bin("drivers/rcs/vantexport_rcs") + " -h", ">/dev/full", 1, "vantexport_rcs: Error: " + export_full},
        {bin("drivers/rcs/vantexport_cvs") + " -h", ">/dev/full", 1, "vantexport_cvs: Error: " + export_full},
        {bin("drivers/rcs/vantexport_si") + " -h", ">/dev/full", 1, "vantexport_si: Error: " + export_full},
        {bin("drivers/pvcs/vantexport_pvcs") + " -h", ">/dev/full", 1, export_full},
        {bin("drivers/ssafe/vantexport_ssafe") + " -h", ">/dev/full", 1, export_full},
        {bin("drivers/vantor/vantexport_vantor") + " -h", ">/dev/full", 1, export_full},
        {bin("drivers/vantor/vantexport_vantor") + " -Ver", ">/dev/full", 1, export_full},
        {bin("drivers/rcs/vantexport_rcs") + " -Ver", ">/dev/full", 1, export_full},
        {bin("drivers/ffile/vantexport_ffile") + " -U", ">/dev/full", 1, ""},   // the usage's own status
        {export_run, ">/dev/full", 1, "vantexport_ffile: Error: " + export_full},
        {export_run, "2>/dev/full", 1, ""},   // its report is lost
        {export_run, ">/dev/null", 0, ""},
    };
    for (const row &r : rows) {
        std::string err;
        int rc = sh("cd " + q(vob_root()) + " && (" + r.cmd + ") " + r.redirect, &err);
        EXPECT_EQ(rc, r.status) << r.cmd << " " << r.redirect << "\n" << err;
        if (!r.says.empty()) {
            EXPECT_NE(err.find(r.says), std::string::npos) << r.cmd << " " << r.redirect << "\n" << err;
        }
        EXPECT_EQ(testutil::count(err, "standard output"),
                  r.says.find("standard output") != std::string::npos)
            << "one message: " << r.cmd << " " << r.redirect << "\n"
            << err;
        if (r.cmd == export_run) {
            // A run whose report was lost leaves the data file as a failed run does.
            std::string written = testutil::read_file(tmp + "/e.dat");
            EXPECT_EQ(written.empty(), r.status != 0) << r.redirect;
        }
    }
    EXPECT_EQ(temporary_files(), 0);
}

// Standard output a pipe whose reader has gone, with SIGPIPE ignored (as
// some callers start programs): the write fails with EPIPE, and the program
// ends silently by SIGPIPE, as it does when the signal is not ignored.
TEST_F(OutputFailure, AReaderThatHasGoneEndsTheProgramBySigpipe) {
    struct row {
        std::vector<std::string> argv;
        std::string cwd;
    };
    std::string b = VANTOR_BUILD_DIR;
    std::string out_data = tmp + "/p.dat";
    const row rows[] = {
        {{b + "/platform/vantor/vantor", "dump", "-json", "/t"}, vob_root()},
        {{b + "/platform/vantor/vantor", "help"}, vob_root()},
        {{b + "/drivers/ffile/vantexport_ffile", "-o", out_data}, src},
    };
    for (bool ignored : {true, false}) {
        for (const row &r : rows) {
            SCOPED_TRACE(r.argv[0] + (ignored ? " SIGPIPE ignored" : " SIGPIPE default"));
            unlink(out_data.c_str());
            int fds[2];
            ASSERT_EQ(pipe(fds), 0);
            close(fds[0]);
            std::string errlog = tmp + "/err";
            std::string tmpenv = "TMP=" + tmpdir, home_env = "VANTOR_HOME=" + home;
            std::vector<char *> envp = {tmpenv.data(), home_env.data(), nullptr};
            std::vector<std::string> args = r.argv;
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t fa;
            posix_spawn_file_actions_init(&fa);
            posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
            posix_spawn_file_actions_addopen(&fa, 2, errlog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_addchdir_np(&fa, r.cwd.c_str());
            posix_spawnattr_t attr;
            posix_spawnattr_init(&attr);
            sigset_t dflt;
            sigemptyset(&dflt);
            sigaddset(&dflt, SIGPIPE);
            posix_spawnattr_setsigdefault(&attr, &dflt);
            posix_spawnattr_setflags(&attr, ignored ? 0 : POSIX_SPAWN_SETSIGDEF);
            void (*before)(int) = signal(SIGPIPE, SIG_IGN);
            pid_t pid = -1;
            int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), envp.data());
            signal(SIGPIPE, before);
            posix_spawnattr_destroy(&attr);
            posix_spawn_file_actions_destroy(&fa);
            close(fds[1]);
            ASSERT_EQ(rc, 0);
            int st = 0;
            waitpid(pid, &st, 0);
            EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGPIPE) << st;
            std::string err = testutil::read_file(errlog);
            EXPECT_EQ(err.find("standard output"), std::string::npos) << err;
            EXPECT_EQ(temporary_files(), 0);
            if (testutil::exists(out_data)) {
                EXPECT_EQ(testutil::read_file(out_data), "");
            }
        }
    }
}

}   // namespace
