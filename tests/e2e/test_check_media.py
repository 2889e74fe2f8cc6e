"""End to end: NvCheckMedia.exe, the console program that reports what an
install run would find and start on given media.

The check runs under Wine next to the dialog bot (no dialog may come up) and
without a trace, so that its standard error holds only what it wrote. Its
report is compared whole. Afterwards nothing may have changed: no product
installed or removed, no program started, no staging folder, no run log or
Windows Installer log. One run of NvRunUnattended.exe over the same media
then shows that a run finds each item where the check said it would.

Media folders have 8.3 names, and folders below an alternative source are
lower case on disk, as the programs form those paths.

The signed media are signed with osslsigncode by a certificate the test
makes, whose root goes into the machine's Root store as Windows needs. What
Wine's WinVerifyTrust (Wine 8) checks: the digest of a signed program (one
changed byte gives TRUST_E_BAD_DIGEST), a damaged signature
(TRUST_E_CERT_SIGNATURE) and a file without a signature
(TRUST_E_NOSIGNATURE). It does not check the digest of a signed package, and
does not check the chain: an unknown root, an expired certificate or one not
made for code signing all pass. So the changed file here is a program.
"""

import glob
import hashlib
import json
import os
import pathlib
import re
import shlex
import shutil
import struct
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winehost  # noqa: E402
from winehost import new_guid  # noqa: E402

USAGE_ERROR, NO_RESPONSE_FILE, INVALID_ENTRIES = 10001, 10002, 10003
# What PowerShell 2.0, the version of Windows 7, lacks.
NOT_IN_POWERSHELL_2 = re.compile(r'(?im)\[ordered\]|\s-(not)?in\b|\$PSItem\b|::new\(|^\s*class\s')
SIGNER = 'Norvasoft Test Signing'


def make_signing_certificate(folder: str):
    """A test root and a code-signing certificate it issued (PEM files in
    folder); returns (root DER bytes, signing certificate, its key, root)."""
    os.makedirs(folder, exist_ok=True)
    ca, ca_key = os.path.join(folder, 'root.pem'), os.path.join(folder, 'root.key')
    cert, key = os.path.join(folder, 'sign.pem'), os.path.join(folder, 'sign.key')
    csr, ext = os.path.join(folder, 'sign.csr'), os.path.join(folder, 'sign.ext')
    quiet = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', ca_key,
                    '-out', ca, '-days', '30', '-subj', '/CN=Norvasoft Test Root',
                    '-addext', 'basicConstraints=critical,CA:TRUE',
                    '-addext', 'keyUsage=critical,keyCertSign'], **quiet)
    subprocess.run(['openssl', 'req', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', csr,
                    '-subj', '/CN=%s/O=Norvasoft' % SIGNER], **quiet)
    with open(ext, 'w') as f:
        f.write('basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n'
                'extendedKeyUsage=codeSigning\n')
    subprocess.run(['openssl', 'x509', '-req', '-in', csr, '-CA', ca, '-CAkey', ca_key,
                    '-set_serial', '2', '-days', '30', '-extfile', ext, '-out', cert], **quiet)
    der = subprocess.run(['openssl', 'x509', '-in', ca, '-outform', 'DER'], check=True,
                         stdout=subprocess.PIPE).stdout
    return der, cert, key, ca

HEADER_RE = re.compile(r'(?m)^\d\d/\d\d/\d\d \d\d:\d\d:\d\d PRODUCT(\d+) (.*) launched\.\n')


def response_file(items) -> str:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    return '\r\n'.join(lines) + '\r\n'


def head(response: str, core: str, prefix: str = '', alt: str = '') -> str:
    return ('response file: %s\ncore directory: %s\nmedia prefix: %s\nalternative source: %s\n\n'
            % (response, core, prefix, alt))


def block(n: int, written: str, path: str, rule: str, kind: str, *lines: str,
          media_path: str = None) -> str:
    text = 'item: %d\nwritten: %s\n' % (n, written)
    if media_path:
        text += 'media path: %s\n' % media_path
    text += 'path: %s\nrule: %s\nkind: %s\n' % (path, rule, kind)
    return text + ''.join(line + '\n' for line in lines) + '\n'


def package(n, written, path, rule, name, version, prefix, parameters, state='new install',
            signature='none'):
    return block(n, written, path, rule, 'package', 'status: found', 'product name: ' + name,
                 'product version: ' + version, 'product prefix: ' + prefix, 'state: ' + state,
                 'parameters: ' + parameters, 'signature: ' + signature)


def summary(items: int, failing: int, signed: int = 0, unsigned: int = 0,
            untrusted: int = 0) -> str:
    return ('summary: %d items, %d found, %d missing or failing; %d signed, %d unsigned, '
            '%d untrusted\n' % (items, items - failing, failing, signed, unsigned, untrusted))


class CheckMediaTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.host = winehost.host()
        cls.temp = cls.host.windows_path(cls.host.temp_dir) + '\\'

    def setUp(self):
        self.host.clear_run_logs()

    # ---------------------------------------------------------- helpers

    def check(self, program, args, cwd=None):
        """Runs the check; (exit code, stdout, stderr) with LF line ends,
        after making sure that no dialog came up and that every line end
        was CR LF."""
        result = self.host.run(program, list(args), cwd=cwd or program.rsplit('\\', 1)[0],
                               timeout=60, relay=False)
        self.assertFalse(result.timed_out or result.runner_lost, result.describe())
        self.assertEqual(result.titled_dialogs, [], result.describe())
        texts = []
        for raw in (result.stdout, result.stderr):
            text = raw.decode('latin-1')
            self.assertNotIn('\n', text.replace('\r\n', ''), 'a line end without CR: %r' % text)
            texts.append(text.replace('\r\n', '\n'))
        return result.exit_code, texts[0], texts[1]

    def leftovers(self):
        """What a run leaves in the temporary folder: run logs, Windows
        Installer logs, the staging folder."""
        temp = glob.escape(self.host.temp_dir)
        return sorted(os.path.basename(p) for pattern in ('VOVarOvadevir *.log', 'Msi*.log',
                                                          'norvacore')
                      for p in glob.glob(os.path.join(temp, pattern)))

    def starts(self, record: str):
        return [e.fields[0].lower() for e in self.host.standin_events(record) if e.kind == 'start']

    # ------------------------------------------------------------ tests

    def test_reports_found_and_missing_items_without_changing_anything(self):
        f = 'C:\\M001'
        record = f + '\\standins.txt'
        check = self.host.install_check_media(f)
        apps = f + '\\core\\apps\\'
        self.host.build_msi(apps + 'one.msi', {'NVProductPrefix': 'ONE'},
                            product_name='Norvasoft One', version='1.2.3')
        self.host.build_msi(apps + 'two.msi', {'NVProductPrefix': 'TWO'},
                            product_name='Norvasoft Two', version='2.0.1')
        self.host.install_standin(f + '\\core\\dotnet20\\dotnetfx.exe', record=record)
        tool = self.host.install_standin(f + '\\tools\\tool.exe', record=record)
        old = new_guid()
        self.host.build_msi(f + '\\pre\\old.msi', {}, product_name='Norvasoft Old',
                            product_code=old)
        self.assertEqual(self.host.msiexec('/i', f + '\\pre\\old.msi', '/qn'), 0)
        before = self.host.installed_products()
        self.assertIn(old, before)
        staged = self.temp + 'norvacore\\dotnetfx.exe'
        core = f.lower() + '\\core\\'

        # Every item present.
        complete = f + '\\all.xml'
        self.host.write_file(complete, response_file([
            (apps + 'one.msi', 'ADDLOCAL=ALL'),
            (apps + 'two.msi', ''),
            (f + '\\core\\dotnet20\\dotnetfx.exe', '/q'),
            (tool, '/s'),
            (old, ''),
        ]))
        code, out, err = self.check(check, [complete])
        self.assertEqual((code, err), (0, ''), out)
        self.assertEqual(out, head(complete, core)
                         + package(1, apps + 'one.msi', apps + 'one.msi', 'as written',
                                   'Norvasoft One', '1.2.3', 'ONE', 'ADDLOCAL=ALL')
                         + package(2, apps + 'two.msi', apps + 'two.msi', 'as written',
                                   'Norvasoft Two', '2.0.1', 'TWO', '')
                         # Reported where the run would copy it; not copied.
                         + block(3, f + '\\core\\dotnet20\\dotnetfx.exe', staged, 'local copy',
                                 '.NET redistributable', 'status: found',
                                 'command line: %s /q' % staged, 'signature: none',
                                 media_path=f + '\\core\\dotnet20\\dotnetfx.exe')
                         + block(4, tool, tool, 'as written', 'program', 'status: found',
                                 'command line: %s /s' % tool, 'signature: none')
                         + block(5, old, old, 'as written', 'product code', 'status: installed',
                                 'product name: Norvasoft Old')
                         + summary(5, 0, unsigned=4))

        # A missing package and a product code that is not installed: two
        # items that would fail, and the exit code says so.
        unknown = new_guid()
        partial = f + '\\part.xml'
        self.host.write_file(partial, response_file([
            (apps + 'one.msi', 'A=1'),
            (apps + 'gone.msi', 'A=2'),
            (unknown, ''),
            (tool, ''),
        ]))
        code, out, err = self.check(check, [partial])
        self.assertEqual((code, err), (2, ''), out)
        self.assertEqual(out, head(partial, core)
                         + package(1, apps + 'one.msi', apps + 'one.msi', 'as written',
                                   'Norvasoft One', '1.2.3', 'ONE', 'A=1')
                         + block(2, apps + 'gone.msi', apps + 'gone.msi', 'as written', 'package',
                                 'status: missing')
                         + block(3, unknown, unknown, 'as written', 'product code',
                                 'status: not installed')
                         # An empty parameter still follows one blank.
                         + block(4, tool, tool, 'as written', 'program', 'status: found',
                                 'command line: %s ' % tool, 'signature: none')
                         + summary(4, 2, unsigned=2))

        # Nothing installed, removed, started, copied or logged.
        self.assertEqual(self.host.installed_products(), before)
        self.assertEqual(self.starts(record), [])
        self.assertEqual(self.leftovers(), [])

    def test_alternative_source_reports_what_a_run_then_finds(self):
        f = 'C:\\M002'
        record = f + '\\standins.txt'
        check = self.host.install_check_media(f)
        run = self.host.install_program(f)
        alt = f + '\\alt'
        a0 = alt.lower()
        a1 = a0 + '\\'
        self.host.build_msi(a1 + 'one.msi', {'NVProductPrefix': 'AONE'},
                            product_name='Alt One', version='1.0.0')
        self.host.build_msi(a1 + 'pkgs\\two\\two.msi', {'NVProductPrefix': 'ATWO'},
                            product_name='Alt Two', version='2.0.0')
        self.host.build_msi(a1 + 'deep\\er\\three.msi', {'NVProductPrefix': 'ATHREE'},
                            product_name='Alt Three', version='3.0.0')
        tool = self.host.install_standin(a1 + 'tools\\tool.exe', record=record)
        m = 'x:\\media'
        items = [
            (m + '\\core\\one\\one.msi', 'A=1'),        # alternative source + file name
            (m + '\\pkgs\\two\\two.msi', 'A=2'),        # ... + two folders
            (m + '\\core\\three\\three.msi', 'A=3'),    # found by the subfolder search
            (m + '\\tools\\tool.exe', '/s'),            # a program, alternative source + folder
            (m + '\\core\\gone.msi', ''),               # nowhere
        ]
        response = f + '\\alt.xml'
        self.host.write_file(response, response_file(items))
        before = self.host.installed_products()

        code, out, err = self.check(check, [response, 'altsource=' + alt, '/v'])
        self.assertEqual((code, err), (1, ''), out)
        # The check's own lines, with the search trace taken out.
        lines = out.split('\n')
        traces = [line for line in lines if line.startswith('trace: ')]
        self.assertIn('trace: Looking for %s.' % (a1 + 'one.msi'), traces)
        self.assertIn('trace: found %s' % (a1 + 'deep\\er\\three.msi'), traces)
        report = '\n'.join(line for line in lines if not line.startswith('trace: '))
        # one.msi found below the alternative source, whose folder has no
        # "core": the core directory comes from the last item naming one.
        self.assertEqual(report, head(response, m + '\\core\\', m, a1)
                         + package(1, items[0][0], a1 + 'one.msi', 'alternative source',
                                   'Alt One', '1.0.0', 'AONE', 'A=1')
                         + package(2, items[1][0], a1 + 'pkgs\\two\\two.msi',
                                   'alternative source', 'Alt Two', '2.0.0', 'ATWO', 'A=2')
                         + package(3, items[2][0], a1 + 'deep\\er\\three.msi',
                                   'subfolder search', 'Alt Three', '3.0.0', 'ATHREE', 'A=3')
                         + block(4, items[3][0], a1 + 'tools\\tool.exe', 'alternative source',
                                 'program', 'status: found',
                                 'command line: %s /s' % (a1 + 'tools\\tool.exe'),
                                 'signature: none')
                         + block(5, items[4][0], items[4][0], 'as written', 'package',
                                 'status: missing')
                         + summary(5, 1, unsigned=4))
        self.assertEqual(self.host.installed_products(), before)
        self.assertEqual(self.starts(record), [])
        self.assertEqual(self.leftovers(), [])

        # A run over the same media and switches takes each item from where
        # the check found it: the item's header names it, or, for a package
        # found by the subfolder search (which comes after the header), the
        # line before its launch does; and it is that package that gets
        # installed.
        reported = re.findall(r'(?m)^item: (\d+)\n(?:.*\n)*?path: (.*)\nrule: (.*)$', report)
        result = self.host.run(run, [response, 'altsource=' + alt], cwd=f, timeout=120)
        # Item 5 is missing, as the check said: the run fails as Windows
        # Installer fails a package it cannot open.
        self.assertEqual(result.exit_code, 1619, result.describe())
        logs = self.host.run_logs()
        self.assertEqual(len(logs), 1, logs)
        with open(logs[0], 'rb') as log:
            pieces = HEADER_RE.split(log.read().decode('latin-1').replace('\r\n', '\n'))
        launched = {pieces[i]: (pieces[i + 1], pieces[i + 2]) for i in range(1, len(pieces), 3)}
        self.assertEqual(sorted(launched), [n for n, _, _ in reported])
        for n, path, rule in reported:
            header, text = launched[n]
            if rule == 'subfolder search':
                self.assertEqual(header, items[int(n) - 1][0])
                self.assertIn('\nfound %s\nLaunching: ' % path, text)
            else:
                self.assertEqual(header, path, 'item %s' % n)
        self.assertEqual(self.starts(record), [tool.lower()])
        added = sorted(v[0] for c, v in self.host.installed_products().items() if c not in before)
        self.assertEqual(added, ['Alt One', 'Alt Three', 'Alt Two'])

    def test_signed_media_states_json_and_kit(self):
        f = 'C:\\M004'
        check = self.host.install_check_media(f)
        run = self.host.install_program(f)
        core = f + '\\core\\'
        der, cert, key, root = make_signing_certificate(os.path.join(self.host.work_dir, 'certs'))
        # Windows trusts a signature only up to a root in its store: the test
        # root goes into the machine's Root store as a serialized certificate
        # (property 32, the encoded certificate) under its SHA-1 thumbprint.
        thumb = hashlib.sha1(der).hexdigest().upper()
        self.host.set_registry({('Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\' + thumb,
                                 'Blob'): struct.pack('<III', 32, 1, len(der)) + der}, view=64)

        def sign(win_path):
            target = self.host.unix_path(win_path)
            subprocess.run(['osslsigncode', 'sign', '-certs', cert, '-key', key, '-ac', root,
                            '-n', 'Norvasoft', '-in', target, '-out', target + '.signed'],
                           check=True, stdout=subprocess.DEVNULL)
            os.replace(target + '.signed', target)

        upgrade_a, code_a, code_b = new_guid(), new_guid(), new_guid()
        a = core + 'AppA\\AppA.msi'
        b = core + 'AppB\\AppB.msi'
        c = core + 'AppC\\AppC.msi'
        self.host.build_msi(a, {}, product_name='Norvasoft AppA', version='2.0.0',
                            product_code=code_a, upgrade_code=upgrade_a)
        self.host.build_msi(b, {}, product_name='Norvasoft AppB', version='1.5.0',
                            product_code=code_b)
        self.host.build_msi(c, {}, product_name='Norvasoft AppC', version='3.0.0')
        tool = self.host.install_standin(core + 'tools\\tool.exe')
        changed = self.host.install_standin(core + 'tools\\changed.exe')
        for path in (a, b, tool, changed):
            sign(path)
        # One byte of the signed code changed afterwards (the stand-in's
        # first section starts at 0x400).
        target = self.host.unix_path(changed)
        with open(target, 'r+b') as program:
            program.seek(0x410)
            byte = program.read(1)
            program.seek(0x410)
            program.write(bytes([byte[0] ^ 0xFF]))
        # Installed before: an older AppA (another product code, the same
        # upgrade code), AppB itself, and a product of the maker that this
        # media does not carry.
        self.host.build_msi(f + '\\pre\\olda.msi', {}, product_name='Norvasoft AppA',
                            version='1.0.0', upgrade_code=upgrade_a)
        self.host.build_msi(f + '\\pre\\extra.msi', {}, product_name='Norvasoft Extra')
        for pre in (f + '\\pre\\olda.msi', b, f + '\\pre\\extra.msi'):
            self.assertEqual(self.host.msiexec('/i', pre, '/qn'), 0, pre)
        before = self.host.installed_products()

        response = f + '\\suite.xml'
        self.host.write_file(response, response_file([
            (a, ''), (b, 'REINSTALL=ALL'), (c, ''), (tool, '/s'), (changed, '')]))
        expected = (head(response, f.lower() + '\\core\\')
                    + package(1, a, a, 'as written', 'Norvasoft AppA', '2.0.0', '', '',
                              'upgrades Norvasoft AppA 1.0.0', 'valid, signed by ' + SIGNER)
                    + package(2, b, b, 'as written', 'Norvasoft AppB', '1.5.0', '', 'REINSTALL=ALL',
                              'already installed (version 1.5.0), the run repairs or modifies it',
                              'valid, signed by ' + SIGNER)
                    + package(3, c, c, 'as written', 'Norvasoft AppC', '3.0.0', '', '')
                    + block(4, tool, tool, 'as written', 'program', 'status: found',
                            'command line: %s /s' % tool, 'signature: valid, signed by ' + SIGNER)
                    + block(5, changed, changed, 'as written', 'program', 'status: found',
                            'command line: %s ' % changed,
                            'signature: does not match the file (changed after signing)'))
        code, out, err = self.check(check, [response])
        self.assertEqual((code, err), (0, ''), out)
        self.assertEqual(out, expected + summary(5, 0, 3, 1, 1))
        code, out, err = self.check(check, [response, '/signed'])
        self.assertEqual((code, err), (2, ''), out)
        self.assertEqual(out, expected + summary(5, 2, 3, 1, 1))

        # The same report as JSON: the same values under lower camel case keys.
        code, out, err = self.check(check, [response, '/json', '/signed'])
        self.assertEqual((code, err), (2, ''), out)
        document = json.loads(out)
        self.assertEqual(document['responseFile'], response)
        self.assertEqual(document['summary'], {'items': 5, 'found': 3, 'missingOrFailing': 2,
                                               'signed': 3, 'unsigned': 1, 'untrusted': 1})
        blocks = expected.strip('\n').split('\n\n')[1:]
        self.assertEqual(len(document['items']), len(blocks))
        for item, text in zip(document['items'], blocks):
            pairs = [line.split(': ', 1) for line in text.split('\n')]
            camel = {re.sub(r' (\w)', lambda m: m.group(1).upper(), k): v for k, v in pairs}
            camel['item'] = int(camel['item'])
            self.assertEqual(item, camel)

        # The kit, then the removal it describes.
        kit = f + '\\kit'
        code, out, err = self.check(check, [response, '/kit=' + kit])
        self.assertEqual((code, err), (0, ''), out)
        files = {}
        for name in ('detect.ps1', 'uninstall.xml', 'commands.txt'):
            with open(self.host.unix_path(kit + '\\' + name), 'rb') as kit_file:
                files[name] = kit_file.read().decode('latin-1')
        self.assertEqual(sorted(os.listdir(self.host.unix_path(kit))), sorted(files))
        codes = [self.package_code(p) for p in (a, b, c)]
        for product_code, upgrade in codes:
            self.assertIn("ProductCode = '%s'; UpgradeCode = '%s'" % (product_code, upgrade),
                          files['detect.ps1'])
        self.assertIsNone(NOT_IN_POWERSHELL_2.search(files['detect.ps1']),
                          NOT_IN_POWERSHELL_2.search(files['detect.ps1']))
        self.assertEqual(re.findall(r'<PRODUCT\d>(.*)</PRODUCT\d>\r\n  <PARAMETER\d>(.*)</PARAMETER',
                                    files['uninstall.xml']),
                         [(product_code, 'REBOOT=ReallySuppress') for product_code, _ in reversed(codes)])
        self.assertIn('NvRunUnattended.exe "suite.xml" /agent /noreboot altsource=. busywait=600 '
                      'itemtimeout=3600 logdir=%WINDIR%\\CCM\\Logs\r\n', files['commands.txt'])

        result = self.host.run(run, [response, '/S'], cwd=f, timeout=180, relay=False)
        self.assertEqual(result.exit_code, 0, result.describe())
        installed = self.host.installed_products()
        self.assertTrue({product_code for product_code, _ in codes} <= set(installed))
        self.host.write_file(f + '\\uninstall.xml', files['uninstall.xml'])
        result = self.host.run(run, ['uninstall.xml', '/S', '/L', 'busywait=600', 'itemtimeout=3600', '/rebootcodes'],
                               cwd=f, timeout=180, relay=False)
        self.assertEqual(result.exit_code, 0, result.describe())
        # What the media installed is gone; the older AppA and the maker's
        # other product stay.
        self.assertEqual(self.host.installed_products(),
                         {k: v for k, v in before.items() if k != code_b})

    def test_kit_commands_run_from_an_agent_cache(self):
        # The demo media, checked into a kit, copied into a folder shaped like
        # an agent's cache; the media's own place is gone. The kit's command
        # lines, split as Windows splits them, run there.
        f, cache, record = 'C:\\M005', 'C:\\windows\\ccmcache\\1a', 'C:\\agent-prepare.txt'
        check, core = self.host.install_check_media(f), f + '\\core\\'
        self.host.install_program(f)
        items = [(core + 'tools\\prepare.exe', '/silent')]
        for name, version in (('AppOne', '7.1.0'), ('AppTwo', '7.1.2'), ('Reports', '2.0.0')):
            items.append((core + '%s\\%s.msi' % (name, name), 'ADDLOCAL=ALL'))
            self.host.build_msi(items[-1][0], {}, product_name='Norvasoft ' + name, version=version,
                                schedule_reboot=name == 'Reports')
        self.host.install_standin(items[0][0], record=record)
        self.host.write_file(f + '\\silent.xml', response_file(items))
        self.assertEqual(self.check(check, ['silent.xml', '/kit=' + f + '\\kit'])[0], 0)
        kit = {name: pathlib.Path(self.host.unix_path(f + '\\kit\\' + name)).read_bytes().decode('latin-1')
               for name in ('detect.ps1', 'commands.txt')}
        # PowerShell is not in Debian: detect.ps1 is read as text.
        for call in ('-ComObject WindowsInstaller.Installer', "'ProductInfo' @($productCode, 'VersionString')",
                     "'RelatedProducts' @($package.UpgradeCode)"):
            self.assertIn(call, kit['detect.ps1'])
        self.assertIsNone(re.search(r'(?i)HKLM|HKEY_|Registry::|Wow6432Node|ItemProperty', kit['detect.ps1']))
        install, uninstall = re.search(r'SCCM.*\r\n  Install:\r\n    (.*)\r\n  Uninstall:\r\n    (.*)\r\n',
                                       kit['commands.txt']).groups()
        shutil.copytree(self.host.unix_path(f), self.host.unix_path(cache), ignore=shutil.ignore_patterns('kit'))
        shutil.copy2(self.host.unix_path(f + '\\kit\\uninstall.xml'), self.host.unix_path(cache))
        shutil.rmtree(self.host.unix_path(core))
        logs = os.path.join(self.host.unix_path('C:\\windows\\CCM\\Logs'), 'VOVarOvadevir *.log')
        before = self.host.installed_products()

        def run_as_written(command, codes):
            lexer = shlex.shlex(command, posix=True)
            lexer.whitespace_split, lexer.escape = True, ''
            words = list(lexer)
            result = self.host.run(words[0], words[1:], cwd=cache, timeout=300, relay=False)
            self.assertIn(result.exit_code, codes, result.describe())
            self.assertEqual(result.titled_dialogs, [], result.describe())
            with open(max(glob.glob(logs), key=os.path.getmtime), 'rb') as log_file:
                text = log_file.read().decode('latin-1')
            self.assertTrue(text.endswith('Exit code: %d\r\n' % result.exit_code), text)
            return text

        text = run_as_written(install, (0, 3010))
        self.assertEqual(sorted(v[0] for c, v in self.host.installed_products().items() if c not in before),
                         ['Norvasoft AppOne', 'Norvasoft AppTwo', 'Norvasoft Reports'])
        self.assertEqual(len(self.starts(record)), 1)
        self.assertEqual(text.lower().count(' %s\\core\\' % cache.lower()), 5, text)
        # Reports schedules a restart on removal too: the first uninstall may
        # tell it. The second finds nothing left, and succeeds.
        for codes in ((0, 3010), (0,)):
            run_as_written(uninstall, codes)
            self.assertEqual(self.host.installed_products(), before)
        self.assertEqual(self.leftovers(), [])

    def package_code(self, win_path):
        """A package's (ProductCode, UpgradeCode), read with msiinfo."""
        out = subprocess.run(['msiinfo', 'export', self.host.unix_path(win_path), 'Property'],
                             check=True, stdout=subprocess.PIPE).stdout.decode('latin-1')
        values = dict(line.split('\t', 1) for line in out.split('\r\n') if '\t' in line)
        return values['ProductCode'], values['UpgradeCode']

    def test_refuses_what_it_cannot_check(self):
        f = 'C:\\M003'
        check = self.host.install_check_media(f)
        response = f + '\\ok.xml'
        self.host.write_file(response, response_file([(f + '\\a.msi', '')]))
        usage = None
        # The run's other switches are taken (and change nothing); /removeall
        # and what no run takes are not.
        for args in ([response, '/removeall'], [response, 'busywait=0'], ['/x']):
            with self.subTest(args=args):
                code, out, err = self.check(check, args)
                self.assertEqual((code, out), (USAGE_ERROR, ''), err)
                self.assertTrue(err.startswith('Usage: NvCheckMedia.exe '), err)
                self.assertEqual(err, usage or err, 'the usage text differs between runs')
                usage = err
        code, out, err = self.check(check, [f + '\\none.xml'])
        self.assertEqual((code, out, err), (
            NO_RESPONSE_FILE, '', 'Could not locate the unattended response file %s\\none.xml\n' % f))
        bad = f + '\\bad.xml'
        self.host.write_file(bad, '<Items>\r\n<PRODUCT1>a.msi</PRODUCT1>\r\n</Items>\r\n')
        code, out, err = self.check(check, [bad])
        self.assertEqual((code, out, err), (
            INVALID_ENTRIES, '',
            'Invalid entries found in response file. Please fix the errors before proceeding\n'))
        self.assertEqual(self.leftovers(), [])
        self.assertFalse(os.path.exists(self.host.unix_path(f + '\\x.log')))

    def test_result_files_of_runs_and_their_fleet_summary(self):
        f = 'C:\\M004'
        check = self.host.install_check_media(f)
        run = self.host.install_program(f)
        core = f + '\\core\\'
        prepare = self.host.install_standin(core + 'tools\\prepare.exe', sleep_ms=400)
        self.host.build_msi(core + 'AppOne\\AppOne.msi', {'NVProductPrefix': 'ONE'},
                            product_name='Norvasoft AppOne', version='7.1.0')
        self.host.build_msi(core + 'Bad\\Bad.msi', {'NVProductPrefix': 'BAD'},
                            product_name='Norvasoft Bad', launch_condition='0')
        self.host.install_standin(core + 'tools\\slow.exe', sleep_ms=120000)
        results = 'C:\\results'
        self.host.make_dir(results)
        unix_results = self.host.unix_path(results)

        # A whole run: the document names the computer in its file name too,
        # and tells each item as the log does; parameters stay out of it.
        response = f + '\\all.xml'
        self.host.write_file(response, response_file([
            (prepare, '/silent'), (core + 'AppOne\\AppOne.msi', 'SAPWD=secret'),
            (core + 'Bad\\Bad.msi', '')]))
        done = self.host.run(run, [response, '/S', '/noreboot',
                                   'result=C:\\results\\%COMPUTERNAME%.json'], relay=False)
        self.assertEqual(done.exit_code, 1603, done.describe())
        names = os.listdir(unix_results)
        self.assertEqual(len(names), 1, names)
        with open(os.path.join(unix_results, names[0]), 'rb') as fh:
            raw = fh.read()
        self.assertNotIn(b'secret', raw)
        doc = json.loads(raw.decode('utf-8'))
        print('\nresult document (%s):\n%s' % (names[0], raw.decode('utf-8')))
        self.assertTrue(doc['computer'])
        self.assertEqual(names[0].lower(), doc['computer'].lower() + '.json')
        self.assertEqual((doc['schema'], doc['state'], doc['exitCode'], doc['mode'], doc['restart']),
                         (1, 'finished', 1603, 'install', 'none'))
        self.assertTrue(doc['program'].startswith('NvRunUnattended.exe '), doc['program'])
        with open(self.host.run_logs()[-1], 'rb') as fh:
            log = fh.read().decode('latin-1').replace('\r\n', '\n')
        self.assertEqual([(i['item'], i['path']) for i in doc['items']],
                         [(int(n), p) for n, p in HEADER_RE.findall(log)])
        self.assertEqual([(i['kind'], i['outcome'], i['returnValue']) for i in doc['items']],
                         [('program', 'succeeded', 0), ('package', 'succeeded', 0),
                          ('package', 'failed', 1603)])
        self.assertIn('Return value is 1603', log)
        self.assertGreaterEqual(doc['items'][0]['seconds'], 0.4)

        # A run ended during its second item leaves "running" and the item
        # before it.
        self.host.write_file(response, response_file([(prepare, ''), (core + 'tools\\slow.exe', '')]))
        cut = self.host.run(run, [response, '/S', 'result=C:\\results\\cut.json'], relay=False,
                            timeout=15)
        self.assertTrue(cut.timed_out, cut.describe())
        with open(os.path.join(unix_results, 'cut.json'), 'rb') as fh:
            cut_doc = json.loads(fh.read().decode('utf-8'))
        self.assertEqual((cut_doc['state'], cut_doc['exitCode'], cut_doc['finished']),
                         ('running', None, None))
        self.assertEqual([i['path'] for i in cut_doc['items']], [prepare])
        self.host.write_file(results + '\\broken.json', '{"schema": 1, ')

        code, out, err = self.check(check, ['/fleet=' + results])
        print('\nsummary:\n' + out)
        self.assertEqual((code, err), (3, ''), out)
        self.assertIn('computers: 3 (finished 1, not finished 1, unreadable 1)\n'
                      'exit codes: 1603 x1\n', out)
        self.assertIn('item 3 %sBad\\Bad.msi: 1 failed (1603: %s)\n' % (core, doc['computer']), out)
        self.assertIn('not finished: %s (after item 1)\nunreadable: broken.json\n'
                      % cut_doc['computer'], out)
        code, out, err = self.check(check, ['/fleet=' + results, '/json'])
        summary = json.loads(out)
        self.assertEqual(summary['computers'],
                         {'total': 3, 'finished': 1, 'notFinished': 1, 'unreadable': 1})
        self.assertEqual([(i['item'], i['succeeded'], i['failed']) for i in summary['items']],
                         [(1, 2, 0), (2, 1, 0), (3, 0, 1)])
        code, out, err = self.check(check, ['/fleet=C:\\nowhere'])
        self.assertEqual((code, out), (10005, ''))

        # A result file that cannot be made costs one log line, nothing else.
        self.host.write_file(response, response_file([(prepare, '')]))
        lost = self.host.run(run, [response, '/S', 'result=C:\\nowhere\\r.json'], relay=False)
        self.assertEqual(lost.exit_code, 0, lost.describe())
        with open(self.host.run_logs()[-1], 'rb') as fh:
            self.assertEqual(fh.read().decode('latin-1').count(
                'Result file C:\\nowhere\\r.json could not be written. Return value is 3\r\n'), 1)


if __name__ == '__main__':
    winehost.main()
