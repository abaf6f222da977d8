#include "platform/fsimport/fsimport_msgs.h"

#include <vector>

#include "platform/fsimport/fsimport_start.h"

// The catalog is addressed by position: the numbered texts are laid out in a
// table with empty texts in the gaps.
IMSG_DEFINE_NUMBERED_CATALOG(fsimport_fsimport_msg_table_adr, "libvelkfsimport", "fsimport", 1, FSI_MESSAGES)
