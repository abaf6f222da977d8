#!/usr/bin/env bash
# The steps of vob-roundtrip, with vantexport_ffile standing in for the VOB
# exporter (one version per file, so the comparison must find history lost):
# every step is shown, the temporary view, VOB and directory are removed, or
# kept with --keep; a failing step or a target tag in use gives exit 2 and
# still removes what was made.
set -euo pipefail
ffile=$1 vantimport=$2 vantor=$3 src=$4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vob_roundtrip_steps.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC TMPDIR=$tmp/t VANTOR=$vantor VANTIMPORT=$vantimport VANTEXPORT_VANTOR=$ffile
mkdir -p "$TMPDIR"
rt=$src/scripts/vob-roundtrip
fail() { echo "FAILED: $*" >&2; exit 1; }
has() { grep -qxF -- "$1" "$2" || { cat "$2"; fail "no line \"$1\""; }; }
hasre() { grep -qE -- "$1" "$2" || { cat "$2"; fail "no line matching $1"; }; }
# Only the VOBs and views the test made itself remain.
clean() {
  [ "$("$vantor" lsvob | awk '{print $1}' | tr '\n' ' ')" = "$1" ] || { "$vantor" lsvob; fail "VOBs left: $2"; }
  ! grep -q vob-roundtrip "$VANTOR_HOME/registry/rgy.json" || fail "a view left in the registry: $2"
  [ -z "$(ls -A "$TMPDIR")" ] || { ls -A "$TMPDIR"; fail "a temporary directory left: $2"; }
}

"$src/tests/roundtrip/make_source_vob.sh" /src "$tmp/v" > "$tmp/make.log" 2>&1 || { cat "$tmp/make.log"; fail "make_source_vob.sh"; }

rc=0; "$rt" /src > "$tmp/run.out" 2> "$tmp/run.err" || rc=$?
[ $rc -eq 1 ] || { cat "$tmp/run.out" "$tmp/run.err"; fail "lost history went unnoticed (exit $rc)"; }
hasre '^view of /src: [0-9.]+ s$' "$tmp/run.out"
hasre '^export: [0-9.]+ s$' "$tmp/run.out"
hasre '^target VOB /vob-roundtrip-[0-9-]+: [0-9.]+ s$' "$tmp/run.out"
hasre '^import: [0-9.]+ s$' "$tmp/run.out"
has 'src/main.c@@/main/dev/1: version: source present, target missing' "$tmp/run.out"
has 'src/deep/er/util.h@@/main/1: labels: source ["REL1"], target []' "$tmp/run.out"
# A version made from a record without AbsVersion carries the import's mark,
# which the source lacks: a difference like any other attribute.
hasre '^src/main\.c@@/main/1: attributes: source \{"Count"="42", "Expr"="x", "Owner"="\\"alice\\""\}, target \{"vantor_import_origin"="[0-9]+ one"\}$' "$tmp/run.out"
has 'gone.txt@@/main/1: contents: source no, target yes' "$tmp/run.out"
has 'src/main.c: attributes: source {"Owner"="\"team x\""}, target {}' "$tmp/run.out"
hasre '^[0-9]+ differences$' "$tmp/run.out"
clean "/src " "after a round trip"

rc=0; "$rt" --keep --target /tgt /src > "$tmp/keep.out" 2> "$tmp/keep.err" || rc=$?
[ $rc -eq 1 ] || { cat "$tmp/keep.out" "$tmp/keep.err"; fail "--keep --target (exit $rc)"; }
kept=$(sed -n 's/^vob-roundtrip: kept \([^ ]*\).*/\1/p' "$tmp/keep.err")
for f in data export.log import.log source.json target.json source-view target-view; do
  [ -e "$kept/$f" ] || { cat "$tmp/keep.err"; fail "--keep did not keep $f"; }
done
"$vantor" lsvob | grep -q '^/tgt ' || fail "--target /tgt was not made"

# A target tag in use: nothing is overwritten.
rc=0; "$rt" --target /tgt /src > "$tmp/used.out" 2>&1 || rc=$?
[ $rc -eq 2 ] || { cat "$tmp/used.out"; fail "a target tag in use gave exit $rc"; }
for v in source-view target-view; do "$vantor" rmview -force "$kept/$v" > /dev/null; done
rm -rf "$kept"
clean "/src /tgt " "after a target tag in use"

# A failing exporter stops the round trip with exit 2 and its message.
printf '#!/bin/sh\necho "cannot read the VOB" >&2\nexit 3\n' > "$tmp/badexport"
chmod +x "$tmp/badexport"
rc=0; VANTEXPORT_VANTOR=$tmp/badexport "$rt" /src > "$tmp/bad.out" 2> "$tmp/bad.err" || rc=$?
[ $rc -eq 2 ] || { cat "$tmp/bad.out" "$tmp/bad.err"; fail "a failing exporter gave exit $rc"; }
grep -q 'export failed (exit status 3' "$tmp/bad.err" || { cat "$tmp/bad.err"; fail "no failed step"; }
grep -q 'cannot read the VOB' "$tmp/bad.err" || { cat "$tmp/bad.err"; fail "the exporter's message is not shown"; }
clean "/src /tgt " "after a failed export"
echo "vob_roundtrip_steps passed"
