"""Files appear whole or not at all: each is written to a temporary file in its target folder and
renamed into place, so an interrupted study never leaves a half-written file under a real name."""
import contextlib
import os
import pathlib
import tempfile

_UMASK = os.umask(0)
os.umask(_UMASK)


@contextlib.contextmanager
def written_atomically(path):
    """Yields a temporary path beside `path` to write; renamed to `path` when the block succeeds."""
    path = pathlib.Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix=f'.{path.name}.', suffix='.part' + path.suffix, dir=path.parent)
    os.close(handle)
    try:
        yield temporary
        os.chmod(temporary, 0o666 & ~_UMASK)   # as an ordinary new file, not mkstemp's 0600
        os.replace(temporary, path)
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)


def write_file(path, data):
    """Writes bytes or text to `path` atomically."""
    with written_atomically(path) as temporary:
        mode = 'w' if isinstance(data, str) else 'wb'
        with open(temporary, mode, **({'encoding': 'utf-8'} if mode == 'w' else {})) as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
