// Converting a record's texts and naming its authors (see eventtext.h).
#include "runtime/eventtext.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/strutl.h"
#include "runtime/typename.h"

namespace {

const char ENCODING_ATTR[] = "ORIGINAL_ENCODING";

bool has_attr(const std::vector<std::string> &attrs, const std::string &name) {
    std::string prefix = name + "=";
    for (const std::string &a : attrs)
        if (a.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

// The offsets as "\xE9 at byte 4, \x81 at byte 9".
std::string kept_text(const std::string &original, const std::vector<size_t> &offsets) {
    std::string s;
    for (size_t i = 0; i < offsets.size() && i < 8; ++i) {
        s += i ? ", " : "";
        s += typename_show_text(std::string_view(original).substr(offsets[i], 1)) + " at byte " +
             std::to_string(offsets[i]);
    }
    if (offsets.size() > 8)
        s += " and " + std::to_string(offsets.size() - 8) + " more";
    return s;
}

void convert_field(const eventtext_opts &o, std::optional<std::string> *field, const char *attr, const char *what,
                   const eventtext_record &rec, const std::string &where, eventtext_tally *tally) {
    if (!field || !*field || typename_is_utf8(**field) || has_attr(*rec.attributes, attr))
        return;
    std::string out;
    std::vector<size_t> kept;
    if (!textenc_convert(*o.encoding, **field, &out, &kept))
        return;   // nothing converted: every byte was kept
    rec.attributes->push_back(std::string(attr) + "=" + **field);
    if (!has_attr(*rec.attributes, ENCODING_ATTR))
        rec.attributes->push_back(std::string(ENCODING_ATTR) + "=" + o.encoding->name);
    if (!kept.empty())
        tally->kept.push_back(where + ", " + what + ": " + kept_text(**field, kept));
    ++tally->converted;
    *field = std::move(out);
}

}   // namespace

void eventtext_run_names(eventtext_run *t, const char *authors, const char *encoding) {
    auto given_or_env = [](const char *value, const char *env) {
        const char *v = value ? value : std::getenv(env);
        return std::string(v ? v : "");
    };
    t->authors_path = given_or_env(authors, "VANTOR_AUTHORS");
    t->encoding_name = given_or_env(encoding, "VANTOR_ENCODING");
}

eventtext_open_rc eventtext_run_open(eventtext_run *t, std::string *why) {
    if (!t->encoding_name.empty()) {
        if (textenc_open(t->encoding_name, &t->encoding))
            return EVENTTEXT_UNKNOWN_ENCODING;
        t->opts.encoding = &t->encoding;
    }
    if (!t->authors_path.empty()) {
        if (authormap_read(t->authors_path, &t->map, why))
            return EVENTTEXT_BAD_MAP;
        t->opts.authors = &t->map;
    }
    return EVENTTEXT_OPENED;
}

void eventtext_apply(const eventtext_opts &o, const eventtext_record &rec, const std::string &where,
                     eventtext_tally *tally) {
    if (o.encoding && rec.attributes) {
        convert_field(o, rec.user, "ORIGINAL_USER", "user", rec, where, tally);
        convert_field(o, rec.group, "ORIGINAL_GROUP", "group", rec, where, tally);
        convert_field(o, rec.name, "ORIGINAL_NAME", "name", rec, where, tally);
        convert_field(o, rec.comment, "ORIGINAL_COMMENT", "comment", rec, where, tally);
    }
    if (!rec.user || !*rec.user || rec.user->value().empty())
        return;
    const std::string &login = **rec.user;
    eventtext_login &seen = tally->logins[login];
    ++seen.events;
    if (seen.name.empty() && rec.name && *rec.name)
        seen.name = **rec.name;
    if (!o.authors)
        return;
    const std::string *mapped = authormap_find(*o.authors, login);
    if (!mapped) {
        ++tally->unmapped[login];
        return;
    }
    if (rec.name)
        *rec.name = *mapped;
}

std::string eventtext_map_template(const eventtext_opts &o, const eventtext_tally &tally) {
    std::string s;
    for (const auto &[login, seen] : tally.logins) {
        const std::string *mapped = o.authors ? authormap_find(*o.authors, login) : nullptr;
        std::string name = mapped ? *mapped : "";
        // A name the store gives that only repeats the login, or stands for
        // none, is no help to whoever fills the map in.
        if (name.empty() && seen.name != login && seen.name != "unknown" && seen.name != "Unknown")
            name = seen.name;
        // A login that is not UTF-8 cannot be written in the map as it
        // stands: shown escaped, it asks for the store's encoding.
        bool utf8 = typename_is_utf8(login);
        std::string line = typename_show_text(login) + " = " + typename_show_text(name);
        size_t width = 0;   // in characters, for the comments to line up
        for (unsigned char c : line)
            width += (c & 0xc0) != 0x80;
        s += line + std::string(width < 40 ? 40 - width : 1, ' ') + "# " +
             strutl_count(seen.events, "event", "events") + (mapped ? "" : ", not in the map") +
             (utf8 ? "" : "; not UTF-8: name the store's encoding") + "\n";
    }
    return s;
}

std::vector<std::string> eventtext_unmapped_lines(const eventtext_tally &tally) {
    std::vector<std::string> lines;
    for (const auto &[login, events] : tally.unmapped)
        lines.push_back(typename_show_text(login) + " (" + strutl_count(events, "event", "events") + ")");
    return lines;
}
