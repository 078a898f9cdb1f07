#!/usr/bin/env python3
"""Start-up benchmark: time from exec to the first paint of Pelmora and of the floor (bench/floor_dialog), in Xvfb.

Both programs set their window title at their first paint; an X client here watches every new top-level
window for that title change, so no polling process competes with the programs for the CPU. The runs
alternate between the two programs. The resident memory (VmRSS) of each is read once it has painted.

usage: startup_bench.py PELMORA FLOOR_DIALOG [RUNS]
"""
import contextlib
import ctypes
import ctypes.util
import os
import re
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TARGET_RATIO = 1.10
SETTLE_SECONDS = 0.5  # after the first paint, before reading VmRSS: the event loop has gone idle

CREATE_NOTIFY = 16
PROPERTY_NOTIFY = 28
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
PROPERTY_CHANGE_MASK = 1 << 22


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("pad", ctypes.c_long * 24)]


def event_window_and_atom(event):
    """The window of a CreateNotify (after its parent) or of a PropertyNotify, with the property's atom."""
    words = ctypes.cast(ctypes.byref(event), ctypes.POINTER(ctypes.c_ulong))
    # Both events begin with type, serial, send_event and display: four 8-byte words on x86-64.
    if event.type == CREATE_NOTIFY:
        return words[5], 0
    return words[4], words[5]


class TitleWatcher:
    """Reports the moment a window's title first matches a pattern, from X events rather than polling."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
            ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        # A window may be gone before it is watched: ignore X errors instead of exiting.
        self.error_handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
        x.XSetErrorHandler(self.error_handler)
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise SystemExit(f"cannot open display {display}")
        self.net_wm_name = x.XInternAtom(self.dpy, b"_NET_WM_NAME", 0)
        self.wm_name = x.XInternAtom(self.dpy, b"WM_NAME", 0)
        x.XSelectInput(self.dpy, x.XDefaultRootWindow(self.dpy), SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(self.dpy, 0)
        self.fd = x.XConnectionNumber(self.dpy)

    def title(self, window):
        x = self.x
        kind, fmt, count, after, data = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong(), \
            ctypes.c_void_p()
        for atom in (self.net_wm_name, self.wm_name):
            if x.XGetWindowProperty(self.dpy, window, atom, 0, 1024, 0, 0, ctypes.byref(kind), ctypes.byref(fmt),
                                    ctypes.byref(count), ctypes.byref(after), ctypes.byref(data)) == 0 and data:
                text = ctypes.string_at(data, count.value).decode("utf-8", "replace")
                x.XFree(data)
                if count.value:
                    return text
        return ""

    def drain(self):
        """Forget events of earlier runs."""
        event = XEvent()
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, ctypes.byref(event))

    def wait_title(self, pattern, timeout):
        """Seconds (monotonic clock) at which a window's title first matched, or None at the timeout."""
        x, event, deadline = self.x, XEvent(), time.monotonic() + timeout
        while True:
            while x.XPending(self.dpy):
                x.XNextEvent(self.dpy, ctypes.byref(event))
                window, atom = event_window_and_atom(event)
                if event.type == CREATE_NOTIFY:
                    x.XSelectInput(self.dpy, window, PROPERTY_CHANGE_MASK)
                    x.XFlush(self.dpy)
                    # The title may have been set before the selection took effect.
                    if pattern.search(self.title(window)):
                        return time.monotonic()
                elif event.type == PROPERTY_NOTIFY and atom in (self.net_wm_name, self.wm_name):
                    if pattern.search(self.title(window)):
                        return time.monotonic()
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def start_desktop(home):
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    reported = b""
    while not reported.endswith(b"\n"):
        if not select.select([read_end], [], [], 30)[0]:
            raise SystemExit("Xvfb did not start")
        chunk = os.read(read_end, 64)
        if not chunk:
            raise SystemExit("Xvfb ended at start")
        reported += chunk
    os.close(read_end)
    env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "WAYLAND"))}
    env.update(DISPLAY=":" + reported.decode().strip(), HOME=home, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8",
               XDG_RUNTIME_DIR=os.path.join(home, "runtime"))
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    openbox = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(200):
        if "window id" in subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                         capture_output=True, text=True).stdout:
            break
        time.sleep(0.05)
    return env, [openbox, xvfb]


def cpu_ticks(pid):
    """User and system time of the whole process so far, in clock ticks."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def wait_idle(pid, quiet=0.5, step=0.05):
    """Waits until the process has used no CPU for `quiet` seconds; returns when it last did (monotonic)."""
    last, busy_until = cpu_ticks(pid), time.monotonic()
    while time.monotonic() - busy_until < quiet:
        time.sleep(step)
        now = cpu_ticks(pid)
        if now != last:
            last, busy_until = now, time.monotonic()
    return busy_until


def one_run(watcher, argv, pattern, env, cwd, until_idle=False):
    """Seconds from exec to the first paint and VmRSS once settled; with until_idle, the settling waits
    for the process to go idle (work left for after the first paint), and its seconds come third."""
    watcher.drain()
    start = time.monotonic()
    process = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        painted = watcher.wait_title(pattern, timeout=30)
        if painted is None:
            raise SystemExit(f"{argv[0]}: no title matching {pattern.pattern!r} within 30 s")
        if not until_idle:
            time.sleep(SETTLE_SECONDS)
            return painted - start, resident_kib(process.pid)
        idle = wait_idle(process.pid)
        return painted - start, resident_kib(process.pid), idle - start
    finally:
        process.terminate()
        process.wait()


def summary(name, times, memory):
    ms = [t * 1000 for t in times]
    return (f"{name:<16} exec -> first paint: min {min(ms):6.1f} ms   median {statistics.median(ms):6.1f} ms   "
            f"max {max(ms):6.1f} ms   VmRSS median {statistics.median(memory) / 1024:5.1f} MiB")


@contextlib.contextmanager
def bench_desktop(prefix):
    """A temporary HOME and work folder, Xvfb with openbox and a title watcher: (env, watcher, work)."""
    root = tempfile.mkdtemp(prefix=prefix)
    processes = []
    try:
        home, work = os.path.join(root, "home"), os.path.join(root, "work")
        os.makedirs(home)
        os.makedirs(work)
        env, processes = start_desktop(home)
        yield env, TitleWatcher(env["DISPLAY"]), work
    finally:
        for process in processes:
            process.terminate()
            process.wait()
        shutil.rmtree(root, ignore_errors=True)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    pelmora, floor = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    with bench_desktop("pelmora-startup-") as (env, watcher, work):
        programs = [("pelmora", [pelmora], re.compile(r"^Pelmora - ")),
                    ("floor", [floor], re.compile(r"^Floor - "))]
        results = {name: ([], []) for name, _, _ in programs}
        # One unmeasured start each fills the page cache and fontconfig's caches for both alike.
        for _, argv, pattern in programs:
            one_run(watcher, argv, pattern, env, work)
        for run in range(runs):
            for name, argv, pattern in programs:
                seconds, kib = one_run(watcher, argv, pattern, env, work)
                results[name][0].append(seconds)
                results[name][1].append(kib)
        print(f"{runs} alternating runs in Xvfb {env['DISPLAY']} with openbox, on {os.cpu_count()} CPUs")
        for name, _, _ in programs:
            print(summary(name, *results[name]))
        ratio = statistics.median(results["pelmora"][0]) / statistics.median(results["floor"][0])
        verdict = "within" if ratio <= TARGET_RATIO else "OVER"
        print(f"median ratio pelmora / floor: {ratio:.2f} ({verdict} the target of {TARGET_RATIO})")
        return 0 if ratio <= TARGET_RATIO else 1


if __name__ == "__main__":
    sys.exit(main())
