// Child processes of the wizard (the exporters), and the stop request that
// can end them.
//
// A command line is split into arguments by the Windows quoting rules and
// the program is started without a shell, so no character of a path is ever
// interpreted. The child runs in its own process group with three pipes: its
// standard input reads end of file at once, its standard output and error are
// collected by two reader threads.
//
// Invariants: the child is reaped only under the object's lock, and signals
// are sent to its group only under that lock and only before it is reaped,
// so a signal never reaches a process that merely reuses the number. Each
// reader thread owns its text until wait() (or the destructor) joins it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The arguments of a command line by the Windows rules: blanks and tabs
// separate; double quotes group (and may start or end inside an argument);
// 2n backslashes before a quote give n and the quote toggles the grouping,
// 2n+1 give n and a literal quote; "" inside a quoted run gives a literal
// quote; other backslashes are literal.
std::vector<std::string> wiz_split_command_line(const std::string &command_line);

class ChildProcess {
public:
    // Starts the program (searched along PATH when it has no "/") in dir
    // ("" for ours) with our environment plus env (NAME=VALUE, replacing a
    // variable of that name). Raises SubProcException(errno).
    ChildProcess(const std::string &command_line, const std::string &dir,
                 const std::vector<std::string> &env = {});
    ChildProcess(const std::vector<std::string> &argv, const std::string &dir,
                 const std::vector<std::string> &env = {});
    // A child still running is ended (terminate, then killed after the
    // grace); the readers are joined.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Waits for the end and for both readers: the exit code, 128 + the
    // number of a signal that ended it. Raises SubProcException when a wait
    // or a read failed.
    int wait();
    // Whether the process has ended (it is reaped then).
    bool finished();
    // Asks the child's group to end (SIGTERM); wait() kills the group should
    // it still run after the grace. Safe from any thread.
    void terminate();

    pid_t pid() const { return pid_; }
    // The collected texts; complete once wait() has returned.
    const std::string &out() const { return out_; }
    const std::string &err() const { return err_; }

    static constexpr std::chrono::milliseconds grace{2000};

private:
    void start(const std::vector<std::string> &argv, const std::string &dir,
               const std::vector<std::string> &env);
    bool reap_nohang();
    void escalate();
    void join_readers();
    static void read_all(int fd, std::string *text, int *error);

    pid_t pid_ = -1;
    std::mutex lock_;
    bool reaped_ = false;
    int code_ = -1;
    bool term_sent_ = false, kill_sent_ = false;
    std::chrono::steady_clock::time_point term_at_;
    std::thread out_reader_, err_reader_;
    std::string out_, err_;
    int out_error_ = 0, err_error_ = 0;
};

// Runs argv in dir with env added and waits: the exit code; the two streams
// into out and err when they are not null. Raises SubProcException.
int wiz_run_capture(const std::vector<std::string> &argv, const std::string &dir,
                    const std::vector<std::string> &env, std::string *out, std::string *err);

// A stop request shared by the GUI and the running request. The request
// registers its child while it runs, so that a stop ends it at once; the
// import library is asked to stop too. The running code clears the import
// library's request (imp_clear_stop) before each import.
class WizStop {
public:
    void request();
    bool requested() const { return flag_.load(); }
    // Forgets a request (before the next run).
    void reset() { flag_.store(false); }
    // The child of the running export, null when there is none. A child
    // registered after a stop was requested is ended at once.
    void set_child(ChildProcess *child);

private:
    std::atomic<bool> flag_{false};
    std::mutex lock_;
    ChildProcess *child_ = nullptr;
};
