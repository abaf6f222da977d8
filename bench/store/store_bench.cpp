// Figures of the VOB store, each next to a reference measured in the same run:
//  1. versions per second writing 1 element x N versions and M elements x 10
//     versions (1 KiB each), against bare SQLite rows plus the same blobs
//     written with the same transaction batching and the same sync discipline;
//  2. `vantor lsvtree` of an element at two sizes, and `vantor dump --json`
//     of a VOB at two sizes (10-fold apart), with the growth factor;
//  3. a lookup of versions by contents (what `rmver -data` asks at its commit,
//     and the pool's recovery of trashed blobs) among a million versions,
//     with the index on ver.sha and without it.
// Usage: store_bench VANTOR-BINARY WORKDIR [SCALE] [sha]   (SCALE 1 = full
// size; "sha": figure 3 alone)
#include "platform/registry/vob_tag.h"
#include "platform/store/vob.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using clk = std::chrono::steady_clock;
double since(clk::time_point t0) { return std::chrono::duration<double>(clk::now() - t0).count(); }

int fail(const char *what, const std::string &msg) {
    fprintf(stderr, "store_bench: %s: %s\n", what, msg.c_str());
    exit(1);
}

std::string blob(long i) {
    std::string s(1024, 'a' + (char)(i % 26));
    char tag[32];
    int n = snprintf(tag, sizeof tag, "%ld:", i);
    memcpy(s.data(), tag, (size_t)n);
    return s;
}

void progress(const char *what, long done, long total) {
    if (isatty(2))
        fprintf(stderr, "\r%s: %ld/%ld", what, done, total);
    if (isatty(2) && done == total)
        fprintf(stderr, "\r%60s\r", "");
}

// ---- the reference: a bare table and the blobs ------------------------------------

struct reference {
    sqlite3 *db = nullptr;
    sqlite3_stmt *ins = nullptr;
    std::string dir;
    std::vector<std::pair<int, std::string>> pending;   // open file, temporary name
    long n = 0;
};

void ref_open(reference &r, const std::string &dir) {
    std::filesystem::create_directories(dir + "/blobs/tmp");
    r.dir = dir;
    if (sqlite3_open((dir + "/ref.db").c_str(), &r.db) != SQLITE_OK)
        fail("reference", sqlite3_errmsg(r.db));
    sqlite3_exec(r.db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE r(id INTEGER PRIMARY KEY, elem INTEGER, num INTEGER, name TEXT, size INTEGER)",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(r.db, "INSERT INTO r(elem, num, name, size) VALUES(?1, ?2, ?3, ?4)", -1, &r.ins,
                       nullptr);
}

void ref_put(reference &r, long elem, long num, const std::string &bytes) {
    std::string name = std::to_string(r.n++);
    std::string tmp = r.dir + "/blobs/tmp/" + name;
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0444);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != (ssize_t)bytes.size())
        fail("reference blob", strerror(errno));
    r.pending.push_back({fd, name});
    sqlite3_bind_int64(r.ins, 1, elem);
    sqlite3_bind_int64(r.ins, 2, num);
    sqlite3_bind_text(r.ins, 3, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(r.ins, 4, (sqlite3_int64)bytes.size());
    if (sqlite3_step(r.ins) != SQLITE_DONE)
        fail("reference insert", sqlite3_errmsg(r.db));
    sqlite3_reset(r.ins);
}

// The same discipline as the pool: sync each blob, rename it into place,
// sync the directory, then commit.
void ref_commit(reference &r) {
    for (auto &p : r.pending) {
        fdatasync(p.first);
        close(p.first);
        std::string final = r.dir + "/blobs/" + p.second;
        rename((r.dir + "/blobs/tmp/" + p.second).c_str(), final.c_str());
    }
    int d = open((r.dir + "/blobs").c_str(), O_RDONLY | O_DIRECTORY);
    fsync(d);
    close(d);
    r.pending.clear();
    sqlite3_exec(r.db, "COMMIT", nullptr, nullptr, nullptr);
}

void ref_close(reference &r) {
    sqlite3_finalize(r.ins);
    sqlite3_close(r.db);
}

// ---- the store against the reference ---------------------------------------------

// Wall and CPU seconds of the two sides, added up transaction by
// transaction: the store and the reference take turns, so that a busy disk
// weighs on both alike.
struct split {
    double wall[2] = {0, 0}, cpu[2] = {0, 0};
};

double cpu_now() {
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (double)ru.ru_utime.tv_sec + (double)ru.ru_stime.tv_sec +
           (double)(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

template <class F> void timed(split &sp, int side, F f) {
    auto t0 = clk::now();
    double c0 = cpu_now();
    f();
    sp.wall[side] += since(t0);
    sp.cpu[side] += cpu_now() - c0;
}

vob_t *new_vob(const std::string &tag, const std::string &storage) {
    std::string err;
    if (vob_make(tag, storage, 0, nullptr, &err) != VOB_OK)
        fail("mkvob", err);
    vob_t *v;
    if (vob_open_tag(tag, &v, &err) != VOB_OK)
        fail("open", err);
    return v;
}

void check(vob_t *v, int rc, const char *what) {
    if (rc != VOB_OK)
        fail(what, vob_errmsg(v));
}

// One element with `vers` versions, `batch` per transaction; ref may be null.
void store_long(vob_t *v, reference *ref, long vers, long batch, split &sp) {
    vob_event ev = vob_event_now("bench");
    vob_oid e;
    check(v, vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "long.c", VOB_MT_FILE_ELEM, 0, &ev, &e),
          "mkelem");
    vob_elem_info ei;
    check(v, vob_elem_get(v, e, &ei), "elem");
    for (long i = 0; i < vers; i += batch) {
        long end = std::min(i + batch, vers);
        timed(sp, 0, [&] {
            vob_txn t(v);
            check(v, t.begin(), "begin");
            for (long k = i; k < end; k++) {
                vob_oid ver;
                std::string b = blob(k);
                check(v, vob_ver_create(v, ei.main_branch, vob_data_bytes(b), &ev, &ver), "mkver");
            }
            check(v, t.commit(), "commit");
        });
        if (ref)
            timed(sp, 1, [&] {
                sqlite3_exec(ref->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
                for (long k = i; k < end; k++)
                    ref_put(*ref, 0, k + 1, blob(k));
                ref_commit(*ref);
            });
        progress("1 element", end, vers);
    }
}

// `dirs` directories of `per_dir` elements of `vers` versions; one
// transaction per directory (the reference gets the same rows per transaction).
void store_wide(vob_t *v, reference *ref, long dirs, long per_dir, long vers, split &sp) {
    vob_event ev = vob_event_now("bench");
    long n = 0;
    for (long d = 0; d < dirs; d++) {
        long first = n;
        timed(sp, 0, [&] {
            vob_txn t(v);
            check(v, t.begin(), "begin");
            char dname[32];
            snprintf(dname, sizeof dname, "d%05ld", d);
            vob_oid dir;
            check(v, vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), dname, VOB_MT_DIR_ELEM, 0, &ev, &dir),
                  "mkdir");
            for (long e = 0; e < per_dir; e++) {
                vob_oid el;
                char fname[32];
                snprintf(fname, sizeof fname, "f%ld.c", e);
                check(v, vob_elem_create(v, dir, fname, VOB_MT_FILE_ELEM, 0, &ev, &el), "mkelem");
                vob_elem_info ei;
                check(v, vob_elem_get(v, el, &ei), "elem");
                for (long k = 0; k < vers; k++) {
                    vob_oid ver;
                    std::string b = blob(n++);
                    check(v, vob_ver_create(v, ei.main_branch, vob_data_bytes(b), &ev, &ver), "mkver");
                }
            }
            check(v, t.commit(), "commit");
        });
        if (ref)
            timed(sp, 1, [&] {
                sqlite3_exec(ref->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
                long m = first;
                for (long e = 0; e < per_dir; e++)
                    for (long k = 0; k < vers; k++)
                        ref_put(*ref, d * per_dir + e, k + 1, blob(m++));
                ref_commit(*ref);
            });
        progress("elements", (d + 1) * per_dir, dirs * per_dir);
    }
}

void print_write(const char *what, long versions, const split &sp) {
    printf("  %-28s store %7.0f versions/s, bare SQLite + blobs %7.0f rows/s, ratio %.2f (CPU ratio %.2f)\n",
           what, (double)versions / sp.wall[0], (double)versions / sp.wall[1], sp.wall[0] / sp.wall[1],
           sp.cpu[0] / sp.cpu[1]);
}

double run_cmd(const std::string &cmd) {
    auto t0 = clk::now();
    if (system((cmd + " >/dev/null").c_str()) != 0)
        fail("command", cmd);
    return since(t0);
}

}   // namespace

void raw(sqlite3 *db, const std::string &sql) {
    char *msg = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK)
        fail("sqlite", msg ? msg : sql);
}

// Seconds per lookup of a sha no version has (the whole answer is "none"),
// the mean of `times` lookups.
double sha_lookup(sqlite3 *db, int times) {
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM ver WHERE sha = ?1 LIMIT 1", -1, &st, nullptr) != SQLITE_OK)
        fail("prepare", sqlite3_errmsg(db));
    auto t0 = clk::now();
    for (int i = 0; i < times; i++) {
        std::string sha = "f" + std::to_string(i);
        sqlite3_bind_text(st, 1, sha.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE)
            fail("lookup", "a sha nobody has was found");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    return since(t0) / times;
}

// Seconds of one `vantor rmver -data`-like call through the store.
double remove_data(vob_t *v, vob_oid ver) {
    auto t0 = clk::now();
    check(v, vob_ver_remove_data(v, ver), "rmver -data");
    return since(t0);
}

// Figure 3: an element with two versions of contents, then n more versions
// (rows of their own, each with a sha) put in with plain SQL.
void sha_figure(const std::string &work, long n) {
    vob_t *v = new_vob("/bench5", work + "/bench5");
    vob_oid elem = 0, vers[2] = {};
    check(v, vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "f.c", VOB_MT_FILE_ELEM, 0, nullptr, &elem),
          "mkelem");
    vob_elem_info info;
    check(v, vob_elem_get(v, elem, &info), "element");
    for (int i = 0; i < 2; i++)
        check(v, vob_ver_create(v, info.main_branch, vob_data_bytes(blob(i)), nullptr, &vers[i]), "checkin");
    std::string db_path = vob_get_storage(v) + "/vob.db";
    vob_close(v);
    sqlite3 *db = nullptr;
    if (sqlite3_open(db_path.c_str(), &db) != SQLITE_OK)
        fail("open", db_path);
    raw(db, "BEGIN");
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO ver(oid, elem, branch, num, sha, size) VALUES(?1, -1, -?1, 1, ?2, 1)",
                       -1, &st, nullptr);
    for (long i = 0; i < n; i++) {
        std::string sha = std::to_string(i * 7919) + "0123456789abcdef0123456789abcdef0123456789abcdef";
        sqlite3_bind_int64(st, 1, 1000000 + i);
        sqlite3_bind_text(st, 2, sha.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE)
            fail("insert", sqlite3_errmsg(db));
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    raw(db, "COMMIT; ANALYZE");
    double with = sha_lookup(db, 2000);
    std::string err;
    if (vob_open(work + "/bench5", &v, &err) != VOB_OK)
        fail("open", err);
    double rm_with = remove_data(v, vers[0]);
    vob_close(v);
    raw(db, "DROP INDEX ver_sha");   // the schema stays 2: nothing puts it back
    double without = sha_lookup(db, 20);
    if (vob_open(work + "/bench5", &v, &err) != VOB_OK)
        fail("open", err);
    double rm_without = remove_data(v, vers[1]);
    vob_close(v);
    sqlite3_close(db);
    printf("  sha lookup among %ld versions: %.1f us with the index, %.1f ms without (%.0fx)\n", n,
           with * 1e6, without * 1e3, without / with);
    printf("  rmver -data among %ld versions: %.1f ms with the index, %.1f ms without\n", n, rm_with * 1e3,
           rm_without * 1e3);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: store_bench VANTOR-BINARY WORKDIR [SCALE] [sha]\n");
        return 1;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string vantor = argv[1], work = argv[2];
    double scale = argc > 3 ? atof(argv[3]) : 1.0;
    if (scale <= 0 || scale > 1)
        scale = 1;
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    setenv("VANTOR_HOME", (work + "/home").c_str(), 1);

    if (argc > 4 && strcmp(argv[4], "sha") == 0) {
        printf("VOB store figures: lookups by contents\n");
        sha_figure(work, (long)(1000000 * scale));
        std::filesystem::remove_all(work);
        return 0;
    }
    long nlong = (long)(10000 * scale), dirs = (long)(100 * scale), per_dir = 100, vers = 10, batch = 1000;
    long wide = dirs * per_dir * vers;
    printf(
        "VOB store figures (1 KiB contents, %ld versions per transaction; store and reference take turns)\n",
        batch);

    split a, b, unused;
    reference r1, r2;
    ref_open(r1, work + "/ref1");
    vob_t *v = new_vob("/bench1", work + "/bench1");
    store_long(v, &r1, nlong, batch, a);
    vob_close(v);
    ref_close(r1);
    print_write(("1 element x " + std::to_string(nlong) + " versions:").c_str(), nlong, a);

    ref_open(r2, work + "/ref2");
    v = new_vob("/bench2", work + "/bench2");
    store_wide(v, &r2, dirs, per_dir, vers, b);
    vob_close(v);
    ref_close(r2);
    print_write(
        (std::to_string(dirs * per_dir) + " elements x " + std::to_string(vers) + " versions:").c_str(), wide,
        b);

    // lsvtree at two sizes: the long element, and one ten times longer.
    v = new_vob("/bench3", work + "/bench3");
    store_long(v, nullptr, nlong * 10, batch, unused);
    vob_close(v);
    double l1 = run_cmd(vantor + " lsvtree /bench1/long.c"),
           l10 = run_cmd(vantor + " lsvtree /bench3/long.c");
    printf("  lsvtree: %ld versions %.3f s, %ld versions %.3f s, growth %.1fx for 10x (goal <= 12)\n", nlong,
           l1, nlong * 10, l10, l10 / l1);

    // dump --json at two sizes: the wide VOB, and one ten times larger.
    v = new_vob("/bench4", work + "/bench4");
    store_wide(v, nullptr, dirs * 10, per_dir, vers, unused);
    vob_close(v);
    double d1 = run_cmd(vantor + " dump --json /bench2"), d10 = run_cmd(vantor + " dump --json /bench4");
    printf("  dump --json: %ld versions %.2f s, %ld versions %.2f s, growth %.1fx for 10x (goal <= 12)\n",
           wide, d1, wide * 10, d10, d10 / d1);
    sha_figure(work, (long)(1000000 * scale));
    std::filesystem::remove_all(work);
    return 0;
}
