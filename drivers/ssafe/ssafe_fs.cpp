// The file system the walk sees: the working project's projects as
// directories and its files as regular files, answered by `ss dir`.
//
// A listing is read whole when it is opened. Every entry it lists is noted
// (ssafe_driver_state::listed), so that the walk's stat of that entry, and
// the pin check of its history, take the answer already read rather than
// running the client once more for it.
#include <cerrno>
#include <memory>
#include <sys/stat.h>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "drivers/ssafe/ssafe_run.h"

namespace {

struct ss_listing {
    std::string text;     // the whole output of `ss dir`
    size_t pos = 0;       // the next line
    std::string prefix;   // walk path of the project, "" or "sub/"
    fileutl_dirent entry;
    bool ended = false;
};

void fill_stat(bool is_project, fileutl_stat_t *st) {
    *st = fileutl_stat_t{};
    st->mode = is_project ? 0x41C0 : 0x81C0;   // directory or regular file, owner rwx
    st->nlink = 1;
}

int fs_stat(const char *path, int, fileutl_stat_t *st) {
    ssafe_driver_state &s = ssafe_state();
    std::string rel = ssafe_walk_path(path);
    auto known = s.listed.find(rel);
    if (known != s.listed.end()) {
        const std::string &line = known->second;
        fill_stat(line[0] == '$' || line.back() == ':', st);
        return 0;
    }
    std::string text;
    if (ssafe_query("dir", {ssafe_full_path(s.working_project, rel)}, &text) != 0) {
        errno = EIO;
        return -1;
    }
    std::string line = ssafe_first_line(text);
    if (line.empty()) {
        errno = ENOENT;
        return -1;
    }
    // The walk asks again for its top directory.
    s.listed[rel] = line;
    fill_stat(line.back() == ':', st);
    return 0;
}

void *fs_opendir(const char *path) {
    ssafe_driver_state &s = ssafe_state();
    auto l = std::make_unique<ss_listing>();
    std::string rel = ssafe_walk_path(path);
    if (ssafe_query("dir", {ssafe_full_path(s.working_project, rel)}, &l->text) != 0) {
        errno = EIO;
        return nullptr;
    }
    l->prefix = rel.empty() ? "" : rel + "/";
    return l.release();
}

// Names keep their case: Linux volumes preserve it, so the walker's case
// flag never asks for a conversion.
const fileutl_dirent *fs_readdir(void *dir, int) {
    ss_listing *l = static_cast<ss_listing *>(dir);
    std::string name, line;
    if (!l->ended && ssafe_next_listed(l->text, &l->pos, &name, &line)) {
        ssafe_state().listed[l->prefix + name] = line;
        l->entry.name = name;
        return &l->entry;
    }
    l->ended = true;
    return nullptr;
}

void fs_closedir(void *dir) { delete static_cast<ss_listing *>(dir); }

}   // namespace

bool ssafe_next_listed(const std::string &text, size_t *pos, std::string *name, std::string *line) {
    while (ssafe_next_line(text, pos, line)) {
        // The blank line after the entries, or an empty project, ends it.
        if (line->empty() || line->find("No items found under") != std::string::npos)
            return false;
        if (line->back() == ':')
            continue;   // the project's own header
        // A pinned file is listed as "a.c;3": the pin is no part of its name
        // (the line, kept for the pin check, still holds it).
        if ((*line)[0] == '$')
            *name = line->substr(1);
        else
            *name = line->substr(0, line->find(';'));
        if (!name->empty())
            return true;
    }
    return false;
}

const cm_fs_ops ssafe_fs_ops = {fs_stat, fs_opendir, fs_readdir, fs_closedir};
