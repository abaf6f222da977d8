// One name of a file-system import: the element made or the version added
// for it, or found unchanged, and its label; in a preview, the lines saying
// so. Runs inside the directory's transaction and the entry's savepoint, so
// a failure here leaves nothing behind.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/fsimport/fsi_run.h"
#include "runtime/digest.h"

vob_event fsi_event(const fsi_run *run, int64_t time) {
    vob_event ev = run->base_ev;
    ev.time = time;
    return ev;
}

const vob_dirent *fsi_dir_state::find(const std::string &name) const {
    auto it = std::lower_bound(names.begin(), names.end(), name,
                               [](const vob_dirent &d, const std::string &n) { return d.name < n; });
    return it != names.end() && it->name == name ? &*it : nullptr;
}

static const char *kind_word(int mtype) { return mtype == VOB_MT_DIR_ELEM ? "directory" : "file"; }

static int store_failed(fsi_run *run, std::string *why) {
    *why = vob_errmsg(run->vob);
    return 1;
}

// Puts the run's label on a version (`shown` names it in messages); a
// refusal lists the name in the second table without undoing the element.
// In its own savepoint, so that a label that fails after writing takes
// nothing else with it.
static void label_version(fsi_run *run, vob_oid ver, bool created, const std::string &shown,
                          fsi_outcome *out) {
    const fsimport_params *p = run->p;
    if (!p->mklabel || (p->updates_only && !created))
        return;
    if (p->preview) {
        fsi_action_shown(run, "label", shown);
        out->add.labelled++;
        return;
    }
    vob_savepoint sp(run->vob);
    vob_event ev = fsi_event(run, run->now);
    int rc = sp.begin();
    if (rc == VOB_OK)
        rc = vob_ver_add_label(run->vob, ver, run->lbtype, 1, &ev);
    if (rc == VOB_OK && sp.release() == VOB_OK) {
        out->add.labelled++;
        return;
    }
    std::string why = vob_errmsg(run->vob);
    (void)sp.rollback();
    IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_LABEL_FAILED, shown.c_str(), p->label, why.c_str());
    out->not_labelled.push_back(shown);
}

static void descend(const fsi_run *run, const fsi_dir &parent, const fsi_entry &e, vob_oid elem, bool created,
                    fsi_outcome *out) {
    out->descend = true;
    out->sub.elem = elem;
    out->sub.src = e.src;
    out->sub.rel = fsi_join(parent.rel, e.name);
    out->sub.read_entries = run->p->recurse != 0;
    out->sub.imported = true;
    out->sub.created = created;
    out->sub.ignore = parent.ignore;
}

// Whether the file's bytes differ from the version's: sizes first, then the
// SHA-256 the store recorded.
static int differs(const fsi_entry &e, const vob_ver_info &vi, bool *result, std::string *why) {
    if (!vi.has_data || vi.size != int64_t(e.st.st_size)) {
        *result = true;
        return 0;
    }
    std::string sha;
    int64_t size = 0;
    if (int err = digest_sha256_file(e.src, &sha, &size)) {
        *why = std::string("cannot read the file: ") + std::strerror(err);
        return 1;
    }
    *result = sha != vi.sha256 || size != vi.size;
    return 0;
}

// The version of an existing file element that a new version would follow.
static int plan_file(fsi_run *run, const fsi_dir_state &ds, const fsi_entry &e, const vob_dirent &d,
                     fsi_plan *plan, std::string *why) {
    vob_oid ver = 0;
    int co = 0;
    std::string vp = fsi_view_path(run, fsi_join(ds.dir->rel, e.name));
    int rc =
        vob_select_version(run->vob, d.elem, run->rules, run->view_tag, &ver, &co, VOB_MT_FILE_ELEM, &vp);
    if (rc != VOB_OK && rc != VOB_NOT_FOUND)
        return store_failed(run, why);
    vob_oid ck = 0;
    if (!co && !run->rules_see_checkouts &&
        vob_elem_find_ckout(run->vob, d.elem, run->view_tag, &ck) == VOB_OK)
        co = 1;
    if (co) {
        vob_ckout c;
        if (!ck && vob_elem_find_ckout(run->vob, d.elem, run->view_tag, &ck) != VOB_OK)
            return store_failed(run, why);
        // Only a preview still meets the checkouts that unco cancels.
        if (!run->p->preview || !run->p->unco || vob_ckout_get(run->vob, ck, &c) != VOB_OK) {
            *why = "it is checked out in this view; -unco cancels the checkout and keeps the edits as \"" +
                   e.name + ".keep\"";
            return 1;
        }
        ver = c.ver;
    } else if (rc == VOB_NOT_FOUND) {
        *why = "the view's config spec selects no version of it";
        return 1;
    }
    vob_ver_info vi;
    if (vob_ver_get(run->vob, ver, &vi) != VOB_OK)
        return store_failed(run, why);
    // A rule for a label or a fixed version may select an older version; a
    // new one after the latest would not be what the view shows.
    vob_oid latest = ver;
    if (!run->rules_select_latest && vob_branch_get_latest(run->vob, vi.branch, &latest) != VOB_OK)
        return store_failed(run, why);
    if (latest != ver) {
        *why = "the view selects " + vi.id + ", which is not the latest version on its branch, so a new " +
               "version would not show in the view";
        return 1;
    }
    bool changed = run->p->identical != 0;
    if (!changed && differs(e, vi, &changed, why))
        return 1;
    plan->kind = changed ? fsi_plan::VERSION : fsi_plan::UNCHANGED;
    plan->elem = d.elem;
    plan->ver = ver;
    plan->branch = vi.branch;
    return 0;
}

int fsi_plan_entry(fsi_run *run, const fsi_dir_state &ds, const fsi_entry &e, fsi_plan *plan,
                   std::string *why) {
    *plan = fsi_plan();
    const vob_dirent *d = ds.dir->elem ? ds.find(e.name) : nullptr;
    int want = e.kind == fsi_entry::DIR ? VOB_MT_DIR_ELEM : VOB_MT_FILE_ELEM;
    if (d && d->mtype != want) {
        if (!run->p->rmname) {
            *why = std::string("it is a ") + kind_word(want) + " in the source and a " + kind_word(d->mtype) +
                   " element in the VOB; -rmname replaces the name with a new element";
            return 1;
        }
        plan->replace = d;
        d = nullptr;
    }
    if (!d) {
        plan->kind = fsi_plan::NEW;
        return 0;
    }
    if (want == VOB_MT_DIR_ELEM) {
        plan->kind = fsi_plan::DIR;
        plan->elem = d->elem;
        return 0;
    }
    return plan_file(run, ds, e, *d, plan, why);
}

bool fsi_plan_writes(const fsi_run *run, const fsi_plan &plan) {
    if (plan.kind == fsi_plan::NEW || plan.kind == fsi_plan::VERSION || plan.replace)
        return true;
    return plan.kind == fsi_plan::UNCHANGED && run->p->mklabel && !run->p->updates_only;
}

// The file's bytes as the next version of a branch, dated by the file (or
// by the import, with setevent), and labelled.
static int add_version(fsi_run *run, vob_oid branch, const fsi_entry &e, const std::string &rel,
                       fsi_outcome *out, std::string *why) {
    vob_event ev = fsi_event(run, run->p->setevent ? run->now : int64_t(e.st.st_mtime));
    vob_oid ver = 0;
    if (vob_ver_create(run->vob, branch, vob_data_file(e.src), &ev, &ver) != VOB_OK)
        return store_failed(run, why);
    label_version(run, ver, true, fsi_show(run, rel), out);
    return 0;
}

static int apply_new(fsi_run *run, const fsi_dir_state &ds, const fsi_entry &e, fsi_outcome *out,
                     std::string *why) {
    std::string rel = fsi_join(ds.dir->rel, e.name);
    bool is_dir = e.kind == fsi_entry::DIR;
    out->add.elements++;
    if (run->p->preview) {
        fsi_action(run, "new element", rel);
        if (is_dir)
            descend(run, *ds.dir, e, 0, true, out);
        else
            label_version(run, 0, true, fsi_show(run, rel), out);
        return 0;
    }
    vob_event ev = fsi_event(run, run->now);
    vob_oid elem = 0;
    if (vob_elem_create_in(run->vob, ds.dir->elem, ds.branch, e.name,
                           is_dir ? VOB_MT_DIR_ELEM : VOB_MT_FILE_ELEM, 0, &ev, &elem) != VOB_OK)
        return store_failed(run, why);
    if (is_dir) {
        descend(run, *ds.dir, e, elem, true, out);
        return 0;
    }
    vob_elem_info ei;
    if (vob_elem_get(run->vob, elem, &ei) != VOB_OK)
        return store_failed(run, why);
    return add_version(run, ei.main_branch, e, rel, out, why);
}

int fsi_apply_entry(fsi_run *run, const fsi_dir_state &ds, const fsi_entry &e, const fsi_plan &plan,
                    fsi_outcome *out, std::string *why) {
    std::string rel = fsi_join(ds.dir->rel, e.name);
    if (plan.replace && fsi_remove_name(run, ds, *plan.replace, out, why))
        return 1;
    switch (plan.kind) {
        case fsi_plan::NEW:
            return apply_new(run, ds, e, out, why);
        case fsi_plan::DIR:
            descend(run, *ds.dir, e, plan.elem, false, out);
            return 0;
        case fsi_plan::UNCHANGED:
            out->add.unchanged++;
            if (run->p->preview)
                fsi_action(run, "unchanged", rel);
            label_version(run, plan.ver, false, fsi_show(run, rel), out);
            return 0;
        case fsi_plan::VERSION:
            break;
    }
    out->add.versions++;
    if (run->p->preview) {
        fsi_action(run, "new version", rel);
        label_version(run, 0, true, fsi_show(run, rel), out);
        return 0;
    }
    return add_version(run, plan.branch, e, rel, out, why);
}

int fsi_remove_name(fsi_run *run, const fsi_dir_state &ds, const vob_dirent &d, fsi_outcome *out,
                    std::string *why) {
    out->add.removed++;
    if (run->p->preview) {
        fsi_action(run, "remove name", fsi_join(ds.dir->rel, d.name));
        return 0;
    }
    vob_event ev = fsi_event(run, run->now);
    if (vob_dir_remove_name(run->vob, ds.dir->elem, ds.branch, d.name, &ev) != VOB_OK)
        return store_failed(run, why);
    return 0;
}

// The latest version of the directory branch `branch`, which holds the
// names the import entered, labelled.
static void label_latest(fsi_run *run, vob_oid branch, bool created, const std::string &shown,
                         fsi_outcome *out) {
    vob_oid ver = 0;
    if (!run->p->preview && vob_branch_get_latest(run->vob, branch, &ver) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_LABEL_FAILED, shown.c_str(), run->p->label,
                   vob_errmsg(run->vob).c_str());
        out->not_labelled.push_back(shown);
        return;
    }
    label_version(run, ver, created, shown, out);
}

void fsi_label_dir(fsi_run *run, const fsi_dir_state &ds, bool made_version, fsi_outcome *out) {
    if (run->p->mklabel && ds.dir->imported)
        label_latest(run, ds.branch, made_version || ds.dir->created, fsi_show(run, ds.dir->rel), out);
}

// The target and the directories above it get the label too, so that a
// config spec of the label alone shows the imported tree: with
// updates_only as well, once the run labelled anything, for nothing it
// labelled could be seen otherwise.
void fsi_label_target_path(fsi_run *run) {
    if (!run->p->mklabel || (run->p->updates_only && run->stats.labelled == 0) || run->target_path.empty())
        return;
    // A transaction that cannot be had or kept leaves the whole path unlabelled.
    auto refused = [run] {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_LABEL_FAILED, run->target.c_str(), run->p->label,
                   vob_errmsg(run->vob).c_str());
        fsi_list_not_labelled(run, run->target);
    };
    std::unique_ptr<vob_txn> txn;
    if (!run->p->preview) {
        txn = std::make_unique<vob_txn>(run->vob);
        if (txn->begin() != VOB_OK)
            return refused();
    }
    fsi_outcome out;
    for (const fsi_path_dir &d : run->target_path) {
        vob_oid ver = 0, branch = 0;
        if (!run->p->preview && fsi_selected_dir(run, d.elem, d.vpath, &ver, &branch) != VOB_OK) {
            IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_LABEL_FAILED, d.shown.c_str(), run->p->label,
                       vob_errmsg(run->vob).c_str());
            out.not_labelled.push_back(d.shown);
            continue;
        }
        label_latest(run, branch, true, d.shown, &out);
    }
    if (txn && txn->commit() != VOB_OK)
        return refused();
    run->stats.labelled += out.add.labelled;
    run->changed = run->changed || out.add.labelled > 0;
    for (const std::string &shown : out.not_labelled)
        fsi_list_not_labelled(run, shown);
}
