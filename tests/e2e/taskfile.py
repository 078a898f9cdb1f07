"""TASKS.BIN records written and read independently of the program, for tests and the fuzz corpus."""
import struct
from dataclasses import dataclass

ACTION_BEEP = 0
ACTION_RUN = 1


@dataclass
class Task:
    count_up: int = 0
    at_time: int = 0
    beep_hz: int = 1000
    beep_ms: int = 100
    description: bytes = b""
    run_file: bytes = b""
    time_at: int = 0
    span_delay: int = 0
    action: int = ACTION_BEEP


def count_prefix(n):
    """The length prefix of a counted string: short forms first, each escaped by its all-ones value."""
    if n < 0xFF:
        return struct.pack("<B", n)
    if n < 0xFFFE:
        return b"\xff" + struct.pack("<H", n)
    if n < 0xFFFFFFFF:
        return b"\xff\xff\xff" + struct.pack("<I", n)
    return b"\xff\xff\xff\xff\xff\xff\xff" + struct.pack("<Q", n)


def counted(data):
    return count_prefix(len(data)) + data


def counted16(text):
    """A 16-bit counted string: the marker FF FE FF, the count of UTF-16 units, then the units."""
    units = text.encode("utf-16-le")
    return b"\xff\xfe\xff" + count_prefix(len(units) // 2) + units


def record(task, flag_bytes=None):
    flags = flag_bytes if flag_bytes is not None else (int(bool(task.count_up)), int(bool(task.at_time)))
    return (struct.pack("<BBii", flags[0], flags[1], task.beep_hz, task.beep_ms)
            + counted(task.description) + counted(task.run_file)
            + struct.pack("<qqi", task.time_at, task.span_delay, task.action))


def encode(tasks):
    return b"".join(record(t) for t in tasks)


class _Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, n):
        if self.at + n > len(self.data):
            raise EOFError
        part = self.data[self.at:self.at + n]
        self.at += n
        return part

    def unpack(self, fmt):
        return struct.unpack(fmt, self.take(struct.calcsize(fmt)))[0]

    def string(self):
        n = self.unpack("<B")
        if n == 0xFF:
            n = self.unpack("<H")
            if n == 0xFFFE:
                raise ValueError("16-bit strings are never written by Pelmora")
            if n == 0xFFFF:
                n = self.unpack("<I")
        return self.take(n)


def decode(data):
    """Complete 8-bit records of a file as Pelmora writes it; raises if bytes are left over."""
    reader, tasks = _Reader(data), []
    while reader.at < len(data):
        t = Task()
        t.count_up, t.at_time = reader.unpack("<B"), reader.unpack("<B")
        t.beep_hz, t.beep_ms = reader.unpack("<i"), reader.unpack("<i")
        t.description, t.run_file = reader.string(), reader.string()
        t.time_at, t.span_delay, t.action = reader.unpack("<q"), reader.unpack("<q"), reader.unpack("<i")
        tasks.append(t)
    return tasks
