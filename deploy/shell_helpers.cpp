#include "deploy/shell_helpers.h"

#include "app/run_context.h"
#include "platform/text.h"
#include "status/run_log.h"

namespace nv {

namespace {

constexpr size_t kMaxLinkPathWide = 260;  // UTF-16 units, terminating zero included
constexpr uint16_t kNoConfirmationFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;

// The path as the shell gets it: at most 260 bytes, never ending in half a
// double-byte character.
std::string CutShellPath(const CodePage& cp, const std::string& path) {
  if (path.size() <= kShellPathLimit) return path;
  size_t end = 0;
  while (end < path.size()) {
    size_t next = end + MbCharLength(cp, path, end);
    if (next > kShellPathLimit) break;
    end = next;
  }
  return path.substr(0, end);
}

bool Failed(HResult hr) { return hr < 0; }

}  // namespace

std::string GetSpecialFolder(Platform& platform, int csidl) { return platform.shell.FolderLocationPath(csidl); }

bool PathExists(Platform& platform, const std::string& path) {
  return !path.empty() && !platform.files.Find(path).empty();
}

int ProbePath(Platform& platform, const std::string& path) {
  std::vector<FindEntry> entries = platform.files.Find(path);
  if (entries.empty()) return kProbeNothing;
  for (const FindEntry& entry : entries) {
    if (!entry.IsDirectory()) return kProbeFile;
  }
  return kProbeOnlyFolders;
}

namespace {

int Copy(Platform& platform, const std::string& source, const std::string& destination, uint16_t flags) {
  const CodePage& cp = platform.codePage;
  return platform.shell.FileOperation(FO_COPY, CutShellPath(cp, source), CutShellPath(cp, destination), flags);
}

int Delete(Platform& platform, const std::string& path, uint16_t flags) {
  if (ProbePath(platform, path) == kProbeNothing) return 0;
  return platform.shell.FileOperation(FO_DELETE, CutShellPath(platform.codePage, path), std::string(), flags);
}

// Whether path names a junction, folder link or mount point itself.
// Removing one takes away only the link; a recursive delete would go through
// it and empty whatever it points at.
bool IsLinkedFolder(Platform& platform, const std::string& path) {
  const std::vector<FindEntry> entries = platform.files.Find(path);
  return entries.size() == 1 && entries[0].IsDirectory() && (entries[0].attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// No shell box may wait for an answer in a silent run, nor where nobody can
// see the desktop at all.
bool NoShellBoxes(const RunContext& ctx) { return !ctx.options.interactive || !ctx.desktopVisible; }

bool LogShellResult(RunContext& ctx, int result, const std::string& source) {
  if (result == 0) return true;
  WriteRunLog(ctx, "Shell operation failed with code " + std::to_string(result) + ": " + source + "\n");
  return false;
}

}  // namespace

bool CopyFiles(Platform& platform, const std::string& source, const std::string& destination,
               bool noConfirmation, bool silent) {
  uint16_t flags = 0;
  if (noConfirmation) flags |= kNoConfirmationFlags;
  if (silent) flags |= FOF_SILENT;
  return Copy(platform, source, destination, flags) == 0;
}

bool DeleteFiles(Platform& platform, const std::string& path, bool noConfirmation) {
  return Delete(platform, path, noConfirmation ? kNoConfirmationFlags : 0) == 0;
}

bool CopyForRun(RunContext& ctx, const std::string& source, const std::string& destination, bool silent) {
  uint16_t flags = kNoConfirmationFlags;
  if (silent || !ctx.desktopVisible) flags |= FOF_SILENT;
  if (NoShellBoxes(ctx)) flags |= FOF_NOERRORUI;
  return LogShellResult(ctx, Copy(ctx.platform, source, destination, flags), source);
}

bool DeleteForRun(RunContext& ctx, const std::string& path) {
  if (IsLinkedFolder(ctx.platform, path)) return ctx.platform.files.RemoveDir(path);
  uint16_t flags = kNoConfirmationFlags;
  if (NoShellBoxes(ctx)) flags |= FOF_SILENT | FOF_NOERRORUI;
  return LogShellResult(ctx, Delete(ctx.platform, path, flags), path);
}

void DeleteTree(Platform& platform, const std::string& folder) {
  if (folder.empty()) return;
  FileSystem& files = platform.files;
  if (IsLinkedFolder(platform, folder)) {
    files.RemoveDir(folder);
    return;
  }
  for (const FindEntry& entry : files.Find(folder + "\\*")) {
    if (entry.name == "." || entry.name == "..") continue;
    std::string full = folder + "\\" + entry.name;
    files.SetAttributes(full, FILE_ATTRIBUTE_NORMAL);
    if (entry.IsDirectory()) {
      // A junction or folder link leads out of the tree: removing it unlinks
      // it, while going into it would delete whatever it points at.
      if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) DeleteTree(platform, full);
      files.RemoveDir(full);
    } else {
      files.DeleteOneFile(full);
    }
  }
  files.RemoveDir(folder);
}

bool CreateDirectoryPath(Platform& platform, const std::string& path, bool lastPartIsFile) {
  const CodePage& cp = platform.codePage;
  FileSystem& files = platform.files;
  size_t lastSlash = std::string::npos;
  for (size_t i = 0; i < path.size(); i += MbCharLength(cp, path, i)) {
    if (MbCharLength(cp, path, i) != 1 || path[i] != '\\') continue;
    lastSlash = i;
    // From the second character on; a drive ("C:") or an existing folder
    // fails harmlessly.
    if (i > 0) files.CreateDir(path.substr(0, i));
  }
  if (!lastPartIsFile) files.CreateDir(path);
  std::string folder = path;
  if (lastPartIsFile) folder = lastSlash == std::string::npos ? std::string() : path.substr(0, lastSlash);
  return !folder.empty() && files.Access(folder);
}

HResult CreateShortcut(Platform& platform, int csidl, const std::string& folder, const std::string& name,
                       const std::string& target, const std::string& description) {
  const CodePage& cp = platform.codePage;
  std::unique_ptr<ShellLink> link;
  HResult hr = platform.shell.CreateShellLink(&link);
  if (Failed(hr)) return hr;
  if (!link) return E_FAIL;
  hr = link->SetPath(target);
  if (Failed(hr)) return hr;
  hr = link->SetDescription(description);
  if (Failed(hr)) return hr;

  // Without the special folder the path would start at the root of the
  // current drive: that is not where the shortcut belongs.
  std::string special = GetSpecialFolder(platform, csidl);
  if (special.empty()) return E_FAIL;
  std::string linkFolder = MbTrimRightChar(cp, special + "\\" + folder, '\\');
  std::string linkFile = linkFolder + "\\" + name + ".lnk";
  std::u16string wideLinkFile;
  // Checked before any folder is made, so a refused shortcut leaves nothing.
  if (!cp.ToWide(linkFile, kMaxLinkPathWide, &wideLinkFile)) return kShortcutPathTooLong;
  CreateDirectoryPath(platform, linkFolder + "\\", true);
  return link->Save(wideLinkFile);
}

bool DeleteShortcut(Platform& platform, int csidl, const std::string& folder, const std::string& name) {
  std::string special;
  if (!platform.shell.SpecialFolderPath(csidl, &special) || special.empty()) return false;
  return platform.files.DeleteOneFile(special + "\\" + folder + "\\" + name + ".lnk");
}

}  // namespace nv
