"""The README's packaging command, scripts/package.sh, on a clean clone of the source: it builds
what the packages install (the guide too) and makes both Debian packages."""
import os
import subprocess

from conftest import SOURCE, VERSION


def test_package_script_on_a_clean_clone(tmp_path):
    clone = tmp_path / "digestra"
    subprocess.run(["git", "clone", "-q", SOURCE, clone], check=True)
    # Paths below the clone compile to the same cache entries wherever the clone lies.
    env = dict(os.environ, CCACHE_BASEDIR=str(clone), CCACHE_NOHASHDIR="1")
    made = subprocess.run(["scripts/package.sh"], cwd=clone, env=env, capture_output=True, text=True)
    assert made.returncode == 0, made.stderr[-3000:]
    # The build's lines come first; the packages' paths close the output.
    packages = sorted(os.path.basename(line) for line in made.stdout.split() if line.endswith('.deb'))
    assert packages == [f"digestra-study_{VERSION}_all.deb", f"digestra_{VERSION}_amd64.deb"]
    listing = subprocess.run(["dpkg-deb", "-c", clone / f"build-release/digestra_{VERSION}_amd64.deb"],
                             capture_output=True, text=True, check=True).stdout
    assert "./usr/share/doc/digestra/guide.html" in listing
