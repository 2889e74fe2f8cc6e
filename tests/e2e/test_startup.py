"""End to end: the command line, the help request and invalid arguments.

The program runs under Wine; message boxes are checked through the relay
trace (owner, caption, flags) and the dialog bot (the full text).
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import MB_ICONINFORMATION, MB_ICONWARNING, MB_OK  # noqa: E402

CAPTION = 'Norvasoft Unattended Installer'
OPTIONS_BLOCK = (
    '\n\nOptions:'
    '\n/I | /S - Interactive or Silent. Default is Silent'
    '\n/noreboot - Do not reboot even if reboot was required by the installed products'
    '\n/forcereboot - Reboot always'
    '\n/L - Creates Windows Installer verbose log files under %temp%'
    '\nlogfile - fully qualified log file name. Log file is created under %temp% with file name'
    ' VOVarOvadevir *.log'
    '\naltsource - Alternative install media location. Use \\altsource=. to start the search'
    ' from NvRunUnattended.exe folder'
    '\n/m - Generate .mif file for SMS client computers'
    '\n/removeall - Uninstalls all Norvasoft products'
    '\nbusywait - Seconds to wait for another installation to finish before giving up'
    '\n/rebootcodes - Exit with 3010 when a restart is pending, 1641 when one was started'
    '\nitemtimeout - Seconds an item may run before it is ended'
    '\n/agent - Started by a management agent: no windows, agent return codes'
    '\nresult - JSON file that records the run and each item\'s outcome'
    '\nNote: .xml file path is optional if in the same directory as NvRunUnattended.exe')
INVALID_COMMAND_LINE = 1639
FORM_A = 'Invalid command line options detected. Please use the following options.\n'
FORM_B = 'Invalid command line options detected. Please use the following options. \n'
NOT_FOUND = 'Could not locate the unattended response file '
PICK_TITLE = 'Select the response File'


class StartupTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()
        cls.folder = 'C:\\S001'
        cls.program = cls.host.install_program(cls.folder)
        cls._usage = None

    def setUp(self):
        self.host.clear_run_logs()

    def run_program(self, args, answers=(CAPTION + '::btn:1',)):
        return self.host.run(self.program, args, answers=answers, timeout=40)

    def startup_box(self, result):
        """Checks that the run showed exactly one message box, owned by the
        desktop window, with the caption, the information icon and OK; returns
        its full text."""
        boxes = result.message_boxes
        self.assertEqual(len(boxes), 1, result.describe())
        box = boxes[0]
        self.assertIsNotNone(result.desktop, result.describe())
        self.assertEqual(box.owner, result.desktop, 'owner is not the desktop window\n'
                         + result.describe())
        self.assertEqual((box.caption, box.flags), (CAPTION, MB_ICONINFORMATION | MB_OK),
                         result.describe())
        dialogs = result.titled_dialogs
        self.assertEqual([d.title for d in dialogs], [CAPTION], result.describe())
        text = dialogs[0].message_text
        self.assertIsNotNone(text, result.describe())
        self.assertTrue(box.text_agrees_with(text),
                        'the traced text and the shown text differ\n' + result.describe())
        return text

    def assert_no_run_log(self, result):
        self.assertEqual(self.host.run_logs(), [], 'a run log was written\n' + result.describe())

    def usage_text(self):
        """The usage text as the help request shows it (one run, cached)."""
        if StartupTest._usage is None:
            result = self.run_program(['/?'])
            self.assertEqual(result.exit_code, 0, result.describe())
            StartupTest._usage = self.startup_box(result)
        return StartupTest._usage

    # ------------------------------------------------------------ tests

    def test_help_request_shows_the_usage_text_and_writes_nothing(self):
        for argument in ('/?', '?'):
            with self.subTest(argument=argument):
                result = self.run_program([argument])
                self.assertEqual(result.exit_code, 0, result.describe())
                text = self.startup_box(result)
                self.assert_no_run_log(result)

                self.assertTrue(text.endswith(OPTIONS_BLOCK),
                                'options block differs:\n%r' % text[-len(OPTIONS_BLOCK) - 20:])
                line = text[:-len(OPTIONS_BLOCK)]
                self.assertNotIn('\n', line, 'the usage line is broken: %r' % line)
                # The program as a quoted path on a share, then the example
                # response file behind an optional share path in brackets.
                self.assertTrue(line.startswith('"\\\\'), line)
                self.assertIn('NvRunUnattended.exe" ', line)
                self.assertIn(']MyInstall.xml"', line)
                self.assertIn('logfile="C:\\Logs\\silent.log"', line)
                self.assertIn('altsource="\\\\', line)
                self.assertTrue(line.endswith(' /m'), line)
                positions = [line.find(part) for part in (
                    'NvRunUnattended.exe', 'MyInstall.xml', '[/I | /S]',
                    '[/noreboot | /forcereboot]', '[/L]', 'logfile=', 'altsource=')]
                self.assertNotIn(-1, positions, line)
                self.assertEqual(positions, sorted(positions), 'switches out of order: ' + line)
                self.assertEqual(text, self.usage_text(), 'help texts differ between runs')

    def test_invalid_arguments_show_the_usage_text_and_write_nothing(self):
        cases = [
            (['/x'], FORM_A),
            (['setup.msi'], FORM_B),                 # nine characters, no known prefix
            (['\\altsource=.'], FORM_B),             # as the usage text spells it
            (['/?', '/I'], FORM_A),                  # not a help request with two arguments
            (['/I', '/?'], FORM_A),
            (['/?', '   '], FORM_A),                 # a blank argument still counts
            ([' /?'], FORM_A),                       # help is compared untrimmed
            (['/' + 'x' * 300], FORM_B),             # far longer than any buffer of 260
            # A valid switch before the invalid one takes no effect either.
            (['logfile=C:\\S001\\Early.log', '/x'], FORM_A),
        ]
        usage = self.usage_text()
        for args, form in cases:
            with self.subTest(args=[a[:40] for a in args]):
                result = self.run_program(args)
                self.assertEqual(result.exit_code, INVALID_COMMAND_LINE, result.describe())
                text = self.startup_box(result)
                self.assertEqual(text, form + usage)
                self.assert_no_run_log(result)
        self.assertNotIn('early.log',
                         [n.lower() for n in os.listdir(self.host.unix_path(self.folder))])

    def test_overlong_and_blank_arguments_reach_the_response_file_search(self):
        # Each of these gets past the command line; with no response file the
        # run shows the not-found warning and the file-open dialog, and a
        # cancelled dialog ends it with 1. A log file that cannot be created
        # may be reported on the way; nothing else may come up.
        long_xml = self.folder + '\\' + 'r' * 300 + '.xml'
        cases = [
            (['   '], NOT_FOUND, False),
            ([long_xml], NOT_FOUND + long_xml, False),
            (['logfile=C:\\' + 'l' * 300 + '.log'], NOT_FOUND, True),
            (['altsource=C:\\' + 'a' * 300], NOT_FOUND, False),
        ]
        for args, message, log_may_fail in cases:
            with self.subTest(args=[a[:40] for a in args]):
                result = self.run_program(args, answers=(CAPTION + '::btn:1',
                                                         PICK_TITLE + '::cancel'))
                self.assertEqual(result.exit_code, 1, result.describe())
                boxes = result.message_boxes
                self.assertIn(len(boxes), (1, 2) if log_may_fail else (1,), result.describe())
                self.assertEqual((boxes[-1].owner, boxes[-1].caption, boxes[-1].flags),
                                 (0, CAPTION, MB_ICONWARNING), result.describe())
                dialogs = result.titled_dialogs
                self.assertEqual(len(dialogs), len(boxes) + 1, result.describe())
                self.assertEqual([d.title for d in dialogs[-2:]], [CAPTION, PICK_TITLE],
                                 result.describe())
                self.assertEqual(dialogs[-2].message_text, message)

    def test_where_nobody_can_see_a_window_each_stop_is_logged_with_its_code(self):
        # The program starts in a window station that is not visible, as a
        # service's: a message box or the file dialog there would wait until
        # the time-out. Each stop leaves its message and exit code in the
        # default run log instead, within seconds.
        invalid = self.folder + '\\invalid.xml'
        self.host.write_file(invalid, '<PRODUCT1>c:\\a.msi</PRODUCT1><PARAMETER1>A=1</PARAMETER1>\r\n'
                                      '<PRODUCT2>c:\\b.msi</PRODUCT2>\r\n')
        missing = self.folder + '\\missing.xml'
        cases = [
            (['/x'], INVALID_COMMAND_LINE, FORM_A + self.usage_text()),
            ([invalid], 13, 'Invalid entries found in response file. Please fix the errors before '
                            'proceeding'),
            ([missing], 1, NOT_FOUND + missing),
            # Started by an agent, the same on a visible desktop.
            ([missing, '/agent'], 1, NOT_FOUND + missing),
        ]
        for args, code, message in cases:
            with self.subTest(args=args):
                self.host.clear_run_logs()
                hidden = {} if '/agent' in args else {'NV_RUNEXE_HIDDEN': '1'}
                result = self.host.run(self.program, args, timeout=20, env=hidden)
                self.assertEqual(result.exit_code, code, result.describe())
                self.assertLess(result.ended - result.started, 15, result.describe())
                self.assertEqual(result.calls('MessageBoxA', 'MessageBoxW', 'GetOpenFileNameA'), [],
                                 result.describe())
                logs = self.host.run_logs()
                self.assertEqual(len(logs), 1, result.describe())
                with open(logs[0], 'rb') as log:
                    text = log.read().decode('latin-1').replace('\r\n', '\n')
                self.assertTrue(text.endswith('%s\nExit code: %d\n' % (message, code)), text)


if __name__ == '__main__':
    winehost.main()
