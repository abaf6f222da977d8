// Locks on elements, branches and types.
#include "platform/store/vob_int.h"

static int lock_obj(vob_t *v, vob_wscope &w, vob_oid obj, int obsolete, const vob_event *ev) {
    const unsigned lockable = (1u << VOB_MT_FILE_ELEM) | (1u << VOB_MT_DIR_ELEM) | (1u << VOB_MT_BRANCH) |
                              (1u << VOB_MT_ELTYPE) | (1u << VOB_MT_BRTYPE) | (1u << VOB_MT_LBTYPE) |
                              (1u << VOB_MT_ATTYPE) | (1u << VOB_MT_HLTYPE);
    int rc = vob_check_mtype(v, obj, lockable, "lockable object", nullptr);
    if (rc != VOB_OK)
        return rc;
    vob_lock lk;
    rc = vob_obj_get_lock(v, obj, &lk);
    if (rc == VOB_OK) {
        w.wrote();
        vob_stmt q(v, "UPDATE lock SET obsolete = ?2 WHERE oid = ?1");
        q.bind(1, lk.oid).bind(2, (int64_t)(obsolete ? 1 : 0));
        return q.exec();
    }
    if (rc != VOB_NOT_FOUND)
        return rc;
    vob_oid oid;
    w.wrote();
    rc = vob_new_obj(v, VOB_MT_LOCK, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO lock(oid, target, obsolete) VALUES(?1, ?2, ?3)");
        q.bind(1, oid).bind(2, obj).bind(3, (int64_t)(obsolete ? 1 : 0));
        rc = q.exec();
    }
    return rc;
}

int vob_obj_lock(vob_t *v, vob_oid obj, int obsolete, const vob_event *ev) {
    return vob_write(v, [&](vob_wscope &w) { return lock_obj(v, w, obj, obsolete, ev); });
}

static int unlock_obj(vob_t *v, vob_wscope &w, vob_oid obj) {
    vob_lock lk;
    int rc = vob_obj_get_lock(v, obj, &lk);
    if (rc == VOB_NOT_FOUND)
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_LOCK, v->tag.c_str(), "the object"));
    if (rc != VOB_OK)
        return rc;
    w.wrote();
    vob_stmt q(v, "DELETE FROM lock WHERE oid = ?1");
    q.bind(1, lk.oid);
    rc = q.exec();
    if (rc == VOB_OK) {
        vob_stmt d(v, "DELETE FROM obj WHERE oid = ?1");
        d.bind(1, lk.oid);
        rc = d.exec();
    }
    return rc;
}

int vob_obj_unlock(vob_t *v, vob_oid obj) {
    return vob_write(v, [&](vob_wscope &w) { return unlock_obj(v, w, obj); });
}
