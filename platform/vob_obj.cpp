// Objects of every metatype: their rows in obj, events, names, types, locks.
#include "platform/vob_int.h"

static int valid_type_mtype(int m)
{
    return m == VOB_MT_ELTYPE || m == VOB_MT_BRTYPE || m == VOB_MT_LBTYPE || m == VOB_MT_ATTYPE ||
           m == VOB_MT_HLTYPE;
}

int vob_new_obj(vob_t *v, int mtype, const vob_event *ev, vob_oid *oid)
{
    vob_event now;
    if (!ev) {
        now = vob_event_now();
        ev = &now;
    }
    vob_stmt q(v, "INSERT INTO obj(mtype, time, user, grp, uname, host, comment)"
                  " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    q.bind(1, (int64_t)mtype).bind(2, ev->time).bind(3, ev->user).bind(4, ev->group);
    q.bind(5, ev->name).bind(6, ev->host).bind(7, ev->comment);
    if (q.exec() != VOB_OK)
        return VOB_ERR;
    *oid = sqlite3_last_insert_rowid(v->db);
    return VOB_OK;
}

int vob_check_name(vob_t *v, const std::string &name, const char *what)
{
    bool ok = !name.empty() && name.size() <= 255 && name[0] != '-' && name[0] != '.';
    for (char c : name)
        if (!(isalnum((unsigned char)c) || c == '_' || c == '-' || c == '.'))
            ok = false;
    return ok ? VOB_OK : vob_fail(v, VOB_ERR, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), what, name.c_str()));
}

int vob_obj_get_mtype(vob_t *v, vob_oid obj, int *mtype)
{
    vob_stmt q(v, "SELECT mtype FROM obj WHERE oid = ?1");
    q.bind(1, obj);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *mtype = (int)q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "object", (long long)obj));
}

int vob_obj_get_event(vob_t *v, vob_oid obj, vob_event *ev)
{
    vob_stmt q(v, "SELECT time, user, grp, uname, host, comment FROM obj WHERE oid = ?1");
    q.bind(1, obj);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        ev->time = q.i64(0);
        ev->user = q.str(1);
        ev->group = q.str(2);
        ev->name = q.str(3);
        ev->host = q.str(4);
        ev->comment = q.str(5);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "object", (long long)obj));
}

int vob_obj_get_type(vob_t *v, vob_oid obj, vob_oid *type)
{
    int mtype;
    int rc = vob_obj_get_mtype(v, obj, &mtype);
    if (rc != VOB_OK)
        return rc;
    const char *sql = nullptr;
    switch (mtype) {
    case VOB_MT_FILE_ELEM:
    case VOB_MT_DIR_ELEM: sql = "SELECT eltype FROM elem WHERE oid = ?1"; break;
    case VOB_MT_BRANCH: sql = "SELECT brtype FROM branch WHERE oid = ?1"; break;
    case VOB_MT_LABEL: sql = "SELECT lbtype FROM label WHERE oid = ?1"; break;
    case VOB_MT_ATTR: sql = "SELECT attype FROM attr WHERE oid = ?1"; break;
    case VOB_MT_HLINK: sql = "SELECT hltype FROM hlink WHERE oid = ?1"; break;
    default:
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "typed object", (long long)obj));
    }
    vob_stmt q(v, sql);
    q.bind(1, obj);
    rc = q.step();
    if (rc == SQLITE_ROW) {
        *type = q.i64(0);
        return VOB_OK;
    }
    return rc == SQLITE_DONE ? vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "typed object", (long long)obj))
                             : VOB_ERR;
}

// ---- types -----------------------------------------------------------------------

int vob_type_find(vob_t *v, int mtype, const std::string &name, vob_oid *out)
{
    vob_stmt q(v, "SELECT oid FROM type WHERE mtype = ?1 AND name = ?2");
    q.bind(1, (int64_t)mtype).bind(2, name);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *out = q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_TYPE, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
}

int vob_type_create(vob_t *v, int mtype, const std::string &name, const vob_event *ev, vob_oid *out)
{
    if (!valid_type_mtype(mtype))
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
    int rc = vob_check_name(v, name, vob_mtype_name(mtype));
    if (rc != VOB_OK)
        return rc;
    vob_oid have;
    rc = vob_type_find(v, mtype, name, &have);
    if (rc == VOB_OK) {
        if (out)
            *out = have;
        return vob_fail(v, VOB_EXISTS, VOB_MSG(VM_TYPE_EXISTS, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
    }
    if (rc != VOB_NOT_FOUND)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_oid oid;
    rc = vob_new_obj(v, mtype, ev, &oid);
    w.wrote();
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO type(oid, mtype, name) VALUES(?1, ?2, ?3)");
        q.bind(1, oid).bind(2, (int64_t)mtype).bind(3, name);
        rc = q.exec();
    }
    rc = w.end(rc);
    if (rc == VOB_OK && out)
        *out = oid;
    return rc;
}

int vob_type_get_name(vob_t *v, vob_oid type, std::string *name)
{
    vob_stmt q(v, "SELECT name FROM type WHERE oid = ?1");
    q.bind(1, type);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *name = q.str(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "type", (long long)type));
}

int vob_type_list(vob_t *v, int mtype, std::vector<vob_oid> *out)
{
    vob_stmt q(v, "SELECT oid FROM type WHERE mtype = ?1 ORDER BY name");
    q.bind(1, (int64_t)mtype);
    std::vector<vob_oid> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        r.push_back(q.i64(0));
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

// Checks that an object exists with one of the metatypes in mask (bit n: metatype n).
int vob_check_mtype(vob_t *v, vob_oid obj, unsigned mask, const char *what, int *mtype_out)
{
    int m = 0;
    vob_stmt q(v, "SELECT mtype FROM obj WHERE oid = ?1");
    q.bind(1, obj);
    int rc = q.step();
    if (rc == SQLITE_ROW)
        m = (int)q.i64(0);
    else if (rc != SQLITE_DONE)
        return VOB_ERR;
    if (m <= 0 || m >= 32 || !(mask & (1u << m)))
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), what, (long long)obj));
    if (mtype_out)
        *mtype_out = m;
    return VOB_OK;
}

// ---- locks --------------------------------------------------------------------------

int vob_obj_get_lock(vob_t *v, vob_oid obj, vob_lock *out)
{
    vob_stmt q(v, "SELECT oid, obsolete FROM lock WHERE target = ?1");
    q.bind(1, obj);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        out->oid = q.i64(0);
        out->target = obj;
        out->obsolete = (int)q.i64(1);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    v->err.clear();
    return VOB_NOT_FOUND;
}

int vob_check_locked(vob_t *v, vob_oid obj, const char *what)
{
    vob_lock lk;
    int rc = vob_obj_get_lock(v, obj, &lk);
    if (rc == VOB_NOT_FOUND)
        return VOB_OK;
    if (rc != VOB_OK)
        return rc;
    return vob_fail(v, VOB_LOCKED, VOB_MSG(VM_LOCKED, v->tag.c_str(), what));
}

int vob_obj_lock(vob_t *v, vob_oid obj, int obsolete, const vob_event *ev)
{
    const unsigned lockable = (1u << VOB_MT_FILE_ELEM) | (1u << VOB_MT_DIR_ELEM) | (1u << VOB_MT_BRANCH) |
                              (1u << VOB_MT_ELTYPE) | (1u << VOB_MT_BRTYPE) | (1u << VOB_MT_LBTYPE) |
                              (1u << VOB_MT_ATTYPE) | (1u << VOB_MT_HLTYPE);
    int rc = vob_check_mtype(v, obj, lockable, "lockable object", nullptr);
    if (rc != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_lock lk;
    rc = vob_obj_get_lock(v, obj, &lk);
    if (rc == VOB_OK) {
        vob_stmt q(v, "UPDATE lock SET obsolete = ?2 WHERE oid = ?1");
        q.bind(1, lk.oid).bind(2, (int64_t)(obsolete ? 1 : 0));
        w.wrote();
        rc = q.exec();
    } else if (rc == VOB_NOT_FOUND) {
        vob_oid oid;
        w.wrote();
        rc = vob_new_obj(v, VOB_MT_LOCK, ev, &oid);
        if (rc == VOB_OK) {
            vob_stmt q(v, "INSERT INTO lock(oid, target, obsolete) VALUES(?1, ?2, ?3)");
            q.bind(1, oid).bind(2, obj).bind(3, (int64_t)(obsolete ? 1 : 0));
            rc = q.exec();
        }
    }
    return w.end(rc);
}

int vob_obj_unlock(vob_t *v, vob_oid obj)
{
    vob_wscope w(v);
    int rc = w.begin();
    if (rc != VOB_OK)
        return rc;
    vob_lock lk;
    rc = vob_obj_get_lock(v, obj, &lk);
    if (rc == VOB_NOT_FOUND)
        return w.end(vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_LOCK, v->tag.c_str(), "the object")));
    if (rc == VOB_OK) {
        w.wrote();
        vob_stmt q(v, "DELETE FROM lock WHERE oid = ?1");
        q.bind(1, lk.oid);
        rc = q.exec();
        if (rc == VOB_OK) {
            vob_stmt d(v, "DELETE FROM obj WHERE oid = ?1");
            d.bind(1, lk.oid);
            rc = d.exec();
        }
    }
    return w.end(rc);
}

// ---- attributes ------------------------------------------------------------------------

int vob_obj_get_attrs(vob_t *v, vob_oid obj, std::vector<vob_attr> *out)
{
    vob_stmt q(v, "SELECT a.oid, a.attype, t.name, a.value FROM attr a JOIN type t ON t.oid = a.attype"
                  " WHERE a.target = ?1 ORDER BY t.name");
    q.bind(1, obj);
    std::vector<vob_attr> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        vob_attr a;
        a.oid = q.i64(0);
        a.attype = q.i64(1);
        a.name = q.str(2);
        a.value = q.str(3);
        r.push_back(std::move(a));
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

int vob_obj_set_attr(vob_t *v, vob_oid obj, vob_oid attype, const std::string &value, const vob_event *ev)
{
    int rc = vob_check_mtype(v, attype, 1u << VOB_MT_ATTYPE, "attribute type", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, obj, ~(1u << VOB_MT_ATTR | 1u << VOB_MT_LOCK), "object", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_locked(v, attype, "the attribute type");
    if (rc != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    {
        vob_stmt d(v, "DELETE FROM obj WHERE oid IN (SELECT oid FROM attr WHERE target = ?1 AND attype = ?2)");
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
    return w.end(rc);
}

int vob_obj_remove_attr(vob_t *v, vob_oid obj, vob_oid attype)
{
    vob_wscope w(v);
    int rc = w.begin();
    if (rc != VOB_OK)
        return rc;
    vob_oid oid = 0;
    {
        vob_stmt q(v, "SELECT oid FROM attr WHERE target = ?1 AND attype = ?2");
        q.bind(1, obj).bind(2, attype);
        int s = q.step();
        if (s == SQLITE_ROW)
            oid = q.i64(0);
        else if (s != SQLITE_DONE)
            return w.end(VOB_ERR);
    }
    if (!oid) {
        std::string name;
        vob_type_get_name(v, attype, &name);
        return w.end(vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_ATTR, v->tag.c_str(), name.c_str())));
    }
    w.wrote();
    vob_stmt d1(v, "DELETE FROM attr WHERE oid = ?1");
    d1.bind(1, oid);
    rc = d1.exec();
    if (rc == VOB_OK) {
        vob_stmt d2(v, "DELETE FROM obj WHERE oid = ?1");
        d2.bind(1, oid);
        rc = d2.exec();
    }
    return w.end(rc);
}

// ---- hyperlinks -----------------------------------------------------------------------

int vob_hlink_create(vob_t *v, vob_oid hltype, vob_oid from, vob_oid to, const vob_event *ev, vob_oid *out)
{
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
        if (from == to || vob_ver_get_elem(v, from, &e1) != VOB_OK || vob_ver_get_elem(v, to, &e2) != VOB_OK ||
            e1 != e2)
            return vob_fail(v, VOB_ERR, VOB_MSG(VM_SELF_LINK, v->tag.c_str()));
    }
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_oid oid = 0;
    w.wrote();
    rc = vob_new_obj(v, VOB_MT_HLINK, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO hlink(oid, hltype, src, dst) VALUES(?1, ?2, ?3, ?4)");
        q.bind(1, oid).bind(2, hltype).bind(3, from).bind(4, to);
        rc = q.exec();
    }
    rc = w.end(rc);
    if (rc == VOB_OK && out)
        *out = oid;
    return rc;
}

int vob_obj_get_hlinks(vob_t *v, vob_oid obj, vob_oid hltype, int dir, std::vector<vob_hlink> *out)
{
    const char *sql = dir == VOB_HL_FROM
                          ? "SELECT oid, hltype, src, dst FROM hlink WHERE src = ?1 AND (?2 = 0 OR hltype = ?2) ORDER BY oid"
                          : "SELECT oid, hltype, src, dst FROM hlink WHERE dst = ?1 AND (?2 = 0 OR hltype = ?2) ORDER BY oid";
    vob_stmt q(v, sql);
    q.bind(1, obj).bind(2, hltype);
    std::vector<vob_hlink> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        vob_hlink h;
        h.oid = q.i64(0);
        h.hltype = q.i64(1);
        h.from = q.i64(2);
        h.to = q.i64(3);
        r.push_back(h);
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}
