// Turning a version's ExtractCmd into a shell command that writes its contents.
//
// A command is a template in printf's manner: "%%" stands for one "%" (the
// exporters double every "%" of the names they write into it), and
// exporters leave places in their commands for the importer to fill:
//   - the first "%s%c" takes the export-from directory and "/";
//   - the last "%s" after it takes the path of the output file: in RCS's
//     `> "%s"` it is the redirection target, in PVCS's `"...(%s)"` it is the
//     workfile in brackets that `get` writes;
//   - a command ending in "> " (CVS) gets the quoted output path appended;
//   - a `ssafeget` command writes a file named by its last quoted argument
//     into its current directory, so it runs in a directory of its own.
// Values filled into a place inside double quotes are escaped for them; a
// place outside quotes gets a single-quoted value.
#pragma once

#include <memory>
#include <string>

struct imp_rcs_batch;

enum imp_extract_mode {
    IMP_EXTRACT_OUTPUT_FILE = 0,   // the command writes out_path
    IMP_EXTRACT_LEAF_IN_DIR = 1,   // run in work_dir; the contents land in work_dir/leaf
};

struct imp_extract_job {
    std::string command;   // the shell command, ready to run
    int mode = IMP_EXTRACT_OUTPUT_FILE;
    std::string out_path;   // where the contents are found afterwards
    std::string work_dir;   // mode 1: created empty before the run
    // Set instead of a command: an element's revisions read from their
    // archive, each slot with a command of its own to fall back on.
    std::shared_ptr<imp_rcs_batch> batch;
};

// Fills the template. out_path: the temporary file for the contents; work_dir:
// a directory path (not yet created) to use for ssafeget. 0, or 1 with *why
// telling what is wrong with the template.
int imp_extract_fill(const std::string &tmpl, const std::string &export_from_dir, const std::string &out_path,
                     const std::string &work_dir, imp_extract_job *job, std::string *why);
