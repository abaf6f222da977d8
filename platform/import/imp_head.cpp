// What the head of the data file names, made before the first element: the
// types (the origin attribute type first) and the directory records; and at
// the end the labels of the directories above what was labelled.
#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"

namespace {

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

int cb_call(imp_run *run, int (*fn)(void *)) {
    const imp_callbacks *cb = run->p->callbacks;
    if (cb && fn && fn(cb->ctx))
        run->stopped = true;
    return 0;
}

}   // namespace

const char *imp_type_word(int mtype) {
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

int imp_make_types(imp_run *run) {
    const imp_types &t = run->head.types;
    const imp_callbacks *cb = run->p->callbacks;
    struct group {
        int mtype;
        const imp_str_list *names;
        int (*imp_callbacks::*phase)(void *);
    };
    const group groups[] = {
        {VOB_MT_ATTYPE, &t.attribute, &imp_callbacks::phase_attribute_types},
        {VOB_MT_LBTYPE, &t.label, &imp_callbacks::phase_label_types},
        {VOB_MT_BRTYPE, &t.branch, &imp_callbacks::phase_branch_types},
        {VOB_MT_ELTYPE, &t.element, &imp_callbacks::phase_element_types},
    };
    std::string err;
    if (imp_ensure_type(run, VOB_MT_ATTYPE, IMP_ORIGIN_ATTR, &run->origin_attype, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
        return 1;
    }
    for (const group &g : groups) {
        if (cb)
            cb_call(run, cb->*g.phase);
        for (const std::string &name : *g.names) {
            vob_oid oid;
            if (imp_ensure_type(run, g.mtype, name, &oid, &err)) {
                IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
                run->failures++;
            }
        }
    }
    return 0;
}

void imp_make_directories(imp_run *run) {
    const imp_callbacks *cb = run->p->callbacks;
    if (cb)
        cb_call(run, cb->phase_directories);
    for (const std::string &name : run->head.dirs) {
        if (imp_stop_requested()) {
            run->interrupted = true;
            return;
        }
        std::map<std::string, vob_oid> made;
        std::string err;
        vob_oid dir = 0;
        std::string path = name == "." ? "" : name;
        vob_txn txn(run->vob);
        if (txn.begin() || imp_ensure_dir(run, path, &dir, &made, &err) || txn.commit()) {
            if (err.empty())
                err = vob_errmsg(run->vob);
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_DIR_FAILED, name.c_str(), err.c_str());
            run->failures++;
            int already;
            (void)hash_str_enter(run->p->not_imported, name.c_str(), nullptr,
                                 &already);   // report list only; counted above
            continue;
        }
        run->dirs.insert(made.begin(), made.end());
        if (!path.empty())
            run->dirs[path] = dir;
        vob_elem_info info;
        if (vob_elem_get(run->vob, dir, &info) != VOB_OK) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_DIR_FAILED, name.c_str(), vob_errmsg(run->vob).c_str());
            run->failures++;
            continue;
        }
        if (cb && cb->directory &&
            cb->directory(cb->ctx, name.c_str(), dir, info.main_branch, made.count(path) ? 1 : 0))
            run->stopped = true;
    }
}

namespace {

// A directory to label: what messages call it and the label types it gets.
struct dir_labels {
    std::string shown;
    std::set<vob_oid> lbtypes;
};

// The label types on the latest version of a directory's main branch, the
// version that holds the names the import entered; one already on an
// earlier version moves there. In a savepoint, so that a failure takes
// nothing else with it.
void label_dir(imp_run *run, vob_oid dir, const dir_labels &want, const vob_event &ev) {
    vob_elem_info info;
    vob_oid latest = 0;
    bool ok = vob_elem_get(run->vob, dir, &info) == VOB_OK &&
              vob_branch_get_latest(run->vob, info.main_branch, &latest) == VOB_OK;
    for (vob_oid lbtype : want.lbtypes) {
        vob_oid where = 0;
        int rc = ok ? vob_elem_find_label(run->vob, dir, lbtype, &where) : VOB_ERR;
        if (rc == VOB_OK && where == latest)
            continue;
        vob_savepoint sp(run->vob);
        if ((rc == VOB_OK || rc == VOB_NOT_FOUND) && sp.begin() == VOB_OK &&
            vob_ver_add_label(run->vob, latest, lbtype, 1, &ev) == VOB_OK && sp.release() == VOB_OK) {
            (rc == VOB_OK ? run->labels_moved : run->labels_added)++;
            continue;
        }
        std::string why = vob_errmsg(run->vob), name;
        (void)sp.rollback();
        if (vob_type_get_name(run->vob, lbtype, &name) != VOB_OK)
            name.clear();   // only for the message
        imp_progress_break(run);
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_LABEL_DIR_FAILED, want.shown.c_str(), name.c_str(), why.c_str());
    }
}

}   // namespace

void imp_label_directories(imp_run *run) {
    if (!run->p->label_directory)
        return;
    std::map<vob_oid, dir_labels> want;
    std::set<vob_oid> all_types;
    auto add = [&](vob_oid dir, const std::string &shown, vob_oid lbtype) {
        dir_labels &d = want[dir];
        if (d.shown.empty())
            d.shown = shown;
        d.lbtypes.insert(lbtype);
        all_types.insert(lbtype);
    };
    // The directory of a path below ".", or 0 when it was not made.
    auto dir_of = [&](const std::string &path) -> vob_oid {
        if (path.empty() || path == ".")
            return run->target;
        auto it = run->dirs.find(path);
        return it == run->dirs.end() ? 0 : it->second;
    };
    const imp_opt_str &all = run->head.globals.label_all;
    if (all && !all->empty()) {
        vob_oid lbtype;
        std::string err;
        if (imp_ensure_type(run, VOB_MT_LBTYPE, *all, &lbtype, &err)) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
            run->failures++;
        } else {
            // Every directory the data file names, empty ones too.
            for (const std::string &name : run->head.dirs)
                if (vob_oid dir = dir_of(name))
                    add(dir, name, lbtype);
        }
    }
    // Every directory from "." down to each labelled element.
    for (const auto &[path, lbtypes] : run->dir_labels) {
        std::vector<std::string> comps = imp_split_path(path);
        std::string prefix;
        for (size_t i = 0; i <= comps.size(); ++i) {
            if (vob_oid dir = dir_of(prefix))
                for (vob_oid lbtype : lbtypes)
                    add(dir, prefix.empty() ? "." : prefix, lbtype);
            if (i < comps.size())
                prefix += (i ? "/" : "") + comps[i];
        }
    }
    // And the directories above ".", up to the VOB root.
    for (vob_oid dir : run->target_chain) {
        std::string path;
        std::string shown =
            vob_elem_get_path(run->vob, dir, &path) == VOB_OK ? run->vob_tag + "/" + path : run->vob_tag;
        for (vob_oid lbtype : all_types)
            add(dir, shown, lbtype);
    }
    if (want.empty())
        return;
    vob_txn txn(run->vob);
    if (txn.begin() != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, vob_errmsg(run->vob).c_str());
        run->failures++;
        return;
    }
    vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
    for (const auto &[dir, d] : want)
        label_dir(run, dir, d, ev);
    if (txn.commit() != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, vob_errmsg(run->vob).c_str());
        run->failures++;
    }
}

int imp_ensure_type(imp_run *run, int mtype, const std::string &name, vob_oid *out, std::string *err) {
    auto it = run->types.find({mtype, name});
    if (it != run->types.end()) {
        *out = it->second;
        return 0;
    }
    int rc = vob_type_find(run->vob, mtype, name, out);
    if (rc == VOB_NOT_FOUND) {
        vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
        rc = vob_type_create(run->vob, mtype, name, &ev, out);
        if (rc == VOB_EXISTS)
            rc = 0;
        else if (rc == 0 && run->group.txn)
            run->group.types.push_back({mtype, name});
    }
    if (rc) {
        *err = IMSG_SPRINTF(cat(), IMP_TYPE_FAILED, imp_type_word(mtype), name.c_str(),
                            vob_errmsg(run->vob).c_str());
        return 1;
    }
    run->types[{mtype, name}] = *out;
    return 0;
}

int imp_ensure_dir(imp_run *run, const std::string &path, vob_oid *out, std::map<std::string, vob_oid> *made,
                   std::string *err) {
    vob_oid cur = run->target;
    std::string prefix;
    for (const std::string &name : imp_split_path(path)) {
        if (name == "." || name == "..") {
            *err = "\"" + path + "\" has a \".\" or \"..\" component";
            return 1;
        }
        prefix += (prefix.empty() ? "" : "/") + name;
        vob_oid cached = 0;
        if (auto d = run->dirs.find(prefix); d != run->dirs.end())
            cached = d->second;
        else if (auto m = made->find(prefix); m != made->end())
            cached = m->second;
        if (cached) {
            cur = cached;
            continue;
        }
        vob_elem_info info, child_info;
        vob_oid latest, child = 0;
        if (vob_elem_get(run->vob, cur, &info) ||
            vob_branch_get_latest(run->vob, info.main_branch, &latest)) {
            *err = vob_errmsg(run->vob);
            return 1;
        }
        int rc = vob_dir_lookup(run->vob, latest, name, &child);
        if (rc == 0) {
            if (vob_elem_get(run->vob, child, &child_info)) {
                *err = vob_errmsg(run->vob);
                return 1;
            }
            if (child_info.mtype != VOB_MT_DIR_ELEM) {
                *err = "\"" + prefix + "\" is a file element in the VOB";
                return 1;
            }
        } else if (rc == VOB_NOT_FOUND) {
            vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
            if (vob_elem_create(run->vob, cur, name, VOB_MT_DIR_ELEM, 0, &ev, &child)) {
                *err = vob_errmsg(run->vob);
                return 1;
            }
            (*made)[prefix] = child;
        } else {
            *err = vob_errmsg(run->vob);
            return 1;
        }
        cur = child;
    }
    *out = cur;
    return 0;
}
