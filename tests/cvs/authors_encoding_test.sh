#!/usr/bin/env bash
# People and text through a CVS migration with the real cvs: commits by three
# logins (two in the author map, one spelt in another case), comments in
# Latin-1 and in UTF-8. Exported with --authors and --encoding, the VOB's
# events carry the full names and the comments read as UTF-8, with the
# original bytes in ORIGINAL_COMMENT; a second import changes nothing and
# verify-cvs still finds the VOB equal. The same options at import time do
# the same for a data file written without them, and bad input is refused
# before anything is read or imported.
set -euo pipefail
exporter=$1 vantimport=$2 vantor=$3 src=$4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/authors_encoding_test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC CVSROOT=$tmp/root
unset VANTOR_AUTHORS VANTOR_ENCODING
fail() { echo "FAILED: $*" >&2; exit 1; }

cvs -Q init
mkdir "$CVSROOT/m"
(cd "$tmp" && cvs -Q checkout m)
cd "$tmp/m"
echo one > a.txt && echo one > b.txt
cvs -Q add a.txt b.txt
cvs -Q commit -m "$(printf 'first: caf\xe9 cr\xe8me')"
echo two >> a.txt && cvs -Q commit -m 'naïve UTF-8 commit' a.txt
echo two >> b.txt && cvs -Q commit -m "$(printf 'third \xff\xfe')" b.txt
cvs -Q tag REL1
# The logins of the commits: whoever runs the test made them all.
python3 - "$CVSROOT/m" <<'PY'
import re, sys
who = {"a.txt,v": {"1.1": "jose", "1.2": "alice"}, "b.txt,v": {"1.1": "jose", "1.2": "bob"}}
for f, revs in who.items():
    p = sys.argv[1] + "/" + f
    t = open(p, "rb").read()
    for rev, login in revs.items():
        t = re.sub(rb"(\n" + rev.encode() + rb"\ndate\t[^;]*;\tauthor )[^;]*;", rb"\g<1>" + login.encode() + b";", t)
    open(p, "wb").write(t)
PY
cat > "$tmp/map" <<'EOF'
# the people of m
jose = José Núñez <jose@example.org>
Alice = Alice Liddell <alice@example.org>   # the store spells her alice
EOF
cd "$CVSROOT/m"

# --list-authors: the logins as a map to fill in, and no data file.
"$exporter" -r --authors "$tmp/map" --list-authors -o "$tmp/none" > "$tmp/list.out" 2> "$tmp/list.err" ||
  { cat "$tmp/list.err"; fail "--list-authors failed"; }
[ ! -e "$tmp/none" ] || fail "--list-authors wrote a data file"
grep -q '^alice = Alice Liddell <alice@example.org> *# 1 event$' "$tmp/list.out" &&
  grep -q '^bob = *# 1 event, not in the map$' "$tmp/list.out" &&
  grep -q '^jose = José Núñez <jose@example.org> *# 4 events$' "$tmp/list.out" ||
  { cat "$tmp/list.out"; fail "the listed logins"; }

# Refused before the store is read: an unknown encoding, a map with a fault
# (named by file and line), --authors-strict with a login the map lacks.
printf 'jose = José\n\nbob Bob\n' > "$tmp/bad.map"
for args in "--encoding klingon|Unknown encoding \"klingon\"" \
            "--authors $tmp/bad.map|$tmp/bad.map, line 3: no \"=\" in \"bob Bob\"" \
            "--authors $tmp/nomap|$tmp/nomap: No such file or directory" \
            "--authors-strict|--authors-strict needs an author map" \
            "--authors $tmp/map --authors-strict|1 login is not in the author map"; do
  rm -f "$tmp/refused"
  # shellcheck disable=SC2086
  if "$exporter" -r ${args%%|*} -o "$tmp/refused" > /dev/null 2> "$tmp/refused.err"; then
    fail "exported with ${args%%|*}"
  fi
  grep -qF -- "${args#*|}" "$tmp/refused.err" || { cat "$tmp/refused.err"; fail "no \"${args#*|}\""; }
  [ ! -s "$tmp/refused" ] || fail "a data file with ${args%%|*}"
done
grep -q 'bob (1 event)' "$tmp/refused.err" || fail "--authors-strict does not list bob"

"$exporter" -r --authors "$tmp/map" --encoding latin-1 -o "$tmp/data" > /dev/null 2> "$tmp/export.err" ||
  { cat "$tmp/export.err"; fail "the export failed"; }
grep -q '^3 texts converted from latin-1 to UTF-8' "$tmp/export.err" &&
  grep -q 'Warning: 1 login is not in the author map' "$tmp/export.err" ||
  { cat "$tmp/export.err"; fail "the export's report"; }
"$exporter" -r -o "$tmp/plain" > /dev/null 2>&1 || fail "the export without options failed"

# import VOB DATA ARGS...: into a new VOB through a view of its own.
import() {
  local vob=$1 data=$2
  shift 2
  if [ ! -d "$tmp/view$vob" ]; then
    "$vantor" mkvob -tag "$vob" > /dev/null
    "$vantor" mkview -tag "v${vob#/}" -vob "$vob" "$tmp/view$vob" > /dev/null
  fi
  (cd "$tmp/view$vob$vob" && "$vantimport" "$@" "$data")
}
import /m "$tmp/data" > "$tmp/import.out" 2>&1 || { cat "$tmp/import.out"; fail "the import failed"; }
"$vantor" dump --json /m > "$tmp/m.json"
import /m "$tmp/data" > "$tmp/again.out" 2>&1 || { cat "$tmp/again.out"; fail "the second import failed"; }
"$vantor" dump --json /m > "$tmp/m2.json"
cmp -s "$tmp/m.json" "$tmp/m2.json" || fail "the second import changed the VOB"
VANTOR=$vantor "$src/scripts/verify-cvs" "$CVSROOT" m /m > "$tmp/verify.out" 2>&1 ||
  { cat "$tmp/verify.out"; fail "verify-cvs found differences"; }

# The data file written without the options, converted by the import.
import /i "$tmp/plain" -authors "$tmp/map" --encoding latin-1 > "$tmp/i.out" 2>&1 ||
  { cat "$tmp/i.out"; fail "the import with -authors and --encoding failed"; }
grep -q 'Warning: 1 login is not in the author map' "$tmp/i.out" || { cat "$tmp/i.out"; fail "no unmapped login"; }
"$vantor" dump --json /i > "$tmp/i.json"
# ... and once more, the data file the exporter converted: nothing changes.
import /i "$tmp/data" -authors "$tmp/map" -encoding latin-1 > "$tmp/i2.out" 2>&1 || fail "the import into /i again"
"$vantor" dump --json /i > "$tmp/i2.json"
cmp -s "$tmp/i.json" "$tmp/i2.json" || fail "converting twice changed the VOB"

# -strictauthors stops the import before it begins; without the options the
# raw bytes are stored as they are and shown escaped.
if import /r "$tmp/plain" -authors "$tmp/map" -strictauthors > "$tmp/r.out" 2>&1; then fail "-strictauthors imported"; fi
grep -q 'nothing was imported' "$tmp/r.out" || { cat "$tmp/r.out"; fail "-strictauthors gave no reason"; }
"$vantor" dump --json /r | python3 -c 'import json, sys
sys.exit(any(e["kind"] == "file" for e in json.load(sys.stdin)["elements"]))' || fail "-strictauthors imported something"
"$vantimport" -listauthors "$tmp/plain" > "$tmp/ilist.out" 2>/dev/null || fail "-listauthors failed"
grep -c ' = ' "$tmp/ilist.out" | grep -qx 3 || { cat "$tmp/ilist.out"; fail "-listauthors: not 3 logins"; }
import /r "$tmp/plain" > /dev/null 2>&1 || fail "the plain import failed"
(cd "$tmp/view/r/r" && "$vantor" describe b.txt@@/main/2) > "$tmp/describe.out"
grep -qF 'third \xff\xfe' "$tmp/describe.out" || { cat -v "$tmp/describe.out"; fail "describe shows raw bytes"; }
# The converted data file into that VOB: its versions are recognised, and
# none gets an ORIGINAL_* attribute for a conversion it does not hold.
"$vantor" dump --json /r > "$tmp/r.json"
import /r "$tmp/data" > "$tmp/r2.out" 2>&1 || { cat "$tmp/r2.out"; fail "the converted data file into /r"; }
"$vantor" dump --json /r > "$tmp/r2.json"
cmp -s "$tmp/r.json" "$tmp/r2.json" || fail "the converted data file changed the VOB of raw texts"

python3 - "$tmp/m.json" "$tmp/i.json" <<'PY'
import base64, json, sys
jose = "José Núñez <jose@example.org>"
want = {  # path, version: user, name, comment, original comment bytes (None: none kept)
    ("a.txt", "/main/1"): ("jose", jose, "first: café crème", b"first: caf\xe9 cr\xe8me"),
    ("a.txt", "/main/2"): ("alice", "Alice Liddell <alice@example.org>", "naïve UTF-8 commit", None),
    ("b.txt", "/main/1"): ("jose", jose, "first: café crème", b"first: caf\xe9 cr\xe8me"),
    ("b.txt", "/main/2"): ("bob", None, "third ÿþ", b"third \xff\xfe"),
}
def raw(v):
    return base64.b64decode(v["base64"]) if isinstance(v, dict) else v.encode()
bad = []
for dump in sys.argv[1:]:
    els = {e["path"]: e for e in json.load(open(dump))["elements"] if e["kind"] == "file"}
    for p in ("a.txt", "b.txt"):
        if els[p]["event"]["name"] != jose:
            bad.append("%s %s: element event %r" % (dump, p, els[p]["event"]))
    for (p, vid), (user, name, comment, orig) in want.items():
        v = {x["id"]: x for x in els[p]["versions"]}[vid]
        ev, attrs = v["event"], v.get("attributes") or {}
        got = (ev["user"], ev["name"] if name else None, v["comment"].rstrip("\n") if isinstance(v["comment"], str) else v["comment"])
        if got != (user, name, comment):
            bad.append("%s %s@@%s: %r" % (dump, p, vid, got))
        kept = raw(attrs["ORIGINAL_COMMENT"]).rstrip(b"\n") if "ORIGINAL_COMMENT" in attrs else None
        if kept != orig or (orig and attrs.get("ORIGINAL_ENCODING") != "latin-1"):
            bad.append("%s %s@@%s: kept %r, attributes %r" % (dump, p, vid, kept, sorted(attrs)))
print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
echo "authors_encoding_test passed"
