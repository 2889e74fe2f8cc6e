#pragma once
// The operating-system boundary. Everything above it is portable and
// deterministic; everything Windows does for the program is one of the calls
// below. platform/win32/ implements them with the real API, platform/fake/
// with an in-memory Windows for the native tests.
//
// Each interface is shaped after the Windows calls it stands for and keeps
// their meaning (return codes, buffer sizes, ERROR_MORE_DATA), so the logic
// above can follow the Windows algorithms step by step. Method names avoid
// the Windows names themselves, which <windows.h> turns into macros.
//
// To add a call: add a pure virtual method to the interface it belongs to,
// implement it in platform/win32/ and in platform/fake/, and give the fake a
// way for tests to script or observe it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_constants.h"

namespace nv {

using MSIHANDLE = uint32_t;
using HResult = int32_t;
using InstanceHandle = void*;
using WindowHandle = void*;

// ---------------------------------------------------------------- files

// The bit of a reparse tag that marks a link to another name (symbolic
// link, junction, mount point): IsReparseTagNameSurrogate.
constexpr uint32_t kReparseTagNameSurrogate = 0x20000000;
// The bit every tag that Windows itself defines carries
// (IsReparseTagMicrosoft).
constexpr uint32_t kReparseTagMicrosoft = 0x80000000;
// Some tags (IO_REPARSE_TAG_...; the Windows headers' macros are not used
// here, so that portable code need not include them).
constexpr uint32_t kReparseTagMountPoint = 0xA0000003;  // junctions and mount points
constexpr uint32_t kReparseTagSymlink = 0xA000000C;
constexpr uint32_t kReparseTagDfs = 0x8000000A;
constexpr uint32_t kReparseTagCloud = 0x9000001A;  // cloud-file placeholders

struct FindEntry {
  std::string name;       // file name only, as cFileName
  std::string shortName;  // cAlternateFileName: the 8.3 name; empty when there is none
  uint32_t attributes = 0;
  // dwReserved0 when the entry is a reparse point, else 0. 0 on a reparse
  // point means the file system did not say.
  uint32_t reparseTag = 0;
  bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // A symbolic link, junction or mount point: a reparse point whose tag is a
  // name surrogate, or whose tag could not be read. Other reparse points of
  // Windows' own (DFS links, cloud-file placeholders) hold their contents in
  // place. A tag without the Microsoft bit says nothing reliable: Wine, for
  // one, reports a Unix symbolic link with dwReserved0 left at 1, and a
  // search that entered it could loop.
  bool IsNameSurrogate() const {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || (reparseTag & kReparseTagMicrosoft) == 0 ||
            (reparseTag & kReparseTagNameSurrogate) != 0);
  }
};

// What tells one state of a file from another, as the file system keeps
// it: while its size and times stay the same, its contents are taken to be
// the same. The change time moves with every write, rename or change of
// the other times, so a file put in another's place differs in it too.
struct FileStamp {
  uint64_t size = 0;       // in bytes
  uint64_t created = 0;    // creation time (FILETIME, 100 ns units)
  uint64_t lastWrite = 0;  // last-write time
  uint64_t changed = 0;    // change time
  // False while the latest of these times is so recent that another write
  // could still land in the same tick of the file system's clock (two
  // seconds on FAT) and leave every field as it was; not part of the
  // comparison.
  bool settled = false;

  bool SameFileState(const FileStamp& other) const {
    return size == other.size && created == other.created && lastWrite == other.lastWrite && changed == other.changed;
  }
};

// A text file open for reading in text mode ("r").
class TextReader {
 public:
  virtual ~TextReader() = default;
  // GetFileInformationByHandleEx (FileBasicInfo, FileStandardInfo) of the
  // open file, and GetSystemTimeAsFileTime to tell whether its last change
  // has settled. False when Windows cannot say; the caller then knows
  // nothing about the file's state.
  virtual bool Stamp(FileStamp* stamp) = 0;
  // fgets with a buffer of maxChars + 1: reads up to maxChars characters, or
  // up to and including the next line break, whichever comes first. False at
  // the end of the file (nothing read) or on a read error.
  virtual bool ReadLine(size_t maxChars, std::string* line) = 0;
  // ferror: true once a read has failed, so that a ReadLine that gave false
  // did not reach the end of the file.
  virtual bool ReadFailed() = 0;
  // fclose: false when closing failed. Called at most once; a reader that is
  // destroyed without it is closed silently.
  virtual bool Close() = 0;
};

// A file created empty for writing in commit mode ("w+c").
class TextWriter {
 public:
  virtual ~TextWriter() = default;
  // fwrite of every byte of text, then fflush (committed to disk). Errors
  // are not reported: the run never depends on a log write.
  virtual void Write(const std::string& text) = 0;
  // fclose. Called at most once; destruction without it closes silently.
  virtual bool Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // FindFirstFileA / FindNextFileA over a path or wildcard pattern: every
  // entry in the order the file system returns it ("." and ".." included
  // when Windows gives them). Empty when FindFirstFileA finds nothing.
  virtual std::vector<FindEntry> Find(const std::string& pattern) = 0;
  // CreateDirectoryA with default security.
  virtual bool CreateDir(const std::string& path) = 0;
  // RemoveDirectoryA (the folder must be empty).
  virtual bool RemoveDir(const std::string& path) = 0;
  // DeleteFileA.
  virtual bool DeleteOneFile(const std::string& path) = 0;
  // SetFileAttributesA.
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // _access(path, 0) == 0: the file or folder exists.
  virtual bool Access(const std::string& path) = 0;
  // GetShortPathNameA into a 260-character buffer; empty on failure or when
  // the short form does not fit.
  virtual std::string ShortPathName(const std::string& path) = 0;
  // GetTempPathA into a 260-character buffer (as Windows reports it).
  virtual std::string TempPath() = 0;
  // GetModuleFileNameA of the program (at most 260 characters).
  virtual std::string ModuleFileName() = 0;
  // GetSystemDirectoryA (at most 260 characters).
  virtual std::string SystemDirectory() = 0;
  // GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA of the
  // root block "\": the fixed file information's dwFileVersionMS and
  // dwFileVersionLS. False when the file has no version resource or any of
  // the steps fails.
  virtual bool FileVersion(const std::string& path, uint32_t* versionMS, uint32_t* versionLS) = 0;
  // fopen(path, "r"); null when the file cannot be opened.
  virtual std::unique_ptr<TextReader> OpenText(const std::string& path) = 0;
  // fopen(path, "w+c"); null when the file cannot be created.
  virtual std::unique_ptr<TextWriter> CreateCommitted(const std::string& path) = 0;
  // The same for a file that must not exist yet (CreateFileA with
  // CREATE_NEW, then opened as above): null when it exists or cannot be
  // created, and an existing file is never emptied.
  virtual std::unique_ptr<TextWriter> CreateNewCommitted(const std::string& path) = 0;
  // CreateFileA(GENERIC_WRITE, no sharing, CREATE_ALWAYS), WriteFile of
  // every byte, FlushFileBuffers and CloseHandle: 0, or the GetLastError of
  // the first step that failed.
  virtual uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
  // MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH):
  // 0, or GetLastError when it failed.
  virtual uint32_t MoveReplacing(const std::string& from, const std::string& to) = 0;
};

// ---------------------------------------------------------------- registry

enum class RegRoot { LocalMachine };

class Registry {
 public:
  virtual ~Registry() = default;
  // RegOpenKeyExA(root, subkey) with query access only, in the registry's
  // 32-bit view as the 32-bit program sees it, then RegQueryValueExA into a
  // buffer of bufferSize bytes; the key is closed whatever happened. True
  // when both succeeded; data receives the bytes read, cut at the first NUL.
  // A value whose data does not fit in bufferSize fails.
  virtual bool QueryValue(RegRoot root, const std::string& subkey, const std::string& valueName,
                          size_t bufferSize, std::string* data) = 0;
  // The same key opened the same way, then RegQueryValueExA with no buffer:
  // true when the value exists, whatever the size of its data.
  virtual bool ValueExists(RegRoot root, const std::string& subkey, const std::string& valueName) = 0;
};

// ---------------------------------------------------------------- Windows Installer

// The msi.dll calls the program makes. Every function is bound on its first
// use; a function that cannot be bound answers ERROR_CALL_NOT_IMPLEMENTED
// (or, for SetInternalUI, does nothing) and never stops the run.
class Installer {
 public:
  virtual ~Installer() = default;
  // MsiSetInternalUI(level, null window); returns the previous level.
  virtual int SetInternalUI(int level) = 0;
  // MsiEnableLogA(mode, path, attributes).
  virtual uint32_t EnableLog(uint32_t logMode, const std::string& path, uint32_t attributes) = 0;
  // MsiInstallProductA(package, command line).
  virtual uint32_t InstallProduct(const std::string& package, const std::string& commandLine) = 0;
  // MsiConfigureProductExA(product, level, state, command line).
  virtual uint32_t ConfigureProductEx(const std::string& product, int installLevel, int installState,
                                      const std::string& commandLine) = 0;
  // MsiEnumProductsA(index, 39-character buffer).
  virtual uint32_t EnumProducts(uint32_t index, std::string* productCode) = 0;
  // MsiGetProductInfoA(product, property, buffer, size): *size is the
  // buffer's capacity in characters on entry and the value's length on
  // return; ERROR_MORE_DATA when it does not fit (buffer may be null).
  virtual uint32_t GetProductInfo(const std::string& product, const std::string& property, char* buffer,
                                  uint32_t* size) = 0;
  // MsiOpenDatabaseA(path, MSIDBOPEN_READONLY): the package is never changed.
  virtual uint32_t OpenDatabase(const std::string& path, MSIHANDLE* database) = 0;
  // MsiDatabaseOpenViewA(database, query).
  virtual uint32_t DatabaseOpenView(MSIHANDLE database, const std::string& query, MSIHANDLE* view) = 0;
  // MsiViewExecute(view, no parameter record).
  virtual uint32_t ViewExecute(MSIHANDLE view) = 0;
  // MsiViewFetch(view): 0 and one record, non-zero when none is left.
  virtual uint32_t ViewFetch(MSIHANDLE view, MSIHANDLE* record) = 0;
  // MsiViewClose(view).
  virtual uint32_t ViewClose(MSIHANDLE view) = 0;
  // MsiRecordGetStringA(record, field, buffer, size), with the meaning of
  // *size as for GetProductInfo.
  virtual uint32_t RecordGetString(MSIHANDLE record, uint32_t field, char* buffer, uint32_t* size) = 0;
  // MsiOpenProductA(product code).
  virtual uint32_t OpenProduct(const std::string& productCode, MSIHANDLE* product) = 0;
  // MsiGetProductPropertyA(product handle, property, buffer, size), with the
  // meaning of *size as for GetProductInfo.
  virtual uint32_t GetProductProperty(MSIHANDLE product, const std::string& property, char* buffer,
                                      uint32_t* size) = 0;
  // MsiCloseHandle.
  virtual uint32_t CloseHandle(MSIHANDLE handle) = 0;
  // MsiEnumRelatedProductsA(upgrade code, 0, index, 39-character buffer):
  // 0 and the product code of an installed product that carries the upgrade
  // code, while any remain; ERROR_NO_MORE_ITEMS after the last.
  virtual uint32_t EnumRelatedProducts(const std::string& upgradeCode, uint32_t index,
                                       std::string* productCode) = 0;
  // MsiSetExternalUIA(handler, filter, context): while set, Windows
  // Installer hands each message of the filter's types to handler (its
  // INSTALLMESSAGE type in the upper byte, as iMessageType), which answers
  // as an external UI handler does: 0 to leave the message to the internal
  // UI, IDCANCEL to ask for a cancel. An empty handler is
  // MsiSetExternalUIA(NULL, 0, NULL), which removes it.
  virtual void SetExternalUI(std::function<int(uint32_t messageType)> handler, uint32_t messageFilter) = 0;
};

// ---------------------------------------------------------------- shell

// A shell link object: CLSID_ShellLink with its IShellLinkA and IPersistFile
// interfaces. Destruction releases both.
class ShellLink {
 public:
  virtual ~ShellLink() = default;
  virtual HResult SetPath(const std::string& target) = 0;               // IShellLinkA::SetPath
  virtual HResult SetDescription(const std::string& description) = 0;  // IShellLinkA::SetDescription
  virtual HResult Save(const std::u16string& linkFile) = 0;             // IPersistFile::Save(file, TRUE)
};

class Shell {
 public:
  virtual ~Shell() = default;
  // SHFileOperationA with no owner window, no name mappings and no progress
  // title; from and to are single paths (the implementation adds the double
  // NUL). Returns the shell's result, 0 on success; ERROR_CANCELLED (1223)
  // when it reports success but an operation was aborted.
  virtual int FileOperation(uint32_t operation, const std::string& from, const std::string& to,
                            uint16_t flags) = 0;
  // CoInitialize, SHGetMalloc, SHGetFolderLocation(csidl),
  // SHGetPathFromIDListA into a 260-character buffer, free, CoUninitialize.
  // Empty when any step fails.
  virtual std::string FolderLocationPath(int csidl) = 0;
  // SHGetSpecialFolderPathA(no window, csidl, do not create).
  virtual bool SpecialFolderPath(int csidl, std::string* path) = 0;
  // CoInitialize (left initialised), CoCreateInstance(CLSID_ShellLink,
  // IShellLinkA) and QueryInterface(IPersistFile). On failure returns the
  // failing result and leaves link empty.
  virtual HResult CreateShellLink(std::unique_ptr<ShellLink>* link) = 0;
};

// ---------------------------------------------------------------- processes

// The windows of a process the run is about to end, read before it goes.
class ItemWindows {
 public:
  virtual ~ItemWindows() = default;
  // EnumWindows on the calling thread's desktop: every top-level window for
  // which IsWindowVisible is true and whose process
  // (GetWindowThreadProcessId) is the started one or one in its job, in Z
  // order. Hidden windows ("Default IME" and the like) are left out.
  virtual std::vector<WindowHandle> VisibleTopWindows() = 0;
  // EnumChildWindows: every child window, grandchildren included.
  virtual std::vector<WindowHandle> ChildWindows(WindowHandle window) = 0;
  // SendMessageTimeoutA(WM_GETTEXT, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeout)
  // into a buffer of maxBytes + 1: false when the owner is hung, the time
  // ran out or the window is gone.
  virtual bool SendGetText(WindowHandle window, uint32_t timeoutMilliseconds, size_t maxBytes,
                           std::string* text) = 0;
  // GetWindowTextA into a buffer of maxBytes + 1. It sends no message to
  // another process's window: a top-level window gives its caption even
  // when its owner is hung, a control gives empty text.
  virtual std::string WindowText(WindowHandle window, size_t maxBytes) = 0;
};

// How a process started under a time limit ended.
struct LimitedRun {
  uint32_t result = 0;   // the exit code, or the error when it could not be created
  bool created = false;
  bool ended = false;    // the limit ran out and the run ended it (result ERROR_TIMEOUT)
  bool inJob = false;    // it ran in a job object of its own, with what it started
};

class Processes {
 public:
  virtual ~Processes() = default;
  // CreateProcessA with no application name, the command line as given (no
  // quoting added), handles not inherited, CREATE_NO_WINDOW |
  // NORMAL_PRIORITY_CLASS, the caller's environment and folder and a zeroed
  // STARTUPINFOA; then, when wait is set, a wait without limit that delivers
  // messages sent to this thread meanwhile (a started program that
  // broadcasts would otherwise wait for this thread's windows for ever), and
  // GetExitCodeProcess. Returns the exit code (STILL_ACTIVE without wait), or
  // GetLastError() when the process could not be created; *created (when
  // given) tells which of the two it is. Handles are closed on every path.
  virtual uint32_t Run(const std::string& commandLine, bool wait, bool* created) = 0;
  // The same under a time limit: created suspended (first with
  // CREATE_BREAKAWAY_FROM_JOB, again without it on ERROR_ACCESS_DENIED),
  // put into a job object of its own that lets it break away
  // (JOB_OBJECT_LIMIT_BREAKAWAY_OK), then resumed whatever happened with the
  // job; the job functions are bound at run time. It is waited for up to
  // limitMilliseconds while messages sent to this thread are delivered.
  // Still running then: beforeEnd is called with its windows, the job (or,
  // outside a job, the process alone) is ended with ERROR_TIMEOUT, and it is
  // waited for up to 30 seconds more. Handles are closed on every path.
  virtual LimitedRun RunLimited(const std::string& commandLine, uint32_t limitMilliseconds,
                                const std::function<void(ItemWindows&)>& beforeEnd) = 0;
  // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS), Process32First/Next: the
  // szExeFile of every running process, in snapshot order; empty when the
  // snapshot cannot be taken. The snapshot is closed on every path.
  virtual std::vector<std::string> RunningExeFiles() = 0;
  // Runs work on a worker thread (CreateThread) while the calling thread
  // waits on that thread and its own message queue together, taking every
  // message with PeekMessageA and dispatching it (TranslateMessage,
  // DispatchMessageA; a WM_QUIT is dropped), so that its windows stay
  // serviced. Returns once work has returned. The thread handle is closed.
  virtual void RunOnWorker(const std::function<void()>& work) = 0;
};

// ---------------------------------------------------------------- user interface

enum class Owner {
  None,       // no owner window
  Desktop,    // GetDesktopWindow()
  TopWindow,  // the window at the top of the desktop's window order
  Window,     // the window passed along
};

struct OpenFileRequest {
  InstanceHandle instance = nullptr;
  std::string filter;  // pairs of NUL-terminated texts, ending in a second NUL
  uint32_t filterIndex = 1;
  size_t bufferSize = 260;
  std::string title;
  uint32_t flags = 0;
};

class Ui {
 public:
  virtual ~Ui() = default;
  // MessageBoxA; returns the button pressed (IDOK, IDYES, ...).
  virtual int ShowMessageBox(Owner owner, WindowHandle window, const std::string& text,
                             const std::string& caption, uint32_t flags) = 0;
  // GetOpenFileNameA with the owner the desktop window and no initial
  // folder: true and the chosen full path on OK, false on any other end.
  virtual bool ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) = 0;

  // The status window: CreateDialogParamA(instance, dialog 101, no owner,
  // the status dialog procedure), UpdateWindow, ShowWindow(SW_SHOWNORMAL).
  // The procedure puts initialText into static 1001 on WM_INITDIALOG, loads
  // "Shell32.dll" (a message box "Unable to load library." / "ANI" owned by
  // the window when it cannot) and plays its animation 161 in a
  // "SysAnimate32" child for ever; it answers WM_NCACTIVATE with its wParam.
  // Null when the window cannot be created.
  virtual WindowHandle CreateStatusDialog(InstanceHandle instance, const std::string& initialText) = 0;
  // SetDlgItemTextA(window, id, text).
  virtual void SetItemText(WindowHandle window, int id, const std::string& text) = 0;
  // An immediate repaint of the window (UpdateWindow).
  virtual void Repaint(WindowHandle window) = 0;
  // DestroyWindow.
  virtual void DestroyStatusDialog(WindowHandle window) = 0;
  // SetCursor(LoadCursorA(no instance, IDC_WAIT)).
  virtual void ShowWaitCursor() = 0;
};

// ---------------------------------------------------------------- system

struct LocalTime {
  int year = 1970;  // e.g. 2026
  int month = 1;    // 1-12
  int day = 1;      // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 4;  // 0 = Sunday
};

// The ANSI code page's character functions. All text above the boundary is
// 8-bit text in this code page; a double-byte character is never split.
class CodePage {
 public:
  virtual ~CodePage() = default;
  // IsDBCSLeadByte.
  virtual bool IsLeadByte(uint8_t byte) const = 0;
  // The code page's lower-case mapping of a single-byte character.
  virtual uint8_t ToLower(uint8_t byte) const = 0;
  // Whether a single-byte character is white space in the code page.
  virtual bool IsSpace(uint8_t byte) const = 0;
  // MultiByteToWideChar(CP_ACP) into at most maxChars UTF-16 units including
  // the terminating zero; false when it does not fit or cannot be converted.
  virtual bool ToWide(const std::string& text, size_t maxChars, std::u16string* wide) const = 0;
};

// One record for the status MIF library's InstallStatusMIF.
struct StatusMifRecord {
  std::string mifFile;
  std::string company;
  std::string product;
  std::string version;
  std::string locale;
  const char* serialNumber = nullptr;  // always passed as a null pointer
  std::string message;
  bool success = false;
};

// What GetVersionExA reports.
struct WindowsVersionInfo {
  uint32_t platformId = 0;  // VER_PLATFORM_WIN32_WINDOWS 1, VER_PLATFORM_WIN32_NT 2
  uint32_t major = 0;
  uint32_t minor = 0;
};

// What an attempt to take a named mutex found.
enum class MutexState {
  kTaken,        // this process owns it now
  kAbandoned,    // owned now; its last owner ended without releasing it
  kHeld,         // another process owns it
  kDenied,       // it exists but cannot be opened (ERROR_ACCESS_DENIED)
  kUnavailable,  // it could not be made at all
};

class System {
 public:
  virtual ~System() = default;
  // The process's parsed argument vector without argument 0.
  virtual std::vector<std::string> Arguments() = 0;
  // The current local time (time() and localtime()).
  virtual LocalTime Now() = 0;
  // printf to the standard output (dropped when there is none).
  virtual void WriteStdOut(const std::string& text) = 0;
  // The current time in UTC (GetSystemTime), in the same fields as Now().
  virtual LocalTime UtcNow() = 0;
  // GetCommandLineA: the command line as the process got it.
  virtual std::string CommandLine() = 0;
  // GetCurrentProcessId.
  virtual uint32_t ProcessId() = 0;
  // GetComputerNameA and GetUserNameA; empty when Windows cannot say.
  virtual std::string ComputerName() = 0;
  virtual std::string UserName() = 0;
  // ExpandEnvironmentStringsA: every %NAME% of a variable that is set
  // replaced by its value (others left as written); the text unchanged when
  // the call fails.
  virtual std::string ExpandEnvironment(const std::string& text) = 0;

  // The status MIF library: LoadLibraryA of "ismif32.dll" in the system
  // folder, else in the program's folder (never by bare name),
  // GetProcAddress("InstallStatusMIF") (a WINAPI function taking the MIF
  // file name, company, product, version, locale, serial number, message
  // and a BOOL success flag), the call, FreeLibrary. A null serial number is
  // passed as a null pointer. False when the library or its export is
  // missing, or the call raised a fault (the library then stays loaded).
  virtual bool InstallStatusMif(const StatusMifRecord& record) = 0;

  // GetVersionExA with an OSVERSIONINFOA (148 bytes): false when it fails.
  virtual bool WindowsVersion(WindowsVersionInfo* version) = 0;
  // GetEnvironmentVariableA into a buffer of bufferSize characters: false
  // when the variable is missing or does not fit.
  virtual bool EnvironmentVariable(const std::string& name, size_t bufferSize, std::string* value) = 0;
  // LoadLibraryA(path), never released: false when it cannot be loaded.
  virtual bool LoadLibraryForProcess(const std::string& path) = 0;
  // FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS) of a system error code;
  // empty when Windows has no text for it.
  virtual std::string SystemMessage(uint32_t errorCode) = 0;
  // OpenProcessToken(ADJUST_PRIVILEGES | QUERY), LookupPrivilegeValueA(no
  // system, "SeShutdownPrivilege") and AdjustTokenPrivileges enabling that
  // one privilege, no previous state asked for. Failures are not reported.
  virtual void EnableShutdownPrivilege() = 0;
  // Asks Windows to restart, with a planned reason (an application's
  // installation): ExitWindowsEx(EWX_REBOOT) on a desktop someone may be at;
  // where nobody can see the desktop, InitiateSystemShutdownExA (or
  // InitiateSystemShutdownA on Windows 2000) on this computer with no
  // message and no delay, as a service must. The request returns at once:
  // 0 when Windows took it, else the error (GetLastError()).
  virtual uint32_t RequestRestart(bool unseen) = 0;

  // GetTickCount: milliseconds since Windows started, wrapping after 49.7
  // days (differences stay right across the wrap).
  virtual uint32_t TickCount() = 0;
  // Waits the given time while taking and dispatching every message of the
  // calling thread (MsgWaitForMultipleObjects with no handle and the time
  // left), so that its windows stay serviced; never busy-polls.
  virtual void WaitServicingWindows(uint32_t milliseconds) = 0;
  // Whether a person could see a window of this process: false when the
  // process's window station is not visible (GetProcessWindowStation and
  // GetUserObjectInformationA(UOI_FLAGS) without WSF_VISIBLE), as for a
  // service or a non-interactive logon, and on Windows Vista and later when
  // the process runs in session 0 (ProcessIdToSessionId); on Windows 2000,
  // XP and Server 2003 also when the thread's desktop is not the input
  // desktop (OpenInputDesktop fails, or its UOI_NAME differs from
  // GetThreadDesktop's). True when a query fails or the running Windows
  // lacks it. The decision itself is DesktopSeen (platform/desktop_seen.h).
  virtual bool DesktopVisible() = 0;
  // CreateMutexA(no security, not owned, name), which opens the mutex when
  // it exists, then WaitForSingleObject(0). The handle is kept for the next
  // try and for ReleaseRunMutex; the process holds at most one.
  virtual MutexState TakeRunMutex(const std::string& name) = 0;
  // ReleaseMutex when this process owns it, and CloseHandle; nothing when no
  // mutex is open.
  virtual void ReleaseRunMutex() = 0;
};

// One of each, for the whole run.
struct Platform {
  FileSystem& files;
  Registry& registry;
  Installer& installer;
  Shell& shell;
  Processes& processes;
  Ui& ui;
  System& system;
  const CodePage& codePage;
};

}  // namespace nv
