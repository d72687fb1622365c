"""The page and chart drawn from stored results, with nothing run."""

import importlib.util
import json
import os
import subprocess
import sys
import tempfile
import unittest

from repng_bench import page, report
from tests.test_report import Run

HAS_MATPLOTLIB = importlib.util.find_spec("matplotlib") is not None
COMPARE_PEERS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                             "compare_peers")
RUN_INFO = {"Date": "2026-12-08 08:11 UTC", "Benchmark": "commit abc1234"}


def Results() -> list:
    """Two categories: one with a refusal and a failed peer, one with a subset peer."""
    photo = Run({"a": 1000, "b": 50}, {"repng": (2.0, {"a": 600, "b": 50}),
                                       "oxipng": (1.0, {"a": (1000, "no PNG output")})},
                refused=["b"])
    photo.refusal_reasons["b"] = "16 bits | per sample"
    large = Run({"c": 4000, "d": 3000}, {"repng": (9.0, {"c": 3000, "d": 2000}),
                                         "zopflipng": (20.0, {"c": 3100}),
                                         "oxipng": (3.0, {"c": 3500, "d": 2900})}, subset=["c"])
    large.category = "wallpapers"
    return [report.Summarise(photo), report.Summarise(large)]


class StoredResultsTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.json_path = os.path.join(self.folder.name, "benchmark.json")

    def tearDown(self):
        self.folder.cleanup()

    def test_saved_results_draw_the_same_page_and_keep_the_raw_data(self):
        results = Results()
        raw = {"photo": {"batches": {"repng": {"seconds": 2.0}}}}
        page.Save(self.json_path, RUN_INFO, ["Transcribed."], results, raw)
        run_info, notes, loaded = page.Load(self.json_path)
        self.assertEqual((run_info, notes), (RUN_INFO, ["Transcribed."]))
        self.assertEqual(loaded, results)
        self.assertEqual(page.Render(run_info, notes, loaded, "c.png"),
                         page.Render(RUN_INFO, ["Transcribed."], results, "c.png"))
        with open(self.json_path) as f:
            categories = json.load(f)["categories"]
        self.assertEqual(categories["photo"]["raw"], raw["photo"])
        self.assertNotIn("raw", categories["wallpapers"])

    def test_the_page_says_which_run_it_shows_and_holds_every_table(self):
        text = page.Render(RUN_INFO, [], Results(), "benchmark.png")
        for expected in ["- Date: 2026-12-08 08:11 UTC", "- Benchmark: commit abc1234",
                         "![Bytes saved against time, per category](benchmark.png)",
                         "| photo | 1 | - | - | - | 0.600 | 2.000 | - | - | 2 MiB | met |",
                         "### photo: 2 files, 1 refused by repng",
                         "### wallpapers: 2 files, 0 refused by repng",
                         "| zopflipng | 1 (subset) | 4,000 | 3,100 | 22.50% | 20.00 | - | 0.968 | - | - | 0 |",
                         "| photo | b | 50 | 16 bits / per sample |",
                         "- photo / a: oxipng: no PNG output"]:
            self.assertIn(expected, text)

    def test_results_of_another_format_are_refused(self):
        with open(self.json_path, "w") as f:
            json.dump({"icons": {"batches": {}}}, f)
        with self.assertRaises(ValueError):
            page.Load(self.json_path)


@unittest.skipUnless(HAS_MATPLOTLIB, "needs python3-matplotlib")
class ChartTest(unittest.TestCase):
    def test_subset_peers_get_no_point(self):
        from repng_bench import chart
        points = chart.Points(Results()[1])
        self.assertEqual(sorted(points), ["oxipng", "repng"])
        self.assertAlmostEqual(points["repng"][1], 100.0 * 2000 / 7000)

    def test_render_only_draws_page_and_chart_beside_the_results(self):
        with tempfile.TemporaryDirectory() as folder:
            results_path = os.path.join(folder, "run.json")
            page.Save(results_path, RUN_INFO, [], Results())
            pictures = []
            for _ in range(2):
                subprocess.run([sys.executable, COMPARE_PEERS, "--render-only", results_path],
                               check=True, stdout=subprocess.DEVNULL)
                with open(os.path.join(folder, "run.png"), "rb") as f:
                    pictures.append(f.read())
            picture, again = pictures
            self.assertTrue(picture.startswith(b"\x89PNG\r\n\x1a\n"))
            self.assertEqual(picture, again)  # no date or version inside
            with open(os.path.join(folder, "run.md")) as f:
                self.assertIn("](run.png)", f.read())


if __name__ == "__main__":
    unittest.main()
