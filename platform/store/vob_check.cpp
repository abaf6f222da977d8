// Checks shared by the mutating families: names, metatypes and locks. They
// read through the getters and the database layer and never write; the
// families call them inside their write scope.
#include "platform/store/vob_int.h"
#include "runtime/typename.h"

// Type names follow the rule the exporters repair towards, so that whatever
// they write is taken here.
int vob_check_name(vob_t *v, const std::string &name, const char *what) {
    bool ok = typename_acceptable(name);
    return ok ? VOB_OK : vob_fail(v, VOB_ERR, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), what, name.c_str()));
}

int vob_check_entry_name(vob_t *v, const std::string &name) {
    bool ok = !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
              name.find('/') == std::string::npos && name.find('\0') == std::string::npos &&
              name.find("@@") == std::string::npos;
    return ok ? VOB_OK : vob_fail(v, VOB_ERR, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), "element", name.c_str()));
}

int vob_check_mtype(vob_t *v, vob_oid obj, unsigned mask, const char *what, int *mtype_out) {
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

int vob_check_locked(vob_t *v, vob_oid obj, const char *what) {
    vob_lock lk;
    int rc = vob_obj_get_lock(v, obj, &lk);
    if (rc == VOB_NOT_FOUND)
        return VOB_OK;
    if (rc != VOB_OK)
        return rc;
    return vob_fail(v, VOB_LOCKED, VOB_MSG(VM_LOCKED, v->tag.c_str(), what));
}
