// Filling extract command templates (see imp_extract.h for the rules).
#include "platform/import/imp_extract.h"

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
    return inside_dquotes(cmd, at) ? imp_shell_dquote_escape(value) : imp_shell_squote(value);
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

// The text of the command's last double-quoted argument, which must end it.
int last_quoted_word(const std::string &cmd, std::string *word) {
    size_t e = cmd.find_last_not_of(" \t\n");
    if (e == std::string::npos || cmd[e] != '"' || e == 0)
        return 1;
    size_t b = cmd.rfind('"', e - 1);
    if (b == std::string::npos)
        return 1;
    *word = cmd.substr(b + 1, e - b - 1);
    return 0;
}

}   // namespace

std::string imp_shell_dquote_escape(const std::string &value) {
    std::string out;
    for (char c : value) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            out += '\\';
        out += c;
    }
    return out;
}

std::string imp_shell_squote(const std::string &value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int imp_extract_fill(const std::string &tmpl, const std::string &export_from_dir, const std::string &out_path,
                     const std::string &work_dir, imp_extract_job *job, std::string *why) {
    *job = imp_extract_job();
    std::string cmd = tmpl;
    size_t after_dir = 0;
    size_t dir_at = cmd.find("%s%c");
    if (dir_at != std::string::npos) {
        // "%s%c" with "/": the directory and its separator form one value, so
        // the separator stays inside the same quoting.
        std::string dir = export_from_dir.empty() ? "." : export_from_dir;
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        std::string value = dir == "/" ? dir : dir + "/";
        std::string filled = quoted_for(cmd, dir_at, value);
        cmd.replace(dir_at, 4, filled);
        after_dir = dir_at + filled.size();
    }

    if (command_name(cmd) == "ssafeget") {
        std::string leaf;
        if (last_quoted_word(cmd, &leaf) || leaf.empty() || leaf == "." || leaf == ".." ||
            leaf.find('/') != std::string::npos) {
            *why =
                "cannot tell which file the ssafeget command writes (its last argument must be a "
                "quoted file name without \"/\")";
            return 1;
        }
        job->command = "cd " + imp_shell_squote(work_dir) + " && " + cmd;
        job->mode = IMP_EXTRACT_LEAF_IN_DIR;
        job->work_dir = work_dir;
        job->out_path = work_dir + "/" + leaf;
        return 0;
    }

    size_t out_at = cmd.rfind("%s");
    if (out_at != std::string::npos && out_at >= after_dir) {
        cmd.replace(out_at, 2, quoted_for(cmd, out_at, out_path));
    } else {
        size_t e = cmd.find_last_not_of(" \t");
        if (e == std::string::npos || cmd[e] != '>' || inside_dquotes(cmd, e)) {
            *why = "the extract command has no place for its output (no \"%s\" and no final \"> \")";
            return 1;
        }
        cmd.erase(e + 1);
        cmd += " " + imp_shell_squote(out_path);
    }
    job->command = cmd;
    job->out_path = out_path;
    return 0;
}
