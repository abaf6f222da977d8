#include "tests/pvcs/pvcs_writer.h"

#include <cstdio>
#include <stdexcept>

namespace pvcs_test {

namespace {

constexpr int64_t PVCS_TEST_HEADER_SIZE = 12;

void put_be(std::string *out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out->push_back(char((v >> (8 * i)) & 0xFF));
}

std::string time_bytes(uint32_t t) {
    std::string s;
    put_be(&s, t, 4);
    return s;
}

// A block header: 3 bytes of filler, the flag, the distance, 4 bytes of filler.
std::string block_header(unsigned char first, unsigned char flag, int64_t distance) {
    std::string s;
    s.push_back(char(first));
    s.push_back('\0');
    s.push_back('\0');
    s.push_back(char(flag));
    put_be(&s, uint32_t(int32_t(distance)), 4);
    put_be(&s, 0, 4);
    return s;
}

void add(std::string *block, std::vector<int64_t> *positions, int64_t base, const record &r) {
    positions->push_back(base + int64_t(block->size()));
    *block += record_bytes(r);
}

std::string header_records(const archive &a, std::vector<int64_t> *positions, int64_t base) {
    std::string s;
    bool lg = a.long_lengths;
    for (const record &r : a.header_extra)
        add(&s, positions, base, r);
    if (a.workfile)
        add(&s, positions, base, {'H', short_string(*a.workfile), lg});
    if (a.owner)
        add(&s, positions, base, {'U', short_string(*a.owner), lg});
    if (a.time)
        add(&s, positions, base, {'X', time_bytes(*a.time), lg});
    if (a.description)
        add(&s, positions, base, {'I', *a.description, lg});
    for (const label &l : a.locks)
        add(&s, positions, base, {'R', short_string(l.name) + rev_bytes(l.number), lg});
    for (const label &l : a.labels)
        add(&s, positions, base, {'S', short_string(l.name) + rev_bytes(l.number), lg});
    for (const label &l : a.groups)
        add(&s, positions, base, {'^', short_string(l.name) + rev_bytes(l.number), lg});
    s.push_back('@');
    return s;
}

std::string revision_records(const revision &r, std::vector<int64_t> *positions, int64_t base) {
    std::string s;
    bool lg = r.long_lengths;
    for (const record &x : r.extra)
        add(&s, positions, base, x);
    if (!r.no_number)
        add(&s, positions, base, {'B', rev_bytes(r.number), lg});
    if (r.time)
        add(&s, positions, base, {'D', time_bytes(r.time), lg});
    if (r.author)
        add(&s, positions, base, {'O', short_string(*r.author), lg});
    if (r.comment)
        add(&s, positions, base, {'E', *r.comment, lg});
    if (r.contents)
        add(&s, positions, base, {PVCS_CONTENTS_TAG, *r.contents, lg});
    s.push_back('@');
    return s;
}

}   // namespace

uint32_t dos_time(int year, int month, int day, int hour, int minute, int second) {
    return uint32_t(year - 1980) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 | uint32_t(hour) << 11 |
           uint32_t(minute) << 5 | uint32_t(second / 2);
}

std::string rev_bytes(const std::string &number) {
    std::vector<unsigned> fields;
    size_t i = 0;
    while (i < number.size()) {
        size_t dot = number.find('.', i);
        if (dot == std::string::npos)
            dot = number.size();
        fields.push_back(unsigned(std::stoul(number.substr(i, dot - i))));
        i = dot + 1;
    }
    std::string s;
    s.push_back(char(fields.size() * 2));
    for (unsigned f : fields)
        put_be(&s, f, 2);
    return s;
}

std::string short_string(const std::string &s) {
    if (s.size() > 255)
        throw std::runtime_error("short string longer than 255 bytes");
    return std::string(1, char(s.size())) + s;
}

std::string record_bytes(const record &r) {
    std::string s(1, r.tag);
    if (r.long_length || r.body.size() > 0x7FFF)
        put_be(&s, uint32_t(r.body.size()) | 0x80000000u, 4);
    else
        put_be(&s, r.body.size(), 2);
    return s + r.body;
}

std::string write(const archive &a, layout *where) {
    layout l;
    std::string out;
    std::vector<int64_t> positions;
    std::string header = header_records(a, &positions, PVCS_TEST_HEADER_SIZE);
    l.record_pos.push_back(positions);
    l.header_pos = 0;
    out += block_header(a.magic, 0, PVCS_TEST_HEADER_SIZE + int64_t(header.size()));
    out += header;
    for (size_t i = 0; i < a.revisions.size(); ++i) {
        const revision &r = a.revisions[i];
        int64_t pos = int64_t(out.size());
        positions.clear();
        std::string body = revision_records(r, &positions, pos + PVCS_TEST_HEADER_SIZE);
        l.record_pos.push_back(positions);
        unsigned char flag = r.flag ? *r.flag : (i + 1 == a.revisions.size() ? 1 : 0);
        l.block_pos.push_back(pos);
        out += block_header(0, flag, PVCS_TEST_HEADER_SIZE + int64_t(body.size()));
        out += body;
    }
    l.trailer_pos = int64_t(out.size());
    out += block_header('@', 0, -l.trailer_pos);
    if (where)
        *where = l;
    return out;
}

void write_file(const std::string &path, const archive &a, layout *where) {
    std::string bytes = write(a, where);
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        throw std::runtime_error("cannot write " + path);
}

void put_u32(std::string *bytes, int64_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        (*bytes)[size_t(at + i)] = char((v >> (8 * (3 - i))) & 0xFF);
}

}   // namespace pvcs_test
