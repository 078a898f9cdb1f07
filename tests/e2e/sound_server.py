"""A real sound server for whole-program tests and benchmarks: PipeWire with WirePlumber and pipewire-pulse on a
private runtime folder and session bus, one mono null sink as the default, no ALSA route to it, recorded with parec."""
import os
import shutil
import signal
import subprocess
import time

PROGRAMS = {"pipewire": "pipewire", "wireplumber": "wireplumber", "pipewire-pulse": "pipewire-pulse",
            "pactl": "pulseaudio-utils", "parec": "pulseaudio-utils", "dbus-daemon": "dbus"}
SINK = "pelmora_test"
RATE = 48000


def missing():
    """What is not installed, as 'program (Debian package)'."""
    return [f"{program} ({package})" for program, package in PROGRAMS.items() if not shutil.which(program)]


class SoundServer:
    """Started in `runtime` (an XDG_RUNTIME_DIR of mode 0700), logging into `logs`; stop() ends what it started."""

    def __init__(self, runtime, logs):
        self.processes = []
        self.socket = os.path.join(runtime, "pulse", "native")
        # Nothing of the user's own session: its servers, bus or configuration.
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(("PULSE_", "PIPEWIRE_", "DBUS_", "XDG_"))}
        self.env.update(XDG_RUNTIME_DIR=runtime, HOME=logs, DISPLAY="")
        self._logs = logs
        try:
            self._start()
        except BaseException:
            self.stop()
            raise

    def _spawn(self, argv, server=True, **kwargs):
        """Starts one process; `server` ones are watched while waiting and stopped by stop()."""
        log_file = open(os.path.join(self._logs, os.path.basename(argv[0]) + ".log"), "w")
        process = subprocess.Popen(argv, env=self.env, stdout=kwargs.pop("stdout", log_file), stderr=log_file,
                                   **kwargs)
        if server:
            self.processes.append(process)
        return process

    def _start(self):
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                          text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        self._spawn(["pipewire"])
        self._wait("pipewire's socket", lambda: os.path.exists(os.path.join(self.env["XDG_RUNTIME_DIR"], "pipewire-0")))
        self._spawn(["wireplumber"])
        self.pulse = self._spawn(["pipewire-pulse"])
        self._wait("pipewire-pulse to answer", lambda: self.pactl("info", check=False).returncode == 0)
        self.pactl("load-module", "module-null-sink", f"sink_name={SINK}", f"rate={RATE}", "channels=1")
        self._wait("the null sink", lambda: SINK in self.pactl("list", "short", "sinks").stdout)
        self.pactl("set-default-sink", SINK)

    def _wait(self, what, probe, timeout=20):
        deadline = time.monotonic() + timeout
        while not probe():
            if time.monotonic() > deadline or any(p.poll() is not None for p in self.processes):
                raise RuntimeError(f"the sound server failed waiting for {what}; logs in {self._logs}")
            time.sleep(0.05)

    def pactl(self, *args, check=True):
        return subprocess.run(["pactl", *args], env=self.env, capture_output=True, text=True, timeout=20,
                              check=check)

    def freeze(self, frozen=True):
        """Stops or resumes pipewire-pulse, as a server that hangs: its socket still takes connections."""
        self.pulse.send_signal(signal.SIGSTOP if frozen else signal.SIGCONT)

    def recorders(self):
        return self.pactl("list", "short", "source-outputs").stdout.strip()

    def record(self, path):
        """Starts recording the null sink (S16_LE mono) into `path`; returns the parec process, attached.
        One recording at a time: end it with stop_recording()."""
        process = self._spawn(["parec", "-d", SINK + ".monitor", "--format=s16le", f"--rate={RATE}", "--channels=1",
                               "--raw", "--latency-msec=10", path], server=False)
        try:
            self._wait("parec to record", lambda: process.poll() is None and self.recorders())
        except BaseException:
            self.stop_recording(process)
            raise
        return process

    def stop_recording(self, process):
        if process.poll() is None:
            process.terminate()
            process.wait(5)
        self._wait("parec to leave", lambda: not self.recorders())

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
