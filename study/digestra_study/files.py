"""Files appear whole or not at all: each is written to a temporary file in its target folder and
renamed into place, so an interrupted study never leaves a half-written file under a real name. A
file that cannot be written (a full disk) raises FileError, which names it."""
import contextlib
import os
import pathlib
import tempfile

_UMASK = os.umask(0)
os.umask(_UMASK)


class FileError(Exception):
    """A file of the study could not be written: its name and the system's reason."""

    def __init__(self, path, error):
        super().__init__(f'cannot write {path}: {getattr(error, "strerror", None) or error}')


@contextlib.contextmanager
def written_atomically(path):
    """Yields a temporary path beside `path` to write; renamed to `path` when the block succeeds."""
    path = pathlib.Path(path)
    temporary = None
    try:
        path.parent.mkdir(parents=True, exist_ok=True)
        handle, temporary = tempfile.mkstemp(prefix=f'.{path.name}.', suffix='.part' + path.suffix, dir=path.parent)
        os.close(handle)
        yield temporary
        os.chmod(temporary, 0o666 & ~_UMASK)   # as an ordinary new file, not mkstemp's 0600
        os.replace(temporary, path)
    except OSError as e:
        raise FileError(path, e) from None
    finally:
        if temporary is not None and os.path.exists(temporary):
            os.unlink(temporary)


def write_file(path, data):
    """Writes bytes or text to `path` atomically."""
    with written_atomically(path) as temporary:
        mode = 'w' if isinstance(data, str) else 'wb'
        with open(temporary, mode, **({'encoding': 'utf-8'} if mode == 'w' else {})) as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
