// The error log file and its viewer.
#include "wizard/wiz_log.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "runtime/fileutl.h"
#include "runtime/tbs.h"
#include "wizard/wiz_child.h"
#include "wizard/wiz_error.h"
#include "wizard/wiz_strings.h"
#include "wizard/wiz_ui.h"

extern char **environ;

namespace {

const char HYPHENS[] = "------------------------------------------------------------------------------------";

// Each line starts with two blanks; a text that does not end its last line
// gets a line end, so that the next heading starts a line of its own.
std::string indented(const std::string &text) {
    std::string out;
    bool at_start = true;
    for (char c : text) {
        if (at_start)
            out += "  ";
        at_start = c == '\n';
        out += c;
    }
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    return out;
}

int write_all(int fd, const char *p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += w;
        n -= size_t(w);
    }
    return 0;
}

// Written line by line: a line is in the file once it has ended.
int write_lines(int fd, const std::string &text) {
    size_t from = 0;
    while (from < text.size()) {
        size_t nl = text.find('\n', from);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        if (int err = write_all(fd, text.data() + from, end - from))
            return err;
        from = end;
    }
    return 0;
}

void reap_in_background(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}   // namespace

ErrorLog::~ErrorLog() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!path_.empty())
        (void)fileutl_rm(path_.c_str());
}

// A fresh temporary file, renamed to end in ".txt" so that a desktop opener
// knows it for text; the descriptor is taken before the rename so that it
// is the file that was made.
bool ErrorLog::open_file() {
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string tmp;
        if (fileutl_tmpfile_ext(nullptr, 0, 0, &tmp) != 0)
            return false;
        int fd = ::open(tmp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            (void)fileutl_rm(tmp.c_str());
            return false;
        }
        std::string txt = tmp + ".txt";
        int err = fileutl_rename_noreplace(tmp.c_str(), txt.c_str());
        if (err == 0) {
            fd_ = fd;
            path_ = txt;
            return true;
        }
        ::close(fd);
        (void)fileutl_rm(tmp.c_str());
        if (err != EEXIST)
            return false;
    }
    return false;
}

std::string ErrorLog::record(const VantorException &e) {
    std::string r = std::string(wiz_string(IDS_LOG_MESSAGE)) + "\n";
    if (e.status() != 0 && e.status() != VantorException::COMPLETE)
        r += tbs_strerror(e.status()) + "\n";
    r += indented(e.message());
    r += std::string(wiz_string(IDS_LOG_CONTEXT)) + "\n";
    r += indented(e.context_text());
    r += std::string(HYPHENS) + "\n\n";
    return r;
}

bool ErrorLog::append(const VantorException &e) {
    if (path_.empty() && !open_file())
        return false;
    if (fd_ < 0)
        return false;
    return write_lines(fd_, record(e)) == 0;
}

std::string ErrorLog::editor() {
    for (const char *name : {"WINEDITOR", "VISUAL", "EDITOR"}) {
        const char *v = std::getenv(name);
        // A value of blanks names no program: look further.
        if (v && std::strspn(v, " \t") < std::strlen(v))
            return v;
    }
    return wiz_string(IDS_STOCK_EDITOR);
}

// The editor's words (a value like "emacsclient -n" carries options), split
// as every command line of the wizard is, then the file as one argument of
// its own: no shell sees either.
std::vector<std::string> ErrorLog::editor_argv(const std::string &editor, const std::string &file) {
    std::vector<std::string> argv = wiz_split_command_line(editor);
    argv.push_back(file);
    return argv;
}

void ErrorLog::show(WizUi *ui) const {
    if (path_.empty())
        return;
    std::string ed = editor();
    std::vector<std::string> words = editor_argv(ed, path_);
    int err = 0;
    if (words.size() < 2) {
        err = ENOENT;
    } else {
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        // Its own process group, so that a signal meant for the wizard's
        // group leaves the editor alone; no signal blocked by our threads.
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
        pid_t pid = 0;
        err = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), environ);
        posix_spawnattr_destroy(&attr);
        if (err == 0)
            reap_in_background(pid);
    }
    if (err != 0 && ui)
        ui->message_box(wiz_box::WARNING,
                        wiz_format(IDS_EDITOR_FAILED, {path_, ed, std::string(std::strerror(err))}));
}
