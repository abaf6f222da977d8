// What the commands of vantor share: the parsed command line of one command,
// the operand checks, path resolution and failure reporting; and the commands
// themselves, one file per family. Every command returns the exit status.
#pragma once

#include "platform/store/vob.h"
#include "platform/vantor/vantor_msg.h"
#include "platform/view/pname.h"
#include "platform/view/view.h"

#include <map>
#include <string>
#include <vector>

const imsg_catalog *cat();

int fail_text(const std::string &msg);

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
};

// flag_names and opt_names: space-separated option words without the "-".
args_t parse(const char *cmd, const std::vector<std::string> &argv, const char *flag_names,
             const char *opt_names);
// Checks the operand count: min..max (max < 0: any).
bool operands(const args_t &a, size_t min, long max, const char *what);
// Resolves a path operand and prints the failure.
bool resolve(const args_t &a, const std::string &p, vob_pname *out);
int vob_failed(vob_t *v);
int view_failed(view_t *v);

// vantor_views.cpp: the view of a path operand (which may name a version).
bool need_view_of(const char *cmd, const std::string &path, view_t **v);
// vantor_listing.cpp: the id of a version, "?" when it cannot be read.
std::string ver_id(vob_t *v, vob_oid ver);

// vantor_vobs.cpp: VOBs and types.
int cmd_mkvob(const std::vector<std::string> &argv);
int cmd_rmvob(const std::vector<std::string> &argv);
int cmd_lsvob(const std::vector<std::string> &argv);
int cmd_mkbrtype(const std::vector<std::string> &argv);
int cmd_mklbtype(const std::vector<std::string> &argv);
int cmd_mkattype(const std::vector<std::string> &argv);
int cmd_mkhltype(const std::vector<std::string> &argv);
int cmd_mkeltype(const std::vector<std::string> &argv);
// vantor_views.cpp: views and their update.
int cmd_mkview(const std::vector<std::string> &argv);
int cmd_rmview(const std::vector<std::string> &argv);
int cmd_update(const std::vector<std::string> &argv);
int cmd_setcs(const std::vector<std::string> &argv);
int cmd_catcs(const std::vector<std::string> &argv);
// vantor_listing.cpp: version trees, contents, describe, dump, diff.
int cmd_lsvtree(const std::vector<std::string> &argv);
int cmd_cat(const std::vector<std::string> &argv);
int cmd_describe(const std::vector<std::string> &argv);
int cmd_dump(const std::vector<std::string> &argv);
int cmd_diff(const std::vector<std::string> &argv);
// vantor_elements.cpp: elements, checkouts, branches, labels, attributes,
// merges, locks and contents of versions.
int cmd_mkelem(const std::vector<std::string> &argv);
int cmd_checkout(const std::vector<std::string> &argv);
int cmd_checkin(const std::vector<std::string> &argv);
int cmd_uncheckout(const std::vector<std::string> &argv);
int cmd_mkbranch(const std::vector<std::string> &argv);
int cmd_mklabel(const std::vector<std::string> &argv);
int cmd_mkattr(const std::vector<std::string> &argv);
int cmd_merge(const std::vector<std::string> &argv);
int cmd_lock(const std::vector<std::string> &argv);
int cmd_unlock(const std::vector<std::string> &argv);
int cmd_rmver(const std::vector<std::string> &argv);
