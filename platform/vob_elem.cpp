// Elements, branches, directories and the namespace, selection of versions
// by rules and lookup of paths below a VOB root.
#include "platform/vob_int.h"

#include <deque>

// ---- elements ----------------------------------------------------------------------

int vob_elem_get(vob_t *v, vob_oid elem, vob_elem_info *out)
{
    vob_stmt q(v, "SELECT e.mtype, e.eltype, t.name, e.main_branch, e.name FROM elem e"
                  " JOIN type t ON t.oid = e.eltype WHERE e.oid = ?1");
    q.bind(1, elem);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        out->oid = elem;
        out->mtype = (int)q.i64(0);
        out->eltype = q.i64(1);
        out->eltype_name = q.str(2);
        out->main_branch = q.i64(3);
        out->name = q.str(4);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "element", (long long)elem));
}

int vob_elem_list(vob_t *v, std::vector<vob_oid> *out)
{
    vob_stmt q(v, "SELECT oid FROM elem ORDER BY oid");
    std::vector<vob_oid> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        r.push_back(q.i64(0));
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

static int latest_main(vob_t *v, vob_oid elem, vob_oid *ver)
{
    vob_stmt q(v, "SELECT v.oid FROM elem e JOIN ver v ON v.branch = e.main_branch WHERE e.oid = ?1"
                  " ORDER BY v.num DESC LIMIT 1");
    q.bind(1, elem);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *ver = q.i64(0);
        return VOB_OK;
    }
    return rc == SQLITE_DONE ? VOB_NOT_FOUND : VOB_ERR;
}

// Path through the first parent, when every step still names the element.
static int path_by_parent(vob_t *v, vob_oid elem, std::string *path, int depth)
{
    if (elem == v->wk[VOB_WK_ROOT_DIR]) {
        path->clear();
        return VOB_OK;
    }
    if (depth > 4096)
        return VOB_NOT_FOUND;
    vob_oid parent = 0;
    std::string name;
    {
        vob_stmt q(v, "SELECT parent, name FROM elem WHERE oid = ?1");
        q.bind(1, elem);
        int rc = q.step();
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE ? VOB_NOT_FOUND : VOB_ERR;
        parent = q.i64(0);
        name = q.str(1);
    }
    vob_oid dv = 0, found = 0;
    int rc = latest_main(v, parent, &dv);
    if (rc != VOB_OK)
        return rc;
    rc = vob_dir_lookup(v, dv, name, &found);
    if (rc != VOB_OK || found != elem)
        return rc == VOB_OK || rc == VOB_NOT_FOUND ? VOB_NOT_FOUND : rc;
    std::string up;
    if ((rc = path_by_parent(v, parent, &up, depth + 1)) != VOB_OK)
        return rc;
    *path = up.empty() ? name : up + "/" + name;
    return VOB_OK;
}

int vob_elem_get_path(vob_t *v, vob_oid elem, std::string *path)
{
    int rc = path_by_parent(v, elem, path, 0);
    if (rc != VOB_NOT_FOUND)
        return rc;
    // The element was moved or got its name elsewhere: search the namespace.
    std::deque<std::pair<vob_oid, std::string>> todo{{v->wk[VOB_WK_ROOT_DIR], ""}};
    std::unordered_map<vob_oid, int> seen;
    while (!todo.empty()) {
        auto [dir, dpath] = todo.front();
        todo.pop_front();
        if (seen[dir]++)
            continue;
        vob_oid dv;
        if ((rc = latest_main(v, dir, &dv)) != VOB_OK)
            continue;
        std::vector<vob_dirent> ents;
        if ((rc = vob_dir_read(v, dv, &ents)) != VOB_OK)
            return rc;
        for (auto &e : ents) {
            std::string p = dpath.empty() ? e.name : dpath + "/" + e.name;
            if (e.elem == elem) {
                *path = p;
                return VOB_OK;
            }
            if (e.mtype == VOB_MT_DIR_ELEM)
                todo.push_back({e.elem, p});
        }
    }
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "named element", (long long)elem));
}

int vob_elem_label(vob_t *v, vob_oid elem, std::string *label)
{
    std::string keep = v->err;
    if (vob_elem_get_path(v, elem, label) != VOB_OK) {
        vob_elem_info ei;
        *label = vob_elem_get(v, elem, &ei) == VOB_OK ? ei.name : "element " + std::to_string(elem);
    }
    v->err = keep;
    return VOB_OK;
}

static int check_entry_name(vob_t *v, const std::string &name)
{
    bool ok = !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
              name.find('/') == std::string::npos && name.find('\0') == std::string::npos &&
              name.find("@@") == std::string::npos;
    return ok ? VOB_OK : vob_fail(v, VOB_ERR, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), "element", name.c_str()));
}

// Makes the rows of an element, its main branch and version 0 (no name yet).
int vob_elem_make_rows(vob_t *v, vob_oid parent, const std::string &name, int mtype, vob_oid eltype,
                       const vob_event *ev, vob_oid *elem_out, vob_oid *ver0_out)
{
    vob_oid elem, br, ver;
    int is_dir = mtype == VOB_MT_DIR_ELEM;
    int rc = vob_new_obj(v, mtype, ev, &elem);
    if (rc == VOB_OK)
        rc = vob_new_obj(v, VOB_MT_BRANCH, ev, &br);
    if (rc == VOB_OK)
        rc = vob_new_obj(v, is_dir ? VOB_MT_DIR_VERSION : VOB_MT_VERSION, ev, &ver);
    if (rc != VOB_OK)
        return rc;
    vob_stmt e(v, "INSERT INTO elem(oid, mtype, eltype, main_branch, parent, name) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    e.bind(1, elem).bind(2, (int64_t)mtype).bind(3, eltype).bind(4, br).bind(5, parent).bind(6, name);
    if (e.exec() != VOB_OK)
        return VOB_ERR;
    vob_stmt b(v, "INSERT INTO branch(oid, elem, brtype, sprout, path, next_num) VALUES(?1, ?2, ?3, 0, '/main', 1)");
    b.bind(1, br).bind(2, elem).bind(3, v->wk[VOB_WK_MAIN_BRTYPE]);
    if (b.exec() != VOB_OK)
        return VOB_ERR;
    std::string empty_sha;
    if (!is_dir && (rc = vob_pool_put(v, std::string_view(), &empty_sha)) != VOB_OK)
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

int vob_elem_create(vob_t *v, vob_oid parent_dir, const std::string &name, int mtype, vob_oid eltype,
                    const vob_event *ev, vob_oid *elem_out, vob_oid *ver0_out)
{
    if (mtype != VOB_MT_FILE_ELEM && mtype != VOB_MT_DIR_ELEM)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "an element is a file or a directory"));
    int rc = check_entry_name(v, name);
    if (rc != VOB_OK)
        return rc;
    if (eltype == 0)
        eltype = v->wk[mtype == VOB_MT_DIR_ELEM ? VOB_WK_DIR_ELTYPE : VOB_WK_FILE_ELTYPE];
    if ((rc = vob_check_mtype(v, eltype, 1u << VOB_MT_ELTYPE, "element type", nullptr)) != VOB_OK)
        return rc;
    if ((mtype == VOB_MT_DIR_ELEM) != (eltype == v->wk[VOB_WK_DIR_ELTYPE]))
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(),
                                            "directories take the element type \"directory\" and only they do"));
    if ((rc = vob_check_locked(v, eltype, "the element type")) != VOB_OK)
        return rc;
    vob_elem_info pi;
    if ((rc = vob_elem_get(v, parent_dir, &pi)) != VOB_OK)
        return rc;
    if (pi.mtype != VOB_MT_DIR_ELEM) {
        std::string label;
        vob_elem_label(v, parent_dir, &label);
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_NOT_DIR, v->tag.c_str(), label.c_str()));
    }
    // The name is checked before anything is written, so that a refused
    // element leaves a caller's transaction intact.
    vob_oid dv = 0, there = 0;
    if ((rc = latest_main(v, parent_dir, &dv)) != VOB_OK)
        return rc == VOB_NOT_FOUND ? vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_NOT_DIR, v->tag.c_str(), pi.name.c_str())) : rc;
    rc = vob_dir_lookup(v, dv, name, &there);
    if (rc == VOB_OK) {
        std::string label;
        vob_elem_label(v, parent_dir, &label);
        return vob_fail(v, VOB_EXISTS, VOB_MSG(VM_NAME_EXISTS, v->tag.c_str(), name.c_str(), label.c_str()));
    }
    if (rc != VOB_NOT_FOUND)
        return rc;
    if ((rc = vob_check_locked(v, parent_dir, "the directory")) != VOB_OK ||
        (rc = vob_check_locked(v, pi.main_branch, "the directory's branch")) != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    vob_oid elem = 0;
    rc = vob_elem_make_rows(v, parent_dir, name, mtype, eltype, ev, &elem, ver0_out);
    if (rc == VOB_OK)
        rc = vob_dir_add_name(v, parent_dir, pi.main_branch, name, elem, ev, nullptr);
    rc = w.end(rc);
    if (rc == VOB_OK)
        *elem_out = elem;
    return rc;
}

// ---- branches -----------------------------------------------------------------------

int vob_branch_get(vob_t *v, vob_oid branch, vob_branch_info *out)
{
    vob_stmt q(v, "SELECT elem, brtype, sprout, path FROM branch WHERE oid = ?1");
    q.bind(1, branch);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        out->oid = branch;
        out->elem = q.i64(0);
        out->brtype = q.i64(1);
        out->sprout_ver = q.i64(2);
        out->path = q.str(3);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "branch", (long long)branch));
}

int vob_branch_find(vob_t *v, vob_oid elem, const std::string &path, vob_oid *out)
{
    vob_stmt q(v, "SELECT oid FROM branch WHERE elem = ?1 AND path = ?2");
    q.bind(1, elem).bind(2, path);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *out = q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    std::string label;
    vob_elem_label(v, elem, &label);
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_VERSION, v->tag.c_str(), label.c_str(), path.c_str()));
}

int vob_ver_get_subbranches(vob_t *v, vob_oid ver, std::vector<vob_oid> *out)
{
    vob_stmt q(v, "SELECT oid FROM branch WHERE sprout = ?1 ORDER BY oid");
    q.bind(1, ver);
    std::vector<vob_oid> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        r.push_back(q.i64(0));
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

int vob_branch_create(vob_t *v, vob_oid from_ver, vob_oid brtype, const vob_event *ev, vob_oid *branch_out,
                      vob_oid *ver0_out)
{
    vob_ver_info fv;
    int rc = vob_ver_get(v, from_ver, &fv);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, brtype, 1u << VOB_MT_BRTYPE, "branch type", nullptr);
    if (rc != VOB_OK)
        return rc;
    std::string tname, label;
    if ((rc = vob_type_get_name(v, brtype, &tname)) != VOB_OK)
        return rc;
    if (brtype == v->wk[VOB_WK_MAIN_BRTYPE])
        rc = VOB_EXISTS;
    else {
        vob_stmt q(v, "SELECT 1 FROM branch WHERE elem = ?1 AND brtype = ?2");
        q.bind(1, fv.elem).bind(2, brtype);
        int s = q.step();
        rc = s == SQLITE_ROW ? VOB_EXISTS : s == SQLITE_DONE ? VOB_OK : VOB_ERR;
    }
    if (rc == VOB_EXISTS) {
        vob_elem_label(v, fv.elem, &label);
        return vob_fail(v, VOB_EXISTS, VOB_MSG(VM_BRANCH_EXISTS, v->tag.c_str(), label.c_str(), tname.c_str()));
    }
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_check_locked(v, brtype, "the branch type")) != VOB_OK ||
        (rc = vob_check_locked(v, fv.elem, "the element")) != VOB_OK)
        return rc;
    vob_branch_info parent;
    if ((rc = vob_branch_get(v, fv.branch, &parent)) != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    vob_oid br = 0, ver = 0;
    rc = vob_new_obj(v, VOB_MT_BRANCH, ev, &br);
    if (rc == VOB_OK)
        rc = vob_new_obj(v, fv.mtype, ev, &ver);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO branch(oid, elem, brtype, sprout, path, next_num) VALUES(?1, ?2, ?3, ?4, ?5, 1)");
        q.bind(1, br).bind(2, fv.elem).bind(3, brtype).bind(4, from_ver).bind(5, parent.path + "/" + tname);
        rc = q.exec();
    }
    if (rc == VOB_OK) {
        // Version 0 of a branch shows what it sprouts from.
        vob_stmt q(v, "INSERT INTO ver(oid, elem, branch, num, sha, size) SELECT ?1, elem, ?2, 0, sha, size"
                      " FROM ver WHERE oid = ?3");
        q.bind(1, ver).bind(2, br).bind(3, from_ver);
        rc = q.exec();
    }
    if (rc == VOB_OK && fv.mtype == VOB_MT_DIR_VERSION) {
        vob_stmt q(v, "INSERT INTO dirent(dirver, name, elem) SELECT ?2, name, elem FROM dirent WHERE dirver = ?1");
        q.bind(1, from_ver).bind(2, ver);
        rc = q.exec();
    }
    rc = w.end(rc);
    if (rc == VOB_OK) {
        if (branch_out)
            *branch_out = br;
        if (ver0_out)
            *ver0_out = ver;
    }
    return rc;
}

// ---- directories --------------------------------------------------------------------

int vob_dir_read(vob_t *v, vob_oid dirver, std::vector<vob_dirent> *out)
{
    vob_stmt q(v, "SELECT d.name, d.elem, e.mtype FROM dirent d JOIN elem e ON e.oid = d.elem"
                  " WHERE d.dirver = ?1 ORDER BY d.name");
    q.bind(1, dirver);
    std::vector<vob_dirent> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        vob_dirent d;
        d.name = q.str(0);
        d.elem = q.i64(1);
        d.mtype = (int)q.i64(2);
        r.push_back(std::move(d));
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

int vob_dir_lookup(vob_t *v, vob_oid dirver, const std::string &name, vob_oid *elem)
{
    vob_stmt q(v, "SELECT elem FROM dirent WHERE dirver = ?1 AND name = ?2");
    q.bind(1, dirver).bind(2, name);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *elem = q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    v->err.clear();
    return VOB_NOT_FOUND;
}

// The directory version that a namespace change goes to: the one this
// transaction made on the branch, else a new one.
static int change_target(vob_t *v, vob_oid branch, const vob_event *ev, vob_oid *dv, int *made)
{
    auto it = v->txn_dirver.find(branch);
    if (it != v->txn_dirver.end()) {
        *dv = it->second;
        *made = 0;
        return VOB_OK;
    }
    *made = 1;
    return vob_ver_create_int(v, branch, vob_data_none(), ev, dv, -1, "");
}

static int dir_branch(vob_t *v, vob_oid dir, vob_oid *branch, vob_oid *latest)
{
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
    vob_branch_info bi;
    if ((rc = vob_branch_get(v, *branch, &bi)) != VOB_OK)
        return rc;
    if (bi.elem != dir)
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "branch of the directory", (long long)*branch));
    return vob_latest_num(v, *branch, latest, nullptr);
}

int vob_dir_add_name(vob_t *v, vob_oid dir, vob_oid branch, const std::string &name, vob_oid elem,
                     const vob_event *ev, vob_oid *dirver_out)
{
    vob_oid latest = 0, there = 0;
    int rc = check_entry_name(v, name);
    if (rc == VOB_OK)
        rc = dir_branch(v, dir, &branch, &latest);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, elem, 1u << VOB_MT_FILE_ELEM | 1u << VOB_MT_DIR_ELEM, "element", nullptr);
    if (rc != VOB_OK)
        return rc;
    if (elem == v->wk[VOB_WK_ROOT_DIR])
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "the root directory cannot be given a name"));
    rc = vob_dir_lookup(v, latest, name, &there);
    if (rc == VOB_OK) {
        std::string label;
        vob_elem_label(v, dir, &label);
        return vob_fail(v, VOB_EXISTS, VOB_MSG(VM_NAME_EXISTS, v->tag.c_str(), name.c_str(), label.c_str()));
    }
    if (rc != VOB_NOT_FOUND)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_oid dv = 0;
    int made = 0;
    rc = change_target(v, branch, ev, &dv, &made);
    if (rc == VOB_OK) {
        w.wrote();
        vob_stmt q(v, "INSERT INTO dirent(dirver, name, elem) VALUES(?1, ?2, ?3)");
        q.bind(1, dv).bind(2, name).bind(3, elem);
        rc = q.exec();
    }
    rc = w.end(rc);
    if (rc == VOB_OK && dirver_out)
        *dirver_out = dv;
    return rc;
}

int vob_dir_remove_name(vob_t *v, vob_oid dir, vob_oid branch, const std::string &name, const vob_event *ev,
                        vob_oid *dirver_out)
{
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
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_oid dv = 0;
    int made = 0;
    rc = change_target(v, branch, ev, &dv, &made);
    if (rc == VOB_OK) {
        w.wrote();
        vob_stmt q(v, "DELETE FROM dirent WHERE dirver = ?1 AND name = ?2");
        q.bind(1, dv).bind(2, name);
        rc = q.exec();
    }
    rc = w.end(rc);
    if (rc == VOB_OK && dirver_out)
        *dirver_out = dv;
    return rc;
}

// ---- selection and lookup -----------------------------------------------------------------

int vob_select_version(vob_t *v, vob_oid elem, const std::vector<vob_rule> &rules, const std::string &view_tag,
                       vob_oid *ver, int *checkedout)
{
    std::string keep = v->err;
    for (const vob_rule &r : rules) {
        int rc = VOB_NOT_FOUND;
        vob_oid got = 0;
        switch (r.kind) {
        case vob_rule::CHECKEDOUT:
            if (!view_tag.empty()) {
                vob_oid ck;
                rc = vob_elem_find_ckout(v, elem, view_tag, &ck);
                if (rc == VOB_OK) {
                    vob_ckout c;
                    rc = vob_ckout_get(v, ck, &c);
                    got = c.ver;
                    if (rc == VOB_OK) {
                        *ver = got;
                        if (checkedout)
                            *checkedout = 1;
                        return VOB_OK;
                    }
                }
            }
            break;
        case vob_rule::LATEST: {
            vob_oid br;
            rc = vob_branch_find(v, elem, r.arg, &br);
            if (rc == VOB_OK)
                rc = vob_latest_num(v, br, &got, nullptr);
            break;
        }
        case vob_rule::VERSION: rc = vob_ver_find(v, elem, r.arg, &got); break;
        case vob_rule::LABEL: {
            vob_oid lt;
            rc = vob_type_find(v, VOB_MT_LBTYPE, r.arg, &lt);
            if (rc == VOB_OK)
                rc = vob_elem_find_label(v, elem, lt, &got);
            break;
        }
        }
        if (rc == VOB_OK) {
            *ver = got;
            if (checkedout)
                *checkedout = 0;
            v->err = keep;
            return VOB_OK;
        }
        if (rc != VOB_NOT_FOUND)
            return rc;
    }
    std::string label;
    vob_elem_label(v, elem, &label);
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_VERSION, v->tag.c_str(), label.c_str(), "selected by the config spec"));
}

int vob_resolve_path(vob_t *v, const std::string &path, const std::vector<vob_rule> *rules,
                     const std::string &view_tag, vob_oid *elem_out, vob_oid *ver_out)
{
    static const std::vector<vob_rule> main_latest = vob_default_rules();
    const std::vector<vob_rule> &rl = rules ? *rules : main_latest;
    std::string p = path, vid;
    int has_vid = vob_split_xpname(path, &p, &vid);
    std::vector<std::string> comps;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos)
            j = p.size();
        std::string c = p.substr(i, j - i);
        if (c == "..")
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), "path", path.c_str()));
        if (!c.empty() && c != ".")
            comps.push_back(c);
        i = j + 1;
    }
    vob_oid elem = v->wk[VOB_WK_ROOT_DIR], ver = 0;
    std::string sofar;
    for (size_t k = 0;; k++) {
        int last = k == comps.size();
        int rc;
        if (last && has_vid)
            rc = vob_ver_find(v, elem, vid, &ver);
        else
            rc = vob_select_version(v, elem, rl, view_tag, &ver);
        if (rc != VOB_OK)
            return rc;
        if (last)
            break;
        int mtype;
        if ((rc = vob_obj_get_mtype(v, elem, &mtype)) != VOB_OK)
            return rc;
        if (mtype != VOB_MT_DIR_ELEM)
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_DIR, v->tag.c_str(), sofar.c_str()));
        vob_oid child;
        rc = vob_dir_lookup(v, ver, comps[k], &child);
        if (rc == VOB_NOT_FOUND)
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_NAME, v->tag.c_str(), comps[k].c_str(),
                                                      sofar.empty() ? "/" : sofar.c_str()));
        if (rc != VOB_OK)
            return rc;
        sofar = sofar.empty() ? comps[k] : sofar + "/" + comps[k];
        elem = child;
    }
    *elem_out = elem;
    *ver_out = ver;
    return VOB_OK;
}
