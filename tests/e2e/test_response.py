"""End to end: finding and reading the response file, the install plan and
the run log it produces.

Paths that the run log shows are kept in 8.3 form with the case they have on
disk, because the program logs the short form of the response-file path.
"""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import MB_ICONWARNING, OFN_NAME_ID, OFN_TYPES_ID  # noqa: E402

UNATTENDED = 'Norvasoft Unattended Installer'
INSTALLER = 'Norvasoft Installer'
NOT_FOUND = 'Could not locate the unattended response file '
INVALID = 'Invalid entries found in response file. Please fix the errors before proceeding'
PACKAGE_OPEN_FAILED = 1619  # a package item that is not on the media
INVALID_DATA = 13
PICK_TITLE = 'Select the response File'
STATUS_TEMPLATE = 101
STATUS_TEXT_ID, STEP_TEXT_ID = 1001, 1002
SUITE_PROPERTIES = {'NVProductPrefix': 'NVT', 'NVProductTitle': 'Norvasoft Test',
                    'NVRKSVersion': '7.1.0'}
# The bot's answers: OK on the not-found warning, then Cancel in the picker.
ACKNOWLEDGE = UNATTENDED + '::btn:1'
CANCEL_PICK = (ACKNOWLEDGE, PICK_TITLE + '::cancel')
CLOSING_RE = re.compile(r'(\d\d/\d\d/\d\d) (\d\d:\d\d:\d\d) done\.')


def response_file(*elements: str) -> str:
    """A response file as an administrator writes it: declaration, root
    element, one element a line, Windows line ends."""
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    lines += ['  ' + e for e in elements]
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


def item(n: int, product: str, parameter: str):
    return ('<PRODUCT%d>%s</PRODUCT%d>' % (n, product, n),
            '<PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))


def on_disk(text: str) -> str:
    """The run log is written in text mode: each line end reaches the disk
    as CR LF."""
    return text.replace('\n', '\r\n')


def plan_log(response: str, products, core: str) -> str:
    """The run log up to the end of the counting pass, as on disk."""
    return on_disk('Response XML file: %s\n' % response + 'Counting items to be launched.\n'
                   + ''.join('PRODUCT%d=%s\n' % (n, p) for n, p in enumerate(products, 1))
                   + 'Core Directory: %s\n\n' % core)


class ResponseTest(unittest.TestCase):
    _folders = 0

    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()

    def setUp(self):
        self.host.clear_run_logs()

    def new_media(self):
        """A fresh media folder C:\\Ennn (8.3) with the program in it."""
        ResponseTest._folders += 1
        folder = 'C:\\E%03d' % ResponseTest._folders
        return folder, self.host.install_program(folder)

    def run_program(self, program, args, answers=(), cwd=None):
        return self.host.run(program, args, answers=answers, cwd=cwd, timeout=40)

    def default_log(self, result) -> str:
        """The one default run log of the run, after checking its name
        against the time of the run; returns its text (Latin-1)."""
        logs = self.host.run_logs()
        self.assertEqual(len(logs), 1, 'run logs: %r\n%s' % (logs, result.describe()))
        name = os.path.basename(logs[0])
        self.assertIn(name, winehost.ctime_names_between(
            result.started, result.ended, 'VOVarOvadevir %s.log'), 'unexpected log name')
        with open(logs[0], 'rb') as f:
            return f.read().decode('latin-1')

    def assert_finished_log(self, result, log: str, expected_plan: str):
        """A finished run: the plan lines, the items' and the uninstaller
        deployment's lines (the install suite checks those), then the closing
        line without line end, whose stamp is a second of the run and was
        echoed on stdout."""
        self.assertTrue(log.startswith(expected_plan),
                        'log:\n%r\nexpected to start with:\n%r' % (log, expected_plan))
        rest = log[len(expected_plan):]
        self.assertIn('Uninstall', rest, 'no uninstaller deployment line: %r' % rest)
        closing = rest[rest.rfind('\r\n') + 2:]
        m = CLOSING_RE.fullmatch(closing)
        self.assertIsNotNone(m, 'closing line: %r' % closing)
        self.assertTrue(winehost.stamp_within(m.group(1) + ' ' + m.group(2), result.started,
                                              result.ended), 'stamp outside the run: ' + closing)
        stdout = result.stdout.decode('latin-1').replace('\r\n', '\n')
        self.assertIn('\t\t\t\t%s\n \t\t\t\t%s\n' % (m.group(1), m.group(2)), stdout)

    def assert_silent_success(self, result, code: int = 0):
        """A silent run that showed nothing and ended with code: 0, or
        PACKAGE_OPEN_FAILED where a package of the response file is not
        there."""
        self.assertEqual(result.exit_code, code, result.describe())
        self.assertEqual(result.message_boxes, [], result.describe())
        self.assertEqual(result.titled_dialogs, [], result.describe())

    def status_window_created(self, result) -> bool:
        """The status window came up: the trace shows dialog template 101
        being created, or the bot saw a dialog with the status and step
        texts (1001, 1002)."""
        traced = any(len(c.args) > 1 and c.args[1].value == STATUS_TEMPLATE
                     for c in result.calls('CreateDialogParamA', 'CreateDialogParamW'))
        seen = any(d.control(STATUS_TEXT_ID) and d.control(STEP_TEXT_ID) for d in result.dialogs)
        return traced or seen

    # ------------------------------------------------- valid response files

    def test_valid_response_file_is_counted_and_logged(self):
        folder, program = self.new_media()
        f = folder.lower()
        response = folder + '\\resp.xml'
        products = [f + '\\core\\appone\\appone.msi',
                    '"%s\\tools\\setup.exe"' % f,      # logged with its quotes
                    f + '\\extras\\readme.txt']
        self.host.write_file(response, response_file(
            *item(1, products[0], 'ADDLOCAL=ALL REBOOT=ReallySuppress'),
            *item(2, products[1], ''),                # an empty parameter is fine
            *item(3, products[2], '/quiet'),
            # never counted: PRODUCT4 is missing
            *item(5, f + '\\never.msi', 'X=1')))

        result = self.run_program(program, [response])
        self.assert_silent_success(result, PACKAGE_OPEN_FAILED)  # appone.msi is not there
        self.assertFalse(self.status_window_created(result), 'status window in silent mode')
        self.assert_finished_log(result, self.default_log(result),
                                 plan_log(response, products, f + '\\core\\'))

    def test_long_response_file_name_is_logged_in_short_form(self):
        folder, program = self.new_media()
        response = folder + '\\Response Files\\Weekly Rollout.xml'
        self.host.write_file(response, response_file(*item(1, 'c:\\app.msi', 'A=1')))

        result = self.run_program(program, [response])
        self.assert_silent_success(result, PACKAGE_OPEN_FAILED)
        log = self.default_log(result)
        first = log.partition('\r\n')[0]
        self.assertTrue(first.startswith('Response XML file: %s\\' % folder), first)
        short = first[len('Response XML file: '):]
        for part in short.split('\\')[1:]:
            self.assertRegex(part, r'^[^ .]{1,8}(\.[^ .]{1,3})?$', 'not an 8.3 path: ' + short)
        self.assertTrue(short.upper().endswith('.XML'), short)
        # The items are read through the short path all the same.
        self.assert_finished_log(result, log, plan_log(short, ['c:\\app.msi'], ''))

    def test_run_log_given_with_logfile_creates_its_folders_and_is_truncated(self):
        folder, program = self.new_media()
        response = folder + '\\resp.xml'
        self.host.write_file(response, response_file(*item(1, 'c:\\app.msi', 'A=1')))
        self.assertFalse(os.path.exists(self.host.c_path('new')))
        # The value is taken in lower case, so the folders are made so too.
        target = self.host.c_path('new', 'deep', 'run.log')
        for attempt in (1, 2):
            with self.subTest(attempt=attempt):
                result = self.run_program(program, [response, 'logfile=C:\\New\\Deep\\Run.log'])
                self.assert_silent_success(result, PACKAGE_OPEN_FAILED)
                self.assertTrue(os.path.isfile(target), 'no %s\n%s' % (target, result.describe()))
                self.assertEqual(self.host.run_logs(), [], 'a default log was written as well')
                with open(target, 'rb') as log:
                    # The second run replaces the first run's log.
                    self.assert_finished_log(result, log.read().decode('latin-1'),
                                             plan_log(response, ['c:\\app.msi'], ''))

    # ----------------------------------------------- invalid response files

    def test_invalid_entries_stop_the_run_after_the_items_before_them(self):
        folder, program = self.new_media()
        first = item(1, 'c:\\one.msi', 'A=1')
        cases = {
            'both-empty': (*first, '<PRODUCT2></PRODUCT2>', '<PARAMETER2></PARAMETER2>'),
            'parameter-without-product': (*first, '<PARAMETER2>B=2</PARAMETER2>'),
            'empty-parameter-without-product': (*first, '<PARAMETER2></PARAMETER2>'),
            'product-without-parameter': (*first, '<PRODUCT2>c:\\two.msi</PRODUCT2>',
                                          *item(3, 'c:\\three.msi', 'C=3')),
        }
        for number, (name, elements) in enumerate(cases.items(), 1):
            with self.subTest(case=name):
                self.host.clear_run_logs()
                response = '%s\\bad%d.xml' % (folder, number)
                self.host.write_file(response, response_file(*elements))

                result = self.run_program(program, [response], answers=(INSTALLER + '::btn:1',))
                self.assertEqual(result.exit_code, INVALID_DATA, result.describe())
                boxes = result.message_boxes
                self.assertEqual(len(boxes), 1, result.describe())
                self.assertEqual((boxes[0].owner, boxes[0].caption, boxes[0].flags, boxes[0].text),
                                 (0, INSTALLER, MB_ICONWARNING, INVALID), result.describe())
                self.assertEqual([(d.title, d.message_text) for d in result.titled_dialogs],
                                 [(INSTALLER, INVALID)])
                # Item 1 is logged, nothing of item 2, no plan end, no closing.
                self.assertEqual(self.default_log(result), on_disk(
                    'Response XML file: %s\n' % response
                    + 'Counting items to be launched.\nPRODUCT1=c:\\one.msi\n'))

    def test_empty_response_file_gives_an_empty_plan_and_an_unreadable_one_stops(self):
        folder, program = self.new_media()
        empty = folder + '\\empty.xml'
        self.host.write_file(empty, b'')
        as_folder = folder + '\\dir.xml'                 # found, but no file to read
        self.host.make_dir(as_folder)
        locked = folder + '\\locked.xml'                 # held open by another process
        self.host.write_file(locked, response_file(*item(1, 'c:\\app.msi', 'A=1')))

        self.host.clear_run_logs()
        result = self.run_program(program, [empty])
        self.assert_silent_success(result)
        self.assert_finished_log(result, self.default_log(result), plan_log(empty, [], ''))

        # A response file that cannot be read is no empty list: the run stops
        # as for invalid entries rather than ending as a success that
        # installed nothing.
        for response in (as_folder, locked):
            with self.subTest(response=response):
                self.host.clear_run_logs()
                answers = (INSTALLER + '::btn:1',)
                if response == locked:
                    with self.host.file_locked(locked):
                        result = self.run_program(program, [response], answers=answers)
                else:
                    result = self.run_program(program, [response], answers=answers)
                self.assertEqual(result.exit_code, INVALID_DATA, result.describe())
                self.assertEqual([(b.caption, b.text) for b in result.message_boxes],
                                 [(INSTALLER, INVALID)], result.describe())
                self.assertEqual(self.default_log(result), on_disk(
                    'Response XML file: %s\nCounting items to be launched.\n' % response))

    # -------------------------------------------- absent response files

    def test_absent_response_file_warns_and_asks_and_cancel_ends_with_1(self):
        folder, program = self.new_media()
        missing = folder + '\\missing.xml'
        result = self.run_program(program, [missing], answers=CANCEL_PICK)
        self.assertEqual(result.exit_code, 1, result.describe())
        boxes = result.message_boxes
        self.assertEqual(len(boxes), 1, result.describe())
        self.assertEqual((boxes[0].owner, boxes[0].caption, boxes[0].flags, boxes[0].text),
                         (0, UNATTENDED, MB_ICONWARNING, NOT_FOUND + missing))
        self.assertEqual(len(result.calls('GetOpenFileNameA', 'GetOpenFileNameW')), 1)
        dialogs = result.titled_dialogs
        self.assertEqual([d.title for d in dialogs], [UNATTENDED, PICK_TITLE], result.describe())
        self.assertEqual(dialogs[0].message_text, NOT_FOUND + missing)
        picker = dialogs[1]
        self.assertEqual(picker.text_of(OFN_TYPES_ID, 'ComboBox'), 'XML response file',
                         'the XML filter is not selected at first')
        self.assertEqual(picker.text_of(OFN_NAME_ID, 'Edit'), '', 'file name not empty at first')
        # The log was opened before the search and nothing was written to it.
        self.assertEqual(self.default_log(result), '')

    def test_no_response_file_named_and_none_next_to_the_program(self):
        folder, program = self.new_media()
        result = self.run_program(program, [], answers=CANCEL_PICK, cwd=folder)
        self.assertEqual(result.exit_code, 1, result.describe())
        self.assertEqual([(b.owner, b.caption, b.flags, b.text) for b in result.message_boxes],
                         [(0, UNATTENDED, MB_ICONWARNING, NOT_FOUND)], result.describe())
        dialogs = result.titled_dialogs
        self.assertEqual([d.title for d in dialogs], [UNATTENDED, PICK_TITLE], result.describe())
        self.assertEqual(dialogs[0].message_text, NOT_FOUND)

    def test_file_picked_in_the_dialog_is_used(self):
        folder, program = self.new_media()
        picked = folder + '\\picked.xml'
        self.host.write_file(picked, response_file(*item(1, 'c:\\app.msi', 'A=1')))
        result = self.run_program(program, [folder + '\\missing.xml', '/S'],
                                  answers=(ACKNOWLEDGE, PICK_TITLE + '::open:' + picked))
        # The picked file's package is not there.
        self.assertEqual(result.exit_code, PACKAGE_OPEN_FAILED, result.describe())
        self.assertEqual([d.title for d in result.titled_dialogs], [UNATTENDED, PICK_TITLE])
        self.assert_finished_log(result, self.default_log(result),
                                 plan_log(picked, ['c:\\app.msi'], ''))

    def test_response_file_name_is_found_next_to_the_program(self):
        folder, program = self.new_media()
        self.host.write_file(folder + '\\next.xml',
                             response_file(*item(1, 'c:\\app.msi', 'A=1')))
        result = self.run_program(program, ['next.xml'], cwd='C:\\')
        self.assert_silent_success(result, PACKAGE_OPEN_FAILED)
        self.assert_finished_log(result, self.default_log(result),
                                 plan_log(folder + '\\next.xml', ['c:\\app.msi'], ''))

    # --------------------------------------------------- core directory

    def assert_core_directories(self, folder, program, cases, parameter):
        """Runs one response file per case (name, item paths, expected core
        directory) and checks each run's log."""
        for name, products, core in cases:
            with self.subTest(response=name):
                self.host.clear_run_logs()
                response = folder + '\\' + name
                elements = []
                for n, product in enumerate(products, 1):
                    elements += item(n, product, parameter)
                self.host.write_file(response, response_file(*elements))
                result = self.run_program(program, [response])
                missing = any(p.strip('"').lower().endswith('msi')
                              and not os.path.exists(self.host.unix_path(p.strip('"'))) for p in products)
                self.assert_silent_success(result, PACKAGE_OPEN_FAILED if missing else 0)
                self.assert_finished_log(result, self.default_log(result),
                                         plan_log(response, products, core))

    def test_core_directory_from_packages_carrying_the_suite_properties(self):
        folder, program = self.new_media()
        f = folder.lower()
        # Two of the three properties are not enough, even with a core
        # folder right next to the package.
        partial = dict(SUITE_PROPERTIES)
        del partial['NVRKSVersion']
        self.host.build_msi(folder + '\\Pkg1\\partial.msi', partial)
        self.host.make_dir(folder + '\\Pkg1\\core')
        # The core folder one level above the package's folder.
        self.host.build_msi(folder + '\\Pkg2\\Disk1\\full.msi', SUITE_PROPERTIES)
        self.host.make_dir(folder + '\\Pkg2\\core')
        # A core folder next to the package wins over one above it.
        self.host.build_msi(folder + '\\Pkg3\\full.msi', SUITE_PROPERTIES)
        self.host.make_dir(folder + '\\Pkg3\\core')
        self.host.make_dir(folder + '\\core')

        cases = [
            ('two.xml', [folder + '\\Pkg1\\partial.msi', folder + '\\Pkg2\\Disk1\\full.msi'],
             f + '\\pkg2\\core\\'),   # the found directory is in lower case
            ('three.xml', [folder + '\\Pkg3\\full.msi'], f + '\\pkg3\\core\\'),
        ]
        self.assert_core_directories(folder, program, cases, 'ADDLOCAL=ALL')

    def test_core_directory_fallback_from_item_paths(self):
        folder, program = self.new_media()
        f = folder.lower()
        cases = [
            # "core" inside a longer folder name: cut in front of it.
            ('word.xml', [f + '\\norvacore\\tools\\setup.exe'], f + '\\norva\\core\\'),
            # The last item containing "core" decides; quotes do not count.
            ('last.xml', [f + '\\norvacore\\tools\\setup.exe', '"%s\\media\\core\\app.msi"' % f,
                          f + '\\other\\setup.exe'], f + '\\media\\core\\'),
        ]
        self.assert_core_directories(folder, program, cases, '/quiet')

    def test_core_directory_from_the_alternative_source(self):
        folder, program = self.new_media()
        f = folder.lower()
        # The item names media that are not there (no drive X:); the package
        # is found under the alternative source, with a core folder beside it.
        product = 'x:\\media\\appone\\appone.msi'
        response = folder + '\\resp.xml'
        self.host.write_file(response, response_file(*item(1, product, 'ADDLOCAL=ALL')))
        self.host.build_msi(folder + '\\Alt\\appone\\appone.msi', {'ProductFamily': 'Test'})
        self.host.make_dir(folder + '\\Alt\\appone\\core')
        self.host.build_msi(folder + '\\appone\\appone.msi', {'ProductFamily': 'Test'})
        self.host.make_dir(folder + '\\appone\\core')

        cases = [
            ([], ''),                                          # nothing without it
            (['altsource=%s\\Alt' % folder], f + '\\alt\\appone\\core\\'),
            (['/altsource=%s\\Alt\\\\\\' % folder], f + '\\alt\\appone\\core\\'),
            # "." is the program's folder.
            (['altsource=.'], folder + '\\appone\\core\\'),
        ]
        for extra, core in cases:
            with self.subTest(args=extra):
                self.host.clear_run_logs()
                result = self.run_program(program, [response] + extra)
                # Without the alternative source the package is not found.
                self.assert_silent_success(result, 0 if extra else PACKAGE_OPEN_FAILED)
                self.assert_finished_log(result, self.default_log(result),
                                         plan_log(response, [product], core))


if __name__ == '__main__':
    winehost.main()
