#!/usr/bin/env python3
"""E2E: a manual countdown of 3 s: the title each tick, the clock's colours, one 1000 Hz / 100 ms tone per tick
after zero, and STOP bringing the preset back; a run held up by SIGSTOP past its end sounds at once on SIGCONT."""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import CLOCK_RECT, GREEN, YELLOW, check, log, wait_equal, wait_for  # noqa: E402

PRESET = 3
BEEP_TICKS = 3


def clock_title(seconds):
    return "Pelmora -  %02d:%02d:%02d " % (seconds // 3600, seconds // 60 % 60, seconds % 60)


def clock_colours(scene, program, name):
    image = scene.desktop.screenshot(program.window, os.path.join(scene.root, f"{name}.png"))
    return image.count(YELLOW, CLOCK_RECT), image.count(GREEN, CLOCK_RECT)


def run():
    with e2e.Scene("countdown") as scene:
        program = scene.start()
        desktop = program.desktop
        wait_equal("the clock's title at start", program.title, clock_title(0))
        yellow, green = clock_colours(scene, program, "start")
        check(yellow > 500 and green == 0, f"00:00:00 should be yellow: {yellow} yellow, {green} green pixels")

        log(f"preset {PRESET} s with the scroll bar's right arrow")
        for expected in range(1, PRESET + 1):
            desktop.click(program.window, e2e.SCROLL_RIGHT_ARROW)
            wait_equal("the preset in the title", program.title, clock_title(expected), timeout=10)
        yellow, green = clock_colours(scene, program, "preset")
        check(green > 500 and yellow == 0, f"00:00:03 should be green: {yellow} yellow, {green} green pixels")

        log("START: the title counts down once a second")
        desktop.click(program.window, e2e.BUTTON_START)
        started = time.monotonic()
        changes = []  # (seconds since START, title)
        while time.monotonic() - started < PRESET + 4 and (not changes or changes[-1][1] != clock_title(0)):
            title = program.title()
            if not changes or title != changes[-1][1]:
                changes.append((time.monotonic() - started, title))
            time.sleep(0.02)
        log("titles: " + ", ".join(f"{t:.2f}s {title!r}" for t, title in changes))
        titles = [title for _, title in changes]
        check(titles == [clock_title(s) for s in range(PRESET, -1, -1)],
              f"the title did not step {PRESET} .. 0 one second at a time: {titles}")
        steps = [b[0] - a[0] for a, b in zip(changes[1:], changes[2:])]
        check(all(0.5 < step < 1.6 for step in steps), f"ticks are not a second apart: {steps}")
        check(program.tones() == [], f"a tone sounded before zero: {program.tones()}")

        log(f"after zero: one tone per tick, for {BEEP_TICKS} ticks")
        zero_at = time.monotonic()
        first = wait_for("the first tone", program.tones, timeout=5)
        check(time.monotonic() - zero_at < 1.6, "the first tone did not come with the tick after zero")
        wait_for(f"{BEEP_TICKS} tones", lambda: len(program.tones()) >= BEEP_TICKS, timeout=BEEP_TICKS + 3)
        beeping_for = time.monotonic() - zero_at
        yellow, green = clock_colours(scene, program, "zero")
        check(yellow > 500 and green == 0, f"00:00:00 should be yellow: {yellow} yellow, {green} green pixels")
        check(program.title() == clock_title(0), f"the title moved past zero: {program.title()!r}")

        log("STOP brings the preset back and the tones end")
        desktop.click(program.window, e2e.BUTTON_START)
        wait_equal("the preset back in the title after STOP", program.title, clock_title(PRESET), timeout=5)
        stopped_with = len(program.tones())
        time.sleep(2.5)
        tones = program.tones()
        log(f"tones: {tones} in {beeping_for:.1f} s of beeping before the check, first {first}")
        check(len(tones) == stopped_with, f"tones went on after STOP: {len(tones)} after {stopped_with}")
        # One tone per tick: the ticks since zero, give or take the one in flight at either end.
        elapsed = time.monotonic() - 2.5 - zero_at
        check(abs(len(tones) - elapsed) <= 1.5, f"{len(tones)} tones in {elapsed:.1f} s is not one per tick")
        for hz, ms in tones:
            check(abs(hz - 1000) <= 10 and abs(ms - 100) <= 3, f"a tone of {hz} Hz for {ms} ms, not 1000 Hz / 100 ms")
        yellow, green = clock_colours(scene, program, "stopped")
        check(green > 500 and yellow == 0, f"the preset should be green again: {yellow} yellow, {green} green")

        log("a stop longer than the run: the first tick after it counts the missed seconds and sounds")
        desktop.click(program.window, e2e.BUTTON_START)
        time.sleep(0.5)
        program.process.send_signal(signal.SIGSTOP)
        time.sleep(PRESET + 1)
        before = len(program.tones())
        program.process.send_signal(signal.SIGCONT)
        resumed = time.monotonic()
        wait_for("the tone after the stop", lambda: len(program.tones()) > before, timeout=5)
        late = time.monotonic() - resumed
        check(late < 0.8, f"the tone came {late:.1f} s after SIGCONT: the missed seconds were not made up")
        log(f"the tone came {late:.2f} s after SIGCONT")
        desktop.click(program.window, e2e.BUTTON_START)

        desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
