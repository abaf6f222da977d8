// Projects: a title, the modifiable components (sorted by name, each once)
// and the default integration stream.
#include "platform/orbis/orb_int.h"

#include "platform/store/vob_msg.h"

#include <algorithm>

// The record's name, for a reference.
static int name_of(vob_t *pvob, vob_oid oid, std::string *name) {
    vob_record r;
    int rc = vob_record_get(pvob, oid, &r);
    if (rc == VOB_OK)
        *name = r.name;
    return rc;
}

// Writes the project's body, its modifiable components sorted by name.
static int save(vob_t *pvob, orb_project *p) {
    std::vector<std::pair<std::string, vob_oid>> mods;
    for (vob_oid c : p->mod_comps) {
        std::string name;
        if (int rc = name_of(pvob, c, &name); rc != VOB_OK)
            return rc;
        mods.push_back({name, c});
    }
    std::sort(mods.begin(), mods.end());
    std::vector<std::string> names;
    p->mod_comps.clear();
    for (auto &m : mods) {
        names.push_back(m.first);
        p->mod_comps.push_back(m.second);
    }
    std::string istream;
    if (p->istream)
        if (int rc = name_of(pvob, p->istream, &istream); rc != VOB_OK)
            return rc;
    return orb_set_body(pvob, p->oid, orb_project_body(*p, names, istream));
}

int orb_project_create(vob_t *pvob, const std::string &name, const std::string &title, const vob_event *ev,
                       vob_oid *out) {
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = orb_check_name(pvob, name, "project");
    orb_project p;
    p.title = title.empty() ? name : title;
    if (rc == VOB_OK)
        rc = orb_write(pvob, [&](bool &wrote) -> int {
            vob_oid have = 0;
            int r = vob_record_find(pvob, VOB_MT_PROJECT, name, &have);
            if (r == VOB_OK)
                return vob_fail(pvob, VOB_EXISTS,
                                VOB_MSG(VM_TYPE_EXISTS, vob_get_tag(pvob).c_str(), "project", name.c_str()));
            if (r != VOB_NOT_FOUND)
                return r;
            wrote = true;
            return orb_make_record(pvob, VOB_MT_PROJECT, name, orb_project_body(p, {}, ""), ev, &p.oid);
        });
    if (rc == VOB_OK && out)
        *out = p.oid;
    return rc;
}

int orb_project_find(vob_t *pvob, const std::string &name, vob_oid *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? vob_record_find(pvob, VOB_MT_PROJECT, name, out) : rc;
}

int orb_project_get(vob_t *pvob, vob_oid project, orb_project *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? orb_load(pvob, project, out) : rc;
}

int orb_project_list(vob_t *pvob, std::vector<orb_project> *out) {
    std::vector<vob_record> recs;
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = vob_record_list(pvob, VOB_MT_PROJECT, &recs);
    std::vector<orb_project> all(recs.size());
    for (size_t i = 0; rc == VOB_OK && i < recs.size(); i++)
        rc = orb_load(pvob, recs[i].oid, &all[i]);
    if (rc == VOB_OK)
        *out = std::move(all);
    return rc;
}

int orb_project_add_mod_comp(vob_t *pvob, vob_oid project, vob_oid comp) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    return orb_write(pvob, [&](bool &wrote) -> int {
        orb_project p;
        orb_component c;
        int r = orb_load(pvob, project, &p);
        if (r == VOB_OK)
            r = orb_load(pvob, comp, &c);
        if (r != VOB_OK || std::find(p.mod_comps.begin(), p.mod_comps.end(), comp) != p.mod_comps.end())
            return r;
        p.mod_comps.push_back(comp);
        wrote = true;
        return save(pvob, &p);
    });
}

int orb_project_set_istream(vob_t *pvob, vob_oid project, vob_oid stream) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    return orb_write(pvob, [&](bool &wrote) -> int {
        orb_project p;
        orb_stream s;
        int r = orb_load(pvob, project, &p);
        if (r == VOB_OK)
            r = orb_load(pvob, stream, &s);
        if (r != VOB_OK)
            return r;
        if (s.project != project || s.kind != ORB_ST_INTEGRATION)
            return vob_fail(
                pvob, VOB_ERR,
                ORB_MSG(ORB_NOT_ISTREAM, vob_get_tag(pvob).c_str(), s.name.c_str(), p.name.c_str()));
        if (p.istream == stream)
            return VOB_OK;
        p.istream = stream;
        wrote = true;
        return save(pvob, &p);
    });
}

int orb_project_remove(vob_t *pvob, vob_oid project) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    return orb_write(pvob, [&](bool &wrote) -> int {
        orb_project p;
        std::vector<vob_record> streams;
        int r = orb_load(pvob, project, &p);
        if (r == VOB_OK)
            r = vob_record_list(pvob, VOB_MT_STREAM, &streams);
        std::vector<vob_oid> gone;
        for (size_t i = 0; r == VOB_OK && i < streams.size(); i++) {
            orb_stream s;
            if ((r = orb_load(pvob, streams[i].oid, &s)) == VOB_OK && s.project == project)
                gone.push_back(s.oid);
        }
        if (r != VOB_OK)
            return r;
        wrote = true;
        for (vob_oid s : gone)
            if ((r = vob_record_remove(pvob, s)) != VOB_OK)
                return r;
        return vob_record_remove(pvob, project);
    });
}
