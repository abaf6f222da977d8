// Revision texts rebuilt in one depth-first walk of the delta tree.
//
// A text is a vector of lines, each a view that keeps its line end (the last
// line may lack one). Views point into the archive's bytes when the string
// held no "@@", otherwise into an owned copy with "@@" undone; a frame keeps
// the owned copies its lines may point into. The walk holds the texts of the
// path from the head only: a delta's last child to visit takes its parent's
// frame over, so a trunk of thousands of revisions holds one text at a time.
#include "rcsarchive/rcs_text.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace {

using lines_t = std::vector<std::string_view>;
using buffer_t = std::shared_ptr<const std::string>;

enum : size_t { NONE = SIZE_MAX };

// Owned copies a frame may hold before its owned lines are packed into one.
enum { MAX_BUFFERS = 32 };

struct frame {
    size_t delta = 0;
    lines_t lines;
    std::vector<buffer_t> buffers;   // owned bytes that lines may point into
    size_t owned_bytes = 0;          // total size of buffers
    size_t next_child = 0;           // position in the delta's child list
};

struct walker {
    const rcs_element *e;
    std::string *why;
    std::vector<std::vector<size_t>> children;   // branches first, then next
    std::vector<size_t> parent;
    std::vector<char> needed;   // the subtree holds a wanted revision
    std::vector<char> wanted;

    const std::string &rev(size_t i) const { return e->deltas[i].rev; }
    int fail(std::string msg) {
        if (why)
            *why = std::move(msg) + " in " + e->path;
        return 1;
    }
};

bool in_file(const rcs_element *e, const char *p) {
    auto b = reinterpret_cast<uintptr_t>(e->lx.buf), q = reinterpret_cast<uintptr_t>(p);
    return q >= b && q < b + e->lx.len;
}

// The string's value without copying when it holds no "@@"; otherwise an owned
// copy, added to *buffers.
std::string_view string_view_of(const rcs_token &t, std::vector<buffer_t> *buffers, size_t *owned_bytes) {
    if (!t.doubled_at)
        return t.text;
    auto owned = std::make_shared<const std::string>(rcs_string_value(t));
    buffers->push_back(owned);
    *owned_bytes += owned->size();
    return *owned;
}

void split_lines(std::string_view s, lines_t *out) {
    out->clear();
    size_t start = 0;
    while (start < s.size()) {
        size_t nl = s.find('\n', start);
        size_t end = nl == std::string_view::npos ? s.size() : nl + 1;
        out->push_back(s.substr(start, end - start));
        start = end;
    }
}

// Copies the lines that point into owned buffers into one fresh buffer, so
// the buffers of long gone ancestors are let go: when there are many, or when
// they hold much more than the text still uses.
void pack(const rcs_element *e, frame *f) {
    if (f->buffers.size() <= MAX_BUFFERS && f->owned_bytes <= (1u << 20))
        return;
    size_t total = 0;
    for (std::string_view l : f->lines)
        if (!in_file(e, l.data()))
            total += l.size();
    if (f->buffers.size() <= MAX_BUFFERS && f->owned_bytes <= 2 * total + (1u << 20))
        return;
    auto owned = std::make_shared<std::string>();
    owned->reserve(total);
    for (std::string_view l : f->lines)
        if (!in_file(e, l.data()))
            owned->append(l);
    size_t at = 0;
    for (std::string_view &l : f->lines)
        if (!in_file(e, l.data())) {
            l = std::string_view(owned->data() + at, l.size());
            at += l.size();
        }
    f->buffers.clear();
    f->owned_bytes = total;
    f->buffers.push_back(std::move(owned));
}

// Reads a decimal count; false when there is none or it is absurdly large.
bool read_count(std::string_view s, size_t *pos, size_t *out) {
    size_t v = 0, p = *pos, start = p;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
        if (p - start >= 18)
            return false;
        v = v * 10 + size_t(s[p] - '0');
        ++p;
    }
    if (p == start)
        return false;
    *pos = p;
    *out = v;
    return true;
}

bool ends_line(std::string_view l) { return !l.empty() && l.back() == '\n'; }

// Applies a delta's script to its parent's lines in one pass, merging into
// *out. 0; 1 with the reason in *msg.
int apply_script(std::string_view script, const lines_t &in, lines_t *out, std::string *msg) {
    out->clear();
    out->reserve(in.size() + 16);
    size_t k = 0;   // parent lines consumed
    size_t pos = 0;
    // Only the text's last line may lack its line end; inside a run of the
    // parent's lines only the run's last one can, so junctions are checked.
    auto joinable = [&]() {
        if (!out->empty() && !ends_line(out->back())) {
            *msg = "a line without a line end would be followed by another";
            return false;
        }
        return true;
    };
    auto copy_to = [&](size_t to) {
        if (k < to) {
            if (!joinable())
                return false;
            out->insert(out->end(), in.begin() + ptrdiff_t(k), in.begin() + ptrdiff_t(to));
            k = to;
        }
        return true;
    };
    while (pos < script.size()) {
        size_t cmd_at = pos;
        char op = script[pos++];
        size_t n = 0, m = 0;
        bool ok = (op == 'a' || op == 'd') && read_count(script, &pos, &n) && pos < script.size() &&
                  script[pos] == ' ';
        if (ok) {
            ++pos;
            ok = read_count(script, &pos, &m) && m > 0;
        }
        if (ok && pos < script.size()) {
            ok = script[pos] == '\n';
            ++pos;
        }
        if (!ok) {
            size_t nl = script.find('\n', cmd_at);
            std::string_view shown = script.substr(cmd_at, nl == std::string_view::npos ? 40 : nl - cmd_at);
            if (shown.size() > 40)
                shown = shown.substr(0, 40);
            *msg = "edit command \"" + std::string(shown) + "\" is not of the form aN M or dN M";
            return 1;
        }
        if (op == 'd') {
            if (n == 0 || n - 1 < k) {
                *msg =
                    "edit command \"d" + std::to_string(n) + " " + std::to_string(m) + "\" is out of order";
                return 1;
            }
            if (n - 1 > in.size() || m > in.size() - (n - 1)) {
                *msg = "edit command \"d" + std::to_string(n) + " " + std::to_string(m) +
                       "\" runs beyond the " + std::to_string(in.size()) + " lines of the text";
                return 1;
            }
            if (!copy_to(n - 1))
                return 1;
            k = n - 1 + m;
        } else {
            if (n < k) {
                *msg =
                    "edit command \"a" + std::to_string(n) + " " + std::to_string(m) + "\" is out of order";
                return 1;
            }
            if (n > in.size()) {
                *msg = "edit command \"a" + std::to_string(n) + " " + std::to_string(m) +
                       "\" adds beyond the " + std::to_string(in.size()) + " lines of the text";
                return 1;
            }
            if (!copy_to(n))
                return 1;
            for (size_t j = 0; j < m; ++j) {
                if (pos >= script.size()) {
                    *msg = "edit command \"a" + std::to_string(n) + " " + std::to_string(m) + "\" has only " +
                           std::to_string(j) + " of its lines";
                    return 1;
                }
                size_t nl = script.find('\n', pos);
                size_t end = nl == std::string_view::npos ? script.size() : nl + 1;
                if (!joinable())
                    return 1;
                out->push_back(script.substr(pos, end - pos));
                pos = end;
            }
        }
    }
    return copy_to(in.size()) ? 0 : 1;
}

// Children of every delta and its parent, from the head; a delta reached
// twice (a loop in next or branches) is refused.
int build_tree(walker *w, size_t head) {
    const rcs_element *e = w->e;
    size_t n = e->deltas.size();
    w->children.assign(n, {});
    w->parent.assign(n, NONE);
    std::vector<char> seen(n, 0);
    std::vector<size_t> todo{head};
    seen[head] = 1;
    while (!todo.empty()) {
        size_t i = todo.back();
        todo.pop_back();
        const rcs_delta &d = e->deltas[i];
        auto add = [&](const std::string &r) {
            auto it = e->delta_by_rev.find(r);
            if (it == e->delta_by_rev.end())
                return 0;   // a dangling reference only matters if a wanted revision is behind it
            size_t c = it->second;
            if (seen[c])
                return w->fail("revision " + r + " is reached twice from the head (from " + d.rev + ")");
            seen[c] = 1;
            w->parent[c] = i;
            w->children[i].push_back(c);
            todo.push_back(c);
            return 0;
        };
        for (const std::string &b : d.branches)
            if (int r = add(b))
                return r;
        if (!d.next.empty())
            if (int r = add(d.next))
                return r;
    }
    return 0;
}

// The lines as one string. Lines still next to each other in their buffer
// (most of them, in a long history) are copied as one run.
std::string_view joined(const lines_t &lines, std::string *scratch) {
    scratch->clear();
    size_t total = 0;
    for (std::string_view l : lines)
        total += l.size();
    scratch->reserve(total);
    size_t i = 0;
    while (i < lines.size()) {
        const char *start = lines[i].data();
        size_t len = lines[i].size();
        for (++i; i < lines.size() && lines[i].data() == start + len; ++i)
            len += lines[i].size();
        scratch->append(start, len);
    }
    return *scratch;
}

int walk(walker *w, size_t head, const std::function<int(size_t, std::string_view)> &fn) {
    const rcs_element *e = w->e;
    std::vector<frame> stack;
    std::string scratch, msg;
    lines_t spare;

    auto text_of = [&](size_t i) -> const rcs_token * {
        const rcs_token &t = e->deltas[i].text;
        return t.kind == RCS_TOK_STRING ? &t : nullptr;
    };
    auto visit = [&](frame &f) -> int {
        if (!w->wanted[f.delta])
            return 0;
        return fn(f.delta, joined(f.lines, &scratch));
    };

    const rcs_token *ht = text_of(head);
    if (!ht)
        return w->fail("revision " + w->rev(head) + " has no text");
    stack.emplace_back();
    stack.back().delta = head;
    split_lines(string_view_of(*ht, &stack.back().buffers, &stack.back().owned_bytes), &stack.back().lines);
    if (int r = visit(stack.back()))
        return r;

    while (!stack.empty()) {
        frame &top = stack.back();
        const std::vector<size_t> &kids = w->children[top.delta];
        while (top.next_child < kids.size() && !w->needed[kids[top.next_child]])
            ++top.next_child;
        if (top.next_child == kids.size()) {
            stack.pop_back();
            continue;
        }
        size_t c = kids[top.next_child++];
        size_t later = top.next_child;
        while (later < kids.size() && !w->needed[kids[later]])
            ++later;
        bool last = later == kids.size();

        const rcs_token *ct = text_of(c);
        if (!ct)
            return w->fail("revision " + w->rev(c) + " has no text");
        std::vector<buffer_t> buffers = top.buffers;
        size_t owned = top.owned_bytes;
        std::string_view script = string_view_of(*ct, &buffers, &owned);
        if (apply_script(script, top.lines, &spare, &msg))
            return w->fail("revision " + w->rev(c) + ": " + msg);

        frame *f;
        if (last) {
            // The parent's text is done with: the child takes its frame over.
            f = &top;
            std::swap(f->lines, spare);
        } else {
            frame nf;
            std::swap(nf.lines, spare);
            stack.push_back(std::move(nf));
            f = &stack.back();
        }
        f->delta = c;
        f->next_child = 0;
        f->buffers = std::move(buffers);
        f->owned_bytes = owned;
        pack(e, f);
        if (int r = visit(*f))
            return r;
    }
    return 0;
}

}   // namespace

int rcs_build_texts(const rcs_element *e, const std::vector<size_t> &wanted,
                    const std::function<int(size_t index, std::string_view text)> &fn, std::string *why) {
    walker w{e, why, {}, {}, {}, {}};
    if (wanted.empty())
        return 0;
    auto hit = e->delta_by_rev.find(e->head);
    if (hit == e->delta_by_rev.end())
        return w.fail("the head revision " + e->head + " is not in the archive");
    size_t head = hit->second;
    if (int r = build_tree(&w, head))
        return r;
    size_t n = e->deltas.size();
    w.needed.assign(n, 0);
    w.wanted.assign(n, 0);
    for (size_t i : wanted) {
        if (i >= n)
            return w.fail("delta index " + std::to_string(i) + " is beyond the archive's " +
                          std::to_string(n) + " deltas");
        w.wanted[i] = 1;
        // Mark the path up to the head; stop where it is already marked.
        size_t j = i;
        while (j != NONE && !w.needed[j]) {
            w.needed[j] = 1;
            if (j == head)
                break;
            j = w.parent[j];
        }
        if (j == NONE)
            return w.fail("revision " + w.rev(i) + " is not reachable from the head");
    }
    return walk(&w, head, fn);
}
