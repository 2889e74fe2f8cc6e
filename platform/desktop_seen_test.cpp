#include "platform/desktop_seen.h"

#include <gtest/gtest.h>

namespace nv {
namespace {

TEST(DesktopSeenTest, StationSessionAndInputDesktop) {
  const WindowsVersionInfo xp{VER_PLATFORM_WIN32_NT, 5, 1}, win10{VER_PLATFORM_WIN32_NT, 10, 0},
      me{1, 4, 90};
  struct Row {
    const char* name;
    DesktopFacts facts;
    bool seen;
  } rows[] = {
      {"nothing known", {}, true},
      {"station not visible", {false, win10, 1u, {}, {}, {}}, false},
      {"Vista and later, session 0", {true, win10, 0u, {}, {}, {}}, false},
      {"Vista and later, a user's session; no input test", {true, win10, 1u, false, {}, {}}, true},
      {"XP, session 0 at the console", {true, xp, 0u, true, "Default", "default"}, true},
      {"XP, input desktop cannot be opened", {true, xp, 0u, false, {}, {}}, false},
      {"XP, another desktop takes input", {true, xp, 0u, true, "Winlogon", "Default"}, false},
      {"XP, a name that could not be read", {true, xp, 0u, true, {}, "Default"}, true},
      {"Windows Me", {{}, me, {}, false, {}, {}}, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DesktopSeen(row.facts), row.seen) << row.name;
  }
}

}  // namespace
}  // namespace nv
