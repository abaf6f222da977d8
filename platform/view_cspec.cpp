// Config specs: "element * SELECTOR" lines, "#" comments.
#include "platform/view.h"
#include "platform/vob_msg.h"

#include <sstream>

std::string view_default_config_spec() { return "element * CHECKEDOUT\nelement * /main/LATEST\n"; }

static int bad(const std::string &where, int line, const std::string &what, std::string *err) {
    *err = VOB_MSG(VM_CSPEC, where.c_str(), line, what.c_str());
    return VOB_ERR;
}

// "/main/dev" style branch path: "/" then names.
static bool branch_path_ok(const std::string &p) {
    if (p.size() < 2 || p[0] != '/' || p.back() == '/' || p.find("//") != std::string::npos)
        return false;
    for (char c : p)
        if (!(isalnum((unsigned char)c) || c == '_' || c == '-' || c == '.' || c == '/'))
            return false;
    return true;
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
        if (w.size() < 3)
            return bad(where, n, "a rule is \"element * VERSION\"", err);
        if (w[1] != "*")
            return bad(where, n, "only the pattern \"*\" is understood, not \"" + w[1] + "\"", err);
        if (w.size() > 3)
            return bad(where, n, "unexpected \"" + w[3] + "\" after the version selector", err);
        vob_rule rule;
        const std::string &sel = w[2];
        if (sel == "CHECKEDOUT") {
            rule.kind = vob_rule::CHECKEDOUT;
        } else if (sel[0] == '/') {
            size_t slash = sel.rfind('/');
            std::string br = sel.substr(0, slash), last = sel.substr(slash + 1);
            if (slash == 0 || !branch_path_ok(br) || last.empty())
                return bad(where, n, "bad version selector \"" + sel + "\"", err);
            if (last == "LATEST") {
                rule.kind = vob_rule::LATEST;
                rule.arg = br;
            } else if (last.find_first_not_of("0123456789") == std::string::npos && last.size() < 19) {
                rule.kind = vob_rule::VERSION;
                rule.arg = sel;
            } else {
                return bad(where, n, "bad version selector \"" + sel + "\"", err);
            }
        } else {
            bool ok = isalpha((unsigned char)sel[0]) || sel[0] == '_';
            for (char c : sel)
                ok = ok && (isalnum((unsigned char)c) || c == '_' || c == '-' || c == '.');
            if (!ok)
                return bad(where, n, "bad version selector \"" + sel + "\"", err);
            rule.kind = vob_rule::LABEL;
            rule.arg = sel;
        }
        r.push_back(rule);
    }
    if (r.empty())
        return bad(where, n, "the config spec has no rules", err);
    *rules = std::move(r);
    return VOB_OK;
}
