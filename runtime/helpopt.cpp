// Whether a command line asks for help (helpopt.h states the rule).
#include "runtime/helpopt.h"

#include <algorithm>

static bool is_option(const std::string &w) { return w.size() > 1 && w[0] == '-'; }

bool helpopt_requested(const std::vector<std::string> &words, helpopt_where where,
                       const std::function<bool(const std::string &)> &takes_value) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string &w = words[i];
        if (w == "--")
            return false;
        if (!is_option(w)) {
            if (where == HELPOPT_BEFORE_OPERANDS)
                return false;
            continue;
        }
        if (w == "-h" || w == "--help")
            return true;
        if (takes_value(w))
            ++i;
    }
    return false;
}

bool helpopt_requested(int argc, const char *const argv[], const clp_option *table,
                       std::initializer_list<int> value_ids, helpopt_where where) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    return helpopt_requested(words, where, [&](const std::string &w) {
        return std::find(value_ids.begin(), value_ids.end(), clp_find_option(table, w)) != value_ids.end();
    });
}
