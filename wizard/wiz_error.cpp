// Description stacks, the wizard's exceptions and the message redirector.
#include "wizard/wiz_error.h"

#include "platform/orbis/sum.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "runtime/imsg.h"

namespace {

// The process-wide lock over the map and every stack in it.
std::mutex &stacks_lock() {
    static std::mutex m;
    return m;
}

std::map<std::thread::id, wiz_context_stack> &stacks() {
    static std::map<std::thread::id, wiz_context_stack> m;
    return m;
}

}   // namespace

DynamicContext::DynamicContext(const std::string &description) {
    std::lock_guard<std::mutex> g(stacks_lock());
    stacks()[std::this_thread::get_id()].push_back(description);
}

DynamicContext::~DynamicContext() {
    std::lock_guard<std::mutex> g(stacks_lock());
    wiz_context_stack &s = stacks()[std::this_thread::get_id()];
    if (!s.empty())
        s.pop_back();
}

wiz_context_stack wiz_context_snapshot() {
    std::lock_guard<std::mutex> g(stacks_lock());
    auto it = stacks().find(std::this_thread::get_id());
    return it == stacks().end() ? wiz_context_stack() : it->second;
}

void wiz_context_hand_to(std::thread::id thread, const wiz_context_stack &stack) {
    std::lock_guard<std::mutex> g(stacks_lock());
    stacks()[thread] = stack;
}

void wiz_context_thread_end() {
    std::lock_guard<std::mutex> g(stacks_lock());
    stacks().erase(std::this_thread::get_id());
}

std::string wiz_context_text(const wiz_context_stack &stack) {
    std::string text;
    size_t depth = 0;
    for (const std::string &d : stack) {
        text.append(depth++, ' ');
        text += d;
        text += '\n';
    }
    return text;
}

VantorException::VantorException(int status, std::string message)
    : status_(status),
      message_(std::move(message)),
      snapshot_(std::make_unique<wiz_context_stack>(wiz_context_snapshot())) {}

VantorException::VantorException(int status) : VantorException(status, std::string()) {}

VantorException::VantorException(int status, const SUM_ImsgRedirector &captured)
    : VantorException(status, captured.text()) {}

VantorException::VantorException(const VantorException &other)
    : std::exception(other),
      status_(other.status_),
      message_(other.message_),
      snapshot_(other.snapshot_ ? std::make_unique<wiz_context_stack>(*other.snapshot_) : nullptr) {}

VantorException &VantorException::operator=(const VantorException &other) {
    if (this != &other) {
        status_ = other.status_;
        message_ = other.message_;
        snapshot_ = other.snapshot_ ? std::make_unique<wiz_context_stack>(*other.snapshot_) : nullptr;
        context_text_.reset();
        innermost_.reset();
    }
    return *this;
}

VantorException::~VantorException() = default;

const std::string &VantorException::context_text() const {
    if (!context_text_)
        context_text_ =
            std::make_unique<std::string>(snapshot_ ? wiz_context_text(*snapshot_) : std::string());
    return *context_text_;
}

const std::string &VantorException::innermost() const {
    if (!innermost_)
        innermost_ = std::make_unique<std::string>(snapshot_ && !snapshot_->empty() ? snapshot_->back()
                                                                                    : std::string());
    return *innermost_;
}

const char *SubProcException::what() const noexcept { return std::strerror(error_); }

