// The reader of `ss dir` listings and the names the walk makes of what it
// lists. The first byte picks the working project. Checked: every entry is
// a non-empty name without a line end, the line it was read from is that
// name or "$" and it, the reader moves forward and stops; the walk path and
// the full SourceSafe path of each entry are stable ("./" prefixes go, a
// full path is joined once) and lie in the working project.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/ssafe/ssafe_driver.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check_names(const std::string &wp, const std::string &rel) {
    const std::string walk = ssafe_walk_path(rel);
    fuzz_check(ssafe_walk_path("./" + rel) == walk && ssafe_walk_path(walk) == walk);
    const std::string full = ssafe_full_path(wp, rel);
    fuzz_check(ssafe_full_path(wp, "./" + rel) == full);
    if (walk.empty()) {
        fuzz_check(full == wp);
        return;
    }
    if (walk[0] == '$') {
        fuzz_check(full == walk);
        return;
    }
    // Joined with one "/": the working project, then the walk path as it is.
    const std::string joined = wp.back() == '/' ? wp + walk : wp + "/" + walk;
    fuzz_check(full == joined);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static const char *const projects[] = {"$/proj", "$/", "$/proj/sub", "$/a b"};
    const std::string wp = projects[size ? data[0] & 3 : 0];
    const std::string prefix = size && (data[0] & 4) ? "sub/" : "";
    std::string text(reinterpret_cast<const char *>(data) + (size ? 1 : 0), size ? size - 1 : 0);
    size_t pos = 0, entries = 0;
    std::string name, line;
    for (;;) {
        size_t before = pos;
        if (!ssafe_next_listed(text, &pos, &name, &line))
            break;
        fuzz_check(pos > before && pos <= text.size());
        fuzz_check(++entries <= text.size());
        fuzz_check(!name.empty() && name.find('\n') == std::string::npos &&
                   line.find('\n') == std::string::npos);
        fuzz_check(line == name || line == "$" + name);
        fuzz_check(line.back() != ':');
        check_names(wp, prefix + name);
    }
    fuzz_check(pos <= text.size());
    check_names(wp, text);
    return 0;
}
