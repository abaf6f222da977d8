// One loaded file of a view: writing a version's copy, recording it, and
// telling whether it is still what was written.
#include "platform/view/view_int.h"
#include "runtime/atomic_file.h"
#include "runtime/fileutl.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string view_rel_of(const view_t *v, const std::string &abs) {
    return abs.size() > v->root.size() ? abs.substr(v->root.size() + 1) : std::string();
}

// Copies in to out; 0 or an errno value.
static int copy_fd(int in, FILE *out) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : 0;
        if (fwrite(buf, 1, (size_t)n, out) != (size_t)n)
            return errno ? errno : EIO;
    }
}

// The contents of a version on their way to a file: a pool file streamed,
// or bytes rebuilt by the store.
struct version_source {
    int fd = -1;
    std::shared_ptr<const std::string> bytes;
    ~version_source() {
        if (fd >= 0)
            close(fd);
    }
    int write_to(FILE *out) const {
        if (fd >= 0)
            return lseek(fd, 0, SEEK_SET) == 0 ? copy_fd(fd, out) : errno;
        if (!bytes->empty() && fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size())
            return errno ? errno : EIO;
        return 0;
    }
};

// One copy to dest through a temporary file in tmp_dir ("" for beside
// dest); 0 or an errno value.
static int copy_through(const version_source &in, const std::string &dest, const std::string &tmp_dir,
                        int writable) {
    atomic_file out;
    int e = out.open(dest, tmp_dir);
    if (!e)
        e = in.write_to(out.stream());
    if (!e && fchmod(out.fd(), writable ? 0644 : 0444) != 0)
        e = errno;
    return e ? e : out.commit(false);
}

// No file of the user's beside dest is ever truncated or removed: the copy is
// written under a temporary name and renamed over dest. The temporary sits in
// the view's own tmp/ (made and emptied by view_lock::take), so that a copy
// killed half way leaves nothing among the user's files; only when dest is on
// another file system (a mount inside the view) does it sit beside dest,
// under a name no other file has.
int view_copy_out(view_t *v, vob_t *h, vob_oid ver, const std::string &dest, int writable) {
    std::string src;
    version_source in;
    int rc = vob_ver_get_data(h, ver, &src, &in.bytes);
    if (rc != VOB_OK)
        return view_fail(v, rc, vob_errmsg(h));
    if (!src.empty() && (in.fd = open(src.c_str(), O_RDONLY | O_CLOEXEC)) < 0)
        return view_fail(v, VOB_ERR,
                         VOB_MSG(VM_POOL_READ, vob_get_tag(h).c_str(), src.c_str(), strerror(errno)));
    int e = copy_through(in, dest, view_meta_file(v, "tmp"), writable);
    if (e == EXDEV || e == ENOENT)   // another file system, or no tmp/
        e = copy_through(in, dest, "", writable);
    if (e)
        return view_fail(v, VOB_ERR, VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), dest.c_str(), strerror(e)));
    return VOB_OK;
}

int view_keep_aside(view_t *v, const std::string &abs, std::string *kept) {
    kept->clear();
    std::string name = abs + ".keep";
    for (int n = 1;; n++) {
        int e = fileutl_rename_noreplace(abs.c_str(), name.c_str());
        if (e == 0) {
            *kept = name;
            return VOB_OK;
        }
        if (e != EEXIST || n > VIEW_KEEP_MAX)
            return view_fail(v, VOB_ERR,
                             VOB_MSG(VM_VIEW_WRITE, v->tag.c_str(), name.c_str(),
                                     e == EEXIST ? "every keep name up to it is taken" : strerror(e)));
        name = abs + ".keep." + std::to_string(n);
    }
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
