// Labelling the versions of an import.
#include "wizard/wiz_label.h"

#include "platform/registry/registry.h"
#include "platform/registry/vob_tag.h"
#include "platform/view/view.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_strings.h"

EventObserver::~EventObserver() = default;

namespace {

struct vob_closer {
    void operator()(vob_t *v) const { vob_close(v); }
};
// Keyed by registry home and tag: the same tag in another home is another VOB.
thread_local std::map<std::string, std::unique_ptr<vob_t, vob_closer>> t_vobs;

struct view_closer {
    void operator()(view_t *v) const { view_close(v); }
};

void check(vob_t *vob, int rc) {
    if (rc != VOB_OK)
        throw VantorException(rc, vob_errmsg(vob));
}

void label_latest(vob_t *vob, vob_oid branch, vob_oid lbtype, const vob_event &ev) {
    vob_oid ver = 0;
    check(vob, vob_branch_get_latest(vob, branch, &ver));
    check(vob, vob_ver_add_label(vob, ver, lbtype, 0, &ev));
}

// Every directory from the destination up to its VOB root that the import
// did not create, with the version the view selects.
void record_ancestors(LabelRequest &req) {
    const ImportDestination &d = *req.dest;
    view_t *raw = nullptr;
    std::string err;
    // A handle of our own: view handles stay on the thread that opened them.
    int rc = view_open(d.view()->root(), &raw, &err);
    std::unique_ptr<view_t, view_closer> view(raw);
    if (rc != VOB_OK)
        throw VantorException(rc, err);
    const std::string vob_root = d.view()->root() + d.vob_tag();
    std::string path = d.full_path();
    // Stops at the VOB root, also for a tag of several components.
    while (path.size() >= vob_root.size()) {
        view_fhandle fh;
        if ((rc = view_get_fhandle(view.get(), path, &fh)) != VOB_OK)
            throw VantorException(rc, view_errmsg(view.get()));
        if (!req.created_dirs.count(fh.elem))
            req.ancestor_dirs[fh.elem] = fh.ver;
        size_t cut = path.rfind('/');
        if (cut == std::string::npos)
            break;
        path.resize(cut);
    }
}

}   // namespace

vob_t *wiz_vob_handle(const std::string &tag) {
    DynamicContext ctx(wiz_format(IDS_CTX_VOB_HANDLE, {tag}));
    std::string key = rgy_home() + "\n" + tag;
    auto it = t_vobs.find(key);
    if (it != t_vobs.end())
        return it->second.get();
    vob_t *v = nullptr;
    std::string err;
    int rc = vob_open_tag(tag, &v, &err);
    std::unique_ptr<vob_t, vob_closer> owned(v);
    if (rc != VOB_OK)
        throw VantorException(rc, err);
    return (t_vobs[key] = std::move(owned)).get();
}

void wiz_vob_handles_release() { t_vobs.clear(); }

void wiz_apply_label(LabelRequest &req, const std::string &label, EventObserver *obs) {
    if (!req.succeeded || !req.dest)
        return;
    const std::string &full = req.dest->full_path();
    DynamicContext ctx(wiz_format(IDS_CTX_APPLY_LABEL, {label, full}));
    auto step = [obs]() {
        if (obs)
            obs->notify();
    };
    record_ancestors(req);
    vob_t *vob = wiz_vob_handle(req.dest->vob_tag());
    vob_oid lbtype = 0;
    check(vob, vob_type_find(vob, VOB_MT_LBTYPE, label, &lbtype));
    const vob_event ev = vob_event_now(wiz_format(IDS_LABEL_COMMENT, {label}));
    vob_txn txn(vob);
    check(vob, txn.begin());
    {
        DynamicContext c(wiz_format(IDS_CTX_LABEL_BELOW, {full}));
        for (auto &[dir, branch] : req.created_dirs) {
            step();
            label_latest(vob, branch, lbtype, ev);
        }
    }
    {
        DynamicContext c(wiz_format(IDS_CTX_LABEL_ABOVE, {full}));
        for (auto &[dir, ver] : req.ancestor_dirs) {
            step();
            check(vob, vob_ver_add_label(vob, ver, lbtype, 0, &ev));
        }
    }
    {
        DynamicContext c(wiz_format(IDS_CTX_LABEL_FILES, {full}));
        vob_oid brtype = 0;
        check(vob,
              vob_type_find(vob, VOB_MT_BRTYPE, req.branch_type.empty() ? "main" : req.branch_type, &brtype));
        for (vob_oid branch : req.branch_list) {
            step();
            vob_oid type = 0;
            check(vob, vob_obj_get_type(vob, branch, &type));
            if (type == brtype)
                label_latest(vob, branch, lbtype, ev);
        }
        check(vob, txn.commit());
    }
}
