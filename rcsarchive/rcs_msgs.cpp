#include "rcsarchive/rcs_msgs.h"

#define RCS_MSG_TEXT(name, text) text,
namespace {
const char *const rcs_texts[] = {RCS_DRIVER_MESSAGES(RCS_MSG_TEXT)};
}
#undef RCS_MSG_TEXT

IMSG_DEFINE_CATALOG(rcs_driver_rcs_msg_table_adr, "rcs_cvt", "rcs_driver", 1, rcs_texts)

namespace {
thread_local bool t_quiet = false;
}

bool rcs_is_quiet() { return t_quiet; }
rcs_quiet_scope::rcs_quiet_scope(bool on) : was(t_quiet) { t_quiet = t_quiet || on; }
rcs_quiet_scope::~rcs_quiet_scope() { t_quiet = was; }
