// Start-up of the driver: its own options, and the small operations around
// them.
#include <string>

#include "drivers/pvcs/pvcs_driver.h"
#include "drivers/pvcs/pvcs_msgs.h"
#include "runtime/getopt.h"

namespace {

const imsg_catalog *cat() { return pvcs_driver_pvcs_msg_table_adr(); }

const char *const DRIVER_OPTIONS = "VG";

}   // namespace

int pvcs_cm_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g) {
    pvcs_driver_state &s = pvcs_state();
    int saved_opterr = nt_opterr;
    nt_opterr = 0;
    g->extra_options = DRIVER_OPTIONS;
    *kind = KIND_PVCS;
    *fs_ops = nullptr;
    export_check_version_request(argc, argv, "vantexport_pvcs");
    std::string optstring = std::string(export_common_options()) + DRIVER_OPTIONS;
    nt_getopt_reset();
    int c;
    while ((c = nt_getopt(argc, argv, optstring.c_str())) != -1) {
        if (c == 'G')
            s.record_group = 1;
        else if (c == 'V')
            s.record_revision = 1;
        // every other option is the main's
    }
    nt_getopt_reset();
    nt_opterr = saved_opterr;
    return 0;
}

void pvcs_cm_usage(const char *) { IMSG_PRINT(IMSG_NOTICE, cat(), PVCS_USAGE_BRACKETED); }

int pvcs_cm_help(const char *, cm_help_text *text) {
    text->kind = KIND_PVCS;
    text->options = imsg_text(cat(), PVCS_HELP_OPTIONS);
    text->environment = imsg_text(cat(), PVCS_HELP_ENVIRONMENT);
    return 0;
}

int pvcs_cm_shutdown() { return 0; }

const char *pvcs_cm_need_cmd() { return "get"; }
