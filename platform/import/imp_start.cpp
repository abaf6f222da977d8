// imp_start: the order of an import (see imp_start.h): the parameters, the
// checks of the data file's head, then the parts (imp_head, imp_target,
// imp_tmpdir, imp_schedule) in turn, and the end: counts, summary, update.
#include "platform/import/imp_start.h"

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_run.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"
#include "runtime/version.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

const int64_t EXPORTER_KIND_CVS = 11;   // as the cvs exporter writes ExporterKind

bool ends_with_component(const std::string &s, const std::string &tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0 &&
           s[s.size() - tail.size() - 1] == '/';
}

// The root of the repository the data file was exported from, as its
// ExportFromDir and one archive's path below the root tell it: the command's
// path is the export directory's path below the root followed by the element
// name (with Attic/ before the leaf of a removed file). "" when they disagree.
std::string exported_root(const std::string &from_dir, std::string below_root, const std::string &name) {
    size_t leaf = below_root.rfind('/');
    if (leaf != std::string::npos && leaf >= 5 && below_root.compare(leaf - 5, 6, "Attic/") == 0 &&
        (leaf == 5 || below_root[leaf - 6] == '/'))
        below_root.erase(leaf - 5, 6);
    std::string dir = from_dir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (below_root == name)
        return dir;
    if (!ends_with_component(below_root, name))
        return "";
    std::string rel = below_root.substr(0, below_root.size() - name.size() - 1);
    if (!ends_with_component(dir, rel))
        return "";
    std::string root = dir.substr(0, dir.size() - rel.size() - 1);
    return root.empty() ? "/" : root;
}

// The first version whose command reads an archive below root, found without
// moving the reader. 1 with *cmd and the element's name, 0 when none does.
int first_cvs_archive(imp_reader *r, const std::string &root, imp_rcs_cmd *cmd, std::string *name) {
    imp_reader_mark mark = imp_reader_tell(r);
    imp_inproc_cfg cfg;
    cfg.cvs = true;
    cfg.cvsroot = root;
    imp_element el;
    imp_error err;
    int found = 0;
    while (!found && imp_read_element(r, &el, &err) == 1)
        for (const imp_version &v : el.versions)
            if (v.extract_cmd && imp_rcs_recognise(cfg, *v.extract_cmd, "", cmd)) {
                *name = el.name;
                found = 1;
                break;
            }
    // A reader that cannot go back stays failed: the import ends where it
    // reads the first element.
    if (imp_reader_seek(r, mark, &err))
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(err).c_str());
    return found;
}

// The recorded commands are cvs commands: they need CVSROOT, and nothing can
// be fetched without it, nor from another repository than the one they were
// exported from, which is told by the first archive they read. 0, or 1 with
// *why filled and, when the data file tells it, *expected (the root of the
// repository it was exported from).
int cvsroot_problem(imp_run *run, std::string *why, std::string *expected) {
    const imp_globals &g = run->head.globals;
    std::string dir, leaf;
    if (g.need_cmd)
        fileutl_strip_leaf(*g.need_cmd, &dir, &leaf);
    if (g.exporter_kind != EXPORTER_KIND_CVS && leaf != "cvs")
        return 0;
    const char *env = std::getenv("CVSROOT");
    if (!env || !*env) {
        *why = "CVSROOT is not set";
        return 1;
    }
    std::string root = env;
    for (const char *method : {":local:", ":fork:"})
        if (root.rfind(method, 0) == 0)
            root.erase(0, std::strlen(method));
    if (root.empty() || root[0] != '/')
        return 0;   // a remote repository; only cvs itself can tell
    struct stat st;
    if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "CVSROOT \"" + std::string(env) + "\" is not a directory";
        return 1;
    }
    if (stat((root + "/CVSROOT").c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "CVSROOT \"" + std::string(env) + "\" holds no CVSROOT directory: it is not a repository root";
        return 1;
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    imp_rcs_cmd cmd;
    std::string name;
    // Paths the tools would rewrite (".." and the like) are left to cvs.
    if (!first_cvs_archive(&run->reader, root, &cmd, &name) || fileutl_is_file(cmd.archive) ||
        fileutl_is_file(cmd.attic))
        return 0;
    std::string below = cmd.archive.substr(root.size() + 1, cmd.archive.size() - root.size() - 3);
    *why = "CVSROOT \"" + std::string(env) + "\" does not hold the archives they read: there is no \"" +
           cmd.archive + "\"";
    if (cmd.archive.find("/Attic/") == std::string::npos)
        *why += " nor \"" + cmd.attic + "\"";
    *why += " (element \"" + name + "\")";
    *expected = exported_root(g.export_from_dir, below, name);
    if (*expected == root)
        expected->clear();   // the repository's own archive is missing: no other root helps
    return 1;
}

int need_cmd_ok(const imp_run *run) {
    const imp_opt_str &need = run->head.globals.need_cmd;
    if (!need || need->empty())
        return 1;
    if (need->find('/') != std::string::npos)
        return access(need->c_str(), X_OK) == 0;
    return !fileutl_resolve_pathname(*need).empty();
}

std::string elements_text(long n) { return strutl_count(n, "element", "elements"); }
std::string versions_text(long n) { return strutl_count(n, "version", "versions"); }

// The view root as a word of a shell command line.
std::string shell_word(const std::string &s) {
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("/._-+,:@%", c))
            return strutl_sh_squote(s);
    return s;
}

// A file read to its end against the counts its globals announce: fewer
// records mean it was cut short (a failure), more only a careless exporter.
void check_counts(imp_run *run) {
    const imp_globals &g = run->head.globals;
    long long ne = g.num_elements, nv = g.num_versions;
    if (run->elements_read < ne || run->versions_read < nv) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_ENDS_EARLY_N, run->datafile.c_str(),
                   elements_text(run->elements_read).c_str(), versions_text(run->versions_read).c_str(), ne,
                   nv);
        IMSG_PRINT(IMSG_CONT, cat(), IMP_ENDS_EARLY_TODO);
        run->failures++;
    } else if (run->elements_read > ne || run->versions_read > nv) {
        IMSG_PRINT(IMSG_WARNING, cat(), IMP_MORE_THAN_ANNOUNCED_N, run->datafile.c_str(),
                   elements_text(run->elements_read).c_str(), versions_text(run->versions_read).c_str(), ne,
                   nv);
    }
}

// How far an interrupted import got, that running it again goes on, and,
// unless the view was updated or was not to be, how to load what is in the
// VOB now. 1.
int report_interrupted(imp_run *run, bool updated) {
    if (!run->rolled_back.empty())
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_ROLLED_BACK, run->rolled_back.c_str());
    std::string new_versions = strutl_count(run->versions_new, "new version", "new versions");
    IMSG_PRINT(IMSG_ERROR, cat(), IMP_INTERRUPTED_N, elements_text(run->elements_done).c_str(),
               run->elements_new, new_versions.c_str());
    IMSG_PRINT(IMSG_CONT, cat(), IMP_RUN_AGAIN);
    if (run->p->load && !updated && run->view) {
        const std::string &root = view_get_root(run->view);
        IMSG_PRINT(IMSG_CONT, cat(), IMP_VIEW_NOT_UPDATED, root.c_str(), shell_word(root).c_str());
    }
    return 1;
}

// The summary of what was imported, with the time the run took.
void report_summary(imp_run *run) {
    if (run->versions_new == 0 && run->elements_new == 0 && run->failures == 0 && run->elements_done > 0) {
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_NOTHING_NEW, run->datafile.c_str());
        return;
    }
    std::string present = strutl_count(run->versions_present, "version was", "versions were");
    IMSG_PRINT(IMSG_NOTICE, cat(), IMP_SUMMARY_N, elements_text(run->elements_done).c_str(),
               run->elements_new, versions_text(run->versions_new).c_str(), present.c_str(),
               run->versions_identical);
}

void report_elapsed(imp_run *run) {
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - run->started).count();
    long versions = run->versions_new + run->versions_present + run->versions_identical;
    IMSG_PRINT(IMSG_NOTICE, cat(), IMP_ELAPSED, versions_text(versions).c_str(), secs,
               secs > 0 ? double(versions) / secs : 0.0);
}

// Everything after the parameters were checked and the tables made.
int run_import(imp_run *run) {
    imp_params *p = run->p;
    imp_error err;
    if (imp_texts_open(run))
        return 1;
    if (imp_reader_open(run->datafile.c_str(), &run->reader, &err) ||
        imp_read_head(&run->reader, &run->head, &err)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(err).c_str());
        return 1;
    }
    if (p->list_authors)
        return imp_texts_list(run);
    const imp_globals &g = run->head.globals;
    if (!need_cmd_ok(run)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NEED_CMD, run->datafile.c_str(), g.need_cmd->c_str());
        return 1;
    }
    std::string cvs_why, cvs_root;
    if (cvsroot_problem(run, &cvs_why, &cvs_root)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_CVSROOT, run->datafile.c_str(), cvs_why.c_str());
        if (cvs_root.empty())
            IMSG_PRINT(IMSG_CONT, cat(), IMP_CVSROOT_TODO);
        else
            IMSG_PRINT(IMSG_CONT, cat(), IMP_CVSROOT_EXPECTED, g.export_from_dir.c_str(), cvs_root.c_str(),
                       cvs_root.c_str());
        return 1;
    }
    if (imp_texts_check(run))
        return 1;
    std::string abs_target = fileutl_make_abs_pn(run->target_path);
    struct stat st;
    if (stat(abs_target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_TARGET, run->target_path.c_str());
        return 1;
    }
    if (imp_find_target(run, abs_target))
        return 1;
    run->from_dir = g.export_from_dir.empty() ? fileutl_getcwd() : fileutl_make_abs_pn(g.export_from_dir);
    run->onto = imp_split_path(g.onto_branch.value_or(""));
    p->branch_type = run->onto.empty() ? "" : run->onto.back();
    if (run->verbose)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_READING, run->datafile.c_str(), run->target_path.c_str());

    const imp_callbacks *cb = p->callbacks;
    if (cb && cb->range && cb->range(cb->ctx, long(g.num_elements), long(g.num_versions)))
        run->stopped = true;
    if (imp_make_types(run))
        return 1;
    imp_make_directories(run);

    if (imp_stop_requested())
        run->interrupted = true;
    if (!run->interrupted) {
        if (int e = imp_make_tmp_dir(run)) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_TMP_FAILED, fileutl_tmpdir().c_str(), std::strerror(e));
            return 1;
        }
        if (imp_start_workers(run))
            return 1;
        imp_inproc_configure(&run->inproc);
        if (p->debug && !run->inproc.why_not.empty())
            IMSG_PRINT(IMSG_NOTICE, cat(), IMP_INPROCESS_OFF, run->inproc.why_not.c_str());
    }
    std::string last = imp_import_elements(run);
    imp_pool_stop(&run->pool);
    if (p->debug && !run->tmp_dir.empty())
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_TMP_KEPT, run->tmp_dir.c_str());

    // A request after the last element still skips the labels and the update.
    if (run->interrupted || imp_stop_requested())
        return report_interrupted(run, false);
    if (run->stopped) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_STOPPED, last.c_str());
        run->failures++;
    } else if (run->read_failed) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_DATAFILE_ERROR, imp_error_text(run->read_err).c_str());
        IMSG_PRINT(IMSG_CONT, cat(), IMP_REST_NOT_READ, run->read_err.line, run->datafile.c_str());
        run->failures++;
    } else {
        check_counts(run);
    }
    imp_label_directories(run);
    report_summary(run);
    imp_texts_report(run);
    if (run->labels_added + run->labels_moved > 0 || !run->head.types.label.empty() ||
        (g.label_all && !g.label_all->empty()))
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_LABEL_SUMMARY, run->labels_added, run->labels_moved);
    // Only about revisions read for what was imported: a run that made
    // nothing new read only those that were identical to their predecessor
    // before (they leave no trace of their own in the VOB, so each run reads
    // them again); -debug says it anyway.
    if (run->revs_in_process > 0 && (run->versions_new > 0 || p->debug))
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_INPROCESS_SHARE, run->revs_in_process,
                   run->revs_in_process + run->revs_by_command, run->revs_by_command);
    if (run->mem.spilled > 0 || (p->debug && run->revs_in_process > 0))
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_MEMORY_SPILLED, run->mem.spilled,
                   long(run->mem.spilled_bytes >> 10), long(run->mem.limit >> 10), long(run->mem.peak >> 10));
    if (p->load && imp_update_view(run))
        run->failures++;
    if (imp_stop_requested())   // the view update cannot be stopped midway
        return report_interrupted(run, p->load != 0);
    report_elapsed(run);
    return run->failures ? 1 : 0;
}

}   // namespace

void imp_request_stop() { g_stop = 1; }
int imp_stop_requested() { return g_stop != 0; }
void imp_clear_stop() { g_stop = 0; }

vob_event imp_make_event(const imp_run *run, const imp_event &ev, const imp_opt_str &comment) {
    vob_event out = vob_event_now(comment.value_or(""));
    if (run->p->setevent)
        return out;
    if (ev.user) {
        out.user = *ev.user;
        out.name = *ev.user;
    }
    if (ev.group)
        out.group = *ev.group;
    if (ev.name)
        out.name = *ev.name;
    if (ev.host)
        out.host = *ev.host;
    out.time = ev.time;
    return out;
}

std::vector<std::string> imp_split_path(const std::string &path) { return strutl_split(path, '/'); }

int imp_start(imp_params *params) {
    if (!params->imported)
        params->imported = hash_str_create(64, 0, 0);
    if (!params->unchanged)
        params->unchanged = hash_str_create(64, 0, 0);
    if (!params->not_imported)
        params->not_imported = hash_str_create(64, 0, 0);
    if (!params->datafile || !*params->datafile) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_DATAFILE_PARAM);
        return 1;
    }
    imp_run run;
    run.p = params;
    run.verbose = params->verbose && !params->quiet;
    run.datafile = params->datafile;
    run.target_path = params->target_dir && *params->target_dir ? params->target_dir : ".";
    int rc = run_import(&run);
    view_close(run.view);
    return rc;
}

void imp_params_release(imp_params *params) {
    hash_table **tables[] = {&params->imported, &params->unchanged, &params->not_imported};
    for (hash_table **t : tables) {
        if (*t)
            hash_delete_ht(*t);
        *t = nullptr;
    }
}

void libvelkimport_print_verid() { ks_print_banner("libvelkimport"); }
