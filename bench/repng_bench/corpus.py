"""The benchmark corpus: real pictures taken from Debian packages.

Packages are fetched with apt-get (no install) into a cache folder outside the
tree, unpacked there, and a fixed, deterministic selection per category is
copied into cache/corpus/<category>/ with a manifest. The screenshots are made
once, by Debian's Chromium from HTML documentation that Debian packages ship,
and kept in cache/screenshots/. A later run reuses the corpus as long as the
selection rules (CORPUS_VERSION) have not changed.
"""

import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, asdict

from . import image_facts

# Bump whenever the packages or the selection rules change.
CORPUS_VERSION = 10

# Whole-run budget: a few dozen files per category, no file over these caps.
MAX_FILE_BYTES = 8 * 1024 * 1024
# zopflipng and ECT -9 need some 10 s per million pixels here, so the large
# pictures are few and at most about full HD.
MAX_PIXELS = 2_400_000
# The large categories hold pictures above 8 MiB of 32-bit pixels (1920 x 1080
# is just below), up to 5K; the slowest peers run on a subset of them only.
LARGE_CATEGORIES = ["wallpapers", "screenshots"]
LARGE_MIN_PIXELS = 8 * 1024 * 1024 // 4 + 1
LARGE_MAX_PIXELS = 5120 * 2880
LARGE_MAX_FILE_BYTES = 20_000_000
SUBSET_SIZE = 4

# Binary packages fetched with apt-get download.
DEB_PACKAGES = [
    "tango-icon-theme",       # small icons
    "adwaita-icon-theme",     # icons from 8 x 8 to 512 x 512
    "apache2-data",           # small GIF and PNG icons
    "desktop-base",           # Debian artwork: wallpapers, boot and login screens
    "sway-backgrounds",       # wallpapers
    "lomiri-wallpapers",      # a wallpaper
    "lomiri-wallpapers-20.04",# photographs
    "xplanet-images",         # satellite photographs
    "imagemagick-6-doc",      # documentation figures and photos
    "hugin-data",             # screenshots, tutorial photos
    "python-matplotlib-data", # sample data: mixed PNG colour types, a photo
    "bumprace-data",          # game art: GIF, JPEG, PNG
    "njam-data",              # game art: BMP, GIF, JPEG
    "atanks-data",            # game art: BMP
    "python3-pygame",         # example BMPs
    "checkit-tiff",           # conformance TIFFs, valid and broken
    "plasma-workspace-wallpapers",  # wallpapers up to 5120 x 2880, PNG and JPEG
    "lxqt-themes",            # wallpapers up to 3361 x 2100
    "mate-backgrounds",       # wallpapers up to 5640 x 3172
]
# HTML documentation, unpacked together into one tree so that the pages find
# their style sheets and pictures, and rendered as screenshots.
DOC_PACKAGES = ["python3.11-doc", "debian-reference-common", "debian-reference-en",
                "debian-handbook"]
SCREENSHOT_PAGES = [
    ("python3.11-doc", "usr/share/doc/python3.11/html/library/functions.html"),   # a table
    ("python3.11-doc", "usr/share/doc/python3.11/html/tutorial/controlflow.html"),  # code
    ("debian-handbook", "usr/share/doc/debian-handbook/html/en-US/sect.apt-frontends.html"),
    ("debian-handbook",  # a desktop's screenshot
     "usr/share/doc/debian-handbook/html/en-US/sect.graphical-desktops.html"),
    ("debian-reference-en", "usr/share/debian-reference/ch02.en.html"),  # a contents list
]
# Screens in pixels, each with the scale a desktop would give it.
SCREENS = [(1920, 1080, 1), (2560, 1440, 1), (3840, 2160, 2), (5120, 2880, 2)]
CHROMIUM_RELATIVE = "chromium/usr/lib/chromium/chromium"
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync"]
# libtiff's own test pictures travel only in its source package.
SOURCE_PACKAGE = "tiff"
SOURCE_TIFF_DIR = "test/images/"

CATEGORIES = ["icons", "artwork", "mixed", "gif", "photo", "tiff", "bmp"] + LARGE_CATEGORIES
IMAGE_EXTENSIONS = {".png", ".gif", ".jpg", ".jpeg", ".tif", ".tiff", ".bmp"}


@dataclass
class Candidate:
    package: str
    path: str  # absolute, inside the unpacked package
    bytes: int

    @property
    def extension(self) -> str:
        return os.path.splitext(self.path)[1].lower()


@dataclass
class CorpusFile:
    category: str
    name: str
    package: str
    source: str  # path inside the package
    bytes: int
    width: int
    height: int
    subset: bool = False  # one of the few files the slowest peers run on
    made: str = ""        # how a file that no package ships was made

    @property
    def pixels(self) -> int:
        return self.width * self.height


def Spread(items: list, count: int) -> list:
    """count items evenly spaced over the sorted list, the first included."""
    if count <= 0:
        return []
    if len(items) <= count:
        return list(items)
    step = len(items) / count
    return [items[int(i * step)] for i in range(count)]


def SafeName(package: str, relative_path: str) -> str:
    """A short ASCII file name that still says where the picture came from."""
    stem = relative_path.strip("/").replace("/", "_")
    if len(stem) > 80:
        stem = stem[-80:]
    text = package + "--" + stem
    return "".join(c if c.isascii() and (c.isalnum() or c in "._+-") else "_" for c in text)


def _Run(command: list, cwd: str) -> int:
    print("  $ " + " ".join(command), file=sys.stderr)
    return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL).returncode


def FetchAndUnpack(cache_dir: str) -> str:
    """Returns the folder holding one unpacked tree per package."""
    deb_dir = os.path.join(cache_dir, "debs")
    src_dir = os.path.join(cache_dir, "src")
    unpacked_dir = os.path.join(cache_dir, "unpacked")
    for folder in (deb_dir, src_dir, unpacked_dir):
        os.makedirs(folder, exist_ok=True)

    missing = [p for p in DEB_PACKAGES + DOC_PACKAGES
               if not glob.glob(os.path.join(deb_dir, p + "_*.deb"))]
    if missing and _Run(["apt-get", "download", "-q"] + missing, deb_dir) != 0:
        raise RuntimeError("apt-get download failed for " + " ".join(missing))
    for package in DEB_PACKAGES:
        target = os.path.join(unpacked_dir, package)
        if not os.path.isdir(target):
            deb = sorted(glob.glob(os.path.join(deb_dir, package + "_*.deb")))[-1]
            os.makedirs(target + ".part", exist_ok=True)
            subprocess.run(["dpkg-deb", "-x", deb, target + ".part"], check=True)
            os.rename(target + ".part", target)
    target = os.path.join(cache_dir, "docroot")
    if not os.path.isdir(target):
        os.makedirs(target + ".part", exist_ok=True)
        for package in DOC_PACKAGES:
            deb = sorted(glob.glob(os.path.join(deb_dir, package + "_*.deb")))[-1]
            subprocess.run(["dpkg-deb", "-x", deb, target + ".part"], check=True)
        os.rename(target + ".part", target)

    target = os.path.join(unpacked_dir, SOURCE_PACKAGE)
    if not os.path.isdir(target):
        if not glob.glob(os.path.join(src_dir, SOURCE_PACKAGE + "_*.orig.tar.*")):
            # Only the upstream tarball is needed; a missing Debian patch set
            # on the mirror is not worth failing for.
            _Run(["apt-get", "source", "--download-only", "-q", SOURCE_PACKAGE], src_dir)
        tarballs = sorted(glob.glob(os.path.join(src_dir, SOURCE_PACKAGE + "_*.orig.tar.*")))
        if not tarballs:
            raise RuntimeError("could not fetch the source of " + SOURCE_PACKAGE)
        os.makedirs(target + ".part", exist_ok=True)
        subprocess.run(["tar", "-xf", tarballs[-1], "-C", target + ".part",
                        "--wildcards", "*/" + SOURCE_TIFF_DIR + "*"], check=True)
        os.rename(target + ".part", target)
    return unpacked_dir


def ListCandidates(unpacked_dir: str) -> dict[str, list[Candidate]]:
    """Every regular picture file per package, sorted by path."""
    found = {}
    for package in sorted(os.listdir(unpacked_dir)):
        root = os.path.join(unpacked_dir, package)
        if not os.path.isdir(root) or package.endswith(".part"):
            continue
        files = []
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                if (os.path.splitext(name)[1].lower() in IMAGE_EXTENSIONS
                        and os.path.isfile(path) and not os.path.islink(path)):
                    size = os.path.getsize(path)
                    if 0 < size <= LARGE_MAX_FILE_BYTES:
                        files.append(Candidate(package, path, size))
        found[package] = sorted(files, key=lambda c: c.path)
    return found


def _Of(candidates, packages, extensions, max_bytes=MAX_FILE_BYTES):
    return [c for p in packages for c in candidates.get(p, [])
            if c.extension in extensions and c.bytes <= max_bytes]


def _WithPixels(items: list[Candidate], max_pixels=MAX_PIXELS) -> list[tuple[Candidate, int, int]]:
    sized = []
    for c in items:
        width, height = image_facts.PixelSize(c.path)
        if 0 < width * height <= max_pixels:
            sized.append((c, width, height))
    return sized


def _Large(candidates, packages, extensions) -> list[tuple[Candidate, int, int]]:
    sized = _WithPixels(_Of(candidates, packages, extensions, LARGE_MAX_FILE_BYTES),
                        LARGE_MAX_PIXELS)
    return [t for t in sized if t[1] * t[2] >= LARGE_MIN_PIXELS]


def _LargestFirst(sized, count):
    return sorted(sized, key=lambda t: (-t[1] * t[2], t[0].path))[:count]


def SelectCategories(candidates: dict[str, list[Candidate]]) -> dict[str, list[tuple]]:
    """Deterministic picks per category, each as (candidate, width, height)."""
    png = {".png"}
    picks = {}

    picks["icons"] = _WithPixels(Spread(_Of(candidates, ["tango-icon-theme"], png), 20)
                                 + Spread(_Of(candidates, ["adwaita-icon-theme"], png), 16)
                                 + Spread([c for c in _Of(candidates, ["adwaita-icon-theme"], png)
                                           if "/256x256/" in c.path or "/512x512/" in c.path], 4)
                                 + Spread(_Of(candidates, ["apache2-data"], png), 6))

    wallpapers = _WithPixels(_Of(candidates, ["desktop-base", "sway-backgrounds",
                                              "lomiri-wallpapers"], png))
    large_wallpapers = [t for t in wallpapers if t[1] * t[2] >= 300_000]
    screenshots = [t for t in _WithPixels(_Of(candidates, ["imagemagick-6-doc", "hugin-data"], png))
                   if t[1] * t[2] >= 120_000]
    # The largest wallpaper of each package, then a spread of the others.
    wallpaper_picks = [_LargestFirst([t for t in large_wallpapers if t[0].package == p], 1)[0]
                       for p in sorted({t[0].package for t in large_wallpapers})]
    wallpaper_picks += Spread([t for t in large_wallpapers if t not in wallpaper_picks],
                              max(0, 3 - len(wallpaper_picks)))
    picks["artwork"] = wallpaper_picks + _LargestFirst(screenshots, 5)

    # One bucket per PNG colour type, bit depth and transparency chunk, so
    # that every kind the encoder may meet is there.
    chosen = {t[0].path for t in picks["icons"] + picks["artwork"]}
    buckets = {}
    for c in _Of(candidates, ["python-matplotlib-data", "imagemagick-6-doc", "hugin-data",
                              "bumprace-data", "desktop-base", "apache2-data"], png):
        if c.path in chosen:
            continue
        with open(c.path, "rb") as f:
            facts = image_facts.ReadPngFacts(f.read())
        if facts.damage or not 0 < facts.width * facts.height <= MAX_PIXELS:
            continue
        key = (facts.colour_type, facts.bit_depth, facts.has_transparency_chunk)
        buckets.setdefault(key, []).append((c, facts.width, facts.height))
    picks["mixed"] = [t for key in sorted(buckets) for t in Spread(buckets[key], 4)]

    picks["gif"] = _WithPixels(Spread(_Of(candidates, ["apache2-data"], {".gif"}), 12)
                               + Spread(_Of(candidates, ["bumprace-data", "njam-data",
                                                         "hugin-data", "imagemagick-6-doc"],
                                            {".gif"}), 20))

    photos = _WithPixels(_Of(candidates, ["lomiri-wallpapers-20.04", "xplanet-images",
                                          "desktop-base", "imagemagick-6-doc", "hugin-data",
                                          "python-matplotlib-data", "njam-data", "bumprace-data"],
                             {".jpg", ".jpeg"}))
    largest_photos = _LargestFirst(photos, 3)
    rest = [t for t in photos if t not in largest_photos]
    picks["photo"] = largest_photos + Spread(rest, 5)

    tiffs = {".tif", ".tiff"}
    # Unreadable TIFFs stay in (with no size): they are what the refusals are
    # for. A broken one may claim a vast size; that is not decoded, so it stays.
    picks["tiff"] = []
    for c in (_Of(candidates, [SOURCE_PACKAGE], tiffs)
              + Spread(_Of(candidates, ["checkit-tiff"], tiffs), 16)):
        width, height = image_facts.PixelSize(c.path)
        if width * height <= MAX_PIXELS or c.package == "checkit-tiff":
            picks["tiff"].append((c, width, height))

    picks["bmp"] = _WithPixels(Spread(_Of(candidates, ["atanks-data"], {".bmp"}), 22)
                               + _Of(candidates, ["njam-data", "python3-pygame"], {".bmp"}))

    # Drawn wallpapers as PNG, spread over each package's, and the largest
    # photograph of two, since wallpapers also come as JPEG.
    picks["wallpapers"] = []
    for package, count in [("plasma-workspace-wallpapers", 8), ("lxqt-themes", 4),
                           ("mate-backgrounds", 4)]:
        picks["wallpapers"] += Spread(_Large(candidates, [package], png), count)
    for package in ["plasma-workspace-wallpapers", "mate-backgrounds"]:
        picks["wallpapers"] += _LargestFirst(_Large(candidates, [package], {".jpg", ".jpeg"}), 1)
    return picks


def PickSubset(files: list[CorpusFile], count: int = SUBSET_SIZE) -> set[str]:
    """The names of count files that span the category's sizes: one file per
    distinct pixel count (for the k-th size, the k-th of its files by name),
    evenly spaced from the smallest size to the largest."""
    one_per_size = []
    for k, pixels in enumerate(sorted({f.pixels for f in files})):
        same_size = sorted((f for f in files if f.pixels == pixels), key=lambda f: f.name)
        one_per_size.append(same_size[k % len(same_size)])
    if len(one_per_size) <= count:
        return {f.name for f in one_per_size}
    last = len(one_per_size) - 1
    return {one_per_size[round(i * last / (count - 1))].name for i in range(count)}


def ChromiumVersion(chromium: str) -> str:
    run = subprocess.run([chromium, "--version"], capture_output=True, text=True, timeout=60)
    return run.stdout.strip() or "Chromium"


def MakeScreenshots(cache_dir: str) -> list[CorpusFile]:
    """Renders every page at every screen size, once; returns them as corpus
    files whose names are their file names in cache/screenshots/."""
    chromium = os.path.join(cache_dir, CHROMIUM_RELATIVE)
    folder = os.path.join(cache_dir, "screenshots")
    docroot = os.path.join(cache_dir, "docroot")
    os.makedirs(folder, exist_ok=True)
    version = ChromiumVersion(chromium)
    made = []
    for package, page in SCREENSHOT_PAGES:
        for width, height, scale in SCREENS:
            name = SafeName(package, os.path.splitext(page)[0]) + "_%dx%d.png" % (width, height)
            path = os.path.join(folder, name)
            part = path[:-len(".png")] + ".part.png"  # Chromium picks the format by the ending
            window = "%d,%d" % (width // scale, height // scale)
            if not os.path.isfile(path):
                print("  screenshot " + name, file=sys.stderr)
                profile = tempfile.mkdtemp(prefix="repng-bench-chromium-")
                try:
                    subprocess.run([chromium] + CHROMIUM_FLAGS + [
                        "--user-data-dir=" + profile, "--window-size=" + window,
                        "--force-device-scale-factor=%d" % scale, "--screenshot=" + part,
                        "file://" + os.path.join(docroot, page)],
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL, timeout=300)
                finally:
                    shutil.rmtree(profile, ignore_errors=True)
                if not os.path.isfile(part) or image_facts.PixelSize(part) != (width, height):
                    raise RuntimeError("no %d x %d screenshot of %s" % (width, height, page))
                os.rename(part, path)
            made.append(CorpusFile(
                "screenshots", name, package, page, os.path.getsize(path), width, height,
                made="%s --screenshot of file:///%s, window %s at scale %d" % (
                    version, page, window, scale)))
    return made


def BuildCorpus(cache_dir: str) -> dict[str, list[CorpusFile]]:
    """Builds the corpus unless a current one is cached; returns its manifest."""
    corpus_dir = os.path.join(cache_dir, "corpus")
    manifest_path = os.path.join(corpus_dir, "manifest.json")
    if os.path.isfile(manifest_path):
        with open(manifest_path) as f:
            stored = json.load(f)
        if stored.get("version") == CORPUS_VERSION:
            return {cat: [CorpusFile(**entry) for entry in entries]
                    for cat, entries in stored["categories"].items()}

    print("Building the corpus in " + corpus_dir, file=sys.stderr)
    unpacked_dir = FetchAndUnpack(cache_dir)
    picks = SelectCategories(ListCandidates(unpacked_dir))
    if os.path.isdir(corpus_dir):
        shutil.rmtree(corpus_dir)
    screenshots = MakeScreenshots(cache_dir)
    manifest = {}
    for category in CATEGORIES:
        folder = os.path.join(corpus_dir, category)
        os.makedirs(folder)
        entries = []
        if category == "screenshots":
            for entry in screenshots:
                shutil.copyfile(os.path.join(cache_dir, "screenshots", entry.name),
                                os.path.join(folder, entry.name))
            entries = screenshots
        for candidate, width, height in picks.get(category, []):
            relative = os.path.relpath(candidate.path, os.path.join(unpacked_dir, candidate.package))
            name = SafeName(candidate.package, relative)
            if any(e.name == name for e in entries):
                continue
            shutil.copyfile(candidate.path, os.path.join(folder, name))
            entries.append(CorpusFile(category, name, candidate.package, relative,
                                      candidate.bytes, width, height))
        if category in LARGE_CATEGORIES:
            subset = PickSubset(entries)
            for entry in entries:
                entry.subset = entry.name in subset
            # The subset first, so that a trial with --limit 4 is the subset.
            entries.sort(key=lambda e: not e.subset)
        manifest[category] = entries
    with open(manifest_path + ".part", "w") as f:
        json.dump({"version": CORPUS_VERSION,
                   "categories": {c: [asdict(e) for e in es] for c, es in manifest.items()}},
                  f, indent=1)
    os.rename(manifest_path + ".part", manifest_path)
    return manifest
