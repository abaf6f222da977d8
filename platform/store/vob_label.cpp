// Labels: attaching a label type to a version, moving and removing it.
#include "platform/store/vob_int.h"

static int delete_label(vob_t *v, vob_oid elem, vob_oid lbtype) {
    vob_stmt d1(v, "DELETE FROM obj WHERE oid IN (SELECT oid FROM label WHERE elem = ?1 AND lbtype = ?2)");
    d1.bind(1, elem).bind(2, lbtype);
    if (d1.exec() != VOB_OK)
        return VOB_ERR;
    vob_stmt d2(v, "DELETE FROM label WHERE elem = ?1 AND lbtype = ?2");
    d2.bind(1, elem).bind(2, lbtype);
    return d2.exec();
}

// The label type is on another version of the element.
static int elsewhere(vob_t *v, vob_oid elem, vob_oid lbtype, vob_oid have) {
    vob_ver_info other;
    std::string name, label;
    // Only for the message: a failure leaves a part empty.
    std::string id = vob_ver_get(v, have, &other) == VOB_OK ? other.id : std::string();
    if (vob_type_get_name(v, lbtype, &name) != VOB_OK)
        name.clear();
    vob_elem_label(v, elem, &label);
    return vob_fail(v, VOB_EXISTS,
                    VOB_MSG(VM_LABEL_ELSEWHERE, v->tag.c_str(), name.c_str(), id.c_str(), label.c_str()));
}

static int add_label(vob_t *v, vob_wscope &w, vob_oid ver, vob_oid lbtype, int replace, const vob_event *ev) {
    vob_ver_info vi;
    int rc = vob_ver_get(v, ver, &vi);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, lbtype, 1u << VOB_MT_LBTYPE, "label type", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_locked(v, lbtype, "the label type");
    if (rc == VOB_OK)
        rc = vob_check_locked(v, vi.elem, "the element");
    if (rc != VOB_OK)
        return rc;
    vob_oid have = 0;
    rc = vob_elem_find_label(v, vi.elem, lbtype, &have);
    if (rc == VOB_OK && have == ver)
        return VOB_OK;
    if (rc == VOB_OK && !replace)
        return elsewhere(v, vi.elem, lbtype, have);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return rc;
    w.wrote();
    rc = have ? delete_label(v, vi.elem, lbtype) : VOB_OK;
    vob_oid oid = 0;
    if (rc == VOB_OK)
        rc = vob_new_obj(v, VOB_MT_LABEL, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO label(oid, ver, elem, lbtype) VALUES(?1, ?2, ?3, ?4)");
        q.bind(1, oid).bind(2, ver).bind(3, vi.elem).bind(4, lbtype);
        rc = q.exec_insert();
        if (rc == VOB_EXISTS)
            rc = elsewhere(v, vi.elem, lbtype, have);
    }
    return rc;
}

int vob_ver_add_label(vob_t *v, vob_oid ver, vob_oid lbtype, int replace, const vob_event *ev) {
    return vob_write(v, [&](vob_wscope &w) { return add_label(v, w, ver, lbtype, replace, ev); });
}

static int remove_label(vob_t *v, vob_wscope &w, vob_oid ver, vob_oid lbtype) {
    vob_ver_info vi;
    int rc = vob_ver_get(v, ver, &vi);
    if (rc != VOB_OK)
        return rc;
    vob_oid have = 0;
    rc = vob_elem_find_label(v, vi.elem, lbtype, &have);
    if (rc == VOB_NOT_FOUND || (rc == VOB_OK && have != ver)) {
        std::string name, label;
        if (vob_type_get_name(v, lbtype, &name) != VOB_OK)
            name.clear();   // only for the message
        vob_elem_label(v, vi.elem, &label);
        return vob_fail(v, VOB_NOT_FOUND,
                        VOB_MSG(VM_NO_LABEL, v->tag.c_str(), vi.id.c_str(), label.c_str(), name.c_str()));
    }
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_check_locked(v, vi.elem, "the element")) != VOB_OK)
        return rc;
    w.wrote();
    return delete_label(v, vi.elem, lbtype);
}

int vob_ver_remove_label(vob_t *v, vob_oid ver, vob_oid lbtype) {
    return vob_write(v, [&](vob_wscope &w) { return remove_label(v, w, ver, lbtype); });
}
