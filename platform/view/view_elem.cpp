// Element work through a view: mkelem, checkout, checkin, uncheckout. Each
// is one VOB transaction; the view's file and its record follow it, under
// the view lock.
#include "platform/view/view_int.h"
#include "runtime/digest.h"
#include "runtime/fileutl.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static std::string abs_of(const view_t *v, const std::string &tag, const std::string &vob_path) {
    return v->root + tag + (vob_path.empty() ? "" : "/" + vob_path);
}

// Takes the lock and reads the records: the start of every call here.
static int begin(view_t *v, view_lock &lk) {
    int rc = lk.take();
    return rc == VOB_OK ? view_loaded_read(v) : rc;
}

// The element's file: the empty file a new checked-out element starts from.
static int make_empty(view_t *v, const std::string &abs) {
    int fd = open(abs.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
    close(fd);
    return VOB_OK;
}

int view_mkelem(view_t *v, const std::string &path, int mtype, const std::string &eltype,
                const std::string &comment, int checkin, view_fhandle *out) {
    view_lock lk(v);
    view_loc loc;
    int rc = begin(v, lk);
    if (rc == VOB_OK)
        rc = view_locate(v, path, &loc);
    if (rc != VOB_OK)
        return rc;
    if (loc.vob_path.empty() || !loc.vid.empty())
        return view_fail(v, VOB_ERR, VOB_MSG(VM_NO_ELEM, path.c_str()));
    vob_t *h;
    if ((rc = view_get_vob(v, loc.vob_tag, &h)) != VOB_OK)
        return rc;
    vob_oid et = 0;
    if (!eltype.empty() && (rc = vob_type_find(h, VOB_MT_ELTYPE, eltype, &et)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    std::string abs = abs_of(v, loc.vob_tag, loc.vob_path), rel = view_rel_of(v, abs);
    vob_event ev = vob_event_now(comment);
    vob_oid elem = 0, ver = 0;
    int have_file = fileutl_exists(abs.c_str());
    {
        vob_txn t(h);
        if ((rc = t.begin()) != VOB_OK)
            return view_fail(v, rc, vob_errmsg(h));
        rc = vob_elem_create(h, loc.dir_elem, loc.leaf, mtype, et, &ev, &elem, &ver);
        if (rc == VOB_OK && mtype == VOB_MT_FILE_ELEM) {
            vob_elem_info ei;
            rc = vob_elem_get(h, elem, &ei);
            if (rc == VOB_OK && checkin && have_file)
                rc = vob_ver_create(h, ei.main_branch, vob_data_file(abs), &ev, &ver);
            else if (rc == VOB_OK && !checkin)
                rc = vob_checkout(h, ei.main_branch, 1, v->tag, &ev, nullptr);
        }
        if (rc == VOB_OK)
            rc = t.commit();
        if (rc != VOB_OK)
            return view_fail(v, rc, vob_errmsg(h));
    }
    if ((rc = view_loaded_forget(v, rel)) != VOB_OK)
        return rc;
    if (mtype == VOB_MT_DIR_ELEM) {
        if (mkdir(abs.c_str(), 0755) != 0 && errno != EEXIST)
            return view_fail(v, VOB_ERR,
                             VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
        loaded_rec r;
        r.vob = loc.vob_tag;
        r.elem = elem;
        r.dir = 1;
        rc = view_loaded_record(v, rel, r);
    } else if (checkin) {
        rc = view_copy_out(v, h, ver, abs, 0);
        if (rc == VOB_OK)
            rc = view_record_file(v, loc.vob_tag, abs, elem, ver);
    } else {
        if (!have_file)
            rc = make_empty(v, abs);
        if (rc == VOB_OK && chmod(abs.c_str(), 0644) != 0)
            rc = view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
        if (rc == VOB_OK)
            rc = view_record_file(v, loc.vob_tag, abs, elem, ver);
    }
    if (rc != VOB_OK || (rc = view_loaded_save(v)) != VOB_OK)
        return rc;
    if (out) {
        out->vob_tag = loc.vob_tag;
        out->vob_path = loc.vob_path;
        out->elem = elem;
        out->ver = ver;
        out->mtype = mtype;
        out->checkedout = mtype == VOB_MT_FILE_ELEM && !checkin;
    }
    return VOB_OK;
}

// The element at path and its VOB, under the view's lock (taken on lk).
static int open_elem(view_t *v, view_lock &lk, const std::string &path, view_fhandle *fh, vob_t **h) {
    int rc = begin(v, lk);
    if (rc == VOB_OK)
        rc = view_get_fhandle(v, path, fh);
    if (rc == VOB_OK)
        rc = view_get_vob(v, fh->vob_tag, h);
    return rc;
}

// The same, and the checkout of the element that this view holds.
static int open_ckout(view_t *v, view_lock &lk, const std::string &path, view_fhandle *fh, vob_t **h,
                      vob_oid *ck) {
    int rc = open_elem(v, lk, path, fh, h);
    if (rc == VOB_OK && vob_elem_find_ckout(*h, fh->elem, v->tag, ck) != VOB_OK)
        rc = view_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_CKOUT, path.c_str(), v->tag.c_str()));
    return rc;
}

int view_checkout(view_t *v, const std::string &path, int reserved, const std::string &comment) {
    view_lock lk(v);
    view_fhandle fh;
    vob_t *h;
    int rc = open_elem(v, lk, path, &fh, &h);
    if (rc != VOB_OK)
        return rc;
    vob_ver_info vi;
    vob_oid latest;
    if ((rc = vob_ver_get(h, fh.ver, &vi)) != VOB_OK ||
        (rc = vob_branch_get_latest(h, vi.branch, &latest)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    if (latest != fh.ver)
        return view_fail(v, VOB_CKOUT,
                         VOB_MSG(VM_CO_NOT_LATEST, fh.vob_tag.c_str(), vi.id.c_str(), fh.vob_path.c_str()));
    vob_event ev = vob_event_now(comment);
    if ((rc = vob_checkout(h, vi.branch, reserved, v->tag, &ev, nullptr)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    std::string abs = abs_of(v, fh.vob_tag, fh.vob_path);
    if (fh.mtype == VOB_MT_FILE_ELEM) {
        if (!fileutl_exists(abs.c_str()) && vi.has_data &&
            (rc = view_copy_out(v, h, fh.ver, abs, 1)) != VOB_OK)
            return rc;
        if (fileutl_exists(abs.c_str()) && chmod(abs.c_str(), 0644) != 0)
            return view_fail(v, VOB_ERR,
                             VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
    }
    return VOB_OK;
}

// A checkin from another file replaces the view's copy: the copy's own
// bytes, when they are not the new version's, are kept aside first.
static int keep_if_other(view_t *v, vob_t *h, vob_oid ver, const std::string &abs, std::string *kept) {
    vob_ver_info vi;
    if (int rc = vob_ver_get(h, ver, &vi); rc != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    std::string sha;
    int64_t size = 0;
    struct stat st;
    if (lstat(abs.c_str(), &st) != 0)
        return VOB_OK;
    if (S_ISREG(st.st_mode) && digest_sha256_file(abs, &sha, &size) == 0 && vi.has_data && sha == vi.sha256)
        return VOB_OK;
    return view_keep_aside(v, abs, kept);
}

int view_checkin(view_t *v, const std::string &path, const std::string &from, const std::string &comment,
                 vob_oid *ver_out, std::string *kept) {
    if (kept)
        kept->clear();
    view_lock lk(v);
    view_fhandle fh;
    vob_t *h;
    vob_oid ck;
    int rc = open_ckout(v, lk, path, &fh, &h, &ck);
    if (rc != VOB_OK)
        return rc;
    std::string abs = abs_of(v, fh.vob_tag, fh.vob_path);
    vob_event ev = vob_event_now(comment);
    vob_oid ver = 0;
    vob_data d = fh.mtype == VOB_MT_DIR_ELEM ? vob_data_none() : vob_data_file(from.empty() ? abs : from);
    if ((rc = vob_checkin(h, ck, d, &ev, &ver)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    if (fh.mtype == VOB_MT_FILE_ELEM) {
        std::string rel = view_rel_of(v, abs), keep;
        if ((rc = view_loaded_forget(v, rel)) != VOB_OK ||
            (!from.empty() && (rc = keep_if_other(v, h, ver, abs, &keep)) != VOB_OK))
            return rc;
        if (kept)
            *kept = keep;
        if ((rc = view_copy_out(v, h, ver, abs, 0)) != VOB_OK ||
            (rc = view_record_file(v, fh.vob_tag, abs, fh.elem, ver)) != VOB_OK ||
            (rc = view_loaded_save(v)) != VOB_OK)
            return rc;
    }
    if (ver_out)
        *ver_out = ver;
    return VOB_OK;
}

int view_uncheckout(view_t *v, const std::string &path, std::string *kept) {
    if (kept)
        kept->clear();
    view_lock lk(v);
    view_fhandle fh;
    vob_t *h;
    vob_oid ck;
    int rc = open_ckout(v, lk, path, &fh, &h, &ck);
    if (rc != VOB_OK)
        return rc;
    if ((rc = vob_uncheckout(h, ck)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    if (fh.mtype != VOB_MT_FILE_ELEM)
        return VOB_OK;
    std::string abs = abs_of(v, fh.vob_tag, fh.vob_path), rel = view_rel_of(v, abs);
    if ((rc = view_loaded_forget(v, rel)) != VOB_OK)
        return rc;
    // The user's edits are kept beside the file, under a name no file has.
    std::string keep;
    if (fileutl_exists(abs.c_str()) && (rc = view_keep_aside(v, abs, &keep)) != VOB_OK)
        return rc;
    if (kept)
        *kept = keep;
    vob_oid ver;
    if ((rc = vob_resolve_path(h, fh.vob_path, &v->rules, v->tag, &fh.elem, &ver)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    vob_ver_info vi;
    if ((rc = vob_ver_get(h, ver, &vi)) != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    if (vi.has_data && ((rc = view_copy_out(v, h, ver, abs, 0)) != VOB_OK ||
                        (rc = view_record_file(v, fh.vob_tag, abs, fh.elem, ver)) != VOB_OK))
        return rc;
    return view_loaded_save(v);
}
