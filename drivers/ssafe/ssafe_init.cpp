// Start-up of the driver, in the order that lets each check rely on the one
// before: the regional formats, the client on PATH, the working project
// (which proves the client answers without prompting), the version banner,
// the driver's options, the source names and TMP.
#include <cstdlib>
#include <string>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "drivers/ssafe/ssafe_run.h"
#include "runtime/date.h"
#include "runtime/getopt.h"
#include "runtime/sysutl.h"

namespace {

const imsg_catalog *cat() { return ssafe_driver_ssafe_msg_table_adr(); }

const char *const DRIVER_OPTIONS = "FV";

// Dates in history entries are month first with 12-hour times; a client
// answering in another regional form would be misread, so such a machine
// is refused before anything is run.
int check_regional_formats() {
    std::string date, time, which;
    if (ssafe_regional_sample(&date, &time, &which) != 0) {
        if (which == "time")
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_TIME_FORMAT);
        else
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_DATE_FORMAT);
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_REGIONAL);
        return 1;
    }
    if (ssafe_regional_ok(date, time))
        return 0;
    IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_DATE_FORMAT);
    IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_REGIONAL);
    IMSG_PRINT(IMSG_CONT, cat(), SSAFE_REGIONAL_SAMPLE, date.c_str(), time.c_str(), "6/8/1994", "9:40:00 PM");
    return 1;
}

int find_client() {
    if (!std::getenv("PATH")) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_PATH);
        return 1;
    }
    std::string found = fileutl_resolve_pathname("ss");
    if (found.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NOT_IN_PATH, "ss");
        return 1;
    }
    ssafe_state().ss_path = found;
    return 0;
}

// `ss dir -I- -F-` names the current project on its first line ("$/proj:").
// An empty answer from a client that failed is a prompt it could not have
// answered: the newlines on its input gave it empty names.
int learn_working_project() {
    std::string text, why, command;
    int status;
    int rc = ssafe_capture({"dir", "-I-", "-F-", "-O"}, &text, &status, &why, &command);
    if (rc > 0)
        return 1;
    if (rc != 0 && status < 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_OPEN_PROCESS, command.c_str(), why.c_str());
        return 1;
    }
    if (text.empty()) {
        if (rc != 0) {
            imsg_printf(IMSG_REPORT, "\n");
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_PROMPTING);
        } else {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_READ_PROCESS, command.c_str(),
                       IMSG_SPRINTF(cat(), SSAFE_REASON_EMPTY).c_str());
        }
        return 1;
    }
    std::string line = ssafe_first_line(text);
    if (rc != 0 || line.size() < 2 || line.back() != ':' || line[0] != '$') {
        std::string reason = rc != 0 ? why : IMSG_SPRINTF(cat(), SSAFE_REASON_FIRST_LINE, line.c_str());
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_TROUBLE_READING, command.c_str(), reason.c_str());
        return 1;
    }
    line.pop_back();
    ssafe_state().working_project = line;
    return 0;
}

void read_driver_options(int argc, char **argv) {
    ssafe_driver_state &s = ssafe_state();
    std::string optstring = std::string(export_common_options()) + DRIVER_OPTIONS;
    nt_getopt_reset();
    int c;
    while ((c = nt_getopt(argc, argv, optstring.c_str())) != -1) {
        if (c == 'F') {
            s.follow = 1;
        } else if (c == 'V') {
            s.record_version = 1;
        } else if (c == 's') {
            int64_t t;
            if (nt_optarg && date_str_to_time(nt_optarg, &t) == 0)
                s.since = t;   // a bad date is the main's to report
        }
    }
}

// Commands join the working project, "/" and the name: a name holding "/"
// would address some other project.
int check_source_names(int argc, char **argv) {
    int bad = 0;
    for (int i = nt_optind; i < argc; ++i)
        if (std::string(argv[i]).find('/') != std::string::npos) {
            IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_SOURCE_SLASH, argv[i]);
            bad = 1;
        }
    return bad;
}

}   // namespace

int ssafe_cm_init(int argc, char **argv, const cm_fs_ops **fs_ops, int *kind, cm_globals *g) {
    ssafe_driver_state &s = ssafe_state();
    int saved_opterr = nt_opterr;
    nt_opterr = 0;
    g->extra_options = DRIVER_OPTIONS;
    *kind = KIND_SSAFE;
    int rc = CM_FAILED;
    if (check_regional_formats() == 0) {
        *fs_ops = &ssafe_fs_ops;
        if (find_client() == 0 && learn_working_project() == 0) {
            export_check_version_request(argc, argv, "vantexport_ssafe");
            g->export_from_dir = s.working_project.c_str();
            read_driver_options(argc, argv);
            if (check_source_names(argc, argv) == 0) {
                if (!std::getenv("TMP")) {
                    IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NO_TMP);
                } else {
                    std::string group = sysutl_mygroupname(), host = sysutl_myhostname();
                    if (!group.empty())
                        s.group = group;
                    if (!host.empty())
                        s.host = host;
                    rc = CM_OK;
                }
            }
        }
    }
    nt_getopt_reset();
    nt_opterr = saved_opterr;
    return rc;
}

void ssafe_cm_usage(const char *) { IMSG_PRINT(IMSG_NOTICE, cat(), SSAFE_USAGE); }

int ssafe_cm_help(const char *, cm_help_text *text) {
    text->kind = KIND_SSAFE;
    text->options = imsg_text(cat(), SSAFE_HELP_OPTIONS);
    text->environment = imsg_text(cat(), SSAFE_HELP_ENVIRONMENT);
    return 0;
}

int ssafe_cm_shutdown() {
    ssafe_state().shares.clear();
    ssafe_state().listed.clear();
    return 0;
}

const char *ssafe_cm_need_cmd() { return "ss"; }
