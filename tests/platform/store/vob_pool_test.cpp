// The content pool on its own: pending blobs, flush, discard, trash, and the
// errno values and texts it reports.
#include "platform/store/vob_pool.h"
#include "runtime/digest.h"
#include "runtime/iofault.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Pool : testvob::VobTest {
    vob_pool p;
    void SetUp() override {
        testvob::VobTest::SetUp();
        p.dir = tmp + "/pool";
        fs::create_directories(p.dir + "/tmp");
    }
    void TearDown() override {
        vob_pool_close(&p);
        testvob::VobTest::TearDown();
    }
    size_t tmp_files() {
        return size_t(std::distance(fs::directory_iterator(p.dir + "/tmp"), fs::directory_iterator()));
    }
};

TEST_F(Pool, PutFlushDiscard) {
    vob_pool_error e;
    std::string a, a2, b;
    ASSERT_EQ(vob_pool_put(&p, "alpha", &a, &e), 0) << e.text;
    ASSERT_EQ(vob_pool_put(&p, "alpha", &a2, &e), 0);   // same bytes: one blob
    EXPECT_EQ(a, a2);
    std::string hex;
    ASSERT_EQ(digest_sha256_hex("alpha", &hex), 0);
    EXPECT_EQ(a, hex);
    EXPECT_EQ(p.pending.size(), 1u);
    EXPECT_FALSE(fs::exists(vob_pool_path(p, a)));   // not in place before the flush
    ASSERT_EQ(vob_pool_flush(&p, &e), 0) << e.file << ": " << e.text;
    EXPECT_EQ(testutil::read_file(vob_pool_path(p, a)), "alpha");
    EXPECT_EQ(tmp_files(), 0u);
    struct stat st;
    ASSERT_EQ(stat(vob_pool_path(p, a).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    // Known blobs are not written again; discarded ones leave nothing.
    ASSERT_EQ(vob_pool_put(&p, "alpha", &a2, &e), 0);
    EXPECT_TRUE(p.pending.empty());
    ASSERT_EQ(vob_pool_put(&p, "beta", &b, &e), 0);
    EXPECT_EQ(tmp_files(), 1u);
    vob_pool_discard(&p);
    EXPECT_EQ(tmp_files(), 0u);
    EXPECT_FALSE(fs::exists(vob_pool_path(p, b)));
}

TEST_F(Pool, ManyBlobsInOneFlush) {
    vob_pool_error e;
    std::vector<std::string> shas;
    for (int i = 0; i < 70; i++) {   // past the open-descriptor limit and the syncfs threshold
        std::string sha;
        ASSERT_EQ(vob_pool_put(&p, "blob " + std::to_string(i), &sha, &e), 0) << e.text;
        shas.push_back(sha);
    }
    ASSERT_EQ(vob_pool_flush(&p, &e), 0) << e.file << ": " << e.text;
    for (int i = 0; i < 70; i++)
        EXPECT_EQ(testutil::read_file(vob_pool_path(p, shas[i])), "blob " + std::to_string(i));
    EXPECT_EQ(tmp_files(), 0u);
}

TEST_F(Pool, DiscardSinceAMarkKeepsOlderBlobs) {
    vob_pool_error e;
    std::string old, again, young, last;
    ASSERT_EQ(vob_pool_put(&p, "old", &old, &e), 0);
    uint64_t mark = vob_pool_mark(p);
    ASSERT_EQ(vob_pool_put(&p, "old", &again, &e), 0);   // pending before the mark: stays
    for (int i = 0; i < 70; i++)   // past the open-descriptor limit: some closed, some open
        ASSERT_EQ(vob_pool_put(&p, "young " + std::to_string(i), &young, &e), 0);
    vob_pool_discard_since(&p, mark);
    EXPECT_EQ(p.pending.size(), 1u);
    EXPECT_EQ(tmp_files(), 1u);
    EXPECT_EQ(p.pending_open, 0u);   // the old one was closed at the limit
    // The same bytes again are a new pending blob, and the flush takes both.
    ASSERT_EQ(vob_pool_put(&p, "young 69", &last, &e), 0);
    EXPECT_EQ(last, young);
    vob_pool_discard_since(&p, vob_pool_mark(p));   // nothing after it
    ASSERT_EQ(vob_pool_flush(&p, &e), 0) << e.file << ": " << e.text;
    EXPECT_EQ(testutil::read_file(vob_pool_path(p, old)), "old");
    EXPECT_EQ(testutil::read_file(vob_pool_path(p, young)), "young 69");
    EXPECT_EQ(tmp_files(), 0u);
}

TEST_F(Pool, PutFileAndItsFailures) {
    vob_pool_error e;
    std::string src = tmp + "/src", sha;
    std::string bytes(200000, 'x');
    bytes += "end";
    testutil::write_file(src, bytes);
    int64_t size = 0;
    ASSERT_EQ(vob_pool_put_file(&p, src, &sha, &size, &e), 0) << e.text;
    EXPECT_EQ(size, int64_t(bytes.size()));
    std::string hex;
    ASSERT_EQ(digest_sha256_hex(bytes, &hex), 0);
    EXPECT_EQ(sha, hex);

    EXPECT_EQ(vob_pool_put_file(&p, tmp + "/missing", &sha, &size, &e), ENOENT);
    EXPECT_EQ(e.source, 1);
    EXPECT_EQ(e.file, tmp + "/missing");
    EXPECT_EQ(e.text, strerror(ENOENT));
    EXPECT_EQ(vob_pool_put_file(&p, tmp, &sha, &size, &e), EISDIR);
    EXPECT_EQ(e.source, 1);

    // A pool that cannot be written names the pool's file, not the source.
    vob_pool bad;
    bad.dir = tmp + "/no/such/pool";
    EXPECT_EQ(vob_pool_put(&bad, "x", &sha, &e), ENOENT);
    EXPECT_EQ(e.source, 0);
    EXPECT_NE(e.file.find("/no/such/pool/tmp"), std::string::npos) << e.file;
}

TEST_F(Pool, TrashRestoredOrDeleted) {
    vob_pool_error e;
    std::string a, b, pend;
    ASSERT_EQ(vob_pool_put(&p, "a", &a, &e), 0);
    ASSERT_EQ(vob_pool_put(&p, "b", &b, &e), 0);
    ASSERT_EQ(vob_pool_flush(&p, &e), 0);
    ASSERT_EQ(vob_pool_put(&p, "pending", &pend, &e), 0);
    // A failed commit puts the blobs back.
    ASSERT_EQ(vob_pool_trash(&p, {a, pend, "0000missing"}, &e), 0);
    EXPECT_FALSE(fs::exists(vob_pool_path(p, a)));
    EXPECT_EQ(p.trashed, std::vector<std::string>{a});   // the pending and the missing one stay out
    vob_pool_trash_done(&p, 0);
    EXPECT_EQ(testutil::read_file(vob_pool_path(p, a)), "a");
    // A commit deletes them.
    ASSERT_EQ(vob_pool_trash(&p, {a, b}, &e), 0);
    vob_pool_trash_done(&p, 1);
    EXPECT_FALSE(fs::exists(vob_pool_path(p, a)));
    EXPECT_FALSE(fs::exists(vob_pool_path(p, b)));
    EXPECT_TRUE(fs::is_empty(p.dir + "/trash"));
    EXPECT_TRUE(p.trashed.empty());
}

// Whatever a power cut during a flush leaves (names kept, unsynced data
// zeroed: the worst a journaling file system does), a blob under its final
// name holds the bytes its name says.
TEST_F(Pool, CutDuringAFlushLeavesNoDamagedBlobInPlace) {
    for (int blobs : {1, 4})
        for (long n = 1;; n++) {
            vob_pool q;
            q.dir = tmp + "/cut" + std::to_string(blobs) + "." + std::to_string(n);
            fs::create_directories(q.dir + "/tmp");
            vob_pool_error e;
            std::vector<std::string> shas(static_cast<size_t>(blobs));
            for (int i = 0; i < blobs; i++)
                ASSERT_EQ(vob_pool_put(&q, "blob " + std::to_string(i) + std::string(size_t(i) * 100, 'x'),
                                       &shas[size_t(i)], &e),
                          0);
            iof_start(tmp + "/hold");
            iof_cut_at(n, iof_cut_mode(IOF_CUT_ZERO | IOF_CUT_KEEP_NAMES));
            int rc = vob_pool_flush(&q, &e);
            bool cut = iof_cut_done();
            vob_pool_close(&q);
            iof_stop();
            for (const std::string &sha : shas) {
                std::string path = vob_pool_path(q, sha), hex;
                if (!fs::exists(path))
                    continue;
                ASSERT_EQ(digest_sha256_hex(testutil::read_file(path), &hex), 0);
                EXPECT_EQ(hex, sha) << blobs << " blobs, cut at call " << n;
            }
            if (!cut) {   // past the flush's last call
                EXPECT_EQ(rc, 0) << e.text;
                break;
            }
        }
}

// A blob found in place is trusted only when whole: a wrong size always
// sends it back to be written, wrong bytes of the right size after an
// unclean end (a marker nobody holds), not while its writer lives.
TEST_F(Pool, DamagedBlobInPlaceIsWrittenAgain) {
    struct row {
        const char *what;
        std::string in_place;   // what sits at the blob's final name
        int marker;             // 0 none, 1 stale, 2 held by a live handle
        bool rewritten;
    };
    const std::string good = "the right bytes";
    const std::vector<row> table = {
        {"short", "the right", 0, true},
        {"empty", "", 0, true},
        {"longer", good + "!", 0, true},
        {"zeroed after an unclean end", std::string(good.size(), '\0'), 1, true},
        {"zeroed while its writer lives", std::string(good.size(), '\0'), 2, false},
        {"whole after an unclean end", good, 1, false},
    };
    std::string sha;
    ASSERT_EQ(digest_sha256_hex(good, &sha), 0);
    int i = 0;
    for (const row &r : table) {
        vob_pool q;
        q.dir = tmp + "/dmg" + std::to_string(++i);
        fs::create_directories(q.dir + "/tmp");
        fs::create_directories(q.dir + "/dirty");
        testutil::write_file(vob_pool_path(q, sha), r.in_place);
        int held = -1;
        if (r.marker) {
            testutil::write_file(q.dir + "/dirty/1.1", "");
            held = open((q.dir + "/dirty/1.1").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(held, 0);
            if (r.marker == 2) {
                ASSERT_EQ(flock(held, LOCK_EX), 0);
            }
        }
        vob_pool_error e;
        std::string got;
        ASSERT_EQ(vob_pool_put(&q, good, &got, &e), 0) << e.text;
        EXPECT_EQ(q.pending.size(), r.rewritten ? 1u : 0u) << r.what;
        EXPECT_EQ(q.damaged.size(), r.rewritten ? 1u : 0u) << r.what;
        ASSERT_EQ(vob_pool_flush(&q, &e), 0) << e.file << ": " << e.text;
        EXPECT_EQ(testutil::read_file(vob_pool_path(q, sha)), r.rewritten ? good : r.in_place) << r.what;
        vob_pool_close(&q);
        // A clean close takes the stale marker it dealt with, and its own.
        EXPECT_EQ(fs::exists(q.dir + "/dirty/1.1"), r.marker == 2) << r.what;
        EXPECT_EQ(vob_pool_entries(q.dir + "/dirty").size(), r.marker == 2 ? 1u : 0u) << r.what;
        if (held >= 0)
            close(held);
    }
}

}   // namespace
