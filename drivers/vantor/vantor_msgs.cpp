#include "drivers/vantor/vantor_msgs.h"

IMSG_DEFINE_LISTED_CATALOG(vantor_driver_vantor_msg_table_adr, "vantor_cvt", "vantor_driver", 1,
                           VANTOR_DRIVER_MESSAGES)
