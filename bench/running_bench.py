#!/usr/bin/env python3
"""Running benchmark: CPU time and wake-ups of Pelmora beside the floor (bench/floor_dialog), in Xvfb.

Ticking: Pelmora counts a manual countdown down from one hour while the floor runs with --tick; both run
side by side in one Xvfb with openbox, measured over the same seconds. Idle: both windows open with no run.
CPU time is the sum of every thread's time on a CPU (/proc/PID/task/*/schedstat, in nanoseconds); wake-ups
are the sum of every thread's voluntary and involuntary context switches (/proc/PID/task/*/status), threads
that ended during the window included as far as they were seen. Each figure is the median over the rounds.

usage: running_bench.py PELMORA FLOOR_DIALOG [TICK_SECONDS] [IDLE_SECONDS] [ROUNDS]
"""
import os
import re
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from startup_bench import bench_desktop  # noqa: E402

TARGET_TICKING = 1.25
TARGET_IDLE = 1.0
# The window settles first: start-up work, the window manager's frame and the first ticks are left out.
SETTLE_SECONDS = 6
PAINT_TIMEOUT = 30


def thread_counters(pid):
    """{thread id: (CPU nanoseconds, context switches)} for every thread alive now."""
    counters = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                cpu = int(f.read().split()[0])
            switches = 0
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
            counters[tid] = (cpu, switches)
        except (FileNotFoundError, ProcessLookupError):
            pass  # the thread ended between the listing and the read
    return counters


class Meter:
    """Sums what each thread of a process spent between start() and the last sample()."""

    def __init__(self, pid):
        self.pid = pid
        self.first = {}
        self.last = {}

    def start(self):
        self.first = thread_counters(self.pid)
        self.last = dict(self.first)

    def sample(self):
        self.last.update(thread_counters(self.pid))

    def totals(self):
        cpu = switches = 0
        for tid, (c, s) in self.last.items():
            c0, s0 = self.first.get(tid, (0, 0))
            cpu += c - c0
            switches += s - s0
        return cpu, switches


def wait_title(env, pattern, timeout=PAINT_TIMEOUT):
    """The id of the window whose title matches, once it does."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--name", pattern], env=env, capture_output=True, text=True)
        if found.stdout.split():
            return found.stdout.split()[0]
        time.sleep(0.2)
    raise SystemExit(f"no window titled {pattern!r} within {timeout} s")


def start(argv, title, env, cwd):
    process = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return process, wait_title(env, title)


def start_countdown(window, env):
    """The scroll bar has the focus at start: End sets an hour, Tab reaches START, Space presses it."""
    subprocess.run(["xdotool", "windowactivate", "--sync", window, "key", "--delay", "100", "End", "Tab", "space"],
                   env=env, check=True)
    wait_title(env, r"^Pelmora -  00:59:5")


def measure(processes, seconds):
    meters = {name: Meter(process.pid) for name, process in processes.items()}
    for meter in meters.values():
        meter.start()
    # Sampled now and then, so that a thread that ends on the way still counts up to its last sample.
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        time.sleep(min(1.0, max(0.0, deadline - time.monotonic())))
        for meter in meters.values():
            meter.sample()
    return {name: meter.totals() for name, meter in meters.items()}


def one_round(pelmora, floor, env, work, tick_seconds, idle_seconds):
    figures = {}
    for ticking in (True, False):
        seconds = tick_seconds if ticking else idle_seconds
        processes = {}
        try:
            processes["pelmora"], window = start([pelmora], r"^Pelmora - ", env, work)
            if ticking:
                start_countdown(window, env)
            processes["floor"], _ = start([floor] + (["--tick"] if ticking else []), r"^Floor - ", env, work)
            time.sleep(SETTLE_SECONDS)
            for name, (cpu, switches) in measure(processes, seconds).items():
                figures[(name, ticking)] = (cpu / 1e6 / seconds, switches / seconds)
        finally:
            for process in processes.values():
                process.terminate()
                process.wait()
    return figures


def print_figures(kind, ticking, rounds, target, judged=("CPU", "wake-ups")):
    medians = {}
    for name in ("pelmora", "floor"):
        cpu = statistics.median(r[(name, ticking)][0] for r in rounds)
        wakes = statistics.median(r[(name, ticking)][1] for r in rounds)
        medians[name] = (cpu, wakes)
        print(f"{kind:<8} {name:<8} CPU {cpu:7.3f} ms/s   wake-ups {wakes:6.2f} /s")
    ok = True
    for index, what in enumerate(("CPU", "wake-ups")):
        ratio = medians["pelmora"][index] / max(medians["floor"][index], 1e-9)
        if what not in judged:
            print(f"  {kind} {what} pelmora / floor: {ratio:.2f}")
            continue
        within = ratio <= target
        ok = ok and within
        print(f"  {kind} {what} pelmora / floor: {ratio:.2f} ({'within' if within else 'OVER'} the target of {target})")
    return ok


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    pelmora, floor = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    tick_seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20
    idle_seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 60
    count = int(sys.argv[5]) if len(sys.argv) > 5 else 3
    with bench_desktop("pelmora-running-") as (env, _watcher, work):
        rounds = [one_round(pelmora, floor, env, work, tick_seconds, idle_seconds) for _ in range(count)]
    print(f"{count} rounds, ticking {tick_seconds:g} s and idle {idle_seconds:g} s each, side by side in Xvfb "
          f"{env['DISPLAY']} with openbox, on {os.cpu_count()} CPUs; load average {os.getloadavg()[0]:.2f}")
    ok = print_figures("ticking", True, rounds, TARGET_TICKING)
    # Idle, the wake-ups are what counts: the floor's own are the least a Qt window makes.
    ok = print_figures("idle", False, rounds, TARGET_IDLE, judged=("wake-ups",)) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
