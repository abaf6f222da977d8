// Revisions of RCS and CVS archives read in the import's own process.
//
// The RCS exporter writes one of two extract commands for each revision:
//   co -q -rREV -p "%s%c<archive>" > "%s"     (RCS and SI; the archive below ExportFromDir)
//   cvs -Q get -rREV -p "<path>" >            (CVS; the file's path below $CVSROOT)
// For a command of exactly one of these forms the import rebuilds the revision
// from the archive and expands its keywords as the tool would, instead of
// starting one process per revision. Everything that could make the tool's
// bytes differ sends a revision back to its command: a tool setting that
// changes the output (RCSINIT, ~/.cvsrc, the repository's keyword settings),
// a path the shell or the tool would rewrite, a phrase outside RCS's grammar
// (CVSNT's options and the like), an expand mode or keyword the expansion
// does not reproduce, a script that does not apply. VANTOR_IMPORT_INPROCESS=0
// turns the reader off, so that any doubt can be settled against the tools.
//
// The revisions of one element from one archive form a batch that one worker
// of the pool reads together: the archive is read once and each delta applied
// once however many of its revisions are wanted.
//
// The contents the batches hold in memory count against one byte budget for
// the run (VANTOR_IMPORT_MEMORY_MB). A revision that does not fit waits in its
// slot's file in the run's temporary directory, as a command's output would,
// so no batch waits for memory: one larger than the budget, or a revision
// larger than the whole budget, goes through all the same.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/import/imp_extract.h"

struct imp_pool;

// What the run's environment allows, decided once before the first element.
struct imp_inproc_cfg {
    bool rcs = false, cvs = false;   // each form may be read in process
    std::string cvsroot;             // CVS: the repository root, as cvs names it
    std::string why_not;             // a reason the reader is off or limited, for -debug
};
void imp_inproc_configure(imp_inproc_cfg *cfg);

// Invariant: held <= limit; held counts the bytes of the slots that hold
// their contents in memory, given back when their batch is destroyed.
struct imp_mem_budget {
    std::mutex lock;
    int64_t limit = 0;
    int64_t held = 0, peak = 0;
    long spilled = 0;   // revisions that went to a file for want of room
    int64_t spilled_bytes = 0;
};
// The budget in bytes: VANTOR_IMPORT_MEMORY_MB when it is a number of MB from
// 0 to IMP_MEM_MAX_MB, else the default (IMP_MEM_DEFAULT_MB, or an eighth of
// the physical memory when that is less). A value that is set but unusable
// gives *warning. What waits in a file is written and read once more, which
// an archive's whole trunk always needs beyond the budget (its walk starts
// at the newest revision, the import at the oldest): the default keeps a few
// hundred revisions of a MB in memory.
enum { IMP_MEM_DEFAULT_MB = 256, IMP_MEM_MAX_MB = 1 << 20 };
int64_t imp_mem_default_limit(std::string *warning);
// 1 when n more bytes fit (they are then held), else 0.
int imp_mem_take(imp_mem_budget *m, int64_t n);
void imp_mem_give(imp_mem_budget *m, int64_t n);
// 1 when nothing more fits.
int imp_mem_full(imp_mem_budget *m);

// One command of either form, taken apart.
struct imp_rcs_cmd {
    int tool = 0;          // rcs_kw_tool
    std::string rev;       // "1.2.1.3"
    std::string archive;   // the archive's path as the tool would open it
    std::string attic;     // CVS: the archive's place once the file was removed
};
// 1 when tmpl is exactly one of the two forms and cfg lets it be read here.
int imp_rcs_recognise(const imp_inproc_cfg &cfg, const std::string &tmpl, const std::string &from_dir,
                      imp_rcs_cmd *out);

// One revision of a batch: in, its command (ready to run); out, its contents.
struct imp_rcs_slot {
    std::string rev;
    imp_extract_job job;
    int status = 0;            // 0: the contents are there
    std::string message;       // the failure, naming the command
    bool in_process = false;   // read here, not by the command
    bool in_file = false;      // the contents are in job.out_path (else in bytes)
    bool stopped = false;      // status: a stop request came first
    std::string bytes;
    int64_t held = 0;   // of bytes, counted against the batch's budget
};
struct imp_rcs_batch {
    int tool = 0;
    std::string archive, attic;
    std::vector<imp_rcs_slot> slots;
    std::string why_commands;   // when some slots ran their command: why
    // Null: each slot up to a MB in memory, with no budget over them.
    imp_mem_budget *mem = nullptr;

    imp_rcs_batch() = default;
    imp_rcs_batch(const imp_rcs_batch &) = delete;
    imp_rcs_batch &operator=(const imp_rcs_batch &) = delete;
    ~imp_rcs_batch();
};
// Fills every slot: read in process where that is certain, else by running
// the slot's command (through the pool, so that a stop request ends it, and
// ends a walk of the archive too).
void imp_rcs_batch_run(imp_rcs_batch *b, bool keep_files, imp_pool *pool);
