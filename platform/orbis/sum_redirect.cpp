// The redirector of the SUM_ layer: the message library's redirection of
// the calling thread, kept for a dialog or an exception.
#include "platform/orbis/sum.h"

#include "runtime/imsg.h"

struct SUM_ImsgRedirector::impl {
    imsg_redirect redirect;
};

SUM_ImsgRedirector::SUM_ImsgRedirector() : impl_(std::make_unique<impl>()) {}

SUM_ImsgRedirector::~SUM_ImsgRedirector() = default;

int SUM_ImsgRedirector::count() const { return int(impl_->redirect.messages.size()); }

const std::string &SUM_ImsgRedirector::message(int i) const { return impl_->redirect.messages.at(size_t(i)); }

std::string SUM_ImsgRedirector::text() const {
    std::string t;
    for (int i = 0; i < count(); ++i)
        t += message(i);
    return t;
}
