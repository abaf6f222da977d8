// The VOB exporter's driver: exports the elements a Vantor view shows, with
// their whole version trees, read from their VOBs.
#pragma once

#include "drivers/vantor/vantor_msgs.h"
#include "export/cm_driver.h"

extern const cm_driver vantor_driver;
