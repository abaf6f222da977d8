// The members the JSON dump of a project VOB adds (orbis.h): its projects,
// components, baselines and streams by name, texts and events as the
// store's dump writes them, references by name.
#include "platform/orbis/orb_int.h"

#include "platform/store/vob_dump.h"

#include <algorithm>
#include <map>

using dump_json = nlohmann::ordered_json;

static dump_json text(const std::string &s) { return dump_json::parse(vob_dump_text(s)); }

// "event" and "comment" of an object, as the store writes them for elements.
static void add_event(dump_json *j, const vob_event &ev) {
    (*j)["event"] = dump_json::parse(vob_dump_event(ev));
    (*j)["comment"] = ev.comment.empty() ? dump_json(nullptr) : text(ev.comment);
}

// The records' names by oid, for references.
struct names {
    std::map<vob_oid, std::string> of;
    dump_json ref(vob_oid oid) const {
        auto it = of.find(oid);
        return it == of.end() ? dump_json(nullptr) : dump_json(it->second);
    }
};

static int members(vob_t *pvob, std::string *out) {
    std::vector<orb_project> projects;
    std::vector<orb_component> comps;
    std::vector<orb_baseline> bls;
    std::vector<orb_stream> streams;
    int rc = orb_project_list(pvob, &projects);
    if (rc == VOB_OK)
        rc = orb_component_list(pvob, &comps);
    if (rc == VOB_OK)
        rc = orb_baseline_list(pvob, 0, &bls);
    if (rc == VOB_OK)
        rc = orb_stream_list(pvob, 0, &streams);
    if (rc != VOB_OK)
        return rc;
    names n;
    for (auto &p : projects)
        n.of[p.oid] = p.name;
    for (auto &c : comps)
        n.of[c.oid] = c.name;
    for (auto &b : bls)
        n.of[b.oid] = b.name;
    for (auto &s : streams)
        n.of[s.oid] = s.name;
    std::sort(bls.begin(), bls.end(),
              [](const orb_baseline &a, const orb_baseline &b) { return a.name < b.name; });

    dump_json jp = dump_json::array(), jc = dump_json::array(), jb = dump_json::array(),
              js = dump_json::array();
    for (auto &p : projects) {
        dump_json j{{"name", p.name}, {"title", text(p.title)}};
        add_event(&j, p.ev);
        dump_json mods = dump_json::array();
        for (vob_oid c : p.mod_comps)
            mods.push_back(n.ref(c));
        j["modifiable"] = mods;
        j["integration_stream"] = p.istream ? n.ref(p.istream) : dump_json(nullptr);
        jp.push_back(std::move(j));
    }
    for (auto &c : comps) {
        dump_json j{{"name", c.name}, {"vob", text(c.vob_tag)}, {"root", text(orb_component_root(c))}};
        add_event(&j, c.ev);
        j["initial"] = n.ref(c.initial);
        jc.push_back(std::move(j));
    }
    for (auto &b : bls) {
        dump_json j{{"name", b.name}, {"component", n.ref(b.comp)}, {"kind", orb_bl_kind_name(b.kind)}};
        j["label"] = b.lbtype.empty() ? dump_json(nullptr) : dump_json(b.lbtype);
        add_event(&j, b.ev);
        jb.push_back(std::move(j));
    }
    for (auto &s : streams) {
        dump_json j{{"name", s.name}, {"project", n.ref(s.project)}, {"kind", orb_stream_kind_name(s.kind)}};
        dump_json f = dump_json::array();
        for (vob_oid b : s.foundation)
            f.push_back(n.ref(b));
        j["foundation"] = f;
        add_event(&j, s.ev);
        js.push_back(std::move(j));
    }
    *out = ",\"projects\":" + jp.dump() + ",\"components\":" + jc.dump() + ",\"baselines\":" + jb.dump() +
           ",\"streams\":" + js.dump();
    return VOB_OK;
}

int orb_dump_members(vob_t *pvob, std::string *out) {
    if (!vob_is_project(pvob)) {
        out->clear();
        return VOB_OK;
    }
    vob_txn rd(pvob, vob_txn::READ);
    int rc = rd.begin();
    if (rc == VOB_OK)
        rc = members(pvob, out);
    if (rc == VOB_OK)
        rc = rd.commit();
    return rc;
}
