"""PNG chunk reading and the refusal reasons built on it."""

import struct
import unittest
import zlib

from repng_bench import image_facts


def Chunk(name: bytes, body: bytes) -> bytes:
    return struct.pack(">I", len(body)) + name + body + struct.pack(">I", zlib.crc32(name + body))


def Png(*extra_chunks: bytes, bit_depth=8, colour_type=6, width=2, height=1) -> bytes:
    header = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    return (image_facts.PNG_SIGNATURE + Chunk(b"IHDR", header) + b"".join(extra_chunks)
            + Chunk(b"IDAT", zlib.compress(b"\0" * 9)) + Chunk(b"IEND", b""))


class PngFactsTest(unittest.TestCase):
    def test_whole_file_gives_header_and_chunk_list(self):
        facts = image_facts.ReadPngFacts(Png(Chunk(b"tRNS", b"\0\0"), colour_type=3, bit_depth=4))
        self.assertEqual((facts.width, facts.height, facts.bit_depth, facts.colour_type),
                         (2, 1, 4, 3))
        self.assertEqual(facts.chunk_names, ["IHDR", "tRNS", "IDAT", "IEND"])
        self.assertTrue(facts.has_transparency_chunk)
        self.assertEqual(image_facts.PngRefusalReason(facts), "")

    def test_damage_is_found_and_named(self):
        whole = Png()
        flipped = bytearray(whole)
        flipped[43] ^= 1  # inside the IDAT body
        cases = {
            "CRC error in IDAT": bytes(flipped),
            "cut off inside a chunk": whole[:-20],
            "cut off before IEND": whole[:-12],
            "not a PNG signature": b"GIF89a" + whole[6:],
        }
        for expected, data in cases.items():
            with self.subTest(expected):
                reason = image_facts.PngRefusalReason(image_facts.ReadPngFacts(data))
                self.assertEqual(reason, "damaged: " + expected)

    def test_a_vast_length_field_is_damage_not_a_crash(self):
        data = Png()[:33] + struct.pack(">I", 0xFFFFFFF0) + b"IDAT"
        self.assertIn("cut off", image_facts.ReadPngFacts(data).damage)

    def test_reasons_for_pictures_that_cannot_come_back_whole(self):
        srgb_chromaticities = struct.pack(">8I", *image_facts.SRGB_CHROMATICITIES)
        cases = [
            (Png(Chunk(b"acTL", b"\0" * 8)), "animation (APNG)"),
            (Png(bit_depth=16), "16 bits per sample"),
            (Png(Chunk(b"iCCP", b"Display P3\0\0xx")), "colour metadata: ICC profile"),
            (Png(Chunk(b"iCCP", b"sRGB IEC61966-2.1\0\0xx")), ""),
            (Png(Chunk(b"gAMA", struct.pack(">I", 100000))), "colour metadata: gamma 1.00"),
            (Png(Chunk(b"gAMA", struct.pack(">I", 45455))), ""),
            (Png(Chunk(b"sRGB", b"\0"), Chunk(b"gAMA", struct.pack(">I", 100000))), ""),
            (Png(Chunk(b"cHRM", srgb_chromaticities)), ""),
            (Png(Chunk(b"cHRM", struct.pack(">8I", *([20000] * 8)))),
             "colour metadata: chromaticities"),
            (Png(width=16385), "over 16384 x 16384 pixels"),
        ]
        for data, expected in cases:
            with self.subTest(expected or "accepted"):
                self.assertEqual(image_facts.PngRefusalReason(image_facts.ReadPngFacts(data)),
                                 expected)


class IdentifyReasonTest(unittest.TestCase):
    def test_complaints_lose_program_path_and_source_location(self):
        line = ("identify: /c/x.tif: Can not read TIFF directory count. "
                "`TIFFFetchDirectory' @ error/tiff.c/TIFFErrors/603.")
        self.assertEqual(image_facts._ShortComplaint(line, "/c/x.tif"),
                         "Can not read TIFF directory count.")

    def test_reasons_in_order_of_importance(self):
        Facts = image_facts.IdentifyFacts
        cases = [
            (Facts(ok=False, complaint="improper image header"),
             "damaged or unknown: improper image header"),
            (Facts(ok=True, frames=3, format="GIF", depth=8), "animation (3 frames)"),
            (Facts(ok=True, frames=2, format="TIFF", depth=16), "several pages (2 frames)"),
            (Facts(ok=True, frames=1, format="TIFF", depth=16), "16 bits per sample"),
            (Facts(ok=True, frames=1, format="JPEG", depth=8, orientation="6"),
             "EXIF orientation 6"),
            (Facts(ok=True, frames=1, format="JPEG", depth=8, orientation="1", has_icc=True),
             "colour metadata: ICC profile"),
            (Facts(ok=True, frames=1, format="JPEG", depth=8, complaint="Corrupt JPEG data"),
             "damaged: Corrupt JPEG data"),
        ]
        for facts, expected in cases:
            with self.subTest(expected):
                self.assertEqual(image_facts.IdentifyRefusalReason(facts), expected)


if __name__ == "__main__":
    unittest.main()
