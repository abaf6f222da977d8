// Revision order inside the reader: the comparison over parsed numbers and the
// sorted revision list.
//
// pvcs_rev_compare_fields gives exactly what pvcs_rev_compare gives for the
// printed numbers (the reader prints every number itself, so equal texts are
// equal field vectors), without the warning. The sorter keeps the list that
// the plain insertion gives (front check, then the walk from the second
// revision); it appends without the walk only when no revision of the list
// would come after the new one, which summaries of the list decide.
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "drivers/pvcs/pvcs_archive.h"

int pvcs_rev_compare_fields(const std::vector<unsigned> &a, const std::vector<unsigned> &b, int whole);

class pvcs_sorter {
public:
    explicit pvcs_sorter(pvcs_element *e) : e_(e) {}
    // Puts e->revisions[i] into the sorted list.
    void insert(int i);

private:
    bool smaller(const pvcs_revision &r, const pvcs_revision &x);
    bool can_append(const pvcs_revision &r) const;
    void note(const pvcs_revision &r);

    using pair_key = std::pair<unsigned, unsigned>;
    pvcs_element *e_;
    int last_ = -1;
    bool any_dated_ = false;
    uint32_t max_date_ = 0;
    bool any_pair_ = false;
    pair_key max_pair_{0, 0};
    // Per first pair L: revisions deeper than two pairs, all and per branch
    // number; per (L, branch number): the largest third pair number seen.
    std::map<pair_key, uint64_t> deep_;
    std::map<std::tuple<unsigned, unsigned, unsigned>, uint64_t> deep_on_;
    std::map<std::tuple<unsigned, unsigned, unsigned>, unsigned> max_k_;
};
