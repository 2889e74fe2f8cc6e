#pragma once
// An in-memory Windows for the native tests: files with Windows path rules,
// a registry, Windows Installer packages and products, the shell, message
// boxes and dialogs, the clock and the code page. Tests set it up, run the
// code above the boundary over it, and assert on what it recorded.
//
// Path rules: "\" and "/" both separate; names compare without regard to
// case (the code page's mapping; double-byte characters exactly, and a trail
// byte equal to "\" never separates); "C:\" and "\\server\share" style
// roots; a relative path is taken from the current folder (C:\ unless set);
// "." and ".." elements are resolved and trailing dots and blanks of an
// element dropped, as GetFullPathNameA does. Wildcards "*" and "?" in the last
// element match as FindFirstFileA does (DOS rules: "*.*" also matches names
// without a dot, "*." only those, "a?" also "a"); a search of a folder that
// is not a root ("dir\*") gives "." and ".." first when the pattern matches
// them, then the entries in case-insensitive name order; a path ending in a
// backslash finds nothing. A new FakeFileSystem holds C:\ and D:\, the
// temporary folder, the system folder with msi.dll (5.0.19041.1) and
// kernel32.dll (10.0.19041.1), and the program file.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nv {
namespace fake {

class FakeSystem;

// ---------------------------------------------------------------- faults

// The kinds of boundary call a fault plan tells apart, and what a failed
// call of each kind gives: what that Windows call reports when it fails.
// Calls that cannot report a failure (the clock, window texts, the wait
// cursor, MsiSetInternalUI, MsiCloseHandle, the worker) are not counted.
enum class Call {
  Search,       // Find, Access: nothing found (access denied, path not found)
  FileOpen,     // OpenText: null
  FileRead,     // a reader's Stamp and ReadLine: false (a read error)
  FileCreate,   // CreateCommitted: null; CreateDir: false
  FileWrite,    // a writer's Write: half the text lands (disk full), or none
  FileClose,    // a reader's or writer's Close: false, the file closed
  FileChange,   // RemoveDir, DeleteOneFile, SetAttributes: false
  Folder,       // short path, temporary, module, system and special folders: empty (or false)
  Version,      // FileVersion, WindowsVersion: false
  Registry,     // QueryValue, ValueExists: false (access denied)
  Process,      // Run: not started (access denied, not enough memory), or started
                // with its exit code unreadable; RunningExeFiles: empty; under
                // a time limit also: no job
  Installer,    // msi.dll: 1603, 1618, 1620 or ERROR_BAD_CONFIGURATION, no handle
  Shell,        // FileOperation: access denied, or aborted; nothing done
  Com,          // CreateShellLink and the link's calls: E_FAIL, E_ACCESSDENIED
  Ui,           // message box 0, file-open dialog false, status window null;
                // the desktop query fails, which counts as visible; a
                // window's text cannot be read
  Library,      // InstallStatusMif, LoadLibraryForProcess: false
  Environment,  // EnvironmentVariable: false; SystemMessage: empty; TakeRunMutex: unavailable
};
constexpr int kCallKinds = 17;

// How many different failures a call of that kind can give (its variants).
int FailureVariants(Call kind);

// Which calls fail. Calls are counted from 1, all together and per kind.
class FaultPlan {
 public:
  // Thrown by the call after the limit: a run that goes on that long hangs.
  struct Runaway {};
  // Fails the n-th call, or the n-th call of one kind, with the failure
  // variant of its kind (taken modulo the kind's variants).
  void Fail(uint64_t n, int variant = 0) { faults_.push_back({false, Call::Search, n, variant}); }
  void Fail(Call kind, uint64_t n, int variant = 0) { faults_.push_back({true, kind, n, variant}); }
  void SetLimit(uint64_t limit) { limit_ = limit; }
  // Counts a call; true when it is to fail, *variant then its failure.
  bool Tick(Call kind, int* variant);
  uint64_t Calls() const { return kinds_.size(); }
  // The kind of every call so far, in order.
  const std::vector<Call>& Kinds() const { return kinds_; }
  // The kind of every call that was failed, in order.
  const std::vector<Call>& Fired() const { return fired_; }

 private:
  struct Fault {
    bool ofKind;
    Call kind;
    uint64_t n;
    int variant;
  };
  std::vector<Fault> faults_;
  std::vector<Call> kinds_;
  uint64_t perKind_[kCallKinds] = {};
  uint64_t limit_ = 0;  // none
  std::vector<Call> fired_;
};

// What every part of the fake shares: the plan its calls count against
// (none for a part used on its own).
class FaultPoint {
 public:
  void UseFaultPlan(FaultPlan* plan) { plan_ = plan; }
  // Counts the call; true when the plan fails it, variant() then telling
  // which of the kind's failures to give.
  bool Fails(Call kind) { return plan_ != nullptr && plan_->Tick(kind, &variant_); }
  int variant() const { return variant_; }

 private:
  FaultPlan* plan_ = nullptr;
  int variant_ = 0;
};

class FakeFileSystem : public FileSystem, public FaultPoint {
 public:
  FakeFileSystem();

  // The code page that splits and compares paths (the fake's own single-byte
  // one unless set; FakeWindows sets its codePage).
  void SetCodePage(const CodePage* codePage);

  // --- set-up (parent folders are created as needed)
  void AddFile(const std::string& path, const std::string& contents = std::string(),
               uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE);
  void AddDir(const std::string& path, uint32_t attributes = FILE_ATTRIBUTE_DIRECTORY);
  void SetFileVersion(const std::string& path, uint32_t versionMS, uint32_t versionLS);
  void SetCurrentDir(const std::string& path);
  // These three also make the folder or file when it is missing.
  void SetTempPath(const std::string& path);        // default "C:\Users\admin\AppData\Local\Temp\"
  void SetModuleFileName(const std::string& path);  // default "D:\media\NvRunUnattended.exe"
  void SetSystemDirectory(const std::string& path); // default "C:\Windows\system32"
  // The short form GetShortPathNameA gives for an existing path; by default
  // an existing path is its own short form.
  void SetShortPath(const std::string& path, const std::string& shortPath);
  // The 8.3 name of an existing file or folder: searches give it as the
  // entry's short name, match wildcards against it too, and paths may name
  // the entry by it.
  void SetShortName(const std::string& path, const std::string& shortName);
  // The reparse tag a search gives for an existing reparse point (made with
  // FILE_ATTRIBUTE_REPARSE_POINT); 0, "could not be read", unless set.
  void SetReparseTag(const std::string& path, uint32_t tag);
  // Failure injection.
  void FailShortPath(const std::string& path);  // ShortPathName gives empty
  void FailOpen(const std::string& path);       // OpenText gives null
  void FailClose(const std::string& path);      // a reader's or writer's Close gives false
  void FailCreate(const std::string& path);     // CreateCommitted gives null
  void FailRemove(const std::string& path);     // DeleteOneFile, RemoveDir and a shell delete fail
  void FailList(const std::string& folder);     // a wildcard Find in the folder finds nothing (access denied)
  void FailMove(const std::string& to);         // MoveReplacing onto the path gives access denied

  // --- inspection
  bool Exists(const std::string& path) const;
  bool IsDir(const std::string& path) const;
  std::string Contents(const std::string& path) const;  // empty when missing
  uint32_t Attributes(const std::string& path) const;   // 0 when missing
  // Every path below folder (files and folders), full and in the case they
  // were made in, sorted.
  std::vector<std::string> ListTree(const std::string& folder) const;
  // One line per call that changes files or opens one, in order, with the
  // path as passed, whether the call succeeded or not: "CreateDir <path>",
  // "RemoveDir <path>", "DeleteFile <path>", "SetAttributes <path> <hex>"
  // (hex in lower case without a prefix: 80), "Create <path>", "Write
  // <path> <text>", "Close <path>" (readers and writers), "Open <path>".
  // Set-up calls and the fake shell's own changes are not recorded here.
  const std::vector<std::string>& Calls() const { return calls_; }
  // Every Find pattern, as passed, in order (not part of Calls()).
  const std::vector<std::string>& Searches() const { return searches_; }
  void ClearSearches() { searches_.clear(); }
  void ClearCalls() { calls_.clear(); }
  // How many text readers and writers are open now.
  int OpenFiles() const { return openFiles_; }

  // --- FileSystem
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
  // Recorded as CreateCommitted, Write and Close, and "Move <from> <to>".
  uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) override;
  uint32_t MoveReplacing(const std::string& from, const std::string& to) override;

  // Used by the fake shell and the fake's readers and writers.
  std::vector<FindEntry> FindEntries(const std::string& pattern) const;  // Find, not counted
  const std::string& SystemFolder() const { return systemDirectory_; }
  struct Node {
    std::string name;       // as created
    std::string path;       // full path, case as created
    std::string parentKey;  // Key() of the folder holding it; empty for a root
    bool dir = false;
    uint32_t attributes = 0;
    std::string shortName;  // empty when none was set
    uint32_t reparseTag = 0;
    std::string contents;
    bool hasVersion = false;
    uint32_t versionMS = 0, versionLS = 0;
  };
  std::string Key(const std::string& path) const;      // normalised, lower-case key
  // Key() of the node a path names, following short names; Key() itself
  // when nothing is found.
  std::string ResolvedKey(const std::string& path) const;
  std::string FullPath(const std::string& path) const; // normalised, case kept
  Node* Lookup(const std::string& path);
  const Node* Lookup(const std::string& path) const;
  // The entries of a folder (by its Key()), in the order a search gives them.
  std::vector<const Node*> Children(const std::string& folderKey) const;
  // Makes a folder (and its parents) or replaces a file's contents; no call
  // is recorded. Used by set-up and by the fake shell.
  Node* MakeDir(const std::string& path, uint32_t attributes = FILE_ATTRIBUTE_DIRECTORY);
  Node* MakeFile(const std::string& path, const std::string& contents, uint32_t attributes);
  // Removes a node and everything below it; no call is recorded.
  void Erase(const std::string& path);
  bool RemoveFails(const std::string& path) const;
  const CodePage& codePage() const { return *codePage_; }
  void Record(const std::string& call) { calls_.push_back(call); }
  void AdjustOpenFiles(int delta) { openFiles_ += delta; }
  bool CloseFails(const std::string& path) const;
  void PutContents(const std::string& path, const std::string& contents);

 private:
  struct Parsed;
  Parsed Parse(const std::string& path) const;

  const CodePage* codePage_;
  std::map<std::string, Node> nodes_;  // by Key()
  std::string currentDir_ = "C:\\";
  std::string tempPath_ = "C:\\Users\\admin\\AppData\\Local\\Temp\\";
  std::string moduleFileName_ = "D:\\media\\NvRunUnattended.exe";
  std::string systemDirectory_ = "C:\\Windows\\system32";
  std::map<std::string, std::string> shortPaths_;
  // Key() of the folder + "\" + the lower-cased short name -> Key() of the node.
  std::map<std::string, std::string> shortNames_;
  std::set<std::string> failShort_, failOpen_, failClose_, failCreate_, failRemove_, failList_, failMove_;
  std::vector<std::string> calls_;
  std::vector<std::string> searches_;
  int openFiles_ = 0;
  uint64_t machine_ = 0;
};

// Every file call handed on to another file system: a test or fuzz target
// derives from it and overrides only the calls it watches or changes.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}
  std::vector<FindEntry> Find(const std::string& pattern) override { return inner_.Find(pattern); }
  bool CreateDir(const std::string& path) override { return inner_.CreateDir(path); }
  bool RemoveDir(const std::string& path) override { return inner_.RemoveDir(path); }
  bool DeleteOneFile(const std::string& path) override { return inner_.DeleteOneFile(path); }
  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    return inner_.SetAttributes(path, attributes);
  }
  bool Access(const std::string& path) override { return inner_.Access(path); }
  std::string ShortPathName(const std::string& path) override { return inner_.ShortPathName(path); }
  std::string TempPath() override { return inner_.TempPath(); }
  std::string ModuleFileName() override { return inner_.ModuleFileName(); }
  std::string SystemDirectory() override { return inner_.SystemDirectory(); }
  bool FileVersion(const std::string& path, uint32_t* versionMS, uint32_t* versionLS) override {
    return inner_.FileVersion(path, versionMS, versionLS);
  }
  std::unique_ptr<TextReader> OpenText(const std::string& path) override { return inner_.OpenText(path); }
  std::unique_ptr<TextWriter> CreateCommitted(const std::string& path) override {
    return inner_.CreateCommitted(path);
  }
  std::unique_ptr<TextWriter> CreateNewCommitted(const std::string& path) override {
    return inner_.CreateNewCommitted(path);
  }
  uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) override {
    return inner_.WriteWholeFile(path, bytes);
  }
  uint32_t MoveReplacing(const std::string& from, const std::string& to) override {
    return inner_.MoveReplacing(from, to);
  }

 protected:
  FileSystem& inner_;
};

class FakeRegistry : public Registry, public FaultPoint {
 public:
  // Sets a value's data (bytes, no terminator added). Key paths compare
  // without regard to case.
  void SetValue(RegRoot root, const std::string& subkey, const std::string& valueName,
                const std::string& data);
  // A string value: the text and its terminating NUL.
  void SetString(RegRoot root, const std::string& subkey, const std::string& valueName,
                 const std::string& text);
  // "QueryValue <subkey>\<value>" for every query ("ValueExists ..." for the
  // existence tests).
  const std::vector<std::string>& Calls() const { return calls_; }

  bool QueryValue(RegRoot root, const std::string& subkey, const std::string& valueName, size_t bufferSize,
                  std::string* data) override;
  bool ValueExists(RegRoot root, const std::string& subkey, const std::string& valueName) override;

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> calls_;
};

// Buffer rules of the string reads (MsiRecordGetStringA,
// MsiGetProductPropertyA, MsiGetProductInfoA), as msi.dll keeps them: *size
// is the buffer's capacity in characters, terminating NUL included, on entry.
// A value that fits is copied with its NUL, *size = its length, 0. A value
// that does not fit gives ERROR_MORE_DATA and *size = its length (without the
// NUL); what fits is copied, NUL-terminated. A null buffer is a size query:
// 0 and *size = the length (a null size with it is allowed); a buffer with a
// null size is ERROR_INVALID_PARAMETER.
//
// Packages answer the two query forms "Select * FROM `Property` Where
// `Property`='X'" and "SELECT * FROM Property WHERE Property = 'X'" (keywords
// in any case, quotes around the names optional); the property is the text
// between the single quotes, matched case-sensitively. Any other query gives
// ERROR_BAD_QUERY_SYNTAX. A fetch gives one record (field 1 the name, field 2
// the value) or ERROR_NO_MORE_ITEMS; a field past the record's end reads as
// empty text. An unknown package gives ERROR_OPEN_FAILED (110), an unknown
// product ERROR_UNKNOWN_PRODUCT, a property the product lacks 0 and empty
// text (MsiGetProductPropertyA) or ERROR_UNKNOWN_PROPERTY
// (MsiGetProductInfoA). A removal (MsiConfigureProductExA to
// INSTALLSTATE_ABSENT) that answers 0 or 3010 uninstalls the product.
class FakeInstaller : public Installer, public FaultPoint {
 public:
  // A package file and its Property table (paths compare without regard to
  // case). The file itself is not made in the file system.
  void AddPackage(const std::string& path, const std::map<std::string, std::string>& properties);
  // An installed product: its product properties (MsiGetProductPropertyA)
  // and product information (MsiGetProductInfoA: Publisher, LocalPackage,
  // InstalledProductName, ...). Products enumerate in the order added.
  void AddProduct(const std::string& productCode, const std::map<std::string, std::string>& properties,
                  const std::map<std::string, std::string>& info = {});
  // The upgrade code an added product is registered under
  // (MsiEnumRelatedProductsA lists the products of an upgrade code in the
  // order they were added).
  void SetUpgradeCode(const std::string& productCode, const std::string& upgradeCode);
  // The result MsiInstallProductA / MsiConfigureProductExA give for a path
  // or product code (default 0).
  void SetResult(const std::string& packageOrProduct, uint32_t result);
  // Results for the next calls in turn; the last one stays.
  void SetResults(const std::string& packageOrProduct, const std::vector<uint32_t>& results);
  // msi.dll without any of its functions: every call answers
  // ERROR_CALL_NOT_IMPLEMENTED.
  void SetUnavailable(bool unavailable) { unavailable_ = unavailable; }
  // How long an install or removal of a path or product code runs (0 by
  // default). While it runs an external UI handler, when set, gets a
  // progress message every second; an IDCANCEL ends the call with 1602,
  // unless the cancel is ignored (as Wine's msi.dll does).
  void SetDuration(const std::string& packageOrProduct, uint32_t milliseconds, bool ignoresCancel = false);
  // The clock the durations move (FakeWindows sets it).
  void UseClock(FakeSystem* clock) { clock_ = clock; }

  // One line per call, in order, e.g. "MsiSetInternalUI 2",
  // "MsiInstallProductA <package>|<command line>", "MsiEnableLogA 8159
  // <path> 2", "MsiConfigureProductExA <code> 65535 2 <command line>",
  // "MsiOpenDatabaseA <path>", "MsiDatabaseOpenViewA <query>",
  // "MsiOpenProductA <code>", "MsiGetProductPropertyA <property> <size>",
  // "MsiRecordGetStringA <field> <size>", "MsiGetProductInfoA <code>
  // <property> <size>", "MsiEnumProductsA <index>", "MsiViewExecute",
  // "MsiViewFetch", "MsiViewClose", "MsiCloseHandle <handle>",
  // "MsiEnumRelatedProductsA <upgrade code> <index>", "MsiSetExternalUIA
  // <filter>" or "MsiSetExternalUIA null"; sizes are
  // the capacity passed ("null" for a null size). Calls are recorded also
  // when msi.dll is unavailable.
  const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  int uiLevel() const { return uiLevel_; }
  // Handles opened and not yet closed.
  int OpenHandles() const { return static_cast<int>(handles_.size()); }

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

 private:
  // Runs a call's scripted time; ERROR_INSTALL_USEREXIT when the handler
  // cancelled it, else 0.
  uint32_t RunFor(const std::string& packageOrProduct);
  struct Duration {
    uint32_t milliseconds;
    bool ignoresCancel;
  };
  std::map<std::string, Duration> durations_;
  std::function<int(uint32_t)> handler_;
  FakeSystem* clock_ = nullptr;
  struct Product {
    std::string code;
    std::map<std::string, std::string> properties, info;
    std::string upgradeCode;
  };
  struct Handle {
    enum Kind { Database, View, Record, Product } kind;
    std::string key;                   // package or product key
    std::vector<std::string> fields;   // record fields, 1-based in the API
    std::vector<std::vector<std::string>> rows;  // view rows still to fetch
    std::string property;              // a view's queried property
    bool executed = false;             // a view's MsiViewExecute was called
  };
  MSIHANDLE NewHandle(Handle handle);
  Handle* Find(MSIHANDLE handle, Handle::Kind kind);
  Product* FindProduct(const std::string& code);
  std::map<std::string, std::map<std::string, std::string>> packages_;  // by lower-case path
  std::vector<Product> products_;
  void TakeQueuedResult(const std::string& packageOrProduct);
  std::map<std::string, uint32_t> results_;
  std::map<std::string, std::deque<uint32_t>> queued_;
  std::map<MSIHANDLE, Handle> handles_;
  MSIHANDLE nextHandle_ = 100;
  bool unavailable_ = false;
  int uiLevel_ = 5;  // INSTALLUILEVEL_BASIC... as Windows starts
  std::vector<std::string> calls_;
};

class FakeShell : public Shell, public FaultPoint {
 public:
  explicit FakeShell(FakeFileSystem& files);
  void SetFolder(int csidl, const std::string& path);  // empty path: the folder cannot be resolved
  // Forces the result of the next FileOperation calls (0 = carry it out).
  void SetFileOperationResult(int result) { forcedResult_ = result; }
  void FailCreateShellLink(HResult hr) { createResult_ = hr; }
  void FailSetPath(HResult hr) { setPathResult_ = hr; }
  void FailSetDescription(HResult hr) { setDescriptionResult_ = hr; }
  void FailSave(HResult hr) { saveResult_ = hr; }

  // One line per call: "SHFileOperationA <op> <from>|<to> <hex flags>"
  // (hex in lower case without a prefix: 214),
  // "SHGetFolderLocation <csidl>", "SHGetSpecialFolderPathA <csidl>",
  // "CoCreateInstance ShellLink", "SetPath <target>", "SetDescription
  // <text>", "Save <path>".
  const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  // A saved link is a file holding "target\ndescription" (read it with
  // FakeFileSystem::Contents).
  //
  // FileOperation carries out FO_COPY and FO_DELETE on the fake files: from
  // is a file or folder, or a pattern in its last element; it answers 2
  // (ERROR_FILE_NOT_FOUND) when from matches nothing. A copy goes into to when
  // to is an existing folder or ends in a backslash; otherwise a single file or folder is copied
  // under the name to, and several matches into a new folder to (missing
  // folders are made). Existing files are replaced. As the shell does, a
  // copy onto the source itself answers 0x71 (DE_SAMEFILE) and a folder
  // copied into its own subtree 0x76 (DE_DESTSUBTREE), copying nothing of
  // that match. A delete removes every
  // match with everything in it; a path set with FailRemove stays and the
  // result is 5 (access denied).
  // Defaults: CSIDL_COMMON_STARTMENU, CSIDL_COMMON_PROGRAMS,
  // CSIDL_PROGRAM_FILES and CSIDL_PROGRAM_FILESX86 resolve to the usual
  // folders of a 64-bit Windows, which exist in the fake files.

  int FileOperation(uint32_t operation, const std::string& from, const std::string& to, uint16_t flags) override;
  std::string FolderLocationPath(int csidl) override;
  bool SpecialFolderPath(int csidl, std::string* path) override;
  HResult CreateShellLink(std::unique_ptr<ShellLink>* link) override;

  void Record(const std::string& call) { calls_.push_back(call); }
  HResult setPathResult() const { return setPathResult_; }
  HResult setDescriptionResult() const { return setDescriptionResult_; }
  HResult saveResult() const { return saveResult_; }
  FakeFileSystem& files() { return files_; }
  // Shell link objects made and not yet released.
  int OpenLinks() const { return openLinks_; }
  void AdjustOpenLinks(int delta) { openLinks_ += delta; }

 private:
  FakeFileSystem& files_;
  std::map<int, std::string> folders_;
  int forcedResult_ = 0;
  HResult createResult_ = 0, setPathResult_ = 0, setDescriptionResult_ = 0, saveResult_ = 0;
  int openLinks_ = 0;
  std::vector<std::string> calls_;
};

// Processes: a command line names its program as CreateProcessA reads it (a
// quoted first token; else the shortest blank-separated prefix that names an
// existing file, each tried as written and with ".exe" appended, so an
// unquoted "C:\Program Files\x.exe" starts a planted "C:\Program.exe"
// first); a name without a backslash is looked for in the current and the
// system folder. A program that is not an existing file fails to start with
// ERROR_FILE_NOT_FOUND; a command line of more than 32,767 characters with
// ERROR_FILENAME_EXCED_RANGE. A started program exits with its scripted code
// (0 by default) or the result of its scripted action.
class FakeProcesses : public Processes, public FaultPoint {
 public:
  explicit FakeProcesses(FakeFileSystem& files);
  using Action = std::function<uint32_t(const std::string& commandLine)>;
  void SetExitCode(const std::string& program, uint32_t code);
  // Runs while the program "runs" (it may look at the fake Windows).
  void SetAction(const std::string& program, Action action);
  void FailStart(const std::string& program, uint32_t error);
  // szExeFile of a running process (any path form and letter case).
  void AddRunning(const std::string& exeFile) { running_.push_back(exeFile); }
  // Under a time limit: how long a program runs before it exits (0 by
  // default; kForever: it never does), whether it cannot be put into a job
  // (Windows before 8 inside another job), and the top-level windows it or
  // the processes it started show.
  static constexpr uint32_t kForever = 0xFFFFFFFF;
  void SetRunTime(const std::string& program, uint32_t milliseconds) { runTimes_[files_.Key(program)] = milliseconds; }
  void FailJob(const std::string& program) { noJob_.insert(files_.Key(program)); }
  struct Window {
    std::string caption;
    std::vector<std::string> controls;  // child windows' texts, in order
    bool visible = true;
    bool hung = false;       // its owner answers no message: each send costs the full timeout
    bool ofChild = false;    // shown by a process the program started: seen only with a job
  };
  void AddWindow(const std::string& program, const Window& window) { windows_[files_.Key(program)].push_back(window); }
  // The clock the run times move (FakeWindows sets it).
  void UseClock(FakeSystem* clock) { clock_ = clock; }

  // "CreateProcessA <command line>" (with " -> <program>" or " -> error N"),
  // "RunOnWorker begin", "RunOnWorker end"; under a time limit also "job",
  // "no job" and "TerminateJobObject 1460" or "TerminateProcess 1460".
  const std::vector<std::string>& Calls() const { return calls_; }
  // The program path each started process ran from, in order.
  const std::vector<std::string>& Started() const { return started_; }
  void ClearCalls() { calls_.clear(); started_.clear(); }

  uint32_t Run(const std::string& commandLine, bool wait, bool* created) override;
  std::vector<std::string> RunningExeFiles() override {
    return Fails(Call::Process) ? std::vector<std::string>() : running_;
  }
  void RunOnWorker(const std::function<void()>& work) override;
  LimitedRun RunLimited(const std::string& commandLine, uint32_t limitMilliseconds,
                        const std::function<void(ItemWindows&)>& beforeEnd) override;

 private:
  uint32_t Start(const std::string& commandLine, bool* created, std::string* program);
  std::map<std::string, uint32_t> runTimes_;
  std::set<std::string> noJob_;
  std::map<std::string, std::vector<Window>> windows_;
  FakeSystem* clock_ = nullptr;
  std::string ResolveProgram(const std::string& commandLine);
  FakeFileSystem& files_;
  std::map<std::string, uint32_t> exitCodes_, startErrors_;  // by Key()
  std::map<std::string, Action> actions_;
  std::vector<std::string> running_, calls_, started_;
};

struct MessageBoxCall {
  Owner owner;
  std::string text;
  std::string caption;
  uint32_t flags;
};

class FakeUi : public Ui, public FaultPoint {
 public:
  // Answers given to the next message boxes, in order; IDOK once used up.
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  // The next file-open dialog ends with OK and this path (or is cancelled
  // when none is queued).
  void QueueOpenFile(const std::string& path) { openFiles_.push_back(path); }
  const std::vector<MessageBoxCall>& MessageBoxes() const { return boxes_; }
  const std::vector<OpenFileRequest>& OpenFileDialogs() const { return dialogs_; }
  // How many of those dialogs ended with OK (the rest were cancelled or failed).
  size_t OpenFilesChosen() const { return chosen_; }

  // A status window: its two statics, and what it showed at each repaint
  // ("<1001 text>|<1002 text>").
  struct StatusWindow {
    std::string status, step;
    std::vector<std::string> repaints;
    bool destroyed = false;
  };
  const std::vector<StatusWindow>& StatusWindows() const { return windows_; }
  // The window a handle stands for; null for a null or unknown handle.
  const StatusWindow* Window(WindowHandle handle) const;
  int WaitCursors() const { return waitCursors_; }
  void FailCreateStatusDialog(bool fail) { failCreate_ = fail; }

  int ShowMessageBox(Owner owner, WindowHandle window, const std::string& text, const std::string& caption,
                     uint32_t flags) override;
  bool ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) override;
  WindowHandle CreateStatusDialog(InstanceHandle instance, const std::string& initialText) override;
  void SetItemText(WindowHandle window, int id, const std::string& text) override;
  void Repaint(WindowHandle window) override;
  void DestroyStatusDialog(WindowHandle window) override;
  void ShowWaitCursor() override { ++waitCursors_; }

 private:
  StatusWindow* MutableWindow(WindowHandle handle);
  std::vector<StatusWindow> windows_;
  int waitCursors_ = 0;
  bool failCreate_ = false;
  std::deque<int> answers_;
  std::deque<std::string> openFiles_;
  std::vector<MessageBoxCall> boxes_;
  std::vector<OpenFileRequest> dialogs_;
  size_t chosen_ = 0;
};

class FakeSystem : public System, public FaultPoint {
 public:
  void SetArguments(const std::vector<std::string>& args) { args_ = args; }
  void SetNow(const LocalTime& now) { now_ = now; }
  void SetUtcNow(const LocalTime& now) { utcNow_ = now; }
  void SetCommandLine(const std::string& line) { commandLine_ = line; }
  void SetNames(const std::string& computer, const std::string& user) {
    computer_ = computer;
    user_ = user;
  }
  const std::string& StdOut() const { return stdout_; }

  // The status MIF library: missing by default; present, or present
  // without its export.
  enum class MifLibrary { Missing, NoExport, Present, Faults };
  void SetMifLibrary(MifLibrary library) { mifLibrary_ = library; }
  // Every record the library received.
  const std::vector<StatusMifRecord>& MifRecords() const { return mifRecords_; }
  int MifLoads() const { return mifLoads_; }
  void SetWindowsVersion(uint32_t platformId, uint32_t major, uint32_t minor) {
    version_ = {platformId, major, minor};
  }
  void FailWindowsVersion(bool fail) { failVersion_ = fail; }
  // Environment variables; "OS" is "Windows_NT" at first.
  void SetEnvironment(const std::string& name, const std::string& value) { environment_[name] = value; }
  void RemoveEnvironment(const std::string& name) { environment_.erase(name); }
  void FailLoadLibrary(const std::string& path) { failLoads_.insert(path); }
  // "LoadLibraryA <path>", "EnableShutdownPrivilege", "ExitWindowsEx" (or
  // "InitiateSystemShutdownExA" where nobody can see the desktop),
  // "Wait <milliseconds>", "CreateMutexA <name>", "ReleaseMutex".
  const std::vector<std::string>& Calls() const { return calls_; }
  // Restart requests of either kind, taken by Windows or not.
  int RestartRequests() const;
  // The error every later restart request gives (0: it is taken).
  void FailRestart(uint32_t error) { restartError_ = error; }
  // The clock of TickCount: it moves only when the program waits, and an
  // action set for a tick runs once a wait reaches it (another installation
  // ending, say). Starts at 1000.
  void At(uint32_t tick, std::function<void()> action) { timed_.emplace(tick, std::move(action)); }
  // Whether a person can see the program's windows (true unless set).
  void SetDesktopVisible(bool visible) { desktopVisible_ = visible; }
  // Moves the clock as a wait would, recording nothing.
  void Advance(uint32_t milliseconds);
  // Named mutexes, shared by every run over this fake: another run opens
  // and owns one, ends (releasing it, or killed and leaving it abandoned),
  // or made it with security that denies this run. A mutex goes away with
  // its last handle.
  void OtherRunHolds(const std::string& name);
  void OtherRunEnds(const std::string& name, bool killed);
  void DenyMutex(const std::string& name) { mutexes_[name].denied = true; }
  bool MutexExists(const std::string& name) const { return mutexes_.count(name) != 0; }

  std::vector<std::string> Arguments() override { return args_; }
  LocalTime Now() override { return now_; }
  void WriteStdOut(const std::string& text) override { stdout_ += text; }
  LocalTime UtcNow() override { return utcNow_; }
  std::string CommandLine() override { return commandLine_; }
  uint32_t ProcessId() override { return 4242; }
  std::string ComputerName() override { return computer_; }
  std::string UserName() override { return user_; }
  // %NAME% from the variables of SetEnvironment, as Windows expands them.
  std::string ExpandEnvironment(const std::string& text) override;
  bool InstallStatusMif(const StatusMifRecord& record) override;
  bool WindowsVersion(WindowsVersionInfo* version) override;
  bool EnvironmentVariable(const std::string& name, size_t bufferSize, std::string* value) override;
  bool LoadLibraryForProcess(const std::string& path) override;
  std::string SystemMessage(uint32_t errorCode) override;
  void EnableShutdownPrivilege() override { calls_.push_back("EnableShutdownPrivilege"); }
  uint32_t RequestRestart(bool unseen) override {
    calls_.push_back(unseen ? "InitiateSystemShutdownExA" : "ExitWindowsEx");
    return restartError_;
  }
  uint32_t TickCount() override { return ticks_; }
  void WaitServicingWindows(uint32_t milliseconds) override;
  // A query that fails counts as a visible desktop.
  bool DesktopVisible() override { return Fails(Call::Ui) || desktopVisible_; }
  MutexState TakeRunMutex(const std::string& name) override;
  void ReleaseRunMutex() override;

 private:
  struct Mutex {
    int handles = 0;
    bool ownedByOther = false, ownedByUs = false, abandoned = false, denied = false;
  };
  std::map<std::string, Mutex> mutexes_;
  std::string openMutex_;  // the one this run has a handle of
  void CloseMutexHandle(const std::string& name);
  uint32_t ticks_ = 1000;
  std::multimap<uint32_t, std::function<void()>> timed_;
  bool desktopVisible_ = true;
  uint32_t restartError_ = 0;
  MifLibrary mifLibrary_ = MifLibrary::Missing;
  std::vector<StatusMifRecord> mifRecords_;
  int mifLoads_ = 0;
  WindowsVersionInfo version_{VER_PLATFORM_WIN32_NT, 10, 0};
  bool failVersion_ = false;
  std::map<std::string, std::string> environment_{{"OS", "Windows_NT"}};
  std::set<std::string> failLoads_;
  std::vector<std::string> calls_;
  std::vector<std::string> args_;
  LocalTime now_{2026, 12, 8, 2, 39, 57, 2};  // Tue Dec  8 02:39:57 2026
  LocalTime utcNow_{2026, 12, 8, 1, 39, 57, 2};
  std::string commandLine_ = "NvRunUnattended.exe";
  std::string computer_ = "PC-017", user_ = "SYSTEM";
  std::string stdout_;
};

// Windows-1252-like by default (ASCII and Latin-1 letters lower-case, no lead
// bytes); SetDoubleByte(true) makes it a Shift-JIS-like code page whose lead
// bytes are 0x81-0x9F and 0xE0-0xFC (a trail byte may be "\" = 0x5C, or an
// ASCII letter, which lower-casing must leave alone) and whose single bytes
// lower-case in ASCII only. White space: blank, tab, line feed, vertical
// tab, form feed and carriage return. ToWide maps a single byte to the same
// UTF-16 value and a double-byte character to one unit; FromWide undoes it.
class FakeCodePage : public CodePage {
 public:
  void SetDoubleByte(bool on) { doubleByte_ = on; }
  bool IsLeadByte(uint8_t byte) const override;
  uint8_t ToLower(uint8_t byte) const override;
  bool IsSpace(uint8_t byte) const override;
  bool ToWide(const std::string& text, size_t maxChars, std::u16string* wide) const override;
  std::string FromWide(const std::u16string& wide) const;

 private:
  bool doubleByte_ = false;
};

// The whole fake Windows, with the Platform bundle that points into it.
class FakeWindows {
 public:
  FakeWindows();
  // platform refers into this object: it cannot be copied.
  FakeWindows(const FakeWindows&) = delete;
  FakeWindows& operator=(const FakeWindows&) = delete;
  // Every part counts its calls against this plan.
  FaultPlan faults;
  FakeFileSystem files;
  FakeRegistry registry;
  FakeInstaller installer;
  FakeShell shell;
  FakeProcesses processes;
  FakeUi ui;
  FakeSystem system;
  FakeCodePage codePage;
  Platform platform;
};

}  // namespace fake
}  // namespace nv
