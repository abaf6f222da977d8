// Reading RCS and CVS revisions in process (see imp_inproc.h).
#include "platform/import/imp_inproc.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/import/imp_pool.h"
#include "rcsarchive/rcs_archive.h"
#include "rcsarchive/rcs_keyword.h"
#include "rcsarchive/rcs_msgs.h"
#include "rcsarchive/rcs_rev.h"
#include "rcsarchive/rcs_text.h"
#include "runtime/fileutl.h"
#include "runtime/strutl.h"

namespace {

// Contents larger than this wait in a file, not in memory, until the import
// takes them: a file costs them little next to their storing.
const size_t KEEP_IN_MEMORY = size_t(1) << 20;

// A path that the tools would print as given: absolute, with no empty, "."
// or ".." component and no trailing "/".
bool clean_absolute(const std::string &p) {
    if (p.size() < 2 || p[0] != '/' || p.back() == '/')
        return false;
    size_t i = 1;
    while (i <= p.size()) {
        size_t e = p.find('/', i);
        if (e == std::string::npos)
            e = p.size();
        std::string_view c(p.data() + i, e - i);
        if (c.empty() || c == "." || c == "..")
            return false;
        i = e + 1;
    }
    return true;
}

// The part of a template between two fixed texts, with "%%" undone; false
// when it holds a lone "%" or a character that the shell would act on inside
// double quotes (the tool would then see another path).
bool literal_part(std::string_view s, std::string *out) {
    out->clear();
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"' || c == '\\' || c == '$' || c == '`' || c == '\n' || c == '\0')
            return false;
        if (c == '%') {
            if (i + 1 >= s.size() || s[i + 1] != '%')
                return false;
            ++i;
        }
        *out += c;
    }
    return !out->empty();
}

// "PREFIX<rev>MIDDLE<rest>SUFFIX": the revision and the part between.
bool split_form(const std::string &t, std::string_view prefix, std::string_view middle,
                std::string_view suffix, std::string *rev, std::string *rest) {
    std::string_view s(t);
    if (s.size() < prefix.size() + middle.size() + suffix.size() || s.substr(0, prefix.size()) != prefix ||
        s.substr(s.size() - suffix.size()) != suffix)
        return false;
    s = s.substr(prefix.size(), s.size() - prefix.size() - suffix.size());
    size_t m = s.find(middle);
    if (m == std::string_view::npos)
        return false;
    *rev = std::string(s.substr(0, m));
    if (!rcs_is_revision(*rev) || rev->size() > RCS_REV_MAX)
        return false;
    return literal_part(s.substr(m + middle.size()), rest);
}

bool env_off(const char *name) {
    const char *v = std::getenv(name);
    if (!v)
        return false;
    std::string s = v;
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s == "0" || s == "no" || s == "off" || s == "false";
}

// The repository's own keyword settings change what cvs writes.
bool cvs_config_sets_keywords(const std::string &root) {
    std::ifstream in(root + "/CVSROOT/config");
    std::string line;
    while (std::getline(in, line)) {
        size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos || line[b] == '#')
            continue;
        if (line.compare(b, 12, "LocalKeyword") == 0 || line.compare(b, 13, "KeywordExpand") == 0)
            return true;
    }
    return false;
}

std::string locker_of(const rcs_element *e, const std::string &rev) {
    for (const std::string &l : rcs_read_locks(e)) {
        size_t colon = l.rfind(':');
        if (colon != std::string::npos && l.compare(colon + 1, std::string::npos, rev) == 0)
            return l.substr(0, colon);
    }
    return "";
}

// Hands one slot its contents: in memory when they are small and the budget
// has room for them, else in the slot's file.
bool deliver(imp_rcs_batch *b, imp_rcs_slot *s, const std::string &bytes) {
    int64_t n = int64_t(bytes.size());
    bool small = bytes.size() <= KEEP_IN_MEMORY;
    if (small && (!b->mem || imp_mem_take(b->mem, n))) {
        s->bytes = bytes;
        s->held = b->mem ? n : 0;
        s->in_process = true;
        return true;
    }
    std::ofstream out(s->job.out_path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        return false;
    if (small) {
        std::lock_guard<std::mutex> g(b->mem->lock);
        b->mem->spilled++;
        b->mem->spilled_bytes += n;
    }
    s->in_file = true;
    s->in_process = true;
    return true;
}

// A stop request or a stopping pool ends the work of a batch.
bool stop_asked(imp_pool *pool) {
    return pool && (imp_pool_stopping(pool) || (pool->cancelled && pool->cancelled()));
}

const int WALK_STOPPED = 2;

// Reads what can be read for certain; the rest is left for the commands, with
// *why saying why.
void read_in_process(imp_rcs_batch *b, imp_pool *pool, std::string *why) {
    rcs_quiet_scope hush;
    std::string path = b->archive;
    if (b->tool == RCS_KW_CVS && !fileutl_is_file(path))
        path = b->attic;
    rcs_element *raw = nullptr;
    if (rcs_open(path.c_str(), "", &raw, '.', true) != 0) {
        *why = "the archive \"" + path + "\" cannot be read here";
        return;
    }
    std::unique_ptr<rcs_element, void (*)(rcs_element *)> e(raw, rcs_close);
    for (const std::string &p : e->newphrases)
        if (p != "commitid") {
            *why = "the archive \"" + path + "\" holds the phrase \"" + p + "\"";
            return;
        }
    rcs_kmode mode;
    if (rcs_kmode_parse(e->expand, &mode)) {
        *why = "the archive \"" + path + "\" has the expand mode \"" + e->expand.value_or("") + "\"";
        return;
    }
    std::map<size_t, std::vector<size_t>> slots_of;   // delta index -> slots
    std::vector<size_t> wanted;
    for (size_t i = 0; i < b->slots.size(); ++i) {
        const rcs_delta *d = rcs_find_delta(e.get(), b->slots[i].rev);
        // cvs prints nothing for a removed revision, with a status of its own.
        if (!d || (b->tool == RCS_KW_CVS && d->state == "dead"))
            continue;
        size_t idx = size_t(d - e->deltas.data());
        if (slots_of[idx].empty())
            wanted.push_back(idx);
        slots_of[idx].push_back(i);
    }
    rcs_kw_values v;
    v.tool = rcs_kw_tool(b->tool);
    v.mode = mode;
    v.source = path;
    std::string dir;
    fileutl_strip_leaf(path, &dir, &v.rcsfile);
    v.comment = e->comment;
    std::string expanded, kw_why;
    int rc = rcs_build_texts(
        e.get(), wanted,
        [&](size_t idx, std::string_view text) {
            if (stop_asked(pool))
                return WALK_STOPPED;
            const rcs_delta &d = e->deltas[idx];
            v.revision = d.rev;
            v.date = d.date;
            v.author = d.author;
            v.state = d.state;
            v.locker = locker_of(e.get(), d.rev);
            v.log = rcs_read_log(e.get(), idx).value_or("");
            if (rcs_expand_keywords(text, v, &expanded, &kw_why)) {
                if (why->empty())
                    *why = "revision " + d.rev + ": " + kw_why;
                return 0;
            }
            for (size_t s : slots_of[idx])
                if (!deliver(b, &b->slots[s], expanded) && why->empty())
                    *why = "cannot write \"" + b->slots[s].job.out_path + "\"";
            return 0;
        },
        &kw_why);
    if (rc == WALK_STOPPED) {
        *why = "the import was stopped";
        return;
    }
    if (rc && why->empty())
        *why = kw_why;
    for (const imp_rcs_slot &s : b->slots)
        if (!s.in_process && why->empty())
            *why = "revision " + s.rev + " is not in the archive \"" + path + "\" or was removed";
}

}   // namespace

void imp_inproc_configure(imp_inproc_cfg *cfg) {
    *cfg = imp_inproc_cfg();
    if (env_off("VANTOR_IMPORT_INPROCESS")) {
        cfg->why_not = "VANTOR_IMPORT_INPROCESS turns it off";
        return;
    }
    const char *rcsinit = std::getenv("RCSINIT");
    cfg->rcs = !rcsinit || !*rcsinit;
    if (!cfg->rcs)
        cfg->why_not = "RCSINIT gives co options of its own";
    const char *root = std::getenv("CVSROOT");
    std::string r = root ? root : "";
    if (r.rfind(":local:", 0) == 0)
        r.erase(0, 7);
    const char *home = std::getenv("HOME");
    if (!clean_absolute(r)) {
        cfg->why_not += (cfg->why_not.empty() ? "" : "; ") + std::string("CVSROOT is not a plain local path");
    } else if (home && *home && fileutl_is_file(std::string(home) + "/.cvsrc")) {
        cfg->why_not +=
            (cfg->why_not.empty() ? "" : "; ") + std::string("~/.cvsrc gives cvs options of its own");
    } else if (cvs_config_sets_keywords(r)) {
        cfg->why_not += (cfg->why_not.empty() ? "" : "; ") + std::string("CVSROOT/config sets keywords");
    } else {
        cfg->cvs = true;
        cfg->cvsroot = r;
    }
}

int imp_rcs_recognise(const imp_inproc_cfg &cfg, const std::string &tmpl, const std::string &from_dir,
                      imp_rcs_cmd *out) {
    std::string rev, rest;
    if (cfg.rcs && split_form(tmpl, "co -q -r", " -p \"%s%c", "\" > \"%s\"", &rev, &rest)) {
        std::string path = from_dir + "/" + rest;
        if (!clean_absolute(path))
            return 0;
        out->tool = RCS_KW_CO;
        out->rev = rev;
        out->archive = path;
        out->attic.clear();
        return 1;
    }
    if (cfg.cvs && split_form(tmpl, "cvs -Q get -r", " -p \"", "\" > ", &rev, &rest)) {
        std::string path = cfg.cvsroot + "/" + rest;
        if (rest[0] == '/' || !clean_absolute(path))
            return 0;
        out->tool = RCS_KW_CVS;
        out->rev = rev;
        out->archive = path + ",v";
        size_t slash = path.rfind('/');
        out->attic = path.substr(0, slash) + "/Attic" + path.substr(slash) + ",v";
        return 1;
    }
    return 0;
}

int64_t imp_mem_default_limit(std::string *warning) {
    const int64_t mb = int64_t(1) << 20;
    int64_t fallback = int64_t(IMP_MEM_DEFAULT_MB) * mb;
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0)
        fallback = std::min(fallback, int64_t(pages) / 8 * int64_t(page));
    const char *env = std::getenv("VANTOR_IMPORT_MEMORY_MB");
    if (!env || !*env)
        return fallback;
    long n = 0;
    if (!strutl_strtol(env, 10, &n) || n < 0 || n > IMP_MEM_MAX_MB) {
        *warning = "VANTOR_IMPORT_MEMORY_MB=\"" + std::string(env) + "\" is not a number from 0 to " +
                   std::to_string(int(IMP_MEM_MAX_MB)) + "; using " + std::to_string(fallback / mb);
        return fallback;
    }
    return int64_t(n) * mb;
}

int imp_mem_take(imp_mem_budget *m, int64_t n) {
    std::lock_guard<std::mutex> g(m->lock);
    if (n > m->limit - m->held)
        return 0;
    m->held += n;
    m->peak = std::max(m->peak, m->held);
    return 1;
}

void imp_mem_give(imp_mem_budget *m, int64_t n) {
    std::lock_guard<std::mutex> g(m->lock);
    m->held -= n;
}

int imp_mem_full(imp_mem_budget *m) {
    std::lock_guard<std::mutex> g(m->lock);
    return m->held >= m->limit ? 1 : 0;
}

imp_rcs_batch::~imp_rcs_batch() {
    int64_t n = 0;
    for (const imp_rcs_slot &s : slots)
        n += s.held;
    if (mem && n > 0)
        imp_mem_give(mem, n);
}

void imp_rcs_batch_run(imp_rcs_batch *b, bool keep_files, imp_pool *pool) {
    read_in_process(b, pool, &b->why_commands);
    for (imp_rcs_slot &s : b->slots) {
        if (s.in_process)
            continue;
        if (stop_asked(pool)) {
            s.status = 1;
            s.stopped = true;
            s.message = "the import was stopped before the command ran: " + s.job.command;
            continue;
        }
        imp_fetch_result res;
        imp_run_job(s.job, keep_files, &res, pool);
        s.status = res.status;
        s.message = res.message;
        s.in_file = true;
    }
}
