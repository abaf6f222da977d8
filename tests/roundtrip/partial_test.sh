#!/usr/bin/env bash
# Partial exports leave no holes. A VOB is built in three stages, with the -p
# time TP after the first and the -s time TS after the second; a version made
# before TP is labelled after it, and a branch of an element changed after TS
# is left untouched since TP.
# - "-p TP" and then "-s TS" into one fresh target: each data file holds the
#   versions it selects, every earlier version of their branches and the
#   versions those branches sprout from, and no branch without a selected
#   version; after each import every branch of the target is numbered densely
#   from 0 and every version has the contents its number has in the source
#   (so each branch sprouts where it does there); the -s import recognises
#   the versions the -p import made and creates none of them again.
# - A full export imported into the same target then creates exactly the
#   versions still missing, and the target equals the source.
# - The same rule on records that are not absolute (the RCS exporter's): a
#   -s export brings earlier revisions again, and an import of it into the
#   VOB that holds them creates nothing.
set -euo pipefail
exporter=$1 vantimport=$2 vantor=$3 src=$4 rcs_exporter=${5:-}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vob_partial.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC VANTOR=$vantor
rt=$src/scripts/vob-roundtrip
fail() { echo "FAILED: $*" >&2; exit 1; }
vt() { "$vantor" "$@" > /dev/null; }
scratch=$tmp/scratch
mkdir -p "$scratch"
newfile() { printf '%b' "$2" > "$1"; vt mkelem -ci -c "$3" "$1"; }
newver() { # PATH CONTENTS COMMENT: a version on the branch the view selects
  printf '%b' "$2" > "$scratch/in"
  vt checkout "$1"
  vt checkin -c "$3" -from "$scratch/in" "$1"
}
# A time strictly between what was made before and what is made after.
stamp() { sleep 1.1; date -u +%Y-%m-%dT%H:%M:%SZ; sleep 1.1; }
# The elements a data file writes, each followed by its versions.
written() { sed -n 's/^Name[[:space:]]\{1,\}[0-9]*:/= /p; s/^VersionId[[:space:]]\{1,\}[0-9]*:/  /p' "$1"; }
# "NEW PRESENT" from an import's summary line.
summary() {
  sed -n 's/^Imported [0-9]* elements* ([0-9]* new) and \([0-9]*\) versions*; \([0-9]*\) versions* w[a-z]* already present.*/\1 \2/p' "$1"
}

export_run() { # N OPTION...: data N from a view of /src of its own
  local n=$1
  shift
  vt mkview -tag "sv$n" -vob /src "$tmp/sv$n"
  (cd "$tmp/sv$n/src" && "$exporter" -r "$@" -o "$tmp/data$n" > "$tmp/export$n.log" 2>&1) ||
    { cat "$tmp/export$n.log"; fail "export $n ($*)"; }
}
import_run() { # N: data N into /t
  (cd "$tmp/tv/t" && "$vantimport" "$tmp/data$1" > "$tmp/import$1.log" 2>&1) ||
    { cat "$tmp/import$1.log"; fail "import of $1"; }
}
# The target against the source: dense numbers per branch and, per version,
# the source's contents; then the version ids the target holds.
check_target() { # WHEN
  "$vantor" dump --json /src > "$tmp/src.json"
  "$vantor" dump --json /t > "$tmp/t.json"
  python3 - "$tmp/src.json" "$tmp/t.json" "$1" <<'PY' || fail "the target after $1 has holes or misplaced versions"
import json, sys
files = lambda d: {e["path"]: e for e in json.load(open(d))["elements"] if e["kind"] == "file"}
src, tgt, bad = files(sys.argv[1]), files(sys.argv[2]), []
for path, el in tgt.items():
    shas = {v["id"]: v["sha256"] for v in src[path]["versions"]}
    nums = {}
    for v in el["versions"]:
        branch, num = v["id"].rsplit("/", 1)
        nums.setdefault(branch, []).append(int(num))
        if v["sha256"] != shas.get(v["id"], "missing"):
            bad.append("%s@@%s: contents differ from the source's" % (path, v["id"]))
    for branch, ns in nums.items():
        if sorted(ns) != list(range(len(ns))):
            bad.append("%s: branch %s has the numbers %s" % (path, branch, sorted(ns)))
for line in bad:
    print(sys.argv[3] + ": " + line)
sys.exit(1 if bad else 0)
PY
}
ids() { python3 -c 'import json,sys
for e in json.load(open(sys.argv[1]))["elements"]:
    if e["kind"] == "file":
        for v in e["versions"]: print(e["path"] + "@@" + v["id"])' "$1" | sort; }
# An import created exactly the versions that were missing before it, and
# found every other version of its data file present.
created_exactly_missing() { # N BEFORE.json AFTER.json
  local got want new
  got=$(summary "$tmp/import$1.log")
  new=$(comm -13 <(ids "$2") <(ids "$3") | wc -l)
  want="$new $(($(written "$tmp/data$1" | grep -c '^  ') - new))"
  [ "$got" = "$want" ] ||
    { cat "$tmp/import$1.log"; fail "import $1: created and present \"$got\", expected \"$want\""; }
}

vt mkvob -tag /src
vt mkview -tag main -vob /src "$tmp/v/main"
vt mkview -tag dev -vob /src "$tmp/v/dev"
vt mkview -tag fix -vob /src "$tmp/v/fix"
printf 'element * CHECKEDOUT\nelement -file * .../dev/LATEST\nelement -file * .../old/LATEST\nelement * /main/LATEST\n' > "$scratch/dev.cs"
printf 'element * CHECKEDOUT\nelement -file * .../fix/LATEST\nelement * /main/LATEST\n' > "$scratch/fix.cs"
vt setcs "$scratch/dev.cs" "$tmp/v/dev"
vt setcs "$scratch/fix.cs" "$tmp/v/fix"
vt mkbrtype -vob /src dev fix old
vt mklbtype -vob /src EARLY LATE
main=$tmp/v/main/src dev=$tmp/v/dev/src fix=$tmp/v/fix/src

# Stage 1: a.c main/1-3 and dev/1 from main/1; b.c main/1 and old/1 from it.
cd "$main"
newfile a.c 'a1\n' "a one"
newver a.c 'a2\n' "a two"
newver a.c 'a3\n' "a three"
vt mklabel EARLY a.c@@/main/1
vt mkbranch dev a.c@@/main/1
newfile b.c 'b1\n' "b one"
vt mkbranch old b.c@@/main/1
vt update "$tmp/v/dev"
cd "$dev"
newver a.c 'd1\n' "dev one"
newver b.c 'o1\n' "old one"
tp=$(stamp)
# Stage 2: a label on a.c main/2 (made before TP), a.c main/4 and dev/2,
# b.c main/2 and old/2, a new d.c.
cd "$main"
vt update "$tmp/v/main"
vt mklabel LATE a.c@@/main/2
newver a.c 'a4\n' "a four"
newver b.c 'b2\n' "b two"
newfile d.c 'd\n' "d one"
vt update "$tmp/v/dev"
cd "$dev"
newver a.c 'd2\n' "dev two"
newver b.c 'o2\n' "old two"
ts=$(stamp)
# Stage 3: a.c main/5 and fix/1 from dev/2, b.c main/3 (its branch old stays
# as it was), a new c.c.
cd "$main"
vt update "$tmp/v/main"
newver a.c 'a5\n' "a five"
newver b.c 'b3\n' "b three"
newfile c.c 'c\n' "c one"
vt mkbranch fix a.c@@/main/dev/2
vt update "$tmp/v/fix"
(cd "$fix" && newver a.c 'f1\n' "fix one")

vt mkvob -tag /t
vt mkview -tag tv -vob /t "$tmp/tv"

# -p: a.c main/2, labelled after TP, comes because main/3 needs it.
export_run 1 -p "$tp"
written "$tmp/data1" > "$tmp/written1"
diff -u - "$tmp/written1" <<'EOF' || fail "-p $tp wrote other versions"
= a.c
  /main/0
  /main/1
  /main/dev/0
  /main/dev/1
  /main/2
  /main/3
= b.c
  /main/0
  /main/1
  /main/old/0
  /main/old/1
EOF
import_run 1
check_target "-p"
"$vantor" dump --json /t > "$tmp/after1.json"

# -s: a.c whole, main/0-4 for main/5 and fix/1 through dev/2 and main/1;
# b.c main/0-3 but not its branch old, which nothing selected touches.
export_run 2 -s "$ts"
written "$tmp/data2" > "$tmp/written2"
diff -u - "$tmp/written2" <<'EOF' || fail "-s $ts wrote other versions"
= a.c
  /main/0
  /main/1
  /main/dev/0
  /main/dev/1
  /main/dev/2
  /main/dev/fix/0
  /main/dev/fix/1
  /main/2
  /main/3
  /main/4
  /main/5
= b.c
  /main/0
  /main/1
  /main/2
  /main/3
= c.c
  /main/0
  /main/1
EOF
import_run 2
check_target "-s"
"$vantor" dump --json /t > "$tmp/after2.json"
created_exactly_missing 2 "$tmp/after1.json" "$tmp/after2.json"

# The full round: only b.c old/2 and d.c are missing.
export_run 3
import_run 3
"$vantor" dump --json /t > "$tmp/after3.json"
created_exactly_missing 3 "$tmp/after2.json" "$tmp/after3.json"
[ "$(comm -13 <(ids "$tmp/after2.json") <(ids "$tmp/after3.json") | tr '\n' ' ')" = \
  "b.c@@/main/old/2 d.c@@/main/0 d.c@@/main/1 " ] || fail "the full round created other versions"
rc=0
"$rt" --compare /src /t > "$tmp/compare.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/compare.out"; fail "the target does not equal the source (exit $rc)"; }
grep -qx 'equal: 4 file elements, 22 versions' "$tmp/compare.out" || { cat "$tmp/compare.out"; fail "counts"; }

# Records that are not absolute: revisions 1.1 (2001), 1.2 (2002), 1.1.1.1
# (2003) and 1.3 (2004) of one archive; -s 2003-06-01 brings 1.3 with 1.1
# and 1.2 before it, not the branch, and the VOB that holds them all makes
# nothing of it.
if [ -n "$rcs_exporter" ] && command -v ci > /dev/null; then
  mkdir -p "$tmp/rcs/RCS"
  cd "$tmp/rcs"
  {
    printf '1\n' > r.c && ci -q -t-r -m1 -d'2001/01/01 00:00:00' r.c
    co -q -l r.c && printf '2\n' >> r.c && ci -q -m2 -d'2002/01/01 00:00:00' r.c
    co -q -l -r1.1 r.c && printf 'b\n' >> r.c && ci -q -r1.1.1 -mb -d'2003/01/01 00:00:00' r.c
    co -q -l r.c && printf '3\n' >> r.c && ci -q -m3 -d'2004/01/01 00:00:00' r.c
  } > "$tmp/rcs.log" 2>&1 || { cat "$tmp/rcs.log"; fail "the RCS archive"; }
  "$rcs_exporter" -r -o "$tmp/rcs_all" > "$tmp/rcs_all.log" 2>&1 || { cat "$tmp/rcs_all.log"; fail "RCS export"; }
  "$rcs_exporter" -r -s 2003-06-01 -o "$tmp/rcs_since" > "$tmp/rcs_since.log" 2>&1 ||
    { cat "$tmp/rcs_since.log"; fail "RCS export -s"; }
  [ "$(written "$tmp/rcs_since" | tr '\n' ' ')" = "= r.c   1.1   1.2   1.3 " ] ||
    { written "$tmp/rcs_since"; fail "RCS -s wrote other revisions"; }
  vt mkvob -tag /r
  vt mkview -tag rv -vob /r "$tmp/rv"
  (cd "$tmp/rv/r" && "$vantimport" "$tmp/rcs_all" > "$tmp/rcs_import1.log" 2>&1) ||
    { cat "$tmp/rcs_import1.log"; fail "RCS import"; }
  (cd "$tmp/rv/r" && "$vantimport" "$tmp/rcs_since" > "$tmp/rcs_import2.log" 2>&1) ||
    { cat "$tmp/rcs_import2.log"; fail "RCS -s import"; }
  grep -q '^Nothing new to import: ' "$tmp/rcs_import2.log" ||
    { cat "$tmp/rcs_import2.log"; fail "the RCS -s import created versions the VOB had"; }
fi
echo "vob_partial passed"
