#pragma once
// The Authenticode check of a file, beside the bundle of platform.h: only
// the media check asks it, so the run's Platform does not carry it.

#include <cstdint>
#include <string>

namespace nv {

// WinVerifyTrust results the media check tells apart (HRESULT values).
constexpr uint32_t kTrustNoSignature = 0x800B0100;      // TRUST_E_NOSIGNATURE
constexpr uint32_t kTrustSubjectUnknown = 0x800B0003;   // TRUST_E_SUBJECT_FORM_UNKNOWN
constexpr uint32_t kTrustBadDigest = 0x80096010;        // TRUST_E_BAD_DIGEST
constexpr uint32_t kCryptHashValue = 0x80091007;        // CRYPT_E_HASH_VALUE
constexpr uint32_t kCertUntrustedRoot = 0x800B0109;     // CERT_E_UNTRUSTEDROOT

class Trust {
 public:
  virtual ~Trust() = default;
  // WinVerifyTrust(no window, WINTRUST_ACTION_GENERIC_VERIFY_V2) of the file
  // with no user interface, no revocation check and no retrieval from the
  // network; wintrust.dll (and crypt32.dll for the name) is bound at run
  // time. Returns the result (0 when the signature is valid and trusted),
  // ERROR_CALL_NOT_IMPLEMENTED when the function cannot be bound. On 0,
  // *signer is the simple display name of the signing certificate's subject
  // (CertGetNameStringA), or empty when it cannot be read.
  virtual uint32_t VerifyFile(const std::string& path, std::string* signer) = 0;
};

}  // namespace nv
