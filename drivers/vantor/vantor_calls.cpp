// The driver's calls: each one a short step over the store and the views.
#include "drivers/vantor/vantor_calls.h"
#include "platform/registry/vob_tag.h"

#include "platform/view/pname.h"
#include "platform/view/view.h"
#include "platform/store/vob.h"
#include "platform/store/vob_msg.h"
#include "runtime/fileutl.h"

#include <map>
#include <unordered_map>
#include <memory>

namespace {

struct view_closer {
    void operator()(view_t *v) const { view_close(v); }
};
struct vob_closer {
    void operator()(vob_t *v) const { vob_close(v); }
};

// Views the resolved paths lay in (each owns the VOB handles it opened),
// VOBs reached by tag outside any view, and one read transaction per VOB
// handle given out. Opening a view reads its records, so it is done once per
// view and run. The read transactions stay open until the cache is flushed:
// the run reads one state of each VOB however others write meanwhile, and
// the reads do not each take and drop the database's locks (which costs
// more than the queries themselves). They end before the handles close:
// members are destroyed in the reverse order of their declaration.
struct call_cache {
    std::vector<std::unique_ptr<view_t, view_closer>> views;
    std::map<std::string, std::unique_ptr<vob_t, vob_closer>> tag_vobs;
    std::map<vob_t *, std::unique_ptr<vob_txn>> snapshots;
    void flush() {
        snapshots.clear();   // read only: rolling back loses nothing
        views.clear();
        tag_vobs.clear();
    }
};

call_cache &cache() {
    static call_cache c;
    return c;
}
std::vector<std::unique_ptr<view_t, view_closer>> &views() { return cache().views; }
std::map<std::string, std::unique_ptr<vob_t, vob_closer>> &tag_vobs() { return cache().tag_vobs; }

int hold_snapshot(vob_t *vob, std::string *err) {
    auto &m = cache().snapshots;
    if (m.count(vob))
        return VOB_OK;
    auto txn = std::make_unique<vob_txn>(vob, vob_txn::READ);
    if (int rc = txn->begin()) {
        *err = vob_errmsg(vob);
        return rc;
    }
    m.emplace(vob, std::move(txn));
    return VOB_OK;
}

// The cached view that holds path, else one opened now; *view null when
// the path is in no view. A view that cannot be opened (its VOB damaged,
// say) is a failure, not a path outside views.
int view_of(const std::string &path, view_t **view, std::string *err) {
    std::string abs = fileutl_make_abs_pn(path.empty() ? "." : path);
    for (auto &v : views()) {
        const std::string &root = view_get_root(v.get());
        if (abs.compare(0, root.size(), root) == 0 &&
            (abs.size() == root.size() || abs[root.size()] == '/')) {
            *view = v.get();
            return VOB_OK;
        }
    }
    view_t *v = nullptr;
    *view = nullptr;
    int rc = view_open(path.empty() ? "." : path, &v, err);
    if (rc == VOB_NOT_FOUND)
        return VOB_OK;
    if (rc != VOB_OK)
        return rc;
    views().emplace_back(v);
    *view = v;
    return VOB_OK;
}

int tag_vob(const std::string &tag, vob_t **out, std::string *err) {
    auto it = tag_vobs().find(tag);
    if (it == tag_vobs().end()) {
        vob_t *v = nullptr;
        if (int rc = vob_open_tag(tag, &v, err))
            return rc;
        it = tag_vobs().emplace(tag, v).first;
    }
    *out = it->second.get();
    return VOB_OK;
}

// What the walk's directory reads found for each name, by absolute path:
// the walk then asks of every name (its kind, whether it is lost+found, its
// element and version), and the answers are already known. Kept only for
// handles that hold a snapshot, so they cannot go stale during the run.
struct walked_name {
    vob_t *vob = nullptr;
    std::string vob_tag;
    vob_oid elem = 0, ver = 0;
    int mtype = 0;
};
std::unordered_map<std::string, walked_name> &walked() {
    static std::unordered_map<std::string, walked_name> m;
    return m;
}

const walked_name *walked_find(const std::string &path) {
    auto &m = walked();
    if (m.empty())
        return nullptr;
    auto it = m.find(fileutl_make_abs_pn(path.empty() ? "." : path));
    if (it == m.end() || !cache().snapshots.count(it->second.vob))
        return nullptr;
    return &it->second;
}

// "path" or "path@@vid" through a view, or from a VOB tag: the element and the
// version selected or named.
int resolve(const std::string &xpath, const std::string &path, vob_t **vob, vob_oid *elem, vob_oid *ver,
            std::string *err) {
    if (xpath == path)
        if (const walked_name *w = walked_find(path)) {
            *vob = w->vob;
            *elem = w->elem;
            *ver = w->ver;
            return VOB_OK;
        }
    view_t *view = nullptr;
    if (int rc = view_of(path, &view, err))
        return rc;
    if (view) {   // a path in a view is that view's to answer
        view_fhandle fh;
        if (int rc = view_get_fhandle(view, xpath, &fh)) {
            *err = view_errmsg(view);
            return rc;
        }
        *elem = fh.elem;
        *ver = fh.ver;
        if (int rc = view_get_vob(view, fh.vob_tag, vob)) {
            *err = view_errmsg(view);
            return rc;
        }
        return hold_snapshot(*vob, err);
    }
    vob_pname pn;   // outside views: opens the VOB only to learn the tag and the objects
    if (int rc = vob_resolve_pname(xpath, &pn, err))
        return rc;
    *elem = pn.elem;
    *ver = pn.ver;
    if (int rc = tag_vob(pn.vob_tag, vob, err))
        return rc;
    return hold_snapshot(*vob, err);
}

int fit(vob_t *vob, const std::string &text, size_t size, const char *what, std::string *out) {
    int rc = vt_fits(vob, text, size, what);
    if (rc == VOB_OK)
        *out = text;
    return rc;
}

}   // namespace

int vob_ob_all_cache_action(int, int flush, int) {
    if (flush) {
        walked().clear();
        cache().flush();
    }
    return VOB_OK;
}

int vob_resolve_vob_obj(const std::string &path, vob_t **vob, vob_oid *obj, std::string *err) {
    std::string p, vid;
    int has_vid = vob_split_xpname(path, &p, &vid);
    if (!has_vid)
        p = path;
    vob_oid elem = 0, ver = 0;
    vob_t *v = nullptr;
    // "path@@" names the element: resolve the path alone and keep the element.
    const std::string &xpath = has_vid && vid.empty() ? p : path;
    if (int rc = resolve(xpath, p, &v, &elem, &ver, err))
        return rc;
    *vob = v;
    *obj = has_vid && vid.empty() ? elem : ver;
    return VOB_OK;
}

int vob_ob_get_wk_obj(vob_t *vob, int wk, vob_oid *obj) {
    vob_oid o = vob_wk_obj(vob, wk);
    if (o == VOB_OID_NULL)
        return vob_fail(vob, VOB_NOT_FOUND, VOB_MSG(VM_NO_WK, vob_get_tag(vob).c_str(), wk));
    *obj = o;
    return VOB_OK;
}

int vt_fits(vob_t *vob, const std::string &text, size_t size, const char *what) {
    if (text.size() < size)
        return VOB_OK;
    return vob_fail(
        vob, VOB_TOO_LONG,
        VOB_MSG(VM_TOO_LONG, vob_get_tag(vob).c_str(), what, text.c_str(), text.size(), size - 1));
}

// The versions and branches of the last version tree read, so that the
// questions the exporter then asks of each version (its id, branch, branch
// path, whether it has contents) cost no query. Used only on handles that
// hold a snapshot: nothing can change under the memo there.
struct vtree_memo {
    vob_t *vob = nullptr;
    std::unordered_map<vob_oid, vob_ver_info> vers;
    std::unordered_map<vob_oid, std::string> branch_paths;
};
vtree_memo &memo() {
    static vtree_memo m;
    return m;
}

void remember(vob_t *vob, const std::vector<vob_vtree_node> &flat) {
    vtree_memo &m = memo();
    m.vob = cache().snapshots.count(vob) ? vob : nullptr;
    m.vers.clear();
    m.branch_paths.clear();
    if (!m.vob)
        return;
    for (const vob_vtree_node &n : flat) {
        m.vers[n.ver.oid] = n.ver;
        m.branch_paths[n.ver.branch] = n.ver.id.substr(0, n.ver.id.rfind('/'));
    }
}

const vob_ver_info *remembered_ver(vob_t *vob, vob_oid ver) {
    vtree_memo &m = memo();
    if (m.vob != vob || !cache().snapshots.count(vob))
        return nullptr;
    auto it = m.vers.find(ver);
    return it == m.vers.end() ? nullptr : &it->second;
}

// A version's facts: from the memo when the last tree read holds it, else
// from the store into *scratch. Null after a failure (*rc set).
const vob_ver_info *ver_info(vob_t *vob, vob_oid ver, vob_ver_info *scratch, int *rc) {
    if (const vob_ver_info *known = remembered_ver(vob, ver))
        return known;
    *rc = vob_ver_get(vob, ver, scratch);
    return *rc == VOB_OK ? scratch : nullptr;
}

int vt_ver_no_contents(vob_t *vob, vob_oid ver) {
    vob_ver_info scratch;
    int rc = VOB_OK;
    const vob_ver_info *vi = ver_info(vob, ver, &scratch, &rc);
    return vi ? !vi->has_data : rc == VOB_NOT_FOUND;
}

const std::string *remembered_branch(vob_t *vob, vob_oid branch) {
    vtree_memo &m = memo();
    if (m.vob != vob || !cache().snapshots.count(vob))
        return nullptr;
    auto it = m.branch_paths.find(branch);
    return it == m.branch_paths.end() ? nullptr : &it->second;
}

int cmd_utl_get_vtree(vob_t *vob, vob_oid elem, cmd_vtree_branch *main_branch) {
    std::vector<vob_vtree_node> flat;
    if (int rc = vob_elem_get_vtree(vob, elem, &flat))
        return rc;
    remember(vob, flat);
    // The flat list is depth first: a version is followed at once by the
    // branches that sprout from it, each branch's versions in order. A
    // stack of open branches rebuilds the tree from it.
    cmd_vtree_branch root;
    std::map<vob_oid, cmd_vtree_branch *> pending;   // branch oid -> its node, made at its sprout
    for (vob_vtree_node &n : flat) {
        cmd_vtree_branch *b = nullptr;
        auto it = pending.find(n.ver.branch);
        if (it != pending.end())
            b = it->second;
        else if (root.branch == 0 || root.branch == n.ver.branch)
            b = &root;
        else
            return vob_fail(
                vob, VOB_ERR,
                VOB_MSG(VM_VTREE_ORDER, vob_get_tag(vob).c_str(), (long long)elem, n.ver.id.c_str()));
        b->branch = n.ver.branch;
        cmd_vtree_version cv;
        cv.ver = n.ver.oid;
        if (!n.labels.empty())
            if (int rc = vob_ver_get_labels(vob, n.ver.oid, &cv.labels))
                return rc;
        for (vob_oid sb : n.sub_branches) {
            cmd_vtree_branch nb;
            nb.branch = sb;
            cv.branches.push_back(std::move(nb));
        }
        b->versions.push_back(std::move(cv));
        // The sprouting branches are filled later through these pointers.
        // They stay valid: each list of branches is complete before its
        // address is taken, and moving a version (when its branch's list of
        // versions grows) moves the list without moving its elements.
        for (cmd_vtree_branch &nb : b->versions.back().branches)
            pending[nb.branch] = &nb;
    }
    *main_branch = std::move(root);
    return VOB_OK;
}

int vob_ver_get_idstr(vob_t *vob, vob_oid ver, size_t size, std::string *id) {
    vob_ver_info scratch;
    int rc = VOB_OK;
    const vob_ver_info *vi = ver_info(vob, ver, &scratch, &rc);
    return vi ? fit(vob, vi->id, size, "version id", id) : rc;
}

int vob_ver_get_branch(vob_t *vob, vob_oid ver, vob_oid *branch) {
    vob_ver_info scratch;
    int rc = VOB_OK;
    const vob_ver_info *vi = ver_info(vob, ver, &scratch, &rc);
    if (!vi)
        return rc;
    *branch = vi->branch;
    return VOB_OK;
}

int vob_branch_get_pname(vob_t *vob, vob_oid branch, size_t size, std::string *path) {
    if (const std::string *known = remembered_branch(vob, branch))
        return fit(vob, *known, size, "branch path", path);
    vob_branch_info bi;
    if (int rc = vob_branch_get(vob, branch, &bi))
        return rc;
    return fit(vob, bi.path, size, "branch path", path);
}

int vob_obj_find_event(vob_t *vob, vob_oid obj, int kind, vob_event *ev) {
    if (kind != VOB_EV_CREATE && kind != VOB_EV_CHECKOUT)
        return vob_fail(vob, VOB_NOT_FOUND,
                        VOB_MSG(VM_NO_EVENT, vob_get_tag(vob).c_str(), (long long)obj, kind));
    if (kind == VOB_EV_CHECKOUT) {
        int mtype = 0;
        if (int rc = vob_obj_get_mtype(vob, obj, &mtype))
            return rc;
        if (mtype != VOB_MT_CKOUT)
            return vob_fail(vob, VOB_NOT_FOUND,
                            VOB_MSG(VM_NO_EVENT, vob_get_tag(vob).c_str(), (long long)obj, kind));
    }
    return vob_obj_get_event(vob, obj, ev);
}

int cmd_utl_get_hlinks(vob_t *vob, vob_oid ver, vob_oid hltype, int dir, std::vector<cmd_hlink> *out) {
    std::vector<vob_hlink> links;
    if (int rc = vob_obj_get_hlinks(vob, ver, hltype, dir, &links))
        return rc;
    out->clear();
    for (const vob_hlink &l : links)
        out->push_back({l.oid, vob, dir == VOB_HL_TO ? l.from : l.to});
    return VOB_OK;
}

int cmd_utl_get_vob_ext_pname(const std::string &elem_path, vob_t *vob, vob_oid ver, size_t size,
                              std::string *out) {
    vob_ver_info scratch;
    int rc = VOB_OK;
    const vob_ver_info *vi = ver_info(vob, ver, &scratch, &rc);
    return vi ? fit(vob, elem_path + "@@" + vi->id, size, "version-extended path", out) : rc;
}

int vob_obj_next_attrs(vob_t *vob, vob_oid obj, vob_attr_cursor *cursor, size_t max,
                       std::vector<vob_attr> *got) {
    if (!cursor->started) {
        if (int rc = vob_obj_get_attrs(vob, obj, &cursor->all))
            return rc;
        cursor->started = 1;
    }
    got->clear();
    while (cursor->pos < cursor->all.size() && got->size() < max)
        got->push_back(cursor->all[cursor->pos++]);
    cursor->done = cursor->pos >= cursor->all.size();
    return VOB_OK;
}

int vob_val_value_to_str(const std::string &value, int, std::string *out) {
    *out = value;
    return VOB_OK;
}

struct vob_ckout_cursor {
    std::vector<vob_ckout> list;
    size_t pos = 0;
};

int vob_elem_next_ckouts(vob_t *vob, vob_oid elem, vob_ckout_cursor **cursor, vob_ckout *out) {
    if (!*cursor) {
        auto c = std::make_unique<vob_ckout_cursor>();
        if (int rc = vob_elem_get_ckouts(vob, elem, &c->list))
            return rc;
        *cursor = c.release();
    }
    if ((*cursor)->pos >= (*cursor)->list.size()) {
        delete *cursor;
        *cursor = nullptr;
        return VOB_OK;
    }
    *out = (*cursor)->list[(*cursor)->pos++];
    return VOB_OK;
}

void vob_ob_cursor_close(vob_ckout_cursor *cursor) { delete cursor; }

int vob_view_stat_path(const std::string &path, vob_view_stat *out, std::string *err) {
    *out = vob_view_stat();
    if (const walked_name *w = walked_find(path)) {
        out->where = VOB_VIEW_ELEMENT;
        out->mtype = w->mtype;
        out->elem = w->elem;
        out->vob_tag = w->vob_tag;
        return VOB_OK;
    }
    view_t *view = nullptr;
    if (int rc = view_of(path, &view, err))
        return rc;
    if (!view)
        return VOB_OK;
    view_fhandle fh;
    int rc = view_get_fhandle(view, path, &fh);
    if (rc == VOB_OK) {
        out->where = VOB_VIEW_ELEMENT;
        out->mtype = fh.mtype;
        out->elem = fh.elem;
        out->vob_tag = fh.vob_tag;
        return VOB_OK;
    }
    if (view_above_vobs(view, path, nullptr)) {
        out->where = VOB_VIEW_ABOVE;
        return VOB_OK;
    }
    *err = view_errmsg(view);
    return rc;
}

int vob_view_readdir(const std::string &path, std::vector<std::string> *names, std::string *err) {
    names->clear();
    view_t *view = nullptr;
    if (int rc = view_of(path, &view, err))
        return rc;
    if (!view) {
        *err = VOB_MSG(VM_NOT_IN_VIEW, path.c_str());
        return VOB_NOT_FOUND;
    }
    view_fhandle fh;
    int rc = view_get_fhandle(view, path, &fh);
    if (rc != VOB_OK) {
        *err = view_errmsg(view);
        return view_above_vobs(view, path, names) ? VOB_OK : rc;
    }
    // The snapshot is taken before the names are read, so that what the
    // walk remembers of them holds for the rest of the run.
    vob_t *h = nullptr;
    if ((rc = view_get_vob(view, fh.vob_tag, &h)) != VOB_OK) {
        *err = view_errmsg(view);
        return rc;
    }
    if ((rc = hold_snapshot(h, err)) != VOB_OK)
        return rc;
    std::vector<view_selected> sel;
    if ((rc = view_read_selected(view, fh, &sel)) != VOB_OK) {
        *err = view_errmsg(view);
        return rc;
    }
    const std::string dir = fileutl_make_abs_pn(path.empty() ? "." : path);
    for (view_selected &s : sel) {
        names->push_back(s.name);
        walked_name w;
        w.vob = h;
        w.vob_tag = fh.vob_tag;
        w.elem = s.elem;
        w.ver = s.ver;
        w.mtype = s.mtype;
        walked()[dir + "/" + s.name] = std::move(w);
    }
    return VOB_OK;
}
