// Views under interruption and concurrent change: a killed update, records
// lost or torn, and two handles changing one view.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include "platform/view/view.h"

#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ViewRecovery : testvob::VobTest {
    vob_t *v = nullptr;
    view_t *w = nullptr;
    std::string root;
    std::vector<vob_oid> files;
    void SetUp() override {
        testvob::VobTest::SetUp();
        v = make_vob("/proj");
        ASSERT_NE(v, nullptr);
        root = home + "/view";
        std::string err;
        ASSERT_EQ(view_make("me", root, &err), VOB_OK) << err;
        ASSERT_EQ(view_open(root, &w, &err), VOB_OK) << err;
        ASSERT_EQ(view_add_scope(w, "/proj"), VOB_OK) << view_errmsg(w);
    }
    void TearDown() override {
        view_close(w);
        vob_close(v);
        testvob::VobTest::TearDown();
    }
    // n file elements f0..f(n-1) under the VOB root, each with version 1.
    void make_files(int n) {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        for (int i = 0; i < n; i++) {
            vob_oid e;
            ASSERT_EQ(vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "f" + std::to_string(i),
                                      VOB_MT_FILE_ELEM, 0, nullptr, &e),
                      VOB_OK);
            files.push_back(e);
        }
        ASSERT_EQ(t.commit(), VOB_OK);
        put_all("one");
    }
    // A new version of every file, all with the same bytes (one blob: the
    // store syncs each new blob, which would dominate the test's time).
    void put_all(const std::string &bytes) {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        for (size_t i = 0; i < files.size(); i++) {
            vob_elem_info ei;
            ASSERT_EQ(vob_elem_get(v, files[i], &ei), VOB_OK);
            ASSERT_EQ(vob_ver_create(v, ei.main_branch, vob_data_bytes(bytes), nullptr, nullptr), VOB_OK);
        }
        ASSERT_EQ(t.commit(), VOB_OK);
    }
    view_update_stats update(std::vector<std::string> *warnings) {
        view_update_stats st;
        EXPECT_EQ(view_update(w, nullptr, &st, warnings), VOB_OK) << view_errmsg(w);
        return st;
    }
    // The records of loaded.txt with the journal replayed, by path.
    std::map<std::string, std::vector<std::string>> records() {
        std::map<std::string, std::vector<std::string>> out;
        auto fields = [](const std::string &line) {
            std::vector<std::string> f;
            std::stringstream in(line);
            std::string x;
            while (std::getline(in, x, '\t'))
                f.push_back(x);
            return f;
        };
        std::stringstream base(testutil::read_file(root + "/.vantor_view/loaded.txt"));
        std::string line;
        while (std::getline(base, line)) {
            auto f = fields(line);
            out[f.back()] = f;
        }
        std::string j = root + "/.vantor_view/loaded.journal";
        std::stringstream jin(std::filesystem::exists(j) ? testutil::read_file(j) : "");
        while (std::getline(jin, line)) {
            auto f = fields(line.substr(2));
            if (line[0] == '-')
                out.erase(f.back());
            else
                out[f.back()] = f;
        }
        return out;
    }
    // Every file record names a file that is there with the recorded size and
    // mtime, and holds that version's bytes.
    void expect_records_true() {
        for (auto &[path, f] : records()) {
            ASSERT_EQ(f.size(), 7u) << path;
            struct stat st;
            ASSERT_EQ(lstat((root + "/" + path).c_str(), &st), 0) << path << " is recorded but missing";
            if (f[2] == "1")
                continue;
            EXPECT_EQ(std::to_string(st.st_size), f[3]) << path;
            EXPECT_EQ(std::to_string((int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec), f[4])
                << path;
            std::string bytes;
            ASSERT_EQ(vob_ver_read_data(v, std::stoll(f[1]), &bytes), VOB_OK);
            EXPECT_EQ(testutil::read_file(root + "/" + path), bytes) << path;
        }
    }
};

void die(void *, int64_t, int64_t) { raise(SIGKILL); }

TEST_F(ViewRecovery, AKilledUpdateLeavesRecordsThatHoldAndTheNextUpdateFinishes) {
    make_files(300);
    std::vector<std::string> warnings;
    ASSERT_EQ(update(&warnings).loaded, 300);
    put_all("two");
    // A second process runs update and is killed after 256 entries.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        view_t *c;
        std::string err;
        if (view_open(root, &c, &err) != VOB_OK)
            _exit(2);
        view_progress pr;
        pr.cb = die;
        (void)view_update(c, &pr, nullptr, nullptr);   // never returns
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_TRUE(std::filesystem::exists(root + "/.vantor_view/loaded.journal"));
    expect_records_true();
    EXPECT_EQ(testutil::read_file(root + "/proj/f0"), "two");    // some were replaced
    EXPECT_EQ(testutil::read_file(root + "/proj/f99"), "one");   // some were not reached

    view_update_stats st = update(&warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(st.kept, 0);
    EXPECT_EQ(st.loaded + st.unchanged, 300);
    for (int i : {0, 255, 256, 99})
        EXPECT_EQ(testutil::read_file(root + "/proj/f" + std::to_string(i)), "two");
    EXPECT_FALSE(std::filesystem::exists(root + "/.vantor_view/loaded.journal"));
    expect_records_true();
}

TEST_F(ViewRecovery, FilesWithoutRecordsAreTakenBackOnlyWhenTheVobHasTheirBytes) {
    make_files(3);
    std::vector<std::string> warnings;
    update(&warnings);
    put_all("two");
    // f0 holds what update would write, f1 an older version, f2 bytes of the user's.
    update(&warnings);
    std::filesystem::remove(root + "/proj/f1");
    testutil::write_file(root + "/proj/f1", "one");
    std::filesystem::remove(root + "/proj/f2");
    testutil::write_file(root + "/proj/f2", "mine");
    testutil::write_file(root + "/.vantor_view/loaded.txt", "");
    warnings.clear();
    view_update_stats st = update(&warnings);
    EXPECT_EQ(st.unchanged, 1);
    EXPECT_EQ(st.loaded, 1);
    EXPECT_EQ(st.kept, 1);
    EXPECT_EQ(testutil::read_file(root + "/proj/f1"), "two");
    EXPECT_EQ(testutil::read_file(root + "/proj/f2"), "mine");
    struct stat sb;
    ASSERT_EQ(stat((root + "/proj/f0").c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0222, 0u);   // taken back as a loaded copy
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("f2"), std::string::npos);
    expect_records_true();
}

TEST_F(ViewRecovery, TornJournalLineIsIgnoredAndAMalformedOneRefused) {
    make_files(2);
    std::vector<std::string> warnings;
    update(&warnings);
    std::string j = root + "/.vantor_view/loaded.journal";
    testutil::write_file(j, "-\tproj/f0\n+\t12\t3");   // killed while writing the second line
    put_all("two");
    view_update_stats st = update(&warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(st.loaded, 2);
    EXPECT_EQ(testutil::read_file(root + "/proj/f0"), "two");
    testutil::write_file(j, "?\tproj/f0\n");
    EXPECT_EQ(view_update(w, nullptr, nullptr, nullptr), VOB_CORRUPT);
    EXPECT_NE(view_errmsg(w).find("loaded.journal"), std::string::npos) << view_errmsg(w);
}

TEST_F(ViewRecovery, TwoHandlesOnOneViewKeepEachOthersChanges) {
    make_files(1);
    std::string err;
    view_t *w2;
    ASSERT_EQ(view_open(root, &w2, &err), VOB_OK) << err;
    vob_t *other = make_vob("/other");
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(view_add_scope(w2, "/other"), VOB_OK) << view_errmsg(w2);
    // w saw the old view.json; its change must not drop /other.
    ASSERT_EQ(view_set_config_spec(w, "element * /main/LATEST\n"), VOB_OK) << view_errmsg(w);
    view_t *w3;
    ASSERT_EQ(view_open(root, &w3, &err), VOB_OK) << err;
    EXPECT_EQ(view_get_scopes(w3), (std::vector<std::string>{"/other", "/proj"}));
    std::string cs;
    ASSERT_EQ(view_get_config_spec(w3, &cs), VOB_OK);
    EXPECT_EQ(cs, "element * /main/LATEST\n");
    view_close(w3);

    std::vector<std::string> warnings;
    update(&warnings);
    // w2 checks a file in; w's records are then stale, and its update must
    // know the new copy rather than call it hijacked.
    ASSERT_EQ(view_set_config_spec(w2, view_default_config_spec()), VOB_OK);
    ASSERT_EQ(view_checkout(w2, root + "/proj/f0", 1, ""), VOB_OK) << view_errmsg(w2);
    testutil::write_file(root + "/proj/f0", "edited");
    ASSERT_EQ(view_checkin(w2, root + "/proj/f0", "", "", nullptr), VOB_OK) << view_errmsg(w2);
    view_update_stats st = update(&warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(st.unchanged, 1);
    EXPECT_EQ(testutil::read_file(root + "/proj/f0"), "edited");
    view_close(w2);
    vob_close(other);
}

int pipe_out = -1;
void signal_and_linger(void *, int64_t, int64_t total) {
    if (total < 0 && write(pipe_out, "x", 1) == 1)
        usleep(300 * 1000);
}

TEST_F(ViewRecovery, ElementWorkWaitsForAnUpdateOfAnotherProcess) {
    make_files(300);
    std::vector<std::string> warnings;
    update(&warnings);
    ASSERT_EQ(view_checkout(w, root + "/proj/f0", 1, ""), VOB_OK) << view_errmsg(w);
    testutil::write_file(root + "/proj/f0", "edited");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        view_t *c;
        std::string err;
        if (view_open(root, &c, &err) != VOB_OK)
            _exit(2);
        pipe_out = fds[1];
        view_progress pr;
        pr.cb = signal_and_linger;
        _exit(view_update(c, &pr, nullptr, nullptr) == VOB_OK ? 0 : 3);
    }
    close(fds[1]);
    char x;
    ASSERT_EQ(read(fds[0], &x, 1), 1);   // the other update is halfway
    close(fds[0]);
    ASSERT_EQ(view_checkin(w, root + "/proj/f0", "", "", nullptr), VOB_OK) << view_errmsg(w);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    expect_records_true();
    view_update_stats st = update(&warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(st.unchanged, 300);
    EXPECT_EQ(testutil::read_file(root + "/proj/f0"), "edited");
}

// The figures update reports: with with_total the entries it will visit,
// counted beforehand (files in subdirectories too), never -1; without it -1
// halfway. Each ends with done == total.
std::vector<std::pair<int64_t, int64_t>> *calls = nullptr;
void record_call(void *, int64_t done, int64_t total) { calls->push_back({done, total}); }

TEST_F(ViewRecovery, UpdateProgressKnowsItsTotal) {
    make_files(300);
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        vob_oid d, e;
        ASSERT_EQ(vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "sub", VOB_MT_DIR_ELEM, 0, nullptr, &d),
                  VOB_OK);
        for (const char *name : {"x", "y"})
            ASSERT_EQ(vob_elem_create(v, d, name, VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_OK);
        ASSERT_EQ(t.commit(), VOB_OK);
    }
    std::vector<std::pair<int64_t, int64_t>> seen;
    calls = &seen;
    for (int with_total : {1, 0}) {
        SCOPED_TRACE(with_total);
        seen.clear();
        view_progress pr;
        pr.cb = record_call;
        pr.with_total = with_total;
        ASSERT_EQ(view_update(w, &pr, nullptr, nullptr), VOB_OK) << view_errmsg(w);
        ASSERT_GE(seen.size(), 2u);
        int64_t walked = seen.back().first;   // the VOB root holds an entry of its own too
        EXPECT_GE(walked, 303);
        EXPECT_EQ(seen.back().second, walked);
        EXPECT_EQ(seen.front(), std::make_pair(int64_t(256), with_total ? walked : int64_t(-1)));
    }
    calls = nullptr;
}

}   // namespace
