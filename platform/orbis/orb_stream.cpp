// Streams: a project's integration or development stream and its
// foundation (at most one baseline per component, sorted by component
// name); the conflicts a foundation can have; the config spec it makes.
#include "platform/orbis/orb_int.h"

#include "platform/store/vob_msg.h"

#include <algorithm>
#include <map>
#include <set>

const char *orb_stream_kind_name(int kind) {
    switch (kind) {
        case ORB_ST_INTEGRATION:
            return "integration";
        case ORB_ST_DEVELOPMENT:
            return "development";
    }
    return "unknown";
}

// ---- conflicts -------------------------------------------------------------------------------

static void add_text(std::string *to, const std::string &text) { *to += (to->empty() ? "" : "; ") + text; }

// The conflicts of baseline b among those before it (first baseline of
// each component so far in *seen), added to *text.
static int baseline_conflicts(vob_t *pvob, vob_oid bl, std::map<vob_oid, std::string> *seen,
                              std::string *text) {
    orb_baseline b;
    orb_component c;
    int rc = orb_load(pvob, bl, &b);
    if (rc == VOB_NOT_FOUND) {
        add_text(text, ORB_MSG(ORB_GONE, vob_get_tag(pvob).c_str(), "baseline", (long long)bl));
        return VOB_OK;
    }
    if (rc == VOB_OK)
        rc = orb_load(pvob, b.comp, &c);
    if (rc == VOB_NOT_FOUND) {
        add_text(text, ORB_MSG(ORB_BL_NO_COMP, vob_get_tag(pvob).c_str(), (long long)b.comp, b.name.c_str()));
        return VOB_OK;
    }
    if (rc != VOB_OK)
        return rc;
    auto [first, fresh] = seen->insert({c.oid, b.name});
    if (!fresh)
        add_text(text, ORB_MSG(ORB_TWO_BASELINES, c.name.c_str(), first->second.c_str(), b.name.c_str()));
    bool selects = true;
    std::string why;
    std::string keep = vob_errmsg(pvob);
    if (orb_baseline_selects(pvob, b, c, &selects, &why) != VOB_OK) {
        // The component's VOB cannot be read: the baseline cannot be used.
        selects = false;
        why = ORB_MSG(ORB_BL_UNREADABLE, b.name.c_str(), c.name.c_str(), vob_errmsg(pvob).c_str());
        (void)vob_fail(pvob, VOB_OK, keep);
    }
    if (!selects)
        add_text(text, why);
    return VOB_OK;
}

// The baselines once each, in their order.
static std::vector<vob_oid> once_each(const std::vector<vob_oid> &baselines) {
    std::vector<vob_oid> r;
    for (vob_oid b : baselines)
        if (std::find(r.begin(), r.end(), b) == r.end())
            r.push_back(b);
    return r;
}

int orb_foundation_conflicts(vob_t *pvob, const std::vector<vob_oid> &baselines,
                             std::vector<std::string> *out) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    vob_txn rd(pvob, vob_txn::READ);
    if ((rc = rd.begin()) != VOB_OK)
        return rc;
    std::map<vob_oid, std::string> seen;
    std::vector<std::string> texts(baselines.size());
    for (size_t i = 0; i < baselines.size(); i++) {
        bool again = std::find(baselines.begin(), baselines.begin() + long(i), baselines[i]) !=
                     baselines.begin() + long(i);
        if (!again && (rc = baseline_conflicts(pvob, baselines[i], &seen, &texts[i])) != VOB_OK)
            return rc;
    }
    if ((rc = rd.commit()) != VOB_OK)
        return rc;
    *out = std::move(texts);
    return VOB_OK;
}

// VOB_ERR (ORB_CONFLICTS, listing them) when the foundation has any.
static int refuse_conflicts(vob_t *pvob, const std::vector<vob_oid> &foundation) {
    std::vector<std::string> texts;
    int rc = orb_foundation_conflicts(pvob, foundation, &texts);
    if (rc != VOB_OK)
        return rc;
    std::string all;
    for (const std::string &t : texts)
        if (!t.empty())
            all += (all.empty() ? " " : "; ") + t;
    return all.empty()
               ? VOB_OK
               : vob_fail(pvob, VOB_ERR, ORB_MSG(ORB_CONFLICTS, vob_get_tag(pvob).c_str(), all.c_str()));
}

// ---- streams ---------------------------------------------------------------------------------

// Writes the stream's body, its foundation sorted by component name.
static int save(vob_t *pvob, orb_stream *s, bool create, const vob_event *ev) {
    std::vector<std::pair<std::string, orb_baseline>> f;
    for (vob_oid bl : once_each(s->foundation)) {
        orb_baseline b;
        if (int rc = orb_load(pvob, bl, &b); rc != VOB_OK)
            return rc;
        f.push_back({b.comp_name, b});
    }
    std::sort(f.begin(), f.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::string> names;
    s->foundation.clear();
    for (auto &x : f) {
        names.push_back(x.second.name);
        s->foundation.push_back(x.second.oid);
    }
    vob_record p;
    if (int rc = vob_record_get(pvob, s->project, &p); rc != VOB_OK)
        return rc;
    orb_json body = orb_stream_body(*s, p.name, names);
    return create ? orb_make_record(pvob, VOB_MT_STREAM, s->name, body, ev, &s->oid)
                  : orb_set_body(pvob, s->oid, body);
}

static int create(vob_t *pvob, bool &wrote, orb_stream *s, int flags, const vob_event *ev) {
    vob_oid have = 0;
    int rc = vob_record_find(pvob, VOB_MT_STREAM, s->name, &have);
    if (rc == VOB_OK)
        return vob_fail(pvob, VOB_EXISTS,
                        VOB_MSG(VM_TYPE_EXISTS, vob_get_tag(pvob).c_str(), "stream", s->name.c_str()));
    if (rc != VOB_NOT_FOUND)
        return rc;
    orb_project p;
    if ((rc = orb_load(pvob, s->project, &p)) != VOB_OK ||
        (rc = refuse_conflicts(pvob, s->foundation)) != VOB_OK)
        return rc;
    wrote = true;
    if ((rc = save(pvob, s, true, ev)) != VOB_OK)
        return rc;
    if (s->kind == ORB_ST_INTEGRATION && !p.istream && !(flags & ORB_ST_KEEP_DEFAULT))
        rc = orb_project_set_istream(pvob, p.oid, s->oid);
    return rc;
}

int orb_stream_create_ex(vob_t *pvob, const std::string &name, vob_oid project, int kind,
                         const std::vector<vob_oid> &foundation, int flags, const vob_event *ev,
                         vob_oid *out) {
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = orb_check_name(pvob, name, "stream");
    if (rc == VOB_OK && kind != ORB_ST_INTEGRATION && kind != ORB_ST_DEVELOPMENT)
        rc = vob_fail(pvob, VOB_ERR, ORB_MSG(ORB_BAD_KIND, vob_get_tag(pvob).c_str(), kind));
    orb_stream s;
    s.name = name;
    s.project = project;
    s.kind = kind;
    s.foundation = foundation;
    if (rc == VOB_OK)
        rc = orb_write(pvob, [&](bool &wrote) -> int { return create(pvob, wrote, &s, flags, ev); });
    if (rc == VOB_OK && out)
        *out = s.oid;
    return rc;
}

int orb_stream_create(vob_t *pvob, const std::string &name, vob_oid project, int kind,
                      const std::vector<vob_oid> &foundation, const vob_event *ev, vob_oid *out) {
    return orb_stream_create_ex(pvob, name, project, kind, foundation, 0, ev, out);
}

// The foundation with each of the baselines in place of the one of its
// component (baselines that cannot be read are kept for the conflicts).
static int rebased(vob_t *pvob, const orb_stream &s, const std::vector<vob_oid> &baselines,
                   std::vector<vob_oid> *out) {
    std::set<vob_oid> comps;
    for (vob_oid bl : baselines) {
        orb_baseline b;
        int rc = orb_load(pvob, bl, &b);
        if (rc == VOB_OK)
            comps.insert(b.comp);
        else if (rc != VOB_NOT_FOUND)
            return rc;
    }
    std::vector<vob_oid> r;
    for (vob_oid bl : s.foundation) {
        orb_baseline b;
        int rc = orb_load(pvob, bl, &b);
        if (rc != VOB_OK && rc != VOB_NOT_FOUND)
            return rc;
        if (rc == VOB_NOT_FOUND || !comps.count(b.comp))
            r.push_back(bl);
    }
    r.insert(r.end(), baselines.begin(), baselines.end());
    *out = once_each(r);
    return VOB_OK;
}

int orb_stream_rebase(vob_t *pvob, vob_oid stream, const std::vector<vob_oid> &baselines) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    return orb_write(pvob, [&](bool &wrote) -> int {
        orb_stream s;
        std::vector<vob_oid> f;
        int r = orb_load(pvob, stream, &s);
        if (r == VOB_OK)
            r = rebased(pvob, s, baselines, &f);
        if (r == VOB_OK)
            r = refuse_conflicts(pvob, f);
        if (r != VOB_OK)
            return r;
        s.foundation = f;
        wrote = true;
        return save(pvob, &s, false, nullptr);
    });
}

int orb_stream_find(vob_t *pvob, const std::string &name, vob_oid *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? vob_record_find(pvob, VOB_MT_STREAM, name, out) : rc;
}

int orb_stream_get(vob_t *pvob, vob_oid stream, orb_stream *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? orb_load(pvob, stream, out) : rc;
}

int orb_stream_list(vob_t *pvob, vob_oid project, std::vector<orb_stream> *out) {
    std::vector<vob_record> recs;
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = vob_record_list(pvob, VOB_MT_STREAM, &recs);
    std::vector<orb_stream> all;
    for (size_t i = 0; rc == VOB_OK && i < recs.size(); i++) {
        orb_stream s;
        if ((rc = orb_load(pvob, recs[i].oid, &s)) == VOB_OK && (!project || s.project == project))
            all.push_back(std::move(s));
    }
    if (rc == VOB_OK)
        *out = std::move(all);
    return rc;
}

int orb_stream_remove(vob_t *pvob, vob_oid stream) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    return orb_write(pvob, [&](bool &wrote) -> int {
        orb_stream s;
        orb_project p;
        int r = orb_load(pvob, stream, &s);
        if (r != VOB_OK)
            return r;
        if ((r = orb_load(pvob, s.project, &p)) != VOB_OK && r != VOB_NOT_FOUND)
            return r;
        if (r == VOB_OK && p.istream == stream)
            return vob_fail(
                pvob, VOB_ERR,
                ORB_MSG(ORB_REMOVE_DEFAULT, vob_get_tag(pvob).c_str(), s.name.c_str(), p.name.c_str()));
        wrote = true;
        return vob_record_remove(pvob, stream);
    });
}

// ---- the config spec ---------------------------------------------------------------------------

// A view path as a config spec pattern: quoted when it holds a blank (or a
// "#", which would begin a comment); a '"' cannot be held at all.
static int pattern(vob_t *pvob, const std::string &path, std::string *out) {
    if (path.find('"') != std::string::npos)
        return vob_fail(pvob, VOB_ERR, ORB_MSG(ORB_PATTERN, vob_get_tag(pvob).c_str(), path.c_str(), "'\"'"));
    *out = path.find_first_of(" #") == std::string::npos ? path : "\"" + path + "\"";
    return VOB_OK;
}

// The directories above the component's root within its VOB, the VOB root
// included: "/vob", "/vob/sub" for root "/vob/sub/dir".
static void dirs_above(const orb_component &c, std::set<std::string> *out) {
    if (c.root_path.empty())
        return;
    out->insert(c.vob_tag);
    for (size_t slash = c.root_path.find('/'); slash != std::string::npos;
         slash = c.root_path.find('/', slash + 1))
        out->insert(c.vob_tag + "/" + c.root_path.substr(0, slash));
}

int orb_stream_config(vob_t *pvob, vob_oid stream, std::string *config_spec,
                      std::vector<std::string> *vob_tags) {
    int rc = orb_check_pvob(pvob);
    if (rc != VOB_OK)
        return rc;
    vob_txn rd(pvob, vob_txn::READ);
    orb_stream s;
    if ((rc = rd.begin()) != VOB_OK || (rc = orb_load(pvob, stream, &s)) != VOB_OK)
        return rc;
    std::vector<std::pair<orb_component, orb_baseline>> rules;
    for (vob_oid bl : s.foundation) {
        orb_baseline b;
        orb_component c;
        if ((rc = orb_load(pvob, bl, &b)) != VOB_OK || (rc = orb_load(pvob, b.comp, &c)) != VOB_OK)
            return rc;
        rules.push_back({c, b});
    }
    std::sort(rules.begin(), rules.end(),
              [](const auto &a, const auto &b) { return a.first.name < b.first.name; });
    std::string text = "element * CHECKEDOUT\n", pat;
    std::set<std::string> dirs, tags;
    for (const auto &[c, b] : rules) {
        if ((rc = pattern(pvob, orb_component_root(c) + "/...", &pat)) != VOB_OK)
            return rc;
        text +=
            "element " + pat + " " + (b.kind == ORB_BL_INITIAL ? std::string("/main/0") : b.lbtype) + "\n";
        dirs_above(c, &dirs);
        tags.insert(c.vob_tag);
    }
    for (const std::string &d : dirs) {
        if ((rc = pattern(pvob, d, &pat)) != VOB_OK)
            return rc;
        text += "element -directory " + pat + " /main/LATEST\n";
    }
    if ((rc = rd.commit()) != VOB_OK)
        return rc;
    *config_spec = text;
    *vob_tags = std::vector<std::string>(tags.begin(), tags.end());
    return VOB_OK;
}
