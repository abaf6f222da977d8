// Where the contents of each version come from: a fetch of the pool, a batch
// read in process, an extract file or a version of another VOB; and the
// fetches of an element collected and their files removed when it is done.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/import/imp_elem.h"
#include "platform/import/imp_msgs.h"
#include "platform/view/pname.h"
#include "runtime/digest.h"

namespace {

int64_t file_size(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}

// Waits for the batch of an element's revisions read from their archive.
int collect_batch(imp_run *run, imp_queued *q) {
    if (q->batch_ticket < 0)
        return 0;
    imp_fetch_result res;
    if (imp_pool_wait(&run->pool, q->batch_ticket, &res))
        return 1;
    q->batch_ticket = -1;
    run->queued_jobs -= q->batch->slots.size();
    for (const imp_rcs_slot &s : q->batch->slots)
        (s.in_process ? run->revs_in_process : run->revs_by_command)++;
    if (run->p->debug && !q->batch->why_commands.empty())
        IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_INPROCESS_NOT, q->el.name.c_str(),
                   q->batch->why_commands.c_str());
    return 0;
}

}   // namespace

bool imp_contents::none() const { return path.empty() && !bytes; }
int64_t imp_contents::size() const { return bytes ? int64_t(bytes->size()) : file_size(path); }

std::string imp_contents::sha256() const {
    std::string hex;
    int64_t n;
    if (bytes ? digest_sha256_hex(*bytes, &hex) : digest_sha256_file(path, &hex, &n))
        return "";
    return hex;
}

vob_data imp_contents::data() const {
    return bytes ? vob_data_bytes(*bytes) : none() ? vob_data_none() : vob_data_file(path);
}

// Where the contents of version i are: none for a version without contents.
int imp_el_get_contents(imp_elem_ctx *c, size_t i, imp_contents *out) {
    imp_run *run = c->run;
    const imp_version &v = c->el->versions[i];
    imp_fetch &f = c->q->fetches[i];
    *out = imp_contents();
    std::string *path = &out->path;
    if (!f.fill_error.empty())
        return imp_el_fail(c, "version " + v.version_id + ": " + f.fill_error);
    if (f.slot >= 0) {
        // A batch that a stop request ended is an interruption, not a failure.
        bool stopped = collect_batch(run, c->q) != 0 || c->q->batch->slots[size_t(f.slot)].stopped;
        if (stopped) {
            c->cancelled = true;
            return imp_el_fail(c, "the import was interrupted");
        }
        const imp_rcs_slot &s = c->q->batch->slots[size_t(f.slot)];
        if (run->p->debug && !s.in_process)
            IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_RUNNING, s.job.command.c_str());
        if (s.status)
            return imp_el_fail(c, "version " + v.version_id + ": " + s.message);
        if (s.in_file)
            *path = s.job.out_path;
        else
            out->bytes = &s.bytes;
        return 0;
    }
    if (v.extract_cmd) {
        imp_fetch_result res;
        if (run->p->debug)
            IMSG_PRINT(IMSG_NOTICE, importer_import_msg_table_adr(), IMP_RUNNING, f.job.command.c_str());
        // A command not fetched ahead (its version seemed present) runs now,
        // through the pool too, so that a stop request ends it.
        if (f.ticket < 0) {
            f.ticket = imp_pool_submit(&run->pool, f.job);
            run->queued_jobs++;
        }
        int cancelled = imp_pool_wait(&run->pool, f.ticket, &res);
        f.ticket = -1;
        run->queued_jobs--;
        if (cancelled) {
            c->cancelled = true;
            return imp_el_fail(c, "the import was interrupted");
        }
        if (res.status)
            return imp_el_fail(c, "version " + v.version_id + ": " + res.message);
        *path = f.job.out_path;
        return 0;
    }
    if (!v.extract_file)
        return 0;
    const std::string &xf = *v.extract_file;
    std::string file, vid;
    if (vob_split_xpname(xf, &file, &vid)) {
        if (!file.empty() && file[0] != '/')
            file = run->from_dir + "/" + file;
        vob_t *src = nullptr;
        vob_oid src_ver = 0;
        std::string err;
        if (vob_resolve_pname_cached(run->pnames.get(), file + "@@" + vid, &src, &src_ver, &err))
            return imp_el_fail(c, "version " + v.version_id + ": cannot read " + xf + ": " + err);
        // Read in process, whatever form the other VOB stores them in.
        std::string pool_file;
        int rc = vob_ver_get_data(src, src_ver, &pool_file, &out->held);
        if (rc == VOB_NOT_FOUND) {
            path->clear();
            return 0;
        }
        if (rc)
            return imp_el_fail(c, "version " + v.version_id + ": cannot read " + xf + ": " + vob_errmsg(src));
        if (!pool_file.empty())
            *path = pool_file;
        else
            out->bytes = out->held.get();
        return 0;
    }
    *path = !xf.empty() && xf[0] == '/' ? xf : run->from_dir + "/" + xf;
    struct stat st;
    if (stat(path->c_str(), &st) != 0)
        return imp_el_fail(c, "version " + v.version_id + ": cannot open the extract file \"" + *path +
                                  "\": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return imp_el_fail(
            c, "version " + v.version_id + ": the extract file \"" + *path + "\" is not a regular file");
    return 0;
}

void imp_el_drop_fetch(imp_run *run, imp_fetch *f) {
    if (f->ticket < 0)
        return;
    imp_fetch_result res;
    (void)imp_pool_wait(&run->pool, f->ticket, &res);
    f->ticket = -1;
    run->queued_jobs--;
}

// Collects what was fetched for an element, so no ticket is left, and
// removes the files.
void imp_el_release_fetches(imp_run *run, imp_queued *q) {
    if (q->batch_ticket >= 0) {
        imp_fetch_result res;
        (void)imp_pool_wait(&run->pool, q->batch_ticket, &res);
        q->batch_ticket = -1;
        run->queued_jobs -= q->batch->slots.size();
    }
    for (imp_fetch &f : q->fetches) {
        imp_el_drop_fetch(run, &f);
        // Only a command that ran wrote its file; a version read in process
        // or never fetched has none to remove.
        if (!run->p->debug && !f.job.out_path.empty() && f.slot < 0) {
            std::remove(f.job.out_path.c_str());
            if (f.job.mode == IMP_EXTRACT_LEAF_IN_DIR)
                std::remove(f.job.work_dir.c_str());
        }
    }
    if (q->batch && !run->p->debug)
        for (const imp_rcs_slot &s : q->batch->slots)
            if (s.in_file)
                std::remove(s.job.out_path.c_str());
    q->batch.reset();
}
