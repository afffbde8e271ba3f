"""Where the Python tests find the built programs: the paths ctest gives them (DIGESTRA_CLI,
DIGESTRA_GUIDE), else those of the build folder beside the source (DIGESTRA_BUILD_DIR, by default
build/, where scripts/test.sh builds). A program that is not there stops the tests with the
reason: they never skip for want of it."""
import os
import pathlib

import pytest

SOURCE = pathlib.Path(__file__).resolve().parents[1]
BUILT = {'DIGESTRA_CLI': 'cli/digestra-cli', 'DIGESTRA_GUIDE': 'share/doc/digestra/guide.html'}


def require(*names):
    """Sets each of `names` (keys of BUILT) in the environment to the built file; stops the test
    session when one is missing."""
    build = pathlib.Path(os.environ.get('DIGESTRA_BUILD_DIR', SOURCE / 'build'))
    for name in names:
        path = pathlib.Path(os.environ.get(name) or build / BUILT[name])
        if not path.is_file():
            pytest.exit(f'{name}: no {path}; build the project (scripts/test.sh) or name the file in {name}',
                        returncode=pytest.ExitCode.USAGE_ERROR)
        os.environ[name] = str(path)
