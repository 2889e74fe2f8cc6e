#include "launch/process_runner.h"

#include <algorithm>

#include "platform/text.h"

namespace nv {

namespace {

// PathFindFileNameA: the text after the last "\", "/" or ":".
std::string FileNamePart(const CodePage& cp, const std::string& path) {
  size_t cut = std::string::npos;
  for (char separator : {'\\', '/', ':'}) {
    size_t at = MbFindLast(cp, path, separator);
    if (at != std::string::npos && (cut == std::string::npos || at > cut)) cut = at;
  }
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

uint32_t RunProcess(Platform& platform, const std::string& commandLine, bool wait, bool* created) {
  return platform.processes.Run(commandLine, wait, created);
}

bool IsProcessRunning(Platform& platform, const std::string& name) {
  const CodePage& cp = platform.codePage;
  for (const std::string& exeFile : platform.processes.RunningExeFiles()) {
    if (FileNamePart(cp, MbLower(cp, exeFile)) == name) return true;
  }
  return false;
}

}  // namespace nv
