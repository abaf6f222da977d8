// Reader of RCS archive files: one pass over the file, admin section, deltas,
// description and deltatexts, in the order the format lays them out.
#include "rcsarchive/rcs_archive.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rcsarchive/rcs_msgs.h"
#include "rcsarchive/rcs_rev.h"
#include "runtime/fileutl.h"

struct rcs_file_map {
    const char *data = nullptr;
    size_t size = 0;
    void *mapped = nullptr;   // large archives are mapped, small ones read
    std::vector<char> bytes;
    ~rcs_file_map() {
        if (mapped)
            munmap(mapped, size);
    }
};

namespace {

const imsg_catalog *cat() { return rcs_driver_rcs_msg_table_adr(); }

// Reading costs less than mapping below this size (no page faults, no unmap).
const size_t MAP_THRESHOLD = size_t(1) << 20;

// Reads or maps the whole file; 0, or errno.
int map_file(const char *path, rcs_file_map *m) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno ? errno : EIO;
    struct stat sb;
    int err = 0;
    if (fstat(fd, &sb) != 0) {
        err = errno;
    } else if (size_t(sb.st_size) >= MAP_THRESHOLD) {
        m->size = size_t(sb.st_size);
        void *p = mmap(nullptr, m->size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            err = errno;
        } else {
            madvise(p, m->size, MADV_SEQUENTIAL);
            m->mapped = p;
            m->data = static_cast<const char *>(p);
        }
    } else {
        // Read to the end: the size may have changed since fstat.
        m->bytes.reserve(size_t(sb.st_size) + 1);
        err = fileutl_read_chunks(fd, [m](const char *data, size_t n) {
            m->bytes.insert(m->bytes.end(), data, data + n);
            return 0;
        });
        m->size = m->bytes.size();
        m->data = m->bytes.data();
    }
    ::close(fd);
    return err;
}

struct parser {
    rcs_element *e;
    rcs_token tok;
    char replace_char = '.';
    const char *section = "admin section";

    void next() { rcs_next_token(&e->lx, &tok); }
    int line() const { return rcs_line_of(&e->lx, tok.pos); }
    bool is_word(const char *w) const { return tok.kind == RCS_TOK_WORD && tok.text == w; }
    bool is_number() const { return tok.kind == RCS_TOK_WORD && rcs_is_number(tok.text); }

    // Where a message of the first 26 entries, which name no file, came from.
    int at() const {
        RCS_SAY(IMSG_CONT, cat(), RCS_AT, e->path.c_str(), line());
        return 1001;
    }
    // The current token is the file's last: a file cut short, not a misplaced word.
    bool cut_short() const {
        if (tok.kind == RCS_TOK_EOF)
            return true;
        for (size_t i = e->lx.pos; i < e->lx.len; ++i)
            if (!std::isspace((unsigned char)e->lx.buf[i]))
                return false;
        return tok.kind == RCS_TOK_WORD;
    }
    // The current token is not what the grammar wants here.
    int unexpected(const char *what) const {
        if (cut_short())
            RCS_SAY(IMSG_ERROR, cat(), RCS_TRUNCATED, e->path.c_str(), line(), section);
        else if (tok.kind == RCS_TOK_UNTERMINATED)
            RCS_SAY(IMSG_ERROR, cat(), RCS_UNTERMINATED, e->path.c_str(), line());
        else
            RCS_SAY(IMSG_ERROR, cat(), RCS_SYNTAX, e->path.c_str(), line(), what,
                    rcs_token_desc(tok).c_str());
        return 1001;
    }
    int expect_semi() {
        next();
        return tok.kind == RCS_TOK_SEMI ? 0 : unexpected("\";\"");
    }
    // Steps over a phrase this reader does not use, up to its ";".
    int skip_phrase() {
        for (;;) {
            next();
            if (tok.kind == RCS_TOK_SEMI)
                return 0;
            if (tok.kind == RCS_TOK_EOF || tok.kind == RCS_TOK_UNTERMINATED)
                return unexpected("\";\"");
        }
    }
    int check_revision(const char *what_for) const {
        (void)what_for;
        if (tok.text.size() > RCS_REV_MAX) {
            std::string shown(tok.text.substr(0, RCS_REV_MAX));
            shown += "...";
            RCS_SAY(IMSG_ERROR, cat(), RCS_REV_TOO_LONG, e->path.c_str(), line(), shown.c_str(),
                    int(RCS_REV_MAX));
            return 1001;
        }
        if (!rcs_is_revision(tok.text)) {
            RCS_SAY(IMSG_ERROR, cat(), RCS_REV_MALFORMED, e->path.c_str(), line(),
                    rcs_token_desc(tok).c_str());
            return 1001;
        }
        return 0;
    }
    int check_symbol_field(const char *field) const {
        if (tok.text.size() <= RCS_SYMBOL_MAX)
            return 0;
        std::string shown(tok.text.substr(0, 60));
        shown += "...";
        RCS_SAY(IMSG_ERROR, cat(), RCS_SYMBOL_TOO_LONG, e->path.c_str(), line(), field, shown.c_str(),
                int(RCS_SYMBOL_MAX));
        return 1001;
    }

    // Lists a phrase outside RCS's grammar, each name once.
    void note_phrase(std::string_view name) {
        if (std::find(e->newphrases.begin(), e->newphrases.end(), name) == e->newphrases.end())
            e->newphrases.emplace_back(name);
    }
    // Lists the current phrase, then skips it.
    int new_phrase() {
        note_phrase(tok.text);
        return skip_phrase();
    }
    // The value of a phrase of one string or none ("comment @# @;"). Any
    // other value is stepped over as before, and the phrase is listed among
    // the ones outside the grammar, so that no reader takes it for a value
    // it understands.
    int string_phrase(std::optional<std::string> *out) {
        std::string name(tok.text);
        next();
        if (tok.kind == RCS_TOK_SEMI)
            return 0;
        if (tok.kind == RCS_TOK_STRING) {
            rcs_token value = tok;
            next();
            if (tok.kind == RCS_TOK_SEMI) {
                *out = rcs_string_value(value);
                return 0;
            }
        }
        note_phrase(name);
        return tok.kind == RCS_TOK_SEMI ? 0 : skip_phrase();
    }

    int symbols();
    int locks();
    int admin();
    int delta(rcs_delta *d);
    int deltatexts();
};

int parser::symbols() {
    char rc = replace_char;
    for (;;) {
        next();
        if (tok.kind == RCS_TOK_SEMI)
            return 0;
        if (tok.kind != RCS_TOK_WORD)
            return unexpected("a symbol");
        if (int r = check_symbol_field("name"))
            return r;
        rcs_symbol s;
        s.name = std::string(tok.text);
        // "name:1.2", "name :1.2" and "name : 1.2" are one entry each.
        next();
        if (tok.kind != RCS_TOK_COLON) {
            RCS_SAY(IMSG_ERROR, cat(), RCS_NO_SYMBOLS);
            return at();
        }
        next();
        if (!is_number())
            return unexpected("the number of a symbol");
        if (int r = check_symbol_field("number"))
            return r;
        s.number = std::string(tok.text);
        // "/" and "\" separate branch paths: a name must hold neither.
        if (s.name.find_first_of("\\/") != std::string::npos) {
            std::string fixed = s.name;
            std::replace(fixed.begin(), fixed.end(), '\\', rc);
            std::replace(fixed.begin(), fixed.end(), '/', rc);
            RCS_SAY(IMSG_WARNING, cat(), RCS_CHANGED_TYPE, s.name.c_str(), fixed.c_str());
            s.name = fixed;
        }
        e->symbols.push_back(std::move(s));
    }
}

int parser::locks() {
    for (;;) {
        next();
        if (tok.kind == RCS_TOK_SEMI)
            return 0;
        if (tok.kind != RCS_TOK_WORD) {
            RCS_SAY(IMSG_ERROR, cat(), RCS_LOCKS_FAILED);
            return at();
        }
        std::string entry(tok.text);
        next();
        if (tok.kind != RCS_TOK_COLON) {
            RCS_SAY(IMSG_ERROR, cat(), RCS_LOCKS_FAILED);
            return at();
        }
        next();
        if (!is_number()) {
            RCS_SAY(IMSG_ERROR, cat(), RCS_LOCKS_FAILED);
            return at();
        }
        entry += ':';
        entry += tok.text;
        e->locks.push_back(std::move(entry));
    }
}

int parser::admin() {
    next();
    if (!is_word("head")) {
        RCS_SAY(IMSG_ERROR, cat(), RCS_NOT_RCS);
        return at();
    }
    next();
    if (tok.kind == RCS_TOK_WORD) {
        e->head = std::string(tok.text);
        next();
    }
    if (tok.kind != RCS_TOK_SEMI)
        return unexpected("\";\"");
    for (;;) {
        next();
        if (is_number() || is_word("desc"))
            return 0;
        if (tok.kind != RCS_TOK_WORD)
            return unexpected("a keyword");
        int r;
        if (tok.text == "symbols") {
            r = symbols();
        } else if (tok.text == "locks") {
            r = locks();
        } else if (tok.text == "branch") {
            next();
            if (tok.kind == RCS_TOK_WORD) {
                e->default_branch = std::string(tok.text);
                r = expect_semi();
            } else {
                r = tok.kind == RCS_TOK_SEMI ? 0 : unexpected("\";\"");
            }
        } else if (tok.text == "comment") {
            r = string_phrase(&e->comment);
        } else if (tok.text == "expand") {
            r = string_phrase(&e->expand);
        } else if (tok.text == "strict") {
            e->strict = true;
            r = skip_phrase();
        } else if (tok.text == "access") {
            r = skip_phrase();
        } else {
            r = new_phrase();
        }
        if (r)
            return r;
    }
}

int parser::delta(rcs_delta *d) {
    if (int r = check_revision("delta"))
        return r;
    d->rev = std::string(tok.text);
    d->rev_pos = tok.pos;
    next();
    if (!is_word("date")) {
        if (cut_short())
            return unexpected("date");
        RCS_SAY(IMSG_ERROR, cat(), RCS_NEXT_VERSION_FAILED);
        return at();
    }
    next();
    if (tok.kind != RCS_TOK_WORD)
        return unexpected("a date");
    if (tok.text.size() != 17 && tok.text.size() != 19) {
        RCS_SAY(IMSG_ERROR, cat(), RCS_DATE_LENGTH, std::string(tok.text).c_str());
        return at();
    }
    tok.text.copy(d->date, tok.text.size());
    d->date[tok.text.size()] = '\0';
    if (rcs_parse_date(d->date, &d->time))
        return at();
    if (int r = expect_semi())
        return r;
    static const char *const fields[] = {"author", "state", "branches", "next"};
    for (const char *field : fields) {
        next();
        if (!is_word(field)) {
            if (cut_short())
                return unexpected(field);
            RCS_SAY(IMSG_ERROR, cat(), RCS_NEXT_VERSION_FAILED);
            return at();
        }
        for (;;) {
            next();
            if (tok.kind == RCS_TOK_SEMI)
                break;
            if (tok.kind == RCS_TOK_EOF || tok.kind == RCS_TOK_UNTERMINATED)
                return unexpected("\";\"");
            if (field[0] == 'a') {
                // Blanks between words are dropped; a string keeps its own.
                d->author += rcs_string_value(tok);
            } else if (field[0] == 's') {
                d->state += rcs_string_value(tok);
            } else if (field[0] == 'b') {
                if (int r = check_revision("branch"))
                    return r;
                d->branches.emplace_back(tok.text);
            } else {
                if (int r = check_revision("next"))
                    return r;
                d->next = std::string(tok.text);
            }
        }
    }
    // Phrases added by later tools (CVS's commitid and the like).
    for (;;) {
        next();
        if (tok.kind != RCS_TOK_WORD || is_number() || tok.text == "desc")
            return 0;
        if (int r = new_phrase())
            return r;
    }
}

int parser::deltatexts() {
    section = "revision texts";
    for (next(); tok.kind != RCS_TOK_EOF; next()) {
        if (!is_number())
            return unexpected("a revision number");
        auto it = e->delta_by_rev.find(tok.text);
        rcs_delta *d = it == e->delta_by_rev.end() ? nullptr : &e->deltas[it->second];
        size_t text_pos = tok.pos;
        next();
        if (!is_word("log"))
            return unexpected("log");
        next();
        if (tok.kind != RCS_TOK_STRING)
            return unexpected("the log message");
        rcs_token log = tok;
        for (;;) {
            next();
            if (is_word("text"))
                break;
            if (tok.kind != RCS_TOK_WORD)
                return unexpected("text");
            if (int r = new_phrase())
                return r;
        }
        next();
        if (tok.kind != RCS_TOK_STRING)
            return unexpected("the revision text");
        if (d && d->text_pos == 0) {
            d->text_pos = text_pos;
            d->log = log;
            d->text = tok;
        }
    }
    return 0;
}

// Revision order (rcs_rev_compare) without moving deltas around while
// sorting: numeric keys are compared, then the deltas are placed once.
void sort_deltas(std::vector<rcs_delta> &deltas) {
    size_t n = deltas.size();
    // Fields of every revision number, one flat array; key i is
    // fields[start[i] .. start[i + 1]).
    std::vector<uint32_t> fields;
    std::vector<size_t> start(n + 1, 0);
    bool fits = true;
    for (size_t i = 0; i < n && fits; ++i) {
        start[i] = fields.size();
        uint64_t v = 0;
        for (char c : deltas[i].rev) {
            if (c == '.') {
                fields.push_back(uint32_t(v));
                v = 0;
            } else if ((v = v * 10 + uint64_t(c - '0')) > UINT32_MAX) {
                fits = false;
                break;
            }
        }
        fields.push_back(uint32_t(v));
    }
    start[n] = fields.size();
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = i;
    if (fits) {
        // Lexicographic order of the fields is the revision order, prefix first;
        // equal fields written differently fall back to the text.
        const uint32_t *f = fields.data();
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const uint32_t *pa = f + start[a], *ea = f + start[a + 1];
            const uint32_t *pb = f + start[b], *eb = f + start[b + 1];
            for (; pa != ea && pb != eb; ++pa, ++pb)
                if (*pa != *pb)
                    return *pa < *pb;
            if (pa != ea || pb != eb)
                return pa == ea;
            return deltas[a].rev < deltas[b].rev;
        });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return rcs_rev_compare(deltas[a].rev, deltas[b].rev) < 0;
        });
    }
    std::vector<rcs_delta> sorted;
    sorted.reserve(n);
    for (size_t i : order)
        sorted.push_back(std::move(deltas[i]));
    deltas = std::move(sorted);
}

int read_archive(rcs_element *e, char replace_char) {
    parser p{e, {}, replace_char};
    if (int r = p.admin())
        return r;
    p.section = "delta list";
    while (p.is_number()) {
        rcs_delta d;
        if (int r = p.delta(&d))
            return r;
        e->deltas.push_back(std::move(d));
    }
    if (!p.is_word("desc"))
        return p.unexpected("desc");
    if (e->deltas.empty()) {
        RCS_SAY(IMSG_WARNING, cat(), RCS_NO_DELTAS);
        p.at();
    }
    p.section = "description";
    p.next();
    if (p.tok.kind != RCS_TOK_STRING)
        return p.unexpected("the description");
    e->description = rcs_string_value(p.tok);

    sort_deltas(e->deltas);
    for (size_t i = 0; i < e->deltas.size(); ++i) {
        auto [it, fresh] = e->delta_by_rev.emplace(e->deltas[i].rev, i);
        if (!fresh) {
            RCS_SAY(IMSG_ERROR, cat(), RCS_DUPLICATE_REV, e->path.c_str(),
                    rcs_line_of(&e->lx, e->deltas[i].rev_pos), e->deltas[i].rev.c_str());
            return 1001;
        }
    }
    if (int r = p.deltatexts())
        return r;

    std::reverse(e->symbols.begin(), e->symbols.end());
    for (size_t i = 0; i < e->symbols.size(); ++i)
        e->symbols_by_number[e->symbols[i].number].push_back(i);
    return 0;
}

}   // namespace

int rcs_open(const char *path, const char *element_name, rcs_element **out, char replace_char, bool quiet) {
    *out = nullptr;
    rcs_quiet_scope hush(quiet);
    auto e = std::make_unique<rcs_element>();
    e->path = path;
    e->element_name = element_name ? element_name : "";
    e->file = std::make_shared<rcs_file_map>();
    if (int err = map_file(path, e->file.get())) {
        RCS_SAY(IMSG_ERROR, cat(), RCS_CANT_OPEN, path);
        RCS_SAY(IMSG_CONT, cat(), RCS_REASON, std::strerror(err));
        return 1001;
    }
    rcs_lex_init(&e->lx, e->file->data, e->file->size);
    if (int r = read_archive(e.get(), replace_char))
        return r;
    *out = e.release();
    return 0;
}

void rcs_close(rcs_element *e) { delete e; }

const std::vector<std::string> &rcs_read_locks(const rcs_element *e) { return e->locks; }

const std::optional<std::string> &rcs_read_description(const rcs_element *e) { return e->description; }

std::optional<std::string> rcs_read_log(const rcs_element *e, size_t i) {
    const rcs_delta &d = e->deltas[i];
    if (d.log.kind != RCS_TOK_STRING) {
        RCS_SAY(IMSG_ERROR, cat(), RCS_NO_COMMENT, d.rev.c_str());
        RCS_SAY(IMSG_CONT, cat(), RCS_AT, e->path.c_str(), rcs_line_of(&e->lx, d.rev_pos));
        return std::nullopt;
    }
    return rcs_string_value(d.log);
}

const char *rcs_find_symbol(const rcs_element *e, std::string_view number, size_t *cursor) {
    auto it = e->symbols_by_number.find(number);
    if (it == e->symbols_by_number.end() || *cursor >= it->second.size())
        return nullptr;
    return e->symbols[it->second[(*cursor)++]].name.c_str();
}

const rcs_delta *rcs_find_delta(const rcs_element *e, std::string_view rev) {
    auto it = e->delta_by_rev.find(rev);
    return it == e->delta_by_rev.end() ? nullptr : &e->deltas[it->second];
}

std::optional<std::string> rcs_read_text(const rcs_element *e, size_t i) {
    const rcs_delta &d = e->deltas[i];
    if (d.text.kind != RCS_TOK_STRING)
        return std::nullopt;
    return rcs_string_value(d.text);
}
