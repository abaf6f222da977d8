// Start-up of the driver: the mode from the program name, the CVS repository
// checks, the driver's own options; and the small operations around them.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "rcsarchive/rcs_archive.h"
#include "drivers/rcs/rcs_driver.h"
#include "rcsarchive/rcs_msgs.h"
#include "runtime/date.h"
#include "runtime/fileutl.h"
#include "runtime/getopt.h"

namespace {

const imsg_catalog *cat() { return rcs_driver_rcs_msg_table_adr(); }

const char *const DRIVER_OPTIONS = "AVS";

int mode_from_leaf(const std::string &leaf) {
    if (leaf == "vantexport_rcs")
        return RCS_MODE_RCS;
    if (leaf == "vantexport_si")
        return RCS_MODE_SI;
    if (leaf == "vantexport_cvs")
        return RCS_MODE_CVS;
    return RCS_MODE_NONE;
}

bool real_path(const std::string &p, std::string *out) {
    char *r = ::realpath(p.c_str(), nullptr);
    if (!r)
        return false;
    *out = r;
    std::free(r);
    return true;
}

// The current directory relative to the repository named by CVSROOT.
int check_cvs_repository() {
    rcs_driver_state &s = rcs_state();
    const char *root = std::getenv("CVSROOT");
    if (!root) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_ENV_NOT_SET, "CVSROOT");
        IMSG_PRINT(IMSG_CONT, cat(), RCS_HINT_CVSROOT_UNSET, fileutl_getcwd().c_str());
        return 1001;
    }
    static const char local[] = ":local:";
    size_t match = 0;
    while (match < 7 && root[match] == local[match])
        ++match;
    if (match > 0 && match < 7) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_BAD_ACCESS, root);
        IMSG_PRINT(IMSG_CONT, cat(), RCS_HINT_CVSROOT_ROOT, root);
        return 1001;
    }
    std::string repo = root + match;
    std::string cwd = fileutl_getcwd();
    if (cwd.empty()) {
        IMSG_PRINT_SHARED(IMSG_ERROR, "rcs_driver", _tbs_cmsg_tbs_msg_table_adr(), TBS_MSG_CWD,
                          imsg_strerror(errno));
        return 1001;
    }
    std::string repo_real, cwd_real;
    if (!real_path(repo, &repo_real)) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_CANT_RESOLVE_REPO, repo.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), RCS_HINT_CVSROOT_ROOT, root);
        return 1001;
    }
    if (!real_path(cwd, &cwd_real)) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_CANT_RESOLVE_CWD, cwd.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), RCS_HINT_CVSROOT_CWD, cwd.c_str(), repo_real.c_str());
        return 1001;
    }
    if (cwd_real == repo_real) {
        s.cvs_rel_cwd = ".";
    } else if (repo_real == "/") {
        s.cvs_rel_cwd = cwd_real.substr(1);
    } else if (cwd_real.compare(0, repo_real.size(), repo_real) == 0 && cwd_real[repo_real.size()] == '/') {
        s.cvs_rel_cwd = cwd_real.substr(repo_real.size() + 1);
    } else {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_CANT_RESOLVE_CWD, cwd_real.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), RCS_HINT_CVSROOT_CWD, cwd_real.c_str(), repo_real.c_str());
        return 1001;
    }
    return 0;
}

const char *mode_name(int mode) {
    switch (mode) {
        case RCS_MODE_SI:
            return "vantexport_si";
        case RCS_MODE_CVS:
            return "vantexport_cvs";
        default:
            return "vantexport_rcs";
    }
}

}   // namespace

int rcs_mode_of_program(const char *argv0) {
    std::string dir, leaf;
    fileutl_strip_leaf(std::string(argv0 ? argv0 : ""), &dir, &leaf);
    return mode_from_leaf(leaf);
}

int rcs_cm_help(const char *argv0, cm_help_text *text) {
    rcs_driver_state &s = rcs_state();
    s.mode = rcs_mode_of_program(argv0);
    if (s.mode == RCS_MODE_NONE) {
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_UNKNOWN_MODE);
        return 1001;
    }
    const char *prefix = rcs_attribute_prefix();
    static std::string options;   // outlives the call: the main prints it after
    options = IMSG_SPRINTF(cat(), RCS_HELP_OPTIONS, prefix, prefix);
    text->kind = s.mode;
    text->environment = "";
    if (s.mode == RCS_MODE_CVS) {
        options += imsg_text(cat(), RCS_HELP_CVS_OPTIONS);
        text->environment = imsg_text(cat(), RCS_HELP_CVS_ENVIRONMENT);
    }
    text->options = options.c_str();
    return 0;
}

int rcs_cm_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g) {
    rcs_driver_state &s = rcs_state();
    s.mode = rcs_mode_of_program(argc > 0 ? argv[0] : nullptr);
    if (s.mode == RCS_MODE_NONE) {
        *kind = 0;
        IMSG_PRINT(IMSG_ERROR, cat(), RCS_UNKNOWN_MODE);
        return 1001;
    }
    *kind = s.mode;
    int saved_opterr = nt_opterr;
    nt_opterr = 0;
    g->extra_options = DRIVER_OPTIONS;
    *fs_ops = nullptr;
    export_check_version_request(argc, argv, mode_name(s.mode));
    if (s.mode == RCS_MODE_CVS && check_cvs_repository() != 0) {
        nt_opterr = saved_opterr;
        return 1001;
    }
    std::string optstring = std::string(export_common_options()) + DRIVER_OPTIONS;
    nt_getopt_reset();
    int c, rc = 0;
    while (rc == 0 && (c = nt_getopt(argc, argv, optstring.c_str())) != -1) {
        switch (c) {
            case 'A':
                if (s.mode != RCS_MODE_CVS) {
                    rc = 1001;
                    break;
                }
                s.export_attic = 1;
                *kind = KIND_CVS_ATTIC;
                break;
            case 'S':
                s.record_state = 1;
                break;
            case 'V':
                s.record_revision = 1;
                break;
            case 's': {
                int64_t t = 0;
                if (nt_optarg && date_str_to_time(nt_optarg, &t) == 0)
                    s.since = t;   // a bad date is the main's to report
                break;
            }
            default:
                break;
        }
    }
    nt_getopt_reset();
    nt_opterr = saved_opterr;
    return rc;
}

void rcs_cm_usage(const char *program) {
    if (rcs_state().mode == RCS_MODE_CVS)
        IMSG_PRINT(IMSG_NOTICE, cat(), RCS_CVS_USAGE, program);
    else
        IMSG_PRINT(IMSG_NOTICE, cat(), RCS_USAGE, program);
}

int rcs_cm_shutdown() { return 0; }

const char *rcs_cm_need_cmd() { return rcs_state().mode == RCS_MODE_CVS ? "cvs" : "co"; }
