#!/usr/bin/python3
"""Robustness run of `filmcast` over folders of movies.

For every movie: `filmcast info --json`, then `filmcast convert` of its first frames at stage
size into a scratch folder, each in a process group of its own under a wall-clock limit and an
address-space limit. Writes one table row per movie (loaded or the error, frames captured,
seconds, peak memory, whether anything but the background colour was drawn) and the totals.

With --frame-times, every movie is instead stepped as `convert` steps it and each frame timed
in CPU time (the tick and the drawing at stage size, at most 4096 px a side) by
build/tools/frame_times/frame_times, under the same limits; the table gives each movie's
slowest frame, and the totals the slowest of all and the frames over --slow-ms.

    tools/corpus_run/corpus_run.py [--filmcast build/filmcast] [--frames 50] [--timeout 120]
                                   [--memory-mb 3072] [--out table.md] FOLDER...
    tools/corpus_run/corpus_run.py --frame-times [--frame-timer build/tools/frame_times/frame_times]
                                   [--slow-ms 2000] ... FOLDER...

Exit status 0 when every movie ended inside its limits (a movie that fails to load cleanly
counts as inside; with --frame-times, and no frame is slower than --slow-ms), 1 when one
crashed, hung or ran out of memory, 2 on a usage error.
Drawn pixels are checked with Pillow (python3-pil); without it the column shows "?".
"""

import argparse
import json
import lzma
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

try:
    from PIL import Image, ImageChops, ImageSequence
except ImportError:  # the table says "?" in the drawn column
    Image = None

# A channel off by more than this counts as a drawn pixel (the GIF's palette may move the
# background colour a little).
DRAWN_TOLERANCE = 32
# The background when a movie sets none (opaque white, as the engine draws it).
DEFAULT_BACKGROUND = (255, 255, 255)
# Bytes of a movie body read to find its background colour; the tag comes first in real movies.
BACKGROUND_SCAN_BYTES = 1 << 20
TAG_SET_BACKGROUND_COLOR = 9


class Outcome:
    """How one child process ended."""

    def __init__(self):
        self.exit_code = None   # exit status when it exited
        self.signal = None      # signal number when a signal ended it
        self.timed_out = False
        self.seconds = 0.0
        self.peak_kib = 0       # largest resident set of the child and its descendants
        self.stdout = ""
        self.stderr = ""

    def ended_badly(self):
        return self.timed_out or self.signal is not None


def run_limited(command, seconds, memory_bytes):
    """Runs command in a new session under the limits; kills its whole group on timeout."""

    def limit_child():
        resource.setrlimit(resource.RLIMIT_AS, (memory_bytes, memory_bytes))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))

    outcome = Outcome()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.monotonic()
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                 preexec_fn=limit_child, start_new_session=True)

        def kill_group():
            outcome.timed_out = True
            try:
                os.killpg(child.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

        timer = threading.Timer(seconds, kill_group)
        timer.start()
        _, status, usage = os.wait4(child.pid, 0)
        timer.cancel()
        child.returncode = status  # reaped here; keep Popen from waiting again
        # Grandchildren left behind (the command forks a worker per movie) go with the group.
        try:
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        outcome.seconds = time.monotonic() - start
        outcome.peak_kib = usage.ru_maxrss
        if os.WIFSIGNALED(status):
            outcome.signal = os.WTERMSIG(status)
        else:
            outcome.exit_code = os.WEXITSTATUS(status)
        out.seek(0)
        err.seek(0)
        outcome.stdout = out.read().decode("utf-8", "replace")
        outcome.stderr = err.read().decode("utf-8", "replace")
    return outcome


def movie_body(data):
    """The movie's bytes after the 8-byte header, inflated; None when it is not a movie."""
    if len(data) < 8 or data[1:3] != b"WS":
        return None
    kind = data[0:1]
    if kind == b"F":
        return data[8:8 + BACKGROUND_SCAN_BYTES]
    try:
        if kind == b"C":
            return zlib.decompressobj().decompress(data[8:], BACKGROUND_SCAN_BYTES)
        if kind == b"Z" and len(data) >= 17:
            # 4 bytes of compressed length, 5 bytes of LZMA properties, then the raw stream:
            # give the decoder the classic .lzma header (properties + unknown size).
            alone = data[12:17] + b"\xff" * 8 + data[17:]
            decoder = lzma.LZMADecompressor(format=lzma.FORMAT_ALONE)
            return decoder.decompress(alone, BACKGROUND_SCAN_BYTES)
    except (zlib.error, lzma.LZMAError, EOFError):
        return None
    return None


def background_colour(path):
    """The movie's SetBackgroundColor, or the default when it sets none or cannot be read."""
    try:
        with open(path, "rb") as f:
            data = f.read(64 << 20)
    except OSError:
        return DEFAULT_BACKGROUND
    body = movie_body(data)
    if not body:
        return DEFAULT_BACKGROUND
    rect_bits = 5 + 4 * (body[0] >> 3)
    pos = (rect_bits + 7) // 8 + 4  # frame rectangle, frame rate, frame count
    while pos + 2 <= len(body):
        code_and_length = struct.unpack_from("<H", body, pos)[0]
        pos += 2
        code, length = code_and_length >> 6, code_and_length & 0x3F
        if length == 0x3F:
            if pos + 4 > len(body):
                break
            length = struct.unpack_from("<I", body, pos)[0]
            pos += 4
        if code == 0:
            break
        if code == TAG_SET_BACKGROUND_COLOR and length >= 3 and pos + 3 <= len(body):
            return tuple(body[pos:pos + 3])
        pos += length
    return DEFAULT_BACKGROUND


def gif_pages_and_drawn(path, background):
    """(pages, drawn): drawn is True when a page holds a pixel off the background colour."""
    if Image is None:
        return None, None
    with Image.open(path) as gif:
        pages = 0
        drawn = False
        solid = None
        for page in ImageSequence.Iterator(gif):
            pages += 1
            if drawn:
                continue
            rgb = page.convert("RGB")
            if solid is None or solid.size != rgb.size:
                solid = Image.new("RGB", rgb.size, background)
            extrema = ImageChops.difference(rgb, solid).getextrema()
            drawn = any(high > DRAWN_TOLERANCE for _, high in extrema)
        return pages, drawn


def reason_from(stderr, movie):
    """The last message filmcast printed for the movie, without the program and file names."""
    lines = [line for line in stderr.splitlines() if line.strip()]
    if not lines:
        return "no message"
    last = lines[-1]
    prefix = "filmcast: " + movie + ": "
    return last[len(prefix):] if last.startswith(prefix) else last


class Row:
    def __init__(self, movie):
        self.movie = movie
        self.loaded = ""       # "yes" or the reason it did not load/convert
        self.header_frames = None
        self.frames = None     # GIF pages written
        self.seconds = 0.0
        self.peak_mib = 0.0
        self.drawn = None
        self.breach = None     # "timeout", "signal N", or None


def run_movie(path, options, scratch):
    row = Row(os.path.basename(path))
    info = run_limited([options.filmcast, "info", "--json", path], options.timeout,
                       options.memory_mb << 20)
    if info.ended_badly():
        row.breach = "info: " + ("timeout" if info.timed_out else "signal %d" % info.signal)
    elif info.exit_code == 0:
        try:
            row.header_frames = json.loads(info.stdout)[0]["frame_count"]
        except (ValueError, KeyError, IndexError):
            row.header_frames = None

    out_folder = os.path.join(scratch, "out")
    shutil.rmtree(out_folder, ignore_errors=True)
    os.makedirs(out_folder)
    convert = run_limited(
        [options.filmcast, "convert", path, "-o", out_folder, "--to", str(options.frames - 1),
         "--jobs", "1", "-q"], options.timeout, options.memory_mb << 20)
    row.seconds = convert.seconds
    row.peak_mib = convert.peak_kib / 1024.0
    if convert.ended_badly():
        row.breach = "timeout" if convert.timed_out else "signal %d" % convert.signal
        row.loaded = row.breach
        return row
    if convert.exit_code != 0:
        row.loaded = reason_from(convert.stderr, path)
        return row
    row.loaded = "yes"
    gif = os.path.join(out_folder, os.path.splitext(os.path.basename(path))[0] + ".gif")
    try:
        row.frames, row.drawn = gif_pages_and_drawn(gif, background_colour(path))
    except OSError as error:
        row.loaded = "GIF unreadable: %s" % error
    return row


def cell(value):
    if value is None:
        return "?"
    if value is True:
        return "yes"
    if value is False:
        return "no"
    return str(value).replace("|", "\\|")


def write_table(rows, stream):
    stream.write("| Movie | Loaded | Header frames | Frames | Seconds | Peak MiB | Drawn |\n")
    stream.write("|---|---|---:|---:|---:|---:|---|\n")
    for r in rows:
        drawn = cell(r.drawn) if r.loaded == "yes" else "-"
        frames = cell(r.frames) if r.loaded == "yes" else "-"
        stream.write("| %s | %s | %s | %s | %.2f | %.1f | %s |\n" % (
            cell(r.movie), cell(r.loaded), cell(r.header_frames), frames, r.seconds,
            r.peak_mib, drawn))


def write_totals(rows, stream):
    loaded = [r for r in rows if r.loaded == "yes"]
    drawn = [r for r in loaded if r.drawn]
    breaches = [r for r in rows if r.breach]
    stream.write("\nMovies: %d; loaded and converted: %d; drew something: %d; "
                 "ended outside their limits: %d\n" % (len(rows), len(loaded), len(drawn),
                                                       len(breaches)))
    if rows:
        slowest = max(rows, key=lambda r: r.seconds)
        largest = max(rows, key=lambda r: r.peak_mib)
        stream.write("Slowest: %s, %.2f s; largest memory: %s, %.1f MiB; all movies: %.1f s\n"
                     % (slowest.movie, slowest.seconds, largest.movie, largest.peak_mib,
                        sum(r.seconds for r in rows)))
    reasons = {}
    for r in rows:
        if r.loaded != "yes" and not r.breach:
            reasons[r.loaded] = reasons.get(r.loaded, 0) + 1
    for reason, count in sorted(reasons.items(), key=lambda item: (-item[1], item[0])):
        stream.write("  not converted, %d x: %s\n" % (count, reason))
    for r in breaches:
        stream.write("  OUTSIDE LIMITS: %s: %s\n" % (r.movie, r.breach))


class TimedRow:
    def __init__(self, movie):
        self.movie = movie
        self.loaded = ""       # "yes" or the reason it did not load
        self.frames = 0        # frames timed
        self.slowest = None    # index of the slowest frame
        self.slowest_ms = 0.0  # its CPU time, tick and drawing
        self.total_ms = 0.0
        self.cut = 0           # frames that hit the drawing-work budget
        self.size = ""
        self.peak_mib = 0.0
        self.breach = None


def time_movie(path, options):
    row = TimedRow(os.path.basename(path))
    run = run_limited([options.frame_timer, path, str(options.frames)], options.timeout,
                      options.memory_mb << 20)
    row.peak_mib = run.peak_kib / 1024.0
    if run.ended_badly():
        row.breach = "timeout" if run.timed_out else "signal %d" % run.signal
        row.loaded = row.breach
        return row
    try:
        result = json.loads(run.stdout)
    except ValueError:
        row.loaded = "no result (exit %s)" % run.exit_code
        return row
    if not result.get("loaded"):
        row.loaded = result.get("reason", "not loaded")
        return row
    row.loaded = "yes"
    row.frames = result["frames"]
    row.slowest = result["slowest_frame"]
    row.slowest_ms = result["slowest_ms"]
    row.total_ms = result["total_ms"]
    row.cut = result["cut"]
    row.size = "%dx%d" % (result["width"], result["height"])
    return row


def write_timed_table(rows, stream, slow_ms):
    stream.write("| Movie | Loaded | Size | Frames timed | Slowest frame | Its CPU ms | "
                 "Mean CPU ms | Cut frames | Peak MiB |\n")
    stream.write("|---|---|---|---:|---:|---:|---:|---:|---:|\n")
    for r in rows:
        ok = r.loaded == "yes"
        stream.write("| %s | %s | %s | %s | %s | %s | %s | %s | %.1f |\n" % (
            cell(r.movie), cell(r.loaded), r.size if ok else "-", r.frames if ok else "-",
            r.slowest if ok else "-", "%.1f" % r.slowest_ms if ok else "-",
            "%.1f" % (r.total_ms / r.frames) if ok and r.frames else "-",
            r.cut if ok else "-", r.peak_mib))
    loaded = [r for r in rows if r.loaded == "yes"]
    slow = [r for r in loaded if r.slowest_ms > slow_ms]
    breaches = [r for r in rows if r.breach]
    stream.write("\nMovies: %d; loaded and timed: %d; frames timed: %d; frames cut at the work "
                 "budget: %d; movies with a frame over %.0f ms of CPU: %d; ended outside their "
                 "limits: %d\n" % (len(rows), len(loaded), sum(r.frames for r in loaded),
                                   sum(r.cut for r in loaded), slow_ms, len(slow), len(breaches)))
    if loaded:
        slowest = max(loaded, key=lambda r: r.slowest_ms)
        stream.write("Slowest frame: %s, frame %d, %.1f ms; all frames: %.1f s of CPU\n" % (
            slowest.movie, slowest.slowest, slowest.slowest_ms,
            sum(r.total_ms for r in loaded) / 1000.0))
    for r in slow:
        stream.write("  SLOW: %s: frame %d, %.1f ms\n" % (r.movie, r.slowest, r.slowest_ms))
    for r in breaches:
        stream.write("  OUTSIDE LIMITS: %s: %s\n" % (r.movie, r.breach))
    return bool(slow or breaches)


def movies_in(folders):
    found = []
    for folder in folders:
        if os.path.isfile(folder):
            found.append(folder)
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if name.lower().endswith(".swf") and os.path.isfile(path):
                found.append(path)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folders", nargs="+", help="folders of movies (or movies)")
    parser.add_argument("--filmcast", default="build/filmcast")
    parser.add_argument("--frames", type=int, default=50, help="frames converted per movie")
    parser.add_argument("--timeout", type=float, default=120.0, help="seconds per command")
    parser.add_argument("--memory-mb", type=int, default=3072, help="address space per command")
    parser.add_argument("--out", help="write the table here instead of stdout")
    parser.add_argument("--frame-times", action="store_true",
                        help="time every frame's tick and drawing instead of converting")
    parser.add_argument("--frame-timer", default="build/tools/frame_times/frame_times")
    parser.add_argument("--slow-ms", type=float, default=2000.0,
                        help="a frame slower than this (CPU) counts against the run")
    options = parser.parse_args()
    tool = options.frame_timer if options.frame_times else options.filmcast
    if options.frames < 1 or not os.access(tool, os.X_OK):
        parser.error("--frames must be positive and %s an executable" % tool)
    options.filmcast = os.path.abspath(options.filmcast)
    options.frame_timer = os.path.abspath(options.frame_timer)

    movies = movies_in(options.folders)
    if options.frame_times:
        return run_frame_times(movies, options)
    rows = []
    with tempfile.TemporaryDirectory(prefix="corpus_run.") as scratch:
        for index, movie in enumerate(movies, 1):
            row = run_movie(movie, options, scratch)
            rows.append(row)
            print("[%d/%d] %s: %s, %.2f s, %.1f MiB" % (index, len(movies), row.movie,
                                                          row.loaded, row.seconds, row.peak_mib),
                  file=sys.stderr, flush=True)
    stream = open(options.out, "w") if options.out else sys.stdout
    try:
        write_table(rows, stream)
        write_totals(rows, stream)
    finally:
        if options.out:
            stream.close()
    return 1 if any(r.breach for r in rows) else 0


def run_frame_times(movies, options):
    rows = []
    for index, movie in enumerate(movies, 1):
        row = time_movie(movie, options)
        rows.append(row)
        print("[%d/%d] %s: %s, slowest frame %.1f ms" % (index, len(movies), row.movie,
                                                         row.loaded, row.slowest_ms),
              file=sys.stderr, flush=True)
    stream = open(options.out, "w") if options.out else sys.stdout
    try:
        failed = write_timed_table(rows, stream, options.slow_ms)
    finally:
        if options.out:
            stream.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
