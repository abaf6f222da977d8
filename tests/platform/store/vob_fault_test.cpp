// The store's promises under I/O faults, proved through the fault layer at
// every call a workload makes: a power cut loses no committed version and
// hands back no wrong bytes; a dropped sync ends in exact bytes or a store
// that names the damaged version, and the next write of the same bytes
// mends it; a failed call is a reported error that commits nothing.
#include "platform/store/vob_int.h"
#include "runtime/iofault.h"
#include "tests/common/testvob.h"

#include <cstring>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

// One version a step commits: element index, bytes (or removal of the data
// of the element's version `num`).
struct change {
    int elem;
    std::string bytes;
    int remove_num = 0;
};
using step = std::vector<change>;   // one transaction

// Blobs on both sync paths (one blob: fdatasync and directory fsyncs; more:
// syncfs), a removal through trash/, a reused blob and a new one.
const std::vector<step> workload = {
    {{0, "one"}},
    {{0, "two two"}, {1, "gee 1"}, {1, "gee 2, longer"}, {0, "three"}},
    {{1, "", 1}},
    {{0, "two two"}, {1, "a new one"}},
};

// The versions each element should have: number to bytes, "" meaning data removed.
using model = std::vector<std::map<int64_t, std::string>>;
const char *const REMOVED = "\x01removed";

struct Fault : testvob::VobTest {
    int seq = 0;
    std::string tag, storage;
    std::vector<vob_oid> elems, branches;

    // A fresh VOB with two file elements, made with the layer disarmed.
    vob_t *fresh() {
        tag = "/f" + std::to_string(++seq);
        vob_t *v = make_vob(tag);
        if (!v)
            return nullptr;
        storage = vob_get_storage(v);
        elems.clear();
        branches.clear();
        for (const char *name : {"f", "g"}) {
            vob_oid e;
            EXPECT_EQ(
                vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), name, VOB_MT_FILE_ELEM, 0, nullptr, &e),
                VOB_OK);
            vob_elem_info ei;
            EXPECT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
            elems.push_back(e);
            branches.push_back(ei.main_branch);
        }
        return v;
    }

    vob_oid version(vob_t *v, int elem, int64_t num) {
        std::vector<vob_vtree_node> tree;
        EXPECT_EQ(vob_elem_get_vtree(v, elems[size_t(elem)], &tree), VOB_OK);
        for (const auto &n : tree)
            if (n.ver.num == num)
                return n.ver.oid;
        return 0;
    }

    // The bytes of a change as the workload stores them: a text followed by
    // incompressible bytes past the database's limit, so that each is a file
    // of the pool, the path whose durability is proved here.
    static std::string pooled(const std::string &text) {
        if (text.size() > VOB_INLINE_MAX)
            return text;
        std::string b = text;
        uint64_t x = 0x9e3779b97f4a7c15ull ^ std::hash<std::string>()(text);
        while (b.size() < VOB_INLINE_MAX + 100) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            b += char(x & 0xff);
        }
        return b;
    }

    // Runs one step as one transaction; on success the model gains it.
    int run(vob_t *v, const step &s, model *m) {
        model next = *m;
        vob_txn t(v);
        int rc = t.begin();
        for (const change &c : s) {
            if (rc != VOB_OK)
                break;
            auto &vers = next[size_t(c.elem)];
            if (c.remove_num) {
                rc = vob_ver_remove_data(v, version(v, c.elem, c.remove_num));
                vers[c.remove_num] = REMOVED;
                continue;
            }
            vob_oid ver;
            std::string bytes = pooled(c.bytes);
            rc = vob_ver_create(v, branches[size_t(c.elem)], vob_data_bytes(bytes), nullptr, &ver);
            vers[vers.rbegin()->first + 1] = bytes;
        }
        rc = rc == VOB_OK ? t.commit() : (t.rollback(), rc);
        if (rc == VOB_OK)
            *m = next;
        return rc;
    }

    static model empty_model() { return model(2, {{0, ""}}); }

    // Reopens the VOB with the layer disarmed and checks it holds exactly
    // the model. `damage_ok`: a version may instead be refused as damaged,
    // never read with other bytes. Returns how many were refused.
    int check(const model &m, bool damage_ok, const std::string &where) {
        vob_t *v = nullptr;
        std::string err;
        EXPECT_EQ(vob_open(storage, &v, &err), VOB_OK) << where << ": " << err;
        if (!v)
            return 0;
        int refused = 0;
        for (size_t e = 0; e < m.size(); e++) {
            std::vector<vob_vtree_node> tree;
            EXPECT_EQ(vob_elem_get_vtree(v, elems[e], &tree), VOB_OK);
            EXPECT_EQ(tree.size(), m[e].size()) << where << ": versions of element " << e;
            for (const auto &n : tree) {
                auto it = m[e].find(n.ver.num);
                if (it == m[e].end()) {
                    ADD_FAILURE() << where << ": version " << n.ver.id << " was never committed";
                    continue;
                }
                std::string bytes;
                int rc = vob_ver_read_data(v, n.ver.oid, &bytes);
                if (it->second == REMOVED || n.ver.num == 0) {
                    EXPECT_FALSE(n.ver.has_data && n.ver.num != 0) << where << ": " << n.ver.id;
                    continue;
                }
                if (rc == VOB_CORRUPT && damage_ok) {
                    EXPECT_NE(vob_errmsg(v).find("is damaged"), std::string::npos) << vob_errmsg(v);
                    EXPECT_NE(vob_errmsg(v).find(n.ver.id), std::string::npos) << vob_errmsg(v);
                    refused++;
                    continue;
                }
                EXPECT_EQ(rc, VOB_OK) << where << ": " << n.ver.id << ": " << vob_errmsg(v);
                EXPECT_TRUE(bytes == it->second) << where << ": " << n.ver.id;
            }
        }
        // The check of contents sees the same: exactly the refused versions.
        vob_check_report report;
        EXPECT_EQ(vob_check_contents(v, &report), VOB_OK) << where << ": " << vob_errmsg(v);
        EXPECT_EQ(report.damaged.size(), size_t(refused)) << where;
        EXPECT_TRUE(vob_pool_entries(storage + "/pool/tmp").empty()) << where;
        EXPECT_TRUE(vob_pool_entries(storage + "/pool/trash").empty()) << where;
        vob_close(v);
        return refused;
    }

    // Runs the workload's steps from `from` under the armed layer until one
    // fails; returns the index of the failed step (or the step count).
    size_t run_all(vob_t *v, model *m, size_t from = 0) {
        for (size_t i = from; i < workload.size(); i++)
            if (run(v, workload[i], m) != VOB_OK)
                return i;
        return workload.size();
    }

    // The calls the whole workload makes through the layer, by kind.
    std::vector<long> count_calls() {
        vob_t *v = fresh();
        model m = empty_model();
        iof_start(tmp + "/hold");
        EXPECT_EQ(run_all(v, &m), workload.size());
        vob_close(v);
        std::vector<long> n;
        for (int k = 0; k <= IOF_KINDS; k++)
            n.push_back(iof_calls(iof_kind(k)));
        iof_stop();
        return n;
    }

    void TearDown() override {
        iof_stop();
        testvob::VobTest::TearDown();
    }
};

TEST_F(Fault, PowerCutAtEveryCallLosesNoCommittedVersion) {
    std::vector<long> calls = count_calls();
    ASSERT_GT(calls[IOF_SYNCFS], 0);   // both sync paths are taken
    ASSERT_GT(calls[IOF_SYNC], 0);
    long points = 0;
    // Names undone with data cut short; names kept with data zeroed (a
    // journal written ahead of the data).
    for (iof_cut_mode mode : {IOF_CUT_TRUNCATE, iof_cut_mode(IOF_CUT_ZERO | IOF_CUT_KEEP_NAMES)}) {
        for (long n = 1; n <= calls[IOF_KINDS] + 1; n++) {
            std::string where =
                "cut at call " + std::to_string(n) + (mode != IOF_CUT_TRUNCATE ? " (zeroed)" : "");
            vob_t *v = fresh();
            ASSERT_NE(v, nullptr);
            model m = empty_model();
            iof_start(tmp + "/hold");
            iof_cut_at(n, mode);
            size_t done = run_all(v, &m);
            if (!iof_cut_done())   // past the last call: cut after the end
                iof_cut_now(mode);
            vob_close(v);   // the process dies with the machine: nothing more is written
            iof_stop();
            points++;
            // Exactly the committed versions, with their bytes; then the store
            // takes the rest of the work, reusing what the cut left in place.
            EXPECT_EQ(check(m, false, where), 0);
            vob_t *again = nullptr;
            std::string err;
            ASSERT_EQ(vob_open(storage, &again, &err), VOB_OK) << err;
            EXPECT_EQ(run_all(again, &m, done), workload.size()) << where << ": " << vob_errmsg(again);
            vob_close(again);
            EXPECT_EQ(check(m, false, where + ", then the rest"), 0);
        }
    }
    EXPECT_EQ(points, 2 * (calls[IOF_KINDS] + 1));
    RecordProperty("cut_points", int(points));
}

TEST_F(Fault, DroppedSyncThenCutIsNamedAndMendedNeverWrong) {
    std::vector<long> calls = count_calls();
    int refused_total = 0;
    RecordProperty("dropped_points", int(2 * (calls[IOF_SYNC] + calls[IOF_SYNCFS])));
    for (iof_kind kind : {IOF_SYNC, IOF_SYNCFS})
        for (iof_cut_mode mode : {IOF_CUT_TRUNCATE, IOF_CUT_ZERO})
            for (long n = 1; n <= calls[kind]; n++) {
                std::string where = std::string(kind == IOF_SYNC ? "fsync " : "syncfs ") + std::to_string(n) +
                                    (mode == IOF_CUT_ZERO ? " dropped, zeroed" : " dropped");
                vob_t *v = fresh();
                ASSERT_NE(v, nullptr);
                model m = empty_model();
                iof_start(tmp + "/hold");
                iof_fail_nth(kind, n, 0);
                ASSERT_EQ(run_all(v, &m), workload.size()) << where << ": " << vob_errmsg(v);
                EXPECT_EQ(iof_faults_fired(), 1) << where;
                iof_cut_now(mode);
                vob_close(v);
                iof_stop();
                int refused = check(m, true, where);
                refused_total += refused;
                // Writing the same bytes again (an import run again) replaces
                // what was damaged: every version reads back whole.
                vob_t *again = nullptr;
                std::string err;
                ASSERT_EQ(vob_open(storage, &again, &err), VOB_OK) << err;
                model redo = m;
                for (size_t e = 0; e < m.size(); e++)
                    for (const auto &kv : m[e])
                        if (kv.first > 0 && kv.second != REMOVED) {
                            ASSERT_EQ(run(again, {{int(e), kv.second}}, &redo), VOB_OK) << vob_errmsg(again);
                        }
                vob_close(again);
                EXPECT_EQ(check(redo, false, where + ", written again"), 0);
            }
    EXPECT_GT(refused_total, 0);   // the drops did damage something, and it was named
    RecordProperty("refused", refused_total);
}

TEST_F(Fault, FailedCallIsReportedAndCommitsNothing) {
    std::vector<long> calls = count_calls();
    // The writing steps only: their every call comes before the COMMIT.
    const std::vector<size_t> writing = {0, 1, 3};
    int cases = 0;
    for (iof_kind kind : {IOF_OPEN, IOF_WRITE, IOF_SYNC, IOF_SYNCFS, IOF_RENAME, IOF_MKDIR})
        for (int err : {EIO, ENOSPC})
            for (long n = 1; n <= calls[kind]; n++) {
                std::string where =
                    "call " + std::to_string(n) + " of kind " + std::to_string(kind) + ": " + strerror(err);
                vob_t *v = fresh();
                ASSERT_NE(v, nullptr);
                model m = empty_model();
                iof_start(tmp + "/hold");
                iof_fail_nth(kind, n, err);
                size_t failed = workload.size();
                for (size_t i : writing) {
                    model before = m;
                    if (run(v, workload[i], &m) != VOB_OK) {
                        failed = i;
                        EXPECT_NE(vob_errmsg(v).find(strerror(err)), std::string::npos)
                            << where << ": " << vob_errmsg(v);
                        EXPECT_NE(vob_errmsg(v).find("content pool"), std::string::npos) << vob_errmsg(v);
                        EXPECT_EQ(m, before);
                        break;
                    }
                }
                bool fired = iof_faults_fired() == 1;
                vob_close(v);
                iof_stop();
                if (!fired)   // the removal step made that call: not in this run
                    continue;
                cases++;
                EXPECT_NE(failed, workload.size()) << where << ": a failed call was reported as success";
                EXPECT_EQ(check(m, false, where), 0);
                // And the store takes the same step once the fault is gone.
                vob_t *again = nullptr;
                std::string e2;
                ASSERT_EQ(vob_open(storage, &again, &e2), VOB_OK) << e2;
                if (failed < workload.size()) {
                    EXPECT_EQ(run(again, workload[failed], &m), VOB_OK) << where << ": " << vob_errmsg(again);
                }
                vob_close(again);
                EXPECT_EQ(check(m, false, where + ", then again"), 0);
            }
    EXPECT_GT(cases, 20);
    RecordProperty("failed_calls", cases);
}

}   // namespace
