// Which walked paths are archives, and the element name each one gets.
//
// RCS and SI: archives in an "RCS" directory belong to the directory above;
// directories below an "RCS" directory hold nothing to export. CVS: "Attic"
// holds the archives of removed files (exported only with -A, as elements of
// the directory above) and "CVSROOT" is the repository's administration.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "drivers/rcs/rcs_driver.h"
#include "rcsarchive/rcs_msgs.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"

namespace {

const char *archive_dir_name() { return rcs_state().mode == RCS_MODE_CVS ? "Attic" : "RCS"; }

// The archives (regular files ending ",v") directly in a directory; what
// cannot be read counts as none.
long count_archives(const char *dir) {
    long n = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string leaf = it->path().filename().string();
        std::error_code stat_ec;
        if (rcs_has_archive_suffix(leaf) && it->is_regular_file(stat_ec))
            ++n;
    }
    return n;
}

// The archive directories directly in dir, asked once per directory.
const std::vector<std::string> &archive_dirs_in(const std::string &dir) {
    auto &cache = rcs_state().archive_dirs;
    auto it = cache.find(dir);
    if (it != cache.end())
        return it->second;
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec)) {
        std::string leaf = d->path().filename().string();
        std::error_code dir_ec;
        if (strutl_stricoll(leaf.c_str(), archive_dir_name()) == 0 && d->is_directory(dir_ec))
            found.push_back(std::move(leaf));
    }
    return cache.emplace(dir, std::move(found)).first->second;
}

// The archive that co would take for a working file (RCS/f,v, RCS/f, f,v),
// or "".
std::string archive_of_work_file(const std::string &path) {
    std::string dir, leaf;
    fileutl_strip_leaf(path, &dir, &leaf);
    std::string prefix = dir.empty() ? "" : dir + "/";
    for (const std::string &rcs_dir : archive_dirs_in(dir.empty() ? "." : dir))
        for (const std::string &candidate : {leaf + ",v", leaf})
            if (fileutl_is_file(prefix + rcs_dir + "/" + candidate))
                return prefix + rcs_dir + "/" + candidate;
    if (fileutl_is_file(path + ",v"))
        return path + ",v";
    return "";
}

// Whether a file begins as an archive does (its first word "head"); one that
// cannot be read may be one, and its open says why it fails.
bool looks_like_archive(const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return true;
    char buf[64];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    std::string_view text(buf, n);
    size_t start = text.find_first_not_of(" \t\n\r\f\v");
    if (start == std::string_view::npos)
        return false;
    text.remove_prefix(start);
    return text.size() > 4 && text.compare(0, 4, "head") == 0 && std::strchr(" \t\n\r\f\v;", text[4]);
}

}   // namespace

bool rcs_has_archive_suffix(const std::string &name) { return name.size() > 2 && name.ends_with(",v"); }

bool rcs_in_archive_dir(const std::string &path) {
    std::string dir, leaf, parent, own;
    fileutl_strip_leaf(path, &dir, &leaf);
    fileutl_strip_leaf(dir, &parent, &own);
    return !own.empty() && strutl_stricoll(own.c_str(), archive_dir_name()) == 0;
}

std::string rcs_element_name(const std::string &archive_path) {
    const rcs_driver_state &s = rcs_state();
    std::string dir, leaf;
    fileutl_strip_leaf(archive_path, &dir, &leaf);
    std::string name;
    if (rcs_in_archive_dir(archive_path) && (s.mode != RCS_MODE_CVS || s.export_attic)) {
        std::string own;
        fileutl_strip_leaf(std::string(dir), &dir, &own);
    }
    if (dir.empty() || dir == ".")
        name = leaf;
    else
        name = dir + "/" + leaf;
    if (rcs_has_archive_suffix(name))
        name.resize(name.size() - 2);
    return name;
}

int rcs_cm_map_name(const char *path, int, int *convert, int *prune, std::string *name) {
    const rcs_driver_state &s = rcs_state();
    *prune = 0;
    fileutl_stat_t st;
    if (fileutl_stat(path, 1, &st) != 0) {
        int err = errno;
        IMSG_PRINT(IMSG_ERROR, rcs_driver_rcs_msg_table_adr(), RCS_CANT_STAT, path);
        IMSG_PRINT(IMSG_CONT, rcs_driver_rcs_msg_table_adr(), RCS_REASON, std::strerror(err));
        return 1;
    }
    *convert = 1;
    bool is_dir = S_ISDIR(st.mode);
    bool cvs = s.mode == RCS_MODE_CVS;
    std::vector<std::string> comps = strutl_split(path, '/', 1);
    for (size_t i = comps.size(); i-- > 0;) {
        size_t level = comps.size() - 1 - i;
        if (cvs && comps[i] == "CVSROOT") {
            *convert = 0;
            *prune = 1;
            continue;
        }
        if (strutl_stricoll(comps[i].c_str(), archive_dir_name()) != 0)
            continue;
        if (level >= 2 || is_dir) {
            if (level == 1 && is_dir)
                imsg_printf_nonl(IMSG_REPORT, "Warning: Skipping files in directory %s\n", path);
            // Nothing under a directory of the archive directory is exported.
            if ((cvs && !s.export_attic) || (is_dir && level >= 1))
                *prune = 1;
            // Removed files: said at the end, since tags may still name them.
            if (cvs && !s.export_attic && is_dir && level == 0)
                rcs_state().attic_left_out += count_archives(path);
            *convert = 0;
            return 0;
        }
    }
    // RCS and SI trees hold working files beside their archives: a working
    // file is passed over (its archive is the element), and a plain file
    // without an archive is left out with a warning: it has no history.
    const std::string leaf = comps.empty() ? std::string() : comps.back();
    if (!cvs && !is_dir && !rcs_in_archive_dir(path) && !rcs_has_archive_suffix(leaf)) {
        std::string archive = archive_of_work_file(path);
        if (!archive.empty()) {
            rcs_state().work_files[path] = archive;
        } else if (!looks_like_archive(path)) {
            IMSG_PRINT(IMSG_WARNING, rcs_driver_rcs_msg_table_adr(), RCS_NO_ARCHIVE, path);
            *convert = 0;
            return 0;
        }
    }
    *name = is_dir ? std::string(path) : rcs_element_name(path);
    return 0;
}

int rcs_cm_left_out(const char *path, std::string *why) {
    const auto &work = rcs_state().work_files;
    auto it = work.find(path);
    if (it == work.end())
        return 0;
    *why = IMSG_SPRINTF(rcs_driver_rcs_msg_table_adr(), RCS_WORK_FILE_OF, it->second.c_str());
    return 1;
}

void rcs_cm_end_report() {
    long n = rcs_state().attic_left_out;
    if (n == 1)
        imsg_printf(IMSG_CONT,
                    "1 archive in an Attic directory was left out (a file removed from the "
                    "repository); -A exports it.");
    else if (n > 1)
        imsg_printf(IMSG_CONT,
                    "%ld archives in Attic directories were left out (files removed from the repository); "
                    "-A exports them.",
                    n);
}
