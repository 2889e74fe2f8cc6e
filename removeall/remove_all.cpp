#include "removeall/remove_all.h"

#include <string>

#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/item_limit.h"
#include "platform/text.h"
#include "removeall/product_enumeration.h"
#include "status/progress_window.h"
#include "status/reboot.h"
#include "status/result_file.h"
#include "status/run_log.h"
#include "status/status_mif.h"

namespace nv {

namespace {

// Fatal exit, error, warning, user, information, resolve source, out of
// disk space, action start, action data, property dump, common data and
// verbose; not files-in-use or extra debug.
constexpr uint32_t kMsiLogMode = 0x1FDF;
constexpr const char* kRemoveCommandLine =
    "REBOOT=ReallySuppress REMOVE=ALL UILevel=2 SETUPTYPE=Server COMPATVALIDATED=1";

// Returns the removal's result; *installerLog is the Windows Installer log
// it asked for, or empty.
uint32_t RemoveOneProduct(RunContext& ctx, const std::string& title, const std::string& productCode,
                          std::string* installerLog) {
  Platform& p = ctx.platform;
  const bool interactive = ctx.options.interactive;
  if (interactive) SetStatus(ctx, "Norvasoft Installer is uninstalling '" + title + "'. Please wait...");
  if (MsiLoggingWanted(ctx)) {
    // Products without a readable prefix share Msi.log: the later ones add
    // to it rather than replace it.
    const std::string logPath = BuildMsiLogPath(ctx, productCode);
    p.installer.EnableLog(kMsiLogMode, logPath, MsiLogAttributes(ctx, logPath));
    *installerLog = logPath;
  }
  WriteRunLog(ctx, "Product " + title + " is being uninstalled.\n");
  const uint32_t result = CallInstallerWithinLimit(ctx, "Product " + title, "removal", [&] {
    return p.installer.ConfigureProductEx(productCode, INSTALLLEVEL_MAXIMUM, INSTALLSTATE_ABSENT, kRemoveCommandLine);
  });
  const std::string shown = std::to_string(static_cast<int32_t>(result));  // as "%d" prints it
  bool success = true;
  if (result == ERROR_SUCCESS) {
    WriteRunLog(ctx, "Uninstall launched succesfully.\n");
  } else if (result == ERROR_SUCCESS_REBOOT_REQUIRED) {
    WriteRunLog(ctx, "Reboot was requested. Return value is " + shown);
  } else {
    WriteRunLog(ctx, "There was a problem in launching the install. Return value is " + shown);
    success = false;
  }
  WriteRunLog(ctx, "\n");
  // Removals are reported to systems management in interactive runs only.
  if (interactive) WriteStatusMif(p, ctx.options.statusMif, title, std::string(), success, false);
  return ctx.itemLimit == LimitOutcome::kCancelled ? static_cast<uint32_t>(ERROR_TIMEOUT) : result;
}

}  // namespace

void RemoveSuiteFolders(Platform& platform) {
  const CodePage& cp = platform.codePage;
  struct Step {
    int csidl;
    const char* below;
  };
  static const Step kSteps[] = {
      {CSIDL_COMMON_STARTMENU, "\\Programs\\Norvasoft\\"},
      {CSIDL_COMMON_STARTMENU, "\\Programs\\Norva Configuration\\"},
      {CSIDL_PROGRAM_FILES, "\\Norvasoft\\Setup\\Uninstall\\"},
      {CSIDL_PROGRAM_FILESX86, "\\Norvasoft\\Setup\\Uninstall\\"},
  };
  for (const Step& step : kSteps) {
    const std::string base = MbTrimRightChar(cp, GetSpecialFolder(platform, step.csidl), '"');
    // Without its base the folder would be taken from the root of the current
    // drive, which is not the suite's to delete.
    if (base.empty()) continue;
    DeleteTree(platform, MbTrimRightChar(cp, base + step.below, '\\'));
  }
}

int32_t RemoveAllProducts(RunContext& ctx) {
  Platform& p = ctx.platform;
  const bool interactive = ctx.options.interactive;
  if (interactive) CreateProgressWindow(ctx);
  ShowWaitCursor(ctx);
  bool rebootPending = false;
  int32_t exitCode = 0;
  p.installer.SetInternalUI(INSTALLUILEVEL_NONE);

  WriteRunLog(ctx, "Norvasoft Silent Uninstaller will uninstall all norvasoft products in the system. \n");
  WriteRunLog(ctx, "Finding Norvasoft products... \n");
  uint32_t readError = 0;
  const InstalledProductMap products = EnumerateSuiteProducts(p, &readError);
  if (readError != 0) {
    // A product that could not be read may be one of the maker's: the run
    // cannot end as if it had removed them all.
    WriteRunLog(ctx, "Not every installed product could be read. Return value is " +
                         std::to_string(static_cast<int32_t>(readError)) + "\n");
    exitCode = static_cast<int32_t>(readError);
  }
  const std::string count = std::to_string(products.size());
  WriteRunLog(ctx, "Number of products found: " + count + " \n\n");
  WriteRunLog(ctx, "Starting Uninstall... \n\n");

  if (products.empty()) {
    WriteRunLog(ctx, "No Norvasoft products were found.\n");
  } else {
    size_t index = 1;
    for (const auto& [title, productCode] : products) {
      WriteRunLog(ctx, "Uninstalling product: " + std::to_string(index) + " of: " + count + " \n\n");
      BeginResultItem(ctx);
      std::string installerLog;
      const uint32_t result = RemoveOneProduct(ctx, title, productCode, &installerLog);
      RecordResultItem(ctx, {static_cast<int>(index), productCode, title, "removal", productCode,
                             static_cast<int32_t>(result), OutcomeOfCall(ctx, result), 0, installerLog});
      if (result == ERROR_SUCCESS_REBOOT_REQUIRED) {
        rebootPending = true;
        ctx.restartNeeded = true;
      } else if (result != ERROR_SUCCESS) {
        exitCode = static_cast<int32_t>(result);
      }
      WriteRunLog(ctx, "\n\n");
      ++index;
    }
    RemoveSuiteFolders(p);
  }

  // A removal that needs a restart gets it unless /noreboot says otherwise:
  // a restart against that switch could lose a user's unsaved work.
  const bool restart = rebootPending && ctx.options.rebootMode != -1;
  FinishResultFile(ctx, exitCode);
  WriteRunLog(ctx, MakeTimeStamp(ctx) + " done.");
  if (restart) WriteRunLog(ctx, "Rebooting machine.");
  if (rebootPending && !restart) WriteRunLog(ctx, "A restart is needed; not restarting because of /noreboot.\n");
  if (interactive) DestroyProgressWindow(ctx);
  if (restart) RestartForRun(ctx, interactive && ctx.desktopVisible);
  return exitCode;
}

}  // namespace nv
