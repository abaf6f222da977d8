// Stopping a long run on SIGINT or SIGTERM. The first signal calls request
// (which asks the run to stop at its next safe point) and writes text on
// standard error; a second one calls at_second (when not null) and ends the
// process with status 1 at once. request and at_second must be
// async-signal-safe.
#pragma once

#include <string>

void ks_install_stop_handlers(const std::string &text, void (*request)(), void (*at_second)());
