// Checking contents: every version that has contents is read back as a
// reader would get it, in one read snapshot, and what cannot be read whole
// is listed rather than ending the check.
#include "platform/store/vob_int.h"

#include <utility>

// Versions with contents, element by element and each branch in number
// order: neighbours in this order are the likeliest to share stored forms.
static const char *const versions_sql =
    "SELECT v.oid, v.elem, b.path, v.num, v.size FROM ver v JOIN branch b ON b.oid = v.branch"
    " WHERE v.sha IS NOT NULL ORDER BY v.elem, v.branch, v.num";

static int count_versions(vob_t *v, int64_t *total) {
    vob_stmt q(v, "SELECT count(*) FROM ver WHERE sha IS NOT NULL");
    if (q.step() != SQLITE_ROW)
        return VOB_ERR;
    *total = q.i64(0);
    return VOB_OK;
}

int vob_check_contents(vob_t *v, vob_check_report *out,
                       const std::function<void(int64_t done, int64_t total)> &progress) {
    // One snapshot for the count and every read, so that a writer at work
    // cannot make a version look damaged or missing.
    vob_txn rd(v, vob_txn::READ);
    int rc = rd.begin();
    int64_t total = 0;
    if (rc == VOB_OK)
        rc = count_versions(v, &total);
    if (rc != VOB_OK)
        return rc;
    // Rebuilt from what is stored, not from bytes this handle holds.
    vob_blob_cache_drop(v);
    vob_check_report r;
    vob_oid elem_seen = 0, labelled = 0;
    std::string label, bytes;
    vob_stmt q(v, versions_sql);
    int step;
    while ((step = q.step()) == SQLITE_ROW) {
        vob_oid ver = q.i64(0), elem = q.i64(1);
        int64_t size = q.i64(4);
        std::string id = q.str(2) + "/" + std::to_string(q.i64(3));
        if (elem != elem_seen) {
            r.elements++;
            elem_seen = elem;
        }
        r.versions++;
        int read = vob_ver_read_data(v, ver, &bytes);
        if (read == VOB_OK && (int64_t)bytes.size() == size)
            r.bytes += size;
        else {
            // Damaged versions of one element come together: its path once.
            if (labelled != elem) {
                vob_elem_label(v, elem, &label);
                labelled = elem;
            }
            std::string why = read != VOB_OK
                                  ? vob_errmsg(v)
                                  : VOB_MSG(VM_CHECK_SIZE, v->tag.c_str(), id.c_str(), label.c_str(),
                                            (long long)bytes.size(), (long long)size);
            r.damaged.push_back({elem, ver, label, id, std::move(why)});
        }
        bytes.clear();
        if (progress)
            progress(r.versions, total);
    }
    if (step != SQLITE_DONE)
        return VOB_ERR;
    if ((rc = rd.commit()) != VOB_OK)
        return rc;
    *out = std::move(r);
    return VOB_OK;
}
