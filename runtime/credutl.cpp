// Identities: see credutl.h.
#include "credutl.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// Buffer size for the reentrant lookups; grown on ERANGE.
size_t start_size(int which) {
    long n = ::sysconf(which);
    return n > 0 ? size_t(n) : 1024;
}

bool lookup_user(uid_t uid, const char *name, credutl_pw *out) {
    std::vector<char> buf(start_size(_SC_GETPW_R_SIZE_MAX));
    struct passwd pw, *res = nullptr;
    int r;
    while ((r = name ? ::getpwnam_r(name, &pw, buf.data(), buf.size(), &res)
                     : ::getpwuid_r(uid, &pw, buf.data(), buf.size(), &res)) == ERANGE)
        buf.resize(buf.size() * 2);
    if (r != 0 || !res)
        return false;
    out->name = pw.pw_name ? pw.pw_name : "";
    std::string gecos = pw.pw_gecos ? pw.pw_gecos : "";
    out->full_name = gecos.substr(0, gecos.find(','));
    out->dir = pw.pw_dir ? pw.pw_dir : "";
    out->uid = pw.pw_uid;
    out->gid = pw.pw_gid;
    return true;
}

bool lookup_group(gid_t gid, std::string *name) {
    std::vector<char> buf(start_size(_SC_GETGR_R_SIZE_MAX));
    struct group gr, *res = nullptr;
    int r;
    while ((r = ::getgrgid_r(gid, &gr, buf.data(), buf.size(), &res)) == ERANGE)
        buf.resize(buf.size() * 2);
    if (r != 0 || !res || !gr.gr_name)
        return false;
    *name = gr.gr_name;
    return true;
}

}   // namespace

int credutl_get_credentials(std::string *user, std::string *group) {
    credutl_pw pw;
    std::string g;
    // Only what is asked for is looked up: either may go over the network.
    bool have_user = !user || lookup_user(::geteuid(), nullptr, &pw);
    bool have_group = !group || lookup_group(::getegid(), &g);
    if (user)
        *user = have_user ? pw.name : std::to_string(unsigned(::geteuid()));
    if (group)
        *group = have_group ? g : std::to_string(unsigned(::getegid()));
    return have_user && have_group ? 0 : 1;
}

int credutl_getpwnam(const char *name, credutl_pw *out) {
    if (!name || !*name || !out)
        return 1;
    return lookup_user(0, name, out) ? 0 : 1;
}

int credutl_getpwuid(unsigned uid, credutl_pw *out) {
    if (!out)
        return 1;
    return lookup_user(uid_t(uid), nullptr, out) ? 0 : 1;
}
