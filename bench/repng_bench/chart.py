"""One picture of the whole run: a panel per category, each tool a point of
bytes saved against wall time, so that where repng stands shows at once.

Tools that ran on a subset of a category saved a share of other files; they
have no point there, and the panel says so.
"""

import math

import matplotlib

matplotlib.use("Agg")  # no display, and the same bytes wherever it runs
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib import ticker  # noqa: E402

from . import report  # noqa: E402

COLUMNS = 3
# Seconds worth a label on a log axis, read as plain numbers.
TIME_TICKS = [0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000]
# One look per tool, the same in every panel; repng stands out.
STYLES = {
    report.REPNG: dict(marker="*", color="#d62728", s=260, zorder=5),
    report.REPNG_ALT: dict(marker="*", color="#ff9896", s=200, zorder=4),
    report.REPNG_ONE_CORE: dict(marker="*", color="#f7b6d2", s=200, zorder=4),
    "zopflipng": dict(marker="s", color="#1f77b4"),
    "ect -9": dict(marker="D", color="#2ca02c"),
    "ect": dict(marker="d", color="#98df8a"),
    "oxipng": dict(marker="o", color="#9467bd"),
    "oxipng -t1": dict(marker="o", color="#c5b0d5"),
    "optipng": dict(marker="^", color="#8c564b"),
    "pngcrush": dict(marker="v", color="#7f7f7f"),
}
OTHER_STYLE = dict(marker="x", color="#17becf")


def Points(result: report.CategoryResult) -> dict[str, tuple[float, float]]:
    """tool -> (seconds, percent saved), for the tools that ran on every file."""
    return {tool: (t.seconds, t.saved_percent) for tool, t in result.totals.items()
            if t.whole and t.files and t.seconds > 0}


def Draw(results: list, path: str):
    rows = max(1, math.ceil(len(results) / COLUMNS))
    figure, axes = plt.subplots(rows, COLUMNS, figsize=(4.2 * COLUMNS, 3.3 * rows + 1.0),
                                squeeze=False)
    seen = {}
    for index, result in enumerate(results):
        ax = axes[index // COLUMNS][index % COLUMNS]
        points = Points(result)
        for tool, (seconds, saved) in points.items():
            style = dict(OTHER_STYLE, s=60, zorder=3)
            style.update(STYLES.get(tool, {}))
            seen[tool] = ax.scatter([seconds], [saved], label=tool, edgecolors="black",
                                    linewidths=0.5, **style)
        _TimeAxis(ax, [p[0] for p in points.values()])
        ax.set_title("%s (%d files)" % (result.category, result.totals[report.REPNG].files),
                     fontsize=11)
        ax.grid(True, which="both", color="#dddddd", linewidth=0.6)
        ax.set_axisbelow(True)
        _Pad(ax, [p[1] for p in points.values()])
        left_out = [tool for tool, t in result.totals.items() if not t.whole]
        if left_out:
            ax.text(0.02, 0.03, "%s: subset only, not shown" % ", ".join(left_out),
                    transform=ax.transAxes, fontsize=8, color="#555555")
        if index % COLUMNS == 0:
            ax.set_ylabel("bytes saved, %")
        if index >= len(results) - COLUMNS:
            ax.set_xlabel("wall time, s (log scale)")
    for index in range(len(results), rows * COLUMNS):
        axes[index // COLUMNS][index % COLUMNS].set_visible(False)
    order = [t for t in STYLES if t in seen] + sorted(t for t in seen if t not in STYLES)
    figure.legend([seen[t] for t in order], order, loc="lower center", ncol=len(order),
                  frameon=False, fontsize=10, handletextpad=0.3, columnspacing=1.2)
    figure.suptitle("Bytes saved against time, per category (higher saves more, "
                    "further left is faster)", fontsize=13)
    figure.tight_layout(rect=(0, 0.05, 1, 0.97))
    figure.savefig(path, dpi=80, metadata={"Software": None})
    plt.close(figure)


def _Pad(ax, values: list):
    """Room above and below the points, and some height when they all agree."""
    if not values:
        return
    low, high = min(values), max(values)
    margin = max((high - low) * 0.15, 0.5)
    ax.set_ylim(low - margin, high + margin)


def _TimeAxis(ax, seconds: list):
    ax.set_xscale("log")
    if seconds:
        ax.set_xlim(min(seconds) / 1.5, max(seconds) * 1.5)
    ax.xaxis.set_major_locator(ticker.FixedLocator(TIME_TICKS))
    ax.xaxis.set_major_formatter(ticker.FuncFormatter(lambda value, _: "%g" % value))
    ax.xaxis.set_minor_formatter(ticker.NullFormatter())
