// Shared set-up of the fuzz targets: readers report faults through the
// message streams, which would flood a fuzzing run; they go to /dev/null.
#pragma once

#include <cstdio>

#include "runtime/imsg.h"

inline void fuzz_quiet_messages() {
    static FILE *null_out = [] {
        FILE *f = std::fopen("/dev/null", "w");
        imsg_set_streams(f, f);
        return f;
    }();
    (void)null_out;
}
