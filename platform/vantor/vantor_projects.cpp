// vantor's commands on projects: mkproject, mkcomp, mkbl, mkstream, rebase,
// lsproject, lscomp, lsbl, lsstream, rmproject, rmstream; and the
// configuration a view of a stream takes (stream_view_config).
//
// Objects are named by selectors "[KIND:]NAME[@PVOB]" (orbis.h). A command
// resolves every selector and checks its arguments before its first change,
// and a command that makes several changes makes them in one transaction of
// the project VOB, so that a refusal leaves it as it was. Objects named
// together belong to one project VOB: a selector of another is refused.
#include "platform/orbis/orbis.h"
#include "platform/registry/registry.h"
#include "platform/registry/vob_tag.h"
#include "platform/vantor/vantor_int.h"

#include <cstdio>
#include <map>
#include <set>

namespace {

// A project VOB open for one command.
struct pvob_h {
    vob_t *v = nullptr;
    std::string tag;
    pvob_h() = default;
    ~pvob_h() { vob_close(v); }
    pvob_h(const pvob_h &) = delete;
    pvob_h &operator=(const pvob_h &) = delete;
};

// A VOB tag as selectors take it: the leading "/" may be left out.
std::string norm_tag(const std::string &t) { return t.empty() || t[0] == '/' ? t : "/" + t; }

// The VOB part of a selector ("" without "@").
std::string vob_part(const std::string &sel) {
    size_t at = sel.find('@');
    return at == std::string::npos ? "" : norm_tag(sel.substr(at + 1));
}

// "NAME@/pvob": how messages and listings name an object.
std::string obj_text(const std::string &name, const std::string &pvob) {
    return orb_selector_text("", name, pvob);
}

bool parse_sel(const std::string &text, const char *kind, const std::string &def, orb_selector *out) {
    std::string err;
    if (orb_parse_selector(text, kind, def, out, &err) != VOB_OK) {
        fail_text(err);
        return false;
    }
    return true;
}

bool open_pvob(const std::string &tag, pvob_h *h) {
    std::string err;
    if (vob_open_tag(tag, &h->v, &err) != VOB_OK) {
        fail_text(err);
        return false;
    }
    h->tag = tag;
    if (!vob_is_project(h->v)) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_PVOB, tag.c_str());
        return false;
    }
    return true;
}

int find_obj(vob_t *pvob, const std::string &kind, const std::string &name, vob_oid *out) {
    if (kind == "project")
        return orb_project_find(pvob, name, out);
    if (kind == "component")
        return orb_component_find(pvob, name, out);
    if (kind == "baseline")
        return orb_baseline_find(pvob, name, out);
    return orb_stream_find(pvob, name, out);
}

// The object a selector names in the open project VOB h; the selector's VOB
// defaults to h's. `with` names what the object goes with, for the refusal
// of a selector of another project VOB.
bool lookup(const args_t &a, pvob_h &h, const std::string &text, const char *kind, const std::string &with,
            orb_selector *sel, vob_oid *out) {
    if (!parse_sel(text, kind, h.tag, sel))
        return false;
    if (sel->vob != h.tag) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_OTHER_PVOB, a.cmd, text.c_str(), sel->vob.c_str(), with.c_str(),
                   h.tag.c_str());
        return false;
    }
    if (find_obj(h.v, kind, sel->name, out) != VOB_OK) {
        vob_failed(h.v);
        return false;
    }
    return true;
}

// The values of an option that may be given again and may hold lists
// ("A,B"), one item each.
std::vector<std::string> items(const std::vector<std::string> &values) {
    std::vector<std::string> out;
    for (const std::string &v : values) {
        size_t at = 0;
        for (;;) {
            size_t comma = v.find(',', at);
            out.push_back(v.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
            if (comma == std::string::npos)
                break;
            at = comma + 1;
        }
    }
    return out;
}

std::string joined(const std::vector<std::string> &names) {
    std::string s;
    for (const std::string &n : names)
        s += (s.empty() ? "" : ", ") + n;
    return s.empty() ? "(none)" : s;
}

bool missing(const char *cmd, const char *what) {
    IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, cmd, what);
    return false;
}

std::string name_of_component(vob_t *pvob, vob_oid c, std::string *root = nullptr) {
    orb_component comp;
    if (orb_component_get(pvob, c, &comp) != VOB_OK)
        return "?";
    if (root)
        *root = orb_component_root(comp);
    return comp.name;
}

std::string name_of_baseline(vob_t *pvob, vob_oid b) {
    orb_baseline bl;
    return orb_baseline_get(pvob, b, &bl) == VOB_OK ? bl.name : "?";
}

std::string name_of_stream(vob_t *pvob, vob_oid s) {
    orb_stream st;
    return orb_stream_get(pvob, s, &st) == VOB_OK ? st.name : "?";
}

std::vector<std::string> baseline_names(vob_t *pvob, const std::vector<vob_oid> &bls) {
    std::vector<std::string> out;
    for (vob_oid b : bls)
        out.push_back(name_of_baseline(pvob, b));
    return out;
}

// One line of a long listing: "  what: value".
void field(std::string *out, const char *what, const std::string &value) {
    *out += std::string("  ") + what + ": " + value + "\n";
}

// The first line of a long listing: kind "NAME@/pvob".
void heading(std::string *out, const char *kind, const std::string &name, const std::string &pvob) {
    *out += std::string(kind) + " \"" + obj_text(name, pvob) + "\"\n";
}

std::string event_lines(const vob_event &ev) {
    return "  created " + event_line(ev) + "\n  comment: " + show_comment(ev.comment) + "\n";
}

int print(const std::string &text) {
    fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}   // namespace

// ---- Making ---------------------------------------------------------------------------------

int cmd_mkproject(const args_t &a) {
    orb_selector ps;
    pvob_h h;
    if (!parse_sel(a.ops[0], "project", "", &ps) || !open_pvob(ps.vob, &h))
        return 1;
    std::string with = "project \"" + ps.name + "\"";
    std::vector<vob_oid> comps;
    std::set<std::string> names;
    for (const std::string &t : items(a.all("modcomp"))) {
        orb_selector cs;
        vob_oid c = 0;
        if (!lookup(a, h, t, "component", with, &cs, &c))
            return 1;
        comps.push_back(c);
        names.insert(cs.name);
    }
    // The project and its components at once, or nothing.
    vob_event ev = vob_event_now(a.opt("c"));
    vob_txn t(h.v);
    vob_oid p = 0;
    int rc = t.begin();
    if (rc == VOB_OK)
        rc = orb_project_create(h.v, ps.name, a.opt("title"), &ev, &p);
    for (size_t i = 0; rc == VOB_OK && i < comps.size(); i++)
        rc = orb_project_add_mod_comp(h.v, p, comps[i]);
    if (rc == VOB_OK)
        rc = t.commit();
    if (rc != VOB_OK)
        return vob_failed(h.v);
    std::string title = a.opt("title").empty() ? ps.name : a.opt("title");
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_PROJECT, obj_text(ps.name, h.tag).c_str(), title.c_str(),
               joined(std::vector<std::string>(names.begin(), names.end())).c_str());
    return 0;
}

int cmd_mkcomp(const args_t &a) {
    std::string dir = a.opt("root");
    if (dir.empty())
        return !missing("mkcomp", "-root DIR");
    orb_selector cs;
    pvob_h h;
    if (!parse_sel(a.ops[0], "component", "", &cs) || !open_pvob(cs.vob, &h))
        return 1;
    std::string tag, path;
    {
        // Resolved, then closed: the project layer opens the component's VOB itself.
        vob_pname p;
        if (!resolve(dir, &p))
            return 1;
        int mtype = 0;
        if (vob_obj_get_mtype(p.vob, p.elem, &mtype) != VOB_OK)
            return vob_failed(p.vob);
        if (!p.vid.empty() || mtype != VOB_MT_DIR_ELEM) {
            IMSG_PRINT(IMSG_ERROR, cat(), VT_NOT_DIR_ELEM, "mkcomp", dir.c_str());
            return 1;
        }
        tag = p.vob_tag;
        path = p.vob_path;
    }
    vob_event ev = vob_event_now(a.opt("c"));
    vob_oid c = 0;
    orb_component comp;
    orb_baseline initial;
    if (orb_component_create(h.v, cs.name, tag, path, &ev, &c) != VOB_OK ||
        orb_component_get(h.v, c, &comp) != VOB_OK || orb_baseline_get(h.v, comp.initial, &initial) != VOB_OK)
        return vob_failed(h.v);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_COMP, obj_text(comp.name, h.tag).c_str(),
               orb_component_root(comp).c_str(), obj_text(initial.name, h.tag).c_str());
    return 0;
}

int cmd_mkbl(const args_t &a) {
    bool import = a.has("import");
    std::string label = a.opt("label"), comp_text = a.opt("comp");
    if (comp_text.empty())
        return !missing("mkbl", "-comp COMPONENT");
    if (import && label.empty())
        return !missing("mkbl", "-label LABEL");
    if (!import && !label.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_LABEL_NEEDS_IMPORT);
        return 1;
    }
    if (!import && a.ops.empty())
        return !missing("mkbl", "baseline name");
    orb_selector cs;
    pvob_h h;
    if (!parse_sel(comp_text, "component", "", &cs) || !open_pvob(cs.vob, &h))
        return 1;
    vob_oid c = 0;
    orb_component comp;
    if (orb_component_find(h.v, cs.name, &c) != VOB_OK || orb_component_get(h.v, c, &comp) != VOB_OK)
        return vob_failed(h.v);
    std::string name;
    if (!a.ops.empty()) {
        orb_selector bs;
        if (!parse_sel(a.ops[0], "baseline", h.tag, &bs))
            return 1;
        if (bs.vob != h.tag) {
            IMSG_PRINT(IMSG_ERROR, cat(), VT_OTHER_PVOB, "mkbl", a.ops[0].c_str(), bs.vob.c_str(),
                       ("component \"" + comp.name + "\"").c_str(), h.tag.c_str());
            return 1;
        }
        name = bs.name;
    }
    vob_event ev = vob_event_now(a.opt("c"));
    vob_oid bl = 0;
    orb_selector ls;
    if (import && !parse_sel(label, "lbtype", comp.vob_tag, &ls))
        return 1;
    int rc = import ? orb_baseline_create_import(h.v, name, c, ls.vob, ls.name, &ev, &bl)
                    : orb_baseline_create_normal(h.v, name, c, &ev, &bl);
    orb_baseline b;
    if (rc != VOB_OK || orb_baseline_get(h.v, bl, &b) != VOB_OK)
        return vob_failed(h.v);
    if (import)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_IMPORT_BL, obj_text(b.name, h.tag).c_str(),
                   comp.name.c_str(), b.lbtype.c_str(), comp.vob_tag.c_str());
    else
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_NORMAL_BL, obj_text(b.name, h.tag).c_str(),
                   comp.name.c_str(), b.lbtype.c_str(), orb_component_root(comp).c_str());
    return 0;
}

int cmd_mkstream(const args_t &a) {
    bool integ = a.has("integration");
    if (integ == a.has("development")) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_STREAM_KIND);
        return 1;
    }
    std::string ptext = a.opt("project");
    if (ptext.empty())
        return !missing("mkstream", "-project PROJECT");
    // Either selector may name the project VOB for both.
    std::string def = vob_part(a.ops[0]).empty() ? vob_part(ptext) : vob_part(a.ops[0]);
    orb_selector ss, ps;
    pvob_h h;
    if (!parse_sel(a.ops[0], "stream", def, &ss) || !open_pvob(ss.vob, &h))
        return 1;
    std::string with = "stream \"" + ss.name + "\"";
    vob_oid p = 0;
    orb_project proj;
    if (!lookup(a, h, ptext, "project", with, &ps, &p))
        return 1;
    if (orb_project_get(h.v, p, &proj) != VOB_OK)
        return vob_failed(h.v);
    std::vector<vob_oid> foundation;
    if (a.all("baseline").empty()) {
        for (vob_oid c : proj.mod_comps) {
            orb_component comp;
            if (orb_component_get(h.v, c, &comp) != VOB_OK)
                return vob_failed(h.v);
            foundation.push_back(comp.initial);
        }
    }
    for (const std::string &t : items(a.all("baseline"))) {
        orb_selector bs;
        vob_oid b = 0;
        if (!lookup(a, h, t, "baseline", with, &bs, &b))
            return 1;
        foundation.push_back(b);
    }
    vob_event ev = vob_event_now(a.opt("c"));
    vob_oid s = 0;
    orb_stream st;
    int kind = integ ? ORB_ST_INTEGRATION : ORB_ST_DEVELOPMENT;
    if (orb_stream_create(h.v, ss.name, p, kind, foundation, &ev, &s) != VOB_OK ||
        orb_stream_get(h.v, s, &st) != VOB_OK || orb_project_get(h.v, p, &proj) != VOB_OK)
        return vob_failed(h.v);
    std::string text = obj_text(st.name, h.tag);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_CREATED_STREAM, orb_stream_kind_name(kind), text.c_str(),
               proj.name.c_str(), joined(baseline_names(h.v, st.foundation)).c_str());
    if (proj.istream == s)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_DEFAULT_STREAM, text.c_str(), proj.name.c_str());
    return 0;
}

// The foundation by component name: component -> baseline.
static std::map<std::string, std::string> by_component(vob_t *pvob, const orb_stream &s) {
    std::map<std::string, std::string> m;
    for (vob_oid b : s.foundation) {
        orb_baseline bl;
        if (orb_baseline_get(pvob, b, &bl) == VOB_OK)
            m[bl.comp_name] = bl.name;
    }
    return m;
}

int cmd_rebase(const args_t &a) {
    orb_selector ss;
    pvob_h h;
    if (!parse_sel(a.ops[0], "stream", "", &ss) || !open_pvob(ss.vob, &h))
        return 1;
    vob_oid s = 0;
    orb_stream before, after;
    if (orb_stream_find(h.v, ss.name, &s) != VOB_OK || orb_stream_get(h.v, s, &before) != VOB_OK)
        return vob_failed(h.v);
    std::string with = "stream \"" + ss.name + "\"";
    std::vector<vob_oid> bls;
    for (const std::string &t : items(std::vector<std::string>(a.ops.begin() + 1, a.ops.end()))) {
        orb_selector bs;
        vob_oid b = 0;
        if (!lookup(a, h, t, "baseline", with, &bs, &b))
            return 1;
        bls.push_back(b);
    }
    if (orb_stream_rebase(h.v, s, bls) != VOB_OK || orb_stream_get(h.v, s, &after) != VOB_OK)
        return vob_failed(h.v);
    std::string text = obj_text(ss.name, h.tag);
    auto was = by_component(h.v, before), now = by_component(h.v, after);
    bool changed = false;
    for (const auto &[comp, bl] : now) {
        auto old = was.find(comp);
        if (old != was.end() && old->second == bl)
            continue;
        changed = true;
        if (old == was.end())
            IMSG_PRINT(IMSG_NOTICE, cat(), VT_REBASE_ADDED, text.c_str(), comp.c_str(), bl.c_str());
        else
            IMSG_PRINT(IMSG_NOTICE, cat(), VT_REBASE_CHANGED, text.c_str(), comp.c_str(), bl.c_str(),
                       old->second.c_str());
    }
    if (changed)
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_REBASED, text.c_str());
    else
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_REBASE_SAME, text.c_str());
    return 0;
}

// ---- Removing -------------------------------------------------------------------------------

int cmd_rmproject(const args_t &a) {
    orb_selector ps;
    pvob_h h;
    if (!parse_sel(a.ops[0], "project", "", &ps) || !open_pvob(ps.vob, &h))
        return 1;
    vob_oid p = 0;
    std::vector<orb_stream> streams;
    if (orb_project_find(h.v, ps.name, &p) != VOB_OK || orb_stream_list(h.v, p, &streams) != VOB_OK ||
        orb_project_remove(h.v, p) != VOB_OK)
        return vob_failed(h.v);
    std::vector<std::string> names;
    for (const orb_stream &s : streams)
        names.push_back(s.name);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_REMOVED_PROJECT, obj_text(ps.name, h.tag).c_str(),
               joined(names).c_str());
    return 0;
}

int cmd_rmstream(const args_t &a) {
    orb_selector ss;
    pvob_h h;
    if (!parse_sel(a.ops[0], "stream", "", &ss) || !open_pvob(ss.vob, &h))
        return 1;
    vob_oid s = 0;
    orb_stream st;
    orb_project proj;
    if (orb_stream_find(h.v, ss.name, &s) != VOB_OK || orb_stream_get(h.v, s, &st) != VOB_OK)
        return vob_failed(h.v);
    // Said here with the way out; the project layer refuses it too.
    if (orb_project_get(h.v, st.project, &proj) == VOB_OK && proj.istream == s) {
        std::string text = obj_text(ss.name, h.tag), ptext = obj_text(proj.name, h.tag);
        IMSG_PRINT(IMSG_ERROR, cat(), VT_RM_DEFAULT, text.c_str(), proj.name.c_str(), ptext.c_str());
        return 1;
    }
    if (orb_stream_remove(h.v, s) != VOB_OK)
        return vob_failed(h.v);
    IMSG_PRINT(IMSG_NOTICE, cat(), VT_REMOVED_STREAM, obj_text(ss.name, h.tag).c_str());
    return 0;
}

// ---- Listing --------------------------------------------------------------------------------

namespace {

int show_project(vob_t *pvob, const std::string &tag, vob_oid oid, bool lng, std::string *out) {
    orb_project p;
    std::vector<orb_stream> streams;
    if (orb_project_get(pvob, oid, &p) != VOB_OK || orb_stream_list(pvob, oid, &streams) != VOB_OK)
        return vob_failed(pvob);
    std::vector<std::string> mods, kinds;
    for (vob_oid c : p.mod_comps) {
        std::string root, name = name_of_component(pvob, c, &root);
        mods.push_back(lng ? name + " (" + root + ")" : name);
    }
    std::string istream = p.istream ? name_of_stream(pvob, p.istream) : "(none)";
    if (!lng) {
        *out += obj_text(p.name, tag) + "  \"" + p.title + "\"  modifiable: " + joined(mods) +
                "  integration stream: " + istream + "\n";
        return 0;
    }
    for (const orb_stream &s : streams)
        kinds.push_back(s.name + " (" + orb_stream_kind_name(s.kind) + ")");
    heading(out, "project", p.name, tag);
    field(out, "title", p.title);
    field(out, "modifiable components", joined(mods));
    field(out, "default integration stream", istream);
    field(out, "streams", joined(kinds));
    *out += event_lines(p.ev);
    return 0;
}

int show_component(vob_t *pvob, const std::string &tag, vob_oid oid, bool lng, std::string *out) {
    orb_component c;
    std::vector<orb_baseline> bls;
    if (orb_component_get(pvob, oid, &c) != VOB_OK || orb_baseline_list(pvob, oid, &bls) != VOB_OK)
        return vob_failed(pvob);
    std::string initial = name_of_baseline(pvob, c.initial);
    if (!lng) {
        *out += obj_text(c.name, tag) + "  root " + orb_component_root(c) + "  initial baseline " + initial +
                "\n";
        return 0;
    }
    std::vector<std::string> names;
    for (const orb_baseline &b : bls)
        names.push_back(b.name);
    heading(out, "component", c.name, tag);
    field(out, "root", orb_component_root(c) + " (VOB " + c.vob_tag + ")");
    field(out, "initial baseline", initial);
    field(out, "baselines", joined(names));
    *out += event_lines(c.ev);
    return 0;
}

// What a baseline selects: its label, or the empty tree of the initial one.
std::string selects(const orb_baseline &b, const orb_component &c) {
    if (b.kind == ORB_BL_INITIAL)
        return "/main/0 of " + orb_component_root(c) + " (the empty tree)";
    return "label " + b.lbtype + " of " + c.vob_tag;
}

int show_baseline(vob_t *pvob, const std::string &tag, vob_oid oid, bool lng, std::string *out) {
    orb_baseline b;
    orb_component c;
    if (orb_baseline_get(pvob, oid, &b) != VOB_OK || orb_component_get(pvob, b.comp, &c) != VOB_OK)
        return vob_failed(pvob);
    if (!lng) {
        *out += obj_text(b.name, tag) + "  component " + c.name + "  " + orb_bl_kind_name(b.kind) + "  " +
                selects(b, c) + "\n";
        return 0;
    }
    heading(out, "baseline", b.name, tag);
    field(out, "component", c.name + " (" + orb_component_root(c) + ")");
    field(out, "kind", orb_bl_kind_name(b.kind));
    field(out, "selects", selects(b, c));
    *out += event_lines(b.ev);
    return 0;
}

int show_stream(vob_t *pvob, const std::string &tag, vob_oid oid, bool lng, std::string *out) {
    orb_stream s;
    orb_project p;
    std::vector<std::string> conflicts;
    if (orb_stream_get(pvob, oid, &s) != VOB_OK || orb_project_get(pvob, s.project, &p) != VOB_OK ||
        orb_foundation_conflicts(pvob, s.foundation, &conflicts) != VOB_OK)
        return vob_failed(pvob);
    std::string kind = orb_stream_kind_name(s.kind);
    if (p.istream == oid)
        kind += " (the project's default integration stream)";
    if (!lng) {
        *out += obj_text(s.name, tag) + "  " + orb_stream_kind_name(s.kind) + "  project " + p.name +
                (p.istream == oid ? " (default)" : "") +
                "  foundation: " + joined(baseline_names(pvob, s.foundation)) + "\n";
        return 0;
    }
    heading(out, "stream", s.name, tag);
    field(out, "project", p.name);
    field(out, "kind", kind);
    *out += s.foundation.empty() ? "  foundation: (none)\n" : "  foundation:\n";
    for (size_t i = 0; i < s.foundation.size(); i++) {
        orb_baseline b;
        orb_component c;
        if (orb_baseline_get(pvob, s.foundation[i], &b) != VOB_OK ||
            orb_component_get(pvob, b.comp, &c) != VOB_OK)
            return vob_failed(pvob);
        *out += "    " + c.name + ": " + b.name + ", " + selects(b, c) + "\n";
        if (!conflicts[i].empty())
            *out += "      conflict: " + conflicts[i] + "\n";
    }
    *out += event_lines(s.ev);
    return 0;
}

using all_fn = int (*)(vob_t *pvob, vob_oid filter, std::vector<vob_oid> *out);
using show_fn = int (*)(vob_t *pvob, const std::string &tag, vob_oid oid, bool lng, std::string *out);

template <class T> std::vector<vob_oid> oids(const std::vector<T> &objs) {
    std::vector<vob_oid> out;
    for (const T &o : objs)
        out.push_back(o.oid);
    return out;
}

int all_projects(vob_t *pvob, vob_oid, std::vector<vob_oid> *out) {
    std::vector<orb_project> v;
    int rc = orb_project_list(pvob, &v);
    *out = oids(v);
    return rc;
}
int all_components(vob_t *pvob, vob_oid, std::vector<vob_oid> *out) {
    std::vector<orb_component> v;
    int rc = orb_component_list(pvob, &v);
    *out = oids(v);
    return rc;
}
int all_baselines(vob_t *pvob, vob_oid comp, std::vector<vob_oid> *out) {
    std::vector<orb_baseline> v;
    int rc = orb_baseline_list(pvob, comp, &v);
    *out = oids(v);
    return rc;
}
int all_streams(vob_t *pvob, vob_oid project, std::vector<vob_oid> *out) {
    std::vector<orb_stream> v;
    int rc = orb_stream_list(pvob, project, &v);
    *out = oids(v);
    return rc;
}

// The registered project VOBs, by tag.
bool project_vobs(std::vector<std::string> *tags) {
    std::vector<rgy_vob> vobs;
    std::string err;
    if (rgy_vob_list("", &vobs, &err) != VOB_OK) {
        fail_text(err);
        return false;
    }
    for (const rgy_vob &v : vobs)
        if (v.project)
            tags->push_back(v.tag);
    return true;
}

// The listing of one kind: the object the operand names, else every one of
// -pvob's VOB, of the filter's (-comp, -project) or of every registered
// project VOB. A VOB that cannot be read is reported and the others listed.
int listing(const args_t &a, const char *kind, const char *filter_opt, const char *filter_kind, all_fn all,
            show_fn show) {
    std::string filter = filter_opt ? a.opt(filter_opt) : "";
    if (!filter.empty() && !a.ops.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_ONE_OR_FILTER, a.cmd, filter_opt);
        return 1;
    }
    std::string def = norm_tag(a.opt("pvob"));
    if (def.empty())
        def = vob_part(filter);
    // A filter names its project VOB, or -pvob does.
    orb_selector fsel;
    if (!filter.empty() && !parse_sel(filter, filter_kind, def, &fsel))
        return 1;
    orb_selector one;
    std::vector<std::string> tags;
    if (!a.ops.empty()) {
        if (!parse_sel(a.ops[0], kind, def, &one))
            return 1;
        tags.push_back(one.vob);
    } else if (!def.empty()) {
        tags.push_back(def);
    } else if (!project_vobs(&tags)) {
        return 1;
    }
    int rc = 0;
    std::string text;
    for (const std::string &tag : tags) {
        pvob_h h;
        std::vector<vob_oid> objs;
        vob_oid f = 0, o = 0;
        orb_selector fs;
        if (!open_pvob(tag, &h) ||
            (!filter.empty() && !lookup(a, h, filter, filter_kind, "the listing", &fs, &f))) {
            rc = 1;
            continue;
        }
        int r = a.ops.empty() ? all(h.v, f, &objs) : find_obj(h.v, kind, one.name, &o);
        if (r != VOB_OK) {
            rc = vob_failed(h.v);
            continue;
        }
        if (!a.ops.empty())
            objs.push_back(o);
        for (vob_oid x : objs)
            if (show(h.v, tag, x, a.has("long"), &text) != 0)
                rc = 1;
    }
    print(text);
    return rc;
}

}   // namespace

int cmd_lsproject(const args_t &a) {
    return listing(a, "project", nullptr, nullptr, all_projects, show_project);
}
int cmd_lscomp(const args_t &a) {
    return listing(a, "component", nullptr, nullptr, all_components, show_component);
}
int cmd_lsbl(const args_t &a) {
    return listing(a, "baseline", "comp", "component", all_baselines, show_baseline);
}
int cmd_lsstream(const args_t &a) {
    return listing(a, "stream", "project", "project", all_streams, show_stream);
}

// ---- Views of streams -----------------------------------------------------------------------

int stream_view_config(const std::string &selector, stream_view *out, std::string *err) {
    orb_selector ss;
    if (orb_parse_selector(selector, "stream", "", &ss, err) != VOB_OK)
        return VOB_ERR;
    vob_t *pvob = nullptr;
    if (vob_open_tag(ss.vob, &pvob, err) != VOB_OK)
        return VOB_ERR;
    vob_oid s = 0;
    int rc = orb_stream_find(pvob, ss.name, &s);
    if (rc == VOB_OK)
        rc = orb_stream_config(pvob, s, &out->config_spec, &out->scope);
    if (rc != VOB_OK)
        *err = vob_errmsg(pvob);
    vob_close(pvob);
    out->name = ss.name;
    out->selector = orb_selector_text("stream", ss.name, ss.vob);
    return rc;
}
