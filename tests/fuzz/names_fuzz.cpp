// The -T translation file reader, followed by what a run does with what it
// read: renames of branch and label names and the file written back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "export/export_names.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    reset_type_names();
    // fmemopen of an empty buffer fails on some libcs; one spare byte avoids it.
    std::vector<char> buf(data, data + size);
    buf.push_back('\0');
    FILE *f = fmemopen(buf.data(), size ? size : 1, "r");
    if (!f)
        return 0;
    if (size == 0)
        std::fgetc(f);   // positioned at the end: an empty file
    int rc = read_translation_file(f);
    std::fclose(f);
    if (rc == 0) {
        std::vector<std::string> branches = {"main", "dev/1", "a b", "REPLACED1", "x.y"};
        std::vector<std::string> labels = {"REL_1", "main", "1.2", "dev/1", ""};
        translate_names("branch", branches);
        translate_names("label", labels);
        std::string path = "main/dev/1/x";
        translate_branch_path(path);
        FILE *out = std::fopen("/dev/null", "w");
        if (out) {
            // A failed write is reported by the writer; the run only needs it not to crash.
            (void)write_translation_file(out);
            std::fclose(out);
        }
    }
    reset_type_names();
    return 0;
}
