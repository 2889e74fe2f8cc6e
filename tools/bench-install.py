#!/usr/bin/env python3
"""Times the install pass under Wine, in one fresh prefix.

1. Does the same work once through NvRunUnattended.exe with one response
   file, and once with the equivalent direct commands, for several rounds,
   alternating which goes first and putting the computer back between
   runs. The work: install N small packages (made with wixl), start three
   programs (copies of the stand-in, which end at once) and remove one
   product, installed before each run, by its product code. Directly, that
   is one "msiexec /i PACKAGE /qn" per package, the three programs started
   one after the other, and "msiexec /x {CODE} /qn". Prints the median of
   each and their ratio.
2. Times the subfolder search below the alternative source on a tree of
   10,000 folders: the same one-package run where the package is found
   directly under the alternative source, found only by walking the tree
   (placed in the folder that the file system lists last), and not found at
   all (the whole tree is walked, then the package is given up).
   tools/bench-search.py times the same search on a larger tree against
   GNU find.

    tools/bench-install.py [--build build/win64] [--work build/bench]
                           [--packages 12] [--rounds 3] [--folders 10000]
                           [--part all|installs|search]

Build the program first (cmake --preset win64 && cmake --build --preset
win64). Run on an otherwise idle machine: the figures are wall-clock times.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import winehost  # noqa: E402

MEDIA = 'C:\\Bench'


def response_file(items) -> str:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


class Bench:
    def __init__(self, host: winehost.WineHost):
        self.host = host
        self.program = host.install_program(MEDIA)

    def listing(self, folder: str):
        """The names in a folder, in the order Windows lists them."""
        code, out = self.host.execute('cmd', ['/c', 'dir', '/b', folder])
        if code != 0:
            raise RuntimeError('cannot list ' + folder)
        return [n for n in out.decode('latin-1').splitlines() if n.strip()]

    def run_program(self, response: str, args=()) -> float:
        """One silent run; its wall time (the program's process, started and
        waited for)."""
        self.host.clear_run_logs()
        result = self.host.run(self.program, [response, '/S'] + list(args), cwd=MEDIA,
                               timeout=600, relay=False)
        if result.timed_out or result.exit_code != 0:
            raise RuntimeError('run failed: ' + result.describe())
        return result.ended - result.started

    def remove(self, codes, remover: str):
        """Removes the products through one run of product-code items."""
        self.run_program(remover)
        left = set(codes) & set(self.host.installed_products())
        if left:
            raise RuntimeError('still installed: %r' % sorted(left))

    # --------------------------------------------------------- installs

    def direct(self, packages, programs, removal: str) -> float:
        """The same work as a script would do it: one "msiexec /i PACKAGE
        /qn" per package, each program started and waited for, and one
        "msiexec /x {CODE} /qn"; the wall time of all of them."""
        started = time.time()
        for package in packages:
            self.call([winehost.WINE, 'msiexec', '/i', package, '/qn'], 'msiexec /i ' + package)
        for program, parameter in programs:
            self.call([winehost.WINE, self.host.unix_path(program), parameter], program)
        self.call([winehost.WINE, 'msiexec', '/x', removal, '/qn'], 'msiexec /x ' + removal)
        return time.time() - started

    def call(self, args, what: str):
        rc = subprocess.call(args, env=self.host.env(), stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if rc != 0:
            raise RuntimeError('%s failed (%d)' % (what, rc))

    def installs(self, count: int, rounds: int):
        packages, codes = [], []
        for i in range(count):
            code = winehost.new_guid()
            path = '%s\\pkgs\\p%02d.msi' % (MEDIA, i)
            self.host.build_msi(path, {'NVProductPrefix': 'P%02d' % i},
                                product_name='Bench Package %02d' % i, product_code=code)
            packages.append(path)
            codes.append(code)
        programs = []
        for i in range(3):
            path = '%s\\tools\\tool%d.exe' % (MEDIA, i)
            self.host.install_standin(path)
            programs.append((path, '/quiet'))
        # The product that each run removes; it is installed before each run.
        removal = winehost.new_guid()
        removal_package = MEDIA + '\\pkgs\\removed.msi'
        self.host.build_msi(removal_package, {'NVProductPrefix': 'RMV'},
                            product_name='Bench Removed', product_code=removal)
        installer = MEDIA + '\\install.xml'
        remover = MEDIA + '\\remove.xml'
        self.host.write_file(installer, response_file(
            [(p, 'ADDLOCAL=ALL') for p in packages] + programs + [(removal, '')]))
        self.host.write_file(remover, response_file([(c, '') for c in codes]))

        def prepare():
            rc = self.host.msiexec('/i', removal_package, '/qn')
            if rc != 0:
                raise RuntimeError('msiexec /i %s failed (%r)' % (removal_package, rc))

        def check(what: str):
            installed = set(self.host.installed_products())
            if not set(codes) <= installed:
                raise RuntimeError('%s left packages out' % what)
            if removal in installed:
                raise RuntimeError('%s did not remove %s' % (what, removal))

        # A first pass of each warms Wine's caches; it is not counted.
        prepare()
        self.run_program(installer)
        self.remove(codes, remover)
        prepare()
        self.direct(packages, programs, removal)
        self.remove(codes, remover)
        program_times, direct_times = [], []
        for r in range(rounds):
            order = ('program', 'direct') if r % 2 == 0 else ('direct', 'program')
            for what in order:
                prepare()
                if what == 'program':
                    program_times.append(self.run_program(installer))
                else:
                    direct_times.append(self.direct(packages, programs, removal))
                check(what)
                self.remove(codes, remover)
            print('  round %d: program %.2f s, direct commands %.2f s' % (
                r + 1, program_times[-1], direct_times[-1]), flush=True)
        p, m = statistics.median(program_times), statistics.median(direct_times)
        print('%d packages + 3 programs + 1 removal, %d rounds: NvRunUnattended %.2f s (median), '
              'direct commands %.2f s (median), ratio %.2f' % (count, rounds, p, m, p / m))

    # ---------------------------------------------------- subfolder search

    def search(self, folders: int, rounds: int):
        alt = MEDIA + '\\alt'
        alt_unix = self.host.unix_path(alt)
        width = max(1, int(round(folders ** 0.5)))
        made = 0
        for i in range(width):
            for j in range(width):
                os.makedirs(os.path.join(alt_unix, 'd%03d' % i, 'e%03d' % j), exist_ok=True)
                made += 1
        made += width
        # The folder that a depth-first walk reaches last, in the order in
        # which Windows lists the entries.
        top = self.listing(alt)[-1]
        far = self.listing(alt + '\\' + top)[-1]
        far_win = '%s\\%s\\%s\\far.msi' % (alt, top, far)
        direct_win = alt + '\\far.msi'
        self.host.build_msi(far_win, {}, product_name='Bench Far')
        # The last item below a core folder gives the run its core directory,
        # where the uninstaller lies; so the uninstaller is not looked for
        # below the alternative source, which would walk the tree in every run.
        self.host.install_standin(MEDIA + '\\media\\core\\tools\\noop.exe')
        self.host.write_file(MEDIA + '\\media\\core\\Uninstaller\\Norvasoft Uninstaller.exe', b'')
        response = MEDIA + '\\search.xml'
        self.host.write_file(response, response_file([
            ('x:\\media\\core\\far\\far.msi', 'ADDLOCAL=ALL'),
            (MEDIA + '\\media\\core\\tools\\noop.exe', '')]))
        far_unix = self.host.unix_path(far_win)
        direct_unix = self.host.unix_path(direct_win)
        with open(far_unix, 'rb') as f:
            far_data = f.read()

        def place(where):
            for path in (far_unix, direct_unix):
                if os.path.exists(path):
                    os.remove(path)
            if where:
                with open(where, 'wb') as f:
                    f.write(far_data)

        def remove_far():
            for code, (name, _) in self.host.installed_products().items():
                if name == 'Bench Far':
                    self.host.msiexec('/x', code, '/qn')

        cases = [('found directly under the alternative source', direct_unix),
                 ('found at the far end of the tree', far_unix),
                 ('not found (whole tree walked)', None)]
        times = {name: [] for name, _ in cases}
        args = ['altsource=' + alt]
        place(direct_unix)
        self.run_program(response, args)      # warm-up, not counted
        remove_far()
        for _ in range(rounds):
            for name, where in cases:
                place(where)
                times[name].append(self.run_program(response, args))
                remove_far()
        print('subfolder search below altsource= over %d folders (median of %d):'
              % (made, rounds))
        base = statistics.median(times[cases[0][0]])
        for name, _ in cases:
            t = statistics.median(times[name])
            print('  %-45s %.2f s  (+%.2f s)' % (name, t, t - base))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build', default=os.path.join(here, '..', 'build', 'win64'))
    parser.add_argument('--work', default=os.path.join(here, '..', 'build', 'bench'))
    parser.add_argument('--packages', type=int, default=12)
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--folders', type=int, default=10000)
    parser.add_argument('--part', choices=('all', 'installs', 'search'), default='all')
    args = parser.parse_args()
    if args.packages < 1 or args.rounds < 1:
        parser.error('--packages and --rounds must be at least 1')

    host = winehost.WineHost(args.build, args.work)
    try:
        host.create()
        bench = Bench(host)
        if args.part in ('all', 'installs'):
            print('== installs', flush=True)
            bench.installs(args.packages, args.rounds)
        if args.part in ('all', 'search'):
            print('== subfolder search', flush=True)
            bench.search(args.folders, args.rounds)
    finally:
        host.shutdown()


if __name__ == '__main__':
    main()
