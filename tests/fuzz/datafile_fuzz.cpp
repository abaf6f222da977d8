// The export data file reader: the head, then every element up to the clean
// end or the first error, whose text is formatted as the importer would. The
// promises of imp_datafile.h are checked on whatever was read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/import/imp_datafile.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// An error names a line of the file and a byte within it (or just past its end).
void check_error(const imp_error &err, const std::string &data) {
    long lines = 1 + long(std::count(data.begin(), data.end(), '\n'));
    check(err.line >= 1 && err.line <= lines);
    check(err.offset >= 0 && uint64_t(err.offset) <= data.size());
    check(!err.what.empty());
    (void)imp_error_text(err);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    std::string text(reinterpret_cast<const char *>(data), size);
    imp_reader r;
    imp_reader_init(&r, text, "fuzz_data");
    imp_error err;
    imp_head head;
    if (imp_read_head(&r, &head, &err) != 0) {
        check_error(err, text);
        return 0;
    }
    check(!head.dirs.empty() && head.dirs[0] == ".");
    check(!head.globals.onto_brvid || head.globals.onto_branch);
    long last_line = 0;
    for (;;) {
        imp_element el;
        int rc = imp_read_element(&r, &el, &err);
        if (rc == 0)
            break;
        if (rc < 0) {
            check_error(err, text);
            // A failed reader stays failed.
            imp_element again;
            check(imp_read_element(&r, &again, &err) < 0);
            break;
        }
        check(el.line > last_line && el.offset >= 0 && uint64_t(el.offset) < size);
        last_line = el.line;
        for (const imp_version &v : el.versions) {
            check(v.line > last_line);
            last_line = v.line;
            check(!(v.extract_file && v.extract_cmd));
        }
    }
    return 0;
}
