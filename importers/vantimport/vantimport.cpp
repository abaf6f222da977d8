// vantimport: loads an export data file into a directory of a VOB. The
// command line fills the import parameter block; imp_start does the work.
#include <cstdio>
#include <string>

#include "platform/import/imp_msgs.h"
#include "platform/import/imp_pool.h"
#include "platform/import/imp_start.h"
#include "runtime/clp.h"
#include "runtime/frontend.h"
#include "runtime/helpopt.h"
#include "runtime/imsg.h"
#include "runtime/ks.h"
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
    OPT_QUIET = 11,
    OPT_VERSION = 12,
    OPT_AUTHORS = 13,
    OPT_AUTHORS_STRICT = 14,
    OPT_ENCODING = 15,
    OPT_LIST_AUTHORS = 16,
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
    {"-q[uiet]", OPT_QUIET, 0},
    {"--quiet", OPT_QUIET, 0},
    // Matching is case-sensitive, so -V is not -v[erbose].
    {"-V", OPT_VERSION, 0},
    {"--version", OPT_VERSION, 0},
    // The exporters' spellings too, so that one command line serves both.
    {"-authors", OPT_AUTHORS, 0},
    {"--authors", OPT_AUTHORS, 0},
    {"-strictauthors", OPT_AUTHORS_STRICT, 0},
    {"--authors-strict", OPT_AUTHORS_STRICT, 0},
    {"-encoding", OPT_ENCODING, 0},
    {"--encoding", OPT_ENCODING, 0},
    {"-listauthors", OPT_LIST_AUTHORS, 0},
    {"--list-authors", OPT_LIST_AUTHORS, 0},
    {nullptr, -1, 0},
};

const imsg_catalog *cat() { return importer_import_msg_table_adr(); }

const frontend_t fe = {"vantimport", cat, IMP_USAGE, IMP_HELP};

void print_libraries() {
    libvelkimport_print_verid();
    ks_print_banner("libvelkvob");
}

// The flags up to the first operand. 0, or 1 after a reported error.
int read_flags(clp_hdl *&hdl, imp_params *p) {
    for (;;) {
        int id = -1;
        int rc = frontend_next_flag(fe, hdl, IMP_NO_DATAFILE, IMP_BAD_OPTION, &id);
        if (rc != FRONTEND_FLAG)
            return rc == FRONTEND_OPERANDS ? 0 : 1;
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
            // Of -v and -q the later one counts.
            case OPT_VERBOSE:
                p->verbose = 1;
                p->quiet = 0;
                break;
            case OPT_QUIET:
                p->quiet = 1;
                p->verbose = 0;
                break;
            case OPT_VERSION:
                frontend_banner_exit(fe, &hdl);
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
            case OPT_AUTHORS_STRICT:
                p->authors_strict = 1;
                break;
            case OPT_LIST_AUTHORS:
                p->list_authors = 1;
                break;
            case OPT_DIRECTORY:
            case OPT_COMMENT:
            case OPT_AUTHORS:
            case OPT_ENCODING: {
                const char *word = id == OPT_DIRECTORY ? "-d[irectory]"
                                   : id == OPT_COMMENT ? "-c[omment]"
                                   : id == OPT_AUTHORS ? "-authors"
                                                       : "-encoding";
                if (!frontend_flag_value(fe, hdl, IMP_NEEDS_ARG, word, &arg))
                    return 1;
                (id == OPT_DIRECTORY ? p->target_dir
                 : id == OPT_COMMENT ? p->comment
                 : id == OPT_AUTHORS ? p->authors
                                     : p->encoding) = arg;
                break;
            }
            default:
                IMSG_PRINT(IMSG_ERROR, cat(), IMP_BAD_OPTION, clp_last_flag_word(hdl));
                return 1;
        }
    }
}

// The first word after the data file that is an option by the parser's rule
// (not after "--"), or null.
const char *option_after(clp_hdl *hdl) {
    for (;;) {
        int id = -1;
        int rc = clp_get_next_flag_value(hdl, &id);
        if (rc == CLP_END)
            return nullptr;
        if (rc != CLP_ARGS)
            return clp_last_flag_word(hdl);
        const char *word = nullptr;
        if (!clp_get_next_arg(hdl, &word))
            return nullptr;
    }
}

}   // namespace

int main(int argc, char **argv) {
    frontend_init(argc > 0 ? argv[0] : nullptr, nullptr);
    // Words after the data file are not read, so -h among them still asks.
    if (helpopt_requested(argc, argv, option_table, {OPT_DIRECTORY, OPT_COMMENT, OPT_AUTHORS, OPT_ENCODING},
                          HELPOPT_AMONG_OPERANDS))
        frontend_help_exit(fe);
    frontend_version(fe, argc, argv, print_libraries);

    clp_hdl *hdl = nullptr;
    (void)clp_create_hdl_using_argv(argc - 1, argv + 1, option_table, &hdl);   // refuses no argv
    imp_params params;
    params.target_dir = ".";
    params.label_directory = 1;
    params.comment = "Created by importer";
    params.load = 1;
    if (read_flags(hdl, &params))
        frontend_usage_exit(fe, &hdl);
    const char *datafile = nullptr;
    if (!clp_get_next_arg(hdl, &datafile)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_NO_DATAFILE);
        frontend_usage_exit(fe, &hdl);
    }
    params.datafile = datafile;
    // The words after the data file are not read: an option among them
    // would be lost without a word, and -no[load] or -d ignored does harm
    // (the view updated, the wrong directory), so the run is refused.
    if (const char *stray = option_after(hdl)) {
        IMSG_PRINT(IMSG_ERROR, cat(), IMP_OPTION_AFTER_DATAFILE, stray, datafile);
        frontend_usage_exit(fe, &hdl);
    }

    // A second signal also ends the running extract commands; the store's
    // transactions are atomic, so the VOB stays whole.
    frontend_stop_handlers(fe, IMP_STOPPING, imp_request_stop, imp_pool_kill_children);
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
    if (params.load == 0 && !params.list_authors)
        IMSG_PRINT(IMSG_NOTICE, cat(), IMP_NOT_LOADED);
    frontend_exit(fe, rc == 0 ? 0 : 1);
}
