// Helpers of the SUM_ classes: every failure goes through the message
// library, so that a redirector on the calling thread collects it.
#include "platform/orbis/sum_int.h"

#include "platform/registry/vob_tag.h"

int sum_fail(int rc, const std::string &msg) {
    IMSG_PRINT(IMSG_ERROR, orbis_orb_msg_table_adr(), ORB_TEXT, msg.c_str());
    return rc;
}

int sum_open(const std::string &tag, sum_pvob *out) {
    std::string err;
    int rc = vob_open_tag(tag, &out->v, &err);
    return rc == VOB_OK ? VOB_OK : sum_fail(rc, err);
}

int sum_vob_fail(vob_t *v, int rc) { return sum_fail(rc, vob_errmsg(v)); }

int sum_find(vob_t *pvob, int mtype, const std::string &name, vob_oid oid, vob_oid *out) {
    if (oid) {
        *out = oid;
        return VOB_OK;
    }
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = vob_record_find(pvob, mtype, name, out);
    return rc == VOB_OK ? VOB_OK : sum_vob_fail(pvob, rc);
}

int sum_construct(const std::string &selector, const char *kind, int mtype, const SUM_Vob &pvob, int flags,
                  std::string *pvob_out, std::string *name_out, vob_oid *oid_out) {
    orb_selector sel;
    std::string err;
    if (orb_parse_selector(selector, kind, pvob.tag(), &sel, &err) != VOB_OK)
        return sum_fail(VOB_ERR, err);
    vob_oid oid = 0;
    if (flags & SUM_READ) {
        sum_pvob p;
        int rc = sum_open(sel.vob, &p);
        if (rc == VOB_OK)
            rc = sum_find(p.v, mtype, sel.name, 0, &oid);
        if (rc != VOB_OK)
            return rc;
    }
    *pvob_out = sel.vob;
    *name_out = sel.name;
    *oid_out = oid;
    return VOB_OK;
}
