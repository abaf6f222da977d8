// Records of the layers above the store: an obj row (the event) and a
// record row (metatype, name, body) per record. The store keeps them and
// checks their names; what a body means is the owning layer's.
//
// A VOB of a schema before 3 has no record table until its first writer
// upgrades it: reads find no records there, writes upgrade first (vob_begin).
#include "platform/store/vob_int.h"

static bool is_record_mtype(int mtype) { return mtype >= VOB_MT_PROJECT && mtype <= VOB_MT_STREAM; }

// A record name: 1 to 255 bytes, no NUL (the layer adds its own rules).
static int check_record_args(vob_t *v, int mtype, const std::string &name) {
    bool ok =
        is_record_mtype(mtype) && !name.empty() && name.size() <= 255 && name.find('\0') == std::string::npos;
    return ok ? VOB_OK
              : vob_fail(v, VOB_ERR,
                         VOB_MSG(VM_BAD_NAME, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
}

// Whether the table is there: always from schema 3 on; before that only
// when another process has upgraded since this handle read the schema.
static int have_table(vob_t *v, bool *have) {
    if (v->schema >= 3) {
        *have = true;
        return VOB_OK;
    }
    vob_stmt q(v, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'record'");
    int rc = q.step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return VOB_ERR;
    *have = rc == SQLITE_ROW;
    return VOB_OK;
}

static int record_exists(vob_t *v, int mtype, const std::string &name) {
    return vob_fail(v, VOB_EXISTS,
                    VOB_MSG(VM_TYPE_EXISTS, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
}

static int no_record(vob_t *v, vob_oid rec) {
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "record", (long long)rec));
}

static int create_record(vob_t *v, vob_wscope &w, int mtype, const std::string &name, const std::string &body,
                         const vob_event *ev, vob_oid *oid) {
    vob_oid have = 0;
    int rc = vob_record_find(v, mtype, name, &have);
    if (rc == VOB_OK)
        return record_exists(v, mtype, name);
    if (rc != VOB_NOT_FOUND)
        return rc;
    w.wrote();
    if ((rc = vob_new_obj(v, mtype, ev, oid)) != VOB_OK)
        return rc;
    vob_stmt q(v, "INSERT INTO record(oid, mtype, name, body) VALUES(?1, ?2, ?3, ?4)");
    q.bind(1, *oid).bind(2, (int64_t)mtype).bind(3, name).bind_blob_text(4, body);
    rc = q.exec_insert();
    return rc == VOB_EXISTS ? record_exists(v, mtype, name) : rc;
}

int vob_record_create(vob_t *v, int mtype, const std::string &name, const std::string &body,
                      const vob_event *ev, vob_oid *out) {
    int rc = check_record_args(v, mtype, name);
    if (rc != VOB_OK)
        return rc;
    vob_oid oid = 0;
    rc = vob_write(v, [&](vob_wscope &w) { return create_record(v, w, mtype, name, body, ev, &oid); });
    if (rc == VOB_OK && out)
        *out = oid;
    return rc;
}

int vob_record_find(vob_t *v, int mtype, const std::string &name, vob_oid *out) {
    bool have = false;
    int rc = have_table(v, &have);
    if (rc != VOB_OK)
        return rc;
    if (have) {
        vob_stmt q(v, "SELECT oid FROM record WHERE mtype = ?1 AND name = ?2");
        q.bind(1, (int64_t)mtype).bind(2, name);
        rc = q.step();
        if (rc == SQLITE_ROW) {
            *out = q.i64(0);
            return VOB_OK;
        }
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    return vob_fail(v, VOB_NOT_FOUND,
                    VOB_MSG(VM_NO_TYPE, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
}

int vob_record_get(vob_t *v, vob_oid rec, vob_record *out) {
    bool have = false;
    int rc = have_table(v, &have);
    if (rc != VOB_OK)
        return rc;
    if (!have)
        return no_record(v, rec);
    vob_stmt q(v, "SELECT mtype, name, body FROM record WHERE oid = ?1");
    q.bind(1, rec);
    rc = q.step();
    if (rc == SQLITE_DONE)
        return no_record(v, rec);
    if (rc != SQLITE_ROW)
        return VOB_ERR;
    out->oid = rec;
    out->mtype = (int)q.i64(0);
    out->name = q.str(1);
    out->body = q.str(2);
    return VOB_OK;
}

int vob_record_list(vob_t *v, int mtype, std::vector<vob_record> *out) {
    bool have = false;
    int rc = have_table(v, &have);
    if (rc != VOB_OK)
        return rc;
    std::vector<vob_record> r;
    if (have) {
        vob_stmt q(v, "SELECT oid, name, body FROM record WHERE mtype = ?1 ORDER BY name");
        q.bind(1, (int64_t)mtype);
        while ((rc = q.step()) == SQLITE_ROW)
            r.push_back({q.i64(0), mtype, q.str(1), q.str(2)});
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    *out = std::move(r);
    return VOB_OK;
}

// The record's row is there (checked inside the write scope).
static int check_present(vob_t *v, vob_oid rec) {
    vob_record r;
    return vob_record_get(v, rec, &r);
}

int vob_record_set_body(vob_t *v, vob_oid rec, const std::string &body) {
    return vob_write(v, [&](vob_wscope &w) {
        int rc = check_present(v, rec);
        if (rc != VOB_OK)
            return rc;
        w.wrote();
        vob_stmt q(v, "UPDATE record SET body = ?2 WHERE oid = ?1");
        q.bind(1, rec).bind_blob_text(2, body);
        return q.exec();
    });
}

int vob_record_remove(vob_t *v, vob_oid rec) {
    return vob_write(v, [&](vob_wscope &w) {
        int rc = check_present(v, rec);
        if (rc != VOB_OK)
            return rc;
        w.wrote();
        vob_stmt d1(v, "DELETE FROM record WHERE oid = ?1");
        d1.bind(1, rec);
        if ((rc = d1.exec()) != VOB_OK)
            return rc;
        vob_stmt d2(v, "DELETE FROM obj WHERE oid = ?1");
        d2.bind(1, rec);
        return d2.exec();
    });
}
