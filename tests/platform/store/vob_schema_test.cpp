// Schema versions: the index on ver.sha and the record table, a VOB of an
// older schema read as it is where it cannot be written and upgraded by its
// first writer (once, also when two open it together), and a VOB of a newer
// schema refused.
#include "platform/registry/vob_tag.h"
#include "platform/store/vob_int.h"
#include "runtime/digest.h"
#include "tests/common/testutil.h"
#include "tests/common/testvob.h"

#include <csignal>
#include <filesystem>
#include <map>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One value of a query run on the database itself, or "ERROR: ...".
std::string raw1(const std::string &db, const std::string &sql) {
    sqlite3 *h = nullptr;
    std::string got = "ERROR: open";
    if (sqlite3_open(db.c_str(), &h) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        got = "ERROR: " + std::string(sqlite3_errmsg(h));
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            int rc = sqlite3_step(st);
            got = rc == SQLITE_ROW ? std::string((const char *)sqlite3_column_text(st, 0)) : "";
            sqlite3_finalize(st);
        }
    }
    sqlite3_close(h);
    return got;
}

void raw_exec(const std::string &db, const std::string &sql) {
    sqlite3 *h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    char *msg = nullptr;
    EXPECT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
    sqlite3_free(msg);
    sqlite3_close(h);
}

// Every version of the element with its contents, as a reader sees them.
std::string read_all(vob_t *v, vob_oid elem) {
    std::vector<vob_vtree_node> nodes;
    if (vob_elem_get_vtree(v, elem, &nodes) != VOB_OK)
        return "ERROR: " + vob_errmsg(v);
    std::string all;
    for (const vob_vtree_node &n : nodes) {
        std::string bytes = "-";
        if (n.ver.has_data && vob_ver_read_data(v, n.ver.oid, &bytes) != VOB_OK)
            return "ERROR: " + vob_errmsg(v);
        all += n.ver.id + "=" + bytes + ";";
    }
    return all;
}

struct Schema : testvob::VobTest {
    std::string storage, db;
    vob_oid elem = 0;
    void SetUp() override {
        testvob::VobTest::SetUp();
        vob_t *v = make_vob("/s");
        ASSERT_NE(v, nullptr);
        storage = vob_get_storage(v);
        db = storage + "/vob.db";
        // The unprivileged child must reach the storage.
        for (const std::string &d : {home, home + "/vobs"})
            fs::permissions(d, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
        ASSERT_EQ(
            vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "f.c", VOB_MT_FILE_ELEM, 0, nullptr, &elem),
            VOB_OK);
        vob_elem_info info;
        ASSERT_EQ(vob_elem_get(v, elem, &info), VOB_OK);
        for (const char *text : {"one\n", "two\n", "one\n"}) {
            vob_oid ver = 0;
            ASSERT_EQ(vob_ver_create(v, info.main_branch, vob_data_bytes(text), nullptr, &ver), VOB_OK)
                << vob_errmsg(v);
        }
        vob_close(v);
    }
    void TearDown() override {
        set_writable(true);
        testvob::VobTest::TearDown();
    }
    // The database as the first schema left it: no index on sha, no
    // records, and every blob a raw file of the pool, without a row.
    void make_first_schema() {
        for (const char *text : {"", "one\n", "two\n"}) {
            std::string sha;
            ASSERT_EQ(digest_sha256_hex(text, &sha), 0);
            fs::create_directories(storage + "/pool/" + sha.substr(0, 2));
            testutil::write_file(storage + "/pool/" + sha.substr(0, 2) + "/" + sha, text);
        }
        raw_exec(db,
                 "DROP INDEX IF EXISTS ver_sha; DROP TABLE IF EXISTS record; DROP TABLE IF EXISTS blob;"
                 " UPDATE meta SET value = '1' WHERE key = 'schema'");
    }
    std::string schema() { return raw1(db, "SELECT value FROM meta WHERE key = 'schema'"); }
    // The index on sha, the record table and the blob table: "111" when all are there.
    std::string indexes() {
        return raw1(db, "SELECT count(*) FROM sqlite_master WHERE name = 'ver_sha'") +
               raw1(db, "SELECT count(*) FROM sqlite_master WHERE name = 'record'") +
               raw1(db, "SELECT count(*) FROM sqlite_master WHERE name = 'blob'");
    }
    const std::string current = std::to_string(VOB_SCHEMA_VERSION);
    // The storage, writable or not for the unprivileged child.
    void set_writable(bool w) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(storage, ec); !ec && it != fs::end(it);
             it.increment(ec)) {
            fs::permissions(it->path(), fs::perms::owner_write,
                            w ? fs::perm_options::add : fs::perm_options::remove, ec);
            if (geteuid() == 0)
                (void)!chown(it->path().c_str(), testvob::unprivileged_uid(), testvob::unprivileged_uid());
        }
        fs::permissions(storage, fs::perms::owner_write, w ? fs::perm_options::add : fs::perm_options::remove,
                        ec);
        if (geteuid() == 0)
            (void)!chown(storage.c_str(), testvob::unprivileged_uid(), testvob::unprivileged_uid());
    }
};

TEST_F(Schema, IndexUpgradeReadOnlyAndNewer) {
    // A new VOB has the index, and the sha lookups use it.
    EXPECT_EQ(schema(), current);
    EXPECT_EQ(indexes(), "111");
    vob_t *v = nullptr;
    std::string err;
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    std::string want = read_all(v, elem);
    EXPECT_EQ(want, "/main/0=;/main/1=one\n;/main/2=two\n;/main/3=one\n;");
    vob_close(v);
    sqlite3 *h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    for (const char *q : {"SELECT 1 FROM ver WHERE sha = ?1 LIMIT 1", "SELECT oid FROM ver WHERE sha = ?1"}) {
        sqlite3_stmt *st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(h, (std::string("EXPLAIN QUERY PLAN ") + q).c_str(), -1, &st, nullptr),
                  SQLITE_OK);
        std::string details;
        while (sqlite3_step(st) == SQLITE_ROW)
            details += (const char *)sqlite3_column_text(st, 3);
        sqlite3_finalize(st);
        EXPECT_NE(details.find("USING COVERING INDEX ver_sha"), std::string::npos) << q << ": " << details;
    }
    sqlite3_close(h);

    // A VOB of the first schema where it cannot be written: read as it is.
    make_first_schema();
    set_writable(false);
    std::string child = testvob::run_unprivileged([&] {
        vob_t *r = nullptr;
        std::string e;
        if (vob_open(storage, &r, &e) != VOB_OK)
            return "open: " + e;
        std::string got = read_all(r, elem);
        if (!vob_is_read_only(r))
            got += " (not read-only)";
        vob_oid t = 0;
        if (vob_type_create(r, VOB_MT_LBTYPE, "L", nullptr, &t) != VOB_ERR)
            got += " (a write was not refused)";
        std::string says = "VOB \"/s\": its storage \"" + storage + "\" is read-only";
        if (vob_errmsg(r).find(says) == std::string::npos)
            got += " (" + vob_errmsg(r) + ")";
        // Without the table it has no records, and finding one says so.
        std::vector<vob_record> recs{{}};
        if (vob_record_list(r, VOB_MT_PROJECT, &recs) != VOB_OK || !recs.empty())
            got += " (records: " + vob_errmsg(r) + ")";
        vob_oid rec = 0;
        if (vob_record_find(r, VOB_MT_PROJECT, "P", &rec) != VOB_NOT_FOUND ||
            vob_errmsg(r) != "VOB \"/s\": no project named \"P\"")
            got += " (find: " + vob_errmsg(r) + ")";
        vob_close(r);
        return got;
    });
    set_writable(true);
    if (child.rfind("SKIP", 0) == 0)
        GTEST_SKIP() << child;
    EXPECT_EQ(child, want);
    EXPECT_EQ(schema(), "1");
    EXPECT_EQ(indexes(), "000");

    // Two processes open it for writing at once: each writes, it is upgraded once.
    pid_t kids[2];
    for (int i = 0; i < 2; i++) {
        kids[i] = fork();
        if (kids[i] == 0) {
            vob_t *w = nullptr;
            std::string e;
            vob_oid t = 0;
            int ok = vob_open(storage, &w, &e) == VOB_OK &&
                     vob_type_create(w, VOB_MT_LBTYPE, "L" + std::to_string(i), nullptr, &t) == VOB_OK;
            vob_close(w);
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t k : kids) {
        int st = 0;
        waitpid(k, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    EXPECT_EQ(schema(), current);
    EXPECT_EQ(indexes(), "111");
    EXPECT_EQ(raw1(db, "SELECT count(*) FROM type WHERE name IN ('L0', 'L1')"), "2");

    // Another writer holds it while it is opened: the open reads on, and the
    // first write transaction upgrades; one rolled back takes the upgrade with it.
    make_first_schema();
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    EXPECT_EQ(read_all(v, elem), want);
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(schema(), "1");
    {
        vob_txn txn(v, vob_txn::WRITE);
        ASSERT_EQ(txn.begin(), VOB_OK) << vob_errmsg(v);
        txn.rollback();
    }
    EXPECT_EQ(schema(), "1");
    EXPECT_EQ(indexes(), "000");
    vob_oid t = 0;
    ASSERT_EQ(vob_type_create(v, VOB_MT_LBTYPE, "L2", nullptr, &t), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(schema(), current);
    EXPECT_EQ(indexes(), "111");
    vob_close(v);
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;   // again: nothing to do
    vob_close(v);
    EXPECT_EQ(schema(), current);

    // From 2 to 3: a record written to a VOB of schema 2 (held by another
    // writer at the open) upgrades first; a step run again over a table that
    // is there (a schema number set back) keeps the records.
    raw_exec(db, "DROP TABLE record; UPDATE meta SET value = '2' WHERE key = 'schema'");
    ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    std::vector<vob_record> recs;
    EXPECT_EQ(vob_record_list(v, VOB_MT_STREAM, &recs), VOB_OK) << vob_errmsg(v);
    EXPECT_TRUE(recs.empty());
    EXPECT_EQ(indexes(), "101");
    vob_oid rec = 0;
    ASSERT_EQ(vob_record_create(v, VOB_MT_STREAM, "S", "{}", nullptr, &rec), VOB_OK) << vob_errmsg(v);
    EXPECT_EQ(schema(), current);
    EXPECT_EQ(indexes(), "111");
    vob_close(v);
    raw_exec(db, "UPDATE meta SET value = '2' WHERE key = 'schema'");
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    EXPECT_EQ(schema(), current);
    ASSERT_EQ(vob_record_list(v, VOB_MT_STREAM, &recs), VOB_OK) << vob_errmsg(v);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].oid, rec);
    EXPECT_EQ(recs[0].body, "{}");
    vob_close(v);

    // Copies of it taken while a writer holds changes in the log: read-only,
    // the log is read through with its -shm, and said to be unreadable without.
    sqlite3 *w = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &w), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(w, "PRAGMA wal_autocheckpoint=0; UPDATE ver SET sha = NULL WHERE num = 3", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    for (bool with_shm : {true, false}) {
        std::string dir = home + "/vobs/" + (with_shm ? "with_shm" : "without_shm");
        fs::create_directories(dir);
        for (std::string f : {"/vob.db", "/vob.db-wal", "/vob.db-shm"})
            if (with_shm || f != "/vob.db-shm")
                fs::copy_file(storage + f, dir + f);
        fs::copy(storage + "/pool", dir + "/pool", fs::copy_options::recursive);
        testutil::shell("chmod -R a-w '" + dir + "'" +
                        (geteuid() == 0 ? " && chown -R 65534:65534 '" + dir + "'" : std::string()));
        std::string got = testvob::run_unprivileged([&] {
            vob_t *r = nullptr;
            std::string e;
            if (vob_open(dir, &r, &e) != VOB_OK)
                return e;
            std::string all = read_all(r, elem);
            vob_close(r);
            return all;
        });
        testutil::shell("chmod -R u+w '" + dir + "'");
        if (with_shm)
            EXPECT_EQ(got, "/main/0=;/main/1=one\n;/main/2=two\n;/main/3=-;");
        else
            EXPECT_NE(got.find("Cannot read the VOB in \"" + dir + "\": its storage is read-only"),
                      std::string::npos)
                << got;
    }
    sqlite3_close(w);

    // A newer schema is refused, writable or not, naming the VOB and both versions.
    struct {
        const char *value, *says;
    } const newer[] = {
        {"5", "VOB \"/s\" (storage \"STORAGE\") has schema version 5; this program knows versions up to 4"},
        {"12", "has schema version 12; this program knows versions up to 4"},
        {"2x", "is not a VOB database: unknown schema version \"2x\""},
        {"", "is not a VOB database: unknown schema version \"\""},
    };
    for (const auto &c : newer) {
        SCOPED_TRACE(c.value);
        raw_exec(db, "UPDATE meta SET value = '" + std::string(c.value) + "' WHERE key = 'schema'");
        std::string says = c.says;
        if (size_t at = says.find("STORAGE"); at != std::string::npos)
            says.replace(at, 7, storage);
        v = nullptr;
        EXPECT_EQ(vob_open(storage, &v, &err), VOB_CORRUPT);
        EXPECT_EQ(v, nullptr);
        EXPECT_NE(err.find(says), std::string::npos) << err;
        set_writable(false);
        std::string ro = testvob::run_unprivileged([&] {
            vob_t *r = nullptr;
            std::string e;
            int rc = vob_open(storage, &r, &e);
            vob_close(r);
            return rc == VOB_CORRUPT ? e : "status " + std::to_string(rc) + ": " + e;
        });
        set_writable(true);
        EXPECT_NE(ro.find(says), std::string::npos) << ro;
        EXPECT_EQ(schema(), c.value);   // left as it was
    }
}

// A VOB that the store of schema 3 wrote (every blob a raw pool file): the
// first writer upgrades it, every version reads as it was, new versions are
// stored in the new forms against the old raw ones; an upgrade killed half
// way leaves schema 3, and the next open completes it.
TEST(SchemaUpgrade, VobOfSchema3) {
    testutil::TempDir t;
    std::string storage = t.path() + "/old.vbs", db = storage + "/vob.db";
    ASSERT_EQ(testutil::shell("mkdir -p '" + storage + "' && tar -C '" + storage + "' -xzf '" VANTOR_STORE_FIXTURES
                              "/schema3.tar.gz'"),
              0);
    EXPECT_EQ(raw1(db, "SELECT value FROM meta WHERE key = 'schema'"), "3");
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "line " + std::to_string(i) + " of the old text\n";
    std::string bin;
    for (int k = 0; k < 40; k++)
        for (int c = 0; c < 256; c++)
            bin += char(c);
    const std::map<std::string, std::string> want = {
        {"sub/a.c@@/main/1", text},
        {"sub/a.c@@/main/2", text + "two\n"},
        {"sub/a.c@@/main/3", text + "two\nthree\n"},
        {"sub/a.c@@/main/dev/1", text + "on the branch\n"},
        {"sub/a.c@@REL_1", text + "two\n"},
        {"b.bin@@/main/2", bin + std::string("\0\0end", 5)},
        {"c.txt@@/main/1", text},
        {"empty@@/main/1", ""},
    };
    auto read_all_of = [&](vob_t *v) {
        std::string bad;
        for (const auto &[pn, bytes] : want) {
            std::string path = pn.substr(0, pn.find("@@")), vid = pn.substr(pn.find("@@") + 2);
            vob_oid e = 0, ver = 0;
            std::string got;
            if (vob_resolve_path(v, path, nullptr, "", &e, &ver) != VOB_OK || vob_ver_find(v, e, vid, &ver) != VOB_OK ||
                vob_ver_read_data(v, ver, &got) != VOB_OK)
                bad += pn + ": " + vob_errmsg(v) + "\n";
            else if (got != bytes)
                bad += pn + ": other bytes\n";
        }
        return bad;
    };

    // Killed inside its upgrade: the transaction never commits.
    pid_t kid = fork();
    if (kid == 0) {
        sqlite3 *h = nullptr;
        sqlite3_open(db.c_str(), &h);
        sqlite3_exec(h,
                     "BEGIN IMMEDIATE; CREATE TABLE blob(id INTEGER PRIMARY KEY, sha TEXT NOT NULL UNIQUE,"
                     " size INTEGER NOT NULL, form INTEGER NOT NULL, base TEXT, depth INTEGER NOT NULL,"
                     " stored INTEGER NOT NULL, data BLOB);"
                     " INSERT INTO blob(sha, size, form, depth, stored) SELECT sha, size, 0, 0, size FROM ver"
                     " WHERE sha IS NOT NULL LIMIT 2",
                     nullptr, nullptr, nullptr);
        raise(SIGKILL);
    }
    int st = 0;
    waitpid(kid, &st, 0);
    ASSERT_TRUE(WIFSIGNALED(st));
    EXPECT_EQ(raw1(db, "SELECT value FROM meta WHERE key = 'schema'"), "3");
    EXPECT_EQ(raw1(db, "SELECT count(*) FROM sqlite_master WHERE name = 'blob'"), "0");

    vob_t *v = nullptr;
    std::string err;
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    EXPECT_EQ(raw1(db, "SELECT value FROM meta WHERE key = 'schema'"), std::to_string(VOB_SCHEMA_VERSION));
    EXPECT_EQ(raw1(db, "SELECT count(*) FROM ver WHERE sha IS NOT NULL AND sha NOT IN (SELECT sha FROM blob)"), "0");
    EXPECT_EQ(raw1(db, "SELECT count(*) FROM blob WHERE form <> 0 OR data IS NOT NULL"), "0");
    EXPECT_EQ(read_all_of(v), "");

    // New versions: a delta against an old raw blob, a removal of old data.
    vob_oid e = 0, ver = 0, nv = 0;
    ASSERT_EQ(vob_resolve_path(v, "sub/a.c", nullptr, "", &e, &ver), VOB_OK);
    vob_elem_info ei;
    ASSERT_EQ(vob_elem_get(v, e, &ei), VOB_OK);
    std::string four = text + "two\nthree\nfour\n";
    ASSERT_EQ(vob_ver_create(v, ei.main_branch, vob_data_bytes(four), nullptr, &nv), VOB_OK) << vob_errmsg(v);
    vob_ver_info vi;
    ASSERT_EQ(vob_ver_get(v, nv, &vi), VOB_OK);
    EXPECT_EQ(raw1(db, "SELECT form || '/' || depth FROM blob WHERE sha = '" + vi.sha256 + "'"), "2/1");
    std::string got;
    ASSERT_EQ(vob_ver_read_data(v, nv, &got), VOB_OK) << vob_errmsg(v);
    EXPECT_TRUE(got == four);
    ASSERT_EQ(vob_resolve_path(v, "b.bin", nullptr, "", &e, &ver), VOB_OK);
    ASSERT_EQ(vob_ver_find(v, e, "/main/1", &ver), VOB_OK);
    ASSERT_EQ(vob_ver_get(v, ver, &vi), VOB_OK);
    std::string old_pool = storage + "/pool/" + vi.sha256.substr(0, 2) + "/" + vi.sha256;
    EXPECT_TRUE(fs::exists(old_pool));
    ASSERT_EQ(vob_ver_remove_data(v, ver), VOB_OK) << vob_errmsg(v);
    EXPECT_FALSE(fs::exists(old_pool));
    vob_close(v);
    ASSERT_EQ(vob_open(storage, &v, &err), VOB_OK) << err;
    EXPECT_EQ(read_all_of(v), "");
    vob_close(v);
}

}   // namespace
