// The host name and the process's group name: see sysutl.h.
#include "sysutl.h"

#include <unistd.h>
#include <vector>

#include "credutl.h"

std::string sysutl_myhostname() {
    std::vector<char> buf(256);
    if (::gethostname(buf.data(), buf.size() - 1) != 0 || buf[0] == '\0')
        return "UnknownHost";
    buf.back() = '\0';
    return buf.data();
}

std::string sysutl_mygroupname() {
    std::string g;
    (void)credutl_get_credentials(nullptr, &g);   // the number when the name is missing
    return g;
}
