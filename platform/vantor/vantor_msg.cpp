// Texts of the vantor command; the order follows vantor_msg.h.
#include "platform/vantor/vantor_msg.h"

#define VANTOR_MESSAGES_TEXT(name, text) text,
static const char *const texts[] = {VANTOR_MESSAGES(VANTOR_MESSAGES_TEXT)};
#undef VANTOR_MESSAGES_TEXT
static_assert(sizeof(texts) / sizeof(texts[0]) == VT_COUNT, "catalog and enum differ");

IMSG_DEFINE_CATALOG(vantor_cmd_vantor_msg_table_adr, "vantor", "vantor_cmd", 2, texts)
