// Components: a name and a root directory element of a registered VOB,
// made with the initial baseline. No two roots in one VOB lie at, above or
// below each other (the VOB is known by its uuid, whatever its tag).
#include "platform/orbis/orb_int.h"

#include "platform/store/vob_msg.h"

// The root path as the component keeps it: "" for the VOB root, else the
// names below it joined by "/". A name a config spec cannot hold ('"', a
// control byte) is refused here, so that every root stands in a view's
// config spec.
static int canonical_root_path(vob_t *pvob, const std::string &in, std::string *out) {
    auto bad = [&](const char *why) {
        return vob_fail(pvob, VOB_ERR, ORB_MSG(ORB_ROOT_PATH, vob_get_tag(pvob).c_str(), in.c_str(), why));
    };
    for (unsigned char c : in)
        if (c < 0x20 || c == 0x7f || c == '"')
            return bad("a config spec cannot name a path holding '\"' or a control character");
    if (in.find("@@") != std::string::npos)
        return bad("a component root is an element, not a version");
    std::string path;
    size_t at = 0;
    while (at <= in.size()) {
        size_t slash = in.find('/', at);
        std::string name = in.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (name == "." || name == "..")
            return bad("\".\" and \"..\" are not names below a VOB root");
        if (!name.empty())
            path += (path.empty() ? "" : "/") + name;
        if (slash == std::string::npos)
            break;
        at = slash + 1;
    }
    *out = path;
    return VOB_OK;
}

// The directory element at path through /main/LATEST.
static int find_root(vob_t *pvob, vob_t *cv, const std::string &view_path, const std::string &path,
                     vob_oid *elem) {
    vob_rule latest;
    latest.kind = vob_rule::LATEST;
    latest.arg = "/main";
    std::vector<vob_rule> rules{latest};
    vob_oid ver = 0;
    int mtype = 0;
    int rc = vob_resolve_path(cv, path, &rules, "", elem, &ver);
    if (rc == VOB_OK)
        rc = vob_obj_get_mtype(cv, *elem, &mtype);
    if (rc != VOB_OK)
        return orb_pass(pvob, cv, rc);
    if (mtype != VOB_MT_DIR_ELEM)
        return vob_fail(pvob, VOB_ERR,
                        ORB_MSG(ORB_ROOT_NOT_DIR, vob_get_tag(pvob).c_str(), view_path.c_str()));
    return VOB_OK;
}

// a lies below b (b "" is the VOB root, above every other path).
static bool lies_below(const std::string &a, const std::string &b) {
    if (b.empty())
        return !a.empty();
    return a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == '/';
}

// No root of another component of the same VOB at, above or below this one.
static int check_overlap(vob_t *pvob, const orb_component &c) {
    std::vector<orb_component> all;
    int rc = orb_component_list(pvob, &all);
    if (rc != VOB_OK)
        return rc;
    for (const orb_component &o : all) {
        if (o.vob_uuid != c.vob_uuid)
            continue;
        const char *how = o.root_elem == c.root_elem || o.root_path == c.root_path ? "at"
                          : lies_below(c.root_path, o.root_path)                   ? "inside"
                          : lies_below(o.root_path, c.root_path)                   ? "above"
                                                                                   : nullptr;
        if (how)
            return vob_fail(
                pvob, VOB_ERR,
                ORB_MSG(ORB_ROOT_OVERLAP, vob_get_tag(pvob).c_str(), orb_component_root(c).c_str(), how,
                        orb_component_root(o).c_str(), o.name.c_str()));
    }
    return VOB_OK;
}

// "<name>_INITIAL", else the first free "<name>_INITIAL.N".
static int free_initial_name(vob_t *pvob, const std::string &name, std::string *out) {
    std::string base = name + "_INITIAL", cand = base;
    for (int n = 1;; n++) {
        vob_oid have = 0;
        int rc = vob_record_find(pvob, VOB_MT_BASELINE, cand, &have);
        if (rc == VOB_NOT_FOUND)
            break;
        if (rc != VOB_OK)
            return rc;
        cand = base + "." + std::to_string(n);
    }
    *out = cand;
    return orb_check_name(pvob, cand, "baseline");
}

static int create(vob_t *pvob, bool &wrote, orb_component *c, const vob_event *ev) {
    vob_oid have = 0;
    int rc = vob_record_find(pvob, VOB_MT_COMPONENT, c->name, &have);
    if (rc == VOB_OK)
        return vob_fail(pvob, VOB_EXISTS,
                        VOB_MSG(VM_TYPE_EXISTS, vob_get_tag(pvob).c_str(), "component", c->name.c_str()));
    if (rc != VOB_NOT_FOUND)
        return rc;
    {
        orb_vob cv;
        if ((rc = orb_open_vob(pvob, c->vob_tag, &cv)) != VOB_OK)
            return rc;
        c->vob_uuid = vob_get_uuid(cv.v);
        if ((rc = find_root(pvob, cv.v, orb_component_root(*c), c->root_path, &c->root_elem)) != VOB_OK)
            return rc;
    }
    std::string initial_name;
    if ((rc = check_overlap(pvob, *c)) != VOB_OK ||
        (rc = free_initial_name(pvob, c->name, &initial_name)) != VOB_OK)
        return rc;
    wrote = true;
    if ((rc = orb_make_record(pvob, VOB_MT_COMPONENT, c->name, orb_component_body(*c, ""), ev, &c->oid)) !=
        VOB_OK)
        return rc;
    orb_baseline b;
    b.name = initial_name;
    b.comp = c->oid;
    b.comp_name = c->name;
    b.kind = ORB_BL_INITIAL;
    if ((rc = orb_make_record(pvob, VOB_MT_BASELINE, b.name, orb_baseline_body(b), ev, &c->initial)) !=
        VOB_OK)
        return rc;
    return orb_set_body(pvob, c->oid, orb_component_body(*c, initial_name));
}

int orb_component_create(vob_t *pvob, const std::string &name, const std::string &root_tag,
                         const std::string &root_path, const vob_event *ev, vob_oid *out) {
    orb_component c;
    c.name = name;
    c.vob_tag = root_tag.empty() || root_tag[0] == '/' ? root_tag : "/" + root_tag;   // as selectors take it
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = orb_check_name(pvob, name, "component");
    if (rc == VOB_OK)
        rc = canonical_root_path(pvob, root_path, &c.root_path);
    if (rc == VOB_OK)
        rc = orb_write(pvob, [&](bool &wrote) -> int { return create(pvob, wrote, &c, ev); });
    if (rc == VOB_OK && out)
        *out = c.oid;
    return rc;
}

int orb_component_find(vob_t *pvob, const std::string &name, vob_oid *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? vob_record_find(pvob, VOB_MT_COMPONENT, name, out) : rc;
}

int orb_component_get(vob_t *pvob, vob_oid comp, orb_component *out) {
    int rc = orb_check_pvob(pvob);
    return rc == VOB_OK ? orb_load(pvob, comp, out) : rc;
}

int orb_component_list(vob_t *pvob, std::vector<orb_component> *out) {
    std::vector<vob_record> recs;
    int rc = orb_check_pvob(pvob);
    if (rc == VOB_OK)
        rc = vob_record_list(pvob, VOB_MT_COMPONENT, &recs);
    std::vector<orb_component> all(recs.size());
    for (size_t i = 0; rc == VOB_OK && i < recs.size(); i++)
        rc = orb_load(pvob, recs[i].oid, &all[i]);
    if (rc == VOB_OK)
        *out = std::move(all);
    return rc;
}

std::string orb_component_root(const orb_component &c) {
    return c.root_path.empty() ? c.vob_tag : c.vob_tag + "/" + c.root_path;
}
