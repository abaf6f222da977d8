// The run's temporary directory of fetched contents and the removal of
// those that killed runs left (see imp_tmp_dir in imp_run.h).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/import/imp_run.h"
#include "runtime/fileutl.h"

namespace {

// Nothing in it is worth a message: what cannot be removed now, the next
// run removes (see imp_tmp_dir).
void remove_tmp_dir(const std::string &dir) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

const char TMP_PREFIX[] = "vantimport.";

// Removes the temporary directories of killed runs (see imp_tmp_dir).
void remove_stale_tmp_dirs(const std::string &parent) {
    DIR *d = opendir(parent.c_str());
    if (!d)
        return;
    std::vector<std::string> stale;
    while (dirent *e = readdir(d)) {
        if (std::strncmp(e->d_name, TMP_PREFIX, sizeof TMP_PREFIX - 1) != 0)
            continue;
        std::string dir = parent + "/" + e->d_name;
        struct stat st;
        if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
            lstat((dir + "/kept").c_str(), &st) == 0)
            continue;
        int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            stale.push_back(dir);
        close(fd);
    }
    closedir(d);
    for (const std::string &dir : stale)
        remove_tmp_dir(dir);
}

}   // namespace

// Makes the run's temporary directory and locks it. 0, or errno.
int imp_make_tmp_dir(imp_run *run) {
    std::string parent = fileutl_tmpdir();
    remove_stale_tmp_dirs(parent);
    std::string tmp = parent + "/" + TMP_PREFIX + "XXXXXX";
    if (!mkdtemp(tmp.data()))
        return errno;
    run->tmp.path = tmp;
    run->tmp.keep = run->p->debug != 0;
    run->tmp_dir = tmp;
    int fd = open(tmp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    run->tmp.lock_fd = fd;
    if (flock(fd, LOCK_EX) != 0)
        return errno;
    if (run->tmp.keep) {
        int k = open((tmp + "/kept").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (k < 0)
            return errno;
        close(k);
    }
    return 0;
}

imp_tmp_dir::~imp_tmp_dir() {
    if (!path.empty() && !keep)
        remove_tmp_dir(path);
    if (lock_fd >= 0)
        close(lock_fd);
}
