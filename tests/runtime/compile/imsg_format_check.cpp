// Compiled, not run: with WRONG_INSERT defined, a catalog message printed with
// an argument its text does not take must stop the build.
#include "runtime/imsg.h"

#define PROBE_MESSAGES(X) X(PROBE_NAMED, "element \"%s\" has %d versions")
#define PROBE_ENUM(name, text) name,
enum { PROBE_MESSAGES(PROBE_ENUM) };
PROBE_MESSAGES(IMSG_FORMAT)

void probe(const imsg_catalog *cat) {
#ifdef WRONG_INSERT
    IMSG_PRINT(IMSG_ERROR, cat, PROBE_NAMED, 3, "a.c");
#else
    IMSG_PRINT(IMSG_ERROR, cat, PROBE_NAMED, "a.c", 3);
#endif
}
