// Where each version of an element record goes: its branch (made where
// missing), its number, whether an earlier import made it already, and the
// branches its SubBranch lines list.
#include "platform/import/imp_elem.h"
#include "runtime/strutl.h"

std::string imp_origin_value(const imp_version &v) {
    return std::to_string(v.event.time) + " " + v.version_id;
}

namespace {

// A SubBranch value names a branch type, or the branch's path below /main
// ("dev/fix"), whose last component is the type.
std::string sub_type(const std::string &s) {
    std::vector<std::string> parts = imp_split_path(s);
    return parts.empty() ? s : parts.back();
}

// The branch at base_path followed by comps, made where missing. The first
// missing branch sprouts from `first_from` when it is given; otherwise a branch
// sprouts from the version whose SubBranch named it when that version is on
// the parent branch, else from version 0 of the parent branch.
int ensure_branch(imp_elem_ctx *c, const std::string &base_path, const std::vector<std::string> &comps,
                  vob_oid first_from, const vob_event &ev, vob_oid *out) {
    std::string path = base_path;
    vob_oid cur = 0;
    if (auto hit = c->branches.find(path); hit != c->branches.end())
        cur = hit->second;
    else if (vob_branch_find(c->vob, c->elem, path, &cur))
        return imp_el_store_fail(c, "no branch " + path);
    c->branches[path] = cur;
    for (const std::string &name : comps) {
        std::string next = path + "/" + name;
        vob_oid br = 0;
        auto hit = c->branches.find(next);
        int rc =
            hit != c->branches.end() ? (br = hit->second, 0) : vob_branch_find(c->vob, c->elem, next, &br);
        if (rc && rc != VOB_NOT_FOUND)
            return imp_el_store_fail(c, "cannot look up branch " + next);
        if (rc == VOB_NOT_FOUND) {
            vob_oid from = first_from;
            first_from = 0;
            if (!from) {
                auto hint = c->sprout.find(name);
                vob_ver_info vi;
                if (hint != c->sprout.end() && vob_ver_get(c->vob, hint->second, &vi) == 0 &&
                    vi.branch == cur)
                    from = hint->second;
                else if (vob_ver_find(c->vob, c->elem, path + "/0", &from))
                    return imp_el_store_fail(c, "no version " + path + "/0");
            }
            vob_oid brtype;
            if (imp_el_find_type(c, VOB_MT_BRTYPE, name, &brtype))
                return 1;
            if (imp_el_unlock(c, cur) || imp_el_unlock(c, c->elem))
                return 1;
            if (vob_branch_create(c->vob, from, brtype, &ev, &br))
                return imp_el_store_fail(c, "cannot make branch " + next);
            c->made_branches.insert(br);
        } else {
            first_from = 0;
        }
        c->branches[next] = br;
        cur = br;
        path = next;
    }
    *out = cur;
    return 0;
}

// The branch path a version goes to and, for AbsVersion, its number.
int version_place(imp_elem_ctx *c, const imp_version &v, std::string *bpath, std::vector<std::string> *comps,
                  int64_t *num) {
    *num = -1;
    comps->clear();
    if (v.abs_version) {
        std::vector<std::string> parts = imp_split_path(v.version_id);
        long n = 0;
        if (parts.size() < 2 || parts[0] != "main" || v.version_id[0] != '/' ||
            !strutl_strtol(parts.back().c_str(), 10, &n) || n < 0)
            return imp_el_fail(
                c, "version " + v.version_id + ": an absolute version id must look like /main/.../N");
        *num = n;
        comps->assign(parts.begin() + 1, parts.end() - 1);
        *bpath = "/main";
        for (const std::string &p : *comps)
            *bpath += "/" + p;
        return 0;
    }
    std::vector<std::string> below = imp_split_path(v.on_branch.value_or(""));
    *bpath = c->run->onto.empty() ? "/main" : c->onto_base;
    for (const std::string &p : c->run->onto)
        comps->push_back(p);
    comps->insert(comps->end(), below.begin(), below.end());
    for (const std::string &p : *comps)
        *bpath += "/" + p;
    return 0;
}

// Notes the branches a version lists as sprouting from it (SubBranch).
int add_sprouts(imp_elem_ctx *c, const imp_version &v, vob_oid ver, const std::string &bpath,
                const vob_event &ev) {
    for (const std::string &s : v.subbranches) {
        std::string name = sub_type(s);
        if (s.find('/') != std::string::npos && "/main/" + s != bpath + "/" + name)
            return imp_el_fail(c, "version " + v.version_id + " lists branch " + s +
                                      ", which does not sprout from its branch");
        c->sprout[name] = ver;
        c->sprouts.push_back({ver, bpath, name, ev});
    }
    return 0;
}

// An AbsVersion record names its version, so no origin attribute marks it:
// it is present when its branch has that number with the record's time
// (with -setevent the times are the import's own, so the number alone).
// Version 0 takes the event of what made its branch, which may not be the
// record's, so it is present whenever it exists; version 0 of a branch this
// transaction made is the record's new version.
int abs_present(imp_elem_ctx *c, const imp_version &v, const std::string &bpath, int64_t num, vob_oid *have) {
    *have = 0;
    vob_oid br = 0;
    auto hit = c->branches.find(bpath);
    int rc = hit != c->branches.end() ? (br = hit->second, 0) : vob_branch_find(c->vob, c->elem, bpath, &br);
    if (rc == VOB_NOT_FOUND)
        return 0;
    if (rc)
        return imp_el_store_fail(c, "cannot look up branch " + bpath);
    if (num == 0 && c->made_branches.count(br))
        return 0;
    vob_oid ver = 0;
    rc = vob_ver_find(c->vob, c->elem, bpath + "/" + std::to_string(num), &ver);
    if (rc == VOB_NOT_FOUND)
        return 0;
    vob_event ev;
    if (rc || vob_obj_get_event(c->vob, ver, &ev))
        return imp_el_store_fail(c, "cannot read version " + v.version_id);
    if (num > 0 && !c->run->p->setevent && ev.time != v.event.time)
        return imp_el_fail(c, "version " + v.version_id + " exists with another time (" +
                                  std::to_string(ev.time) + ", the data file has " +
                                  std::to_string(v.event.time) + ")");
    *have = ver;
    return 0;
}

}   // namespace

int imp_el_import_versions(imp_elem_ctx *c) {
    imp_run *run = c->run;
    const imp_element &el = *c->el;
    const char *default_comment = run->p->comment;
    for (size_t i = 0; i < el.versions.size(); ++i) {
        const imp_version &v = el.versions[i];
        std::string bpath;
        std::vector<std::string> comps;
        int64_t num;
        if (version_place(c, v, &bpath, &comps, &num))
            return 1;
        vob_oid have = 0;
        if (v.abs_version) {
            if (abs_present(c, v, bpath, num, &have))
                return 1;
        } else if (auto o = c->origins.find(bpath + "\n" + imp_origin_value(v)); o != c->origins.end()) {
            have = o->second;
        }
        if (have) {
            vob_ver_info vi;
            if (vob_ver_get(c->vob, have, &vi))
                return imp_el_store_fail(c, "cannot read version");
            c->by_vid[v.version_id] = have;
            c->last_on[bpath] = have;
            vob_event pev = imp_make_event(run, v.event, v.comment);
            if (add_sprouts(c, v, have, bpath, pev))
                return 1;
            // The record states the version as the source has it now: labels
            // added or moved, attributes and merges added since are brought over.
            imp_str_list attrs;
            if (imp_texts_for_present(c->vob, have, v.event, v.comment, v.attributes, &attrs))
                return imp_el_store_fail(c, "cannot read the event of " + vi.id);
            if (attrs.size() != v.attributes.size()) {
                imp_version held = v;
                held.attributes = std::move(attrs);
                if (imp_el_attach_record(c, held, have, vi.id, pev, true))
                    return 1;
            } else if (imp_el_attach_record(c, v, have, vi.id, pev, true)) {
                return 1;
            }
            c->events.push_back({v.version_id, vi.branch, 0, 0});
            c->n_present++;
            imp_el_drop_fetch(run, &c->q->fetches[i]);   // fetched in vain
            continue;
        }
        // An absolute version is stated as it is: no comment means none.
        imp_opt_str comment = v.comment;
        if (!comment && default_comment && !v.abs_version)
            comment = std::string(default_comment);
        vob_event ev = imp_make_event(run, v.event, comment);
        vob_oid branch = 0;
        bool onto_first = !v.abs_version && !run->onto.empty();
        if (onto_first) {
            // The import branch hangs below the branch of the version it sprouts from.
            std::vector<std::string> rest(comps.begin() + long(run->onto.size()), comps.end());
            std::vector<std::string> onto = run->onto;
            vob_oid onto_br;
            if (ensure_branch(c, c->onto_base, onto, c->onto_from, ev, &onto_br))
                return 1;
            std::string onto_path = c->onto_base;
            for (const std::string &p : onto)
                onto_path += "/" + p;
            if (ensure_branch(c, onto_path, rest, 0, ev, &branch))
                return 1;
        } else if (ensure_branch(c, "/main", comps, 0, ev, &branch)) {
            return 1;
        }
        imp_contents contents;
        if (imp_el_get_contents(c, i, &contents))
            return 1;

        vob_oid target = 0;
        if (!run->p->identical && !v.abs_version && !contents.none()) {
            // The predecessor is where the previous record of this branch went,
            // else the branch's latest version.
            vob_oid latest = 0;
            vob_ver_info li;
            if (auto prev = c->last_on.find(bpath); prev != c->last_on.end())
                latest = prev->second;
            else if (vob_branch_get_latest(c->vob, branch, &latest))
                return imp_el_store_fail(c, "cannot read the latest version of " + bpath);
            int64_t size = contents.size();
            auto known = c->sizes.find(latest);
            if (known != c->sizes.end() && known->second != size)
                latest = 0;   // made here with another size: cannot be equal
            if (latest && vob_ver_get(c->vob, latest, &li))
                return imp_el_store_fail(c, "cannot read the latest version of " + bpath);
            if (latest && li.num > 0 && li.has_data && li.size == size && li.sha256 == contents.sha256()) {
                target = latest;
                c->n_identical++;
                c->events.push_back({v.version_id, branch, 1, 0});
            }
        }
        if (!target) {
            if (imp_el_unlock(c, branch) || imp_el_unlock(c, c->elem))
                return 1;
            if (num == 0) {
                if (vob_ver_find(c->vob, c->elem, bpath + "/0", &target))
                    return imp_el_store_fail(c, "no version " + bpath + "/0");
            } else {
                vob_data data = contents.data();
                int rc = vob_ver_create(c->vob, branch, data, &ev, &target, num);
                if (rc == VOB_EXISTS && v.abs_version) {
                    // Not present (abs_present looked), yet below the branch's
                    // numbers: an earlier import skipped it.
                    c->gap = true;
                    return imp_el_store_fail(c, "version " + v.version_id + " is missing from branch " +
                                                    bpath +
                                                    ", which already has higher numbers: an earlier import "
                                                    "of a partial export (-s, -p or -I) left a gap there");
                }
                if (rc)
                    return imp_el_store_fail(c, "cannot create version " + v.version_id + " on " + bpath);
                c->sizes[target] = contents.none() ? 0 : contents.size();
                c->bytes += c->sizes[target];
            }
            if (!v.abs_version &&
                vob_obj_set_attr(c->vob, target, run->origin_attype, imp_origin_value(v), &ev))
                return imp_el_store_fail(c, "cannot record the origin of version " + v.version_id);
            c->n_new++;
            c->events.push_back({v.version_id, branch, 0, 1});
        }
        vob_ver_info ti;
        bool named = !v.labels.empty() || !v.merges.empty() || !v.fmerges.empty() ||
                     (run->head.globals.label_all && !run->head.globals.label_all->empty());
        if (named && vob_ver_get(c->vob, target, &ti))
            return imp_el_store_fail(c, "cannot read version");
        c->by_vid[v.version_id] = target;
        c->last_on[bpath] = target;
        if (add_sprouts(c, v, target, bpath, ev))
            return 1;
        if (imp_el_attach_record(c, v, target, ti.id, ev, false))
            return 1;
    }
    return 0;
}

// Branches that versions list as starting from them but that received no
// version: a branch made and never worked on is still part of the history
// (a view of it shows the branch point's contents).
int imp_el_make_empty_branches(imp_elem_ctx *c) {
    for (const imp_pending_sprout &s : c->sprouts) {
        std::string path = s.bpath + "/" + s.name;
        if (c->branches.count(path))
            continue;
        vob_oid br = 0;
        int rc = vob_branch_find(c->vob, c->elem, path, &br);
        if (rc == 0) {
            c->branches[path] = br;
            continue;
        }
        if (rc != VOB_NOT_FOUND)
            return imp_el_store_fail(c, "cannot look up branch " + path);
        vob_oid brtype, parent;
        if (imp_el_find_type(c, VOB_MT_BRTYPE, s.name, &brtype))
            return 1;
        if (vob_branch_find(c->vob, c->elem, s.bpath, &parent))
            return imp_el_store_fail(c, "no branch " + s.bpath);
        if (imp_el_unlock(c, parent) || imp_el_unlock(c, c->elem))
            return 1;
        if (vob_branch_create(c->vob, s.ver, brtype, &s.ev, &br))
            return imp_el_store_fail(c, "cannot make branch " + path);
        c->made_branches.insert(br);
        c->branches[path] = br;
    }
    return 0;
}
