#!/usr/bin/env python3
"""Mutation run: how many small faults in the code does the suite catch?

Takes the committed tree at a revision, builds it once in a scratch folder,
checks the suite is green there, then applies single-point mutants one at a
time: a comparison flipped, a boundary moved, && and || swapped, a constant
off by one, a condition negated, true and false swapped, a statement
removed. Each is built incrementally (the layers are shared libraries, so
only the changed one relinks) and the tests run until the first failure,
fastest first. A mutant the suite fails on is killed; one it passes
survived. A mutant that does not build is replaced by another from the same
folder.

Mutants come from every C++ folder of src/ and tools/ in turn, picked by a
seeded generator: the same seed on the same code gives the same mutants.
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

KINDS = ("comparison flipped", "boundary moved", "logic swapped",
         "constant off by one", "condition negated", "boolean flipped",
         "statement removed")
FLIP = {"==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">",
        "&&": "||", "||": "&&", "true": "false", "false": "true"}
OPERATOR = re.compile(r"(?<=[\w)\]]) (==|!=|<=|>=|<|>|&&|\|\|) (?=[\w(!\-'\"*&:])")
NUMBER = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
BOOLEAN = re.compile(r"\b(true|false)\b")
CONDITION = re.compile(r"\b(if|while) \(")
CALL = re.compile(r"^(emit )?[\w:.\->\[\]*]*\w\(.*\);$")
ASSIGNMENT = re.compile(r"^[\w.\->\[\]*]+ ([+\-|&]?=) .*;$|^(\+\+|--)\w+;$|^\w+(\+\+|--);$")
LITERAL = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def masked(line):
    """The line with string and character literals blanked and any line
    comment cut, positions kept, so patterns only match code."""
    code = LITERAL.sub(lambda m: m.group(0)[0] + "_" * (len(m.group(0)) - 2) + m.group(0)[-1], line)
    cut = code.find("//")
    return code if cut < 0 else code[:cut]


def sites(path, text):
    """Every mutation site of one file: (kind, line number, start, end,
    replacement), in file order."""
    found = []
    previous = "{"
    in_comment = False
    for number, line in enumerate(text.split("\n"), 1):
        stripped = line.strip()
        if in_comment:
            in_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_comment = "*/" not in stripped
            continue
        if not stripped or stripped.startswith(("#", "//")) or "static_assert" in stripped:
            continue
        code = masked(line)
        for m in OPERATOR.finditer(code):
            op = m.group(1)
            kind = ("comparison flipped" if op in ("==", "!=") else
                    "logic swapped" if op in ("&&", "||") else "boundary moved")
            found.append((kind, number, m.start(1), m.end(1), FLIP[op]))
        for m in NUMBER.finditer(code):
            found.append(("constant off by one", number, m.start(1), m.end(1), str(int(m.group(1)) + 1)))
        for m in BOOLEAN.finditer(code):
            found.append(("boolean flipped", number, m.start(1), m.end(1), FLIP[m.group(1)]))
        for m in CONDITION.finditer(code):
            depth, end = 0, None
            for i in range(m.end() - 1, len(code)):
                depth += {"(": 1, ")": -1}.get(code[i], 0)
                if depth == 0:
                    end = i
                    break
            if end is not None:
                inner = line[m.end():end]
                found.append(("condition negated", number, m.end(), end, "!(" + inner + ")"))
        body = code.strip()
        if (previous.endswith((";", "{", "}")) and not body.startswith(("return", "break", "continue"))
                and body.count("(") == body.count(")") and (CALL.match(body) or ASSIGNMENT.match(body))):
            start = line.index(stripped)
            found.append(("statement removed", number, start, len(line), ";"))
        previous = code.rstrip() or previous
    return found


def folders_of(tree):
    """The C++ sources of src/ and tools/ by folder, sorted."""
    by_folder = {}
    for top in ("src", "tools"):
        for root, _, files in os.walk(os.path.join(tree, top)):
            for name in sorted(files):
                if name.endswith(".cpp"):
                    rel = os.path.relpath(os.path.join(root, name), tree)
                    by_folder.setdefault(os.path.dirname(rel), []).append(rel)
    return {folder: sorted(files) for folder, files in sorted(by_folder.items())}


def candidates(tree, seed):
    """An endless stream per folder of mutants in seeded order: a kind drawn
    first (so rare kinds get their turn), then a site of that kind."""
    rng = random.Random(seed)
    streams = {}
    for folder, files in folders_of(tree).items():
        pool = {}
        for rel in files:
            with open(os.path.join(tree, rel), encoding="latin-1") as f:
                for site in sites(rel, f.read()):
                    pool.setdefault(site[0], []).append((rel,) + site)
        for kind in pool:
            rng.shuffle(pool[kind])
        streams[folder] = pool
    return rng, streams


def next_mutant(rng, pool):
    kinds = sorted(k for k in pool if pool[k])
    if not kinds:
        return None
    return pool[rng.choice(kinds)].pop()


def apply(tree, mutant, write=True):
    """Writes the mutant into its file; returns the file as it was and the
    line before and after."""
    rel, kind, number, start, end, replacement = mutant
    path = os.path.join(tree, rel)
    with open(path, encoding="latin-1") as f:
        original = f.read()
    lines = original.split("\n")
    line = lines[number - 1]
    lines[number - 1] = line[:start] + replacement + line[end:]
    if write:
        with open(path, "w", encoding="latin-1") as f:
            f.write("\n".join(lines))
    return original, line.strip(), lines[number - 1].strip()


def run(command, log, timeout):
    with open(log, "a") as out:
        out.write("\n$ " + " ".join(command) + "\n")
        out.flush()
        try:
            return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return -1


FAILED = re.compile(r"Test\s+#\d+: (\S+) \.*\s*(\*\*\*\w+|Exception|Subprocess aborted)")


def first_failure(build, log, jobs):
    """Runs the suite fastest layer first and stops at the first failing
    test; returns its name, or None when everything passes."""
    for selection in (["-L", "unit"], ["-L", "ui"], ["-LE", "unit|ui|slow"]):
        mark = os.path.getsize(log) if os.path.exists(log) else 0
        code = run(["ctest", "--test-dir", build, "--stop-on-failure", "--timeout", "300",
                    "-j", str(jobs)] + selection, log, 3600)
        if code != 0:
            with open(log) as f:
                f.seek(mark)
                failed = FAILED.findall(f.read())
            return failed[0][0] if failed else "ctest (exit %d)" % code
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rev", default="HEAD", help="revision to mutate (default HEAD)")
    parser.add_argument("--seed", type=int, default=16, help="generator seed (default 16)")
    parser.add_argument("--count", type=int, default=40, help="mutants to run (default 40)")
    parser.add_argument("--work", default="build-mutate", help="scratch folder (default build-mutate)")
    parser.add_argument("--jobs", type=int, default=2, help="parallel build and test jobs (default 2)")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--only", default="", help="run only these mutants of the plan, by number "
                        "(\"3,8,9\"): the survivors of an earlier run, after new tests")
    args = parser.parse_args()

    top = subprocess.run(["git", "rev-parse", "--show-toplevel"], capture_output=True, text=True,
                         check=True).stdout.strip()
    work = os.path.abspath(args.work)
    tree, build, log = os.path.join(work, "tree"), os.path.join(work, "build"), os.path.join(work, "log.txt")
    commit = subprocess.run(["git", "-C", top, "rev-parse", "--short", args.rev], capture_output=True,
                            text=True, check=True).stdout.strip()
    if os.path.isdir(tree):
        shutil.rmtree(tree)
    os.makedirs(tree)
    archive = subprocess.Popen(["git", "-C", top, "archive", args.rev], stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", tree], stdin=archive.stdout, check=True)
    archive.wait()

    rng, streams = candidates(tree, args.seed)
    folders = sorted(streams)
    print("mutating %s (seed %d, %d mutants over %d folders)" % (commit, args.seed, args.count, len(folders)),
          flush=True)
    plan = []
    while len(plan) < args.count and any(any(p.values()) for p in streams.values()):
        for folder in folders:
            if len(plan) < args.count:
                mutant = next_mutant(rng, streams[folder])
                if mutant:
                    plan.append((folder, mutant))
    only = {int(n) for n in args.only.split(",") if n.strip()}
    if args.list:
        for i, (_, m) in enumerate(plan, 1):
            _, before, after = apply(tree, m, write=False)
            print("%2d %s:%d %s: %s  ->  %s" % (i, m[0], m[2], m[1], before, after))
        return 0

    os.makedirs(build, exist_ok=True)
    open(log, "w").close()
    configure = ["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                 "-DKESTREL_SHARED_LAYERS=ON"]
    compile_ = ["cmake", "--build", build, "-j", str(args.jobs)]
    started = time.monotonic()
    if run(configure, log, 600) != 0 or run(compile_, log, 3600) != 0:
        print("the unmutated tree does not build; see " + log, file=sys.stderr)
        return 1
    clean = time.monotonic()
    failure = first_failure(build, log, args.jobs)
    if failure:
        print("the unmutated tree fails %s; see %s" % (failure, log), file=sys.stderr)
        return 1
    print("unmutated: built in %.0f s, tests green in %.0f s" % (clean - started, time.monotonic() - clean),
          flush=True)

    killed, survivors, unbuilt = 0, [], 0
    for index, (folder, mutant) in enumerate(plan, 1):
        if only and index not in only:
            continue
        while True:
            original, before, after = apply(tree, mutant)
            began = time.monotonic()
            if run(compile_, log, 3600) == 0:
                break
            unbuilt += 1
            with open(os.path.join(tree, mutant[0]), "w", encoding="latin-1") as f:
                f.write(original)
            mutant = next_mutant(rng, streams[folder])
            if mutant is None:
                break
        if mutant is None:
            continue
        failure = first_failure(build, log, args.jobs)
        with open(os.path.join(tree, mutant[0]), "w", encoding="latin-1") as f:
            f.write(original)
        where = "%s:%d" % (mutant[0], mutant[2])
        verdict = ("killed by " + failure) if failure else "SURVIVED"
        print("[%2d/%d] %-40s %-20s %s  ->  %s   %s (%.0f s)" % (index, len(plan), where, mutant[1], before,
                                                               after, verdict, time.monotonic() - began),
              flush=True)
        if failure:
            killed += 1
        else:
            survivors.append(where)
    total = killed + len(survivors)
    print("killed %d of %d (%.0f %%), survived %d%s; %d did not build and were replaced" %
          (killed, total, 100.0 * killed / max(total, 1), len(survivors),
           (": " + ", ".join(survivors)) if survivors else "", unbuilt), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
