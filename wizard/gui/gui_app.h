// VantorImportWizard as a procedure: start-up, the sheet shown modally, and
// the clean-up at exit, in that order. The program's main is this call; the
// test driver makes the same call and steps the sheet once it is shown.
#pragma once

#include <functional>

class SheetImport;

struct WizAppHooks {
    // Called once the sheet is shown, from its event loop.
    std::function<void(SheetImport &)> shown;
    // Called when the temporary view could not be made, with message 137
    // shown.
    std::function<void(class QMessageBox &)> no_view;
};

// Returns the program's exit status: 0 after the sheet closed, 1 when the
// temporary view could not be made, 2 for a bad command line. -Ver, -VerAll
// and --help print and return 0 without a display.
int wiz_app_main(int argc, char **argv, const WizAppHooks *hooks = nullptr);
