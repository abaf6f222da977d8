// The config-spec parser. Checked: a refusal says where and why and leaves
// the rules alone; accepted rules are well formed (a label a type name the
// store takes, a version a branch path and a number, LATEST a branch path),
// and written back as rules they parse to the same rules, the text written
// from those being the same again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/store/vob.h"
#include "platform/view/view.h"
#include "runtime/typename.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

std::string write_rules(const std::vector<vob_rule> &rules) {
    std::string out;
    for (const vob_rule &r : rules) {
        out += "element ";
        if (r.only == VOB_MT_FILE_ELEM)
            out += "-file ";
        else if (r.only == VOB_MT_DIR_ELEM)
            out += "-directory ";
        out += "* ";
        switch (r.kind) {
            case vob_rule::CHECKEDOUT:
                out += "CHECKEDOUT";
                break;
            case vob_rule::LATEST:
                out += r.arg + "/LATEST";
                break;
            case vob_rule::VERSION:
            case vob_rule::LABEL:
                out += r.arg;
                break;
        }
        out += "\n";
    }
    return out;
}

bool same(const std::vector<vob_rule> &a, const std::vector<vob_rule> &b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].arg != b[i].arg || a[i].only != b[i].only)
            return false;
    return true;
}

// "/main/dev" or ".../dev": type names after the start, each after one "/".
bool branch_path(const std::string &p) {
    size_t at = p.compare(0, 4, ".../") == 0 ? 4 : (p.compare(0, 1, "/") == 0 ? 1 : std::string::npos);
    if (at == std::string::npos)
        return false;
    for (;;) {
        size_t slash = p.find('/', at);
        if (!typename_acceptable(p.substr(at, slash == std::string::npos ? slash : slash - at)))
            return false;
        if (slash == std::string::npos)
            return true;
        at = slash + 1;
    }
}

void check_rule(const vob_rule &r) {
    FUZZ_CHECK(r.only == 0 || r.only == VOB_MT_FILE_ELEM || r.only == VOB_MT_DIR_ELEM);
    switch (r.kind) {
        case vob_rule::CHECKEDOUT:
            break;
        case vob_rule::LATEST:
            FUZZ_CHECK(branch_path(r.arg));
            break;
        case vob_rule::LABEL:
            FUZZ_CHECK(typename_acceptable(r.arg));
            break;
        case vob_rule::VERSION: {
            size_t slash = r.arg.rfind('/');
            FUZZ_CHECK(slash != std::string::npos && branch_path(r.arg.substr(0, slash)));
            std::string n = r.arg.substr(slash + 1);
            FUZZ_CHECK(!n.empty() && n.size() < 19 && n.find_first_not_of("0123456789") == std::string::npos);
            break;
        }
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_quiet_messages();
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<vob_rule> rules(1), before = rules;
    std::string err;
    int rc = view_parse_config_spec(text, "cs.txt", &rules, &err);
    if (rc != VOB_OK) {
        FUZZ_CHECK(err.find("cs.txt") != std::string::npos && same(rules, before));
        return 0;
    }
    FUZZ_CHECK(!rules.empty());
    for (const vob_rule &r : rules)
        check_rule(r);
    const std::string written = write_rules(rules);
    std::vector<vob_rule> again;
    FUZZ_CHECK(view_parse_config_spec(written, "again", &again, &err) == VOB_OK);
    FUZZ_CHECK(same(rules, again) && write_rules(again) == written);
    return 0;
}
