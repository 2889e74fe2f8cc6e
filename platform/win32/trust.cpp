// The Authenticode check through WinVerifyTrust, bound at run time.

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_trust.h"

namespace nv {
namespace win32 {
namespace {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND window, GUID* action, void* data);
using ProvDataFromStateDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE state);
using ProvSignerFromChainFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA* data, DWORD signer,
                                                             BOOL counterSigner, DWORD counterIndex);
using CertGetNameStringFn = DWORD(WINAPI*)(PCCERT_CONTEXT cert, DWORD type, DWORD flags, void* typePara,
                                           char* name, DWORD size);

// WINTRUST_ACTION_GENERIC_VERIFY_V2, spelled out so that nothing of
// wintrust is linked.
GUID GenericVerifyV2() { return {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}}; }

}  // namespace

Win32Trust::~Win32Trust() {
  if (crypt32_ != nullptr) FreeLibrary(static_cast<HMODULE>(crypt32_));
  if (wintrust_ != nullptr) FreeLibrary(static_cast<HMODULE>(wintrust_));
}

bool Win32Trust::Bind() {
  if (!tried_) {
    tried_ = true;
    HMODULE wintrust = LoadSystemLibrary("wintrust.dll");
    wintrust_ = wintrust;
    if (wintrust != nullptr) {
      verify_ = reinterpret_cast<void*>(GetProcAddress(wintrust, "WinVerifyTrust"));
      provData_ = reinterpret_cast<void*>(GetProcAddress(wintrust, "WTHelperProvDataFromStateData"));
      signerFromChain_ = reinterpret_cast<void*>(GetProcAddress(wintrust, "WTHelperGetProvSignerFromChain"));
    }
    HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
    crypt32_ = crypt32;
    if (crypt32 != nullptr) nameString_ = reinterpret_cast<void*>(GetProcAddress(crypt32, "CertGetNameStringA"));
  }
  return verify_ != nullptr;
}

uint32_t Win32Trust::VerifyFile(const std::string& path, std::string* signer) {
  signer->clear();
  if (!Bind()) return ERROR_CALL_NOT_IMPLEMENTED;
  std::u16string widePath;
  Win32CodePage().ToWide(path, path.size() + 1, &widePath);
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = reinterpret_cast<const wchar_t*>(widePath.c_str());
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  // Nothing is fetched from the network: no revocation lists, no missing
  // certificates of the chain.
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = GenericVerifyV2();
  const auto verify = As<WinVerifyTrustFn>(verify_);
  // INVALID_HANDLE_VALUE as the window: no user is there to ask.
  HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const uint32_t result = static_cast<uint32_t>(verify(noUser, &action, &data));
  if (result == 0 && provData_ != nullptr && signerFromChain_ != nullptr && nameString_ != nullptr) {
    CRYPT_PROVIDER_DATA* provider = As<ProvDataFromStateDataFn>(provData_)(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* sgnr =
        provider != nullptr ? As<ProvSignerFromChainFn>(signerFromChain_)(provider, 0, FALSE, 0) : nullptr;
    if (sgnr != nullptr && sgnr->csCertChain > 0 && sgnr->pasCertChain != nullptr &&
        sgnr->pasCertChain[0].pCert != nullptr) {
      const auto name = As<CertGetNameStringFn>(nameString_);
      PCCERT_CONTEXT cert = sgnr->pasCertChain[0].pCert;
      DWORD size = name(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
      if (size > 1) {
        std::vector<char> buffer(size);
        name(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer.data(), size);
        signer->assign(buffer.data());
      }
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  verify(noUser, &action, &data);
  return result;
}

}  // namespace win32
}  // namespace nv
