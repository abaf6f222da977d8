// The progress line of an import on a terminal: counts and rate, redrawn at
// most five times a second on standard error.
#include <cstdio>
#include <unistd.h>

#include "platform/import/imp_run.h"
#include "runtime/imsg.h"

namespace {

void draw(imp_run *run) {
    double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run->progress.start).count();
    long versions = run->versions_new + run->versions_present + run->versions_identical;
    long elements = run->elements_done + run->elements_failed;
    std::fprintf(stderr, "\r%s: %ld/%lld elements, %ld/%lld versions, %.0f versions/s   ", imsg_app_name(),
                 elements, (long long)run->head.globals.num_elements, versions,
                 (long long)run->head.globals.num_versions, secs > 0 ? double(versions) / secs : 0.0);
    std::fflush(stderr);
    run->progress.drawn = true;
}

}   // namespace

void imp_progress_begin(imp_run *run) {
    run->progress.on = !run->p->callbacks && isatty(2) && !run->p->verbose && !run->p->debug;
    run->progress.start = run->progress.last = std::chrono::steady_clock::now();
}

void imp_progress_tick(imp_run *run, bool force) {
    if (!run->progress.on)
        return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - run->progress.last < std::chrono::milliseconds(200))
        return;
    run->progress.last = now;
    draw(run);
}

void imp_progress_end(imp_run *run) {
    if (!run->progress.on)
        return;
    draw(run);
    std::fputc('\n', stderr);
    run->progress.drawn = false;
}

void imp_progress_break(imp_run *run) {
    if (!run->progress.drawn)
        return;
    std::fputc('\n', stderr);
    run->progress.drawn = false;
}
