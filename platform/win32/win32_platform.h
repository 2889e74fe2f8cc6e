#pragma once
// The real Windows behind the boundary of platform/platform.h. Each class
// implements one interface with the Windows calls its comment names; the
// Win32Windows object holds one of each and the Platform bundle that points
// at them, for WinMain and the Win32 tests.
//
// This header stays free of <windows.h>: handles are kept as void* and the
// Windows types are used only in the .cpp files.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace nv {
namespace win32 {

class Win32FileSystem : public FileSystem {
 public:
  std::vector<FindEntry> Find(const std::string& pattern) override;
  bool CreateDir(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool DeleteOneFile(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool Access(const std::string& path) override;
  std::string ShortPathName(const std::string& path) override;
  std::string TempPath() override;
  std::string ModuleFileName() override;
  std::string SystemDirectory() override;
  bool FileVersion(const std::string& path, uint32_t* versionMS, uint32_t* versionLS) override;
  std::unique_ptr<TextReader> OpenText(const std::string& path) override;
  std::unique_ptr<TextWriter> CreateCommitted(const std::string& path) override;
  std::unique_ptr<TextWriter> CreateNewCommitted(const std::string& path) override;
  uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) override;
  uint32_t MoveReplacing(const std::string& from, const std::string& to) override;
};

class Win32Registry : public Registry {
 public:
  bool QueryValue(RegRoot root, const std::string& subkey, const std::string& valueName, size_t bufferSize,
                  std::string* data) override;
  bool ValueExists(RegRoot root, const std::string& subkey, const std::string& valueName) override;
};

// Binds the Windows Installer library on the first installer call, never
// through the import table: an upgraded engine may have been loaded from its
// own folder earlier in the run, and that module is taken when it is there.
// Otherwise the library is loaded from the system folder by its full path,
// never by bare name. The library name is a parameter only so that tests can
// bind to a library that is missing or lacks the functions (a name with a
// folder is loaded as given).
class Win32Installer : public Installer {
 public:
  explicit Win32Installer(const char* library = "msi.dll");
  ~Win32Installer() override;
  Win32Installer(const Win32Installer&) = delete;
  Win32Installer& operator=(const Win32Installer&) = delete;

  int SetInternalUI(int level) override;
  uint32_t EnableLog(uint32_t logMode, const std::string& path, uint32_t attributes) override;
  uint32_t InstallProduct(const std::string& package, const std::string& commandLine) override;
  uint32_t ConfigureProductEx(const std::string& product, int installLevel, int installState,
                              const std::string& commandLine) override;
  uint32_t EnumProducts(uint32_t index, std::string* productCode) override;
  uint32_t GetProductInfo(const std::string& product, const std::string& property, char* buffer,
                          uint32_t* size) override;
  uint32_t OpenDatabase(const std::string& path, MSIHANDLE* database) override;
  uint32_t DatabaseOpenView(MSIHANDLE database, const std::string& query, MSIHANDLE* view) override;
  uint32_t ViewExecute(MSIHANDLE view) override;
  uint32_t ViewFetch(MSIHANDLE view, MSIHANDLE* record) override;
  uint32_t ViewClose(MSIHANDLE view) override;
  uint32_t RecordGetString(MSIHANDLE record, uint32_t field, char* buffer, uint32_t* size) override;
  uint32_t OpenProduct(const std::string& productCode, MSIHANDLE* product) override;
  uint32_t GetProductProperty(MSIHANDLE product, const std::string& property, char* buffer,
                              uint32_t* size) override;
  uint32_t CloseHandle(MSIHANDLE handle) override;
  uint32_t EnumRelatedProducts(const std::string& upgradeCode, uint32_t index, std::string* productCode) override;
  void SetExternalUI(std::function<int(uint32_t messageType)> handler, uint32_t messageFilter) override;

  // The installer functions, in the order of the slots in functions_.
  enum Function {
    kSetInternalUI,
    kEnableLog,
    kInstallProduct,
    kConfigureProductEx,
    kEnumProducts,
    kGetProductInfo,
    kOpenDatabase,
    kDatabaseOpenView,
    kViewExecute,
    kViewFetch,
    kViewClose,
    kRecordGetString,
    kOpenProduct,
    kGetProductProperty,
    kCloseHandle,
    kEnumRelatedProducts,
    kSetExternalUI,
    kFunctionCount
  };

 private:
  // The function's address, binding the library and the function on first
  // use; null when either cannot be bound.
  void* Bind(Function function);
  void* LoadEngine() const;  // HMODULE

  std::string library_;
  void* module_ = nullptr;  // HMODULE
  void* functions_[kFunctionCount] = {};
  std::function<int(uint32_t)> externalUI_;  // the handler set, while it is set
};

class Win32Shell : public Shell {
 public:
  int FileOperation(uint32_t operation, const std::string& from, const std::string& to, uint16_t flags) override;
  std::string FolderLocationPath(int csidl) override;
  bool SpecialFolderPath(int csidl, std::string* path) override;
  HResult CreateShellLink(std::unique_ptr<ShellLink>* link) override;
};

class Win32Processes : public Processes {
 public:
  uint32_t Run(const std::string& commandLine, bool wait, bool* created) override;
  std::vector<std::string> RunningExeFiles() override;
  void RunOnWorker(const std::function<void()>& work) override;
  LimitedRun RunLimited(const std::string& commandLine, uint32_t limitMilliseconds,
                        const std::function<void(ItemWindows&)>& beforeEnd) override;
};

class Win32Ui : public Ui {
 public:
  int ShowMessageBox(Owner owner, WindowHandle window, const std::string& text, const std::string& caption,
                     uint32_t flags) override;
  bool ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) override;
  WindowHandle CreateStatusDialog(InstanceHandle instance, const std::string& initialText) override;
  void SetItemText(WindowHandle window, int id, const std::string& text) override;
  void Repaint(WindowHandle window) override;
  void DestroyStatusDialog(WindowHandle window) override;
  void ShowWaitCursor() override;
};

class Win32System : public System {
 public:
  // The status MIF library is looked for in the system folder, then in the
  // program's own folder (libraryFolder stands in for it in tests), never in
  // the current folder or along the search path.
  explicit Win32System(std::string libraryFolder = "") : libraryFolder_(std::move(libraryFolder)) {}
  std::vector<std::string> Arguments() override;
  LocalTime Now() override;
  void WriteStdOut(const std::string& text) override;
  LocalTime UtcNow() override;
  std::string CommandLine() override;
  uint32_t ProcessId() override;
  std::string ComputerName() override;
  std::string UserName() override;
  std::string ExpandEnvironment(const std::string& text) override;
  bool InstallStatusMif(const StatusMifRecord& record) override;
  bool WindowsVersion(WindowsVersionInfo* version) override;
  bool EnvironmentVariable(const std::string& name, size_t bufferSize, std::string* value) override;
  bool LoadLibraryForProcess(const std::string& path) override;
  std::string SystemMessage(uint32_t errorCode) override;
  void EnableShutdownPrivilege() override;
  uint32_t RequestRestart(bool unseen) override;
  uint32_t TickCount() override;
  void WaitServicingWindows(uint32_t milliseconds) override;
  bool DesktopVisible() override;
  MutexState TakeRunMutex(const std::string& name) override;
  void ReleaseRunMutex() override;

 private:
  std::string libraryFolder_;
  void* runMutex_ = nullptr;  // HANDLE
  bool ownsRunMutex_ = false;
};

class Win32CodePage : public CodePage {
 public:
  bool IsLeadByte(uint8_t byte) const override;
  uint8_t ToLower(uint8_t byte) const override;
  bool IsSpace(uint8_t byte) const override;
  bool ToWide(const std::string& text, size_t maxChars, std::u16string* wide) const override;
};

// Waits for a handle (a process or thread) up to milliseconds (INFINITE
// for no limit) while messages sent to this thread from other threads are
// delivered: a started program or a library that broadcasts to every
// top-level window would otherwise wait for this thread for ever. Posted
// messages stay queued. True when the handle was signalled.
bool WaitDeliveringSentMessages(void* handle, uint32_t milliseconds);

// The whole real Windows, with the Platform bundle that points into it.
class Win32Windows {
 public:
  Win32Windows();
  Win32Windows(const Win32Windows&) = delete;
  Win32Windows& operator=(const Win32Windows&) = delete;

  Win32FileSystem files;
  Win32Registry registry;
  Win32Installer installer;
  Win32Shell shell;
  Win32Processes processes;
  Win32Ui ui;
  Win32System system;
  Win32CodePage codePage;
  Platform platform;
};

}  // namespace win32
}  // namespace nv
