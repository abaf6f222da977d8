// vantimport stopped by SIGINT and SIGTERM: the element in hand rolled back,
// the extract commands ended, the temporary files gone, and a second run
// that ends where an uninterrupted import would have.
#include "tests/platform/import/import_fixture.h"

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "platform/registry/vob_tag.h"
#include "platform/view/view.h"
#include "platform/store/vob_dump.h"

extern char **environ;

namespace {

// The file's contents, or "" once it is gone (a process's /proc entry).
std::string read_or_empty(const std::string &path) {
    return testutil::exists(path) ? testutil::read_file(path) : std::string();
}

// Everything written to a temporary stream, which is closed.
std::string read_stream(FILE *f) {
    std::string s;
    std::rewind(f);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

struct VantimportInterrupt : ImportFixture {
    std::string tmpdir, pids, slow, log;

    void SetUp() override {
        ImportFixture::SetUp();
        tmpdir = tmp + "/tmp";
        mkdir(tmpdir.c_str(), 0700);
        pids = tmp + "/pids";
        slow = tmp + "/slow";
        log = tmp + "/log";
    }

    // Elements e0 to e5 of two versions each. While the file `slow` exists,
    // the commands of e2 on wait long (recording the pids of their shell and
    // of its sleep) and say when they start.
    std::string data() {
        testutil::write_file(src + "/a", "alpha\n");
        testutil::write_file(src + "/b", "beta\n");
        datafile_builder b = data_head(src);
        for (int e = 0; e < 6; ++e) {
            b.marker("ELEMENT_BEGIN").str("Name", "e" + std::to_string(e)).event("ann", 10);
            for (int v = 1; v <= 2; ++v) {
                std::string cmd = "cat \"%s%c" + std::string(v == 1 ? "a" : "b") + "\" > \"%s\"";
                if (e >= 2)
                    cmd = "if [ -e '" + slow + "' ]; then echo $$ >> '" + pids +
                          "'; sleep 60 & echo $! >> '" + pids + "'; touch '" + tmp + "/started'; wait; fi; " +
                          cmd;
                b.marker("VERSION_BEGIN").str("VersionId", "1." + std::to_string(v)).event("ann", 10 + v);
                b.str("ExtractCmd", cmd).marker("VERSION_END");
            }
            b.marker("ELEMENT_END");
        }
        return b.text;
    }

    // Starts vantimport -no in dir, its output going to `log`.
    pid_t start(const std::string &dir, const std::string &datafile) {
        std::string prog = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";
        std::vector<std::string> env = {"TMPDIR=" + tmpdir, "VANTOR_IMPORT_JOBS=2", "VANTOR_HOME=" + home,
                                        "PATH=/usr/bin:/bin"};
        return testutil::spawn_logged({prog, "-no", datafile}, env, log, dir);
    }

    static int finish(pid_t pid) {
        int st = 0;
        waitpid(pid, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }

    static bool process_alive(pid_t pid) {
        std::string stat = read_or_empty("/proc/" + std::to_string(pid) + "/stat");
        size_t paren = stat.rfind(')');
        return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
    }

    int entries(const std::string &dir) {
        int n = 0;
        DIR *d = opendir(dir.c_str());
        while (dirent *e = d ? readdir(d) : nullptr)
            n += e->d_name[0] != '.';
        if (d)
            closedir(d);
        return n;
    }

    // Sends sig once the slow commands run; checks what the run says and leaves.
    void interrupt(int sig, const std::string &datafile, const std::string &counts) {
        testutil::write_file(slow, "");
        unlink((tmp + "/started").c_str());
        auto t0 = std::chrono::steady_clock::now();
        pid_t pid = start(vob_root(), datafile);
        ASSERT_GT(pid, 0);
        // Mid-way: e0 and e1 committed, e2 waiting for its contents.
        while ((access((tmp + "/started").c_str(), F_OK) != 0 || contents("e1@@/main/2") != "beta\n") &&
               std::chrono::steady_clock::now() - t0 < std::chrono::seconds(30))
            usleep(10000);
        usleep(300000);   // from e1's commit to e2's wait
        kill(pid, sig);
        EXPECT_EQ(finish(pid), 1);
        // The sleeps take a minute; ending them is what made the run end sooner.
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
        std::string out = testutil::read_file(log);
        EXPECT_NE(out.find("vantimport: Stopping: the element in hand is finished or rolled back"),
                  std::string::npos)
            << out;
        EXPECT_NE(
            out.find("vantimport: Error: Element \"e2\" was being imported; its changes were rolled back.\n"),
            std::string::npos)
            << out;
        EXPECT_NE(out.find("vantimport: Error: The import was interrupted after " + counts + " versions.\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("Run the same command again to continue where the import stopped"),
                  std::string::npos)
            << out;
        EXPECT_EQ(out.find("could not be imported"), std::string::npos) << out;
        EXPECT_EQ(entries(tmpdir), 0) << "temporary files left in " << tmpdir;
        std::string listed = testutil::read_file(pids);
        size_t b = 0;
        int n = 0;
        while (b < listed.size()) {
            size_t e = listed.find('\n', b);
            pid_t child = pid_t(std::atol(listed.substr(b, e - b).c_str()));
            b = e == std::string::npos ? listed.size() : e + 1;
            for (int i = 0; i < 200 && process_alive(child); ++i)
                usleep(10000);
            EXPECT_FALSE(process_alive(child)) << "extract command " << child << " left running";
            n++;
        }
        EXPECT_GE(n, 2);
        // The VOB: e0 and e1 whole, nothing of e2.
        EXPECT_EQ(contents("e1@@/main/2"), "beta\n");
        EXPECT_EQ(elem("e2"), 0u);
    }

    std::string dump(vob_t *v) {
        FILE *f = std::tmpfile();
        std::string err;
        EXPECT_EQ(vob_dump_json(v, f, &err), 0) << err;
        return read_stream(f);
    }
};

// The VOBs were made at different times (their root and lost+found carry it);
// the data file's times are small numbers.
std::string without_run_times(std::string json, const std::string &tag) {
    std::string out;
    size_t b = 0;
    for (size_t t; (t = json.find("\"time\":", b)) != std::string::npos;) {
        size_t e = t + 7;
        while (e < json.size() && json[e] >= '0' && json[e] <= '9')
            ++e;
        out += json.substr(b, t + 7 - b);
        std::string num = json.substr(t + 7, e - t - 7);
        out += num.size() >= 9 ? "RUN" : num;
        b = e;
    }
    out += json.substr(b);
    for (size_t p; (p = out.find("\"" + tag + "\"")) != std::string::npos;)
        out.replace(p, tag.size() + 2, "\"TAG\"");
    return out;
}

TEST_F(VantimportInterrupt, SigintRollsBackAndTheNextRunCompletes) {
    std::string df = tmp + "/d.dat";
    testutil::write_file(df, data());
    interrupt(SIGINT, df, "2 elements (2 new) and 4 new");
    if (HasFatalFailure())
        return;
    interrupt(SIGTERM, df, "2 elements (0 new) and 0 new");   // again from where it stopped
    if (HasFatalFailure())
        return;

    unlink(slow.c_str());
    pid_t pid = start(vob_root(), df);
    EXPECT_EQ(finish(pid), 0) << testutil::read_file(log);
    EXPECT_EQ(entries(tmpdir), 0);
    EXPECT_EQ(contents("e5@@/main/1"), "alpha\n");

    // The same data imported at one go into a second VOB.
    std::string dir2, err;
    ASSERT_EQ(vob_make("/u", "", 0, &dir2, &err), 0) << err;
    std::string view2 = tmp + "/view2";
    ASSERT_EQ(view_make("vu", view2, &err), 0) << err;
    view_t *view = nullptr;
    ASSERT_EQ(view_open(view2, &view, &err), 0) << err;
    ASSERT_EQ(view_add_scope(view, "/u"), 0);
    ASSERT_EQ(view_update(view, nullptr, nullptr, nullptr), 0) << view_errmsg(view);
    view_close(view);
    pid = start(view2 + "/u", df);
    EXPECT_EQ(finish(pid), 0) << testutil::read_file(log);
    vob_t *other = nullptr;
    ASSERT_EQ(vob_open(dir2, &other, &err), 0) << err;
    std::string a = without_run_times(dump(vob), "/t"), b = without_run_times(dump(other), "/u");
    vob_close(other);
    EXPECT_EQ(a, b);
    EXPECT_NE(a.find("\"e5\""), std::string::npos) << a;
}

// The library alone: a request between elements stops before the next one,
// with nothing to roll back; one made before the start stops before the first.
// Elements x and y of one version each, with the contents "a".
static datafile_builder two_elements_in(const std::string &src) {
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    for (const char *name : {"x", "y"}) {
        b.marker("ELEMENT_BEGIN").str("Name", name).event("ann", 10);
        b.marker("VERSION_BEGIN").str("VersionId", "1").event("ann", 11).str("ExtractFile", "a");
        b.marker("VERSION_END").marker("ELEMENT_END");
    }
    return b;
}

TEST_F(ImportFixture, StopRequestBetweenElements) {
    datafile_builder b = two_elements_in(src);
    imp_callbacks cb = {};
    cb.element = [](void *, const char *, vob_oid, int) {
        imp_request_stop();
        return 0;
    };
    EXPECT_EQ(run_import(b.text,
                         [&](imp_params &p) {
                             p.callbacks = &cb;
                             p.load = 1;
                         }),
              1);
    EXPECT_NE(err_text.find("The import was interrupted after 1 element (1 new) and 1 new version."),
              std::string::npos)
        << err_text;
    EXPECT_EQ(err_text.find("rolled back"), std::string::npos) << err_text;
    // The view was to be updated at the end: how to do it now.
    EXPECT_NE(err_text.find("The view at \"" + view_root + "\" was not updated: run \"vantor update " +
                            view_root + "\" to load what was imported."),
              std::string::npos)
        << err_text;
    EXPECT_NE(access((vob_root() + "/x").c_str(), F_OK), 0);
    EXPECT_EQ(contents("x@@/main/1"), "a");
    EXPECT_EQ(elem("y"), 0u);
    EXPECT_EQ(run_import(b.text), 1);   // still requested
    EXPECT_NE(err_text.find("interrupted after 0 elements"), std::string::npos) << err_text;
    EXPECT_EQ(err_text.find("was not updated"), std::string::npos) << "not to be updated\n" << err_text;
    imp_clear_stop();
    EXPECT_EQ(run_import(b.text), 0) << err_text;
    EXPECT_EQ(contents("y@@/main/1"), "a");
}

// A caller that takes grouped commits (the wizard) hears of every element of
// the commit its stop falls in: none is in the VOB without being told, and
// the import stops at that commit.
TEST_F(ImportFixture, StopRequestWithGroupedCommits) {
    datafile_builder b = two_elements_in(src);
    static std::vector<std::string> told;
    told.clear();
    imp_callbacks cb = {};
    cb.element = [](void *, const char *name, vob_oid, int) {
        told.push_back(name);
        imp_request_stop();
        return 0;
    };
    EXPECT_EQ(run_import(b.text,
                         [&](imp_params &p) {
                             p.callbacks = &cb;
                             p.group_told = 1;
                         }),
              1);
    EXPECT_EQ(told, (std::vector<std::string>{"x", "y"}));
    EXPECT_NE(err_text.find("The import was interrupted after 2 elements (2 new) and 2 new versions."),
              std::string::npos)
        << err_text;
    EXPECT_EQ(contents("y@@/main/1"), "a");
    imp_clear_stop();
}

// -debug keeps the temporary files of its run, and later runs leave them be.
TEST_F(ImportFixture, DebugKeepsTheTemporaryDirectory) {
    std::string tmpd = tmp + "/tmpd";
    mkdir(tmpd.c_str(), 0700);
    setenv("TMP", tmpd.c_str(), 1);
    testutil::write_file(src + "/a", "a");
    datafile_builder b = data_head(src);
    b.marker("ELEMENT_BEGIN").str("Name", "x").event("ann", 10);
    b.marker("VERSION_BEGIN")
        .str("VersionId", "1")
        .event("ann", 11)
        .str("ExtractCmd", "cat \"%s%ca\" > \"%s\"");
    b.marker("VERSION_END").marker("ELEMENT_END");
    int rc = run_import(b.text, [](imp_params &p) { p.debug = 1; });
    std::string said = out_text + err_text;
    size_t at = said.find("Temporary files are kept in " + tmpd + "/vantimport.");
    EXPECT_EQ(rc, 0) << said;
    ASSERT_NE(at, std::string::npos) << said;
    std::string kept = said.substr(at + 28, tmpd.size() + 18);
    EXPECT_EQ(testutil::read_file(kept + "/c0"), "a");
    b.marker("ELEMENT_BEGIN").str("Name", "y").event("ann", 10);
    b.marker("VERSION_BEGIN")
        .str("VersionId", "1")
        .event("ann", 11)
        .str("ExtractCmd", "cat \"%s%ca\" > \"%s\"");
    b.marker("VERSION_END").marker("ELEMENT_END");
    EXPECT_EQ(run_import(b.text), 0) << err_text;
    EXPECT_EQ(testutil::read_file(kept + "/c0"), "a");
    unsetenv("TMP");
}

// A run killed outright leaves its temporary directory; the next run removes
// it, and only such ones.
TEST_F(VantimportInterrupt, NextRunRemovesTheTemporaryFilesOfAKilledOne) {
    std::string df = tmp + "/d.dat";
    testutil::write_file(df, data());
    testutil::write_file(slow, "");
    pid_t pid = start(vob_root(), df);
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 3000 && access((tmp + "/started").c_str(), F_OK) != 0; ++i)
        usleep(10000);
    kill(pid, SIGKILL);
    finish(pid);
    EXPECT_EQ(entries(tmpdir), 1);
    // The shells of the killed run are in groups of their own, and one may
    // still be starting; end them all.
    usleep(300000);
    std::string listed = testutil::read_file(pids);
    for (size_t b = 0, e; b < listed.size(); b = e + 1) {
        e = listed.find('\n', b);
        pid_t child = pid_t(std::atol(listed.substr(b, e - b).c_str()));
        kill(-child, SIGKILL);
        kill(child, SIGKILL);
        if (e == std::string::npos)
            break;
    }
    // A second signal while stopping ends the run at once, with its commands;
    // its directory is left for the next run as a killed one's (unless the
    // first signal's stop was done before the second came).
    unlink((tmp + "/started").c_str());
    unlink(pids.c_str());
    testutil::write_file(slow, "");
    pid = start(vob_root(), df);
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 3000 && access((tmp + "/started").c_str(), F_OK) != 0; ++i)
        usleep(10000);
    usleep(100000);
    kill(pid, SIGINT);
    usleep(2000);
    kill(pid, SIGINT);
    EXPECT_EQ(finish(pid), 1);
    listed = testutil::read_file(pids);
    EXPECT_FALSE(listed.empty());
    for (size_t b = 0, e; b < listed.size(); b = e + 1) {
        e = listed.find('\n', b);
        pid_t child = pid_t(std::atol(listed.substr(b, e - b).c_str()));
        for (int i = 0; i < 200 && process_alive(child); ++i)
            usleep(10000);
        EXPECT_FALSE(process_alive(child)) << "extract command " << child << " left running";
        if (e == std::string::npos)
            break;
    }
    EXPECT_LE(entries(tmpdir), 1);

    // Not a killed run's: a directory kept by -debug, one of a live run
    // (locked), other names.
    for (const char *d : {"/vantimport.kept00", "/vantimport.alive0", "/other"})
        mkdir((tmpdir + d).c_str(), 0700);
    testutil::write_file(tmpdir + "/vantimport.kept00/kept", "");
    testutil::write_file(tmpdir + "/vantimport.alive0/c0", "");
    testutil::write_file(tmpdir + "/other/c0", "");
    int fd = open((tmpdir + "/vantimport.alive0").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    unlink(slow.c_str());
    pid = start(vob_root(), df);
    EXPECT_EQ(finish(pid), 0) << testutil::read_file(log);
    close(fd);
    EXPECT_EQ(entries(tmpdir), 3);
    for (const char *d : {"/vantimport.kept00/kept", "/vantimport.alive0/c0", "/other/c0"})
        EXPECT_EQ(access((tmpdir + d).c_str(), F_OK), 0) << d;
}

#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_SANITIZERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SKIP_UNDER_SANITIZERS 1
#endif
#endif

// Thread stacks as large as the address-space limit make thread starts fail
// for real; the sanitizers cannot run under such a limit.
TEST_F(VantimportInterrupt, WorkerThreadsThatCannotStart) {
#ifdef SKIP_UNDER_SANITIZERS
    GTEST_SKIP() << "address-space limits break the sanitizers";
#endif
    testutil::write_file(src + "/a", "alpha\n");
    datafile_builder b = data_head(src);
    b.marker("ELEMENT_BEGIN").str("Name", "a").event("ann", 10);
    b.marker("VERSION_BEGIN").str("VersionId", "1").event("ann", 11);
    b.str("ExtractCmd", "cat \"%s%ca\" > \"%s\"").marker("VERSION_END").marker("ELEMENT_END");
    testutil::write_file(tmp + "/d.dat", b.text);
    std::string prog = std::string(VANTOR_BUILD_DIR) + "/importers/vantimport/vantimport";
    auto run = [&](const std::string &limits, std::string *out) {
        std::string cmd = "(" + limits + " && cd '" + vob_root() + "' && TMPDIR='" + tmpdir +
                          "' VANTOR_IMPORT_JOBS=3 '" + prog + "' -no '" + tmp + "/d.dat') 2>&1";
        FILE *p = popen(cmd.c_str(), "r");
        out->clear();
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out->append(buf, n);
        int st = pclose(p);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    std::string out;
    // No thread fits: a clean failure.
    EXPECT_EQ(run("ulimit -v 1500000 && ulimit -s 2000000", &out), 1) << out;
    EXPECT_NE(out.find("vantimport: Error: The elements of \"" + tmp +
                       "/d.dat\" were not imported: cannot start worker thread 1 of 3: "),
              std::string::npos)
        << out;
    EXPECT_EQ(entries(tmpdir), 0);
    EXPECT_EQ(elem("a"), 0u);
    // Two of three fit: the import goes on with them.
    EXPECT_EQ(run("ulimit -v 2500000 && ulimit -s 1000000", &out), 0) << out;
    EXPECT_NE(out.find("vantimport: Warning: cannot start worker thread 3 of 3: "), std::string::npos) << out;
    EXPECT_NE(out.find("; going on with 2\n"), std::string::npos) << out;
    EXPECT_EQ(contents("a@@/main/1"), "alpha\n");
    EXPECT_EQ(entries(tmpdir), 0);
}

}   // namespace
