// SUM_Foundation, SUM_NewConfig and SUM_Stream: a set of baselines, the
// configuration it would give an integration stream, and streams.
#include "platform/orbis/sum_int.h"

#include <map>

int SUM_Foundation::construct_from_baselines(const std::vector<SUM_Baseline> &baselines,
                                             SUM_Foundation *out) {
    for (const SUM_Baseline &b : baselines)
        if (b.pvob() != baselines[0].pvob())
            return sum_fail(VOB_ERR, ORB_MSG(ORB_MIXED_PVOBS, baselines[0].pvob().c_str(), b.pvob().c_str()));
    out->baselines_ = baselines;
    return VOB_OK;
}

// The oids of the foundation's baselines in the open project VOB; one that
// is not there is a conflict (its message in *gone, printed).
static int baseline_oids(vob_t *pvob, const SUM_Foundation &f, std::vector<vob_oid> *oids,
                         std::vector<std::string> *gone) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return sum_vob_fail(pvob, rc);
    for (const SUM_Baseline &b : f.baselines()) {
        vob_oid oid = b.oid();
        if (!oid && (rc = vob_record_find(pvob, VOB_MT_BASELINE, b.name(), &oid)) != VOB_OK) {
            if (rc != VOB_NOT_FOUND)
                return sum_vob_fail(pvob, rc);
            gone->push_back(vob_errmsg(pvob));
            continue;
        }
        oids->push_back(oid);
    }
    return VOB_OK;
}

// Every conflict of the foundation: baselines that are not there, then
// those orb_foundation_conflicts finds.
static int all_conflicts(vob_t *pvob, const SUM_Foundation &f, std::vector<vob_oid> *oids,
                         std::vector<std::string> *out) {
    std::vector<std::string> texts;
    int rc = baseline_oids(pvob, f, oids, out);
    if (rc == VOB_OK && (rc = orb_foundation_conflicts(pvob, *oids, &texts)) != VOB_OK)
        return sum_vob_fail(pvob, rc);
    for (const std::string &t : texts)
        if (!t.empty())
            out->push_back(t);
    return rc;
}

int SUM_Foundation::diagnose_conflicts(std::vector<std::string> *out) const {
    if (baselines_.empty()) {
        if (out)
            out->clear();
        return VOB_OK;
    }
    sum_pvob p;
    std::vector<vob_oid> oids;
    std::vector<std::string> conflicts;
    int rc = sum_open(baselines_[0].pvob(), &p);
    if (rc == VOB_OK)
        rc = all_conflicts(p.v, *this, &oids, &conflicts);
    if (rc != VOB_OK)
        return rc;
    for (const std::string &c : conflicts)
        (void)sum_fail(VOB_ERR, c);
    if (out)
        *out = conflicts;
    return conflicts.empty() ? VOB_OK : VOB_ERR;
}

namespace {

// What the configuration does to one component: its new baseline and the
// one the project's default integration stream has ("" none).
struct comp_change {
    std::string now, was;
};

}   // namespace

// One change per component, by component name: new baselines of the
// foundation, and modifiable components the foundation lacks.
static void report_changes(const std::map<std::string, comp_change> &changes, const SUM_ConfigCallbacks &cb) {
    if (!cb.config_change)
        return;
    for (const auto &[comp, c] : changes) {
        SUM_ConfigChange ch;
        if (c.now.empty())
            ch.message = c.was.empty() ? ORB_MSG(ORB_CHANGE_NONE, comp.c_str())
                                       : ORB_MSG(ORB_CHANGE_NONE_WAS, comp.c_str(), c.was.c_str());
        else if (c.was.empty() || c.was == c.now)
            ch.message = ORB_MSG(ORB_CHANGE, comp.c_str(), c.now.c_str());
        else
            ch.message = ORB_MSG(ORB_CHANGE_WAS, comp.c_str(), c.now.c_str(), c.was.c_str());
        // The stream keeps what it had: nothing for the user.
        ch.report = c.now != c.was;
        cb.config_change(ch);
    }
}

// The baselines of the project's default integration stream by component.
static int current_baselines(vob_t *pvob, const orb_project &pr, std::map<vob_oid, orb_baseline> *out) {
    if (!pr.istream)
        return VOB_OK;
    orb_stream s;
    int rc = orb_stream_get(pvob, pr.istream, &s);
    for (size_t i = 0; rc == VOB_OK && i < s.foundation.size(); i++) {
        orb_baseline b;
        if ((rc = orb_baseline_get(pvob, s.foundation[i], &b)) == VOB_OK)
            (*out)[b.comp] = b;
    }
    return rc;
}

static int validate(vob_t *pvob, const SUM_Project &project, const SUM_Foundation &foundation,
                    const SUM_ConfigCallbacks &callbacks, bool *flagged) {
    vob_oid po = 0;
    orb_project pr;
    std::map<vob_oid, orb_baseline> was;
    int rc = sum_find(pvob, VOB_MT_PROJECT, project.name(), 0, &po);
    if (rc != VOB_OK)
        return rc;
    if ((rc = orb_project_get(pvob, po, &pr)) != VOB_OK || (rc = current_baselines(pvob, pr, &was)) != VOB_OK)
        return sum_vob_fail(pvob, rc);
    std::vector<vob_oid> oids;
    std::vector<std::string> conflicts;
    if ((rc = all_conflicts(pvob, foundation, &oids, &conflicts)) != VOB_OK)
        return rc;
    for (const std::string &c : conflicts)
        (void)sum_fail(VOB_ERR, c);
    *flagged = !conflicts.empty();
    std::map<std::string, comp_change> changes;
    for (vob_oid bl : oids) {
        orb_baseline b;
        if ((rc = orb_baseline_get(pvob, bl, &b)) != VOB_OK)
            return sum_vob_fail(pvob, rc);
        if (std::find(pr.mod_comps.begin(), pr.mod_comps.end(), b.comp) == pr.mod_comps.end()) {
            *flagged = true;
            (void)sum_fail(VOB_ERR,
                           ORB_MSG(ORB_NOT_MODIFIABLE, b.comp_name.c_str(), b.name.c_str(), pr.name.c_str()));
        }
        comp_change &c = changes[b.comp_name];
        c.now = c.now.empty() ? b.name : c.now;
        if (auto it = was.find(b.comp); it != was.end())
            c.was = it->second.name;
    }
    for (vob_oid mc : pr.mod_comps) {
        orb_component c;
        if ((rc = orb_component_get(pvob, mc, &c)) != VOB_OK)
            return sum_vob_fail(pvob, rc);
        if (changes.count(c.name))
            continue;
        comp_change &ch = changes[c.name];
        if (auto it = was.find(mc); it != was.end())
            ch.was = it->second.name;
    }
    report_changes(changes, callbacks);
    return VOB_OK;
}

int SUM_NewConfig::validate_new_istream_config(const SUM_Project &project, const SUM_Foundation &foundation,
                                               const SUM_ConfigCallbacks &callbacks,
                                               std::unique_ptr<SUM_NewConfig> *out, bool *error_flagged) {
    sum_pvob p;
    bool flagged = false;
    int rc = sum_open(project.pvob(), &p);
    if (rc == VOB_OK && !foundation.baselines().empty() && foundation.baselines()[0].pvob() != project.pvob())
        rc = sum_fail(VOB_ERR, ORB_MSG(ORB_MIXED_PVOBS, project.pvob().c_str(),
                                       foundation.baselines()[0].pvob().c_str()));
    if (rc == VOB_OK)
        rc = validate(p.v, project, foundation, callbacks, &flagged);
    if (rc != VOB_OK)
        return rc;
    auto config = std::make_unique<SUM_NewConfig>();
    config->foundation_ = foundation;
    config->valid_ = !flagged;
    *out = std::move(config);
    if (error_flagged)
        *error_flagged = flagged;
    return VOB_OK;
}

int SUM_Stream::construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                        SUM_Stream *out) {
    SUM_Stream s;
    int rc = sum_construct(selector, "stream", VOB_MT_STREAM, pvob, flags, &s.pvob_, &s.name_, &s.oid_);
    if (rc == VOB_OK)
        *out = s;
    return rc;
}

int SUM_Stream::create(const std::string &name, const SUM_Project &project, const SUM_NewConfig &config,
                       SUM_Stream *out) {
    if (!config.is_valid())
        return sum_fail(VOB_ERR, ORB_MSG(ORB_INVALID_CONFIG, name.c_str(), project.name().c_str()));
    sum_pvob p;
    vob_oid po = 0, oid = 0;
    std::vector<vob_oid> oids;
    std::vector<std::string> gone;
    int rc = sum_open(project.pvob(), &p);
    if (rc == VOB_OK)
        rc = sum_find(p.v, VOB_MT_PROJECT, project.name(), 0, &po);
    if (rc == VOB_OK)
        rc = baseline_oids(p.v, config.foundation(), &oids, &gone);
    if (rc != VOB_OK)
        return rc;
    if (!gone.empty())
        return sum_fail(VOB_NOT_FOUND, gone[0]);
    vob_event ev = vob_event_now();
    rc = orb_stream_create_ex(p.v, name, po, ORB_ST_INTEGRATION, oids, ORB_ST_KEEP_DEFAULT, &ev, &oid);
    if (rc != VOB_OK)
        return sum_vob_fail(p.v, rc);
    out->pvob_ = project.pvob();
    out->name_ = name;
    out->oid_ = oid;
    return VOB_OK;
}

int SUM_Stream::rebase(const SUM_NewConfig &config) const {
    sum_pvob p;
    vob_oid s = 0;
    std::vector<vob_oid> oids;
    std::vector<std::string> gone;
    int rc = sum_open(pvob_, &p);
    if (rc == VOB_OK)
        rc = sum_find(p.v, VOB_MT_STREAM, name_, oid_, &s);
    if (rc == VOB_OK)
        rc = baseline_oids(p.v, config.foundation(), &oids, &gone);
    if (rc != VOB_OK)
        return rc;
    if (!gone.empty())
        return sum_fail(VOB_NOT_FOUND, gone[0]);
    if ((rc = orb_stream_rebase(p.v, s, oids)) != VOB_OK)
        return sum_vob_fail(p.v, rc);
    return VOB_OK;
}
