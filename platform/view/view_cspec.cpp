// Config specs: "element [-file|-directory] PATTERN SELECTOR" lines, "#"
// comments. PATTERN is "*", a view path ("/proj/src/a.c") or one followed by
// "/..." (it and everything below); in double quotes it may hold blanks.
#include "platform/view/view.h"
#include "platform/store/vob_msg.h"
#include "runtime/typename.h"

#include <sstream>
#include <vector>

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

// One word of a rule; quoted: it was written in double quotes.
struct cs_word {
    std::string text;
    bool quoted = false;
};

static bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The words of a line before its comment ("#" outside quotes). A quoted word
// runs from its opening quote to the next one, which a blank, a comment or
// the line's end must follow; a quote inside an unquoted word is refused.
// "" or what is wrong.
static std::string split_words(const std::string &line, std::vector<cs_word> *out) {
    size_t i = 0, n = line.size();
    for (;;) {
        while (i < n && blank(line[i]))
            i++;
        if (i == n || line[i] == '#')
            return "";
        cs_word w;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                return "unterminated quote: " + line.substr(i);
            w.text = line.substr(i + 1, end - i - 1);
            w.quoted = true;
            i = end + 1;
            if (i < n && !blank(line[i]) && line[i] != '#')
                return "a blank must follow the closing quote of \"" + w.text + "\"";
        } else {
            size_t from = i;
            while (i < n && !blank(line[i]) && line[i] != '#') {
                if (line[i] == '"')
                    return "a quote may only enclose a whole word: " + line.substr(from);
                i++;
            }
            w.text = line.substr(from, i - from);
        }
        out->push_back(std::move(w));
    }
}

// The pattern word of a rule into *rule: "*", "/PATH" or "/PATH/..." (the
// path and everything below it; "/..." is every element, as "*"). The path
// has no empty component, "." nor "..", no "*" and no "..." of its own.
// "" or why it is refused.
static std::string pattern(const std::string &pat, vob_rule *rule) {
    if (pat == "*")
        return "";
    std::string p = pat;
    if (p.empty() || p[0] != '/')
        return "a pattern is \"*\", a path from \"/\" or such a path followed by \"/...\"";
    if (p.size() >= 4 && p.compare(p.size() - 4, 4, "/...") == 0) {
        rule->below = 1;
        p.resize(p.size() - 4);
        if (p.empty()) {
            rule->below = 0;   // "/...": every element
            return "";
        }
    }
    if (p == "/")
        return "\"/\" is the view's root, which is no element";
    for (size_t at = 1;;) {
        size_t slash = p.find('/', at);
        std::string c = p.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (c.empty())
            return "a path has no empty component";
        if (c == "." || c == "..")
            return "a path has no \".\" or \"..\" component";
        if (c.find('*') != std::string::npos)
            return "\"*\" is a pattern of its own, not part of a path";
        if (c == "...")
            return "\"...\" only ends a pattern, after a \"/\"";
        if (c.size() > 3 && c.compare(c.size() - 3, 3, "...") == 0)
            return "\"...\" follows a \"/\" (\"" + p.substr(0, p.size() - 3) + "/...\")";
        if (slash == std::string::npos)
            break;
        at = slash + 1;
    }
    rule->path = p;
    return "";
}

int view_parse_config_spec(const std::string &text, const std::string &where, std::vector<vob_rule> *rules,
                           std::string *err) {
    std::vector<vob_rule> r;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n++;
        std::vector<cs_word> w;
        std::string why = split_words(line, &w);
        if (!why.empty())
            return bad(where, n, why, err);
        if (w.empty())
            continue;
        if (w[0].text != "element")
            return bad(where, n, "only \"element\" rules are understood, not \"" + w[0].text + "\"", err);
        vob_rule rule;
        size_t at = 1;
        if (w.size() > 1 && !w[1].quoted && (w[1].text == "-file" || w[1].text == "-directory")) {
            rule.only = w[1].text == "-file" ? VOB_MT_FILE_ELEM : VOB_MT_DIR_ELEM;
            at = 2;
        }
        for (size_t k = at; k < w.size(); k++) {
            const std::string &q = w[k].text;
            if (!w[k].quoted && q[0] == '-')
                return bad(
                    where, n,
                    q == "-file" || q == "-directory"
                        ? "one qualifier, right after \"element\", is understood: \"" + q + "\""
                        : "unknown qualifier \"" + q + "\" (\"-file\" and \"-directory\" are understood)",
                    err);
        }
        if (w.size() < at + 2)
            return bad(where, n, "a rule is \"element [-file|-directory] PATTERN VERSION\"", err);
        if (!(why = pattern(w[at].text, &rule)).empty())
            return bad(where, n, "bad pattern \"" + w[at].text + "\": " + why, err);
        if (w.size() > at + 2)
            return bad(where, n, "unexpected \"" + w[at + 2].text + "\" after the version selector", err);
        if (!selector(w[at + 1].text, &rule))
            return bad(where, n, "bad version selector \"" + w[at + 1].text + "\"", err);
        r.push_back(rule);
    }
    if (r.empty())
        return bad(where, n, "the config spec has no rules", err);
    *rules = std::move(r);
    return VOB_OK;
}
