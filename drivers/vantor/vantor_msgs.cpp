#include "drivers/vantor/vantor_msgs.h"

#define VT_MSG_TEXT(name, text) text,
namespace {
const char *const vantor_texts[] = {VANTOR_DRIVER_MESSAGES(VT_MSG_TEXT)};
}
#undef VT_MSG_TEXT

IMSG_DEFINE_CATALOG(vantor_driver_vantor_msg_table_adr, "vantor_cvt", "vantor_driver", 1, vantor_texts)
