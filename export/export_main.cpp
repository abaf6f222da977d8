// The exporter main: start-up, the top-level sequence of a run, and the one
// cleanup that every stop with status 1 goes through. The steps themselves
// live in export_options.cpp, export_walk.cpp and export_output.cpp (see
// export_run.h for the state they share and its invariants).
#include <clocale>
#include <csignal>
#include <string>

#include "export/export_names.h"
#include "export/export_run.h"
#include "runtime/fileutl.h"
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
    export_remove_record_files(r);
    export_free_failures(r);
    shutdown_driver(r);
    return 1;
}

int run_export(export_run &r, int argc, char **argv) {
    export_stop stop = export_parse_options(r, argc, argv);
    if (stop == EXPORT_STOP_USAGE)
        r.drv->usage(r.program.c_str());
    if (stop != EXPORT_GO_ON)
        return fatal(r);
    if (export_convert_dates(r) || export_reserve_output(r) || export_make_record_files(r) ||
        export_read_translation(r) || export_open_record_files(r) || export_walk_sources(r))
        return fatal(r);
    int bad_records = export_close_record_files(r);
    shutdown_driver(r);
    atomic_file data;   // removed unless committed
    if (bad_records || export_assemble(r, data) || export_write_translation(r) ||
        export_commit_output(r, data))
        return fatal(r);
    export_report_failures(r);
    export_free_failures(r);
    return r.error_flag;
}

}   // namespace

void export_check_version_request(int argc, char **argv, const char *program) {
    int all = 0;
    if (argc < 2 || !ks_is_version_request(argv[1], &all))
        return;
    ks_print_banner(program);
    if (all)
        ks_print_banner("libvelkexport");
    pfm_exit(0);
}

int export_main(int argc, char **argv, const cm_driver *driver) {
    std::setlocale(LC_ALL, "");
    ks_system_init();
    imsg_set_app_name(argv[0]);
    // Past a file-size limit a write should fail and be reported, with the
    // temporary files removed, rather than the signal ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
    reset_type_names();
    export_run r;
    r.drv = driver;
    r.g.extra_options = "";
    r.g.export_from_dir = nullptr;
    r.g.follow_links_default = 1;
    if (driver->init(argc, argv, &r.fs_ops, &r.kind, &r.g) != 0) {
        IMSG_PRINT(IMSG_ERROR, export_main_cat(), MAIN_INIT_FAILED);
        return 1;
    }
    r.init_ok = true;
    r.st.follow_links = r.g.follow_links_default;
    std::string dir;
    fileutl_strip_leaf(argv[0], &dir, &r.program);
    return run_export(r, argc, argv);
}
