#pragma once
// Two answers the media check gives beside where an item is found: what a
// package will do on this computer, and whether a file carries a valid
// Authenticode signature.

#include <string>

#include "platform/platform.h"
#include "platform/trust.h"

namespace nv {

// The package properties that tie a package to installed products.
struct PackageIdentity {
  std::string productCode, upgradeCode, version, name;
};

// ProductCode, UpgradeCode, ProductVersion and ProductName of a package
// file; empty texts for what cannot be read.
PackageIdentity ReadPackageIdentity(Platform& platform, const std::string& package);

// What Windows Installer will make of the package here, as the text of the
// report's "state" line. The first that holds wins: the same product at the
// same version, at another version, a related product (same upgrade code)
// at a lower, a higher and the same version, else a new install. Empty
// when the package has no product code.
std::string DescribePackageState(Platform& platform, const PackageIdentity& package);

enum class SignatureKind { Valid, NotTrusted, Changed, None };

struct SignatureCheck {
  SignatureKind kind = SignatureKind::None;
  std::string text;  // the report's "signature" line
};

SignatureCheck CheckSignature(Platform& platform, Trust& trust, const std::string& path);

// The package an msiexec.exe item installs: the text after a leading "/i"
// (any case) of its parameter, between the first pair of double quotes, or
// up to the next blank when it is not quoted. Empty when the parameter does
// not start with "/i".
std::string MsiexecPackage(const CodePage& cp, const std::string& parameter);

}  // namespace nv
