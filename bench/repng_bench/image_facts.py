"""What a file holds, read cheaply: PNG chunk facts and ImageMagick's size.

Used to pick corpus files (size, colour type) and to tell whole PNG output
from damaged. PNG files are read by hand because ImageMagick 6 does not say
which chunks a file carries. Why repng refuses a file is the decoders' to
say: see RefusalReasons in runners.py.
"""

import struct
import subprocess
import zlib
from dataclasses import dataclass, field

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

IDENTIFY = "/usr/bin/identify"


@dataclass
class PngFacts:
    width: int = 0
    height: int = 0
    bit_depth: int = 0
    colour_type: int = 0
    chunk_names: list = field(default_factory=list)
    damage: str = ""  # empty when the chunk structure is whole

    @property
    def has_transparency_chunk(self) -> bool:
        return "tRNS" in self.chunk_names


def IsPng(data: bytes) -> bool:
    return data.startswith(PNG_SIGNATURE)


def ReadPngFacts(data: bytes) -> PngFacts:
    """Walks the chunks, checking lengths and CRCs; never inflates IDAT."""
    facts = PngFacts()
    if not IsPng(data):
        facts.damage = "not a PNG signature"
        return facts
    offset = len(PNG_SIGNATURE)
    while True:
        if offset + 8 > len(data):
            facts.damage = "cut off before IEND"
            return facts
        length, name_bytes = struct.unpack(">I4s", data[offset:offset + 8])
        body_start = offset + 8
        body_end = body_start + length
        if length > 0x7FFFFFFF or body_end + 4 > len(data):
            facts.damage = "cut off inside a chunk"
            return facts
        body = data[body_start:body_end]
        (stored_crc,) = struct.unpack(">I", data[body_end:body_end + 4])
        if zlib.crc32(name_bytes + body) != stored_crc:
            facts.damage = "CRC error in " + name_bytes.decode("latin-1")
            return facts
        name = name_bytes.decode("latin-1")
        facts.chunk_names.append(name)
        if name == "IHDR" and length >= 13:
            (facts.width, facts.height, facts.bit_depth,
             facts.colour_type) = struct.unpack(">IIBB", body[:10])
        offset = body_end + 4
        if name == "IEND":
            break
    if not facts.chunk_names or facts.chunk_names[0] != "IHDR":
        facts.damage = "no IHDR first"
    elif "IDAT" not in facts.chunk_names:
        facts.damage = "no image data"
    return facts


def PixelSize(path: str) -> tuple[int, int]:
    """Width and height of the first frame; (0, 0) when unreadable."""
    with open(path, "rb") as f:
        head = f.read(64 * 1024)
    if IsPng(head) and len(head) >= 24:
        return struct.unpack(">II", head[16:24])
    try:
        run = subprocess.run([IDENTIFY, "-ping", "-format", "%w %h|", path],
                             capture_output=True, timeout=300)
    except subprocess.TimeoutExpired:
        return (0, 0)
    first = run.stdout.decode("utf-8", "replace").split("|", 1)[0].split()
    if run.returncode != 0 or len(first) != 2:
        return (0, 0)
    return (_Int(first[0]), _Int(first[1]))


def _Int(text: str) -> int:
    try:
        return int(text)
    except ValueError:
        return 0
