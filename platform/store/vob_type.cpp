// Making types: element, branch, label, attribute and hyperlink types.
#include "platform/store/vob_int.h"

static int valid_type_mtype(int m) {
    return m == VOB_MT_ELTYPE || m == VOB_MT_BRTYPE || m == VOB_MT_LBTYPE || m == VOB_MT_ATTYPE ||
           m == VOB_MT_HLTYPE;
}

static int type_exists(vob_t *v, int mtype, const std::string &name) {
    return vob_fail(v, VOB_EXISTS,
                    VOB_MSG(VM_TYPE_EXISTS, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
}

// Inside the write scope: a type made by another process in the meantime is found.
static int create_type(vob_t *v, vob_wscope &w, int mtype, const std::string &name, const vob_event *ev,
                       vob_oid *oid, vob_oid *have_out) {
    vob_oid have;
    int rc = vob_type_find(v, mtype, name, &have);
    if (rc == VOB_OK) {
        if (have_out)
            *have_out = have;
        return type_exists(v, mtype, name);
    }
    if (rc != VOB_NOT_FOUND)
        return rc;
    w.wrote();
    rc = vob_new_obj(v, mtype, ev, oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO type(oid, mtype, name) VALUES(?1, ?2, ?3)");
        q.bind(1, *oid).bind(2, (int64_t)mtype).bind(3, name);
        rc = q.exec_insert();
        if (rc == VOB_EXISTS)
            rc = type_exists(v, mtype, name);
    }
    return rc;
}

int vob_type_create(vob_t *v, int mtype, const std::string &name, const vob_event *ev, vob_oid *out) {
    if (!valid_type_mtype(mtype))
        return vob_fail(v, VOB_ERR,
                        VOB_MSG(VM_BAD_NAME, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
    int rc = vob_check_name(v, name, vob_mtype_name(mtype));
    if (rc != VOB_OK)
        return rc;
    vob_oid oid = 0;
    rc = vob_write(v, [&](vob_wscope &w) { return create_type(v, w, mtype, name, ev, &oid, out); });
    if (rc == VOB_OK && out)
        *out = oid;
    return rc;
}
