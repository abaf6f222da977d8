#!/usr/bin/env bash
# vob-roundtrip --compare finds a VOB equal to itself, and finds each of the
# small changes make_source_vob.sh --vary puts into a second VOB: a comment,
# a label, a Latin-1 comment written in UTF-8. A VOB built to stage 1 lacks
# what stage 2 adds, and equals the whole one after stage 2. The parts of the
# dump this vantor may not write yet (branches, base64 strings) are checked
# with --compare-dumps on small dumps written here.
set -euo pipefail
vantor=$1 src=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vob_roundtrip_compare.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC VANTOR=$vantor
rt=$src/scripts/vob-roundtrip make=$src/tests/roundtrip/make_source_vob.sh
fail() { echo "FAILED: $*" >&2; exit 1; }
has() { grep -qxF -- "$1" "$2" || { cat "$2"; fail "no line \"$1\""; }; }

# The store stamps every event with the clock, so two builds differ by
# seconds; one fixed time in both lets the comparison show only the changes.
same_time() {
  for t; do
    python3 - "$VANTOR_HOME/vobs/$t.vbs/vob.db" <<'EOF'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("UPDATE obj SET time = 1700000000")
db.commit()
EOF
  done
}

"$make" /src "$tmp/v1" > "$tmp/make1.log" 2>&1 || { cat "$tmp/make1.log"; fail "make_source_vob.sh"; }
"$make" --vary comment,label,utf8 /var "$tmp/v2" > "$tmp/make2.log" 2>&1 ||
  { cat "$tmp/make2.log"; fail "make_source_vob.sh --vary"; }
same_time src var

rc=0; "$rt" --compare /src /src > "$tmp/self.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/self.out"; fail "a VOB differs from itself (exit $rc)"; }
has 'equal: 12 file elements, 39 versions' "$tmp/self.out"
has 'not carried (in lost+found): "lost+found/stray.txt"' "$tmp/self.out"

rc=0; "$rt" --compare /src /var > "$tmp/var.out" 2>&1 || rc=$?
[ $rc -eq 1 ] || { cat "$tmp/var.out"; fail "the changes went unnoticed (exit $rc)"; }
has 'src/main.c@@/main/2: comment: source "main second", target "main second, changed"' "$tmp/var.out"
has 'src/deep/er/util.h@@/main/1: labels: source ["REL1"], target []' "$tmp/var.out"
# The Latin-1 byte is shown as \xfc once the dump keeps it, as U+FFFD before.
for w in all_bytes.bin all_bytes.bin@@/main/0 all_bytes.bin@@/main/1; do
  grep -qE "^$w: comment: source \"f(\\\\xfc|�)r alle Bytes\", target \"für alle Bytes\"$" "$tmp/var.out" ||
    { cat "$tmp/var.out"; fail "no Latin-1 comment difference for $w"; }
done
has '5 differences' "$tmp/var.out"

# Stage 1 alone lacks the versions, the file, the moved label and the merge of stage 2.
"$make" --stage 1 /inc "$tmp/v3" > "$tmp/make3.log" 2>&1 || { cat "$tmp/make3.log"; fail "stage 1"; }
same_time inc
rc=0; "$rt" --compare /src /inc > "$tmp/inc1.out" 2>&1 || rc=$?
[ $rc -eq 1 ] || { cat "$tmp/inc1.out"; fail "stage 1 equals the whole VOB (exit $rc)"; }
has 'dir with blank/added in stage 2.txt: element: source file, target missing' "$tmp/inc1.out"
has 'src/main.c@@/main/3: version: source present, target missing' "$tmp/inc1.out"
has 'src/main.c@@/main/dev/3: version: source present, target missing' "$tmp/inc1.out"
has 'src/main.c@@/main/1: labels: source ["REL1"], target ["MOVED", "REL1"]' "$tmp/inc1.out"
has 'src/deep/er/util.h@@/main/side/2: version: source present, target missing' "$tmp/inc1.out"
"$make" --stage 2 /inc "$tmp/v3" > "$tmp/make4.log" 2>&1 || { cat "$tmp/make4.log"; fail "stage 2"; }
same_time inc
rc=0; "$rt" --compare /src /inc > "$tmp/inc2.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/inc2.out"; fail "stage 1 and 2 differ from the whole (exit $rc)"; }

# Strings as bytes, branches when listed, directories and lost+found left out.
ev='{"user":"u","group":"g","name":"n","host":"h","time":1}'
v0='{"id":"/main/0","event":'$ev',"comment":null,"labels":[],"attributes":{},"merges_from":[],"sha256":null}'
el() { # PATH COMMENT BRANCHES
  printf '{"path":%s,"kind":"file","type":"text_file","event":%s,"comment":%s,"attributes":{},"obsolete":false,%s"versions":[%s]}' \
    "$1" "$ev" "$2" "${3:+\"branches\":$3,}" "$v0"
}
dir='{"path":"d","kind":"directory","type":"directory","event":'$ev',"comment":"x","attributes":{},"obsolete":false,"versions":[]}'
lost='{"path":"lost+found/s.3","kind":"file","type":"text_file","event":'$ev',"comment":null,"attributes":{},"obsolete":false,"versions":[]}'
printf '{"tag":"/a","elements":[%s,%s,%s,%s,%s,%s]}\n' "$dir" "$lost" \
  "$(el '"a"' '{"base64":"ZvxyCg=="}' '[{"path":"/main/dev","obsolete":false}]')" \
  "$(el '{"base64":"Y2Fm6Q=="}' '{"base64":"b2s="}' '[{"path":"/main/old","obsolete":true}]')" \
  "$(el '"b"' '"same"')" "$(el '"c"' '"one side"' '[]')" > "$tmp/a.json"
printf '{"tag":"/b","elements":[%s,%s,%s,%s,%s]}\n' \
  "$(el '"a"' '"für\n"' '[{"path":"/main/dev","obsolete":false}]')" \
  "$(el '{"base64":"Y2Fm6Q=="}' '"ok"' '[{"path":"/main/old","obsolete":false}]')" \
  "$(el '"b"' '"same"')" "$(el '"c"' '"one side"')" "$(el '"e"' '"extra"')" > "$tmp/b.json"
rc=0; "$rt" --compare-dumps "$tmp/a.json" "$tmp/b.json" > "$tmp/dumps.out" 2>&1 || rc=$?
[ $rc -eq 1 ] || { cat "$tmp/dumps.out"; fail "dump differences went unnoticed (exit $rc)"; }
has 'a: comment: source "f\xfcr\n", target "für\n"' "$tmp/dumps.out"
has 'caf\xe9: branch /main/old: source obsolete, target present' "$tmp/dumps.out"
has 'c: branches: source [], target not in the dump' "$tmp/dumps.out"
has 'e: element: source missing, target file' "$tmp/dumps.out"
has 'not carried (in lost+found): "lost+found/s.3"' "$tmp/dumps.out"
has '4 differences' "$tmp/dumps.out"
rc=0; "$rt" --compare-dumps "$tmp/a.json" "$tmp/a.json" > "$tmp/same.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/same.out"; fail "a dump differs from itself"; }
has 'equal: 4 file elements, 4 versions' "$tmp/same.out"

# Could not run: exit 2.
printf '{"elements":[{"path":"a","kind":"file","comment":{"base64":"!"}}]}\n' > "$tmp/bad.json"
rc=0; "$rt" --compare-dumps "$tmp/bad.json" "$tmp/a.json" > "$tmp/bad.out" 2>&1 || rc=$?
[ $rc -eq 2 ] || { cat "$tmp/bad.out"; fail "a malformed dump gave exit $rc"; }
rc=0; "$rt" --compare /src /nonesuch > "$tmp/none.out" 2>&1 || rc=$?
[ $rc -eq 2 ] || { cat "$tmp/none.out"; fail "a missing VOB gave exit $rc"; }
rc=0; "$rt" --compare /src > /dev/null 2>&1 || rc=$?
[ $rc -eq 2 ] || fail "one operand to --compare gave exit $rc"
echo "vob_roundtrip_compare passed"
