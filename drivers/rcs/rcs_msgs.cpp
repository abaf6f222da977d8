#include "drivers/rcs/rcs_msgs.h"

#define RCS_MSG_TEXT(name, text) text,
namespace {
const char *const rcs_texts[] = {RCS_DRIVER_MESSAGES(RCS_MSG_TEXT)};
}
#undef RCS_MSG_TEXT

IMSG_DEFINE_CATALOG(rcs_driver_rcs_msg_table_adr, "rcs_cvt", "rcs_driver", 1, rcs_texts)
