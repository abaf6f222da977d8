// vantfsimport: copies files and directories into a directory of a VOB in a
// snapshot view. The command line fills the parameter block and names the
// sources; fsimport_start does the work.
//
// Every command-line or wildcard error ends the program with status 1 before
// fsimport_start runs. Expanded wildcards stay a list of names, never one text
// parsed again, so a name holding blanks or quotes reaches the library whole.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/fsimport/fsimport_msgs.h"
#include "platform/fsimport/fsimport_start.h"
#include "runtime/clp.h"
#include "runtime/fileutl.h"
#include "runtime/frontend.h"
#include "runtime/helpopt.h"
#include "runtime/imsg.h"
#include "runtime/ks.h"
#include "runtime/version.h"
#include "runtime/wild.h"

namespace {

enum {
    OPT_RECURSE = 1,
    OPT_RMNAME = 2,
    OPT_COMMENT = 3,
    OPT_MKLABEL = 4,
    OPT_SETEVENT = 5,
    OPT_IDENTICAL = 6,
    OPT_MASTER = 7,
    OPT_UNCO = 8,
    OPT_PREVIEW = 9,
    OPT_DOWNCASE = 10,
    OPT_UPDATES_ONLY = 11,
    OPT_FILTER = 12,
    OPT_QUIET = 13,
    OPT_VERSION = 14,
};

const clp_option option_table[] = {
    {"-r[ecurse]", OPT_RECURSE, 0},
    {"-rm[name]", OPT_RMNAME, 0},
    {"-c[omment]", OPT_COMMENT, 0},
    {"-mk[label]", OPT_MKLABEL, 0},
    {"-upd[ates_only]", OPT_UPDATES_ONLY, 0},
    {"-n[setevent]", OPT_SETEVENT, 0},
    {"-i[dentical]", OPT_IDENTICAL, 0},
    {"-m[aster]", OPT_MASTER, 0},
    {"-unco", OPT_UNCO, 0},
    {"-pre[view]", OPT_PREVIEW, 0},
    {"-fil[ter]", OPT_FILTER, 0},
    {"-dow[ncase]", OPT_DOWNCASE, 0},
    {"-q[uiet]", OPT_QUIET, 0},
    {"--quiet", OPT_QUIET, 0},
    {"-V", OPT_VERSION, 0},
    {"--version", OPT_VERSION, 0},
    {nullptr, -1, 0},
};

const imsg_catalog *cat() { return fsimport_fsimport_msg_table_adr(); }

const frontend_t fe = {"vantfsimport", cat, FSI_USAGE, FSI_HELP};

void print_libraries() {
    libvelkfsimport_print_verid();
    ks_print_banner("libvelkvob");
    ks_print_banner("libvelkcmd");
}

// The flags up to the first source. 0, or 1 after a reported error (the
// caller prints the usage).
int read_flags(clp_hdl *&hdl, fsimport_params *p) {
    for (;;) {
        int id = -1;
        int rc = frontend_next_flag(fe, hdl, FSI_TOO_FEW, FSI_BAD_OPTION, &id);
        if (rc != FRONTEND_FLAG)
            return rc == FRONTEND_OPERANDS ? 0 : 1;
        const char *arg = nullptr;
        switch (id) {
            case OPT_RECURSE:
                p->recurse = 1;
                break;
            case OPT_RMNAME:
                p->rmname = 1;
                break;
            case OPT_SETEVENT:
                p->setevent = 1;
                break;
            case OPT_IDENTICAL:
                p->identical = 1;
                break;
            case OPT_MASTER:
                p->master = 1;
                break;
            case OPT_UNCO:
                p->unco = 1;
                break;
            case OPT_PREVIEW:
                p->preview = 1;
                break;
            case OPT_DOWNCASE:
                p->downcase = 1;
                break;
            case OPT_FILTER:
                p->filter = 1;
                break;
            case OPT_QUIET:
                p->quiet = 1;
                break;
            case OPT_VERSION:
                frontend_banner_exit(fe, &hdl);
            case OPT_UPDATES_ONLY:
                if (!p->mklabel) {
                    IMSG_PRINT(IMSG_ERROR, cat(), FSI_UPDATES_NEEDS_LABEL);
                    return 1;
                }
                p->updates_only = 1;
                break;
            case OPT_COMMENT:
            case OPT_MKLABEL:
                if (!frontend_flag_value(fe, hdl, FSI_NEEDS_ARG,
                                         id == OPT_COMMENT ? "-c[omment]" : "-mk[label]", &arg))
                    return 1;
                if (id == OPT_COMMENT) {
                    p->comment = arg;
                } else {
                    p->mklabel = 1;
                    p->label = arg;
                }
                break;
            default:
                IMSG_PRINT(IMSG_ERROR, cat(), FSI_BAD_OPTION, clp_last_flag_word(hdl));
                return 1;
        }
    }
}

// The words after the flags, as given. A flag among them is kept in *stray
// (the first one) and reported by the caller once wildcards are expanded.
void read_operands(clp_hdl *hdl, std::vector<std::string> *words, std::string *stray) {
    for (;;) {
        int id = -1;
        int rc = clp_get_next_flag_value(hdl, &id);
        if (rc == CLP_END)
            return;
        if (rc != CLP_ARGS) {
            if (stray->empty())
                *stray = clp_last_flag_word(hdl);
            continue;
        }
        const char *arg = nullptr;
        if (!clp_get_next_arg(hdl, &arg))
            return;
        words->emplace_back(arg);
    }
}

// The sources: every word but the last, each wildcard pattern replaced by the
// names it matches. 0, or 1 after a reported error.
int expand_sources(const std::vector<std::string> &words, std::vector<std::string> *sources) {
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        const std::string &w = words[i];
        if (!wild_contains_wildcard_symbols(w.c_str())) {
            sources->push_back(w);
            continue;
        }
        int rc = wild_glob_single(w.c_str(), sources);
        if (rc == WILD_NO_MATCH) {
            IMSG_PRINT(IMSG_ERROR, cat(), FSI_WILD_NO_MATCH, w.c_str());
            return 1;
        }
        if (rc != WILD_OK) {
            IMSG_PRINT(IMSG_ERROR, cat(), FSI_WILD_FAILED, w.c_str());
            return 1;
        }
    }
    return 0;
}

void print_table(int heading, const char *const *names, int count) {
    imsg_print(IMSG_ERROR, cat(), heading);
    for (int i = 0; names && i < count; ++i)
        IMSG_PRINT(IMSG_CONT, cat(), FSI_LIST_ENTRY, names[i] ? names[i] : "");
}

}   // namespace

int main(int argc, char **argv) {
    // The fixed name, whatever the program file is called.
    frontend_init(nullptr, "vantfsimport");
    // A flag after a source is refused, so -h there asks for nothing.
    if (helpopt_requested(argc, argv, option_table, {OPT_COMMENT, OPT_MKLABEL}, HELPOPT_BEFORE_OPERANDS))
        frontend_help_exit(fe);
    frontend_version(fe, argc, argv, print_libraries);

    clp_hdl *hdl = nullptr;
    (void)clp_create_hdl_using_argv(argc - 1, argv + 1, option_table, &hdl);   // refuses no argv
    fsimport_params params;
    params.comment = FSIMPORT_DEFAULT_COMMENT;
    if (read_flags(hdl, &params))
        frontend_usage_exit(fe, &hdl);
    if (params.filter && !params.recurse) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_FILTER_NEEDS_RECURSE);
        frontend_usage_exit(fe, &hdl);
    }
    if (params.filter && params.preview) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_FILTER_PREVIEW);
        frontend_usage_exit(fe, &hdl);
    }

    std::vector<std::string> words, sources;
    std::string stray;
    read_operands(hdl, &words, &stray);
    if (expand_sources(words, &sources)) {
        clp_destroy_hdl(&hdl);
        frontend_exit(fe, 1);
    }
    if (!stray.empty()) {
        std::string reason = "\"" + stray + "\" follows a source; options go before the sources";
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_BAD_CMDLINE, reason.c_str());
        frontend_usage_exit(fe, &hdl);
    }
    if (words.size() < 2) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_TOO_FEW);
        frontend_usage_exit(fe, &hdl);
    }
    // The target is never expanded: it names one directory as written.
    const std::string target = fileutl_strip_pname_sep(words.back());
    params.target = target.c_str();
    std::vector<const char *> names;
    names.reserve(sources.size());
    for (const std::string &s : sources)
        names.push_back(s.c_str());

    frontend_stop_handlers(fe, FSI_STOPPING, fsimport_request_stop, nullptr);
    int rc = fsimport_start(&params, names.data(), int(names.size()));

    if (params.not_imported_count > 0)
        print_table(params.preview ? FSI_WOULD_NOT_IMPORT : FSI_NOT_IMPORTED, params.not_imported,
                    params.not_imported_count);
    if (params.not_labelled_count > 0)
        print_table(FSI_NOT_LABELLED, params.not_labelled, params.not_labelled_count);
    fsimport_params_release(&params);
    clp_destroy_hdl(&hdl);
    frontend_exit(fe, rc == 0 ? 0 : 1);
}
