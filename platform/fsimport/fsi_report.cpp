// Reporting of a file-system import: printed paths, the two report tables,
// preview lines and the progress line.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/fsimport/fsi_run.h"

const imsg_catalog *fsi_cat() { return fsimport_fsimport_msg_table_adr(); }

std::string fsi_join(const std::string &dir, const std::string &leaf) {
    if (dir.empty())
        return leaf;
    if (leaf.empty())
        return dir;
    return dir.back() == '/' ? dir + leaf : dir + "/" + leaf;
}

std::string fsi_show(const fsi_run *run, const std::string &rel) { return fsi_join(run->target, rel); }
std::string fsi_view_path(const fsi_run *run, const std::string &rel) {
    return fsi_join(run->target_vpath, rel);
}

// Appends a name to a table of the caller's block, the name copied into its area.
static void list_in(fsi_run *run, const char ***table, int *count, const std::string &name, char tag) {
    fsimport_params *p = run->p;
    if (!p->area)
        p->area = stg_create_area(4096);
    if (!p->reported)
        p->reported = hash_str_create(219, 0, 1);
    if (!p->area || !p->reported)
        return;
    std::string key = std::string(1, tag) + name;
    int already = 0;
    if (hash_str_enter(p->reported, key.c_str(), nullptr, &already) != 0 || already)
        return;
    auto grown = static_cast<const char **>(stg_realloc(*table, sizeof(char *) * size_t(*count + 1)));
    char *copy = stg_area_strdup(p->area, name.c_str());
    if (!grown || !copy)
        return;
    *table = grown;
    (*table)[(*count)++] = copy;
}

void fsi_list_not_imported(fsi_run *run, const std::string &shown) {
    list_in(run, &run->p->not_imported, &run->p->not_imported_count, shown, '1');
}

void fsi_list_not_labelled(fsi_run *run, const std::string &shown) {
    list_in(run, &run->p->not_labelled, &run->p->not_labelled_count, shown, '2');
}

static void report(fsi_run *run, int severity, int num, const std::string &rel, const std::string &why) {
    std::string shown = fsi_show(run, rel);
    if (run->tty)
        imsg_status_clear();
    imsg_print(severity, fsi_cat(), num, shown.c_str(), why.c_str());
    fsi_list_not_imported(run, shown);
    run->stats.failed++;
}

void fsi_fail(fsi_run *run, const std::string &rel, const std::string &why) {
    IMSG_CHECK(FSI_FAILED, "", "");
    report(run, IMSG_ERROR, FSI_FAILED, rel, why);
}

void fsi_skip(fsi_run *run, const std::string &rel, const std::string &why) {
    IMSG_CHECK(FSI_SKIPPED, "", "");
    report(run, IMSG_WARNING, FSI_SKIPPED, rel, why);
}

void fsi_action(fsi_run *run, const char *action, const std::string &rel) {
    fsi_action_shown(run, action, fsi_show(run, rel));
}

void fsi_action_shown(const fsi_run *run, const char *action, const std::string &shown) {
    if (!run->p->quiet)
        IMSG_PRINT(IMSG_NOTICE, fsi_cat(), FSI_ACTION, action, shown.c_str());
}

static std::string progress_text(const fsi_run *run) {
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - run->started).count();
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "%s: %ld names, %ld new elements, %ld new versions, %ld unchanged (%.0f s)",
                  run->p->preview ? "Previewing" : "Importing", run->seen, run->stats.elements,
                  run->stats.versions, run->stats.unchanged, secs);
    return buf;
}

// On a terminal the line is redrawn at most five times a second; in a log
// one line every VANTOR_PROGRESS_INTERVAL seconds (default 10).
void fsi_progress(fsi_run *run, bool force) {
    auto now = std::chrono::steady_clock::now();
    if (run->tty) {
        if (force || now - run->last_shown >= std::chrono::milliseconds(200)) {
            if (imsg_status_draw(progress_text(run), force))
                run->last_shown = now;
        }
        return;
    }
    if (!run->p->quiet && now - run->last_shown >= run->interval) {
        run->last_shown = now;
        imsg_printf(IMSG_REPORT, "%s\n", progress_text(run).c_str());
    }
}

void fsi_progress_end(fsi_run *run) {
    if (run->tty)
        imsg_status_clear();
}
