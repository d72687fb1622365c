"""The benchmark's page: its results kept as JSON, and the Markdown drawn
from them, so that the page and its chart can be drawn again from a stored
run without running anything.

The JSON holds, beside the run's description, each category's totals (what
the page shows) and, when the run was made here, its raw per-file results
(what bench/search_settings compares against).
"""

import json
import os

from . import report

FORMAT = 1

INTRO = """\
repng against the common PNG optimizers, on real pictures taken from Debian
packages. Each tool runs as its users run it, on fresh copies of a
category's files: one invocation over all of them (repng, oxipng, ECT,
optipng, pngcrush), or one per file where the tool takes one (zopflipng).
repng runs first, over every file; the others run on the files it accepts.
Non-PNG pictures reach the peers through ImageMagick, and that conversion
counts in their time. On the two categories of large pictures (wallpapers,
and screenshots of Debian's HTML documentation, from 1920 × 1080 to
5120 × 2880) zopflipng and ECT -9 run on a named subset of four files, and
repng runs a second time held to one processor (taskset), for its speedup
from one core to all. Processor time is user and system time of every process
a tool's run started. Bytes are exact; times vary by some tens of percent from
run to run on a shared machine.

Targets: on every category, repng's bytes at most every peer's, and its wall
time at most %g times oxipng's default (with its default threads); on the
large categories, a speedup of at least %g from one core to all. Bytes come
first.""" % (report.TIME_FACTOR, report.SPEEDUP_TARGET)


def Save(path: str, run_info: dict, notes: list, results: list, raw: dict | None = None):
    """run_info: label -> text, in the page's order; raw: category -> per-file data."""
    categories = {}
    for result in results:
        entry = {"summary": _AsDict(result)}
        if raw and result.category in raw:
            entry["raw"] = raw[result.category]
        categories[result.category] = entry
    with open(path, "w") as f:
        json.dump({"format": FORMAT, "run": run_info, "notes": notes,
                   "categories": categories}, f, indent=1, ensure_ascii=False)
        f.write("\n")


def Load(path: str) -> tuple[dict, list, list]:
    with open(path) as f:
        data = json.load(f)
    if data.get("format") != FORMAT:
        raise ValueError("%s: not a benchmark results file of format %d" % (path, FORMAT))
    results = [report.CategoryResult.FromDict(entry["summary"])
               for entry in data["categories"].values()]
    return data["run"], data.get("notes", []), results


def _AsDict(result: report.CategoryResult) -> dict:
    fields = dict(vars(result))
    fields["totals"] = {tool: dict(vars(t)) for tool, t in result.totals.items()}
    return fields


def Render(run_info: dict, notes: list, results: list, chart_file: str) -> str:
    lines = ["# Benchmark", "", INTRO, "", "## The run", ""]
    lines += ["- %s: %s" % (label, text) for label, text in run_info.items()]
    for note in notes:
        lines += ["", note]
    lines += ["", "## Summary", "",
              "Bytes saved against wall time, per category: each point is one tool "
              "over the whole category; higher saves more, further left is faster.", "",
              "![Bytes saved against time, per category](%s)" % chart_file, "",
              "repng's bytes and time divided by each peer's (below 1: repng's are "
              "fewer); the peak is the memory repng's whole batch used.", ""]
    lines += report.SummaryTable(results) + ["", "## Per category", ""]
    for result in results:
        lines += ["### %s: %d files, %d refused by repng" % (
            result.category, result.files, len(result.refusals)), ""]
        lines += report.CategoryTable(result.totals) + [""]
        lines += report.NotesLines(result) + [""]
    lines += ["## Files repng refuses on purpose (left out of every total)", ""]
    lines += report.RefusalTable(results) + [""]
    failures = report.FailureLines(results)
    if failures:
        lines += ["## Tool failures (counted as no saving)", ""] + failures + [""]
    return "\n".join(lines)


def Publish(markdown_path: str, run_info: dict, notes: list, results: list) -> str:
    """Writes the page and its chart beside it; returns the page's text."""
    from . import chart  # matplotlib is needed here only
    chart_path = os.path.splitext(markdown_path)[0] + ".png"
    chart.Draw(results, chart_path)
    text = Render(run_info, notes, results, os.path.basename(chart_path))
    with open(markdown_path, "w") as f:
        f.write(text)
    return text
