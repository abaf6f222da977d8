#include "drivers/ssafe/ssafe_msgs.h"

#define SSAFE_MSG_TEXT(name, text) text,
namespace {
const char *const ssafe_texts[] = {SSAFE_DRIVER_MESSAGES(SSAFE_MSG_TEXT)};
}
#undef SSAFE_MSG_TEXT

IMSG_DEFINE_CATALOG(ssafe_driver_ssafe_msg_table_adr, "ssafe_cvt", "SSAFE_driver", 1, ssafe_texts)
