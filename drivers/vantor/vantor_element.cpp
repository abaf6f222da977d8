// Opening a VOB element and describing it: type, mode, obsolete state and
// branches, creation event, checkouts, attributes.
#include <algorithm>
#include <memory>

#include "drivers/vantor/vantor_int.h"
#include "runtime/fileutl.h"

namespace {

// Each version of the branch, then at once the branches sprouting from it.
void flatten(const cmd_vtree_branch &b, std::vector<const cmd_vtree_version *> *out) {
    for (const cmd_vtree_version &v : b.versions) {
        out->push_back(&v);
        for (const cmd_vtree_branch &sub : v.branches)
            flatten(sub, out);
    }
}

int main_branch_path(vantor_element *e) {
    vob_oid brtype = 0;
    if (int rc = vob_ob_get_wk_obj(e->vob, VOB_WK_MAIN_BRTYPE, &brtype))
        return vt_fail(e, VT_NO_MAIN_BRANCH, rc);
    std::string name;
    if (vt_type_name(e, brtype, VT_PATH_SIZE, VT_NO_MAIN_NAME, &name))
        return CM_FAILED;
    e->main_path = "/" + name;
    return 0;
}

// Metatypes 5 and 8 are an element and a version of a kind this store does
// not make; they are taken as the exporter always took them.
enum { MT_OTHER_ELEM = 5, MT_OTHER_VERSION = 8 };

// The element itself for elements, the element of a version for versions.
int find_element(vantor_element *e, vob_oid obj) {
    int mtype = 0;
    if (int rc = vob_obj_get_mtype(e->vob, obj, &mtype))
        return vt_fail(e, VT_NO_MTYPE, rc);
    if (mtype == VOB_MT_FILE_ELEM || mtype == VOB_MT_DIR_ELEM || mtype == MT_OTHER_ELEM) {
        e->elem = obj;
        e->mtype = mtype;
        return 0;
    }
    if (mtype != VOB_MT_VERSION && mtype != VOB_MT_DIR_VERSION && mtype != MT_OTHER_VERSION) {
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_NOT_VERSIONED, e->path.c_str(), vob_mtype_name(mtype));
        return CM_FAILED;
    }
    if (int rc = vob_ver_get_elem(e->vob, obj, &e->elem))
        return vt_fail(e, VT_NO_ELEMENT, rc);
    if (int rc = vob_obj_get_mtype(e->vob, e->elem, &e->mtype))
        return vt_fail(e, VT_NO_MTYPE, rc);
    return 0;
}

int open_steps(vantor_element *e) {
    vob_oid obj = 0;
    std::string err;
    if (vob_resolve_vob_obj(e->path, &e->vob, &obj, &err) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_CANT_RESOLVE, e->path.c_str());
        IMSG_PRINT(IMSG_CONT, vt_cat(), VT_REASON, err.c_str());
        return CM_FAILED;
    }
    if (main_branch_path(e) || find_element(e, obj))
        return CM_FAILED;
    if (int rc = cmd_utl_get_vtree(e->vob, e->elem, &e->tree))
        return vt_fail(e, VT_NO_VTREE, rc);
    flatten(e->tree, &e->nodes);
    e->cursor = 0;
    return 0;
}

int element_type(const vantor_element *e, element_info *info) {
    vob_oid type = 0;
    if (int rc = vob_obj_get_type(e->vob, e->elem, &type))
        return vt_fail(e, VT_NO_TYPE, rc);
    std::string name;
    if (vt_type_name(e, type, VT_NAME_SIZE, VT_NO_TYPE_NAME, &name))
        return CM_FAILED;
    info->type_name = name;
    return 0;
}

// 1 when the object carries a lock marked obsolete, 0 without; CM_FAILED.
int locked_obsolete(const vantor_element *e, vob_oid obj, int *obsolete) {
    vob_lock lock;
    int rc = vob_obj_get_lock(e->vob, obj, &lock);
    if (rc == VOB_NOT_FOUND) {
        *obsolete = 0;
        return 0;
    }
    if (rc != VOB_OK)
        return vt_fail(e, VT_NO_LOCKS, rc);
    *obsolete = lock.obsolete != 0;
    return 0;
}

int obsolete_branches(const vantor_element *e, element_info *info) {
    for (const cmd_vtree_version *n : e->nodes)
        for (const cmd_vtree_branch &b : n->branches) {
            std::string path;
            int obsolete = 0;
            if (int rc = vob_branch_get_pname(e->vob, b.branch, VT_PATH_SIZE, &path)) {
                vt_fail(e, VT_NO_BRANCH_PATH, rc);
                IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_NO_OBSOLETE);
                return CM_FAILED;
            }
            if (locked_obsolete(e, b.branch, &obsolete)) {
                IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_NO_OBSOLETE);
                return CM_FAILED;
            }
            if (obsolete)
                info->obsolete_branches.push_back(vt_below_main(e, path));
        }
    return 0;
}

int creation_event(const vantor_element *e, element_info *info) {
    vob_event ev;
    if (vt_creation_event(e, e->elem, &ev))
        return CM_FAILED;
    info->created = ev.time;
    vt_copy_event_who(ev, info);
    return 0;
}

// "user:/main/3 (reserved)". A checkout whose event or version cannot be read
// is left out; a failing walk of the checkouts leaves them all out.
void checkouts(const vantor_element *e, element_info *info) {
    vob_ckout_cursor *cursor = nullptr;
    str_list list;
    for (;;) {
        vob_ckout ck;
        if (int rc = vob_elem_next_ckouts(e->vob, e->elem, &cursor, &ck)) {
            vt_fail(e, VT_NO_CKOUTS, rc);
            vob_ob_cursor_close(cursor);
            return;
        }
        if (!cursor)
            break;
        vob_event ev;
        std::string vid;
        if (vob_obj_find_event(e->vob, ck.oid, VOB_EV_CHECKOUT, &ev) != VOB_OK ||
            vob_ver_get_idstr(e->vob, ck.ver, VT_PATH_SIZE, &vid) != VOB_OK)
            continue;
        std::string how = imsg_sprintf(vt_cat(), ck.reserved ? VT_RESERVED : VT_UNRESERVED);
        list.push_back(ev.user + ":" + vid + " (" + how + ")");
    }
    info->checkouts = std::move(list);
}

}   // namespace

// "name=value" for each attribute of obj; the update time, when given, is
// raised to each attribute's creation time.
int vt_attributes(const vantor_element *e, vob_oid obj, str_list *out, int64_t *update_time) {
    vob_attr_cursor cursor;
    while (!cursor.done) {
        std::vector<vob_attr> batch;
        if (int rc = vob_obj_next_attrs(e->vob, obj, &cursor, 20, &batch))
            return vt_fail(e, VT_NO_ATTRS, rc);
        for (const vob_attr &a : batch) {
            std::string name, value;
            if (vt_type_name(e, a.attype, VT_PATH_SIZE, VT_NO_ATTR_VALUE, &name))
                return CM_FAILED;
            if (int rc = vob_val_value_to_str(a.value, 0, &value))
                return vt_fail(e, VT_NO_ATTR_VALUE, rc);
            vob_event ev;
            if (update_time && vob_obj_find_event(e->vob, a.oid, VOB_EV_CREATE, &ev) == VOB_OK)
                *update_time = std::max(*update_time, ev.time);
            out->push_back(name + "=" + value);
        }
    }
    return 0;
}

int vt_open_element(const char *path, void **handle) {
    auto e = std::make_unique<vantor_element>();
    e->path = path;
    if (open_steps(e.get()) != 0)
        return CM_FAILED;
    *handle = e.release();
    return 0;
}

int vt_element_info(void *handle, element_info *info) {
    const vantor_element *e = static_cast<vantor_element *>(handle);
    *info = element_info();
    if (element_type(e, info))
        return CM_FAILED;
    info->name = e->path;
    fileutl_stat_t st{};
    info->mode = fileutl_stat(e->path.c_str(), 1, &st) == 0 ? int(st.mode) : 0;
    int obsolete = 0;
    if (locked_obsolete(e, e->elem, &obsolete))
        return CM_FAILED;
    if (obsolete)
        info->state = ELEMENT_STATE_OBSOLETE;
    if (obsolete_branches(e, info) || creation_event(e, info))
        return CM_FAILED;
    checkouts(e, info);
    // The latest attribute's creation lets -s find an element whose
    // attributes alone changed.
    if (vt_attributes(e, e->elem, &info->attributes, &info->updated))
        return CM_FAILED;
    return 0;
}
