#include "platform/desktop_seen.h"

namespace nv {

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Desktop names are ASCII and compared without regard to case, as Windows
// compares object names.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool DesktopSeen(const DesktopFacts& facts) {
  if (facts.stationVisible == false) return false;
  if (!facts.version || facts.version->platformId != VER_PLATFORM_WIN32_NT) return true;
  // From Windows Vista on, session 0 holds the services and no user's
  // desktop: a window there is seen by nobody.
  if (facts.version->major >= 6) return facts.session != 0u;
  // Before Vista the interactive station stays visible with nobody at it;
  // only its input desktop tells. A desktop that cannot be opened for input
  // is another session's, or nobody's.
  if (facts.version->major != 5) return true;
  if (facts.inputDesktopOpened == false) return false;
  if (facts.inputDesktop && facts.threadDesktop) return SameName(*facts.inputDesktop, *facts.threadDesktop);
  return true;
}

}  // namespace nv
