// vantor's commands that change elements: mkelem, checkout, checkin,
// uncheckout, mkbranch, mklabel, mkattr, merge, lock, unlock, rmver.
#include "platform/vantor/vantor_int.h"

#include <map>
#include <memory>

// Runs a view operation on each operand in turn; the first failure stops.
template <class Op> static int for_each_in_view(const args_t &a, Op op) {
    for (auto &path : a.ops) {
        view_t *v;
        if (!need_view_of(a.cmd, path, &v))
            return 1;
        int rc = op(v, path);
        if (rc != VOB_OK)
            view_failed(v);
        view_close(v);
        if (rc != VOB_OK)
            return 1;
    }
    return 0;
}

int cmd_mkelem(const args_t &a) {
    return for_each_in_view(a, [&](view_t *v, const std::string &path) {
        return view_mkelem(v, path, a.has("dir") ? VOB_MT_DIR_ELEM : VOB_MT_FILE_ELEM, a.opt("eltype"),
                           a.opt("c"), a.has("ci"), nullptr);
    });
}

int cmd_checkout(const args_t &a) {
    return for_each_in_view(a, [&](view_t *v, const std::string &path) {
        return view_checkout(v, path, !a.has("unreserved"), a.opt("c"));
    });
}

int cmd_checkin(const args_t &a) {
    view_t *v;
    if (!need_view_of("checkin", a.ops[0], &v))
        return 1;
    vob_oid ver;
    std::string kept;
    int rc = view_checkin(v, a.ops[0], a.opt("from"), a.opt("c"), &ver, &kept);
    if (rc != VOB_OK) {
        view_failed(v);
        view_close(v);
        return 1;
    }
    if (!kept.empty())
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_KEPT, a.ops[0].c_str(), kept.c_str());
    vob_t *h;
    view_fhandle fh;
    if (view_get_fhandle(v, a.ops[0], &fh) == VOB_OK && view_get_vob(v, fh.vob_tag, &h) == VOB_OK)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_CKED_IN, a.ops[0].c_str(), ver_id(h, ver).c_str());
    view_close(v);
    return 0;
}

int cmd_uncheckout(const args_t &a) {
    return for_each_in_view(a, [](view_t *v, const std::string &path) {
        std::string kept;
        int rc = view_uncheckout(v, path, &kept);
        if (rc == VOB_OK && !kept.empty())
            IMSG_PRINT(IMSG_NOTICE, cat(), VT_KEPT, path.c_str(), kept.c_str());
        return rc;
    });
}

// Resolves path, finds the type called name (of metatype mtype) in its VOB
// and runs op(p, type, event) with the comment of -c.
template <class Op>
static int with_type(const args_t &a, const std::string &path, int mtype, const std::string &name, Op op) {
    vob_pname p;
    if (!resolve(path, &p))
        return 1;
    vob_oid type;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_type_find(p.vob, mtype, name, &type) != VOB_OK || op(p, type, ev) != VOB_OK)
        return vob_failed(p.vob);
    return 0;
}

int cmd_mkbranch(const args_t &a) {
    return with_type(a, a.ops[1], VOB_MT_BRTYPE, a.ops[0],
                     [](const vob_pname &p, vob_oid bt, const vob_event &ev) {
                         return vob_branch_create(p.vob, p.ver, bt, &ev, nullptr, nullptr);
                     });
}

// The label on each of vers, all in one transaction of v: all are made, or
// none (the transaction rolls back when one is refused).
static int label_in_vob(vob_t *v, const std::string &label, const std::vector<vob_oid> &vers, int replace,
                        const vob_event *ev) {
    vob_txn txn(v);
    vob_oid lt = 0;
    int rc = txn.begin();
    if (rc == VOB_OK)
        rc = vob_type_find(v, VOB_MT_LBTYPE, label, &lt);
    for (size_t i = 0; rc == VOB_OK && i < vers.size(); i++)
        rc = vob_ver_add_label(v, vers[i], lt, replace, ev);
    return rc == VOB_OK ? txn.commit() : rc;
}

int cmd_mklabel(const args_t &a) {
    // All operands are resolved first, then labelled in one transaction per
    // VOB. A VOB's versions go through the handle of its first operand, the
    // only writer of that VOB here; the others' handles close as soon as
    // their version is known, so that many operands hold few open files.
    std::vector<std::unique_ptr<vob_pname>> writers;    // in the order the VOBs come
    std::map<std::string, std::vector<vob_oid>> vers;   // by VOB tag
    for (size_t i = 1; i < a.ops.size(); i++) {
        auto p = std::make_unique<vob_pname>();
        if (!resolve(a.ops[i], p.get()))
            return 1;
        std::vector<vob_oid> &of_vob = vers[p->vob_tag];
        of_vob.push_back(p->ver);
        if (of_vob.size() == 1)
            writers.push_back(std::move(p));
    }
    vob_event ev = vob_event_now(a.opt("c"));
    for (const auto &w : writers)
        if (label_in_vob(w->vob, a.ops[0], vers[w->vob_tag], a.has("replace"), &ev) != VOB_OK)
            return vob_failed(w->vob);
    return 0;
}

int cmd_mkattr(const args_t &a) {
    return with_type(a, a.ops[2], VOB_MT_ATTYPE, a.ops[0],
                     [&](const vob_pname &p, vob_oid at, const vob_event &ev) {
                         return vob_obj_set_attr(p.vob, a.has("element") ? p.elem : p.ver, at, a.ops[1], &ev);
                     });
}

int cmd_merge(const args_t &a) {
    std::string to = a.opt("to");
    if (to.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, "merge", "-to PATH");
        return 1;
    }
    vob_pname p;
    if (!resolve(to, &p))
        return 1;
    std::string vid = a.ops[0];
    std::string path_part, vpart;
    if (vob_split_xpname(vid, &path_part, &vpart))
        vid = vpart;
    vob_oid from;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_ver_find(p.vob, p.elem, vid, &from) != VOB_OK ||
        vob_hlink_create(p.vob, vob_wk_obj(p.vob, VOB_WK_MERGE_HLTYPE), from, p.ver, &ev, nullptr) != VOB_OK)
        return vob_failed(p.vob);
    return 0;
}

// The element, or the branch that "@@/main/dev" names.
static bool lock_target(const args_t &a, const std::string &operand, vob_pname *p, vob_oid *target) {
    std::string path, vid;
    bool branch = vob_split_xpname(operand, &path, &vid);
    if (!resolve(branch ? path : operand, p))
        return false;
    *target = p->elem;
    if (branch && vob_branch_find(p->vob, p->elem, vid, target) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_BRANCH, a.cmd, vid.c_str(), path.c_str());
        return false;
    }
    return true;
}

int cmd_lock(const args_t &a) {
    vob_pname p;
    vob_oid target;
    if (!lock_target(a, a.ops[0], &p, &target))
        return 1;
    vob_event ev = vob_event_now(a.opt("c"));
    if (vob_obj_lock(p.vob, target, a.has("obsolete"), &ev) != VOB_OK)
        return vob_failed(p.vob);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_LOCKED, a.ops[0].c_str(), a.has("obsolete") ? " (obsolete)" : "");
    return 0;
}

int cmd_unlock(const args_t &a) {
    vob_pname p;
    vob_oid target;
    if (!lock_target(a, a.ops[0], &p, &target))
        return 1;
    return vob_obj_unlock(p.vob, target) == VOB_OK ? 0 : vob_failed(p.vob);
}

int cmd_rmver(const args_t &a) {
    if (!a.has("data")) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NEED_DATA, "rmver");
        return 1;
    }
    std::string path, vid;
    if (!vob_split_xpname(a.ops[0], &path, &vid)) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_VERSION, "rmver", a.ops[0].c_str());
        return 1;
    }
    vob_pname p;
    if (!resolve(a.ops[0], &p))
        return 1;
    return vob_ver_remove_data(p.vob, p.ver) == VOB_OK ? 0 : vob_failed(p.vob);
}
