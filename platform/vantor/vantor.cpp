// vantor: the admin command of the VOB store and its snapshot views.
// Exit status 0 on success, 1 on any failure (diff: 0 the same, 1
// differences, 2 not compared); every failure is reported with a message
// that names what failed.
#include "platform/vantor/vantor_int.h"
#include "runtime/frontend.h"
#include "runtime/helpopt.h"
#include "runtime/version.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// One command: its option words without the "-" (flags, then the options
// that take a value), how many operands it takes (max < 0: any) and what
// they are, for the message when they are missing.
struct command {
    const char *name, *alias;
    const char *flags, *opts;
    size_t min;
    long max;
    const char *what;
    int (*fn)(const args_t &);
    int bad_status = 1;   // the exit status of a bad command line (diff: 2)
};

const command commands[] = {
    {"mkvob", nullptr, "project", "tag", 0, 1, "storage directory", cmd_mkvob},
    {"rmvob", nullptr, "force", "", 1, 1, "VOB tag", cmd_rmvob},
    {"lsvob", nullptr, "", "region", 0, 0, "", cmd_lsvob},
    {"mkview", nullptr, "", "tag vob stream", 1, 1, "view directory", cmd_mkview},
    {"rmview", nullptr, "force", "", 1, 1, "view directory", cmd_rmview},
    {"update", nullptr, "", "", 0, 1, "", cmd_update},
    {"setcs", nullptr, "", "", 1, 2, "config spec file", cmd_setcs},
    {"catcs", nullptr, "", "", 0, 1, "", cmd_catcs},
    {"lsview", nullptr, "long l", "region", 0, 0, "", cmd_lsview},
    {"lsvtree", nullptr, "s l long all", "", 1, 1, "element path", cmd_lsvtree},
    {"describe", nullptr, "", "", 1, 1, "PATH[@@VERSION]", cmd_describe},
    {"cat", nullptr, "", "", 1, 1, "PATH@@VERSION", cmd_cat},
    {"dump", nullptr, "json", "", 1, 1, "VOB tag", cmd_dump},
    {"check", nullptr, "", "", 1, 1, "VOB tag", cmd_check},
    {"diff", nullptr, "r prune", "", 2, 2, "VIEW-PATH DIR", cmd_diff, 2},
    {"mkbrtype", nullptr, "", "c vob", 1, -1, "type name", cmd_mkbrtype},
    {"mklbtype", nullptr, "", "c vob", 1, -1, "type name", cmd_mklbtype},
    {"mkattype", nullptr, "", "c vob", 1, -1, "type name", cmd_mkattype},
    {"mkhltype", nullptr, "", "c vob", 1, -1, "type name", cmd_mkhltype},
    {"mkeltype", nullptr, "", "c vob", 1, -1, "type name", cmd_mkeltype},
    {"mkelem", nullptr, "dir ci", "eltype c", 1, -1, "element path", cmd_mkelem},
    {"checkout", "co", "unreserved reserved nc", "c", 1, -1, "element path", cmd_checkout},
    {"checkin", "ci", "nc", "c from", 1, 1, "element path", cmd_checkin},
    {"uncheckout", "unco", "keep rm", "", 1, -1, "element path", cmd_uncheckout},
    {"mkbranch", nullptr, "nco", "c", 2, 2, "BRTYPE PATH", cmd_mkbranch},
    {"mklabel", nullptr, "replace", "c", 2, -1, "LABEL PATH", cmd_mklabel},
    {"mkattr", nullptr, "element", "c", 3, 3, "ATTRTYPE VALUE PATH", cmd_mkattr},
    {"merge", nullptr, "ndata", "to c", 1, 1, "FROM-VERSION", cmd_merge},
    {"lock", nullptr, "obsolete", "c", 1, 1, "PATH[@@BRANCH]", cmd_lock},
    {"unlock", nullptr, "", "", 1, 1, "PATH[@@BRANCH]", cmd_unlock},
    {"rmver", nullptr, "data force", "", 1, 1, "PATH@@VERSION", cmd_rmver},
    {"mkproject", nullptr, "", "title modcomp c", 1, 1, "project selector", cmd_mkproject},
    {"mkcomp", nullptr, "", "root c", 1, 1, "component selector", cmd_mkcomp},
    {"mkbl", nullptr, "import", "label comp c", 0, 1, "", cmd_mkbl},
    {"mkstream", nullptr, "integration development", "project baseline c", 1, 1, "stream selector",
     cmd_mkstream},
    {"rebase", nullptr, "", "", 2, -1, "STREAM BASELINE", cmd_rebase},
    {"lsproject", nullptr, "long", "pvob", 0, 1, "", cmd_lsproject},
    {"lscomp", nullptr, "long", "pvob", 0, 1, "", cmd_lscomp},
    {"lsbl", nullptr, "long", "pvob comp", 0, 1, "", cmd_lsbl},
    {"lsstream", nullptr, "long", "pvob project", 0, 1, "", cmd_lsstream},
    {"rmproject", nullptr, "", "", 1, 1, "project selector", cmd_rmproject},
    {"rmstream", nullptr, "", "", 1, 1, "stream selector", cmd_rmstream},
};

const frontend_t fe = {"vantor", cat, VT_USAGE, VT_HELP, VT_WRITE_FAILED};

const command *find_command(const char *name) {
    for (const command &c : commands)
        if (!strcmp(c.name, name) || (c.alias && !strcmp(c.alias, name)))
            return &c;
    return nullptr;
}

// Options stand anywhere among a command's operands (parse). The words of
// an unknown command are scanned as options that take no value.
bool help_requested(const command *c, int argc, char **argv) {
    std::vector<std::string> words(argv + (c ? 2 : 1), argv + argc);
    return helpopt_requested(words, HELPOPT_AMONG_OPERANDS,
                             [c](const std::string &w) { return c && option_in(c->opts, w); });
}

}   // namespace

int main(int argc, char **argv) {
    frontend_init(argc > 0 ? argv[0] : nullptr, nullptr);
    frontend_version(fe, argc, argv, nullptr);
    // The spellings of other command-line tools too; no command begins with "-".
    if (argc >= 2 && (!strcmp(argv[1], "--version") || !strcmp(argv[1], "-V"))) {
        ks_print_banner(fe.name);
        frontend_exit(fe, 0);
    }
    if (argc < 2) {
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_USAGE);
        frontend_exit(fe, 1);
    }
    const command *c = find_command(argv[1]);
    if (!strcmp(argv[1], "help") || help_requested(c, argc, argv))
        frontend_help_exit(fe);
    if (!c) {
        IMSG_PRINT(IMSG_ERROR, cat(), VT_UNKNOWN_CMD, argv[1]);
        frontend_exit(fe, 1);
    }
    args_t a = parse(c->name, std::vector<std::string>(argv + 2, argv + argc), c->flags, c->opts);
    if (a.bad || !operands(a, c->min, c->max, c->what))
        frontend_exit(fe, c->bad_status);
    // Whatever a command printed must have reached its output: a command
    // that succeeded (or for diff: compared) fails when it did not.
    frontend_exit(fe, c->fn(a), c->bad_status, c->name);
}
