// Recognisers of RCS and PVCS archives for the source trees.
#include "platform/orbis/sum.h"
#include "wizard/wiz_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "drivers/pvcs/pvcs_archive.h"
#include "wizard/wiz_error.h"

namespace {

// A read-only descriptor of a regular file, opened without waiting.
class regular_file {
public:
    explicit regular_file(const std::string &path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat st;
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~regular_file() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    regular_file(const regular_file &) = delete;
    regular_file &operator=(const regular_file &) = delete;
    bool ok() const { return fd_ >= 0; }

    // The next line without its end ("\n", and a "\r" before it), at most
    // WIZ_RCS_LINE_MAX characters: the rest of a longer one is the next
    // line. False at the end of the file (or a read error) with nothing read.
    bool line(std::string *out) {
        out->clear();
        bool any = false;
        for (;;) {
            if (pos_ == len_ && !fill())
                break;
            char c = buf_[pos_++];
            any = true;
            if (c == '\n')
                break;
            out->push_back(c);
            if (out->size() == WIZ_RCS_LINE_MAX)
                break;
        }
        if (!out->empty() && out->back() == '\r')
            out->pop_back();
        return any;
    }

private:
    bool fill() {
        ssize_t n;
        do
            n = ::read(fd_, buf_, sizeof buf_);
        while (n < 0 && errno == EINTR);
        pos_ = 0;
        len_ = n > 0 ? size_t(n) : 0;
        return len_ > 0;
    }
    int fd_ = -1;
    char buf_[4096];
    size_t pos_ = 0, len_ = 0;
};

bool has(const std::string &line, const char *word) { return line.find(word) != std::string::npos; }

// The PVCS reader's file; it opens regular files only, without waiting.
bool open_pvcs(const std::string &path, pvcs_file *f) { return pvcs_open_walked(path.c_str(), f) == 0; }

}   // namespace

bool wiz_is_rcs_archive(const std::string &path) {
    regular_file f(path);
    if (!f.ok())
        return false;
    std::string line;
    do {
        if (!f.line(&line))
            return false;
    } while (line.empty());
    if (!has(line, "head"))
        return false;
    bool access = false, symbols = false;
    while (f.line(&line)) {
        access = access || has(line, "access");
        symbols = symbols || has(line, "symbols");
        if (access && symbols && has(line, "desc"))
            return true;
    }
    return false;
}

bool wiz_is_pvcs_archive(const std::string &path) {
    SUM_ImsgRedirector quiet;   // the reader's messages are not the tree's to show
    pvcs_file f;
    bool yes = false;
    return open_pvcs(path, &f) && pvcs_is_archive(f, &yes) == 0 && yes;
}

bool wiz_pvcs_workfile_leaf(const std::string &path, std::string *leaf) {
    SUM_ImsgRedirector quiet;
    pvcs_file f;
    bool yes = false;
    std::string workfile;
    if (!open_pvcs(path, &f) || pvcs_is_archive(f, &yes) != 0 || !yes ||
        pvcs_workfile_name(f, path, &workfile) != 0)
        return false;
    size_t cut = workfile.find_last_of("/\\");
    std::string name = cut == std::string::npos ? workfile : workfile.substr(cut + 1);
    if (name.empty())
        return false;
    *leaf = name;
    return true;
}
