// Texts of the platform layer's catalog; the order follows vob_msg.h.
#include "platform/store/vob_msg.h"

#include <cstdarg>

IMSG_DEFINE_LISTED_CATALOG(vob_store_vob_msg_table_adr, "vob_lib", "vob_store", 1, VOB_MESSAGES)

std::string vob_msg(int num, ...) {
    va_list ap;
    va_start(ap, num);
    std::string s = imsg_vsprintf_text(vob_store_vob_msg_table_adr(), num, ap);
    va_end(ap);
    return s;
}
