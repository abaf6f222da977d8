// Start-up of the driver, in the order that lets each check rely on the one
// before: the regional formats, the client on PATH, the working project
// (which proves the client answers without prompting; when it fails, the
// cause is named: another program found as ss, a prompt, no SSDIR), the
// version banner, the driver's options, the source names, TMP, and last the
// form of the dates the client writes.
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "drivers/ssafe/ssafe_run.h"
#include "runtime/date.h"
#include "runtime/getopt.h"
#include "runtime/sysutl.h"
#include "runtime/typename.h"

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

bool contains_nocase(const std::string &text, const char *word) {
    std::string low = text;
    for (char &c : low)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return low.find(word) != std::string::npos;
}

// What a client asking for a user name or password writes before it reads
// the empty lines it is given.
bool mentions_prompt(const std::string &text) {
    return contains_nocase(text, "password") || contains_nocase(text, "username") ||
           contains_nocase(text, "user name");
}

// The first line of a text that holds more than blanks, shown with stray
// bytes and controls escaped; "" when there is none.
std::string first_words(const std::string &text) {
    size_t pos = 0;
    std::string line;
    while (ssafe_next_line(text, &pos, &line))
        if (line.find_first_not_of(" \t") != std::string::npos)
            return typename_show_text(line.substr(0, 200));
    return "";
}

// The program that runs as ss, as a full path.
std::string client_path() {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(ssafe_state().ss_path, ec);
    return ec ? ssafe_state().ss_path : p.lexically_normal().string();
}

enum client_kind { CLIENT, CLIENT_PROMPTING, NOT_CLIENT };

// `ss about` tells the client from another program of the same name (Linux
// has a socket tool /usr/bin/ss): the client names itself in its answer.
// A prompt in the answer is the client's too.
client_kind identify_client() {
    std::string out, err, answer, errors, why;
    int status = -1;
    int ran = -1;
    bool asked = ssafe_tmpfile(&out) == 0 && ssafe_tmpfile(&err) == 0;
    if (asked) {
        ran = ssafe_run({"about"}, {out, err}, &status, &why);
        (void)ssafe_read_file(out, &answer);
        (void)ssafe_read_file(err, &errors);
    }
    if (!out.empty())
        (void)fileutl_rm(out.c_str());
    if (!err.empty())
        (void)fileutl_rm(err.c_str());
    if (!asked)
        return CLIENT;   // not known: the temporary-file failure is reported
    if (mentions_prompt(answer) || mentions_prompt(errors))
        return CLIENT_PROMPTING;
    if (contains_nocase(answer, "sourcesafe") || contains_nocase(errors, "sourcesafe"))
        return CLIENT;
    const std::string path = client_path();
    std::string shown = first_words(answer);
    if (shown.empty())
        shown = first_words(errors);
    if (!shown.empty())
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NOT_CLIENT, path.c_str(), shown.c_str());
    else
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_NOT_CLIENT_SILENT, path.c_str(),
                   ran == 0 || why.empty() ? IMSG_SPRINTF(cat(), SSAFE_REASON_EMPTY).c_str() : why.c_str());
    IMSG_PRINT(IMSG_CONT, cat(), SSAFE_NOT_CLIENT_FIX, std::filesystem::path(path).parent_path().c_str());
    return NOT_CLIENT;
}

// The start-up's first question failed: its cause, as far as it can be
// told. Another program is named first, then a prompt that was seen, then
// the client's own complaint and a missing SSDIR; the empty answer of a
// client that failed without a word is taken for a prompt it could not
// have answered (the newlines on its input gave it empty names).
void report_no_working_project(int rc, const std::string &text, const std::string &why,
                               const std::string &command, const std::string &err) {
    client_kind kind = mentions_prompt(err) ? CLIENT_PROMPTING : identify_client();
    if (kind == NOT_CLIENT)
        return;
    const std::string said = first_words(err);
    const bool no_ssdir = !std::getenv("SSDIR");
    // A client that failed saying why, or that has no database named, is
    // not taken for one that prompts.
    if (kind == CLIENT && rc != 0 && (no_ssdir || !said.empty())) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_OPEN_PROCESS, command.c_str(), why.c_str());
        if (!said.empty())
            IMSG_PRINT(IMSG_CONT, cat(), SSAFE_CLIENT_SAID, said.c_str());
        if (no_ssdir)
            IMSG_PRINT(IMSG_CONT, cat(), SSAFE_NO_SSDIR);
        return;
    }
    if (text.empty() && (rc != 0 || kind == CLIENT_PROMPTING)) {
        imsg_printf(IMSG_REPORT, "\n");
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_PROMPTING);
    } else if (text.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_READ_PROCESS, command.c_str(),
                   IMSG_SPRINTF(cat(), SSAFE_REASON_EMPTY).c_str());
    } else {
        std::string line = ssafe_first_line(text);
        std::string reason = rc != 0 ? why : IMSG_SPRINTF(cat(), SSAFE_REASON_FIRST_LINE, line.c_str());
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_TROUBLE_READING, command.c_str(), reason.c_str());
    }
    if (!said.empty() && kind == CLIENT)
        IMSG_PRINT(IMSG_CONT, cat(), SSAFE_CLIENT_SAID, said.c_str());
    if (no_ssdir && kind == CLIENT)
        IMSG_PRINT(IMSG_CONT, cat(), SSAFE_NO_SSDIR);
}

// `ss dir -I- -F-` names the current project on its first line ("$/proj:").
// The client's standard error is kept for the cause of a failure.
int learn_working_project() {
    std::string text, why, command, err;
    int status;
    int rc = ssafe_capture({"dir", "-I-", "-F-", "-O"}, &text, &status, &why, &command, &err);
    if (rc > 0)
        return 1;
    if (rc != 0 && status < 0) {
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_OPEN_PROCESS, command.c_str(), why.c_str());
        return 1;
    }
    std::string line = ssafe_first_line(text);
    if (rc != 0 || line.size() < 2 || line.back() != ':' || line[0] != '$') {
        report_no_working_project(rc, text, why, command, err);
        return 1;
    }
    line.pop_back();
    ssafe_state().working_project = line;
    return 0;
}

// Entries of the working project's history read for the date check.
const char *const DATE_SAMPLE = "-#50";

// Every entry of every file is dated: a client that writes dates in a form
// the parser cannot read (day first, say, from a machine whose locale puts
// the day first) would fail each file in turn. The newest entries of the
// working project are read once here, so that such a run is refused before
// it starts. A day first date that also reads as month first (8/6/02)
// cannot be told apart and is not guessed at. A client that cannot answer
// this question is left to the export's own commands to report.
int check_client_dates() {
    const std::string &wp = ssafe_state().working_project;
    std::string text, why, command, err;
    int status;
    if (ssafe_capture({"history", "-I-", "-O", DATE_SAMPLE, wp}, &text, &status, &why, &command, &err) != 0)
        return 0;
    size_t pos = 0;
    std::string line, user, date, time;
    while (ssafe_next_line(text, &pos, &line)) {
        if (!ssafe_split_user_line(line, &user, &date, &time) || ssafe_date_time_readable(date, time))
            continue;
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_DATES_UNREADABLE, typename_show_text(date).c_str(),
                   typename_show_text(time).c_str(), wp.c_str());
        IMSG_PRINT(IMSG_CONT, cat(), SSAFE_DATES_EXPECTED);
        return 1;
    }
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
                    if (check_client_dates() == 0)
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
    static const std::string environment =
        std::string(imsg_text(cat(), SSAFE_HELP_ENVIRONMENT)) + imsg_text(cat(), SSAFE_HELP_SSDIR);
    text->environment = environment.c_str();
    return 0;
}

int ssafe_cm_shutdown() {
    ssafe_state().shares.clear();
    ssafe_state().listed.clear();
    return 0;
}

const char *ssafe_cm_need_cmd() { return "ss"; }
