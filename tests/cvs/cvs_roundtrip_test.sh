#!/usr/bin/env bash
# A VOB made by migrating a real CVS repository (make_cvs_repo.sh: removed
# files in Attic and dead on a branch, vendor drops, partial tags, -kb)
# through scripts/vob-roundtrip: vantexport_vantor must carry every file
# element, the removed ones too (the view loads no file for them), so that
# the copy is equal to it, version for version, down to the origin mark each
# imported version carries.
set -euo pipefail
exporter=$1 vantimport=$2 vantor=$3 vantexport_vantor=$4 src=$5
tmp=$(mktemp -d "${TMPDIR:-/tmp}/cvs_roundtrip_test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC TMPDIR=$tmp
fail() { echo "FAILED: $*" >&2; exit 1; }

"$src/tests/cvs/make_cvs_repo.sh" "$tmp/root" "$tmp/work" > "$tmp/make.log" 2>&1 ||
  { cat "$tmp/make.log"; fail "the test repository could not be made"; }
(cd "$tmp/root/proj" && CVSROOT=$tmp/root "$exporter" -r -A -o "$tmp/data" > "$tmp/export.log" 2>&1) ||
  { cat "$tmp/export.log"; fail "the CVS export failed"; }
"$vantor" mkvob -tag /proj > /dev/null
"$vantor" mkview -tag imp -vob /proj "$tmp/view" > /dev/null
(cd "$tmp/view/proj" && CVSROOT=$tmp/root "$vantimport" "$tmp/data" > "$tmp/import.log" 2>&1) ||
  { cat "$tmp/import.log"; fail "the import failed"; }
# The files whose latest revision is dead are not in a view: the round trip
# must find them all the same.
for f in doc/old.txt doc/branchonly.txt; do
  [ ! -e "$tmp/view/proj/$f" ] || fail "$f is loaded; the test would not cover removed files"
done

VANTOR=$vantor VANTIMPORT=$vantimport VANTEXPORT_VANTOR=$vantexport_vantor \
  "$src/scripts/vob-roundtrip" --target /copy /proj > "$tmp/roundtrip.out" 2>&1 ||
  { cat "$tmp/roundtrip.out"; fail "vob-roundtrip did not find the copy equal"; }
cat "$tmp/roundtrip.out"
grep -q '^equal: 10 file elements, ' "$tmp/roundtrip.out" || fail "not the 10 file elements of the repository"

"$vantor" dump --json /proj > "$tmp/source.json"
"$vantor" dump --json /copy > "$tmp/target.json"
python3 - "$tmp/source.json" "$tmp/target.json" <<'PY' || fail "the copy differs from the source"
import json, sys
src, tgt = ({e["path"]: e for e in json.load(open(p))["elements"] if e["kind"] == "file"} for p in sys.argv[1:])
removed = {  # a dead revision is a version without contents
    "doc/old.txt": "/main/2", "doc/again.txt": "/main/2",
    "doc/branchgone.txt": "/main/VENDOR/BR/1", "doc/branchonly.txt": "/main/1",
}
bad = []
for path, vid in removed.items():
    v = {x["id"]: x for x in tgt.get(path, {}).get("versions", [])}.get(vid)
    if v is None or v.get("sha256") is not None:
        bad.append("%s@@%s: not a version without contents in the copy" % (path, vid))
origins = 0
for path, e in src.items():
    tv = {x["id"]: x for x in tgt[path]["versions"]}
    for v in e["versions"]:
        a = (v.get("attributes") or {}).get("vantor_import_origin")
        b = (tv[v["id"]].get("attributes") or {}).get("vantor_import_origin")
        origins += a is not None
        if a != b:
            bad.append("%s@@%s: vantor_import_origin: source %r, target %r" % (path, v["id"], a, b))
if origins < 20:
    bad.append("only %d versions carry vantor_import_origin" % origins)
print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
echo "cvs_roundtrip_test passed"
