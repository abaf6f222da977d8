#include "drivers/pvcs/pvcs_driver.h"

#include <cstdlib>

const cm_driver pvcs_driver = {
    pvcs_cm_init,     pvcs_cm_usage,         pvcs_cm_shutdown,     pvcs_cm_need_cmd,
    pvcs_cm_map_name, pvcs_cm_open_element,  pvcs_cm_element_info, pvcs_cm_next_version,
    pvcs_cm_extract,  pvcs_cm_close_element, pvcs_cm_help,         nullptr,
    nullptr,
};

pvcs_driver_state &pvcs_state() {
    static pvcs_driver_state s;
    return s;
}

void pvcs_read_separators() {
    pvcs_driver_state &s = pvcs_state();
    const char *left = std::getenv("PVCS_LEFT_SEPARATOR");
    const char *right = std::getenv("PVCS_RIGHT_SEPARATOR");
    s.left_separator = left ? left : "(";
    s.right_separator = right ? right : ")";
}

void pvcs_reset_state() {
    pvcs_state() = pvcs_driver_state();
    pvcs_read_separators();
}

namespace {
// The separators are the environment's at start, whatever the program does
// with its environment later.
const bool separators_read = (pvcs_read_separators(), true);
}   // namespace
