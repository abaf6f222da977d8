// vantor: the admin command of the VOB store and its snapshot views.
// Exit status 0 on success, 1 on any failure (diff: 0 the same, 1
// differences, 2 not compared); every failure is reported with a message
// that names what failed.
#include "platform/vantor/vantor_int.h"
#include "runtime/version.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct command {
    const char *name;
    int (*fn)(const std::vector<std::string> &);
};

const command commands[] = {
    {"mkvob", cmd_mkvob},       {"rmvob", cmd_rmvob},       {"lsvob", cmd_lsvob},
    {"mkview", cmd_mkview},     {"rmview", cmd_rmview},     {"update", cmd_update},
    {"setcs", cmd_setcs},       {"catcs", cmd_catcs},       {"lsvtree", cmd_lsvtree},
    {"describe", cmd_describe}, {"cat", cmd_cat},           {"dump", cmd_dump},
    {"diff", cmd_diff},         {"mkbrtype", cmd_mkbrtype}, {"mklbtype", cmd_mklbtype},
    {"mkattype", cmd_mkattype}, {"mkhltype", cmd_mkhltype}, {"mkeltype", cmd_mkeltype},
    {"mkelem", cmd_mkelem},     {"checkout", cmd_checkout}, {"co", cmd_checkout},
    {"checkin", cmd_checkin},   {"ci", cmd_checkin},        {"uncheckout", cmd_uncheckout},
    {"unco", cmd_uncheckout},   {"mkbranch", cmd_mkbranch}, {"mklabel", cmd_mklabel},
    {"mkattr", cmd_mkattr},     {"merge", cmd_merge},       {"lock", cmd_lock},
    {"unlock", cmd_unlock},     {"rmver", cmd_rmver},
};

// -h or --help as a word of its own, not the value of an option.
bool help_requested(int argc, char **argv) {
    static const char *const takes_value[] = {"-tag", "-vob", "-eltype", "-c", "-from", "-to", "-region"};
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help"))
            return true;
        for (const char *o : takes_value)
            if (!strcmp(argv[i], o) || (argv[i][0] == '-' && argv[i][1] == '-' && !strcmp(argv[i] + 1, o))) {
                ++i;
                break;
            }
    }
    return false;
}

}   // namespace

int main(int argc, char **argv) {
    ks_system_init();
    imsg_set_app_name(argv[0]);
    int all = 0;
    if (argc > 1 && ks_is_version_request(argv[1], &all)) {
        ks_print_banner("vantor");
        pfm_exit(0);
    }
    if (argc < 2 || !strcmp(argv[1], "help") || help_requested(argc, argv)) {
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_USAGE);
        if (argc < 2)
            pfm_exit(1);
        IMSG_PRINT(IMSG_NOTICE, cat(), VT_HELP);
        pfm_exit(0);
    }
    std::vector<std::string> rest(argv + 2, argv + argc);
    for (const command &c : commands)
        if (!strcmp(c.name, argv[1]))
            pfm_exit(c.fn(rest));
    IMSG_PRINT(IMSG_ERROR, cat(), VT_UNKNOWN_CMD, argv[1]);
    pfm_exit(1);
}
