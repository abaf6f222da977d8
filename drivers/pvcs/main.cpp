#include "drivers/pvcs/pvcs_driver.h"

int main(int argc, char **argv) { return export_main(argc, argv, &pvcs_driver); }
