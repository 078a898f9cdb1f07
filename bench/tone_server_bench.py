#!/usr/bin/env python3
"""Runs bench_tone_server against a private PipeWire (pipewire, wireplumber, pipewire-pulse, a null sink), started
here and stopped afterwards, as the whole-program test of the sound server does.

usage: tone_server_bench.py BENCH_TONE_SERVER"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import sound_server  # noqa: E402


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    absent = sound_server.missing()
    if absent:
        sys.exit("not installed: " + ", ".join(absent))
    with tempfile.TemporaryDirectory(prefix="pelmora-tone-bench-") as root:
        runtime = os.path.join(root, "runtime")
        os.makedirs(runtime, mode=0o700)
        server = sound_server.SoundServer(runtime, root)
        try:
            return subprocess.run([sys.argv[1]], env=server.env).returncode
        finally:
            server.stop()


if __name__ == "__main__":
    sys.exit(main())
