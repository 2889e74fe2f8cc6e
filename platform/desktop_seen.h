#pragma once
// Whether a person could see the program's windows, decided from what the
// window-station and desktop queries found. Kept apart from the queries so
// that the decision can be checked for every Windows it runs on.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace nv {

// What the queries found; each is empty when its query failed or the running
// Windows lacks the call.
struct DesktopFacts {
  std::optional<bool> stationVisible;  // WSF_VISIBLE of the process's window station
  std::optional<WindowsVersionInfo> version;
  std::optional<uint32_t> session;  // ProcessIdToSessionId of the process
  // Whether OpenInputDesktop gave a handle, and the names (UOI_NAME) of that
  // desktop and of the calling thread's.
  std::optional<bool> inputDesktopOpened;
  std::optional<std::string> inputDesktop;
  std::optional<std::string> threadDesktop;
};

// False for a window station that is not visible (a service, a
// non-interactive logon), for session 0 from Windows Vista on, and, on
// Windows 2000, XP and Server 2003, for a thread whose desktop is not the
// one that takes input: nobody logged on, or a session disconnected by fast
// user switching or from a remote desktop. What is not known counts as
// visible.
bool DesktopSeen(const DesktopFacts& facts);

}  // namespace nv
