// Texts of the vantor command; the order follows vantor_msg.h.
#include "platform/vantor/vantor_msg.h"

IMSG_DEFINE_LISTED_CATALOG(vantor_cmd_vantor_msg_table_adr, "vantor", "vantor_cmd", 2, VANTOR_MESSAGES)
