#include "drivers/ssafe/ssafe_driver.h"

const cm_driver ssafe_driver = {
    ssafe_cm_init,     ssafe_cm_usage,         ssafe_cm_shutdown,     ssafe_cm_need_cmd,
    ssafe_cm_map_name, ssafe_cm_open_element,  ssafe_cm_element_info, ssafe_cm_next_version,
    ssafe_cm_extract,  ssafe_cm_close_element, ssafe_cm_help,         nullptr,
    ssafe_cm_left_out,
};
