"""The Debian packages made by CPack from the build folder: digestra (the window and the CLI) and
digestra-study (the study runner), their names, versions, dependencies and files, and what lintian
says of them. scripts/package.sh makes the same packages from a Release build."""
import gzip
import os
import shutil
import subprocess

import pytest

from conftest import BUILD, SOURCE, VERSION, expected_files

HAS_STUDY = (SOURCE / "study/digestra-study").exists()
NAMES = {"digestra": f"digestra_{VERSION}_amd64.deb"}
if HAS_STUDY:
    NAMES["digestra-study"] = f"digestra-study_{VERSION}_all.deb"
STUDY_FILES = {"bin/digestra-study", "share/digestra/study/digestra-study", "share/man/man1/digestra-study.1.gz",
               "share/doc/digestra-study/copyright", "share/doc/digestra-study/changelog.gz",
               "share/doc/digestra-study/examples/farm-feed.toml", "share/doc/digestra-study/examples/fit.toml",
               "share/doc/digestra-study/examples/plant.csv", "share/doc/digestra-study/examples/feeds/substrates.toml",
               "share/doc/digestra-study/examples/feeds/codigestion-feed.csv", "share/doc/digestra-study/examples/feeds/step-feed.toml"}


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    out = tmp_path_factory.mktemp("package")
    subprocess.run([os.environ["CPACK"], "-G", "DEB", "-B", out], cwd=BUILD, check=True, stdout=subprocess.DEVNULL)
    assert sorted(d.name for d in out.glob("*.deb")) == sorted(NAMES.values())
    return {name: out / file for name, file in NAMES.items()}


def field(package, name):
    return subprocess.run(["dpkg-deb", "-f", package, name], capture_output=True, text=True,
                          check=True).stdout.strip()


def depends(package):
    return {d.split()[0] for d in field(package, "Depends").split(", ")}


def files(package):
    listing = subprocess.run(["dpkg-deb", "-c", package], capture_output=True, text=True, check=True).stdout
    return {line.split()[5].removeprefix("./usr/") for line in listing.splitlines() if not line.startswith("d")}


def test_control_names_the_runtime_packages(packages):
    main = packages["digestra"]
    assert field(main, "Package") == "digestra"
    assert field(main, "Version") == VERSION
    # found by dpkg-shlibdeps in the programs
    assert depends(main) >= {"libqt6widgets6", "libqcustomplot2.1-qt6", "libxlsxwriter4"}
    # loaded at run time, which no linker sees
    assert depends(main) >= {"python3", "python3-numpy", "python3-scipy", "fonts-open-sans"}
    # the interpreter is linked in; the study runner's libraries are its own package's
    assert not any(d.startswith("libpython") or d in ("python3-distributed", "python3-matplotlib")
                   for d in depends(main))
    if HAS_STUDY:
        study = packages["digestra-study"]
        assert field(study, "Version") == VERSION and field(study, "Architecture") == "all"
        assert depends(study) == {"digestra", "python3", "python3-distributed", "python3-matplotlib",
                                  "python3-openpyxl", "python3-tomli-w"}
        assert f"digestra (= {VERSION})" in field(study, "Depends")


def test_files_with_their_documentation_compressed(packages, tmp_path):
    main = files(packages["digestra"])
    assert main >= expected_files()
    assert not any(f.startswith("share/digestra/study") for f in main)
    if HAS_STUDY:
        assert files(packages["digestra-study"]) >= STUDY_FILES
    for name, package in packages.items():
        unpacked = tmp_path / name
        subprocess.run(["dpkg-deb", "-x", package, unpacked], check=True)
        assert (unpacked / f"usr/share/doc/{name}/copyright").read_text().startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
        for compressed in unpacked.glob("usr/share/**/*.gz"):
            # gzip -9n: no name, no time, so every build gives the same bytes
            data = compressed.read_bytes()
            assert data[3] & 0x08 == 0 and data[4:8] == bytes(4), compressed
            gzip.decompress(data)
        assert not list(unpacked.rglob("__pycache__"))


@pytest.mark.skipif(shutil.which("lintian") is None, reason="lintian is not installed")
def test_lintian_reports_no_errors_or_warnings(packages):
    report = subprocess.run(["lintian", *packages.values()], capture_output=True, text=True, timeout=300)
    assert [line for line in report.stdout.splitlines() if line[:2] in ("E:", "W:")] == [], report.stdout
