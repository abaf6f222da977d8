// A pool of worker threads, each running one extract command at a time as a
// /bin/sh child process, so that contents are fetched ahead while the caller
// writes the VOB in data-file order.
//
// Jobs start in the order they were submitted; the caller collects each result
// by its ticket. A job succeeds when its shell exits with status 0 and its
// output file exists as a regular file. The start of each command's standard
// error is kept (through a pipe) and quoted in the failure message.
//
// Each shell runs in a process group of its own, so that a terminal's Ctrl-C
// reaches only the importer, which then ends the groups of the running
// commands itself (imp_pool_stop, or imp_pool_kill_children from a signal
// handler). Every started thread is joined by imp_pool_stop, which the
// destructor calls too, so no path out of the caller leaves one running.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "platform/import/imp_extract.h"

enum { IMP_POOL_MAX_WORKERS = 256 };

struct imp_fetch_result {
    int status = 0;        // 0: the contents are in the job's out_path
    std::string message;   // the failure, naming the command
};

struct imp_pool {
    std::mutex lock;
    std::condition_variable work_ready;   // workers wait on it
    std::condition_variable job_done;     // the collector waits on it
    std::deque<std::pair<long, imp_extract_job>> pending;
    std::map<long, imp_fetch_result> done;
    std::set<pid_t> running;   // process groups of the running commands
    std::vector<std::thread> workers;
    long next_ticket = 0;
    bool stopping = false;
    bool keep_files = false;   // debug: the caller keeps the output files
    // Polled by imp_pool_wait; nonzero makes it give up waiting. May be null.
    int (*cancelled)() = nullptr;

    imp_pool() = default;
    imp_pool(const imp_pool &) = delete;
    imp_pool &operator=(const imp_pool &) = delete;
    ~imp_pool();
};

// The number of workers: VANTOR_IMPORT_JOBS when it is a number from 1 to 256,
// else the number of CPUs. A value that is set but unusable gives *warning.
int imp_pool_default_workers(std::string *warning);

// Starts up to `workers` threads (at least one is asked for). Returns how many
// run; when a thread cannot be started, *why tells what failed and the pool
// keeps the ones it has.
int imp_pool_start(imp_pool *pool, int workers, bool keep_files, std::string *why);
long imp_pool_submit(imp_pool *pool, imp_extract_job job);
// Blocks until the job of that ticket has run; its result is handed out once.
// Returns 0 with *out set, or 1 when pool->cancelled said stop first (the
// ticket is then abandoned).
int imp_pool_wait(imp_pool *pool, long ticket, imp_fetch_result *out);
// 1 when the job of that ticket has run, waiting up to `ms` for it (the
// result stays for imp_pool_wait).
int imp_pool_done_within(imp_pool *pool, long ticket, int ms);
// 1 once imp_pool_stop was called (for a job of many commands to end early).
int imp_pool_stopping(imp_pool *pool);
// Drops the jobs not yet started, kills the process groups of the running
// commands, joins the workers. Safe to call more than once.
void imp_pool_stop(imp_pool *pool);
// Async-signal-safe: kills the process groups of all commands that pools of
// this process are running, and starts no more (for a handler that ends the
// process at once). Worker threads block SIGINT and SIGTERM.
void imp_pool_kill_children();
// Runs one job in the calling thread (also what each worker does). pool may be
// null; when given, the command's process group is registered in it while it runs.
void imp_run_job(const imp_extract_job &job, bool keep_files, imp_fetch_result *out,
                 imp_pool *pool = nullptr);
