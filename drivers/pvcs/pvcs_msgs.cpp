#include "drivers/pvcs/pvcs_msgs.h"

IMSG_DEFINE_LISTED_CATALOG(pvcs_driver_pvcs_msg_table_adr, "pvcs_cvt", "pvcs_driver", 1, PVCS_DRIVER_MESSAGES)
