// The help rule of every front end: -h or --help where an option may stand,
// not as an option's value, not after "--".
#include "runtime/helpopt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum { OPT_DIR = 1, OPT_COMMENT = 2, OPT_VERBOSE = 3 };
const clp_option table[] = {
    {"-d[irectory]", OPT_DIR, 0},
    {"-c[omment]", OPT_COMMENT, 0},
    {"-v[erbose]", OPT_VERBOSE, 0},
    {nullptr, -1, 0},
};

bool asks(std::vector<std::string> words, helpopt_where where) {
    std::vector<const char *> argv = {"prog"};
    for (const std::string &w : words)
        argv.push_back(w.c_str());
    return helpopt_requested(int(argv.size()), argv.data(), table, {OPT_DIR, OPT_COMMENT}, where);
}

TEST(HelpOpt, OneRuleForEveryFrontEnd) {
    const helpopt_where B = HELPOPT_BEFORE_OPERANDS, A = HELPOPT_AMONG_OPERANDS;
    struct help_case {
        std::vector<std::string> words;
        bool before, among;   // what each placement of options answers
    };
    const help_case cases[] = {
        {{}, false, false},
        {{"-h"}, true, true},
        {{"--help"}, true, true},
        {{"-v", "-x", "-h"}, true, true},            // after an unknown option too
        {{"-d", "dir", "-h", "file"}, true, true},   // after an option's value
        {{"-c", "-h", "file"}, false, false},        // the value of -c
        {{"-comm", "--help"}, false, false},         // an abbreviated -c[omment]
        {{"-v", "-h"}, true, true},                  // -v takes no value
        {{"-x", "-h"}, true, true},                  // nor does an unknown option
        {{"file", "-h"}, false, true},
        {{"file", "-c", "-h"}, false, false},
        {{"--", "-h"}, false, false},
        {{"-v", "--", "file", "--help"}, false, false},
        {{"-", "-h"}, false, true},   // "-" alone is an operand
        {{"-help"}, false, false},    // not a way of asking
        {{"-c"}, false, false},       // a value missing at the end
    };
    for (const help_case &c : cases) {
        std::string line;
        for (const std::string &w : c.words)
            line += w + " ";
        EXPECT_EQ(asks(c.words, B), c.before) << "before operands: " << line;
        EXPECT_EQ(asks(c.words, A), c.among) << "among operands: " << line;
    }
}

}   // namespace
