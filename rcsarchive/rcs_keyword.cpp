// Keyword expansion as `co -p` and `cvs checkout -p` write it.
//
// Both tools agree on the values and on most of the form; they part in these
// places, each measured against the tools themselves:
//  - two keywords sharing a "$" ("$Id$Revision$"): cvs in kv, kvl and k reads
//    the closing "$" of one as the opening of the next, co never does (and
//    cvs in v mode does not either: that "$" is dropped with the keyword);
//  - "$Id:" with no closing "$" on its line: cvs leaves it alone, co garbles
//    the line (refused here);
//  - the $Log$ message: co trims blanks, tabs and line ends from both of its
//    ends, cvs writes it as it stands (a final line end closes the last line);
//  - the $Log$ leader: co turns a leader of "/*" or "(*" (blanks around it
//    allowed) into " *", cvs keeps it; cvs leaves a $Log$ behind a leader of
//    more than 20 bytes as it stands.
// The rest is shared. A keyword is "$" Name "$" or "$" Name ":" ... "$" with
// no line end inside. $Log$ writes, right after its closing "$", a line end,
// the leader (the text before "$Log" on its line) and "Revision R  D  A",
// then each message line behind the leader (an empty line behind the leader
// without its trailing blanks), then a line end and that stripped leader,
// after which the rest of the original line follows. The archive's "comment"
// phrase plays no part in either tool. Dates print "YYYY/MM/DD hh:mm:ss", a
// two-digit year as 19YY. A blank in the archive's name prints "\040".
//
// Refused (1, the caller runs the tool), only once a keyword is met:
//  - co: a "$Name:" with no closing "$" on its line;
//  - cvs: a $Log$ behind more than 20 bytes in v mode (cvs loops); a $Log$
//    after a keyword on its line whose expansion is within a byte of the
//    length of what it replaces (cvs rewrites it in place, and the leader);
//  - a $Log$ leader holding a carriage return, vertical tab or form feed; a
//    log beginning "checked in with -k by "; for co a log with a vertical tab;
//  - an archive name or path with a tab, line end, "$" or "\"; a revision,
//    author, state, locker or name with any blank, line end, "$" or "\";
//  - a date whose year has neither two nor four digits.
#include "rcsarchive/rcs_keyword.h"

#include <cstring>

namespace {

enum kw_id {
    KW_NONE,
    KW_AUTHOR,
    KW_DATE,
    KW_HEADER,
    KW_ID,
    KW_LOCKER,
    KW_LOG,
    KW_NAME,
    KW_RCSFILE,
    KW_REVISION,
    KW_SOURCE,
    KW_STATE
};

struct kw_name {
    const char *name;
    kw_id id;
};

const kw_name kKeywords[] = {
    {"Author", KW_AUTHOR},     {"Date", KW_DATE},     {"Header", KW_HEADER}, {"Id", KW_ID},
    {"Locker", KW_LOCKER},     {"Log", KW_LOG},       {"Name", KW_NAME},     {"RCSfile", KW_RCSFILE},
    {"Revision", KW_REVISION}, {"Source", KW_SOURCE}, {"State", KW_STATE},
};

// co's log lines begin with this when ci -k wrote the revision; co then leaves
// the message out. Not measured for either tool, so such a log is refused.
const char kCiKLog[] = "checked in with -k by ";

// cvs expands no $Log$ behind a longer leader.
const size_t kCvsLeaderMax = 20;

bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

kw_id lookup(std::string_view name) {
    for (const kw_name &k : kKeywords)
        if (name == k.name)
            return k.id;
    return KW_NONE;
}

// "99.12.31.23.00.00" -> "1999/12/31 23:00:00". False for a year of other
// than two or four digits (the tools disagree on three).
bool format_date(const std::string &d, std::string *out) {
    size_t dot = d.find('.');
    if (dot != 2 && dot != 4)
        return false;
    if (d.size() != dot + 15)
        return false;
    std::string year = d.substr(0, dot);
    if (dot == 2)
        year = "19" + year;
    const char *r = d.c_str() + dot;   // ".MM.DD.hh.mm.ss"
    for (int i = 0; i < 5; ++i)
        if (r[3 * i] != '.')
            return false;
    *out = year + "/" + std::string(r + 1, 2) + "/" + std::string(r + 4, 2) + " " + std::string(r + 7, 2) +
           ":" + std::string(r + 10, 2) + ":" + std::string(r + 13, 2);
    return true;
}

// The tools write a blank in the archive's name as "\040"; the other escaped
// characters (tab, line end, "$", "\") have not been measured and are refused.
bool escape_path(const std::string &s, std::string *out) {
    out->clear();
    for (char c : s) {
        if (c == '\t' || c == '\n' || c == '$' || c == '\\')
            return false;
        if (c == ' ')
            *out += "\\040";
        else
            *out += c;
    }
    return true;
}

bool plain_word(const std::string &s) { return s.find_first_of(" \t\n\r\v\f$\\") == std::string::npos; }

struct prepared {
    std::string rcsfile, source, date;
    bool show_locker = false;   // kvl, and the revision is locked
};

std::string value_of(kw_id id, const rcs_kw_values &v, const prepared &p) {
    std::string locker = p.show_locker ? v.locker : std::string();
    switch (id) {
        case KW_AUTHOR:
            return v.author;
        case KW_DATE:
            return p.date;
        case KW_HEADER:
        case KW_ID: {
            std::string s = (id == KW_ID ? p.rcsfile : p.source) + " " + v.revision + " " + p.date + " " +
                            v.author + " " + v.state;
            if (!locker.empty())
                s += " " + locker;
            return s;
        }
        case KW_LOCKER:
            return locker;
        case KW_LOG:
        case KW_RCSFILE:
            return p.rcsfile;
        case KW_NAME:
            return v.name;
        case KW_REVISION:
            return v.revision;
        case KW_SOURCE:
            return p.source;
        case KW_STATE:
            return v.state;
        case KW_NONE:
            break;
    }
    return std::string();
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string strip_trailing_blanks(const std::string &s) {
    size_t n = s.size();
    while (n > 0 && is_blank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

// co turns a leader of blanks, "/*" or "(*", and blanks into the same with
// " *" in place of the opening pair (and warns).
void co_leader(std::string *leader) {
    size_t cw = 0;
    while (cw < leader->size() && is_blank((*leader)[cw]))
        ++cw;
    if (cw + 1 >= leader->size())
        return;
    if ((*leader)[cw + 1] != '*' || ((*leader)[cw] != '/' && (*leader)[cw] != '('))
        return;
    for (size_t i = cw + 2; i < leader->size(); ++i)
        if (!is_blank((*leader)[i]))
            return;
    (*leader)[cw] = ' ';
}

// The message lines $Log$ inserts, each with its line end before it.
void write_log(const rcs_kw_values &v, const prepared &p, std::string leader, std::string *out) {
    if (v.tool == RCS_KW_CO)
        co_leader(&leader);
    std::string bare = strip_trailing_blanks(leader);
    *out += "\n" + leader + "Revision " + v.revision + "  " + p.date + "  " + v.author;
    std::string_view msg = v.log;
    bool any = !msg.empty();
    if (v.tool == RCS_KW_CO) {
        auto trim = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
        while (!msg.empty() && trim(msg.front()))
            msg.remove_prefix(1);
        while (!msg.empty() && trim(msg.back()))
            msg.remove_suffix(1);
        any = !msg.empty();
    } else if (any && msg.back() == '\n') {
        msg.remove_suffix(1);   // ends the last line
    }
    if (any) {
        size_t start = 0;
        for (;;) {
            size_t nl = msg.find('\n', start);
            std::string_view line =
                msg.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
            *out += "\n";
            if (line.empty())
                *out += bare;
            else
                (*out += leader) += line;
            if (nl == std::string_view::npos)
                break;
            start = nl + 1;
        }
    }
    *out += "\n" + bare;
}

int refuse(std::string *why, const std::string &what) {
    if (why)
        *why = what;
    return 1;
}

// A value that holds a character the tools would escape cannot be written
// for certain.
int check_values(const rcs_kw_values &v, prepared *p, std::string *why) {
    if (!escape_path(v.rcsfile, &p->rcsfile))
        return refuse(why, "archive name needs escaping: " + v.rcsfile);
    if (!escape_path(v.source, &p->source))
        return refuse(why, "archive path needs escaping: " + v.source);
    if (!format_date(v.date, &p->date))
        return refuse(why, "date of an uncertain form: " + v.date);
    const std::pair<const char *, const std::string *> words[] = {
        {"revision", &v.revision}, {"author", &v.author}, {"state", &v.state},
        {"locker", &v.locker},     {"name", &v.name},
    };
    for (const auto &w : words)
        if (!plain_word(*w.second))
            return refuse(why, std::string(w.first) + " needs escaping: " + *w.second);
    p->show_locker = v.mode == RCS_K_KVL && !v.locker.empty();
    return 0;
}

}   // namespace

int rcs_kmode_parse(const std::optional<std::string> &expand, rcs_kmode *out) {
    if (!expand) {
        *out = RCS_K_KV;
        return 0;
    }
    static const std::pair<const char *, rcs_kmode> modes[] = {
        {"kv", RCS_K_KV}, {"kvl", RCS_K_KVL}, {"k", RCS_K_K}, {"o", RCS_K_O}, {"b", RCS_K_B}, {"v", RCS_K_V},
    };
    for (const auto &m : modes)
        if (*expand == m.first) {
            *out = m.second;
            return 0;
        }
    return 1;
}

namespace {

int expand(std::string_view text, const rcs_kw_values &v, std::string *out, std::string *why) {
    if (v.mode == RCS_K_O || v.mode == RCS_K_B) {
        out->assign(text);
        return 0;
    }
    prepared p;
    bool has_log = false;
    size_t i = 0;
    const size_t n = text.size();
    size_t line_start = 0;
    // Values are checked at the first keyword: a text without one is written
    // whatever the values hold.
    bool checked = false;
    // cvs rewrites a keyword in place when its expansion is about as long as
    // what it replaces, and a later $Log$ on the line then takes its leader
    // from the rewritten text; not measured closely enough to follow.
    size_t rewritten_line = std::string_view::npos;
    out->reserve(n + n / 8);
    while (i < n) {
        // The text up to the next "$" goes out whole; only the start of the
        // line that "$" stands on matters.
        const char *dollar = static_cast<const char *>(std::memchr(text.data() + i, '$', n - i));
        size_t d = dollar ? size_t(dollar - text.data()) : n;
        if (d > i) {
            out->append(text.data() + i, d - i);
            if (const void *nl = memrchr(text.data() + i, '\n', d - i))
                line_start = size_t(static_cast<const char *>(nl) - text.data()) + 1;
            i = d;
            continue;
        }
        size_t j = i + 1;
        while (j < n && is_alpha(text[j]))
            ++j;
        kw_id id = lookup(text.substr(i + 1, j - i - 1));
        size_t close = std::string_view::npos;   // the closing "$"
        if (id != KW_NONE && j < n) {
            if (text[j] == '$') {
                close = j;
            } else if (text[j] == ':') {
                size_t k = j + 1;
                while (k < n && text[k] != '$' && text[k] != '\n')
                    ++k;
                if (k < n && text[k] == '$')
                    close = k;
                else if (v.tool == RCS_KW_CO)
                    return refuse(why, "a keyword with a value and no closing \"$\" on its line");
            }
        }
        if (close == std::string_view::npos) {
            out->push_back('$');
            ++i;
            continue;
        }
        if (!checked) {
            if (int rc = check_values(v, &p, why))
                return rc;
            checked = true;
        }
        const size_t kstart = i;
        if (id == KW_LOG && v.tool == RCS_KW_CVS && kstart - line_start > kCvsLeaderMax) {
            // cvs leaves it as it stands (and warns), its closing "$" free to
            // open the next keyword; in v mode it never finishes.
            if (v.mode == RCS_K_V)
                return refuse(why, "a $Log$ leader too long for cvs in v mode");
            out->append(text.substr(kstart, close - kstart));
            i = close;
            continue;
        }
        if (id == KW_LOG && v.tool == RCS_KW_CVS && rewritten_line == line_start)
            return refuse(why, "a $Log$ behind a keyword cvs rewrites in place");
        std::string name(text.substr(i + 1, j - i - 1));
        std::string value = value_of(id, v, p);
        bool shared = v.tool == RCS_KW_CVS && id != KW_LOG && v.mode != RCS_K_V;
        std::string exp;
        if (v.mode == RCS_K_V)
            exp = value;
        else if (v.mode == RCS_K_K)
            exp = "$" + name + (shared ? "" : "$");
        else
            exp = "$" + name + ": " + value + (shared ? " " : " $");
        std::string_view was = text.substr(kstart, (shared ? close : close + 1) - kstart);
        if (exp != was && exp.size() + 1 >= was.size() && exp.size() <= was.size() + 1)
            rewritten_line = line_start;
        *out += exp;
        i = shared ? close : close + 1;
        if (id == KW_LOG) {
            if (!has_log) {
                has_log = true;
                if (v.log.compare(0, sizeof kCiKLog - 1, kCiKLog) == 0)
                    return refuse(why, "a log message written by ci -k");
                if (v.tool == RCS_KW_CO && v.log.find('\v') != std::string::npos)
                    return refuse(why, "a log message holding a vertical tab");
            }
            std::string leader(text.substr(line_start, kstart - line_start));
            if (leader.find_first_of("\r\v\f") != std::string::npos)
                return refuse(why, "a $Log$ leader holding a carriage return or form feed");
            write_log(v, p, leader, out);
        }
    }
    return 0;
}

}   // namespace

int rcs_expand_keywords(std::string_view text, const rcs_kw_values &v, std::string *out, std::string *why) {
    out->clear();
    int rc = expand(text, v, out, why);
    if (rc != 0)
        out->clear();   // never half a text
    return rc;
}
