#pragma once
// The deployment kit of the media check: what a management agent needs to
// install, detect and remove exactly the packages of one response file.

#include <string>
#include <vector>

#include "check/check_details.h"
#include "platform/platform.h"

namespace nv {

// The switches for a run started by a management agent: silent, with the
// installer logs, waiting up to ten minutes for a busy installer, and ending
// with 3010 or 1641 when a restart is pending or was made.
constexpr const char* kAgentSwitches = "/S /L busywait=600 /rebootcodes";

struct KitInput {
  std::string installCommand;              // the install command line for this media
  std::string responseName;                // the response file, as the texts name it
  std::vector<PackageIdentity> packages;   // in install order; those without a product code are left out
};

// detect.ps1: prints one line and exits 0 when every package is installed at
// its version or higher, by its product code or by a product under its
// upgrade code; prints nothing and exits 0 otherwise. PowerShell 2.0.
std::string BuildDetectScript(const CodePage& cp, const KitInput& kit);
// uninstall.xml: the product codes in reverse order, each once, with
// REBOOT=ReallySuppress.
std::string BuildUninstallResponse(const KitInput& kit);
// commands.txt: the install and uninstall command lines and the return codes.
std::string BuildKitCommands(const KitInput& kit);

// Writes the three files into folder, making it (and its parents) when
// missing. False with a one-line reason when a file cannot be written or no
// package has a product code.
bool WriteDeploymentKit(Platform& platform, const std::string& folder, const KitInput& kit, std::string* error);

}  // namespace nv
