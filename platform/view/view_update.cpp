// Update: loads every VOB of the scope by the config spec, keeps checked-out
// and hijacked files, removes what is no longer selected.
//
// Records follow the files (see view_int.h): a file's record is dropped
// before the file is replaced or removed and written once the new copy is in
// place, so an update killed at any point leaves loaded.txt and its journal
// claiming only what is there. A file left without a record that way (and
// any file of the view the records do not know) is taken as the view's own
// when its contents are a version of the element: replacing it loses
// nothing. Any other such file is hijacked and kept.
#include "platform/view/view_int.h"
#include "runtime/digest.h"
#include "runtime/fileutl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct update_ctx {
    view_t *v;
    vob_t *h;
    std::string tag;
    std::map<std::string, loaded_rec> now;   // what this update selects, by path
    view_update_stats st;
    std::vector<std::string> *warnings;
    const view_progress *progress;
    int64_t seen = 0;
    int64_t total = -1;   // the entries the walk will visit; -1: not known
};

void warn(update_ctx &u, const std::string &msg) {
    if (u.warnings)
        u.warnings->push_back(msg);
}

// 1 when the regular file at path holds the contents of a version of elem;
// *same then tells whether that is version ver.
int from_vob(update_ctx &u, vob_oid elem, vob_oid ver, const std::string &path, int *same) {
    struct stat st;
    std::string sha;
    int64_t size;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || digest_sha256_file(path, &sha, &size) != 0)
        return 0;
    vob_ver_info vi;
    *same = vob_ver_get(u.h, ver, &vi) == VOB_OK && vi.has_data && vi.sha256 == sha;
    if (*same)
        return 1;
    std::vector<vob_vtree_node> tree;
    if (vob_elem_get_vtree(u.h, elem, &tree) != VOB_OK)
        return 0;
    for (auto &n : tree)
        if (n.ver.has_data && n.ver.sha256 == sha)
            return 1;
    return 0;
}

int load_tree(update_ctx &u, vob_oid dirver, const std::string &abs_dir, int depth);

// The version the config spec selects for an entry at view path vp
// ("/" + its path from the view root); VOB_NOT_FOUND (no message) when none
// is, and the entry is not loaded.
int choose(update_ctx &u, const vob_dirent &e, const std::string &vp, vob_oid *ver, int *co) {
    int rc = vob_select_version(u.h, e.elem, u.v->rules, u.v->tag, ver, co, e.mtype, &vp);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return view_fail(u.v, rc, vob_errmsg(u.h));
    return rc;
}

int load_dir(update_ctx &u, const vob_dirent &e, const std::string &path, const std::string &rel, int depth) {
    view_t *v = u.v;
    vob_oid dv;
    int co = 0;
    int rc = choose(u, e, "/" + rel, &dv, &co);
    if (rc != VOB_OK)
        return rc == VOB_NOT_FOUND ? VOB_OK : rc;
    int64_t sz, mt;
    int isdir = 0;
    if (view_stat(path, &sz, &mt, &isdir) == 0 && !isdir) {
        warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
        u.st.kept++;
        return VOB_OK;
    }
    if (!isdir && mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), path.c_str(), strerror(errno)));
    loaded_rec r;
    r.vob = u.tag;
    r.elem = e.elem;
    r.dir = 1;
    auto prev = v->loaded.find(rel);
    if ((prev == v->loaded.end() || !prev->second.dir || prev->second.elem != e.elem ||
         prev->second.vob != u.tag) &&
        (rc = view_loaded_record(v, rel, r)) != VOB_OK)
        return rc;
    u.now[rel] = r;
    return load_tree(u, dv, path, depth + 1);
}

int load_file(update_ctx &u, const vob_dirent &e, const std::string &path, const std::string &rel) {
    view_t *v = u.v;
    vob_oid ver;
    int co = 0;
    int rc = choose(u, e, "/" + rel, &ver, &co);
    if (rc != VOB_OK)
        return rc == VOB_NOT_FOUND ? VOB_OK : rc;
    auto prev = v->loaded.find(rel);
    bool known = prev != v->loaded.end();
    int exists = fileutl_exists(path.c_str());
    if (co) {
        // The checked-out copy belongs to the user.
        loaded_rec r = known ? prev->second : loaded_rec();
        r.vob = u.tag;
        r.elem = e.elem;
        r.ver = ver;
        u.now[rel] = r;
        u.st.kept++;
        return VOB_OK;
    }
    vob_ver_info vi;
    if ((rc = vob_ver_get(u.h, ver, &vi)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(u.h));
    if (exists && (!known || !view_untouched(path, prev->second))) {
        int same = 0;
        if (known || !from_vob(u, e.elem, ver, path, &same)) {
            warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
            if (known)
                u.now[rel] = prev->second;
            u.st.kept++;
            return VOB_OK;
        }
        if (same) {
            // Read-only like every loaded copy.
            if (chmod(path.c_str(), 0444) != 0)
                return view_fail(v, VOB_ERR,
                                 VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), path.c_str(), strerror(errno)));
            if ((rc = view_record_file(v, u.tag, path, e.elem, ver)) != VOB_OK)
                return rc;
            u.now[rel] = v->loaded[rel];
            u.st.unchanged++;
            return VOB_OK;
        }
    } else if (exists && prev->second.ver == ver && vi.has_data) {
        u.now[rel] = prev->second;
        u.st.unchanged++;
        return VOB_OK;
    }
    if ((rc = view_loaded_forget(v, rel)) != VOB_OK)
        return rc;
    if (!vi.has_data) {
        // Nothing to load; a copy loaded before (of another version, or of
        // this one before its contents were removed) goes.
        if (exists && unlink(path.c_str()) != 0)
            return view_fail(v, VOB_ERR,
                             VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), path.c_str(), strerror(errno)));
        u.st.no_contents++;
        return VOB_OK;
    }
    if ((rc = view_copy_out(v, u.h, ver, path, 0)) != VOB_OK ||
        (rc = view_record_file(v, u.tag, path, e.elem, ver)) != VOB_OK)
        return rc;
    u.now[rel] = v->loaded[rel];
    u.st.loaded++;
    return VOB_OK;
}

// Loads the names of directory version dirver into abs_dir.
int load_tree(update_ctx &u, vob_oid dirver, const std::string &abs_dir, int depth) {
    view_t *v = u.v;
    if (depth > 1000)
        return view_fail(
            v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs_dir.c_str(), "directories nest too deep"));
    std::vector<vob_dirent> ents;
    int rc;
    if ((rc = vob_dir_read(u.h, dirver, &ents)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(u.h));
    for (const vob_dirent &e : ents) {
        std::string path = abs_dir + "/" + e.name, rel = view_rel_of(v, path);
        if (u.progress && u.progress->cb && ++u.seen % 256 == 0)
            u.progress->cb(u.progress->ctx, u.seen, u.total < 0 ? -1 : std::max(u.total, u.seen));
        rc = e.mtype == VOB_MT_DIR_ELEM ? load_dir(u, e, path, rel, depth) : load_file(u, e, path, rel);
        if (rc != VOB_OK)
            return rc;
    }
    return VOB_OK;
}

// The entries below a directory (at view path vp) that load_tree will
// visit: the same walk over directory versions only, without touching a file.
int count_tree(update_ctx &u, const vob_dirent &dir, const std::string &vp, int depth, int64_t *n) {
    if (depth > 1000)
        return VOB_ERR;
    vob_oid dv;
    int co = 0;
    int rc = vob_select_version(u.h, dir.elem, u.v->rules, u.v->tag, &dv, &co, VOB_MT_DIR_ELEM, &vp);
    if (rc == VOB_NOT_FOUND)
        return VOB_OK;
    std::vector<vob_dirent> ents;
    if (rc != VOB_OK || (rc = vob_dir_read(u.h, dv, &ents)) != VOB_OK)
        return rc;
    *n += int64_t(ents.size());
    for (const vob_dirent &e : ents)
        if (e.mtype == VOB_MT_DIR_ELEM && (rc = count_tree(u, e, vp + "/" + e.name, depth + 1, n)) != VOB_OK)
            return rc;
    return VOB_OK;
}

// The VOB root as a directory entry, for the walks.
vob_dirent root_entry(vob_t *h) {
    vob_dirent r;
    r.elem = vob_wk_obj(h, VOB_WK_ROOT_DIR);
    r.mtype = VOB_MT_DIR_ELEM;
    return r;
}

// The total for the progress figures; left unknown when any VOB cannot be
// read now (the load then reports why).
void count_scopes(update_ctx &u) {
    int64_t n = 0;
    for (const std::string &tag : u.v->scopes) {
        vob_t *h = nullptr;
        if (view_get_vob(u.v, tag, &h) != VOB_OK)
            return;
        u.h = h;
        vob_txn rd(h, vob_txn::READ);
        if (rd.begin() != VOB_OK || count_tree(u, root_entry(h), tag, 0, &n) != VOB_OK ||
            rd.commit() != VOB_OK)
            return;
    }
    u.total = n;
}

int load_scope(update_ctx &u, const std::string &tag) {
    view_t *v = u.v;
    int rc = view_get_vob(v, tag, &u.h);
    if (rc != VOB_OK)
        return rc;
    u.tag = tag;
    std::string top = v->root + tag;
    if (int e = fileutl_mkpath(top.c_str(), 0755))
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), top.c_str(), strerror(e)));
    vob_txn rd(u.h, vob_txn::READ);
    if ((rc = rd.begin()) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(u.h));
    vob_oid dv;
    int co = 0;
    if ((rc = choose(u, root_entry(u.h), tag, &dv, &co)) == VOB_OK)
        rc = load_tree(u, dv, top, 0);
    else if (rc == VOB_NOT_FOUND)
        rc = VOB_OK;
    int crc = rd.commit();
    if (rc == VOB_OK && crc != VOB_OK)
        rc = view_fail(v, crc, vob_errmsg(u.h));
    return rc;
}

// What was loaded before and is no longer selected, deepest first.
int remove_gone(update_ctx &u) {
    view_t *v = u.v;
    std::vector<std::string> gone;
    for (auto &kv : v->loaded)
        if (!u.now.count(kv.first))
            gone.push_back(kv.first);
    std::sort(gone.rbegin(), gone.rend());
    for (const std::string &rel : gone) {
        loaded_rec r = v->loaded[rel];
        std::string path = v->root + "/" + rel;
        int untouched = !r.dir && view_untouched(path, r);
        int rc = view_loaded_forget(v, rel);
        if (rc != VOB_OK)
            return rc;
        if (r.dir) {
            if (rmdir(path.c_str()) == 0 || errno == ENOENT)
                u.st.removed++;
            else
                warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
        } else if (!fileutl_exists(path.c_str())) {
            u.st.removed++;
        } else if (untouched) {
            if (unlink(path.c_str()) != 0)
                return view_fail(v, VOB_ERR,
                                 VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), path.c_str(), strerror(errno)));
            u.st.removed++;
        } else {
            warn(u, VOB_MSG(VM_HIJACKED, path.c_str()));
            u.st.kept++;
        }
    }
    return VOB_OK;
}

}   // namespace

int view_update(view_t *v, const view_progress *progress, view_update_stats *stats,
                std::vector<std::string> *warnings) {
    view_lock lk(v);
    int rc = lk.take();
    if (rc == VOB_OK)
        rc = view_loaded_read(v);
    if (rc != VOB_OK)
        return rc;
    update_ctx u{v, nullptr, "", {}, {}, warnings, progress};
    if (progress && progress->cb && progress->with_total) {
        count_scopes(u);
        v->err.clear();   // a failed count is no failure of the update
        u.h = nullptr;
    }
    for (const std::string &tag : v->scopes)
        if ((rc = load_scope(u, tag)) != VOB_OK)
            break;
    if (rc == VOB_OK)
        rc = remove_gone(u);
    if (rc != VOB_OK) {
        // Keep what was done so far, so that the next update knows it.
        std::string msg = v->err;
        (void)view_loaded_save(v);   // the journal keeps it when this fails
        v->err = msg;
        return rc;
    }
    v->loaded = std::move(u.now);
    rc = view_loaded_save(v);
    if (progress && progress->cb)
        progress->cb(progress->ctx, u.seen, u.seen);
    if (stats)
        *stats = u.st;
    return rc;
}
