// Option-word parser of the import front ends; see clp.h for the matching rule.
#include "clp.h"

#include <cstring>
#include <memory>
#include <vector>

struct clp_hdl {
    std::vector<std::string> words;
    size_t next = 0;
    const clp_option *table = nullptr;
    bool flags_ended = false;   // "--" seen
    std::string last_flag;
};

namespace {

// Length of the mandatory part when word matches entry, else -1.
int match_length(const char *entry, const std::string &word) {
    const char *open = std::strchr(entry, '[');
    if (!open)
        return word == entry ? int(std::strlen(entry)) : -1;
    size_t mand = size_t(open - entry);
    if (word.size() < mand || word.compare(0, mand, entry, mand) != 0)
        return -1;
    const char *close = std::strchr(open, ']');
    size_t opt_len = close ? size_t(close - open - 1) : std::strlen(open + 1);
    size_t rest = word.size() - mand;
    if (rest > opt_len || word.compare(mand, rest, open + 1, rest) != 0)
        return -1;
    return int(mand);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads one word starting at p (not a blank); false on an unterminated quote.
bool read_word(const char *&p, std::string *word) {
    bool quoted = false;
    for (; *p && (quoted || !is_blank(*p)); ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (quoted && *p == '\\' && (p[1] == '"' || p[1] == '\\')) {
            *word += *++p;
        } else {
            *word += *p;
        }
    }
    return !quoted;
}

}   // namespace

int clp_find_option(const clp_option *table, const std::string &word) {
    int best_id = -1, best_len = -1;
    for (const clp_option *e = table; e && e->word; ++e) {
        int len = match_length(e->word, word);
        if (len > best_len) {
            best_len = len;
            best_id = e->id;
        }
    }
    return best_id;
}

int clp_create_hdl_using_argv(int argc, const char *const argv[], const clp_option *table, clp_hdl **out) {
    *out = nullptr;
    auto h = std::make_unique<clp_hdl>();
    for (int i = 0; i < argc && argv[i]; ++i)
        h->words.emplace_back(argv[i]);
    h->table = table;
    *out = h.release();
    return 0;
}

int clp_create_hdl_using_string(const char *text, const clp_option *table, clp_hdl **out) {
    *out = nullptr;
    auto h = std::make_unique<clp_hdl>();
    h->table = table;
    const char *p = text ? text : "";
    while (true) {
        while (is_blank(*p))
            ++p;
        if (!*p)
            break;
        std::string word;
        if (!read_word(p, &word))
            return CLP_ERR_QUOTE;
        h->words.push_back(std::move(word));
    }
    *out = h.release();
    return 0;
}

std::string clp_quote_word(const std::string &word) {
    bool plain = !word.empty();
    for (char c : word)
        plain = plain && !is_blank(c) && c != '"' && c != '\\';
    if (plain)
        return word;
    std::string q = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    return q + "\"";
}

int clp_get_next_flag_value(clp_hdl *hdl, int *id) {
    if (id)
        *id = -1;
    if (!hdl || hdl->next >= hdl->words.size())
        return CLP_END;
    const std::string &w = hdl->words[hdl->next];
    if (!hdl->flags_ended && w == "--") {
        hdl->flags_ended = true;
        ++hdl->next;
        return hdl->next < hdl->words.size() ? CLP_ARGS : CLP_END;
    }
    if (hdl->flags_ended || w.size() < 2 || w[0] != '-')
        return CLP_ARGS;
    ++hdl->next;
    hdl->last_flag = w;
    int found = clp_find_option(hdl->table, w);
    if (id)
        *id = found;
    return found == -1 ? CLP_UNKNOWN_FLAG : CLP_FLAG;
}

int clp_get_next_arg(clp_hdl *hdl, const char **arg) {
    if (!hdl || hdl->next >= hdl->words.size())
        return 0;
    if (arg)
        *arg = hdl->words[hdl->next].c_str();
    ++hdl->next;
    return 1;
}

int clp_get_argc(const clp_hdl *hdl) { return hdl ? int(hdl->words.size()) : 0; }

const char *clp_last_flag_word(const clp_hdl *hdl) { return hdl ? hdl->last_flag.c_str() : ""; }

void clp_destroy_hdl(clp_hdl **hdl) {
    if (!hdl)
        return;
    delete *hdl;
    *hdl = nullptr;
}
