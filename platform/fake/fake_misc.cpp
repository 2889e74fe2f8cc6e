// The smaller pieces of the fake Windows: registry, user interface, code page
// and the bundle that ties them together.

#include <cctype>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace fake {

namespace {

std::string RegistryKey(const std::string& subkey, const std::string& valueName) {
  std::string key = subkey + "\\\\" + valueName;  // "\\" cannot occur inside a key path
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// The UTF-16 value a double-byte character stands for: a unit of its own
// above the single-byte range and below the surrogates.
constexpr char16_t kDoubleByteBase = 0x4E00;
constexpr unsigned kFirstLead = 0x81;

}  // namespace

// ---------------------------------------------------------------- registry

void FakeRegistry::SetValue(RegRoot, const std::string& subkey, const std::string& valueName,
                            const std::string& data) {
  values_[RegistryKey(subkey, valueName)] = data;
}

void FakeRegistry::SetString(RegRoot root, const std::string& subkey, const std::string& valueName,
                             const std::string& text) {
  SetValue(root, subkey, valueName, text + std::string(1, '\0'));
}

bool FakeRegistry::QueryValue(RegRoot, const std::string& subkey, const std::string& valueName,
                              size_t bufferSize, std::string* data) {
  calls_.push_back("QueryValue " + subkey + "\\" + valueName);
  data->clear();
  auto it = values_.find(RegistryKey(subkey, valueName));
  if (it == values_.end() || it->second.size() > bufferSize) return false;
  *data = it->second.substr(0, it->second.find('\0'));
  return true;
}

// ---------------------------------------------------------------- user interface

int FakeUi::ShowMessageBox(Owner owner, WindowHandle, const std::string& text, const std::string& caption,
                           uint32_t flags) {
  boxes_.push_back({owner, text, caption, flags});
  if (answers_.empty()) return IDOK;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

bool FakeUi::ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) {
  dialogs_.push_back(request);
  path->clear();
  if (openFiles_.empty()) return false;
  *path = openFiles_.front();
  openFiles_.pop_front();
  return true;
}

// ---------------------------------------------------------------- code page

bool FakeCodePage::IsLeadByte(uint8_t byte) const {
  return doubleByte_ && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

uint8_t FakeCodePage::ToLower(uint8_t byte) const {
  if (byte >= 'A' && byte <= 'Z') return static_cast<uint8_t>(byte + 32);
  if (doubleByte_) return byte;
  // Windows-1252: the Latin-1 capitals and the three of the 0x80 row.
  if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) return static_cast<uint8_t>(byte + 32);
  if (byte == 0x8A || byte == 0x8C || byte == 0x8E) return static_cast<uint8_t>(byte + 16);
  if (byte == 0x9F) return 0xFF;
  return byte;
}

bool FakeCodePage::IsSpace(uint8_t byte) const { return byte == ' ' || (byte >= 0x09 && byte <= 0x0D); }

bool FakeCodePage::ToWide(const std::string& text, size_t maxChars, std::u16string* wide) const {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t byte = static_cast<uint8_t>(text[i]);
    if (IsLeadByte(byte)) {
      if (i + 1 >= text.size()) return false;  // a lead byte without its trail byte
      const unsigned pair = (static_cast<unsigned>(byte) << 8) | static_cast<uint8_t>(text[i + 1]);
      out.push_back(static_cast<char16_t>(kDoubleByteBase + (pair - (kFirstLead << 8))));
      ++i;
    } else {
      out.push_back(static_cast<char16_t>(byte));
    }
  }
  if (out.size() + 1 > maxChars) return false;
  *wide = out;
  return true;
}

std::string FakeCodePage::FromWide(const std::u16string& wide) const {
  std::string out;
  for (char16_t unit : wide) {
    if (unit < 0x100) {
      out.push_back(static_cast<char>(unit));
    } else {
      const unsigned pair = static_cast<unsigned>(unit - kDoubleByteBase) + (kFirstLead << 8);
      out.push_back(static_cast<char>(pair >> 8));
      out.push_back(static_cast<char>(pair & 0xFF));
    }
  }
  return out;
}

// ---------------------------------------------------------------- the bundle

FakeWindows::FakeWindows()
    : shell(files), platform{files, registry, installer, shell, ui, system, codePage} {
  files.SetCodePage(&codePage);
}

}  // namespace fake
}  // namespace nv
