"""digestra-study: runs every scenario of a study file on a Dask cluster (a local one by default),
each through a worker's `digestra-cli --batch` process, and collects the summary table and plots."""
import argparse
import pathlib
import sys

from .core import EXIT_BAD_STUDY, EXIT_DONE, EXIT_NOT_ALL, MOST, TOO_MANY, WORKER_WAIT, cli_version, find_cli, refused
from . import studyfile, sweep_study


def arguments(argv):
    parser = argparse.ArgumentParser(
        prog='digestra-study',
        description='Runs every scenario of a study file in parallel through digestra-cli and writes a summary '
                    'table (CSV and xlsx) and comparison plots. Exit status: 0 all scenarios done, 1 some failed, '
                    'were refused, stopped early or gave values that are not numbers, the scheduler could not '
                    'be reached, the cluster had no worker or a file could not be written, 2 the study file or '
                    'the output folder was refused (nothing run), 130 stopped with Ctrl-C, SIGTERM or SIGHUP '
                    '(finished scenarios kept).')
    parser.add_argument('study', type=pathlib.Path, nargs='?', help='the study file (TOML)')
    parser.add_argument('--out', type=pathlib.Path, help='output folder (default: the study file\'s name beside it)')
    parser.add_argument('--workers', type=int, help='worker processes of the local cluster (default: one per core; '
                                                     'not with --scheduler)')
    parser.add_argument('--dashboard', action='store_true',
                        help='serve the local cluster\'s dashboard on 127.0.0.1 (needs bokeh; not with --scheduler)')
    parser.add_argument('--scheduler', help='address of a running Dask scheduler, e.g. tcp://HOST:8786')
    parser.add_argument('--worker-wait', type=float, default=WORKER_WAIT, metavar='SECONDS',
                        help=f'stop when the cluster has had no worker for this long (default {WORKER_WAIT})')
    parser.add_argument('--cli', help='the digestra-cli to run (default: digestra-cli on PATH, else '
                                      'build/cli/digestra-cli of this project; on a cluster: on the workers\' PATH)')
    parser.add_argument('--resume', action='store_true', help='skip the scenarios already finished in the output folder')
    parser.add_argument('--replace', action='store_true',
                        help='replace the results of another study in the output folder')
    parser.add_argument('--dry-run', action='store_true', help='list the scenarios and stop')
    parser.add_argument('--yes', action='store_true', help=f'run studies of more than {TOO_MANY} scenarios or runs '
                                                          f'(at most {MOST}, for every kind of study)')
    parser.add_argument('--version', action='store_true', help='print the version and stop')
    args = parser.parse_args(argv)
    if args.study is None and not args.version:
        parser.error('the study file is missing')
    if args.workers is not None and args.workers < 1:
        parser.error('--workers must be at least 1')
    if args.scheduler and (args.workers is not None or args.dashboard):
        parser.error('--workers and --dashboard are for a local cluster; a cluster named with --scheduler has '
                     'its own workers and dashboard')
    if args.worker_wait <= 0:
        parser.error('--worker-wait must be more than 0 seconds')
    if args.resume and args.replace:
        parser.error('--resume continues the study in the output folder; --replace starts another one there')
    return args


def version(given):
    """The version of the digestra-cli that runs the scenarios: the program's one version number."""
    cli, where = find_cli(given, local=True)
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return EXIT_BAD_STUDY
    number, reason = cli_version(cli)
    if number is None:
        print(f'digestra-study: {cli} --version did not answer: {reason}', file=sys.stderr)
        return EXIT_NOT_ALL
    print(f'digestra-study {number}')
    return EXIT_DONE


def main(argv=None):
    args = arguments(argv)
    if args.version:
        return version(args.cli)
    try:   # the study file is read here, once
        text = studyfile.read_study(args.study)
        data = studyfile.toml_of(text)
    except studyfile.StudyError as e:
        return refused(args.study, e.problems)
    from . import analysis_runner, optimize
    kinds = dict(zip(studyfile.KINDS, (sweep_study, analysis_runner, analysis_runner, analysis_runner, optimize)))
    return kinds[studyfile.kind_of(data)].main(args, text, data)
