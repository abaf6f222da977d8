// Shared set-up of the fuzz targets: readers report faults through the
// message streams, which would flood a fuzzing run; they go to /dev/null.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "runtime/imsg.h"

inline void fuzz_quiet_messages() {
    static FILE *null_out = [] {
        FILE *f = std::fopen("/dev/null", "w");
        imsg_set_streams(f, f);
        return f;
    }();
    (void)null_out;
}

// A private directory holding one input file of the given leaf name,
// removed at exit.
struct fuzz_scratch {
    std::string dir, path;
    explicit fuzz_scratch(const char *leaf) {
        char tmpl[] = "/tmp/vantor_fuzz.XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        dir = tmpl;
        path = dir + "/" + leaf;
    }
    ~fuzz_scratch() {
        ::unlink(path.c_str());
        ::rmdir(dir.c_str());
    }
};

// A broken promise of the code under test: a finding.
inline void fuzz_check(bool ok) {
    if (!ok)
        std::abort();
}

// fuzz_check that names the broken promise on standard error, so that a
// finding says which one it is.
#define FUZZ_CHECK(cond)                                                            \
    do {                                                                            \
        if (!(cond)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                           \
        }                                                                           \
    } while (0)

// Writes the input to the file; aborts when it cannot (no finding of ours).
inline void fuzz_write_file(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok)
        std::abort();
}
