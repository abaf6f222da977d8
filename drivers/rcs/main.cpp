#include "drivers/rcs/rcs_driver.h"

int main(int argc, char **argv) { return export_main(argc, argv, &rcs_driver); }
