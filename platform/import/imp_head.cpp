// What the head of the data file names, made before the first element: the
// types (the origin attribute type first) and the directory records; and
// LabelAll on the directories at the end.
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

void imp_label_directories(imp_run *run) {
    const std::string &label = *run->head.globals.label_all;
    vob_oid lbtype;
    std::string err;
    if (imp_ensure_type(run, VOB_MT_LBTYPE, label, &lbtype, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, err.c_str());
        run->failures++;
        return;
    }
    for (const std::string &name : run->head.dirs) {
        vob_oid dir = run->target;
        if (name != ".") {
            auto it = run->dirs.find(name);
            if (it == run->dirs.end())
                continue;
            dir = it->second;
        }
        vob_elem_info info;
        vob_oid latest;
        vob_event ev = vob_event_now(run->p->comment ? run->p->comment : "");
        // A directory's label marks the version that holds the imported names,
        // so it moves there from an earlier one.
        if (vob_elem_get(run->vob, dir, &info) ||
            vob_branch_get_latest(run->vob, info.main_branch, &latest) ||
            vob_ver_add_label(run->vob, latest, lbtype, 1, &ev))
            IMSG_PRINT(IMSG_WARNING, cat(), IMP_LABEL_DIR_FAILED, name.c_str(), label.c_str(),
                       vob_errmsg(run->vob).c_str());
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
