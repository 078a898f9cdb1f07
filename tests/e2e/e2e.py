"""Whole-program test kit: a private X server with openbox, the real pelmora in it, and what a person sees and hears."""
import array
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import zlib

PELMORA = os.environ.get("PELMORA", "")
GRAB_SCREEN = os.environ.get("GRAB_SCREEN", "")
RATE = 48000  # the tone's sample rate: S16_LE mono
DOUBLE_CLICK_SECONDS = 0.6

# Colours of the clock face, as (red, green, blue).
YELLOW = (255, 255, 0)
GREEN = (0, 255, 155)
WHITE = (255, 255, 255)
CYAN = (0, 255, 255)

# Client coordinates of the main window's controls (dialog units * 6/4 and * 13/8), centres of the buttons.
CLOCK_RECT = (10, 10, 399, 99)
SCROLL_RIGHT_ARROW = (10 + 376 - 8, 112 + 9)
BUTTON_START = (399 + 37, 11 + 11)
BUTTON_CLEAR = (399 + 37, 42 + 11)
BUTTON_SHOW_LIST = (399 + 37, 107 + 11)
BUTTON_NEW = (10 + 37, 433 + 11)
BUTTON_EDIT = (91 + 37, 433 + 11)
BUTTON_REMOVE = (172 + 37, 433 + 11)
BUTTON_CANCEL = (318 + 37, 433 + 11)
BUTTON_OK = (399 + 37, 433 + 11)
# The list view's top edge: a collapsed window whose frame is thinner than 32 px ends its client area there.
LIST_TOP = 88 * 13 // 8
# Empty space near the bottom of the list view: rows are 14 to 20 px tall, depending on the desktop's font.
LIST_EMPTY_SPACE = (100, 380)


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


def wait_for(what, probe, timeout=20.0, interval=0.05):
    """Polls probe() until it returns something truthy; fails naming `what` after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = probe()
        if last:
            return last
        time.sleep(interval)
    raise Failure(f"timed out after {timeout:.0f} s waiting for {what} (last seen: {last!r})")


def wait_equal(what, get, expected, timeout=20.0, interval=0.05):
    """Polls get() until it equals `expected`; fails showing the last value after `timeout` seconds."""
    seen = []

    def probe():
        seen.append(get())
        return seen[-1] == expected

    try:
        wait_for(what, probe, timeout, interval)
    except Failure:
        raise Failure(f"timed out after {timeout:.0f} s waiting for {what}: expected {expected!r}, "
                      f"last seen {seen[-1] if seen else None!r}")


class Desktop:
    """Xvfb on a display number it picks itself (so tests run side by side), with openbox (or `wm`, such as
    metacity of the GNOME family) managing windows."""

    def __init__(self, home, wm="openbox"):
        self.wm = wm
        self.processes = []
        self._last_click = None
        try:
            self._start(home)
        except BaseException:
            self.close()
            raise

    def _start(self, home):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp", "-noreset"],
                                pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                stderr=open(os.path.join(home, "xvfb.log"), "w"))
        self.processes.append(xvfb)
        os.close(write_end)
        # Xvfb writes the number and the newline separately; closing the pipe before the newline kills it.
        reported = b""
        while not reported.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], 30)
            check(ready, "Xvfb did not report its display within 30 s")
            chunk = os.read(read_end, 64)
            check(chunk, "Xvfb ended before it reported its display")
            reported += chunk
        os.close(read_end)
        number = reported.decode().strip()
        check(number.isdigit(), f"Xvfb reported no display number: {number!r}")
        self.display = f":{number}"
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "WAYLAND", "XDG_SESSION"))}
        self.env.update(DISPLAY=self.display, HOME=home, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8",
                        XDG_RUNTIME_DIR=os.path.join(home, "runtime"))
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.wm_log = open(os.path.join(home, f"{self.wm}.log"), "w")
        self.processes.append(subprocess.Popen([self.wm], env=self.env, stdout=self.wm_log, stderr=self.wm_log))
        wait_for(f"{self.wm} to manage the screen",
                 lambda: "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check_rc=False))
        log(f"X server {self.display} with {self.wm} is up")

    def wm_output(self):
        with open(self.wm_log.name) as f:
            return f.read()

    def run(self, argv, check_rc=True, timeout=20):
        done = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=timeout)
        if check_rc and done.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed ({done.returncode}): {done.stderr.strip()}")
        return done.stdout

    def clients(self, pid=None):
        """Top-level windows that openbox manages, oldest first; only those of process `pid` when given."""
        out = self.run(["xprop", "-root", "_NET_CLIENT_LIST"], check_rc=False)
        windows = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]
        if pid is None:
            return windows
        return [w for w in windows if self.pid_of(w) == pid]

    def pid_of(self, window):
        match = re.search(r"= (\d+)", self.run(["xprop", "-id", str(window), "_NET_WM_PID"], check_rc=False))
        return int(match.group(1)) if match else None

    def title(self, window):
        out = self.run(["xprop", "-id", str(window), "_NET_WM_NAME"], check_rc=False)
        match = re.search(r'= "(.*)"\s*$', out, re.S)
        if not match:
            return None
        return match.group(1).replace('\\"', '"').replace("\\\\", "\\")

    def frame_extents(self, window):
        out = self.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], check_rc=False)
        numbers = [int(n) for n in re.findall(r"\d+", out.split("=", 1)[-1])] if "=" in out else []
        return tuple(numbers) if len(numbers) == 4 else (0, 0, 0, 0)

    def client_size(self, window):
        out = self.run(["xdotool", "getwindowgeometry", str(window)])
        width, height = re.search(r"Geometry: (\d+)x(\d+)", out).groups()
        return int(width), int(height)

    def outer_height(self, window):
        _, _, top, bottom = self.frame_extents(window)
        return self.client_size(window)[1] + top + bottom

    def activate(self, window):
        self.run(["xdotool", "windowactivate", "--sync", str(window)], check_rc=False)
        wait_for("the window to have the focus",
                 lambda: self.run(["xdotool", "getactivewindow"], check_rc=False).strip() == str(window), timeout=10)

    def click(self, window, point, button=1, repeat=1):
        # Two single clicks on one spot within the double-click interval (400 ms in Qt) would be a double click.
        last = self._last_click
        if last and last[0] == (window, point) and time.monotonic() - last[1] < DOUBLE_CLICK_SECONDS:
            time.sleep(DOUBLE_CLICK_SECONDS - (time.monotonic() - last[1]))
        self._last_click = ((window, point), time.monotonic())
        x, y = point
        self.run(["xdotool", "mousemove", "--window", str(window), str(x), str(y), "click", "--repeat", str(repeat),
                  "--delay", "120", str(button)])

    def double_click(self, window, point):
        self.click(window, point, repeat=2)

    def key(self, window, *keys):
        self.activate(window)
        self.run(["xdotool", "key", "--clearmodifiers", "--delay", "60", *keys])

    def type_text(self, window, text):
        self.activate(window)
        self.run(["xdotool", "type", "--delay", "40", text])

    def choose_row(self, window, index):
        """Selects row `index` of the list by keyboard, which needs no row heights: a click on empty space
        gives the list the focus with nothing selected, Home selects the first row, Down each next one."""
        self.click(window, LIST_EMPTY_SPACE)
        self.key(window, "Home", *["Down"] * index)

    def close_box(self, window):
        """What the caption's close box does: the window manager asks the window to close (WM_DELETE_WINDOW)."""
        self.run(["wmctrl", "-i", "-c", hex(window)])

    def active_window(self):
        out = self.run(["xdotool", "getactivewindow"], check_rc=False).strip()
        return int(out) if out.isdigit() else None

    def topmost(self):
        """The managed window on top of the others (openbox's stacking list runs bottom to top)."""
        out = self.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"], check_rc=False)
        windows = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]
        return windows[-1] if windows else None

    def pelmora_windows(self):
        """Every managed window titled Pelmora, of any process."""
        return [w for w in self.clients() if (self.title(w) or "").startswith("Pelmora")]

    def screenshot(self, window, path):
        check(GRAB_SCREEN, "GRAB_SCREEN is not set")
        self.run([GRAB_SCREEN, path, str(window)])
        return read_png(path)

    def close(self):
        for process in reversed(self.processes):
            stop(process)


class Weston:
    """A headless Wayland compositor (weston) on a socket of its own; it renders in memory, so its screenshots
    show what clients drew. Clients get `env`: no X display, so nothing can fall back to X11."""

    def __init__(self, root):
        check(shutil.which("weston"), "weston is not installed")
        runtime = os.path.join(root, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        socket = f"wayland-pelmora-{os.getpid()}"
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "WAYLAND", "XDG_SESSION"))}
        self.env.pop("DISPLAY", None)
        self.env.update(HOME=root, LC_ALL="C.UTF-8", XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY=socket)
        self.log_path = os.path.join(root, "weston.log")
        # --debug lets weston-screenshooter take pictures; --idle-time=0 keeps the screen from blanking.
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman", "--width=800", "--height=600",
             "--no-config", "--idle-time=0", "--debug", f"--socket={socket}", f"--log={self.log_path}"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for("weston's socket",
                     lambda: self.process.poll() is not None or os.path.exists(os.path.join(runtime, socket)))
            check(self.process.poll() is None, f"weston ended at start:\n{self.output()[-2000:]}")
        except BaseException:
            self.close()
            raise
        log(f"weston is up on {socket}")

    def output(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def screenshot(self, folder):
        """The whole output as read_png gives it; weston-screenshooter names its file after the time."""
        before = set(os.listdir(folder))
        subprocess.run(["weston-screenshooter"], cwd=folder, env=self.env, check=True, timeout=20)
        taken = [name for name in os.listdir(folder) if name not in before and name.endswith(".png")]
        check(len(taken) == 1, f"weston-screenshooter left {taken} in {folder}")
        return read_png(os.path.join(folder, taken[0]))

    def close(self):
        stop(self.process)


def stop(process, timeout=5):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Pelmora:
    """The real program, started in `workdir` with ALSA's default device writing every tone to a capture file."""

    def __init__(self, desktop, workdir, home, as_user=None, arguments=(), asoundrc=None):
        check(PELMORA and os.access(PELMORA, os.X_OK), f"PELMORA does not name the program: {PELMORA!r}")
        self.desktop = desktop
        self.capture = os.path.join(home, "tones.raw")
        # The file plugin truncates its file at every open, and the tone opens the device once per beep:
        # appending through a pipe keeps every tone.
        with open(os.path.join(home, ".asoundrc"), "w") as f:
            f.write(asoundrc or 'pcm.!default { type file; slave.pcm "null"; file "|cat >>%s"; format "raw" }\n'
                    % self.capture)
        argv = [PELMORA, *arguments]
        if as_user:
            argv = ["setpriv", f"--reuid={as_user[0]}", f"--regid={as_user[1]}", "--clear-groups", *argv]
        # Output goes to a file: a pipe nobody reads could fill up and stall the program.
        self.log_path = os.path.join(home, f"pelmora-{len(os.listdir(home))}.log")
        with open(self.log_path, "w") as log_file:
            self.process = subprocess.Popen(argv, cwd=workdir, env=desktop.env, stdout=log_file,
                                            stderr=subprocess.STDOUT)
        self.window = wait_for("the Pelmora window",
                               lambda: self.main_window(), timeout=30)
        log(f"pelmora (pid {self.process.pid}) shows window {self.window}")

    def main_window(self):
        found = [w for w in self.desktop.clients(self.process.pid) if (self.desktop.title(w) or "").startswith("Pelmora")]
        return found[0] if found else None

    def title(self):
        return self.desktop.title(self.window)

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=15):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"pelmora did not end within {timeout} s")

    def other_windows(self):
        """Visible windows of the program besides the main window: dialogs and message boxes."""
        return [w for w in self.desktop.clients(self.process.pid) if w != self.window]

    def tones(self):
        return tones_in(self.capture)

    def output(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def close(self):
        stop(self.process)


def tones_in(path):
    """(hertz, milliseconds) of each tone in a raw capture (see tone_segments)."""
    samples = read_samples(path)
    return [measure(samples, begin, end) for begin, end in tone_segments(samples)]


def read_samples(path):
    """The S16_LE samples of a raw capture; none when there is no file."""
    samples = array.array("h")
    if os.path.exists(path):
        with open(path, "rb") as f:
            samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def tone_segments(samples):
    """(first, last) sample of each tone in a capture.

    Tones follow one another in the capture with no gap when their length fills whole ALSA periods, but each
    one fades in from and out to an exact zero sample: two zero samples in a row never occur inside a tone,
    so they split it from the next. Slivers shorter than a millisecond are fade edges, not tones.
    """
    segments, start, zeros = [], None, 0
    for i, value in enumerate(samples):
        if value == 0:
            zeros += 1
            if start is not None and zeros >= 2:
                segments.append((start, i - 1))
                start = None
        else:
            if start is None:
                start = i - 1 if zeros == 1 else i
            zeros = 0
    if start is not None:
        segments.append((start, len(samples) - zeros))
    return [(begin, end) for begin, end in segments if end - begin >= RATE // 1000]


def measure(samples, begin, end):
    """(hertz, milliseconds) of samples [begin, end): whole periods between the first and last upward zero
    crossing, each found to a fraction of a sample, over the time they span."""
    rising = [i + samples[i] / (samples[i] - samples[i + 1]) for i in range(begin, end - 1)
              if samples[i] < 0 <= samples[i + 1]]
    hz = (len(rising) - 1) * RATE / (rising[-1] - rising[0]) if len(rising) > 1 else 0
    return (round(hz, 1), round((end - begin) / RATE * 1000, 1))


def read_png(path):
    """Width, height and a function giving (r, g, b) at (x, y) of a non-interlaced 8-bit RGB(A) PNG."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    check(depth == 8 and colour in (2, 6) and interlace == 0, f"unsupported PNG form {header}")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    pixels = bytearray(height * stride)
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else upper_left)
                line[i] = (line[i] + predictor) & 0xFF
        pixels[y * stride:(y + 1) * stride] = line
        previous = line

    class Image:
        pass

    image = Image()
    image.width, image.height = width, height

    def pixel(x, y):
        i = y * stride + x * channels
        return tuple(pixels[i:i + 3])

    def count(colour, rect):
        left, top, right, bottom = rect
        return sum(1 for y in range(top, min(bottom + 1, height)) for x in range(left, min(right + 1, width))
                   if pixel(x, y) == colour)

    image.pixel, image.count = pixel, count
    return image


class Scene:
    """One test's world: a temporary folder with a work folder and a HOME, the desktop, cleaned up always."""

    def __init__(self, name, wm="openbox"):
        self.name = name
        self.wm = wm
        self.root = tempfile.mkdtemp(prefix=f"pelmora-e2e-{name}-")
        os.chmod(self.root, 0o755)
        self.work = os.path.join(self.root, "work")
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.work)
        os.makedirs(self.home)
        self.desktop = None
        self.programs = []

    def __enter__(self):
        # ctest's timeout sends SIGTERM: leave through __exit__ so every process is stopped.
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
        try:
            self.desktop = Desktop(self.home, self.wm)
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def start(self, as_user=None, arguments=(), asoundrc=None):
        program = Pelmora(self.desktop, self.work, self.home, as_user=as_user, arguments=arguments,
                          asoundrc=asoundrc)
        self.programs.append(program)
        return program

    def start_in(self, folder):
        """Starts pelmora in another folder than the scene's work folder and waits for its window."""
        program = Pelmora(self.desktop, folder, self.home)
        self.programs.append(program)
        return program

    def run_briefly(self, folder, timeout=15):
        """Runs pelmora in `folder` expecting it to end by itself: (exit status, its output)."""
        try:
            done = subprocess.run([PELMORA], cwd=folder, env=self.desktop.env, capture_output=True, text=True,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"pelmora started in {folder} did not end within {timeout} s")
        return done.returncode, done.stdout + done.stderr

    def start_expanded(self):
        """Starts pelmora, waits for its first clock paint and opens the task list (500 px tall)."""
        program = self.start()
        wait_for("the clock's title", lambda: (program.title() or "").startswith("Pelmora - "))
        program.desktop.click(program.window, BUTTON_SHOW_LIST)
        wait_equal("the expanded outer height", lambda: program.desktop.outer_height(program.window), 500,
                   timeout=10)
        return program

    def tasks_path(self):
        return os.path.join(self.work, "TASKS.BIN")

    def write_tasks(self, data):
        with open(self.tasks_path(), "wb") as f:
            f.write(data)

    def read_tasks(self):
        with open(self.tasks_path(), "rb") as f:
            return f.read()

    def __exit__(self, kind, value, tb):
        for program in self.programs:
            program.close()
            if kind is not None and program.output().strip():
                log(f"output of pelmora (pid {program.process.pid}):\n{program.output()[-4000:]}")
        if self.desktop:
            self.desktop.close()
        if kind is None or os.environ.get("PELMORA_E2E_KEEP") is None:
            shutil.rmtree(self.root, ignore_errors=True)
        else:
            log(f"kept {self.root} for inspection")
        return False


def main(test):
    """Runs one test function and turns its outcome into an exit status for ctest."""
    try:
        test()
    except Failure as failure:
        log(f"FAILED: {failure}")
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    log("passed")
    return 0


class Skip(BaseException):
    """The test cannot run here, for the reason given: main_skippable() ends with exit status 77. Not an
    Exception, so that main() lets it through instead of reporting a failure."""


A11Y_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def start_accessibility_bus(scene):
    """A private session bus with at-spi2-core's accessibility bus on it, for this scene's programs and for
    this process; returns the accessibility bus's address. Must run before the program starts.

    Qt asks org.a11y.Bus on the session bus where the accessibility bus is (AT_SPI_BUS_ADDRESS is not
    enough), so the launcher runs on the private session bus. Raises Skip when a bus cannot be started."""
    desktop = scene.desktop
    for program in ("dbus-daemon", "dbus-send"):
        if not shutil.which(program):
            raise Skip(f"{program} is not installed (Debian package dbus)")
    if not os.access(A11Y_BUS_LAUNCHER, os.X_OK):
        raise Skip(f"{A11Y_BUS_LAUNCHER} is missing (Debian package at-spi2-core)")
    try:
        session_bus(scene)
    except Failure as failure:
        raise Skip(str(failure))
    address = desktop.env["DBUS_SESSION_BUS_ADDRESS"]
    desktop.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    desktop.env.pop("AT_SPI_BUS_ADDRESS", None)
    desktop.env.pop("NO_AT_BRIDGE", None)
    launcher_log = open(os.path.join(scene.home, "at-spi-bus-launcher.log"), "w")
    desktop.processes.append(subprocess.Popen([A11Y_BUS_LAUNCHER, "--launch-immediately"], env=desktop.env,
                                              stdout=launcher_log, stderr=launcher_log))

    def a11y_address():
        out = desktop.run(["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                           "/org/a11y/bus", "org.a11y.Bus.GetAddress"], check_rc=False).strip()
        return out if out.startswith("unix:") else None

    try:
        a11y = wait_for("the accessibility bus's address", a11y_address, timeout=20, interval=0.2)
    except Failure as failure:
        raise Skip(f"at-spi2-core's accessibility bus did not start: {failure}")
    for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
        os.environ[name] = desktop.env[name]
    os.environ["AT_SPI_BUS_ADDRESS"] = a11y
    log(f"private session bus {address}, accessibility bus {a11y}")
    return a11y


def main_skippable(test):
    """main() for a test that may find its environment missing: a Skip ends it with status 77."""
    try:
        return main(test)
    except Skip as reason:
        log(f"SKIPPED: {reason}")
        return 77


def session_bus(scene):
    """A private session bus (dbus-daemon --session) whose address programs started afterwards get."""
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=scene.desktop.env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    scene.desktop.processes.append(daemon)
    ready, _, _ = select.select([daemon.stdout], [], [], 20)
    address = daemon.stdout.readline().strip() if ready else ""
    check(address, "the private session bus (dbus-daemon --session) did not start")
    scene.desktop.env["DBUS_SESSION_BUS_ADDRESS"] = address
    return daemon


class NotificationService:
    """tests/e2e/notification_service.py on the scene's session bus, recording the calls it gets; `options`
    add the portal's Inhibit (--portal) or logind's (--logind)."""

    def __init__(self, scene, *options):
        self.env = scene.desktop.env
        self.record = os.path.join(scene.root, "notifications-%d.jsonl" % len(os.listdir(scene.root)))
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notification_service.py")
        self.process = subprocess.Popen([sys.executable, script, self.record, *options],
                                        env=self.env, stdout=subprocess.PIPE, text=True)
        scene.desktop.processes.append(self.process)
        check(self.process.stdout.readline().strip() == "ready", "the notification service did not start")

    def calls(self, *methods):
        """Each call as a list: ["Notify", app, summary, body, id, replaces, icon, actions, hints, timeout],
        ["CloseNotification", id], ["GetCapabilities"], ["Inhibit", window, flags, options, handle] and
        ["Close", handle] (portal), ["Inhibit", what, who, why, mode] and ["Released"] (logind); only those of
        `methods` when given."""
        if not os.path.exists(self.record):
            return []
        with open(self.record) as f:
            calls = [json.loads(line) for line in f if line.strip()]
        return [c for c in calls if not methods or c[0] in methods]

    def user(self, method, *args):
        """What the user does on the notification: Invoke(id, action) or Dismiss(id)."""
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.Notifications",
                        "/org/freedesktop/Notifications", f"io.github.pelmora.Test.{method}", *args],
                       env=self.env, check=True, stdout=subprocess.DEVNULL, timeout=10)


def another_window(scene):
    """An xmessage window of the scene's desktop, made the active one; returns its window id."""
    before = set(scene.desktop.clients())
    process = subprocess.Popen(["xmessage", "another window"], env=scene.desktop.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    scene.desktop.processes.append(process)
    # xmessage names no process on its window: it is the one that is new.
    window = wait_for("the other window", lambda: next(iter(set(scene.desktop.clients()) - before), None))
    scene.desktop.activate(window)
    return window


def attention(desktop, window):
    """(EWMH demands attention, WM_HINTS urgency flag) of the window."""
    hints = desktop.run(["xprop", "-id", str(window), "WM_HINTS", "_NET_WM_STATE"], check_rc=False)
    return "_NET_WM_STATE_DEMANDS_ATTENTION" in hints, "urgency hint bit is set" in hints


def child_processes(pid):
    """(pid, state) of the processes whose parent is `pid`, zombies included."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == pid:
                found.append((int(entry), fields[0]))
    return found
