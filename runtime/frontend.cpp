// The start-up and command-line steps the front ends share (frontend.h).
#include "runtime/frontend.h"

#include "runtime/ks.h"
#include "runtime/pfm.h"
#include "runtime/stopsig.h"
#include "runtime/version.h"

#include <string>

void frontend_init(const char *argv0, const char *fixed_name) {
    ks_system_init();
    imsg_set_app_name(fixed_name ? fixed_name : argv0);
}

void frontend_help_exit(const frontend_t &fe) {
    imsg_print(IMSG_NOTICE, fe.cat(), fe.usage);
    imsg_print(IMSG_NOTICE, fe.cat(), fe.help);
    pfm_exit(0);
}

void frontend_version(const frontend_t &fe, int argc, char **argv, void (*libraries)()) {
    int all = 0;
    if (argc < 2 || !ks_is_version_request(argv[1], &all))
        return;
    ks_print_banner(fe.name);
    if (all && libraries)
        libraries();
    pfm_exit(0);
}

void frontend_usage_exit(const frontend_t &fe, clp_hdl **hdl) {
    imsg_print(IMSG_NOTICE, fe.cat(), fe.usage);
    clp_destroy_hdl(hdl);
    pfm_exit(1);
}

int frontend_next_flag(const frontend_t &fe, clp_hdl *hdl, int no_operand, int bad_option, int *id) {
    *id = -1;
    int rc = clp_get_next_flag_value(hdl, id);
    if (rc == CLP_ARGS)
        return FRONTEND_OPERANDS;
    if (rc == CLP_END) {
        imsg_print(IMSG_ERROR, fe.cat(), no_operand);
        return FRONTEND_ERROR;
    }
    if (rc != CLP_FLAG) {
        imsg_print(IMSG_ERROR, fe.cat(), bad_option, clp_last_flag_word(hdl));
        return FRONTEND_ERROR;
    }
    return FRONTEND_FLAG;
}

int frontend_flag_value(const frontend_t &fe, clp_hdl *hdl, int needs_arg, const char *word,
                        const char **arg) {
    if (clp_get_next_arg(hdl, arg))
        return 1;
    imsg_print(IMSG_ERROR, fe.cat(), needs_arg, word);
    return 0;
}

void frontend_stop_handlers(const frontend_t &fe, int stopping, void (*request)(), void (*at_second)()) {
    ks_install_stop_handlers(std::string(imsg_app_name()) + ": " + imsg_sprintf(fe.cat(), stopping) + "\n",
                             request, at_second);
}
