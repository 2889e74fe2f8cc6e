"""End to end: the start-up busy check, the uninstaller deployment after the
item loop, and the restart decision at the very end of a run.

The program runs under Wine. What it did is read from the exit code, the
run log (its tail compared whole, time stamps masked), the files and
shortcuts it left (read back by the shellinfo helper, through the same
shell interfaces a Windows program uses), the registry, and the relay trace
(process starts, the shutdown privilege, ExitWindowsEx, message boxes).

Wine facts these tests rely on (Wine 8):
- "net stop msiserver" ends with 1 when the service is not running, so the
  busy check goes on to look for msiexec.exe; with the service running it
  ends with 0. A program missing from the system folder is not started.
- ExitWindowsEx(EWX_REBOOT) returns TRUE at once and leaves the rest to a
  "wineboot --end-session" it starts: that ends the processes that have
  top-level windows (the program has none left by then and has ended
  anyway), then plays a start of Windows, which runs and deletes the
  RunOnce values of both registry views. A marker whose data names a
  stand-in therefore leaves a record when a restart was requested; the
  harness waits for that sequence after each run.
- kernel32.dll carries the version of the Windows that Wine plays; the
  suite reads it and expects the shortcut folder that goes with it.
- The OS variable comes from the registry's system environment, set over
  the Unix one: the tests change it there.
"""

import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import (IDNO, IDOK, IDYES, MB_ICONINFORMATION, MB_OK,  # noqa: E402
                      MB_QUESTION_FLAGS)

CAPTION = 'Norvasoft Installer'
BUSY = ('An error was encountered.  Please ensure that no other installations are currently '
        'running before proceeding with this install.')
QUESTION = ('The installer should reboot the computer. Would you like to reboot the computer now? '
            '\n NOTE: If the computer is not rebooted automatically, please be sure to reboot from '
            'the Start menu.')
EWX_REBOOT = 0x2
# SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
# SHTDN_REASON_FLAG_PLANNED
PLANNED_INSTALLATION = 0x80040002
CREATE_NO_WINDOW = 0x08000000
STATUS_TEMPLATE = 101

SETUP_KEY = r'Software\Norvasoft\Setup'
RUNONCE_KEY = r'Software\Microsoft\Windows\CurrentVersion\RunOnce'
MARKER = 'NorvasoftReboot'

CSIDL_COMMON_PROGRAMS = '0x17'
CSIDL_PROGRAM_FILESX86 = '0x2a'
SHORTCUT = 'Uninstall Norvasoft Software.lnk'
MEDIA_UNINSTALLER = 'core\\Uninstaller\\Norvasoft Uninstaller.exe'
UNINSTALL_FOLDER = 'Setup\\Uninstall\\'
INSTALLED_NAME = 'Norvasoft Uninstaller.exe'
EARLIER_NAME = 'PUninst.exe'

STAMP = '<STAMP>'
STAMP_RE = re.compile(r'(?m)^(\d\d/\d\d/\d\d \d\d:\d\d:\d\d) ')
CLOSING = STAMP + ' done.'


def response_file(items) -> str:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


def deployment_log(installed: str, media: str, folder: str = None) -> str:
    """The uninstaller lines of a run log: the versions found and, when a
    shortcut folder is given, the lines of a copy."""
    text = ('Uninstall exe found, and current version is: ' + installed
            + '\n Unistaller current ver :%s Version in the media :%s\n' % (installed, media))
    if folder is not None:
        text += ('Norvasoft Installer is configuring the Uninstaller \n'
                 + "Creating shortcut under '%s' \n" % folder)
    return text


def shortcut_fields(target: str):
    """What shellinfo reads from the uninstaller shortcut: the target and
    the description, and nothing else set (no arguments, working folder,
    icon or hot key; the default show command)."""
    return ['ok', target, 'Norvasoft Uninstaller', '', '', '', '0', '0', '1']


def version_key(text: str):
    return tuple(int(part) for part in text.split('.'))


class FinishTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()
        kernel, programs, x86 = cls.host.shell_info(
            ('version', 'C:\\windows\\system32\\kernel32.dll'),
            ('folder', CSIDL_COMMON_PROGRAMS), ('folder', CSIDL_PROGRAM_FILESX86))
        cls.kernel_version = kernel[0]
        # Windows 8 and later carry a kernel32.dll version above 6.2.0.0.
        cls.shortcut_folder = ('Norva Configuration'
                               if version_key(cls.kernel_version) > (6, 2, 0, 0)
                               else 'Norvasoft\\Norva Configuration')
        cls.programs = programs[0]
        # The 64-bit build asks for Program Files as the 32-bit program sees it.
        cls.default_root = x86[0] + '\\Norvasoft\\'

    def setUp(self):
        self.host.clear_run_logs()

    # ---------------------------------------------------------- helpers

    def media(self, folder: str, uninstaller_version=None, items=None, record=None):
        """A media folder with the program, one program item (a stand-in
        under core\\tools) and, unless uninstaller_version is False, the
        uninstaller at its place in the core folder (None: one without a
        version resource). Returns (program path, response path, items)."""
        program = self.host.install_program(folder)
        if items is None:
            tool = self.host.install_standin(folder + '\\core\\tools\\tool.exe',
                                             **({'record': record} if record else {}))
            items = [(tool, '')]
        if uninstaller_version is not False:
            self.host.place_uninstaller(folder + '\\' + MEDIA_UNINSTALLER, uninstaller_version)
        response = folder + '\\resp.xml'
        self.host.write_file(response, response_file(items))
        return program, response, items

    def started(self, record: str) -> int:
        """How many stand-ins recording to record have started."""
        return len([e for e in self.host.standin_events(record) if e.kind == 'start'])

    def run_media(self, program, response, args=(), answers=(), cwd=None, timeout=60):
        return self.host.run(program, [response] + list(args), cwd=cwd or program.rsplit('\\', 1)[0],
                             answers=answers, timeout=timeout)

    def run_log(self, result) -> str:
        """The run's one default run log, CR LF checked, time stamps checked
        against the run and masked; LF line ends."""
        logs = self.host.run_logs()
        self.assertEqual(len(logs), 1, 'run logs: %r\n%s' % (logs, result.describe()))
        with open(logs[0], 'rb') as f:
            raw = f.read().decode('latin-1')
        self.assertNotIn('\n', raw.replace('\r\n', ''), 'a line end without CR')
        text = raw.replace('\r\n', '\n')
        for stamp in STAMP_RE.findall(text):
            self.assertTrue(winehost.stamp_within(stamp, result.started, result.ended),
                            'stamp outside the run: ' + stamp)
        return STAMP_RE.sub(STAMP + ' ', text)

    def assert_finished(self, result, code: int = 0):
        self.assertFalse(result.timed_out, 'the run did not end\n' + result.describe())
        self.assertFalse(result.runner_lost, 'the run was ended from outside\n' + result.describe())
        self.assertEqual(result.exit_code, code, result.describe())

    def assert_deployment(self, result, tail: str):
        """A finished silent run of a one-program-item media whose log ends
        with these uninstaller lines and the closing line."""
        self.assert_finished(result)
        self.assertEqual(result.message_boxes, [], result.describe())
        self.assertEqual(result.titled_dialogs, [], result.describe())
        log = self.run_log(result)
        marker = 'Launch return value is 0\n\n'
        self.assertIn(marker, log)
        self.assertEqual(log[log.index(marker) + len(marker):], tail + CLOSING)

    def shortcut_path(self, folder: str) -> str:
        return self.programs + '\\' + folder + '\\' + SHORTCUT

    def remove_shortcuts(self):
        for folder in ('Norvasoft', 'Norvasoft\\Norva Configuration', 'Norva Configuration'):
            path = self.host.unix_path(self.shortcut_path(folder))
            if os.path.exists(path):
                os.remove(path)

    def remove_tree(self, win_path: str):
        shutil.rmtree(self.host.unix_path(win_path), ignore_errors=True)

    def read(self, win_path: str) -> bytes:
        with open(self.host.unix_path(win_path), 'rb') as f:
            return f.read()

    def exists(self, win_path: str) -> bool:
        return os.path.exists(self.host.unix_path(win_path))

    def restart_calls(self, result):
        return [[a.value for a in c.args] for c in result.calls('ExitWindowsEx')]

    def privilege_calls(self, result):
        return result.calls('LookupPrivilegeValueA', 'AdjustTokenPrivileges')

    def assert_restart_requested(self, result, privilege: bool = True):
        """One ExitWindowsEx with the reboot flag alone and the planned
        reason of an application's installation, after
        the shutdown privilege was enabled (when privilege is set) or with
        no privilege call at all."""
        self.assertEqual(self.restart_calls(result), [[EWX_REBOOT, PLANNED_INSTALLATION]], result.describe())
        names = [c.function for c in self.privilege_calls(result)]
        if not privilege:
            self.assertEqual(names, [], 'the privilege step ran\n' + result.describe())
            return
        self.assertEqual(names, ['LookupPrivilegeValueA', 'AdjustTokenPrivileges'],
                         result.describe())
        lookup, adjust = self.privilege_calls(result)
        self.assertEqual((lookup.args[0].value, lookup.args[1].text), (0, 'SeShutdownPrivilege'))
        self.assertEqual(adjust.args[1].value, 0, 'all privileges disabled instead')
        order = [c.function for c in result.relay]
        self.assertLess(order.index('AdjustTokenPrivileges'), order.index('ExitWindowsEx'))

    def assert_no_restart(self, result):
        self.assertEqual(self.restart_calls(result), [], result.describe())
        self.assertEqual(self.privilege_calls(result), [], result.describe())

    # ------------------------------------------------------ busy check

    def busy_media(self, f: str):
        """Media with one program item, and the Windows Installer service
        stopped: were it running, stopping it would succeed and the check
        would not look further. (An install through Wine's msiexec may have
        started it.) Stopping it when it is not running ends with 1, which
        sends the check on to the processes. Returns the program, the
        response file and the stand-ins' record."""
        record = f + '\\standins.txt'
        program, response, _ = self.media(f, uninstaller_version=False, record=record)
        code, out = self.host.execute('C:\\windows\\system32\\net.exe', ['stop', 'msiserver'])
        self.assertIn(code, (0, 1), out)
        return program, response, record

    def test_busy_check_refuses_to_run_beside_msiexec(self):
        program, response, record = self.busy_media('C:\\K001')
        net = '"C:\\windows\\system32\\net.exe" stop msiserver'

        # A program whose name only resembles msiexec.exe stops nothing.
        with self.host.process_named('msiexec2.exe'):
            result = self.run_media(program, response)
        self.assert_finished(result)
        self.assertEqual(result.message_boxes, [], result.describe())
        starts = result.calls('CreateProcessA')
        self.assertEqual([c.args[1].text for c in starts[:1]], [net],
                         'the service stop is not the first start')
        # No inherited handles, no console window.
        self.assertEqual(starts[0].args[4].value, 0)
        self.assertTrue(starts[0].args[5].value & CREATE_NO_WINDOW, starts[0].args[5].raw)
        self.assertEqual(self.started(record), 1)
        self.assertTrue(self.run_log(result).startswith('Response XML file: '))
        self.host.clear_run_logs()

        # The name is compared without regard to case.
        with self.host.process_named('MsiExec.exe'):
            result = self.run_media(program, response, answers=(CAPTION + '::btn:%d' % IDOK,))
        self.assert_finished(result, 1)
        boxes = result.message_boxes
        self.assertEqual(len(boxes), 1, result.describe())
        # No owner, the caption, OK and no icon; the text whole, as shown.
        self.assertEqual((boxes[0].owner, boxes[0].caption, boxes[0].flags), (0, CAPTION, MB_OK))
        self.assertTrue(boxes[0].text_agrees_with(BUSY), result.describe())
        dialogs = result.titled_dialogs
        self.assertEqual([(d.title, d.message_text, d.button_ids) for d in dialogs],
                         [(CAPTION, BUSY, [IDOK])], result.describe())
        # The service was asked to stop first; nothing was started after.
        self.assertEqual([c.args[1].text for c in result.calls('CreateProcessA')], [net])
        order = [c.function for c in result.relay if c.function in ('CreateProcessA', 'MessageBoxA')]
        self.assertEqual(order, ['CreateProcessA', 'MessageBoxA'])
        self.assertEqual(self.started(record), 1,
                         'an item was started after the busy message')
        # The log was opened before the check, and the stop left it empty.
        logs = self.host.run_logs()
        self.assertEqual(len(logs), 1, logs)
        self.assertEqual(os.path.getsize(logs[0]), 0, 'the refused run wrote to its log')
        self.host.clear_run_logs()

        # net.exe cannot be started: its start error is shown, and counts as
        # a failed stop, so msiexec.exe still stops the run.
        net_file = self.host.c_path('windows', 'system32', 'net.exe')
        os.rename(net_file, net_file + '.away')
        try:
            with self.host.process_named('msiexec.exe'):
                result = self.run_media(program, response,
                                        answers=('Error::btn:%d' % IDOK,
                                                 CAPTION + '::btn:%d' % IDOK))
        finally:
            os.rename(net_file + '.away', net_file)
        self.assert_finished(result, 1)
        not_found, = self.host.shell_info(('message', '2'))   # ERROR_FILE_NOT_FOUND
        self.assertEqual([(b.owner, b.caption, b.flags) for b in result.message_boxes],
                         [(0, 'Error', MB_ICONINFORMATION), (0, CAPTION, MB_OK)],
                         result.describe())
        self.assertEqual([(d.title, d.message_text) for d in result.titled_dialogs],
                         [('Error', not_found[0]), (CAPTION, BUSY)], result.describe())
        self.assertEqual(self.started(record), 1)
        self.host.clear_run_logs()

        # With the service running, the stop succeeds and the processes are
        # not looked at: the run goes on beside msiexec.exe.
        code, out = self.host.execute('C:\\windows\\system32\\net.exe', ['start', 'msiserver'])
        self.assertEqual(code, 0, out)
        with self.host.process_named('msiexec.exe'):
            result = self.run_media(program, response)
        self.assert_finished(result)
        self.assertEqual(result.message_boxes, [], result.describe())
        self.assertEqual(self.started(record), 2)
        # ... and the service stays stopped.
        code, out = self.host.execute('C:\\windows\\system32\\net.exe', ['stop', 'msiserver'])
        self.assertEqual(code, 1, out)

    # ------------------------------------------------ uninstaller deployment

    def test_uninstaller_is_placed_once_per_newer_version(self):
        f = 'C:\\U001'
        root = self.default_root
        folder = root + UNINSTALL_FOLDER
        installed, earlier = folder + INSTALLED_NAME, folder + EARLIER_NAME
        self.remove_tree(root)
        self.remove_shortcuts()
        # Only the 32-bit view counts: a 64-bit NORVAROOT is not looked at.
        self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): None})
        self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): 'C:\\Wrong64'}, view=64)
        # Shortcuts of earlier layouts, and a file beside one of them.
        for old in ('Norvasoft', 'Norvasoft\\Norva Configuration', 'Norva Configuration'):
            self.host.write_file(self.shortcut_path(old), 'not a shortcut')
        self.host.write_file(self.programs + '\\Norvasoft\\keep.txt', 'stays')
        program, response, _ = self.media(f, '2.0.0.0')
        media_file = f + '\\' + MEDIA_UNINSTALLER
        shortcut = self.shortcut_path(self.shortcut_folder)
        try:
            # 1. Nothing installed: copied under Program Files (x86), shortcut made.
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('', '2.0.0.0', self.shortcut_folder))
            self.assertEqual(self.read(installed), self.read(media_file))
            self.assertFalse(self.exists('C:\\Program Files\\Norvasoft'),
                             'placed in the 64-bit Program Files')
            self.assertFalse(self.exists('C:\\Wrong64'), 'the 64-bit NORVAROOT was used')
            for old in ('Norvasoft', 'Norvasoft\\Norva Configuration', 'Norva Configuration'):
                if old != self.shortcut_folder:
                    self.assertFalse(self.exists(self.shortcut_path(old)), 'left: ' + old)
            # Only the shortcut files go; their folders stay, even empty.
            self.assertTrue(self.exists(self.programs + '\\Norvasoft\\keep.txt'))
            self.assertTrue(os.path.isdir(self.host.unix_path(
                self.programs + '\\Norvasoft\\Norva Configuration')))
            link, version = self.host.shell_info(('lnk', shortcut), ('version', installed))
            self.assertEqual(link, shortcut_fields(installed))
            self.assertEqual(version, ['2.0.0.0'])

            # 2. The same media again: equal versions, nothing copied, no shortcut.
            os.remove(self.host.unix_path(shortcut))
            with open(self.host.unix_path(installed), 'ab') as out:
                out.write(b'installed copy')   # same version, other bytes
            os.utime(self.host.unix_path(installed), (1000000000, 1000000000))
            self.host.clear_run_logs()
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('2.0.0.0', '2.0.0.0'))
            self.assertTrue(self.read(installed).endswith(b'installed copy'), 'copied again')
            self.assertEqual(os.stat(self.host.unix_path(installed)).st_mtime, 1000000000)
            self.assertFalse(self.exists(shortcut), 'the shortcut was made again')

            # 3. An earlier uninstaller's version comes first: 11.0 installed
            # beside a 9.9 current one keeps a 10.0 media copy out.
            self.host.place_uninstaller(earlier, '11.0.0.0')
            self.host.place_uninstaller(installed, '9.9.0.0')
            self.host.place_uninstaller(media_file, '10.0.0.0')
            before = self.read(installed)
            self.host.clear_run_logs()
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('11.0.0.0', '10.0.0.0'))
            self.assertEqual(self.read(installed), before)
            self.assertFalse(self.exists(shortcut))

            # 4. Without it, 10.0.0.0 is newer than 9.9.0.0 (by number, not text).
            os.remove(self.host.unix_path(earlier))
            self.host.clear_run_logs()
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('9.9.0.0', '10.0.0.0',
                                                          self.shortcut_folder))
            link, version = self.host.shell_info(('lnk', shortcut), ('version', installed))
            self.assertEqual(link, shortcut_fields(installed))
            self.assertEqual(version, ['10.0.0.0'])
        finally:
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): None}, view=64)

    def test_uninstaller_under_norvaroot_and_from_the_alternative_source(self):
        root = 'C:\\NvRoot'
        installed = root + '\\' + UNINSTALL_FOLDER + INSTALLED_NAME
        shortcut = self.shortcut_path(self.shortcut_folder)
        self.remove_tree(root)
        self.remove_shortcuts()
        # Blanks around the value go; so does its trailing backslash.
        self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): '  %s\\ \t' % root})
        try:
            f = 'C:\\N001'
            program, response, _ = self.media(f, '2.0.0.0')
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('', '2.0.0.0', self.shortcut_folder))
            self.assertEqual(self.read(installed), self.read(f + '\\' + MEDIA_UNINSTALLER))
            link, = self.host.shell_info(('lnk', shortcut))
            self.assertEqual(link, shortcut_fields(installed))

            # No uninstaller in the media's core folder: found below the
            # alternative source, in a core folder some levels down.
            f = 'C:\\N002'
            program, response, _ = self.media(f, uninstaller_version=False)
            alt = f + '\\alt'
            alt_file = alt + '\\disk1\\' + MEDIA_UNINSTALLER
            self.host.place_uninstaller(alt_file, '3.0.0.0')
            # A core folder without an uninstaller is passed over.
            self.host.make_dir(alt + '\\disk0\\core\\Uninstaller')
            os.remove(self.host.unix_path(shortcut))
            self.host.clear_run_logs()
            result = self.run_media(program, response, ['altsource=' + alt])
            self.assert_finished(result)
            log = self.run_log(result)
            self.assertTrue(log.endswith(deployment_log('2.0.0.0', '3.0.0.0', self.shortcut_folder)
                                         + CLOSING), log)
            self.assertEqual(self.read(installed), self.read(alt_file))
            self.assertTrue(self.exists(shortcut))
        finally:
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): None})

    def test_a_busy_installer_is_waited_for_with_busywait(self):
        program, response, record = self.busy_media('C:\\K002')

        # The other installation ends after about 8 seconds; the run checks
        # every 5, logs both ends of its wait, then installs.
        with self.host.process_named('MSIEXEC.EXE', ends_after=8):
            result = self.run_media(program, response, ['busywait=30'])
        self.assert_finished(result)
        self.assertEqual(result.message_boxes, [], result.describe())
        log = self.run_log(result)
        waited = re.match(r'Another installation is running; waiting up to 30 seconds for it to '
                          r'finish\.\nThe other installation has finished after (\d+) seconds\.\n'
                          r'Response XML file: ', log)
        self.assertIsNotNone(waited, log)
        self.assertIn(int(waited.group(1)), range(8, 21), log)
        self.assertEqual(self.started(record), 1)
        self.host.clear_run_logs()

        # A budget of 2 seconds runs out: the busy message and 1, at once.
        with self.host.process_named('MSIEXEC.EXE'):
            result = self.run_media(program, response, ['busywait=2'],
                                    answers=(CAPTION + '::btn:%d' % IDOK,))
        self.assert_finished(result, 1)
        self.assertEqual([d.message_text for d in result.titled_dialogs], [BUSY], result.describe())
        self.assertLess(result.ended - result.started, 15, result.describe())
        self.assertEqual(self.run_log(result),
                         'Another installation is running; waiting up to 2 seconds for it to finish.\n')
        self.assertEqual(self.started(record), 1)
        self.host.clear_run_logs()
        # Without the switch the run stops at once, as
        # test_busy_check_refuses_to_run_beside_msiexec shows.

    # ------------------------------------------------------ restart decision

    def test_restart_follows_the_switches_the_marker_and_the_answer(self):
        f = 'C:\\F001'
        record = f + '\\restarted.txt'
        program = self.host.install_program(f)
        response = f + '\\resp.xml'
        self.host.write_file(response, response_file([]))
        marker_command = self.host.install_standin(f + '\\marker.exe', record=record)
        package = f + '\\core\\reboot.msi'
        self.host.build_msi(package, {}, product_name='Norvasoft Restart', schedule_reboot=True)
        with_package = f + '\\pkg.xml'
        self.host.write_file(with_package, response_file([(package, '')]))

        try:
            # /forcereboot alone, silent: no question, the privilege, then the request.
            result = self.run_media(program, response, ['/forcereboot'])
            self.assert_finished(result)
            self.assertEqual(result.message_boxes, [], result.describe())
            self.assert_restart_requested(result)
            self.assertTrue(self.run_log(result).endswith('\n' + CLOSING),
                            'the log was not closed first')

            # The marker in the 32-bit view, no switch: a restart, after
            # which Wine ran the marker and removed it as Windows does. An
            # OS other than exactly "Windows_NT" skips the privilege step.
            self.host.set_registry({(RUNONCE_KEY, MARKER): marker_command})
            self.host.clear_run_logs()
            with self.host.system_environment('OS', 'windows_nt'):
                result = self.run_media(program, response)
            self.assert_finished(result)
            self.assertEqual(result.message_boxes, [], result.describe())
            self.assert_restart_requested(result, privilege=False)
            self.assertEqual(self.started(record), 1, 'Wine did not restart')

            # /noreboot wins over the marker, whatever its type.
            self.host.set_registry({(RUNONCE_KEY, MARKER): 1})
            self.host.clear_run_logs()
            result = self.run_media(program, response, ['/noreboot'])
            self.assert_finished(result)
            self.assert_no_restart(result)
            # A package that asks for a restart (3010) does not restart
            # either, without a marker in the 32-bit view: one in the 64-bit
            # view does not count.
            self.set_marker(None)
            self.host.set_registry({(RUNONCE_KEY, MARKER): marker_command}, view=64)
            self.host.clear_run_logs()
            result = self.host.run(program, [with_package], cwd=f, timeout=120)
            self.assert_finished(result)
            self.assertIn('Reboot was requested. Return value is 3010\n', self.run_log(result))
            self.assert_no_restart(result)
            self.assertEqual(self.host.registry_values(RUNONCE_KEY, view=64).get(MARKER),
                             marker_command, 'the 64-bit marker is gone')
            self.host.set_registry({(RUNONCE_KEY, MARKER): None}, view=64)
            # /rebootcodes tells the agent about the restart still needed.
            self.host.clear_run_logs()
            result = self.host.run(program, [with_package, '/noreboot', '/rebootcodes'], cwd=f,
                                   timeout=120)
            self.assert_finished(result, 3010)
            self.assert_no_restart(result)
            # A marker of any size counts: a RunOnce command of 300 bytes.
            # With /noreboot the restart it asks for is still owed, and
            # /rebootcodes tells it; without, the started restart is 1641.
            self.host.set_registry({(RUNONCE_KEY, MARKER): 'x' * 300})
            self.host.clear_run_logs()
            result = self.run_media(program, response, ['/noreboot', '/rebootcodes'])
            self.assert_finished(result, 3010)
            self.assert_no_restart(result)
            self.host.clear_run_logs()
            result = self.run_media(program, response, ['/rebootcodes'])
            self.assert_finished(result, 1641)
            self.assert_restart_requested(result)
            self.set_marker(None)

            # Interactive: the question, answered No, restarts nothing.
            self.host.clear_run_logs()
            result = self.run_media(program, response, ['/I', '/forcereboot'],
                                    answers=(CAPTION + '::btn:%d' % IDNO,))
            self.assert_finished(result)
            self.assert_question(result, IDNO)
            self.assert_no_restart(result)

            # ... and Yes restarts; the marker asks for it as /forcereboot does.
            self.host.set_registry({(RUNONCE_KEY, MARKER): marker_command})
            self.host.clear_run_logs()
            result = self.run_media(program, response, ['/I'],
                                    answers=(CAPTION + '::btn:%d' % IDYES,))
            self.assert_finished(result)
            self.assert_question(result, IDYES)
            self.assert_restart_requested(result)
            order = [c.function for c in result.relay]
            self.assertLess(order.index('MessageBoxA'), order.index('ExitWindowsEx'))
            self.assertEqual(self.started(record), 2, 'Wine did not restart')
        finally:
            self.set_marker(None)

    def set_marker(self, data):
        self.host.set_registry({(RUNONCE_KEY, MARKER): data})
        self.host.set_registry({(RUNONCE_KEY, MARKER): data}, view=64)

    def assert_question(self, result, answer: int):
        """The status window came and went, then the restart question:
        with no owner, kept in front, caption, Yes and No, the question icon
        and the text whole."""
        created = [c for c in result.calls('CreateDialogParamA', 'CreateDialogParamW')
                   if len(c.args) > 1 and c.args[1].value == STATUS_TEMPLATE]
        self.assertEqual(len(created), 1, 'no status window in interactive mode\n'
                         + result.describe())
        boxes = result.message_boxes
        self.assertEqual(len(boxes), 1, result.describe())
        box = boxes[0]
        self.assertEqual((box.caption, box.flags, box.result),
                         (CAPTION, MB_QUESTION_FLAGS, answer), result.describe())
        self.assertTrue(box.text_agrees_with(QUESTION), result.describe())
        # No owner: another program's window could hang or vanish with it.
        self.assertEqual(box.owner, 0, 'owned by another window\n' + result.describe())
        dialogs = result.titled_dialogs
        self.assertEqual([(d.title, d.message_text, d.button_ids) for d in dialogs],
                         [(CAPTION, QUESTION, [IDYES, IDNO])], result.describe())
        # The closing line is written and the status window gone before the question.
        self.assertTrue(self.run_log(result).endswith('\n' + CLOSING))

    # ------------------------------------------------------------ bad input

    def test_odd_settings_and_media_end_without_a_crash_or_hang(self):
        root = self.default_root
        installed = root + UNINSTALL_FOLDER + INSTALLED_NAME
        self.remove_tree(root)
        self.remove_shortcuts()
        try:
            # A NORVAROOT of blanks only: Program Files.
            f = 'C:\\B001'
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): '   \t '})
            program, response, _ = self.media(f, '2.0.0.0')
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('', '2.0.0.0', self.shortcut_folder))
            self.assertEqual(self.host.shell_info(('version', installed)), [['2.0.0.0']])

            # One of 300 characters does not fit the program's buffer and
            # reads as missing: Program Files again.
            f = 'C:\\B002'
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): 'C:\\' + 'r' * 297})
            program, response, _ = self.media(f, '3.0.0.0')
            self.host.clear_run_logs()
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('2.0.0.0', '3.0.0.0',
                                                          self.shortcut_folder))
            self.assertEqual(self.host.shell_info(('version', installed)), [['3.0.0.0']])

            # One naming a file: nothing can be placed below it; the run
            # still ends normally, the file untouched.
            f = 'C:\\B003'
            a_file = f + '\\root.txt'
            self.host.write_file(a_file, 'a file')
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): a_file})
            program, response, _ = self.media(f, '2.0.0.0')
            self.host.clear_run_logs()
            result = self.run_media(program, response)
            self.assert_deployment(result, deployment_log('', '2.0.0.0', self.shortcut_folder).replace(
                'Creating', 'Shell operation failed with code 1223: %s\\core\\Uninstaller\\%s\nCreating'
                % (f.lower(), INSTALLED_NAME), 1))
            self.assertEqual(self.read(a_file), b'a file')
            # The copy's result is not looked at: the shortcut is made all
            # the same, to a program that is not there.
            link, = self.host.shell_info(('lnk', self.shortcut_path(self.shortcut_folder)))
            self.assertEqual(link, shortcut_fields(
                a_file + '\\' + UNINSTALL_FOLDER + INSTALLED_NAME))

            # An uninstaller without a version resource never replaces one;
            # with OS missing, a forced restart skips the privilege step.
            f = 'C:\\B004'
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): None})
            program, response, _ = self.media(f, None)
            self.host.clear_run_logs()
            with self.host.system_environment('OS', None):
                result = self.run_media(program, response, ['/forcereboot'])
            self.assert_deployment(result, deployment_log('3.0.0.0', ''))
            self.assert_restart_requested(result, privilege=False)
            self.assertEqual(self.host.shell_info(('version', installed)), [['3.0.0.0']])

            # A program folder of 200 characters: the uninstaller is still
            # found and placed; an OS of 200 characters does not fit the
            # program's buffer and skips the privilege step.
            f = 'C:\\' + 'd' * 200
            program, response, _ = self.media(f, '4.0.0.0')
            self.host.clear_run_logs()
            with self.host.system_environment('OS', 'W' * 200):
                result = self.run_media(program, response, ['/forcereboot'])
            self.assert_deployment(result, deployment_log('3.0.0.0', '4.0.0.0',
                                                          self.shortcut_folder))
            self.assert_restart_requested(result, privilege=False)
            self.assertEqual(self.host.shell_info(('version', installed)), [['4.0.0.0']])
        finally:
            self.host.set_registry({(SETUP_KEY, 'NORVAROOT'): None})


if __name__ == '__main__':
    winehost.main()
