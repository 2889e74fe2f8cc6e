#!/usr/bin/env python3
"""Times NvCheckMedia.exe /fleet= under Wine over a folder of result files.

Makes, in one fresh prefix, a folder of N result documents (10 items each,
as result= writes them: most runs finished with 0, some with 1603 or 3010
and a restart pending, some still running, a few files broken), then runs
the summary (text, then /json) several rounds and prints the median wall
time of each, Wine's start of the process included. The summary's counts
are checked against what was written.

    tools/bench-fleet.py [--build build/win64] [--work build/bench-fleet]
                         [--files 10000] [--items 10] [--rounds 3]

Build the program first (cmake --preset win64 && cmake --build --preset
win64). Other work on the machine shows in the figures: use several rounds.
"""

import argparse
import json
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import winehost  # noqa: E402

FOLDER = 'C:\\Fleet'
PRODUCTS = ['C:\\Media\\core\\App%02d\\App%02d.msi' % (n, n) for n in range(1, 100)]


def document(n: int, items: int) -> dict:
    """Computer n's result: every 50th failed item 3 with 1603, every 40th
    needed a restart that is still pending, every 100th is still running."""
    running = n % 100 == 7
    failed = n % 50 == 3
    restart = n % 40 == 5 and not failed
    stamp = '2026-12-09T23:10:08Z'
    records = []
    for i in range(1, (4 if running else items) + 1):
        code = 1603 if failed and i == 3 else (3010 if restart and i == 2 else 0)
        outcome = {0: 'succeeded', 1603: 'failed', 3010: 'restart needed'}[code]
        records.append({'item': i, 'product': PRODUCTS[i - 1], 'name': 'Norvasoft App %02d' % i,
                        'kind': 'package', 'path': PRODUCTS[i - 1], 'returnValue': code,
                        'outcome': outcome, 'seconds': 4.2,
                        'installerLog': 'C:\\Windows\\Temp\\MsiA%02d.log' % i})
    exit_code = None if running else (1603 if failed else (3010 if restart else 0))
    return {'schema': 1, 'program': 'NvRunUnattended.exe 7.1.0.0', 'computer': 'PC-%05d' % n,
            'user': 'SYSTEM', 'commandLine': 'NvRunUnattended.exe MyInstall.xml /S /L',
            'mode': 'install', 'responseFile': '\\\\deploysrv\\NorvaSuite\\MyInstall.xml',
            'runLog': 'C:\\Windows\\Temp\\VOVarOvadevir 12_09_2026.log', 'started': stamp,
            'updated': stamp, 'finished': None if running else stamp,
            'state': 'running' if running else 'finished', 'items': records,
            'restart': 'pending' if restart else 'none', 'exitCode': exit_code}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build', default=os.path.join(here, '..', 'build', 'win64'))
    parser.add_argument('--work', default=os.path.join(here, '..', 'build', 'bench-fleet'))
    parser.add_argument('--files', type=int, default=10000)
    parser.add_argument('--items', type=int, default=10)
    parser.add_argument('--rounds', type=int, default=3)
    args = parser.parse_args()

    host = winehost.WineHost(args.build, args.work)
    try:
        host.create()
        check = host.install_check_media('C:\\Bench')
        folder = host.make_dir(FOLDER)
        broken = max(1, args.files // 1000)
        expect = {'total': args.files, 'finished': 0, 'notFinished': 0, 'unreadable': broken}
        for n in range(args.files - broken):
            doc = document(n, args.items)
            expect['finished' if doc['state'] == 'finished' else 'notFinished'] += 1
            with open(os.path.join(folder, 'PC-%05d.json' % n), 'w', encoding='utf-8') as f:
                json.dump(doc, f, indent=2)
        for n in range(broken):
            with open(os.path.join(folder, 'broken%d.json' % n), 'w') as f:
                f.write('{"schema": 1, "items": [')
        # A warm-up run first, so that the timed ones read from the cache.
        host.execute(check, ['/fleet=' + FOLDER], timeout=600)
        for mode in ([], ['/json']):
            times = []
            for _ in range(args.rounds):
                started = time.time()
                code, out = host.execute(check, ['/fleet=' + FOLDER] + mode, timeout=600)
                times.append(time.time() - started)
            if mode:
                counts = json.loads(out.decode('utf-8'))['computers']
                if counts != expect:
                    sys.exit('the summary counts %s, expected %s' % (counts, expect))
            print('%-28s %d files of %d items: median %.2f s (%s), exit code %s'
                  % ('/fleet=' + FOLDER + (' /json' if mode else ''), args.files, args.items,
                     statistics.median(times), ', '.join('%.2f' % t for t in times), code))
    finally:
        host.shutdown()


if __name__ == '__main__':
    main()
