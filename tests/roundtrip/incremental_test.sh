#!/usr/bin/env bash
# Incremental VOB-to-VOB exports chosen by time, as a user runs them: stage 1
# of make_source_vob.sh is exported whole and imported into two targets; T1
# lies between the stages; after stage 2 (versions on new and old branches, a
# label moved to an old version, a branch and a merge on old versions,
# attributes on old versions and on an element that nothing else touches)
# - "-s T1" brings exactly what changed, and its target ends equal;
# - "-I T1" brings every later version and the important earlier ones, with
#   their state now; its target ends equal but for what stage 2 did to a
#   version that is not important (an attribute alone does not make one);
# - "-p T1" into an empty target brings the versions whose last change
#   (creation, label, merge, branch or attribute) lies before T1, with the
#   earlier versions of their branches and the versions their branches
#   sprout from, touched by stage 2 or not, so that no branch has a gap and
#   every branch sprouts where it does in the source; nothing stage 2 made.
set -euo pipefail
exporter=$1 vantimport=$2 vantor=$3 src=$4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vob_incremental.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC VANTOR=$vantor
rt=$src/scripts/vob-roundtrip make=$src/tests/roundtrip/make_source_vob.sh
fail() { echo "FAILED: $*" >&2; exit 1; }
has() { grep -qxF -- "$1" "$2" || { cat "$2"; fail "no line \"$1\""; }; }

# An export of the whole of /src, through a view of its own, into data N.
export_run() { # N OPTION...
  local n=$1 sv=$tmp/sv$1
  shift
  "$vantor" mkview -tag "sv$n" -vob /src "$sv" > /dev/null
  (cd "$sv/src" && "$exporter" -r "$@" -o "$tmp/data$n" > "$tmp/export$n.log" 2>&1) ||
    { cat "$tmp/export$n.log"; fail "export $n ($*)"; }
}
import_into() { # N TARGET
  local tv=$tmp/tv$1${2#/}
  [ -d "$tv" ] || "$vantor" mkview -tag "tv$1${2#/}" -vob "$2" "$tv" > /dev/null
  (cd "$tv/${2#/}" && "$vantimport" "$tmp/data$1" > "$tmp/import$1${2#/}.log" 2>&1) ||
    { cat "$tmp/import$1${2#/}.log"; fail "import of $1 into $2"; }
}
compare() { # TARGET OUT EXPECTED-EXIT
  local rc=0
  "$rt" --compare /src "$1" > "$2" 2>&1 || rc=$?
  [ $rc -eq "$3" ] || { cat "$2"; fail "comparison of /src with $1 gave exit $rc, not $3"; }
}
# The elements a data file writes, each followed by its versions.
written() { sed -n 's/^Name[[:space:]]\{1,\}[0-9]*:/= /p; s/^VersionId[[:space:]]\{1,\}[0-9]*:/  /p' "$1"; }

"$make" --stage 1 /src "$tmp/v" > "$tmp/make1.log" 2>&1 || { cat "$tmp/make1.log"; fail "stage 1"; }
export_run 1
for t in /s /i; do
  "$vantor" mkvob -tag $t > /dev/null
  import_into 1 $t
done
"$vantor" dump --json /src > "$tmp/stage1.json"
sleep 1.1
t1=$(date -u +%Y-%m-%dT%H:%M:%SZ)
sleep 1.1
"$make" --stage 2 /src "$tmp/v" > "$tmp/make2.log" 2>&1 || { cat "$tmp/make2.log"; fail "stage 2"; }

# -s: what stage 2 made or touched (main/1 got an attribute, dev/fix/1 and
# main/2 a merge, dev/2 a label, main/2 a branch; all_bytes.bin only an
# element attribute), each with the versions before it on its branch and the
# versions its branch sprouts from, and nothing else: the branch old of
# old.txt, untouched, stays out.
export_run 2 -s "$t1"
written "$tmp/data2" > "$tmp/written2"
diff -u - "$tmp/written2" <<'EOF' || fail "-s $t1 wrote other versions than stage 2 made or touched"
= all_bytes.bin
= dir with blank/added in stage 2.txt
  /main/0
  /main/1
= gone.txt
  /main/0
  /main/1
= src/deep/er/util.h
  /main/0
  /main/1
  /main/side/0
  /main/side/1
  /main/side/2
= src/main.c
  /main/0
  /main/1
  /main/dev/0
  /main/dev/1
  /main/dev/fix/0
  /main/dev/fix/1
  /main/dev/2
  /main/dev/3
  /main/2
  /main/side/0
  /main/3
EOF
import_into 2 /s
compare /s "$tmp/s.out" 0
has 'equal: 12 file elements, 39 versions' "$tmp/s.out"

# -I: the old version that only got an attribute stays behind.
export_run 3 -I "$t1"
import_into 3 /i
compare /i "$tmp/i.out" 1
has 'gone.txt@@/main/1: attributes: source {"Note"="later"}, target {}' "$tmp/i.out"
has '1 differences' "$tmp/i.out"

# -p: the versions whose last change lies before T1, with their labels and
# attributes as they are now (BASE has moved from dev/1 to dev/2, MOVED from
# main/1 to main/3), and the element records as they are now. main/1 and
# gone.txt's main/1 were touched by stage 2 but come all the same, as the
# versions after them (dev/0 sprouting from main/1, gone.txt's main/2) need
# them; dev/2, dev/fix/1 and main/2, touched too, have no later version
# selected and stay out.
export_run 4 -p "$t1"
"$vantor" mkvob -tag /p > /dev/null
import_into 4 /p
"$vantor" dump --json /p > "$tmp/p.json"
rc=0; "$rt" --compare-dumps "$tmp/stage1.json" "$tmp/p.json" > "$tmp/p1.out" 2>&1 || rc=$?
[ $rc -eq 1 ] || { cat "$tmp/p1.out"; fail "-p $t1 gave stage 1 with no difference (exit $rc)"; }
sed -n '/^not carried/d; p' "$tmp/p1.out" > "$tmp/p1.diff"
diff -u - "$tmp/p1.diff" <<'EOF' || fail "-p $t1 did not bring exactly the versions untouched since then"
all_bytes.bin: attributes: source {}, target {"Note"="added later"}
gone.txt@@/main/1: attributes: source {}, target {"Note"="later"}
src/main.c@@/main/1: labels: source ["MOVED", "REL1"], target ["REL1"]
src/main.c@@/main/1: attributes: source {"Count"="42", "Owner"="\"alice\""}, target {"Count"="42", "Expr"="x", "Owner"="\"alice\""}
src/main.c@@/main/dev/1: labels: source ["BASE"], target []
src/main.c@@/main/dev/fix/1: version: source present, target missing
src/main.c@@/main/dev/2: version: source present, target missing
src/main.c@@/main/2: version: source present, target missing
8 differences
EOF
echo "vob_incremental passed"
