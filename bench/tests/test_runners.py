"""Running tools on copies: what counts as a result, a failure or a refusal."""

import os
import shutil
import stat
import tempfile
import unittest

from repng_bench import runners
from tests.test_image_facts import Png

SMALL_PNG = Png()


class Folder(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="repng-bench-test-")
        self.addCleanup(shutil.rmtree, self.dir)

    def Write(self, name: str, data: bytes, executable=False) -> str:
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        if executable:
            os.chmod(path, stat.S_IRWXU)
        return path

    def Fresh(self) -> str:
        return tempfile.mkdtemp(dir=self.dir)


class RunPeerTest(Folder):
    def Run(self, shell: str, source_data=SMALL_PNG + b"\0" * 100, in_place=False):
        source = self.Write("source.png", source_data)
        peer = runners.Peer("fake", ["sh", "-c", shell, "fake", "{in}", "{out}"], in_place)
        return runners.RunPeer(peer, source, self.Fresh()), len(source_data)

    def test_the_smaller_of_original_and_output_counts(self):
        outcome, _ = self.Run("head -c %d \"$1\" > \"$2\"" % len(SMALL_PNG))
        self.assertEqual((outcome.bytes_after, outcome.failure), (len(SMALL_PNG), ""))
        outcome, original = self.Run("cat \"$1\" \"$1\" > \"$2\"")
        self.assertEqual((outcome.bytes_after, outcome.failure), (original, ""))

    def test_failures_leave_the_original(self):
        cases = {"exit status 3": "head -c 50 \"$1\" > \"$2\"; exit 3",
                 "no PNG output": "echo not-a-png > \"$2\"",
                 "no PNG output ": "true"}
        for expected, shell in cases.items():
            with self.subTest(shell):
                outcome, original = self.Run(shell)
                self.assertEqual((outcome.bytes_after, outcome.failure), (original, expected.strip()))

    def test_in_place_peer_rewrites_a_copy_and_never_the_source(self):
        outcome, _ = self.Run("head -c %d \"$2\" > \"$2.t\" && mv \"$2.t\" \"$2\"" % len(SMALL_PNG),
                              in_place=True)
        self.assertEqual(outcome.bytes_after, len(SMALL_PNG))
        with open(os.path.join(self.dir, "source.png"), "rb") as f:
            self.assertEqual(len(f.read()), len(SMALL_PNG) + 100)

    @unittest.skipUnless(os.access(runners.CONVERT, os.X_OK), "needs ImageMagick")
    def test_non_png_input_reaches_the_peer_as_png(self):
        bmp = os.path.join(self.dir, "in.bmp")
        os.system("%s -size 8x8 xc:red bmp3:%s" % (runners.CONVERT, bmp))
        with open(bmp, "rb") as f:
            data = f.read()
        outcome, original = self.Run("cp \"$1\" \"$2\"", source_data=data)
        self.assertEqual(outcome.failure, "")
        self.assertLess(outcome.bytes_after, original)


class RepngOutcomeTest(Folder):
    def test_report_lines_and_file_changes(self):
        skip = "x.txt，不是图片，跳过。\r\n".encode("gbk")
        kept = "x.png，原大小：1.00K，不处理。\r\n".encode("gbk")
        crash = "程序崩溃鸟~~~~\r\n".encode("gbk")
        write = "x.png，原大小：1.00K，写入失败，文件未改动。\r\n".encode("gbk")
        cases = [
            # report, original size, file after, bytes_after, refused, failure
            (skip, 40, b"x" * 40, 40, True, ""),
            (kept, 40, b"x" * 40, 40, False, ""),
            (kept, 400, SMALL_PNG, len(SMALL_PNG), False, ""),
            (crash, 40, b"x" * 40, 40, False, "crash message"),
            (write, 40, b"x" * 40, 40, False, "write failed"),
            (b"", 40, b"x" * 40, 40, False, "no report line"),
            (kept, 400, b"y" * 10, 400, False, "rewritten, but not as a PNG"),
            (skip, 400, SMALL_PNG, len(SMALL_PNG), True, "refused but changed"),
        ]
        for report, original, after, bytes_after, refused, failure in cases:
            with self.subTest(report=report, failure=failure):
                path = self.Write("file", after)
                outcome = runners.ReadRepngOutcome(report, original, path, 0.5, 100)
                self.assertEqual((outcome.bytes_after, outcome.refused, outcome.failure),
                                 (bytes_after, refused, failure))

    def test_run_measures_a_copy_and_reads_the_peak(self):
        fake = self.Write("repng", b"#!/bin/sh\nprintf '%s\\r\\n' \"$1\"\n", executable=True)
        source = self.Write("a.png", SMALL_PNG)
        outcome = runners.RunRepng(fake, source, self.Fresh())
        self.assertEqual((outcome.bytes_after, outcome.refused, outcome.failure),
                         (len(SMALL_PNG), False, ""))
        self.assertGreater(outcome.peak_kib, 0)


if __name__ == "__main__":
    unittest.main()
