#!/usr/bin/env python3
"""Times a response file of many items under Wine, in one fresh prefix.

1. The counting pass alone: a response file of N valid items whose item
   N + 1 is invalid (a product without its parameter), so that the run ends
   after the counting pass with the invalid-entries message box, which the
   dialog bot answers.
2. A whole run whose N items all fail at once: product codes of products
   that are not installed, so that every removal returns 1605 without doing
   anything; the counting pass, then the launch pass.

Both passes are timed from the run log on disk, which a watcher reads every
few milliseconds while the program runs: the counting pass from "Counting
items to be launched." to the last item's line (pass 1) or to "Core
Directory: " (pass 2), the launch pass from "Core Directory: " to the
closing " done.". The whole run's wall time is printed too. Each figure is
the median of the rounds; milliseconds per item are that divided by N.
The response file is written well before the timed runs (a warm-up run of
each program comes first): a file changed within the last few seconds is
read from its start for every value, since a change could hide in the same
tick of the file system's clock.

    tools/bench-items.py [--build build/win64] [--work build/bench-items]
                         [--items 1000] [--rounds 3] [--compare OTHER-BUILD]

With --compare, the program of another build (an earlier version, say) runs
the same files in the same prefix, round by round next to this one, and the
figures of both are printed with their ratio.

Build the program first (cmake --preset win64 && cmake --build --preset
win64). Other work on the machine shows in the figures: use several rounds.
"""

import argparse
import os
import shutil
import statistics
import sys
import threading
import time
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import winehost  # noqa: E402

MEDIA = 'C:\\BenchItems'


def response_file(items, extra: str = '') -> str:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    if extra:
        lines.append(extra)
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


class Watch:
    """Reads a log file every few milliseconds from another thread and
    notes when each of some texts first appears in it."""

    def __init__(self, path: str, marks):
        self.path = path
        self.marks = list(marks)
        self.seen = {}
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)

    def start(self):
        self.thread.start()

    def stop(self):
        self.done.set()
        self.thread.join()
        self._look()

    def _look(self):
        now = time.time()
        try:
            with open(self.path, 'rb') as f:
                text = f.read()
        except OSError:
            return
        for mark in self.marks:
            if mark not in self.seen and mark in text:
                self.seen[mark] = now

    def _run(self):
        while not self.done.is_set():
            self._look()
            time.sleep(0.003)


class Bench:
    def __init__(self, host: winehost.WineHost, count: int, others):
        """others: (label, NvRunUnattended.exe of another build) pairs."""
        self.host = host
        self.count = count
        self.programs = [('this build', host.install_program(MEDIA + '\\this'))]
        for n, (label, exe) in enumerate(others):
            folder = '%s\\other%d' % (MEDIA, n)
            host.make_dir(folder)
            shutil.copy2(exe, os.path.join(host.unix_path(folder), winehost.PROGRAM))
            self.programs.append((label, folder + '\\' + winehost.PROGRAM))
        self.log_win = MEDIA + '\\logs\\items.log'
        self.log_unix = host.unix_path(self.log_win)

    def run(self, program: str, response: str, marks, answers=()):
        """One silent run watched from its log; (wall time, the moments the
        marks appeared, the run's result)."""
        if os.path.exists(self.log_unix):
            os.remove(self.log_unix)
        watch = Watch(self.log_unix, marks)
        watch.start()
        try:
            result = self.host.run(program, [response, '/S', 'logfile=' + self.log_win],
                                   cwd=MEDIA, timeout=900, relay=False, answers=answers)
        finally:
            watch.stop()
        if result.timed_out or result.exit_code is None:
            raise RuntimeError('run failed: ' + result.describe())
        return result.ended - result.started, watch.seen, result

    def between(self, seen, first: bytes, last: bytes) -> float:
        if first not in seen or last not in seen:
            raise RuntimeError('the log never showed %r or %r' % (first, last))
        return seen[last] - seen[first]

    def rounds(self, rounds: int, one):
        """Runs one(program) for every program, rounds times, alternating
        which goes first; a first run of each is a warm-up. Returns
        {label: [figures of each round]}."""
        for _, program in self.programs:
            one(program)
        figures = {label: [] for label, _ in self.programs}
        for r in range(rounds):
            order = self.programs if r % 2 == 0 else list(reversed(self.programs))
            for label, program in order:
                figures[label].append(one(program))
                print('  round %d, %s: %s' % (r + 1, label, ', '.join(
                    '%s %.3f s' % kv for kv in figures[label][-1].items())), flush=True)
        return figures

    def summary(self, figures, key: str, what: str):
        base = None
        for label, _ in self.programs:
            value = statistics.median(f[key] for f in figures[label])
            text = '  %-12s %s %.3f s median (%.2f ms per item)' % (label, what, value,
                                                                   1000 * value / self.count)
            if base is None:
                base = value
            else:
                text += ', %.2f times this build' % (value / base if base > 0 else float('inf'))
            print(text)

    def counting_pass(self, rounds: int):
        n = self.count
        codes = ['{%s}' % str(uuid.uuid4()).upper() for _ in range(n)]
        response = MEDIA + '\\counting.xml'
        invalid = '  <PRODUCT%d>%s</PRODUCT%d>' % (n + 1, codes[0], n + 1)
        self.host.write_file(response, response_file([(c, '') for c in codes], invalid))
        size = os.path.getsize(self.host.unix_path(response))
        first, last = b'Counting items to be launched.', b'PRODUCT%d=' % n
        answers = ['Norvasoft Installer::btn:1']

        def one(program):
            wall, seen, result = self.run(program, response, [first, last], answers)
            boxes = [d.message_text for d in result.titled_dialogs]
            if result.exit_code != 0 or not boxes or not boxes[0].startswith('Invalid entries'):
                raise RuntimeError('the run did not end at the invalid entry: ' + result.describe())
            return {'counting pass': self.between(seen, first, last), 'run': wall}

        figures = self.rounds(rounds, one)
        print('counting pass, %d items + 1 invalid, response file %d bytes:' % (n, size))
        self.summary(figures, 'counting pass', 'counting pass')
        self.summary(figures, 'run', 'whole run to the message box')

    def failing_items(self, rounds: int):
        n = self.count
        codes = ['{%s}' % str(uuid.uuid4()).upper() for _ in range(n)]
        response = MEDIA + '\\failing.xml'
        self.host.write_file(response, response_file([(c, '') for c in codes]))
        counting, core, done = b'Counting items to be launched.', b'Core Directory: ', b' done.'
        marks = [counting, core, done]

        def one(program):
            wall, seen, result = self.run(program, response, marks)
            if result.exit_code != 1605:
                raise RuntimeError('expected exit code 1605: ' + result.describe())
            return {'counting pass': self.between(seen, counting, core),
                    'launch pass': self.between(seen, core, done), 'run': wall}

        figures = self.rounds(rounds, one)
        print('%d items that fail at once (1605):' % n)
        self.summary(figures, 'counting pass', 'counting pass')
        self.summary(figures, 'launch pass', 'launch pass')
        self.summary(figures, 'run', 'whole run')


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build', default=os.path.join(here, '..', 'build', 'win64'))
    parser.add_argument('--work', default=os.path.join(here, '..', 'build', 'bench-items'))
    parser.add_argument('--items', type=int, default=1000)
    parser.add_argument('--rounds', type=int, default=3)
    parser.add_argument('--compare', action='append', default=[], metavar='OTHER-BUILD',
                        help='the build folder of another version to time next to this one')
    args = parser.parse_args()
    if args.items < 1 or args.rounds < 1:
        parser.error('--items and --rounds must be at least 1')
    others = []
    for other in args.compare:
        exe = os.path.join(other, winehost.PROGRAM)
        if not os.path.exists(exe):
            parser.error('no %s in %s' % (winehost.PROGRAM, other))
        others.append(('other %d' % (len(others) + 1), exe))
        print('other %d: %s' % (len(others), os.path.abspath(other)))

    host = winehost.WineHost(args.build, args.work)
    try:
        host.create()
        bench = Bench(host, args.items, others)
        print('== counting pass', flush=True)
        bench.counting_pass(args.rounds)
        print('== all items failing at once', flush=True)
        bench.failing_items(args.rounds)
    finally:
        host.shutdown()


if __name__ == '__main__':
    main()
