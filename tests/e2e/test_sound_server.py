#!/usr/bin/env python3
"""E2E: the alarm through a real sound server (PipeWire with pipewire-pulse, no ALSA route to it), with that server
frozen for a while, through ALSA's pulse plugin while Pelmora's own client finds no server, with neither a server
nor a device, and without the program's sound module: one 1000 Hz / 100 ms tone per tick until STOP, silence after
it, and one line on stderr when no tone can sound."""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
import sound_server  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402

TICKS = 10
NO_SERVER = "unix:/nonexistent/pulse/native"
FAILURE_LINE = "pelmora: the alarm's sound could not be played: "
SILENCE_AFTER_STOP = 2.5
# While a tone plays, its stream (40 ms asked for) runs PipeWire's graph in 5.3 ms cycles, whatever the recorder
# asks; a server held up past a cycle loses that cycle's samples but keeps the tone's time. Up to four lost cycles.
DROPOUT = 0.022
# A tone's length as heard, in ms either way: a loaded server may lose a few ms; the plugin's path loses none.
LENGTH_SLACK = 10
WHOLE_LENGTH_SLACK = 2


def tones_heard(samples):
    """(start in seconds, hz, ms) of each tone. A loaded machine's server may lose a few of its cycles to silence,
    but each tone goes to the server whole, at once: pieces less than DROPOUT apart are one tone, measured in
    length from its first piece to its last and in frequency on its longest piece."""
    tones = []
    for begin, end in e2e.tone_segments(samples):
        if tones and begin - tones[-1][-1][1] < DROPOUT * e2e.RATE:
            tones[-1].append((begin, end))
        else:
            tones.append([(begin, end)])
    heard = []
    for pieces in tones:
        longest = max(pieces, key=lambda piece: piece[1] - piece[0])
        ms = e2e.measure(samples, pieces[0][0], pieces[-1][1])[1]
        heard.append((pieces[0][0] / e2e.RATE, e2e.measure(samples, *longest)[0], ms))
    return heard


def alarm_until_stop(scene, server, name, asoundrc=None, ticks=TICKS, while_ringing=None):
    """A manual countdown from 0 (every tick beeps), recorded for `ticks` ticks (or while `while_ringing()`
    runs), then STOP and a silence: the tones heard as (start in seconds, hz, ms), the seconds of silence
    after the last one, and the program."""
    recording = os.path.join(scene.root, f"{name}.raw")
    parec = server.record(recording)
    program = scene.start(asoundrc=asoundrc)
    wait_for("the clock's title", lambda: (program.title() or "").startswith("Pelmora - "))
    program.desktop.click(program.window, e2e.BUTTON_START)
    (while_ringing or (lambda: time.sleep(ticks + 0.5)))()
    program.desktop.click(program.window, e2e.BUTTON_START)
    time.sleep(SILENCE_AFTER_STOP)
    program.desktop.close_box(program.window)
    check(program.wait_exit() == 0, f"{name}: pelmora ended with an error")
    server.stop_recording(parec)
    samples = e2e.read_samples(recording)
    tones = tones_heard(samples)
    segments = e2e.tone_segments(samples)
    quiet = (len(samples) - segments[-1][1]) / e2e.RATE if segments else 0
    log(f"{name}: {len(tones)} tones, " + ", ".join(f"{at:.2f}s {hz} Hz {ms} ms" for at, hz, ms in tones))
    return tones, quiet, program


def check_one_tone_per_tick(name, tones, quiet, ticks=TICKS, length_slack=LENGTH_SLACK):
    check(len(tones) >= ticks, f"{name}: {len(tones)} tones in {ticks} ticks")
    for at, hz, ms in tones:
        check(abs(hz - 1000) <= 5 and abs(ms - 100) <= length_slack,
              f"{name}: a tone of {hz} Hz for {ms} ms at {at:.2f} s")
    gaps = [b[0] - a[0] for a, b in zip(tones, tones[1:])]
    check(all(0.8 < gap < 1.2 for gap in gaps), f"{name}: tones are not a tick apart: {gaps}")
    # A tick a second: a tone would have come within the silence had STOP not ended them.
    check(quiet > SILENCE_AFTER_STOP - 0.6, f"{name}: only {quiet:.2f} s of silence after the last tone")


def run():
    absent = sound_server.missing()
    if absent:
        raise e2e.Skip("not installed: " + ", ".join(absent))
    with e2e.Scene("soundserver") as scene:
        server = sound_server.SoundServer(scene.desktop.env["XDG_RUNTIME_DIR"], scene.root)
        try:
            log("the sound server, found in the runtime folder; ALSA's default still writes to a file")
            tones, quiet, program = alarm_until_stop(scene, server, "server")
            check_one_tone_per_tick("through the server", tones, quiet)
            check(program.tones() == [], f"tones went to ALSA instead: {program.tones()}")
            check(FAILURE_LINE not in program.output(), f"a failure was told: {program.output()}")

            log("the server freezes for 3 s and comes back: told once, and the tones go on")

            def freeze_for_a_while():
                time.sleep(2.5)
                server.freeze()
                time.sleep(3)
                server.freeze(False)
                time.sleep(3)

            tones, quiet, program = alarm_until_stop(scene, server, "frozen", while_ringing=freeze_for_a_while)
            told = [line for line in program.output().splitlines() if line.startswith(FAILURE_LINE)]
            check(len(told) == 1 and "sound server" in told[0], f"the freeze should be told once: {program.output()!r}")
            # Two ticks before the freeze; parec, a client of the frozen server too, loses its time, not its tones.
            check(len(tones) >= 4, f"the tones did not come back after the freeze: {tones}")

            log("ALSA's pulse plugin names the server; Pelmora's own client is sent where none answers")
            scene.desktop.env["PULSE_SERVER"] = NO_SERVER
            plugin = 'pcm.!default { type pulse; server "unix:%s" }\nctl.!default { type pulse; server "unix:%s" }\n'
            tones, quiet, program = alarm_until_stop(scene, server, "plugin", plugin % (server.socket, server.socket))
            # The whole tone with its fade-out, not cut 4 ms short with a click at its end.
            check_one_tone_per_tick("through ALSA's pulse plugin", tones, quiet, length_slack=WHOLE_LENGTH_SLACK)
            check(FAILURE_LINE not in program.output(), f"a failure was told: {program.output()}")

            log("no server and no device: the alarm says so, once")
            nothing = 'pcm.!default { type plug; slave.pcm "nosuchdevice" }\n'
            tones, _, program = alarm_until_stop(scene, server, "nothing", nothing, ticks=3)
            check(tones == [], f"tones were heard with no way to play them: {tones}")
            told = [line for line in program.output().splitlines() if line.startswith(FAILURE_LINE)]
            check(len(told) == 1 and "no sound server or sound device answered" in told[0],
                  f"pelmora's output should tell the failure once: {program.output()!r}")

            log("a program without its sound module beside it: the server and the device are there, unused")
            del scene.desktop.env["PULSE_SERVER"]
            alone = os.path.join(scene.root, "bin", "pelmora")
            os.makedirs(os.path.dirname(alone))
            shutil.copy2(e2e.PELMORA, alone)
            e2e.PELMORA, installed = alone, e2e.PELMORA
            try:
                tones, _, program = alarm_until_stop(scene, server, "nomodule", ticks=3)
            finally:
                e2e.PELMORA = installed
            check(tones == [] and program.tones() == [], f"tones were played without the module: {tones}")
            told = [line for line in program.output().splitlines() if line.startswith(FAILURE_LINE)]
            check(len(told) == 1 and "the sound module could not be loaded: " in told[0] and "pelmora-sound.so" in told[0],
                  f"pelmora's output should tell the missing module once: {program.output()!r}")
        finally:
            server.stop()


if __name__ == "__main__":
    sys.exit(e2e.main_skippable(run))
