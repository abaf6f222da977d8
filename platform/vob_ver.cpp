// Versions: making them, their contents, labels, checkouts and the version tree.
#include "platform/vob_int.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

static const char *const VER_SELECT =
    "SELECT v.oid, v.elem, v.branch, v.num, v.sha, v.size, b.path, e.mtype FROM ver v"
    " JOIN branch b ON b.oid = v.branch JOIN elem e ON e.oid = v.elem WHERE v.oid = ?1";

static void fill_ver(const vob_stmt &q, vob_ver_info *out)
{
    out->oid = q.i64(0);
    out->elem = q.i64(1);
    out->branch = q.i64(2);
    out->num = q.i64(3);
    out->has_data = !q.is_null(4);
    out->sha256 = out->has_data ? q.str(4) : std::string();
    out->size = q.i64(5);
    out->id = q.str(6) + "/" + std::to_string(out->num);
    out->mtype = q.i64(7) == VOB_MT_DIR_ELEM ? VOB_MT_DIR_VERSION : VOB_MT_VERSION;
}

int vob_ver_get(vob_t *v, vob_oid ver, vob_ver_info *out)
{
    vob_stmt q(v, VER_SELECT);
    q.bind(1, ver);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        fill_ver(q, out);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "version", (long long)ver));
}

int vob_ver_get_elem(vob_t *v, vob_oid ver, vob_oid *elem)
{
    vob_stmt q(v, "SELECT elem FROM ver WHERE oid = ?1");
    q.bind(1, ver);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *elem = q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "version", (long long)ver));
}

int vob_latest_num(vob_t *v, vob_oid branch, vob_oid *ver, int64_t *num)
{
    vob_stmt q(v, "SELECT oid, num FROM ver WHERE branch = ?1 ORDER BY num DESC LIMIT 1");
    q.bind(1, branch);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *ver = q.i64(0);
        if (num)
            *num = q.i64(1);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "version on branch", (long long)branch));
}

int vob_branch_get_latest(vob_t *v, vob_oid branch, vob_oid *ver)
{
    return vob_latest_num(v, branch, ver, nullptr);
}

// Branch facts needed to add a version.
struct branch_row {
    vob_oid elem = 0;
    int64_t next_num = 0;
    int elem_mtype = 0;
    std::string path;
};

static int get_branch_row(vob_t *v, vob_oid branch, branch_row *b)
{
    vob_stmt q(v, "SELECT b.elem, b.next_num, e.mtype, b.path FROM branch b JOIN elem e ON e.oid = b.elem"
                  " WHERE b.oid = ?1");
    q.bind(1, branch);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        b->elem = q.i64(0);
        b->next_num = q.i64(1);
        b->elem_mtype = (int)q.i64(2);
        b->path = q.str(3);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "branch", (long long)branch));
}

// The view holding a reserved checkout of the branch other than `mine`, or "".
static int reserved_by_other(vob_t *v, vob_oid branch, const std::string &mine, std::string *who)
{
    vob_stmt q(v, "SELECT view FROM ckout WHERE branch = ?1 AND reserved = 1 AND view <> ?2 LIMIT 1");
    q.bind(1, branch).bind(2, mine);
    int rc = q.step();
    if (rc == SQLITE_ROW)
        *who = q.str(0);
    else if (rc != SQLITE_DONE)
        return VOB_ERR;
    return VOB_OK;
}

int vob_ver_create_int(vob_t *v, vob_oid branch, const vob_data &data, const vob_event *ev, vob_oid *ver_out,
                       int64_t num, const std::string &ckout_view)
{
    branch_row b;
    int rc = get_branch_row(v, branch, &b);
    if (rc != VOB_OK)
        return rc;
    std::string label;
    if ((rc = vob_check_locked(v, b.elem, "the element")) != VOB_OK ||
        (rc = vob_check_locked(v, branch, "the branch")) != VOB_OK)
        return rc;
    std::string who;
    if ((rc = reserved_by_other(v, branch, ckout_view, &who)) != VOB_OK)
        return rc;
    if (!who.empty()) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_CKOUT, VOB_MSG(VM_RESERVED, v->tag.c_str(), b.path.c_str(), label.c_str(), who.c_str()));
    }
    if (num < 0)
        num = b.next_num;
    if (num < b.next_num) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_EXISTS, VOB_MSG(VM_NUM_USED, v->tag.c_str(), (long long)num, b.path.c_str(), label.c_str()));
    }
    int is_dir = b.elem_mtype == VOB_MT_DIR_ELEM;
    if (is_dir && data.kind != vob_data::NONE)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_DIR_DATA, v->tag.c_str()));

    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    std::string sha;
    int64_t size = 0;
    if (data.kind == vob_data::FILE)
        rc = vob_pool_put_file(v, data.path, &sha, &size);
    else if (data.kind == vob_data::BYTES) {
        rc = vob_pool_put(v, data.bytes, &sha);
        size = (int64_t)data.bytes.size();
    }
    if (rc != VOB_OK)
        return w.end(rc);
    vob_oid prev = 0;
    if (is_dir && (rc = vob_latest_num(v, branch, &prev, nullptr)) != VOB_OK)
        return w.end(rc);
    vob_oid oid = 0;
    w.wrote();
    rc = vob_new_obj(v, is_dir ? VOB_MT_DIR_VERSION : VOB_MT_VERSION, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO ver(oid, elem, branch, num, sha, size) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        q.bind(1, oid).bind(2, b.elem).bind(3, branch).bind(4, num).bind(6, size);
        if (sha.empty())
            q.bind_null(5);
        else
            q.bind(5, sha);
        rc = q.exec();
    }
    if (rc == VOB_OK) {
        vob_stmt q(v, "UPDATE branch SET next_num = ?2 WHERE oid = ?1");
        q.bind(1, branch).bind(2, num + 1);
        rc = q.exec();
    }
    if (rc == VOB_OK && is_dir) {
        vob_stmt q(v, "INSERT INTO dirent(dirver, name, elem) SELECT ?2, name, elem FROM dirent WHERE dirver = ?1");
        q.bind(1, prev).bind(2, oid);
        rc = q.exec();
        if (rc == VOB_OK)
            v->txn_dirver[branch] = oid;
    }
    rc = w.end(rc);
    if (rc == VOB_OK && ver_out)
        *ver_out = oid;
    return rc;
}

int vob_ver_create(vob_t *v, vob_oid branch, const vob_data &data, const vob_event *ev, vob_oid *ver_out,
                   int64_t num)
{
    return vob_ver_create_int(v, branch, data, ev, ver_out, num, "");
}

int vob_ver_find(vob_t *v, vob_oid elem, const std::string &vid, vob_oid *out)
{
    size_t slash = vid.rfind('/');
    std::string label;
    if (vid.empty() || vid[0] != '/' || slash == 0 || slash == std::string::npos || slash + 1 == vid.size())
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
            int s = q.step();
            if (s == SQLITE_ROW) {
                *out = q.i64(0);
                return VOB_OK;
            }
            rc = s == SQLITE_DONE ? VOB_NOT_FOUND : VOB_ERR;
        }
    }
    if (rc == VOB_NOT_FOUND) {
        vob_elem_label(v, elem, &label);
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_VERSION, v->tag.c_str(), label.c_str(), vid.c_str()));
    }
    return rc;
}

// ---- contents -----------------------------------------------------------------------

static int no_data(vob_t *v, const vob_ver_info &vi)
{
    std::string label;
    vob_elem_label(v, vi.elem, &label);
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_DATA, v->tag.c_str(), vi.id.c_str(), label.c_str()));
}

int vob_ver_get_data_pname(vob_t *v, vob_oid ver, std::string *pname)
{
    vob_ver_info vi;
    int rc = vob_ver_get(v, ver, &vi);
    if (rc != VOB_OK)
        return rc;
    if (!vi.has_data)
        return no_data(v, vi);
    *pname = vob_pool_path(v, vi.sha256);
    return VOB_OK;
}

int vob_ver_read_data(vob_t *v, vob_oid ver, std::string *bytes)
{
    std::string pname;
    int rc = vob_ver_get_data_pname(v, ver, &pname);
    if (rc != VOB_OK)
        return rc;
    int fd = open(pname.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_READ, v->tag.c_str(), pname.c_str(), strerror(errno)));
    std::string s;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int e = errno;
            close(fd);
            return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_READ, v->tag.c_str(), pname.c_str(), strerror(e)));
        }
        if (n == 0)
            break;
        s.append(buf, (size_t)n);
    }
    close(fd);
    *bytes = std::move(s);
    return VOB_OK;
}

int vob_ver_remove_data(vob_t *v, vob_oid ver)
{
    vob_ver_info vi;
    int rc = vob_ver_get(v, ver, &vi);
    if (rc != VOB_OK)
        return rc;
    if (!vi.has_data)
        return no_data(v, vi);
    if ((rc = vob_check_locked(v, vi.elem, "the element")) != VOB_OK ||
        (rc = vob_check_locked(v, vi.branch, "the branch")) != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    vob_stmt q(v, "UPDATE ver SET sha = NULL, size = 0 WHERE oid = ?1");
    q.bind(1, ver);
    rc = q.exec();
    if (rc == VOB_OK)
        v->drop_blobs.push_back(vi.sha256);
    return w.end(rc);
}

// ---- labels -------------------------------------------------------------------------

int vob_ver_get_labels(vob_t *v, vob_oid ver, std::vector<vob_label> *out)
{
    vob_stmt q(v, "SELECT l.oid, l.lbtype, t.name FROM label l JOIN type t ON t.oid = l.lbtype WHERE l.ver = ?1"
                  " ORDER BY t.name");
    q.bind(1, ver);
    std::vector<vob_label> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        vob_label l;
        l.oid = q.i64(0);
        l.lbtype = q.i64(1);
        l.name = q.str(2);
        r.push_back(std::move(l));
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    *out = std::move(r);
    return VOB_OK;
}

int vob_elem_find_label(vob_t *v, vob_oid elem, vob_oid lbtype, vob_oid *ver)
{
    vob_stmt q(v, "SELECT ver FROM label WHERE elem = ?1 AND lbtype = ?2");
    q.bind(1, elem).bind(2, lbtype);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *ver = q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    v->err.clear();
    return VOB_NOT_FOUND;
}

static int delete_label(vob_t *v, vob_oid elem, vob_oid lbtype)
{
    vob_stmt d1(v, "DELETE FROM obj WHERE oid IN (SELECT oid FROM label WHERE elem = ?1 AND lbtype = ?2)");
    d1.bind(1, elem).bind(2, lbtype);
    if (d1.exec() != VOB_OK)
        return VOB_ERR;
    vob_stmt d2(v, "DELETE FROM label WHERE elem = ?1 AND lbtype = ?2");
    d2.bind(1, elem).bind(2, lbtype);
    return d2.exec();
}

int vob_ver_add_label(vob_t *v, vob_oid ver, vob_oid lbtype, int replace, const vob_event *ev)
{
    vob_ver_info vi;
    int rc = vob_ver_get(v, ver, &vi);
    if (rc == VOB_OK)
        rc = vob_check_mtype(v, lbtype, 1u << VOB_MT_LBTYPE, "label type", nullptr);
    if (rc == VOB_OK)
        rc = vob_check_locked(v, lbtype, "the label type");
    if (rc == VOB_OK)
        rc = vob_check_locked(v, vi.elem, "the element");
    if (rc != VOB_OK)
        return rc;
    vob_oid have = 0;
    rc = vob_elem_find_label(v, vi.elem, lbtype, &have);
    if (rc == VOB_OK && have == ver)
        return VOB_OK;
    if (rc == VOB_OK && !replace) {
        vob_ver_info other;
        std::string name, label;
        vob_ver_get(v, have, &other);
        vob_type_get_name(v, lbtype, &name);
        vob_elem_label(v, vi.elem, &label);
        return vob_fail(v, VOB_EXISTS,
                        VOB_MSG(VM_LABEL_ELSEWHERE, v->tag.c_str(), name.c_str(), other.id.c_str(), label.c_str()));
    }
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    rc = have ? delete_label(v, vi.elem, lbtype) : VOB_OK;
    vob_oid oid = 0;
    if (rc == VOB_OK)
        rc = vob_new_obj(v, VOB_MT_LABEL, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO label(oid, ver, elem, lbtype) VALUES(?1, ?2, ?3, ?4)");
        q.bind(1, oid).bind(2, ver).bind(3, vi.elem).bind(4, lbtype);
        rc = q.exec();
    }
    return w.end(rc);
}

int vob_ver_remove_label(vob_t *v, vob_oid ver, vob_oid lbtype)
{
    vob_ver_info vi;
    int rc = vob_ver_get(v, ver, &vi);
    if (rc != VOB_OK)
        return rc;
    vob_oid have = 0;
    rc = vob_elem_find_label(v, vi.elem, lbtype, &have);
    if (rc == VOB_NOT_FOUND || (rc == VOB_OK && have != ver)) {
        std::string name, label;
        vob_type_get_name(v, lbtype, &name);
        vob_elem_label(v, vi.elem, &label);
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_LABEL, v->tag.c_str(), vi.id.c_str(), label.c_str(), name.c_str()));
    }
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_check_locked(v, vi.elem, "the element")) != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    return w.end(delete_label(v, vi.elem, lbtype));
}

// ---- checkouts ----------------------------------------------------------------------

static int read_ckouts(vob_t *v, vob_stmt &q, std::vector<vob_ckout> *out)
{
    std::vector<vob_ckout> r;
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        vob_ckout c;
        c.oid = q.i64(0);
        c.elem = q.i64(1);
        c.branch = q.i64(2);
        c.ver = q.i64(3);
        c.reserved = (int)q.i64(4);
        c.view_tag = q.str(5);
        r.push_back(std::move(c));
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    (void)v;
    *out = std::move(r);
    return VOB_OK;
}

int vob_ckout_get(vob_t *v, vob_oid ckout, vob_ckout *out)
{
    vob_stmt q(v, "SELECT oid, elem, branch, ver, reserved, view FROM ckout WHERE oid = ?1");
    q.bind(1, ckout);
    std::vector<vob_ckout> r;
    int rc = read_ckouts(v, q, &r);
    if (rc != VOB_OK)
        return rc;
    if (r.empty())
        return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "checkout", (long long)ckout));
    *out = r[0];
    return VOB_OK;
}

int vob_elem_get_ckouts(vob_t *v, vob_oid elem, std::vector<vob_ckout> *out)
{
    vob_stmt q(v, "SELECT oid, elem, branch, ver, reserved, view FROM ckout WHERE elem = ?1 ORDER BY oid");
    q.bind(1, elem);
    return read_ckouts(v, q, out);
}

int vob_elem_find_ckout(vob_t *v, vob_oid elem, const std::string &view_tag, vob_oid *ckout)
{
    vob_stmt q(v, "SELECT oid FROM ckout WHERE elem = ?1 AND view = ?2");
    q.bind(1, elem).bind(2, view_tag);
    int rc = q.step();
    if (rc == SQLITE_ROW) {
        *ckout = q.i64(0);
        return VOB_OK;
    }
    if (rc != SQLITE_DONE)
        return VOB_ERR;
    v->err.clear();
    return VOB_NOT_FOUND;
}

int vob_checkout(vob_t *v, vob_oid branch, int reserved, const std::string &view_tag, const vob_event *ev,
                 vob_oid *ckout_out)
{
    branch_row b;
    int rc = get_branch_row(v, branch, &b);
    if (rc != VOB_OK)
        return rc;
    if (view_tag.empty())
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_ELEM_KIND, v->tag.c_str(), "a checkout needs a view tag"));
    if ((rc = vob_check_locked(v, b.elem, "the element")) != VOB_OK ||
        (rc = vob_check_locked(v, branch, "the branch")) != VOB_OK)
        return rc;
    std::string label;
    vob_oid have;
    rc = vob_elem_find_ckout(v, b.elem, view_tag, &have);
    if (rc == VOB_OK) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_CKOUT, VOB_MSG(VM_CKOUT_EXISTS, v->tag.c_str(), label.c_str(), view_tag.c_str()));
    }
    if (rc != VOB_NOT_FOUND)
        return rc;
    std::string who;
    if (reserved && (rc = reserved_by_other(v, branch, view_tag, &who)) != VOB_OK)
        return rc;
    if (!who.empty()) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_CKOUT, VOB_MSG(VM_RESERVED, v->tag.c_str(), b.path.c_str(), label.c_str(), who.c_str()));
    }
    vob_oid latest;
    if ((rc = vob_latest_num(v, branch, &latest, nullptr)) != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_oid oid = 0;
    w.wrote();
    rc = vob_new_obj(v, VOB_MT_CKOUT, ev, &oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO ckout(oid, elem, branch, ver, reserved, view) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        q.bind(1, oid).bind(2, b.elem).bind(3, branch).bind(4, latest).bind(5, (int64_t)(reserved ? 1 : 0));
        q.bind(6, view_tag);
        rc = q.exec();
    }
    rc = w.end(rc);
    if (rc == VOB_OK && ckout_out)
        *ckout_out = oid;
    return rc;
}

static int drop_ckout(vob_t *v, vob_oid ckout)
{
    vob_stmt d1(v, "DELETE FROM ckout WHERE oid = ?1");
    d1.bind(1, ckout);
    if (d1.exec() != VOB_OK)
        return VOB_ERR;
    vob_stmt d2(v, "DELETE FROM obj WHERE oid = ?1");
    d2.bind(1, ckout);
    return d2.exec();
}

int vob_checkin(vob_t *v, vob_oid ckout, const vob_data &data, const vob_event *ev, vob_oid *ver_out)
{
    vob_ckout c;
    int rc = vob_ckout_get(v, ckout, &c);
    if (rc != VOB_OK)
        return rc;
    vob_oid latest;
    if ((rc = vob_latest_num(v, c.branch, &latest, nullptr)) != VOB_OK)
        return rc;
    if (latest != c.ver) {
        vob_branch_info bi;
        std::string label;
        vob_branch_get(v, c.branch, &bi);
        vob_elem_label(v, c.elem, &label);
        return vob_fail(v, VOB_CKOUT, VOB_MSG(VM_NOT_LATEST, v->tag.c_str(), bi.path.c_str(), label.c_str()));
    }
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    vob_oid ver = 0;
    rc = vob_ver_create_int(v, c.branch, data, ev, &ver, -1, c.view_tag);
    if (rc == VOB_OK) {
        w.wrote();
        rc = drop_ckout(v, ckout);
    }
    rc = w.end(rc);
    if (rc == VOB_OK && ver_out)
        *ver_out = ver;
    return rc;
}

int vob_uncheckout(vob_t *v, vob_oid ckout)
{
    vob_ckout c;
    int rc = vob_ckout_get(v, ckout, &c);
    if (rc != VOB_OK)
        return rc;
    vob_wscope w(v);
    if ((rc = w.begin()) != VOB_OK)
        return rc;
    w.wrote();
    return w.end(drop_ckout(v, ckout));
}

// ---- the version tree -----------------------------------------------------------------

int vob_elem_get_vtree(vob_t *v, vob_oid elem, std::vector<vob_vtree_node> *out)
{
    struct br {
        vob_oid oid, sprout;
        std::string path;
        std::vector<vob_vtree_node> vers;
    };
    std::vector<br> branches;
    int emtype = 0;
    {
        vob_stmt q(v, "SELECT mtype FROM elem WHERE oid = ?1");
        q.bind(1, elem);
        int rc = q.step();
        if (rc == SQLITE_DONE)
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_OBJ, v->tag.c_str(), "element", (long long)elem));
        if (rc != SQLITE_ROW)
            return VOB_ERR;
        emtype = (int)q.i64(0);
    }
    {
        vob_stmt q(v, "SELECT oid, sprout, path FROM branch WHERE elem = ?1 ORDER BY oid");
        q.bind(1, elem);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW)
            branches.push_back({q.i64(0), q.i64(1), q.str(2), {}});
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    std::unordered_map<vob_oid, std::pair<size_t, size_t>> where;   // version -> (branch index, position)
    for (size_t i = 0; i < branches.size(); i++) {
        vob_stmt q(v, "SELECT oid, num, sha, size FROM ver WHERE branch = ?1 ORDER BY num");
        q.bind(1, branches[i].oid);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            vob_vtree_node n;
            n.ver.oid = q.i64(0);
            n.ver.elem = elem;
            n.ver.branch = branches[i].oid;
            n.ver.num = q.i64(1);
            n.ver.has_data = !q.is_null(2);
            if (n.ver.has_data)
                n.ver.sha256 = q.str(2);
            n.ver.size = q.i64(3);
            n.ver.id = branches[i].path + "/" + std::to_string(n.ver.num);
            n.ver.mtype = emtype == VOB_MT_DIR_ELEM ? VOB_MT_DIR_VERSION : VOB_MT_VERSION;
            where[n.ver.oid] = {i, branches[i].vers.size()};
            branches[i].vers.push_back(std::move(n));
        }
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    {
        vob_stmt q(v, "SELECT l.ver, t.name FROM label l JOIN type t ON t.oid = l.lbtype WHERE l.elem = ?1"
                      " ORDER BY t.name");
        q.bind(1, elem);
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            auto it = where.find(q.i64(0));
            if (it != where.end())
                branches[it->second.first].vers[it->second.second].labels.push_back(q.str(1));
        }
        if (rc != SQLITE_DONE)
            return VOB_ERR;
    }
    // Children of each version, in creation order (branches are in oid order).
    std::unordered_map<vob_oid, std::vector<size_t>> kids;
    size_t main_idx = branches.size();
    for (size_t i = 0; i < branches.size(); i++) {
        if (branches[i].sprout == 0) {
            main_idx = i;
            continue;
        }
        kids[branches[i].sprout].push_back(i);
        auto it = where.find(branches[i].sprout);
        if (it != where.end()) {
            vob_vtree_node &n = branches[it->second.first].vers[it->second.second];
            n.sub_branches.push_back(branches[i].oid);
            n.sub_branch_paths.push_back(branches[i].path);
        }
    }
    std::vector<vob_vtree_node> r;
    if (main_idx == branches.size()) {
        *out = std::move(r);
        return VOB_OK;
    }
    // Depth-first walk with an explicit stack of (branch, next position).
    std::vector<std::pair<size_t, size_t>> stack{{main_idx, 0}};
    while (!stack.empty()) {
        auto &top = stack.back();
        br &b = branches[top.first];
        if (top.second >= b.vers.size()) {
            stack.pop_back();
            continue;
        }
        vob_vtree_node &n = b.vers[top.second++];
        vob_oid oid = n.ver.oid;
        r.push_back(std::move(n));
        auto k = kids.find(oid);
        if (k != kids.end())
            for (auto it = k->second.rbegin(); it != k->second.rend(); ++it)
                stack.push_back({*it, 0});
    }
    *out = std::move(r);
    return VOB_OK;
}

int vob_view_ckouts(vob_t *v, const std::string &view_tag, std::vector<vob_ckout> *out)
{
    vob_stmt q(v, "SELECT oid, elem, branch, ver, reserved, view FROM ckout WHERE view = ?1 ORDER BY oid");
    q.bind(1, view_tag);
    return read_ckouts(v, q, out);
}
