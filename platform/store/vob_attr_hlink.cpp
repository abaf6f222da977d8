// Attributes and hyperlinks on objects.
#include "platform/store/vob_int.h"

static int set_attr(vob_t *v, vob_wscope &w, vob_oid obj, vob_oid attype, const std::string &value,
                    const vob_event *ev) {
    int rc = vob_check_mtype(v, attype, 1u << VOB_MT_ATTYPE, "attribute type", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, obj, ~(1u << VOB_MT_ATTR | 1u << VOB_MT_LOCK), "object", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_locked(v, attype, "the attribute type");
    if (rc != VOB_OK)
        return rc;
    w.wrote();
    {
        vob_stmt d(v,
                   "DELETE FROM obj WHERE oid IN (SELECT oid FROM attr WHERE target = ?1 AND attype = ?2)");
        d.bind(1, obj).bind(2, attype);
        rc = d.exec();
    }
    if (rc == VOB_OK) {
        vob_stmt d(v, "DELETE FROM attr WHERE target = ?1 AND attype = ?2");
        d.bind(1, obj).bind(2, attype);
        rc = d.exec();
    }
    vob_oid oid = 0;
    if (rc == VOB_OK)
        rc = vob_new_obj(v, VOB_MT_ATTR, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO attr(oid, target, attype, value) VALUES(?1, ?2, ?3, ?4)");
        q.bind(1, oid).bind(2, obj).bind(3, attype).bind(4, value);
        rc = q.exec();
    }
    return rc;
}

int vob_obj_set_attr(vob_t *v, vob_oid obj, vob_oid attype, const std::string &value, const vob_event *ev) {
    return vob_write(v, [&](vob_wscope &w) { return set_attr(v, w, obj, attype, value, ev); });
}

static int remove_attr(vob_t *v, vob_wscope &w, vob_oid obj, vob_oid attype) {
    vob_oid oid = 0;
    {
        vob_stmt q(v, "SELECT oid FROM attr WHERE target = ?1 AND attype = ?2");
        q.bind(1, obj).bind(2, attype);
        int s = q.step();
        if (s == SQLITE_ROW)
            oid = q.i64(0);
        else if (s != SQLITE_DONE)
            return VOB_ERR;
    }
    if (!oid) {
        std::string name;
        if (vob_type_get_name(v, attype, &name) != VOB_OK)
            name.clear();   // only for the message
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_ATTR, v->tag.c_str(), name.c_str()));
    }
    w.wrote();
    vob_stmt d1(v, "DELETE FROM attr WHERE oid = ?1");
    d1.bind(1, oid);
    int rc = d1.exec();
    if (rc == VOB_OK) {
        vob_stmt d2(v, "DELETE FROM obj WHERE oid = ?1");
        d2.bind(1, oid);
        rc = d2.exec();
    }
    return rc;
}

int vob_obj_remove_attr(vob_t *v, vob_oid obj, vob_oid attype) {
    return vob_write(v, [&](vob_wscope &w) { return remove_attr(v, w, obj, attype); });
}

static int make_hlink(vob_t *v, vob_wscope &w, vob_oid hltype, vob_oid from, vob_oid to, const vob_event *ev,
                      vob_oid *oid) {
    int rc = vob_check_mtype(v, hltype, 1u << VOB_MT_HLTYPE, "hyperlink type", nullptr);
    const unsigned ends = ~(1u << VOB_MT_HLINK | 1u << VOB_MT_LOCK | 1u << VOB_MT_ATTR);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, from, ends, "object", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, to, ends, "object", nullptr);
    if (rc != VOB_OK)
        return rc;
    if (hltype == v->wk[VOB_WK_MERGE_HLTYPE]) {
        vob_oid e1 = 0, e2 = 0;
        if (from == to || vob_ver_get_elem(v, from, &e1) != VOB_OK ||
            vob_ver_get_elem(v, to, &e2) != VOB_OK || e1 != e2)
            return vob_fail(v, VOB_ERR, VOB_MSG(VM_SELF_LINK, v->tag.c_str()));
    }
    w.wrote();
    rc = vob_new_obj(v, VOB_MT_HLINK, ev, oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO hlink(oid, hltype, src, dst) VALUES(?1, ?2, ?3, ?4)");
        q.bind(1, *oid).bind(2, hltype).bind(3, from).bind(4, to);
        rc = q.exec();
    }
    return rc;
}

int vob_hlink_create(vob_t *v, vob_oid hltype, vob_oid from, vob_oid to, const vob_event *ev, vob_oid *out) {
    vob_oid oid = 0;
    int rc = vob_write(v, [&](vob_wscope &w) { return make_hlink(v, w, hltype, from, to, ev, &oid); });
    if (rc == VOB_OK && out)
        *out = oid;
    return rc;
}
