"""End to end: the install pass on media the tests build.

Each test is one run of the program over many items, checked through
everything the run leaves behind: the exit code, the run log (compared
whole, line by line, with the time stamps checked and then masked), the
Windows Installer logs, the status MIF records of the stand-in ismif32.dll,
the command lines the stand-in programs were started with, and the products
that Windows Installer reports installed afterwards.

Media folders and the folders of the alternative source have 8.3 names, so
that the response-file path the program logs in short form reads as
written. Paths under the alternative source are lower case on disk, since
the program builds them from the lower-cased switch value.
"""

import glob
import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import new_guid  # noqa: E402

STAMP = '<STAMP>'
STAMP_RE = re.compile(r'(?m)^(\d\d/\d\d/\d\d \d\d:\d\d:\d\d) ')
HEADER_RE = re.compile(r'(?m)^<STAMP> PRODUCT(\d+) (.*) launched\.\n')
STATUS_TEMPLATE = 101
STATUS_TEXT_ID, STEP_TEXT_ID = 1001, 1002
UNINSTALLER = 'Uninstaller\\Norvasoft Uninstaller.exe'
# Windows Installer results.
UNKNOWN_PRODUCT = 1605
PACKAGE_OPEN_FAILED = 1619
INSTALL_FAILURE = 1603
REBOOT_REQUIRED = 3010


# ------------------------------------------------------- response files


def response_file(items) -> str:
    """A response file with a declaration and a root element, one element a
    line, Windows line ends; items are (product, parameter) pairs."""
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


# ------------------------------------------------------ run-log pieces


def plan(response: str, products, core: str) -> str:
    return ('Response XML file: %s\n' % response + 'Counting items to be launched.\n'
            + ''.join('PRODUCT%d=%s\n' % (n, p) for n, p in enumerate(products, 1))
            + 'Core Directory: %s\n\n' % core)


def header(n: int, path: str) -> str:
    return '%s PRODUCT%d %s launched.\n' % (STAMP, n, path)


def result_line(rc: int) -> str:
    if rc == 0:
        return 'Installation launched succesfully.\n\n'
    if rc == REBOOT_REQUIRED:
        return 'Reboot was requested. Return value is %d\n\n' % rc
    return 'There was a problem in launching the install. Return value is %d\n\n' % rc


def package(name: str, parameter: str, rc: int) -> str:
    return ('Product %s is being installed/modified/repaired.\n' % name
            + 'Launching: %s\n\n' % parameter + result_line(rc))


def removal(name: str, rc: int) -> str:
    return 'Product %s is being uninstalled.\n' % name + result_line(rc)


def program(command_line: str, rc: int, missing: str = None, search: str = '') -> str:
    """A program item: the missing path's line, the lines of its search, the
    launch and its return value."""
    return ('Non-Msi process is being launched.\n'
            + ('File %s was not found.\n' % missing if missing else '') + search
            + 'Launching: %s\n\n' % command_line + 'Launch return value is %d\n\n' % rc)


def looking(*candidates: str) -> str:
    return ''.join('Looking for %s.\n' % c for c in candidates)


CLOSING = STAMP + ' done.'
# msiexec.exe items are started from the system folder, never through the
# search path.
SYSTEM_MSIEXEC = 'C:\\windows\\system32\\msiexec.exe'
INSTALLER_KEY = r'Software\Microsoft\Windows\CurrentVersion\Installer'


def uninstaller_missing(path: str) -> str:
    return 'Uninstaller not found at media location%s\n' % path


# -------------------------------------------------------------- the suite


class InstallTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()
        cls.temp = cls.host.windows_path(cls.host.temp_dir) + '\\'

    def setUp(self):
        self.host.clear_run_logs()
        for path in glob.glob(os.path.join(glob.escape(self.host.temp_dir), 'Msi*.log')):
            os.remove(path)

    # ---------------------------------------------------------- helpers

    def media(self, folder: str, status_mif: bool = False) -> str:
        """A media folder with the program in it (and the status MIF
        library next to it); returns the program's path."""
        program_path = self.host.install_program(folder)
        if status_mif:
            library = self.host.status_mif_library
            self.assertTrue(os.path.exists(library), 'not built: ' + library)
            with open(library, 'rb') as src:
                self.host.write_file(folder + '\\ismif32.dll', src.read())
        return program_path

    def preinstall(self, win_path: str, name: str, version: str, prefix: str) -> str:
        """Installs a package with msiexec before the run; its product code."""
        code = new_guid()
        self.host.build_msi(win_path, {'NVProductPrefix': prefix}, product_name=name,
                            version=version, product_code=code)
        self.assertEqual(self.host.msiexec('/i', win_path, '/qn'), 0, 'msiexec /i ' + win_path)
        self.assertIn(code, self.host.installed_products())
        return code

    def run_items(self, program_path, response, items, args=(), cwd=None, timeout=240,
                  env=None):
        self.host.write_file(response, response_file(items))
        return self.host.run(program_path, [response] + list(args), cwd=cwd, timeout=timeout,
                             env=env)

    def run_log(self, result) -> str:
        """The run's one default run log, its line ends checked (CR LF on
        disk), its time stamps checked against the time of the run and
        against what the program echoed on its standard output, and then
        masked. Returned with LF line ends."""
        logs = self.host.run_logs()
        self.assertEqual(len(logs), 1, 'run logs: %r\n%s' % (logs, result.describe()))
        with open(logs[0], 'rb') as f:
            raw = f.read().decode('latin-1')
        self.assertNotIn('\n', raw.replace('\r\n', ''), 'a line end without CR')
        self.assertNotIn('\r', raw.replace('\r\n', ''), 'a CR without line end')
        text = raw.replace('\r\n', '\n')
        stamps = STAMP_RE.findall(text)
        stdout = result.stdout.decode('latin-1').replace('\r\n', '\n')
        for stamp in stamps:
            self.assertTrue(winehost.stamp_within(stamp, result.started, result.ended),
                            'stamp outside the run: ' + stamp)
            date, time_of_day = stamp.split(' ')
            self.assertIn('\t\t\t\t%s\n \t\t\t\t%s\n' % (date, time_of_day), stdout,
                          'stamp not echoed')
        return STAMP_RE.sub(STAMP + ' ', text)

    def assert_log(self, log: str, body: str, uninstaller: str):
        """The log is the body, the line saying that the media carry no
        uninstaller at the path looked at, and the closing line."""
        self.assertEqual(log, body + uninstaller_missing(uninstaller) + CLOSING)

    def assert_exit(self, result, code: int):
        self.assertFalse(result.timed_out, 'the run did not end\n' + result.describe())
        self.assertEqual(result.exit_code, code, result.describe())

    def assert_quiet(self, result):
        """Nothing of Windows Installer's or the program's own came up on the
        screen (the status window aside)."""
        self.assertEqual(result.message_boxes, [], result.describe())
        self.assertEqual(result.titled_dialogs, [], result.describe())

    def status_window_created(self, result) -> bool:
        traced = any(len(c.args) > 1 and c.args[1].value == STATUS_TEMPLATE
                     for c in result.calls('CreateDialogParamA', 'CreateDialogParamW'))
        seen = any(d.control(STATUS_TEXT_ID) and d.control(STEP_TEXT_ID) for d in result.dialogs)
        return traced or seen

    def starts(self, record: str):
        """(module path lower-cased, command line, current folder) of every
        stand-in start, in order."""
        return [(e.fields[0].lower(), e.fields[1], e.fields[2])
                for e in self.host.standin_events(record) if e.kind == 'start']

    def mif_records(self, record: str):
        path = self.host.unix_path(record)
        if not os.path.exists(path):
            return []
        with open(path, 'rb') as f:
            text = f.read().decode('latin-1')
        self.assertTrue(text.endswith('\r\n') or not text, 'record not ended by CR LF')
        return [tuple(line.split('\t')) for line in text.split('\r\n') if line]

    def msi_logs(self):
        return sorted(os.path.basename(p) for p in glob.glob(
            os.path.join(glob.escape(self.host.temp_dir), 'Msi*.log')))

    def assert_msi_log_of(self, name: str, package_file: str):
        """The Windows Installer log exists and is the one of that package."""
        path = os.path.join(self.host.temp_dir, name)
        self.assertTrue(os.path.exists(path), 'no %s; there are %r' % (name, self.msi_logs()))
        with open(path, 'rb') as f:
            data = f.read()
        text = data.decode('utf-16-le', 'replace') if data[1:2] == b'\0' else data.decode(
            'latin-1')
        self.assertIn(package_file.lower(), text.lower(), '%s is not the log of %s'
                      % (name, package_file))

    # ------------------------------------------------------------ tests

    def test_silent_run_installs_fails_removes_and_starts_programs(self):
        f = 'C:\\I001'
        program_path = self.media(f, status_mif=True)
        record, mif = f + '\\standins.txt', f + '\\mif.txt'
        old_code = self.preinstall(f + '\\pre\\old.msi', 'Norvasoft Old', '2.5.0', 'OLD')
        unknown_code = new_guid()
        apps = f + '\\core\\apps\\'
        self.host.build_msi(apps + 'good.msi', {'NVProductPrefix': 'GOOD'},
                            product_name='Norvasoft Good', version='1.2.3')
        self.host.build_msi(apps + 'fail.msi', {'NVProductPrefix': 'FAIL'},
                            product_name='Norvasoft Fail', version='1.0.1', launch_condition='0')
        # Upper-case letters in the extension still make a package item.
        self.host.build_msi(apps + 'Reboot.MSI', {'NVProductPrefix': 'RBT'},
                            product_name='Norvasoft Reboot', version='3.1.0', schedule_reboot=True)
        self.host.build_msi(f + '\\isscript\\iss.msi', {'NVProductPrefix': 'ISS'},
                            product_name='Norvasoft Script')
        self.host.install_standin(f + '\\isscript\\setup.exe', record=record, exit=5)
        self.host.build_msi(f + '\\IsScript2\\pkg.msi', {}, product_name='Norvasoft Script Two')
        self.host.install_standin(f + '\\tools\\tool.exe', record=record, exit=7)
        self.host.install_standin(f + '\\Tool Box\\run me.exe', record=record)
        self.host.install_standin(f + '\\core\\dotnet20\\DotNetFx.exe', record=record)
        self.host.write_file(f + '\\core\\dotnet20\\langpack\\readme.txt', 'copied too')
        self.host.install_standin(f + '\\msde2ksp3\\setup.exe', record=record, exit=3010)
        self.host.install_standin(f + '\\sp4\\msde2ksp3\\setup.exe', record=record, exit=1)
        staged = self.temp + 'norvacore\\dotnetfx.exe'
        items = [
            (apps + 'good.msi', 'ADDLOCAL=ALL'),                      # 1: 0
            (apps + 'fail.msi', ''),                                  # 2: 1603
            (old_code, ''),                                           # 3: removed
            (unknown_code, ''),                                       # 4: 1605
            (apps + 'Reboot.MSI', 'REBOOT_TEST=1'),                   # 5: 3010
            (f + '\\tools\\tool.exe', '/quiet /norestart'),           # 6: exits 7
            ('"%s\\Tool Box\\run me.exe"' % f, '-x'),                 # 7: quoted, blank
            (apps + 'gone.msi', 'A=1'),                               # 8: missing
            (f + '\\tools\\nothere.exe', '-a'),                       # 9: missing program
            (f + '\\isscript\\iss.msi', 'IGNORED=1'),                 # 10: script engine
            (f + '\\IsScript2\\pkg.msi', 'IGNORED=1'),                # 11: ... no setup.exe
            (f + '\\core\\dotnet20\\DotNetFx.exe', '/q:a /c:install'),  # 12: staged
            (f + '\\msde2ksp3\\setup.exe', '/qn SAPWD=x'),            # 13: MSDE, 3010
            (f + '\\sp4\\msde2ksp3\\setup.exe', '/qn'),               # 14: MSDE, 1
        ]
        response = f + '\\resp.xml'
        before = self.host.installed_products()

        result = self.run_items(program_path, response, items, ['/L', '/M'], cwd=f,
                                env={'NV_MIF_RECORD': mif})

        # The last failure: the missing package of item 8, as Windows
        # Installer fails a package it cannot open; 3010 and programs count not.
        self.assert_exit(result, PACKAGE_OPEN_FAILED)
        self.assert_quiet(result)
        self.assertFalse(self.status_window_created(result), 'status window in silent mode')
        body = plan(response, [p for p, _ in items], f.lower() + '\\core\\')
        body += header(1, apps + 'good.msi') + package('Norvasoft Good', 'ADDLOCAL=ALL', 0)
        body += header(2, apps + 'fail.msi') + package('Norvasoft Fail', '', INSTALL_FAILURE)
        body += header(3, old_code) + removal('Norvasoft Old', 0)
        body += header(4, unknown_code) + removal('', UNKNOWN_PRODUCT)
        body += header(5, apps + 'Reboot.MSI') + package('Norvasoft Reboot', 'REBOOT_TEST=1',
                                                         REBOOT_REQUIRED)
        body += header(6, f + '\\tools\\tool.exe') + program(
            f + '\\tools\\tool.exe /quiet /norestart', 7)
        # A path with a blank is started in quotes, so that Windows does not
        # take "C:\I001\Tool" for the program.
        body += header(7, f + '\\Tool Box\\run me.exe') + program(
            '"%s\\Tool Box\\run me.exe" -x' % f, 0)
        body += (header(8, apps + 'gone.msi')
                 + 'Product  is being installed/modified/repaired.\n'
                 + 'File %sgone.msi was not found.\n\n' % apps
                 + 'Giving up. File %sgone.msi was not found.\n' % apps)
        body += header(9, f + '\\tools\\nothere.exe') + program(
            f + '\\tools\\nothere.exe -a', 2, missing=f + '\\tools\\nothere.exe')
        body += (header(10, f + '\\isscript\\iss.msi')
                 + 'Product Norvasoft Script is being installed/modified/repaired.\n'
                 + 'Launching c:\\i001\\isscript\\setup.exe.\n' + 'Launch return value is 5\n\n')
        body += (header(11, f + '\\IsScript2\\pkg.msi')
                 + 'Product Norvasoft Script Two is being installed/modified/repaired.\n')
        body += header(12, staged) + program(staged + ' /q:a /c:install', 0)
        body += (header(13, f + '\\msde2ksp3\\setup.exe') + 'Non-Msi process is being launched.\n'
                 + 'MSDE Launched on a new thread...\n\n' + 'MSDE installed.\n\n')
        body += (header(14, f + '\\sp4\\msde2ksp3\\setup.exe')
                 + 'Non-Msi process is being launched.\n'
                 + 'MSDE Launched on a new thread...\n\n')
        self.assert_log(self.run_log(result), body, 'c:\\i001\\core\\' + UNINSTALLER)

        # The programs, with the command lines they got, from the caller's folder.
        self.assertEqual(self.starts(record), [
            ((f + '\\tools\\tool.exe').lower(), f + '\\tools\\tool.exe /quiet /norestart', f),
            ((f + '\\Tool Box\\run me.exe').lower(), '"%s\\Tool Box\\run me.exe" -x' % f, f),
            ('c:\\i001\\isscript\\setup.exe', 'c:\\i001\\isscript\\setup.exe', f),
            (staged.lower(), staged + ' /q:a /c:install', f),
            ((f + '\\msde2ksp3\\setup.exe').lower(), f + '\\msde2ksp3\\setup.exe /qn SAPWD=x', f),
            ((f + '\\sp4\\msde2ksp3\\setup.exe').lower(), f + '\\sp4\\msde2ksp3\\setup.exe /qn',
             f),
        ])
        self.assertFalse(os.path.exists(self.host.unix_path(self.temp + 'norvacore')),
                         'the staging folder is left behind')

        # Status MIF records: package items only in silent mode.
        def mif_row(name, version, text, success):
            return (name, 'Norvasoft', name, version, 'ENU', '<null>', text, success)
        self.assertEqual(self.mif_records(mif), [
            mif_row('Norvasoft Good', '1.2.3', 'Installation Successful', '1'),
            mif_row('Norvasoft Fail', '1.0.1', 'Installation Failure', '0'),
            mif_row('Norvasoft Reboot', '3.1.0', 'Installation Successful', '1'),
            mif_row('', '', 'Installation Failure', '0'),
        ])

        # One verbose Windows Installer log per prefix, in the temporary folder.
        self.assert_msi_log_of('MsiGOOD.log', 'good.msi')
        self.assert_msi_log_of('MsiFAIL.log', 'fail.msi')
        self.assert_msi_log_of('MsiRBT.log', 'Reboot.MSI')
        self.assert_msi_log_of('MsiOLD.log', old_code)

        after = self.host.installed_products()
        self.assertEqual(sorted(v for c, v in after.items() if c not in before),
                         [('Norvasoft Good', '1.2.3'), ('Norvasoft Reboot', '3.1.0')])
        self.assertNotIn(old_code, after, 'the product-code item did not remove it')

        # A status library that raises while holding a lock of its own
        # releases it in its termination handler: each call unwinds, the
        # next one finds the lock free, and the run reaches its end.
        self.host.clear_run_logs()
        locked = f + '\\locked.txt'
        result = self.run_items(program_path, f + '\\lock.xml',
                                [(apps + 'good.msi', ''), (apps + 'good.msi', '')], ['/M'], cwd=f,
                                env={'NV_MIF_RECORD': locked, 'NV_MIF_FAULT': 'lock'})
        self.assert_exit(result, 0)
        self.assertTrue(self.run_log(result).endswith(' done.'), result.describe())
        self.assertEqual(self.mif_records(locked), [('finally',), ('finally',)])

    def test_items_found_again_under_the_alternative_source(self):
        f = 'C:\\A001'
        program_path = self.media(f)
        record = f + '\\standins.txt'
        alt = f + '\\alt'           # on disk in lower case, as the program forms it
        a0 = alt.lower()
        a1 = a0 + '\\'
        core = a1 + 'core\\'
        built = {}
        for name, where in [('one', 'one.msi'), ('two', 'two\\two.msi'),
                            ('three', 'pkgs\\three\\three.msi'),
                            ('four', 'cd\\disk1\\sub\\four.msi'), ('five', 'core\\five\\five.msi'),
                            ('six', 'core\\grp\\six\\six.msi'), ('seven', 'deep\\er\\seven.msi'),
                            ('eight', 'core\\eight\\eight.msi'),
                            ('nine', 'old\\core\\nine\\nine.msi'), ('ten', 'cd\\ten.msi')]:
            built[name] = 'Alt ' + name.capitalize()
            self.host.build_msi(a1 + where, {'NVProductPrefix': name.upper()},
                                product_name=built[name])
        self.host.install_standin(core + 'dotnet20\\dotnetfx.exe', record=record)
        self.host.install_standin(a1 + 'old\\core\\tools\\setup2.exe', record=record)
        self.host.install_standin(a1 + 'patches\\a\\b\\fix.exe', record=record)
        staged = self.temp + 'norvacore\\dotnetfx.exe'
        m = 'x:\\media'
        items = [
            (m + '\\core\\one\\one.msi', 'A=1'),               # 1: A+F
            (m + '\\core\\two\\two.msi', 'A=2'),               # 2: A+D1\F
            (m + '\\pkgs\\three\\three.msi', 'A=3'),           # 3: A+D2\D1\F
            (m + '\\cd\\disk1\\sub\\four.msi', 'A=4'),         # 4: media prefix replaced
            (m + '\\grp\\five\\five.msi', 'A=5'),              # 5: C+D1\F
            (m + '\\grp\\six\\six.msi', 'A=6'),                # 6: C+D2\D1\F
            (m + '\\core\\seven\\seven.msi', 'A=7'),           # 7: subfolder search
            ('msiexec.exe', '  /i "%s\\core\\eight\\eight.msi" /qn' % m),   # 8: A+core part
            ('msiexec.exe', '/I "%s\\core\\nine\\nine.msi" /qn' % m),       # 9: ... below A
            ('msiexec.exe', '/qn /i "%s\\cd\\ten.msi"' % m),   # 10: media prefix only
            (m + '\\redist\\dotnetfx.exe', '/q'),              # 11: C+dotnet20, staged
            (m + '\\core\\tools\\setup2.exe', '-s'),           # 12: core part below A
            ('y:\\cd\\patches\\a\\b\\fix.exe', ''),            # 13: patches part
        ]
        response = f + '\\resp.xml'
        before = self.host.installed_products()
        # A msi.dll and a msiexec.exe planted beside the program, in its
        # current folder, are never loaded or started, even without the
        # Installer's registered location that the start-up check loads
        # msi.dll from first.
        with open(os.path.join(self.host.build_dir, 'tests', 'e2e', 'plantedlib.dll'), 'rb') as src:
            self.host.write_file(f + '\\msi.dll', src.read())
        self.host.install_standin(f + '\\msiexec.exe', record=record)
        location = self.host.registry_values(INSTALLER_KEY) or {}
        self.host.set_registry({(INSTALLER_KEY, 'InstallerLocation'): None})
        try:
            result = self.run_items(program_path, response, items, ['altsource=' + alt, '/V'],
                                    cwd=f)
        finally:
            self.host.set_registry({(INSTALLER_KEY, 'InstallerLocation'):
                                    location.get('InstallerLocation')})
        self.assertFalse(os.path.exists(self.host.unix_path(f + '\\msi.dll.loaded')),
                         'the planted msi.dll was loaded')

        self.assert_exit(result, 0)
        self.assert_quiet(result)
        # Item 1 is found first at A+F, whose folder holds "core": the core
        # directory. The last package found under A by a prefix decides the
        # media prefix: x:\media (items 3 and 4).
        body = plan(response, [p for p, _ in items], core)
        body += (looking(a1 + 'one.msi') + header(1, a1 + 'one.msi')
                 + package(built['one'], 'A=1', 0))
        body += (looking(a1 + 'two.msi', a1 + 'two\\two.msi') + header(2, a1 + 'two\\two.msi')
                 + package(built['two'], 'A=2', 0))
        body += (looking(a1 + 'three.msi', a1 + 'three\\three.msi', a1 + 'pkgs\\three\\three.msi')
                 + header(3, a1 + 'pkgs\\three\\three.msi') + package(built['three'], 'A=3', 0))
        four = a0 + '\\cd\\disk1\\sub\\four.msi'
        body += (looking(a1 + 'four.msi', a1 + 'sub\\four.msi', a1 + 'disk1\\sub\\four.msi', four)
                 + header(4, four) + package(built['four'], 'A=4', 0))
        body += (looking(a1 + 'five.msi', a1 + 'five\\five.msi', a1 + 'grp\\five\\five.msi',
                         a0 + '\\grp\\five\\five.msi', core + 'five\\five.msi')
                 + header(5, core + 'five\\five.msi') + package(built['five'], 'A=5', 0))
        body += (looking(a1 + 'six.msi', a1 + 'six\\six.msi', a1 + 'grp\\six\\six.msi',
                         a0 + '\\grp\\six\\six.msi', core + 'six\\six.msi',
                         core + 'grp\\six\\six.msi')
                 + header(6, core + 'grp\\six\\six.msi') + package(built['six'], 'A=6', 0))
        seven_found = a1 + 'deep\\er\\seven.msi'
        body += (looking(a1 + 'seven.msi', a1 + 'seven\\seven.msi', a1 + 'core\\seven\\seven.msi',
                         a0 + '\\core\\seven\\seven.msi', core + 'seven\\seven.msi',
                         core + 'core\\seven\\seven.msi')
                 + '*** seven.msi wasn\'t found any where!\n'
                 + header(7, m + '\\core\\seven\\seven.msi')
                 + 'Product  is being installed/modified/repaired.\n'
                 + 'File %s\\core\\seven\\seven.msi was not found.\n\n' % m
                 + 'looking for \\seven.msi under %s\n' % a0
                 + 'found %s\n' % seven_found + 'is it @ %s?\n' % seven_found
                 + 'Launching: A=7\n\n' + result_line(0))
        msiexec_missing = None   # the planted msiexec.exe is a file of the current folder
        body += header(8, 'msiexec.exe') + program(
            SYSTEM_MSIEXEC + ' /i "%seight\\eight.msi" /qn' % core, 0, missing=msiexec_missing,
            search='localPackage=%s\\core\\eight\\eight.msi\n' % m
                   + 'core part is =\\core\\eight\\eight.msi\n')
        nine_found = a1 + 'old\\core\\nine\\nine.msi'
        body += header(9, 'msiexec.exe') + program(
            SYSTEM_MSIEXEC + ' /I "%s" /qn' % nine_found, 0, missing=msiexec_missing,
            search='localPackage=%s\\core\\nine\\nine.msi\n' % m
                   + 'core part is =\\core\\nine\\nine.msi\n'
                   + 'found %s\n' % nine_found + 'core is =%s\n' % nine_found)
        body += header(10, 'msiexec.exe') + program(
            SYSTEM_MSIEXEC + ' /qn /i "%s\\cd\\ten.msi"' % a0, 0, missing=msiexec_missing)
        body += (looking(a1 + 'dotnetfx.exe', a1 + 'redist\\dotnetfx.exe',
                         a1 + 'media\\redist\\dotnetfx.exe', a0 + '\\redist\\dotnetfx.exe',
                         core + 'redist\\dotnetfx.exe', core + 'media\\redist\\dotnetfx.exe',
                         core + 'dotnet20\\dotnetfx.exe')
                 + header(11, staged) + program(staged + ' /q', 0))
        setup2 = a1 + 'old\\core\\tools\\setup2.exe'
        body += (looking(a1 + 'setup2.exe', a1 + 'tools\\setup2.exe',
                         a1 + 'core\\tools\\setup2.exe', a0 + '\\core\\tools\\setup2.exe',
                         core + 'tools\\setup2.exe', core + 'core\\tools\\setup2.exe')
                 + '*** setup2.exe wasn\'t found any where!\n'
                 + header(12, m + '\\core\\tools\\setup2.exe')
                 + program(setup2 + ' -s', 0, missing=m + '\\core\\tools\\setup2.exe',
                           search='core part is =\\core\\tools\\setup2.exe\n'
                                  + 'found %s\n' % setup2 + 'core is =%s\n' % setup2))
        fix = 'y:\\cd\\patches\\a\\b\\fix.exe'
        body += (looking(a1 + 'fix.exe', a1 + 'b\\fix.exe', a1 + 'a\\b\\fix.exe', fix,
                         core + 'b\\fix.exe', core + 'a\\b\\fix.exe')
                 + '*** fix.exe wasn\'t found any where!\n'
                 + header(13, fix)
                 # An empty parameter still follows one blank.
                 + program(a0 + '\\patches\\a\\b\\fix.exe ', 0, missing=fix))
        # The uninstaller is looked for below the alternative source too.
        self.assert_log(self.run_log(result), body, '')

        self.assertEqual(self.starts(record), [
            (staged.lower(), staged + ' /q', f),
            (setup2, setup2 + ' -s', f),
            (a0 + '\\patches\\a\\b\\fix.exe', a0 + '\\patches\\a\\b\\fix.exe ', f),
        ])
        self.assertFalse(os.path.exists(self.host.unix_path(self.temp + 'norvacore')))
        after = self.host.installed_products()
        self.assertEqual(sorted(v[0] for c, v in after.items() if c not in before),
                         sorted(built.values()))

    def test_interactive_run_shows_each_item_and_reports_removals(self):
        f = 'C:\\I003'
        program_path = self.media(f, status_mif=True)
        record, mif = f + '\\standins.txt', f + '\\mif.txt'
        legacy = self.preinstall(f + '\\pre\\legacy.msi', 'Norvasoft Legacy', '3.0.1', 'LEG')
        unknown_code = new_guid()
        apps = f + '\\core\\apps\\'
        self.host.build_msi(apps + 'alpha.msi', {'NVProductPrefix': 'ALPHA'},
                            product_name='Norvasoft Alpha', version='4.0.0')
        self.host.build_msi(apps + 'broken.msi', {'NVProductPrefix': 'BRK'},
                            product_name='Norvasoft Broken', version='0.9', launch_condition='0')
        tool = self.host.install_standin(f + '\\tools\\tool.exe', record=record, read_status=1)
        msde = self.host.install_standin(f + '\\msde2ksp3\\setup.exe', record=record,
                                         read_status=1, ping_status=1, sleep_ms=500)
        items = [
            (apps + 'alpha.msi', 'A=1'),
            (legacy, ''),
            (unknown_code, ''),
            (tool, '/s'),
            (msde, '/q'),
            (apps + 'broken.msi', ''),
        ]
        response = f + '\\resp.xml'
        before = self.host.installed_products()

        result = self.run_items(program_path, response, items, ['/I', '/M'], cwd=f,
                                env={'NV_MIF_RECORD': mif})

        self.assert_exit(result, INSTALL_FAILURE)
        self.assert_quiet(result)
        self.assertTrue(self.status_window_created(result), result.describe())
        body = plan(response, [p for p, _ in items], f.lower() + '\\core\\')
        body += header(1, apps + 'alpha.msi') + package('Norvasoft Alpha', 'A=1', 0)
        body += header(2, legacy) + removal('Norvasoft Legacy', 0)
        body += header(3, unknown_code) + removal('', UNKNOWN_PRODUCT)
        body += header(4, tool) + program(tool + ' /s', 0)
        body += (header(5, msde) + 'Non-Msi process is being launched.\n'
                 + 'MSDE Launched on a new thread...\n\n' + 'MSDE installed.\n\n')
        body += header(6, apps + 'broken.msi') + package('Norvasoft Broken', '', INSTALL_FAILURE)
        self.assert_log(self.run_log(result), body, 'c:\\i003\\core\\' + UNINSTALLER)

        # What the status window showed while the programs ran; the MSDE
        # setup runs on a worker thread, so the window answers meanwhile.
        events = [(e.kind, e.fields) for e in self.host.standin_events(record)
                  if e.kind in ('status', 'ping')]
        self.assertEqual([kind for kind, _ in events], ['status', 'status', 'ping'], events)
        self.assertEqual(events[0][1], [
            '1', 'Norvasoft Installer is configuring %s. Please wait...' % tool, 'step 4 of 6'])
        self.assertEqual(events[1][1], [
            '1', 'Norvasoft Installer is configuring %s. Please wait...' % msde, 'step 5 of 6'])
        self.assertEqual(events[2][1][:2], ['1', '1'],
                         'the status window was not serviced during the MSDE setup: %r'
                         % (events[2],))

        # Interactive mode reports removals too, with the removal wording.
        self.assertEqual(self.mif_records(mif), [
            ('Norvasoft Alpha', 'Norvasoft', 'Norvasoft Alpha', '4.0.0', 'ENU', '<null>',
             'Installation Successful', '1'),
            ('Norvasoft Legacy', 'Norvasoft', 'Norvasoft Legacy', '3.0.1', 'ENU', '<null>',
             'Uninstallation Successful', '1'),
            ('', 'Norvasoft', '', '', 'ENU', '<null>', 'Uninstallation Failure', '0'),
            ('Norvasoft Broken', 'Norvasoft', 'Norvasoft Broken', '0.9', 'ENU', '<null>',
             'Installation Failure', '0'),
        ])
        after = self.host.installed_products()
        self.assertEqual(sorted(v[0] for c, v in after.items() if c not in before),
                         ['Norvasoft Alpha'])
        self.assertNotIn(legacy, after)

    def test_a_shell_failure_in_a_silent_run_is_logged_and_waits_for_nobody(self):
        # The old staging folder holds a file another process keeps open:
        # its removal fails. The shell shows no error box in a silent run
        # (Wine's shows none anyway); the failure is logged and the run ends.
        f = 'C:\\I005'
        program_path = self.media(f)
        self.host.install_standin(f + '\\core\\dotnet20\\DotNetFx.exe')
        staging = self.temp + 'norvacore'
        self.host.write_file(staging + '\\old.txt', 'held')
        self.addCleanup(shutil.rmtree, self.host.unix_path(staging), True)
        with self.host.file_locked(staging + '\\old.txt'):
            result = self.run_items(program_path, f + '\\resp.xml',
                                    [(f + '\\core\\dotnet20\\DotNetFx.exe', '/q')], cwd=f, timeout=60)
        self.assert_exit(result, 0)
        self.assertEqual(result.message_boxes, [], result.describe())
        self.assertRegex(self.run_log(result),
                         re.escape('Shell operation failed with code ') + r'\d+: '
                         + re.escape(staging + '\n'))

    def test_an_item_that_waits_for_a_person_is_ended_and_runs_never_overlap(self):
        # Where nobody sees a window (a window station that is not visible), a setup
        # that starts a child and then asks "Click OK" would hold the run
        # for ever. With itemtimeout= it is ended with its child after its
        # box is logged; the run goes on and ends with 1460.
        f = 'C:\\B021'
        program_path = self.media(f)
        record = f + '\\standins.txt'
        child = self.host.install_standin(f + '\\tools\\child.exe', record=record, sleep_ms=600000)
        setup = self.host.install_standin(f + '\\tools\\setup.exe', record=record, spawn=child,
                                          box='Setup finished. Click OK to close.',
                                          box_caption='Norvasoft Setup')
        after = self.host.install_standin(f + '\\tools\\after.exe', record=record)
        self.host.build_msi(f + '\\pkg\\quick.msi', {}, product_name='Norvasoft Quick')
        items = [(setup, ''), (f + '\\pkg\\quick.msi', ''), (after, '')]
        result = self.run_items(program_path, f + '\\resp.xml', items, ['/S', 'itemtimeout=15'],
                                cwd=f, timeout=120, env={'NV_RUNEXE_HIDDEN': '1'})
        self.assert_exit(result, 1460)
        self.assertLess(result.ended - result.started, 60, result.describe())
        shutil.copy(self.host.run_logs()[0], os.path.join(result.run_dir, 'timed_out_run.log'))
        log = self.run_log(result)
        window = re.search(r'PRODUCT1 window: "Norvasoft Setup"((?: "[^"\n]*")*)\n', log)
        self.assertIsNotNone(window, log)
        self.assertEqual(sorted(re.findall(r'"([^"]*)"', window.group(1))),
                         ['OK', 'Setup finished. Click OK to close.'], log)
        self.assertIn('\nPRODUCT1 did not finish within 15 seconds and was ended.\n'
                      'Launch return value is 1460\n\n', log)
        self.assertEqual([p.rsplit('\\', 1)[-1] for p, _, _ in self.starts(record)],
                         ['setup.exe', 'child.exe', 'after.exe'])
        self.assertEqual([c for _, c in self.host.prefix_processes() if 'child.exe' in c.lower()], [])
        # The package ran with the handler set, and removed after.
        handlers = [[a.value for a in c.args] for c in result.calls('MsiSetExternalUIA')]
        self.assertEqual(len(handlers), 2, result.describe())
        self.assertNotEqual(handlers[0][0], 0)
        self.assertEqual(handlers[0][1], 0x700)
        self.assertEqual(handlers[1], [0, 0, 0])

        # Two runs started at once on the same media: with busywait= the
        # second waits for the first; without it exactly one stops with 1
        # (where nobody sees its message, which goes to its log), installs
        # nothing, and keeps a log of its own.
        record = f + '\\clock.txt'
        slow = self.host.install_standin(f + '\\tools\\slow.exe', record=record, sleep_ms=3000)
        self.host.write_file(f + '\\two.xml', response_file([(slow, '')]))
        for waits in (True, False):
            with self.subTest(busywait=waits):
                self.host.clear_run_logs()
                if os.path.exists(self.host.unix_path(record)):
                    os.remove(self.host.unix_path(record))
                args = ['two.xml', '/S'] + (['busywait=60'] if waits else [])
                codes = self.host.run_together(program_path, [args, args], cwd=f,
                                               env={'NV_RUNEXE_HIDDEN': '1'})
                clocks = [int(e.fields[-1]) for e in self.host.standin_events(record)
                          if e.kind in ('start', 'end')]
                if waits:
                    self.assertEqual(codes, [0, 0])
                    self.assertEqual(len(clocks), 4)
                    first, second = sorted([clocks[0:2], clocks[2:4]])
                    self.assertLessEqual(first[1], second[0], clocks)
                else:
                    self.assertEqual(sorted(codes), [0, 1])
                    self.assertEqual(len(clocks), 2)
                    logs = []
                    for path in self.host.run_logs():
                        with open(path, 'rb') as log:
                            logs.append(log.read().decode('latin-1'))
                    self.assertEqual(sum(text.endswith('Exit code: 1\r\n') for text in logs), 1, logs)
                self.assertEqual(len(self.host.run_logs()), 2, self.host.run_logs())

    def test_an_interactive_run_answers_an_item_that_broadcasts(self):
        # A setup that changed the environment tells every top-level window,
        # the status window too, and waits for all of them to answer. The run
        # waits for it meanwhile, and must deliver that message rather than
        # hang. Wine shows the hang only with a display.
        f = 'C:\\B022'
        program_path = self.media(f)
        record = f + '\\standins.txt'
        setup = self.host.install_standin(f + '\\tools\\env.exe', record=record, broadcast=1)
        with self.host.virtual_display() as display:
            result = self.run_items(program_path, f + '\\resp.xml', [(setup, '/s')], ['/I'],
                                    cwd=f, timeout=60, env={'DISPLAY': display})
        self.assert_exit(result, 0)
        self.assertEqual([e.kind for e in self.host.standin_events(record)],
                         ['start', 'broadcast', 'end'])
        self.assertLess(int(self.host.standin_events(record)[1].fields[0]), 15000)

    def test_malformed_items_end_the_run_without_a_crash_or_hang(self):
        f = 'C:\\B001'
        program_path = self.media(f)
        record = f + '\\standins.txt'
        # Two folders below the alternative source link back to it: a search
        # that followed links would walk 2^n paths until they grew too long.
        loop = f + '\\loop'
        for sub in ('a', 'b'):
            self.host.make_dir(loop + '\\' + sub + '\\data')
            os.symlink('..', self.host.unix_path(loop + '\\' + sub + '\\up'))
        self.host.build_msi(f + '\\pkg\\ok.msi', {}, product_name='Norvasoft Long')
        echo = self.host.install_standin(f + '\\tools\\echo.exe', record=record)
        tool = self.host.install_standin(f + '\\tools\\tool.exe', record=record)
        never = self.host.install_standin(f + '\\tools\\never.exe', record=record)
        long_program = f + '\\' + 'p' * 280 + '.exe'
        long_package = f + '\\' + 'm' * 290 + '.msi'
        huge_program = f + '\\' + 'g' * 39988 + '.exe'
        huge_package = f + '\\' + 'h' * 39988 + '.msi'
        huge = '/' + 'q' * 39999
        huge_property = 'LONGPROP=' + 'v' * 39991
        one_quote = '/i "C:\\half'
        items = [
            (long_program, '-x'),                                  # 1
            (tool, huge),                                          # 2
            (long_package, 'A=1'),                                 # 3: searched, loop and all
            (f + '\\pkg\\ok.msi', huge_property),                  # 4
            ('{', ''),                                             # 5
            ('msiexec.exe', '/i "x:\\nothing.msi /qn'),            # 6
            (echo, one_quote),                                     # 7
            (huge_program, '-x'),                                  # 8
            (huge_package, 'A=1'),                                 # 9
            ('""""', 'X=1'),                                       # 10: reads as empty: the end
            (never, ''),                                           # 11: never reached
        ]
        response = f + '\\resp.xml'

        result = self.run_items(program_path, response, items, ['altsource=' + loop], cwd=f,
                                timeout=120)

        self.assertFalse(result.timed_out, 'the run did not end\n' + result.describe())
        self.assertIsNotNone(result.exit_code, result.describe())
        # Exception codes (0xC0000005 and the like) are negative as 32-bit values.
        self.assertGreaterEqual(result.exit_code, 0,
                                'crashed: %#x' % (result.exit_code & 0xFFFFFFFF))
        self.assert_quiet(result)
        log = self.run_log(result)
        expected_plan = plan(response, [p for p, _ in items], '')
        self.assertTrue(log.startswith(expected_plan), log[:2000])
        self.assertTrue(log.endswith(CLOSING), log[-2000:])
        items_text = log[len(expected_plan):-len(CLOSING)]
        # The uninstaller is looked for below the looping folder too.
        self.assertTrue(items_text.endswith(uninstaller_missing('')), items_text[-300:])
        items_text = items_text[:-len(uninstaller_missing(''))]
        pieces = HEADER_RE.split(items_text)
        self.assertEqual(pieces[0], '', 'lines before the first item')
        blocks = {int(pieces[i]): (pieces[i + 1], pieces[i + 2])
                  for i in range(1, len(pieces), 3)}
        self.assertEqual(sorted(blocks), list(range(1, 10)), 'items launched: %r' % sorted(blocks))

        # Over-long command lines: the item is started, cut or refused, and
        # the log says what was done after the usual first lines.
        for n in (1, 2, 8):
            path, text = blocks[n]
            self.assertEqual(path, items[n - 1][0])
            start = 'Non-Msi process is being launched.\n'
            if n != 2:
                start += 'File %s was not found.\n' % path
            self.assertTrue(text.startswith(start), text[:300])
            self.assertGreater(len(text), len(start), 'nothing said about item %d' % n)
        # Whatever was started is what the log says was launched, and no more
        # than the item asked for.
        for started in [s for s in self.starts(record) if s[0] == tool.lower()]:
            self.assertIn('Launching: %s\n\n' % started[1], blocks[2][1])
            self.assertTrue((tool + ' ' + huge).startswith(started[1]), started[1][:300])

        for n, missing in ((3, long_package), (9, huge_package)):
            self.assertEqual(blocks[n], (missing, (
                'Product  is being installed/modified/repaired.\n'
                'File %s was not found.\n\n' % missing
                + 'Giving up. File %s was not found.\n' % missing)))
        path, text = blocks[4]
        m = re.fullmatch(r'Product Norvasoft Long is being installed/modified/repaired\.\n'
                         r'Launching: (.*)\n\n(Installation launched succesfully\.\n\n'
                         r'|There was a problem in launching the install\. '
                         r'Return value is \d+\n\n)', text, re.S)
        self.assertIsNotNone(m, text[:300] + '...' + text[-300:])
        self.assertEqual(m.group(1), huge_property)
        self.assertRegex(blocks[5][1], r'^Product  is being uninstalled\.\n'
                         r'There was a problem in launching the install\. Return value is \d+\n\n$')
        # The parameter's lone quote leaves it as it is; msiexec gets it whole.
        rc = re.search(r'Launch return value is (\d+)\n\n$', blocks[6][1])
        self.assertIsNotNone(rc, blocks[6][1])
        self.assertEqual(blocks[6][1], program(SYSTEM_MSIEXEC + ' /i "x:\\nothing.msi /qn',
                                               int(rc.group(1)), missing='msiexec.exe'))
        self.assertEqual(blocks[7][1], program(echo + ' ' + one_quote, 0))
        self.assertIn((echo.lower(), echo + ' ' + one_quote, f), self.starts(record))
        self.assertNotIn(never.lower(), [s[0] for s in self.starts(record)])

        # The exit code is the last failing Windows Installer result, a
        # missing package counting as one that cannot be opened.
        failures = re.findall(r'There was a problem in launching the install\. '
                              r'Return value is (\d+)\n|Giving up\. File ', log)
        self.assertEqual(result.exit_code, int(failures[-1] or PACKAGE_OPEN_FAILED) if failures else 0)


if __name__ == '__main__':
    winehost.main()
