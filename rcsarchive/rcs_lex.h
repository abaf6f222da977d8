// Tokenizer of RCS archive text, over the whole file held in memory.
//
// Tokens: words (runs of characters that are not white space, ";", ":" or
// "@"), strings ("@...@" with "@@" standing for one "@"), ";" and ":".
// A token's text points into the file buffer and stays valid while the buffer
// lives; strings keep their doubled "@" until rcs_string_value undoes it, so
// stepping over a revision's text costs one scan and no copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum rcs_tok_kind {
    RCS_TOK_EOF,
    RCS_TOK_WORD,
    RCS_TOK_STRING,
    RCS_TOK_SEMI,
    RCS_TOK_COLON,
    RCS_TOK_UNTERMINATED,   // a string that runs to the end of the file
};

struct rcs_token {
    int kind = RCS_TOK_EOF;
    std::string_view text;   // word or raw string contents (doubled "@" kept)
    size_t pos = 0;          // offset of the token's first character
    bool doubled_at = false;
};

struct rcs_lexer {
    const char *buf = nullptr;
    size_t len = 0;
    size_t pos = 0;
};

void rcs_lex_init(rcs_lexer *lx, const char *buf, size_t len, size_t pos = 0);
// Reads the next token. Words may carry a ":" inside only as separate tokens.
void rcs_next_token(rcs_lexer *lx, rcs_token *t);
// The token's value: a string with "@@" undone, or a word as it stands.
std::string rcs_string_value(const rcs_token &t);
// 1-based line of an offset (counted on demand: only messages need it).
int rcs_line_of(const rcs_lexer *lx, size_t pos);
// Readable text of a token for messages ("end of file" at the end).
std::string rcs_token_desc(const rcs_token &t);
