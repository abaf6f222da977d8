// getopt: clusters, arguments, errors, restarts and no permutation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/getopt.h"
#include "runtime/imsg.h"
#include "tests/common/testutil.h"

namespace {

// argv built from literals, with the trailing null that main() gets.
struct Argv {
    explicit Argv(std::vector<std::string> words) : words_(std::move(words)) {
        for (auto &w : words_)
            ptrs_.push_back(w.data());
        ptrs_.push_back(nullptr);
    }
    int argc() const { return int(words_.size()); }
    char **argv() { return ptrs_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char *> ptrs_;
};

// Runs getopt to the end: "r", "o=file", "?x" entries, then the operands.
std::vector<std::string> run(Argv &a, const char *optstring) {
    std::vector<std::string> got;
    int c;
    while ((c = nt_getopt(a.argc(), a.argv(), optstring)) != -1) {
        std::string item(1, char(c));
        if (c == '?' || c == ':')
            item += char(nt_optopt);
        else if (nt_optarg)
            item += "=" + std::string(nt_optarg);
        got.push_back(item);
    }
    for (int i = nt_optind; i < a.argc(); ++i)
        got.push_back("@" + std::string(a.argv()[i]));
    return got;
}

class Getopt : public ::testing::Test {
protected:
    void SetUp() override {
        imsg_set_app_name("prog");
        nt_getopt_reset();
        nt_opterr = 1;
    }
    testutil::ImsgCapture cap;
};

using V = std::vector<std::string>;

TEST_F(Getopt, ClustersAttachedAndDetachedArguments) {
    Argv a({"prog", "-rL", "-ofile", "-o", "next", "-rt", "T", "-v3", "op"});
    EXPECT_EQ(run(a, "rLo:t:v:"), (V{"r", "L", "o=file", "o=next", "r", "t=T", "v=3", "@op"}));
    EXPECT_EQ(cap.err(), "");
}

TEST_F(Getopt, StopsAtFirstOperandAndAtDoubleDash) {
    Argv a({"prog", "-r", "file", "-L"});
    EXPECT_EQ(run(a, "rL"), (V{"r", "@file", "@-L"}));
    nt_getopt_reset();
    Argv b({"prog", "-r", "--", "-L"});
    EXPECT_EQ(run(b, "rL"), (V{"r", "@-L"}));
    nt_getopt_reset();
    Argv c({"prog", "-", "-r"});   // a lone "-" is an operand
    EXPECT_EQ(run(c, "r"), (V{"@-", "@-r"}));
    nt_getopt_reset();
    Argv d({"prog", "-o", "--", "-r"});   // "--" as an option argument is just text
    EXPECT_EQ(run(d, "o:r"), (V{"o=--", "r"}));
}

TEST_F(Getopt, UnknownLettersAndMissingArgumentsAreReported) {
    Argv a({"prog", "-xr", "-o"});
    EXPECT_EQ(run(a, "ro:"), (V{"?x", "r", "?o"}));
    EXPECT_EQ(cap.err(),
              "prog: Error: illegal option -- x\n"
              "prog: Error: option requires an argument -- o\n");
    EXPECT_EQ(cap.out(), "");
}

TEST_F(Getopt, ColonPrefixAndOpterrSilenceMessages) {
    Argv a({"prog", "-x", "-o"});
    EXPECT_EQ(run(a, ":o:"), (V{"?x", ":o"}));
    nt_getopt_reset();
    nt_opterr = 0;
    Argv b({"prog", "-x", "-o"});
    EXPECT_EQ(run(b, "o:"), (V{"?x", "?o"}));
    EXPECT_EQ(cap.err(), "");
    nt_getopt_reset();
    Argv c({"prog", "-:"});   // ':' is never an option letter
    EXPECT_EQ(run(c, ":o:"), (V{"?:"}));
}

TEST_F(Getopt, RestartsBetweenPassesAndMidCluster) {
    Argv a({"prog", "-rLs", "-o", "f", "x"});
    V full{"r", "L", "s", "o=f", "@x"};
    EXPECT_EQ(run(a, "rLso:"), full);
    nt_optind = 1;   // second pass over the same words, the way callers restart
    EXPECT_EQ(run(a, "rLso:"), full);

    nt_optind = 1;
    EXPECT_EQ(nt_getopt(a.argc(), a.argv(), "rLso:"), 'r');
    nt_optind = 1;   // restart in the middle of the cluster
    EXPECT_EQ(run(a, "rLso:"), full);

    nt_optind = 1;
    EXPECT_EQ(nt_getopt(a.argc(), a.argv(), "rLso:"), 'r');
    nt_getopt_reset();
    EXPECT_EQ(run(a, "rLso:"), full);

    // A different vector with the same position is a new parse as well.
    nt_optind = 1;
    EXPECT_EQ(nt_getopt(a.argc(), a.argv(), "rLso:"), 'r');
    Argv b({"prog", "-s", "y"});
    nt_optind = 1;
    EXPECT_EQ(run(b, "rLso:"), (V{"s", "@y"}));
}

TEST_F(Getopt, EmptyVectorAndNoOptions) {
    Argv a({"prog"});
    EXPECT_EQ(run(a, "r"), V{});
    EXPECT_EQ(nt_optind, 1);
    nt_getopt_reset();
    Argv b({"prog", "a", "b"});
    EXPECT_EQ(run(b, "r"), (V{"@a", "@b"}));
}

}   // namespace
