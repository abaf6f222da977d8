// The parser of `ss paths` output and the branch paths it makes. The first
// byte picks the working project. Checked on success: every location has a
// full path within the limit, an "at version" of 1 to 4 digits, a branch
// path within its limit that no other location has, and a parent that is an
// earlier location or none (none for the main line); share keys and alternate names
// are non-empty names below the working project, every alternate name a
// share key. A second parse gives the same answer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "drivers/ssafe/ssafe_driver.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check_element(const ssafe_element &e) {
    std::set<std::string> branches;
    for (size_t i = 0; i < e.locations.size(); ++i) {
        const ssafe_location &l = e.locations[i];
        FUZZ_CHECK(!l.path.empty() && l.path[0] == '$' && l.path.size() <= SSAFE_MAX_PATH);
        FUZZ_CHECK(!l.at_version.empty() && l.at_version.size() <= SSAFE_MAX_AT_VERSION &&
                   l.at_version.find_first_not_of("0123456789") == std::string::npos);
        FUZZ_CHECK(l.branch.size() <= SSAFE_MAX_BRANCH_PATH);
        FUZZ_CHECK(branches.insert(l.branch).second);
        if (l.branch.empty()) {
            FUZZ_CHECK(l.parent.empty());
        } else {
            // No parent: the element fails later, finding no sprout.
            bool earlier = l.parent.empty();
            for (size_t k = 0; k < i; ++k)
                earlier = earlier || e.locations[k].path == l.parent;
            FUZZ_CHECK(earlier);
        }
    }
    for (const std::string &k : e.share_keys)
        FUZZ_CHECK(!k.empty() && k[0] != '/');
    for (const std::string &a : e.alt_names)
        FUZZ_CHECK(std::find(e.share_keys.begin(), e.share_keys.end(), a) != e.share_keys.end());
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static const char *const projects[] = {"$/proj", "$/", "$/proj/dev", "$/a b"};
    const std::string wp = projects[size ? data[0] & 3 : 0];
    std::string text(reinterpret_cast<const char *>(data) + (size ? 1 : 0), size ? size - 1 : 0);
    ssafe_reset_state();
    ssafe_element e;
    e.name = "a.c";
    int rc = ssafe_parse_paths(text, wp, &e);
    FUZZ_CHECK(rc == 0 || rc == 1);
    if (rc == 0)
        check_element(e);
    ssafe_element again;
    again.name = "a.c";
    FUZZ_CHECK(ssafe_parse_paths(text, wp, &again) == rc);
    FUZZ_CHECK(again.share_keys == e.share_keys && again.alt_names == e.alt_names &&
               again.locations.size() == e.locations.size());
    for (size_t i = 0; i < e.locations.size(); ++i)
        FUZZ_CHECK(again.locations[i].path == e.locations[i].path &&
                   again.locations[i].branch == e.locations[i].branch &&
                   again.locations[i].at_version == e.locations[i].at_version);
    return 0;
}
