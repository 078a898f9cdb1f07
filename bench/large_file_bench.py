#!/usr/bin/env python3
"""Start-up with a large TASKS.BIN: exec to the first paint, to the end of loading (the process goes idle;
a large file is loaded just after the first paint) and resident memory (VmRSS) once loaded, of Pelmora with
10,000,000 small tasks, beside the same program in an empty folder, in Xvfb.

The memory the records need is counted as the tasks times sizeof(TaskRecord), 104 bytes on x86-64: every
string of these tasks fits inside its std::string. The growth of VmRSS over the empty folder's, per task,
is compared with it.

usage: large_file_bench.py PELMORA [RUNS] [TASKS]
"""
import os
import re
import statistics
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from startup_bench import bench_desktop, one_run, summary  # noqa: E402

BLOCK_TASKS = 10_000
TARGET_RATIO = 1.1  # VmRSS growth per task over the size of one task record in memory
RECORD_BYTES = 104  # sizeof(TaskRecord) on x86-64, as bench_task_file prints it
TARGET_WINDOW_SECONDS = 2


def write_small_tasks(path, count):
    """Beep tasks with two-byte descriptions, written a block at a time."""
    block = b"".join(struct.pack("<BBii", 0, 0, 1000, 100) + b"\x02t%d\x00" % (i % 10) + struct.pack("<qqi", 0, i, 0)
                     for i in range(BLOCK_TASKS))
    with open(path, "wb") as f:
        for _ in range(count // BLOCK_TASKS):
            f.write(block)
    return os.path.getsize(path)


def measure(label, pelmora, watcher, env, work, runs):
    times, memory, loaded = [], [], []
    for _ in range(runs):
        seconds, kib, idle = one_run(watcher, [pelmora], re.compile(r"^Pelmora - "), env, work, until_idle=True)
        times.append(seconds)
        memory.append(kib)
        loaded.append(idle)
    print(summary(label, times, memory) + f"   loaded median {statistics.median(loaded):5.2f} s "
          f"(target <= {TARGET_WINDOW_SECONDS} s to the first paint)", flush=True)
    return statistics.median(memory)


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    pelmora = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 10_000_000
    with bench_desktop("pelmora-largefile-") as (env, watcher, work):
        empty = measure("empty folder", pelmora, watcher, env, work, runs)
        size = write_small_tasks(os.path.join(work, "TASKS.BIN"), count)
        loaded = measure(f"{count:,} tasks", pelmora, watcher, env, work, runs)
    per_task = (loaded - empty) * 1024 / count
    ratio = per_task / RECORD_BYTES
    print(f"TASKS.BIN {size:,} bytes; VmRSS {empty / 1024:.1f} MiB empty, {loaded / 1024:.1f} MiB loaded: "
          f"{per_task:.1f} bytes per task = {ratio:.2f} x the {RECORD_BYTES}-byte record "
          f"({'within' if ratio <= TARGET_RATIO else 'OVER'} the target of {TARGET_RATIO})")
    return 0 if ratio <= TARGET_RATIO else 1


if __name__ == "__main__":
    sys.exit(main())
