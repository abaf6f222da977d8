// Archives and repositories made with the real RCS and CVS tools, shared by
// the rlog comparison and the import tests. Each is a shell script run in an
// empty directory.
#pragma once

// src/RCS/trunk.c,v (trunk only, multi-line log with "@"), src/RCS/deep.c,v
// (branches two levels deep, an unnamed branch, many symbols on 1.2, states,
// a lock, an empty log, an unknown author), lib/plain.c,v (no RCS directory).
inline const char *const MAKE_RCS_TREE = R"(set -e
mkdir -p src/RCS lib
cd src
printf 'one\n' > trunk.c; ci -q -t-'Trunk file.' -m'first' trunk.c
co -q -l trunk.c; printf 'two\n' >> trunk.c; ci -q -m'second' trunk.c
co -q -l trunk.c; printf 'three\n' >> trunk.c
ci -q -m'third
with @ and @@ inside

and a line after an empty one' trunk.c
printf 'a\n' > deep.c; ci -q -t-'Deep
history.' -m'd1' deep.c
co -q -l deep.c; printf 'b\n' >> deep.c; ci -q -m'd2' deep.c
co -q -l deep.c; printf 'c\n' >> deep.c; ci -q -m'' deep.c
co -q -l -r1.2 deep.c; printf 'b1\n' >> deep.c; ci -q -r1.2.1 -m'on branch' deep.c
co -q -l -r1.2.1.1 deep.c; printf 'b2\n' >> deep.c; ci -q -m'on branch 2' deep.c
co -q -l -r1.2.1.1 deep.c; printf 'h\n' >> deep.c; ci -q -r1.2.1.1.1 -m'hotfix' deep.c
co -q -l -r1.2 deep.c; printf 'x\n' >> deep.c; ci -q -r1.2.2 -m'unnamed branch' deep.c
co -q -l deep.c; printf 'd\n' >> deep.c; ci -q -wghost_author -m'by someone unknown' deep.c
rcs -q -nrel_1:1.2.1 -nhotfix:1.2.1.1.1 -nfix1:1.2.1.1.1.1 deep.c
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do rcs -q -ns$i:1.2 deep.c; done
rcs -q -sRel:1.3 -sdead:1.2.2.1 deep.c
rcs -q -l1.3 deep.c
cd ../lib
printf 'p\n' > plain.c; ci -q -t-'' -m'plain' plain.c
)";

// repo/proj: a vendor import (1.1.1), a commit, a tag, a branch tag with a
// commit on it, a removed file (Attic, state dead), an added file.
inline const char *const MAKE_CVS_REPO = R"(set -e
export CVSROOT="$PWD/repo"
cvs -Q init
mkdir imp; cd imp
printf 'a\n' > a.c; printf 'b\n' > b.c; mkdir sub; printf 's\n' > sub/s.c
cvs -Q import -m 'vendor drop' proj vend start
cd ..; cvs -Q co proj; cd proj
printf 'a2\n' >> a.c; cvs -Q commit -m 'a two' a.c
cvs -Q tag rel_1
cvs -Q tag -b br1
cvs -Q update -r br1
printf 'on br1\n' >> a.c; cvs -Q commit -m 'on the branch' a.c
cvs -Q update -A
cvs -Q rm -f b.c; cvs -Q commit -m 'remove b' b.c
printf 'n\n' > new.c; cvs -Q add new.c; cvs -Q commit -m 'added
in two lines' new.c
)";

// repo/mod, the history that CVS's checkout rules show: kw.c is vendor code
// imported twice without a local change (default branch 1.1.1, a keyword);
// local.c is changed between the imports (no default branch); gone.c and
// gone2.c are removed (Attic); again.c is removed, added again and removed on
// the branch dev; empty_br is a branch tag that no file has a revision on; a
// vendor file's name holds " $ ` \ ' and %.
inline const char *const MAKE_CVS_HISTORY = R"(set -e
export CVSROOT="$PWD/repo"
cvs -Q init
mkdir imp; cd imp
printf '$Revision$\nv1\n' > kw.c
printf 'x\n' > local.c
printf 'g\n' > gone.c
printf 'g2\n' > gone2.c
printf 'r\n' > again.c
printf 'q\n' > "q\"uo\$te\`b\\ack's%s.c"
cvs -Q import -m 'drop 1' mod vend v1
cd ..; cvs -Q co mod; cd mod
printf 'local\n' >> local.c; cvs -Q commit -m 'local change' local.c
cvs -Q rm -f gone.c gone2.c again.c; cvs -Q commit -m 'removed' gone.c gone2.c again.c
printf 'r2\n' > again.c; cvs -Q add again.c; cvs -Q commit -m 'back' again.c
cvs -Q tag -b empty_br
cvs -Q tag -b dev
cvs -Q update -r dev
printf 'dev\n' >> local.c; cvs -Q commit -m 'on dev' local.c
cvs -Q rm -f again.c; cvs -Q commit -m 'gone on dev' again.c
cvs -Q update -A
cd ../imp
rm gone.c gone2.c again.c
printf '$Revision$\nv2\n' > kw.c
printf 'x2\n' > local.c
cvs -Q import -m 'drop 2' mod vend v2
)";
