// Texts of the project layer's catalog; the order follows orb_msg.h.
#include "platform/orbis/orb_msg.h"

#include <cstdarg>

IMSG_DEFINE_LISTED_CATALOG(orbis_orb_msg_table_adr, "orbis_lib", "orbis", 2, ORB_MESSAGES)

std::string orb_msg(int num, ...) {
    va_list ap;
    va_start(ap, num);
    std::string s = imsg_vsprintf_text(orbis_orb_msg_table_adr(), num, ap);
    va_end(ap);
    return s;
}
