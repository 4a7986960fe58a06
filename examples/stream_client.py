#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the electronic skin's live stream and shows what arrives.

The stream server (eskin-record --serve, or electronic-skin --serve / "共享数据流…") sends the
recording format over TCP: comment lines ("# key: value"), the header line
"time_s,sensors,s0_x,...,s15_z", then one line per sensor-data frame. Later comment lines
(such as "# marker: ...") may come between the frames. This client parses the lines into
frames and prints, once a second, the frames per second and the newest readings.

    python3 stream_client.py 5555                  # the server on this machine
    python3 stream_client.py 192.168.1.20:5555 --frames 1000

Python's standard library only; start from it for a program of your own.
"""

import argparse
import socket
import sys
import time
from dataclasses import dataclass, field

SENSORS = 16


@dataclass
class Frame:
    time_s: float  # seconds since the stream's first frame
    sensors: int  # how many of the readings the frame has
    readings: list = field(default_factory=list)  # (x, y, z) for each sensor it has


class StreamError(Exception):
    pass


def parse_frame(line):
    """One frame line of the recording format; StreamError when it is not one."""
    cells = line.split(",")
    if len(cells) != 2 + 3 * SENSORS:
        raise StreamError(f"not a frame line ({len(cells)} cells): {line[:60]}")
    try:
        count = int(cells[1])
        if not 1 <= count <= SENSORS:
            raise ValueError
        values = [int(v) for v in cells[2:2 + 3 * count]]
        return Frame(float(cells[0]), count,
                     [tuple(values[i:i + 3]) for i in range(0, len(values), 3)])
    except ValueError:
        raise StreamError(f"bad frame line: {line[:60]}") from None


class StreamReader:
    """Turns the stream's lines into calls: on_head(comments) once the header line has come,
    with the comment lines above it as a dictionary; on_frame(frame) for every frame;
    on_comment(key, value) for a comment line between the frames."""

    def __init__(self, on_head, on_frame, on_comment):
        self.comments = {}
        self.columns = None
        self.on_head, self.on_frame, self.on_comment = on_head, on_frame, on_comment

    def feed(self, line):
        if line.startswith("#"):
            key, _, value = line[1:].strip().partition(":")
            if self.columns is None:
                self.comments[key.strip()] = value.strip()
            else:
                self.on_comment(key.strip(), value.strip())
        elif self.columns is None:
            if not line.startswith("time_s,sensors,"):
                raise StreamError(f"not the header line: {line[:60]}")
            self.columns = line.split(",")
            self.on_head(self.comments)
        else:
            self.on_frame(parse_frame(line))


def address(text):
    """[HOST:]PORT, the host 127.0.0.1 when left out."""
    host, _, port = text.rpartition(":")
    if not port.isdigit() or int(port) > 65535:
        raise argparse.ArgumentTypeError(f"not [HOST:]PORT: {text}")
    return host.strip("[]") or "127.0.0.1", int(port)


class Report:
    """Counts the frames and prints the rate and the newest readings every `interval` s."""

    def __init__(self, interval, out):
        self.interval, self.out = interval, out
        self.frames, self.newest = 0, None
        self.started = self.shown_at = time.monotonic()
        self.shown_frames = 0

    def head(self, comments):
        print(f"stream of {comments.get('program', '?')}, port {comments.get('port', '?')}, "
              f"{comments.get('frequency_hz', '?')} Hz, started {comments.get('start', '?')}",
              file=self.out)

    def frame(self, frame):
        self.frames += 1
        self.newest = frame
        now = time.monotonic()
        if now - self.shown_at >= self.interval:
            self.show((self.frames - self.shown_frames) / (now - self.shown_at))
            self.shown_at, self.shown_frames = now, self.frames

    def comment(self, key, value):
        print(f"{key}: {value}", file=self.out)

    def show(self, rate):
        print(f"{self.frames} frames, {rate:.1f} frames/s; newest at {self.newest.time_s:.6f} s, "
              f"{self.newest.sensors} sensors:", file=self.out)
        cells = [f"s{i} ({x}, {y}, {z})" for i, (x, y, z) in enumerate(self.newest.readings)]
        for start in range(0, len(cells), 4):
            print("    " + "  ".join(cells[start:start + 4]), file=self.out)
        self.out.flush()

    def finish(self):
        elapsed = time.monotonic() - self.started
        if self.newest:
            self.show(self.frames / elapsed if elapsed > 0 else 0.0)
        print(f"received {self.frames} frames in {elapsed:.1f} s", file=self.out)


def run(args, out=sys.stdout):
    host, port = args.address
    try:
        connection = socket.create_connection((host, port), timeout=10)
    except OSError as error:
        print(f"stream_client: cannot connect to {host}:{port}: {error.strerror or error}",
              file=sys.stderr)
        return 1
    report = Report(args.interval, out)
    reader = StreamReader(report.head, report.frame, report.comment)
    with connection, connection.makefile("r", encoding="utf-8", newline="\n") as lines:
        connection.settimeout(None)
        for line in lines:
            if not line.endswith("\n"):
                break  # the server went away in the middle of a line
            reader.feed(line[:-1])
            if args.frames and report.frames >= args.frames:
                break
    report.finish()
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("address", type=address, help="the server's [HOST:]PORT")
    parser.add_argument("--frames", type=int, default=0, help="stop after N frames")
    parser.add_argument("--interval", type=float, default=1.0,
                        help="seconds between two reports (default 1)")
    args = parser.parse_args()
    try:
        return run(args)
    except StreamError as error:
        print(f"stream_client: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 0


if __name__ == "__main__":
    sys.exit(main())
