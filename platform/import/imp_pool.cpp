// The extract worker pool (see imp_pool.h).
#include "platform/import/imp_pool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <algorithm>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/strutl.h"

extern char **environ;

namespace {

// Spawns /bin/sh -c command with stdin from /dev/null and stderr into a pipe,
// of which the first `limit` bytes are kept in *err_text. Returns the wait
// status, or -1 with errno set when it cannot be started.
int run_shell(const std::string &command, size_t limit, std::string *err_text) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
    const char *argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, "/bin/sh", &fa, nullptr, const_cast<char *const *>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        errno = rc;
        return -1;
    }
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
        imp_run_job(item.second, pool->keep_files, &res);
        {
            std::lock_guard<std::mutex> g(pool->lock);
            pool->done[item.first] = std::move(res);
        }
        pool->job_done.notify_all();
    }
}

} // namespace

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

void imp_run_job(const imp_extract_job &job, bool keep_files, imp_fetch_result *out) {
    (void)keep_files;
    *out = imp_fetch_result();
    if (job.mode == IMP_EXTRACT_LEAF_IN_DIR && mkdir(job.work_dir.c_str(), 0700) != 0) {
        out->status = 1;
        out->message = "cannot create the directory \"" + job.work_dir + "\": " + std::strerror(errno);
        return;
    }
    std::string text;
    int status = run_shell(job.command, 2000, &text);
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
            out->message = "the command did not write its output file \"" + job.out_path + "\": " + job.command;
        }
    }
}

void imp_pool_start(imp_pool *pool, int workers, bool keep_files) {
    pool->keep_files = keep_files;
    pool->stopping = false;
    if (workers < 1)
        workers = 1;
    for (int i = 0; i < workers; ++i)
        pool->workers.emplace_back(worker_loop, pool);
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

void imp_pool_wait(imp_pool *pool, long ticket, imp_fetch_result *out) {
    std::unique_lock<std::mutex> g(pool->lock);
    pool->job_done.wait(g, [&] { return pool->done.count(ticket) != 0; });
    *out = std::move(pool->done[ticket]);
    pool->done.erase(ticket);
}

void imp_pool_stop(imp_pool *pool) {
    {
        std::lock_guard<std::mutex> g(pool->lock);
        pool->stopping = true;
        pool->pending.clear();
    }
    pool->work_ready.notify_all();
    for (std::thread &t : pool->workers)
        t.join();
    pool->workers.clear();
    pool->done.clear();
}
