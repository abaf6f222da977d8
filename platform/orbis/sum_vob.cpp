// SUM_Vob and SUM_LabelType: VOBs by tag and the label types in them.
#include "platform/orbis/sum_int.h"

#include "platform/registry/registry.h"
#include "platform/view/pname.h"

int SUM_Vob::construct_from_pname_or_tag(const std::string &pname_or_tag, int, SUM_Vob *out) {
    rgy_vob found;
    std::string err;
    if (rgy_vob_find(pname_or_tag, "", &found, &err) == VOB_OK) {
        out->tag_ = pname_or_tag;
        return VOB_OK;
    }
    vob_pname p;
    int rc = vob_resolve_pname(pname_or_tag, &p, &err, true);
    if (rc != VOB_OK)
        return sum_fail(rc, ORB_MSG(ORB_NO_VOB, pname_or_tag.c_str(), err.c_str()));
    out->tag_ = p.vob_tag;
    return VOB_OK;
}

int SUM_LabelType::construct_from_selector(const std::string &selector, const SUM_Vob &vob,
                                           SUM_LabelType *out) {
    orb_selector sel;
    std::string err;
    if (orb_parse_selector(selector, "lbtype", vob.tag(), &sel, &err) != VOB_OK)
        return sum_fail(VOB_ERR, err);
    sum_pvob v;
    vob_oid lbtype = 0;
    int rc = sum_open(sel.vob, &v);
    if (rc == VOB_OK && (rc = vob_type_find(v.v, VOB_MT_LBTYPE, sel.name, &lbtype)) != VOB_OK)
        return sum_vob_fail(v.v, rc);
    if (rc != VOB_OK)
        return rc;
    out->vob_ = sel.vob;
    out->name_ = sel.name;
    return VOB_OK;
}
