"""Progress of a study on standard error: a bar redrawn in place on a terminal, otherwise one
plain line per finished scenario."""
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
        if self.terminal:
            self._draw()

    def update(self, scenario, outcome):
        self.done += 1
        self.failed += outcome['status'] != 'done'
        if self.terminal:
            self._draw()
        else:
            message = f': {outcome["message"]}' if outcome['message'] else ''
            self.stream.write(f'{self.done}/{self.total} {scenario.id} {outcome["status"]}{message}\n')
            self.stream.flush()

    def _draw(self):
        elapsed = time.monotonic() - self.start
        filled = self.WIDTH * self.done // max(self.total, 1)
        remaining = f', {clock(elapsed / self.done * (self.total - self.done))} remaining' if self.done else ''
        self.stream.write(f'\r[{"#" * filled}{"." * (self.WIDTH - filled)}] {self.done}/{self.total}, '
                          f'{self.failed} not done, {clock(elapsed)} elapsed{remaining}\x1b[K')
        self.stream.flush()

    def stopped(self):
        if self.terminal:
            self.stream.write('\n')
            self.terminal = False
        self.stream.write('Stopped: cancelling the running scenarios; finished ones are kept.\n')
        self.stream.flush()

    def finish(self):
        if self.terminal:
            self.stream.write('\n')
            self.stream.flush()
