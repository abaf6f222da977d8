#!/usr/bin/env bash
# End to end against the real cvs: a repository with removed files, vendor
# drops, partial tags, empty and busy branches (make_cvs_repo.sh) is exported
# with vantexport_cvs -r -A and imported with vantimport; scripts/verify-cvs
# must find HEAD, every tag and every branch equal to the cvs checkouts. Then
# one more cvs commit must be found as a difference.
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

(cd "$tmp/root/proj" && CVSROOT=$tmp/root "$exporter" -r -A -o "$tmp/data" > "$tmp/export.log" 2>&1) ||
  { cat "$tmp/export.log"; fail "the export failed"; }
grep -q 'in Attic directories' "$tmp/export.log" && { cat "$tmp/export.log"; fail "an Attic notice with -A"; }
"$vantor" mkvob -tag /proj > /dev/null
"$vantor" mkview -tag imp -vob /proj "$tmp/view" > /dev/null
(cd "$tmp/view/proj" && CVSROOT=$tmp/root "$vantimport" "$tmp/data" > "$tmp/import.log" 2>&1) ||
  { cat "$tmp/import.log"; fail "the import failed"; }
# Removed files are versions without contents: the view leaves them out, and says so.
grep -q 'The view leaves out 2 names' "$tmp/import.log" || { cat "$tmp/import.log"; fail "no count of left-out names"; }

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
(cd "$edge" && CVSROOT=$tmp/root "$exporter" -r -A -o "$tmp/edge.data" > "$tmp/edge.log" 2>&1) ||
  { cat "$tmp/edge.log"; fail "the export of edge failed"; }
"$vantor" mkvob -tag /edge > /dev/null
"$vantor" mkview -tag edge -vob /edge "$tmp/edgeview" > /dev/null
(cd "$tmp/edgeview/edge" && CVSROOT=$tmp/root "$vantimport" "$tmp/edge.data" > "$tmp/edge.import" 2>&1) ||
  { cat "$tmp/edge.import"; fail "the import of edge failed"; }
VANTOR=$vantor "$src/scripts/verify-cvs" "$tmp/root" edge /edge > "$tmp/edge.out" 2>&1 ||
  { cat "$tmp/edge.out"; fail "verify-cvs found differences in edge"; }
cat "$tmp/edge.out"
for s in 'HEAD: equal (1 files' 'tag REL_1: equal (3 files' 'tag V1: equal (2 files' 'branch BR: equal (3 files'; do
  grep -q "^$s" "$tmp/edge.out" || fail "no line $s"
done
(cd "$tmp/edgeview/edge" && "$vantor" lsvtree live.c && "$vantor" describe live.c@@/main/LATEST) > "$tmp/edge.tree"
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
echo "verify_cvs_test passed"
