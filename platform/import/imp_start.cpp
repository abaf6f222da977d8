// imp_start: the order of an import (see imp_start.h), the types and
// directories, the read-ahead of elements with their fetches, and the end.
#include "platform/import/imp_start.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"
#include "runtime/version.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

int cb_call(imp_run *run, int (*fn)(void *)) {
    const imp_callbacks *cb = run->p->callbacks;
    if (cb && fn && fn(cb->ctx))
        run->stopped = true;
    return 0;
}

}   // namespace

// ---- types and directories

int imp_make_types(imp_run *run) {
    const imp_types &t = run->head.types;
    const imp_callbacks *cb = run->p->callbacks;
    struct group {
        int mtype;
        const imp_str_list *names;
        int (*imp_callbacks::*phase)(void *);
    };
    const group groups[] = {
        {VOB_MT_ATTYPE, &t.attribute, &imp_callbacks::phase_attribute_types},
        {VOB_MT_LBTYPE, &t.label, &imp_callbacks::phase_label_types},
        {VOB_MT_BRTYPE, &t.branch, &imp_callbacks::phase_branch_types},
        {VOB_MT_ELTYPE, &t.element, &imp_callbacks::phase_element_types},
    };
    std::string err;
    if (imp_ensure_type(run, VOB_MT_ATTYPE, IMP_ORIGIN_ATTR, &run->origin_attype, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
        return 1;
    }
    for (const group &g : groups) {
        if (cb)
            cb_call(run, cb->*g.phase);
        for (const std::string &name : *g.names) {
            vob_oid oid;
            if (imp_ensure_type(run, g.mtype, name, &oid, &err)) {
                IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
                run->failures++;
            }
        }
    }
    return 0;
}

int imp_make_directories(imp_run *run) {
    const imp_callbacks *cb = run->p->callbacks;
    if (cb)
        cb_call(run, cb->phase_directories);
    for (const std::string &name : run->head.dirs) {
        if (imp_stop_requested()) {
            run->interrupted = true;
            return 0;
        }
        std::map<std::string, vob_oid> made;
        std::string err;
        vob_oid dir = 0;
        std::string path = name == "." ? "" : name;
        vob_txn txn(run->vob);
        if (txn.begin() || imp_ensure_dir(run, path, &dir, &made, &err) || txn.commit()) {
            if (err.empty())
                err = vob_errmsg(run->vob);
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_DIR_FAILED, name.c_str(), err.c_str());
            run->failures++;
            int already;
            (void)hash_str_enter(run->p->not_imported, name.c_str(), nullptr,
                                 &already);   // report list only; counted above
            continue;
        }
        run->dirs.insert(made.begin(), made.end());
        if (!path.empty())
            run->dirs[path] = dir;
        vob_elem_info info;
        if (vob_elem_get(run->vob, dir, &info) != VOB_OK) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_DIR_FAILED, name.c_str(), vob_errmsg(run->vob).c_str());
            run->failures++;
            continue;
        }
        if (cb && cb->directory &&
            cb->directory(cb->ctx, name.c_str(), dir, info.main_branch, made.count(path) ? 1 : 0))
            run->stopped = true;
    }
    return 0;
}

void imp_label_directories(imp_run *run) {
    const std::string &label = *run->head.globals.label_all;
    vob_oid lbtype;
    std::string err;
    if (imp_ensure_type(run, VOB_MT_LBTYPE, label, &lbtype, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
        run->failures++;
        return;
    }
    for (const std::string &name : run->head.dirs) {
        vob_oid dir = run->target;
        if (name != ".") {
            auto it = run->dirs.find(name);
            if (it == run->dirs.end())
                continue;
            dir = it->second;
        }
        vob_elem_info info;
        vob_oid latest;
        vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
        // A directory's label marks the version that holds the imported names,
        // so it moves there from an earlier one.
        if (vob_elem_get(run->vob, dir, &info) ||
            vob_branch_get_latest(run->vob, info.main_branch, &latest) ||
            vob_ver_add_label(run->vob, latest, lbtype, 1, &ev))
            IMSG_PRINT(IMSG_WARNING, cat(), IMP_LABEL_DIR_FAILED, name.c_str(), label.c_str(),
                       vob_errmsg(run->vob).c_str());
    }
}

int imp_ensure_type(imp_run *run, int mtype, const std::string &name, vob_oid *out, std::string *err) {
    auto it = run->types.find({mtype, name});
    if (it != run->types.end()) {
        *out = it->second;
        return 0;
    }
    int rc = vob_type_find(run->vob, mtype, name, out);
    if (rc == VOB_NOT_FOUND) {
        vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
        rc = vob_type_create(run->vob, mtype, name, &ev, out);
        if (rc == VOB_EXISTS)
            rc = 0;
        else if (rc == 0 && run->group.txn)
            run->group.types.push_back({mtype, name});
    }
    if (rc) {
        const char *word = mtype == VOB_MT_ELTYPE   ? "element"
                           : mtype == VOB_MT_BRTYPE ? "branch"
                           : mtype == VOB_MT_LBTYPE ? "label"
                                                    : "attribute";
        *err = IMSG_SPRINTF(cat(), IMP_TYPE_FAILED, word, name.c_str(), vob_errmsg(run->vob).c_str());
        return 1;
    }
    run->types[{mtype, name}] = *out;
    return 0;
}

int imp_ensure_dir(imp_run *run, const std::string &path, vob_oid *out, std::map<std::string, vob_oid> *made,
                   std::string *err) {
    vob_oid cur = run->target;
    std::string prefix;
    for (const std::string &name : imp_split_path(path)) {
        if (name == "." || name == "..") {
            *err = "\"" + path + "\" has a \".\" or \"..\" component";
            return 1;
        }
        prefix += (prefix.empty() ? "" : "/") + name;
        vob_oid cached = 0;
        if (auto d = run->dirs.find(prefix); d != run->dirs.end())
            cached = d->second;
        else if (auto m = made->find(prefix); m != made->end())
            cached = m->second;
        if (cached) {
            cur = cached;
            continue;
        }
        vob_elem_info info, child_info;
        vob_oid latest, child = 0;
        if (vob_elem_get(run->vob, cur, &info) ||
            vob_branch_get_latest(run->vob, info.main_branch, &latest)) {
            *err = vob_errmsg(run->vob);
            return 1;
        }
        int rc = vob_dir_lookup(run->vob, latest, name, &child);
        if (rc == 0) {
            if (vob_elem_get(run->vob, child, &child_info)) {
                *err = vob_errmsg(run->vob);
                return 1;
            }
            if (child_info.mtype != VOB_MT_DIR_ELEM) {
                *err = "\"" + prefix + "\" is a file element in the VOB";
                return 1;
            }
        } else if (rc == VOB_NOT_FOUND) {
            vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
            if (vob_elem_create(run->vob, cur, name, VOB_MT_DIR_ELEM, 0, &ev, &child)) {
                *err = vob_errmsg(run->vob);
                return 1;
            }
            (*made)[prefix] = child;
        } else {
            *err = vob_errmsg(run->vob);
            return 1;
        }
        cur = child;
    }
    *out = cur;
    return 0;
}

// ---- the target and the view update

namespace {

// Names the VOBs of the view that a target at its root can go into.
void hint_view_vobs(imp_run *run) {
    const std::string &root = view_get_root(run->view);
    const std::vector<std::string> &scopes = view_get_scopes(run->view);
    if (scopes.empty()) {
        IMSG_PRINT(IMSG_CONT, cat(), IMP_VIEW_ROOT_EMPTY_TODO, root.c_str(), root.c_str());
        return;
    }
    std::string tags;
    for (const std::string &t : scopes)
        tags += (tags.empty() ? "" : ", ") + t;
    std::string example = root + scopes[0];
    IMSG_PRINT(IMSG_CONT, cat(), IMP_VIEW_ROOT_TODO, root.c_str(), tags.c_str(), example.c_str());
}

}   // namespace

// The directory element of the data file's ".": the target directory, made
// below the VOB root where the view has only a plain directory.
int imp_find_target(imp_run *run, const std::string &abs_target) {
    std::string err;
    if (int rc = view_open(abs_target, &run->view, &err)) {
        // Not found: the reason would only say the same again. Any other
        // failure is a view that cannot be read, and the reason says why.
        if (rc != VOB_NOT_FOUND) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IN_VIEW, run->target_path.c_str(), err.c_str());
            return 1;
        }
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_A_VIEW, run->target_path.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), IMP_NOT_A_VIEW_TODO);
        return 1;
    }
    // The first component below the view root names the VOB; the rest is a
    // path below its root, whose directories need not be elements yet.
    std::string root = view_get_root(run->view);
    std::string r = fileutl_realpath(root), t = fileutl_realpath(abs_target);
    std::vector<std::string> below;
    if (fileutl_path_within(t, r))
        below = imp_split_path(t.substr(r.size()));
    if (below.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IN_VIEW, run->target_path.c_str(),
                   "it lies in no VOB of the view");
        hint_view_vobs(run);
        return 1;
    }
    view_loc loc;
    loc.vob_tag = "/" + below[0];
    for (size_t i = 1; i < below.size(); ++i)
        loc.vob_path += (i > 1 ? "/" : "") + below[i];
    if (view_get_vob(run->view, loc.vob_tag, &run->vob)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IN_VIEW, run->target_path.c_str(),
                   view_errmsg(run->view).c_str());
        const std::vector<std::string> &scopes = view_get_scopes(run->view);
        if (std::find(scopes.begin(), scopes.end(), loc.vob_tag) == scopes.end())
            hint_view_vobs(run);   // else the VOB is the right one and cannot be opened
        return 1;
    }
    run->vob_tag = loc.vob_tag;
    run->target = vob_wk_obj(run->vob, VOB_WK_ROOT_DIR);
    if (loc.vob_path.empty())
        return 0;
    // Make the path's directories below the root as elements where missing.
    vob_txn txn(run->vob);
    std::map<std::string, vob_oid> made;
    vob_oid dir = 0;
    if (txn.begin() || imp_ensure_dir(run, loc.vob_path, &dir, &made, &err) || txn.commit()) {
        if (err.empty())
            err = vob_errmsg(run->vob);
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DIR_FAILED, loc.vob_path.c_str(), err.c_str());
        return 1;
    }
    run->target = dir;
    return 0;
}

namespace {

void update_progress(void *ctx, int64_t done, int64_t total) {
    imp_progress_update(static_cast<imp_run *>(ctx), done, total, false);
}

}   // namespace

int imp_update_view(imp_run *run) {
    const std::vector<std::string> &scopes = view_get_scopes(run->view);
    bool in_scope = false;
    for (const std::string &s : scopes)
        in_scope = in_scope || s == run->vob_tag;
    if (!in_scope && view_add_scope(run->view, run->vob_tag)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_UPDATE_FAILED, view_get_root(run->view).c_str(),
                   view_errmsg(run->view).c_str());
        return 1;
    }
    if (run->p->verbose)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_UPDATING, view_get_root(run->view).c_str());
    view_progress prog;
    prog.cb = update_progress;
    prog.ctx = run;
    prog.with_total = 1;
    view_update_stats stats;
    std::vector<std::string> warnings;
    int rc = view_update(run->view, &prog, &stats, &warnings);
    imp_progress_update(run, run->progress.update_done, run->progress.update_total, true);
    for (const std::string &w : warnings)
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING, w.c_str());
    if (rc) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_UPDATE_FAILED, view_get_root(run->view).c_str(),
                   view_errmsg(run->view).c_str());
        return 1;
    }
    if (stats.no_contents > 0)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_NO_CONTENTS_LEFT_OUT, (long long)stats.no_contents);
    return 0;
}

const int64_t EXPORTER_KIND_CVS = 11;   // as the cvs exporter writes ExporterKind
// ---- the temporary directory

namespace {

void remove_tmp_dir(const std::string &dir) {
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            names.push_back(e->d_name);
    closedir(d);
    for (const std::string &n : names) {
        std::string p = dir + "/" + n;
        struct stat st;
        if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            remove_tmp_dir(p);
        else
            unlink(p.c_str());
    }
    rmdir(dir.c_str());
}

const char TMP_PREFIX[] = "vantimport.";

// Removes the temporary directories of killed runs (see imp_tmp_dir).
void remove_stale_tmp_dirs(const std::string &parent) {
    DIR *d = opendir(parent.c_str());
    if (!d)
        return;
    std::vector<std::string> stale;
    while (dirent *e = readdir(d)) {
        if (std::strncmp(e->d_name, TMP_PREFIX, sizeof TMP_PREFIX - 1) != 0)
            continue;
        std::string dir = parent + "/" + e->d_name;
        struct stat st;
        if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
            lstat((dir + "/kept").c_str(), &st) == 0)
            continue;
        int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            stale.push_back(dir);
        close(fd);
    }
    closedir(d);
    for (const std::string &dir : stale)
        remove_tmp_dir(dir);
}

}   // namespace

// Makes the run's temporary directory and locks it. 0, or errno.
int imp_make_tmp_dir(imp_run *run) {
    std::string parent = fileutl_tmpdir();
    remove_stale_tmp_dirs(parent);
    std::string tmp = parent + "/" + TMP_PREFIX + "XXXXXX";
    if (!mkdtemp(tmp.data()))
        return errno;
    run->tmp.path = tmp;
    run->tmp.keep = run->p->debug != 0;
    run->tmp_dir = tmp;
    int fd = open(tmp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    run->tmp.lock_fd = fd;
    if (flock(fd, LOCK_EX) != 0)
        return errno;
    if (run->tmp.keep) {
        int k = open((tmp + "/kept").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (k < 0)
            return errno;
        close(k);
    }
    return 0;
}

imp_tmp_dir::~imp_tmp_dir() {
    if (!path.empty() && !keep)
        remove_tmp_dir(path);
    if (lock_fd >= 0)
        close(lock_fd);
}

// ---- scheduling

namespace {

// Puts version i of an element into the element's batch when its command can
// be read in process from the same archive as the batch's others. 1 when it was.
int add_to_batch(imp_run *run, imp_queued *q, size_t i) {
    imp_rcs_cmd cmd;
    if (!imp_rcs_recognise(run->inproc, *q->el.versions[i].extract_cmd, run->from_dir, &cmd))
        return 0;
    if (!q->batch) {
        q->batch = std::make_shared<imp_rcs_batch>();
        q->batch->tool = cmd.tool;
        q->batch->archive = cmd.archive;
        q->batch->attic = cmd.attic;
    } else if (q->batch->tool != cmd.tool || q->batch->archive != cmd.archive) {
        return 0;
    }
    imp_fetch &f = q->fetches[i];
    f.slot = int(q->batch->slots.size());
    imp_rcs_slot slot;
    slot.rev = cmd.rev;
    slot.job = f.job;
    q->batch->slots.push_back(std::move(slot));
    return 1;
}

// Reads elements ahead and hands their extract commands to the pool until
// enough fetches are on their way.
void read_ahead(imp_run *run) {
    while (!run->read_end && (run->queue.empty() || run->queued_jobs < run->window)) {
        imp_queued q;
        int rc = imp_read_element(&run->reader, &q.el, &run->read_err);
        if (rc <= 0) {
            run->read_end = true;
            run->read_failed = rc < 0;
            return;
        }
        run->elements_read++;
        run->versions_read += long(q.el.versions.size());
        std::set<std::string> present;
        imp_existing_origins(run, q.el.name, &present);
        q.fetches.resize(q.el.versions.size());
        for (size_t i = 0; i < q.el.versions.size(); ++i) {
            const imp_version &v = q.el.versions[i];
            if (!v.extract_cmd)
                continue;
            imp_fetch &f = q.fetches[i];
            long n = run->tmp_seq++;
            std::string out = run->tmp_dir + "/c" + std::to_string(n);
            std::string work = run->tmp_dir + "/w" + std::to_string(n);
            if (imp_extract_fill(*v.extract_cmd, run->from_dir, out, work, &f.job, &f.fill_error))
                continue;
            if (present.count(std::to_string(v.event.time) + " " + v.version_id))
                continue;   // most likely there already: fetched only if it is not
            if (add_to_batch(run, &q, i))
                continue;
            f.ticket = imp_pool_submit(&run->pool, f.job);
            run->queued_jobs++;
        }
        if (q.batch) {
            imp_extract_job job;
            job.batch = q.batch;
            q.batch_ticket = imp_pool_submit(&run->pool, std::move(job));
            run->queued_jobs += q.batch->slots.size();
        }
        run->queue.push_back(std::move(q));
    }
}

// 1 when every fetch of the element has run or runs within a moment (one
// moment for them all).
int contents_ready(imp_run *run, const imp_queued &q) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    auto done = [&](long ticket) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        return imp_pool_done_within(&run->pool, ticket, int(std::max<long long>(0, left.count()))) != 0;
    };
    if (q.batch_ticket >= 0 && !done(q.batch_ticket))
        return 0;
    for (const imp_fetch &f : q.fetches)
        if (f.ticket >= 0 && !done(f.ticket))
            return 0;
    return 1;
}

}   // namespace

// The worker pool: the import goes on with the workers that could be
// started, and fails only when there are none.
int imp_start_workers(imp_run *run) {
    std::string warning, why;
    run->workers = imp_pool_default_workers(&warning);
    if (!warning.empty())
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING, warning.c_str());
    run->pool.cancelled = imp_stop_requested;
    int started = imp_pool_start(&run->pool, run->workers, run->p->debug != 0, &why);
    if (started == 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_WORKERS, run->datafile.c_str(), why.c_str());
        return 1;
    }
    if (!why.empty())
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING,
                   (why + "; going on with " + std::to_string(started)).c_str());
    run->workers = started;
    // Far enough ahead that the workers stay busy while a commit waits for the disk.
    run->window = size_t(run->workers) * 64 + 64;
    return 0;
}

// The elements of the data file, imported in groups while the pool fetches
// the contents of those read ahead, and the last group committed, also
// after a stop request. Returns the name of the last element handled.
std::string imp_import_elements(imp_run *run) {
    imp_progress_begin(run);

    std::string last;
    while (!run->stopped && !run->interrupted) {
        if (imp_stop_requested()) {
            run->interrupted = true;
            break;
        }
        read_ahead(run);
        if (run->queue.empty())
            break;
        imp_queued q = std::move(run->queue.front());
        run->queue.pop_front();
        // Work that is done is committed before a wait for contents: a slow
        // command must not hold it, nor the VOB, uncommitted.
        if (!run->group.done.empty() && !contents_ready(run, q))
            imp_group_commit(run);
        imp_import_element(run, &q);
        last = q.el.name;
        if (imp_group_full(run))
            imp_group_commit(run);
        imp_progress_tick(run, false);
    }
    // What the group holds is whole, also after a stop request.
    imp_group_commit(run);
    imp_progress_end(run);
    imp_pool_stop(&run->pool);
    return last;
}

// ---- the run

namespace {


// The recorded commands are cvs commands: they need CVSROOT, and nothing can
// be fetched without it. 0, or 1 with *why filled.
int cvsroot_problem(const imp_run *run, std::string *why) {
    const imp_globals &g = run->head.globals;
    std::string dir, leaf;
    if (g.need_cmd)
        fileutl_strip_leaf(*g.need_cmd, &dir, &leaf);
    if (g.exporter_kind != EXPORTER_KIND_CVS && leaf != "cvs")
        return 0;
    const char *env = std::getenv("CVSROOT");
    if (!env || !*env) {
        *why = "CVSROOT is not set";
        return 1;
    }
    std::string root = env;
    for (const char *method : {":local:", ":fork:"})
        if (root.rfind(method, 0) == 0)
            root.erase(0, std::strlen(method));
    if (root.empty() || root[0] != '/')
        return 0;   // a remote repository; only cvs itself can tell
    struct stat st;
    if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "CVSROOT \"" + std::string(env) + "\" is not a directory";
        return 1;
    }
    if (stat((root + "/CVSROOT").c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "CVSROOT \"" + std::string(env) + "\" holds no CVSROOT directory: it is not a repository root";
        return 1;
    }
    return 0;
}

int need_cmd_ok(const imp_run *run) {
    const imp_opt_str &need = run->head.globals.need_cmd;
    if (!need || need->empty())
        return 1;
    if (need->find('/') != std::string::npos)
        return access(need->c_str(), X_OK) == 0;
    return !fileutl_resolve_pathname(*need).empty();
}

// A file read to its end against the counts its globals announce: fewer
// records mean it was cut short (a failure), more only a careless exporter.
void check_counts(imp_run *run) {
    const imp_globals &g = run->head.globals;
    long long ne = g.num_elements, nv = g.num_versions;
    if (run->elements_read < ne || run->versions_read < nv) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_ENDS_EARLY, run->datafile.c_str(), run->elements_read,
                   run->versions_read, ne, nv);
        IMSG_PRINT(IMSG_CONT, cat(), IMP_ENDS_EARLY_TODO);
        run->failures++;
    } else if (run->elements_read > ne || run->versions_read > nv) {
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_MORE_THAN_ANNOUNCED, run->datafile.c_str(), run->elements_read,
                   run->versions_read, ne, nv);
    }
}

// How far an interrupted import got, and that running it again goes on. 1.
int report_interrupted(imp_run *run) {
    if (!run->rolled_back.empty())
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_ROLLED_BACK, run->rolled_back.c_str());
    IMSG_PRINT(IMSG_ERROR, cat(), IMP_INTERRUPTED, run->elements_done, run->elements_new, run->versions_new);
    IMSG_PRINT(IMSG_CONT, cat(), IMP_RUN_AGAIN);
    return 1;
}

// Everything after the parameters were checked and the tables made.
int run_import(imp_run *run) {
    imp_params *p = run->p;
    imp_error err;
    if (imp_reader_open(run->datafile.c_str(), &run->reader, &err) ||
        imp_read_head(&run->reader, &run->head, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(err).c_str());
        return 1;
    }
    const imp_globals &g = run->head.globals;
    if (!need_cmd_ok(run)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NEED_CMD, run->datafile.c_str(), g.need_cmd->c_str());
        return 1;
    }
    std::string cvs_why;
    if (cvsroot_problem(run, &cvs_why)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_CVSROOT, run->datafile.c_str(), cvs_why.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), IMP_CVSROOT_TODO);
        return 1;
    }
    std::string abs_target = fileutl_make_abs_pn(run->target_path);
    struct stat st;
    if (stat(abs_target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_TARGET, run->target_path.c_str());
        return 1;
    }
    if (imp_find_target(run, abs_target))
        return 1;
    run->from_dir = g.export_from_dir.empty() ? fileutl_getcwd() : fileutl_make_abs_pn(g.export_from_dir);
    run->onto = imp_split_path(g.onto_branch.value_or(""));
    p->branch_type = run->onto.empty() ? "" : run->onto.back();
    if (p->verbose)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_READING, run->datafile.c_str(), run->target_path.c_str());

    const imp_callbacks *cb = p->callbacks;
    if (cb && cb->range && cb->range(cb->ctx, long(g.num_elements), long(g.num_versions)))
        run->stopped = true;
    if (imp_make_types(run))
        return 1;
    imp_make_directories(run);

    if (imp_stop_requested())
        run->interrupted = true;
    if (!run->interrupted) {
        if (int e = imp_make_tmp_dir(run)) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_TMP_FAILED, fileutl_tmpdir().c_str(), std::strerror(e));
            return 1;
        }
        if (imp_start_workers(run))
            return 1;
        imp_inproc_configure(&run->inproc);
        if (p->debug && !run->inproc.why_not.empty())
            IMSG_PRINT(IMSG_NOTICE, cat(), IMP_INPROCESS_OFF, run->inproc.why_not.c_str());
    }
    std::string last = imp_import_elements(run);
    if (p->debug && !run->tmp_dir.empty())
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_TMP_KEPT, run->tmp_dir.c_str());

    // A request after the last element still skips the labels and the update.
    if (run->interrupted || imp_stop_requested())
        return report_interrupted(run);
    if (run->stopped) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STOPPED, last.c_str());
        run->failures++;
    } else if (run->read_failed) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(run->read_err).c_str());
        IMSG_PRINT(IMSG_CONT, cat(), IMP_REST_NOT_READ, run->read_err.line, run->datafile.c_str());
        run->failures++;
    } else {
        check_counts(run);
    }
    if (g.label_all && !g.label_all->empty() && p->label_directory)
        imp_label_directories(run);
    if (run->versions_new == 0 && run->elements_new == 0 && run->failures == 0 && run->elements_done > 0)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_NOTHING_NEW, run->datafile.c_str());
    else
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_SUMMARY, run->elements_done, run->elements_new, run->versions_new,
                   run->versions_present, run->versions_identical);
    if (run->revs_in_process + run->revs_by_command > 0)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_INPROCESS_SHARE, run->revs_in_process,
                   run->revs_in_process + run->revs_by_command, run->revs_by_command);
    if (p->load && imp_update_view(run))
        run->failures++;
    if (imp_stop_requested())   // the view update cannot be stopped midway
        return report_interrupted(run);
    return run->failures ? 1 : 0;
}

}   // namespace

void imp_request_stop() { g_stop = 1; }
int imp_stop_requested() { return g_stop != 0; }
void imp_clear_stop() { g_stop = 0; }

vob_event imp_make_event(const imp_run *run, const imp_event &ev, const imp_opt_str &comment) {
    vob_event out = vob_event_now(comment.value_or(""));
    if (run->p->setevent)
        return out;
    if (ev.user) {
        out.user = *ev.user;
        out.name = *ev.user;
    }
    if (ev.group)
        out.group = *ev.group;
    if (ev.name)
        out.name = *ev.name;
    if (ev.host)
        out.host = *ev.host;
    out.time = ev.time;
    return out;
}

std::vector<std::string> imp_split_path(const std::string &path) { return strutl_split(path, '/'); }

int imp_start(imp_params *params) {
    if (!params->imported)
        params->imported = hash_str_create(64, 0, 0);
    if (!params->unchanged)
        params->unchanged = hash_str_create(64, 0, 0);
    if (!params->not_imported)
        params->not_imported = hash_str_create(64, 0, 0);
    if (!params->datafile || !*params->datafile) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_DATAFILE_PARAM);
        return 1;
    }
    imp_run run;
    run.p = params;
    run.datafile = params->datafile;
    run.target_path = params->target_dir && *params->target_dir ? params->target_dir : ".";
    int rc = run_import(&run);
    view_close(run.view);
    return rc;
}

void imp_params_release(imp_params *params) {
    hash_table **tables[] = {&params->imported, &params->unchanged, &params->not_imported};
    for (hash_table **t : tables) {
        if (*t)
            hash_delete_ht(*t);
        *t = nullptr;
    }
}

void libvelkimport_print_verid() { ks_print_banner("libvelkimport"); }