// What baselines and streams refer to, as handles of their own.
#include "platform/orbis/sum_int.h"

int SUM_Baseline::component(SUM_Component *out) const {
    sum_pvob p;
    vob_oid oid = 0;
    orb_baseline b;
    int rc = sum_open(pvob_, &p);
    if (rc == VOB_OK)
        rc = sum_find(p.v, VOB_MT_BASELINE, name_, oid_, &oid);
    if (rc != VOB_OK)
        return rc;
    if ((rc = orb_baseline_get(p.v, oid, &b)) != VOB_OK)
        return sum_vob_fail(p.v, rc);
    return SUM_Component::construct_from_selector(orb_selector_text("component", b.comp_name, pvob_), SUM_Vob(),
                                                  SUM_READ, out);
}

int SUM_Stream::foundation(std::vector<SUM_Baseline> *out) const {
    sum_pvob p;
    vob_oid oid = 0;
    orb_stream st;
    int rc = sum_open(pvob_, &p);
    if (rc == VOB_OK)
        rc = sum_find(p.v, VOB_MT_STREAM, name_, oid_, &oid);
    if (rc != VOB_OK)
        return rc;
    if ((rc = orb_stream_get(p.v, oid, &st)) != VOB_OK)
        return sum_vob_fail(p.v, rc);
    std::vector<SUM_Baseline> list;
    for (vob_oid b : st.foundation) {
        orb_baseline bl;
        if ((rc = orb_baseline_get(p.v, b, &bl)) != VOB_OK)
            return sum_vob_fail(p.v, rc);
        SUM_Baseline h;
        if ((rc = SUM_Baseline::construct_from_selector(orb_selector_text("baseline", bl.name, pvob_), SUM_Vob(),
                                                        SUM_READ, &h)) != VOB_OK)
            return rc;
        list.push_back(h);
    }
    *out = std::move(list);
    return VOB_OK;
}
