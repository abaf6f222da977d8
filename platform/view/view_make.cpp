// Making, opening, closing and removing snapshot views; the VOB handles an
// open view owns.
#include "platform/registry/vob_tag.h"
#include "platform/registry/registry.h"
#include "platform/view/view_int.h"
#include "runtime/fileutl.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

static bool tag_ok(const std::string &tag) {
    return !tag.empty() && tag.size() <= 255 && tag.find('/') == std::string::npos &&
           tag.find("@@") == std::string::npos && tag.find_first_of(" \t\r\n") == std::string::npos &&
           tag != "." && tag != "..";
}

int view_make(const std::string &tag, const std::string &dir, std::string *err) {
    if (!tag_ok(tag)) {
        *err = VOB_MSG(VM_BAD_NAME, "-", "view tag", tag.c_str());
        err->erase(0, err->find(':') + 2);
        return VOB_ERR;
    }
    std::string root = fileutl_make_abs_pn(dir);
    int rc = rgy_view_tag_free(tag, err);
    if (rc != VOB_OK)
        return rc;
    if (!fileutl_is_empty_dir_or_missing(root.c_str())) {
        *err = VOB_MSG(VM_VIEW_EXISTS, root.c_str());
        return VOB_EXISTS;
    }
    bool had_root = fileutl_exists(root.c_str());
    if (int e = fileutl_mkpath(root.c_str(), 0755)) {
        *err = VOB_MSG(VM_MKDIR, root.c_str(), strerror(e));
        return VOB_ERR;
    }
    // The metadata directory is made, not found: of two processes making a
    // view in one directory, one gets it and the other is refused.
    std::string meta = root + "/" + VIEW_META_DIR;
    if (mkdir(meta.c_str(), 0755) != 0) {
        int e = errno;
        *err = e == EEXIST ? VOB_MSG(VM_VIEW_EXISTS, root.c_str())
                           : VOB_MSG(VM_MKDIR, meta.c_str(), strerror(e));
        return e == EEXIST ? VOB_EXISTS : VOB_ERR;
    }
    view_t v;
    v.root = root;
    v.tag = tag;
    v.cspec = view_default_config_spec();
    rc = view_meta_save(&v);
    if (rc == VOB_OK)
        rc = view_loaded_save(&v);
    if (rc != VOB_OK)
        *err = v.err;
    rgy_view entry;
    entry.tag = tag;
    entry.dir = root;
    if (rc == VOB_OK)
        rc = rgy_view_add(entry, err);
    if (rc != VOB_OK) {
        std::error_code ec;
        std::filesystem::remove_all(meta, ec);
        if (!had_root)
            rmdir(root.c_str());
    }
    return rc;
}

int view_open(const std::string &path, view_t **out, std::string *err) {
    std::string p, vid;
    if (!vob_split_xpname(path, &p, &vid))
        p = path;
    std::string a = fileutl_make_abs_pn(p.empty() ? "." : p);
    for (;;) {
        struct stat st;
        if (stat((a + "/" + VIEW_META_DIR + "/view.json").c_str(), &st) == 0) {
            view_t *v = new view_t;
            int rc = view_meta_read(v, a, err);
            if (rc != VOB_OK) {
                delete v;
                return rc;
            }
            *out = v;
            return VOB_OK;
        }
        if (a == "/")
            break;
        std::string leaf;
        fileutl_strip_leaf(std::string(a), &a, &leaf);
    }
    *err = VOB_MSG(VM_NOT_IN_VIEW, path.c_str());
    return VOB_NOT_FOUND;
}

void view_close(view_t *v) {
    if (!v)
        return;
    for (auto &kv : v->vobs)
        vob_close(kv.second);
    delete v;
}

const std::string &view_errmsg(const view_t *v) { return v->err; }
const std::string &view_get_tag(const view_t *v) { return v->tag; }
const std::string &view_get_root(const view_t *v) { return v->root; }

int view_get_vob(view_t *v, const std::string &tag, vob_t **vob) {
    auto it = v->vobs.find(tag);
    if (it != v->vobs.end()) {
        *vob = it->second;
        return VOB_OK;
    }
    vob_t *h = nullptr;
    std::string e;
    int rc = vob_open_tag(tag, &h, &e);
    if (rc != VOB_OK)
        return view_fail(v, rc, e);
    v->vobs[tag] = h;
    *vob = h;
    return VOB_OK;
}

// The checkouts of this view in every registered VOB that can be opened.
static int view_ckouts(view_t *v, std::vector<std::pair<vob_t *, vob_oid>> *cks, std::string *err) {
    std::vector<rgy_vob> vobs;
    int rc = rgy_vob_list("", &vobs, err);
    for (size_t i = 0; rc == VOB_OK && i < vobs.size(); i++) {
        vob_t *h;
        if (view_get_vob(v, vobs[i].tag, &h) != VOB_OK)
            continue;   // a VOB that cannot be opened holds nothing this could cancel
        std::vector<vob_ckout> c;
        if ((rc = vob_view_ckouts(h, v->tag, &c)) != VOB_OK) {
            *err = vob_errmsg(h);
            break;
        }
        for (auto &x : c)
            cks->push_back({h, x.oid});
    }
    return rc;
}

int view_remove(const std::string &dir, int force, std::string *err) {
    view_t *v = nullptr;
    int rc = view_open(dir, &v, err);
    if (rc != VOB_OK)
        return rc;
    if (fileutl_make_abs_pn(dir) != v->root) {
        *err = VOB_MSG(VM_NOT_IN_VIEW, dir.c_str());
        err->append(" (give the view's root directory)");
        view_close(v);
        return VOB_ERR;
    }
    std::vector<std::pair<vob_t *, vob_oid>> cks;
    {
        // No update or element work of another process is halfway through.
        view_lock lk(v);
        if ((rc = lk.take()) != VOB_OK)
            *err = v->err;
        if (rc == VOB_OK)
            rc = view_ckouts(v, &cks, err);
        if (rc == VOB_OK && !cks.empty() && !force) {
            *err = VOB_MSG(VM_VIEW_CKOUTS, v->tag.c_str(), (int)cks.size());
            rc = VOB_CKOUT;
        }
        for (size_t i = 0; rc == VOB_OK && i < cks.size(); i++)
            if (vob_uncheckout(cks[i].first, cks[i].second) != VOB_OK) {
                *err = vob_errmsg(cks[i].first);
                rc = VOB_ERR;
            }
        if (rc == VOB_OK)
            rc = rgy_view_remove(v->tag, "", err);
    }
    if (rc == VOB_OK) {
        std::error_code ec;
        std::filesystem::remove_all(v->root, ec);
        if (ec) {
            *err = VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), v->root.c_str(), ec.message().c_str());
            rc = VOB_ERR;
        }
    }
    view_close(v);
    return rc;
}
