#include "status/reboot.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

// The question was asked but could not be shown: MessageBoxA gave 0.
constexpr int kNotShown = -1;

TEST(RebootTest, DecisionTable) {
  struct Row {
    int rebootMode;
    bool interactive, marker;
    int answer;  // to the question; 0 when none is expected
    bool restarts;
  } rows[] = {
      {1, false, false, 0, true},  {1, true, false, IDYES, true}, {1, true, false, IDNO, false},
      {-1, false, true, 0, false}, {-1, true, true, 0, false},    {-1, false, false, 0, false},
      {0, false, true, 0, true},   {0, true, true, IDYES, true},  {0, true, true, IDNO, false},
      {0, false, false, 0, false}, {0, true, false, 0, false},
      {1, true, false, kNotShown, false}, {0, true, true, kNotShown, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("mode " + std::to_string(row.rebootMode) + (row.interactive ? " /I" : " /S") +
                 (row.marker ? " marker" : "") + " answer " + std::to_string(row.answer));
    fake::FakeWindows w;
    RunContext ctx(w.platform);
    ctx.options.rebootMode = row.rebootMode;
    ctx.options.interactive = row.interactive;
    // Only presence counts: any type and content, even a DWORD 0.
    if (row.marker) {
      w.registry.SetValue(RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                          "NorvasoftReboot", std::string(4, '\0'));
    }
    if (row.answer != 0) w.ui.QueueAnswer(row.answer == kNotShown ? 0 : row.answer);

    DecideReboot(ctx);
    const auto& boxes = w.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), row.answer != 0 ? 1u : 0u);
    if (!boxes.empty()) {
      EXPECT_EQ(boxes[0].owner, Owner::None);
      EXPECT_EQ(boxes[0].text,
                "The installer should reboot the computer. Would you like to reboot the computer now? \n NOTE: If "
                "the computer is not rebooted automatically, please be sure to reboot from the Start menu.");
      EXPECT_EQ(boxes[0].caption, "Norvasoft Installer");
      EXPECT_EQ(boxes[0].flags, static_cast<uint32_t>(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST));
    }
    EXPECT_EQ(w.system.RestartRequests(), row.restarts ? 1 : 0);
    EXPECT_EQ(ctx.restartRequested, row.restarts);
  }
}

TEST(RebootTest, ShutdownPrivilegeOnlyForTheNtFamily) {
  struct Row {
    std::optional<std::string> os;
    bool privilege;
  } rows[] = {
      {std::string("Windows_NT"), true}, {std::nullopt, false},     {std::string("windows_nt"), false},
      {std::string("Windows_NT "), false}, {std::string(200, 'W'), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.os ? *row.os : "missing");
    fake::FakeWindows w;
    if (row.os) {
      w.system.SetEnvironment("OS", *row.os);
    } else {
      w.system.RemoveEnvironment("OS");
    }
    RunContext ctx(w.platform);
    RebootComputer(ctx, false);
    std::vector<std::string> expected;
    if (row.privilege) expected.push_back("EnableShutdownPrivilege");
    expected.push_back("ExitWindowsEx");
    EXPECT_EQ(w.system.Calls(), expected);
  }
}

// A restart counts as started only when Windows took the request; one it
// refused stays pending, and the log says why. Nobody at the desktop: the
// system is asked, as a service must.
TEST(RebootTest, RefusedRestartStaysPendingAndAnUnseenRunAsksTheSystem) {
  for (bool visible : {true, false}) {
    SCOPED_TRACE(visible ? "visible" : "unseen");
    fake::FakeWindows w;
    RunContext ctx(w.platform);
    ctx.desktopVisible = visible;
    ctx.options.logFile = "C:\\run.log";
    OpenRunLog(ctx);
    w.system.FailRestart(1115);  // ERROR_SHUTDOWN_IN_PROGRESS
    RebootComputer(ctx, false);
    CloseRunLog(ctx);
    EXPECT_FALSE(ctx.restartRequested);
    EXPECT_TRUE(ctx.restartNeeded);
    EXPECT_EQ(w.files.Contents("C:\\run.log"), "The restart could not be started. Return value is 1115\n");
    EXPECT_EQ(w.system.Calls().back(), visible ? "ExitWindowsEx" : "InitiateSystemShutdownExA");
  }
}

}  // namespace
}  // namespace nv
