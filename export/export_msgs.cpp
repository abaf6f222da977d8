#include "export/export_msgs.h"

#define EXPORT_MSG_TEXT(name, text) text,
namespace {
const char *const main_texts[] = {EXPORT_MAIN_MESSAGES(EXPORT_MSG_TEXT)};
const char *const elem_texts[] = {EXPORT_ELEM_MESSAGES(EXPORT_MSG_TEXT)};
const char *const cmd_texts[] = {EXPORT_CMD_MESSAGES(EXPORT_MSG_TEXT)};
}   // namespace
#undef EXPORT_MSG_TEXT

IMSG_DEFINE_CATALOG(export_main_export_msg_table_adr, "export_lib", "export_main", 1, main_texts)
IMSG_DEFINE_CATALOG(export_elem_export_msg_table_adr, "export_lib", "export_elem", 2, elem_texts)
IMSG_DEFINE_CATALOG(export_cmd_export_msg_table_adr, "export_lib", "export_cmd", 3, cmd_texts)
