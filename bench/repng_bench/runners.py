"""Running repng and its peers over a category's files, as their users do.

Each tool gets fresh copies of the files in a folder of its own and runs once
over all of them, timed as a whole. Peers take PNG only, so the non-PNG files
first go through ImageMagick, and those conversions count in the peer's time.
Each file's result is the smaller of its original and what the tool left; a
file the tool did not leave as a whole PNG counts as no saving and is named as
a failure, and so is the invocation itself when it exits badly.
"""

import os
import resource
import shutil
import subprocess
import time
from dataclasses import dataclass, field

from . import image_facts

CONVERT = "/usr/bin/convert"  # ImageMagick itself, not a wrapper on PATH
TIME = "/usr/bin/time"
BATCH_TIMEOUT_SECONDS = 3 * 3600

# repng's report is code page 936 text.
SKIP_MARKER = "不是图片，跳过".encode("gbk")
WRITE_FAILED_MARKER = "写入失败".encode("gbk")
CRASH_MARKER = "程序崩溃".encode("gbk")
NAME_END = "，".encode("gbk")
PEAK_FILE = "peak-kib"  # no corpus name lacks "--", so this one is free


@dataclass
class Outcome:
    """One file's result."""
    bytes_after: int       # min(original, tool's output)
    failure: str = ""      # why the tool gave no usable output, if it did not
    refused: bool = False  # repng's skip line


@dataclass
class Batch:
    """One invocation of a tool over a list of files."""
    seconds: float                                # wall time of the whole invocation
    cpu_seconds: float = 0.0                      # its processes' user and system time
    outcomes: dict = field(default_factory=dict)  # file name -> Outcome, every file given
    failure: str = ""                             # the invocation's own: exit status, time-out
    peak_kib: int = 0                             # repng only


@dataclass
class Peer:
    name: str
    command: list            # argv; "{files}" is the file names, "{dir}" the output folder
    to_folder: bool = False  # writes its results into {dir}; otherwise rewrites the files


def PeerTools(oxipng: str, ect: str) -> list[Peer]:
    return [
        Peer("optipng", ["optipng", "-quiet", "{files}"]),
        Peer("oxipng -t1", [oxipng, "-q", "-t", "1", "{files}"]),
        Peer("oxipng", [oxipng, "-q", "{files}"]),
        Peer("ect", [ect, "-quiet", "{files}"]),
        Peer("ect -9", [ect, "-9", "-quiet", "{files}"]),
        # zopflipng takes several files only with a prefix for the outputs,
        # which may name a folder.
        Peer("zopflipng", ["zopflipng", "-y", "--prefix={dir}/", "{files}"], to_folder=True),
        # pngcrush's -ow takes one file (a second name becomes its output);
        # -d takes any number.
        Peer("pngcrush", ["pngcrush", "-q", "-d", "{dir}", "{files}"], to_folder=True),
    ]


def _ChildrenCpuSeconds() -> float:
    """User and system time of every child process waited for so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def _Call(argv: list, cwd: str, stdout=subprocess.DEVNULL) -> subprocess.CompletedProcess:
    return subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=subprocess.DEVNULL, timeout=BATCH_TIMEOUT_SECONDS)


def _ExitFailure(returncode: int) -> str:
    if returncode < 0:
        return "killed by signal %d" % -returncode
    return "exit status %d" % returncode if returncode else ""


def _Read(path: str) -> bytes | None:
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def _WholePngSize(data: bytes | None) -> int | None:
    """The size of data when it is a PNG with every chunk whole, else None."""
    if data is None or image_facts.ReadPngFacts(data).damage:
        return None
    return len(data)


def CopyInto(sources: list[str], work_dir: str) -> list[str]:
    """Copies the files into work_dir; returns their names there."""
    names = []
    for source in sources:
        names.append(os.path.basename(source))
        shutil.copyfile(source, os.path.join(work_dir, names[-1]))
    return names


def RunPeerBatch(peer: Peer, sources: list[str], work_dir: str) -> Batch:
    """Runs one peer once over copies of sources; work_dir must be empty."""
    names = CopyInto(sources, work_dir)
    out_dir = os.path.join(work_dir, "out")
    if peer.to_folder:
        os.mkdir(out_dir)
    png_names, failures, failure = {}, {}, ""
    start, cpu_start = time.perf_counter(), _ChildrenCpuSeconds()
    try:
        for name in names:
            with open(os.path.join(work_dir, name), "rb") as f:
                if image_facts.IsPng(f.read(8)):
                    png_names[name] = name
                    continue
            run = _Call([CONVERT, name, "-strip", "png:" + name + ".png"], work_dir)
            if run.returncode != 0 or not os.path.isfile(os.path.join(work_dir, name + ".png")):
                failures[name] = "conversion failed"
            else:
                png_names[name] = name + ".png"
        if png_names:
            argv = []
            for arg in peer.command:
                argv += list(png_names.values()) if arg == "{files}" else [arg.replace("{dir}", "out")]
            failure = _ExitFailure(_Call(argv, work_dir).returncode)
    except subprocess.TimeoutExpired:
        failure = "timed out"
    batch = Batch(time.perf_counter() - start, _ChildrenCpuSeconds() - cpu_start, failure=failure)

    for name, source in zip(names, sources):
        original = _Read(source)
        if name in failures or name not in png_names:
            batch.outcomes[name] = Outcome(len(original), failures.get(name, "not reached"))
            continue
        data = _Read(os.path.join(out_dir if peer.to_folder else work_dir, png_names[name]))
        produced = _WholePngSize(data)
        if produced is not None:
            batch.outcomes[name] = Outcome(min(len(original), produced))
        elif data == original:  # left as it was: no saving, but nothing broken
            batch.outcomes[name] = Outcome(len(original))
        else:
            batch.outcomes[name] = Outcome(len(original), "no PNG output")
    return batch


def RepngOrder(names: list[str]) -> list[str]:
    """The order repng takes its paths in: ordinal, by UTF-16 code units."""
    return sorted(names, key=lambda n: n.encode("utf-16-be"))


def SplitRepngReport(report: bytes, names: list[str]) -> dict[str, bytes]:
    """Each file's report line, found by its name in the order repng takes
    the files. A crash message on a line of its own belongs to the file in
    hand; the files after it have no line."""
    lines, order = {}, RepngOrder(names)
    for line in report.split(b"\n"):
        if len(lines) == len(order):
            break
        name = order[len(lines)]
        if line.startswith(name.encode("gbk", "replace") + NAME_END) or CRASH_MARKER in line:
            lines[name] = line.rstrip(b"\r")
    return lines


def RunRepngBatch(repng: str, sources: list[str], work_dir: str, cpus: str = "") -> Batch:
    """Runs repng once over copies of sources, as a user drops a folder's files;
    on the processors `cpus` alone (taskset's list) when given."""
    names = CopyInto(sources, work_dir)
    peak_file = os.path.join(work_dir, PEAK_FILE)
    pinned = ["taskset", "-c", cpus] if cpus else []
    start, cpu_start = time.perf_counter(), _ChildrenCpuSeconds()
    try:
        run = _Call(pinned + [TIME, "-f", "%M", "-o", peak_file, repng] + names, work_dir,
                    stdout=subprocess.PIPE)
        report, failure = run.stdout, _ExitFailure(run.returncode)
    except subprocess.TimeoutExpired as timeout:
        report, failure = timeout.stdout or b"", "timed out"
    batch = Batch(time.perf_counter() - start, _ChildrenCpuSeconds() - cpu_start, failure=failure)
    if not failure and CRASH_MARKER in report:
        batch.failure = "crash message"
    try:
        with open(peak_file) as f:
            batch.peak_kib = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        pass

    lines = SplitRepngReport(report, names)
    for name, source in zip(names, sources):
        batch.outcomes[name] = ReadRepngOutcome(lines.get(name, b""), os.path.getsize(source),
                                                os.path.join(work_dir, name))
    return batch


def ReadRepngOutcome(line: bytes, original: int, path: str) -> Outcome:
    """Judges one file from its report line and what became of it."""
    data = _Read(path) or b""
    outcome = Outcome(min(original, len(data)))
    if CRASH_MARKER in line:
        outcome.failure = "crash message"
    elif WRITE_FAILED_MARKER in line:
        outcome.failure = "write failed"
    elif SKIP_MARKER in line:
        outcome.refused = True
    elif not line.strip():
        outcome.failure = "no report line"
    if len(data) != original:
        if _WholePngSize(data) is None:
            # Never count a file repng damaged as a saving.
            outcome.failure = "rewritten, but not as a whole PNG"
            outcome.bytes_after = original
        elif len(data) > original:
            outcome.failure = "rewritten larger"
    if outcome.refused and len(data) != original:
        outcome.failure = "refused but changed"
    return outcome


def RefusalReasons(tool: str, paths: list[str]) -> dict[str, str]:
    """The decoders' own reason for each file ("accepted" when they take it),
    by file name, from the bench's tool (build/refusal_reason)."""
    if not paths:
        return {}
    run = subprocess.run([tool] + paths, stdin=subprocess.DEVNULL, capture_output=True,
                         timeout=BATCH_TIMEOUT_SECONDS, check=True)
    reasons = {}
    for line in run.stdout.decode("utf-8", "surrogateescape").splitlines():
        path, _, reason = line.rpartition("\t")
        reasons[os.path.basename(path)] = reason
    return reasons
