// The extract worker pool (see imp_pool.h).
#include "platform/import/imp_pool.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <algorithm>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <time.h>
#include <unistd.h>

#include "platform/import/imp_inproc.h"
#include "runtime/strutl.h"

extern char **environ;

namespace {

// The process groups of running commands, for imp_pool_kill_children; a slot
// is claimed by a compare-and-swap from 0, so a signal handler may read them.
std::atomic<pid_t> g_groups[IMP_POOL_MAX_WORKERS * 2];
// Spawns under way (from before the halt check to the claim of the slot), and
// the halt that imp_pool_kill_children sets so that no more begin.
std::atomic<int> g_spawning{0}, g_halt{0};

int claim_slot(pid_t pid) {
    for (int i = 0; i < IMP_POOL_MAX_WORKERS * 2; ++i) {
        pid_t free_slot = 0;
        if (g_groups[i].compare_exchange_strong(free_slot, pid))
            return i;
    }
    return -1;
}

// Registers a started command's group; kills it at once when the pool stops.
void enter_group(imp_pool *pool, pid_t pid) {
    if (!pool)
        return;
    std::lock_guard<std::mutex> g(pool->lock);
    if (pool->stopping)
        kill(-pid, SIGKILL);
    else
        pool->running.insert(pid);
}

void leave_group(imp_pool *pool, pid_t pid) {
    if (!pool)
        return;
    std::lock_guard<std::mutex> g(pool->lock);
    pool->running.erase(pid);
}

// Spawns /bin/sh -c command in a process group of its own, with stdin from
// /dev/null and stderr into a pipe, of which the first `limit` bytes are kept
// in *err_text. Returns the wait status, or -1 with errno set when it cannot
// be started.
int run_shell(const std::string &command, size_t limit, std::string *err_text, imp_pool *pool) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    // The importer's handlers must not be inherited as ignored or blocked.
    sigset_t none, dflt;
    sigemptyset(&none);
    sigemptyset(&dflt);
    sigaddset(&dflt, SIGINT);
    sigaddset(&dflt, SIGTERM);
    sigaddset(&dflt, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &dflt);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const char *argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    g_spawning++;
    int rc = g_halt ? ECANCELED
                    : posix_spawn(&pid, "/bin/sh", &fa, &attr, const_cast<char *const *>(argv), environ);
    int slot = rc == 0 ? claim_slot(pid) : -1;
    g_spawning--;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        errno = rc;
        return -1;
    }
    enter_group(pool, pid);
    // Drain the pipe to its end so the command never blocks on a full pipe.
    char buf[4096];
    for (;;) {
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (err_text->size() < limit)
            err_text->append(buf, std::min(size_t(n), limit - err_text->size()));
    }
    close(fds[0]);
    // The group is forgotten before the shell is reaped, while its pid cannot
    // yet name another process.
    siginfo_t info;
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    leave_group(pool, pid);
    if (slot >= 0)
        g_groups[slot].store(0);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

void worker_loop(imp_pool *pool) {
    for (;;) {
        std::pair<long, imp_extract_job> item;
        {
            std::unique_lock<std::mutex> g(pool->lock);
            pool->work_ready.wait(g, [pool] { return pool->stopping || !pool->pending.empty(); });
            if (pool->stopping)
                return;
            item = std::move(pool->pending.front());
            pool->pending.pop_front();
        }
        imp_fetch_result res;
        if (item.second.batch)
            imp_rcs_batch_run(item.second.batch.get(), pool->keep_files, pool);
        else
            imp_run_job(item.second, pool->keep_files, &res, pool);
        {
            std::lock_guard<std::mutex> g(pool->lock);
            pool->done[item.first] = std::move(res);
        }
        pool->job_done.notify_all();
    }
}

}   // namespace

int imp_pool_default_workers(std::string *warning) {
    long ncpu = sysconf(_SC_NPROCESSORS_ONLN);
    long max = IMP_POOL_MAX_WORKERS;
    int fallback = ncpu > 0 ? int(ncpu < max ? ncpu : max) : 1;
    const char *env = std::getenv("VANTOR_IMPORT_JOBS");
    if (!env || !*env)
        return fallback;
    long n = 0;
    if (!strutl_strtol(env, 10, &n) || n < 1 || n > IMP_POOL_MAX_WORKERS) {
        *warning = "VANTOR_IMPORT_JOBS=\"" + std::string(env) + "\" is not a number from 1 to " +
                   std::to_string(int(IMP_POOL_MAX_WORKERS)) + "; using " + std::to_string(fallback);
        return fallback;
    }
    return int(n);
}

void imp_run_job(const imp_extract_job &job, bool keep_files, imp_fetch_result *out, imp_pool *pool) {
    (void)keep_files;
    *out = imp_fetch_result();
    if (job.mode == IMP_EXTRACT_LEAF_IN_DIR && mkdir(job.work_dir.c_str(), 0700) != 0) {
        out->status = 1;
        out->message = "cannot create the directory \"" + job.work_dir + "\": " + std::strerror(errno);
        return;
    }
    std::string text;
    int status = run_shell(job.command, 2000, &text, pool);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (status == -1) {
        out->status = 1;
        out->message = "cannot run /bin/sh for the command " + job.command + ": " + std::strerror(errno);
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out->status = 1;
        out->message = WIFEXITED(status)
                           ? "the command exited with status " + std::to_string(WEXITSTATUS(status))
                           : "the command was killed by signal " + std::to_string(WTERMSIG(status));
        out->message += ": " + job.command;
        if (!text.empty())
            out->message += "\n" + text;
    } else {
        struct stat st;
        if (stat(job.out_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            out->status = 1;
            out->message =
                "the command did not write its output file \"" + job.out_path + "\": " + job.command;
        }
    }
}

imp_pool::~imp_pool() { imp_pool_stop(this); }

int imp_pool_start(imp_pool *pool, int workers, bool keep_files, std::string *why) {
    pool->keep_files = keep_files;
    pool->stopping = false;
    if (workers < 1)
        workers = 1;
    // The workers block SIGINT and SIGTERM, so that a handler of the caller's
    // runs in the caller's thread, never in a worker inside a spawn.
    sigset_t stop_signals, old;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &old);
    for (int i = 0; i < workers; ++i) {
        try {
            pool->workers.emplace_back(worker_loop, pool);
        } catch (const std::system_error &e) {
            *why = "cannot start worker thread " + std::to_string(i + 1) + " of " + std::to_string(workers) +
                   ": " + e.what();
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return int(pool->workers.size());
}

long imp_pool_submit(imp_pool *pool, imp_extract_job job) {
    long ticket;
    {
        std::lock_guard<std::mutex> g(pool->lock);
        ticket = pool->next_ticket++;
        pool->pending.emplace_back(ticket, std::move(job));
    }
    pool->work_ready.notify_one();
    return ticket;
}

int imp_pool_wait(imp_pool *pool, long ticket, imp_fetch_result *out) {
    std::unique_lock<std::mutex> g(pool->lock);
    // A signal handler cannot notify the condition, so the flag is polled.
    while (!pool->done.count(ticket)) {
        if (pool->cancelled && pool->cancelled())
            return 1;
        pool->job_done.wait_for(g, std::chrono::milliseconds(50));
    }
    *out = std::move(pool->done[ticket]);
    pool->done.erase(ticket);
    return 0;
}

int imp_pool_done_within(imp_pool *pool, long ticket, int ms) {
    std::unique_lock<std::mutex> g(pool->lock);
    return pool->job_done.wait_for(g, std::chrono::milliseconds(ms),
                                   [&] { return pool->done.count(ticket) > 0; })
               ? 1
               : 0;
}

int imp_pool_stopping(imp_pool *pool) {
    std::lock_guard<std::mutex> g(pool->lock);
    return pool->stopping ? 1 : 0;
}

void imp_pool_stop(imp_pool *pool) {
    {
        std::lock_guard<std::mutex> g(pool->lock);
        pool->stopping = true;
        pool->pending.clear();
        for (pid_t pid : pool->running)
            kill(-pid, SIGKILL);
    }
    pool->work_ready.notify_all();
    for (std::thread &t : pool->workers)
        if (t.joinable())
            t.join();
    pool->workers.clear();
    pool->done.clear();
}

void imp_pool_kill_children() {
    // No spawn begins after the halt; the ones under way get their slots
    // (waited for up to a second, in case this runs inside one).
    g_halt = 1;
    for (int i = 0; i < 1000 && g_spawning.load() > 0; ++i) {
        timespec ms = {0, 1000000};
        nanosleep(&ms, nullptr);
    }
    for (std::atomic<pid_t> &g : g_groups) {
        pid_t pid = g.load();
        if (pid > 0)
            kill(-pid, SIGKILL);
    }
}
