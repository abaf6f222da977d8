// The check run when the user leaves the legacy-kind page with a kind.
#include "wizard/wiz_legacy.h"

// Placeholder until the installation check of the source trees lands here:
// it only records that the check ran.
void LegacyKind::first_selection_check(WizUi *) { check_done_ = true; }
