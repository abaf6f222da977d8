// The scheduling of an import: elements read ahead while the worker pool
// fetches their contents, imported in file order, and grouped into commits.
#include <algorithm>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"

namespace {

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

// Puts version i of an element into the element's batch when its command can
// be read in process from the same archive as the batch's others. 1 when it was.
int add_to_batch(imp_run *run, imp_queued *q, size_t i) {
    imp_rcs_cmd cmd;
    if (!imp_rcs_recognise(run->inproc, *q->el.versions[i].extract_cmd, run->from_dir, &cmd))
        return 0;
    if (!q->batch) {
        q->batch = std::make_shared<imp_rcs_batch>();
        q->batch->mem = &run->mem;
        q->batch->tool = cmd.tool;
        q->batch->archive = cmd.archive;
        q->batch->attic = cmd.attic;
    } else if (q->batch->tool != cmd.tool || q->batch->archive != cmd.archive) {
        return 0;
    }
    imp_fetch &f = q->fetches[i];
    f.slot = int(q->batch->slots.size());
    imp_rcs_slot slot;
    slot.rev = cmd.rev;
    slot.job = f.job;
    q->batch->slots.push_back(std::move(slot));
    return 1;
}

// Reads elements ahead and hands their extract commands to the pool until
// enough fetches are on their way, or the contents read so far fill the
// memory budget. The next element is always on its way, so that its batch
// runs while the one in hand is stored (and spills what does not fit).
void read_ahead(imp_run *run) {
    while (!run->read_end &&
           (run->queue.empty() || (run->queued_jobs < run->window && !imp_mem_full(&run->mem)))) {
        imp_queued q;
        int rc = imp_read_element(&run->reader, &q.el, &run->read_err);
        if (rc <= 0) {
            run->read_end = true;
            run->read_failed = rc < 0;
            return;
        }
        imp_texts_apply(run, &q.el);
        run->elements_read++;
        run->versions_read += long(q.el.versions.size());
        std::set<std::string> present;
        imp_existing_origins(run, q.el.name, &present);
        q.fetches.resize(q.el.versions.size());
        for (size_t i = 0; i < q.el.versions.size(); ++i) {
            const imp_version &v = q.el.versions[i];
            if (!v.extract_cmd)
                continue;
            imp_fetch &f = q.fetches[i];
            long n = run->tmp_seq++;
            std::string out = run->tmp_dir + "/c" + std::to_string(n);
            std::string work = run->tmp_dir + "/w" + std::to_string(n);
            if (imp_extract_fill(*v.extract_cmd, run->from_dir, out, work, &f.job, &f.fill_error))
                continue;
            if (present.count(imp_origin_value(v)))
                continue;   // most likely there already: fetched only if it is not
            if (add_to_batch(run, &q, i))
                continue;
            f.ticket = imp_pool_submit(&run->pool, f.job);
            run->queued_jobs++;
        }
        if (q.batch) {
            imp_extract_job job;
            job.batch = q.batch;
            q.batch_ticket = imp_pool_submit(&run->pool, std::move(job));
            run->queued_jobs += q.batch->slots.size();
        }
        run->queue.push_back(std::move(q));
    }
}

// 1 when every fetch of the element has run or runs within a moment (one
// moment for them all).
int contents_ready(imp_run *run, const imp_queued &q) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    auto done = [&](long ticket) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        return imp_pool_done_within(&run->pool, ticket, int(std::max<long long>(0, left.count()))) != 0;
    };
    if (q.batch_ticket >= 0 && !done(q.batch_ticket))
        return 0;
    for (const imp_fetch &f : q.fetches)
        if (f.ticket >= 0 && !done(f.ticket))
            return 0;
    return 1;
}

}   // namespace

// The worker pool: the import goes on with the workers that could be
// started, and fails only when there are none.
int imp_start_workers(imp_run *run) {
    std::string warning, why;
    run->workers = imp_pool_default_workers(&warning);
    if (!warning.empty())
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING, warning.c_str());
    warning.clear();
    run->mem.limit = imp_mem_default_limit(&warning);
    if (!warning.empty())
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING, warning.c_str());
    run->pool.cancelled = imp_stop_requested;
    int started = imp_pool_start(&run->pool, run->workers, run->p->debug != 0, &why);
    if (started == 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_WORKERS, run->datafile.c_str(), why.c_str());
        return 1;
    }
    if (!why.empty())
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_WARNING,
                   (why + "; going on with " + std::to_string(started)).c_str());
    run->workers = started;
    // Far enough ahead that the workers stay busy while a commit waits for the disk.
    run->window = size_t(run->workers) * 64 + 64;
    return 0;
}

// The elements of the data file, imported in groups while the pool fetches
// the contents of those read ahead, and the last group committed, also
// after a stop request. Returns the name of the last element handled.
std::string imp_import_elements(imp_run *run) {
    imp_progress_begin(run);

    std::string last;
    while (!run->stopped && !run->interrupted) {
        if (imp_stop_requested()) {
            run->interrupted = true;
            break;
        }
        read_ahead(run);
        if (run->queue.empty())
            break;
        imp_queued q = std::move(run->queue.front());
        run->queue.pop_front();
        // Work that is done is committed before a wait for contents: a slow
        // command must not hold it, nor the VOB, uncommitted.
        if (!run->group.done.empty() && !contents_ready(run, q))
            imp_group_commit(run);
        imp_import_element(run, &q);
        last = q.el.name;
        if (imp_group_full(run))
            imp_group_commit(run);
        imp_progress_tick(run, false);
    }
    // What the group holds is whole, also after a stop request.
    imp_group_commit(run);
    imp_progress_end(run);
    return last;
}
