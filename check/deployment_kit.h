#pragma once
// The deployment kit of the media check: what a management agent needs to
// install, detect and remove exactly the packages of one response file.

#include <string>
#include <vector>

#include "check/check_details.h"
#include "platform/platform.h"

namespace nv {

// The switches for a run started by a management agent from its copy of the
// media: the agent's codes and no window, the restart left to the agent,
// the items looked for in the copy, up to ten minutes' wait for a busy
// installer, and an hour at most for each item.
constexpr const char* kAgentSwitches = "/agent /noreboot altsource=. busywait=600 itemtimeout=3600";
// The log folders each agent collects.
constexpr const char* kSccmLogs = "%WINDIR%\\CCM\\Logs";
constexpr const char* kIntuneLogs = "%ProgramData%\\Microsoft\\IntuneManagementExtension\\Logs";

struct KitInput {
  std::string response;                    // the response file as the install command names it
  std::string responseName;                // the response file, as the texts name it
  std::vector<PackageIdentity> packages;   // in install order; those without a product code are left out
};

// detect.ps1: prints one line and exits 0 when every package is installed at
// its version or higher, by its product code or by a product under its
// upgrade code, as Windows Installer's automation object reports them;
// prints nothing and exits 0 otherwise. PowerShell 2.0, 32-bit or 64-bit.
std::string BuildDetectScript(const CodePage& cp, const KitInput& kit);
// uninstall.xml: the product codes in reverse order, each once, with
// REBOOT=ReallySuppress.
std::string BuildUninstallResponse(const KitInput& kit);
// The command line of a run started by a management agent, with its logs in
// logFolder.
std::string AgentCommand(const std::string& response, const std::string& logFolder);
// commands.txt: the install and uninstall command lines for each agent and
// the return codes.
std::string BuildKitCommands(const KitInput& kit);

// Writes the three files into folder, making it (and its parents) when
// missing. False with a one-line reason when a file cannot be written or no
// package has a product code.
bool WriteDeploymentKit(Platform& platform, const std::string& folder, const KitInput& kit, std::string* error);

}  // namespace nv
