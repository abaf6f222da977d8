// The exporter main: start-up, the top-level sequence of a run, and the one
// cleanup that every stop with status 1 goes through. The steps themselves
// live in export_options.cpp, export_walk.cpp and export_output.cpp (see
// export_run.h for the state they share and its invariants).
#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "export/export_names.h"
#include "export/export_run.h"
#include "runtime/fileutl.h"
#include "runtime/frontend.h"
#include "runtime/ks.h"
#include "runtime/stopsig.h"
#include "runtime/strutl.h"
#include "runtime/version.h"

namespace {

void shutdown_driver(export_run &r) {
    if (!r.init_ok || r.shutdown_done)
        return;
    r.shutdown_done = true;
    if (r.drv->shutdown() != 0)
        IMSG_PRINT(IMSG_ERROR, export_main_cat(), MAIN_SHUTDOWN_FAILED);
}

// Every stop with status 1 after start-up goes through here.
int fatal(export_run &r) {
    export_drop_data_file(r);
    export_remove_record_files(r);
    export_free_failures(r);
    shutdown_driver(r);
    return 1;
}

// The totals go to stderr whether or not it is a terminal: they end the
// report of a run that wrote its data file.
void report_totals(const export_run &r) {
    IMSG_PRINT(IMSG_REPORT, export_main_cat(), MAIN_TOTALS_COUNTED,
               strutl_count(r.st.num_elements, "element", "elements").c_str(),
               strutl_count(r.st.num_versions, "version", "versions").c_str(),
               strutl_count(r.files_walked, "file", "files").c_str(), export_now() - r.start_time,
               export_failure_count(r));
}

frontend_t front_end(const export_run &r) {
    return {r.program.c_str(), export_main_cat, -1, -1, MAIN_WRITE_FAILED};
}

// A stop asked by SIGINT or SIGTERM, seen at a safe point: the record files
// go, and the run says where it was and what blocks the next one. Status
// 128 + the signal, as the shells show a program that the signal ended.
int interrupted(export_run &r) {
    export_progress(r, true);
    export_drop_data_file(r);
    export_remove_record_files(r);
    export_free_failures(r);
    shutdown_driver(r);
    std::string source = r.current_source.empty() ? "." : r.current_source;
    std::string at = r.current_path.empty() ? source : r.current_path;
    IMSG_PRINT(IMSG_ERROR, export_main_cat(), MAIN_INTERRUPTED_COUNTED, source.c_str(), at.c_str(),
               strutl_count(r.st.num_elements, "element", "elements").c_str(),
               strutl_count(r.st.num_versions, "version", "versions").c_str());
    IMSG_PRINT(IMSG_CONT, export_main_cat(), MAIN_HINT_INTERRUPTED, r.st.output_name.c_str());
    return 128 + ks_stop_signal();
}

// The first signal asks for a stop at the next safe point (the walk's next
// path, an element's next version, before the data file is assembled and
// before it is committed); a second one ends the run at once, from the
// handler: the record files (and a data file being assembled) are removed
// there through the paths registered with the handlers.
void install_stop_plan(const export_run &r) {
    const imsg_catalog *c = export_main_cat();
    ks_stop_plan plan;
    std::string app = imsg_app_name();
    plan.text = app + ": " + IMSG_SPRINTF(c, MAIN_STOPPING) + "\n";
    plan.second_text = app + ": Error: " + IMSG_SPRINTF(c, MAIN_INTERRUPTED_AT_ONCE) + "\n    " +
                       IMSG_SPRINTF(c, MAIN_HINT_INTERRUPTED, r.st.output_name.c_str()) + "\n";
    plan.status_by_signal = true;
    plan.hangup_and_pipe = true;
    ks_install_stop_plan(plan);
}

// Before the data file is committed, what the run printed must have reached
// its standard output and error: a run whose report was lost fails, and
// leaves the empty data file as any failed run. A reader of the output that
// has gone ends the run silently by SIGPIPE, its temporary files removed.
int check_output(export_run &r) {
    int rc = frontend_check_output(front_end(r), nullptr);
    if (rc == FRONTEND_PIPE_GONE) {
        (void)fatal(r);
        ks_die_of_signal(SIGPIPE);
    }
    return rc;
}

// --list-authors once the walk is done: the list, what could not be read
// (its logins are missing from the list), and no data file.
int list_authors(export_run &r, int bad_records) {
    export_remove_record_files(r);
    export_report_failures(r);
    export_print_authors(r);
    long failed = export_failure_count(r);
    export_free_failures(r);
    if (check_output(r) || bad_records || r.error_flag)
        return 1;
    return failed != 0 ? 2 : 0;
}

int run_export(export_run &r, int argc, char **argv) {
    export_stop stop = export_parse_options(r, argc, argv);
    if (stop == EXPORT_STOP_USAGE)
        r.drv->usage(r.program.c_str());
    if (stop != EXPORT_GO_ON)
        return fatal(r);
    install_stop_plan(r);
    // --list-authors reads the store as an export does but keeps no data
    // file: none is reserved, so none blocks the export that follows.
    if (export_convert_dates(r) || (!r.texts.list && export_reserve_output(r)))
        return fatal(r);
    if (export_make_record_files(r) || export_read_translation(r) || export_open_record_files(r))
        return ks_stop_signal() ? interrupted(r) : fatal(r);
    export_set_quiet(r.quiet);
    r.start_time = r.last_draw = export_now();
    r.progress = isatty(STDERR_FILENO) != 0;
    int walk_rc = export_walk_sources(r);
    if (ks_stop_signal())
        return interrupted(r);
    export_progress(r, true);
    if (walk_rc)
        return fatal(r);
    int bad_records = export_close_record_files(r);
    shutdown_driver(r);
    if (r.texts.list)
        return list_authors(r, bad_records);
    atomic_file data;   // removed unless committed
    if (bad_records || export_assemble(r, data))
        return ks_stop_signal() ? interrupted(r) : fatal(r);
    if (ks_stop_signal())
        return interrupted(r);
    if (export_write_translation(r))
        return fatal(r);
    // The report comes before the commit, so that the status of a run whose
    // report could not be written is that of a failed run.
    export_report_failures(r);
    if (export_report_texts(r))
        return fatal(r);
    report_totals(r);
    if (r.drv->end_report)
        r.drv->end_report();
    long failed = export_failure_count(r);
    export_free_failures(r);
    if (check_output(r))
        return fatal(r);
    if (ks_stop_signal())
        return interrupted(r);   // the last safe point: the data file is not put in place
    if (export_commit_output(r, data))
        return fatal(r);
    if (r.error_flag)
        return 1;
    return failed != 0 ? 2 : 0;
}

// The standard streams checked last, for what was printed after the data
// file was committed or by a run that wrote none (help, usage, banner): a
// status of 0 or 2 becomes 1 when they could not be written.
int finish(const export_run &r, int status) {
    if (status != 0 && status != 2)
        return status;
    return frontend_finish(front_end(r), 0) != 0 ? 1 : status;
}

// -h or --help anywhere before "--", except as the value of an option that
// takes one ("-o -h" names a data file).
bool help_requested(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--") == 0)
            return false;
        if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0)
            return true;
        if (a[0] == '-' && a[1] && !a[2] && export_option_takes_value(a[1]))
            ++i;   // its value follows
    }
    return false;
}

// The usage, then what each option the exporter takes means, the
// environment and the exit statuses.
int print_help(const cm_driver *drv, const char *argv0, const std::string &program) {
    cm_help_text text;
    if (drv->help && drv->help(argv0, &text) != 0) {
        IMSG_PRINT(IMSG_ERROR, export_main_cat(), MAIN_INIT_FAILED);
        return 1;
    }
    drv->usage(program.c_str());
    const imsg_catalog *c = export_main_cat();
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPTIONS);
    struct entry {
        char letter;
        int msg;
    };
    static const entry options[] = {
        {'r', MAIN_HELP_OPT_r}, {'o', MAIN_HELP_OPT_o}, {'t', MAIN_HELP_OPT_t}, {'s', MAIN_HELP_OPT_s},
        {'p', MAIN_HELP_OPT_p}, {'I', MAIN_HELP_OPT_I}, {'T', MAIN_HELP_OPT_T}, {'L', MAIN_HELP_OPT_L},
        {'b', MAIN_HELP_OPT_b}, {'v', MAIN_HELP_OPT_v}, {'l', MAIN_HELP_OPT_l},
    };
    for (const entry &e : options)
        if (text.kind == 0 || !export_option_refused(e.letter, text.kind))
            imsg_print_nonl(IMSG_NOTICE, c, e.msg);   // fixed texts without inserts
    if (text.options)
        imsg_printf_nonl(IMSG_NOTICE, "%s", text.options);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPT_q);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPT_TEXTS);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPT_U);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPT_h);
    // -V is the version where no driver letter takes it.
    if (text.kind == KIND_FFILE || text.kind == KIND_VANTOR)
        IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPT_V_version);
    else
        IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_OPT_version);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_END_OPTIONS);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_ENVIRONMENT);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_ENV_TEXTS);
    if (text.environment)
        imsg_printf_nonl(IMSG_NOTICE, "%s", text.environment);
    IMSG_PRINT_NONL(IMSG_NOTICE, c, MAIN_HELP_EXIT_STATUS);
    return 0;
}

}   // namespace

int export_version_asked(int argc, char **argv, const char *v_letters) {
    int all = 0;
    if (argc >= 2 && ks_is_version_request(argv[1], &all))
        return all ? 2 : 1;
    export_words w = export_scan_words(argc, argv, v_letters);
    return w.version_word || (v_letters && w.v_letter) ? 1 : 0;
}

void export_check_version_request(int argc, char **argv, const char *program, const char *v_letters) {
    int asked = export_version_asked(argc, argv, v_letters);
    if (asked == 0)
        return;
    int all = asked == 2;
    ks_print_banner(program);
    if (all)
        ks_print_banner("libvelkexport");
    export_exit(0);
}

void export_exit(int status) {
    frontend_exit({imsg_app_name(), export_main_cat, -1, -1, MAIN_WRITE_FAILED}, status);
}

int export_main(int argc, char **argv, const cm_driver *driver) {
    frontend_init(argv[0], nullptr);
    // Past a file-size limit a write should fail and be reported, with the
    // temporary files removed, rather than the signal ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
    reset_type_names();
    export_run r;
    std::string dir;
    fileutl_strip_leaf(argv[0], &dir, &r.program);
    if (help_requested(argc, argv))
        return finish(r, print_help(driver, argv[0], r.program));
    // The long options are words of their own, which getopt would read as
    // letters: the driver and the main read the command line without them.
    export_words words = export_scan_words(argc, argv);
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i)
        if (std::find(words.main_words.begin(), words.main_words.end(), i) == words.main_words.end())
            args.push_back(argv[i]);
    // The list of --list-authors is the standard output whole, to be kept
    // as a map: no lines per element.
    r.quiet = words.quiet || words.list_authors;
    if (export_open_texts(r, words)) {
        if (words.missing_value)
            driver->usage(r.program.c_str());
        return finish(r, 1);
    }
    r.double_dash = words.double_dash >= 0;
    argc = int(args.size());
    args.push_back(nullptr);
    argv = args.data();
    r.drv = driver;
    r.g.extra_options = "";
    r.g.export_from_dir = nullptr;
    r.g.follow_links_default = 1;
    if (driver->init(argc, argv, &r.fs_ops, &r.kind, &r.g) != 0) {
        IMSG_PRINT(IMSG_ERROR, export_main_cat(), MAIN_INIT_FAILED);
        return finish(r, 1);
    }
    r.init_ok = true;
    r.st.follow_links = r.g.follow_links_default;
    return finish(r, run_export(r, argc, argv));
}
