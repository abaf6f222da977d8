// The flat-file exporter's driver and its message catalog.
#pragma once

#include "export/cm_driver.h"
#include "runtime/imsg.h"

extern const cm_driver ffile_driver;
const imsg_catalog *ffile_driver_ffile_msg_table_adr();
