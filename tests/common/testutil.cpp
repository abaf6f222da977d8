#include "tests/common/testutil.h"

#include "runtime/imsg.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <pty.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testutil {

TempDir::TempDir() {
    std::string base = fs::temp_directory_path().string() + "/vantor-test-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    if (std::getenv("VANTOR_TEST_KEEP"))
        return;
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(path_, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void TempDir::file(const std::string &rel, const std::string &text) const { write_file(*this / rel, text); }

void TempDir::dir(const std::string &rel) const { make_dirs(*this / rel); }

namespace {

void drain(int out_fd, int err_fd, int in_fd, const std::string &input, ProcResult &r) {
    size_t written = 0;
    if (in_fd >= 0 && input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    int open_fds = 2;
    char buf[65536];
    while (open_fds > 0) {
        struct pollfd p[3];
        int n = 0;
        if (out_fd >= 0)
            p[n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0)
            p[n++] = {err_fd, POLLIN, 0};
        if (in_fd >= 0)
            p[n++] = {in_fd, POLLOUT, 0};
        if (poll(p, nfds_t(n), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (!p[i].revents)
                continue;
            if (p[i].fd == in_fd) {
                ssize_t w = write(in_fd, input.data() + written, input.size() - written);
                if (w > 0)
                    written += size_t(w);
                if (w < 0 || written == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            ssize_t got = read(p[i].fd, buf, sizeof buf);
            if (got > 0) {
                (p[i].fd == out_fd ? r.out : r.err).append(buf, size_t(got));
            } else {
                close(p[i].fd);
                (p[i].fd == out_fd ? out_fd : err_fd) = -1;
                --open_fds;
            }
        }
    }
    if (in_fd >= 0)
        close(in_fd);
}

[[noreturn]] void exec_child(const std::vector<std::string> &argv, const std::string &cwd,
                             const EnvList &env) {
    if (chdir(cwd.c_str()) != 0)
        _exit(126);
    for (const auto &[k, v] : env) {
        if (v == "\x01unset")
            unsetenv(k.c_str());
        else
            setenv(k.c_str(), v.c_str(), 1);
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

}   // namespace

ProcResult run(const std::vector<std::string> &argv, const std::string &cwd, const EnvList &env,
               const std::string &input) {
    int out[2], err[2], in[2];
    if (pipe(out) || pipe(err) || pipe(in))
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]})
            close(fd);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1], in[0], in[1]})
            close(fd);
        exec_child(argv, cwd, env);
    }
    close(out[1]);
    close(err[1]);
    close(in[0]);
    ProcResult r;
    // A child that exits without reading its input must not kill the test
    // with SIGPIPE: hold the signal back and drop any that arrived.
    sigset_t pipe_set, old_set;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
    drain(out[0], err[0], in[1], input, r);
    struct timespec no_wait = {0, 0};
    while (sigtimedwait(&pipe_set, nullptr, &no_wait) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

ProcResult run_pty(const std::vector<std::string> &argv, const std::string &cwd, const EnvList &env,
                   bool stdout_on_pty) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    struct termios t;
    if (tcgetattr(slave, &t) == 0) {
        t.c_oflag &= ~tcflag_t(OPOST);
        t.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(slave, TCSANOW, &t);
    }
    int out[2];
    if (pipe(out) != 0) {
        close(master);
        close(slave);
        throw std::runtime_error("pipe failed");
    }
    pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {master, slave, out[0], out[1]})
            close(fd);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        setsid();
        int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, 0);
        dup2(stdout_on_pty ? slave : out[1], 1);
        dup2(slave, 2);
        for (int fd : {null_fd, master, slave, out[0], out[1]})
            close(fd);
        exec_child(argv, cwd, env);
    }
    close(slave);
    close(out[1]);
    ProcResult r;
    // The terminal side reads EIO once the child and its descendants have
    // closed it: drain() takes that as the end.
    drain(out[0], master, -1, "", r);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

int shell(const std::string &cmd, std::string *out, std::string *err, const std::string &cwd) {
    ProcResult r = run({"/bin/sh", "-c", cmd}, cwd);
    if (out)
        *out = std::move(r.out);
    if (err)
        *err = std::move(r.err);
    else
        std::cerr << r.err;
    return r.status;
}

void write_file(const std::string &path, const std::string &bytes) {
    fs::path p(path);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void make_dirs(const std::string &path) { fs::create_directories(path); }

void set_mtime(const std::string &path, long long t) {
    struct timeval tv[2] = {{time_t(t), 0}, {time_t(t), 0}};
    if (utimes(path.c_str(), tv) != 0)
        throw std::runtime_error("utimes failed on " + path);
}

size_t count(const std::string &hay, const std::string &needle) {
    size_t n = 0;
    for (size_t pos = hay.find(needle); pos != std::string::npos; pos = hay.find(needle, pos + needle.size()))
        ++n;
    return n;
}

ImsgCapture::ImsgCapture() : out_(std::tmpfile()), err_(std::tmpfile()) {
    if (!out_ || !err_) {
        if (out_)
            std::fclose(out_);
        if (err_)
            std::fclose(err_);
        throw std::runtime_error("tmpfile failed");
    }
    imsg_set_streams(out_, err_);
}

ImsgCapture::~ImsgCapture() {
    imsg_set_streams(nullptr, nullptr);
    std::fclose(out_);
    std::fclose(err_);
}

void ImsgCapture::clear() {
    for (FILE *f : {out_, err_}) {
        std::fflush(f);
        if (ftruncate(fileno(f), 0) != 0)
            throw std::runtime_error("cannot empty a capture file");
        std::rewind(f);
    }
}

// Everything written so far; the position is left at the end for more.
static std::string contents(FILE *f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fseek(f, 0, SEEK_END);
    return s;
}

std::string ImsgCapture::out() const { return contents(out_); }
std::string ImsgCapture::err() const { return contents(err_); }

size_t count_entries(const std::string &dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto &e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

int spawn_logged(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                 const std::string &log, const std::string &cwd) {
    std::vector<std::string> a = argv, e = env;
    std::vector<char *> av, ev;
    for (std::string &x : a)
        av.push_back(x.data());
    av.push_back(nullptr);
    for (std::string &x : e)
        ev.push_back(x.data());
    ev.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    pid_t pid = -1;
    int rc = posix_spawn(&pid, av[0], &fa, nullptr, av.data(), ev.data());
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

}   // namespace testutil
