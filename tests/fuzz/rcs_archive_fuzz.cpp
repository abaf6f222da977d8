// The RCS archive reader, through the driver operations an export run calls:
// the bytes become an archive file, which is opened (the one-pass parse and
// the branch paths of every delta), described, walked version by version
// (logs, labels, branches) and given its extract commands. The first byte
// picks the mode (RCS, CVS, SI) and the options -V and -S.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "drivers/rcs/rcs_driver.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

// A private directory holding the one archive, removed at exit.
struct scratch {
    std::string dir, path;
    scratch() {
        char tmpl[] = "/tmp/rcs_fuzz.XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        dir = tmpl;
        path = dir + "/a.c,v";
    }
    ~scratch() {
        ::unlink(path.c_str());
        ::rmdir(dir.c_str());
    }
};

bool write_file(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static scratch s;
    static const int modes[] = {RCS_MODE_RCS, RCS_MODE_CVS, RCS_MODE_SI, RCS_MODE_RCS};
    unsigned sel = size ? data[0] : 0;
    if (size) {
        ++data;
        --size;
    }
    rcs_reset_state();
    rcs_driver_state &st = rcs_state();
    st.mode = modes[sel & 3];
    st.record_revision = (sel >> 2) & 1;
    st.record_state = (sel >> 3) & 1;
    if (!write_file(s.path, data, size))
        std::abort();
    void *h = nullptr;
    if (rcs_cm_open_element(s.path.c_str(), &h) != CM_OK || !h)
        return 0;
    element_info info;
    if (rcs_cm_element_info(h, &info) == CM_OK) {
        for (;;) {
            cm_version_info v;
            int is_version = 0;
            if (rcs_cm_next_version(h, &v, &is_version) != CM_OK)
                break;
            std::string text;
            int is_command = 0;
            rcs_cm_extract(h, &v, &text, &is_command);
        }
    }
    rcs_cm_close_element(h);
    return 0;
}
