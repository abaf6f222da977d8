// The import thread's loop and the delivery of its events.
#include "wizard/wiz_thread.h"

#include <QMetaObject>
#include <QObject>

#include "wizard/wiz_error.h"
#include "wizard/wiz_label.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_task.h"

// One sent call: the worker waits until the receiver has run it, or until
// abandon() (the receiver then skips it).
struct WizSender::Pending {
    std::mutex lock;
    std::condition_variable cv;
    bool done = false, abandoned = false;
};

void WizSender::send(std::function<void()> call) {
    auto p = std::make_shared<Pending>();
    {
        std::lock_guard<std::mutex> g(lock_);
        if (abandoned_)
            return;
        pending_ = p;
    }
    QMetaObject::invokeMethod(
        receiver_,
        [p, call = std::move(call)] {
            {
                std::lock_guard<std::mutex> g(p->lock);
                if (p->abandoned)
                    return;
            }
            call();
            std::lock_guard<std::mutex> g(p->lock);
            p->done = true;
            p->cv.notify_all();
        },
        Qt::QueuedConnection);
    {
        std::unique_lock<std::mutex> g(p->lock);
        p->cv.wait(g, [&] { return p->done || p->abandoned; });
    }
    std::lock_guard<std::mutex> g(lock_);
    pending_.reset();
}

void WizSender::post(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (abandoned_)
            return;
    }
    QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

void WizSender::abandon() {
    std::shared_ptr<Pending> p;
    {
        std::lock_guard<std::mutex> g(lock_);
        abandoned_ = true;
        p = pending_;
    }
    if (p) {
        std::lock_guard<std::mutex> g(p->lock);
        p->abandoned = true;
        p->cv.notify_all();
    }
}

ImportThread::ImportThread(QObject *receiver, Handler handler)
    : sender_(receiver), handler_(std::move(handler)) {
    try {
        thread_ = std::thread([this] { loop(); });
    } catch (const std::system_error &e) {
        throw SubProcException(e.code().value());
    }
}

ImportThread::~ImportThread() {
    stop_request();
    stop();
}

void ImportThread::run_thread() {
    std::lock_guard<std::mutex> g(lock_);
    if (gate_open_)
        return;
    wiz_context_hand_to(thread_.get_id(), wiz_context_snapshot());
    gate_open_ = true;
    cv_.notify_all();
}

void ImportThread::start(ImportTask *task) {
    run_thread();
    std::lock_guard<std::mutex> g(lock_);
    stop_.reset();   // a stop asked for before belongs to an earlier request
    next_ = task;
    cv_.notify_all();
}

void ImportThread::stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (joined_)
            return;
        stopping_ = true;
        gate_open_ = true;   // a thread never started still has to end
        cv_.notify_all();
    }
    sender_.abandon();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> g(lock_);
    joined_ = true;
}

void ImportThread::stop_request() { stop_.request(); }

namespace {
// How long routine events are gathered: the page still moves its bar about
// 25 times a second.
constexpr std::chrono::milliseconds GATHER_TIME{40};

bool routine(int kind) { return kind >= ImportEvent::DIRECTORY && kind <= ImportEvent::VERSION_IDENTICAL; }
}   // namespace

void ImportThread::deliver(const ImportEvent &ev) {
    if (!routine(ev.kind)) {
        flush_gathered();
        send(ev);
        return;
    }
    ImportEvent &g = gathered_[ev.kind - ImportEvent::DIRECTORY];
    long total = g.kind == ev.kind ? g.count + ev.count : ev.count;
    g = ev;
    g.count = total;
    if (std::chrono::steady_clock::now() - last_delivery_ >= GATHER_TIME)
        flush_gathered();
}

void ImportThread::flush_gathered() {
    // Directories come before the elements; an element's versions before it.
    for (int kind : {ImportEvent::DIRECTORY, ImportEvent::VERSION, ImportEvent::VERSION_IDENTICAL,
                     ImportEvent::ELEMENT}) {
        ImportEvent &g = gathered_[kind - ImportEvent::DIRECTORY];
        if (g.kind == kind && g.count > 0)
            send(g);
        g = ImportEvent{};
        g.count = 0;
    }
    last_delivery_ = std::chrono::steady_clock::now();
}

void ImportThread::send(const ImportEvent &ev) {
    Handler handler = handler_;
    sender_.send([handler, ev] { handler(ev); });
}

void ImportThread::post(const ImportEvent &ev) {
    Handler handler = handler_;
    sender_.post([handler, ev] { handler(ev); });
}

void ImportThread::loop() {
    {
        std::unique_lock<std::mutex> g(lock_);
        cv_.wait(g, [&] { return gate_open_; });
    }
    for (;;) {
        ImportTask *task = nullptr;
        {
            std::unique_lock<std::mutex> g(lock_);
            cv_.wait(g, [&] { return stopping_ || next_ != nullptr; });
            if (stopping_)
                break;
            task = next_;
            next_ = nullptr;
        }
        ImportEvent start;
        start.kind = ImportEvent::START;
        start.request = task;
        send(start);
        ImportEvent end;
        end.request = task;
        try {
            DynamicContext context(
                wiz_format(IDS_CTX_IMPORTING, {task->source_text(), task->destination_text()}));
            last_delivery_ = std::chrono::steady_clock::now();
            task->run([this](const ImportEvent &ev) { deliver(ev); }, &stop_);
            flush_gathered();
            end.kind = ImportEvent::SUCCEEDED;
        } catch (const VantorException &e) {
            flush_gathered();
            end.kind = ImportEvent::FAILED;
            end.error = std::make_shared<VantorException>(e);
        } catch (const std::exception &e) {
            // Nothing may leave the thread; the page still hears of it.
            flush_gathered();
            end.kind = ImportEvent::FAILED;
            end.error = std::make_shared<VantorException>(VantorException::COMPLETE, e.what());
        }
        post(end);
    }
    wiz_vob_handles_release();
    wiz_context_thread_end();
}
