"""Running repng and its peers on fresh copies of one file, timed.

Every tool gets its own copy. Peers take PNG only, so a non-PNG input first
goes through ImageMagick's conversion, and that conversion is part of the
peer's time. A tool that fails leaves the original as its result.
"""

import os
import shutil
import subprocess
import time
from dataclasses import dataclass

from . import image_facts

CONVERT = "/usr/bin/convert"  # ImageMagick itself, not a wrapper on PATH
TIME = "/usr/bin/time"
TOOL_TIMEOUT_SECONDS = 1200

# repng's report is code page 936 text.
SKIP_MARKER = "不是图片，跳过".encode("gbk")
WRITE_FAILED_MARKER = "写入失败".encode("gbk")
CRASH_MARKER = "程序崩溃".encode("gbk")


@dataclass
class Outcome:
    bytes_after: int     # min(original, tool's output)
    seconds: float
    failure: str = ""    # why the tool gave no usable output, if it did not
    refused: bool = False  # repng's skip line
    peak_kib: int = 0


@dataclass
class Peer:
    name: str
    command: list        # argv with {in} and {out}
    in_place: bool = False  # the tool rewrites {out}, a copy of its input


def PeerTools(oxipng: str, ect: str) -> list[Peer]:
    return [
        Peer("optipng", ["optipng", "-quiet", "-out", "{out}", "{in}"]),
        Peer("oxipng -t1", [oxipng, "-q", "-t", "1", "--out", "{out}", "{in}"]),
        Peer("oxipng", [oxipng, "-q", "--out", "{out}", "{in}"]),
        Peer("ect", [ect, "-quiet", "{out}"], in_place=True),
        Peer("ect -9", [ect, "-9", "-quiet", "{out}"], in_place=True),
        Peer("zopflipng", ["zopflipng", "-y", "{in}", "{out}"]),
        Peer("pngcrush", ["pngcrush", "-q", "{in}", "{out}"]),
    ]


def _Call(argv: list, stdout=subprocess.DEVNULL) -> subprocess.CompletedProcess:
    return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=subprocess.PIPE, timeout=TOOL_TIMEOUT_SECONDS)


def _PngSizeOrNone(path: str) -> int | None:
    """The size of path when it holds a PNG, else None."""
    try:
        with open(path, "rb") as f:
            if not image_facts.IsPng(f.read(8)):
                return None
        return os.path.getsize(path)
    except OSError:
        return None


def RunPeer(peer: Peer, source: str, work_dir: str) -> Outcome:
    """Runs one peer on source; work_dir must be empty and the peer's own."""
    original = os.path.getsize(source)
    copy = os.path.join(work_dir, "input" + os.path.splitext(source)[1])
    shutil.copyfile(source, copy)
    output = os.path.join(work_dir, "output.png")
    with open(copy, "rb") as f:
        is_png = image_facts.IsPng(f.read(8))

    failure = ""
    start = time.perf_counter()
    try:
        png_input = copy
        if not is_png:
            png_input = os.path.join(work_dir, "converted.png")
            run = _Call([CONVERT, copy, "-strip", "png:" + png_input])
            if run.returncode != 0 or not os.path.isfile(png_input):
                failure = "conversion failed"
        if not failure:
            if peer.in_place:
                if png_input == copy:
                    shutil.copyfile(copy, output)
                else:
                    os.rename(png_input, output)
            argv = [a.replace("{in}", png_input).replace("{out}", output) for a in peer.command]
            run = _Call(argv)
            if run.returncode != 0:
                failure = "exit status %d" % run.returncode
    except subprocess.TimeoutExpired:
        failure = "timed out"
    seconds = time.perf_counter() - start

    produced = None if failure else _PngSizeOrNone(output)
    if produced is None and not failure:
        failure = "no PNG output"
    after = original if produced is None else min(original, produced)
    return Outcome(after, seconds, failure)


def RunRepng(repng: str, source: str, work_dir: str) -> Outcome:
    """Runs repng on a copy of source, as a user would on one dropped file."""
    original = os.path.getsize(source)
    copy = os.path.join(work_dir, os.path.basename(source))
    shutil.copyfile(source, copy)
    peak_file = os.path.join(work_dir, "peak-kib")

    start = time.perf_counter()
    try:
        run = _Call([TIME, "-f", "%M", "-o", peak_file, repng, copy], stdout=subprocess.PIPE)
    except subprocess.TimeoutExpired:
        return Outcome(original, time.perf_counter() - start, "timed out")
    seconds = time.perf_counter() - start

    try:
        with open(peak_file) as f:
            peak_kib = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        peak_kib = 0
    return ReadRepngOutcome(run.stdout, original, copy, seconds, peak_kib)


def ReadRepngOutcome(report: bytes, original: int, path: str, seconds: float,
                     peak_kib: int) -> Outcome:
    """Judges one run from its report and what became of the file."""
    after = os.path.getsize(path)
    outcome = Outcome(min(original, after), seconds, peak_kib=peak_kib)
    if CRASH_MARKER in report:
        outcome.failure = "crash message"
    elif WRITE_FAILED_MARKER in report:
        outcome.failure = "write failed"
    elif SKIP_MARKER in report:
        outcome.refused = True
    elif not report.strip():
        outcome.failure = "no report line"
    if after != original:
        if _PngSizeOrNone(path) is None:
            # Never count a file repng damaged as a saving.
            outcome.failure = "rewritten, but not as a PNG"
            outcome.bytes_after = original
        elif after > original:
            outcome.failure = "rewritten larger"
    if outcome.refused and after != original:
        outcome.failure = "refused but changed"
    return outcome

