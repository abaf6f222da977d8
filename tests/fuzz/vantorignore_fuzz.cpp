// The .vantorignore reader and the filter's matcher. The input is the file's
// text, then a line "%%", then paths below its directory, one a line, a
// final "/" marking a directory. The first byte picks the file's directory.
// Checked: patterns are non-empty globs without line ends or trailing
// blanks (but a directory's), anchored ones without a leading "/"; a
// verdict repeats, a directory-only pattern never skips a file, the whole
// list skips exactly what some single pattern skips; a pattern without
// wildcards skips the name it spells and no other.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fsimport/fsi_run.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

bool literal(const std::string &glob) { return glob.find_first_of("*?[\\") == std::string::npos; }

void check_pattern(const fsi_pattern &p, const std::string &base) {
    FUZZ_CHECK(!p.glob.empty() && p.base == base);
    FUZZ_CHECK(p.glob.find('\n') == std::string::npos);
    const char last = p.glob.back();
    // Blanks before a final "/" are the directory's name, not trailing ones.
    FUZZ_CHECK(last != '/' && (p.dir_only || (last != '\r' && last != ' ' && last != '\t')));
    FUZZ_CHECK(p.anchored ? p.glob[0] != '/' : p.glob.find('/') == std::string::npos);
    if (!literal(p.glob))
        return;
    const std::vector<fsi_pattern> one{p};
    // The name it spells, up to a NUL: a path can hold none, so a pattern
    // that does must not stand for the part before it.
    const std::string spelt = p.glob.substr(0, p.glob.find('\0'));
    const bool exact = spelt == p.glob;
    const std::string path = p.anchored ? base + spelt : base + "deep/" + spelt;
    FUZZ_CHECK(fsi_ignored(one, path, true) == exact);
    FUZZ_CHECK(fsi_ignored(one, path + "x", true) == false);
    if (!p.dir_only)
        FUZZ_CHECK(fsi_ignored(one, path, false) == exact);
}

void check_path(const std::vector<fsi_pattern> &pats, const std::string &path, bool is_dir) {
    const bool verdict = fsi_ignored(pats, path, is_dir);
    FUZZ_CHECK(fsi_ignored(pats, path, is_dir) == verdict);
    bool any = false;
    for (const fsi_pattern &p : pats) {
        const bool one = fsi_ignored({p}, path, is_dir);
        FUZZ_CHECK(!(one && p.dir_only && !is_dir));
        any = any || one;
    }
    FUZZ_CHECK(any == verdict);
    if (!is_dir && verdict)
        FUZZ_CHECK(fsi_ignored(pats, path, true));
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    static const char *const dirs[] = {"top", "src/top/", "", "/abs/top"};
    const std::string dir = dirs[size ? data[0] & 3 : 0];
    std::string input(reinterpret_cast<const char *>(data) + (size ? 1 : 0), size ? size - 1 : 0);
    std::string text = input, paths;
    size_t sep = input.find("\n%%\n");
    if (sep != std::string::npos) {
        text = input.substr(0, sep + 1);
        paths = input.substr(sep + 4);
    }
    std::vector<fsi_pattern> pats;
    fsi_parse_ignore(text, dir, &pats);
    const std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    for (const fsi_pattern &p : pats)
        check_pattern(p, base);
    size_t pos = 0;
    while (pos < paths.size()) {
        size_t eol = paths.find('\n', pos);
        std::string rel = paths.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? paths.size() : eol + 1;
        bool is_dir = !rel.empty() && rel.back() == '/';
        if (is_dir)
            rel.pop_back();
        check_path(pats, base + rel, is_dir);
    }
    return 0;
}
