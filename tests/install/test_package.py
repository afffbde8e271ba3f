"""The Debian package made by CPack from the build folder: its name, version, dependencies and
files. scripts/package.sh makes the same package from a Release build."""
import os
import subprocess

import pytest

from conftest import BUILD, VERSION, expected_files


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    out = tmp_path_factory.mktemp("package")
    subprocess.run([os.environ["CPACK"], "-G", "DEB", "-B", out], cwd=BUILD, check=True, stdout=subprocess.DEVNULL)
    debs = list(out.glob("*.deb"))
    assert [d.name for d in debs] == [f"digestra_{VERSION}_amd64.deb"]
    return debs[0]


def field(package, name):
    return subprocess.run(["dpkg-deb", "-f", package, name], capture_output=True, text=True,
                          check=True).stdout.strip()


def test_control_names_the_runtime_packages(package):
    assert field(package, "Package") == "digestra"
    assert field(package, "Version") == VERSION
    depends = {d.split()[0] for d in field(package, "Depends").split(", ")}
    # found by dpkg-shlibdeps in the programs
    assert depends >= {"libqt6widgets6", "libqcustomplot2.1-qt6", "libxlsxwriter4"}
    # loaded at run time, which no linker sees
    assert depends >= {"python3", "python3-numpy", "python3-scipy", "fonts-open-sans"}
    # the interpreter is linked in
    assert not any(d.startswith("libpython") for d in depends)


def test_files_are_installed_under_usr(package):
    listing = subprocess.run(["dpkg-deb", "-c", package], capture_output=True, text=True, check=True).stdout
    files = {line.split()[-1].removeprefix("./usr/") for line in listing.splitlines() if not line.startswith("d")}
    assert files >= expected_files()
