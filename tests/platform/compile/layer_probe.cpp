// Compiled, not run: one header include per case, built with the include
// paths a layer of the platform has. A layer sees what it links and its own
// internals; a header of a layer above it, or another layer's internals, is
// not found, so such an include does not compile.
#if defined(PROBE_STORE_OWN)
#include "platform/store/vob.h"
#include "platform/store/vob_int.h"
#elif defined(PROBE_STORE_UP)
#include "platform/view/view.h"
#elif defined(PROBE_VIEW_BELOW)
#include "platform/registry/registry.h"
#include "platform/store/vob.h"
#include "platform/view/view_int.h"
#elif defined(PROBE_VIEW_STORE_INTERNAL)
#include "platform/store/vob_int.h"
#elif defined(PROBE_STORE_EXPORT)
#include "export/cm_driver.h"
#endif

int layer_probe() { return 0; }
