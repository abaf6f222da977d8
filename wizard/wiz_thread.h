// The import thread: runs the progress page's requests one after the other
// and delivers their events on the page's (the receiver's) thread.
//
// Events 0 to 8 are sent: the thread waits until the handler has run, so the
// page sees the request while the thread leaves it alone. Events 9 and 10
// are posted: after them the thread touches the request no more and waits
// for the next one, which the page gives it only from those handlers.
//
// Invariants: the thread does nothing before its start gate opens, and the
// gate opens only after the creator's description stack was handed to it.
// A send the thread waits on is abandoned when stop() is called, so that a
// page that stops the thread from its own thread never waits for a thread
// that waits for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "wizard/wiz_child.h"
#include "wizard/wiz_event.h"

class QObject;
class ImportTask;

// Runs calls on a receiver's (a page's) thread for a worker thread. send()
// waits until the call has run there, or until abandon() gives up on it;
// post() does not wait. After abandon() nothing more is run. Shared by the
// import and the project threads. The state a queued call needs outlives
// the sender, since the call may run after the sender is gone.
class WizSender {
public:
    explicit WizSender(QObject *receiver) : receiver_(receiver) {}
    WizSender(const WizSender &) = delete;
    WizSender &operator=(const WizSender &) = delete;
    void send(std::function<void()> call);
    void post(std::function<void()> call);
    // Called by the thread that owns the worker, before it joins it.
    void abandon();

private:
    struct Pending;
    QObject *receiver_;
    std::mutex lock_;
    bool abandoned_ = false;
    std::shared_ptr<Pending> pending_;   // the send the worker waits on
};

class ImportThread {
public:
    using Handler = std::function<void(const ImportEvent &)>;

    // Creates the thread, held at its start gate.
    ImportThread(QObject *receiver, Handler handler);
    // Asks a running request to stop, then stops the thread.
    ~ImportThread();
    ImportThread(const ImportThread &) = delete;
    ImportThread &operator=(const ImportThread &) = delete;

    // Hands the calling thread's description stack to the thread and opens
    // its gate (once; start() does it when it has not been done).
    void run_thread();
    // Runs the request next (the thread must be idle: the first request, or
    // from the handler of event 9 or 10).
    void start(ImportTask *task);
    // Ends the loop (after the running request) and joins the thread.
    void stop();
    // Asks the running request to stop: its exporter is ended, its import
    // stops after the element in hand, and it fails with its own message.
    void stop_request();

private:
    void loop();
    // A routine event (5 to 8) is gathered; any other first delivers what
    // was gathered, then is sent.
    void deliver(const ImportEvent &ev);
    void flush_gathered();
    void send(const ImportEvent &ev);
    void post(const ImportEvent &ev);

    WizSender sender_;
    Handler handler_;
    WizStop stop_;
    std::mutex lock_;
    std::condition_variable cv_;
    bool gate_open_ = false, stopping_ = false, joined_ = false;
    ImportTask *next_ = nullptr;
    // The routine events gathered since the last delivery (the import
    // thread's own), by kind 5 to 8; a gathered event's count is its total.
    ImportEvent gathered_[4];
    std::chrono::steady_clock::time_point last_delivery_;
    std::thread thread_;
};
