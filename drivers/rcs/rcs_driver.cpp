#include "drivers/rcs/rcs_driver.h"

const cm_driver rcs_driver = {
    rcs_cm_init,         rcs_cm_usage,        rcs_cm_shutdown,     rcs_cm_need_cmd, rcs_cm_map_name,
    rcs_cm_open_element, rcs_cm_element_info, rcs_cm_next_version, rcs_cm_extract,  rcs_cm_close_element,
    rcs_cm_help,         rcs_cm_end_report,   rcs_cm_left_out,
};

rcs_driver_state &rcs_state() {
    static rcs_driver_state s;
    return s;
}

const char *rcs_attribute_prefix() {
    switch (rcs_state().mode) {
        case RCS_MODE_SI:
            return "SI";
        case RCS_MODE_CVS:
            return "CVS";
        default:
            return "RCS";
    }
}

void rcs_reset_state() { rcs_state() = rcs_driver_state(); }
