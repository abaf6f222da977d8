// The vantor command's message catalog (module "vantor_cmd").
#pragma once

#include "runtime/imsg.h"

const imsg_catalog *vantor_cmd_vantor_msg_table_adr();

#define VANTOR_MESSAGES(X)                                                                            \
    X(VT_USAGE,                                                                                       \
      "Usage: vantor COMMAND [ARGUMENTS]\n"                                                           \
      "  mkvob -tag TAG [-project] [STORAGE-DIR]     rmvob [-force] TAG     lsvob\n"                  \
      "  mkview -tag VIEWTAG [-vob TAG]... DIR       rmview [-force] DIR     update [DIR]\n"          \
      "  lsview [-long]\n"                                                                            \
      "  setcs FILE [DIR]                            catcs [DIR]\n"                                   \
      "  lsvtree [-l] [-all] [-s] PATH   describe PATH[@@VERSION]   cat PATH[@@VERSION]\n"            \
      "  diff [-r] [-prune] VIEW-PATH DIR\n"                                                          \
      "  mkelem [-dir] [-eltype TYPE] [-ci] [-c COMMENT] PATH...\n"                                   \
      "  checkout [-unreserved] [-c COMMENT] PATH...   checkin [-c COMMENT] [-from FILE] PATH\n"      \
      "  uncheckout PATH...\n"                                                                        \
      "  mkbrtype|mklbtype|mkattype|mkhltype|mkeltype [-c COMMENT] [-vob TAG] NAME...\n"              \
      "  mkbranch [-c COMMENT] BRTYPE PATH[@@VERSION]\n"                                              \
      "  mklabel [-replace] LABEL PATH[@@VERSION]...\n"                                               \
      "  mkattr [-element] ATTRTYPE VALUE PATH[@@VERSION]\n"                                          \
      "  merge -to PATH[@@VERSION] FROM-VERSION\n"                                                    \
      "  lock [-obsolete] PATH[@@BRANCH]             unlock PATH[@@BRANCH]\n"                         \
      "  rmver -data PATH@@VERSION\n"                                                                 \
      "  dump --json TAG\n"                                                                           \
      "  check TAG\n"                                                                                 \
      "  mkproject [-title TEXT] [-modcomp COMP[,COMP...]] [-c COMMENT] PROJECT\n"                    \
      "  mkcomp -root DIR [-c COMMENT] COMPONENT\n"                                                   \
      "  mkbl -import -label LABEL -comp COMPONENT [-c COMMENT] [BASELINE]\n"                         \
      "  mkbl -comp COMPONENT [-c COMMENT] BASELINE\n"                                                \
      "  mkstream -integration|-development -project PROJECT [-baseline BL[,BL...]]\n"                \
      "           [-c COMMENT] STREAM\n"                                                              \
      "  rebase STREAM BASELINE...                   rmproject PROJECT     rmstream STREAM\n"         \
      "  lsproject|lscomp [-long] [SELECTOR | -pvob TAG]\n"                                           \
      "  lsbl [-long] [-comp COMPONENT] [SELECTOR | -pvob TAG]\n"                                     \
      "  lsstream [-long] [-project PROJECT] [SELECTOR | -pvob TAG]\n"                                \
      "  mkview -stream STREAM [-tag VIEWTAG] DIR")                                                   \
    X(VT_UNKNOWN_CMD, "Unknown command \"%s\"; \"vantor help\" lists the commands")                   \
    X(VT_MISSING_ARG, "%s: missing argument: %s")                                                     \
    X(VT_BAD_OPTION, "%s: unknown option \"%s\"")                                                     \
    X(VT_EXTRA_ARG, "%s: unexpected argument \"%s\"")                                                 \
    X(VT_NEED_VIEW, "%s: \"%s\" is not inside a snapshot view")                                       \
    X(VT_CREATED_VOB, "Created VOB \"%s\" at \"%s\"")                                                 \
    X(VT_CREATED_VIEW, "Created view \"%s\" at \"%s\"")                                               \
    X(VT_UPDATED, "Updated view \"%s\": %lld loaded, %lld unchanged, %lld removed, %lld kept")        \
    X(VT_PROGRESS, "\rLoading view: %lld entries")                                                    \
    X(VT_WARN_TEXT, "%s")                                                                             \
    X(VT_ERR_TEXT, "%s")                                                                              \
    X(VT_NOT_VERSION, "%s: \"%s\" names no version")                                                  \
    X(VT_NOT_BRANCH, "%s: \"%s\" names no branch of \"%s\"")                                          \
    X(VT_NEED_DATA, "%s: only \"-data\" is supported: versions are not removed, only their contents") \
    X(VT_NEED_TAG, "%s: no VOB given: use -vob TAG, NAME@TAG, or run it inside a VOB of a view")      \
    X(VT_LOCKED, "Locked \"%s\"%s")                                                                   \
    X(VT_CKED_OUT, "Checked out \"%s\" from version \"%s\"")                                          \
    X(VT_CKED_IN, "Checked in \"%s\" version \"%s\"")                                                 \
    X(VT_DONE, "%s")                                                                                  \
    X(VT_PROGRESS_OF, "\rLoading view: %lld/%lld entries")                                            \
    X(VT_DIFF_ONLY_VIEW, "only in view: %s")                                                          \
    X(VT_DIFF_ONLY_DIR, "only in DIR: %s")                                                            \
    X(VT_DIFF_DIFFERS, "differs: %s")                                                                 \
    X(VT_DIFF_KIND, "kind differs: %s")                                                               \
    X(VT_DIFF_SUMMARY,                                                                                \
      "%lld differences (%lld only in view, %lld only in DIR, %lld differ, %lld kind differs); "      \
      "%lld files and %lld directories on both sides")                                                \
    X(VT_VOB_LOADED,                                                                                  \
      "VOB \"%s\" is in the load scope of %s: remove those views first (rmview), or give -force "     \
      "to remove the VOB all the same")                                                               \
    X(VT_VOB_REMOVED_LOADED,                                                                          \
      "Removed VOB \"%s\", which stays in the load scope of %s: their update fails until a VOB "      \
      "with that tag is made again")                                                                  \
    X(VT_KEPT, "Kept the view's copy of \"%s\" as \"%s\"")                                            \
    X(VT_NO_CONTENTS, "Left out %lld names: the version selected for each has no contents")           \
    X(VT_HELP,                                                                                        \
      "Options:\n"                                                                                    \
      "  -tag TAG          mkvob: the new VOB's tag (\"/name\"); mkview: the new view's tag\n"        \
      "  -project          mkvob: make a project VOB\n"                                               \
      "  -project PROJECT  mkstream: the stream's project; lsstream: only its streams\n"              \
      "  -title TEXT       mkproject: the project's title (default: its name)\n"                      \
      "  -modcomp COMPS    mkproject: its modifiable components (may be given again)\n"               \
      "  -root DIR         mkcomp: the component's root, a directory element (a path\n"               \
      "                    in a view, or one beginning with a VOB tag)\n"                             \
      "  -import           mkbl: make the baseline from a label already applied\n"                    \
      "  -label LABEL      mkbl -import: the label (NAME, NAME@/vob or lbtype:NAME@/vob)\n"           \
      "  -comp COMPONENT   mkbl: the baseline's component; lsbl: only its baselines\n"                \
      "  -integration, -development  mkstream: the kind of stream\n"                                  \
      "  -baseline BLS     mkstream: the foundation (may be given again; default:\n"                  \
      "                    each modifiable component's initial baseline)\n"                           \
      "  -long             ls*: every field, with events and comments; lsview: a block\n"             \
      "                    per view\n"                                                                \
      "  -l                lsvtree: each version's date, user and comment (as -long)\n"               \
      "  -all              lsvtree: every version, not only those worth a line\n"                     \
      "  -s                lsvtree: the flat list of every version, one per line, as\n"               \
      "                    earlier releases printed it (for scripts)\n"                               \
      "  -pvob TAG         ls*: the objects of that project VOB (default: of all)\n"                  \
      "  -stream STREAM    mkview: a view that follows the stream\n"                                  \
      "  -vob TAG          mkview: a VOB the view loads (may be given again);\n"                      \
      "                    mk*type: the VOB of the new types\n"                                       \
      "  -force            rmview: cancel the view's checkouts and remove it anyway;\n"               \
      "                    rmvob: remove a VOB that views load (they keep it in their scope)\n"       \
      "  -dir              mkelem: make directory elements\n"                                         \
      "  -eltype TYPE      mkelem: the element type of the new elements\n"                            \
      "  -ci               mkelem: check the file in at once as /main/1\n"                            \
      "  -c COMMENT        the comment of what the command makes or changes\n"                        \
      "  -unreserved       checkout: leave the branch open to checkouts of other views\n"             \
      "  -from FILE        checkin: the new version's contents come from FILE\n"                      \
      "  -replace          mklabel: move the label from another version of the element\n"             \
      "  -element          mkattr: set the attribute on the element, not the version\n"               \
      "  -to PATH          merge: the version that receives the merge\n"                              \
      "  -obsolete         lock: lock as obsolete\n"                                                  \
      "  -data             rmver: remove the version's contents (the version stays)\n"                \
      "  --json            dump: the whole VOB as JSON on standard output\n"                          \
      "  -r                diff: compare the whole trees, not only the entries of VIEW-PATH\n"        \
      "  -prune            diff: a directory that holds no file counts as absent\n"                   \
      "  -Ver, -VerAll, -V, --version  print the version\n"                                           \
      "  -h, --help, help  print this text\n"                                                         \
      "Paths name files in a snapshot view, or begin with a VOB tag (/proj/src/a.c:\n"                \
      "its /main/LATEST); PATH@@VERSION names a version (PATH@@/main/dev/3,\n"                        \
      "PATH@@/main/dev/LATEST, or a label: PATH@@REL_1_0). \"--\" ends a command's\n"                \
      "options: the words after it are operands.\n"                                                   \
      "lsvtree prints the version tree: each branch under the version it sprouts\n"                   \
      "from, its versions indented below it, labels in parentheses, \"-> VERSION\"\n"                 \
      "on a version merged to VERSION. Without -all it shows versions with labels,\n"                \
      "sprouting branches or merges and the latest of each branch, and \"... N\n"                     \
      "versions\" for each run of the others. Dates are UTC, as describe prints them.\n"              \
      "lsview lists the registered views: tag, directory, and the VOBs each loads\n"                  \
      "or the stream it follows.\n"                                                                   \
      "Config specs: lines \"element [-file|-directory] PATTERN SELECTOR\", PATTERN\n"                \
      "* (every element), /TAG/PATH (that element) or /TAG/PATH/... (it and all\n"                    \
      "below it), in double quotes when it holds blanks; SELECTOR one of\n"                           \
      "CHECKEDOUT, /main/dev/LATEST, /main/dev/3, .../dev/LATEST (the branch dev\n"                   \
      "wherever it sprouts) or a label; the first rule whose pattern holds that\n"                    \
      "selects a version wins; an element no rule selects is not loaded, nor a\n"                     \
      "file whose selected version has no contents. \"#\" starts a comment.\n"                        \
      "diff compares the names and versions the view selects below VIEW-PATH (a\n"                    \
      "directory of a VOB in a snapshot view; read from the VOB, so changed copies\n"                 \
      "hide nothing; a checked-out file by its copy) with the tree DIR: names and\n"                  \
      "kinds, and file contents by SHA-256; not the executable bit or other modes,\n"                 \
      "which the VOB does not keep. It leaves out CVS, RCS, .svn and .git on both\n"                  \
      "sides and lost+found at the VOB root. It prints \"only in view: P\", \"only\n"                 \
      "in DIR: P\", \"differs: P\" or \"kind differs: P\" per difference (P relative to\n"            \
      "VIEW-PATH, sorted), then a count on standard error.\n"                                         \
      "uncheckout moves the view's copy aside to PATH.keep, or to PATH.keep.N (the\n"                 \
      "lowest N free) when that is taken, and says which; checkin -from keeps a copy\n"               \
      "that differs from FILE the same way. No file of the view is overwritten.\n"                    \
      "check reads back the contents of every version of the VOB TAG, each checked\n"                 \
      "against its recorded size and SHA-256, and prints \"PATH@@VERSION: REASON\"\n"                 \
      "per version that is not whole, then a count of elements, versions and bytes\n"                 \
      "with the time taken (progress on a terminal's standard error).\n"                              \
      "Projects live in project VOBs and are named by selectors [KIND:]NAME@PVOB\n"                   \
      "(project:web@/pvob, or web@/pvob), KIND one of project, component,\n"                          \
      "baseline, stream, lbtype; a selector given with another names its project\n"                   \
      "VOB by default. A component is a directory of a VOB with its baselines: its\n"                 \
      "initial one (the empty tree), import ones made from a label (mkbl -import),\n"                 \
      "and normal ones, which label the /main/LATEST versions (mkbl). A stream's\n"                   \
      "foundation holds one baseline per component; its first integration stream\n"                   \
      "is the project's default, which goes only with the project (rmproject).\n"                     \
      "mkview -stream makes a snapshot view selecting the foundation (a rule per\n"                   \
      "component below its root, /main/LATEST above it), loading the components'\n"                   \
      "VOBs; its tag defaults to the stream's name. update of such a view first\n"                    \
      "makes its config spec again from the stream, so a rebase shows after an\n"                     \
      "update; setcs detaches the view from the stream (and says so).\n"                              \
      "Environment:\n"                                                                                \
      "  VANTOR_HOME       the store's home, where VOBs and views are registered\n"                   \
      "                    (default: $HOME/.vantor)\n"                                                \
      "  VANTOR_BUSY_TIMEOUT_MS  how long to wait for a VOB that another process is\n"                \
      "                    writing, in milliseconds (default: 10000)\n"                               \
      "Exit status:\n"                                                                                \
      "  0  the command did all it was asked\n"                                                       \
      "  1  it failed (each failure is reported), or the command line was bad\n"                      \
      "  diff: 0 the trees are the same, 1 they differ, 2 they could not be\n"                        \
      "     compared (reported), or the command line was bad\n"                                       \
      "  check: 0 every version is whole, 1 a version is damaged or the VOB could\n"                  \
      "     not be checked (reported), or the command line was bad")                                  \
    X(VT_WRITE_FAILED, "cannot write the standard output: %s")                                        \
    X(VT_NOT_SELECTED,                                                                                \
      "\"%s\": the config spec of view \"%s\" selects no version of it or of a directory above it, "  \
      "so the view shows nothing there")                                                              \
    X(VT_VTREE_UNSELECTED, "%s; its version tree is shown all the same")                              \
    X(VT_NOT_PVOB, "VOB \"%s\" is not a project VOB (\"vantor mkvob -project -tag TAG\" makes one)")  \
    X(VT_OTHER_PVOB, "%s: \"%s\" is in project VOB \"%s\", but %s is in \"%s\"")                      \
    X(VT_NOT_DIR_ELEM, "%s: \"%s\" is not a directory element: a component's root is a directory")    \
    X(VT_LABEL_NEEDS_IMPORT,                                                                          \
      "mkbl: -label goes with -import; without -import the baseline labels the component's "          \
      "/main/LATEST versions with a new label type of the baseline's name")                           \
    X(VT_STREAM_KIND, "mkstream: give one of -integration and -development")                          \
    X(VT_ONE_OR_FILTER, "%s: a selector names one object; -%s does not go with it")                   \
    X(VT_CREATED_PROJECT, "Created project \"%s\", title \"%s\", modifiable components: %s")          \
    X(VT_CREATED_COMP, "Created component \"%s\" with root \"%s\" and initial baseline \"%s\"")       \
    X(VT_CREATED_IMPORT_BL,                                                                           \
      "Created import baseline \"%s\" of component \"%s\" from label \"%s\" of \"%s\"")               \
    X(VT_CREATED_NORMAL_BL,                                                                           \
      "Created normal baseline \"%s\" of component \"%s\": label \"%s\" on the /main/LATEST "         \
      "versions of \"%s\" and all below it")                                                          \
    X(VT_CREATED_STREAM, "Created %s stream \"%s\" of project \"%s\", foundation: %s")                \
    X(VT_DEFAULT_STREAM, "Stream \"%s\" is the default integration stream of project \"%s\"")         \
    X(VT_REBASE_CHANGED, "Stream \"%s\", component \"%s\": baseline \"%s\" (was \"%s\")")             \
    X(VT_REBASE_ADDED, "Stream \"%s\", component \"%s\": baseline \"%s\" (new in the foundation)")    \
    X(VT_REBASED, "Views that follow stream \"%s\" show its new foundation after \"vantor update\"")  \
    X(VT_REBASE_SAME, "Stream \"%s\": its foundation holds those baselines already; nothing changed") \
    X(VT_REMOVED_PROJECT, "Removed project \"%s\" and its streams: %s")                               \
    X(VT_REMOVED_STREAM, "Removed stream \"%s\"")                                                     \
    X(VT_RM_DEFAULT,                                                                                  \
      "rmstream: stream \"%s\" is the default integration stream of project \"%s\" and is not "       \
      "removed: a project keeps its default integration stream. \"vantor rmproject %s\" removes "     \
      "the project with all its streams")                                                             \
    X(VT_STREAM_VOB_OPT,                                                                              \
      "mkview: -vob does not go with -stream: a view of a stream loads the VOBs of its components")   \
    X(VT_FOLLOWS, "View \"%s\" follows stream \"%s\"")                                                \
    X(VT_CS_FROM_STREAM, "View \"%s\": config spec made again from stream \"%s\"")                    \
    X(VT_STREAM_UNREADABLE,                                                                           \
      "View \"%s\" follows stream \"%s\", which cannot be read: %s. \"vantor setcs FILE\" "           \
      "detaches the view from the stream")                                                            \
    X(VT_CHECK_PROGRESS, "Checking contents: %lld of %lld versions")                                  \
    X(VT_CHECK_DAMAGE, "%s@@%s: %s")                                                                  \
    X(VT_CHECKED,                                                                                     \
      "Checked VOB \"%s\": %lld elements, %lld versions, %lld bytes in %.2f s; "                      \
      "%lld damaged")                                                                                 \
    X(VT_CHECK_DAMAGED, "check: VOB \"%s\" has %lld damaged versions (listed above)")                 \
    X(VT_CHECK_FAILED, "check: cannot check VOB \"%s\": %s")                                          \
    X(VT_DETACHED, "View \"%s\" no longer follows stream \"%s\": its config spec is the one just set") \
    X(VT_NOT_WITH, "%s: %s does not go with %s")                                                     \
    X(VT_NO_CONTENTS_ONE, "Left out 1 name: the version selected for it has no contents")            \
    X(VT_DIFF_SUMMARY_N,                                                                              \
      "%s (%lld only in view, %lld only in DIR, %lld differ, %lld kind differs); "                    \
      "%s and %s on both sides")                                                                      \
    X(VT_CHECK_PROGRESS_N, "Checking contents: %lld of %s")                                           \
    X(VT_CHECKED_N, "Checked VOB \"%s\": %s, %s, %s in %.2f s; %lld damaged")                          \
    X(VT_CHECK_DAMAGED_N, "check: VOB \"%s\" has %s (listed above)")

IMSG_DECLARE_LISTED(vantor_msg, VANTOR_MESSAGES)