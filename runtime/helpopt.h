// Whether a command line asks for help: one rule for every front end.
//
// "-h" or "--help" asks for help wherever the program accepts an option,
// never as the value of an option that takes one, never after "--".
//
// A word is an option when it begins with "-" and is longer than "-" (the
// rule of the option-word parser, clp.h); "--" ends the options and is not
// one. An option that takes a value takes the next word whatever it looks
// like ("-c -h" is the comment "-h"); a word the program does not know as an
// option takes none. Where options stand is the program's:
// - HELPOPT_BEFORE_OPERANDS: before the first operand, which ends them (a
//   program that refuses an option after an operand);
// - HELPOPT_AMONG_OPERANDS: anywhere before "--" (a program that reads
//   options among its operands, or does not look at the words after them).
#pragma once

#include "runtime/clp.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

enum helpopt_where { HELPOPT_BEFORE_OPERANDS, HELPOPT_AMONG_OPERANDS };

// words: the command line without the program name. takes_value(word) is
// asked of options only.
bool helpopt_requested(const std::vector<std::string> &words, helpopt_where where,
                       const std::function<bool(const std::string &)> &takes_value);

// The same over argv[1..argc-1] of a program with an option-word table: an
// option takes a value when the id of the entry it matches is in value_ids.
bool helpopt_requested(int argc, const char *const argv[], const clp_option *table,
                       std::initializer_list<int> value_ids, helpopt_where where);
