#include "drivers/ffile/ffile_driver.h"

int main(int argc, char **argv) { return export_main(argc, argv, &ffile_driver); }
