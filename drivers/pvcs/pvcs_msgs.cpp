#include "drivers/pvcs/pvcs_msgs.h"

#define PVCS_MSG_TEXT(name, text) text,
namespace {
const char *const pvcs_texts[] = {PVCS_DRIVER_MESSAGES(PVCS_MSG_TEXT)};
}
#undef PVCS_MSG_TEXT

IMSG_DEFINE_CATALOG(pvcs_driver_pvcs_msg_table_adr, "pvcs_cvt", "pvcs_driver", 1, pvcs_texts)
