// Transactions: atomic steps, rollback, one writer at a time, crashes of a
// writer, and a full disk.
#include "platform/registry/vob_tag.h"
#include "platform/store/vob_blob.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <openssl/evp.h>
#include <random>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Txn : testvob::OpenVobTest {
    size_t count_elems() {
        std::vector<vob_oid> e;
        EXPECT_EQ(vob_elem_list(v, &e), VOB_OK);
        return e.size();
    }
};

size_t pool_files(const std::string &storage) {
    size_t n = 0;
    for (auto &e : std::filesystem::recursive_directory_iterator(storage + "/pool"))
        n += e.is_regular_file();
    return n;
}

TEST_F(Txn, RolledBackTransactionLeavesNothing) {
    size_t files = pool_files(vob_get_storage(v)), elems = count_elems();
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        vob_oid e;
        ASSERT_EQ(vob_elem_create(v, root(), "a", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_OK);
        vob_elem_info ei;
        ASSERT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
        vob_oid ver;
        ASSERT_EQ(vob_ver_create(v, ei.main_branch, vob_data_bytes("never committed"), nullptr, &ver),
                  VOB_OK);
        // no commit: the destructor rolls back
    }
    EXPECT_EQ(count_elems(), elems);
    EXPECT_EQ(pool_files(vob_get_storage(v)), files);
    vob_oid e, ver;
    EXPECT_EQ(vob_resolve_path(v, "a", nullptr, "", &e, &ver), VOB_NOT_FOUND);
}

TEST_F(Txn, RefusedStepInsideTransactionKeepsTheRest) {
    vob_oid lb, e, e2, ver;
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "L", nullptr, &lb), VOB_OK);
    vob_txn t(v);
    ASSERT_EQ(t.begin(), VOB_OK);
    ASSERT_EQ(vob_elem_create(v, root(), "a", VOB_MT_FILE_ELEM, 0, nullptr, &e, &ver), VOB_OK);
    vob_elem_info ei;
    ASSERT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
    vob_oid v1;
    ASSERT_EQ(vob_ver_create(v, ei.main_branch, vob_data_bytes("1"), nullptr, &v1), VOB_OK);
    ASSERT_EQ(vob_ver_add_label(v, v1, lb, 0, nullptr), VOB_OK);
    EXPECT_EQ(vob_ver_add_label(v, ver, lb, 0, nullptr), VOB_EXISTS);   // reported
    EXPECT_EQ(vob_elem_create(v, root(), "a", VOB_MT_FILE_ELEM, 0, nullptr, &e2), VOB_EXISTS);
    ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    vob_oid at;
    ASSERT_EQ(vob_elem_find_label(v, e, lb, &at), VOB_OK);
    EXPECT_EQ(at, v1);
}

// Every mutator checks before it writes: each refusal below leaves the
// caller's transaction as it was, and what it made before commits.
TEST_F(Txn, EveryRefusalInsideTransactionKeepsIt) {
    vob_oid lb, bt, at, e, ver0, br;
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "L", nullptr, &lb), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", nullptr, &bt), VOB_OK);
    ASSERT_EQ(vob_type_create(v, VOB_MT_ATTYPE, "A", nullptr, &at), VOB_OK);
    ASSERT_EQ(vob_elem_create(v, root(), "a", VOB_MT_FILE_ELEM, 0, nullptr, &e, &ver0), VOB_OK);
    ASSERT_EQ(vob_branch_create(v, ver0, bt, nullptr, &br), VOB_OK);
    vob_elem_info ei;
    ASSERT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
    vob_oid ck_a, ck_b, locked_br;
    ASSERT_EQ(vob_checkout(v, ei.main_branch, 0, "va", nullptr, &ck_a), VOB_OK);
    ASSERT_EQ(vob_checkout(v, ei.main_branch, 0, "vb", nullptr, &ck_b), VOB_OK);
    ASSERT_EQ(vob_obj_lock(v, br, 0, nullptr), VOB_OK);
    locked_br = br;

    vob_txn t(v);
    ASSERT_EQ(t.begin(), VOB_OK);
    vob_oid made, x;
    ASSERT_EQ(vob_elem_create(v, root(), "b", VOB_MT_FILE_ELEM, 0, nullptr, &made), VOB_OK);
    ASSERT_EQ(vob_checkin(v, ck_a, vob_data_bytes("a1"), nullptr, &x), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(vob_checkin(v, ck_b, vob_data_bytes("b1"), nullptr, &x), VOB_CKOUT);
    EXPECT_EQ(vob_ver_create(v, locked_br, vob_data_bytes("no"), nullptr, &x), VOB_LOCKED);
    EXPECT_EQ(vob_ver_create(v, ei.main_branch, vob_data_bytes("no"), nullptr, &x, 1), VOB_EXISTS);
    EXPECT_EQ(vob_branch_create(v, ver0, bt, nullptr, &x), VOB_EXISTS);
    EXPECT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "L", nullptr, &x), VOB_EXISTS);
    EXPECT_EQ(vob_checkout(v, ei.main_branch, 0, "vb", nullptr, &x), VOB_CKOUT);
    EXPECT_EQ(vob_dir_remove_name(v, root(), 0, "nothing", nullptr), VOB_NOT_FOUND);
    EXPECT_EQ(vob_dir_add_name(v, root(), 0, "a", made, nullptr), VOB_EXISTS);
    EXPECT_EQ(vob_obj_unlock(v, e), VOB_NOT_FOUND);
    EXPECT_EQ(vob_obj_remove_attr(v, e, at), VOB_NOT_FOUND);
    EXPECT_EQ(vob_ver_remove_label(v, ver0, lb), VOB_NOT_FOUND);
    EXPECT_EQ(vob_uncheckout(v, ck_a), VOB_NOT_FOUND);   // checked in above
    vob_oid rootver;
    ASSERT_EQ(vob_resolve_path(v, "", nullptr, "", &x, &rootver), VOB_OK);
    EXPECT_EQ(vob_ver_remove_data(v, rootver), VOB_NOT_FOUND);   // a directory version has none
    ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(vob_resolve_path(v, "b", nullptr, "", &x, &made), VOB_OK);
    std::vector<vob_ckout> cks;
    ASSERT_EQ(vob_elem_get_ckouts(v, e, &cks), VOB_OK);
    ASSERT_EQ(cks.size(), 1u);
    EXPECT_EQ(cks[0].view_tag, "vb");
}

TEST_F(Txn, NestedTransactionsJoinTheOutermost) {
    vob_txn outer(v);
    ASSERT_EQ(outer.begin(), VOB_OK);
    {
        vob_txn inner(v);
        ASSERT_EQ(inner.begin(), VOB_OK);
        vob_oid t;
        ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "IN", nullptr, &t), VOB_OK);
        ASSERT_EQ(inner.commit(), VOB_OK);
    }
    outer.rollback();
    vob_oid t;
    EXPECT_EQ(vob_type_find(v, VOB_MT_LBTYPE, "IN", &t), VOB_NOT_FOUND);
    // An inner rollback dooms the outer transaction.
    vob_txn o2(v);
    ASSERT_EQ(o2.begin(), VOB_OK);
    {
        vob_txn inner(v);
        ASSERT_EQ(inner.begin(), VOB_OK);
        ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "IN", nullptr, &t), VOB_OK);
        inner.rollback();
    }
    EXPECT_NE(o2.commit(), VOB_OK);
    EXPECT_EQ(vob_type_find(v, VOB_MT_LBTYPE, "IN", &t), VOB_NOT_FOUND);
}

TEST_F(Txn, SecondWriterWaitsThenFailsReadersGoOn) {
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    std::string storage = vob_get_storage(v);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        vob_t *w = nullptr;
        std::string err;
        if (vob_open(storage, &w, &err) != VOB_OK)
            _exit(2);
        vob_txn t(w);
        if (t.begin() != VOB_OK)
            _exit(3);
        vob_oid x;
        if (vob_type_create(w, VOB_MT_LBTYPE, "HELD", nullptr, &x) != VOB_OK)
            _exit(6);
        char c = 1;
        if (write(ready[1], &c, 1) != 1)
            _exit(4);
        if (read(done[0], &c, 1) != 1)   // hold the write lock until told
            _exit(5);
        _exit(t.commit() == VOB_OK ? 0 : 7);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    setenv("VANTOR_BUSY_TIMEOUT_MS", "400", 1);
    vob_t *second = nullptr;
    std::string err;
    ASSERT_EQ(vob_open(storage, &second, &err), VOB_OK) << err;
    vob_oid t;
    // Readers are not held up by the writer.
    EXPECT_EQ(vob_type_find(second, VOB_MT_BRTYPE, "main", &t), VOB_OK);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(vob_type_create(second, VOB_MT_LBTYPE, "SECOND", nullptr, &t), VOB_BUSY);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(secs, 0.35);
    EXPECT_LT(secs, 5.0);
    EXPECT_NE(vob_errmsg(second).find("VOB \"/t\" is busy"), std::string::npos) << vob_errmsg(second);
    EXPECT_NE(vob_errmsg(second).find("400 ms"), std::string::npos) << vob_errmsg(second);
    ASSERT_EQ(write(done[1], &c, 1), 1);
    int st;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    // Once the first writer is gone the second gets through.
    EXPECT_EQ(vob_type_create(second, VOB_MT_LBTYPE, "SECOND", nullptr, &t), VOB_OK) << vob_errmsg(second);
    EXPECT_EQ(vob_type_find(second, VOB_MT_LBTYPE, "HELD", &t), VOB_OK);
    vob_close(second);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
}

std::string sha_hex(const std::string &bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr);
    char buf[3];
    std::string s;
    for (unsigned i = 0; i < n; i++) {
        snprintf(buf, sizeof buf, "%02x", md[i]);
        s += buf;
    }
    return s;
}

// Each transaction makes a file element with three versions and a label.
[[noreturn]] void writer_loop(const std::string &storage, unsigned seed) {
    vob_t *w = nullptr;
    std::string err;
    if (vob_open(storage, &w, &err) != VOB_OK)
        _exit(2);
    std::mt19937 rng(seed);
    vob_oid lb;
    if (vob_type_create(w, VOB_MT_LBTYPE, "L" + std::to_string(seed), nullptr, &lb) != VOB_OK)
        _exit(5);
    for (int i = 0;; i++) {
        vob_txn t(w);
        if (t.begin() != VOB_OK)
            continue;
        vob_oid e, ver = 0;
        std::string name = "f" + std::to_string(seed) + "_" + std::to_string(i);
        if (vob_elem_create(w, vob_wk_obj(w, VOB_WK_ROOT_DIR), name, VOB_MT_FILE_ELEM, 0, nullptr, &e) !=
            VOB_OK)
            _exit(3);
        vob_elem_info ei;
        if (vob_elem_get(w, e, &ei) != VOB_OK)
            _exit(6);
        for (int k = 0; k < 3; k++) {
            std::string bytes(1000 + rng() % 3000, 'a' + (char)(rng() % 26));
            bytes += std::to_string(rng());
            // Now and then one too large for the database: a pool file.
            while (k == 2 && i % 4 == 0 && bytes.size() < VOB_INLINE_MAX + 1000)
                bytes += char(rng() & 0xff);
            if (vob_ver_create(w, ei.main_branch, vob_data_bytes(bytes), nullptr, &ver) != VOB_OK)
                _exit(4);
        }
        if (vob_ver_add_label(w, ver, lb, 0, nullptr) != VOB_OK || t.commit() != VOB_OK)
            _exit(7);
    }
}

TEST_F(Txn, KilledWriterLeavesConsistentStore) {
    std::string storage = vob_get_storage(v);
    vob_close(v);
    v = nullptr;
    std::mt19937 rng(12345);
    int64_t checked = 0;
    for (unsigned round = 0; round < 12; round++) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            writer_loop(storage, round);
        usleep(static_cast<useconds_t>(20000 + rng() % 150000));
        kill(pid, SIGKILL);
        int st;
        waitpid(pid, &st, 0);
        ASSERT_TRUE(WIFSIGNALED(st)) << "writer ended by itself in round " << round;

        sqlite3 *db;
        ASSERT_EQ(sqlite3_open((storage + "/vob.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt *q;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &q, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
        EXPECT_STREQ((const char *)sqlite3_column_text(q, 0), "ok");
        sqlite3_finalize(q);
        // Every version that names contents reads back whole, as its digest says.
        {
            vob_t *r = nullptr;
            std::string err;
            ASSERT_EQ(vob_open(storage, &r, &err), VOB_OK) << err;
            // Those of the rounds before were read then, and no round changes them.
            std::string sql = "SELECT oid, sha FROM ver WHERE sha IS NOT NULL AND oid > " + std::to_string(checked);
            ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr), SQLITE_OK);
            while (sqlite3_step(q) == SQLITE_ROW) {
                checked = std::max<int64_t>(checked, sqlite3_column_int64(q, 0));
                std::string bytes;
                ASSERT_EQ(vob_ver_read_data(r, sqlite3_column_int64(q, 0), &bytes), VOB_OK) << vob_errmsg(r);
                EXPECT_EQ(sha_hex(bytes), (const char *)sqlite3_column_text(q, 1));
            }
            sqlite3_finalize(q);
            vob_close(r);
        }
        // No half-made element: each has its name and exactly versions 0 to 3.
        ASSERT_EQ(sqlite3_prepare_v2(
                      db,
                      // Counted by one pass each: the writer makes thousands of elements.
                      "SELECT e.oid, coalesce(v.n, 0), coalesce(d.n, 0) FROM elem e"
                      " LEFT JOIN (SELECT elem, count(*) n FROM ver GROUP BY elem) v ON v.elem = e.oid"
                      " LEFT JOIN (SELECT elem, count(*) n FROM dirent GROUP BY elem) d ON d.elem = e.oid"
                      " WHERE e.mtype = 2",
                      -1, &q, nullptr),
                  SQLITE_OK);
        while (sqlite3_step(q) == SQLITE_ROW) {
            EXPECT_EQ(sqlite3_column_int(q, 1), 4) << "element " << sqlite3_column_int64(q, 0);
            EXPECT_GE(sqlite3_column_int(q, 2), 1) << "element " << sqlite3_column_int64(q, 0);
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
    }
    // The store still takes writes.
    std::string err;
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    vob_oid e;
    EXPECT_EQ(vob_elem_create(v, root(), "after", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_OK) << vob_errmsg(v);
}

TEST_F(Txn, FullDiskFailsCleanly) {
    std::string mnt = tmp + "/small";
    std::filesystem::create_directories(mnt);
    // Room for a new VOB (its schema and log) and small writes, not for 1 MiB.
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=640k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string err;
    vob_t *s = nullptr;
    int rc = vob_make("/small", mnt + "/vob", 0, nullptr, &err);
    if (rc == VOB_OK)
        rc = vob_open_tag("/small", &s, &err);
    ASSERT_EQ(rc, VOB_OK) << err;
    vob_oid e;
    ASSERT_EQ(vob_elem_create(s, vob_wk_obj(s, VOB_WK_ROOT_DIR), "big", VOB_MT_FILE_ELEM, 0, nullptr, &e),
              VOB_OK)
        << vob_errmsg(s);
    vob_elem_info ei;
    ASSERT_EQ(vob_elem_get(s, e, &ei), VOB_OK);
    std::string big;   // incompressible: a file of the pool
    for (uint64_t x = 88172645463325252ull; big.size() < (1u << 20);) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        big += char(x & 0xff);
    }
    vob_oid ver;
    EXPECT_EQ(vob_ver_create(s, ei.main_branch, vob_data_bytes(big), nullptr, &ver), VOB_ERR);
    EXPECT_NE(vob_errmsg(s).find("No space left on device"), std::string::npos) << vob_errmsg(s);
    EXPECT_NE(vob_errmsg(s).find("content pool"), std::string::npos) << vob_errmsg(s);
    std::vector<vob_vtree_node> tree;
    ASSERT_EQ(vob_elem_get_vtree(s, e, &tree), VOB_OK);
    EXPECT_EQ(tree.size(), 1u);   // no partial version
    EXPECT_TRUE(std::filesystem::is_empty(mnt + "/vob/pool/tmp"));
    EXPECT_EQ(vob_ver_create(s, ei.main_branch, vob_data_bytes("small"), nullptr, &ver), VOB_OK)
        << vob_errmsg(s);
    vob_close(s);
    umount(mnt.c_str());
}

}   // namespace
