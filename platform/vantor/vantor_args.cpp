// vantor's command lines: parsing one command's words, checking its
// operands, resolving path operands, and reporting failures.
#include "platform/vantor/vantor_int.h"

#include <cstdio>

const imsg_catalog *cat() { return vantor_cmd_vantor_msg_table_adr(); }

int fail_text(const std::string &msg) {
    IMSG_PRINT(IMSG_ERROR, cat(), VT_ERR_TEXT, msg.c_str());
    return 1;
}

// flag_names and opt_names: space-separated option words without the "-".
args_t parse(const char *cmd, const std::vector<std::string> &argv, const char *flag_names,
             const char *opt_names) {
    args_t a;
    a.cmd = cmd;
    auto in = [](const char *list, const std::string &w) {
        std::string l = std::string(" ") + list + " ";
        return l.find(" " + w + " ") != std::string::npos;
    };
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
        std::string name = w.substr(w[1] == '-' ? 2 : 1);
        if (in(flag_names, name)) {
            a.flags[name] = 1;
        } else if (in(opt_names, name)) {
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

// Checks the operand count: min..max (max < 0: any).
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

// Resolves a path operand and prints the failure.
bool resolve(const args_t &a, const std::string &p, vob_pname *out) {
    std::string err;
    if (vob_resolve_pname(p, out, &err) != VOB_OK) {
        fail_text(err);
        return false;
    }
    (void)a;
    return true;
}

int vob_failed(vob_t *v) { return fail_text(vob_errmsg(v)); }
int view_failed(view_t *v) { return fail_text(view_errmsg(v)); }
