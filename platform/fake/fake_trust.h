#pragma once
// The fake Authenticode check: a scripted result per file.

#include <map>
#include <string>
#include <vector>

#include "platform/trust.h"

namespace nv {
namespace fake {

// Paths compare without regard to ASCII case. A file without a scripted
// result has no signature (TRUST_E_NOSIGNATURE).
class FakeTrust : public Trust {
 public:
  // The result of checking path, and the signer's name given with 0.
  void SetResult(const std::string& path, uint32_t result, const std::string& signer = std::string());
  // "WinVerifyTrust <path>" for every check.
  const std::vector<std::string>& Calls() const { return calls_; }

  uint32_t VerifyFile(const std::string& path, std::string* signer) override;

 private:
  std::map<std::string, std::pair<uint32_t, std::string>> results_;
  std::vector<std::string> calls_;
};

}  // namespace fake
}  // namespace nv
