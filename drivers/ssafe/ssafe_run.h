// Running the SourceSafe client. Every command is a child process started
// with an argument vector, never through a shell, so that names from the
// database reach `ss` as they are whatever characters they hold. The
// redirections that the command formats spell are made here: the output
// file (-O, or standard output for `about`), the standard-error file, and
// five newlines on standard input, which answer any prompt for a user name
// or password with empty lines instead of leaving the client waiting.
#pragma once

#include <string>
#include <vector>

// Status 1 is the client's "found nothing" (no items, no checkouts): an
// answer, not a failure.
enum { SSAFE_STATUS_NOTHING = 1 };

struct ssafe_redirect {
    std::string out;   // standard output into this file; "" inherits it
    std::string err;   // standard error into this file; "" inherits it
};

// Runs the client found at start-up with args (after its name). 0 when it
// ran and ended with status 0 or 1 (*status says which); -1 otherwise,
// with *why saying what happened (for entry 3).
[[nodiscard]] int ssafe_run(const std::vector<std::string> &args, const ssafe_redirect &r, int *status,
                            std::string *why);
// The command as a message shows it: ss, then the arguments, those holding
// blanks or quotes in double quotes.
std::string ssafe_command_text(const std::vector<std::string> &args);
// A fresh temporary file for output (made, closed, its name returned). 0,
// or 1 after the shared temporary-file message.
[[nodiscard]] int ssafe_tmpfile(std::string *name);
// Runs ss with args, whose argument "-O" is completed with the name of a
// fresh temporary file, and reads that whole file, line ends kept; the file
// is deleted. As ssafe_run, and *text is "" when the file could not be read
// (*why then says why); *command is the command's text for messages. 1
// after the temporary-file message.
// With err, the client's standard error goes to a second temporary file
// and is read into *err instead of reaching the user.
[[nodiscard]] int ssafe_capture(const std::vector<std::string> &args, std::string *text, int *status,
                                std::string *why, std::string *command, std::string *err = nullptr);
// ssafe_capture of "ss <cmd> -I- -O<tmp> <rest...>" that must succeed: 0;
// 1 after entry 3 (the command could not run, failed, or its output could
// not be read) or after the temporary-file message.
[[nodiscard]] int ssafe_query(const std::string &cmd, const std::vector<std::string> &rest,
                              std::string *text);
// The line at *pos without its line end ("\r\n" or "\n"), *pos moved past
// it; false at the end of the text.
bool ssafe_next_line(const std::string &text, size_t *pos, std::string *line);
// The first line of a text without its line end ("" when there is none).
std::string ssafe_first_line(const std::string &text);
// Reads a whole file; false when it cannot be opened or read.
bool ssafe_read_file(const std::string &path, std::string *text);
