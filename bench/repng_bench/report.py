"""Totals per category and tool, the tables, and the verdict on the targets.

A file that repng refuses on purpose is left out of every tool's totals. The
slowest peers may run on a named subset of a category only; their byte ratios
then compare repng's bytes on those same files, and they get no time ratio.
"""

from dataclasses import dataclass, field

REPNG = "repng"
REPNG_ALT = "repng alt"  # a second build, measured beside the first
REPNG_ONE_CORE = "repng, 1 core"  # the same build held to one processor
REPNG_RUNS = (REPNG, REPNG_ALT, REPNG_ONE_CORE)
# The summary's byte columns, and the speed repng is held to.
SUMMARY_PEERS = ["zopflipng", "ect -9", "ect", "oxipng"]
TIME_TARGET = "oxipng"
TIME_FACTOR = 3.0
# repng's wall time on one processor over its time on all of them, where the
# one-processor run was made (the large categories).
SPEEDUP_TARGET = 1.8


@dataclass
class CategoryRun:
    category: str
    files: list                                        # CorpusFile, as given to repng
    batches: dict = field(default_factory=dict)        # tool -> runners.Batch, repng first
    refusal_reasons: dict = field(default_factory=dict)  # name -> why repng refused it
    subset: list = field(default_factory=list)         # names the slowest peers ran on

    def Refused(self) -> set:
        return {n for n, o in self.batches[REPNG].outcomes.items() if o.refused}

    def Accepted(self) -> list[str]:
        refused = self.Refused()
        return [f.name for f in self.files if f.name not in refused]


@dataclass
class ToolTotals:
    files: int = 0
    before: int = 0
    after: int = 0
    repng_after: int = 0  # repng's bytes on the same files
    seconds: float = 0.0  # the whole invocation
    cpu_seconds: float = 0.0  # its processes' processor time; 0 in runs that did not measure it
    failures: int = 0     # files without a usable result
    batch_failure: str = ""
    whole: bool = True    # ran on every file repng accepted

    @property
    def saved_percent(self) -> float:
        return 100.0 * (self.before - self.after) / self.before if self.before else 0.0


def Totals(run: CategoryRun) -> dict[str, ToolTotals]:
    sizes = {f.name: f.bytes for f in run.files}
    refused = run.Refused()
    accepted = set(run.Accepted())
    repng = run.batches[REPNG].outcomes
    totals = {}
    for tool, batch in run.batches.items():
        names = [n for n in batch.outcomes if n not in refused]
        totals[tool] = ToolTotals(
            files=len(names), before=sum(sizes[n] for n in names),
            after=sum(batch.outcomes[n].bytes_after for n in names),
            repng_after=sum(repng[n].bytes_after for n in names), seconds=batch.seconds,
            cpu_seconds=batch.cpu_seconds,
            failures=sum(1 for n in names if batch.outcomes[n].failure),
            batch_failure=batch.failure, whole=set(names) == accepted)
    return totals


def Ratio(numerator: float, denominator: float) -> float | None:
    return numerator / denominator if denominator > 0 else None


def BytesRatio(totals: dict[str, ToolTotals], tool: str) -> float | None:
    t = totals.get(tool)
    return Ratio(t.repng_after, t.after) if t and t.files else None


def TimeRatio(totals: dict[str, ToolTotals], tool: str) -> float | None:
    t = totals.get(tool)
    return Ratio(totals[REPNG].seconds, t.seconds) if t and t.whole else None


def CpuRatio(totals: dict[str, ToolTotals], tool: str) -> float | None:
    t = totals.get(tool)
    return Ratio(totals[REPNG].cpu_seconds, t.cpu_seconds) if t and t.whole else None


def Speedup(totals: dict[str, ToolTotals]) -> float | None:
    """repng's wall time on one processor over its time on all of them."""
    one = totals.get(REPNG_ONE_CORE)
    return Ratio(one.seconds, totals[REPNG].seconds) if one and one.whole else None


def _RatioText(value: float | None) -> str:
    return "-" if value is None else "%.3f" % value


def CategoryTable(totals: dict[str, ToolTotals]) -> list[str]:
    lines = ["| tool | files | bytes before | bytes after | saved | wall s | processor s "
             "| repng ÷ tool, bytes | repng ÷ tool, time | repng ÷ tool, processor | failed |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for name, t in totals.items():
        byte_ratio = time_ratio = cpu_ratio = "-"
        if name != REPNG:
            byte_ratio = _RatioText(BytesRatio(totals, name))
            time_ratio = _RatioText(TimeRatio(totals, name))
            cpu_ratio = _RatioText(CpuRatio(totals, name))
        files = "%d%s" % (t.files, "" if t.whole else " (subset)")
        failed = "%d%s" % (t.failures, " + " + t.batch_failure if t.batch_failure else "")
        lines.append("| %s | %s | %s | %s | %.2f%% | %.2f | %s | %s | %s | %s | %s |" % (
            name, files, format(t.before, ","), format(t.after, ","), t.saved_percent,
            t.seconds, "%.2f" % t.cpu_seconds if t.cpu_seconds else "-", byte_ratio, time_ratio,
            cpu_ratio, failed))
    return lines


@dataclass
class CategoryResult:
    """A category's run reduced to what the page shows; kept as JSON, so
    that the page can be drawn again without running anything."""
    category: str
    files: int                                      # given to repng
    totals: dict                                    # tool -> ToolTotals, repng first
    peak_kib: dict = field(default_factory=dict)    # repng build -> its batch's peak
    largest: list = field(default_factory=list)     # [name, width, height], accepted files
    subset: list = field(default_factory=list)      # names the slowest peers ran on
    refusals: list = field(default_factory=list)    # [name, bytes, reason]
    failures: list = field(default_factory=list)    # [tool, file or "" for the invocation, why]

    @staticmethod
    def FromDict(data: dict) -> "CategoryResult":
        fields = dict(data)
        fields["totals"] = {tool: ToolTotals(**t) for tool, t in data["totals"].items()}
        return CategoryResult(**fields)


def Summarise(run: CategoryRun) -> CategoryResult:
    refused = run.Refused()
    accepted = [f for f in run.files if f.name not in refused]
    largest = max(accepted, key=lambda f: (f.pixels, f.bytes), default=None)
    failures = []
    for tool, batch in run.batches.items():
        if batch.failure:
            failures.append([tool, "", batch.failure])
        failures += [[tool, name, o.failure] for name, o in batch.outcomes.items() if o.failure]
    return CategoryResult(
        run.category, len(run.files), Totals(run),
        peak_kib={t: run.batches[t].peak_kib for t in (REPNG, REPNG_ALT) if t in run.batches},
        largest=[largest.name, largest.width, largest.height] if largest else [],
        subset=list(run.subset),
        refusals=[[f.name, f.bytes, run.refusal_reasons.get(f.name, "")]
                  for f in run.files if f.name in refused],
        failures=failures)


def NotesLines(result: CategoryResult) -> list[str]:
    """What the table cannot say: the one process's peak, and the subset."""
    lines = ["- repng ran once over all %d files (the peers over the %d it accepted) "
             "and peaked at %.1f MiB." % (result.files, result.files - len(result.refusals),
                                           result.peak_kib.get(REPNG, 0) / 1024)]
    if result.largest:
        lines[0] = lines[0][:-1] + "; the largest picture is %s (%d × %d)." % tuple(result.largest)
    if REPNG_ALT in result.peak_kib:
        lines.append("- repng alt peaked at %.1f MiB." % (result.peak_kib[REPNG_ALT] / 1024))
    partial = [name for name, t in result.totals.items() if not t.whole]
    if partial:
        lines.append("- %s ran on a subset of %d files only: %s. Their byte ratios compare "
                     "repng's bytes on those files; they get no time ratio." % (
                         " and ".join(partial), result.totals[partial[0]].files,
                         ", ".join(result.subset)))
    return lines


@dataclass
class Verdict:
    category: str
    bytes: dict          # peer -> (repng ÷ peer, met)
    time: tuple | None   # (repng ÷ oxipng, met), or None when oxipng did not run
    speedup: tuple | None = None  # (one processor ÷ all, met), where it was measured

    @property
    def missed(self) -> list[str]:
        beaten = [peer for peer, (_, met) in self.bytes.items() if not met]
        missed = ["bytes vs " + ", ".join(beaten)] if beaten else []
        if self.time and not self.time[1]:
            missed.append("time %.2f × %s > %g" % (self.time[0], TIME_TARGET, TIME_FACTOR))
        if self.speedup and not self.speedup[1]:
            missed.append("speedup %.2f < %g" % (self.speedup[0], SPEEDUP_TARGET))
        return missed


def MakeVerdict(category: str, totals: dict[str, ToolTotals]) -> Verdict:
    """bytes at most every peer's; time at most TIME_FACTOR × oxipng's."""
    checks = {}
    for name, t in totals.items():
        if name not in REPNG_RUNS and t.files:
            checks[name] = (BytesRatio(totals, name), t.repng_after <= t.after)
    ratio = TimeRatio(totals, TIME_TARGET)
    time = None if ratio is None else (ratio, ratio <= TIME_FACTOR)
    speedup = Speedup(totals)
    return Verdict(category, checks, time,
                   None if speedup is None else (speedup, speedup >= SPEEDUP_TARGET))


def SummaryTable(results: list[CategoryResult]) -> list[str]:
    lines = ["| category | files | bytes ÷ zopflipng | ÷ ECT -9 | ÷ ECT | ÷ oxipng "
             "| time ÷ oxipng | processor ÷ oxipng | speedup, 1 core → all | repng peak | verdict |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
    for result in results:
        t = result.totals
        cells = []
        for peer in SUMMARY_PEERS:
            text = _RatioText(BytesRatio(t, peer))
            cells.append(text + (" (subset)" if peer in t and not t[peer].whole else ""))
        missed = MakeVerdict(result.category, t).missed
        cpu = CpuRatio(t, TIME_TARGET) if t[REPNG].cpu_seconds else None
        speedup = Speedup(t)
        lines.append("| %s | %d | %s | %s | %s | %s | %.0f MiB | %s |" % (
            result.category, t[REPNG].files, " | ".join(cells),
            _RatioText(TimeRatio(t, TIME_TARGET)), _RatioText(cpu),
            "-" if speedup is None else "%.2f" % speedup, result.peak_kib.get(REPNG, 0) / 1024,
            "**missed**: " + "; ".join(missed) if missed else "met"))
    return lines


def RefusalTable(results: list[CategoryResult]) -> list[str]:
    lines = ["| category | file | bytes | reason |", "|---|---|---:|---|"]
    for result in results:
        for name, size, reason in result.refusals:
            lines.append("| %s | %s | %s | %s |" % (
                result.category, name, format(size, ","), reason.replace("|", "/")))
    return lines if len(lines) > 2 else ["No file was refused."]


def FailureLines(results: list[CategoryResult]) -> list[str]:
    lines = []
    for result in results:
        for tool, name, why in result.failures:
            if name:
                lines.append("- %s / %s: %s: %s" % (result.category, name, tool, why))
            else:
                lines.append("- %s: %s, the whole invocation: %s" % (result.category, tool, why))
    return lines
