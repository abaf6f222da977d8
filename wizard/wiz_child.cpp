// Child processes: splitting, spawning, collecting, ending; the stop request.
#include "wizard/wiz_child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/import/imp_start.h"
#include "wizard/wiz_error.h"

extern char **environ;

std::vector<std::string> wiz_split_command_line(const std::string &line) {
    std::vector<std::string> args;
    std::string cur;
    bool in_arg = false, quoted = false;
    size_t i = 0, n = line.size();
    while (i < n) {
        char c = line[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (in_arg)
                args.push_back(cur);
            cur.clear();
            in_arg = false;
            ++i;
            continue;
        }
        in_arg = true;
        if (c == '\\') {
            size_t k = i;
            while (k < n && line[k] == '\\')
                ++k;
            size_t count = k - i;
            if (k < n && line[k] == '"') {
                cur.append(count / 2, '\\');
                if (count % 2) {
                    cur += '"';
                    i = k + 1;
                } else {
                    i = k;   // the quote is handled as a quote
                }
            } else {
                cur.append(count, '\\');
                i = k;
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < n && line[i + 1] == '"') {
                cur += '"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        cur += c;
        ++i;
    }
    if (in_arg)
        args.push_back(cur);
    return args;
}

namespace {

// Our environment with the extra NAME=VALUE entries replacing their names.
std::vector<std::string> merged_environment(const std::vector<std::string> &extra) {
    std::vector<std::string> env;
    auto name_of = [](const std::string &e) { return e.substr(0, e.find('=')); };
    for (char **p = environ; p && *p; ++p) {
        std::string e = *p;
        bool replaced = false;
        for (const std::string &x : extra)
            replaced = replaced || name_of(x) == name_of(e);
        if (!replaced)
            env.push_back(std::move(e));
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char *> c_strings(std::vector<std::string> &v) {
    std::vector<char *> p;
    for (std::string &s : v)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Closes the descriptors it holds when it goes.
struct Fds {
    std::vector<int> fds;
    ~Fds() {
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
};

struct SpawnAttrs {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnAttrs() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnAttrs() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
};

}   // namespace

ChildProcess::ChildProcess(const std::string &command_line, const std::string &dir,
                           const std::vector<std::string> &env) {
    start(wiz_split_command_line(command_line), dir, env);
}

ChildProcess::ChildProcess(const std::vector<std::string> &argv, const std::string &dir,
                           const std::vector<std::string> &env) {
    start(argv, dir, env);
}

void ChildProcess::start(const std::vector<std::string> &argv_in, const std::string &dir,
                         const std::vector<std::string> &env_in) {
    if (argv_in.empty())
        throw SubProcException(ENOENT);
    // [0] stdin, [1] stdout, [2] stderr; each {read end, write end}, ours
    // close-on-exec so that no other child inherits them.
    int p[3][2];
    Fds held;
    for (auto &pp : p) {
        if (::pipe2(pp, O_CLOEXEC) != 0)
            throw SubProcException(errno);
        held.fds.push_back(pp[0]);
        held.fds.push_back(pp[1]);
    }
    SpawnAttrs sa;
    posix_spawn_file_actions_adddup2(&sa.actions, p[0][0], 0);
    posix_spawn_file_actions_adddup2(&sa.actions, p[1][1], 1);
    posix_spawn_file_actions_adddup2(&sa.actions, p[2][1], 2);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&sa.actions, dir.c_str());
    // Its own group, so that ending it ends what it started; default signal
    // handling and an empty mask whatever ours are.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&sa.attr, 0);
    posix_spawnattr_setsigmask(&sa.attr, &none);
    posix_spawnattr_setsigdefault(&sa.attr, &all);
    posix_spawnattr_setflags(&sa.attr,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argv = argv_in, env = merged_environment(env_in);
    std::vector<char *> cargv = c_strings(argv), cenv = c_strings(env);
    bool search = argv[0].find('/') == std::string::npos;
    int rc = search ? posix_spawnp(&pid_, argv[0].c_str(), &sa.actions, &sa.attr, cargv.data(), cenv.data())
                    : posix_spawn(&pid_, argv[0].c_str(), &sa.actions, &sa.attr, cargv.data(), cenv.data());
    if (rc != 0) {
        pid_ = -1;
        throw SubProcException(rc);
    }
    // The child's ends, and our end of its input: closed at once, so that a
    // child reading its input sees end of file instead of waiting forever.
    for (int *fd : {&p[0][0], &p[0][1], &p[1][1], &p[2][1]}) {
        ::close(*fd);
        *fd = -1;
    }
    held.fds.clear();
    int out_fd = p[1][0], err_fd = p[2][0];
    try {
        out_reader_ = std::thread(read_all, out_fd, &out_, &out_error_);
        out_fd = -1;
        err_reader_ = std::thread(read_all, err_fd, &err_, &err_error_);
    } catch (const std::system_error &e) {
        if (out_fd >= 0)
            ::close(out_fd);
        ::close(err_fd);
        {
            std::lock_guard<std::mutex> g(lock_);
            ::kill(-pid_, SIGKILL);
        }
        while (!reap_nohang())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        join_readers();
        throw SubProcException(e.code().value());
    }
}

void ChildProcess::read_all(int fd, std::string *text, int *error) {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            text->append(buf, size_t(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            *error = errno;
            break;
        }
    }
    ::close(fd);
}

bool ChildProcess::reap_nohang() {
    std::lock_guard<std::mutex> g(lock_);
    if (reaped_ || pid_ < 0)
        return true;
    if (term_sent_) {
        // Ended on request: while its zombie holds the number, end whatever
        // it left running in its group (and holding its pipes).
        siginfo_t info{};
        if (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_)
            ::kill(-pid_, SIGKILL);
    }
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0)
        return false;
    if (r < 0) {
        if (errno == EINTR)
            return false;
        reaped_ = true;
        code_ = -1;
        throw SubProcException(errno);
    }
    reaped_ = true;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return true;
}

void ChildProcess::terminate() {
    std::lock_guard<std::mutex> g(lock_);
    if (reaped_ || pid_ < 0 || term_sent_)
        return;
    ::kill(-pid_, SIGTERM);
    term_sent_ = true;
    term_at_ = std::chrono::steady_clock::now();
}

void ChildProcess::escalate() {
    std::lock_guard<std::mutex> g(lock_);
    if (reaped_ || !term_sent_ || kill_sent_ || std::chrono::steady_clock::now() - term_at_ < grace)
        return;
    ::kill(-pid_, SIGKILL);
    kill_sent_ = true;
}

void ChildProcess::join_readers() {
    if (out_reader_.joinable())
        out_reader_.join();
    if (err_reader_.joinable())
        err_reader_.join();
}

int ChildProcess::wait() {
    // Polled rather than blocked in waitpid, so that a terminate() from
    // another thread can be followed by the kill after its grace.
    auto step = std::chrono::microseconds(200);
    while (!reap_nohang()) {
        escalate();
        std::this_thread::sleep_for(step);
        if (step < std::chrono::milliseconds(20))
            step *= 2;
    }
    join_readers();
    if (out_error_)
        throw SubProcException(out_error_);
    if (err_error_)
        throw SubProcException(err_error_);
    return code_;
}

bool ChildProcess::finished() { return reap_nohang(); }

ChildProcess::~ChildProcess() {
    try {
        if (!reap_nohang()) {
            terminate();
            while (!reap_nohang()) {
                escalate();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    } catch (const SubProcException &) {
        // Already gone; nothing left to end.
    }
    join_readers();
}

int wiz_run_capture(const std::vector<std::string> &argv, const std::string &dir,
                    const std::vector<std::string> &env, std::string *out, std::string *err) {
    ChildProcess child(argv, dir, env);
    int code = child.wait();
    if (out)
        *out = child.out();
    if (err)
        *err = child.err();
    return code;
}

void WizStop::request() {
    flag_.store(true);
    {
        std::lock_guard<std::mutex> g(lock_);
        if (child_)
            child_->terminate();
    }
    imp_request_stop();
}

void WizStop::set_child(ChildProcess *child) {
    std::lock_guard<std::mutex> g(lock_);
    child_ = child;
    if (child_ && flag_.load())
        child_->terminate();
}
