// One directory of a file-system import. Its names go into the VOB in one
// transaction (a new one every FSI_CHUNK names, so that a huge directory
// does not hold the VOB for long), which makes one new directory version and
// needs one sync; each name has a savepoint of its own inside it, so that a
// name that fails is rolled back alone. Counts, report lines and the
// directories to descend into are taken over only once the transaction is
// committed.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/fsimport/fsi_run.h"

namespace {

const size_t FSI_CHUNK = 1000;

struct done_entry {
    std::string rel;
    fsi_outcome outcome;
};

// Takes over what a committed transaction did.
void take_over(fsi_run *run, std::vector<done_entry> &done, std::vector<fsi_dir> *subs) {
    for (done_entry &d : done) {
        fsi_stats &a = d.outcome.add;
        run->stats.elements += a.elements;
        run->stats.versions += a.versions;
        run->stats.unchanged += a.unchanged;
        run->stats.removed += a.removed;
        run->stats.labelled += a.labelled;
        for (const std::string &shown : d.outcome.not_labelled)
            fsi_list_not_labelled(run, shown);
        if (d.outcome.descend)
            subs->push_back(std::move(d.outcome.sub));
    }
    done.clear();
}

// A transaction that could not be committed: nothing of it is in the VOB.
void lose(fsi_run *run, std::vector<done_entry> &done, const std::string &why) {
    for (const done_entry &d : done) {
        const fsi_stats &a = d.outcome.add;
        if (d.outcome.descend || a.elements || a.versions || a.unchanged || a.removed || a.labelled)
            fsi_fail(run, d.rel, why);
    }
    done.clear();
}

// The checkouts of this view that stand in the way, cancelled first with
// unco (each its own transaction; the edits are kept as FILE.keep).
void cancel_checkouts(fsi_run *run, const fsi_dir_state &ds, std::vector<fsi_entry> &entries) {
    std::vector<fsi_entry> kept;
    for (fsi_entry &e : entries) {
        const vob_dirent *d = ds.find(e.name);
        vob_oid ck = 0;
        if (e.kind != fsi_entry::FILE || !d || d->mtype != VOB_MT_FILE_ELEM ||
            vob_elem_find_ckout(run->vob, d->elem, run->view_tag, &ck) != VOB_OK) {
            kept.push_back(std::move(e));
            continue;
        }
        std::string rel = fsi_join(ds.dir->rel, e.name);
        if (run->p->preview) {
            fsi_action(run, "uncheckout", rel);
            kept.push_back(std::move(e));
            continue;
        }
        if (view_uncheckout(run->view, fsi_join(run->target_real, rel)) != VOB_OK) {
            fsi_fail(run, rel, view_errmsg(run->view));
            continue;
        }
        run->changed = true;
        kept.push_back(std::move(e));
    }
    entries = std::move(kept);
}

// The names of the directory that the source no longer has.
std::vector<vob_dirent> gone_names(const fsi_run *run, const fsi_dir_state &ds,
                                   const std::set<std::string> *present) {
    std::vector<vob_dirent> gone;
    if (!present || !run->p->rmname || !ds.dir->imported || !ds.dir->elem)
        return gone;
    for (const vob_dirent &d : ds.names) {
        if (present->count(d.name))
            continue;
        if (ds.dir->elem == run->root_elem && d.elem == run->lost_found)
            continue;
        gone.push_back(d);
    }
    return gone;
}

// Runs one step in a savepoint. 0 when it is kept; 1 when it was rolled
// back (reported); -1 when the transaction itself is lost.
template <class Step>
int in_savepoint(fsi_run *run, const std::string &rel, std::vector<done_entry> &done, Step step) {
    vob_savepoint sp(run->vob);
    done_entry d;
    d.rel = rel;
    std::string why;
    if (sp.begin() != VOB_OK) {
        fsi_fail(run, rel, vob_errmsg(run->vob));
        return -1;
    }
    if (step(&d.outcome, &why) == 0 && sp.release() == VOB_OK) {
        done.push_back(std::move(d));
        return 0;
    }
    if (why.empty())
        why = vob_errmsg(run->vob);
    int kept = sp.rollback() == VOB_OK;
    fsi_fail(run, rel, why);
    return kept ? 1 : -1;
}

// The directory version the view selects, and its names.
int read_vob_dir(fsi_run *run, fsi_dir_state *ds, bool changing) {
    const fsi_dir &dir = *ds->dir;
    vob_oid ver = 0, latest = 0;
    vob_ver_info vi;
    std::string vp = fsi_view_path(run, dir.rel);
    int rc = vob_select_version(run->vob, dir.elem, run->rules, run->view_tag, &ver, nullptr, VOB_MT_DIR_ELEM,
                                &vp);
    if (rc == VOB_NOT_FOUND) {
        fsi_fail(run, dir.rel, "the view's config spec selects no version of this directory");
        return 1;
    }
    if (rc != VOB_OK || vob_ver_get(run->vob, ver, &vi) != VOB_OK ||
        vob_branch_get_latest(run->vob, vi.branch, &latest) != VOB_OK ||
        vob_dir_read(run->vob, ver, &ds->names) != VOB_OK) {
        fsi_fail(run, dir.rel, vob_errmsg(run->vob));
        return 1;
    }
    if (changing && latest != ver) {
        fsi_fail(run, dir.rel,
                 "the view selects " + vi.id + " of this directory, which is not the latest version on its " +
                     "branch, so new names would not show in the view");
        return 1;
    }
    ds->branch = vi.branch;
    ds->start_ver = ver;
    return 0;
}

void preview_dir(fsi_run *run, fsi_dir_state &ds, std::vector<fsi_entry> &entries,
                 const std::vector<vob_dirent> &gone, std::vector<fsi_dir> *subs) {
    std::vector<done_entry> done(1);
    fsi_outcome &o = done[0].outcome;
    for (const vob_dirent &d : gone) {
        std::string why;
        (void)fsi_remove_name(run, ds, d, &o, &why);
    }
    for (const fsi_entry &e : entries) {
        done_entry one;
        std::string why;
        fsi_plan plan;
        if (fsi_plan_entry(run, ds, e, &plan, &why) != 0 ||
            fsi_apply_entry(run, ds, e, plan, &one.outcome, &why) != 0)
            fsi_fail(run, fsi_join(ds.dir->rel, e.name), why);
        else
            done.push_back(std::move(one));
        run->seen++;
        fsi_progress(run, false);
    }
    bool made = ds.dir->elem == 0 || !gone.empty();
    for (const done_entry &d : done)
        made = made || d.outcome.add.elements || d.outcome.add.versions || d.outcome.add.removed;
    fsi_label_dir(run, ds, made, &done[0].outcome);
    take_over(run, done, subs);
}

}   // namespace

void fsi_import_dir(fsi_run *run, const fsi_dir &dir, std::vector<fsi_entry> &entries,
                    const std::set<std::string> *present) {
    fsi_dir_state ds;
    ds.dir = &dir;
    bool may_change = !entries.empty() || (present && run->p->rmname);
    if (dir.elem && read_vob_dir(run, &ds, may_change))
        return;
    std::vector<vob_dirent> gone = gone_names(run, ds, present);
    if (dir.elem && run->p->unco)
        cancel_checkouts(run, ds, entries);
    std::vector<fsi_dir> subs;
    if (run->p->preview) {
        preview_dir(run, ds, entries, gone, &subs);
    } else {
        size_t next = 0;
        bool first = true;
        std::string failed;   // why a transaction of the directory was lost
        while (!run->stop && (first || next < entries.size())) {
            vob_txn txn(run->vob);
            if (int rc = txn.begin()) {
                std::string why = vob_errmsg(run->vob);
                fsi_fail(run, dir.rel, why);
                if (rc == VOB_BUSY) {
                    IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_BUSY_STOP, why.c_str());
                    run->stop = true;
                    run->stopped_at = fsi_show(run, dir.rel);
                }
                break;
            }
            std::vector<done_entry> done;
            int lost = 0;
            if (first)
                for (const vob_dirent &d : gone)
                    if ((lost = in_savepoint(run, fsi_join(dir.rel, d.name), done,
                                             [&](fsi_outcome *o, std::string *why) {
                                                 return fsi_remove_name(run, ds, d, o, why);
                                             })) < 0)
                        break;
            size_t end = std::min(entries.size(), next + FSI_CHUNK);
            for (; lost >= 0 && next < end; ++next) {
                if (fsi_stop_requested()) {
                    run->stop = true;
                    run->stopped_at = fsi_show(run, fsi_join(dir.rel, entries[next].name));
                    break;
                }
                const fsi_entry &e = entries[next];
                std::string rel = fsi_join(dir.rel, e.name), why;
                fsi_plan plan;
                if (fsi_plan_entry(run, ds, e, &plan, &why) != 0) {
                    fsi_fail(run, rel, why);
                } else if (!fsi_plan_writes(run, plan)) {
                    done_entry d;
                    d.rel = rel;
                    (void)fsi_apply_entry(run, ds, e, plan, &d.outcome, &why);
                    done.push_back(std::move(d));
                } else {
                    lost = in_savepoint(run, rel, done, [&](fsi_outcome *o, std::string *w) {
                        return fsi_apply_entry(run, ds, e, plan, o, w);
                    });
                }
                run->seen++;
                fsi_progress(run, false);
            }
            bool last = next >= entries.size();
            if (lost >= 0 && last && !run->stop) {
                vob_oid latest = 0;
                bool made = dir.elem && vob_branch_get_latest(run->vob, ds.branch, &latest) == VOB_OK &&
                            latest != ds.start_ver;
                lost = in_savepoint(run, dir.rel, done, [&](fsi_outcome *o, std::string *) {
                    fsi_label_dir(run, ds, made, o);
                    return 0;
                });
            }
            // What earlier transactions of the directory committed stays, and
            // the directories they made are still visited below.
            if (lost < 0) {
                failed = vob_errmsg(run->vob);
                txn.rollback();
                lose(run, done, failed);
                break;
            }
            if (txn.commit() != VOB_OK) {
                failed = vob_errmsg(run->vob);
                lose(run, done, failed);
                break;
            }
            for (const done_entry &d : done) {
                const fsi_stats &a = d.outcome.add;
                if (a.elements || a.versions || a.removed || a.labelled)
                    run->changed = true;
            }
            take_over(run, done, &subs);
            first = false;
        }
        for (; !failed.empty() && next < entries.size(); ++next)
            fsi_fail(run, fsi_join(dir.rel, entries[next].name), "not tried after that: " + failed);
    }
    // Depth first, in name order.
    for (auto it = subs.rbegin(); it != subs.rend(); ++it)
        run->todo.push_back(std::move(*it));
}
