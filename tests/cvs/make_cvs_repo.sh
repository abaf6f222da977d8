#!/usr/bin/env bash
# make_cvs_repo.sh CVSROOT WORKDIR
# Makes, with the real cvs, a repository (module "proj") holding what a
# migration must carry over exactly: removed files (in Attic, dead on the
# trunk, dead on a branch, removed and added again), two vendor drops (a file
# never changed locally, one changed locally, one new in the second drop),
# tags on some files only and on a dead revision, a branch with commits and
# one without, a file added on a branch only, -kb binaries and keywords.
#
# cvs takes the author from LOGNAME when stdin is not a terminal, so the
# script can play several people.
set -euo pipefail
root=$1 work=$2
export CVSROOT=$root
as() { local who=$1; shift; LOGNAME=$who "$@" </dev/null; }
# The vendor drops are a second apart from the local work, so that their
# dates order them as in a real history.
tick() { sleep 1; }

cvs -Q init
mkdir -p "$work/drop1/src" "$work/drop1/doc" "$work/drop2/src" "$work/drop2/doc"

# ---- vendor drop 1 ------------------------------------------------------------
cd "$work/drop1"
printf '/* $Id$ */\nint vendor(void) { return 1; }\n' > src/vendor.c
printf '/* $Revision$ $Author$ */\nint local(void) { return 1; }\n' > src/local.c
printf 'Plain text, never touched.\n' > doc/plain.txt
printf 'The old manual.\n' > doc/old.txt
printf 'A file removed and added again.\n' > doc/again.txt
printf 'A file removed on the branch.\n' > doc/branchgone.txt
as vendor cvs -Q import -m 'Vendor drop 1' proj VENDOR V1
tick

cd "$work" && cvs -Q checkout proj && cd proj
# Keywords of every kind, expanded by cvs on checkout.
printf '$Id$\n$Header$\n$Source$\n$RCSfile$\n$Revision$\n$Date$\n$Author$\n$State$\n$Locker$\n$Log$\n' > keys.txt
printf '\x89PNG\r\n\x1a\n\x00$Id$ binary\xff\n' > logo.png
as alice cvs -Q add keys.txt
as alice cvs -Q add -kb logo.png
as alice cvs -Q commit -m 'Keywords and a binary' keys.txt logo.png
printf '/* $Revision$ $Author$ */\nint local(void) { return 2; }\n' > src/local.c
as alice cvs -Q commit -m 'Local change' src/local.c
# Tags on some files only.
as bob cvs -Q tag PARTIAL src/local.c keys.txt
as bob cvs -Q tag REL_1
as bob cvs -Q tag -b BR
as bob cvs -Q tag -b EMPTY_BR
# Removed on the trunk (its archive moves to Attic).
as carol cvs -Q remove -f doc/old.txt
as carol cvs -Q commit -m 'The old manual goes' doc/old.txt
# Removed and added again.
as carol cvs -Q remove -f doc/again.txt
as carol cvs -Q commit -m 'again.txt goes' doc/again.txt
printf 'Back again, changed.\n' > doc/again.txt
as carol cvs -Q add doc/again.txt
as carol cvs -Q commit -m 'again.txt is back' doc/again.txt
printf 'More text.\n' >> keys.txt
as alice cvs -Q commit -m 'keys: more' keys.txt

# ---- the branch BR --------------------------------------------------------------
cd "$work" && cvs -Q checkout -r BR -d br proj && cd br
printf '/* $Revision$ $Author$ */\nint local(void) { return 3; }\n' > src/local.c
as bob cvs -Q commit -m 'Fix on the branch' src/local.c
as bob cvs -Q remove -f doc/branchgone.txt
as bob cvs -Q commit -m 'Not needed on the branch' doc/branchgone.txt
printf 'Only on the branch.\n' > doc/branchonly.txt
as bob cvs -Q add doc/branchonly.txt
as bob cvs -Q commit -m 'A file of the branch alone' doc/branchonly.txt
as bob cvs -Q tag BR_TAG

# ---- vendor drop 2 --------------------------------------------------------------
tick
cd "$work/drop2"
printf '/* $Id$ */\nint vendor(void) { return 2; }\n' > src/vendor.c
printf '/* $Revision$ $Author$ */\nint local(void) { return 10; }\n' > src/local.c
printf 'Plain text, never touched.\n' > doc/plain.txt
printf 'New in the second drop.\n' > doc/new.txt
printf 'A file removed on the branch.\n' > doc/branchgone.txt
# local.c conflicts with the local change: cvs says so and exits 1.
as vendor cvs -Q import -m 'Vendor drop 2' proj VENDOR V2 >/dev/null 2>&1 || true

# ---- a tag on a dead revision ---------------------------------------------------
# cvs itself only tags files it can see; an old tag on a revision that later
# became dead is made with rcs, as older cvs versions and hand repairs left them.
rcs -q -nON_DEAD:1.2 "$root/proj/doc/Attic/old.txt,v"
