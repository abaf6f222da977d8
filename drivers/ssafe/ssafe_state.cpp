#include "drivers/ssafe/ssafe_driver.h"

ssafe_driver_state &ssafe_state() {
    static ssafe_driver_state s;
    return s;
}

void ssafe_reset_state() { ssafe_state() = ssafe_driver_state(); }
