#include "drivers/ssafe/ssafe_driver.h"

int main(int argc, char **argv) { return export_main(argc, argv, &ssafe_driver); }
