"""Times 50-day two-stage and temperature-phased runs, by hand:

    /usr/bin/python3 tests/models/bench_tsad_tpad.py [--straight]

--straight also times the plain transcription with the plain solver (about a minute per free-pH run).
"""
import sys
import time

import reference_ssad
import reference_tsad_tpad
from runs_tsad_tpad import load, run_tpad, run_tsad

# The geometry pages' defaults; the temperature-phased run thermophilic then mesophilic, with retention.
CASES = (('two-stage', 'module_tsad.py', run_tsad, reference_tsad_tpad.run_tsad, {}),
         ('temperature-phased', 'module_tpad.py', run_tpad, reference_tsad_tpad.run_tpad,
          dict(T_1=328.15, T_2=308.15, t_sr=5.0)))


def timed(run, my_func, ph_mode, changes):
    start = time.perf_counter()
    run(my_func, 50.0, ph_mode=ph_mode, **changes)
    return time.perf_counter() - start


def main(straight):
    for name, script, run, plain, changes in CASES:
        for ph_mode, mode in ((1, 'free'), (0, 'manual')):
            ns = load(script)
            seconds = timed(run, ns['MyFunc'], ph_mode, changes)
            line = '%-18s %-6s pH: %6.2f s, %d evaluations' % (name, mode, seconds, ns['rhs_evaluations'])
            if straight:
                reference_tsad_tpad.solve_ph = reference_ssad.solve_ph
                seconds = timed(run, plain, ph_mode, changes)
                line += '; plain %6.2f s, %d evaluations' % (seconds, reference_tsad_tpad.rhs_evaluations)
            print(line, flush=True)


if __name__ == '__main__':
    main('--straight' in sys.argv[1:])
