"""Every file the study runner reads goes through here: a regular file only (a FIFO, a device such as
/dev/zero or a folder is refused before it is opened, so nothing blocks), at most `cap` bytes (at
most cap + 1 are ever read, whatever the file claims), and TOML with its tables, lists and dotted
keys nested at most DEEPEST deep (as digestra-cli's own guard counts them) before the parser sees it."""
import hashlib
import os
import re
import stat
import tomllib

STUDY_CAP = 4 * 1024 * 1024           # bytes of a study file or a measurements CSV
RECORD_CAP = 256 * 1024 * 1024        # bytes of a file the runner wrote itself (a study's record, a run's)
RUN_FILE_CAP = 64 * 1024 * 1024       # bytes of a file a run reads (a feed schedule), as digestra-cli takes them
DEEPEST = 32


class ReadError(Exception):
    """A file that cannot or may not be read; the message names it and says why."""


def read_bytes(path, cap):
    """The bytes of the regular file at `path`, of at most `cap`; raises ReadError."""
    try:
        info = os.stat(path)
        if not stat.S_ISREG(info.st_mode):
            raise ReadError(f'{path} is not a regular file')
        if info.st_size > cap:
            raise _too_large(path, cap)
        handle = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as e:
        raise ReadError(f'cannot read {path}: {e.strerror}') from None
    try:
        if not stat.S_ISREG(os.fstat(handle).st_mode):   # replaced since it was looked at
            raise ReadError(f'{path} is not a regular file')
        chunks, size = [], 0
        while size <= cap:
            chunk = os.read(handle, min(cap + 1 - size, 1 << 20))
            if not chunk:
                break
            chunks.append(chunk)
            size += len(chunk)
    except OSError as e:
        raise ReadError(f'cannot read {path}: {e.strerror}') from None
    finally:
        os.close(handle)
    if size > cap:   # grew since it was looked at
        raise _too_large(path, cap)
    return b''.join(chunks)


def _too_large(path, cap):
    return ReadError(f'{path} is larger than {cap // (1024 * 1024)} MiB')


def sha256(path):
    """The SHA-256 of a file a run reads, or why it cannot be read now."""
    try:
        return hashlib.sha256(read_bytes(path, RUN_FILE_CAP)).hexdigest()
    except ReadError as e:
        return f'not readable: {e}'


def read_text(path, cap, encoding='utf-8'):
    try:
        return read_bytes(path, cap).decode(encoding)
    except UnicodeDecodeError as e:
        raise ReadError(f'{path} is not {encoding.removesuffix("-sig").upper()} text: {e.reason} at byte {e.start}') from None


# What the nesting count looks at: strings and comments (skipped whole), brackets, dots and what
# ends a key. Multi-line strings first; an unterminated string ends at its line's end.
_TOKENS = re.compile(r'"""(?:[^"\\]+|\\.|"(?!""))*(?:"""|$)|\'\'\'(?:[^\']+|\'(?!\'\'))*(?:\'\'\'|$)|'
                     r'"(?:[^"\\\n]+|\\.)*"?|\'[^\'\n]*\'?|#[^\n]*|[\[\]{}.=,\n]', re.S)


def nesting_problem(text):
    """Why `text` is nested too deeply to parse safely ("line N: ..."), or None."""
    line, brackets, dots = 1, 0, 0
    for token in _TOKENS.finditer(text):
        c = token.group()
        if len(c) > 1 or c in '"\'#':
            line += c.count('\n')   # of a multi-line string
            continue
        if c in '[{':
            brackets += 1
        elif c in ']}' and brackets:
            brackets -= 1
        elif c == '.':
            dots += 1
        if c in '[{]}=,\n':
            dots = 0
        if c == '\n':
            line += 1
        if brackets + dots > DEEPEST:
            return f'line {line}: keys, tables and lists nested more than {DEEPEST} deep'
    return None


def parse_toml(text):
    """The TOML document in `text`; raises ValueError (tomllib's, or the nesting) with the reason."""
    deep = nesting_problem(text)
    if deep:
        raise ValueError(deep)
    return tomllib.loads(text)
