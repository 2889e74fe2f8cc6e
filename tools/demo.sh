#!/usr/bin/env bash
# The main job on sample media: builds the program (x86_64, for 64-bit
# Wine), makes installation media in a fresh Wine prefix (three Windows
# Installer packages built with wixl, one setup program, a response file
# listing them), checks the media with NvCheckMedia.exe, runs a silent
# install with NvRunUnattended.exe and prints
# the response file, the run log, the exit code and the products Windows
# Installer reports installed afterwards.
#
#   tools/demo.sh [WORK-FOLDER]      (default build/demo; its prefix is made anew)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

echo "== building the program (preset win64)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${JOBS:-2}" \
  --target NvRunUnattended NvCheckMedia dlgbot runexe holdfile standin msiprods >/dev/null

python3 - "${1:-build/demo}" <<'EOF'
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.getcwd(), 'tests', 'e2e'))
import winehost  # noqa: E402

host = winehost.WineHost('build/win64', sys.argv[1])
print('== making a fresh Wine prefix in %s' % host.prefix, flush=True)
try:
    host.create()
    media = 'C:\\Media'
    program = host.install_program(media)
    core = media + '\\core\\'
    host.build_msi(core + 'AppOne\\AppOne.msi', {'NVProductPrefix': 'ONE'},
                   product_name='Norvasoft AppOne', version='7.1.0')
    host.build_msi(core + 'AppTwo\\AppTwo.msi', {'NVProductPrefix': 'TWO'},
                   product_name='Norvasoft AppTwo', version='7.1.2')
    # This one asks for a restart when it is installed (the run only logs it).
    host.build_msi(core + 'Reports\\Reports.msi', {'NVProductPrefix': 'REP'},
                   product_name='Norvasoft Reports', version='2.0.0', schedule_reboot=True)
    host.install_standin(core + 'tools\\prepare.exe', record=media + '\\prepare.txt')
    items = [
        (core + 'tools\\prepare.exe', '/silent'),
        (core + 'AppOne\\AppOne.msi', 'ADDLOCAL=ALL'),
        (core + 'AppTwo\\AppTwo.msi', 'ADDLOCAL=ALL INSTALLLEVEL=3'),
        (core + 'Reports\\Reports.msi', 'ADDLOCAL=ALL'),
    ]
    lines = ['<?xml version="1.0" encoding="utf-8"?>', '<Items>']
    for n, (product, parameter) in enumerate(items, 1):
        lines.append('  <PRODUCT%d>%s</PRODUCT%d>' % (n, product, n))
        lines.append('  <PARAMETER%d>%s</PARAMETER%d>' % (n, parameter, n))
    lines.append('</Items>')
    response = media + '\\silent.xml'
    host.write_file(response, '\r\n'.join(lines) + '\r\n')
    print('\n== response file %s\n' % response)
    print('\n'.join(lines))

    # What the run will find and start, checked before anything is installed.
    checker = media + '\\NvCheckMedia.exe'
    shutil.copy2(os.path.join('build', 'win64', 'NvCheckMedia.exe'), host.unix_path(checker))
    print('\n== checking the media first: %s %s\n' % (checker, response), flush=True)
    check = subprocess.run([winehost.WINE, checker, response], env=host.env(), cwd=host.unix_path(media),
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=300)
    print(check.stdout.decode('latin-1').replace('\r\n', '\n'))
    print('== media check exit code: %d' % check.returncode)

    print('\n== running: %s %s /S\n' % (program, response), flush=True)
    result = host.run(program, [response, '/S'], cwd=media, timeout=300, relay=False)
    for path in host.run_logs():
        print('== run log %s\n' % host.windows_path(path))
        with open(path, 'rb') as f:
            print(f.read().decode('latin-1').replace('\r\n', '\n'))
    print('\n== exit code: %s' % ('time-out' if result.timed_out else result.exit_code))
    print('\n== products Windows Installer reports installed')
    for code, (name, version) in sorted(host.installed_products().items(),
                                        key=lambda kv: kv[1]):
        print('%s  %-20s %s' % (code, name, version))
finally:
    host.shutdown()
EOF
