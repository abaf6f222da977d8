#include "runtime/vcsignore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fnmatch.h>

bool vcsignore_is_admin_dir(const std::string &name, bool is_dir) {
    if (name == ".git")   // a directory, or the file of a linked work tree
        return true;
    static const char *const dirs[] = {"CVS", "RCS", "SCCS", ".svn", ".hg", ".bzr", "_darcs"};
    if (!is_dir)
        return false;
    for (const char *d : dirs)
        if (name == d)
            return true;
    return false;
}

int vcsignore_read(const std::string &dir, std::vector<vcsignore_pattern> *out, std::string *why) {
    std::string path = dir.empty() || dir.back() == '/' ? dir + ".vantorignore" : dir + "/.vantorignore";
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT || errno == ENOTDIR)
            return 0;
        int err = errno;
        *why = "cannot read " + path + ": " + std::strerror(err);
        return err;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    int err = std::ferror(f) ? (errno ? errno : EIO) : 0;
    std::fclose(f);
    if (err) {
        *why = "cannot read " + path + ": " + std::strerror(err);
        return err;
    }
    vcsignore_parse(text, dir, out);
    return 0;
}

void vcsignore_parse(const std::string &text, const std::string &dir, std::vector<vcsignore_pattern> *out) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        // A NUL ends the glob for the matcher, which would then skip what the
        // part before it names; no name holds one, so the line matches nothing.
        if (line.empty() || line[0] == '#' || line.find('\0') != std::string::npos)
            continue;
        vcsignore_pattern p;
        if (line.back() == '/') {
            p.dir_only = true;
            while (!line.empty() && line.back() == '/')
                line.pop_back();
            if (line.empty())
                continue;
        }
        if (line.find('/') != std::string::npos) {
            p.anchored = true;
            line.erase(0, line.find_first_not_of('/'));
        }
        p.glob = line;
        p.base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
        out->push_back(std::move(p));
    }
}

bool vcsignore_matches(const std::vector<vcsignore_pattern> &patterns, const std::string &path, bool is_dir) {
    size_t slash = path.rfind('/');
    std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const vcsignore_pattern &p : patterns) {
        if (p.dir_only && !is_dir)
            continue;
        if (p.anchored) {
            if (path.compare(0, p.base.size(), p.base) != 0)
                continue;
            if (fnmatch(p.glob.c_str(), path.c_str() + p.base.size(), FNM_PATHNAME) == 0)
                return true;
        } else if (fnmatch(p.glob.c_str(), leaf.c_str(), 0) == 0) {
            return true;
        }
    }
    return false;
}
