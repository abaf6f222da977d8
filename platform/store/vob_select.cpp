// Selection of versions by config-spec rules and resolution of paths below a
// VOB root. Reads only, through the getters. A rule's pattern is compared
// with the view path its caller gives: no query, and nothing at all for
// rules of "*".
#include "platform/store/vob_int.h"

#include "runtime/strutl.h"

#include <algorithm>

int vob_rules_by_path(const std::vector<vob_rule> &rules) {
    return std::any_of(rules.begin(), rules.end(), [](const vob_rule &r) { return !r.path.empty(); });
}

// Whether the rule's pattern holds for an element at view path vp (null:
// not known, which only "*" holds for). Whole components: "/a/..." holds
// for "/a" and "/a/b", not "/ab".
static bool pattern_holds(const vob_rule &r, const std::string *vp) {
    if (r.path.empty())
        return true;
    if (!vp || vp->size() < r.path.size() || vp->compare(0, r.path.size(), r.path) != 0)
        return false;
    return vp->size() == r.path.size() || (r.below && (*vp)[r.path.size()] == '/');
}

int vob_select_version(vob_t *v, vob_oid elem, const std::vector<vob_rule> &rules,
                       const std::string &view_tag, vob_oid *ver, int *checkedout, int elem_mtype,
                       const std::string *view_path) {
    std::string keep = v->err;
    for (const vob_rule &r : rules) {
        if (!pattern_holds(r, view_path))
            continue;
        if (r.only && !elem_mtype) {
            int rc = vob_obj_get_mtype(v, elem, &elem_mtype);
            if (rc != VOB_OK)
                return rc;
        }
        if (r.only && r.only != elem_mtype)
            continue;
        int rc = VOB_NOT_FOUND;
        vob_oid got = 0;
        switch (r.kind) {
            case vob_rule::CHECKEDOUT:
                if (!view_tag.empty()) {
                    vob_oid ck;
                    rc = vob_elem_find_ckout(v, elem, view_tag, &ck);
                    if (rc == VOB_OK) {
                        vob_ckout c;
                        rc = vob_ckout_get(v, ck, &c);
                        got = c.ver;
                        if (rc == VOB_OK) {
                            *ver = got;
                            if (checkedout)
                                *checkedout = 1;
                            return VOB_OK;
                        }
                    }
                }
                break;
            case vob_rule::LATEST: {
                vob_oid br;
                rc = vob_branch_find(v, elem, r.arg, &br);
                if (rc == VOB_OK)
                    rc = vob_latest_num(v, br, &got, nullptr);
                break;
            }
            case vob_rule::VERSION:
                rc = vob_ver_find(v, elem, r.arg, &got);
                break;
            case vob_rule::LABEL: {
                vob_oid lt;
                rc = vob_type_find(v, VOB_MT_LBTYPE, r.arg, &lt);
                if (rc == VOB_OK)
                    rc = vob_elem_find_label(v, elem, lt, &got);
                break;
            }
        }
        if (rc == VOB_OK) {
            *ver = got;
            if (checkedout)
                *checkedout = 0;
            v->err = keep;
            return VOB_OK;
        }
        if (rc != VOB_NOT_FOUND)
            return rc;
    }
    std::string label;
    vob_elem_label(v, elem, &label);
    return vob_fail(v, VOB_NOT_FOUND,
                    VOB_MSG(VM_NO_VERSION, v->tag.c_str(), label.c_str(), "selected by the config spec"));
}

int vob_resolve_path(vob_t *v, const std::string &path, const std::vector<vob_rule> *rules,
                     const std::string &view_tag, vob_oid *elem_out, vob_oid *ver_out) {
    static const std::vector<vob_rule> main_latest = vob_default_rules();
    const std::vector<vob_rule> &rl = rules ? *rules : main_latest;
    std::string p = path, vid;
    int has_vid = vob_split_xpname(path, &p, &vid);
    std::vector<std::string> comps = strutl_split(p, '/', 1);
    for (const std::string &c : comps)
        if (c == "..")
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_BAD_NAME, v->tag.c_str(), "path", path.c_str()));
    vob_oid elem = v->wk[VOB_WK_ROOT_DIR], ver = 0;
    std::string sofar;
    // The view path grows with the walk; rules without paths need none.
    const bool by_path = vob_rules_by_path(rl);
    std::string vp = by_path ? v->tag : std::string();
    for (size_t k = 0;; k++) {
        int last = k == comps.size();
        int rc, mtype = 0;
        // A directory on the way must be one; the last element's kind is
        // looked up only when a rule asks for it.
        if (!last && (rc = vob_obj_get_mtype(v, elem, &mtype)) != VOB_OK)
            return rc;
        if (!last && mtype != VOB_MT_DIR_ELEM)
            return vob_fail(v, VOB_NOT_FOUND, VOB_MSG(VM_NOT_DIR, v->tag.c_str(), sofar.c_str()));
        if (last && has_vid)
            rc = vob_ver_find(v, elem, vid, &ver);
        else
            rc = vob_select_version(v, elem, rl, view_tag, &ver, nullptr, mtype, by_path ? &vp : nullptr);
        if (rc != VOB_OK)
            return rc;
        if (last)
            break;
        vob_oid child;
        rc = vob_dir_lookup(v, ver, comps[k], &child);
        if (rc == VOB_NOT_FOUND)
            return vob_fail(
                v, VOB_NOT_FOUND,
                VOB_MSG(VM_NO_NAME, v->tag.c_str(), comps[k].c_str(), sofar.empty() ? "/" : sofar.c_str()));
        if (rc != VOB_OK)
            return rc;
        sofar = sofar.empty() ? comps[k] : sofar + "/" + comps[k];
        if (by_path)
            vp += "/" + comps[k];
        elem = child;
    }
    *elem_out = elem;
    *ver_out = ver;
    return VOB_OK;
}
