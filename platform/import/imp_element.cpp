// Importing one element of the data file in a savepoint of the group
// transaction: the element itself, its types, other names and locks; its
// versions (imp_version), their contents (imp_contents) and what is attached
// to them (imp_attach) are the other parts (see imp_elem.h).
#include "platform/import/imp_elem.h"
#include "platform/import/imp_msgs.h"

namespace {

// The directory path of a name's components: all but the last, "/"-joined.
std::string parent_path(const std::vector<std::string> &comps) {
    std::string dir;
    for (size_t i = 0; i + 1 < comps.size(); ++i)
        dir += (i ? "/" : "") + comps[i];
    return dir;
}

std::string branch_of_vid(const std::string &vid) {
    size_t slash = vid.rfind('/');
    return slash == std::string::npos ? vid : vid.substr(0, slash);
}

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

// Other names, obsolete branches and the element's own lock, then the locks
// lifted for the transaction.
int finish_element(imp_elem_ctx *c, const vob_event &ev) {
    const imp_element &el = *c->el;
    for (const std::string &alt : el.alt_names) {
        std::vector<std::string> comps = imp_split_path(alt);
        std::string err;
        if (check_components(comps, alt, &err))
            return imp_el_fail(c, "other name: " + err);
        vob_oid dir, there;
        if (imp_ensure_dir(c->run, parent_path(comps), &dir, &c->made_dirs, &err) ||
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
    vob_oid dir;
    if (imp_ensure_dir(run, parent_path(comps), &dir, &c->made_dirs, &err))
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
    imp_str_list attrs = el.attributes;
    if (!c->created && imp_texts_for_present(c->vob, c->elem, el.event, el.comment, el.attributes, &attrs))
        return imp_el_store_fail(c, "cannot read the element's event");
    if (imp_el_set_attributes(c, attrs, c->elem, ev, !c->created))
        return 1;
    return finish_element(c, ev);
}

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

int imp_el_store_fail(imp_elem_ctx *c, const std::string &what) {
    c->err = what + ": " + vob_errmsg(c->vob);
    return 1;
}

int imp_el_fail(imp_elem_ctx *c, const std::string &what) {
    c->err = what;
    return 1;
}

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
        return imp_el_fail(c, std::string("no ") + imp_type_word(mtype) + " type \"" + name + "\"");
    *out = it->second;
    return 0;
}

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

void imp_report_failed(imp_run *run, const std::string &name, const std::string &why, bool gap) {
    imp_progress_break(run);
    IMSG_PRINT(IMSG_ERROR, importer_import_msg_table_adr(), IMP_ELEMENT_FAILED, name.c_str(), why.c_str());
    if (gap)
        IMSG_PRINT(IMSG_CONT, importer_import_msg_table_adr(), IMP_ABS_GAP_TODO);
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
        imp_report_failed(run, el.name, c.err, c.gap);
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
    imp_el_label_counts(&c, &d.labels_added, &d.labels_moved);
    for (const auto &l : c.label_on)
        d.labels.push_back(l.first);
    if (!d.labels.empty()) {
        d.dirs.push_back(parent_path(imp_split_path(el.name)));
        for (const std::string &alt : el.alt_names)
            d.dirs.push_back(parent_path(imp_split_path(alt)));
    }
    d.events = std::move(c.events);
    run->group.done.push_back(std::move(d));
    run->group.bytes += c.bytes;
    return 0;
}
