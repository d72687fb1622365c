"""Running tools over copies: what counts as a result, a failure or a refusal."""

import os
import shutil
import stat
import tempfile
import unittest

from repng_bench import runners
from tests.test_image_facts import Chunk, Png

SMALL_PNG = Png()
PADDED_PNG = SMALL_PNG + b"\0" * 100  # whole, and larger than what the fakes write


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


class RunPeerBatchTest(Folder):
    def Run(self, shell: str, to_folder=False, sources=None):
        small = self.Write("small", SMALL_PNG)
        sources = sources or {"a.png": PADDED_PNG, "b.png": PADDED_PNG, "c.png": PADDED_PNG}
        paths = [self.Write(name, data) for name, data in sources.items()]
        command = ["sh", "-c", "small=%s; %s" % (small, shell), "fake"]
        command += ["{dir}", "{files}"] if to_folder else ["{files}"]
        batch = runners.RunPeerBatch(runners.Peer("fake", command, to_folder), paths, self.Fresh())
        for path, data in zip(paths, sources.values()):
            with open(path, "rb") as f:
                self.assertEqual(f.read(), data, "a source was touched")
        return batch

    def Summary(self, batch):
        return {n: (o.bytes_after, o.failure) for n, o in batch.outcomes.items()}, batch.failure

    def test_each_file_counts_and_one_bad_file_spoils_only_itself(self):
        saved, kept = (len(SMALL_PNG), ""), (len(PADDED_PNG), "")
        cases = [
            ("in place", False, 'for f; do cp "$small" "$f"; done',
             {"a.png": saved, "b.png": saved, "c.png": saved}, ""),
            ("to a folder", True, 'd=$1; shift; for f; do cp "$small" "$d/$f"; done',
             {"a.png": saved, "b.png": saved, "c.png": saved}, ""),
            ("left alone", False, "true", {"a.png": kept, "b.png": kept, "c.png": kept}, ""),
            ("one broken, exit 1", False,
             'for f; do cp "$small" "$f"; done; echo junk > b.png; exit 1',
             {"a.png": saved, "b.png": (len(PADDED_PNG), "no PNG output"), "c.png": saved},
             "exit status 1"),
            ("one cut short", False, 'for f; do head -c 40 "$f" > t; mv t "$f"; done',
             {n: (len(PADDED_PNG), "no PNG output") for n in "a.png b.png c.png".split()}, ""),
            ("one missing", True, 'd=$1; shift; cp "$small" "$d/a.png"; kill -9 $$',
             {"a.png": saved, "b.png": (len(PADDED_PNG), "no PNG output"),
              "c.png": (len(PADDED_PNG), "no PNG output")}, "killed by signal 9"),
        ]
        for label, to_folder, shell, outcomes, failure in cases:
            with self.subTest(label):
                self.assertEqual(self.Summary(self.Run(shell, to_folder)), (outcomes, failure))

    @unittest.skipUnless(os.access(runners.CONVERT, os.X_OK), "needs ImageMagick")
    def test_non_png_inputs_reach_the_peer_as_png(self):
        bmp = os.path.join(self.dir, "in.bmp")
        os.system("%s -size 8x8 xc:red bmp3:%s" % (runners.CONVERT, bmp))
        with open(bmp, "rb") as f:
            sources = {"x.bmp": f.read(), "a.png": PADDED_PNG, "junk.bmp": b"BM junk"}
        batch = self.Run('printf "%s\\n" "$@" > ../argv', sources=sources)
        with open(os.path.join(self.dir, "argv")) as f:
            self.assertEqual(f.read().split(), ["x.bmp.png", "a.png"])
        self.assertLess(batch.outcomes["x.bmp"].bytes_after, len(sources["x.bmp"]))
        self.assertEqual(batch.outcomes["junk.bmp"].failure, "conversion failed")


class RepngReportTest(Folder):
    def test_lines_are_found_in_repngs_order(self):
        names = ["b.png", "a.png.bak", "a.png", "A.png"]
        self.assertEqual(runners.RepngOrder(names), ["A.png", "a.png", "a.png.bak", "b.png"])
        line = {n: ("%s，原大小：1.00K，不处理。" % n).encode("gbk") for n in names}
        crash = "程序崩溃鸟~~~~".encode("gbk")
        pause = "请按任意键继续. . .".encode("gbk")
        cases = [
            (b"\r\n".join([line["A.png"], line["a.png"], line["a.png.bak"], line["b.png"], pause]),
             line),
            # The crash ends a half-printed line, or stands alone for the file in hand.
            (line["A.png"] + b"\r\n" + line["a.png"][:12] + crash + b"\r\n" + pause,
             {"A.png": line["A.png"], "a.png": line["a.png"][:12] + crash}),
            (line["A.png"] + b"\r\n" + crash + b"\r\n" + pause,
             {"A.png": line["A.png"], "a.png": crash}),
            (line["b.png"] + b"\r\n", {}),
        ]
        for report, expected in cases:
            with self.subTest(report=report):
                self.assertEqual(runners.SplitRepngReport(report, names), expected)

    def test_each_line_and_what_became_of_the_file(self):
        skip = "x.txt，不是图片，跳过。".encode("gbk")
        kept = "x.png，原大小：1.00K，不处理。".encode("gbk")
        crash = "程序崩溃鸟~~~~".encode("gbk")
        write = "x.png，原大小：1.00K，写入失败，文件未改动。".encode("gbk")
        cases = [
            # line, original size, file after, bytes_after, refused, failure
            (skip, 40, b"x" * 40, 40, True, ""),
            (kept, 40, b"x" * 40, 40, False, ""),
            (kept, 400, SMALL_PNG, len(SMALL_PNG), False, ""),
            (crash, 40, b"x" * 40, 40, False, "crash message"),
            (write, 40, b"x" * 40, 40, False, "write failed"),
            (b"", 40, b"x" * 40, 40, False, "no report line"),
            (kept, 400, b"y" * 10, 400, False, "rewritten, but not as a whole PNG"),
            (kept, 400, SMALL_PNG[:-12], 400, False, "rewritten, but not as a whole PNG"),
            (kept, 10, SMALL_PNG, 10, False, "rewritten larger"),
            (skip, 400, SMALL_PNG, len(SMALL_PNG), True, "refused but changed"),
        ]
        for line, original, after, bytes_after, refused, failure in cases:
            with self.subTest(line=line, failure=failure):
                outcome = runners.ReadRepngOutcome(line, original, self.Write("file", after))
                self.assertEqual((outcome.bytes_after, outcome.refused, outcome.failure),
                                 (bytes_after, refused, failure))

    def test_one_run_over_copies_with_its_peak(self):
        # Takes its paths in byte order, as repng does, rewrites the PNGs and
        # skips the rest; "crash" in a name stops it there.
        fake = self.Write("repng", (
            "#!/bin/sh\nsmall=%s\n"
            "for f in $(printf '%%s\\n' \"$@\" | LC_ALL=C sort); do\n"
            "  case $f in *crash*) printf '程序崩溃鸟~~~~\\r\\n'; exit 0;;\n"
            "    *.png) cp \"$small\" \"$f\"; printf '%%s，原大小：1K，新大小：1K。\\r\\n' \"$f\";;\n"
            "    *) printf '%%s，不是图片，跳过。\\r\\n' \"$f\";; esac\n"
            "done\n" % self.Write("small", SMALL_PNG)).encode("gbk"), executable=True)
        sources = [self.Write(n, PADDED_PNG) for n in ("b.png", "a.txt", "a.png")]
        batch = runners.RunRepngBatch(fake, sources, self.Fresh())
        self.assertEqual({n: (o.bytes_after, o.refused, o.failure)
                          for n, o in batch.outcomes.items()},
                         {"a.png": (len(SMALL_PNG), False, ""), "a.txt": (len(PADDED_PNG), True, ""),
                          "b.png": (len(SMALL_PNG), False, "")})
        self.assertEqual(batch.failure, "")
        self.assertGreater(batch.peak_kib, 0)

        sources.append(self.Write("a.png.crash", PADDED_PNG))
        batch = runners.RunRepngBatch(fake, sources, self.Fresh())
        self.assertEqual({n: o.failure for n, o in batch.outcomes.items()},
                         {"b.png": "no report line", "a.txt": "no report line", "a.png": "",
                          "a.png.crash": "crash message"})
        self.assertEqual(batch.failure, "crash message")
        with open(sources[0], "rb") as f:
            self.assertEqual(f.read(), PADDED_PNG)

    def test_a_pinned_run_keeps_to_its_processor_and_counts_processor_time(self):
        # Spins for a moment and says which processors it may use.
        fake = self.Write("repng", (
            "#!/bin/sh\ni=0; while [ $i -lt 20000 ]; do i=$((i+1)); done\n"
            "grep Cpus_allowed_list /proc/self/status > allowed\n").encode(), executable=True)
        work = self.Fresh()
        batch = runners.RunRepngBatch(fake, [self.Write("a.png", PADDED_PNG)], work, cpus="0")
        with open(os.path.join(work, "allowed")) as f:
            self.assertEqual(f.read().split()[-1], "0")
        self.assertGreater(batch.cpu_seconds, 0.0)
        self.assertLessEqual(batch.cpu_seconds, batch.seconds * 1.5)


# The decoders' own tool, as ctest names it, or as a plain build leaves it.
REFUSAL_REASON = os.environ.get("REPNG_REFUSAL_REASON") or os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "build", "refusal_reason")


@unittest.skipUnless(os.access(REFUSAL_REASON, os.X_OK), "no " + REFUSAL_REASON)
class RefusalReasonsTest(Folder):
    def test_the_decoders_say_why_by_file_name(self):
        files = {
            "whole.png": ("accepted", Png()),
            "deep, 16 bits.png": ("more than 8 bits per sample", Png(bit_depth=16)),
            "animated.png": ("several frames", Png(Chunk(b"acTL", b"\0\0\0\1\0\0\0\0"))),
            "gamma.png": ("gamma other than sRGB's", Png(Chunk(b"gAMA", (100000).to_bytes(4, "big")))),
            "cut.png": ("damaged", Png()[:-20]),
            "notes.txt": ("not an image", b"no picture here"),
        }
        paths = [self.Write(name, data) for name, (_, data) in files.items()]
        self.assertEqual(runners.RefusalReasons(REFUSAL_REASON, paths),
                         {name: reason for name, (reason, _) in files.items()})
        self.assertEqual(runners.RefusalReasons(REFUSAL_REASON, []), {})


if __name__ == "__main__":
    unittest.main()
