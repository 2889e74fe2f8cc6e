// The fake's processes: programs are files of the fake file system, started
// by command lines read the way CreateProcessA reads them.

#include "platform/fake/fake_platform.h"

namespace nv {
namespace fake {

namespace {

// The longest command line CreateProcessA accepts: 32,767 characters with
// the terminating zero.
constexpr size_t kMaxCommandLine = 32766;
constexpr uint32_t kErrorAccessDenied = 5;     // ERROR_ACCESS_DENIED
constexpr uint32_t kErrorNotEnoughMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY

}  // namespace

FakeProcesses::FakeProcesses(FakeFileSystem& files) : files_(files) {}

void FakeProcesses::SetExitCode(const std::string& program, uint32_t code) {
  exitCodes_[files_.Key(program)] = code;
}

void FakeProcesses::SetAction(const std::string& program, Action action) {
  actions_[files_.Key(program)] = std::move(action);
}

void FakeProcesses::FailStart(const std::string& program, uint32_t error) {
  startErrors_[files_.Key(program)] = error;
}

// The existing file a candidate names, as written or with ".exe"; a bare
// name is looked for in the current and the system folder.
static std::string ExistingProgram(FakeFileSystem& files, const std::string& candidate) {
  std::vector<std::string> forms;
  if (candidate.find('\\') == std::string::npos && candidate.find('/') == std::string::npos) {
    forms.push_back(candidate);
    forms.push_back(files.SystemFolder() + "\\" + candidate);
  } else {
    forms.push_back(candidate);
  }
  for (const std::string& form : forms) {
    for (const std::string& name : {form, form + ".exe"}) {
      const FakeFileSystem::Node* node = files.Lookup(name);
      if (node != nullptr && !node->dir) return node->path;
    }
  }
  return std::string();
}

std::string FakeProcesses::ResolveProgram(const std::string& commandLine) {
  FakeFileSystem& files = files_;
  if (!commandLine.empty() && commandLine[0] == '"') {
    size_t close = commandLine.find('"', 1);
    return ExistingProgram(files, commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  }
  // Unquoted: every prefix ending before a blank, shortest first, then the
  // whole line.
  for (size_t blank = commandLine.find(' '); blank != std::string::npos; blank = commandLine.find(' ', blank + 1)) {
    std::string found = ExistingProgram(files, commandLine.substr(0, blank));
    if (!found.empty()) return found;
  }
  return ExistingProgram(files, commandLine);
}

uint32_t FakeProcesses::Run(const std::string& commandLine, bool wait, bool* created) {
  std::string program;
  bool started = false;
  const uint32_t code = Start(commandLine, &started, &program);
  if (created != nullptr) *created = started;
  return started && !wait ? static_cast<uint32_t>(STILL_ACTIVE) : code;
}

uint32_t FakeProcesses::Start(const std::string& commandLine, bool* created, std::string* started) {
  *created = false;
  std::string call = "CreateProcessA " + commandLine;
  uint32_t error = 0;
  std::string program;
  const bool fails = Fails(Call::Process);
  if (fails && variant() % 3 != 2) {
    error = variant() % 3 == 0 ? kErrorAccessDenied : kErrorNotEnoughMemory;
  } else if (commandLine.size() > kMaxCommandLine) {
    error = ERROR_FILENAME_EXCED_RANGE;
  } else {
    program = ResolveProgram(commandLine);
    if (program.empty()) {
      error = ERROR_FILE_NOT_FOUND;
    } else {
      auto failed = startErrors_.find(files_.Key(program));
      if (failed != startErrors_.end()) error = failed->second;
    }
  }
  if (error != 0) {
    calls_.push_back(call + " -> error " + std::to_string(error));
    return error;
  }
  calls_.push_back(call + " -> " + program);
  *created = true;
  *started = program;
  started_.push_back(program);
  std::string key = files_.Key(program);
  uint32_t code = 0;
  auto action = actions_.find(key);
  if (action != actions_.end()) {
    code = action->second(commandLine);
  } else {
    auto scripted = exitCodes_.find(key);
    if (scripted != exitCodes_.end()) code = scripted->second;
  }
  // GetExitCodeProcess failed: its GetLastError() stands in for the code.
  if (fails) code = ERROR_INVALID_HANDLE;
  return code;
}

namespace {

// The windows of one started program. A handle is 100 times the window's
// place (from 1) plus, for a control, the control's place (from 1).
class FakeItemWindows : public ItemWindows {
 public:
  FakeItemWindows(FaultPoint& faults, FakeSystem* clock, std::vector<const FakeProcesses::Window*> shown)
      : faults_(faults), clock_(clock), shown_(std::move(shown)) {}

  std::vector<WindowHandle> VisibleTopWindows() override {
    std::vector<WindowHandle> handles;
    for (size_t i = 0; i < shown_.size(); ++i) handles.push_back(Handle((i + 1) * 100));
    return handles;
  }
  std::vector<WindowHandle> ChildWindows(WindowHandle window) override {
    std::vector<WindowHandle> handles;
    const FakeProcesses::Window* top = Top(window);
    if (top == nullptr) return handles;
    for (size_t j = 0; j < top->controls.size(); ++j) handles.push_back(Handle(Id(window) + j + 1));
    return handles;
  }
  bool SendGetText(WindowHandle window, uint32_t timeoutMilliseconds, size_t maxBytes, std::string* text) override {
    text->clear();
    const FakeProcesses::Window* top = Top(window);
    if (faults_.Fails(Call::Ui) || top == nullptr) return false;
    if (top->hung) {
      if (clock_ != nullptr) clock_->Advance(timeoutMilliseconds);
      return false;
    }
    const size_t control = Id(window) % 100;
    if (control > top->controls.size()) return false;
    *text = (control == 0 ? top->caption : top->controls[control - 1]).substr(0, maxBytes);
    return true;
  }
  // Another process's window: the caption without a message, and nothing
  // for a control, as Windows gives them.
  std::string WindowText(WindowHandle window, size_t maxBytes) override {
    const FakeProcesses::Window* top = Top(window);
    return top == nullptr || Id(window) % 100 != 0 ? std::string() : top->caption.substr(0, maxBytes);
  }

 private:
  static WindowHandle Handle(size_t id) { return reinterpret_cast<WindowHandle>(id); }
  static size_t Id(WindowHandle window) { return reinterpret_cast<size_t>(window); }
  const FakeProcesses::Window* Top(WindowHandle window) const {
    const size_t place = Id(window) / 100;
    return place >= 1 && place <= shown_.size() ? shown_[place - 1] : nullptr;
  }
  FaultPoint& faults_;
  FakeSystem* clock_;
  std::vector<const FakeProcesses::Window*> shown_;
};

}  // namespace

LimitedRun FakeProcesses::RunLimited(const std::string& commandLine, uint32_t limitMilliseconds,
                                     const std::function<void(ItemWindows&)>& beforeEnd) {
  LimitedRun run;
  std::string program;
  run.result = Start(commandLine, &run.created, &program);
  if (!run.created) return run;
  const std::string key = files_.Key(program);
  run.inJob = noJob_.count(key) == 0 && !Fails(Call::Process);
  calls_.push_back(run.inJob ? "job" : "no job");
  auto time = runTimes_.find(key);
  const uint32_t runTime = time == runTimes_.end() ? 0 : time->second;
  if (runTime <= limitMilliseconds) {
    if (clock_ != nullptr) clock_->Advance(runTime);
    return run;
  }
  if (clock_ != nullptr) clock_->Advance(limitMilliseconds);
  std::vector<const Window*> shown;
  for (const Window& window : windows_[key]) {
    if (window.visible && (run.inJob || !window.ofChild)) shown.push_back(&window);
  }
  FakeItemWindows windows(*this, clock_, shown);
  beforeEnd(windows);
  calls_.push_back(run.inJob ? "TerminateJobObject 1460" : "TerminateProcess 1460");
  run.ended = true;
  run.result = ERROR_TIMEOUT;
  return run;
}

void FakeProcesses::RunOnWorker(const std::function<void()>& work) {
  calls_.push_back("RunOnWorker begin");
  work();
  calls_.push_back("RunOnWorker end");
}

}  // namespace fake
}  // namespace nv
