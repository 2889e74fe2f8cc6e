#pragma once
// A whole run over the fake Windows, set up from scenario lines: the
// machine (files, linked folders, file versions, registry values, packages,
// installed products, scripted installer results and exit codes, failures)
// and the command line. The run goes through two recorders that sit between
// the program and the fake: one keeps every Windows Installer install and
// removal result, the other every text written to the run log, so that the
// run's exit code and its log can be judged against what really happened.
//
// Lines (first byte, then its text):
//   a  an argument                      R  the response file's path (the
//   c  double-byte code page               body after "=" is its contents)
//   f  a file          d  a folder      j  a linked folder (reparse point)
//   V  path|a.b.c.d    a file's version
//   p  package|Name=Value               a package's property
//   i  code|Name=Value                  an installed product's property
//   n  code|Name=Value                  an installed product's information
//   r  path-or-code=N  an install or removal result
//   x  program=N       an exit code     e  program=N  a start failure
//   g  Name=Data       a registry value (EnableLogging, NORVAROOT,
//                      NorvasoftReboot, InstallerLocation)
//   u  msi.dll without functions        m  the status MIF library
//   o  path            a file picked in the file-open dialog
//   q  N               the answer to the next message box
//   t  exe             a running process
//   s  path|short      a short path     F  path  no short path
//   T  path            the temporary folder
//   W  id.major.minor  the Windows version
//   O / k / l / z  path  open / close / create / remove fails
//   w  the status window cannot be created
//   h  csidl=path      a special folder
//   Y  path            the current folder
//   K  n[.variant[.kind]]  the n-th boundary call fails (with a kind, the
//                      n-th call of that kind: fake::Call as a number)

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/environment_checks.h"
#include "app/run_context.h"
#include "app/run_driver.h"
#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"
#include "status/json_text.h"

namespace nv {
namespace fuzz {

constexpr size_t kMaxScenarioLines = 64;
constexpr size_t kMaxLineText = 300;

// Every result MsiInstallProductA and MsiConfigureProductExA gave, in order,
// and how many status MIF records had been made before it. A call retried
// after a busy installer (1618) counts once, with the result of its last
// attempt: the program's only waits after start-up are those retries, so a
// call made after the fake's clock moved is one.
class RecordingInstaller : public Installer {
 public:
  RecordingInstaller(Installer& inner, fake::FakeSystem& system) : inner_(inner), system_(system) {}
  struct Result {
    std::string target;
    uint32_t value;
    bool removal;
    size_t mifBefore;
  };
  const std::vector<Result>& Results() const { return results_; }

  int SetInternalUI(int level) override { return inner_.SetInternalUI(level); }
  uint32_t EnableLog(uint32_t logMode, const std::string& path, uint32_t attributes) override {
    return inner_.EnableLog(logMode, path, attributes);
  }
  uint32_t InstallProduct(const std::string& package, const std::string& commandLine) override {
    const uint32_t tick = system_.TickCount();
    const uint32_t rc = inner_.InstallProduct(package, commandLine);
    Record(tick, {package, rc, false, system_.MifRecords().size()});
    return rc;
  }
  uint32_t ConfigureProductEx(const std::string& product, int installLevel, int installState,
                              const std::string& commandLine) override {
    const uint32_t tick = system_.TickCount();
    const uint32_t rc = inner_.ConfigureProductEx(product, installLevel, installState, commandLine);
    Record(tick, {product, rc, true, system_.MifRecords().size()});
    return rc;
  }
  uint32_t EnumProducts(uint32_t index, std::string* productCode) override {
    return inner_.EnumProducts(index, productCode);
  }
  uint32_t GetProductInfo(const std::string& product, const std::string& property, char* buffer,
                          uint32_t* size) override {
    return inner_.GetProductInfo(product, property, buffer, size);
  }
  uint32_t OpenDatabase(const std::string& path, MSIHANDLE* database) override {
    return inner_.OpenDatabase(path, database);
  }
  uint32_t DatabaseOpenView(MSIHANDLE database, const std::string& query, MSIHANDLE* view) override {
    return inner_.DatabaseOpenView(database, query, view);
  }
  uint32_t ViewExecute(MSIHANDLE view) override { return inner_.ViewExecute(view); }
  uint32_t ViewFetch(MSIHANDLE view, MSIHANDLE* record) override { return inner_.ViewFetch(view, record); }
  uint32_t ViewClose(MSIHANDLE view) override { return inner_.ViewClose(view); }
  uint32_t RecordGetString(MSIHANDLE record, uint32_t field, char* buffer, uint32_t* size) override {
    return inner_.RecordGetString(record, field, buffer, size);
  }
  uint32_t OpenProduct(const std::string& productCode, MSIHANDLE* product) override {
    return inner_.OpenProduct(productCode, product);
  }
  uint32_t GetProductProperty(MSIHANDLE product, const std::string& property, char* buffer,
                              uint32_t* size) override {
    return inner_.GetProductProperty(product, property, buffer, size);
  }
  uint32_t CloseHandle(MSIHANDLE handle) override { return inner_.CloseHandle(handle); }
  uint32_t EnumRelatedProducts(const std::string& upgradeCode, uint32_t index, std::string* productCode) override {
    return inner_.EnumRelatedProducts(upgradeCode, index, productCode);
  }
  void SetExternalUI(std::function<int(uint32_t messageType)> handler, uint32_t messageFilter) override {
    inner_.SetExternalUI(std::move(handler), messageFilter);
  }

 private:
  void Record(uint32_t tick, const Result& result) {
    if (!results_.empty() && tick != lastTick_) {
      const Result& before = results_.back();
      FUZZ_CHECK(before.value == ERROR_INSTALL_ALREADY_RUNNING && before.target == result.target &&
                     before.removal == result.removal,
                 "waited between installer calls, but not to retry a busy one: " + before.target + " gave " +
                     std::to_string(before.value) + ", then " + result.target);
      results_.back().value = result.value;
    } else {
      results_.push_back(result);
    }
    lastTick_ = tick;
  }

  Installer& inner_;
  fake::FakeSystem& system_;
  std::vector<Result> results_;
  uint32_t lastTick_ = 0;
};

// Keeps every text written through a created file (the run log is the only
// file the program creates), whatever happens to the file afterwards, and
// the length of each write.
class RecordingFiles : public fake::ForwardingFileSystem {
 public:
  explicit RecordingFiles(FileSystem& inner) : ForwardingFileSystem(inner) {}
  const std::string& Written() const { return written_; }
  // The same without the first line when it tells that a logdir= folder
  // could not be used (args hold no line break, so it is one line).
  std::string WrittenAfterLogFolderLine() const {
    const size_t end = written_.find('\n');
    const bool folderLine = written_.rfind("Log folder ", 0) == 0 && end != std::string::npos &&
                            written_.find(" cannot be made or written; logs go to ") < end;
    return folderLine ? written_.substr(end + 1) : written_;
  }
  const std::vector<size_t>& Writes() const { return writes_; }
  int Created() const { return created_; }
  const std::string& CreatedPath() const { return createdPath_; }

  std::unique_ptr<TextWriter> CreateCommitted(const std::string& path) override {
    return Recorded(path, inner_.CreateCommitted(path));
  }
  std::unique_ptr<TextWriter> CreateNewCommitted(const std::string& path) override {
    return Recorded(path, inner_.CreateNewCommitted(path));
  }

 private:
  std::unique_ptr<TextWriter> Recorded(const std::string& path, std::unique_ptr<TextWriter> writer) {
    if (!writer) return writer;
    ++created_;
    createdPath_ = path;
    return std::make_unique<Writer>(std::move(writer), written_, writes_);
  }
  class Writer : public TextWriter {
   public:
    Writer(std::unique_ptr<TextWriter> inner, std::string& written, std::vector<size_t>& writes)
        : inner_(std::move(inner)), written_(written), writes_(writes) {}
    void Write(const std::string& text) override {
      written_ += text;
      writes_.push_back(text.size());
      inner_->Write(text);
    }
    bool Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<TextWriter> inner_;
    std::string& written_;
    std::vector<size_t>& writes_;
  };
  std::string written_;
  std::vector<size_t> writes_;
  int created_ = 0;
  std::string createdPath_;
};

// How the log of a run that reached its end ends: the closing line, and
// after it, when a removal asked for a restart, what came of that.
constexpr const char kClosingLine[] = " done.";
constexpr const char kClosedRestarting[] = " done.Rebooting machine.";
constexpr const char kClosedKeptRunning[] = " done.A restart is needed; not restarting because of /noreboot.\n";

inline bool EndsClosed(const std::string& log) {
  return EndsWithText(log, kClosingLine) || EndsWithText(log, kClosedRestarting) ||
         EndsWithText(log, kClosedKeptRunning);
}

// One machine and one run.
struct Run {
  fake::FakeWindows w;
  RecordingInstaller installer{w.installer, w.system};
  RecordingFiles files{w.files};
  Platform platform{files, w.registry, installer, w.shell, w.processes, w.ui, w.system, w.codePage};
  std::vector<std::string> args;
  std::string responseFile = "D:\\media\\answers.xml";
  // Product code -> its information, as set up.
  std::map<std::string, std::map<std::string, std::string>> productInfo;
  std::set<uint32_t> scriptedResults;
  bool unavailable = false;
  bool rebootMarker = false;  // the RunOnce marker is set
  int32_t exitCode = 0;

  void SetUp(const Scenario& s) {
    std::vector<std::string> productOrder;
    std::map<std::string, std::map<std::string, std::string>> productProperties;
    std::map<std::string, std::map<std::string, std::string>> packages;
    // The code page is the machine's from the start: paths are made in it.
    for (const Scenario::Line& line : s.lines) {
      if (line.kind == 'c') w.codePage.SetDoubleByte(true);
    }
    for (const Scenario::Line& line : s.lines) {
      if (line.text.size() > kMaxLineText) continue;
      const std::string& t = line.text;
      const auto [left, right] = Split(t, '|');
      const auto [name, value] = Split(t, '=');
      const auto [property, propertyValue] = Split(right, '=');
      switch (line.kind) {
        case 'a': args.push_back(t); break;
        case 'R': responseFile = t; break;
        case 'f': w.files.AddFile(t); break;
        case 'd': w.files.AddDir(t); break;
        case 'j': w.files.AddDir(t, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT); break;
        case 'V': {
          uint32_t parts[4] = {0, 0, 0, 0};
          std::string rest = right;
          for (uint32_t& part : parts) {
            const auto [head, tail] = Split(rest, '.');
            part = Number(head) & 0xFFFF;
            rest = tail;
          }
          w.files.SetFileVersion(left, (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]);
          break;
        }
        case 'p': packages[left][property] = propertyValue; break;
        case 'i':
        case 'n':
          if (productInfo.count(left) == 0 && productProperties.count(left) == 0) productOrder.push_back(left);
          (line.kind == 'i' ? productProperties[left] : productInfo[left])[property] = propertyValue;
          break;
        case 'r':
          w.installer.SetResult(name, Number(value));
          scriptedResults.insert(Number(value));
          break;
        case 'x': w.processes.SetExitCode(name, Number(value)); break;
        case 'e': w.processes.FailStart(name, Number(value)); break;
        case 'g': {
          const char* key = "Software\\Norvasoft\\Setup";
          if (name == "NorvasoftReboot") {
            key = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
            rebootMarker = true;
          }
          if (name == "InstallerLocation") key = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer";
          w.registry.SetString(RegRoot::LocalMachine, key, name, value);
          break;
        }
        case 'u':
          w.installer.SetUnavailable(true);
          unavailable = true;
          break;
        case 'm': w.system.SetMifLibrary(fake::FakeSystem::MifLibrary::Present); break;
        case 'o':
          // The dialog only ends with OK on an existing file's name.
          if (t.empty()) break;
          w.ui.QueueOpenFile(t);
          break;
        case 'q': w.ui.QueueAnswer(static_cast<int>(Number(t))); break;
        case 't': w.processes.AddRunning(t); break;
        case 's': w.files.SetShortPath(left, right); break;
        case 'F': w.files.FailShortPath(t); break;
        case 'T': w.files.SetTempPath(t); break;
        case 'W': {
          const auto [id, versions] = Split(t, '.');
          const auto [major, minor] = Split(versions, '.');
          w.system.SetWindowsVersion(Number(id), Number(major), Number(minor));
          break;
        }
        case 'O': w.files.FailOpen(t); break;
        case 'k': w.files.FailClose(t); break;
        case 'l': w.files.FailCreate(t); break;
        case 'z': w.files.FailRemove(t); break;
        case 'w': w.ui.FailCreateStatusDialog(true); break;
        case 'h': w.shell.SetFolder(static_cast<int>(Number(name)), value); break;
        case 'Y': w.files.SetCurrentDir(t); break;
        case 'K': {
          const auto [n, rest] = Split(t, '.');
          const auto [variant, kind] = Split(rest, '.');
          const int v = static_cast<int>(Number(variant) % 8);
          if (kind.empty()) {
            w.faults.Fail(Number(n), v);
          } else if (Number(kind) < static_cast<uint32_t>(fake::kCallKinds)) {
            w.faults.Fail(static_cast<fake::Call>(Number(kind)), Number(n), v);
          }
          break;
        }
        default: break;
      }
    }
    for (const auto& [path, properties] : packages) w.installer.AddPackage(path, properties);
    for (const std::string& code : productOrder) w.installer.AddProduct(code, productProperties[code], productInfo[code]);
    if (s.hasBody) w.files.AddFile(responseFile, s.body);
  }

  int32_t Go() {
    // The Windows family is cached per process; every run starts afresh.
    ResetWindowsClassCache();
    for (std::string& arg : args) arg = WithoutHalfCharacterAtEnd(w.codePage, arg);
    w.system.SetArguments(args);
    int instance = 0;
    exitCode = RunUnattended(platform, &instance);
    return exitCode;
  }

  // A run under /agent, whose codes and log ending the other checks do not
  // model: no box or dialog waits for anyone, nothing is left open, and a
  // run log ends with the exit code the agent reads. True when it was one.
  bool CheckedAsAgentRun(int32_t ended) const {
    if (!AgentSwitchGiven(w.codePage, args)) return false;
    CheckNothingLeftOpen();
    FUZZ_CHECK(w.ui.MessageBoxes().empty() && w.ui.OpenFileDialogs().empty(), "a window under /agent");
    const std::string end = "Exit code: " + std::to_string(ended) + "\n";
    FUZZ_CHECK(files.Created() == 0 || EndsWithText(files.Written(), end), Show(files.Written()));
    return true;
  }

  // The document of result=, read back: once the run has written it as
  // finished, no temporary file stays beside it and it holds the exit code
  // the process ended with (unless a failing call kept a later write from
  // landing).
  void CheckResultDocument() {
    RunOptions options;
    if (ParseCommandLine(w.codePage, args, "D:\\media\\", &options) != ParseResult::kOk ||
        options.resultFile.empty()) {
      return;
    }
    const std::string path = w.system.ExpandEnvironment(options.resultFile);
    const bool faults = !w.faults.Fired().empty();
    const Json doc = ParseJson(w.files.Contents(path));
    std::string state;
    int64_t code = 0;
    if (!JsonString(doc, "state", &state) || state != "finished") return;
    FUZZ_CHECK(faults || !w.files.Exists(path + ".4242.tmp"), "a temporary result file stays: " + Show(path));
    FUZZ_CHECK((JsonInteger(doc, "exitCode", &code) && code == exitCode) || faults,
               "the result file's exit code differs from " + std::to_string(exitCode) + ": " +
                   Show(w.files.Contents(path)));
  }

  // Nothing the run opened is left open.
  void CheckNothingLeftOpen() const {
    FUZZ_CHECK(w.files.OpenFiles() == 0, std::to_string(w.files.OpenFiles()) + " files left open");
    FUZZ_CHECK(w.installer.OpenHandles() == 0, std::to_string(w.installer.OpenHandles()) + " handles left open");
    FUZZ_CHECK(w.shell.OpenLinks() == 0, std::to_string(w.shell.OpenLinks()) + " shell links left open");
  }

  // The exit code a remove-all run ends with: the last removal that failed,
  // else the error that kept an installed product from being read (as the
  // log tells it), else 0; -1 when no log tells which.
  int64_t RemoveAllExitCode() const {
    int32_t code = 0;
    for (const RecordingInstaller::Result& result : installer.Results()) {
      if (result.value != 0 && result.value != ERROR_SUCCESS_REBOOT_REQUIRED) code = static_cast<int32_t>(result.value);
    }
    if (code != 0) return code;
    const std::string unread =
        "Finding Norvasoft products... \nNot every installed product could be read. Return value is ";
    const size_t at = files.Written().find(unread);
    if (at != std::string::npos) return std::strtol(files.Written().c_str() + at + unread.size(), nullptr, 10);
    return files.Created() == 0 && (unavailable || !w.faults.Fired().empty()) ? -1 : 0;
  }

  // With /rebootcodes a run that would end with 0 ends with 3010 when an
  // install or removal asked for a restart, or 1641 when the run requested
  // one; such a code is checked here and given back as 0.
  int32_t WithoutRestartCode(int32_t code) const {
    RunOptions options;
    if (ParseCommandLine(w.codePage, args, "D:\\media\\", &options) != ParseResult::kOk || !options.rebootCodes) {
      return code;
    }
    // The RunOnce marker asks for a restart that /noreboot keeps from
    // happening.
    bool asked = options.rebootMode == -1 && rebootMarker;
    for (const RecordingInstaller::Result& result : installer.Results()) {
      asked = asked || result.value == ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    if (code == 1641) FUZZ_CHECK(w.system.RestartRequests() > 0, "1641 without a restart request");
    if (code == 3010) FUZZ_CHECK(asked, "3010 without an install or removal asking for it");
    return code == 1641 || code == 3010 ? 0 : code;
  }

  bool AllStatusWindowsDestroyed() const {
    for (const fake::FakeUi::StatusWindow& window : w.ui.StatusWindows()) {
      if (!window.destroyed) return false;
    }
    return true;
  }

  // A file-open dialog did not end with OK: the user cancelled it, or it
  // failed.
  bool OpenFileCancelled() const { return w.ui.OpenFileDialogs().size() > w.ui.OpenFilesChosen(); }

  bool BoxShown(const std::string& prefix) const {
    for (const fake::MessageBoxCall& box : w.ui.MessageBoxes()) {
      if (StartsWithText(box.text, prefix)) return true;
    }
    return false;
  }
};

}  // namespace fuzz
}  // namespace nv
