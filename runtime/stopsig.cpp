// Stop handlers: see stopsig.h.
#include "runtime/stopsig.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// Set before the handlers are installed: a handler only reads them.
std::string g_text, g_second_text;
void (*g_request)() = nullptr;
void (*g_at_second)() = nullptr;
bool g_status_by_signal = false;
volatile std::sig_atomic_t g_signalled = 0;

struct stop_file {
    volatile std::sig_atomic_t armed = 0;
    char path[PATH_MAX + 1] = {};
};
stop_file g_files[KS_STOP_FILES];
volatile std::sig_atomic_t g_child = 0;

void write_text(const std::string &text) {
    if (!text.empty()) {
        [[maybe_unused]] ssize_t n = write(2, text.data(), text.size());
    }
}

void end_child(int sig) {
    pid_t child = pid_t(g_child);
    if (child > 0)
        kill(-child, sig);
}

void remove_files() {
    for (stop_file &f : g_files)
        if (f.armed)
            unlink(f.path);
}

void on_stop_signal(int sig) {
    if (g_signalled) {
        end_child(SIGKILL);
        remove_files();
        if (g_at_second)
            g_at_second();
        write_text(g_second_text);
        _exit(g_status_by_signal ? 128 + sig : 1);
    }
    g_signalled = sig;
    if (g_request)
        g_request();
    end_child(SIGTERM);
    write_text(g_text);
}

void on_fatal_signal(int sig) {
    end_child(SIGKILL);
    remove_files();
    ks_die_of_signal(sig);
}

void handle(int sig, void (*fn)(int)) {
    struct sigaction sa = {};
    sa.sa_handler = fn;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, SIGINT);
    sigaddset(&sa.sa_mask, SIGTERM);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, nullptr);
}

}   // namespace

void ks_install_stop_plan(const ks_stop_plan &plan) {
    g_text = plan.text;
    g_second_text = plan.second_text;
    g_request = plan.request;
    g_at_second = plan.at_second;
    g_status_by_signal = plan.status_by_signal;
    handle(SIGINT, on_stop_signal);
    handle(SIGTERM, on_stop_signal);
    if (plan.hangup_and_pipe) {
        handle(SIGHUP, on_fatal_signal);
        handle(SIGPIPE, on_fatal_signal);
    }
}

void ks_install_stop_handlers(const std::string &text, void (*request)(), void (*at_second)()) {
    ks_stop_plan plan;
    plan.text = text;
    plan.request = request;
    plan.at_second = at_second;
    ks_install_stop_plan(plan);
}

int ks_stop_signal() { return int(g_signalled); }

void ks_die_of_signal(int sig) {
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);
}

int ks_stop_add_file(const std::string &path) {
    if (path.empty() || path.size() > PATH_MAX)
        return -1;
    for (int i = 0; i < KS_STOP_FILES; ++i) {
        stop_file &f = g_files[i];
        if (f.armed)
            continue;
        std::memcpy(f.path, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        f.armed = 1;
        return i;
    }
    return -1;
}

void ks_stop_drop_file(int slot) {
    if (slot >= 0 && slot < KS_STOP_FILES)
        g_files[slot].armed = 0;
}

void ks_stop_set_child(pid_t pgid) { g_child = std::sig_atomic_t(pgid); }
