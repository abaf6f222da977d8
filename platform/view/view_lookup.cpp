// Path lookup through a view: from a path in the view to its VOB, element
// and the version the view selects (or the one "@@" names).
#include "platform/registry/registry.h"
#include "platform/view/view_int.h"
#include "runtime/fileutl.h"

// The longest VOB tag that begins rel ("/proj/src/a.c"): scopes first, then
// the registry; "" when none does.
static std::string vob_tag_of(const view_t *v, const std::string &rel) {
    std::vector<std::string> tags = v->scopes;
    std::vector<rgy_vob> all;
    std::string e;
    if (rgy_vob_list("", &all, &e) == VOB_OK)   // without the registry, the scopes still answer
        for (auto &x : all)
            tags.push_back(x.tag);
    std::string best;
    for (auto &t : tags)
        if (rel.compare(0, t.size(), t) == 0 && (rel.size() == t.size() || rel[t.size()] == '/') &&
            t.size() > best.size())
            best = t;
    return best;
}

// The VOB tag, the path below its root and the version after "@@" of a path
// in the view; VOB_NOT_FOUND (with the message) for one in no VOB of it.
static int vob_place(view_t *v, const std::string &path, view_loc *loc) {
    std::string p;
    if (!vob_split_xpname(path, &p, &loc->vid))
        p = path;
    std::string a = fileutl_make_abs_pn(p.empty() ? "." : p);
    std::string rel;   // "/proj/src/a.c"
    if (a.compare(0, v->root.size(), v->root) == 0 &&
        (a.size() == v->root.size() || a[v->root.size()] == '/'))
        rel = a.substr(v->root.size());
    loc->vob_tag = rel.empty() ? "" : vob_tag_of(v, rel);
    if (loc->vob_tag.empty())
        return view_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_IN_VOB, path.c_str(), v->tag.c_str()));
    loc->vob_path = rel.size() > loc->vob_tag.size() ? rel.substr(loc->vob_tag.size() + 1) : "";
    return VOB_OK;
}

int view_locate(view_t *v, const std::string &path, view_loc *out) {
    view_loc loc;
    if (int rc = vob_place(v, path, &loc))
        return rc;
    const std::string &best = loc.vob_tag;
    fileutl_strip_leaf(loc.vob_path, &loc.dir_path, &loc.leaf);
    if (!loc.vob_path.empty()) {
        vob_t *h;
        int rc = view_get_vob(v, best, &h);
        if (rc != VOB_OK)
            return rc;
        rc = vob_resolve_path(h, loc.dir_path, &v->rules, v->tag, &loc.dir_elem, &loc.dir_ver);
        if (rc != VOB_OK)
            return view_fail(v, rc, vob_errmsg(h));
        int mt = 0;
        if ((rc = vob_obj_get_mtype(h, loc.dir_elem, &mt)) != VOB_OK)
            return view_fail(v, rc, vob_errmsg(h));
        if (mt != VOB_MT_DIR_ELEM)
            return view_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_DIR, best.c_str(), loc.dir_path.c_str()));
    }
    *out = loc;
    return VOB_OK;
}

int view_get_fhandle(view_t *v, const std::string &path, view_fhandle *out) {
    view_loc loc;
    int rc = view_locate(v, path, &loc);
    if (rc != VOB_OK)
        return rc;
    vob_t *h;
    if ((rc = view_get_vob(v, loc.vob_tag, &h)) != VOB_OK)
        return rc;
    view_fhandle fh;
    fh.vob_tag = loc.vob_tag;
    fh.vob_path = loc.vob_path;
    std::string xp = loc.vid.empty() ? loc.vob_path : loc.vob_path + "@@" + loc.vid;
    rc = vob_resolve_path(h, xp, &v->rules, v->tag, &fh.elem, &fh.ver);
    if (rc != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    if ((rc = vob_obj_get_mtype(h, fh.elem, &fh.mtype)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    vob_oid ck;
    rc = vob_elem_find_ckout(h, fh.elem, v->tag, &ck);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return view_fail(v, rc, vob_errmsg(h));
    fh.checkedout = rc == VOB_OK;
    *out = fh;
    return VOB_OK;
}

int view_get_unselected(view_t *v, const std::string &path, view_fhandle *out) {
    std::string before = v->err;   // the caller's failure stays the message
    view_loc loc;
    vob_t *h;
    if (vob_place(v, path, &loc) != VOB_OK || !loc.vid.empty() ||
        view_get_vob(v, loc.vob_tag, &h) != VOB_OK) {
        v->err = before;
        return VOB_NOT_FOUND;
    }
    view_fhandle fh;
    fh.vob_tag = loc.vob_tag;
    fh.vob_path = loc.vob_path;
    std::string keep = vob_errmsg(h);
    vob_oid ver = 0;
    // Selected after all (the failure was another one), or not there at all.
    int rc = vob_resolve_path(h, fh.vob_path, &v->rules, v->tag, &fh.elem, &ver);
    if (rc == VOB_OK || vob_resolve_path(h, fh.vob_path, nullptr, "", &fh.elem, &fh.ver) != VOB_OK ||
        vob_obj_get_mtype(h, fh.elem, &fh.mtype) != VOB_OK) {
        view_fail(v, VOB_NOT_FOUND, keep);
        return VOB_NOT_FOUND;
    }
    *out = fh;
    return VOB_OK;
}

int view_readdir(view_t *v, const view_fhandle &dir, std::vector<view_dirent> *out) {
    vob_t *h;
    int rc = view_get_vob(v, dir.vob_tag, &h);
    if (rc != VOB_OK)
        return rc;
    if (dir.mtype != VOB_MT_DIR_ELEM)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_NOT_DIR, dir.vob_tag.c_str(), dir.vob_path.c_str()));
    std::vector<vob_dirent> ents;
    if ((rc = vob_dir_read(h, dir.ver, &ents)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    out->clear();
    for (auto &e : ents)
        out->push_back({e.name, e.elem, e.mtype});
    return VOB_OK;
}
