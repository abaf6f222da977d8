#include "tests/rcsarchive/rcs_real_util.h"

#include <cstdio>
#include <map>

#include "rcsarchive/rcs_archive.h"
#include "rcsarchive/rcs_text.h"

namespace rcsreal {

using testutil::run;

std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

void sh(const std::string &cmd, const std::string &cwd) {
    auto r = run({"/bin/sh", "-c", cmd}, cwd, {{"TZ", "UTC"}});
    ASSERT_EQ(r.status, 0) << cmd << "\n" << r.out << r.err;
}

archive_maker::archive_maker(const std::string &dir, const std::string &name) : dir_(dir), name_(name) {}

void archive_maker::checkin(const std::string &rev, const std::string &text) {
    testutil::write_file(dir_ + "/" + name_, text);
    char date[64];
    ++clock_;
    std::snprintf(date, sizeof date, "-d2020-01-01 %02d:%02d:%02d", clock_ / 3600, clock_ / 60 % 60,
                  clock_ % 60);
    std::vector<std::string> argv{"ci", "-q", "-f", "-wtester", date, "-mlog " + rev, "-t-desc"};
    if (!rev.empty())
        argv.push_back("-r" + rev);
    argv.push_back(name_);
    auto r = run(argv, dir_, {{"TZ", "UTC"}});
    ASSERT_EQ(r.status, 0) << "ci " << rev << ": " << r.err;
    if (!made_) {
        made_ = true;
        rcs("-U");
    }
}

void archive_maker::rcs(const std::string &args) { sh("rcs -q " + args + " " + quoted(name_ + ",v"), dir_); }

std::string co_raw(const std::string &archive, const std::string &rev) {
    auto r = run({"co", "-q", "-ko", "-p", "-r" + rev, archive}, ".", {{"TZ", "UTC"}});
    EXPECT_EQ(r.status, 0) << "co -r" << rev << " " << archive << ": " << r.err;
    return r.out;
}

::testing::AssertionResult all_revisions_match(const std::string &archive, size_t *count) {
    rcs_element *e = nullptr;
    if (int r = rcs_open(archive.c_str(), "f", &e, '.', true))
        return ::testing::AssertionFailure() << "rcs_open " << archive << ": " << r;
    std::unique_ptr<rcs_element, void (*)(rcs_element *)> hold(e, rcs_close);
    std::vector<size_t> wanted;
    for (size_t i = 0; i < e->deltas.size(); ++i)
        wanted.push_back(i);
    std::map<size_t, std::string> texts;
    std::string why;
    int rc = rcs_build_texts(
        e, wanted,
        [&](size_t i, std::string_view text) {
            if (!texts.emplace(i, std::string(text)).second)
                ADD_FAILURE() << "revision " << e->deltas[i].rev << " handed over twice";
            return 0;
        },
        &why);
    if (rc != 0)
        return ::testing::AssertionFailure() << "rcs_build_texts: " << rc << " " << why;
    if (texts.size() != e->deltas.size())
        return ::testing::AssertionFailure()
               << texts.size() << " texts for " << e->deltas.size() << " deltas";
    for (auto &[i, text] : texts) {
        std::string want = co_raw(archive, e->deltas[i].rev);
        if (text != want) {
            size_t at = 0;
            while (at < text.size() && at < want.size() && text[at] == want[at])
                ++at;
            return ::testing::AssertionFailure()
                   << "revision " << e->deltas[i].rev << " differs at byte " << at << " (" << text.size()
                   << " bytes rebuilt, " << want.size() << " from co)";
        }
    }
    if (count)
        *count = texts.size();
    return ::testing::AssertionSuccess();
}

}   // namespace rcsreal
