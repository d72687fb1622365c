"""The corpus's selection rules for the large categories."""

import os
import shutil
import tempfile
import unittest

from repng_bench import corpus
from repng_bench.corpus import Candidate, CorpusFile
from tests.test_image_facts import Png


class LargeCategoriesTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="repng-bench-test-")
        self.addCleanup(shutil.rmtree, self.dir)

    def Candidate(self, package, name, width, height, size=1_000_000):
        path = os.path.join(self.dir, package + "-" + name)
        with open(path, "wb") as f:
            f.write(Png(width=width, height=height))
        return Candidate(package, path, size)

    def test_wallpapers_are_large_pngs_within_the_caps_and_leave_the_old_caps_alone(self):
        plasma = "plasma-workspace-wallpapers"
        candidates = {plasma: [
            self.Candidate(plasma, "5k.png", 5120, 2880),
            self.Candidate(plasma, "wider-than-5k.png", 5121, 2880),
            self.Candidate(plasma, "full-hd.png", 1920, 1080),
            self.Candidate(plasma, "1200.png", 1920, 1200),
            self.Candidate(plasma, "big-file.png", 3840, 2160, size=20_000_001),
            self.Candidate(plasma, "15-mb.png", 3840, 2160, size=15_000_000),
        ], "tango-icon-theme": [self.Candidate("tango-icon-theme", "9-mb.png", 48, 48, 9 << 20),
                                self.Candidate("tango-icon-theme", "icon.png", 48, 48, 900)]}
        picks = corpus.SelectCategories(candidates)
        self.assertEqual([os.path.basename(t[0].path) for t in picks["wallpapers"]],
                         [plasma + "-" + n for n in ("5k.png", "1200.png", "15-mb.png")])
        self.assertEqual([os.path.basename(t[0].path) for t in picks["icons"]],
                         ["tango-icon-theme-icon.png"])

    def test_the_subset_spans_the_sizes_with_a_different_file_at_each(self):
        files = [CorpusFile("screenshots", "%s_%d" % (page, w), "p", page, 1, w, h)
                 for page in "abcde" for w, h, _ in corpus.SCREENS]
        self.assertEqual(corpus.PickSubset(files),
                         {"a_1920", "b_2560", "c_3840", "d_5120"})
        many_sizes = [CorpusFile("w", "f%d" % w, "p", "s", 1, w, 1000) for w in range(100, 900, 100)]
        self.assertEqual(corpus.PickSubset(many_sizes), {"f100", "f300", "f600", "f800"})


if __name__ == "__main__":
    unittest.main()
