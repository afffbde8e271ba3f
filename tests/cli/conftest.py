"""The command line's tests run the built digestra-cli."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import builtprograms  # noqa: E402

builtprograms.require('DIGESTRA_CLI')
