// The error log: every failure the wizard reports is appended, with the
// descriptions that were active when it happened, to one temporary text
// file that the failure pages open in an editor ("Show Log").
//
// Invariants: the file exists from the first appended error until the log is
// destroyed (which deletes it); its descriptor is close-on-exec, so no child
// (an exporter, the editor) holds it open; each line reaches the file as soon
// as it ends. Only the GUI thread appends, so there is no lock.
#pragma once

#include <string>
#include <vector>

class VantorException;
class WizUi;

class ErrorLog {
public:
    ErrorLog() = default;
    ~ErrorLog();
    ErrorLog(const ErrorLog &) = delete;
    ErrorLog &operator=(const ErrorLog &) = delete;

    // Appends one record; false when the file cannot be made or written
    // (the error then goes unlogged: the user has seen it already).
    bool append(const VantorException &e);
    // "" until the first error.
    const std::string &path() const { return path_; }

    // Opens the log in the user's editor without waiting for it; a warning
    // box (string 213) when the editor cannot be started. Nothing happens
    // while there is no log.
    void show(WizUi *ui) const;

    // The editor: WINEDITOR, VISUAL or EDITOR (the first set), else the
    // stock one; and the arguments it is started with for a file.
    static std::string editor();
    static std::vector<std::string> editor_argv(const std::string &editor, const std::string &file);
    // The record as append writes it.
    static std::string record(const VantorException &e);

private:
    bool open_file();
    std::string path_;
    int fd_ = -1;
};
