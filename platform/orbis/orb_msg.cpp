// Texts of the project layer's catalog; the order follows orb_msg.h.
#include "platform/orbis/orb_msg.h"

#include <cstdarg>

IMSG_DEFINE_LISTED_CATALOG(orbis_orb_msg_table_adr, "orbis_lib", "orbis", 2, ORB_MESSAGES)

std::string orb_msg(int num, ...) {
    va_list ap;
    va_start(ap, num);
    const char *fmt = imsg_text(orbis_orb_msg_table_adr(), num);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string s;
    if (n > 0) {
        s.resize((size_t)n + 1);
        std::vsnprintf(s.data(), s.size(), fmt, ap);
        s.resize((size_t)n);
    }
    va_end(ap);
    return s;
}
