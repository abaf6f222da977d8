// A pool of worker threads, each running one extract command at a time as a
// /bin/sh child process, so that contents are fetched ahead while the caller
// writes the VOB in data-file order.
//
// Jobs start in the order they were submitted; the caller collects each result
// by its ticket. A job succeeds when its shell exits with status 0 and its
// output file exists as a regular file. The start of each command's standard
// error is kept (through a pipe) and quoted in the failure message.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/import/imp_extract.h"

enum { IMP_POOL_MAX_WORKERS = 256 };

struct imp_fetch_result {
    int status = 0;            // 0: the contents are in the job's out_path
    std::string message;       // the failure, naming the command
};

struct imp_pool {
    std::mutex lock;
    std::condition_variable work_ready;   // workers wait on it
    std::condition_variable job_done;     // the collector waits on it
    std::deque<std::pair<long, imp_extract_job>> pending;
    std::map<long, imp_fetch_result> done;
    std::vector<std::thread> workers;
    long next_ticket = 0;
    bool stopping = false;
    bool keep_files = false;   // debug: the caller keeps the output files
};

// The number of workers: VANTOR_IMPORT_JOBS when it is a number from 1 to 256,
// else the number of CPUs. A value that is set but unusable gives *warning.
int imp_pool_default_workers(std::string *warning);

void imp_pool_start(imp_pool *pool, int workers, bool keep_files);
long imp_pool_submit(imp_pool *pool, imp_extract_job job);
// Blocks until the job of that ticket has run; its result is handed out once.
void imp_pool_wait(imp_pool *pool, long ticket, imp_fetch_result *out);
// Drops the jobs not yet started, waits for the running ones, joins the workers.
void imp_pool_stop(imp_pool *pool);
// Runs one job in the calling thread (also what each worker does).
void imp_run_job(const imp_extract_job &job, bool keep_files, imp_fetch_result *out);
