// Getters: one row read into a struct, or the rows of one key, by oid, name
// or branch path. They call only the database layer (and each other), and
// never write.
#include "platform/store/vob_int.h"

#include <deque>

// ---- reading rows ----------------------------------------------------------------------

namespace {

// One row of q: VOB_OK once take() has read its columns, VOB_ERR when the
// query fails (the handle holds why), else what missing() makes of no row.
// Nothing is taken unless there is a row, so outputs stay as they were.
template <class Take, class Missing> int one_row(vob_stmt &q, Take take, Missing missing) {
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        take();
        return VOB_OK;
    }
    return rc == SQLITE_DONE ? missing() : VOB_ERR;
}

// Every row of q, in the query's order, each made by row(); *out gets them
// only when the query ran to its end.
template <class Row, class Make> int all_rows(vob_stmt &q, std::vector<Row> *out, Make row) {
    std::vector<Row> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        r.push_back(row());
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

// No row: no object of that kind with that id (the message says so).
auto no_obj(vob_t *v, const char *what, vob_oid id, int status = VOB_NOT_FOUND) {
    return [=] { return vob_fail(v, status, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), what, (long long)id)); };
}
// No row: VOB_NOT_FOUND with no message, for questions whose "no" is an answer.
auto quietly_none(vob_t *v) {
    return [=] {
        v->err.clear();
        return VOB_NOT_FOUND;
    };
}
// No row: VOB_NOT_FOUND, the handle's message left as it was.
int none() { return VOB_NOT_FOUND; }

}   // namespace

// ---- objects and types ---------------------------------------------------------------

int vob_obj_get_mtype(vob_t *v, vob_oid obj, int *mtype) {
    vob_stmt q(v, "SELECT mtype FROM obj WHERE oid = ?1");
    q.bind(1, obj);
    return one_row(
        q, [&] { *mtype = (int)q.i64(0); }, no_obj(v, "object", obj));
}

int vob_obj_get_event(vob_t *v, vob_oid obj, vob_event *ev) {
    vob_stmt q(v, "SELECT time, user, grp, uname, host, comment FROM obj WHERE oid = ?1");
    q.bind(1, obj);
    return one_row(
        q,
        [&] {
            ev->time = q.i64(0);
            ev->user = q.str(1);
            ev->group = q.str(2);
            ev->name = q.str(3);
            ev->host = q.str(4);
            ev->comment = q.str(5);
        },
        no_obj(v, "object", obj));
}

int vob_obj_get_type(vob_t *v, vob_oid obj, vob_oid *type) {
    int mtype;
    int rc = vob_obj_get_mtype(v, obj, &mtype);
    if (rc != VOB_OK)
        return rc;
    const char *sql = nullptr;
    switch (mtype) {
        case VOB_MT_FILE_ELEM:
        case VOB_MT_DIR_ELEM:
            sql = "SELECT eltype FROM elem WHERE oid = ?1";
            break;
        case VOB_MT_BRANCH:
            sql = "SELECT brtype FROM branch WHERE oid = ?1";
            break;
        case VOB_MT_LABEL:
            sql = "SELECT lbtype FROM label WHERE oid = ?1";
            break;
        case VOB_MT_ATTR:
            sql = "SELECT attype FROM attr WHERE oid = ?1";
            break;
        case VOB_MT_HLINK:
            sql = "SELECT hltype FROM hlink WHERE oid = ?1";
            break;
        default:
            return no_obj(v, "typed object", obj)();
    }
    vob_stmt q(v, sql);
    q.bind(1, obj);
    // The object is there (its mtype was read): a missing row is damage.
    return one_row(
        q, [&] { *type = q.i64(0); }, no_obj(v, "typed object", obj, VOB_CORRUPT));
}

int vob_type_find(vob_t *v, int mtype, const std::string &name, vob_oid *out) {
    vob_stmt q(v, "SELECT oid FROM type WHERE mtype = ?1 AND name = ?2");
    q.bind(1, (int64_t)mtype).bind(2, name);
    return one_row(
        q, [&] { *out = q.i64(0); },
        [&] {
            return vob_fail(v, VOB_NOT_FOUND,
                            VOB_MSG(VM_NO_TYPE, v->tag.c_str(), vob_mtype_name(mtype), name.c_str()));
        });
}

int vob_type_get_name(vob_t *v, vob_oid type, std::string *name) {
    vob_stmt q(v, "SELECT name FROM type WHERE oid = ?1");
    q.bind(1, type);
    return one_row(
        q, [&] { *name = q.str(0); }, no_obj(v, "type", type));
}

int vob_type_list(vob_t *v, int mtype, std::vector<vob_oid> *out) {
    vob_stmt q(v, "SELECT oid FROM type WHERE mtype = ?1 ORDER BY name");
    q.bind(1, (int64_t)mtype);
    return all_rows(q, out, [&] { return q.i64(0); });
}

// ---- elements and their paths -----------------------------------------------------------

int vob_elem_get(vob_t *v, vob_oid elem, vob_elem_info *out) {
    vob_stmt q(v,
               "SELECT e.mtype, e.eltype, t.name, e.main_branch, e.name FROM elem e"
               " JOIN type t ON t.oid = e.eltype WHERE e.oid = ?1");
    q.bind(1, elem);
    return one_row(
        q,
        [&] {
            out->oid = elem;
            out->mtype = (int)q.i64(0);
            out->eltype = q.i64(1);
            out->eltype_name = q.str(2);
            out->main_branch = q.i64(3);
            out->name = q.str(4);
        },
        no_obj(v, "element", elem));
}

int vob_elem_list(vob_t *v, std::vector<vob_oid> *out) {
    vob_stmt q(v, "SELECT oid FROM elem ORDER BY oid");
    return all_rows(q, out, [&] { return q.i64(0); });
}

int vob_latest_main(vob_t *v, vob_oid elem, vob_oid *ver) {
    vob_stmt q(v,
               "SELECT v.oid FROM elem e JOIN ver v ON v.branch = e.main_branch WHERE e.oid = ?1"
               " ORDER BY v.num DESC LIMIT 1");
    q.bind(1, elem);
    return one_row(
        q, [&] { *ver = q.i64(0); }, none);
}

// Path through the first parent, when every step still names the element.
static int path_by_parent(vob_t *v, vob_oid elem, std::string *path, int depth) {
    if (elem == v->wk[VOB_WK_ROOT_DIR]) {
        path->clear();
        return VOB_OK;
    }
    if (depth > 4096)
        return VOB_NOT_FOUND;
    vob_oid parent = 0;
    std::string name;
    int rc;
    {
        vob_stmt q(v, "SELECT parent, name FROM elem WHERE oid = ?1");
        q.bind(1, elem);
        rc = one_row(
            q,
            [&] {
                parent = q.i64(0);
                name = q.str(1);
            },
            none);
        if (rc != VOB_OK)
            return rc;
    }
    vob_oid dv = 0, found = 0;
    rc = vob_latest_main(v, parent, &dv);
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

int vob_elem_get_path(vob_t *v, vob_oid elem, std::string *path) {
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
        if ((rc = vob_latest_main(v, dir, &dv)) != VOB_OK)
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

void vob_elem_label(vob_t *v, vob_oid elem, std::string *label) {
    std::string keep = v->err;
    if (vob_elem_get_path(v, elem, label) != VOB_OK) {
        vob_elem_info ei;
        *label = vob_elem_get(v, elem, &ei) == VOB_OK ? ei.name : "element " + std::to_string(elem);
    }
    v->err = keep;
}

// ---- directories --------------------------------------------------------------------------

int vob_dir_read(vob_t *v, vob_oid dirver, std::vector<vob_dirent> *out) {
    vob_stmt q(v,
               "SELECT d.name, d.elem, e.mtype FROM dirent d JOIN elem e ON e.oid = d.elem"
               " WHERE d.dirver = ?1 ORDER BY d.name");
    q.bind(1, dirver);
    return all_rows(q, out, [&] {
        vob_dirent d;
        d.name = q.str(0);
        d.elem = q.i64(1);
        d.mtype = (int)q.i64(2);
        return d;
    });
}

int vob_dir_lookup(vob_t *v, vob_oid dirver, const std::string &name, vob_oid *elem) {
    vob_stmt q(v, "SELECT elem FROM dirent WHERE dirver = ?1 AND name = ?2");
    q.bind(1, dirver).bind(2, name);
    return one_row(
        q, [&] { *elem = q.i64(0); }, quietly_none(v));
}

// ---- branches ---------------------------------------------------------------------------------

int vob_branch_get(vob_t *v, vob_oid branch, vob_branch_info *out) {
    vob_stmt q(v, "SELECT elem, brtype, sprout, path FROM branch WHERE oid = ?1");
    q.bind(1, branch);
    return one_row(
        q,
        [&] {
            out->oid = branch;
            out->elem = q.i64(0);
            out->brtype = q.i64(1);
            out->sprout_ver = q.i64(2);
            out->path = q.str(3);
        },
        no_obj(v, "branch", branch));
}

int vob_get_branch_row(vob_t *v, vob_oid branch, vob_branch_row *b) {
    vob_stmt q(v,
               "SELECT b.elem, b.next_num, e.mtype, b.path FROM branch b JOIN elem e ON e.oid = b.elem"
               " WHERE b.oid = ?1");
    q.bind(1, branch);
    return one_row(
        q,
        [&] {
            b->elem = q.i64(0);
            b->next_num = q.i64(1);
            b->elem_mtype = (int)q.i64(2);
            b->path = q.str(3);
        },
        no_obj(v, "branch", branch));
}

int vob_branch_find(vob_t *v, vob_oid elem, const std::string &path, vob_oid *out) {
    // ".../dev": the branch of that name wherever it sprouts (an element has
    // one branch per type, so the path's end names at most one).
    bool anywhere = path.compare(0, 4, ".../") == 0 && path.size() > 4;
    vob_stmt q(v, anywhere ? "SELECT oid FROM branch WHERE elem = ?1 AND substr(path, -length(?2)) = ?2"
                           : "SELECT oid FROM branch WHERE elem = ?1 AND path = ?2");
    q.bind(1, elem).bind(2, anywhere ? path.substr(3) : path);
    return one_row(
        q, [&] { *out = q.i64(0); },
        [&] {
            std::string label;
            vob_elem_label(v, elem, &label);
            return vob_fail(v, VOB_NOT_FOUND,
                            VOB_MSG(VM_NO_VERSION, v->tag.c_str(), label.c_str(), path.c_str()));
        });
}

int vob_ver_get_subbranches(vob_t *v, vob_oid ver, std::vector<vob_oid> *out) {
    vob_stmt q(v, "SELECT oid FROM branch WHERE sprout = ?1 ORDER BY oid");
    q.bind(1, ver);
    return all_rows(q, out, [&] { return q.i64(0); });
}

int vob_latest_num(vob_t *v, vob_oid branch, vob_oid *ver, int64_t *num) {
    vob_stmt q(v, "SELECT oid, num FROM ver WHERE branch = ?1 ORDER BY num DESC LIMIT 1");
    q.bind(1, branch);
    return one_row(
        q,
        [&] {
            *ver = q.i64(0);
            if (num)
                *num = q.i64(1);
        },
        no_obj(v, "version on branch", branch));
}

int vob_branch_get_latest(vob_t *v, vob_oid branch, vob_oid *ver) {
    return vob_latest_num(v, branch, ver, nullptr);
}

// ---- versions ------------------------------------------------------------------------------------

int vob_ver_get(vob_t *v, vob_oid ver, vob_ver_info *out) {
    vob_stmt q(v,
               "SELECT v.oid, v.elem, v.branch, v.num, v.sha, v.size, b.path, e.mtype FROM ver v"
               " JOIN branch b ON b.oid = v.branch JOIN elem e ON e.oid = v.elem WHERE v.oid = ?1");
    q.bind(1, ver);
    return one_row(
        q,
        [&] {
            out->oid = q.i64(0);
            out->elem = q.i64(1);
            out->branch = q.i64(2);
            out->num = q.i64(3);
            out->has_data = !q.is_null(4);
            out->sha256 = out->has_data ? q.str(4) : std::string();
            out->size = q.i64(5);
            out->id = q.str(6) + "/" + std::to_string(out->num);
            out->mtype = q.i64(7) == VOB_MT_DIR_ELEM ? VOB_MT_DIR_VERSION : VOB_MT_VERSION;
        },
        no_obj(v, "version", ver));
}

int vob_ver_get_elem(vob_t *v, vob_oid ver, vob_oid *elem) {
    vob_stmt q(v, "SELECT elem FROM ver WHERE oid = ?1");
    q.bind(1, ver);
    return one_row(
        q, [&] { *elem = q.i64(0); }, no_obj(v, "version", ver));
}

// The version carrying label type `name`: an unknown type and a type missing
// on the element are told apart.
static int ver_by_label(vob_t *v, vob_oid elem, const std::string &name, vob_oid *out) {
    if (name.find('/') != std::string::npos)
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_BAD_VID, v->tag.c_str(), name.c_str()));
    vob_oid lbtype;
    int rc = vob_type_find(v, VOB_MT_LBTYPE, name, &lbtype);
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_elem_find_label(v, elem, lbtype, out)) != VOB_NOT_FOUND)
        return rc;
    std::string label;
    vob_elem_label(v, elem, &label);
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_LABELLED, v->tag.c_str(), label.c_str(), name.c_str()));
}

int vob_ver_find(vob_t *v, vob_oid elem, const std::string &vid, vob_oid *out) {
    bool anywhere = vid.compare(0, 4, ".../") == 0;
    if (!vid.empty() && vid[0] != '/' && !anywhere)
        return ver_by_label(v, elem, vid, out);
    size_t slash = vid.rfind('/');
    std::string label;
    if (vid.empty() || slash == 0 || slash == std::string::npos || slash + 1 == vid.size() ||
        (anywhere && slash < 4))
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_BAD_VID, v->tag.c_str(), vid.c_str()));
    std::string bpath = vid.substr(0, slash), last = vid.substr(slash + 1);
    int64_t num = -1;
    if (last != "LATEST") {
        if (last.size() > 18 || last.find_first_not_of("0123456789") != std::string::npos)
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_BAD_VID, v->tag.c_str(), vid.c_str()));
        num = std::stoll(last);
    }
    vob_oid branch;
    int rc = vob_branch_find(v, elem, bpath, &branch);
    if (rc == VOB_OK) {
        if (num < 0) {
            rc = vob_latest_num(v, branch, out, nullptr);
        } else {
            vob_stmt q(v, "SELECT oid FROM ver WHERE branch = ?1 AND num = ?2");
            q.bind(1, branch).bind(2, num);
            rc = one_row(
                q, [&] { *out = q.i64(0); }, none);
        }
    }
    if (rc == VOB_NOT_FOUND) {
        vob_elem_label(v, elem, &label);
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_VERSION, v->tag.c_str(), label.c_str(), vid.c_str()));
    }
    return rc;
}

// ---- labels -----------------------------------------------------------------------------------------

int vob_ver_get_labels(vob_t *v, vob_oid ver, std::vector<vob_label> *out) {
    vob_stmt q(v,
               "SELECT l.oid, l.lbtype, t.name FROM label l JOIN type t ON t.oid = l.lbtype WHERE l.ver = ?1"
               " ORDER BY t.name");
    q.bind(1, ver);
    return all_rows(q, out, [&] {
        vob_label l;
        l.oid = q.i64(0);
        l.lbtype = q.i64(1);
        l.name = q.str(2);
        return l;
    });
}

int vob_elem_find_label(vob_t *v, vob_oid elem, vob_oid lbtype, vob_oid *ver) {
    vob_stmt q(v, "SELECT ver FROM label WHERE elem = ?1 AND lbtype = ?2");
    q.bind(1, elem).bind(2, lbtype);
    return one_row(
        q, [&] { *ver = q.i64(0); }, quietly_none(v));
}

// ---- checkouts -----------------------------------------------------------------------------------------

// The columns "oid, elem, branch, ver, reserved, view" of a checkout row.
static vob_ckout ckout_row(const vob_stmt &q) {
    vob_ckout c;
    c.oid = q.i64(0);
    c.elem = q.i64(1);
    c.branch = q.i64(2);
    c.ver = q.i64(3);
    c.reserved = (int)q.i64(4);
    c.view_tag = q.str(5);
    return c;
}

int vob_ckout_get(vob_t *v, vob_oid ckout, vob_ckout *out) {
    vob_stmt q(v, "SELECT oid, elem, branch, ver, reserved, view FROM ckout WHERE oid = ?1");
    q.bind(1, ckout);
    return one_row(
        q, [&] { *out = ckout_row(q); }, no_obj(v, "checkout", ckout));
}

int vob_elem_get_ckouts(vob_t *v, vob_oid elem, std::vector<vob_ckout> *out) {
    vob_stmt q(v, "SELECT oid, elem, branch, ver, reserved, view FROM ckout WHERE elem = ?1 ORDER BY oid");
    q.bind(1, elem);
    return all_rows(q, out, [&] { return ckout_row(q); });
}

int vob_view_ckouts(vob_t *v, const std::string &view_tag, std::vector<vob_ckout> *out) {
    vob_stmt q(v, "SELECT oid, elem, branch, ver, reserved, view FROM ckout WHERE view = ?1 ORDER BY oid");
    q.bind(1, view_tag);
    return all_rows(q, out, [&] { return ckout_row(q); });
}

int vob_elem_find_ckout(vob_t *v, vob_oid elem, const std::string &view_tag, vob_oid *ckout) {
    vob_stmt q(v, "SELECT oid FROM ckout WHERE elem = ?1 AND view = ?2");
    q.bind(1, elem).bind(2, view_tag);
    return one_row(
        q, [&] { *ckout = q.i64(0); }, quietly_none(v));
}

int vob_reserved_by_other(vob_t *v, vob_oid branch, const std::string &mine, std::string *who) {
    vob_stmt q(v, "SELECT view FROM ckout WHERE branch = ?1 AND reserved = 1 AND view <> ?2 LIMIT 1");
    q.bind(1, branch).bind(2, mine);
    return one_row(
        q, [&] { *who = q.str(0); }, [] { return VOB_OK; });   // none: *who as it was
}

// ---- locks, attributes, hyperlinks ---------------------------------------------------------------------

int vob_obj_get_lock(vob_t *v, vob_oid obj, vob_lock *out) {
    vob_stmt q(v, "SELECT oid, obsolete FROM lock WHERE target = ?1");
    q.bind(1, obj);
    return one_row(
        q,
        [&] {
            out->oid = q.i64(0);
            out->target = obj;
            out->obsolete = (int)q.i64(1);
        },
        quietly_none(v));
}

int vob_obj_get_attrs(vob_t *v, vob_oid obj, std::vector<vob_attr> *out) {
    vob_stmt q(v,
               "SELECT a.oid, a.attype, t.name, a.value FROM attr a JOIN type t ON t.oid = a.attype"
               " WHERE a.target = ?1 ORDER BY t.name");
    q.bind(1, obj);
    return all_rows(q, out, [&] {
        vob_attr a;
        a.oid = q.i64(0);
        a.attype = q.i64(1);
        a.name = q.str(2);
        a.value = q.str(3);
        return a;
    });
}

int vob_obj_get_hlinks(vob_t *v, vob_oid obj, vob_oid hltype, int dir, std::vector<vob_hlink> *out) {
    const char *sql =
        dir == VOB_HL_FROM
            ? "SELECT oid, hltype, src, dst FROM hlink WHERE src = ?1 AND (?2 = 0 OR hltype = ?2) ORDER BY oid"
            : "SELECT oid, hltype, src, dst FROM hlink WHERE dst = ?1 AND (?2 = 0 OR hltype = ?2) ORDER BY oid";
    vob_stmt q(v, sql);
    q.bind(1, obj).bind(2, hltype);
    return all_rows(q, out, [&] {
        vob_hlink h;
        h.oid = q.i64(0);
        h.hltype = q.i64(1);
        h.from = q.i64(2);
        h.to = q.i64(3);
        return h;
    });
}
