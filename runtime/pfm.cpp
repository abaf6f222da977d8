// Process exit: see pfm.h.
#include "pfm.h"

#include <cstdio>
#include <cstdlib>

void pfm_exit(int status) {
    std::fflush(nullptr);
    std::exit(status);
}
