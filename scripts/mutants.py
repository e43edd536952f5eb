#!/usr/bin/env python3
"""Mutation sampler: how many small faults in src/ does the test suite notice?

Draws N mutants of the product code from a seed, spread over every folder of
src/, applies each in place, rebuilds the release build incrementally, runs the
release tests (ctest) and counts the mutant killed (a test failed or hung),
survived, not built, or not applicable (its line is gone from today's sources).

A mutant is named by its file, the text of its line and its operator, never by
a line number, so one seed gives the same faults after unrelated edits, and
--base REV draws them from an older revision and applies them to today's files.
The file is always restored, also on Ctrl-C or SIGTERM; a run killed outright
leaves a note in the build folder that the next run (or --restore) undoes.

  python3 scripts/mutants.py -n 150 --seed 19 --json build/mutants.json
  python3 scripts/mutants.py -n 40 --only src/friction
  python3 scripts/mutants.py --compare old.json new.json

Standard library only.
"""

import argparse
import functools
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_SUFFIXES = (".cpp", ".h")
# Sources this platform does not compile: a mutant there could never be noticed.
NOT_BUILT_HERE = re.compile(r"_bcrypt\.cpp$|windows_api\.h$")

# Two stages: the main suite first (most mutants die there, and it needs only
# the ordinary core), then the allocation-failure and concurrency tests, which
# link a second build of the core and are built only for what survived. The
# first stage builds those of its targets the build defines (the language
# bindings' tests need the compilers they are built with).
STAGES = [
    ("main", ["mx_tests", "mxtool", "mxplugin", "mx_host", "mx_sample_module", "mx_roundtrip",
              "mx_header_as_c", "mxplugin_fortran", "mx_host_fortran", "mx_fortran_strings",
              "mx_fortran_concurrency", "mx_guide_c", "mx_guide_cpp", "mx_guide_fortran"],
     ["-LE", "hardening|concurrency", "-E", "^mx_(hardening|concurrency)_tests_NOT_BUILT$"]),
    ("hardening", ["mx_hardening_tests", "mx_concurrency_tests"], ["-L", "hardening|concurrency"]),
]

# Operators: (name, pattern on the masked line, replacement). Binary operators
# carry the spaces the formatter puts around them, which tells them apart from
# template brackets, pointers and unary signs.
SWAPS = [
    ("rel", r" < ", " <= "), ("rel", r" <= ", " < "), ("rel", r" > ", " >= "),
    ("rel", r" >= ", " > "), ("rel", r" == ", " != "), ("rel", r" != ", " == "),
    ("arith", r" \+ ", " - "), ("arith", r" - ", " + "), ("arith", r" \* ", " / "),
    ("arith", r" / ", " * "), ("arith", r" % ", " * "), ("arith", r" \+= ", " -= "),
    ("arith", r" -= ", " += "), ("arith", r" \*= ", " /= "), ("arith", r" << ", " >> "),
    ("arith", r" >> ", " << "), ("arith", r" & ", " | "), ("arith", r" \| ", " & "),
    ("logic", r" && ", " || "), ("logic", r" \|\| ", " && "),
    ("bool", r"\btrue\b", "false"), ("bool", r"\bfalse\b", "true"),
    ("not", r"!(?=[\w(])", ""),
]
CONSTANT = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
ASSIGNMENT = re.compile(r"^[\w.\[\]>:-]+(\(\))?\s*(=|\+=|-=|\*=|/=|\|=|&=|<<=|>>=)\s[^=].*;$|^[\w.\[\]>-]+(\+\+|--);$")
CALL = re.compile(r"^(\w+(::|\.|->))*\w+\(.*\);$")
# Lines no mutant of which is a fault a release build could show: asserts are
# compiled out there.
SKIP_LINE = re.compile(
    r"^\s*(#|//|\*|/\*|static_assert|assert\(|namespace|template|using|typedef|case\b|default:)")


def masked(line):
    """The line with string and character literals and a trailing comment blanked."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(c if c == quote else " ")
            quote = None if c == quote else quote
        elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(line)]


def balanced(text):
    return text.count("(") == text.count(")") and text.count("{") == text.count("}")


def candidates(path, text):
    """Every mutant of one file: dicts naming file, line text, operator and position."""
    result = []
    in_block = False
    seen = {}
    for raw in text.splitlines():
        stripped = raw.strip()
        # Which of the lines with this very text it is (identical lines do occur).
        nth = seen.get(stripped, 0)
        seen[stripped] = nth + 1
        if in_block:
            in_block = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in stripped
            continue
        if not stripped or SKIP_LINE.match(raw):
            continue
        m = masked(stripped)
        sites = []
        for kind, pattern, replacement in SWAPS:
            for hit in re.finditer(pattern, m):
                if kind == "arith" and '"' in m[max(0, hit.start() - 1): hit.end() + 1]:
                    continue  # string concatenation: a minus would not compile
                sites.append((kind, hit.start(), hit.group(0), replacement))
        for hit in CONSTANT.finditer(m):
            value = int(hit.group(1))
            if m[: hit.start()].rstrip().endswith(("[", "<")) and "=" not in m:
                continue  # array sizes and template arguments of declarations
            sites.append(("const", hit.start(), hit.group(1), str(value + 1)))
            if value > 0:
                sites.append(("const", hit.start(), hit.group(1), str(value - 1)))
        if balanced(m) and (ASSIGNMENT.match(m) or (CALL.match(m) and not m.startswith("return"))):
            sites.append(("delete", 0, stripped, ";"))
        for kind, col, before, after in sites:
            result.append({"file": path, "text": stripped, "nth": nth, "kind": kind,
                           "col": col, "before": before, "after": after})
    return result


def mutant_id(m):
    key = "\0".join([m["file"], m["text"], str(m["nth"]), m["kind"], str(m["col"]), m["before"],
                     m["after"]])
    return hashlib.sha1(key.encode()).hexdigest()[:10]


def describe(m):
    return "%s %s '%s'->'%s' in: %s" % (m["file"], m["kind"], m["before"].strip(),
                                        m["after"].strip(), m["text"][:90])


def git(*args):
    return subprocess.run(["git", "-C", ROOT] + list(args), check=True, capture_output=True,
                          text=True).stdout


def source_files(rev):
    if rev:
        names = git("ls-tree", "-r", "--name-only", rev, "--", "src").split()
    else:
        names = []
        for folder, _, files in os.walk(os.path.join(ROOT, "src")):
            names += [os.path.relpath(os.path.join(folder, f), ROOT) for f in files]
    names = sorted(n for n in names if n.endswith(SOURCE_SUFFIXES) and not NOT_BUILT_HERE.search(n))
    for name in names:
        if rev:
            yield name, git("show", "%s:%s" % (rev, name))
        else:
            with open(os.path.join(ROOT, name), encoding="utf-8") as f:
                yield name, f.read()


@functools.lru_cache(maxsize=None)
def includers(path):
    """0 for a source file; for a header, the number of files that include it."""
    if not path.endswith(".h"):
        return 0
    name = '"%s"' % os.path.relpath(path, "src")
    count = 1
    for top in ("src", "tools", "tests", "examples", "bench"):
        for folder, _, files in os.walk(os.path.join(ROOT, top)):
            for f in files:
                if f.endswith((".cpp", ".h", ".c")):
                    with open(os.path.join(folder, f), encoding="utf-8", errors="replace") as h:
                        count += name in h.read()
    return count


def draw(count, seed, rev, only):
    """count mutants spread over the folders of src/: every folder gets a fair
    floor, the rest goes by how many mutants each folder offers."""
    by_folder = {}
    for name, text in source_files(rev):
        if only and not any(name.startswith(o.rstrip("/")) for o in only):
            continue
        by_folder.setdefault(os.path.dirname(name), []).extend(candidates(name, text))
    rng = random.Random(seed)
    folders = sorted(by_folder)
    total = sum(len(v) for v in by_folder.values())
    floor = count // (2 * max(1, len(folders)))
    share = {f: min(len(by_folder[f]), floor) for f in folders}
    rest = count - sum(share.values())
    for f in folders:
        share[f] = min(len(by_folder[f]), share[f] + rest * len(by_folder[f]) // max(1, total))
    # Rounding leaves a few over: hand them out in a seeded order.
    order = folders[:]
    rng.shuffle(order)
    while sum(share.values()) < min(count, total):
        for f in order:
            if share[f] < len(by_folder[f]) and sum(share.values()) < count:
                share[f] += 1
    picked = []
    for f in folders:
        # Operators take turns, so the many constants do not crowd out the rest.
        kinds = {}
        for m in by_folder[f]:
            kinds.setdefault(m["kind"], []).append(m)
        turns = sorted(kinds)
        rng.shuffle(turns)
        for k in turns:
            rng.shuffle(kinds[k])
        taken = 0
        while taken < share[f]:
            for k in turns:
                if kinds[k] and taken < share[f]:
                    picked.append(kinds[k].pop())
                    taken += 1
    # Mutants of one file in a row, so that each build recompiles as little as
    # it can; sources first, then headers by how many files name them (a
    # header of the data model recompiles nearly everything).
    picked.sort(key=lambda m: (includers(m["file"]), m["file"], m["text"], m["col"], m["after"]))
    for m in picked:
        m["id"] = mutant_id(m)
    return picked


def apply(m, text):
    """Today's text of m's file with the mutant applied, or None when its line is gone."""
    lines = text.splitlines(keepends=True)
    matches = [i for i, l in enumerate(lines) if l.strip() == m["text"]]
    if not matches:
        return None
    index = matches[min(m["nth"], len(matches) - 1)]
    line = lines[index]
    indent = line[: len(line) - len(line.lstrip())]
    body = line.strip()
    ending = line[len(line.rstrip("\r\n")):]
    if m["kind"] == "delete":
        new = ";"
    else:
        col = m["col"]
        if body[col: col + len(m["before"])] != m["before"]:
            return None
        new = body[:col] + m["after"] + body[col + len(m["before"]):]
    lines[index] = indent + new + ending
    return "".join(lines)


class Restorer:
    """Puts a mutated file back: in finally, on SIGINT/SIGTERM/SIGHUP, and at the
    start of the next run when this one was killed outright (a note on disk)."""

    def __init__(self, note):
        self.note = note
        self.path = None
        self.original = None

    def mutate(self, path, original, mutated):
        with open(self.note, "w", encoding="utf-8") as f:
            json.dump({"path": path, "original": original}, f)
        self.path, self.original = path, original
        with open(path, "w", encoding="utf-8") as f:
            f.write(mutated)

    def restore(self):
        if self.path is not None:
            with open(self.path, "w", encoding="utf-8") as f:
                f.write(self.original)
            self.path = None
        if os.path.exists(self.note):
            os.remove(self.note)

    def restore_left_over(self):
        if os.path.exists(self.note):
            with open(self.note, encoding="utf-8") as f:
                left = json.load(f)
            with open(left["path"], "w", encoding="utf-8") as f:
                f.write(left["original"])
            os.remove(self.note)
            print("restored %s left mutated by an interrupted run" % left["path"])


def run(cmd, timeout, cwd=ROOT):
    """(returncode or None on timeout, output tail); the whole process group dies on timeout."""
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        return None, out
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise


def configure(build):
    cache = os.path.join(build, "CMakeCache.txt")
    if os.path.exists(cache):
        with open(cache, encoding="utf-8") as f:
            if "CMAKE_BUILD_TYPE:STRING=Release" not in f.read():
                sys.exit("%s is not a release build" % build)
        return
    cmd = ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release"]
    if shutil.which("ninja"):
        cmd += ["-G", "Ninja"]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


def defined_targets(build):
    out = subprocess.run(["cmake", "--build", build, "--target", "help"], capture_output=True,
                         text=True).stdout
    return set(re.findall(r"^(?:\.\.\. )?([\w.+-]+)(?::|$)", out, re.M))


def build_targets(build, targets, jobs, timeout):
    code, out = run(["cmake", "--build", build, "-j%d" % jobs, "--target"] + targets, timeout)
    return code == 0, out


def test_stage(build, selection, jobs, timeout, every=False):
    cmd = ["ctest", "--test-dir", build, "-j%d" % jobs, "--timeout", str(int(timeout))] + selection
    if not every:
        cmd.append("--stop-on-failure")
    code, out = run(cmd, timeout * 2)
    if code is None:
        return "hung", out
    return ("passed" if code == 0 else "failed"), out


def failed_tests(out):
    """Names of the tests ctest reports failed, timed out or aborted."""
    names = []
    for line in out.splitlines():
        hit = re.search(r"Test\s+#\d+: (\S+) \.+[^*\n]*\*+(Failed|Timeout|Exception|Not Run)", line)
        if hit:
            names.append(hit.group(1))
    return names


def run_mutants(args):
    build = os.path.abspath(args.build)
    restorer = Restorer(os.path.join(build, "mutant-in-place.json"))
    restorer.restore_left_over()

    def on_signal(signum, frame):
        raise KeyboardInterrupt("signal %d" % signum)

    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, on_signal)

    mutants = draw(args.n, args.seed, args.base, args.only)
    if args.id:
        mutants = [m for m in mutants if m["id"] in args.id]
    if args.killed_in:
        # After a change of the tests, what matters is that every mutant the
        # earlier run killed is still killed.
        with open(args.killed_in, encoding="utf-8") as f:
            killed = {m["id"] for m in json.load(f)["mutants"] if m["status"] == "killed"}
        mutants = [m for m in mutants if m["id"] in killed]
    head = git("rev-parse", "--short", "HEAD").strip() if os.path.isdir(os.path.join(ROOT, ".git")) \
        or os.path.isfile(os.path.join(ROOT, ".git")) else "?"
    print("%d mutants, seed %d, drawn from %s, applied to the sources at %s" %
          (len(mutants), args.seed, args.base or "today's sources", head), flush=True)
    if args.list:
        for m in mutants:
            print(m["id"], describe(m))
        return 0
    configure(build)

    # The unmutated tree must build and pass, and gives the time a test stage may take.
    defined = defined_targets(build)
    stages = [(name, [t for t in targets if t in defined], selection)
              for name, targets, selection in STAGES]
    limits = {}
    for name, targets, selection in stages:
        ok, out = build_targets(build, targets, args.jobs, 3600)
        if not ok:
            sys.exit("the unmutated sources do not build:\n" + out[-3000:])
        start = time.time()
        verdict, out = test_stage(build, selection, args.jobs, 600)
        if verdict != "passed":
            sys.exit("the unmutated sources fail stage %s:\n%s" % (name, out[-3000:]))
        limits[name] = max(args.min_timeout, args.timeout_factor * (time.time() - start))
    print("test time limits: " + ", ".join("%s %.0f s" % kv for kv in limits.items()), flush=True)

    results = []
    if args.resume:
        # The results of an interrupted run with the same draw are kept.
        with open(args.resume, encoding="utf-8") as f:
            results = [r for r in json.load(f)["mutants"] if r["id"] in {m["id"] for m in mutants}]
        done = {r["id"] for r in results}
        print("resuming: %d mutants done before" % len(done), flush=True)
    started = time.time()
    try:
        for i, m in enumerate(mutants, 1):
            if args.resume and m["id"] in done:
                continue
            if args.follow:
                wait_for(args.follow, m["id"])
            t0 = time.time()
            path = os.path.join(ROOT, m["file"])
            entry = dict(m)
            original = None
            if os.path.exists(path):
                with open(path, encoding="utf-8") as f:
                    original = f.read()
            mutated = apply(m, original) if original is not None else None
            if mutated is None:
                entry.update(status="not applicable", detail="line gone")
            else:
                try:
                    restorer.mutate(path, original, mutated)
                    entry.update(status="survived", detail="")
                    for name, targets, selection in stages:
                        ok, out = build_targets(build, targets, args.jobs, args.build_timeout)
                        if not ok:
                            entry.update(status="not built", detail=name)
                            break
                        verdict, out = test_stage(build, selection, args.jobs, limits[name],
                                                  args.every_failure)
                        if verdict != "passed":
                            failed = failed_tests(out)
                            entry.update(status="killed", failed=failed, detail="%s %s %s" % (
                                name, verdict, " ".join(failed[:3]) + (" ..." if len(failed) > 3 else "")))
                            break
                finally:
                    restorer.restore()
            entry["seconds"] = round(time.time() - t0, 1)
            results.append(entry)
            print("%3d/%d %-14s %5.1fs %s %s  [%s]" % (i, len(mutants), entry["status"],
                                                     entry["seconds"], m["id"], describe(m),
                                                     entry["detail"]), flush=True)
            if args.json:
                write_json(args, results, time.time() - started, partial=True)
    except KeyboardInterrupt as e:
        print("interrupted (%s): the file is restored" % e, flush=True)
        return 130
    finally:
        restorer.restore()
        if args.json:
            write_json(args, results, time.time() - started, partial=len(results) < len(mutants))
    summary(results, time.time() - started)
    return 0


def wait_for(path, mutant, patience=1800):
    """Waits until the results file of another run on an identical tree holds
    `mutant`, so that this run's builds come from the compiler cache."""
    waited = 0
    while waited < patience:
        try:
            with open(path, encoding="utf-8") as f:
                if any(r["id"] == mutant for r in json.load(f)["mutants"]):
                    return
        except (OSError, ValueError):
            pass
        time.sleep(5)
        waited += 5


def write_json(args, results, seconds, partial):
    with open(args.json, "w", encoding="utf-8") as f:
        json.dump({"seed": args.seed, "n": args.n, "base": args.base, "only": args.only,
                   "partial": partial, "seconds": round(seconds), "mutants": results}, f, indent=1)


def summary(results, seconds):
    count = {}
    for r in results:
        count[r["status"]] = count.get(r["status"], 0) + 1
    killed, survived = count.get("killed", 0), count.get("survived", 0)
    score = 100.0 * killed / (killed + survived) if killed + survived else 0.0
    print("summary: %d killed, %d survived, %d not built, %d not applicable; score %.1f %% "
          "(killed / (killed + survived)); %.0f s, %.1f s a mutant" %
          (killed, survived, count.get("not built", 0), count.get("not applicable", 0), score,
           seconds, seconds / max(1, len(results))))
    for r in results:
        if r["status"] == "survived":
            print("  survived %s %s" % (r["id"], describe(r)))


def compare(old_path, new_path):
    """Mutants the old run killed that the new one did not: the faults a change let through."""
    with open(old_path, encoding="utf-8") as f:
        old = {m["id"]: m for m in json.load(f)["mutants"]}
    with open(new_path, encoding="utf-8") as f:
        new = {m["id"]: m for m in json.load(f)["mutants"]}
    lost = 0
    for key, m in sorted(old.items(), key=lambda kv: kv[1]["file"]):
        after = new.get(key, {}).get("status", "missing")
        if m["status"] == "killed" and after != "killed":
            lost += 1
            print("lost  %s (%s now) %s" % (key, after, describe(m)))
        elif m["status"] == "survived" and after == "killed":
            print("gained %s %s" % (key, describe(m)))
    print("%d mutants killed before are not killed now" % lost)
    return 1 if lost else 0


def catchers(paths):
    """Per test, over --every-failure results: the mutants it alone kills, and all it kills.

    A mutant drawn by several of the runs counts once. Tests that kill nothing are not listed.
    """
    failed_by = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            for m in json.load(f)["mutants"]:
                if m["status"] == "killed":
                    failed_by[m["id"]] = m.get("failed", [])
    alone, kills = {}, {}
    for failed in failed_by.values():
        for test in failed:
            kills[test] = kills.get(test, 0) + 1
            alone[test] = alone.get(test, 0) + (len(failed) == 1)
    for test in sorted(kills, key=lambda t: (alone[t], kills[t], t)):
        print("%4d alone %4d in all  %s" % (alone[test], kills[test], test))
    several = sum(1 for failed in failed_by.values() if len(failed) > 1)
    print("%d killed mutants, %d of them by more than one test; %d tests kill some, "
          "%d of those none alone" % (len(failed_by), several, len(kills),
                                      sum(1 for t in kills if alone[t] == 0)))
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("-n", type=int, default=150, help="number of mutants (150)")
    p.add_argument("--seed", type=int, default=19)
    p.add_argument("--base", metavar="REV", help="draw the mutants from this revision's sources")
    p.add_argument("--only", action="append", metavar="PATH", help="only under this src/ path")
    p.add_argument("--build", default=os.path.join(ROOT, "build"), help="release build folder")
    p.add_argument("-j", "--jobs", type=int, default=2)
    p.add_argument("--json", metavar="FILE", help="write every mutant and its result here")
    p.add_argument("--list", action="store_true", help="print the mutants, run nothing")
    p.add_argument("--timeout-factor", type=float, default=4.0,
                   help="a test stage may take this many times the unmutated run (4)")
    p.add_argument("--min-timeout", type=float, default=30.0)
    p.add_argument("--build-timeout", type=float, default=900.0)
    p.add_argument("--resume", metavar="FILE",
                   help="keep the results FILE holds for this draw and run the rest")
    p.add_argument("--follow", metavar="FILE",
                   help="before each mutant, wait until another run's results FILE holds it")
    p.add_argument("--id", action="append", metavar="ID", help="run only this drawn mutant")
    p.add_argument("--killed-in", metavar="FILE",
                   help="run only the drawn mutants that FILE (an earlier --json) records as killed")
    p.add_argument("--every-failure", action="store_true",
                   help="run a stage's every test, not up to the first failure, and record "
                        "which tests kill each mutant (slower)")
    p.add_argument("--restore", action="store_true", help="undo a mutant an aborted run left")
    p.add_argument("--compare", nargs=2, metavar=("OLD", "NEW"),
                   help="list mutants OLD killed and NEW did not (exit 1 if any)")
    p.add_argument("--catchers", nargs="+", metavar="FILE",
                   help="per test, the mutants it alone kills and all it kills, over "
                        "--every-failure results")
    args = p.parse_args()
    if args.compare:
        return compare(*args.compare)
    if args.catchers:
        return catchers(args.catchers)
    if args.restore:
        Restorer(os.path.join(os.path.abspath(args.build), "mutant-in-place.json")).restore_left_over()
        return 0
    try:
        return run_mutants(args)
    except KeyboardInterrupt as e:
        print("interrupted (%s)" % e)
        return 130


if __name__ == "__main__":
    sys.exit(main())
