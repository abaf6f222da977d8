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

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "wizard/wiz_child.h"
#include "wizard/wiz_event.h"

class QObject;
class ImportTask;

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
    struct Pending;
    void loop();
    void send(ImportEvent ev);
    void post(ImportEvent ev);

    QObject *receiver_;
    Handler handler_;
    WizStop stop_;
    std::mutex lock_;
    std::condition_variable cv_;
    bool gate_open_ = false, stopping_ = false, joined_ = false;
    ImportTask *next_ = nullptr;
    std::shared_ptr<Pending> pending_;   // the send the thread waits on
    std::thread thread_;
};
