// The project layer's records: bodies to and from the model's structs, the
// checks every call makes, and the other VOBs a call reads.
#include "platform/orbis/orb_int.h"

#include "platform/registry/vob_tag.h"
#include "runtime/typename.h"

#include <stdexcept>

// ---- checks ----------------------------------------------------------------------------------

int orb_check_pvob(vob_t *pvob) {
    if (vob_is_project(pvob))
        return VOB_OK;
    return vob_fail(pvob, VOB_ERR, ORB_MSG(ORB_NOT_PROJECT_VOB, vob_get_tag(pvob).c_str()));
}

int orb_check_name(vob_t *pvob, const std::string &name, const char *what) {
    if (typename_acceptable(name))
        return VOB_OK;
    return vob_fail(pvob, VOB_ERR, ORB_MSG(ORB_BAD_NAME, vob_get_tag(pvob).c_str(), what, name.c_str()));
}

// ---- texts and references ------------------------------------------------------------------

orb_json orb_text_json(const std::string &s) {
    if (typename_is_utf8(s))
        return s;
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * s.size());
    for (unsigned char c : s) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return {{"hex", hex}};
}

static int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string orb_json_text(const orb_json &j) {
    if (j.is_string())
        return j.get<std::string>();
    if (!j.is_object() || !j.contains("hex") || !j["hex"].is_string())
        return "";
    const std::string &hex = j["hex"].get_ref<const std::string &>();
    std::string s;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = hex_value(hex[i]), lo = hex_value(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return "";
        s += char(hi * 16 + lo);
    }
    return s;
}

orb_json orb_ref(vob_oid oid, const std::string &name) { return {{"oid", oid}, {"name", name}}; }

static vob_oid ref_oid(const orb_json &ref) { return ref.at("oid").get<vob_oid>(); }

// ---- loading -------------------------------------------------------------------------------

static int damaged(vob_t *pvob, int mtype, const std::string &name, const std::string &why) {
    return vob_fail(
        pvob, VOB_CORRUPT,
        ORB_MSG(ORB_DAMAGED, vob_get_tag(pvob).c_str(), vob_mtype_name(mtype), name.c_str(), why.c_str()));
}

int orb_load_record(vob_t *pvob, int mtype, vob_oid oid, vob_record *rec, orb_json *body) {
    int rc = vob_record_get(pvob, oid, rec);
    if (rc == VOB_OK && rec->mtype != mtype)
        rc = VOB_NOT_FOUND;
    if (rc == VOB_NOT_FOUND)
        return vob_fail(pvob, VOB_NOT_FOUND,
                        ORB_MSG(ORB_NO_ID, vob_get_tag(pvob).c_str(), vob_mtype_name(mtype), (long long)oid));
    if (rc != VOB_OK)
        return rc;
    *body = orb_json::parse(rec->body, nullptr, false);
    if (!body->is_object())
        return damaged(pvob, mtype, rec->name, "its body is not a JSON object");
    return VOB_OK;
}

// Loads the record, then decode(body) fills the struct; a missing or
// mistyped member is damage.
template <class T, class Decode> static int load(vob_t *pvob, int mtype, vob_oid oid, T *out, Decode decode) {
    vob_record rec;
    orb_json body;
    int rc = orb_load_record(pvob, mtype, oid, &rec, &body);
    if (rc != VOB_OK)
        return rc;
    T t;
    t.oid = oid;
    t.name = rec.name;
    if ((rc = vob_obj_get_event(pvob, oid, &t.ev)) != VOB_OK)
        return rc;
    try {
        decode(body, &t);
    } catch (const std::exception &ex) {   // the parser's, or an unknown kind
        return damaged(pvob, mtype, rec.name, ex.what());
    }
    *out = std::move(t);
    return VOB_OK;
}

static int bl_kind(const std::string &name) {
    for (int k : {ORB_BL_INITIAL, ORB_BL_IMPORT, ORB_BL_NORMAL})
        if (name == orb_bl_kind_name(k))
            return k;
    throw std::runtime_error("unknown baseline kind \"" + name + "\"");
}

static int st_kind(const std::string &name) {
    for (int k : {ORB_ST_INTEGRATION, ORB_ST_DEVELOPMENT})
        if (name == orb_stream_kind_name(k))
            return k;
    throw std::runtime_error("unknown stream kind \"" + name + "\"");
}

int orb_load(vob_t *pvob, vob_oid oid, orb_component *out) {
    return load(pvob, VOB_MT_COMPONENT, oid, out, [](const orb_json &b, orb_component *c) {
        c->vob_tag = orb_json_text(b.at("vob"));
        c->vob_uuid = b.at("uuid").get<std::string>();
        c->root_elem = b.at("root").get<vob_oid>();
        c->root_path = orb_json_text(b.at("path"));
        c->initial = ref_oid(b.at("initial"));
    });
}

int orb_load(vob_t *pvob, vob_oid oid, orb_baseline *out) {
    return load(pvob, VOB_MT_BASELINE, oid, out, [](const orb_json &b, orb_baseline *bl) {
        bl->comp = ref_oid(b.at("component"));
        bl->comp_name = b.at("component").at("name").get<std::string>();
        bl->kind = bl_kind(b.at("kind").get<std::string>());
        bl->lbtype = b.at("label").is_null() ? std::string() : b.at("label").get<std::string>();
    });
}

int orb_load(vob_t *pvob, vob_oid oid, orb_project *out) {
    return load(pvob, VOB_MT_PROJECT, oid, out, [](const orb_json &b, orb_project *p) {
        p->title = orb_json_text(b.at("title"));
        for (const orb_json &r : b.at("modifiable"))
            p->mod_comps.push_back(ref_oid(r));
        const orb_json &is = b.at("integration_stream");
        p->istream = is.is_null() ? 0 : ref_oid(is);
    });
}

int orb_load(vob_t *pvob, vob_oid oid, orb_stream *out) {
    return load(pvob, VOB_MT_STREAM, oid, out, [](const orb_json &b, orb_stream *s) {
        s->project = ref_oid(b.at("project"));
        s->kind = st_kind(b.at("kind").get<std::string>());
        for (const orb_json &r : b.at("foundation"))
            s->foundation.push_back(ref_oid(r));
    });
}

// ---- bodies ----------------------------------------------------------------------------------

orb_json orb_component_body(const orb_component &c, const std::string &initial_name) {
    return {{"vob", orb_text_json(c.vob_tag)},
            {"uuid", c.vob_uuid},
            {"root", c.root_elem},
            {"path", orb_text_json(c.root_path)},
            {"initial", orb_ref(c.initial, initial_name)}};
}

orb_json orb_baseline_body(const orb_baseline &b) {
    return {{"component", orb_ref(b.comp, b.comp_name)},
            {"kind", orb_bl_kind_name(b.kind)},
            {"label", b.lbtype.empty() ? orb_json(nullptr) : orb_json(b.lbtype)}};
}

orb_json orb_project_body(const orb_project &p, const std::vector<std::string> &mod_names,
                          const std::string &istream_name) {
    orb_json mods = orb_json::array();
    for (size_t i = 0; i < p.mod_comps.size(); i++)
        mods.push_back(orb_ref(p.mod_comps[i], mod_names.at(i)));
    return {{"title", orb_text_json(p.title)},
            {"modifiable", mods},
            {"integration_stream", p.istream ? orb_ref(p.istream, istream_name) : orb_json(nullptr)}};
}

orb_json orb_stream_body(const orb_stream &s, const std::string &project_name,
                         const std::vector<std::string> &foundation_names) {
    orb_json f = orb_json::array();
    for (size_t i = 0; i < s.foundation.size(); i++)
        f.push_back(orb_ref(s.foundation[i], foundation_names.at(i)));
    return {{"project", orb_ref(s.project, project_name)},
            {"kind", orb_stream_kind_name(s.kind)},
            {"foundation", f}};
}

int orb_make_record(vob_t *pvob, int mtype, const std::string &name, const orb_json &body,
                    const vob_event *ev, vob_oid *out) {
    return vob_record_create(pvob, mtype, name, body.dump(), ev, out);
}

int orb_set_body(vob_t *pvob, vob_oid oid, const orb_json &body) {
    return vob_record_set_body(pvob, oid, body.dump());
}

// ---- other VOBs ------------------------------------------------------------------------------

orb_vob::~orb_vob() {
    if (own)
        vob_close(v);
}

int orb_pass(vob_t *pvob, vob_t *other, int rc) {
    return other == pvob ? rc : vob_fail(pvob, rc, vob_errmsg(other));
}

int orb_open_vob(vob_t *pvob, const std::string &tag, orb_vob *out) {
    if (tag == vob_get_tag(pvob)) {
        out->v = pvob;
        out->own = false;
        return VOB_OK;
    }
    std::string err;
    vob_t *v = nullptr;
    int rc = vob_open_tag(tag, &v, &err);
    if (rc != VOB_OK)
        return vob_fail(pvob, rc, err);
    out->v = v;
    out->own = true;
    return VOB_OK;
}

int orb_open_comp_vob(vob_t *pvob, const orb_component &c, orb_vob *out) {
    int rc = orb_open_vob(pvob, c.vob_tag, out);
    if (rc != VOB_OK)
        return rc;
    if (vob_get_uuid(out->v) != c.vob_uuid)
        return vob_fail(pvob, VOB_NOT_FOUND,
                        ORB_MSG(ORB_VOB_CHANGED, c.name.c_str(), c.vob_tag.c_str(),
                                vob_get_uuid(out->v).c_str(), c.vob_uuid.c_str()));
    return VOB_OK;
}
