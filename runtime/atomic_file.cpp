#include "runtime/atomic_file.h"

#include "runtime/iofault.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string dir_of(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename is durable only once the directory entry is on disk.
int sync_dir(const std::string &dir) {
    int fd = iof_open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = iof_fsync(fd) == 0 ? 0 : errno;
    iof_close(fd);
    // Some file systems refuse fsync on directories; the data itself is synced.
    return err == EINVAL ? 0 : err;
}

// The stream writes through the fault layer; the descriptor stays the
// caller's to sync, and closing the stream closes it.
ssize_t cookie_write(void *c, const char *buf, size_t n) {
    int fd = *static_cast<int *>(c);
    size_t done = 0;
    while (done < n) {
        ssize_t w = iof_write(fd, buf + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return -1;   // the stream is in error; commit() reports it
        done += size_t(w);
    }
    return ssize_t(n);
}

int cookie_close(void *c) {
    int fd = *static_cast<int *>(c);
    delete static_cast<int *>(c);
    return iof_close(fd);
}

// The umask, without changing it where /proc says it.
mode_t read_umask() {
    if (FILE *f = fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && fgets(line, sizeof line, f))
            found = sscanf(line, "Umask: %o", &mask) == 1;
        fclose(f);
        if (found)
            return mode_t(mask);
    }
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Read before main, while the process has one thread.
const mode_t startup_umask = atomic_file_umask();

}   // namespace

mode_t atomic_file_umask() {
    static const mode_t mask = read_umask();
    return mask;
}

atomic_file::~atomic_file() { abandon(); }

int atomic_file::open(const std::string &dest, const std::string &tmp_dir) {
    abandon();
    dest_ = dest;
    std::string tmpl = tmp_dir.empty() ? dest + ".tmpXXXXXX" : tmp_dir + "/copyXXXXXX";
    int fd = iof_mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // mkstemp makes 0600; give the file what a plain create would.
    (void)startup_umask;
    fchmod(fd, 0666 & ~atomic_file_umask());
    int *cookie = new int(fd);
    fp_ = fopencookie(cookie, "wb", cookie_io_functions_t{nullptr, cookie_write, nullptr, cookie_close});
    if (!fp_) {
        int err = errno;
        delete cookie;
        iof_close(fd);
        (void)iof_unlink(tmpl.c_str());
        return err;
    }
    fd_ = fd;
    tmp_ = std::move(tmpl);
    return 0;
}

int atomic_file::commit(bool durable) {
    if (!fp_)
        return EBADF;
    int err = 0;
    if (ferror(fp_))
        err = EIO;
    if (!err && fflush(fp_) != 0)
        err = errno ? errno : EIO;
    if (!err && durable && iof_fsync(fd_) != 0)
        err = errno;
    if (fclose(fp_) != 0 && !err)
        err = errno ? errno : EIO;
    fp_ = nullptr;
    fd_ = -1;
    if (!err && iof_rename(tmp_.c_str(), dest_.c_str()) != 0)
        err = errno;
    if (err) {
        (void)iof_unlink(tmp_.c_str());
        tmp_.clear();
        return err;
    }
    tmp_.clear();
    return durable ? sync_dir(dir_of(dest_)) : 0;
}

void atomic_file::abandon() {
    if (fp_) {
        fclose(fp_);
        fp_ = nullptr;
        fd_ = -1;
    }
    if (!tmp_.empty()) {
        (void)iof_unlink(tmp_.c_str());
        tmp_.clear();
    }
}

int fileutl_write_atomic(const std::string &path, std::string_view bytes) {
    atomic_file f;
    if (int err = f.open(path))
        return err;
    if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), f.stream()) != bytes.size())
        return errno ? errno : EIO;
    return f.commit();
}
