#include "platform/import/imp_msgs.h"

#include <vector>

#include "platform/import/imp_start.h"

// The catalog is addressed by position: the numbered texts are laid out in a
// table with empty texts in the gaps.
IMSG_DEFINE_NUMBERED_CATALOG(importer_import_msg_table_adr, "libvelkimport", "importer", 1, IMP_MESSAGES)
