#!/usr/bin/env python3
"""Drives one installation for bench/paint_intervals.sh and watches it.

    paint_watch.py GUI_PID WINDOW X Y DEST BYTES EXPOSES

Clicks at X,Y of WINDOW (Next on the Destination page: the installation runs
inside that click), then, until the BYTES of the payload are all in DEST:
every 10 ms looks at the destination, and about every 150 ms paints the
wizard's area black with `xrefresh -black` (as a window passing over it
would). Where the program does not handle its messages, the area stays black
until it does. The time each refresh has ended is written to EXPOSES, one
line of nanoseconds on the paint log's clock.

Prints "START END CPU": the click, the moment the last byte was found in the
destination, and the CPU seconds of GUI_PID in between.
"""
import os
import subprocess
import sys
import time


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def written(dest):
    total = 0
    for folder, _, files in os.walk(dest):
        for name in files:
            try:
                total += os.lstat(os.path.join(folder, name)).st_size
            except FileNotFoundError:
                pass
    return total


def geometry(window):
    out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
    values = {}
    for line in out.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return "{}x{}+{}+{}".format(values["Width"], values["Height"], values["Absolute upper-left X"],
                                values["Absolute upper-left Y"])


def main():
    pid, window, x, y, dest, expected, exposes = sys.argv[1:8]
    expected = int(expected)
    area = geometry(window)
    cpu_before = cpu_seconds(pid)
    start = time.monotonic_ns()
    subprocess.run(["xdotool", "mousemove", "--window", window, x, y, "click", "1"], check=True)
    refreshed = []
    next_refresh = start + 150_000_000
    deadline = start + 600_000_000_000
    while True:
        now = time.monotonic_ns()
        if written(dest) >= expected:
            end = now
            break
        if now > deadline:
            sys.exit("the installation did not complete within 10 minutes")
        if now >= next_refresh:
            subprocess.run(["xrefresh", "-black", "-geometry", area], check=True)
            refreshed.append(time.monotonic_ns())
            next_refresh = refreshed[-1] + 150_000_000
        time.sleep(0.01)
    # The last file is complete once its size is reached but only counted a
    # moment later; the Finish page follows.
    time.sleep(0.5)
    cpu = cpu_seconds(pid) - cpu_before
    with open(exposes, "w") as f:
        f.writelines(f"{t}\n" for t in refreshed)
    print(start, end, f"{cpu:.2f}")


if __name__ == "__main__":
    main()
