#!/usr/bin/env python3
"""Times the subfolder search below the alternative source on a large tree,
against a bare walk of the same tree under the same Wine, and GNU find.

The tree has about 50,000 folders (a first level of W folders with W
folders each, W = the square root of --folders). A run of the program with
altsource= and one package item whose file is missing from the media walks
the tree for the package's file name:

- top: the file lies only in the first first-level folder Windows lists,
  so the search ends at its first probe;
- found: the file lies only in the folder that the walk reaches last (the
  last entry of the last first-level folder, in the order Windows lists
  them), so the walk covers the whole tree before it finds it;
- missing: the file is nowhere, the whole tree is walked and the package is
  given up.

A third run, where the file lies directly below the alternative source and
no walk is needed, gives the program's cost without the walk; the walk's own
cost is a run's time less that one. The package file is not a valid package,
so that Windows Installer rejects it at once and nothing is installed.

The bare walk (tests/e2e/helpers/barewalk.c) lists every folder of the tree
once and does nothing else: no search can see the whole tree with fewer
directory requests. Its run on an empty folder gives its own start-up cost,
and the ratio of the program's walk (missing, less the direct run) to the
bare walk's (less its start-up) tells how close the search comes to that
floor.

GNU find searches the same tree from the Unix side for the same two cases
("find ALT -name FILE -print -quit"), the file lying in the folder that
find's own walk reaches last (the Unix order of the entries is not the one
Windows gives), and the figures give the ratio of the program's walk to
find's.

    tools/bench-search.py [--build build/win64] [--work build/bench-search]
                          [--folders 50000] [--rounds 3]
                          [--cases direct,top,found,missing]
                          [--baseline other/NvRunUnattended.exe]

Build the program first (cmake --preset win64 && cmake --build --preset
win64). Other work on the machine shows in the figures: use several rounds (the
medians are printed, and the fastest runs, which other work disturbs least).
To compare two builds, give the other one's program as --baseline: both
are timed in every round, one right after the other, so that the load falls
on both alike.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import winehost  # noqa: E402

MEDIA = 'C:\\BenchSearch'
ALT = MEDIA + '\\alt'
EMPTY = MEDIA + '\\empty'
PACKAGE = 'far.msi'


def response_file(items) -> str:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


class Bench:
    def __init__(self, host: winehost.WineHost, folders: int):
        self.host = host
        self.program = host.install_program(MEDIA)
        self.alt_unix = host.unix_path(ALT)
        width = max(1, int(round(folders ** 0.5)))
        for i in range(width):
            for j in range(width):
                os.makedirs(os.path.join(self.alt_unix, 'd%03d' % i, 'e%03d' % j), exist_ok=True)
        self.folders = width + width * width
        # The folder that a depth-first walk reaches last, in the order in
        # which Windows lists the entries.
        first_level = self.listing(ALT)
        top, top_first = first_level[-1], first_level[0]
        far = self.listing(ALT + '\\' + top)[-1]
        self.far_unix = os.path.join(self.alt_unix, top, far, PACKAGE)
        self.direct_unix = os.path.join(self.alt_unix, PACKAGE)
        self.top_unix = os.path.join(self.alt_unix, top_first, PACKAGE)
        self.bare_walk = os.path.join(host.build_dir, 'tests', 'e2e', 'barewalk.exe')
        if not os.path.exists(self.bare_walk):
            raise RuntimeError('the bare walk is missing: %s' % self.bare_walk)
        host.make_dir(EMPTY)
        # find walks the folders in the order the Unix file system gives
        # them, which need not be Windows's: for find the far end is the
        # last folder of its own walk.
        order = subprocess.run(['find', self.alt_unix, '-mindepth', '2', '-maxdepth', '2',
                                '-type', 'd'], stdout=subprocess.PIPE, check=True)
        last = order.stdout.decode().splitlines()[-1]
        self.find_far_unix = os.path.join(last, PACKAGE)
        self.same_order = self.find_far_unix == self.far_unix
        # The last item below a core folder gives the run its core directory,
        # where the uninstaller lies; so the uninstaller is not looked for
        # below the alternative source, which would walk the tree again.
        host.install_standin(MEDIA + '\\media\\core\\tools\\noop.exe')
        host.write_file(MEDIA + '\\media\\core\\Uninstaller\\Norvasoft Uninstaller.exe', b'')
        self.response = MEDIA + '\\search.xml'
        host.write_file(self.response, response_file([
            ('x:\\media\\core\\far\\' + PACKAGE, 'ADDLOCAL=ALL'),
            (MEDIA + '\\media\\core\\tools\\noop.exe', '')]))

    def listing(self, folder: str):
        """The names in a folder, in the order Windows lists them."""
        code, out = self.host.execute('cmd', ['/c', 'dir', '/b', folder])
        if code != 0:
            raise RuntimeError('cannot list ' + folder)
        return [n for n in out.decode('latin-1').splitlines() if n.strip()]

    def place(self, where):
        for path in (self.far_unix, self.find_far_unix, self.direct_unix, self.top_unix):
            if os.path.exists(path):
                os.remove(path)
        if where:
            with open(where, 'wb') as f:
                f.write(b'not a package\r\n')

    def run_program(self, program: str) -> float:
        self.host.clear_run_logs()
        result = self.host.run(program, [self.response, '/S', 'altsource=' + ALT],
                               cwd=MEDIA, timeout=1800, relay=False)
        # The package that is found is no package: Windows Installer rejects
        # it (Wine answers 1627), and that failure is the exit code.
        if result.timed_out or result.exit_code is None:
            raise RuntimeError('run failed: ' + result.describe())
        return result.ended - result.started

    def run_bare_walk(self, folder: str) -> float:
        started = time.time()
        code, out = self.host.execute(self.bare_walk, [folder], timeout=1800)
        elapsed = time.time() - started
        if code != 0:
            raise RuntimeError('bare walk failed: %r' % out)
        return elapsed

    def run_find(self) -> float:
        started = time.time()
        subprocess.run(['find', self.alt_unix, '-name', PACKAGE, '-print', '-quit'],
                       stdout=subprocess.DEVNULL, check=True)
        return time.time() - started

    def measure(self, rounds: int, wanted, baseline=None):
        # (name, where the program looks last, where find looks last)
        cases = [(name, for_program, for_find) for name, for_program, for_find in (
            ('direct', self.direct_unix, self.direct_unix),
            ('top', self.top_unix, self.top_unix),
            ('found', self.far_unix, self.find_far_unix), ('missing', None, None))
            if name in wanted or name == 'direct']
        programs = [('program', self.program)]
        if baseline:
            programs.append(('baseline', self.host.install_program(MEDIA + '\\baseline')))
            shutil.copy2(baseline, self.host.unix_path(programs[-1][1]))
        times = {(who, name): [] for who, _ in programs for name, _, _ in cases}
        find = {name: [] for name, _, _ in cases}
        bare = {'empty': [], 'tree': []}
        self.place(self.direct_unix)
        for _, program in programs:
            self.run_program(program)  # warm-up, not counted
        for r in range(rounds):
            for name, for_program, for_find in cases:
                self.place(for_program)
                # Alternated, so that other work on the machine falls on both alike.
                for who, program in (programs if r % 2 == 0 else programs[::-1]):
                    # A walk of the tree first, so that every run finds it as
                    # warm as the last (the first Wine walk after other work
                    # can take twice as long).
                    self.run_bare_walk(ALT)
                    times[who, name].append(self.run_program(program))
                self.place(for_find)
                find[name].append(self.run_find())
            self.place(None)
            bare['empty'].append(self.run_bare_walk(EMPTY))
            self.run_bare_walk(ALT)
            bare['tree'].append(self.run_bare_walk(ALT))
            print('  round %d: %s; bare walk %.2f s (empty %.2f s); find %s' % (
                r + 1, '; '.join('%s %s' % (who, ', '.join(
                    '%s %.2f s' % (n, times[who, n][-1]) for n, _, _ in cases)) for who, _ in programs),
                bare['tree'][-1], bare['empty'][-1],
                ', '.join('%s %.3f s' % (n, find[n][-1]) for n, _, _ in cases)), flush=True)
        bare_run = statistics.median(bare['tree'])
        bare_walk = bare_run - statistics.median(bare['empty'])
        print('subfolder search over %d folders, median of %d rounds (the far end is the same '
              'folder for find and the program: %s):' % (self.folders, rounds,
                                                         'yes' if self.same_order else 'no'))
        print('  bare walk: run %.2f s, walk %.2f s (%.1f us a folder); fastest run %.2f s' % (
            bare_run, bare_walk, 1e6 * bare_walk / self.folders, min(bare['tree'])))
        for who, _ in programs:
            base = statistics.median(times[who, 'direct'])
            print('  %s run, file found directly (no walk): %.2f s' % (who, base))
            for name, label in (('top', 'found near the top'), ('found', 'found at the far end'),
                                ('missing', 'missing')):
                if (who, name) not in times:
                    continue
                p, f = statistics.median(times[who, name]), statistics.median(find[name])
                walk = p - base
                print('  %s %-22s run %.2f s (walk %.2f s, %.1f us a folder); run / bare walk run %.2f; '
                      'walk / bare walk %.2f; fastest run %.2f s; GNU find %.3f s; walk / find %.0f' % (
                          who, label, p, walk, 1e6 * walk / self.folders, p / bare_run,
                          walk / bare_walk if bare_walk > 0 else float('inf'), min(times[who, name]), f,
                          walk / f if f > 0 else float('inf')))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build', default=os.path.join(here, '..', 'build', 'win64'))
    parser.add_argument('--work', default=os.path.join(here, '..', 'build', 'bench-search'))
    parser.add_argument('--folders', type=int, default=50000)
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--baseline', help='another NvRunUnattended.exe (say a build of an earlier '
                        'commit), timed in the same rounds, alternating with this one')
    parser.add_argument('--cases', default='direct,top,found,missing',
                        help='which runs to time besides the direct one (top, found, missing)')
    args = parser.parse_args()
    wanted = set(args.cases.split(','))
    if not wanted <= {'direct', 'top', 'found', 'missing'}:
        parser.error('--cases takes direct, top, found and missing')
    if args.folders < 1 or args.rounds < 1:
        parser.error('--folders and --rounds must be at least 1')

    host = winehost.WineHost(args.build, args.work)
    try:
        host.create()
        Bench(host, args.folders).measure(args.rounds, wanted, args.baseline)
    finally:
        host.shutdown()


if __name__ == '__main__':
    main()
