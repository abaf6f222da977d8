// VantorImportWizard: the graphical import wizard.
#include "wizard/gui/gui_app.h"

int main(int argc, char **argv) { return wiz_app_main(argc, argv); }
