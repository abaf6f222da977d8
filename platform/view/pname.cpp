// Path names of command lines: through a view, or from a VOB tag.
#include "platform/registry/vob_tag.h"
#include "platform/view/pname.h"
#include "platform/registry/registry.h"
#include "platform/store/vob_msg.h"

vob_pname::~vob_pname() {
    if (view)
        view_close(view);   // closes the VOB handles it opened
    else
        vob_close(vob);
}

// The view's answer for a path, and its VOB.
static int take(const view_fhandle &fh, vob_pname *out) {
    out->vob_tag = fh.vob_tag;
    out->vob_path = fh.vob_path;
    out->elem = fh.elem;
    out->ver = fh.ver;
    return view_get_vob(out->view, fh.vob_tag, &out->vob);
}

static int via_view(const std::string &pname, vob_pname *out, std::string *err) {
    view_fhandle fh;
    if (int rc = view_get_fhandle(out->view, pname, &fh)) {
        *err = view_errmsg(out->view);
        return rc;
    }
    std::string p;
    if (!vob_split_xpname(pname, &p, &out->vid))
        out->vid.clear();
    return take(fh, out);
}

// A view path whose element the view does not select, through /main/LATEST.
static int unselected(const std::string &pname, vob_pname *out) {
    view_fhandle fh;
    if (view_get_unselected(out->view, pname, &fh) != VOB_OK)
        return VOB_NOT_FOUND;
    out->unselected = true;
    return take(fh, out);
}

int vob_resolve_pname(const std::string &pname, vob_pname *out, std::string *err, bool unselected_ok) {
    std::string path, vid;
    if (!vob_split_xpname(pname, &path, &vid))
        path = pname;
    std::string e, in_view;   // in_view: why the view could not resolve it
    if (view_open(path.empty() ? "." : path, &out->view, &e) == VOB_OK) {
        view_loc loc;
        if (view_locate(out->view, pname, &loc) == VOB_OK) {
            int rc = via_view(pname, out, err);
            if (rc == VOB_NOT_FOUND && unselected_ok && unselected(pname, out) == VOB_OK)
                return VOB_OK;
            return rc;
        }
        in_view = view_errmsg(out->view);
        if (unselected_ok && unselected(pname, out) == VOB_OK)
            return VOB_OK;
        view_close(out->view);
        out->view = nullptr;
    }
    // Not in a view: a path that starts with a VOB tag, from the VOB root.
    std::vector<rgy_vob> vobs;
    int rc = rgy_vob_list("", &vobs, err);
    if (rc != VOB_OK)
        return rc;
    std::string best;
    for (auto &v : vobs)
        if (path.compare(0, v.tag.size(), v.tag) == 0 &&
            (path.size() == v.tag.size() || path[v.tag.size()] == '/') && v.tag.size() > best.size())
            best = v.tag;
    if (best.empty()) {
        // A path in a view says why the view could not resolve it.
        *err = in_view.empty() ? VOB_MSG(VM_NO_VOB_PATH, pname.c_str()) : in_view;
        return VOB_NOT_FOUND;
    }
    if ((rc = vob_open_tag(best, &out->vob, err)) != VOB_OK)
        return rc;
    out->vob_tag = best;
    out->vob_path = path.size() > best.size() ? path.substr(best.size() + 1) : "";
    while (!out->vob_path.empty() && out->vob_path.back() == '/')
        out->vob_path.pop_back();
    out->vid = vid;
    std::string xp = vid.empty() ? out->vob_path : out->vob_path + "@@" + vid;
    if ((rc = vob_resolve_path(out->vob, xp, nullptr, "", &out->elem, &out->ver)) != VOB_OK) {
        *err = vob_errmsg(out->vob);
        return rc;
    }
    return VOB_OK;
}

vob_pname_cache::~vob_pname_cache() {
    for (view_t *v : views)
        view_close(v);
}

int vob_resolve_pname_cached(vob_pname_cache *cache, const std::string &pname, vob_t **vob, vob_oid *ver,
                             std::string *err) {
    std::string path, vid;
    if (!vob_split_xpname(pname, &path, &vid))
        path = pname;
    auto through = [&](view_t *view) {
        view_fhandle fh;
        if (int rc = view_get_fhandle(view, pname, &fh)) {
            *err = view_errmsg(view);
            return rc;
        }
        *ver = fh.ver;
        return view_get_vob(view, fh.vob_tag, vob);
    };
    view_loc loc;
    for (view_t *view : cache->views)
        if (view_locate(view, pname, &loc) == VOB_OK)
            return through(view);
    view_t *view = nullptr;
    std::string e;
    if (view_open(path.empty() ? "." : path, &view, &e) == VOB_OK) {
        if (view_locate(view, pname, &loc) == VOB_OK) {
            cache->views.push_back(view);
            return through(view);
        }
        view_close(view);
    }
    auto held = std::make_unique<vob_pname>();
    int rc = vob_resolve_pname(pname, held.get(), err);
    if (rc != VOB_OK)
        return rc;
    *vob = held->vob;
    *ver = held->ver;
    cache->held.push_back(std::move(held));
    return VOB_OK;
}
