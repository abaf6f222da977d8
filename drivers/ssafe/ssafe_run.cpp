// The command runner: posix_spawn with the redirections done here.
#include "drivers/ssafe/ssafe_run.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "drivers/ssafe/ssafe_driver.h"
#include "drivers/ssafe/ssafe_msgs.h"
#include "runtime/fileutl.h"
#include "runtime/stopsig.h"

extern char **environ;

namespace {

const imsg_catalog *cat() { return ssafe_driver_ssafe_msg_table_adr(); }

// Closes what it holds when it goes.
struct fd_pair {
    int fd[2] = {-1, -1};
    ~fd_pair() {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
};

struct spawn_actions {
    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    spawn_actions() {
        posix_spawn_file_actions_init(&fa);
        posix_spawnattr_init(&attr);
    }
    ~spawn_actions() {
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
    }
};

// The client runs in a process group of its own, with the signals as a
// program starts with them: a Ctrl-C reaches the exporter alone, whose stop
// handlers end the client (stopsig.h) instead of leaving it running.
void own_group(posix_spawnattr_t *attr) {
    sigset_t none, dflt;
    sigemptyset(&none);
    sigemptyset(&dflt);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ})
        sigaddset(&dflt, sig);
    posix_spawnattr_setpgroup(attr, 0);
    posix_spawnattr_setsigmask(attr, &none);
    posix_spawnattr_setsigdefault(attr, &dflt);
    posix_spawnattr_setflags(attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

int wait_child(pid_t pid, int *wstatus) {
    for (;;) {
        if (::waitpid(pid, wstatus, 0) == pid)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

}   // namespace

int ssafe_run(const std::vector<std::string> &args, const ssafe_redirect &r, int *status, std::string *why) {
    ssafe_driver_state &s = ssafe_state();
    *status = -1;
    // Five newlines fit any pipe's buffer: written before the start, they
    // wait for the client to read them, and it sees the end after them.
    fd_pair in;
    if (::pipe2(in.fd, O_CLOEXEC) != 0 || ::write(in.fd[1], "\n\n\n\n\n", 5) != 5) {
        *why = imsg_strerror(errno);
        return -1;
    }
    ::close(in.fd[1]);
    in.fd[1] = -1;
    spawn_actions a;
    posix_spawn_file_actions_adddup2(&a.fa, in.fd[0], 0);
    if (!r.out.empty())
        posix_spawn_file_actions_addopen(&a.fa, 1, r.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!r.err.empty())
        posix_spawn_file_actions_addopen(&a.fa, 2, r.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char *> argv;
    std::string name = "ss";
    argv.push_back(name.data());
    std::vector<std::string> copy = args;
    for (std::string &arg : copy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    own_group(&a.attr);
    pid_t pid;
    int rc = posix_spawn(&pid, s.ss_path.c_str(), &a.fa, &a.attr, argv.data(), environ);
    if (rc != 0) {
        *why = imsg_strerror(rc);
        return -1;
    }
    ks_stop_set_child(pid);
    int ws = 0;
    int waited = wait_child(pid, &ws);
    ks_stop_set_child(0);
    if (waited != 0) {
        *why = imsg_strerror(errno);
        return -1;
    }
    if (WIFSIGNALED(ws)) {
        *why = IMSG_SPRINTF(cat(), SSAFE_REASON_SIGNAL, WTERMSIG(ws));
        return -1;
    }
    *status = WEXITSTATUS(ws);
    // posix_spawn reports a failed exec as status 127 of the child.
    if (*status != 0 && *status != SSAFE_STATUS_NOTHING) {
        *why = IMSG_SPRINTF(cat(), SSAFE_REASON_STATUS, *status);
        return -1;
    }
    return 0;
}

std::string ssafe_command_text(const std::vector<std::string> &args) {
    std::string out = "ss";
    for (const std::string &a : args) {
        out += ' ';
        if (a.find_first_of(" \t\"'") != std::string::npos || a.empty())
            out += "\"" + a + "\"";
        else
            out += a;
    }
    return out;
}

int ssafe_tmpfile(std::string *name) {
    int err = fileutl_tmpfile_ext(nullptr, 0, 0, name);
    if (err != 0) {
        IMSG_PRINT_SHARED(IMSG_ERROR, "SSAFE_driver", _tbs_cmsg_tbs_msg_table_adr(), TBS_MSG_TMPFILE,
                          imsg_strerror(err));
        return 1;
    }
    return 0;
}

bool ssafe_read_file(const std::string &path, std::string *text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    text->clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            errno = err;
            return false;
        }
        if (n == 0)
            break;
        text->append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

int ssafe_capture(const std::vector<std::string> &args, std::string *text, int *status, std::string *why,
                  std::string *command, std::string *err) {
    std::string out, err_file;
    text->clear();
    if (err)
        err->clear();
    if (ssafe_tmpfile(&out) != 0)
        return 1;
    int slot = ks_stop_add_file(out);   // removed by a stop at once too
    int err_slot = -1;
    if (err) {
        if (ssafe_tmpfile(&err_file) != 0) {
            ks_stop_drop_file(slot);
            (void)fileutl_rm(out.c_str());
            return 1;
        }
        err_slot = ks_stop_add_file(err_file);
    }
    std::vector<std::string> full = args;
    for (std::string &a : full)
        if (a == "-O")
            a += out;
    *command = ssafe_command_text(full);
    int rc = ssafe_run(full, {"", err_file}, status, why);
    if (!ssafe_read_file(out, text)) {
        if (rc == 0) {
            *why = imsg_strerror(errno);
            rc = -1;
        }
        text->clear();
    }
    if (err) {
        if (!ssafe_read_file(err_file, err))
            err->clear();
        ks_stop_drop_file(err_slot);
        (void)fileutl_rm(err_file.c_str());
    }
    ks_stop_drop_file(slot);
    (void)fileutl_rm(out.c_str());
    return rc;
}

int ssafe_query(const std::string &cmd, const std::vector<std::string> &rest, std::string *text) {
    std::vector<std::string> args = {cmd, "-I-", "-O"};
    args.insert(args.end(), rest.begin(), rest.end());
    int status;
    std::string why, command;
    int rc = ssafe_capture(args, text, &status, &why, &command);
    // A client ended by the run's stop is no failure of its own.
    if (rc < 0 && !ks_stop_signal())
        IMSG_PRINT(IMSG_ERROR, cat(), SSAFE_CANT_OPEN_PROCESS, command.c_str(), why.c_str());
    return rc == 0 ? 0 : 1;
}

bool ssafe_next_line(const std::string &text, size_t *pos, std::string *line) {
    if (*pos >= text.size())
        return false;
    size_t nl = text.find('\n', *pos);
    size_t end = nl == std::string::npos ? text.size() : nl;
    *line = text.substr(*pos, end - *pos);
    *pos = nl == std::string::npos ? text.size() : nl + 1;
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}

std::string ssafe_first_line(const std::string &text) {
    size_t pos = 0;
    std::string line;
    return ssafe_next_line(text, &pos, &line) ? line : std::string();
}
