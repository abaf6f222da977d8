#include "rcsarchive/rcs_msgs.h"

IMSG_DEFINE_LISTED_CATALOG(rcs_driver_rcs_msg_table_adr, "rcs_cvt", "rcs_driver", 1, RCS_DRIVER_MESSAGES)

namespace {
thread_local bool t_quiet = false;
}

bool rcs_is_quiet() { return t_quiet; }
rcs_quiet_scope::rcs_quiet_scope(bool on) : was(t_quiet) { t_quiet = t_quiet || on; }
rcs_quiet_scope::~rcs_quiet_scope() { t_quiet = was; }
