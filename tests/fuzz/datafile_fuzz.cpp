// The export data file reader: the head, then every element up to the clean
// end or the first error, whose text is formatted as the importer would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/import/imp_datafile.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    imp_reader r;
    imp_reader_init(&r, std::string(reinterpret_cast<const char *>(data), size), "fuzz_data");
    imp_error err;
    imp_head head;
    if (imp_read_head(&r, &head, &err) != 0) {
        (void)imp_error_text(err);
        return 0;
    }
    for (;;) {
        imp_element el;
        int rc = imp_read_element(&r, &el, &err);
        if (rc == 0)
            break;
        if (rc < 0) {
            (void)imp_error_text(err);
            // A failed reader stays failed.
            imp_element again;
            if (imp_read_element(&r, &again, &err) >= 0)
                __builtin_trap();
            break;
        }
    }
    return 0;
}
