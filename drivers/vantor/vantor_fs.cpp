// The file system the walk sees: a view's directories as the store holds
// them, so that an element whose selected version has no contents (a
// snapshot view loads no file for it) is met like a loaded one. Names are
// those the config spec selects, as update loads them; a view-private file
// is never listed, and stat'ing one fails (ENOENT). Paths in no view are
// read from the file system, and the driver's hooks answer for them as
// before.
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <functional>
#include <memory>
#include <sys/stat.h>

#include "drivers/vantor/vantor_int.h"

namespace {

struct vt_dir {
    std::vector<fileutl_dirent> names;
    size_t pos = 0;
};

// After a failed look into the store: which path, and why; errno for the walk.
void failed(const char *path, int rc, const std::string &why) {
    IMSG_PRINT(IMSG_ERROR, vt_cat(), VT_CANT_RESOLVE, path);
    if (!why.empty())
        IMSG_PRINT(IMSG_CONT, vt_cat(), VT_REASON, why.c_str());
    errno = rc == VOB_NOT_FOUND ? ENOENT : EIO;
}

int fs_stat(const char *path, int follow, fileutl_stat_t *st) {
    vob_view_stat vs;
    std::string err;
    int rc = vob_view_stat_path(path, &vs, &err);
    if (rc != VOB_OK) {
        failed(path, rc, err);
        return -1;
    }
    if (vs.where == VOB_VIEW_OUTSIDE)
        return fileutl_stat(path, follow, st);
    *st = fileutl_stat_t{};
    st->nlink = 1;
    if (vs.where == VOB_VIEW_ABOVE) {
        st->mode = S_IFDIR | 0755;
        return 0;
    }
    // Only the kind counts for the walk; the element's mode is read from
    // its file when it has one. The element is the inode, so that a
    // directory entered again below itself is seen as a loop.
    st->mode = vs.mtype == VOB_MT_DIR_ELEM ? S_IFDIR | 0755 : S_IFREG | 0444;
    st->dev = std::hash<std::string>()(vs.vob_tag);
    st->ino = uint64_t(vs.elem);
    return 0;
}

int disk_names(const char *path, std::vector<fileutl_dirent> *out) {
    DIR *d = ::opendir(path);
    if (!d)
        return -1;
    while (struct dirent *e = ::readdir(d))
        out->push_back({e->d_name});
    ::closedir(d);
    return 0;
}

int read_names(const char *path, vt_dir *d) {
    vob_view_stat vs;
    std::string err;
    int rc = vob_view_stat_path(path, &vs, &err);
    if (rc == VOB_OK && vs.where == VOB_VIEW_OUTSIDE)
        return disk_names(path, &d->names);
    std::vector<std::string> names;
    if (rc == VOB_OK)
        rc = vob_view_readdir(path, &names, &err);
    if (rc != VOB_OK) {
        failed(path, rc, err);
        if (rc == VOB_ERR && vs.where == VOB_VIEW_ELEMENT && vs.mtype != VOB_MT_DIR_ELEM)
            errno = ENOTDIR;
        return -1;
    }
    for (std::string &n : names)
        d->names.push_back({std::move(n)});
    return 0;
}

void *fs_opendir(const char *path) {
    auto d = std::make_unique<vt_dir>();
    if (read_names(path, d.get()) != 0)
        return nullptr;
    return d.release();
}

const fileutl_dirent *fs_readdir(void *dir, int) {
    vt_dir *d = static_cast<vt_dir *>(dir);
    return d->pos < d->names.size() ? &d->names[d->pos++] : nullptr;
}

void fs_closedir(void *dir) { delete static_cast<vt_dir *>(dir); }

}   // namespace

const cm_fs_ops vt_fs_ops = {fs_stat, fs_opendir, fs_readdir, fs_closedir};
