// The archive file: positioned reads through one buffer, bounded by the size
// found at open, so that stepping over records re-reads nothing already held.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drivers/pvcs/pvcs_archive.h"

namespace {
const size_t BUF_SIZE = size_t(64) << 10;
// The first read of a file and a read behind the buffer take this much: the
// recognition and the header need a few hundred bytes at each end. Reads
// onward double it up to BUF_SIZE, as the revision blocks follow one another.
const size_t FIRST_READ = size_t(4) << 10;
}   // namespace

pvcs_file::~pvcs_file() { close(); }

int pvcs_file::open(const std::string &path) {
    close();
    // Not blocking: a FIFO met on a walk must not stop the run.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno ? errno : EIO;
    struct stat sb;
    if (fstat(fd, &sb) != 0) {
        int err = errno ? errno : EIO;
        ::close(fd);
        return err;
    }
    if (!S_ISREG(sb.st_mode)) {
        ::close(fd);
        return S_ISDIR(sb.st_mode) ? EISDIR : ENODEV;
    }
    fd_ = fd;
    size_ = int64_t(sb.st_size);
    pos_ = 0;
    buf_start_ = 0;
    buf_len_ = 0;
    window_ = FIRST_READ;
    io_error_ = false;
    return 0;
}

void pvcs_file::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
    pos_ = 0;
    buf_len_ = 0;
}

bool pvcs_file::seek(int64_t pos) {
    if (pos < 0 || pos > size_)
        return false;
    pos_ = pos;
    return true;
}

// Reads n bytes at pos into dst; false on a short read or an error.
static bool pread_all(int fd, unsigned char *dst, size_t n, int64_t pos) {
    while (n > 0) {
        ssize_t got = ::pread(fd, dst, n, off_t(pos));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        dst += got;
        n -= size_t(got);
        pos += got;
    }
    return true;
}

// Makes [pos, pos + n) present in the buffer; n is at most BUF_SIZE.
bool pvcs_file::fill(int64_t pos, size_t n) {
    if (pos >= buf_start_ && pos + int64_t(n) <= buf_start_ + int64_t(buf_len_))
        return true;
    if (buf_.size() < BUF_SIZE)
        buf_.resize(BUF_SIZE);
    bool onward = buf_len_ > 0 && pos >= buf_start_;
    window_ = onward ? std::min(BUF_SIZE, window_ * 2) : FIRST_READ;
    size_t want = size_t(std::min<int64_t>(int64_t(std::max(window_, n)), size_ - pos));
    buf_len_ = 0;
    if (!pread_all(fd_, buf_.data(), want, pos)) {
        io_error_ = true;
        return false;
    }
    buf_start_ = pos;
    buf_len_ = want;
    return true;
}

bool pvcs_file::read(void *out, size_t n) {
    if (fd_ < 0 || n > uint64_t(size_ - pos_))
        return false;
    if (n == 0)
        return true;
    if (n > BUF_SIZE) {
        if (!pread_all(fd_, static_cast<unsigned char *>(out), n, pos_)) {
            io_error_ = true;
            return false;
        }
    } else {
        if (!fill(pos_, n))
            return false;
        std::memcpy(out, buf_.data() + (pos_ - buf_start_), n);
    }
    pos_ += int64_t(n);
    return true;
}

bool pvcs_file::read_u8(unsigned *out) {
    unsigned char b;
    if (!read(&b, 1))
        return false;
    *out = b;
    return true;
}

bool pvcs_file::read_u16(unsigned *out) {
    unsigned char b[2];
    if (!read(b, 2))
        return false;
    *out = unsigned(b[0]) << 8 | b[1];
    return true;
}

bool pvcs_file::read_u32(uint32_t *out) {
    unsigned char b[4];
    if (!read(b, 4))
        return false;
    *out = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    return true;
}
