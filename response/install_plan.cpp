#include "response/install_plan.h"

#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/package_property.h"
#include "platform/text.h"
#include "response/response_file.h"
#include "status/run_log.h"

namespace nv {

namespace {

std::string ProductTag(int n) { return "PRODUCT" + std::to_string(n); }
std::string ParameterTag(int n) { return "PARAMETER" + std::to_string(n); }

std::string StripQuotes(const CodePage& cp, const std::string& text) {
  return MbTrimRightChar(cp, MbTrimLeftChar(cp, text, '"'), '"');
}

bool EndsInMsi(const CodePage& cp, const std::string& path) { return MbEndsWithNoCase(cp, path, "msi"); }

// The relocation probe: for every backslash from the third character on
// (which passes over the leading pair of a network path), whether the rest
// of the path exists under altSource. Every hit sets the media prefix, so the
// last (longest) one stays; the first hit whose folder has a "core" sibling
// folder settles the core directory.
void ProbeAltSource(RunContext& ctx, const std::string& product) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  InstallPlan& plan = ctx.plan;
  size_t charIndex = 0;
  for (size_t i = 0; i < product.size(); i += MbCharLength(cp, product, i), ++charIndex) {
    if (charIndex < 2 || MbCharLength(cp, product, i) != 1 || product[i] != '\\') continue;
    std::string candidate = ctx.options.altSource + product.substr(i + 1);
    if (p.files.Find(candidate).empty()) continue;
    plan.mediaPrefix = product.substr(0, i);
    if (!plan.coreDir.empty()) continue;
    size_t lastSlash = MbFindLast(cp, candidate, '\\');
    if (lastSlash == std::string::npos) continue;
    std::string core = candidate.substr(0, lastSlash) + "\\core";
    if (ProbePath(p, core) == kProbeOnlyFolders) plan.coreDir = core + "\\";
  }
}

// The folder "core" beside the package's folder or its parent, for a package
// that carries the suite's own three properties.
void ProbeSuitePackage(RunContext& ctx, const std::string& product) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  std::string prefix = GetPackageProperty(p, product, "NVProductPrefix");
  std::string title = GetPackageProperty(p, product, "NVProductTitle");
  std::string rksVersion = GetPackageProperty(p, product, "NVRKSVersion");
  if (prefix.empty() || title.empty() || rksVersion.empty()) return;
  std::string lower = MbLower(cp, product);
  size_t k = MbFindLast(cp, lower, '\\');
  if (k == std::string::npos || k <= 1) return;
  std::string candidate = lower.substr(0, k + 1) + "core";
  if (ProbePath(p, candidate) == kProbeOnlyFolders) {
    ctx.plan.coreDir = candidate + "\\";
    return;
  }
  size_t j = MbFindLast(cp, lower, '\\', k);
  if (j == std::string::npos) return;
  candidate = lower.substr(0, j + 1) + "core";
  if (ProbePath(p, candidate) == kProbeOnlyFolders) ctx.plan.coreDir = candidate + "\\";
}

}  // namespace

bool BuildInstallPlan(RunContext& ctx) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  const std::string& responseFile = ctx.options.responseFile;
  ctx.plan = InstallPlan();
  std::string fallbackCore;

  WriteRunLog(ctx, "Counting items to be launched.\n");
  for (int n = 1;; ++n) {
    std::string productTag = ProductTag(n);
    bool productUnreadable = false, parameterUnreadable = false;
    std::string product = ReadResponseTag(p, responseFile, productTag, kEmptyValueMarker, &productUnreadable);
    std::string parameter = ReadResponseTag(p, responseFile, ParameterTag(n), kEmptyValueMarker, &parameterUnreadable);

    bool bothEmpty = product == kEmptyValueMarker && parameter == kEmptyValueMarker;
    bool parameterAlone = product.empty() && !parameter.empty();
    bool productAlone = !product.empty() && parameter.empty();
    // An entry that cannot be read (a file that cannot be opened any more, a
    // read error) is no end of the list: the items are unknown.
    bool unreadable = productUnreadable || parameterUnreadable;
    if (bothEmpty || parameterAlone || productAlone || unreadable) {
      p.ui.ShowMessageBox(Owner::None, nullptr,
                          "Invalid entries found in response file. Please fix the errors before proceeding",
                          "Norvasoft Installer", MB_OK | MB_ICONWARNING);
      return false;
    }
    if (product.empty()) {
      ctx.plan.itemCount = n - 1;
      break;
    }

    WriteRunLog(ctx, productTag + "=" + product + "\n");
    product = StripQuotes(cp, product);
    bool package = EndsInMsi(cp, product);

    if (package && !ctx.options.altSource.empty()) ProbeAltSource(ctx, product);

    std::string lower = MbLower(cp, product);
    size_t core = MbFind(cp, lower, "core");
    if (core != std::string::npos) {
      std::string before = MbTrimRightChar(cp, MbTrimRightChar(cp, lower.substr(0, core), '"'), '\\');
      fallbackCore = before + "\\core\\";
    }

    if (ctx.plan.coreDir.empty() && package) ProbeSuitePackage(ctx, product);
  }

  if (ctx.plan.coreDir.empty()) ctx.plan.coreDir = fallbackCore;
  WriteRunLog(ctx, "Core Directory: " + ctx.plan.coreDir + "\n\n");
  return true;
}

InstallItem ReadItem(Platform& platform, const std::string& responseFile, int n, bool* unreadable) {
  InstallItem item;
  bool productUnreadable = false, parameterUnreadable = false;
  item.product = StripQuotes(platform.codePage,
                             ReadResponseTag(platform, responseFile, ProductTag(n), "", &productUnreadable));
  item.parameter = ReadResponseTag(platform, responseFile, ParameterTag(n), "", &parameterUnreadable);
  if (unreadable != nullptr) *unreadable = productUnreadable || parameterUnreadable;
  return item;
}

}  // namespace nv
