// The start-up and command-line steps the front ends share (frontend.h).
#include "runtime/frontend.h"

#include "runtime/ks.h"
#include "runtime/pfm.h"
#include "runtime/stopsig.h"
#include "runtime/version.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The runtime's own text, for a program whose catalog has none.
#define FRONTEND_MESSAGES(X) X(FE_WRITE_FAILED, "write failure on standard output: %s")
IMSG_DECLARE_LISTED(frontend_msg, FRONTEND_MESSAGES)

namespace {

IMSG_DEFINE_LISTED_CATALOG(frontend_cat, "runtime", "frontend", 0, FRONTEND_MESSAGES)

// A descriptor left closed would be taken by the next file opened, and
// output meant for the terminal would land in it.
void fill_closed_descriptors() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDONLY) != fd)
            return;   // cannot happen: the lower ones are open, so it takes fd
}

// The reason a stream failed, when its flush no longer says (the failed
// bytes were dropped): what the notices met, else a pipe whose reader has
// gone shows an error on poll, and a device refuses even an empty write.
int lost_reason(int fd) {
    if (fd == STDOUT_FILENO && imsg_out_errno())
        return imsg_out_errno();
    struct stat st;
    pollfd p = {fd, POLLOUT, 0};
    if (fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) && poll(&p, 1, 0) == 1 &&
        (p.revents & POLLERR))
        return EPIPE;
    errno = 0;
    if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && write(fd, "", 0) < 0 && errno != EAGAIN)
        return errno;
    return EIO;
}

// 0 when everything written to the stream reached it, else the reason.
// With `close` a copy of its descriptor is closed as well, where a file
// system reports what it could not write back; the stream stays usable.
int stream_failure(FILE *f, bool close) {
    errno = 0;
    if (std::fflush(f) != 0)
        return errno ? errno : EIO;
    if (std::ferror(f))
        return lost_reason(fileno(f));
    int copy = close ? dup(fileno(f)) : -1;
    errno = 0;
    if (copy >= 0 && ::close(copy) != 0 && errno != EINTR)
        return errno ? errno : EIO;
    return 0;
}

}   // namespace

void frontend_init(const char *argv0, const char *fixed_name) {
    fill_closed_descriptors();
    ks_system_init();
    imsg_set_app_name(fixed_name ? fixed_name : argv0);
}

void frontend_help_exit(const frontend_t &fe) {
    imsg_print(IMSG_NOTICE, fe.cat(), fe.usage);
    imsg_print(IMSG_NOTICE, fe.cat(), fe.help);
    frontend_exit(fe, 0);
}

void frontend_version(const frontend_t &fe, int argc, char **argv, void (*libraries)()) {
    int all = 0;
    if (argc < 2 || !ks_is_version_request(argv[1], &all))
        return;
    ks_print_banner(fe.name);
    if (all && libraries)
        libraries();
    frontend_exit(fe, 0);
}

void frontend_usage_exit(const frontend_t &fe, clp_hdl **hdl) {
    imsg_print(IMSG_NOTICE, fe.cat(), fe.usage);
    clp_destroy_hdl(hdl);
    frontend_exit(fe, 1);
}

void frontend_banner_exit(const frontend_t &fe, clp_hdl **hdl) {
    ks_print_banner(fe.name);
    clp_destroy_hdl(hdl);
    frontend_exit(fe, 0);
}

int frontend_check_output(const frontend_t &fe, const char *what) {
    int out = stream_failure(stdout, true);
    int err = stream_failure(stderr, false);
    if (out == EPIPE)
        return FRONTEND_PIPE_GONE;
    if (out != 0) {
        std::string text = fe.write_failed >= 0
                               ? imsg_sprintf(fe.cat(), fe.write_failed, imsg_strerror(out))
                               : IMSG_SPRINTF(frontend_cat(), FE_WRITE_FAILED, imsg_strerror(out));
        if (what)
            text = std::string(what) + ": " + text;
        imsg_printf(IMSG_ERROR, "%s", text.c_str());
    }
    return out != 0 || err != 0 ? 1 : 0;
}

int frontend_finish(const frontend_t &fe, int status, int failed, const char *what) {
    if (status >= failed) {
        std::fflush(nullptr);
        return status;
    }
    int rc = frontend_check_output(fe, what);
    if (rc == FRONTEND_PIPE_GONE)
        ks_die_of_signal(SIGPIPE);
    return rc != 0 ? failed : status;
}

void frontend_exit(const frontend_t &fe, int status, int failed, const char *what) {
    pfm_exit(frontend_finish(fe, status, failed, what));
}

int frontend_next_flag(const frontend_t &fe, clp_hdl *hdl, int no_operand, int bad_option, int *id) {
    *id = -1;
    int rc = clp_get_next_flag_value(hdl, id);
    if (rc == CLP_ARGS)
        return FRONTEND_OPERANDS;
    if (rc == CLP_END) {
        imsg_print(IMSG_ERROR, fe.cat(), no_operand);
        return FRONTEND_ERROR;
    }
    if (rc != CLP_FLAG) {
        imsg_print(IMSG_ERROR, fe.cat(), bad_option, clp_last_flag_word(hdl));
        return FRONTEND_ERROR;
    }
    return FRONTEND_FLAG;
}

int frontend_flag_value(const frontend_t &fe, clp_hdl *hdl, int needs_arg, const char *word,
                        const char **arg) {
    if (clp_get_next_arg(hdl, arg))
        return 1;
    imsg_print(IMSG_ERROR, fe.cat(), needs_arg, word);
    return 0;
}

void frontend_stop_handlers(const frontend_t &fe, int stopping, void (*request)(), void (*at_second)()) {
    ks_install_stop_handlers(std::string(imsg_app_name()) + ": " + imsg_sprintf(fe.cat(), stopping) + "\n",
                             request, at_second);
}
