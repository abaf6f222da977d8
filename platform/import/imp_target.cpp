// The target of an import: the view and the VOB directory that the data
// file's "." goes into; and the view update that loads what was imported.
#include <algorithm>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"

namespace {

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

// Names the VOBs of the view that a target at its root can go into.
void hint_view_vobs(imp_run *run) {
    const std::string &root = view_get_root(run->view);
    const std::vector<std::string> &scopes = view_get_scopes(run->view);
    if (scopes.empty()) {
        IMSG_PRINT(IMSG_CONT, cat(), IMP_VIEW_ROOT_EMPTY_TODO, root.c_str(), root.c_str());
        return;
    }
    std::string tags;
    for (const std::string &t : scopes)
        tags += (tags.empty() ? "" : ", ") + t;
    std::string example = root + scopes[0];
    IMSG_PRINT(IMSG_CONT, cat(), IMP_VIEW_ROOT_TODO, root.c_str(), tags.c_str(), example.c_str());
}

void update_progress(void *ctx, int64_t done, int64_t total) {
    imp_progress_update(static_cast<imp_run *>(ctx), done, total, false);
}

}   // namespace

// The directory element of the data file's ".": the target directory, made
// below the VOB root where the view has only a plain directory.
int imp_find_target(imp_run *run, const std::string &abs_target) {
    std::string err;
    if (int rc = view_open(abs_target, &run->view, &err)) {
        // Not found: the reason would only say the same again. Any other
        // failure is a view that cannot be read, and the reason says why.
        if (rc != VOB_NOT_FOUND) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IN_VIEW, run->target_path.c_str(), err.c_str());
            return 1;
        }
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_A_VIEW, run->target_path.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), IMP_NOT_A_VIEW_TODO);
        return 1;
    }
    // The first component below the view root names the VOB; the rest is a
    // path below its root, whose directories need not be elements yet.
    std::string root = view_get_root(run->view);
    std::string r = fileutl_realpath(root), t = fileutl_realpath(abs_target);
    std::vector<std::string> below;
    if (fileutl_path_within(t, r))
        below = imp_split_path(t.substr(r.size()));
    if (below.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IN_VIEW, run->target_path.c_str(),
                   "it lies in no VOB of the view");
        hint_view_vobs(run);
        return 1;
    }
    view_loc loc;
    loc.vob_tag = "/" + below[0];
    for (size_t i = 1; i < below.size(); ++i)
        loc.vob_path += (i > 1 ? "/" : "") + below[i];
    if (view_get_vob(run->view, loc.vob_tag, &run->vob)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IN_VIEW, run->target_path.c_str(),
                   view_errmsg(run->view).c_str());
        const std::vector<std::string> &scopes = view_get_scopes(run->view);
        if (std::find(scopes.begin(), scopes.end(), loc.vob_tag) == scopes.end())
            hint_view_vobs(run);   // else the VOB is the right one and cannot be opened
        return 1;
    }
    // A VOB that can only be read is refused before anything is made.
    if (vob_check_writable(run->vob) != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STORE, vob_errmsg(run->vob).c_str());
        return 1;
    }
    run->vob_tag = loc.vob_tag;
    run->target = vob_wk_obj(run->vob, VOB_WK_ROOT_DIR);
    if (loc.vob_path.empty())
        return 0;
    // Make the path's directories below the root as elements where missing.
    vob_txn txn(run->vob);
    std::map<std::string, vob_oid> made;
    vob_oid dir = 0;
    int rc = txn.begin();
    // Down the path one directory at a time, keeping those above the target
    // for the labels of imp_label_directories.
    std::vector<std::string> comps = imp_split_path(loc.vob_path);
    std::string prefix;
    run->target_chain = {run->target};
    for (size_t i = 0; rc == 0 && i < comps.size(); ++i) {
        if (i)
            run->target_chain.push_back(dir);
        prefix += (i ? "/" : "") + comps[i];
        rc = imp_ensure_dir(run, prefix, &dir, &made, &err);
    }
    if (rc || txn.commit()) {
        if (err.empty())
            err = vob_errmsg(run->vob);
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DIR_FAILED, loc.vob_path.c_str(), err.c_str());
        return 1;
    }
    run->target = dir;
    return 0;
}

int imp_update_view(imp_run *run) {
    const std::vector<std::string> &scopes = view_get_scopes(run->view);
    bool in_scope = std::find(scopes.begin(), scopes.end(), run->vob_tag) != scopes.end();
    if (!in_scope && view_add_scope(run->view, run->vob_tag)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_UPDATE_FAILED, view_get_root(run->view).c_str(),
                   view_errmsg(run->view).c_str());
        return 1;
    }
    if (run->verbose)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_UPDATING, view_get_root(run->view).c_str());
    view_progress prog;
    prog.cb = update_progress;
    prog.ctx = run;
    prog.with_total = 1;
    view_update_stats stats;
    std::vector<std::string> warnings;
    int rc = view_update(run->view, &prog, &stats, &warnings);
    imp_progress_update(run, run->progress.update_done, run->progress.update_total, true);
    for (const std::string &w : warnings)
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING, w.c_str());
    if (rc) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_UPDATE_FAILED, view_get_root(run->view).c_str(),
                   view_errmsg(run->view).c_str());
        return 1;
    }
    if (stats.no_contents > 0)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_NO_CONTENTS_LEFT_OUT_N,
                   strutl_count(stats.no_contents, "name", "names").c_str());
    return 0;
}
