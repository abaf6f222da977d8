// Process start-up: see ks.h.
#include "ks.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <new>
#include <unistd.h>

#include "imsg.h"

namespace {

// Nothing here may allocate: the line is built in a fixed buffer and written
// with write(2). _exit, not exit: destructors and exit handlers may allocate.
[[noreturn]] void out_of_memory() {
    static const char tail[] = ": Error: Unable to allocate memory.\n";
    const char *name = imsg_app_name();
    if (!name || !*name)
        name = "vantor";
    char line[160 + sizeof tail];
    size_t n = strnlen(name, 160);
    std::memcpy(line, name, n);
    std::memcpy(line + n, tail, sizeof tail - 1);
    std::fflush(stdout);
    imsg_status_clear();   // a progress line is erased first, as for any message
    ssize_t written = ::write(STDERR_FILENO, line, n + sizeof tail - 1);
    (void)written;   // nothing is left to report a failed write with
    _exit(1);
}

}   // namespace

void ks_system_init() {
    std::set_new_handler(out_of_memory);
    std::setlocale(LC_ALL, "");
    // Progress notices are many and small; unless someone watches them on a
    // terminal, send them in big pieces (stderr is flushed after stdout anyway).
    static char out_buf[1 << 16];
    if (!isatty(fileno(stdout)))
        std::setvbuf(stdout, out_buf, _IOFBF, sizeof out_buf);
}
