"""End to end: /removeall on products that the tests install first.

The products are small packages built with wixl and installed with
msiexec: the suite's own under several spellings of the maker's name, and
two that look like the suite's but are not published by its maker. Each
test brings the computer to the set of suite products it needs (installing
what is missing, removing the rest with msiexec) and then checks one run of
the program through everything it leaves behind: the exit code, the run log
(compared whole, time stamps checked and masked), the removals in the
relay trace, the Windows Installer logs, the status MIF records of the
stand-in ismif32.dll, the suite's folders, the products that Windows
Installer still reports, and the restart request.

A restart request (ExitWindowsEx with EWX_REBOOT) makes Wine run
"wineboot --end-session" in the prefix: it ends the desktop process a
moment after the program has ended and, as a restart would, runs and
deletes the RunOnce values. The tests wait for it to be over before they
touch the prefix again.
"""

import glob
import os
import re
import sys
import time
import unittest
from dataclasses import dataclass
from typing import Dict, List, Optional

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import new_guid  # noqa: E402

STAMP = '<STAMP>'
STAMP_RE = re.compile(r'(\d\d/\d\d/\d\d \d\d:\d\d:\d\d) done\.')
STATUS_TEMPLATE = 101
STATUS_TEXT_ID, STEP_TEXT_ID = 1001, 1002
EWX_REBOOT = 0x2
IDNO = 7
RUN_ONCE = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce'
INSTALL_FAILURE = 1603
REBOOT_REQUIRED = 3010
REMOVE_COMMAND_LINE = ('REBOOT=ReallySuppress REMOVE=ALL UILevel=2 SETUPTYPE=Server '
                       'COMPATVALIDATED=1')
REBOOT_QUESTION = ('The installer should reboot the computer. Would you like to reboot the '
                   'computer now? \n NOTE: If the computer is not rebooted automatically, please '
                   'be sure to reboot from the Start menu.')
# The removal of a product with this launch condition fails with 1603
# unless ALLOWREMOVE is set, which only the tests' own clean-up does.
REMOVAL_REFUSED = 'NOT REMOVE OR ALLOWREMOVE'

START_MENU = 'C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs'
# The program sees the Program Files folders as the 32-bit program it is on
# 64-bit Windows: both of its uninstaller folders are the one below
# "Program Files (x86)", where it also places the uninstaller.
SUITE_FOLDERS = [
    START_MENU + '\\Norvasoft',
    START_MENU + '\\Norva Configuration',
    'C:\\Program Files (x86)\\Norvasoft\\Setup\\Uninstall',
]
# Next to the suite's folders, or out of the program's sight, and never
# removed.
FOLDERS_KEPT = ['C:\\Program Files\\Norvasoft\\Setup\\Uninstall']
NEIGHBOURS = [
    START_MENU + '\\Norvasoft Tools\\Tools.lnk',
    'C:\\Program Files\\Norvasoft\\Setup\\setup.ini',
    'C:\\Program Files (x86)\\Norvasoft\\Setup\\setup.ini',
]

LONG_TITLE = 'Lengthy ' + 'x' * 992
LONG_PUBLISHER = 'p' * 1995 + 'NorVa'


@dataclass
class Package:
    key: str
    product_name: str
    publisher: str
    title: Optional[str] = None     # NVProductTitle; None: no such property
    prefix: Optional[str] = None    # NVProductPrefix; None: no such property
    condition: Optional[str] = None
    reboot: bool = False
    suite: bool = True              # published by the maker


PACKAGES = [
    Package('alpha', 'Norvasoft Alpha', 'Norvasoft Inc.', title='  Alpha Suite   ',
            prefix='ALP'),
    # A title of blanks alone gives way to the product name.
    Package('blank', 'Beta Blank', 'NORVASOFT', title='    '),
    Package('delta', 'Norvasoft Delta', 'Norvasoft Inc.', title='Delta Restart', prefix='DLT',
            reboot=True),
    Package('gamma', 'Norvasoft Gamma', 'Norvasoft Inc.', title='Gamma Fails', prefix='GAM',
            condition=REMOVAL_REFUSED),
    Package('long', 'Norvasoft Long', LONG_PUBLISHER, title=LONG_TITLE),
    Package('twin1', 'Norvasoft Twin One', 'ACME Norvasoftware', title='Twin Tool',
            prefix='TW1'),
    Package('twin2', 'Norvasoft Twin Two', 'NORVASOFT', title=' Twin Tool', prefix='TW2'),
    Package('zeta', 'Zeta Named', 'Norvasoft Inc.'),
    Package('lower', 'Norvasoft Lower', 'Norvasoft Inc.', title='beta lower'),
    # Not the suite's, whatever the titles say.
    Package('acme', 'Norvasoft Suite Companion', 'ACME', title='Norvasoft Suite Companion',
            prefix='ACM', suite=False),
    Package('split', 'Norva Lookalike', 'NOR-VA Labs', title='Norva Lookalike', suite=False),
]
SUITE = [p.key for p in PACKAGES if p.suite]

TITLES = {
    'alpha': 'Alpha Suite', 'blank': 'Beta Blank', 'delta': 'Delta Restart',
    'gamma': 'Gamma Fails', 'long': LONG_TITLE, 'twin1': 'Twin Tool', 'twin2': 'Twin Tool',
    'zeta': 'Zeta Named', 'lower': 'beta lower',
}
RESULTS = {'delta': REBOOT_REQUIRED, 'gamma': INSTALL_FAILURE}


# ------------------------------------------------------ run-log pieces


HEAD = ('Norvasoft Silent Uninstaller will uninstall all norvasoft products in the system. \n'
        'Finding Norvasoft products... \n')


def count_lines(n: int) -> str:
    return 'Number of products found: %d \n\n' % n + 'Starting Uninstall... \n\n'


def removal(i: int, n: int, title: str, rc: int) -> str:
    text = 'Uninstalling product: %d of: %d \n\n' % (i, n)
    text += 'Product %s is being uninstalled.\n' % title
    if rc == 0:
        text += 'Uninstall launched succesfully.\n'
    elif rc == REBOOT_REQUIRED:
        text += 'Reboot was requested. Return value is %d' % rc
    else:
        text += 'There was a problem in launching the install. Return value is %d' % rc
    return text + '\n' + '\n\n'


def expected_log(titles_and_results, noreboot: bool = False) -> str:
    n = len(titles_and_results)
    body = HEAD + count_lines(n)
    if not n:
        body += 'No Norvasoft products were found.\n'
    for i, (title, rc) in enumerate(titles_and_results, 1):
        body += removal(i, n, title, rc)
    body += STAMP + ' done.'
    if any(rc == REBOOT_REQUIRED for _, rc in titles_and_results):
        body += ('A restart is needed; not restarting because of /noreboot.\n' if noreboot
                 else 'Rebooting machine.')
    return body


# -------------------------------------------------------------- the suite


class RemoveAllTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()
        cls.program = cls.host.install_program('C:\\RA')
        with open(cls.host.status_mif_library, 'rb') as src:
            cls.host.write_file('C:\\RA\\ismif32.dll', src.read())
        cls.codes: Dict[str, str] = {}
        cls.paths: Dict[str, str] = {}
        for p in PACKAGES:
            properties = {}
            if p.title is not None:
                properties['NVProductTitle'] = p.title
            if p.prefix is not None:
                properties['NVProductPrefix'] = p.prefix
            code = new_guid()
            path = 'C:\\pkgs\\%s.msi' % p.key
            cls.host.build_msi(path, properties, product_name=p.product_name,
                               manufacturer=p.publisher, product_code=code,
                               launch_condition=p.condition, schedule_reboot=p.reboot)
            cls.codes[p.key], cls.paths[p.key] = code, path
        for p in PACKAGES:
            if not p.suite:
                rc = cls.host.msiexec('/i', cls.paths[p.key], '/qn')
                if rc != 0:
                    raise RuntimeError('msiexec /i %s: %r' % (cls.paths[p.key], rc))

    def setUp(self):
        self.host.clear_run_logs()
        for path in glob.glob(os.path.join(glob.escape(self.host.temp_dir), 'Msi*.log')):
            os.remove(path)

    # ---------------------------------------------------------- helpers

    def bring_suite_to(self, keys) -> Dict[str, tuple]:
        """Installs the suite products named and removes the others; returns
        what Windows Installer then reports, in its enumeration order."""
        installed = self.host.installed_products()
        for key in SUITE:
            code, present = self.codes[key], self.codes[key] in installed
            if key in keys and not present:
                rc = self.host.msiexec('/i', self.paths[key], '/qn')
            elif key not in keys and present:
                rc = self.host.msiexec('/x', code, '/qn', 'ALLOWREMOVE=1')
            else:
                continue
            self.assertIn(rc, (0, REBOOT_REQUIRED), 'msiexec on %s' % key)
        installed = self.host.installed_products()
        wanted = set(keys) | {p.key for p in PACKAGES if not p.suite}
        self.assertEqual(self.keys_of(installed), sorted(wanted))
        return installed

    def keys_of(self, installed) -> List[str]:
        by_code = {code: key for key, code in self.codes.items()}
        return sorted(by_code.get(code, code) for code in installed)

    def make_suite_folders(self):
        """The suite's folders with files in them (one read-only, one in a
        nested folder), and neighbours that must stay."""
        for folder in SUITE_FOLDERS + FOLDERS_KEPT:
            self.host.write_file(folder + '\\Entry.lnk', 'link')
            self.host.write_file(folder + '\\nested\\deeper\\data.bin', b'\0\1\2')
            locked = self.host.write_file(folder + '\\nested\\readonly.txt', 'read only')
            os.chmod(locked, 0o444)
        for path in NEIGHBOURS:
            self.host.write_file(path, 'stays')

    def assert_folders(self, present: bool):
        for folder in SUITE_FOLDERS + FOLDERS_KEPT:
            unix = self.host.unix_path(folder)
            if present or folder in FOLDERS_KEPT:
                data = os.path.join(unix, 'nested', 'deeper', 'data.bin')
                self.assertTrue(os.path.exists(data), 'removed: ' + folder)
                with open(data, 'rb') as f:
                    self.assertEqual(f.read(), b'\0\1\2', folder)
                self.assertTrue(os.path.exists(os.path.join(unix, 'nested', 'readonly.txt')))
            else:
                self.assertFalse(os.path.exists(unix), 'still there: ' + folder)
        for path in NEIGHBOURS:
            self.assertTrue(os.path.exists(self.host.unix_path(path)), 'removed: ' + path)

    def run_removeall(self, args, answers=(), mif: Optional[str] = None):
        env = {'NV_MIF_RECORD': mif} if mif else None
        result = self.host.run(self.program, ['/removeall'] + list(args), cwd='C:\\RA',
                               timeout=180, answers=answers, env=env)
        if result.calls('ExitWindowsEx'):
            self.wait_for_session_end()
        return result

    def set_reboot_marker(self, present: bool):
        """Adds or deletes the restart marker that the suite's products leave.
        The program reads the registry as the 32-bit program it is, so the
        marker goes into the 32-bit view."""
        if present:
            rc, _ = self.host.execute('reg', ['add', RUN_ONCE, '/v', 'NorvasoftReboot', '/d',
                                              'cmd /c rem', '/f', '/reg:32'])
            self.assertEqual(rc, 0, 'reg add')
        else:
            self.host.execute('reg', ['delete', RUN_ONCE, '/v', 'NorvasoftReboot', '/f',
                                      '/reg:32'])

    def wine_processes(self) -> List[str]:
        """Command lines of the processes that run in the suite's prefix."""
        found = []
        marker = ('WINEPREFIX=' + self.host.prefix).encode()
        for folder in glob.glob('/proc/[0-9]*'):
            try:
                with open(folder + '/environ', 'rb') as f:
                    if marker not in f.read().split(b'\0'):
                        continue
                with open(folder + '/cmdline', 'rb') as f:
                    found.append(f.read().replace(b'\0', b' ').decode('latin-1'))
            except OSError:
                pass
        return found

    def wait_for_session_end(self):
        """After a restart request Wine's wineboot ends the session: it ends
        the desktop process about a second after the program. Waits until
        wineboot has gone and, for a few seconds, for the desktop process to
        go, so that neither can take the next helper with it."""
        def running(what):
            return [c for c in self.wine_processes() if what in c.lower()]
        deadline = time.time() + 30
        while running('wineboot'):
            if time.time() > deadline:
                self.fail('wineboot did not end: %r' % running('wineboot'))
            time.sleep(0.2)
        deadline = time.time() + 5
        while running('explorer.exe /desktop') and time.time() < deadline:
            time.sleep(0.2)

    def run_log(self, result) -> str:
        """The run's one default run log: every line end CR LF on disk, the
        closing time stamp within the run and echoed on the standard output,
        then masked. Returned with LF line ends."""
        logs = self.host.run_logs()
        self.assertEqual(len(logs), 1, 'run logs: %r\n%s' % (logs, result.describe()))
        with open(logs[0], 'rb') as f:
            raw = f.read().decode('latin-1')
        self.assertNotIn('\n', raw.replace('\r\n', ''), 'a line end without CR')
        self.assertNotIn('\r', raw.replace('\r\n', ''), 'a CR without line end')
        text = raw.replace('\r\n', '\n')
        stamps = STAMP_RE.findall(text)
        self.assertEqual(len(stamps), 1, text[-300:])
        self.assertTrue(winehost.stamp_within(stamps[0], result.started, result.ended),
                        'stamp outside the run: ' + stamps[0])
        date, time_of_day = stamps[0].split(' ')
        self.assertEqual(result.stdout.decode('latin-1').replace('\r\n', '\n'),
                         '\t\t\t\t%s\n \t\t\t\t%s\n' % (date, time_of_day))
        return STAMP_RE.sub(STAMP + ' done.', text)

    def removals(self, result) -> List[str]:
        """The product codes of the traced MsiConfigureProductExA calls, each
        checked for the removal's arguments."""
        codes = []
        for call in result.calls('MsiConfigureProductExA'):
            code, level, state, command_line = call.args[:4]
            self.assertEqual((level.value, state.value), (65535, 2), code.text)
            self.assertEqual(command_line.text, REMOVE_COMMAND_LINE)
            codes.append(code.text)
        return codes

    def expected_order(self, keys, installed) -> List[str]:
        """The keys in removal order: ascending title by character code; equal
        titles in the order Windows Installer enumerates them."""
        enumerated = list(installed)
        return sorted(keys, key=lambda k: (TITLES[k].encode('latin-1'),
                                           enumerated.index(self.codes[k])))

    def mif_records(self, record: str):
        path = self.host.unix_path(record)
        if not os.path.exists(path):
            return []
        with open(path, 'rb') as f:
            text = f.read().decode('latin-1')
        return [tuple(line.split('\t')) for line in text.split('\r\n') if line]

    def msi_logs(self) -> Dict[str, str]:
        """The Windows Installer logs in the temporary folder: name -> text."""
        logs = {}
        for path in glob.glob(os.path.join(glob.escape(self.host.temp_dir), 'Msi*.log')):
            with open(path, 'rb') as f:
                data = f.read()
            logs[os.path.basename(path)] = (data.decode('utf-16-le', 'replace')
                                            if data[1:2] == b'\0' else data.decode('latin-1'))
        return logs

    def assert_ended_with(self, result, code: int = 0):
        """The remove-all run ended with code: 0, or the last failed
        removal's result. The end of the session that Wine plays after a
        restart request could end the launcher before it reports; only then
        is a lost exit code let pass."""
        self.assertFalse(result.timed_out, 'the run did not end\n' + result.describe())
        if result.exit_code is None and getattr(result, 'runner_lost', False):
            self.assertTrue(result.calls('ExitWindowsEx'), result.describe())
            return
        self.assertEqual(result.exit_code, code, result.describe())

    def assert_quiet(self, result):
        self.assertEqual(result.message_boxes, [], result.describe())
        self.assertEqual(result.titled_dialogs, [], result.describe())

    def status_window_created(self, result) -> bool:
        return any(len(c.args) > 1 and c.args[1].value == STATUS_TEMPLATE
                   for c in result.calls('CreateDialogParamA', 'CreateDialogParamW'))

    # ------------------------------------------------------------ tests

    def test_silent_run_removes_every_suite_product_in_title_order(self):
        installed = self.bring_suite_to(SUITE)
        self.make_suite_folders()
        mif = 'C:\\RA\\silent-mif.txt'
        order = self.expected_order(SUITE, installed)
        self.assertEqual([TITLES[k] for k in order][:5],
                         ['Alpha Suite', 'Beta Blank', 'Delta Restart', 'Gamma Fails',
                          LONG_TITLE])
        self.assertEqual(order[-2:], ['zeta', 'lower'])

        # /noreboot keeps the computer running although a removal asked for a
        # restart; /M without /I reports nothing. Gamma's removal failed.
        result = self.run_removeall(['/L', '/M', '/noreboot'], mif=mif)

        self.assert_ended_with(result, INSTALL_FAILURE)
        self.assert_quiet(result)
        self.assertFalse(self.status_window_created(result), 'status window in silent mode')
        self.assertEqual(self.removals(result), [self.codes[k] for k in order])
        self.assertEqual(self.run_log(result), expected_log(
            [(TITLES[k], RESULTS.get(k, 0)) for k in order], noreboot=True))
        self.assertEqual(result.calls('ExitWindowsEx'), [], result.describe())
        self.assertEqual(self.mif_records(mif), [])

        # The failed one and those of other publishers are still there.
        after = self.host.installed_products()
        self.assertEqual(self.keys_of(after), ['acme', 'gamma', 'split'])
        self.assert_folders(present=False)

        # One log per prefix; products without one share Msi.log, each asking
        # to add to what the one before wrote (INSTALLLOGATTRIBUTES_APPEND).
        # Wine's msi.dll takes the flag but writes from the file's start, so
        # only the last writer is sure to be found there; the others may be.
        logs = self.msi_logs()
        self.assertEqual(sorted(logs), ['Msi.log', 'MsiALP.log', 'MsiDLT.log', 'MsiGAM.log',
                                        'MsiTW1.log', 'MsiTW2.log'])
        owners = {'Msi.log': 'lower', 'MsiALP.log': 'alpha', 'MsiDLT.log': 'delta',
                  'MsiGAM.log': 'gamma', 'MsiTW1.log': 'twin1', 'MsiTW2.log': 'twin2'}
        sharing = ['blank', 'long', 'zeta', 'lower']
        for name, key in owners.items():
            self.assertIn(self.codes[key], logs[name], '%s is not the log of %s' % (name, key))
            for other in SUITE:
                if other != key and not (name == 'Msi.log' and other in sharing):
                    self.assertNotIn(self.codes[other], logs[name], name)

    def test_interactive_run_reports_each_removal_and_the_user_declines_the_restart(self):
        installed = self.bring_suite_to(['alpha', 'delta', 'gamma'])
        self.make_suite_folders()
        mif = 'C:\\RA\\interactive-mif.txt'
        # With the marker present the run's own reboot decision asks again
        # after the remove-all driver has asked.
        self.set_reboot_marker(True)
        self.addCleanup(self.set_reboot_marker, False)

        result = self.run_removeall(['/I', '/M'], mif=mif,
                                    answers=['Norvasoft Installer::btn:%d' % IDNO] * 2)

        self.assert_ended_with(result, INSTALL_FAILURE)
        order = self.expected_order(['alpha', 'delta', 'gamma'], installed)
        self.assertEqual(order, ['alpha', 'delta', 'gamma'])
        self.assertEqual(self.removals(result), [self.codes[k] for k in order])
        self.assertEqual(self.run_log(result), expected_log(
            [(TITLES[k], RESULTS.get(k, 0)) for k in order]))

        # The question, asked twice and answered No each time: no restart.
        boxes = result.message_boxes
        self.assertEqual(len(boxes), 2, result.describe())
        for box in boxes:
            self.assertEqual((box.caption, box.flags, box.result),
                             ('Norvasoft Installer', winehost.MB_QUESTION_FLAGS, IDNO))
            self.assertTrue(box.text_agrees_with(REBOOT_QUESTION), box.text)
        self.assertEqual(result.calls('ExitWindowsEx'), [])
        self.assertTrue(self.status_window_created(result), result.describe())
        # The status text names each product in turn (the dialog bot samples
        # it, so it may miss one, and may see it still empty at first); the
        # step text stays empty. Samples taken while the window was being
        # built or destroyed lack one of the two.
        status = [d for d in result.dialogs if d.control(STATUS_TEXT_ID)]
        self.assertEqual(len(status), 1, result.describe())
        samples = [s for s in [status[0].controls] + status[0].updates
                   if {STATUS_TEXT_ID, STEP_TEXT_ID} <= {c.id for c in s}]
        texts = [c.text for s in samples for c in s if c.id == STATUS_TEXT_ID]
        named = [t for t in texts if t]
        self.assertTrue(named, result.describe())
        self.assertEqual(texts, [''] * (len(texts) - len(named)) + named)
        expected_texts = ["Norvasoft Installer is uninstalling '%s'. Please wait..." % TITLES[k]
                          for k in order]
        for text in named:
            self.assertIn(text, expected_texts)
        positions = [expected_texts.index(t) for t in named]
        self.assertEqual(positions, sorted(positions))
        steps = [c.text for s in samples for c in s if c.id == STEP_TEXT_ID]
        self.assertEqual(steps, [''] * len(steps))

        # Removals are reported with the removal wording and no version.
        self.assertEqual(self.mif_records(mif), [
            (TITLES[k], 'Norvasoft', TITLES[k], '', 'ENU', '<null>',
             'Uninstallation Failure' if k == 'gamma' else 'Uninstallation Successful',
             '0' if k == 'gamma' else '1') for k in order])
        self.assertEqual(self.msi_logs(), {})
        self.assertEqual(self.keys_of(self.host.installed_products()),
                         ['acme', 'gamma', 'split'])
        self.assert_folders(present=False)

    def test_computer_without_suite_products_is_left_alone(self):
        self.bring_suite_to([])
        self.make_suite_folders()
        mif = 'C:\\RA\\empty-mif.txt'

        result = self.run_removeall(['/I', '/M', '/L'], mif=mif)

        self.assert_ended_with(result)
        self.assert_quiet(result)
        self.assertEqual(self.run_log(result), expected_log([]))
        self.assertIn('Number of products found: 0 \n\n', expected_log([]))
        self.assertEqual(result.calls('MsiConfigureProductExA'), [])
        self.assertEqual(result.calls('ExitWindowsEx'), [])
        self.assertEqual(self.mif_records(mif), [])
        self.assertEqual(self.msi_logs(), {})
        self.assert_folders(present=True)
        self.assertEqual(self.keys_of(self.host.installed_products()), ['acme', 'split'])


if __name__ == '__main__':
    winehost.main()
