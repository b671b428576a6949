"""Measures zmTagIO against the limit and its peers on a corpus made by
make_corpus.py and prints one table.

The machine is shared and noisy, so every figure is a ratio of medians of runs
taken side by side: a round runs every command of a group once, in an order
that rotates from round to round, after one untimed round that warms the cache
and checks that every command did its work.

Usage: measure.py CORPUS BUILD_DIR [--rounds N] [--write-rounds N]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
TIME = "/usr/bin/time"

# The figures the component is held to. A Windows Media read asks the
# runtime for each attribute of its list, twice for those present: its reads
# are held to less.
READ_OF_LIMIT = {"mp3": 0.75, "ogg": 0.75, "wma": 0.65}
HELD_TO_LIMIT = ("zmTagIO MDInit+MDUninit", "zmtagio show --json")
# On this 2-core machine the second worker shares its core with the printer.
SCAN_SPEEDUP = 1.5
# set over this many small MP3s, with one worker and with two.
SET_FILES = 100
# Peak memory of a scan of the whole corpus over that of its 2,000 Ogg files:
# the walk holds no list of what it found.
WALK_MEMORY_GROWTH = 1.1
REWRITE_OF_DD = 0.9
# A title change whose new tag fits in the old one's room is written in place:
# it is held to TagLib's save followed by an fsync of the file.
IN_PLACE_OF_TAGLIB = 1.5
IN_PLACE = "zmTagIO title, tag with room (in place)"
# The same change on the corpus's file afresh each round: its tag has no room,
# so the file is rebuilt.
REBUILD = "zmTagIO title, tag without room (rebuild)"
TAGLIB_WRITE = "TagLib save + fsync"
# The Ogg rewrite in which a 1 MB value comes or goes, so that the header pages
# grow or shrink and every later page is renumbered.
OGG_PAGES_GROW = "zmTagIO, 1 MB comment added/dropped"
REWRITE_RSS_MB = 8
# The title of the same file carrying a 10 MB picture (make_corpus.py): its
# header pages, too large to be held, are rebuilt a page at a time.
OGG_PICTURE = "zmTagIO title, 10 MB picture (rebuild)"
OGG_PICTURE_FILE = os.path.join("big", "big-picture.ogg")
# MB/s of the picture read at 40 MB over that at 20 MB. Both tags are larger
# than the caches, so a read whose time grows with the size keeps its pace,
# and one that grew with the square of the size would halve it. Below the
# caches' size a read is faster, so the smaller pictures only show the trend.
PICTURE_FLATNESS = 0.75


class Command:
    """One program run: argv from the corpus folder, an untimed setup, and
    whether its output must say that every file was read. A reader also has
    the same run over one file: its time, the program's own start, is taken
    off, so that files per second count reading and not starting."""

    def __init__(self, name, argv, setup=None, reads=False, one=None, count=0):
        self.name, self.argv, self.setup, self.reads = name, argv, setup, reads
        self.start = Command(name, one) if one else None
        self.count = count  # files read by one run
        self.times, self.note, self.failed = [], "", False
        self.megabytes = None  # of the file a writer changes, when not the group's

    def argv_for(self, round_number):
        return [a.format(round=round_number) for a in self.argv]

    def run(self, corpus, env, round_number, capture=False):
        if self.setup:
            self.setup()
        out = subprocess.PIPE if capture else subprocess.DEVNULL
        start = time.perf_counter()
        try:
            done = subprocess.run(self.argv_for(round_number), cwd=corpus, env=env, stdout=out,
                                  stderr=subprocess.PIPE, text=True)
        except OSError as e:  # a peer that this machine could not build
            done = subprocess.CompletedProcess(self.argv, 127, "", str(e))
        elapsed = time.perf_counter() - start
        return elapsed, done

    def median(self):
        if not self.times or self.failed:
            return None
        start = self.start.median() if self.start else 0
        return max(statistics.median(self.times) - (start or 0), 1e-9)


def warm_and_check(command, corpus, env):
    _, done = command.run(corpus, env, 0, capture=True)
    if done.returncode != 0:
        command.failed = True
        last = (done.stderr.strip().splitlines() or ["exit status %d" % done.returncode])[-1]
        command.note = "failed: " + last[:60]
        return
    if command.reads:
        # "files N failed F values V": a reader that found nothing is no
        # reader, however fast.
        words = done.stdout.split()
        if len(words) >= 6 and words[0] == "files":
            files, values = int(words[1]), int(words[5])
            command.note = "%.1f values/file" % (values / files if files else 0)
            if values == 0:
                command.failed, command.note = True, "failed: read no values"


def measure(commands, corpus, env, rounds):
    for command in commands:
        warm_and_check(command, corpus, env)
    live = [c for c in commands if not c.failed]
    starts = [c.start for c in live if c.start]
    # The starts are short: twice the rounds, in the same alternation.
    for group, count in ((live, rounds), (starts, 2 * rounds)):
        for r in range(1, count + 1):
            shift = r % len(group) if group else 0
            for command in group[shift:] + group[:shift]:
                elapsed, done = command.run(corpus, env, r)
                if done.returncode != 0:
                    command.failed, command.note = True, "failed in round %d" % r
                command.times.append(elapsed)


def peak_rss_mb(argv, corpus, env):
    done = subprocess.run([TIME, "-v"] + argv, cwd=corpus, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    for line in done.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.rsplit(":", 1)[1]) / 1024
    return None


def settle():
    """Writes back what is waiting and then waits, a second at most, until the
    disks have had nothing in flight for a while: a file system mounted with
    discard sends the device the blocks a replaced file freed after its
    commit, and that work would otherwise run on into the next timed run."""
    os.sync()
    disks = "/sys/block"
    counters = [os.path.join(disks, d, "inflight") for d in os.listdir(disks)] if os.path.isdir(disks) else []
    quiet, deadline = 0, time.monotonic() + 1
    while quiet < 3 and time.monotonic() < deadline:
        busy = 0
        for path in counters:
            try:
                with open(path) as f:
                    busy += sum(int(n) for n in f.read().split())
            except OSError:
                pass
        quiet = quiet + 1 if busy == 0 else 0
        time.sleep(0.01)


def files_in(corpus, folder):
    return sorted(os.path.join(folder, f) for f in os.listdir(os.path.join(corpus, folder)))


def tool_works(argv, corpus, env):
    try:
        done = subprocess.run(argv, cwd=corpus, env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return False
    return done.returncode == 0


class Programs:
    def __init__(self, build):
        bench = os.path.join(build, "bench")
        self.limit = os.path.join(bench, "zm_bench_limit")
        self.read = os.path.join(bench, "zm_bench_readfiles")
        self.retitle = os.path.join(bench, "zm_bench_retitle")
        self.picture = os.path.join(bench, "zm_bench_pictureread")
        self.taglib_read = os.path.join(bench, "zm_peer_taglibread")
        self.taglib_write = os.path.join(bench, "zm_peer_taglibwrite")
        self.zmtagio = os.path.join(build, "tools", "zmtagio")
        self.mutagen_read = [PYTHON, os.path.join(HERE, "peers", "mutagen_read.py")]
        self.mutagen_write = [PYTHON, os.path.join(HERE, "peers", "mutagen_write.py")]


# A timed run of a few milliseconds is at the mercy of the machine's other
# work, so the programs held to the targets read their file list this many
# times over: about 20,000 files a run. The peers, far slower, read it once.
READS_PER_RUN = 20000


def read_commands(p, kind, files, show_json, scan, baseline):
    """The commands held to the targets, then the peers."""
    repeat = max(1, READS_PER_RUN // len(files))

    def reader(name, program, reads=False, times=1):
        return Command(name, program + files * times, reads=reads, one=program + files[:1],
                       count=len(files) * times)

    def scanner(jobs):
        program = [p.zmtagio, "scan", "--jobs", str(jobs)]
        return Command("zmtagio scan --jobs %d" % jobs, program + [kind], one=program + files[:1],
                       count=len(files))

    held = [reader("limit (system calls only)", [p.limit], times=repeat),
            reader("zmTagIO MDInit+MDUninit", [p.read], reads=True, times=repeat)]
    if baseline:
        held.append(reader("zmTagIO MDInit+MDUninit (baseline)", [baseline.read], reads=True, times=repeat))
    if show_json:
        held.append(reader("zmtagio show --json", [p.zmtagio, "show", "--json"], times=repeat))
    if scan:
        held += [scanner(1), scanner(2)]
    peers = [reader("TagLib", [p.taglib_read], reads=True), reader("mutagen", p.mutagen_read, reads=True)]
    if kind == "ogg":
        loop = 'for f in "$@"; do vorbiscomment -l "$f" || exit 1; done'
        peers.append(reader("vorbiscomment -l (a process per file)", ["sh", "-c", loop, "sh"]))
    return held, peers


def write_commands(p, corpus, big, baseline):
    """Every writer changes a copy of its own, made afresh from the corpus's
    file: a writer may leave a file in a state another one cannot read, or
    with room that makes its next change cheaper. Every writer starts with nothing
    of anybody's waiting to be written, so that none pays for another's
    write-back. cp and dd write over the copy of the round before, as a
    replace frees the file it replaces."""
    extension = os.path.splitext(big)[1]
    copy = os.path.join("big", "copy" + extension)
    title = "Bench round {round}"

    def writer(name, program, own, *options, source=big):
        target = os.path.join("big", own + extension)
        shutil.copyfile(os.path.join(corpus, source), os.path.join(corpus, target))
        command = Command(name, program + list(options) + [target] + ([title] if not options else []))
        command.megabytes = os.path.getsize(os.path.join(corpus, source)) / (1 << 20)
        return command

    # Four kilobytes: more than the corpus's tags hold of padding, so the new
    # tag never fits in the old one's room.
    long_title = title + ", " + "a title longer than the room of the tag " * 100

    def afresh(name, own):
        """Every round starts from the corpus's file, copied before the clock starts."""
        target = os.path.join("big", own + extension)

        def setup():
            shutil.copyfile(os.path.join(corpus, big), os.path.join(corpus, target))
            settle()
        return Command(name, [p.retitle, target, long_title], setup=setup)

    commands = [
        Command("cp", ["cp", big, copy]),
        Command("dd bs=512000 conv=fsync",
                ["dd", "if=" + big, "of=" + copy, "bs=512000", "conv=fsync", "status=none"]),
        writer(IN_PLACE, [p.retitle], "zmtagio"),
        afresh(REBUILD, "rebuild"),
    ]
    if extension == ".ogg":
        commands.append(writer(OGG_PAGES_GROW, [p.retitle, "--picture"], "grow"))
        commands.append(writer(OGG_PICTURE, [p.retitle], "picture", source=OGG_PICTURE_FILE))
    if baseline:
        commands.append(writer("zmTagIO MDEditField+MDUpdate (baseline)", [baseline.retitle], "baseline"))
    commands += [writer(TAGLIB_WRITE, [p.taglib_write], "taglib"), writer("mutagen", p.mutagen_write, "mutagen")]
    if extension == ".ogg":
        commands.append(writer("vorbiscomment", ["vorbiscomment"], "vorbiscomment", "-d", "TITLE", "-t",
                               "TITLE=" + title))
    for command in commands:
        command.setup = command.setup or settle
    return commands


def ratio(a, b):
    return a / b if a and b else None


def fmt(value, pattern):
    return format(value, pattern) if value is not None else "n/a"


def verdict(value, target, below=False):
    if value is None:
        return "not measured"
    return "met" if (value < target if below else value >= target) else "MISSED"


def report_reads(p, corpus, env, rounds, show_json, scan, baseline, targets):
    print("\nReading small files: files/s, net of each program's start, and each as a fraction of the "
          "limit's files/s")
    print("(the limit, MDInit and show --json read each list over, about %d files a run; they and the scans "
          "take %d rounds, the peers %d)" % (READS_PER_RUN, 3 * rounds, rounds))
    print("%-5s %-40s %10s %8s %9s  %s" % ("kind", "reader", "files/s", "x limit", "peak RSS",
                                           "check"))
    for kind in ("mp3", "ogg", "wma"):
        files = files_in(corpus, kind)
        held, peers = read_commands(p, kind, files, show_json, scan, baseline)
        # The targets are ratios of short runs: three times the rounds, in
        # their own alternation, so that the slow peers do not spread them.
        measure(held, corpus, env, 3 * rounds)
        measure(peers, corpus, env, rounds)
        commands = held + peers
        limit = commands[0].count / commands[0].median() if commands[0].median() else None
        by_name = {c.name: c for c in commands}
        for c in commands:
            m = c.median()
            rate = c.count / m if m else None
            rss = peak_rss_mb(c.argv_for(0), corpus, env) if c.argv[0] != "sh" else None
            print("%-5s %-40s %10s %8s %9s  %s" % (
                kind, c.name, fmt(rate, ",.0f"), fmt(ratio(rate, limit), ".2f"),
                fmt(rss, ".1f") + " MB" if rss else "", c.note))
            if c.name in HELD_TO_LIMIT:
                target = READ_OF_LIMIT[kind]
                targets.append(("%s %s >= %.2fx limit" % (kind, c.name, target),
                                ratio(rate, limit), verdict(ratio(rate, limit), target)))
        if scan:
            speedup = ratio(by_name["zmtagio scan --jobs 1"].median(),
                            by_name["zmtagio scan --jobs 2"].median())
            print("%-5s %-40s %10s %8s" % (kind, "scan --jobs 2 over --jobs 1", "",
                                           fmt(speedup, ".2f")))
            targets.append(("%s scan --jobs 2 >= %.1fx --jobs 1" % (kind, SCAN_SPEEDUP), speedup,
                            verdict(speedup, SCAN_SPEEDUP)))


# Files per callgrind run: enough that the program's own start, taken off
# with a one-file run, is a small part of the count.
CPU_FILES = 500


def instructions(argv, corpus, env):
    """User-space instructions of one run under callgrind, or None."""
    out = os.path.join(env["TMPDIR"], "callgrind.out")
    done = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out] + argv, cwd=corpus,
                          env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if os.path.exists(out):
        os.remove(out)
    for line in done.stderr.splitlines():
        if "Collected :" in line and done.returncode == 0:
            return int(line.rsplit(":", 1)[1])
    return None


def report_cpu(p, corpus, env, show_json):
    """The ratios above set a program's own work against the system calls of
    the machine it runs on, and a machine whose calls are cheap lowers every
    parser's ratio. Instructions counted by callgrind barely differ from one
    x86-64 machine to the next: they show whether the program's own work
    changed."""
    if shutil.which("valgrind") is None:
        print("\nInstructions per file: valgrind is not installed, left out")
        return
    print("\nUser-space instructions per file (callgrind over %d files, net of a one-file run)" % CPU_FILES)
    print("%-5s %-40s %12s" % ("kind", "reader", "instructions"))
    for kind in ("mp3", "ogg", "wma"):
        files = files_in(corpus, kind)[:CPU_FILES]
        programs = [("limit (system calls only)", [p.limit]), ("zmTagIO MDInit+MDUninit", [p.read])]
        if show_json:
            programs.append(("zmtagio show --json", [p.zmtagio, "show", "--json"]))
        programs.append(("TagLib", [p.taglib_read]))
        for name, program in programs:
            whole, one = instructions(program + files, corpus, env), instructions(program + files[:1], corpus, env)
            per_file = (whole - one) / (len(files) - 1) if whole and one and len(files) > 1 else None
            print("%-5s %-40s %12s" % (kind, name, fmt(per_file, ",.0f")))


def report_writes(p, corpus, env, rounds, baseline, targets):
    print("\nChanging the title of a large file: MB/s of file, and each as a fraction of dd's")
    print("%-5s %-40s %10s %8s %9s  %s" % ("file", "writer", "MB/s", "x dd", "peak RSS", "check"))
    for big in (os.path.join("big", "big.mp3"), os.path.join("big", "big.ogg")):
        megabytes = os.path.getsize(os.path.join(corpus, big)) / (1 << 20)
        commands = write_commands(p, corpus, big, baseline)
        measure(commands, corpus, env, rounds)
        dd = commands[1].median()
        taglib = next(c for c in commands if c.name == TAGLIB_WRITE).median()
        for c in commands:
            m = c.median()
            rss = peak_rss_mb(c.argv_for(0), corpus, env)
            # MB/s against dd's, so that a writer of a larger file is not held to dd's time.
            rate = (c.megabytes or megabytes) / m if m else None
            of_dd = ratio(rate, megabytes / dd if dd else None)
            print("%-5s %-40s %10s %8s %9s  %s" % (
                big[-3:], c.name, fmt(rate, ",.0f"), fmt(of_dd, ".2f"),
                fmt(rss, ".1f") + " MB" if rss else "", c.note))
            if c.name == IN_PLACE and big.endswith(".mp3"):
                targets.append(("mp3 title in place <= %.1fx TagLib save + fsync" % IN_PLACE_OF_TAGLIB,
                                ratio(m, taglib), verdict(ratio(m, taglib), IN_PLACE_OF_TAGLIB, below=True)))
            if c.name in (REBUILD, OGG_PAGES_GROW, OGG_PICTURE):
                what = {REBUILD: "rebuild", OGG_PAGES_GROW: "rebuild, pages renumbered,",
                        OGG_PICTURE: "rebuild, 10 MB picture,"}[c.name]
                targets.append(("%s %s >= %.1fx dd conv=fsync" % (big[-3:], what, REWRITE_OF_DD),
                                of_dd, verdict(of_dd, REWRITE_OF_DD)))
                targets.append(("%s %s peak RSS < %d MB" % (big[-3:], what, REWRITE_RSS_MB), rss,
                                verdict(rss, REWRITE_RSS_MB, below=True)))
        print("%-5s %-40s %10.1f" % (big[-3:], "(file size, MB)", megabytes))


def report_set(p, corpus, env, rounds, targets):
    """Each run gives every file of its own copy of the folder a new title."""
    print("\nChanging the title of %d small MP3s with one zmtagio set: files/s" % SET_FILES)
    files = files_in(corpus, "mp3")[:SET_FILES]
    commands = []
    for jobs in (1, 2):
        folder = os.path.join("set", "jobs%d" % jobs)
        shutil.rmtree(os.path.join(corpus, folder), ignore_errors=True)
        os.makedirs(os.path.join(corpus, folder))
        for f in files:
            shutil.copyfile(os.path.join(corpus, f), os.path.join(corpus, folder, os.path.basename(f)))
        commands.append(Command("zmtagio set --jobs %d" % jobs,
                                [p.zmtagio, "set", "--jobs", str(jobs), folder, "--title", "Bench round {round}"],
                                setup=settle))
    measure(commands, corpus, env, rounds)
    print("%-40s %10s  %s" % ("writer", "files/s", "check"))
    for c in commands:
        m = c.median()
        print("%-40s %10s  %s" % (c.name, fmt(SET_FILES / m if m else None, ",.0f"), c.note))
    speedup = ratio(commands[0].median(), commands[1].median())
    print("%-40s %10s" % ("set --jobs 2 over --jobs 1", fmt(speedup, ".2f")))
    targets.append(("set --jobs 2 over --jobs 1 (%d MP3s; no target)" % SET_FILES, speedup,
                    "reported" if speedup else "not measured"))


def report_walk_memory(p, corpus, env, targets):
    kinds = ("mp3", "ogg", "wma")
    everything = sum(len(files_in(corpus, kind)) for kind in kinds)
    ogg = len(files_in(corpus, "ogg"))
    whole = peak_rss_mb([p.zmtagio, "scan", "--jobs", "2", *kinds], corpus, env)
    part = peak_rss_mb([p.zmtagio, "scan", "--jobs", "2", "ogg"], corpus, env)
    growth = ratio(whole, part)
    print("\nPeak memory of zmtagio scan --jobs 2: %s MB for %d files, %s MB for %d" % (
        fmt(whole, ".1f"), everything, fmt(part, ".1f"), ogg))
    targets.append(("scan peak RSS, %d files over %d, <= %.1fx" % (everything, ogg, WALK_MEMORY_GROWTH),
                    growth, verdict(growth, WALK_MEMORY_GROWTH, below=True) if growth else "not measured"))


def report_picture(p, corpus, env, targets):
    print("\nReading one large picture in an unsynchronised version-2.3 tag: MB/s of file per CPU second")
    done = subprocess.run([p.picture, "--benchmark_format=json", "--benchmark_repetitions=5",
                           "--benchmark_enable_random_interleaving=true",
                           "--benchmark_report_aggregates_only=true", "picture"],
                          cwd=corpus, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True)
    try:
        results = json.loads(done.stdout)["benchmarks"]
    except (ValueError, KeyError):
        print("failed: %s" % done.stdout[-200:])
        targets.append(("picture read linear in size", None, "not measured"))
        return
    rates = {}
    for b in results:
        if b.get("aggregate_name") == "median" and "bytes_per_second" in b:
            name, size = b["run_name"].rsplit("/", 1)
            rates.setdefault(name, {})[int(size)] = b["bytes_per_second"] / (1 << 20)
    print("%-10s %14s %16s %10s" % ("picture", "zmTagIO MB/s", "plain read MB/s", "x read"))
    ours, plain = rates.get("MDInit/picture", {}), rates.get("PlainRead/picture", {})
    for size in sorted(ours):
        print("%-10s %14.0f %16.0f %10.2f" % ("%d MB" % size, ours[size], plain.get(size, 0),
                                               ratio(ours[size], plain.get(size)) or 0))
    large = sorted(ours)[-2:]
    flatness = ratio(ours[large[-1]], ours[large[0]]) if len(large) == 2 else None
    print("MB/s at %s MB over MB/s at %s MB: %s" % (large[-1] if large else "?", large[0] if large else "?",
                                                     fmt(flatness, ".2f")))
    targets.append(("picture read linear (MB/s at 40 MB >= %.2fx at 20 MB)" % PICTURE_FLATNESS,
                    flatness, verdict(flatness, PICTURE_FLATNESS)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("corpus")
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--write-rounds", type=int, default=9)
    parser.add_argument("--only", choices=("read", "cpu", "write", "set", "picture"))
    parser.add_argument("--baseline", metavar="BUILD_DIR",
                        help="another build whose component runs beside this one's")
    args = parser.parse_args()
    corpus, build = os.path.abspath(args.corpus), os.path.abspath(args.build)
    p = Programs(build)
    baseline = Programs(os.path.abspath(args.baseline)) if args.baseline else None
    env = dict(os.environ, LC_ALL="C")
    # The temporary folder lies on the music's own disk, so a rebuild's new file is made there.
    env["TMPDIR"] = os.path.join(corpus, "tmp")
    os.makedirs(env["TMPDIR"], exist_ok=True)

    one = files_in(corpus, "mp3")[:1]
    show_json = tool_works([p.zmtagio, "show", "--json"] + one, corpus, env)
    scan = tool_works([p.zmtagio, "scan", "--jobs", "2", os.path.join(corpus, "wma")], corpus,
                      env)
    # Two jobs can only be faster than one where a second core is free.
    print("zmTagIO bench: %s, %d cores, load average %.1f, %d read rounds, %d write rounds (medians)" % (
        time.strftime("%Y-%m-%d %H:%M"), os.cpu_count(), os.getloadavg()[0], args.rounds, args.write_rounds))
    if not show_json or not scan:
        print("zmtagio %s: not available in this build, left out" %
              " and ".join(n for n, ok in (("show --json", show_json), ("scan", scan)) if not ok))
    targets = []
    if args.only in (None, "read"):
        report_reads(p, corpus, env, args.rounds, show_json, scan, baseline, targets)
    if args.only in (None, "read", "cpu"):
        report_cpu(p, corpus, env, show_json)
    if args.only in (None, "write"):
        if not os.path.exists(os.path.join(corpus, OGG_PICTURE_FILE)):  # a corpus made before it was added
            sys.path.insert(0, HERE)
            import make_corpus
            make_corpus.make_big_ogg_picture(os.path.join(corpus, "big"))
        report_writes(p, corpus, env, args.write_rounds, baseline, targets)
    if args.only in (None, "set") and scan:
        report_set(p, corpus, env, args.rounds, targets)
        report_walk_memory(p, corpus, env, targets)
    if args.only in (None, "picture"):
        report_picture(p, corpus, env, targets)
    print("\nTargets")
    for name, value, result in targets:
        print("  %-55s %8s  %s" % (name, fmt(value, ".2f"), result))
    return 0


if __name__ == "__main__":
    sys.exit(main())
