"""What a file holds, read cheaply: PNG chunk facts and ImageMagick's view.

Used to pick corpus files (size, colour type) and to say why repng refused a
file. PNG files are read by hand because ImageMagick 6 neither reports
animation chunks nor says which colour chunks a file carries.
"""

import struct
import subprocess
import zlib
from dataclasses import dataclass, field

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
MAX_SIDE = 16384
# sRGB's own gamma (1/2.2 scaled by 100000) and how far a gAMA may stray from
# it before the picture needs the chunk to look right.
SRGB_GAMMA = 45455
GAMMA_TOLERANCE = 2000
SRGB_CHROMATICITIES = (31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)
CHROMATICITY_TOLERANCE = 1000

IDENTIFY = "/usr/bin/identify"


@dataclass
class PngFacts:
    width: int = 0
    height: int = 0
    bit_depth: int = 0
    colour_type: int = 0
    chunk_names: list = field(default_factory=list)
    damage: str = ""  # empty when the chunk structure is whole
    gamma: int | None = None
    chromaticities: tuple | None = None
    icc_profile_name: bytes | None = None

    @property
    def has_transparency_chunk(self) -> bool:
        return "tRNS" in self.chunk_names


COLOUR_TYPE_NAMES = {0: "gray", 2: "rgb", 3: "palette", 4: "gray+alpha", 6: "rgba"}


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
        elif name == "gAMA" and length == 4:
            (facts.gamma,) = struct.unpack(">I", body)
        elif name == "cHRM" and length == 32:
            facts.chromaticities = struct.unpack(">8I", body)
        elif name == "iCCP":
            facts.icc_profile_name = body.split(b"\0", 1)[0]
        offset = body_end + 4
        if name == "IEND":
            break
    if not facts.chunk_names or facts.chunk_names[0] != "IHDR":
        facts.damage = "no IHDR first"
    elif "IDAT" not in facts.chunk_names:
        facts.damage = "no image data"
    return facts


def PngRefusalReason(facts: PngFacts) -> str:
    """Why a PNG cannot come back whole through a 32-bit bitmap, or ""."""
    if facts.damage:
        return "damaged: " + facts.damage
    if "acTL" in facts.chunk_names:
        return "animation (APNG)"
    if facts.bit_depth > 8:
        return "16 bits per sample"
    if facts.width > MAX_SIDE or facts.height > MAX_SIDE:
        return "over 16384 x 16384 pixels"
    has_srgb = "sRGB" in facts.chunk_names
    if facts.icc_profile_name is not None and b"srgb" not in facts.icc_profile_name.lower():
        return "colour metadata: ICC profile"
    if (facts.gamma is not None and not has_srgb
            and abs(facts.gamma - SRGB_GAMMA) > GAMMA_TOLERANCE):
        return "colour metadata: gamma %.2f" % (100000 / max(facts.gamma, 1))
    if facts.chromaticities is not None and not has_srgb and any(
            abs(a - b) > CHROMATICITY_TOLERANCE
            for a, b in zip(facts.chromaticities, SRGB_CHROMATICITIES)):
        return "colour metadata: chromaticities"
    return ""


@dataclass
class IdentifyFacts:
    ok: bool
    frames: int = 0
    format: str = ""
    width: int = 0
    height: int = 0
    depth: int = 0
    orientation: str = ""
    has_icc: bool = False
    complaint: str = ""  # ImageMagick's first error or warning line


def Identify(path: str, decode_pixels: bool) -> IdentifyFacts:
    """ImageMagick's reading of every frame; decode_pixels also reads the
    pixel data, so damage there shows as a complaint."""
    fmt = "%m %w %h %z %[EXIF:Orientation] %[profile:icc]|\\n"
    command = [IDENTIFY]
    if not decode_pixels:
        command.append("-ping")
    command += ["-format", fmt, path]
    try:
        run = subprocess.run(command, capture_output=True, timeout=300)
    except subprocess.TimeoutExpired:
        return IdentifyFacts(ok=False, complaint="identify timed out")
    # An absent EXIF tag or profile is reported as an "unknown image property".
    complaint = next((line.strip() for line in run.stderr.decode("utf-8", "replace").splitlines()
                      if line.strip() and "unknown image property" not in line), "")
    complaint = _ShortComplaint(complaint, path)
    frames = [line for line in run.stdout.decode("utf-8", "replace").split("|\n") if line.strip()]
    if run.returncode != 0 or not frames:
        return IdentifyFacts(ok=False, complaint=complaint or "identify failed")
    first = frames[0].split(" ", 5)
    first += [""] * (6 - len(first))
    return IdentifyFacts(ok=True, frames=len(frames), format=first[0],
                         width=_Int(first[1]), height=_Int(first[2]), depth=_Int(first[3]),
                         orientation=first[4].strip(), has_icc=bool(first[5].strip()),
                         complaint=complaint)


def _ShortComplaint(line: str, path: str) -> str:
    """ImageMagick's message without its program name, the path and the
    source location it appends."""
    line = line.replace(path + ": ", "").replace(path, "the file")
    if line.startswith("identify: "):
        line = line[len("identify: "):]
    return line.split(" `", 1)[0].split(" @ ", 1)[0].strip()


def _Int(text: str) -> int:
    try:
        return int(text)
    except ValueError:
        return 0


def IdentifyRefusalReason(facts: IdentifyFacts) -> str:
    """Why a non-PNG file was refused, as far as ImageMagick can tell."""
    if not facts.ok:
        return "damaged or unknown: " + facts.complaint
    if facts.frames > 1:
        kind = "animation" if facts.format == "GIF" else "several pages"
        return "%s (%d frames)" % (kind, facts.frames)
    if facts.depth > 8:
        return "%d bits per sample" % facts.depth
    if facts.width > MAX_SIDE or facts.height > MAX_SIDE:
        return "over 16384 x 16384 pixels"
    if facts.orientation not in ("", "1", "0"):
        return "EXIF orientation " + facts.orientation
    if facts.has_icc:
        return "colour metadata: ICC profile"
    if facts.complaint and "warning" not in facts.complaint.lower():
        return "damaged: " + facts.complaint
    if facts.complaint:
        return "damaged? " + facts.complaint
    return "refused (ImageMagick sees nothing unusual)"


def RefusalReason(path: str) -> str:
    with open(path, "rb") as f:
        data = f.read()
    if IsPng(data):
        reason = PngRefusalReason(ReadPngFacts(data))
        if reason:
            return reason
    return IdentifyRefusalReason(Identify(path, decode_pixels=True))


def PixelSize(path: str) -> tuple[int, int]:
    """Width and height of the first frame; (0, 0) when unreadable."""
    with open(path, "rb") as f:
        head = f.read(64 * 1024)
    if IsPng(head) and len(head) >= 24:
        return struct.unpack(">II", head[16:24])
    facts = Identify(path, decode_pixels=False)
    return (facts.width, facts.height) if facts.ok else (0, 0)
