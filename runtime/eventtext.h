// The author map and the legacy encoding applied to one element's or
// version's record, as an exporter writes it or vantimport reads it.
//
// Each text (the event's user, group and name, the comment) that is not
// valid UTF-8 is converted from the legacy encoding, and its original bytes
// are kept in an attribute of the record (ORIGINAL_USER, ORIGINAL_GROUP,
// ORIGINAL_NAME, ORIGINAL_COMMENT, with ORIGINAL_ENCODING naming the
// encoding), so that nothing is lost. A text whose attribute is on the record
// already was converted before (by the exporter, when vantimport converts
// again) and is left alone: converting twice would garble it. Then the
// login (the user, converted) is looked up in the map; a login found gets
// the map's "Full Name <mail>" as the event's name and keeps itself as user.
//
// Applying the same map and encoding twice changes nothing the second time.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/authormap.h"
#include "runtime/textenc.h"

struct eventtext_opts {
    const author_map *authors = nullptr;   // null: no map
    const textenc *encoding = nullptr;     // null: texts are taken as they are
};

// The texts of one record, where the record keeps them.
struct eventtext_record {
    std::optional<std::string> *user = nullptr, *group = nullptr, *name = nullptr, *comment = nullptr;
    std::vector<std::string> *attributes = nullptr;   // "name=value"
};

struct eventtext_login {
    long events = 0;
    std::string name;   // the first event name met with it (before the map)
};

// What a run met, for its end report.
struct eventtext_tally {
    std::map<std::string, eventtext_login> logins;     // every login met
    std::map<std::string, long> unmapped;              // logins the map lacks: their events
    std::vector<std::string> kept;                     // texts with bytes left as they were
    long converted = 0;                                // texts converted
};

// The map and the encoding a run uses, and what they met. opts points into
// the object itself, which is therefore not copied.
struct eventtext_run {
    std::string authors_path;    // "" when there is no map
    std::string encoding_name;   // "" when texts are taken as they are
    author_map map;
    textenc encoding;
    eventtext_opts opts;
    eventtext_tally tally;
    eventtext_run() = default;
    eventtext_run(const eventtext_run &) = delete;
    eventtext_run &operator=(const eventtext_run &) = delete;
    bool active() const { return opts.authors || opts.encoding; }
};
// The names given, else VANTOR_AUTHORS and VANTOR_ENCODING.
void eventtext_run_names(eventtext_run *t, const char *authors, const char *encoding);
// Opens the encoding, then reads the map (*why says what is wrong with it).
enum eventtext_open_rc { EVENTTEXT_OPENED = 0, EVENTTEXT_UNKNOWN_ENCODING, EVENTTEXT_BAD_MAP };
eventtext_open_rc eventtext_run_open(eventtext_run *t, std::string *why);

// `where` names the record in the tally's list ("src/a.c 1.4").
void eventtext_apply(const eventtext_opts &o, const eventtext_record &rec, const std::string &where,
                     eventtext_tally *tally);

// The logins of a tally as an author map to fill in: one line per login,
// sorted, with its name when the map or the store gives one, and the count
// of its events as a comment.
std::string eventtext_map_template(const eventtext_opts &o, const eventtext_tally &tally);
// "alice (3 events), bob (1 event)": the unmapped logins for a report line.
std::vector<std::string> eventtext_unmapped_lines(const eventtext_tally &tally);
