// The smaller pieces of the fake Windows: registry, user interface, code page
// and the bundle that ties them together.

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace fake {

namespace {

std::string RegistryKey(const std::string& subkey, const std::string& valueName) {
  std::string key = subkey + "\\\\" + valueName;  // "\\" cannot occur inside a key path
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// The UTF-16 value a double-byte character stands for: a unit of its own
// above the single-byte range and below the surrogates.
constexpr char16_t kDoubleByteBase = 0x4E00;
constexpr unsigned kFirstLead = 0x81;

}  // namespace

// ---------------------------------------------------------------- faults

int FailureVariants(Call kind) {
  switch (kind) {
    case Call::Installer: return 4;
    case Call::Process: return 3;
    case Call::FileWrite:
    case Call::Shell:
    case Call::Com: return 2;
    default: return 1;
  }
}

bool FaultPlan::Tick(Call kind, int* variant) {
  kinds_.push_back(kind);
  if (limit_ != 0 && kinds_.size() > limit_) throw Runaway{};
  const uint64_t ofKind = ++perKind_[static_cast<int>(kind)];
  for (const Fault& fault : faults_) {
    if (fault.ofKind ? (fault.kind == kind && fault.n == ofKind) : fault.n == kinds_.size()) {
      *variant = fault.variant % FailureVariants(kind);
      fired_.push_back(kind);
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- registry

void FakeRegistry::SetValue(RegRoot, const std::string& subkey, const std::string& valueName,
                            const std::string& data) {
  values_[RegistryKey(subkey, valueName)] = data;
}

void FakeRegistry::SetString(RegRoot root, const std::string& subkey, const std::string& valueName,
                             const std::string& text) {
  SetValue(root, subkey, valueName, text + std::string(1, '\0'));
}

bool FakeRegistry::QueryValue(RegRoot, const std::string& subkey, const std::string& valueName,
                              size_t bufferSize, std::string* data) {
  calls_.push_back("QueryValue " + subkey + "\\" + valueName);
  data->clear();
  if (Fails(Call::Registry)) return false;
  auto it = values_.find(RegistryKey(subkey, valueName));
  if (it == values_.end() || it->second.size() > bufferSize) return false;
  *data = it->second.substr(0, it->second.find('\0'));
  return true;
}

bool FakeRegistry::ValueExists(RegRoot, const std::string& subkey, const std::string& valueName) {
  calls_.push_back("ValueExists " + subkey + "\\" + valueName);
  if (Fails(Call::Registry)) return false;
  return values_.count(RegistryKey(subkey, valueName)) != 0;
}

// ---------------------------------------------------------------- user interface

int FakeUi::ShowMessageBox(Owner owner, WindowHandle, const std::string& text, const std::string& caption,
                           uint32_t flags) {
  boxes_.push_back({owner, text, caption, flags});
  if (Fails(Call::Ui)) return 0;
  if (answers_.empty()) return IDOK;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

bool FakeUi::ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) {
  dialogs_.push_back(request);
  path->clear();
  if (Fails(Call::Ui)) return false;
  if (openFiles_.empty()) return false;
  *path = openFiles_.front();
  openFiles_.pop_front();
  ++chosen_;
  return true;
}

WindowHandle FakeUi::CreateStatusDialog(InstanceHandle, const std::string& initialText) {
  if (Fails(Call::Ui) || failCreate_) return nullptr;
  StatusWindow window;
  window.status = initialText;
  windows_.push_back(window);
  // Handles are 1-based indexes, so that null stays "no window".
  return reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(windows_.size()));
}

FakeUi::StatusWindow* FakeUi::MutableWindow(WindowHandle handle) {
  uintptr_t index = reinterpret_cast<uintptr_t>(handle);
  if (index == 0 || index > windows_.size() || windows_[index - 1].destroyed) return nullptr;
  return &windows_[index - 1];
}

const FakeUi::StatusWindow* FakeUi::Window(WindowHandle handle) const {
  uintptr_t index = reinterpret_cast<uintptr_t>(handle);
  if (index == 0 || index > windows_.size()) return nullptr;
  return &windows_[index - 1];
}

void FakeUi::SetItemText(WindowHandle handle, int id, const std::string& text) {
  StatusWindow* window = MutableWindow(handle);
  if (window == nullptr) return;
  if (id == 1001) window->status = text;
  if (id == 1002) window->step = text;
}

void FakeUi::Repaint(WindowHandle handle) {
  StatusWindow* window = MutableWindow(handle);
  if (window != nullptr) window->repaints.push_back(window->status + "|" + window->step);
}

void FakeUi::DestroyStatusDialog(WindowHandle handle) {
  StatusWindow* window = MutableWindow(handle);
  if (window != nullptr) window->destroyed = true;
}

// ---------------------------------------------------------------- system

bool FakeSystem::InstallStatusMif(const StatusMifRecord& record) {
  ++mifLoads_;
  if (Fails(Call::Library)) return false;
  if (mifLibrary_ == MifLibrary::Missing || mifLibrary_ == MifLibrary::NoExport) return false;
  mifRecords_.push_back(record);
  return mifLibrary_ == MifLibrary::Present;
}

bool FakeSystem::WindowsVersion(WindowsVersionInfo* version) {
  if (Fails(Call::Version) || failVersion_) return false;
  *version = version_;
  return true;
}

bool FakeSystem::EnvironmentVariable(const std::string& name, size_t bufferSize, std::string* value) {
  value->clear();
  if (Fails(Call::Environment)) return false;
  auto it = environment_.find(name);
  if (it == environment_.end() || it->second.size() + 1 > bufferSize) return false;
  *value = it->second;
  return true;
}

std::string FakeSystem::ExpandEnvironment(const std::string& text) {
  if (Fails(Call::Environment)) return text;
  // As ExpandEnvironmentStringsA: each %NAME% of a variable that is set
  // (names compared without regard to case) becomes its value; an unknown
  // name and a lone % stay as written, and the second % of an unknown name
  // may open the next one. No lead or trail byte is a %.
  auto lookup = [this](const std::string& name, std::string* value) {
    for (const auto& [key, data] : environment_) {
      if (key.size() == name.size() &&
          std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
          })) {
        *value = data;
        return true;
      }
    }
    return false;
  };
  std::string out;
  size_t at = 0;
  for (;;) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) return out + text.substr(at);
    std::string value;
    if (close > open + 1 && lookup(text.substr(open + 1, close - open - 1), &value)) {
      out += text.substr(at, open - at) + value;
      at = close + 1;
    } else {
      out += text.substr(at, close - at);
      at = close;
    }
  }
}

bool FakeSystem::LoadLibraryForProcess(const std::string& path) {
  calls_.push_back("LoadLibraryA " + path);
  if (Fails(Call::Library)) return false;
  return failLoads_.count(path) == 0;
}

std::string FakeSystem::SystemMessage(uint32_t errorCode) {
  if (Fails(Call::Environment)) return "";
  if (errorCode == ERROR_FILE_NOT_FOUND) return "The system cannot find the file specified.\r\n";
  if (errorCode == 5) return "Access is denied.\r\n";
  return "";
}

void FakeSystem::WaitServicingWindows(uint32_t milliseconds) {
  calls_.push_back("Wait " + std::to_string(milliseconds));
  Advance(milliseconds);
}

void FakeSystem::Advance(uint32_t milliseconds) {
  ticks_ += milliseconds;
  while (!timed_.empty() && timed_.begin()->first <= ticks_) {
    std::function<void()> action = std::move(timed_.begin()->second);
    timed_.erase(timed_.begin());
    action();
  }
}

void FakeSystem::OtherRunHolds(const std::string& name) {
  Mutex& mutex = mutexes_[name];
  ++mutex.handles;
  mutex.ownedByOther = true;
}

void FakeSystem::OtherRunEnds(const std::string& name, bool killed) {
  auto it = mutexes_.find(name);
  if (it == mutexes_.end()) return;
  it->second.ownedByOther = false;
  it->second.abandoned = killed;
  CloseMutexHandle(name);
}

void FakeSystem::CloseMutexHandle(const std::string& name) {
  auto it = mutexes_.find(name);
  if (it != mutexes_.end() && --it->second.handles <= 0) mutexes_.erase(it);
}

MutexState FakeSystem::TakeRunMutex(const std::string& name) {
  calls_.push_back("CreateMutexA " + name);
  if (Fails(Call::Environment)) return MutexState::kUnavailable;
  Mutex& mutex = mutexes_[name];
  if (mutex.denied) return MutexState::kDenied;
  if (openMutex_ != name) {
    ++mutex.handles;
    openMutex_ = name;
  }
  if (mutex.ownedByOther) return MutexState::kHeld;
  mutex.ownedByUs = true;
  if (!mutex.abandoned) return MutexState::kTaken;
  mutex.abandoned = false;
  return MutexState::kAbandoned;
}

void FakeSystem::ReleaseRunMutex() {
  if (openMutex_.empty()) return;
  auto it = mutexes_.find(openMutex_);
  if (it != mutexes_.end() && it->second.ownedByUs) {
    calls_.push_back("ReleaseMutex");
    it->second.ownedByUs = false;
  }
  CloseMutexHandle(openMutex_);
  openMutex_.clear();
}

int FakeSystem::RestartRequests() const {
  int count = 0;
  for (const std::string& call : calls_) count += call == "ExitWindowsEx" || call == "InitiateSystemShutdownExA";
  return count;
}

// ---------------------------------------------------------------- code page

bool FakeCodePage::IsLeadByte(uint8_t byte) const {
  return doubleByte_ && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

uint8_t FakeCodePage::ToLower(uint8_t byte) const {
  if (byte >= 'A' && byte <= 'Z') return static_cast<uint8_t>(byte + 32);
  if (doubleByte_) return byte;
  // Windows-1252: the Latin-1 capitals and the three of the 0x80 row.
  if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) return static_cast<uint8_t>(byte + 32);
  if (byte == 0x8A || byte == 0x8C || byte == 0x8E) return static_cast<uint8_t>(byte + 16);
  if (byte == 0x9F) return 0xFF;
  return byte;
}

bool FakeCodePage::IsSpace(uint8_t byte) const { return byte == ' ' || (byte >= 0x09 && byte <= 0x0D); }

bool FakeCodePage::ToWide(const std::string& text, size_t maxChars, std::u16string* wide) const {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t byte = static_cast<uint8_t>(text[i]);
    if (IsLeadByte(byte)) {
      if (i + 1 >= text.size()) return false;  // a lead byte without its trail byte
      const unsigned pair = (static_cast<unsigned>(byte) << 8) | static_cast<uint8_t>(text[i + 1]);
      out.push_back(static_cast<char16_t>(kDoubleByteBase + (pair - (kFirstLead << 8))));
      ++i;
    } else {
      out.push_back(static_cast<char16_t>(byte));
    }
  }
  if (out.size() + 1 > maxChars) return false;
  *wide = out;
  return true;
}

std::string FakeCodePage::FromWide(const std::u16string& wide) const {
  std::string out;
  for (char16_t unit : wide) {
    if (unit < 0x100) {
      out.push_back(static_cast<char>(unit));
    } else {
      const unsigned pair = static_cast<unsigned>(unit - kDoubleByteBase) + (kFirstLead << 8);
      out.push_back(static_cast<char>(pair >> 8));
      out.push_back(static_cast<char>(pair & 0xFF));
    }
  }
  return out;
}

// ---------------------------------------------------------------- the bundle

FakeWindows::FakeWindows()
    : shell(files), processes(files), platform{files, registry, installer, shell, processes, ui, system, codePage} {
  files.SetCodePage(&codePage);
  installer.UseClock(&system);
  processes.UseClock(&system);
  for (FaultPoint* part : std::initializer_list<FaultPoint*>{&files, &registry, &installer, &shell, &processes, &ui,
                                                             &system}) {
    part->UseFaultPlan(&faults);
  }
}

}  // namespace fake
}  // namespace nv
