#include "platform/fake/fake_trust.h"

#include <cctype>

namespace nv {
namespace fake {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void FakeTrust::SetResult(const std::string& path, uint32_t result, const std::string& signer) {
  results_[Lower(path)] = {result, signer};
}

uint32_t FakeTrust::VerifyFile(const std::string& path, std::string* signer) {
  calls_.push_back("WinVerifyTrust " + path);
  signer->clear();
  auto it = results_.find(Lower(path));
  if (it == results_.end()) return kTrustNoSignature;
  if (it->second.first == 0) *signer = it->second.second;
  return it->second.first;
}

}  // namespace fake
}  // namespace nv
