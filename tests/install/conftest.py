import os
import re
import subprocess
from pathlib import Path

BUILD = Path(os.environ["DIGESTRA_BUILD_DIR"])
SOURCE = Path(os.environ["DIGESTRA_SOURCE_DIR"])
VERSION = os.environ["DIGESTRA_VERSION"]
ICON_SIZES = (16, 32, 48, 64, 128, 256)


def picture_names():
    """The pictures the program loads, as the source tree ships them."""
    return sorted(p.name for p in (SOURCE / "graphics").glob("*.png"))


def expected_files():
    """Every file the install lays out under its prefix, the study runner left aside."""
    files = {"bin/digestra", "bin/digestra-cli", "share/applications/digestra.desktop",
             "share/digestra/license.txt", "share/digestra/changelog.txt", "share/digestra/feeds/substrates.toml",
             "share/man/man1/digestra.1.gz", "share/man/man1/digestra-cli.1.gz",
             "share/doc/digestra/copyright", "share/doc/digestra/changelog.gz",
             "share/doc/digestra/guide.html"}
    files |= {f"share/digestra/graphics/{name}" for name in picture_names()}
    files |= {f"share/icons/hicolor/{s}x{s}/apps/digestra.png" for s in ICON_SIZES}
    return files


def long_options(help_text):
    return sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", help_text)) - {"--help-all"})
