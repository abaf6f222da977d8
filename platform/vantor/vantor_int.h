// What the commands of vantor share: the parsed command line of one
// command, path resolution and failure reporting; and the commands
// themselves, one file per family. The command table (vantor.cpp) gives each
// command its options and operand count; main parses and checks the words
// against them, so a command runs only on a command line that fits it.
// Every command returns the exit status and reports each failure with a
// message.
#pragma once

#include "platform/store/vob.h"
#include "platform/vantor/vantor_msg.h"
#include "platform/view/pname.h"
#include "platform/view/view.h"

#include <map>
#include <string>
#include <vector>

const imsg_catalog *cat();

// Parsed command line of one command: flags, options with a value, operands.
struct args_t {
    const char *cmd;
    std::map<std::string, int> flags;
    std::map<std::string, std::vector<std::string>> opts;
    std::vector<std::string> ops;
    int bad = 0;
    bool has(const char *f) const { return flags.count(f) != 0; }
    std::string opt(const char *o) const {
        auto it = opts.find(o);
        return it == opts.end() || it->second.empty() ? std::string() : it->second.back();
    }
    // Every value of an option that may be given again, in order.
    std::vector<std::string> all(const char *o) const {
        auto it = opts.find(o);
        return it == opts.end() ? std::vector<std::string>() : it->second;
    }
};

// ---- vantor_args.cpp ---------------------------------------------------------------

// Whether word ("-name" or "--name") is one of names: space-separated option
// words without the "-".
bool option_in(const char *names, const std::string &word);
// flag_names and opt_names as for option_in. Options may stand among the
// operands; "--" makes the words after it operands.
args_t parse(const char *cmd, const std::vector<std::string> &argv, const char *flag_names,
             const char *opt_names);
// Checks the operand count: min..max (max < 0: any).
bool operands(const args_t &a, size_t min, long max, const char *what);
// Resolves a path operand and prints the failure.
bool resolve(const std::string &p, vob_pname *out);
int fail_text(const std::string &msg);
int vob_failed(vob_t *v);
int view_failed(view_t *v);

// ---- vantor_views.cpp: views and their update ------------------------------------------

// The view of a path operand (which may name a version).
bool need_view_of(const char *cmd, const std::string &path, view_t **v);
int cmd_mkview(const args_t &a);
int cmd_rmview(const args_t &a);
int cmd_update(const args_t &a);
int cmd_setcs(const args_t &a);
int cmd_catcs(const args_t &a);
// The registered views: tag and directory, with what each loads (its VOBs
// or its stream); -long: a block per view.
int cmd_lsview(const args_t &a);

// ---- vantor_vobs.cpp: VOBs, types, the check of contents ------------------------------

int cmd_mkvob(const args_t &a);
int cmd_rmvob(const args_t &a);
int cmd_lsvob(const args_t &a);
int cmd_mkbrtype(const args_t &a);
int cmd_mklbtype(const args_t &a);
int cmd_mkattype(const args_t &a);
int cmd_mkhltype(const args_t &a);
int cmd_mkeltype(const args_t &a);
// Reads back every version's contents (vob_check_contents); 1 when one is damaged.
int cmd_check(const args_t &a);

// ---- vantor_listing.cpp: version trees, contents, describe, dump, diff -------------

// The id of a version, "?" when it cannot be read.
std::string ver_id(vob_t *v, vob_oid ver);
// "DATE by USER (NAME), group GROUP, on HOST", each stored text shown as
// show_text gives it.
std::string event_line(const vob_event &e);
// Stored text for a terminal (typename_show_text): bytes that are not UTF-8
// and controls escaped.
std::string show_text(const std::string &s);
// A comment as stored, without the line end it may close with (the
// importers keep a CVS log message's), shown as show_text gives it; "(none)"
// when it is empty.
std::string show_comment(const std::string &c);
int cmd_cat(const args_t &a);
int cmd_describe(const args_t &a);
int cmd_dump(const args_t &a);
int cmd_diff(const args_t &a);

// ---- vantor_vtree.cpp: the version tree of an element ---------------------------------

int cmd_lsvtree(const args_t &a);

// ---- vantor_elements.cpp: elements, checkouts, branches, labels, attributes,
// merges, locks and the contents of versions ---------------------------------------

int cmd_mkelem(const args_t &a);
int cmd_checkout(const args_t &a);
int cmd_checkin(const args_t &a);
int cmd_uncheckout(const args_t &a);
int cmd_mkbranch(const args_t &a);
int cmd_mklabel(const args_t &a);
int cmd_mkattr(const args_t &a);
int cmd_merge(const args_t &a);
int cmd_lock(const args_t &a);
int cmd_unlock(const args_t &a);
int cmd_rmver(const args_t &a);

// ---- vantor_projects.cpp: projects, components, baselines and streams -------------

int cmd_mkproject(const args_t &a);
int cmd_mkcomp(const args_t &a);
int cmd_mkbl(const args_t &a);
int cmd_mkstream(const args_t &a);
int cmd_rebase(const args_t &a);
int cmd_lsproject(const args_t &a);
int cmd_lscomp(const args_t &a);
int cmd_lsbl(const args_t &a);
int cmd_lsstream(const args_t &a);
int cmd_rmproject(const args_t &a);
int cmd_rmstream(const args_t &a);

// What a view of a stream selects, as the stream is now.
struct stream_view {
    std::string name;       // the stream's
    std::string selector;   // "stream:NAME@/pvob", as the view records it
    std::string config_spec;
    std::vector<std::string> scope;   // the components' VOB tags
};
// selector: "[stream:]NAME@/pvob". A failure status with the message in *err
// when the stream cannot be read.
[[nodiscard]] int stream_view_config(const std::string &selector, stream_view *out, std::string *err);
