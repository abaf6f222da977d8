// The RCS archive reader, through the driver operations an export run calls:
// the bytes become an archive file, which is opened (the one-pass parse and
// the branch paths of every delta), described, walked version by version
// (logs, labels, branches) and given its extract commands. The first byte
// picks the mode (RCS, CVS, SI) and the options -V and -S. The archive is
// also opened on its own, the promises of rcs_archive.h are checked and its
// revisions rebuilt.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include <unistd.h>

#include "rcsarchive/rcs_archive.h"
#include "rcsarchive/rcs_keyword.h"
#include "drivers/rcs/rcs_driver.h"
#include "rcsarchive/rcs_rev.h"
#include "rcsarchive/rcs_text.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check_archive(const rcs_element *e) {
    fuzz_check(e->delta_by_rev.size() == e->deltas.size());
    for (size_t i = 0; i < e->deltas.size(); ++i) {
        const rcs_delta &d = e->deltas[i];
        fuzz_check(d.rev.size() <= RCS_REV_MAX && rcs_is_revision(d.rev));
        if (i > 0)
            fuzz_check(rcs_rev_compare(e->deltas[i - 1].rev, d.rev) < 0);
        fuzz_check(rcs_find_delta(e, d.rev) == &d);
        size_t len = std::strlen(d.date);
        fuzz_check(len == 17 || len == 19);
        int64_t t = 0;
        fuzz_check(rcs_parse_date(d.date, &t) == 0 && t == d.time);
        fuzz_check(d.rev_pos < e->lx.len && d.text_pos < e->lx.len);
    }
    for (const rcs_symbol &sym : e->symbols) {
        fuzz_check(sym.name.size() <= RCS_SYMBOL_MAX && sym.number.size() <= RCS_SYMBOL_MAX);
        fuzz_check(sym.name.find_first_of("/\\") == std::string::npos);
        fuzz_check(rcs_is_number(sym.number));
    }
    // Every revision rebuilt, or the whole refused with a reason; each handed
    // over once.
    std::vector<size_t> wanted(e->deltas.size());
    for (size_t i = 0; i < wanted.size(); ++i)
        wanted[i] = i;
    std::vector<int> seen(e->deltas.size(), 0);
    std::string why;
    // Each text also goes through keyword expansion as both tools would
    // write it: expanded whole, or refused with a reason and nothing written.
    rcs_kw_values v;
    if (rcs_kmode_parse(e->expand, &v.mode))
        v.mode = RCS_K_KVL;
    v.source = "/r/a.c,v";
    v.rcsfile = "a.c,v";
    std::string out, kw_why;
    int rc = rcs_build_texts(
        e, wanted,
        [&](size_t i, std::string_view text) {
            fuzz_check(i < seen.size() && seen[i]++ == 0);
            const rcs_delta &d = e->deltas[i];
            v.revision = d.rev;
            v.date = d.date;
            v.author = d.author;
            v.state = d.state;
            v.log = rcs_read_log(e, i).value_or("");
            for (rcs_kw_tool tool : {RCS_KW_CO, RCS_KW_CVS}) {
                v.tool = tool;
                kw_why.clear();
                int k = rcs_expand_keywords(text, v, &out, &kw_why);
                fuzz_check(k == 0 || (k == 1 && !kw_why.empty() && out.empty()));
            }
            return 0;
        },
        &why);
    fuzz_check(rc == 0 || (rc == 1 && !why.empty()));
    if (rc == 0)
        for (int n : seen)
            fuzz_check(n == 1);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static fuzz_scratch s("a.c,v");
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
    fuzz_write_file(s.path, data, size);
    rcs_element *e = nullptr;
    if (rcs_open(s.path.c_str(), "a.c", &e) == 0) {
        check_archive(e);
        rcs_close(e);
    }
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
            // A refused version is one of the outcomes under test, not a fault.
            (void)rcs_cm_extract(h, &v, &text, &is_command);
        }
    }
    rcs_cm_close_element(h);
    return 0;
}
