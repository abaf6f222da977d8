// Savepoints inside a write transaction, and elements made on a chosen
// branch of their directory.
#include "platform/store/vob_int.h"   // to have the database drop a transaction
#include "platform/store/vob_blob.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <filesystem>
#include <sqlite3.h>

namespace {

namespace fs = std::filesystem;

struct Savepoint : testvob::OpenVobTest {
    vob_oid main_of(vob_oid e) {
        vob_elem_info ei;
        EXPECT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
        return ei.main_branch;
    }
    int mkfile(vob_oid dir, const std::string &name, vob_oid *e = nullptr) {
        vob_oid x;
        return vob_elem_create(v, dir, name, VOB_MT_FILE_ELEM, 0, nullptr, e ? e : &x);
    }
    std::vector<std::string> tree_ids(vob_oid e) { return testvob::vtree_ids(v, e); }
    std::vector<std::string> names_in(vob_oid branch) {
        vob_oid dv = 0;
        EXPECT_EQ(vob_branch_get_latest(v, branch, &dv), VOB_OK);
        std::vector<vob_dirent> d;
        EXPECT_EQ(vob_dir_read(v, dv, &d), VOB_OK);
        std::vector<std::string> names;
        for (auto &e : d)
            names.push_back(e.name);
        return names;
    }
    bool exists(const std::string &path) {
        vob_oid e, ver;
        return vob_resolve_path(v, path, nullptr, "", &e, &ver) == VOB_OK;
    }
    // Contents the store keeps in a pool file: incompressible, past the
    // database's limit.
    static std::string pool_bytes(const std::string &name) {
        std::string b = "bytes of " + name;
        uint64_t x = 0x9e3779b97f4a7c15ull ^ std::hash<std::string>()(name);
        while (b.size() < VOB_INLINE_MAX + 100) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            b += char(x & 0xff);
        }
        return b;
    }
    size_t tmp_files() {
        fs::path d = vob_get_storage(v) + "/pool/tmp";
        return fs::exists(d) ? size_t(std::distance(fs::directory_iterator(d), fs::directory_iterator())) : 0;
    }
    // What a consistency check of the store finds wrong, through its own
    // connection: the database's own check, names of missing elements or in
    // missing versions, elements without a name, blobs without a row or
    // their pool file.
    std::vector<std::string> problems() {
        std::vector<std::string> out;
        sqlite3 *db;
        EXPECT_EQ(
            sqlite3_open_v2((vob_get_storage(v) + "/vob.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
        auto rows = [&](const std::string &sql) {
            std::vector<std::string> r;
            sqlite3_stmt *q;
            EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr), SQLITE_OK) << sql;
            while (sqlite3_step(q) == SQLITE_ROW)
                r.push_back((const char *)sqlite3_column_text(q, 0));
            sqlite3_finalize(q);
            return r;
        };
        if (rows("PRAGMA integrity_check") != std::vector<std::string>{"ok"})
            out.push_back("integrity_check");
        std::string dangling =
            "SELECT 'dirent of missing element ' || name FROM dirent"
            " WHERE elem NOT IN (SELECT oid FROM elem)"
            " UNION ALL SELECT 'dirent in missing version ' || name FROM dirent"
            " WHERE dirver NOT IN (SELECT oid FROM ver)"
            " UNION ALL SELECT 'version without branch ' || oid FROM ver"
            " WHERE branch NOT IN (SELECT oid FROM branch)"
            " UNION ALL SELECT 'unnamed element ' || name FROM elem"
            " WHERE oid NOT IN (SELECT elem FROM dirent) AND oid <> " +
            std::to_string(root());
        for (auto &s : rows(dangling))
            out.push_back(s);
        for (auto &sha : rows("SELECT DISTINCT sha FROM ver WHERE sha IS NOT NULL AND sha NOT IN (SELECT sha FROM blob)"
                              " UNION SELECT 'base ' || base FROM blob WHERE base NOT IN (SELECT id FROM blob)"))
            out.push_back("missing blob " + sha);
        for (auto &sha : rows("SELECT sha FROM blob WHERE data IS NULL"))
            if (!fs::exists(vob_get_storage(v) + "/pool/" + sha.substr(0, 2) + "/" + sha))
                out.push_back("missing pool file " + sha);
        sqlite3_close(db);
        return out;
    }
};

TEST_F(Savepoint, FailedElementRolledBackOthersCommitInOneDirectoryVersion) {
    size_t root_versions = tree_ids(root()).size();
    std::vector<std::string> names = {"a", "b", "broken", "c"};
    std::string bad_sha;
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        for (const std::string &n : names) {
            vob_savepoint sp(v);
            ASSERT_EQ(sp.begin(), VOB_OK) << vob_errmsg(v);
            vob_oid e, ver;
            ASSERT_EQ(mkfile(root(), n, &e), VOB_OK) << vob_errmsg(v);
            std::string bytes = pool_bytes(n);
            ASSERT_EQ(vob_ver_create(v, main_of(e), vob_data_bytes(bytes), nullptr, &ver), VOB_OK);
            if (n != "broken") {
                ASSERT_EQ(sp.release(), VOB_OK);
                continue;
            }
            vob_ver_info vi;
            ASSERT_EQ(vob_ver_get(v, ver, &vi), VOB_OK);
            bad_sha = vi.sha256;
            vob_oid v2;
            ASSERT_NE(vob_ver_create(v, main_of(e), vob_data_file("/nonexistent"), nullptr, &v2), VOB_OK);
            EXPECT_NE(vob_errmsg(v).find("/nonexistent"), std::string::npos);
            ASSERT_EQ(sp.rollback(), VOB_OK) << vob_errmsg(v);
            EXPECT_EQ(tmp_files(), 2u);   // a's and b's
        }
        ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    }
    for (const char *n : {"a", "b", "c"}) {
        vob_oid e, ver;
        ASSERT_EQ(vob_resolve_path(v, n, nullptr, "", &e, &ver), VOB_OK) << n;
        ASSERT_EQ(vob_branch_get_latest(v, main_of(e), &ver), VOB_OK);
        std::string bytes;
        ASSERT_EQ(vob_ver_read_data(v, ver, &bytes), VOB_OK);
        EXPECT_TRUE(bytes == pool_bytes(n)) << n;
    }
    EXPECT_FALSE(exists("broken"));
    std::vector<vob_oid> elems;
    ASSERT_EQ(vob_elem_list(v, &elems), VOB_OK);
    EXPECT_EQ(elems.size(), 5u);   // root, lost+found, a, b, c
    EXPECT_FALSE(fs::exists(vob_get_storage(v) + "/pool/" + bad_sha.substr(0, 2) + "/" + bad_sha));
    EXPECT_EQ(tmp_files(), 0u);
    EXPECT_EQ(problems(), std::vector<std::string>{});
    EXPECT_EQ(tree_ids(root()).size(), root_versions + 1);
    EXPECT_EQ(names_in(main_of(root())), (std::vector<std::string>{"a", "b", "c", "lost+found"}));
}

TEST_F(Savepoint, RolledBackDirectoryVersionIsMadeAgain) {
    std::vector<std::string> before = tree_ids(root());
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        {
            vob_savepoint sp(v);
            ASSERT_EQ(sp.begin(), VOB_OK);
            ASSERT_EQ(mkfile(root(), "x"), VOB_OK);   // makes the transaction's directory version
            ASSERT_EQ(sp.rollback(), VOB_OK);
        }
        ASSERT_EQ(mkfile(root(), "y"), VOB_OK) << vob_errmsg(v);
        ASSERT_EQ(mkfile(root(), "z"), VOB_OK) << vob_errmsg(v);
        ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    }
    std::vector<std::string> after = before;
    after.push_back("/main/" + std::to_string(before.size()));
    EXPECT_EQ(tree_ids(root()), after);
    EXPECT_EQ(names_in(main_of(root())), (std::vector<std::string>{"lost+found", "y", "z"}));
    EXPECT_FALSE(exists("x"));
    EXPECT_EQ(problems(), std::vector<std::string>{});
}

TEST_F(Savepoint, NestingReleaseDestructorAndRefusals) {
    vob_savepoint outside(v);
    EXPECT_EQ(outside.begin(), VOB_ERR);
    EXPECT_NE(vob_errmsg(v).find("\"/t\""), std::string::npos) << vob_errmsg(v);
    {
        vob_txn r(v, vob_txn::READ);
        ASSERT_EQ(r.begin(), VOB_OK);
        vob_savepoint in_read(v);
        EXPECT_EQ(in_read.begin(), VOB_ERR);
    }
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        vob_savepoint outer(v);
        ASSERT_EQ(outer.begin(), VOB_OK);
        {
            vob_savepoint kept(v);
            ASSERT_EQ(kept.begin(), VOB_OK);
            ASSERT_EQ(mkfile(root(), "kept"), VOB_OK);
            ASSERT_EQ(kept.release(), VOB_OK);
        }
        {
            vob_savepoint dropped(v);
            ASSERT_EQ(dropped.begin(), VOB_OK);
            ASSERT_EQ(mkfile(root(), "dropped"), VOB_OK);
        }   // rolled back here
        {
            // A joined transaction rolled back dooms the whole; the savepoint
            // around it undoes that step and the doom with it.
            vob_savepoint sp(v);
            ASSERT_EQ(sp.begin(), VOB_OK);
            {
                vob_txn inner(v);
                ASSERT_EQ(inner.begin(), VOB_OK);
                ASSERT_EQ(mkfile(root(), "doomed"), VOB_OK);
                inner.rollback();
            }
            EXPECT_EQ(mkfile(root(), "refused"), VOB_ERR);
            vob_savepoint in_doomed(v);
            EXPECT_EQ(in_doomed.begin(), VOB_ERR);
            ASSERT_EQ(sp.rollback(), VOB_OK);
            EXPECT_EQ(sp.release(), VOB_ERR);   // already ended
        }
        ASSERT_EQ(mkfile(root(), "after"), VOB_OK) << vob_errmsg(v);
        ASSERT_EQ(outer.release(), VOB_OK);
        // An outer rollback takes a released inner savepoint with it.
        vob_savepoint outer2(v);
        ASSERT_EQ(outer2.begin(), VOB_OK);
        {
            vob_savepoint inner(v);
            ASSERT_EQ(inner.begin(), VOB_OK);
            ASSERT_EQ(mkfile(root(), "inner"), VOB_OK);
            ASSERT_EQ(inner.release(), VOB_OK);
        }
        ASSERT_EQ(outer2.rollback(), VOB_OK);
        ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    }
    EXPECT_TRUE(exists("kept"));
    EXPECT_TRUE(exists("after"));
    for (const char *gone : {"dropped", "doomed", "refused", "inner"})
        EXPECT_FALSE(exists(gone)) << gone;
    EXPECT_EQ(problems(), std::vector<std::string>{});
}

TEST_F(Savepoint, InnerEndedByOuterRollbackIsNoFault) {
    vob_txn t(v);
    ASSERT_EQ(t.begin(), VOB_OK);
    vob_savepoint outer(v);
    ASSERT_EQ(outer.begin(), VOB_OK);
    vob_savepoint inner(v);
    ASSERT_EQ(inner.begin(), VOB_OK);
    ASSERT_EQ(mkfile(root(), "gone"), VOB_OK);
    ASSERT_EQ(outer.rollback(), VOB_OK);
    EXPECT_EQ(inner.rollback(), VOB_OK);   // nothing left to undo
    ASSERT_EQ(mkfile(root(), "stays"), VOB_OK);
    ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    EXPECT_TRUE(exists("stays"));
    EXPECT_FALSE(exists("gone"));
}

TEST_F(Savepoint, InnerRolledBackAfterOuterReleaseDoomsTheTransaction) {
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        vob_savepoint outer(v);
        ASSERT_EQ(outer.begin(), VOB_OK);
        vob_savepoint inner(v);
        ASSERT_EQ(inner.begin(), VOB_OK);
        ASSERT_EQ(mkfile(root(), "x"), VOB_OK);
        ASSERT_EQ(outer.release(), VOB_OK);
        EXPECT_EQ(inner.rollback(), VOB_ERR);   // its changes cannot be taken out any more
        EXPECT_EQ(t.commit(), VOB_ERR);
    }
    EXPECT_FALSE(exists("x"));
}

TEST_F(Savepoint, SavepointOutlivingItsTransactionUndoesNothing) {
    vob_savepoint sp(v);
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        ASSERT_EQ(sp.begin(), VOB_OK);
        ASSERT_EQ(mkfile(root(), "committed"), VOB_OK);
        ASSERT_EQ(t.commit(), VOB_OK);
    }
    vob_txn t2(v);
    ASSERT_EQ(t2.begin(), VOB_OK);
    EXPECT_EQ(sp.rollback(), VOB_ERR);   // not a success: the commit kept its changes
    ASSERT_EQ(mkfile(root(), "next"), VOB_OK) << vob_errmsg(v);
    ASSERT_EQ(t2.commit(), VOB_OK) << vob_errmsg(v);
    EXPECT_TRUE(exists("committed"));
    EXPECT_TRUE(exists("next"));
}

TEST_F(Savepoint, TransactionLostByTheDatabaseStaysDoomed) {
    {
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        ASSERT_EQ(mkfile(root(), "before"), VOB_OK);
        vob_savepoint sp(v);
        ASSERT_EQ(sp.begin(), VOB_OK);
        ASSERT_EQ(mkfile(root(), "inside"), VOB_OK);
        // As SQLite does after some I/O failures: the whole transaction goes.
        ASSERT_EQ(sqlite3_exec(v->db, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(sp.rollback(), VOB_ERR);
        EXPECT_NE(vob_errmsg(v).find("\"/t\""), std::string::npos) << vob_errmsg(v);
        EXPECT_EQ(mkfile(root(), "later"), VOB_ERR);
        EXPECT_EQ(t.commit(), VOB_ERR);
    }
    for (const char *n : {"before", "inside", "later"})
        EXPECT_FALSE(exists(n)) << n;
    EXPECT_EQ(tmp_files(), 0u);
    // The handle works on.
    ASSERT_EQ(mkfile(root(), "next"), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(problems(), std::vector<std::string>{});
}

TEST_F(Savepoint, ElementOnADirectoryBranch) {
    vob_oid dev, src, br, dv, e, file;
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", nullptr, &dev), VOB_OK);
    ASSERT_EQ(vob_elem_create(v, root(), "src", VOB_MT_DIR_ELEM, 0, nullptr, &src), VOB_OK);
    ASSERT_EQ(mkfile(src, "old", &file), VOB_OK);
    ASSERT_EQ(vob_branch_get_latest(v, main_of(src), &dv), VOB_OK);
    ASSERT_EQ(vob_branch_create(v, dv, dev, nullptr, &br), VOB_OK);

    ASSERT_EQ(vob_elem_create_in(v, src, br, "new", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_OK)
        << vob_errmsg(v);
    EXPECT_EQ(names_in(br), (std::vector<std::string>{"new", "old"}));
    EXPECT_EQ(names_in(main_of(src)), std::vector<std::string>{"old"});
    EXPECT_EQ(tree_ids(src), (std::vector<std::string>{"/main/0", "/main/1", "/main/dev/0", "/main/dev/1"}));
    // Names are checked on the branch they go to.
    EXPECT_EQ(vob_elem_create_in(v, src, br, "new", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_EXISTS);
    EXPECT_EQ(vob_elem_create_in(v, src, br, "old", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_EXISTS);
    EXPECT_EQ(mkfile(src, "new"), VOB_OK) << vob_errmsg(v);
    // Only branches of that directory.
    for (vob_oid foreign : {main_of(root()), main_of(file)}) {
        EXPECT_EQ(vob_elem_create_in(v, src, foreign, "x", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_NOT_FOUND);
        EXPECT_NE(vob_errmsg(v).find("\"/t\""), std::string::npos);
    }
    // The branch's lock counts, main's does not.
    ASSERT_EQ(vob_obj_lock(v, br, 0, nullptr), VOB_OK);
    EXPECT_EQ(vob_elem_create_in(v, src, br, "x", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_LOCKED);
    EXPECT_EQ(mkfile(src, "x"), VOB_OK);
    ASSERT_EQ(vob_obj_unlock(v, br), VOB_OK);
    EXPECT_EQ(problems(), std::vector<std::string>{});
}

TEST_F(Savepoint, ReservedDirectoryBranchRefusesBeforeWriting) {
    vob_oid dev, src, dv, br, ck, e;
    ASSERT_EQ(vob_type_create(v, VOB_MT_BRTYPE, "dev", nullptr, &dev), VOB_OK);
    ASSERT_EQ(vob_elem_create(v, root(), "src", VOB_MT_DIR_ELEM, 0, nullptr, &src), VOB_OK);
    ASSERT_EQ(vob_branch_get_latest(v, main_of(src), &dv), VOB_OK);
    ASSERT_EQ(vob_branch_create(v, dv, dev, nullptr, &br), VOB_OK);
    ASSERT_EQ(vob_checkout(v, br, 1, "elsewhere", nullptr, &ck), VOB_OK);
    ASSERT_EQ(vob_checkout(v, main_of(root()), 1, "elsewhere", nullptr, &ck), VOB_OK);
    std::vector<vob_oid> elems;
    ASSERT_EQ(vob_elem_list(v, &elems), VOB_OK);
    {
        // Refusals: the caller's transaction goes on and commits.
        vob_txn t(v);
        ASSERT_EQ(t.begin(), VOB_OK);
        EXPECT_EQ(vob_elem_create_in(v, src, br, "x", VOB_MT_FILE_ELEM, 0, nullptr, &e), VOB_CKOUT);
        EXPECT_NE(vob_errmsg(v).find("elsewhere"), std::string::npos) << vob_errmsg(v);
        EXPECT_EQ(mkfile(root(), "x"), VOB_CKOUT);
        ASSERT_EQ(mkfile(src, "on-main"), VOB_OK) << vob_errmsg(v);
        ASSERT_EQ(t.commit(), VOB_OK) << vob_errmsg(v);
    }
    std::vector<vob_oid> now;
    ASSERT_EQ(vob_elem_list(v, &now), VOB_OK);
    EXPECT_EQ(now.size(), elems.size() + 1);
    EXPECT_EQ(problems(), std::vector<std::string>{});
}

}   // namespace
