// Figures of the VOB store, each next to a reference measured in the same run:
//  1. versions per second writing 1 element x N versions and M elements x 10
//     versions (1 KiB each), against bare SQLite rows plus the same blobs
//     written with the same transaction batching and the same sync discipline;
//  2. `vantor lsvtree` of an element at two sizes, and `vantor dump --json`
//     of a VOB at two sizes (10-fold apart), with the growth factor.
// Usage: store_bench VANTOR-BINARY WORKDIR [SCALE]   (SCALE 1 = full size)
#include "platform/vob.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using clk = std::chrono::steady_clock;
double since(clk::time_point t0) { return std::chrono::duration<double>(clk::now() - t0).count(); }

int fail(const char *what, const std::string &msg)
{
    fprintf(stderr, "store_bench: %s: %s\n", what, msg.c_str());
    exit(1);
}

std::string blob(long i)
{
    std::string s(1024, 'a' + (char)(i % 26));
    char tag[32];
    int n = snprintf(tag, sizeof tag, "%ld:", i);
    memcpy(s.data(), tag, (size_t)n);
    return s;
}

void progress(const char *what, long done, long total)
{
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

void ref_open(reference &r, const std::string &dir)
{
    std::filesystem::create_directories(dir + "/blobs/tmp");
    r.dir = dir;
    if (sqlite3_open((dir + "/ref.db").c_str(), &r.db) != SQLITE_OK)
        fail("reference", sqlite3_errmsg(r.db));
    sqlite3_exec(r.db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                       "CREATE TABLE r(id INTEGER PRIMARY KEY, elem INTEGER, num INTEGER, name TEXT, size INTEGER)",
                 nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(r.db, "INSERT INTO r(elem, num, name, size) VALUES(?1, ?2, ?3, ?4)", -1, &r.ins, nullptr);
}

void ref_put(reference &r, long elem, long num, const std::string &bytes)
{
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
void ref_commit(reference &r)
{
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

void ref_close(reference &r)
{
    sqlite3_finalize(r.ins);
    sqlite3_close(r.db);
}

// Reference run of `elems` x `vers` with `batch` versions per transaction.
double ref_run(const std::string &dir, long elems, long vers, long batch)
{
    reference r;
    ref_open(r, dir);
    auto t0 = clk::now();
    long in_txn = 0, i = 0;
    for (long e = 0; e < elems; e++)
        for (long k = 1; k <= vers; k++) {
            if (in_txn == 0)
                sqlite3_exec(r.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            ref_put(r, e, k, blob(i++));
            if (++in_txn == batch) {
                ref_commit(r);
                in_txn = 0;
            }
        }
    if (in_txn)
        ref_commit(r);
    double s = since(t0);
    ref_close(r);
    return s;
}

// ---- the store -----------------------------------------------------------------------

vob_t *new_vob(const std::string &tag, const std::string &storage)
{
    std::string err;
    if (vob_make(tag, storage, 0, nullptr, &err) != VOB_OK)
        fail("mkvob", err);
    vob_t *v;
    if (vob_open_tag(tag, &v, &err) != VOB_OK)
        fail("open", err);
    return v;
}

void check(vob_t *v, int rc, const char *what)
{
    if (rc != VOB_OK)
        fail(what, vob_errmsg(v));
}

// One element with `vers` versions, `batch` per transaction.
double store_long(vob_t *v, long vers, long batch)
{
    vob_event ev = vob_event_now("bench");
    vob_oid e, br;
    check(v, vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), "long.c", VOB_MT_FILE_ELEM, 0, &ev, &e), "mkelem");
    vob_elem_info ei;
    check(v, vob_elem_get(v, e, &ei), "elem");
    br = ei.main_branch;
    auto t0 = clk::now();
    for (long i = 0; i < vers; i += batch) {
        vob_txn t(v);
        check(v, t.begin(), "begin");
        for (long k = i; k < i + batch && k < vers; k++) {
            vob_oid ver;
            std::string b = blob(k);
            check(v, vob_ver_create(v, br, vob_data_bytes(b), &ev, &ver), "mkver");
        }
        check(v, t.commit(), "commit");
        progress("1 element", std::min(i + batch, vers), vers);
    }
    return since(t0);
}

// `dirs` directories of `per_dir` elements of `vers` versions; one
// transaction per directory.
double store_wide(vob_t *v, long dirs, long per_dir, long vers, long seed)
{
    vob_event ev = vob_event_now("bench");
    auto t0 = clk::now();
    long n = seed;
    for (long d = 0; d < dirs; d++) {
        vob_txn t(v);
        check(v, t.begin(), "begin");
        char dname[32];
        snprintf(dname, sizeof dname, "d%05ld", d);
        vob_oid dir;
        check(v, vob_elem_create(v, vob_wk_obj(v, VOB_WK_ROOT_DIR), dname, VOB_MT_DIR_ELEM, 0, &ev, &dir), "mkdir");
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
        progress("elements", (d + 1) * per_dir, dirs * per_dir);
    }
    return since(t0);
}

double run_cmd(const std::string &cmd)
{
    auto t0 = clk::now();
    if (system((cmd + " >/dev/null").c_str()) != 0)
        fail("command", cmd);
    return since(t0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: store_bench VANTOR-BINARY WORKDIR [SCALE]\n");
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

    long nlong = (long)(10000 * scale), dirs = (long)(100 * scale), per_dir = 100, vers = 10, batch = 1000;
    long wide = dirs * per_dir * vers;
    printf("VOB store figures (1 KiB contents, %ld versions per transaction)\n", batch);

    vob_t *v = new_vob("/bench1", work + "/bench1");
    double s_long = store_long(v, nlong, batch);
    vob_close(v);
    double r_long = ref_run(work + "/ref1", 1, nlong, batch);
    printf("  1 element x %ld versions:   store %8.0f versions/s, bare SQLite + blobs %8.0f rows/s, ratio %.2f\n",
           nlong, nlong / s_long, nlong / r_long, s_long / r_long);

    v = new_vob("/bench2", work + "/bench2");
    double s_wide = store_wide(v, dirs, per_dir, vers, 0);
    vob_close(v);
    double r_wide = ref_run(work + "/ref2", dirs * per_dir, vers, batch);
    printf("  %ld elements x %ld versions: store %8.0f versions/s, bare SQLite + blobs %8.0f rows/s, ratio %.2f\n",
           dirs * per_dir, vers, wide / s_wide, wide / r_wide, s_wide / r_wide);

    // lsvtree at two sizes: the long element, and one ten times longer.
    v = new_vob("/bench3", work + "/bench3");
    store_long(v, nlong * 10, batch);
    vob_close(v);
    double l1 = run_cmd(vantor + " lsvtree /bench1/long.c"), l10 = run_cmd(vantor + " lsvtree /bench3/long.c");
    printf("  lsvtree: %ld versions %.3f s, %ld versions %.3f s, growth %.1fx for 10x (goal <= 12)\n", nlong, l1,
           nlong * 10, l10, l10 / l1);

    // dump --json at two sizes: the wide VOB, and one ten times larger.
    v = new_vob("/bench4", work + "/bench4");
    store_wide(v, dirs * 10, per_dir, vers, 0);
    vob_close(v);
    double d1 = run_cmd(vantor + " dump --json /bench2"), d10 = run_cmd(vantor + " dump --json /bench4");
    printf("  dump --json: %ld versions %.2f s, %ld versions %.2f s, growth %.1fx for 10x (goal <= 12)\n", wide, d1,
           wide * 10, d10, d10 / d1);
    std::filesystem::remove_all(work);
    return 0;
}
