"""Runs NvRunUnattended.exe under 64-bit Wine for the end-to-end suites.

A suite calls main() from its __main__ block. main() takes the two
arguments CTest passes (--build, the x86_64 build folder; --work, a scratch
folder for this suite), hands the rest to unittest, and shuts the Wine
prefix down at the end whatever happened.

host() gives the suite's WineHost: a fresh prefix under the scratch folder,
with Wine's null graphics driver (windows exist and block without a
display) and a persistent wineserver, so that the system processes start
once per suite. host().run() starts the program through the runexe helper
(which reports the full 32-bit exit code; a Unix parent only sees its low
eight bits) next to the dlgbot helper (which records every dialog of the
program with its full texts and answers it as scripted), with a relay trace
of the calls that show message boxes, the file-open dialog and the status
window. Texts from Wine are kept as str whose characters are the program's
ANSI bytes (Latin-1), so they compare with plain ASCII literals.

For the install pass the host also builds packages with wixl (build_msi:
properties, a failing launch condition, a scheduled restart), places copies
of the stand-in program as items (install_standin, standin_events), runs
other Windows programs with their full exit codes (execute, msiexec) and
lists the products Windows Installer reports installed (installed_products).

For the end of a run: registry values in either view (set_registry,
registry_values), a process of a chosen name running meanwhile
(process_named), uninstallers with a chosen file version
(place_uninstaller) and what a Windows program sees of files, shortcuts and
special folders (shell_info).
"""

import argparse
import contextlib
import ctypes
import datetime
import glob
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import unittest
import uuid
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

WINE = '/usr/lib/wine/wine64'
WINESERVER_CANDIDATES = ('/usr/lib/wine/wineserver64', '/usr/lib/wine/wineserver')
PROGRAM = 'NvRunUnattended.exe'
CHECK_PROGRAM = 'NvCheckMedia.exe'
# Where Windows keeps the system-wide environment variables. Wine builds a
# process's environment from the Unix one and then sets these over it, so
# a variable such as OS cannot be changed through run(env=...).
SYSTEM_ENVIRONMENT_KEY = r'System\CurrentControlSet\Control\Session Manager\Environment'
# The wineserver and the system processes stay between runs, and go by
# themselves half a minute after the last run should a suite die.
PERSIST = '-p30'

# Calls whose arguments the relay trace shows.
RELAY_INCLUDE = ';'.join([
    'user32.MessageBoxA', 'user32.MessageBoxW', 'user32.MessageBoxExA', 'user32.MessageBoxExW',
    'comdlg32.GetOpenFileNameA', 'comdlg32.GetOpenFileNameW',
    'user32.CreateDialogParamA', 'user32.CreateDialogParamW',
    'user32.ExitWindowsEx', 'user32.GetTopWindow', 'msi.MsiConfigureProductExA',
    'msi.MsiInstallProductA', 'msi.MsiSetExternalUIA',
    # Bare names match whichever library exports them (kernel32 and advapi32
    # hand these on to kernelbase).
    'CreateProcessA', 'LookupPrivilegeValueA', 'AdjustTokenPrivileges',
])

MB_OK = 0x0
MB_YESNO = 0x4
MB_ICONQUESTION = 0x20
MB_ICONWARNING = 0x30
MB_ICONINFORMATION = 0x40
MB_SETFOREGROUND = 0x10000
MB_TOPMOST = 0x40000
# The restart question: in front of every window, with no owner.
MB_QUESTION_FLAGS = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
# Control ids of a message box: its text and its icon.
MSGBOX_TEXT_ID = 0xFFFF
# Control ids of the file-open dialog: file types and file name.
OFN_TYPES_ID = 0x470
OFN_NAME_ID = 0x47C

# ------------------------------------------------------------------ records


@dataclass
class RelayArg:
    value: Optional[int]       # the raw argument; None when it was no number
    text: Optional[str] = None  # the string it points to, when Wine printed one
    complete: bool = True       # False when Wine cut the string ("..." follows)
    raw: str = ''


@dataclass
class RelayCall:
    thread: int
    module: str
    function: str
    args: List[RelayArg]
    result: Optional[int] = None


@dataclass
class MessageBoxCall:
    function: str
    owner: int
    text: str             # what the trace shows; only a prefix when cut
    text_complete: bool
    caption: Optional[str]
    flags: int
    result: Optional[int]

    def text_agrees_with(self, full_text: str) -> bool:
        if self.text_complete:
            return self.text == full_text
        return full_text.startswith(self.text)


@dataclass
class Control:
    cls: str
    id: int
    text: str


@dataclass
class Dialog:
    seq: int
    title: str
    owner: int
    pid: int
    controls: List[Control]
    updates: List[List[Control]] = field(default_factory=list)
    action: Optional[str] = None

    def control(self, control_id: int, cls: Optional[str] = None) -> Optional[Control]:
        for c in self.controls:
            if c.id == control_id and (cls is None or c.cls.lower() == cls.lower()):
                return c
        return None

    def text_of(self, control_id: int, cls: Optional[str] = None) -> Optional[str]:
        c = self.control(control_id, cls)
        return c.text if c else None

    @property
    def message_text(self) -> Optional[str]:
        """The text of a message box."""
        return self.text_of(MSGBOX_TEXT_ID, 'Static')

    @property
    def button_ids(self) -> List[int]:
        return sorted(c.id for c in self.controls if c.cls.lower() == 'button')


@dataclass
class RunResult:
    args: List[str]
    exit_code: Optional[int]   # signed 32-bit; None when it timed out or did not start
    timed_out: bool
    start_error: Optional[int]
    stdout: bytes
    stderr: bytes
    started: float             # time.time() just before the start
    ended: float               # time.time() just after the end
    desktop: Optional[int]
    dialogs: List[Dialog]
    relay: List[RelayCall]
    run_dir: str
    # The launcher ended before its time limit without reporting: something
    # ended it from outside (an end of session, say). exit_code is None then
    # and timed_out False.
    runner_lost: bool = False

    @property
    def message_boxes(self) -> List[MessageBoxCall]:
        boxes = []
        for call in self.relay:
            if not call.function.startswith('MessageBox') or len(call.args) < 4:
                continue
            owner, text, caption, flags = call.args[:4]
            boxes.append(MessageBoxCall(
                function=call.function, owner=owner.value or 0,
                text=text.text if text.text is not None else '',
                text_complete=text.complete,
                caption=caption.text, flags=flags.value or 0, result=call.result))
        return boxes

    def calls(self, *functions: str) -> List[RelayCall]:
        return [c for c in self.relay if c.function in functions]

    @property
    def titled_dialogs(self) -> List[Dialog]:
        return [d for d in self.dialogs if d.title]

    def describe(self) -> str:
        """A summary for assertion messages."""
        lines = ['args=%r exit=%r timed_out=%r start_error=%r run_dir=%s%s' % (
            self.args, self.exit_code, self.timed_out, self.start_error, self.run_dir,
            ' runner_lost' if self.runner_lost else '')]
        for b in self.message_boxes:
            lines.append('  box owner=%#x caption=%r flags=%#x result=%r text=%r%s' % (
                b.owner, b.caption, b.flags, b.result, b.text[:120],
                '' if b.text_complete else '...'))
        for d in self.dialogs:
            lines.append('  dialog #%d title=%r action=%r texts=%r' % (
                d.seq, d.title, d.action,
                [(c.id, c.text[:80]) for c in d.controls if c.text][:12]))
        if self.stdout:
            lines.append('  stdout=%r' % self.stdout[:300])
        return '\n'.join(lines)


@dataclass
class StandinEvent:
    """One line of a stand-in's record: "start" (module path, command line,
    current folder), "status" (found 0/1, text 1001, text 1002), "ping"
    (found 0/1, answered 0/1, milliseconds) or "end" (exit code)."""
    kind: str
    fields: List[str]


def _unescape_field(text: str) -> str:
    return re.sub(r'%([0-9A-F]{2})', lambda m: chr(int(m.group(1), 16)), text)


# ------------------------------------------------------------ trace parsing

_CALL_RE = re.compile(r'^([0-9a-fA-F]+):Call ([\w.]+)\.(\w+)\((.*)\) ret=[0-9a-fA-F]+\s*$')
_RET_RE = re.compile(r'^([0-9a-fA-F]+):Ret\s+([\w.]+)\.(\w+)\(\) retval=([0-9a-fA-F]+)')
_HEX_RE = re.compile(r'[0-9a-fA-F]+')
_SIMPLE_ESCAPES = {'n': '\n', 'r': '\r', 't': '\t', '"': '"', '\\': '\\'}


def _stop_helper(stop: str, proc: subprocess.Popen) -> None:
    """Asks a helper program to end by creating its stop file, and makes sure
    it has ended."""
    with open(stop, 'w'):
        pass
    try:
        proc.wait(20)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def parse_relay_args(text: str) -> List[RelayArg]:
    r"""Splits the argument list of a relay "Call" line. Wine 8 prints a
    string argument as its address, a blank and the string in quotes (L" for
    wide strings) with \n, \r, \t, \", \\ and \xHH escapes (\xHHHH when
    wide), and cuts it after about 290 characters of that escaped form,
    putting "..." after the closing quote. A null string is its address
    alone."""
    args = []
    i, n = 0, len(text)
    while i < n:
        start = i
        m = _HEX_RE.match(text, i)
        if not m:
            j = text.find(',', i)
            j = n if j < 0 else j
            args.append(RelayArg(None, raw=text[i:j]))
            i = j + 1
            continue
        arg = RelayArg(int(m.group(), 16))
        i = m.end()
        wide = text.startswith(' L"', i)
        if wide or text.startswith(' "', i):
            i += 3 if wide else 2
            out = []
            while i < n and text[i] != '"':
                c = text[i]
                if c == '\\' and i + 1 < n:
                    e = text[i + 1]
                    if e in _SIMPLE_ESCAPES:
                        out.append(_SIMPLE_ESCAPES[e])
                        i += 2
                    elif e == 'x':
                        digits = 4 if wide else 2
                        out.append(chr(int(text[i + 2:i + 2 + digits], 16)))
                        i += 2 + digits
                    else:
                        out.append(e)
                        i += 2
                else:
                    out.append(c)
                    i += 1
            i += 1  # the closing quote
            if text.startswith('...', i):
                arg.complete = False
                i += 3
            arg.text = ''.join(out)
        j = text.find(',', i)
        j = n if j < 0 else j
        arg.raw = text[start:j]
        args.append(arg)
        i = j + 1
    return args


def parse_relay(stderr: bytes) -> List[RelayCall]:
    calls: List[RelayCall] = []
    open_calls = {}  # thread -> stack of calls waiting for their Ret line
    for raw in stderr.decode('latin-1').splitlines():
        m = _CALL_RE.match(raw)
        if m:
            if m.group(2) == 'PE DLL' or m.group(2) == 'window proc':
                continue
            call = RelayCall(int(m.group(1), 16), m.group(2), m.group(3),
                             parse_relay_args(m.group(4)))
            calls.append(call)
            open_calls.setdefault(call.thread, []).append(call)
            continue
        m = _RET_RE.match(raw)
        if m:
            stack = open_calls.get(int(m.group(1), 16), [])
            for k in range(len(stack) - 1, -1, -1):
                if stack[k].module == m.group(2) and stack[k].function == m.group(3):
                    stack.pop(k).result = int(m.group(4), 16)
                    break
    return calls


def _controls(items) -> List[Control]:
    return [Control(c.get('class', ''), int(c.get('id', 0)), c.get('text', '')) for c in items]


def parse_bot(path: str):
    """Reads the dialog bot's record: (desktop handle, dialogs)."""
    desktop = None
    dialogs = {}
    order = []
    if not os.path.exists(path):
        return desktop, []
    with open(path, 'rb') as f:
        for raw in f:
            try:
                event = json.loads(raw.decode('ascii'))
            except ValueError:
                continue  # a line cut short when the bot was ended
            kind = event.get('event')
            if kind == 'start':
                desktop = int(event['desktop'], 16)
            elif kind == 'dialog':
                d = Dialog(event['seq'], event['title'], int(event['owner'], 16), event['pid'],
                           _controls(event['children']))
                dialogs[d.seq] = d
                order.append(d.seq)
            elif kind == 'update' and event['seq'] in dialogs:
                dialogs[event['seq']].updates.append(_controls(event['children']))
            elif kind == 'action' and event['seq'] in dialogs:
                dialogs[event['seq']].action = event['action']
    return desktop, [dialogs[s] for s in order]


# -------------------------------------------------------------------- host


def new_guid() -> str:
    """A new GUID in the braced upper-case form of product codes."""
    return '{%s}' % str(uuid.uuid4()).upper()


def windows_path_of(unix_path: str, drive_c: str) -> str:
    """The Windows form of a Unix path: C: for the prefix's drive_c, Z: else."""
    unix_path = os.path.abspath(unix_path)
    if unix_path == drive_c or unix_path.startswith(drive_c + os.sep):
        rest = unix_path[len(drive_c):].lstrip('/')
        return 'C:\\' + rest.replace('/', '\\')
    return 'Z:' + unix_path.replace('/', '\\')


# personality(2): lay out new processes without address randomisation.
ADDR_NO_RANDOMIZE = 0x0040000


def _fixed_address_layout() -> None:
    """Wine maps Windows' shared user data at the fixed address 0x7ffe0000.
    Without Wine's preloader (the Debian package has none) nothing keeps that
    address free, and now and then the kernel's randomised heap start lands
    on it: the new process dies while starting ("failed to map the shared
    user data") and whoever started it sees error 1359. Every process started
    from here on inherits a fixed layout instead, its heap right after the
    loader. Where the call is refused (a container's filter), nothing
    changes."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        current = libc.personality(0xffffffff)
        if current != -1:
            libc.personality(current | ADDR_NO_RANDOMIZE)
    except (OSError, AttributeError):
        pass


class WineHost:
    def __init__(self, build_dir: str, work_dir: str):
        _fixed_address_layout()
        self.build_dir = os.path.abspath(build_dir)
        self.work_dir = os.path.abspath(work_dir)
        self.prefix = os.path.join(self.work_dir, 'prefix')
        self.drive_c = os.path.join(self.prefix, 'drive_c')
        self.program = os.path.join(self.build_dir, PROGRAM)
        self.dlgbot = os.path.join(self.build_dir, 'tests', 'e2e', 'dlgbot.exe')
        self.runexe = os.path.join(self.build_dir, 'tests', 'e2e', 'runexe.exe')
        self.holdfile = os.path.join(self.build_dir, 'tests', 'e2e', 'holdfile.exe')
        # Used by the suites that need them; create() does not ask for them.
        self.standin = os.path.join(self.build_dir, 'tests', 'e2e', 'standin.exe')
        self.msiprods = os.path.join(self.build_dir, 'tests', 'e2e', 'msiprods.exe')
        self.status_mif_library = os.path.join(self.build_dir, 'tests', 'e2e', 'ismif32.dll')
        self.shellinfo = os.path.join(self.build_dir, 'tests', 'e2e', 'shellinfo.exe')
        self.uninstaller = os.path.join(self.build_dir, 'tests', 'e2e', 'nvuninst.exe')
        self.wineserver = next((p for p in WINESERVER_CANDIDATES if os.path.exists(p)),
                               shutil.which('wineserver') or 'wineserver')
        self.temp_dir = None  # the Unix path of the user's temporary folder
        self._run_count = 0
        self._exec_count = 0
        self._reg_count = 0
        self._created = False

    # ------------------------------------------------------------ set-up

    def env(self, relay: bool = False) -> dict:
        env = dict(os.environ)
        env['WINEPREFIX'] = self.prefix
        env['WINEDEBUG'] = '+relay' if relay else '-all'
        # Saving a shortcut would start winemenubuilder, which writes menu
        # entries into the Unix user's home; it is switched off.
        env['WINEDLLOVERRIDES'] = 'mscoree,mshtml=;winemenubuilder.exe=d'
        env.pop('DISPLAY', None)
        env.pop('WAYLAND_DISPLAY', None)
        return env

    def _setup_command(self, args, timeout=120, name='setup'):
        """Runs a Wine command of the set-up; its output goes to files (never
        pipes: processes it starts may keep them open)."""
        log = os.path.join(self.work_dir, 'setup')
        os.makedirs(log, exist_ok=True)
        out_path = os.path.join(log, name + '.out')
        with open(out_path, 'wb') as out, open(os.path.join(log, name + '.err'), 'wb') as err:
            rc = subprocess.call(args, env=self.env(), stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=err, timeout=timeout)
        with open(out_path, 'rb') as f:
            return rc, f.read()

    def _setup_retried(self, args, name):
        """A set-up command that must succeed. Wine now and then fails to
        start a program right after the prefix was made ("ShellExecuteEx
        failed: Internal error"), so it is tried up to three times."""
        for attempt in range(3):
            rc, out = self._setup_command(args, name='%s-%d' % (name, attempt))
            if rc == 0:
                return out
            time.sleep(1)
        raise RuntimeError('%s failed (%d), see %s/setup' % (' '.join(args), rc, self.work_dir))

    def _reg_add(self, key, value, data, kind='REG_SZ', name='reg'):
        self._setup_retried([WINE, 'reg', 'add', key, '/v', value, '/t', kind, '/d', data, '/f'],
                            name)

    def create(self):
        """Makes a fresh prefix and starts its persistent wineserver."""
        for path, what in ((self.program, 'the program'), (self.dlgbot, 'the dialog bot'),
                           (self.runexe, 'the launcher'), (self.holdfile, 'the file holder')):
            if not os.path.exists(path):
                raise RuntimeError('%s is missing: %s (build the win64 preset first)'
                                   % (what, path))
        os.makedirs(self.work_dir, exist_ok=True)
        self.kill_server()
        for stale in ('prefix', 'runs', 'setup', 'msi', 'locks', 'exec'):
            shutil.rmtree(os.path.join(self.work_dir, stale), ignore_errors=True)

        rc, _ = self._setup_command([WINE, 'wineboot', '-i'], timeout=300, name='wineboot')
        if rc != 0:
            raise RuntimeError('wineboot -i failed (%d), see %s/setup' % (rc, self.work_dir))
        self._server('-w', timeout=120)
        self._reg_add(r'HKCU\Software\Wine\Drivers', 'Graphics', 'null', name='reg-graphics')
        self._reg_add(r'HKCU\Software\Wine\Debug', 'RelayInclude', RELAY_INCLUDE, name='reg-relay')
        # A crash ends the program with its exception code instead of a
        # crash dialog that would wait for nobody.
        self._reg_add(r'HKCU\Software\Wine\WineDbg', 'ShowCrashDialog', '0', kind='REG_DWORD',
                      name='reg-winedbg')
        # Wait until every process has ended and the server has written the
        # registry, so that the next processes start with these settings.
        self._server('-w', timeout=120)
        self._server(PERSIST)
        self._created = True

        out = self._setup_retried([WINE, 'cmd', '/c', 'echo', '%TEMP%'], name='temp')
        temp = out.decode('latin-1').strip().splitlines()
        if not temp or not temp[-1].upper().startswith('C:\\'):
            raise RuntimeError('cannot learn the temporary folder: %r' % out)
        self.temp_dir = self.unix_path(temp[-1].strip())
        os.makedirs(self.temp_dir, exist_ok=True)
        # Start the desktop once, outside any run.
        self._setup_command([WINE, self.dlgbot, '--out', self.windows_path(
            os.path.join(self.work_dir, 'setup', 'warmup.jsonl')), '--timeout', '0.5'],
            name='warmup')

    def _server(self, option: str, timeout: float = 60):
        # The server runs on as a daemon: it must not hold our output open.
        subprocess.call([self.wineserver, option], env=self.env(), stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)

    def prefix_processes(self) -> List[Tuple[int, str]]:
        """(Unix process id, command line) of every process of this prefix:
        those whose environment names its folder as WINEPREFIX."""
        wanted = ('WINEPREFIX=' + self.prefix).encode()
        found = []
        for entry in os.listdir('/proc'):
            if not entry.isdigit():
                continue
            try:
                with open('/proc/%s/environ' % entry, 'rb') as f:
                    if wanted not in f.read().split(b'\0'):
                        continue
                with open('/proc/%s/cmdline' % entry, 'rb') as f:
                    command = f.read().replace(b'\0', b' ').decode('latin-1').strip()
            except OSError:
                continue
            found.append((int(entry), command))
        return found

    def wait_for_restart_sequence(self, timeout: float = 60) -> bool:
        """Wine answers ExitWindowsEx(EWX_REBOOT) by starting "wineboot
        --end-session" and returning at once. That process sends the end of
        the session to the windows of every process (ending those that
        still run afterwards) and then plays a start of Windows: it runs
        and deletes the RunOnce values of both registry views and waits for
        their commands. Waits until no wineboot of this prefix runs; False
        when one still does after timeout seconds."""
        deadline = time.time() + timeout
        while any('wineboot' in command.lower() for _, command in self.prefix_processes()):
            if time.time() > deadline:
                return False
            time.sleep(0.1)
        return True

    def kill_server(self):
        if os.path.isdir(self.prefix):
            self._server('-k')
            self._server('-w')

    def shutdown(self):
        if self._created:
            self.kill_server()
            self._created = False

    # ------------------------------------------------------------- paths

    def c_path(self, *parts: str) -> str:
        """The Unix path of C:\\<parts>."""
        return os.path.join(self.drive_c, *parts)

    def windows_path(self, unix_path: str) -> str:
        return windows_path_of(unix_path, self.drive_c)

    def unix_path(self, win_path: str) -> str:
        """The Unix path of a C: or Z: path (exact case, as the test made it)."""
        drive, rest = win_path[:2].upper(), win_path[2:].lstrip('\\')
        parts = [p for p in rest.split('\\') if p]
        if drive == 'C:':
            return os.path.join(self.drive_c, *parts)
        if drive == 'Z:':
            return '/' + '/'.join(parts)
        raise ValueError('no Unix path for %r' % win_path)

    def make_dir(self, win_path: str) -> str:
        path = self.unix_path(win_path)
        os.makedirs(path, exist_ok=True)
        return path

    def write_file(self, win_path: str, content) -> str:
        """Writes bytes (or text, as Latin-1) to a file of the prefix."""
        path = self.unix_path(win_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(content.encode('latin-1') if isinstance(content, str) else content)
        return path

    def install_program(self, win_dir: str) -> str:
        """Copies the program into a folder of the prefix; returns its
        Windows path."""
        folder = self.make_dir(win_dir)
        shutil.copy2(self.program, os.path.join(folder, PROGRAM))
        return win_dir.rstrip('\\') + '\\' + PROGRAM

    def install_check_media(self, win_dir: str) -> str:
        """Copies the media check (built next to the program) into a folder
        of the prefix; returns its Windows path."""
        source = os.path.join(self.build_dir, CHECK_PROGRAM)
        if not os.path.exists(source):
            raise RuntimeError('the media check is missing: %s' % source)
        shutil.copy2(source, os.path.join(self.make_dir(win_dir), CHECK_PROGRAM))
        return win_dir.rstrip('\\') + '\\' + CHECK_PROGRAM

    # --------------------------------------------------------- stand-ins

    def install_standin(self, win_path: str, **settings) -> str:
        """Puts a copy of the stand-in program at win_path (any file name)
        with its settings file win_path + ".cfg": record=C:\\..., exit=N,
        sleep_ms=N, read_status=1, ping_status=1, ping_ms=N. Returns
        win_path."""
        if not os.path.exists(self.standin):
            raise RuntimeError('the stand-in program is missing: %s' % self.standin)
        target = self.unix_path(win_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(self.standin, target)
        with open(target + '.cfg', 'wb') as f:
            f.write(''.join('%s=%s\r\n' % (k, v) for k, v in settings.items()).encode('latin-1'))
        return win_path

    def standin_events(self, record_win_path: str) -> List['StandinEvent']:
        """What the stand-ins appended to a record file, oldest first."""
        path = self.unix_path(record_win_path)
        if not os.path.exists(path):
            return []
        with open(path, 'rb') as f:
            text = f.read().decode('latin-1')
        events = []
        for line in text.split('\r\n'):
            if not line:
                continue
            kind, *fields = line.split('\t')
            events.append(StandinEvent(kind, [_unescape_field(x) for x in fields]))
        return events

    # ------------------------------------------------- helper processes

    def execute(self, program: str, args=(), timeout: float = 120,
                cwd: Optional[str] = None) -> Tuple[Optional[int], bytes]:
        """Runs a Windows program (a Windows or Unix path, or a name Windows
        finds, such as msiexec) through runexe, without the dialog bot or a
        trace. Returns its full exit code (None when it timed out or did not
        start) and its standard output."""
        run_dir = self._exec_dir()
        result_file = os.path.join(run_dir, 'exit.txt')
        out_path = os.path.join(run_dir, 'stdout')
        with open(out_path, 'wb') as out, open(os.path.join(run_dir, 'stderr'), 'wb') as err:
            proc = self._start_runexe(result_file, program, args, timeout, cwd, self.env(), out, err)
            exit_code = self._runexe_exit_code(proc, result_file, timeout)
        with open(out_path, 'rb') as f:
            output = f.read()
        return exit_code, output

    def run_together(self, program: str, arg_lists, timeout: float = 120,
                     cwd: Optional[str] = None,
                     env: Optional[Dict[str, str]] = None) -> List[Optional[int]]:
        """Starts the program once for each argument list, all at once (each
        through runexe, without the dialog bot or a trace), and waits for
        them all. Returns each run's full exit code (None when it timed out
        or did not start)."""
        run_dir = self._exec_dir()
        started = []
        for n, args in enumerate(arg_lists):
            result_file = os.path.join(run_dir, 'exit%d.txt' % n)
            with open(os.path.join(run_dir, 'out%d' % n), 'wb') as out:
                started.append((self._start_runexe(result_file, program, args, timeout, cwd,
                                                   dict(self.env(), **(env or {})), out,
                                                   subprocess.STDOUT), result_file))
        return [self._runexe_exit_code(proc, result_file, timeout) for proc, result_file in started]

    def _exec_dir(self) -> str:
        self._exec_count += 1
        run_dir = os.path.join(self.work_dir, 'exec', '%03d' % self._exec_count)
        os.makedirs(run_dir)
        return run_dir

    def _start_runexe(self, result_file, program, args, timeout, cwd, env, out, err):
        return subprocess.Popen(
            [WINE, self.runexe, self.windows_path(result_file), str(int(timeout * 1000)),
             program] + list(args),
            cwd=self.unix_path(cwd) if cwd else self.drive_c, env=env,
            stdin=subprocess.DEVNULL, stdout=out, stderr=err)

    @staticmethod
    def _runexe_exit_code(proc, result_file, timeout) -> Optional[int]:
        """Waits for a runexe started by _start_runexe; the program's full
        exit code, or None when it timed out or did not start."""
        try:
            proc.wait(timeout + 30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        report = []
        if os.path.exists(result_file):
            with open(result_file) as f:
                report = f.read().split()
        if len(report) >= 2 and report[0] == 'exit':
            return int(report[1])
        return None

    def msiexec(self, *args: str, timeout: float = 120) -> Optional[int]:
        """Runs Wine's msiexec with the arguments; its full exit code."""
        return self.execute('msiexec', args, timeout=timeout)[0]

    def installed_products(self) -> Dict[str, Tuple[str, str]]:
        """The products Windows Installer reports installed: product code ->
        (product name, version)."""
        if not os.path.exists(self.msiprods):
            raise RuntimeError('the product lister is missing: %s' % self.msiprods)
        code, out = self.execute(self.msiprods, timeout=60)
        if code != 0:
            raise RuntimeError('msiprods failed: %r' % code)
        products = {}
        for line in out.decode('latin-1').splitlines():
            parts = line.rstrip('\r').split('\t')
            if len(parts) == 3:
                products[parts[0]] = (parts[1], parts[2])
        return products

    # ---------------------------------------------------------- run logs

    def run_logs(self) -> List[str]:
        """Default run logs ("VOVarOvadevir *.log") in the temporary folder."""
        return sorted(glob.glob(os.path.join(glob.escape(self.temp_dir), 'VOVarOvadevir *.log')))

    def clear_run_logs(self):
        for path in self.run_logs():
            os.remove(path)

    @contextlib.contextmanager
    def virtual_display(self):
        """A display of its own (Xvfb, on a free number) while the block
        runs; yields its DISPLAY value, to pass in run(env=...). Without a
        display Wine's null driver draws nothing, and some waits on windows
        (a broadcast to every top-level window) behave otherwise than on
        Windows."""
        xvfb = shutil.which('Xvfb')
        if xvfb is None:
            raise RuntimeError('Xvfb is missing (tools/setup.sh installs it)')
        read_end, write_end = os.pipe()
        server = subprocess.Popen([xvfb, '-displayfd', str(write_end), '-screen', '0', '1024x768x24',
                                   '-nolisten', 'tcp'], pass_fds=(write_end,),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            with os.fdopen(read_end) as numbers:
                number = numbers.readline().strip()
            if not number:
                raise RuntimeError('Xvfb did not start')
            yield ':' + number
        finally:
            server.terminate()
            server.wait(10)

    @contextlib.contextmanager
    def file_locked(self, win_path: str):
        """Keeps a file of the prefix open without sharing while the block
        runs, through the holdfile helper."""
        with self._holding(self.holdfile, win_path):
            yield

    @contextlib.contextmanager
    def process_named(self, exe_name: str, ends_after: Optional[float] = None):
        """Keeps a process whose program file is named exe_name (any case)
        running while the block runs, or for ends_after seconds at most: a
        copy of the holdfile helper under that name, in a folder of its own,
        holding a file of that folder. Yields the Windows path of the copy."""
        folder = 'C:\\procs\\' + uuid.uuid4().hex[:8]
        program = folder + '\\' + exe_name
        shutil.copy2(self.holdfile, os.path.join(self.make_dir(folder), exe_name))
        held = folder + '\\held.txt'
        self.write_file(held, 'held\n')
        with self._holding(program, held, ends_after):
            yield program

    @contextlib.contextmanager
    def _holding(self, program: str, win_path: str, ends_after: Optional[float] = None):
        """Runs program (the holdfile helper or a copy) on win_path until
        the block ends; the block starts once the file is held."""
        folder = os.path.join(self.work_dir, 'locks', uuid.uuid4().hex)
        os.makedirs(folder)
        ready, stop = os.path.join(folder, 'ready'), os.path.join(folder, 'stop')
        with open(os.path.join(folder, 'holdfile.out'), 'wb') as log:
            holder = subprocess.Popen(
                [WINE, program, win_path, self.windows_path(ready), self.windows_path(stop)],
                env=self.env(), stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        try:
            deadline = time.time() + 20
            while not os.path.exists(ready):
                if holder.poll() is not None or time.time() > deadline:
                    raise RuntimeError('holdfile could not hold %s' % win_path)
                time.sleep(0.05)
            if ends_after is not None:
                timer = threading.Timer(ends_after, lambda: open(stop, 'w').close())
                timer.start()
            yield
        finally:
            if ends_after is not None:
                timer.cancel()
            _stop_helper(stop, holder)

    # ---------------------------------------------------------- registry

    def set_registry(self, values: Dict[Tuple[str, str], object], view: int = 32):
        """Sets and deletes values under HKEY_LOCAL_MACHINE in one import, in
        the registry view of a 32-bit or a 64-bit program. values maps (key
        below HKLM, value name) to its data: str for REG_SZ, int for
        REG_DWORD, bytes for REG_BINARY, None to delete the value (a missing
        one is no error)."""
        def quoted(text):
            return '"%s"' % text.replace('\\', '\\\\').replace('"', '\\"')
        keys: Dict[str, List[str]] = {}
        for (key, name), data in values.items():
            if data is None:
                line = '%s=-' % quoted(name)
            elif isinstance(data, int):
                line = '%s=dword:%08x' % (quoted(name), data)
            elif isinstance(data, bytes):
                line = '%s=hex:%s' % (quoted(name), ','.join('%02x' % b for b in data))
            else:
                line = '%s=%s' % (quoted(name), quoted(data))
            keys.setdefault(key, []).append(line)
        text = 'REGEDIT4\r\n'
        for key, lines in keys.items():
            text += '\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n' % key + ''.join(l + '\r\n' for l in lines)
        folder = os.path.join(self.work_dir, 'setup')
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, 'import-%s.reg' % uuid.uuid4().hex[:8])
        with open(path, 'wb') as f:
            f.write(text.encode('latin-1'))
        self._reg_count += 1
        self._setup_retried([WINE, 'reg', 'import', self.windows_path(path), '/reg:%d' % view],
                            'reg-import-%03d' % self._reg_count)

    @contextlib.contextmanager
    def system_environment(self, name: str, value: Optional[str]):
        """While the block runs, the system-wide environment variable name
        is value (None: it is not set at all) for every process started
        meanwhile; afterwards it is what it was."""
        before = self.registry_values(SYSTEM_ENVIRONMENT_KEY, view=64)
        if before is None:
            raise RuntimeError('no system environment in the registry')
        self.set_registry({(SYSTEM_ENVIRONMENT_KEY, name): value}, view=64)
        try:
            yield
        finally:
            self.set_registry({(SYSTEM_ENVIRONMENT_KEY, name): before.get(name)}, view=64)

    def registry_values(self, key: str, view: int = 32) -> Optional[Dict[str, str]]:
        """The values of a key below HKEY_LOCAL_MACHINE as reg shows them
        (name -> data text), in the given view; None when the key is
        missing."""
        for attempt in range(3):
            self._reg_count += 1
            rc, out = self._setup_command(
                [WINE, 'reg', 'query', 'HKLM\\' + key, '/reg:%d' % view],
                name='reg-query-%03d' % self._reg_count)
            if rc == 0:
                break
            if b'Unable to find' in out:
                return None
            # Wine now and then fails to start a program at all; try again.
            time.sleep(1)
        else:
            raise RuntimeError('reg query %s failed (%d), see %s/setup' % (key, rc, self.work_dir))
        values = {}
        for line in out.decode('latin-1').splitlines():
            m = re.match(r'^    (.*?)    (REG_\w+)    ?(.*)$', line)
            if m:
                values[m.group(1)] = m.group(3)
        return values

    # ------------------------------------------------- files as Windows sees them

    def place_uninstaller(self, win_path: str, version: Optional[str]) -> str:
        """Puts a copy of the uninstaller stand-in at win_path whose file
        version is version ("A.B.C.D"); with None, a program without any
        version resource. Returns the Unix path."""
        target = self.unix_path(win_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if version is None:
            shutil.copy2(self.standin, target)
            return target
        with open(self.uninstaller, 'rb') as f:
            data = bytearray(f.read())
        # The fixed file information: signature, structure version, then the
        # file and the product version, each as two double words.
        at = data.find(b'\xbd\x04\xef\xfe')
        if at < 0 or data.find(b'\xbd\x04\xef\xfe', at + 1) >= 0:
            raise RuntimeError('no single version record in %s' % self.uninstaller)
        a, b, c, d = (int(x) for x in version.split('.'))
        struct.pack_into('<4I', data, at + 8, (a << 16) | b, (c << 16) | d, (a << 16) | b,
                         (c << 16) | d)
        with open(target, 'wb') as f:
            f.write(bytes(data))
        return target

    def shell_info(self, *queries: Tuple[str, str]) -> List[List[str]]:
        """Asks the shellinfo helper (one start for all queries): ("version",
        PATH) -> [version or "-"]; ("lnk", PATH) -> ["ok", target,
        description, arguments, working folder, icon path, icon index, hot
        key, show command] or ["error", code]; ("folder", CSIDL) -> [path or
        "-"]; ("message", CODE) -> [the system's text for that error code,
        or "-"]. Returns each query's answer fields, in order."""
        if not os.path.exists(self.shellinfo):
            raise RuntimeError('the shell query helper is missing: %s' % self.shellinfo)
        args = [part for query in queries for part in query]
        code, out = self.execute(self.shellinfo, args, timeout=60)
        if code != 0:
            raise RuntimeError('shellinfo failed: %r' % code)
        lines = out.decode('latin-1').split('\r\n')
        answers = []
        for (kind, what), line in zip(queries, lines):
            fields = line.split('\t')
            if fields[:2] != [kind, what]:
                raise RuntimeError('shellinfo answered %r to %r' % (line, (kind, what)))
            if kind == 'message':
                fields[2:] = [re.sub(r'\\([\\rn])', lambda m: {'r': '\r', 'n': '\n'}.get(
                    m.group(1), m.group(1)), f) for f in fields[2:]]
            answers.append(fields[2:])
        if len(answers) != len(queries):
            raise RuntimeError('shellinfo answered %d of %d queries' % (len(answers), len(queries)))
        return answers

    # -------------------------------------------------------------- MSIs

    def build_msi(self, win_path: str, properties: dict, product_name: str = 'Norvasoft Test',
                  version: str = '1.0.0', manufacturer: str = 'Norvasoft',
                  product_code: Optional[str] = None, launch_condition: Optional[str] = None,
                  schedule_reboot: bool = False, upgrade_code: Optional[str] = None) -> str:
        """Builds a small installable package with wixl, carrying the given
        properties in its Property table. Returns the Unix path.

        product_code, upgrade_code: the package's ProductCode and UpgradeCode
        ("{...}", upper case), new ones when None. launch_condition: a condition that must hold for the
        install to go on; "0" makes every install fail with 1603.
        schedule_reboot: the install schedules a restart and so returns
        3010."""
        target = self.unix_path(win_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        work = os.path.join(self.work_dir, 'msi', uuid.uuid4().hex)
        os.makedirs(work)
        payload = os.path.join(work, 'readme.txt')
        with open(payload, 'w') as f:
            f.write('%s %s\n' % (product_name, version))

        def attr(s):
            return (str(s).replace('&', '&amp;').replace('"', '&quot;')
                    .replace('<', '&lt;').replace('>', '&gt;'))

        props = ''.join('    <Property Id="%s" Value="%s"/>\n' % (attr(k), attr(v))
                        for k, v in properties.items())
        if launch_condition is not None:
            props += ('    <Condition Message="%s cannot be installed here.">%s</Condition>\n'
                      % (attr(product_name), attr(launch_condition)))
        if schedule_reboot:
            props += ('    <InstallExecuteSequence><ScheduleReboot After="InstallFinalize"/>'
                      '</InstallExecuteSequence>\n')
        # Each package installs into its own folder, so that two packages
        # never share a component.
        folder = ((re.sub(r'[^A-Za-z0-9]', '', product_name)[:20] or 'Product')
                  + uuid.uuid4().hex[:8])
        wxs = f'''<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product_code or new_guid()}" Name="{attr(product_name)}" Language="1033"
           Version="{attr(version)}" Manufacturer="{attr(manufacturer)}" UpgradeCode="{upgrade_code or new_guid()}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
{props}    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="{folder}">
          <Component Id="Payload" Guid="{new_guid()}">
            <File Id="Readme" Source="readme.txt"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Payload"/></Feature>
  </Product>
</Wix>
'''
        source = os.path.join(work, 'product.wxs')
        with open(source, 'w') as f:
            f.write(wxs)
        # wixl looks for the payload relative to its working folder.
        done = subprocess.run(['wixl', '-o', target, source], cwd=work, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=60)
        if done.returncode != 0:
            raise RuntimeError('wixl failed: %s' % done.stdout.decode('latin-1'))
        return target

    # --------------------------------------------------------------- run

    def run(self, program: str, args=(), cwd: Optional[str] = None, timeout: float = 60,
            answers=(), relay: bool = True, rest: str = 'close',
            env: Optional[Dict[str, str]] = None) -> RunResult:
        """Runs the program (a Windows path) with the arguments, next to the
        dialog bot, which answers the titled dialogs in turn with `answers`
        ("btn:ID", "cancel", "open:PATH", "none"; "TITLE::ACTION" waits for
        a dialog of that title) and closes any other one (rest="close") or
        leaves it (rest="leave"). cwd is a Windows path; env holds extra
        environment variables for the program (and what it starts); those
        that Windows keeps in the registry, such as OS, are set over them
        (see system_environment). Once the program has ended, a restart it
        asked for is waited for (wait_for_restart_sequence)."""
        self._run_count += 1
        run_dir = os.path.join(self.work_dir, 'runs', '%03d' % self._run_count)
        os.makedirs(run_dir)
        bot_out = os.path.join(run_dir, 'dialogs.jsonl')
        stop = os.path.join(run_dir, 'stop')
        result_file = os.path.join(run_dir, 'exit.txt')
        exe_name = program.replace('/', '\\').rsplit('\\', 1)[-1]
        args = list(args)

        with open(os.path.join(run_dir, 'bot.out'), 'wb') as bot_log:
            bot = subprocess.Popen(
                [WINE, self.dlgbot, '--out', self.windows_path(bot_out), '--exe', exe_name,
                 '--stop', self.windows_path(stop), '--timeout', str(timeout + 30),
                 '--rest', rest] + list(answers),
                env=self.env(), stdin=subprocess.DEVNULL, stdout=bot_log, stderr=subprocess.STDOUT)
        # Let the bot watch before the program starts.
        deadline = time.time() + 20
        while time.time() < deadline and not (os.path.exists(bot_out) and os.path.getsize(bot_out)):
            time.sleep(0.05)

        stdout_path = os.path.join(run_dir, 'stdout')
        stderr_path = os.path.join(run_dir, 'stderr')
        started = time.time()
        with open(stdout_path, 'wb') as out, open(stderr_path, 'wb') as err:
            proc = subprocess.Popen(
                [WINE, self.runexe, self.windows_path(result_file), str(int(timeout * 1000)),
                 program] + args,
                cwd=self.unix_path(cwd) if cwd else self.drive_c,
                env=dict(self.env(relay), **(env or {})),
                stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            killed = False
            try:
                proc.wait(timeout + 30)
            except subprocess.TimeoutExpired:
                killed = True
                proc.kill()
                proc.wait()
        ended = time.time()

        _stop_helper(stop, bot)
        # A restart the program asked for goes on after it ended.
        self.wait_for_restart_sequence()

        exit_code, timed_out, start_error, runner_lost = None, False, None, False
        report = ''
        if os.path.exists(result_file):
            with open(result_file) as f:
                report = f.read().split()
        if len(report) >= 2 and report[0] == 'exit':
            exit_code = int(report[1])
        elif report and report[0] == 'error':
            start_error = int(report[1])
        elif killed or report:
            timed_out = True
        else:
            runner_lost = True
        if timed_out or runner_lost:
            # Whatever hangs in this prefix, or what an end of session left,
            # goes; the next run starts afresh.
            self.kill_server()
            self._server(PERSIST)

        with open(stdout_path, 'rb') as f:
            stdout = f.read()
        with open(stderr_path, 'rb') as f:
            stderr = f.read()
        desktop, dialogs = parse_bot(bot_out)
        return RunResult(args=args, exit_code=exit_code, timed_out=timed_out,
                         start_error=start_error, stdout=stdout, stderr=stderr, started=started,
                         ended=ended, desktop=desktop, dialogs=dialogs,
                         relay=parse_relay(stderr) if relay else [], run_dir=run_dir,
                         runner_lost=runner_lost)


# ------------------------------------------------------------- time checks


def ctime_names_between(started: float, ended: float, pattern: str) -> List[str]:
    """Every text `pattern` % ctime-like stamp (Www Mmm dd hh.mm.ss yyyy, day
    padded with a blank) for the local seconds from started to ended."""
    names = []
    second = int(started)
    while second <= int(ended) + 1:
        t = time.localtime(second)
        stamp = time.strftime('%a %b ', t) + '%2d' % t.tm_mday + time.strftime(' %H.%M.%S %Y', t)
        names.append(pattern % stamp)
        second += 1
    return names


def stamp_within(stamp: str, started: float, ended: float) -> bool:
    """True when MM/DD/YY HH:MM:SS names a local second of the run."""
    try:
        moment = datetime.datetime.strptime(stamp, '%m/%d/%y %H:%M:%S')
    except ValueError:
        return False
    at = time.mktime(moment.timetuple())
    return int(started) - 1 <= at <= int(ended) + 1


# ------------------------------------------------------------------- main

_config = {'build': None, 'work': None}
_host: Optional[WineHost] = None


def host() -> WineHost:
    """The suite's Wine host, created with its fresh prefix on first use."""
    global _host
    if _host is None:
        h = WineHost(_config['build'], _config['work'])
        try:
            h.create()
        except Exception:
            h.shutdown()
            raise
        _host = h
    return _host


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    suite = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument('--build', default=os.environ.get(
        'NV_E2E_BUILD', os.path.normpath(os.path.join(here, '..', '..', 'build', 'win64'))))
    parser.add_argument('--work', default=os.path.join('/tmp', 'nv-e2e', suite))
    known, rest = parser.parse_known_args(sys.argv[1:])
    _config['build'], _config['work'] = known.build, known.work

    def terminated(signum, frame):
        raise SystemExit(128 + signum)
    # A time-out of the test runner still shuts the prefix down.
    signal.signal(signal.SIGTERM, terminated)
    ok = False
    try:
        program = unittest.main(module='__main__', argv=[sys.argv[0]] + rest, exit=False)
        ok = program.result.wasSuccessful()
    finally:
        if _host is not None:
            _host.shutdown()
    sys.exit(0 if ok else 1)
