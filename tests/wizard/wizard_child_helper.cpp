// A child for the wizard's process tests. Modes (the first argument):
//   args A...      prints each further argument as "<length>:<bytes>\n"
//   stdin          reads its input to the end, prints the byte count
//   env NAME       prints the variable's value and the working directory
//   exit N         writes "err" to stderr and exits with status N
//   sleep FILE     starts a grandchild, writes both pids to FILE, sleeps
//   stubborn FILE  the same, ignoring SIGTERM
// Invoked under another name (a link named like an exporter), it behaves as
// "args" with all its arguments.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static void print_args(int from, int argc, char **argv) {
    for (int i = from; i < argc; ++i)
        std::printf("%zu:%s\n", std::strlen(argv[i]), argv[i]);
}

static int sleeper(const char *file, bool stubborn) {
    if (stubborn)
        signal(SIGTERM, SIG_IGN);
    pid_t kid = fork();
    if (kid == 0) {
        for (;;)
            pause();
    }
    std::string tmp = std::string(file) + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return 1;
    std::fprintf(f, "%ld %ld\n", long(getpid()), long(kid));
    std::fclose(f);
    std::rename(tmp.c_str(), file);
    for (;;)
        pause();
}

int main(int argc, char **argv) {
    std::string self = argv[0];
    if (self.find("vantexport_") != std::string::npos) {
        print_args(1, argc, argv);
        return 0;
    }
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "args") {
        print_args(2, argc, argv);
    } else if (mode == "stdin") {
        long n = 0;
        while (std::getchar() != EOF)
            ++n;
        std::printf("%ld\n", n);
    } else if (mode == "env" && argc > 2) {
        const char *v = std::getenv(argv[2]);
        char cwd[4096];
        std::printf("%s\n%s\n", v ? v : "<unset>", getcwd(cwd, sizeof cwd) ? cwd : "?");
    } else if (mode == "exit" && argc > 2) {
        std::fputs("err", stderr);
        return std::atoi(argv[2]);
    } else if ((mode == "sleep" || mode == "stubborn") && argc > 2) {
        return sleeper(argv[2], mode == "stubborn");
    } else {
        return 99;
    }
    return 0;
}
