// The ANSI code page's character functions.

#include <windows.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {

bool Win32CodePage::IsLeadByte(uint8_t byte) const {
  return IsDBCSLeadByte(byte) != FALSE;
}

uint8_t Win32CodePage::ToLower(uint8_t byte) const {
  // A lead byte alone is no character: converted on its own it would come
  // back as the code page's default character.
  if (IsDBCSLeadByte(byte)) return byte;
  char character = static_cast<char>(byte);
  CharLowerBuffA(&character, 1);
  return static_cast<uint8_t>(character);
}

bool Win32CodePage::IsSpace(uint8_t byte) const {
  // Blanks, tabs and line breaks (and the vertical tab and form feed among
  // them), in every code page. The no-break space of some code pages is not
  // trimmed: it can be part of a file name, and trimming it would name
  // another file.
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

bool Win32CodePage::ToWide(const std::string& text, size_t maxChars, std::u16string* wide) const {
  wide->clear();
  if (maxChars == 0) return false;
  // The text up to its first zero, as an ANSI call would take it.
  size_t length = strnlen(text.c_str(), text.size());
  if (length >= static_cast<size_t>(INT_MAX)) return false;
  if (length == 0) return true;
  int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(length), nullptr, 0);
  if (needed <= 0) return false;
  // The terminating zero must fit as well.
  if (static_cast<size_t>(needed) + 1 > maxChars) return false;
  std::vector<WCHAR> buffer(static_cast<size_t>(needed));
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(length), buffer.data(), needed) != needed) {
    return false;
  }
  static_assert(sizeof(WCHAR) == sizeof(char16_t), "Windows wide text is UTF-16");
  wide->assign(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
  return true;
}

}  // namespace win32
}  // namespace nv
