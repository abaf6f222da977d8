// The export data file reader: a line lexer under a record layer driven by
// tables of the keys each record may hold, in the order they must come.
#include "platform/import/imp_datafile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace {

enum value_kind { K_MARKER, K_STR, K_INT, K_TRUE };

// One line of the file: a bare marker, or a key with its value.
struct line_tok {
    std::string key;
    int kind = K_MARKER;
    std::string str;
    int64_t num = 0;
    long line = 0;
    size_t offset = 0;   // start of the line
};

enum { F_REQUIRED = 1, F_REPEAT = 2 };

// A key of a record of type R and where its value goes: store puts it there,
// or refuses it with the reason (null: taken).
template <typename R> struct field_spec {
    const char *key;
    int kind;
    int flags;
    const char *(*store)(R *rec, const line_tok &t);
};

struct field_value {
    int idx;   // into the record's spec table
    line_tok tok;
};

int fail(imp_reader *r, imp_error *err, long line, size_t offset, std::string what) {
    err->file = r->name;
    err->line = line;
    err->offset = int64_t(offset);
    err->what = std::move(what);
    r->state = -1;
    return -1;
}

const char *kind_name(int kind) {
    switch (kind) {
        case K_STR:
            return "a string";
        case K_INT:
            return "an integer";
        case K_TRUE:
            return "TRUE";
        default:
            return "no value";
    }
}

bool is_key_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits at p (at least one); false on overflow of int64.
bool scan_digits(const std::string &d, size_t *p, bool negative, int64_t *out) {
    size_t start = *p;
    int64_t v = 0;
    while (*p < d.size() && is_digit(d[*p])) {
        int digit = d[*p] - '0';
        if (negative) {
            if (v < (std::numeric_limits<int64_t>::min() + digit) / 10)
                return false;
            v = v * 10 - digit;
        } else {
            if (v > (std::numeric_limits<int64_t>::max() - digit) / 10)
                return false;
            v = v * 10 + digit;
        }
        ++*p;
    }
    *out = v;
    return *p > start;
}

// Notes the last line feed among the buffer's bytes from `from` on.
void note_last_lf(imp_reader *r, size_t from) {
    const void *lf = memrchr(r->buf.data() + from, '\n', r->buf.size() - from);
    if (lf)
        r->last_lf = r->base + size_t(static_cast<const char *>(lf) - r->buf.data()) + 1;
}

// Appends up to one chunk of the file to the buffer. 0, or -1 with *why
// filled when the file cannot be read.
int read_chunk(imp_reader *r, std::string *why) {
    if (r->at_end)
        return 0;
    size_t have = r->buf.size();
    r->buf.resize(have + r->chunk);
    size_t n = std::fread(r->buf.data() + have, 1, r->chunk, r->file.get());
    r->buf.resize(have + n);
    note_last_lf(r, have);
    if (n == 0 && std::ferror(r->file.get())) {
        *why = std::string("cannot read the data file: ") + std::strerror(errno);
        return -1;
    }
    if (n == 0) {
        r->at_end = true;
        r->size = int64_t(r->base + r->buf.size());
    }
    return 0;
}

// Reads until the buffer holds the file up to offset `upto`, or all of it.
int fill_to(imp_reader *r, size_t upto, std::string *why) {
    while (!r->at_end && r->base + r->buf.size() < upto)
        if (read_chunk(r, why))
            return -1;
    return 0;
}

// Reads until a line feed follows pos in the buffer, or the file ends.
int fill_line(imp_reader *r, std::string *why) {
    while (r->last_lf <= r->pos && !r->at_end)
        if (read_chunk(r, why))
            return -1;
    return 0;
}

// Drops what lies before pos once it is a chunk or more, so that the buffer
// holds the line in hand and not what came before it. Only a file can give
// those bytes again (imp_reader_seek).
void drop_read(imp_reader *r) {
    size_t done = r->pos - r->base;
    if (done < r->chunk || !r->file)
        return;
    r->buf.erase(0, done);
    r->base = r->pos;
    // A long string read before leaves no long buffer behind.
    if (r->buf.capacity() > 4 * r->chunk + 2 * r->buf.size())
        r->buf.shrink_to_fit();
}

// Reads one line at the reader's position. 1: *tok filled; 0: end of file;
// -1: lexical fault (reported). Offsets in the buffer are relative to
// r->base; d.size() is the file's end wherever it is asked, as the line (up
// to its line feed, or to the end) and a string value are read whole first.
int read_line(imp_reader *r, line_tok *tok, imp_error *err) {
    drop_read(r);
    std::string why;
    if (fill_line(r, &why))
        return fail(r, err, r->line, r->pos, why);
    const std::string &d = r->buf;
    const size_t b = r->base;
    size_t p = r->pos - b;
    if (p >= d.size())
        return 0;
    *tok = line_tok();
    tok->line = r->line;
    tok->offset = r->pos;
    size_t first = p;
    while (p < d.size() && is_key_char(d[p]))
        ++p;
    if (p == d.size())
        return fail(r, err, r->line, b + p, "the file ends inside a line (no line feed)");
    if (p == first)
        return fail(r, err, r->line, b + p, "a line must begin with a marker or a key");
    tok->key.assign(d, first, p - first);
    if (d[p] == '\n') {
        tok->kind = K_MARKER;
        r->pos = b + p + 1;
        r->line++;
        return 1;
    }
    if (d[p] != ' ')
        return fail(r, err, r->line, b + p,
                    "unexpected byte after \"" + tok->key + "\" (a space or a line feed must follow)");
    ++p;
    size_t v = p;
    if (d.compare(v, 5, "TRUE\n") == 0) {
        tok->kind = K_TRUE;
        r->pos = b + v + 5;
        r->line++;
        return 1;
    }
    if (d.compare(v, 8, "<error>\n") == 0)
        return fail(r, err, r->line, b + v,
                    "the value of \"" + tok->key + "\" is \"<error>\": the exporter could not write it");
    bool negative = v < d.size() && d[v] == '-';
    if (negative)
        ++p;
    int64_t n = 0;
    if (p >= d.size() || !is_digit(d[p]))
        return fail(r, err, r->line, b + (p >= d.size() ? d.size() : p),
                    p >= d.size()
                        ? "the file ends inside the value of \"" + tok->key + "\""
                        : "bad value of \"" + tok->key + "\": expected a length, an integer or TRUE");
    if (!scan_digits(d, &p, negative, &n))
        return fail(r, err, r->line, b + v, "the number in \"" + tok->key + "\" is too large");
    if (p >= d.size())
        return fail(r, err, r->line, b + p, "the file ends inside the value of \"" + tok->key + "\"");
    if (d[p] == '\n') {
        tok->kind = K_INT;
        tok->num = n;
        r->pos = b + p + 1;
        r->line++;
        return 1;
    }
    if (d[p] != ':' || negative)
        return fail(r, err, r->line, b + p,
                    "bad value of \"" + tok->key +
                        "\": expected a line feed after the integer, "
                        "or a colon after a string length");
    ++p;
    // The string and its line feed are read whole, unless the file's size
    // already says that they are not there.
    bool short_file =
        r->size >= 0 && !r->at_end && b + p <= uint64_t(r->size) && uint64_t(n) > uint64_t(r->size) - (b + p);
    if (!short_file && fill_to(r, b + p + size_t(n) + 1, &why))
        return fail(r, err, r->line, b + p, why);
    uint64_t left = short_file ? uint64_t(r->size) - (b + p) : uint64_t(d.size() - p);
    if (uint64_t(n) > left)
        return fail(r, err, r->line, b + v,
                    "the string length " + std::to_string(n) + " of \"" + tok->key +
                        "\" runs past the end of the file (" + std::to_string(left) + " bytes left)");
    size_t end = p + size_t(n);
    if (end >= d.size() || d[end] != '\n') {
        long at = r->line;
        for (size_t i = p; i < end; ++i)
            at += d[i] == '\n';
        return fail(r, err, at, b + end,
                    end >= d.size() ? "the file ends after the string of \"" + tok->key + "\" (no line feed)"
                                    : "the string of \"" + tok->key +
                                          "\" is not followed by a line feed "
                                          "(wrong length " +
                                          std::to_string(n) + "?)");
    }
    tok->kind = K_STR;
    tok->str.assign(d, p, size_t(n));
    for (char c : tok->str)
        r->line += c == '\n';
    r->pos = b + end + 1;
    r->line++;
    return 1;
}

// Reads a line where the file must go on: its end there is a fault, which
// why() words (called only then). 0, or -1 (reported).
template <typename Why> int read_more(imp_reader *r, line_tok *tok, imp_error *err, Why why) {
    int rc = read_line(r, tok, err);
    if (rc == 0)
        return fail(r, err, r->line, r->pos, why());
    return rc < 0 ? -1 : 0;
}

// Reads the next line and requires it to be the marker `want`.
int expect_marker(imp_reader *r, const char *want, const char *where, imp_error *err) {
    line_tok t;
    if (read_more(r, &t, err, [&] { return std::string("the file ends before ") + want + " " + where; }))
        return -1;
    if (t.kind != K_MARKER || t.key != want)
        return fail(r, err, t.line, t.offset,
                    "expected " + std::string(want) + " " + where + ", found \"" + t.key + "\"");
    return 0;
}

// Reads key lines of one record until a marker of `ends` (null-terminated
// list), which is left in *end. Keys must come in table order; a key flagged
// F_REPEAT may repeat; every F_REQUIRED key must be present.
template <typename R> int read_fields(imp_reader *r, const field_spec<R> *spec, int nspec,
                                      const char *const *ends, const char *record,
                                      std::vector<field_value> *out, line_tok *end, imp_error *err) {
    out->clear();
    int cur = -1;
    for (;;) {
        line_tok t;
        if (read_more(r, &t, err, [&] {
                return std::string("the file ends inside ") + record + " (no " + ends[0] + ")";
            }))
            return -1;
        int idx = -1;
        for (int i = 0; i < nspec; ++i)
            if (t.key == spec[i].key)
                idx = i;
        if (idx < 0) {
            bool is_end = false;
            for (const char *const *e = ends; *e; ++e)
                is_end = is_end || (t.kind == K_MARKER && t.key == *e);
            if (!is_end) {
                std::string what = (t.kind == K_MARKER ? "unexpected marker \"" : "unknown key \"") + t.key +
                                   "\" in " + record;
                bool structural = t.key.ends_with("_END") || t.key.ends_with("_BEGIN");
                if (t.kind == K_MARKER && structural)
                    what += std::string(" (") + ends[0] + " missing?)";
                return fail(r, err, t.line, t.offset, what);
            }
            idx = nspec;
        }
        // Required keys between the last one seen and this one were skipped.
        for (int j = cur + 1; j < idx; ++j)
            if (spec[j].flags & F_REQUIRED)
                return fail(r, err, t.line, t.offset,
                            std::string("missing \"") + spec[j].key + "\" in " + record + " before \"" +
                                t.key + "\"");
        if (idx == nspec) {
            *end = std::move(t);
            return 0;
        }
        if (idx < cur || (idx == cur && !(spec[idx].flags & F_REPEAT)))
            return fail(r, err, t.line, t.offset,
                        "\"" + t.key + "\" out of place in " + record +
                            (idx == cur ? " (given twice)" : " (keys out of order)"));
        if (t.kind != spec[idx].kind)
            return fail(
                r, err, t.line, t.offset,
                "\"" + t.key + "\" takes " + kind_name(spec[idx].kind) + ", found " + kind_name(t.kind));
        cur = idx;
        out->push_back(field_value{idx, std::move(t)});
    }
}

// Reads one record's keys (see read_fields), then stores them in *rec in file
// order; a value its store refuses fails the record at its line.
template <typename R> int read_record(imp_reader *r, const field_spec<R> *spec, int nspec,
                                      const char *const *ends, const char *record, R *rec, line_tok *end,
                                      imp_error *err) {
    std::vector<field_value> fields;
    if (read_fields(r, spec, nspec, ends, record, &fields, end, err))
        return -1;
    for (const field_value &f : fields)
        if (const char *why = spec[f.idx].store(rec, f.tok))
            return fail(r, err, f.tok.line, f.tok.offset, why);
    return 0;
}

// A value put where the record's member of its type keeps it.
void put(std::string *to, const line_tok &t) { *to = t.str; }
void put(imp_opt_str *to, const line_tok &t) { *to = t.str; }
void put(imp_str_list *to, const line_tok &t) { to->push_back(t.str); }
void put(int64_t *to, const line_tok &t) { *to = t.num; }
void put(bool *to, const line_tok &) { *to = true; }

template <auto M, typename R> const char *to(R *rec, const line_tok &t) {
    put(&(rec->*M), t);
    return nullptr;
}

template <auto M, typename R> const char *to_event(R *rec, const line_tok &t) {
    put(&(rec->event.*M), t);
    return nullptr;
}

const char *onto_brvid(imp_globals *g, const line_tok &t) {
    if (!g->onto_branch)
        return "OntoBrvid without OntoBranch";
    g->onto_brvid = t.str;
    return nullptr;
}

const char *extract_cmd(imp_version *v, const line_tok &t) {
    if (v->extract_file)
        return "a version has both ExtractFile and ExtractCmd";
    v->extract_cmd = t.str;
    return nullptr;
}

// Event lines shared by elements and versions, in this order.
// clang-format off
#define EVENT_FIELDS                                                \
    {"EventUser", K_STR, 0, to_event<&imp_event::user>},            \
    {"EventGroup", K_STR, 0, to_event<&imp_event::group>},          \
    {"EventName", K_STR, 0, to_event<&imp_event::name>},            \
    {"EventHost", K_STR, 0, to_event<&imp_event::host>},            \
    {"EventTime", K_INT, F_REQUIRED, to_event<&imp_event::time>}
// clang-format on

const field_spec<imp_globals> globals_spec[] = {
    {"ExportFromDir", K_STR, F_REQUIRED, to<&imp_globals::export_from_dir>},
    {"NumElements", K_INT, F_REQUIRED, to<&imp_globals::num_elements>},
    {"NumVersions", K_INT, F_REQUIRED, to<&imp_globals::num_versions>},
    {"ExporterKind", K_INT, F_REQUIRED, to<&imp_globals::exporter_kind>},
    {"OntoBranch", K_STR, 0, to<&imp_globals::onto_branch>},
    {"OntoBrvid", K_STR, 0, onto_brvid},
    {"LabelAll", K_STR, 0, to<&imp_globals::label_all>},
    {"NeedCmd", K_STR, 0, to<&imp_globals::need_cmd>},
};

const field_spec<imp_element> element_spec[] = {
    {"Name", K_STR, F_REQUIRED, to<&imp_element::name>},
    {"ElType", K_STR, 0, to<&imp_element::eltype>},
    {"Mode", K_INT, 0, to<&imp_element::mode>},
    EVENT_FIELDS,
    {"Comment", K_STR, 0, to<&imp_element::comment>},
    {"Obsolete", K_TRUE, 0, to<&imp_element::obsolete>},
    {"BranchObs", K_STR, F_REPEAT, to<&imp_element::branch_obs>},
    {"Attrib", K_STR, F_REPEAT, to<&imp_element::attributes>},
    {"AltName", K_STR, F_REPEAT, to<&imp_element::alt_names>},
};

const field_spec<imp_version> version_spec[] = {
    {"VersionId", K_STR, F_REQUIRED, to<&imp_version::version_id>},
    {"AbsVersion", K_TRUE, 0, to<&imp_version::abs_version>},
    EVENT_FIELDS,
    {"OnBranch", K_STR, 0, to<&imp_version::on_branch>},
    {"ExtractFile", K_STR, 0, to<&imp_version::extract_file>},
    {"ExtractCmd", K_STR, 0, extract_cmd},
    {"SubBranch", K_STR, F_REPEAT, to<&imp_version::subbranches>},
    {"Attrib", K_STR, F_REPEAT, to<&imp_version::attributes>},
    {"Label", K_STR, F_REPEAT, to<&imp_version::labels>},
    {"Merge", K_STR, F_REPEAT, to<&imp_version::merges>},
    {"FMerge", K_STR, F_REPEAT, to<&imp_version::fmerges>},
    {"Comment", K_STR, 0, to<&imp_version::comment>},
};

#undef EVENT_FIELDS

template <typename R, size_t N> constexpr int count_of(const field_spec<R> (&)[N]) { return int(N); }

// A record of one string value (a type name, a directory name).
const char *to_name(std::string *rec, const line_tok &t) {
    put(rec, t);
    return nullptr;
}

int read_globals(imp_reader *r, imp_globals *g, imp_error *err) {
    if (expect_marker(r, "GLOBALS_BEGIN", "after the format line", err))
        return -1;
    static const char *const ends[] = {"GLOBALS_END", nullptr};
    line_tok end;
    return read_record(r, globals_spec, count_of(globals_spec), ends, "the globals", g, &end, err);
}

// TYPES_BEGIN, blocks of one name each grouped by kind in a fixed order, TYPES_END.
int read_types(imp_reader *r, imp_types *types, imp_error *err) {
    struct group {
        const char *begin, *key, *end;
        imp_str_list *list;
    };
    const group groups[] = {
        {"ATTYPE_BEGIN", "AttrType", "ATTYPE_END", &types->attribute},
        {"LBTYPE_BEGIN", "LbType", "LBTYPE_END", &types->label},
        {"BRTYPE_BEGIN", "BrType", "BRTYPE_END", &types->branch},
        {"ELTYPE_BEGIN", "ElType", "ELTYPE_END", &types->element},
    };
    if (expect_marker(r, "TYPES_BEGIN", "after the globals", err))
        return -1;
    int cur = 0;
    for (;;) {
        line_tok t;
        if (read_more(r, &t, err, [] { return "the file ends inside the types (no TYPES_END)"; }))
            return -1;
        if (t.kind == K_MARKER && t.key == "TYPES_END")
            return 0;
        int g = -1;
        for (int i = 0; i < 4; ++i)
            if (t.kind == K_MARKER && t.key == groups[i].begin)
                g = i;
        if (g < 0)
            return fail(r, err, t.line, t.offset, "unexpected \"" + t.key + "\" in the types");
        if (g < cur)
            return fail(r, err, t.line, t.offset, t.key + " after a later group of types");
        cur = g;
        const field_spec<std::string> spec[] = {{groups[g].key, K_STR, F_REQUIRED, to_name}};
        const char *const ends[] = {groups[g].end, nullptr};
        line_tok end;
        std::string record = std::string("a ") + groups[g].begin + " block", name;
        if (read_record(r, spec, 1, ends, record.c_str(), &name, &end, err))
            return -1;
        groups[g].list->push_back(std::move(name));
    }
}

// One DIR_BEGIN .. DIR_END record, its DIR_BEGIN already read.
int read_dir(imp_reader *r, std::string *name, imp_error *err) {
    static const field_spec<std::string> spec[] = {{"DirName", K_STR, F_REQUIRED, to_name}};
    static const char *const ends[] = {"DIR_END", nullptr};
    line_tok end;
    return read_record(r, spec, 1, ends, "a directory record", name, &end, err);
}

// One version record, its VERSION_BEGIN already read.
int read_version(imp_reader *r, imp_version *v, imp_error *err) {
    static const char *const ends[] = {"VERSION_END", nullptr};
    line_tok end;
    return read_record(r, version_spec, count_of(version_spec), ends, "a version record", v, &end, err);
}

}   // namespace

int imp_reader_open(const char *path, imp_reader *r, imp_error *err, size_t chunk) {
    *r = imp_reader();
    r->name = path;
    if (chunk > 0)
        r->chunk = chunk;
    auto fail_open = [&](const std::string &what) {
        *err = imp_error{path, 0, 0, what};
        r->state = -1;
        r->file.reset();
        return 1;
    };
    r->file.reset(std::fopen(path, "rb"));
    if (!r->file)
        return fail_open(std::string("cannot open the data file: ") + std::strerror(errno));
    struct stat st;
    if (fstat(fileno(r->file.get()), &st) != 0)
        return fail_open(std::string("cannot read the data file: ") + std::strerror(errno));
    std::string why;
    if (S_ISREG(st.st_mode)) {
        r->size = int64_t(st.st_size);
        if (read_chunk(r, &why))
            return fail_open(why);
        return 0;
    }
    // A pipe or the like cannot be read again from a mark: it is read whole.
    while (!r->at_end)
        if (read_chunk(r, &why))
            return fail_open(why);
    r->file.reset();
    return 0;
}

void imp_reader_init(imp_reader *r, std::string data, std::string name) {
    *r = imp_reader();
    r->name = std::move(name);
    r->buf = std::move(data);
    r->size = int64_t(r->buf.size());
    r->at_end = true;
}

imp_reader_mark imp_reader_tell(const imp_reader *r) { return imp_reader_mark{r->pos, r->line, r->state}; }

int imp_reader_seek(imp_reader *r, const imp_reader_mark &m, imp_error *err) {
    if (m.pos < r->base) {
        if (!r->file || fseeko(r->file.get(), off_t(m.pos), SEEK_SET) != 0) {
            *err = imp_error{r->name, m.line, int64_t(m.pos),
                             std::string("cannot read the data file again: ") + std::strerror(errno)};
            r->state = -1;
            return 1;
        }
        std::clearerr(r->file.get());
        r->buf.clear();
        r->base = m.pos;
        r->at_end = false;
        r->last_lf = 0;
    }
    r->pos = m.pos;
    r->line = m.line;
    r->state = m.state;
    return 0;
}

int imp_read_head(imp_reader *r, imp_head *head, imp_error *err) {
    *head = imp_head();
    if (r->state != 0)
        return fail(r, err, r->line, r->pos, "the head of the data file was already read");
    line_tok t;
    int rc = read_line(r, &t, err);
    if (rc < 0)
        return -1;
    if (rc == 0 || t.key != "EXPORT_FORMAT")
        return fail(r, err, 1, 0, "not an export data file (it does not begin with EXPORT_FORMAT)");
    if (t.kind != K_INT)
        return fail(r, err, t.line, t.offset, "EXPORT_FORMAT takes an integer");
    if (t.num != IMP_EXPORT_FORMAT)
        return fail(r, err, t.line, t.offset,
                    "unsupported EXPORT_FORMAT " + std::to_string(t.num) + " (only 5 is read)");
    if (read_globals(r, &head->globals, err) || read_types(r, &head->types, err))
        return -1;
    // Directory records, "." first, up to the first element or the end.
    for (;;) {
        size_t save_pos = r->pos;
        long save_line = r->line;
        rc = read_line(r, &t, err);
        if (rc < 0)
            return -1;
        if (rc == 0 || (t.kind == K_MARKER && t.key == "ELEMENT_BEGIN")) {
            if (head->dirs.empty())
                return fail(r, err, rc ? t.line : r->line, rc ? t.offset : r->pos,
                            "the directory record for \".\" is missing");
            r->pos = save_pos;
            r->line = save_line;
            r->state = 1;
            return 0;
        }
        if (t.kind != K_MARKER || t.key != "DIR_BEGIN")
            return fail(r, err, t.line, t.offset,
                        "unexpected \"" + t.key + "\" where a directory or element record must begin");
        std::string name;
        if (read_dir(r, &name, err))
            return -1;
        if (head->dirs.empty() && name != ".")
            return fail(r, err, t.line, t.offset,
                        "the first directory record must be \".\", found \"" + name + "\"");
        head->dirs.push_back(std::move(name));
    }
}

int imp_read_element(imp_reader *r, imp_element *el, imp_error *err) {
    *el = imp_element();
    if (r->state == 2)
        return 0;
    if (r->state != 1)
        return fail(r, err, r->line, r->pos,
                    r->state == 0 ? "the head of the data file was not read" : "the reader failed before");
    line_tok t;
    int rc = read_line(r, &t, err);
    if (rc < 0)
        return -1;
    if (rc == 0) {
        r->state = 2;
        return 0;
    }
    if (t.kind != K_MARKER || t.key != "ELEMENT_BEGIN")
        return fail(r, err, t.line, t.offset,
                    "unexpected \"" + t.key + "\" where an element record must begin");
    el->line = t.line;
    el->offset = int64_t(t.offset);
    static const char *const ends[] = {"ELEMENT_END", "VERSION_BEGIN", nullptr};
    line_tok end;
    if (read_record(r, element_spec, count_of(element_spec), ends, "an element record", el, &end, err))
        return -1;
    while (end.key == "VERSION_BEGIN") {
        imp_version v;
        v.line = end.line;
        if (read_version(r, &v, err))
            return -1;
        el->versions.push_back(std::move(v));
        if (read_more(r, &end, err, [] { return "the file ends inside an element record (no ELEMENT_END)"; }))
            return -1;
        if (end.kind != K_MARKER || (end.key != "VERSION_BEGIN" && end.key != "ELEMENT_END"))
            return fail(r, err, end.line, end.offset,
                        "unexpected \"" + end.key +
                            "\" after a version record (VERSION_BEGIN or "
                            "ELEMENT_END must follow)");
    }
    return 1;
}

std::string imp_error_text(const imp_error &err) {
    std::string s = "\"" + err.file + "\"";
    if (err.line > 0)
        s += ", line " + std::to_string(err.line) + ", byte " + std::to_string(err.offset);
    return s + ": " + err.what;
}
