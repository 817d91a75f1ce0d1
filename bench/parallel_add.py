#!/usr/bin/env python3
"""Times making an archive of one corpus with vzip on several threads against
Info-ZIP zip and vzip on one thread, in one interleaved run: each round runs
every command once, in turn, and the report gives medians of the rounds and
the ratios within them. It checks that the archives of every -j are the same
bytes and that unzip -t accepts them, and prints the target as met or missed.

Run through bench/run-parallel-add.sh, which builds vzip first.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time


def run_timed(argv, cwd):
    """Wall seconds, processor seconds (user and system, all threads) and
    peak resident size (KiB) of one command."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    if proc.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(argv), proc.returncode, err[:2000]))
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def median(values):
    ordered = sorted(values)
    mid = len(ordered) // 2
    return ordered[mid] if len(ordered) % 2 else (ordered[mid - 1] + ordered[mid]) / 2


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vzip", required=True)
    parser.add_argument("--corpus", required=True, help="the folder holding the corpus")
    parser.add_argument("--name", default="text", help="the corpus (a folder in --corpus)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--level", type=int, default=6)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--target", type=float, default=0.55)
    args = parser.parse_args()

    corpus = os.path.abspath(args.corpus)
    if not os.path.isdir(os.path.join(corpus, args.name)):
        sys.exit("no corpus %s in %s" % (args.name, corpus))
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    level = "-%d" % args.level
    vzip = os.path.abspath(args.vzip)
    commands = [
        ("zip " + level, os.path.join(work, "zip.zip"),
         lambda out: ["/usr/bin/zip", "-q", "-r", level, out, args.name]),
        ("vzip %s -j %d" % (level, args.jobs), os.path.join(work, "vzip-j%d.zip" % args.jobs),
         lambda out: [vzip, "a", "-q", level, "-j", str(args.jobs), out, args.name, "-r"]),
        ("vzip %s -j 1" % level, os.path.join(work, "vzip-j1.zip"),
         lambda out: [vzip, "a", "-q", level, "-j", "1", out, args.name, "-r"]),
    ]
    times = {label: [] for label, _, _ in commands}
    peaks = {label: [] for label, _, _ in commands}
    cpu = {label: [] for label, _, _ in commands}
    ratios = []
    print("load average at start: %s" % open("/proc/loadavg").read().split()[:3])
    for _ in range(args.runs):
        round_times = {}
        for label, out, argv in commands:
            if os.path.exists(out):
                os.remove(out)
            seconds, processor, peak = run_timed(argv(out), corpus)
            times[label].append(seconds)
            cpu[label].append(processor)
            peaks[label].append(peak)
            round_times[label] = seconds
        ratios.append(round_times[commands[1][0]] / round_times[commands[0][0]])
    print("load average at end: %s" % open("/proc/loadavg").read().split()[:3])

    sizes = {label: os.path.getsize(out) for label, out, _ in commands}
    with open(commands[1][1], "rb") as a, open(commands[2][1], "rb") as b:
        identical = a.read() == b.read()
    if shutil.which("/usr/bin/unzip"):
        subprocess.run(["/usr/bin/unzip", "-tq", commands[1][1]], check=True,
                       stdout=subprocess.DEVNULL)

    reference = median(times[commands[0][0]])
    print()
    print("| %s, %d rounds | median s | x zip | CPU s | bytes | peak RSS MiB |"
          % (args.name, args.runs))
    print("|---|---|---|---|---|---|")
    for label, _, _ in commands:
        m = median(times[label])
        print("| %s | %.2f | %.2f | %.2f | %s | %.1f |"
              % (label, m, m / reference, median(cpu[label]), format(sizes[label], ","),
                 max(peaks[label]) / 1024))
    print()
    ratio = median(ratios)
    same = identical and sizes[commands[1][0]] == sizes[commands[2][0]]
    met = ratio <= args.target and same
    print("-j %d / zip %s per round: %s" % (args.jobs, level,
                                             ", ".join("%.2f" % r for r in ratios)))
    print("-j %d archive %s the -j 1 archive" % (args.jobs, "is byte for byte" if identical
                                                 else "DIFFERS from"))
    print("target: vzip -j %d at most %.2fx zip %s's time, same output as one thread: "
          "%.2fx (median of the per-round ratios) -> %s"
          % (args.jobs, args.target, level, ratio, "met" if met else "missed"))


if __name__ == "__main__":
    main()
