#!/usr/bin/env bash
# The VOB-to-VOB round trip through vantexport_vantor and vantimport loses
# nothing that is carried: the VOB of make_source_vob.sh comes out equal, in
# one go and incrementally (an export and import after each of its two
# stages into the same target). The standing checkouts are reported, not
# carried; lost+found is left out.
set -euo pipefail
exporter=$1 vantimport=$2 vantor=$3 src=$4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vob_roundtrip.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export VANTOR_HOME=$tmp/home TZ=UTC VANTOR=$vantor VANTIMPORT=$vantimport VANTEXPORT_VANTOR=$exporter
rt=$src/scripts/vob-roundtrip make=$src/tests/roundtrip/make_source_vob.sh
fail() { echo "FAILED: $*" >&2; exit 1; }
has() { grep -qE -- "$1" "$2" || { cat "$2"; fail "no line matching $1"; }; }

# An export of the whole VOB through a view of its own, imported into TARGET.
export_import() { # N TARGET
  local sv=$tmp/sv$1 tv=$tmp/tv$1
  "$vantor" mkview -tag "sv$1" -vob /src "$sv" > /dev/null
  (cd "$sv/src" && "$exporter" -r -o "$tmp/data$1" > "$tmp/export$1.log" 2>&1) ||
    { cat "$tmp/export$1.log"; fail "export $1"; }
  "$vantor" mkview -tag "tv$1" -vob "$2" "$tv" > /dev/null
  (cd "$tv/${2#/}" && "$vantimport" "$tmp/data$1" > "$tmp/import$1.log" 2>&1) ||
    { cat "$tmp/import$1.log"; fail "import $1"; }
}

"$make" --stage 1 /src "$tmp/v" > "$tmp/make1.log" 2>&1 || { cat "$tmp/make1.log"; fail "stage 1"; }
"$vantor" mkvob -tag /inc > /dev/null
export_import 1 /inc
rc=0; "$rt" --compare /src /inc > "$tmp/inc1.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/inc1.out"; fail "stage 1 did not come through whole (exit $rc)"; }

"$make" --stage 2 /src "$tmp/v" > "$tmp/make2.log" 2>&1 || { cat "$tmp/make2.log"; fail "stage 2"; }
export_import 2 /inc
rc=0; "$rt" --compare /src /inc > "$tmp/inc2.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/inc2.out"; fail "stage 2 did not come through whole on top of stage 1 (exit $rc)"; }
has '^equal: 12 file elements, [0-9]+ versions$' "$tmp/inc2.out"

rc=0; "$rt" /src > "$tmp/whole.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$tmp/whole.out"; fail "the round trip lost something (exit $rc)"; }
has '^not carried \(in lost\+found\): "lost\+found/stray.txt"$' "$tmp/whole.out"
has '^not carried \(checkout\): .*co_reserved.txt.*: User .*\(reserved\)' "$tmp/whole.out"
has '^not carried \(checkout\): .*co_unreserved.txt.*: User .*\(unreserved\)' "$tmp/whole.out"
has '^equal: 12 file elements, [0-9]+ versions$' "$tmp/whole.out"
echo "vob_roundtrip passed"
