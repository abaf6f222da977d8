#include "drivers/vantor/vantor_driver.h"

int main(int argc, char **argv) { return export_main(argc, argv, &vantor_driver); }
