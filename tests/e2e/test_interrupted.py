"""End to end: runs that are ended from outside while they work.

An administrator's tool may end the installer at any moment (a time limit,
a shutdown, a user with the task manager). The run log is written through
and flushed after every write, so whatever the program wrote before it was
ended must be on disk, whole and in order. Each test here makes one
uninterrupted reference run and then ends twenty runs of the same work at
points spread over it, and checks after each:

- the run log on disk is exactly a prefix of the reference log, with only
  the digits of the time stamps allowed to differ (and those stamps name a
  second of that run);
- it ends where one of the program's writes ends: at a line end, or after
  one of the few texts the program writes without a line end; never in the
  middle of a write;
- nothing written was lost: the log holds at least what was on disk when
  the run was ended, and at least every line written before an effect that
  is seen afterwards (a stand-in program that started, a product that was
  installed or removed).

The runs are ended in two ways: by SIGKILL to the program's Unix process
from a watcher (at once, when the log on disk reaches a given size, or
after a given time), and in the install run also by "taskkill /f", which
ends it through TerminateProcess as a Windows tool would (taskkill itself
takes longer to start under Wine than a whole remove-all run). Whatever the
ended run had started (stand-in programs still sleeping) is ended too
before the next run.

A third test ends a run while it walks a folder tree below the alternative
source for a missing package: the item's header line and the lines written
before the walk must already be on disk.

The suite prints a table of the points at which the runs were ended and
what their logs held.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest
from dataclasses import dataclass
from typing import Callable, Dict, List, Optional

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import new_guid  # noqa: E402

MEDIA = 'C:\\INT'
KILLS = 20
STAMP_RE = re.compile(r'\d\d/\d\d/\d\d \d\d:\d\d:\d\d')
RUN_TIMEOUT = 90
# Names of processes that an ended run may leave behind.
LEFTOVER_NAMES = ('net.exe', 'one.exe', 'two.exe', 'three.exe', 'walker.exe')

# Texts the program writes without a line end: a log may end after them.
# The program item's launch line is written in two parts; the remove-all
# result lines get their line end in a write of their own; the closing line
# has none.
OPEN_ENDS = [
    re.compile(r'Launching: '),
    re.compile(r'#{2}/#{2}/#{2} #{2}:#{2}:#{2} done\.'),
    re.compile(r'#{2}/#{2}/#{2} #{2}:#{2}:#{2} done\.Rebooting machine\.'),
    re.compile(r'Reboot was requested\. Return value is -?\d+'),
    re.compile(r'There was a problem in launching the install\. Return value is -?\d+'),
]


def response_file(items) -> str:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


def mask(text: str) -> str:
    """The text with every time-stamp digit replaced by "#"; the length
    stays, so positions in a masked log are positions in the log."""
    return STAMP_RE.sub(lambda m: re.sub(r'\d', '#', m.group()), text)


@dataclass
class Point:
    """Where one run is ended: once the log on disk holds `size` bytes;
    `delay` seconds after the log appeared; or `delay` seconds after the
    log first holds `marker`. By SIGKILL or by taskkill."""
    size: Optional[int] = None
    delay: Optional[float] = None
    marker: Optional[bytes] = None
    taskkill: bool = False

    def describe(self) -> str:
        how = 'taskkill' if self.taskkill else 'SIGKILL'
        if self.size is not None:
            return '%s at %d bytes' % (how, self.size)
        if self.marker is not None:
            return '%s %.2f s after %r' % (how, self.delay, self.marker[-30:])
        return '%s at log+%.2f s' % (how, self.delay)


@dataclass
class Outcome:
    log: bytes                 # the log on disk after the run
    exists: bool               # whether there was a log at all
    seen: bytes                # what the watcher read just before ending it
    killed: bool               # False: the run ended by itself first
    kill_time: Optional[float]  # seconds after the log appeared
    log_after: Optional[float]  # seconds from the start until the log appeared
    duration: float
    exit_text: str
    started: float
    ended: float


class Runner:
    """Starts the program through runexe (full exit code, time limit) and
    ends it at a chosen point."""

    def __init__(self, host: winehost.WineHost):
        self.host = host
        self.count = 0
        self.folder = os.path.join(host.work_dir, 'interrupted')
        shutil.rmtree(self.folder, ignore_errors=True)

    def _program_pid(self) -> Optional[int]:
        for pid, command in self.host.prefix_processes():
            exes = [t for t in command.split(' ') if t.lower().endswith('.exe')]
            if exes and exes[0].lower().endswith('\\nvrununattended.exe'):
                return pid
        return None

    def run(self, program: str, args: List[str], log_unix: str,
            point: Optional[Point] = None) -> Outcome:
        self.count += 1
        folder = os.path.join(self.folder, '%03d' % self.count)
        os.makedirs(folder)
        result_file = os.path.join(folder, 'exit.txt')
        if os.path.exists(log_unix):
            os.remove(log_unix)
        started = time.time()
        with open(os.path.join(folder, 'stdout'), 'wb') as out, \
                open(os.path.join(folder, 'stderr'), 'wb') as err:
            proc = subprocess.Popen(
                [winehost.WINE, self.host.runexe, self.host.windows_path(result_file),
                 str(RUN_TIMEOUT * 1000), program] + args,
                cwd=self.host.unix_path(MEDIA), env=self.host.env(),
                stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        seen, killed, kill_time, log_after = self._watch(proc, point, log_unix, started)
        try:
            proc.wait(RUN_TIMEOUT + 30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        ended = time.time()
        self.end_leftovers()
        exit_text = ''
        if os.path.exists(result_file):
            with open(result_file) as f:
                exit_text = f.read().strip()
        exists = os.path.exists(log_unix)
        log = b''
        if exists:
            with open(log_unix, 'rb') as f:
                log = f.read()
            shutil.copy2(log_unix, os.path.join(folder, 'run.log'))
        return Outcome(log, exists, seen, killed, kill_time, log_after, ended - started,
                       exit_text, started, ended)

    def _watch(self, proc, point: Optional[Point], log_unix: str, started: float):
        """Watches the log until the run ends or the point is reached, and
        ends the program there. Returns what was on disk just before, whether
        the program was ended, when (after the log appeared), and when the
        log appeared (after the start)."""
        pid, appeared, marked = None, None, None
        while proc.poll() is None:
            now = time.time()
            exists = os.path.exists(log_unix)
            if exists and appeared is None:
                appeared = now
            if point is None:
                time.sleep(0.005)
                continue
            if pid is None and not point.taskkill:
                pid = self._program_pid()
            size = os.path.getsize(log_unix) if exists else -1
            if point.size is not None:
                due = size >= point.size
            elif point.marker is not None:
                if marked is None and exists:
                    with open(log_unix, 'rb') as f:
                        if point.marker in f.read():
                            marked = now
                due = marked is not None and now - marked >= point.delay
            else:
                due = appeared is not None and now - appeared >= point.delay
            if due and (pid is not None or point.taskkill):
                seen = b''
                if exists:
                    with open(log_unix, 'rb') as f:
                        seen = f.read()
                at = now - (appeared if appeared is not None else started)
                if point.taskkill:
                    subprocess.call([winehost.WINE, 'taskkill', '/f', '/im', winehost.PROGRAM],
                                    env=self.host.env(), stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    timeout=60)
                else:
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        return seen, False, at, self._since(appeared, started)
                return seen, True, at, self._since(appeared, started)
            time.sleep(0.002)
        return b'', False, None, self._since(appeared, started)

    @staticmethod
    def _since(moment: Optional[float], started: float) -> Optional[float]:
        return None if moment is None else moment - started

    def end_leftovers(self):
        """Ends what an ended run had started (stand-ins still sleeping, the
        service stop) and waits until they have gone."""
        deadline = time.time() + 20
        while True:
            left = []
            for pid, command in self.host.prefix_processes():
                exes = [t.lower() for t in command.split(' ') if t.lower().endswith('.exe')]
                if exes and (exes[0].endswith('\\nvrununattended.exe')
                             or any(exes[0].endswith('\\' + n) for n in LEFTOVER_NAMES)):
                    left.append(pid)
            if not left:
                return
            if time.time() > deadline:
                raise RuntimeError('processes left after an ended run: %r' % left)
            for pid in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.05)


class InterruptedRunsTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()
        cls.program = cls.host.install_program(MEDIA)
        cls.runner = Runner(cls.host)
        cls.report: List[str] = []

    @classmethod
    def tearDownClass(cls):
        if cls.report:
            sys.stderr.write('\n' + '\n'.join(cls.report) + '\n')

    # ----------------------------------------------------------- checks

    def check_prefix(self, reference: str, out: Outcome, ends: List[int]) -> List[str]:
        """The problems of one ended run's log against the reference (both
        as Latin-1 text with CR LF line ends). ends: the offsets in the
        reference that the log must reach, from effects seen afterwards."""
        problems = []
        text = out.log.decode('latin-1')
        ref = mask(reference)
        if len(text) > len(ref):
            return ['longer than the reference (%d > %d)' % (len(text), len(ref))]
        for i, c in enumerate(text):
            r = ref[i]
            if c != r and not (r == '#' and c.isdigit()):
                line = text.count('\n', 0, i) + 1
                return ['differs at byte %d (line %d): %r, reference %r' % (
                    i, line, text[max(0, i - 40):i + 40], ref[max(0, i - 40):i + 40])]
        for stamp in STAMP_RE.findall(text):
            if not winehost.stamp_within(stamp, out.started, out.ended):
                problems.append('stamp %s outside the run' % stamp)
        tail = mask(text)[text.rfind('\n') + 1:]
        if tail and not any(p.fullmatch(tail) for p in OPEN_ENDS):
            problems.append('ends inside a write: %r' % tail[-80:])
        seen = out.seen.decode('latin-1')
        if not text.startswith(seen):
            problems.append('lost what was on disk before the end (%d bytes seen, %d now)'
                            % (len(seen), len(text)))
        for end in ends:
            if len(text) < end:
                problems.append('lost the lines before an effect that happened: log %d bytes, '
                                'needs %d (%r)' % (len(text), end, reference[:end][-60:]))
        return problems

    def kill_points(self, ref_size: int, ref_time: float, taskkill: bool) -> List[Point]:
        """Twenty points spread over the run: the even ones at sizes of the
        log, the odd ones at times after the log appeared (ref_time: how long
        the reference run went on after that); with taskkill, one in two of
        the timed ones through taskkill, which takes a moment of its own to
        start (under Wine longer than a whole remove-all run)."""
        points = []
        for k in range(KILLS):
            fraction = (k + 0.5) / KILLS
            if k % 2 == 0:
                points.append(Point(size=max(1, int(ref_size * fraction))))
            else:
                # A later run may well be quicker than the first one.
                points.append(Point(delay=0.8 * ref_time * fraction,
                                    taskkill=taskkill and k % 4 == 1))
        return points

    def record(self, title: str, rows: List[str], reference: str):
        lines = reference.replace('\r\n', '\n').count('\n')
        self.report.append('%s: reference log %d bytes, %d lines' % (title, len(reference), lines))
        self.report.extend('  ' + r for r in rows)

    def row(self, k: int, point: Point, out: Outcome, reference: str, problems) -> str:
        text = out.log.decode('latin-1').replace('\r\n', '\n')
        last = text.rstrip('\n').rsplit('\n', 1)[-1] if text else ''
        state = ('ended at log+%.2f s' % out.kill_time) if out.killed else 'finished first'
        return '%2d %-24s %-20s log %5d/%d bytes %3d lines, last %r%s' % (
            k + 1, point.describe(), state, len(out.log), len(reference), text.count('\n'),
            mask(last)[-50:], ('  PROBLEMS: ' + '; '.join(problems)) if problems else '')

    # ---------------------------------------------------- files as evidence

    def installed_file(self, name: str) -> Optional[str]:
        """The Unix path of the one file the product of that name installs,
        when it is there."""
        folder = os.path.join(self.host.drive_c, 'Program Files (x86)')
        prefix = re.sub(r'[^A-Za-z0-9]', '', name)[:20]
        if not os.path.isdir(folder):
            return None
        for entry in os.listdir(folder):
            if entry.startswith(prefix) and len(entry) == len(prefix) + 8:
                path = os.path.join(folder, entry, 'readme.txt')
                if os.path.exists(path):
                    return path
        return None

    def products_present(self, names) -> Dict[str, bool]:
        return {n: self.installed_file(n) is not None for n in names}

    # ------------------------------------------------------------ tests

    def test_install_run_ended_at_twenty_points(self):
        h = self.host
        record = MEDIA + '\\standins.txt'
        core = MEDIA + '\\core\\'
        alpha, bravo = new_guid(), new_guid()
        h.build_msi(core + 'alpha\\alpha.msi', {'NVProductPrefix': 'ALP'},
                    product_name='Interrupted Alpha', product_code=alpha)
        h.build_msi(core + 'bravo\\bravo.msi', {'NVProductPrefix': 'BRV'},
                    product_name='Interrupted Bravo', product_code=bravo)
        h.build_msi(core + 'fail\\fail.msi', {'NVProductPrefix': 'FAL'},
                    product_name='Interrupted Fail', launch_condition='0')
        h.install_standin(MEDIA + '\\tools\\one.exe', record=record, sleep_ms=300)
        h.install_standin(MEDIA + '\\tools\\two.exe', record=record, sleep_ms=300, exit=7)
        h.install_standin(MEDIA + '\\tools\\three.exe', record=record, sleep_ms=300)
        items = [
            (core + 'alpha\\alpha.msi', 'ADDLOCAL=ALL'),
            (MEDIA + '\\tools\\one.exe', '/quiet'),
            (core + 'fail\\fail.msi', 'ADDLOCAL=ALL'),
            (MEDIA + '\\tools\\two.exe', '/x'),
            (new_guid(), ''),
            (core + 'bravo\\bravo.msi', 'ADDLOCAL=ALL'),
            (MEDIA + '\\tools\\missing.exe', '/s'),
            (alpha, ''),
            (MEDIA + '\\tools\\three.exe', ''),
            (bravo, ''),
        ]
        response = MEDIA + '\\install.xml'
        h.write_file(response, response_file(items))
        log_win = MEDIA + '\\logs\\install.log'
        log_unix = h.unix_path(log_win)
        args = [response, '/S', '/v', 'logfile=' + log_win]
        record_unix = h.unix_path(record)
        names = ['Interrupted Alpha', 'Interrupted Bravo']

        def fresh_record():
            if os.path.exists(record_unix):
                os.remove(record_unix)

        fresh_record()
        ref = self.runner.run(self.program, args, log_unix)
        reference = ref.log.decode('latin-1')
        self.assertTrue(ref.exit_text.startswith('exit 1605 '), ref.exit_text)
        self.assertTrue(mask(reference).endswith('\r\n##/##/## ##:##:## done.'), reference[-200:])
        for n in range(1, len(items) + 1):
            self.assertIn(' PRODUCT%d ' % n, reference)
        self.assertEqual(self.products_present(names), {n: False for n in names})

        def offset_after(text: str, occurrence: int = 1) -> int:
            at = -1
            for _ in range(occurrence):
                at = reference.index(text, at + 1)
            return at + len(text)

        # Effects and the lines that must precede them.
        standin_lines = {
            'one.exe': offset_after('Launching: %s\\tools\\one.exe /quiet\r\n\r\n' % MEDIA),
            'two.exe': offset_after('Launching: %s\\tools\\two.exe /x\r\n\r\n' % MEDIA),
            'three.exe': offset_after('Launching: %s\\tools\\three.exe \r\n\r\n' % MEDIA),
        }
        install_lines = {
            'Interrupted Alpha': offset_after('Launching: ADDLOCAL=ALL\r\n\r\n', 1),
            'Interrupted Bravo': offset_after('Launching: ADDLOCAL=ALL\r\n\r\n', 3),
        }
        removal_lines = {
            'Interrupted Alpha': offset_after('Product Interrupted Alpha is being uninstalled.\r\n'),
            'Interrupted Bravo': offset_after('Product Interrupted Bravo is being uninstalled.\r\n'),
        }

        rows, failures = [], []
        for k, point in enumerate(self.kill_points(len(ref.log), ref.duration - ref.log_after,
                                                                 taskkill=True)):
            fresh_record()
            before = self.products_present(names)
            out = self.runner.run(self.program, args, log_unix, point)
            after = self.products_present(names)
            ends = []
            for e in h.standin_events(record):
                if e.kind == 'start':
                    exe = e.fields[0].lower().rsplit('\\', 1)[-1]
                    ends.append(standin_lines[exe])
            for n in names:
                if not before[n] and after[n]:
                    ends.append(install_lines[n])
                if before[n] and not after[n]:
                    ends.append(removal_lines[n])
            problems = self.check_prefix(reference, out, ends)
            rows.append(self.row(k, point, out, reference, problems))
            if problems:
                failures.append('kill %d (%s): %s' % (k + 1, point.describe(), problems))
        # A whole run after all of them: the same log again, and nothing
        # left installed for the suite's other tests.
        fresh_record()
        last = self.runner.run(self.program, args, log_unix)
        self.record('install run', rows, reference)
        self.assertEqual(failures, [])
        self.assertEqual(mask(last.log.decode('latin-1')), mask(reference))
        self.assertEqual(self.products_present(names), {n: False for n in names})
        self.assertGreaterEqual(sum(1 for r in rows if 'ended at' in r), KILLS - 5,
                                'too few runs were ended before they finished')

    def test_remove_all_run_ended_at_twenty_points(self):
        h = self.host
        products = [
            # (key, name, publisher, title, removal refused)
            ('alpha', 'Removal Alpha', 'Norvasoft Inc.', 'Alpha Title', False),
            ('bravo', 'Removal Bravo', 'Norvasoft Inc.', 'Bravo Title', False),
            ('charlie', 'Removal Charlie', 'Norvasoft Inc.', 'Charlie Title', False),
            ('delta', 'Removal Delta', 'Norvasoft Inc.', 'Delta Refuses', True),
            ('echo', 'Removal Echo', 'Norvasoft Inc.', 'Echo Title', False),
            ('foxtrot', 'Removal Foxtrot', 'Norvasoft Inc.', 'Foxtrot Title', False),
            ('other', 'Removal Other', 'ACME', 'Other Title', False),
        ]
        paths = {}
        for key, name, publisher, title, refused in products:
            paths[name] = 'C:\\RAPKG\\%s.msi' % key
            h.build_msi(paths[name], {'NVProductTitle': title, 'NVProductPrefix': key.upper()},
                        product_name=name, manufacturer=publisher, product_code=new_guid(),
                        launch_condition='NOT REMOVE OR ALLOWREMOVE' if refused else None)
        names = [p[1] for p in products]
        suite = [p[1] for p in products if p[2] != 'ACME']
        log_win = MEDIA + '\\logs\\removeall.log'
        log_unix = h.unix_path(log_win)
        restore_log = MEDIA + '\\logs\\restore.log'

        def restore(ended: Optional[Outcome] = None):
            """Installs again, in one run of the program, the products that
            are not (wholly) there, and the one whose removal the ended run
            was in the middle of (which may have lost its registration but
            not yet its file)."""
            missing = [n for n, present in self.products_present(names).items() if not present]
            if ended is not None:
                text = ended.log.decode('latin-1')
                for n in suite:
                    line = 'Product %s is being uninstalled.\r\n' % titles[n]
                    if text.endswith(line) and n not in missing:
                        missing.append(n)
            if not missing:
                return
            response = MEDIA + '\\restore.xml'
            h.write_file(response, response_file([(paths[n], 'ADDLOCAL=ALL') for n in missing]))
            out = self.runner.run(self.program, [response, '/S', 'logfile=' + restore_log],
                                  h.unix_path(restore_log))
            self.assertTrue(out.exit_text.startswith('exit 0 '), out.log.decode('latin-1'))
            still = [n for n, present in self.products_present(names).items() if not present]
            self.assertEqual(still, [], 'not installed again')

        titles = {p[1]: p[3] for p in products}
        restore()
        args = ['/removeall', '/S', 'logfile=' + log_win]
        ref = self.runner.run(self.program, args, log_unix)
        reference = ref.log.decode('latin-1')
        # A refused removal fails the run with its result.
        self.assertTrue(ref.exit_text.startswith('exit 1603 '), ref.exit_text)
        self.assertIn('Number of products found: %d \r\n' % len(suite), reference)
        self.assertTrue(mask(reference).endswith('##/##/## ##:##:## done.'), reference[-200:])
        present = self.products_present(names)
        self.assertEqual([n for n in names if present[n]], ['Removal Delta', 'Removal Other'])
        removal_lines = {n: reference.index('Product %s is being uninstalled.\r\n' % titles[n])
                         + len('Product %s is being uninstalled.\r\n' % titles[n])
                         for n in suite}

        rows, failures = [], []
        out = None
        for k, point in enumerate(self.kill_points(len(ref.log), ref.duration - ref.log_after,
                                                                 taskkill=False)):
            restore(out)
            out = self.runner.run(self.program, args, log_unix, point)
            after = self.products_present(names)
            ends = [removal_lines[n] for n in suite if not after[n]]
            problems = self.check_prefix(reference, out, ends)
            if after['Removal Other'] is False or after['Removal Delta'] is False:
                problems.append('removed a product that stays')
            if problems:
                problems.append('installed now: %r' % sorted(
                    name for name, _ in h.installed_products().values()))
            rows.append(self.row(k, point, out, reference, problems))
            if problems:
                failures.append('kill %d (%s): %s' % (k + 1, point.describe(), problems))
        self.record('remove-all run', rows, reference)
        self.assertEqual(failures, [])
        self.assertGreaterEqual(sum(1 for r in rows if 'ended at' in r), KILLS - 5,
                                'too few runs were ended before they finished')

    def test_run_ended_while_walking_the_alternative_source(self):
        """The item's header, its action line, the missing-file line and the
        line that announces the walk are written before the walk, so a run
        ended during a long walk shows which item it was working on."""
        h = self.host
        alt = MEDIA + '\\alt'
        alt_unix = h.unix_path(alt)
        # 40,200 folders: each is listed once and none is probed, so even
        # on a quiet machine the walk takes a few seconds.
        for i in range(200):
            for j in range(200):
                os.makedirs(os.path.join(alt_unix, 'd%03d' % i, 'e%03d' % j), exist_ok=True)
        package = 'x:\\media\\core\\gone\\gone.msi'
        response = MEDIA + '\\walk.xml'
        h.write_file(response, response_file([(package, 'ADDLOCAL=ALL')]))
        log_win = MEDIA + '\\logs\\walk.log'
        log_unix = h.unix_path(log_win)
        # With /v the media search before the item's header ends with this
        # line; the walk follows within milliseconds and takes seconds.
        searched = b"*** gone.msi wasn't found any where!\r\n"
        point = Point(delay=1.0, marker=searched)
        out = self.runner.run(self.program, [response, '/S', '/v', 'altsource=' + alt,
                                             'logfile=' + log_win], log_unix, point)
        text = out.log.decode('latin-1').replace('\r\n', '\n')
        self.report.append('walk: %s, %s; log ends %r' % (
            point.describe(), 'ended' if out.killed else 'finished first', text[-300:]))
        self.assertTrue(out.killed, 'the run ended before the point: ' + text)
        self.assertNotIn('Giving up', text, 'the walk was over before the run was ended; '
                         'a larger tree is needed')
        after = text[text.index(searched.decode('latin-1').replace('\r\n', '\n')):]
        self.assertRegex(after, r"^\*\*\* gone\.msi wasn't found any where!\n"
                         r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d PRODUCT1 x:\\media\\core\\gone\\gone\.msi "
                         r"launched\.\n"
                         r"Product  is being installed/modified/repaired\.\n"
                         r"File x:\\media\\core\\gone\\gone\.msi was not found\.\n\n"
                         r"looking for \\gone\.msi under [^\n]*\n$")


if __name__ == '__main__':
    winehost.main()
