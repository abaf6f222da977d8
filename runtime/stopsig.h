// Stopping a long run on SIGINT or SIGTERM. The first signal calls request
// (which asks the run to stop at its next safe point), sends SIGTERM to the
// child process group in hand, and writes text on standard error; a second
// one sends that group SIGKILL, removes the files in hand, calls at_second
// (when not null), writes second_text and ends the process at once. request
// and at_second must be async-signal-safe.
//
// The files and the child group are kept in fixed storage, so that the
// handler reads them without allocating or locking: a slot is armed only
// once its path is whole, and disarmed before it changes.
#pragma once

#include <string>
#include <sys/types.h>

struct ks_stop_plan {
    std::string text;   // written by the first signal
    void (*request)() = nullptr;
    void (*at_second)() = nullptr;
    std::string second_text;   // written by the second signal, after the files went
    // The status of a stop at once: 128 + the signal's number when set (the
    // shells' status of a program that a signal ended), else 1.
    bool status_by_signal = false;
    // SIGHUP and SIGPIPE also remove the files in hand and end the child
    // group, then end the process by that signal, silently.
    bool hangup_and_pipe = false;
};

void ks_install_stop_plan(const ks_stop_plan &plan);
// The plan of text, request and at_second alone (status 1 at the second signal).
void ks_install_stop_handlers(const std::string &text, void (*request)(), void (*at_second)());

// The signal that asked the run to stop (SIGINT or SIGTERM), 0 while none did.
int ks_stop_signal();
// Ends the process by sig's default action, now (the shells see it ended by
// the signal; SIGPIPE says nothing). Async-signal-safe.
[[noreturn]] void ks_die_of_signal(int sig);

enum { KS_STOP_FILES = 8 };
// Removes path at a stop at once, until dropped. The slot, or -1 when all
// KS_STOP_FILES are taken or the path is longer than PATH_MAX (then it is
// simply left behind).
int ks_stop_add_file(const std::string &path);
void ks_stop_drop_file(int slot);   // -1 is accepted
// The process group of the child that runs now (0: none).
void ks_stop_set_child(pid_t pgid);
