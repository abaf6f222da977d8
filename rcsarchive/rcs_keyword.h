// Keyword expansion, as `co -p` and `cvs checkout -p` write a revision.
//
// A keyword is "$Name$" or "$Name: value $" with Name one of Author, Date,
// Header, Id, Locker, Log, Name, RCSfile, Revision, Source, State, and no line
// end between the two "$". Expansion rewrites each according to the mode:
//   kv   "$Id: value $"          (the default)
//   kvl  as kv, and Locker names the locker of a locked revision
//   k    "$Id$"                  (values dropped)
//   o    the text as stored      (nothing rewritten)
//   b    as o                    (binary)
//   v    "value"                 (the keyword and its "$" dropped)
// $Log$ also inserts, after its line, the revision's log message, each line
// behind the comment leader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum rcs_kmode { RCS_K_KV, RCS_K_KVL, RCS_K_K, RCS_K_O, RCS_K_B, RCS_K_V };

// The mode an archive's "expand" phrase names; no phrase is kv. 0; 1 for a
// value the tools do not define (the caller then leaves the work to them).
int rcs_kmode_parse(const std::optional<std::string> &expand, rcs_kmode *out);

// Whose output to reproduce: the two differ in small ways (see the .cpp).
enum rcs_kw_tool { RCS_KW_CO, RCS_KW_CVS };

// Everything the keywords of one revision expand to.
struct rcs_kw_values {
    rcs_kw_tool tool = RCS_KW_CO;
    rcs_kmode mode = RCS_K_KV;
    // $Source$ and the path of $Header$: the archive's path as the tool names
    // it. co: the path it was given, made absolute. cvs: the archive's real
    // path under the repository, "Attic/" included for a file removed on the
    // trunk ($CVSROOT/module/Attic/file,v).
    std::string source;
    std::string rcsfile;    // $RCSfile$ and the first word of $Id$: the archive's leaf ("a.c,v")
    std::string revision;   // "1.2"
    std::string date;   // the delta's date as the archive writes it ("2020.01.31.12.00.00" or "99.01.31...")
    std::string author;
    std::string state;
    std::string locker;   // the user holding a lock on this revision; empty when none
    std::string name;     // $Name$: the symbol checked out; empty when checked out by number
    std::string log;      // the revision's log message, for $Log$
    // The archive's "comment" phrase. Neither tool takes it as the $Log$
    // leader (the text before "$Log" on its line is); kept for callers.
    std::optional<std::string> comment;
};

// Writes `text` with its keywords expanded into *out. 0; 1 with *why (and
// *out empty) when what the tool would write cannot be known for certain (a
// value that the tool would escape, a form this code does not reproduce); the
// caller then runs the tool instead. The forms refused are listed in the .cpp.
int rcs_expand_keywords(std::string_view text, const rcs_kw_values &v, std::string *out, std::string *why);
