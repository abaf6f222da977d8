// SUM_Project: a project by selector, its title, modifiable components and
// default integration stream.
#include "platform/orbis/sum_int.h"

int SUM_Project::construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                         SUM_Project *out) {
    SUM_Project p;
    vob_oid oid = 0;
    int rc = sum_construct(selector, "project", VOB_MT_PROJECT, pvob, 0, &p.pvob_, &p.name_, &oid);
    if (rc == VOB_OK && (flags & SUM_READ))
        rc = p.read(&p.oid_);
    if (rc == VOB_OK)
        *out = p;
    return rc;
}

int SUM_Project::construct_from_selector(const std::string &selector, const SUM_Vob &pvob, SUM_Project *out) {
    return construct_from_selector(selector, pvob, 0, out);
}

// The project's oid, found by name unless the handle has read it; the
// handle itself is not changed, so that copies on other threads stay apart.
int SUM_Project::read(vob_oid *oid) const {
    sum_pvob p;
    int rc = sum_open(pvob_, &p);
    return rc == VOB_OK ? sum_find(p.v, VOB_MT_PROJECT, name_, oid_, oid) : rc;
}

// The project's record, through its open project VOB.
static int read_project(const SUM_Project &h, vob_oid known, sum_pvob *p, orb_project *out) {
    vob_oid oid = 0;
    int rc = sum_open(h.pvob(), p);
    if (rc == VOB_OK)
        rc = sum_find(p->v, VOB_MT_PROJECT, h.name(), known, &oid);
    if (rc == VOB_OK && (rc = orb_project_get(p->v, oid, out)) != VOB_OK)
        return sum_vob_fail(p->v, rc);
    return rc;
}

int SUM_Project::title(std::string *out) const {
    sum_pvob p;
    orb_project pr;
    int rc = read_project(*this, oid_, &p, &pr);
    if (rc == VOB_OK)
        *out = pr.title;
    return rc;
}

int SUM_Project::mod_comps(std::vector<SUM_Component> *out) const {
    sum_pvob p;
    orb_project pr;
    int rc = read_project(*this, oid_, &p, &pr);
    std::vector<SUM_Component> comps;
    for (size_t i = 0; rc == VOB_OK && i < pr.mod_comps.size(); i++) {
        orb_component c;
        if ((rc = orb_component_get(p.v, pr.mod_comps[i], &c)) != VOB_OK)
            return sum_vob_fail(p.v, rc);
        SUM_Component h;
        h.pvob_ = pvob_;
        h.name_ = c.name;
        h.oid_ = c.oid;
        comps.push_back(h);
    }
    if (rc == VOB_OK)
        *out = std::move(comps);
    return rc;
}

int SUM_Project::default_integration_stream(SUM_Stream *out) const {
    sum_pvob p;
    orb_project pr;
    orb_stream s;
    int rc = read_project(*this, oid_, &p, &pr);
    if (rc != VOB_OK)
        return rc;
    if (!pr.istream)
        return VOB_NOT_FOUND;
    if ((rc = orb_stream_get(p.v, pr.istream, &s)) != VOB_OK)
        return sum_vob_fail(p.v, rc);
    out->pvob_ = pvob_;
    out->name_ = s.name;
    out->oid_ = s.oid;
    return VOB_OK;
}

int SUM_Project::set_default_integration_stream(const SUM_Stream &stream, int) const {
    sum_pvob p;
    orb_project pr;
    vob_oid s = 0;
    int rc = read_project(*this, oid_, &p, &pr);
    if (rc == VOB_OK)
        rc = sum_find(p.v, VOB_MT_STREAM, stream.name(), stream.oid(), &s);
    if (rc == VOB_OK && (rc = orb_project_set_istream(p.v, pr.oid, s)) != VOB_OK)
        return sum_vob_fail(p.v, rc);
    return rc;
}
