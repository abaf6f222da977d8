// The iconv converter behind textenc.h.
#include "runtime/textenc.h"

#include <cerrno>
#include <iconv.h>

struct textenc_state {
    iconv_t cd = iconv_t(-1);
    ~textenc_state() {
        if (cd != iconv_t(-1))
            iconv_close(cd);
    }
};

int textenc_open(const std::string &name, textenc *out) {
    if (name.empty() || name.find('/') != std::string::npos)
        return 1;
    std::string bare;
    for (char c : name)
        if (c != '-' && c != '_')
            bare += c;
    auto st = std::make_shared<textenc_state>();
    for (const std::string &n : {name, bare}) {
        st->cd = iconv_open("UTF-8", n.c_str());
        if (st->cd != iconv_t(-1))
            break;
    }
    if (st->cd == iconv_t(-1))
        return 1;
    out->name = name;
    out->state = std::move(st);
    return 0;
}

bool textenc_convert(const textenc &e, std::string_view s, std::string *out, std::vector<size_t> *kept) {
    iconv_t cd = e.state->cd;
    out->clear();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);   // a fresh shift state per text
    char buf[1024];
    size_t at = 0;
    while (at < s.size()) {
        char *in = const_cast<char *>(s.data() + at);
        size_t in_left = s.size() - at;
        char *o = buf;
        size_t o_left = sizeof buf;
        size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
        out->append(buf, size_t(o - buf));
        at = s.size() - in_left;
        if (rc != size_t(-1) || errno == E2BIG)
            continue;
        // EILSEQ, or EINVAL at a sequence cut short by the text's end: the
        // byte stays as it was and the conversion goes on after it.
        kept->push_back(at);
        out->push_back(s[at]);
        ++at;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush a stateful encoding's closing sequence.
    char *o = buf;
    size_t o_left = sizeof buf;
    iconv(cd, nullptr, nullptr, &o, &o_left);
    out->append(buf, size_t(o - buf));
    return *out != s;
}
