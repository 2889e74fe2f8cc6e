#include "check/deployment_kit.h"

#include <set>

#include "deploy/shell_helpers.h"
#include "platform/text.h"

namespace nv {

namespace {

constexpr const char* kUninstallName = "uninstall.xml";

// The packages that can be told apart, each product code once.
std::vector<PackageIdentity> KitPackages(const KitInput& kit) {
  std::vector<PackageIdentity> out;
  std::set<std::string> seen;
  for (const PackageIdentity& p : kit.packages) {
    std::string key;
    for (char c : p.productCode) key.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    if (!p.productCode.empty() && seen.insert(key).second) out.push_back(p);
  }
  return out;
}

// A PowerShell single-quoted string. PowerShell also takes the typographic
// single quotes (U+2018, U+2019, U+201A; 0x91, 0x92, 0x82 in the Western
// code page) as quotes, so they are doubled too; line breaks become blanks.
std::string PsQuote(const CodePage& cp, const std::string& text) {
  std::string out = text;
  for (const char* quote : {"'", "\x91", "\x92", "\x82"}) {
    out = MbReplaceAll(cp, out, quote, std::string(quote) + quote);
  }
  out = MbReplaceAll(cp, MbReplaceAll(cp, out, "\r", " "), "\n", " ");
  return "'" + out + "'";
}

}  // namespace

std::string BuildDetectScript(const CodePage& cp, const KitInput& kit) {
  const std::vector<PackageIdentity> packages = KitPackages(kit);
  std::string s =
      "# Detection of the Norvasoft suite installed from " + kit.responseName +
      ".\n"
      "# Prints one line and exits 0 when every package below is installed at its\n"
      "# version or higher; prints nothing and exits 0 otherwise, which is how\n"
      "# management agents read a detection script. Runs on PowerShell 2.0 and later.\n\n"
      "$packages = @(\n";
  std::string found;
  for (size_t i = 0; i < packages.size(); ++i) {
    const PackageIdentity& p = packages[i];
    s += "    @{ Name = " + PsQuote(cp, p.name) + "; Version = " + PsQuote(cp, p.version) +
         ";\n       ProductCode = " + PsQuote(cp, p.productCode) + "; UpgradeCode = " + PsQuote(cp, p.upgradeCode) +
         " }" + (i + 1 < packages.size() ? "," : "") + "\n";
    found += (i > 0 ? ", " : "") + p.name + " " + p.version;
  }
  s += ")\n\n"
       "# Windows Installer itself answers, through its automation object: unlike\n"
       "# the registry, it gives the same answer in 32-bit and 64-bit PowerShell,\n"
       "# and sees per-machine and per-user installs alike.\n"
       "try {\n"
       "    $installer = New-Object -ComObject WindowsInstaller.Installer -ErrorAction Stop\n"
       "} catch {\n"
       "    exit 0\n"
       "}\n\n"
       "# A property of an automation object; $null where there is no answer (an\n"
       "# unknown product is an error).\n"
       "function Get-ComProperty($object, [string]$name, $arguments) {\n"
       "    try {\n"
       "        return $object.GetType().InvokeMember($name, [Reflection.BindingFlags]::GetProperty, $null,\n"
       "                                              $object, $arguments)\n"
       "    } catch {\n"
       "        return $null\n"
       "    }\n"
       "}\n\n"
       "# True when version $have is $want or higher, compared part by part as numbers.\n"
       "function Test-AtLeast([string]$have, [string]$want) {\n"
       "    $h = $have.Split('.')\n"
       "    $w = $want.Split('.')\n"
       "    for ($i = 0; $i -lt [Math]::Max($h.Length, $w.Length); $i++) {\n"
       "        $a = 0\n"
       "        $b = 0\n"
       "        if ($i -lt $h.Length) { [void][int]::TryParse($h[$i], [ref]$a) }\n"
       "        if ($i -lt $w.Length) { [void][int]::TryParse($w[$i], [ref]$b) }\n"
       "        if ($a -ne $b) { return ($a -gt $b) }\n"
       "    }\n"
       "    return $true\n"
       "}\n\n"
       "# The version of an installed product; empty when it is not installed.\n"
       "function Get-InstalledVersion([string]$productCode) {\n"
       "    $version = Get-ComProperty $installer 'ProductInfo' @($productCode, 'VersionString')\n"
       "    if ($version) { return [string]$version }\n"
       "    return ''\n"
       "}\n\n"
       "# Installed at its version or higher: under its own product code, or as a\n"
       "# newer product under its upgrade code.\n"
       "function Test-Package($package) {\n"
       "    $version = Get-InstalledVersion $package.ProductCode\n"
       "    if ($version -and (Test-AtLeast $version $package.Version)) { return $true }\n"
       "    if (-not $package.UpgradeCode) { return $false }\n"
       "    $related = Get-ComProperty $installer 'RelatedProducts' @($package.UpgradeCode)\n"
       "    if (-not $related) { return $false }\n"
       "    $count = Get-ComProperty $related 'Count' $null\n"
       "    for ($i = 0; $i -lt $count; $i++) {\n"
       "        $version = Get-InstalledVersion (Get-ComProperty $related 'Item' @($i))\n"
       "        if ($version -and (Test-AtLeast $version $package.Version)) { return $true }\n"
       "    }\n"
       "    return $false\n"
       "}\n\n"
       "foreach ($package in $packages) {\n"
       "    if (-not (Test-Package $package)) { exit 0 }\n"
       "}\n"
       "Write-Output " +
       PsQuote(cp, "Installed: " + found) +
       "\n"
       "exit 0\n";
  return s;
}

std::string BuildUninstallResponse(const KitInput& kit) {
  const std::vector<PackageIdentity> packages = KitPackages(kit);
  std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Items>\n";
  int n = 0;
  for (auto p = packages.rbegin(); p != packages.rend(); ++p) {
    const std::string k = std::to_string(++n);
    s += "  <PRODUCT" + k + ">" + p->productCode + "</PRODUCT" + k + ">\n";
    s += "  <PARAMETER" + k + ">REBOOT=ReallySuppress</PARAMETER" + k + ">\n";
  }
  return s + "</Items>\n";
}

std::string AgentCommand(const std::string& response, const std::string& logFolder) {
  return "NvRunUnattended.exe \"" + response + "\" " + kAgentSwitches + " logdir=" + logFolder;
}

std::string BuildKitCommands(const KitInput& kit) {
  std::string s = "Norvasoft suite: commands for the management agent (" + kit.responseName + ")\n\n";
  s += "Each command runs from the content folder (the agent's copy of the media, with\n"
       "NvRunUnattended.exe, the response file and uninstall.xml of this kit), as the\n"
       "system account. Add /L for each item's Windows Installer log in the same folder.\n";
  const std::pair<const char*, const char*> agents[] = {
      {"SCCM (Configuration Manager)", kSccmLogs},
      {"Intune (Win32 app)", kIntuneLogs},
  };
  for (const auto& agent : agents) {
    s += std::string("\n") + agent.first + ":\n";
    s += "  Install:\n    " + AgentCommand(kit.response, agent.second) + "\n";
    s += "  Uninstall:\n    " + AgentCommand(kUninstallName, agent.second) + "\n";
  }
  s += "\nThe uninstall removes these products, in this order:\n";
  const std::vector<PackageIdentity> packages = KitPackages(kit);
  for (auto p = packages.rbegin(); p != packages.rend(); ++p) {
    s += "    " + p->productCode + "  " + p->name + " " + p->version + "\n";
  }
  s += "\nDetection: detect.ps1 of this kit (PowerShell 2.0 or later, 32-bit or 64-bit).\n\n"
       "Return codes to enter in the agent:\n"
       "    0      success\n"
       "    3010   soft restart\n"
       "    1641   hard restart\n"
       "    1618   retry\n"
       "    other  failure (1460: an item did not finish within itemtimeout= and was\n"
       "           ended or cancelled; the run log names it)\n";
  return s;
}

bool WriteDeploymentKit(Platform& platform, const std::string& folder, const KitInput& kit, std::string* error) {
  if (KitPackages(kit).empty()) {
    *error = "No package of the response file can be found and read, so no kit is written.";
    return false;
  }
  const CodePage& cp = platform.codePage;
  const std::string dir = MbTrimRightChar(cp, folder, '\\');
  // Each missing folder on the way, from the root down.
  for (size_t pos = MbFind(cp, dir, "\\"); pos != std::string::npos; pos = MbFind(cp, dir, "\\", pos + 1)) {
    const std::string part = dir.substr(0, pos);
    if (!part.empty() && part.back() != ':' && part.back() != '\\' && !PathExists(platform, part)) {
      platform.files.CreateDir(part);
    }
  }
  if (!PathExists(platform, dir)) platform.files.CreateDir(dir);
  const std::pair<const char*, std::string> files[] = {
      {"detect.ps1", BuildDetectScript(cp, kit)},
      {kUninstallName, BuildUninstallResponse(kit)},
      {"commands.txt", BuildKitCommands(kit)},
  };
  for (const auto& file : files) {
    const std::string path = dir + "\\" + file.first;
    std::unique_ptr<TextWriter> writer = platform.files.CreateCommitted(path);
    if (writer == nullptr) {
      *error = "The kit file " + path + " cannot be written.";
      return false;
    }
    writer->Write(file.second);
    if (!writer->Close()) {
      *error = "The kit file " + path + " cannot be written.";
      return false;
    }
  }
  return true;
}

}  // namespace nv
