// The PVCS archive reader, through the driver operations an export run
// calls: the bytes become an archive file, which is classified as a walked
// file, opened (the one pass over header and revision blocks, the sorted
// list, the branch paths), described, walked version by version and given
// its extract commands. The first byte picks the options -G and -V. The
// archive is also opened on its own and the promises of pvcs_archive.h are
// checked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "drivers/pvcs/pvcs_archive.h"
#include "drivers/pvcs/pvcs_driver.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

// Every revision once in the sorted list, linked both ways, within the limits.
void check_archive(const pvcs_element *e) {
    fuzz_check(e->count == int(e->revisions.size()));
    std::vector<int> seen(e->revisions.size(), 0);
    int prev = -1, n = 0;
    for (int i = e->first; i >= 0; i = e->revisions[size_t(i)].next) {
        fuzz_check(i < int(e->revisions.size()) && !seen[size_t(i)]);
        seen[size_t(i)] = 1;
        const pvcs_revision &r = e->revisions[size_t(i)];
        fuzz_check(r.prev == prev);
        fuzz_check(!r.number.empty() && r.number.size() <= PVCS_MAX_REV && r.date != 0);
        fuzz_check(r.records_pos >= PVCS_BLOCK_HEADER && r.records_pos <= e->file.size());
        prev = i;
        ++n;
    }
    fuzz_check(n == e->count);
    for (const pvcs_label &l : e->header.labels)
        fuzz_check(l.name.size() <= PVCS_MAX_LABEL && l.number.size() <= PVCS_MAX_LABEL);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static fuzz_scratch s("a.c_v");
    unsigned sel = size ? data[0] : 0;
    if (size) {
        ++data;
        --size;
    }
    pvcs_reset_state();
    pvcs_state().record_group = sel & 1;
    pvcs_state().record_revision = (sel >> 1) & 1;
    fuzz_write_file(s.path, data, size);
    pvcs_element *e = nullptr;
    if (pvcs_open(s.path.c_str(), &e) == 0) {
        check_archive(e);
        pvcs_close(e);
    }
    int convert = 0, prune = 0;
    std::string name;
    (void)pvcs_cm_map_name(s.path.c_str(), 0, &convert, &prune, &name);
    void *h = nullptr;
    if (pvcs_cm_open_element(s.path.c_str(), &h) != CM_OK || !h)
        return 0;
    element_info info;
    if (pvcs_cm_element_info(h, &info) == CM_OK) {
        for (;;) {
            cm_version_info v;
            int is_version = 0;
            if (pvcs_cm_next_version(h, &v, &is_version) != CM_OK)
                break;
            std::string text;
            int is_command = 0;
            (void)pvcs_cm_extract(h, &v, &text, &is_command);
        }
    }
    pvcs_cm_close_element(h);
    return 0;
}
