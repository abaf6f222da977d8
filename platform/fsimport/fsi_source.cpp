// The source side of a file-system import: the sources named by the caller
// and the entries of source directories, filtered and folded as asked.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <dirent.h>
#include <map>
#include <memory>

#include "platform/fsimport/fsi_run.h"
#include "runtime/fileutl.h"

// Lower case by the locale's character set; bytes that do not form a
// character of it are folded as ASCII.
std::string fsi_fold(const std::string &name) {
    std::string out;
    std::mbstate_t in_state{}, out_state{};
    const char *s = name.data();
    size_t left = name.size();
    while (left > 0) {
        wchar_t wc;
        size_t n = std::mbrtowc(&wc, s, left, &in_state);
        if (n == 0 || n == size_t(-1) || n == size_t(-2)) {
            unsigned char c = (unsigned char)*s;
            out += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : char(c);
            in_state = std::mbstate_t{};
            ++s;
            --left;
            continue;
        }
        char buf[MB_LEN_MAX];
        size_t m = std::wcrtomb(buf, wchar_t(std::towlower(wint_t(wc))), &out_state);
        if (m == size_t(-1))
            out.append(s, n);
        else
            out.append(buf, m);
        s += n;
        left -= n;
    }
    return out;
}

static fsi_entry::kind_t kind_of(const struct stat &st) {
    if (S_ISREG(st.st_mode))
        return fsi_entry::FILE;
    if (S_ISDIR(st.st_mode))
        return fsi_entry::DIR;
    return fsi_entry::OTHER;
}

static const char *other_kind(const struct stat &st) {
    if (S_ISLNK(st.st_mode))
        return "a symbolic link; links are not imported";
    return "not an ordinary file or directory";
}

// Folds the names (with downcase) and drops the second of two that fold
// alike; sorts by the name in the VOB.
static void fold_names(fsi_run *run, const std::string &rel_dir, std::vector<fsi_entry> *list) {
    if (run->p->downcase) {
        std::map<std::string, std::string> seen;   // folded -> the source name that has it
        std::vector<fsi_entry> kept;
        for (fsi_entry &e : *list) {
            std::string leaf = e.name;
            e.name = fsi_fold(leaf);
            auto [it, fresh] = seen.emplace(e.name, leaf);
            if (!fresh) {
                std::string why = "its name folds to \"" + e.name + "\", as \"" + it->second +
                                  "\"'s does, which was imported under it";
                fsi_fail(run, fsi_join(rel_dir, leaf), why);
                continue;
            }
            kept.push_back(std::move(e));
        }
        *list = std::move(kept);
    }
    std::stable_sort(list->begin(), list->end(),
                     [](const fsi_entry &a, const fsi_entry &b) { return a.name < b.name; });
}

int fsi_read_source_dir(fsi_run *run, fsi_dir &dir, std::vector<fsi_entry> *out,
                        std::set<std::string> *present) {
    out->clear();
    present->clear();
    std::string why;
    if (run->p->filter && fsi_read_ignore(dir.src, &dir.ignore, &why) != 0) {
        fsi_fail(run, dir.rel, why);
        return 1;
    }
    std::unique_ptr<DIR, int (*)(DIR *)> d(opendir(dir.src.c_str()), closedir);
    if (!d) {
        fsi_fail(run, dir.rel, std::string("cannot read the directory: ") + std::strerror(errno));
        return 1;
    }
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent *de = readdir(d.get())) {
        if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
            names.push_back(de->d_name);
        errno = 0;
    }
    if (errno != 0) {
        fsi_fail(run, dir.rel, std::string("cannot read the directory: ") + std::strerror(errno));
        return 1;
    }
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        present->insert(run->p->downcase ? fsi_fold(name) : name);
    for (const std::string &name : names) {
        fsi_entry e;
        e.src = fsi_join(dir.src, name);
        e.name = name;
        std::string rel = fsi_join(dir.rel, name);
        if (lstat(e.src.c_str(), &e.st) != 0) {
            fsi_fail(run, rel, std::strerror(errno));
            continue;
        }
        e.kind = kind_of(e.st);
        bool is_dir = e.kind == fsi_entry::DIR;
        if (run->p->filter && (fsi_is_admin_dir(name, is_dir) || fsi_ignored(dir.ignore, e.src, is_dir)))
            continue;
        if (e.kind == fsi_entry::OTHER) {
            fsi_skip(run, rel, other_kind(e.st));
            continue;
        }
        out->push_back(std::move(e));
    }
    fold_names(run, dir.rel, out);
    return 0;
}

// The leaf a source lands under: its last component ("." and ".." by the
// name of the directory they stand for).
static std::string source_leaf(const std::string &src) {
    std::string s = src;
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    size_t slash = s.rfind('/');
    std::string leaf = slash == std::string::npos ? s : s.substr(slash + 1);
    if (leaf == "." || leaf == "..") {
        std::string r = fileutl_realpath(s);
        slash = r.rfind('/');
        leaf = slash == std::string::npos ? "" : r.substr(slash + 1);
    }
    return leaf == "/" || leaf == "." || leaf == ".." ? "" : leaf;
}

// Why a named source cannot be imported, or "".
static std::string refusal(const fsi_run *run, fsi_entry &e) {
    // A named source is followed when it is a link: the user chose it.
    if (e.src.empty() || stat(e.src.c_str(), &e.st) != 0)
        return std::strerror(e.src.empty() ? ENOENT : errno);
    if (e.name.empty())
        return "the root directory has no name to import it under";
    e.kind = kind_of(e.st);
    if (e.kind == fsi_entry::OTHER)
        return other_kind(e.st);
    if (e.kind == fsi_entry::DIR && fsi_source_holds_target(run, e.src))
        return "it holds the target directory \"" + run->target + "\"; a tree cannot be imported into itself";
    return "";
}

int fsi_named_sources(fsi_run *run, const char *const *sources, int count, std::vector<fsi_entry> *out) {
    std::map<std::string, std::string> taken;   // name in the target -> the source that has it
    std::vector<fsi_entry> list;
    for (int i = 0; i < count; ++i) {
        fsi_entry e;
        e.src = sources[i] ? sources[i] : "";
        e.name = source_leaf(e.src);
        std::string why = refusal(run, e);
        if (why.empty()) {
            std::string key = run->p->downcase ? fsi_fold(e.name) : e.name;
            auto [it, fresh] = taken.emplace(key, e.src);
            if (fresh) {
                e.name = key;
                list.push_back(std::move(e));
                continue;
            }
            why = "\"" + it->second + "\" lands under the same name, \"" + key + "\"";
        }
        IMSG_PRINT(IMSG_ERROR, fsi_cat(), FSI_NO_SOURCE, e.src.c_str(), why.c_str());
        fsi_list_not_imported(run, e.src);
        run->stats.failed++;
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const fsi_entry &a, const fsi_entry &b) { return a.name < b.name; });
    *out = std::move(list);
    return 0;
}
