"""`cmake --install` into a temporary root, then the installed programs started from an empty
folder, as a desktop menu or a shell elsewhere would start them."""
import configparser
import gzip
import os
import struct
import subprocess
import time

import pytest

from conftest import BUILD, ICON_SIZES, SOURCE, VERSION, expected_files, long_options, picture_names


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    root = tmp_path_factory.mktemp("root")
    subprocess.run([os.environ["CMAKE"], "--install", BUILD, "--prefix", "/usr"],
                   env={**os.environ, "DESTDIR": str(root)}, check=True, stdout=subprocess.DEVNULL)
    return root / "usr"


@pytest.fixture
def empty_folder(tmp_path):
    folder = tmp_path / "empty"
    folder.mkdir()
    return folder


def png_size(path):
    header = path.read_bytes()[:24]
    assert header[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", header[16:24])


def test_the_tree_holds_programs_data_desktop_entry_icons_and_manual(prefix):
    installed = {str(p.relative_to(prefix)) for p in prefix.rglob("*") if not p.is_dir()}
    assert installed >= expected_files()
    for program in ("digestra", "digestra-cli"):
        assert os.access(prefix / "bin" / program, os.X_OK)
    if (SOURCE / "study/digestra-study").exists():
        study = (prefix / "bin/digestra-study").resolve()
        assert study == prefix / "share/digestra/study/digestra-study" and os.access(study, os.X_OK)

    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(prefix / "share/applications/digestra.desktop")
    desktop = entry["Desktop Entry"]
    assert desktop["Type"] == "Application"
    assert desktop["Exec"] == "digestra" and desktop["Icon"] == "digestra"
    assert desktop["Terminal"] == "false"
    assert set(desktop["Categories"].split(";")) >= {"Science", "Education"}
    assert desktop["Name"] and desktop["Comment"]

    for size in ICON_SIZES:
        assert png_size(prefix / f"share/icons/hicolor/{size}x{size}/apps/digestra.png") == (size, size)

    # each manual names every option its program has
    programs = ["digestra-cli"] + (["digestra-study"] if (SOURCE / "study/digestra-study").exists() else [])
    for program in programs:
        help_text = subprocess.run([prefix / "bin" / program, "--help"], capture_output=True, text=True,
                                   check=True).stdout
        manual = gzip.open(prefix / f"share/man/man1/{program}.1.gz", "rt").read().replace("\\-", "-")
        assert f"Digestra {VERSION}" in manual
        assert [o for o in long_options(help_text) if o not in manual] == [], program


def test_installed_cli_runs_from_an_empty_folder(prefix, empty_folder):
    version = subprocess.run([prefix / "bin/digestra-cli", "--version"], capture_output=True, text=True,
                             check=True)
    assert version.stdout == f"digestra-cli {VERSION}\n"

    run = subprocess.run([prefix / "bin/digestra-cli", "--t-end", "1", "--quiet"], cwd=empty_folder,
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    workbooks = list(empty_folder.iterdir())
    assert len(workbooks) == 1 and workbooks[0].name.startswith("results_") and workbooks[0].suffix == ".xlsx"


def test_installed_window_finds_its_pictures_from_an_empty_folder(prefix, empty_folder, tmp_path):
    log_path = tmp_path / "window.log"
    env = {**os.environ, "QT_QPA_PLATFORM": "offscreen", "QT_LOGGING_RULES": "digestra.datafiles.debug=true"}
    with open(log_path, "w") as log:
        window = subprocess.Popen([prefix / "bin/digestra"], cwd=empty_folder, env=env, stdout=log,
                                  stderr=subprocess.STDOUT)
        try:
            # the window's pictures are looked up as it is built, then the splash and the icon
            deadline = time.monotonic() + 60
            while "favicon.png" not in log_path.read_text() and window.poll() is None \
                    and time.monotonic() < deadline:
                time.sleep(0.1)
            assert window.poll() is None, log_path.read_text()
        finally:
            window.terminate()
            window.wait(timeout=10)

    lookups = [line.split(": ", 1)[1] for line in log_path.read_text().splitlines()
               if line.startswith("digestra.datafiles: ")]
    found = {}
    for line in lookups:
        assert line.startswith("found "), line
        name, path = line[len("found "):].split(" at ")
        found[name] = path
    assert sorted(name.split("/")[-1] for name in found) == picture_names()
    for name, path in found.items():
        assert path == str(prefix / "share/digestra" / name)
    assert list(empty_folder.iterdir()) == []
