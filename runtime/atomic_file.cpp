#include "runtime/atomic_file.h"

#include <cerrno>
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
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int err = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    // Some file systems refuse fsync on directories; the data itself is synced.
    return err == EINVAL ? 0 : err;
}

}   // namespace

atomic_file::~atomic_file() { abandon(); }

int atomic_file::open(const std::string &dest) {
    abandon();
    dest_ = dest;
    std::string tmpl = dest + ".tmpXXXXXX";
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // mkstemp makes 0600; give the file what a plain create would.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    fp_ = fdopen(fd, "wb");
    if (!fp_) {
        int err = errno;
        close(fd);
        unlink(tmpl.c_str());
        return err;
    }
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
    if (!err && durable && fsync(fileno(fp_)) != 0)
        err = errno;
    if (fclose(fp_) != 0 && !err)
        err = errno ? errno : EIO;
    fp_ = nullptr;
    if (!err && rename(tmp_.c_str(), dest_.c_str()) != 0)
        err = errno;
    if (err) {
        unlink(tmp_.c_str());
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
    }
    if (!tmp_.empty()) {
        unlink(tmp_.c_str());
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
