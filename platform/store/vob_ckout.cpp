// Checkouts: checking out, checking in (a new version through vob_version)
// and cancelling.
#include "platform/store/vob_int.h"

static int make_ckout(vob_t *v, vob_wscope &w, vob_oid branch, int reserved, const std::string &view_tag,
                      const vob_event *ev, vob_oid *oid) {
    vob_branch_row b;
    int rc = vob_get_branch_row(v, branch, &b);
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_check_locked(v, b.elem, "the element")) != VOB_OK ||
        (rc = vob_check_locked(v, branch, "the branch")) != VOB_OK)
        return rc;
    std::string label;
    auto have_one = [&] {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_CKOUT,
                        VOB_MSG(VM_CKOUT_EXISTS, v->tag.c_str(), label.c_str(), view_tag.c_str()));
    };
    vob_oid have;
    rc = vob_elem_find_ckout(v, b.elem, view_tag, &have);
    if (rc == VOB_OK)
        return have_one();
    if (rc != VOB_NOT_FOUND)
        return rc;
    std::string who;
    if (reserved && (rc = vob_reserved_by_other(v, branch, view_tag, &who)) != VOB_OK)
        return rc;
    if (!who.empty()) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_CKOUT,
                        VOB_MSG(VM_RESERVED, v->tag.c_str(), b.path.c_str(), label.c_str(), who.c_str()));
    }
    vob_oid latest;
    if ((rc = vob_latest_num(v, branch, &latest, nullptr)) != VOB_OK)
        return rc;
    w.wrote();
    rc = vob_new_obj(v, VOB_MT_CKOUT, ev, oid);
    if (rc == VOB_OK) {
        vob_stmt q(
            v, "INSERT INTO ckout(oid, elem, branch, ver, reserved, view) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        q.bind(1, *oid).bind(2, b.elem).bind(3, branch).bind(4, latest).bind(5, (int64_t)(reserved ? 1 : 0));
        q.bind(6, view_tag);
        rc = q.exec_insert();
        if (rc == VOB_EXISTS)
            rc = have_one();
    }
    return rc;
}

int vob_checkout(vob_t *v, vob_oid branch, int reserved, const std::string &view_tag, const vob_event *ev,
                 vob_oid *ckout_out) {
    if (view_tag.empty())
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "a checkout needs a view tag"));
    vob_oid oid = 0;
    int rc =
        vob_write(v, [&](vob_wscope &w) { return make_ckout(v, w, branch, reserved, view_tag, ev, &oid); });
    if (rc == VOB_OK && ckout_out)
        *ckout_out = oid;
    return rc;
}

static int drop_ckout(vob_t *v, vob_oid ckout) {
    vob_stmt d1(v, "DELETE FROM ckout WHERE oid = ?1");
    d1.bind(1, ckout);
    if (d1.exec() != VOB_OK)
        return VOB_ERR;
    vob_stmt d2(v, "DELETE FROM obj WHERE oid = ?1");
    d2.bind(1, ckout);
    return d2.exec();
}

static int checkin(vob_t *v, vob_wscope &w, vob_oid ckout, const vob_data &data, const vob_event *ev,
                   vob_oid *ver) {
    vob_ckout c;
    int rc = vob_ckout_get(v, ckout, &c);
    if (rc != VOB_OK)
        return rc;
    vob_oid latest;
    if ((rc = vob_latest_num(v, c.branch, &latest, nullptr)) != VOB_OK)
        return rc;
    if (latest != c.ver) {
        vob_branch_info bi;   // only for the message: a failure leaves the path empty
        std::string label;
        std::string path = vob_branch_get(v, c.branch, &bi) == VOB_OK ? bi.path : std::string();
        vob_elem_label(v, c.elem, &label);
        return vob_fail(v, VOB_CKOUT, VOB_MSG(VM_NOT_LATEST, v->tag.c_str(), path.c_str(), label.c_str()));
    }
    // Refused (locked, reserved elsewhere) before it writes: nothing to undo.
    rc = vob_ver_create_int(v, c.branch, data, ev, ver, -1, c.view_tag);
    if (rc != VOB_OK)
        return rc;
    w.wrote();
    return drop_ckout(v, ckout);
}

int vob_checkin(vob_t *v, vob_oid ckout, const vob_data &data, const vob_event *ev, vob_oid *ver_out) {
    vob_oid ver = 0;
    int rc = vob_write(v, [&](vob_wscope &w) { return checkin(v, w, ckout, data, ev, &ver); });
    if (rc == VOB_OK && ver_out)
        *ver_out = ver;
    return rc;
}

static int uncheckout(vob_t *v, vob_wscope &w, vob_oid ckout) {
    vob_ckout c;
    int rc = vob_ckout_get(v, ckout, &c);
    if (rc != VOB_OK)
        return rc;
    w.wrote();
    return drop_ckout(v, ckout);
}

int vob_uncheckout(vob_t *v, vob_oid ckout) {
    return vob_write(v, [&](vob_wscope &w) { return uncheckout(v, w, ckout); });
}
