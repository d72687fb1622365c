"""Totals, ratios and the verdict on the targets."""

import unittest

from repng_bench import report
from repng_bench.corpus import CorpusFile, Spread, SafeName
from repng_bench.runners import Outcome


def Result(name, original, repng_after, repng_seconds, refused=False, peers=None):
    corpus_file = CorpusFile("c", name, "pkg", name, original, 10, 10)
    outcome = Outcome(repng_after, repng_seconds, refused=refused)
    return report.FileResult(corpus_file, outcome,
                             {p: Outcome(*v) for p, v in (peers or {}).items()})


class TotalsTest(unittest.TestCase):
    def test_refused_files_leave_every_total(self):
        results = [Result("a", 100, 60, 1.0, peers={"zopflipng": (70, 4.0)}),
                   Result("b", 5000, 5000, 0.1, refused=True)]
        totals = report.Totals(results, ["zopflipng"])
        self.assertEqual((totals["repng"].files, totals["repng"].before, totals["repng"].after),
                         (1, 100, 60))
        self.assertEqual((totals["zopflipng"].files, totals["zopflipng"].before,
                          totals["zopflipng"].after), (1, 100, 70))
        self.assertAlmostEqual(totals["repng"].saved_percent, 40.0)

    def test_a_peer_missing_on_a_file_counts_as_no_saving_and_a_failure(self):
        results = [Result("a", 100, 60, 1.0), Result("b", 50, 50, 1.0, peers={"optipng": (40, 0.5)})]
        totals = report.Totals(results, ["optipng"])["optipng"]
        self.assertEqual((totals.files, totals.after, totals.failures), (2, 140, 1))
        self.assertAlmostEqual(totals.seconds, 0.5)

    def test_verdicts_compare_bytes_with_the_leaders_and_time_with_oxipng(self):
        results = [Result("a", 1000, 500, 2.0, peers={"zopflipng": (500, 30.0),
                                                   "ect -9": (490, 40.0), "oxipng": (600, 1.0)})]
        totals = report.Totals(results, ["zopflipng", "ect -9", "oxipng"])
        (verdict,) = report.Verdicts({"photo": totals})
        self.assertEqual(verdict.checks["bytes ≤ zopflipng"], (1.0, True))
        ratio, met = verdict.checks["bytes ≤ ect -9"]
        self.assertFalse(met)
        self.assertAlmostEqual(ratio, 500 / 490)
        self.assertEqual(verdict.checks["time ≤ oxipng"], (2.0, False))
        table = "\n".join(report.VerdictTable([verdict]))
        self.assertIn("| photo | met (1.000) | **not met** (1.020) | **not met** (2.000) |", table)

    def test_ratios_survive_zero_totals(self):
        results = [Result("a", 100, 100, 0.0, peers={"optipng": (100, 0.0)})]
        table = report.CategoryTable(report.Totals(results, ["optipng"]))
        self.assertIn("| optipng | 1 | 100 | 100 | 0.00% | 0.00 | 1.000 | - | 0 |", table)


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
