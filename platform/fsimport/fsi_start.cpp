// fsimport_start: the order of a file-system import (see fsimport_start.h).
// The target and the label are checked before anything changes; then the
// named sources go into the target and the directories below them are
// imported depth first, one at a time, so that what is held in memory is
// one directory's entries and the directories still to visit; finally the
// view is updated.
#include <csignal>
#include <ctime>
#include <unistd.h>

#include "platform/fsimport/fsi_run.h"
#include "runtime/strutl.h"
#include "runtime/typename.h"
#include "runtime/version.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

int label_type(fsi_run *run) {
    const fsimport_params *p = run->p;
    if (!p->mklabel)
        return 0;
    // The store's own rule for type names, checked before anything changes.
    if (!p->label || !typename_acceptable(p->label)) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_LABEL_TYPE_FAILED, p->label ? p->label : "",
                   "a label name has 1 to 255 bytes of letters, digits, \"_\", \"-\", \".\" and other "
                   "printable characters, does not begin with \"-\" or \".\", and is not a number");
        return 1;
    }
    if (p->preview) {
        if (vob_type_find(run->vob, VOB_MT_LBTYPE, p->label, &run->lbtype) != VOB_OK)
            run->lbtype = 0;
        return 0;
    }
    vob_event ev = fsi_event(run, run->now);
    int rc = vob_type_create(run->vob, VOB_MT_LBTYPE, p->label, &ev, &run->lbtype);
    if (rc != VOB_OK && rc != VOB_EXISTS) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_LABEL_TYPE_FAILED, p->label, vob_errmsg(run->vob).c_str());
        return 1;
    }
    return 0;
}

void update_progress(void *ctx, int64_t done, int64_t total) {
    auto *run = static_cast<fsi_run *>(ctx);
    if (!run->tty)
        return;
    char buf[120];
    if (total > 0)
        std::snprintf(buf, sizeof buf, "Updating the view: %lld of %lld", (long long)done, (long long)total);
    else
        std::snprintf(buf, sizeof buf, "Updating the view: %lld", (long long)done);
    imsg_status_draw(buf, done == total);
}

int update_view(fsi_run *run) {
    if (!run->p->quiet)
        IMSG_PRINT(IMSG_NOTICE, fsi_cat(), FSI_UPDATING, view_get_root(run->view).c_str());
    view_progress prog;
    prog.cb = update_progress;
    prog.ctx = run;
    prog.with_total = run->tty ? 1 : 0;
    view_update_stats stats;
    std::vector<std::string> warnings;
    int rc = view_update(run->view, &prog, &stats, &warnings);
    fsi_progress_end(run);
    for (const std::string &w : warnings)
        IMSG_PRINT(IMSG_WARNING, fsi_cat(), FSI_WARNING, w.c_str());
    if (rc != VOB_OK) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_UPDATE_FAILED, view_get_root(run->view).c_str(),
                   view_errmsg(run->view).c_str());
        return 1;
    }
    return 0;
}

void walk(fsi_run *run) {
    while (!run->todo.empty() && !run->stop) {
        fsi_dir d = std::move(run->todo.back());
        run->todo.pop_back();
        if (fsi_stop_requested()) {
            run->stop = true;
            run->stopped_at = fsi_show(run, d.rel);
            break;
        }
        std::vector<fsi_entry> entries;
        std::set<std::string> present;
        if (d.read_entries && fsi_read_source_dir(run, d, &entries, &present) != 0)
            continue;
        fsi_import_dir(run, d, entries, d.read_entries ? &present : nullptr);
    }
}

void summary(fsi_run *run) {
    const fsi_stats &s = run->stats;
    if (!run->p->preview && !run->changed && !s.failed && !run->stop)
        IMSG_PRINT(IMSG_NOTICE, fsi_cat(), FSI_NOTHING_CHANGED);
    else if (run->p->preview)
        IMSG_PRINT(IMSG_NOTICE, fsi_cat(), FSI_PREVIEW_SUMMARY_N,
                   strutl_count(s.elements, "new element", "new elements").c_str(),
                   strutl_count(s.versions, "new version", "new versions").c_str(), s.unchanged,
                   strutl_count(s.removed, "name", "names").c_str(), s.labelled, s.failed);
    else
        IMSG_PRINT(IMSG_NOTICE, fsi_cat(), FSI_SUMMARY_N,
                   strutl_count(s.elements, "new element", "new elements").c_str(),
                   strutl_count(s.versions, "new version", "new versions").c_str(), s.unchanged,
                   strutl_count(s.removed, "name", "names").c_str(), s.labelled, s.failed);
}

}   // namespace

void fsimport_request_stop() { g_stop = 1; }

bool fsi_stop_requested() { return g_stop != 0; }

int fsimport_start(fsimport_params *p, const char *const *sources, int count) {
    fsi_run run;
    run.p = p;
    run.comment = p->comment ? p->comment : FSIMPORT_DEFAULT_COMMENT;
    run.target = p->target ? p->target : "";
    while (run.target.size() > 1 && run.target.back() == '/')
        run.target.pop_back();
    run.now = int64_t(std::time(nullptr));
    run.base_ev = vob_event_now(run.comment);
    run.base_ev.time = run.now;
    run.tty = isatty(2) != 0;
    run.interval = std::chrono::duration<double>(imsg_progress_interval_warn(fsi_cat(), FSI_WARNING));
    run.started = run.last_shown = std::chrono::steady_clock::now();
    if (count < 1 || !sources) {
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_TOO_FEW);
        return 1;
    }
    if (fsi_open_target(&run) != 0 || label_type(&run) != 0) {
        if (run.view)
            view_close(run.view);
        return 1;
    }
    std::vector<fsi_entry> named;
    fsi_named_sources(&run, sources, count, &named);
    fsi_dir top;
    top.elem = run.target_elem;
    top.imported = false;
    fsi_import_dir(&run, top, named, nullptr);
    walk(&run);
    if (!run.stop)
        fsi_label_target_path(&run);
    fsi_progress_end(&run);
    if (run.stop && fsi_stop_requested())
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_INTERRUPTED, run.stopped_at.c_str());
    int rc = run.stats.failed || run.stop ? 1 : 0;
    // Even when this run changed nothing: a run killed before its update
    // may have left the VOB ahead of the view.
    if (!p->preview && update_view(&run) != 0)
        rc = 1;
    summary(&run);
    view_close(run.view);
    return rc;
}

void fsimport_params_release(fsimport_params *p) {
    stg_free(p->not_imported);
    stg_free(p->not_labelled);
    p->not_imported = p->not_labelled = nullptr;
    p->not_imported_count = p->not_labelled_count = 0;
    if (p->reported)
        hash_delete_ht(p->reported);
    p->reported = nullptr;
    stg_delete_area(&p->area);
}

void libvelkfsimport_print_verid() { ks_print_banner("libvelkfsimport"); }
