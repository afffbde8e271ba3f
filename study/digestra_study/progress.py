"""Progress of a study on standard error: a bar redrawn in place on a terminal, otherwise one
plain line per finished scenario. Other messages during a study (the cluster's own) go through
`note`, on a line of their own, never inside the bar."""
import asyncio
import logging
import threading
import time


def clock(seconds):
    minutes, seconds = divmod(int(seconds), 60)
    hours, minutes = divmod(minutes, 60)
    return f'{hours}:{minutes:02d}:{seconds:02d}' if hours else f'{minutes}:{seconds:02d}'


class Progress:
    WIDTH = 30

    def __init__(self, total, stream):
        self.total, self.stream = total, stream
        self.done = self.failed = 0
        self.start = time.monotonic()
        self.terminal = stream.isatty()
        self._lock = threading.Lock()   # the cluster's messages come from its own thread
        if self.terminal:
            self._write(self._bar())

    def _write(self, text):
        """Writes to the stream; a stream gone (the terminal closed) ends the display, not the study."""
        with self._lock:
            try:
                self.stream.write(text)
                self.stream.flush()
            except (OSError, ValueError):
                self.terminal = False

    def update(self, scenario, outcome):
        self.done += 1
        self.failed += outcome['status'] != 'done'
        if self.terminal:
            self._write(self._bar())
        else:
            message = f': {outcome["message"]}' if outcome['message'] else ''
            self._write(f'{self.done}/{self.total} {scenario.id} {outcome["status"]}{message}\n')

    def note(self, text):
        """A message on a line of its own, the bar drawn again below it."""
        self._write(f'\r{text}\x1b[K\n{self._bar()}' if self.terminal else f'{text}\n')

    def _bar(self):
        elapsed = time.monotonic() - self.start
        filled = self.WIDTH * self.done // max(self.total, 1)
        remaining = f', {clock(elapsed / self.done * (self.total - self.done))} remaining' if self.done else ''
        return (f'\r[{"#" * filled}{"." * (self.WIDTH - filled)}] {self.done}/{self.total}, '
                f'{self.failed} not done, {clock(elapsed)} elapsed{remaining}\x1b[K')

    def stopped(self, reason=None):
        """The study stops early, because of `reason` or because it was asked to."""
        self.finish()
        self._write(f'Stopped{f": {reason}" if reason else ""}. Cancelling the running scenarios; '
                    'finished ones are kept.\n')

    def finish(self):
        if self.terminal:
            self.terminal = False
            self._write('\n')


class NoteHandler(logging.Handler):
    """Hands log records to a Progress as notes."""

    def __init__(self, progress, level):
        super().__init__(level)
        self.progress = progress

    def emit(self, record):
        # A task of the client cancelled as it closes (after its scheduler was lost) is logged
        # as an error by Dask, with nothing to say beyond that.
        if record.exc_info and isinstance(record.exc_info[1], asyncio.CancelledError):
            return
        self.progress.note(f'{record.name}: {record.getMessage()}')


class BestSoFar:
    """Runs done and the best value so far (a fit's cost, an optimum): redrawn in place on a terminal, else a line per change."""

    def __init__(self, stream, form='fit: {runs} runs, best cost {cost:.6g}'):
        self.stream, self.terminal, self.last, self.form = stream, stream.isatty(), None, form

    def __call__(self, runs, cost):
        if (runs, cost) == self.last:
            return
        self.last = (runs, cost)
        line = self.form.format(runs=runs, cost=cost)
        self.stream.write(f'\r{line}\x1b[K' if self.terminal else line + '\n')
        self.stream.flush()

    def finish(self):
        if self.terminal:
            self.stream.write('\n')


def log_through(progress, level=logging.ERROR):
    """Sends the records of every logger that writes to the terminal itself (Dask's, Tornado's),
    and of those that would fall back to Python's last-resort handler (asyncio's), through
    `progress`, those below `level` dropped."""
    handler = NoteHandler(progress, level)
    logging.getLogger().handlers = [handler]
    for logger in list(logging.Logger.manager.loggerDict.values()):
        if isinstance(logger, logging.Logger) and any(isinstance(h, logging.StreamHandler) for h in logger.handlers):
            logger.handlers = [handler]
