#include "rcsarchive/rcs_lex.h"

#include <algorithm>
#include <cstring>

namespace {

inline bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline bool ends_word(unsigned char c) { return is_space(c) || c == ';' || c == ':' || c == '@'; }

}   // namespace

void rcs_lex_init(rcs_lexer *lx, const char *buf, size_t len, size_t pos) {
    lx->buf = buf;
    lx->len = len;
    lx->pos = pos;
}

void rcs_next_token(rcs_lexer *lx, rcs_token *t) {
    const char *b = lx->buf;
    size_t n = lx->len, p = lx->pos;
    while (p < n && is_space((unsigned char)b[p]))
        ++p;
    t->pos = p;
    t->doubled_at = false;
    if (p >= n) {
        t->kind = RCS_TOK_EOF;
        t->text = {};
        lx->pos = p;
        return;
    }
    char c = b[p];
    if (c == ';' || c == ':') {
        t->kind = c == ';' ? RCS_TOK_SEMI : RCS_TOK_COLON;
        t->text = std::string_view(b + p, 1);
        lx->pos = p + 1;
        return;
    }
    if (c == '@') {
        size_t start = p + 1, q = start;
        for (;;) {
            const void *at = q < n ? std::memchr(b + q, '@', n - q) : nullptr;
            if (!at) {
                t->kind = RCS_TOK_UNTERMINATED;
                t->text = std::string_view(b + start, n - start);
                lx->pos = n;
                return;
            }
            q = size_t(static_cast<const char *>(at) - b);
            if (q + 1 < n && b[q + 1] == '@') {
                t->doubled_at = true;
                q += 2;
                continue;
            }
            break;
        }
        t->kind = RCS_TOK_STRING;
        t->text = std::string_view(b + start, q - start);
        lx->pos = q + 1;
        return;
    }
    size_t q = p;
    while (q < n && !ends_word((unsigned char)b[q]))
        ++q;
    t->kind = RCS_TOK_WORD;
    t->text = std::string_view(b + p, q - p);
    lx->pos = q;
}

std::string rcs_string_value(const rcs_token &t) {
    if (!t.doubled_at)
        return std::string(t.text);
    std::string s;
    s.reserve(t.text.size());
    for (size_t i = 0; i < t.text.size(); ++i) {
        s += t.text[i];
        if (t.text[i] == '@' && i + 1 < t.text.size() && t.text[i + 1] == '@')
            ++i;
    }
    return s;
}

int rcs_line_of(const rcs_lexer *lx, size_t pos) {
    pos = std::min(pos, lx->len);
    return 1 + int(std::count(lx->buf, lx->buf + pos, '\n'));
}

std::string rcs_token_desc(const rcs_token &t) {
    switch (t.kind) {
        case RCS_TOK_EOF:
            return "end of file";
        case RCS_TOK_STRING:
        case RCS_TOK_UNTERMINATED:
            return "@" + std::string(t.text.substr(0, 40)) + (t.text.size() > 40 ? "...@" : "@");
        default: {
            std::string s(t.text.substr(0, 60));
            for (char &c : s)
                if ((unsigned char)c < 32 || (unsigned char)c >= 127)
                    c = '?';
            return s;
        }
    }
}
