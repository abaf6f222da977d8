// The -T translation file reader, followed by what a run does with what it
// read: renames of branch and label names and the file written back. Every
// name that comes out must be one the store takes, and so must the repair of
// the input itself taken as one name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/export_names.h"
#include "runtime/typename.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void require_store_name(const std::string &given, const std::string &name) {
    if (typename_acceptable(name))
        return;
    std::fprintf(stderr, "names_fuzz: \"%s\" became \"%s\", which the store refuses\n", given.c_str(),
                 name.c_str());
    std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    reset_type_names();
    std::string whole(reinterpret_cast<const char *>(data), size), repaired;
    type_name_check(whole.c_str(), 1, &repaired);
    require_store_name(whole, repaired);
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
        const std::vector<std::string> given_branches = {"main", "dev/1", "a b", "REPLACED1", "x.y"};
        const std::vector<std::string> given_labels = {"REL_1", "main", "1.2", "dev/1", ""};
        std::vector<std::string> branches = given_branches, labels = given_labels;
        translate_names("branch", branches);
        translate_names("label", labels);
        for (size_t i = 0; i < branches.size(); ++i)
            require_store_name(given_branches[i], branches[i]);
        for (size_t i = 0; i < labels.size(); ++i)
            require_store_name(given_labels[i], labels[i]);
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
