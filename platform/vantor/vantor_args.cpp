// vantor's command lines: parsing one command's words, checking its
// operands, resolving path operands, and reporting failures.
#include "platform/vantor/vantor_int.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const imsg_catalog *cat() { return vantor_cmd_vantor_msg_table_adr(); }

int fail_text(const std::string &msg) {
    IMSG_PRINT(IMSG_ERROR, cat(), VT_ERR_TEXT, msg.c_str());
    return 1;
}

static std::string option_name(const std::string &word) { return word.substr(word[1] == '-' ? 2 : 1); }

bool option_in(const char *names, const std::string &word) {
    if (word.size() < 2 || word[0] != '-' || word == "--")
        return false;
    std::string l = std::string(" ") + names + " ";
    return l.find(" " + option_name(word) + " ") != std::string::npos;
}

args_t parse(const char *cmd, const std::vector<std::string> &argv, const char *flag_names,
             const char *opt_names) {
    args_t a;
    a.cmd = cmd;
    bool operands_only = false;
    for (size_t i = 0; i < argv.size(); i++) {
        const std::string &w = argv[i];
        if (operands_only || w.size() < 2 || w[0] != '-') {
            a.ops.push_back(w);
            continue;
        }
        if (w == "--") {
            operands_only = true;
            continue;
        }
        std::string name = option_name(w);
        if (option_in(flag_names, w)) {
            a.flags[name] = 1;
        } else if (option_in(opt_names, w)) {
            if (i + 1 >= argv.size()) {
                IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, cmd, ("value of " + w).c_str());
                a.bad = 1;
                return a;
            }
            a.opts[name].push_back(argv[++i]);
        } else {
            IMSG_PRINT(IMSG_ERROR, cat(), VT_BAD_OPTION, cmd, w.c_str());
            a.bad = 1;
            return a;
        }
    }
    return a;
}

bool operands(const args_t &a, size_t min, long max, const char *what) {
    if (a.ops.size() < min) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_MISSING_ARG, a.cmd, what);
        return false;
    }
    if (max >= 0 && a.ops.size() > (size_t)max) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_EXTRA_ARG, a.cmd, a.ops[(size_t)max].c_str());
        return false;
    }
    return true;
}

bool resolve(const std::string &p, vob_pname *out) {
    std::string err;
    if (vob_resolve_pname(p, out, &err) != VOB_OK) {
        fail_text(err);
        return false;
    }
    return true;
}

int vob_failed(vob_t *v) { return fail_text(vob_errmsg(v)); }
int view_failed(view_t *v) { return fail_text(view_errmsg(v)); }
