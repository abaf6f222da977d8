// Texts of the platform layer's catalog; the order follows vob_msg.h.
#include "platform/store/vob_msg.h"

#include <cstdarg>

IMSG_DEFINE_LISTED_CATALOG(vob_store_vob_msg_table_adr, "vob_lib", "vob_store", 1, VOB_MESSAGES)

std::string vob_msg(int num, ...) {
    va_list ap;
    va_start(ap, num);
    const char *fmt = imsg_text(vob_store_vob_msg_table_adr(), num);
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
