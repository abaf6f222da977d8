// Filling extract command templates (see imp_extract.h for the rules).
#include "platform/import/imp_extract.h"
#include "runtime/strutl.h"

#include <cstring>
#include <vector>

namespace {

// 1 when position `at` of cmd lies inside double quotes, scanning from the start
// with /bin/sh's quoting rules.
int inside_dquotes(const std::string &cmd, size_t at) {
    enum { OUT, DQ, SQ } state = OUT;
    for (size_t i = 0; i < at && i < cmd.size(); ++i) {
        char c = cmd[i];
        if (state == SQ) {
            if (c == '\'')
                state = OUT;
        } else if (c == '\\') {
            ++i;
        } else if (c == '"') {
            state = state == DQ ? OUT : DQ;
        } else if (c == '\'' && state == OUT) {
            state = SQ;
        }
    }
    return state == DQ;
}

std::string quoted_for(const std::string &cmd, size_t at, const std::string &value) {
    return inside_dquotes(cmd, at) ? strutl_sh_dquote_escape(value) : strutl_sh_squote(value);
}

// The first word of the command, without a directory part.
std::string command_name(const std::string &cmd) {
    size_t b = cmd.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = cmd.find_first_of(" \t", b);
    std::string word = cmd.substr(b, e == std::string::npos ? std::string::npos : e - b);
    size_t slash = word.rfind('/');
    return slash == std::string::npos ? word : word.substr(slash + 1);
}

// The value of the command's last word, which must be double-quoted, as
// /bin/sh reads it: inside double quotes a backslash before "$", a
// backquote, a double quote or a backslash stands for that character, so
// that a leaf name holding any of them is found under its own name.
int last_quoted_word(const std::string &cmd, std::string *word) {
    std::string value;
    bool in_word = false, quoted = false;
    for (size_t i = 0; i < cmd.size(); ++i) {
        char c = cmd[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            in_word = false;
            continue;
        }
        if (!in_word) {
            in_word = true;
            value.clear();
            quoted = c == '"';
        }
        if (c == '"') {
            for (++i; i < cmd.size() && cmd[i] != '"'; ++i) {
                if (cmd[i] == '\\' && i + 1 < cmd.size() && cmd[i + 1] != '\0' &&
                    std::strchr("$`\"\\", cmd[i + 1]))
                    ++i;
                value += cmd[i];
            }
            if (i >= cmd.size())
                return 1;   // no closing quote
        } else if (c == '\'') {
            size_t e = cmd.find('\'', i + 1);
            if (e == std::string::npos)
                return 1;
            value += cmd.substr(i + 1, e - i - 1);
            i = e;
        } else {
            if (c == '\\' && i + 1 < cmd.size())
                ++i;
            value += cmd[i];
            quoted = false;   // a bare character: not one quoted word
        }
    }
    if (!in_word || !quoted)
        return 1;
    *word = value;
    return 0;
}

// A "%s" or "%c" of the template, by its offset.
struct place {
    size_t at;
    char kind;
};

// The template's places; "%%" is a literal "%" and no place. Any other "%"
// stays as it is, so that commands of older files still run.
std::vector<place> find_places(const std::string &tmpl) {
    std::vector<place> out;
    for (size_t i = 0; i + 1 < tmpl.size(); ++i) {
        if (tmpl[i] != '%')
            continue;
        char k = tmpl[i + 1];
        if (k == 's' || k == 'c')
            out.push_back({i, k});
        if (k == 's' || k == 'c' || k == '%')
            ++i;
    }
    return out;
}

// The template's text from b to e with "%%" read as "%".
std::string literal(const std::string &tmpl, size_t b, size_t e) {
    std::string out;
    for (size_t i = b; i < e; ++i) {
        out += tmpl[i];
        if (tmpl[i] == '%' && i + 1 < e && tmpl[i + 1] == '%')
            ++i;
    }
    return out;
}

}   // namespace

int imp_extract_fill(const std::string &tmpl, const std::string &export_from_dir, const std::string &out_path,
                     const std::string &work_dir, imp_extract_job *job, std::string *why) {
    *job = imp_extract_job();
    std::vector<place> places = find_places(tmpl);
    // The directory: the first "%s" right before a "%c". The output: the
    // last "%s" after it.
    long dir_place = -1, out_place = -1;
    for (size_t k = 0; k + 1 < places.size(); ++k)
        if (places[k].kind == 's' && places[k + 1].kind == 'c' && places[k + 1].at == places[k].at + 2) {
            dir_place = long(k);
            break;
        }
    for (size_t k = places.size(); k-- > 0;) {
        if (long(k) <= dir_place + (dir_place >= 0 ? 1 : 0))
            break;
        if (places[k].kind == 's') {
            out_place = long(k);
            break;
        }
    }
    std::string dir = export_from_dir.empty() ? "." : export_from_dir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string dir_value = dir == "/" ? dir : dir + "/";

    // Literal text and filled places, in order; a place is quoted by where it
    // stands in the command built so far.
    std::string cmd;
    size_t from = 0, out_at = std::string::npos;
    for (size_t k = 0; k < places.size(); ++k) {
        long kk = long(k);
        if (kk != dir_place && kk != dir_place + 1 && kk != out_place)
            continue;
        cmd += literal(tmpl, from, places[k].at);
        from = places[k].at + 2;
        if (kk == dir_place)
            // The directory and its separator form one value, so the
            // separator stays inside the same quoting.
            cmd += quoted_for(cmd, cmd.size(), dir_value);
        else if (kk == out_place)
            out_at = cmd.size();   // filled last: only text is appended after it
    }
    cmd += literal(tmpl, from, tmpl.size());

    if (command_name(cmd) == "ssafeget") {
        if (out_at != std::string::npos)
            cmd.insert(out_at, "%s");   // ssafeget names its own output
        std::string leaf;
        if (last_quoted_word(cmd, &leaf) || leaf.empty() || leaf == "." || leaf == ".." ||
            leaf.find('/') != std::string::npos) {
            *why =
                "cannot tell which file the ssafeget command writes (its last argument must be a "
                "quoted file name without \"/\")";
            return 1;
        }
        job->command = "cd " + strutl_sh_squote(work_dir) + " && " + cmd;
        job->mode = IMP_EXTRACT_LEAF_IN_DIR;
        job->work_dir = work_dir;
        job->out_path = work_dir + "/" + leaf;
        return 0;
    }
    if (out_at != std::string::npos) {
        cmd.insert(out_at, quoted_for(cmd, out_at, out_path));
    } else {
        size_t e = cmd.find_last_not_of(" \t");
        if (e == std::string::npos || cmd[e] != '>' || inside_dquotes(cmd, e)) {
            *why = "the extract command has no place for its output (no \"%s\" and no final \"> \")";
            return 1;
        }
        cmd.erase(e + 1);
        cmd += " " + strutl_sh_squote(out_path);
    }
    job->command = cmd;
    job->out_path = out_path;
    return 0;
}
