#include "export/export_msgs.h"

IMSG_DEFINE_LISTED_CATALOG(export_main_export_msg_table_adr, "export_lib", "export_main", 1,
                           EXPORT_MAIN_MESSAGES)
IMSG_DEFINE_LISTED_CATALOG(export_elem_export_msg_table_adr, "export_lib", "export_elem", 2,
                           EXPORT_ELEM_MESSAGES)
IMSG_DEFINE_LISTED_CATALOG(export_cmd_export_msg_table_adr, "export_lib", "export_cmd", 3,
                           EXPORT_CMD_MESSAGES)
