// The extract worker pool (see imp_pool.h).
#include "platform/import/imp_pool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/strutl.h"

extern char **environ;

namespace {

// The first part of a side file, for a failure message.
std::string read_head(const std::string &path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string s(limit, '\0');
    in.read(s.data(), std::streamsize(limit));
    s.resize(size_t(in.gcount()));
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

// Spawns /bin/sh -c command with stdin from /dev/null and stderr into err_path.
// Returns the wait status, or -1 with errno set when it cannot be started.
int run_shell(const std::string &command, const std::string &err_path) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const char *argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, "/bin/sh", &fa, nullptr, const_cast<char *const *>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
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
    *out = imp_fetch_result();
    std::string err_path;
    if (job.mode == IMP_EXTRACT_LEAF_IN_DIR) {
        if (mkdir(job.work_dir.c_str(), 0700) != 0) {
            out->status = 1;
            out->message = "cannot create the directory \"" + job.work_dir + "\": " + std::strerror(errno);
            return;
        }
        err_path = job.work_dir + ".stderr";
    } else {
        err_path = job.out_path + ".stderr";
    }
    int status = run_shell(job.command, err_path);
    if (status == -1) {
        out->status = 1;
        out->message = "cannot run /bin/sh for the command " + job.command + ": " + std::strerror(errno);
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out->status = 1;
        out->message = WIFEXITED(status)
                           ? "the command exited with status " + std::to_string(WEXITSTATUS(status))
                           : "the command was killed by signal " + std::to_string(WTERMSIG(status));
        out->message += ": " + job.command;
        std::string text = read_head(err_path, 2000);
        if (!text.empty())
            out->message += "\n" + text;
    } else {
        struct stat st;
        if (stat(job.out_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            out->status = 1;
            out->message = "the command did not write its output file \"" + job.out_path + "\": " + job.command;
        }
    }
    if (!keep_files)
        unlink(err_path.c_str());
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
