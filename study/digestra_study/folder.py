"""A study's output folder belongs to one study: a runner holds a lock on it while it writes, and
a folder whose study.toml describes other scenarios is not written into unless it is replaced."""
import fcntl
import shutil

from . import readfile
from .files import FileError, write_file

LOCK = '.digestra-study.lock'
RECORD = 'study.toml'
# What any kind of study puts there: a sweep's, then a fit's, a sensitivity, an uncertainty and an
# optimisation study's.
WRITTEN = (RECORD, 'summary.csv', 'summary.xlsx', 'plots', 'scenarios', 'runs', 'report.html', 'fit.csv', 'fit.json',
           'fitted.toml', 'indices.csv', 'indices.json', 'percentiles.csv', 'bands.csv', 'uncertainty.json',
           'optimum.csv', 'optimum.json', 'optimum.toml', 'optimum-feed.csv', 'evaluations.csv', 'pareto.csv')


class FolderRefused(Exception):
    """The output folder is in use by another runner or holds another study."""


def same_study(old, new):
    """Whether two study.toml records run the same scenarios with the same output (a new title
    does not make another study)."""
    return {k: v for k, v in old.items() if k != 'title'} == {k: v for k, v in new.items() if k != 'title'}


class StudyFolder:
    def __init__(self, path):
        self.path = path
        self._lock = None

    def claim(self, record, replace):
        """Locks the folder for this runner and writes the study's record. Raises FolderRefused
        when another runner holds it or it holds another study (unless `replace`), FileError when
        it cannot be written."""
        try:
            self.path.mkdir(parents=True, exist_ok=True)
            self._lock = open(self.path / LOCK, 'a')
        except OSError as e:
            raise FileError(self.path / LOCK, e) from None
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise FolderRefused(f'{self.path}: another digestra-study is writing into this folder') from None
        recorded = self.path / RECORD
        if recorded.exists():
            try:
                earlier = readfile.parse_toml(readfile.read_text(recorded, readfile.RECORD_CAP))
            except (readfile.ReadError, ValueError):
                earlier = {}
            if not same_study(earlier, readfile.parse_toml(record)):
                if not replace:
                    raise FolderRefused(f'{self.path} holds the results of another study; give --replace to '
                                        'replace them, or another --out')
                self._remove_earlier()
        write_file(recorded, record)

    def _remove_earlier(self):
        for name in WRITTEN:
            path = self.path / name
            try:
                if path.is_dir() and not path.is_symlink():
                    shutil.rmtree(path)
                elif path.exists() or path.is_symlink():
                    path.unlink()
            except OSError as e:
                raise FileError(path, e) from None

    def release(self):
        if self._lock is not None:
            self._lock.close()
            self._lock = None
