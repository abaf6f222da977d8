// vantfsimport: copies files and directories into a directory of a VOB in a
// snapshot view. The command line fills the parameter block and names the
// sources; fsimport_start does the work.
//
// Every command-line or wildcard error ends the program with status 1 before
// fsimport_start runs. Expanded wildcards stay a list of names, never one text
// parsed again, so a name holding blanks or quotes reaches the library whole.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/fsimport/fsimport_msgs.h"
#include "platform/fsimport/fsimport_start.h"
#include "runtime/clp.h"
#include "runtime/fileutl.h"
#include "runtime/imsg.h"
#include "runtime/ks.h"
#include "runtime/pfm.h"
#include "runtime/stopsig.h"
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
    {nullptr, -1, 0},
};

const imsg_catalog *cat() { return fsimport_fsimport_msg_table_adr(); }

[[noreturn]] void usage_exit(clp_hdl **hdl) {
    IMSG_PRINT(IMSG_NOTICE, cat(), FSI_USAGE);
    clp_destroy_hdl(hdl);
    pfm_exit(1);
}

// -h or --help among the flags, that is before the first source or "--".
bool help_requested(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        std::string w = argv[i];
        if (w == "-h" || w == "--help")
            return true;
        if (w == "--" || w.size() < 2 || w[0] != '-')
            return false;
        int id = clp_find_option(option_table, w);
        if (id == OPT_COMMENT || id == OPT_MKLABEL)
            ++i;
    }
    return false;
}

// The flags up to the first source. 0, or 1 after a reported error (the
// caller prints the usage).
int read_flags(clp_hdl *hdl, fsimport_params *p) {
    for (;;) {
        int id = -1;
        int rc = clp_get_next_flag_value(hdl, &id);
        if (rc == CLP_ARGS)
            return 0;
        if (rc == CLP_END) {
            IMSG_PRINT(IMSG_ERROR, cat(), FSI_TOO_FEW);
            return 1;
        }
        if (rc != CLP_FLAG) {
            IMSG_PRINT(IMSG_ERROR, cat(), FSI_BAD_OPTION, clp_last_flag_word(hdl));
            return 1;
        }
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
            case OPT_UPDATES_ONLY:
                if (!p->mklabel) {
                    IMSG_PRINT(IMSG_ERROR, cat(), FSI_UPDATES_NEEDS_LABEL);
                    return 1;
                }
                p->updates_only = 1;
                break;
            case OPT_COMMENT:
            case OPT_MKLABEL:
                if (!clp_get_next_arg(hdl, &arg)) {
                    IMSG_PRINT(IMSG_ERROR, cat(), FSI_NEEDS_ARG,
                               id == OPT_COMMENT ? "-c[omment]" : "-mk[label]");
                    return 1;
                }
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
    ks_system_init();
    // The fixed name, whatever the program file is called.
    imsg_set_app_name("vantfsimport");
    std::setlocale(LC_ALL, "");

    if (help_requested(argc, argv)) {
        IMSG_PRINT(IMSG_NOTICE, cat(), FSI_USAGE);
        IMSG_PRINT(IMSG_NOTICE, cat(), FSI_HELP);
        pfm_exit(0);
    }
    int all = 0;
    if (argc > 1 && ks_is_version_request(argv[1], &all)) {
        ks_print_banner("vantfsimport");
        if (all) {
            libvelkfsimport_print_verid();
            ks_print_banner("libvelkvob");
            ks_print_banner("libvelkcmd");
        }
        pfm_exit(0);
    }

    clp_hdl *hdl = nullptr;
    (void)clp_create_hdl_using_argv(argc - 1, argv + 1, option_table, &hdl);   // refuses no argv
    fsimport_params params;
    params.comment = FSIMPORT_DEFAULT_COMMENT;
    if (read_flags(hdl, &params))
        usage_exit(&hdl);
    if (params.filter && !params.recurse) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_FILTER_NEEDS_RECURSE);
        usage_exit(&hdl);
    }
    if (params.filter && params.preview) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_FILTER_PREVIEW);
        usage_exit(&hdl);
    }

    std::vector<std::string> words, sources;
    std::string stray;
    read_operands(hdl, &words, &stray);
    if (expand_sources(words, &sources)) {
        clp_destroy_hdl(&hdl);
        pfm_exit(1);
    }
    if (!stray.empty()) {
        std::string reason = "\"" + stray + "\" follows a source; options go before the sources";
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_BAD_CMDLINE, reason.c_str());
        usage_exit(&hdl);
    }
    if (words.size() < 2) {
        IMSG_PRINT(IMSG_ERROR, cat(), FSI_TOO_FEW);
        usage_exit(&hdl);
    }
    // The target is never expanded: it names one directory as written.
    const std::string target = fileutl_strip_pname_sep(words.back());
    params.target = target.c_str();
    std::vector<const char *> names;
    names.reserve(sources.size());
    for (const std::string &s : sources)
        names.push_back(s.c_str());

    ks_install_stop_handlers(std::string(imsg_app_name()) + ": " + IMSG_SPRINTF(cat(), FSI_STOPPING) + "\n",
                             fsimport_request_stop, nullptr);
    int rc = fsimport_start(&params, names.data(), int(names.size()));

    if (params.not_imported_count > 0)
        print_table(params.preview ? FSI_WOULD_NOT_IMPORT : FSI_NOT_IMPORTED, params.not_imported,
                    params.not_imported_count);
    if (params.not_labelled_count > 0)
        print_table(FSI_NOT_LABELLED, params.not_labelled, params.not_labelled_count);
    fsimport_params_release(&params);
    clp_destroy_hdl(&hdl);
    pfm_exit(rc == 0 ? 0 : 1);
}
