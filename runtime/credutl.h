// Identities: the process user and group, and the users of the account database.
#pragma once

#include <string>

// The process user (getpwuid(geteuid())) and group (getgrgid(getegid())),
// each looked up only when its out-parameter is not null. 0 on success;
// nonzero when one asked for cannot be found (a name that is missing is
// then given as its number, so callers that go on still have something).
[[nodiscard]] int credutl_get_credentials(std::string *user, std::string *group);
struct credutl_pw {
    std::string name, full_name, dir;
    unsigned uid = 0, gid = 0;
};
// 0 and the entry when the user exists; full_name is the gecos up to its first comma.
[[nodiscard]] int credutl_getpwnam(const char *name, credutl_pw *out);
// The same by user number (the home directory of the process user, say).
[[nodiscard]] int credutl_getpwuid(unsigned uid, credutl_pw *out);
