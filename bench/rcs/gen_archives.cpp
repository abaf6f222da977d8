// Writes a CVS repository of valid RCS archives, for the benchmarks.
//
//   gen_archives <repository> <archives> <revisions-per-archive>
//
// Each archive has a trunk of about 60% of the revisions, a branch of three
// revisions from every fifth trunk revision (named by a CVS branch tag in the
// ".0." form), and a tag on every fourth trunk revision. Revision texts are
// real RCS diffs, so co and cvs can check out every revision. Archives go into
// directories of 100, and CVSROOT is created, as cvs init would leave it.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct branch {
    int at;   // trunk revision it sprouts from
    int revs;
};

std::string trunk(int i) { return "1." + std::to_string(i); }
std::string brev(int at, int j) { return "1." + std::to_string(at) + ".2." + std::to_string(j); }

void delta(std::string &out, const std::string &rev, long t, const std::string &branches,
           const std::string &next) {
    char date[32];
    time_t tt = time_t(t);
    struct tm tm;
    gmtime_r(&tt, &tm);
    std::strftime(date, sizeof date, "%Y.%m.%d.%H.%M.%S", &tm);
    out += rev + "\ndate\t" + date + ";\tauthor dev" + std::to_string(t % 7) + ";\tstate Exp;\nbranches" +
           branches + ";\nnext\t" + next + ";\ncommitid\tc" + std::to_string(t) + ";\n\n";
}

void deltatext(std::string &out, const std::string &rev, const std::string &log, const std::string &text) {
    out += "\n" + rev + "\nlog\n@" + log + "\n@\ntext\n@" + text + "@\n\n";
}

std::string archive(int file, int revisions) {
    int ntrunk = std::max(1, revisions * 6 / 10);
    std::vector<branch> branches;
    int left = revisions - ntrunk;
    for (int at = 5; at <= ntrunk && left > 0; at += 5) {
        int n = std::min(3, left);
        branches.push_back({at, n});
        left -= n;
    }
    ntrunk += left;   // what the branches did not take
    long t0 = 1000000000L + long(file) * 3600;
    auto ttime = [&](int i) { return t0 + long(i) * 600; };
    auto btime = [&](int at, int j) { return ttime(at) + 300 + j * 10; };

    std::string s = "head\t" + trunk(ntrunk) + ";\naccess;\nsymbols";
    for (size_t b = branches.size(); b-- > 0;)
        s += "\n\tB_" + std::to_string(branches[b].at) + ":1." + std::to_string(branches[b].at) + ".0.2";
    for (int i = ntrunk; i >= 1; --i)
        if (i % 4 == 0)
            s += "\n\tT_" + std::to_string(i) + ":" + trunk(i);
    s += ";\nlocks; strict;\ncomment\t@# @;\n\n\n";
    size_t bi = branches.size();
    for (int i = ntrunk; i >= 1; --i) {
        std::string brs;
        for (const branch &b : branches)
            if (b.at == i)
                brs = "\n\t" + brev(i, 1);
        delta(s, trunk(i), ttime(i), brs, i > 1 ? trunk(i - 1) : "");
    }
    for (bi = 0; bi < branches.size(); ++bi)
        for (int j = 1; j <= branches[bi].revs; ++j)
            delta(s, brev(branches[bi].at, j), btime(branches[bi].at, j), "",
                  j < branches[bi].revs ? brev(branches[bi].at, j + 1) : "");
    s += "\ndesc\n@Generated file " + std::to_string(file) + ".\n@\n";
    // Trunk revision i holds lines 1..i; each older one is a reverse diff.
    std::string head;
    for (int k = 1; k <= ntrunk; ++k)
        head += "line " + std::to_string(k) + " of file " + std::to_string(file) + "\n";
    for (int i = ntrunk; i >= 1; --i) {
        std::string log = "Change " + std::to_string(i) + " to file " + std::to_string(file) +
                          (i % 3 == 0 ? "\nwith a second line and an @@ sign" : "");
        deltatext(s, trunk(i), log, i == ntrunk ? head : "d" + std::to_string(i + 1) + " 1\n");
        for (const branch &b : branches) {
            if (b.at != i)
                continue;
            for (int j = 1; j <= b.revs; ++j)
                deltatext(s, brev(i, j), "Branch change " + std::to_string(j),
                          "a" + std::to_string(i + j - 1) + " 1\nbranch line " + std::to_string(j) + "\n");
        }
    }
    return s;
}

bool write(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}   // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s repository archives revisions\n", argv[0]);
        return 2;
    }
    std::string repo = argv[1];
    int n = std::atoi(argv[2]), revs = std::atoi(argv[3]);
    for (size_t slash = repo.find('/', 1); slash != std::string::npos; slash = repo.find('/', slash + 1))
        mkdir(repo.substr(0, slash).c_str(), 0755);
    mkdir(repo.c_str(), 0755);
    mkdir((repo + "/CVSROOT").c_str(), 0755);
    mkdir((repo + "/proj").c_str(), 0755);
    for (int f = 0; f < n; ++f) {
        std::string dir = repo + "/proj/d" + std::to_string(f / 100);
        mkdir(dir.c_str(), 0755);
        if (!write(dir + "/file" + std::to_string(f) + ".c,v", archive(f, revs))) {
            std::perror(dir.c_str());
            return 1;
        }
        if (n >= 100 && (f + 1) % (n / 10) == 0)
            std::fprintf(stderr, "generated %d of %d archives\n", f + 1, n);
    }
    return 0;
}
