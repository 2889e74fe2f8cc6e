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
  if (created != nullptr) *created = false;
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
  if (created != nullptr) *created = true;
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
  return wait ? code : static_cast<uint32_t>(STILL_ACTIVE);
}

void FakeProcesses::RunOnWorker(const std::function<void()>& work) {
  calls_.push_back("RunOnWorker begin");
  work();
  calls_.push_back("RunOnWorker end");
}

}  // namespace fake
}  // namespace nv
