#include "drivers/ssafe/ssafe_msgs.h"

IMSG_DEFINE_LISTED_CATALOG(ssafe_driver_ssafe_msg_table_adr, "ssafe_cvt", "SSAFE_driver", 1,
                           SSAFE_DRIVER_MESSAGES)
