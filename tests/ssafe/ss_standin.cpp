// A stand-in for the SourceSafe client `ss`, answering dir, about, paths,
// history and status, and setting the working project (cp), from the fixture
// database that SSDB names (or ssdb.json of the SSDIR folder), in the forms
// README.md of this folder gives. Lines end in "\r\n". Status 0 for an answer,
// 1 for an answer that found nothing, 100 for an error (message on stderr,
// and nothing written to the -O file).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tests/ssafe/ssafe_db.h"

namespace {

using ssdb::Db;
using ssdb::Entry;
using ssdb::File;
using ssdb::Place;

constexpr int OK = 0, NOTHING = 1, ERR = 100;

struct Args {
    std::string command;
    std::string out_file;   // empty: standard output
    bool projects_only = false;
    int from_version = 0;   // -V~N
    int count = 0;          // -#N: at most N entries of a history; 0 for all
    std::vector<std::string> paths;
};

// What a command prints, with its status; written out only when it is not an error.
struct Answer {
    std::string text;
    int status = OK;
    void line(const std::string &s) { text += s + "\r\n"; }
};

int fail(const std::string &what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    return ERR;
}

bool env_on(const char *name) {
    const char *v = std::getenv(name);
    return v && *v && std::string(v) != "0";
}

void log_run(int argc, char **argv) {
    const char *log = std::getenv("SS_STANDIN_LOG");
    if (!log || !*log)
        return;
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? "\t" : "") + std::string(argv[i]);
    if (FILE *f = std::fopen(log, "ab")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool parse_args(int argc, char **argv, Args *a, std::string *err) {
    if (argc < 2) {
        *err = "ss: no command";
        return false;
    }
    a->command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "-I-" || s == "-I-Y" || s == "-I-N")
            continue;
        if (s.rfind("-O", 0) == 0 && s.size() > 2)
            a->out_file = s.substr(2);
        else if (s == "-F-")
            a->projects_only = true;
        else if (s.rfind("-V~", 0) == 0) {
            char *end = nullptr;
            long v = std::strtol(s.c_str() + 3, &end, 10);
            if (s.size() == 3 || *end || v < 1 || v > 1000000) {
                *err = "Invalid version: " + s.substr(3);
                return false;
            }
            a->from_version = static_cast<int>(v);
        } else if (s.rfind("-#", 0) == 0) {
            if (!ssdb::parse_digits(s.substr(2), 6, &a->count) || a->count < 1) {
                *err = "Invalid number of items: " + s.substr(2);
                return false;
            }
        } else if (s.size() > 1 && s[0] == '-') {
            *err = "Invalid option: " + s;
            return false;
        } else
            a->paths.push_back(s);
    }
    return true;
}

// "8/07/02" -> "07/8/02" when dates are printed day first.
std::string show_date(const std::string &d, bool dayfirst) {
    size_t a = d.find('/'), b = a == std::string::npos ? a : d.find('/', a + 1);
    if (!dayfirst || b == std::string::npos)
        return d;
    return d.substr(a + 1, b - a - 1) + "/" + d.substr(0, a) + d.substr(b);
}

std::string pad_left(const std::string &s, size_t w) {
    return s.size() >= w ? s : std::string(w - s.size(), ' ') + s;
}
std::string pad_right(const std::string &s, size_t w) {
    return s.size() >= w ? s : s + std::string(w - s.size(), ' ');
}

std::string listing_name(const Place &p) {
    std::string name = ssdb::leaf_of(p.path);
    return p.pin ? name + ";" + std::to_string(p.pin) : name;
}

int cmd_dir(const Db &db, const Args &a, Answer *out) {
    std::string path = a.paths.empty() ? db.current : a.paths[0];
    if (const Place *p = ssdb::find_place(db, path); p && !p->deleted) {
        out->line(listing_name(*p));
        return OK;
    }
    if (!ssdb::is_project(db, path))
        return fail(path + " is not an existing filename or project");
    std::string proj = ssdb::norm_project(path);
    std::vector<std::string> names;
    std::string prefix = proj == "$/" ? "$/" : proj + "/";
    for (const auto &sub : db.project_set)
        if (sub != proj && sub.rfind(prefix, 0) == 0 && sub.find('/', prefix.size()) == std::string::npos)
            names.push_back("$" + sub.substr(prefix.size()));
    if (!a.projects_only) {
        std::vector<std::string> files;
        for (const auto &p : db.places)
            if (!p.deleted && ssdb::parent_of(p.path) == proj)
                files.push_back(listing_name(p));
        std::sort(files.begin(), files.end());
        names.insert(names.end(), files.begin(), files.end());
    }
    out->line(proj + ":");
    if (names.empty()) {
        out->line("No items found under " + proj);
        return NOTHING;
    }
    for (const auto &n : names)
        out->line(n);
    out->line("");
    out->line(std::to_string(names.size()) + " item(s)");
    return OK;
}

// One file of the paths tree at an indentation, then its branches a level deeper.
void paths_tree(const Db &db, const File &f, size_t indent, const std::string &queried, Answer *out,
                int depth) {
    std::string pad(indent, ' ');
    std::string name;
    for (const auto &p : db.places)
        if (p.file == f.id) {
            name = ssdb::leaf_of(p.path);
            break;
        }
    out->line(pad + name + (f.branch_of.empty() ? "" : " (at version " + std::to_string(f.at_version) + ")"));
    for (const auto &p : db.places) {
        if (p.file != f.id)
            continue;
        std::string lead = pad;
        if (p.path == queried && !lead.empty())
            lead[0] = '>';
        std::string line = lead + ssdb::parent_of(p.path);
        if (p.deleted)
            line += "   (" + ssdb::leaf_of(p.path) + " is deleted in this project)";
        out->line(line);
    }
    if (depth < 64)
        for (const File *b : ssdb::branches_of(db, f.id))
            paths_tree(db, *b, indent + 2, queried, out, depth + 1);
}

int cmd_paths(const Db &db, const Args &a, Answer *out) {
    if (a.paths.empty())
        return fail("ss paths: no path");
    const Place *p = ssdb::find_place(db, a.paths[0]);
    if (!p)
        return fail(a.paths[0] + " is not an existing filename");
    const File *f = ssdb::find_file(db, p->file);
    for (int depth = 0; f && !f->branch_of.empty() && depth < 64; ++depth)
        f = ssdb::find_file(db, f->branch_of);
    out->line("Showing development paths for " + p->path + "...");
    out->line("");
    paths_tree(db, *f, 2, p->path, out, 0);
    return OK;
}

void history_entry(const Entry &e, bool dayfirst, Answer *out) {
    if (e.version)
        out->line("*****************  Version " + pad_right(std::to_string(e.version), 3) +
                  " *****************");
    else
        out->line("**********************");
    if (!e.label.empty())
        out->line("Label: \"" + e.label + "\"");
    out->line("User: " + pad_right(e.user, 12) + " Date: " + pad_left(show_date(e.date, dayfirst), 8) +
              "   Time: " + pad_left(e.time, 6));
    out->line(e.action);
    for (const auto &l : e.lines)
        out->line(l);
    auto multi = [&](const std::string &head, const std::string &text) {
        std::string s = text;
        for (size_t at = 0; (at = s.find('\n', at)) != std::string::npos; at += 2)
            s.replace(at, 1, "\r\n");
        out->line(head + s);
    };
    if (!e.comment.empty())
        multi("Comment: ", e.comment);
    if (!e.label_comment.empty())
        multi("Label comment: ", e.label_comment);
    out->line("");
}

// A project's history: the numbered entries of the files placed in it
// (not below it), newest first, each under the file's leaf name.
int project_history(const Db &db, const Args &a, bool dayfirst, Answer *out) {
    std::string proj = ssdb::norm_project(a.paths[0]);
    struct Dated {
        ssdb::Ymd when;
        std::string leaf;
        const Entry *e;
    };
    std::vector<Dated> all;
    for (const auto &p : db.places)
        if (!p.deleted && ssdb::parent_of(p.path) == proj)
            for (const Entry &e : ssdb::find_file(db, p.file)->entries)
                if (e.version) {
                    ssdb::Ymd when;
                    (void)ssdb::parse_entry_date(e.date, &when);
                    all.push_back({when, ssdb::leaf_of(p.path), &e});
                }
    std::stable_sort(all.begin(), all.end(), [](const Dated &x, const Dated &y) { return x.when > y.when; });
    if (a.count && all.size() > size_t(a.count))
        all.resize(size_t(a.count));
    out->line("History of " + proj + " ...");
    out->line("");
    for (const Dated &d : all) {
        out->line("*****  " + d.leaf + "  *****");
        out->line("Version " + std::to_string(d.e->version));
        out->line("User: " + pad_right(d.e->user, 12) + " Date: " +
                  pad_left(show_date(d.e->date, dayfirst), 8) + "   Time: " + pad_left(d.e->time, 6));
        out->line(d.e->action);
        out->line("");
    }
    return OK;
}

int cmd_history(const Db &db, const Args &a, bool dayfirst, Answer *out) {
    if (a.paths.empty())
        return fail("ss history: no path");
    if (ssdb::is_project(db, a.paths[0]))
        return project_history(db, a, dayfirst, out);
    std::string path = a.paths[0];
    std::string date;
    if (size_t semi = path.find(";d"); semi != std::string::npos) {
        date = path.substr(semi + 2);
        path.resize(semi);
    }
    ssdb::Ymd until;
    if (!date.empty() && !ssdb::parse_filter_date(date, &until))
        return fail("Invalid date string: \"" + date + "\"");
    const Place *p = ssdb::find_place(db, path);
    if (!p || p->deleted)
        return fail(path + " is not an existing filename");
    const File &f = *ssdb::find_file(db, p->file);

    // Oldest first: from the first numbered entry at or above -V~N, up to the
    // first numbered entry above the pin (the labels put on the pinned
    // version stay), or every entry up to the date.
    size_t from = 0, to = f.entries.size();
    if (a.from_version) {
        from = to;
        for (size_t i = 0; i < f.entries.size(); ++i)
            if (f.entries[i].version >= a.from_version) {
                from = i;
                break;
            }
    }
    if (p->pin && date.empty())
        for (size_t i = 0; i < f.entries.size(); ++i)
            if (f.entries[i].version > p->pin) {
                to = i;
                break;
            }
    out->line("History of " + path + " ...");
    out->line("");
    for (size_t i = to; i-- > from;) {
        const Entry &e = f.entries[i];
        ssdb::Ymd when;
        if (!date.empty() && ssdb::parse_entry_date(e.date, &when) && when > until)
            continue;
        history_entry(e, dayfirst, out);
    }
    return OK;
}

// Sets the working project and keeps it in the database file, so that the
// next run sees it, as the client keeps it for the user.
int cmd_cp(const Db &db, const std::string &db_path, const Args &a) {
    if (a.paths.empty())
        return fail("ss cp: no project");
    if (!ssdb::is_project(db, a.paths[0]))
        return fail(a.paths[0] + " is not an existing project");
    std::string err;
    if (!ssdb::save_current(db_path, ssdb::norm_project(a.paths[0]), &err))
        return fail("ss: " + err);
    return OK;
}

int cmd_status(const Db &db, const Args &a, Answer *out) {
    if (a.paths.empty())
        return fail("ss status: no path");
    const std::string &path = a.paths[0];
    if (!ssdb::find_place(db, path) && !ssdb::is_project(db, path))
        return fail(path + " is not an existing filename or project");
    auto it = db.checkouts.find(path);
    if (it == db.checkouts.end() || it->second.empty()) {
        out->line("No checked out files found.");
        return NOTHING;
    }
    for (const auto &l : it->second)
        out->line(l);
    return OK;
}

bool ask_password() {
    std::fprintf(stderr, "Password:");
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    return !answer.empty();
}

bool write_out(const std::string &file, const std::string &text) {
    if (file.empty())
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    FILE *f = std::fopen(file.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}   // namespace

int main(int argc, char **argv) {
    log_run(argc, argv);
    if (env_on("SS_STANDIN_PASSWORD") && !ask_password())
        return fail("\nInvalid password");
    Args a;
    std::string err;
    if (!parse_args(argc, argv, &a, &err))
        return fail(err);

    Answer out;
    int status;
    if (a.command == "about") {
        const char *path = std::getenv("SSDB");
        Db db;
        if (path && *path && !ssdb::load_db(path, &db, &err))
            return fail("ss: " + err);
        out.line(db.about);
        out.line("Copyright");
        status = OK;
    } else {
        std::string path = ssdb::db_path_from_env();
        if (path.empty())
            return fail("ss: SSDB names no database");
        Db db;
        if (!ssdb::load_db(path, &db, &err))
            return fail("ss: " + err);
        bool dayfirst = env_on("SS_STANDIN_DAYFIRST");
        if (a.command == "dir")
            status = cmd_dir(db, a, &out);
        else if (a.command == "paths")
            status = cmd_paths(db, a, &out);
        else if (a.command == "history")
            status = cmd_history(db, a, dayfirst, &out);
        else if (a.command == "status")
            status = cmd_status(db, a, &out);
        else if (a.command == "cp")
            status = cmd_cp(db, path, a);
        else
            return fail("Unknown command: " + a.command);
    }
    if (status == ERR)
        return status;
    if (!write_out(a.out_file, out.text))
        return fail("ss: cannot write " + (a.out_file.empty() ? std::string("standard output") : a.out_file));
    return status;
}
