// The import's temporary directory against the sweep of other runs: a sweep
// hammering from another process never takes a live run's directory, and
// still removes what killed runs left.
#include "platform/import/imp_run.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A run takes its directory's lock with a blocking flock; the sweep never
// blocks. While armed, each blocking flock first lets a sweep run here (as
// another run's could at that moment) or pauses, so that the sweeper
// process below meets runs at that moment often.
std::atomic<int> sweeps_at_lock{0};
std::atomic<int> pause_at_lock_us{0};
std::atomic<bool> age_staged{false};   // and makes staging directories look an hour old first
std::string sweep_parent;

int make_an_hour_old(const std::string &path) {
    const timespec ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    return utimensat(AT_FDCWD, path.c_str(), ago, 0);
}

void age_staging_dirs() {
    for (auto &e : std::filesystem::directory_iterator(sweep_parent))
        if (e.path().filename().string().rfind("vantimport-new.", 0) == 0)
            (void)make_an_hour_old(e.path());
}

}   // namespace

extern "C" int flock(int fd, int op) {
    using flock_fn = int (*)(int, int);
    static flock_fn real = reinterpret_cast<flock_fn>(dlsym(RTLD_NEXT, "flock"));
    if (op == LOCK_EX) {
        if (sweeps_at_lock > 0) {
            sweeps_at_lock--;
            if (age_staged)
                age_staging_dirs();
            imp_sweep_tmp_dirs(sweep_parent);
        }
        if (pause_at_lock_us > 0)
            usleep(useconds_t(pause_at_lock_us.load()));
    }
    return real(fd, op);
}

namespace {

struct TmpDirRace : ::testing::Test {
    std::string parent;
    std::string saved_tmp;
    bool had_tmp = false;
    void SetUp() override {
        char t[] = "/tmp/vantor-tmpdir-test.XXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        parent = t;
        if (const char *e = getenv("TMP")) {
            had_tmp = true;
            saved_tmp = e;
        }
        setenv("TMP", parent.c_str(), 1);
        sweep_parent = parent;
    }
    void TearDown() override {
        sweeps_at_lock = 0;
        pause_at_lock_us = 0;
        age_staged = false;
        if (had_tmp)
            setenv("TMP", saved_tmp.c_str(), 1);
        else
            unsetenv("TMP");
        std::error_code ec;
        fs::remove_all(parent, ec);
    }
    // Sweeps parent again and again in a child process until the returned
    // pipe's write end is closed (or 10 s pass).
    pid_t start_sweeper(int *stop_fd) {
        int p[2];
        if (pipe(p) != 0)
            return -1;
        pid_t pid = fork();
        if (pid == 0) {
            close(p[1]);
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            pollfd pf{p[0], POLLIN, 0};
            while (poll(&pf, 1, 0) == 0 && std::chrono::steady_clock::now() < end)
                imp_sweep_tmp_dirs(parent);
            _exit(0);
        }
        close(p[0]);
        *stop_fd = p[1];
        return pid;
    }
};

struct live_run {
    imp_params p;
    imp_run run;
    std::string file;
};

TEST_F(TmpDirRace, ASweepTakesOnlyWhatKilledRunsLeft) {
    // What killed runs left: a run's directory (unlocked, with contents), a
    // half-made one still under its staging name, and one that -debug keeps.
    const std::string stale = parent + "/vantimport.Stale1", staged = parent + "/vantimport-new.Stale2",
                      kept = parent + "/vantimport.Kept01", other = parent + "/vantimport-other";
    for (const std::string &d : {stale, staged, kept})
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    testutil::write_file(stale + "/c0", "x");
    testutil::write_file(kept + "/kept", "");
    testutil::write_file(other, "a file, not a directory");
    // A staging directory that a live maker holds locked stays.
    const std::string making = parent + "/vantimport-new.Live01";
    ASSERT_EQ(mkdir(making.c_str(), 0700), 0);
    int making_fd = open(making.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(making_fd, 0);
    ASSERT_EQ(flock(making_fd, LOCK_EX), 0);
    // Staging directories are taken as left behind only once a minute old.
    ASSERT_EQ(make_an_hour_old(staged) | make_an_hour_old(making), 0);

    // A sweep at the moment each of four runs takes its lock; for the last
    // two the run looks stopped for an hour there, so the sweep takes its
    // half-made directory, once and twice: it makes another.
    for (int i = 0; i < 4; i++) {
        live_run r;
        r.run.p = &r.p;
        sweeps_at_lock = i < 2 ? 1 : i - 1;
        age_staged = i >= 2;
        int e = imp_make_tmp_dir(&r.run);
        ASSERT_EQ(e, 0) << strerror(e);
        EXPECT_EQ(sweeps_at_lock, 0);
        age_staged = false;
        testutil::write_file(r.run.tmp_dir + "/c0", "x");
        imp_sweep_tmp_dirs(parent);
        EXPECT_TRUE(testutil::exists(r.run.tmp_dir + "/c0")) << r.run.tmp_dir;
    }

    const std::string young = parent + "/vantimport-new.Young1";
    ASSERT_EQ(mkdir(young.c_str(), 0700), 0);
    int stop = -1;
    pid_t sweeper = start_sweeper(&stop);
    ASSERT_GT(sweeper, 0);
    pause_at_lock_us = 200;
    // Runs start while the sweep goes on, a few of them alive at a time;
    // each writes into its directory and finds it whole when it ends.
    std::deque<std::unique_ptr<live_run>> alive;
    int made = 0, lost = 0;
    auto finish = [&](live_run &r) {
        if (!testutil::exists(r.file) || testutil::read_file(r.file) != r.run.tmp_dir)
            lost++;
    };
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (std::chrono::steady_clock::now() < until && made < 4000) {
        auto r = std::make_unique<live_run>();
        r->run.p = &r->p;
        int e = imp_make_tmp_dir(&r->run);
        ASSERT_EQ(e, 0) << strerror(e);
        made++;
        ASSERT_EQ(r->run.tmp_dir.rfind(parent + "/vantimport.", 0), 0u) << r->run.tmp_dir;
        r->file = r->run.tmp_dir + "/c0";
        FILE *f = fopen(r->file.c_str(), "w");
        if (!f) {
            lost++;
            continue;
        }
        fputs(r->run.tmp_dir.c_str(), f);
        fclose(f);
        alive.push_back(std::move(r));
        if (alive.size() > 4) {
            finish(*alive.front());
            alive.pop_front();
        }
    }
    for (auto &r : alive)
        finish(*r);
    pause_at_lock_us = 0;
    close(stop);
    int status = 0;
    ASSERT_EQ(waitpid(sweeper, &status, 0), sweeper);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(lost, 0) << "of " << made << " runs";
    EXPECT_GT(made, 20);

    alive.clear();   // each run removes its own directory
    EXPECT_TRUE(fs::exists(making));
    close(making_fd);
    imp_sweep_tmp_dirs(parent);
    EXPECT_FALSE(fs::exists(making));   // once its maker is gone
    std::vector<std::string> left;
    for (auto &e : fs::directory_iterator(parent))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{"vantimport-new.Young1", "vantimport-other", "vantimport.Kept01"}));
}

}   // namespace
