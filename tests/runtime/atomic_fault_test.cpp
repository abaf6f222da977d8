// The atomic writer under I/O faults (through the fault layer): every failed
// call is reported, every cut leaves the old or the whole new contents, a
// committed replacement survives a cut; and the umask is never touched.
#include "runtime/atomic_file.h"
#include "runtime/iofault.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace {

struct AtomicFault : ::testing::Test {
    testutil::TempDir t;
    std::string dir, dest;
    void SetUp() override {
        dir = t / "d";
        std::filesystem::create_directories(dir);
        dest = dir + "/f";
    }
    void TearDown() override { iof_stop(); }
    // A fresh destination holding "old contents"; the layer armed.
    void arm() {
        iof_stop();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        testutil::write_file(dest, "old contents");
        iof_start(t / "hold");
    }
};

TEST_F(AtomicFault, EveryFailedCallIsReportedAndLeavesOldOrNew) {
    arm();
    ASSERT_EQ(fileutl_write_atomic(dest, "new contents"), 0);
    long calls[IOF_KINDS];
    for (int k = 0; k < IOF_KINDS; k++)
        calls[k] = iof_calls(iof_kind(k));
    EXPECT_EQ(calls[IOF_RENAME], 1);
    EXPECT_EQ(calls[IOF_SYNC], 2);   // the file, then its directory
    int cases = 0;
    for (iof_kind kind : {IOF_OPEN, IOF_WRITE, IOF_SYNC, IOF_RENAME})
        for (int err : {EIO, ENOSPC})
            for (long n = 1; n <= calls[kind]; n++) {
                arm();
                iof_fail_nth(kind, n, err);
                int rc = fileutl_write_atomic(dest, "new contents");
                std::string where = "kind " + std::to_string(kind) + " call " + std::to_string(n);
                EXPECT_EQ(rc, err) << where;
                std::string now = testutil::read_file(dest);
                // Only the directory's open and sync come after the rename.
                bool after_rename = (kind == IOF_SYNC || kind == IOF_OPEN) && n == 2;
                EXPECT_EQ(now, after_rename ? "new contents" : "old contents") << where;
                EXPECT_EQ(testutil::count_entries(dir), 1u) << where << ": a temporary file was left";
                cases++;
            }
    EXPECT_EQ(cases, 2 * (2 + 1 + 2 + 1));
}

TEST_F(AtomicFault, CutAtEveryCallLeavesOldOrWholeNew) {
    arm();
    ASSERT_EQ(fileutl_write_atomic(dest, "new contents"), 0);
    long total = iof_calls();
    for (bool drop_syncs : {false, true})
        for (long n = 1; n <= total + 1; n++) {
            arm();
            if (drop_syncs) {
                iof_fail_nth(IOF_SYNC, 1, 0);
                iof_fail_nth(IOF_SYNC, 2, 0);
            }
            iof_cut_at(n);
            int rc = fileutl_write_atomic(dest, "new contents");
            if (!iof_cut_done())
                iof_cut_now();
            iof_stop();
            std::string now = testutil::read_file(dest);
            std::string where =
                std::string(drop_syncs ? "syncs dropped, " : "") + "cut at " + std::to_string(n);
            if (rc == 0 && !drop_syncs)
                EXPECT_EQ(now, "new contents") << where << ": a committed replacement was lost";
            else if (drop_syncs)   // a disk that lies may lose the new bytes, never keep half of them
                EXPECT_TRUE(now == "old contents" || now == "new contents" || now.empty())
                    << where << ": " << now;
            else
                EXPECT_TRUE(now == "old contents" || now == "new contents") << where << ": " << now;
        }
}

TEST(AtomicUmask, ReadOnceAndNeverChanged) {
    mode_t mask = atomic_file_umask();
    mode_t now = umask(mask);
    umask(now);
    EXPECT_EQ(now, mask);
    testutil::TempDir t;
    // While files are replaced on one thread, another never sees the umask change.
    std::atomic<bool> stop{false}, changed{false};
    std::thread watcher([&] {
        while (!stop) {
            FILE *f = fopen("/proc/self/status", "re");
            if (!f)
                return;
            char line[256];
            unsigned m = 0;
            while (fgets(line, sizeof line, f))
                if (sscanf(line, "Umask: %o", &m) == 1 && mode_t(m) != mask)
                    changed = true;
            fclose(f);
        }
    });
    for (int i = 0; i < 10000; i++) {   // opened and dropped: no sync, so many are cheap
        atomic_file f;
        ASSERT_EQ(f.open(t / "f"), 0);
    }
    ASSERT_EQ(fileutl_write_atomic(t / "f", "x"), 0);
    stop = true;
    watcher.join();
    EXPECT_FALSE(changed);
    struct stat st;
    ASSERT_EQ(stat((t / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

}   // namespace
