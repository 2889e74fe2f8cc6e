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
       "# Windows Installer registers each product here, in the 64-bit and the 32-bit view.\n"
       "$uninstallKeys = @(\n"
       "    'HKLM:\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall',\n"
       "    'HKLM:\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall'\n"
       ")\n\n"
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
       "# The DisplayVersion of an installed product; empty when it is not installed.\n"
       "function Get-InstalledVersion([string]$productCode) {\n"
       "    foreach ($key in $uninstallKeys) {\n"
       "        $entry = Get-ItemProperty -LiteralPath \"$key\\$productCode\" -ErrorAction SilentlyContinue\n"
       "        if ($entry -and $entry.DisplayVersion) { return [string]$entry.DisplayVersion }\n"
       "    }\n"
       "    return ''\n"
       "}\n\n"
       "# Windows Installer names its keys by \"packed\" GUIDs: the first three groups\n"
       "# reversed and the two digits of every later byte swapped. Packing a packed\n"
       "# GUID again gives back its digits.\n"
       "function Switch-Packing([string]$guid) {\n"
       "    $hex = $guid -replace '[{}-]', ''\n"
       "    $out = ''\n"
       "    $at = 0\n"
       "    foreach ($length in 8, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2) {\n"
       "        $part = $hex.Substring($at, $length).ToCharArray()\n"
       "        [Array]::Reverse($part)\n"
       "        $out += -join $part\n"
       "        $at += $length\n"
       "    }\n"
       "    return $out\n"
       "}\n\n"
       "# Installed at its version or higher: under its own product code, or as a\n"
       "# newer product registered under its upgrade code.\n"
       "function Test-Package($package) {\n"
       "    $version = Get-InstalledVersion $package.ProductCode\n"
       "    if ($version -and (Test-AtLeast $version $package.Version)) { return $true }\n"
       "    if (-not $package.UpgradeCode) { return $false }\n"
       "    $key = 'HKLM:\\SOFTWARE\\Classes\\Installer\\UpgradeCodes\\' + (Switch-Packing $package.UpgradeCode)\n"
       "    $related = Get-Item -LiteralPath $key -ErrorAction SilentlyContinue\n"
       "    if (-not $related) { return $false }\n"
       "    foreach ($packed in $related.GetValueNames()) {\n"
       "        if ($packed.Length -ne 32) { continue }\n"
       "        $hex = Switch-Packing $packed\n"
       "        $code = '{' + $hex.Substring(0, 8) + '-' + $hex.Substring(8, 4) + '-' + $hex.Substring(12, 4) +\n"
       "                '-' + $hex.Substring(16, 4) + '-' + $hex.Substring(20, 12) + '}'\n"
       "        $version = Get-InstalledVersion $code\n"
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

std::string BuildKitCommands(const KitInput& kit) {
  std::string s = "Norvasoft suite: commands for the management agent (" + kit.responseName + ")\n\n";
  s += "Install, started from the media folder:\n    " + kit.installCommand + "\n\n";
  s += "Uninstall, with uninstall.xml of this kit copied next to NvRunUnattended.exe:\n"
       "    NvRunUnattended.exe uninstall.xml " + std::string(kAgentSwitches) + "\n"
       "  It removes these products, in this order:\n";
  const std::vector<PackageIdentity> packages = KitPackages(kit);
  for (auto p = packages.rbegin(); p != packages.rend(); ++p) {
    s += "    " + p->productCode + "  " + p->name + " " + p->version + "\n";
  }
  s += "\nDetection: detect.ps1 of this kit (PowerShell 2.0 or later).\n\n"
       "Return codes of NvRunUnattended.exe:\n"
       "    0      success\n"
       "    3010   success, a restart is pending\n"
       "    1641   success, the run restarted the computer\n"
       "    1618   retry later: another installation was still running\n"
       "    other  failure: 1 the run stopped at start-up, 13 invalid entries in the\n"
       "           response file, 1619 a package missing from the media, 1639 an\n"
       "           invalid command line, else the Windows Installer error of the last\n"
       "           item that failed (e.g. 1603)\n";
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
