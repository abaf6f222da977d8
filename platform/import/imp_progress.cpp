// The progress of an import: counts and rate on standard error. On a
// terminal one line redrawn at most five times a second; in a log (standard
// error is a file or a pipe) one plain line per interval and one at the end,
// so that a log shows how far a long import got without filling up.
#include <cstdio>
#include <unistd.h>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"
#include "runtime/imsg.h"

namespace {

using clock_type = std::chrono::steady_clock;

bool due(imp_run *run, clock_type::time_point now) {
    if (run->progress.tty)
        return now - run->progress.last >= std::chrono::milliseconds(200);
    return now - run->progress.last >= run->progress.interval;
}

void draw(imp_run *run) {
    std::fflush(stdout);   // a log that holds both streams keeps their order
    double secs = std::chrono::duration<double>(clock_type::now() - run->progress.start).count();
    // The elements of the open group count as done: they are, short of the
    // commit that follows within a moment.
    long versions = run->versions_new + run->versions_present + run->versions_identical;
    long elements = run->elements_done + run->elements_failed + long(run->group.done.size());
    for (const imp_done &d : run->group.done)
        versions += d.n_new + d.n_present + d.n_identical;
    std::fprintf(stderr, "%s%s: %ld/%lld elements, %ld/%lld versions, %.0f versions/s%s",
                 run->progress.tty ? "\r" : "", imsg_app_name(), elements,
                 (long long)run->head.globals.num_elements, versions,
                 (long long)run->head.globals.num_versions, secs > 0 ? double(versions) / secs : 0.0,
                 run->progress.tty ? "   " : "\n");
    std::fflush(stderr);
    run->progress.drawn = run->progress.tty;
}

}   // namespace

void imp_progress_begin(imp_run *run) {
    const imp_params *p = run->p;
    run->progress.tty = isatty(2);
    run->progress.on = !p->callbacks && (run->progress.tty ? !run->verbose && !p->debug : !p->quiet);
    if (run->progress.on && !run->progress.tty)
        run->progress.interval = std::chrono::duration<double>(
            imsg_progress_interval_warn(importer_import_msg_table_adr(), IMP_WARNING));
    run->progress.start = run->progress.last = clock_type::now();
}

void imp_progress_tick(imp_run *run, bool force) {
    if (!run->progress.on)
        return;
    auto now = clock_type::now();
    if (!force && !due(run, now))
        return;
    run->progress.last = now;
    draw(run);
}

void imp_progress_end(imp_run *run) {
    if (!run->progress.on)
        return;
    draw(run);
    if (run->progress.tty)
        std::fputc('\n', stderr);
    run->progress.drawn = false;
    run->progress.last = clock_type::now();
}

void imp_progress_break(imp_run *run) {
    if (!run->progress.drawn)
        return;
    std::fputc('\n', stderr);
    run->progress.drawn = false;
}

void imp_progress_update(imp_run *run, int64_t done, int64_t total, bool last) {
    imp_progress_line &pl = run->progress;
    pl.update_done = done;
    pl.update_total = total;
    if (!pl.on)
        return;
    auto now = clock_type::now();
    bool shown = pl.update_shown == std::make_pair(done, total);
    if (last ? shown : !due(run, now)) {
        if (last)
            imp_progress_break(run);
        return;
    }
    pl.last = now;
    pl.update_shown = {done, total};
    bool tty = pl.tty;
    std::fflush(stdout);
    if (total >= 0)
        std::fprintf(stderr, "%s%s: updating the view: %lld/%lld entries", tty ? "\r" : "", imsg_app_name(),
                     (long long)done, (long long)total);
    else
        std::fprintf(stderr, "%s%s: updating the view: %lld entries", tty ? "\r" : "", imsg_app_name(),
                     (long long)done);
    std::fputs(tty && !last ? "   " : "\n", stderr);
    std::fflush(stderr);
    pl.drawn = tty && !last;
}
