#!/usr/bin/env bash
# RCS/CVS exporter figures, each ours against a reference in the same run:
#  1. wall time of "vantexport_cvs -r" over a generated CVS repository of 2,000
#     archives of 50 revisions, divided by that of rlog over the same archives;
#     (and, steadier on a busy machine, the instruction counts of both under
#     callgrind over 200 of those archives);
#  2. callgrind instruction counts of exporting one archive of 20,000 deltas
#     against one of 2,000 of the same shape (the reader must stay linear);
#  3. export plus vantimport of a repository of 200 archives of 20 revisions
#     against git cvsimport of the same repository (Debian git-cvs).
# Usage: bench/rcs/run.sh [build-dir] [archives] [revisions]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build/bench}
archives=${2:-2000}
revisions=${3:-50}
if [ ! -x "$build/drivers/rcs/vantexport_rcs" ]; then
  echo "building vantexport_rcs in $build ..."
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target vantexport_rcs vantimport vantor >/dev/null
fi
bin=$build/drivers/rcs
work=$(mktemp -d "${TMPDIR:-/tmp}/rcsbench.XXXXXX")
trap 'rm -rf "$work"' EXIT

g++ -O2 -std=c++20 "$top/bench/rcs/gen_archives.cpp" -o "$work/gen"
echo "generating $archives archives of $revisions revisions ..."
"$work/gen" "$work/repo" "$archives" "$revisions"

echo "checking a sample with rlog and co ..."
find "$work/repo/proj" -name '*,v' | sort > "$work/sample.txt"
for f in $(sed -n '1p;$p' "$work/sample.txt"); do
  rlog "$f" > "$work/rlog.txt"
  grep -q "total revisions: $revisions;" "$work/rlog.txt" || { echo "bad archive $f"; exit 1; }
  co -q -p -r1.1 "$f" >/dev/null
  co -q -p -r1.5.2.1 "$f" >/dev/null
done

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
best_rlog=""; best_ours=""
cd "$work/repo/proj"
for round in 1 2 3; do
  echo "round $round: rlog ..."
  t0=$(now); find . -name '*,v' -print0 | xargs -0 rlog >/dev/null; t1=$(now)
  r=$(calc "$t1 - $t0")
  echo "round $round: vantexport_cvs -r ..."
  rm -f "$work/out.dat"
  t0=$(now)
  CVSROOT="$work/repo" "$bin/vantexport_cvs" -r -o "$work/out.dat" >/dev/null 2>"$work/err.txt"
  t1=$(now)
  o=$(calc "$t1 - $t0")
  if [ -z "$best_rlog" ] || [ "$(calc "$r < $best_rlog")" = 1 ]; then best_rlog=$r; fi
  if [ -z "$best_ours" ] || [ "$(calc "$o < $best_ours")" = 1 ]; then best_ours=$o; fi
done
elements=$(grep -c '^ELEMENT_BEGIN' "$work/out.dat")
versions=$(grep -c '^VERSION_BEGIN' "$work/out.dat")
[ "$elements" = "$archives" ] || { echo "exported $elements of $archives archives"; cat "$work/err.txt"; exit 1; }
printf 'export of %d archives, %d versions: vantexport_cvs %.3f s, rlog %.3f s, ratio %.3f (goal <= 1.0)\n' \
  "$elements" "$versions" "$best_ours" "$best_rlog" "$(calc "$best_ours / $best_rlog")"

echo "callgrind: both readers over 200 of the archives ..."
find . -name '*,v' | sort > "$work/all.txt"
list=$(head -200 "$work/all.txt")
valgrind --tool=callgrind --callgrind-out-file="$work/cg_rlog.%p" --trace-children=yes \
  sh -c "echo \"\$0\" | xargs rlog >/dev/null" "$list" >/dev/null 2>&1
rlog_ir=$(cat "$work"/cg_rlog.* | grep -E '^(summary|totals):' | awk '{s += $2} END {print s}')
mkdir -p "$work/sub/proj"
for f in $list; do mkdir -p "$work/sub/proj/$(dirname "$f")"; cp "$f" "$work/sub/proj/$f"; done
mkdir -p "$work/sub/CVSROOT"
(cd "$work/sub/proj" && CVSROOT="$work/sub" valgrind --tool=callgrind \
   --callgrind-out-file="$work/cg_ours.out" "$bin/vantexport_cvs" -r -o "$work/sub.dat" >/dev/null 2>&1)
ours_ir=$(grep -E '^(summary|totals):' "$work/cg_ours.out" | head -1 | awk '{print $2}')
printf 'instructions over 200 archives: vantexport_cvs %d, rlog %d, ratio %.3f\n' \
  "$ours_ir" "$rlog_ir" "$(calc "$ours_ir / $rlog_ir")"

echo "callgrind: one archive of 2,000 and one of 20,000 deltas ..."
count() {
  local n=$1 d="$work/one_$1"
  "$work/gen" "$d" 1 "$n"
  (cd "$d/proj/d0" && valgrind --tool=callgrind --callgrind-out-file="$d/cg.out" \
      "$bin/vantexport_rcs" -o "$d/out.dat" file0.c,v >/dev/null 2>&1)
  grep -E '^(summary|totals):' "$d/cg.out" | head -1 | awk '{print $2}'
}
small=$(count 2000)
large=$(count 20000)
printf 'instructions: 2,000 deltas %d, 20,000 deltas %d, growth %.2f-fold (goal <= 12)\n' \
  "$small" "$large" "$(calc "$large / $small")"

echo "end to end: 200 archives of 20 revisions, export and import against git cvsimport ..."
if ! git cvsimport -h >/dev/null 2>&1 && ! git help cvsimport >/dev/null 2>&1; then
  echo "git cvsimport is not installed (Debian git-cvs): end-to-end figure skipped"
  exit 0
fi
"$work/gen" "$work/small" 200 20
vantor=$build/platform/vantor/vantor
vantimport=$build/importers/vantimport/vantimport
export VANTOR_HOME=$work/home
t0=$(now)
(cd "$work/small/proj" && CVSROOT="$work/small" "$bin/vantexport_cvs" -r -o "$work/small.dat" >/dev/null 2>&1)
"$vantor" mkvob -tag /bench >/dev/null
"$vantor" mkview -tag bench_view -vob /bench "$work/view" >/dev/null
(cd "$work/view/bench" && CVSROOT="$work/small" "$vantimport" "$work/small.dat" >/dev/null 2>&1)
t1=$(now)
echo "git cvsimport ..."
t2=$(now)
(cd "$work" && git cvsimport -d "$work/small" -C "$work/git" proj >/dev/null 2>&1)
t3=$(now)
commits=$(git -C "$work/git" rev-list --all | wc -l)
printf 'end to end: export + import %.1f s, git cvsimport %.1f s (%d commits), ratio %.3f\n' \
  "$(calc "$t1 - $t0")" "$(calc "$t3 - $t2")" "$commits" "$(calc "($t1 - $t0) / ($t3 - $t2)")"
