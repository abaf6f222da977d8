#!/usr/bin/env bash
# End to end against the real cvs: a repository with removed files, vendor
# drops, partial tags, empty and busy branches (make_cvs_repo.sh) is exported
# with vantexport_cvs -r -A and imported with vantimport; scripts/verify-cvs
# must find HEAD, every tag and every branch equal to the cvs checkouts. Then
# one more cvs commit must be found as a difference, and later imports of the
# whole module (new and moved tags, a branch commit) must bring the VOB up to
# date, labels included, and then change nothing.
set -euo pipefail
exporter=$1 vantimport=$2 vantor=$3 src=$4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/verify_cvs_test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC
fail() { echo "FAILED: $*" >&2; exit 1; }

"$src/tests/cvs/make_cvs_repo.sh" "$tmp/root" "$tmp/work" > "$tmp/make.log" 2>&1 ||
  { cat "$tmp/make.log"; fail "the test repository could not be made"; }

# Without -A the archives in Attic are left out, and the exporter says so.
(cd "$tmp/root/proj" && CVSROOT=$tmp/root "$exporter" -r -o "$tmp/noattic" > /dev/null 2> "$tmp/noattic.err")
grep -q '2 archives in Attic' "$tmp/noattic.err" || { cat "$tmp/noattic.err"; fail "no notice of the Attic archives"; }

# migrate MODULE VIEW RUN: exports the module whole into $tmp/RUN.data and
# imports it into the VOB /MODULE through VIEW (made with the VOB the first time).
migrate() {
  local module=$1 view=$2 run=$3
  (cd "$tmp/root/$module" && CVSROOT=$tmp/root "$exporter" -r -A -o "$tmp/$run.data" > "$tmp/$run.export" 2>&1) ||
    { cat "$tmp/$run.export"; fail "export $run failed"; }
  if [ ! -d "$view" ]; then
    "$vantor" mkvob -tag "/$module" > /dev/null
    "$vantor" mkview -tag "$run" -vob "/$module" "$view" > /dev/null
  fi
  (cd "$view/$module" && CVSROOT=$tmp/root "$vantimport" "$tmp/$run.data" > "$tmp/$run.import" 2>&1) ||
    { cat "$tmp/$run.import"; fail "import $run failed"; }
}
migrate proj "$tmp/view" first
grep -q 'in Attic directories' "$tmp/first.export" && { cat "$tmp/first.export"; fail "an Attic notice with -A"; }
# Removed files are versions without contents: the view leaves them out, and says so.
grep -q 'The view leaves out 2 names' "$tmp/first.import" || { cat "$tmp/first.import"; fail "no count of left-out names"; }

VANTOR=$vantor "$src/scripts/verify-cvs" "$tmp/root" proj /proj > "$tmp/verify.out" 2>&1 ||
  { cat "$tmp/verify.out"; fail "verify-cvs found differences"; }
cat "$tmp/verify.out"
for s in HEAD 'tag REL_1' 'tag PARTIAL' 'tag ON_DEAD' 'tag BR_TAG' 'tag V1' 'tag V2' \
         'branch BR' 'branch EMPTY_BR' 'branch VENDOR'; do
  grep -q "^$s: equal" "$tmp/verify.out" || fail "no equal line for $s"
done
grep -q '^HEAD: equal (8 files' "$tmp/verify.out" || fail "HEAD should hold 8 files"
grep -q '^branch BR: equal (8 files' "$tmp/verify.out" || fail "BR should hold 8 files"

# Three files a checkout of the module does not show, although their trunk
# ends live: an archive without revisions, one in Attic, one whose default
# branch has no revisions. Their main branches end with a removal, and their
# tags and branches still come through.
edge=$tmp/root/edge
mkdir -p "$edge/Attic"
cp "$tmp/root/proj/src/local.c,v" "$edge/Attic/live.c,v"
cp "$tmp/root/proj/keys.txt,v" "$edge/nodefault.txt,v"
rcs -q -b1.1.7 "$edge/nodefault.txt,v"
printf 'head\t;\naccess;\nsymbols;\nlocks; strict;\ncomment\t@# @;\n\n\ndesc\n@@\n' > "$edge/empty.txt,v"
cp "$tmp/root/proj/doc/plain.txt,v" "$edge/plain.txt,v"
migrate edge "$tmp/edgeview" edge
VANTOR=$vantor "$src/scripts/verify-cvs" "$tmp/root" edge /edge > "$tmp/edge.out" 2>&1 ||
  { cat "$tmp/edge.out"; fail "verify-cvs found differences in edge"; }
cat "$tmp/edge.out"
for s in 'HEAD: equal (1 files' 'tag REL_1: equal (3 files' 'tag V1: equal (2 files' 'branch BR: equal (3 files'; do
  grep -q "^$s" "$tmp/edge.out" || fail "no line $s"
done
(cd "$tmp/edgeview/edge" && "$vantor" lsvtree -s live.c && "$vantor" describe live.c@@/main/LATEST) > "$tmp/edge.tree"
grep -q '^/main/BR/1' "$tmp/edge.tree" || { cat "$tmp/edge.tree"; fail "live.c lost its branch"; }
grep -q 'comment: Removed: the archive lies in Attic' "$tmp/edge.tree" || { cat "$tmp/edge.tree"; fail "no removal"; }

# A commit the VOB has not seen is a difference, and verify-cvs exits 1.
(cd "$tmp/work/proj" && printf 'changed after the migration\n' > doc/plain.txt &&
   LOGNAME=alice cvs -Q -d "$tmp/root" commit -m late doc/plain.txt < /dev/null)
if VANTOR=$vantor "$src/scripts/verify-cvs" "$tmp/root" proj /proj > "$tmp/verify2.out" 2>&1; then
  cat "$tmp/verify2.out"; fail "a late commit went unnoticed"
fi
grep -q "^HEAD: 0 names and 1 files' bytes differ" "$tmp/verify2.out" || { cat "$tmp/verify2.out"; fail "wrong HEAD line"; }
grep -q "differs: doc/plain.txt" "$tmp/verify2.out" || { cat "$tmp/verify2.out"; fail "the file is not named"; }
# Later imports bring the VOB up to date, labels too: a new tag, a tag moved
# with -F, a file and a tag on a branch; the whole module exported again and
# imported into the same VOB must read like cvs for every snapshot.
(cd "$tmp/work/proj" && export CVSROOT=$tmp/root LOGNAME=bob &&
   cvs -Q tag REL_3 && cvs -Q tag -F REL_1 doc/plain.txt) < /dev/null > "$tmp/tag.log" 2>&1 ||
  { cat "$tmp/tag.log"; fail "cvs tag failed"; }
(cd "$tmp/work/br" && export CVSROOT=$tmp/root LOGNAME=bob && printf 'later on the branch\n' > doc/late.txt &&
   cvs -Q add doc/late.txt && cvs -Q commit -m 'late on BR' doc/late.txt && cvs -Q tag BR_TAG2) \
  < /dev/null > "$tmp/br.log" 2>&1 || { cat "$tmp/br.log"; fail "the branch commit failed"; }
migrate proj "$tmp/view" second
grep -qi 'warning' "$tmp/second.import" && { cat "$tmp/second.import"; fail "warnings in the second import"; }
VANTOR=$vantor "$src/scripts/verify-cvs" "$tmp/root" proj /proj > "$tmp/verify3.out" 2>&1 ||
  { cat "$tmp/verify3.out" "$tmp/second.import"; fail "verify-cvs found differences after the second import"; }
for s in 'tag REL_3' 'tag REL_1' 'tag BR_TAG2' 'branch BR'; do
  grep -q "^$s: equal" "$tmp/verify3.out" || { cat "$tmp/verify3.out"; fail "no equal line for $s"; }
done
# A label alone makes the view: the directories above what it marks carry it.
(mkdir "$tmp/co3" && cd "$tmp/co3" && cvs -Q -d "$tmp/root" checkout -P -r REL_3 -d tree proj) > /dev/null 2>&1 ||
  fail "cvs checkout -r REL_3 failed"
printf 'element * REL_3\n' > "$tmp/cs3"
"$vantor" mkview -tag lab -vob /proj "$tmp/lab" > /dev/null && "$vantor" setcs "$tmp/cs3" "$tmp/lab" > /dev/null ||
  fail "the label view could not be made"
"$vantor" diff -r -prune "$tmp/lab/proj" "$tmp/co3/tree" > "$tmp/lab.diff" 2>&1 ||
  { cat "$tmp/lab.diff"; fail "the view of REL_3 alone differs from cvs checkout -r REL_3"; }
# A third round with nothing new: no version made, no label added or moved.
migrate proj "$tmp/view" third
grep -q 'Nothing new to import' "$tmp/third.import" || { cat "$tmp/third.import"; fail "the third import made something"; }
grep -q 'Labels: 0 added, 0 moved' "$tmp/third.import" || { cat "$tmp/third.import"; fail "the third import moved labels"; }
VANTOR=$vantor "$src/scripts/verify-cvs" "$tmp/root" proj /proj > "$tmp/verify4.out" 2>&1 ||
  { cat "$tmp/verify4.out"; fail "verify-cvs found differences after the third import"; }
echo "verify_cvs_test passed"
