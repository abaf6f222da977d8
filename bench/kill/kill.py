# The kill bench behind bench/kill/run (see there). Arguments: kills, build
# directory, work directory, seed ("" for one from the clock).
import json, os, random, signal, sqlite3, subprocess, sys, time

kills_wanted, build, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
seed = int(sys.argv[4]) if len(sys.argv) > 4 and sys.argv[4] else int(time.time())
rng = random.Random(seed)
VANTIMPORT = os.path.join(build, "importers/vantimport/vantimport")
VANTOR = os.path.join(build, "platform/vantor/vantor")
TMP = os.path.join(work, "tmp")
os.makedirs(TMP)
ENV = dict(os.environ, VANTOR_HOME=os.path.join(work, "home"), TMPDIR=TMP, VANTOR_IMPORT_JOBS="2")
for k in ("TMP", "TEMP"):
    ENV.pop(k, None)
DATA = os.path.join(work, "import.dat")
# Event times of the data file stay below this; larger ones are times of a run.
RUN_TIME_FROM = 10**9


def s(key, v):
    return "%s %d:%s\n" % (key, len(v.encode()), v)


def generate():
    """48 elements in 4 directories, 8 to 12 versions each: a main line, a
    branch dev from 1.2 with a label and a merge back, attributes, a few large
    files and some versions identical to their predecessor."""
    src = os.path.join(work, "src")
    elements, lines, nver = [], [], 0
    dirs = ["d%d" % i for i in range(4)]
    for e in range(48):
        name = "%s/e%02d.c" % (dirs[e % 4], e)
        os.makedirs(os.path.join(src, name), exist_ok=True)
        t = 1000000 + e * 1000
        recs = ["ELEMENT_BEGIN\n", s("Name", name), s("EventUser", "ann"), "EventTime %d\n" % t]
        main = 6 + e % 4
        big = e % 7 == 0

        def version(vid, n, text, more="", on=None):
            nonlocal t, nver
            t += 1
            path = "%s/%s" % (name, vid)
            body = text * (20000 if big else 1 + n)
            with open(os.path.join(src, path), "w") as f:
                f.write(body)
            recs.extend(["VERSION_BEGIN\n", s("VersionId", vid), s("EventUser", "bob"), "EventTime %d\n" % t])
            if on:
                recs.append(s("OnBranch", on))
            recs.extend([s("ExtractCmd", 'cat "%%s%%c%s" > "%%s"' % path), more, s("Comment", "rev " + vid),
                         "VERSION_END\n"])
            nver += 1

        for v in range(1, main + 1):
            more = ""
            if v == 2:
                more += s("SubBranch", "dev") + s("Label", "BASE")
            if v == main:
                more += s("Attrib", "status=final") + s("Label", "REL")
            if v == 5:
                more += s("Merge", "dev/2")
            same = v == 4 and e % 3 == 0    # equal to 1.3
            version("1.%d" % v, 3 if same else v, "%s line %d\n" % (name, 3 if same else v), more)
            if v == 2:
                for d in range(1, 3):
                    version("1.2.1.%d" % d, 100 + d, "%s dev %d\n" % (name, d),
                            s("Label", "DEVTIP") if d == 2 else "", "dev")
        recs.append("ELEMENT_END\n")
        elements.append("".join(recs))
    head = ["EXPORT_FORMAT 5\n", "GLOBALS_BEGIN\n", s("ExportFromDir", src), "NumElements %d\n" % len(elements),
            "NumVersions %d\n" % nver, "ExporterKind 3\n", "GLOBALS_END\n", "TYPES_BEGIN\n", "TYPES_END\n",
            "DIR_BEGIN\n", s("DirName", "."), "DIR_END\n"]
    for d in dirs:
        head += ["DIR_BEGIN\n", s("DirName", d), "DIR_END\n"]
    with open(DATA, "w") as f:
        f.writelines(head + elements)
    return len(elements), nver


def vantor(*args):
    return subprocess.run([VANTOR] + list(args), env=ENV, check=True, capture_output=True, text=True).stdout


def make_vob(tag):
    vantor("mkvob", "-tag", "/" + tag)
    vantor("mkview", "-tag", "v" + tag, "-vob", "/" + tag, os.path.join(work, "view_" + tag))
    return os.path.join(work, "home/vobs/%s.vbs" % tag)


running = []   # the import in flight, killed when the bench itself is stopped


def start_import(tag, log):
    running[:] = []
    running.append(subprocess.Popen([VANTIMPORT, "-no", DATA], cwd=os.path.join(work, "view_%s/%s" % (tag, tag)), env=ENV,
                                    stdout=log, stderr=subprocess.STDOUT))
    return running[0]


def dump(tag):
    """The VOB's elements by path, with what depends on when a run happened
    made equal: the tag, and event times of the VOB's own creation and of
    the directories the import makes (the time of that run)."""
    doc = json.loads(vantor("dump", "--json", "/" + tag))

    def norm(x):
        if isinstance(x, dict):
            return {k: ("RUN" if k == "time" and isinstance(v, int) and v >= RUN_TIME_FROM else norm(v))
                    for k, v in x.items()}
        if isinstance(x, list):
            return [norm(v) for v in x]
        return x
    return {el["path"]: norm(el) for el in doc["elements"]}


def holds_write_lock(storage):
    """Whether the WAL write lock (byte 120 of vob.db-shm) is held: the
    stopped importer, its only writer, is inside a write transaction. (The
    lock's owner is not matched by pid: /proc/locks may name another.)"""
    try:
        ino = os.stat(os.path.join(storage, "vob.db-shm")).st_ino
    except OSError:
        return False
    with open("/proc/locks") as f:
        for line in f:
            p = line.split()
            if len(p) >= 8 and "->" not in p and p[1] == "POSIX" and p[3] == "WRITE" and \
                    p[5].endswith(":%d" % ino) and p[6] == "120":
                return True
    return False


def check_store(storage, tag, problems):
    """Integrity of the database, every version's contents rebuilt and
    checked by `vantor check`, and whole elements only (each file element
    equal to the uninterrupted import's)."""
    db = sqlite3.connect(os.path.join(storage, "vob.db"))
    try:
        res = db.execute("PRAGMA integrity_check").fetchall()
        if res != [("ok",)]:
            problems.append("integrity_check: %r" % res)
    finally:
        db.close()
    done = subprocess.run([VANTOR, "check", "/" + tag], env=ENV, capture_output=True, text=True)
    if done.returncode != 0:
        problems.append("vantor check /%s:\n%s%s" % (tag, done.stdout, done.stderr))


def check_elements(tag, ref, problems):
    now = dump(tag)
    for path, el in now.items():
        if el["kind"] == "file" and ref.get(path) != el:
            problems.append("element %s differs from the uninterrupted import's (half an element?)" % path)


def compare(tag, ref, problems):
    now = dump(tag)
    if now != ref:
        diff = sorted(set(now) ^ set(ref)) or [p for p in ref if ref[p] != now.get(p)]
        problems.append("dump of /%s differs from the uninterrupted import's: %s" % (tag, diff[:5]))
        return False
    return True


def main():
    nelem, nver = generate()
    print("data: %d elements, %d versions (seed %d)" % (nelem, nver, seed))
    # Two uninterrupted imports: their dumps must be equal too, or the
    # comparison would blame kills for what differs between any two runs.
    t_ref = None
    for tag in ("ref", "ref2"):
        make_vob(tag)
        t0 = time.monotonic()
        with open(os.path.join(work, "ref.log"), "w") as log:
            rc = start_import(tag, log).wait()
        t = time.monotonic() - t0
        t_ref = t if t_ref is None else min(t_ref, t)
        if rc != 0:
            print(open(os.path.join(work, "ref.log")).read())
            sys.exit("the uninterrupted import failed")
    ref = dump("ref")
    if dump("ref2") != ref:
        sys.exit("two uninterrupted imports differ")
    print("uninterrupted import: %.2f s" % t_ref)

    started = time.monotonic()
    problems = []
    kills = in_txn = tmp_left = finished_alone = converged = checks = 0
    cycle = runs_on_vob = 0
    tag = None
    while kills < kills_wanted and not problems:
        if tag is None:
            cycle += 1
            tag = "k%d" % cycle
            storage = make_vob(tag)
            runs_on_vob = 0
        fresh = runs_on_vob == 0
        runs_on_vob += 1
        with open(os.path.join(work, "run.log"), "w") as log:
            t0 = time.monotonic()
            proc = start_import(tag, log)
            try:
                rc = proc.wait(timeout=rng.uniform(0, t_ref * 1.1))
            except subprocess.TimeoutExpired:
                rc = None
        if rc is not None and fresh:
            # A whole import that ran faster than the reference: aim the kills there.
            t_ref = min(t_ref, time.monotonic() - t0)
        if rc is not None:
            # It got to the end first: the VOB must equal the reference.
            finished_alone += 1
            if os.listdir(TMP):
                problems.append("temporary files left after a complete run: %s" % os.listdir(TMP))
            if rc != 0:
                problems.append("a continued import failed:\n" + open(os.path.join(work, "run.log")).read())
            elif compare(tag, ref, problems):
                converged += 1
            tag = None
            continue
        proc.send_signal(signal.SIGSTOP)
        in_txn += holds_write_lock(storage)
        proc.kill()
        proc.wait()
        kills += 1
        pool_tmp = os.path.join(storage, "pool", "tmp")
        tmp_left += bool(os.path.isdir(pool_tmp) and os.listdir(pool_tmp))
        # The killed run's temporary directory at most: the next run removes it.
        left = [n for n in os.listdir(TMP) if n.startswith("vantimport.")]
        if len(left) > 1:
            problems.append("temporary directories of killed runs pile up: %s" % left)
        check_store(storage, tag, problems)
        check_elements(tag, ref, problems)
        checks += 1
    if tag is not None and not problems:
        with open(os.path.join(work, "run.log"), "w") as log:
            rc = start_import(tag, log).wait()
        if rc != 0:
            problems.append("the final import failed:\n" + open(os.path.join(work, "run.log")).read())
        elif compare(tag, ref, problems):
            converged += 1
        if os.listdir(TMP):
            problems.append("temporary files left after the final run: %s" % os.listdir(TMP))
        check_store(storage, tag, problems)
        checks += 1
    print("kills:                       %d in %.1f s" % (kills, time.monotonic() - started))
    print("  inside a write transaction: %d" % in_txn)
    print("  leaving pool/tmp files:     %d" % tmp_left)
    print("runs that finished unkilled: %d" % finished_alone)
    print("VOBs continued to the end:   %d, equal to the uninterrupted import: %d" % (cycle, converged))
    print("store checks:                %d, problems: %d" % (checks, len(problems)))
    for p in problems:
        print("PROBLEM: " + p)
    sys.exit(1 if problems or converged != cycle else 0)


def on_term(sig, frame):
    raise SystemExit(1)


signal.signal(signal.SIGTERM, on_term)
try:
    main()
finally:
    for p in running:
        if p.poll() is None:
            p.kill()
            p.wait()
