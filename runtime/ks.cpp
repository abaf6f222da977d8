// Process start-up: see ks.h.
#include "ks.h"

#include <clocale>
#include <cstdio>
#include <unistd.h>

void ks_system_init() {
    std::setlocale(LC_ALL, "");
    // Progress notices are many and small; unless someone watches them on a
    // terminal, send them in big pieces (stderr is flushed after stdout anyway).
    static char out_buf[1 << 16];
    if (!isatty(fileno(stdout)))
        std::setvbuf(stdout, out_buf, _IOFBF, sizeof out_buf);
}
