// Elements and the namespace: making elements, adding and removing names in
// directory versions.
#include "platform/store/vob_int.h"

#include <algorithm>

static int name_exists(vob_t *v, vob_oid dir, const std::string &name) {
    std::string label;
    vob_elem_label(v, dir, &label);
    return vob_fail(v, VOB_EXISTS, VOB_MSG(VM_NAME_EXISTS, v->tag.c_str(), name.c_str(), label.c_str()));
}

// Makes the rows of an element, its main branch and version 0 (no name yet).
int vob_elem_make_rows(vob_t *v, vob_oid parent, const std::string &name, int mtype, vob_oid eltype,
                       const vob_event *ev, vob_oid *elem_out, vob_oid *ver0_out) {
    vob_oid elem, br, ver;
    int is_dir = mtype == VOB_MT_DIR_ELEM;
    int rc = vob_new_obj(v, mtype, ev, &elem);
    if (rc == VOB_OK)
        rc = vob_new_obj(v, VOB_MT_BRANCH, ev, &br);
    if (rc == VOB_OK)
        rc = vob_new_obj(v, is_dir ? VOB_MT_DIR_VERSION : VOB_MT_VERSION, ev, &ver);
    if (rc != VOB_OK)
        return rc;
    vob_stmt e(
        v, "INSERT INTO elem(oid, mtype, eltype, main_branch, parent, name) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    e.bind(1, elem).bind(2, (int64_t)mtype).bind(3, eltype).bind(4, br).bind(5, parent).bind(6, name);
    if (e.exec() != VOB_OK)
        return VOB_ERR;
    vob_stmt b(
        v, "INSERT INTO branch(oid, elem, brtype, sprout, path, next_num) VALUES(?1, ?2, ?3, 0, '/main', 1)");
    b.bind(1, br).bind(2, elem).bind(3, v->wk[VOB_WK_MAIN_BRTYPE]);
    if (b.exec() != VOB_OK)
        return VOB_ERR;
    std::string empty_sha;
    if (!is_dir && (rc = vob_db_put_bytes(v, std::string_view(), &empty_sha)) != VOB_OK)
        return rc;
    vob_stmt q(v, "INSERT INTO ver(oid, elem, branch, num, sha, size) VALUES(?1, ?2, ?3, 0, ?4, 0)");
    q.bind(1, ver).bind(2, elem).bind(3, br);
    if (is_dir)
        q.bind_null(4);
    else
        q.bind(4, std::string(VOB_EMPTY_SHA));
    if (q.exec() != VOB_OK)
        return VOB_ERR;
    *elem_out = elem;
    if (ver0_out)
        *ver0_out = ver;
    return VOB_OK;
}

// ---- names in directory versions -------------------------------------------------------

// The directory version that a namespace change goes to: the one this
// transaction made on the branch, else a new one. A new one is never dated
// before its branch or its element was made: an element entered with an
// event from the past (an import of old history) would otherwise date the
// directory's version before the directory itself.
static int change_target(vob_t *v, vob_oid branch, const vob_event *ev, vob_oid *dv) {
    auto it = v->txn_dirver.find(branch);
    if (it != v->txn_dirver.end()) {
        *dv = it->second;
        return VOB_OK;
    }
    vob_event at = ev ? *ev : vob_event_now();
    vob_event made;
    vob_branch_info bi;
    int rc = vob_obj_get_event(v, branch, &made);
    if (rc == VOB_OK)
        at.time = std::max(at.time, made.time);
    if (rc == VOB_OK && (rc = vob_branch_get(v, branch, &bi)) == VOB_OK &&
        (rc = vob_obj_get_event(v, bi.elem, &made)) == VOB_OK)
        at.time = std::max(at.time, made.time);
    if (rc != VOB_OK)
        return rc;
    return vob_ver_create_int(v, branch, vob_data_none(), &at, dv, -1, "");
}

// The branch of directory dir (0: its main branch), refused when it is not one.
static int dir_branch_of(vob_t *v, vob_oid dir, vob_oid *branch, vob_branch_info *bi) {
    vob_elem_info di;
    int rc = vob_elem_get(v, dir, &di);
    if (rc != VOB_OK)
        return rc;
    if (di.mtype != VOB_MT_DIR_ELEM) {
        std::string label;
        vob_elem_label(v, dir, &label);
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_NOT_DIR, v->tag.c_str(), label.c_str()));
    }
    if (*branch == 0)
        *branch = di.main_branch;
    if ((rc = vob_branch_get(v, *branch, bi)) != VOB_OK)
        return rc;
    if (bi->elem != dir)
        return vob_fail(v, VOB_NOT_FOUND,
                        VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "branch of the directory", (long long)*branch));
    return VOB_OK;
}

static int dir_branch(vob_t *v, vob_oid dir, vob_oid *branch, vob_oid *latest) {
    vob_branch_info bi;
    int rc = dir_branch_of(v, dir, branch, &bi);
    return rc == VOB_OK ? vob_latest_num(v, *branch, latest, nullptr) : rc;
}

static int add_name(vob_t *v, vob_wscope &w, vob_oid dir, vob_oid branch, const std::string &name,
                    vob_oid elem, const vob_event *ev, vob_oid *dv) {
    vob_oid latest = 0, there = 0;
    int rc = dir_branch(v, dir, &branch, &latest);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, elem, 1u << VOB_MT_FILE_ELEM | 1u << VOB_MT_DIR_ELEM, "element", nullptr);
    if (rc != VOB_OK)
        return rc;
    if (elem == v->wk[VOB_WK_ROOT_DIR])
        return vob_fail(v, VOB_ERR,
                        VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "the root directory cannot be given a name"));
    rc = vob_dir_lookup(v, latest, name, &there);
    if (rc == VOB_OK)
        return name_exists(v, dir, name);
    if (rc != VOB_NOT_FOUND)
        return rc;
    rc = change_target(v, branch, ev, dv);
    if (rc != VOB_OK)
        return rc;
    w.wrote();
    vob_stmt q(v, "INSERT INTO dirent(dirver, name, elem) VALUES(?1, ?2, ?3)");
    q.bind(1, *dv).bind(2, name).bind(3, elem);
    rc = q.exec_insert();
    return rc == VOB_EXISTS ? name_exists(v, dir, name) : rc;
}

int vob_dir_add_name(vob_t *v, vob_oid dir, vob_oid branch, const std::string &name, vob_oid elem,
                     const vob_event *ev, vob_oid *dirver_out) {
    int rc = vob_check_entry_name(v, name);
    if (rc != VOB_OK)
        return rc;
    vob_oid dv = 0;
    rc = vob_write(v, [&](vob_wscope &w) { return add_name(v, w, dir, branch, name, elem, ev, &dv); });
    if (rc == VOB_OK && dirver_out)
        *dirver_out = dv;
    return rc;
}

static int remove_name(vob_t *v, vob_wscope &w, vob_oid dir, vob_oid branch, const std::string &name,
                       const vob_event *ev, vob_oid *dv) {
    vob_oid latest = 0, there = 0;
    int rc = dir_branch(v, dir, &branch, &latest);
    if (rc != VOB_OK)
        return rc;
    rc = vob_dir_lookup(v, latest, name, &there);
    if (rc == VOB_NOT_FOUND) {
        std::string label;
        vob_elem_label(v, dir, &label);
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_NAME, v->tag.c_str(), name.c_str(), label.c_str()));
    }
    if (rc != VOB_OK)
        return rc;
    if (there == v->wk[VOB_WK_LOST_FOUND])
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "lost+found cannot be removed"));
    rc = change_target(v, branch, ev, dv);
    if (rc != VOB_OK)
        return rc;
    w.wrote();
    vob_stmt q(v, "DELETE FROM dirent WHERE dirver = ?1 AND name = ?2");
    q.bind(1, *dv).bind(2, name);
    return q.exec();
}

int vob_dir_remove_name(vob_t *v, vob_oid dir, vob_oid branch, const std::string &name, const vob_event *ev,
                        vob_oid *dirver_out) {
    vob_oid dv = 0;
    int rc = vob_write(v, [&](vob_wscope &w) { return remove_name(v, w, dir, branch, name, ev, &dv); });
    if (rc == VOB_OK && dirver_out)
        *dirver_out = dv;
    return rc;
}

// ---- elements ---------------------------------------------------------------------------

// A reserved checkout of the directory's branch stands in the way of the new
// directory version (as for vob_dir_add_name); checked before the element's
// rows are written, so that it is a refusal.
static int check_reserved(vob_t *v, vob_oid dir, const vob_branch_info &bi) {
    if (v->txn_dirver.count(bi.oid))
        return VOB_OK;   // the change goes to the version this transaction made
    std::string who, label;
    int rc = vob_reserved_by_other(v, bi.oid, "", &who);
    if (rc != VOB_OK || who.empty())
        return rc;
    vob_elem_label(v, dir, &label);
    return vob_fail(v, VOB_CKOUT,
                    VOB_MSG(VM_RESERVED, v->tag.c_str(), bi.path.c_str(), label.c_str(), who.c_str()));
}

static int create_elem(vob_t *v, vob_wscope &w, vob_oid parent_dir, vob_oid branch, const std::string &name,
                       int mtype, vob_oid eltype, const vob_event *ev, vob_oid *elem, vob_oid *ver0) {
    int rc = vob_check_mtype(v, eltype, 1u << VOB_MT_ELTYPE, "element type", nullptr);
    if (rc != VOB_OK)
        return rc;
    if ((mtype == VOB_MT_DIR_ELEM) != (eltype == v->wk[VOB_WK_DIR_ELTYPE]))
        return vob_fail(v, VOB_ERR,
                        VOB_MSG(VM_ELEM_KIND, v->tag.c_str(),
                                "directories take the element type \"directory\" and only they do"));
    if ((rc = vob_check_locked(v, eltype, "the element type")) != VOB_OK)
        return rc;
    vob_branch_info bi;
    if ((rc = dir_branch_of(v, parent_dir, &branch, &bi)) != VOB_OK)
        return rc;
    // The name is checked on the branch it goes to before anything is
    // written, so that a refused element leaves a caller's transaction intact.
    vob_oid dv = 0, there = 0;
    if ((rc = vob_latest_num(v, branch, &dv, nullptr)) != VOB_OK) {
        if (rc != VOB_NOT_FOUND)
            return rc;
        std::string label;
        vob_elem_label(v, parent_dir, &label);
        return vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NOT_DIR, v->tag.c_str(), label.c_str()));
    }
    rc = vob_dir_lookup(v, dv, name, &there);
    if (rc == VOB_OK)
        return name_exists(v, parent_dir, name);
    if (rc != VOB_NOT_FOUND)
        return rc;
    if ((rc = vob_check_locked(v, parent_dir, "the directory")) != VOB_OK ||
        (rc = vob_check_locked(v, branch, "the directory's branch")) != VOB_OK ||
        (rc = check_reserved(v, parent_dir, bi)) != VOB_OK)
        return rc;
    w.wrote();
    rc = vob_elem_make_rows(v, parent_dir, name, mtype, eltype, ev, elem, ver0);
    if (rc == VOB_OK)
        rc = add_name(v, w, parent_dir, branch, name, *elem, ev, &dv);
    return rc;
}

int vob_elem_create_in(vob_t *v, vob_oid parent_dir, vob_oid parent_branch, const std::string &name,
                       int mtype, vob_oid eltype, const vob_event *ev, vob_oid *elem_out, vob_oid *ver0_out) {
    if (mtype != VOB_MT_FILE_ELEM && mtype != VOB_MT_DIR_ELEM)
        return vob_fail(v, VOB_ERR,
                        VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "an element is a file or a directory"));
    int rc = vob_check_entry_name(v, name);
    if (rc != VOB_OK)
        return rc;
    if (eltype == 0)
        eltype = v->wk[mtype == VOB_MT_DIR_ELEM ? VOB_WK_DIR_ELTYPE : VOB_WK_FILE_ELTYPE];
    vob_oid elem = 0, ver0 = 0;
    rc = vob_write(v, [&](vob_wscope &w) {
        return create_elem(v, w, parent_dir, parent_branch, name, mtype, eltype, ev, &elem, &ver0);
    });
    if (rc == VOB_OK) {
        *elem_out = elem;
        if (ver0_out)
            *ver0_out = ver0;
    }
    return rc;
}

int vob_elem_create(vob_t *v, vob_oid parent_dir, const std::string &name, int mtype, vob_oid eltype,
                    const vob_event *ev, vob_oid *elem_out, vob_oid *ver0_out) {
    return vob_elem_create_in(v, parent_dir, 0, name, mtype, eltype, ev, elem_out, ver0_out);
}
