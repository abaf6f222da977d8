#!/usr/bin/env bash
# make_source_vob.sh [--stage 1|2] [--vary LIST] TAG VIEW-DIR
#
# Builds, with the vantor command alone, a VOB holding everything a VOB-to-VOB
# round trip must carry: branches three levels deep and one on another file,
# merges both ways, labels (one moved with -replace), attributes of several
# value kinds on versions and elements, an obsolete branch, a reserved and an
# unreserved checkout left standing, a version whose data was removed, an
# element in lost+found, binary and empty files, names with blanks, UTF-8
# and a Latin-1 byte, a Latin-1 comment and nested directories.
#
# Stage 1 makes the VOB TAG and three snapshot views under VIEW-DIR (main,
# dev, fix); stage 2 adds versions, moves a label to a new and one to an old
# version, adds a merge from main into a branch, a branch and a merge on old
# versions, attributes on new and old versions and on an element, and a file,
# so an incremental export can be taken between the two. Without --stage both run.
#
# --vary takes a comma list of small changes, so that a second VOB differs
# from the first in known places: "comment" (another comment on
# src/main.c@@/main/2), "label" (REL1 left off src/deep/er/util.h@@/main/1),
# "utf8" (the Latin-1 comment written in UTF-8).
#
# vantor comes from PATH, or from VANTOR.
set -euo pipefail
stage=all vary=,
while [ $# -gt 0 ]; do
  case $1 in
    --stage) stage=$2; shift 2 ;;
    --vary) vary=,$2,; shift 2 ;;
    --) shift; break ;;
    -*) echo "make_source_vob.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || { echo "usage: make_source_vob.sh [--stage 1|2] [--vary LIST] TAG VIEW-DIR" >&2; exit 2; }
case $stage in 1|2|all) ;; *) echo "make_source_vob.sh: --stage takes 1 or 2" >&2; exit 2 ;; esac
tag=$1
mkdir -p "$2"
vd=$(cd "$2" && pwd)
vantor=${VANTOR:-vantor}
case $vantor in /*) ;; */*) vantor=$PWD/$vantor ;; esac  # the script changes directory
varies() { case $vary in *,"$1",*) return 0 ;; esac; return 1; }
vt() { "$vantor" "$@" > /dev/null; }

name=${tag#/}
main=$vd/main/$name dev=$vd/dev/$name fix=$vd/fix/$name
scratch=$vd/scratch
lat1=$'caf\xe9.txt'
if varies utf8; then fuer=$'f\xc3\xbcr alle Bytes'; else fuer=$'f\xfcr alle Bytes'; fi

# The view's copy is read-only between checkouts: new contents come by -from.
put() { printf '%b' "$2" > "$scratch/in"; }
# A new file element checked in as /main/1 from CONTENTS.
newfile() { # PATH CONTENTS COMMENT
  printf '%b' "$2" > "$1"
  vt mkelem -ci -c "$3" "$1"
}
# A new version on the branch the view selects.
newver() { # PATH CONTENTS COMMENT
  put "$1" "$2"
  vt checkout "$1"
  vt checkin -c "$3" -from "$scratch/in" "$1"
}
update() { for d; do vt update "$d"; done; }

stage1() {
  mkdir -p "$scratch"
  vt mkvob -tag "$tag"
  vt mkview -tag "${name}_main" -vob "$tag" "$vd/main"
  vt mkview -tag "${name}_dev" -vob "$tag" "$vd/dev"
  vt mkview -tag "${name}_fix" -vob "$tag" "$vd/fix"
  printf 'element * CHECKEDOUT\nelement -file * .../dev/LATEST\nelement -file * .../side/LATEST\nelement -file * .../old/LATEST\nelement * /main/LATEST\n' > "$scratch/dev.cs"
  printf 'element * CHECKEDOUT\nelement -file * .../fix/LATEST\nelement * /main/LATEST\n' > "$scratch/fix.cs"
  vt setcs "$scratch/dev.cs" "$vd/dev"
  vt setcs "$scratch/fix.cs" "$vd/fix"
  vt mkbrtype -c "development" -vob "$tag" dev fix side old
  vt mklbtype -vob "$tag" REL1 BASE MOVED
  vt mkattype -vob "$tag" Count Owner Expr Empty Note

  cd "$main"
  vt mkelem -dir -c "sources" src
  vt mkelem -dir -c "deeper" src/deep
  vt mkelem -dir -c "deepest" src/deep/er
  vt mkelem -dir -c "a blank" "dir with blank"
  vt mkelem -dir -c "non-ASCII directory" "ünï dir"
  newfile src/main.c 'int main(void) { return 0; }\n' "main first"
  newfile src/deep/er/util.h '#define ONE 1\n' "util first"
  newfile "dir with blank/naïve file.txt" 'blank and UTF-8\n' "blank name"
  newfile "ünï dir/$lat1" 'Latin-1 name\n' "Latin-1 name"
  newfile empty.txt '' "empty file"
  python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)))' > all_bytes.bin
  vt mkelem -ci -c "$fuer" all_bytes.bin
  newfile gone.txt 'soon without data\n' "data to be removed"
  newver gone.txt 'kept\n' "gone second"
  vt rmver -data gone.txt@@/main/1
  # Its selected version has no contents: the view loads no file for it.
  newfile removed.txt 'removed\n' "removed at the root"
  vt rmver -data removed.txt@@/main/1
  newfile old.txt 'old\n' "old first"
  newfile co_reserved.txt 'r\n' "reserved base"
  newfile co_unreserved.txt 'u\n' "unreserved base"
  newfile lost+found/stray.txt 'nobody names me\n' "in lost+found"

  # main.c: /main/dev and /main/dev/fix; util.h: /main/side; old.txt: /main/old.
  vt mkbranch dev src/main.c@@/main/1
  vt mkbranch side src/deep/er/util.h@@/main/1
  vt mkbranch old old.txt@@/main/1
  update "$vd/dev"
  cd "$dev"
  newver src/main.c 'int main(void) { return 1; }\n' "dev one"
  newver src/deep/er/util.h '#define ONE 2\n' "side one"
  newver old.txt 'older\n' "old branch one"
  vt mkbranch fix src/main.c@@/main/dev/1
  update "$vd/fix"
  (cd "$fix" && newver src/main.c 'int main(void) { return 2; }\n' "fix one")
  newver src/main.c 'int main(void) { return 3; }\n' "dev two"
  vt lock -obsolete old.txt@@/main/old
  cd "$main"
  if varies comment; then c="main second, changed"; else c="main second"; fi
  newver src/main.c 'int main(void) { return 3; }\n/* merged */\n' "$c"
  vt merge -to src/main.c@@/main/2 /main/dev/2

  for p in src/main.c@@/main/1 src/deep/er/util.h@@/main/1 empty.txt all_bytes.bin; do
    [ "$p" = src/deep/er/util.h@@/main/1 ] && varies label && continue
    vt mklabel REL1 "$p"
  done
  vt mklabel BASE src/main.c@@/main/dev/1 src/deep/er/util.h@@/main/side/1
  vt mklabel MOVED src/main.c@@/main/1
  vt mkattr Count 42 src/main.c@@/main/1
  vt mkattr Owner '"alice"' src/main.c@@/main/1
  vt mkattr Expr 'a=b c = d' src/main.c@@/main/dev/1
  vt mkattr Empty '' src/main.c@@/main/dev/fix/1
  vt mkattr Note 'Größe' src/deep/er/util.h@@/main/side/1
  vt mkattr -element Owner '"team x"' src/main.c
  vt mkattr -element -- Count -7 src/deep/er/util.h
  vt mkattr -element Note 'x=1' empty.txt

  vt checkout -c "kept reserved" co_reserved.txt
  vt checkout -unreserved -c "kept unreserved" co_unreserved.txt
}

stage2() {
  cd "$main"
  update "$vd/main"
  newver src/main.c 'int main(void) { return 4; }\n' "main third"
  vt mklabel -replace MOVED src/main.c@@/main/3
  vt mkattr Count 43 src/main.c@@/main/3
  newfile "dir with blank/added in stage 2.txt" 'late\n' "stage two file"
  update "$vd/dev"
  cd "$dev"
  newver src/main.c 'int main(void) { return 4; }\n/* from main */\n' "dev three"
  vt merge -to src/main.c@@/main/dev/3 /main/3
  newver src/deep/er/util.h '#define ONE 3\n' "side two"
  vt mkattr Note 'ü = 2' src/deep/er/util.h@@/main/side/2
  # What stage 2 hangs on versions and elements of stage 1.
  vt mklabel -replace BASE src/main.c@@/main/dev/2
  vt mkbranch side src/main.c@@/main/2
  vt merge -to src/main.c@@/main/dev/fix/1 /main/2
  vt mkattr Note 'later' gone.txt@@/main/1
  vt mkattr Expr 'x' src/main.c@@/main/1
  vt mkattr -element Note 'added later' all_bytes.bin
  update "$vd/main"
}

case $stage in
  1) stage1 ;;
  2) stage2 ;;
  all) stage1; stage2 ;;
esac
