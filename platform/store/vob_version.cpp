// Versions: making them (also for checkins and directory changes), their
// contents, and dropping contents.
#include "platform/store/vob_int.h"
#include "runtime/digest.h"
#include "runtime/fileutl.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The contents a new version of the branch follows, as a delta base: the
// branch's latest version with contents (version 0 of a branch other than
// /main has those of the version it sprouts from).
static int base_of(vob_t *v, vob_oid branch, std::string *sha) {
    vob_stmt q(v, "SELECT sha FROM ver WHERE branch = ?1 AND sha IS NOT NULL ORDER BY num DESC LIMIT 1");
    q.bind(1, branch);
    int rc = q.step();
    if (rc == SQLITE_ROW)
        *sha = q.str(0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? VOB_OK : VOB_ERR;
}

static int make_version(vob_t *v, vob_wscope &w, vob_oid branch, const vob_data &data, const vob_event *ev,
                        vob_oid *oid, int64_t num, const std::string &ckout_view) {
    vob_branch_row b;
    int rc = vob_get_branch_row(v, branch, &b);
    if (rc != VOB_OK)
        return rc;
    std::string label;
    if ((rc = vob_check_locked(v, b.elem, "the element")) != VOB_OK ||
        (rc = vob_check_locked(v, branch, "the branch")) != VOB_OK)
        return rc;
    std::string who;
    if ((rc = vob_reserved_by_other(v, branch, ckout_view, &who)) != VOB_OK)
        return rc;
    if (!who.empty()) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_CKOUT,
                        VOB_MSG(VM_RESERVED, v->tag.c_str(), b.path.c_str(), label.c_str(), who.c_str()));
    }
    if (num < 0)
        num = b.next_num;
    if (num < b.next_num) {
        vob_elem_label(v, b.elem, &label);
        return vob_fail(v, VOB_EXISTS,
                        VOB_MSG(VM_NUM_USED, v->tag.c_str(), (long long)num, b.path.c_str(), label.c_str()));
    }
    int is_dir = b.elem_mtype == VOB_MT_DIR_ELEM;
    if (is_dir && data.kind != vob_data::NONE)
        return vob_fail(v, VOB_ERR, VOB_MSG(VM_DIR_DATA, v->tag.c_str()));

    std::string sha, base;
    int64_t size = 0;
    if (data.kind != vob_data::NONE && (rc = base_of(v, branch, &base)) != VOB_OK)
        return rc;
    if (data.kind == vob_data::FILE)
        rc = vob_db_put_file(v, data.path, &sha, &size, base);
    else if (data.kind == vob_data::BYTES) {
        rc = vob_db_put_bytes(v, data.bytes, &sha, base);
        size = (int64_t)data.bytes.size();
    }
    if (rc != VOB_OK)
        return rc;
    vob_oid prev = 0;
    if (is_dir && (rc = vob_latest_num(v, branch, &prev, nullptr)) != VOB_OK)
        return rc;
    w.wrote();
    rc = vob_new_obj(v, is_dir ? VOB_MT_DIR_VERSION : VOB_MT_VERSION, ev, oid);
    if (rc == VOB_OK) {
        vob_stmt q(v, "INSERT INTO ver(oid, elem, branch, num, sha, size) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        q.bind(1, *oid).bind(2, b.elem).bind(3, branch).bind(4, num).bind(6, size);
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
        vob_stmt q(
            v, "INSERT INTO dirent(dirver, name, elem) SELECT ?2, name, elem FROM dirent WHERE dirver = ?1");
        q.bind(1, prev).bind(2, *oid);
        rc = q.exec();
        if (rc == VOB_OK)
            v->txn_dirver[branch] = *oid;
    }
    return rc;
}

int vob_ver_create_int(vob_t *v, vob_oid branch, const vob_data &data, const vob_event *ev, vob_oid *ver_out,
                       int64_t num, const std::string &ckout_view) {
    vob_oid oid = 0;
    int rc = vob_write(
        v, [&](vob_wscope &w) { return make_version(v, w, branch, data, ev, &oid, num, ckout_view); });
    if (rc == VOB_OK && ver_out)
        *ver_out = oid;
    return rc;
}

int vob_ver_create(vob_t *v, vob_oid branch, const vob_data &data, const vob_event *ev, vob_oid *ver_out,
                   int64_t num) {
    return vob_ver_create_int(v, branch, data, ev, ver_out, num, "");
}

// ---- contents -----------------------------------------------------------------------

// The version, refused (VOB_NOT_FOUND, naming it) when it has no contents.
static int ver_with_data(vob_t *v, vob_oid ver, vob_ver_info *vi) {
    int rc = vob_ver_get(v, ver, vi);
    if (rc != VOB_OK || vi->has_data)
        return rc;
    std::string label;
    vob_elem_label(v, vi->elem, &label);
    return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NO_DATA, v->tag.c_str(), vi->id.c_str(), label.c_str()));
}

// Contents that are not what their version recorded (cut short by a power
// loss on a disk that did not sync, or damaged since) are refused, never
// handed out: VOB_CORRUPT, naming the version and the blob.
static int damaged(vob_t *v, const vob_ver_info &vi, const std::string &why) {
    std::string label;
    vob_elem_label(v, vi.elem, &label);
    std::string text = "the blob of " + label + "@@" + vi.id + " is damaged: " + why;
    return vob_fail(v, VOB_CORRUPT, VOB_MSG(VM_CONTENTS_READ, v->tag.c_str(), vi.sha256.c_str(), text.c_str()));
}

static int get_data(vob_t *v, vob_oid ver, vob_ver_info *vi, std::string *pool_file,
                    std::shared_ptr<const std::string> *bytes) {
    int rc = ver_with_data(v, ver, vi);
    if (rc != VOB_OK)
        return rc;
    pool_file->clear();
    bytes->reset();
    if ((rc = vob_blob_stream_path(v, vi->sha256, pool_file)) != VOB_OK)
        return rc;
    if (!pool_file->empty()) {
        struct stat st;
        if (stat(pool_file->c_str(), &st) != 0) {
            if (errno == ENOENT)
                return damaged(v, *vi, "its pool file " + *pool_file + " is missing");
            return vob_fail(v, VOB_ERR,
                            VOB_MSG(VM_POOL_READ, v->tag.c_str(), pool_file->c_str(), strerror(errno)));
        }
        if (st.st_size != vi->size)
            return damaged(v, *vi,
                           "its pool file " + *pool_file + " has " + std::to_string(st.st_size) +
                               " bytes where the version has " + std::to_string(vi->size));
        return VOB_OK;
    }
    std::string why;
    if ((rc = vob_blob_read(v, vi->sha256, vi->size, bytes, &why)) == VOB_OK)
        return VOB_OK;
    return rc == VOB_CORRUPT ? damaged(v, *vi, why) : vob_fail(v, rc, why);
}

int vob_ver_get_data(vob_t *v, vob_oid ver, std::string *pool_file, std::shared_ptr<const std::string> *bytes) {
    vob_ver_info vi;
    return get_data(v, ver, &vi, pool_file, bytes);
}

int vob_ver_read_data(vob_t *v, vob_oid ver, std::string *bytes) {
    std::string pname;
    std::shared_ptr<const std::string> held;
    vob_ver_info vi;
    int rc = get_data(v, ver, &vi, &pname, &held);
    if (rc != VOB_OK)
        return rc;
    std::string s;
    if (!pname.empty()) {
        int fd = open(pname.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_READ, v->tag.c_str(), pname.c_str(), strerror(errno)));
        int err = fileutl_read_chunks(fd, [&](const char *data, size_t n) {
            s.append(data, n);
            return 0;
        });
        close(fd);
        if (err)
            return vob_fail(v, VOB_ERR, VOB_MSG(VM_POOL_READ, v->tag.c_str(), pname.c_str(), strerror(err)));
    } else {
        s = *held;
    }
    std::string hex;
    if (digest_sha256_hex(s, &hex) == 0 && hex != vi.sha256)
        return damaged(v, vi, "its bytes are not those the version recorded");
    *bytes = std::move(s);
    return VOB_OK;
}

static int remove_data(vob_t *v, vob_wscope &w, vob_oid ver) {
    vob_ver_info vi;
    int rc = ver_with_data(v, ver, &vi);
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_check_locked(v, vi.elem, "the element")) != VOB_OK ||
        (rc = vob_check_locked(v, vi.branch, "the branch")) != VOB_OK)
        return rc;
    w.wrote();
    vob_stmt q(v, "UPDATE ver SET sha = NULL, size = 0 WHERE oid = ?1");
    q.bind(1, ver);
    rc = q.exec();
    if (rc == VOB_OK)
        vob_db_drop_blob(v, vi.sha256);
    return rc;
}

int vob_ver_remove_data(vob_t *v, vob_oid ver) {
    return vob_write(v, [&](vob_wscope &w) { return remove_data(v, w, ver); });
}
