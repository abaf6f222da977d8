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
    // The bodies first, with their records' offsets from the body's start.
    const size_t n = a.revisions.size();
    std::vector<std::string> bodies(n + 1);   // [n]: the header
    std::vector<std::vector<int64_t>> rel(n + 1);
    bodies[n] = header_records(a, &rel[n], 0);
    for (size_t i = 0; i < n; ++i)
        bodies[i] = revision_records(a.revisions[i], &rel[i], 0);
    // Where each block goes in the file.
    std::vector<size_t> order;
    if (!a.header_last)
        order.push_back(n);
    if (a.block_order.empty())
        for (size_t i = 0; i < n; ++i)
            order.push_back(i);
    else
        order.insert(order.end(), a.block_order.begin(), a.block_order.end());
    if (a.header_last)
        order.push_back(n);
    std::vector<int64_t> pos(n + 1, 0);
    int64_t at = 0;
    for (size_t k : order) {
        pos[k] = at;
        at += PVCS_TEST_HEADER_SIZE + int64_t(bodies[k].size());
    }
    const int64_t trailer = at;
    // The chain: header, revisions in the order given; the last leads to
    // the block after it in the file.
    std::string out(size_t(trailer), '\0');
    for (size_t k : order) {
        int64_t next;
        unsigned char flag = 0;
        if (k == n) {
            next = n ? pos[0] : trailer;
        } else {
            const revision &r = a.revisions[k];
            flag = r.flag ? *r.flag : (k + 1 == n ? 1 : 0);
            next = k + 1 < n ? pos[k + 1] : pos[k] + PVCS_TEST_HEADER_SIZE + int64_t(bodies[k].size());
        }
        std::string block = block_header(pos[k] == 0 ? a.magic : 0, flag, next - pos[k]) + bodies[k];
        out.replace(size_t(pos[k]), block.size(), block);
    }
    out += block_header('@', 0, pos[n] - trailer);
    if (where) {
        layout l;
        l.header_pos = pos[n];
        l.trailer_pos = trailer;
        for (size_t k = 0; k <= n; ++k) {
            size_t slot = k == n ? 0 : k + 1;
            if (l.record_pos.size() < n + 1)
                l.record_pos.resize(n + 1);
            for (int64_t r : rel[k])
                l.record_pos[slot].push_back(pos[k] + PVCS_TEST_HEADER_SIZE + r);
            if (k < n)
                l.block_pos.push_back(pos[k]);
        }
        *where = l;
    }
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
