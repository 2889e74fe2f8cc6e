#!/usr/bin/env python3
"""Fails when a program imports a function that is not on the allow-list.

The allow-list names every DLL!function the shipping programs may import
statically, each with why it is known to exist on the oldest Windows they
load on. Anything newer is bound at run time instead; a new static import
therefore has to be added to the list on purpose.

    check-imports.py ALLOW-LIST OBJDUMP PROGRAM.exe...
    check-imports.py --list OBJDUMP PROGRAM.exe...   (prints the imports)
"""
import re
import subprocess
import sys


def imports(objdump, exe):
    """The DLL!function pairs of a PE file's import table, DLL names upper-cased."""
    dump = subprocess.run([objdump, '-p', exe], check=True, capture_output=True, text=True).stdout
    found, dll = set(), None
    for line in dump.splitlines():
        m = re.match(r'\s*DLL Name: (\S+)', line)
        if m:
            dll = m.group(1).upper()
            continue
        if not line.strip():
            dll = None  # the end of one DLL's list
            continue
        m = re.match(r'\s+[0-9a-f]+\s+(\d+)\s+(\S+)$', line)
        if dll and m:
            found.add(f'{dll}!{m.group(2)}')
        elif dll and re.match(r'\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)$', line):
            found.add(f'{dll}!#ordinal')
    return found


def allow_list(path):
    allowed = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            name, _, source = line.partition(' ')
            if not source.strip():
                sys.exit(f'{path}:{number}: {name} gives no source')
            dll, _, function = name.partition('!')
            allowed[f'{dll.upper()}!{function}'] = source.strip()
    return allowed


def main(argv):
    if len(argv) >= 3 and argv[0] == '--list':
        for exe in argv[2:]:
            for name in sorted(imports(argv[1], exe)):
                print(name)
        return 0
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    allowed = allow_list(argv[0])
    failed = 0
    for exe in argv[2:]:
        found = imports(argv[1], exe)
        if not found:
            print(f'FAILED: no imports read from {exe}')
            failed = 1
        for name in sorted(found - allowed.keys()):
            print(f'FAILED: {exe} imports {name}, which is not on the allow-list')
            failed = 1
    if not failed:
        print(f'imports checked: every one of {len(allowed)} allowed functions exists on the oldest Windows')
    return failed


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
