// What the wizard is doing, and what went wrong.
//
// Every thread has a stack of descriptions ("importing from A to B",
// "running export command: ..."): a DynamicContext pushes one for its
// lifetime. A VantorException raised meanwhile takes a snapshot of the
// stack, so that the log says not only what failed but during what.
//
// Invariants: the map of stacks and every stack in it are touched only under
// one process-wide lock; a thread touches only its own stack, except that a
// thread's creator sets the new thread's stack (a copy of its own) before the
// thread runs anything (wiz_context_hand_to). DynamicContext objects nest on
// one thread (scoped objects), so the back of the stack is always the
// innermost description.
#pragma once

#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <thread>

using wiz_context_stack = std::deque<std::string>;

class DynamicContext {
public:
    explicit DynamicContext(const std::string &description);
    virtual ~DynamicContext();
    DynamicContext(const DynamicContext &) = delete;
    DynamicContext &operator=(const DynamicContext &) = delete;
};

// A copy of the calling thread's stack.
wiz_context_stack wiz_context_snapshot();
// Sets the stack of a thread that has not begun its work (its creator holds
// it at a start gate) to a copy of `stack`.
void wiz_context_hand_to(std::thread::id thread, const wiz_context_stack &stack);
// Forgets the calling thread's stack; a thread calls it as it ends.
void wiz_context_thread_end();

// The context text of a snapshot: one line per description, the outermost
// first, the Nth line (from 0) indented by N blanks, each ending in "\n".
std::string wiz_context_text(const wiz_context_stack &stack);

// A failure of a library call, a child process or the wizard's own work.
// status: a status of the product's libraries, or 1001 for a failure whose
// message says everything (child processes, the view's set-up).
class VantorException : public std::exception {
public:
    enum { COMPLETE = 1001 };
    // The snapshot is the calling thread's context at construction.
    VantorException(int status, std::string message);
    explicit VantorException(int status);
    // With the messages a redirector caught as the message.
    VantorException(int status, const class SUM_ImsgRedirector &captured);
    VantorException(const VantorException &other);
    VantorException &operator=(const VantorException &other);
    ~VantorException() override;

    int status() const { return status_; }
    const std::string &message() const { return message_; }
    const char *what() const noexcept override { return message_.c_str(); }
    bool has_snapshot() const { return snapshot_ != nullptr; }
    const wiz_context_stack *snapshot() const { return snapshot_.get(); }
    // Computed from the snapshot on first use ("" without one).
    const std::string &context_text() const;
    const std::string &innermost() const;

private:
    int status_ = 0;
    std::string message_;
    std::unique_ptr<wiz_context_stack> snapshot_;
    mutable std::unique_ptr<std::string> context_text_, innermost_;
};

// A failed process, pipe or thread call: the system's error code (errno).
class SubProcException : public std::exception {
public:
    explicit SubProcException(int error) : error_(error) {}
    int error() const { return error_; }
    const char *what() const noexcept override;

private:
    int error_;
};

