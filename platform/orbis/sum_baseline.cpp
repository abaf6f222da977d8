// SUM_Baseline and SUM_Component: baselines and components by selector.
#include "platform/orbis/sum_int.h"

int SUM_Baseline::construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                          SUM_Baseline *out) {
    SUM_Baseline b;
    int rc = sum_construct(selector, "baseline", VOB_MT_BASELINE, pvob, flags, &b.pvob_, &b.name_, &b.oid_);
    if (rc == VOB_OK)
        *out = b;
    return rc;
}

int SUM_Baseline::create_import(const SUM_LabelType &lbtype, const SUM_Baseline *, const SUM_Component &comp,
                                const std::string &comment, SUM_Baseline *out) {
    sum_pvob p;
    vob_oid c = 0, oid = 0;
    int rc = sum_open(comp.pvob(), &p);
    if (rc == VOB_OK)
        rc = sum_find(p.v, VOB_MT_COMPONENT, comp.name(), comp.oid(), &c);
    if (rc != VOB_OK)
        return rc;
    vob_event ev = vob_event_now(comment);
    orb_baseline b;
    rc = orb_baseline_create_import(p.v, "", c, lbtype.vob_tag(), lbtype.name(), &ev, &oid);
    if (rc == VOB_OK)
        rc = orb_baseline_get(p.v, oid, &b);
    if (rc != VOB_OK)
        return sum_vob_fail(p.v, rc);
    out->pvob_ = comp.pvob();
    out->name_ = b.name;
    out->oid_ = oid;
    return VOB_OK;
}

std::string SUM_Baseline::selector() const { return orb_selector_text("baseline", name_, pvob_); }

int SUM_Component::construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                           SUM_Component *out) {
    SUM_Component c;
    int rc = sum_construct(selector, "component", VOB_MT_COMPONENT, pvob, flags, &c.pvob_, &c.name_, &c.oid_);
    if (rc == VOB_OK)
        *out = c;
    return rc;
}

// The component's record, read through its project VOB.
static int read_component(const SUM_Component &h, orb_component *c, sum_pvob *p) {
    vob_oid oid = 0;
    int rc = sum_open(h.pvob(), p);
    if (rc == VOB_OK)
        rc = sum_find(p->v, VOB_MT_COMPONENT, h.name(), h.oid(), &oid);
    if (rc == VOB_OK && (rc = orb_component_get(p->v, oid, c)) != VOB_OK)
        return sum_vob_fail(p->v, rc);
    return rc;
}

int SUM_Component::initial_baseline(SUM_Baseline *out) const {
    sum_pvob p;
    orb_component c;
    orb_baseline b;
    int rc = read_component(*this, &c, &p);
    if (rc != VOB_OK)
        return rc;
    if ((rc = orb_baseline_get(p.v, c.initial, &b)) != VOB_OK)
        return sum_vob_fail(p.v, rc);
    out->pvob_ = pvob_;
    out->name_ = b.name;
    out->oid_ = b.oid;
    return VOB_OK;
}

int SUM_Component::vob_tag(std::string *out) const {
    sum_pvob p;
    orb_component c;
    int rc = read_component(*this, &c, &p);
    if (rc == VOB_OK)
        *out = c.vob_tag;
    return rc;
}
