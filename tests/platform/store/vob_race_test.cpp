// Two processes changing the same element at the same moment: each call is
// checked inside its write transaction, so the loser is refused with the
// documented status and message, never with a database error, and the
// store never ends up in a state that a serial order could not give.
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <functional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum { ROUNDS = 60 };

struct outcome {
    int rc = -1;
    vob_oid oid = 0;
    std::string msg;
};

using action = std::function<int(vob_t *, vob_oid *)>;

int write_all(int fd, const void *p, size_t n) {
    const char *c = static_cast<const char *>(p);
    while (n > 0) {
        ssize_t w = write(fd, c, n);
        if (w <= 0)
            return -1;
        c += w;
        n -= size_t(w);
    }
    return 0;
}

int read_all(int fd, void *p, size_t n) {
    char *c = static_cast<char *>(p);
    while (n > 0) {
        ssize_t r = read(fd, c, n);
        if (r <= 0)
            return -1;
        c += r;
        n -= size_t(r);
    }
    return 0;
}

// Child: its own handle, then wait at the barrier (the go pipe closing),
// then act and send back status, oid and message.
[[noreturn]] void run_child(const std::string &storage, const action &act, int ready, int go, int result) {
    vob_t *w = nullptr;
    std::string err;
    if (vob_open(storage, &w, &err) != VOB_OK)
        _exit(2);
    char c = 1, x;
    if (write(ready, &c, 1) != 1)
        _exit(3);
    if (read(go, &x, 1) != 0)
        _exit(4);
    vob_oid oid = 0;
    int rc = act(w, &oid);
    std::string msg = rc == VOB_OK ? "" : vob_errmsg(w);
    uint32_t len = uint32_t(msg.size());
    vob_close(w);
    if (write_all(result, &rc, sizeof rc) || write_all(result, &oid, sizeof oid) ||
        write_all(result, &len, sizeof len) || write_all(result, msg.data(), len))
        _exit(5);
    _exit(0);
}

// Runs a and b in two processes released at the same moment.
void race(const std::string &storage, const action &a, const action &b, outcome out[2]) {
    int ready[2], go[2], res[2][2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(res[0]), 0);
    ASSERT_EQ(pipe(res[1]), 0);
    pid_t pid[2];
    for (int i = 0; i < 2; i++) {
        pid[i] = fork();
        ASSERT_GE(pid[i], 0);
        if (pid[i] == 0) {
            close(go[1]);
            run_child(storage, i == 0 ? a : b, ready[1], go[0], res[i][1]);
        }
        close(res[i][1]);
    }
    char c[2];
    ASSERT_EQ(read_all(ready[0], c, 2), 0);
    close(go[1]);   // both children wake up now
    for (int i = 0; i < 2; i++) {
        uint32_t len = 0;
        ASSERT_EQ(read_all(res[i][0], &out[i].rc, sizeof out[i].rc), 0) << "child " << i;
        ASSERT_EQ(read_all(res[i][0], &out[i].oid, sizeof out[i].oid), 0);
        ASSERT_EQ(read_all(res[i][0], &len, sizeof len), 0);
        out[i].msg.resize(len);
        ASSERT_EQ(read_all(res[i][0], out[i].msg.data(), len), 0);
        close(res[i][0]);
        int st;
        waitpid(pid[i], &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    for (int fd : {ready[0], ready[1], go[0]})
        close(fd);
}

bool has(const std::string &s, const char *part) { return s.find(part) != std::string::npos; }

struct Race : testvob::VobTest {
    vob_t *v = nullptr;
    std::string storage;
    vob_oid elem = 0, branch = 0;
    void SetUp() override {
        testvob::VobTest::SetUp();
        v = make_vob("/race");
        ASSERT_NE(v, nullptr);
        storage = vob_get_storage(v);
        ASSERT_EQ(
            vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "f", VOB_MT_FILE_ELEM, 0, nullptr, &elem),
            VOB_OK);
        vob_elem_info ei;
        ASSERT_EQ(vob_elem_get(v, elem, &ei), VOB_OK);
        branch = ei.main_branch;
    }
    void TearDown() override {
        vob_close(v);
        testvob::VobTest::TearDown();
    }
};

// A lock and a new version of the element: the version either comes first
// or is refused as locked, never made after the lock.
TEST_F(Race, LockAgainstCheckinAndNewVersion) {
    int refused = 0;
    for (int round = 0; round < ROUNDS; round++) {
        bool by_checkin = round % 2 == 0;
        vob_oid ck = 0;
        if (by_checkin) {
            ASSERT_EQ(vob_checkout(v, branch, 0, "view", nullptr, &ck), VOB_OK) << vob_errmsg(v);
        }
        std::string bytes = "round " + std::to_string(round);
        outcome o[2];
        race(
            storage, [&](vob_t *w, vob_oid *) { return vob_obj_lock(w, elem, 0, nullptr); },
            [&](vob_t *w, vob_oid *out) {
                return by_checkin ? vob_checkin(w, ck, vob_data_bytes(bytes), nullptr, out)
                                  : vob_ver_create(w, branch, vob_data_bytes(bytes), nullptr, out);
            },
            o);
        ASSERT_EQ(o[0].rc, VOB_OK) << o[0].msg;
        vob_lock lk;
        ASSERT_EQ(vob_obj_get_lock(v, elem, &lk), VOB_OK);
        if (o[1].rc == VOB_OK) {
            EXPECT_LT(o[1].oid, lk.oid) << "a version was made after the lock, round " << round;
        } else {
            refused++;
            EXPECT_EQ(o[1].rc, VOB_LOCKED) << o[1].msg;
            EXPECT_TRUE(has(o[1].msg, "is locked")) << o[1].msg;
            if (by_checkin) {
                ASSERT_EQ(vob_uncheckout(v, ck), VOB_OK) << vob_errmsg(v);
            }
        }
        ASSERT_EQ(vob_obj_unlock(v, elem), VOB_OK) << vob_errmsg(v);
    }
    std::vector<vob_ckout> cks;
    ASSERT_EQ(vob_elem_get_ckouts(v, elem, &cks), VOB_OK);
    EXPECT_TRUE(cks.empty());
    RecordProperty("refused", refused);
}

// Two unreserved checkouts of one branch checked in at once: one wins, the
// other finds the newer version.
TEST_F(Race, TwoCheckinsOfOneBranch) {
    for (int round = 0; round < ROUNDS; round++) {
        vob_oid ca, cb, before;
        ASSERT_EQ(vob_checkout(v, branch, 0, "a", nullptr, &ca), VOB_OK) << vob_errmsg(v);
        ASSERT_EQ(vob_checkout(v, branch, 0, "b", nullptr, &cb), VOB_OK) << vob_errmsg(v);
        ASSERT_EQ(vob_branch_get_latest(v, branch, &before), VOB_OK);
        outcome o[2];
        race(
            storage,
            [&](vob_t *w, vob_oid *out) { return vob_checkin(w, ca, vob_data_bytes("a"), nullptr, out); },
            [&](vob_t *w, vob_oid *out) { return vob_checkin(w, cb, vob_data_bytes("b"), nullptr, out); }, o);
        ASSERT_EQ((o[0].rc == VOB_OK) + (o[1].rc == VOB_OK), 1)
            << "round " << round << ": " << o[0].rc << " " << o[0].msg << " / " << o[1].rc << " " << o[1].msg;
        const outcome &lost = o[0].rc == VOB_OK ? o[1] : o[0];
        EXPECT_EQ(lost.rc, VOB_CKOUT) << lost.msg;
        EXPECT_TRUE(has(lost.msg, "a newer version of branch")) << lost.msg;
        vob_ver_info vi;
        ASSERT_EQ(vob_ver_get(v, o[0].rc == VOB_OK ? o[0].oid : o[1].oid, &vi), VOB_OK);
        vob_ver_info bi;
        ASSERT_EQ(vob_ver_get(v, before, &bi), VOB_OK);
        EXPECT_EQ(vi.num, bi.num + 1);
        ASSERT_EQ(vob_uncheckout(v, o[0].rc == VOB_OK ? cb : ca), VOB_OK) << vob_errmsg(v);
    }
}

// Two processes make one name, or one type: exactly one wins and the other
// is told that it exists, with the catalog's message.
TEST_F(Race, TwoMkelemsOfOneNameAndTwoTypesOfOneName) {
    vob_oid root = vob_wk_obj(v, VOB_WK_ROOT_DIR);
    for (int round = 0; round < ROUNDS; round++) {
        bool elems = round % 2 == 0;
        std::string name = "n" + std::to_string(round);
        action make = [&](vob_t *w, vob_oid *out) {
            return elems ? vob_elem_create(w, root, name, VOB_MT_FILE_ELEM, 0, nullptr, out)
                         : vob_type_create(w, VOB_MT_LBTYPE, name, nullptr, out);
        };
        outcome o[2];
        race(storage, make, make, o);
        ASSERT_EQ((o[0].rc == VOB_OK) + (o[1].rc == VOB_OK), 1)
            << "round " << round << ": " << o[0].rc << " " << o[0].msg << " / " << o[1].rc << " " << o[1].msg;
        const outcome &lost = o[0].rc == VOB_OK ? o[1] : o[0];
        EXPECT_EQ(lost.rc, VOB_EXISTS) << lost.msg;
        EXPECT_TRUE(has(lost.msg, elems ? "already exists in directory" : "already exists")) << lost.msg;
        EXPECT_FALSE(has(lost.msg, "database error")) << lost.msg;
    }
    std::vector<vob_vtree_node> tree;
    ASSERT_EQ(vob_elem_get_vtree(v, root, &tree), VOB_OK);
    std::vector<vob_dirent> ents;
    ASSERT_EQ(vob_dir_read(v, tree.back().ver.oid, &ents), VOB_OK);
    EXPECT_EQ(ents.size(), 2u + ROUNDS / 2);   // f, lost+found and one per element round
}

// Two processes put one label type on two versions of one element. Moving
// (replace): both succeed and one version carries it. Not moving: one wins,
// the other is told where the label is.
TEST_F(Race, TwoLabelMoves) {
    vob_oid v1, v2;
    ASSERT_EQ(vob_ver_create(v, branch, vob_data_bytes("1"), nullptr, &v1), VOB_OK);
    ASSERT_EQ(vob_ver_create(v, branch, vob_data_bytes("2"), nullptr, &v2), VOB_OK);
    for (int round = 0; round < 2 * ROUNDS; round++) {   // this race has a narrow window
        int replace = round % 3 != 2;
        vob_oid lb;
        ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "L" + std::to_string(round), nullptr, &lb), VOB_OK);
        if (round % 3 == 1) {   // a real move: the label starts on /main/0
            vob_oid v0;
            ASSERT_EQ(vob_ver_find(v, elem, "/main/0", &v0), VOB_OK);
            ASSERT_EQ(vob_ver_add_label(v, v0, lb, 0, nullptr), VOB_OK);
        }
        outcome o[2];
        race(
            storage, [&](vob_t *w, vob_oid *) { return vob_ver_add_label(w, v1, lb, replace, nullptr); },
            [&](vob_t *w, vob_oid *) { return vob_ver_add_label(w, v2, lb, replace, nullptr); }, o);
        if (replace) {
            EXPECT_EQ(o[0].rc, VOB_OK) << "round " << round << ": " << o[0].msg;
            EXPECT_EQ(o[1].rc, VOB_OK) << "round " << round << ": " << o[1].msg;
        } else {
            ASSERT_EQ((o[0].rc == VOB_OK) + (o[1].rc == VOB_OK), 1)
                << "round " << round << ": " << o[0].rc << " " << o[0].msg << " / " << o[1].rc << " "
                << o[1].msg;
            const outcome &lost = o[0].rc == VOB_OK ? o[1] : o[0];
            EXPECT_EQ(lost.rc, VOB_EXISTS) << lost.msg;
            EXPECT_TRUE(has(lost.msg, "is already on version")) << lost.msg;
        }
        std::vector<vob_vtree_node> tree;
        ASSERT_EQ(vob_elem_get_vtree(v, elem, &tree), VOB_OK);
        int carriers = 0;
        for (auto &n : tree)
            for (auto &l : n.labels)
                carriers += l == "L" + std::to_string(round);
        EXPECT_EQ(carriers, 1) << "round " << round;
        vob_oid at;
        ASSERT_EQ(vob_elem_find_label(v, elem, lb, &at), VOB_OK);
        EXPECT_TRUE(at == v1 || at == v2);
    }
}

// Should a UNIQUE clash still happen behind the checks (here a trigger makes
// the type between the check and the insert), it is reported as VOB_EXISTS
// with the catalog message, not as a database error.
TEST_F(Race, UniqueClashBehindTheCheckIsReportedAsExists) {
    sqlite3 *db;
    ASSERT_EQ(sqlite3_open((storage + "/vob.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(
                  db,
                  "CREATE TRIGGER clash AFTER INSERT ON obj WHEN new.mtype = 20 BEGIN"
                  " INSERT OR IGNORE INTO type(oid, mtype, name) VALUES(new.oid + 1000000, 20, 'CLASH'); END",
                  nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    vob_oid t;
    EXPECT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "CLASH", nullptr, &t), VOB_EXISTS);
    EXPECT_TRUE(has(vob_errmsg(v), "label type \"CLASH\" already exists")) << vob_errmsg(v);
    EXPECT_FALSE(has(vob_errmsg(v), "database error")) << vob_errmsg(v);
    // Nothing of the refused call stays.
    EXPECT_EQ(vob_type_find(v, VOB_MT_LBTYPE, "CLASH", &t), VOB_NOT_FOUND);
}

}   // namespace
