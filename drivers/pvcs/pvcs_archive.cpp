// Reader of PVCS archives: the trailer, the header block and the chain of
// revision blocks, each read once; every distance, record and field is
// checked against its block, its record and the file before it is used.
#include "drivers/pvcs/pvcs_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>

#include "drivers/pvcs/pvcs_msgs.h"
#include "drivers/pvcs/pvcs_revs.h"
#include "runtime/date.h"
#include "runtime/strutl.h"
#include "runtime/sysutl.h"

namespace {

const imsg_catalog *cat() { return pvcs_driver_pvcs_msg_table_adr(); }

// Where a message of the first 18 entries, which name no file, came from.
int at(const std::string &path, int64_t pos) {
    IMSG_PRINT(IMSG_CONT, cat(), PVCS_AT, path.c_str(), (long long)pos);
    return PVCS_FAILED;
}

// A block header: its position, flag and the next block's position, checked.
struct block {
    int64_t pos = 0;
    unsigned flag = 0;
    int64_t next = 0;   // -1: the last revision block's, which leads nowhere
};

// Reads the block header at pos (room for it is known) and checks that its
// distance leaves room for a block header in the file and does not lead
// into the block's own header (the trailer's must lead before it). A
// distance may lead backwards: an archive need not keep its blocks in the
// order of the chain.
int read_block(pvcs_file &f, const std::string &path, int64_t pos, block *b) {
    unsigned char h[PVCS_BLOCK_HEADER];
    if (!f.seek(pos) || !f.read(h, sizeof h)) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_PARSE_ARCHIVE);
        return at(path, pos);
    }
    int32_t distance = int32_t(uint32_t(h[4]) << 24 | uint32_t(h[5]) << 16 | uint32_t(h[6]) << 8 | h[7]);
    b->pos = pos;
    b->flag = h[3];
    b->next = pos + distance;
    bool trailer = pos + PVCS_BLOCK_HEADER == f.size();
    bool into_itself = b->next + PVCS_BLOCK_HEADER > pos && b->next < pos + PVCS_BLOCK_HEADER;
    bool outside = b->next < 0 || b->next + PVCS_BLOCK_HEADER > f.size();
    // The last revision block's distance is never followed: whatever it
    // holds, the chain ends there.
    if (!trailer && b->flag == 1 && (outside || into_itself)) {
        b->next = -1;
        return 0;
    }
    if (outside) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_DISTANCE_OUTSIDE, path.c_str(), (long long)pos + 4,
                   (long long)b->next, (long long)f.size());
        return PVCS_FAILED;
    }
    if (trailer ? b->next + PVCS_BLOCK_HEADER > pos : into_itself) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_DISTANCE_SELF, path.c_str(), (long long)pos + 4,
                   (long long)b->next);
        return PVCS_FAILED;
    }
    return 0;
}

// One tagged record: the tag's position, the body's start and end.
struct record {
    int tag = 0;
    int64_t pos = 0, body = 0, end = 0;
};

// The records of one block, read up to "@" or the block's end.
struct record_reader {
    pvcs_file &f;
    const std::string &path;
    int64_t pos, end;

    // 0 with *r set; -1 at the end of the records; 1001 for damage.
    int next(record *r) {
        if (pos >= end)
            return -1;
        unsigned tag;
        if (!f.seek(pos) || !f.read_u8(&tag))
            return past(pos, 1);
        if (tag == '@')
            return -1;
        unsigned char len[4];
        if (pos + 3 > end || !f.read(len, 2))
            return past(pos, 3);
        int64_t n, body;
        if (len[0] & 0x80) {
            if (pos + 5 > end || !f.read(len + 2, 2))
                return past(pos, 5);
            n = int64_t(len[0] & 0x7F) << 24 | int64_t(len[1]) << 16 | int64_t(len[2]) << 8 | len[3];
            body = pos + 5;
        } else {
            n = int64_t(len[0]) << 8 | len[1];
            body = pos + 3;
        }
        if (body + n > end)
            return past(pos, body + n - pos);
        r->tag = int(tag);
        r->pos = pos;
        r->body = body;
        r->end = body + n;
        pos = r->end;
        return 0;
    }
    int past(int64_t rec, int64_t size) const {
        if (rec + size > f.size())
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_RECORD_PAST_FILE, path.c_str(), (long long)rec,
                       (long long)f.size());
        else
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_RECORD_PAST_BLOCK, path.c_str(), (long long)rec,
                       (long long)size, (long long)end);
        return PVCS_FAILED;
    }
};

// Fields inside one record's body.
struct field_reader {
    pvcs_file &f;
    const std::string &path;
    const record &r;
    int64_t pos;

    field_reader(pvcs_file &file, const std::string &p, const record &rec)
        : f(file), path(p), r(rec), pos(rec.body) {}

    int past(int64_t field) const {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_FIELD_PAST_RECORD, path.c_str(), (long long)field,
                   (long long)r.end);
        return PVCS_FAILED;
    }
    int bytes(size_t n, void *out) {
        if (pos + int64_t(n) > r.end || !f.seek(pos) || !f.read(out, n))
            return past(pos);
        pos += int64_t(n);
        return 0;
    }
    int short_string(std::string *out) {
        unsigned char n;
        int64_t start = pos;
        if (bytes(1, &n))
            return PVCS_FAILED;
        out->resize(n);
        if (n && pos + n > r.end)
            return past(start);
        return n ? bytes(n, out->data()) : 0;
    }
    // A count byte and that many bytes of 16-bit numbers.
    int rev_number(std::string *text, std::vector<unsigned> *fields) {
        unsigned char count;
        int64_t start = pos;
        if (bytes(1, &count))
            return PVCS_FAILED;
        if (count & 1) {
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_REV_COUNT_ODD, path.c_str(), (long long)start, int(count));
            return PVCS_FAILED;
        }
        unsigned char raw[255];
        if (pos + count > r.end)
            return past(start);
        if (bytes(count, raw))
            return PVCS_FAILED;
        text->clear();
        fields->clear();
        if (count < 2)
            return 0;
        for (unsigned i = 0; i < count; i += 2) {
            unsigned v = unsigned(raw[i]) << 8 | raw[i + 1];
            fields->push_back(v);
            if (i)
                *text += '.';
            *text += std::to_string(v);
        }
        return 0;
    }
    int text(std::string *out) {
        out->resize(size_t(r.end - r.body));
        return bytes(out->size(), out->data());
    }
    // 0 with the time, or 0 with nothing and *refused when it is no time
    // (reported).
    int time(int64_t *out, bool *refused = nullptr) {
        if (pos + 4 > r.end)
            return past(pos);
        if (!f.seek(pos))
            return past(pos);
        int rc = pvcs_parse_time(f, path, out);
        pos += 4;
        if (refused)
            *refused = rc == 1;
        return rc == 1 ? 0 : rc;
    }
};

// The position of the archive header, from the trailer.
int find_header(pvcs_file &f, const std::string &path, int64_t *pos) {
    if (f.size() < 2 * PVCS_BLOCK_HEADER) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_PARSE_ARCHIVE);
        return at(path, 0);
    }
    block trailer;
    if (int rc = read_block(f, path, f.size() - PVCS_BLOCK_HEADER, &trailer))
        return rc;
    *pos = trailer.next;
    return 0;
}

int too_long_label(const std::string &path, const record &r, const pvcs_label &l) {
    IMSG_PRINT(IMSG_ERROR, cat(), PVCS_LABEL_TOO_LONG, path.c_str(), (long long)r.pos, l.number.c_str(),
               l.name.c_str(), int(PVCS_MAX_LABEL));
    return PVCS_FAILED;
}

// Where the records of the block at pos must end: at the next block in the
// file that is known (the one its distance leads to when that lies after
// it, one already read, or the trailer).
int64_t block_end(const pvcs_file &f, const block &b, const std::set<int64_t> &known) {
    int64_t end = f.size() - PVCS_BLOCK_HEADER;
    if (b.next > b.pos)
        end = std::min(end, b.next);
    auto after = known.upper_bound(b.pos);
    if (after != known.end())
        end = std::min(end, *after);
    return end;
}

// Reads every record of the archive header block; *first is the first
// revision block's position, *header the header's.
int read_header_block(pvcs_file &f, const std::string &path, pvcs_header *h, int64_t *first,
                      int64_t *header = nullptr) {
    int64_t pos;
    if (int rc = find_header(f, path, &pos)) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_REWIND);
        return rc;
    }
    block b;
    if (int rc = read_block(f, path, pos, &b))
        return rc;
    *first = b.next;
    if (header)
        *header = pos;
    record_reader rr{f, path, pos + PVCS_BLOCK_HEADER, block_end(f, b, {})};
    record r;
    int rc;
    std::vector<unsigned> fields;
    bool has_workfile = false;
    while ((rc = rr.next(&r)) == 0) {
        field_reader fr(f, path, r);
        std::string name, number;
        int frc = 0;
        switch (r.tag) {
            case 'H': {
                // The first one names the workfile, as a search for it would find.
                std::string workfile;
                frc = fr.short_string(&workfile);
                if (!frc && !has_workfile)
                    h->workfile = workfile;
                has_workfile = true;
                break;
            }
            case 'U': {
                std::string owner;
                frc = fr.short_string(&owner);
                h->owner = owner;
                break;
            }
            case 'X':
                frc = fr.time(&h->time);
                break;
            case 'I': {
                std::string text;
                frc = fr.text(&text);
                if (frc)
                    IMSG_PRINT(IMSG_ERROR, cat(), PVCS_ELEMENT_COMMENT);
                h->description = text;
                break;
            }
            case 'R':
            case 'S':
            case '^':
                frc = fr.short_string(&name);
                if (!frc)
                    frc = fr.rev_number(&number, &fields);
                if (frc)
                    break;
                if (r.tag == 'R') {
                    h->locks.push_back(name + ":" + number);
                } else if (r.tag == 'S') {
                    pvcs_label l{name, number};
                    if (number.size() > PVCS_MAX_LABEL)
                        return too_long_label(path, r, l);
                    h->labels.push_back(std::move(l));
                } else {
                    h->groups.push_back(pvcs_group{name, number});
                }
                break;
            default:
                break;
        }
        if (frc)
            return frc;
    }
    // Each new entry goes in front.
    std::reverse(h->labels.begin(), h->labels.end());
    std::reverse(h->groups.begin(), h->groups.end());
    return rc < 0 ? 0 : rc;
}

// One revision block's records: number, date, author and comment.
int read_revision_block(pvcs_file &f, const std::string &path, const block &b, int64_t end,
                        pvcs_revision *rev) {
    rev->records_pos = b.pos + PVCS_BLOCK_HEADER;
    record_reader rr{f, path, rev->records_pos, end};
    record r;
    int rc;
    while ((rc = rr.next(&r)) == 0) {
        field_reader fr(f, path, r);
        int frc = 0;
        switch (r.tag) {
            case 'B':
                frc = fr.rev_number(&rev->number, &rev->fields);
                if (!frc && rev->number.size() > PVCS_MAX_REV) {
                    IMSG_PRINT(IMSG_ERROR, cat(), PVCS_REV_TOO_LONG, path.c_str(), (long long)r.pos,
                               rev->number.c_str(), int(PVCS_MAX_REV));
                    frc = PVCS_FAILED;
                }
                break;
            case 'D': {
                // Without its date the revision cannot be placed: the archive
                // is not exported rather than exported without its history.
                bool refused = false;
                frc = fr.time(&rev->date, &refused);
                if (!frc && refused)
                    frc = PVCS_FAILED;
                break;
            }
            case 'O': {
                std::string author;
                frc = fr.short_string(&author);
                rev->author = author;
                break;
            }
            case 'E': {
                std::string comment;
                frc = fr.text(&comment);
                rev->comment = comment;
                break;
            }
            default:
                break;
        }
        if (frc)
            return frc;
    }
    return rc < 0 ? 0 : rc;
}

// Asked once per run: the name cannot change under a running export, and
// the lookup is a system call per archive otherwise.
const std::string &host_name() {
    static const std::string host = [] {
        std::string h = sysutl_myhostname();
        if (h.empty() || h == "UnknownHost")
            return std::string("unknown");
        if (h.size() > PVCS_MAX_HOST)
            h.resize(PVCS_MAX_HOST);
        return h;
    }();
    return host;
}

// The revision chain from the first block, into the sorted list. Every
// block is read once: a distance leading to a block already read is a loop.
int read_revisions(pvcs_element *e, int64_t header, int64_t pos) {
    pvcs_sorter sorter(e);
    const int64_t trailer = e->file.size() - PVCS_BLOCK_HEADER;
    std::set<int64_t> known{header};
    int64_t from = header;   // the block whose distance led to pos
    for (;;) {
        pvcs_revision rev;
        block b;
        bool is_rev = false;
        if (pos < trailer) {
            if (!known.insert(pos).second) {
                IMSG_PRINT(IMSG_ERROR, cat(), PVCS_BLOCK_LOOP, e->path.c_str(), (long long)from + 4,
                           (long long)pos);
                return PVCS_FAILED;
            }
            if (int rc = read_block(e->file, e->path, pos, &b))
                return rc;
            if (int rc = read_revision_block(e->file, e->path, b, block_end(e->file, b, known), &rev))
                return rc;
            is_rev = rev.date != 0 && !rev.number.empty();
        }
        if (!is_rev) {
            if (e->count == 0)
                return 0;
            IMSG_PRINT(IMSG_ERROR, cat(), PVCS_NO_DATE_OR_VERSION);
            return at(e->path, pos);
        }
        e->revisions.push_back(std::move(rev));
        sorter.insert(e->count);
        ++e->count;
        if (b.flag == 1)
            return 0;
        from = pos;
        pos = b.next;
    }
}

struct dos_fields {
    int year, month, day, hour, minute, second;
};

dos_fields split_dos(uint32_t dos) {
    return {1980 + (int32_t(dos) >> 25), int(dos >> 21 & 15), int(dos >> 16 & 31),
            int(dos >> 11 & 31),         int(dos >> 5 & 63),  int(dos & 31) * 2};
}

}   // namespace

int pvcs_dos_time_to_time(uint32_t dos, int64_t *out) {
    dos_fields d = split_dos(dos);
    // The local conversion refuses every field out of range, second 60
    // (no time of an MS-DOS clock) included.
    if (d.year < 1980)
        return 1;
    return date_local_to_time(d.year, d.month, d.day, d.hour, d.minute, d.second, out);
}

int pvcs_parse_time(pvcs_file &f, const std::string &path, int64_t *out) {
    int64_t pos = f.tell();
    uint32_t dos;
    if (!f.read_u32(&dos)) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_PARSE_FILE);
        return at(path, pos);
    }
    if (pvcs_dos_time_to_time(dos, out) == 0)
        return 0;
    dos_fields d = split_dos(dos);
    IMSG_PRINT(IMSG_ERROR, cat(), PVCS_BAD_TIME);
    IMSG_PRINT(IMSG_CONT, cat(), PVCS_TIME_FIELDS, path.c_str(), (long long)pos, (unsigned long)dos, d.year,
               d.month, d.day, d.hour, d.minute, d.second);
    return 1;
}

int pvcs_is_archive(pvcs_file &f, bool *yes) {
    *yes = false;
    unsigned char head[2];
    unsigned at_sign;
    if (f.size() < PVCS_BLOCK_HEADER || !f.seek(0) || !f.read(head, 2) ||
        !f.seek(f.size() - PVCS_BLOCK_HEADER) || !f.read_u8(&at_sign))
        return 0;
    *yes = (head[0] == 0xE1 || head[0] == 0xE2) && head[1] == 0 && at_sign == '@';
    return 0;
}

int pvcs_open_walked(const char *path, pvcs_file *f) {
    int err = f->open(path);
    if (err == EISDIR || err == ENODEV)
        return 1;   // not a regular file: no archive
    if (err) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_CANT_OPEN, path);
        IMSG_PRINT(IMSG_CONT, cat(), PVCS_REASON, std::strerror(err));
        return PVCS_FAILED;
    }
    return 0;
}

int pvcs_is_archive(const char *path, bool *yes) {
    *yes = false;
    pvcs_file f;
    int rc = pvcs_open_walked(path, &f);
    if (rc == 1)
        return 0;
    return rc ? rc : pvcs_is_archive(f, yes);
}

int pvcs_workfile_name(pvcs_file &f, const std::string &path, std::string *name) {
    pvcs_header h;
    int64_t first;
    if (int rc = read_header_block(f, path, &h, &first))
        return rc;
    if (h.workfile.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_NO_WORKFILE);
        return at(path, 0);
    }
    *name = h.workfile;
    return 0;
}

std::string pvcs_element_name(const std::string &archive_path, const std::string &workfile) {
    size_t cut = workfile.find_last_of("\\/:");
    std::string w = cut == std::string::npos ? workfile : workfile.substr(cut + 1);
    if (w.empty())
        return w;
    size_t slash = archive_path.rfind('/');
    if (slash == std::string::npos)
        return w;
    std::string dir = slash == 0 ? std::string("/") : archive_path.substr(0, slash);
    if (dir == ".")
        return w;
    size_t up = dir.rfind('/');
    std::string last = up == std::string::npos ? dir : dir.substr(up + 1);
    if (strutl_stricoll(last.c_str(), "VCS") != 0)
        return dir == "/" ? dir + w : dir + "/" + w;
    std::string rest = up == std::string::npos ? std::string() : dir.substr(0, up);
    if (rest.empty() || rest == ".")
        return w;
    return rest + "/" + w;
}

int pvcs_open(const char *path, pvcs_element **out) {
    *out = nullptr;
    auto e = std::make_unique<pvcs_element>();
    e->path = path;
    if (int err = e->file.open(e->path)) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_CANT_OPEN, path);
        IMSG_PRINT(IMSG_CONT, cat(), PVCS_REASON, std::strerror(err));
        return PVCS_CANT_OPEN_ARCHIVE;
    }
    int64_t first, header;
    if (int rc = read_header_block(e->file, e->path, &e->header, &first, &header))
        return rc;
    e->name = pvcs_element_name(e->path, e->header.workfile);
    if (e->name.empty()) {
        IMSG_PRINT(IMSG_ERROR, cat(), PVCS_NO_WORKFILE);
        return at(e->path, 0);
    }
    e->host = host_name();
    if (int rc = read_revisions(e.get(), header, first))
        return rc;
    e->current = e->first;
    *out = e.release();
    return 0;
}

void pvcs_close(pvcs_element *e) { delete e; }

int pvcs_read_header(pvcs_element *e, element_info *info) {
    const pvcs_header &h = e->header;
    info->user = h.owner && !h.owner->empty() ? *h.owner : std::string("unknown");
    info->created = h.time;
    info->comment = h.description;
    info->checkouts = h.locks;
    return 0;
}

int pvcs_find_label(const pvcs_element *e, const std::string &number, int *cursor) {
    const std::vector<pvcs_label> &labels = e->header.labels;
    for (int i = *cursor < 0 ? 0 : *cursor + 1; i < int(labels.size()); ++i)
        if (labels[size_t(i)].number == number) {
            *cursor = i;
            return i;
        }
    *cursor = int(labels.size());
    return -1;
}
