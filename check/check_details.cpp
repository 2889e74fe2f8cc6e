#include "check/check_details.h"

#include "launch/package_property.h"
#include "platform/text.h"
#include "removeall/product_enumeration.h"
#include "status/version.h"

namespace nv {

namespace {

struct InstalledProduct {
  std::string name, version;
};

InstalledProduct ReadInstalled(Platform& p, const std::string& productCode) {
  return {GetProductInfoText(p.installer, productCode, "InstalledProductName"),
          GetProductInfoText(p.installer, productCode, "VersionString")};
}

}  // namespace

PackageIdentity ReadPackageIdentity(Platform& platform, const std::string& package) {
  PackageIdentity id;
  id.productCode = GetPackageProperty(platform, package, "ProductCode");
  id.upgradeCode = GetPackageProperty(platform, package, "UpgradeCode");
  id.version = GetPackageProperty(platform, package, "ProductVersion");
  id.name = GetPackageProperty(platform, package, "ProductName");
  return id;
}

std::string DescribePackageState(Platform& platform, const PackageIdentity& package) {
  if (package.productCode.empty()) return std::string();
  const CodePage& cp = platform.codePage;
  const InstalledProduct same = ReadInstalled(platform, package.productCode);
  if (!same.version.empty()) {
    if (CompareVersions(cp, same.version, package.version) == 0) {
      return "already installed (version " + same.version + "), the run repairs or modifies it";
    }
    return "another version of this product is installed (version " + same.version +
           "); Windows Installer will refuse it (1638)";
  }
  // The first related product of each kind, in the order Windows lists them.
  const InstalledProduct* lower = nullptr;
  const InstalledProduct* higher = nullptr;
  const InstalledProduct* equal = nullptr;
  std::vector<InstalledProduct> related;
  std::string code;
  for (uint32_t i = 0; !package.upgradeCode.empty() &&
                       platform.installer.EnumRelatedProducts(package.upgradeCode, i, &code) == ERROR_SUCCESS;
       ++i) {
    related.push_back(ReadInstalled(platform, code));
  }
  for (const InstalledProduct& r : related) {
    if (r.version.empty()) continue;
    const int order = CompareVersions(cp, r.version, package.version);
    const InstalledProduct** slot = order < 0 ? &lower : order > 0 ? &higher : &equal;
    if (*slot == nullptr) *slot = &r;
  }
  if (lower != nullptr) return "upgrades " + lower->name + " " + lower->version;
  if (higher != nullptr) return "a newer version is installed (" + higher->name + " " + higher->version + ")";
  if (equal != nullptr) {
    return "the same version of a related product is installed (" + equal->name + " " + equal->version + ")";
  }
  return "new install";
}

SignatureCheck CheckSignature(Platform& platform, Trust& trust, const std::string& path) {
  SignatureCheck check;
  std::string signer;
  const uint32_t result = trust.VerifyFile(path, &signer);
  switch (result) {
    case 0:
      check.kind = SignatureKind::Valid;
      check.text = "valid, signed by " + signer;
      return check;
    case kTrustNoSignature:
    case kTrustSubjectUnknown:
      check.kind = SignatureKind::None;
      check.text = "none";
      return check;
    case kTrustBadDigest:
    case kCryptHashValue:
      check.kind = SignatureKind::Changed;
      check.text = "does not match the file (changed after signing)";
      return check;
    default:
      break;
  }
  check.kind = SignatureKind::NotTrusted;
  const CodePage& cp = platform.codePage;
  std::string message = MbTrim(cp, platform.system.SystemMessage(result));
  // One line: a message of several lines is joined with blanks.
  message = MbReplaceAll(cp, MbReplaceAll(cp, message, "\r\n", " "), "\n", " ");
  if (message.empty()) {
    static const char kHex[] = "0123456789ABCDEF";
    message = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) message.push_back(kHex[(result >> shift) & 0xF]);
  }
  check.text = "not trusted (" + message + ")";
  return check;
}

std::string MsiexecPackage(const CodePage& cp, const std::string& parameter) {
  const std::string q = MbTrim(cp, parameter);
  if (q.size() < 2 || !MbEqualNoCase(cp, q.substr(0, 2), "/i")) return std::string();
  const std::string rest = MbTrimLeft(cp, q.substr(2));
  if (!rest.empty() && rest[0] == '"') {
    const size_t close = MbFind(cp, rest, "\"", 1);
    return close == std::string::npos ? std::string() : rest.substr(1, close - 1);
  }
  const size_t blank = MbFind(cp, rest, " ");
  return blank == std::string::npos ? rest : rest.substr(0, blank);
}

}  // namespace nv
