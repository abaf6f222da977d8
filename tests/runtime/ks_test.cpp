// Memory exhaustion: the new-handler of ks_system_init reports it in one
// line and ends the process with status 1.
#include <gtest/gtest.h>

#include <fstream>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/imsg.h"
#include "runtime/ks.h"
#include "tests/common/testutil.h"

namespace {

// The address space in use now, in bytes.
rlim_t address_space() {
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
}

// In a child whose stdout and stderr both go to one pipe: a notice, then
// allocations without bound under a limit. Returns what the child wrote and
// its wait status.
std::string exhaust_in_child(bool nothrow, int *status) {
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        ks_system_init();   // stdout is a pipe: fully buffered from here
        imsg_set_app_name("/opt/bin/vantexport_rcs");
        imsg_printf(IMSG_NOTICE, "walking\n");
        rlim_t limit = address_space() + (rlim_t(256) << 20);
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_AS, &rl);
        try {
            for (;;) {
                char *p = nothrow ? new (std::nothrow) char[1 << 24] : new char[1 << 24];
                if (!p)
                    _exit(3);   // nothrow new gave up instead of ending the process
                p[0] = 1;
            }
        } catch (...) {
            _exit(4);   // new threw: the child must not go on into the test runner
        }
    }
    close(fds[1]);
    std::string got;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, size_t(n));
    close(fds[0]);
    waitpid(pid, status, 0);
    return got;
}

TEST(Ks, MemoryExhaustionIsReportedInOneLineAndEndsWithStatusOne) {
#ifdef TESTUTIL_UNDER_ASAN
    // It also reports a failed allocation itself, before any new-handler.
    GTEST_SKIP() << "address-space limits break AddressSanitizer";
#endif
    for (bool nothrow : {false, true}) {
        int status = 0;
        std::string got = exhaust_in_child(nothrow, &status);
        ASSERT_TRUE(WIFEXITED(status)) << "nothrow " << nothrow << ", status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 1) << "nothrow " << nothrow;
        // The buffered notice goes out first, then the one line.
        EXPECT_EQ(got, "walking\nvantexport_rcs: Error: Unable to allocate memory.\n")
            << "nothrow " << nothrow;
    }
}

}   // namespace
