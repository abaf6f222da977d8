// The reader of `ss dir` listings and the names the walk makes of what it
// lists. The first byte picks the working project. Checked: every entry is
// a non-empty name without a line end; the line it was read from is that
// name, "$" and it, or it followed by a pin (";N"); the reader moves forward
// and stops; the walk path and the full SourceSafe path of each entry are
// stable ("./" prefixes go, a full path is joined once) and lie in the
// working project.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/ssafe/ssafe_driver.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

void check_names(const std::string &wp, const std::string &rel) {
    const std::string walk = ssafe_walk_path(rel);
    FUZZ_CHECK(ssafe_walk_path("./" + rel) == walk && ssafe_walk_path(walk) == walk);
    const std::string full = ssafe_full_path(wp, rel);
    FUZZ_CHECK(ssafe_full_path(wp, "./" + rel) == full);
    if (walk.empty()) {
        FUZZ_CHECK(full == wp);
        return;
    }
    if (walk[0] == '$') {
        FUZZ_CHECK(full == walk);
        return;
    }
    // Joined with one "/": the working project, then the walk path as it is.
    const std::string joined = wp.back() == '/' ? wp + walk : wp + "/" + walk;
    FUZZ_CHECK(full == joined);
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
        FUZZ_CHECK(pos > before && pos <= text.size());
        FUZZ_CHECK(++entries <= text.size());
        FUZZ_CHECK(!name.empty() && name.find('\n') == std::string::npos &&
                   line.find('\n') == std::string::npos);
        // A file's pin (";N") is cut from its name, never a project's "$".
        FUZZ_CHECK(
            line == name || line == "$" + name ||
            (name.find(';') == std::string::npos && line.compare(0, name.size() + 1, name + ";") == 0));
        FUZZ_CHECK(line.back() != ':');
        check_names(wp, prefix + name);
    }
    FUZZ_CHECK(pos <= text.size());
    check_names(wp, text);
    return 0;
}
