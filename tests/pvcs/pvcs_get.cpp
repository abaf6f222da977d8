// A stand-in for PVCS's `get`, enough for imports of archives the tests
// write: get -q -rREV "ARCHIVE<L>WORKFILE<R>" writes revision REV's contents
// to WORKFILE. L and R are PVCS_LEFT_SEPARATOR and PVCS_RIGHT_SEPARATOR ("("
// and ")" when unset), as the exporter wrote them into the command.
//
// It reads the archive on its own (trailer, header block, the chain of
// revision blocks), apart from the exporter's reader, so that each checks
// the other. The contents are the body of the revision block's 'T' record,
// which only the tests' writer puts there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int64_t BLOCK_HEADER = 12;

int fail(const std::string &what) {
    std::fprintf(stderr, "get: %s\n", what.c_str());
    return 1;
}

bool read_file(const std::string &path, std::string *out) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

uint32_t be(const std::string &s, int64_t at, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = v << 8 | static_cast<unsigned char>(s[size_t(at + i)]);
    return v;
}

// The block a block header at `at` leads to; -1 when that is outside the file.
int64_t next_block(const std::string &a, int64_t at) {
    if (at < 0 || at + BLOCK_HEADER > int64_t(a.size()))
        return -1;
    int64_t to = at + int64_t(int32_t(be(a, at + 4, 4)));
    return to < 0 || to + BLOCK_HEADER > int64_t(a.size()) ? -1 : to;
}

struct block_records {
    std::string number;   // "B"
    bool has_contents = false;
    std::string contents;   // 'T'
};

// The records of the block at `at` up to "@"; false when one runs past the file.
bool read_block(const std::string &a, int64_t at, block_records *out) {
    int64_t p = at + BLOCK_HEADER;
    const int64_t end = int64_t(a.size());
    while (p < end && a[size_t(p)] != '@') {
        char tag = a[size_t(p++)];
        if (p + 2 > end)
            return false;
        int64_t len;
        if (static_cast<unsigned char>(a[size_t(p)]) & 0x80) {
            if (p + 4 > end)
                return false;
            len = be(a, p, 4) & 0x7FFFFFFF;
            p += 4;
        } else {
            len = be(a, p, 2);
            p += 2;
        }
        if (p + len > end)
            return false;
        std::string body = a.substr(size_t(p), size_t(len));
        p += len;
        if (tag == 'B' && !body.empty()) {
            size_t count = static_cast<unsigned char>(body[0]) / 2;
            if (1 + 2 * count > body.size())
                return false;
            out->number.clear();
            for (size_t i = 0; i < count; ++i) {
                if (i)
                    out->number += '.';
                out->number += std::to_string(be(body, int64_t(1 + 2 * i), 2));
            }
        } else if (tag == 'T') {
            out->has_contents = true;
            out->contents = std::move(body);
        }
    }
    return p < end;
}

bool is_file(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool write_file(const std::string &path, const std::string &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}   // namespace

int main(int argc, char **argv) {
    const char *l = std::getenv("PVCS_LEFT_SEPARATOR");
    const char *r = std::getenv("PVCS_RIGHT_SEPARATOR");
    const std::string left = l ? l : "(", right = r ? r : ")";
    std::string rev, operand;
    int operands = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-q") == 0)
            continue;
        if (std::strncmp(argv[i], "-r", 2) == 0 && argv[i][2])
            rev = argv[i] + 2;
        else if (argv[i][0] == '-')
            return fail(std::string("unknown option ") + argv[i]);
        else {
            operand = argv[i];
            ++operands;
        }
    }
    if (rev.empty() || operands != 1)
        return fail("usage: get -q -rREV \"ARCHIVE" + left + "WORKFILE" + right + "\"");
    if (right.empty() || operand.size() < right.size() ||
        operand.compare(operand.size() - right.size(), right.size(), right) != 0)
        return fail("\"" + operand + "\" does not end with \"" + right + "\"");
    operand.resize(operand.size() - right.size());
    std::string archive, workfile;
    for (size_t at = left.empty() ? std::string::npos : operand.find(left); at != std::string::npos;
         at = operand.find(left, at + 1)) {
        if (is_file(operand.substr(0, at))) {
            archive = operand.substr(0, at);
            workfile = operand.substr(at + left.size());
            break;
        }
    }
    if (archive.empty() || workfile.empty())
        return fail("no archive and workfile in \"" + operand + right + "\"");
    std::string a;
    if (!read_file(archive, &a))
        return fail("cannot read " + archive);
    if (a.size() < 2 * BLOCK_HEADER)
        return fail(archive + " is no archive");
    int64_t header = next_block(a, int64_t(a.size()) - BLOCK_HEADER);
    int64_t block = next_block(a, header);
    // Blocks may lie in any order in the file; a damaged chain that loops
    // ends after as many steps as the file could hold blocks.
    for (int64_t steps = int64_t(a.size()) / BLOCK_HEADER; header >= 0 && block >= 0 && steps > 0; --steps) {
        block_records rec;
        if (!read_block(a, block, &rec))
            return fail(archive + ": a record runs past the end of the file");
        if (rec.number == rev) {
            if (!rec.has_contents)
                return fail(archive + ": revision " + rev + " has no contents");
            if (!write_file(workfile, rec.contents))
                return fail("cannot write " + workfile);
            return 0;
        }
        if (static_cast<unsigned char>(a[size_t(block + 3)]) == 1)
            break;
        block = next_block(a, block);
    }
    return fail(archive + ": no revision " + rev);
}
