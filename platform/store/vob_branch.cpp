// Making branches.
#include "platform/store/vob_int.h"

static int make_branch(vob_t *v, vob_wscope &w, vob_oid from_ver, vob_oid brtype, const vob_event *ev,
                       vob_oid *br, vob_oid *ver) {
    vob_ver_info fv;
    int rc = vob_ver_get(v, from_ver, &fv);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, brtype, 1u << VOB_MT_BRTYPE, "branch type", nullptr);
    if (rc != VOB_OK)
        return rc;
    std::string tname, label;
    if ((rc = vob_type_get_name(v, brtype, &tname)) != VOB_OK)
        return rc;
    auto exists = [&] {
        vob_elem_label(v, fv.elem, &label);
        return vob_fail(v, VOB_EXISTS,
                        VOB_MSG(VM_BRANCH_EXISTS, v->tag.c_str(), label.c_str(), tname.c_str()));
    };
    if (brtype == v->wk[VOB_WK_MAIN_BRTYPE])
        return exists();
    {
        vob_stmt q(v, "SELECT 1 FROM branch WHERE elem = ?1 AND brtype = ?2");
        q.bind(1, fv.elem).bind(2, brtype);
        int s = q.step();
        if (s == SQLITE_ROW)
            return exists();
        if (s != SQLITE_DONE)
            return VOB_ERR;
    }
    if ((rc = vob_check_locked(v, brtype, "the branch type")) != VOB_OK ||
        (rc = vob_check_locked(v, fv.elem, "the element")) != VOB_OK)
        return rc;
    vob_branch_info parent;
    if ((rc = vob_branch_get(v, fv.branch, &parent)) != VOB_OK)
        return rc;
    w.wrote();
    rc = vob_new_obj(v, VOB_MT_BRANCH, ev, br);
    if (rc == VOB_OK)
        rc = vob_new_obj(v, fv.mtype, ev, ver);
    if (rc == VOB_OK) {
        vob_stmt q(
            v, "INSERT INTO branch(oid, elem, brtype, sprout, path, next_num) VALUES(?1, ?2, ?3, ?4, ?5, 1)");
        q.bind(1, *br).bind(2, fv.elem).bind(3, brtype).bind(4, from_ver).bind(5, parent.path + "/" + tname);
        rc = q.exec_insert();
        if (rc == VOB_EXISTS)
            rc = exists();
    }
    if (rc == VOB_OK) {
        // Version 0 of a branch shows what it sprouts from.
        vob_stmt q(v,
                   "INSERT INTO ver(oid, elem, branch, num, sha, size) SELECT ?1, elem, ?2, 0, sha, size"
                   " FROM ver WHERE oid = ?3");
        q.bind(1, *ver).bind(2, *br).bind(3, from_ver);
        rc = q.exec();
    }
    if (rc == VOB_OK && fv.mtype == VOB_MT_DIR_VERSION) {
        vob_stmt q(
            v, "INSERT INTO dirent(dirver, name, elem) SELECT ?2, name, elem FROM dirent WHERE dirver = ?1");
        q.bind(1, from_ver).bind(2, *ver);
        rc = q.exec();
    }
    return rc;
}

int vob_branch_create(vob_t *v, vob_oid from_ver, vob_oid brtype, const vob_event *ev, vob_oid *branch_out,
                      vob_oid *ver0_out) {
    vob_oid br = 0, ver = 0;
    int rc = vob_write(v, [&](vob_wscope &w) { return make_branch(v, w, from_ver, brtype, ev, &br, &ver); });
    if (rc == VOB_OK) {
        if (branch_out)
            *branch_out = br;
        if (ver0_out)
            *ver0_out = ver;
    }
    return rc;
}
