#pragma once
// Small operations over the shell and the file system that several phases
// share. Apart from the run's own copy and delete, none of them writes to
// the run log; each reports at most a plain result. All paths are ANSI text.

#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// What ProbePath finds for a path or pattern.
enum ProbeResult {
  kProbeNothing = 0,     // nothing matches
  kProbeOnlyFolders = 1, // only folders match (a plain path: an existing folder)
  kProbeFile = 2,        // at least one file matches
};

// The longest single path the copy and delete operations hand to the shell;
// longer texts are cut.
constexpr size_t kShellPathLimit = 260;

// A special folder's path without a trailing backslash, or empty.
std::string GetSpecialFolder(Platform& platform, int csidl);

// Whether a find-first search on path finds anything (file or folder).
bool PathExists(Platform& platform, const std::string& path);

// 0, 1 or 2 as ProbeResult says.
int ProbePath(Platform& platform, const std::string& path);

// One shell copy of source to destination. True when the shell reports
// success.
bool CopyFiles(Platform& platform, const std::string& source, const std::string& destination,
               bool noConfirmation, bool silent);

// One shell delete of a path or pattern (never to the recycle bin). True when
// nothing matched (no shell call is made then) or the shell reports success.
bool DeleteFiles(Platform& platform, const std::string& path, bool noConfirmation);

// The run's own copies and deletes (the staging folder, the uninstaller).
// When the run is not interactive, or nobody can see the desktop, nobody can
// answer the shell's error boxes,
// so the shell shows none (FOF_NOERRORUI, and FOF_SILENT for deletes), and a
// failure leaves the run-log line "Shell operation failed with code N: "
// with the source path instead; the run goes on either way. An interactive
// run keeps the shell's own boxes and logs the failure too.
bool CopyForRun(RunContext& ctx, const std::string& source, const std::string& destination, bool silent);
bool DeleteForRun(RunContext& ctx, const std::string& path);

// Removes a folder with everything in it, read-only, hidden and system items
// included, as far as it can. A linked folder (junction) inside the tree is
// unlinked, never entered, so nothing outside the tree is removed.
void DeleteTree(Platform& platform, const std::string& folder);

// Creates every folder along path (up to its last backslash only, when
// lastPartIsFile is set). True when that folder exists afterwards.
bool CreateDirectoryPath(Platform& platform, const std::string& path, bool lastPartIsFile);

// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE): a link file's path does not
// fit.
constexpr HResult kShortcutPathTooLong = static_cast<HResult>(0x800700CEu);

// Saves "<special folder>\<folder>\<name>.lnk" pointing at target, creating
// the missing folders. Returns the COM result: S_OK, the first failure, a
// failure when the special folder cannot be resolved, or
// kShortcutPathTooLong (nothing made) when the link file's path does not
// fit in 260 UTF-16 units.
HResult CreateShortcut(Platform& platform, int csidl, const std::string& folder, const std::string& name,
                       const std::string& target, const std::string& description);

// Deletes "<special folder>\<folder>\<name>.lnk". True when it was deleted;
// false (and nothing deleted) when the special folder cannot be resolved.
bool DeleteShortcut(Platform& platform, int csidl, const std::string& folder, const std::string& name);

}  // namespace nv
