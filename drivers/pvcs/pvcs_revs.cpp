// Revision numbers: their order along lines of descent, and the sorted list.
#include "drivers/pvcs/pvcs_revs.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "drivers/pvcs/pvcs_msgs.h"

namespace {

uint64_t compares = 0;

// One step of the comparison over the texts from a and b on.
int compare_text(const char *a, const char *b, int whole, bool warn) {
    const char *adot = std::strchr(a, '.');
    if (!adot) {
        if (warn)
            IMSG_PRINT(IMSG_WARNING, pvcs_driver_pvcs_msg_table_adr(), PVCS_BRANCH_ID);
        return 0;
    }
    const char *bdot = std::strchr(b, '.');
    if (!bdot)
        return 0;
    const char *aend = std::strchr(adot + 1, '.');
    const char *bend = std::strchr(bdot + 1, '.');
    size_t alen = aend ? size_t(aend - a) : std::strlen(a);
    size_t blen = bend ? size_t(bend - b) : std::strlen(b);
    bool agoes = aend != nullptr, bgoes = bend != nullptr;
    std::string apair(a, alen), bpair(b, blen);
    bool equal, a_smaller = false;
    if (apair == bpair) {
        equal = true;
    } else if (std::atoi(a) == std::atoi(b)) {
        equal = false;
        a_smaller = std::atoi(adot + 1) <= std::atoi(bdot + 1);
    } else if (whole) {
        equal = false;
        a_smaller = std::atoi(a) < std::atoi(b);
    } else {
        equal = true;
    }
    if (equal) {
        if (!agoes)
            return bgoes ? -1 : 0;
        if (!bgoes)
            return 1;
        return compare_text(aend + 1, bend + 1, 0, true);
    }
    if (a_smaller)
        return agoes ? 0 : -1;
    return bgoes ? 0 : 1;
}

}   // namespace

int pvcs_rev_compare(const char *a, const char *b, int whole) { return compare_text(a, b, whole, true); }

int pvcs_rev_compare_fields(const std::vector<unsigned> &a, const std::vector<unsigned> &b, int whole) {
    size_t i = 0;
    for (;;) {
        // A rest of one number holds no ".".
        if (a.size() - i < 2 || b.size() - i < 2)
            return 0;
        bool agoes = a.size() - i > 2, bgoes = b.size() - i > 2;
        bool equal, a_smaller = false;
        if (a[i] == b[i] && a[i + 1] == b[i + 1]) {
            equal = true;
        } else if (a[i] == b[i]) {
            equal = false;
            a_smaller = a[i + 1] < b[i + 1];
        } else if (whole) {
            equal = false;
            a_smaller = a[i] < b[i];
        } else {
            equal = true;
        }
        if (!equal) {
            if (a_smaller)
                return agoes ? 0 : -1;
            return bgoes ? 0 : 1;
        }
        if (!agoes)
            return bgoes ? -1 : 0;
        if (!bgoes)
            return 1;
        i += 2;
        whole = 0;
    }
}

uint64_t pvcs_sort_compares() { return compares; }

// R goes before X: earlier along a line of descent, or unordered and older.
bool pvcs_sorter::smaller(const pvcs_revision &r, const pvcs_revision &x) {
    ++compares;
    int c = pvcs_rev_compare_fields(r.fields, x.fields, 1);
    return c < 0 || (c == 0 && uint32_t(x.date) > uint32_t(r.date));
}

// True only when no revision X of the list has smaller(R, X). With R's date
// not below any X's, that is: no X with compare(R, X) < 0.
bool pvcs_sorter::can_append(const pvcs_revision &r) const {
    if (any_dated_ && uint32_t(r.date) < max_date_)
        return false;
    const std::vector<unsigned> &f = r.fields;
    if (f.size() < 2)
        return true;   // compares unordered with everything
    pair_key l{f[0], f[1]};
    if (f.size() == 2)
        // Negative only for an X whose first pair is above R's, or equal and longer.
        return !any_pair_ || max_pair_ < l;
    if (f.size() == 4) {
        // Negative only for an X of the same first pair that goes on past two
        // pairs on another branch, or lies on R's branch at or past R.
        auto d = deep_.find(l);
        auto don = deep_on_.find({f[0], f[1], f[2]});
        uint64_t deep = d == deep_.end() ? 0 : d->second;
        uint64_t deep_here = don == deep_on_.end() ? 0 : don->second;
        if (deep != deep_here)
            return false;
        auto k = max_k_.find({f[0], f[1], f[2]});
        return k == max_k_.end() || k->second < f[3];
    }
    return false;
}

void pvcs_sorter::note(const pvcs_revision &r) {
    uint32_t d = uint32_t(r.date);
    if (!any_dated_ || d > max_date_)
        max_date_ = d;
    any_dated_ = true;
    const std::vector<unsigned> &f = r.fields;
    if (f.size() < 2)
        return;
    pair_key l{f[0], f[1]};
    if (!any_pair_ || max_pair_ < l)
        max_pair_ = l;
    any_pair_ = true;
    if (f.size() > 4) {
        ++deep_[l];
        ++deep_on_[{f[0], f[1], f[2]}];
    }
    if (f.size() >= 4) {
        auto key = std::make_tuple(f[0], f[1], f[2]);
        auto k = max_k_.find(key);
        if (k == max_k_.end())
            max_k_.emplace(key, f[3]);
        else if (k->second < f[3])
            k->second = f[3];
    }
}

void pvcs_sorter::insert(int i) {
    std::vector<pvcs_revision> &revs = e_->revisions;
    pvcs_revision &r = revs[size_t(i)];
    r.prev = r.next = -1;
    if (e_->first < 0) {
        e_->first = last_ = i;
    } else if (smaller(r, revs[size_t(e_->first)])) {
        r.next = e_->first;
        revs[size_t(e_->first)].prev = i;
        e_->first = i;
    } else {
        int at = -1;   // the revision R goes before; -1: the end
        if (!can_append(r)) {
            for (int x = revs[size_t(e_->first)].next; x >= 0; x = revs[size_t(x)].next)
                if (smaller(r, revs[size_t(x)])) {
                    at = x;
                    break;
                }
        }
        if (at < 0) {
            r.prev = last_;
            revs[size_t(last_)].next = i;
            last_ = i;
        } else {
            r.prev = revs[size_t(at)].prev;
            r.next = at;
            revs[size_t(r.prev)].next = i;
            revs[size_t(at)].prev = i;
        }
    }
    note(r);
}
