#!/usr/bin/env python3
"""Writes the fuzz seed corpus (valid task files) and the regression inputs (damaged ones that once mattered)."""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from taskfile import ACTION_RUN, Task, counted, counted16, encode, record  # noqa: E402

here = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    os.makedirs(os.path.join(here, folder), exist_ok=True)
    with open(os.path.join(here, folder, name), "wb") as f:
        f.write(data)


seeds = {
    "empty": b"",
    "one-beep-task": encode([Task(description=b"Tea", span_delay=180)]),
    "three-kinds": encode([
        Task(description=b"Tea\r\nGreen tea, three minutes", span_delay=180),
        Task(count_up=1, description=b"Plank", span_delay=90, beep_hz=440, beep_ms=250),
        Task(at_time=1, description=b"Lunch", time_at=1733572800, beep_hz=2000, beep_ms=1000),
    ]),
    "run-task": encode([Task(description=b"Backup", run_file=b"/home/me/bin/backup \"now\" $HOME.sh",
                             span_delay=3600, action=ACTION_RUN)]),
    "odd-values": encode([Task(count_up=1, at_time=1, beep_hz=-1, beep_ms=2**31 - 1, description=b"\xff\xfe latin-1 \xe9",
                               time_at=-(2**63), span_delay=2**63 - 1, action=7)]),
    "long-strings": encode([Task(description=b"d" * 254, run_file=b"r" * 255), Task(description=b"x" * 300)]),
    # Past the 4096-byte buffer: strings and fixed fields cross refills.
    "past-one-buffer": encode([Task(description=b"t%d " % i * (i % 7), run_file=b"/r" * (i % 5), span_delay=i)
                               for i in range(300)]),
    # The 16-bit form is only read, never written: build the record by hand.
    "utf16-string": (struct.pack("<BBii", 0, 0, 1000, 100) + counted16("Kaffee \u2615 fertig") + counted(b"")
                     + struct.pack("<qqi", 0, 300, 0)),
}
regressions = {
    # A 30-byte file that claims a 4 GiB description: must load nothing and allocate nothing large.
    "huge-length-prefix": struct.pack("<BBii", 0, 0, 1000, 100) + b"\xff\xff\xff" + struct.pack("<I", 0xFFFFFFF0)
                          + b"\0" * 13,
    "huge-64bit-prefix": struct.pack("<BBii", 0, 0, 1000, 100) + b"\xff" * 7 + struct.pack("<Q", 2**63) + b"\0" * 8,
    "two-flag-bytes": b"\x01\x01",
    "flag-byte-five": record(Task(description=b"five"), flag_bytes=(5, 5)),
    "cut-second-record": encode([Task(description=b"whole"), Task(description=b"cut")])[:-5],
    "lone-surrogate": (struct.pack("<BBii", 0, 0, 1000, 100) + b"\xff\xfe\xff\x02" + b"\x00\xd8\x41\x00"
                       + counted(b"") + struct.pack("<qqi", 0, 0, 0)),
    # The count 65534 no longer fits the 16-bit prefix form, whose value 0xFFFE marks 16-bit text.
    "prefix-form-boundary": encode([Task(description=b"x" * 65533), Task(description=b"y" * 65534)]),
    "zero-inside-string": encode([Task(description=b"before\0after")]),
    # Damage in the fifth of nine records, past the first buffer: the report must name the fifth's start.
    "damaged-middle-record": b"".join(
        record(Task(description=b"m" * 1500)) if i != 4 else record(Task(description=b"m" * 1500))[:12] + b"\xff" * 8
        for i in range(9)),
}
for name, data in seeds.items():
    write("corpus", name, data)
for name, data in regressions.items():
    write("regressions", name, data)
print(f"wrote {len(seeds)} seeds and {len(regressions)} regression inputs")
