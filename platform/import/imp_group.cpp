// Group commit: the elements of a stretch of the data file share one
// transaction and so one sync, each in a savepoint of its own (see imp_group
// in imp_run.h). A kill leaves each element whole or absent: a transaction
// that did not commit holds no element at all.
#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"
#include "runtime/strutl.h"

namespace {

// A group commits when it holds this many elements, this many bytes of
// contents, or has been open this long: a lost transaction costs little to
// redo, and other writers of the VOB wait no longer than that.
const size_t GROUP_ELEMENTS = 256;
const int64_t GROUP_BYTES = int64_t(32) << 20;
const std::chrono::milliseconds GROUP_TIME{500};
// A caller with callbacks hears of each element once it is committed. One
// that takes groups (group_told) gets them closed sooner, so that neither its
// progress nor its stop waits long.
const std::chrono::milliseconds TOLD_GROUP_TIME{100};

// An element of a committed group: counted, listed, shown and told.
void credit(imp_run *run, const imp_done &d) {
    run->elements_done++;
    run->elements_new += d.created;
    run->versions_new += d.n_new;
    run->versions_present += d.n_present;
    run->versions_identical += d.n_identical;
    run->labels_added += d.labels_added;
    run->labels_moved += d.labels_moved;
    for (const std::string &dir : d.dirs)
        run->dir_labels[dir].insert(d.labels.begin(), d.labels.end());
    int already;
    (void)hash_str_enter(d.n_new || d.created ? run->p->imported : run->p->unchanged, d.name.c_str(), nullptr,
                         &already);   // report list only
    if (run->verbose)
        IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_ELEMENT_DONE_N, d.name.c_str(),
                   strutl_count(d.n_new, "version", "versions").c_str(), d.n_present, d.n_identical);
    const imp_callbacks *cb = run->p->callbacks;
    if (!cb)
        return;
    for (const imp_version_event &e : d.events) {
        int stop = e.identical
                       ? (cb->version_identical ? cb->version_identical(cb->ctx, e.vid.c_str(), e.branch) : 0)
                       : (cb->version ? cb->version(cb->ctx, e.vid.c_str(), e.branch, e.is_new) : 0);
        run->stopped = run->stopped || stop != 0;
    }
    if (cb->element && cb->element(cb->ctx, d.name.c_str(), d.elem, d.created ? 1 : 0))
        run->stopped = true;
}

void reset(imp_run *run) {
    run->group.txn.reset();
    run->group.done.clear();
    run->group.types.clear();
    run->group.dirs.clear();
    run->group.bytes = 0;
}

}   // namespace

int imp_group_begin(imp_run *run, std::string *err) {
    if (run->group.txn)
        return 0;
    auto txn = std::make_unique<vob_txn>(run->vob);
    if (txn->begin()) {
        *err = "cannot begin a transaction: " + vob_errmsg(run->vob);
        return 1;
    }
    run->group.txn = std::move(txn);
    run->group.start = std::chrono::steady_clock::now();
    return 0;
}

bool imp_group_full(const imp_run *run) {
    const imp_group &g = run->group;
    // Other callers with callbacks may stop the import right after an
    // element: one element per transaction.
    if (g.txn && run->p->callbacks && !run->p->group_told)
        return true;
    auto limit = run->p->callbacks ? TOLD_GROUP_TIME : GROUP_TIME;
    return g.txn && (g.done.size() >= GROUP_ELEMENTS || g.bytes >= GROUP_BYTES ||
                     std::chrono::steady_clock::now() - g.start >= limit);
}

void imp_group_commit(imp_run *run) {
    if (!run->group.txn)
        return;
    if (run->group.txn->commit()) {
        imp_group_lost(run, "cannot commit: " + vob_errmsg(run->vob));
        return;
    }
    std::vector<imp_done> done = std::move(run->group.done);
    reset(run);
    for (const imp_done &d : done)
        credit(run, d);
}

void imp_group_lost(imp_run *run, const std::string &why) {
    imp_group &g = run->group;
    if (g.txn)
        g.txn->rollback();
    for (const auto &t : g.types)
        run->types.erase(t);
    for (const std::string &d : g.dirs)
        run->dirs.erase(d);
    std::vector<imp_done> done = std::move(g.done);
    reset(run);
    for (const imp_done &d : done)
        imp_report_failed(run, d.name, why);
}
