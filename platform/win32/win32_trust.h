#pragma once
// The real Authenticode check (platform/trust.h), kept out of
// win32_platform.h since only the media check uses it.

#include <string>

#include "platform/trust.h"

namespace nv {
namespace win32 {

// Binds wintrust.dll and crypt32.dll on the first check, never through the
// import table: the shipping program must still load where they are
// missing. Both stay loaded until the object goes.
class Win32Trust : public Trust {
 public:
  Win32Trust() = default;
  ~Win32Trust() override;
  Win32Trust(const Win32Trust&) = delete;
  Win32Trust& operator=(const Win32Trust&) = delete;

  uint32_t VerifyFile(const std::string& path, std::string* signer) override;

 private:
  bool Bind();

  bool tried_ = false;
  void* wintrust_ = nullptr;       // HMODULE
  void* crypt32_ = nullptr;        // HMODULE
  void* verify_ = nullptr;         // WinVerifyTrust
  void* provData_ = nullptr;       // WTHelperProvDataFromStateData
  void* signerFromChain_ = nullptr;  // WTHelperGetProvSignerFromChain
  void* nameString_ = nullptr;     // CertGetNameStringA
};

}  // namespace win32
}  // namespace nv
