// vantimport: loads an export data file into a directory of a VOB. The
// command line fills the import parameter block; imp_start does the work.
#include <cstdio>
#include <string>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_pool.h"
#include "platform/import/imp_start.h"
#include "runtime/clp.h"
#include "runtime/fileutl.h"
#include "runtime/imsg.h"
#include "runtime/ks.h"
#include "runtime/pfm.h"
#include "runtime/stopsig.h"
#include "runtime/version.h"

namespace {

enum {
    OPT_SETEVENT = 1,
    OPT_DIRECTORY = 2,
    OPT_DEBUG = 3,
    OPT_VERBOSE = 4,
    OPT_COMMENT = 5,
    OPT_IDENTICAL = 6,
    OPT_MASTER = 7,
    OPT_PCASE = 8,
    OPT_NOLOAD = 9,
    OPT_NOLABELDIR = 10,
};

const clp_option option_table[] = {
    {"-n[setevent]", OPT_SETEVENT, 0},
    {"-i[dentical]", OPT_IDENTICAL, 0},
    {"-d[irectory]", OPT_DIRECTORY, 0},
    {"-debug", OPT_DEBUG, 0},
    {"-v[erbose]", OPT_VERBOSE, 0},
    {"-c[omment]", OPT_COMMENT, 0},
    {"-m[aster]", OPT_MASTER, 0},
    {"-p[case]", OPT_PCASE, 0},
    {"-no[load]", OPT_NOLOAD, 0},
    {"-nolab[eldir]", OPT_NOLABELDIR, 0},
    {nullptr, -1, 0},
};

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

[[noreturn]] void usage_exit(clp_hdl **hdl) {
    IMSG_PRINT(IMSG_NOTICE, cat(), IMP_USAGE);
    clp_destroy_hdl(hdl);
    pfm_exit(1);
}

// -h or --help anywhere among the words that are not an option's value.
bool help_requested(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        std::string w = argv[i];
        if (w == "-h" || w == "--help")
            return true;
        int id = clp_find_option(option_table, w);
        if (id == OPT_DIRECTORY || id == OPT_COMMENT)
            ++i;
    }
    return false;
}

// The flags up to the first operand. 0, or 1 after a reported error.
int read_flags(clp_hdl *hdl, imp_params *p) {
    for (;;) {
        int id = -1;
        int rc = clp_get_next_flag_value(hdl, &id);
        if (rc == CLP_ARGS)
            return 0;
        if (rc == CLP_END) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_DATAFILE);
            return 1;
        }
        if (rc != CLP_FLAG || id < 1 || id > 10) {
            IMSG_PRINT(IMSG_ERROR, cat(), IMP_BAD_OPTION, clp_last_flag_word(hdl));
            return 1;
        }
        const char *arg = nullptr;
        switch (id) {
            case OPT_SETEVENT:
                p->setevent = 1;
                break;
            case OPT_IDENTICAL:
                p->identical = 1;
                break;
            case OPT_DEBUG:
                p->debug = 1;
                break;
            case OPT_VERBOSE:
                p->verbose = 1;
                break;
            case OPT_MASTER:
                p->master = 1;
                break;
            case OPT_PCASE:
                p->pcase = 1;
                break;
            case OPT_NOLOAD:
                p->load = 0;
                break;
            case OPT_NOLABELDIR:
                p->label_directory = 0;
                break;
            case OPT_DIRECTORY:
            case OPT_COMMENT:
                if (!clp_get_next_arg(hdl, &arg)) {
                    IMSG_PRINT(IMSG_ERROR, cat(), IMP_NEEDS_ARG,
                               id == OPT_DIRECTORY ? "-d[irectory]" : "-c[omment]");
                    return 1;
                }
                (id == OPT_DIRECTORY ? p->target_dir : p->comment) = arg;
                break;
        }
    }
}

}   // namespace

int main(int argc, char **argv) {
    ks_system_init();
    std::string dir, leaf;
    fileutl_strip_leaf(argc > 0 && argv[0] ? argv[0] : "", &dir, &leaf);
    imsg_set_app_name(leaf.c_str());

    if (help_requested(argc, argv)) {
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_USAGE);
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_HELP);
        pfm_exit(0);
    }
    int all = 0;
    if (argc > 1 && ks_is_version_request(argv[1], &all)) {
        ks_print_banner("vantimport");
        if (all) {
            libvelkimport_print_verid();
            ks_print_banner("libvelkvob");
        }
        pfm_exit(0);
    }

    clp_hdl *hdl = nullptr;
    (void)clp_create_hdl_using_argv(argc - 1, argv + 1, option_table, &hdl);   // refuses no argv
    imp_params params;
    params.target_dir = ".";
    params.label_directory = 1;
    params.comment = "Created by importer";
    params.load = 1;
    if (read_flags(hdl, &params))
        usage_exit(&hdl);
    const char *datafile = nullptr;
    if (!clp_get_next_arg(hdl, &datafile)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_DATAFILE);
        usage_exit(&hdl);
    }
    params.datafile = datafile;

    // A second signal also ends the running extract commands; the store's
    // transactions are atomic, so the VOB stays whole.
    ks_install_stop_handlers(std::string(imsg_app_name()) + ": " + IMSG_SPRINTF(cat(), IMP_STOPPING) + "\n",
                             imp_request_stop, imp_pool_kill_children);
    int rc = imp_start(&params);

    if (params.not_imported && hash_str_count(params.not_imported) > 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NOT_IMPORTED);
        long cursor = 0;
        const char *key;
        void *value;
        while (hash_str_next(params.not_imported, &cursor, &key, &value))
            IMSG_PRINT(IMSG_CONT, cat(), IMP_LIST_ENTRY, key);
    }
    clp_destroy_hdl(&hdl);
    imp_params_release(&params);
    if (params.load == 0)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_NOT_LOADED);
    pfm_exit(rc == 0 ? 0 : 1);
}
