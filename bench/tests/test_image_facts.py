"""PNG chunk reading, and the PNG files the other tests build."""

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
        self.assertEqual(facts.damage, "")

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
                self.assertEqual(image_facts.ReadPngFacts(data).damage, expected)

    def test_a_vast_length_field_is_damage_not_a_crash(self):
        data = Png()[:33] + struct.pack(">I", 0xFFFFFFF0) + b"IDAT"
        self.assertIn("cut off", image_facts.ReadPngFacts(data).damage)


if __name__ == "__main__":
    unittest.main()
