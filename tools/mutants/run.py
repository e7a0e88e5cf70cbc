#!/usr/bin/env python3
"""Mutation check of the test suites: each mutant of tools/mutants/mutants.txt
changes one piece of product text; a scratch copy of this tree is built with
it and the tests that should notice are run.  A mutant that no test kills
shows a behaviour the suites do not guard.
    tools/mutants/run.py [--only ID,...] [--presets native,win64] [--check]
Needs root: the tests run through tests/run-suite.sh, in a private network and
mount namespace.  The scratch copy (default /tmp/tarvelon-mutants) keeps its
build trees between runs, so a run rebuilds only what a mutant touches.
Prints one line per mutant (KILLED, SURVIVED, BUILD-FAIL, NOT-FOUND, ERROR)
and a summary, also written to SCRATCH/report.txt; the exit status is 1 when
any mutant was not killed.  After a change to the tests,
--compare tools/mutants/baseline-report.txt (main's suites, presets native and
win64) names the mutants that main's suites killed and these do not; a change
that adds mutants or kills more refreshes the baseline.  The scratch's build
trees are left as the last mutant built them: rebuild there before running its
suites."""

import argparse
import collections
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def parse_list(path):
    """(mutants, build needs): mutants as dicts in file order."""
    mutants, needs = [], {}
    current = None
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        where = "%s:%d" % (path, number)
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("build "):
            key, _, targets = line[6:].partition(":")
            needs[key.strip()] = targets.split()
        elif line[:2] in ("- ", "+ ", "> ") or line in ("-", "+"):
            if current is None:
                sys.exit(where + ": text outside a mutant")
            current[{"-": "old", "+": "new", ">": "what"}[line[0]]] = line[2:]
        else:
            head, _, tests = line.partition(":")
            ident, _, file = head.partition(" ")
            if not file or not tests.split():
                sys.exit(where + ": expected 'ID FILE: TEST...'")
            current = {"id": ident, "file": file.strip(), "tests": tests.split(), "where": where}
            mutants.append(current)
    for m in mutants:
        if not {"old", "new", "what"} <= m.keys() or m["old"] == m["new"]:
            sys.exit(m["where"] + ": a mutant needs '- OLD', '+ NEW' (different) and '> WHAT'")
    if len({m["id"] for m in mutants}) != len(mutants):
        sys.exit(path + ": mutant ids must be unique")
    return mutants, needs


def run(command, log=None, timeout=None, **options):
    """Exit status of `command` (its whole process group killed after `timeout` s; -9 then)."""
    process = subprocess.Popen(command, stdout=log or subprocess.DEVNULL, stderr=subprocess.STDOUT,
                               start_new_session=True, **options)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return -9


def sync_scratch(scratch):
    """Makes `scratch` hold this tree's files (tracked and new ones, as they are now);
    only changed files are written, so the build trees there stay current."""
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "-co", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    wanted = {f for f in listed if f and os.path.isfile(os.path.join(ROOT, f))}
    for name in wanted:
        source, target = os.path.join(ROOT, name), os.path.join(scratch, name)
        data = open(source, "rb").read()
        if not os.path.exists(target) or open(target, "rb").read() != data:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as out:
                out.write(data)
        shutil.copymode(source, target)
    for top, dirs, files in os.walk(scratch):
        relative = os.path.relpath(top, scratch)
        if relative == ".":
            dirs[:] = [d for d in dirs if d not in ("build", "logs")]
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            if path not in wanted and not (relative == "." and name == "report.txt"):
                os.remove(os.path.join(top, name))


def ctest_names(scratch, preset):
    out = subprocess.run(["ctest", "--test-dir", os.path.join(scratch, "build", preset), "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
    return [t["name"] for t in json.loads(out)["tests"]]


def run_tests(scratch, preset, names, log, stop_early=False):
    """{test: ctest's outcome ('Passed', 'Failed', 'Skipped', ...)} of one run-suite.sh call
    (each test has the test preset's own timeout)."""
    # Test names are plain words: the pattern needs no quoting through the shell.
    arguments = "-R ^(%s)$" % "|".join(sorted(names)) + (" --stop-on-failure" if stop_early else "")
    log.flush()
    start = log.tell()
    run([os.path.join(scratch, "tests", "run-suite.sh"), preset], log, 400 * len(names) + 300,
        env=dict(os.environ, TARVELON_CTEST_ARGS=arguments), cwd=scratch)
    log.seek(0, os.SEEK_END)
    with open(log.name, encoding="utf-8", errors="replace") as text:
        text.seek(start)
        return dict(re.findall(r"Test +#\d+: (\S+) \.*\s*\**(\S[^\n]*?)\s+[\d.]+ sec", text.read()))


def build(scratch, preset, targets, jobs, log):
    command = ["cmake", "--build", os.path.join(scratch, "build", preset), "-j", str(jobs)]
    return run(command + (["--target"] + sorted(set(targets)) if targets else []), log, 3600) == 0


def try_mutant(m, scratch, presets, tests_of, needs, jobs, every_test):
    """(outcome, detail) of one mutant applied in the scratch copy.  The presets
    are tried in order; the first whose tests fail kills the mutant, unless
    `every_test` asks for every test that fails it, in every preset."""
    target = os.path.join(scratch, m["file"])
    original = open(target, encoding="utf-8").read()
    with open(os.path.join(scratch, "logs", m["id"] + ".log"), "w+") as log:
        try:
            with open(target, "w", encoding="utf-8") as out:
                out.write(original.replace(m["old"], m["new"]))
            ran = False
            killers = []
            for preset in presets:
                tests = tests_of[preset] & set(m["tests"])
                if not tests:
                    continue
                targets = needs.get(preset, []) + [t for name in tests for t in needs.get(name, [name])]
                if not build(scratch, preset, targets, jobs, log):
                    return "BUILD-FAIL", preset
                got = run_tests(scratch, preset, tests, log, stop_early=not every_test)
                failed = sorted(t for t, outcome in got.items() if outcome not in ("Passed", "Skipped"))
                if set(failed) - tests:
                    return "ERROR", preset + ": " + " ".join(failed)
                if failed:
                    killers.append(preset + ": " + " ".join(failed))
                    if not every_test:
                        break
                ran = ran or bool(got)
            if killers:
                return "KILLED", "; ".join(killers)
            return ("SURVIVED", "") if ran else ("ERROR", "no test ran")
        finally:
            # A fresh time stamp: the next build compiles the file again.
            with open(target, "w", encoding="utf-8") as out:
                out.write(original)


def write_report(scratch, lines, outcomes, tail):
    """Writes the mutants' report lines and a summary of their `outcomes` to SCRATCH/report.txt; returns the
    summary, which ends in `tail`."""
    counts = collections.Counter(outcomes)
    summary = "summary: %d mutants, %s; %s" % (
        len(outcomes), ", ".join("%d %s" % (n, o) for o, n in sorted(counts.items())), tail)
    os.makedirs(scratch, exist_ok=True)
    with open(os.path.join(scratch, "report.txt"), "w", encoding="utf-8") as report:
        report.writelines(lines)
        report.write(summary + "\n")
    return summary


def join_reports(mutants, parts, scratch):
    lines = {line.split()[0]: line for part in parts for line in open(part) if not line.startswith("summary:")}
    missing = [m["id"] for m in mutants if m["id"] not in lines]
    if missing:
        sys.exit("not in any part: " + " ".join(missing))
    outcomes = {m["id"]: lines[m["id"]].split()[1] for m in mutants}
    summary = write_report(scratch, [lines[m["id"]] for m in mutants], list(outcomes.values()),
                           "joined from %d parts" % len(parts))
    print("joined %d mutants into %s\n%s" % (len(mutants), os.path.join(scratch, "report.txt"), summary))
    return outcomes


def compare(earlier, outcomes):
    """1 when a mutant that the earlier report has killed is not killed now (named), else 0."""
    before = {line.split()[0] for line in open(earlier) if line.split()[1:2] == ["KILLED"]}
    lost = [i for i, outcome in outcomes.items() if i in before and outcome != "KILLED"]
    print("killed before, not now: " + (" ".join(lost) if lost else "none"))
    return 1 if lost else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", default=os.path.join(ROOT, "tools", "mutants", "mutants.txt"))
    parser.add_argument("--only", help="comma-separated mutant ids")
    parser.add_argument("--part", metavar="K/N",
                        help="every N-th mutant from the K-th: N parts, each in a scratch of its own, run side by side")
    parser.add_argument("--join", nargs="+", metavar="REPORT",
                        help="only write the parts' reports as one (in the list's order) to SCRATCH/report.txt")
    parser.add_argument("--presets", help="comma-separated test presets, tried in this order (default: all)")
    parser.add_argument("--scratch", default="/tmp/tarvelon-mutants")
    parser.add_argument("--jobs", type=int, default=1, help="build jobs (default 1)")
    parser.add_argument("--check", action="store_true", help="only check that every mutant's text is found once")
    parser.add_argument("--every-test", action="store_true",
                        help="run every listed test of every preset, to see which tests kill a mutant")
    parser.add_argument("--compare", metavar="REPORT",
                        help="an earlier report.txt: name every mutant it has killed that is not killed now")
    args = parser.parse_args()

    mutants, needs = parse_list(args.list)
    if args.only:
        chosen = args.only.split(",")
        unknown = set(chosen) - {m["id"] for m in mutants}
        if unknown:
            sys.exit("unknown mutant ids: " + " ".join(sorted(unknown)))
        mutants = [m for m in mutants if m["id"] in chosen]
    if args.part:
        k, n = map(int, args.part.split("/"))
        mutants = mutants[k - 1::n]
    if args.join:
        outcomes = join_reports(mutants, args.join, os.path.abspath(args.scratch))
        return compare(args.compare, outcomes) if args.compare else 0
    for m in mutants:
        path = os.path.join(ROOT, m["file"])
        count = open(path, encoding="utf-8").read().count(m["old"]) if os.path.isfile(path) else 0
        m["found"] = count == 1
        if not m["found"]:
            print("%-5s NOT-FOUND  %s: the text occurs %d times" % (m["id"], m["file"], count))
    if args.check:
        return 0 if all(m["found"] for m in mutants) else 1
    if os.geteuid() != 0:
        sys.exit("run as root: the tests need their private namespace")

    started = time.time()
    scratch = os.path.abspath(args.scratch)
    os.makedirs(os.path.join(scratch, "logs"), exist_ok=True)
    sync_scratch(scratch)
    presets = args.presets.split(",") if args.presets else [
        p["name"] for p in json.load(open(os.path.join(scratch, "CMakePresets.json")))["testPresets"]]
    wanted = {t for m in mutants if m["found"] for t in m["tests"]}
    tests_of = {}
    for preset in presets:
        with open(os.path.join(scratch, "logs", "baseline-%s.log" % preset), "w+") as log:
            if run(["cmake", "--preset", preset], log, 600, cwd=scratch) != 0 or not build(
                    scratch, preset, [], args.jobs, log):
                sys.exit("the unmutated tree does not build with preset %s: see %s" % (preset, log.name))
            names = set(ctest_names(scratch, preset)) & wanted
            # Unmutated, the tests must pass, or a failure would count as a kill.
            outcomes = run_tests(scratch, preset, names, log) if names else {}
        tests_of[preset] = {t for t in names if outcomes.get(t) == "Passed"}
        for name in sorted(names - tests_of[preset]):
            print("note: %s %s is %s unmutated; it counts for no mutant" % (
                preset, name, outcomes.get(name, "not run")))
    for name in sorted(wanted - set().union(*tests_of.values())):
        print("note: no preset runs %s" % name)
    print("baseline: %s (%.0f s)" % (", ".join("%s %d tests pass" % (p, len(tests_of[p])) for p in presets),
                                     time.time() - started))
    sys.stdout.flush()

    results = []
    for m in mutants:
        began = time.time()
        outcome, detail = try_mutant(m, scratch, presets, tests_of, needs, args.jobs, args.every_test) if m["found"] else (
            "NOT-FOUND", "")
        results.append((m, outcome, detail))
        print("%-5s %-10s %4.0fs  %s: %s%s" % (m["id"], outcome, time.time() - began, m["file"], m["what"],
                                               "  [" + detail + "]" if detail else ""))
        sys.stdout.flush()

    summary = write_report(
        scratch, ["%s %s %s%s\n" % (m["id"], outcome, m["file"], "  [" + detail + "]" if detail else "")
                  for m, outcome, detail in results],
        [outcome for _, outcome, _ in results], "%.0f s" % (time.time() - started))
    print(summary)
    if args.compare:
        return compare(args.compare, {m["id"]: outcome for m, outcome, _ in results})
    return 0 if all(outcome == "KILLED" for _, outcome, _ in results) else 1


if __name__ == "__main__":
    sys.exit(main())
