// POSIX getopt without permutation, restartable at any point.
//
// Inside a cluster such as "-rL" nt_optind already indexes the word after the
// cluster and `cluster` remembers where in the cluster we are. Because of that a
// caller who stores 1 into nt_optind is always seen as starting over, even in
// the middle of a cluster: the stored value differs from the one we left.
#include "getopt.h"

#include <cstring>

#include "imsg.h"

char *nt_optarg = nullptr;
int nt_optind = 1;
int nt_opterr = 1;
int nt_optopt = 0;

namespace {

const char *cluster = nullptr;         // next letter of the current cluster, or null
int cluster_optind = 0;                // nt_optind value when `cluster` was saved
char *const *cluster_argv = nullptr;   // argument vector the cluster belongs to

#define GETOPT_MESSAGES(X)                    \
    X(GETOPT_ILLEGAL, "illegal option -- %c") \
    X(GETOPT_NEEDS_ARG, "option requires an argument -- %c")
IMSG_DECLARE_LISTED(getopt_msg, GETOPT_MESSAGES)
IMSG_DEFINE_LISTED_CATALOG(getopt_msgs, "runtime", "getopt", 0, GETOPT_MESSAGES)

void complain(const char *optstring, bool needs_arg, int c) {
    if (!nt_opterr || optstring[0] == ':')
        return;
    if (needs_arg)
        IMSG_PRINT(IMSG_ERROR, getopt_msgs(), GETOPT_NEEDS_ARG, c);
    else
        IMSG_PRINT(IMSG_ERROR, getopt_msgs(), GETOPT_ILLEGAL, c);
}

// The first letter of the word at nt_optind, or null when options have ended.
const char *start_word(int argc, char *const argv[]) {
    if (nt_optind < 1 || nt_optind >= argc || !argv[nt_optind])
        return nullptr;
    const char *w = argv[nt_optind];
    if (w[0] != '-' || w[1] == '\0')
        return nullptr;
    if (std::strcmp(w, "--") == 0) {
        ++nt_optind;
        return nullptr;
    }
    ++nt_optind;
    return w + 1;
}

void save_cluster(const char *rest, char *const argv[]) {
    cluster = *rest ? rest : nullptr;
    cluster_optind = nt_optind;
    cluster_argv = argv;
}

}   // namespace

void nt_getopt_reset() {
    nt_optind = 1;
    nt_optarg = nullptr;
    nt_optopt = 0;
    cluster = nullptr;
}

int nt_getopt(int argc, char *const argv[], const char *optstring) {
    if (!optstring)
        optstring = "";
    nt_optarg = nullptr;
    if (cluster && (nt_optind != cluster_optind || argv != cluster_argv))
        cluster = nullptr;   // the caller moved nt_optind: start over from there
    const char *p = cluster ? cluster : start_word(argc, argv);
    if (!p)
        return -1;
    int c = static_cast<unsigned char>(*p++);
    nt_optopt = c;
    const char *spec = c == ':' ? nullptr : std::strchr(optstring, c);
    if (!spec) {
        save_cluster(p, argv);
        complain(optstring, false, c);
        return '?';
    }
    if (spec[1] != ':') {
        save_cluster(p, argv);
        return c;
    }
    cluster = nullptr;
    if (*p) {
        nt_optarg = const_cast<char *>(p);
    } else if (nt_optind < argc && argv[nt_optind]) {
        nt_optarg = argv[nt_optind++];
    } else {
        complain(optstring, true, c);
        return optstring[0] == ':' ? ':' : '?';
    }
    return c;
}
