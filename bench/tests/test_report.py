"""Totals, ratios and the verdict on the targets."""

import unittest

from repng_bench import report
from repng_bench.corpus import CorpusFile, Spread, SafeName
from repng_bench.runners import Batch, Outcome


def Run(sizes: dict, tools: dict, refused=(), subset=()) -> report.CategoryRun:
    """tools: name -> (seconds, {file: bytes after, or (bytes after, failure)}[, processor seconds])."""
    files = [CorpusFile("c", n, "pkg", n, b, 10, 10) for n, b in sizes.items()]
    run = report.CategoryRun("photo", files, subset=list(subset))
    for tool, (seconds, after, *cpu) in tools.items():
        outcomes = {n: Outcome(*(a if isinstance(a, tuple) else (a,))) for n, a in after.items()}
        if tool == report.REPNG:
            for n in refused:
                outcomes[n].refused = True
        run.batches[tool] = Batch(seconds, cpu[0] if cpu else 0.0, outcomes, peak_kib=2048)
    return run


class TotalsTest(unittest.TestCase):
    def test_refused_files_leave_every_total(self):
        run = Run({"a": 100, "b": 5000}, {"repng": (1.0, {"a": 60, "b": 5000}),
                                          "zopflipng": (4.0, {"a": 70})}, refused=["b"])
        totals = report.Totals(run)
        self.assertEqual([(t.files, t.before, t.after, t.whole) for t in totals.values()],
                         [(1, 100, 60, True), (1, 100, 70, True)])
        self.assertAlmostEqual(totals["repng"].saved_percent, 40.0)
        self.assertEqual(report.TimeRatio(totals, "zopflipng"), 0.25)

    def test_a_subset_peer_is_compared_on_its_own_files_and_gets_no_time_ratio(self):
        run = Run({"a": 100, "b": 1000}, {"repng": (1.0, {"a": 50, "b": 500}),
                                          "ect -9": (30.0, {"a": 40}),
                                          "oxipng": (0.5, {"a": 90, "b": (1000, "no PNG output")})},
                  subset=["a"])
        totals = report.Totals(run)
        self.assertEqual(report.BytesRatio(totals, "ect -9"), 50 / 40)
        self.assertIsNone(report.TimeRatio(totals, "ect -9"))
        self.assertEqual(report.BytesRatio(totals, "oxipng"), 550 / 1090)
        table = "\n".join(report.CategoryTable(totals))
        self.assertIn("| ect -9 | 1 (subset) | 100 | 40 | 60.00% | 30.00 | - | 1.250 | - | - | 0 |", table)
        self.assertIn("| oxipng | 2 | 1,100 | 1,090 | 0.91% | 0.50 | - | 0.505 | 2.000 | - | 1 |", table)
        notes = "\n".join(report.NotesLines(report.Summarise(run)))
        self.assertIn("ect -9 ran on a subset of 1 files only: a.", notes)
        self.assertIn("peaked at 2.0 MiB; the largest picture is b (10 × 10).", notes)

    def test_ratios_survive_zero_totals(self):
        run = Run({"a": 100}, {"repng": (0.0, {"a": 100}), "optipng": (0.0, {"a": 100})})
        table = report.CategoryTable(report.Totals(run))
        self.assertIn("| optipng | 1 | 100 | 100 | 0.00% | 0.00 | - | 1.000 | - | - | 0 |", table)


class VerdictTest(unittest.TestCase):
    def Summary(self, repng_seconds, ect_after):
        run = Run({"a": 1000}, {"repng": (repng_seconds, {"a": 500}),
                                "zopflipng": (30.0, {"a": 500}), "ect -9": (40.0, {"a": 520}),
                                "ect": (3.0, {"a": ect_after}), "oxipng": (1.0, {"a": 600}),
                                "repng alt": (1.0, {"a": 400})})
        result = report.Summarise(run)
        return report.SummaryTable([result])[-1], report.MakeVerdict("photo", result.totals)

    def test_bytes_at_most_every_peer_and_time_at_most_three_times_oxipng(self):
        row, verdict = self.Summary(3.0, 510)
        self.assertEqual(row, "| photo | 1 | 1.000 | 0.962 | 0.980 | 0.833 | 3.000 | - | - | 2 MiB | met |")
        self.assertNotIn("repng alt", verdict.bytes)  # a second build is no peer
        row, verdict = self.Summary(3.5, 490)
        self.assertTrue(row.endswith("| **missed**: bytes vs ect; time 3.50 × oxipng > 3 |"), row)
        self.assertEqual(verdict.time, (3.5, False))

    def test_processor_time_and_the_speedup_from_one_core(self):
        run = Run({"a": 1000}, {"repng": (2.0, {"a": 500}, 3.6), "repng, 1 core": (3.4, {"a": 500}, 3.4),
                                "oxipng": (1.0, {"a": 600}, 1.2)})
        result = report.Summarise(run)
        verdict = report.MakeVerdict("photo", result.totals)
        self.assertNotIn("repng, 1 core", verdict.bytes)  # the same build is no peer
        self.assertEqual(verdict.missed, ["speedup 1.70 < 1.8"])
        self.assertEqual(report.SummaryTable([result])[-1],
                         "| photo | 1 | - | - | - | 0.833 | 2.000 | 3.000 | 1.70 | 2 MiB "
                         "| **missed**: speedup 1.70 < 1.8 |")
        self.assertIn("| oxipng | 1 | 1,000 | 600 | 40.00% | 1.00 | 1.20 | 0.833 | 2.000 | 3.000 | 0 |",
                      report.CategoryTable(result.totals))
        run.batches["repng, 1 core"].seconds = 3.8
        self.assertEqual(report.MakeVerdict("photo", report.Totals(run)).missed, [])

    def test_failures_name_the_file_and_the_invocation(self):
        run = Run({"a": 10, "b": 10}, {"repng": (1.0, {"a": 5, "b": 10}),
                                       "ect": (1.0, {"a": (10, "no PNG output"), "b": 9})})
        run.batches["ect"].failure = "exit status 1"
        self.assertEqual(report.FailureLines([report.Summarise(run)]),
                         ["- photo: ect, the whole invocation: exit status 1",
                          "- photo / a: ect: no PNG output"])
        self.assertIn("| ect | 2 | 20 | 19 | 5.00% | 1.00 | - | 0.789 | 1.000 | - | 1 + exit status 1 |",
                      report.CategoryTable(report.Totals(run)))


class CorpusHelpersTest(unittest.TestCase):
    def test_spread_is_even_deterministic_and_bounded(self):
        self.assertEqual(Spread(list(range(10)), 5), [0, 2, 4, 6, 8])
        self.assertEqual(Spread([1, 2], 5), [1, 2])
        self.assertEqual(Spread(list(range(7)), 0), [])

    def test_safe_names_are_plain_ascii_and_short(self):
        name = SafeName("pkg", "/usr/share/a b/é|x.png")
        self.assertEqual(name, "pkg--usr_share_a_b___x.png")
        self.assertLessEqual(len(SafeName("p", "d/" * 100 + "x.png")), 85)


if __name__ == "__main__":
    unittest.main()
