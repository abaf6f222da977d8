// Config specs: "element [-file|-directory] * SELECTOR" lines, "#" comments.
#include "platform/view/view.h"
#include "platform/store/vob_msg.h"
#include "runtime/typename.h"

#include <sstream>

std::string view_default_config_spec() { return "element * CHECKEDOUT\nelement * /main/LATEST\n"; }

static int bad(const std::string &where, int line, const std::string &what, std::string *err) {
    *err = VOB_MSG(VM_CSPEC, where.c_str(), line, what.c_str());
    return VOB_ERR;
}

// A label or branch type name, as the store takes it: letters, digits, "_",
// "-", "."; not beginning with "-" or "."; at most 255 bytes.
static bool type_name_ok(const std::string &n) { return typename_acceptable(n); }

// "/main/dev" style branch path: "/" then type names; or ".../dev", the
// branch of that name wherever it sprouts.
static bool branch_path_ok(const std::string &p) {
    size_t at = p.compare(0, 4, ".../") == 0 ? 4 : 1;
    if (p.size() <= at || (at == 1 && p[0] != '/'))
        return false;
    for (;;) {
        size_t slash = p.find('/', at);
        if (!type_name_ok(p.substr(at, slash == std::string::npos ? std::string::npos : slash - at)))
            return false;
        if (slash == std::string::npos)
            return true;
        at = slash + 1;
    }
}

// The selector word of a rule into *rule; false when it is none.
static bool selector(const std::string &sel, vob_rule *rule) {
    if (sel == "CHECKEDOUT") {
        rule->kind = vob_rule::CHECKEDOUT;
        return true;
    }
    if (sel[0] != '/' && sel.compare(0, 4, ".../") != 0) {
        rule->kind = vob_rule::LABEL;
        rule->arg = sel;
        return type_name_ok(sel);
    }
    size_t slash = sel.rfind('/');
    std::string br = sel.substr(0, slash), last = sel.substr(slash + 1);
    if (slash == 0 || !branch_path_ok(br) || last.empty())
        return false;
    if (last == "LATEST") {
        rule->kind = vob_rule::LATEST;
        rule->arg = br;
        return true;
    }
    rule->kind = vob_rule::VERSION;
    rule->arg = sel;
    return last.find_first_not_of("0123456789") == std::string::npos && last.size() < 19;
}

int view_parse_config_spec(const std::string &text, const std::string &where, std::vector<vob_rule> *rules,
                           std::string *err) {
    std::vector<vob_rule> r;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n++;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        std::string x;
        while (words >> x)
            w.push_back(x);
        if (w.empty())
            continue;
        if (w[0] != "element")
            return bad(where, n, "only \"element\" rules are understood, not \"" + w[0] + "\"", err);
        vob_rule rule;
        size_t at = 1;
        if (w.size() > 1 && (w[1] == "-file" || w[1] == "-directory")) {
            rule.only = w[1] == "-file" ? VOB_MT_FILE_ELEM : VOB_MT_DIR_ELEM;
            at = 2;
        }
        for (size_t k = 1; k < w.size(); k++)
            if (w[k][0] == '-' && k >= at)
                return bad(
                    where, n,
                    w[k] == "-file" || w[k] == "-directory"
                        ? "one qualifier, right after \"element\", is understood: \"" + w[k] + "\""
                        : "unknown qualifier \"" + w[k] + "\" (\"-file\" and \"-directory\" are understood)",
                    err);
        if (w.size() < at + 2)
            return bad(where, n, "a rule is \"element [-file|-directory] * VERSION\"", err);
        if (w[at] != "*")
            return bad(where, n, "only the pattern \"*\" is understood, not \"" + w[at] + "\"", err);
        if (w.size() > at + 2)
            return bad(where, n, "unexpected \"" + w[at + 2] + "\" after the version selector", err);
        if (!selector(w[at + 1], &rule))
            return bad(where, n, "bad version selector \"" + w[at + 1] + "\"", err);
        r.push_back(rule);
    }
    if (r.empty())
        return bad(where, n, "the config spec has no rules", err);
    *rules = std::move(r);
    return VOB_OK;
}
