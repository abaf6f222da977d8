#include "runtime/stopsig.h"

#include <csignal>
#include <unistd.h>

namespace {

// Set before the handlers are installed: a handler only reads them.
std::string g_text;
void (*g_request)() = nullptr;
void (*g_at_second)() = nullptr;
volatile std::sig_atomic_t g_signalled = 0;

void on_stop_signal(int) {
    if (g_signalled) {
        if (g_at_second)
            g_at_second();
        _exit(1);
    }
    g_signalled = 1;
    if (g_request)
        g_request();
    [[maybe_unused]] ssize_t n = write(2, g_text.data(), g_text.size());
}

}   // namespace

void ks_install_stop_handlers(const std::string &text, void (*request)(), void (*at_second)()) {
    g_text = text;
    g_request = request;
    g_at_second = at_second;
    struct sigaction sa = {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}
