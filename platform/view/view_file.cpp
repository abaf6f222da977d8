// One loaded file of a view: writing a version's copy, recording it, and
// telling whether it is still what was written.
#include "platform/view/view_int.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string view_rel_of(const view_t *v, const std::string &abs) {
    return abs.size() > v->root.size() ? abs.substr(v->root.size() + 1) : std::string();
}

// Copies in to out; 0 or an errno value.
static int copy_fd(int in, int out) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : 0;
        ssize_t off = 0;
        while (off < n) {
            ssize_t w = write(out, buf + off, (size_t)(n - off));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return errno;
            off += w;
        }
    }
}

int view_copy_out(view_t *v, vob_t *h, vob_oid ver, const std::string &dest, int writable) {
    std::string src;
    int rc = vob_ver_get_data_pname(h, ver, &src);
    if (rc != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    std::string tmp = dest + ".vantor-tmp";
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return view_fail(v, VOB_ERR,
                         VOB_MSG(VM_POOL_READ, vob_get_tag(h).c_str(), src.c_str(), strerror(errno)));
    unlink(tmp.c_str());
    int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        int e = errno;
        close(in);
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), tmp.c_str(), strerror(e)));
    }
    int e = copy_fd(in, out);
    close(in);
    if (close(out) != 0 && !e)
        e = errno;
    if (!e && chmod(tmp.c_str(), writable ? 0644 : 0444) != 0)
        e = errno;
    if (!e && rename(tmp.c_str(), dest.c_str()) != 0)
        e = errno;
    if (e) {
        unlink(tmp.c_str());
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), dest.c_str(), strerror(e)));
    }
    return VOB_OK;
}

int view_record_file(view_t *v, const std::string &tag, const std::string &abs, vob_oid elem, vob_oid ver) {
    loaded_rec r;
    r.vob = tag;
    r.elem = elem;
    r.ver = ver;
    if (view_stat(abs, &r.size, &r.mtime_ns, nullptr) != 0)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), abs.c_str(), strerror(errno)));
    return view_loaded_record(v, view_rel_of(v, abs), r);
}

int view_untouched(const std::string &path, const loaded_rec &r) {
    int64_t size, mt;
    int dir;
    return view_stat(path, &size, &mt, &dir) == 0 && !dir && size == r.size && mt == r.mtime_ns;
}
