// The vantor command's message catalog (module "vantor_cmd").
#pragma once

#include "runtime/imsg.h"

const imsg_catalog *vantor_cmd_vantor_msg_table_adr();

enum vantor_msg {
    VT_USAGE = 0,
    VT_UNKNOWN_CMD,
    VT_MISSING_ARG,
    VT_BAD_OPTION,
    VT_EXTRA_ARG,
    VT_NEED_VIEW,
    VT_CREATED_VOB,
    VT_CREATED_VIEW,
    VT_UPDATED,
    VT_PROGRESS,
    VT_WARN_TEXT,
    VT_ERR_TEXT,
    VT_NOT_VERSION,
    VT_NOT_BRANCH,
    VT_NEED_DATA,
    VT_NEED_TAG,
    VT_LOCKED,
    VT_CKED_OUT,
    VT_CKED_IN,
    VT_DONE,
    VT_COUNT
};
