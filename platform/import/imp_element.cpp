// Importing one element of the data file: the element, its branches and
// versions with their contents, labels, attributes and merges, its other names
// and locks, all in one transaction.
#include <sys/stat.h>

#include "platform/import/imp_elem.h"
#include "platform/import/imp_msgs.h"
#include "platform/view/pname.h"
#include "runtime/digest.h"
#include "runtime/strutl.h"

int imp_el_store_fail(imp_elem_ctx *c, const std::string &what) {
    c->err = what + ": " + vob_errmsg(c->vob);
    return 1;
}

int imp_el_fail(imp_elem_ctx *c, const std::string &what) {
    c->err = what;
    return 1;
}

namespace {

std::string origin_value(const imp_version &v) { return std::to_string(v.event.time) + " " + v.version_id; }

// A SubBranch value names a branch type, or the branch's path below /main
// ("dev/fix"), whose last component is the type.
std::string sub_type(const std::string &s) {
    std::vector<std::string> parts = imp_split_path(s);
    return parts.empty() ? s : parts.back();
}

std::string branch_of_vid(const std::string &vid) {
    size_t slash = vid.rfind('/');
    return slash == std::string::npos ? vid : vid.substr(0, slash);
}

const char *mtype_word(int mtype) {
    switch (mtype) {
        case VOB_MT_ELTYPE:
            return "element";
        case VOB_MT_BRTYPE:
            return "branch";
        case VOB_MT_LBTYPE:
            return "label";
        case VOB_MT_ATTYPE:
            return "attribute";
        default:
            return "object";
    }
}

}   // namespace

// The name of an attribute text "name=value"; 0 when it has no "=".
int imp_el_split_attr(const std::string &text, std::string *name, std::string *value) {
    size_t eq = text.find('=');
    if (eq == std::string::npos)
        return 0;
    *name = text.substr(0, eq);
    *value = text.substr(eq + 1);
    return 1;
}

int imp_el_find_type(imp_elem_ctx *c, int mtype, const std::string &name, vob_oid *out) {
    auto it = c->run->types.find({mtype, name});
    if (it == c->run->types.end())
        return imp_el_fail(c, std::string("no ") + mtype_word(mtype) + " type \"" + name + "\"");
    *out = it->second;
    return 0;
}

namespace {

// The child of a directory named `name` in the latest version of its main branch.
int lookup_child(vob_t *vob, vob_oid dir, const std::string &name, vob_oid *child, std::string *err) {
    *child = 0;
    vob_elem_info info;
    vob_oid latest = 0;
    if (vob_elem_get(vob, dir, &info) || vob_branch_get_latest(vob, info.main_branch, &latest)) {
        *err = vob_errmsg(vob);
        return 1;
    }
    int rc = vob_dir_lookup(vob, latest, name, child);
    if (rc == VOB_NOT_FOUND) {
        *child = 0;
        return 0;
    }
    if (rc) {
        *err = vob_errmsg(vob);
        return 1;
    }
    return 0;
}

int check_components(const std::vector<std::string> &comps, const std::string &path, std::string *err) {
    if (comps.empty() || path.empty() || path[0] == '/') {
        *err = "\"" + path + "\" is not a relative path name";
        return 1;
    }
    for (const std::string &p : comps)
        if (p == "." || p == "..") {
            *err = "\"" + path + "\" has a \".\" or \"..\" component";
            return 1;
        }
    return 0;
}

// Makes sure every type the element names exists, each in a transaction of
// its own, before the element's transaction begins.
int ensure_types(imp_elem_ctx *c) {
    imp_run *run = c->run;
    const imp_element &el = *c->el;
    std::vector<std::pair<int, std::string>> want;
    if (el.eltype)
        want.push_back({VOB_MT_ELTYPE, *el.eltype});
    std::string name, value;
    for (const std::string &a : el.attributes)
        if (imp_el_split_attr(a, &name, &value))
            want.push_back({VOB_MT_ATTYPE, name});
    if (run->head.globals.label_all && !run->head.globals.label_all->empty())
        want.push_back({VOB_MT_LBTYPE, *run->head.globals.label_all});
    for (const std::string &b : run->onto)
        want.push_back({VOB_MT_BRTYPE, b});
    for (const imp_version &v : el.versions) {
        for (const std::string &a : v.attributes)
            if (imp_el_split_attr(a, &name, &value))
                want.push_back({VOB_MT_ATTYPE, name});
        for (const std::string &l : v.labels)
            want.push_back({VOB_MT_LBTYPE, l});
        for (const std::string &s : v.subbranches)
            for (const std::string &p : imp_split_path(s))
                want.push_back({VOB_MT_BRTYPE, p});
        std::vector<std::string> comps = v.abs_version ? imp_split_path(branch_of_vid(v.version_id))
                                                       : imp_split_path(v.on_branch.value_or(""));
        for (size_t i = v.abs_version ? 1 : 0; i < comps.size(); ++i)
            want.push_back({VOB_MT_BRTYPE, comps[i]});
    }
    for (const auto &w : want) {
        vob_oid oid;
        std::string err;
        if (imp_ensure_type(run, w.first, w.second, &oid, &err))
            return imp_el_fail(c, err);
    }
    return 0;
}

}   // namespace

// Unlocks a locked element or branch for the time of the transaction.
int imp_el_unlock(imp_elem_ctx *c, vob_oid obj) {
    if (c->unlocked.count(obj))
        return 0;
    vob_lock lock;
    int rc = vob_obj_get_lock(c->vob, obj, &lock);
    if (rc == VOB_NOT_FOUND)
        return 0;
    if (rc || vob_obj_unlock(c->vob, obj))
        return imp_el_store_fail(c, "cannot unlock it to add versions");
    c->unlocked[obj] = lock.obsolete;
    return 0;
}

namespace {

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

int64_t file_size(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

}   // namespace

bool imp_contents::none() const { return path.empty() && !bytes; }
int64_t imp_contents::size() const { return bytes ? int64_t(bytes->size()) : file_size(path); }

std::string imp_contents::sha256() const {
    std::string hex;
    int64_t n;
    if (bytes ? digest_sha256_hex(*bytes, &hex) : digest_sha256_file(path, &hex, &n))
        return "";
    return hex;
}

vob_data imp_contents::data() const {
    return bytes ? vob_data_bytes(*bytes) : none() ? vob_data_none() : vob_data_file(path);
}

namespace {

// Waits for the batch of an element's revisions read from their archive.
int collect_batch(imp_run *run, imp_queued *q) {
    if (q->batch_ticket < 0)
        return 0;
    imp_fetch_result res;
    if (imp_pool_wait(&run->pool, q->batch_ticket, &res))
        return 1;
    q->batch_ticket = -1;
    run->queued_jobs -= q->batch->slots.size();
    for (const imp_rcs_slot &s : q->batch->slots)
        (s.in_process ? run->revs_in_process : run->revs_by_command)++;
    if (run->p->debug && !q->batch->why_commands.empty())
        IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_INPROCESS_NOT, q->el.name.c_str(),
                   q->batch->why_commands.c_str());
    return 0;
}

}   // namespace

// Where the contents of version i are: none for a version without contents.
int imp_el_get_contents(imp_elem_ctx *c, size_t i, imp_contents *out) {
    imp_run *run = c->run;
    const imp_version &v = c->el->versions[i];
    imp_fetch &f = c->q->fetches[i];
    *out = imp_contents();
    std::string *path = &out->path;
    if (!f.fill_error.empty())
        return imp_el_fail(c, "version " + v.version_id + ": " + f.fill_error);
    if (f.slot >= 0) {
        if (collect_batch(run, c->q)) {
            c->cancelled = true;
            return imp_el_fail(c, "the import was interrupted");
        }
        const imp_rcs_slot &s = c->q->batch->slots[size_t(f.slot)];
        if (run->p->debug && !s.in_process)
            IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_RUNNING, s.job.command.c_str());
        if (s.status)
            return imp_el_fail(c, "version " + v.version_id + ": " + s.message);
        if (s.in_file)
            *path = s.job.out_path;
        else
            out->bytes = &s.bytes;
        return 0;
    }
    if (v.extract_cmd) {
        imp_fetch_result res;
        if (run->p->debug)
            IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_RUNNING, f.job.command.c_str());
        // A command not fetched ahead (its version seemed present) runs now,
        // through the pool too, so that a stop request ends it.
        if (f.ticket < 0) {
            f.ticket = imp_pool_submit(&run->pool, f.job);
            run->queued_jobs++;
        }
        int cancelled = imp_pool_wait(&run->pool, f.ticket, &res);
        f.ticket = -1;
        run->queued_jobs--;
        if (cancelled) {
            c->cancelled = true;
            return imp_el_fail(c, "the import was interrupted");
        }
        if (res.status)
            return imp_el_fail(c, "version " + v.version_id + ": " + res.message);
        *path = f.job.out_path;
        return 0;
    }
    if (!v.extract_file)
        return 0;
    const std::string &xf = *v.extract_file;
    std::string file, vid;
    if (vob_split_xpname(xf, &file, &vid)) {
        if (!file.empty() && file[0] != '/')
            file = run->from_dir + "/" + file;
        vob_pname pn;
        std::string err;
        if (vob_resolve_pname(file + "@@" + vid, &pn, &err))
            return imp_el_fail(c, "version " + v.version_id + ": cannot read " + xf + ": " + err);
        int rc = vob_ver_get_data_pname(pn.vob, pn.ver, path);
        if (rc == VOB_NOT_FOUND) {
            path->clear();
            return 0;
        }
        if (rc)
            return imp_el_fail(c, "version " + v.version_id + ": cannot read " + xf + ": " + vob_errmsg(pn.vob));
        return 0;
    }
    *path = !xf.empty() && xf[0] == '/' ? xf : run->from_dir + "/" + xf;
    struct stat st;
    if (stat(path->c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return imp_el_fail(
            c, "version " + v.version_id + ": the extract file \"" + *path + "\" is not a readable file");
    return 0;
}

// Labels (and LabelAll) of a data-file version, attached to version `ver`.
int imp_el_attach_labels(imp_elem_ctx *c, const imp_version &v, vob_oid ver, const std::string &ver_id,
                  const vob_event &ev) {
    std::vector<std::string> labels = v.labels;
    const imp_opt_str &all = c->run->head.globals.label_all;
    if (all && !all->empty())
        labels.push_back(*all);
    for (size_t i = 0; i < labels.size(); ++i) {
        const std::string &label = labels[i];
        bool is_all = i == v.labels.size();
        vob_oid lbtype, where = 0;
        if (imp_el_find_type(c, VOB_MT_LBTYPE, label, &lbtype))
            return 1;
        int rc = vob_elem_find_label(c->vob, c->elem, lbtype, &where);
        if (rc && rc != VOB_NOT_FOUND)
            return imp_el_store_fail(c, "cannot look up label " + label);
        // LabelAll follows this import to the element's last imported version.
        // An AbsVersion record says where the label is now: move it there.
        int replace =
            rc == 0 && where != ver && ((is_all && where == c->label_all_on) || (!is_all && v.abs_version));
        if (rc == 0 && where != ver && !replace) {
            vob_ver_info wi;
            if (vob_ver_get(c->vob, where, &wi) != VOB_OK)
                return imp_el_store_fail(c, "cannot look up label " + label);
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_LABEL_ELSEWHERE,
                       c->el->name.c_str(), label.c_str(), wi.id.c_str(), ver_id.c_str());
            continue;
        }
        if (is_all)
            c->label_all_on = ver;
        if (rc == 0 && !replace)
            continue;
        if (imp_el_unlock(c, c->elem))
            return 1;
        if (vob_ver_add_label(c->vob, ver, lbtype, replace, &ev))
            return imp_el_store_fail(c, "cannot attach label " + label + " to " + ver_id);
    }
    return 0;
}

int imp_el_set_attributes(imp_elem_ctx *c, const imp_str_list &attrs, vob_oid obj, const vob_event &ev,
                   bool only_changes) {
    std::vector<vob_attr> have;
    if (only_changes && vob_obj_get_attrs(c->vob, obj, &have))
        return imp_el_store_fail(c, "cannot read attributes");
    for (const std::string &a : attrs) {
        std::string name, value;
        if (!imp_el_split_attr(a, &name, &value)) {
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_BAD_ATTRIBUTE, c->el->name.c_str(),
                       a.c_str());
            continue;
        }
        bool same = false;
        for (const vob_attr &h : have)
            same = same || (h.name == name && h.value == value);
        if (same)
            continue;
        vob_oid attype;
        if (imp_el_find_type(c, VOB_MT_ATTYPE, name, &attype) || imp_el_unlock(c, c->elem))
            return 1;
        if (vob_obj_set_attr(c->vob, obj, attype, value, &ev))
            return imp_el_store_fail(c, "cannot set attribute " + name);
    }
    return 0;
}

namespace {

// The versions an earlier import made, by branch path and origin.
int read_origins(imp_elem_ctx *c) {
    std::vector<vob_vtree_node> nodes;
    if (vob_elem_get_vtree(c->vob, c->elem, &nodes))
        return imp_el_store_fail(c, "cannot read the version tree");
    for (const vob_vtree_node &n : nodes) {
        std::vector<vob_attr> attrs;
        if (vob_obj_get_attrs(c->vob, n.ver.oid, &attrs))
            return imp_el_store_fail(c, "cannot read attributes of " + n.ver.id);
        for (const vob_attr &a : attrs)
            if (a.name == IMP_ORIGIN_ATTR)
                c->origins[branch_of_vid(n.ver.id) + "\n" + a.value] = n.ver.oid;
    }
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
            return imp_el_fail(c, "version " + v.version_id + ": an absolute version id must look like /main/.../N");
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
        return imp_el_fail(c, "version " + v.version_id + " exists with another time (" + std::to_string(ev.time) +
                           ", the data file has " + std::to_string(v.event.time) + ")");
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
        } else if (auto o = c->origins.find(bpath + "\n" + origin_value(v)); o != c->origins.end()) {
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
            // that moved, attributes and merges added since are brought over.
            if (v.abs_version) {
                if (imp_el_attach_labels(c, v, have, vi.id, pev) || imp_el_set_attributes(c, v.attributes, have, pev, true))
                    return 1;
                for (const std::string &m : v.merges)
                    c->merges.push_back({have, vi.id, m, 1, pev});
                for (const std::string &m : v.fmerges)
                    c->merges.push_back({have, vi.id, m, 0, pev});
            }
            c->events.push_back({v.version_id, vi.branch, 0, 0});
            c->n_present++;
            if (c->q->fetches[i].ticket >= 0) {   // fetched in vain; collect it
                imp_fetch_result res;
                (void)imp_pool_wait(&run->pool, c->q->fetches[i].ticket, &res);
                c->q->fetches[i].ticket = -1;
                run->queued_jobs--;
            }
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
        std::string target_id;
        if (!target) {
            if (imp_el_unlock(c, branch) || imp_el_unlock(c, c->elem))
                return 1;
            if (num == 0) {
                if (vob_ver_find(c->vob, c->elem, bpath + "/0", &target))
                    return imp_el_store_fail(c, "no version " + bpath + "/0");
            } else {
                vob_data data = contents.data();
                if (vob_ver_create(c->vob, branch, data, &ev, &target, num))
                    return imp_el_store_fail(c, "cannot create version " + v.version_id + " on " + bpath);
                c->sizes[target] = contents.none() ? 0 : contents.size();
                c->bytes += c->sizes[target];
            }
            if (!v.abs_version && vob_obj_set_attr(c->vob, target, run->origin_attype, origin_value(v), &ev))
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
        if (imp_el_attach_labels(c, v, target, ti.id, ev) || imp_el_set_attributes(c, v.attributes, target, ev, false))
            return 1;
        for (const std::string &m : v.merges)
            c->merges.push_back({target, ti.id, m, 1, ev});
        for (const std::string &m : v.fmerges)
            c->merges.push_back({target, ti.id, m, 0, ev});
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

// Merge hyperlinks, once all versions of the element exist; a link that is
// there already (both ends name it) is made once.
int imp_el_make_merges(imp_elem_ctx *c) {
    vob_oid hltype = vob_wk_obj(c->vob, VOB_WK_MERGE_HLTYPE);
    for (const imp_pending_merge &m : c->merges) {
        vob_oid other = 0;
        auto it = c->by_vid.find(m.other);
        if (it != c->by_vid.end())
            other = it->second;
        else if (vob_ver_find(c->vob, c->elem, m.other[0] == '/' ? m.other : "/main/" + m.other, &other))
            other = 0;
        if (!other) {
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_MERGE_UNKNOWN, c->el->name.c_str(),
                       m.vid.c_str(), m.other.c_str());
            continue;
        }
        vob_oid from = m.into ? other : m.ver, to = m.into ? m.ver : other;
        std::vector<vob_hlink> links;
        if (vob_obj_get_hlinks(c->vob, from, hltype, VOB_HL_FROM, &links))
            return imp_el_store_fail(c, "cannot read hyperlinks");
        bool have = false;
        for (const vob_hlink &l : links)
            have = have || l.to == to;
        if (have)
            continue;
        if (imp_el_unlock(c, c->elem))
            return 1;
        if (vob_hlink_create(c->vob, hltype, from, to, &m.ev, nullptr))
            return imp_el_store_fail(c, "cannot make the Merge hyperlink of " + m.vid);
    }
    return 0;
}

namespace {

// Other names, obsolete branches and the element's own lock, then the locks
// lifted for the transaction.
int finish_element(imp_elem_ctx *c, const vob_event &ev) {
    const imp_element &el = *c->el;
    for (const std::string &alt : el.alt_names) {
        std::vector<std::string> comps = imp_split_path(alt);
        std::string err;
        if (check_components(comps, alt, &err))
            return imp_el_fail(c, "other name: " + err);
        std::string dir_path;
        for (size_t i = 0; i + 1 < comps.size(); ++i)
            dir_path += (i ? "/" : "") + comps[i];
        vob_oid dir, there;
        if (imp_ensure_dir(c->run, dir_path, &dir, &c->made_dirs, &err) ||
            lookup_child(c->vob, dir, comps.back(), &there, &err))
            return imp_el_fail(c, "other name \"" + alt + "\": " + err);
        if (there == c->elem)
            continue;
        if (there)
            return imp_el_fail(c, "other name \"" + alt + "\" names another element");
        if (vob_dir_add_name(c->vob, dir, 0, comps.back(), c->elem, &ev))
            return imp_el_store_fail(c, "cannot enter the other name \"" + alt + "\"");
    }
    for (const std::string &b : el.branch_obs) {
        vob_oid br;
        std::string path = "/main";
        for (const std::string &p : imp_split_path(b))
            path += "/" + p;
        if (vob_branch_find(c->vob, c->elem, path, &br)) {
            imp_progress_break(c->run);
            IMSG_PRINT(IMSG_WARNING, importer_import_msg_table_adr(), IMP_BRANCH_OBS_UNKNOWN, el.name.c_str(),
                       b.c_str());
            continue;
        }
        c->unlocked[br] = 1;
    }
    if (el.obsolete)
        c->unlocked[c->elem] = 1;
    for (const auto &[obj, obsolete] : c->unlocked) {
        vob_lock lock;
        if (vob_obj_get_lock(c->vob, obj, &lock) == 0 && lock.obsolete >= obsolete)
            continue;
        if (vob_obj_lock(c->vob, obj, obsolete, &ev))
            return imp_el_store_fail(c, "cannot lock");
    }
    return 0;
}

int import_in_txn(imp_elem_ctx *c) {
    imp_run *run = c->run;
    const imp_element &el = *c->el;
    std::vector<std::string> comps = imp_split_path(el.name);
    std::string err;
    if (check_components(comps, el.name, &err))
        return imp_el_fail(c, err);
    std::string dir_path;
    for (size_t i = 0; i + 1 < comps.size(); ++i)
        dir_path += (i ? "/" : "") + comps[i];
    vob_oid dir;
    if (imp_ensure_dir(run, dir_path, &dir, &c->made_dirs, &err))
        return imp_el_fail(c, "cannot make its directory: " + err);
    if (lookup_child(c->vob, dir, comps.back(), &c->elem, &err))
        return imp_el_fail(c, err);
    // An element of absolute versions comes from a store: its /main/0 shares
    // the element's event, so no comment means none there too.
    imp_opt_str comment = el.comment;
    bool abs = !el.versions.empty() && el.versions[0].abs_version;
    if (!comment && run->p->comment && !abs)
        comment = std::string(run->p->comment);
    vob_event ev = imp_make_event(run, el.event, comment);
    if (c->elem) {
        vob_elem_info info;
        if (vob_elem_get(c->vob, c->elem, &info))
            return imp_el_store_fail(c, "cannot read the element");
        if (info.mtype != VOB_MT_FILE_ELEM)
            return imp_el_fail(c, "the VOB has a directory of that name");
        if (read_origins(c))
            return 1;
    } else {
        vob_oid eltype = 0;
        if (el.eltype && imp_el_find_type(c, VOB_MT_ELTYPE, *el.eltype, &eltype))
            return 1;
        vob_elem_info info;
        if (vob_elem_create(c->vob, dir, comps.back(), VOB_MT_FILE_ELEM, eltype, &ev, &c->elem) ||
            vob_elem_get(c->vob, c->elem, &info))
            return imp_el_store_fail(c, "cannot create the element");
        c->created = true;
        c->made_branches.insert(info.main_branch);
    }
    if (!run->onto.empty()) {
        // An element this import creates has only /main/0 to branch from.
        std::string brvid = run->head.globals.onto_brvid.value_or("/main/LATEST");
        if (c->created)
            brvid = "/main/LATEST";
        vob_ver_info vi;
        if (vob_ver_find(c->vob, c->elem, brvid, &c->onto_from) || vob_ver_get(c->vob, c->onto_from, &vi))
            return imp_el_fail(c, "the version \"" + brvid + "\" to branch from does not exist");
        c->onto_base = branch_of_vid(vi.id);
    }
    if (imp_el_import_versions(c) || imp_el_make_empty_branches(c) || imp_el_make_merges(c))
        return 1;
    if (imp_el_set_attributes(c, el.attributes, c->elem, ev, !c->created))
        return 1;
    return finish_element(c, ev);
}

}   // namespace

int imp_existing_origins(imp_run *run, const std::string &name, std::set<std::string> *out) {
    out->clear();
    std::vector<std::string> comps = imp_split_path(name);
    std::string err;
    if (check_components(comps, name, &err))
        return 0;
    vob_oid cur = run->target;
    std::string prefix;
    for (size_t i = 0; i < comps.size(); ++i) {
        prefix += (i ? "/" : "") + comps[i];
        auto hit = run->dirs.find(prefix);
        if (hit != run->dirs.end() && i + 1 < comps.size()) {
            cur = hit->second;
            continue;
        }
        vob_oid child;
        if (lookup_child(run->vob, cur, comps[i], &child, &err) || !child)
            return 0;
        cur = child;
    }
    imp_elem_ctx c;
    c.run = run;
    c.vob = run->vob;
    c.elem = cur;
    if (read_origins(&c))
        return 0;
    for (const auto &o : c.origins)
        out->insert(o.first.substr(o.first.find('\n') + 1));
    return 0;
}

namespace {

// Runs one step of an element in a savepoint of the group. 0 when kept;
// 1 when rolled back (the step failed, c->err says why); 2 when the store
// dropped the whole transaction.
template <typename Step> int in_savepoint(imp_elem_ctx *c, Step step) {
    vob_savepoint sp(c->vob);
    if (sp.begin())
        return imp_el_store_fail(c, "cannot begin a savepoint");
    if (step() == 0) {
        if (sp.release() == 0)
            return 0;
        imp_el_store_fail(c, "cannot keep its changes");
    }
    return sp.rollback() ? 2 : 1;
}

// Forgets the types the cache took from a savepoint that was rolled back.
void forget_types(imp_run *run, size_t mark) {
    for (size_t i = mark; i < run->group.types.size(); ++i)
        run->types.erase(run->group.types[i]);
    run->group.types.resize(mark);
}

}   // namespace

// Collects what was fetched for an element, so no ticket is left, and
// removes the files.
void imp_el_release_fetches(imp_run *run, imp_queued *q) {
    if (q->batch_ticket >= 0) {
        imp_fetch_result res;
        (void)imp_pool_wait(&run->pool, q->batch_ticket, &res);
        q->batch_ticket = -1;
        run->queued_jobs -= q->batch->slots.size();
    }
    for (imp_fetch &f : q->fetches) {
        if (f.ticket >= 0) {
            imp_fetch_result res;
            (void)imp_pool_wait(&run->pool, f.ticket, &res);
            f.ticket = -1;
            run->queued_jobs--;
        }
        // Only a command that ran wrote its file; a version read in process
        // or never fetched has none to remove.
        if (!run->p->debug && !f.job.out_path.empty() && f.slot < 0) {
            std::remove(f.job.out_path.c_str());
            if (f.job.mode == IMP_EXTRACT_LEAF_IN_DIR)
                std::remove(f.job.work_dir.c_str());
        }
    }
    if (q->batch && !run->p->debug)
        for (const imp_rcs_slot &s : q->batch->slots)
            if (s.in_file)
                std::remove(s.job.out_path.c_str());
    q->batch.reset();
}


void imp_report_failed(imp_run *run, const std::string &name, const std::string &why) {
    imp_progress_break(run);
    IMSG_PRINT(IMSG_ERROR, importer_import_msg_table_adr(), IMP_ELEMENT_FAILED, name.c_str(), why.c_str());
    run->elements_failed++;
    run->failures++;
    int already;
    (void)hash_str_enter(run->p->not_imported, name.c_str(), nullptr,
                         &already);   // report list only; counted above
}

int imp_import_element(imp_run *run, imp_queued *q) {
    imp_elem_ctx c;
    c.run = run;
    c.q = q;
    c.el = &q->el;
    c.vob = run->vob;
    std::string err;
    int rc = imp_group_begin(run, &err) ? imp_el_fail(&c, err) : 0;
    // Types are kept even when the element then fails: other elements may
    // name them too.
    size_t type_mark = run->group.types.size();
    if (rc == 0 && (rc = in_savepoint(&c, [&] { return ensure_types(&c); })) != 0)
        forget_types(run, type_mark);
    // Each element changes directories as its own transaction would, so the
    // history does not depend on where the groups end.
    vob_txn_split_dir_versions(run->vob);
    std::map<std::string, vob_oid> no_dirs;
    if (rc == 0 && (rc = in_savepoint(&c, [&] { return import_in_txn(&c); })) != 0)
        c.made_dirs.swap(no_dirs);
    imp_el_release_fetches(run, q);
    const imp_element &el = q->el;
    if (rc == 2) {
        // The store dropped the transaction: the group's elements went with it.
        imp_report_failed(run, el.name, c.err);
        imp_group_lost(run, c.err);
        return 1;
    }
    if (rc && c.cancelled) {
        // Rolled back whole; the next run imports it again.
        run->interrupted = true;
        run->rolled_back = el.name;
        return 1;
    }
    if (rc) {
        imp_report_failed(run, el.name, c.err);
        return 1;
    }
    for (const auto &[path, oid] : c.made_dirs)
        if (run->dirs.emplace(path, oid).second)
            run->group.dirs.push_back(path);
    imp_done d;
    d.name = el.name;
    d.elem = c.elem;
    d.created = c.created;
    d.n_new = c.n_new;
    d.n_present = c.n_present;
    d.n_identical = c.n_identical;
    d.events = std::move(c.events);
    run->group.done.push_back(std::move(d));
    run->group.bytes += c.bytes;
    return 0;
}