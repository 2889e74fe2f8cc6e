// The fake shell: file operations carried out on the fake files, special
// folders and shell links.

#include <cstdio>

#include "platform/fake/fake_platform.h"
#include "platform/text.h"

namespace nv {
namespace fake {

namespace {

constexpr int kShellNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr int kShellAccessDenied = 5;    // ERROR_ACCESS_DENIED
constexpr int kShellSameFile = 0x71;     // DE_SAMEFILE
constexpr int kShellDestSubtree = 0x76;  // DE_DESTSUBTREE
constexpr HResult kPathNotFound = static_cast<HResult>(0x80030003);  // STG_E_PATHNOTFOUND

constexpr int kShellCancelled = 1223;   // ERROR_CANCELLED: the operation was aborted

HResult ComFailure(int variant) {
  return variant % 2 == 0 ? E_FAIL : static_cast<HResult>(0x80070005);  // E_ACCESSDENIED
}

class FakeShellLink : public ShellLink {
 public:
  explicit FakeShellLink(FakeShell& shell) : shell_(shell) { shell_.AdjustOpenLinks(1); }
  ~FakeShellLink() override { shell_.AdjustOpenLinks(-1); }
  HResult SetPath(const std::string& target) override {
    shell_.Record("SetPath " + target);
    if (shell_.Fails(Call::Com)) return ComFailure(shell_.variant());
    if (shell_.setPathResult() != S_OK) return shell_.setPathResult();
    target_ = target;
    return S_OK;
  }
  HResult SetDescription(const std::string& description) override {
    shell_.Record("SetDescription " + description);
    if (shell_.Fails(Call::Com)) return ComFailure(shell_.variant());
    if (shell_.setDescriptionResult() != S_OK) return shell_.setDescriptionResult();
    description_ = description;
    return S_OK;
  }
  HResult Save(const std::u16string& linkFile) override {
    FakeFileSystem& files = shell_.files();
    const FakeCodePage narrow;
    std::string path = narrow.FromWide(linkFile);
    shell_.Record("Save " + path);
    if (shell_.Fails(Call::Com)) return ComFailure(shell_.variant());
    if (shell_.saveResult() != S_OK) return shell_.saveResult();
    std::string folder = path.substr(0, MbFindLast(files.codePage(), path, '\\') + 1);
    if (folder.empty() || !files.IsDir(folder)) return kPathNotFound;
    const FakeFileSystem::Node* existing = files.Lookup(path);
    if (existing != nullptr && existing->dir) return E_FAIL;
    files.PutContents(path, target_ + "\n" + description_);
    return S_OK;
  }

 private:
  FakeShell& shell_;
  std::string target_, description_;
};

std::string Hex(uint16_t value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(value));
  return buffer;
}

// Copies a file or a folder with its contents to the path dest.
void CopyNode(FakeFileSystem& files, const FakeFileSystem::Node& source, const std::string& dest) {
  if (!source.dir) {
    FakeFileSystem::Node* copy = files.MakeFile(dest, source.contents, source.attributes);
    if (copy != nullptr) {
      copy->attributes = source.attributes;
      copy->hasVersion = source.hasVersion;
      copy->versionMS = source.versionMS;
      copy->versionLS = source.versionLS;
    }
    return;
  }
  // Collect first: copying a folder into itself must not see its own copies.
  std::vector<FakeFileSystem::Node> children;
  for (const FakeFileSystem::Node* child : files.Children(files.Key(source.path))) children.push_back(*child);
  files.MakeDir(dest, source.attributes);
  for (const FakeFileSystem::Node& child : children) CopyNode(files, child, dest + "\\" + child.name);
}

}  // namespace

FakeShell::FakeShell(FakeFileSystem& files) : files_(files) {
  const char* startMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  folders_[CSIDL_COMMON_STARTMENU] = startMenu;
  folders_[CSIDL_COMMON_PROGRAMS] = std::string(startMenu) + "\\Programs";
  folders_[CSIDL_PROGRAM_FILES] = "C:\\Program Files";
  folders_[CSIDL_PROGRAM_FILESX86] = "C:\\Program Files (x86)";
  for (const auto& [csidl, path] : folders_) files_.AddDir(path);
}

void FakeShell::SetFolder(int csidl, const std::string& path) { folders_[csidl] = path; }

int FakeShell::FileOperation(uint32_t operation, const std::string& from, const std::string& to,
                             uint16_t flags) {
  Record("SHFileOperationA " + std::to_string(operation) + " " + from + "|" + to + " " + Hex(flags));
  if (Fails(Call::Shell)) return variant() % 2 == 0 ? kShellAccessDenied : kShellCancelled;
  if (forcedResult_ != 0) return forcedResult_;
  const CodePage& cp = files_.codePage();
  std::vector<FindEntry> matches;
  for (const FindEntry& entry : files_.FindEntries(from)) {
    if (entry.name != "." && entry.name != "..") matches.push_back(entry);
  }
  if (matches.empty()) return kShellNotFound;
  const size_t cut = MbFindLast(cp, from, '\\');
  const std::string folder = cut == std::string::npos ? std::string() : from.substr(0, cut + 1);

  if (operation == FO_DELETE) {
    int result = 0;
    for (const FindEntry& entry : matches) {
      std::string path = folder + entry.name;
      bool blocked = files_.RemoveFails(path);
      for (const std::string& below : files_.ListTree(path)) blocked = blocked || files_.RemoveFails(below);
      if (blocked) {
        result = kShellAccessDenied;
        continue;
      }
      files_.Erase(path);
    }
    return result;
  }

  if (operation == FO_COPY) {
    if (to.empty()) return kShellNotFound;
    const std::string target = MbTrimRightChar(cp, to, '\\');
    // A destination ending in a backslash can only be a folder.
    const bool intoFolder = files_.IsDir(target) || target != to;
    const bool several = matches.size() > 1 || from.find_first_of("*?") != std::string::npos;
    for (const FindEntry& entry : matches) {
      const FakeFileSystem::Node* source = files_.Lookup(folder + entry.name);
      if (source == nullptr) continue;
      const FakeFileSystem::Node copyOf = *source;
      std::string dest = (intoFolder || several) ? target + "\\" + entry.name : target;
      // A folder copied into itself would take its own copies along for
      // ever; the shell refuses it before copying anything.
      const std::string sourceKey = files_.Key(copyOf.path);
      const std::string destKey = files_.Key(dest);
      if (destKey == sourceKey) return kShellSameFile;
      if (copyOf.dir && destKey.compare(0, sourceKey.size() + 1, sourceKey + "\\") == 0) return kShellDestSubtree;
      const FakeFileSystem::Node* existing = files_.Lookup(dest);
      if (existing != nullptr && existing->dir != copyOf.dir) return kShellAccessDenied;
      CopyNode(files_, copyOf, dest);
    }
    return 0;
  }
  return kShellNotFound;
}

std::string FakeShell::FolderLocationPath(int csidl) {
  Record("SHGetFolderLocation " + std::to_string(csidl));
  if (Fails(Call::Folder)) return std::string();
  auto it = folders_.find(csidl);
  if (it == folders_.end() || it->second.size() >= 260) return std::string();
  return it->second;
}

bool FakeShell::SpecialFolderPath(int csidl, std::string* path) {
  Record("SHGetSpecialFolderPathA " + std::to_string(csidl));
  path->clear();
  if (Fails(Call::Folder)) return false;
  auto it = folders_.find(csidl);
  if (it == folders_.end() || it->second.empty() || it->second.size() >= 260) return false;
  *path = it->second;
  return true;
}

HResult FakeShell::CreateShellLink(std::unique_ptr<ShellLink>* link) {
  Record("CoCreateInstance ShellLink");
  link->reset();
  if (Fails(Call::Com)) return ComFailure(variant());
  if (createResult_ != S_OK) return createResult_;
  *link = std::make_unique<FakeShellLink>(*this);
  return S_OK;
}

}  // namespace fake
}  // namespace nv
