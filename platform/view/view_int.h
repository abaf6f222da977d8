// Internals shared by the view_*.cpp files; nothing outside them includes this.
//
// Files and their layers (each calls only the ones before it, never back):
//   view_cspec.cpp   config spec parsing
//   view_meta.cpp    view.json, loaded.txt and its journal, the view lock
//   view_make.cpp    making, opening, closing, removing views; VOB handles
//   view_config.cpp  config spec, load scope and stream of an open view; views loading a VOB
//   view_lookup.cpp  a path in the view to VOB, element, version
//   view_walk.cpp    the names a rule selects; the directories above VOB roots
//   view_file.cpp    one loaded file: copying a version out, recording it
//   view_update.cpp  loading the scope by the config spec, hijack detection
//   view_elem.cpp    mkelem, checkout, checkin, uncheckout through the view
//   view_diff.cpp    comparing what the view selects with a directory tree
//
// Invariants:
// - view_t mirrors view.json (tag, cspec, rules, scopes, stream) and, once
//   loaded_read is set, loaded.txt with loaded.journal replayed on top.
// - A record in `loaded` is true: its path holds that version with that
//   size and mtime (files), or is a directory update made. A record is
//   dropped (journal "-" line) before its file is replaced or removed, and
//   written (journal "+" line) only once the new file is in place, so a
//   process killed at any point leaves records that still hold.
// - Whatever changes the view's files or metadata runs under view_lock (an
//   flock of .vantor_view/view.lock), which first re-reads the metadata, so
//   no change is made from a copy another process has since replaced.
#pragma once

#include "platform/view/view.h"
#include "platform/store/vob.h"
#include "platform/store/vob_msg.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

inline constexpr const char *VIEW_META_DIR = ".vantor_view";

// What update loaded at a path (relative to the view root).
struct loaded_rec {
    std::string vob;
    vob_oid elem = 0, ver = 0;
    int dir = 0;
    int64_t size = 0, mtime_ns = 0;
};

struct view_t {
    std::string root, tag, err, cspec;
    std::string stream;   // the stream followed, "" for none
    std::vector<vob_rule> rules;
    std::vector<std::string> scopes;
    std::map<std::string, vob_t *> vobs;
    std::map<std::string, loaded_rec> loaded;
    int loaded_read = 0;
    int journal_fd = -1;   // loaded.journal, open for appending while changes run
    int lock_fd = -1, lock_depth = 0;
};

// Sets the view's message; returns rc.
int view_fail(view_t *v, int rc, const std::string &msg);

// ---- view_meta.cpp ----

std::string view_meta_file(const view_t *v, const char *leaf);
// Whole file into *text; 0 or an errno value.
int view_read_text(const std::string &path, std::string *text);
// 0 and size, mtime and kind of path (lstat); -1 when it cannot be had.
int view_stat(const std::string &path, int64_t *size, int64_t *mtime_ns, int *is_dir);

// Reads <root>/.vantor_view/view.json into v (tag, cspec, rules, scopes,
// stream: "" when the file has none).
[[nodiscard]] int view_meta_read(view_t *v, const std::string &root, std::string *err);
// Replaces view.json with v's tag, config spec, scopes and stream (synced;
// without a stream the key is left out, as older files have it).
[[nodiscard]] int view_meta_save(view_t *v);

// Reads loaded.txt and replays the journal, unless already read.
[[nodiscard]] int view_loaded_read(view_t *v);
// Replaces loaded.txt with v->loaded (synced), then drops the journal.
[[nodiscard]] int view_loaded_save(view_t *v);
// Drops the record of rel (journalled first when there is one).
[[nodiscard]] int view_loaded_forget(view_t *v, const std::string &rel);
// Records rel (journalled).
[[nodiscard]] int view_loaded_record(view_t *v, const std::string &rel, const loaded_rec &r);

// Holds the view lock for one change; nested holders share it. take()
// waits for other processes, then re-reads view.json, and loaded.txt once it
// is wanted: another process may have changed them since.
class view_lock {
public:
    explicit view_lock(view_t *v) : v_(v) {}
    ~view_lock();
    view_lock(const view_lock &) = delete;
    view_lock &operator=(const view_lock &) = delete;
    [[nodiscard]] int take();

private:
    view_t *v_;
    bool held_ = false;
};

// ---- view_file.cpp ----

// The path relative to the view root of an absolute path inside it.
std::string view_rel_of(const view_t *v, const std::string &abs);
// Writes version ver to dest through a temporary file of a name no file had
// and a rename, mode 0444 (0644 when writable). Not synced: loaded copies can be written again
// from the VOB, and syncing each would slow update down many times.
[[nodiscard]] int view_copy_out(view_t *v, vob_t *h, vob_oid ver, const std::string &dest, int writable);
// Moves the user's file at abs aside to the first free name of abs.keep,
// abs.keep.1, abs.keep.2, ... (never onto an existing file, even one made
// meanwhile) and sets *kept to it. Fails after VIEW_KEEP_MAX names.
inline constexpr int VIEW_KEEP_MAX = 9999;
[[nodiscard]] int view_keep_aside(view_t *v, const std::string &abs, std::string *kept);
// Records the file at abs as holding ver of elem, with its current size and mtime.
[[nodiscard]] int view_record_file(view_t *v, const std::string &tag, const std::string &abs, vob_oid elem,
                                   vob_oid ver);
// 1 when the file at path is still what the record says update put there.
int view_untouched(const std::string &path, const loaded_rec &r);
