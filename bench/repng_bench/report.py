"""Totals per category and tool, the tables, and the verdict on the targets.

A file that repng refuses on purpose is left out of every tool's totals, so
all tools are always compared on the same files.
"""

from dataclasses import dataclass, field

from .corpus import CorpusFile
from .runners import Outcome

REPNG = "repng"
# Byte leaders repng must match, and the speed it must match.
BYTE_TARGETS = ["zopflipng", "ect -9"]
TIME_TARGET = "oxipng"


@dataclass
class FileResult:
    file: CorpusFile
    repng: Outcome
    peers: dict = field(default_factory=dict)  # peer name -> Outcome
    refusal_reason: str = ""


@dataclass
class ToolTotals:
    files: int = 0
    before: int = 0
    after: int = 0
    seconds: float = 0.0
    failures: int = 0

    @property
    def saved_percent(self) -> float:
        return 100.0 * (self.before - self.after) / self.before if self.before else 0.0


def Totals(results: list[FileResult], tool_names: list[str]) -> dict[str, ToolTotals]:
    totals = {name: ToolTotals() for name in [REPNG] + tool_names}
    for result in results:
        if result.repng.refused:
            continue
        outcomes = {REPNG: result.repng, **result.peers}
        for name, totals_of_tool in totals.items():
            outcome = outcomes.get(name)
            totals_of_tool.files += 1
            totals_of_tool.before += result.file.bytes
            if outcome is None:  # not run: counts as no saving, no time
                totals_of_tool.after += result.file.bytes
                totals_of_tool.failures += 1
                continue
            totals_of_tool.after += outcome.bytes_after
            totals_of_tool.seconds += outcome.seconds
            totals_of_tool.failures += 1 if outcome.failure else 0
    return totals


def Ratio(numerator: float, denominator: float) -> float | None:
    return numerator / denominator if denominator > 0 else None


def _RatioText(value: float | None) -> str:
    return "-" if value is None else "%.3f" % value


def CategoryTable(totals: dict[str, ToolTotals]) -> list[str]:
    repng = totals[REPNG]
    lines = ["| tool | files | bytes before | bytes after | saved | wall s "
             "| repng ÷ tool, bytes | repng ÷ tool, time | failed |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for name, t in totals.items():
        byte_ratio = time_ratio = "-"
        if name != REPNG:
            byte_ratio = _RatioText(Ratio(repng.after, t.after))
            time_ratio = _RatioText(Ratio(repng.seconds, t.seconds))
        lines.append("| %s | %d | %s | %s | %.2f%% | %.2f | %s | %s | %d |" % (
            name, t.files, format(t.before, ","), format(t.after, ","), t.saved_percent,
            t.seconds, byte_ratio, time_ratio, t.failures))
    return lines


def PeakMemoryLine(results: list[FileResult]) -> str:
    accepted = [r for r in results if not r.repng.refused]
    if not accepted:
        return "repng peak memory: no picture accepted."
    largest = max(accepted, key=lambda r: (r.file.pixels, r.file.bytes))
    highest = max(accepted, key=lambda r: r.repng.peak_kib)
    return ("repng peak memory on the largest picture, %s (%d × %d): %.1f MiB; "
            "highest in the category: %.1f MiB." % (
                largest.file.name, largest.file.width, largest.file.height,
                largest.repng.peak_kib / 1024, highest.repng.peak_kib / 1024))


@dataclass
class Verdict:
    category: str
    checks: dict  # target label -> (ratio or None, met)


def Verdicts(per_category: dict[str, dict[str, ToolTotals]]) -> list[Verdict]:
    verdicts = []
    for category, totals in per_category.items():
        repng = totals[REPNG]
        checks = {}
        for peer in BYTE_TARGETS:
            if peer in totals:
                ratio = Ratio(repng.after, totals[peer].after)
                checks["bytes ≤ " + peer] = (ratio, repng.after <= totals[peer].after)
        if TIME_TARGET in totals:
            ratio = Ratio(repng.seconds, totals[TIME_TARGET].seconds)
            checks["time ≤ " + TIME_TARGET] = (ratio, repng.seconds <= totals[TIME_TARGET].seconds)
        verdicts.append(Verdict(category, checks))
    return verdicts


def VerdictTable(verdicts: list[Verdict]) -> list[str]:
    if not verdicts:
        return []
    labels = list(verdicts[0].checks)
    lines = ["| category | " + " | ".join(labels) + " |",
             "|---|" + "---|" * len(labels)]
    for v in verdicts:
        cells = []
        for label in labels:
            ratio, met = v.checks.get(label, (None, False))
            cells.append("%s (%s)" % ("met" if met else "**not met**", _RatioText(ratio)))
        lines.append("| %s | %s |" % (v.category, " | ".join(cells)))
    return lines


def RefusalTable(per_category: dict[str, list[FileResult]]) -> list[str]:
    refused = [(c, r) for c, rs in per_category.items() for r in rs if r.repng.refused]
    if not refused:
        return ["No file was refused."]
    lines = ["| category | file | bytes | reason |", "|---|---|---:|---|"]
    for category, r in refused:
        lines.append("| %s | %s | %s | %s |" % (category, r.file.name, format(r.file.bytes, ","),
                                                 r.refusal_reason.replace("|", "/")))
    return lines


def FailureLines(per_category: dict[str, list[FileResult]]) -> list[str]:
    lines = []
    for category, results in per_category.items():
        for r in results:
            outcomes = {REPNG: r.repng, **r.peers}
            for name, outcome in outcomes.items():
                if outcome.failure:
                    lines.append("- %s / %s: %s: %s" % (category, r.file.name, name, outcome.failure))
    return lines
